// The window services every platform shares (default message handling, UpdateWindow) and the
// shift-state helpers built on the input state.
#include "host/window_platform.h"

namespace kestrel {

namespace {

bool KeyDown(int VirtKey) {
    return (GetKeyState(VirtKey) & 0x8000) != 0;
}

} // namespace

LRESULT DefWindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM) {
    if (!IsWindow(Wnd))
        return 0;
    switch (Msg) {
    case WM_PAINT: {
        TPaintStruct PS;
        BeginPaint(Wnd, PS);
        EndPaint(Wnd, PS);
        return 0;
    }
    case WM_ERASEBKGND: {
        const TBrushDesc Window{bsSolid, ColorToRGB(clWindow)};
        if (const auto DC = reinterpret_cast<HDC>(WParam); DC != nullptr) {
            DC->FillRect(GetClientRect(Wnd), Window);
        } else {
            const HDC Own = GetDC(Wnd);
            Own->FillRect(GetClientRect(Wnd), Window);
            ReleaseDC(Wnd, Own);
        }
        return 1;
    }
    case WM_CLOSE:
        DestroyWindowHandle(Wnd);
        return 0;
    default:
        return 0;
    }
}

void UpdateWindow(HWND Wnd) {
    TRect Box;
    if (GetUpdateRect(Wnd, Box) && IsWindowVisible(Wnd))
        SendMessage(Wnd, WM_PAINT, 0, 0);
}

TShiftState KeysToShiftState(WPARAM Keys) {
    TShiftState Result;
    if ((Keys & MK_SHIFT) != 0)
        Result.Include(ssShift);
    if ((Keys & MK_CONTROL) != 0)
        Result.Include(ssCtrl);
    if ((Keys & MK_LBUTTON) != 0)
        Result.Include(ssLeft);
    if ((Keys & MK_RBUTTON) != 0)
        Result.Include(ssRight);
    if ((Keys & MK_MBUTTON) != 0)
        Result.Include(ssMiddle);
    if (KeyDown(VK_MENU))
        Result.Include(ssAlt);
    return Result;
}

TShiftState GetShiftState() {
    TShiftState Result;
    if (KeyDown(VK_SHIFT))
        Result.Include(ssShift);
    if (KeyDown(VK_MENU))
        Result.Include(ssAlt);
    if (KeyDown(VK_CONTROL))
        Result.Include(ssCtrl);
    if (KeyDown(VK_LBUTTON))
        Result.Include(ssLeft);
    if (KeyDown(VK_RBUTTON))
        Result.Include(ssRight);
    if (KeyDown(VK_MBUTTON))
        Result.Include(ssMiddle);
    return Result;
}

} // namespace kestrel
