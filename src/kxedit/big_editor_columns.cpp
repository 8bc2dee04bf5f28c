// TBigEditor: column blocks: inserting one row per display line at a pixel column, deleting the
// rows of a column selection, and moving or copying a block.
#include "kxedit/big_editor.h"

#include "fileview/viewer_scopes.h"
#include "host/scope_guard.h"

#include <algorithm>

namespace kestrel {

std::vector<std::pair<std::int64_t, std::int64_t>> TBigEditor::ColumnRows() {
    std::vector<std::pair<std::int64_t, std::int64_t>> Rows;
    if (!Buffer || SelMode != smColumn)
        return Rows;
    CountUpTo(SelEnd.Y); // the rows' numbers are exact once the count has passed them
    ForEachColumnRow(
        [&](std::int64_t Pos, std::int64_t Count) { Rows.emplace_back(Pos, Pos + Count); });
    return Rows;
}

std::int64_t TBigEditor::PadToPoint(const TLongPoint& Pt, std::int64_t& At) {
    ResetSelection(ZeroPoint);
    _SetCaretPos(Pt);
    const std::int64_t Before = GetTextSize();
    const std::int64_t P = GetInsertPos();
    const std::int64_t N = std::max<std::int64_t>(0, GetTextSize() - Before);
    At = std::max<std::int64_t>(0, P - N);
    return N;
}

std::int64_t TBigEditor::InsertColumnText(HGLOBAL Mem, std::int64_t Pos) {
    TEditStream* Stream = GetEditStream();
    if (Stream == nullptr)
        return 0;
    Pos = std::clamp<std::int64_t>(Pos, 0, GetTextSize());
    // The block's rows as the editor's own buffer would break them into display lines.
    std::vector<std::string> Pieces;
    {
        TEditStream Scratch(nullptr);
        // Whatever happens, the editor's buffer measures on the control's canvas again: the
        // scratch stream took it over.
        const TScopeExit Restore([this] { Buffer->SetCanvas(GetCanvas()); });
        Scratch.SetCanvas(GetCanvas());
        Scratch.SetMode(Buffer->GetMode());
        Scratch.SetMaxWidth(Buffer->GetMaxWidth());
        Scratch.SetTabCount(Buffer->GetTabCount());
        for (std::int64_t I = 0; I < Buffer->GetTabCount(); ++I)
            Scratch.SetTabStop(I, Buffer->GetTabStop(I));
        // Bounded by the block's size: a block without its terminating zero is read no further.
        if (Scratch.InsertMem(Mem, 0) <= 0)
            return 0;
        std::int64_t P = 0;
        for (;;) {
            const std::int64_t Start = P;
            std::int64_t W = 0;
            std::int64_t N = 0;
            const bool More = Scratch.GetNextLine(P, W, N);
            if (N > 0 || More)
                Pieces.push_back(Scratch.GetString(Start, N));
            if (!More || P <= Start)
                break;
        }
    }
    if (Pieces.empty())
        return 0;

    // Where the layout may change: from the line before the block's first line on.
    GotoPosition(Pos);
    std::int64_t Line = LineStart;
    const std::int64_t X = Buffer->GetDistanceBetween(LineStart, Pos);
    GotoPrevLine(); // (none before the first line: the anchor is the line itself)
    const std::int64_t AnchorStart = LineStart;
    const std::int64_t AnchorLine = MapLine;
    const std::int64_t AnchorPage = MapPage;
    ChangedFrom(AnchorStart); // the count goes back before the edits

    const bool Grouped = UndoGroupedByCaller();
    const TValueGuard<bool> Link(LinkUndo, true);
    const TLeaveScope Close([&] {
        if (!Grouped)
            Stream->ClearLastUndoLink();
    });
    const std::int64_t Space = std::max<std::int64_t>(1, Buffer->WidthOf(' '));
    std::int64_t R = 0;
    for (const std::string& Piece : Pieces) {
        std::int64_t Next = Line;
        std::int64_t W = 0;
        std::int64_t N = 0;
        Buffer->GetNextLine(Next, W, N);
        const std::int64_t Size0 = GetTextSize();
        std::int64_t Q = Line;
        if (W < X) {
            Q = Line + N;
            const std::int64_t Pad = (X - W) / Space;
            if (Pad > 0) {
                Buffer->InsertSpaces(Q, Pad);
                Q += GetTextSize() - Size0;
            }
        } else {
            std::int64_t Passed = 0;
            Buffer->GetCharAt(Q, X, Passed);
            Q = std::min(Q, Line + N);
        }
        const std::int64_t Size1 = GetTextSize();
        if (!Piece.empty())
            Buffer->Insert(Piece.data(), Q, static_cast<std::int64_t>(Piece.size()));
        R = Q + (GetTextSize() - Size1);
        if (GetTextSize() == Size1 && !Piece.empty())
            break; // refused (write protection, or no room left)
        if (R == GetTextSize()) {
            // A line for the next piece to go to.
            const std::int64_t Size2 = GetTextSize();
            Buffer->Insert(EditorLineBreak, R, 2);
            R += GetTextSize() - Size2;
        }
        const std::int64_t Grown = GetTextSize() - Size0;
        // The next piece goes to the display line that held what followed this one, or the
        // line after this piece's end when both now share a line: a row never runs into the
        // line of the row above.
        const std::int64_t Target = Next + Grown;
        std::int64_t S = Line;
        for (;;) {
            std::int64_t T = S;
            if (!Buffer->GetNextLine(T, W, N) || T > Target || T <= S)
                break;
            S = T;
        }
        if (S < R) {
            std::int64_t T = S;
            if (Buffer->GetNextLine(T, W, N) && T > S) {
                S = T;
            } else if (&Piece != &Pieces.back()) {
                // The last line holds this piece: the text gets a new line for the next one.
                const std::int64_t Size2 = GetTextSize();
                Buffer->Insert(EditorLineBreak, Size2, 2);
                if (GetTextSize() == Size2)
                    break;
                S = GetTextSize();
            }
        }
        // Page-break lines take no part of a block.
        while (S < GetTextSize() && ByteAt(S) == FF) {
            std::int64_t T = S;
            if (!Buffer->GetNextLine(T, W, N) || T <= S)
                break;
            S = T;
        }
        Line = S;
    }
    ResetSelection(ZeroPoint);
    RelayoutFrom(AnchorStart, AnchorLine, AnchorPage, R);
    return R;
}

std::int64_t TBigEditor::DeleteColumnText(const std::string& Text, bool Linked) {
    TEditStream* Stream = GetEditStream();
    if (Stream == nullptr)
        return 0;
    if (SelMode != smColumn)
        throw EInternalError("Not in Column Selection Mode");
    // Every row cut by the block's pixel edges within its own display line, all measured
    // before anything changes; then deleted from the bottom up, so the offsets above hold.
    const auto Rows = ColumnRows();
    if (Rows.empty())
        return 0;
    const TLongPoint Corner = SelStart;
    LocateLine(Corner.Y, false); // the first row's line
    GotoPrevLine();
    const std::int64_t AnchorStart = LineStart;
    const std::int64_t AnchorLine = MapLine;
    const std::int64_t AnchorPage = MapPage;
    ChangedFrom(AnchorStart);

    std::int64_t Total = 0;
    std::int64_t LastShift = 0; // what the rows above the last one added to its offset
    {
        const TLeaveScope Close([&] {
            if (!Linked)
                Stream->ClearLastUndoLink();
        });
        const TValueGuard<bool> Link(LinkUndo, true);
        for (std::size_t I = Rows.size(); I-- > 0;) {
            const auto [A, B] = Rows[I];
            const std::int64_t Before = GetTextSize();
            if (B > A)
                Buffer->Delete(A, B - A);
            if (GetTextSize() == Before && B > A)
                break; // refused
            if (!Text.empty())
                Buffer->Insert(Text.data(), A, static_cast<std::int64_t>(Text.size()));
            const std::int64_t Removed = Before - GetTextSize();
            Total += Removed;
            if (I + 1 < Rows.size())
                LastShift -= Removed;
        }
    }
    const std::int64_t Caret =
        Rows.back().first + LastShift + static_cast<std::int64_t>(Text.size());
    ResetSelection(ZeroPoint);
    RelayoutFrom(AnchorStart, AnchorLine, AnchorPage, Caret);
    SelAnchor = Corner;
    Redraw();
    return Total;
}

void TBigEditor::MoveColumns(std::int64_t Pos, bool Copy) {
    TEditStream* Stream = GetEditStream();
    if (Stream == nullptr)
        return;
    if (SelMode != smColumn)
        throw EInternalError("Not in Column Selection Mode");
    const TBusyModeScope Busy(*this, 0);
    const bool Grouped = UndoGroupedByCaller();
    const TValueGuard<bool> Link(LinkUndo, true);
    const TLeaveScope Close([&] {
        if (!Grouped)
            Stream->ClearLastUndoLink();
    });
    const auto Rows = ColumnRows();
    std::int64_t Size = 1;
    for (const auto& [A, B] : Rows)
        Size += B - A + 2;
    TGlobalHandleGuard Block(GlobalAlloc(GHND, Size));
    if (Block.Get() == nullptr)
        throw EOutOfMemory("Out of memory");
    {
        const TGlobalLockGuard Lock(Block.Get());
        auto* Out = static_cast<std::uint8_t*>(Lock.Get());
        std::int64_t W = 0;
        for (const auto& [A, B] : Rows) {
            W += Buffer->CopyText(Out + W, A, B - A);
            Out[W++] = CR;
            Out[W++] = LF;
        }
    }
    if (!Copy) {
        const TLongPoint Pt = _GetCaretPos();
        // A caret beyond its line's text keeps its place with spaces after the deletion. (One
        // within the text is not padded out to its old pixel column: text deleted before it
        // on its line would make a gap of spaces that nobody asked for.)
        SyncLineMap();
        const bool Beyond = CaretX > MapLineWidth;
        // Pos moves back by the bytes actually deleted before it, row by row.
        std::int64_t Shift = 0;
        for (const auto& [A, B] : Rows) {
            if (B <= Pos)
                Shift += B - A;
            else if (A < Pos)
                Shift += Pos - A; // inside a row of the block: its left edge
        }
        Pos -= Shift;
        DeleteColumnText(std::string(), true);
        std::int64_t At = 0;
        const std::int64_t N = Beyond ? PadToPoint(Pt, At) : 0;
        if (N > 0 && Pos >= At)
            Pos += N;
    }
    Pos = std::clamp<std::int64_t>(Pos, 0, GetTextSize());
    const std::int64_t E = InsertColumnText(Block.Get(), Pos);
    if (E <= 0)
        return;
    SelAnchor = OffsetToPoint(Pos);
    SetSelection(SelAnchor, OffsetToPoint(E), smColumn);
    PlaceCaret(E);
    Redraw();
}

} // namespace kestrel
