// What a user sees: the viewer painted with a selection and the caret, written as a PNG.
// KESTREL_SCREENSHOT=<file.png> also writes the picture there for a person to open.
#include "test_viewer.h"

#include "support/test_support.h"

#include <cstdlib>

namespace kestrel::test {
namespace {

class ScreenshotTest : public ViewerFixture {};

TEST_F(ScreenshotTest, TheViewerShowsTextSelectionCaretAndScrollBars) {
    V->SetLines({"Kestrel views files of any size.", "", "The quick brown fox jumps over",
                 "the lazy dog; the caret blinks", "at the end of a selection that",
                 "runs over three lines.", "", "Line 7", "Line 8", "Line 9", "Line 10", "Line 11",
                 "Line 12", "Line 13", "Line 14", "Line 15", "Line 16",
                 "A long line that reaches past the right edge of the window, so that "
                 "the horizontal scroll bar shows up as well."});
    V->SetLineNumber(2);
    V->SetCharNumber(4);
    Platform.Input().SetShiftState({ssShift});
    Key(VK_DOWN, {ssShift});
    Key(VK_DOWN, {ssShift});
    Key(VK_END, {ssShift});
    Pump();

    const HWND Wnd = V->Wnd();
    const headless::TSurface Shot = Win().RenderWindow(Wnd);
    EXPECT_EQ(Shot.GetWidth(), 400);
    EXPECT_EQ(Shot.GetHeight(), 200);
    EXPECT_TRUE(Win().GetScrollBar(Wnd, SB_VERT).Visible);
    EXPECT_TRUE(Win().GetScrollBar(Wnd, SB_HORZ).Visible);
    ASSERT_TRUE(Win().GetCaret().Visible());

    // Selected rows are inverted: a black background under their text, white after it.
    const TColor Black = clBlack;
    const int Row3 = 3 * 14;
    const TRect Selected = Rect(6 * 7, Row3, 30 * 7, Row3 + 14);
    EXPECT_GT(Shot.CountPixels(Selected, Black), Selected.Width() * 14 / 2);
    EXPECT_EQ(Shot.CountPixels(Rect(30 * 7 + 2, Row3, 380, Row3 + 14), Black), 0);
    EXPECT_EQ(Shot.CountPixels(Rect(6 * 7, 7 * 14, 30 * 7, 8 * 14), Black), 0)
        << "line 7 is not selected: nothing after its six characters";
    EXPECT_GT(Shot.CountPixels(Rect(0, 7 * 14, 6 * 7, 8 * 14), Black), 0) << "its text";
    EXPECT_LT(Shot.CountPixels(Rect(0, 2 * 14, 4 * 7, 3 * 14), Black) * 2, 4 * 7 * 14)
        << "the selection starts after \"The \"";

    TTempDir Dir;
    const std::string File = Dir.File("viewer.png");
    Win().SaveScreenshot(Wnd, File);
    const std::string Png = ReadFile(File);
    ASSERT_GT(Png.size(), 8U);
    EXPECT_EQ(Png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    if (const char* Target = std::getenv("KESTREL_SCREENSHOT"))
        Win().SaveScreenshot(Wnd, Target);
}

} // namespace
} // namespace kestrel::test
