// TLinesViewer: the printing frame: printer metrics, page ranges, headers, footers and page
// numbers.
#include "fileview/lines_viewer.h"

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
