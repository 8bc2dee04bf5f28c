// THeadlessWindowPlatform: painting (update regions, paint brackets, device contexts,
// scrolling the contents) and screenshots of whole windows.
#include "host/headless/window_system.h"

#include "host/headless/window_record.h"
#include "host/window_platform.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace kestrel::headless {

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

} // namespace

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

HWND THeadlessWindowPlatform::NextPaintRequest(HWND Wnd) const {
    for (HWND H : FCreationOrder)
        if ((Wnd == 0 || H == Wnd) && !FWindows.at(H)->Region.empty() && IsWindowVisible(H))
            return H;
    return 0;
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

} // namespace kestrel::headless
