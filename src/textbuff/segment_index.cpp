// The position index of a segment list: B-tree nodes, splitting, merging and evening out nodes,
// finding a position.
#include "textbuff/segment_index.h"

#include "textbuff/segment_list.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace kestrel {

struct TSegmentIndexNode {
    explicit TSegmentIndexNode(bool ALeaf) : Leaf(ALeaf) {}
    virtual ~TSegmentIndexNode() = default;
    TSegmentIndexNode(const TSegmentIndexNode&) = delete;
    TSegmentIndexNode& operator=(const TSegmentIndexNode&) = delete;

    TSegmentIndexNode* Parent = nullptr; // nullptr for the root
    int Count = 0;                       // entries in use, at the front of the node
    const bool Leaf;
};

namespace {

/// The bytes below an entry beside what holds them, so that a scan that stops at an entry finds
/// its pointer in the cache line it has just read.
template <typename TPointer> struct TIndexEntry {
    std::int64_t Size = 0;
    TPointer Ptr{};
};

template <typename TPointer> struct TIndexNodeOf : TSegmentIndexNode {
    using TEntry = TIndexEntry<TPointer>;
    explicit TIndexNodeOf(bool ALeaf) : TSegmentIndexNode(ALeaf) {}
    std::array<TEntry, TSegmentIndex::MaxFanout> Entries;
};

} // namespace

// Each segment of a leaf has IndexLeaf == the leaf; Size is the segment's size.
struct TSegmentIndexLeaf : TIndexNodeOf<TStreamSegment*> {
    TSegmentIndexLeaf() : TIndexNodeOf(true) {}
};

// Each child has Parent == the branch; Size is the total of the child's entries. All leaves lie
// at the same depth.
struct TSegmentIndexBranch : TIndexNodeOf<std::unique_ptr<TSegmentIndexNode>> {
    TSegmentIndexBranch() : TIndexNodeOf(false) {}
};

namespace {

// The first lines of a node fetched at once before it is scanned: its header and about as many
// entries as a node holds on average.
constexpr std::size_t PrefetchLines = 12;
// Find fetches the segments that hold this many bytes from the position found.
constexpr std::int64_t FindAheadBytes = 4096;
constexpr std::size_t CacheLine = 64;

TSegmentIndexLeaf* AsLeaf(TSegmentIndexNode* N) {
    assert(N->Leaf && "a leaf was expected");
    return static_cast<TSegmentIndexLeaf*>(N);
}

TSegmentIndexBranch* AsBranch(TSegmentIndexNode* N) {
    assert(!N->Leaf && "an inner node was expected");
    return static_cast<TSegmentIndexBranch*>(N);
}

std::size_t At(int I) {
    return static_cast<std::size_t>(I);
}

const TStreamSegment* Raw(const TStreamSegment* Seg) {
    return Seg;
}

const TSegmentIndexNode* Raw(const std::unique_ptr<TSegmentIndexNode>& Child) {
    return Child.get();
}

template <typename TNode, typename TPointer> int SlotOf(const TNode* N, const TPointer* Target) {
    for (int I = 0; I < N->Count; ++I)
        if (Raw(N->Entries[At(I)].Ptr) == Target)
            return I;
    assert(false && "an entry is missing from its node");
    return -1;
}

std::int64_t& SizeAt(TSegmentIndexNode* N, int I) {
    return N->Leaf ? AsLeaf(N)->Entries[At(I)].Size : AsBranch(N)->Entries[At(I)].Size;
}

void Adopt(TSegmentIndexLeaf* Leaf, TStreamSegment* Seg) {
    Seg->IndexLeaf = Leaf;
}

void Adopt(TSegmentIndexBranch* Branch, const std::unique_ptr<TSegmentIndexNode>& Child) {
    Child->Parent = Branch;
}

/// Makes room for Len entries at I, moving the entries from I up.
template <typename TNode> void OpenGap(TNode* N, int I, int Len) {
    auto& E = N->Entries;
    std::move_backward(E.begin() + I, E.begin() + N->Count, E.begin() + N->Count + Len);
    N->Count += Len;
}

/// Removes the Len entries at I (destroying children still held there), moving the rest down.
template <typename TNode> void CloseGap(TNode* N, int I, int Len) {
    auto& E = N->Entries;
    for (int K = I; K < I + Len; ++K)
        E[At(K)] = {};
    std::move(E.begin() + I + Len, E.begin() + N->Count, E.begin() + I);
    N->Count -= Len;
}

/// Moves the Len entries of From at I to To at ToI; returns the bytes they hold.
template <typename TNode> std::int64_t Transfer(TNode* From, int I, int Len, TNode* To, int ToI) {
    OpenGap(To, ToI, Len);
    std::int64_t Bytes = 0;
    for (int K = 0; K < Len; ++K) {
        auto& Entry = To->Entries[At(ToI + K)];
        Entry = std::move(From->Entries[At(I + K)]);
        Bytes += Entry.Size;
        Adopt(To, Entry.Ptr);
    }
    CloseGap(From, I, Len);
    return Bytes;
}

std::int64_t Transfer(TSegmentIndexNode* From, int I, int Len, TSegmentIndexNode* To, int ToI) {
    assert(From->Leaf == To->Leaf && "entries move between nodes of one level");
    return From->Leaf ? Transfer(AsLeaf(From), I, Len, AsLeaf(To), ToI)
                      : Transfer(AsBranch(From), I, Len, AsBranch(To), ToI);
}

std::int64_t Total(TSegmentIndexNode* N) {
    std::int64_t Sum = 0;
    for (int I = 0; I < N->Count; ++I)
        Sum += SizeAt(N, I);
    return Sum;
}

void PrefetchSegment(const TStreamSegment* Seg) {
    // A segment may straddle two cache lines: ask for both.
    const auto* const Bytes = reinterpret_cast<const char*>(Seg);
    __builtin_prefetch(Bytes);
    __builtin_prefetch(Bytes + sizeof(TStreamSegment) - 1);
}

} // namespace

TSegmentIndex::TSegmentIndex(int AFanout)
    : Fanout(std::clamp(AFanout, 4, MaxFanout)), MinFill(std::max(2, Fanout / 3)) {}

TSegmentIndex::~TSegmentIndex() = default;

void TSegmentIndex::Clear() {
    Root.reset();
}

void TSegmentIndex::AddAbove(TSegmentIndexNode* N, std::int64_t Delta) {
    for (; N->Parent != nullptr; N = N->Parent) {
        TSegmentIndexBranch* const P = AsBranch(N->Parent);
        P->Entries[At(SlotOf(P, N))].Size += Delta;
    }
}

TSegmentIndexLeaf* TSegmentIndex::FirstLeaf() const {
    TSegmentIndexNode* N = Root.get();
    while (!N->Leaf)
        N = AsBranch(N)->Entries[0].Ptr.get();
    return AsLeaf(N);
}

TSegmentIndexNode* TSegmentIndex::Split(TSegmentIndexNode* N) {
    std::unique_ptr<TSegmentIndexNode> Made;
    if (N->Leaf)
        Made = std::make_unique<TSegmentIndexLeaf>();
    else
        Made = std::make_unique<TSegmentIndexBranch>();
    TSegmentIndexNode* const Right = Made.get();
    const int Half = N->Count / 2;
    const std::int64_t RightBytes = Transfer(N, Half, N->Count - Half, Right, 0);
    if (N->Parent == nullptr) {
        auto Top = std::make_unique<TSegmentIndexBranch>();
        Top->Entries[0] = {Total(N), std::move(Root)};
        Top->Entries[1] = {RightBytes, std::move(Made)};
        Top->Count = 2;
        N->Parent = Top.get();
        Right->Parent = Top.get();
        Root = std::move(Top);
        return Right;
    }
    if (N->Parent->Count == Fanout)
        Split(N->Parent); // may move N to a new parent
    TSegmentIndexBranch* const P = AsBranch(N->Parent);
    const int I = SlotOf(P, N);
    OpenGap(P, I + 1, 1);
    P->Entries[At(I + 1)] = {RightBytes, std::move(Made)};
    P->Entries[At(I)].Size -= RightBytes;
    Right->Parent = P;
    return Right;
}

void TSegmentIndex::InsertAfter(TStreamSegment* After, TStreamSegment* Seg) {
    if (!Root) {
        auto Leaf = std::make_unique<TSegmentIndexLeaf>();
        Leaf->Entries[0] = {Seg->Size, Seg};
        Leaf->Count = 1;
        Seg->IndexLeaf = Leaf.get();
        Root = std::move(Leaf);
        return;
    }
    TSegmentIndexLeaf* Leaf = After != nullptr ? After->IndexLeaf : FirstLeaf();
    int Slot = After != nullptr ? SlotOf(Leaf, After) + 1 : 0;
    if (Leaf->Count == Fanout) {
        TSegmentIndexNode* const Right = Split(Leaf);
        if (Slot > Leaf->Count) {
            Slot -= Leaf->Count;
            Leaf = AsLeaf(Right);
        }
    }
    OpenGap(Leaf, Slot, 1);
    Leaf->Entries[At(Slot)] = {Seg->Size, Seg};
    Seg->IndexLeaf = Leaf;
    AddAbove(Leaf, Seg->Size);
}

void TSegmentIndex::Remove(TStreamSegment* Seg) {
    TSegmentIndexLeaf* const Leaf = Seg->IndexLeaf;
    const int Slot = SlotOf(Leaf, Seg);
    const std::int64_t Bytes = Leaf->Entries[At(Slot)].Size;
    CloseGap(Leaf, Slot, 1);
    Seg->IndexLeaf = nullptr;
    AddAbove(Leaf, -Bytes);
    Rebalance(Leaf);
}

void TSegmentIndex::Rebalance(TSegmentIndexNode* N) {
    for (;;) {
        if (N->Parent == nullptr) { // the root: a leaf may hold one entry, a branch two
            if (N->Leaf && N->Count == 0) {
                Root.reset();
            } else if (!N->Leaf && N->Count == 1) {
                std::unique_ptr<TSegmentIndexNode> Child = std::move(AsBranch(N)->Entries[0].Ptr);
                Child->Parent = nullptr;
                Root = std::move(Child);
            }
            return;
        }
        if (N->Count >= MinFill)
            return;
        TSegmentIndexBranch* const P = AsBranch(N->Parent);
        const int I = SlotOf(P, N);
        const int L = I > 0 ? I - 1 : I; // every inner node has two children or more
        TSegmentIndexNode* const Left = P->Entries[At(L)].Ptr.get();
        TSegmentIndexNode* const Right = P->Entries[At(L + 1)].Ptr.get();
        if (Left->Count + Right->Count <= Fanout) {
            P->Entries[At(L)].Size += Transfer(Right, 0, Right->Count, Left, Left->Count);
            CloseGap(P, L + 1, 1); // destroys the emptied Right
            N = P;
            continue;
        }
        // Too many for one node: share them evenly, which leaves both within the limits.
        const int Even = (Left->Count + Right->Count) / 2;
        const std::int64_t Moved = Left->Count < Even
                                       ? Transfer(Right, 0, Even - Left->Count, Left, Left->Count)
                                       : -Transfer(Left, Even, Left->Count - Even, Right, 0);
        P->Entries[At(L)].Size += Moved;
        P->Entries[At(L + 1)].Size -= Moved;
        return;
    }
}

void TSegmentIndex::Resized(TStreamSegment* Seg, std::int64_t Delta) {
    TSegmentIndexLeaf* const Leaf = Seg->IndexLeaf;
    Leaf->Entries[At(SlotOf(Leaf, Seg))].Size += Delta;
    AddAbove(Leaf, Delta);
}

TStreamSegment* TSegmentIndex::Find(std::int64_t Pos, std::int64_t& SegStart) const {
    if (!Root || Pos < 0)
        return nullptr;
    const TSegmentIndexNode* N = Root.get();
    std::int64_t Rest = Pos; // bytes before Pos within N
    while (!N->Leaf) {
        const auto* const Branch = static_cast<const TSegmentIndexBranch*>(N);
        std::size_t I = 0;
        const auto Count = At(N->Count);
        while (I < Count && Rest >= Branch->Entries[I].Size)
            Rest -= Branch->Entries[I++].Size;
        if (I == Count)
            return nullptr;
        N = Branch->Entries[I].Ptr.get();
        // Ask for the lines the scan of the child reads all at once, not one after the other.
        const auto* const Bytes = reinterpret_cast<const char*>(N);
        for (std::size_t Line = 0; Line < PrefetchLines; ++Line)
            __builtin_prefetch(Bytes + Line * CacheLine);
    }
    const auto* const Leaf = static_cast<const TSegmentIndexLeaf*>(N);
    std::size_t I = 0;
    const auto Count = At(N->Count);
    while (I < Count && Rest >= Leaf->Entries[I].Size)
        Rest -= Leaf->Entries[I++].Size;
    if (I == Count)
        return nullptr;
    SegStart = Pos - Rest;
    // The caller reads this segment and, most often, the few after it: fetch them all at once.
    std::int64_t Ahead = -Rest;
    for (std::size_t J = I; J < Count && Ahead < FindAheadBytes; ++J) {
        PrefetchSegment(Leaf->Entries[J].Ptr);
        Ahead += Leaf->Entries[J].Size;
    }
    return Leaf->Entries[I].Ptr;
}

void TSegmentIndex::Prefetch(const TStreamSegment* Seg, std::int64_t Offset,
                             std::int64_t Count) const {
    const TSegmentIndexLeaf* const Leaf = Seg->IndexLeaf;
    if (Leaf == nullptr)
        return;
    auto I = At(SlotOf(Leaf, Seg));
    const auto End = At(Leaf->Count);
    for (std::int64_t Ahead = Leaf->Entries[I].Size - Offset; Ahead < Count && ++I < End;) {
        PrefetchSegment(Leaf->Entries[I].Ptr);
        Ahead += Leaf->Entries[I].Size;
    }
}

int TSegmentIndex::GetDepth() const {
    int Depth = 0;
    for (const TSegmentIndexNode* N = Root.get(); N != nullptr;
         N = N->Leaf ? nullptr : static_cast<const TSegmentIndexBranch*>(N)->Entries[0].Ptr.get())
        ++Depth;
    return Depth;
}

bool TSegmentIndex::CheckNode(const TSegmentIndexNode* N, const TSegmentIndexNode* Parent,
                              int Depth, int& LeafDepth, const TStreamSegment*& Expected,
                              std::int64_t& Sum) const {
    const int Least = Parent != nullptr ? MinFill : N->Leaf ? 1 : 2;
    if (N->Parent != Parent || N->Count < Least || N->Count > Fanout)
        return false;
    Sum = 0;
    for (int I = 0; I < N->Count; ++I) {
        if (N->Leaf) {
            const auto& Entry = static_cast<const TSegmentIndexLeaf*>(N)->Entries[At(I)];
            if (Entry.Ptr != Expected || Entry.Ptr->IndexLeaf != N || Entry.Size != Entry.Ptr->Size)
                return false;
            Expected = Expected->Next;
            Sum += Entry.Size;
        } else {
            const auto& Entry = static_cast<const TSegmentIndexBranch*>(N)->Entries[At(I)];
            std::int64_t Below = 0;
            if (!CheckNode(Entry.Ptr.get(), N, Depth + 1, LeafDepth, Expected, Below) ||
                Below != Entry.Size)
                return false;
            Sum += Entry.Size;
        }
    }
    if (N->Leaf) {
        if (LeafDepth < 0)
            LeafDepth = Depth;
        return LeafDepth == Depth;
    }
    return true;
}

bool TSegmentIndex::IsConsistent(const TStreamSegment* Head) const {
    if (!Root)
        return Head == nullptr;
    int LeafDepth = -1;
    const TStreamSegment* Expected = Head;
    std::int64_t Sum = 0;
    return CheckNode(Root.get(), nullptr, 1, LeafDepth, Expected, Sum) && Expected == nullptr;
}

} // namespace kestrel
