// Tests of the generated test text: determinism, random access, line structure.
#include "support/testdata/generated_text.h"

#include "host/exceptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace kestrel::testdata {
namespace {

TEST(GeneratedTextTest, RandomAccessMatchesSequentialReading) {
    constexpr std::int64_t Size = 300000;
    TGeneratedTextStream Stream(Size);
    std::string All(Size, '\0');
    ASSERT_EQ(Stream.Read(All.data(), Size + 10), Size);
    EXPECT_EQ(Stream.Read(All.data(), 1), 0);

    TGeneratedText Other(Size); // a second generator: same bytes, whatever the order of access
    for (std::int64_t Pos : {299999LL, 0LL, 4095LL, 4096LL, 123457LL, 8191LL})
        EXPECT_EQ(Other.Text(Pos, 5000), All.substr(static_cast<std::size_t>(Pos), 5000)) << Pos;
    Stream.Seek(-10, soFromEnd);
    char Tail[10];
    EXPECT_EQ(Stream.Read(Tail, 10), 10);
    EXPECT_EQ(std::string(Tail, 10), All.substr(Size - 10));
    EXPECT_THROW(Stream.Write("x", 1), EWriteError);

    EXPECT_NE(TGeneratedText(Size, {.Seed = 1}).Text(0, 4096), All.substr(0, 4096));
}

TEST(GeneratedTextTest, LinesAreNumberedAndVaried) {
    for (const bool CrLf : {false, true}) {
        SCOPED_TRACE(CrLf ? "CR LF" : "LF");
        constexpr std::int64_t Size = 1 << 20;
        TGeneratedText Text(Size, {.CrLf = CrLf});
        const std::string All = Text.Text(0, Size);
        EXPECT_EQ(Text.LineBreakCount(), std::count(All.begin(), All.end(), '\n'));
        EXPECT_NEAR(static_cast<double>(Size) / static_cast<double>(Text.LineBreakCount()), 100, 5);

        std::int64_t Start = 0, Line = 0, Shortest = Size, Longest = 0;
        for (std::int64_t Pos = 0; Pos < Size; ++Pos) {
            if (All[static_cast<std::size_t>(Pos)] != '\n')
                continue;
            ASSERT_EQ(Text.LineStart(Line), Start) << "line " << Line;
            const std::int64_t Length = Pos - Start - (CrLf ? 1 : 0);
            if (CrLf) {
                ASSERT_EQ(All[static_cast<std::size_t>(Pos - 1)], '\r');
            }
            const std::string Prefix = "line " + std::to_string(Line) + " ";
            if (Length >= static_cast<std::int64_t>(Prefix.size())) {
                ASSERT_EQ(All.compare(static_cast<std::size_t>(Start), Prefix.size(), Prefix), 0);
            }
            Shortest = std::min(Shortest, Length);
            Longest = std::max(Longest, Length);
            Start = Pos + 1;
            ++Line;
        }
        EXPECT_EQ(Shortest, 0) << "some lines are empty";
        EXPECT_GT(Longest, 400) << "some lines are long";
        EXPECT_NE(All.find('\t'), std::string::npos);
        EXPECT_EQ(All.find('\r') != std::string::npos, CrLf);
    }
}

TEST(GeneratedTextTest, SingleLineHasNoBreaks) {
    TGeneratedText Text(100000, {.SingleLine = true});
    const std::string All = Text.Text(0, 100000);
    EXPECT_EQ(All.find('\n'), std::string::npos);
    EXPECT_EQ(Text.LineBreakCount(), 0);
    EXPECT_EQ(Text.LineStart(1), 100000);
}

TEST(GeneratedTextTest, HugeTextsAreReachedWithoutGeneratingWhatComesBefore) {
    const auto Begin = std::chrono::steady_clock::now();
    TGeneratedText Text(10LL << 40); // 10 TiB
    EXPECT_EQ(Text.Text((10LL << 40) - 3, 10).size(), 3u);
    const std::int64_t Line =
        (5LL << 40) / TGeneratedText::BlockSize * TGeneratedText::LinesPerBlock;
    const std::int64_t Start = Text.LineStart(Line);
    EXPECT_EQ(Start, 5LL << 40);
    EXPECT_EQ(Text.Text(Start, 5), "line ");
    EXPECT_EQ(Text.LineBreakCount(), (10LL << 40) / 4096 * 40);
    EXPECT_LT(std::chrono::steady_clock::now() - Begin, std::chrono::seconds(1));
}

} // namespace
} // namespace kestrel::testdata
