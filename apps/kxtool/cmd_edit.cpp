// kxtool edit: applies a script of edits to a file through an edit stream and writes the result.
#include "kxtool.h"

#include "edit_script.h"

#include "host/safe_save.h"
#include "host/streams.h"
#include "textbuff/edit_stream.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <vector>

namespace kestrel::kxtool {
namespace {

/// Reads the script as it comes (it may be a pipe) and applies each line once it is complete;
/// returns the number of edit calls made.
std::int64_t RunScript(TEditStream& Edit, const std::string& ScriptName) {
    TFileStream Script(ScriptName, fmOpenRead | fmShareDenyNone); // a folder is refused here
    std::int64_t Calls = 0;
    std::int64_t Line = 1;
    const auto Apply = [&](const std::string& Text) {
        TEditOperation Op;
        if (ParseEditScriptLine(Text, Line++, Op))
            Calls += ApplyEditOperation(Edit, Op);
    };
    std::string Pending; // the start of a line whose end has not come yet
    std::vector<char> Chunk(64 * 1024);
    for (;;) {
        const std::int64_t N = Script.Read(Chunk.data(), static_cast<std::int64_t>(Chunk.size()));
        if (N == 0)
            break;
        const std::size_t Old = Pending.size(); // holds no line feed: searched from the new bytes
        Pending.append(Chunk.data(), static_cast<std::size_t>(N));
        std::size_t From = 0;
        for (std::size_t To; (To = Pending.find('\n', std::max(From, Old))) != std::string::npos;
             From = To + 1)
            Apply(Pending.substr(From, To - From));
        Pending.erase(0, From);
    }
    if (!Pending.empty())
        Apply(Pending);
    return Calls;
}

int RunEdit(const std::vector<std::string>& Raw) {
    const TArgs Args = ParseArgs(Raw, {"--script", "--out", "--bufsize", "--max-undo"},
                                 {"--stats", "--help-script"});
    if (Args.Has("--help-script")) {
        std::cout << EditScriptHelp << "\n";
        return ExitOk;
    }
    Args.ExpectPositional(1);
    if (!Args.Has("--script") || !Args.Has("--out"))
        throw TUsageError("--script and --out are required (--help-script describes scripts)");
    const std::string& Name = Args.Positional[0];
    const std::string OutName = Args.Value("--out");
    std::error_code Ignored;
    if (std::filesystem::equivalent(Name, OutName, Ignored))
        throw TUsageError("--out must not be the edited file itself");
    const std::int64_t BufSize = Args.Int("--bufsize", 4096);
    if (BufSize < 1 || BufSize > 65535)
        throw TUsageError("--bufsize must be 1 to 65535");

    TEditStream Edit(nullptr);
    Edit.SetBufSize(static_cast<std::uint16_t>(BufSize));
    Edit.SetMaxUndoLevels(Args.Int("--max-undo", 10));
    Edit.SetSourceStream(OpenSeekableSource(Name, fmOpenRead | fmShareDenyWrite));
    const std::int64_t Calls = RunScript(Edit, Args.Value("--script"));

    // The text goes to a temporary file that takes OutName's place only once it is complete.
    WritingFile(OutName, [&] {
        SaveFileSafely(OutName,
                       [&Edit](TStream* Out) { Edit.CopyToStream(Out, 0, Edit.GetTextSize()); });
    });
    if (Args.Has("--stats"))
        std::cerr << "edit calls: " << Calls << "\ntext size: " << Edit.GetTextSize()
                  << "\nsegments: " << Edit.GetSegments().SegmentCount()
                  << "\ninserted-text store: " << Edit.GetInsertedText().GetTop() << " bytes ("
                  << Edit.GetInsertedText().GetSize() << " free)\nundo: " << Edit.GetUndoCount()
                  << " transactions, redo: " << Edit.GetRedoCount() << "\n";
    return ExitOk;
}

const std::string Help = std::string("OUT is written whole or not at all: it takes its name only "
                                     "once complete.\n") +
                         FileHelp + "\n\n" + EditScriptHelp;

const TCommandRegistrar Registrar(
    {"edit", "FILE --script EDITS --out OUT [--bufsize N] [--max-undo N] [--stats] [--help-script]",
     "apply a script of edits through an edit stream, write the text", RunEdit, Help.c_str()});

} // namespace
} // namespace kestrel::kxtool
