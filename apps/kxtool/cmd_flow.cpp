// kxtool flow: joins the lines of each paragraph through the editor's paragraph flow and writes
// the text wrapped at a number of characters.
#include "kxtool.h"

#include "editor_tool.h"

namespace kestrel::kxtool {
namespace {

int RunFlow(const std::vector<std::string>& Raw) {
    const TArgs Args = ParseArgs(Raw, {"--out", "--wrap"}, {});
    Args.ExpectPositional(1);
    const std::string& Name = Args.Positional[0];
    const std::string OutName = Args.OutFile(Name, true);
    const std::int64_t Wrap = Args.Int("--wrap", 0);
    if (Wrap < 0 || Wrap > 1000000)
        throw TUsageError("--wrap must be 0 to 1000000");

    TFileEditorTool Tool(Name, Wrap);
    TBigEditor& E = *Tool.Editor;
    E.FlowText(); // from the start (the caret's place) to the end
    if (Wrap == 0) {
        WritingFile(OutName, [&] { Tool.SaveText(OutName); });
        return ExitOk;
    }
    // Every display line, wrapped at Wrap characters, becomes a CR LF line.
    E.SetSaveMode(smLineBreaks);
    WritingFile(OutName, [&] { E.SaveAs(OutName); });
    return ExitOk;
}

const TCommandRegistrar Registrar(
    {"flow", "FILE --out OUT [--wrap N]",
     "join the lines of each paragraph (paragraphs end at an empty line or a form feed) and "
     "write the text, with --wrap N wrapped at N characters as CR LF lines",
     RunFlow,
     "A line ending in a space or \"-\" is joined without an added space. Without --wrap the\n"
     "flowed paragraphs are written as single lines. OUT is written whole or not at all."});

} // namespace
} // namespace kestrel::kxtool
