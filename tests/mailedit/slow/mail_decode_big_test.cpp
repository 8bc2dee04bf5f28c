// UUDecode through the mail editor finds a small attachment at the end of a 256 MB mail,
// reading the text through the editor's window, not into memory.
#include "host/application.h"
#include "host/headless/headless_platform.h"
#include "mailedit/mailedit.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>

namespace kestrel::test {
namespace {

std::int64_t PeakKiB() {
    rusage Usage{};
    getrusage(RUSAGE_SELF, &Usage);
    return Usage.ru_maxrss;
}

TEST(MailDecodeBigTest, AnAttachmentNearTheEndOfAHugeMail) {
    headless::THeadlessPlatformScope Platform;
    TTempDir Dir;
    const std::string Payload = "the attachment\r\n\x01\x02\xFF";
    WriteFile(Dir.File("payload"), Payload);
    std::string Encoded;
    {
        TMailEditor Encoder(nullptr);
        Encoder.SetBounds(0, 0, 600, 200);
        ASSERT_EQ(Encoder.UUEncode(Dir.File("payload"), "../found.bin"), erOK);
        Encoded = Encoder.GetBuffer()->GetString(0, Encoder.GetTextSize());
    }
    const std::string Mail = Dir.File("mail.txt");
    constexpr std::int64_t Size = 256LL << 20;
    {
        // Lines of text, as the screen shows them (a sparse file's one line of zero bytes would
        // be drawn whole by the test platform's recorder).
        std::string Block;
        while (Block.size() < (1 << 20))
            Block += std::string(1022, 'q') + "\r\n";
        Block.resize(1 << 20);
        std::ofstream Out(Mail, std::ios::binary);
        for (std::int64_t Written = 0; Written < Size; Written += 1 << 20)
            Out << Block;
        Out << "\r\nmore text\r\n" << Encoded << "-- \r\nbye";
    }
    const std::string Folder = Dir.File("out");
    ::mkdir(Folder.c_str(), 0777);

    const std::int64_t Before = PeakKiB();
    {
        TMailEditor E(nullptr);
        E.SetBounds(0, 0, 400, 300);
        E.SetFileName(Mail);
        E.SetDecodeDirectory(Folder);
        std::int64_t Reports = 0;
        std::int64_t Last = 0;
        E.SetOnProgressEvent([&](TLinesViewer*, std::int64_t Done, std::int64_t, bool&) {
            EXPECT_GE(Done, Last);
            Last = Done;
            ++Reports;
        });
        E.UUDecode();
        EXPECT_GT(Reports, 250000); // one report a line
        EXPECT_FALSE(E.GetModified());
    }
    EXPECT_LT(PeakKiB() - Before, 64 * 1024) << "the text was read into memory";
    EXPECT_EQ(ReadFile(Folder + "/found.bin"), Payload);
    EXPECT_EQ(FilesIn(Folder).size(), 1u);
    Application->SetOnIdle(nullptr);
}

} // namespace
} // namespace kestrel::test
