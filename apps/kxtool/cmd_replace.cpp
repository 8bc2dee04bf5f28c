// kxtool replace: replaces every occurrence of a text in a file through the editor's replace-all
// and writes the result.
#include "kxtool.h"

#include "editor_tool.h"

#include <chrono>
#include <iostream>

namespace kestrel::kxtool {
namespace {

using TClock = std::chrono::steady_clock;

double Seconds(TClock::duration D) {
    return std::chrono::duration<double>(D).count();
}

int RunReplace(const std::vector<std::string>& Raw) {
    const TArgs Args = ParseArgs(Raw, {"--out", "--undo-out", "--cancel-after"},
                                 {"--case", "--word", "--back", "--stats"});
    Args.ExpectPositional(3);
    const std::string& Name = Args.Positional[2];
    const std::string OutName = Args.OutFile(Name, true);
    const std::int64_t CancelAfter = Args.Int("--cancel-after", -1);

    TFileEditorTool Tool(Name, 0);
    TBigEditor& E = *Tool.Editor;
    TFindOptions Options = Args.FindOptions();
    Options.Include(frReplaceAll);
    if (Args.Has("--back")) {
        // From the end of the text backwards.
        E.GotoEndOftext();
        E.FocusAt(E.GetTextSize(), false);
    }

    std::int64_t Count = 0;
    E.SetOnReplaceAll([&](TObject*, std::int64_t N) { Count = N; });
    // Progress: how many reports, the longest gap between two, and (with --cancel-after) a
    // cancel asked for at the first report after that many milliseconds and honoured at the
    // next one, which bounds how long a cancel request waits.
    const TClock::time_point Begin = TClock::now();
    TClock::time_point Last = Begin;
    TClock::time_point Requested{};
    bool CancelRequested = false;
    std::int64_t Reports = 0;
    TClock::duration LongestGap{};
    E.SetOnProgressEvent([&](TLinesViewer*, std::int64_t, std::int64_t, bool& Cancel) {
        const TClock::time_point Now = TClock::now();
        ++Reports;
        LongestGap = std::max(LongestGap, Now - Last);
        Last = Now;
        if (CancelRequested) {
            Cancel = true;
        } else if (CancelAfter >= 0 && Now - Begin >= std::chrono::milliseconds(CancelAfter)) {
            CancelRequested = true;
            Requested = Now;
        }
    });
    // Escapes in either text (a bad one is a usage error) are expanded by the editor.
    try {
        E.Replace(nullptr, Args.Positional[0], Args.Positional[1], Options);
    } catch (const EUserError& Bad) {
        throw TUsageError(Bad.what());
    }
    const TClock::time_point Done = TClock::now();
    E.SetOnProgressEvent(nullptr);
    WritingFile(OutName, [&] { Tool.SaveText(OutName); });
    if (Args.Has("--undo-out")) {
        // One undo takes the whole run back.
        E.Undo();
        const std::string UndoName = Args.Value("--undo-out");
        WritingFile(UndoName, [&] { Tool.SaveText(UndoName); });
    }
    if (Args.Has("--stats")) {
        std::cerr << "replacements: " << Count << "\nprogress reports: " << Reports
                  << "\nlongest gap between reports: " << Seconds(LongestGap) * 1000 << " ms"
                  << "\nreplace seconds: " << Seconds(Done - Begin);
        if (CancelRequested)
            std::cerr << "\ncancel honoured after: " << Seconds(Done - Requested) * 1000 << " ms";
        std::cerr << "\ntext size: " << Tool.Stream->GetTextSize() << "\n";
    }
    return ExitOk;
}

const TCommandRegistrar Registrar(
    {"replace",
     "PATTERN REPLACEMENT FILE --out OUT [--case] [--word] [--back] [--undo-out FILE] "
     "[--cancel-after MS] [--stats]",
     "replace every occurrence of PATTERN by REPLACEMENT through the editor, write the text",
     RunReplace,
     "Both texts take the search escapes: ^P a line break (CR LF), ^L a form feed, ^T a tab,\n"
     "^nnn the byte nnn (three digits), ^^ a caret. --case matches case exactly, --word whole\n"
     "words only, --back replaces from the end of the text towards its start. Occurrences are\n"
     "those of the text as it was: a replacement is never searched again. The run is one undo\n"
     "step: --undo-out writes the text after undoing it. --cancel-after MS asks to cancel at the\n"
     "first progress report after MS milliseconds (what was replaced by then stays). OUT is\n"
     "written whole or not at all."});

} // namespace
} // namespace kestrel::kxtool
