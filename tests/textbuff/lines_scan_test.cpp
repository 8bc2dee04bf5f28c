// The line scanner on single windows: line ends, form feeds, tabs, wrapping, and the fast paths
// (the scan in runs, the uniform route for whole lines, the line-feed count) held to the
// byte-by-byte scan on random input.
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
    EXPECT_EQ(Scan("ab\r", 1000, false), (TScan{false, 3, 3, 30, 0, 0}));
    // Control bytes other than TAB, LF, FF and CR are plain characters.
    EXPECT_EQ(Scan(std::string("a\x01\x0b\x00z", 5), 1000, false), (TScan{false, 5, 5, 50, 0, 0}));
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
    EXPECT_EQ(Scan("ab cd", 1000, true), (TScan{false, 5, 5, 50, 30, 3}));
    EXPECT_EQ(Scan("ab\tcd-e", 1000, true), (TScan{false, 7, 7, 72, 62, 6})); // tab to 32
    // No break: the entry values.
    EXPECT_EQ(Scan("abc", 1000, true, Uniform(10), 0, 4, 40), (TScan{false, 3, 7, 70, 40, 4}));
    // No width to keep to: no break is told (the entry values).
    for (const std::int64_t None : {std::int64_t{0}, NoWrapWidth})
        EXPECT_EQ(Scan("ab\tcd-e", None, true), (TScan{false, 7, 7, 72, -1, 0xFFFF}));
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

// Random text of Length bytes: dense in control bytes and breaks, or long runs of letters where
// they are rare, so that runs cross the scanner's 64-byte blocks.
std::string RandomText(std::mt19937& Rng, int Length) {
    static const std::string Alphabets[] = {
        "aaaaabbbcc     --\t\r\r\n\f\x01\xe9",
        std::string(40, 'a') + "bcdefghij  -\t\r\n" + std::string("\x00", 1),
        std::string(70, 'x') + " \t\n",
    };
    const std::string& Alphabet = Alphabets[Rng() % 3];
    std::string Text;
    for (int I = 0; I < Length; ++I)
        Text += Alphabet[Rng() % Alphabet.size()];
    return Text;
}

TEST(LineScanTest, RunScanMatchesTheBytewiseScanOnRandomInput) {
    std::mt19937 Rng(20240611);
    for (int Round = 0; Round < 20000; ++Round) {
        const int Len = 1 + static_cast<int>(Rng() % (Round % 4 == 0 ? 400 : 120));
        const std::string Text = RandomText(Rng, Len);
        TWidths W = Uniform(1 + static_cast<std::int64_t>(Rng() % 9));
        if (Rng() % 2 == 0) // a proportional table, zero widths included
            for (auto& Width : W.Widths)
                Width = static_cast<std::int64_t>(Rng() % 10);
        const int Stops = static_cast<int>(Rng() % 4);
        std::int64_t Stop = 0;
        for (int I = 0; I < Stops; ++I)
            W.Tabs.push_back(Stop += 1 + static_cast<std::int64_t>(Rng() % 40));
        W.DefaultTab = static_cast<std::int64_t>(Rng() % 40);
        // 5000: whole blocks fit in a width, and a few may not.
        const std::int64_t Widths[] = {0, 1, 7, 30, 100, 400, 5000, NoWrapWidth};
        const std::int64_t MaxWidth = Widths[Rng() % 8];
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

// The uniform route on the line at the start of Text, held to the byte-by-byte scan: what it
// takes it takes whole and as that scan gives it, or, when not even the first character fits,
// that character and a line break right after it. Returns the bytes taken (0: declined).
std::int64_t UniformRoute(const std::string& Text, std::int64_t MaxWidth, const TWidths& W) {
    const TScanMetrics M = W.Metrics();
    const auto* Buffer = reinterpret_cast<const std::uint8_t*>(Text.data());
    std::int64_t Width = -1, Count = -1;
    const std::int64_t Taken =
        ScanUniformLine(Buffer, static_cast<std::int64_t>(Text.size()), MaxWidth, M, Width, Count);
    if (Taken == 0) {
        EXPECT_EQ(Width, -1) << "a declined line changes nothing";
        return 0;
    }
    TScan Plain = RunScan(false, Text, W, MaxWidth, true);
    if (Plain.Overflow && Plain.Count > 0)
        Plain.Overflow = false; // a word cut at the width: the route does not tell
    if (Plain.Overflow && Plain.Count == 0) {
        const std::string After = Text.substr(1, 2);
        Plain = TScan{true,
                      After[0] == '\n'  ? 2
                      : After == "\r\n" ? 3
                                        : 1,
                      1, Text[0] == '\t' ? RunScan(false, "\t", W, 0, true).Width : W.Widths[0]};
    }
    EXPECT_EQ((TScan{true, static_cast<int>(Taken), static_cast<int>(Count), Width}), Plain)
        << "text '" << Text << "' max " << MaxWidth;
    return Taken;
}

TEST(LineScanTest, UniformRouteTakesCommonLinesAndLeavesTheRest) {
    TWidths W = Uniform(10);
    W.DefaultTab = 40;
    EXPECT_EQ(UniformRoute("ab\tc\nxyz", 0, W), 5);
    EXPECT_EQ(UniformRoute("ab\r\nx", 0, W), 4);
    EXPECT_EQ(UniformRoute("\nx", 0, W), 1);
    EXPECT_EQ(UniformRoute("aaa bbb cc\n", 50, W), 4) << "wraps after the space";
    EXPECT_EQ(UniformRoute("a b\tccccc\n", 70, W), 2) << "a tab between break and cut";
    EXPECT_EQ(UniformRoute("aa-bbbbbbbb", 50, W), 3);
    EXPECT_EQ(UniformRoute("abcdefgh\n", 50, W), 5) << "a word longer than the width is cut";
    EXPECT_EQ(UniformRoute("abc\n", 5, W), 1) << "not even the first character fits";
    EXPECT_EQ(UniformRoute("a\r\nb", 5, W), 3) << "with the line break after it";
    EXPECT_EQ(UniformRoute("\tb", 30, W), 1);
    // Left to the general scan: lines running past the range, form feeds, lone CRs, a CR that
    // may pair with an LF beyond the range, spaces passing the width up to a line break.
    EXPECT_EQ(UniformRoute("abc", 0, W), 0);
    EXPECT_EQ(UniformRoute("ab\fc\n", 0, W), 0);
    EXPECT_EQ(UniformRoute("\fc\n", 0, W), 0);
    EXPECT_EQ(UniformRoute("a\rb\n", 0, W), 0);
    EXPECT_EQ(UniformRoute("ab\r", 0, W), 0);
    EXPECT_EQ(UniformRoute("a\r", 5, W), 0);
    EXPECT_EQ(UniformRoute("abcd     \n", 50, W), 0);
}

TEST(LineScanTest, UniformRouteMatchesTheBytewiseScanOnRandomInput) {
    std::mt19937 Rng(8086);
    int Taken = 0;
    for (int Round = 0; Round < 20000; ++Round) {
        const std::string Text = RandomText(Rng, 1 + static_cast<int>(Rng() % 300));
        TWidths W = Uniform(1 + static_cast<std::int64_t>(Rng() % 9));
        const int Stops = static_cast<int>(Rng() % 3);
        std::int64_t Stop = 0;
        for (int I = 0; I < Stops; ++I)
            W.Tabs.push_back(Stop += 1 + static_cast<std::int64_t>(Rng() % 60));
        W.DefaultTab = 1 + static_cast<std::int64_t>(Rng() % 40);
        const std::int64_t Widths[] = {0, 3, 30, 100, 400, 999, NoWrapWidth};
        if (UniformRoute(Text, Widths[Rng() % 7], W) > 0)
            ++Taken;
        if (HasFailure())
            FAIL() << "round " << Round;
    }
    EXPECT_GT(Taken, 5000) << "the route takes the common lines";
}

// The lines of Text laid out unwrapped by the byte-by-byte scan: their ends, up to MaxLines.
std::vector<int> UnwrappedLineEnds(const std::string& Text, int MaxLines) {
    std::vector<int> Ends;
    const TWidths W = Varied();
    int Pos = 0;
    while (static_cast<int>(Ends.size()) < MaxLines && Pos < static_cast<int>(Text.size())) {
        const TScan S = RunScan(false, Text, W, 0, true, Pos);
        if (!S.Ended)
            break;
        Ends.push_back(S.Pos);
        Pos = S.Pos;
    }
    return Ends;
}

TEST(LineScanTest, LineFeedCountMatchesUnwrappedLinesUpToTheFirstFormFeed) {
    std::mt19937 Rng(31337);
    for (int Round = 0; Round < 3000; ++Round) {
        std::string Text = RandomText(Rng, 1 + static_cast<int>(Rng() % 300));
        if (Rng() % 2 == 0) // form feeds rarer than the alphabets make them
            for (char& C : Text)
                if (C == '\f')
                    C = 'f';
        const int MaxLines = 1 + static_cast<int>(Rng() % 12);
        std::vector<int> Expected = UnwrappedLineEnds(Text, MaxLines);
        // Only the lines that end at a line feed before the first form feed.
        const std::size_t Form = std::min(Text.find('\f'), Text.size());
        while (!Expected.empty() && (static_cast<std::size_t>(Expected.back()) > Form ||
                                     Text[static_cast<std::size_t>(Expected.back() - 1)] != '\n'))
            Expected.pop_back();
        std::int64_t Taken = -1;
        const std::int64_t Lines =
            CountLineFeeds(reinterpret_cast<const std::uint8_t*>(Text.data()),
                           static_cast<std::int64_t>(Text.size()), MaxLines, Taken);
        ASSERT_EQ(Lines, static_cast<std::int64_t>(Expected.size())) << "round " << Round;
        ASSERT_EQ(Taken, Expected.empty() ? 0 : Expected.back()) << "round " << Round;
    }
    // A line of N bytes never passes N times the largest advance.
    TWidths W = Varied();
    W.Tabs = {25, 300};
    W.DefaultTab = 80;
    EXPECT_EQ(MaxAdvance(W.Metrics()), 300);
    W.Widths['q'] = -1;
    EXPECT_EQ(MaxAdvance(W.Metrics()), 0) << "no bound with a negative width";
}

} // namespace
} // namespace kestrel
