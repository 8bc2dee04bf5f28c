// TTextViewer: the line map: one cursor line with its neighbours, moved a line at a time or
// placed from the nearest anchor, with estimated jumps for far targets.
#include "fileview/text_viewer.h"

#include <algorithm>
#include <cstdlib>

namespace kestrel {

namespace {

// An anchor this close (in bytes) to an estimated offset is walked from instead of jumping.
constexpr std::int64_t AnchorReach = 4096;
// A target farther than this (in lines) from every anchor may be reached by an estimated jump.
constexpr std::int64_t JumpDistance = 100;
// A walk to a line farther than this (in bytes) into its paragraph counts the lines before it in
// bulk and walks only the rest, however narrow the lines.
constexpr std::int64_t WalkReach = 1 << 16;
// The map's invariants are checked after the map operations in debug builds only.
#ifdef NDEBUG
constexpr bool MapChecks = false;
#else
constexpr bool MapChecks = true;
#endif

} // namespace

bool TTextViewer::AtHardPageBreak(std::int64_t Line, std::int64_t Index) const {
    return Index >= 0 && Index < static_cast<std::int64_t>(HardBreaks.size()) &&
           HardBreaks[static_cast<std::size_t>(Index)] == Line;
}

bool TTextViewer::AtSoftPageBreak(std::int64_t Line, std::int64_t Index) const {
    const std::int64_t PerPage = std::max<std::int64_t>(1, LinesPerPage);
    if (HardBreaks.empty() || Index < 0)
        return Line > 0 && Line % PerPage == 0;
    const std::int64_t Last = static_cast<std::int64_t>(HardBreaks.size()) - 1;
    const std::int64_t H = HardBreaks[static_cast<std::size_t>(std::min(Index, Last))];
    return Line != H && (Line - H) % PerPage == 0;
}

TPageBoundaries TTextViewer::PageBoundaryAt(std::int64_t Line, std::int64_t Index) const {
    if (AtHardPageBreak(Line, Index))
        return pbHardPageBreak;
    if (AtSoftPageBreak(Line, Index))
        return pbSoftPageBreak;
    return pbNone;
}

std::int64_t TTextViewer::LastHardBreakAtOrBefore(std::int64_t Line) const {
    const auto It = std::upper_bound(HardBreaks.begin(), HardBreaks.end(), Line);
    return static_cast<std::int64_t>(It - HardBreaks.begin()) - 1;
}

// ---- Line map -----------------------------------------------------------------------------

void TTextViewer::GotoFirstLine() {
    // The map is placed again; line 0 open in the present layout stays open as it is.
    const bool WasOpen = MapLineOpen && OpenLayout == PresentLayout();
    MapLineOpen = false;
    PrevLineStart = 0;
    LineStart = 0;
    NextLineStart = 0;
    MapLine = 0;
    if (ByteAt(0) == FF) {
        HardBreakIndex = 0;
        MapPage = 2;
        MapBoundary = pbHardPageBreak;
    } else {
        HardBreakIndex = -1;
        MapPage = 1;
        MapBoundary = pbNone;
    }
    // A first line too long to measure before the first paint stays open: idle time measures it.
    if (std::int64_t Budget = PaintBudget;
        IdleHooked && (WasOpen || !Buffer->MeasureLine(0, Budget))) {
        MapLineOpen = true;
        OpenLayout = PresentLayout();
        const std::int64_t Size = GetTextSize();
        NextLineStart.Raw() = Size; // (what the line may take at most, until it is measured)
        MapLineLength.Raw() = Size;
        MapLineWidth.Raw() = 0;
        if constexpr (MapChecks)
            MapLayout = PresentLayout();
        return;
    }
    Buffer->GetNextLine(NextLineStart.Ref(), MapLineWidth.Ref(), MapLineLength.Ref());
    if constexpr (MapChecks) {
        MapLayout = PresentLayout();
        CheckMapInvariants(true, false);
    }
}

void TTextViewer::MeasureOpenMapLine(std::int64_t Budget) {
    // The open line is line 0, wherever a map operation under way has put LineStart already.
    if (!MapLineOpen || (Buffer && !Buffer->MeasureLine(0, Budget)))
        return;
    MapLineOpen = false;
    NextLineStart.Raw() = 0;
    if (Buffer)
        Buffer->GetNextLine(NextLineStart.Raw(), MapLineWidth.Raw(), MapLineLength.Raw());
    if (CaretLineStart == 0) { // the caret's line: its data as the map now has it
        LineWidth.Raw() = MapLineWidth.Raw();
        LineLength.Raw() = MapLineLength.Raw();
    }
}

bool TTextViewer::AtEndOfText() {
    return NextLineStart >= GetTextSize() && LineStart + MapLineLength == NextLineStart &&
           ByteAt(LineStart) != FF;
}

bool TTextViewer::GotoNextLine() {
    if (AtEndOfText())
        return false;
    PrevLineStart = LineStart;
    LineStart = NextLineStart;
    Buffer->GetNextLine(NextLineStart.Ref(), MapLineWidth.Ref(), MapLineLength.Ref());
    ++MapLine;
    if (CountComplete && MapLine > LastLine)
        CountComplete = false; // more lines than counted: idle counting resumes
    // The next hard break recorded may be this line; every boundary begins a page.
    if (AtHardPageBreak(MapLine, HardBreakIndex + 1))
        ++HardBreakIndex;
    ClassifyMapBoundary();
    if (MapBoundary != pbNone)
        ++MapPage;
    CalibrateAtCount();
    if constexpr (MapChecks)
        CheckMapInvariants(true, false);
    return true;
}

bool TTextViewer::GotoPrevLine() {
    if (LineStart <= PrevLineStart)
        return false;
    NextLineStart = LineStart;
    LineStart = PrevLineStart;
    if (PrevLineStart > 0) {
        const std::int64_t Old = NextLineStart;
        const auto It =
            std::lower_bound(RecentLineStarts.begin(), RecentLineStarts.end(), LineStart);
        bool Known = false;
        if (It != RecentLineStarts.begin() && It != RecentLineStarts.end() && *It == LineStart) {
            // The line before is known from the last walk through this paragraph.
            std::int64_t T = LineStart;
            Buffer->GetNextLine(T, MapLineWidth.Ref(), MapLineLength.Ref());
            Known = T == Old;
            if (Known)
                PrevLineStart = *(It - 1);
            else
                RecentLineStarts.clear();
        }
        if (!Known) {
            // Step line by line from the start of the paragraph: the last start before
            // LineStart is the new previous line, and the last line measured is the new map
            // line. The starts are kept, so that the next steps back need no walk.
            Buffer->GetStartOfParagraph(PrevLineStart);
            if (LineStart - PrevLineStart > WalkReach)
                Buffer->CountLines(PrevLineStart, INT64_MAX, LineStart - WalkReach);
            const std::int64_t Size = GetTextSize();
            std::int64_t T = PrevLineStart;
            RecentLineStarts.clear();
            NoteLineStart(T);
            do {
                Buffer->GetNextLine(T, MapLineWidth.Ref(), MapLineLength.Ref());
                NoteLineStart(T);
                if (T < LineStart)
                    PrevLineStart = T;
            } while (T < NextLineStart && T != Size);
            NextLineStart = T;
        }
        // A provisional number may run out walking back; a line after the first is never 0.
        MapLine = std::max<std::int64_t>(1, MapLine - 1);
    } else {
        MapLine = 0;
        NextLineStart = 0;
        Buffer->GetNextLine(NextLineStart.Ref(), MapLineWidth.Ref(), MapLineLength.Ref());
    }
    // The line left behind began a page: the map is back on the page before. Then the new
    // line's own boundary (two form feeds in a row are both hard breaks).
    if (AtHardPageBreak(MapLine + 1, HardBreakIndex)) {
        --HardBreakIndex;
        --MapPage;
    } else if (AtSoftPageBreak(MapLine + 1, HardBreakIndex)) {
        --MapPage;
    }
    // A provisional page may run out walking back, as a provisional number may: no page is 0.
    MapPage = std::max<std::int64_t>(1, MapPage);
    ClassifyMapBoundary();
    CalibrateAtCount();
    if constexpr (MapChecks)
        CheckMapInvariants(true, false);
    return true;
}

void TTextViewer::CalibrateAtCount() {
    // The count's position is an anchor whose number is exact. A map that reaches it with a
    // provisional number takes the exact one: otherwise a number carried back over the count
    // would never be corrected, since the count only corrects what lies ahead of it. (So does a
    // provisional page under an exact number.)
    if (ScanOffset <= 0 || LineStart != ScanOffset ||
        (MapLine == ScanLine && MapPage == ScanPageCount))
        return;
    MapLine = ScanLine;
    MapPage = ScanPageCount;
    MapBoundary = ScanBoundary;
    HardBreakIndex = static_cast<std::int64_t>(HardBreaks.size()) - 1;
}

void TTextViewer::PositiontextAt(std::int64_t Offset) {
    if (Offset <= 0) {
        GotoFirstLine();
        return;
    }
    // Inside the run of line starts the last walk met, the line is found without a walk.
    const auto It = std::upper_bound(RecentLineStarts.begin(), RecentLineStarts.end(), Offset);
    if (It != RecentLineStarts.end() && It - RecentLineStarts.begin() >= 2) {
        std::int64_t T = *(It - 1);
        Buffer->GetNextLine(T, MapLineWidth.Ref(), MapLineLength.Ref());
        if (T == *It) {
            PrevLineStart = *(It - 2);
            LineStart = *(It - 1);
            NextLineStart = T;
            SyncMapBoundary();
            if constexpr (MapChecks) {
                MapLayout = PresentLayout();
                CheckMapInvariants(false, false);
            }
            return;
        }
        RecentLineStarts.clear();
    }
    // Two paragraphs back, so that the line before the target is always known.
    PrevLineStart = Offset;
    Buffer->GetStartOfParagraph(PrevLineStart);
    Buffer->GetStartOfParagraph(PrevLineStart);
    if (Offset - PrevLineStart > WalkReach) {
        // The lines that end well before the offset are skipped; when the one the skip stops at
        // holds the offset (a line longer than the reach), the one before it stays the start.
        std::int64_t Skip = PrevLineStart;
        const std::int64_t Skipped = Buffer->CountLines(Skip, INT64_MAX, Offset - WalkReach);
        std::int64_t Next = Skip;
        std::int64_t W = 0;
        std::int64_t Len = 0;
        Buffer->GetNextLine(Next, W, Len);
        if (Skipped > 0 && Next > Offset)
            Buffer->CountLines(PrevLineStart, Skipped - 1);
        else
            PrevLineStart = Skip;
    }
    LineStart = PrevLineStart;
    Buffer->GetNextLine(LineStart, MapLineWidth.Ref(), MapLineLength.Ref());
    const std::int64_t Size = GetTextSize();
    if (PrevLineStart == 0 &&
        ((LineStart == Size && MapLineLength == LineStart) || Offset < LineStart)) {
        NextLineStart = LineStart;
        LineStart = 0;
    } else {
        NextLineStart = LineStart;
        Buffer->GetNextLine(NextLineStart.Ref(), MapLineWidth.Ref(), MapLineLength.Ref());
        RecentLineStarts.clear();
        NoteLineStart(PrevLineStart);
        NoteLineStart(LineStart);
        NoteLineStart(NextLineStart);
        while (Offset > LineStart && Offset >= NextLineStart && !AtEndOfText()) {
            PrevLineStart = LineStart;
            LineStart = NextLineStart;
            Buffer->GetNextLine(NextLineStart.Ref(), MapLineWidth.Ref(), MapLineLength.Ref());
            NoteLineStart(NextLineStart);
        }
    }
    SyncMapBoundary();
    if constexpr (MapChecks) {
        MapLayout = PresentLayout();
        CheckMapInvariants(false, false);
    }
}

void TTextViewer::NoteLineStart(std::int64_t Start) {
    if (!RecentLineStarts.empty() && RecentLineStarts.back() >= Start)
        return; // the end of the text: no further start
    RecentLineStarts.push_back(Start);
    // Only the starts just behind the map are of use.
    constexpr std::size_t Keep = 1024;
    if (RecentLineStarts.size() > 2 * Keep)
        RecentLineStarts.erase(RecentLineStarts.begin(),
                               RecentLineStarts.end() - static_cast<std::ptrdiff_t>(Keep));
}

void TTextViewer::SyncMapBoundary() {
    HardBreakIndex = LastHardBreakAtOrBefore(MapLine);
    ClassifyMapBoundary();
}

void TTextViewer::ClassifyMapBoundary() {
    MapBoundary = PageBoundaryAt(MapLine, HardBreakIndex);
}

void TTextViewer::SetMapAnchor(std::int64_t Offset, std::int64_t Line, std::int64_t Page,
                               std::int64_t X) {
    PositiontextAt(Offset);
    if (X > 0 && Offset > 0 && LineStart == Offset && PrevLineStart < LineStart) {
        // A point past the first character whose offset starts a line: it sits at the end of
        // the line before, which runs into this one with no line break (a wrapped line, or
        // text before a form feed). That line is the anchor's.
        std::int64_t T = PrevLineStart;
        std::int64_t W = 0;
        std::int64_t Len = 0;
        Buffer->GetNextLine(T, W, Len);
        if (T == Offset && PrevLineStart + Len == Offset)
            PositiontextAt(PrevLineStart);
    }
    MapLine = Line;
    MapPage = Page;
    SyncMapBoundary();
    CalibrateAtCount();
}

TTextViewer::TMapAnchor TTextViewer::NearestAnchor(std::int64_t DStart, std::int64_t DMap,
                                                   std::int64_t DCaret, std::int64_t DSelStart,
                                                   std::int64_t DSelEnd) {
    if (DStart < DMap && DStart < DCaret && DStart < DSelStart && DStart < DSelEnd)
        return maStart;
    if (DCaret <= DMap && DCaret <= DSelStart && DCaret <= DSelEnd)
        return maCaret;
    if (DSelStart <= DMap && DSelStart <= DCaret && DSelStart <= DSelEnd)
        return maSelStart;
    if (DSelEnd <= DMap && DSelEnd <= DCaret && DSelEnd <= DSelStart)
        return maSelEnd;
    return maMap;
}

void TTextViewer::GotoAnchor(TMapAnchor A) {
    switch (A) {
    case maStart:
        GotoFirstLine();
        break;
    case maMap:
        break;
    case maCaret:
        if (CaretLineStart != LineStart)
            SetMapAnchor(CaretLineStart, LineNumber, PageNumber);
        break;
    case maSelStart:
        SetMapAnchor(SelStartOffset, SelStart.Y, SelStartPage, SelStart.X);
        break;
    case maSelEnd:
        SetMapAnchor(SelEndOffset, SelEnd.Y, SelEndPage, SelEnd.X);
        break;
    }
}

void TTextViewer::JumpTo(std::int64_t Offset, std::int64_t Line) {
    MapLine = Line;
    MapPage = Line / std::max<std::int64_t>(1, AverageLinesPerPage) + 1;
    PositiontextAt(Offset);
    if (LineStart == 0)
        GotoFirstLine(); // the first line is line 0, the number never provisional
    LineNumbersPending = true;
    ReEstimateFrom(LineStart);
}

void TTextViewer::LocateLine(std::int64_t Line, bool Estimate) {
    if (Line == MapLine)
        return;
    const std::int64_t Size = GetTextSize();
    if (Line <= 0 || Size == 0) {
        GotoFirstLine();
        return;
    }
    const std::int64_t D0 = std::abs(Line - MapLine);
    const std::int64_t DC = std::abs(Line - LineNumber);
    const std::int64_t DS = std::abs(Line - SelStart.Y);
    const std::int64_t DE = std::abs(Line - SelEnd.Y);
    const TMapAnchor Nearest = NearestAnchor(Line, D0, DC, DS, DE);
    bool Placed = false;
    if (Nearest != maStart && Estimate && LastLine > 0) {
        // A far target: an anchor near its estimated offset, the line itself where the count has
        // passed it (from the count's checkpoints), the end, or the estimated jump.
        const std::int64_t E = EstimatedOffset(Line);
        Placed = true;
        if (std::abs(SelStartOffset - E) <= AnchorReach) {
            GotoAnchor(maSelStart);
        } else if (std::abs(SelEndOffset - E) <= AnchorReach) {
            GotoAnchor(maSelEnd);
        } else if (std::min({D0, DC, DS, DE}) <= JumpDistance) {
            Placed = false;
        } else if ((CountComplete || Line <= ScanLine) && CheckpointLayout == PresentLayout()) {
            LocateLineExactly(Line);
            return;
        } else if (Line + 2 * LinesOnScreen >= LastLine) {
            GotoEndOftext();
        } else {
            JumpTo(E, Line);
        }
    }
    // Otherwise the walk starts from the nearest anchor. (A near target is never walked to from a
    // far map line.)
    if (!Placed)
        GotoAnchor(Nearest);
    HardBreakIndex = LastHardBreakAtOrBefore(MapLine);
    // A walk that meets the count's position may be renumbered there; it then walks on.
    for (int Pass = 0; Pass < 3 && Line != MapLine; ++Pass) {
        while (Line > MapLine && GotoNextLine()) {
        }
        while (Line < MapLine && GotoPrevLine()) {
        }
    }
    if (MapLine > ScanLine && !LineNumbersPending && CountComplete) {
        ScanLine = MapLine;
        ScanOffset = LineStart;
        CountLayout = MapLayout;
    }
    if constexpr (MapChecks)
        CheckMapInvariants(true, false);
}

void TTextViewer::GotoLine(std::int64_t Line, std::int64_t& Width, std::int64_t& Length) {
    LocateLine(Line, true);
    Width = MapLineWidth;
    Length = MapLineLength;
}

void TTextViewer::GotoPosition(std::int64_t Offset) {
    const std::int64_t Size = GetTextSize();
    if (Size == 0 || Offset <= 0) {
        // Line 0 is known exactly; numbers elsewhere stay as trustworthy as they were.
        GotoFirstLine();
        EstimateLastLine();
        return;
    }
    Offset = std::min(Offset, Size);
    GotoAnchor(NearestAnchor(Offset, std::abs(Offset - LineStart),
                             std::abs(Offset - CaretLineStart), std::abs(Offset - SelStartOffset),
                             std::abs(Offset - SelEndOffset)));
    // The offset of a form feed that ends the text of the line before it (no line break in
    // between) is the end of that line, from either direction.
    const bool AtFormFeed = ByteAt(Offset) == FF;
    while (Offset < LineStart && GotoPrevLine()) {
    }
    while (Offset >= NextLineStart &&
           !(AtFormFeed && Offset == NextLineStart && LineStart + MapLineLength == Offset) &&
           GotoNextLine()) {
    }
    if (AtFormFeed && Offset == LineStart && Offset > 0 && GotoPrevLine() &&
        LineStart + MapLineLength != Offset)
        GotoNextLine();
    if (!CountComplete && MapLine > LastLine)
        SetLastLine(MapLine);
}

void TTextViewer::SyncLineMap() {
    // The caret's line is found at the caret's own offset: while numbers are provisional, the
    // map may carry the caret's number for another line.
    if (LineNumber > 0 && GetTextSize() > 0 && CaretLineStart > 0 &&
        (CaretLineStart != LineStart || MapLine != LineNumber)) {
        SetMapAnchor(CaretLineStart, LineNumber, PageNumber);
        return;
    }
    LocateLine(LineNumber, false);
}

void TTextViewer::GotoStartOftext() {
    LineNumbersPending = false;
    GotoFirstLine();
    EstimateLastLine();
}

void TTextViewer::GotoEndOftext() {
    if (!CountComplete)
        LineNumbersPending = true;
    MapLine = LastLine;
    PositiontextAt(GetTextSize());
    MapPage = PageCount;
    if (LineStart == 0)
        GotoFirstLine(); // a last line that is the first is line 0, whatever the estimate
    if constexpr (MapChecks)
        CheckMapInvariants(true, false);
}

} // namespace kestrel
