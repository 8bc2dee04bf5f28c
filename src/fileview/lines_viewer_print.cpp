// TLinesViewer: the printing frame: printer metrics, page ranges, headers, footers and page
// numbers.
#include "fileview/lines_viewer.h"

#include "fileview/viewer_scopes.h"
#include "host/printers.h"
#include "host/sysutils.h"

#include <algorithm>
#include <cmath>

namespace kestrel {

// ---- Printing -----------------------------------------------------------------------------

std::int64_t TLinesViewer::RoundMetric(double V) {
    return static_cast<std::int64_t>(std::nearbyint(V));
}

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
        LinesPerPage = DefaultLinesPerPage;
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
            LinesPerPage = DefaultLinesPerPage;
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
    // What printing changed is put back however it ends.
    const TLeaveScope Restore([&] {
        SetZoomFactor(SavedZoom);
        SetState(vsPrinting, false);
        Redraw();
    });
    TPrinter* P = Printer();
    P->SetTitle(Title);
    SetZoomFactor(0);
    UpdatePrinterMetrics();
    BeginPrinting(Flag);
    const TLeaveScope End([this] { EndPrinting(); });
    const TPrintSpan Span = PrintSpan(Range, FromPage, ToPage);
    const std::int64_t Pages = Span.LastPage - Span.FirstPage + 1;
    const TBusyModeScope Busy(*this, Pages);
    const TLeaveScope Refocus([this] {
        if (CanFocus())
            SetFocus();
    });
    std::int64_t Line = Span.FirstLine;
    // An empty page range prints no page.
    for (std::int64_t Page = 1; Page <= Pages; ++Page) {
        if (!ReportProgress(Page))
            break;
        PrintPage(Header, PageNumbers, Range, Page, Pages, Span.LastLine, Line);
    }
}

TLinesViewer::TPrintSpan TLinesViewer::PrintSpan(TPrintRange Range, std::int64_t FromPage,
                                                 std::int64_t ToPage) {
    TPrintSpan Span;
    switch (Range) {
    case prAllPages:
        Span.FirstLine = 0;
        Span.LastLine = LastLine;
        Span.FirstPage = 1;
        Span.LastPage = PageCount;
        break;
    case prSelection:
        Span.FirstLine = SelStart.Y;
        Span.LastLine = SelEnd.Y;
        Span.FirstPage = GetPageNumber(Span.FirstLine);
        Span.LastPage = GetPageNumber(Span.LastLine);
        break;
    case prPageNums:
        Span.FirstLine = GetLineAtTopOfPage(FromPage);
        // The page after the last does not exist: its "top" is the last line, which belongs to
        // the range.
        Span.LastLine = ToPage >= PageCount ? LastLine : GetLineAtTopOfPage(ToPage + 1) - 1;
        Span.FirstPage = FromPage;
        Span.LastPage = ToPage;
        break;
    default:
        throw Exception("PrintRange undefined in call to Print");
    }
    return Span;
}

void TLinesViewer::PrintPage(const std::string& Header, bool PageNumbers, TPrintRange Range,
                             std::int64_t Page, std::int64_t Pages, std::int64_t LastPrinted,
                             std::int64_t& Line) {
    TPrinter* P = Printer();
    TCanvas* C = P->GetCanvas();
    const int PageWidth = P->GetPageWidth();
    const int PageHeight = P->GetPageHeight();
    // The next sheet starts only once the job goes on, so that an abort leaves no blank page
    // behind.
    if (Page > 1)
        P->NewPage();
    if (OnPagePrint)
        OnPagePrint(this, Page, Pages);
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
                   "Page " + IntToStr(Page));
        C->GetHandle()->SetTextAlign(TA_LEFT | TA_TOP);
    }
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
