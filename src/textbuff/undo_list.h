// The undo list: undo records grouped into transactions, with a bound on the transactions kept.
#pragma once

#include "host/object.h"
#include "textbuff/segment_list.h"
#include "textbuff/text_types.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

namespace kestrel {

/// Asks the owner for the state to store in a new record; Linked keeps the record open so that
/// the next record joins its transaction.
using TUndoSaveUndoEvent =
    std::function<void(bool& Modified, std::int64_t& CaretPos, std::int64_t& SelStart,
                       std::int64_t& SelEnd, TSelModes& SelMode, bool& Linked)>;
/// Tells the owner the state stored in a record taken for undoing.
using TUndoUndoEvent =
    std::function<void(bool Modified, std::int64_t CaretPos, std::int64_t SelStart,
                       std::int64_t SelEnd, TSelModes SelMode)>;

/// How to turn the text back at one place: remove InsertCount bytes at Pos, then put back the
/// segments of this list (the deleted bytes) there; plus the caret, selection and modified state
/// to restore.
class TUndoInfo : public TSegmentList {
public:
    TUndoInfo(std::int64_t APos, std::int64_t ACaretPos, std::int64_t ASelStart,
              std::int64_t ASelEnd, TSelModes ASelMode, bool AModified)
        : Pos(APos), CaretPos(ACaretPos), SelStart(ASelStart), SelEnd(ASelEnd), SelMode(ASelMode),
          Modified(AModified) {}

    /// Disposes of the segments; Pos and InsertCount become 0.
    void Clear() override;
    /// True when the record neither removes nor restores anything.
    bool IsEmpty() const { return Head == nullptr && InsertCount == 0; }

    std::int64_t Pos;             // where the record applies
    std::int64_t CaretPos;        // caret to restore
    std::int64_t InsertCount = 0; // bytes inserted at Pos that undoing removes
    std::int64_t SelStart;
    std::int64_t SelEnd;
    TSelModes SelMode;
    bool Modified;      // the container's modified flag before the edit
    bool Linked = true; // open, or joined to the record pushed after it; false closes a transaction
};

/// A stack of undo records (item 0 the newest) grouped into transactions: a transaction is a run
/// of records whose newest has Linked false and whose older ones have Linked true. At most
/// MaxUndoLevels closed transactions are kept, plus an open one at the top. The same class serves
/// as the redo list.
class TUndoList : public TObject {
public:
    TUndoList() = default;
    /// Destroys the records without firing OnUndoChange (its handler may be going away too).
    ~TUndoList() override;

    /// Closes the top record's transaction.
    void SetTransactionBoundary();
    /// Re-opens the top record.
    void ClearTransactionBoundary();
    /// True when the top record is open or joined to a newer one.
    bool IsLinked() const;
    /// Starts a new record at Pos (see the class's users for when).
    void PushUndoStack(std::int64_t Pos);
    /// Removes the top record and hands it over; nullptr on an empty list.
    std::unique_ptr<TUndoInfo> PopUndoStack();
    /// Records Count bytes inserted at Pos, in the top record when Pos lies in its insertion.
    void SaveInsertInfo(std::int64_t Pos, std::int64_t Count);
    /// Records the bytes List cut from the text at Pos (consumes List).
    void SaveUndo(std::unique_ptr<TSegmentList> List, std::int64_t Pos);
    /// Drops empty top records; then false on an empty list, otherwise the top record's position
    /// and the bytes it restores and removes.
    bool QueryUndo(std::int64_t& Pos, std::int64_t& RestoreCount, std::int64_t& RemoveCount);
    /// Pops the top record for undoing and fires OnUndo; EUndoError "Nothing to Undo!" when empty.
    std::unique_ptr<TUndoInfo> GetUndoList();
    /// Destroys record Index (returning its inserted-text blocks to their free list).
    void AtFree(std::int64_t Index);
    /// Destroys every record and fires OnUndoChange.
    void Reset();
    void DoUndoChange();

    std::int64_t GetMaxUndoLevels() const { return MaxUndoLevels; }
    /// 0 (or less) disables the list and empties it; a lower limit drops the oldest transactions
    /// beyond it at once.
    void SetMaxUndoLevels(std::int64_t Value);
    std::int64_t GetTransactionCount() const { return TransactionCount; }
    std::int64_t GetCount() const { return static_cast<std::int64_t>(Items.size()); }
    TUndoInfo* GetTop() const { return Top; }
    TUndoInfo* GetItem(std::int64_t Index) const {
        return Items[static_cast<std::size_t>(Index)].get();
    }

    const TUndoSaveUndoEvent& GetOnSaveUndo() const { return OnSaveUndo; }
    void SetOnSaveUndo(TUndoSaveUndoEvent Value) { OnSaveUndo = std::move(Value); }
    const TUndoUndoEvent& GetOnUndo() const { return OnUndo; }
    void SetOnUndo(TUndoUndoEvent Value) { OnUndo = std::move(Value); }
    const TNotifyEvent& GetOnUndoChange() const { return OnUndoChange; }
    void SetOnUndoChange(TNotifyEvent Value) { OnUndoChange = std::move(Value); }

private:
    /// Destroys the oldest transaction (its linked records and the record that closes it).
    void DropOldestTransaction();

    std::deque<std::unique_ptr<TUndoInfo>> Items; // item 0 is the newest
    TUndoInfo* Top = nullptr;                     // Items[0], or nullptr when empty
    std::int64_t MaxUndoLevels = 10;              // >= 0; 0 disables the list
    std::int64_t TransactionCount = 0;            // records with Linked false
    TUndoSaveUndoEvent OnSaveUndo;
    TUndoUndoEvent OnUndo;
    TNotifyEvent OnUndoChange; // when transactions become available or none are left
};

} // namespace kestrel
