// TUndoInfo and TUndoList: recording, grouping and handing back undo records.
#include "textbuff/undo_list.h"

#include "macros/macros.h"
#include "textbuff/text_buffer.h"

namespace kestrel {

void TUndoInfo::Clear() {
    TSegmentList::Clear();
    Pos = 0;
    InsertCount = 0;
}

TUndoList::~TUndoList() {
    Items.clear();
}

void TUndoList::SetTransactionBoundary() {
    if (Top != nullptr && Top->Linked) {
        Top->Linked = false;
        if (++TransactionCount == 1)
            DoUndoChange();
    }
}

void TUndoList::ClearTransactionBoundary() {
    if (Top != nullptr && !Top->Linked) {
        --TransactionCount;
        Top->Linked = true;
        if (TransactionCount == 0)
            DoUndoChange();
    }
}

bool TUndoList::IsLinked() const {
    return Top != nullptr && Top->Linked;
}

void TUndoList::PushUndoStack(std::int64_t Pos) {
    if (MaxUndoLevels == 0)
        return;
    // A record that was started and then superseded leaves no trace but its caret position and
    // the modified flag from before the run it began.
    std::int64_t Carry = 0;
    bool Superseded = false;
    bool CarryModified = false;
    if (Top != nullptr && Top->IsEmpty()) {
        Carry = Top->CaretPos;
        CarryModified = Top->Modified;
        Superseded = true;
        PopUndoStack();
    }
    if (TransactionCount > 0 && TransactionCount >= MaxUndoLevels)
        DropOldestTransaction();

    bool Linked = false;
    std::unique_ptr<TUndoInfo> Record;
    if (OnSaveUndo) {
        bool Modified = false;
        std::int64_t CaretPos = Pos;
        std::int64_t SelStart = 0;
        std::int64_t SelEnd = 0;
        TSelModes SelMode = smNone;
        OnSaveUndo(Modified, CaretPos, SelStart, SelEnd, SelMode, Linked);
        CaretPos = max(CaretPos, Carry);
        if (Superseded)
            Modified = CarryModified;
        Record = std::make_unique<TUndoInfo>(Pos, CaretPos, SelStart, SelEnd, SelMode, Modified);
    } else {
        Record = std::make_unique<TUndoInfo>(Pos, Pos, 0, 0, smNone, true);
    }
    Items.push_front(std::move(Record));
    Top = Items.front().get();
    if (!Linked)
        SetTransactionBoundary();
}

std::unique_ptr<TUndoInfo> TUndoList::PopUndoStack() {
    if (Items.empty())
        return nullptr;
    ClearTransactionBoundary();
    std::unique_ptr<TUndoInfo> Record = std::move(Items.front());
    Items.pop_front();
    Top = Items.empty() ? nullptr : Items.front().get();
    return Record;
}

void TUndoList::SaveInsertInfo(std::int64_t Pos, std::int64_t Count) {
    if (MaxUndoLevels == 0)
        return;
    if (Top == nullptr || Pos < Top->Pos || Pos > Top->Pos + Top->InsertCount)
        PushUndoStack(Pos);
    Top->InsertCount += Count;
}

void TUndoList::SaveUndo(std::unique_ptr<TSegmentList> List, std::int64_t Pos) {
    if (MaxUndoLevels == 0)
        return; // List is destroyed: its inserted-text blocks go back to their free list
    if (Top == nullptr || Top->InsertCount > 0)
        PushUndoStack(Pos);
    TUndoInfo* T = Top;
    const std::int64_t N = List->GetSize();
    if (Pos + N == T->Pos) {
        // The deletion ends where T applies (backspacing): its bytes come before T's.
        T->Pos -= N;
        T->InsertListAfter(nullptr, std::move(List));
        return;
    }
    // Only a deletion at T's own position (forward deleting) continues T; bytes deleted
    // anywhere else were not next to T's in the original text.
    if (Pos != T->Pos) {
        PushUndoStack(Pos);
        T = Top;
    }
    T->InsertListAfter(T->GetTail(), std::move(List));
}

bool TUndoList::QueryUndo(std::int64_t& Pos, std::int64_t& RestoreCount,
                          std::int64_t& RemoveCount) {
    while (Top != nullptr && Top->IsEmpty())
        PopUndoStack();
    if (Top == nullptr)
        return false;
    Pos = Top->Pos;
    RestoreCount = Top->GetSize();
    RemoveCount = Top->InsertCount;
    return true;
}

std::unique_ptr<TUndoInfo> TUndoList::GetUndoList() {
    if (Items.empty())
        throw EUndoError("Nothing to Undo!");
    std::unique_ptr<TUndoInfo> Record = PopUndoStack();
    if (OnUndo)
        OnUndo(Record->Modified, Record->CaretPos, Record->SelStart, Record->SelEnd,
               Record->SelMode);
    return Record;
}

void TUndoList::AtFree(std::int64_t Index) {
    if (Index < 0 || Index >= GetCount())
        return;
    const auto It = Items.begin() + Index;
    if (!(*It)->Linked)
        --TransactionCount;
    Items.erase(It);
    Top = Items.empty() ? nullptr : Items.front().get();
}

void TUndoList::DropOldestTransaction() {
    while (!Items.empty() && Items.back()->Linked)
        AtFree(GetCount() - 1);
    AtFree(GetCount() - 1);
}

void TUndoList::Reset() {
    Items.clear();
    TransactionCount = 0;
    Top = nullptr;
    DoUndoChange();
}

void TUndoList::DoUndoChange() {
    if (OnUndoChange)
        OnUndoChange(this);
}

void TUndoList::SetMaxUndoLevels(std::int64_t Value) {
    MaxUndoLevels = max(0, Value);
    if (MaxUndoLevels == 0) {
        if (!Items.empty())
            Reset();
        return;
    }
    while (TransactionCount > MaxUndoLevels)
        DropOldestTransaction();
}

} // namespace kestrel
