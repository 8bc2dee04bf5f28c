// The coders against each other on random files and against the standard uuencode, uudecode
// and sum commands.
#include "uu_test_util.h"

#include "host/sysutils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <sys/stat.h>

namespace kestrel {
namespace {

std::string RandomBytes(std::mt19937_64& Rng, std::size_t Size) {
    std::string S(Size, '\0');
    for (char& C : S)
        C = static_cast<char>(Rng());
    return S;
}

// Runs a shell command; its standard output, and whether it exited with 0.
std::string Shell(const std::string& Command, bool& Ok) {
    std::string Out;
    FILE* Pipe = ::popen(Command.c_str(), "r");
    if (Pipe == nullptr) {
        Ok = false;
        return Out;
    }
    std::array<char, 4096> Buf;
    for (std::size_t N; (N = std::fread(Buf.data(), 1, Buf.size(), Pipe)) > 0;)
        Out.append(Buf.data(), N);
    Ok = ::pclose(Pipe) == 0;
    return Out;
}

std::string Quote(const std::string& S) {
    return "'" + S + "'";
}

// One file of each size a round trip must survive, then random sizes up to 200,000 bytes, each
// through the encoder (one section or several) and back through the decoder.
TEST(UURoundTripTest, RandomFilesComeBackByteForByte) {
    const char* Env = std::getenv("KESTREL_UU_SEED");
    const std::uint64_t Seed =
        Env != nullptr ? std::strtoull(Env, nullptr, 10) : std::random_device{}();
    SCOPED_TRACE("replay with KESTREL_UU_SEED=" + std::to_string(Seed));
    std::mt19937_64 Rng(Seed);
    std::vector<std::size_t> Sizes = {0, 1, 2, 3, 44, 45, 46, 4499, 4500, 4501};
    for (int I = 0; I < 12; ++I)
        Sizes.push_back(Rng() % 200001);
    test::TTempDir In;
    for (const std::size_t Size : Sizes) {
        SCOPED_TRACE("size " + std::to_string(Size));
        const std::string Bytes = RandomBytes(Rng, Size);
        test::WriteFile(In.File("f"), Bytes);
        const std::int64_t Sections = 1 + static_cast<std::int64_t>(Rng() % 4);
        const std::string Text = test::Encode(In.File("f"), "f", Sections);
        test::TTempDir Out;
        const auto Ends = test::Decode(Text, Out.Path());
        ASSERT_EQ(Ends.size(), 1u);
        EXPECT_EQ(Ends[0].State, udFileChecked);
        EXPECT_EQ(Ends[0].Error, uuNoError);
        ASSERT_EQ(test::ReadFile(Out.File("f")), Bytes);
    }
}

// The standard tools are installed by scripts/setup.sh (sharutils, coreutils).
class UUStandardToolsTest : public ::testing::Test {
protected:
    void SetUp() override {
        bool Ok = false;
        Shell("command -v uuencode && command -v uudecode && command -v sum", Ok);
        ASSERT_TRUE(Ok) << "uuencode, uudecode and sum are needed (scripts/setup.sh)";
        std::mt19937_64 Rng(20240601);
        Bytes = RandomBytes(Rng, 123457);
        test::WriteFile(Dir.File("in.bin"), Bytes);
    }
    test::TTempDir Dir;
    std::string Bytes;
};

TEST_F(UUStandardToolsTest, OurTextDecodesWithUudecode) {
    for (const std::int64_t Sections : {1, 4}) {
        std::string Text = test::Encode(Dir.File("in.bin"), "in.bin", Sections);
        if (Sections > 1) {
            // Parts are joined as a reader joins them: the encoded lines only, without the
            // Section and checksum lines between them.
            std::istringstream Lines(Text);
            std::string Joined, Line;
            while (std::getline(Lines, Line))
                if (Line.rfind("Section ", 0) != 0 && Line.rfind("sum ", 0) != 0)
                    Joined += Line + "\n";
            Text = Joined;
        }
        test::WriteFile(Dir.File("ours.uu"), Text);
        bool Ok = false;
        Shell("uudecode -o " + Quote(Dir.File("out.bin")) + " " + Quote(Dir.File("ours.uu")), Ok);
        ASSERT_TRUE(Ok) << Sections << " sections";
        EXPECT_EQ(test::ReadFile(Dir.File("out.bin")), Bytes) << Sections << " sections";
    }
}

TEST_F(UUStandardToolsTest, UuencodeTextDecodesWithOurs) {
    bool Ok = false;
    const std::string Text = Shell("uuencode " + Quote(Dir.File("in.bin")) + " theirs.bin", Ok);
    ASSERT_TRUE(Ok);
    test::TTempDir Out;
    const auto Ends = test::Decode("Some mail text\n" + Text, Out.Path());
    ASSERT_EQ(Ends.size(), 1u);
    EXPECT_EQ(Ends[0].State, udEnd); // complete; that text carries no checksum lines
    EXPECT_EQ(Ends[0].Error, uuNoError);
    EXPECT_EQ(test::ReadFile(Out.File("theirs.bin")), Bytes);
}

TEST_F(UUStandardToolsTest, OurFileChecksumAgreesWithSum) {
    for (const std::size_t Size : {0, 1, 1023, 1024, 1025, 123457}) {
        test::WriteFile(Dir.File("part.bin"), Bytes.substr(0, Size));
        const std::string Text = test::Encode(Dir.File("part.bin"), "part.bin");
        const std::size_t Sum = Text.rfind("sum -r/size ") + 12;
        const std::string Ours = Text.substr(Sum, Text.find(' ', Sum) - Sum);
        const std::size_t Slash = Ours.find('/');
        bool Ok = false;
        std::istringstream Theirs(Shell("sum -r " + Quote(Dir.File("part.bin")), Ok));
        ASSERT_TRUE(Ok);
        std::int64_t TheirSum = -1, Blocks = -1;
        Theirs >> TheirSum >> Blocks;
        EXPECT_EQ(std::stoll(Ours.substr(0, Slash)), TheirSum) << Size;
        EXPECT_EQ((std::stoll(Ours.substr(Slash + 1)) + 1023) / 1024, Blocks) << Size;
        EXPECT_EQ(std::stoll(Ours.substr(Slash + 1)), static_cast<std::int64_t>(Size));
    }
}

// Lines of random bytes, random cuts of valid text and stray keywords: nothing crashes, and
// nothing is written outside the chosen folder.
TEST(UUBadInputTest, RandomTextNeverEscapesTheFolder) {
    const char* Env = std::getenv("KESTREL_UU_SEED");
    const std::uint64_t Seed =
        Env != nullptr ? std::strtoull(Env, nullptr, 10) : std::random_device{}();
    SCOPED_TRACE("replay with KESTREL_UU_SEED=" + std::to_string(Seed));
    std::mt19937_64 Rng(Seed);
    test::TTempDir Root;
    ::mkdir(Root.File("out").c_str(), 0777);
    test::WriteFile(Root.File("in.bin"), RandomBytes(Rng, 3000));
    std::vector<std::string> Valid;
    {
        std::istringstream Lines(test::Encode(Root.File("in.bin"), "in.bin", 2));
        for (std::string L; std::getline(Lines, L);)
            Valid.push_back(L);
    }
    const std::vector<std::string> Names = {"../up", "/etc/passwd", "..", "a\\..\\b", "ok", ""};
    for (int Round = 0; Round < 100; ++Round) {
        std::string Text;
        const int Count = static_cast<int>(Rng() % 60);
        for (int I = 0; I < Count; ++I) {
            switch (Rng() % 5) {
            case 0:
                Text += RandomBytes(Rng, Rng() % 100);
                break;
            case 1:
                Text += "begin " + std::to_string(Rng() % 800) + " " + Names[Rng() % Names.size()];
                break;
            case 2: {
                std::string L = Valid[Rng() % Valid.size()];
                L.resize(Rng() % (L.size() + 1));
                Text += L;
                break;
            }
            default:
                Text += Valid[Rng() % Valid.size()];
            }
            Text += Rng() % 2 != 0 ? "\n" : "\r\n";
        }
        TUUDecoder Decoder(nullptr);
        Decoder.SetOnStartDecode([](TUUDecoder*, std::string&, bool&) {}); // replace freely
        test::Decode(Decoder, Text, Root.File("out"));
    }
    // Plain files only (no folders made), and no temporary file left behind.
    for (const std::string& Name : test::FilesIn(Root.File("out"))) {
        EXPECT_TRUE(FileExists(Root.File("out/" + Name))) << Name;
        EXPECT_EQ(Name.find(".~"), std::string::npos) << Name;
    }
    std::vector<std::string> Top = test::FilesIn(Root.Path());
    std::sort(Top.begin(), Top.end());
    EXPECT_EQ(Top, (std::vector<std::string>{"in.bin", "out"}));
}

} // namespace
} // namespace kestrel
