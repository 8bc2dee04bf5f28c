// The text viewer's text operations: selection text, clipboard copies in plain and column form,
// saving as stored or with line breaks (and what a failed or aborted save leaves), loading,
// search from the caret, words, bookmarks, paragraph selection and the window text messages.
#include "fileview/text_viewer_fixture.h"
#include "host/clipboard.h"
#include "host/sysutils.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>

#include <string>
#include <vector>

namespace kestrel::test {
namespace {

class TextViewerTextTest : public TextViewerFixture {
protected:
    void Select(TLongPoint S, TLongPoint E, TSelModes M) { V->SetSelectionForTest(S, E, M); }
    std::string Text() { return V->GetBuffer()->GetString(0, V->GetTextSize()); }
    std::string Saved(TSaveMode Mode) {
        V->SetSaveMode(Mode);
        const std::string F = Dir.File("out.txt");
        V->SaveAs(F);
        return ReadFile(F);
    }
    // Posts a press and a release at (X, Y) and dispatches them.
    void Click(int X, int Y) {
        Platform.Input().PostMouseDown(V->Wnd(), mbLeft, X, Y);
        Platform.Input().PostMouseUp(V->Wnd(), mbLeft, X, Y);
        Pump();
    }
    void QuadClick(int X, int Y) {
        for (int I = 0; I < 4; ++I) {
            Click(X, Y);
            Platform.Queue().AdvanceClock(50);
        }
    }
    int Row(std::int64_t R) const { return static_cast<int>(R * CharH() + CharH() / 2); }

    TTempDir Dir;
};

// ---- Column blocks and the clipboard -------------------------------------------------------

TEST_F(TextViewerTextTest, ThreeRowColumnCopyPutsTheSameBytesUnderBothFormats) {
    SetText("abcdef\ngh\nmnopqr\nstu");
    Select(LongPoint(1, 0), LongPoint(4, 2), smColumn);
    EXPECT_EQ(V->GetColumnLeft(), CharW());
    EXPECT_EQ(V->GetColumnRight(), 4 * CharW());
    // The short middle row gives what it has between the edges.
    const std::string Block = "bcd\r\nh\r\nnop\r\n";
    EXPECT_EQ(V->GetSelection(), Block);
    EXPECT_EQ(V->GetSelectionSize(), static_cast<std::int64_t>(Block.size()));

    V->CopyToClipBoard();
    const std::string WithZero = Block + std::string(1, '\0');
    EXPECT_EQ(Platform.Clipboard().GetClipboardBytes(CF_TEXT), WithZero);
    EXPECT_EQ(Platform.Clipboard().GetClipboardBytes(V->GetColumnClipFormat()), WithZero);
    EXPECT_EQ(Platform.Clipboard().GetClipboardFormats(),
              (std::vector<UINT>{V->GetColumnClipFormat(), CF_TEXT}));
    EXPECT_EQ(Clipboard()->GetAsText(), Block);
    EXPECT_FALSE(ClipboardHost().IsOpen());
    EXPECT_FALSE(V->GetState().Contains(vsBusy));

    // A stream selection turned into a column block over the same ends measures its edges.
    Select(LongPoint(2, 0), LongPoint(4, 2), smExtend);
    EXPECT_EQ(V->GetColumnLeft(), 0);
    V->SetSelectionForTest(LongPoint(2, 0), LongPoint(4, 2), smColumn);
    EXPECT_EQ(V->GetColumnLeft(), 2 * CharW());
    EXPECT_EQ(V->GetColumnRight(), 4 * CharW());
    EXPECT_EQ(V->GetSelection(), "cd\r\n\r\nop\r\n");

    // Outside column mode there is no column block to copy.
    Select(LongPoint(1, 0), LongPoint(2, 0), smExtend);
    HGLOBAL H = GlobalAlloc(GHND, 8);
    EXPECT_THROW(V->CopyColumnText(H), EInternalError);
    GlobalFree(H);
}

TEST_F(TextViewerTextTest, StreamCopyPutsPlainTextOnlyAndEntersBusyModeOnce) {
    SetText("one\ntwo\r\nthree");
    Select(LongPoint(1, 0), LongPoint(3, 2), smExtend);
    EXPECT_EQ(V->GetSelection(), "ne\ntwo\r\nthr");
    std::vector<std::int64_t> Totals;
    V->SetOnProgressEvent(
        [&](TLinesViewer*, std::int64_t, std::int64_t Total, bool&) { Totals.push_back(Total); });
    V->CopyToClipBoard();
    EXPECT_EQ(Platform.Clipboard().GetClipboardBytes(CF_TEXT), std::string("ne\ntwo\r\nthr\0", 12));
    EXPECT_EQ(Platform.Clipboard().GetClipboardFormats(), std::vector<UINT>{CF_TEXT})
        << "an earlier column block does not linger";
    EXPECT_EQ(Totals, (std::vector<std::int64_t>{12, 12})) << "busy mode entered and left";

    // Another owner holds the clipboard: the copy fails cleanly.
    TTextViewer Other(nullptr);
    Other.SetBounds(0, 0, 50, 50);
    ASSERT_TRUE(OpenClipboard(Other.GetHandle()));
    EXPECT_THROW(V->CopyToClipBoard(), Exception);
    EXPECT_FALSE(V->GetState().Contains(vsBusy));
    CloseClipboard();
    EXPECT_EQ(Clipboard()->GetAsText(), "ne\ntwo\r\nthr");
}

TEST_F(TextViewerTextTest, ProportionalColumnBlockIsSizedByItsRowsAndNeverOverruns) {
    V->GetFont()->SetName("Arial");
    SetText("iiiiiiiiiiiiiiiiiiiiiiii\niiiiiiiiiiiiiiiiiiiiiiii\nWWWWWWWWWWWW");
    TLinesBuffer* B = V->GetBuffer();
    const std::int64_t NarrowW = B->WidthOf('i');
    const std::int64_t WideW = B->WidthOf('W');
    ASSERT_GT(WideW, 2 * NarrowW) << "the test needs a narrow and a wide character";
    // The block's right edge lies two wide characters in: many narrow ones fit before it.
    Select(LongPoint(0, 0), LongPoint(2, 2), smColumn);
    const std::int64_t Narrow = 2 * WideW / NarrowW;
    const std::string Row(static_cast<std::size_t>(Narrow), 'i');
    const std::string Block = Row + "\r\n" + Row + "\r\nWW\r\n";
    EXPECT_EQ(V->GetSelection(), Block);
    const std::int64_t Size = V->GetSelectionSize();
    EXPECT_EQ(Size, static_cast<std::int64_t>(Block.size()));
    // The corner formula (|dx| + 2) * rows + 1 would have given far less.
    EXPECT_GT(Size, (2 + 2) * 3 + 1);

    V->CopyToClipBoard();
    EXPECT_EQ(Platform.Clipboard().GetClipboardBytes(CF_TEXT), Block + std::string(1, '\0'));

    // Handed a block too small, the copy fills it and stops at its end.
    HGLOBAL Small = GlobalAlloc(GHND, (2 + 2) * 3 + 1);
    EXPECT_EQ(V->CopyColumnText(Small), (2 + 2) * 3 + 1);
    {
        const TGlobalLockGuard Lock(Small);
        EXPECT_EQ(std::string(static_cast<const char*>(Lock.Get()), 13), Block.substr(0, 13));
    }
    GlobalFree(Small);
}

TEST_F(TextViewerTextTest, WrappedRowsLendNoBytesOfTheNextDisplayLine) {
    // Word-wrapped at the window: the first display line ends after a blank, far left of the
    // block's right edge.
    SetText("ab " + std::string(70, 'c') + "\n" + std::string(40, 'x'));
    const std::vector<TRefLine> Lines = ReferenceLines();
    ASSERT_GE(Lines.size(), 3U);
    ASSERT_EQ(Lines[0].Length, 3) << "layout assumption: the first line wraps after \"ab \"";
    // Rows 0 and 1: edges at characters 1 and 10 of the second display line.
    Select(LongPoint(1, 0), LongPoint(10, 1), smColumn);
    const std::string Expected = "b \r\n" + std::string(9, 'c') + "\r\n";
    EXPECT_EQ(V->GetSelection(), Expected);
    EXPECT_EQ(V->GetSelectionSize(), static_cast<std::int64_t>(Expected.size()));
}

TEST_F(TextViewerTextTest, ColumnSizeWaitsForTheCountWithoutSpinningWhenItCannotAdvance) {
    std::string T;
    for (int I = 0; I < 3000; ++I)
        T += "line " + std::to_string(I) + "\n";
    SetText(T);
    ASSERT_FALSE(V->GetCountComplete());
    const std::int64_t Scanned = V->GetScanLine();
    ASSERT_LT(Scanned, 1000);

    // The count pauses while the mouse is held: the size comes back all the same.
    V->SetState(vsMouseDown, true);
    Select(LongPoint(0, 0), LongPoint(2, 1500), smColumn);
    const std::int64_t Paused = V->GetSelectionSize();
    EXPECT_EQ(V->GetScanLine(), Scanned);
    V->SetState(vsMouseDown, false);

    EXPECT_EQ(V->GetSelectionSize(), Paused);
    EXPECT_GE(V->GetScanLine(), 1500) << "the count has passed the block's last row";
    EXPECT_EQ(Paused, 1501 * 4) << "two characters and CR LF a row";
}

// ---- Saving ----------------------------------------------------------------------------

TEST_F(TextViewerTextTest, LineBreakSaveWritesCrLfAfterEveryDisplayLine) {
    SetText("a\nb");
    EXPECT_EQ(Saved(smLineBreaks), "a\r\nb");
    SetText("a\r\nb\n");
    EXPECT_EQ(Saved(smLineBreaks), "a\r\nb\r\n") << "the final empty line is written as nothing";
    SetText("a\n\fb\f");
    EXPECT_EQ(Saved(smLineBreaks), "a\r\n\fb\r\n\f") << "form-feed lines are written alone";
    SetText("");
    EXPECT_EQ(Saved(smLineBreaks), "");

    // A paragraph wrapped into display lines becomes that many CR LF lines.
    V->SetWrapMode(opAbsoluteWrap);
    V->SetMaxLineLength(4);
    SetText("abcdefghij\nk");
    const std::vector<TRefLine> Lines = ReferenceLines();
    ASSERT_EQ(Lines.size(), 4U);
    EXPECT_EQ(Saved(smLineBreaks), "abcd\r\nefgh\r\nij\r\nk");
    EXPECT_EQ(Text(), "abcdefghij\nk") << "the text itself is not changed";
}

TEST_F(TextViewerTextTest, ParagraphSavePromptAndItsHandler) {
    const std::string T = "a\nb\r\n\fc  d";
    SetText(T);
    EXPECT_EQ(Saved(smParagraph), T);
    EXPECT_EQ(Saved(smPrompt), "a\r\nb\r\n\fc  d") << "no handler: line breaks";

    std::vector<TSaveMode> Asked;
    V->SetOnSaveModePrompt([&](TObject* Sender, TSaveMode& Mode) {
        EXPECT_EQ(Sender, V.get());
        Asked.push_back(Mode);
        Mode = smParagraph;
    });
    EXPECT_EQ(Saved(smPrompt), T);
    EXPECT_EQ(Saved(smLineBreaks), T) << "the handler is asked whatever the mode";
    EXPECT_EQ(Asked, (std::vector<TSaveMode>{smPrompt, smLineBreaks}));
}

TEST_F(TextViewerTextTest, AbortedLineBreakSaveRaisesAndLeavesTheOldFile) {
    std::string T;
    for (int I = 0; I < 500; ++I)
        T += "row " + std::to_string(I) + "\n";
    SetText(T);
    const std::string F = Dir.File("doc.txt");
    WriteFile(F, "the old contents");
    Select(LongPoint(0, 2), LongPoint(3, 2), smExtend);
    const std::int64_t Start = V->GetSelStartOffset();
    const std::int64_t CaretStart = V->GetCaretLineStart();
    V->SetRemapOnSave(true);

    // The user cancels at the third progress report (after 200 lines).
    int Reports = 0;
    V->SetOnProgressEvent([&](TLinesViewer*, std::int64_t Done, std::int64_t, bool& Cancel) {
        if (Done > 0 && ++Reports == 3)
            Cancel = true;
    });
    V->SetSaveMode(smLineBreaks);
    try {
        V->SaveAs(F);
        FAIL() << "an aborted save must raise";
    } catch (const EAbort& E) {
        EXPECT_STREQ(E.what(), "Operation aborted");
    }
    EXPECT_EQ(ReadFile(F), "the old contents");
    EXPECT_EQ(FilesIn(Dir.Path()), std::vector<std::string>{"doc.txt"}) << "no partial file";
    EXPECT_EQ(Text(), T);
    EXPECT_EQ(V->GetSelStartOffset(), Start) << "offsets not moved onto a file that was not made";
    EXPECT_EQ(V->GetCaretLineStart(), CaretStart);
    EXPECT_FALSE(V->GetState().Contains(vsBusy));

    // Without an old file nothing is left behind either.
    Reports = 0;
    EXPECT_THROW(V->SaveAs(Dir.File("new.txt")), EAbort);
    EXPECT_FALSE(FileExists(Dir.File("new.txt")));
}

TEST_F(TextViewerTextTest, FailedSavesLeaveTheTargetAndTheText) {
    std::string T;
    for (int I = 0; I < 300; ++I)
        T += "row " + std::to_string(I) + "\n";
    SetText(T);
    const std::string F = Dir.File("doc.txt");
    WriteFile(F, "old");
    // A failure half-way through the writing (a full disk, say), once.
    bool Failed = false;
    V->SetOnProgressEvent([&](TLinesViewer*, std::int64_t Done, std::int64_t Total, bool&) {
        if (Done > 1000 && Done < Total && !Failed) {
            Failed = true;
            throw EWriteError("Stream write error");
        }
    });
    V->SetSaveMode(smLineBreaks);
    EXPECT_THROW(V->SaveAs(F), EWriteError);
    EXPECT_TRUE(Failed);
    // The stored-text save has no progress to fail in: it fails on a folder that is not there.
    V->SetSaveMode(smParagraph);
    EXPECT_THROW(V->SaveAs(Dir.File("none/doc.txt")), EFCreateError);
    EXPECT_EQ(ReadFile(F), "old");
    EXPECT_EQ(FilesIn(Dir.Path()), std::vector<std::string>{"doc.txt"});
    EXPECT_EQ(Text(), T);
    EXPECT_FALSE(V->GetState().Contains(vsBusy));
    // The stored-text save replaces an existing file whole.
    V->SetOnProgressEvent(nullptr);
    V->SaveAs(F);
    EXPECT_EQ(ReadFile(F), T);
}

TEST_F(TextViewerTextTest, RemapMovesTheCachedOffsetsOntoTheSavedFile) {
    const std::string T = "ab\ncd\nef\ngh";
    SetText(T);
    V->SetLineNumber(2);
    V->SetCharNumber(1);
    Select(LongPoint(1, 1), LongPoint(1, 2), smExtend); // "d\ne"
    V->SetRemapOnSave(true);
    V->SetSaveMode(smLineBreaks);
    const std::string F = Dir.File("r.txt");
    V->SaveAs(F);
    const std::string Out = ReadFile(F);
    ASSERT_EQ(Out, "ab\r\ncd\r\nef\r\ngh");
    // Each offset now addresses the same character in the saved file.
    EXPECT_EQ(V->GetSelStartOffset(), 5);
    EXPECT_EQ(Out[5], 'd');
    EXPECT_EQ(V->GetSelEndOffset(), 9);
    EXPECT_EQ(Out[9], 'f');
    EXPECT_EQ(V->GetCaretLineStart(), 8);
    // Every cached line start is a line start of the saved file.
    const auto IsLineStart = [&](std::int64_t O) {
        return O == 0 || O == static_cast<std::int64_t>(Out.size()) ||
               (O > 0 && O < static_cast<std::int64_t>(Out.size()) &&
                Out[static_cast<std::size_t>(O) - 1] == '\n');
    };
    for (const std::int64_t O : {V->GetPrevLineStart(), V->GetLineStart(), V->GetNextLineStart(),
                                 V->GetScanOffset(), V->GetTopLineStart()})
        EXPECT_TRUE(IsLineStart(O)) << O;
}

TEST_F(TextViewerTextTest, SaveSelectionWritesTheStreamOrTheColumnBlock) {
    SetText("abcdef\nghijkl\nmnop");
    const std::string F = Dir.File("sel.txt");
    try {
        V->SaveSelection(F);
        FAIL() << "no selection must raise";
    } catch (const EUserError& E) {
        EXPECT_STREQ(E.what(), "no text selected");
    }
    EXPECT_FALSE(FileExists(F));
    Select(LongPoint(4, 0), LongPoint(2, 1), smExtend);
    V->SaveSelection(F);
    EXPECT_EQ(ReadFile(F), "ef\ngh");
    Select(LongPoint(1, 0), LongPoint(3, 2), smColumn);
    V->SaveSelection(F);
    EXPECT_EQ(ReadFile(F), "bc\r\nhi\r\nno\r\n");
    EXPECT_EQ(FilesIn(Dir.Path()).size(), 1U);
}

TEST_F(TextViewerTextTest, LoadFromStreamCopiesTheStreamAndStartsOver) {
    SetText("old text");
    Select(LongPoint(0, 0), LongPoint(3, 0), smExtend);
    TMemoryStream M;
    const std::string T = "new\ntext\n";
    M.WriteBuffer(T.data(), static_cast<std::int64_t>(T.size()));
    M.SetPosition(4); // the whole stream is taken, from its start
    V->LoadFromStream(&M);
    M.Clear(); // the viewer holds its own copy
    EXPECT_EQ(Text(), T);
    EXPECT_EQ(V->GetSelMode(), smNone);
    EXPECT_FALSE(V->GetState().Contains(vsEmpty));
    EXPECT_EQ(V->GetLineNumber(), 0);
    RunIdle();
    EXPECT_EQ(V->GetLastLine(), 2);

    TMemoryStream Empty;
    V->LoadFromStream(&Empty);
    EXPECT_TRUE(V->GetState().Contains(vsEmpty));
    EXPECT_TRUE(V->GetCountComplete());
}

// ---- Search ----------------------------------------------------------------------------

TEST_F(TextViewerTextTest, SearchRunsFromTheCaretOrTheSelection) {
    SetText("foo bar\nfoo baz\nfoo");
    EXPECT_FALSE(V->Search("", TFindOptions{frDown}));
    ASSERT_TRUE(V->Search("foo", TFindOptions{frDown}));
    EXPECT_EQ(V->GetSelStart(), LongPoint(0, 0));
    EXPECT_EQ(V->GetSelEnd(), LongPoint(3, 0));
    EXPECT_EQ(Caret(), LongPoint(3, 0));
    // Again with the match selected: the search starts after it.
    ASSERT_TRUE(V->Search("foo", TFindOptions{frDown}));
    EXPECT_EQ(V->GetSelStart(), LongPoint(0, 1));
    ASSERT_TRUE(V->Search("foo", TFindOptions{frDown}));
    EXPECT_EQ(V->GetSelStart(), LongPoint(0, 2));
    EXPECT_FALSE(V->Search("foo", TFindOptions{frDown}));
    EXPECT_EQ(V->GetSelStart(), LongPoint(0, 2)) << "a miss changes nothing";
    // Up from the selection: one byte before it, so the selected match is not found again.
    ASSERT_TRUE(V->Search("foo", TFindOptions{}));
    EXPECT_EQ(V->GetSelStart(), LongPoint(0, 1));
    EXPECT_EQ(V->GetSelection(), "foo");
    ASSERT_TRUE(V->Search("FOO", TFindOptions{}));
    EXPECT_EQ(V->GetSelStart(), LongPoint(0, 0));
    EXPECT_FALSE(V->Search("FOO", TFindOptions{frMatchCase, frDown}));
}

TEST_F(TextViewerTextTest, AFarMatchShowsAtOnceWithAProvisionalNumberThatTheCountCorrects) {
    // Short lines first, long ones after: the numbers extrapolated from the start are wrong.
    std::string T;
    for (int I = 0; I < 2000; ++I)
        T += "s\n";
    for (int I = 0; I < 400; ++I)
        T += std::string(40, 'l') + "\n";
    T += "the needle\n";
    for (int I = 0; I < 400; ++I)
        T += std::string(40, 'l') + "\n";
    SetText(T);
    ASSERT_FALSE(V->GetCountComplete());
    const std::int64_t Offset = static_cast<std::int64_t>(T.find("needle"));
    std::int64_t TrueLine = 0;
    const std::vector<TRefLine> Lines = ReferenceLines();
    while (Lines[static_cast<std::size_t>(TrueLine) + 1].Start <= Offset)
        ++TrueLine;

    ASSERT_TRUE(V->Search("needle", TFindOptions{frDown}));
    EXPECT_EQ(V->GetSelection(), "needle");
    EXPECT_TRUE(V->GetLineNumbersPending());
    EXPECT_NE(V->GetLineNumber(), TrueLine) << "provisional";
    EXPECT_LE(V->GetTopLine(), V->GetLineNumber());
    EXPECT_GT(V->GetTopLine() + V->GetLinesOnScreen(), V->GetLineNumber()) << "shown at once";
    EXPECT_EQ(V->TextOffset(Caret()), Offset + 6);

    RunIdle();
    EXPECT_FALSE(V->GetLineNumbersPending());
    EXPECT_EQ(V->GetLineNumber(), TrueLine);
    EXPECT_EQ(V->GetSelStart().Y, TrueLine);
    EXPECT_EQ(V->GetSelection(), "needle");
}

TEST_F(TextViewerTextTest, InitialFindStringIsTheWordAtOrBeforeTheCaret) {
    SetText("hello world");
    V->SetCharNumber(8);
    EXPECT_EQ(V->GetInitialFindStr(), "world");
    V->SetCharNumber(5); // the blank after the first word
    EXPECT_EQ(V->GetInitialFindStr(), "hello");
    V->SetCharNumber(11); // the end of the text
    EXPECT_EQ(V->GetInitialFindStr(), "world");

    SetText("  ,;  ");
    V->SetFindStr("previous");
    V->SetCharNumber(3);
    EXPECT_EQ(V->GetInitialFindStr(), "previous");
    V->SetFindStr(std::string(300, 'p'));
    EXPECT_EQ(V->GetInitialFindStr(), std::string(255, 'p'));

    SetText(std::string(300, 'w'));
    V->SetWrapMode(opNone);
    V->SetCharNumber(10);
    EXPECT_EQ(V->GetInitialFindStr(), std::string(255, 'w'));
}

TEST_F(TextViewerTextTest, SearchStatusReportsProgressAndCancels) {
    SetText("abc");
    V->EnterBusyMode(100);
    bool Cancelled = true;
    V->HandleSearchStatus(10, Cancelled);
    EXPECT_FALSE(Cancelled);
    V->SetOnProgressEvent(
        [](TLinesViewer*, std::int64_t, std::int64_t, bool& Cancel) { Cancel = true; });
    V->HandleSearchStatus(20, Cancelled);
    EXPECT_TRUE(Cancelled);
    V->ExitBusyMode();
}

// ---- Words -----------------------------------------------------------------------------

TEST_F(TextViewerTextTest, WordStartEndAndNext) {
    SetText("foo  \tbar, baz\nqux");
    EXPECT_EQ(V->FindNextWord(LongPoint(1, 0)), LongPoint(6, 0)) << "rest of word, blanks, tab";
    EXPECT_EQ(V->FindNextWord(LongPoint(7, 0)), LongPoint(9, 0)) << "stops at punctuation";
    EXPECT_EQ(V->FindNextWord(LongPoint(9, 0)), LongPoint(9, 0));
    EXPECT_EQ(V->FindNextWord(LongPoint(12, 0)), LongPoint(14, 0)) << "a line break is no blank";
    EXPECT_EQ(V->FindWordEnd(LongPoint(6, 0)), LongPoint(9, 0));
    EXPECT_EQ(V->FindWordEnd(LongPoint(4, 0)), LongPoint(4, 0)) << "not on a word";
    EXPECT_EQ(V->FindWordStart(LongPoint(8, 0)), LongPoint(6, 0));
    EXPECT_EQ(V->FindWordStart(LongPoint(4, 0)), LongPoint(0, 0)) << "the word before";
    EXPECT_EQ(V->FindWordStart(LongPoint(0, 1)), LongPoint(0, 1));
    EXPECT_EQ(V->FindWordStart(LongPoint(3, 1)), LongPoint(0, 1)) << "from the end of the text";
    // Bytes 192 and up are letters, except the multiplication and division signs.
    SetText("caf\xE9 a\xD7"
            "b");
    EXPECT_EQ(V->FindWordEnd(LongPoint(0, 0)), LongPoint(4, 0));
    EXPECT_EQ(V->FindWordEnd(LongPoint(5, 0)), LongPoint(6, 0));
    SetText("");
    EXPECT_EQ(V->FindWordStart(LongPoint(0, 0)), LongPoint(0, 0));
    EXPECT_EQ(V->FindNextWord(LongPoint(0, 0)), LongPoint(0, 0));
}

// ---- Bookmarks -------------------------------------------------------------------------

TEST_F(TextViewerTextTest, BookmarksReturnTheCaretAndADeletedOneBeeps) {
    SetText("zero\none\ntwo\nthree");
    V->SetLineNumber(2);
    V->SetCharNumber(2);
    const std::int64_t Mark = V->AllocBookmark();
    EXPECT_EQ(V->GetBuffer()->GetBookMark(Mark), 11);
    V->SetLineNumber(0);
    V->SetCharNumber(0);
    V->GotoBookMark(Mark);
    EXPECT_EQ(Caret(), LongPoint(2, 2));

    V->DeleteBookmark(Mark);
    V->SetLineNumber(3);
    Platform.Dialogs().ClearBeeps();
    V->GotoBookMark(Mark);
    EXPECT_EQ(V->GetLineNumber(), 3) << "the caret stays";
    EXPECT_EQ(Platform.Dialogs().GetBeeps(), std::vector<std::uint32_t>{0});
    V->SetBeepOn(false);
    V->GotoBookMark(Mark);
    EXPECT_EQ(Platform.Dialogs().GetBeeps().size(), 1U);
    EXPECT_THROW(V->DeleteBookmark(99), EBookmarkError);
}

// ---- Mouse and window text -------------------------------------------------------------

TEST_F(TextViewerTextTest, FourthClickSelectsTheParagraphWithItsWrappedLines) {
    V->SetWrapMode(opAbsoluteWrap);
    V->SetMaxLineLength(10);
    SetText("first\nsecond paragraph wraps over lines\nthird");
    // Display lines: "first", then the second paragraph over several lines, then "third".
    const std::vector<TRefLine> Lines = ReferenceLines();
    ASSERT_GE(Lines.size(), 5U);
    ASSERT_EQ(Lines[4].Start, 34) << "layout assumption: \"lines\" is a display line of its own";
    // In the last piece of the second paragraph (whose line end is its own line break).
    QuadClick(static_cast<int>(3 * CharW()), Row(4));
    EXPECT_EQ(V->GetClickState(), mcQuad);
    EXPECT_EQ(V->GetSelMode(), smExtend);
    EXPECT_EQ(V->GetSelection(), "second paragraph wraps over lines\n");
    EXPECT_EQ(V->GetSelStart(), LongPoint(0, 1));

    // On the very first character of a paragraph it is still that paragraph.
    Platform.Queue().AdvanceClock(1000);
    Pump();
    QuadClick(1, Row(static_cast<std::int64_t>(Lines.size()) - 1));
    EXPECT_EQ(V->GetSelection(), "third");
}

TEST_F(TextViewerTextTest, WindowTextMessagesCopyWithinTheCallersBuffer) {
    SetText("hello");
    char Buf[8];
    std::memset(Buf, 'x', sizeof Buf);
    EXPECT_EQ(SendMessage(V->Wnd(), WM_GETTEXT, 1, reinterpret_cast<LPARAM>(Buf)), 0);
    EXPECT_EQ(Buf[0], '\0');
    EXPECT_EQ(Buf[1], 'x') << "only the zero byte";
    std::memset(Buf, 'x', sizeof Buf);
    EXPECT_EQ(SendMessage(V->Wnd(), WM_GETTEXT, 0, reinterpret_cast<LPARAM>(Buf)), 0);
    EXPECT_EQ(Buf[0], 'x') << "no room, nothing written";
    EXPECT_EQ(SendMessage(V->Wnd(), WM_GETTEXT, 4, reinterpret_cast<LPARAM>(Buf)), 3);
    EXPECT_EQ(std::string(Buf, 4), std::string("hel\0", 4));
    EXPECT_EQ(SendMessage(V->Wnd(), WM_GETTEXT, sizeof Buf, reinterpret_cast<LPARAM>(Buf)), 5);
    EXPECT_STREQ(Buf, "hello");
    EXPECT_EQ(SendMessage(V->Wnd(), WM_GETTEXTLENGTH, 0, 0), 5);
}

TEST_F(TextViewerTextTest, GetStringReadsFromACharacterOfADisplayLine) {
    SetText("abc\ndefgh\nij");
    EXPECT_EQ(V->GetString(1, 2, 3), "fgh");
    EXPECT_EQ(V->GetString(1, 9, 3), "\nij") << "an index past the line starts at its end";
    EXPECT_EQ(V->GetString(2, 0, 10), "ij");
}

} // namespace
} // namespace kestrel::test
