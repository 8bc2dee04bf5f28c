// An encoded file near the end of an 8 GiB text (a sparse file: one line of zero bytes) is found
// by scanning through the container's window, with progress on the way.
#include "../uu_test_util.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

namespace kestrel {
namespace {

TEST(UUHugeTextTest, AFileNearTheEndOfEightGiB) {
    test::TTempDir Dir;
    std::string Bytes;
    for (int I = 0; I < 5000; ++I)
        Bytes += static_cast<char>(I % 253);
    test::WriteFile(Dir.File("small.bin"), Bytes);
    const std::string Encoded = test::Encode(Dir.File("small.bin"), "small.bin");

    const std::int64_t Huge = std::int64_t{8} << 30;
    test::MakeSparseFile(Dir.File("huge.txt"), Huge);
    {
        std::ofstream Append(Dir.File("huge.txt"), std::ios::binary | std::ios::app);
        Append << "\nSubject: at last\n" << Encoded;
    }
    ::mkdir(Dir.File("out").c_str(), 0777);

    TTextStream Text(nullptr);
    Text.SetBufSize(0xFFFF);
    Text.SetSourceStream(std::make_unique<TFileStream>(Dir.File("huge.txt"), fmOpenRead));
    TUUDecoder Decoder(nullptr);
    std::int64_t Reports = 0;
    std::int64_t LastDone = 0;
    Decoder.SetOnBlockDecode([&](TUUBase*, std::int64_t Done, bool&) {
        ++Reports;
        EXPECT_GE(Done, LastDone);
        LastDone = Done;
    });
    Decoder.SetDirectory(Dir.File("out"));
    std::vector<test::TDecoded> Found;
    Decoder.SetOnEndDecode(
        [&](TUUDecoder*, TUdStates State, TUUErrors Error, const std::string& Name) {
            Found.push_back({State, Error, Name});
        });
    Decoder.UUDecode(&Text, 0);
    ASSERT_EQ(Found.size(), 1u);
    EXPECT_EQ(Found[0].State, udFileChecked);
    EXPECT_EQ(Found[0].Error, uuNoError);
    EXPECT_EQ(test::ReadFile(Dir.File("out/small.bin")), Bytes);
    EXPECT_GT(Reports, 8000); // every MiB of the long line, then every line
    EXPECT_EQ(LastDone, Text.GetTextSize());
}

} // namespace
} // namespace kestrel
