// THeadlessWindowPlatform: windows in memory with a message queue, update regions painted into
// pixel surfaces, readable scroll bar, caret, capture, focus and timer state, a manual clock,
// simulated input, an in-memory registry, an in-process clipboard and scripted message boxes.
#pragma once

#include "host/headless/headless_dc.h"
#include "host/headless/headless_graphics.h"
#include "host/headless/surface.h"
#include "host/window_platform.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kestrel::headless {

/// The state of a window's standard scroll bar.
struct THeadlessScrollBar {
    std::int64_t Min = 0;
    std::int64_t Max = 0;
    std::int64_t Page = 0;
    std::int64_t Pos = 0;
    bool Visible = false;
};

/// The application's caret.
struct THeadlessCaret {
    HWND Owner = 0; ///< 0 when no caret exists
    HBITMAP Bitmap = nullptr;
    int Width = 0;
    int Height = 0;
    int X = 0;
    int Y = 0;
    int HideCount = 1; ///< shown while 0; a new caret starts hidden
    bool Visible() const { return Owner != 0 && HideCount == 0; }
};

/// A running timer.
struct THeadlessTimer {
    HWND Window = 0;
    UINT ID = 0;
    UINT Elapse = 0;
    std::int64_t Due = 0; ///< clock time of its next WM_TIMER
};

/// A message box shown through MessageDlg, as the platform recorded it.
struct THeadlessMessageDlg {
    std::string Msg;
    TMsgDlgType DlgType = mtCustom;
    TMsgDlgButtons Buttons;
    std::int64_t HelpCtx = 0;
    TModalResult Result = mrNone; ///< the answer given
};

/// The platform's double-click distance: a second press farther than this is a new click.
constexpr int HeadlessDoubleClickDistance = 4;
/// Thickness of a standard scroll bar in pixels.
constexpr int HeadlessScrollBarSize = 16;

class THeadlessWindowPlatform : public TWindowPlatform {
public:
    THeadlessWindowPlatform();
    ~THeadlessWindowPlatform() override;

    // TWindowPlatform.
    HWND CreateWindowHandle(const TCreateParams& Params, TWindowTarget* Target) override;
    void DestroyWindowHandle(HWND Wnd) override;
    bool IsWindow(HWND Wnd) const override;
    void SetWindowBounds(HWND Wnd, int X, int Y, int Width, int Height) override;
    void ShowWindow(HWND Wnd, bool Show) override;
    bool IsWindowVisible(HWND Wnd) const override;
    TRect GetWindowRect(HWND Wnd) const override;
    TRect GetClientRect(HWND Wnd) const override;
    TPoint ClientToScreen(HWND Wnd, TPoint P) const override;
    TPoint ScreenToClient(HWND Wnd, TPoint P) const override;

    LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) override;
    bool PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) override;
    void PostQuitMessage(int ExitCode) override;
    bool PeekMessage(TMsg& Msg, HWND Wnd, UINT FilterMin, UINT FilterMax, bool Remove) override;
    bool TranslateMessage(const TMsg& Msg) override;
    LRESULT DispatchMessage(const TMsg& Msg) override;
    LRESULT DefWindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) override;

    void InvalidateRect(HWND Wnd, const TRect* Rect, bool Erase) override;
    void ValidateRect(HWND Wnd, const TRect* Rect) override;
    bool GetUpdateRect(HWND Wnd, TRect& Rect) const override;
    void UpdateWindow(HWND Wnd) override;
    HDC BeginPaint(HWND Wnd, TPaintStruct& Paint) override;
    void EndPaint(HWND Wnd, const TPaintStruct& Paint) override;
    HDC GetDC(HWND Wnd) override;
    void ReleaseDC(HWND Wnd, HDC DC) override;
    void ScrollWindowEx(HWND Wnd, int DX, int DY, UINT Flags) override;

    void SetScrollInfo(HWND Wnd, int Bar, const TScrollInfo& Info, bool Redraw) override;
    bool GetScrollInfo(HWND Wnd, int Bar, TScrollInfo& Info) const override;
    void ShowScrollBar(HWND Wnd, int Bar, bool Show) override;

    void CreateCaret(HWND Wnd, HBITMAP Bitmap, int Width, int Height) override;
    void DestroyCaret() override;
    void SetCaretPos(int X, int Y) override;
    void ShowCaret(HWND Wnd) override;
    void HideCaret(HWND Wnd) override;

    void SetTimer(HWND Wnd, UINT ID, UINT Elapse) override;
    void KillTimer(HWND Wnd, UINT ID) override;

    HWND SetFocus(HWND Wnd) override;
    HWND GetFocus() const override { return FFocus; }
    void SetCapture(HWND Wnd) override { FCapture = Wnd; }
    void ReleaseCapture() override { FCapture = 0; }
    HWND GetCapture() const override { return FCapture; }

    std::int16_t GetKeyState(int VirtKey) const override;
    TPoint GetCursorPos() const override { return FCursorPos; }
    void SetWindowCursor(HWND Wnd, TCursor Cursor) override;
    void MessageBeep(std::uint32_t Type) override { FBeeps.push_back(Type); }
    std::int64_t GetTickCount() const override { return FClock; }
    /// From the registry ("Control Panel\Mouse", "DoubleClickSpeed"), else 500.
    UINT GetDoubleClickTime() const override;

    bool RegKeyExists(HKEY Root, const std::string& Path) const override;
    bool RegCreateKey(HKEY Root, const std::string& Path) override;
    bool RegQueryValue(HKEY Root, const std::string& Path, const std::string& Name,
                       TRegValue& Value) const override;
    bool RegSetValue(HKEY Root, const std::string& Path, const std::string& Name,
                     const TRegValue& Value) override;
    bool RegDeleteValue(HKEY Root, const std::string& Path, const std::string& Name) override;
    UINT RegisterClipboardFormat(const std::string& Name) override;

    bool OpenClipboard(HWND Owner) override;
    bool CloseClipboard() override;
    bool EmptyClipboard() override;
    HGLOBAL SetClipboardData(UINT Format, HGLOBAL Mem) override;
    HGLOBAL GetClipboardData(UINT Format) override;
    bool IsClipboardFormatAvailable(UINT Format) const override;
    UINT EnumClipboardFormats(UINT Format) const override;
    HWND SetClipboardViewer(HWND Viewer) override;
    bool ChangeClipboardChain(HWND Remove, HWND Next) override;
    HWND GetClipboardViewer() const override { return FClipboardViewer; }

    /// Answers with the next queued answer, or mrCancel when none is queued; records the box.
    /// A queued answer that none of the buttons gives raises EInvalidOperation (a script that
    /// does not fit the question).
    TModalResult MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                            std::int64_t HelpCtx) override;

    // The clipboard as tests read it, without opening it.
    bool GetClipboardOpen() const { return FClipboardOpen; }
    HWND GetClipboardOwner() const { return FClipboardOwner; }
    /// The formats present, in the order they were put.
    std::vector<UINT> GetClipboardFormats() const;
    /// Every byte of the block under Format (its whole size, zeros included); "" when absent.
    std::string GetClipboardBytes(UINT Format) const;
    /// Times the clipboard changed (a close after an empty or a put).
    int GetClipboardChanges() const { return FClipboardChanges; }

    // Message boxes.
    /// Queues the answer of the next message box.
    void PushMessageDlgAnswer(TModalResult Answer) { FMessageDlgAnswers.push_back(Answer); }
    std::size_t GetPendingMessageDlgAnswers() const { return FMessageDlgAnswers.size(); }
    /// Every box shown so far, oldest first.
    const std::vector<THeadlessMessageDlg>& GetMessageDlgs() const { return FMessageDlgs; }
    void ClearMessageDlgs() {
        FMessageDlgs.clear();
        FMessageDlgAnswers.clear();
    }

    // The manual clock.
    void AdvanceClock(std::int64_t Milliseconds) { FClock += Milliseconds; }

    // Simulated input. Keys go to the focus window, mouse messages to the capture window or
    // else the window given (positions in that window's client coordinates).
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

    // State for tests and tools.
    const THeadlessCaret& GetCaret() const { return FCaret; }
    const THeadlessScrollBar& GetScrollBar(HWND Wnd, int Bar) const;
    /// The running timer (Wnd, ID), or nullptr.
    const THeadlessTimer* FindTimer(HWND Wnd, UINT ID) const;
    const std::vector<THeadlessTimer>& GetTimers() const { return FTimers; }
    /// The rectangles (disjoint) of the window's update region.
    std::vector<TRect> GetUpdateRegion(HWND Wnd) const;
    TCursor GetWindowCursor(HWND Wnd) const;
    std::uint32_t GetWindowStyle(HWND Wnd) const;
    const std::string& GetWindowCaption(HWND Wnd) const;
    /// The window's client pixels, and the drawing calls made on them.
    TSurface& GetWindowSurface(HWND Wnd);
    TDrawRecord& GetWindowRecord(HWND Wnd);
    const std::vector<std::uint32_t>& GetBeeps() const { return FBeeps; }
    void ClearBeeps() { FBeeps.clear(); }
    std::size_t GetQueueLength() const { return FQueue.size(); }
    bool GetQuitPosted() const { return FQuitPosted; }
    /// Every window in creation order.
    std::vector<HWND> GetWindows() const;

    /// The window as a person would see it: its client pixels with the caret, the scroll
    /// bars and the border.
    TSurface RenderWindow(HWND Wnd) const;
    /// Writes RenderWindow as a PNG file (or PPM when the name ends in ".ppm").
    void SaveScreenshot(HWND Wnd, const std::string& FileName) const;

private:
    struct TWindow;

    TWindow& Get(HWND Wnd);
    const TWindow& Get(HWND Wnd) const;
    TWindow* Find(HWND Wnd);
    const TWindow* Find(HWND Wnd) const;
    int BorderOf(const TWindow& W) const;
    TRect ClientOf(const TWindow& W) const;
    TPoint ClientOrigin(const TWindow& W) const; ///< client top-left in screen coordinates
    void ClientSizeChanged(TWindow& W, int OldWidth, int OldHeight);
    void AddToRegion(TWindow& W, const TRect& R);
    void SubtractFromRegion(TWindow& W, const TRect& R);
    WPARAM MouseKeys() const;
    void PostMouse(HWND Wnd, UINT Msg, int X, int Y);
    void Deliver(TWindow& W, TMessage& Message);
    std::string RegPath(HKEY Root, const std::string& Path) const;
    HDC NewDC(TWindow& W, const TRect* Clip);
    void FreeDC(TWindow& W, HDC DC);

    std::map<HWND, std::unique_ptr<TWindow>> FWindows;
    std::vector<HWND> FCreationOrder;
    HWND FNextHandle = 0x100;
    std::deque<TMsg> FQueue;
    bool FQuitPosted = false;
    int FQuitCode = 0;
    std::int64_t FClock = 0;
    HWND FFocus = 0;
    HWND FCapture = 0;
    THeadlessCaret FCaret;
    std::vector<THeadlessTimer> FTimers;
    bool FKeys[256] = {};
    TPoint FCursorPos;
    std::vector<std::uint32_t> FBeeps;
    // The last button press, for double-click detection.
    HWND FLastClickWindow = 0;
    TMouseButton FLastClickButton = mbLeft;
    std::int64_t FLastClickTime = 0;
    TPoint FLastClickPos;
    bool FLastClickWasDouble = true; // no press yet: the next one is a first click
    // Registry: "root\path" (lower case) -> value name (lower case) -> value.
    std::map<std::string, std::map<std::string, TRegValue>> FRegistry;
    std::map<std::string, UINT> FClipboardFormats; // lower-case name -> number
    UINT FNextClipboardFormat = 0xC000;
    // The clipboard: blocks owned by the platform (freed on empty, replacement and
    // destruction), in the order they were put; at most one entry per format and per block.
    std::vector<std::pair<UINT, HGLOBAL>> FClipboardData;
    bool FClipboardOpen = false;
    HWND FClipboardOwner = 0;     // the window that opened it (0: the application)
    bool FClipboardDirty = false; // changed since it was opened
    int FClipboardChanges = 0;
    HWND FClipboardViewer = 0; // head of the viewer chain
    // Message boxes.
    std::deque<TModalResult> FMessageDlgAnswers;
    std::vector<THeadlessMessageDlg> FMessageDlgs;
};

/// Installs a fresh headless window platform (and the headless graphics platform) for the
/// lifetime of the scope, and restores what was current before.
class THeadlessPlatformScope {
public:
    THeadlessPlatformScope();
    ~THeadlessPlatformScope();
    THeadlessPlatformScope(const THeadlessPlatformScope&) = delete;
    THeadlessPlatformScope& operator=(const THeadlessPlatformScope&) = delete;

    THeadlessWindowPlatform& Windows() { return *FWindows; }
    THeadlessGraphics& Graphics() { return *FGraphics; }

private:
    std::unique_ptr<THeadlessWindowPlatform> FWindows;
    TWindowPlatform* FPreviousWindows = nullptr;
    THeadlessGraphics* FGraphics = nullptr; // owned by the host layer while current
    std::unique_ptr<TGraphicsPlatform> FPreviousGraphics;
};

} // namespace kestrel::headless
