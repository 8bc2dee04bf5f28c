// Windows-1252 conversions and colours.
#include "host/qt/qt_text.h"

#include "host/device_context.h"

#include <array>
#include <unordered_map>

namespace kestrel::qt {

namespace {

// 0x80..0x9F; 0 where the code page defines nothing.
constexpr std::array<char16_t, 32> High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t Decode(std::uint8_t B) {
    if (B >= 0x80 && B < 0xA0)
        return High[B - 0x80];
    return B;
}

const std::unordered_map<char16_t, char>& Encoder() {
    static const std::unordered_map<char16_t, char> Map = [] {
        std::unordered_map<char16_t, char> M;
        for (int B = 0; B < 256; ++B)
            if (const char16_t U = Decode(static_cast<std::uint8_t>(B)); U != 0 || B == 0)
                M.emplace(U, static_cast<char>(B));
        return M;
    }();
    return Map;
}

} // namespace

char16_t CharOfByte(std::uint8_t B) {
    if (B < 0x20 || B == 0x7F)
        return 0;
    return Decode(B);
}

QString ToQString(const char* Bytes, std::size_t Count) {
    QString Out;
    Out.resize(static_cast<qsizetype>(Count));
    for (std::size_t I = 0; I < Count; ++I) {
        const auto B = static_cast<std::uint8_t>(Bytes[I]);
        const char16_t U = Decode(B);
        Out[static_cast<qsizetype>(I)] = QChar(U != 0 || B == 0 ? U : char16_t{0xFFFD});
    }
    return Out;
}

std::string FromQString(const QString& Text) {
    const auto& Map = Encoder();
    std::string Out;
    Out.reserve(static_cast<std::size_t>(Text.size()));
    for (const QChar C : Text) {
        const auto It = Map.find(C.unicode());
        Out += It == Map.end() ? '?' : It->second;
    }
    return Out;
}

QColor ToQColor(TColor C) {
    const TColor RGBValue = ColorToRGB(C);
    return QColor(GetRValue(RGBValue), GetGValue(RGBValue), GetBValue(RGBValue));
}

} // namespace kestrel::qt
