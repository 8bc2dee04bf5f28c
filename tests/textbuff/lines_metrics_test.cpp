// Metrics of a lines buffer: states, widths of screen and printer, tab stops, the legacy width
// query, and text output on screen, printer and off screen.
#include "textbuff/lines_buffer.h"

#include "host/printers.h"
#include "lines_test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrel {
namespace {

using test::ExpectRaises;
using test::TLayoutText;

TEST(LinesMetricsTest, NoCanvasNoFontInformation) {
    TTextStream Stream(nullptr);
    Stream.SetSourceStream(test::MemoryStreamOf("abc"));
    std::int64_t Pos = 0, W = 0, C = 0;
    const std::string Message = "Unable to access Font Information when required";
    ExpectRaises<EFontInfoError>([&] { Stream.GetNextLine(Pos, W, C); }, Message);
    ExpectRaises<EFontInfoError>([&] { Stream.GetCharAt(Pos, 5, W); }, Message);
    ExpectRaises<EFontInfoError>([&] { Stream.GetDistanceBetween(0, 2); }, Message);
    Pos = 2;
    ExpectRaises<EFontInfoError>([&] { Stream.GetStartOfParagraph(Pos); }, Message);
    ExpectRaises<EFontInfoError>([&] { Stream.TabbedTextOut(0, 0, 0, 3, 0); }, Message);
    EXPECT_EQ(Stream.WidthOf('a'), 1);
    ExpectRaises<EInternalError>([&] { Stream.GetDisplayCharWidth(); },
                                 "Average Char Width not available");
    ExpectRaises<EInternalError>([&] { Stream.GetPrinterCharWidth(); },
                                 "The Printer's Average Char Width is not available");
    ExpectRaises<EInternalError>([&] { Stream.GetActualCharWidth(); },
                                 "Actual Char Width not available");
    // What needs no font works without one.
    EXPECT_FALSE(Stream.AtPageBreak(0));
    EXPECT_EQ(Stream.GetString(0, 2), "ab");
}

TEST(LinesMetricsTest, WidthsFollowTheCanvasFont) {
    TLayoutText T("abc\n", 4096, false);
    EXPECT_EQ(T.Stream.WidthOf(0), 1); // measured 0, reported at least 1
    EXPECT_EQ(T.Stream.WidthOf('m'), 11);
    EXPECT_EQ(T.Stream.GetDisplayCharWidth(), 7); // 'x'
    EXPECT_EQ(T.Stream.GetPageBreakWidth(), T.Stream.WidthOf(12));
    EXPECT_EQ(T.Stream.GetCharHeight(), 15);
    EXPECT_TRUE(T.Stream.GetState().Contains(lbFontDataAvailable));

    // A change of the canvas font drops the widths; the next line is measured again.
    std::int64_t Pos = 0, W = 0, C = 0;
    T.Stream.GetNextLine(Pos, W, C);
    const std::int64_t Before = W;
    T.Canvas.GetFont()->SetHeight(-26);
    EXPECT_FALSE(T.Stream.GetState().Contains(lbFontDataAvailable));
    Pos = 0;
    T.Stream.GetNextLine(Pos, W, C);
    EXPECT_GT(W, Before);

    // So does a new source, a new mode and a new output device.
    T.Stream.SetSourceStream(test::MemoryStreamOf("xyz"));
    EXPECT_FALSE(T.Stream.GetState().Contains(lbFontDataAvailable));
    EXPECT_TRUE(T.Stream.GetState().Contains(lbCanvasAvailable));
    T.Stream.WidthOf('a');
    T.Stream.SetMode(lbDisplay);
    EXPECT_FALSE(T.Stream.GetState().Contains(lbFontDataAvailable));
    T.Stream.WidthOf('a');
    T.Stream.SetOutputDevice(odDisplay);
    EXPECT_FALSE(T.Stream.GetState().Contains(lbFontDataAvailable));

    // Detaching the canvas lets go of its font's change event.
    T.Stream.SetCanvas(nullptr);
    EXPECT_FALSE(T.Canvas.GetFont()->GetOnChange());
    EXPECT_TRUE(T.Stream.GetState().Empty());
}

TEST(LinesMetricsTest, LegacyWidthQueryIsCorrectedForTheOverhang) {
    TLayoutText T("", 4096, false);
    T.Canvas.GetFont()->SetStyle({fsItalic});
    std::array<std::int64_t, 256> Exact{};
    T.Stream.WidthOf('a');
    std::copy_n(T.Stream.GetDisplayWidths(), 256, Exact.begin());
    T.Platform->SetExactCharWidths(false); // the platform answers with widths plus overhang
    T.Stream.HandleFontChange(nullptr);
    T.Stream.WidthOf('a');
    // Widths above the overhang (2 here) come back exact; a zero width stays at the overhang.
    for (int C = 0; C < 256; ++C) {
        const std::int64_t E = Exact[static_cast<std::size_t>(C)];
        EXPECT_EQ(T.Stream.GetDisplayWidths()[C], E > 0 ? E : 2) << C;
    }
}

TEST(LinesMetricsTest, PrinterLayoutUsesPrinterWidthsAndReportsDisplayPixels) {
    TLayoutText T("aaaa bbbb cccc\n", 4096, true);
    T.Stream.SetTabCount(1);
    T.Stream.SetTabStop(0, 0.5f);
    T.Stream.SetMode(lbPrinter);
    EXPECT_EQ(T.Stream.GetActualCharWidth(), 50); // 10 points at 600 dpi: em 83, advance 50
    EXPECT_EQ(T.Stream.GetPrinterCharWidth(), 50);
    EXPECT_EQ(T.Stream.GetDisplayCharWidth(), 8);
    EXPECT_EQ(T.Stream.GetActualWidths()[std::uint8_t{'a'}], 50);
    EXPECT_EQ(T.Stream.GetDistanceBetween(0, 1), 8); // measuring for the screen stays on screen
    EXPECT_EQ(T.Stream.GetActualTabPosition(0), 300);
    EXPECT_EQ(T.Stream.GetDisplayTabPosition(0), 48);
    // Lines break in printer pixels; their width is told in display pixels.
    T.Stream.SetMaxWidth(8 * 50);
    std::int64_t Pos = 0, W = 0, C = 0;
    EXPECT_TRUE(T.Stream.GetNextLine(Pos, W, C));
    EXPECT_EQ(C, 5); // eight printer characters fit: "aaaa bbbb" does not
    EXPECT_EQ(W, 5 * 8);

    // Without a printer the printer mode lays out with the display widths.
    T.Platform->SetPrinterInstalled(false);
    T.Stream.SetMode(lbPrinter);
    EXPECT_EQ(T.Stream.GetActualCharWidth(), T.Stream.GetDisplayCharWidth());
    EXPECT_EQ(T.Stream.GetActualWidths()[std::uint8_t{'a'}],
              T.Stream.GetDisplayWidths()[std::uint8_t{'a'}]);
}

TEST(LinesMetricsTest, TabStopRangeAndCount) {
    TLayoutText T("a\tb");
    const std::string Message = "Invalid access to tab stop array - index greater than MaxTabStops";
    T.Stream.SetTabStop(15, 1.0f);
    ExpectRaises<ERangeError>([&] { T.Stream.SetTabStop(16, 1.0f); }, Message);
    ExpectRaises<ERangeError>([&] { T.Stream.SetTabStop(-1, 1.0f); }, Message);
    ExpectRaises<ERangeError>([&] { T.Stream.GetTabStop(0); }, Message); // TabCount is 0
    T.Stream.SetTabCount(99);
    EXPECT_EQ(T.Stream.GetTabCount(), 16);
    EXPECT_FLOAT_EQ(T.Stream.GetTabStop(15), 1.0f);
    ExpectRaises<ERangeError>([&] { T.Stream.GetTabStop(16); }, Message);
    T.Stream.SetTabCount(-4);
    EXPECT_EQ(T.Stream.GetTabCount(), 0);
    // A new stop is measured before the next layout.
    T.Stream.SetTabCount(1);
    T.Stream.SetTabStop(0, 1.0f);
    EXPECT_EQ(T.Stream.GetDistanceBetween(0, 3), 96 + 8);
    T.Stream.SetTabStop(0, 0.5f);
    EXPECT_EQ(T.Stream.GetDistanceBetween(0, 3), 48 + 8);
}

// A canvas that obtains its context on demand and counts the releases, like a control's.
class TCountingCanvas : public TCanvas {
public:
    void ReleaseHandle() override {
        if (HandleAllocated())
            ++Released;
        SetHandle(nullptr);
    }
    int Released = 0;

protected:
    void CreateHandle() override { SetHandle(GraphicsPlatform().GetScreenDC()); }
};

TEST(LinesMetricsTest, TabbedOutputAcrossWindowsKeepsTheLineOrigin) {
    // Runs of at most 16 bytes: the stops count from the origin in every run.
    const std::string Line = "ab\tcdefghijklmnop\tq\txyz";
    TCountingCanvas Canvas; // outlives the text, which lets go of it first
    TLayoutText T(Line, 16);
    test::UseMonoFont(Canvas.GetFont());
    T.Stream.SetCanvas(&Canvas);
    T.Stream.SetTabCount(2);
    T.Stream.SetTabStop(0, 0.25f); // 24
    T.Stream.SetTabStop(1, 2.0f);  // 192
    T.Platform->GetScreenRecord().clear();
    T.Stream.TabbedTextOut(10, 5, 0, static_cast<std::int64_t>(Line.size()), 10);
    const auto& Calls = T.Platform->GetScreenRecord();
    ASSERT_GE(Calls.size(), 2u);
    std::string Drawn;
    for (const auto& Call : Calls) {
        ASSERT_EQ(Call.Op, headless::doTabbedTextOut);
        EXPECT_EQ(Call.Tabs, std::vector<int>({24, 192})); // exactly TabCount positions
        EXPECT_EQ(Call.TabOrigin, 10);
        // Each run starts where the scanner puts its first character.
        EXPECT_EQ(Call.X,
                  10 + T.Stream.GetDistanceBetween(0, static_cast<std::int64_t>(Drawn.size())));
        Drawn += Call.Text;
    }
    EXPECT_EQ(Drawn, Line);
    // The whole line measures as the scanner measures it.
    std::int64_t Pos = 0, W = 0, C = 0;
    T.Stream.GetNextLine(Pos, W, C);
    EXPECT_EQ(W, 192 + 8 + 256 - 200 + 24);
    EXPECT_GE(Canvas.Released, 1); // the context goes back after drawing
    EXPECT_FALSE(Canvas.HandleAllocated());

    // Without tab stops the platform gets none and expands by its default.
    T.Stream.SetTabCount(0);
    T.Platform->GetScreenRecord().clear();
    T.Stream.TabbedTextOut(0, 0, 0, 3, 0);
    EXPECT_TRUE(T.Platform->GetScreenRecord().at(0).Tabs.empty());
}

TEST(LinesMetricsTest, TextOutRunsAndThePrinterCanvas) {
    TLayoutText T(std::string(40, 'a'), 16);
    T.Platform->GetScreenRecord().clear();
    T.Stream.TextOut(3, 4, 0, 40);
    std::int64_t X = 3, Total = 0;
    for (const auto& Call : T.Platform->GetScreenRecord()) {
        ASSERT_EQ(Call.Op, headless::doTextOut);
        EXPECT_EQ(Call.X, X);
        EXPECT_EQ(Call.Y, 4);
        X += 8 * static_cast<std::int64_t>(Call.Text.size());
        Total += static_cast<std::int64_t>(Call.Text.size());
    }
    EXPECT_EQ(Total, 40);
    // Runs right of the clip box are not drawn.
    T.Platform->GetScreenRecord().clear();
    T.Stream.TextOut(1020, 0, 0, 40);
    EXPECT_EQ(T.Platform->GetScreenRecord().size(), 1u);

    // The printer device draws on the printer's canvas with the printer's tab positions.
    T.Stream.SetTabCount(1);
    T.Stream.SetTabStop(0, 1.0f);
    Printer()->BeginDoc();
    Printer()->GetCanvas()->SetFont(T.Canvas.GetFont());
    T.Stream.SetOutputDevice(odPrinter);
    T.Stream.TabbedTextOut(300, 450, 0, 5, 300);
    T.Stream.SetOutputDevice(odDisplay);
    Printer()->EndDoc();
    const auto& Page = T.Platform->GetPrinter().GetDocuments().at(0).Pages.at(0);
    ASSERT_EQ(Page.Calls.size(), 1u);
    EXPECT_EQ(Page.Calls[0].Tabs, std::vector<int>({600}));
    EXPECT_EQ(Page.Calls[0].Font.Height, -83); // 10 points at 600 dpi
}

TEST(LinesMetricsTest, NoFlickerOutputUpToTwoThousandBytes) {
    const std::string Text = std::string(2001, 'x');
    TLayoutText T(Text, 4096);
    T.Canvas.GetBrush()->SetColor(clYellow);
    T.Platform->GetScreenRecord().clear();
    T.Stream.NoFlickerTabbedTextOut(0, 20, 0, 4, 0);
    const auto& Calls = T.Platform->GetScreenRecord();
    ASSERT_EQ(Calls.size(), 3u); // fill and text off screen, one block transfer
    EXPECT_TRUE(Calls[0].OffScreen);
    EXPECT_EQ(Calls[1].Op, headless::doTabbedTextOut);
    EXPECT_TRUE(Calls[1].OffScreen);
    EXPECT_EQ(Calls[2].Op, headless::doBitBlt);
    EXPECT_EQ(Calls[2].X2, 32);
    EXPECT_EQ(Calls[2].Y2, 15);
    // The copied image has the canvas background and the glyphs.
    auto& Screen = T.Platform->GetScreenSurface();
    EXPECT_GT(Screen.CountPixels(Rect(0, 20, 32, 35), clYellow), 0);
    EXPECT_GT(Screen.CountPixels(Rect(0, 20, 32, 35), clBlack), 0);
    EXPECT_EQ(Screen.CountPixels(Rect(32, 20, 64, 35), clYellow), 0);

    T.Platform->GetScreenRecord().clear();
    T.Stream.NoFlickerTabbedTextOut(0, 40, 0, 2000, 0);
    EXPECT_EQ(T.Platform->GetScreenRecord().back().Op, headless::doBitBlt);
    T.Platform->GetScreenRecord().clear();
    T.Stream.NoFlickerTabbedTextOut(0, 40, 0, 2001, 0);
    for (const auto& Call : T.Platform->GetScreenRecord())
        EXPECT_NE(Call.Op, headless::doBitBlt);
}

} // namespace
} // namespace kestrel
