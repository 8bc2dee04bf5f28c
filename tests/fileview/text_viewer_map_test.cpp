// The text viewer's line map: small texts and their edge cases, page boundaries, the background
// count and its end, estimated jumps on a huge generated text, the idle handler and wrap modes.
// (The randomized comparison with a reference line index is among the slow tests.)
#include "text_viewer_fixture.h"

#include <functional>
#include <random>

namespace kestrel::test {
namespace {

using testdata::TGeneratedText;

class TextViewerMapTest : public TextViewerFixture {};

// ---- Small texts ----------------------------------------------------------------------------

TEST_F(TextViewerMapTest, AnEmptyTextHasOneLineAndEveryGotoLandsOnIt) {
    SetText("");
    EXPECT_EQ(V->GetLastLine(), 0);
    EXPECT_EQ(V->GetPageCount(), 1);
    EXPECT_TRUE(V->GetCountComplete());
    EXPECT_TRUE(V->GetState().Contains(vsEmpty));
    V->LocateLine(7, true);
    EXPECT_EQ(V->GetMapLine(), 0);
    V->GotoPosition(12);
    EXPECT_EQ(V->GetMapLine(), 0);
    EXPECT_EQ(V->OffsetToPoint(5), LongPoint(0, 0));
    V->GotoLineNumber(3);
    EXPECT_EQ(V->GetLineNumber(), 0);
    EXPECT_FALSE(V->GotoNextLine());
    EXPECT_FALSE(V->GotoPrevLine());
}

TEST_F(TextViewerMapTest, OneLineTextsAndTheEmptyLineAfterAFinalLineBreak) {
    SetText("a");
    EXPECT_EQ(V->GetLastLine(), 0);
    EXPECT_TRUE(V->GetCountComplete());
    EXPECT_FALSE(V->GetState().Contains(vsEmpty));
    V->GotoFirstLine();
    EXPECT_TRUE(V->AtEndOfText());
    EXPECT_EQ(V->OffsetToPoint(1), LongPoint(1, 0));

    SetText("a\n");
    EXPECT_EQ(V->GetLastLine(), 1);
    EXPECT_EQ(V->OffsetToPoint(2), LongPoint(0, 1));
    EXPECT_EQ(V->OffsetToPoint(1), LongPoint(1, 0));
    EXPECT_EQ(V->TextOffset(LongPoint(0, 1)), 2);
    V->GotoFirstLine();
    EXPECT_FALSE(V->AtEndOfText());
    ASSERT_TRUE(V->GotoNextLine());
    EXPECT_EQ(V->GetLineStart(), 2);
    EXPECT_EQ(V->GetMapLineLength(), 0);
    EXPECT_TRUE(V->AtEndOfText());
    EXPECT_FALSE(V->GotoNextLine());

    SetText("a\nb");
    EXPECT_EQ(V->GetLastLine(), 1);
    EXPECT_EQ(V->OffsetToPoint(3), LongPoint(1, 1));
    ASSERT_TRUE(V->GotoPrevLine());
    EXPECT_EQ(V->GetMapLine(), 0);
    EXPECT_EQ(V->GetLineStart(), 0);
    EXPECT_FALSE(V->GotoPrevLine());

    SetText("a\r\nb\r\n");
    EXPECT_EQ(V->GetLastLine(), 2);
    EXPECT_EQ(V->OffsetToPoint(3), LongPoint(0, 1));
    EXPECT_EQ(V->OffsetToPoint(6), LongPoint(0, 2));
    EXPECT_EQ(V->TextOffset(LongPoint(9, 0)), 1) << "an index past the line end is clamped";
}

TEST_F(TextViewerMapTest, ALeadingFormFeedIsAHardBreakOnPageTwo) {
    SetText("\fabc\ndef\n");
    ASSERT_TRUE(V->CompleteCount());
    EXPECT_EQ(V->GetHardBreaks(), std::vector<std::int64_t>{0});
    EXPECT_EQ(V->GetLastLine(), 3); // form feed, "abc", "def", the empty last line
    V->GotoFirstLine();
    EXPECT_EQ(V->GetMapPage(), 2);
    EXPECT_EQ(V->GetMapBoundary(), pbHardPageBreak);
    EXPECT_EQ(V->GetHardBreakIndex(), 0);
    EXPECT_GE(V->GetAverageLinesPerPage(), 1);
    ASSERT_TRUE(V->GotoNextLine());
    EXPECT_EQ(V->GetLineStart(), 1);
    EXPECT_EQ(V->GetMapPage(), 2);
    EXPECT_EQ(V->GetMapBoundary(), pbNone);
    ASSERT_TRUE(V->GotoPrevLine());
    EXPECT_EQ(V->GetMapPage(), 2);
    EXPECT_EQ(V->GetMapBoundary(), pbHardPageBreak);
    // Counting again from the start adds the break once.
    V->ReEstimateFrom(0);
    ASSERT_TRUE(V->CompleteCount());
    EXPECT_EQ(V->GetHardBreaks(), std::vector<std::int64_t>{0});
    EXPECT_EQ(V->GetPageCount(), 2);
}

TEST_F(TextViewerMapTest, AnEstimatedJumpAfterALeadingFormFeedDoesNotDivideByZero) {
    // Pages so long that the only page step of the first count step is the leading form feed:
    // its average of 0 / 2 lines per page would be the divisor of the jump.
    V->SetLinesPerPageForTest(1000000);
    std::string Text = "\f";
    for (int I = 0; I < 6000; ++I)
        Text += "line " + std::to_string(I) + "\n";
    SetText(Text);
    ASSERT_FALSE(V->GetCountComplete());
    EXPECT_GE(V->GetAverageLinesPerPage(), 1);
    const std::int64_t Target = V->GetLastLine() / 2;
    V->LocateLine(Target, true);
    EXPECT_EQ(V->GetMapLine(), Target);
    EXPECT_TRUE(V->GetLineNumbersPending());
    EXPECT_EQ(V->GetMapPage(), Target / V->GetAverageLinesPerPage() + 1);
    EXPECT_NEAR(static_cast<double>(V->GetLineStart()), Text.size() / 2.0, 4096.0);
}

TEST_F(TextViewerMapTest, GotoLineNumberCountsLinesWithoutTheFormFeedLines) {
    // Display lines: 0 "a", 1 form feed, 2 "b", 3 "c", 4 form feed, 5 "d".
    SetText("a\n\fb\nc\n\fd");
    ASSERT_TRUE(V->CompleteCount());
    EXPECT_EQ(V->GetHardBreaks(), (std::vector<std::int64_t>{1, 4}));
    EXPECT_EQ(V->GetLastLine(), 5);
    const std::pair<std::int64_t, std::int64_t> Cases[] = {{1, 0}, {2, 2}, {3, 3}, {4, 5}, {0, 0}};
    for (const auto& [N, Line] : Cases) {
        V->GotoLineNumber(N);
        EXPECT_EQ(V->GetLineNumber(), Line) << "line number " << N;
        EXPECT_EQ(V->GetCharNumber(), 0);
        EXPECT_FALSE(V->GetState().Contains(vsGotoLine));
    }
    // From the end backwards, so the map walks the other way.
    V->GotoLineNumber(4);
    V->GotoLineNumber(2);
    EXPECT_EQ(V->GetLineNumber(), 2);

    std::int64_t W = 0, L = 0, Page = 0, Offset = 0, Top = 0;
    V->GetLineData(5, W, L, Page, Offset, Top);
    EXPECT_EQ(Offset, 2) << "two break lines at or before line 5";
    EXPECT_EQ(Top, 5) << "the line after the last hard break";
    EXPECT_EQ(Page, 3);
    V->GetLineData(3, W, L, Page, Offset, Top);
    EXPECT_EQ(Offset, 1);
    EXPECT_EQ(Top, 2);
    EXPECT_EQ(Page, 2);
    V->GetLineData(0, W, L, Page, Offset, Top);
    EXPECT_EQ(Offset, 0);
    EXPECT_EQ(Top, 0);
    EXPECT_EQ(Page, 1);
    V->SetLineNumber(5);
    EXPECT_EQ(V->GetEffectiveLineNumber(), 3) << "\"d\" is the fourth line of text";
}

TEST_F(TextViewerMapTest, SoftPageBoundariesRestartAfterEachHardBreak) {
    V->SetLinesPerPageForTest(4);
    // Hard breaks at lines 6 and 8.
    std::string Text;
    for (int I = 0; I < 20; ++I)
        Text += (I == 6 || I == 8) ? "\f" : "l" + std::to_string(I) + "\n";
    SetText(Text);
    ASSERT_TRUE(V->CompleteCount());
    const std::vector<TRefLine> Ref = ReferenceLines();
    ASSERT_EQ(V->GetHardBreaks(), (std::vector<std::int64_t>{6, 8}));
    // Expected boundaries and pages, from the rule: every 4 lines after line 0 and after each
    // hard break, never on the break itself.
    std::vector<TPageBoundaries> Boundary(Ref.size(), pbNone);
    std::vector<std::int64_t> Page(Ref.size(), 1);
    std::int64_t P = 1;
    std::int64_t LastHard = 0;
    for (std::size_t I = 0; I < Ref.size(); ++I) {
        const auto Line = static_cast<std::int64_t>(I);
        if (Line == 6 || Line == 8) {
            Boundary[I] = pbHardPageBreak;
            LastHard = Line;
            ++P;
        } else if (Line > 0 && (Line - LastHard) % 4 == 0) {
            Boundary[I] = pbSoftPageBreak;
            ++P;
        }
        Page[I] = P;
    }
    EXPECT_EQ(V->GetPageCount(), P);
    V->GotoFirstLine();
    for (std::size_t I = 0; I < Ref.size(); ++I) {
        EXPECT_EQ(V->GetMapBoundary(), Boundary[I]) << "forwards, line " << I;
        EXPECT_EQ(V->GetMapPage(), Page[I]) << "forwards, line " << I;
        if (I + 1 < Ref.size()) {
            ASSERT_TRUE(V->GotoNextLine());
        }
    }
    for (std::size_t I = Ref.size(); I-- > 0;) {
        EXPECT_EQ(V->GetMapBoundary(), Boundary[I]) << "backwards, line " << I;
        EXPECT_EQ(V->GetMapPage(), Page[I]) << "backwards, line " << I;
        if (I > 0) {
            ASSERT_TRUE(V->GotoPrevLine());
        }
    }
    // Jumping into the middle finds the same boundary and index.
    V->GotoPosition(Ref[12].Start);
    EXPECT_EQ(V->GetMapLine(), 12);
    EXPECT_EQ(V->GetMapBoundary(), pbSoftPageBreak);
    EXPECT_EQ(V->GetHardBreakIndex(), 1);
}

TEST_F(TextViewerMapTest, AnOffsetAtAFormFeedIsTheEndOfTheTextBeforeItFromEitherSide) {
    SetText("ab\ncd\fef\n\f\fgh");
    ASSERT_TRUE(V->CompleteCount());
    // Lines: 0 "ab", 1 "cd", 2 form feed, 3 "ef", 4 form feed, 5 form feed, 6 "gh".
    for (const std::int64_t From : {0, 6}) {
        V->LocateLine(From, false);
        EXPECT_EQ(V->OffsetToPoint(5), LongPoint(2, 1)) << "\"cd\" runs up to the form feed";
        V->LocateLine(From, false);
        EXPECT_EQ(V->OffsetToPoint(9), LongPoint(0, 4)) << "after a line break: its own line";
        V->LocateLine(From, false);
        EXPECT_EQ(V->OffsetToPoint(10), LongPoint(0, 5)) << "after a form-feed line";
        V->LocateLine(From, false);
        EXPECT_EQ(V->OffsetToPoint(11), LongPoint(0, 6));
    }
}

// An anchor inside a line longer than the map's reach (a selection's end) places the map on
// that line, whatever lines come before it: the lines skipped on the way to it must not take
// the line holding it.
TEST_F(TextViewerMapTest, AnAnchorInsideALongLineIsOnThatLine) {
    V->SetWrapMode(opNone);
    const std::string X(200000, 'x'), Y(200000, 'y');
    SetText("a\n" + X + "\n" + Y + "\nz\n");
    ASSERT_TRUE(V->CompleteCount());
    const std::int64_t YStart = 2 + 200001;
    for (const std::int64_t Column : {1, 150000, 199999}) {
        V->SetSelectionForTest(LongPoint(0, 0), LongPoint(Column, 2), smExtend);
        ASSERT_EQ(V->GetSelEndOffset(), YStart + Column);
        V->GotoFirstLine();
        V->HandleOnChange(nullptr); // (forgets the line starts the last walk met)
        EXPECT_EQ(V->TextOffset(V->GetSelEnd()), YStart + Column) << Column;
        EXPECT_EQ(V->GetLineStart(), YStart) << Column;
        EXPECT_EQ(V->GetMapLine(), 2) << Column;
    }
}

TEST_F(TextViewerMapTest, AnUnwrappedLineWiderThan2To31PixelsStaysOneLine) {
    V->GetFont()->SetHeight(-20000); // 12,000 pixels a character: 2^31 pixels in 179,000
    V->SetWrapMode(opNone);
    SetText(std::string(200000, 'x') + "\nz");
    ASSERT_TRUE(V->CompleteCount());
    EXPECT_EQ(V->GetLastLine(), 1);
    V->GotoLineNumber(2); // numbered from 1
    EXPECT_EQ(V->GetLineStart(), 200001);
}

TEST_F(TextViewerMapTest, CaretConversionsSnapToCharactersAndReportSpacesBeyondTheLine) {
    SetText("abcdef\nxy\n");
    const std::int64_t W = CharW();
    std::int64_t Beyond = -1;
    EXPECT_EQ(V->GetTextPos(LongPoint(2 * W + 1, 0), Beyond), 2);
    EXPECT_EQ(Beyond, 0);
    EXPECT_EQ(V->GetTextPos(LongPoint(5 * W, 1), Beyond), 9) << "the end of \"xy\"";
    EXPECT_EQ(Beyond, 3) << "three spaces past it";
    // A point inside a character goes to the nearer boundary, and the caret sits on it.
    V->SetLineNumber(0);
    std::int64_t X = 2 * W + W / 2 + 1;
    std::int64_t N = 0;
    V->SyncToChar(X, N);
    EXPECT_EQ(N, 3);
    EXPECT_EQ(X, 3 * W);
    X = 2 * W + 1;
    V->SyncToChar(X, N);
    EXPECT_EQ(N, 2);
    EXPECT_EQ(X, 2 * W);
    X = 0;
    V->SyncToChar(X, N);
    EXPECT_EQ(N, 0);
    X = 40 * W;
    V->SyncToChar(X, N);
    EXPECT_EQ(N, 6) << "past the end: the line's length";
    EXPECT_EQ(V->CharNumToPoint(4), 4 * W);
    V->SetPosition(8);
    EXPECT_EQ(Caret(), LongPoint(1, 1));
    EXPECT_EQ(V->MarkLocation(), 8);
    EXPECT_EQ(V->GetPosition(), 8);
}

TEST_F(TextViewerMapTest, GotoLocationKeepsTheCaretOnItsScreenRow) {
    std::string Text;
    for (int I = 0; I < 300; ++I)
        Text += "line " + std::to_string(I) + "\n";
    SetText(Text);
    ASSERT_TRUE(V->CompleteCount());
    V->SetLineNumber(20);
    V->SetDeltaY(15);
    ASSERT_EQ(V->GetLineNumber() - V->GetTopLine(), 5);
    for (const int Line : {200, 22, 120, 3}) {
        const std::int64_t Row = V->GetLineNumber() - V->GetTopLine();
        V->GotoLocation(V->TextOffset(LongPoint(2, Line)));
        EXPECT_EQ(V->GetLineNumber(), Line);
        EXPECT_EQ(V->GetCharNumber(), 2);
        if (Line >= Row) {
            EXPECT_EQ(V->GetLineNumber() - V->GetTopLine(), Row) << "line " << Line;
        } else {
            EXPECT_EQ(V->GetTopLine(), 0) << "line " << Line;
        }
    }
}

// ---- The background count -------------------------------------------------------------------

TEST_F(TextViewerMapTest, TheExtrapolatedLastLineNeverFallsBelowTheCaret) {
    V->SetWrapMode(opNone);
    // Long lines first and short ones only after the last place sampled, so that the estimate
    // is far too low.
    std::string Text;
    for (int I = 0; I < 6000; ++I)
        Text += std::string(200, 'x') + "\n";
    for (int I = 0; I < 17150; ++I)
        Text += "y\n";
    SetText(Text);
    ASSERT_FALSE(V->GetCountComplete());
    EXPECT_LT(V->GetLastLine(), 10000) << "the extrapolation is low, as it should be here";
    V->SetPosition(static_cast<std::int64_t>(Text.size()) - 100);
    const std::int64_t Caret = V->GetLineNumber();
    EXPECT_GT(Caret, 15000);
    EXPECT_GE(V->GetLastLine(), Caret);
    V->ReEstimateFrom(0);
    V->EstimateLastLine();
    EXPECT_FALSE(V->GetCountComplete());
    EXPECT_GE(V->GetLastLine(), V->GetLineNumber());
    ASSERT_TRUE(V->CompleteCount());
    EXPECT_EQ(V->GetLastLine(), 23150);
    EXPECT_EQ(V->GetLineNumber(), 23150 - 50);
}

// Opening reads only what the first screen needs; the first idle step samples the text, and the
// estimated last line holds from then on however unlike the rest the first lines are.
TEST_F(TextViewerMapTest, TheFirstIdleStepSamplesTheTextForTheEstimates) {
    V->SetWrapMode(opNone);
    std::string Text;
    for (int I = 0; I < 20; ++I)
        Text += std::string(10000, 'x') + "\n";
    for (int I = 0; I < 600000; ++I)
        Text += "line " + std::to_string(1000 + I % 9000) + "\n";
    SetText(Text);
    EXPECT_LT(V->GetLastLine(), 60000) << "from the first lines only";
    bool Done = false;
    V->HandleOnIdle(nullptr, Done);
    ASSERT_FALSE(V->GetCountComplete());
    EXPECT_NEAR(static_cast<double>(V->GetLastLine()), 600020.0, 6000.0);
    ASSERT_TRUE(V->CompleteCount());
    EXPECT_EQ(V->GetLastLine(), 600020);

    // Lines longer than the samples: the samples find the lengths of the lines they fall in.
    Text.clear();
    for (int I = 0; I < 40; ++I)
        Text += std::string(240000 + I * 100, 'y') + "\n";
    SetText(Text);
    while (V->GetRowsPending())
        V->HandleOnIdle(nullptr, Done);
    V->HandleOnIdle(nullptr, Done);
    ASSERT_FALSE(V->GetCountComplete());
    EXPECT_NEAR(static_cast<double>(V->GetLastLine()), 40.0, 4.0);
}

TEST_F(TextViewerMapTest, ACountResumedFromAnAnchorGoesOnFromItsExactPage) {
    V->SetWrapMode(opNone);
    V->SetLinesPerPageForTest(9);
    // The first lines counted have form feeds, so that the lines a page they predict are too
    // few and the page of an estimated jump is far off.
    std::string Text;
    for (int I = 0; I < 3000; ++I)
        Text += I < 99 && I % 8 == 7 ? "\f\n" : "y\n";
    SetText(Text);
    ASSERT_FALSE(V->GetCountComplete());
    auto WalkedPages = [&] {
        V->GotoFirstLine();
        std::int64_t Page = V->GetMapPage();
        while (V->GotoNextLine())
            Page += V->GetMapBoundary() != pbNone ? 1 : 0;
        return Page;
    };
    // A selection made while the numbers there are provisional; the count then passes it.
    V->LocateLine(2500, true);
    ASSERT_TRUE(V->GetLineNumbersPending());
    V->SetSelectionForTest(LongPoint(0, 2500), LongPoint(1, 2500), smExtend);
    ASSERT_TRUE(V->CompleteCount());
    const std::int64_t Pages = WalkedPages();
    EXPECT_EQ(V->GetPageCount(), Pages);
    // The map placed on the selection's start, then a change there (as an edit makes): the count
    // resumes from the line before it, on that line's page.
    V->GotoPosition(V->GetSelStartOffset());
    ASSERT_EQ(V->GetLineStart(), V->GetSelStartOffset());
    V->ReEstimateFrom(V->GetLineStart());
    EXPECT_EQ(V->GetScanOffset(), V->GetPrevLineStart());
    ASSERT_TRUE(V->CompleteCount());
    EXPECT_EQ(V->GetPageCount(), Pages);
    V->CheckMapInvariants();
}

TEST_F(TextViewerMapTest, ACountStepAtTheEndDoesNotSpinOnAnOffsetBeyondTheText) {
    SetText("one\ntwo\nthree\nfour\n");
    // An offset past the end, as the text is replaced under a selection that was near its end.
    V->ForceSelectionOffsets(5, 400);
    V->ReEstimateFrom(0);
    EXPECT_TRUE(V->GetLineNumbersPending());
    EXPECT_TRUE(V->CompleteCount());
    EXPECT_EQ(V->GetLastLine(), 4);
    EXPECT_FALSE(V->GetLineNumbersPending());
    // Further steps change nothing.
    V->EstimateNumLines();
    V->EstimateNumLines();
    EXPECT_EQ(V->GetLastLine(), 4);
    EXPECT_EQ(V->GetScanLine(), 4);
    EXPECT_TRUE(IdleStep());
}

TEST_F(TextViewerMapTest, WaitingForTheCountStopsWhenAStepMakesNoProgress) {
    SetGenerated(400000);
    ASSERT_FALSE(V->GetCountComplete());
    // A held mouse button pauses the count: the wait gives up instead of spinning, and the
    // idle handler does not ask to be called again at once.
    V->SetState(vsMouseDown, true);
    const std::int64_t Scan = V->GetScanOffset();
    EXPECT_FALSE(V->CompleteCount());
    EXPECT_EQ(V->GetScanOffset(), Scan);
    EXPECT_TRUE(IdleStep());
    V->SetState(vsMouseDown, false);
    EXPECT_FALSE(IdleStep()) << "counting again: more to do";
    EXPECT_GT(V->GetScanOffset(), Scan);
    EXPECT_TRUE(V->CompleteCount());
    EXPECT_EQ(V->GetLastLine(), static_cast<std::int64_t>(ReferenceLines().size()) - 1);
}

TEST_F(TextViewerMapTest, TheIdleHandlerIsChainedAndUnhookedOnFocusLossAndDestruction) {
    int Theirs = 0;
    bool TheirDone = true;
    V.reset();
    Application->SetOnIdle([&](TObject*, bool& Done) {
        ++Theirs;
        Done = TheirDone;
    });
    MakeViewer();
    ASSERT_TRUE(V->GetIdleHooked());
    SetGenerated(300000);
    ASSERT_FALSE(V->GetCountComplete());
    int Reports = 0;
    V->SetOnCaretMoved([&](TObject*) { ++Reports; });
    EXPECT_FALSE(IdleStep());
    EXPECT_EQ(Theirs, 1) << "the previous handler runs after ours";
    RunIdle();
    EXPECT_TRUE(V->GetCountComplete());
    EXPECT_GT(Reports, 0);
    TheirDone = false;
    EXPECT_FALSE(IdleStep()) << "their answer counts too";
    TheirDone = true;
    EXPECT_TRUE(IdleStep());

    // Focus elsewhere: the saved handler is back.
    TTestTextViewer Other(nullptr);
    Other.SetBounds(0, 300, 100, 100);
    Other.GetHandle();
    Other.SetFocus();
    Pump();
    EXPECT_FALSE(V->GetIdleHooked());
    const int Before = Theirs;
    EXPECT_TRUE(IdleStep());
    EXPECT_EQ(Theirs, Before + 1);

    // A focused viewer that is destroyed leaves the application's handler as it found it.
    V->SetFocus();
    Pump();
    ASSERT_TRUE(V->GetIdleHooked());
    V.reset();
    ASSERT_TRUE(static_cast<bool>(Application->GetOnIdle()));
    EXPECT_TRUE(IdleStep());
    EXPECT_EQ(Theirs, Before + 2);
}

// ---- Estimated jumps ------------------------------------------------------------------------

TEST_F(TextViewerMapTest, DraggingTheThumbIntoAHugeTextShowsTheMiddleAtOnce) {
    V->SetWrapMode(opNone);
    const std::int64_t Size = std::int64_t{8} << 30;
    const TGeneratedText& G = SetGenerated(Size);
    ASSERT_FALSE(V->GetCountComplete());
    const std::int64_t Last = V->GetLastLine();
    EXPECT_GT(Last, Size / 200) << "extrapolated from the first lines";
    EXPECT_EQ(V->GetVertScrollBar()->GetLimit(), Last);

    ClearRecord();
    DragThumb(Last / 2);
    const std::int64_t Top = V->GetTopLine();
    // The platform's thumb counts in units of Scale lines.
    const std::int64_t Scale = V->GetVertScrollBar()->GetScale();
    EXPECT_NEAR(static_cast<double>(Top), Last / 2.0, static_cast<double>(Scale));
    EXPECT_TRUE(V->GetLineNumbersPending()) << "the numbers shown are provisional";
    const std::int64_t Start = V->GetTopLineStart();
    const double Expected = static_cast<double>(Size) * static_cast<double>(Top) / Last;
    EXPECT_NEAR(static_cast<double>(Start), Expected, 8192.0);
    EXPECT_NEAR(static_cast<double>(Start), Size / 2.0, Size / 1000.0);
    EXPECT_EQ(G.LineStart(0), 0);
    // The top row is a whole line of the text at that offset.
    ASSERT_GT(Start, 0);
    EXPECT_EQ(G.ByteAt(Start - 1), '\n');
    const auto Texts = TextCalls(Record(), headless::doTabbedTextOut);
    ASSERT_FALSE(Texts.empty());
    const std::string TopText = Texts.front().Text;
    EXPECT_EQ(TopText, G.Text(Start, static_cast<std::int64_t>(TopText.size())));
    // Idle steps keep counting from the start without disturbing the view.
    for (int I = 0; I < 5; ++I)
        IdleStep();
    Pump();
    EXPECT_EQ(V->GetTopLineStart(), Start);
    EXPECT_EQ(V->GetTopLine(), Top);
    // The caret can be put there and reports a position in the middle.
    V->SetLineNumber(Top + 2);
    EXPECT_GT(V->GetPosition(), Start);
    EXPECT_LT(V->GetPosition(), Start + 8192);
}

TEST_F(TextViewerMapTest, TheCountMakesTheNumbersExactAfterAThumbDrag) {
    // A text small enough to count to the end under the sanitizers; the same jump as above.
    V->SetWrapMode(opNone);
    const TGeneratedText& G = SetGenerated(6 << 20);
    int Reports = 0;
    V->SetOnCaretMoved([&](TObject*) { ++Reports; });
    const std::int64_t Estimated = V->GetLastLine();
    DragThumb(Estimated / 2);
    ASSERT_TRUE(V->GetLineNumbersPending());
    const std::int64_t Start = V->GetTopLineStart();
    V->SetLineNumber(V->GetTopLine() + 3);
    const std::int64_t CaretOffset = V->GetCaretLineStart();
    Reports = 0;
    RunIdle();
    EXPECT_TRUE(V->GetCountComplete());
    EXPECT_FALSE(V->GetLineNumbersPending());
    EXPECT_GT(Reports, 0) << "the caret is reported once the numbers are exact";
    // The exact numbers: the generator's own line index.
    const std::int64_t Lines = G.LineBreakCount() + 1;
    EXPECT_EQ(V->GetLastLine(), Lines - 1);
    EXPECT_EQ(V->GetVertScrollBar()->GetLimit(), Lines - 1) << "the scroll range follows";
    auto LineOf = [&](std::int64_t Offset) {
        std::int64_t Lo = 0, Hi = Lines - 1;
        while (Lo < Hi) {
            const std::int64_t Mid = (Lo + Hi + 1) / 2;
            if (G.LineStart(Mid) <= Offset)
                Lo = Mid;
            else
                Hi = Mid - 1;
        }
        return Lo;
    };
    EXPECT_EQ(V->GetTopLineStart(), Start) << "the view did not move";
    EXPECT_EQ(V->GetTopLine(), LineOf(Start));
    EXPECT_EQ(V->GetVertScrollBar()->GetPosition(), V->GetTopLine());
    EXPECT_EQ(V->GetLineNumber(), LineOf(CaretOffset));
    // The repaint shows the same text at the corrected numbers.
    const headless::TDrawRecord R = Repaint();
    const auto Texts = TextCalls(R, headless::doTabbedTextOut);
    ASSERT_FALSE(Texts.empty());
    EXPECT_EQ(Texts.front().Text,
              G.Text(Start, static_cast<std::int64_t>(Texts.front().Text.size())));
}

// The top row's offset is the one the count renumbers TopLine by; a scroll that paints only the
// rows it uncovered must not leave the count an older top line's offset.
TEST_F(TextViewerMapTest, ScrollingWhileTheCountRunsLeavesTheTopLineNumberedByItsOwnRow) {
    V->SetWrapMode(opNone);
    std::string Text;
    for (int I = 0; I < 6000; ++I)
        Text += "line " + std::to_string(I) + "\n";
    auto Scroll = [&](int Code, int Times) {
        for (int I = 0; I < Times; ++I) {
            PostMessage(V->Wnd(), WM_VSCROLL, MakeScrollWParam(Code, 0), 0);
            Pump();
        }
    };
    struct TCase {
        const char* Name;
        std::function<void()> Move;
    };
    const std::vector<TCase> Cases{
        {"lines down", [&] { Scroll(SB_LINEDOWN, 3); }},
        {"a page down", [&] { Scroll(SB_PAGEDOWN, 1); }},
        {"lines up and down",
         [&] {
             Scroll(SB_LINEUP, 2);
             Scroll(SB_LINEDOWN, 6);
         }},
        {"caret moved with its row", [&] {
             std::int64_t Beyond = 0;
             V->SetLineNumber(V->GetTopLine() + 2);
             const std::int64_t Below = V->GetTextPos(LongPoint(0, V->GetTopLine() + 7), Beyond);
             V->GotoLocation(Below); // SetLineNumber, then SetDeltaY by five lines
             Pump();
         }}};
    for (const TCase& C : Cases) {
        SetText(Text);
        DragThumb(3000); // an estimated jump: the count starts over behind the view
        ASSERT_TRUE(V->GetLineNumbersPending()) << C.Name;
        const std::int64_t TopBefore = V->GetTopLine();
        C.Move();
        ASSERT_NE(V->GetTopLine(), TopBefore) << C.Name;
        ASSERT_FALSE(V->GetCountComplete()) << C.Name;
        std::int64_t Beyond = 0;
        const std::int64_t TopOffset = V->GetTextPos(LongPoint(0, V->GetTopLine()), Beyond);
        RunIdle();
        ASSERT_TRUE(V->GetCountComplete()) << C.Name;
        const std::vector<TRefLine> Ref = ReferenceLines();
        EXPECT_EQ(V->GetTopLine(), IndexOf(Ref, TopOffset)) << C.Name;
        EXPECT_EQ(V->GetVertScrollBar()->GetPosition(), V->GetTopLine()) << C.Name;
        EXPECT_EQ(V->GetLineNumber(), IndexOf(Ref, V->GetCaretLineStart())) << C.Name;
        // The repaint shows the same row at its exact number.
        const auto Texts = TextCalls(Repaint(), headless::doTabbedTextOut);
        ASSERT_FALSE(Texts.empty()) << C.Name;
        EXPECT_EQ(Texts.front().Text, "line " + std::to_string(V->GetTopLine())) << C.Name;
    }
}

// A selection end at the end of a wrapped display line has the offset of the next line's start;
// it must anchor the map on its own line.
TEST_F(TextViewerMapTest, SelectionEndsAtTheEndOfAWrappedLineAnchorTheirOwnLine) {
    V->SetWrapMode(opAbsoluteWrap);
    V->SetMaxLineLength(10);
    const std::string Text = "first\nsecond paragraph wraps over lines\nthird\f\nfour";
    SetText(Text);
    ASSERT_TRUE(V->CompleteCount());
    const std::vector<TRefLine> Ref = ReferenceLines();
    const auto Size = static_cast<std::int64_t>(Text.size());
    // The display line an offset belongs to, as GotoPosition places it (text before a form
    // feed ends on the line before it).
    auto LineOf = [&](std::int64_t Offset) {
        std::int64_t L = 0;
        while (L + 1 < static_cast<std::int64_t>(Ref.size()) && Ref[L + 1].Start <= Offset)
            ++L;
        if (L > 0 && Offset == Ref[L].Start && Text[static_cast<std::size_t>(Offset)] == '\f' &&
            Ref[L - 1].Start + Ref[L - 1].Length == Offset)
            --L;
        return L;
    };
    int Ends = 0;
    for (std::size_t L = 0; L + 1 < Ref.size(); ++L) {
        const TRefLine& R = Ref[L];
        if (R.Length == 0 || R.Start + R.Length != Ref[L + 1].Start)
            continue; // the line ends with a line break: its end is not ambiguous
        ++Ends;
        const auto Line = static_cast<std::int64_t>(L);
        const TLongPoint AtEnd = LongPoint(R.Length, Line);
        for (const bool EndAnchor : {true, false}) {
            const std::string Where =
                "line " + std::to_string(L) + (EndAnchor ? ", selection end" : ", selection start");
            if (EndAnchor)
                V->SetSelectionForTest(ZeroPoint, AtEnd, smExtend);
            else
                V->SetSelectionForTest(AtEnd, LongPoint(0, Ref.size() - 1), smExtend);
            const std::int64_t Anchor = EndAnchor ? V->GetSelEndOffset() : V->GetSelStartOffset();
            ASSERT_EQ(Anchor, Ref[L + 1].Start) << Where;
            // Every offset from the anchor, near ones first: each is placed from it.
            for (std::int64_t D = 0; D <= Size; ++D) {
                for (const std::int64_t O : {Anchor + D, Anchor - D}) {
                    if (O < 0 || O > Size)
                        continue;
                    if (EndAnchor)
                        V->SetSelectionForTest(ZeroPoint, AtEnd, smExtend);
                    else
                        V->SetSelectionForTest(AtEnd, LongPoint(0, Ref.size() - 1), smExtend);
                    const TLongPoint P = V->OffsetToPoint(O);
                    ASSERT_EQ(P.Y, LineOf(O)) << Where << ", offset " << O;
                    ASSERT_EQ(P.X, O - Ref[static_cast<std::size_t>(P.Y)].Start) << Where;
                }
            }
            EXPECT_EQ(V->TextOffset(EndAnchor ? V->GetSelEnd() : V->GetSelStart()), Anchor)
                << Where;
        }
    }
    EXPECT_GE(Ends, 3) << "the text wraps";
}

// A last line estimated so low that the end of the text is numbered, for now, as a form-feed line
// the count has already recorded: the row is drawn as its text, not as a page break.
TEST_F(TextViewerMapTest, OnlyALineThatBeginsWithAFormFeedIsDrawnAsAPageBreak) {
    V->SetWrapMode(opNone);
    std::string Text;
    for (int I = 0; I < 3000; ++I)
        Text += I == 40 ? std::string("\f") : "line " + std::to_string(I) + "\n";
    SetText(Text);
    ASSERT_FALSE(V->GetCountComplete());
    ASSERT_EQ(V->GetHardBreaks(), std::vector<std::int64_t>{40});
    V->SetLastLine(40);
    V->GotoEndOftext();
    ASSERT_TRUE(V->GetLineNumbersPending());
    ASSERT_EQ(V->GetMapLine(), 40);
    V->SetDeltaY(40 - V->GetLinesOnScreen() + 1); // the end of the text at the bottom row
    const headless::TDrawRecord R = Repaint();
    const std::vector<TRefLine> Ref = ReferenceLines();
    const std::int64_t Top = IndexOf(Ref, V->GetTopLineStart());
    ASSERT_GE(Top, 0);
    std::vector<std::int64_t> Want;
    for (std::int64_t K = 0;
         K * CharH() < V->GetClientHeight() && Top + K < static_cast<std::int64_t>(Ref.size()); ++K)
        if (V->ByteAt(Ref[static_cast<std::size_t>(Top + K)].Start) == '\f')
            Want.push_back(K);
    std::vector<std::int64_t> Got;
    for (const headless::TDrawCall& C : TextCalls(R, headless::doTextOut))
        if (C.Text == "Page Break")
            Got.push_back(C.Y / CharH());
    EXPECT_EQ(Got, Want) << "rows from line " << Top;
}

// A text just over one screen: the vertical scroll bar appears when the count sets the last line,
// which narrows the window and lays the text out again in the middle of the count's step.
TEST_F(TextViewerMapTest, ACompleteCountLeavesTheLastLineExactWhateverTheScrollBarReLays) {
    for (const TWrapModes Mode : {opWrapScreenWidth, opAbsoluteWrap, opNone}) {
        for (int Lines = 10; Lines <= 24; ++Lines) {
            const std::string Where =
                "mode " + std::to_string(Mode) + ", " + std::to_string(Lines) + " lines";
            MakeViewer();
            V->SetMaxLineLength(12);
            V->SetWrapMode(Mode);
            std::string Text;
            for (int I = 0; I < Lines; ++I)
                Text += "x\n";
            Text += "0123456789";
            // Attached and counted from the start, with no other re-layout to hide the fault.
            auto S = std::make_unique<TMemoryStream>();
            S->WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
            S->SetPosition(0);
            V->Clear();
            V->Stream()->SetSourceStream(std::move(S));
            V->GotoStartOftext();
            // The first paint walks past the last line counted (none): the count resumes.
            for (int Pass = 0; Pass < 3; ++Pass)
                RunIdle();
            ASSERT_TRUE(V->GetCountComplete()) << Where;
            const std::vector<TRefLine> Ref = ReferenceLines();
            EXPECT_EQ(V->GetLastLine(), static_cast<std::int64_t>(Ref.size()) - 1) << Where;
            EXPECT_EQ(V->GetVertScrollBar()->GetLimit(), V->GetLastLine()) << Where;
            V->CheckMapInvariants();
        }
    }
}

// The count takes runs of plain lines at once and the rest one by one: the lines, the hard
// breaks, the pages and the widest line must be those of a walk line by line.
TEST_F(TextViewerMapTest, TheCountAgreesWithAWalkLineByLineOverMixedLines) {
    std::mt19937 Rng(4711);
    std::string Text;
    while (Text.size() < 60000) {
        const unsigned R = Rng() % 60;
        if (R == 0)
            Text += '\f';
        else if (R == 1)
            Text += "lone\rcr";
        else if (R < 8)
            Text += std::string(1 + Rng() % 300, 'w'); // wider than the window
        for (unsigned W = Rng() % 12; W > 0; --W)
            Text += Rng() % 7 == 0 ? "\tcol" : " word";
        Text += Rng() % 3 == 0 ? "\r\n" : "\n";
    }
    V->SetLinesPerPageForTest(23);
    for (const TWrapModes Mode : {opNone, opWrapScreenWidth, opAbsoluteWrap}) {
        const std::string Where = "mode " + std::to_string(Mode);
        V->SetMaxLineLength(40);
        V->SetWrapMode(Mode);
        SetText(Text);
        ASSERT_TRUE(V->CompleteCount()) << Where;
        const std::vector<TRefLine> Ref = ReferenceLines();
        EXPECT_EQ(V->GetLastLine(), static_cast<std::int64_t>(Ref.size()) - 1) << Where;
        std::vector<std::int64_t> Breaks;
        std::int64_t Widest = 0;
        for (std::size_t I = 0; I < Ref.size(); ++I) {
            if (Ref[I].Start < V->GetTextSize() &&
                Text[static_cast<std::size_t>(Ref[I].Start)] == '\f')
                Breaks.push_back(static_cast<std::int64_t>(I));
            Widest = std::max(Widest, Ref[I].Width);
        }
        EXPECT_EQ(V->GetHardBreaks(), Breaks) << Where;
        if (Mode == opNone)
            EXPECT_EQ(V->GetLongestLine(), Widest) << Where;
        else
            EXPECT_GE(V->GetLongestLine(), Widest) << Where;
        // Pages: the map walked from the first line begins the same pages.
        V->GotoFirstLine();
        std::int64_t Page = V->GetMapPage();
        while (V->GotoNextLine()) {
            if (V->GetMapBoundary() != pbNone)
                ++Page;
        }
        EXPECT_EQ(V->GetPageCount(), Page) << Where;
        EXPECT_EQ(V->GetMapLine(), V->GetLastLine()) << Where;
    }
}

// ---- Wrap modes -----------------------------------------------------------------------------

TEST_F(TextViewerMapTest, ChangingTheWrapModeKeepsTheCaretOffsetAndTheSelection) {
    std::string Text;
    for (int I = 0; I < 200; ++I)
        Text += "paragraph " + std::to_string(I) + " " +
                std::string(static_cast<std::size_t>(I % 9) * 17, 'w') + " end\n";
    V->SetMaxLineLength(25);
    SetText(Text);
    V->SetPosition(4321);
    const TLongPoint S = V->OffsetToPoint(3000);
    const TLongPoint E = V->OffsetToPoint(5000);
    V->SetSelectionForTest(S, E, smExtend);
    ASSERT_EQ(V->GetSelStartOffset(), 3000);
    ASSERT_EQ(V->GetSelEndOffset(), 5000);
    std::vector<std::int64_t> Lasts;
    for (int I = 0; I < 4; ++I) {
        V->ToggleWrapMode();
        Pump();
        const std::vector<TRefLine> Ref = ReferenceLines();
        ASSERT_TRUE(V->CompleteCount());
        EXPECT_EQ(V->GetPosition(), 4321) << "mode " << int(V->GetWrapMode());
        EXPECT_EQ(V->GetSelStartOffset(), 3000) << "mode " << int(V->GetWrapMode());
        EXPECT_EQ(V->GetSelEndOffset(), 5000) << "mode " << int(V->GetWrapMode());
        EXPECT_EQ(V->GetSelMode(), smExtend);
        EXPECT_EQ(V->TextOffset(V->GetSelStart()), 3000);
        EXPECT_EQ(V->TextOffset(V->GetSelEnd()), 5000);
        ExpectExact(Ref, "mode " + std::to_string(V->GetWrapMode()));
        Lasts.push_back(V->GetLastLine());
    }
    EXPECT_EQ(V->GetWrapMode(), opWrapScreenWidth);
    // Order of the modes: absolute (25 characters), printer, none, screen width.
    EXPECT_LT(Lasts[1], Lasts[3]) << "printer page wider than the window";
    EXPECT_EQ(Lasts[2], 200) << "unwrapped: one line per paragraph and the last empty one";
    EXPECT_GT(Lasts[0], Lasts[3]) << "25 characters wrap more than the window";
}

TEST_F(TextViewerMapTest, ANarrowerWindowReWrapsAndKeepsTheCaret) {
    std::string Text;
    for (int I = 0; I < 60; ++I)
        Text += "word " + std::to_string(I) + " and some more words after it\n";
    SetText(Text);
    V->SetPosition(1000);
    ASSERT_TRUE(V->CompleteCount());
    const std::int64_t Before = V->GetLastLine();
    V->SetBounds(10, 10, 150, 200);
    Pump();
    ASSERT_TRUE(V->CompleteCount());
    EXPECT_GT(V->GetLastLine(), Before);
    EXPECT_EQ(V->GetPosition(), 1000);
    ExpectExact(ReferenceLines(), "narrow");
    EXPECT_LE(V->GetLongestLine(), 150);
}

} // namespace
} // namespace kestrel::test
