// THeadlessWindowPlatform: the standard scroll bars.
#include "host/headless/window_system.h"

#include "host/headless/window_record.h"

#include <algorithm>
#include <cassert>

namespace kestrel::headless {

void THeadlessWindowPlatform::SetScrollInfo(HWND Wnd, int Bar, const TScrollInfo& Info, bool) {
    if (Bar != SB_HORZ && Bar != SB_VERT)
        return;
    THeadlessScrollBar& S = Get(Wnd).Bars[Bar];
    if ((Info.Mask & SIF_RANGE) != 0) {
        S.Min = Info.Min;
        S.Max = Info.Max;
    }
    if ((Info.Mask & SIF_PAGE) != 0)
        S.Page = std::max<std::int64_t>(0, Info.Page);
    if ((Info.Mask & SIF_POS) != 0)
        S.Pos = Info.Pos;
    // The position stays where the thumb can be.
    const std::int64_t Top = std::max(S.Min, S.Max - std::max<std::int64_t>(S.Page - 1, 0));
    S.Pos = std::clamp(S.Pos, S.Min, Top);
}

bool THeadlessWindowPlatform::GetScrollInfo(HWND Wnd, int Bar, TScrollInfo& Info) const {
    if (Bar != SB_HORZ && Bar != SB_VERT)
        return false;
    const THeadlessScrollBar& S = Get(Wnd).Bars[Bar];
    Info.Min = S.Min;
    Info.Max = S.Max;
    Info.Page = S.Page;
    Info.Pos = S.Pos;
    Info.TrackPos = S.Pos;
    return true;
}

void THeadlessWindowPlatform::ShowScrollBar(HWND Wnd, int Bar, bool Show) {
    TWindow& W = Get(Wnd);
    const TRect Old = ClientOf(W);
    bool Changed = false;
    for (int B : {SB_HORZ, SB_VERT}) {
        if (Bar != B && Bar != SB_BOTH)
            continue;
        Changed = Changed || W.Bars[B].Visible != Show;
        W.Bars[B].Visible = Show;
        const std::uint32_t Style = B == SB_HORZ ? WS_HSCROLL : WS_VSCROLL;
        W.Style = Show ? (W.Style | Style) : (W.Style & ~Style);
    }
    if (Changed)
        ClientSizeChanged(W, Old.Right, Old.Bottom);
}

const THeadlessScrollBar& THeadlessWindowPlatform::GetScrollBar(HWND Wnd, int Bar) const {
    assert((Bar == SB_HORZ || Bar == SB_VERT) && "a window has two standard bars");
    return Get(Wnd).Bars[Bar];
}

} // namespace kestrel::headless
