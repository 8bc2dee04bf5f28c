// What the line scanner and the line counts share: the break characters and the arithmetic of
// widths and tab stops.
#pragma once

#include "textbuff/byte_scan.h"
#include "textbuff/line_scan.h"
#include "textbuff/text_types.h"

#include <bit>
#include <cstdint>

namespace kestrel::linescan {

// A space or a hyphen: a wrapped line may end after it.
inline bool IsBreakChar(std::uint8_t B) {
    return B == ' ' || B == '-';
}

// Q mod D (0 <= result < D, for Q of any sign) where D > 0: a mask when D is a power of two.
inline std::int64_t ModuloOf(std::int64_t Q, std::int64_t D) {
    if ((D & (D - 1)) == 0)
        return Q & (D - 1);
    const std::int64_t R = Q % D;
    return R < 0 ? R + D : R;
}

// Q div D for Q >= 0 and D > 0: a shift when D is a power of two.
inline std::int64_t QuotientOf(std::int64_t Q, std::int64_t D) {
    if ((D & (D - 1)) == 0)
        return Q >> std::countr_zero(static_cast<std::uint64_t>(D));
    return Q / D;
}

// The advance of a tab at width W: to the first stop beyond W, searching on from TabIndex
// (which moves past every stop examined); past the last, to the next multiple of the default.
inline std::int64_t TabAdvance(std::int64_t W, int& TabIndex, const TScanMetrics& M) {
    while (TabIndex < M.TabCount) {
        const std::int64_t Stop = M.TabPositions[TabIndex++];
        if (Stop > W)
            return Stop - W;
    }
    const std::int64_t D = M.DefaultTabWidth > 0 ? M.DefaultTabWidth : 1;
    return D - ModuloOf(W, D);
}

// The uniform bytes of [P, End) from width W, 64 at a time, up to the first LF, FF or CR or to
// the byte that would take the width beyond Limit (or a little before: a block that could pass
// it is left to the caller): returns where it stopped with their width added to W, tabs
// advancing to their stops. With Limit NoWrapWidth it stops only at LF, FF, CR or End.
const std::uint8_t* UniformSpan(const std::uint8_t* P, const std::uint8_t* End, std::int64_t& W,
                                std::int64_t Limit, const TScanMetrics& M);

// The width from Buffer up to P of uniform bytes holding no LF or FF (a CR is a character).
inline std::int64_t UniformWidthTo(const std::uint8_t* Buffer, const std::uint8_t* P,
                                   const TScanMetrics& M) {
    std::int64_t W = 0;
    for (const std::uint8_t* I = Buffer; (I = UniformSpan(I, P, W, NoWrapWidth, M)) != P; ++I)
        W += M.UniformWidth;
    return W;
}

} // namespace kestrel::linescan
