// Tests of the segment lists: splitting and merging, the free list, the virtual stream.
#include "textbuff/segment_list.h"

#include "storage_test_util.h"
#include "textbuff/text_buffer.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

using test::ExpectRaises;
using test::MemoryStreamOf;

/// The text of a segment list, read segment by segment.
std::string ListText(const TSegmentList& List) {
    std::string Result;
    for (const TStreamSegment* S = List.GetHead(); S != nullptr; S = S->Next) {
        std::string Part(static_cast<std::size_t>(S->Size), '\0');
        EXPECT_EQ(S->Read(Part.data(), 0, S->Size), S->Size);
        Result += Part;
    }
    return Result;
}

std::unique_ptr<TStreamSegment> Seg(TStream* Stream, std::int64_t Start, std::int64_t Size) {
    return std::make_unique<TStreamSegment>(Stream, Start, Size);
}

TEST(SegmentTest, SplitAtTheEdgesCreatesNothing) {
    auto Source = MemoryStreamOf("0123456789");
    TSegmentList List;
    TStreamSegment* A = List.Append(Seg(Source.get(), 0, 4));
    TStreamSegment* B = List.Append(Seg(Source.get(), 6, 4));
    EXPECT_EQ(List.SegmentCount(), 2);
    EXPECT_EQ(List.Split(A, 0), A);
    EXPECT_EQ(List.Split(A, 4), B);
    EXPECT_EQ(List.Split(B, 4), nullptr) << "the tail has no next";
    EXPECT_EQ(List.Split(B, -3), B);
    EXPECT_EQ(List.SegmentCount(), 2);

    TStreamSegment* Part = List.Split(B, 1);
    EXPECT_EQ(Part->Start, 7);
    EXPECT_EQ(B->Size, 1);
    EXPECT_EQ(List.GetTail(), Part);
    EXPECT_TRUE(List.IsConsistent());
    EXPECT_EQ(ListText(List), "01236789");
}

TEST(SegmentTest, LinkingMergesContiguousNeighbours) {
    auto Source = MemoryStreamOf("0123456789");
    auto Other = MemoryStreamOf("abcdef");
    TSegmentList List;
    List.Append(Seg(Source.get(), 0, 3));
    List.Append(Seg(Source.get(), 3, 2)); // continues the tail: merged
    EXPECT_EQ(List.SegmentCount(), 1);
    List.Append(Seg(Other.get(), 5, 1)); // same offsets, another stream: separate
    EXPECT_EQ(List.SegmentCount(), 2);
    List.Prepend(Seg(Other.get(), 0, 2));
    List.Prepend(Seg(Other.get(), 4, 1)); // does not continue the head
    EXPECT_EQ(ListText(List), "eab01234f");
    // A segment between two it joins: absorbs the successor and is absorbed by the predecessor.
    TSegmentList Two;
    TStreamSegment* Front = Two.Append(Seg(Source.get(), 0, 2));
    Two.Append(Seg(Other.get(), 0, 1));
    Two.UnLink(Two.GetTail());
    Two.Append(Seg(Source.get(), 5, 5));
    EXPECT_EQ(Two.InsertAfter(Front, Seg(Source.get(), 2, 3)), Front);
    EXPECT_EQ(Two.SegmentCount(), 1);
    EXPECT_EQ(Two.GetSize(), 10);
    EXPECT_TRUE(Two.IsConsistent());
}

TEST(SegmentTest, MovingAListKeepsItsOrderDespiteMerges) {
    // The moved list's last segment continues the segment before the insertion point, and the
    // segment after it continues that one: merges must not reorder the bytes.
    auto Source = MemoryStreamOf("abcd");
    auto Typed = MemoryStreamOf("Q");
    TSegmentList Text;
    TStreamSegment* Before = Text.Append(Seg(Source.get(), 0, 1)); // a
    Text.Append(Seg(Source.get(), 2, 2));                          // cd
    auto Moved = std::make_unique<TSegmentList>();
    Moved->Append(Seg(Typed.get(), 0, 1));  // Q
    Moved->Append(Seg(Source.get(), 1, 1)); // b
    Text.InsertListAfter(Before, std::move(Moved));
    EXPECT_EQ(ListText(Text), "aQbcd");
    EXPECT_EQ(Text.SegmentCount(), 3) << "b merged with cd, a stayed apart from Q";
    EXPECT_TRUE(Text.IsConsistent());

    auto AtFront = std::make_unique<TSegmentList>();
    AtFront->Append(Seg(Source.get(), 0, 1));
    AtFront->Append(Seg(Typed.get(), 0, 1));
    TSegmentList Rest;
    Rest.Append(Seg(Source.get(), 1, 3));
    Rest.InsertListAfter(nullptr, std::move(AtFront));
    EXPECT_EQ(ListText(Rest), "aQbcd");
    EXPECT_TRUE(Rest.IsConsistent());
}

TEST(FreeListTest, FirstFitTopAndMerging) {
    TMemoryBuffer Store;
    auto A = Store.SaveBuf("aaaa", 4);
    auto B = Store.SaveBuf("bb", 2);
    auto C = Store.SaveBuf("cccc", 4);
    auto D = Store.SaveBuf("dd", 2);
    EXPECT_EQ(Store.GetTop(), 12);
    EXPECT_EQ(C->Start, 6);

    Store.DeAlloc(std::move(A));
    Store.DeAlloc(std::move(C));
    EXPECT_EQ(Store.SegmentCount(), 2);
    Store.DeAlloc(std::move(B)); // between two free blocks: merges with both
    EXPECT_EQ(Store.SegmentCount(), 1);
    EXPECT_EQ(Store.GetHead()->Start, 0);
    EXPECT_EQ(Store.GetHead()->Size, 10);
    Store.DeAlloc(std::move(D)); // at the top: lowers it instead of being kept
    EXPECT_EQ(Store.GetTop(), 10);
    EXPECT_EQ(Store.SegmentCount(), 1);

    auto E = Store.SaveBuf("ee", 2); // first fit from the front, the rest stays free
    EXPECT_EQ(E->Start, 0);
    EXPECT_EQ(Store.GetHead()->Start, 2);
    EXPECT_EQ(Store.GetHead()->Size, 8);
    auto F = Store.Alloc(9); // nothing fits: carved at the top
    EXPECT_EQ(F->Start, 10);
    EXPECT_EQ(Store.GetTop(), 19);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Store.GetStream()->GetMemory()), 2), "ee");

    TFreeList Plain;
    EXPECT_EQ(Plain.Alloc(4), nullptr) << "no memory stream, no blocks";
    EXPECT_EQ(Plain.SaveBuf("x", 1), nullptr);
}

TEST(FreeListTest, DiscardedSegmentsGiveTheirBytesBack) {
    TMemoryBuffer Store;
    auto Source = MemoryStreamOf("source");
    {
        TSegmentList Record;
        Record.Append(Store.SaveBuf("typed", 5));
        Record.Append(Seg(Source.get(), 0, 6));
        Record.Append(Store.SaveBuf("more", 4)); // contiguous with "typed" in the store
        EXPECT_EQ(Store.GetTop(), 9);
    } // destroying the list disposes of its segments
    EXPECT_EQ(Store.GetTop(), 5) << "the block at the top lowered it";
    EXPECT_EQ(Store.GetSize(), 5) << "the other block is free";
}

// --- TVirtualStreamList -------------------------------------------------------------------

struct TVirtualFixture : ::testing::Test {
    std::unique_ptr<TMemoryStream> Source = MemoryStreamOf("0123456789");
    TMemoryBuffer Store;
    TVirtualStreamList List;

    std::string Text() {
        std::string Result(static_cast<std::size_t>(List.GetSize()), '\0');
        List.Seek(0);
        EXPECT_EQ(List.Read(Result.data(), List.GetSize()), List.GetSize());
        return Result;
    }
    void InsertAt(std::int64_t Pos, const std::string& Bytes) {
        List.Seek(Pos);
        List.Insert(Store.SaveBuf(Bytes.data(), static_cast<std::int64_t>(Bytes.size())));
        EXPECT_EQ(List.GetPosition(), Pos + static_cast<std::int64_t>(Bytes.size()));
        EXPECT_TRUE(List.IsPositionConsistent());
    }
};

TEST_F(TVirtualFixture, InsertPrependsAppendsSplitsAndMerges) {
    List.Insert(Seg(Source.get(), 0, 10));
    InsertAt(0, "<");
    InsertAt(11, ">");
    InsertAt(5, "ab");
    EXPECT_EQ(Text(), "<0123ab456789>");
    EXPECT_EQ(List.SegmentCount(), 5);
    InsertAt(7, "cd"); // continues "ab" in the store: merged into it
    EXPECT_EQ(Text(), "<0123abcd456789>");
    EXPECT_EQ(List.SegmentCount(), 5);
    List.Insert(Seg(Source.get(), 0, 0)); // empty: disposed of, nothing changes
    EXPECT_EQ(List.GetSize(), 16);
}

TEST_F(TVirtualFixture, CutRejoinsOnlyContiguousOuterParts) {
    List.Insert(Seg(Source.get(), 0, 10));
    InsertAt(4, "xyz");
    EXPECT_EQ(List.SegmentCount(), 3);
    // Deleting exactly the inserted text re-joins the two halves of the source segment.
    List.Seek(4);
    auto Removed = List.Cut(3);
    EXPECT_EQ(ListText(*Removed), "xyz");
    EXPECT_EQ(List.SegmentCount(), 1);
    EXPECT_EQ(List.GetPosition(), 4);
    EXPECT_TRUE(List.IsPositionConsistent());

    // From the middle of one segment to the middle of another: the outer parts stay apart.
    InsertAt(4, "xyz");
    List.Seek(2);
    auto Across = List.Cut(4);
    EXPECT_EQ(ListText(*Across), "23xy");
    EXPECT_EQ(Text(), "01z456789");
    EXPECT_EQ(List.SegmentCount(), 3);

    // Putting the cut back restores the text and the position ends after it.
    List.Seek(2);
    List.InsertSegmentList(std::move(Across));
    EXPECT_EQ(List.GetPosition(), 6);
    EXPECT_TRUE(List.IsPositionConsistent());
    EXPECT_EQ(Text(), "0123xyz456789");

    List.Seek(0);
    auto All = List.Cut(100);
    EXPECT_EQ(ListText(*All), "0123xyz456789");
    EXPECT_EQ(List.GetSize(), 0);
    EXPECT_EQ(List.GetCurrent(), nullptr);
    EXPECT_EQ(List.GetPosition(), 0);
    EXPECT_EQ(List.Cut(5)->GetSize(), 0);
    List.InsertSegmentList(std::move(All));
    EXPECT_EQ(Text(), "0123xyz456789");
}

TEST_F(TVirtualFixture, SeekAndReadFailures) {
    const std::string Suffix = " - Please save the file to resynchronise editor";
    List.Seek(0);
    ExpectRaises<EInternalError>([&] { List.Seek(1); }, "Non-zero seek on empty list" + Suffix);
    char Out[20];
    ExpectRaises<EReadError>([&] { List.Read(Out, 1); }, "Attempted read of empty Virtual Stream");
    EXPECT_EQ(List.Read(Out, 0), 0);

    List.Insert(Seg(Source.get(), 0, 10));
    InsertAt(5, "ab");
    List.Seek(12); // the end is a valid position
    EXPECT_EQ(List.GetPosition(), 12);
    ExpectRaises<EInternalError>([&] { List.Seek(13); }, "Internal Seek Error" + Suffix);
    ExpectRaises<EInternalError>([&] { List.Seek(-1); }, "Internal Seek Error" + Suffix);
    List.Seek(10);
    ExpectRaises<EReadError>([&] { List.Read(Out, 3); }, "Read beyond End of Virtual Stream");
    EXPECT_THROW(List.CopyToStream(Source.get(), 3), EReadError);

    List.Seek(3);
    TMemoryStream Copy;
    List.CopyToStream(&Copy, 8);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Copy.GetMemory()), 8), "34ab5678");
    EXPECT_EQ(List.GetPosition(), 11);
}

TEST_F(TVirtualFixture, ShortSourceEndsTheReadInsteadOfSpinning) {
    List.Insert(Seg(Source.get(), 0, 10));
    InsertAt(10, "tail");
    Source->SetSize(6); // the source lost its last four bytes
    char Out[14] = {};
    List.Seek(2);
    EXPECT_EQ(List.Read(Out, 12), 4);
    EXPECT_EQ(std::string(Out, 4), "2345");
}

} // namespace
} // namespace kestrel
