// TBigEditor: moving and copying selected text: MoveText, and dragging a selection with the mouse
// and dropping it elsewhere (Ctrl held at the drop copies it).
#include "kxedit/big_editor.h"

#include "fileview/viewer_scopes.h"
#include "host/scope_guard.h"
#include "host/window_platform.h"

#include <algorithm>

namespace kestrel {

void TBigEditor::MoveText(std::int64_t Pos, bool Copy) {
    TEditStream* Stream = GetEditStream();
    if (Stream == nullptr)
        return;
    if (SelMode != smDouble && SelMode != smExtend)
        throw EInternalError("Not in correct Selection Mode");
    const std::int64_t S = std::min(SelStartOffset, SelEndOffset);
    const std::int64_t E = std::max(SelStartOffset, SelEndOffset);
    const std::int64_t Size = E - S;
    Pos = std::clamp<std::int64_t>(Pos, 0, GetTextSize());
    if (Size <= 0 || (!Copy && S < Pos && Pos < E))
        return; // moved onto itself: nothing changes
    const std::string Text = Buffer->GetString(S, Size);
    const bool Grouped = UndoGroupedByCaller();
    const TValueGuard<bool> Link(LinkUndo, true);
    const TLeaveScope Close([&] {
        if (!Grouped)
            Stream->ClearLastUndoLink();
    });
    if (!Copy) {
        const TLongPoint Pt = _GetCaretPos();
        // A caret beyond its line's text keeps its place with spaces after the deletion. (One
        // within the text is not padded out to its old pixel column: text deleted before it
        // on its line would make a gap of spaces that nobody asked for.)
        SyncLineMap();
        const bool Beyond = CaretX > MapLineWidth;
        if (S < Pos)
            Pos -= Size;
        const std::int64_t Before = GetTextSize();
        Delete(S, Size);
        if (GetTextSize() == Before)
            return; // refused
        // The caret beyond its line keeps its pixel column.
        std::int64_t At = 0;
        const std::int64_t N = Beyond ? PadToPoint(Pt, At) : 0;
        if (N > 0 && Pos >= At)
            Pos += N;
    }
    ResetSelection(ZeroPoint);
    PlaceCaret(Pos);
    SyncLineMap();
    const std::int64_t Before = GetTextSize();
    InsertAt(Pos, Text.data(), Size);
    const std::int64_t Added = GetTextSize() - Before;
    ChangedFrom(Pos);
    SelAnchor = OffsetToPoint(Pos);
    SetSelection(SelAnchor, OffsetToPoint(Pos + Added), smExtend);
    PlaceCaret(Pos + Added);
}

void TBigEditor::UpdateMouseCursor(int X, int Y) {
    TTextViewer::UpdateMouseCursor(X, Y);
    if (State.Contains(vsBusy) || !Buffer)
        return;
    const std::int64_t Line = Y + TopLine;
    bool Over = false;
    // The pointer's line is found from the top line's start, a few lines on at most, without
    // moving the line map: this runs on every mouse move and inside SetSelection.
    if (State.Contains(vsSelection) && SelStart.Y <= Line && Line <= SelEnd.Y && Y >= 0 &&
        Y <= LinesOnScreen && TopLineStartLine == TopLine) {
        std::int64_t Start = TopLineStart;
        std::int64_t Next = Start;
        std::int64_t W = 0;
        std::int64_t N = 0;
        bool Found = Buffer->GetNextLine(Next, W, N) || Y == 0;
        for (int R = 0; R < Y && Found; ++R) {
            Start = Next;
            Found = Buffer->GetNextLine(Next, W, N) || R + 1 == Y;
        }
        if (Found) {
            const std::int64_t PX = X + DeltaX - LeftMargin;
            std::int64_t O = Start;
            std::int64_t Passed = 0;
            Buffer->GetCharAt(O, PX, Passed);
            O = std::min(O, Start + N);
            if (SelMode == smColumn) {
                const std::int64_t K = O - Start;
                Over = SelStart.X <= K && K <= SelEnd.X;
            } else {
                Over = SelStartOffset <= O && O <= SelEndOffset && PX <= W &&
                       !(Start < GetTextSize() && ByteAt(Start) == FF);
            }
        }
    }
    SetMouseState(TMouseStates{msSelection}, Over);
}

void TBigEditor::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbLeft && MouseState.Contains(msSelection) && !State.Contains(vsDragging) &&
        !State.Contains(vsBusy)) {
        SetMouseState(TMouseStates{msDrag}, true);
        Perform(WM_SETCURSOR, static_cast<WPARAM>(GetHandle()), 0);
        UndoCaretPos = CaretOffset(); // an undo of the move puts the caret back here
        SetCapture(GetHandle());
        SetState(vsDragging, true);
    }
    TTextViewer::MouseDown(Button, Shift, X, Y);
}

void TBigEditor::MouseMove(TShiftState Shift, int X, int Y) {
    TTextViewer::MouseMove(Shift, X, Y);
    if (!State.Contains(vsMouseDown) && State.Contains(vsDragging) && MouseState.Contains(msDrag))
        _SetCaretPos(LongPoint(X + DeltaX - LeftMargin, Y / CharHeight + TopLine));
}

void TBigEditor::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (!State.Contains(vsDragging) || !MouseState.Contains(msDrag) || !Buffer) {
        // (A margin drag ends in the viewer.)
        TTextViewer::MouseUp(Button, Shift, X, Y);
        return;
    }
    SetState(vsDragging, false);
    ReleaseCapture();
    SetMouseState(TMouseStates{msDrag}, false);
    std::int64_t Spaces = 0;
    std::int64_t P = GetTextPos(_GetCaretPos(), Spaces);
    const std::int64_t S = std::min(SelStartOffset, SelEndOffset);
    const std::int64_t E = std::max(SelStartOffset, SelEndOffset);
    bool Itself = S <= P && P <= E && (CaretX <= LineWidth || (S < P && P < E));
    if (SelMode == smColumn) {
        const std::int64_t K = P - LineStart;
        Itself = S <= P && P <= E && SelStart.Y <= LineNumber && LineNumber <= SelEnd.Y &&
                 SelStart.X <= K && K <= SelEnd.X && CaretX <= LineWidth;
    }
    if (Itself || SelMode == smNone) {
        UndoCaretPos = 0;
        TTextViewer::MouseUp(Button, Shift, X, Y);
        return;
    }
    TEditStream* Stream = GetEditStream();
    const bool Copy = Shift.Contains(ssCtrl);
    const std::int64_t Low = std::min(P, S);
    {
        const TStateFlagScope Dropping(*this, vsDropping);
        const TLeaveScope Close([Stream] { Stream->ClearLastUndoLink(); });
        const TScopeExit ResetCaret([this] { UndoCaretPos = 0; });
        if (Spaces > 0) {
            // The drop point lies beyond its line's text: the line is filled up to it.
            const std::int64_t From = P;
            InsertSpaces(P, Spaces);
            const std::int64_t N = P - From;
            if (SelStartOffset > From)
                SelStartOffset += N;
            if (SelEndOffset > From)
                SelEndOffset += N;
        }
        if (SelMode == smColumn)
            MoveColumns(P, Copy);
        else
            MoveText(P, Copy);
        ChangedFrom(Low);
    }
    Redraw();
}

} // namespace kestrel
