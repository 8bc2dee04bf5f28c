// Search of a text stream window by window: both directions, case, whole words, matches over
// every window edge (held to a naive search), progress and cancel, and the pattern limit.
#include "textbuff/lines_buffer.h"

#include "lines_test_util.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using test::TLayoutText;

const TFindOptions Down{frDown};
const TFindOptions Up{};

// Search from Pos; the match position, or -1.
std::int64_t Find(TLinesBuffer& B, std::int64_t Pos, const std::string& S, TFindOptions O) {
    return B.Search(Pos, S, O) ? Pos : -1;
}

std::int64_t Find(const std::string& Text, std::int64_t Pos, const std::string& S, TFindOptions O,
                  std::uint16_t BufSize = 16) {
    TLayoutText T(Text, BufSize);
    return Find(T.Stream, Pos, S, O);
}

TEST(SearchTest, DirectionsAndEnds) {
    const std::string T = "the cat sat on the mat by the cat flap";
    EXPECT_EQ(Find(T, 0, "cat", Down), 4);
    EXPECT_EQ(Find(T, 5, "cat", Down), 30);
    EXPECT_EQ(Find(T, 31, "cat", Down), -1);
    EXPECT_EQ(Find(T, 37, "p", Down), 37); // one character from the last byte
    // Backwards: the last match ending at or before Pos.
    EXPECT_EQ(Find(T, 37, "cat", Up), 30);
    EXPECT_EQ(Find(T, 32, "cat", Up), 30); // its last character exactly at Pos
    EXPECT_EQ(Find(T, 31, "cat", Up), 4);
    EXPECT_EQ(Find(T, 37, "flap", Up), 34);
    EXPECT_EQ(Find(T, 5, "cat", Up), -1);
    // Pos is clamped into the text.
    EXPECT_EQ(Find(T, -10, "the", Down), 0);
    EXPECT_EQ(Find(T, 1000, "the", Up), 26);
    EXPECT_EQ(Find("", 0, "a", Down), -1);
    EXPECT_EQ(Find(T, 0, "", Down), -1);

    // Where a failed search stops.
    TLayoutText L(T, 16);
    std::int64_t Pos = 3;
    EXPECT_FALSE(L.Stream.Search(Pos, "dog", Down));
    EXPECT_EQ(Pos, static_cast<std::int64_t>(T.size()));
    Pos = 30;
    EXPECT_FALSE(L.Stream.Search(Pos, "dog", Up));
    EXPECT_EQ(Pos, -1);
}

TEST(SearchTest, CaseAndWholeWords) {
    EXPECT_EQ(Find("xx Hello", 0, "hELLO", Down), 3);
    EXPECT_EQ(Find("xx Hello", 0, "hELLO", TFindOptions{frDown, frMatchCase}), -1);
    EXPECT_EQ(Find("\xc9t\xe9", 0, "\xe9T\xe9", Down), -1); // 201 and 233 are not a case pair

    const TFindOptions Word{frDown, frWholeWord};
    EXPECT_EQ(Find("concatenate cats", 0, "cat", Word), -1);
    EXPECT_EQ(Find("concatenate cat.", 0, "cat", Word), 12);
    EXPECT_EQ(Find("cat", 0, "cat", Word), 0);           // start and end of the text
    EXPECT_EQ(Find("cat\xe9 (cat)", 0, "cat", Word), 6); // 233 is a word character
    EXPECT_EQ(Find("cat cat", 6, "cat", TFindOptions{frWholeWord}), 4);
    EXPECT_EQ(Find("bobcat cat", 9, "cat", TFindOptions{frWholeWord}), 7);
    // The neighbours of a match at window edges are read across the edge.
    for (int Lead = 0; Lead < 40; ++Lead) {
        const std::string Text = std::string(static_cast<std::size_t>(Lead), 'x') + " cat" +
                                 std::string(static_cast<std::size_t>(40 - Lead), 'y');
        const std::string Spaced = std::string(static_cast<std::size_t>(Lead), 'x') + " cat " +
                                   std::string(static_cast<std::size_t>(40 - Lead), 'y');
        EXPECT_EQ(Find(Text, 0, "cat", Word), -1) << Lead;
        EXPECT_EQ(Find(Spaced, 0, "cat", Word), Lead + 1) << Lead;
        EXPECT_EQ(Find(Text, 80, "cat", TFindOptions{frWholeWord}), -1) << Lead;
        EXPECT_EQ(Find(Spaced, 80, "cat", TFindOptions{frWholeWord}), Lead + 1) << Lead;
    }
    // A search that starts inside a word: the byte before the start decides.
    EXPECT_EQ(Find(std::string(30, 'x') + "cat ", 30, "cat", Word), -1);
}

TEST(SearchTest, MatchAtTheEndOfASecondWindow) {
    // 4097 bytes ending in the pattern, a 4096-byte buffer: the match begins in the first
    // window and ends on the only byte of the second.
    const std::string Text = std::string(4090, '.') + "needle!";
    ASSERT_EQ(Text.size(), 4097u);
    EXPECT_EQ(Find(Text, 0, "needle!", Down, 4096), 4090);
    EXPECT_EQ(Find(Text, 4096, "needle!", Up, 4096), 4090);
    EXPECT_EQ(Find(Text, 0, "needle!", TFindOptions{frDown, frWholeWord}, 4096), 4090);
}

TEST(SearchTest, PatternLimitAndLongPatterns) {
    TLayoutText T(std::string(600, 'a'), 16);
    std::int64_t Pos = 0;
    try {
        T.Stream.Search(Pos, std::string(257, 'a'), Down);
        FAIL() << "no exception";
    } catch (const EFindStringError& E) {
        EXPECT_STREQ(E.what(), "Search String exceeds 256 characters");
    }
    // 256 characters are compared on all 256, over many 16-byte windows.
    EXPECT_EQ(Find(T.Stream, 0, std::string(256, 'a'), Down), 0);
    EXPECT_EQ(Find(T.Stream, 0, std::string(255, 'a') + "b", Down), -1);
    EXPECT_EQ(Find(T.Stream, 599, std::string(256, 'a'), Up), 344);
    const std::string Mixed = std::string(300, 'a') + std::string(255, 'b') + "c" + "zz";
    EXPECT_EQ(Find(Mixed, 0, std::string(255, 'b') + "c", Down), 300);
    EXPECT_EQ(Find(Mixed, 557, std::string(255, 'b') + "c", Up), 300);
}

TEST(SearchTest, ProgressOncePerWindowAndCancel) {
    TLayoutText T(std::string(100, 'a'), 16);
    std::vector<std::int64_t> Reports;
    T.Stream.SetOnSearchStatus([&](std::int64_t Done, bool&) { Reports.push_back(Done); });
    std::int64_t Pos = 0;
    EXPECT_FALSE(T.Stream.Search(Pos, "b", Down));
    ASSERT_GE(Reports.size(), 7u); // 100 bytes in windows that advance at most 16 at a time
    for (std::size_t I = 1; I < Reports.size(); ++I)
        EXPECT_GT(Reports[I], Reports[I - 1]);
    EXPECT_EQ(Reports.back(), 99);

    int Calls = 0;
    T.Stream.SetOnSearchStatus([&](std::int64_t, bool& Cancelled) {
        ++Calls;
        Cancelled = true;
    });
    Pos = 0;
    EXPECT_FALSE(T.Stream.Search(Pos, "b", Down));
    EXPECT_EQ(Calls, 1);
    EXPECT_LT(Pos, 100);
    Calls = 0;
    Pos = 99;
    EXPECT_FALSE(T.Stream.Search(Pos, "b", Up));
    EXPECT_EQ(Calls, 1);
    EXPECT_GE(Pos, 0);
}

// The naive search: every candidate in order, over the whole text.
std::int64_t Naive(const std::string& Text, std::int64_t Pos, const std::string& S,
                   TFindOptions O) {
    const auto N = static_cast<std::int64_t>(Text.size());
    const auto L = static_cast<std::int64_t>(S.size());
    if (N == 0 || L == 0)
        return -1;
    Pos = std::max<std::int64_t>(0, std::min(Pos, N - 1));
    auto Byte = [&](std::int64_t I) {
        return static_cast<unsigned char>(Text[static_cast<std::size_t>(I)]);
    };
    auto Fold = [&](unsigned char C) {
        return !O.Contains(frMatchCase) && C >= 'A' && C <= 'Z' ? C + 32 : C;
    };
    auto IsWord = [](unsigned char C) {
        return std::isalnum(C) != 0 || C == '_' || (C >= 192 && C != 215 && C != 247);
    };
    auto Accept = [&](std::int64_t St) {
        for (std::int64_t I = 0; I < L; ++I)
            if (Fold(Byte(St + I)) !=
                Fold(static_cast<unsigned char>(S[static_cast<std::size_t>(I)])))
                return false;
        if (!O.Contains(frWholeWord))
            return true;
        return (St == 0 || !IsWord(Byte(St - 1))) && (St + L == N || !IsWord(Byte(St + L)));
    };
    if (O.Contains(frDown)) {
        for (std::int64_t St = Pos; St + L <= N; ++St)
            if (Accept(St))
                return St;
    } else {
        for (std::int64_t St = Pos - L + 1; St >= 0; --St)
            if (Accept(St))
                return St;
    }
    return -1;
}

TEST(SearchTest, MatchesANaiveSearchOverEveryWindowEdge) {
    std::mt19937 Rng(99);
    const std::string Alphabet = "abAB  _.\xe9\n";
    int Found = 0;
    for (int Round = 0; Round < 1500; ++Round) {
        std::string Text;
        const int Len = 1 + static_cast<int>(Rng() % 300);
        for (int I = 0; I < Len; ++I)
            Text += Alphabet[Rng() % Alphabet.size()];
        std::string S;
        const int PLen = 1 + static_cast<int>(Rng() % (Rng() % 4 == 0 ? 70 : 5));
        if (Rng() % 2 == 0 && PLen <= Len) { // a piece of the text, so that matches exist
            S = Text.substr(Rng() % static_cast<unsigned>(Len - PLen + 1),
                            static_cast<std::size_t>(PLen));
        } else {
            for (int I = 0; I < PLen; ++I)
                S += Alphabet[Rng() % Alphabet.size()];
        }
        TFindOptions O;
        if (Rng() % 2 == 0)
            O.Include(frDown);
        if (Rng() % 2 == 0)
            O.Include(frMatchCase);
        if (Rng() % 2 == 0)
            O.Include(frWholeWord);
        const std::int64_t From =
            static_cast<std::int64_t>(Rng() % static_cast<unsigned>(Len + 2)) - 1;
        const auto Buf = static_cast<std::uint16_t>(16 + Rng() % 49);
        const std::int64_t Expected = Naive(Text, From, S, O);
        Found += Expected >= 0 ? 1 : 0;
        ASSERT_EQ(Find(Text, From, S, O, Buf), Expected)
            << "round " << Round << " buffer " << Buf << " from " << From << " pattern '" << S
            << "' down " << O.Contains(frDown) << " case " << O.Contains(frMatchCase) << " word "
            << O.Contains(frWholeWord) << "\ntext '" << Text << "'";
    }
    EXPECT_GT(Found, 400); // the comparison saw plenty of matches
}

} // namespace
} // namespace kestrel
