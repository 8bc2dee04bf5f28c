// kxtool end to end: the commands' output and exit codes on generated and written files, where
// the checks are more than one expected output (the fixed cases live in tests/scenarios).
#include "support/test_support.h"

#include <gtest/gtest.h>

#include "host/sysutils.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <utility>
#include <vector>

namespace kestrel {
namespace {

struct TRun {
    int Status = -1;
    std::string Out;
};

// Runs a shell command line and gathers its standard output.
TRun Shell(const std::string& Command) {
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

const std::string Kx = KXTOOL_PATH;

// Runs kxtool with Args (already quoted for the shell), standard error discarded.
TRun Kxtool(const std::string& Args) {
    return Shell(Kx + " " + Args + " 2>/dev/null");
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

    // A far line is the line of that number itself, before the count has got there and after;
    // a number past the end is the last line.
    for (const char* Exact : {"", " --exact"}) {
        Out = SplitLines(Kxtool("view " + Quote(F) + " --rows 4 --line 700" + Exact).Out);
        ASSERT_EQ(Out.size(), 5U);
        for (int I = 0; I < 4; ++I)
            EXPECT_EQ(Out[I], std::to_string(700 + I) + "\trow " + std::to_string(700 + I));
        EXPECT_NE(Out[4].find(" line=700 "), std::string::npos) << Out[4];
    }
    Out = SplitLines(Kxtool("view " + Quote(F) + " --rows 2 --line 5000").Out);
    ASSERT_FALSE(Out.empty());
    EXPECT_NE(Out.back().find(" line=1000 "), std::string::npos) << Out.back();

    // Lines longer than an idle step takes, below the window: --exact waits for them all.
    const std::string Long = Dir.File("long.txt");
    test::WriteFile(Long, Rows(3) + std::string(5, ' ').append(3 << 20, 'w') + "\nlast\n");
    Out = SplitLines(Kxtool("view " + Quote(Long) + " --rows 2 --wrap none --exact").Out);
    ASSERT_EQ(Out.size(), 3U);
    EXPECT_NE(Out[2].find("last-line=5 count=complete"), std::string::npos) << Out[2];

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

// A command's output with the file's name taken out (info and print name what they read).
std::string Unnamed(std::string Out, const std::string& Name) {
    for (std::size_t At; (At = Out.find(Name)) != std::string::npos;)
        Out.erase(At, Name.size());
    return Out;
}

TEST(KxtoolTest, EveryCommandReadsPipesFifosAndStandardInput) {
    test::TTempDir Dir;
    const std::string F = Dir.File("rows.txt");
    test::WriteFile(F, Rows(300));
    test::WriteFile(Dir.File("script"), "insert 0 first\ndelete 10 4\n");
    const std::string Out = Quote(Dir.File("out"));
    // Each command's arguments around FILE, and how its result is read.
    const std::vector<std::pair<std::string, std::string>> Commands = {
        {"cat ", " --offset 100 --count 50"},
        {"count ", " --wrap 100"},
        {"lines ", " --offset 9 --count 3"},
        {"search 'row 29' ", ""},
        {"view ", " --rows 4 --end"},
        {"info ", ""},
        {"edit ", " --script " + Quote(Dir.File("script")) + " --out " + Out + " && cat " + Out},
        {"print ", " --out " + Out + "-pages --pages 2-3 --text --header H"},
    };
    const std::string Fifo = Dir.File("fifo");
    ASSERT_EQ(::mkfifo(Fifo.c_str(), 0600), 0);
    for (const auto& [Before, After] : Commands) {
        const TRun Plain = Shell(Kx + " " + Before + Quote(F) + After + " 2>/dev/null");
        ASSERT_EQ(Plain.Status, 0) << Before;
        const std::string Expected = Unnamed(Plain.Out, F);
        for (const std::string& Source :
             {"cat " + Quote(F) + " | " + Kx + " " + Before + "-",
              "cat " + Quote(F) + " | " + Kx + " " + Before + "/dev/stdin",
              "(cat " + Quote(F) + " > " + Quote(Fifo) + " &) ; " + Kx + " " + Before +
                  Quote(Fifo)}) {
            const TRun Run = Shell(Source + After + " 2>/dev/null");
            EXPECT_EQ(Run.Status, 0) << Source;
            std::string Got = Unnamed(Unnamed(Unnamed(Run.Out, Fifo), "/dev/stdin"), "-");
            EXPECT_EQ(Got, Unnamed(Expected, "-")) << Source << After;
        }
    }
}

TEST(KxtoolTest, EditScriptsStopAtEmptyListsAndRefuseWhatTheyCannotDo) {
    test::TTempDir Dir;
    const std::string In = Quote(Dir.File("in.txt"));
    test::WriteFile(Dir.File("in.txt"), "hello world\n");
    const auto Edit = [&](const std::string& Script) {
        test::WriteFile(Dir.File("script"), Script);
        // A bound on the time: an undo that went on past the empty list would take minutes.
        return Shell("timeout 60 " + Kx + " edit " + In + " --script " + Quote(Dir.File("script")) +
                     " --out " + Quote(Dir.File("out.txt")) + " 2>&1 >/dev/null");
    };
    TRun Run = Edit("insert 5 ,\ntype 0 >>\tx\nundo 999999999999\nredo 999999999999\nundo 1\n");
    EXPECT_EQ(Run.Status, 0) << Run.Out;
    EXPECT_EQ(test::ReadFile(Dir.File("out.txt")), "hello, world\n") << "a tab separates TEXT";
    for (const auto& [Script, Error] : std::vector<std::pair<std::string, std::string>>{
             {"insert 0\n", "script line 1: missing text\n"},
             {"# comment\ndelete 3 1 more\n", "script line 2: unexpected 'more'\n"},
             {"undo -1\n", "script line 1: bad count '-1'\n"},
             {"type 99 x\n", "script line 1: position past the end of the text (12 bytes)\n"},
             {"frob 1 2\r\n", "script line 1: unknown command 'frob'\n"}}) {
        Run = Edit(Script);
        EXPECT_EQ(Run.Status, 3) << Script;
        EXPECT_EQ(Run.Out, "kxtool edit: " + Error) << Script;
    }
    const TRun Folder = Shell(Kx + " edit " + In + " --script " + Quote(Dir.Path()) + " --out " +
                              Quote(Dir.File("o2.txt")) + " 2>/dev/null");
    EXPECT_EQ(Folder.Status, 3) << "a folder is no script";
    EXPECT_FALSE(FileExists(Dir.File("o2.txt")));
}

TEST(KxtoolTest, BadKeyScriptsNameTheirLineAndWriteNothing) {
    test::TTempDir Dir;
    const std::string In = Quote(Dir.File("in.txt"));
    test::WriteFile(Dir.File("in.txt"), "hello\n");
    const std::string Out = Dir.File("out.txt");
    for (const auto& [Script, Error] : std::vector<std::pair<std::string, std::string>>{
             {"type ok\n\nkey ctrl+zz\n", "key script line 3: unknown key 'ctrl+zz'\n"},
             {"key right*0\n", "key script line 1: a repeat count is 1 to 999999: 'right*0'\n"},
             {"type a\\x0\n", "key script line 1: \\x needs two hexadecimal digits\n"},
             {"key enter\r\npress x\n", "key script line 2: unknown verb 'press' (type or key)\n"},
             {"key a*999999\nkey b*999999\n" + std::string(9, 'k') + "\n",
              "key script line 3: unknown verb 'kkkkkkkkk' (type or key)\n"}}) {
        test::WriteFile(Dir.File("keys"), Script);
        // The whole script is checked before a key is pressed: no wait for the keys before line 3.
        const TRun Run =
            Shell("timeout 60 " + Kx + " edit " + In + " --keys " + Quote(Dir.File("keys")) +
                  " --out " + Quote(Out) + " 2>&1 >/dev/null");
        EXPECT_EQ(Run.Status, 3) << Script;
        EXPECT_EQ(Run.Out, "kxtool edit: " + Error) << Script;
        EXPECT_FALSE(FileExists(Out)) << Script;
    }
    // The same file with a good script: the text is written.
    test::WriteFile(Dir.File("keys"), "key end\ntype , world\n");
    const TRun Good =
        Shell(Kx + " edit " + In + " --keys " + Quote(Dir.File("keys")) + " --out " + Quote(Out));
    EXPECT_EQ(Good.Status, 0);
    EXPECT_EQ(test::ReadFile(Out), "hello, world\n");
}

TEST(KxtoolTest, ArgumentsOutOfRangeAreRefusedAndEveryCommandHasHelp) {
    test::TTempDir Dir;
    const std::string F = Quote(Dir.File("rows.txt"));
    test::WriteFile(Dir.File("rows.txt"), Rows(10));
    for (const char* Args : {"lines F --count -2", "lines F --offset 61", "search row F --from -1",
                             "search row F --from 61", "cat F --count -2", "cat F --offset 61"}) {
        std::string Line = Args;
        Line.replace(Line.find(" F"), 2, " " + F);
        EXPECT_EQ(Kxtool(Line).Status, 2) << Args;
    }
    EXPECT_EQ(Kxtool("lines " + F + " --offset 60").Status, 0) << "the end is no error";
    for (const char* Command :
         {"cat", "count", "edit", "generate", "info", "lines", "print", "search", "view"}) {
        const TRun Help = Kxtool(std::string(Command) + " --help");
        EXPECT_EQ(Help.Status, 0) << Command;
        EXPECT_EQ(Help.Out.rfind(std::string("Usage: kxtool ") + Command + " ", 0), 0U) << Command;
    }
    EXPECT_NE(Kxtool("print --help")
                  .Out.find("--pages 2-2 prints one page whose footer is "
                            "\"Page 1\""),
              std::string::npos);
}

TEST(KxtoolTest, PrintCutsAPageRangeToTheDocument) {
    test::TTempDir Dir;
    const std::string F = Quote(Dir.File("rows.txt"));
    test::WriteFile(Dir.File("rows.txt"), Rows(200));
    const std::string Out = Dir.File("pages");
    const TRun All = Kxtool("print " + F + " --out " + Quote(Out));
    ASSERT_EQ(All.Status, 0);
    const std::string Summary = SplitLines(All.Out).back();
    const int Pages = std::stoi(Summary);
    ASSERT_GT(Pages, 1);
    std::filesystem::remove_all(Out);

    const TRun Far = Shell("timeout 60 " + Kx + " print " + F + " --out " + Quote(Out) +
                           " --pages 2-1000000000 2>/dev/null");
    ASSERT_EQ(Far.Status, 0);
    EXPECT_EQ(SplitLines(Far.Out).back(), std::to_string(Pages - 1) + Summary.substr(1));
    EXPECT_EQ(test::FilesIn(Out).size(), static_cast<std::size_t>(Pages - 1));

    std::filesystem::remove_all(Out);
    const std::string Past = std::to_string(Pages + 1);
    EXPECT_EQ(
        Kxtool("print " + F + " --out " + Quote(Out) + " --pages " + Past + "-" + Past).Status, 2);
    EXPECT_TRUE(test::FilesIn(Out).empty()) << "nothing is printed for an empty range";
}

// Ways to make writes fail: a full file system (a tmpfs filled up, where one can be mounted) and
// a file-size limit (set by the shell that runs kxtool). Each gives the folder to write in and
// the shell words to put before the command.
struct TFailingWrites {
    std::string Name, Folder, Prefix;
};

class TFullTmpfs {
public:
    explicit TFullTmpfs(const std::string& Where) : FWhere(Where) {
        std::filesystem::create_directory(Where);
        if (::mount("tmpfs", Where.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=1m") != 0)
            return;
        FMounted = true;
        test::WriteFile(Where + "/out.txt", "old bytes");
        test::WriteFile(Where + "/shot.png", "old bytes");
        std::filesystem::create_directory(Where + "/pages");
        test::WriteFile(Where + "/pages/page-001.png", "old bytes");
        // The rest of the space goes to a filler, so that every new byte fails.
        std::ofstream Filler(Where + "/filler", std::ios::binary);
        const std::string Block(4096, 'x');
        while (Filler.write(Block.data(), static_cast<std::streamsize>(Block.size())))
            ;
    }
    ~TFullTmpfs() {
        if (FMounted)
            ::umount2(FWhere.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return FMounted; }

private:
    std::string FWhere;
    bool FMounted = false;
};

TEST(KxtoolTest, AFailedWriteLeavesTheTargetAsItWas) {
    test::TTempDir Dir;
    const std::string Source = Dir.File("rows.txt");
    test::WriteFile(Source, Rows(2000)); // 15 KB of text
    std::vector<TFailingWrites> Ways;
    TFullTmpfs Full(Dir.File("full"));
    if (Full.Mounted())
        Ways.push_back({"a full tmpfs", Dir.File("full"), ""});
    // The limit works when the shell can set it and the kernel keeps to it.
    const std::string Limited = Dir.File("limited");
    std::filesystem::create_directory(Limited);
    const std::string Probe = Quote(Limited + "/probe");
    if (Shell("ulimit -f 1 2>/dev/null && (head -c 4096 /dev/zero > " + Probe +
              ") 2>/dev/null; wc -c < " + Probe)
            .Out.find("512") != std::string::npos) {
        std::filesystem::remove(Limited + "/probe");
        test::WriteFile(Limited + "/out.txt", "old bytes");
        test::WriteFile(Limited + "/shot.png", "old bytes");
        std::filesystem::create_directory(Limited + "/pages");
        test::WriteFile(Limited + "/pages/page-001.png", "old bytes");
        Ways.push_back({"a file-size limit", Limited, "ulimit -f 1; "});
    }
    if (Ways.empty())
        GTEST_SKIP() << "neither a tmpfs can be mounted nor a file-size limit set here";

    test::WriteFile(Dir.File("script"), "insert 0 new\n");
    for (const TFailingWrites& Way : Ways) {
        const std::vector<std::string> Before = test::FilesIn(Way.Folder);
        const std::string At = Quote(Way.Folder);
        for (const std::string& Command :
             {" edit " + Quote(Source) + " --script " + Quote(Dir.File("script")) + " --out " + At +
                  "/out.txt",
              " view " + Quote(Source) + " --png " + At + "/shot.png",
              " print " + Quote(Source) + " --out " + At + "/pages"}) {
            const TRun Run = Shell(Way.Prefix + Kx + Command + " 2>&1 >/dev/null");
            EXPECT_EQ(Run.Status, 3) << Way.Name << ":" << Command << "\n" << Run.Out;
            EXPECT_NE(Run.Out.find("cannot write"), std::string::npos) << Run.Out;
        }
        EXPECT_EQ(test::FilesIn(Way.Folder), Before) << Way.Name << ": no file added or left";
        for (const char* Name : {"/out.txt", "/shot.png", "/pages/page-001.png"})
            EXPECT_EQ(test::ReadFile(Way.Folder + Name), "old bytes") << Way.Name << Name;
        EXPECT_EQ(test::FilesIn(Way.Folder + "/pages").size(), 1U) << Way.Name;
    }
}

TEST(KxtoolTest, ViewShowsARowAsFarAsTheWindowIsWide) {
    test::TTempDir Dir;
    const std::string F = Dir.File("long.txt");
    test::WriteFile(F, std::string(1000000, 'x') + "\nshort\n");
    const std::vector<std::string> Out =
        SplitLines(Kxtool("view " + Quote(F) + " --wrap none --rows 2 --width 400").Out);
    ASSERT_EQ(Out.size(), 3U);
    EXPECT_GT(Out[0].size(), 30U);
    EXPECT_LT(Out[0].size(), 60U) << "a 400-pixel window shows about 48 characters of 8 pixels";
    EXPECT_EQ(Out[0], "0\t" + std::string(Out[0].size() - 2, 'x'));
    EXPECT_EQ(Out[1], "1\tshort");
}

// kxtool edit --keys without --out saves the file in place through the file editor: with
// --backup the old text stays as .BAK, without it nothing else remains; a stream needs --out.
TEST(KxtoolTest, EditWithKeysSavesInPlace) {
    test::TTempDir Dir;
    const std::string In = Dir.File("in.txt");
    test::WriteFile(In, "hello\nworld\n");
    test::WriteFile(Dir.File("keys"), "key end\ntype , there\n");
    const std::string Keys = " --keys " + Quote(Dir.File("keys"));
    EXPECT_EQ(Kxtool("edit " + Quote(In) + Keys + " --backup").Status, 0);
    EXPECT_EQ(test::ReadFile(In), "hello, there\nworld\n");
    EXPECT_EQ(test::ReadFile(Dir.File("in.BAK")), "hello\nworld\n");
    EXPECT_EQ(Kxtool("edit " + Quote(In) + Keys).Status, 0);
    EXPECT_EQ(test::ReadFile(In), "hello, there, there\nworld\n");
    EXPECT_EQ(test::FilesIn(Dir.Path()).size(), 2U) << "the old backup went, nothing else left";
    EXPECT_EQ(Shell("cat " + Quote(In) + " | " + Kx + " edit -" + Keys + " 2>/dev/null").Status, 2);
    EXPECT_EQ(
        Kxtool("edit " + Quote(In) + Keys + " --out " + Quote(Dir.File("o")) + " --backup").Status,
        2);
}

} // namespace
} // namespace kestrel
