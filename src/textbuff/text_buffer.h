// TTextBuffer, the root of the text containers, and the exception classes of the text unit.
#pragma once

#include "host/component.h"
#include "host/exceptions.h"
#include "host/global_memory.h"
#include "host/streams.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

KESTREL_DECLARE_EXCEPTION(ECharWidthError, Exception);
KESTREL_DECLARE_EXCEPTION(EFontInfoError, Exception);
KESTREL_DECLARE_EXCEPTION(EUndoError, Exception);
KESTREL_DECLARE_EXCEPTION(EInternalError, Exception);
KESTREL_DECLARE_EXCEPTION(EFindStringError, Exception);
KESTREL_DECLARE_EXCEPTION(EWriteProtectError, Exception);
KESTREL_DECLARE_EXCEPTION(EBookmarkError, Exception);
KESTREL_DECLARE_EXCEPTION(EMaxText, Exception);

/// The suffix of every internal error of the segment list and the edit stream.
inline constexpr const char* ResyncSuffix = " - Please save the file to resynchronise editor";

/// Raises EInternalError with Msg followed by ResyncSuffix.
[[noreturn]] void RaiseInternalError(const std::string& Msg);

/// A body of text of any length addressed by byte positions 0 .. TextSize - 1. Implements what
/// does not depend on where the bytes live: bookmarks, the modified flag, line-break tests and
/// copying; descendants supply the bytes through GetText.
///
/// The window: ValidStart .. ValidEnd (inclusive) is memory holding the bytes of a contiguous
/// range of positions. GetText(Pos) makes Pos fall inside it and returns the address of its byte,
/// so that a caller may walk forward up to ValidEnd; at the end of the text it returns the
/// address just after the window.
class TTextBuffer : public TComponent {
public:
    explicit TTextBuffer(TComponent* AOwner);
    ~TTextBuffer() override;

    /// Fires OnChange.
    virtual void DoOnChange();
    /// The address of the byte at Pos inside the window (see the class comment).
    virtual std::uint8_t* GetText(std::int64_t Pos) = 0;
    /// Fires OnModified.
    virtual void DoOnModified();
    /// Closes the current undo transaction.
    virtual void ClearLastUndoLink() = 0;
    /// Writes Count bytes from Pos to Stream, at Stream's position.
    virtual void CopyToStream(TStream* Stream, std::int64_t Pos, std::int64_t Count) = 0;
    /// Removes Count bytes at Pos.
    virtual void Delete(std::int64_t Pos, std::int64_t Count) = 0;
    /// Puts Count bytes before Pos (Pos may equal TextSize).
    virtual void Insert(const void* Buffer, std::int64_t Pos, std::int64_t Count) = 0;
    /// Inserts the zero-terminated text of a global memory block at Pos; returns its length.
    virtual std::int64_t InsertMem(HGLOBAL Handle, std::int64_t Pos) = 0;
    /// True for containers that can be edited.
    virtual bool IsEditable();
    /// Overwrites the byte at Pos.
    virtual void ReplaceChar(std::int64_t Pos, std::uint8_t Ch) = 0;
    /// Returns to the empty state; keeps the bookmarks when PreserveBookmarks is set.
    virtual void Reset();
    /// Redoes the last undone transaction; returns the lowest position that changed.
    virtual std::int64_t Redo() = 0;
    /// Undoes the last transaction; returns the lowest position that changed.
    virtual std::int64_t Undo() = 0;

    /// Changes the modified flag of an editable container and fires OnModified.
    void SetModified(bool Value);
    bool GetModified() const { return Modified; }
    std::int64_t GetTextSize() const { return TextSize; }
    std::uint8_t* GetValidStart() const { return ValidStart; }
    std::uint8_t* GetValidEnd() const { return ValidEnd; }
    /// Sets the window's first and last byte.
    void SetValidRange(std::uint8_t* Start, std::uint8_t* Finish);

    /// True when a line break (LF, or CR LF) begins at Pos; a CR LF pair answers at both bytes.
    bool LineBreakAt(std::int64_t Pos);
    /// The position of the last character before a line break that ends just before Pos;
    /// Pos itself when there is none.
    std::int64_t SkipBackOverLineBreak(std::int64_t Pos);
    /// Copies up to Count bytes from Pos to Dest; returns the number copied (fewer only when the
    /// text ends first). No terminating zero.
    std::int64_t CopyText(void* Dest, std::int64_t Pos, std::int64_t Count);
    /// CopyText into a global memory block (at most the block's size).
    void CopyToMem(HGLOBAL Handle, std::int64_t Pos, std::int64_t Count);
    void InsertString(const std::string& S, std::int64_t Pos);
    /// Inserts Count spaces at Pos with one Insert.
    void InsertSpaces(std::int64_t Pos, std::int64_t Count);

    /// Adds a bookmark at Pos (0 .. TextSize) and returns its handle.
    std::int64_t GetBookMarkHandle(std::int64_t Pos);
    /// The bookmark's position, or -1 for a handle out of range or deleted.
    std::int64_t GetBookMark(std::int64_t Handle) const;
    /// Deletes a bookmark; an out-of-range handle raises EBookmarkError.
    void DeleteBookMark(std::int64_t Handle);
    /// Moves the bookmarks at or after Pos by Delta. A negative Delta is a deletion of -Delta
    /// bytes at Pos: bookmarks inside it move to Pos.
    void UpdateBookMarks(std::int64_t Pos, std::int64_t Delta);
    /// Number of bookmark slots (live and deleted).
    std::int64_t GetBookMarkCount() const { return static_cast<std::int64_t>(Bookmarks.size()); }

    bool GetPreserveBookmarks() const { return PreserveBookmarks; }
    void SetPreserveBookmarks(bool Value) { PreserveBookmarks = Value; }
    bool GetOEMConvert() const { return OEMConvert; }
    /// Converts bytes from the OEM to the ANSI character set as they are read.
    virtual void SetOEMConvert(bool Value) { OEMConvert = Value; }
    std::int64_t GetMaxTextSize() const { return MaxTextSize; }
    /// Upper bound on TextSize; 0 or less means none.
    void SetMaxTextSize(std::int64_t Value) { MaxTextSize = Value; }

    const TNotifyEvent& GetOnChange() const { return OnChange; }
    void SetOnChange(TNotifyEvent Value) { OnChange = std::move(Value); }
    const TNotifyEvent& GetOnModified() const { return OnModified; }
    void SetOnModified(TNotifyEvent Value) { OnModified = std::move(Value); }

protected:
    /// The byte at Pos (0 <= Pos < TextSize).
    std::uint8_t ByteAt(std::int64_t Pos) { return *GetText(Pos); }

    TNotifyEvent OnChange;               // after every insertion, deletion, undo and redo
    TNotifyEvent OnModified;             // when Modified changes
    bool Modified = false;               // written only through SetModified
    std::int64_t TextSize = 0;           // >= 0
    std::uint8_t* ValidStart = nullptr;  // first byte of the window
    std::uint8_t* ValidEnd = nullptr;    // last byte of the window; ValidStart - 1 when empty
    std::vector<std::int64_t> Bookmarks; // index = handle; -1 = deleted; never ends with -1
    bool PreserveBookmarks = false;
    bool OEMConvert = false;
    std::int64_t MaxTextSize = 0;
};

} // namespace kestrel
