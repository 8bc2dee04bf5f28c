// Fuzz target: the input's bytes are the choices of an edit session (typing, deleting,
// overwriting, transactions, undo, redo, reads, settings) on a TEditStream held to a std::string
// model with its own undo history; any difference aborts with the operations that led to it.
#include "support/edit_session.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    using namespace kestrel::test;
    TByteChoices Choices(Data, Size);
    // Small windows mostly, where edits cross window edges all the time.
    const auto BufSize = static_cast<std::uint16_t>(Choices.Below(8) == 0 ? 16 + Choices.Below(4081)
                                                                          : 16 + Choices.Below(49));
    TEditSession Session(Choices, BufSize, TEditSessionLimits{.SourceText = 400, .Grow = 300});
    const std::string Error = Session.Run(INT64_MAX);
    if (!Error.empty()) {
        std::fprintf(stderr, "edit stream differs from the model: %s\n", Error.c_str());
        std::abort();
    }
    return 0;
}
