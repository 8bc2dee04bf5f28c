// Layout and search microbenchmarks: the line scanner on one window, display lines and search
// through a text stream over generated text in memory.
#include "host/graphics.h"
#include "host/headless/headless_platform.h"
#include "host/streams.h"
#include "support/testdata/generated_text.h"
#include "textbuff/byte_scan.h"
#include "textbuff/line_scan.h"
#include "textbuff/text_stream.h"

#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <string>

namespace kestrel {
namespace {

constexpr std::int64_t TextBytes = 32 << 20;

std::string GeneratedText(std::int64_t Size, bool SingleLine = false) {
    testdata::TGeneratedText Text(Size, {.SingleLine = SingleLine});
    return Text.Text(0, Size);
}

// One window of generated lines scanned line by line with the scanner alone.
void BM_ScanForEolWindow(benchmark::State& State) {
    const std::string Window = GeneratedText(0xFFFF);
    std::array<std::int64_t, 256> Widths;
    Widths.fill(8);
    if (State.range(0) != 0)
        Widths['i'] = 3; // not uniform: the byte-by-byte scan
    TScanMetrics M{Widths.data(), UniformWidthOf(Widths.data()), 64, 0, nullptr};
    const auto* B = reinterpret_cast<const std::uint8_t*>(Window.data());
    std::int64_t Lines = 0;
    for (auto _ : State) {
        std::uint16_t Pos = 0;
        while (Pos < Window.size() - 1) {
            std::uint16_t Count = 0, BreakCount = 0;
            std::int64_t Width = 0, BreakWidth = 0;
            bool Overflow = false;
            ScanForEol(B, Pos, static_cast<std::uint16_t>(Window.size() - 1), State.range(1), true,
                       Count, Width, M, BreakWidth, BreakCount, Overflow);
            ++Lines;
        }
    }
    State.SetBytesProcessed(State.iterations() * static_cast<std::int64_t>(Window.size()));
    State.counters["lines"] =
        benchmark::Counter(static_cast<double>(Lines), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ScanForEolWindow)
    ->Args({0, NoWrapWidth})
    ->Args({0, 800})
    ->Args({1, NoWrapWidth})
    ->Args({1, 800});

// The counts of generated lines by the block routes alone, window by window over 4 MB (so
// that branch predictors cannot learn one window): line feeds (range 0) and uniform lines
// wrapped at 800 pixels (range 1), with the block kernels of range 1 at most.
void BM_CountWindows(benchmark::State& State) {
    const std::string Text = GeneratedText(4 << 20);
    std::array<std::int64_t, 256> Widths;
    Widths.fill(8);
    const TScanMetrics M{Widths.data(), 8, 64, 0, nullptr};
    const auto* B = reinterpret_cast<const std::uint8_t*>(Text.data());
    const auto Size = static_cast<std::int64_t>(Text.size());
    bytescan::SetBlockIsaCap(static_cast<bytescan::TBlockIsa>(State.range(1)));
    std::int64_t Lines = 0;
    for (auto _ : State) {
        for (std::int64_t Pos = 0; Pos < Size;) {
            const std::int64_t N = std::min<std::int64_t>(0xFFFF, Size - Pos);
            std::int64_t Taken = 0;
            Lines += State.range(0) == 0 ? CountLineFeeds(B + Pos, N, INT64_MAX, Taken)
                                         : CountUniformLines(B + Pos, N, 800, M, INT64_MAX, Taken);
            Pos += Taken > 0 ? Taken : N;
        }
    }
    bytescan::SetBlockIsaCap(bytescan::biAvx512);
    State.SetBytesProcessed(State.iterations() * Size);
    State.counters["lines"] =
        benchmark::Counter(static_cast<double>(Lines), benchmark::Counter::kIsRate);
    if (bytescan::SupportedBlockIsa() < State.range(1))
        State.SetLabel("narrower kernels: not supported here");
}
BENCHMARK(BM_CountWindows)->ArgsProduct({{0, 1}, {0, 1, 2}})->Unit(benchmark::kMillisecond);

// A text stream over generated text in memory, with the headless mono font.
struct TStreamFixture {
    explicit TStreamFixture(const std::string& Text) : Stream(nullptr) {
        Canvas.SetHandle(Platform.Graphics().GetScreenDC());
        Canvas.GetFont()->SetName("Courier New");
        Canvas.GetFont()->SetSize(10);
        auto Memory = std::make_unique<TMemoryStream>();
        Memory->WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
        Stream.SetBufSize(0xFFFF);
        Stream.SetSourceStream(std::move(Memory));
        Stream.SetCanvas(&Canvas);
    }
    ~TStreamFixture() { Stream.SetCanvas(nullptr); }
    headless::THeadlessGraphicsScope Platform;
    TCanvas Canvas;
    TTextStream Stream;
};

void BM_GetNextLine(benchmark::State& State) {
    TStreamFixture F(GeneratedText(TextBytes, State.range(1) != 0));
    F.Stream.SetMaxWidth(State.range(0));
    for (auto _ : State) {
        std::int64_t Pos = 0, Width = 0, Count = 0, Lines = 0;
        while (F.Stream.GetNextLine(Pos, Width, Count))
            ++Lines;
        benchmark::DoNotOptimize(Lines);
    }
    State.SetBytesProcessed(State.iterations() * TextBytes);
}
BENCHMARK(BM_GetNextLine)
    ->Args({NoWrapWidth, 0})
    ->Args({800, 0})
    ->Args({NoWrapWidth, 1})
    ->Unit(benchmark::kMillisecond);

// The same lines counted by CountLines instead of one GetNextLine each.
void BM_CountLines(benchmark::State& State) {
    TStreamFixture F(GeneratedText(TextBytes));
    F.Stream.SetMaxWidth(State.range(0));
    for (auto _ : State) {
        std::int64_t Pos = 0;
        benchmark::DoNotOptimize(F.Stream.CountLines(Pos, INT64_MAX));
    }
    State.SetBytesProcessed(State.iterations() * TextBytes);
}
BENCHMARK(BM_CountLines)->Arg(NoWrapWidth)->Arg(800)->Unit(benchmark::kMillisecond);

void BM_SearchAbsent(benchmark::State& State) {
    TStreamFixture F(GeneratedText(TextBytes));
    TFindOptions Options;
    if (State.range(0) != 0)
        Options.Include(frDown);
    if (State.range(1) != 0)
        Options.Include(frMatchCase);
    for (auto _ : State) {
        std::int64_t Pos = Options.Contains(frDown) ? 0 : TextBytes - 1;
        benchmark::DoNotOptimize(F.Stream.Search(Pos, "zqxjkvbwpmfy", Options));
    }
    State.SetBytesProcessed(State.iterations() * TextBytes);
}
BENCHMARK(BM_SearchAbsent)->Args({1, 1})->Args({0, 1})->Args({1, 0})->Unit(benchmark::kMillisecond);

} // namespace
} // namespace kestrel

BENCHMARK_MAIN();
