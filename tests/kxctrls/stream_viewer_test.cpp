// The stream and file viewers on the headless platform with real files in a temporary folder:
// a randomized run of files, streams and bad input against a model (name, text, top row, which
// file is held open, streams freed once), and files that shrink, vanish or become unreadable
// while shown.
#include "host/application.h"
#include "host/headless/headless_platform.h"
#include "kxctrls/kxctrls.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrel::test {
namespace {

/// A memory stream that counts the live instances, so that ownership shows; reads fail when
/// told (a bad sector).
class TTrackedStream : public TMemoryStream {
public:
    TTrackedStream(int& Live, const std::string& Text, bool Fail = false)
        : FLive(Live), FFail(Fail) {
        ++FLive;
        WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
    }
    ~TTrackedStream() override { --FLive; }
    std::int64_t ReadAt(std::int64_t Pos, void* Buffer, std::int64_t Count) override {
        if (FFail)
            throw EReadError("bad sector");
        return TMemoryStream::ReadAt(Pos, Buffer, Count);
    }

private:
    int& FLive;
    bool FFail;
};

/// Lines of random letters and spaces, each ended by LF, until about Size bytes.
std::string RandomLines(std::mt19937& Rng, std::size_t Size) {
    std::string S;
    while (S.size() < Size) {
        for (std::size_t I = 0, Len = Rng() % 90; I < Len; ++I)
            S += I % 7 == 6 ? ' ' : static_cast<char>('a' + Rng() % 26);
        S += '\n';
    }
    return S;
}

/// The message of the exception of class E that Action raises ("" when none).
template <typename E> std::string ErrorOf(const std::function<void()>& Action) {
    try {
        Action();
    } catch (const E& Error) {
        return Error.what();
    }
    return "";
}

bool Contains(const std::string& Text, const std::string& Part) {
    return Text.find(Part) != std::string::npos;
}

class FileViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        V->GetFont()->SetName("Courier New");
        V->SetAutoIdle(true);
        V->SetBounds(10, 10, 400, 200);
        V->SetFocus();
        Pump();
    }
    void TearDown() override {
        V.reset();
        Application->SetOnIdle(nullptr);
    }

    void Pump() { Application->ProcessMessages(); }
    /// Every byte of the viewer's text, read through its container.
    std::string Shown() {
        std::string S(static_cast<std::size_t>(V->GetTextSize()), '\0');
        V->GetBuffer()->CopyText(S.data(), 0, V->GetTextSize());
        return S;
    }
    /// Repaints the viewer and returns what its top row shows ("" for none).
    std::string TopRow() {
        headless::TDrawRecord& R = Platform.Windows().GetWindowRecord(V->GetHandle());
        R.clear();
        V->Redraw();
        Pump();
        for (const headless::TDrawCall& C : R)
            if (C.Op == headless::doTabbedTextOut && C.Y == 0)
                return C.Text;
        return "";
    }
    /// Whether another reader could take FileName for itself alone now.
    static bool FreeToOpen(const std::string& FileName) {
        return ErrorOf<EFOpenError>([&] { TFileStream(FileName, fmOpenRead | fmShareExclusive); })
            .empty();
    }

    headless::THeadlessPlatformScope Platform;
    TTempDir Dir;
    std::unique_ptr<TFileViewer> V = std::make_unique<TFileViewer>(nullptr);
};

// Files, bad names, empty names, streams good and bad, and clears in random order; after each
// step the name, the text, the empty state, the top row, which file is held open and how many
// streams live agree with a model.
TEST_F(FileViewerTest, ShowsWhatItWasLastGivenAndHoldsOnlyThatFile) {
    const char* SeedText = std::getenv("KESTREL_SEED");
    const unsigned Seed =
        SeedText ? static_cast<unsigned>(std::atoi(SeedText)) : std::random_device{}();
    SCOPED_TRACE("KESTREL_SEED=" + std::to_string(Seed));
    std::mt19937 Rng(Seed);
    std::vector<std::string> Files, Contents;
    for (const std::size_t Size : {0, 1, 300, 9000, 70000}) {
        Files.push_back(Dir.File("file " + std::to_string(Size) + ".txt"));
        Contents.push_back(RandomLines(Rng, Size));
        WriteFile(Files.back(), Contents.back());
    }
    // Opening the FIFO must not wait for a writer: should it ever wait, the alarm ends the run.
    ::alarm(120);
    const std::string Fifo = Dir.File("a fifo");
    ASSERT_EQ(::mkfifo(Fifo.c_str(), 0600), 0);
    const std::vector<std::string> BadNames = {Dir.File("missing.txt"), Dir.Path(), Fifo,
                                               "/dev/null"};

    std::string Name, Text, Held; // the model: FileName, the text, the file held open
    int Live = 0;                 // tracked streams alive
    bool Tracked = false;         // the model shows a tracked stream
    for (int Step = 0; Step < 150; ++Step) {
        SCOPED_TRACE("step " + std::to_string(Step));
        const unsigned Op = Rng() % 7;
        if (Op <= 1) { // a file
            const std::size_t I = Rng() % Files.size();
            V->SetFileName(Files[I]);
            Name = Held = Files[I];
            Text = Contents[I];
        } else if (Op == 2) { // a bad name: refused with its name, the viewer left empty
            const std::string& Bad = BadNames[Rng() % BadNames.size()];
            const std::string Error = ErrorOf<EFOpenError>([&] { V->SetFileName(Bad); });
            EXPECT_TRUE(Contains(Error, "Cannot open file \"" + Bad + "\". ")) << Error;
            Name = Held = Text = "";
        } else if (Op == 3) { // a stream, owned by the viewer from now on
            Text = RandomLines(Rng, Rng() % 5000);
            V->SetSourceStream(new TTrackedStream(Live, Text));
            Name = Held = "";
        } else if (Op == 4) { // a stream that cannot seek: refused, nothing changes
            int Pipe[2];
            ASSERT_EQ(::pipe(Pipe), 0);
            const std::string Error = ErrorOf<EStreamError>(
                [&] { V->SetSourceStream(std::make_unique<THandleStream>(Pipe[0])); });
            EXPECT_TRUE(Contains(Error, "cannot seek")) << Error;
            ::close(Pipe[0]);
            ::close(Pipe[1]);
        } else if (Op == 5) { // unreadable or too big: raised, freed, the viewer left empty
            const bool TooBig = Rng() % 2 == 0;
            V->GetBuffer()->SetMaxTextSize(TooBig ? 1 : 0);
            EXPECT_THROW(
                V->SetSourceStream(std::make_unique<TTrackedStream>(Live, "ab\nc", !TooBig)),
                Exception);
            V->GetBuffer()->SetMaxTextSize(0);
            Name = Held = Text = "";
        } else { // an empty name, or Clear
            if (Rng() % 2 == 0)
                V->SetFileName("");
            else
                V->Clear();
            Name = Held = Text = "";
        }
        Tracked = Op == 3 || (Op == 4 && Tracked);
        ASSERT_EQ(V->GetFileName(), Name);
        ASSERT_EQ(Shown(), Text);
        EXPECT_EQ(V->GetState().Contains(vsEmpty), Text.empty());
        EXPECT_FALSE(V->GetState().Contains(vsBusy));
        const std::string Top = TopRow();
        EXPECT_EQ(Text.compare(0, Top.size(), Top), 0) << Top;
        EXPECT_EQ(Live, Tracked ? 1 : 0);
        for (const std::string& F : Files)
            EXPECT_EQ(FreeToOpen(F), F != Held) << F;
    }
    ::alarm(0);
    V.reset();
    EXPECT_EQ(Live, 0);
    for (const std::string& F : Files)
        EXPECT_TRUE(FreeToOpen(F)) << F;
}

// A file that shrinks, loses its name or becomes unreadable while shown raises EReadError naming
// it on the next read: the background count raises once and stops, a move to the end raises
// again, and the viewer then shows another file as usual.
TEST_F(FileViewerTest, AFileThatChangesUnderTheViewerRaisesWithItsName) {
    std::mt19937 Rng(7);
    const std::string Good = Dir.File("good.txt");
    WriteFile(Good, "still here\n");
    const std::string Body = RandomLines(Rng, 300000);
    for (const std::string How : {"shrunk", "removed", "unreadable"}) {
        SCOPED_TRACE(How);
        const std::string F = Dir.File("file " + How + ".txt");
        WriteFile(F, Body);
        V->SetFileName(F);
        Pump();
        ASSERT_FALSE(V->GetCountComplete()) << "the count must have reading left to do";
        if (How == "shrunk") {
            ASSERT_EQ(::truncate(F.c_str(), 100), 0);
        } else if (How == "removed") {
            ASSERT_EQ(::unlink(F.c_str()), 0);
        } else { // the handle can no longer read (as after an I/O fault)
            const int Handle = dynamic_cast<THandleStream*>(V->GetSourceStream())->GetHandle();
            const int WriteOnly = ::open(F.c_str(), O_WRONLY | O_CLOEXEC);
            ASSERT_EQ(::dup2(WriteOnly, Handle), Handle);
            ::close(WriteOnly);
        }
        int Raised = 0;
        bool Done = false;
        for (int I = 0; I < 10000 && !Done; ++I) {
            const std::string Error = ErrorOf<EReadError>([&] {
                Done = Application->Idle();
                Pump();
            });
            Raised += Error.empty() ? 0 : 1;
            EXPECT_TRUE(Error.empty() || Contains(Error, "Cannot read file \"" + F + "\"."))
                << Error;
        }
        EXPECT_TRUE(Done);
        EXPECT_EQ(Raised, 1);
        const std::string Error = ErrorOf<EReadError>([&] {
            V->EndOftext();
            Pump();
        });
        EXPECT_TRUE(Contains(Error, "\"" + F + "\"")) << Error;

        V->SetFileName(Good);
        EXPECT_EQ(Shown(), "still here\n");
    }
}

} // namespace
} // namespace kestrel::test
