// TTextViewer: painting of display lines, line-break marks, page breaks and selections; the
// display options; reactions to font, printer and system-setting changes.
#include "fileview/text_viewer.h"

#include "host/printers.h"
#include "host/scope_guard.h"

#include <algorithm>

namespace kestrel {

void TTextViewer::PaintLines(std::int64_t Y, std::int64_t FirstLine, std::int64_t Count) {
    if (!Buffer)
        return;
    if (!IdleHooked) // no idle time to come: an open line is measured now
        CloseMapLine();
    // How the count learns the offset of the top line. A scroll paints only the rows it
    // uncovered, so the top line is found first when it moved since it was last recorded (it
    // is at most a screen away from the rows painted).
    if (FirstLine != TopLine && TopLineStartLine != TopLine)
        LocateTopLine();
    LocateLine(FirstLine, true);
    if (FirstLine == TopLine) {
        TopLineStart = LineStart;
        TopLineStartLine = MapLine; // short of TopLine when the text ended first
    }
    PaintMargins();
    if (Count <= 0)
        return;
    TCanvas* C = GetCanvas();
    const int ClientW = GetClientWidth();
    const std::int64_t Bottom = Y + Count * CharHeight;
    // Long lines below the first row are measured up to a budget, the rest in idle time, when
    // idle time comes (without it, every row is laid out as it comes).
    std::int64_t Budget = PaintBudget;
    bool Whole = true;
    // Rows left blank before are drawn by this paint (or left again where it stops) when it
    // covers them, and when it covers the whole window; a paint of the rows a scroll uncovered
    // leaves the others as they are.
    const bool WholeWindow = FirstLine <= TopLine && FirstLine + Count >= TopLine + LinesOnScreen;
    if (WholeWindow || (PendingRow >= FirstLine && PendingRow < FirstLine + Count))
        PendingRow = -1;
    for (std::int64_t I = 0; I < Count; ++I) {
        // The row's background first: the off-screen bitmap starts out blank.
        C->FillRect(Rect(0, ClampToInt(Y), ClientW, ClampToInt(Y + CharHeight)));
        // A line is a hard break by its own first byte: a provisional number may equal a
        // counted break's.
        const bool HardBreak = ByteAt(LineStart) == FF;
        if (HardBreak)
            DrawPageBreak(Y);
        else
            PaintMapLine(Y);
        if (SelMode != smNone && SelStart.Y <= MapLine)
            InvertSelectionOnMapLine(Y, HardBreak);
        Y += CharHeight;
        if (MapLineOpen) { // the rows below once idle time has measured the line
            if (I + 1 < Count) {
                LeaveRowsPending(FirstLine + I + 1, LineStart);
                Whole = false;
            }
            break;
        }
        if (AtEndOfText() || I + 1 == Count)
            break;
        if (IdleHooked && NextLineStart > MeasuredRowStart &&
            !Buffer->MeasureLine(NextLineStart, Budget)) {
            LeaveRowsPending(FirstLine + I + 1, NextLineStart);
            Whole = false;
            break;
        }
        GotoNextLine();
    }
    if (Whole)
        MeasuredRowStart = -1;
    if (Y < Bottom) // rows below the end of the text, or left for idle time
        C->FillRect(Rect(0, ClampToInt(Y), ClientW, ClampToInt(Bottom)));
}

void TTextViewer::LeaveRowsPending(std::int64_t Row, std::int64_t Start) {
    PendingRow = PendingRow >= 0 ? std::min(PendingRow, Row) : Row;
    PendingLineStart = Start;
}

bool TTextViewer::MeasurePendingRows() {
    if (PendingRow < 0)
        return false;
    if (std::int64_t Budget = CountStepBytes;
        !Buffer || Buffer->MeasureLine(PendingLineStart, Budget)) {
        if (MapLineOpen && PendingLineStart == LineStart) {
            // The open map line is measured: the pending rows begin with the line after it,
            // which the next steps measure in turn.
            CloseMapLine();
            if (!AtEndOfText()) {
                PendingLineStart = NextLineStart;
                return true;
            }
        }
        MeasuredRowStart = PendingLineStart;
        RedrawPendingRows();
    }
    return true;
}

void TTextViewer::RedrawPendingRows() {
    // (A scroll since may have moved the first of them above the window: the rest are at its top.)
    redrawLines(std::max<std::int64_t>(0, PendingRow - TopLine), LinesOnScreen);
    PendingRow = PendingLineStart = -1;
}

void TTextViewer::PaintMargins() {
    TCanvas* C = GetCanvas();
    const int ClientW = GetClientWidth();
    const int ClientH = GetClientHeight();
    if (WrapMode == opWrapScreenWidth && RightMargin > 0)
        C->FillRect(Rect(ClampToInt(ClientW - RightMargin), 0, ClientW, ClientH));
    const std::int64_t M = std::max<std::int64_t>(0, LeftMargin - DeltaX);
    if (M > 0)
        C->FillRect(Rect(0, 0, ClampToInt(M), ClientH));
}

void TTextViewer::PaintMapLine(std::int64_t Y) {
    const std::int64_t X0 = LeftMargin - DeltaX;
    // An open line is as long and as wide as it may be, until it is measured.
    const std::int64_t Width = MapLineOpen ? INT64_MAX : static_cast<std::int64_t>(MapLineWidth);
    const std::int64_t Length = MapLineOpen ? MapLineLength.Raw() : MapLineLength.Ref();
    // The characters left of the window are skipped, not drawn off-screen: a long line
    // scrolled far to the right would cost a glyph each.
    std::int64_t Skip = 0;
    std::int64_t Passed = 0;
    std::int64_t P = LineStart;
    if (DeltaX > LeftMargin && Width > DeltaX - LeftMargin) {
        Buffer->GetCharAt(P, DeltaX - LeftMargin, Passed);
        Skip = std::clamp<std::int64_t>(P - LineStart, 0, Length);
    }
    // Nor those right of it: up to the one the window's edge cuts, looked for from the left edge.
    std::int64_t End = Length;
    if (const std::int64_t Right = DeltaX - LeftMargin + GetClientWidth(); Width > Right) {
        std::int64_t W = 0;
        Buffer->GetCharAt(P, Passed, Right, W);
        End = std::clamp<std::int64_t>(P - LineStart + 1, Skip, Length);
    }
    Buffer->TabbedTextOut(X0 + Passed, Y, LineStart + Skip, End - Skip, X0);
    DrawEOLChar(Y);
}

void TTextViewer::InvertSelectionOnMapLine(std::int64_t Y, bool HardBreak) {
    const std::int64_t X0 = LeftMargin - DeltaX;
    const bool Stream = SelMode == smDouble || SelMode == smExtend;
    TRect R{0, ClampToInt(Y), 0, ClampToInt(Y)};
    std::int64_t Left = 0;
    if (Stream && SelStart.Y < MapLine) {
        Left = X0;
    } else {
        const std::int64_t X = SelMode == smColumn
                                   ? ColumnLeft
                                   : Buffer->GetDistanceBetween(LineStart, LineStart + SelStart.X);
        Left = X + X0;
    }
    std::int64_t Right = Left;
    if (SelEnd.Y >= MapLine) {
        R.Bottom = ClampToInt(Y + CharHeight);
        if (Stream && SelEnd.Y > MapLine) {
            if (HardBreak) {
                Right = GetClientWidth();
            } else {
                Right = MapLineWidth + X0;
                if (ShowLineBreaks && LineStart + MapLineLength != NextLineStart)
                    Right += Buffer->WidthOf(LineBreakGlyph);
            }
        } else {
            const std::int64_t X =
                SelMode == smColumn ? ColumnRight
                                    : Buffer->GetDistanceBetween(LineStart, LineStart + SelEnd.X);
            Right = X + X0;
        }
    }
    R.Left = ClampToInt(Left);
    R.Right = ClampToInt(Right);
    if (R.Bottom > R.Top)
        GetCanvas()->GetHandle()->InvertRect(R);
}

void TTextViewer::LocateTopLine() {
    LocateLine(TopLine, true);
    TopLineStart = LineStart;
    TopLineStartLine = MapLine;
}

void TTextViewer::DrawEOLChar(std::int64_t Y) {
    TCanvas* C = GetCanvas();
    if (ShowLineBreaks && !MapLineOpen) { // (an open line ends far right of the window)
        const int X = ClampToInt(LeftMargin + MapLineWidth - DeltaX);
        const std::int64_t TextEnd = LineStart + MapLineLength;
        char Mark = 0;
        if (NextLineStart == GetTextSize() && TextEnd == NextLineStart) {
            // The unterminated end of the text; the empty line after a final line break has
            // no mark.
            if (LineStart < NextLineStart)
                Mark = static_cast<char>(EndOfTextGlyph);
        } else if (TextEnd != NextLineStart && ByteAt(TextEnd) != FF) {
            Mark = static_cast<char>(LineBreakGlyph);
        }
        if (Mark != 0)
            C->GetHandle()->TextOut(X, ClampToInt(Y), &Mark, 1);
    }
    if (MapBoundary == pbSoftPageBreak &&
        (ShowPageBreaks == pbAlways || (ShowPageBreaks == pbWYSIWYG && WrapMode == opPrinter))) {
        TPen* Pen = C->GetPen();
        const TPenStyle Previous = Pen->GetStyle();
        C->MoveTo(0, ClampToInt(Y));
        Pen->SetStyle(SoftPageBreakStyle);
        C->LineTo(GetClientWidth(), ClampToInt(Y));
        Pen->SetStyle(Previous);
    }
}

void TTextViewer::DrawPageBreak(std::int64_t Y) {
    TCanvas* C = GetCanvas();
    const int ClientW = GetClientWidth();
    const int Middle = ClampToInt(Y + CharHeight / 2);
    TPen* Pen = C->GetPen();
    const TPenStyle PreviousStyle = Pen->GetStyle();
    C->MoveTo(0, Middle);
    Pen->SetStyle(HardPageBreakStyle);
    C->LineTo(ClientW, Middle);
    Pen->SetStyle(PreviousStyle);
    const HDC DC = C->GetHandle();
    const TFontDesc PreviousFont = DC->SelectFont(PageBreakFont->GetDesc());
    const TScopeExit Restore([&] {
        DC->SetTextAlign(TA_LEFT | TA_TOP);
        DC->SelectFont(PreviousFont);
    });
    DC->SetTextAlign(TA_CENTER);
    C->TextOut(ClientW / 2, ClampToInt(Y), "Page Break");
}

void TTextViewer::UpdateMouseCursor(int X, int Y) {
    (void)Y;
    const std::int64_t ClientW = GetClientWidth();
    const bool Screen = WrapMode == opWrapScreenWidth;
    const bool Boundary =
        DragMargin && (X == LeftMargin - DeltaX || (Screen && X == ClientW - RightMargin));
    const bool Margin =
        (Screen && X > ClientW - RightMargin) || X < std::max<std::int64_t>(0, LeftMargin - DeltaX);
    SetMouseState(TMouseStates{msMarginBoundary}, Boundary);
    SetMouseState(TMouseStates{msMargin}, Margin);
}

void TTextViewer::HandleFontChange(TObject* Sender) {
    TLinesViewer::HandleFontChange(Sender);
    if (!Buffer)
        return;
    SetWrapMode(WrapMode); // re-wrap with the new widths, keeping caret and selection
    ReEstimateFrom(0);
}

void TTextViewer::HandlePrinterChange(TObject* Sender) {
    (void)Sender;
    UpdatePrinterMetrics();
    SetWrapMode(WrapMode);
    Redraw();
}

void TTextViewer::WMWinIniChange(TMessage& Message) {
    TLinesViewer::WMWinIniChange(Message);
    HandlePrinterChange(this); // the default printer may have changed
}

// ---- Display options ----------------------------------------------------------------------

void TTextViewer::SetShowLineBreaks(bool Value) {
    ShowLineBreaks = Value;
    Redraw();
}

void TTextViewer::SetShowPageBreaks(TPageBreakDisplayModes Value) {
    ShowPageBreaks = Value;
    Redraw();
}

bool TTextViewer::GetOEMConvert() const {
    return Buffer && Buffer->GetOEMConvert();
}

void TTextViewer::SetOEMConvert(bool Value) {
    if (!Buffer)
        return;
    Buffer->SetOEMConvert(Value);
    RecentLineStarts.clear();
    MapLayout = CountLayout = NoLayout; // the widths of the bytes may have changed
    Redraw();
}

std::int64_t TTextViewer::GetTabCount() const {
    return Buffer ? Buffer->GetTabCount() : 0;
}

void TTextViewer::SetTabCount(std::int64_t Value) {
    if (!Buffer)
        return;
    Buffer->SetTabCount(Value);
    RecentLineStarts.clear();
    Redraw();
}

float TTextViewer::GetTabStops(std::int64_t Index) const {
    return Buffer ? Buffer->GetTabStop(Index) : 0.0F;
}

void TTextViewer::SetTabStops(std::int64_t Index, float Value) {
    if (!Buffer)
        return;
    Buffer->SetTabStop(Index, Value);
    RecentLineStarts.clear();
    PositiontextAt(LineStart);
    Redraw();
}

} // namespace kestrel
