// Fuzzing kxtool edit's key script parser: any bytes either parse into strokes that keep their
// bounds (a known key pressed 1 to 999999 times, or non-zero bytes typed, on a line of the
// script), or raise the one-line "key script line N: ..." error naming a line of the script.
#include "key_script.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool Condition) {
    if (!Condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string Script(reinterpret_cast<const char*>(Data), Size);
    const auto Lines =
        static_cast<std::int64_t>(std::count(Script.begin(), Script.end(), '\n')) + 1;
    try {
        for (const kestrel::kxtool::TKeyStroke& K : kestrel::kxtool::ParseKeyScript(Script)) {
            Check(K.Line >= 1 && K.Line <= Lines);
            if (!K.Typed.empty())
                Check(K.Typed.find('\0') == std::string::npos && K.Times == 1);
            else
                Check(K.VirtKey > 0 && K.VirtKey < 256 && K.Times >= 1 &&
                      K.Times <= kestrel::kxtool::MaxKeyRepeat);
        }
    } catch (const kestrel::kxtool::EKeyScriptError& Error) {
        const std::string Message = Error.what();
        Check(Message.rfind("key script line ", 0) == 0);
        Check(Message.find('\n') == std::string::npos);
        Check(Error.GetLine() >= 1 && Error.GetLine() <= Lines);
    }
    return 0;
}
