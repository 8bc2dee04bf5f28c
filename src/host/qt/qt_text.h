// Bytes of the ANSI code page (Windows-1252) to and from Qt's Unicode strings, and colours.
#pragma once

#include "host/graphics_types.h"

#include <QChar>
#include <QColor>
#include <QString>

#include <cstdint>
#include <string>

namespace kestrel::qt {

/// The character byte B shows as in Windows-1252; 0 for a control byte or one the code page
/// leaves undefined (drawn as the font's missing-glyph box).
char16_t CharOfByte(std::uint8_t B);
/// Bytes as text: control bytes stay themselves, undefined ones become U+FFFD.
QString ToQString(const char* Bytes, std::size_t Count);
inline QString ToQString(const std::string& Bytes) {
    return ToQString(Bytes.data(), Bytes.size());
}
/// Text as bytes; a character the code page lacks becomes '?'.
std::string FromQString(const QString& Text);

/// The RGB colour of C (system colours through the graphics platform).
QColor ToQColor(TColor C);

} // namespace kestrel::qt
