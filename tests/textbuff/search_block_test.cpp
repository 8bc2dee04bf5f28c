// Block search: the raw scan in both directions, case folding, and the whole-word test with
// the neighbours of the block.
#include "textbuff/text_search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace kestrel {
namespace {

const std::uint8_t* Bytes(const std::string& S) {
    return reinterpret_cast<const std::uint8_t*>(S.data());
}

// ScanForString over the whole of Text; -1 when not found.
int Scan(const std::string& Text, int Pos, const std::string& S, bool IgnoreCase, bool Backward) {
    auto P = static_cast<std::uint16_t>(Pos);
    if (!ScanForString(Bytes(Text), P, static_cast<std::uint16_t>(Text.size() - 1), S, IgnoreCase,
                       Backward))
        return -1;
    return P;
}

int Block(const std::string& Text, int Pos, const std::string& S, TFindOptions Options,
          int Before = -1, int After = -1) {
    auto P = static_cast<std::uint16_t>(Pos);
    if (!SearchBlock(Bytes(Text), P, static_cast<std::uint16_t>(Text.size() - 1), S, Options,
                     Before, After))
        return -1;
    return P;
}

TEST(SearchBlockTest, ScanForwardsAndBackwards) {
    const std::string T = "abcabcab";
    EXPECT_EQ(Scan(T, 0, "abc", false, false), 0);
    EXPECT_EQ(Scan(T, 1, "abc", false, false), 3);
    EXPECT_EQ(Scan(T, 4, "abc", false, false), -1);
    EXPECT_EQ(Scan(T, 7, "a", false, false), -1);
    EXPECT_EQ(Scan(T, 7, "b", false, false), 7);
    EXPECT_EQ(Scan(T, 7, "ab", false, false), -1); // would end beyond the block
    EXPECT_EQ(Scan(T, 6, "ab", false, false), 6);
    // Backwards, Pos is the last byte of the match.
    EXPECT_EQ(Scan(T, 7, "abc", false, true), 3);
    EXPECT_EQ(Scan(T, 5, "abc", false, true), 3);
    EXPECT_EQ(Scan(T, 4, "abc", false, true), 0);
    EXPECT_EQ(Scan(T, 1, "abc", false, true), -1);
    EXPECT_EQ(Scan(T, 7, "b", false, true), 7);
    EXPECT_EQ(Scan(T, 7, "", false, false), -1);
}

TEST(SearchBlockTest, CaseFoldsAsciiLettersOnly) {
    const std::string T = "xx HeLLo \xc9\xe9 [a]";
    EXPECT_EQ(Scan(T, 0, "hello", true, false), 3);
    EXPECT_EQ(Scan(T, 0, "hello", false, false), -1);
    EXPECT_EQ(Scan(T, 0, "\xe9\xe9", true, false), -1); // 201 and 233 do not fold
    EXPECT_EQ(Scan(T, 0, "\xc9\xe9", true, false), 9);
    EXPECT_EQ(Scan(T, 0, "[A]", true, false), 12);
    EXPECT_EQ(Scan(T, 0, "{a}", true, false), -1); // '[' and '{' are not a case pair
    EXPECT_EQ(Scan(T, static_cast<int>(T.size()) - 1, "HELLO", true, true), 3);
}

TEST(SearchBlockTest, WholeWordsLookAtTheNeighbours) {
    const TFindOptions Word{frDown, frWholeWord, frMatchCase};
    EXPECT_EQ(Block("concatenate cats", 0, "cat", Word), -1);
    EXPECT_EQ(Block("concatenate cat", 0, "cat", Word), 12);
    EXPECT_EQ(Block("cat", 0, "cat", Word), 0);          // text start and end
    EXPECT_EQ(Block("cat\xe9 cat", 0, "cat", Word), 5);  // 233 is a word character
    EXPECT_EQ(Block("cat_ cat\xd7", 0, "cat", Word), 5); // '_' is one, 215 is not
    // The bytes beyond the block decide at its edges.
    EXPECT_EQ(Block("cat", 0, "cat", Word, 'x', -1), -1);
    EXPECT_EQ(Block("cat", 0, "cat", Word, ' ', 'x'), -1);
    EXPECT_EQ(Block("cat", 0, "cat", Word, '.', ' '), 0);
    // Backwards the refused match is passed over towards the start.
    const TFindOptions Back{frWholeWord};
    EXPECT_EQ(Block("cat cats", 7, "cat", Back), 0);
    EXPECT_EQ(Block("cat catcat", 9, "CAT", Back), 0);
    EXPECT_EQ(Block("cat", 2, "cat", Back, -1, 'a'), -1);
}

TEST(SearchBlockTest, MatchesANaiveSearchOnRandomBlocks) {
    std::mt19937 Rng(77);
    const std::string Alphabet = "abAB _\xe9";
    for (int Round = 0; Round < 5000; ++Round) {
        std::string T;
        const int Len = 1 + static_cast<int>(Rng() % 80);
        for (int I = 0; I < Len; ++I)
            T += Alphabet[Rng() % Alphabet.size()];
        std::string S;
        const int PLen = 1 + static_cast<int>(Rng() % 4);
        for (int I = 0; I < PLen; ++I)
            S += Alphabet[Rng() % Alphabet.size()];
        const bool Down = Rng() % 2 == 0, Case = Rng() % 2 == 0, Whole = Rng() % 2 == 0;
        TFindOptions O;
        if (Down)
            O.Include(frDown);
        if (Case)
            O.Include(frMatchCase);
        if (Whole)
            O.Include(frWholeWord);
        const int Before = Rng() % 2 == 0 ? -1 : 'a', After = Rng() % 2 == 0 ? -1 : ' ';
        const int From = static_cast<int>(Rng() % static_cast<unsigned>(Len));

        auto Fold = [&](char C) {
            return !Case && C >= 'A' && C <= 'Z' ? static_cast<char>(C + 32) : C;
        };
        auto IsWord = [](int C) {
            return C >= 0 &&
                   (std::isalnum(C) != 0 || C == '_' || (C >= 192 && C != 215 && C != 247));
        };
        auto Accept = [&](int Start) {
            for (int I = 0; I < PLen; ++I)
                if (Fold(T[static_cast<std::size_t>(Start + I)]) !=
                    Fold(S[static_cast<std::size_t>(I)]))
                    return false;
            if (!Whole)
                return true;
            const int Prev =
                Start > 0 ? static_cast<unsigned char>(T[static_cast<std::size_t>(Start - 1)])
                          : Before;
            const int Next =
                Start + PLen < Len
                    ? static_cast<unsigned char>(T[static_cast<std::size_t>(Start + PLen)])
                    : After;
            return !IsWord(Prev) && !IsWord(Next);
        };
        int Expected = -1;
        if (Down) {
            for (int St = From; St + PLen <= Len && Expected < 0; ++St)
                if (Accept(St))
                    Expected = St;
        } else {
            for (int St = From - PLen + 1; St >= 0 && Expected < 0; --St)
                if (Accept(St))
                    Expected = St;
        }
        ASSERT_EQ(Block(T, From, S, O, Before, After), Expected)
            << "round " << Round << " text '" << T << "' pattern '" << S << "' from " << From;
    }
}

} // namespace
} // namespace kestrel
