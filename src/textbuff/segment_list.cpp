// Segment lists: linking and merging segments, the free list of inserted bytes, the virtual stream.
#include "textbuff/segment_list.h"

#include "host/exceptions.h"
#include "host/scope_guard.h"
#include "macros/macros.h"
#include "textbuff/text_buffer.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <vector>

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
    Unlinking(Seg);
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

void TSegmentList::Link(TStreamSegment* After, TStreamSegment* Seg) {
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
    Linked(Seg);
}

bool TSegmentList::MergeInto(TStreamSegment* S, std::unique_ptr<TStreamSegment>& Other) {
    const std::int64_t Delta = Other->Size;
    if (!S->Merge(Other))
        return false;
    Resized(S, Delta);
    return true;
}

TStreamSegment* TSegmentList::Append(std::unique_ptr<TStreamSegment> Seg) {
    if (!Seg)
        return nullptr;
    if (Head == nullptr) {
        Size = Seg->Size;
        Link(nullptr, Seg.release());
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
    if (MergeInto(After, Seg))
        return After;
    TStreamSegment* Added = Seg.release();
    Link(After, Added);
    return Added;
}

TStreamSegment* TSegmentList::Prepend(std::unique_ptr<TStreamSegment> Seg) {
    if (!Seg)
        return nullptr;
    Size += Seg->Size;
    if (Head != nullptr && Seg->IsContinuedBy(*Head)) {
        std::unique_ptr<TStreamSegment> OldHead = Detach(Head);
        Seg->Merge(OldHead);
    }
    TStreamSegment* Added = Seg.release();
    Link(nullptr, Added);
    return Added;
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
        TStreamSegment* Added = Seg.release();
        Link(Last, Added);
        Last = Added;
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
            MergeInto(S, Absorbed);
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
    const std::int64_t Old = Seg->Size;
    TStreamSegment* Result = Seg->Split(Offset);
    if (Offset > 0 && Offset < Old) { // a new tail part follows Seg
        if (Seg == Tail)
            Tail = Result;
        Resized(Seg, Seg->Size - Old);
        Linked(Result);
    }
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
    const auto Found = ByStart.lower_bound(Seg->Start); // the first free block at or above Seg
    TStreamSegment* const Above = Found != ByStart.end() ? Found->second : nullptr;
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

bool TFreeList::IsConsistent() const {
    if (!TSegmentList::IsConsistent() ||
        static_cast<std::int64_t>(ByStart.size()) != SegmentCount())
        return false;
    for (const TStreamSegment* S = Head; S != nullptr; S = S->Next) {
        const auto Found = ByStart.find(S->Start);
        if (Found == ByStart.end() || Found->second != S || S->Start + S->Size > Top ||
            (S->Next != nullptr && S->Start + S->Size >= S->Next->Start))
            return false;
    }
    return true;
}

TMemoryBuffer::TMemoryBuffer() {
    Stream = std::make_unique<TMemoryStream>();
}

namespace {

/// Destroys the segments of a chain linked through Next (without handing blocks back).
void DeleteChain(TStreamSegment*& Chain) {
    while (Chain != nullptr) {
        const std::unique_ptr<TStreamSegment> Dead(Chain);
        Chain = Chain->Next;
    }
}

/// Sorts a chain linked through Next by Start (0 .. MaxStart), ascending: a radix sort, a few
/// passes over the chain and no memory in proportion to it.
TStreamSegment* SortByStart(TStreamSegment* Chain, std::int64_t MaxStart) {
    constexpr int DigitBits = 11;
    constexpr std::size_t Buckets = std::size_t{1} << DigitBits;
    std::vector<TStreamSegment*> Heads(Buckets);
    std::vector<TStreamSegment*> Tails(Buckets);
    for (int Shift = 0; Shift == 0 || (Shift < 63 && (MaxStart >> Shift) > 0); Shift += DigitBits) {
        std::fill(Heads.begin(), Heads.end(), nullptr);
        std::fill(Tails.begin(), Tails.end(), nullptr);
        while (Chain != nullptr) {
            TStreamSegment* const Seg = Chain;
            Chain = Seg->Next;
            Seg->Next = nullptr;
            const auto Digit = static_cast<std::size_t>(Seg->Start >> Shift) & (Buckets - 1);
            (Tails[Digit] != nullptr ? Tails[Digit]->Next : Heads[Digit]) = Seg;
            Tails[Digit] = Seg;
        }
        TStreamSegment* Last = nullptr;
        for (std::size_t Digit = 0; Digit < Buckets; ++Digit) {
            if (Heads[Digit] == nullptr)
                continue;
            (Last != nullptr ? Last->Next : Chain) = Heads[Digit];
            Last = Tails[Digit];
        }
    }
    return Chain;
}

} // namespace

// --- TVirtualStreamList ---------------------------------------------------------------------

TVirtualStreamList::~TVirtualStreamList() {
    Clear();
}

void TVirtualStreamList::Clear() {
    TStreamSegment* S = Head;
    Head = nullptr;
    Tail = nullptr;
    Size = 0;
    Current = nullptr;
    CurStart = 0;
    Offset = 0;
    Index.Clear();
    Indexed = false;
    Count = 0;
    if (S == nullptr)
        return;
    // Blocks handed back in the order of the text, random in their store, would each cost a
    // search of the free list. So the inserted-text segments are chained apart (through Next),
    // one chain per free list, sorted by Start and handed back in ascending order, where each one
    // joins the block freed before it. Segments of other streams go at once.
    struct TChain {
        TFreeList* FreeList;
        TStreamSegment* Head;
        std::int64_t MaxStart;
    };
    std::vector<TChain> Chains; // as many as free lists: one, in an edit stream
    // What is left when something fails (the free list cannot grow) is destroyed without being
    // handed back, rather than lost.
    const TScopeFail DropRest([&] {
        DeleteChain(S);
        for (TChain& Chain : Chains)
            DeleteChain(Chain.Head);
    });
    while (S != nullptr) {
        TStreamSegment* const Seg = S;
        S = S->Next;
        Seg->Prev = nullptr;
        Seg->Next = nullptr;
        Seg->IndexLeaf = nullptr;
        std::unique_ptr<TStreamSegment> Owned(Seg); // until it is in a chain
        auto* const Block = dynamic_cast<TAllocatedSegment*>(Seg);
        if (Block == nullptr) {
            Dispose(std::move(Owned), this);
            continue;
        }
        auto Chain = std::find_if(Chains.begin(), Chains.end(),
                                  [&](const TChain& C) { return C.FreeList == Block->FreeList; });
        if (Chain == Chains.end())
            Chain = Chains.insert(Chains.end(), {Block->FreeList, nullptr, 0});
        Seg->Next = Chain->Head;
        Chain->Head = Owned.release();
        Chain->MaxStart = max(Chain->MaxStart, Seg->Start);
    }
    for (TChain& Chain : Chains) {
        Chain.Head = SortByStart(Chain.Head, Chain.MaxStart);
        while (Chain.Head != nullptr) {
            TStreamSegment* const Seg = Chain.Head;
            Chain.Head = Seg->Next;
            Seg->Next = nullptr;
            Dispose(std::unique_ptr<TStreamSegment>(Seg), this);
        }
    }
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
    if (Pos < 0 || Pos > Size)
        RaiseInternalError("Internal Seek Error");
    assert(Current != nullptr && "a non-empty list always has a current segment");
    if (Pos == Size) {
        Current = Tail;
        CurStart = Size - Tail->Size;
    } else {
        // Nearby positions (reading on, a pending edit in the window just read) are a few steps
        // from Current, through segments that are likely still in the processor's cache; far
        // ones are found at once.
        const bool Near =
            Pos >= CurStart - NearbyBytes && Pos < CurStart + Current->Size + NearbyBytes;
        TStreamSegment* S = Current;
        std::int64_t Start = CurStart;
        for (int Steps = 0; Near && S != nullptr && Steps < NearbySteps; ++Steps) {
            if (Pos < Start) {
                S = S->Prev;
                if (S != nullptr)
                    Start -= S->Size;
            } else if (Pos >= Start + S->Size) {
                Start += S->Size;
                S = S->Next;
            } else {
                break;
            }
        }
        if (S != nullptr && Pos >= Start && Pos < Start + S->Size) {
            Current = S;
            CurStart = Start;
        } else {
            Current = Locate(Pos, CurStart);
        }
    }
    if (Current == nullptr || Pos < CurStart || Pos > CurStart + Current->Size)
        RaiseInternalError("Internal Seek Error");
    Offset = Pos - CurStart;
}

void TVirtualStreamList::Linked(TStreamSegment* Seg) {
    ++Count;
    if (Indexed) {
        Index.InsertAfter(Seg->Prev, Seg);
    } else if (Count > IndexFrom) {
        for (TStreamSegment* S = Head; S != nullptr; S = S->Next)
            Index.InsertAfter(S->Prev, S);
        Indexed = true;
    }
}

void TVirtualStreamList::Unlinking(TStreamSegment* Seg) {
    --Count;
    if (Indexed)
        Index.Remove(Seg);
}

void TVirtualStreamList::Resized(TStreamSegment* Seg, std::int64_t Delta) {
    if (Indexed)
        Index.Resized(Seg, Delta);
}

TStreamSegment* TVirtualStreamList::Locate(std::int64_t Pos, std::int64_t& SegStart) const {
    if (Indexed)
        return Index.Find(Pos, SegStart);
    std::int64_t Start = 0;
    for (TStreamSegment* S = Head; S != nullptr; S = S->Next) {
        if (Pos < Start + S->Size) {
            SegStart = Start;
            return Pos >= Start ? S : nullptr;
        }
        Start += S->Size;
    }
    return nullptr;
}

void TVirtualStreamList::NormaliseBoundary() {
    if (Current != nullptr && Offset == Current->Size && Current->Next != nullptr) {
        CurStart += Current->Size;
        Current = Current->Next;
        Offset = 0;
    }
}

std::int64_t TVirtualStreamList::ReadPieces(std::uint8_t* Out, std::int64_t Count,
                                            std::vector<std::uint8_t>& Scratch,
                                            std::int64_t LargePiece, bool& Ended) {
    Ended = false;
    std::int64_t Done = 0;
    NormaliseBoundary();
    Index.Prefetch(Current, Offset, min(Count, MaxSpan));
    while (Done < Count) {
        NormaliseBoundary();
        const std::int64_t Wanted = Count - Done;
        const std::int64_t First = min(Wanted, Current->Size - Offset);
        if (LargePiece > 0 && Done > 0 && First >= LargePiece)
            break;
        // Plan one read of Current's stream that also covers the following pieces of that stream
        // lying just after each other in it (an edited text is mostly the source in order, cut
        // into pieces by small edits). Pieces of other streams in between are read on their own.
        TStream* const Source = Current->Stream;
        const std::int64_t SpanStart = Current->Start + Offset;
        std::int64_t SpanEnd = SpanStart + First;
        std::int64_t Planned = First; // bytes of the output the plan covers
        std::int64_t Wasted = 0;      // bytes of the span that are not wanted
        const std::int64_t WasteLimit = max(Wanted, MinWaste);
        const TSegmentIndexLeaf* Leaf = Current->IndexLeaf;
        for (const TStreamSegment* T = Current->Next; T != nullptr && Planned < Wanted;
             T = T->Next) {
            if (T->IndexLeaf != Leaf) { // fetch the segments of the next leaf all at once
                Leaf = T->IndexLeaf;
                Index.Prefetch(T, 0, Wanted - Planned);
            }
            const std::int64_t Take = min(Wanted - Planned, T->Size);
            if (LargePiece > 0 && Take >= LargePiece)
                break;
            if (T->Stream == Source) {
                const std::int64_t Gap = T->Start - SpanEnd;
                if (Gap < 0 || Wasted + Gap > WasteLimit || T->Start + Take - SpanStart > MaxSpan)
                    break;
                Wasted += Gap;
                SpanEnd = T->Start + Take;
            }
            Planned += Take;
        }
        if (SpanEnd - SpanStart == First) { // nothing joins: straight into the output
            const std::int64_t Got = Current->Read(Out + Done, Offset, First);
            Done += Got;
            Offset += Got;
            if (Got < First) {
                Ended = true; // the segment's stream ended early: stop rather than ask again
                break;
            }
            continue;
        }
        const std::int64_t Span = SpanEnd - SpanStart;
        if (static_cast<std::int64_t>(Scratch.size()) < Span)
            Scratch.resize(static_cast<std::size_t>(Span));
        std::int64_t Got = 0;
        while (Got < Span) {
            const std::int64_t N =
                Source->ReadAt(SpanStart + Got, Scratch.data() + Got, Span - Got);
            if (N <= 0)
                break;
            Got += N;
        }
        for (std::int64_t Copied = 0; Copied < Planned && !Ended;) {
            NormaliseBoundary();
            const std::int64_t Take = min(Planned - Copied, Current->Size - Offset);
            std::int64_t Have;
            if (Current->Stream == Source) {
                const std::int64_t At = Current->Start + Offset - SpanStart;
                Have = max(0, min(Take, Got - At));
                std::memcpy(Out + Done, Scratch.data() + At, static_cast<std::size_t>(Have));
            } else {
                Have = Current->Read(Out + Done, Offset, Take);
            }
            Done += Have;
            Offset += Have;
            Copied += Have;
            Ended = Have < Take;
        }
        if (Ended)
            break;
    }
    NormaliseBoundary();
    return Done;
}

std::int64_t TVirtualStreamList::Read(void* Buffer, std::int64_t Count) {
    if (Count < 1)
        return 0;
    if (Head == nullptr)
        throw EReadError("Attempted read of empty Virtual Stream");
    if (Size - GetPosition() < Count)
        throw EReadError("Read beyond End of Virtual Stream");
    bool Ended = false;
    return ReadPieces(static_cast<std::uint8_t*>(Buffer), Count, ReadScratch, 0, Ended);
}

void TVirtualStreamList::CopyToStream(TStream* Stream, std::int64_t Count) {
    if (Count <= 0)
        return;
    if (Head == nullptr || Size - GetPosition() < Count)
        throw EReadError("Read beyond End of Virtual Stream");
    // Small pieces are gathered into large writes, so that a text of many pieces costs a write
    // call per GatherSize bytes rather than one per piece; large pieces go straight from their
    // stream (between files, inside the operating system).
    std::vector<std::uint8_t> Gather;
    std::vector<std::uint8_t> Scratch;
    std::int64_t Filled = 0;
    const auto Flush = [&] {
        if (Filled > 0)
            Stream->WriteBuffer(Gather.data(), Filled);
        Filled = 0;
    };
    while (Count > 0) {
        NormaliseBoundary();
        const std::int64_t Piece = min(Count, Current->Size - Offset);
        if (Piece >= DirectCopySize) {
            Flush();
            Current->Stream->Seek(Current->Start + Offset, soFromBeginning);
            Stream->CopyFrom(Current->Stream, Piece);
            Offset += Piece;
            Count -= Piece;
            continue;
        }
        if (Gather.empty())
            Gather.resize(static_cast<std::size_t>(min(Count, GatherSize)));
        const std::int64_t Room = static_cast<std::int64_t>(Gather.size()) - Filled;
        bool Ended = false;
        const std::int64_t Got =
            ReadPieces(Gather.data() + Filled, min(Count, Room), Scratch, DirectCopySize, Ended);
        if (Ended)
            throw EReadError("Stream read error");
        Filled += Got;
        Count -= Got;
        if (Filled == static_cast<std::int64_t>(Gather.size()))
            Flush();
    }
    Flush();
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
    if (!IsConsistent() || Count != SegmentCount() ||
        !(Indexed ? Index.IsConsistent(Head) : Index.GetDepth() == 0 && Count <= IndexFrom))
        return false;
    for (const TStreamSegment* S = Head; !Indexed && S != nullptr; S = S->Next)
        if (S->IndexLeaf != nullptr)
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
