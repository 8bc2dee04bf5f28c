// THeadlessWindowPlatform: the headless platform's windows, focus, painting, scroll bars and
// caret: windows in memory whose update regions are painted into pixel surfaces, with their
// state readable by tests and a screenshot of what a person would see.
#pragma once

#include "host/headless/headless_dc.h"
#include "host/headless/surface.h"
#include "host/platform.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
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

/// Thickness of a standard scroll bar in pixels.
constexpr int HeadlessScrollBarSize = 16;

/// Windows as records in a map keyed by handle: outer bounds relative to the parent's client
/// area (or the screen), a border of 1 (WS_BORDER) or 3 (WS_THICKFRAME) pixels, the client
/// area what the border and the shown scroll bars leave. Each window has an update region of
/// disjoint rectangles, a pixel surface and a record of the drawing calls made on it.
class THeadlessWindowPlatform : public TWindowService,
                                public TFocusService,
                                public TPaintService,
                                public TScrollBarService,
                                public TCaretService {
public:
    THeadlessWindowPlatform();
    ~THeadlessWindowPlatform() override;
    THeadlessWindowPlatform(const THeadlessWindowPlatform&) = delete;
    THeadlessWindowPlatform& operator=(const THeadlessWindowPlatform&) = delete;

    // TWindowService.
    HWND CreateWindowHandle(const TCreateParams& Params, TWindowTarget* Target) override;
    void DestroyWindowHandle(HWND Wnd) override;
    bool IsWindow(HWND Wnd) const override;
    void SetWindowBounds(HWND Wnd, int X, int Y, int Width, int Height) override;
    void ShowWindow(HWND Wnd, bool Show) override;
    bool IsWindowVisible(HWND Wnd) const override;
    TRect GetWindowRect(HWND Wnd) const override;
    TRect GetClientRect(HWND Wnd) const override;
    TPoint GetClientOrigin(HWND Wnd) const override;
    void SetWindowCursor(HWND Wnd, TCursor Cursor) override;
    LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) override;

    // TFocusService.
    HWND SetFocus(HWND Wnd) override;
    HWND GetFocus() const override { return FFocus; }
    void SetCapture(HWND Wnd) override { FCapture = Wnd; }
    HWND GetCapture() const override { return FCapture; }

    // TPaintService.
    void InvalidateRect(HWND Wnd, const TRect* Rect, bool Erase) override;
    void ValidateRect(HWND Wnd, const TRect* Rect) override;
    bool GetUpdateRect(HWND Wnd, TRect& Rect) const override;
    /// The first window in creation order that is shown and has an update region.
    HWND NextPaintRequest(HWND Wnd) const override;
    /// Also hides the caret until EndPaint, and clips the context to the update box.
    HDC BeginPaint(HWND Wnd, TPaintStruct& Paint) override;
    void EndPaint(HWND Wnd, const TPaintStruct& Paint) override;
    HDC GetDC(HWND Wnd) override;
    void ReleaseDC(HWND Wnd, HDC DC) override;
    /// Moves the surface pixels and the pending update region with them.
    void ScrollWindowEx(HWND Wnd, int DX, int DY, UINT Flags) override;

    // TScrollBarService.
    void SetScrollInfo(HWND Wnd, int Bar, const TScrollInfo& Info, bool Redraw) override;
    bool GetScrollInfo(HWND Wnd, int Bar, TScrollInfo& Info) const override;
    /// A shown bar takes HeadlessScrollBarSize pixels of client width or height.
    void ShowScrollBar(HWND Wnd, int Bar, bool Show) override;

    // TCaretService.
    void CreateCaret(HWND Wnd, HBITMAP Bitmap, int Width, int Height) override;
    void DestroyCaret() override;
    void SetCaretPos(int X, int Y) override;
    void ShowCaret(HWND Wnd) override;
    void HideCaret(HWND Wnd) override;

    // State for tests and tools.
    const THeadlessCaret& GetCaret() const { return FCaret; }
    const THeadlessScrollBar& GetScrollBar(HWND Wnd, int Bar) const;
    /// The rectangles (disjoint) of the window's update region.
    std::vector<TRect> GetUpdateRegion(HWND Wnd) const;
    TCursor GetWindowCursor(HWND Wnd) const;
    std::uint32_t GetWindowStyle(HWND Wnd) const;
    std::uint32_t GetWindowClassStyle(HWND Wnd) const;
    const std::string& GetWindowCaption(HWND Wnd) const;
    /// The window's client pixels, and the drawing calls made on them.
    TSurface& GetWindowSurface(HWND Wnd);
    TDrawRecord& GetWindowRecord(HWND Wnd);
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
    void Deliver(TWindow& W, TMessage& Message);
    HDC NewDC(TWindow& W, const TRect* Clip);
    void FreeDC(TWindow& W, HDC DC);

    std::map<HWND, std::unique_ptr<TWindow>> FWindows;
    std::vector<HWND> FCreationOrder;
    HWND FNextHandle = 0x100;
    HWND FFocus = 0;
    HWND FCapture = 0;
    THeadlessCaret FCaret;
};

} // namespace kestrel::headless
