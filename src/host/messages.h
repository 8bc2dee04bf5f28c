// Window message records, message and key constants, and the helpers that pack their parameters.
#pragma once

#include "host/graphics_types.h"
#include "host/set.h"

#include <cstdint>

namespace kestrel {

/// A window handle; 0 is no window.
using HWND = std::uintptr_t;
using UINT = std::uint32_t;
using WPARAM = std::uint64_t;
using LPARAM = std::int64_t;
using LRESULT = std::int64_t;

// Window messages (the usual values).
enum : UINT {
    WM_NULL = 0x0000,
    WM_CREATE = 0x0001,
    WM_DESTROY = 0x0002,
    WM_MOVE = 0x0003,
    WM_SIZE = 0x0005,
    WM_SETFOCUS = 0x0007,
    WM_KILLFOCUS = 0x0008,
    WM_ENABLE = 0x000A,
    WM_SETTEXT = 0x000C,
    WM_GETTEXT = 0x000D,
    WM_GETTEXTLENGTH = 0x000E,
    WM_PAINT = 0x000F,
    WM_CLOSE = 0x0010,
    WM_QUIT = 0x0012,
    WM_ERASEBKGND = 0x0014,
    WM_SHOWWINDOW = 0x0018,
    WM_WININICHANGE = 0x001A,
    WM_SETCURSOR = 0x0020,
    WM_GETDLGCODE = 0x0087,
    WM_NCLBUTTONDOWN = 0x00A1,
    WM_NCMBUTTONDBLCLK = 0x00A9,
    WM_KEYDOWN = 0x0100,
    WM_KEYUP = 0x0101,
    WM_CHAR = 0x0102,
    WM_DEADCHAR = 0x0103,
    WM_SYSKEYDOWN = 0x0104,
    WM_SYSKEYUP = 0x0105,
    WM_SYSCHAR = 0x0106,
    WM_SYSDEADCHAR = 0x0107,
    WM_KEYLAST = 0x0108,
    WM_TIMER = 0x0113,
    WM_HSCROLL = 0x0114,
    WM_VSCROLL = 0x0115,
    WM_MOUSEMOVE = 0x0200,
    WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONUP = 0x0202,
    WM_LBUTTONDBLCLK = 0x0203,
    WM_RBUTTONDOWN = 0x0204,
    WM_RBUTTONUP = 0x0205,
    WM_RBUTTONDBLCLK = 0x0206,
    WM_MBUTTONDOWN = 0x0207,
    WM_MBUTTONUP = 0x0208,
    WM_MBUTTONDBLCLK = 0x0209,
    WM_MOUSEWHEEL = 0x020A,
    WM_CUT = 0x0300,
    WM_COPY = 0x0301,
    WM_PASTE = 0x0302,
    WM_CLEAR = 0x0303,
    WM_UNDO = 0x0304,
    WM_DRAWCLIPBOARD = 0x0308,
    WM_CHANGECBCHAIN = 0x030D,
    WM_USER = 0x0400,
    // Messages of the component framework itself.
    CM_BASE = 0xB000,
    CM_ENTER = CM_BASE + 10,
    CM_EXIT = CM_BASE + 11,
    CM_WANTSPECIALKEY = CM_BASE + 14,
};

// Scroll bar identifiers and scroll codes.
enum : int { SB_HORZ = 0, SB_VERT = 1, SB_CTL = 2, SB_BOTH = 3 };
enum : std::uint16_t {
    SB_LINEUP = 0,
    SB_LINEDOWN = 1,
    SB_PAGEUP = 2,
    SB_PAGEDOWN = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
    SB_TOP = 6,
    SB_BOTTOM = 7,
    SB_ENDSCROLL = 8,
};
enum : UINT {
    SIF_RANGE = 0x01,
    SIF_PAGE = 0x02,
    SIF_POS = 0x04,
    SIF_DISABLENOSCROLL = 0x08,
    SIF_TRACKPOS = 0x10,
    SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS,
};

// Virtual keys.
enum : std::uint16_t {
    VK_LBUTTON = 0x01,
    VK_RBUTTON = 0x02,
    VK_CANCEL = 0x03,
    VK_MBUTTON = 0x04,
    VK_BACK = 0x08,
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_SHIFT = 0x10,
    VK_CONTROL = 0x11,
    VK_MENU = 0x12,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_PRIOR = 0x21,
    VK_NEXT = 0x22,
    VK_END = 0x23,
    VK_HOME = 0x24,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_INSERT = 0x2D,
    VK_DELETE = 0x2E,
    VK_F1 = 0x70,
    VK_F12 = 0x7B,
};

// Answers to WM_GETDLGCODE.
enum : LRESULT {
    DLGC_WANTARROWS = 0x0001,
    DLGC_WANTTAB = 0x0002,
    DLGC_WANTALLKEYS = 0x0004,
    DLGC_HASSETSEL = 0x0008,
    DLGC_WANTCHARS = 0x0080,
};

// Key and button flags of mouse messages.
enum : WPARAM {
    MK_LBUTTON = 0x0001,
    MK_RBUTTON = 0x0002,
    MK_SHIFT = 0x0004,
    MK_CONTROL = 0x0008,
    MK_MBUTTON = 0x0010,
};

// Window styles.
enum : std::uint32_t {
    WS_OVERLAPPED = 0x00000000,
    WS_POPUP = 0x80000000,
    WS_CHILD = 0x40000000,
    WS_VISIBLE = 0x10000000,
    WS_DISABLED = 0x08000000,
    WS_CLIPSIBLINGS = 0x04000000,
    WS_CLIPCHILDREN = 0x02000000,
    WS_BORDER = 0x00800000,
    WS_VSCROLL = 0x00200000,
    WS_HSCROLL = 0x00100000,
    WS_THICKFRAME = 0x00040000,
    WS_TABSTOP = 0x00010000,
};

// Beep types of MessageBeep.
enum : std::uint32_t {
    MB_OK = 0x00000000,
    MB_ICONHAND = 0x00000010,
    MB_ICONQUESTION = 0x00000020,
    MB_ICONEXCLAMATION = 0x00000030,
    MB_ICONASTERISK = 0x00000040,
    MB_SIMPLE = 0xFFFFFFFF,
};

// Dialog results.
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

// Flags of ScrollWindowEx.
enum : UINT { SW_SCROLLCHILDREN = 0x0001, SW_INVALIDATE = 0x0002, SW_ERASE = 0x0004 };

constexpr std::uint16_t LOWORD(std::uint64_t V) {
    return static_cast<std::uint16_t>(V & 0xFFFF);
}
constexpr std::uint16_t HIWORD(std::uint64_t V) {
    return static_cast<std::uint16_t>((V >> 16) & 0xFFFF);
}
/// Packs two 16-bit values (x low, y high), as mouse and size messages carry them.
constexpr LPARAM MAKELPARAM(std::int64_t Low, std::int64_t High) {
    return static_cast<LPARAM>(static_cast<std::uint32_t>(
        (static_cast<std::uint32_t>(Low) & 0xFFFF) | (static_cast<std::uint32_t>(High) << 16)));
}
constexpr int GET_X_LPARAM(LPARAM L) {
    return static_cast<std::int16_t>(LOWORD(L));
}
constexpr int GET_Y_LPARAM(LPARAM L) {
    return static_cast<std::int16_t>(HIWORD(L));
}
constexpr int GET_WHEEL_DELTA_WPARAM(WPARAM W) {
    return static_cast<std::int16_t>(HIWORD(W));
}
constexpr WPARAM GET_KEYSTATE_WPARAM(WPARAM W) {
    return LOWORD(W);
}

/// The parameter of WM_HSCROLL and WM_VSCROLL: the scroll code in the low 16 bits and the thumb
/// position as a signed 32-bit value in the high 32 bits (a 16-bit position would overflow on
/// bars with more than 32767 units).
constexpr WPARAM MakeScrollWParam(std::uint16_t Code, std::int32_t Pos) {
    return (static_cast<WPARAM>(static_cast<std::uint32_t>(Pos)) << 32) | Code;
}

/// A message as a window receives it: Result is the answer its handler gives.
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

/// A message as the queue holds it.
struct TMsg {
    HWND hwnd = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::int64_t time = 0; ///< the platform clock when it was posted, milliseconds
    TPoint pt;             ///< the pointer's screen position when it was posted
};

// Typed views of the messages the components handle: each reads its fields from a TMessage.

/// WM_KEYDOWN, WM_KEYUP, WM_CHAR and their system variants.
struct TWMKey {
    explicit TWMKey(TMessage& M) : Msg(M) {}
    std::uint16_t CharCode() const { return LOWORD(Msg.WParam); }
    std::int64_t KeyData() const { return Msg.LParam; }
    TMessage& Msg;
};

/// The client mouse messages: button flags in WParam, client position in LParam.
struct TWMMouse {
    explicit TWMMouse(TMessage& M) : Msg(M) {}
    WPARAM Keys() const { return Msg.WParam; }
    int XPos() const { return GET_X_LPARAM(Msg.LParam); }
    int YPos() const { return GET_Y_LPARAM(Msg.LParam); }
    TMessage& Msg;
};

/// WM_MOUSEWHEEL: signed delta in the high word of WParam, screen position in LParam.
struct TWMMouseWheel {
    explicit TWMMouseWheel(TMessage& M) : Msg(M) {}
    int WheelDelta() const { return GET_WHEEL_DELTA_WPARAM(Msg.WParam); }
    WPARAM Keys() const { return GET_KEYSTATE_WPARAM(Msg.WParam); }
    int XPos() const { return GET_X_LPARAM(Msg.LParam); }
    int YPos() const { return GET_Y_LPARAM(Msg.LParam); }
    TMessage& Msg;
};

/// WM_HSCROLL and WM_VSCROLL (see MakeScrollWParam); LParam is the sending scroll-bar control,
/// 0 for the window's own bar.
struct TWMScroll {
    explicit TWMScroll(TMessage& M) : Msg(M) {}
    std::uint16_t ScrollCode() const { return LOWORD(Msg.WParam); }
    std::int64_t Pos() const { return static_cast<std::int32_t>(Msg.WParam >> 32); }
    HWND ScrollBar() const { return static_cast<HWND>(Msg.LParam); }
    TMessage& Msg;
};

/// WM_SIZE: the new client size.
struct TWMSize {
    explicit TWMSize(TMessage& M) : Msg(M) {}
    WPARAM SizeType() const { return Msg.WParam; }
    int Width() const { return LOWORD(static_cast<std::uint64_t>(Msg.LParam)); }
    int Height() const { return HIWORD(static_cast<std::uint64_t>(Msg.LParam)); }
    TMessage& Msg;
};

/// WM_TIMER: the timer identifier.
struct TWMTimer {
    explicit TWMTimer(TMessage& M) : Msg(M) {}
    UINT TimerID() const { return static_cast<UINT>(Msg.WParam); }
    TMessage& Msg;
};

// Shift state: the modifier keys and mouse buttons held during an input event.
enum TShiftStateFlag : std::uint8_t { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateFlag>;

enum TMouseButton : std::uint8_t { mbLeft, mbRight, mbMiddle };

/// The shift state of a mouse message's button flags (Alt read from the keyboard state).
TShiftState KeysToShiftState(WPARAM Keys);
/// The shift state of the keyboard now (Shift, Alt, Ctrl and the mouse buttons).
TShiftState GetShiftState();

} // namespace kestrel
