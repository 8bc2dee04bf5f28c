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

/// The first byte in [P, End) below Limit, or End.
inline const std::uint8_t* FindBelow(const std::uint8_t* P, const std::uint8_t* End,
                                     std::uint8_t Limit) {
    const TVec16 L = Splat(Limit);
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

/// The first byte in [P, End) equal to A or B (A == B for one value), or End.
inline const std::uint8_t* FindEither(const std::uint8_t* P, const std::uint8_t* End,
                                      std::uint8_t A, std::uint8_t B) {
    const TVec16 VA = Splat(A), VB = Splat(B);
    while (End - P >= 32) {
        const TVec16 X = Load(P), Y = Load(P + 16);
        std::uint64_t Lo, Hi;
        Halves((X == VA) | (X == VB) | (Y == VA) | (Y == VB), Lo, Hi);
        if ((Lo | Hi) != 0)
            break; // somewhere in these 32: the 16-byte loop below finds it
        P += 32;
    }
    while (End - P >= 16) {
        const TVec16 X = Load(P);
        std::uint64_t Lo, Hi;
        Halves((X == VA) | (X == VB), Lo, Hi);
        if ((Lo | Hi) != 0)
            return P + FirstMarked(Lo, Hi);
        P += 16;
    }
    while (P < End && *P != A && *P != B)
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

} // namespace kestrel::bytescan
