// TMatchList: the offsets of many matches in about four bytes each.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace kestrel {

/// Text offsets added in the order they were found (ascending, or descending for a backward
/// search), kept in blocks of 32-bit distances from each block's first offset, so that ten
/// million matches take some 40 MB and the list never holds two copies of itself while it grows.
class TMatchList {
public:
    /// Entries per block.
    static constexpr std::int64_t BlockSize = 16384;

    void Add(std::int64_t Offset);
    std::int64_t Size() const { return Count; }
    bool Empty() const { return Count == 0; }
    /// Entry I (0 .. Size() - 1) in reading order.
    std::int64_t Get(std::int64_t I) const;
    /// Reads the entries from the last added to the first from now on (a backward search's
    /// list becomes ascending).
    void Reverse() { Reversed = !Reversed; }
    /// Adds D to every entry.
    void Shift(std::int64_t D);
    /// Keeps the first N entries added.
    void Truncate(std::int64_t N);
    /// Calls Visit with every entry in reading order; stops when it returns false.
    void ForEach(const std::function<bool(std::int64_t)>& Visit) const;

private:
    struct TBlock {
        std::int64_t Base = 0;              // the block's first entry
        std::int64_t First = 0;             // the index (in the order added) of that entry
        std::vector<std::int32_t> Distance; // entry - Base, for every entry of the block
    };
    std::int64_t Raw(std::int64_t R) const; // the R-th entry added

    std::vector<TBlock> Blocks; // by First, ascending; none empty
    std::int64_t Count = 0;
    bool Reversed = false;
};

} // namespace kestrel
