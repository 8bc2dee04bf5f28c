// The console program runner: the control file, the helper beside the executable, results,
// time limits, killed helpers and the current folder restored on every path.
#include "host/exceptions.h"
#include "host/process.h"
#include "host/sysutils.h"
#include "kxrun/kxrun.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrel {
namespace {

// Runs each test in a current folder and a temporary folder of its own (both with a space in
// their names) and puts the current folder, the temporary folder and the runner folder back.
class KxRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        SavedDir = GetCurrentDir();
        const char* Tmp = std::getenv("TMPDIR");
        SavedTmp = Tmp != nullptr ? Tmp : "";
        HadTmp = Tmp != nullptr;
        Work = Root.File("work dir");
        Temp = Root.File("temp dir");
        ::mkdir(Work.c_str(), 0777);
        ::mkdir(Temp.c_str(), 0777);
        ::setenv("TMPDIR", Temp.c_str(), 1);
        ASSERT_TRUE(SetCurrentDir(Work));
    }
    void TearDown() override {
        SetCurrentDir(SavedDir);
        if (HadTmp)
            ::setenv("TMPDIR", SavedTmp.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
        SetRunnerDirectory("");
    }
    // A runner folder holding a helper script with Body (it gets the control file as $1).
    std::string FakeHelper(const std::string& Body) {
        const std::string Dir = Root.File("fake runner");
        ::mkdir(Dir.c_str(), 0777);
        test::WriteFile(Dir + "/KXRUN.PIF", "#!/bin/sh\n" + Body);
        ::chmod((Dir + "/KXRUN.PIF").c_str(), 0755);
        SetRunnerDirectory(Dir);
        return Dir;
    }

    test::TTempDir Root;
    std::string Work, Temp, SavedDir, SavedTmp;
    bool HadTmp = false;
};

TEST_F(KxRunTest, TheHelperBesideTheExecutableRunsTheCommandInTheCallersFolder) {
    ASSERT_TRUE(FileExists(ExtractFilePath(ParamStr(0)) + "KXRUN.PIF"))
        << "the build puts KXRUN.PIF beside the test executables";
    EXPECT_TRUE(RunDosProgram("pwd > 'where it ran.txt'"));
    EXPECT_EQ(test::ReadFile(Work + "/where it ran.txt"), Work + "\n");
    EXPECT_TRUE(RunDosProgram("exit 0"));
    EXPECT_FALSE(RunDosProgram("exit 1"));
    EXPECT_FALSE(RunDosProgram("no-such-command-anywhere 2>/dev/null"));
    EXPECT_FALSE(RunDosProgram("exit 0\nexit 1")); // a line break cannot go into the file
    EXPECT_EQ(GetCurrentDir(), Work);
    EXPECT_TRUE(test::FilesIn(Temp).empty()); // control files are removed
}

TEST_F(KxRunTest, TheControlFileAsTheHelperSeesIt) {
    // The fake helper keeps a copy of the control file and where it was started, then reports
    // the status the command line asks for.
    const std::string Dir = FakeHelper("cp \"$1\" \"$1.seen\"; pwd > \"$1.pwd\"\n"
                                       "printf -- '-2\\r\\n%s\\r\\nx\\r\\n' \"$(sed -n 3p \"$1\" "
                                       "| tr -d '\\r')\" > \"$1\"\n");
    EXPECT_TRUE(RunDosProgram("0"));
    const std::vector<std::string> Seen = test::FilesIn(Temp);
    ASSERT_EQ(Seen.size(), 2u);
    std::string Control = Temp + "/" + Seen[0];
    Control = Control.substr(0, Control.rfind('.'));
    EXPECT_EQ(test::ReadFile(Control + ".seen"), "-2\r\n" + Work + "\r\n0\r\n");
    EXPECT_EQ(test::ReadFile(Control + ".pwd"), Dir + "\n");
    EXPECT_FALSE(RunDosProgram("1"));
    EXPECT_EQ(test::FilesIn(Temp).size(), 4u); // two control files, each with its own name

    EXPECT_THROW(RunDosProgram("not a number"), EConvertError);
    EXPECT_EQ(GetCurrentDir(), Work);
}

TEST_F(KxRunTest, AMissingKilledOrSlowHelperGivesFalse) {
    SetRunnerDirectory(Root.File("nowhere"));
    EXPECT_FALSE(RunDosProgram("exit 0"));
    EXPECT_EQ(GetCurrentDir(), Work);
    SetRunnerDirectory("");

    EXPECT_FALSE(RunDosProgram("kill -KILL $PPID"));
    EXPECT_EQ(GetCurrentDir(), Work);

    const auto Start = std::chrono::steady_clock::now();
    EXPECT_FALSE(RunDosProgram("echo $$ > pid; exec sleep 60", 300));
    EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(4));
    // The command went with its helper.
    const std::string Pid = test::ReadFile(Work + "/pid");
    bool Gone = false;
    for (int I = 0; I < 200 && !Gone; ++I) {
        std::ifstream Stat("/proc/" + Pid.substr(0, Pid.size() - 1) + "/stat");
        std::string Ignored, State;
        Gone = !(Stat >> Ignored >> Ignored >> State) || State == "Z";
        if (!Gone)
            ::usleep(10000);
    }
    EXPECT_TRUE(Gone);
    EXPECT_EQ(GetCurrentDir(), Work);
    EXPECT_TRUE(test::FilesIn(Temp).empty());
}

TEST_F(KxRunTest, TemporaryNamesAreNewFilesThatSkipNamesInUse) {
    const std::string A = TempFileName();
    EXPECT_EQ(ExtractFilePath(A), Temp + "/");
    EXPECT_TRUE(FileExists(A));
    const std::string Hex = A.substr(Temp.size() + 4, A.size() - Temp.size() - 8);
    const auto Next = [](std::uint64_t N) {
        char Buf[32];
        std::snprintf(Buf, sizeof Buf, "KXT%llX.TMP", static_cast<unsigned long long>(N));
        return std::string(Buf);
    };
    const std::uint64_t N = std::stoull(Hex, nullptr, 16);
    test::WriteFile(Temp + "/" + Next(N + 1), "someone else's");
    EXPECT_EQ(TempFileName(), Temp + "/" + Next(N + 2));
    EXPECT_EQ(test::ReadFile(Temp + "/" + Next(N + 1)), "someone else's");

    EXPECT_EQ(GetShortFileName(Root.File("no such file")), Root.File("no such file"));
    EXPECT_EQ(GetShortFileName(A), A);
}

// The counter is the process's: a fresh process (the death test's child) starts at 1.
TEST(TempFileNameTest, AFreshProcessCountsFromOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            bool Ok;
            {
                test::TTempDir Fresh;
                ::setenv("TMPDIR", Fresh.Path().c_str(), 1);
                Ok = TempFileName() == Fresh.File("KXT1.TMP") &&
                     TempFileName() == Fresh.File("KXT2.TMP");
            }
            std::_Exit(Ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace kestrel
