// Saving a 50 MB edited file while the saving process is killed (SIGKILL) at moments the test
// chooses: after every kill the file holds the whole old text or the whole new one, and a backup,
// when there is one, the whole old text.
#include "host/application.h"
#include "host/headless/headless_platform.h"
#include "host/sysutils.h"
#include "kxctrls/kxctrls.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kestrel::test {
namespace {

/// One save in a child process: the child opens File, deletes 5 bytes at DeleteAt, inserts
/// Insert at InsertAt and saves; before each step of the save it writes the step's number to
/// the parent and waits for a byte back. The parent lets it go on until the step KillAt, then
/// waits Delay and kills it (a negative Delay kills it while it waits at that step). KillAt
/// past the last step lets the save finish. Returns whether the child was killed, and the time
/// from the first step to the end in Took.
bool SaveInChild(const std::string& File, std::int64_t DeleteAt, std::int64_t InsertAt,
                 const std::string& Insert, int KillAt, std::chrono::microseconds Delay,
                 std::chrono::microseconds& Took) {
    int ToParent[2];
    int ToChild[2];
    if (::pipe(ToParent) != 0 || ::pipe(ToChild) != 0)
        throw std::runtime_error("pipe");
    const pid_t Child = ::fork();
    if (Child == 0) {
        ::close(ToParent[0]);
        ::close(ToChild[1]);
        int Status = 0;
        try {
            headless::THeadlessPlatformScope Platform;
            TFileEditor E(nullptr);
            E.SetSaveMode(smParagraph);
            E.SetBounds(0, 0, 400, 200);
            E.SetFileName(File);
            E.Delete(DeleteAt, 5);
            E.FocusAt(InsertAt, false);
            E.InsertString(Insert);
            E.SetOnSaveStep([&](TObject*, TSaveStep Step) {
                const auto B = static_cast<char>(Step);
                char Go = 0;
                if (::write(ToParent[1], &B, 1) != 1 || ::read(ToChild[0], &Go, 1) != 1)
                    ::_exit(3);
            });
            E.Save();
        } catch (...) {
            Status = 2;
        }
        ::_exit(Status);
    }
    ::close(ToParent[1]);
    ::close(ToChild[0]);
    bool Killed = false;
    std::chrono::steady_clock::time_point Start{};
    for (char Step = 0; ::read(ToParent[0], &Step, 1) == 1;) {
        if (Step == svWriting)
            Start = std::chrono::steady_clock::now();
        if (Step == KillAt && Delay.count() < 0) {
            ::kill(Child, SIGKILL);
            Killed = true;
            break;
        }
        const char Go = 1;
        if (::write(ToChild[1], &Go, 1) != 1)
            break;
        if (Step == KillAt) {
            std::this_thread::sleep_for(Delay);
            ::kill(Child, SIGKILL);
            Killed = true;
            break;
        }
    }
    int Status = 0;
    ::waitpid(Child, &Status, 0);
    Took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 Start);
    ::close(ToParent[0]);
    ::close(ToChild[1]);
    if (!Killed && !(WIFEXITED(Status) && WEXITSTATUS(Status) == 0))
        throw std::runtime_error("the save failed in the child");
    // The kill may have come after the child's end.
    return Killed && WIFSIGNALED(Status);
}

TEST(SaveCrashTest, AKilledSaveLeavesAWholeTextUnderEveryName) {
    TTempDir Dir;
    const std::string File = Dir.File("big.txt");
    const std::string Backup = Dir.File("big.BAK");
    const char* SeedText = std::getenv("KESTREL_SEED");
    const unsigned Seed =
        SeedText ? static_cast<unsigned>(std::atoi(SeedText)) : std::random_device{}();
    SCOPED_TRACE("KESTREL_SEED=" + std::to_string(Seed));
    std::mt19937 Rng(Seed);
    std::string Text;
    Text.reserve(51 << 20);
    while (Text.size() < (50U << 20)) {
        Text.append(20 + Rng() % 60, static_cast<char>('a' + Rng() % 26));
        Text += '\n';
    }
    WriteFile(File, Text);

    // The first save runs to its end and is timed; then kills after a random share of that
    // time from the start of the write, and kills at each later step.
    std::chrono::microseconds Whole{0};
    int Kills = 0;
    for (int Run = 0; Run < 25; ++Run) {
        SCOPED_TRACE("run " + std::to_string(Run));
        // Edits within the first MiB: the editor reaches them at once; the save still writes
        // all 50 MB.
        const std::int64_t DeleteAt = static_cast<std::int64_t>(Rng() % (1 << 20));
        const std::int64_t InsertAt = static_cast<std::int64_t>(Rng() % (1 << 20));
        const std::string Insert = "<run " + std::to_string(Run) + ">";
        std::string New = Text;
        New.erase(static_cast<std::size_t>(DeleteAt), 5);
        New.insert(static_cast<std::size_t>(InsertAt), Insert);

        int KillAt = svSaved + 1;
        std::chrono::microseconds Delay{-1};
        if (Run > 0 && Run <= 16) {
            KillAt = svWriting;
            Delay = std::chrono::microseconds(Rng() % (Whole.count() + 1));
        } else if (Run > 16) {
            KillAt = svWritten + (Run - 17) % 4; // svWritten .. svSaved
        }
        std::chrono::microseconds Took{0};
        const bool Killed = SaveInChild(File, DeleteAt, InsertAt, Insert, KillAt, Delay, Took);
        if (Run == 0)
            Whole = Took;
        Kills += Killed ? 1 : 0;

        const std::string Now = ReadFile(File);
        const bool IsOld = Now == Text;
        ASSERT_TRUE(IsOld || Now == New) << "the file holds " << Now.size() << " bytes";
        if (!Killed) {
            ASSERT_FALSE(IsOld) << "a save that ran to its end wrote the new text";
        }
        if (FileExists(Backup)) {
            ASSERT_TRUE(ReadFile(Backup) == Text) << "the backup is not the old text";
        }
        // What a killed save leaves (a temporary file) is cleared for the next run.
        for (const std::string& Name : FilesIn(Dir.Path()))
            if (Name != "big.txt")
                DeleteFile(Dir.File(Name));
        if (!IsOld)
            Text = New;
    }
    EXPECT_GE(Kills, 20);
}

} // namespace
} // namespace kestrel::test
