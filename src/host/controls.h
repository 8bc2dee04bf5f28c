// The control classes: TControl, TWinControl (a control with a window), TCustomControl (one
// that paints on a canvas) and TControlCanvas, the canvas of a control's window.
#pragma once

#include "host/component.h"
#include "host/graphics.h"
#include "host/messages.h"
#include "host/window_platform.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrel {

class TWinControl;

enum TControlStyleFlag : std::uint8_t {
    csAcceptsControls,
    csCaptureMouse,
    csClickEvents,
    csFramed,
    csSetCaption,
    csOpaque,
    csDoubleClicks,
    csFixedWidth,
    csFixedHeight,
    csNoStdEvents,
};
using TControlStyle = TSet<TControlStyleFlag>;

using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = std::function<void(TObject* Sender, std::uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;

/// A visual element: bounds, visibility, cursor, colour and font, and message dispatch.
class TControl : public TComponent {
public:
    explicit TControl(TComponent* AOwner);
    ~TControl() override;

    TWinControl* GetParent() const { return FParent; }
    virtual void SetParent(TWinControl* AParent);

    int GetLeft() const { return FLeft; }
    int GetTop() const { return FTop; }
    int GetWidth() const { return FWidth; }
    int GetHeight() const { return FHeight; }
    void SetLeft(int Value) { SetBounds(Value, FTop, FWidth, FHeight); }
    void SetTop(int Value) { SetBounds(FLeft, Value, FWidth, FHeight); }
    void SetWidth(int Value) { SetBounds(FLeft, FTop, Value, FHeight); }
    void SetHeight(int Value) { SetBounds(FLeft, FTop, FWidth, Value); }
    virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    /// The client area: (0, 0, client width, client height).
    virtual TRect GetClientRect() const;
    int GetClientWidth() const { return GetClientRect().Right; }
    int GetClientHeight() const { return GetClientRect().Bottom; }

    bool GetVisible() const { return FVisible; }
    virtual void SetVisible(bool Value);
    bool GetEnabled() const { return FEnabled; }
    virtual void SetEnabled(bool Value);
    TCursor GetCursor() const { return FCursor; }
    virtual void SetCursor(TCursor Value);
    TColor GetColor() const { return FColor; }
    void SetColor(TColor Value);
    bool GetParentColor() const { return FParentColor; }
    void SetParentColor(bool Value) { FParentColor = Value; }
    bool GetParentFont() const { return FParentFont; }
    void SetParentFont(bool Value) { FParentFont = Value; }
    TFont* GetFont() const { return FFont.get(); }
    void SetFont(TFont* Value) { FFont->Assign(Value); }
    TControlStyle GetControlStyle() const { return FControlStyle; }
    void SetControlStyle(TControlStyle Value) { FControlStyle = Value; }

    /// Sends a message straight to the control's window procedure; returns its Result.
    LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam);
    /// The window procedure: every message of the control passes through it.
    virtual void WndProc(TMessage& Message);
    /// Calls the handler of the message, or DefaultHandler when the control has none.
    virtual void Dispatch(TMessage& Message);
    /// What happens to a message no handler took.
    virtual void DefaultHandler(TMessage& Message);

    /// Marks the whole control for repainting.
    virtual void Invalidate();
    /// Paints what is marked at once.
    virtual void Update();
    void Repaint();

    TMouseEvent GetOnMouseDown() const { return FOnMouseDown; }
    void SetOnMouseDown(TMouseEvent Value) { FOnMouseDown = std::move(Value); }
    TMouseEvent GetOnMouseUp() const { return FOnMouseUp; }
    void SetOnMouseUp(TMouseEvent Value) { FOnMouseUp = std::move(Value); }
    TMouseMoveEvent GetOnMouseMove() const { return FOnMouseMove; }
    void SetOnMouseMove(TMouseMoveEvent Value) { FOnMouseMove = std::move(Value); }

protected:
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseMove(TShiftState Shift, int X, int Y);
    /// The control's font changed.
    virtual void FontChanged();
    /// The control's colour changed.
    virtual void ColorChanged();

    // Message handlers. Each one's default is DefaultHandler unless said otherwise.
    virtual void WMLButtonDown(TMessage& Message);
    virtual void WMLButtonUp(TMessage& Message);
    virtual void WMLButtonDblClk(TMessage& Message);
    virtual void WMRButtonDown(TMessage& Message);
    virtual void WMRButtonUp(TMessage& Message);
    virtual void WMRButtonDblClk(TMessage& Message);
    virtual void WMMButtonDown(TMessage& Message);
    virtual void WMMButtonUp(TMessage& Message);
    virtual void WMMouseMove(TMessage& Message);
    virtual void WMMouseWheel(TMessage& Message);
    virtual void WMSize(TMessage& Message);
    virtual void WMPaint(TMessage& Message);
    virtual void WMEraseBkgnd(TMessage& Message);
    virtual void WMSetFocus(TMessage& Message);
    virtual void WMKillFocus(TMessage& Message);
    virtual void WMKeyDown(TMessage& Message);
    virtual void WMKeyUp(TMessage& Message);
    virtual void WMChar(TMessage& Message);
    virtual void WMSysKeyDown(TMessage& Message);
    virtual void WMGetDlgCode(TMessage& Message);
    virtual void WMTimer(TMessage& Message);
    virtual void WMHScroll(TMessage& Message);
    virtual void WMVScroll(TMessage& Message);
    virtual void WMCopy(TMessage& Message);
    virtual void WMCut(TMessage& Message);
    virtual void WMPaste(TMessage& Message);
    virtual void WMClear(TMessage& Message);
    virtual void WMUndo(TMessage& Message);
    virtual void WMGetText(TMessage& Message);
    virtual void WMGetTextLength(TMessage& Message);
    virtual void WMSetText(TMessage& Message);
    virtual void WMWinIniChange(TMessage& Message);
    virtual void WMDrawClipboard(TMessage& Message);
    virtual void WMChangeCBChain(TMessage& Message);
    virtual void WMClose(TMessage& Message);
    virtual void WMDestroy(TMessage& Message);
    /// Asks whether the control wants a navigation key itself (Result 1) rather than the
    /// dialog navigation; WParam is the key.
    virtual void CMWantSpecialKey(TMessage& Message);

    friend class TWinControl;

    TWinControl* FParent = nullptr;
    int FLeft = 0;
    int FTop = 0;
    int FWidth = 0;
    int FHeight = 0;

private:
    void DoMouseDown(TMessage& Message, TMouseButton Button, TShiftState Shift);
    void DoMouseUp(TMessage& Message, TMouseButton Button);

    bool FVisible = true;
    bool FEnabled = true;
    bool FParentColor = true;
    bool FParentFont = true;
    TCursor FCursor = crDefault;
    TColor FColor = clWindow;
    std::unique_ptr<TFont> FFont;
    TControlStyle FControlStyle;
    TMouseEvent FOnMouseDown;
    TMouseEvent FOnMouseUp;
    TMouseMoveEvent FOnMouseMove;
};

/// A control with a window of its own: handle, creation parameters, focus and keys.
class TWinControl : public TControl, public TWindowTarget {
public:
    explicit TWinControl(TComponent* AOwner);
    ~TWinControl() override;

    /// The window handle, created on first use.
    HWND GetHandle();
    bool HandleAllocated() const { return FHandle != 0; }
    void HandleNeeded();
    /// Destroys the window (it is made again on next use), keeping the control's state.
    void DestroyHandle();

    void SetParent(TWinControl* AParent) override;
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    TRect GetClientRect() const override;
    void SetVisible(bool Value) override;
    void SetCursor(TCursor Value) override;

    bool Focused() const;
    virtual bool CanFocus() const;
    virtual void SetFocus();
    bool GetTabStop() const { return FTabStop; }
    void SetTabStop(bool Value) { FTabStop = Value; }

    /// The background brush, in the control's colour.
    TBrush* GetBrush() const { return FBrush.get(); }

    const std::vector<TControl*>& GetControls() const { return FControls; }
    void InsertControl(TControl* AControl);
    void RemoveControl(TControl* AControl);

    void Invalidate() override;
    void Update() override;
    void DefaultHandler(TMessage& Message) override;

    TKeyEvent GetOnKeyDown() const { return FOnKeyDown; }
    void SetOnKeyDown(TKeyEvent Value) { FOnKeyDown = std::move(Value); }
    TKeyEvent GetOnKeyUp() const { return FOnKeyUp; }
    void SetOnKeyUp(TKeyEvent Value) { FOnKeyUp = std::move(Value); }
    TKeyPressEvent GetOnKeyPress() const { return FOnKeyPress; }
    void SetOnKeyPress(TKeyPressEvent Value) { FOnKeyPress = std::move(Value); }

    /// The platform's entries: the new window's handle, and every message of the window.
    void HandleCreated(HWND Wnd) override;
    void WindowMessage(TMessage& Message) override;

protected:
    virtual void CreateParams(TCreateParams& Params);
    virtual void CreateWnd();
    virtual void DestroyWnd();
    /// Destroys the window and makes it again with fresh parameters.
    void RecreateWnd();

    virtual void KeyDown(std::uint16_t& Key, TShiftState Shift);
    virtual void KeyUp(std::uint16_t& Key, TShiftState Shift);
    virtual void KeyPress(char& Key);
    /// KeyDown through the key-down message; true when the key was consumed (set to 0).
    bool DoKeyDown(TMessage& Message);
    bool DoKeyPress(TMessage& Message);

    void WMSize(TMessage& Message) override;
    void WMKeyDown(TMessage& Message) override;
    void WMKeyUp(TMessage& Message) override;
    void WMChar(TMessage& Message) override;
    void WMSysKeyDown(TMessage& Message) override;
    void WMSetFocus(TMessage& Message) override;
    void WMKillFocus(TMessage& Message) override;
    void WMDestroy(TMessage& Message) override;
    void ColorChanged() override;

private:
    std::unique_ptr<TBrush> FBrush;
    HWND FHandle = 0;
    bool FTabStop = false;
    bool FDestroyingHandle = false;
    std::vector<TControl*> FControls; // child controls, not owned
    TKeyEvent FOnKeyDown;
    TKeyEvent FOnKeyUp;
    TKeyPressEvent FOnKeyPress;
};

/// The canvas of a control's client area: its device context is taken from the window when
/// first needed and given back by FreeHandle (or when the control goes).
class TControlCanvas : public TCanvas {
public:
    TControlCanvas() = default;
    ~TControlCanvas() override;

    TWinControl* GetControl() const { return FControl; }
    void SetControl(TWinControl* AControl);
    /// Gives the window's device context back, if the canvas holds one.
    void ReleaseHandle() override;

protected:
    void CreateHandle() override;

private:
    TWinControl* FControl = nullptr;
    HDC FDeviceContext = nullptr; // the DC taken from FWindowHandle, nullptr when none
    HWND FWindowHandle = 0;
};

/// A windowed control that paints itself on Canvas.
class TCustomControl : public TWinControl {
public:
    explicit TCustomControl(TComponent* AOwner);
    ~TCustomControl() override;

    TCanvas* GetCanvas() const { return FCanvas.get(); }

protected:
    /// Draws the control on Canvas (during WM_PAINT, Canvas draws on the paint context).
    virtual void Paint() {}
    void WMPaint(TMessage& Message) override;
    void DestroyWnd() override;

private:
    std::unique_ptr<TControlCanvas> FCanvas;
};

} // namespace kestrel
