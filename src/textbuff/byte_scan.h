// Fast byte finders for the line scanner and the search: sixteen bytes at a time through the
// compilers' portable vector types, with plain loops for the tails. A comparison's marks become
// bits through the processor's byte-mask instruction where the target has one (SSE2, part of
// every x86-64), else through a portable gather. On x86-64 the block kernels also come in AVX2
// and AVX-512 forms, for functions compiled for those instruction sets and chosen at run time.
#pragma once

#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define KESTREL_BLOCK_ISA_X86 1
#endif

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

inline std::uint64_t SwapBytes(std::uint64_t V) {
    std::uint64_t R = 0;
    for (int I = 0; I < 8; ++I, V >>= 8)
        R = R << 8 | (V & 0xFF);
    return R;
}

/// The marks of a comparison mask (each byte 0x00 or 0xFF) as 16 bits, bit I for byte I, by
/// multiplication: the fallback for targets without a byte-mask instruction.
template <typename M> inline std::uint32_t MarkBitsPortable(const M& Mask) {
    static_assert(sizeof(M) == 16);
    std::uint64_t Lo, Hi;
    std::memcpy(&Lo, &Mask, 8);
    std::memcpy(&Hi, reinterpret_cast<const char*>(&Mask) + 8, 8);
    if constexpr (std::endian::native != std::endian::little) {
        Lo = SwapBytes(Lo);
        Hi = SwapBytes(Hi);
    }
    // The top bit of each byte, gathered into the top byte by one multiplication.
    constexpr std::uint64_t Tops = 0x8080808080808080ULL, Gather = 0x0002040810204081ULL;
    return static_cast<std::uint32_t>(((Lo & Tops) * Gather >> 56) |
                                      (((Hi & Tops) * Gather >> 56) << 8));
}

/// The marks of a comparison mask as 16 bits, bit I for byte I.
template <typename M> inline std::uint32_t MarkBits(const M& Mask) {
    static_assert(sizeof(M) == 16);
#if defined(__SSE2__)
    return static_cast<std::uint32_t>(_mm_movemask_epi8(std::bit_cast<__m128i>(Mask)));
#else
    return MarkBitsPortable(Mask);
#endif
}

/// The number of bits set: the processor's instruction where the target has it, else a few
/// shifts and adds (never a library call).
inline int PopCount(std::uint64_t X) {
#if defined(__POPCNT__)
    return std::popcount(X);
#else
    X -= (X >> 1) & 0x5555555555555555ULL;
    X = (X & 0x3333333333333333ULL) + ((X >> 2) & 0x3333333333333333ULL);
    X = (X + (X >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return static_cast<int>((X * 0x0101010101010101ULL) >> 56);
#endif
}

/// Bit I set where Test marks byte I of the 64 bytes at P (Test maps 16 loaded bytes to a
/// comparison mask).
template <typename F> inline std::uint64_t Marks64(const std::uint8_t* P, F Test) {
    return std::uint64_t{MarkBits(Test(Load(P)))} |
           std::uint64_t{MarkBits(Test(Load(P + 16)))} << 16 |
           std::uint64_t{MarkBits(Test(Load(P + 32)))} << 32 |
           std::uint64_t{MarkBits(Test(Load(P + 48)))} << 48;
}

/// The same for the N (0 .. 63) bytes at P, compared in a copy so that nothing beyond them is
/// read.
template <typename F>
[[gnu::noinline]] std::uint64_t MarksShort(const std::uint8_t* P, int N, F Test) {
    std::uint8_t Copy[64] = {};
    if (N > 0)
        std::memcpy(Copy, P, static_cast<std::size_t>(N));
    return Marks64(Copy, Test) & ((std::uint64_t{1} << N) - 1);
}

/// Hides X's value from the optimiser, so that a loop of fixed length over the bits of a mask
/// is not turned into branches on the bits left (which the processor mispredicts).
inline void Opaque(std::uint64_t& X) {
#if defined(__GNUC__) || defined(__clang__)
    __asm__("" : "+r"(X));
#else
    (void)X;
#endif
}

/// The test of the bytes below Limit.
struct TBelow {
    explicit TBelow(std::uint8_t Limit) : FLimit(Splat(Limit)) {}
    auto operator()(const TVec16& X) const { return X < FLimit; }
    TVec16 FLimit;
};

/// The test of the bytes equal to Value.
struct TEqual {
    explicit TEqual(std::uint8_t Value) : FValue(Splat(Value)) {}
    auto operator()(const TVec16& X) const { return X == FValue; }
    TVec16 FValue;
};

/// The test of the bytes equal to any of three values.
struct TEqualAny {
    TEqualAny(std::uint8_t A, std::uint8_t B, std::uint8_t C)
        : FA(Splat(A)), FB(Splat(B)), FC(Splat(C)) {}
    auto operator()(const TVec16& X) const { return (X == FA) | (X == FB) | (X == FC); }
    TVec16 FA, FB, FC;
};

// ---- block kernels: marks of the 64 bytes at P, bit I for byte I

/// The kernels of every target: sixteen bytes at a time.
struct TBaseBlocks {
    static std::uint64_t Equal(const std::uint8_t* P, std::uint8_t A) {
        return Marks64(P, TEqual(A));
    }
    static std::uint64_t EqualAny(const std::uint8_t* P, std::uint8_t A, std::uint8_t B,
                                  std::uint8_t C) {
        return Marks64(P, TEqualAny(A, B, C));
    }
    /// The marks of A, and in AnyB whether some byte equals B.
    static std::uint64_t EqualAndAny(const std::uint8_t* P, std::uint8_t A, std::uint8_t B,
                                     bool& AnyB) {
        const TVec16 X0 = Load(P), X1 = Load(P + 16), X2 = Load(P + 32), X3 = Load(P + 48);
        const TVec16 VA = Splat(A), VB = Splat(B);
        AnyB = MarkBits((X0 == VB) | (X1 == VB) | (X2 == VB) | (X3 == VB)) != 0;
        return std::uint64_t{MarkBits(X0 == VA)} | std::uint64_t{MarkBits(X1 == VA)} << 16 |
               std::uint64_t{MarkBits(X2 == VA)} << 32 | std::uint64_t{MarkBits(X3 == VA)} << 48;
    }
    /// The marks of each of the Count values, one load of the bytes for all.
    template <int Count>
    static void EqualEach(const std::uint8_t* P, const std::uint8_t (&Values)[Count],
                          std::uint64_t (&Marks)[Count]) {
        const TVec16 X[4] = {Load(P), Load(P + 16), Load(P + 32), Load(P + 48)};
        for (int V = 0; V < Count; ++V) {
            const TVec16 Value = Splat(Values[V]);
            Marks[V] = 0;
            for (int I = 0; I < 4; ++I)
                Marks[V] |= std::uint64_t{MarkBits(X[I] == Value)} << (16 * I);
        }
    }
    static int Count(std::uint64_t X) { return PopCount(X); }
};

#if defined(KESTREL_BLOCK_ISA_X86)

// The instruction sets of the two wider levels: with the bit instructions (counts of leading and
// trailing zeros, population count) that come with them, which DetectBlockIsa checks as well.
#define KESTREL_TARGET_AVX2 "avx2,bmi,bmi2,popcnt"
#define KESTREL_TARGET_AVX512 "avx512f,avx512bw,avx2,bmi,bmi2,popcnt"

/// The kernels for functions compiled for AVX2 (target KESTREL_TARGET_AVX2): 32 bytes at a time.
struct TAvx2Blocks {
    [[gnu::target(KESTREL_TARGET_AVX2)]] static std::uint64_t Join(__m256i M0, __m256i M1) {
        return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(M0))} |
               std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(M1))} << 32;
    }
    [[gnu::target(KESTREL_TARGET_AVX2)]] static __m256i Load32(const std::uint8_t* P) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(P));
    }
    [[gnu::target(KESTREL_TARGET_AVX2)]] static __m256i Splat32(std::uint8_t C) {
        return _mm256_set1_epi8(static_cast<char>(C));
    }
    [[gnu::target(KESTREL_TARGET_AVX2)]] static std::uint64_t Equal(const std::uint8_t* P,
                                                                    std::uint8_t A) {
        const __m256i VA = Splat32(A);
        return Join(_mm256_cmpeq_epi8(Load32(P), VA), _mm256_cmpeq_epi8(Load32(P + 32), VA));
    }
    [[gnu::target(KESTREL_TARGET_AVX2)]] static std::uint64_t
    EqualAny(const std::uint8_t* P, std::uint8_t A, std::uint8_t B, std::uint8_t C) {
        const __m256i VA = Splat32(A), VB = Splat32(B), VC = Splat32(C);
        const __m256i X0 = Load32(P), X1 = Load32(P + 32);
        const __m256i M0 =
            _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(X0, VA), _mm256_cmpeq_epi8(X0, VB)),
                            _mm256_cmpeq_epi8(X0, VC));
        const __m256i M1 =
            _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(X1, VA), _mm256_cmpeq_epi8(X1, VB)),
                            _mm256_cmpeq_epi8(X1, VC));
        return Join(M0, M1);
    }
    [[gnu::target(KESTREL_TARGET_AVX2)]] static std::uint64_t
    EqualAndAny(const std::uint8_t* P, std::uint8_t A, std::uint8_t B, bool& AnyB) {
        const __m256i VA = Splat32(A), VB = Splat32(B);
        const __m256i X0 = Load32(P), X1 = Load32(P + 32);
        const __m256i MB = _mm256_or_si256(_mm256_cmpeq_epi8(X0, VB), _mm256_cmpeq_epi8(X1, VB));
        AnyB = !_mm256_testz_si256(MB, MB);
        return Join(_mm256_cmpeq_epi8(X0, VA), _mm256_cmpeq_epi8(X1, VA));
    }
    template <int Count>
    [[gnu::target(KESTREL_TARGET_AVX2)]] static void EqualEach(const std::uint8_t* P,
                                                               const std::uint8_t (&Values)[Count],
                                                               std::uint64_t (&Marks)[Count]) {
        const __m256i X0 = Load32(P), X1 = Load32(P + 32);
        for (int V = 0; V < Count; ++V) {
            const __m256i Value = Splat32(Values[V]);
            Marks[V] = Join(_mm256_cmpeq_epi8(X0, Value), _mm256_cmpeq_epi8(X1, Value));
        }
    }
    [[gnu::target(KESTREL_TARGET_AVX2)]] static int Count(std::uint64_t X) {
        return __builtin_popcountll(X);
    }
};

/// The kernels for functions compiled for AVX-512 (target KESTREL_TARGET_AVX512): 64 bytes at a
/// time, straight into a mask.
struct TAvx512Blocks {
    [[gnu::target(KESTREL_TARGET_AVX512)]] static __m512i Load64(const std::uint8_t* P) {
        return _mm512_loadu_si512(P);
    }
    [[gnu::target(KESTREL_TARGET_AVX512)]] static std::uint64_t Equal(const std::uint8_t* P,
                                                                      std::uint8_t A) {
        return _mm512_cmpeq_epi8_mask(Load64(P), _mm512_set1_epi8(static_cast<char>(A)));
    }
    [[gnu::target(KESTREL_TARGET_AVX512)]] static std::uint64_t
    EqualAny(const std::uint8_t* P, std::uint8_t A, std::uint8_t B, std::uint8_t C) {
        const __m512i X = Load64(P);
        return _mm512_cmpeq_epi8_mask(X, _mm512_set1_epi8(static_cast<char>(A))) |
               _mm512_cmpeq_epi8_mask(X, _mm512_set1_epi8(static_cast<char>(B))) |
               _mm512_cmpeq_epi8_mask(X, _mm512_set1_epi8(static_cast<char>(C)));
    }
    [[gnu::target(KESTREL_TARGET_AVX512)]] static std::uint64_t
    EqualAndAny(const std::uint8_t* P, std::uint8_t A, std::uint8_t B, bool& AnyB) {
        const __m512i X = Load64(P);
        AnyB = _mm512_cmpeq_epi8_mask(X, _mm512_set1_epi8(static_cast<char>(B))) != 0;
        return _mm512_cmpeq_epi8_mask(X, _mm512_set1_epi8(static_cast<char>(A)));
    }
    template <int Count>
    [[gnu::target(KESTREL_TARGET_AVX512)]] static void
    EqualEach(const std::uint8_t* P, const std::uint8_t (&Values)[Count],
              std::uint64_t (&Marks)[Count]) {
        const __m512i X = Load64(P);
        for (int V = 0; V < Count; ++V)
            Marks[V] = _mm512_cmpeq_epi8_mask(X, _mm512_set1_epi8(static_cast<char>(Values[V])));
    }
    [[gnu::target(KESTREL_TARGET_AVX512)]] static int Count(std::uint64_t X) {
        return __builtin_popcountll(X);
    }
};

#endif

/// The block kernels a function may use: the widest the processor runs, at most the cap.
enum TBlockIsa : int { biBase, biAvx2, biAvx512 };

namespace detail {
inline std::atomic<int> BlockIsaCap{biAvx512};

inline TBlockIsa DetectBlockIsa() {
#if defined(KESTREL_BLOCK_ISA_X86)
    __builtin_cpu_init();
    const bool Avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                      __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
    if (Avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"))
        return biAvx512;
    return Avx2 ? biAvx2 : biBase;
#else
    return biBase;
#endif
}
} // namespace detail

/// The widest block kernels this processor runs.
inline TBlockIsa SupportedBlockIsa() {
    static const TBlockIsa Supported = detail::DetectBlockIsa();
    return Supported;
}

/// The kernels to use now: the supported ones, narrowed by SetBlockIsaCap.
inline TBlockIsa BlockIsa() {
    const int Cap = detail::BlockIsaCap.load(std::memory_order_relaxed);
    const TBlockIsa Supported = SupportedBlockIsa();
    return Cap < Supported ? static_cast<TBlockIsa>(Cap) : Supported;
}

/// Narrows the kernels used from now on to Cap at most (so that the narrower forms can be held
/// to the same results on a processor that runs the wider ones).
inline void SetBlockIsaCap(TBlockIsa Cap) {
    detail::BlockIsaCap.store(Cap, std::memory_order_relaxed);
}

namespace detail {
inline thread_local std::int64_t BlocksWalked = 0;
} // namespace detail

/// Notes that the layout's scans classified Blocks blocks of 64 bytes: counted in builds without
/// NDEBUG only, so that tests can hold the scans to the work a line needs.
inline void NoteBlocks([[maybe_unused]] std::int64_t Blocks) {
#ifndef NDEBUG
    detail::BlocksWalked += Blocks;
#endif
}

/// The blocks the layout's scans on this thread classified so far (0 in builds with NDEBUG).
inline std::int64_t BlocksWalked() {
    return detail::BlocksWalked;
}

/// The bytes of [P, End) below Limit, one after the other: each block of 64 bytes is compared
/// once, however many of its bytes are asked for.
template <std::uint8_t Limit> class TBelowWalk {
public:
    TBelowWalk(const std::uint8_t* P, const std::uint8_t* End) : FBlock(P), FEnd(End) { Load(); }

    /// The next byte below Limit after those already given when it lies before Bound (it is then
    /// given); otherwise Bound, or End when that comes first, with no block at or beyond Bound
    /// compared. A later call with a farther bound goes on from there.
    const std::uint8_t* NextBefore(const std::uint8_t* Bound) {
        for (;;) {
            if (FMarks != 0) {
                const std::uint8_t* Found = FBlock + std::countr_zero(FMarks);
                if (Found >= Bound)
                    return Bound;
                FMarks &= FMarks - 1;
                return Found;
            }
            if (FEnd - FBlock <= 64)
                return FEnd < Bound ? FEnd : Bound;
            if (Bound - FBlock <= 64)
                return Bound;
            FBlock += 64;
            Load();
        }
    }

    /// The next byte below Limit after those already given, or End.
    const std::uint8_t* Next() {
        while (FMarks == 0) {
            if (FEnd - FBlock <= 64)
                return FEnd;
            FBlock += 64;
            Load();
        }
        const std::uint8_t* Found = FBlock + std::countr_zero(FMarks);
        FMarks &= FMarks - 1;
        return Found;
    }

private:
    void Load() {
        NoteBlocks(1);
        const TBelow Test(Limit);
        FMarks = FEnd - FBlock >= 64 ? Marks64(FBlock, Test)
                                     : MarksShort(FBlock, static_cast<int>(FEnd - FBlock), Test);
    }

    const std::uint8_t* FBlock; // the block of 64 bytes (fewer at the end) the marks are of
    const std::uint8_t* FEnd;
    std::uint64_t FMarks = 0; // bytes of the block below Limit not given yet
};

/// The last byte in [Begin, P) equal to A or B, or nullptr.
inline const std::uint8_t* FindEitherBack(const std::uint8_t* Begin, const std::uint8_t* P,
                                          std::uint8_t A, std::uint8_t B) {
    const TVec16 VA = Splat(A), VB = Splat(B);
    for (; P - Begin >= 32; P -= 32) {
        const TVec16 X = Load(P - 32), Y = Load(P - 16);
        const std::uint32_t Marks =
            MarkBits((X == VA) | (X == VB)) | MarkBits((Y == VA) | (Y == VB)) << 16;
        if (Marks != 0)
            return P - 32 + (std::bit_width(Marks) - 1);
    }
    if (P - Begin >= 16) {
        const TVec16 X = Load(P - 16);
        if (const std::uint32_t Marks = MarkBits((X == VA) | (X == VB)))
            return P - 16 + (std::bit_width(Marks) - 1);
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
        return std::uint64_t{MarkBits(((X == VA1) | (X == VB1)) & ((Y == VA2) | (Y == VB2)))};
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
