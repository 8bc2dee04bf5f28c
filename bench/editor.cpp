// Editor benchmarks on a 4 GiB text: one keystroke (a character, Enter, Backspace, a word
// deleted, an undo) near the start, in the middle (reached by an estimated jump, the count not
// run) and at the end, each timed from the key's message to the repainted window on the headless
// platform; a 64 KiB text is the peer. Then the peak resident memory after 100,000 typed
// characters against the unedited figure. The text is generated on the fly (an edit stream over
// it costs one buffer); KESTREL_BENCH_FILE names a file to edit instead.
#include "host/application.h"
#include "host/headless/headless_platform.h"
#include "host/streams.h"
#include "kxedit/big_editor.h"
#include "support/testdata/generated_text.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

namespace kestrel {
namespace {

constexpr std::int64_t KiB = 1LL << 10;
constexpr std::int64_t GiB = 1LL << 30;

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point From, Clock::time_point To) {
    return std::chrono::duration<double>(To - From).count();
}

/// A kilobyte figure of /proc/self/status ("VmHWM:", "VmRSS:"); 0 when it cannot be read.
std::int64_t StatusKB(const std::string& Field) {
    std::ifstream Status("/proc/self/status");
    std::string Word;
    while (Status >> Word) {
        if (Word == Field) {
            std::int64_t KB = 0;
            Status >> KB;
            return KB;
        }
    }
    return 0;
}

/// Lowers the peak resident figure to the present one; false where the system cannot.
bool ResetPeakRss() {
    std::ofstream ClearRefs("/proc/self/clear_refs");
    ClearRefs << "5";
    ClearRefs.flush();
    return ClearRefs.good();
}

enum TPlace : std::int64_t { plStart, plMiddle, plEnd };

/// The text: KESTREL_BENCH_FILE when set (its size, whatever Size says), else Size bytes of
/// generated text.
std::unique_ptr<TStream> Source(std::int64_t Size) {
    if (const char* File = std::getenv("KESTREL_BENCH_FILE"); File != nullptr && Size > 64 * KiB)
        return std::make_unique<TFileStream>(File, fmOpenRead | fmShareDenyWrite);
    return std::make_unique<testdata::TGeneratedTextStream>(Size);
}

/// An editor of 800 x 400 pixels (25 rows) wrapping to its window, on a fresh headless platform,
/// focused, over an edit stream on the text. Keys go through the message queue; Pump handles
/// them and the paint they cause.
class TEditorRig {
public:
    explicit TEditorRig(std::int64_t Size) {
        E = std::make_unique<TBigEditor>(nullptr);
        E->GetFont()->SetName("Courier New");
        E->GetFont()->SetSize(10);
        E->SetBounds(0, 0, 800, 400);
        E->GetHandle();
        // Both scroll bars stay shown: one that comes or goes lays the window out again.
        for (TWinScrollBar* Bar : {E->GetVertScrollBar(), E->GetHorzScrollBar()}) {
            Bar->SetMode(sbManual);
            Bar->SetVisible(true);
        }
        auto Edit = std::make_unique<TEditStream>(nullptr);
        Stream = Edit.get();
        E->SetBuffer(Edit.release());
        Stream->SetCanvas(E->GetCanvas());
        Stream->SetMaxUndoLevels(1000);
        E->SetFocus();
        E->Clear();
        Stream->SetSourceStream(Source(Size));
        E->SetState(vsEmpty, E->GetTextSize() == 0);
        E->SetWrapMode(opWrapScreenWidth);
        E->GotoStartOftext();
        Pump();
    }
    ~TEditorRig() {
        E.reset();
        Application->SetOnIdle(nullptr);
    }
    TEditorRig(const TEditorRig&) = delete;
    TEditorRig& operator=(const TEditorRig&) = delete;

    void Pump() { Application->ProcessMessages(); }
    /// Drops the headless platform's record of the drawing calls made so far (a test aid that
    /// grows with every paint; not the editor's memory).
    void ForgetDrawing() { Platform.Windows().GetWindowRecord(E->GetHandle()).clear(); }
    void Key(int VirtKey, TShiftState Shift = {}) {
        Platform.Input().SetShiftState(Shift);
        Platform.Input().PostKeyPress(VirtKey);
        Pump();
        Platform.Input().SetShiftState({});
    }
    void Char(char Ch) {
        PostMessage(E->GetHandle(), WM_KEYDOWN, 0xE8, 0); // a key of no command
        PostMessage(E->GetHandle(), WM_CHAR, static_cast<std::uint8_t>(Ch), 0);
        Pump();
    }
    /// The caret on the first character of a word, a few lines into the start, in the middle
    /// (an estimated jump: the count is not run) or a few lines before the end.
    void Place(TPlace Where) {
        if (Where == plStart)
            Key(VK_HOME, {ssCtrl});
        else if (Where == plMiddle)
            E->SetLineNumber(E->GetLastLine() / 2); // far: an estimated jump
        else
            Key(VK_END, {ssCtrl});
        for (int I = 0; I < 3; ++I)
            Key(Where == plEnd ? VK_UP : VK_DOWN);
        Key(VK_HOME);
        Key(VK_RIGHT, {ssCtrl});
        Pump();
    }

    headless::THeadlessPlatformScope Platform;
    std::unique_ptr<TBigEditor> E;
    TEditStream* Stream = nullptr;
};

enum TStroke : std::int64_t { ksChar, ksEnter, ksBackSpace, ksDeleteWord, ksUndo };

// One keystroke of kind range(2) at place range(1) of a text of range(0) bytes, timed from its
// message to the window repainted. What the stroke did is put back, untimed, after each, so that
// every iteration edits the same place.
void BM_Keystroke(benchmark::State& State) {
    const std::int64_t Size = State.range(0);
    const auto Where = static_cast<TPlace>(State.range(1));
    const auto Stroke = static_cast<TStroke>(State.range(2));
    TEditorRig Rig(Size);
    Rig.Place(Where);
    double Worst = 0;
    for (auto _ : State) {
        Rig.ForgetDrawing();
        if (Stroke == ksUndo)
            Rig.Char('x'); // a fresh edit for the undo to take back
        const auto Start = Clock::now();
        switch (Stroke) {
        case ksChar:
            Rig.Char('x');
            break;
        case ksEnter:
            Rig.Key(VK_RETURN);
            break;
        case ksBackSpace:
            Rig.Key(VK_BACK);
            break;
        case ksDeleteWord:
            Rig.Key('T', {ssCtrl});
            break;
        case ksUndo:
            Rig.Key(VK_BACK, {ssAlt});
            break;
        }
        const double Taken = Seconds(Start, Clock::now());
        State.SetIterationTime(Taken);
        if (Taken > Worst)
            Worst = Taken;
        switch (Stroke) {
        case ksChar:
            Rig.Key(VK_BACK);
            break;
        case ksEnter:
        case ksDeleteWord:
            Rig.Key(VK_BACK, {ssAlt});
            break;
        case ksBackSpace:
            Rig.Char('x');
            break;
        case ksUndo:
            break;
        }
    }
    State.counters["worst_ms"] = Worst * 1000;
    State.counters["count_complete"] = Rig.E->GetCountComplete() ? 1 : 0;
}

void KeystrokeArgs(benchmark::internal::Benchmark* B) {
    for (const std::int64_t Size : {4 * GiB, 64 * KiB})
        for (const std::int64_t Where : {plStart, plMiddle, plEnd})
            for (const std::int64_t Stroke : {ksChar, ksEnter, ksBackSpace, ksDeleteWord, ksUndo})
                B->Args({Size, Where, Stroke});
    B->ArgNames({"size", "place", "key"});
}
BENCHMARK(BM_Keystroke)
    ->Apply(KeystrokeArgs)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(200);

// The peak resident memory of the process with the text open and shown (the unedited figure),
// then after 100,000 characters typed in the middle of it (a line break after every 60, undo
// kept), and the growth: what the edits cost.
void BM_TypingMemory(benchmark::State& State) {
    const std::int64_t Size = State.range(0);
    for (auto _ : State) {
        const auto Open = Clock::now();
        TEditorRig Rig(Size);
        const auto Jump = Clock::now();
        Rig.Place(plMiddle);
        State.counters["open_ms"] = Seconds(Open, Jump) * 1000;
        State.counters["jump_ms"] = Seconds(Jump, Clock::now()) * 1000;
        Rig.ForgetDrawing();
        const bool Reset = ResetPeakRss();
        const std::int64_t Unedited = Reset ? StatusKB("VmHWM:") : StatusKB("VmRSS:");
        const auto Start = Clock::now();
        for (int I = 1; I <= 100'000; ++I) {
            if (I % 60 == 0)
                Rig.Key(VK_RETURN);
            else
                Rig.Char(static_cast<char>(I % 7 == 0 ? ' ' : 'a' + I % 26));
            Rig.ForgetDrawing();
        }
        State.SetIterationTime(Seconds(Start, Clock::now()));
        const std::int64_t Edited = StatusKB("VmHWM:");
        State.counters["unedited_peak_MB"] = static_cast<double>(Unedited) / 1024;
        State.counters["edited_peak_MB"] = static_cast<double>(Edited) / 1024;
        State.counters["growth_MB"] = static_cast<double>(Edited - Unedited) / 1024;
        State.counters["peak_reset"] = Reset ? 1 : 0;
        State.counters["text_GiB"] =
            static_cast<double>(Rig.E->GetTextSize()) / static_cast<double>(GiB);
    }
}
BENCHMARK(BM_TypingMemory)
    ->Arg(4 * GiB)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace
} // namespace kestrel

BENCHMARK_MAIN();
