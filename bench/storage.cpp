// Storage benchmarks: attaching sources of any size, typing, random edits, many scattered edits
// and reading windows, with the heap they take counted.
#include "host/sysutils.h"
#include "support/testdata/generated_text.h"
#include "textbuff/edit_stream.h"
#include "textbuff/text_stream.h"

#include "heap_count.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <new>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

using kestrel::bench::LiveBytes;

namespace {

using namespace kestrel;

constexpr std::int64_t GiB = 1LL << 30;

std::unique_ptr<testdata::TGeneratedTextStream> Generated(std::int64_t Size) {
    return std::make_unique<testdata::TGeneratedTextStream>(Size);
}

// Attaching a source costs the same whatever its size: one segment, no reading, one buffer.
template <typename TContainer> void BM_Attach(benchmark::State& State) {
    const std::int64_t Size = State.range(0);
    TContainer Text(nullptr);
    std::int64_t Heap = 0;
    for (auto _ : State) {
        auto Source = Generated(Size);
        const std::int64_t Before = LiveBytes;
        const auto Start = std::chrono::steady_clock::now();
        Text.SetSourceStream(std::move(Source));
        const auto Stop = std::chrono::steady_clock::now();
        Heap = LiveBytes - Before;
        State.SetIterationTime(std::chrono::duration<double>(Stop - Start).count());
        benchmark::DoNotOptimize(Text.GetText(0));
        Text.SetSourceStream(nullptr);
    }
    State.counters["source_bytes"] = static_cast<double>(Size);
    State.counters["attach_heap_bytes"] = static_cast<double>(Heap);
    State.counters["buffer_bytes"] = static_cast<double>(Text.GetBufSize() + 2);
}
BENCHMARK_TEMPLATE(BM_Attach, TTextStream)
    ->Arg(1024)
    ->Arg(10 * GiB)
    ->UseManualTime()
    ->Iterations(5000);
BENCHMARK_TEMPLATE(BM_Attach, TEditStream)
    ->Arg(1024)
    ->Arg(10 * GiB)
    ->UseManualTime()
    ->Iterations(5000);

// 100,000 characters typed at one place of a 1 GiB text.
void BM_TypeAtOnePlace(benchmark::State& State) {
    for (auto _ : State) {
        State.PauseTiming();
        const std::int64_t Before = LiveBytes;
        auto Edit = std::make_unique<TEditStream>(nullptr);
        Edit->SetSourceStream(Generated(GiB));
        State.ResumeTiming();
        const std::int64_t Start = GiB / 2;
        for (std::int64_t I = 0; I < 100000; ++I) {
            const char Ch = static_cast<char>('a' + I % 26);
            Edit->Insert(&Ch, Start + I, 1);
        }
        Edit->SaveChanges();
        State.PauseTiming();
        State.counters["heap_bytes"] = static_cast<double>(LiveBytes - Before);
        State.counters["inserted_bytes"] = static_cast<double>(Edit->GetInsertedText().GetTop());
        State.counters["segments"] = static_cast<double>(Edit->GetSegments().SegmentCount());
        Edit.reset();
        State.ResumeTiming();
    }
}
BENCHMARK(BM_TypeAtOnePlace)->Unit(benchmark::kMillisecond)->Iterations(1);

// 100,000 single-byte inserts and deletes at random places of a 1 GiB text.
void BM_RandomEdits(benchmark::State& State) {
    const std::int64_t Count = State.range(0);
    for (auto _ : State) {
        State.PauseTiming();
        const std::int64_t Before = LiveBytes;
        auto Edit = std::make_unique<TEditStream>(nullptr);
        Edit->SetSourceStream(Generated(GiB));
        std::mt19937_64 Rng(42);
        State.ResumeTiming();
        for (std::int64_t I = 0; I < Count; ++I) {
            const std::int64_t Pos =
                static_cast<std::int64_t>(Rng() % static_cast<std::uint64_t>(Edit->GetTextSize()));
            if (I % 2 == 0)
                Edit->Insert("x", Pos, 1);
            else
                Edit->Delete(Pos, 1);
        }
        Edit->SaveChanges();
        State.PauseTiming();
        const auto Segments = static_cast<double>(Edit->GetSegments().SegmentCount());
        State.counters["heap_bytes"] = static_cast<double>(LiveBytes - Before);
        State.counters["inserted_bytes"] = static_cast<double>(Edit->GetInsertedText().GetTop());
        State.counters["segments"] = Segments;
        State.counters["heap_per_segment"] = static_cast<double>(LiveBytes - Before) / Segments;
        Edit.reset();
        State.ResumeTiming();
    }
}
BENCHMARK(BM_RandomEdits)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

// 1,000,000 single-byte inserts and deletes at random places of a 1 GiB text: the cost per edit
// over the first and over the last 10,000 edits (processor time, which other work on the machine
// disturbs less than wall time), the heap per segment, and the wall time to save the result (the
// fastest of three saves) and to close the text. The text is the file named by KESTREL_BENCH_FILE
// (a real file: window refills are system calls), else generated; the result is saved to
// KESTREL_BENCH_OUT when set (and removed afterwards).
void BM_ScatteredEdits(benchmark::State& State) {
    const std::int64_t Count = State.range(0);
    constexpr std::int64_t Block = 10000;
    const char* const FileName = std::getenv("KESTREL_BENCH_FILE");
    const char* const OutName = std::getenv("KESTREL_BENCH_OUT");
    using TClock = std::chrono::steady_clock;
    const auto Seconds = [](TClock::time_point From, TClock::time_point To) {
        return std::chrono::duration<double>(To - From).count();
    };
    const auto CpuSeconds = [] {
        timespec Now{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &Now);
        return static_cast<double>(Now.tv_sec) + static_cast<double>(Now.tv_nsec) * 1e-9;
    };
    for (auto _ : State) {
        const std::int64_t Before = LiveBytes;
        auto Edit = std::make_unique<TEditStream>(nullptr);
        if (FileName != nullptr && *FileName != '\0')
            Edit->SetSourceStream(
                std::make_unique<TFileStream>(FileName, fmOpenRead | fmShareDenyWrite));
        else
            Edit->SetSourceStream(Generated(GiB));
        std::mt19937_64 Rng(42);
        std::vector<double> BlockSeconds;
        double BlockStart = CpuSeconds();
        const auto EditStart = TClock::now();
        for (std::int64_t I = 0; I < Count; ++I) {
            const std::int64_t Pos =
                static_cast<std::int64_t>(Rng() % static_cast<std::uint64_t>(Edit->GetTextSize()));
            if (I % 2 == 0)
                Edit->Insert("x", Pos, 1);
            else
                Edit->Delete(Pos, 1);
            if ((I + 1) % Block == 0) {
                const double Now = CpuSeconds();
                BlockSeconds.push_back(Now - BlockStart);
                BlockStart = Now;
            }
        }
        Edit->SaveChanges();
        const auto EditStop = TClock::now();
        const auto Segments = static_cast<double>(Edit->GetSegments().SegmentCount());
        const auto Heap = static_cast<double>(LiveBytes - Before);
        // The fastest of three saves, each to a new file after the previous one is deleted (as
        // the peer's runs are measured).
        double SaveSeconds = 0;
        if (OutName != nullptr && *OutName != '\0') {
            for (int Run = 0; Run < 3; ++Run) {
                DeleteFile(OutName);
                sync(); // no writes of earlier work still on their way to the disk
                const auto SaveStart = TClock::now();
                {
                    TFileStream Out(OutName, fmCreate);
                    Edit->CopyToStream(&Out, 0, Edit->GetTextSize());
                }
                const double Took = Seconds(SaveStart, TClock::now());
                SaveSeconds = Run == 0 ? Took : std::min(SaveSeconds, Took);
            }
            DeleteFile(OutName);
        }
        const auto CloseStart = TClock::now();
        Edit.reset();
        const double CloseSeconds = Seconds(CloseStart, TClock::now());
        if (!BlockSeconds.empty()) {
            State.counters["first_edit_us"] = BlockSeconds.front() / Block * 1e6;
            State.counters["last_edit_us"] = BlockSeconds.back() / Block * 1e6;
            State.counters["growth"] = BlockSeconds.back() / BlockSeconds.front();
        }
        State.counters["edit_s"] = Seconds(EditStart, EditStop);
        State.counters["save_s"] = SaveSeconds;
        State.counters["close_s"] = CloseSeconds;
        State.counters["segments"] = Segments;
        State.counters["bytes_per_segment"] = Heap / Segments;
    }
}
BENCHMARK(BM_ScatteredEdits)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Reading a text window by window through GetText (the generated text: no disk involved).
void BM_ReadWindows(benchmark::State& State) {
    const auto BufSize = static_cast<std::uint16_t>(State.range(0));
    constexpr std::int64_t Size = 256LL << 20;
    TTextStream Text(nullptr);
    Text.SetBufSize(BufSize);
    Text.SetSourceStream(Generated(Size));
    for (auto _ : State) {
        std::int64_t Sum = 0;
        for (std::int64_t Pos = 0; Pos < Size;) {
            const std::uint8_t* P = Text.GetText(Pos);
            const std::int64_t N = Text.GetValidEnd() - P + 1;
            Sum += P[N - 1];
            Pos += N;
        }
        benchmark::DoNotOptimize(Sum);
    }
    State.SetBytesProcessed(State.iterations() * Size);
}
BENCHMARK(BM_ReadWindows)->Arg(4096)->Arg(65535)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
