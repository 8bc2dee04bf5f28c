// The line scanner on single windows: line ends, form feeds, tabs, wrapping, and the fast path
// held to the byte-by-byte scan on random input.
#include "textbuff/line_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

namespace kestrel {
namespace {

struct TWidths {
    std::array<std::int64_t, 256> Widths{};
    std::vector<std::int64_t> Tabs;
    std::int64_t DefaultTab = 32;

    TScanMetrics Metrics() const {
        TScanMetrics M;
        M.CharWidths = Widths.data();
        M.UniformWidth = UniformWidthOf(Widths.data());
        M.DefaultTabWidth = DefaultTab;
        M.TabCount = static_cast<std::int64_t>(Tabs.size());
        M.TabPositions = Tabs.data();
        return M;
    }
};

TWidths Uniform(std::int64_t W) {
    TWidths T;
    T.Widths.fill(W);
    return T;
}

// Every byte 10 wide except 'i' (4) and 'm' (16): the byte-by-byte scan.
TWidths Varied() {
    TWidths T = Uniform(10);
    T.Widths['i'] = 4;
    T.Widths['m'] = 16;
    return T;
}

struct TScan {
    bool Ended = false;
    int Pos = 0;
    int Count = 0;
    std::int64_t Width = 0;
    std::int64_t BreakWidth = -1;
    int BreakCount = -1;
    bool Overflow = false;
    bool operator==(const TScan&) const = default;
};

std::ostream& operator<<(std::ostream& Out, const TScan& S) {
    return Out << "{ended " << S.Ended << " pos " << S.Pos << " count " << S.Count << " width "
               << S.Width << " break " << S.BreakWidth << "/" << S.BreakCount << " overflow "
               << S.Overflow << "}";
}

TScan RunScan(bool Fast, const std::string& Text, const TWidths& W, std::int64_t MaxWidth,
              bool WordWrap, int From = 0, int CharCount = 0, std::int64_t Width = 0) {
    const auto* Buffer = reinterpret_cast<const std::uint8_t*>(Text.data());
    auto Pos = static_cast<std::uint16_t>(From);
    auto Count = static_cast<std::uint16_t>(CharCount);
    std::uint16_t BreakCount = 0xFFFF;
    std::int64_t BreakWidth = -1;
    bool Overflow = false;
    TScanMetrics M = W.Metrics();
    if (!Fast)
        M.UniformWidth = 0;
    const auto EndPos = static_cast<std::uint16_t>(Text.size() - 1);
    const bool Ended = (Fast ? ScanForEol : ScanForEolBytewise)(
        Buffer, Pos, EndPos, MaxWidth, WordWrap, Count, Width, M, BreakWidth, BreakCount, Overflow);
    TScan R{Ended, Pos, Count, Width, -1, -1, Overflow};
    if (!Ended) {
        R.BreakWidth = BreakWidth;
        R.BreakCount = BreakCount;
    }
    return R;
}

// Runs the scan in runs and checks it against the byte-by-byte scan.
TScan Scan(const std::string& Text, std::int64_t MaxWidth, bool WordWrap, TWidths W = Uniform(10),
           int From = 0, int CharCount = 0, std::int64_t Width = 0) {
    const TScan Fast = RunScan(true, Text, W, MaxWidth, WordWrap, From, CharCount, Width);
    const TScan Plain = RunScan(false, Text, W, MaxWidth, WordWrap, From, CharCount, Width);
    EXPECT_EQ(Fast, Plain) << "text '" << Text << "'";
    return Plain;
}

TEST(LineScanTest, LineEndsCrLfLoneCrAndUnterminatedText) {
    EXPECT_EQ(Scan("a\r\nb", 0, false), (TScan{true, 3, 1, 10}));
    EXPECT_EQ(Scan("ab\nc", 0, false), (TScan{true, 3, 2, 20}));
    // A lone CR is a character with the width of byte 13.
    TWidths W = Varied();
    W.Widths[13] = 7;
    EXPECT_EQ(Scan("a\rb\n", 0, false, W), (TScan{true, 4, 3, 27}));
    // A CR as the last byte of the range is a character too (its LF is in the next window).
    EXPECT_EQ(Scan("ab\r", 0, false), (TScan{false, 3, 3, 30, 0, 0}));
    // Control bytes other than TAB, LF, FF and CR are plain characters.
    EXPECT_EQ(Scan(std::string("a\x01\x0b\x00z", 5), 0, false), (TScan{false, 5, 5, 50, 0, 0}));
}

TEST(LineScanTest, FormFeedIsALineOfItsOwn) {
    EXPECT_EQ(Scan("\fab", 0, false), (TScan{true, 1, 0, 0}));
    EXPECT_EQ(Scan("ab\fc", 0, false), (TScan{true, 2, 2, 20}));
    EXPECT_EQ(Scan("\f\f", 0, false), (TScan{true, 1, 0, 0}));
    EXPECT_EQ(Scan("\f\f", 0, false, Uniform(10), 1), (TScan{true, 2, 0, 0}));
    // Characters counted before the scan make the form feed end the line before it.
    EXPECT_EQ(Scan("\fab", 0, false, Uniform(10), 0, 3, 30), (TScan{true, 0, 3, 30}));
}

TEST(LineScanTest, TabsGoToStopsThenToMultiplesOfTheDefault) {
    TWidths W = Uniform(10);
    W.Tabs = {25, 40};
    W.DefaultTab = 32;
    EXPECT_EQ(Scan("\tx", 0, false, W).Width, 35);
    EXPECT_EQ(Scan("a\t\t\tx", 0, false, W).Width, 10 + 15 + 15 + 24 + 10); // 25, 40, 64
    // A tab at a width equal to a stop goes to the next one.
    TWidths At = Uniform(5);
    At.Tabs = {10, 30};
    EXPECT_EQ(Scan("aa\t", 0, false, At).Width, 30);
    // Tab stops count from the scan's start width, like the line's own width.
    EXPECT_EQ(Scan("\t", 0, false, W, 0, 2, 26).Width, 40);
    // A default tab width of 0 is taken as 1 and the scan ends.
    TWidths Zero = Uniform(3);
    Zero.DefaultTab = 0;
    EXPECT_EQ(Scan("a\t\tb", 0, false, Zero).Width, 3 + 1 + 1 + 3);
}

TEST(LineScanTest, WrappingAtSpacesHyphensAndOverflowCuts) {
    // "aaa bbb" where five characters fit: the line is "aaa " and the next starts at "bbb".
    EXPECT_EQ(Scan("aaa bbb", 50, true), (TScan{true, 4, 4, 40}));
    EXPECT_EQ(Scan("aa-bbbb", 50, true), (TScan{true, 3, 3, 30}));
    // A word longer than the width is cut after the last character that fits.
    const TScan Cut = Scan("abcdefgh", 35, true);
    EXPECT_EQ(Cut, (TScan{true, 3, 3, 30, -1, -1, true}));
    // Spaces may pass the width; the next character then wraps after them.
    EXPECT_EQ(Scan("aaaa   b", 40, true), (TScan{true, 7, 7, 70}));
    EXPECT_EQ(Scan("aaaa   \n", 40, true), (TScan{true, 8, 7, 70}));
    // Without word wrap every byte is checked, spaces too.
    EXPECT_EQ(Scan("aaaa   b", 40, false), (TScan{true, 4, 4, 40}));
    // A width of 0 never wraps.
    EXPECT_EQ(Scan("aaaaaaaa", 0, true).Count, 8);
    // Characters before the scan stand for a break at the scan's start.
    EXPECT_EQ(Scan("bbbbbb", 40, true, Uniform(10), 0, 2, 20), (TScan{true, 0, 2, 20}));
    // A wrap width below the first character ends the scan with nothing: the caller decides
    // what such a line takes.
    EXPECT_EQ(Scan("mm", 5, true, Varied()), (TScan{true, 0, 0, 0, -1, -1, true}));
    // Tabs and lone CRs are checked like characters.
    TWidths W = Uniform(10);
    W.Tabs = {100};
    EXPECT_EQ(Scan("ab c\td", 60, true, W), (TScan{true, 3, 3, 30}));
    EXPECT_EQ(Scan("abcde\rf", 55, true), (TScan{true, 5, 5, 50, -1, -1, true}));
}

TEST(LineScanTest, ExhaustedRangeReportsTheLastBreak) {
    EXPECT_EQ(Scan("ab cd", 0, true), (TScan{false, 5, 5, 50, 30, 3}));
    EXPECT_EQ(Scan("ab\tcd-e", 0, true), (TScan{false, 7, 7, 72, 62, 6})); // tab to 32
    // No break: the entry values.
    EXPECT_EQ(Scan("abc", 0, true, Uniform(10), 0, 4, 40), (TScan{false, 3, 7, 70, 40, 4}));
    // Widths are 64-bit: a line far beyond 2^31 pixels.
    const std::int64_t Huge = std::int64_t{1} << 40;
    EXPECT_EQ(Scan("ab", NoWrapWidth, true, Uniform(10), 0, 0, Huge).Width, Huge + 20);
}

TEST(LineScanTest, BackScanFindsTheNearestLineFeed) {
    const std::string T = "a\nbc\nd";
    const auto* B = reinterpret_cast<const std::uint8_t*>(T.data());
    std::uint16_t Index = 6;
    EXPECT_TRUE(BackScanForEol(B, Index));
    EXPECT_EQ(Index, 5);
    Index = 4; // bytes 3..0
    EXPECT_TRUE(BackScanForEol(B, Index));
    EXPECT_EQ(Index, 2);
    Index = 1;
    EXPECT_FALSE(BackScanForEol(B, Index));
    EXPECT_EQ(Index, 1);
    Index = 0;
    EXPECT_FALSE(BackScanForEol(B, Index));
    // A long stretch without LF, then one far back.
    std::string Long(300, 'x');
    Long[7] = '\n';
    Index = 300;
    EXPECT_TRUE(BackScanForEol(reinterpret_cast<const std::uint8_t*>(Long.data()), Index));
    EXPECT_EQ(Index, 8);
}

TEST(LineScanTest, RunScanMatchesTheBytewiseScanOnRandomInput) {
    std::mt19937 Rng(20240611);
    const std::string Alphabet = "aaaaabbbcc     --\t\r\r\n\f\x01\xe9";
    for (int Round = 0; Round < 20000; ++Round) {
        const int Len = 1 + static_cast<int>(Rng() % 120);
        std::string Text;
        for (int I = 0; I < Len; ++I)
            Text += Alphabet[Rng() % Alphabet.size()];
        TWidths W = Uniform(1 + static_cast<std::int64_t>(Rng() % 9));
        if (Rng() % 2 == 0) // a proportional table, zero widths included
            for (auto& Width : W.Widths)
                Width = static_cast<std::int64_t>(Rng() % 10);
        const int Stops = static_cast<int>(Rng() % 4);
        std::int64_t Stop = 0;
        for (int I = 0; I < Stops; ++I)
            W.Tabs.push_back(Stop += 1 + static_cast<std::int64_t>(Rng() % 40));
        W.DefaultTab = static_cast<std::int64_t>(Rng() % 40);
        const std::int64_t Widths[] = {0, 1, 7, 30, 100, 400, NoWrapWidth};
        const std::int64_t MaxWidth = Widths[Rng() % 7];
        const bool WordWrap = Rng() % 2 == 0;
        const int From = static_cast<int>(Rng() % static_cast<unsigned>(Len));
        const int CharCount = Rng() % 3 == 0 ? static_cast<int>(Rng() % 5) : 0;
        const std::int64_t Width = CharCount * static_cast<std::int64_t>(Rng() % 20);
        const TScan Fast = RunScan(true, Text, W, MaxWidth, WordWrap, From, CharCount, Width);
        const TScan Plain = RunScan(false, Text, W, MaxWidth, WordWrap, From, CharCount, Width);
        ASSERT_EQ(Fast, Plain) << "round " << Round << " text '" << Text << "' from " << From
                               << " max " << MaxWidth << " wrap " << WordWrap;
    }
}

} // namespace
} // namespace kestrel
