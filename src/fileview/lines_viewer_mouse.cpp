// TLinesViewer: the mouse: selection with click counting, margin drags, automatic scrolling and
// the cursor.
#include "fileview/lines_viewer.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>

namespace kestrel {

void TLinesViewer::SetMouseState(TMouseStates Flags, bool On) {
    if (MouseState == TMouseStates{msNormal})
        SavedCursor = GetCursor();
    if (On)
        MouseState += Flags;
    else
        MouseState -= Flags;
    if (GetComponentState().Contains(csDesigning))
        return;
    TCursor Cursor = SavedCursor;
    if (MouseState.Contains(msBusy))
        Cursor = crHourGlass;
    else if (MouseState.Contains(msDrag))
        Cursor = crDrag;
    else if (MouseState.Contains(msMarginBoundary))
        Cursor = crHSplit;
    else if (MouseState.Contains(msSelection) || MouseState.Contains(msMargin))
        Cursor = crArrow;
    SetCursor(Cursor);
}

// ---- Mouse --------------------------------------------------------------------------------

bool TLinesViewer::MouseOverSelection(int X, int Y) {
    std::int64_t PX = X + DeltaX - LeftMargin;
    std::int64_t K = 0;
    SyncToChar(PX, K);
    const std::int64_t Line = Y / CharHeight + TopLine;
    if (SelMode == smColumn)
        return SelStart.Y <= Line && Line <= SelEnd.Y && SelStart.X <= K && K <= SelEnd.X;
    if (Line < SelStart.Y || (Line == SelStart.Y && K < SelStart.X))
        return false;
    if (Line < SelEnd.Y)
        return true;
    if (Line == SelEnd.Y)
        return K <= SelEnd.X;
    return false;
}

void TLinesViewer::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TFlickerFreeControl::MouseDown(Button, Shift, X, Y);
    if (!Focused() && CanFocus())
        SetFocus();
    const HWND Wnd = GetHandle();
    if (Button == mbLeft) {
        bool Changed = false;
        if (Shift.Contains(ssDouble)) {
            ClickState = ClickState == mcTriple && MouseOverSelection(X, Y) ? mcQuad : mcDouble;
            Changed = true;
        } else if (ClickState == mcDouble && MouseOverSelection(X, Y)) {
            ClickState = mcTriple;
            Changed = true;
        }
        if (Changed)
            SetTimer(Wnd, ClickResetTimer, static_cast<UINT>(DoubleClickTime));
    }
    if (State.Contains(vsDragging) || Button != mbLeft)
        return;
    SetCapture(Wnd);
    if (AutoScroll)
        SetTimer(Wnd, AutoScrollTimer, AutoScrollInterval);
    if (MouseState.Contains(msMarginBoundary)) {
        DrawMarginLine(X);
        MarginDragging = true;
        SetState(vsDragging, true);
        return;
    }
    _SetCaretPos(LongPoint(X + DeltaX - LeftMargin, Y / CharHeight + TopLine));
    if (Shift.Contains(ssShift) || Shift.Contains(ssAlt)) {
        ExtendSelection();
        Redraw();
    } else {
        SelAnchor = LongPoint(CharNumber, LineNumber);
        if (State.Contains(vsSelection))
            Redraw();
        if (!Shift.Contains(ssDouble)) {
            // The third click of a run keeps the double-clicked word, which the release turns
            // into the line.
            if (ClickState != mcTriple)
                SetSelection(SelAnchor, SelAnchor, smExtend);
        } else if (X < LeftMargin - DeltaX) {
            SelectAll();
        } else {
            WordSelStart = FindWordStart(SelAnchor);
            WordSelEnd = FindWordEnd(SelAnchor);
            if (DoubleClickMode == dcWordAndSpaces)
                WordSelEnd = FindNextWord(WordSelEnd);
            SetSelection(WordSelStart, WordSelEnd, smDouble);
            redrawLines(LineNumber - TopLine, LineNumber - TopLine);
        }
    }
    SetState(vsMouseDown, true);
}

void TLinesViewer::SetMouseSelection(int X, int Y) {
    const std::int64_t PX = X + DeltaX - LeftMargin;
    const std::int64_t Line = Y / CharHeight + TopLine;
    if (Line == LineNumber && std::abs(PX - CaretX) < CharWidth)
        return;
    const TLongPoint OldStart = SelStart;
    const TLongPoint OldEnd = SelEnd;
    _SetCaretPos(LongPoint(PX, Line));
    TLongPoint Q = LongPoint(CharNumber, LineNumber);
    TLongPoint S;
    TLongPoint E;
    if (SelMode == smDouble) {
        // Word by word, always keeping the double-clicked word.
        if (Q < WordSelEnd) {
            S = FindWordStart(Q);
            E = WordSelEnd;
            SelAnchor = WordSelEnd;
        } else {
            S = WordSelStart;
            E = FindWordEnd(Q);
            SelAnchor = WordSelStart;
        }
    } else {
        if (SelMode == smColumn) {
            // Beyond its line's end the pointer moves the caret but not the block.
            if (PX > LineWidth)
                return;
            Q.X = SelEnd.X >= LineLength ? LineLength + (PX - LineWidth) / CharWidth : CharNumber;
        }
        std::tie(S, E) = FromAnchor(SelAnchor, Q, SelMode == smColumn);
    }
    if (SelMode == smColumn)
        Redraw();
    else
        RepaintSelectionChange(OldStart, OldEnd, S, E);
    SetSelection(S, E, SelMode);
}

void TLinesViewer::MouseMove(TShiftState Shift, int X, int Y) {
    TFlickerFreeControl::MouseMove(Shift, X, Y);
    if (State.Contains(vsMouseDown)) {
        SetMouseSelection(X, Y);
    } else if (State.Contains(vsDragging) && MarginDragging) {
        const std::int64_t Location = MarkLocation();
        const std::int64_t Width = GetClientWidth();
        if (std::abs(X - LeftMargin) < std::abs(X + RightMargin - Width))
            SetLeftMargin(X + DeltaX);
        else
            SetRightMargin(Width - X);
        GotoLocation(Location);
        Redraw();
        Update();
        DrawMarginLine(X);
    }
    UpdateMouseCursor(X, static_cast<int>(Y / CharHeight));
}

void TLinesViewer::EndMarginDrag() {
    MarginDragging = false;
    ReleaseCapture();
    KillTimer(GetHandle(), AutoScrollTimer);
    SetState(vsDragging, false);
    Redraw();
}

void TLinesViewer::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TFlickerFreeControl::MouseUp(Button, Shift, X, Y);
    if (MarginDragging) {
        EndMarginDrag();
        return;
    }
    if (ClickState == mcTriple || ClickState == mcQuad || State.Contains(vsMouseDown)) {
        if (ClickState == mcTriple && SelMode == smDouble) {
            SetSelection(LongPoint(0, LineNumber), LongPoint(LineLength, LineNumber), smExtend);
            Redraw();
        } else if (SelStart == SelEnd && !Shift.Contains(ssShift) && !Shift.Contains(ssAlt)) {
            ResetSelection(SelAnchor);
            Redraw();
        }
        ReleaseCapture();
        KillTimer(GetHandle(), AutoScrollTimer);
        SetState(vsMouseDown, false);
    } else if (Button == mbLeft && MouseOverSelection(X, Y)) {
        ResetSelection(ZeroPoint);
        Redraw();
    }
}

void TLinesViewer::WMTimer(TMessage& Message) {
    const HWND Wnd = GetHandle();
    switch (TWMTimer(Message).TimerID()) {
    case AutoScrollTimer: {
        const TPoint P = ScreenToClient(Wnd, GetCursorPos());
        MouseMove(GetShiftState(), P.X, P.Y);
        const int Width = GetClientWidth();
        const int Height = GetClientHeight();
        // How far the pointer is outside the client area.
        const int D = std::max({0, P.X - Width, P.Y - Height, -P.X, -P.Y});
        SetTimer(Wnd, AutoScrollTimer, AutoScrollInterval / (D / AutoScrollSpeedUp + 1));
        break;
    }
    case ClickResetTimer:
        ClickState = mcNone;
        KillTimer(Wnd, ClickResetTimer);
        break;
    default:
        TFlickerFreeControl::WMTimer(Message);
        return;
    }
    Message.Result = 0;
}

} // namespace kestrel
