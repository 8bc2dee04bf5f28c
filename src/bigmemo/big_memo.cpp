// TBigMemo and TBigMemoStrings.
#include "bigmemo/big_memo.h"

#include "host/oem.h"
#include "host/scope_guard.h"

#include <algorithm>
#include <cstring>

namespace kestrel {

// ---- TBigMemoStrings ----------------------------------------------------------------------

std::string TBigMemoStrings::Get(std::int64_t Index) const {
    return Memo->GetString(Index, 0, Memo->GetLineLength(Index));
}

std::int64_t TBigMemoStrings::GetCount() const {
    Memo->CompleteLineCount();
    return Memo->GetLineCount();
}

void TBigMemoStrings::Clear() {
    Memo->Clear();
}

void TBigMemoStrings::Delete(std::int64_t Index) {
    Memo->CompleteLineCount();
    Memo->DeleteLine(Index);
}

void TBigMemoStrings::Insert(std::int64_t Index, const std::string& S) {
    Memo->CompleteLineCount();
    Memo->InsertLine(Index, S);
}

void TBigMemoStrings::LoadFromStream(TStream* Stream) {
    Memo->LoadFromStream(Stream);
}

void TBigMemoStrings::SaveToStream(TStream* Stream) {
    Memo->CopyToStream(Stream);
}

// ---- TBigMemo -----------------------------------------------------------------------------

TBigMemo::TBigMemo(TComponent* AOwner)
    : TBigEditor(AOwner), Lines(std::make_unique<TBigMemoStrings>(this)) {
    SetBuffer(new TEditStream(nullptr)); // the viewer's Buffer owns it
    GetBuffer()->SetCanvas(GetCanvas());
    SetControlStyle(GetControlStyle() + TControlStyle{csFramed});
    SetBorderStyle(bsSingle);
    SetAutoScroll(true);
    SetAutoIdle(true);
    SetWPMode(true);
}

TBigMemo::~TBigMemo() = default;

void TBigMemo::CompleteLineCount() {
    if (!GetCountComplete())
        CompleteCount();
}

std::int64_t TBigMemo::GetLineCount() {
    const std::int64_t Size = GetTextSize();
    if (Size == 0)
        return 0;
    return ByteAt(Size - 1) == '\n' ? LastLine : LastLine + 1;
}

// Lines are found by their exact numbers: from the count's checkpoints, not walked to.
std::int64_t TBigMemo::GetLineLength(std::int64_t Index) {
    LocateLineExactly(Index);
    return MapLineLength;
}

void TBigMemo::DeleteLine(std::int64_t Index) {
    LocateLineExactly(Index);
    // From the line's own start, the line with its break: whatever the caret's line is.
    const std::int64_t Start = LineStart;
    const std::int64_t Count = NextLineStart - LineStart;
    if (Count > 0)
        Delete(Start, Count);
}

void TBigMemo::InsertLine(std::int64_t Index, const std::string& S) {
    // Disabled while it works; enabled afterwards on every path, also when it was disabled.
    SetEnabled(false);
    const TScopeExit Enable([this] { SetEnabled(true); });
    LocateLineExactly(Index);
    std::string Line = S;
    if (GetOEMConvert())
        OemToCharBuffA(Line.data(), Line.data(), static_cast<std::int64_t>(Line.size()));
    // A line that does not follow a line break (the unterminated last line, or a wrapped piece)
    // is split first. Line 0 and a text of one line start at offset 0: nothing comes before.
    std::string T = Line + EditorLineBreak;
    const std::int64_t At = LineStart;
    if (Index != 0 && At > 0 && ByteAt(At - 1) != '\n')
        T = EditorLineBreak + T;
    // Through the editor's own insertion, which keeps the map, the count and the caret in step
    // with the text (the caret goes after the new line).
    PlaceCaret(At);
    SyncLineMap();
    InsertAt(At, T.data(), static_cast<std::int64_t>(T.size()));
    Redraw();
}

template <typename F> auto TBigMemo::OnSelection(F Action, bool Repaint) {
    // A selection hidden by the loss of the focus is still there while vsSelection says so;
    // one the text has lost meanwhile (an edit, a new text) stays gone.
    const bool Shown = SelMode != smNone;
    if (!Shown && HiddenSelMode != smNone && State.Contains(vsSelection))
        SelMode = HiddenSelMode;
    HiddenSelMode = smNone;
    const TScopeExit Hide([this, Shown, Repaint] { HideUnfocused(Shown || Repaint); });
    return Action();
}

void TBigMemo::HideUnfocused(bool Repaint) {
    if (!HideSelection || SelMode == smNone || Focused())
        return;
    HiddenSelMode = SelMode;
    SelMode = smNone;
    if (Repaint)
        Redraw();
}

std::int64_t TBigMemo::GetSelStart() {
    return TextOffset(SelStart);
}

void TBigMemo::SetSelStart(std::int64_t Value) {
    const TLongPoint P = OffsetToPoint(Value);
    OnSelection([&] {
        if (SelMode != smNone) {
            SetSelection(P, SelEnd, SelMode);
            Redraw();
        } else {
            // Stored with its offset, which a later selection from it is measured by.
            SelStart = P;
            SelStartOffset = TextOffset(P);
        }
    });
}

std::int64_t TBigMemo::GetSelLength() {
    return OnSelection([this] { return GetSelectionSize(); }, false);
}

void TBigMemo::SetSelLength(std::int64_t Value) {
    OnSelection([&] {
        if (Value == GetSelectionSize())
            return;
        const TLongPoint Start = SelStart;
        SetSelection(Start, OffsetToPoint(TextOffset(Start) + Value), smExtend);
        Redraw();
    });
}

std::string TBigMemo::GetSelText() {
    return OnSelection([this] { return GetSelection(); }, false);
}

void TBigMemo::SetSelText(const std::string& Value) {
    OnSelection([&] {
        DeleteSelection();
        if (SelMode == smColumn && State.Contains(vsSelection))
            return; // the block could not be deleted: nothing is inserted in its place
        const std::int64_t Before = GetTextSize();
        InsertString(Value);
        // The inserted bytes end at the caret (padding, if any, lies before them).
        const TLongPoint Caret = LongPoint(CharNumber, LineNumber);
        const std::int64_t End = TextOffset(Caret);
        const std::int64_t Count =
            std::min<std::int64_t>(static_cast<std::int64_t>(Value.size()), GetTextSize() - Before);
        SelAnchor = OffsetToPoint(End - Count);
        SetSelection(SelAnchor, OffsetToPoint(End), Count > 0 ? smExtend : smNone);
        Redraw();
    });
}

void TBigMemo::SetSelTextBuf(const char* Buffer) {
    SetSelText(Buffer);
}

void TBigMemo::ClearSelection() {
    OnSelection([this] { DeleteSelection(); });
}

std::int64_t TBigMemo::GetSelTextBuf(std::uint8_t* Buffer, std::int64_t BufSize) {
    return OnSelection([&] { return CopySelText(Buffer, BufSize); }, false);
}

std::int64_t TBigMemo::CopySelText(std::uint8_t* Buffer, std::int64_t BufSize) {
    if (SelMode == smNone || BufSize <= 0)
        return 0;
    std::int64_t N = 0;
    const std::int64_t Room = BufSize - 1;
    if (SelMode != smColumn) {
        N = std::min(GetSelectionSize(), Room);
        GetBuffer()->CopyText(Buffer, std::min(SelStartOffset, SelEndOffset), N);
    } else {
        // Each row's bytes and a CR LF, straight into the buffer as far as it reaches.
        ForEachColumnRow([&](std::int64_t Pos, std::int64_t Count) {
            const std::int64_t Take = std::min(Count, Room - N);
            if (Take > 0)
                N += GetBuffer()->CopyText(Buffer + N, Pos, Take);
            for (const char C : {'\r', '\n'})
                if (N < Room)
                    Buffer[N++] = static_cast<std::uint8_t>(C);
        });
    }
    Buffer[N] = 0;
    return N;
}

bool TBigMemo::FindNext(TFindDialog* Dialog) {
    return OnSelection([&] { return TBigEditor::FindNext(Dialog); });
}

void TBigMemo::WMCut(TMessage& Message) {
    OnSelection([&] { TBigEditor::WMCut(Message); });
}

void TBigMemo::WMCopy(TMessage& Message) {
    OnSelection([&] { TBigEditor::WMCopy(Message); }, false);
}

void TBigMemo::WMPaste(TMessage& Message) {
    OnSelection([&] { TBigEditor::WMPaste(Message); });
}

void TBigMemo::WMClear(TMessage& Message) {
    OnSelection([&] { TBigEditor::WMClear(Message); });
}

void TBigMemo::SetScrollBars(TScrollStyle Value) {
    ScrollBars = Value;
    GetHorzScrollBar()->SetVisible(Value == ssHorizontal || Value == ssBoth);
    GetVertScrollBar()->SetVisible(Value == ssVertical || Value == ssBoth);
}

void TBigMemo::SetBorderStyle(TBorderStyle Value) {
    BorderStyle = Value;
    if (Value == bsSingle) {
        SetBorder_Style(bs_thin);
        SetControlStyle(GetControlStyle() + TControlStyle{csFixedHeight});
    } else {
        SetBorder_Style(bs_none);
        SetControlStyle(GetControlStyle() - TControlStyle{csFixedHeight});
    }
}

void TBigMemo::SetHideSelection(bool Value) {
    if (Value == HideSelection)
        return;
    HideSelection = Value;
    if (Focused())
        return;
    if (Value) {
        HiddenSelMode = SelMode;
        if (SelMode != smNone) {
            SelMode = smNone;
            Redraw();
        }
    } else if (HiddenSelMode != smNone && State.Contains(vsSelection)) {
        SelMode = HiddenSelMode;
        HiddenSelMode = smNone;
        Redraw();
    } else {
        HiddenSelMode = smNone;
    }
}

void TBigMemo::DoKillFocus() {
    if (HideSelection && SelMode != smNone) {
        HiddenSelMode = SelMode;
        SelMode = smNone;
        Redraw();
    } else {
        HiddenSelMode = smNone;
    }
    TBigEditor::DoKillFocus();
}

void TBigMemo::DoSetFocus() {
    if (HideSelection && HiddenSelMode != smNone && State.Contains(vsSelection)) {
        SelMode = HiddenSelMode;
        Redraw();
    }
    HiddenSelMode = smNone;
    TBigEditor::DoSetFocus();
}

void TBigMemo::WMGetDlgCode(TMessage& Message) {
    TBigEditor::WMGetDlgCode(Message);
    if (!WantReturns)
        Message.Result &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS);
}

void TBigMemo::CMWantSpecialKey(TMessage& Message) {
    if (WantReturns || LOWORD(Message.WParam) != VK_RETURN)
        TBigEditor::CMWantSpecialKey(Message);
    else
        Message.Result = 0;
}

} // namespace kestrel
