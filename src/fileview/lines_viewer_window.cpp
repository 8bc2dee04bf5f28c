// TLinesViewer: window creation, scrolling, the painting entry, margins and zoom, and focus.
#include "fileview/lines_viewer.h"

#include "host/scope_guard.h"

#include <algorithm>
#include <cstdlib>

namespace kestrel {

// ---- Window ------------------------------------------------------------------------------

void TLinesViewer::CreateParams(TCreateParams& Params) {
    TFlickerFreeControl::CreateParams(Params);
    Params.Style |= WS_VISIBLE | WS_VSCROLL | WS_HSCROLL;
}

void TLinesViewer::CreateWnd() {
    TFlickerFreeControl::CreateWnd();
    GetFont()->SetOnChange([this](TObject* Sender) { HandleFontChange(Sender); });
    GetBrush()->SetOnChange([this](TObject* Sender) { HandleBrushChange(Sender); });
    HandleFontChange(nullptr);
    HandleBrushChange(nullptr);
    HorzScrollBar->Refresh();
    VertScrollBar->Refresh();
    SetCaretPos();
}

void TLinesViewer::Redraw() {
    if (HandleAllocated())
        InvalidateRect(GetHandle(), nullptr, true);
}

void TLinesViewer::redrawLines(std::int64_t A, std::int64_t B) {
    if (!HandleAllocated())
        return;
    const std::int64_t First = std::min(A, B);
    const std::int64_t Last = std::max(A, B);
    const std::int64_t Height = GetClientHeight();
    // Rows wholly off the window need no repaint.
    if (Last < 0 || First * CharHeight >= Height)
        return;
    const TRect R{0, ClampToInt(std::max<std::int64_t>(0, First) * CharHeight), GetClientWidth(),
                  ClampToInt(std::min(Height, (Last + 1) * CharHeight))};
    InvalidateRect(GetHandle(), &R, false);
}

void TLinesViewer::PaintWindowRect(const TRect& R) {
    if (State.Contains(vsPrinting))
        return;
    const std::int64_t First = R.Top / CharHeight;
    const std::int64_t Count = R.Bottom / CharHeight + 1 - First;
    const HWND Wnd = GetHandle();
    HideCaret(Wnd);
    const TScopeExit Show([Wnd] { ShowCaret(Wnd); });
    PaintLines(First * CharHeight, TopLine + First, Count);
}

void TLinesViewer::DrawMarginLine(int X) {
    TCanvas* C = GetCanvas();
    C->GetPen()->SetStyle(psDot);
    C->MoveTo(X, 0);
    C->LineTo(X, GetClientHeight());
    C->GetPen()->SetStyle(psSolid);
}

void TLinesViewer::SetEnableUpdates(bool Value) {
    HorzScrollBar->SetEnableUpdates(Value);
    VertScrollBar->SetEnableUpdates(Value);
    EnableUpdates = Value;
    if (Value) {
        Redraw();
        SetCaretPos();
    }
}

void TLinesViewer::SetDeltaX(std::int64_t V) {
    const std::int64_t X = std::max<std::int64_t>(0, std::min(V, HorzScrollBar->GetLimit()));
    if (X == DeltaX)
        return;
    DeltaX = X;
    HorzScrollBar->SetPosition(X);
    Redraw();
    SetCaretPos();
}

void TLinesViewer::SetDeltaY(std::int64_t V) {
    const std::int64_t Y = std::max<std::int64_t>(0, std::min(V, LastLine - (LinesOnScreen - 2)));
    if (Y == TopLine || !EnableUpdates)
        return;
    if (HandleAllocated()) {
        if (std::abs(Y - TopLine) < LinesOnScreen) {
            // Paint what is pending first, so that no stale area is moved.
            Update();
            ScrollWindowEx(GetHandle(), 0, ClampToInt((TopLine - Y) * CharHeight),
                           SW_INVALIDATE | SW_ERASE);
        } else {
            Redraw();
        }
    }
    TopLine = Y;
    VertScrollBar->SetPosition(Y);
    SetCaretPos();
}

void TLinesViewer::UpdateLinesOnScreen() {
    const std::int64_t Location = MarkLocation();
    const std::int64_t Height = GetClientHeight();
    LinesOnScreen = RoundMetric(static_cast<double>(Height) / static_cast<double>(CharHeight));
    const bool CutRow = Height < LinesOnScreen * CharHeight - CharHeight / 4;
    VertScrollBar->SetPageSize(CutRow ? LinesOnScreen - 1 : LinesOnScreen);
    GotoLocation(Location);
}

void TLinesViewer::UpdateScreenWidth() {
    HorzScrollBar->SetPageSize(GetClientWidth());
}

void TLinesViewer::WMSize(TMessage& Message) {
    TFlickerFreeControl::WMSize(Message);
    UpdateLinesOnScreen();
    UpdateScreenWidth();
}

void TLinesViewer::WMVScroll(TMessage& Message) {
    if (SelMode == smNone)
        ExtendSelection();
    if (TWMScroll(Message).ScrollBar() != 0)
        TFlickerFreeControl::WMVScroll(Message);
    else
        VertScrollBar->ScrollMessage(Message);
}

void TLinesViewer::WMHScroll(TMessage& Message) {
    if (TWMScroll(Message).ScrollBar() != 0)
        TFlickerFreeControl::WMHScroll(Message);
    else
        HorzScrollBar->ScrollMessage(Message);
}

void TLinesViewer::HandleVertScroll(TObject*) {
    SetDeltaY(VertScrollBar->GetPosition());
}

void TLinesViewer::HandleHorzScroll(TObject*) {
    SetDeltaX(HorzScrollBar->GetPosition());
}

void TLinesViewer::HandleVertSBChange(TObject*) {
    if (TopLine != 0 && !VertScrollBar->GetVisible()) {
        TopLine = 0;
        Redraw();
    }
}

void TLinesViewer::HandleHorzSBChange(TObject*) {
    if (DeltaX != 0 && !HorzScrollBar->GetVisible()) {
        DeltaX = 0;
        Redraw();
    }
}

void TLinesViewer::WMMouseWheel(TMessage& Message) {
    const std::int64_t Delta = TWMMouseWheel(Message).WheelDelta();
    const std::int64_t Target = std::max<std::int64_t>(
        0, std::min(TopLine - Delta / WheelNotch, LastLine - LinesOnScreen + 1));
    SetDeltaY(Target);
    Message.Result = 0;
}

// ---- Margins, fonts, zoom -----------------------------------------------------------------

void TLinesViewer::SetLeftMargin(std::int64_t V) {
    LeftMargin = std::max<std::int64_t>(0, std::min<std::int64_t>(V, GetClientWidth() - 2));
    if (!GetComponentState().Contains(csDesigning))
        UpdateScreenWidth();
}

void TLinesViewer::SetRightMargin(std::int64_t V) {
    RightMargin = std::max<std::int64_t>(1, std::min<std::int64_t>(V, GetClientWidth() - 1));
    if (!GetComponentState().Contains(csDesigning))
        UpdateScreenWidth();
}

void TLinesViewer::SetCharHeight(std::int64_t H) {
    // A font without height would make every row computation divide by zero.
    CharHeight = std::max<std::int64_t>(1, H);
    SetCaret(CaretBitmap);
    UpdateLinesOnScreen();
    Redraw();
}

void TLinesViewer::HandleFontChange(TObject*) {
    const std::int64_t Location = MarkLocation();
    TFont Zoomed;
    Zoomed.Assign(GetFont());
    std::int64_t Size = ZoomShift(Zoomed.GetSize(), ZoomFactor);
    if (ZoomFactor > 0)
        Size = std::min(MaxZoomedFontSize, Size);
    Zoomed.SetSize(static_cast<int>(Size));
    TCanvas* C = GetCanvas();
    C->SetFont(&Zoomed);
    TTextMetric Metrics;
    if (HandleAllocated()) {
        C->GetHandle()->GetTextMetrics(Metrics);
        C->ReleaseHandle();
    } else {
        const HDC Screen = GraphicsPlatform().GetScreenDC();
        const TFontDesc Previous = Screen->SelectFont(Zoomed.GetDesc());
        Screen->GetTextMetrics(Metrics);
        Screen->SelectFont(Previous);
    }
    SetCharHeight(Metrics.tmHeight + Metrics.tmExternalLeading);
    CharWidth = std::max(1, Metrics.tmAveCharWidth);
    HorzScrollBar->SetClickSize(CharWidth);
    UpdatePrinterMetrics();
    GotoLocation(Location);
    Redraw();
}

void TLinesViewer::HandleBrushChange(TObject*) {
    GetCanvas()->SetBrush(GetBrush());
    Redraw();
}

void TLinesViewer::SetZoomFactor(std::int64_t Z) {
    if (Z < ZoomFactor && GetCanvas()->GetFont()->GetSize() < 2)
        return;
    if (Z == ZoomFactor)
        return;
    const std::int64_t Old = ZoomFactor;
    ZoomFactor = Z;
    HandleFontChange(nullptr);
    DoZoomChanged(Old);
}

// ---- Focus --------------------------------------------------------------------------------

void TLinesViewer::WMSetFocus(TMessage& Message) {
    TFlickerFreeControl::WMSetFocus(Message);
    DoSetFocus();
}

void TLinesViewer::WMKillFocus(TMessage& Message) {
    TFlickerFreeControl::WMKillFocus(Message);
    DoKillFocus();
}

void TLinesViewer::DoSetFocus() {
    const HWND Wnd = GetHandle();
    CreateCaret(Wnd, CaretBitmap, 0, static_cast<int>(CharHeight));
    SetCaretPos();
    ShowCaret(Wnd);
    DoOnStateChange();
    if (OnEnter)
        OnEnter(this);
}

void TLinesViewer::DoKillFocus() {
    HideCaret(GetHandle());
    DestroyCaret();
    DoOnStateChange();
    if (OnExit)
        OnExit(this);
}

void TLinesViewer::WMCopy(TMessage& Message) {
    if (SelMode != smNone)
        CopyToClipBoard();
    Message.Result = 0;
}

} // namespace kestrel
