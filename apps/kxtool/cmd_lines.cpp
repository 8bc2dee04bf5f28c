// kxtool lines: display lines of a file as the line scanner breaks them.
#include "kxtool.h"
#include "layout_tool.h"

#include <iostream>

namespace kestrel::kxtool {
namespace {

int RunLines(const std::vector<std::string>& Raw) {
    const TArgs Args = ParseArgs(Raw, {"--offset", "--count", "--wrap", "--font"}, {});
    Args.ExpectPositional(1);
    TLayoutTool Tool(Args.Positional[0], Args.Value("--font", "mono"), Args.Int("--wrap", 0));
    const std::int64_t Size = Tool.Text.GetTextSize();
    std::int64_t Pos = Args.Int("--offset", 0);
    if (Pos < 0 || Pos > Size)
        throw TUsageError("--offset must be 0 to the file's size (" + std::to_string(Size) + ")");
    const std::int64_t Limit = Args.Int("--count", -1); // -1: to the end
    if (Args.Has("--count") && Limit < 0)
        throw TUsageError("--count cannot be negative");
    for (std::int64_t N = 0; Limit < 0 || N < Limit; ++N) {
        const std::int64_t Start = Pos;
        std::int64_t Width = 0, Count = 0;
        const bool Ended = Tool.Text.GetNextLine(Pos, Width, Count);
        if (!Ended && Count == 0)
            break;
        std::cout << Start << '\t' << Count << '\t' << Width << '\t'
                  << Tool.Text.GetString(Start, Count) << '\n';
        if (!Ended)
            break;
    }
    return ExitOk;
}

const TCommandRegistrar
    Registrar({"lines", "FILE [--offset N] [--count N] [--wrap PIXELS] [--font mono|prop]",
               "print display lines from a byte offset: start, characters, width in pixels, text",
               RunLines, FileHelp});

} // namespace
} // namespace kestrel::kxtool
