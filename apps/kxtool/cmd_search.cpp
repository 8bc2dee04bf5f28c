// kxtool search: the offset of the first match of a pattern in a file.
#include "kxtool.h"
#include "layout_tool.h"

#include <iostream>

namespace kestrel::kxtool {
namespace {

int RunSearch(const std::vector<std::string>& Raw) {
    const TArgs Args = ParseArgs(Raw, {"--from"}, {"--back", "--case", "--word"});
    Args.ExpectPositional(2);
    TLayoutTool Tool(Args.Positional[1], "mono", 0);
    const TFindOptions Options = Args.FindOptions();
    const std::int64_t Size = Tool.Text.GetTextSize();
    std::int64_t Pos = Args.Int("--from", Args.Has("--back") && Size > 0 ? Size - 1 : 0);
    if (Pos < 0 || Pos > Size)
        throw TUsageError("--from must be 0 to the file's size (" + std::to_string(Size) + ")");
    if (!Tool.Text.Search(Pos, Args.Positional[0], Options))
        return ExitNotFound;
    std::cout << Pos << "\n";
    return ExitOk;
}

const TCommandRegistrar Registrar(
    {"search", "PATTERN FILE [--from OFFSET] [--back] [--case] [--word]",
     "print the offset of the first match (backwards: the last one ending at or before OFFSET);"
     " exit 1 when there is none",
     RunSearch, FileHelp});

} // namespace
} // namespace kestrel::kxtool
