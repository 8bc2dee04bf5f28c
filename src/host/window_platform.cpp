// The current window platform and the shift-state helpers built on it.
#include "host/window_platform.h"

#include "host/exceptions.h"

namespace kestrel {

namespace {
TWindowPlatform* CurrentPlatform = nullptr;

bool KeyDown(int VirtKey) {
    return (GetKeyState(VirtKey) & 0x8000) != 0;
}
} // namespace

TWindowPlatform* SetWindowPlatform(TWindowPlatform* Platform) {
    TWindowPlatform* Previous = CurrentPlatform;
    CurrentPlatform = Platform;
    return Previous;
}

TWindowPlatform& WindowPlatform() {
    if (CurrentPlatform == nullptr)
        throw EInvalidOperation("No window platform installed");
    return *CurrentPlatform;
}

bool WindowPlatformInstalled() {
    return CurrentPlatform != nullptr;
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
