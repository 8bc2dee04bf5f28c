// TBigEditor: the editing commands (typing, overwriting, new lines, insertion, deletion by
// character, word and line, case cycling) and the steps that keep the line map, the caret and
// the screen in step with the text after each of them.
#include "kxedit/big_editor.h"

#include "fileview/viewer_scopes.h"
#include "host/scope_guard.h"

#include <algorithm>

namespace kestrel {

namespace {

bool IsWordChar(std::uint8_t C) {
    return WordChars.Contains(C);
}

// The letter classes of case cycling.
bool IsLowerLetter(std::uint8_t C) {
    return (C >= 'a' && C <= 'z') || (C >= 224 && C <= 246) || (C >= 248 && C <= 254);
}

bool IsUpperLetter(std::uint8_t C) {
    return (C >= 'A' && C <= 'Z') || (C >= 192 && C <= 214) || (C >= 216 && C <= 222);
}

} // namespace

// ---- Line map -----------------------------------------------------------------------------

void TBigEditor::UpdateCurrentLineData() {
    if (!Buffer)
        return;
    if (LineNumber != MapLine) {
        // The text already changed: the view is placed again on it before the failure is told.
        Resynchronise();
        throw EInternalError("Synchronisation error in editing text");
    }
    NextLineStart = LineStart;
    Buffer->GetNextLine(NextLineStart.Ref(), MapLineWidth.Ref(), MapLineLength.Ref());
    AdjustCurrentLine(MapLine, MapLineWidth, MapLineLength);
    if (MapLineWidth > LongestLine)
        SetLongestLine(MapLineWidth);
}

void TBigEditor::ChangedFrom(std::int64_t P) {
    if (!Buffer)
        return;
    CountComplete = false;
    // Numbers that were exact before the edit are only confirmed by the count: the rows the
    // edit changed are repainted by the edit itself.
    const TValueGuard<bool> Quiet(QuietSettle, !LineNumbersPending);
    ReEstimateFrom(std::max<std::int64_t>(0, P));
    EstimateLastLine();
}

void TBigEditor::NumbersSettled() {
    if (!QuietSettle) {
        TTextViewer::NumbersSettled();
        return;
    }
    LineNumbersPending = false;
    ReportedLine = -1; // the next idle pass reports the caret
}

std::int64_t TBigEditor::CaretOffset() {
    SyncLineMap();
    return LineStart + std::clamp<std::int64_t>(CharNumber, 0, MapLineLength);
}

std::int64_t TBigEditor::CaretTarget(std::int64_t Offset) {
    const std::int64_t Size = GetTextSize();
    Offset = std::clamp<std::int64_t>(Offset, 0, Size);
    if (Offset > 0 && Offset < Size && ByteAt(Offset) == LF && ByteAt(Offset - 1) == CR)
        --Offset;
    return Offset;
}

void TBigEditor::PlaceCaret(std::int64_t Offset) {
    FocusAt(CaretTarget(Offset), false);
}

void TBigEditor::ShiftOffsets(std::int64_t P, std::int64_t Delta) {
    if (Delta == 0)
        return;
    // A deletion of [P, P - Delta): offsets after it move back, those inside it are lost.
    const auto Inside = [&](std::int64_t O) { return Delta < 0 && O > P && O < P - Delta; };
    if (ScanOffset > P) {
        // The count standing just after deleted text would keep the number of its line while
        // the line breaks before it went: it goes back before the change too.
        if (Inside(ScanOffset) || (Delta < 0 && ScanOffset == P - Delta))
            ReEstimateFrom(PrevLineStart); // the count goes back before the change
        else
            ScanOffset += Delta;
    }
    if (TopLineStart > P) {
        if (Inside(TopLineStart))
            TopLineStartLine = -1; // found again when the top row is next painted
        else
            TopLineStart += Delta;
    }
}

TBigEditor::TLineChange TBigEditor::LayOutEditedLine(std::int64_t P, std::int64_t Delta,
                                                     std::int64_t L0, std::int64_t OldNext) {
    if (LineNumber != MapLine) {
        Resynchronise();
        throw EInternalError("Synchronisation error in editing text");
    }
    ShiftOffsets(P, Delta);
    TLineChange Change;
    const std::int64_t Size = GetTextSize();
    if (!PrevLineStillStarts()) {
        // A change that re-wrapped the paragraph above the line before (blanks and tabs make a
        // word's width depend on where it begins, and may pull more than one line up): the map
        // is placed again, numbered for now.
        Resynchronise();
        Change.FromAbove = true;
    } else if (PrevLineStart < LineStart) {
        // The line before may now end elsewhere: a word of this line fits up there now, or one
        // of its own no longer does.
        std::int64_t T = PrevLineStart;
        std::int64_t W = 0;
        std::int64_t N = 0;
        Buffer->GetNextLine(T, W, N);
        if (T != LineStart) {
            Change.FromAbove = true;
            LineStart = T;
        }
        if (LineStart >= Size && PrevLineStart + N == LineStart && ByteAt(PrevLineStart) != FF) {
            // The line before runs to the end of the text now: the map line is gone, and the
            // map and the caret go back to that line.
            Change.FromAbove = true;
            NextLineStart = LineStart;
            GotoPrevLine();
            LineNumber = MapLine;
        }
    }
    UpdateCurrentLineData();
    MapLayout = PresentLayout(); // every line of the map was measured in the new text
    // Only the map line changed when the edit lay within it (bytes inserted at its end join
    // it), it ends at the same text as before and kept its length in step: every line after it
    // is the same text, shifted.
    const bool Within = Delta > 0 ? P <= OldNext : Delta == 0 ? P < OldNext : P - Delta <= OldNext;
    Change.InPlace = !Change.FromAbove && Within && NextLineStart == OldNext + Delta &&
                     MapLineLength == L0 + Delta;
    return Change;
}

bool TBigEditor::PrevLineStillStarts() {
    if (PrevLineStart == 0 || PrevLineStart == LineStart)
        return true;
    const std::uint8_t Before = ByteAt(PrevLineStart - 1);
    if (Before == LF || Before == FF)
        return true; // a paragraph's first line
    std::int64_t T = PrevLineStart;
    Buffer->GetStartOfParagraph(T);
    if (PrevLineStart - T > ParagraphReach)
        return true; // too long a walk for every edit: the line before is trusted
    std::int64_t W = 0;
    std::int64_t N = 0;
    while (T < PrevLineStart && Buffer->GetNextLine(T, W, N)) {
    }
    return T == PrevLineStart;
}

void TBigEditor::AfterLayoutChange(const TLineChange& Change, std::int64_t Target, bool Now) {
    const std::int64_t Row = LineNumber - TopLine;
    const std::int64_t First = Change.FromAbove ? Row - 1 : Row;
    if (First <= 0)
        Redraw();
    else
        redrawLines(First, LinesOnScreen);
    ChangedFrom(PrevLineStart);
    PlaceCaret(Target);
    if (Now && HandleAllocated())
        Update();
}

void TBigEditor::PaintCaretLine(bool Clear) {
    if (!HandleAllocated() || !EnableUpdates || !GetVisible())
        return;
    const std::int64_t Row = LineNumber - TopLine;
    const std::int64_t Y = Row * CharHeight;
    if (Row < 0 || Y >= GetClientHeight())
        return;
    const HWND Wnd = GetHandle();
    TCanvas* C = GetCanvas();
    HideCaret(Wnd);
    const TScopeExit Done([C, Wnd] {
        C->ReleaseHandle();
        ShowCaret(Wnd);
    });
    const std::int64_t X0 = LeftMargin - DeltaX;
    const int Top = ClampToInt(Y);
    const int Bottom = ClampToInt(Y + CharHeight);
    if (MapBoundary == pbHardPageBreak || ByteAt(LineStart) == FF) {
        C->FillRect(Rect(0, Top, GetClientWidth(), Bottom));
        DrawPageBreak(Y);
        return;
    }
    if (Clear) {
        C->FillRect(Rect(ClampToInt(X0 + MapLineWidth), Top, GetClientWidth(), Bottom));
        if (X0 > 0)
            C->FillRect(Rect(0, Top, ClampToInt(X0), Bottom));
    }
    Buffer->NoFlickerTabbedTextOut(X0, Y, LineStart, MapLineLength, X0);
    DrawEOLChar(Y);
}

// ---- Insertion ----------------------------------------------------------------------------

std::int64_t TBigEditor::GetInsertPos() {
    if (!Buffer)
        return -1;
    if (State.Contains(vsSelection)) {
        if (SelMode == smColumn) {
            // The block goes; what is typed goes where its top-left corner was.
            // (Every row lies at or after that corner: its offset stays.)
            const std::int64_t P = SelStartOffset;
            DeleteColumnText(std::string(), false);
            return P;
        }
        const std::int64_t P = std::min(SelStartOffset, SelEndOffset);
        if (P == std::max(SelStartOffset, SelEndOffset)) {
            // Two points at one offset (either side of a form feed that ends a line's text):
            // nothing to delete.
            ResetSelection(LongPoint(CharNumber, LineNumber));
            PlaceCaret(P);
            return P;
        }
        const std::int64_t Before = GetTextSize();
        DeleteSelection();
        return GetTextSize() < Before ? P : -1; // refused: nothing is typed either
    }
    ResetSelection(LongPoint(CharNumber, LineNumber));
    SyncLineMap();
    std::int64_t P = LineStart + std::clamp<std::int64_t>(CharNumber, 0, MapLineLength);
    if (CaretX > MapLineWidth) {
        // Beyond the end of the line's text: as many spaces as whole space widths fit first.
        P = LineStart + MapLineLength;
        const std::int64_t Pad =
            (CaretX - MapLineWidth) / std::max<std::int64_t>(1, Buffer->WidthOf(' '));
        if (Pad > 0) {
            const std::int64_t Before = GetTextSize();
            InsertSpaces(P, Pad);
            if (GetTextSize() == Before)
                return -1; // refused
        }
        if (LineStart + MapLineLength == P)
            _SetCaretPos(LongPoint(LineWidth, LineNumber)); // at the new end of the line
    }
    return P;
}

void TBigEditor::InsertSpaces(std::int64_t& P, std::int64_t Count) {
    if (!Buffer || Count <= 0)
        return;
    // The map on the caret's line, which holds P.
    const std::int64_t L0 = MapLineLength;
    const std::int64_t OldNext = NextLineStart;
    const std::int64_t Before = GetTextSize();
    Buffer->InsertSpaces(P, Count);
    const std::int64_t Delta = GetTextSize() - Before; // fewer when MaxTextSize cut them
    if (Delta <= 0)
        return;
    const TLineChange Change = LayOutEditedLine(P, Delta, L0, OldNext);
    if (!Change.InPlace)
        AfterLayoutChange(Change, P + Delta, false);
    P += Delta;
}

void TBigEditor::InsertAt(std::int64_t P, const char* Text, std::int64_t Count) {
    const std::int64_t L0 = MapLineLength;
    const std::int64_t OldNext = NextLineStart;
    const std::int64_t Before = GetTextSize();
    Buffer->Insert(Text, P, Count);
    const std::int64_t Delta = GetTextSize() - Before; // fewer when MaxTextSize cut them
    if (Delta <= 0)
        return; // refused, or no room left
    const TLineChange Change = LayOutEditedLine(P, Delta, L0, OldNext);
    AfterLayoutChange(Change, P + Delta, true);
}

void TBigEditor::InsertChar(char Ch) {
    // A character typed over a selection takes its place, in overwrite mode too: the byte after
    // the selection is not overwritten as well.
    const bool OverSelection = State.Contains(vsSelection);
    const std::int64_t P = GetInsertPos();
    if (P < 0)
        return;
    const auto B = static_cast<std::uint8_t>(Ch);
    const std::int64_t L0 = MapLineLength;
    const std::int64_t OldNext = NextLineStart;
    const std::int64_t Before = GetTextSize();
    std::int64_t Delta = 0;
    if (!GetInsertOn() && !OverSelection && P < Before && !Buffer->LineBreakAt(P)) {
        // Overwrite: the byte at P is replaced (at a line end or the end of the text the
        // character is inserted instead).
        TEditStream* S = GetEditStream();
        S->ReplaceChar(P, B);
        if (S->GetReadOnly())
            return;           // refused, the write-protect handler told
        Buffer->DoOnChange(); // the widths of the line may have changed
    } else {
        Buffer->Insert(&Ch, P, 1);
        Delta = GetTextSize() - Before;
        if (Delta <= 0)
            return; // refused, or no room left
    }
    const TLineChange Change = LayOutEditedLine(P, Delta, L0, OldNext);
    if (Change.InPlace && LineStart + CharNumber == P && CaretX <= LineWidth) {
        // The line kept its wrapping: only its row is drawn again, and the caret steps over the
        // character.
        if (B == FF)
            return;
        PaintCaretLine(false);
        ++CharNumber;
        DesiredChar = CharNumber;
        CaretX = B == TAB ? Buffer->GetDistanceBetween(LineStart, LineStart + CharNumber)
                          : CaretX + Buffer->GetDistanceBetween(P, P + 1);
        ShowCurrentCharacter();
        SetCaretPos();
        return;
    }
    AfterLayoutChange(Change, P + 1, true);
}

void TBigEditor::InsertEOL() {
    const std::int64_t P = GetInsertPos();
    if (P >= 0)
        InsertAt(P, EditorLineBreak, 2);
}

void TBigEditor::InsertString(const std::string& S) {
    if (S.empty())
        return;
    const std::int64_t P = GetInsertPos();
    if (P >= 0)
        InsertAt(P, S.data(), static_cast<std::int64_t>(S.size()));
}

void TBigEditor::AppendString(const std::string& S) {
    if (!Buffer || S.empty())
        return;
    // The count runs to the end first (stopping where it makes no progress), so that the last
    // line is known; the selection stays.
    CompleteCount();
    GotoEndOftext(); // the last line, numbered LastLine (exact once the count completed)
    CaretLineStart = LineStart;
    CaretPage = MapPage;
    LineNumber = MapLine;
    SetLineNumber(MapLine);
    SetCharNumber(MapLineLength);
    InsertAt(GetTextSize(), S.data(), static_cast<std::int64_t>(S.size()));
    Redraw();
}

void TBigEditor::InsertDateTime(TDateTime DT) {
    InsertString(FormatDateTime("c", DT));
}

// ---- Deletion -----------------------------------------------------------------------------

void TBigEditor::Delete(std::int64_t P, std::int64_t Count) {
    if (!Buffer)
        return;
    P = std::clamp<std::int64_t>(P, 0, GetTextSize());
    Count = std::min(Count, GetTextSize() - P);
    if (Count <= 0)
        return;
    PlaceCaret(P);
    SyncLineMap();
    const std::int64_t L0 = MapLineLength;
    const std::int64_t OldNext = NextLineStart;
    const std::int64_t Before = GetTextSize();
    Buffer->Delete(P, Count);
    const std::int64_t Delta = GetTextSize() - Before;
    if (Delta == 0)
        return; // refused: the selection stays
    ResetSelection(LongPoint(CharNumber, LineNumber));
    const TLineChange Change = LayOutEditedLine(P, Delta, L0, OldNext);
    if (Change.InPlace) {
        PaintCaretLine(true);
        SetCaretPos();
        return;
    }
    AfterLayoutChange(Change, P, false);
}

void TBigEditor::DeleteText(std::int64_t Line, std::int64_t CharNum, std::int64_t Count) {
    if (!Buffer)
        return;
    SetEffectiveLineNumber(Line);
    SetCharNumber(CharNum);
    Delete(CaretOffset(), Count);
}

void TBigEditor::DeleteChar() {
    if (!Buffer)
        return;
    if (State.Contains(vsSelection)) {
        DeleteSelection();
        return;
    }
    const std::int64_t P = CaretOffset();
    if (P >= GetTextSize()) {
        Beep();
        return;
    }
    ResetSelection(LongPoint(CharNumber, LineNumber));
    // A CR LF goes whole.
    const std::int64_t N = ByteAt(P) == CR && ByteAt(P + 1) == LF ? 2 : 1;
    Delete(P, N);
}

void TBigEditor::BackSpace() {
    if (!Buffer)
        return;
    if (SelMode != smNone) {
        DeleteSelection();
        return;
    }
    const std::int64_t P = CaretOffset();
    if (P == 0 || CaretX > LineWidth) {
        Beep();
        return;
    }
    // The byte before the caret (a whole CR LF): at the start of a wrapped line, the last
    // character of the line before. Undo puts the caret back after it.
    const std::int64_t N = P >= 2 && ByteAt(P - 1) == LF && ByteAt(P - 2) == CR ? 2 : 1;
    const TScopeExit Reset([this] { UndoCaretPos = 0; });
    UndoCaretPos = P;
    Delete(P - N, N);
}

void TBigEditor::DeleteSelection() {
    if (!Buffer || !State.Contains(vsSelection))
        return;
    if (SelMode == smColumn) {
        DeleteColumnText(std::string(), false);
        return;
    }
    const std::int64_t S = std::min(SelStartOffset, SelEndOffset);
    const std::int64_t E = std::max(SelStartOffset, SelEndOffset);
    Delete(S, E - S);
}

bool TBigEditor::SelectWord() {
    if (!Buffer)
        return false;
    const std::int64_t O = CaretOffset();
    if (O >= GetTextSize() || !IsWordChar(ByteAt(O)))
        return false;
    const TLongPoint Caret = LongPoint(O - LineStart, LineNumber);
    const TLongPoint E = FindWordEnd(Caret);
    const TLongPoint S = FindWordStart(Caret);
    SelAnchor = S;
    SetSelection(S, E, smExtend);
    redrawLines(S.Y - TopLine, E.Y - TopLine);
    return true;
}

void TBigEditor::DeleteWord() {
    if (SelectWord())
        DeleteSelection();
    else
        Beep();
}

void TBigEditor::DeleteLine() {
    if (!Buffer)
        return;
    SyncLineMap();
    const TLongPoint From = LongPoint(0, LineNumber);
    TLongPoint To = LongPoint(LineLength, LineNumber);
    if (!AtEndOfText()) {
        // Up to the start of the next line: the line break goes with the line.
        To = OffsetToPoint(NextLineStart);
    }
    SelAnchor = From;
    SetSelection(From, To, smExtend);
    DeleteSelection();
}

void TBigEditor::DeleteLineEnd() {
    if (!Buffer)
        return;
    const TLongPoint From = SelMode != smNone ? SelStart : LongPoint(CharNumber, LineNumber);
    SelAnchor = From;
    SetSelection(From, LongPoint(LineLength, LineNumber), smExtend);
    DeleteSelection();
}

void TBigEditor::DeleteLineStart() {
    if (!Buffer)
        return;
    const TLongPoint To = SelMode != smNone ? SelEnd : LongPoint(CharNumber, LineNumber);
    const TLongPoint From = LongPoint(0, LineNumber);
    SelAnchor = From;
    SetSelection(From, To, smExtend);
    DeleteSelection();
}

// ---- Case ---------------------------------------------------------------------------------

void TBigEditor::Capitalise() {
    TEditStream* Stream = GetEditStream();
    if (Stream == nullptr || (!State.Contains(vsSelection) && !SelectWord()))
        return;
    const std::int64_t Size = GetTextSize();
    const std::int64_t E = std::min(SelEndOffset, Size);
    // The start of the word holding the selection's start.
    std::int64_t O = std::min(SelStartOffset, Size - 1);
    while (O >= 0 && !IsWordChar(ByteAt(O)))
        --O;
    while (O >= 0 && IsWordChar(ByteAt(O)))
        --O;
    ++O;
    const std::int64_t Caret = CaretOffset();
    // Where the layout may change: from the line before the first word's line on.
    GotoPosition(O);
    const std::int64_t AnchorStart = PrevLineStart;
    const std::int64_t AnchorLine = AnchorStart == 0 ? 0 : std::max<std::int64_t>(1, MapLine - 1);
    const std::int64_t AnchorPage = MapPage;

    enum { cmTitle, cmUpper, cmLower } Mode = cmTitle;
    const std::uint8_t First = ByteAt(O);
    if (IsLowerLetter(First))
        Mode = cmTitle;
    else if (IsUpperLetter(First))
        Mode = O + 1 < Size && IsLowerLetter(ByteAt(O + 1)) ? cmUpper : cmLower;
    else {
        Beep();
        return;
    }

    bool Changed = false;
    {
        const TBusyModeScope Busy(*this, 0);
        const TValueGuard<bool> Link(LinkUndo, true);
        const TLeaveScope Close([Stream] { Stream->ClearLastUndoLink(); });
        bool Refused = false;
        while (O < E && !Refused) {
            const std::int64_t WordStart = O;
            for (; O < E && O < Size && IsWordChar(ByteAt(O)); ++O) {
                const std::uint8_t Ch = ByteAt(O);
                std::uint8_t To = Ch;
                if (Mode == cmUpper || (Mode == cmTitle && O == WordStart))
                    To = AnsiUpperCase(Ch);
                else
                    To = AnsiLowerCase(Ch);
                if (To == Ch)
                    continue;
                Stream->ReplaceChar(O, To);
                if (Stream->GetReadOnly()) {
                    Refused = true; // the write-protect handler told
                    break;
                }
                Changed = true;
            }
            // The byte that ended the word, and whatever else comes before the next one.
            if (O == WordStart)
                ++O;
            while (O < E && O < Size && !IsWordChar(ByteAt(O)))
                ++O;
        }
    }
    if (Changed) {
        Buffer->DoOnChange();
        RelayoutFrom(AnchorStart, AnchorLine, AnchorPage, Caret);
    } else {
        PlaceCaret(Caret);
    }
    Redraw();
}

void TBigEditor::RelayoutFrom(std::int64_t Start, std::int64_t Line, std::int64_t Page,
                              std::int64_t CaretAt) {
    // The selection's offsets stay valid (the text kept its length); its numbers may not.
    const std::int64_t S = SelStartOffset;
    const std::int64_t E = SelEndOffset;
    const TSelModes M = SelMode;
    ResetSelection(ZeroPoint);
    // The map goes to the line at Start, which the change left as it was; the caret's anchor
    // follows it, its old line may have moved.
    SetMapAnchor(Start, Line, Page);
    LineNumber = MapLine;
    CaretLineStart = LineStart;
    CaretPage = MapPage;
    if (TopLineStart > Start)
        TopLineStartLine = -1;
    ChangedFrom(PrevLineStart);
    PlaceCaret(CaretAt);
    if (M != smNone)
        ReapplySelection(S, E, M);
}

void TBigEditor::Resynchronise() {
    const std::int64_t O = CaretTarget(CaretLineStart + CharNumber);
    ResetSelection(ZeroPoint);
    // Every number is provisional from here; the count starts over and corrects them.
    LineNumbersPending = true;
    ReEstimateFrom(0);
    JumpTo(O, std::max<std::int64_t>(1, LineNumber));
    CaretLineStart = LineStart;
    CaretPage = MapPage;
    LineNumber = MapLine;
    TopLineStartLine = -1;
    if (MapLine > LastLine)
        SetLastLine(MapLine);
    PlaceCaret(O);
    Redraw();
}

} // namespace kestrel
