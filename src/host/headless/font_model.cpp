// The headless font model.
#include "host/headless/font_model.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace kestrel::headless {

namespace {

// Advances of the proportional model in twentieths of the em, for the bytes 32..126.
constexpr std::array<int, 95> AsciiUnits = {
    5,  5,  7,  11, 11, 18, 13, 4,  6,  6,  8,  12, 5,  6,  5,  6,  // space .. /
    11, 11, 11, 11, 11, 11, 11, 11, 11, 11,                         // 0 .. 9
    5,  5,  12, 12, 12, 11, 20,                                     // : .. @
    13, 13, 14, 14, 13, 12, 15, 14, 5,  10, 13, 11, 17,             // A .. M
    14, 15, 13, 15, 14, 13, 12, 14, 13, 19, 13, 13, 12,             // N .. Z
    6,  6,  6,  9,  11, 6,                                          // [ .. `
    11, 11, 10, 11, 11, 6,  11, 11, 4,  4,  10, 4,  17,             // a .. m
    11, 11, 11, 11, 7,  10, 6,  11, 10, 14, 10, 10, 10,             // n .. z
    7,  5,  7,  12                                                  // { .. ~
};

int ProportionalUnits(int Byte) {
    if (Byte == 0)
        return 0;
    if (Byte >= 32 && Byte <= 126)
        return AsciiUnits[static_cast<std::size_t>(Byte - 32)];
    if (Byte == 160)
        return 5; // no-break space, as wide as a space
    return Byte < 32 || Byte == 127 ? 10 : 11;
}

std::string Lower(std::string S) {
    for (char& C : S)
        C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    return S;
}

} // namespace

bool IsProportionalName(const TFontDesc& Desc) {
    if (Desc.Pitch != fpDefault)
        return Desc.Pitch == fpVariable;
    static const char* const Names[] = {"ms sans serif", "arial",    "tahoma",    "times new roman",
                                        "verdana",       "segoe ui", "helvetica", "proportional"};
    const std::string Name = Lower(Desc.Name);
    return std::any_of(std::begin(Names), std::end(Names),
                       [&](const char* N) { return Name == N; });
}

TFontModel TFontModel::FromDesc(const TFontDesc& Desc) {
    TFontModel M;
    M.Proportional = IsProportionalName(Desc);
    int Em;
    if (Desc.Height < 0)
        Em = -Desc.Height;
    else if (Desc.Height > 0)
        Em = std::max(1, Desc.Height - std::max(1, (Desc.Height + 3) / 7));
    else
        Em = 13;
    M.Em = Em;

    TTextMetric& T = M.Metrics;
    T.tmInternalLeading = std::max(1, (Em + 3) / 6);
    T.tmHeight = Em + T.tmInternalLeading;
    T.tmDescent = std::max(1, (T.tmHeight + 2) / 5);
    T.tmAscent = T.tmHeight - T.tmDescent;
    T.tmExternalLeading = Em / 8;
    T.tmFixedPitch = !M.Proportional;
    T.tmOverhang = Desc.Style.Contains(fsItalic) ? std::max(1, Em / 6) : 0;

    const int Bold = Desc.Style.Contains(fsBold) ? std::max(1, Em / 16) : 0;
    for (int B = 0; B < 256; ++B) {
        int W = M.Proportional ? (ProportionalUnits(B) * Em + 10) / 20
                               : std::max(1, (3 * Em + 2) / 5);
        if (W > 0)
            W += Bold;
        M.Widths[static_cast<std::size_t>(B)] = W;
    }
    T.tmAveCharWidth = M.Widths['x'];
    T.tmMaxCharWidth = *std::max_element(M.Widths.begin(), M.Widths.end());
    return M;
}

} // namespace kestrel::headless
