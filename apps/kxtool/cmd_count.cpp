// kxtool count: the number of display lines of a file, as GetNextLine gives them.
#include "kxtool.h"
#include "layout_tool.h"

#include <cstdint>
#include <iostream>

namespace kestrel::kxtool {
namespace {

int RunCount(const std::vector<std::string>& Raw) {
    const TArgs Args = ParseArgs(Raw, {"--wrap", "--font"}, {"--each"});
    Args.ExpectPositional(1);
    TLayoutTool Tool(Args.Positional[0], Args.Value("--font", "mono"), Args.Int("--wrap", 0));
    std::int64_t Lines = 0, Pos = 0;
    if (Args.Has("--each")) { // the way a caller walking the lines goes
        for (;;) {
            std::int64_t Width = 0, Count = 0;
            const bool Ended = Tool.Text.GetNextLine(Pos, Width, Count);
            if (Ended || Count > 0)
                ++Lines;
            if (!Ended)
                break;
        }
    } else {
        Lines = Tool.Text.CountLines(Pos, INT64_MAX);
    }
    std::cout << Lines << "\n";
    return ExitOk;
}

const TCommandRegistrar
    Registrar({"count", "FILE [--wrap PIXELS] [--font mono|prop] [--each]",
               "count the display lines from the start to the end (--each: one GetNextLine a line)",
               RunCount, FileHelp});

} // namespace
} // namespace kestrel::kxtool
