// Memory contexts, colour resolution and rectangle arithmetic.
#include "host/device_context.h"

#include <algorithm>

namespace kestrel {

std::unique_ptr<TDeviceContext> CreateCompatibleDC(HDC DC) {
    return (DC != nullptr ? DC : GraphicsPlatform().GetScreenDC())->CreateCompatibleDC();
}

std::unique_ptr<TDeviceBitmap> CreateCompatibleBitmap(HDC DC, int W, int H) {
    return (DC != nullptr ? DC : GraphicsPlatform().GetScreenDC())->CreateCompatibleBitmap(W, H);
}

TColor ColorToRGB(TColor Color) {
    if (!IsSystemColor(Color))
        return Color;
    const int Index = static_cast<int>(Color & 0xFF);
    if (GraphicsPlatformInstalled())
        return GraphicsPlatform().GetSysColor(Index);
    return DefaultSysColor(Index);
}

TColor DefaultSysColor(int Index) {
    switch (Index) {
    case COLOR_WINDOW:
    case COLOR_HIGHLIGHTTEXT:
        return clWhite;
    case COLOR_HIGHLIGHT:
        return clNavy;
    case COLOR_BTNFACE:
    case COLOR_SCROLLBAR:
        return clSilver;
    case COLOR_GRAYTEXT:
        return clGray;
    case COLOR_BACKGROUND:
        return clTeal;
    default:
        return clBlack;
    }
}

TRect IntersectRect(const TRect& A, const TRect& B) {
    const TRect R{std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
                  std::min(A.Bottom, B.Bottom)};
    return IsRectEmpty(R) ? TRect{} : R;
}

TRect UnionRect(const TRect& A, const TRect& B) {
    if (IsRectEmpty(A))
        return B;
    if (IsRectEmpty(B))
        return A;
    return TRect{std::min(A.Left, B.Left), std::min(A.Top, B.Top), std::max(A.Right, B.Right),
                 std::max(A.Bottom, B.Bottom)};
}

} // namespace kestrel
