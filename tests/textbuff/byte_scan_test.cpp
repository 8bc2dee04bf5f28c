// The byte finders held to plain loops: marks of blocks and short tails, the walk over the bytes
// below a limit, the backward search, and the portable mask gather and bit count.
#include "textbuff/byte_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace kestrel {
namespace {

using namespace bytescan;

std::vector<std::uint8_t> RandomBytes(std::mt19937& Rng, int Length, const std::string& Alphabet) {
    std::vector<std::uint8_t> Bytes(static_cast<std::size_t>(Length));
    for (auto& B : Bytes)
        B = static_cast<std::uint8_t>(Alphabet[Rng() % Alphabet.size()]);
    return Bytes;
}

TEST(ByteScanTest, MaskGatherAndBitCountMatchTheirPortableForms) {
    std::mt19937_64 Rng(77);
    for (int Round = 0; Round < 2000; ++Round) {
        TVec16 Mask;
        std::uint32_t Expected = 0;
        for (int I = 0; I < 16; ++I) {
            const bool Marked = Rng() % 3 == 0;
            Mask[I] = Marked ? 0xFF : 0x00;
            Expected |= static_cast<std::uint32_t>(Marked) << I;
        }
        ASSERT_EQ(MarkBits(Mask), Expected);
        ASSERT_EQ(MarkBitsPortable(Mask), Expected);
        const std::uint64_t X = Rng() & Rng();
        int Bits = 0;
        for (int I = 0; I < 64; ++I)
            Bits += static_cast<int>(X >> I & 1);
        ASSERT_EQ(PopCount(X), Bits);
    }
    EXPECT_EQ(PopCount(~std::uint64_t{0}), 64);
    EXPECT_EQ(PopCount(0), 0);
}

TEST(ByteScanTest, BlockMarksAndTheWalkBelowALimitSeeEveryByteOnce) {
    std::mt19937 Rng(4711);
    const std::string Alphabet = std::string("abcdefgh\t\n\r\f\x01\x0d\x0e\x80\xff", 17);
    for (int Length = 0; Length <= 200; ++Length) {
        const auto Bytes = RandomBytes(Rng, Length, Alphabet);
        // A copy with nothing readable beyond it, so that the sanitizer sees any overread.
        std::vector<std::uint8_t> Exact(Bytes);
        const std::uint8_t* P = Exact.data();
        for (int From = 0; From <= std::min(Length, 70); ++From) {
            std::vector<int> Expected, Got;
            for (int I = From; I < Length; ++I)
                if (Bytes[static_cast<std::size_t>(I)] < 14)
                    Expected.push_back(I);
            TBelowWalk<14> Walk(P + From, P + Length);
            for (const std::uint8_t* Q; (Q = Walk.Next()) != P + Length;)
                Got.push_back(static_cast<int>(Q - P));
            ASSERT_EQ(Got, Expected) << "length " << Length << " from " << From;
            ASSERT_EQ(Walk.Next(), P + Length) << "the end stays the end";
        }
        if (Length >= 64 || Length == 0)
            continue;
        std::uint64_t Feeds = 0;
        for (int I = 0; I < Length; ++I)
            Feeds |= static_cast<std::uint64_t>(Bytes[static_cast<std::size_t>(I)] == '\n') << I;
        ASSERT_EQ(MarksShort(P, Length, TEqual('\n')), Feeds) << Length;
    }
}

TEST(ByteScanTest, FindEitherBackFindsTheNearestOfTwoBytes) {
    std::mt19937 Rng(99);
    for (int Length = 0; Length <= 120; ++Length)
        for (const std::string Alphabet : {"xxxxxxxxxxxxxxxxxxxxxxxxxxx -", "ab -", "xyz"}) {
            const auto Bytes = RandomBytes(Rng, Length, Alphabet);
            const std::uint8_t* P = Bytes.data();
            const std::uint8_t* Expected = nullptr;
            for (int I = Length - 1; I >= 0 && Expected == nullptr; --I)
                if (P[I] == ' ' || P[I] == '-')
                    Expected = P + I;
            ASSERT_EQ(FindEitherBack(P, P + Length, ' ', '-'), Expected) << Length;
        }
}

// The block kernels of one instruction set held to plain loops over the same 64 bytes.
template <typename K> void CheckBlockKernels(std::mt19937& Rng) {
    const std::string Alphabet = std::string("ab \t\n\f\r-\x00\x80\xff\x0a", 12);
    for (int Round = 0; Round < 3000; ++Round) {
        const auto Bytes = RandomBytes(Rng, 64, Round % 2 == 0 ? Alphabet : "abcdefgh\n");
        const std::uint8_t* P = Bytes.data();
        const std::uint8_t Values[3] = {static_cast<std::uint8_t>(Alphabet[Rng() % 12]),
                                        static_cast<std::uint8_t>(Alphabet[Rng() % 12]),
                                        static_cast<std::uint8_t>(Alphabet[Rng() % 12])};
        std::uint64_t Each[3] = {0, 0, 0};
        bool Any1 = false;
        for (int I = 0; I < 64; ++I)
            for (int V = 0; V < 3; ++V)
                if (P[I] == Values[V]) {
                    Each[V] |= std::uint64_t{1} << I;
                    Any1 = Any1 || V == 1;
                }
        ASSERT_EQ(K::Equal(P, Values[0]), Each[0]);
        ASSERT_EQ(K::EqualAny(P, Values[0], Values[1], Values[2]), Each[0] | Each[1] | Each[2]);
        bool Any = !Any1;
        ASSERT_EQ(K::EqualAndAny(P, Values[0], Values[1], Any), Each[0]);
        ASSERT_EQ(Any, Any1);
        std::uint64_t Got[3];
        K::EqualEach(P, Values, Got);
        for (int V = 0; V < 3; ++V)
            ASSERT_EQ(Got[V], Each[V]) << "value " << V;
        ASSERT_EQ(K::Count(Each[0] ^ Each[1]), PopCount(Each[0] ^ Each[1]));
    }
}

TEST(ByteScanTest, BlockKernelsOfEveryInstructionSetHereMatchPlainLoops) {
    std::mt19937 Rng(2718);
    CheckBlockKernels<TBaseBlocks>(Rng);
#if defined(KESTREL_BLOCK_ISA_X86)
    if (SupportedBlockIsa() >= biAvx2)
        CheckBlockKernels<TAvx2Blocks>(Rng);
    if (SupportedBlockIsa() >= biAvx512)
        CheckBlockKernels<TAvx512Blocks>(Rng);
#endif
    // The cap narrows the kernels in use, never widens them past the processor's.
    SetBlockIsaCap(biBase);
    EXPECT_EQ(BlockIsa(), biBase);
    SetBlockIsaCap(biAvx512);
    EXPECT_EQ(BlockIsa(), SupportedBlockIsa());
}

} // namespace
} // namespace kestrel
