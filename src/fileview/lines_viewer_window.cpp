// TLinesViewer: window creation, scrolling, painting entry, margins and zoom, mouse selection,
// focus, busy mode and the printing frame.
#include "fileview/lines_viewer.h"

#include "host/application.h"
#include "host/printers.h"
#include "host/safe_save.h"
#include "host/sysutils.h"
#include "textbuff/text_buffer.h" // the unit's exception classes

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>

namespace kestrel {

namespace {

// Rounds halves to even, as the platform's rounding of metrics does.
std::int64_t RoundMetric(double V) {
    return static_cast<std::int64_t>(std::nearbyint(V));
}

int ToClientCoordinate(std::int64_t V) {
    return static_cast<int>(std::clamp<std::int64_t>(V, -1000000000, 1000000000));
}

// Largest font size zooming in may reach, in points.
constexpr std::int64_t MaxZoomedFontSize = 4096;

} // namespace

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
    const TRect R{0, ToClientCoordinate(std::max<std::int64_t>(0, First) * CharHeight),
                  GetClientWidth(), ToClientCoordinate(std::min(Height, (Last + 1) * CharHeight))};
    InvalidateRect(GetHandle(), &R, false);
}

void TLinesViewer::PaintWindowRect(const TRect& R) {
    if (State.Contains(vsPrinting))
        return;
    const std::int64_t First = R.Top / CharHeight;
    const std::int64_t Count = R.Bottom / CharHeight + 1 - First;
    const HWND Wnd = GetHandle();
    HideCaret(Wnd);
    try {
        PaintLines(First * CharHeight, TopLine + First, Count);
    } catch (...) {
        ShowCaret(Wnd);
        throw;
    }
    ShowCaret(Wnd);
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
            ScrollWindowEx(GetHandle(), 0, ToClientCoordinate((TopLine - Y) * CharHeight),
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
    const std::int64_t Target =
        std::max<std::int64_t>(0, std::min(TopLine - Delta / 120, LastLine - LinesOnScreen + 1));
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
    std::int64_t Size = Zoomed.GetSize();
    if (ZoomFactor > 0)
        Size = std::min(MaxZoomedFontSize, Size << std::min<std::int64_t>(ZoomFactor, 16));
    else if (ZoomFactor < 0)
        Size >>= std::min<std::int64_t>(-ZoomFactor, 62);
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

void TLinesViewer::SetMouseState(TMouseStates Flags, bool On) {
    if (MouseState == TMouseStates{msNormal})
        SavedCursor = GetCursor();
    if (On)
        MouseState += Flags;
    else
        MouseState -= Flags;
    if (GetComponentState().Contains(csDesigning))
        return;
    TCursor Cursor = SavedCursor;
    if (MouseState.Contains(msBusy))
        Cursor = crHourGlass;
    else if (MouseState.Contains(msDrag))
        Cursor = crDrag;
    else if (MouseState.Contains(msMarginBoundary))
        Cursor = crHSplit;
    else if (MouseState.Contains(msSelection) || MouseState.Contains(msMargin))
        Cursor = crArrow;
    SetCursor(Cursor);
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

void TLinesViewer::SaveAs(const std::string& FileName) {
    EnterBusyMode(GetTextSize());
    try {
        // Never truncates the target: the text goes to a flushed temporary file first.
        SaveFileSafely(FileName, [this](TStream* Stream) { CopyToStream(Stream); });
    } catch (...) {
        ExitBusyMode();
        throw;
    }
    ExitBusyMode();
}

// ---- Mouse --------------------------------------------------------------------------------

bool TLinesViewer::MouseOverSelection(int X, int Y) {
    std::int64_t PX = X + DeltaX - LeftMargin;
    std::int64_t K = 0;
    SyncToChar(PX, K);
    const std::int64_t Line = Y / CharHeight + TopLine;
    if (SelMode == smColumn)
        return SelStart.Y <= Line && Line <= SelEnd.Y && SelStart.X <= K && K <= SelEnd.X;
    if (Line < SelStart.Y || (Line == SelStart.Y && K < SelStart.X))
        return false;
    if (Line < SelEnd.Y)
        return true;
    if (Line == SelEnd.Y)
        return K <= SelEnd.X;
    return false;
}

void TLinesViewer::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TFlickerFreeControl::MouseDown(Button, Shift, X, Y);
    if (!Focused() && CanFocus())
        SetFocus();
    const HWND Wnd = GetHandle();
    if (Button == mbLeft) {
        bool Changed = false;
        if (Shift.Contains(ssDouble)) {
            ClickState = ClickState == mcTriple && MouseOverSelection(X, Y) ? mcQuad : mcDouble;
            Changed = true;
        } else if (ClickState == mcDouble && MouseOverSelection(X, Y)) {
            ClickState = mcTriple;
            Changed = true;
        }
        if (Changed)
            SetTimer(Wnd, ClickResetTimer, static_cast<UINT>(DoubleClickTime));
    }
    if (State.Contains(vsDragging) || Button != mbLeft)
        return;
    SetCapture(Wnd);
    if (AutoScroll)
        SetTimer(Wnd, AutoScrollTimer, 100);
    if (MouseState.Contains(msMarginBoundary)) {
        DrawMarginLine(X);
        MarginDragging = true;
        SetState(vsDragging, true);
        return;
    }
    _SetCaretPos(LongPoint(X + DeltaX - LeftMargin, Y / CharHeight + TopLine));
    if (Shift.Contains(ssShift) || Shift.Contains(ssAlt)) {
        ExtendSelection();
        Redraw();
    } else {
        SelAnchor = LongPoint(CharNumber, LineNumber);
        if (State.Contains(vsSelection))
            Redraw();
        if (!Shift.Contains(ssDouble)) {
            // The third click of a run keeps the double-clicked word, which the release turns
            // into the line.
            if (ClickState != mcTriple)
                SetSelection(SelAnchor, SelAnchor, smExtend);
        } else if (X < LeftMargin - DeltaX) {
            SelectAll();
        } else {
            WordSelStart = FindWordStart(SelAnchor);
            WordSelEnd = FindWordEnd(SelAnchor);
            if (DoubleClickMode == dcWordAndSpaces)
                WordSelEnd = FindNextWord(WordSelEnd);
            SetSelection(WordSelStart, WordSelEnd, smDouble);
            redrawLines(LineNumber - TopLine, LineNumber - TopLine);
        }
    }
    SetState(vsMouseDown, true);
}

void TLinesViewer::SetMouseSelection(int X, int Y) {
    const std::int64_t PX = X + DeltaX - LeftMargin;
    const std::int64_t Line = Y / CharHeight + TopLine;
    if (Line == LineNumber && std::abs(PX - CaretX) < CharWidth)
        return;
    const TLongPoint OldStart = SelStart;
    const TLongPoint OldEnd = SelEnd;
    _SetCaretPos(LongPoint(PX, Line));
    TLongPoint Q = LongPoint(CharNumber, LineNumber);
    TLongPoint S;
    TLongPoint E;
    if (SelMode == smDouble) {
        // Word by word, always keeping the double-clicked word.
        if (Q < WordSelEnd) {
            S = FindWordStart(Q);
            E = WordSelEnd;
            SelAnchor = WordSelEnd;
        } else {
            S = WordSelStart;
            E = FindWordEnd(Q);
            SelAnchor = WordSelStart;
        }
    } else {
        if (SelMode == smColumn) {
            // Beyond its line's end the pointer moves the caret but not the block.
            if (PX > LineWidth)
                return;
            Q.X = SelEnd.X >= LineLength ? LineLength + (PX - LineWidth) / CharWidth : CharNumber;
        }
        std::tie(S, E) = FromAnchor(SelAnchor, Q, SelMode == smColumn);
    }
    if (SelMode == smColumn)
        Redraw();
    else
        RepaintSelectionChange(OldStart, OldEnd, S, E);
    SetSelection(S, E, SelMode);
}

void TLinesViewer::MouseMove(TShiftState Shift, int X, int Y) {
    TFlickerFreeControl::MouseMove(Shift, X, Y);
    if (State.Contains(vsMouseDown)) {
        SetMouseSelection(X, Y);
    } else if (State.Contains(vsDragging) && MarginDragging) {
        const std::int64_t Location = MarkLocation();
        const std::int64_t Width = GetClientWidth();
        if (std::abs(X - LeftMargin) < std::abs(X + RightMargin - Width))
            SetLeftMargin(X + DeltaX);
        else
            SetRightMargin(Width - X);
        GotoLocation(Location);
        Redraw();
        Update();
        DrawMarginLine(X);
    }
    UpdateMouseCursor(X, static_cast<int>(Y / CharHeight));
}

void TLinesViewer::EndMarginDrag() {
    MarginDragging = false;
    ReleaseCapture();
    KillTimer(GetHandle(), AutoScrollTimer);
    SetState(vsDragging, false);
    Redraw();
}

void TLinesViewer::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TFlickerFreeControl::MouseUp(Button, Shift, X, Y);
    if (MarginDragging) {
        EndMarginDrag();
        return;
    }
    if (ClickState == mcTriple || ClickState == mcQuad || State.Contains(vsMouseDown)) {
        if (ClickState == mcTriple && SelMode == smDouble) {
            SetSelection(LongPoint(0, LineNumber), LongPoint(LineLength, LineNumber), smExtend);
            Redraw();
        } else if (SelStart == SelEnd && !Shift.Contains(ssShift) && !Shift.Contains(ssAlt)) {
            ResetSelection(SelAnchor);
            Redraw();
        }
        ReleaseCapture();
        KillTimer(GetHandle(), AutoScrollTimer);
        SetState(vsMouseDown, false);
    } else if (Button == mbLeft && MouseOverSelection(X, Y)) {
        ResetSelection(ZeroPoint);
        Redraw();
    }
}

void TLinesViewer::WMTimer(TMessage& Message) {
    const HWND Wnd = GetHandle();
    switch (TWMTimer(Message).TimerID()) {
    case AutoScrollTimer: {
        const TPoint P = ScreenToClient(Wnd, GetCursorPos());
        MouseMove(GetShiftState(), P.X, P.Y);
        const int Width = GetClientWidth();
        const int Height = GetClientHeight();
        // How far the pointer is outside the client area.
        const int D = std::max({0, P.X - Width, P.Y - Height, -P.X, -P.Y});
        SetTimer(Wnd, AutoScrollTimer, static_cast<UINT>(100 / (D / 20 + 1)));
        break;
    }
    case ClickResetTimer:
        ClickState = mcNone;
        KillTimer(Wnd, ClickResetTimer);
        break;
    default:
        TFlickerFreeControl::WMTimer(Message);
        return;
    }
    Message.Result = 0;
}

// ---- Busy mode ----------------------------------------------------------------------------

void TLinesViewer::EnterBusyMode(std::int64_t Total) {
    if (State.Contains(vsBusy))
        throw EInternalError("Entering Busy Mode when already busy");
    SetMouseState(TMouseStates{msBusy}, true);
    ProgressTotal = Total;
    SetState(vsBusy, true);
    if (Total > 0 && OnProgressEvent) {
        bool Cancel = false;
        OnProgressEvent(this, 0, Total, Cancel);
    }
}

void TLinesViewer::ExitBusyMode() {
    if (!State.Contains(vsBusy))
        throw EInternalError("Exiting Busy State when not busy");
    SetMouseState(TMouseStates{msBusy}, false);
    SetState(vsBusy, false);
    if (ProgressTotal > 0 && OnProgressEvent) {
        bool Cancel = false;
        OnProgressEvent(this, ProgressTotal, ProgressTotal, Cancel);
    }
}

bool TLinesViewer::ReportProgress(std::int64_t Done) {
    bool Abort = false;
    TMsg Msg;
    while (PeekMessage(Msg, 0, 0, 0, true)) {
        const UINT M = Msg.message;
        if (M == WM_QUIT) {
            Abort = true;
            PostQuitMessage(static_cast<int>(Msg.wParam));
            break;
        }
        TranslateMessage(Msg);
        if (M == WM_CHAR) {
            Abort = Msg.wParam == GetKeyDef(kiCancelKey);
            continue;
        }
        const bool Input = M == WM_KEYDOWN || (M >= WM_DEADCHAR && M <= WM_KEYLAST) ||
                           (M >= WM_LBUTTONDOWN && M <= WM_MOUSEWHEEL) ||
                           (M >= WM_NCLBUTTONDOWN && M <= WM_NCMBUTTONDBLCLK);
        if (Input) {
            if (BeepOn)
                MessageBeep(MB_SIMPLE);
            continue;
        }
        DispatchMessage(Msg);
    }
    if (Abort && OnAbortRequest) {
        int Response = 0;
        OnAbortRequest(this, Response);
        Abort = Response == IDYES;
    }
    if (!Abort && ProgressTotal > 0 && OnProgressEvent) {
        bool Cancel = Abort;
        OnProgressEvent(this, Done, ProgressTotal, Cancel);
        Abort = Cancel;
    }
    return !Abort;
}

// ---- Printing -----------------------------------------------------------------------------

float TLinesViewer::GetPrinterMetric(int Index) const {
    if (Index < 1 || Index > 6)
        throw Exception("Invalid call to GetPrinterMetric");
    return PrinterMetrics[static_cast<std::size_t>(Index - 1)];
}

void TLinesViewer::SetPrinterMetric(int Index, float Value) {
    if (Index >= 1 && Index <= 6)
        PrinterMetrics[static_cast<std::size_t>(Index - 1)] = Value;
    UpdatePrinterMetrics();
}

void TLinesViewer::UpdatePrinterMetrics() {
    std::int64_t ResX = 0;
    std::int64_t ResY = 0;
    std::int64_t PageHeight = 0;
    bool PrinterRead = false;
    try {
        TPrinter* P = Printer();
        const HDC DC = P->GetHandle();
        ResX = DC->GetDeviceCaps(LOGPIXELSX);
        ResY = DC->GetDeviceCaps(LOGPIXELSY);
        TFont PrinterFont;
        PrinterFont.Assign(GetFont());
        const int Size = PrinterFont.GetSize();
        PrinterFont.SetPixelsPerInch(static_cast<int>(ResY));
        PrinterFont.SetSize(Size);
        const TFontDesc Previous = DC->SelectFont(PrinterFont.GetDesc());
        TTextMetric Metrics;
        DC->GetTextMetrics(Metrics);
        DC->SelectFont(Previous);
        PrintLineHeight = Metrics.tmHeight + Metrics.tmExternalLeading;
        PageHeight = P->GetPageHeight();
        PrinterRead = true;
    } catch (const EPrinter&) {
        PrintLineHeight = CharHeight;
        ResX = ResY = 0;
        LinesPerPage = 66;
    }
    auto Metric = [this](int Index) { return static_cast<double>(PrinterMetrics[Index - 1]); };
    PrintMargins = TRect{static_cast<int>(RoundMetric(Metric(1) * ResX)),
                         static_cast<int>(RoundMetric(Metric(3) * ResY)),
                         static_cast<int>(RoundMetric(Metric(2) * ResX)),
                         static_cast<int>(RoundMetric(Metric(4) * ResY))};
    HeaderOffset = RoundMetric(Metric(5) * ResY);
    FooterOffset = RoundMetric(Metric(6) * ResY);
    if (PrinterRead) {
        if (PrintLineHeight == 0)
            LinesPerPage = 66;
        else // large margins must not leave a page without lines
            LinesPerPage = std::max<std::int64_t>(
                1, (PageHeight - PrintMargins.Top - PrintMargins.Bottom) / PrintLineHeight);
    }
}

void TLinesViewer::BeginPrinting(bool) {
    TPrinter* P = Printer();
    P->BeginDoc();
    P->GetCanvas()->SetFont(GetFont());
}

void TLinesViewer::EndPrinting() {
    Printer()->EndDoc();
}

void TLinesViewer::Print(const std::string& Header, const std::string& Title, bool PageNumbers,
                         bool Flag, TPrintRange Range, std::int64_t FromPage, std::int64_t ToPage) {
    if (Range == prSelection && SelMode == smNone)
        return;
    SetState(vsPrinting, true);
    const std::int64_t SavedZoom = ZoomFactor;
    bool Busy = false;
    bool Begun = false;
    // Restores what printing changed; Busy and Begun say how far it got.
    auto Finish = [&] {
        if (Busy) {
            Busy = false;
            if (CanFocus())
                SetFocus();
            ExitBusyMode();
        }
        if (Begun) {
            Begun = false;
            EndPrinting();
        }
    };
    auto Restore = [&] {
        SetZoomFactor(SavedZoom);
        SetState(vsPrinting, false);
        Redraw();
    };
    try {
        try {
            TPrinter* P = Printer();
            P->SetTitle(Title);
            SetZoomFactor(0);
            UpdatePrinterMetrics();
            BeginPrinting(Flag);
            Begun = true;

            std::int64_t FirstLine = 0;
            std::int64_t LastPrinted = 0;
            std::int64_t FirstPage = 1;
            std::int64_t LastPage = 1;
            switch (Range) {
            case prAllPages:
                FirstLine = 0;
                LastPrinted = LastLine;
                FirstPage = 1;
                LastPage = PageCount;
                break;
            case prSelection:
                FirstLine = SelStart.Y;
                LastPrinted = SelEnd.Y;
                FirstPage = GetPageNumber(FirstLine);
                LastPage = GetPageNumber(LastPrinted);
                break;
            case prPageNums:
                FirstLine = GetLineAtTopOfPage(FromPage);
                // The page after the last does not exist: its "top" is the last line, which
                // belongs to the range.
                LastPrinted = ToPage >= PageCount ? LastLine : GetLineAtTopOfPage(ToPage + 1) - 1;
                FirstPage = FromPage;
                LastPage = ToPage;
                break;
            default:
                throw Exception("PrintRange undefined in call to Print");
            }
            const std::int64_t N = LastPage - FirstPage + 1;
            EnterBusyMode(N);
            Busy = true;

            TCanvas* C = P->GetCanvas();
            const int PageWidth = P->GetPageWidth();
            const int PageHeight = P->GetPageHeight();
            std::int64_t Line = FirstLine;
            // An empty page range prints no page.
            for (std::int64_t I = 1; N >= 1; ++I) {
                if (!ReportProgress(I))
                    break;
                // The next sheet starts only once the job goes on, so that an abort leaves
                // no blank page behind.
                if (I > 1)
                    P->NewPage();
                if (OnPagePrint)
                    OnPagePrint(this, I, N);
                C->GetHandle()->SetTextAlign(TA_CENTER | TA_TOP);
                C->TextOut(PageWidth / 2, static_cast<int>(HeaderOffset), Header);
                C->GetHandle()->SetTextAlign(TA_LEFT | TA_TOP);
                std::int64_t Y = PrintMargins.Top;
                std::int64_t OnPage = 0;
                bool PageBreak = false;
                while (OnPage < LinesPerPage && !PageBreak && Line <= LastPrinted) {
                    PrintLine(PrintMargins.Left, Y, Line, Range, PageBreak);
                    Y += PrintLineHeight;
                    Line += PageBreak ? 2 : 1;
                    ++OnPage;
                }
                if (PageNumbers) {
                    C->GetHandle()->SetTextAlign(TA_CENTER | TA_BOTTOM);
                    C->TextOut(PageWidth / 2, PageHeight - static_cast<int>(FooterOffset),
                               "Page " + IntToStr(I));
                    C->GetHandle()->SetTextAlign(TA_LEFT | TA_TOP);
                }
                if (I >= N)
                    break;
            }
        } catch (...) {
            Finish();
            throw;
        }
        Finish();
    } catch (...) {
        Restore();
        throw;
    }
    Restore();
}

void TLinesViewer::SetPageNumber(std::int64_t Page) {
    if (Page >= 1 && Page <= PageCount)
        SetLineNumber(GetLineAtTopOfPage(Page));
    else if (Page == PageCount + 1)
        EndOftext();
    else
        throw EUserError("The specified page does not exist");
}

} // namespace kestrel
