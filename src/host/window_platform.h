// The window services as the components call them: free functions over the current
// platform's services (platform.h) and the host's message queue (message_queue.h).
#pragma once

#include "host/graphics_types.h"
#include "host/message_queue.h"
#include "host/messages.h"
#include "host/platform.h"

#include <cstdint>
#include <string>

namespace kestrel {

// Windows.
inline HWND CreateWindowHandle(const TCreateParams& Params, TWindowTarget* Target) {
    return WindowService().CreateWindowHandle(Params, Target);
}
inline void DestroyWindowHandle(HWND Wnd) {
    WindowService().DestroyWindowHandle(Wnd);
}
inline bool IsWindow(HWND Wnd) {
    return WindowService().IsWindow(Wnd);
}
inline void SetWindowBounds(HWND Wnd, int X, int Y, int Width, int Height) {
    WindowService().SetWindowBounds(Wnd, X, Y, Width, Height);
}
inline void ShowWindow(HWND Wnd, bool Show) {
    WindowService().ShowWindow(Wnd, Show);
}
inline bool IsWindowVisible(HWND Wnd) {
    return WindowService().IsWindowVisible(Wnd);
}
inline TRect GetWindowRect(HWND Wnd) {
    return WindowService().GetWindowRect(Wnd);
}
inline TRect GetClientRect(HWND Wnd) {
    return WindowService().GetClientRect(Wnd);
}
inline TPoint ClientToScreen(HWND Wnd, TPoint P) {
    const TPoint O = WindowService().GetClientOrigin(Wnd);
    return TPoint{P.X + O.X, P.Y + O.Y};
}
inline TPoint ScreenToClient(HWND Wnd, TPoint P) {
    const TPoint O = WindowService().GetClientOrigin(Wnd);
    return TPoint{P.X - O.X, P.Y - O.Y};
}
inline void SetWindowCursor(HWND Wnd, TCursor Cursor) {
    WindowService().SetWindowCursor(Wnd, Cursor);
}
inline LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    return WindowService().SendMessage(Wnd, Msg, W, L);
}
/// The default handling of a message no component handled: WM_PAINT validates (an empty
/// paint), WM_ERASEBKGND fills the client area with the window colour, WM_CLOSE destroys the
/// window; every other message gives 0.
LRESULT DefWindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);

// Focus and capture.
inline HWND SetFocus(HWND Wnd) {
    return FocusService().SetFocus(Wnd);
}
inline HWND GetFocus() {
    return FocusService().GetFocus();
}
inline void SetCapture(HWND Wnd) {
    FocusService().SetCapture(Wnd);
}
inline void ReleaseCapture() {
    FocusService().SetCapture(0);
}
inline HWND GetCapture() {
    return FocusService().GetCapture();
}

// The message queue and timers.
inline bool PostMessage(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    return MessageQueue().Post(Wnd, Msg, W, L);
}
inline void PostQuitMessage(int ExitCode) {
    MessageQueue().PostQuit(ExitCode);
}
inline bool PeekMessage(TMsg& Msg, HWND Wnd, UINT FilterMin, UINT FilterMax, bool Remove) {
    return MessageQueue().Peek(Msg, Wnd, FilterMin, FilterMax, Remove);
}
/// Posts the character message that a key-down produces, if any, ahead of every other.
inline bool TranslateMessage(const TMsg& Msg) {
    return MessageQueue().Translate(Msg);
}
inline LRESULT DispatchMessage(const TMsg& Msg) {
    return SendMessage(Msg.hwnd, Msg.message, Msg.wParam, Msg.lParam);
}
inline void SetTimer(HWND Wnd, UINT ID, UINT Elapse) {
    MessageQueue().SetTimer(Wnd, ID, Elapse);
}
inline void KillTimer(HWND Wnd, UINT ID) {
    MessageQueue().KillTimer(Wnd, ID);
}
inline std::int64_t GetTickCount() {
    return QueueService().GetTickCount();
}

// Painting.
inline void InvalidateRect(HWND Wnd, const TRect* Rect, bool Erase) {
    PaintService().InvalidateRect(Wnd, Rect, Erase);
}
inline void ValidateRect(HWND Wnd, const TRect* Rect) {
    PaintService().ValidateRect(Wnd, Rect);
}
inline bool GetUpdateRect(HWND Wnd, TRect& Rect) {
    return PaintService().GetUpdateRect(Wnd, Rect);
}
/// Sends WM_PAINT at once when the window is shown and its update region is not empty.
void UpdateWindow(HWND Wnd);
inline HDC BeginPaint(HWND Wnd, TPaintStruct& Paint) {
    return PaintService().BeginPaint(Wnd, Paint);
}
inline void EndPaint(HWND Wnd, const TPaintStruct& Paint) {
    PaintService().EndPaint(Wnd, Paint);
}
inline HDC GetDC(HWND Wnd) {
    return PaintService().GetDC(Wnd);
}
inline void ReleaseDC(HWND Wnd, HDC DC) {
    PaintService().ReleaseDC(Wnd, DC);
}
inline void ScrollWindowEx(HWND Wnd, int DX, int DY, UINT Flags) {
    PaintService().ScrollWindowEx(Wnd, DX, DY, Flags);
}

// Scroll bars.
inline void SetScrollInfo(HWND Wnd, int Bar, const TScrollInfo& Info, bool Redraw) {
    ScrollBarService().SetScrollInfo(Wnd, Bar, Info, Redraw);
}
inline bool GetScrollInfo(HWND Wnd, int Bar, TScrollInfo& Info) {
    return ScrollBarService().GetScrollInfo(Wnd, Bar, Info);
}
inline void ShowScrollBar(HWND Wnd, int Bar, bool Show) {
    ScrollBarService().ShowScrollBar(Wnd, Bar, Show);
}

// The caret.
inline void CreateCaret(HWND Wnd, HBITMAP Bitmap, int Width, int Height) {
    CaretService().CreateCaret(Wnd, Bitmap, Width, Height);
}
inline void DestroyCaret() {
    CaretService().DestroyCaret();
}
inline void SetCaretPos(int X, int Y) {
    CaretService().SetCaretPos(X, Y);
}
inline void ShowCaret(HWND Wnd) {
    CaretService().ShowCaret(Wnd);
}
inline void HideCaret(HWND Wnd) {
    CaretService().HideCaret(Wnd);
}

// Input state.
inline std::int16_t GetKeyState(int VirtKey) {
    return InputService().GetKeyState(VirtKey);
}
inline TPoint GetCursorPos() {
    return InputService().GetCursorPos();
}
inline UINT GetDoubleClickTime() {
    return InputService().GetDoubleClickTime();
}

inline void MessageBeep(std::uint32_t Type) {
    DialogService().MessageBeep(Type);
}

/// The number of a named clipboard format (clipboard.h): the same name (without case) gives
/// the same number, from 0xC000 up; 0 for an empty name.
UINT RegisterClipboardFormat(const std::string& Name);

} // namespace kestrel
