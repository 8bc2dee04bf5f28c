// TTextViewer: printing of lines and pages. The text is laid out for the printer for the length
// of a job, counted to the end so that pages are exact, and put back afterwards.
#include "fileview/text_viewer.h"

#include "fileview/viewer_scopes.h"
#include "host/printers.h"
#include "host/scope_guard.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace kestrel {

void TTextViewer::BeginPrinting(bool UsePrinterWrap) {
    TLinesViewer::BeginPrinting(UsePrinterWrap);
    SavedWrapMode = WrapMode;
    bool DeviceSwitched = false;
    // The frame ends the job only when this completed: a failure undoes what was done so far
    // here (the first failure being the one reported).
    const TScopeFail Undo([&] {
        try {
            if (DeviceSwitched)
                Buffer->SetOutputDevice(odDisplay);
            SetWrapMode(SavedWrapMode);
        } catch (...) {
        }
        try {
            TLinesViewer::EndPrinting();
        } catch (...) {
        }
    });
    if (UsePrinterWrap && WrapMode != opPrinter)
        SetWrapMode(opPrinter);
    PrintLocation = MarkLocation();
    // The display's wrapped lines break again with the printer's widths. Scaled widths of a
    // proportional font do not keep every break, so the caret and the selection are held by
    // their offsets while the text is laid out and counted afresh.
    const bool Rewrap = WrapMode == opWrapScreenWidth || WrapMode == opAbsoluteWrap;
    const std::int64_t SelStartAt = SelStartOffset;
    const std::int64_t SelEndAt = SelEndOffset;
    const std::int64_t AnchorAt = TextOffset(SelAnchor);
    const TSelModes Mode = SelMode;
    if (Rewrap)
        ResetSelection(ZeroPoint);
    Buffer->SetOutputDevice(odPrinter);
    DeviceSwitched = true;
    if (Rewrap) {
        // The wrap width in printer pixels, so that printed lines break at the characters where
        // displayed ones do, as far as the widths scale.
        const double Ratio = static_cast<double>(Buffer->GetPrinterCharWidth()) /
                             static_cast<double>(Buffer->GetDisplayCharWidth());
        const double Width = std::round(static_cast<double>(Buffer->GetMaxWidth()) * Ratio);
        constexpr double Widest = static_cast<double>(std::numeric_limits<std::int64_t>::max());
        Buffer->SetMaxWidth(Width >= Widest
                                ? NoWrapWidth
                                : std::max<std::int64_t>(1, static_cast<std::int64_t>(Width)));
        PositiontextAt(PrintLocation); // the caret's line, numbered by the count below
        CaretLineStart = LineStart;
        ReEstimateFrom(0);
    }
    // The whole text is counted for the printed layout before the first page is chosen.
    GotoFirstLine();
    CompleteCount();
    if (Rewrap) {
        GotoLocation(PrintLocation);
        if (Mode != smNone) {
            ReapplySelection(SelStartAt, SelEndAt, Mode);
            SelAnchor = OffsetToPoint(AnchorAt);
        }
    }
}

void TTextViewer::EndPrinting() {
    const TLeaveScope EndJob([this] { TLinesViewer::EndPrinting(); });
    Buffer->SetOutputDevice(odDisplay);
    SetWrapMode(SavedWrapMode);
    SetMaxLineLength(MaxLineLength); // the display wrap width again; the count restarts
    GotoLocation(PrintLocation);     // the caret back on its text, on the same screen row
}

std::int64_t TTextViewer::GetLineAtTopOfPage(std::int64_t Page) {
    {
        const TBusyModeScope Busy(*this, PageCount);
        // Count until the page has begun; a step that cannot advance (a mouse button held, a
        // step re-entered) ends the wait.
        while (!CountComplete && Page >= ScanPageCount && CountStep()) {
        }
        while (Page <= MapPage && GotoPrevLine()) {
        }
        while (Page > MapPage && GotoNextLine()) {
        }
    }
    return MapLine;
}

std::int64_t TTextViewer::GetPageNumber(std::int64_t Line) {
    LocateLine(Line, false);
    return MapPage;
}

void TTextViewer::PrintLine(std::int64_t X, std::int64_t Y, std::int64_t Line, TPrintRange Range,
                            bool& PageBreak) {
    LocateLine(Line, false);
    PageBreak = AtHardPageBreak(MapLine + 1, HardBreakIndex + 1);
    // A line past the end of the text (the map stopped short of it) and a form-feed line (the
    // break itself, at the top of a page) print nothing.
    if (MapLine != Line || AtHardPageBreak(MapLine, HardBreakIndex) || ByteAt(LineStart) == FF)
        return;
    std::int64_t Start = 0;
    std::int64_t Count = MapLineLength;
    if (Range == prSelection && SelMode == smColumn) {
        // A column block prints its rows: the characters between its pixel edges, as they are
        // copied, each clamped to this display line's own characters.
        std::int64_t A = 0;
        std::int64_t B = 0;
        ColumnSpan(A, B);
        Start = A - LineStart;
        Count = B - A;
    } else if (Range == prSelection) {
        if (Line == SelEnd.Y)
            Count = std::clamp<std::int64_t>(SelEnd.X, 0, MapLineLength);
        if (Line == SelStart.Y) {
            Start = std::clamp<std::int64_t>(SelStart.X, 0, Count);
            Count -= Start;
        }
    }
    if (Count > 0) // tab stops count from the start of the printed line, as when measured
        Buffer->TabbedTextOut(X, Y, LineStart + Start, Count, X);
}

} // namespace kestrel
