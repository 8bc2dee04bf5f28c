// TTextViewer: construction, the buffer, the conversions between text offsets and character
// positions, and the wrap modes.
#include "fileview/text_viewer.h"

#include "fileview/viewer_scopes.h"
#include "host/printers.h"

#include <algorithm>
#include <cmath>

namespace kestrel {

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
    PendingRow = PendingLineStart = MeasuredRowStart = -1;
    SampledSize = -1;
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

// ---- Conversions --------------------------------------------------------------------------

std::int64_t TTextViewer::TextOffset(const TLongPoint& P) {
    if (!Buffer)
        return 0;
    LocateLine(P.Y, false);
    if (P.X <= 0) // (the line's length not needed: an open line stays open)
        return LineStart;
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
    LocateLine(Line, true);
    // The walk met the end of the text before Line: an exact number is the true last line.
    if (MapLine < Line && !LineNumbersPending && AtEndOfText())
        SetLastLine(MapLine);
    // The caret's own data of a line still being measured are filled in when it is measured
    // (MeasureOpenMapLine); any other caller's, now.
    if (MapLineOpen && &ALineWidth == &LineWidth.Raw() && &ALineLength == &LineLength.Raw()) {
        ALineWidth = 0;
        ALineLength = 0;
    } else {
        ALineWidth = MapLineWidth;
        ALineLength = MapLineLength;
    }
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
    if (X <= 0) { // (before the line's width is asked for: an open line stays open)
        CharNum = 0;
        return;
    }
    if (X > LineWidth) {
        if (WrapMode == opWrapScreenWidth &&
            X - DeltaX > GetClientWidth() - LeftMargin - RightMargin)
            X = DeltaX + LeftMargin + HorzScrollBar->GetLimit();
        CharNum = LineLength;
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

// ---- Wrap modes ---------------------------------------------------------------------------

void TTextViewer::SetMaxLineLength(std::int64_t N) {
    MaxLineLength = N;
    RecentLineStarts.clear();
    if (!Buffer)
        return;
    const std::int64_t O = TextOffset(LongPoint(CharNumber, LineNumber));
    switch (WrapMode) {
    case opNone:
        Buffer->SetMaxWidth(NoWrapWidth);
        LongestLine = 0; // it grows as lines are seen
        break;
    case opWrapScreenWidth: {
        const std::int64_t W =
            ZoomShift(GetClientWidth() - 1 - LeftMargin - RightMargin, ZoomFactor);
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
        W = std::max<std::int64_t>(0, ZoomShift(W, ZoomFactor));
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
    MapLineOpen = false; // (a line left open is not measured for a map that starts over)
    PrevLineStart = LineStart = NextLineStart = 0;
    MapLine = 0;
    MapLineLength = 0;
    MapLineWidth = 0;
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
    Checkpoints.clear();
    CheckpointLayout = NoLayoutYet;
    NextCheckpointLine = CheckpointLineSpacing;
    NextCheckpointOffset = CheckpointByteSpacing;
    SampledSize = -1; // a new text is sampled anew
    MapLayout = CountLayout = NoLayout;
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