// Tests of TEditStream: pending edits, undo and redo, write protection, limits and failures.
#include "textbuff/edit_stream.h"

#include "host/oem.h"
#include "storage_test_util.h"
#include "support/testdata/generated_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace kestrel {
namespace {

using test::ExpectRaises;
using test::MemoryStreamOf;
using test::StreamedText;
using test::WholeText;

const std::string Suffix = " - Please save the file to resynchronise editor";

/// An edit stream over Text with a BufSize-byte window, counting its events.
struct TEditFixture : ::testing::Test {
    TEditStream Stream{nullptr};
    int Changes = 0;
    int ModifiedEvents = 0;

    void Open(const std::string& Text, std::uint16_t BufSize = 4096) {
        Stream.SetBufSize(BufSize);
        Stream.SetSourceStream(MemoryStreamOf(Text));
        Stream.SetOnChange([this](TObject*) { ++Changes; });
        Stream.SetOnModified([this](TObject*) { ++ModifiedEvents; });
    }
    void Type(std::int64_t Pos, const std::string& Text) {
        for (std::size_t I = 0; I < Text.size(); ++I)
            Stream.Insert(&Text[I], Pos + static_cast<std::int64_t>(I), 1);
    }
    void Backspace(std::int64_t Pos, int Count) {
        for (int I = 1; I <= Count; ++I)
            Stream.Delete(Pos - I, 1);
    }
    void Overwrite(std::int64_t Pos, const std::string& Text) {
        for (std::size_t I = 0; I < Text.size(); ++I)
            Stream.ReplaceChar(Pos + static_cast<std::int64_t>(I),
                               static_cast<std::uint8_t>(Text[I]));
    }
    std::string Text() { return WholeText(Stream); }
};

std::string Hundred() {
    std::string S;
    for (int I = 0; I < 100; ++I)
        S += static_cast<char>('a' + I % 26);
    return S;
}

TEST_F(TEditFixture, TypingAtTheEndIsOneRecordUndoneAndRedone) {
    Open(Hundred());
    Type(100, "0123456789");
    EXPECT_EQ(Stream.GetTextSize(), 110);
    EXPECT_EQ(Stream.GetPendingInsert(), 10) << "typing stays in the window";
    EXPECT_EQ(Stream.GetSegments().SegmentCount(), 1);
    Stream.SaveChanges();
    EXPECT_EQ(Stream.GetUndoList().GetCount(), 1);
    EXPECT_EQ(Stream.GetUndoList().GetTop()->InsertCount, 10);
    EXPECT_EQ(Changes, 10);
    EXPECT_EQ(ModifiedEvents, 1);

    EXPECT_EQ(Stream.Undo(), 100);
    EXPECT_EQ(Text(), Hundred());
    EXPECT_FALSE(Stream.GetModified()) << "undone back to the opened text";
    EXPECT_EQ(Stream.GetRedoCount(), 1);
    EXPECT_EQ(Stream.Redo(), 100);
    EXPECT_EQ(Text(), Hundred() + "0123456789");
    EXPECT_TRUE(Stream.GetModified());
    EXPECT_EQ(Stream.Undo(), 100);
    EXPECT_EQ(Stream.Undo(), 0) << "nothing left";
    EXPECT_EQ(Text(), Hundred());
}

TEST_F(TEditFixture, BackspacingIsOneRecordKeepingTheFirstCaret) {
    Open(Hundred());
    std::int64_t Caret = 50;
    Stream.SetOnSaveUndo([&](std::int64_t& CaretPos, std::int64_t&, std::int64_t&, TSelModes&,
                             bool&) { CaretPos = Caret--; });
    Backspace(50, 3);
    EXPECT_EQ(Text(), Hundred().substr(0, 47) + Hundred().substr(50));
    Stream.SaveChanges();
    ASSERT_EQ(Stream.GetUndoList().GetCount(), 1);
    EXPECT_EQ(Stream.GetUndoList().GetTop()->Pos, 47);
    EXPECT_EQ(Stream.GetUndoList().GetTop()->GetSize(), 3);

    std::int64_t Restored = -1;
    Stream.SetOnUndo(
        [&](std::int64_t CaretPos, std::int64_t, std::int64_t, TSelModes) { Restored = CaretPos; });
    EXPECT_EQ(Stream.Undo(), 47);
    EXPECT_EQ(Text(), Hundred());
    EXPECT_EQ(Restored, 50) << "the caret stored when the first backspace was recorded";
}

TEST_F(TEditFixture, OverwritingIsOneRecordEvenAcrossWindowRefills) {
    Open(Hundred());
    Overwrite(10, "WXYZ");
    EXPECT_EQ(Changes, 0) << "ReplaceChar leaves OnChange to its callers";
    Stream.SaveChanges();
    ASSERT_EQ(Stream.GetUndoList().GetCount(), 1);
    EXPECT_EQ(Stream.GetUndoList().GetTop()->InsertCount, 4);
    EXPECT_EQ(Stream.GetUndoList().GetTop()->GetSize(), 4);
    EXPECT_EQ(Text().substr(8, 8), "ijWXYZop");
    Stream.Undo();
    EXPECT_EQ(Text(), Hundred());

    // With a 16-byte window the run crosses refills: each byte is saved only once written.
    TEditStream Small(nullptr);
    Small.SetBufSize(16);
    Small.SetMaxUndoLevels(100);
    Small.SetSourceStream(MemoryStreamOf(Hundred()));
    const std::string Run = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (std::size_t I = 0; I < Run.size(); ++I) {
        Small.ReplaceChar(30 + static_cast<std::int64_t>(I), static_cast<std::uint8_t>(Run[I]));
        std::string Expected = Hundred();
        Expected.replace(30, I + 1, Run.substr(0, I + 1));
        ASSERT_EQ(WholeText(Small), Expected) << "after " << I + 1 << " bytes";
    }
    while (Small.GetUndoCount() > 0)
        Small.Undo();
    EXPECT_EQ(WholeText(Small), Hundred());
}

// A walk through the widest window in the middle of typing: the window takes its old size again,
// and the typing goes on in the same record.
TEST_F(TEditFixture, AWideWindowForALongWalkKeepsTheTyping) {
    Open(Hundred() + Hundred(), 16);
    Type(100, "xy");
    {
        const TWideWindowScope Wide(&Stream);
        EXPECT_EQ(Stream.GetBufSize(), 0xFFFF);
        EXPECT_EQ(Text(), Hundred() + "xy" + Hundred());
    }
    EXPECT_EQ(Stream.GetBufSize(), 16);
    Type(102, "z");
    EXPECT_EQ(Text(), Hundred() + "xyz" + Hundred());
    Stream.Undo();
    EXPECT_EQ(Text(), Hundred() + Hundred());
}

TEST_F(TEditFixture, AnyEditEmptiesTheRedoList) {
    Open(Hundred());
    for (const auto& Edit : std::vector<std::function<void()>>{
             [&] { Stream.Insert("x", 5, 1); }, [&] { Stream.Delete(5, 1); },
             [&] { Stream.ReplaceChar(5, 'x'); }}) {
        Type(0, "ab");
        Stream.Undo();
        ASSERT_EQ(Stream.GetRedoCount(), 1);
        Edit();
        EXPECT_EQ(Stream.GetRedoCount(), 0);
        EXPECT_EQ(Stream.Redo(), 0) << "nothing to redo";
    }
}

TEST_F(TEditFixture, LinkedRecordsAreUndoneAndRedoneAsOne) {
    Open("Hello world");
    bool Link = true;
    Stream.SetOnSaveUndo([&](std::int64_t&, std::int64_t&, std::int64_t&, TSelModes&,
                             bool& Linked) { Linked = Link; });
    std::vector<std::int64_t> Before;
    int After = 0;
    Stream.SetOnBeforeUndo([&](std::int64_t Pos) { Before.push_back(Pos); });
    Stream.SetOnAfterUndo([&](TObject* Sender) {
        EXPECT_EQ(Sender, &Stream);
        ++After;
    });
    // A replace: delete "world", insert "there", as one transaction.
    Stream.Delete(6, 5);
    Stream.InsertString("there", 6);
    Stream.Insert("!", 11, 1);
    Stream.ClearLastUndoLink();
    Link = false;
    Type(0, ">");
    EXPECT_EQ(Text(), ">Hello there!");
    EXPECT_EQ(Stream.GetUndoCount(), 2);
    Stream.Undo();
    Before.clear();
    After = 0;
    EXPECT_EQ(Stream.Undo(), 6);
    EXPECT_EQ(Text(), "Hello world");
    EXPECT_EQ(static_cast<int>(Before.size()), After);
    EXPECT_GE(After, 1);
    EXPECT_EQ(Stream.GetUndoCount(), 0);
    EXPECT_EQ(Stream.GetRedoCount(), 2);
    EXPECT_EQ(Stream.Redo(), 6);
    EXPECT_EQ(Text(), "Hello there!");
    EXPECT_EQ(Stream.Redo(), 0);
    EXPECT_EQ(Text(), ">Hello there!");
}

TEST_F(TEditFixture, DeletionsAtNeighbouringPositionsUndoInOrder) {
    Open("abcdefghij");
    Stream.Delete(5, 1);
    Stream.Delete(6, 1);
    EXPECT_EQ(Text(), "abcdegij");
    Stream.Undo();
    Stream.Undo();
    EXPECT_EQ(Text(), "abcdefghij");
}

TEST_F(TEditFixture, UndoingToTheSavedStateClearsModified) {
    Open(Hundred());
    Type(0, "abc");
    Stream.SaveChanges();
    Stream.SetModified(false); // saved
    Stream.Insert("X", 50, 1);
    EXPECT_TRUE(Stream.GetModified());
    Stream.Undo();
    EXPECT_FALSE(Stream.GetModified());
    Stream.Redo();
    EXPECT_TRUE(Stream.GetModified());
    // A deletion and a backspace over the byte before it are one record, which the first
    // deletion began: undone, the text is as opened.
    Open(Hundred());
    Stream.Delete(50, 5);
    Stream.Delete(49, 1);
    Stream.Undo();
    EXPECT_EQ(Text(), Hundred());
    EXPECT_FALSE(Stream.GetModified());
}

TEST_F(TEditFixture, MaxTextSizeCutsInsertions) {
    Open("0123456789");
    Stream.SetMaxTextSize(10);
    Stream.Insert("abc", 5, 3);
    EXPECT_EQ(Text(), "0123456789");
    EXPECT_EQ(Changes, 0);
    EXPECT_FALSE(Stream.GetModified());
    Stream.SetMaxTextSize(12);
    Stream.Insert("abc", 5, 3);
    EXPECT_EQ(Text(), "01234ab56789");
    EXPECT_EQ(Stream.InsertMem(nullptr, 0), 0);
}

TEST_F(TEditFixture, PositionErrorsCarryTheResynchroniseSuffix) {
    Open("0123456789");
    Stream.Insert("x", 10, 1);
    EXPECT_EQ(Text(), "0123456789x");
    ExpectRaises<EInternalError>([&] { Stream.Insert("x", 12, 1); },
                                 "Insert past End of File" + Suffix);
    ExpectRaises<EInternalError>([&] { Stream.Delete(8, 4); },
                                 "Internal Error - Deletion passed End of File" + Suffix);
    ExpectRaises<EInternalError>([&] { Stream.Insert("x", -1, 1); },
                                 "Insert with a negative position or count" + Suffix);
    ExpectRaises<EInternalError>([&] { Stream.Insert("x", 0, -1); },
                                 "Insert with a negative position or count" + Suffix);
    ExpectRaises<EInternalError>([&] { Stream.Delete(-1, 1); },
                                 "Delete with a negative position or count" + Suffix);
    ExpectRaises<EInternalError>([&] { Stream.Delete(3, -2); },
                                 "Delete with a negative position or count" + Suffix);
    ExpectRaises<EInternalError>([&] { Stream.ReplaceChar(11, 'x'); },
                                 "Replace outside the text" + Suffix);
    ExpectRaises<EInternalError>([&] { StreamedText(Stream, 12, 1); },
                                 "Internal Seek Error" + Suffix);
    ExpectRaises<EReadError>([&] { StreamedText(Stream, 5, 7); },
                             "Read beyond End of Virtual Stream");
    EXPECT_EQ(Text(), "0123456789x") << "failed edits change nothing";
    EXPECT_EQ(Stream.GetSegments().GetSize(), 11);
    // Edits of nothing are no edits.
    Changes = 0;
    Stream.SaveChanges();
    const std::int64_t Records = Stream.GetUndoList().GetCount();
    Stream.Insert("x", 3, 0);
    Stream.Delete(3, 0);
    EXPECT_EQ(Changes, 0);
    EXPECT_EQ(Stream.GetUndoList().GetCount(), Records);
}

TEST_F(TEditFixture, ReadOnlyChangesNothing) {
    Open("0123456789");
    Type(0, "ab");
    Stream.Undo();
    Stream.SetReadOnly(true);
    ExpectRaises<EWriteProtectError>([&] { Stream.Insert("x", 0, 1); }, "Write protected!");
    ExpectRaises<EWriteProtectError>([&] { Stream.Delete(0, 1); }, "Write protected!");
    ExpectRaises<EWriteProtectError>([&] { Stream.ReplaceChar(0, 'x'); }, "Write protected!");
    ExpectRaises<EWriteProtectError>([&] { Stream.Redo(); }, "Write protected!");

    int Refused = 0;
    Stream.SetOnWriteProtect([&](TObject* Sender) {
        EXPECT_EQ(Sender, &Stream);
        ++Refused;
    });
    Stream.Insert("x", 0, 1);
    Stream.InsertString("xyz", 3);
    Stream.Delete(0, 1);
    Stream.ReplaceChar(0, 'x');
    EXPECT_EQ(Stream.Redo(), 0);
    EXPECT_EQ(Refused, 5);
    EXPECT_EQ(Text(), "0123456789");
    EXPECT_EQ(Stream.GetRedoCount(), 1) << "a refused edit leaves the redo list alone";
    EXPECT_FALSE(Stream.GetModified());
    Stream.SetReadOnly(false);
    Stream.Redo();
    EXPECT_EQ(Text(), "ab0123456789");
}

TEST_F(TEditFixture, ZeroUndoLevelsEmptyBothLists) {
    Open(Hundred());
    Type(0, "abc");
    Stream.Insert("X", 50, 1);
    Stream.Insert("Y", 70, 1);
    Stream.Undo();
    ASSERT_EQ(Stream.GetUndoCount(), 2);
    ASSERT_EQ(Stream.GetRedoCount(), 1);
    Stream.SetMaxUndoLevels(1);
    EXPECT_EQ(Stream.GetUndoCount(), 1) << "the oldest went at once";
    Stream.SetMaxUndoLevels(0);
    EXPECT_EQ(Stream.GetUndoCount(), 0);
    EXPECT_EQ(Stream.GetRedoCount(), 0);
    Stream.Delete(0, 3);
    EXPECT_EQ(Stream.Undo(), 0);
    EXPECT_EQ(Text(), Hundred().substr(0, 47) + "X" + Hundred().substr(47));
    EXPECT_EQ(Stream.GetInsertedText().GetSize(), Stream.GetInsertedText().GetTop() - 1)
        << "only the X is still in use";
}

TEST_F(TEditFixture, BookmarksFollowEditsAndStayOutOfDeletions) {
    Open(Hundred());
    const std::int64_t Before = Stream.GetBookMarkHandle(10);
    const std::int64_t Inside = Stream.GetBookMarkHandle(25);
    const std::int64_t After = Stream.GetBookMarkHandle(60);
    Stream.InsertString("abc", 10);
    EXPECT_EQ(Stream.GetBookMark(Before), 13);
    Stream.Delete(20, 30); // deletes 20 .. 49, which holds the mark at 28
    EXPECT_EQ(Stream.GetBookMark(Inside), 20);
    EXPECT_EQ(Stream.GetBookMark(After), 33);
    Backspace(20, 15);
    EXPECT_EQ(Stream.GetBookMark(Before), 5);
    EXPECT_EQ(Stream.GetBookMark(Inside), 5);
    EXPECT_EQ(Stream.GetBookMark(After), 18);
}

TEST_F(TEditFixture, ReattachingAndResizingKeepTheText) {
    Open(Hundred(), 16);
    Type(40, "typed");
    EXPECT_GT(Stream.GetPendingInsert(), 0);
    Stream.SetBufSize(64); // the pending bytes are saved before the buffer goes
    EXPECT_EQ(Stream.GetPendingInsert(), 0);
    EXPECT_EQ(Text(), Hundred().substr(0, 40) + "typed" + Hundred().substr(40));

    TStream* Source = Stream.GetSourceStream();
    Stream.SetSourceStream(Source); // re-opening the same stream
    EXPECT_EQ(Text(), Hundred());
    EXPECT_FALSE(Stream.GetModified());
    EXPECT_EQ(Stream.GetUndoCount(), 0);
    Stream.Reset();
    EXPECT_EQ(Stream.GetTextSize(), 0);
    Stream.InsertString("from nothing", 0);
    EXPECT_EQ(Text(), "from nothing");
}

TEST_F(TEditFixture, OemConversionLeavesInsertedBytesAlone) {
    Open("\x82t\xE9 ");
    Stream.SetOEMConvert(true);
    Stream.InsertString("\xE9", 4);
    std::string Expected;
    for (const char Ch : std::string("\x82t\xE9 "))
        Expected += static_cast<char>(OemToAnsiChar(static_cast<std::uint8_t>(Ch)));
    Stream.SaveChanges();
    Stream.SetBufSize(4096); // read everything again from the segments
    EXPECT_EQ(Text(), Expected + "\xE9");
    EXPECT_EQ(StreamedText(Stream, 0, 5), "\x82t\xE9 \xE9") << "stored bytes, unconverted";
}

TEST_F(TEditFixture, HelpersInsertThroughInsert) {
    Open("[]");
    Stream.InsertSpaces(1, 1024);
    Stream.InsertSpaces(1, 1025);
    EXPECT_EQ(Text(), "[" + std::string(2049, ' ') + "]");
    Stream.Delete(1, 2049);
    HGLOBAL Block = GlobalAlloc(GHND, 8);
    TGlobalHandleGuard Guard(Block);
    std::memcpy(GlobalLock(Block), "abc\0def", 8);
    GlobalUnlock(Block);
    EXPECT_EQ(Stream.InsertMem(Block, 1), 3);
    std::memcpy(GlobalLock(Block), "12345678", 8); // no terminator: only the block is read
    GlobalUnlock(Block);
    EXPECT_EQ(Stream.InsertMem(Block, 0), 8);
    EXPECT_EQ(Text(), "12345678[abc]");
    Stream.CopyToMem(Block, 8, 5);
    EXPECT_EQ(std::string(static_cast<const char*>(GlobalLock(Block)), 5), "[abc]");
    GlobalUnlock(Block);
}

TEST_F(TEditFixture, ChangeEventsAndTheirSenders) {
    Open("abc");
    std::vector<TObject*> Senders;
    Stream.SetOnUndoChange([&](TObject* Sender) { Senders.push_back(Sender); });
    EXPECT_TRUE(Stream.GetOnUndoChange());
    const auto Saw = [&](const TUndoList& List) {
        return std::find(Senders.begin(), Senders.end(), &List) != Senders.end();
    };
    Stream.Insert("x", 0, 1);
    EXPECT_TRUE(Saw(Stream.GetUndoList())) << "the first transaction is available";
    Senders.clear();
    Stream.Undo();
    EXPECT_TRUE(Saw(Stream.GetUndoList())) << "none left to undo";
    EXPECT_TRUE(Saw(Stream.GetRedoList())) << "one to redo";
    EXPECT_EQ(Stream.GetUndoCount(), 0);
    EXPECT_EQ(Stream.GetRedoCount(), 1);
    EXPECT_EQ(Changes, 2) << "the insertion and the undo";
    EXPECT_EQ(ModifiedEvents, 2) << "set by the insertion, cleared by the undo";
}

TEST_F(TEditFixture, SourceThatShrinksFailsCleanly) {
    auto Owned = MemoryStreamOf(Hundred());
    TMemoryStream* Source = Owned.get();
    Stream.SetBufSize(16);
    Stream.SetSourceStream(std::move(Owned));
    Stream.InsertString("new", 90);
    Source->SetSize(40);
    EXPECT_EQ(*Stream.GetText(5), 'f');
    EXPECT_THROW(Stream.GetText(60), EReadError);
    EXPECT_THROW(Stream.Delete(70, 2), EReadError);
    EXPECT_THROW(StreamedText(Stream, 0, 103), EReadError);
}

// --- Beyond 2 GiB ------------------------------------------------------------------------

TEST(EditStreamBigTest, EditsNear5GiBUndoToTheOriginalBytes) {
    constexpr std::int64_t Size = 6LL << 30;
    constexpr std::int64_t At = 5LL << 30;
    auto Owned = std::make_unique<testdata::TGeneratedTextStream>(Size);
    const testdata::TGeneratedText& Original = Owned->GetText();
    TEditStream Stream(nullptr);
    Stream.SetSourceStream(std::move(Owned));
    for (const std::int64_t Pos : std::initializer_list<std::int64_t>{
             (1LL << 31) - 1, 1LL << 31, (1LL << 32) - 1, 1LL << 32, Size - 1})
        EXPECT_EQ(*Stream.GetText(Pos), Original.ByteAt(Pos)) << Pos;

    Stream.InsertString("<inserted>", At + 3);
    Stream.Delete(At + 1000, 5000);
    EXPECT_EQ(Stream.GetTextSize(), Size + 10 - 5000);
    EXPECT_EQ(StreamedText(Stream, At, 13), Original.Text(At, 3) + "<inserted>");
    EXPECT_EQ(StreamedText(Stream, At + 990, 20),
              Original.Text(At + 980, 10) + Original.Text(At + 5990, 10));
    EXPECT_EQ(*Stream.GetText(Stream.GetTextSize() - 1), Original.ByteAt(Size - 1));
    Stream.Undo();
    Stream.Undo();
    EXPECT_EQ(Stream.GetTextSize(), Size);
    EXPECT_EQ(StreamedText(Stream, At - 100, 7000), Original.Text(At - 100, 7000));
    EXPECT_EQ(StreamedText(Stream, Size - 10, 10), Original.Text(Size - 10, 10));
    EXPECT_EQ(Stream.GetSegments().SegmentCount(), 1) << "the source segment is whole again";
}

} // namespace
} // namespace kestrel
