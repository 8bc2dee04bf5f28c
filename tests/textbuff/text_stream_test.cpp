// Tests of TTextStream (the sliding window) and of what TTextBuffer does over it.
#include "textbuff/text_stream.h"

#include "host/oem.h"
#include "storage_test_util.h"
#include "support/test_support.h"
#include "support/testdata/generated_text.h"
#include "textbuff/edit_stream.h"
#include "textbuff/text_types.h"

#include <gtest/gtest.h>

#include <random>
#include <unistd.h>

namespace kestrel {
namespace {

using test::ExpectRaises;
using test::MemoryStreamOf;
using test::ReadThroughWindows;
using test::WholeText;

std::string Numbered(std::int64_t Size) {
    std::string S(static_cast<std::size_t>(Size), '\0');
    for (std::int64_t I = 0; I < Size; ++I)
        S[static_cast<std::size_t>(I)] = static_cast<char>('a' + (I * 7 + I / 26) % 26);
    return S;
}

struct TWindow {
    std::int64_t Start, Count;
    bool operator==(const TWindow&) const = default;
};
std::ostream& operator<<(std::ostream& Out, const TWindow& W) {
    return Out << "[" << W.Start << ", +" << W.Count << ")";
}

TWindow WindowAfter(TTextStream& Stream, std::int64_t Pos) {
    Stream.GetText(Pos);
    return {Stream.GetBufStart(), Stream.GetBufCount()};
}

TEST(TextStreamTest, ForwardWalkSlidesWithQuarterOverlap) {
    TTextStream Stream(nullptr);
    Stream.SetSourceStream(MemoryStreamOf(Numbered(10000)));
    EXPECT_EQ(WindowAfter(Stream, 0), (TWindow{0, 4096}));
    EXPECT_EQ(WindowAfter(Stream, 4095), (TWindow{0, 4096}));
    EXPECT_EQ(WindowAfter(Stream, 4096), (TWindow{3072, 4096}));
    EXPECT_EQ(WindowAfter(Stream, 7168), (TWindow{5904, 4096}));
    // The window invariant: ValidStart .. ValidEnd are the window's bytes.
    EXPECT_EQ(Stream.GetValidEnd() - Stream.GetValidStart() + 1, 4096);
    EXPECT_EQ(*Stream.GetText(9999), static_cast<std::uint8_t>(Numbered(10000)[9999]));
}

TEST(TextStreamTest, BackwardWalkKeepsQuarterLookAhead) {
    TTextStream Stream(nullptr);
    Stream.SetSourceStream(MemoryStreamOf(Numbered(20000)));
    Stream.GetText(19999);
    EXPECT_EQ(WindowAfter(Stream, 10000), (TWindow{10000 + 1023 - 4095, 4096}));
    EXPECT_EQ(WindowAfter(Stream, 5000), (TWindow{5000 + 1023 - 4095, 4096}));
    EXPECT_EQ(WindowAfter(Stream, 100), (TWindow{0, 4096})) << "near 0 the window starts at 0";
}

TEST(TextStreamTest, SmallAndEmptySources) {
    TTextStream Stream(nullptr);
    EXPECT_EQ(Stream.GetTextSize(), 0);
    const std::uint8_t* Detached = Stream.GetText(0);
    EXPECT_EQ(Stream.GetValidEnd() - Detached + 1, 0) << "nothing to read without a source";

    Stream.SetSourceStream(MemoryStreamOf(""));
    EXPECT_EQ(Stream.GetTextSize(), 0);
    const std::uint8_t* P = Stream.GetText(0);
    EXPECT_EQ(P, Stream.GetValidStart());
    EXPECT_EQ(Stream.GetValidEnd() - P + 1, 0);

    Stream.SetSourceStream(MemoryStreamOf("hello"));
    EXPECT_EQ(WindowAfter(Stream, 3), (TWindow{0, 5}));
    const std::uint8_t* End = Stream.GetText(5);
    EXPECT_EQ(End, Stream.GetValidEnd() + 1) << "TextSize answers one past the window's end";
    EXPECT_THROW(Stream.GetText(6), EReadError);
    EXPECT_THROW(Stream.GetText(-1), EReadError);
}

// A memory stream that counts the bytes read from it.
class TCountingStream : public TMemoryStream {
public:
    std::int64_t Read(void* Buffer, std::int64_t Count) override {
        const std::int64_t N = TMemoryStream::Read(Buffer, Count);
        BytesRead += N;
        return N;
    }
    std::int64_t BytesRead = 0;
};

TCountingStream* AttachCounting(TTextStream& Stream, const std::string& Text) {
    auto Source = std::make_unique<TCountingStream>();
    Source->WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
    TCountingStream* Counting = Source.get();
    Stream.SetSourceStream(std::move(Source));
    return Counting;
}

TEST(TextStreamTest, AForwardWalkReadsEachByteOnce) {
    const std::string Text = Numbered(10000);
    TTextStream Stream(nullptr);
    TCountingStream* Source = AttachCounting(Stream, Text);
    for (std::int64_t Pos = 0; Pos < 10000; ++Pos)
        ASSERT_EQ(*Stream.GetText(Pos), static_cast<std::uint8_t>(Text[Pos]));
    EXPECT_EQ(Stream.GetBufStart(), 5904) << "the windows are those of a plain refill";
    EXPECT_EQ(Source->BytesRead, 10000) << "the overlap moves inside the buffer";
    for (std::int64_t Pos = 9999; Pos >= 0; --Pos) // backwards every window is read whole
        ASSERT_EQ(*Stream.GetText(Pos), static_cast<std::uint8_t>(Text[Pos]));
}

TEST(TextStreamTest, KeptBytesStayRightOverRandomJumpsWithConversion) {
    std::string Raw = Numbered(3000);
    for (std::size_t I = 0; I < Raw.size(); I += 7)
        Raw[I] = static_cast<char>(0x80 + I % 128); // bytes the OEM conversion changes
    std::string Converted = Raw;
    for (char& Ch : Converted)
        Ch = static_cast<char>(OemToAnsiChar(static_cast<std::uint8_t>(Ch)));
    std::mt19937 Rng(515);
    for (const std::uint16_t Size : {1, 7, 64, 500}) {
        TTextStream Stream(nullptr);
        Stream.SetBufSize(Size);
        AttachCounting(Stream, Raw);
        for (int Step = 0; Step < 3000; ++Step) {
            if (Step % 1000 == 500)
                Stream.SetOEMConvert(!Stream.GetOEMConvert());
            const std::string& Expected = Stream.GetOEMConvert() ? Converted : Raw;
            // Mostly just past either end of the window, sometimes anywhere.
            const std::int64_t Near = Rng() % 2 == 0 ? Stream.GetBufStart() + Stream.GetBufCount()
                                                     : Stream.GetBufStart() - 1;
            const std::int64_t At = std::clamp<std::int64_t>(
                Rng() % 4 == 0 ? static_cast<std::int64_t>(Rng() % 3000) : Near, 0, 2999);
            const std::uint8_t* P = Stream.GetText(At);
            const std::int64_t Avail = Stream.GetValidEnd() - P + 1;
            ASSERT_EQ(
                std::string(reinterpret_cast<const char*>(P), static_cast<std::size_t>(Avail)),
                Expected.substr(static_cast<std::size_t>(At), static_cast<std::size_t>(Avail)))
                << "buffer " << Size << " step " << Step << " at " << At;
        }
    }
}

TEST(TextStreamTest, EveryRangeReadsBackWithTinyBuffers) {
    const std::string Text = Numbered(300);
    for (const std::uint16_t Size : {1, 2, 3, 4, 5, 16, 17, 64, 299, 300, 301}) {
        SCOPED_TRACE("buffer " + std::to_string(Size));
        TTextStream Stream(nullptr);
        Stream.SetBufSize(Size);
        Stream.SetSourceStream(MemoryStreamOf(Text));
        EXPECT_EQ(WholeText(Stream), Text);
        for (std::int64_t Pos = 0; Pos <= 300; Pos += 7)
            for (std::int64_t Count : {0, 1, 5, 40, 400}) {
                std::string Got(static_cast<std::size_t>(Count), '\0');
                Got.resize(static_cast<std::size_t>(Stream.CopyText(Got.data(), Pos, Count)));
                ASSERT_EQ(Got, Text.substr(static_cast<std::size_t>(Pos),
                                           static_cast<std::size_t>(Count)))
                    << "CopyText at " << Pos << " for " << Count;
            }
        // Walking backwards byte by byte sees every byte too.
        for (std::int64_t Pos = 299; Pos >= 0; --Pos)
            ASSERT_EQ(*Stream.GetText(Pos),
                      static_cast<std::uint8_t>(Text[static_cast<std::size_t>(Pos)]));
    }
}

TEST(TextStreamTest, SetBufSizeRefillsWhereTheWindowWas) {
    const std::string Text = Numbered(10000);
    TTextStream Stream(nullptr);
    Stream.SetSourceStream(MemoryStreamOf(Text));
    Stream.GetText(5000);
    const std::int64_t Start = Stream.GetBufStart();
    Stream.SetBufSize(100);
    EXPECT_EQ(Stream.GetBufSize(), 100);
    EXPECT_EQ(Stream.GetBufCount(), 100);
    EXPECT_LE(Stream.GetBufStart(), Start);
    EXPECT_GT(Stream.GetBufStart() + 100, Start) << "the new window holds the old start";
    EXPECT_EQ(ReadThroughWindows(Stream, 4990, 500), Text.substr(4990, 500));
    EXPECT_THROW(Stream.SetBufSize(0), ERangeError);
    Stream.SetBufSize(65535);
    EXPECT_EQ(WholeText(Stream), Text);
}

TEST(TextStreamTest, MaxTextSizeRefusesLargerSourcesBeforeAnyChange) {
    TTextStream Stream(nullptr);
    Stream.SetSourceStream(MemoryStreamOf("first"));
    Stream.SetMaxTextSize(10);
    Stream.SetSourceStream(MemoryStreamOf("0123456789"));
    EXPECT_EQ(Stream.GetTextSize(), 10) << "a stream of exactly MaxTextSize is accepted";

    auto Big = MemoryStreamOf("0123456789X");
    ExpectRaises<EMaxText>([&] { Stream.SetSourceStream(Big.get()); },
                           "Stream bigger than maximum permitted text size");
    EXPECT_EQ(Big->GetSize(), 11) << "the refused stream stays the caller's";
    EXPECT_EQ(WholeText(Stream), "0123456789") << "the previous source stays attached";

    ExpectRaises<EMaxText>([&] { Stream.SetSourceStream(MemoryStreamOf("0123456789X")); },
                           "Stream bigger than maximum permitted text size");
    Stream.SetMaxTextSize(0);
    Stream.SetSourceStream(std::move(Big));
    EXPECT_EQ(Stream.GetTextSize(), 11);
}

// The read end of a pipe, owned; counts the streams destroyed so that a double free shows.
class TPipeSource : public THandleStream {
public:
    static inline int Destroyed = 0;
    TPipeSource() : THandleStream(-1) {
        int Ends[2];
        EXPECT_EQ(::pipe(Ends), 0);
        FHandle = Ends[0];
        ::close(Ends[1]);
    }
    ~TPipeSource() override {
        ::close(FHandle);
        ++Destroyed;
    }
};

TEST(TextStreamTest, SourcesThatCannotSeekAreRefusedWithOneOwner) {
    for (const bool Editable : {false, true}) {
        std::unique_ptr<TTextStream> Stream = Editable ? std::make_unique<TEditStream>(nullptr)
                                                       : std::make_unique<TTextStream>(nullptr);
        Stream->SetSourceStream(MemoryStreamOf("before"));
        TPipeSource::Destroyed = 0;
        ExpectRaises<EStreamError>(
            [&] { Stream->SetSourceStream(std::make_unique<TPipeSource>()); },
            "The stream cannot seek: it is a pipe, a socket or a terminal");
        EXPECT_EQ(TPipeSource::Destroyed, 1) << "freed once, by the caller's unique_ptr";
        EXPECT_EQ(WholeText(*Stream), "before") << "the previous source stays attached";

        TPipeSource Kept;
        EXPECT_THROW(Stream->SetSourceStream(&Kept), EStreamError);
        EXPECT_EQ(Stream->GetSourceStream()->GetSize(), 6)
            << "a refused pointer stays the caller's";
    }
}

TEST(TextStreamTest, AStreamAdoptedBeforeARaiseBelongsToTheContainer) {
    TEditStream Stream(nullptr);
    Stream.SetSourceStream(MemoryStreamOf("old"));
    Stream.Insert("x", 0, 1); // modified: attaching clears the flag and fires OnModified
    Stream.SetOnModified([](TObject*) { throw Exception("handler failed"); });
    auto Owned = MemoryStreamOf("new text");
    TMemoryStream* Source = Owned.get();
    EXPECT_THROW(Stream.SetSourceStream(std::move(Owned)), Exception);
    EXPECT_EQ(Stream.GetSourceStream(), Source) << "adopted, and not freed by the unique_ptr";
    Stream.SetOnModified(nullptr);
    EXPECT_EQ(WholeText(Stream), "new text");
}

TEST(TextStreamTest, ReattachingTheSameStreamKeepsItAndRereadsItsSize) {
    TTextStream Stream(nullptr);
    auto Owned = MemoryStreamOf("abc");
    TMemoryStream* Source = Owned.get();
    Stream.SetSourceStream(std::move(Owned));
    Stream.GetText(0);
    Source->Seek(0, soFromEnd);
    Source->WriteBuffer("def", 3);
    Stream.SetSourceStream(Source); // must not free it
    EXPECT_EQ(Stream.GetSourceStream(), Source);
    EXPECT_EQ(WholeText(Stream), "abcdef");
}

TEST(TextStreamTest, SourceThatShrinksRaisesInsteadOfReadingStaleBytes) {
    for (const std::uint16_t Size : {16, 4096}) {
        TTextStream Stream(nullptr);
        Stream.SetBufSize(Size);
        auto Owned = MemoryStreamOf(Numbered(1000));
        TMemoryStream* Source = Owned.get();
        Stream.SetSourceStream(std::move(Owned));
        Source->SetSize(500); // another program truncated the file
        EXPECT_EQ(Stream.GetTextSize(), 1000);
        EXPECT_EQ(*Stream.GetText(10), static_cast<std::uint8_t>(Numbered(1000)[10]));
        EXPECT_THROW(Stream.GetText(700), EReadError);
        std::string Out(1000, '\0');
        EXPECT_THROW(Stream.CopyText(Out.data(), 0, 1000), EReadError);
        EXPECT_THROW(test::StreamedText(Stream, 0, 1000), EReadError);
        // Whatever the window holds afterwards, GetText never answers beyond the bytes read.
        for (std::int64_t Pos = 0; Pos < 500; Pos += 37) {
            const std::uint8_t* P = Stream.GetText(Pos);
            EXPECT_GE(Stream.GetValidEnd() - P, 0);
            EXPECT_LE(Stream.GetBufStart() + Stream.GetBufCount(), 500);
        }
    }
}

TEST(TextStreamTest, OemConversionAppliesToTheWindowOnly) {
    const std::string Raw = "box \xC4\xB3 \x82t\xE9";
    TTextStream Stream(nullptr);
    Stream.SetSourceStream(MemoryStreamOf(Raw));
    EXPECT_EQ(WholeText(Stream), Raw);
    Stream.SetOEMConvert(true); // the window already read is reloaded converted
    std::string Expected = Raw;
    for (char& Ch : Expected)
        Ch = static_cast<char>(OemToAnsiChar(static_cast<std::uint8_t>(Ch)));
    EXPECT_NE(Expected, Raw);
    EXPECT_EQ(WholeText(Stream), Expected);
    EXPECT_EQ(test::StreamedText(Stream, 0, static_cast<std::int64_t>(Raw.size())), Raw)
        << "CopyToStream writes the source's own bytes";
    Stream.SetOEMConvert(false);
    EXPECT_EQ(WholeText(Stream), Raw);
}

TEST(TextStreamTest, ResetDetachesAndEditsAreAbstract) {
    TTextStream Stream(nullptr);
    Stream.SetSourceStream(MemoryStreamOf("some text"));
    EXPECT_FALSE(Stream.IsEditable());
    EXPECT_THROW(Stream.Insert("x", 0, 1), EAbstractError);
    EXPECT_THROW(Stream.Delete(0, 1), EAbstractError);
    EXPECT_THROW(Stream.ReplaceChar(0, 'x'), EAbstractError);
    EXPECT_THROW(Stream.Undo(), EAbstractError);
    Stream.SetModified(true);
    EXPECT_FALSE(Stream.GetModified()) << "a read-only container is never modified";

    Stream.GetBookMarkHandle(3);
    Stream.SetPreserveBookmarks(true);
    Stream.Reset();
    EXPECT_EQ(Stream.GetSourceStream(), nullptr);
    EXPECT_EQ(Stream.GetTextSize(), 0);
    EXPECT_EQ(Stream.GetBookMark(0), 3);
    Stream.SetPreserveBookmarks(false);
    Stream.Reset();
    EXPECT_EQ(Stream.GetBookMarkCount(), 0);
}

TEST(TextStreamTest, SourceChangeClearsTheMetricFlagsOnly) {
    struct TProbe : TTextStream {
        using TTextStream::TTextStream;
        void Give(TLinesBufferStates S) { State = S; }
    } Stream(nullptr);
    Stream.Give({lbCanvasAvailable, lbFontDataAvailable, lbTabDataAvailable});
    Stream.SetSourceStream(MemoryStreamOf("x"));
    EXPECT_EQ(Stream.GetState(), TLinesBufferStates{lbCanvasAvailable});
}

// --- What TTextBuffer implements, over a text stream --------------------------------------

TEST(TextBufferTest, LineBreakTests) {
    TTextStream Stream(nullptr);
    Stream.SetSourceStream(MemoryStreamOf("ab\r\nx\n\r"));
    EXPECT_TRUE(Stream.LineBreakAt(2)) << "CR of CR LF";
    EXPECT_TRUE(Stream.LineBreakAt(3)) << "LF of CR LF";
    EXPECT_TRUE(Stream.LineBreakAt(5));
    EXPECT_FALSE(Stream.LineBreakAt(6)) << "a CR that is the last byte";
    EXPECT_FALSE(Stream.LineBreakAt(0));
    EXPECT_FALSE(Stream.LineBreakAt(7));
    EXPECT_FALSE(Stream.LineBreakAt(-1));

    Stream.SetSourceStream(MemoryStreamOf("ab\r\nx"));
    EXPECT_EQ(Stream.SkipBackOverLineBreak(3), 3) << "byte 2 is CR, not LF";
    EXPECT_EQ(Stream.SkipBackOverLineBreak(4), 1);
    EXPECT_EQ(Stream.SkipBackOverLineBreak(5), 5);
    EXPECT_EQ(Stream.SkipBackOverLineBreak(6), 6) << "beyond the text";

    Stream.SetSourceStream(MemoryStreamOf("\nx\fy\n"));
    EXPECT_EQ(Stream.SkipBackOverLineBreak(1), 1) << "Pos 1 is never moved";
    EXPECT_EQ(Stream.SkipBackOverLineBreak(3), 1) << "a form feed counts";
    EXPECT_EQ(Stream.SkipBackOverLineBreak(5), 3);
    EXPECT_EQ(Stream.SkipBackOverLineBreak(6), 6) << "Pos - 1 must be below TextSize";
}

TEST(TextBufferTest, CopyTextStopsAtTheEndAndRejectsNegatives) {
    TTextStream Stream(nullptr);
    Stream.SetBufSize(4);
    Stream.SetSourceStream(MemoryStreamOf("0123456789"));
    char Out[20] = {};
    EXPECT_EQ(Stream.CopyText(Out, 7, 10), 3);
    EXPECT_EQ(std::string(Out, 3), "789");
    EXPECT_EQ(Stream.CopyText(Out, 10, 5), 0);
    EXPECT_EQ(Stream.CopyText(Out, 50, 5), 0);
    EXPECT_THROW(Stream.CopyText(Out, -1, 5), EInternalError);
    EXPECT_THROW(Stream.CopyText(Out, 0, -5), EInternalError);

    HGLOBAL Block = GlobalAlloc(GHND, 4);
    TGlobalHandleGuard Guard(Block);
    Stream.CopyToMem(Block, 2, 100); // never beyond the block
    EXPECT_EQ(std::string(static_cast<const char*>(GlobalLock(Block)), 4), "2345");
    GlobalUnlock(Block);
}

TEST(TextBufferTest, BookmarkHandlesAndMoves) {
    TTextStream Stream(nullptr);
    Stream.SetSourceStream(MemoryStreamOf(std::string(100, 'x')));
    EXPECT_EQ(Stream.GetBookMarkHandle(10), 0);
    EXPECT_EQ(Stream.GetBookMarkHandle(20), 1);
    EXPECT_EQ(Stream.GetBookMarkHandle(30), 2);
    EXPECT_EQ(Stream.GetBookMarkHandle(40), 3);
    EXPECT_EQ(Stream.GetBookMark(4), -1);
    EXPECT_EQ(Stream.GetBookMark(-1), -1);

    Stream.DeleteBookMark(2);
    EXPECT_EQ(Stream.GetBookMark(2), -1);
    EXPECT_EQ(Stream.GetBookMarkCount(), 4) << "a deleted slot in the middle stays";
    Stream.DeleteBookMark(3);
    EXPECT_EQ(Stream.GetBookMarkCount(), 2) << "trailing deleted slots go";
    EXPECT_EQ(Stream.GetBookMarkHandle(50), 2);

    ExpectRaises<EBookmarkError>([&] { Stream.DeleteBookMark(3); }, "Invalid Bookmark Handle");
    ExpectRaises<EBookmarkError>([&] { Stream.DeleteBookMark(-1); }, "Invalid Bookmark Handle");
    EXPECT_THROW(Stream.GetBookMarkHandle(-1), EBookmarkError);
    EXPECT_THROW(Stream.GetBookMarkHandle(101), EBookmarkError);

    // Marks: 10, 20, 50. Insert 5 at 20: marks at 20 and after move.
    Stream.UpdateBookMarks(20, 5);
    EXPECT_EQ(Stream.GetBookMark(0), 10);
    EXPECT_EQ(Stream.GetBookMark(1), 25);
    EXPECT_EQ(Stream.GetBookMark(2), 55);
    // Delete 30 bytes at 8: the marks inside it go to the deletion point, never before it.
    Stream.UpdateBookMarks(8, -30);
    EXPECT_EQ(Stream.GetBookMark(0), 8);
    EXPECT_EQ(Stream.GetBookMark(1), 8);
    EXPECT_EQ(Stream.GetBookMark(2), 25);
    Stream.DeleteBookMark(0);
    Stream.UpdateBookMarks(0, -8);
    EXPECT_EQ(Stream.GetBookMark(0), -1) << "deleted slots stay deleted";
    EXPECT_EQ(Stream.GetBookMark(1), 0);
}

TEST(TextTypesTest, PointsAndWordChars) {
    EXPECT_LT(LongPoint(9, 1), LongPoint(0, 2)) << "line first";
    EXPECT_GT(LongPoint(5, 2), LongPoint(4, 2));
    EXPECT_EQ(LongPoint(0, 0), ZeroPoint);
    EXPECT_EQ(LongPoint(1, 2) <=> LongPoint(1, 2), std::strong_ordering::equal);
    EXPECT_EQ(LongPoint(1LL << 40, 3).X, 1LL << 40);

    EXPECT_EQ(WordChars.Count(), 125);
    for (const int Ch : {int{'0'}, int{'9'}, int{'A'}, int{'Z'}, int{'_'}, int{'a'}, int{'z'}, 192,
                         214, 216, 246, 248, 255})
        EXPECT_TRUE(WordChars.Contains(static_cast<std::uint8_t>(Ch))) << Ch;
    for (const int Ch :
         {int{'/'}, int{':'}, int{'@'}, int{'['}, int{'`'}, int{'{'}, int{' '}, 128, 191, 215, 247})
        EXPECT_FALSE(WordChars.Contains(static_cast<std::uint8_t>(Ch))) << Ch;
}

// --- Beyond 2 GiB ------------------------------------------------------------------------

TEST(TextStreamBigTest, ReadsAroundThe32BitBoundariesOfA6GiBSource) {
    constexpr std::int64_t Size = 6LL << 30;
    auto Owned = std::make_unique<testdata::TGeneratedTextStream>(Size);
    const testdata::TGeneratedText& Expected = Owned->GetText();
    TTextStream Stream(nullptr);
    Stream.SetSourceStream(std::move(Owned));
    EXPECT_EQ(Stream.GetTextSize(), Size);
    for (const std::int64_t Pos : std::initializer_list<std::int64_t>{
             0, (1LL << 31) - 1, 1LL << 31, (1LL << 32) - 1, 1LL << 32, 5LL << 30, Size - 1}) {
        EXPECT_EQ(*Stream.GetText(Pos), Expected.ByteAt(Pos)) << "at " << Pos;
        EXPECT_EQ(ReadThroughWindows(Stream, Pos - (Pos > 5000 ? 5000 : 0), 10000),
                  Expected.Text(Pos - (Pos > 5000 ? 5000 : 0), 10000));
    }
    EXPECT_EQ(Stream.GetText(Size), Stream.GetValidEnd() + 1);
}

TEST(TextStreamBigTest, SparseFileOf6GiBReadsZerosAndItsLastByte) {
    test::TTempDir Dir;
    const std::string Name = Dir.File("big.txt");
    constexpr std::int64_t Size = 6LL << 30;
    test::MakeSparseFile(Name, Size);
    {
        TFileStream Writer(Name, fmOpenReadWrite);
        Writer.Seek((1LL << 32) - 1, soFromBeginning);
        Writer.WriteBuffer("A", 1);
        Writer.Seek(Size - 1, soFromBeginning);
        Writer.WriteBuffer("Z", 1);
    }
    TTextStream Stream(nullptr);
    Stream.SetSourceStream(std::make_unique<TFileStream>(Name, fmOpenRead | fmShareDenyWrite));
    EXPECT_EQ(Stream.GetTextSize(), Size);
    EXPECT_EQ(*Stream.GetText(1LL << 31), 0);
    EXPECT_EQ(*Stream.GetText((1LL << 32) - 1), 'A');
    EXPECT_EQ(*Stream.GetText(1LL << 32), 0);
    EXPECT_EQ(*Stream.GetText(Size - 1), 'Z');
    EXPECT_EQ(test::StreamedText(Stream, (1LL << 32) - 2, 3), std::string("\0A\0", 3));
}

} // namespace
} // namespace kestrel
