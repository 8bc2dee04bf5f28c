// kxtool generate: writes the deterministic generated test text to a file.
#include "kxtool.h"

#include "host/safe_save.h"
#include "support/testdata/generated_text.h"

#include <iostream>

namespace kestrel::kxtool {
namespace {

int RunGenerate(const std::vector<std::string>& Raw) {
    const TArgs Args = ParseArgs(Raw, {"--size", "--seed"}, {"--crlf", "--single-line"});
    Args.ExpectPositional(1);
    if (!Args.Has("--size"))
        throw TUsageError("--size is required");
    const std::int64_t Size = Args.Int("--size", 0);
    const std::int64_t Seed = Args.Int("--seed", 0);
    if (Size < 0 || Seed < 0)
        throw TUsageError("--size and --seed cannot be negative");
    testdata::TGeneratedTextStream Source(Size, {.CrLf = Args.Has("--crlf"),
                                                 .SingleLine = Args.Has("--single-line"),
                                                 .Seed = static_cast<std::uint64_t>(Seed)});
    SaveFileSafely(Args.Positional[0], [&Source, Size](TStream* Out) {
        if (Size > 0)
            Out->CopyFrom(&Source, Size);
    });
    std::cout << Args.Positional[0] << ": " << Size << " bytes, "
              << Source.GetText().LineBreakCount() << " line breaks\n";
    return ExitOk;
}

const TCommandRegistrar Registrar({"generate", "FILE --size N [--crlf] [--single-line] [--seed N]",
                                   "write the generated test text (lines of varied length)",
                                   RunGenerate, nullptr});

} // namespace
} // namespace kestrel::kxtool
