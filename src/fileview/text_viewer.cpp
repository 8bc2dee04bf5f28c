// TTextViewer: construction, the buffer, the line map and its conversions, the background count
// in idle time, estimated jumps and the wrap modes.
#include "fileview/text_viewer.h"

#include "host/printers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace kestrel {

namespace {

constexpr std::uint8_t FormFeed = 12;
// An anchor this close (in bytes) to an estimated offset is walked from instead of jumping.
constexpr std::int64_t AnchorReach = 4096;
// A target farther than this (in lines) from every anchor may be reached by an estimated jump.
constexpr std::int64_t JumpDistance = 100;

// Scales a width by the zoom factor as the font is scaled (a power of two either way).
std::int64_t Zoomed(std::int64_t W, std::int64_t ZoomFactor) {
    if (ZoomFactor > 0)
        return W << std::min<std::int64_t>(ZoomFactor, 16);
    if (ZoomFactor < 0)
        return W >> std::min<std::int64_t>(-ZoomFactor, 62);
    return W;
}

// Leaves a counter decremented on every way out of a scope.
class TDepthGuard {
public:
    explicit TDepthGuard(int& Depth) : FDepth(Depth) { ++FDepth; }
    ~TDepthGuard() { --FDepth; }
    TDepthGuard(const TDepthGuard&) = delete;
    TDepthGuard& operator=(const TDepthGuard&) = delete;

private:
    int& FDepth;
};

} // namespace

TTextViewer::TTextViewer(TComponent* AOwner) : TLinesViewer(AOwner) {
    CountComplete = true;
    SaveMode = smPrompt;
    ShowPageBreaks = pbAlways;
    HardPageBreakStyle = psSolid;
    SoftPageBreakStyle = psDot;
    HardBreaks.clear();
    PageBreakFont = std::make_unique<TFont>();
    PageBreakFont->SetName("MS Sans Serif");
    PageBreakFont->SetSize(8);
    PageBreakFont->SetStyle(TFontStyles{});
    SelStartPage = 1;
    SelEndPage = 1;
    WrapMode = opWrapScreenWidth;
}

TTextViewer::~TTextViewer() {
    // The application must not keep calling a handler into a destroyed viewer.
    if (IdleHooked) {
        Application->SetOnIdle(SavedOnIdle);
        SavedOnIdle = nullptr;
        IdleHooked = false;
    }
}

// ---- Buffer and small helpers -------------------------------------------------------------

void TTextViewer::SetBuffer(TLinesBuffer* B) {
    RecentLineStarts.clear();
    Buffer.reset(B);
    if (!Buffer)
        return;
    Buffer->SetOnSearchStatus(
        [this](std::int64_t Done, bool& Cancelled) { HandleSearchStatus(Done, Cancelled); });
    Buffer->SetOnChange([this](TObject* Sender) { HandleOnChange(Sender); });
    SetWrapMode(WrapMode);
    if (HandleAllocated())
        SetMaxLineLength(MaxLineLength);
}

void TTextViewer::HandleOnChange(TObject* Sender) {
    RecentLineStarts.clear();
    SetState(vsEmpty, GetTextSize() == 0);
    if (OnChange)
        OnChange(Sender);
}

std::uint8_t TTextViewer::ByteAt(std::int64_t Offset) {
    if (!Buffer || Offset < 0 || Offset >= Buffer->GetTextSize())
        return 0;
    return *Buffer->GetText(Offset);
}

std::int64_t TTextViewer::GetTextSize() {
    return Buffer ? Buffer->GetTextSize() : 0;
}

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

namespace {

// Index of the last entry of the ascending list that is <= Line; -1 when none.
std::int64_t LastAtOrBefore(const std::vector<std::int64_t>& List, std::int64_t Line) {
    const auto It = std::upper_bound(List.begin(), List.end(), Line);
    return static_cast<std::int64_t>(It - List.begin()) - 1;
}

} // namespace

// ---- Line map -----------------------------------------------------------------------------

void TTextViewer::GotoFirstLine() {
    PrevLineStart = 0;
    LineStart = 0;
    NextLineStart = 0;
    MapLine = 0;
    if (ByteAt(0) == FormFeed) {
        HardBreakIndex = 0;
        MapPage = 2;
        MapBoundary = pbHardPageBreak;
    } else {
        HardBreakIndex = -1;
        MapPage = 1;
        MapBoundary = pbNone;
    }
    Buffer->GetNextLine(NextLineStart, MapLineWidth, MapLineLength);
}

bool TTextViewer::AtEndOfText() {
    return NextLineStart >= GetTextSize() && LineStart + MapLineLength == NextLineStart &&
           ByteAt(LineStart) != FormFeed;
}

bool TTextViewer::GotoNextLine() {
    if (AtEndOfText())
        return false;
    PrevLineStart = LineStart;
    LineStart = NextLineStart;
    Buffer->GetNextLine(NextLineStart, MapLineWidth, MapLineLength);
    ++MapLine;
    if (CountComplete && MapLine > LastLine)
        CountComplete = false; // more lines than counted: idle counting resumes
    if (AtHardPageBreak(MapLine, HardBreakIndex + 1)) {
        ++MapPage;
        ++HardBreakIndex;
        MapBoundary = pbHardPageBreak;
    } else if (AtSoftPageBreak(MapLine, HardBreakIndex)) {
        ++MapPage;
        MapBoundary = pbSoftPageBreak;
    } else {
        MapBoundary = pbNone;
    }
    CalibrateAtCount();
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
            Buffer->GetNextLine(T, MapLineWidth, MapLineLength);
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
            const std::int64_t Size = GetTextSize();
            std::int64_t T = PrevLineStart;
            RecentLineStarts.clear();
            NoteLineStart(T);
            do {
                Buffer->GetNextLine(T, MapLineWidth, MapLineLength);
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
        Buffer->GetNextLine(NextLineStart, MapLineWidth, MapLineLength);
    }
    // The line left behind began a page: the map is back on the page before. Then the new
    // line's own boundary (two form feeds in a row are both hard breaks).
    if (AtHardPageBreak(MapLine + 1, HardBreakIndex)) {
        --MapPage;
        --HardBreakIndex;
    } else if (AtSoftPageBreak(MapLine + 1, HardBreakIndex)) {
        --MapPage;
    }
    ClassifyMapBoundary();
    CalibrateAtCount();
    return true;
}

void TTextViewer::CalibrateAtCount() {
    // The count's position is an anchor whose number is exact. A map that reaches it with a
    // provisional number takes the exact one: otherwise a number carried back over the count
    // would never be corrected, since the count only corrects what lies ahead of it.
    if (ScanOffset <= 0 || LineStart != ScanOffset || MapLine == ScanLine)
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
        Buffer->GetNextLine(T, MapLineWidth, MapLineLength);
        if (T == *It) {
            PrevLineStart = *(It - 2);
            LineStart = *(It - 1);
            NextLineStart = T;
            SyncMapBoundary();
            return;
        }
        RecentLineStarts.clear();
    }
    // Two paragraphs back, so that the line before the target is always known.
    PrevLineStart = Offset;
    Buffer->GetStartOfParagraph(PrevLineStart);
    Buffer->GetStartOfParagraph(PrevLineStart);
    LineStart = PrevLineStart;
    Buffer->GetNextLine(LineStart, MapLineWidth, MapLineLength);
    const std::int64_t Size = GetTextSize();
    if (PrevLineStart == 0 &&
        ((LineStart == Size && MapLineLength == LineStart) || Offset < LineStart)) {
        NextLineStart = LineStart;
        LineStart = 0;
    } else {
        NextLineStart = LineStart;
        Buffer->GetNextLine(NextLineStart, MapLineWidth, MapLineLength);
        RecentLineStarts.clear();
        NoteLineStart(PrevLineStart);
        NoteLineStart(LineStart);
        NoteLineStart(NextLineStart);
        while (Offset > LineStart && Offset >= NextLineStart && !AtEndOfText()) {
            PrevLineStart = LineStart;
            LineStart = NextLineStart;
            Buffer->GetNextLine(NextLineStart, MapLineWidth, MapLineLength);
            NoteLineStart(NextLineStart);
        }
    }
    SyncMapBoundary();
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
    HardBreakIndex = LastAtOrBefore(HardBreaks, MapLine);
    ClassifyMapBoundary();
}

void TTextViewer::ClassifyMapBoundary() {
    if (AtHardPageBreak(MapLine, HardBreakIndex))
        MapBoundary = pbHardPageBreak;
    else if (AtSoftPageBreak(MapLine, HardBreakIndex))
        MapBoundary = pbSoftPageBreak;
    else
        MapBoundary = pbNone;
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
    bool Placed = false;
    // Line 0 is an anchor too, and the only one whose number is never provisional.
    if (Line < D0 && Line < DC && Line < DS && Line < DE) {
        GotoFirstLine();
        Placed = true;
    } else if (Estimate && LastLine > 0) {
        const auto E =
            static_cast<std::int64_t>(static_cast<double>(Size) *
                                      (static_cast<double>(Line) / static_cast<double>(LastLine)));
        if (std::abs(SelStartOffset - E) <= AnchorReach) {
            SetMapAnchor(SelStartOffset, SelStart.Y, SelStartPage, SelStart.X);
            Placed = true;
        } else if (std::abs(SelEndOffset - E) <= AnchorReach) {
            SetMapAnchor(SelEndOffset, SelEnd.Y, SelEndPage, SelEnd.X);
            Placed = true;
        } else if (D0 > JumpDistance && DC > JumpDistance && DS > JumpDistance &&
                   DE > JumpDistance) {
            if (Line + 2 * LinesOnScreen >= LastLine) {
                GotoEndOftext();
            } else {
                // The estimated jump: the requested number is provisional until the count
                // gets there.
                MapLine = Line;
                MapPage = Line / std::max<std::int64_t>(1, AverageLinesPerPage) + 1;
                PositiontextAt(E);
                LineNumbersPending = true;
                ReEstimateFrom(LineStart);
            }
            Placed = true;
        }
    }
    // Otherwise walk from the nearest anchor, ties going to the caret, then the selection start,
    // then its end. (A near target is never walked to from a far map line.)
    if (!Placed) {
        if (DC <= D0 && DC <= DS && DC <= DE) {
            if (CaretLineStart != LineStart)
                SetMapAnchor(CaretLineStart, LineNumber, PageNumber);
        } else if (DS <= D0 && DS <= DC && DS <= DE) {
            SetMapAnchor(SelStartOffset, SelStart.Y, SelStartPage, SelStart.X);
        } else if (DE <= D0 && DE <= DC && DE <= DS) {
            SetMapAnchor(SelEndOffset, SelEnd.Y, SelEndPage, SelEnd.X);
        }
    }
    HardBreakIndex = LastAtOrBefore(HardBreaks, MapLine);
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
    }
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
    const std::int64_t DL = std::abs(Offset - LineStart);
    const std::int64_t DC = std::abs(Offset - CaretLineStart);
    const std::int64_t DS = std::abs(Offset - SelStartOffset);
    const std::int64_t DE = std::abs(Offset - SelEndOffset);
    if (Offset < DL && Offset < DC && Offset < DS && Offset < DE) {
        GotoFirstLine(); // nearest to the start, whose number is exact
    } else if (DC <= DL && DC <= DS && DC <= DE) {
        if (CaretLineStart != LineStart)
            SetMapAnchor(CaretLineStart, LineNumber, PageNumber);
    } else if (DS <= DL && DS <= DC && DS <= DE) {
        SetMapAnchor(SelStartOffset, SelStart.Y, SelStartPage, SelStart.X);
    } else if (DE <= DL && DE <= DC && DE <= DS) {
        SetMapAnchor(SelEndOffset, SelEnd.Y, SelEndPage, SelEnd.X);
    }
    // The offset of a form feed that ends the text of the line before it (no line break in
    // between) is the end of that line, from either direction.
    const bool AtFormFeed = ByteAt(Offset) == FormFeed;
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
}

// ---- Conversions --------------------------------------------------------------------------

std::int64_t TTextViewer::TextOffset(const TLongPoint& P) {
    if (!Buffer)
        return 0;
    LocateLine(P.Y, false);
    return LineStart + std::clamp<std::int64_t>(P.X, 0, MapLineLength);
}

TLongPoint TTextViewer::OffsetToPoint(std::int64_t Offset) {
    if (!Buffer)
        return ZeroPoint;
    Offset = std::clamp<std::int64_t>(Offset, 0, GetTextSize());
    GotoPosition(Offset);
    return LongPoint(Offset - LineStart, MapLine);
}

std::int64_t TTextViewer::GetTextPos(const TLongPoint& P, std::int64_t& Beyond) {
    Beyond = 0;
    if (!Buffer)
        return 0;
    std::int64_t W = 0;
    std::int64_t N = 0;
    GotoLine(P.Y, W, N);
    return TextPosOnMap(P.X, Beyond);
}

std::int64_t TTextViewer::TextPosOnMap(std::int64_t X, std::int64_t& Beyond) {
    const TLongPoint P = LongPoint(X, MapLine);
    const std::int64_t W = MapLineWidth;
    const std::int64_t N = MapLineLength;
    Beyond = 0;
    if (P.X > W) {
        Beyond = (P.X - W) / std::max<std::int64_t>(1, Buffer->WidthOf(' '));
        return LineStart + N;
    }
    std::int64_t Pos = LineStart;
    std::int64_t Passed = 0;
    Buffer->GetCharAt(Pos, P.X, Passed);
    return Pos;
}

std::int64_t TTextViewer::CharNumToPoint(std::int64_t N) {
    if (!Buffer)
        return 0;
    SyncLineMap();
    return Buffer->GetDistanceBetween(LineStart, LineStart + std::max<std::int64_t>(0, N));
}

std::int64_t TTextViewer::MarkLocation() {
    if (!Buffer)
        return 0;
    SyncLineMap();
    return LineStart + CharNumber;
}

void TTextViewer::FocusAt(std::int64_t Offset, bool Update) {
    const TLongPoint P = OffsetToPoint(Offset);
    SetLineNumber(P.Y);
    SetCharNumber(P.X);
    if (Update) {
        Redraw();
        this->Update();
    }
}

void TTextViewer::GotoLocation(std::int64_t Offset) {
    if (!Buffer)
        return;
    // The caret keeps its screen row: the view follows it by the distance it moved.
    const std::int64_t Row = LineNumber - TopLine;
    FocusAt(Offset, false);
    SetDeltaY(LineNumber - Row);
}

std::int64_t TTextViewer::GetPosition() {
    if (!Buffer)
        return 0;
    std::int64_t Beyond = 0;
    SyncLineMap(); // the caret's own line, as GetTextPos of the caret point finds it
    return TextPosOnMap(CaretX, Beyond);
}

void TTextViewer::SetPosition(std::int64_t Offset) {
    if (!Buffer)
        return;
    Offset = std::clamp<std::int64_t>(Offset, 0, GetTextSize());
    GotoPosition(Offset);
    const std::int64_t Line = MapLine;
    const std::int64_t Start = LineStart;
    SetLineNumber(Line);
    SetCharNumber(Offset - Start);
}

void TTextViewer::GetLineData(std::int64_t Line, std::int64_t& ALineWidth,
                              std::int64_t& ALineLength, std::int64_t& APageNumber,
                              std::int64_t& ALineNumberOffset, std::int64_t& APageTopLine) {
    if (!Buffer) {
        ALineWidth = ALineLength = ALineNumberOffset = APageTopLine = 0;
        APageNumber = 1;
        return;
    }
    GotoLine(Line, ALineWidth, ALineLength);
    // The walk met the end of the text before Line: an exact number is the true last line.
    if (MapLine < Line && !LineNumbersPending && AtEndOfText())
        SetLastLine(MapLine);
    APageNumber = MapPage;
    ALineNumberOffset = HardBreakIndex + 1;
    if (HardBreaks.empty() || ALineNumberOffset <= 0) {
        APageTopLine = 0;
    } else {
        const std::int64_t Last = static_cast<std::int64_t>(HardBreaks.size()) - 1;
        APageTopLine =
            HardBreaks[static_cast<std::size_t>(std::min(Last, ALineNumberOffset - 1))] + 1;
    }
    // The caller is moving the caret to this line.
    CaretPage = MapPage;
    CaretLineStart = LineStart;
}

void TTextViewer::AdjustCurrentLine(std::int64_t Line, std::int64_t Width, std::int64_t Length) {
    TLinesViewer::AdjustCurrentLine(Line, Width, Length);
    if (!Buffer)
        return;
    while (MapLine > Line && GotoPrevLine()) {
    }
    while (MapLine < Line && GotoNextLine()) {
    }
    CaretLineStart = LineStart;
    PageNumber = MapPage;
    CaretPage = MapPage;
}

void TTextViewer::SyncToChar(std::int64_t& X, std::int64_t& CharNum) {
    if (!Buffer) {
        X = 0;
        CharNum = 0;
        return;
    }
    SyncLineMap();
    if (X > LineWidth) {
        if (WrapMode == opWrapScreenWidth &&
            X - DeltaX > GetClientWidth() - LeftMargin - RightMargin)
            X = DeltaX + LeftMargin + HorzScrollBar->GetLimit();
        CharNum = LineLength;
        return;
    }
    if (X <= 0) {
        CharNum = 0;
        return;
    }
    std::int64_t P = LineStart;
    std::int64_t Passed = 0;
    if (!Buffer->GetCharAt(P, X, Passed)) {
        CharNum = GetTextSize() - LineStart;
        return;
    }
    CharNum = P - LineStart;
    if (X - Passed > CharWidth / 2) {
        // Nearer the next character boundary.
        ++CharNum;
        X = Buffer->GetDistanceBetween(LineStart, P + 1);
    } else {
        X = Passed; // the caret sits on the boundary, never inside a character
    }
}

void TTextViewer::GotoLineNumber(std::int64_t N) {
    if (N <= 0) {
        SetLineNumber(0);
        return;
    }
    N = N - 1;
    SetState(vsGotoLine, true);
    try {
        LocateLine(N, false);
        // Step over the hard-break lines at or before the target.
        while (HardBreakIndex + N + 1 > MapLine && GotoNextLine()) {
        }
        SetLineNumber(MapLine);
    } catch (...) {
        SetState(vsGotoLine, false);
        throw;
    }
    SetState(vsGotoLine, false);
    SetCharNumber(0);
}

// ---- Background count ---------------------------------------------------------------------

void TTextViewer::PageStep() {
    ++ScanPageCount;
    // At least 1: an estimated jump divides by it, and a leading form feed gives 0 / 2.
    AverageLinesPerPage = std::max<std::int64_t>(1, ScanLine / ScanPageCount);
    if (TopLine <= ScanLine && ScanLine < TopLine + LinesPerPage)
        Redraw(); // a page break may have appeared on the screen
}

void TTextViewer::CountPassesLine(std::int64_t Len) {
    if (ScanOffset == CaretLineStart) {
        PageNumber = ScanPageCount;
        LineNumber = ScanLine;
    }
    if (ScanOffset == LineStart) {
        MapLine = ScanLine;
        MapPage = ScanPageCount;
        MapBoundary = ScanBoundary;
        HardBreakIndex = static_cast<std::int64_t>(HardBreaks.size()) - 1;
    }
    // A selection end belongs to the line whose start plus its character index gives its
    // offset (the end of a wrapped line is also the start of the next one).
    if (ScanOffset + std::clamp<std::int64_t>(SelStart.X, 0, Len) == SelStartOffset &&
        SelStart.Y != ScanLine) {
        if (SelAnchor.Y == SelStart.Y)
            SelAnchor.Y = ScanLine;
        SelStart.Y = ScanLine;
    }
    if (ScanOffset + std::clamp<std::int64_t>(SelEnd.X, 0, Len) == SelEndOffset &&
        SelEnd.Y != ScanLine) {
        if (SelAnchor.Y == SelEnd.Y)
            SelAnchor.Y = ScanLine;
        SelEnd.Y = ScanLine;
    }
}

void TTextViewer::NumbersSettled() {
    LineNumbersPending = false;
    ReportedLine = -1; // the next idle pass reports the caret
    Redraw();
}

void TTextViewer::EstimateNumLines() {
    if (EstimateDepth > 0 || !Buffer)
        return;
    const TDepthGuard Guard(EstimateDepth);
    if (CountComplete) {
        // Nothing left to count; numbers still marked provisional cannot get better.
        if (LineNumbersPending)
            NumbersSettled();
        return;
    }
    const std::int64_t Size = GetTextSize();
    if (ScanOffset == 0 && HardBreaks.empty() && ByteAt(0) == FormFeed) {
        // The first line is a hard break, counted once when the count starts.
        HardBreaks.push_back(0);
        if (MapLine >= ScanLine)
            HardBreakIndex = 0;
        PageStep();
        ScanBoundary = pbHardPageBreak;
    }
    std::int64_t N = ScanOffset;
    std::int64_t W = 0;
    std::int64_t Len = 0;
    Buffer->GetNextLine(N, W, Len);
    if (W > LongestLine)
        SetLongestLine(W);
    if (State.Contains(vsMouseDown) || State.Contains(vsDragging))
        return; // the count waits while a mouse button is held

    // The lines after the first come in runs of plain lines where the buffer can give them,
    // each exactly as GetNextLine would; the rest one by one.
    std::array<TLineSpan, CountStepLines> Run;
    std::int64_t RunAt = 0;
    std::int64_t RunLength = 0;
    std::int64_t NoRunFor = 0; // after a line that began no run, a few go one by one
    // Lines since the last page boundary, modulo the page: soft boundaries without a division
    // a line (hard breaks only ever lie at or before ScanLine).
    const std::int64_t PerPage = std::max<std::int64_t>(1, LinesPerPage);
    std::int64_t Phase = (ScanLine - (HardBreaks.empty() ? 0 : HardBreaks.back())) % PerPage;
    for (std::int64_t K = 0; K < CountStepLines;) {
        CountPassesLine(Len);
        if (ScanOffset == TopLineStart && TopLineStartLine == TopLine) {
            TopLine = ScanLine;
            TopLineStartLine = ScanLine;
            VertScrollBar->SetPosition(ScanLine);
            K -= LinesOnScreen; // the lines on the screen get their numbers in this step
        }
        if (LineNumbersPending && ScanOffset >= LineStart && ScanOffset >= CaretLineStart &&
            ScanOffset + Len >= SelEndOffset)
            NumbersSettled();
        if (!(ScanOffset == 0 && N == Size && Len == N)) {
            ++ScanLine;
            if (++Phase == PerPage)
                Phase = 0;
        }
        ScanOffset = N;
        // Inside a run the next line is known to begin with no form feed.
        const bool InRun = RunAt < RunLength;
        if (!InRun && ByteAt(N) == FormFeed) {
            HardBreaks.push_back(ScanLine);
            Phase = 0;
            PageStep();
            ScanBoundary = pbHardPageBreak;
        } else if (Phase == 0 && ScanLine != (HardBreaks.empty() ? 0 : HardBreaks.back())) {
            // AtSoftPageBreak(ScanLine, the last hard break), counted instead of divided.
            PageStep();
            ScanBoundary = pbSoftPageBreak;
        } else {
            ScanBoundary = pbNone;
        }
        if (RunAt == RunLength && NoRunFor > 0) {
            --NoRunFor;
        } else if (RunAt == RunLength) {
            RunAt = 0;
            // Lines no wider than the widest seen need not be measured (their width is -1).
            RunLength = Buffer->ScanPlainLines(
                N, std::clamp<std::int64_t>(CountStepLines - K, 1, CountStepLines), Run.data(),
                LongestLine);
            if (RunLength == 0)
                NoRunFor = 8; // wrapped or unusual lines: no second try at every line
        }
        bool More = true;
        if (RunAt < RunLength) {
            const TLineSpan& L = Run[static_cast<std::size_t>(RunAt++)];
            N = L.Next;
            W = L.Width;
            Len = L.Count;
        } else {
            More = Buffer->GetNextLine(N, W, Len);
        }
        if (!More) {
            // The end of the text: the line at ScanOffset is the last one.
            SetLastLine(ScanLine);
            CountComplete = true;
            PageCount = ScanPageCount;
            if (W > LongestLine)
                SetLongestLine(W);
            CountPassesLine(Len);
            if (ScanOffset == TopLineStart && TopLineStartLine == TopLine) {
                TopLine = ScanLine;
                TopLineStartLine = ScanLine;
                VertScrollBar->SetPosition(ScanLine);
            }
            VertScrollBar->SetPosition(TopLine);
            // Whatever was still provisional lies at or beyond the end and is now as exact as
            // it can be: the step never waits for an offset the text does not have.
            if (LineNumbersPending)
                NumbersSettled();
            break;
        }
        if (W > LongestLine)
            SetLongestLine(W);
        ++K;
    }
}

void TTextViewer::EstimateLastLine() {
    if (CountComplete || !Buffer)
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
    if (!CountComplete && ScanOffset != 0) {
        const auto L = static_cast<std::int64_t>(
            static_cast<double>(ScanLine) *
            (static_cast<double>(Size) / static_cast<double>(ScanOffset)));
        // The estimate never falls below the caret line.
        SetLastLine(std::max(L, LineNumber));
        PageCount = LastLine / std::max<std::int64_t>(1, LinesPerPage) + 1;
    }
}

void TTextViewer::ReEstimateFrom(std::int64_t Offset) {
    if (EstimateDepth != 0 || Offset >= ScanOffset)
        return;
    bool Restart = true;
    if (!LineNumbersPending && CaretLineStart > 0 && Offset >= CaretLineStart) {
        ScanPageCount = CaretPage;
        ScanOffset = CaretLineStart;
        ScanLine = LineNumber;
        Restart = false;
    } else if (!LineNumbersPending && Offset >= PrevLineStart && PrevLineStart > 0) {
        // (At offset 0 the count starts over, so that a leading form feed is counted.)
        ScanOffset = PrevLineStart;
        ScanLine = std::max<std::int64_t>(0, MapLine - 1);
        ScanPageCount = MapBoundary != pbNone ? MapPage - 1 : MapPage;
        Restart = false;
    }
    if (Restart) {
        ScanOffset = 0;
        ScanLine = 0;
        ScanBoundary = pbNone;
        ScanPageCount = 1;
        HardBreaks.clear();
        HardBreakIndex = -1;
    } else {
        HardBreakIndex = LastAtOrBefore(HardBreaks, ScanLine);
        HardBreaks.resize(static_cast<std::size_t>(HardBreakIndex + 1));
        if (AtHardPageBreak(ScanLine, HardBreakIndex))
            ScanBoundary = pbHardPageBreak;
        else if (AtSoftPageBreak(ScanLine, HardBreakIndex))
            ScanBoundary = pbSoftPageBreak;
        else
            ScanBoundary = pbNone;
    }
    const std::int64_t Size = GetTextSize();
    CountComplete = Size == 0;
    LineNumbersPending = Size > 0;
}

bool TTextViewer::CompleteCount() {
    if (!Buffer)
        return true;
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
    EstimateNumLines();
    return ScanOffset != Offset || ScanLine != Line || CountComplete != Complete ||
           LineNumbersPending != Pending;
}

void TTextViewer::HandleOnIdle(TObject* Sender, bool& Done) {
    if (!LineNumbersPending && CountComplete) {
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
}

void TTextViewer::SetLongestLine(std::int64_t W) {
    if (W <= LongestLine)
        return;
    LongestLine = W;
    if (WrapMode != opWrapScreenWidth)
        HorzScrollBar->SetLimit(W + LeftMargin + CharWidth);
}

// ---- Wrap modes ---------------------------------------------------------------------------

void TTextViewer::SetMaxLineLength(std::int64_t N) {
    MaxLineLength = N;
    RecentLineStarts.clear();
    if (!Buffer)
        return;
    const std::int64_t O = TextOffset(LongPoint(CharNumber, LineNumber));
    switch (WrapMode) {
    case opNone:
        Buffer->SetMaxWidth(std::numeric_limits<std::int32_t>::max());
        LongestLine = 0; // it grows as lines are seen
        break;
    case opWrapScreenWidth: {
        const std::int64_t W = Zoomed(GetClientWidth() - 1 - LeftMargin - RightMargin, ZoomFactor);
        LongestLine = std::max<std::int64_t>(1, W); // a sliver of a window still wraps
        Buffer->SetMaxWidth(LongestLine);
        break;
    }
    case opAbsoluteWrap:
        LongestLine = CharWidth * N;
        Buffer->SetMaxWidth(LongestLine);
        if (OnWrapModeChange)
            OnWrapModeChange(this);
        break;
    case opPrinter: {
        std::int64_t W = 0;
        try {
            W = Printer()->GetPageWidth() - PrintMargins.Left - PrintMargins.Right;
        } catch (const EPrinter&) {
            W = 0; // no printer: nothing to wrap to
        }
        W = std::max<std::int64_t>(0, Zoomed(W, ZoomFactor));
        Buffer->SetMaxWidth(W);
        LongestLine = 0;
        if (W > 0 && Buffer->GetState().Contains(lbCanvasAvailable)) {
            const std::int64_t Actual = std::max<std::int64_t>(1, Buffer->GetActualCharWidth());
            const std::int64_t Display = Buffer->GetDisplayCharWidth();
            LongestLine = std::llround(static_cast<double>(Display) *
                                       (static_cast<double>(W) / static_cast<double>(Actual)));
        }
        break;
    }
    }
    // The caret's line in the new layout; it keeps the caret's number for now, so that the map
    // and the caret agree until the count numbers them.
    SetMapAnchor(O, LineNumber, PageNumber);
    CaretLineStart = LineStart;
    HorzScrollBar->SetLimit(std::max<std::int64_t>(LongestLine + LeftMargin, GetClientWidth() - 1));
    ReEstimateFrom(0);
    const std::int64_t Size = GetTextSize();
    CountComplete = Size == 0;
    // The lines broke anew: every number is provisional until the count passes it.
    LineNumbersPending = Size > 0;
    EstimateLastLine();
}

void TTextViewer::SetWrapMode(TWrapModes Mode) {
    WrapMode = Mode;
    if (Buffer) {
        const std::int64_t L = MarkLocation();
        const std::int64_t S = SelStartOffset;
        const std::int64_t E = SelEndOffset;
        const std::int64_t A = TextOffset(SelAnchor);
        const TSelModes M = SelMode;
        ResetSelection(ZeroPoint);
        Buffer->SetMode(Mode == opPrinter ? lbPrinter : lbDisplay);
        RecentLineStarts.clear();
        if (HandleAllocated()) {
            SetMaxLineLength(MaxLineLength);
            GotoLocation(L);
            ReapplySelection(S, E, M);
            SelAnchor = OffsetToPoint(A);
            RecountAnchors();
            ShowCurrentLine();
            if (!State.Contains(vsPrinting))
                Redraw();
        }
    }
    if (OnWrapModeChange)
        OnWrapModeChange(this);
}

void TTextViewer::ReapplySelection(std::int64_t Start, std::int64_t End, TSelModes Mode) {
    const TLongPoint PS = OffsetToPoint(Start);
    const std::int64_t StartLine = LineStart;
    const std::int64_t StartPage = MapPage;
    const TLongPoint PE = OffsetToPoint(End);
    const std::int64_t EndLine = LineStart;
    const std::int64_t EndPage = MapPage;
    SetSelection(PS, PE, Mode);
    // After a re-layout the line numbers are provisional, and those of two anchors need not
    // agree until the count passes them: each end keeps the offset its number was found at,
    // rather than one found by walking from another anchor.
    SelStartOffset = Start;
    SelEndOffset = End;
    SelStartPage = StartPage;
    SelEndPage = EndPage;
    if (Mode == smColumn) {
        ColumnLeft = Buffer->GetDistanceBetween(StartLine, Start);
        ColumnRight = Buffer->GetDistanceBetween(EndLine, End);
    }
}

void TTextViewer::ToggleWrapMode() {
    SetWrapMode(WrapMode == opPrinter ? opNone : static_cast<TWrapModes>(WrapMode + 1));
}

void TTextViewer::UpdateScreenWidth() {
    if (!Buffer) {
        TLinesViewer::UpdateScreenWidth();
        return;
    }
    const std::int64_t L = MarkLocation();
    TLinesViewer::UpdateScreenWidth();
    if (WrapMode != opWrapScreenWidth) {
        HorzScrollBar->SetLimit(LongestLine + LeftMargin + CharWidth);
    } else {
        SetMaxLineLength(MaxLineLength);
        if (SelMode != smNone) {
            const std::int64_t S = SelStartOffset;
            const std::int64_t E = SelEndOffset;
            const TSelModes M = SelMode;
            ResetSelection(ZeroPoint);
            ReapplySelection(S, E, M);
        }
    }
    GotoLocation(L);
    RecountAnchors();
}

void TTextViewer::RecountAnchors() {
    // The caret and the selection got numbers from the new layout's provisional map; the count
    // corrects only what lies ahead of it, and the first step after the re-layout may already
    // have passed them: it starts over.
    if (LineNumbersPending)
        ReEstimateFrom(0);
}

void TTextViewer::ReInitialise() {
    PrevLineStart = LineStart = NextLineStart = 0;
    MapLine = 0;
    MapLineLength = MapLineWidth = 0;
    ScanOffset = ScanLine = 0;
    SelStartOffset = SelEndOffset = 0;
    SelStartPage = SelEndPage = 1;
    ColumnLeft = ColumnRight = 0;
    CaretLineStart = 0;
    LongestLine = 0;
    CountComplete = true;
    ScanPageCount = MapPage = AverageLinesPerPage = CaretPage = 1;
    LineNumbersPending = false;
    HardBreaks.clear();
    HardBreakIndex = -1;
    MapBoundary = pbNone;
    RecentLineStarts.clear();
    if (Buffer)
        Buffer->Reset();
    TLinesViewer::ReInitialise();
    ScanOffset = ScanLine = 0;
    ScanBoundary = pbNone;
    if (Buffer) {
        GotoStartOftext();
        SetMaxLineLength(MaxLineLength);
    }
    TopLineStart = 0;
    TopLineStartLine = 0;
}

} // namespace kestrel
