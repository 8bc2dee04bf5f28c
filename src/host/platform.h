// The platform seam: the services a platform implements, one small interface each, and the
// scope that installs a platform's services and holds the host's own state for them.
#pragma once

#include "host/device_context.h"
#include "host/graphics_types.h"
#include "host/message_dlg.h"
#include "host/messages.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrel {

class TFindDialog;
class TMessageQueue;
class TClipboardHost;

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

/// The bytes of one clipboard format.
struct TClipboardItem {
    UINT Format = 0;
    std::string Bytes;
};

/// Windows: making, placing, showing and destroying them, and delivering their messages.
class TWindowService {
public:
    virtual ~TWindowService() = default;
    /// Tells Target the new handle, then sends WM_CREATE and WM_SIZE. A child's position is
    /// relative to its parent's client area, a top-level window's to the screen.
    virtual HWND CreateWindowHandle(const TCreateParams& Params, TWindowTarget* Target) = 0;
    /// Drops the focus (WM_KILLFOCUS) if the window has it, sends WM_DESTROY, destroys the
    /// children the same way, releases capture and caret, and calls NotifyWindowDestroyed.
    virtual void DestroyWindowHandle(HWND Wnd) = 0;
    virtual bool IsWindow(HWND Wnd) const = 0;
    /// Moves and sizes the window (outer size); sends WM_SIZE when the client size changes.
    virtual void SetWindowBounds(HWND Wnd, int X, int Y, int Width, int Height) = 0;
    virtual void ShowWindow(HWND Wnd, bool Show) = 0;
    /// Whether the window and all its parents are shown.
    virtual bool IsWindowVisible(HWND Wnd) const = 0;
    virtual TRect GetWindowRect(HWND Wnd) const = 0; ///< in screen coordinates
    virtual TRect GetClientRect(HWND Wnd) const = 0; ///< (0, 0, client width, height)
    /// The top-left corner of the client area in screen coordinates.
    virtual TPoint GetClientOrigin(HWND Wnd) const = 0;
    /// The shape shown while the pointer is over the window.
    virtual void SetWindowCursor(HWND Wnd, TCursor Cursor) = 0;
    /// Calls the window's target at once (DefWindowProc for a window without one); 0 for a
    /// handle that is not a window.
    virtual LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) = 0;
};

/// Where keyboard and mouse input go: the focus window and the mouse capture.
class TFocusService {
public:
    virtual ~TFocusService() = default;
    /// Moves the focus (WM_KILLFOCUS to the old window, then WM_SETFOCUS to the new one);
    /// returns the old one. 0 takes the focus from every window.
    virtual HWND SetFocus(HWND Wnd) = 0;
    virtual HWND GetFocus() const = 0;
    /// Sends every mouse message to Wnd, in its client coordinates; 0 releases the capture.
    virtual void SetCapture(HWND Wnd) = 0;
    virtual HWND GetCapture() const = 0;
};

/// Painting: the update region of each window, the paint brackets and device contexts.
class TPaintService {
public:
    virtual ~TPaintService() = default;
    /// Adds Rect (the whole client area for nullptr) to the update region.
    virtual void InvalidateRect(HWND Wnd, const TRect* Rect, bool Erase) = 0;
    virtual void ValidateRect(HWND Wnd, const TRect* Rect) = 0;
    /// The bounding box of the update region; false when nothing waits to be painted.
    virtual bool GetUpdateRect(HWND Wnd, TRect& Rect) const = 0;
    /// A shown window with something to paint (Wnd itself, or any window when Wnd is 0), or
    /// 0: the host queue gives it WM_PAINT after the posted messages. A platform whose own
    /// paint events send WM_PAINT may answer 0.
    virtual HWND NextPaintRequest(HWND Wnd) const = 0;
    /// Sends WM_ERASEBKGND when an erase was asked for, validates the region and gives the DC.
    virtual HDC BeginPaint(HWND Wnd, TPaintStruct& Paint) = 0;
    virtual void EndPaint(HWND Wnd, const TPaintStruct& Paint) = 0;
    /// A device context on the window's client area, outside painting.
    virtual HDC GetDC(HWND Wnd) = 0;
    virtual void ReleaseDC(HWND Wnd, HDC DC) = 0;
    /// Moves the client contents by (DX, DY); the uncovered part is invalidated with
    /// SW_INVALIDATE (and erased with SW_ERASE).
    virtual void ScrollWindowEx(HWND Wnd, int DX, int DY, UINT Flags) = 0;
};

/// The two standard scroll bars of a window (SB_HORZ, SB_VERT).
class TScrollBarService {
public:
    virtual ~TScrollBarService() = default;
    /// Keeps the position within [Min, Max - Page + 1].
    virtual void SetScrollInfo(HWND Wnd, int Bar, const TScrollInfo& Info, bool Redraw) = 0;
    virtual bool GetScrollInfo(HWND Wnd, int Bar, TScrollInfo& Info) const = 0;
    /// Shows or hides a bar (or SB_BOTH); the client area shrinks or grows (WM_SIZE).
    virtual void ShowScrollBar(HWND Wnd, int Bar, bool Show) = 0;
};

/// The caret: one for the application, owned by the window that created it, with a hide
/// count (a new caret is hidden; painting hides it for the time of the paint).
class TCaretService {
public:
    virtual ~TCaretService() = default;
    /// Width 0 means the platform's thin caret.
    virtual void CreateCaret(HWND Wnd, HBITMAP Bitmap, int Width, int Height) = 0;
    virtual void DestroyCaret() = 0;
    virtual void SetCaretPos(int X, int Y) = 0;
    virtual void ShowCaret(HWND Wnd) = 0;
    virtual void HideCaret(HWND Wnd) = 0;
};

/// What the host's message queue (message_queue.h) needs of a platform: a clock, a way to
/// have the queue served, and the platform's own events turned into messages.
class TQueueService {
public:
    virtual ~TQueueService() = default;
    /// Milliseconds of the platform clock.
    virtual std::int64_t GetTickCount() const = 0;
    /// Asks the platform to run the application's pump (Application->ProcessMessages) once
    /// Delay milliseconds have passed. The host asks when a message is posted (Delay 0) and
    /// when a timer is set or taken (its interval); extra wake-ups are harmless.
    virtual void Wake(UINT Delay) = 0;
    /// Lets the platform post what its pending native events (input, paint, timers) mean as
    /// messages; the host calls it before each look at the queue.
    virtual void ProcessPlatformEvents() = 0;
};

/// The state of the keyboard and the pointer.
class TInputService {
public:
    virtual ~TInputService() = default;
    /// The state of a key: bit 15 set while it is down.
    virtual std::int16_t GetKeyState(int VirtKey) const = 0;
    /// The pointer in screen coordinates.
    virtual TPoint GetCursorPos() const = 0;
    /// The user's double-click interval in milliseconds.
    virtual UINT GetDoubleClickTime() const = 0;
    /// The character a key-down (or system key-down) message produces with the keyboard
    /// layout and the key state at hand; 0 for none. TranslateMessage posts it.
    virtual int CharOfKey(const TMsg& KeyDown) const = 0;
};

/// The clipboard as a platform carries it: whole contents put at once and the bytes of one
/// format read back. Ownership of the open clipboard, format numbers, memory blocks and the
/// viewer chain are the host's (clipboard.h). A transport calls NotifyClipboardChanged when
/// someone else (another program) changes the clipboard, not for what the host published.
class TClipboardTransport {
public:
    virtual ~TClipboardTransport() = default;
    /// Makes Items, in this order, the whole content of the clipboard (none: empty).
    virtual void PublishClipboard(std::vector<TClipboardItem> Items) = 0;
    /// The formats on the clipboard, in order.
    virtual std::vector<UINT> GetClipboardFormats() const = 0;
    /// The bytes under Format; false when the clipboard does not hold it.
    virtual bool ReadClipboard(UINT Format, std::string& Bytes) const = 0;
};

/// The current user's settings, as a tree of keys holding named string and integer values
/// (paths use '\' and compare without case).
class TSettingsService {
public:
    virtual ~TSettingsService() = default;
    virtual bool RegKeyExists(HKEY Root, const std::string& Path) const = 0;
    /// Makes the key and every key on the way to it.
    virtual bool RegCreateKey(HKEY Root, const std::string& Path) = 0;
    virtual bool RegQueryValue(HKEY Root, const std::string& Path, const std::string& Name,
                               TRegValue& Value) const = 0;
    /// Makes the key when needed.
    virtual bool RegSetValue(HKEY Root, const std::string& Path, const std::string& Name,
                             const TRegValue& Value) = 0;
    virtual bool RegDeleteValue(HKEY Root, const std::string& Path, const std::string& Name) = 0;
};

/// What the user is told and asked: message boxes, beeps, the find and replace dialogs.
class TDialogService {
public:
    virtual ~TDialogService() = default;
    /// Shows a modal message box and returns the button chosen (mrOk, mrYes, ...).
    virtual TModalResult MessageDlg(const std::string& Msg, TMsgDlgType DlgType,
                                    TMsgDlgButtons Buttons, std::int64_t HelpCtx) = 0;
    virtual void MessageBeep(std::uint32_t Type) = 0;
    /// Makes the window of a find dialog (a TReplaceDialog: a replace dialog) at (Left, Top)
    /// on the screen, hidden, with Dialog as its target; the dialog shows, moves, focuses and
    /// destroys it as any window. The platform's controls call the dialog's methods: they set
    /// the text and options and then call ClickFindNext or ClickReplace; the close box sends
    /// WM_CLOSE.
    virtual HWND CreateFindDialog(TFindDialog& Dialog, int Left, int Top) = 0;
};

/// The services of one platform, borrowed: whoever installs them keeps them alive while they
/// are installed. A service left out (nullptr) is absent: calls that need it raise
/// EInvalidOperation.
struct TPlatformServices {
    TWindowService* Windows = nullptr;
    TFocusService* Focus = nullptr;
    TPaintService* Painting = nullptr;
    TScrollBarService* ScrollBars = nullptr;
    TCaretService* Caret = nullptr;
    TQueueService* Queue = nullptr;
    TInputService* Input = nullptr;
    TClipboardTransport* Clipboard = nullptr;
    TSettingsService* Settings = nullptr;
    TDialogService* Dialogs = nullptr;
    TGraphicsPlatform* Graphics = nullptr;
};

/// Installs a platform: makes Services current for the lifetime of the scope, with a fresh
/// host state for them (message queue, timers, clipboard bookkeeping and format numbers), and
/// restores the services and state current before when it ends. Scopes end in the reverse
/// order of their start. The services are borrowed and must outlive the scope; the host never
/// owns or deletes one. The global printer is discarded on both changes, so that it binds to
/// the graphics platform current when next used.
class TPlatformScope {
public:
    explicit TPlatformScope(const TPlatformServices& Services);
    ~TPlatformScope();
    TPlatformScope(const TPlatformScope&) = delete;
    TPlatformScope& operator=(const TPlatformScope&) = delete;

    const TPlatformServices& GetServices() const { return FServices; }
    TMessageQueue& GetQueue() { return *FQueue; }
    TClipboardHost& GetClipboard() { return *FClipboard; }

private:
    TPlatformServices FServices;
    TPlatformScope* FPrevious = nullptr;
    std::unique_ptr<TMessageQueue> FQueue;
    std::unique_ptr<TClipboardHost> FClipboard;
};

// The current services. Each raises EInvalidOperation "No window platform installed" (the
// graphics platform: "No graphics platform installed") when the current scope lacks it.
TWindowService& WindowService();
TFocusService& FocusService();
TPaintService& PaintService();
TScrollBarService& ScrollBarService();
TCaretService& CaretService();
TQueueService& QueueService();
TInputService& InputService();
TClipboardTransport& ClipboardTransport();
TSettingsService& SettingsService();
TDialogService& DialogService();
/// Whether a windows service is installed (destructors check before they release windows).
bool WindowServiceInstalled();

/// The host's message queue and clipboard bookkeeping of the current platform; both raise
/// EInvalidOperation "No window platform installed" when no platform is installed.
TMessageQueue& MessageQueue();
TClipboardHost& ClipboardHost();

// What a platform tells the host.
/// A windows service calls this for every window it destroys, once the window's WM_DESTROY
/// has been sent: the host drops the window's timers.
void NotifyWindowDestroyed(HWND Wnd);
/// A clipboard transport calls this when someone else changed the clipboard: the host drops
/// the blocks it read and tells the clipboard viewers.
void NotifyClipboardChanged();

} // namespace kestrel
