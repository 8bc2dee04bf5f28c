// TEditStream::ReplaceMatches against a string model: many matches (across the match list's
// blocks) replaced as one undo record, read back through small windows, with bookmarks, earlier
// edits inside the range, undo and redo.
#include "storage_test_util.h"

#include <gtest/gtest.h>

#include "textbuff/edit_stream.h"

#include <random>

namespace kestrel {
namespace {

TEST(ReplaceMatchesTest, ManyMatchesAsOneUndoRecordAgainstAModel) {
    const std::uint32_t Seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(Seed));
    std::mt19937 Rng(Seed);
    for (int Round = 0; Round < 6; ++Round) {
        std::string Text;
        for (int I = 0; I < 100000; ++I)
            Text += "ab"[Rng() % 2];
        TEditStream Stream(nullptr);
        Stream.SetBufSize(static_cast<std::uint16_t>(16 + Rng() % 48));
        Stream.SetSourceStream(test::MemoryStreamOf(Text));
        // An edit first, so that the range holds inserted bytes as well as the source's.
        Stream.Insert("bab", 100, 3);
        Text.insert(100, "bab");
        const std::int64_t Mark = Stream.GetBookMarkHandle(30001);
        const std::int64_t MarkEnd =
            Stream.GetBookMarkHandle(static_cast<std::int64_t>(Text.size()));
        // Every "ab" in [Pos, Pos + Count), left to right.
        const std::int64_t Pos = Rng() % 50;
        const std::int64_t Count = static_cast<std::int64_t>(Text.size()) - Pos - Rng() % 50;
        const std::string By = std::string(Rng() % 4, 'x');
        TMatchList Matches;
        std::string Want = Text.substr(0, static_cast<std::size_t>(Pos));
        std::int64_t K = 0; // matches before the first bookmark
        for (std::int64_t I = Pos; I < Pos + Count;) {
            if (I + 1 < Pos + Count && Text[static_cast<std::size_t>(I)] == 'a' &&
                Text[static_cast<std::size_t>(I) + 1] == 'b') {
                Matches.Add(I - Pos);
                K += I < 30001 ? 1 : 0;
                Want += By;
                I += 2;
            } else {
                Want += Text[static_cast<std::size_t>(I)];
                ++I;
            }
        }
        Want += Text.substr(static_cast<std::size_t>(Pos + Count));
        ASSERT_GT(Matches.Size(), TMatchList::BlockSize);
        const std::int64_t N = Matches.Size();
        const std::int64_t Undo0 = Stream.GetUndoCount();
        EXPECT_EQ(Stream.ReplaceMatches(Pos, Count, std::move(Matches), 2, By),
                  N * (static_cast<std::int64_t>(By.size()) - 2));
        EXPECT_EQ(test::WholeText(Stream), Want);
        EXPECT_EQ(test::ReadThroughWindows(Stream, 0, Stream.GetTextSize()), Want);
        EXPECT_EQ(Stream.GetUndoCount(), Undo0 + 1);
        EXPECT_EQ(Stream.GetBookMark(MarkEnd), static_cast<std::int64_t>(Want.size()));
        const std::int64_t M = Stream.GetBookMark(Mark);
        EXPECT_NEAR(static_cast<double>(M),
                    static_cast<double>(30001 + K * (static_cast<std::int64_t>(By.size()) - 2)),
                    static_cast<double>(By.size()) + 2);
        // Random reads through the window.
        for (int R = 0; R < 200; ++R) {
            const std::int64_t At = Rng() % Want.size();
            ASSERT_EQ(Stream.GetString(At, 7), Want.substr(static_cast<std::size_t>(At), 7));
        }
        Stream.Undo();
        EXPECT_EQ(test::WholeText(Stream), Text);
        Stream.Redo();
        EXPECT_EQ(test::WholeText(Stream), Want);
        Stream.Undo();
        // Typing into the restored range and saving it still reads the original around it.
        Stream.Insert("Z", 5, 1);
        Text.insert(5, "Z");
        EXPECT_EQ(test::WholeText(Stream), Text);
    }
}

TEST(ReplaceMatchesTest, OverlappingOrOutsideMatchesAreRefused) {
    TEditStream Stream(nullptr);
    Stream.SetSourceStream(test::MemoryStreamOf("abcabc"));
    TMatchList Overlap;
    Overlap.Add(0);
    Overlap.Add(1);
    EXPECT_THROW(Stream.ReplaceMatches(0, 6, std::move(Overlap), 3, "x"), EInternalError);
    TMatchList Outside;
    Outside.Add(4);
    EXPECT_THROW(Stream.ReplaceMatches(0, 6, std::move(Outside), 3, "x"), EInternalError);
    EXPECT_EQ(test::WholeText(Stream), "abcabc");
    Stream.SetReadOnly(true);
    TMatchList One;
    One.Add(0);
    EXPECT_THROW(Stream.ReplaceMatches(0, 6, std::move(One), 3, "x"), EWriteProtectError);
}

} // namespace
} // namespace kestrel
