// TWindowPlatform: the window services a platform provides (windows, messages, painting, scroll
// bars, caret, timers, capture, focus, keys, cursors, beeps, registry, clipboard formats), and
// the free functions through which the components call them.
#pragma once

#include "host/device_context.h"
#include "host/global_memory.h"
#include "host/graphics_types.h"
#include "host/message_dlg.h"
#include "host/messages.h"

#include <cstdint>
#include <string>

namespace kestrel {

/// Receives the messages of a window: the platform calls it for every message it sends or
/// dispatches to the window.
class TWindowTarget {
public:
    virtual ~TWindowTarget() = default;
    /// Told the new window's handle before the window receives its first message.
    virtual void HandleCreated(HWND Wnd) = 0;
    virtual void WindowMessage(TMessage& Message) = 0;
};

/// Window class style: the window receives double-click messages.
constexpr std::uint32_t CS_DBLCLKS = 0x0008;

/// What a window is made from (the framework's CreateParams).
struct TCreateParams {
    std::string Caption;
    std::uint32_t Style = 0;
    std::uint32_t ExStyle = 0;
    std::uint32_t ClassStyle = 0; ///< CS_DBLCLKS
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
    HWND WndParent = 0;
};

/// Range, page and position of a standard scroll bar (fields selected by Mask).
struct TScrollInfo {
    UINT Mask = 0;
    std::int64_t Min = 0;
    std::int64_t Max = 0;
    std::int64_t Page = 0;
    std::int64_t Pos = 0;
    std::int64_t TrackPos = 0;
};

/// What BeginPaint hands out: the paint device context and the rectangle to paint.
struct TPaintStruct {
    HDC hdc = nullptr;
    bool fErase = false;
    TRect rcPaint;
};

/// Mouse cursor shapes.
using TCursor = std::int16_t;
enum : TCursor {
    crDefault = 0,
    crNone = -1,
    crArrow = -2,
    crCross = -3,
    crIBeam = -4,
    crSizeWE = -9,
    crHourGlass = -11,
    crDrag = -12,
    crNoDrop = -13,
    crHSplit = -14,
    crVSplit = -15,
};

/// Registry roots.
using HKEY = std::uintptr_t;
enum : HKEY { HKEY_CLASSES_ROOT = 0x80000000, HKEY_CURRENT_USER = 0x80000001 };

/// A registry value: a string or a 32-bit integer.
struct TRegValue {
    enum TKind : std::uint8_t { rdString, rdInteger };
    TKind Kind = rdString;
    std::string Text;
    std::int64_t Number = 0;
};

/// The window services of a platform. One platform is current at a time (SetWindowPlatform);
/// the headless platform serves tests and tools, a Qt platform real windows.
class TWindowPlatform {
public:
    virtual ~TWindowPlatform() = default;

    // Windows. CreateWindowHandle tells Target the handle, then sends WM_CREATE and WM_SIZE; a
    // child's position is relative to its parent's client area, a top-level window's to the
    // screen. Destroying a window destroys its children first (each gets WM_DESTROY).
    virtual HWND CreateWindowHandle(const TCreateParams& Params, TWindowTarget* Target) = 0;
    virtual void DestroyWindowHandle(HWND Wnd) = 0;
    virtual bool IsWindow(HWND Wnd) const = 0;
    /// Moves and sizes the window (outer size); sends WM_SIZE when the client size changes.
    virtual void SetWindowBounds(HWND Wnd, int X, int Y, int Width, int Height) = 0;
    virtual void ShowWindow(HWND Wnd, bool Show) = 0;
    virtual bool IsWindowVisible(HWND Wnd) const = 0;
    virtual TRect GetWindowRect(HWND Wnd) const = 0; ///< in screen coordinates
    virtual TRect GetClientRect(HWND Wnd) const = 0; ///< (0, 0, client width, height)
    virtual TPoint ClientToScreen(HWND Wnd, TPoint P) const = 0;
    virtual TPoint ScreenToClient(HWND Wnd, TPoint P) const = 0;

    // Messages.
    virtual LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) = 0;
    virtual bool PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) = 0;
    virtual void PostQuitMessage(int ExitCode) = 0;
    /// Takes (with Remove) or reads the next message of the queue: posted messages first, then
    /// paint requests, then due timers. Wnd 0 and a 0..0 range accept every message.
    virtual bool PeekMessage(TMsg& Msg, HWND Wnd, UINT FilterMin, UINT FilterMax, bool Remove) = 0;
    /// Posts the character message that a key-down produces, if any.
    virtual bool TranslateMessage(const TMsg& Msg) = 0;
    virtual LRESULT DispatchMessage(const TMsg& Msg) = 0;
    /// The default handling of a message no component handled.
    virtual LRESULT DefWindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) = 0;

    // Painting.
    virtual void InvalidateRect(HWND Wnd, const TRect* Rect, bool Erase) = 0;
    virtual void ValidateRect(HWND Wnd, const TRect* Rect) = 0;
    /// The bounding box of the update region; false when nothing waits to be painted.
    virtual bool GetUpdateRect(HWND Wnd, TRect& Rect) const = 0;
    /// Sends WM_PAINT at once when the update region is not empty.
    virtual void UpdateWindow(HWND Wnd) = 0;
    /// Sends WM_ERASEBKGND when an erase was asked for, validates the region and gives the DC.
    virtual HDC BeginPaint(HWND Wnd, TPaintStruct& Paint) = 0;
    virtual void EndPaint(HWND Wnd, const TPaintStruct& Paint) = 0;
    /// A device context on the window's client area, outside painting.
    virtual HDC GetDC(HWND Wnd) = 0;
    virtual void ReleaseDC(HWND Wnd, HDC DC) = 0;
    /// Moves the client contents by (DX, DY); the uncovered part is invalidated with
    /// SW_INVALIDATE (and erased with SW_ERASE).
    virtual void ScrollWindowEx(HWND Wnd, int DX, int DY, UINT Flags) = 0;

    // The two standard scroll bars (SB_HORZ, SB_VERT).
    virtual void SetScrollInfo(HWND Wnd, int Bar, const TScrollInfo& Info, bool Redraw) = 0;
    virtual bool GetScrollInfo(HWND Wnd, int Bar, TScrollInfo& Info) const = 0;
    /// Shows or hides a bar; the client area shrinks or grows (WM_SIZE) accordingly.
    virtual void ShowScrollBar(HWND Wnd, int Bar, bool Show) = 0;

    // The caret: one per application, owned by the window that created it.
    virtual void CreateCaret(HWND Wnd, HBITMAP Bitmap, int Width, int Height) = 0;
    virtual void DestroyCaret() = 0;
    virtual void SetCaretPos(int X, int Y) = 0;
    virtual void ShowCaret(HWND Wnd) = 0;
    virtual void HideCaret(HWND Wnd) = 0;

    // Timers: WM_TIMER with the identifier, every Elapse milliseconds.
    virtual void SetTimer(HWND Wnd, UINT ID, UINT Elapse) = 0;
    virtual void KillTimer(HWND Wnd, UINT ID) = 0;

    // Focus and mouse capture.
    /// Moves the focus (WM_KILLFOCUS to the old window, WM_SETFOCUS to the new); the old one.
    virtual HWND SetFocus(HWND Wnd) = 0;
    virtual HWND GetFocus() const = 0;
    virtual void SetCapture(HWND Wnd) = 0;
    virtual void ReleaseCapture() = 0;
    virtual HWND GetCapture() const = 0;

    // Input state, cursors, beeps, time.
    /// The state of a key: bit 15 set while it is down.
    virtual std::int16_t GetKeyState(int VirtKey) const = 0;
    virtual TPoint GetCursorPos() const = 0;
    /// The shape shown while the pointer is over the window.
    virtual void SetWindowCursor(HWND Wnd, TCursor Cursor) = 0;
    virtual void MessageBeep(std::uint32_t Type) = 0;
    /// Milliseconds of the platform clock.
    virtual std::int64_t GetTickCount() const = 0;
    /// The platform's own double-click interval in milliseconds.
    virtual UINT GetDoubleClickTime() const = 0;

    // Registry of the current user (paths use '\' and compare without case).
    virtual bool RegKeyExists(HKEY Root, const std::string& Path) const = 0;
    virtual bool RegCreateKey(HKEY Root, const std::string& Path) = 0;
    virtual bool RegQueryValue(HKEY Root, const std::string& Path, const std::string& Name,
                               TRegValue& Value) const = 0;
    virtual bool RegSetValue(HKEY Root, const std::string& Path, const std::string& Name,
                             const TRegValue& Value) = 0;
    virtual bool RegDeleteValue(HKEY Root, const std::string& Path, const std::string& Name) = 0;

    /// The number of a named clipboard format: the same name (without case) gives the same
    /// number, from 0xC000 up; 0 for an empty name.
    virtual UINT RegisterClipboardFormat(const std::string& Name) = 0;

    // The clipboard: opened by one owner window (0: the application) at a time; the data of a
    // format is a global memory block that the clipboard owns once it has taken it.
    /// False when another owner holds it open (or Owner is not a window).
    virtual bool OpenClipboard(HWND Owner) = 0;
    /// False when it was not open.
    virtual bool CloseClipboard() = 0;
    /// Frees every format's data; false when the clipboard is not open.
    virtual bool EmptyClipboard() = 0;
    /// Puts Mem under Format (replacing and freeing what was there) and takes ownership of it;
    /// returns Mem, or nullptr when refused (clipboard not open, no block, a block it already
    /// holds under another format), in which case the caller still owns Mem.
    virtual HGLOBAL SetClipboardData(UINT Format, HGLOBAL Mem) = 0;
    /// The block under Format, still owned by the clipboard; nullptr when the clipboard is not
    /// open or the format is absent.
    virtual HGLOBAL GetClipboardData(UINT Format) = 0;
    virtual bool IsClipboardFormatAvailable(UINT Format) const = 0;
    /// The format after Format in the order they were put (0 starts; 0 at the end or when the
    /// clipboard is not open).
    virtual UINT EnumClipboardFormats(UINT Format) const = 0;
    /// Makes Viewer the head of the clipboard-viewer chain and returns the previous head (the
    /// window Viewer passes notifications on to); Viewer gets WM_DRAWCLIPBOARD at once. Every
    /// close of the clipboard after a change sends WM_DRAWCLIPBOARD to the head.
    virtual HWND SetClipboardViewer(HWND Viewer) = 0;
    /// Takes Remove out of the chain, Next being the window that followed it: the head gets
    /// WM_CHANGECBCHAIN (WParam Remove, LParam Next) unless Remove is the head itself.
    virtual bool ChangeClipboardChain(HWND Remove, HWND Next) = 0;
    virtual HWND GetClipboardViewer() const = 0;

    /// Shows a modal message box and returns the button chosen (mrOk, mrYes, ...).
    virtual int MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                           std::int64_t HelpCtx) = 0;
};

/// Makes Platform current (nullptr: none) and returns the previous one; the caller keeps
/// ownership.
TWindowPlatform* SetWindowPlatform(TWindowPlatform* Platform);
/// The current platform; EInvalidOperation "No window platform installed" when there is none.
TWindowPlatform& WindowPlatform();
bool WindowPlatformInstalled();

// The services as the components call them.
inline LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    return WindowPlatform().SendMessage(Wnd, Msg, W, L);
}
inline bool PostMessage(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    return WindowPlatform().PostMessage(Wnd, Msg, W, L);
}
inline void PostQuitMessage(int ExitCode) {
    WindowPlatform().PostQuitMessage(ExitCode);
}
inline bool PeekMessage(TMsg& Msg, HWND Wnd, UINT FilterMin, UINT FilterMax, bool Remove) {
    return WindowPlatform().PeekMessage(Msg, Wnd, FilterMin, FilterMax, Remove);
}
inline bool TranslateMessage(const TMsg& Msg) {
    return WindowPlatform().TranslateMessage(Msg);
}
inline LRESULT DispatchMessage(const TMsg& Msg) {
    return WindowPlatform().DispatchMessage(Msg);
}
inline void InvalidateRect(HWND Wnd, const TRect* Rect, bool Erase) {
    WindowPlatform().InvalidateRect(Wnd, Rect, Erase);
}
inline void UpdateWindow(HWND Wnd) {
    WindowPlatform().UpdateWindow(Wnd);
}
inline void ScrollWindowEx(HWND Wnd, int DX, int DY, UINT Flags) {
    WindowPlatform().ScrollWindowEx(Wnd, DX, DY, Flags);
}
inline void SetScrollInfo(HWND Wnd, int Bar, const TScrollInfo& Info, bool Redraw) {
    WindowPlatform().SetScrollInfo(Wnd, Bar, Info, Redraw);
}
inline void ShowScrollBar(HWND Wnd, int Bar, bool Show) {
    WindowPlatform().ShowScrollBar(Wnd, Bar, Show);
}
inline void CreateCaret(HWND Wnd, HBITMAP Bitmap, int Width, int Height) {
    WindowPlatform().CreateCaret(Wnd, Bitmap, Width, Height);
}
inline void DestroyCaret() {
    WindowPlatform().DestroyCaret();
}
inline void SetCaretPos(int X, int Y) {
    WindowPlatform().SetCaretPos(X, Y);
}
inline void ShowCaret(HWND Wnd) {
    WindowPlatform().ShowCaret(Wnd);
}
inline void HideCaret(HWND Wnd) {
    WindowPlatform().HideCaret(Wnd);
}
inline void SetTimer(HWND Wnd, UINT ID, UINT Elapse) {
    WindowPlatform().SetTimer(Wnd, ID, Elapse);
}
inline void KillTimer(HWND Wnd, UINT ID) {
    WindowPlatform().KillTimer(Wnd, ID);
}
inline HWND GetFocus() {
    return WindowPlatform().GetFocus();
}
inline void SetCapture(HWND Wnd) {
    WindowPlatform().SetCapture(Wnd);
}
inline void ReleaseCapture() {
    WindowPlatform().ReleaseCapture();
}
inline HWND GetCapture() {
    return WindowPlatform().GetCapture();
}
inline std::int16_t GetKeyState(int VirtKey) {
    return WindowPlatform().GetKeyState(VirtKey);
}
inline TPoint GetCursorPos() {
    return WindowPlatform().GetCursorPos();
}
inline void MessageBeep(std::uint32_t Type) {
    WindowPlatform().MessageBeep(Type);
}
inline std::int64_t GetTickCount() {
    return WindowPlatform().GetTickCount();
}
inline UINT RegisterClipboardFormat(const std::string& Name) {
    return WindowPlatform().RegisterClipboardFormat(Name);
}

} // namespace kestrel
