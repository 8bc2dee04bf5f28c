// TMatchList: blocks of 32-bit distances.
#include "textbuff/match_list.h"

#include <algorithm>
#include <limits>

namespace kestrel {

void TMatchList::Add(std::int64_t Offset) {
    const bool Fits = !Blocks.empty() &&
                      static_cast<std::int64_t>(Blocks.back().Distance.size()) < BlockSize &&
                      Offset - Blocks.back().Base >= std::numeric_limits<std::int32_t>::min() &&
                      Offset - Blocks.back().Base <= std::numeric_limits<std::int32_t>::max();
    if (!Fits) {
        TBlock B;
        B.Base = Offset;
        B.First = Count;
        B.Distance.reserve(static_cast<std::size_t>(BlockSize));
        Blocks.push_back(std::move(B));
    }
    TBlock& B = Blocks.back();
    B.Distance.push_back(static_cast<std::int32_t>(Offset - B.Base));
    ++Count;
}

std::int64_t TMatchList::Raw(std::int64_t R) const {
    const auto It = std::upper_bound(Blocks.begin(), Blocks.end(), R,
                                     [](std::int64_t V, const TBlock& B) { return V < B.First; });
    const TBlock& B = *(It - 1);
    return B.Base + B.Distance[static_cast<std::size_t>(R - B.First)];
}

std::int64_t TMatchList::Get(std::int64_t I) const {
    return Raw(Reversed ? Count - 1 - I : I);
}

void TMatchList::Shift(std::int64_t D) {
    for (TBlock& B : Blocks)
        B.Base += D;
}

void TMatchList::Truncate(std::int64_t N) {
    while (Count > std::max<std::int64_t>(0, N)) {
        TBlock& B = Blocks.back();
        B.Distance.pop_back();
        --Count;
        if (B.Distance.empty())
            Blocks.pop_back();
    }
}

void TMatchList::ForEach(const std::function<bool(std::int64_t)>& Visit) const {
    if (!Reversed) {
        for (const TBlock& B : Blocks)
            for (const std::int32_t D : B.Distance)
                if (!Visit(B.Base + D))
                    return;
        return;
    }
    for (auto B = Blocks.rbegin(); B != Blocks.rend(); ++B)
        for (auto D = B->Distance.rbegin(); D != B->Distance.rend(); ++D)
            if (!Visit(B->Base + *D))
                return;
}

} // namespace kestrel
