// Plain graphics values: colours, points, rectangles, sizes, text metrics and the constants of
// the device-context calls.
#pragma once

#include "host/set.h"

#include <cstdint>
#include <string>

namespace kestrel {

/// A colour: 0x00BBGGRR for an RGB value; values with the top bit set name a system colour
/// (0x80000000 + its index), resolved by the platform (ColorToRGB).
using TColor = std::int32_t;

constexpr TColor RGB(int R, int G, int B) {
    return static_cast<TColor>((R & 0xFF) | ((G & 0xFF) << 8) | ((B & 0xFF) << 16));
}
constexpr int GetRValue(TColor C) { return C & 0xFF; }
constexpr int GetGValue(TColor C) { return (C >> 8) & 0xFF; }
constexpr int GetBValue(TColor C) { return (C >> 16) & 0xFF; }

/// System colour indexes.
enum : int {
    COLOR_SCROLLBAR = 0,
    COLOR_BACKGROUND = 1,
    COLOR_WINDOW = 5,
    COLOR_WINDOWTEXT = 8,
    COLOR_HIGHLIGHT = 13,
    COLOR_HIGHLIGHTTEXT = 14,
    COLOR_BTNFACE = 15,
    COLOR_GRAYTEXT = 17,
    COLOR_BTNTEXT = 18,
};

constexpr TColor SystemColor(int Index) {
    return static_cast<TColor>(0x80000000u | static_cast<std::uint32_t>(Index));
}
constexpr bool IsSystemColor(TColor C) { return C < 0; }

constexpr TColor clBlack = RGB(0, 0, 0);
constexpr TColor clMaroon = RGB(128, 0, 0);
constexpr TColor clGreen = RGB(0, 128, 0);
constexpr TColor clOlive = RGB(128, 128, 0);
constexpr TColor clNavy = RGB(0, 0, 128);
constexpr TColor clPurple = RGB(128, 0, 128);
constexpr TColor clTeal = RGB(0, 128, 128);
constexpr TColor clGray = RGB(128, 128, 128);
constexpr TColor clSilver = RGB(192, 192, 192);
constexpr TColor clRed = RGB(255, 0, 0);
constexpr TColor clLime = RGB(0, 255, 0);
constexpr TColor clYellow = RGB(255, 255, 0);
constexpr TColor clBlue = RGB(0, 0, 255);
constexpr TColor clFuchsia = RGB(255, 0, 255);
constexpr TColor clAqua = RGB(0, 255, 255);
constexpr TColor clWhite = RGB(255, 255, 255);
constexpr TColor clWindow = SystemColor(COLOR_WINDOW);
constexpr TColor clWindowText = SystemColor(COLOR_WINDOWTEXT);
constexpr TColor clHighlight = SystemColor(COLOR_HIGHLIGHT);
constexpr TColor clHighlightText = SystemColor(COLOR_HIGHLIGHTTEXT);
constexpr TColor clBtnFace = SystemColor(COLOR_BTNFACE);
constexpr TColor clBtnText = SystemColor(COLOR_BTNTEXT);
constexpr TColor clGrayText = SystemColor(COLOR_GRAYTEXT);

/// A point in device pixels.
struct TPoint {
    int X = 0;
    int Y = 0;
    friend constexpr bool operator==(const TPoint&, const TPoint&) = default;
};
constexpr TPoint Point(int X, int Y) { return TPoint{X, Y}; }

/// A size in device pixels.
struct TSize {
    int cx = 0;
    int cy = 0;
    friend constexpr bool operator==(const TSize&, const TSize&) = default;
};

/// A rectangle in device pixels; Right and Bottom are exclusive.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    constexpr int Width() const { return Right - Left; }
    constexpr int Height() const { return Bottom - Top; }
    friend constexpr bool operator==(const TRect&, const TRect&) = default;
};
constexpr TRect Rect(int Left, int Top, int Right, int Bottom) {
    return TRect{Left, Top, Right, Bottom};
}
constexpr TRect Bounds(int Left, int Top, int Width, int Height) {
    return TRect{Left, Top, Left + Width, Top + Height};
}
/// True when the rectangle has no area.
constexpr bool IsRectEmpty(const TRect& R) { return R.Right <= R.Left || R.Bottom <= R.Top; }
constexpr bool PtInRect(const TRect& R, TPoint P) {
    return P.X >= R.Left && P.X < R.Right && P.Y >= R.Top && P.Y < R.Bottom;
}
/// The common part of A and B; an empty rectangle (all zero) when they do not overlap.
TRect IntersectRect(const TRect& A, const TRect& B);
/// The smallest rectangle holding both; an empty rectangle adds nothing.
TRect UnionRect(const TRect& A, const TRect& B);
constexpr TRect OffsetRect(const TRect& R, int DX, int DY) {
    return TRect{R.Left + DX, R.Top + DY, R.Right + DX, R.Bottom + DY};
}

enum TFontStyle : std::uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;
enum TFontPitch : std::uint8_t { fpDefault, fpVariable, fpFixed };

/// Pen styles with the platform's numbering (solid 0, dotted 2).
enum TPenStyle : std::uint8_t {
    psSolid,
    psDash,
    psDot,
    psDashDot,
    psDashDotDot,
    psClear,
    psInsideFrame
};
/// How a pen combines with what is drawn already.
enum TPenMode : std::uint8_t { pmCopy, pmNot, pmXor, pmBlack, pmWhite };
enum TBrushStyle : std::uint8_t { bsSolid, bsClear };

/// A font as a device context selects it: Height in device pixels, negative for the character
/// height without internal leading (the usual case), positive for the cell height.
struct TFontDesc {
    std::string Name = "MS Sans Serif";
    int Height = -11;
    TFontStyles Style;
    TFontPitch Pitch = fpDefault;
    friend bool operator==(const TFontDesc&, const TFontDesc&) = default;
};
struct TPenDesc {
    TPenStyle Style = psSolid;
    int Width = 1;
    TColor Color = clBlack;
    friend constexpr bool operator==(const TPenDesc&, const TPenDesc&) = default;
};
struct TBrushDesc {
    TBrushStyle Style = bsSolid;
    TColor Color = clWhite;
    friend constexpr bool operator==(const TBrushDesc&, const TBrushDesc&) = default;
};

/// Text metrics of the font selected into a device context, in its pixels.
struct TTextMetric {
    int tmHeight = 0;          // cell height: ascent + descent
    int tmAscent = 0;
    int tmDescent = 0;
    int tmInternalLeading = 0; // accent room inside the cell
    int tmExternalLeading = 0; // recommended space between rows
    int tmAveCharWidth = 0;
    int tmMaxCharWidth = 0;
    int tmOverhang = 0;        // extra width of synthesized styles, included by GetCharWidth
    bool tmFixedPitch = false;
};

/// GetDeviceCaps indexes.
enum : int {
    TECHNOLOGY = 2,
    HORZSIZE = 4,
    VERTSIZE = 6,
    HORZRES = 8,
    VERTRES = 10,
    BITSPIXEL = 12,
    PLANES = 14,
    LOGPIXELSX = 88,
    LOGPIXELSY = 90,
    PHYSICALWIDTH = 110,
    PHYSICALHEIGHT = 111,
    PHYSICALOFFSETX = 112,
    PHYSICALOFFSETY = 113,
};
/// TECHNOLOGY answers.
enum : int { DT_RASDISPLAY = 1, DT_RASPRINTER = 2 };

/// Raster operations of BitBlt.
enum : std::uint32_t {
    SRCCOPY = 0x00CC0020,
    SRCPAINT = 0x00EE0086,
    SRCAND = 0x008800C6,
    SRCINVERT = 0x00660046,
    DSTINVERT = 0x00550009,
    PATCOPY = 0x00F00021,
    BLACKNESS = 0x00000042,
    WHITENESS = 0x00FF0062,
};

/// Text alignment flags (SetTextAlign).
enum : unsigned {
    TA_NOUPDATECP = 0,
    TA_UPDATECP = 1,
    TA_LEFT = 0,
    TA_RIGHT = 2,
    TA_CENTER = 6,
    TA_TOP = 0,
    TA_BOTTOM = 8,
    TA_BASELINE = 24,
};

/// Background modes (SetBkMode).
enum : int { TRANSPARENT = 1, OPAQUE = 2 };

} // namespace kestrel
