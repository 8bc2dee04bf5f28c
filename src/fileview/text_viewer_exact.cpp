// TTextViewer: exact jumps to a line number (checkpoints of the count, the batch counter beyond
// it) and the samples of the line length that estimated jumps and the estimated last line use.
#include "fileview/text_viewer.h"

#include "fileview/viewer_scopes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kestrel {

namespace {

// An exact anchor this near (in lines) is walked from line by line instead of counting.
constexpr std::int64_t WalkReach = 64;
// The text size may change by this share before the samples are taken again.
constexpr std::int64_t ResampleShare = 16;

} // namespace

// ---- Checkpoints --------------------------------------------------------------------------

void TTextViewer::RecordCheckpoint(std::int64_t Prev) {
    if (CheckpointLayout != PresentLayout()) {
        // Found in another layout than the checkpoints before it: those are of no use.
        Checkpoints.clear();
        CheckpointLayout = PresentLayout();
    }
    if (Checkpoints.empty() || Checkpoints.back().Line < ScanLine)
        Checkpoints.push_back(TCheckpoint{ScanLine, ScanOffset, Prev, ScanPageCount});
    NextCheckpointLine = ScanLine + CheckpointLineSpacing;
    NextCheckpointOffset = ScanOffset + CheckpointByteSpacing;
}

void TTextViewer::TrimCheckpoints() {
    // A rewind announces every change of the text or layout before the count's position: the
    // checkpoints before the new position stay true in the present layout.
    const auto Beyond = std::find_if(Checkpoints.begin(), Checkpoints.end(), [&](const auto& C) {
        return C.Line > ScanLine || C.Offset > ScanOffset;
    });
    Checkpoints.erase(Beyond, Checkpoints.end());
    CheckpointLayout = PresentLayout();
    const std::int64_t Line = Checkpoints.empty() ? 0 : Checkpoints.back().Line;
    const std::int64_t Offset = Checkpoints.empty() ? 0 : Checkpoints.back().Offset;
    NextCheckpointLine = Line + CheckpointLineSpacing;
    NextCheckpointOffset = Offset + CheckpointByteSpacing;
}

std::int64_t TTextViewer::PageFromCheckpoint(const TCheckpoint& Base, std::int64_t Line) const {
    // Pages begin at each hard break and every LinesPerPage lines after the last one (after line
    // 0 when there is none): count the boundaries in (Base.Line, Line].
    const std::int64_t PerPage = std::max<std::int64_t>(1, LinesPerPage);
    auto Soft = [PerPage](std::int64_t From, std::int64_t To, std::int64_t Hard) {
        return To > From ? (To - Hard) / PerPage - (From - Hard) / PerPage : 0;
    };
    std::int64_t Page = Base.Page;
    std::int64_t At = Base.Line;
    const std::int64_t Index = LastHardBreakAtOrBefore(At);
    std::int64_t Hard = Index >= 0 ? HardBreaks[static_cast<std::size_t>(Index)] : 0;
    for (auto It = HardBreaks.begin() + (Index + 1); It != HardBreaks.end() && *It <= Line; ++It) {
        Page += Soft(At, *It - 1, Hard) + 1;
        At = *It;
        Hard = *It;
    }
    return Page + Soft(At, Line, Hard);
}

std::int64_t TTextViewer::CountFormFeeds(std::int64_t From, std::int64_t To) {
    std::int64_t Found = 0;
    To = std::min(To, GetTextSize());
    while (From < To) {
        const std::uint8_t* P = Buffer->GetText(From);
        const std::int64_t N = std::min<std::int64_t>(Buffer->GetValidEnd() - P + 1, To - From);
        if (N <= 0)
            break;
        for (const std::uint8_t* Q = P;
             (Q = static_cast<const std::uint8_t*>(std::memchr(Q, FF, P + N - Q))) != nullptr; ++Q)
            ++Found;
        From += N;
    }
    return Found;
}

void TTextViewer::LocateLineExactly(std::int64_t Line) {
    const std::int64_t Size = GetTextSize();
    if (Line <= 0 || Size == 0) {
        GotoFirstLine();
        return;
    }
    if (!LineNumbersPending && Line == MapLine)
        return;
    // A near anchor with an exact number: a short walk.
    if (!LineNumbersPending &&
        std::min({std::abs(Line - MapLine), std::abs(Line - LineNumber),
                  std::abs(Line - SelStart.Y), std::abs(Line - SelEnd.Y)}) <= WalkReach) {
        LocateLine(Line, false);
        return;
    }
    // The last line start known exactly before Line: a checkpoint, the count's position or the
    // first line.
    TCheckpoint From;
    if (CheckpointLayout == PresentLayout()) {
        const auto It =
            std::upper_bound(Checkpoints.begin(), Checkpoints.end(), Line - 1,
                             [](std::int64_t L, const TCheckpoint& C) { return L < C.Line; });
        if (It != Checkpoints.begin())
            From = *(It - 1);
    }
    const bool Passed = CountComplete || Line <= ScanLine;
    if (ScanLine > From.Line && ScanLine <= Line - 1) {
        From.Line = ScanLine;
        From.Offset = ScanOffset;
        From.Page = ScanPageCount;
    }
    if (From.Line == 0 && ByteAt(0) == FF)
        From.Page = 2;
    // The batch counter to the line before, then that line and Line itself.
    const std::int64_t Want = Line - 1 - From.Line;
    std::int64_t Prev = From.Offset;
    const std::int64_t Counted = Buffer->CountLines(Prev, Want);
    if (Counted == Want && Prev < Size) {
        std::int64_t Start = Prev;
        std::int64_t W = 0;
        std::int64_t Len = 0;
        const bool Ended = Buffer->GetNextLine(Start, W, Len);
        if (Ended || Prev + Len < Start || ByteAt(Prev) == FF) {
            PrevLineStart = Prev;
            LineStart = Start;
            NextLineStart = Start;
            Buffer->GetNextLine(NextLineStart.Ref(), MapLineWidth.Ref(), MapLineLength.Ref());
            MapLine = Line;
        } else {
            PositiontextAt(Prev); // the line before is the last
            MapLine = Line - 1;
        }
    } else {
        // The text ends first: its last line, numbered from the lines counted.
        PositiontextAt(Size);
        MapLine = From.Line + Counted - (LineStart == Size ? 0 : 1);
    }
    if (MapLine <= 0 || LineStart == 0) {
        GotoFirstLine();
        return;
    }
    SyncMapBoundary();
    if (Passed) {
        MapPage = PageFromCheckpoint(From, MapLine);
    } else {
        // The number is exact, the page not until the count gets there (the hard breaks on the
        // way are not known yet).
        MapPage = MapLine / std::max<std::int64_t>(1, AverageLinesPerPage) + 1;
        LineNumbersPending = true;
    }
    if (!CountComplete && MapLine > LastLine)
        SetLastLine(MapLine);
#ifndef NDEBUG
    MapLayout = PresentLayout();
    CheckMapInvariants(true, false);
#endif
}

void TTextViewer::GotoLineNumber(std::int64_t N) {
    if (N <= 0) {
        SetLineNumber(0);
        return;
    }
    N = N - 1;
    {
        const TStateFlagScope GotoLine(*this, vsGotoLine);
        if (Buffer) {
            // The display line: N plus the hard-break lines at or before it, those the count has
            // recorded first; the form feeds beyond the count are found in the text.
            std::int64_t Breaks = 0;
            for (;;) {
                const auto Known = static_cast<std::int64_t>(
                    std::upper_bound(HardBreaks.begin(), HardBreaks.end(), N + Breaks) -
                    HardBreaks.begin());
                if (Known == Breaks)
                    break;
                Breaks = Known;
            }
            std::int64_t Target = N + Breaks;
            LocateLineExactly(Target);
            if (!CountComplete && Target > ScanLine) {
                // The count's line itself is recorded when it is a form feed.
                const bool Recorded = !HardBreaks.empty() && HardBreaks.back() == ScanLine;
                std::int64_t From = ScanOffset + (Recorded ? 1 : 0);
                while (MapLine == Target && From <= LineStart) {
                    const std::int64_t More = CountFormFeeds(From, LineStart + 1);
                    if (More == 0)
                        break;
                    From = LineStart + 1;
                    Target += More;
                    // Forward from the map, which is numbered exactly.
                    if (More <= WalkReach) {
                        while (MapLine < Target && GotoNextLine()) {
                        }
                    } else {
                        LocateLineExactly(Target);
                    }
                }
            }
        }
        SetLineNumber(MapLine);
    }
    SetCharNumber(0);
}

// ---- Samples of the line length -----------------------------------------------------------

bool TTextViewer::SamplesHold() const {
    const std::int64_t Size = Buffer ? Buffer->GetTextSize() : 0;
    return SampledSize >= 0 && Buffer && Buffer->GetMaxWidth() == SampledWidth &&
           (WrapMode == opPrinter) == SampledPrinter &&
           std::abs(Size - SampledSize) <= SampledSize / ResampleShare;
}

void TTextViewer::SampleLineLength() {
    const std::int64_t Size = GetTextSize();
    const std::int64_t Width = Buffer->GetMaxWidth();
    const bool Printer = WrapMode == opPrinter;
    SampledSize = Size;
    SampledWidth = Width;
    SampledPrinter = Printer;
    SampledLinesPerByte = 0;
    if (Size == 0)
        return;
    if (Size <= SampleCount * SampleBytes) {
        // A small text: all of it.
        std::int64_t Pos = 0;
        SampledLinesPerByte =
            static_cast<double>(Buffer->CountLines(Pos, Size)) / static_cast<double>(Size);
        return;
    }
    // (A sample too short to wrap ends its lines only at line feeds and form feeds: a walk by
    // display lines would run to the end of a long line beyond it.)
    const bool Wraps = Buffer->MayWrapWithin(SampleBytes);
    double Lines = 0;
    double Bytes = 0;
    std::vector<std::int64_t> Ends; // just after each line feed and form feed of a sample
    for (int I = 0; I < SampleCount; ++I) {
        // The middles of SampleCount equal shares of the text.
        const std::int64_t From = std::clamp<std::int64_t>(
            Size / (2 * SampleCount) * (2 * I + 1) - SampleBytes / 2, 0, Size - SampleBytes);
        const std::int64_t To = From + SampleBytes;
        Ends.clear();
        for (std::int64_t Pos = From; Pos < To;) {
            const std::uint8_t* P = Buffer->GetText(Pos);
            const std::int64_t N = std::min<std::int64_t>(Buffer->GetValidEnd() - P + 1, To - Pos);
            if (N <= 0)
                break;
            // Line feeds first (memchr), then the rarer form feeds merged in.
            const std::size_t Feeds = Ends.size();
            for (const auto* Q = P; (Q = static_cast<const std::uint8_t*>(std::memchr(
                                         Q, LF, static_cast<std::size_t>(P + N - Q)))) != nullptr;
                 ++Q)
                Ends.push_back(Pos + (Q - P) + 1);
            const std::size_t Forms = Ends.size();
            for (const auto* Q = P; (Q = static_cast<const std::uint8_t*>(std::memchr(
                                         Q, FF, static_cast<std::size_t>(P + N - Q)))) != nullptr;
                 ++Q)
                Ends.push_back(Pos + (Q - P) + 1);
            if (Ends.size() > Forms)
                std::inplace_merge(Ends.begin() + static_cast<std::ptrdiff_t>(Feeds),
                                   Ends.begin() + static_cast<std::ptrdiff_t>(Forms), Ends.end());
            Pos += N;
        }
        if (Ends.empty()) {
            // Inside one long paragraph: as many display lines as it wraps into here. Unwrapped,
            // the line's share: a sample falls in a line as often as the line is long, so the
            // sample's bytes over the line's length count the line ends such samples hold.
            if (Wraps) {
                std::int64_t W = 0;
                std::int64_t Len = 0;
                for (std::int64_t Pos = From; Buffer->GetNextLine(Pos, W, Len) && Pos <= To;)
                    ++Lines;
            } else {
                Lines += static_cast<double>(To - From) /
                         static_cast<double>(Buffer->LengthAround(From, To, SampleReach));
            }
            Bytes += static_cast<double>(To - From);
            continue;
        }
        // The display lines that end in the sample, over its bytes (a line is counted where it
        // ends, so that long lines, which more often cross the sample's edges, are not missed).
        // Before the first line feed, the lines as they wrap from the sample's start; each line
        // feed or form feed ends a display line at or before it, so that counting as many lines
        // as are left of them never passes the last; after it, only wrapped lines can end.
        Bytes += static_cast<double>(To - From);
        std::int64_t W = 0;
        std::int64_t Len = 0;
        std::int64_t Pos = From;
        if (Wraps) {
            while (Pos < Ends.front() && Buffer->GetNextLine(Pos, W, Len))
                ++Lines;
        } else {
            ++Lines;
        }
        Pos = Ends.front();
        const std::int64_t End = Ends.back();
        while (Pos < End) {
            const auto Left = Ends.end() - std::upper_bound(Ends.begin(), Ends.end(), Pos);
            const std::int64_t Counted = Buffer->CountLines(Pos, std::max<std::int64_t>(1, Left));
            if (Counted == 0)
                break;
            Lines += static_cast<double>(Counted);
        }
        while (Wraps && Buffer->GetNextLine(Pos, W, Len) && Pos <= To)
            ++Lines;
    }
    SampledLinesPerByte = Bytes > 0 ? Lines / Bytes : 0;
}

std::int64_t TTextViewer::EstimatedOffset(std::int64_t Line) {
    const std::int64_t Size = GetTextSize();
    if (Line > ScanLine && SamplesHold() && SampledLinesPerByte > 0) {
        // Beyond the count: its position, and the lines after it at the density of the samples.
        const double Offset = static_cast<double>(ScanOffset) +
                              static_cast<double>(Line - ScanLine) / SampledLinesPerByte;
        return std::min<std::int64_t>(Size, static_cast<std::int64_t>(Offset));
    }
    return static_cast<std::int64_t>(static_cast<double>(Size) *
                                     (static_cast<double>(Line) / static_cast<double>(LastLine)));
}

} // namespace kestrel
