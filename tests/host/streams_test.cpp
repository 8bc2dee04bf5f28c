// Memory streams, the stream helpers, and file streams: sizes beyond 4 GiB, copying, share modes.
#include "host/exceptions.h"
#include "host/streams.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <random>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kestrel {
namespace {

using test::TTempDir;

std::string Contents(TMemoryStream& S) {
    return std::string(reinterpret_cast<char*>(S.GetMemory()),
                       static_cast<std::size_t>(S.GetSize()));
}

TEST(MemoryStreamTest, ReadsWritesSeeksAndFillsGapsWithZeros) {
    TMemoryStream S;
    S.WriteBuffer("hello", 5);
    EXPECT_EQ(S.GetPosition(), 5);
    EXPECT_EQ(S.Seek(-2, soFromEnd), 3);
    char Two[2];
    S.ReadBuffer(Two, 2);
    EXPECT_EQ(std::string(Two, 2), "lo");
    EXPECT_EQ(S.Read(Two, 2), 0); // at the end

    S.Seek(3, soFromCurrent); // beyond the end: a later write fills the gap
    S.WriteBuffer("!", 1);
    EXPECT_EQ(Contents(S), std::string("hello\0\0\0!", 9));

    S.SetSize(2);
    EXPECT_EQ(S.GetPosition(), 2);
    EXPECT_EQ(Contents(S), "he");
    EXPECT_THROW(S.Seek(-1, soFromBeginning), EStreamError);
    S.Clear();
    EXPECT_EQ(S.GetSize(), 0);
}

TEST(MemoryStreamTest, ReadAtLeavesThePositionAlone) {
    TMemoryStream S;
    S.WriteBuffer("0123456789", 10);
    S.SetPosition(4);
    char Buf[4];
    EXPECT_EQ(S.ReadAt(7, Buf, 4), 3);
    EXPECT_EQ(std::string(Buf, 3), "789");
    EXPECT_EQ(S.ReadAt(12, Buf, 4), 0);
    EXPECT_EQ(S.GetPosition(), 4);
    S.ReadBuffer(Buf, 2);
    EXPECT_EQ(std::string(Buf, 2), "45");
}

TEST(MemoryStreamTest, ShortTransfersRaiseTheStreamErrors) {
    TMemoryStream S;
    S.WriteBuffer("ab", 2);
    S.SetPosition(0);
    char Buf[3];
    try {
        S.ReadBuffer(Buf, 3);
        FAIL() << "no exception";
    } catch (const EReadError& E) {
        EXPECT_STREQ(E.what(), "Stream read error");
    }

    class TFullStream : public TMemoryStream { // accepts one byte per write
    public:
        std::int64_t Write(const void* Buffer, std::int64_t Count) override {
            return TMemoryStream::Write(Buffer, Count > 0 ? 1 : 0);
        }
    } Full;
    try {
        Full.WriteBuffer("xy", 2);
        FAIL() << "no exception";
    } catch (const EWriteError& E) {
        EXPECT_STREQ(E.what(), "Stream write error");
    }
}

TEST(MemoryStreamTest, CopyFromCountZeroCopiesTheWholeSourceFromItsStart) {
    TMemoryStream Source, Dest;
    Source.WriteBuffer("0123456789", 10);
    Source.SetPosition(7);
    EXPECT_EQ(Dest.CopyFrom(&Source, 0), 10);
    EXPECT_EQ(Contents(Dest), "0123456789");

    Source.SetPosition(2);
    EXPECT_EQ(Dest.CopyFrom(&Source, 3), 3);
    EXPECT_EQ(Contents(Dest), "0123456789234");
    Source.SetPosition(8);
    EXPECT_THROW(Dest.CopyFrom(&Source, 3), EReadError);
}

TEST(MemoryStreamTest, LoadsAndSavesFilesAndStreams) {
    TTempDir Dir;
    test::WriteFile(Dir.File("in"), "file text");
    TMemoryStream S;
    S.LoadFromFile(Dir.File("in"));
    EXPECT_EQ(Contents(S), "file text");
    EXPECT_EQ(S.GetPosition(), 0);
    S.SaveToFile(Dir.File("out"));
    EXPECT_EQ(test::ReadFile(Dir.File("out")), "file text");

    TMemoryStream Copy;
    Copy.LoadFromStream(&S);
    EXPECT_EQ(Contents(Copy), "file text");
    TMemoryStream Appended;
    Appended.WriteBuffer(">", 1);
    Copy.SaveToStream(&Appended);
    EXPECT_EQ(Contents(Appended), ">file text");
}

TEST(FileStreamTest, SparseFileBeyondFourGiBReportsItsSizeAndReadsBackWrites) {
    TTempDir Dir;
    const std::string Name = Dir.File("big");
    const std::int64_t Size = std::int64_t{5} << 30;
    test::MakeSparseFile(Name, Size);
    {
        TFileStream F(Name, fmOpenReadWrite | fmShareExclusive);
        EXPECT_EQ(F.GetSize(), Size);
        for (std::int64_t Pos : {(std::int64_t{4} << 30) + 1, Size - 3}) {
            F.SetPosition(Pos);
            F.WriteBuffer("XYZ", 3);
        }
    }
    TFileStream F(Name, fmOpenRead | fmShareDenyWrite);
    char Buf[3];
    F.SetPosition((std::int64_t{4} << 30) + 1);
    F.ReadBuffer(Buf, 3);
    EXPECT_EQ(std::string(Buf, 3), "XYZ");
    EXPECT_EQ(F.ReadAt(Size - 3, Buf, 3), 3); // positioned read: the position stays
    EXPECT_EQ(std::string(Buf, 3), "XYZ");
    EXPECT_EQ(F.GetPosition(), (std::int64_t{4} << 30) + 4);
    EXPECT_EQ(F.ReadAt(Size - 1, Buf, 3), 1) << "short at the end";
    EXPECT_EQ(F.Read(Buf, 3), 3) << "the next plain read goes on from the position";
    EXPECT_EQ(F.ReadAt(Size, Buf, 3), 0);
    EXPECT_EQ(F.ReadAt(std::int64_t{3} << 30, Buf, 1), 1);
    EXPECT_EQ(Buf[0], '\0'); // the hole reads as zeros
    EXPECT_EQ(F.Seek(0, soFromEnd), Size);
    EXPECT_EQ(F.Read(Buf, 3), 0);
}

TEST(FileStreamTest, CreateEmptiesAnExistingFileAndMakesANewOne) {
    TTempDir Dir;
    test::WriteFile(Dir.File("old"), "previous contents");
    {
        TFileStream Out(Dir.File("old"), fmCreate);
        EXPECT_EQ(Out.GetSize(), 0);
        Out.WriteBuffer("new", 3);
    }
    EXPECT_EQ(test::ReadFile(Dir.File("old")), "new");
    {
        TFileStream Out(Dir.File("fresh"), fmCreate);
        EXPECT_EQ(Out.GetSize(), 0);
    }
    EXPECT_EQ(test::ReadFile(Dir.File("fresh")), "");
}

TEST(FileStreamTest, CopyFromOfAHundredMegabyteFileMatchesTheOriginal) {
    TTempDir Dir;
    const std::int64_t Size = 100'000'000;
    {
        TFileStream Out(Dir.File("src"), fmCreate);
        std::mt19937_64 Random(42);
        std::vector<std::uint64_t> Block(1 << 16);
        for (std::int64_t Done = 0; Done < Size;) {
            for (auto& W : Block)
                W = Random();
            const std::int64_t N = std::min<std::int64_t>(Size - Done, Block.size() * 8);
            Out.WriteBuffer(Block.data(), N);
            Done += N;
        }
    }
    TFileStream Source(Dir.File("src"), fmOpenRead | fmShareDenyWrite);
    {
        TFileStream Dest(Dir.File("copy"), fmCreate);
        Source.SetPosition(12345);
        EXPECT_EQ(Dest.CopyFrom(&Source, 0), Size); // from the start, whatever the position
        EXPECT_EQ(Dest.GetSize(), Size);
        EXPECT_EQ(Source.GetPosition(), Size);
    }
    const std::string Cmp = "cmp -s '" + Dir.File("src") + "' '" + Dir.File("copy") + "'";
    EXPECT_EQ(std::system(Cmp.c_str()), 0);

    TMemoryStream Part; // file to memory goes through the buffer
    Source.SetPosition(Size - 10);
    Part.CopyFrom(&Source, 10);
    char Tail[10];
    Source.ReadAt(Size - 10, Tail, 10);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(Part.GetMemory()), 10), std::string(Tail, 10));
    Source.SetPosition(Size - 5);
    EXPECT_THROW(Part.CopyFrom(&Source, 10), EReadError);
}

TEST(FileStreamTest, OpeningAMissingFileNamesItAndTheReason) {
    TTempDir Dir;
    const std::string Name = Dir.File("missing.txt");
    try {
        TFileStream F(Name, fmOpenRead);
        FAIL() << "no exception";
    } catch (const EFOpenError& E) {
        EXPECT_EQ(E.GetMessage(), "Cannot open file \"" + Name + "\". No such file or directory");
    }
    EXPECT_THROW(TFileStream(Dir.File("no/such/dir"), fmCreate), EFCreateError);
    EXPECT_THROW(TFileStream(Dir.Path(), fmOpenRead), EFOpenError); // a folder is not a file
}

// Tries to open Name with Mode in a child process; true when the child could.
bool OpensInAnotherProcess(const std::string& Name, std::uint16_t Mode) {
    const pid_t Child = ::fork();
    if (Child == 0) {
        int Code = 0;
        try {
            TFileStream F(Name, Mode);
        } catch (const EFOpenError&) {
            Code = 1;
        }
        ::_exit(Code);
    }
    int Status = 0;
    ::waitpid(Child, &Status, 0);
    return WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
}

TEST(FileStreamTest, ShareModesAreHonouredWithinAndBetweenProcesses) {
    TTempDir Dir;
    const std::string Name = Dir.File("shared");
    test::WriteFile(Name, "keep me");
    {
        TFileStream Held(Name, fmOpenRead | fmShareExclusive);
        EXPECT_THROW(TFileStream(Name, fmOpenRead | fmShareDenyNone), EFOpenError);
        EXPECT_FALSE(OpensInAnotherProcess(Name, fmOpenRead | fmShareDenyNone));
        // A create over a held file is refused before it can truncate anything.
        EXPECT_THROW(TFileStream(Name, fmCreate | fmShareDenyNone), EFOpenError);
    }
    EXPECT_EQ(test::ReadFile(Name), "keep me");
    {
        TFileStream Held(Name, fmOpenRead | fmShareDenyWrite);
        TFileStream Reader(Name, fmOpenRead | fmShareDenyNone);
        EXPECT_THROW(TFileStream(Name, fmOpenWrite | fmShareDenyNone), EFOpenError);
        EXPECT_THROW(TFileStream(Name, fmOpenReadWrite | fmShareDenyNone), EFOpenError);
        EXPECT_TRUE(OpensInAnotherProcess(Name, fmOpenRead | fmShareDenyNone));
        EXPECT_FALSE(OpensInAnotherProcess(Name, fmOpenWrite | fmShareDenyNone));
    }
    {
        TFileStream Writer(Name, fmOpenWrite | fmShareDenyNone);
        // The writer holds write access: nobody may now deny writing.
        EXPECT_THROW(TFileStream(Name, fmOpenRead | fmShareDenyWrite), EFOpenError);
        EXPECT_FALSE(OpensInAnotherProcess(Name, fmOpenRead | fmShareDenyWrite));
        TFileStream Reader(Name, fmOpenRead | fmShareDenyNone);
    }
    {
        TFileStream Compat(Name, fmOpenRead); // compatibility mode shares nothing
        EXPECT_THROW(TFileStream(Name, fmOpenRead | fmShareDenyNone), EFOpenError);
    }
    TFileStream Again(Name, fmOpenRead | fmShareExclusive); // all released on close
}

TEST(TempFileStreamTest, PipesAndFifosAreSpooledToAnUnnamedFileThatCanSeek) {
    TTempDir Dir;
    const char* OldTmp = std::getenv("TMPDIR");
    const std::string Saved = OldTmp != nullptr ? OldTmp : "";
    ::setenv("TMPDIR", Dir.Path().c_str(), 1);

    // A pipe fed in pieces while signals interrupt the reads: every byte arrives, in order.
    std::string Text(300000, '\0');
    for (std::size_t I = 0; I < Text.size(); ++I)
        Text[I] = static_cast<char>('a' + I % 23);
    int Ends[2];
    ASSERT_EQ(::pipe(Ends), 0);
    struct sigaction Action {};
    Action.sa_handler = [](int) {}; // no SA_RESTART: blocked reads fail with EINTR
    struct sigaction Old {};
    ::sigaction(SIGALRM, &Action, &Old);
    std::thread Writer([&] {
        sigset_t Alarm;
        sigemptyset(&Alarm);
        sigaddset(&Alarm, SIGALRM);
        ::pthread_sigmask(SIG_BLOCK, &Alarm, nullptr);
        for (std::size_t At = 0; At < Text.size(); At += 100000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            EXPECT_EQ(::write(Ends[1], Text.data() + At, 100000), 100000);
        }
        ::close(Ends[1]);
    });
    itimerval Every5ms{{0, 5000}, {0, 5000}};
    ::setitimer(ITIMER_REAL, &Every5ms, nullptr);
    std::unique_ptr<TTempFileStream> Spool;
    try {
        THandleStream In(Ends[0]);
        Spool = SpoolToTempFile(In);
    } catch (const std::exception& Error) {
        ADD_FAILURE() << Error.what();
        for (char Sink[4096]; ::read(Ends[0], Sink, sizeof Sink) != 0;) {
        }
    }
    itimerval Stop{};
    ::setitimer(ITIMER_REAL, &Stop, nullptr);
    Writer.join();
    ::sigaction(SIGALRM, &Old, nullptr);
    ::close(Ends[0]);
    ASSERT_TRUE(Spool);
    ASSERT_EQ(Spool->GetSize(), 300000);
    std::string Back(10, '\0');
    EXPECT_EQ(Spool->ReadAt(150000, Back.data(), 10), 10);
    EXPECT_EQ(Back, Text.substr(150000, 10));
    EXPECT_TRUE(test::FilesIn(Dir.Path()).empty()) << "the spool has no name";

    // By name: a FIFO with a writer is spooled, a regular file opened as it is.
    const std::string Fifo = Dir.File("fifo");
    ASSERT_EQ(::mkfifo(Fifo.c_str(), 0600), 0);
    std::thread FifoWriter([&] { test::WriteFile(Fifo, "fifo text"); });
    const std::unique_ptr<TStream> FromFifo = OpenSeekableSource(Fifo, fmOpenRead);
    FifoWriter.join();
    EXPECT_NE(dynamic_cast<TTempFileStream*>(FromFifo.get()), nullptr);
    EXPECT_EQ(FromFifo->GetSize(), 9);
    test::WriteFile(Dir.File("plain"), "plain");
    EXPECT_NE(dynamic_cast<TFileStream*>(OpenSeekableSource(Dir.File("plain"), fmOpenRead).get()),
              nullptr);
    Spool.reset();
    EXPECT_EQ(test::FilesIn(Dir.Path()).size(), 2U) << "no spool is left behind";
    if (OldTmp != nullptr)
        ::setenv("TMPDIR", Saved.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

} // namespace
} // namespace kestrel
