// Fast byte finders for the line scanner and the search: sixteen bytes at a time through the
// compilers' portable vector types, with plain loops for the tails.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace kestrel::bytescan {

typedef std::uint8_t TVec16 __attribute__((vector_size(16)));

inline TVec16 Splat(std::uint8_t C) {
    TVec16 V;
    for (int I = 0; I < 16; ++I)
        V[I] = C;
    return V;
}

inline TVec16 Load(const std::uint8_t* P) {
    TVec16 V;
    std::memcpy(&V, P, 16);
    return V;
}

// The two halves of a comparison mask (each byte 0x00 or 0xFF).
template <typename M> inline void Halves(const M& Mask, std::uint64_t& Lo, std::uint64_t& Hi) {
    static_assert(sizeof(M) == 16);
    std::memcpy(&Lo, &Mask, 8);
    std::memcpy(&Hi, reinterpret_cast<const char*>(&Mask) + 8, 8);
}

// Index (0..15) of the first marked byte of a non-empty mask.
inline int FirstMarked(std::uint64_t Lo, std::uint64_t Hi) {
    if constexpr (std::endian::native == std::endian::little)
        return Lo != 0 ? std::countr_zero(Lo) / 8 : 8 + std::countr_zero(Hi) / 8;
    else
        return Lo != 0 ? std::countl_zero(Lo) / 8 : 8 + std::countl_zero(Hi) / 8;
}

// Index (0..15) of the last marked byte of a non-empty mask.
inline int LastMarked(std::uint64_t Lo, std::uint64_t Hi) {
    if constexpr (std::endian::native == std::endian::little)
        return Hi != 0 ? 15 - std::countl_zero(Hi) / 8 : 7 - std::countl_zero(Lo) / 8;
    else
        return Hi != 0 ? 15 - std::countr_zero(Hi) / 8 : 7 - std::countr_zero(Lo) / 8;
}

inline std::uint64_t SwapBytes(std::uint64_t V) {
    std::uint64_t R = 0;
    for (int I = 0; I < 8; ++I, V >>= 8)
        R = R << 8 | (V & 0xFF);
    return R;
}

// The marks of a mask as 16 bits, bit I for byte I, without branches.
template <typename M> inline std::uint64_t BitMask(const M& Mask) {
    std::uint64_t Lo, Hi;
    Halves(Mask, Lo, Hi);
    // The top bit of each byte, gathered into the top byte by one multiplication.
    constexpr std::uint64_t Tops = 0x8080808080808080ULL, Gather = 0x0002040810204081ULL;
    if constexpr (std::endian::native != std::endian::little) {
        Lo = SwapBytes(Lo);
        Hi = SwapBytes(Hi);
    }
    return ((Lo & Tops) * Gather >> 56) | (((Hi & Tops) * Gather >> 56) << 8);
}

/// The first byte in [P, End) below Limit, or End.
inline const std::uint8_t* FindBelow(const std::uint8_t* P, const std::uint8_t* End,
                                     std::uint8_t Limit) {
    const TVec16 L = Splat(Limit);
    while (End - P >= 64) {
        const auto M0 = Load(P) < L, M1 = Load(P + 16) < L, M2 = Load(P + 32) < L,
                   M3 = Load(P + 48) < L;
        std::uint64_t Lo, Hi;
        Halves(M0 | M1 | M2 | M3, Lo, Hi);
        if ((Lo | Hi) != 0)
            return P + std::countr_zero(BitMask(M0) | BitMask(M1) << 16 | BitMask(M2) << 32 |
                                        BitMask(M3) << 48);
        P += 64;
    }
    while (End - P >= 16) {
        std::uint64_t Lo, Hi;
        Halves(Load(P) < L, Lo, Hi);
        if ((Lo | Hi) != 0)
            return P + FirstMarked(Lo, Hi);
        P += 16;
    }
    while (P < End && *P >= Limit)
        ++P;
    return P;
}

/// The last byte in [Begin, P) equal to A or B, or nullptr.
inline const std::uint8_t* FindEitherBack(const std::uint8_t* Begin, const std::uint8_t* P,
                                          std::uint8_t A, std::uint8_t B) {
    const TVec16 VA = Splat(A), VB = Splat(B);
    while (P - Begin >= 32) {
        const TVec16 X = Load(P - 32), Y = Load(P - 16);
        std::uint64_t Lo, Hi;
        Halves((X == VA) | (X == VB) | (Y == VA) | (Y == VB), Lo, Hi);
        if ((Lo | Hi) != 0)
            break;
        P -= 32;
    }
    while (P - Begin >= 16) {
        const TVec16 X = Load(P - 16);
        std::uint64_t Lo, Hi;
        Halves((X == VA) | (X == VB), Lo, Hi);
        if ((Lo | Hi) != 0)
            return P - 16 + LastMarked(Lo, Hi);
        P -= 16;
    }
    while (P > Begin) {
        --P;
        if (*P == A || *P == B)
            return P;
    }
    return nullptr;
}

/// The candidate starts S of [First, Last] with Base[S + K1] equal to A1 or B1 and
/// Base[S + K2] equal to A2 or B2, in increasing order (decreasing when Backward), offered to
/// Accept until it takes one: returns that S, or -1. Reads Base[First + min(K1, K2)] up to
/// Base[Last + max(K1, K2)] only.
template <typename F>
inline int FindAnchored(const std::uint8_t* Base, int First, int Last, int K1, std::uint8_t A1,
                        std::uint8_t B1, int K2, std::uint8_t A2, std::uint8_t B2, bool Backward,
                        F Accept) {
    const TVec16 VA1 = Splat(A1), VB1 = Splat(B1), VA2 = Splat(A2), VB2 = Splat(B2);
    auto Marks = [&](int S) { // bit I: candidate S + I
        const TVec16 X = Load(Base + S + K1), Y = Load(Base + S + K2);
        const auto M = ((X == VA1) | (X == VB1)) & ((Y == VA2) | (Y == VB2));
        std::uint64_t Lo, Hi;
        Halves(M, Lo, Hi);
        return (Lo | Hi) == 0 ? std::uint64_t{0} : BitMask(M);
    };
    auto Single = [&](int S) {
        const std::uint8_t X = Base[S + K1], Y = Base[S + K2];
        return (X == A1 || X == B1) && (Y == A2 || Y == B2) && Accept(S);
    };
    if (!Backward) {
        int S = First;
        for (; Last - S + 1 >= 16; S += 16)
            for (std::uint64_t M = Marks(S); M != 0; M &= M - 1)
                if (Accept(S + std::countr_zero(M)))
                    return S + std::countr_zero(M);
        for (; S <= Last; ++S)
            if (Single(S))
                return S;
        return -1;
    }
    int S = Last;
    for (; S - First + 1 >= 16; S -= 16)
        for (std::uint64_t M = Marks(S - 15); M != 0;) {
            const int I = std::bit_width(M) - 1;
            if (Accept(S - 15 + I))
                return S - 15 + I;
            M &= ~(std::uint64_t{1} << I);
        }
    for (; S >= First; --S)
        if (Single(S))
            return S;
    return -1;
}

} // namespace kestrel::bytescan
