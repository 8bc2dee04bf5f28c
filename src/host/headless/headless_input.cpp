// THeadlessInput.
#include "host/headless/headless_input.h"

#include "host/headless/window_system.h"
#include "host/sysutils.h"
#include "host/window_platform.h"

#include <cstdlib>

namespace kestrel::headless {

namespace {

// The character a key-down produces on a plain US layout, or 0.
int UsLayoutChar(int VirtKey, bool Shift, bool Ctrl) {
    if (VirtKey >= 'A' && VirtKey <= 'Z') {
        if (Ctrl)
            return VirtKey - 'A' + 1;
        return Shift ? VirtKey : VirtKey - 'A' + 'a';
    }
    if (Ctrl)
        return 0;
    if (VirtKey >= '0' && VirtKey <= '9')
        return Shift ? ")!@#$%^&*("[VirtKey - '0'] : VirtKey;
    switch (VirtKey) {
    case VK_SPACE:
        return ' ';
    case VK_RETURN:
        return 13;
    case VK_ESCAPE:
        return 27;
    case VK_BACK:
        return 8;
    case VK_TAB:
        return 9;
    default:
        return 0;
    }
}

TPoint ToScreen(const THeadlessWindowPlatform& Windows, HWND Wnd, TPoint P) {
    const TPoint Origin = Windows.GetClientOrigin(Wnd);
    return TPoint{P.X + Origin.X, P.Y + Origin.Y};
}

} // namespace

std::int16_t THeadlessInput::GetKeyState(int VirtKey) const {
    if (VirtKey < 0 || VirtKey > 255)
        return 0;
    return FKeys[VirtKey] ? static_cast<std::int16_t>(0x8000) : std::int16_t{0};
}

UINT THeadlessInput::GetDoubleClickTime() const {
    TRegValue Value;
    if (FSettings.RegQueryValue(HKEY_CURRENT_USER, "Control Panel\\Mouse", "DoubleClickSpeed",
                                Value)) {
        if (Value.Kind == TRegValue::rdInteger && Value.Number > 0)
            return static_cast<UINT>(Value.Number);
        const std::int64_t N = StrToIntDef(Value.Text, 0);
        if (Value.Kind == TRegValue::rdString && N > 0)
            return static_cast<UINT>(N);
    }
    return 500;
}

int THeadlessInput::CharOfKey(const TMsg& KeyDown) const {
    return UsLayoutChar(static_cast<int>(KeyDown.wParam & 0xFF), FKeys[VK_SHIFT],
                        FKeys[VK_CONTROL]);
}

void THeadlessInput::SetKeyState(int VirtKey, bool Down) {
    if (VirtKey >= 0 && VirtKey < 256)
        FKeys[VirtKey] = Down;
}

void THeadlessInput::SetShiftState(TShiftState Shift) {
    FKeys[VK_SHIFT] = Shift.Contains(ssShift);
    FKeys[VK_CONTROL] = Shift.Contains(ssCtrl);
    FKeys[VK_MENU] = Shift.Contains(ssAlt);
}

void THeadlessInput::PostKeyDown(int VirtKey) {
    SetKeyState(VirtKey, true);
    const HWND Focus = FWindows.GetFocus();
    if (Focus == 0)
        return;
    const bool System = FKeys[VK_MENU] && !FKeys[VK_CONTROL];
    PostMessage(Focus, System ? WM_SYSKEYDOWN : WM_KEYDOWN, static_cast<WPARAM>(VirtKey),
                System ? LPARAM{1} << 29 : 0);
}

void THeadlessInput::PostKeyUp(int VirtKey) {
    SetKeyState(VirtKey, false);
    const HWND Focus = FWindows.GetFocus();
    if (Focus == 0)
        return;
    const bool System = FKeys[VK_MENU] && !FKeys[VK_CONTROL];
    PostMessage(Focus, System ? WM_SYSKEYUP : WM_KEYUP, static_cast<WPARAM>(VirtKey),
                System ? LPARAM{1} << 29 : 0);
}

void THeadlessInput::PostKeyPress(int VirtKey) {
    PostKeyDown(VirtKey);
    PostKeyUp(VirtKey);
}

WPARAM THeadlessInput::MouseKeys() const {
    WPARAM Keys = 0;
    if (FKeys[VK_LBUTTON])
        Keys |= MK_LBUTTON;
    if (FKeys[VK_RBUTTON])
        Keys |= MK_RBUTTON;
    if (FKeys[VK_MBUTTON])
        Keys |= MK_MBUTTON;
    if (FKeys[VK_SHIFT])
        Keys |= MK_SHIFT;
    if (FKeys[VK_CONTROL])
        Keys |= MK_CONTROL;
    return Keys;
}

void THeadlessInput::PostMouse(HWND Wnd, UINT Msg, int X, int Y) {
    FCursorPos = ToScreen(FWindows, Wnd, TPoint{X, Y});
    const HWND Capture = FWindows.GetCapture();
    const HWND Target = Capture != 0 ? Capture : Wnd;
    const TPoint Origin = FWindows.GetClientOrigin(Target);
    const TPoint P{FCursorPos.X - Origin.X, FCursorPos.Y - Origin.Y};
    PostMessage(Target, Msg, MouseKeys(), MAKELPARAM(P.X, P.Y));
}

void THeadlessInput::PostMouseDown(HWND Wnd, TMouseButton Button, int X, int Y) {
    static constexpr int Keys[] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};
    static constexpr UINT Down[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
    static constexpr UINT Double[] = {WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK};
    const TPoint Screen = ToScreen(FWindows, Wnd, TPoint{X, Y});
    const bool Near = std::abs(Screen.X - FLastClickPos.X) <= HeadlessDoubleClickDistance &&
                      std::abs(Screen.Y - FLastClickPos.Y) <= HeadlessDoubleClickDistance;
    const HWND Capture = FWindows.GetCapture();
    const HWND Target = Capture != 0 ? Capture : Wnd;
    const std::int64_t Now = GetTickCount();
    const bool IsDouble = !FLastClickWasDouble && FLastClickWindow == Target &&
                          FLastClickButton == Button &&
                          Now - FLastClickTime <= GetDoubleClickTime() && Near &&
                          (FWindows.GetWindowClassStyle(Target) & CS_DBLCLKS) != 0;
    FLastClickWindow = Target;
    FLastClickButton = Button;
    FLastClickTime = Now;
    FLastClickPos = Screen;
    FLastClickWasDouble = IsDouble;
    FKeys[Keys[Button]] = true;
    PostMouse(Wnd, IsDouble ? Double[Button] : Down[Button], X, Y);
}

void THeadlessInput::PostMouseUp(HWND Wnd, TMouseButton Button, int X, int Y) {
    static constexpr int Keys[] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};
    static constexpr UINT Up[] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
    FKeys[Keys[Button]] = false;
    PostMouse(Wnd, Up[Button], X, Y);
}

void THeadlessInput::PostMouseMove(HWND Wnd, int X, int Y) {
    PostMouse(Wnd, WM_MOUSEMOVE, X, Y);
}

void THeadlessInput::PostMouseWheel(int Delta) {
    const HWND Focus = FWindows.GetFocus();
    if (Focus == 0)
        return;
    const WPARAM W = (static_cast<WPARAM>(static_cast<std::uint16_t>(Delta)) << 16) | MouseKeys();
    PostMessage(Focus, WM_MOUSEWHEEL, W, MAKELPARAM(FCursorPos.X, FCursorPos.Y));
}

} // namespace kestrel::headless
