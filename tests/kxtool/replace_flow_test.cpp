// kxtool replace and flow end to end: a generated text against a plain find-and-replace model in
// both directions, the undone text against the original, escapes, and paragraph flow.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include "host/sysutils.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace kestrel {
namespace {

int Kxtool(const std::string& Args) {
    const int Raw = std::system((std::string(KXTOOL_PATH) + " " + Args + " 2>/dev/null").c_str());
    return WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1;
}

std::string Q(const std::string& S) {
    return "'" + S + "'";
}

// Every occurrence of P in T, left to right, none overlapping, replaced by R.
std::string ModelReplace(const std::string& T, const std::string& P, const std::string& R) {
    std::string Out;
    std::size_t From = 0;
    for (std::size_t At; (At = T.find(P, From)) != std::string::npos; From = At + P.size())
        Out += T.substr(From, At - From) + R;
    return Out + T.substr(From);
}

TEST(KxtoolReplaceTest, ReplaceMatchesAModelBothWaysAndUndoesAsOneStep) {
    test::TTempDir Dir;
    const std::string In = Dir.File("in.txt");
    ASSERT_EQ(Kxtool("generate " + Q(In) + " --size 300000 --seed 7 >/dev/null"), 0);
    const std::string Text = test::ReadFile(In);
    const std::string Out = Dir.File("out.txt");
    const std::string Undone = Dir.File("undone.txt");
    ASSERT_EQ(Kxtool("replace line '^P<^t>' " + Q(In) + " --out " + Q(Out) + " --undo-out " +
                     Q(Undone) + " --case"),
              0);
    EXPECT_EQ(test::ReadFile(Out), ModelReplace(Text, "line", "\r\n<\t>"));
    EXPECT_EQ(test::ReadFile(Undone), Text);
    // "aa" by "a" from the end: the backward run takes "aaa" as "a" + "aa".
    const std::string Small = Dir.File("small.txt");
    test::WriteFile(Small, "aaa aaaa");
    ASSERT_EQ(Kxtool("replace aa b " + Q(Small) + " --out " + Q(Out) + " --back"), 0);
    EXPECT_EQ(test::ReadFile(Out), "ab bb");
    ASSERT_EQ(Kxtool("replace aa b " + Q(Small) + " --out " + Q(Out)), 0);
    EXPECT_EQ(test::ReadFile(Out), "ba bb");
    // A bad escape is a usage error and writes nothing.
    EXPECT_EQ(Kxtool("replace a '^4x' " + Q(Small) + " --out " + Q(Dir.File("bad.txt"))), 2);
    EXPECT_FALSE(FileExists(Dir.File("bad.txt")));
}

TEST(KxtoolReplaceTest, FlowJoinsParagraphsAndWraps) {
    test::TTempDir Dir;
    const std::string In = Dir.File("in.txt");
    const std::string Out = Dir.File("out.txt");
    test::WriteFile(In, "one\r\ntwo\r\n\r\nthree\r\nfour-\r\nfive\r\n");
    ASSERT_EQ(Kxtool("flow " + Q(In) + " --out " + Q(Out)), 0);
    EXPECT_EQ(test::ReadFile(Out), "one two\r\n\r\nthree four-five\r\n");
    ASSERT_EQ(Kxtool("flow " + Q(In) + " --out " + Q(Out) + " --wrap 8"), 0);
    EXPECT_EQ(test::ReadFile(Out), "one two\r\n\r\nthree \r\nfour-\r\nfive\r\n");
}

} // namespace
} // namespace kestrel
