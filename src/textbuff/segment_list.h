// Segment lists: the piece table of an edited text, the store of inserted bytes, the virtual
// stream.
#pragma once

#include "host/object.h"
#include "host/streams.h"
#include "textbuff/segment_index.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace kestrel {

class TSegmentList;
class TFreeList;

/// A range of bytes in a stream. A segment belongs to at most one list at a time, which links it
/// through Prev and Next; it is moved between lists by UnLink and a link operation.
class TStreamSegment : public TObject {
public:
    TStreamSegment(TStream* AStream, std::int64_t AStart, std::int64_t ASize)
        : Stream(AStream), Start(AStart), Size(ASize) {}
    /// A segment over the same bytes as Other.
    explicit TStreamSegment(const TStreamSegment& Other)
        : TObject(), Stream(Other.Stream), Start(Other.Start), Size(Other.Size) {}

    /// A new unlinked segment of the same class over the same bytes.
    virtual std::unique_ptr<TStreamSegment> copyOf() const;
    /// Disposes of this unlinked segment on behalf of List (consumes it).
    virtual void DeAllocate(TSegmentList* List);

    /// True when After continues this segment: same stream, After starts where this one ends.
    bool IsContinuedBy(const TStreamSegment& After) const {
        return After.Stream == Stream && Start + Size == After.Start;
    }
    /// When Other (unlinked) continues this segment, takes its bytes, destroys it and returns
    /// true; otherwise leaves it and returns false.
    bool Merge(std::unique_ptr<TStreamSegment>& Other);
    /// The segment that starts at Offset within this one: this one for Offset <= 0, Next for
    /// Offset >= Size, otherwise a new tail part linked right after this one.
    TStreamSegment* Split(std::int64_t Offset);
    /// Reads Count bytes at Offset within the segment; returns the number the stream gave.
    std::int64_t Read(void* Buffer, std::int64_t Offset, std::int64_t Count) const;

    TStream* Stream;                // holds the bytes; not owned
    std::int64_t Start;             // offset of the first byte in Stream, >= 0
    std::int64_t Size;              // > 0 while in a text list
    TStreamSegment* Prev = nullptr; // neighbours in the owning list; nullptr at the ends
    TStreamSegment* Next = nullptr;

    // The leaf of the position index that holds the segment while a TVirtualStreamList owns it.
    TSegmentIndexLeaf* IndexLeaf = nullptr;
};

/// A segment of inserted bytes, carved from the memory stream of a free list.
class TAllocatedSegment : public TStreamSegment {
public:
    TAllocatedSegment(TStream* AStream, std::int64_t AStart, std::int64_t ASize,
                      TFreeList* AFreeList)
        : TStreamSegment(AStream, AStart, ASize), FreeList(AFreeList) {}

    std::unique_ptr<TStreamSegment> copyOf() const override;
    /// Destroyed when List is its own free list; otherwise its block goes back to the free list.
    void DeAllocate(TSegmentList* List) override;

    TFreeList* FreeList; // outlives every segment carved from it
};

/// Disposes of Seg on behalf of List (DeAllocate), if there is one.
void Dispose(std::unique_ptr<TStreamSegment> Seg, TSegmentList* List);

/// An ordered, doubly linked list of segments that owns them. Link operations merge a segment
/// with a neighbour it continues.
class TSegmentList : public TObject {
public:
    TSegmentList() = default;
    ~TSegmentList() override;

    /// Disposes of every segment (DeAllocate on behalf of this list).
    virtual void Clear();

    /// Adds Seg at the end; returns the segment now holding its bytes.
    TStreamSegment* Append(std::unique_ptr<TStreamSegment> Seg);
    /// Links Seg after After (at the front when After is nullptr), merging it with a successor
    /// that continues it and into After when it continues After. Returns the segment now holding
    /// Seg's bytes (Seg, or After when merged into it); nullptr for a null Seg.
    TStreamSegment* InsertAfter(TStreamSegment* After, std::unique_ptr<TStreamSegment> Seg);
    /// Links Seg at the front, absorbing the old head when it continues Seg.
    TStreamSegment* Prepend(std::unique_ptr<TStreamSegment> Seg);
    /// Moves all of List's segments, in order, to follow After (the front when nullptr) and
    /// destroys List.
    void InsertListAfter(TStreamSegment* After, std::unique_ptr<TSegmentList> List);
    /// Splits Seg at Offset (see TStreamSegment::Split), keeping Tail right.
    TStreamSegment* Split(TStreamSegment* Seg, std::int64_t Offset);
    /// Removes Seg from the list and hands it to the caller.
    std::unique_ptr<TStreamSegment> UnLink(TStreamSegment* Seg);

    TStreamSegment* GetHead() const { return Head; }
    TStreamSegment* GetTail() const { return Tail; }
    std::int64_t GetSize() const { return Size; }
    /// Number of segments (walks the list).
    std::int64_t SegmentCount() const;
    /// Checks the links, the sizes and Tail; for tests and diagnostics.
    virtual bool IsConsistent() const;

protected:
    /// Unlinks Seg without changing Size (for absorbed segments, whose bytes stay counted).
    std::unique_ptr<TStreamSegment> Detach(TStreamSegment* Seg);
    /// Links the unowned segment Seg after After (at the front when After is nullptr); no merging.
    void Link(TStreamSegment* After, TStreamSegment* Seg);
    /// Lets the linked segment S absorb Other when Other continues it (TStreamSegment::Merge).
    bool MergeInto(TStreamSegment* S, std::unique_ptr<TStreamSegment>& Other);

    // Told of every change of the chain, for lists that keep more than the links.
    /// Seg has just been linked.
    virtual void Linked(TStreamSegment* /*Seg*/) {}
    /// Seg is about to be unlinked.
    virtual void Unlinking(TStreamSegment* /*Seg*/) {}
    /// The linked segment Seg has just changed size by Delta.
    virtual void Resized(TStreamSegment* /*Seg*/, std::int64_t /*Delta*/) {}

    TStreamSegment* Head = nullptr; // nullptr exactly when the list is empty
    TStreamSegment* Tail = nullptr;
    std::int64_t Size = 0; // the sum of the segments' sizes
};

/// The free blocks of a memory stream that holds inserted bytes, in ascending Start order.
/// Blocks are carved at Top, the end of the part in use, unless a free block fits (first fit).
class TFreeList : public TSegmentList {
public:
    TFreeList() = default;
    ~TFreeList() override;

    /// A block of Count bytes, or nullptr when there is no memory stream (or Count <= 0).
    std::unique_ptr<TAllocatedSegment> Alloc(std::int64_t Count);
    /// Takes back a block carved from this list, merging it with contiguous free neighbours;
    /// a block ending at Top lowers Top instead.
    void DeAlloc(std::unique_ptr<TStreamSegment> Seg);
    /// Stores Count bytes in a new block and returns it (nullptr without a memory stream).
    std::unique_ptr<TAllocatedSegment> SaveBuf(const void* Buffer, std::int64_t Count);

    TMemoryStream* GetStream() const { return Stream.get(); }
    std::int64_t GetTop() const { return Top; }
    /// Also: blocks ascending, apart, below Top, and found by their start.
    bool IsConsistent() const override;

protected:
    void Linked(TStreamSegment* Seg) override { ByStart[Seg->Start] = Seg; }
    void Unlinking(TStreamSegment* Seg) override { ByStart.erase(Seg->Start); }

    std::unique_ptr<TMemoryStream> Stream; // owned; nullptr in a plain free list
    std::int64_t Top = 0;                  // blocks in use and free blocks all lie below Top

private:
    std::map<std::int64_t, TStreamSegment*> ByStart; // the free blocks by Start, for DeAlloc
};

/// The usable free list: it owns a memory stream.
class TMemoryBuffer : public TFreeList {
public:
    TMemoryBuffer();
};

/// A segment list read as one continuous stream with a current position, CurStart + Offset.
/// Current is the segment holding the position (nullptr when the list is empty); a position on
/// a boundary is at the start of the later segment, except at the very end of the text, where
/// Current is the last segment and Offset its size. Seeking steps from Current to a nearby
/// position, and uses the position index (once the list has more than a few segments) for
/// anything farther.
class TVirtualStreamList : public TSegmentList {
public:
    /// IndexFanout: entries per node of the position index (see TSegmentIndex).
    explicit TVirtualStreamList(int IndexFanout = TSegmentIndex::MaxFanout) : Index(IndexFanout) {}
    ~TVirtualStreamList() override;

    /// Disposes of every segment; inserted-text blocks go back to their free list in the order of
    /// their place in it, which keeps that cheap however many there are.
    void Clear() override;

    /// Moves the position to Pos (0 .. Size); raises EInternalError outside.
    void Seek(std::int64_t Pos);
    /// Reads Count bytes at the position and moves past them. Raises EReadError on an empty list
    /// or when fewer than Count bytes follow; returns fewer only when a segment's stream gives
    /// fewer bytes than the segment claims (it shrank), stopping there. Pieces that lie close
    /// together in one stream are read from it with one call.
    std::int64_t Read(void* Buffer, std::int64_t Count);
    /// Writes Count bytes from the position to Stream and moves past them: short pieces gathered
    /// into large writes, long ones copied from their stream on their own. Raises EReadError
    /// when a segment's stream gives fewer bytes than the segment claims.
    void CopyToStream(TStream* Stream, std::int64_t Count);
    /// Inserts Seg at the position and leaves the position just after it.
    void Insert(std::unique_ptr<TStreamSegment> Seg);
    /// Removes Count bytes at the position and returns them as a new list.
    std::unique_ptr<TSegmentList> Cut(std::int64_t Count);
    /// Inserts all of List's segments at the position and leaves the position after them.
    void InsertSegmentList(std::unique_ptr<TSegmentList> List);

    std::int64_t GetPosition() const { return CurStart + Offset; }
    TStreamSegment* GetCurrent() const { return Current; }
    std::int64_t GetOffset() const { return Offset; }
    /// IsConsistent, and the position fields and the index agree with the list.
    bool IsPositionConsistent() const;
    /// The position index, for tests and diagnostics (empty while the list is short).
    const TSegmentIndex& GetIndex() const { return Index; }

protected:
    void Linked(TStreamSegment* Seg) override;
    void Unlinking(TStreamSegment* Seg) override;
    void Resized(TStreamSegment* Seg, std::int64_t Delta) override;

private:
    // Seek steps through up to NearbySteps segments to a position at most NearbyBytes from
    // Current before it asks the index.
    static constexpr int NearbySteps = 8;
    static constexpr std::int64_t NearbyBytes = 16 * 1024;
    // Reads join pieces of one stream into one read of that stream while the bytes read and not
    // wanted stay below max(bytes wanted, MinWaste) and the read below MaxSpan.
    static constexpr std::int64_t MinWaste = 4096;
    static constexpr std::int64_t MaxSpan = 64 * 1024;
    // CopyToStream writes GatherSize bytes at a time; pieces of DirectCopySize bytes or more are
    // copied on their own.
    static constexpr std::int64_t GatherSize = 64 * 1024;
    static constexpr std::int64_t DirectCopySize = 64 * 1024;

    // A list of a few segments (an opened file, a few edits) is walked to find a position; the
    // index is built when it grows past IndexFrom segments.
    static constexpr std::int64_t IndexFrom = 16;

    /// The segment holding Pos (0 <= Pos < Size) and the position of its first byte.
    TStreamSegment* Locate(std::int64_t Pos, std::int64_t& SegStart) const;
    /// Steps to the next segment when the position sits at the end of Current and one follows.
    void NormaliseBoundary();
    /// Reads Count bytes at the position into Out and moves past them, joining nearby pieces of
    /// one stream into one read (through Scratch). With LargePiece > 0, stops before a piece of
    /// that many bytes or more once something is read. Returns the bytes read; sets Ended when a
    /// stream gave fewer bytes than its segment claims (and stops there).
    std::int64_t ReadPieces(std::uint8_t* Out, std::int64_t Count,
                            std::vector<std::uint8_t>& Scratch, std::int64_t LargePiece,
                            bool& Ended);

    TSegmentIndex Index;    // holds every segment when Indexed; empty otherwise
    bool Indexed = false;   // set when the list grows past IndexFrom segments, until Clear
    std::int64_t Count = 0; // the number of segments
    std::vector<std::uint8_t> ReadScratch; // for Read; at most MaxSpan bytes

    TStreamSegment* Current = nullptr; // holds the position; nullptr only in an empty list
    std::int64_t CurStart = 0;         // text position of Current's first byte
    std::int64_t Offset = 0;           // 0 .. Current->Size
};

} // namespace kestrel
