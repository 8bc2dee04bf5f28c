// TTextViewer: the background count of lines and pages in idle time, and the idle handler.
#include "fileview/text_viewer.h"

#include "host/scope_guard.h"
#include "textbuff/text_stream.h"

#include <algorithm>

namespace kestrel {

namespace {

// The map's invariants are checked after each count step in debug builds only.
#ifdef NDEBUG
constexpr bool MapChecks = false;
#else
constexpr bool MapChecks = true;
#endif

} // namespace

// ---- Background count ---------------------------------------------------------------------

void TTextViewer::PageStep() {
    ++ScanPageCount;
    // At least 1: an estimated jump divides by it, and a leading form feed gives 0 / 2.
    AverageLinesPerPage = std::max<std::int64_t>(1, ScanLine / ScanPageCount);
    if (TopLine <= ScanLine && ScanLine < TopLine + LinesPerPage)
        Redraw(); // a page break may have appeared on the screen
}

bool TTextViewer::CountPassesLine(std::int64_t Len) {
    // Each anchor passed takes the count's page as well as its number: a count that resumes from
    // an anchor goes on from its page.
    if (ScanOffset == CaretLineStart) {
        PageNumber = ScanPageCount;
        CaretPage = ScanPageCount;
        LineNumber = ScanLine;
        // The hard breaks at or before the caret line are all recorded now.
        LineNumberOffset = static_cast<std::int64_t>(HardBreaks.size());
        PageTopLine = HardBreaks.empty() ? 0 : HardBreaks.back() + 1;
    }
    if (ScanOffset == LineStart) {
        MapLine = ScanLine;
        MapPage = ScanPageCount;
        MapBoundary = ScanBoundary;
        HardBreakIndex = static_cast<std::int64_t>(HardBreaks.size()) - 1;
    }
    // A selection end belongs to the line whose start plus its character index gives its
    // offset (the end of a wrapped line is also the start of the next one).
    if (ScanOffset + std::clamp<std::int64_t>(SelStart.X, 0, Len) == SelStartOffset) {
        SelStartPage = ScanPageCount;
        if (SelStart.Y != ScanLine) {
            if (SelAnchor.Y == SelStart.Y)
                SelAnchor.Y = ScanLine;
            SelStart.Y = ScanLine;
        }
    }
    if (ScanOffset + std::clamp<std::int64_t>(SelEnd.X, 0, Len) == SelEndOffset) {
        SelEndPage = ScanPageCount;
        if (SelEnd.Y != ScanLine) {
            if (SelAnchor.Y == SelEnd.Y)
                SelAnchor.Y = ScanLine;
            SelEnd.Y = ScanLine;
        }
    }
    if (ScanOffset != TopLineStart || TopLineStartLine != TopLine)
        return false;
    TopLine = ScanLine;
    TopLineStartLine = ScanLine;
    VertScrollBar->SetPosition(ScanLine);
    return true;
}

void TTextViewer::NumbersSettled() {
    LineNumbersPending = false;
    ReportedLine = -1; // the next idle pass reports the caret
    Redraw();
}

void TTextViewer::RecordHardBreak() {
    HardBreaks.push_back(ScanLine);
    // A map line at or past the break is past it too.
    if (MapLine >= ScanLine)
        HardBreakIndex = static_cast<std::int64_t>(HardBreaks.size()) - 1;
    PageStep();
    ScanBoundary = pbHardPageBreak;
}

[[gnu::always_inline]] inline void TTextViewer::ClassifyScanStart(bool Plain, std::int64_t& Phase) {
    if (!Plain && ByteAt(ScanOffset) == FF) {
        RecordHardBreak();
        Phase = 0;
    } else if (Phase == 0 && ScanLine != (HardBreaks.empty() ? 0 : HardBreaks.back())) {
        // AtSoftPageBreak(ScanLine, the last hard break), counted instead of divided.
        PageStep();
        ScanBoundary = pbSoftPageBreak;
    } else {
        ScanBoundary = pbNone;
    }
}

// (Inline: a step of the count's loop over its lines.)
[[gnu::always_inline]] inline void TTextViewer::CountMovesOn(std::int64_t N, std::int64_t Len,
                                                             bool Plain, std::int64_t& Phase,
                                                             std::int64_t PerPage) {
    const std::int64_t Prev = ScanOffset;
    // A text that is one unterminated line has only line 0.
    if (!(ScanOffset == 0 && N == Buffer->GetTextSize() && Len == N)) {
        ++ScanLine;
        if (++Phase == PerPage)
            Phase = 0;
    }
    ScanOffset = N;
    ClassifyScanStart(Plain, Phase);
    NoteCheckpoint(Prev);
}

void TTextViewer::CountReachesEnd(std::int64_t W, std::int64_t Len) {
    // Complete before the last line is set: a scroll bar that comes or goes with the new range
    // re-lays the window in the middle of this, and what it asks of the count (an estimate, a
    // rewind after the step) must see the count as it now is.
    CountComplete = true;
    PageCount = ScanPageCount;
    SetLastLine(ScanLine);
    if (W > LongestLine)
        SetLongestLine(W);
    CountPassesLine(Len);
    VertScrollBar->SetPosition(TopLine);
    // Whatever was still provisional lies at or beyond the end and is now as exact as it can
    // be: the step never waits for an offset the text does not have.
    if (LineNumbersPending)
        NumbersSettled();
}

std::int64_t TTextViewer::CountRunFromScanOffset(std::int64_t End, std::int64_t MaxLines,
                                                 std::int64_t& Phase, std::int64_t PerPage) {
    // No anchor among the lines: each line ends before every anchor at or after it (a selection
    // end at a line's end belongs to that line).
    for (const std::int64_t A : {CaretLineStart, LineStart, TopLineStart})
        if (A >= ScanOffset)
            End = std::min(End, A);
    for (const std::int64_t A : {SelStartOffset, SelEndOffset})
        if (A >= ScanOffset)
            End = std::min(End, A - 1);
    // No page boundary before the last of them.
    MaxLines = std::min(MaxLines, PerPage - Phase);
    std::int64_t Pos = ScanOffset;
    std::int64_t Wide = 0;
    const std::int64_t Lines = Buffer->CountPlainLines(Pos, End, MaxLines, LongestLine, Wide);
    if (Lines == 0)
        return 0;
    if (Wide > LongestLine)
        SetLongestLine(Wide);
    ScanLine += Lines;
    Phase += Lines;
    if (Phase == PerPage)
        Phase = 0;
    ScanOffset = Pos;
    ClassifyScanStart(false, Phase);
    return Lines;
}

void TTextViewer::CountFromScanOffset() {
    if (State.Contains(vsMouseDown) || State.Contains(vsDragging))
        return; // the count waits while a mouse button is held
    if (ScanOffset == 0 && HardBreaks.empty() && ByteAt(0) == FF)
        RecordHardBreak(); // the first line is a hard break, counted once when the count starts
    // Lines since the last page boundary, modulo the page: soft boundaries without a division
    // a line (hard breaks only ever lie at or before ScanLine).
    const std::int64_t PerPage = std::max<std::int64_t>(1, LinesPerPage);
    std::int64_t Phase = (ScanLine - (HardBreaks.empty() ? 0 : HardBreaks.back())) % PerPage;
    // A step takes at least a line, and stops once it has taken CountStepLines lines or
    // CountStepBytes bytes; lines without anchors are counted in runs.
    const std::int64_t StepEnd = ScanOffset + CountStepBytes;
    const std::int64_t Size = GetTextSize();
    for (std::int64_t K = 0;;) {
        // A line longer than the budget is measured a budget a step.
        if (std::int64_t Budget = StepEnd - ScanOffset; !Buffer->MeasureLine(ScanOffset, Budget)) {
            LineMeasuredInPart = true;
            return;
        }
        std::int64_t N = ScanOffset;
        std::int64_t W = 0;
        std::int64_t Len = 0;
        const bool Ended = Buffer->GetNextLine(N, W, Len);
        // (A text that is one unterminated line moves on to its end first.)
        if (!Ended && !(ScanOffset == 0 && N == Size && Len == N && N > 0)) {
            CountReachesEnd(W, Len);
            return;
        }
        if (W > LongestLine)
            SetLongestLine(W);
        if (CountPassesLine(Len))
            K -= LinesOnScreen; // the lines on the screen get their numbers in this step
        if (LineNumbersPending && ScanOffset >= LineStart && ScanOffset >= CaretLineStart &&
            ScanOffset + Len >= SelEndOffset)
            NumbersSettled();
        CountMovesOn(N, Len, false, Phase, PerPage);
        ++K;
        if (K < CountStepLines && ScanOffset < StepEnd)
            K += CountRunFromScanOffset(StepEnd, CountStepLines - K, Phase, PerPage);
        if (K >= CountStepLines || ScanOffset >= StepEnd)
            return;
    }
}

void TTextViewer::EstimateNumLines() {
    if (EstimateDepth > 0 || !Buffer)
        return;
    {
        const TCounterGuard Depth(EstimateDepth);
        if (!CountComplete)
            CountFromScanOffset();
        else if (LineNumbersPending)
            NumbersSettled(); // nothing left to count: provisional numbers cannot get better
    }
    if (DeferredRewind != NoRewind) {
        // The step changed the layout under itself (a scroll bar that came or went re-wraps the
        // text): what it counted after that belongs to the old layout.
        const std::int64_t Offset = DeferredRewind;
        DeferredRewind = NoRewind;
        ReEstimateFrom(Offset);
    }
    if constexpr (MapChecks)
        CheckMapInvariants();
}

void TTextViewer::EstimateLastLine() {
    // (Within a count step, the step itself sets the last line.)
    if (CountComplete || !Buffer || EstimateDepth > 0)
        return;
    const std::int64_t Size = GetTextSize();
    if (Size == 0) {
        SetLastLine(0);
        CountComplete = true;
        LineNumbersPending = false;
        PageCount = 1;
        return;
    }
    EstimateNumLines();
    SetEstimatedLastLine();
}

void TTextViewer::SetEstimatedLastLine() {
    if (CountComplete || ScanOffset == 0)
        return;
    // The lines counted, and the rest at the density of the samples (at that of the part counted
    // when there are none).
    const double PerByte = SamplesHold()
                               ? SampledLinesPerByte
                               : static_cast<double>(ScanLine) / static_cast<double>(ScanOffset);
    const auto L = ScanLine + static_cast<std::int64_t>(
                                  PerByte * static_cast<double>(GetTextSize() - ScanOffset));
    // The estimate never falls below the caret line.
    SetLastLine(std::max(L, LineNumber));
    PageCount = LastLine / std::max<std::int64_t>(1, LinesPerPage) + 1;
}

void TTextViewer::ReEstimateFrom(std::int64_t Offset) {
    if (EstimateDepth != 0) {
        DeferredRewind = std::min(DeferredRewind, Offset);
        return;
    }
    if (Offset >= ScanOffset)
        return;
    bool Restart = true;
    if (!LineNumbersPending && CaretLineStart > 0 && Offset >= CaretLineStart) {
        ScanPageCount = CaretPage;
        ScanOffset = CaretLineStart;
        ScanLine = LineNumber;
        CountLayout = NoLayout; // the caret line may have been found in another layout
        Restart = false;
    } else if (!LineNumbersPending && Offset >= PrevLineStart && PrevLineStart > 0) {
        // (At offset 0 the count starts over, so that a leading form feed is counted.)
        ScanOffset = PrevLineStart;
        ScanLine = std::max<std::int64_t>(0, MapLine - 1);
        ScanPageCount = MapBoundary != pbNone ? MapPage - 1 : MapPage;
        CountLayout = MapLayout;
        Restart = false;
    }
    if (Restart) {
        ScanOffset = 0;
        ScanLine = 0;
        ScanBoundary = pbNone;
        ScanPageCount = 1;
        HardBreaks.clear();
        HardBreakIndex = -1;
        CountLayout = PresentLayout();
    } else {
        // The breaks after the line the count resumes at are recorded again as it passes them;
        // the map keeps the index of its own line among those left.
        const std::int64_t Kept = LastHardBreakAtOrBefore(ScanLine);
        HardBreaks.resize(static_cast<std::size_t>(Kept + 1));
        ScanBoundary = PageBoundaryAt(ScanLine, Kept);
        HardBreakIndex = LastHardBreakAtOrBefore(MapLine);
    }
    TrimCheckpoints();
    const std::int64_t Size = GetTextSize();
    CountComplete = Size == 0;
    LineNumbersPending = Size > 0;
}

bool TTextViewer::CompleteCount() {
    if (!Buffer)
        return true;
    const TWideWindowScope Wide(Buffer.get());
    while (!CountComplete || LineNumbersPending)
        if (!CountStep())
            return CountComplete;
    return true;
}

bool TTextViewer::CountStep() {
    const std::int64_t Offset = ScanOffset;
    const std::int64_t Line = ScanLine;
    const bool Complete = CountComplete;
    const bool Pending = LineNumbersPending;
    LineMeasuredInPart = false;
    // The samples for the estimates, once for each text and layout, in the first step after
    // they changed.
    const bool Resample = Buffer && !CountComplete && EstimateDepth == 0 && !SamplesHold();
    if (Resample)
        SampleLineLength();
    EstimateNumLines();
    if (Resample)
        SetEstimatedLastLine();
    return ScanOffset != Offset || ScanLine != Line || CountComplete != Complete ||
           LineNumbersPending != Pending || LineMeasuredInPart;
}

void TTextViewer::HandleOnIdle(TObject* Sender, bool& Done) {
    if (MeasurePendingRows()) { // the window's rows before the count
        Done = false;
    } else if (!LineNumbersPending && CountComplete) {
        Done = true;
    } else {
        const bool Progress = CountStep();
        if (!LineNumbersPending && CountComplete)
            DoOnCaretMove();
        // Asking to be called again at once only makes sense when the step got somewhere;
        // a paused count (mouse held) waits for the next message instead of spinning.
        Done = !Progress && !CountComplete;
    }
    if (CharNumber != ReportedPos || LineNumber != ReportedLine) {
        ReportedPos = CharNumber;
        ReportedLine = LineNumber;
        DoOnCaretMove();
    }
    if (SavedOnIdle) {
        bool SavedDone = true;
        SavedOnIdle(Sender, SavedDone);
        Done = Done && SavedDone;
    }
}

void TTextViewer::DoSetFocus() {
    TLinesViewer::DoSetFocus();
    if (AutoIdle && !IdleHooked) {
        SavedOnIdle = Application->GetOnIdle();
        Application->SetOnIdle([this](TObject* Sender, bool& Done) { HandleOnIdle(Sender, Done); });
        IdleHooked = true;
    }
    if (OnCaretMoved)
        OnCaretMoved(this);
}

void TTextViewer::DoKillFocus() {
    TLinesViewer::DoKillFocus();
    if (IdleHooked) {
        Application->SetOnIdle(SavedOnIdle);
        SavedOnIdle = nullptr;
        IdleHooked = false;
    }
    // No idle time comes without the focus: rows waiting for it are painted whole.
    if (PendingRow >= 0)
        RedrawPendingRows();
}

void TTextViewer::SetLongestLine(std::int64_t W) {
    if (W <= LongestLine)
        return;
    LongestLine = W;
    if (WrapMode != opWrapScreenWidth)
        HorzScrollBar->SetLimit(W + LeftMargin + CharWidth);
}

} // namespace kestrel
