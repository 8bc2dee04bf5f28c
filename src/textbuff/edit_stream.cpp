// TEditStream: pending edits in the read window, saving them to the segment list, undo and redo.
#include "textbuff/edit_stream.h"

#include "host/exceptions.h"
#include "host/oem.h"
#include "macros/macros.h"

#include <cassert>
#include <cstring>

namespace kestrel {

TEditStream::TEditStream(TComponent* AOwner)
    : TTextStream(AOwner), InsertedText(std::make_unique<TMemoryBuffer>()),
      Segments(std::make_unique<TVirtualStreamList>()), UndoList(std::make_unique<TUndoList>()),
      RedoList(std::make_unique<TUndoList>()) {
    const auto Save = [this](bool& AModified, std::int64_t& CaretPos, std::int64_t& SelStart,
                             std::int64_t& SelEnd, TSelModes& SelMode, bool& Linked) {
        HandleSaveUndo(AModified, CaretPos, SelStart, SelEnd, SelMode, Linked);
    };
    const auto Restore = [this](bool AModified, std::int64_t CaretPos, std::int64_t SelStart,
                                std::int64_t SelEnd, TSelModes SelMode) {
        HandleUndo(AModified, CaretPos, SelStart, SelEnd, SelMode);
    };
    UndoList->SetOnSaveUndo(Save);
    RedoList->SetOnSaveUndo(Save);
    UndoList->SetOnUndo(Restore);
    RedoList->SetOnUndo(Restore);
}

TEditStream::~TEditStream() {
    // The lists first, so that discarded segments hand their blocks back before the store goes.
    Segments.reset();
    UndoList.reset();
    RedoList.reset();
    DerivedStreams.clear(); // they may hold blocks of the store too
    InsertedText.reset();
}

void TEditStream::CheckInvariants() const {
    assert(PendingInsert >= 0 && PendingDelete >= 0 && "negative pending counts");
    assert((PendingInsert == 0 && PendingDelete == 0) || EditPos >= 0);
    assert((PendingInsert == 0 ||
            (EditPos >= BufStart && EditPos - BufStart + PendingInsert <= BufCount)) &&
           "pending insertions lie outside the window");
    assert(TextSize == Segments->GetSize() - PendingDelete + PendingInsert &&
           "TextSize disagrees with the segments and the pending edit");
    assert(BufCount <= BufSize && (BufStart == -1 || BufStart + BufCount <= TextSize) &&
           "the window lies outside the text");
    assert(ValidStart == Buffer && ValidEnd == Buffer + BufCount - 1 && "stale valid range");
}

std::uint8_t* TEditStream::GetText(std::int64_t Pos) {
    if (Pos == TextSize && BufStart >= 0 && BufStart + BufCount == TextSize && BufCount < BufSize)
        return Buffer + BufCount;
    return TTextStream::GetText(Pos);
}

void TEditStream::GetBuffer(std::uint8_t* Dest, std::int64_t Pos, std::uint16_t Count) {
    SaveChanges();
    Segments->Seek(Pos);
    BufStart = Pos;
    BufCount = static_cast<std::uint16_t>(Segments->Read(Dest, Count));
    if (OEMConvert && BufCount > 0) {
        Segments->Seek(Pos);
        const TStreamSegment* S = Segments->GetCurrent();
        std::int64_t Offset = Segments->GetOffset();
        std::int64_t Done = 0;
        while (Done < BufCount && S != nullptr) {
            const std::int64_t N = min(BufCount - Done, S->Size - Offset);
            if (S->Stream == SourceStream.get())
                OemToCharBuffA(Dest + Done, Dest + Done, N);
            Done += N;
            S = S->Next;
            Offset = 0;
        }
    }
}

void TEditStream::ClearLastUndoLink() {
    UndoList->SetTransactionBoundary();
}

void TEditStream::CopyToStream(TStream* Stream, std::int64_t Pos, std::int64_t Count) {
    if (Pos < 0 || Count < 0)
        RaiseInternalError("CopyToStream with a negative position or count");
    SaveChanges();
    if (Count == 0)
        return;
    Segments->Seek(Pos);
    Segments->CopyToStream(Stream, Count);
}

void TEditStream::TruncateBuf(std::uint16_t NewCount) {
    if (NewCount < BufCount)
        BufCount = NewCount;
    SetValidRange(Buffer, Buffer + BufCount - 1);
}

void TEditStream::DiscardWindowFrom(std::int64_t Pos) {
    if (Pos >= BufStart + BufCount)
        return;
    if (Pos <= BufStart) {
        BufStart = Pos; // empty, and never beyond a text that may have become shorter
        TruncateBuf(0);
    } else {
        TruncateBuf(static_cast<std::uint16_t>(Pos - BufStart));
    }
}

void TEditStream::DoWriteProtect() {
    if (OnWriteProtect) {
        OnWriteProtect(this);
        return;
    }
    throw EWriteProtectError("Write protected!");
}

void TEditStream::Insert(const void* Data, std::int64_t Pos, std::int64_t Count) {
    if (ReadOnly) {
        DoWriteProtect();
        return;
    }
    if (Pos < 0 || Count < 0)
        RaiseInternalError("Insert with a negative position or count");
    if (Pos > TextSize)
        RaiseInternalError("Insert past End of File");
    if (MaxTextSize > 0)
        Count = min(Count, MaxTextSize - TextSize);
    if (Count <= 0)
        return;
    const auto* Src = static_cast<const std::uint8_t*>(Data);
    RedoList->Reset();
    if (Pos < EditPos || Pos > EditPos + PendingInsert) {
        SaveChanges();
        EditPos = Pos;
        UndoList->PushUndoStack(Pos);
    }
    std::uint8_t* P = GetText(Pos);
    const std::int64_t Index = P - Buffer;
    assert(EditPos >= BufStart && "the pending edit lies before the window");
    if (EditPos - BufStart + PendingInsert + Count < BufSize) {
        // The pending insertion grows in place; bytes pushed past the buffer leave the window.
        const std::int64_t Moved = max(0, min(BufCount - Index, BufSize - Index - Count));
        std::memmove(P + Count, P, static_cast<std::size_t>(Moved));
        std::memcpy(P, Src, static_cast<std::size_t>(Count));
        BufCount = static_cast<std::uint16_t>(min(BufSize, BufCount + Count));
        SetValidRange(Buffer, Buffer + BufCount - 1);
        TextSize += Count;
        PendingInsert += Count;
    } else if (EditPos > BufStart + Count) {
        // Room is made at the window's front: its first Count bytes leave it.
        std::memmove(Buffer, Buffer + Count, static_cast<std::size_t>(Index - Count));
        std::memcpy(Buffer + Index - Count, Src, static_cast<std::size_t>(Count));
        BufStart += Count;
        TextSize += Count;
        PendingInsert += Count;
    } else {
        // Too big for the window: saved straight to the segment list.
        SaveChanges();
        TruncateBuf(static_cast<std::uint16_t>(Pos - BufStart));
        Segments->Seek(Pos);
        Segments->Insert(InsertedText->SaveBuf(Src, Count));
        UndoList->SaveInsertInfo(Pos, Count);
        EditPos = Pos + Count;
        TextSize += Count;
    }
    CheckInvariants();
    SetModified(true);
    UpdateBookMarks(Pos, Count);
    DoOnChange();
}

void TEditStream::Delete(std::int64_t Pos, std::int64_t Count) {
    if (ReadOnly) {
        DoWriteProtect();
        return;
    }
    if (Pos < 0 || Count < 0)
        RaiseInternalError("Delete with a negative position or count");
    if (Pos + Count > TextSize)
        RaiseInternalError("Internal Error - Deletion passed End of File");
    if (Count == 0)
        return;
    RedoList->Reset();
    if (PendingInsert > 0 || Pos + Count < EditPos || Pos > EditPos) {
        SaveChanges();
        EditPos = Pos;
        UndoList->PushUndoStack(Pos);
    } else if (Pos != EditPos) {
        // The deletion reaches back over EditPos (backspacing): the record moves to Pos. The
        // superseded empty record is dropped by the list, keeping its caret position.
        UndoList->PushUndoStack(Pos);
    }
    // Take the window first: a refill saves the pending deletion while it is still at EditPos.
    std::uint8_t* P = GetText(Pos);
    EditPos = Pos;
    PendingDelete += Count;
    TextSize -= Count;
    UpdateBookMarks(Pos, -Count);
    const std::int64_t Index = Pos - BufStart;
    if (BufCount > Index + Count) {
        std::memmove(P, P + Count, static_cast<std::size_t>(BufCount - Index - Count));
        TruncateBuf(static_cast<std::uint16_t>(BufCount - Count));
    } else {
        TruncateBuf(static_cast<std::uint16_t>(Index));
    }
    CheckInvariants();
    SetModified(true);
    DoOnChange();
}

void TEditStream::ReplaceChar(std::int64_t Pos, std::uint8_t Ch) {
    if (ReadOnly) {
        DoWriteProtect();
        return;
    }
    if (Pos < 0 || Pos >= TextSize)
        RaiseInternalError("Replace outside the text");
    RedoList->Reset();
    if (Pos != EditPos + PendingInsert || PendingInsert != PendingDelete) {
        SaveChanges();
        EditPos = Pos;
        UndoList->PushUndoStack(Pos);
    }
    // Take the window before counting: a refill saves the run so far, and must not save a byte
    // that is not written yet.
    std::uint8_t* P = GetText(Pos);
    ++PendingInsert;
    ++PendingDelete;
    *P = Ch;
    ++LayoutGeneration; // the lines measured before may end elsewhere now
    CheckInvariants();
    SetModified(true);
}

void TEditStream::SaveChanges() {
    if (PendingDelete == 0 && PendingInsert == 0)
        return;
    Segments->Seek(EditPos);
    if (PendingDelete > 0) {
        std::unique_ptr<TSegmentList> Cut = Segments->Cut(PendingDelete);
        PendingDelete = 0; // before the undo list may call out
        UndoList->SaveUndo(std::move(Cut), EditPos);
    }
    if (PendingInsert > 0) {
        const std::int64_t Count = PendingInsert;
        Segments->Seek(EditPos);
        Segments->Insert(InsertedText->SaveBuf(Buffer + (EditPos - BufStart), Count));
        PendingInsert = 0;
        UndoList->SaveInsertInfo(EditPos, Count);
        EditPos += Count;
    }
    CheckInvariants();
}

void TEditStream::EndUndoRecord() {
    SaveChanges();
    EditPos = -1; // no edit continues from here: the next one pushes a record
}

std::int64_t TEditStream::InsertMem(HGLOBAL Handle, std::int64_t Pos) {
    TGlobalLockGuard Lock(Handle);
    if (Lock.Get() == nullptr)
        return 0;
    const auto* Text = static_cast<const char*>(Lock.Get());
    const auto Length =
        static_cast<std::int64_t>(strnlen(Text, static_cast<std::size_t>(GlobalSize(Handle))));
    Insert(Text, Pos, Length);
    return Length;
}

bool TEditStream::IsEditable() {
    return true;
}

std::int64_t TEditStream::Undo() {
    SaveChanges();
    if (GetUndoCount() <= 0)
        return 0;
    if (ReadOnly) {
        DoWriteProtect();
        return 0;
    }
    return UndoTransaction(*UndoList, *RedoList);
}

std::int64_t TEditStream::Redo() {
    if (GetRedoCount() <= 0)
        return 0;
    if (ReadOnly) {
        DoWriteProtect();
        return 0;
    }
    SaveChanges();
    return UndoTransaction(*RedoList, *UndoList);
}

std::int64_t TEditStream::UndoTransaction(TUndoList& From, TUndoList& To) {
    std::int64_t Lowest = TextSize;
    do {
        std::int64_t Pos = 0;
        std::int64_t RestoreCount = 0;
        std::int64_t RemoveCount = 0;
        if (!From.QueryUndo(Pos, RestoreCount, RemoveCount))
            continue;
        if (OnBeforeUndo)
            OnBeforeUndo(Pos);
        Lowest = min(Lowest, Pos);
        To.PushUndoStack(Pos);
        Segments->Seek(Pos);
        std::unique_ptr<TSegmentList> Removed = Segments->Cut(RemoveCount);
        // Keep the container consistent whenever a handler may look at it.
        TextSize -= RemoveCount;
        DiscardWindowFrom(Pos);
        To.SaveUndo(std::move(Removed), Pos);
        To.ClearTransactionBoundary();
        std::unique_ptr<TUndoInfo> Record = From.GetUndoList();
        Segments->Seek(Pos);
        Segments->InsertSegmentList(std::move(Record));
        TextSize += RestoreCount;
        DiscardWindowFrom(Pos);
        To.SaveInsertInfo(Pos, RestoreCount);
        UpdateBookMarks(Pos, RestoreCount - RemoveCount);
        EditPos = -1;
        CheckInvariants();
        if (OnAfterUndo)
            OnAfterUndo(this);
    } while (From.IsLinked());
    To.SetTransactionBoundary();
    DoOnChange();
    return Lowest;
}

void TEditStream::SetSourceStream(TStream* Stream) {
    // What may fail is done before the inherited call adopts the stream: the size is read (a
    // stream that cannot seek fails here, still the caller's) and the memory is taken.
    const std::int64_t Size = Stream != nullptr ? Stream->GetSize() : 0;
    auto Whole = Stream != nullptr ? std::make_unique<TStreamSegment>(Stream, 0, Size) : nullptr;
    auto Store = std::make_unique<TMemoryBuffer>();
    TTextStream::SetSourceStream(Stream);
    // The derived streams hold blocks of the old store and read the old source.
    DerivedStreams.clear();
    // The new text is in place before any event handler may look at it.
    PendingDelete = 0;
    PendingInsert = 0;
    EditPos = -1;
    Segments->Clear();
    if (Whole)
        Segments->Insert(std::move(Whole));
    UndoList->Reset();
    RedoList->Reset();
    // Nothing refers to the inserted bytes any more: a new store gives their memory back.
    InsertedText = std::move(Store);
    SetModified(false);
    CheckInvariants();
}

void TEditStream::HandleSaveUndo(bool& AModified, std::int64_t& CaretPos, std::int64_t& SelStart,
                                 std::int64_t& SelEnd, TSelModes& SelMode, bool& Linked) {
    if (OnSaveUndo)
        OnSaveUndo(CaretPos, SelStart, SelEnd, SelMode, Linked);
    AModified = Modified;
}

void TEditStream::HandleUndo(bool AModified, std::int64_t CaretPos, std::int64_t SelStart,
                             std::int64_t SelEnd, TSelModes SelMode) {
    if (OnUndo)
        OnUndo(CaretPos, SelStart, SelEnd, SelMode);
    SetModified(AModified);
}

std::int64_t TEditStream::GetMaxUndoLevels() const {
    return UndoList->GetMaxUndoLevels();
}

void TEditStream::SetMaxUndoLevels(std::int64_t Value) {
    SaveChanges();
    UndoList->SetMaxUndoLevels(Value);
    // The redo list keeps as many: undoing everything and redoing it gives the text back.
    RedoList->SetMaxUndoLevels(Value);
}

std::int64_t TEditStream::GetUndoCount() const {
    return UndoList->GetTransactionCount();
}

std::int64_t TEditStream::GetRedoCount() const {
    return RedoList->GetTransactionCount();
}

TNotifyEvent TEditStream::GetOnUndoChange() const {
    return UndoList ? UndoList->GetOnUndoChange() : TNotifyEvent();
}

void TEditStream::SetOnUndoChange(TNotifyEvent Value) {
    UndoList->SetOnUndoChange(Value);
    RedoList->SetOnUndoChange(std::move(Value));
}

} // namespace kestrel
