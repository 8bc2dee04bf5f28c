// THeadlessWindowPlatform: windows (making, placing, showing, destroying, delivering their
// messages), focus and capture.
#include "host/headless/window_system.h"

#include "host/exceptions.h"
#include "host/headless/window_record.h"
#include "host/window_platform.h"

#include <algorithm>
#include <utility>

namespace kestrel::headless {

THeadlessWindowPlatform::THeadlessWindowPlatform() = default;

THeadlessWindowPlatform::~THeadlessWindowPlatform() = default;

THeadlessWindowPlatform::TWindow* THeadlessWindowPlatform::Find(HWND Wnd) {
    const auto It = FWindows.find(Wnd);
    return It == FWindows.end() ? nullptr : It->second.get();
}

const THeadlessWindowPlatform::TWindow* THeadlessWindowPlatform::Find(HWND Wnd) const {
    const auto It = FWindows.find(Wnd);
    return It == FWindows.end() ? nullptr : It->second.get();
}

THeadlessWindowPlatform::TWindow& THeadlessWindowPlatform::Get(HWND Wnd) {
    TWindow* W = Find(Wnd);
    if (W == nullptr)
        throw EInvalidOperation("Invalid window handle");
    return *W;
}

const THeadlessWindowPlatform::TWindow& THeadlessWindowPlatform::Get(HWND Wnd) const {
    const TWindow* W = Find(Wnd);
    if (W == nullptr)
        throw EInvalidOperation("Invalid window handle");
    return *W;
}

int THeadlessWindowPlatform::BorderOf(const TWindow& W) const {
    if ((W.Style & WS_THICKFRAME) != 0)
        return 3;
    if ((W.Style & WS_BORDER) != 0)
        return 1;
    return 0;
}

TRect THeadlessWindowPlatform::ClientOf(const TWindow& W) const {
    const int B = BorderOf(W);
    int Width = W.Width - 2 * B - (W.Bars[SB_VERT].Visible ? HeadlessScrollBarSize : 0);
    int Height = W.Height - 2 * B - (W.Bars[SB_HORZ].Visible ? HeadlessScrollBarSize : 0);
    return TRect{0, 0, std::max(0, Width), std::max(0, Height)};
}

TPoint THeadlessWindowPlatform::ClientOrigin(const TWindow& W) const {
    TPoint P{W.X + BorderOf(W), W.Y + BorderOf(W)};
    if (const TWindow* Parent = Find(W.Parent)) {
        const TPoint Q = ClientOrigin(*Parent);
        P.X += Q.X;
        P.Y += Q.Y;
    }
    return P;
}

HWND THeadlessWindowPlatform::CreateWindowHandle(const TCreateParams& Params,
                                                 TWindowTarget* Target) {
    if (Params.WndParent != 0 && Find(Params.WndParent) == nullptr)
        throw EInvalidOperation("Invalid parent window handle");
    auto W = std::make_unique<TWindow>();
    W->Handle = FNextHandle++;
    W->Parent = Params.WndParent;
    W->Target = Target;
    W->Caption = Params.Caption;
    W->Style = Params.Style;
    W->ClassStyle = Params.ClassStyle;
    W->X = Params.X;
    W->Y = Params.Y;
    W->Width = std::max(0, Params.Width);
    W->Height = std::max(0, Params.Height);
    W->Visible = (Params.Style & WS_VISIBLE) != 0;
    W->Bars[SB_HORZ].Visible = (Params.Style & WS_HSCROLL) != 0;
    W->Bars[SB_VERT].Visible = (Params.Style & WS_VSCROLL) != 0;
    W->Bars[SB_HORZ].Max = W->Bars[SB_VERT].Max = 100;
    const TRect Client = ClientOf(*W);
    W->Surface = std::make_unique<TSurface>(Client.Right, Client.Bottom, ColorToRGB(clWindow));
    W->Region.push_back(Client);
    W->EraseRequested = true;
    const HWND Handle = W->Handle;
    TWindow& Ref = *W;
    FWindows.emplace(Handle, std::move(W));
    FCreationOrder.push_back(Handle);
    if (Target != nullptr)
        Target->HandleCreated(Handle);
    SendMessage(Handle, WM_CREATE, 0, 0);
    if (Find(Handle) == &Ref) {
        const TRect C = ClientOf(Ref);
        SendMessage(Handle, WM_SIZE, 0, MAKELPARAM(C.Right, C.Bottom));
    }
    return Handle;
}

void THeadlessWindowPlatform::DestroyWindowHandle(HWND Wnd) {
    TWindow* W = Find(Wnd);
    if (W == nullptr || W->Destroying)
        return;
    W->Destroying = true;
    if (FFocus == Wnd) {
        FFocus = 0;
        SendMessage(Wnd, WM_KILLFOCUS, 0, 0);
    }
    SendMessage(Wnd, WM_DESTROY, 0, 0);
    std::vector<HWND> Children;
    for (const auto& [Handle, Child] : FWindows)
        if (Child->Parent == Wnd)
            Children.push_back(Handle);
    for (HWND Child : Children)
        DestroyWindowHandle(Child);
    if (FCaret.Owner == Wnd)
        FCaret = THeadlessCaret{};
    if (FCapture == Wnd)
        FCapture = 0;
    if (FFocus == Wnd)
        FFocus = 0;
    NotifyWindowDestroyed(Wnd);
    std::erase(FCreationOrder, Wnd);
    FWindows.erase(Wnd);
}

bool THeadlessWindowPlatform::IsWindow(HWND Wnd) const {
    return Find(Wnd) != nullptr;
}

void THeadlessWindowPlatform::ClientSizeChanged(TWindow& W, int OldWidth, int OldHeight) {
    const TRect C = ClientOf(W);
    if (C.Right == OldWidth && C.Bottom == OldHeight)
        return;
    // The pixels both sizes share are kept; a surface never drawn on stays unallocated.
    auto Resized = std::make_unique<TSurface>(C.Right, C.Bottom, ColorToRGB(clWindow));
    Resized->CopyRect(0, 0, W.Surface->GetWidth(), W.Surface->GetHeight(), *W.Surface, 0, 0);
    W.Surface = std::move(Resized);
    for (const auto& DC : W.DCs)
        DC->SetSurface(W.Surface.get());
    // Windows of the framework's class repaint whole on every size change.
    std::vector<TRect> Kept;
    for (const TRect& R : W.Region) {
        const TRect I = IntersectRect(R, C);
        if (!IsRectEmpty(I))
            Kept.push_back(I);
    }
    W.Region = std::move(Kept);
    AddToRegion(W, C);
    W.EraseRequested = true;
    SendMessage(W.Handle, WM_SIZE, 0, MAKELPARAM(C.Right, C.Bottom));
}

void THeadlessWindowPlatform::SetWindowBounds(HWND Wnd, int X, int Y, int Width, int Height) {
    TWindow& W = Get(Wnd);
    const TRect Old = ClientOf(W);
    W.X = X;
    W.Y = Y;
    W.Width = std::max(0, Width);
    W.Height = std::max(0, Height);
    ClientSizeChanged(W, Old.Right, Old.Bottom);
}

void THeadlessWindowPlatform::ShowWindow(HWND Wnd, bool Show) {
    TWindow& W = Get(Wnd);
    if (W.Visible == Show)
        return;
    W.Visible = Show;
    if (Show) {
        W.Style |= WS_VISIBLE;
        AddToRegion(W, ClientOf(W));
        W.EraseRequested = true;
    } else {
        W.Style &= ~static_cast<std::uint32_t>(WS_VISIBLE);
    }
    SendMessage(Wnd, WM_SHOWWINDOW, Show ? 1 : 0, 0);
}

bool THeadlessWindowPlatform::IsWindowVisible(HWND Wnd) const {
    for (const TWindow* W = Find(Wnd); W != nullptr; W = Find(W->Parent))
        if (!W->Visible)
            return false;
    return Find(Wnd) != nullptr;
}

TRect THeadlessWindowPlatform::GetWindowRect(HWND Wnd) const {
    const TWindow& W = Get(Wnd);
    const TPoint Origin = ClientOrigin(W);
    const int B = BorderOf(W);
    return TRect{Origin.X - B, Origin.Y - B, Origin.X - B + W.Width, Origin.Y - B + W.Height};
}

TRect THeadlessWindowPlatform::GetClientRect(HWND Wnd) const {
    return ClientOf(Get(Wnd));
}

TPoint THeadlessWindowPlatform::GetClientOrigin(HWND Wnd) const {
    return ClientOrigin(Get(Wnd));
}

std::vector<HWND> THeadlessWindowPlatform::GetWindows() const {
    return FCreationOrder;
}

std::uint32_t THeadlessWindowPlatform::GetWindowStyle(HWND Wnd) const {
    return Get(Wnd).Style;
}

std::uint32_t THeadlessWindowPlatform::GetWindowClassStyle(HWND Wnd) const {
    return Get(Wnd).ClassStyle;
}

const std::string& THeadlessWindowPlatform::GetWindowCaption(HWND Wnd) const {
    return Get(Wnd).Caption;
}

void THeadlessWindowPlatform::Deliver(TWindow& W, TMessage& Message) {
    if (W.Target != nullptr)
        W.Target->WindowMessage(Message);
    else
        Message.Result = DefWindowProc(W.Handle, Message.Msg, Message.WParam, Message.LParam);
}

LRESULT THeadlessWindowPlatform::SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    TWindow* W = Find(Wnd);
    if (W == nullptr)
        return 0;
    TMessage Message{Msg, WParam, LParam, 0};
    Deliver(*W, Message);
    return Message.Result;
}

HWND THeadlessWindowPlatform::SetFocus(HWND Wnd) {
    const HWND Old = FFocus;
    if (Wnd == Old || (Wnd != 0 && Find(Wnd) == nullptr))
        return Old;
    FFocus = Wnd;
    if (Old != 0)
        SendMessage(Old, WM_KILLFOCUS, Wnd, 0);
    if (Wnd != 0 && FFocus == Wnd)
        SendMessage(Wnd, WM_SETFOCUS, Old, 0);
    return Old;
}

void THeadlessWindowPlatform::SetWindowCursor(HWND Wnd, TCursor Cursor) {
    if (TWindow* W = Find(Wnd))
        W->Cursor = Cursor;
}

TCursor THeadlessWindowPlatform::GetWindowCursor(HWND Wnd) const {
    return Get(Wnd).Cursor;
}

} // namespace kestrel::headless
