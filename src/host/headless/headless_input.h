// THeadlessInput: the headless platform's keyboard and pointer: a table of key states, the
// pointer position, a plain US layout, and simulated input posted as messages.
#pragma once

#include "host/messages.h"
#include "host/platform.h"

#include <cstdint>

namespace kestrel::headless {

class THeadlessWindowPlatform;

/// The platform's double-click distance: a second press farther than this is a new click.
constexpr int HeadlessDoubleClickDistance = 4;

/// Key states are set by tests (SetKeyState, SetShiftState) or by simulated input. Keys go to
/// the focus window; mouse messages to the capture window or else the window given, in that
/// window's client coordinates. Simulated input needs the platform installed: it posts through
/// the host's queue.
class THeadlessInput : public TInputService {
public:
    /// Windows gives focus, capture, coordinates and class styles; Settings the double-click
    /// time. Both must outlive this object.
    THeadlessInput(const THeadlessWindowPlatform& Windows, const TSettingsService& Settings)
        : FWindows(Windows), FSettings(Settings) {}

    std::int16_t GetKeyState(int VirtKey) const override;
    TPoint GetCursorPos() const override { return FCursorPos; }
    /// From the registry ("Control Panel\Mouse", "DoubleClickSpeed") when it is a positive
    /// number, else 500.
    UINT GetDoubleClickTime() const override;
    /// A plain US layout: letters (Ctrl+letter gives 1-26), digits (shifted: the symbols above
    /// them), space, Enter, Escape, Backspace and Tab.
    int CharOfKey(const TMsg& KeyDown) const override;

    /// Sets a key's state without a message (for example a modifier held since earlier).
    void SetKeyState(int VirtKey, bool Down);
    /// Sets Shift, Ctrl and Alt to the given state, without messages.
    void SetShiftState(TShiftState Shift);
    /// Presses or releases a key: WM_KEYDOWN/WM_KEYUP (the WM_SYS variants while Alt is held
    /// without Ctrl) posted to the focus window.
    void PostKeyDown(int VirtKey);
    void PostKeyUp(int VirtKey);
    /// PostKeyDown then PostKeyUp.
    void PostKeyPress(int VirtKey);
    /// A button press: a double-click message when it follows a press of the same button
    /// within the double-click time and distance (and that press was not itself the second
    /// of a pair) and the window takes double clicks.
    void PostMouseDown(HWND Wnd, TMouseButton Button, int X, int Y);
    void PostMouseUp(HWND Wnd, TMouseButton Button, int X, int Y);
    void PostMouseMove(HWND Wnd, int X, int Y);
    /// One wheel turn of Delta (120 per notch, positive away from the user) to the focus window.
    void PostMouseWheel(int Delta);
    /// Moves the pointer without a message.
    void SetCursorPos(TPoint ScreenPos) { FCursorPos = ScreenPos; }

private:
    WPARAM MouseKeys() const;
    void PostMouse(HWND Wnd, UINT Msg, int X, int Y);

    const THeadlessWindowPlatform& FWindows;
    const TSettingsService& FSettings;
    bool FKeys[256] = {};
    TPoint FCursorPos;
    // The last button press, for double-click detection.
    HWND FLastClickWindow = 0;
    TMouseButton FLastClickButton = mbLeft;
    std::int64_t FLastClickTime = 0;
    TPoint FLastClickPos;
    bool FLastClickWasDouble = true; // no press yet: the next one is a first click
};

} // namespace kestrel::headless
