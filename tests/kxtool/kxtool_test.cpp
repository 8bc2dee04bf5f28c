// kxtool end to end: the commands' output and exit codes on generated and written files, where
// the checks are more than one expected output (the fixed cases live in tests/scenarios).
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <vector>

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

std::string Quote(const std::string& S) {
    return "'" + S + "'";
}

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

TEST(KxtoolTest, GeneratedTextIsCountedAndReadBack) {
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
}

// The lines of Out, without their line breaks.
std::vector<std::string> SplitLines(const std::string& Out) {
    std::vector<std::string> Lines;
    std::size_t From = 0;
    for (std::size_t At; (At = Out.find('\n', From)) != std::string::npos; From = At + 1)
        Lines.push_back(Out.substr(From, At - From));
    return Lines;
}

// Lines "row 0" to "row N-1", each ended by LF.
std::string Rows(int N) {
    std::string T;
    for (int I = 0; I < N; ++I)
        T += "row " + std::to_string(I) + "\n";
    return T;
}

TEST(KxtoolTest, ViewShowsTheScreenAtTheStartAnOffsetAndTheEnd) {
    test::TTempDir Dir;
    const std::string F = Dir.File("rows.txt");
    const std::string Text = Rows(1000); // 1001 display lines: the last is empty
    test::WriteFile(F, Text);

    const TRun Start = Kxtool("view " + Quote(F) + " --rows 3 --wrap none");
    ASSERT_EQ(Start.Status, 0);
    std::vector<std::string> Out = SplitLines(Start.Out);
    ASSERT_EQ(Out.size(), 4U);
    EXPECT_EQ(Out[0], "0\trow 0");
    EXPECT_EQ(Out[2], "2\trow 2");
    EXPECT_NE(Out[3].find("offset=0 line=0 numbers=exact "), std::string::npos) << Out[3];
    EXPECT_NE(Out[3].find("count=running"), std::string::npos) << "100 lines a step";

    // An offset inside "row 500": that line at the top, its number exact once counted.
    const std::int64_t At = static_cast<std::int64_t>(Text.find("row 500\n")) + 2;
    Out = SplitLines(
        Kxtool("view " + Quote(F) + " --rows 2 --offset " + std::to_string(At) + " --exact").Out);
    ASSERT_EQ(Out.size(), 3U);
    EXPECT_EQ(Out[0], "500\trow 500");
    EXPECT_EQ(Out[1], "501\trow 501");
    EXPECT_NE(Out[2].find("offset=" + std::to_string(At) + " line=500 numbers=exact " +
                          "last-line=1000 count=complete top=500"),
              std::string::npos)
        << Out[2];

    // The end: the last rows, with numbers that the count makes exact.
    Out = SplitLines(Kxtool("view " + Quote(F) + " --rows 3 --end").Out);
    ASSERT_EQ(Out.size(), 4U);
    EXPECT_EQ(Out[1].substr(Out[1].find('\t')), "\trow 999");
    EXPECT_EQ(Out[2].substr(Out[2].find('\t')), "\t") << "the empty line after the last LF";
    EXPECT_NE(Out[3].find("offset=" + std::to_string(Text.size())), std::string::npos);
    Out = SplitLines(Kxtool("view " + Quote(F) + " --rows 3 --end --exact").Out);
    ASSERT_EQ(Out.size(), 4U);
    EXPECT_EQ(Out[0], "998\trow 998");
    EXPECT_EQ(Out[2], "1000\t");
    EXPECT_NE(Out[3].find("line=1000 numbers=exact last-line=1000"), std::string::npos);

    // A far line reached by an estimated jump shows whatever lies there; once the count has run
    // every row is numbered as the text itself numbers it.
    Out = SplitLines(Kxtool("view " + Quote(F) + " --rows 4 --line 700 --exact").Out);
    ASSERT_EQ(Out.size(), 5U);
    for (int I = 0; I < 4; ++I) {
        const std::string N = Out[I].substr(0, Out[I].find('\t'));
        EXPECT_EQ(Out[I], N + "\trow " + N);
    }

    const std::string Png = Dir.File("shot.png");
    EXPECT_EQ(Kxtool("view " + Quote(F) + " --rows 5 --png " + Quote(Png)).Status, 0);
    EXPECT_EQ(test::ReadFile(Png).substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));

    EXPECT_EQ(Kxtool("view " + Quote(F) + " --line 3 --end").Status, 2);
    EXPECT_EQ(Kxtool("view " + Quote(F) + " --wrap sideways").Status, 2);
    EXPECT_EQ(Kxtool("view " + Quote(F) + " --offset 99999").Status, 2);
    EXPECT_EQ(Kxtool("view " + Quote(Dir.File("missing.txt"))).Status, 3);
}

TEST(KxtoolTest, PrintWritesEachPageAsAnImage) {
    test::TTempDir Dir;
    const std::string F = Dir.File("rows.txt");
    test::WriteFile(F, Rows(200));
    const std::string Out = Dir.File("pages");
    const TRun Run =
        Kxtool("print " + Quote(F) + " --out " + Quote(Out) + " --pages 2-3 --wrap none --text");
    ASSERT_EQ(Run.Status, 0);
    const std::vector<std::string> Lines = SplitLines(Run.Out);
    ASSERT_FALSE(Lines.empty());
    const std::string& Summary = Lines.back();
    const std::size_t Of = Summary.find(" pages of ");
    ASSERT_NE(Of, std::string::npos) << Summary;
    const int PerPage = std::stoi(Summary.substr(Of + 10));
    EXPECT_EQ(Summary.substr(0, 16), "2 pages printed;");

    // page-001.png, its rows, page-002.png, its rows: pages 2 and 3 of the document.
    const std::string First = Out + "/page-001.png";
    ASSERT_EQ(Lines[0], First);
    ASSERT_GT(static_cast<int>(Lines.size()), 2 * PerPage + 2);
    EXPECT_EQ(Lines[1], "  row " + std::to_string(PerPage));
    EXPECT_EQ(Lines[static_cast<std::size_t>(PerPage)], "  row " + std::to_string(2 * PerPage - 1));
    EXPECT_EQ(Lines[static_cast<std::size_t>(PerPage) + 1], Out + "/page-002.png");
    EXPECT_EQ(Lines[static_cast<std::size_t>(PerPage) + 2], "  row " + std::to_string(2 * PerPage));
    for (const std::string& Page : {First, Out + "/page-002.png"})
        EXPECT_EQ(test::ReadFile(Page).substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));

    EXPECT_EQ(Kxtool("print " + Quote(F)).Status, 2) << "no --out";
    EXPECT_EQ(Kxtool("print " + Quote(F) + " --out " + Quote(Out) + " --pages 3-1").Status, 2);
}

} // namespace
} // namespace kestrel
