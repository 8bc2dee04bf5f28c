// Helpers of the layout and search tests: a text stream with a canvas on the headless screen.
#pragma once

#include "host/graphics.h"
#include "host/headless/headless.h"
#include "textbuff/text_stream.h"

#include "storage_test_util.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::test {

/// Fonts of the headless model: 8 pixels a byte, and the proportional variant.
inline void UseMonoFont(TFont* F) {
    F->SetName("Courier New");
    F->SetHeight(-13);
}
inline void UseProportionalFont(TFont* F) {
    F->SetName("Arial");
    F->SetHeight(-13);
}

/// A headless platform, a canvas on its screen and a text stream over a text held in memory.
class TLayoutText {
public:
    explicit TLayoutText(const std::string& Text, std::uint16_t BufSize = 4096, bool Mono = true)
        : Platform(&Graphics.Graphics()), Stream(nullptr) {
        Canvas.SetHandle(Platform->GetScreenDC());
        if (Mono)
            UseMonoFont(Canvas.GetFont());
        else
            UseProportionalFont(Canvas.GetFont());
        Stream.SetBufSize(BufSize);
        Stream.SetSourceStream(MemoryStreamOf(Text));
        Stream.SetCanvas(&Canvas);
    }
    ~TLayoutText() { Stream.SetCanvas(nullptr); }
    TLayoutText(const TLayoutText&) = delete;
    TLayoutText& operator=(const TLayoutText&) = delete;

    headless::THeadlessGraphicsScope Graphics;
    headless::THeadlessGraphics* Platform;
    TCanvas Canvas;
    TTextStream Stream;
};

/// One display line as GetNextLine gave it.
struct TLine {
    std::int64_t Start = 0;
    std::int64_t Count = 0;
    std::int64_t Width = 0;
    bool Ended = false;
    bool operator==(const TLine&) const = default;
};

inline std::ostream& operator<<(std::ostream& Out, const TLine& L) {
    return Out << "{" << L.Start << " +" << L.Count << " w" << L.Width
               << (L.Ended ? " ended}" : "}");
}

/// Every display line from 0 to the end (the unterminated last one included).
inline std::vector<TLine> AllLines(TLinesBuffer& Buffer, std::int64_t Limit = 1000000,
                                   const std::function<std::int64_t()>& Budget = nullptr) {
    std::vector<TLine> Lines;
    std::int64_t Pos = 0;
    while (static_cast<std::int64_t>(Lines.size()) < Limit) {
        // Measured a budget at a time first, when one is given.
        for (bool Done = !Budget; !Done;) {
            std::int64_t Left = Budget();
            Done = Buffer.MeasureLine(Pos, Left);
            // A scan overruns its budget by less than one window.
            EXPECT_GT(Left, -0x10000);
        }
        TLine L;
        L.Start = Pos;
        L.Ended = Buffer.GetNextLine(Pos, L.Width, L.Count);
        if (!L.Ended && L.Count == 0)
            break;
        Lines.push_back(L);
        if (!L.Ended)
            break;
    }
    return Lines;
}

} // namespace kestrel::test
