// Segment lists: linking and merging segments, the free list of inserted bytes, the virtual stream.
#include "textbuff/segment_list.h"

#include "host/exceptions.h"
#include "macros/macros.h"
#include "textbuff/text_buffer.h"

#include <cassert>

namespace kestrel {

// --- TStreamSegment -------------------------------------------------------------------------

std::unique_ptr<TStreamSegment> TStreamSegment::copyOf() const {
    return std::make_unique<TStreamSegment>(*this);
}

void TStreamSegment::DeAllocate(TSegmentList* /*List*/) {
    delete this;
}

bool TStreamSegment::Merge(std::unique_ptr<TStreamSegment>& Other) {
    assert(Other->Prev == nullptr && Other->Next == nullptr && "merging a linked segment");
    if (!IsContinuedBy(*Other))
        return false;
    Size += Other->Size;
    Other.reset();
    return true;
}

TStreamSegment* TStreamSegment::Split(std::int64_t Offset) {
    if (Offset <= 0)
        return this;
    if (Offset >= Size)
        return Next;
    TStreamSegment* Part = copyOf().release(); // owned by the list that owns this segment
    Part->Start = Start + Offset;
    Part->Size = Size - Offset;
    Size = Offset;
    Part->Prev = this;
    Part->Next = Next;
    if (Next != nullptr)
        Next->Prev = Part;
    Next = Part;
    return Part;
}

std::int64_t TStreamSegment::Read(void* Buffer, std::int64_t Offset, std::int64_t Count) const {
    auto* Out = static_cast<std::uint8_t*>(Buffer);
    std::int64_t Done = 0;
    while (Done < Count) {
        const std::int64_t N = Stream->ReadAt(Start + Offset + Done, Out + Done, Count - Done);
        if (N <= 0)
            break;
        Done += N;
    }
    return Done;
}

std::unique_ptr<TStreamSegment> TAllocatedSegment::copyOf() const {
    return std::make_unique<TAllocatedSegment>(Stream, Start, Size, FreeList);
}

void TAllocatedSegment::DeAllocate(TSegmentList* List) {
    if (List == FreeList)
        delete this;
    else
        FreeList->DeAlloc(std::unique_ptr<TStreamSegment>(this));
}

void Dispose(std::unique_ptr<TStreamSegment> Seg, TSegmentList* List) {
    if (Seg)
        Seg.release()->DeAllocate(List); // DeAllocate consumes the segment
}

// --- TSegmentList ---------------------------------------------------------------------------

TSegmentList::~TSegmentList() {
    TSegmentList::Clear();
}

void TSegmentList::Clear() {
    while (Head != nullptr)
        Dispose(UnLink(Head), this);
    Tail = nullptr;
    Size = 0;
}

std::unique_ptr<TStreamSegment> TSegmentList::Detach(TStreamSegment* Seg) {
    if (Seg->Prev != nullptr)
        Seg->Prev->Next = Seg->Next;
    else
        Head = Seg->Next;
    if (Seg->Next != nullptr)
        Seg->Next->Prev = Seg->Prev;
    else
        Tail = Seg->Prev;
    Seg->Prev = nullptr;
    Seg->Next = nullptr;
    return std::unique_ptr<TStreamSegment>(Seg);
}

std::unique_ptr<TStreamSegment> TSegmentList::UnLink(TStreamSegment* Seg) {
    Size -= Seg->Size;
    return Detach(Seg);
}

namespace {

// Links the unowned segment Seg after After (at the front when After is nullptr), no merging.
void LinkAfter(TStreamSegment*& Head, TStreamSegment*& Tail, TStreamSegment* After,
               TStreamSegment* Seg) {
    Seg->Prev = After;
    Seg->Next = After != nullptr ? After->Next : Head;
    if (Seg->Next != nullptr)
        Seg->Next->Prev = Seg;
    else
        Tail = Seg;
    if (After != nullptr)
        After->Next = Seg;
    else
        Head = Seg;
}

} // namespace

TStreamSegment* TSegmentList::Append(std::unique_ptr<TStreamSegment> Seg) {
    if (!Seg)
        return nullptr;
    if (Head == nullptr) {
        Size = Seg->Size;
        Head = Tail = Seg.release();
        return Head;
    }
    return InsertAfter(Tail, std::move(Seg));
}

TStreamSegment* TSegmentList::InsertAfter(TStreamSegment* After,
                                          std::unique_ptr<TStreamSegment> Seg) {
    if (!Seg)
        return nullptr;
    if (After == nullptr)
        return Prepend(std::move(Seg));
    Size += Seg->Size;
    if (After->Next != nullptr && Seg->IsContinuedBy(*After->Next)) {
        std::unique_ptr<TStreamSegment> Successor = Detach(After->Next);
        Seg->Merge(Successor);
    }
    if (After->Merge(Seg))
        return After;
    TStreamSegment* Linked = Seg.release();
    LinkAfter(Head, Tail, After, Linked);
    return Linked;
}

TStreamSegment* TSegmentList::Prepend(std::unique_ptr<TStreamSegment> Seg) {
    if (!Seg)
        return nullptr;
    Size += Seg->Size;
    if (Head != nullptr && Seg->IsContinuedBy(*Head)) {
        std::unique_ptr<TStreamSegment> OldHead = Detach(Head);
        Seg->Merge(OldHead);
    }
    TStreamSegment* Linked = Seg.release();
    LinkAfter(Head, Tail, nullptr, Linked);
    return Linked;
}

void TSegmentList::InsertListAfter(TStreamSegment* After, std::unique_ptr<TSegmentList> List) {
    if (!List || List->Head == nullptr)
        return;
    // Link the segments in order first and merge afterwards: merging while inserting could put
    // a segment after bytes that an earlier merge pulled in front of it.
    TStreamSegment* const Successor = After != nullptr ? After->Next : Head;
    TStreamSegment* Last = After;
    while (List->Head != nullptr) {
        std::unique_ptr<TStreamSegment> Seg = List->UnLink(List->Head);
        Size += Seg->Size;
        TStreamSegment* Linked = Seg.release();
        LinkAfter(Head, Tail, Last, Linked);
        Last = Linked;
    }
    // Merge contiguous neighbours from After through the boundary with Successor; earlier
    // segments absorb later ones, so After itself always survives.
    TStreamSegment* S = After != nullptr ? After : Head;
    for (;;) {
        TStreamSegment* N = S->Next;
        if (N != nullptr && S->IsContinuedBy(*N)) {
            const bool ReachedSuccessor = N == Successor;
            if (N == Last)
                Last = S;
            std::unique_ptr<TStreamSegment> Absorbed = Detach(N);
            S->Merge(Absorbed);
            if (ReachedSuccessor)
                break;
            continue;
        }
        if (S == Last)
            break;
        S = N;
    }
}

TStreamSegment* TSegmentList::Split(TStreamSegment* Seg, std::int64_t Offset) {
    TStreamSegment* Result = Seg->Split(Offset);
    if (Seg == Tail && Result != nullptr && Result != Seg)
        Tail = Result;
    return Result;
}

std::int64_t TSegmentList::SegmentCount() const {
    std::int64_t Count = 0;
    for (const TStreamSegment* S = Head; S != nullptr; S = S->Next)
        ++Count;
    return Count;
}

bool TSegmentList::IsConsistent() const {
    std::int64_t Sum = 0;
    const TStreamSegment* Before = nullptr;
    for (const TStreamSegment* S = Head; S != nullptr; S = S->Next) {
        if (S->Prev != Before || S->Size <= 0 || S->Start < 0)
            return false;
        Sum += S->Size;
        Before = S;
    }
    return Before == Tail && Sum == Size;
}

// --- TFreeList ------------------------------------------------------------------------------

TFreeList::~TFreeList() {
    Clear();
}

std::unique_ptr<TAllocatedSegment> TFreeList::Alloc(std::int64_t Count) {
    if (!Stream || Count <= 0)
        return nullptr;
    for (TStreamSegment* S = Head; S != nullptr; S = S->Next) {
        if (S->Size < Count)
            continue;
        Split(S, Count);
        std::unique_ptr<TStreamSegment> Block = UnLink(S);
        assert(dynamic_cast<TAllocatedSegment*>(Block.get()) != nullptr &&
               "a free list holds allocated segments only");
        return std::unique_ptr<TAllocatedSegment>(static_cast<TAllocatedSegment*>(Block.release()));
    }
    auto Block = std::make_unique<TAllocatedSegment>(Stream.get(), Top, Count, this);
    Top += Count;
    return Block;
}

void TFreeList::DeAlloc(std::unique_ptr<TStreamSegment> Seg) {
    assert(Seg->Start + Seg->Size <= Top && "a block returned beyond the top of its free list");
    TStreamSegment* Above = Head;
    while (Above != nullptr && Above->Start < Seg->Start)
        Above = Above->Next;
    if (Above != nullptr) {
        InsertAfter(Above->Prev, std::move(Seg));
        return;
    }
    if (Seg->Start + Seg->Size == Top) {
        Top -= Seg->Size;
        return; // the block is destroyed
    }
    Append(std::move(Seg));
}

std::unique_ptr<TAllocatedSegment> TFreeList::SaveBuf(const void* Buffer, std::int64_t Count) {
    std::unique_ptr<TAllocatedSegment> Block = Alloc(Count);
    if (Block) {
        Stream->Seek(Block->Start, soFromBeginning);
        Stream->WriteBuffer(Buffer, Count);
    }
    return Block;
}

TMemoryBuffer::TMemoryBuffer() {
    Stream = std::make_unique<TMemoryStream>();
}

// --- TVirtualStreamList ---------------------------------------------------------------------

void TVirtualStreamList::Clear() {
    TSegmentList::Clear();
    Current = nullptr;
    CurStart = 0;
    Offset = 0;
}

void TVirtualStreamList::Seek(std::int64_t Pos) {
    if (Head == nullptr) {
        if (Pos != 0)
            RaiseInternalError("Non-zero seek on empty list");
        Current = nullptr;
        CurStart = 0;
        Offset = 0;
        return;
    }
    assert(Current != nullptr && "a non-empty list always has a current segment");
    while (Pos < CurStart && Current->Prev != nullptr) {
        Current = Current->Prev;
        CurStart -= Current->Size;
    }
    while (Pos >= CurStart + Current->Size && Current->Next != nullptr) {
        CurStart += Current->Size;
        Current = Current->Next;
    }
    if (Pos < CurStart || Pos > CurStart + Current->Size)
        RaiseInternalError("Internal Seek Error");
    Offset = Pos - CurStart;
}

void TVirtualStreamList::NormaliseBoundary() {
    if (Current != nullptr && Offset == Current->Size && Current->Next != nullptr) {
        CurStart += Current->Size;
        Current = Current->Next;
        Offset = 0;
    }
}

std::int64_t TVirtualStreamList::Read(void* Buffer, std::int64_t Count) {
    if (Count < 1)
        return 0;
    if (Head == nullptr)
        throw EReadError("Attempted read of empty Virtual Stream");
    if (Size - GetPosition() < Count)
        throw EReadError("Read beyond End of Virtual Stream");
    auto* Out = static_cast<std::uint8_t*>(Buffer);
    std::int64_t Done = 0;
    while (Done < Count) {
        NormaliseBoundary();
        const std::int64_t N = min(Count - Done, Current->Size - Offset);
        if (N <= 0)
            throw EReadError("Read beyond End of Virtual Stream");
        const std::int64_t Got = Current->Read(Out + Done, Offset, N);
        Done += Got;
        Offset += Got;
        if (Got < N)
            break; // the segment's stream ended early: stop rather than ask again forever
    }
    NormaliseBoundary();
    return Done;
}

void TVirtualStreamList::CopyToStream(TStream* Stream, std::int64_t Count) {
    if (Count <= 0)
        return;
    if (Head == nullptr || Size - GetPosition() < Count)
        throw EReadError("Read beyond End of Virtual Stream");
    while (Count > 0) {
        NormaliseBoundary();
        const std::int64_t N = min(Count, Current->Size - Offset);
        Current->Stream->Seek(Current->Start + Offset, soFromBeginning);
        Stream->CopyFrom(Current->Stream, N);
        Offset += N;
        Count -= N;
    }
    NormaliseBoundary();
}

void TVirtualStreamList::Insert(std::unique_ptr<TStreamSegment> Seg) {
    if (!Seg || Seg->Size <= 0) {
        Dispose(std::move(Seg), this);
        return;
    }
    const std::int64_t P = GetPosition();
    const std::int64_t N = Seg->Size;
    TStreamSegment* const Inserted = Seg.get();
    if (P == Size) {
        Append(std::move(Seg));
        Current = Tail;
        CurStart = Size - Tail->Size;
    } else if (Offset > 0) {
        Split(Current, Offset);
        if (InsertAfter(Current, std::move(Seg)) == Inserted) {
            Current = Inserted;
            CurStart = P;
        }
    } else if (Current->Prev != nullptr) {
        TStreamSegment* const Before = Current->Prev;
        const std::int64_t BeforeSize = Before->Size;
        if (InsertAfter(Before, std::move(Seg)) == Inserted) {
            Current = Inserted;
        } else {
            Current = Before;
            CurStart -= BeforeSize;
        }
    } else {
        Prepend(std::move(Seg));
        Current = Head;
        CurStart = 0;
    }
    Offset = P + N - CurStart;
    NormaliseBoundary();
}

std::unique_ptr<TSegmentList> TVirtualStreamList::Cut(std::int64_t Count) {
    auto Result = std::make_unique<TSegmentList>();
    if (Count <= 0 || Current == nullptr)
        return Result;
    const std::int64_t P = GetPosition();
    TStreamSegment* S = Split(Current, Offset);
    std::int64_t Left = Count;
    while (S != nullptr && Left > 0) {
        if (S->Size > Left)
            Split(S, Left);
        TStreamSegment* const After = S->Next;
        Left -= S->Size;
        Result->Append(UnLink(S));
        S = After;
    }
    if (S != nullptr) {
        Current = S;
        CurStart = P;
        if (TStreamSegment* const Before = S->Prev) {
            const std::int64_t BeforeSize = Before->Size;
            if (InsertAfter(Before, UnLink(S)) == Before) {
                Current = Before;
                CurStart -= BeforeSize;
            }
        }
    } else {
        Current = Tail;
        CurStart = Tail != nullptr ? Size - Tail->Size : 0;
    }
    Offset = P - CurStart;
    NormaliseBoundary();
    return Result;
}

void TVirtualStreamList::InsertSegmentList(std::unique_ptr<TSegmentList> List) {
    const std::int64_t N = List ? List->GetSize() : 0;
    if (N <= 0)
        return; // List, if any, is destroyed
    const std::int64_t P = GetPosition();
    if (Head == nullptr || P == Size) {
        InsertListAfter(Tail, std::move(List));
        Current = Tail;
        CurStart = Size - Tail->Size;
    } else {
        TStreamSegment* const S = Split(Current, Offset);
        if (S == Current && Current->Prev != nullptr) {
            // Step back so that Current cannot be absorbed by a merge.
            Current = Current->Prev;
            CurStart -= Current->Size;
        }
        InsertListAfter(S->Prev, std::move(List));
        if (CurStart == 0)
            Current = Head;
        Seek(P + N);
    }
    Offset = P + N - CurStart;
    NormaliseBoundary();
}

bool TVirtualStreamList::IsPositionConsistent() const {
    if (!IsConsistent())
        return false;
    if (Head == nullptr)
        return Current == nullptr && CurStart == 0 && Offset == 0;
    std::int64_t Start = 0;
    for (const TStreamSegment* S = Head; S != nullptr; S = S->Next) {
        if (S == Current)
            return Start == CurStart && Offset >= 0 && Offset <= S->Size;
        Start += S->Size;
    }
    return false; // Current is not in the list
}

} // namespace kestrel
