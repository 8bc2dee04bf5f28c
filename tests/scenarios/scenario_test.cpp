// The scenario runner: each folder here is one kxtool case (README.md gives the format), run in a
// temporary copy of the folder and held to its expected output and exit status.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace kestrel {
namespace {

namespace fs = std::filesystem;

/// The case folders: every folder here with a cmd file, by name.
std::vector<std::string> CaseNames() {
    std::vector<std::string> Names;
    for (const auto& Entry : fs::directory_iterator(KESTREL_SCENARIOS_DIR))
        if (Entry.is_directory() && fs::exists(Entry.path() / "cmd"))
            Names.push_back(Entry.path().filename().string());
    std::sort(Names.begin(), Names.end());
    return Names;
}

/// The words of a command line: separated by blanks, grouped by single or double quotes.
std::vector<std::string> SplitWords(const std::string& Line) {
    std::vector<std::string> Words;
    std::string Word;
    bool InWord = false;
    for (std::size_t I = 0; I < Line.size(); ++I) {
        const char C = Line[I];
        if (C == '\'' || C == '"') {
            const std::size_t End = Line.find(C, I + 1);
            if (End == std::string::npos)
                throw std::runtime_error("unbalanced quote in: " + Line);
            Word += Line.substr(I + 1, End - I - 1);
            InWord = true;
            I = End;
        } else if (C == ' ' || C == '\t') {
            if (InWord)
                Words.push_back(Word);
            Word.clear();
            InWord = false;
        } else {
            Word += C;
            InWord = true;
        }
    }
    if (InWord)
        Words.push_back(Word);
    return Words;
}

/// Replaces every {input} in Word with InputPath.
std::string Substitute(std::string Word, const std::string& InputPath) {
    const std::string Placeholder = "{input}";
    for (std::size_t At; (At = Word.find(Placeholder)) != std::string::npos;)
        Word.replace(At, Placeholder.size(), InputPath);
    return Word;
}

/// Runs kxtool with Args in Folder, standard output to OutFile and standard error to ErrFile;
/// returns its exit status (-1 when it did not exit normally).
int RunKxtool(const std::vector<std::string>& Args, const std::string& Folder,
              const std::string& OutFile, const std::string& ErrFile) {
    std::vector<char*> Argv;
    std::string Program = KXTOOL_PATH;
    Argv.push_back(Program.data());
    std::vector<std::string> Copies = Args;
    for (std::string& A : Copies)
        Argv.push_back(A.data());
    Argv.push_back(nullptr);
    const pid_t Child = ::fork();
    if (Child == 0) {
        const int Out = ::open(OutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int Err = ::open(ErrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (Out < 0 || Err < 0 || ::dup2(Out, 1) < 0 || ::dup2(Err, 2) < 0 ||
            ::chdir(Folder.c_str()) != 0)
            ::_exit(126);
        ::execv(Argv[0], Argv.data());
        ::_exit(127);
    }
    int Status = 0;
    if (Child < 0 || ::waitpid(Child, &Status, 0) != Child)
        return -1;
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

/// A unified diff of Expected against Actual (both written to Dir), or both in full when diff
/// cannot be run.
std::string DiffOf(const test::TTempDir& Dir, const std::string& Expected,
                   const std::string& Actual) {
    test::WriteFile(Dir.File("expected"), Expected);
    test::WriteFile(Dir.File("actual"), Actual);
    const std::string Command = "diff -u --label expected --label actual '" + Dir.File("expected") +
                                "' '" + Dir.File("actual") + "' 2>/dev/null";
    std::string Diff;
    if (FILE* Pipe = ::popen(Command.c_str(), "r")) {
        std::array<char, 4096> Buf;
        for (std::size_t N; (N = std::fread(Buf.data(), 1, Buf.size(), Pipe)) > 0;)
            Diff.append(Buf.data(), N);
        const int Status = ::pclose(Pipe);
        if (WIFEXITED(Status) && WEXITSTATUS(Status) == 1)
            return Diff;
    }
    return "expected:\n" + Expected + "\nactual:\n" + Actual;
}

class ScenarioTest : public testing::TestWithParam<std::string> {};

TEST_P(ScenarioTest, OutputAndStatusAsExpected) {
    const fs::path Case = fs::path(KESTREL_SCENARIOS_DIR) / GetParam();
    test::TTempDir Dir;
    const fs::path Work = fs::path(Dir.Path()) / "case";
    fs::copy(Case, Work, fs::copy_options::recursive);
    const std::string InputPath = (Work / "input.txt").string();

    std::vector<std::vector<std::string>> Commands;
    const std::string Cmd = test::ReadFile((Case / "cmd").string());
    for (std::size_t From = 0; From < Cmd.size();) {
        const std::size_t End = std::min(Cmd.find('\n', From), Cmd.size());
        const std::string Line = Cmd.substr(From, End - From);
        From = End + 1;
        std::vector<std::string> Words = SplitWords(Line);
        if (Words.empty() || Words[0][0] == '#')
            continue;
        for (std::string& W : Words)
            W = Substitute(W, InputPath);
        Commands.push_back(Words);
    }
    ASSERT_FALSE(Commands.empty()) << Case << "/cmd holds no command";
    int ExpectedStatus = 0;
    if (fs::exists(Case / "exit"))
        ExpectedStatus = std::stoi(test::ReadFile((Case / "exit").string()));

    // Every command but the last must succeed; the outputs are taken together.
    std::string Output;
    int Status = 0;
    for (std::size_t I = 0; I < Commands.size(); ++I) {
        Status = RunKxtool(Commands[I], Work.string(), Dir.File("out"), Dir.File("err"));
        Output += test::ReadFile(Dir.File("out"));
        const std::string Errors = test::ReadFile(Dir.File("err"));
        if (I + 1 < Commands.size())
            ASSERT_EQ(Status, 0) << "command " << I + 1 << " failed:\n" << Errors;
        else
            EXPECT_EQ(Status, ExpectedStatus) << "standard error:\n" << Errors;
    }

    const fs::path ExpectedFile = Case / "expected.txt";
    const std::string Expected =
        fs::exists(ExpectedFile) ? test::ReadFile(ExpectedFile.string()) : "";
    if (Output != Expected && std::getenv("KESTREL_SCENARIOS_UPDATE") != nullptr) {
        test::WriteFile(ExpectedFile.string(), Output);
        std::printf("scenario %s: %s rewritten\n", GetParam().c_str(),
                    ExpectedFile.string().c_str());
        return;
    }
    if (Output != Expected)
        ADD_FAILURE() << "output differs from " << ExpectedFile.string() << ":\n"
                      << DiffOf(Dir, Expected, Output);
}

INSTANTIATE_TEST_SUITE_P(Kxtool, ScenarioTest, testing::ValuesIn(CaseNames()),
                         [](const testing::TestParamInfo<std::string>& Info) {
                             std::string Name = Info.param;
                             for (char& C : Name)
                                 if (std::isalnum(static_cast<unsigned char>(C)) == 0)
                                     C = '_';
                             return Name;
                         });

} // namespace
} // namespace kestrel
