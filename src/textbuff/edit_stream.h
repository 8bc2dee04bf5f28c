// TEditStream: the editable text container, a piece table over the source with undo and redo.
#pragma once

#include "textbuff/match_list.h"
#include "textbuff/segment_list.h"
#include "textbuff/text_stream.h"
#include "textbuff/text_types.h"
#include "textbuff/undo_list.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrel {

/// Asks for the caret and selection to store in a new undo or redo record, and whether the record
/// stays open so that the next one joins its transaction.
using TSaveUndoEvent = std::function<void(std::int64_t& CaretPos, std::int64_t& SelStart,
                                          std::int64_t& SelEnd, TSelModes& SelMode, bool& Linked)>;
/// Tells the caret and selection stored in a record applied by undo or redo.
using TUndoEvent = std::function<void(std::int64_t CaretPos, std::int64_t SelStart,
                                      std::int64_t SelEnd, TSelModes SelMode)>;
/// Fired before each record of an undo or redo is applied, with its position.
using TBeforeUndoEvent = std::function<void(std::int64_t Pos)>;

/// The editable text. The source stream is never written: the text is the segment list
/// Segments, which starts as one segment over the whole source, with inserted bytes kept in
/// InsertedText. Small edits at one place (typing, backspacing, forward deleting, overwriting)
/// are kept as a pending edit in the read window and saved to Segments in one step when the edit
/// moves elsewhere, when the window slides, or before anything reads Segments. Every saved change
/// is recorded on the undo list; undo and redo move whole transactions between the two lists.
class TEditStream : public TTextStream {
public:
    explicit TEditStream(TComponent* AOwner);
    ~TEditStream() override;

    /// At the end of a window that ends the text and is not full, the address after the window,
    /// so that typing at the end extends it in place.
    std::uint8_t* GetText(std::int64_t Pos) override;
    /// Closes the open undo transaction.
    void ClearLastUndoLink() override;
    /// Writes Count bytes of the text from Pos to Stream (stored bytes, not converted).
    void CopyToStream(TStream* Stream, std::int64_t Pos, std::int64_t Count) override;
    /// Removes Count bytes at Pos. Refused on a read-only stream (DoWriteProtect).
    void Delete(std::int64_t Pos, std::int64_t Count) override;
    /// Inserts Count bytes before Pos, fewer when MaxTextSize leaves less room. Refused on a
    /// read-only stream (DoWriteProtect).
    void Insert(const void* Buffer, std::int64_t Pos, std::int64_t Count) override;
    /// Inserts the zero-terminated text of a global memory block (at most the block's size);
    /// returns its length, 0 when the block cannot be locked.
    std::int64_t InsertMem(HGLOBAL Handle, std::int64_t Pos) override;
    bool IsEditable() override;
    /// Overwrites the byte at Pos (0 <= Pos < TextSize); fires no OnChange and moves no
    /// bookmarks. Refused on a read-only stream (DoWriteProtect).
    void ReplaceChar(std::int64_t Pos, std::uint8_t Ch) override;
    /// Redoes the last undone transaction; returns the lowest position changed (0 when none).
    std::int64_t Redo() override;
    /// Undoes the last transaction; returns the lowest position changed (0 when none).
    std::int64_t Undo() override;
    using TTextStream::SetSourceStream;
    /// Attaches the source (see TTextStream) as one segment and empties both undo lists.
    void SetSourceStream(TStream* Stream) override;

    /// Saves the pending edit to Segments and the undo list.
    void SaveChanges();
    /// Saves the pending edit and ends its undo record: the next edit starts a record of its
    /// own, even where it continues this one's text (an insertion that must be taken back
    /// alone).
    void EndUndoRecord();
    /// Replaces, as one undo record at Pos, the PatternLength-byte occurrences that start at the
    /// ascending, disjoint offsets Matches (relative to Pos, inside the Count bytes at Pos) by
    /// Replacement. Nothing is copied: the range is kept as it was and read through the
    /// replacements, so memory grows by a few bytes per match. Refused on a read-only stream.
    /// Returns the bytes the text grew by (negative: shrank).
    std::int64_t ReplaceMatches(std::int64_t Pos, std::int64_t Count, TMatchList Matches,
                                std::int64_t PatternLength, const std::string& Replacement);

    std::int64_t GetMaxUndoLevels() const;
    /// The limit of both lists (transactions kept for undo, and for redo); 0 empties both.
    void SetMaxUndoLevels(std::int64_t Value);
    std::int64_t GetUndoCount() const;
    std::int64_t GetRedoCount() const;
    bool GetReadOnly() const { return ReadOnly; }
    void SetReadOnly(bool Value) { ReadOnly = Value; }

    /// The undo list's handler; setting it sets it on both lists (Sender is the list).
    TNotifyEvent GetOnUndoChange() const;
    void SetOnUndoChange(TNotifyEvent Value);
    const TSaveUndoEvent& GetOnSaveUndo() const { return OnSaveUndo; }
    void SetOnSaveUndo(TSaveUndoEvent Value) { OnSaveUndo = std::move(Value); }
    const TUndoEvent& GetOnUndo() const { return OnUndo; }
    void SetOnUndo(TUndoEvent Value) { OnUndo = std::move(Value); }
    const TNotifyEvent& GetOnAfterUndo() const { return OnAfterUndo; }
    void SetOnAfterUndo(TNotifyEvent Value) { OnAfterUndo = std::move(Value); }
    const TBeforeUndoEvent& GetOnBeforeUndo() const { return OnBeforeUndo; }
    void SetOnBeforeUndo(TBeforeUndoEvent Value) { OnBeforeUndo = std::move(Value); }
    const TNotifyEvent& GetOnWriteProtect() const { return OnWriteProtect; }
    void SetOnWriteProtect(TNotifyEvent Value) { OnWriteProtect = std::move(Value); }

    // The parts, for diagnostics and tests.
    const TVirtualStreamList& GetSegments() const { return *Segments; }
    const TMemoryBuffer& GetInsertedText() const { return *InsertedText; }
    const TUndoList& GetUndoList() const { return *UndoList; }
    const TUndoList& GetRedoList() const { return *RedoList; }
    std::int64_t GetEditPos() const { return EditPos; }
    std::int64_t GetPendingInsert() const { return PendingInsert; }
    std::int64_t GetPendingDelete() const { return PendingDelete; }

protected:
    /// Saves the pending edit, then reads the window from Segments. With OEMConvert only bytes
    /// of the source are converted: inserted bytes are already in the ANSI set.
    void GetBuffer(std::uint8_t* Dest, std::int64_t Pos, std::uint16_t Count) override;
    void FlushWindow() override { SaveChanges(); }

    /// Shortens the window to NewCount bytes.
    void TruncateBuf(std::uint16_t NewCount);
    /// Fires OnWriteProtect, or raises EWriteProtectError "Write protected!" when none is set.
    void DoWriteProtect();
    /// The lists' save callback: OnSaveUndo, and the modified flag before the edit.
    void HandleSaveUndo(bool& AModified, std::int64_t& CaretPos, std::int64_t& SelStart,
                        std::int64_t& SelEnd, TSelModes& SelMode, bool& Linked);
    /// The lists' undo callback: OnUndo, then the stored modified flag.
    void HandleUndo(bool AModified, std::int64_t CaretPos, std::int64_t SelStart,
                    std::int64_t SelEnd, TSelModes SelMode);
    /// Applies the top transaction of From, recording its inverse on To; returns the lowest
    /// position changed.
    std::int64_t UndoTransaction(TUndoList& From, TUndoList& To);

    /// The window no longer holds anything at or after Pos.
    void DiscardWindowFrom(std::int64_t Pos);
    /// Asserts the invariants of the pending edit and the window (debug builds).
    void CheckInvariants() const;

    // The text is Segments[0 .. EditPos), then PendingInsert bytes held in Buffer at index
    // EditPos - BufStart, then Segments from EditPos + PendingDelete on; so
    // TextSize = Segments size - PendingDelete + PendingInsert. A deletion is never added while
    // insertions are pending.
    std::unique_ptr<TMemoryBuffer> InsertedText; // declared first: outlives every segment
    std::unique_ptr<TVirtualStreamList> Segments;
    std::unique_ptr<TUndoList> UndoList;
    std::unique_ptr<TUndoList> RedoList;
    std::int64_t EditPos = -1;      // position of the pending edit; -1 when none
    std::int64_t PendingInsert = 0; // >= 0; those bytes lie inside the window
    std::int64_t PendingDelete = 0; // >= 0
    bool ReadOnly = false;
    TSaveUndoEvent OnSaveUndo;
    TUndoEvent OnUndo;
    TNotifyEvent OnAfterUndo;
    TBeforeUndoEvent OnBeforeUndo;
    TNotifyEvent OnWriteProtect;
    // Read-only streams made by ReplaceMatches, which segments of the text and of both lists
    // read; declared last so that they go before the lists (and the inserted-text store they may
    // hold blocks of), and dropped when the source changes.
    std::vector<std::unique_ptr<TStream>> DerivedStreams;
};

} // namespace kestrel
