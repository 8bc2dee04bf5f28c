// TControl, TWinControl, TControlCanvas and TCustomControl.
#include "host/controls.h"

#include "host/scope_guard.h"

#include <algorithm>
#include <cassert>

namespace kestrel {

// TControl ---------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner), FFont(std::make_unique<TFont>()) {
    FControlStyle = {csClickEvents, csCaptureMouse, csSetCaption, csDoubleClicks};
    FFont->SetOnChange([this](TObject*) { FontChanged(); });
}

TControl::~TControl() {
    if (FParent != nullptr)
        FParent->RemoveControl(this);
}

void TControl::SetParent(TWinControl* AParent) {
    if (AParent == FParent)
        return;
    if (FParent != nullptr)
        FParent->RemoveControl(this);
    if (AParent != nullptr)
        AParent->InsertControl(this);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    const bool Changed = ALeft != FLeft || ATop != FTop || AWidth != FWidth || AHeight != FHeight;
    FLeft = ALeft;
    FTop = ATop;
    FWidth = std::max(0, AWidth);
    FHeight = std::max(0, AHeight);
    if (Changed)
        Invalidate();
}

TRect TControl::GetClientRect() const {
    return TRect{0, 0, FWidth, FHeight};
}

void TControl::SetVisible(bool Value) {
    if (FVisible == Value)
        return;
    FVisible = Value;
    Invalidate();
}

void TControl::SetEnabled(bool Value) {
    FEnabled = Value;
}

void TControl::SetCursor(TCursor Value) {
    FCursor = Value;
}

void TControl::SetColor(TColor Value) {
    if (FColor == Value)
        return;
    FColor = Value;
    FParentColor = false;
    ColorChanged();
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
    TMessage Message{Msg, WParam, LParam, 0};
    WndProc(Message);
    return Message.Result;
}

void TControl::WndProc(TMessage& Message) {
    Dispatch(Message);
}

void TControl::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case WM_LBUTTONDOWN:
        WMLButtonDown(Message);
        break;
    case WM_LBUTTONUP:
        WMLButtonUp(Message);
        break;
    case WM_LBUTTONDBLCLK:
        WMLButtonDblClk(Message);
        break;
    case WM_RBUTTONDOWN:
        WMRButtonDown(Message);
        break;
    case WM_RBUTTONUP:
        WMRButtonUp(Message);
        break;
    case WM_RBUTTONDBLCLK:
        WMRButtonDblClk(Message);
        break;
    case WM_MBUTTONDOWN:
        WMMButtonDown(Message);
        break;
    case WM_MBUTTONUP:
        WMMButtonUp(Message);
        break;
    case WM_MOUSEMOVE:
        WMMouseMove(Message);
        break;
    case WM_MOUSEWHEEL:
        WMMouseWheel(Message);
        break;
    case WM_SIZE:
        WMSize(Message);
        break;
    case WM_PAINT:
        WMPaint(Message);
        break;
    case WM_ERASEBKGND:
        WMEraseBkgnd(Message);
        break;
    case WM_SETFOCUS:
        WMSetFocus(Message);
        break;
    case WM_KILLFOCUS:
        WMKillFocus(Message);
        break;
    case WM_KEYDOWN:
        WMKeyDown(Message);
        break;
    case WM_KEYUP:
        WMKeyUp(Message);
        break;
    case WM_CHAR:
        WMChar(Message);
        break;
    case WM_SYSKEYDOWN:
        WMSysKeyDown(Message);
        break;
    case WM_GETDLGCODE:
        WMGetDlgCode(Message);
        break;
    case WM_TIMER:
        WMTimer(Message);
        break;
    case WM_HSCROLL:
        WMHScroll(Message);
        break;
    case WM_VSCROLL:
        WMVScroll(Message);
        break;
    case WM_COPY:
        WMCopy(Message);
        break;
    case WM_CUT:
        WMCut(Message);
        break;
    case WM_PASTE:
        WMPaste(Message);
        break;
    case WM_CLEAR:
        WMClear(Message);
        break;
    case WM_UNDO:
        WMUndo(Message);
        break;
    case WM_GETTEXT:
        WMGetText(Message);
        break;
    case WM_GETTEXTLENGTH:
        WMGetTextLength(Message);
        break;
    case WM_SETTEXT:
        WMSetText(Message);
        break;
    case WM_WININICHANGE:
        WMWinIniChange(Message);
        break;
    case WM_DRAWCLIPBOARD:
        WMDrawClipboard(Message);
        break;
    case WM_CHANGECBCHAIN:
        WMChangeCBChain(Message);
        break;
    case WM_CLOSE:
        WMClose(Message);
        break;
    case WM_DESTROY:
        WMDestroy(Message);
        break;
    case CM_WANTSPECIALKEY:
        CMWantSpecialKey(Message);
        break;
    default:
        DefaultHandler(Message);
        break;
    }
}

void TControl::DefaultHandler(TMessage& Message) {
    Message.Result = 0;
}

void TControl::Invalidate() {}

void TControl::Update() {}

void TControl::Repaint() {
    Invalidate();
    Update();
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (FOnMouseDown)
        FOnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (FOnMouseUp)
        FOnMouseUp(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
    if (FOnMouseMove)
        FOnMouseMove(this, Shift, X, Y);
}

void TControl::FontChanged() {
    Invalidate();
}

void TControl::ColorChanged() {
    Invalidate();
}

void TControl::DoMouseDown(TMessage& Message, TMouseButton Button, TShiftState Shift) {
    if (FControlStyle.Contains(csNoStdEvents))
        return;
    TWMMouse M(Message);
    MouseDown(Button, KeysToShiftState(M.Keys()) + Shift, M.XPos(), M.YPos());
}

void TControl::DoMouseUp(TMessage& Message, TMouseButton Button) {
    if (FControlStyle.Contains(csNoStdEvents))
        return;
    TWMMouse M(Message);
    MouseUp(Button, KeysToShiftState(M.Keys()), M.XPos(), M.YPos());
}

void TControl::WMLButtonDown(TMessage& Message) {
    DoMouseDown(Message, mbLeft, {});
}
void TControl::WMLButtonUp(TMessage& Message) {
    DoMouseUp(Message, mbLeft);
}
void TControl::WMLButtonDblClk(TMessage& Message) {
    DoMouseDown(Message, mbLeft, {ssDouble});
}
void TControl::WMRButtonDown(TMessage& Message) {
    DoMouseDown(Message, mbRight, {});
}
void TControl::WMRButtonUp(TMessage& Message) {
    DoMouseUp(Message, mbRight);
}
void TControl::WMRButtonDblClk(TMessage& Message) {
    DoMouseDown(Message, mbRight, {ssDouble});
}
void TControl::WMMButtonDown(TMessage& Message) {
    DoMouseDown(Message, mbMiddle, {});
}
void TControl::WMMButtonUp(TMessage& Message) {
    DoMouseUp(Message, mbMiddle);
}

void TControl::WMMouseMove(TMessage& Message) {
    if (FControlStyle.Contains(csNoStdEvents))
        return;
    TWMMouse M(Message);
    MouseMove(KeysToShiftState(M.Keys()), M.XPos(), M.YPos());
}

void TControl::WMMouseWheel(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMSize(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMPaint(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMEraseBkgnd(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMSetFocus(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMKillFocus(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMKeyDown(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMKeyUp(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMChar(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMSysKeyDown(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMGetDlgCode(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMTimer(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMHScroll(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMVScroll(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMCopy(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMCut(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMPaste(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMClear(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMUndo(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMGetText(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMGetTextLength(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMSetText(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMWinIniChange(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMDrawClipboard(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMChangeCBChain(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMClose(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::WMDestroy(TMessage& Message) {
    DefaultHandler(Message);
}
void TControl::CMWantSpecialKey(TMessage& Message) {
    Message.Result = 0;
}

// TWinControl ------------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner)
    : TControl(AOwner), FBrush(std::make_unique<TBrush>()) {
    FBrush->SetColor(GetColor());
}

void TWinControl::ColorChanged() {
    FBrush->SetColor(GetColor());
    TControl::ColorChanged();
}

TWinControl::~TWinControl() {
    DestroyHandle();
    for (TControl* Child : FControls)
        Child->FParent = nullptr;
}

HWND TWinControl::GetHandle() {
    HandleNeeded();
    return FHandle;
}

void TWinControl::HandleNeeded() {
    if (FHandle != 0)
        return;
    if (FParent != nullptr)
        FParent->HandleNeeded();
    CreateWnd();
}

void TWinControl::DestroyHandle() {
    if (FHandle == 0 || FDestroyingHandle)
        return;
    FDestroyingHandle = true;
    DestroyWnd();
    FDestroyingHandle = false;
}

void TWinControl::HandleCreated(HWND Wnd) {
    FHandle = Wnd;
}

void TWinControl::CreateParams(TCreateParams& Params) {
    Params = TCreateParams{};
    Params.Caption = GetName();
    Params.X = FLeft;
    Params.Y = FTop;
    Params.Width = FWidth;
    Params.Height = FHeight;
    if (FParent != nullptr) {
        Params.Style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
        Params.WndParent = FParent->GetHandle();
    } else {
        Params.Style = WS_POPUP | WS_CLIPCHILDREN;
    }
    if (GetVisible())
        Params.Style |= WS_VISIBLE;
    if (!GetEnabled())
        Params.Style |= WS_DISABLED;
    if (FTabStop)
        Params.Style |= WS_TABSTOP;
    if (GetControlStyle().Contains(csDoubleClicks))
        Params.ClassStyle |= CS_DBLCLKS;
}

void TWinControl::CreateWnd() {
    TCreateParams Params;
    CreateParams(Params);
    const HWND Wnd = WindowService().CreateWindowHandle(Params, this);
    assert(Wnd != 0 && FHandle == Wnd && "the platform announces the handle before messages");
    FHandle = Wnd;
    WindowService().SetWindowCursor(FHandle, GetCursor());
}

void TWinControl::DestroyWnd() {
    const HWND Wnd = FHandle;
    if (Wnd == 0)
        return;
    if (WindowServiceInstalled() && WindowService().IsWindow(Wnd))
        WindowService().DestroyWindowHandle(Wnd);
    FHandle = 0;
}

void TWinControl::RecreateWnd() {
    if (FHandle == 0)
        return;
    DestroyHandle();
    HandleNeeded();
}

void TWinControl::SetParent(TWinControl* AParent) {
    if (AParent == FParent)
        return;
    DestroyHandle();
    TControl::SetParent(AParent);
}

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    FLeft = ALeft;
    FTop = ATop;
    FWidth = std::max(0, AWidth);
    FHeight = std::max(0, AHeight);
    if (FHandle != 0)
        WindowService().SetWindowBounds(FHandle, FLeft, FTop, FWidth, FHeight);
}

TRect TWinControl::GetClientRect() const {
    if (FHandle != 0)
        return WindowService().GetClientRect(FHandle);
    return TControl::GetClientRect();
}

void TWinControl::SetVisible(bool Value) {
    if (GetVisible() == Value)
        return;
    TControl::SetVisible(Value);
    if (FHandle != 0)
        WindowService().ShowWindow(FHandle, Value);
}

void TWinControl::SetCursor(TCursor Value) {
    TControl::SetCursor(Value);
    if (FHandle != 0)
        WindowService().SetWindowCursor(FHandle, Value);
}

bool TWinControl::Focused() const {
    return FHandle != 0 && FocusService().GetFocus() == FHandle;
}

bool TWinControl::CanFocus() const {
    for (const TControl* C = this; C != nullptr; C = C->GetParent())
        if (!C->GetVisible() || !C->GetEnabled())
            return false;
    return true;
}

void TWinControl::SetFocus() {
    FocusService().SetFocus(GetHandle());
}

void TWinControl::InsertControl(TControl* AControl) {
    assert(AControl->FParent == nullptr && "control already has a parent");
    FControls.push_back(AControl);
    AControl->FParent = this;
}

void TWinControl::RemoveControl(TControl* AControl) {
    const auto It = std::find(FControls.begin(), FControls.end(), AControl);
    if (It == FControls.end())
        return;
    if (auto* Win = dynamic_cast<TWinControl*>(AControl))
        Win->DestroyHandle();
    FControls.erase(It);
    AControl->FParent = nullptr;
}

void TWinControl::Invalidate() {
    if (FHandle != 0)
        PaintService().InvalidateRect(FHandle, nullptr, !GetControlStyle().Contains(csOpaque));
}

void TWinControl::Update() {
    if (FHandle != 0)
        UpdateWindow(FHandle);
}

void TWinControl::DefaultHandler(TMessage& Message) {
    if (FHandle != 0)
        Message.Result = DefWindowProc(FHandle, Message.Msg, Message.WParam, Message.LParam);
    else
        Message.Result = 0;
}

void TWinControl::WindowMessage(TMessage& Message) {
    WndProc(Message);
}

void TWinControl::KeyDown(std::uint16_t& Key, TShiftState Shift) {
    if (FOnKeyDown)
        FOnKeyDown(this, Key, Shift);
}

void TWinControl::KeyUp(std::uint16_t& Key, TShiftState Shift) {
    if (FOnKeyUp)
        FOnKeyUp(this, Key, Shift);
}

void TWinControl::KeyPress(char& Key) {
    if (FOnKeyPress)
        FOnKeyPress(this, Key);
}

bool TWinControl::DoKeyDown(TMessage& Message) {
    std::uint16_t Key = TWMKey(Message).CharCode();
    KeyDown(Key, GetShiftState() - TShiftState{ssLeft, ssRight, ssMiddle});
    if (Key == 0)
        return true;
    Message.WParam = Key;
    return false;
}

bool TWinControl::DoKeyPress(TMessage& Message) {
    char Key = static_cast<char>(TWMKey(Message).CharCode() & 0xFF);
    KeyPress(Key);
    if (Key == 0)
        return true;
    Message.WParam = static_cast<std::uint8_t>(Key);
    return false;
}

void TWinControl::WMSize(TMessage& Message) {
    DefaultHandler(Message);
}

void TWinControl::WMKeyDown(TMessage& Message) {
    if (!DoKeyDown(Message))
        DefaultHandler(Message);
}

void TWinControl::WMSysKeyDown(TMessage& Message) {
    if (!DoKeyDown(Message))
        DefaultHandler(Message);
}

void TWinControl::WMKeyUp(TMessage& Message) {
    std::uint16_t Key = TWMKey(Message).CharCode();
    KeyUp(Key, GetShiftState() - TShiftState{ssLeft, ssRight, ssMiddle});
    if (Key != 0)
        DefaultHandler(Message);
}

void TWinControl::WMChar(TMessage& Message) {
    if (!DoKeyPress(Message))
        DefaultHandler(Message);
}

void TWinControl::WMSetFocus(TMessage& Message) {
    DefaultHandler(Message);
}
void TWinControl::WMKillFocus(TMessage& Message) {
    DefaultHandler(Message);
}

void TWinControl::WMDestroy(TMessage& Message) {
    DefaultHandler(Message);
    // The window goes with its parent's: forget the handle so it is made again on next use.
    if (!FDestroyingHandle)
        FHandle = 0;
}

// TControlCanvas ---------------------------------------------------------------------------

TControlCanvas::~TControlCanvas() {
    ReleaseHandle();
}

void TControlCanvas::SetControl(TWinControl* AControl) {
    if (FControl == AControl)
        return;
    ReleaseHandle();
    FControl = AControl;
}

void TControlCanvas::ReleaseHandle() {
    if (FDeviceContext == nullptr)
        return;
    const HDC DC = FDeviceContext;
    FDeviceContext = nullptr;
    SetHandle(nullptr);
    if (WindowServiceInstalled() && WindowService().IsWindow(FWindowHandle))
        PaintService().ReleaseDC(FWindowHandle, DC);
    FWindowHandle = 0;
}

void TControlCanvas::CreateHandle() {
    if (FControl == nullptr)
        return;
    FWindowHandle = FControl->GetHandle();
    FDeviceContext = PaintService().GetDC(FWindowHandle);
    SetHandle(FDeviceContext);
}

// TCustomControl ---------------------------------------------------------------------------

TCustomControl::TCustomControl(TComponent* AOwner)
    : TWinControl(AOwner), FCanvas(std::make_unique<TControlCanvas>()) {
    FCanvas->SetControl(this);
}

TCustomControl::~TCustomControl() {
    FCanvas->ReleaseHandle();
}

void TCustomControl::WMPaint(TMessage& Message) {
    TPaintStruct PS;
    const HWND Wnd = GetHandle();
    const HDC DC = PaintService().BeginPaint(Wnd, PS);
    {
        const TScopeExit Ending([&] {
            FCanvas->SetHandle(nullptr);
            PaintService().EndPaint(Wnd, PS);
        });
        FCanvas->ReleaseHandle();
        FCanvas->SetHandle(DC);
        Paint();
    }
    Message.Result = 0;
}

void TCustomControl::DestroyWnd() {
    FCanvas->ReleaseHandle();
    TWinControl::DestroyWnd();
}

} // namespace kestrel
