// The shapes the headless platform draws for bytes: a 5 x 7 bitmap font.
#pragma once

#include <array>
#include <cstdint>

namespace kestrel::headless {

/// Seven rows of five pixels, bit 4 the leftmost.
using TGlyphRows = std::array<std::uint8_t, 7>;

/// The glyph of a Windows-1252 byte: printable ASCII, the marks a viewer draws (0xA4, 0xB6,
/// 0xB7) and accented letters drawn as their base letter; nullptr for the rest.
const TGlyphRows* GlyphOf(unsigned char Byte);

} // namespace kestrel::headless
