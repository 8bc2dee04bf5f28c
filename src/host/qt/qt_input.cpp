// TQtInput and the key mapping.
#include "host/qt/qt_input.h"

#include <QCursor>
#include <QGuiApplication>
#include <QStyleHints>

namespace kestrel::qt {

int VirtualKeyOf(int QtKey) {
    if ((QtKey >= Qt::Key_A && QtKey <= Qt::Key_Z) || (QtKey >= Qt::Key_0 && QtKey <= Qt::Key_9))
        return QtKey;
    if (QtKey >= Qt::Key_F1 && QtKey <= Qt::Key_F24)
        return VK_F1 + (QtKey - Qt::Key_F1);
    switch (QtKey) {
    case Qt::Key_Backspace:
        return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Shift:
        return VK_SHIFT;
    case Qt::Key_Control:
        return VK_CONTROL;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        return VK_MENU;
    case Qt::Key_Pause:
        return 0x13;
    case Qt::Key_CapsLock:
        return 0x14;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_End:
        return VK_END;
    case Qt::Key_Home:
        return VK_HOME;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_Insert:
        return VK_INSERT;
    case Qt::Key_Delete:
        return VK_DELETE;
    case Qt::Key_Plus:
        return 0xBB;
    case Qt::Key_Comma:
    case Qt::Key_Less:
        return 0xBC;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        return 0xBD;
    case Qt::Key_Period:
    case Qt::Key_Greater:
        return 0xBE;
    case Qt::Key_Slash:
    case Qt::Key_Question:
        return 0xBF;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon:
        return 0xBA;
    case Qt::Key_Equal:
        return 0xBB;
    default:
        return 0;
    }
}

std::int16_t TQtInput::GetKeyState(int VirtKey) const {
    if (VirtKey < 0 || VirtKey > 255)
        return 0;
    return FKeys[static_cast<std::size_t>(VirtKey)] ? static_cast<std::int16_t>(0x8000)
                                                    : std::int16_t{0};
}

TPoint TQtInput::GetCursorPos() const {
    const QPoint P = QCursor::pos();
    return TPoint{P.x(), P.y()};
}

UINT TQtInput::GetDoubleClickTime() const {
    const int T = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    return T > 0 ? static_cast<UINT>(T) : 500;
}

int TQtInput::CharOfKey(const TMsg& KeyDown) const {
    const int Key = static_cast<int>(KeyDown.wParam & 0xFF);
    while (!FChars.empty()) {
        const auto [VirtKey, Char] = FChars.front();
        FChars.pop_front();
        if (VirtKey == Key)
            return Char;
    }
    return 0;
}

void TQtInput::NoteModifiers(Qt::KeyboardModifiers Modifiers) {
    FKeys[VK_SHIFT] = Modifiers.testFlag(Qt::ShiftModifier);
    FKeys[VK_CONTROL] = Modifiers.testFlag(Qt::ControlModifier);
    FKeys[VK_MENU] = Modifiers.testFlag(Qt::AltModifier);
}

void TQtInput::NoteButtons(Qt::MouseButtons Buttons) {
    FKeys[VK_LBUTTON] = Buttons.testFlag(Qt::LeftButton);
    FKeys[VK_RBUTTON] = Buttons.testFlag(Qt::RightButton);
    FKeys[VK_MBUTTON] = Buttons.testFlag(Qt::MiddleButton);
}

void TQtInput::SetKeyState(int VirtKey, bool Down) {
    if (VirtKey >= 0 && VirtKey < 256)
        FKeys[static_cast<std::size_t>(VirtKey)] = Down;
}

void TQtInput::NoteKeyChar(int VirtKey, int Char) {
    if (FChars.size() >= 256)
        FChars.pop_front();
    FChars.emplace_back(VirtKey, Char);
}

} // namespace kestrel::qt
