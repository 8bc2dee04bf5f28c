// kxtool count: the number of display lines of a file, counted line by line.
#include "kxtool.h"
#include "layout_tool.h"

#include <iostream>

namespace kestrel::kxtool {
namespace {

int RunCount(const std::vector<std::string>& Raw) {
    const TArgs Args = ParseArgs(Raw, {"--wrap", "--font"}, {});
    Args.ExpectPositional(1);
    TLayoutTool Tool(Args.Positional[0], Args.Value("--font", "mono"), Args.Int("--wrap", 0));
    std::int64_t Lines = 0, Pos = 0, Width = 0, Count = 0;
    for (;;) {
        const bool Ended = Tool.Text.GetNextLine(Pos, Width, Count);
        if (Ended || Count > 0)
            ++Lines;
        if (!Ended)
            break;
    }
    std::cout << Lines << "\n";
    return ExitOk;
}

const TCommandRegistrar Registrar({"count", "FILE [--wrap PIXELS] [--font mono|prop]",
                                   "count the display lines from the start to the end", RunCount});

} // namespace
} // namespace kestrel::kxtool
