// Types shared by the text units: the bytes the layout gives a meaning, character positions,
// selection modes and the word characters.
#pragma once

#include <algorithm>
#include <compare>
#include <cstdint>
#include <limits>

namespace kestrel {

/// The bytes that lay text out: a tab advances to the next tab stop, a line ends at LF or CR LF,
/// and a form feed is a line of its own that breaks the page.
inline constexpr std::uint8_t TAB = 9, LF = 10, FF = 12, CR = 13, SPACE = 32;
/// The line break the library writes.
inline constexpr char CrLf[2] = {CR, LF};

/// A character position (X = character index in a display line, Y = display line) or a caret
/// point (X = pixel offset in the line). Ordered by Y, then X.
struct TLongPoint {
    std::int64_t X = 0;
    std::int64_t Y = 0;

    friend constexpr bool operator==(TLongPoint A, TLongPoint B) = default;
    /// Three-way comparison: line first, then character.
    friend constexpr std::strong_ordering operator<=>(TLongPoint A, TLongPoint B) {
        if (A.Y != B.Y)
            return A.Y <=> B.Y;
        return A.X <=> B.X;
    }
};

/// Builds a TLongPoint.
constexpr TLongPoint LongPoint(std::int64_t X, std::int64_t Y) {
    return TLongPoint{X, Y};
}

/// The point (0, 0).
inline constexpr TLongPoint ZeroPoint{0, 0};

/// The farthest from the origin a 64-bit position or width is drawn: the platform's coordinates
/// are int, and half their range keeps the sum of two in range.
inline constexpr std::int64_t CoordinateLimit = std::numeric_limits<int>::max() / 2;

/// V as a platform coordinate, clamped to +-CoordinateLimit (positions far off the window only
/// need to stay off it).
constexpr int ClampToInt(std::int64_t V) {
    return static_cast<int>(std::clamp(V, -CoordinateLimit, CoordinateLimit));
}

/// The selection mode.
enum TSelModes : std::uint8_t { smNone, smDouble, smExtend, smColumn };

/// A set of byte values.
class TCharSet {
public:
    constexpr TCharSet() = default;

    constexpr TCharSet& Include(std::uint8_t Ch) {
        FBits[Ch >> 6] |= std::uint64_t{1} << (Ch & 63);
        return *this;
    }
    /// Includes every byte from First to Last (inclusive).
    constexpr TCharSet& IncludeRange(std::uint8_t First, std::uint8_t Last) {
        for (unsigned Ch = First; Ch <= Last; ++Ch)
            Include(static_cast<std::uint8_t>(Ch));
        return *this;
    }
    constexpr bool Contains(std::uint8_t Ch) const {
        return (FBits[Ch >> 6] >> (Ch & 63) & 1) != 0;
    }
    constexpr int Count() const {
        int Result = 0;
        for (unsigned Ch = 0; Ch < 256; ++Ch)
            Result += Contains(static_cast<std::uint8_t>(Ch)) ? 1 : 0;
        return Result;
    }

private:
    std::uint64_t FBits[4] = {0, 0, 0, 0};
};

/// The bytes that make up a word: digits, ASCII letters, '_' and the accented letters of the
/// ANSI code page (192-214, 216-246, 248-255).
inline constexpr TCharSet WordChars = TCharSet()
                                          .IncludeRange('0', '9')
                                          .IncludeRange('A', 'Z')
                                          .Include('_')
                                          .IncludeRange('a', 'z')
                                          .IncludeRange(192, 214)
                                          .IncludeRange(216, 246)
                                          .IncludeRange(248, 255);

} // namespace kestrel
