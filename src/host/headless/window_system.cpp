// THeadlessWindowPlatform and THeadlessPlatformScope.
#include "host/headless/window_system.h"

#include "host/exceptions.h"
#include "host/sysutils.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cstdlib>

namespace kestrel::headless {

struct THeadlessWindowPlatform::TWindow {
    HWND Handle = 0;
    HWND Parent = 0;
    TWindowTarget* Target = nullptr;
    std::string Caption;
    std::uint32_t Style = 0;
    std::uint32_t ClassStyle = 0;
    int X = 0; // outer bounds, relative to the parent's client area (or the screen)
    int Y = 0;
    int Width = 0;
    int Height = 0;
    bool Visible = false;
    THeadlessScrollBar Bars[2];
    std::vector<TRect> Region; // update region: disjoint rectangles inside the client area
    bool EraseRequested = false;
    TCursor Cursor = crDefault;
    std::unique_ptr<TSurface> Surface;             // client pixels
    TDrawRecord Record;                            // drawing calls on the client area
    std::vector<std::unique_ptr<THeadlessDC>> DCs; // contexts handed out and not yet released
    bool Destroying = false;
};

namespace {

std::string Lower(std::string S) {
    for (char& C : S)
        C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    return S;
}

bool Intersects(const TRect& A, const TRect& B) {
    return A.Left < B.Right && B.Left < A.Right && A.Top < B.Bottom && B.Top < A.Bottom;
}

bool IsEmpty(const TRect& R) {
    return R.Right <= R.Left || R.Bottom <= R.Top;
}

TRect Intersection(const TRect& A, const TRect& B) {
    return TRect{std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
                 std::min(A.Bottom, B.Bottom)};
}

// The parts of A outside B (up to four disjoint rectangles).
std::vector<TRect> Subtract(const TRect& A, const TRect& B) {
    if (!Intersects(A, B))
        return {A};
    std::vector<TRect> Out;
    const TRect I = Intersection(A, B);
    if (A.Top < I.Top)
        Out.push_back(TRect{A.Left, A.Top, A.Right, I.Top});
    if (I.Bottom < A.Bottom)
        Out.push_back(TRect{A.Left, I.Bottom, A.Right, A.Bottom});
    if (A.Left < I.Left)
        Out.push_back(TRect{A.Left, I.Top, I.Left, I.Bottom});
    if (I.Right < A.Right)
        Out.push_back(TRect{I.Right, I.Top, A.Right, I.Bottom});
    return Out;
}

bool InRange(UINT Msg, UINT Min, UINT Max) {
    return (Min == 0 && Max == 0) || (Msg >= Min && Msg <= Max);
}

// The character a key-down produces on a plain US layout, or 0.
int CharOfKey(int VirtKey, bool Shift, bool Ctrl) {
    if (VirtKey >= 'A' && VirtKey <= 'Z') {
        if (Ctrl)
            return VirtKey - 'A' + 1;
        return Shift ? VirtKey : VirtKey - 'A' + 'a';
    }
    if (Ctrl)
        return 0;
    if (VirtKey >= '0' && VirtKey <= '9')
        return Shift ? ")!@#$%^&*("[VirtKey - '0'] : VirtKey;
    switch (VirtKey) {
    case VK_SPACE:
        return ' ';
    case VK_RETURN:
        return 13;
    case VK_ESCAPE:
        return 27;
    case VK_BACK:
        return 8;
    case VK_TAB:
        return 9;
    default:
        return 0;
    }
}

} // namespace

THeadlessWindowPlatform::THeadlessWindowPlatform() = default;

THeadlessWindowPlatform::~THeadlessWindowPlatform() {
    for (const auto& [Format, Block] : FClipboardData)
        GlobalFree(Block);
}

// Windows ----------------------------------------------------------------------------------

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
    std::erase_if(FTimers, [Wnd](const THeadlessTimer& T) { return T.Window == Wnd; });
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
        const TRect I = Intersection(R, C);
        if (!IsEmpty(I))
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

TPoint THeadlessWindowPlatform::ClientToScreen(HWND Wnd, TPoint P) const {
    const TPoint O = ClientOrigin(Get(Wnd));
    return TPoint{P.X + O.X, P.Y + O.Y};
}

TPoint THeadlessWindowPlatform::ScreenToClient(HWND Wnd, TPoint P) const {
    const TPoint O = ClientOrigin(Get(Wnd));
    return TPoint{P.X - O.X, P.Y - O.Y};
}

std::vector<HWND> THeadlessWindowPlatform::GetWindows() const {
    return FCreationOrder;
}

std::uint32_t THeadlessWindowPlatform::GetWindowStyle(HWND Wnd) const {
    return Get(Wnd).Style;
}

const std::string& THeadlessWindowPlatform::GetWindowCaption(HWND Wnd) const {
    return Get(Wnd).Caption;
}

// Messages ---------------------------------------------------------------------------------

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

bool THeadlessWindowPlatform::PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (Wnd != 0 && Find(Wnd) == nullptr)
        return false;
    FQueue.push_back(TMsg{Wnd, Msg, WParam, LParam, FClock, FCursorPos});
    return true;
}

void THeadlessWindowPlatform::PostQuitMessage(int ExitCode) {
    FQuitPosted = true;
    FQuitCode = ExitCode;
}

bool THeadlessWindowPlatform::PeekMessage(TMsg& Msg, HWND Wnd, UINT FilterMin, UINT FilterMax,
                                          bool Remove) {
    auto Accepts = [&](HWND Target, UINT M) {
        return (Wnd == 0 || Target == Wnd) && InRange(M, FilterMin, FilterMax);
    };
    // Posted messages (input included) first, in order.
    for (auto It = FQueue.begin(); It != FQueue.end(); ++It) {
        if (!Accepts(It->hwnd, It->message))
            continue;
        Msg = *It;
        if (Remove)
            FQueue.erase(It);
        return true;
    }
    if (FQuitPosted && InRange(WM_QUIT, FilterMin, FilterMax)) {
        Msg = TMsg{0, WM_QUIT, static_cast<WPARAM>(FQuitCode), 0, FClock, FCursorPos};
        if (Remove)
            FQuitPosted = false;
        return true;
    }
    // Then a paint request of a window with something to paint (it stays until validated).
    for (HWND H : FCreationOrder) {
        const TWindow& W = *FWindows.at(H);
        if (!W.Region.empty() && IsWindowVisible(H) && Accepts(H, WM_PAINT)) {
            Msg = TMsg{H, WM_PAINT, 0, 0, FClock, FCursorPos};
            return true;
        }
    }
    // Then due timers; each fires once however late it is, and is due again one interval on.
    for (THeadlessTimer& T : FTimers) {
        if (T.Due <= FClock && Accepts(T.Window, WM_TIMER)) {
            Msg = TMsg{T.Window, WM_TIMER, T.ID, 0, FClock, FCursorPos};
            if (Remove)
                T.Due = FClock + std::max<UINT>(1, T.Elapse);
            return true;
        }
    }
    return false;
}

bool THeadlessWindowPlatform::TranslateMessage(const TMsg& Msg) {
    if (Msg.message != WM_KEYDOWN && Msg.message != WM_SYSKEYDOWN)
        return false;
    const int Ch =
        CharOfKey(static_cast<int>(Msg.wParam & 0xFF), FKeys[VK_SHIFT], FKeys[VK_CONTROL]);
    if (Ch == 0)
        return false;
    // The character comes next, before any later input.
    FQueue.push_front(TMsg{Msg.hwnd, Msg.message == WM_KEYDOWN ? UINT{WM_CHAR} : UINT{WM_SYSCHAR},
                           static_cast<WPARAM>(Ch), Msg.lParam, FClock, FCursorPos});
    return true;
}

LRESULT THeadlessWindowPlatform::DispatchMessage(const TMsg& Msg) {
    return SendMessage(Msg.hwnd, Msg.message, Msg.wParam, Msg.lParam);
}

LRESULT THeadlessWindowPlatform::DefWindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM) {
    TWindow* W = Find(Wnd);
    if (W == nullptr)
        return 0;
    switch (Msg) {
    case WM_PAINT: {
        TPaintStruct PS;
        BeginPaint(Wnd, PS);
        EndPaint(Wnd, PS);
        return 0;
    }
    case WM_ERASEBKGND:
        if (auto* DC = dynamic_cast<THeadlessDC*>(reinterpret_cast<HDC>(WParam)))
            DC->FillRect(ClientOf(*W), TBrushDesc{bsSolid, ColorToRGB(clWindow)});
        else
            W->Surface->Fill(ClientOf(*W), ColorToRGB(clWindow));
        return 1;
    case WM_CLOSE:
        DestroyWindowHandle(Wnd);
        return 0;
    default:
        return 0;
    }
}

// Painting ---------------------------------------------------------------------------------

void THeadlessWindowPlatform::AddToRegion(TWindow& W, const TRect& R) {
    std::vector<TRect> Pieces{Intersection(R, ClientOf(W))};
    if (IsEmpty(Pieces[0]))
        return;
    for (const TRect& Existing : W.Region) {
        std::vector<TRect> Next;
        for (const TRect& P : Pieces)
            for (const TRect& Q : Subtract(P, Existing))
                Next.push_back(Q);
        Pieces = std::move(Next);
    }
    W.Region.insert(W.Region.end(), Pieces.begin(), Pieces.end());
}

void THeadlessWindowPlatform::SubtractFromRegion(TWindow& W, const TRect& R) {
    std::vector<TRect> Next;
    for (const TRect& P : W.Region)
        for (const TRect& Q : Subtract(P, R))
            Next.push_back(Q);
    W.Region = std::move(Next);
    if (W.Region.empty())
        W.EraseRequested = false;
}

void THeadlessWindowPlatform::InvalidateRect(HWND Wnd, const TRect* Rect, bool Erase) {
    TWindow* W = Find(Wnd);
    if (W == nullptr)
        return;
    const TRect R = Rect != nullptr ? *Rect : ClientOf(*W);
    const std::size_t Before = W->Region.size();
    AddToRegion(*W, R);
    if (Erase && (W->Region.size() != Before || !W->Region.empty()))
        W->EraseRequested = true;
}

void THeadlessWindowPlatform::ValidateRect(HWND Wnd, const TRect* Rect) {
    TWindow* W = Find(Wnd);
    if (W == nullptr)
        return;
    if (Rect == nullptr) {
        W->Region.clear();
        W->EraseRequested = false;
    } else {
        SubtractFromRegion(*W, *Rect);
    }
}

bool THeadlessWindowPlatform::GetUpdateRect(HWND Wnd, TRect& Rect) const {
    const TWindow* W = Find(Wnd);
    if (W == nullptr || W->Region.empty()) {
        Rect = TRect{0, 0, 0, 0};
        return false;
    }
    Rect = W->Region.front();
    for (const TRect& R : W->Region)
        Rect = TRect{std::min(Rect.Left, R.Left), std::min(Rect.Top, R.Top),
                     std::max(Rect.Right, R.Right), std::max(Rect.Bottom, R.Bottom)};
    return true;
}

std::vector<TRect> THeadlessWindowPlatform::GetUpdateRegion(HWND Wnd) const {
    return Get(Wnd).Region;
}

void THeadlessWindowPlatform::UpdateWindow(HWND Wnd) {
    TWindow* W = Find(Wnd);
    if (W != nullptr && !W->Region.empty() && IsWindowVisible(Wnd))
        SendMessage(Wnd, WM_PAINT, 0, 0);
}

void THeadlessWindowPlatform::ScrollWindowEx(HWND Wnd, int DX, int DY, UINT Flags) {
    TWindow& W = Get(Wnd);
    const TRect C = ClientOf(W);
    // Move the pixels that stay inside the client area (the copy handles the overlap).
    const TRect Moving = Intersection(C, W.Surface->GetBounds());
    const TRect To = ClipBounds(static_cast<std::int64_t>(Moving.Left) + DX,
                                static_cast<std::int64_t>(Moving.Top) + DY, Moving.Width(),
                                Moving.Height(), Moving);
    if (!IsEmpty(To))
        W.Surface->CopyRect(To.Left, To.Top, To.Width(), To.Height(), *W.Surface,
                            static_cast<std::int64_t>(To.Left) - DX,
                            static_cast<std::int64_t>(To.Top) - DY);
    // Pending invalid areas travel with the contents.
    std::vector<TRect> Moved;
    for (const TRect& R : W.Region) {
        const TRect M = ClipBounds(static_cast<std::int64_t>(R.Left) + DX,
                                   static_cast<std::int64_t>(R.Top) + DY, R.Width(), R.Height(), C);
        if (!IsEmpty(M))
            Moved.push_back(M);
    }
    W.Region = std::move(Moved);
    if ((Flags & SW_INVALIDATE) == 0)
        return;
    const TRect Kept = ClipBounds(static_cast<std::int64_t>(C.Left) + DX,
                                  static_cast<std::int64_t>(C.Top) + DY, C.Width(), C.Height(), C);
    for (const TRect& Uncovered : Subtract(C, Kept))
        AddToRegion(W, Uncovered);
    if ((Flags & SW_ERASE) != 0 && !W.Region.empty())
        W.EraseRequested = true;
}

HDC THeadlessWindowPlatform::NewDC(TWindow& W, const TRect* Clip) {
    TDeviceInfo Info;
    if (GraphicsPlatformInstalled())
        if (auto* Screen = dynamic_cast<THeadlessDC*>(GraphicsPlatform().GetScreenDC()))
            Info = Screen->GetInfo();
    auto DC = std::make_unique<THeadlessDC>(Info, W.Surface.get(), &W.Record);
    // The context's empty rectangle means "no clip"; an empty paint gets one outside the
    // surface instead, so that it draws nothing.
    if (Clip != nullptr)
        DC->SetClipRect(IsEmpty(*Clip) ? TRect{-2, -2, -1, -1} : *Clip);
    W.DCs.push_back(std::move(DC));
    return W.DCs.back().get();
}

void THeadlessWindowPlatform::FreeDC(TWindow& W, HDC DC) {
    std::erase_if(W.DCs, [DC](const std::unique_ptr<THeadlessDC>& D) { return D.get() == DC; });
}

HDC THeadlessWindowPlatform::BeginPaint(HWND Wnd, TPaintStruct& Paint) {
    TWindow& W = Get(Wnd);
    Paint = TPaintStruct{};
    GetUpdateRect(Wnd, Paint.rcPaint);
    HideCaret(Wnd);
    Paint.hdc = NewDC(W, &Paint.rcPaint);
    Paint.fErase = W.EraseRequested;
    W.Region.clear();
    W.EraseRequested = false;
    if (Paint.fErase)
        Paint.fErase =
            SendMessage(Wnd, WM_ERASEBKGND, reinterpret_cast<std::uintptr_t>(Paint.hdc), 0) == 0;
    return Paint.hdc;
}

void THeadlessWindowPlatform::EndPaint(HWND Wnd, const TPaintStruct& Paint) {
    if (TWindow* W = Find(Wnd)) {
        FreeDC(*W, Paint.hdc);
        ShowCaret(Wnd);
    }
}

HDC THeadlessWindowPlatform::GetDC(HWND Wnd) {
    return NewDC(Get(Wnd), nullptr);
}

void THeadlessWindowPlatform::ReleaseDC(HWND Wnd, HDC DC) {
    if (TWindow* W = Find(Wnd))
        FreeDC(*W, DC);
}

TSurface& THeadlessWindowPlatform::GetWindowSurface(HWND Wnd) {
    return *Get(Wnd).Surface;
}

TDrawRecord& THeadlessWindowPlatform::GetWindowRecord(HWND Wnd) {
    return Get(Wnd).Record;
}

// Scroll bars ------------------------------------------------------------------------------

void THeadlessWindowPlatform::SetScrollInfo(HWND Wnd, int Bar, const TScrollInfo& Info, bool) {
    if (Bar != SB_HORZ && Bar != SB_VERT)
        return;
    THeadlessScrollBar& S = Get(Wnd).Bars[Bar];
    if ((Info.Mask & SIF_RANGE) != 0) {
        S.Min = Info.Min;
        S.Max = Info.Max;
    }
    if ((Info.Mask & SIF_PAGE) != 0)
        S.Page = std::max<std::int64_t>(0, Info.Page);
    if ((Info.Mask & SIF_POS) != 0)
        S.Pos = Info.Pos;
    // The position stays where the thumb can be.
    const std::int64_t Top = std::max(S.Min, S.Max - std::max<std::int64_t>(S.Page - 1, 0));
    S.Pos = std::clamp(S.Pos, S.Min, Top);
}

bool THeadlessWindowPlatform::GetScrollInfo(HWND Wnd, int Bar, TScrollInfo& Info) const {
    if (Bar != SB_HORZ && Bar != SB_VERT)
        return false;
    const THeadlessScrollBar& S = Get(Wnd).Bars[Bar];
    Info.Min = S.Min;
    Info.Max = S.Max;
    Info.Page = S.Page;
    Info.Pos = S.Pos;
    Info.TrackPos = S.Pos;
    return true;
}

void THeadlessWindowPlatform::ShowScrollBar(HWND Wnd, int Bar, bool Show) {
    TWindow& W = Get(Wnd);
    const TRect Old = ClientOf(W);
    bool Changed = false;
    for (int B : {SB_HORZ, SB_VERT}) {
        if (Bar != B && Bar != SB_BOTH)
            continue;
        Changed = Changed || W.Bars[B].Visible != Show;
        W.Bars[B].Visible = Show;
        const std::uint32_t Style = B == SB_HORZ ? WS_HSCROLL : WS_VSCROLL;
        W.Style = Show ? (W.Style | Style) : (W.Style & ~Style);
    }
    if (Changed)
        ClientSizeChanged(W, Old.Right, Old.Bottom);
}

const THeadlessScrollBar& THeadlessWindowPlatform::GetScrollBar(HWND Wnd, int Bar) const {
    assert((Bar == SB_HORZ || Bar == SB_VERT) && "a window has two standard bars");
    return Get(Wnd).Bars[Bar];
}

// Caret ------------------------------------------------------------------------------------

void THeadlessWindowPlatform::CreateCaret(HWND Wnd, HBITMAP Bitmap, int Width, int Height) {
    Get(Wnd);
    FCaret = THeadlessCaret{};
    FCaret.Owner = Wnd;
    FCaret.Bitmap = Bitmap;
    FCaret.Width = Width > 0 ? Width : 2;
    FCaret.Height = Height > 0 ? Height : 1;
}

void THeadlessWindowPlatform::DestroyCaret() {
    FCaret = THeadlessCaret{};
}

void THeadlessWindowPlatform::SetCaretPos(int X, int Y) {
    if (FCaret.Owner == 0)
        return;
    FCaret.X = X;
    FCaret.Y = Y;
}

void THeadlessWindowPlatform::ShowCaret(HWND Wnd) {
    if (FCaret.Owner == Wnd && FCaret.HideCount > 0)
        --FCaret.HideCount;
}

void THeadlessWindowPlatform::HideCaret(HWND Wnd) {
    if (FCaret.Owner == Wnd)
        ++FCaret.HideCount;
}

// Timers -----------------------------------------------------------------------------------

void THeadlessWindowPlatform::SetTimer(HWND Wnd, UINT ID, UINT Elapse) {
    Get(Wnd);
    KillTimer(Wnd, ID);
    FTimers.push_back(THeadlessTimer{Wnd, ID, Elapse, FClock + Elapse});
}

void THeadlessWindowPlatform::KillTimer(HWND Wnd, UINT ID) {
    std::erase_if(FTimers, [&](const THeadlessTimer& T) { return T.Window == Wnd && T.ID == ID; });
}

const THeadlessTimer* THeadlessWindowPlatform::FindTimer(HWND Wnd, UINT ID) const {
    for (const THeadlessTimer& T : FTimers)
        if (T.Window == Wnd && T.ID == ID)
            return &T;
    return nullptr;
}

// Focus, keys, cursor ----------------------------------------------------------------------

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

std::int16_t THeadlessWindowPlatform::GetKeyState(int VirtKey) const {
    if (VirtKey < 0 || VirtKey > 255)
        return 0;
    return FKeys[VirtKey] ? static_cast<std::int16_t>(0x8000) : std::int16_t{0};
}

void THeadlessWindowPlatform::SetWindowCursor(HWND Wnd, TCursor Cursor) {
    if (TWindow* W = Find(Wnd))
        W->Cursor = Cursor;
}

TCursor THeadlessWindowPlatform::GetWindowCursor(HWND Wnd) const {
    return Get(Wnd).Cursor;
}

UINT THeadlessWindowPlatform::GetDoubleClickTime() const {
    TRegValue Value;
    if (RegQueryValue(HKEY_CURRENT_USER, "Control Panel\\Mouse", "DoubleClickSpeed", Value)) {
        if (Value.Kind == TRegValue::rdInteger && Value.Number > 0)
            return static_cast<UINT>(Value.Number);
        const std::int64_t N = StrToIntDef(Value.Text, 0);
        if (Value.Kind == TRegValue::rdString && N > 0)
            return static_cast<UINT>(N);
    }
    return 500;
}

// Simulated input --------------------------------------------------------------------------

void THeadlessWindowPlatform::SetKeyState(int VirtKey, bool Down) {
    if (VirtKey >= 0 && VirtKey < 256)
        FKeys[VirtKey] = Down;
}

void THeadlessWindowPlatform::SetShiftState(TShiftState Shift) {
    FKeys[VK_SHIFT] = Shift.Contains(ssShift);
    FKeys[VK_CONTROL] = Shift.Contains(ssCtrl);
    FKeys[VK_MENU] = Shift.Contains(ssAlt);
}

void THeadlessWindowPlatform::PostKeyDown(int VirtKey) {
    SetKeyState(VirtKey, true);
    if (FFocus == 0)
        return;
    const bool System = FKeys[VK_MENU] && !FKeys[VK_CONTROL];
    PostMessage(FFocus, System ? WM_SYSKEYDOWN : WM_KEYDOWN, static_cast<WPARAM>(VirtKey),
                System ? LPARAM{1} << 29 : 0);
}

void THeadlessWindowPlatform::PostKeyUp(int VirtKey) {
    SetKeyState(VirtKey, false);
    if (FFocus == 0)
        return;
    const bool System = FKeys[VK_MENU] && !FKeys[VK_CONTROL];
    PostMessage(FFocus, System ? WM_SYSKEYUP : WM_KEYUP, static_cast<WPARAM>(VirtKey),
                System ? LPARAM{1} << 29 : 0);
}

void THeadlessWindowPlatform::PostKeyPress(int VirtKey) {
    PostKeyDown(VirtKey);
    PostKeyUp(VirtKey);
}

WPARAM THeadlessWindowPlatform::MouseKeys() const {
    WPARAM Keys = 0;
    if (FKeys[VK_LBUTTON])
        Keys |= MK_LBUTTON;
    if (FKeys[VK_RBUTTON])
        Keys |= MK_RBUTTON;
    if (FKeys[VK_MBUTTON])
        Keys |= MK_MBUTTON;
    if (FKeys[VK_SHIFT])
        Keys |= MK_SHIFT;
    if (FKeys[VK_CONTROL])
        Keys |= MK_CONTROL;
    return Keys;
}

void THeadlessWindowPlatform::PostMouse(HWND Wnd, UINT Msg, int X, int Y) {
    FCursorPos = ClientToScreen(Wnd, TPoint{X, Y});
    const HWND Target = FCapture != 0 ? FCapture : Wnd;
    const TPoint P = ScreenToClient(Target, FCursorPos);
    PostMessage(Target, Msg, MouseKeys(), MAKELPARAM(P.X, P.Y));
}

void THeadlessWindowPlatform::PostMouseDown(HWND Wnd, TMouseButton Button, int X, int Y) {
    static constexpr int Keys[] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};
    static constexpr UINT Down[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
    static constexpr UINT Double[] = {WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK};
    const TPoint Screen = ClientToScreen(Wnd, TPoint{X, Y});
    const bool Near = std::abs(Screen.X - FLastClickPos.X) <= HeadlessDoubleClickDistance &&
                      std::abs(Screen.Y - FLastClickPos.Y) <= HeadlessDoubleClickDistance;
    const HWND Target = FCapture != 0 ? FCapture : Wnd;
    const bool IsDouble = !FLastClickWasDouble && FLastClickWindow == Target &&
                          FLastClickButton == Button &&
                          FClock - FLastClickTime <= GetDoubleClickTime() && Near &&
                          (Get(Target).ClassStyle & CS_DBLCLKS) != 0;
    FLastClickWindow = Target;
    FLastClickButton = Button;
    FLastClickTime = FClock;
    FLastClickPos = Screen;
    FLastClickWasDouble = IsDouble;
    FKeys[Keys[Button]] = true;
    PostMouse(Wnd, IsDouble ? Double[Button] : Down[Button], X, Y);
}

void THeadlessWindowPlatform::PostMouseUp(HWND Wnd, TMouseButton Button, int X, int Y) {
    static constexpr int Keys[] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};
    static constexpr UINT Up[] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
    FKeys[Keys[Button]] = false;
    PostMouse(Wnd, Up[Button], X, Y);
}

void THeadlessWindowPlatform::PostMouseMove(HWND Wnd, int X, int Y) {
    PostMouse(Wnd, WM_MOUSEMOVE, X, Y);
}

void THeadlessWindowPlatform::PostMouseWheel(int Delta) {
    if (FFocus == 0)
        return;
    const WPARAM W = (static_cast<WPARAM>(static_cast<std::uint16_t>(Delta)) << 16) | MouseKeys();
    PostMessage(FFocus, WM_MOUSEWHEEL, W, MAKELPARAM(FCursorPos.X, FCursorPos.Y));
}

// Registry and clipboard formats -----------------------------------------------------------

std::string THeadlessWindowPlatform::RegPath(HKEY Root, const std::string& Path) const {
    std::string P = Lower(Path);
    while (!P.empty() && P.back() == '\\')
        P.pop_back();
    while (!P.empty() && P.front() == '\\')
        P.erase(P.begin());
    return std::to_string(Root) + (P.empty() ? "" : "\\" + P);
}

bool THeadlessWindowPlatform::RegKeyExists(HKEY Root, const std::string& Path) const {
    return Path.empty() || FRegistry.count(RegPath(Root, Path)) != 0;
}

bool THeadlessWindowPlatform::RegCreateKey(HKEY Root, const std::string& Path) {
    // Every key on the way exists afterwards.
    std::string Part;
    for (std::size_t I = 0; I <= Path.size(); ++I) {
        if (I == Path.size() || Path[I] == '\\') {
            if (!Part.empty())
                FRegistry[RegPath(Root, Part)];
        }
        if (I < Path.size())
            Part += Path[I];
    }
    return true;
}

bool THeadlessWindowPlatform::RegQueryValue(HKEY Root, const std::string& Path,
                                            const std::string& Name, TRegValue& Value) const {
    const auto Key = FRegistry.find(RegPath(Root, Path));
    if (Key == FRegistry.end())
        return false;
    const auto It = Key->second.find(Lower(Name));
    if (It == Key->second.end())
        return false;
    Value = It->second;
    return true;
}

bool THeadlessWindowPlatform::RegSetValue(HKEY Root, const std::string& Path,
                                          const std::string& Name, const TRegValue& Value) {
    RegCreateKey(Root, Path);
    FRegistry[RegPath(Root, Path)][Lower(Name)] = Value;
    return true;
}

bool THeadlessWindowPlatform::RegDeleteValue(HKEY Root, const std::string& Path,
                                             const std::string& Name) {
    const auto Key = FRegistry.find(RegPath(Root, Path));
    return Key != FRegistry.end() && Key->second.erase(Lower(Name)) != 0;
}

UINT THeadlessWindowPlatform::RegisterClipboardFormat(const std::string& Name) {
    if (Name.empty())
        return 0;
    const auto [It, Inserted] = FClipboardFormats.emplace(Lower(Name), FNextClipboardFormat);
    if (Inserted)
        ++FNextClipboardFormat;
    return It->second;
}

// Clipboard ---------------------------------------------------------------------------------

bool THeadlessWindowPlatform::OpenClipboard(HWND Owner) {
    if (Owner != 0 && Find(Owner) == nullptr)
        return false;
    if (FClipboardOpen)
        return FClipboardOwner == Owner; // the holder may open it again; anyone else waits
    FClipboardOpen = true;
    FClipboardOwner = Owner;
    FClipboardDirty = false;
    return true;
}

bool THeadlessWindowPlatform::CloseClipboard() {
    if (!FClipboardOpen)
        return false;
    FClipboardOpen = false;
    FClipboardOwner = 0;
    if (FClipboardDirty) {
        FClipboardDirty = false;
        ++FClipboardChanges;
        // The viewers hear of the change once the new content is complete.
        if (FClipboardViewer != 0 && Find(FClipboardViewer) != nullptr)
            SendMessage(FClipboardViewer, WM_DRAWCLIPBOARD, 0, 0);
    }
    return true;
}

bool THeadlessWindowPlatform::EmptyClipboard() {
    if (!FClipboardOpen)
        return false;
    for (const auto& [Format, Block] : FClipboardData)
        GlobalFree(Block);
    FClipboardData.clear();
    FClipboardDirty = true;
    return true;
}

HGLOBAL THeadlessWindowPlatform::SetClipboardData(UINT Format, HGLOBAL Mem) {
    if (!FClipboardOpen || Format == 0 || Mem == nullptr)
        return nullptr;
    // A handle that is not a live block, or one held under another format, would be freed
    // twice later: refuse it.
    void* Memory = GlobalLock(Mem);
    if (Memory == nullptr)
        return nullptr;
    GlobalUnlock(Mem);
    for (const auto& [F, Block] : FClipboardData)
        if (Block == Mem && F != Format)
            return nullptr;
    const auto It = std::find_if(FClipboardData.begin(), FClipboardData.end(),
                                 [Format](const auto& E) { return E.first == Format; });
    if (It != FClipboardData.end()) {
        if (It->second != Mem)
            GlobalFree(It->second);
        It->second = Mem;
    } else {
        FClipboardData.emplace_back(Format, Mem);
    }
    FClipboardDirty = true;
    return Mem;
}

HGLOBAL THeadlessWindowPlatform::GetClipboardData(UINT Format) {
    if (!FClipboardOpen)
        return nullptr;
    for (const auto& [F, Block] : FClipboardData)
        if (F == Format)
            return Block;
    return nullptr;
}

bool THeadlessWindowPlatform::IsClipboardFormatAvailable(UINT Format) const {
    return std::any_of(FClipboardData.begin(), FClipboardData.end(),
                       [Format](const auto& E) { return E.first == Format; });
}

UINT THeadlessWindowPlatform::EnumClipboardFormats(UINT Format) const {
    if (!FClipboardOpen || FClipboardData.empty())
        return 0;
    if (Format == 0)
        return FClipboardData.front().first;
    for (std::size_t I = 0; I + 1 < FClipboardData.size(); ++I)
        if (FClipboardData[I].first == Format)
            return FClipboardData[I + 1].first;
    return 0;
}

HWND THeadlessWindowPlatform::SetClipboardViewer(HWND Viewer) {
    const HWND Previous = FClipboardViewer;
    FClipboardViewer = Viewer;
    if (Viewer != 0 && Find(Viewer) != nullptr)
        SendMessage(Viewer, WM_DRAWCLIPBOARD, 0, 0);
    return Previous;
}

bool THeadlessWindowPlatform::ChangeClipboardChain(HWND Remove, HWND Next) {
    if (Remove == 0)
        return false;
    if (FClipboardViewer == Remove) {
        FClipboardViewer = Next;
        return true;
    }
    if (FClipboardViewer != 0 && Find(FClipboardViewer) != nullptr)
        SendMessage(FClipboardViewer, WM_CHANGECBCHAIN, static_cast<WPARAM>(Remove),
                    static_cast<LPARAM>(Next));
    return true;
}

std::vector<UINT> THeadlessWindowPlatform::GetClipboardFormats() const {
    std::vector<UINT> Result;
    for (const auto& [Format, Block] : FClipboardData)
        Result.push_back(Format);
    return Result;
}

std::string THeadlessWindowPlatform::GetClipboardBytes(UINT Format) const {
    for (const auto& [F, Block] : FClipboardData) {
        if (F != Format)
            continue;
        const TGlobalLockGuard Lock(Block);
        const auto* P = static_cast<const char*>(Lock.Get());
        return P == nullptr ? std::string()
                            : std::string(P, static_cast<std::size_t>(GlobalSize(Block)));
    }
    return {};
}

// Message boxes -----------------------------------------------------------------------------

TModalResult THeadlessWindowPlatform::MessageDlg(const std::string& Msg, TMsgDlgType DlgType,
                                                 TMsgDlgButtons Buttons, std::int64_t HelpCtx) {
    TModalResult Answer = mrCancel; // no script: the user closed the box
    if (!FMessageDlgAnswers.empty()) {
        Answer = FMessageDlgAnswers.front();
        FMessageDlgAnswers.pop_front();
        bool Offered = false;
        for (int B = mbYes; B <= mbHelp; ++B) {
            const auto Button = static_cast<TMsgDlgBtn>(B);
            if (Buttons.Contains(Button) && ModalResultOf(Button) == Answer)
                Offered = true;
        }
        if (!Offered)
            throw EInvalidOperation("Scripted answer " + std::to_string(Answer) +
                                    " is not a button of the message box \"" + Msg + "\"");
    }
    FMessageDlgs.push_back(THeadlessMessageDlg{Msg, DlgType, Buttons, HelpCtx, Answer});
    return Answer;
}

// Screenshots ------------------------------------------------------------------------------

namespace {

// A standard scroll bar drawn into Out at R (arrow boxes at both ends, a thumb in the track).
void DrawScrollBar(TSurface& Out, const TRect& R, const THeadlessScrollBar& Bar, bool Vertical) {
    const TColor Track = RGB(232, 232, 232), Box = RGB(200, 200, 200), Thumb = RGB(160, 160, 160);
    const TColor Arrow = RGB(80, 80, 80);
    Out.Fill(R, Track);
    const int Len = Vertical ? R.Height() : R.Width();
    const int S = HeadlessScrollBarSize;
    const TRect First =
        Vertical ? Bounds(R.Left, R.Top, R.Width(), S) : Bounds(R.Left, R.Top, S, R.Height());
    const TRect Last = Vertical ? Bounds(R.Left, R.Bottom - S, R.Width(), S)
                                : Bounds(R.Right - S, R.Top, S, R.Height());
    for (const TRect& A : {First, Last}) {
        Out.Fill(A, Box);
        Out.Fill(Rect(A.Left + 6, A.Top + 6, A.Right - 6, A.Bottom - 6), Arrow);
    }
    const int TrackLen = Len - 2 * S;
    if (TrackLen <= 0)
        return;
    const std::int64_t Range = std::max<std::int64_t>(1, Bar.Max - Bar.Min + 1);
    const std::int64_t Page = std::clamp<std::int64_t>(Bar.Page, 0, Range);
    int ThumbLen = Page > 0 ? static_cast<int>(TrackLen * Page / Range) : S;
    ThumbLen = std::clamp(ThumbLen, std::min(8, TrackLen), TrackLen);
    const std::int64_t Span = std::max<std::int64_t>(1, Range - std::max<std::int64_t>(Page, 1));
    const std::int64_t Offset = std::clamp<std::int64_t>(Bar.Pos - Bar.Min, 0, Span);
    const int At = S + static_cast<int>((TrackLen - ThumbLen) * Offset / Span);
    Out.Fill(Vertical ? Bounds(R.Left + 1, R.Top + At, R.Width() - 2, ThumbLen)
                      : Bounds(R.Left + At, R.Top + 1, ThumbLen, R.Height() - 2),
             Thumb);
}

} // namespace

TSurface THeadlessWindowPlatform::RenderWindow(HWND Wnd) const {
    const TWindow& W = Get(Wnd);
    const int B = BorderOf(W);
    const TRect C = ClientOf(W);
    TSurface Out(W.Width, W.Height, RGB(128, 128, 128));
    Out.CopyRect(B, B, C.Right, C.Bottom, *W.Surface, 0, 0);
    if (FCaret.Owner == Wnd && FCaret.Visible())
        Out.Invert(
            IntersectRect(OffsetRect(Bounds(FCaret.X, FCaret.Y, FCaret.Width, FCaret.Height), B, B),
                          OffsetRect(C, B, B)));
    const int S = HeadlessScrollBarSize;
    if (W.Bars[SB_VERT].Visible)
        DrawScrollBar(Out, Bounds(B + C.Right, B, S, C.Bottom), W.Bars[SB_VERT], true);
    if (W.Bars[SB_HORZ].Visible)
        DrawScrollBar(Out, Bounds(B, B + C.Bottom, C.Right, S), W.Bars[SB_HORZ], false);
    if (W.Bars[SB_VERT].Visible && W.Bars[SB_HORZ].Visible)
        Out.Fill(Bounds(B + C.Right, B + C.Bottom, S, S), RGB(232, 232, 232));
    return Out;
}

void THeadlessWindowPlatform::SaveScreenshot(HWND Wnd, const std::string& FileName) const {
    const TSurface Image = RenderWindow(Wnd);
    const bool Ppm = FileName.size() >= 4 && Lower(FileName.substr(FileName.size() - 4)) == ".ppm";
    if (Ppm)
        Image.SaveToPPM(FileName);
    else
        Image.SaveToPNG(FileName);
}

// THeadlessPlatformScope -------------------------------------------------------------------

THeadlessPlatformScope::THeadlessPlatformScope()
    : FWindows(std::make_unique<THeadlessWindowPlatform>()) {
    auto Graphics = std::make_unique<THeadlessGraphics>();
    FGraphics = Graphics.get();
    FPreviousGraphics = SetGraphicsPlatform(std::move(Graphics));
    FPreviousWindows = SetWindowPlatform(FWindows.get());
}

THeadlessPlatformScope::~THeadlessPlatformScope() {
    SetWindowPlatform(FPreviousWindows);
    SetGraphicsPlatform(std::move(FPreviousGraphics));
}

} // namespace kestrel::headless
