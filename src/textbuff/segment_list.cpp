// Segment lists: linking and merging segments, the free list of inserted bytes, the virtual stream.
#include "textbuff/segment_list.h"

#include "host/exceptions.h"
#include "macros/macros.h"
#include "textbuff/text_buffer.h"

#include <cassert>
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

// --- TSegmentIndex -------------------------------------------------------------------------

void TSegmentIndex::ReplaceChild(TStreamSegment* Parent, TStreamSegment* Old, TStreamSegment* New) {
    if (Parent == nullptr)
        Root = New;
    else if (Parent->Index.Left == Old)
        Parent->Index.Left = New;
    else
        Parent->Index.Right = New;
}

void TSegmentIndex::RotateUp(TStreamSegment* Seg) {
    TStreamSegment* const Parent = Seg->Index.Parent;
    TStreamSegment* const Grand = Parent->Index.Parent;
    if (Parent->Index.Left == Seg) {
        Parent->Index.Left = Seg->Index.Right;
        if (Seg->Index.Right != nullptr)
            Seg->Index.Right->Index.Parent = Parent;
        Seg->Index.Right = Parent;
    } else {
        Parent->Index.Right = Seg->Index.Left;
        if (Seg->Index.Left != nullptr)
            Seg->Index.Left->Index.Parent = Parent;
        Seg->Index.Left = Parent;
    }
    Parent->Index.Parent = Seg;
    Seg->Index.Parent = Grand;
    ReplaceChild(Grand, Parent, Seg);
    Parent->Index.Sum = SumOf(Parent->Index.Left) + Parent->Size + SumOf(Parent->Index.Right);
    Seg->Index.Sum = SumOf(Seg->Index.Left) + Seg->Size + SumOf(Seg->Index.Right);
}

void TSegmentIndex::InsertAfter(TStreamSegment* After, TStreamSegment* Seg) {
    Seed ^= Seed << 13;
    Seed ^= Seed >> 17;
    Seed ^= Seed << 5;
    Seg->Index = {nullptr, nullptr, nullptr, Seg->Size, Seed};
    if (Root == nullptr) {
        Root = Seg;
        return;
    }
    // The in-order successor's slot: After's right child, or the leftmost place below it.
    TStreamSegment* Parent;
    if (After == nullptr || After->Index.Right != nullptr) {
        Parent = After == nullptr ? Root : After->Index.Right;
        while (Parent->Index.Left != nullptr)
            Parent = Parent->Index.Left;
        Parent->Index.Left = Seg;
    } else {
        Parent = After;
        Parent->Index.Right = Seg;
    }
    Seg->Index.Parent = Parent;
    for (TStreamSegment* Up = Parent; Up != nullptr; Up = Up->Index.Parent)
        Up->Index.Sum += Seg->Size;
    while (Seg->Index.Parent != nullptr && Seg->Index.Parent->Index.Priority < Seg->Index.Priority)
        RotateUp(Seg);
}

void TSegmentIndex::Remove(TStreamSegment* Seg) {
    // Rotate it down until it has at most one child, then splice it out.
    while (Seg->Index.Left != nullptr && Seg->Index.Right != nullptr) {
        TStreamSegment* const Child =
            Seg->Index.Left->Index.Priority > Seg->Index.Right->Index.Priority ? Seg->Index.Left
                                                                               : Seg->Index.Right;
        RotateUp(Child);
    }
    TStreamSegment* const Child = Seg->Index.Left != nullptr ? Seg->Index.Left : Seg->Index.Right;
    TStreamSegment* const Parent = Seg->Index.Parent;
    if (Child != nullptr)
        Child->Index.Parent = Parent;
    ReplaceChild(Parent, Seg, Child);
    for (TStreamSegment* Up = Parent; Up != nullptr; Up = Up->Index.Parent)
        Up->Index.Sum -= Seg->Size;
    Seg->Index = {};
}

void TSegmentIndex::Resized(TStreamSegment* Seg, std::int64_t Delta) {
    for (TStreamSegment* Up = Seg; Up != nullptr; Up = Up->Index.Parent)
        Up->Index.Sum += Delta;
}

TStreamSegment* TSegmentIndex::Find(std::int64_t Pos, std::int64_t& SegStart) const {
    std::int64_t Base = 0;
    for (TStreamSegment* Node = Root; Node != nullptr;) {
        const std::int64_t Left = SumOf(Node->Index.Left);
        if (Pos < Base + Left) {
            Node = Node->Index.Left;
        } else if (Pos < Base + Left + Node->Size) {
            SegStart = Base + Left;
            return Node;
        } else {
            Base += Left + Node->Size;
            Node = Node->Index.Right;
        }
    }
    return nullptr;
}

bool TSegmentIndex::IsConsistent(const TStreamSegment* Head) const {
    // Walk the tree in order next to the list.
    const TStreamSegment* Expected = Head;
    const TStreamSegment* Node = Root;
    if (Node != nullptr && Node->Index.Parent != nullptr)
        return false;
    std::vector<const TStreamSegment*> Stack;
    while (Node != nullptr || !Stack.empty()) {
        while (Node != nullptr) {
            const TStreamSegment* L = Node->Index.Left;
            const TStreamSegment* R = Node->Index.Right;
            if (Node->Index.Sum != SumOf(L) + Node->Size + SumOf(R) ||
                (L != nullptr &&
                 (L->Index.Parent != Node || L->Index.Priority > Node->Index.Priority)) ||
                (R != nullptr &&
                 (R->Index.Parent != Node || R->Index.Priority > Node->Index.Priority)))
                return false;
            Stack.push_back(Node);
            Node = L;
        }
        Node = Stack.back();
        Stack.pop_back();
        if (Node != Expected)
            return false;
        Expected = Expected->Next;
        Node = Node->Index.Right;
    }
    return Expected == nullptr;
}

// --- TVirtualStreamList ---------------------------------------------------------------------

TVirtualStreamList::~TVirtualStreamList() {
    Clear();
}

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
    if (Pos < 0 || Pos > Size)
        RaiseInternalError("Internal Seek Error");
    assert(Current != nullptr && "a non-empty list always has a current segment");
    // Nearby positions (reading on, a pending edit next to the window) step from Current.
    if (Pos < CurStart && Current->Prev != nullptr && Pos >= CurStart - Current->Prev->Size) {
        Current = Current->Prev;
        CurStart -= Current->Size;
    } else if (Pos >= CurStart + Current->Size && Current->Next != nullptr &&
               Pos < CurStart + Current->Size + Current->Next->Size) {
        CurStart += Current->Size;
        Current = Current->Next;
    } else if (Pos == Size) {
        Current = Tail;
        CurStart = Size - Tail->Size;
    } else if (Pos < CurStart || Pos >= CurStart + Current->Size) {
        Current = Index.Find(Pos, CurStart);
    }
    if (Current == nullptr || Pos < CurStart || Pos > CurStart + Current->Size)
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
    if (!IsConsistent() || !Index.IsConsistent(Head))
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
