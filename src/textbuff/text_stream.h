// TTextStream: the read-only text container over a source stream, read through a sliding buffer.
#pragma once

#include "host/streams.h"
#include "textbuff/lines_buffer.h"

#include <cstdint>
#include <memory>

namespace kestrel {

/// A read-only text over a source stream of any size. It holds one window of at most BufSize
/// bytes of the source and slides it, with a quarter-buffer overlap, when a position outside it
/// is asked for. The source is read only when a window is filled.
class TTextStream : public TLinesBuffer {
public:
    explicit TTextStream(TComponent* AOwner);
    ~TTextStream() override;

    /// The address of the byte at Pos (0 <= Pos <= TextSize) inside the window. Raises
    /// EReadError when the source delivers fewer bytes than the window needs (it shrank while
    /// attached), so that no caller walks past the bytes actually read.
    std::uint8_t* GetText(std::int64_t Pos) override;
    /// Copies Count bytes of the source from Pos to Stream (the stored bytes, not converted).
    void CopyToStream(TStream* Stream, std::int64_t Pos, std::int64_t Count) override;
    /// Clears the bookmarks (unless preserved) and detaches the source.
    void Reset() override;

    // A text stream cannot be edited: these raise EAbstractError.
    void ClearLastUndoLink() override;
    void Delete(std::int64_t Pos, std::int64_t Count) override;
    void Insert(const void* Buffer, std::int64_t Pos, std::int64_t Count) override;
    std::int64_t InsertMem(HGLOBAL Handle, std::int64_t Pos) override;
    void ReplaceChar(std::int64_t Pos, std::uint8_t Ch) override;
    std::int64_t Redo() override;
    std::int64_t Undo() override;

    /// Attaches Stream as the source, taking ownership of it, and detaches (frees) the previous
    /// one; nullptr only detaches. Passing the attached stream again re-reads its size. The
    /// stream's size is read first: a stream that cannot tell it (one that cannot seek, such as
    /// a pipe) raises the stream's error, and one larger than a positive MaxTextSize raises
    /// EMaxText, both before anything changes (the stream then stays the caller's). Once
    /// adopted (GetSourceStream returns it) the stream is the container's, even if a later step
    /// raises.
    virtual void SetSourceStream(TStream* Stream);
    /// SetSourceStream for a stream held in a unique_ptr: released once adopted, freed by the
    /// unique_ptr when refused, so that it has exactly one owner whatever is raised.
    void SetSourceStream(std::unique_ptr<TStream> Stream);
    TStream* GetSourceStream() const { return SourceStream.get(); }

    /// Reallocates the buffer with Size bytes (at least 1) and refills it where it was.
    void SetBufSize(std::uint16_t Size);
    std::uint16_t GetBufSize() const { return BufSize; }
    std::int64_t GetBufStart() const { return BufStart; }
    std::uint16_t GetBufCount() const { return BufCount; }

    /// Reloads the window when the conversion changes, so no bytes of the other kind survive.
    void SetOEMConvert(bool Value) override;

protected:
    /// Allocates a buffer of Size + 1 bytes and collapses the window onto the current Buffer.
    virtual std::uint8_t* AllocBuffer(std::uint16_t Size);
    /// Releases a buffer from AllocBuffer and sets P to nullptr.
    virtual void DeAllocBuffer(std::uint8_t*& P, std::uint16_t Size);
    /// Fills Dest with up to Count bytes of the text from Pos: BufStart := Pos and BufCount := the
    /// number read, converted from OEM when OEMConvert is set. Does nothing without a source.
    /// A window that starts inside the present one takes the bytes they share from it.
    virtual void GetBuffer(std::uint8_t* Dest, std::int64_t Pos, std::uint16_t Count);
    /// Makes the window disposable: a descendant that keeps edits in it saves them first.
    virtual void FlushWindow() {}

    /// True when the window holds the byte at Pos, or ends at Pos = TextSize.
    bool WindowCovers(std::int64_t Pos) const {
        return Pos >= BufStart &&
               (Pos < BufStart + BufCount || (Pos == TextSize && BufStart + BufCount == TextSize));
    }

    std::unique_ptr<TStream> SourceStream; // owned; TextSize is its size when attached
    std::uint16_t BufCount = 0;            // bytes in the window: Buffer[0 .. BufCount - 1]
    std::int64_t BufStart = -1;            // text position of Buffer[0]; -1 until a window is read
    std::uint16_t BufSize = 0;             // capacity of Buffer; >= 1 once constructed
    std::uint8_t* Buffer = nullptr;        // BufSize + 1 bytes (inside BufferBlock)
    std::uint16_t Overlap = 0;             // BufSize / 4

private:
    // Reads Count bytes of the source at Pos into Dest, fewer only at the source's end.
    std::int64_t ReadSource(std::uint8_t* Dest, std::int64_t Pos, std::int64_t Count);

    // One spare byte before Buffer keeps ValidEnd = Buffer - 1 (an empty window) a valid address.
    std::unique_ptr<std::uint8_t[]> BufferBlock;
};

/// While it lives, a text stream reads through the widest window, so that a walk over the whole
/// text takes a sixteenth of the reads; then the window takes its old size again. Other buffers
/// are left as they are.
class TWideWindowScope {
public:
    explicit TWideWindowScope(TTextBuffer* Buffer);
    ~TWideWindowScope();
    TWideWindowScope(const TWideWindowScope&) = delete;
    TWideWindowScope& operator=(const TWideWindowScope&) = delete;

private:
    TTextStream* Stream = nullptr;
    std::uint16_t Saved = 0;
};

} // namespace kestrel
