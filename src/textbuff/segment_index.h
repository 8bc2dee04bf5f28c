// The position index of a segment list: a B-tree with wide nodes over the segments, in list order,
// that finds the segment holding any text position.
#pragma once

#include <cstdint>
#include <memory>

namespace kestrel {

class TStreamSegment;
struct TSegmentIndexNode;
struct TSegmentIndexLeaf;

/// The segments of a list in list order, in a B-tree whose leaves hold the segments with their
/// sizes and whose inner nodes hold the byte count below each child. Finding a position reads a
/// few contiguous arrays instead of chasing one pointer per level of a binary tree; a segment
/// knows its leaf (TStreamSegment::IndexLeaf), so changes start there and walk up.
class TSegmentIndex {
public:
    /// The widest node; also the default.
    static constexpr int MaxFanout = 64;
    /// Fanout: entries per node, 4 .. MaxFanout (narrow nodes let tests reach deep trees).
    explicit TSegmentIndex(int AFanout = MaxFanout);
    ~TSegmentIndex();
    TSegmentIndex(const TSegmentIndex&) = delete;
    TSegmentIndex& operator=(const TSegmentIndex&) = delete;

    /// Forgets every segment at once (their IndexLeaf is left as it was).
    void Clear();
    /// Adds Seg right after After in the order (first when After is nullptr).
    void InsertAfter(TStreamSegment* After, TStreamSegment* Seg);
    void Remove(TStreamSegment* Seg);
    /// Seg's size has changed by Delta.
    void Resized(TStreamSegment* Seg, std::int64_t Delta);
    /// The segment holding Pos (0 <= Pos < the total size) and the position of its first byte;
    /// nullptr outside.
    TStreamSegment* Find(std::int64_t Pos, std::int64_t& SegStart) const;

    /// Asks the processor to fetch the segments that hold the Count bytes after Offset in Seg
    /// (as far as Seg's leaf knows them), so that a walk through them does not wait on each.
    void Prefetch(const TStreamSegment* Seg, std::int64_t Offset, std::int64_t Count) const;

    int GetFanout() const { return Fanout; }
    /// Levels of the tree; 0 when empty.
    int GetDepth() const;
    /// The tree holds exactly the list from Head, in order, with the right sizes; every node is
    /// within its fill limits and every leaf at the same depth.
    bool IsConsistent(const TStreamSegment* Head) const;

private:
    /// Splits the full node N in two; the upper half goes to a new right sibling, returned.
    TSegmentIndexNode* Split(TSegmentIndexNode* N);
    /// Restores the fill limits after N lost entries, merging or evening out nodes upwards.
    void Rebalance(TSegmentIndexNode* N);
    /// Adds Delta to the byte counts above N.
    static void AddAbove(TSegmentIndexNode* N, std::int64_t Delta);
    TSegmentIndexLeaf* FirstLeaf() const;
    bool CheckNode(const TSegmentIndexNode* N, const TSegmentIndexNode* Parent, int Depth,
                   int& LeafDepth, const TStreamSegment*& Expected, std::int64_t& Sum) const;

    int Fanout;
    int MinFill; // entries of a node other than the root: MinFill .. Fanout
    std::unique_ptr<TSegmentIndexNode> Root; // nullptr exactly when empty
};

} // namespace kestrel
