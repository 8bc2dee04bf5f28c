// The line counts by blocks held to the byte-by-byte scan: the line-feed count and the wrapped
// count with uniform widths on single ranges, with the block kernels of every instruction set
// this processor runs; and CountLines over text streams held to GetNextLine line by line.
#include "textbuff/byte_scan.h"
#include "textbuff/line_scan.h"

#include "lines_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using bytescan::TBlockIsa;

// Runs the rounds with the block kernels narrowed in turn to each instruction set, and puts the
// widest back afterwards.
class TEveryIsa {
public:
    ~TEveryIsa() { bytescan::SetBlockIsaCap(bytescan::biAvx512); }
    // The kernels for round Round (every set this processor runs takes its turn).
    TBlockIsa Use(int Round) {
        const auto Isa = static_cast<TBlockIsa>(Round % (bytescan::SupportedBlockIsa() + 1));
        bytescan::SetBlockIsaCap(Isa);
        return Isa;
    }
};

const std::uint8_t* Bytes(const std::string& Text) {
    return reinterpret_cast<const std::uint8_t*>(Text.data());
}

// Text in the shape of prose: words, spaces, hyphens and tabs, lines of every length (some far
// longer than a wrap width), CR LF and LF ends, and, as Odd asks, form feeds, lone CRs, other
// control bytes and words longer than any wrap width.
std::string ProseText(std::mt19937& Rng, std::size_t Length, bool Odd) {
    static const char* const Words[] = {"a",   "of",    "line",    "window", "segment", "x-ray",
                                        "the", "well-", "storage", "-",      "tab",     "zz"};
    std::string T;
    // Line lengths: mostly up to 120 bytes, some up to 900, runs of very short ones.
    auto NextEnd = [&] {
        const unsigned R = Rng() % 12;
        return T.size() + Rng() % (R < 2 ? 900 : R < 4 ? 8 : 120);
    };
    std::size_t LineEnd = NextEnd();
    while (T.size() < Length) {
        if (T.size() >= LineEnd) {
            T += Rng() % 4 == 0 ? "\r\n" : "\n";
            LineEnd = NextEnd();
            continue;
        }
        const unsigned R = Rng() % 100;
        if (Odd && R < 2)
            T += "\f";
        else if (Odd && R < 4)
            T += "\r";
        else if (Odd && R < 5)
            T += std::string("\x01\x00\x0b\x0e", 4).substr(Rng() % 4, 1);
        else if (Odd && R < 6)
            T += std::string(40 + Rng() % 200, 'w');
        else
            T += Words[Rng() % 12];
        T += Rng() % 12 == 0 ? '\t' : ' ';
    }
    T.resize(Length);
    return T;
}

// Random uniform metrics: the width, tab stops (unordered at times) and the default tab.
TScanMetrics UniformMetrics(std::mt19937& Rng, std::array<std::int64_t, 256>& Widths,
                            std::vector<std::int64_t>& Tabs) {
    Widths.fill(1 + static_cast<std::int64_t>(Rng() % 9));
    Tabs.clear();
    const int Stops = static_cast<int>(Rng() % 4);
    std::int64_t Stop = 0;
    for (int I = 0; I < Stops; ++I)
        Tabs.push_back(Stop += 1 + static_cast<std::int64_t>(Rng() % 90));
    if (Stops > 1 && Rng() % 3 == 0)
        std::swap(Tabs[0], Tabs[1]);
    const std::int64_t DefaultTab = static_cast<std::int64_t>(Rng() % 70);
    return TScanMetrics{Widths.data(), Widths[0], DefaultTab,
                        static_cast<std::int64_t>(Tabs.size()), Tabs.data()};
}

// The ends of the display lines the wrapped count of Text must give, by the byte-by-byte scan
// from each line start (a line whose first character does not fit takes it, as GetNextLine
// does): up to the first line that does not end inside the text or whose end turns on the bytes
// beyond it (a CR that ends the text, or ends a character that does not fit). Lines must be
// shorter than 65535 bytes.
std::vector<std::int64_t> CountableLineEnds(const std::string& Text, const TScanMetrics& M,
                                            std::int64_t MaxWidth) {
    TScanMetrics Plain = M;
    Plain.UniformWidth = 0; // the byte-by-byte scan
    const auto N = static_cast<std::int64_t>(Text.size());
    std::vector<std::int64_t> Ends;
    if (MaxWidth < 0)
        return Ends; // nothing fits: every line is left to the general scan
    // Scans the line at Pos over the Length bytes from there.
    auto Scan = [&](std::int64_t Pos, std::int64_t Length, std::uint16_t& End, std::uint16_t& Count,
                    bool& Overflow) {
        End = 0;
        Count = 0;
        std::int64_t Width = 0, BreakWidth = 0;
        std::uint16_t BreakCount = 0;
        return ScanForEolBytewise(Bytes(Text) + Pos, End, static_cast<std::uint16_t>(Length - 1),
                                  MaxWidth, true, Count, Width, Plain, BreakWidth, BreakCount,
                                  Overflow);
    };
    for (std::int64_t Pos = 0; Pos < N;) {
        const std::int64_t Length = std::min<std::int64_t>(N - Pos, 0xFFFF);
        std::uint16_t End, Count;
        bool Overflow;
        if (!Scan(Pos, Length, End, Count, Overflow)) {
            EXPECT_EQ(Length, N - Pos) << "a test line longer than 65535 bytes";
            break;
        }
        if (Overflow && Count == 0) {
            // Not even the first character fits: GetNextLine takes it, and a line break right
            // after it, when the text tells.
            const auto At = static_cast<std::size_t>(Pos) + 1;
            if (Pos + 1 >= N || (Text[At] == '\r' && Pos + 2 >= N))
                break;
            End = Text[At] == '\n' ? 2 : Text.compare(At, 2, "\r\n") == 0 ? 3 : 1;
        }
        if (Text[static_cast<std::size_t>(N - 1)] == '\r' && Pos + Length == N) {
            std::uint16_t ShortEnd, ShortCount;
            bool ShortOverflow;
            if (Length == 1 || !Scan(Pos, Length - 1, ShortEnd, ShortCount, ShortOverflow))
                break;
        }
        Ends.push_back(Pos + End);
        Pos += End;
    }
    return Ends;
}

TEST(LineCountTest, WrappedUniformCountMatchesTheBytewiseScan) {
    std::mt19937 Rng(5150);
    TEveryIsa Isas;
    std::array<std::int64_t, 256> Widths;
    std::vector<std::int64_t> Tabs;
    int Counted = 0;
    for (int Round = 0; Round < 1500; ++Round) {
        const TBlockIsa Isa = Isas.Use(Round);
        // Mostly a window or less, at times more than the block route takes whole.
        const std::size_t Sizes[] = {1 + Rng() % 200, 1 + Rng() % 3000, 3000 + Rng() % 20000,
                                     65535 - Rng() % 64, 65536 + Rng() % 3000};
        const std::size_t Size = Sizes[Round % 25 == 0 ? 3 + Rng() % 2 : Rng() % 3];
        const bool Odd = Rng() % 3 == 0;
        std::string Text = ProseText(Rng, Size, Odd);
        if (Rng() % 8 == 0)
            Text.back() = '\r';
        const TScanMetrics M = UniformMetrics(Rng, Widths, Tabs);
        const std::int64_t Limits[] = {0,   -5,  1,   M.UniformWidth, 37,
                                       100, 250, 801, 2000,           NoWrapWidth};
        const std::int64_t MaxWidth = Limits[Rng() % 10];
        const std::vector<std::int64_t> Ends = CountableLineEnds(Text, M, MaxWidth);
        const std::int64_t MaxLines =
            Rng() % 4 == 0 ? 1 + static_cast<std::int64_t>(Rng() % 40) : INT64_MAX;
        const auto Expected = std::min<std::int64_t>(MaxLines, std::ssize(Ends));
        std::int64_t Taken = -1;
        const std::int64_t Lines = CountUniformLines(
            Bytes(Text), static_cast<std::int64_t>(Text.size()), MaxWidth, M, MaxLines, Taken);
        const std::string Trace = "round " + std::to_string(Round) + " isa " + std::to_string(Isa) +
                                  " size " + std::to_string(Size) + " width " +
                                  std::to_string(MaxWidth);
        ASSERT_EQ(Lines, Expected) << Trace;
        ASSERT_EQ(Taken, Expected == 0 ? 0 : Ends[static_cast<std::size_t>(Expected - 1)]) << Trace;
        Counted += Lines > 1;
    }
    EXPECT_GT(Counted, 1000) << "the rounds count lines";
}

TEST(LineCountTest, WrappedUniformCountStopsWhereTheGeneralScanMustDecide) {
    std::array<std::int64_t, 256> Widths;
    Widths.fill(10);
    const TScanMetrics M{Widths.data(), 10, 40, 0, nullptr};
    auto Count = [&](const std::string& Text, std::int64_t MaxWidth, std::int64_t& Taken) {
        return CountUniformLines(Bytes(Text), static_cast<std::int64_t>(Text.size()), MaxWidth, M,
                                 INT64_MAX, Taken);
    };
    std::int64_t Taken = -1;
    // Lines wrap after spaces and hyphens, cut inside words, and pass the width with spaces.
    EXPECT_EQ(Count("aaa bbb ccc\nxx", 50, Taken), 3);
    EXPECT_EQ(Taken, 12);
    EXPECT_EQ(Count("abcdefgh\n", 50, Taken), 2) << "abcde, fgh";
    EXPECT_EQ(Count("abcd      \n", 50, Taken), 1) << "spaces may pass the width";
    EXPECT_EQ(Count("abcd     \r\n", 50, Taken), 1);
    EXPECT_EQ(Taken, 11);
    // A tab past the width is cut; one that fits moves on to the next stop.
    EXPECT_EQ(Count("ab cd\tef\n", 50, Taken), 3) << "ab | cd, tab, e | f";
    EXPECT_EQ(Count("a\tb\n", 50, Taken), 1);
    // A first character that does not fit is a line of its own, with the line break after it.
    EXPECT_EQ(Count("\tb\n", 30, Taken), 2);
    EXPECT_EQ(Count("ab\r\nc\n", 5, Taken), 3);
    EXPECT_EQ(Taken, 6);
    // Left to the general scan: a line running past the range, a CR ending the range where it
    // decides.
    EXPECT_EQ(Count("aaaa bbbb", 50, Taken), 1);
    EXPECT_EQ(Taken, 5);
    EXPECT_EQ(Count("ab\r", 5, Taken), 1);
    EXPECT_EQ(Count("abcde\r", 50, Taken), 0);
    EXPECT_EQ(Count("abcd\r", 50, Taken), 0) << "fits: the line goes on";
    // Nothing to count: an empty range, no lines wanted.
    EXPECT_EQ(CountUniformLines(Bytes("ab\n"), 0, 50, M, INT64_MAX, Taken), 0);
    EXPECT_EQ(Taken, 0);
    EXPECT_EQ(CountUniformLines(Bytes("ab\n"), 3, 50, M, 0, Taken), 0);
    EXPECT_EQ(Taken, 0);
    // Form feeds: lines of their own, ending the line before them.
    EXPECT_EQ(Count("ab\fcd\n\f\n", 50, Taken), 5);
    EXPECT_EQ(Taken, 8);
}

TEST(LineCountTest, LineFeedCountOfEveryInstructionSetMatchesTheLines) {
    std::mt19937 Rng(1789);
    TEveryIsa Isas;
    for (int Round = 0; Round < 600; ++Round) {
        Isas.Use(Round);
        const std::string Text = ProseText(Rng, 1 + Rng() % 5000, Rng() % 2 == 0);
        const std::int64_t MaxLines =
            Rng() % 3 == 0 ? 1 + static_cast<std::int64_t>(Rng() % 60) : INT64_MAX;
        // The lines end at the line feeds before the first form feed.
        std::int64_t ExpectedLines = 0, ExpectedTaken = 0;
        for (std::size_t I = 0; I < Text.size() && Text[I] != '\f' && ExpectedLines < MaxLines; ++I)
            if (Text[I] == '\n') {
                ++ExpectedLines;
                ExpectedTaken = static_cast<std::int64_t>(I) + 1;
            }
        std::int64_t Taken = -1;
        ASSERT_EQ(
            CountLineFeeds(Bytes(Text), static_cast<std::int64_t>(Text.size()), MaxLines, Taken),
            ExpectedLines)
            << "round " << Round;
        ASSERT_EQ(Taken, ExpectedTaken) << "round " << Round;
    }
}

// CountLines from the start in chunks of Chunk lines (0: all at once): the start of every chunk
// and the total.
std::vector<std::int64_t> ChunkStarts(TLinesBuffer& B, std::int64_t Chunk, std::int64_t& Total) {
    std::vector<std::int64_t> Starts;
    std::int64_t Pos = 0;
    Total = 0;
    for (;;) {
        Starts.push_back(Pos);
        const std::int64_t Counted = B.CountLines(Pos, Chunk > 0 ? Chunk : INT64_MAX);
        Total += Counted;
        if (Counted == 0)
            break;
    }
    return Starts;
}

TEST(LineCountTest, CountLinesMatchesGetNextLineOverStreams) {
    std::mt19937 Rng(6502);
    TEveryIsa Isas;
    for (int Round = 0; Round < 24; ++Round) {
        Isas.Use(Round);
        const std::string Text = ProseText(Rng, 20000 + Rng() % 150000, Round % 3 == 0);
        const std::int64_t Widths[] = {0, 7, 100, 333, 800, 1601, NoWrapWidth};
        const std::int64_t MaxWidth = Widths[Rng() % 7];
        const std::uint16_t Buffers[] = {static_cast<std::uint16_t>(16 + Rng() % 200),
                                         static_cast<std::uint16_t>(4096 + Rng() % 9000), 0xFFFF};
        const std::uint16_t Buf = Buffers[Rng() % 3];
        test::TLayoutText T(Text, Buf, Rng() % 3 != 0);
        T.Stream.SetMaxWidth(MaxWidth);
        if (Rng() % 2 == 0) {
            T.Stream.SetTabCount(2);
            T.Stream.SetTabStop(0, 0.4f);
            T.Stream.SetTabStop(1, 1.7f);
        }
        const std::string Trace = "round " + std::to_string(Round) + " width " +
                                  std::to_string(MaxWidth) + " buffer " + std::to_string(Buf);
        // The line starts as GetNextLine gives them, one call a line, with their widths.
        std::vector<std::int64_t> Starts, LineWidths;
        std::int64_t Pos = 0;
        for (;;) {
            std::int64_t Width = 0, Count = 0;
            const std::int64_t Start = Pos;
            const bool Ended = T.Stream.GetNextLine(Pos, Width, Count);
            if (!Ended && Count == 0)
                break;
            Starts.push_back(Start);
            LineWidths.push_back(Width);
            if (!Ended)
                break;
        }
        const auto Lines = std::ssize(Starts);
        std::int64_t Total = 0;
        Pos = 0;
        ASSERT_EQ(T.Stream.CountLines(Pos, INT64_MAX), Lines) << Trace;
        ASSERT_EQ(Pos, static_cast<std::int64_t>(Text.size())) << Trace;
        const std::int64_t Chunk = 1 + static_cast<std::int64_t>(Rng() % 97);
        const std::vector<std::int64_t> Chunks = ChunkStarts(T.Stream, Chunk, Total);
        ASSERT_EQ(Total, Lines) << Trace;
        for (std::size_t I = 0; I + 1 < Chunks.size(); ++I)
            ASSERT_EQ(Chunks[I], Starts[I * static_cast<std::size_t>(Chunk)]) << Trace;
        // Only the lines that end by a bound: those before the first start beyond it.
        const std::int64_t Size = std::ssize(Text);
        const std::int64_t Bound = static_cast<std::int64_t>(Rng() % Text.size());
        Starts.push_back(Size);
        Pos = 0;
        const std::int64_t Before = T.Stream.CountLines(Pos, INT64_MAX, Bound);
        ASSERT_EQ(Pos, Starts[static_cast<std::size_t>(Before)]) << Trace;
        ASSERT_GT(Starts[static_cast<std::size_t>(Before + 1)], Bound) << Trace;
        // The plain lines in runs, from every line a run leaves, the rest one by one: each run
        // lands on a line start, ends by its bound, holds no line that begins with a form feed,
        // and raises Widest to its widest line wider than Known.
        const std::int64_t Known = MaxWidth == NoWrapWidth || MaxWidth == 0
                                       ? static_cast<std::int64_t>(Rng() % 4000)
                                       : MaxWidth + static_cast<std::int64_t>(Rng() % 50);
        std::int64_t InRuns = 0;
        for (std::int64_t I = 0; I < Lines;) {
            const std::int64_t Max = 1 + static_cast<std::int64_t>(Rng() % 300);
            const std::int64_t End = Rng() % 4 == 0 ? Starts[static_cast<std::size_t>(I)] +
                                                          static_cast<std::int64_t>(Rng() % 5000)
                                                    : Size;
            std::int64_t From = Starts[static_cast<std::size_t>(I)], Widest = Known;
            const std::int64_t Run = T.Stream.CountPlainLines(From, End, Max, Known, Widest);
            ASSERT_LE(Run, std::min(Max, Lines - I)) << Trace;
            std::int64_t Expected = Known;
            for (std::int64_t J = I; J < I + Run; ++J) {
                const auto L = static_cast<std::size_t>(J);
                ASSERT_TRUE(J == I || Text[static_cast<std::size_t>(Starts[L])] != '\f') << Trace;
                Expected = std::max(Expected, LineWidths[L]);
            }
            ASSERT_EQ(From, Starts[static_cast<std::size_t>(I + Run)]) << Trace << " line " << I;
            ASSERT_LE(From, std::max(End, Starts[static_cast<std::size_t>(I)])) << Trace;
            ASSERT_EQ(Widest, Expected) << Trace << " line " << I;
            InRuns += Run;
            I += std::max<std::int64_t>(Run, 1);
        }
        if (Buf == 0xFFFF && T.Stream.GetDisplayWidths()['a'] == T.Stream.GetDisplayWidths()['i']) {
            EXPECT_GT(InRuns * 2, Lines) << Trace << ": most lines are counted in runs";
        }
    }
}

// Narrow wrapping of a long line costs work in proportion to its bytes: walking its display
// lines one by one, counting them, and counting them in runs, each classify a few blocks of 64
// bytes for every block of the text and every line, whatever the width.
TEST(LineCountTest, NarrowWrapsOfLongLinesTakeWorkInProportionToTheBytes) {
#ifdef NDEBUG
    GTEST_SKIP() << "the scans count their work in builds without NDEBUG only";
#endif
    std::string Word(300000, 'x'), Prose;
    while (Prose.size() < 300000)
        Prose += "lorem ipsum-dolor sit amet ";
    for (const std::string* Text : {&Word, &Prose})
        for (const std::int64_t MaxWidth : {1, 8, 24, 800}) {
            test::TLayoutText T(*Text, 0xFFFF);
            T.Stream.SetMaxWidth(MaxWidth);
            const auto Bytes = std::ssize(*Text);
            const std::string Trace = "width " + std::to_string(MaxWidth);
            // A few blocks for each block of the text and each line (the line's first block).
            auto Within = [&](std::int64_t From, std::int64_t Lines) {
                return bytescan::BlocksWalked() - From <= 4 * (Bytes / 64 + Lines) + 64;
            };
            std::int64_t From = bytescan::BlocksWalked(), Pos = 0, Lines = 0;
            for (std::int64_t W = 0, N = 0; T.Stream.GetNextLine(Pos, W, N); ++Lines)
                ASSERT_TRUE(Within(From, Lines)) << Trace << ", walked to " << Pos;
            From = bytescan::BlocksWalked();
            Pos = 0;
            EXPECT_EQ(T.Stream.CountLines(Pos, INT64_MAX), Lines + 1) << Trace;
            EXPECT_TRUE(Within(From, Lines)) << Trace;
            From = bytescan::BlocksWalked();
            Pos = 0;
            // (A line that crosses a window is left to GetNextLine, as the viewer's count does.)
            std::int64_t Counted = 0, Widest = 0, Single = 0;
            while (Pos < Bytes) {
                const std::int64_t Run =
                    T.Stream.CountPlainLines(Pos, Bytes, 100, MaxWidth, Widest);
                Counted += Run;
                if (Run == 0) {
                    std::int64_t W = 0, N = 0;
                    T.Stream.GetNextLine(Pos, W, N);
                    ++Single;
                }
            }
            EXPECT_EQ(Counted + Single, Lines + 1) << Trace;
            EXPECT_LT(Single, Lines / 100 + 10) << Trace;
            EXPECT_TRUE(Within(From, Lines)) << Trace;
        }
}

} // namespace
} // namespace kestrel
