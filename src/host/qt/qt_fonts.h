// Fonts of the Qt platform: a font as a device context selects it, resolved once into a QFont,
// its glyphs for the 256 bytes, their advance widths and the text metrics.
#pragma once

#include "host/graphics_types.h"

#include <QFont>
#include <QRawFont>

#include <array>
#include <cstdint>
#include <memory>

namespace kestrel::qt {

/// A resolved font. Widths are whole pixels: text is drawn glyph by glyph at the positions
/// these widths give, so that what is measured is exactly what is drawn.
struct TQtFace {
    QFont Font;
    QRawFont Raw;
    std::array<quint32, 256> Glyphs{}; ///< glyph of each byte (0: the missing-glyph box)
    std::array<int, 256> Widths{};     ///< advance of each byte, >= 1
    TTextMetric Metrics;
    bool Substituted = false; ///< the family asked for is not installed
};

/// The face of Desc. A family the machine lacks falls back to the system's monospaced font.
/// Faces are made once and shared; the cache holds a bounded number.
std::shared_ptr<const TQtFace> FaceOf(const TFontDesc& Desc);

/// Drops the cached faces (before the application object goes).
void ClearFaces();

/// The family used for a family name that is not installed.
QString FallbackFamily();

} // namespace kestrel::qt
