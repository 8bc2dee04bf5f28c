// Resolving fonts and measuring the bytes of Windows-1252.
#include "host/qt/qt_fonts.h"

#include "host/qt/qt_text.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace kestrel::qt {

namespace {

using TKey = std::tuple<std::string, int, std::uint32_t, int>;

TKey KeyOf(const TFontDesc& D) {
    std::uint32_t Style = 0;
    for (const TFontStyle S : {fsBold, fsItalic, fsUnderline, fsStrikeOut})
        if (D.Style.Contains(S))
            Style |= 1u << S;
    return {D.Name, D.Height, Style, static_cast<int>(D.Pitch)};
}

QFont MakeFont(const TFontDesc& Desc, int PixelSize, bool& Substituted) {
    const QString Family = QString::fromStdString(Desc.Name);
    Substituted = Family.isEmpty() || !QFontDatabase::hasFamily(Family);
    QFont F(Substituted ? FallbackFamily() : Family);
    F.setPixelSize(std::max(1, PixelSize));
    F.setBold(Desc.Style.Contains(fsBold));
    F.setItalic(Desc.Style.Contains(fsItalic));
    F.setUnderline(Desc.Style.Contains(fsUnderline));
    F.setStrikeOut(Desc.Style.Contains(fsStrikeOut));
    F.setKerning(false);
    F.setStyleStrategy(QFont::PreferDefault);
    if (Desc.Pitch == fpFixed || Substituted)
        F.setFixedPitch(true);
    return F;
}

std::shared_ptr<const TQtFace> Make(const TFontDesc& Desc) {
    auto Face = std::make_shared<TQtFace>();
    // A negative height is the character height (the em), a positive one the cell height.
    int Pixels = Desc.Height < 0 ? -Desc.Height : Desc.Height;
    if (Pixels == 0)
        Pixels = 13;
    Face->Font = MakeFont(Desc, Pixels, Face->Substituted);
    if (Desc.Height > 0) {
        const int Cell = QFontMetrics(Face->Font).height();
        if (Cell > 0 && Cell != Desc.Height)
            Face->Font.setPixelSize(std::max(1, Pixels * Desc.Height / Cell));
    }
    const QFontMetrics FM(Face->Font);
    Face->Raw = QRawFont::fromFont(Face->Font);

    // The box drawn for bytes without a character has the width of an average character.
    const int Average = std::max(1, FM.horizontalAdvance(QLatin1Char('x')));
    int Max = 1;
    for (int B = 0; B < 256; ++B) {
        const char16_t U = CharOfByte(static_cast<std::uint8_t>(B));
        quint32 Glyph = 0;
        int Width = Average;
        if (U != 0) {
            const QString S(QChar{U});
            if (Face->Raw.isValid()) {
                const QList<quint32> G = Face->Raw.glyphIndexesForString(S);
                Glyph = G.isEmpty() ? 0 : G.front();
            }
            Width = FM.horizontalAdvance(QChar{U});
            if (Width <= 0)
                Width = Average;
        }
        Face->Glyphs[static_cast<std::size_t>(B)] = Glyph;
        Face->Widths[static_cast<std::size_t>(B)] = Width;
        Max = std::max(Max, Width);
    }
    TTextMetric& M = Face->Metrics;
    M.tmAscent = FM.ascent();
    M.tmDescent = FM.descent();
    M.tmHeight = M.tmAscent + M.tmDescent;
    M.tmInternalLeading = std::max(0, M.tmHeight - Face->Font.pixelSize());
    M.tmExternalLeading = std::max(0, FM.leading());
    M.tmAveCharWidth = Average;
    M.tmMaxCharWidth = Max;
    M.tmOverhang = 0;
    M.tmFixedPitch = QFontInfo(Face->Font).fixedPitch();
    return Face;
}

} // namespace

QString FallbackFamily() {
    static const QString Family = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    return Family;
}

namespace {
std::map<TKey, std::shared_ptr<const TQtFace>>& Cache() {
    static std::map<TKey, std::shared_ptr<const TQtFace>> Faces;
    return Faces;
}
} // namespace

void ClearFaces() {
    Cache().clear();
}

std::shared_ptr<const TQtFace> FaceOf(const TFontDesc& Desc) {
    auto& Cache = qt::Cache();
    const TKey Key = KeyOf(Desc);
    if (const auto It = Cache.find(Key); It != Cache.end())
        return It->second;
    if (Cache.size() >= 256)
        Cache.clear(); // faces in use stay alive with their contexts
    auto Face = Make(Desc);
    Cache.emplace(Key, Face);
    return Face;
}

} // namespace kestrel::qt
