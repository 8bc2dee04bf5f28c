// kxtool edit's key script: lines of key presses and typed text, parsed into strokes that an
// editor replays. Depends on nothing but the standard library, so that it can be fuzzed alone.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrel::kxtool {

/// A key script line that cannot be parsed: one line of text, "key script line N: why".
class EKeyScriptError : public std::runtime_error {
public:
    EKeyScriptError(std::int64_t Line, const std::string& Why);
    std::int64_t GetLine() const { return FLine; }

private:
    std::int64_t FLine;
};

/// One stroke: bytes typed one after another, or a key pressed with modifiers held, Times times
/// in a row.
struct TKeyStroke {
    std::string Typed; // the bytes typed (none of them zero); empty for a key
    int VirtKey = 0;   // the virtual-key code pressed (when nothing is typed)
    bool Ctrl = false; // modifiers held during the key
    bool Shift = false;
    bool Alt = false;
    std::int64_t Times = 1; // 1 to MaxKeyRepeat
    std::int64_t Line = 0;  // where it is in the script
};

/// The largest repeat count of a key.
inline constexpr std::int64_t MaxKeyRepeat = 999'999;
/// The most presses a script may make, repeats counted.
inline constexpr std::int64_t MaxKeyPresses = 10'000'000;

/// What the script language is, for the command's help.
extern const char* const KeyScriptHelp;

/// Parses a whole script (lines ended by LF or CR LF); raises EKeyScriptError naming the first
/// bad line. A line is one stroke, so the strokes take memory in proportion to the script.
std::vector<TKeyStroke> ParseKeyScript(const std::string& Script);

} // namespace kestrel::kxtool
