// kxtool uuencode and uudecode end to end: a file through both commands, several sections,
// reports and exit codes.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

namespace kestrel {
namespace {

// Runs kxtool with Args (quoted for the shell); its standard output and exit status.
std::pair<int, std::string> Kxtool(const std::string& Args) {
    const std::string Command = std::string(KXTOOL_PATH) + " " + Args + " 2>/dev/null";
    std::string Out;
    FILE* Pipe = ::popen(Command.c_str(), "r");
    if (Pipe == nullptr)
        return {-1, Out};
    std::array<char, 4096> Buf;
    for (std::size_t N; (N = std::fread(Buf.data(), 1, Buf.size(), Pipe)) > 0;)
        Out.append(Buf.data(), N);
    const int Raw = ::pclose(Pipe);
    return {WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1, Out};
}

std::string Q(const std::string& S) {
    return "'" + S + "'";
}

TEST(KxtoolUUCodeTest, FilesGoThroughBothCommands) {
    test::TTempDir Dir;
    std::string Bytes;
    for (int I = 0; I < 20000; ++I)
        Bytes += static_cast<char>(I * 13 % 256);
    test::WriteFile(Dir.File("in.bin"), Bytes);
    ::mkdir(Dir.File("out").c_str(), 0777);

    EXPECT_EQ(Kxtool("uuencode " + Q(Dir.File("in.bin")) + " --out " + Q(Dir.File("one.uu"))).first,
              0);
    EXPECT_EQ(Kxtool("uuencode " + Q(Dir.File("in.bin")) + " --out " + Q(Dir.File("three.uu")) +
                     " --sections 3 --name other.bin")
                  .first,
              0);
    const std::string Three = test::ReadFile(Dir.File("three.uu"));
    EXPECT_NE(Three.find("Section 3 of other.bin\r\n"), std::string::npos);
    EXPECT_EQ(Three.find("Section 4"), std::string::npos);

    test::WriteFile(Dir.File("mail.txt"),
                    "Two files:\n" + test::ReadFile(Dir.File("one.uu")) + "and\n" + Three);
    const auto Decoded =
        Kxtool("uudecode " + Q(Dir.File("mail.txt")) + " --dir " + Q(Dir.File("out")));
    EXPECT_EQ(Decoded.first, 0);
    EXPECT_EQ(Decoded.second, Dir.File("out") + "/in.bin: complete, checksums verified\n" +
                                  Dir.File("out") + "/other.bin: complete, checksums verified\n");
    EXPECT_EQ(test::ReadFile(Dir.File("out/in.bin")), Bytes);
    EXPECT_EQ(test::ReadFile(Dir.File("out/other.bin")), Bytes);

    // Existing files stay unless --overwrite; a text without encoded files finds nothing.
    test::WriteFile(Dir.File("out/in.bin"), "mine");
    EXPECT_EQ(Kxtool("uudecode " + Q(Dir.File("one.uu")) + " --dir " + Q(Dir.File("out"))).first,
              3);
    EXPECT_EQ(test::ReadFile(Dir.File("out/in.bin")), "mine");
    EXPECT_EQ(Kxtool("uudecode " + Q(Dir.File("one.uu")) + " --dir " + Q(Dir.File("out")) +
                     " --overwrite")
                  .first,
              0);
    EXPECT_EQ(test::ReadFile(Dir.File("out/in.bin")), Bytes);
    EXPECT_EQ(Kxtool("uudecode " + Q(Dir.File("in.bin")) + " --dir " + Q(Dir.File("out"))).first,
              1);
    EXPECT_EQ(Kxtool("uuencode " + Q(Dir.File("in.bin"))).first, 2);
    EXPECT_EQ(Kxtool("uuencode " + Q(Dir.File("missing")) + " --out x").first, 3);
    std::vector<std::string> Files = test::FilesIn(Dir.File("out"));
    std::sort(Files.begin(), Files.end());
    EXPECT_EQ(Files, (std::vector<std::string>{"in.bin", "other.bin"}));
}

} // namespace
} // namespace kestrel
