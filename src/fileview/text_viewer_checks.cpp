// TTextViewer: the debug-build check of the line map's invariants, written beside its fields.
#include "fileview/text_viewer.h"

#include <cassert>

namespace kestrel {

namespace {

#ifndef NDEBUG
// The most text a check reads around a line start it verifies.
constexpr std::int64_t CheckReach = 4096;
#endif

} // namespace

void TTextViewer::CheckMapInvariants(bool Numbered, bool ReadCount) {
#ifdef NDEBUG
    (void)Numbered;
    (void)ReadCount;
#else
    if (!Buffer || MapLineOpen) // (an open line is checked once it is measured)
        return;
    const std::int64_t Size = GetTextSize();
    const bool Exact = Numbered && !LineNumbersPending;

    // The map's own order, whatever the text has become.
    assert(0 <= PrevLineStart && PrevLineStart <= LineStart && LineStart <= NextLineStart &&
           "the map's offsets are out of order");
    assert((LineStart == 0 || PrevLineStart < LineStart) && "a map line after the first has no "
                                                            "line before it");
    assert(0 <= MapLineLength && MapLineLength <= NextLineStart - LineStart &&
           "the map line's length does not fit between its start and the next line's");
    if (Numbered) {
        assert(MapLine >= 0 && (MapLine == 0) == (LineStart == 0) &&
               "line 0 and only line 0 starts the text");
        // A leading form feed is recorded by the count's first step: until then (the count
        // restarted at the text's start) the map may stand on it or have walked past it.
        const bool LeadingBreakUnrecorded = HardBreaks.empty() &&
                                            (MapLine == 0 || ScanOffset == 0) &&
                                            (HardBreakIndex == 0 || HardBreakIndex == -1);
        assert((LeadingBreakUnrecorded || HardBreakIndex == LastHardBreakAtOrBefore(MapLine)) &&
               "HardBreakIndex is not the last hard break at or before the map line");
    }
    assert(-1 <= HardBreakIndex && "HardBreakIndex below -1");
    for (std::size_t I = 0; I < HardBreaks.size(); ++I)
        assert((I == 0 ? HardBreaks[I] >= 0 : HardBreaks[I] > HardBreaks[I - 1]) &&
               "the hard breaks do not ascend");
    assert((HardBreaks.empty() || HardBreaks.back() <= ScanLine) &&
           "a hard break recorded beyond the count");
    assert(MapPage >= 1 && CaretPage >= 1 && SelStartPage >= 1 && SelEndPage >= 1 &&
           ScanPageCount >= 1 && AverageLinesPerPage >= 1 && "a page number below 1");
    assert(ScanOffset >= 0 && ScanLine >= 0 && (ScanOffset > 0 || ScanLine == 0) &&
           "the count's position and number disagree at the start");
    if (SelMode != smNone) {
        assert(SelStartOffset <= SelEndOffset && "the selection's offsets are out of order");
        assert((LineNumbersPending || SelStart <= SelEnd) &&
               "the selection's ends are out of order");
    }
    assert((!Exact || !CountComplete || MapLine <= LastLine) &&
           "an exact map line beyond the counted last line");

    // Against the text: only what the present layout placed, and only a bounded read of it.
    if (!Buffer->RequiredState({lbCanvasAvailable, lbFontDataAvailable, lbTabDataAvailable}))
        return; // nothing to measure with (the check must not make the layout fail either)
    const std::uint64_t Layout = Buffer->GetLayoutGeneration();
    const bool MapPlaced = MapLayout == Layout;
    const bool CountPlaced = CountLayout == Layout;
    std::int64_t W = 0;
    std::int64_t N = 0;
    // 1 when X starts a display line, 0 when it does not, -1 when the start of its paragraph is
    // out of reach; Before: the line start before X in its paragraph (-1 when X starts it).
    auto StartsLine = [&](std::int64_t X, std::int64_t& Before) {
        Before = -1;
        std::int64_t P = X;
        while (P > 0 && X - P < CheckReach && ByteAt(P - 1) != LF && ByteAt(P - 1) != FF)
            --P;
        if (P > 0 && ByteAt(P - 1) != LF && ByteAt(P - 1) != FF)
            return -1;
        for (std::int64_t T = P; T < X;) {
            Before = T;
            if (!Buffer->GetNextLine(T, W, N))
                return 0; // an unterminated last line runs to the end, past X or up to it
            if (T > X)
                return 0;
            if (T == X)
                return 1;
        }
        return 1;
    };

    if (MapPlaced) {
        assert(NextLineStart <= Size && "the map lies beyond the text");
        assert((LineStart < NextLineStart || LineStart == Size) &&
               "a map line before the end takes no byte");
        if (NextLineStart - LineStart <= CheckReach) {
            std::int64_t T = LineStart;
            Buffer->GetNextLine(T, W, N);
            assert(T == NextLineStart && N == MapLineLength && W == MapLineWidth &&
                   "the map line is not the line GetNextLine gives at LineStart");
        }
        if (PrevLineStart < LineStart && LineStart - PrevLineStart <= CheckReach) {
            std::int64_t T = PrevLineStart;
            Buffer->GetNextLine(T, W, N);
            assert(T == LineStart && "the line before the map line does not end at LineStart");
        }
        std::int64_t Before = -1;
        const int Start = StartsLine(LineStart, Before);
        assert(Start != 0 && "LineStart is not a line start");
        assert((Start != 1 || Before < 0 || Before == PrevLineStart) &&
               "PrevLineStart is not the line start before LineStart");
        assert((!Exact || MapBoundary != pbHardPageBreak || ByteAt(LineStart) == FF) &&
               "a hard page boundary without a form feed");
    }
    if (CountPlaced && ReadCount) {
        assert(ScanOffset <= Size && "the count lies beyond the text");
        assert((ScanBoundary != pbHardPageBreak || ByteAt(ScanOffset) == FF) &&
               "the count's hard boundary is no form feed");
        if (ScanOffset < Size) {
            std::int64_t Before = -1;
            assert(StartsLine(ScanOffset, Before) != 0 && "ScanOffset is not a line start");
        }
        if (ScanOffset < Size && ScanOffset <= CheckReach) {
            std::int64_t Lines = 0;
            for (std::int64_t T = 0; T < ScanOffset && Buffer->GetNextLine(T, W, N);)
                ++Lines;
            assert(Lines == ScanLine && "ScanLine is not the number of the line at ScanOffset");
        }
    }
    // The count's checkpoints: ascending, behind the count; those of the present layout are
    // line starts with the line before them (the last, within a bounded read, numbered too).
    for (std::size_t I = 0; I < Checkpoints.size(); ++I) {
        const TCheckpoint& C = Checkpoints[I];
        assert((I == 0 ||
                (C.Line > Checkpoints[I - 1].Line && C.Offset > Checkpoints[I - 1].Offset)) &&
               C.Line <= ScanLine && C.Offset <= ScanOffset && C.Page >= 1 && C.Prev < C.Offset &&
               "a checkpoint out of order or beyond the count");
    }
    if (!Checkpoints.empty() && CheckpointLayout == PresentLayout() && ReadCount) {
        const TCheckpoint& C = Checkpoints.back();
        if (C.Offset - C.Prev <= CheckReach) {
            std::int64_t T = C.Prev;
            Buffer->GetNextLine(T, W, N);
            assert(T == C.Offset && "a checkpoint is not the line after its previous line");
        }
        if (C.Offset <= CheckReach) {
            std::int64_t Lines = 0;
            for (std::int64_t T = 0; T < C.Offset && Buffer->GetNextLine(T, W, N);)
                ++Lines;
            assert(Lines == C.Line && "a checkpoint's number is not its line's");
        }
    }
    if (MapPlaced && CountPlaced && Exact) {
        // A count position among the map's lines: the lines' numbers, never between two starts.
        assert(!(PrevLineStart < ScanOffset && ScanOffset < LineStart) &&
               !(LineStart < ScanOffset && ScanOffset < NextLineStart) &&
               "the count lies inside a line of the map");
        assert((ScanOffset != LineStart || ScanLine == MapLine) &&
               "the count and the map number the map line differently");
        assert((ScanOffset != PrevLineStart || PrevLineStart == LineStart ||
                ScanLine == MapLine - 1) &&
               "the count and the map number the line before the map line differently");
        assert((ScanOffset != NextLineStart || NextLineStart == LineStart || AtEndOfText() ||
                ScanLine == MapLine + 1) &&
               "the count and the map number the line after the map line differently");
    }
#endif
}

} // namespace kestrel
