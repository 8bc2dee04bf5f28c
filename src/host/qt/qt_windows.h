// TQtWindowPlatform: the Qt platform's windows, focus, painting, scroll bars and caret. Each
// window is a QWidget: a control's frame holds its client area (a widget painted from a backing
// image the device contexts draw into) and two QScrollBars; a find dialog is a QDialog.
#pragma once

#include "host/platform.h"
#include "host/qt/qt_dc.h"

#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QTimer>

#include <map>
#include <memory>
#include <string>
#include <vector>

class QWidget;
class QScrollBar;
class QKeyEvent;
class QMouseEvent;
class QWheelEvent;
class QPaintEvent;

namespace kestrel::qt {

class TQtGraphics;
class TQtInput;
class TQtQueue;
class TQtFrame;
class TQtClient;

/// The state of a window's standard scroll bar.
struct TQtScrollBar {
    std::int64_t Min = 0;
    std::int64_t Max = 100;
    std::int64_t Page = 0;
    std::int64_t Pos = 0;
    bool Visible = false;
};

/// The application's caret, drawn over the backing image of its window (inverted).
struct TQtCaret {
    HWND Owner = 0; ///< 0 when no caret exists
    int Width = 0;
    int Height = 0;
    int X = 0;
    int Y = 0;
    int HideCount = 1; ///< shown while 0; a new caret starts hidden
    bool Visible() const { return Owner != 0 && HideCount == 0; }
};

class TQtWindowPlatform : public TWindowService,
                          public TFocusService,
                          public TPaintService,
                          public TScrollBarService,
                          public TCaretService {
public:
    TQtWindowPlatform(TQtGraphics& Graphics, TQtInput& Input, TQtQueue& Queue);
    ~TQtWindowPlatform() override;
    TQtWindowPlatform(const TQtWindowPlatform&) = delete;
    TQtWindowPlatform& operator=(const TQtWindowPlatform&) = delete;

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
    /// The first shown window, in creation order, with something to paint.
    HWND NextPaintRequest(HWND Wnd) const override;
    HDC BeginPaint(HWND Wnd, TPaintStruct& Paint) override;
    void EndPaint(HWND Wnd, const TPaintStruct& Paint) override;
    HDC GetDC(HWND Wnd) override;
    void ReleaseDC(HWND Wnd, HDC DC) override;
    void ScrollWindowEx(HWND Wnd, int DX, int DY, UINT Flags) override;

    // TScrollBarService.
    void SetScrollInfo(HWND Wnd, int Bar, const TScrollInfo& Info, bool Redraw) override;
    bool GetScrollInfo(HWND Wnd, int Bar, TScrollInfo& Info) const override;
    void ShowScrollBar(HWND Wnd, int Bar, bool Show) override;

    // TCaretService.
    void CreateCaret(HWND Wnd, HBITMAP Bitmap, int Width, int Height) override;
    void DestroyCaret() override;
    void SetCaretPos(int X, int Y) override;
    void ShowCaret(HWND Wnd) override;
    void HideCaret(HWND Wnd) override;

    // For applications and tests.
    /// The window's widget (a control's frame, a dialog), to place in a layout; nullptr when
    /// Wnd is not a window.
    QWidget* WidgetOf(HWND Wnd) const;
    /// The widget of the client area, which takes the input.
    QWidget* ClientWidgetOf(HWND Wnd) const;
    QScrollBar* ScrollBarOf(HWND Wnd, int Bar) const;
    const TQtScrollBar& GetScrollBar(HWND Wnd, int Bar) const;
    const TQtCaret& GetCaret() const { return FCaret; }
    /// The backing image of the client area (what was painted).
    const QImage& GetBackingImage(HWND Wnd) const;
    /// The rectangles painted since ClearPaintLog (the paint brackets' update boxes).
    const std::vector<TRect>& GetPaintLog(HWND Wnd) const;
    void ClearPaintLog(HWND Wnd);
    /// The window as drawn on the screen, caret shown.
    QImage Grab(HWND Wnd);
    std::vector<HWND> GetWindows() const { return FCreationOrder; }

    /// Makes Dialog (a top-level widget the caller made, owned by the platform from now on) a
    /// window: Target gets the handle, WM_CREATE and WM_SIZE; closing it sends WM_CLOSE.
    HWND AddDialogWindow(QWidget* Dialog, TWindowTarget* Target, int X, int Y);

    // What the widgets report.
    struct TWindow;
    void ClientResized(HWND Wnd);
    void PaintClient(HWND Wnd, QPaintEvent* Event);
    void KeyEvent(HWND Wnd, QKeyEvent* Event, bool Down);
    void MouseEvent(HWND Wnd, QMouseEvent* Event, UINT Msg);
    void WheelEvent(HWND Wnd, QWheelEvent* Event);
    void FocusIn(HWND Wnd);
    void FocusOut(HWND Wnd);
    void CloseRequested(HWND Wnd);
    void ScrollAction(HWND Wnd, int Bar, int Action);
    void ScrollReleased(HWND Wnd, int Bar);

private:
    TWindow* Find(HWND Wnd);
    const TWindow* Find(HWND Wnd) const;
    TWindow& Get(HWND Wnd);
    const TWindow& Get(HWND Wnd) const;
    int BorderOf(const TWindow& W) const;
    int BarExtent() const;
    /// Places the client area and the scroll bars in the frame; sends WM_SIZE when the client
    /// size changed.
    void Layout(TWindow& W);
    void Deliver(TWindow& W, TMessage& Message);
    HDC NewDC(TWindow& W, const QRect* Clip);
    void FreeDC(TWindow& W, HDC DC);
    void UpdateCaret(); // repaints where the caret is
    /// Posts an input message and serves the queue at once, so that the message is handled
    /// with the key state of the event that made it.
    void PostInput(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
    void Retire(QWidget* Widget);

    TQtGraphics& FGraphics;
    TQtInput& FInput;
    TQtQueue& FQueue;
    std::map<HWND, std::unique_ptr<TWindow>> FWindows;
    std::vector<HWND> FCreationOrder;
    std::vector<QPointer<QWidget>> FRetired; // widgets of destroyed windows, deleted later
    HWND FNextHandle = 0x100;
    HWND FFocus = 0;
    HWND FCapture = 0;
    bool FSettingFocus = false;
    TQtCaret FCaret;
    bool FCaretOn = true; // the blink phase
    QRect FCaretDrawn;    // where the caret was last drawn, in its window's client area
    QTimer FBlink;
};

} // namespace kestrel::qt
