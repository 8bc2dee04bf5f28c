// The editor driven by messages: typing and padding, overwrite, new lines, deletion, case
// cycling, the text window messages, read-only state, undo with caret and selection, the faults
// mended (empty undo, a count that cannot finish, a cut insertion, a map out of step) and
// characters outside the printable range; then what each edit repaints.
#include "editor_fixture.h"

#include <clocale>

namespace kestrel::test {
namespace {

class EditorTest : public EditorFixture {
protected:
    /// The map agrees with a straight walk of the text and, after the count, every number does.
    void ExpectConsistent(const std::string& Where) {
        E->CheckMapInvariants();
        RunIdle();
        std::vector<std::int64_t> Starts;
        TLinesBuffer* B = E->GetBuffer();
        std::int64_t Pos = 0;
        for (;;) {
            const std::int64_t Start = Pos;
            std::int64_t W = 0, N = 0;
            B->GetNextLine(Pos, W, N);
            Starts.push_back(Start);
            if (Pos >= B->GetTextSize() && Start + N == Pos && !B->AtPageBreak(Start))
                break;
        }
        EXPECT_EQ(E->GetLastLine(), static_cast<std::int64_t>(Starts.size()) - 1) << Where;
        ASSERT_LT(E->GetLineNumber(), static_cast<std::int64_t>(Starts.size())) << Where;
        EXPECT_EQ(Starts[static_cast<std::size_t>(E->GetLineNumber())], E->GetCaretLineStart())
            << Where;
        EXPECT_EQ(E->TextOffset(CaretPoint()), E->Caret()) << Where;
    }
    std::vector<headless::TDrawCall> Calls(headless::TDrawOp Op) {
        std::vector<headless::TDrawCall> Out;
        for (const headless::TDrawCall& C : Record())
            if (C.Op == Op)
                Out.push_back(C);
        return Out;
    }
};

TEST_F(EditorTest, TypingPadsBeyondALineEndAndReplacesASelectionInBothModes) {
    E->SetWrapMode(opNone);
    SetText("ab\r\nlonger line\r\n");
    // 3.5 space widths beyond "ab": three spaces, then the character.
    E->_SetCaretPos(LongPoint(2 * 7 + 3 * 7 + 3, 0));
    Char('x');
    EXPECT_EQ(E->Text(), "ab   x\r\nlonger line\r\n");
    EXPECT_EQ(CaretPoint(), LongPoint(6, 0));

    // A selection is replaced, in insert mode and in overwrite mode (the byte after it stays).
    E->SetSelection(LongPoint(0, 1), LongPoint(6, 1), smExtend);
    Char('L');
    EXPECT_EQ(E->Text(), "ab   x\r\nL line\r\n");
    Key(VK_INSERT);
    EXPECT_FALSE(E->GetInsertOn());
    E->SetSelection(LongPoint(2, 1), LongPoint(4, 1), smExtend);
    Char('i');
    EXPECT_EQ(E->Text(), "ab   x\r\nL ine\r\n");
    // Overwrite replaces; at a line end it inserts and keeps the line break.
    Key(VK_HOME);
    Type("Ok");
    EXPECT_EQ(E->Text(), "ab   x\r\nOkine\r\n");
    Key(VK_END);
    Type("!!");
    EXPECT_EQ(E->Text(), "ab   x\r\nOkine!!\r\n");
    ExpectConsistent("after overwriting");
}

TEST_F(EditorTest, NewLinesAtTheEndsAndAtAWrappedContinuation) {
    E->SetMaxLineLength(10);
    E->SetWrapMode(opAbsoluteWrap);
    SetText("one two three four");
    RunIdle();
    const std::int64_t Last = E->GetLastLine();
    ASSERT_GT(Last, 0);
    Key(VK_HOME, {ssCtrl});
    Key(VK_RETURN);
    EXPECT_EQ(E->Text(), "\r\none two three four");
    EXPECT_EQ(E->GetLastLine(), Last + 1);
    Key(VK_END, {ssCtrl});
    Key(VK_RETURN);
    EXPECT_EQ(E->GetLastLine(), Last + 2);
    EXPECT_EQ(CaretPoint(), LongPoint(0, Last + 2));
    ExpectConsistent("after the ends");

    // At the start of a wrapped line the break goes to the end of the line before.
    SetText("one two three four");
    E->FocusAt(8, false); // "three" starts the second display line
    ASSERT_EQ(CaretPoint(), LongPoint(0, 1));
    Key(VK_RETURN);
    EXPECT_EQ(E->Text(), "one two \r\nthree four");
    EXPECT_EQ(E->GetCaretLineStart(), 10);
    ExpectConsistent("at a wrapped continuation");
}

TEST_F(EditorTest, DeletingCharactersLinesAndWords) {
    E->SetWrapMode(opNone);
    SetText("ab\r\ncd\nef");
    E->FocusAt(2, false);
    Key(VK_DELETE); // CR LF goes whole
    EXPECT_EQ(E->Text(), "abcd\nef");
    E->FocusAt(4, false);
    Key(VK_DELETE); // a lone LF alone
    EXPECT_EQ(E->Text(), "abcdef");
    Key(VK_END, {ssCtrl});
    const std::int64_t Before = Beeps();
    Key(VK_DELETE);
    EXPECT_EQ(Beeps(), Before + 1);
    EXPECT_EQ(E->Text(), "abcdef");

    // An empty selection in a selecting mode: Backspace does nothing and does not beep, Delete
    // deletes the character after the caret.
    SetText("abc");
    E->FocusAt(1, false);
    Key(VK_RIGHT, {ssShift});
    Key(VK_LEFT, {ssShift});
    ASSERT_NE(E->GetSelMode(), smNone);
    const std::int64_t Quiet = Beeps();
    Key(VK_BACK);
    EXPECT_EQ(E->Text(), "abc");
    EXPECT_EQ(Beeps(), Quiet);
    Key(VK_DELETE);
    EXPECT_EQ(E->Text(), "ac");

    // The last line loses its text, not the line break before it; other lines go whole.
    SetText("one\r\ntwo\r\nlast");
    Key(VK_END, {ssCtrl});
    Key('Y', {ssCtrl});
    EXPECT_EQ(E->Text(), "one\r\ntwo\r\n");
    Key(VK_HOME, {ssCtrl});
    Key('Y', {ssCtrl});
    EXPECT_EQ(E->Text(), "two\r\n");
    // Ctrl+T on a word, and off one (a beep).
    SetText("alpha, beta");
    E->FocusAt(8, false);
    Key('T', {ssCtrl});
    EXPECT_EQ(E->Text(), "alpha, ");
    const std::int64_t Off = Beeps();
    E->FocusAt(5, false);
    Key('T', {ssCtrl});
    EXPECT_EQ(Beeps(), Off + 1);
    ExpectConsistent("after the deletes");
}

TEST_F(EditorTest, BackspaceAtAWrappedContinuationAndItsUndo) {
    E->SetMaxLineLength(10);
    E->SetWrapMode(opAbsoluteWrap);
    SetText("aaaaaaaaaabbbb");
    E->FocusAt(10, false); // a word cut by the width: "bbbb" continues it
    ASSERT_EQ(CaretPoint(), LongPoint(0, 1));
    Key(VK_BACK);
    EXPECT_EQ(E->Text(), "aaaaaaaaabbbb");
    ExpectConsistent("after the backspace");
    // Undo puts the character back and the caret after it.
    Key(VK_BACK, {ssAlt});
    EXPECT_EQ(E->Text(), "aaaaaaaaaabbbb");
    EXPECT_EQ(E->Caret(), 10);
}

TEST_F(EditorTest, CapitaliseCyclesTheCaseOfTheSelectedWordsAsOneUndo) {
    SetText("hello world");
    E->SetSelection(LongPoint(0, 0), LongPoint(11, 0), smExtend);
    E->Capitalise();
    EXPECT_EQ(E->Text(), "Hello World");
    E->Capitalise();
    EXPECT_EQ(E->Text(), "HELLO WORLD");
    E->Capitalise();
    EXPECT_EQ(E->Text(), "hello world");
    EXPECT_FALSE(E->GetState().Contains(vsBusy));
    SetText("hello,  world and \xE9t\xE9 d\xE9j\xE0 vu");
    E->SelectAll();
    E->Capitalise();
    EXPECT_EQ(E->Text(), "Hello,  World And \xC9t\xE9 D\xE9j\xE0 Vu");
    Key(VK_BACK, {ssAlt});
    EXPECT_EQ(E->Text(), "hello,  world and \xE9t\xE9 d\xE9j\xE0 vu"); // one undo for all
    // A word that does not begin with a letter: a beep and no change.
    SetText("2nd");
    const std::int64_t Before = Beeps();
    E->Capitalise();
    EXPECT_EQ(E->Text(), "2nd");
    EXPECT_EQ(Beeps(), Before + 1);
}

TEST_F(EditorTest, SetTextReplacesSelectsAndIsCutToTheMaximumSize) {
    SetText("old text");
    E->SetOEMConvert(true);
    const char Oem[] = "caf\x82 \x81";
    EXPECT_EQ(SendMessage(E->Wnd(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Oem)), 1);
    EXPECT_EQ(E->Text(), "caf\xE9 \xFC"); // as many bytes as the text has
    EXPECT_TRUE(E->GetState().Contains(vsSelection));
    EXPECT_EQ(E->GetSelEndOffset(), 6);
    E->SetOEMConvert(false);
    E->SetMaxTextSize(4);
    SendMessage(E->Wnd(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("longer than four"));
    EXPECT_EQ(E->Text(), "long");
    ExpectConsistent("after set text");
    // At design time the new text is not selected.
    E->SetMaxTextSize(0);
    E->SetDesigning(true);
    SendMessage(E->Wnd(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("design"));
    EXPECT_EQ(E->Text(), "design");
    EXPECT_FALSE(E->GetState().Contains(vsSelection));
}

TEST_F(EditorTest, AppendStringGoesToTheEndAndNeverWaitsOnACountThatCannotMove) {
    std::string Text;
    for (int I = 0; I < 400; ++I)
        Text += "line " + std::to_string(I) + "\n";
    SetText(Text);
    E->SetSelection(LongPoint(0, 1), LongPoint(3, 2), smExtend);
    E->FocusAt(3, false);
    E->AppendString("tail");
    EXPECT_EQ(E->Text(), Text + "tail");
    EXPECT_EQ(E->Caret(), static_cast<std::int64_t>(Text.size()) + 4);
    EXPECT_TRUE(E->GetState().Contains(vsSelection)); // the selection stays
    ExpectConsistent("after appending");

    // With the mouse held the count cannot move: the append still ends, at the end of the text.
    SetText(Text);
    E->ReEstimateFrom(0);
    E->SetState(vsMouseDown, true);
    E->AppendString("x");
    E->SetState(vsMouseDown, false);
    EXPECT_EQ(E->Text(), Text + "x");
    EXPECT_EQ(E->Caret(), static_cast<std::int64_t>(Text.size()) + 1);
    ExpectConsistent("after appending while the count waited");
}

TEST_F(EditorTest, ReadOnlyRefusesThroughTheStream) {
    SetText("abc");
    E->SetReadOnly(true);
    PostMessage(E->Wnd(), WM_KEYDOWN, 0xE8, 0);
    PostMessage(E->Wnd(), WM_CHAR, 'x', 0);
    EXPECT_THROW(Pump(), EWriteProtectError);
    EXPECT_EQ(E->Text(), "abc");
    int Told = 0;
    E->SetOnWriteProtect([&](TObject*) { ++Told; });
    const TLongPoint Caret = CaretPoint();
    Char('x');
    Key(VK_DELETE);
    Key(VK_INSERT);
    Char('y'); // overwrite refused too
    EXPECT_EQ(E->Text(), "abc");
    EXPECT_EQ(Told, 3);
    EXPECT_EQ(CaretPoint(), Caret);
    EXPECT_FALSE(E->GetModified());
}

TEST_F(EditorTest, UndoRestoresCaretSelectionAndTheStateFlags) {
    SetText("first second third");
    EXPECT_FALSE(E->GetState().Contains(vsUndoAvailable));
    // A word selected by a double click, typed over: undo brings it back in its mode.
    const int X = static_cast<int>(8 * E->GetCharWidth());
    Platform.Input().PostMouseDown(E->Wnd(), mbLeft, X, 3);
    Platform.Input().PostMouseUp(E->Wnd(), mbLeft, X, 3);
    Platform.Input().PostMouseDown(E->Wnd(), mbLeft, X, 3);
    Platform.Input().PostMouseUp(E->Wnd(), mbLeft, X, 3);
    Pump();
    ASSERT_EQ(E->GetSelMode(), smDouble);
    const std::int64_t S = E->GetSelStartOffset();
    const std::int64_t End = E->GetSelEndOffset();
    Char('X');
    EXPECT_TRUE(E->GetState().Contains(vsModified));
    EXPECT_TRUE(E->GetState().Contains(vsUndoAvailable));
    E->Undo(); // the selection's deletion and the typing after it are one record
    EXPECT_EQ(E->Text(), "first second third");
    EXPECT_EQ(E->GetSelMode(), smDouble);
    EXPECT_EQ(E->GetSelStartOffset(), S);
    EXPECT_EQ(E->GetSelEndOffset(), End);
    EXPECT_FALSE(E->GetState().Contains(vsModified));
    EXPECT_FALSE(E->GetState().Contains(vsUndoAvailable));
    EXPECT_TRUE(E->GetState().Contains(vsRedoAvailable));
    E->Redo();
    EXPECT_EQ(E->Text(), "first X third");
    Char('Y'); // a new edit empties the redo list
    EXPECT_FALSE(E->GetState().Contains(vsRedoAvailable));

    // Nothing left to redo: nothing changes, not the caret, the selection or the count.
    RunIdle();
    E->SetSelection(LongPoint(1, 0), LongPoint(3, 0), smExtend);
    E->FocusAt(2, false);
    const std::int64_t Scan = E->GetScanOffset();
    const std::int64_t Beeped = Beeps();
    E->Redo();
    EXPECT_EQ(E->Caret(), 2);
    EXPECT_EQ(E->GetSelStartOffset(), 1);
    EXPECT_EQ(E->GetSelEndOffset(), 3);
    EXPECT_EQ(E->GetScanOffset(), Scan);
    EXPECT_TRUE(E->GetCountComplete());
    EXPECT_EQ(Beeps(), Beeped + 1);

    // Modified: clearing a clear flag tells nobody; setting it on an empty text keeps vsEmpty.
    SetText("");
    int Changes = 0;
    E->SetOnStateChange([&](TObject*) { ++Changes; });
    E->SetModified(false);
    EXPECT_EQ(Changes, 0);
    E->SetModified(true);
    EXPECT_TRUE(E->GetState().Contains(vsModified));
    EXPECT_TRUE(E->GetState().Contains(vsEmpty));
}

TEST_F(EditorTest, ACutInsertionAndAMapOutOfStepLeaveTheViewOnTheText) {
    E->SetWrapMode(opNone);
    SetText("abc\r\ndef");
    E->SetMaxTextSize(12);
    E->FocusAt(1, false);
    E->InsertString("\r\nxyz\r\n"); // room for 4 bytes only
    EXPECT_EQ(E->Text(), "a\r\nxybc\r\ndef");
    EXPECT_EQ(E->Caret(), 5);
    EXPECT_EQ(CaretPoint(), LongPoint(2, 1));
    ExpectConsistent("after a cut insertion");

    // A handler that moves the map behind the editor's back: the failure is told, the edit
    // stays, and the view is on the text as it now is.
    E->SetMaxTextSize(0);
    SetText("one\r\ntwo\r\nthree");
    E->FocusAt(5, false);
    E->SetOnChange([&](TObject*) { E->BreakMapForTest(); });
    try {
        Char('X');
        FAIL() << "no failure told";
    } catch (const EInternalError& Failure) {
        EXPECT_STREQ(Failure.what(), "Synchronisation error in editing text");
    }
    E->SetOnChange(nullptr);
    EXPECT_EQ(E->Text(), "one\r\nXtwo\r\nthree");
    ExpectConsistent("after the failure");
    ClearRecord();
    E->Redraw();
    Pump();
    std::vector<std::string> Rows;
    for (const headless::TDrawCall& C : Calls(headless::doTabbedTextOut))
        Rows.push_back(C.Text);
    EXPECT_EQ(Rows, (std::vector<std::string>{"one", "Xtwo", "three"}));
}

TEST_F(EditorTest, DeletingTheTextBeforeTheCountsPositionRenumbersIt) {
    // The count done, it stands after the last line: deleting every line before it must not
    // leave it there with its old number.
    E->SetWrapMode(opNone);
    SetText("one\ntwo\nthree\n");
    RunIdle();
    E->SetSelection(LongPoint(0, 0), LongPoint(0, 3), smExtend);
    Key(VK_DELETE);
    EXPECT_EQ(E->Text(), "");
    ExpectConsistent("after deleting up to the count");
    SetText("one\ntwo\nthree\nfour");
    RunIdle();
    E->SetSelection(LongPoint(1, 0), LongPoint(0, 3), smExtend);
    Key(VK_DELETE);
    EXPECT_EQ(E->Text(), "ofour");
    ExpectConsistent("after deleting lines up to the count");
}

TEST_F(EditorTest, ChangesThatRewrapMoreThanTheLineAboveThemAndTheirUndo) {
    // A tab that no longer fits wraps alone: "gfxgu \t\tf" takes three lines at this width, and
    // deleting its second tab joins them into one, so the line before the change's line is gone
    // too. Typed, undone and redone, the numbers after it must come out exact.
    E->SetMaxLineLength(11);
    E->SetWrapMode(opAbsoluteWrap);
    SetText("x\ngfxgu \t\tf\ny");
    E->FocusAt(10, false);
    ExpectConsistent("before");
    ASSERT_EQ(E->GetLastLine(), 4);
    Key(VK_BACK);
    EXPECT_EQ(E->Text(), "x\ngfxgu \tf\ny");
    ExpectConsistent("after the backspace");
    EXPECT_EQ(E->GetLastLine(), 2);
    for (int Round = 0; Round < 2; ++Round) {
        Key(VK_BACK, {ssAlt});
        ExpectConsistent("after the undo");
        EXPECT_EQ(E->GetLastLine(), 4);
        Key('R', {ssCtrl});
        ExpectConsistent("after the redo");
        EXPECT_EQ(E->GetLastLine(), 2);
    }
    // The same at the end of the text, where the change's line is the last one.
    SetText("ab\nq \t\t");
    E->FocusAt(7, false);
    ExpectConsistent("before, at the end");
    ASSERT_EQ(E->GetLastLine(), 3);
    Key(VK_HOME, {ssShift});
    Char('v'); // the last tab selected and typed over
    EXPECT_EQ(E->Text(), "ab\nq \tv");
    ExpectConsistent("after typing over the tab at the end");
    Key(VK_BACK, {ssAlt});
    ExpectConsistent("after its undo");
    Key('R', {ssCtrl});
    ExpectConsistent("after its redo");
}

TEST_F(EditorTest, ACountResumedAtTheLastLineOrEndingUnderAScrollBarCountsItOnce) {
    E->SetWrapMode(opNone);
    // A change on the last line, where the finished count stands: it counts that line again,
    // once.
    SetText("a\nb\nc");
    RunIdle();
    E->ChangedFrom(4);
    RunIdle();
    EXPECT_EQ(E->GetLastLine(), 2);
    SetText("abc");
    RunIdle();
    E->ChangedFrom(3);
    RunIdle();
    EXPECT_EQ(E->GetLastLine(), 0);
    // A count that ends with a range too short for the vertical scroll bar: the bar goes away
    // and the window is laid out again from inside the count's last step.
    std::string Long;
    for (int I = 0; I < 40; ++I)
        Long += "line\n";
    SetText(Long + "and a last line longer than the rest");
    RunIdle();
    E->SetSelection(LongPoint(0, 0), LongPoint(0, 39), smExtend);
    Key(VK_DELETE);
    EXPECT_EQ(E->Text(), "line\nand a last line longer than the rest");
    ExpectConsistent("after deleting most lines");
}

TEST_F(EditorTest, CharactersOutsideThePrintableRange) {
    E->SetWrapMode(opNone);
    SetText("ab\ncd");
    E->FocusAt(1, false);
    const std::int64_t Before = Beeps();
    PostMessage(E->Wnd(), WM_KEYDOWN, 0xE8, 0);
    PostMessage(E->Wnd(), WM_CHAR, 0, 0); // a zero byte is refused
    Pump();
    EXPECT_EQ(Beeps(), Before + 1);
    EXPECT_EQ(E->Text(), "ab\ncd");
    for (const int C : {1, 27, 127, 0x80, 0xA0, 0xFF, 10, 13, 0x0C, 9})
        Char(static_cast<char>(C));
    // Control bytes are typed as they are; CR is a whole line break, LF a line break of its own.
    EXPECT_EQ(E->Text(), std::string("a\x01\x1B\x7F\x80\xA0\xFF\n\r\n\f\tb\ncd"));
    ExpectConsistent("after the control bytes");
    // Backspace as a character deletes too.
    Char(8);
    EXPECT_EQ(E->Text(), std::string("a\x01\x1B\x7F\x80\xA0\xFF\n\r\n\fb\ncd"));
}

TEST_F(EditorTest, KeysOfTheEditorAndTheClipboardCommands) {
    EXPECT_EQ(E->GetBackSpaceKey(), 8);
    EXPECT_EQ(E->GetUndoKey(), 2056);
    EXPECT_EQ(E->GetRedoKey(), 338);
    EXPECT_EQ(E->GetDelLineStartKey(), 1107);
    SetText("abc def");
    E->SetSelection(LongPoint(0, 0), LongPoint(3, 0), smExtend);
    const std::int64_t Before = Beeps();
    Key('X', {ssCtrl});
    Key('V', {ssCtrl});
    Key(VK_DELETE, {ssShift});
    Key(VK_INSERT, {ssShift});
    EXPECT_EQ(Beeps(), Before); // cut, paste, cut, paste: the pasted text stays selected
    EXPECT_EQ(E->Text(), "abc def");
    EXPECT_EQ(E->GetSelection(), "abc");
    SendMessage(E->Wnd(), WM_CLEAR, 0, 0);
    EXPECT_EQ(E->Text(), " def");
    Key(VK_END);
    Key('Q', {ssCtrl});
    Key('S'); // to the start of the line
    EXPECT_EQ(E->Text(), "");
    EXPECT_TRUE(E->GetState().Contains(vsEmpty));
    EXPECT_EQ(SendMessage(E->Wnd(), WM_GETDLGCODE, 0, 0) & (DLGC_WANTCHARS | DLGC_WANTTAB),
              DLGC_WANTCHARS | DLGC_WANTTAB);
    E->SetWantTabs(false);
    EXPECT_EQ(SendMessage(E->Wnd(), WM_GETDLGCODE, 0, 0) & DLGC_WANTTAB, 0);
    EXPECT_THROW(E->SetBuffer(new TTextStream(E.get())), EInvalidCast);
}

TEST_F(EditorTest, TheDateAndTimeInTheLocaleFormat) {
    std::setlocale(LC_TIME, "C");
    EXPECT_EQ(FormatDateTime("c", EncodeDateTime(2024, 2, 29, 13, 5, 9)), "02/29/24 13:05:09");
    EXPECT_EQ(FormatDateTime("c", EncodeDateTime(1999, 12, 31, 0, 0, 0)), "12/31/99");
    EXPECT_THROW(FormatDateTime("yyyy", 0.0), EConvertError);
    SetText("");
    E->InsertDateTime(EncodeDateTime(2001, 7, 4, 8, 30, 0));
    EXPECT_EQ(E->Text(), "07/04/01 08:30:00");
    EXPECT_EQ(AnsiUpperCase(0xFF), 0x9F);
    EXPECT_EQ(AnsiLowerCase(0xC0), 0xE0);
    EXPECT_EQ(AnsiUpperCase(0xF7), 0xF7);
}

// ---- Repainting -----------------------------------------------------------------------------

TEST_F(EditorTest, TypingRepaintsItsLineAndALineChangeTheRowsFromTheCaretDown) {
    E->SetWrapMode(opNone);
    std::string Text;
    for (int I = 0; I < 10; ++I)
        Text += "row " + std::to_string(I) + "\r\n";
    SetText(Text);
    E->FocusAt(E->TextOffset(LongPoint(5, 4)), false);
    Pump();
    const std::int64_t Row = E->GetLineNumber() - E->GetTopLine();
    ClearRecord();
    Char('x');
    // One line drawn, at the caret's row; no paint of the window.
    auto Text1 = Calls(headless::doTabbedTextOut);
    ASSERT_EQ(Text1.size(), 1U);
    EXPECT_EQ(Text1[0].Text, "row 4x");
    auto Blits = Calls(headless::doBitBlt);
    ASSERT_EQ(Blits.size(), 1U);
    EXPECT_EQ(Blits[0].Y, Row * E->GetCharHeight());

    // Enter: the rows from the caret's down, none above.
    ClearRecord();
    Key(VK_RETURN);
    const auto Rows = Calls(headless::doTabbedTextOut);
    ASSERT_FALSE(Rows.empty());
    for (const headless::TDrawCall& C : Rows)
        EXPECT_GE(C.Y, Row * E->GetCharHeight()) << C.Text;
    EXPECT_EQ(Rows.front().Text, "row 4x");
    // Deleting a character within a line: its row only again.
    Key(VK_UP);
    ClearRecord();
    Key(VK_DELETE);
    const auto Deleted = Calls(headless::doTabbedTextOut);
    ASSERT_EQ(Deleted.size(), 1U);
    EXPECT_EQ(Deleted[0].Text, "ow 4x");
}

} // namespace
} // namespace kestrel::test
