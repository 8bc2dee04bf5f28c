// TQtInput: the Qt platform's keyboard and pointer state, and Qt's keys as virtual keys.
#pragma once

#include "host/messages.h"
#include "host/platform.h"

#include <Qt>

#include <array>
#include <cstdint>
#include <deque>
#include <utility>

namespace kestrel::qt {

/// The virtual key of a Qt key (Qt::Key_A is 'A', Qt::Key_PageDown VK_NEXT, ...); 0 for keys
/// without one.
int VirtualKeyOf(int QtKey);

/// Key states follow the input events the widgets turn into messages (the message is served at
/// once, so the state is the one of the event being handled). The character of a key-down is
/// the text of the Qt event that posted it.
class TQtInput : public TInputService {
public:
    std::int16_t GetKeyState(int VirtKey) const override;
    /// QCursor::pos.
    TPoint GetCursorPos() const override;
    /// The style's double-click interval.
    UINT GetDoubleClickTime() const override;
    /// The character noted for the key-down (Windows-1252), or 0.
    int CharOfKey(const TMsg& KeyDown) const override;

    /// Shift, Ctrl and Alt as an event carries them, and the mouse buttons held.
    void NoteModifiers(Qt::KeyboardModifiers Modifiers);
    void NoteButtons(Qt::MouseButtons Buttons);
    void SetKeyState(int VirtKey, bool Down);
    /// The character the key-down of VirtKey being posted produces (0: none).
    void NoteKeyChar(int VirtKey, int Char);

private:
    std::array<bool, 256> FKeys{};
    // Characters of the key-downs posted and not yet translated, oldest first.
    mutable std::deque<std::pair<int, int>> FChars;
};

} // namespace kestrel::qt
