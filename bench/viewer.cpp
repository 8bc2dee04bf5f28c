// Text viewer benchmarks: opening a huge text and painting its first screen, going to its end,
// one idle step of the line count, the whole count in idle steps, and the longest single step
// over a file that is one 50 MB line; and, for a file given by name, the line numbers: estimates
// and jumps. Texts are generated on the fly, but for the single line,
// written once to a temporary file; the heap is counted by the replaced allocation functions.
#include "fileview/text_viewer.h"
#include "host/application.h"
#include "host/headless/headless_platform.h"
#include "support/testdata/generated_text.h"
#include "textbuff/text_stream.h"

#include "heap_count.h"

#include <benchmark/benchmark.h>

#include "host/sysutils.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

using kestrel::bench::LiveBytes;
using kestrel::bench::PeakBytes;

namespace kestrel {
namespace {

constexpr std::int64_t MiB = 1LL << 20;
constexpr std::int64_t GiB = 1LL << 30;

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point From, Clock::time_point To) {
    return std::chrono::duration<double>(To - From).count();
}

/// A text viewer of 800 pixels x 25 rows on a fresh headless platform, focused. Open attaches a
/// source and lays it out (what opening a file costs the viewer); Paint shows the screen (the
/// headless platform moves its pixels one by one: most of a paint's time is that).
class TViewerRig {
public:
    static constexpr int Rows = 25;

    TViewerRig() {
        V = std::make_unique<TTextViewer>(nullptr);
        V->GetFont()->SetName("Courier New");
        V->GetFont()->SetSize(10);
        V->SetBounds(0, 0, 800, Rows * 16);
        V->GetHandle();
        // Both scroll bars stay shown, whatever the text: a bar that comes or goes lays out the
        // window again, which the headless platform does pixel by pixel.
        for (TWinScrollBar* Bar : {V->GetVertScrollBar(), V->GetHorzScrollBar()}) {
            Bar->SetMode(sbManual);
            Bar->SetVisible(true);
        }
        auto Text = std::make_unique<TTextStream>(nullptr);
        Text->SetBufSize(0xFFFF);
        Stream = Text.get();
        V->SetBuffer(Text.release());
        Stream->SetCanvas(V->GetCanvas());
        V->SetAutoIdle(true);
        V->SetFocus();
        Paint();
    }
    TViewerRig(std::unique_ptr<TStream> Source, TWrapModes Mode) : TViewerRig() {
        Open(std::move(Source), Mode);
    }
    ~TViewerRig() {
        V.reset();
        Application->SetOnIdle(nullptr);
    }
    TViewerRig(const TViewerRig&) = delete;
    TViewerRig& operator=(const TViewerRig&) = delete;

    void Open(std::unique_ptr<TStream> Source, TWrapModes Mode) {
        V->Clear();
        Stream->SetSourceStream(std::move(Source));
        V->SetState(vsEmpty, V->GetTextSize() == 0);
        V->SetWrapMode(Mode);
        V->GotoStartOftext();
        V->SetMaxLineLength(0);
    }
    /// What a paint asks of the text: the rows of the screen, without drawing them.
    std::int64_t ScreenText() {
        std::int64_t Bytes = 0;
        for (std::int64_t Line = V->GetTopLine(); Line < V->GetTopLine() + Rows; ++Line) {
            std::int64_t W = 0, N = 0;
            V->GotoLine(Line, W, N);
            Bytes += static_cast<std::int64_t>(Stream->GetString(V->GetLineStart(), N).size());
        }
        return Bytes;
    }
    void Paint() { Application->ProcessMessages(); }
    /// One idle pass of the viewer (rows left by a paint, else the count) and the paint it
    /// asked for; true when it is done.
    bool IdleStep() {
        bool Done = true;
        V->HandleOnIdle(nullptr, Done);
        Paint();
        return Done;
    }

    headless::THeadlessPlatformScope Platform;
    std::unique_ptr<TTextViewer> V;
    TTextStream* Stream = nullptr;
};

std::unique_ptr<TStream> Generated(std::int64_t Size, bool SingleLine = false) {
    return std::make_unique<testdata::TGeneratedTextStream>(
        Size, testdata::TGeneratedTextOptions{.SingleLine = SingleLine});
}

/// Lines of exactly 100 bytes (99 characters and LF), Count of them, in memory.
std::unique_ptr<TStream> HundredByteLines(std::int64_t Count) {
    auto S = std::make_unique<TMemoryStream>();
    std::string Line;
    for (std::int64_t I = 0; I < Count; ++I) {
        Line = "line " + std::to_string(I) + " ";
        while (Line.size() < 99)
            Line += "the quick brown fox jumps over the lazy dog ";
        Line.resize(99);
        Line += '\n';
        S->WriteBuffer(Line.data(), static_cast<std::int64_t>(Line.size()));
    }
    S->SetPosition(0);
    return S;
}

// Opening a text of State.range(0) bytes and reading its first screen's rows, as painting
// does, without drawing: the viewer's own work. The 1 KiB text is the peer.
void BM_OpenFirstScreen(benchmark::State& State) {
    const std::int64_t Size = State.range(0);
    TViewerRig Rig;
    std::int64_t Heap = 0;
    for (auto _ : State) {
        auto Source = Generated(Size);
        const std::int64_t Before = LiveBytes;
        PeakBytes = Before;
        const auto Start = Clock::now();
        Rig.Open(std::move(Source), opWrapScreenWidth);
        benchmark::DoNotOptimize(Rig.ScreenText());
        State.SetIterationTime(Seconds(Start, Clock::now()));
        Heap = PeakBytes - Before;
    }
    State.counters["peak_heap_MB"] = static_cast<double>(Heap) / static_cast<double>(MiB);
}
BENCHMARK(BM_OpenFirstScreen)
    ->Arg(8 * GiB)
    ->Arg(1024)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The same with the window made and the screen painted on the headless platform.
void BM_OpenAndPaint(benchmark::State& State) {
    const std::int64_t Size = State.range(0);
    std::int64_t Heap = 0;
    for (auto _ : State) {
        auto Source = Generated(Size);
        const std::int64_t Before = LiveBytes;
        PeakBytes = Before;
        const auto Start = Clock::now();
        TViewerRig Rig(std::move(Source), opWrapScreenWidth);
        Rig.Paint();
        State.SetIterationTime(Seconds(Start, Clock::now()));
        Heap = PeakBytes - Before;
    }
    State.counters["peak_heap_MB"] = static_cast<double>(Heap) / static_cast<double>(MiB);
}
BENCHMARK(BM_OpenAndPaint)->Arg(8 * GiB)->Arg(1024)->UseManualTime()->Unit(benchmark::kMillisecond);

// Going from the first screen to the end (Ctrl+End) and reading the last screen's rows; then
// the same with the last screen painted.
void BM_GotoEnd(benchmark::State& State) {
    const std::int64_t Size = State.range(0);
    const bool Paint = State.range(1) != 0;
    TViewerRig Rig(Generated(Size), opWrapScreenWidth);
    Rig.Paint();
    std::int64_t Heap = 0;
    for (auto _ : State) {
        Rig.V->StartOftext();
        Rig.Paint();
        const std::int64_t Before = LiveBytes;
        PeakBytes = Before;
        const auto Start = Clock::now();
        Rig.V->EndOftext();
        if (Paint)
            Rig.Paint();
        else
            benchmark::DoNotOptimize(Rig.ScreenText());
        State.SetIterationTime(Seconds(Start, Clock::now()));
        Heap = PeakBytes - Before;
    }
    State.counters["peak_heap_MB"] = static_cast<double>(Heap) / static_cast<double>(MiB);
}
BENCHMARK(BM_GotoEnd)
    ->Args({8 * GiB, 0})
    ->Args({8 * GiB, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// One idle step of the count (100 display lines) over lines of 100 bytes; lines_per_step shows
// that each step timed did count its lines.
void BM_IdleStep100ByteLines(benchmark::State& State) {
    TViewerRig Rig(HundredByteLines(200000), opNone);
    Rig.Paint();
    double Longest = 0;
    std::int64_t Counted = 0;
    std::vector<double> Times;
    for (auto _ : State) {
        if (Rig.V->GetCountComplete()) {
            State.PauseTiming();
            Rig.V->ReEstimateFrom(0);
            State.ResumeTiming();
        }
        const std::int64_t Before = Rig.V->GetScanLine();
        const auto Start = Clock::now();
        Rig.IdleStep();
        const double Took = Seconds(Start, Clock::now());
        Counted += Rig.V->GetScanLine() - Before;
        Longest = std::max(Longest, Took);
        Times.push_back(Took);
        State.SetIterationTime(Took);
    }
    // The longest step on a shared machine is mostly the scheduler's; the 99.9th percentile
    // is the step's own.
    std::sort(Times.begin(), Times.end());
    if (!Times.empty())
        State.counters["p999_ms"] = Times[Times.size() * 999 / 1000] * 1000;
    State.counters["longest_ms"] = Longest * 1000;
    State.counters["lines_per_step"] =
        static_cast<double>(Counted) / static_cast<double>(State.iterations());
}
BENCHMARK(BM_IdleStep100ByteLines)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The whole count in idle steps, not wrapped, over State.range(0) MiB of generated lines.
void BM_IdleCountToCompletion(benchmark::State& State) {
    const std::int64_t Size = State.range(0) * MiB;
    for (auto _ : State) {
        TViewerRig Rig(Generated(Size), opNone);
        Rig.Paint();
        const auto Start = Clock::now();
        std::int64_t Steps = 0;
        while (!Rig.IdleStep())
            ++Steps;
        State.SetIterationTime(Seconds(Start, Clock::now()));
        State.counters["steps"] = static_cast<double>(Steps);
        State.counters["lines"] = static_cast<double>(Rig.V->GetLastLine() + 1);
    }
    State.SetBytesProcessed(State.iterations() * Size);
}
BENCHMARK(BM_IdleCountToCompletion)
    ->Arg(1024)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

/// A file the benchmarks made in the temporary folder, deleted at exit.
struct TBenchFile {
    std::string Name;
    ~TBenchFile() {
        if (!Name.empty())
            DeleteFile(Name);
    }
};

/// A file of Size bytes of generated words without a line break, made on first use in the
/// temporary folder and deleted at exit.
const std::string& SingleLineFile(std::int64_t Size) {
    static TBenchFile File;
    if (File.Name.empty()) {
        File.Name = GetTempPath() + "kestrel-bench-viewer-single-line.txt";
        TFileStream Out(File.Name, fmCreate);
        testdata::TGeneratedTextStream Source(Size,
                                              testdata::TGeneratedTextOptions{.SingleLine = true});
        Out.CopyFrom(&Source, Size);
    }
    return File.Name;
}

// A file that is one line of State.range(0) MiB (range(1): wrapped at the window's width, or
// not): opening it with the first screen, going to the end with the last screen, and each idle
// step of the count to completion, the longest of them the figure. None may freeze the viewer
// for long.
void BM_SingleLine(benchmark::State& State) {
    const std::int64_t Size = State.range(0) * MiB;
    const TWrapModes Mode = State.range(1) != 0 ? opWrapScreenWidth : opNone;
    const std::string& Name = SingleLineFile(Size);
    double Open = 0, End = 0, LongestStep = 0;
    std::int64_t Steps = 0;
    for (auto _ : State) {
        auto Start = Clock::now();
        TViewerRig Rig(std::make_unique<TFileStream>(Name, fmOpenRead | fmShareDenyWrite), Mode);
        Rig.Paint();
        Open = Seconds(Start, Clock::now());
        Start = Clock::now();
        Rig.V->EndOftext();
        Rig.Paint();
        End = Seconds(Start, Clock::now());
        for (bool Done = false; !Done; ++Steps) {
            Start = Clock::now();
            Done = Rig.IdleStep();
            LongestStep = std::max(LongestStep, Seconds(Start, Clock::now()));
        }
        State.SetIterationTime(std::max({Open, End, LongestStep}));
    }
    State.counters["open_ms"] = Open * 1000;
    State.counters["end_ms"] = End * 1000;
    State.counters["longest_step_ms"] = LongestStep * 1000;
    State.counters["steps"] = static_cast<double>(Steps);
}
BENCHMARK(BM_SingleLine)
    ->Args({50, 0})
    ->Args({50, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

/// A file of Count lines of LineBytes bytes each (generated words, then LF), made on first use in
/// the temporary folder and deleted at exit (one such file at a time).
const std::string& LinesFile(std::int64_t LineBytes, std::int64_t Count) {
    static TBenchFile File;
    const std::string Name = GetTempPath() + "kestrel-bench-viewer-lines-" +
                             std::to_string(LineBytes) + "x" + std::to_string(Count) + ".txt";
    if (File.Name != Name) {
        if (!File.Name.empty())
            DeleteFile(File.Name);
        File.Name = Name;
        TFileStream Out(Name, fmCreate);
        testdata::TGeneratedText Words(LineBytes * Count,
                                       testdata::TGeneratedTextOptions{.SingleLine = true});
        std::vector<std::uint8_t> Line(static_cast<std::size_t>(LineBytes));
        for (std::int64_t I = 0; I < Count; ++I) {
            Words.Fill(I * LineBytes, Line.data(), LineBytes - 1);
            Line.back() = '\n';
            Out.WriteBuffer(Line.data(), LineBytes);
        }
    }
    return File.Name;
}

// Files of long lines (State.range(0) MiB each, 32 MiB or more in all, and more lines than the
// window shows; range(1): wrapped at the window's width, or not): opening one with its first
// screen painted, and each idle step of the count to completion, the longest and the mean of them
// the figures. A step stops after about CountStepBytes, within a line too, so no step is long
// whatever the lines.
void BM_LongLines(benchmark::State& State) {
    const std::int64_t LineBytes = State.range(0) * MiB;
    const TWrapModes Mode = State.range(1) != 0 ? opWrapScreenWidth : opNone;
    const std::string& Name =
        LinesFile(LineBytes, std::max<std::int64_t>(TViewerRig::Rows + 7, 32 * MiB / LineBytes));
    double Open = 0, Screen = 0, LongestStep = 0, AllSteps = 0;
    std::int64_t Steps = 0;
    for (auto _ : State) {
        const auto Opened = Clock::now();
        auto Start = Opened;
        TViewerRig Rig(std::make_unique<TFileStream>(Name, fmOpenRead | fmShareDenyWrite), Mode);
        Rig.Paint();
        Open = Seconds(Start, Clock::now());
        Screen = Rig.V->GetRowsPending() ? 0 : Open;
        for (bool Done = false; !Done; ++Steps) {
            Start = Clock::now();
            Done = Rig.IdleStep();
            const double Took = Seconds(Start, Clock::now());
            LongestStep = std::max(LongestStep, Took);
            AllSteps += Took;
            if (Screen == 0 && !Rig.V->GetRowsPending())
                Screen = Seconds(Opened, Clock::now());
        }
        State.SetIterationTime(std::max(Open, LongestStep));
    }
    State.counters["open_ms"] = Open * 1000;
    // Until the last row left to idle time is drawn, idle steps one after the other.
    State.counters["screen_ms"] = Screen * 1000;
    State.counters["longest_step_ms"] = LongestStep * 1000;
    State.counters["mean_step_ms"] =
        AllSteps * 1000 / static_cast<double>(std::max<std::int64_t>(1, Steps));
    State.counters["steps"] = static_cast<double>(Steps);
}
BENCHMARK(BM_LongLines)
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({10, 0})
    ->Args({10, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Line numbers of the file KESTREL_BENCH_FILE (range(0): wrapped at the window's width, or not):
// how far the estimated last line and estimated jumps (to a quarter, half, three quarters and
// nine tenths of the text) are from the truth after the first idle step (which samples the text),
// in per cent; then the count runs to its end and jumps to twenty line numbers spread over the text
// are timed, the slowest the figure, with the checkpoints they start from.
void BM_LineNumbers(benchmark::State& State) {
    const char* Name = std::getenv("KESTREL_BENCH_FILE");
    if (Name == nullptr) {
        State.SkipWithError("KESTREL_BENCH_FILE names no file");
        return;
    }
    const TWrapModes Mode = State.range(0) != 0 ? opWrapScreenWidth : opNone;
    for (auto _ : State) {
        TViewerRig Rig(std::make_unique<TFileStream>(Name, fmOpenRead | fmShareDenyWrite), Mode);
        TTextViewer& V = *Rig.V;
        Rig.IdleStep(); // the first idle step samples the text for the estimates
        const std::int64_t Estimated = V.GetLastLine();
        double JumpError = 0;
        for (const double Share : {0.25, 0.5, 0.75, 0.9}) {
            const auto Target = static_cast<std::int64_t>(Share * static_cast<double>(Estimated));
            V.LocateLine(Target, true);
            const std::int64_t Landed = V.GetLineStart();
            V.LocateLineExactly(Target);
            const std::int64_t True = V.GetLineStart();
            // The lines between where the jump landed and where the line is.
            std::int64_t Pos = std::min(Landed, True);
            std::int64_t Between = 0;
            for (std::int64_t W = 0, N = 0;
                 Pos < std::max(Landed, True) && Rig.Stream->GetNextLine(Pos, W, N);)
                ++Between;
            JumpError =
                std::max(JumpError, 100.0 * static_cast<double>(Between) /
                                        static_cast<double>(std::max<std::int64_t>(1, Target)));
        }
        const auto Start = Clock::now();
        while (!Rig.IdleStep()) {
        }
        const double CountSeconds = Seconds(Start, Clock::now());
        const std::int64_t Last = V.GetLastLine();
        // Each jump twice (from elsewhere): the first may wait for the disk, the second shows
        // the viewer's own cost.
        double Slowest = 0;
        double SlowestFirst = 0;
        std::uint64_t Seed = 12345;
        for (int I = 0; I < 20; ++I) {
            Seed = Seed * 6364136223846793005ULL + 1442695040888963407ULL;
            const auto Line =
                static_cast<std::int64_t>((Seed >> 11) % static_cast<std::uint64_t>(Last + 1));
            double Best = 1e9;
            for (int Pass = 0; Pass < 2; ++Pass) {
                V.GotoLineNumber(1);
                const auto From = Clock::now();
                V.GotoLineNumber(Line + 1);
                const double Took = Seconds(From, Clock::now());
                Best = std::min(Best, Took);
                SlowestFirst = Pass == 0 ? std::max(SlowestFirst, Took) : SlowestFirst;
                if (V.GetLineNumber() != Line)
                    State.SkipWithError("a jump to a line number landed elsewhere");
            }
            Slowest = std::max(Slowest, Best);
        }
        State.SetIterationTime(Slowest);
        State.counters["estimate_error_pct"] = 100.0 *
                                               std::abs(static_cast<double>(Estimated - Last)) /
                                               static_cast<double>(std::max<std::int64_t>(1, Last));
        State.counters["jump_error_pct"] = JumpError;
        State.counters["count_s"] = CountSeconds;
        State.counters["slowest_jump_ms"] = Slowest * 1000;
        State.counters["slowest_first_jump_ms"] = SlowestFirst * 1000;
        State.counters["checkpoints"] = static_cast<double>(V.GetCheckpoints().size());
        State.counters["checkpoint_KB"] =
            static_cast<double>(V.GetCheckpoints().size() * sizeof(TTextViewer::TCheckpoint)) /
            1024;
        State.counters["lines"] = static_cast<double>(Last + 1);
    }
}
BENCHMARK(BM_LineNumbers)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace kestrel

BENCHMARK_MAIN();
