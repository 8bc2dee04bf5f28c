// TBigMemo on a large text (KESTREL_BENCH_FILE): the first Lines.Count (one full line count),
// a second one while the text is unchanged, and Lines[i] after the count for random lines and
// for lines near the end; reported as counters in milliseconds and microseconds.
#include "bigmemo/bigmemo.h"
#include "host/application.h"
#include "host/headless/headless_platform.h"
#include "host/source_file.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <random>

namespace kestrel {
namespace {

/// A memo over a file read in place (a memo's own LoadFromStream would copy it into memory).
class TFileMemo : public TBigMemo {
public:
    using TBigMemo::TBigMemo;
    void Attach(const std::string& Name) {
        Clear();
        GetEditStream()->SetSourceStream(
            std::make_unique<TSourceFileStream>(Name, fmShareDenyWrite));
        CountComplete = GetTextSize() == 0;
        SetState(vsEmpty, GetTextSize() == 0);
        GotoStartOftext();
        SetLineNumber(0);
    }
};

double Since(std::chrono::steady_clock::time_point Start) {
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - Start)
        .count();
}

void BM_MemoLines(benchmark::State& State) {
    const char* File = std::getenv("KESTREL_BENCH_FILE");
    if (File == nullptr) {
        State.SkipWithError("KESTREL_BENCH_FILE names the text");
        return;
    }
    for (auto _ : State) {
        headless::THeadlessPlatformScope Platform;
        TFileMemo M(nullptr);
        M.GetFont()->SetName("Courier New");
        M.SetBounds(0, 0, 640, 400);
        M.SetWordWrap(false);
        M.GetHandle();
        M.Attach(File);
        TStrings* Lines = M.GetLines();

        auto T = std::chrono::steady_clock::now();
        const std::int64_t Count = Lines->GetCount();
        State.counters["first_count_ms"] = Since(T) / 1000;
        T = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(Lines->GetCount());
        State.counters["second_count_us"] = Since(T);
        State.counters["lines"] = static_cast<double>(Count);

        std::mt19937_64 Rng(1);
        constexpr int Picks = 20;
        T = std::chrono::steady_clock::now();
        for (int I = 0; I < Picks; ++I)
            benchmark::DoNotOptimize(Lines->Get(static_cast<std::int64_t>(Rng() % Count)));
        State.counters["random_line_us"] = Since(T) / Picks;
        T = std::chrono::steady_clock::now();
        for (int I = 0; I < Picks; ++I)
            benchmark::DoNotOptimize(Lines->Get(Count - 1 - 1000 * I));
        State.counters["near_end_line_us"] = Since(T) / Picks;
        T = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(Lines->Get(0));
        State.counters["first_line_after_end_us"] = Since(T);
    }
}
BENCHMARK(BM_MemoLines)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace kestrel

BENCHMARK_MAIN();
