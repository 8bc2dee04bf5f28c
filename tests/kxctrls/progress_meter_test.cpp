// The progress meter on the headless platform: its text and inverted part (pixels) for any
// 64-bit value, one immediate paint per change, and the text re-centred for a new font.
#include "host/application.h"
#include "host/headless/headless_platform.h"
#include "kxctrls/kxctrls.h"

#include <gtest/gtest.h>

#include <limits>

namespace kestrel {
namespace {

using headless::TDrawCall;

TEST(ProgressMeterTest, ShowsAnyValueAtOnceAndInvertsItsShareOfTheWidth) {
    constexpr int Width = 101;
    constexpr int Height = 40;
    headless::THeadlessPlatformScope Platform;
    TProgressMeter M(nullptr);
    M.SetBounds(0, 0, Width, Height);
    const HWND Wnd = M.GetHandle();
    Application->ProcessMessages();
    headless::TDrawRecord& Record = Platform.Windows().GetWindowRecord(Wnd);
    const headless::TSurface& Pixels = Platform.Windows().GetWindowSurface(Wnd);
    Record.clear(); // the first paint
    const auto Count = [&](headless::TDrawOp Op, const TDrawCall** Last = nullptr) {
        int N = 0;
        for (const TDrawCall& C : Record)
            if (C.Op == Op && (Op == headless::doTextOut || !C.OffScreen)) {
                ++N;
                if (Last != nullptr)
                    *Last = &C;
            }
        return N;
    };

    constexpr std::int64_t Max = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t Min = std::numeric_limits<std::int64_t>::min();
    int Paints = 0;
    // Value, inverted columns; 50 twice: the same value paints nothing.
    for (const auto& [Value, Inverted] : std::vector<std::pair<std::int64_t, int>>{{50, 50},
                                                                                   {50, 50},
                                                                                   {0, 0},
                                                                                   {1, 1},
                                                                                   {99, 99},
                                                                                   {100, 101},
                                                                                   {250, 101},
                                                                                   {-7, 0},
                                                                                   {Max, 101},
                                                                                   {Min, 0}}) {
        SCOPED_TRACE(Value);
        const bool Changed = Value != M.GetPercentDone();
        M.SetPercentDone(Value); // painted before it returns: nothing is pumped
        Paints += Changed ? 1 : 0;
        EXPECT_EQ(Count(headless::doBitBlt), Paints);
        const TDrawCall* Text = nullptr;
        Count(headless::doTextOut, &Text);
        ASSERT_NE(Text, nullptr);
        EXPECT_EQ(Text->Text, std::to_string(Value) + "%");
        EXPECT_EQ(Text->X, Width / 2);
        EXPECT_EQ(Text->Y, (Height - M.GetTextHeight()) / 2);
        EXPECT_EQ(Text->Align, static_cast<unsigned>(TA_CENTER | TA_TOP));
        // Row 0, above the text, shows only the inversion, from the left edge.
        EXPECT_EQ(Pixels.CountPixels(Rect(0, 0, Inverted, 1), clBlack), Inverted);
        EXPECT_EQ(Pixels.CountPixels(Rect(0, 0, Width, 1), clBlack), Inverted);
        // The glyphs show as pixels unlike the bar's: white on its black part, black on the rest.
        const int Top = Text->Y;
        const int Bottom = Top + static_cast<int>(M.GetTextHeight());
        EXPECT_GT(Pixels.CountPixels(Rect(0, Top, Inverted, Bottom), clWhite) +
                      Pixels.CountPixels(Rect(Inverted, Top, Width, Bottom), clBlack),
                  0);
    }

    // A taller font moves the text so that it stays centred.
    const std::int64_t Before = M.GetTextHeight();
    M.GetFont()->SetSize(M.GetFont()->GetSize() * 2);
    Application->ProcessMessages();
    ASSERT_GT(M.GetTextHeight(), Before);
    const TDrawCall* Text = nullptr;
    Count(headless::doTextOut, &Text);
    EXPECT_EQ(Text->Y, (Height - M.GetTextHeight()) / 2);
}

} // namespace
} // namespace kestrel
