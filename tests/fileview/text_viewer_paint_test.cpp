// Painting of the text viewer, checked on the headless platform's record of drawing calls: rows,
// tabs, selections (stream and column), line-break marks, hard and soft page breaks; the margin
// cursor; and a screenshot (KESTREL_SCREENSHOT=<file.png> also writes it for a person to open).
#include "text_viewer_fixture.h"

#include "support/test_support.h"

#include <cstdlib>

namespace kestrel::test {
namespace {

using headless::doFillRect;
using headless::doInvertRect;
using headless::doLineTo;
using headless::doTabbedTextOut;
using headless::doTextOut;
using headless::TDrawCall;
using headless::TDrawRecord;

class TextViewerPaintTest : public TextViewerFixture {
protected:
    int W() { return V->GetClientWidth(); }
    int CW() { return static_cast<int>(CharW()); }
    int CH() { return static_cast<int>(CharH()); }
    /// The inverted rectangles of R as (left, top, right, bottom).
    static std::vector<TRect> Inverted(const TDrawRecord& R) {
        std::vector<TRect> Out;
        for (const TDrawCall& C : TextCalls(R, doInvertRect))
            Out.push_back(TRect{C.X, C.Y, C.X2, C.Y2});
        return Out;
    }
    /// The one-byte marks drawn (TextOut of a single 0xB6 or 0xA4) as (byte, x, y).
    static std::vector<std::tuple<std::uint8_t, int, int>> Marks(const TDrawRecord& R) {
        std::vector<std::tuple<std::uint8_t, int, int>> Out;
        for (const TDrawCall& C : TextCalls(R, doTextOut))
            if (C.Text.size() == 1)
                Out.emplace_back(static_cast<std::uint8_t>(C.Text[0]), C.X, C.Y);
        return Out;
    }
    static std::vector<TDrawCall> LinesOf(const TDrawRecord& R, TPenStyle Style) {
        std::vector<TDrawCall> Out;
        for (const TDrawCall& C : TextCalls(R, doLineTo))
            if (C.PenStyle == Style)
                Out.push_back(C);
        return Out;
    }
};

TEST_F(TextViewerPaintTest, RowsAreDrawnOneBelowTheOtherWithTheirTabsAndBlankBelowTheText) {
    SetText("abc\n\tx\ny");
    TDrawRecord R = Repaint();
    auto Rows = TextCalls(R, doTabbedTextOut);
    ASSERT_EQ(Rows.size(), 3U);
    EXPECT_EQ(Rows[0].Text, "abc");
    EXPECT_EQ(Rows[1].Text, "\tx");
    EXPECT_EQ(Rows[2].Text, "y");
    for (int I = 0; I < 3; ++I) {
        EXPECT_EQ(Rows[static_cast<std::size_t>(I)].X, 0);
        EXPECT_EQ(Rows[static_cast<std::size_t>(I)].Y, I * CH());
        EXPECT_EQ(Rows[static_cast<std::size_t>(I)].TabOrigin, 0);
    }
    EXPECT_TRUE(Rows[1].Tabs.empty()) << "default tabs: no positions handed over";
    EXPECT_EQ(V->GetTopLineStart(), 0);

    // Nothing but background below the last row: the off-screen bitmap is filled there.
    const headless::TSurface Shot = Win().RenderWindow(V->Wnd());
    EXPECT_EQ(Shot.CountPixels(Rect(0, 3 * CH(), W(), V->GetClientHeight()), clBlack), 0);
    EXPECT_GT(Shot.CountPixels(Rect(0, 0, 3 * CW(), CH()), clBlack), 0) << "\"abc\" is there";
    // Painted text keeps one byte a pixel: the largest screenshots fit in memory.
    EXPECT_TRUE(Shot.IsIndexed());

    // Tab stops of the viewer reach the drawing call; a left margin moves text and tab origin.
    V->SetTabCount(1);
    V->SetTabStops(0, 1.0F);
    EXPECT_FLOAT_EQ(V->GetTabStops(0), 1.0F);
    EXPECT_EQ(V->GetTabCount(), 1);
    V->SetLeftMargin(20);
    R = Repaint();
    Rows = TextCalls(R, doTabbedTextOut);
    ASSERT_EQ(Rows.size(), 3U);
    EXPECT_EQ(Rows[1].X, 20);
    EXPECT_EQ(Rows[1].TabOrigin, 20);
    ASSERT_EQ(Rows[1].Tabs.size(), 1U);
    EXPECT_EQ(Rows[1].Tabs[0], 96) << "one inch on a 96 dpi screen";
    bool MarginFilled = false;
    for (const TDrawCall& C : TextCalls(R, doFillRect))
        MarginFilled = MarginFilled || (C.X == 0 && C.X2 == 20 && C.Y == 0);
    EXPECT_TRUE(MarginFilled);
}

TEST_F(TextViewerPaintTest, OnlyTheRowsAskedForArePaintedFromTheTopLine) {
    std::string Text;
    for (int I = 0; I < 100; ++I)
        Text += "row " + std::to_string(I) + "\n";
    SetText(Text);
    V->SetDeltaY(40);
    Pump();
    EXPECT_EQ(V->GetTopLineStart(), V->TextOffset(LongPoint(0, 40)));
    ClearRecord();
    V->redrawLines(2, 3);
    Pump();
    // The rows of the update rectangle (the frame rounds its bottom edge up by a row).
    const auto Rows = TextCalls(Record(), doTabbedTextOut);
    ASSERT_GE(Rows.size(), 2U);
    ASSERT_LE(Rows.size(), 3U);
    EXPECT_EQ(Rows[0].Text, "row 42");
    EXPECT_EQ(Rows[0].Y, 2 * CH());
    EXPECT_EQ(Rows[1].Text, "row 43");
}

TEST_F(TextViewerPaintTest, AStreamSelectionInvertsEachRowToItsTextEnd) {
    SetText("hello\nworld wide\nend\n");
    V->SetSelectionForTest(LongPoint(2, 0), LongPoint(2, 2), smExtend);
    std::vector<TRect> Inv = Inverted(Repaint());
    ASSERT_EQ(Inv.size(), 3U);
    EXPECT_EQ(Inv[0], Rect(2 * CW(), 0, 5 * CW(), CH()));
    EXPECT_EQ(Inv[1], Rect(0, CH(), 10 * CW(), 2 * CH()));
    EXPECT_EQ(Inv[2], Rect(0, 2 * CH(), 2 * CW(), 3 * CH()));

    // With the marks shown, the rows that run on include the mark.
    V->SetShowLineBreaks(true);
    Inv = Inverted(Repaint());
    ASSERT_EQ(Inv.size(), 3U);
    EXPECT_EQ(Inv[0].Right, 6 * CW());
    EXPECT_EQ(Inv[1].Right, 11 * CW());
    EXPECT_EQ(Inv[2].Right, 2 * CW());

    // A selected form-feed line is inverted across the whole client width.
    SetText("ab\n\fcd\n");
    V->SetSelectionForTest(LongPoint(1, 0), LongPoint(1, 2), smExtend);
    Inv = Inverted(Repaint());
    ASSERT_EQ(Inv.size(), 3U);
    EXPECT_EQ(Inv[1], Rect(0, CH(), W(), 2 * CH()));
}

TEST_F(TextViewerPaintTest, AColumnSelectionInvertsTheSamePixelColumnsOnEveryRow) {
    SetText("abcdef\nab\nabcdefgh\n");
    V->SetSelectionForTest(LongPoint(1, 0), LongPoint(4, 2), smColumn);
    ASSERT_EQ(V->GetColumnLeft(), CW());
    ASSERT_EQ(V->GetColumnRight(), 4 * CW());
    const std::vector<TRect> Inv = Inverted(Repaint());
    ASSERT_EQ(Inv.size(), 3U);
    for (int I = 0; I < 3; ++I)
        EXPECT_EQ(Inv[static_cast<std::size_t>(I)], Rect(CW(), I * CH(), 4 * CW(), (I + 1) * CH()))
            << "row " << I;
}

TEST_F(TextViewerPaintTest, LineBreakMarksFollowLinesThatEndWithABreakAndTheTextEnd) {
    V->SetShowLineBreaks(true);
    SetText("a\r\nb");
    auto M = Marks(Repaint());
    ASSERT_EQ(M.size(), 2U);
    EXPECT_EQ(M[0], std::make_tuple(LineBreakGlyph, CW(), 0));
    EXPECT_EQ(M[1], std::make_tuple(EndOfTextGlyph, CW(), CH()));

    SetText("a\r\n");
    M = Marks(Repaint());
    ASSERT_EQ(M.size(), 1U) << "no mark on the empty line after the final break";
    EXPECT_EQ(M[0], std::make_tuple(LineBreakGlyph, CW(), 0));

    // A wrapped paragraph has one mark, after its last display line; a line that ends at a
    // form feed has none.
    V->SetMaxLineLength(5);
    V->SetWrapMode(opAbsoluteWrap);
    SetText("abcdefghijkl\nz\fq");
    M = Marks(Repaint());
    ASSERT_EQ(M.size(), 2U);
    EXPECT_EQ(M[0], std::make_tuple(LineBreakGlyph, 2 * CW(), 2 * CH()));
    EXPECT_EQ(M[1], std::make_tuple(EndOfTextGlyph, CW(), 5 * CH()));

    V->SetShowLineBreaks(false);
    EXPECT_TRUE(Marks(Repaint()).empty());
}

TEST_F(TextViewerPaintTest, AFormFeedLineIsAPageBreakWhateverTheDisplayMode) {
    SetText("ab\n\fcd");
    for (TPageBreakDisplayModes Mode : {pbAlways, pbNever, pbWYSIWYG}) {
        V->SetShowPageBreaks(Mode);
        const TDrawRecord R = Repaint();
        const auto Solid = LinesOf(R, psSolid);
        ASSERT_EQ(Solid.size(), 1U) << "mode " << int(Mode);
        EXPECT_EQ(Solid[0].Y, CH() + CH() / 2);
        EXPECT_EQ(Solid[0].Y2, Solid[0].Y);
        EXPECT_EQ(Solid[0].X, 0);
        EXPECT_EQ(Solid[0].X2, W());
        bool Label = false;
        for (const TDrawCall& C : TextCalls(R, doTextOut)) {
            if (C.Text != "Page Break")
                continue;
            Label = true;
            EXPECT_EQ(C.X, W() / 2);
            EXPECT_EQ(C.Y, CH());
            EXPECT_EQ(C.Align & TA_CENTER, static_cast<unsigned>(TA_CENTER));
            EXPECT_EQ(C.Font.Name, "MS Sans Serif");
        }
        EXPECT_TRUE(Label);
        // The form feed's row draws no text of its own.
        for (const TDrawCall& C : TextCalls(R, doTabbedTextOut))
            EXPECT_NE(C.Y, CH());
    }
    // The label's font does not stay selected: the next row is drawn in the viewer's font.
    const TDrawRecord R = Repaint();
    const auto Rows = TextCalls(R, doTabbedTextOut);
    ASSERT_EQ(Rows.size(), 2U);
    EXPECT_EQ(Rows[1].Font.Name, "Courier New");
    V->SetHardPageBreakStyle(psDash);
    EXPECT_EQ(LinesOf(Repaint(), psDash).size(), 1U);
}

TEST_F(TextViewerPaintTest, SoftPageBoundariesFollowTheDisplayMode) {
    V->SetLinesPerPageForTest(3);
    SetText("l0\nl1\nl2\nl3\nl4\nl5\nl6\nl7\nl8\nl9");
    ASSERT_TRUE(V->CompleteCount());
    auto DottedRows = [&] {
        std::vector<int> Ys;
        for (const TDrawCall& C : LinesOf(Repaint(), psDot))
            Ys.push_back(C.Y);
        return Ys;
    };
    EXPECT_EQ(DottedRows(), (std::vector<int>{3 * CH(), 6 * CH(), 9 * CH()}));
    V->SetShowPageBreaks(pbNever);
    EXPECT_TRUE(DottedRows().empty());
    V->SetShowPageBreaks(pbWYSIWYG);
    EXPECT_TRUE(DottedRows().empty()) << "only while wrapping to the printer";
    V->SetWrapMode(opPrinter);
    ASSERT_TRUE(V->CompleteCount());
    EXPECT_EQ(DottedRows(), (std::vector<int>{3 * CH(), 6 * CH(), 9 * CH()}));
    V->SetSoftPageBreakStyle(psDash);
    V->SetShowPageBreaks(pbAlways);
    EXPECT_EQ(LinesOf(Repaint(), psDash).size(), 3U);

    // After a hard break the soft pages count afresh.
    V->SetSoftPageBreakStyle(psDot);
    SetText("l0\nl1\n\fl3\nl4\nl5\nl6\nl7");
    ASSERT_TRUE(V->CompleteCount());
    EXPECT_EQ(DottedRows(), (std::vector<int>{5 * CH()}));
}

TEST_F(TextViewerPaintTest, TheMouseCursorMarksTheMarginsAndTheirBoundaries) {
    SetText("text");
    V->SetLeftMargin(20);
    V->SetRightMargin(30);
    const int Right = W() - 30;
    V->UpdateMouseCursor(20, 0);
    EXPECT_TRUE(V->GetMouseState().Contains(msMarginBoundary));
    EXPECT_EQ(Win().GetWindowCursor(V->Wnd()), crHSplit);
    V->UpdateMouseCursor(5, 0);
    EXPECT_FALSE(V->GetMouseState().Contains(msMarginBoundary));
    EXPECT_TRUE(V->GetMouseState().Contains(msMargin));
    V->UpdateMouseCursor(Right, 0);
    EXPECT_TRUE(V->GetMouseState().Contains(msMarginBoundary));
    V->UpdateMouseCursor(Right + 5, 0);
    EXPECT_TRUE(V->GetMouseState().Contains(msMargin));
    V->UpdateMouseCursor(100, 0);
    EXPECT_FALSE(V->GetMouseState().Contains(msMargin));
    EXPECT_FALSE(V->GetMouseState().Contains(msMarginBoundary));
    EXPECT_EQ(Win().GetWindowCursor(V->Wnd()), crIBeam);
    // Without screen wrapping the right margin is not a margin.
    V->SetWrapMode(opNone);
    V->UpdateMouseCursor(Right + 5, 0);
    EXPECT_FALSE(V->GetMouseState().Contains(msMargin));
}

TEST_F(TextViewerPaintTest, ALargerFontReWrapsTheTextAndKeepsTheCaret) {
    std::string Text;
    for (int I = 0; I < 40; ++I)
        Text += "a line of text that is long enough to wrap somewhere " + std::to_string(I) + "\n";
    SetText(Text);
    V->SetPosition(700);
    ASSERT_TRUE(V->CompleteCount());
    const std::int64_t Before = V->GetLastLine();
    V->GetFont()->SetSize(V->GetFont()->GetSize() * 2);
    Pump();
    ASSERT_TRUE(V->CompleteCount());
    EXPECT_GT(V->GetLastLine(), Before);
    EXPECT_EQ(V->GetPosition(), 700);
    const auto Rows = TextCalls(Repaint(), doTabbedTextOut);
    ASSERT_FALSE(Rows.empty());
    EXPECT_LE(static_cast<std::int64_t>(Rows[0].Text.size()) * CharW(), W());
}

TEST_F(TextViewerPaintTest, APrinterChangeReWrapsTextLaidOutForThePrinter) {
    std::string Text;
    for (int I = 0; I < 30; ++I)
        Text += std::string(90, static_cast<char>('a' + I % 26)) + "\n";
    V->SetWrapMode(opPrinter);
    SetText(Text);
    ASSERT_TRUE(V->CompleteCount());
    const std::int64_t Before = V->GetLastLine();
    // Wider margins on the paper leave less room: the system-settings message re-wraps.
    V->SetPrinterMetric(pmLeftMargin, 3.0F);
    TMessage M{WM_WININICHANGE, 0, 0, 0};
    V->WMWinIniChange(M);
    ASSERT_TRUE(V->CompleteCount());
    EXPECT_GT(V->GetLastLine(), Before);
    EXPECT_EQ(V->GetLastLine(), static_cast<std::int64_t>(ReferenceLines().size()) - 1);
}

// A screen of long unwrapped lines: the first paint draws the rows whose lines it measures within
// its budget and leaves the rest blank; idle steps measure them and draw them, a step's budget at
// a time; losing the focus (no idle time) draws what is left at once. A row of a long line draws
// only what the window shows.
TEST_F(TextViewerPaintTest, AFirstLineTooLongForThePaintIsShownFirstAndMeasuredInIdleTime) {
    V->SetWrapMode(opNone);
    V->SetPaintBudgetForTest(100000);
    const std::string Text = std::string(700000, 'a') + "\nb\nc\n";
    const auto Rows = [&](const TDrawRecord& R) { return TextCalls(R, doTabbedTextOut); };
    for (const bool Ask : {false, true}) {
        SCOPED_TRACE(Ask ? "asked before idle time" : "idle time");
        ClearRecord();
        SetText(Text);
        ASSERT_TRUE(V->GetRowsPending()); // the first row only, before the line is measured
        const auto First = Rows(Record());
        ASSERT_EQ(First.size(), 1U);
        EXPECT_EQ(First[0].Text[0], 'a');
        EXPECT_LE(static_cast<std::int64_t>(First[0].Text.size()), W() / CW() + 2);
        if (Ask) { // whatever asks for the line measures it: the caret goes to its end
            V->EndOfLine();
            EXPECT_EQ(V->GetCharNumber(), 700000);
            EXPECT_EQ(V->GetNextLineStart(), 700001);
        }
        for (int Steps = 0; V->GetRowsPending() && Steps < 100; ++Steps) {
            IdleStep();
            Pump();
        }
        EXPECT_FALSE(V->GetRowsPending());
        const auto All = Rows(Repaint());
        ASSERT_GE(All.size(), 3U);
        EXPECT_EQ(All[1].Text, "b");
        EXPECT_EQ(All[2].Text, "c");
        V->GotoFirstLine();
        EXPECT_EQ(V->GetNextLineStart(), 700001);
        EXPECT_EQ(V->GetMapLineLength(), 700000);
    }
}

TEST_F(TextViewerPaintTest, AScreenOfLongLinesIsDrawnPartlyThenInIdleTime) {
    V->SetWrapMode(opNone);
    // The rows of the window, the last one cut (a scroll bar that comes takes some height).
    const auto Rows = [&] { return (V->GetClientHeight() + CH() - 1) / CH(); };
    constexpr std::int64_t LineBytes = 700000; // longer than the lines kept measured
    std::string Text;
    for (std::int64_t I = 0; I < Rows() + 3; ++I)
        Text += std::string(LineBytes - 1, static_cast<char>('a' + I % 26)) + '\n';
    const auto ExpectRows = [&](const TDrawRecord& R, std::int64_t From, std::int64_t To) {
        const auto Drawn = TextCalls(R, doTabbedTextOut);
        ASSERT_EQ(static_cast<std::int64_t>(Drawn.size()), To - From);
        for (std::int64_t I = From; I < To; ++I) {
            const TDrawCall& C = Drawn[static_cast<std::size_t>(I - From)];
            EXPECT_EQ(C.Y, I * CH());
            EXPECT_EQ(C.Text[0], static_cast<char>('a' + I % 26));
            EXPECT_LE(static_cast<std::int64_t>(C.Text.size()), W() / CW() + 2);
        }
    };
    ClearRecord();
    SetText(Text);
    ASSERT_TRUE(V->GetRowsPending());
    const auto First = TextCalls(Record(), doTabbedTextOut);
    ASSERT_GE(First.size(), 1U);
    ASSERT_LT(static_cast<std::int64_t>(First.size()), Rows());
    ExpectRows(Record(), 0, static_cast<std::int64_t>(First.size()));

    std::int64_t Steps = 0;
    for (; V->GetRowsPending() && Steps < 1000; ++Steps) {
        IdleStep();
        Pump();
    }
    EXPECT_FALSE(V->GetRowsPending());
    EXPECT_LE(Steps, Rows() * (LineBytes / CountStepBytes + 2));
    {
        SCOPED_TRACE("after idle time");
        ExpectRows(Repaint(), 0, Rows());
    }
    EXPECT_FALSE(V->GetRowsPending()) << "the lines stay measured";

    // Without the focus, a paint draws every row.
    V->SetWrapMode(opWrapScreenWidth);
    V->SetWrapMode(opNone);
    Pump();
    ASSERT_TRUE(V->GetRowsPending());
    Win().SetFocus(0);
    ClearRecord();
    Pump();
    EXPECT_FALSE(V->GetRowsPending());
    ExpectRows(Repaint(), 0, Rows());
}

TEST_F(TextViewerPaintTest, AScreenshotShowsMarksPageBreaksAndASelection) {
    V->SetShowLineBreaks(true);
    V->SetLinesPerPageForTest(6);
    SetText("Kestrel shows text of any size.\r\n"
            "Tabs:\tone\ttwo\n"
            "A long paragraph that wraps at the right edge of the window, so that it shows "
            "no mark until its end.\n"
            "\f"
            "After the page break.\n"
            "line a\nline b\nline c\nline d\nline e\nline f\nthe end");
    ASSERT_TRUE(V->CompleteCount());
    V->SetSelectionForTest(LongPoint(6, 0), LongPoint(4, 1), smExtend);
    const auto Texts = TextCalls(Repaint(), doTabbedTextOut);
    ASSERT_GE(Texts.size(), 5U);
    const headless::TSurface Shot = Win().RenderWindow(V->Wnd());
    const int FormFeedRow = 4; // two short lines, then the paragraph's two rows
    // The hard break's line crosses the window in its row.
    const int Mid = FormFeedRow * CH() + CH() / 2;
    EXPECT_GT(Shot.CountPixels(Rect(0, Mid, W(), Mid + 1), clBlack), W() / 2);
    // The selected part of the first row is inverted: mostly black.
    EXPECT_GT(Shot.CountPixels(Rect(7 * CW(), 0, 30 * CW(), CH()), clBlack), 23 * CW() * CH() / 2);

    TTempDir Dir;
    Win().SaveScreenshot(V->Wnd(), Dir.File("text_viewer.png"));
    EXPECT_EQ(ReadFile(Dir.File("text_viewer.png")).substr(0, 4), std::string("\x89PNG", 4));
    if (const char* Target = std::getenv("KESTREL_SCREENSHOT"))
        Win().SaveScreenshot(V->Wnd(), Target);
}

} // namespace
} // namespace kestrel::test
