// Tests of the undo list: records, transactions, the level limit and the callbacks.
#include "textbuff/undo_list.h"

#include "storage_test_util.h"
#include "textbuff/text_buffer.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

/// An undo list whose records are linked or closed as the test says, over a store of bytes.
struct TUndoFixture : ::testing::Test {
    TMemoryBuffer Store;
    TUndoList List;
    bool LinkNext = false;
    int ChangeEvents = 0;

    void SetUp() override {
        List.SetOnSaveUndo([this](bool& Modified, std::int64_t&, std::int64_t&, std::int64_t&,
                                  TSelModes&, bool& Linked) {
            Modified = true;
            Linked = LinkNext;
        });
        List.SetOnUndoChange([this](TObject* Sender) {
            EXPECT_EQ(Sender, &List);
            ++ChangeEvents;
        });
    }
    /// A list holding Count stored bytes.
    std::unique_ptr<TSegmentList> Deleted(const std::string& Bytes) {
        auto Result = std::make_unique<TSegmentList>();
        Result->Append(Store.SaveBuf(Bytes.data(), static_cast<std::int64_t>(Bytes.size())));
        return Result;
    }
    /// One edit: a new record at Pos recording Count inserted bytes.
    void Edit(std::int64_t Pos, std::int64_t Count = 1) {
        List.PushUndoStack(Pos);
        List.SaveInsertInfo(Pos, Count);
    }
};

TEST_F(TUndoFixture, ZeroLevelsRecordNothingAndDiscardDeletedBytes) {
    List.SetMaxUndoLevels(0);
    Edit(3);
    List.SaveUndo(Deleted("gone"), 3);
    EXPECT_EQ(List.GetCount(), 0);
    EXPECT_EQ(List.GetTransactionCount(), 0);
    EXPECT_EQ(Store.GetTop(), 0) << "the deleted bytes went back to the store";
    std::int64_t Pos, Restore, Remove;
    EXPECT_FALSE(List.QueryUndo(Pos, Restore, Remove));
    test::ExpectRaises<EUndoError>([&] { List.GetUndoList(); }, "Nothing to Undo!");
}

TEST_F(TUndoFixture, TheOldestTransactionsGoBeyondTheLimit) {
    for (int I = 0; I < 11; ++I)
        Edit(I * 10);
    EXPECT_EQ(List.GetTransactionCount(), 10);
    EXPECT_EQ(List.GetCount(), 10);
    EXPECT_EQ(List.GetItem(9)->Pos, 10) << "the first edit's record is gone";

    // A transaction of three linked records counts once and goes as a whole.
    TUndoList Small;
    Small.SetMaxUndoLevels(2);
    bool Link = true;
    Small.SetOnSaveUndo([&](bool&, std::int64_t&, std::int64_t&, std::int64_t&, TSelModes&,
                            bool& Linked) { Linked = Link; });
    for (int I = 0; I < 3; ++I) {
        Small.PushUndoStack(I);
        Small.SaveInsertInfo(I, 1);
    }
    Small.SetTransactionBoundary();
    EXPECT_EQ(Small.GetTransactionCount(), 1);
    Link = false;
    Small.PushUndoStack(100);
    Small.SaveInsertInfo(100, 1);
    EXPECT_EQ(Small.GetCount(), 4);
    Small.PushUndoStack(200);
    Small.SaveInsertInfo(200, 1);
    EXPECT_EQ(Small.GetCount(), 2) << "the three linked records left together";
    EXPECT_EQ(Small.GetTransactionCount(), 2);
}

TEST_F(TUndoFixture, LoweringTheLimitDropsTheOldestAtOnce) {
    for (int I = 0; I < 6; ++I)
        Edit(I * 10);
    List.SetMaxUndoLevels(4);
    EXPECT_EQ(List.GetTransactionCount(), 4);
    EXPECT_EQ(List.GetItem(3)->Pos, 20);
    ChangeEvents = 0;
    List.SetMaxUndoLevels(0);
    EXPECT_EQ(List.GetCount(), 0);
    EXPECT_EQ(List.GetTransactionCount(), 0);
    EXPECT_EQ(ChangeEvents, 1);
}

TEST_F(TUndoFixture, TypingAccumulatesAndBackspacingMovesTheRecord) {
    List.PushUndoStack(10);
    for (int I = 0; I < 5; ++I)
        List.SaveInsertInfo(10 + I, 1);
    EXPECT_EQ(List.GetCount(), 1);
    EXPECT_EQ(List.GetTop()->InsertCount, 5);
    List.SaveInsertInfo(15, 1); // at the end of the insertion: still the same record
    List.SaveInsertInfo(30, 1); // elsewhere: a new record
    EXPECT_EQ(List.GetCount(), 2);

    List.PushUndoStack(50);
    List.SaveUndo(Deleted("c"), 49);
    List.SaveUndo(Deleted("b"), 48);
    List.SaveUndo(Deleted("a"), 47);
    EXPECT_EQ(List.GetCount(), 3);
    EXPECT_EQ(List.GetTop()->Pos, 47);
    EXPECT_EQ(List.GetTop()->GetSize(), 3);
}

TEST_F(TUndoFixture, DeletionsAppendOnlyAtTheRecordsOwnPosition) {
    // Forward deletes at one place continue the record; a deletion just after the record's
    // bytes in the current text was not next to them in the original: a new record.
    List.PushUndoStack(5);
    List.SaveUndo(Deleted("f"), 5);
    List.SaveUndo(Deleted("g"), 5);
    EXPECT_EQ(List.GetCount(), 1);
    EXPECT_EQ(List.GetTop()->GetSize(), 2);
    List.SaveUndo(Deleted("i"), 7);
    EXPECT_EQ(List.GetCount(), 2);
    EXPECT_EQ(List.GetTop()->Pos, 7);
}

TEST_F(TUndoFixture, QueryDropsEmptyRecordsAndPoppingClosesTheCount) {
    Edit(1);
    List.PushUndoStack(5);
    List.PushUndoStack(6); // replaces the empty record at 5
    EXPECT_EQ(List.GetCount(), 2);
    std::int64_t Pos = -1, Restore = -1, Remove = -1;
    ASSERT_TRUE(List.QueryUndo(Pos, Restore, Remove));
    EXPECT_EQ(List.GetCount(), 1);
    EXPECT_EQ(Pos, 1);
    EXPECT_EQ(Remove, 1);
    EXPECT_EQ(Restore, 0);

    ChangeEvents = 0;
    bool Restored = false;
    List.SetOnUndo(
        [&](bool Modified, std::int64_t CaretPos, std::int64_t, std::int64_t, TSelModes) {
            Restored = Modified;
            EXPECT_EQ(CaretPos, 1);
        });
    std::unique_ptr<TUndoInfo> Record = List.GetUndoList();
    EXPECT_TRUE(Restored);
    EXPECT_EQ(List.GetTransactionCount(), 0);
    EXPECT_EQ(ChangeEvents, 1) << "the count reached 0";
    EXPECT_EQ(List.PopUndoStack(), nullptr);
}

TEST_F(TUndoFixture, CaretOfASupersededRecordSurvives) {
    int Caret = 40;
    List.SetOnSaveUndo([&](bool&, std::int64_t& CaretPos, std::int64_t&, std::int64_t&, TSelModes&,
                           bool&) { CaretPos = Caret; });
    List.PushUndoStack(40); // started and then superseded before it recorded anything
    Caret = 7;
    List.PushUndoStack(39);
    EXPECT_EQ(List.GetCount(), 1);
    EXPECT_EQ(List.GetTop()->CaretPos, 40);
}

} // namespace
} // namespace kestrel
