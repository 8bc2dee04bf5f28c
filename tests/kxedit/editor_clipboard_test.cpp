// The editor's clipboard, replace and paragraph flow driven by messages: cut and paste (plain and
// column blocks, malformed blocks), the clipboard-viewer chain, replace one and all (direction,
// termination, cancel, one undo, bad escapes) and FlowText with its mended faults.
#include "editor_fixture.h"

#include "host/clipboard.h"

namespace kestrel::test {
namespace {

class EditorClipboardTest : public EditorFixture {
protected:
    std::string ClipText() { return Platform.Clipboard().GetClipboardBytes(CF_TEXT); }
    /// Another program puts Text (and, when given, a column block) on the clipboard.
    void PutElsewhere(const std::string& Text, const std::string* Column = nullptr) {
        std::vector<TClipboardItem> Items{{CF_TEXT, Text + std::string(1, '\0')}};
        if (Column != nullptr)
            Items.push_back({E->GetColumnClipFormat(), *Column});
        Platform.Clipboard().ChangeElsewhere(Items);
        Pump();
    }
    void ReplaceAll(const std::string& Find, const std::string& By, TFindOptions Options) {
        E->Replace(nullptr, Find, By, Options + TFindOptions{frReplaceAll});
    }
};

TEST_F(EditorClipboardTest, CutAndPastePlainText) {
    SetText("hello world\r\nsecond");
    PutElsewhere("kept");
    Key('X', {ssCtrl}); // no selection: the clipboard stays as it was
    EXPECT_EQ(ClipText(), std::string("kept") + '\0');
    EXPECT_EQ(E->Text(), "hello world\r\nsecond");

    E->SetSelection(LongPoint(0, 0), LongPoint(6, 0), smExtend);
    Key('X', {ssCtrl});
    EXPECT_EQ(E->Text(), "world\r\nsecond");
    EXPECT_EQ(ClipText().substr(0, 6), "hello ");

    // With SelectAfterPaste the pasted bytes are selected as a stream ...
    E->FocusAt(7, false);
    Key('V', {ssCtrl});
    EXPECT_EQ(E->Text(), "world\r\nhello second");
    EXPECT_EQ(E->GetSelMode(), smExtend);
    EXPECT_EQ(E->GetSelection(), "hello ");
    // ... without it the caret stands after them and nothing is selected.
    E->SetSelectAfterPaste(false);
    E->FocusAt(0, false);
    E->ResetSelection(ZeroPoint);
    E->Perform(WM_PASTE, 0, 0);
    EXPECT_EQ(E->Text(), "hello world\r\nhello second");
    EXPECT_FALSE(E->GetState().Contains(vsSelection));
    EXPECT_EQ(E->Caret(), 6);
    E->Undo();
    EXPECT_EQ(E->Text(), "world\r\nhello second");

    // An empty clipboard raises, after nothing changed.
    Platform.Clipboard().ChangeElsewhere({});
    Pump();
    try {
        E->PasteFromClipBoard();
        ADD_FAILURE() << "no exception";
    } catch (const Exception& X) {
        EXPECT_STREQ(X.what(), "Clipboard is empty");
    }
    EXPECT_EQ(E->Text(), "world\r\nhello second");
}

TEST_F(EditorClipboardTest, PasteAvailableFollowsTheChainAndOtherOwners) {
    PutElsewhere("x");
    EXPECT_TRUE(E->GetState().Contains(vsPasteAvailable));
    Platform.Clipboard().ChangeElsewhere({{2 /* a bitmap */, "pixels"}});
    Pump();
    EXPECT_FALSE(E->GetState().Contains(vsPasteAvailable));
    // A second editor joins the chain after the first: both hear of changes, and the first
    // still hears once the second leaves.
    auto Other = std::make_unique<TTestEditor>(nullptr);
    Other->SetBounds(0, 0, 100, 100);
    Other->GetHandle();
    EXPECT_EQ(Other->GetNextClipboardViewer(), E->Wnd());
    PutElsewhere("y");
    EXPECT_TRUE(Other->GetState().Contains(vsPasteAvailable));
    EXPECT_TRUE(E->GetState().Contains(vsPasteAvailable));
    Other.reset();
    Platform.Clipboard().ChangeElsewhere({});
    Pump();
    EXPECT_FALSE(E->GetState().Contains(vsPasteAvailable));
}

TEST_F(EditorClipboardTest, ColumnBlocksPadShortLinesExtendTheTextAndSkipPageBreaks) {
    E->SetWrapMode(opNone);
    SetText("abcdef\r\nab\r\nabcdef");
    const std::string Block = "XY\r\nZW\r\nUV\r\n";
    PutElsewhere("plain", &Block);
    // The caret beyond the end of the short middle line: 4 characters in.
    E->_SetCaretPos(LongPoint(4 * 7, 1));
    Key('V', {ssCtrl});
    EXPECT_EQ(E->Text(), "abcdef\r\nab  XY\r\nabcdZWef\r\n    UV\r\n");
    // One undo takes the whole block back.
    E->Undo();
    EXPECT_EQ(E->Text(), "abcdef\r\nab\r\nabcdef");

    // Lines that start with a form feed take no part of a block.
    SetText("abc\r\n\fabc\r\n");
    E->FocusAt(1, false);
    Key('V', {ssCtrl});
    EXPECT_EQ(E->Text(), "aXYbc\r\n\faZWbc\r\n UV\r\n");

    // Malformed blocks: no terminating zero, no line break at all, a stray CR.
    SetText("12345\r\n12345");
    const std::string NoZero = "AB\r\nCD"; // the block is exactly these bytes
    PutElsewhere("plain", &NoZero);
    E->FocusAt(1, false);
    Key('V', {ssCtrl});
    EXPECT_EQ(E->Text(), "1AB2345\r\n1CD2345");
    const std::string Empty(4, '\0');
    PutElsewhere("plain", &Empty);
    const std::int64_t Beeps0 = Beeps();
    Key('V', {ssCtrl});
    EXPECT_EQ(Beeps(), Beeps0 + 1); // nothing to paste
    EXPECT_EQ(E->Text(), "1AB2345\r\n1CD2345");
}

TEST_F(EditorClipboardTest, ReplaceOneAtATimeAndAllInBothDirections) {
    SetText("ABC abc abc");
    E->SetSelection(LongPoint(0, 0), LongPoint(3, 0), smExtend);
    // Case folded: the selected "ABC" is replaced, then the next match is selected.
    EXPECT_TRUE(E->Replace(nullptr, "abc", "x", TFindOptions{frDown, frReplace}));
    EXPECT_EQ(E->Text(), "x abc abc");
    EXPECT_EQ(E->GetSelection(), "abc");
    // With frMatchCase a selection that differs in case is only passed over.
    SetText("ABC abc");
    E->SetSelection(LongPoint(0, 0), LongPoint(3, 0), smExtend);
    E->Replace(nullptr, "abc", "x", TFindOptions{frDown, frReplace, frMatchCase});
    EXPECT_EQ(E->Text(), "ABC abc");
    EXPECT_EQ(E->GetSelStartOffset(), 4);

    // "a" by "aa" terminates both ways; a match at either end of the text ends the run.
    std::int64_t Count = -1;
    E->SetOnReplaceAll([&](TObject*, std::int64_t N) { Count = N; });
    SetText("a.a.a");
    ReplaceAll("a", "aa", TFindOptions{frDown});
    EXPECT_EQ(E->Text(), "aa.aa.aa");
    EXPECT_EQ(Count, 3);
    SetText("a.a.a");
    E->FocusAt(5, false);
    ReplaceAll("a", "aa", TFindOptions{});
    EXPECT_EQ(E->Text(), "aa.aa.aa");
    EXPECT_EQ(Count, 3);
    EXPECT_EQ(E->Caret(), 0);
    // From the caret on only; a selection starts forward runs at its start.
    SetText("ab ab ab");
    E->FocusAt(1, false);
    ReplaceAll("ab", "^p", TFindOptions{frDown});
    EXPECT_EQ(E->Text(), "ab \r\n \r\n");
    E->Undo();
    EXPECT_EQ(E->Text(), "ab ab ab");
    // Bad escapes raise before anything changes.
    EXPECT_THROW(E->Replace(nullptr, "ab", "^999", TFindOptions{frDown, frReplaceAll}), EUserError);
    EXPECT_EQ(E->Text(), "ab ab ab");
    // Whole words only.
    SetText("cat concat cat");
    ReplaceAll("cat", "dog", TFindOptions{frDown, frWholeWord, frMatchCase});
    EXPECT_EQ(E->Text(), "dog concat dog");
}

TEST_F(EditorClipboardTest, ReplaceAllCancelledAtTheThirdMatchIsOneUndoStep) {
    SetText("x1 x2 x3 x4 x5");
    std::int64_t Count = -1;
    E->SetOnReplaceAll([&](TObject*, std::int64_t N) { Count = N; });
    int Reports = 0;
    E->SetOnProgressEvent([&](TLinesViewer*, std::int64_t Done, std::int64_t Total, bool& Cancel) {
        if (Done > 0 && Done < Total && ++Reports == 2)
            Cancel = true; // the report of the third match (the first is at offset 0)
    });
    ReplaceAll("x", "yy", TFindOptions{frDown});
    EXPECT_EQ(Count, 3);
    EXPECT_EQ(E->Text(), "yy1 yy2 yy3 x4 x5");
    EXPECT_FALSE(E->GetState().Contains(vsBusy));
    EXPECT_FALSE(E->GetState().Contains(vsSearching));
    E->Undo();
    EXPECT_EQ(E->Text(), "x1 x2 x3 x4 x5");
    E->Redo();
    EXPECT_EQ(E->Text(), "yy1 yy2 yy3 x4 x5");
}

TEST_F(EditorClipboardTest, FlowTextJoinsParagraphsAndTerminatesOnEdgeTexts) {
    SetText("one\r\ntwo\r\n\r\nthree\r\nfour\r\n");
    E->FocusAt(0, false);
    E->FlowText();
    EXPECT_EQ(E->Text(), "one two\r\n\r\nthree four\r\n");
    E->Undo();
    EXPECT_EQ(E->Text(), "one\r\ntwo\r\n\r\nthree\r\nfour\r\n");
    EXPECT_EQ(E->Caret(), 0);

    SetText("well-\nknown\nend \nx");
    E->FocusAt(0, false);
    E->FlowText();
    EXPECT_EQ(E->Text(), "well-known end x");

    // From the caret's line on: the lines before it stay.
    SetText("a\r\nb\r\nc\r\nd");
    E->FocusAt(3, false);
    E->FlowText();
    EXPECT_EQ(E->Text(), "a\r\nb c d");

    // A text that starts with a line break, whole or selected: no read before offset 0.
    for (const std::string T : {"\nab\ncd", "\r\nab\r\ncd\r\n", "\n", "\f\nx\ny"}) {
        SetText(T);
        E->SelectAll();
        E->FlowText();
        EXPECT_EQ(E->GetSelEndOffset(), E->GetTextSize()) << T;
    }
    EXPECT_EQ(E->Text(), "\f\nx y");
    SetText("\nab\ncd");
    E->SelectAll();
    E->FlowText();
    EXPECT_EQ(E->Text(), "\nab cd");
}

} // namespace
} // namespace kestrel::test
