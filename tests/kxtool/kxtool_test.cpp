// kxtool end to end: the commands' output and exit codes on small generated and written files.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace kestrel {
namespace {

struct TRun {
    int Status = -1;
    std::string Out;
};

// Runs kxtool with Args (already quoted for the shell), standard error discarded.
TRun Kxtool(const std::string& Args) {
    const std::string Command = std::string(KXTOOL_PATH) + " " + Args + " 2>/dev/null";
    TRun Result;
    FILE* Pipe = ::popen(Command.c_str(), "r");
    if (Pipe == nullptr)
        return Result;
    std::array<char, 4096> Buf;
    for (std::size_t N; (N = std::fread(Buf.data(), 1, Buf.size(), Pipe)) > 0;)
        Result.Out.append(Buf.data(), N);
    const int Raw = ::pclose(Pipe);
    Result.Status = WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1;
    return Result;
}

std::string Quote(const std::string& S) { return "'" + S + "'"; }

TEST(KxtoolTest, HelpVersionAndUsageErrors) {
    const TRun Help = Kxtool("--help");
    EXPECT_EQ(Help.Status, 0);
    for (const char* Command : {"cat", "count", "edit", "generate", "lines", "search"})
        EXPECT_NE(Help.Out.find(std::string("  ") + Command + " "), std::string::npos) << Command;
    EXPECT_EQ(Kxtool("--version").Status, 0);
    EXPECT_EQ(Kxtool("").Status, 2);
    EXPECT_EQ(Kxtool("frobnicate").Status, 2);
    EXPECT_EQ(Kxtool("count --bogus x").Status, 2);
    EXPECT_EQ(Kxtool("count").Status, 2);
    EXPECT_EQ(Kxtool("cat /nonexistent/file").Status, 3);
}

TEST(KxtoolTest, GeneratedTextIsCountedCatAndSearched) {
    test::TTempDir Dir;
    const std::string F = Dir.File("gen.txt");
    const TRun Gen = Kxtool("generate " + Quote(F) + " --size 200000");
    ASSERT_EQ(Gen.Status, 0);
    const std::string Text = test::ReadFile(F);
    ASSERT_EQ(Text.size(), 200000u);

    std::int64_t Breaks = 0;
    for (char C : Text)
        Breaks += C == '\n';
    const std::int64_t Lines = Breaks + (Text.back() == '\n' ? 0 : 1);
    EXPECT_EQ(Kxtool("count " + Quote(F)).Out, std::to_string(Lines) + "\n");
    // Wrapped lines are never fewer.
    EXPECT_GE(std::stoll(Kxtool("count " + Quote(F) + " --wrap 200").Out), Lines);

    EXPECT_EQ(Kxtool("cat " + Quote(F)).Out, Text);
    EXPECT_EQ(Kxtool("cat " + Quote(F) + " --offset 1000 --count 77 --bufsize 16").Out,
              Text.substr(1000, 77));

    const std::string Needle = Text.substr(150000, 12);
    const TRun Found = Kxtool("search " + Quote(Needle) + " " + Quote(F) + " --case --from 120000");
    EXPECT_EQ(Found.Status, 0);
    EXPECT_EQ(Found.Out, std::to_string(Text.find(Needle, 120000)) + "\n");
    EXPECT_EQ(Kxtool("search 'no such text here' " + Quote(F)).Status, 1);
}

TEST(KxtoolTest, EditScriptsAreAppliedAndUndone) {
    test::TTempDir Dir;
    test::WriteFile(Dir.File("in.txt"), "hello world\n");
    test::WriteFile(Dir.File("script"), "insert 5 ,\ntype 0 >> \ndelete 9 6\nundo\n"
                                        "overwrite 0 ##\n");
    const TRun Edit = Kxtool("edit " + Quote(Dir.File("in.txt")) + " --script " +
                             Quote(Dir.File("script")) + " --out " + Quote(Dir.File("out.txt")));
    ASSERT_EQ(Edit.Status, 0);
    EXPECT_EQ(test::ReadFile(Dir.File("out.txt")), "## hello, world\n");
    EXPECT_EQ(test::ReadFile(Dir.File("in.txt")), "hello world\n"); // the source is untouched

    test::WriteFile(Dir.File("bad"), "delete 100 1\n");
    EXPECT_EQ(Kxtool("edit " + Quote(Dir.File("in.txt")) + " --script " + Quote(Dir.File("bad")) +
                     " --out " + Quote(Dir.File("out2.txt")))
                  .Status,
              3);
}

} // namespace
} // namespace kestrel
