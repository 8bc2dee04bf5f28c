// SaveFileSafely: the target holds either its old bytes or all the new ones, whatever fails.
#include "host/exceptions.h"
#include "host/safe_save.h"
#include "host/sysutils.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

using test::FilesIn;
using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

void WriteText(TStream* S, const std::string& Text) {
    S->WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
}

TEST(SafeSaveTest, ReplacesTheTargetAndKeepsItsPermissions) {
    TTempDir Dir;
    const std::string F = Dir.File("a.txt");
    WriteFile(F, "old text that is longer");
    ::chmod(F.c_str(), 0640);
    SaveFileSafely(F, [](TStream* S) { WriteText(S, "new"); });
    EXPECT_EQ(ReadFile(F), "new");
    struct stat St {};
    ASSERT_EQ(::stat(F.c_str(), &St), 0);
    EXPECT_EQ(St.st_mode & 0777, 0640U);
    EXPECT_EQ(FilesIn(Dir.Path()).size(), 1U) << "no temporary file left";

    // A new file is created the same way.
    SaveFileSafely(Dir.File("b.txt"), [](TStream* S) { WriteText(S, "b"); });
    EXPECT_EQ(ReadFile(Dir.File("b.txt")), "b");
}

TEST(SafeSaveTest, AFailedWriteLeavesTheOldFileAndNoTemporary) {
    TTempDir Dir;
    const std::string F = Dir.File("a.txt");
    WriteFile(F, "precious");
    EXPECT_THROW(SaveFileSafely(F,
                                [](TStream* S) {
                                    WriteText(S, "half of the new te");
                                    throw EWriteError("Stream write error");
                                }),
                 EWriteError);
    EXPECT_EQ(ReadFile(F), "precious");
    EXPECT_EQ(FilesIn(Dir.Path()), std::vector<std::string>{"a.txt"});

    // Nothing there before: nothing there after.
    EXPECT_THROW(SaveFileSafely(Dir.File("new.txt"), [](TStream*) { throw EAbort("x"); }), EAbort);
    EXPECT_FALSE(FileExists(Dir.File("new.txt")));
    EXPECT_EQ(FilesIn(Dir.Path()).size(), 1U);
}

TEST(SafeSaveTest, ReadOnlyFoldersAndLinks) {
    TTempDir Dir;
    const std::string F = Dir.File("ro.txt");
    WriteFile(F, "keep");
    ASSERT_EQ(FileSetAttr(F, faReadOnly), 0);
    EXPECT_THROW(SaveFileSafely(F, [](TStream* S) { WriteText(S, "x"); }), EFCreateError);
    EXPECT_EQ(ReadFile(F), "keep");
    FileSetAttr(F, 0);

    EXPECT_THROW(SaveFileSafely(Dir.Path(), [](TStream* S) { WriteText(S, "x"); }), EFCreateError);
    EXPECT_THROW(SaveFileSafely(Dir.File("missing/x.txt"), [](TStream* S) { WriteText(S, "x"); }),
                 EFCreateError);

    // A link is followed: the file it names gets the new text, the link stays a link.
    const std::string Real = Dir.File("real.txt");
    const std::string Link = Dir.File("link.txt");
    WriteFile(Real, "old");
    ASSERT_EQ(::symlink(Real.c_str(), Link.c_str()), 0);
    SaveFileSafely(Link, [](TStream* S) { WriteText(S, "through the link"); });
    EXPECT_EQ(ReadFile(Real), "through the link");
    struct stat St {};
    ASSERT_EQ(::lstat(Link.c_str(), &St), 0);
    EXPECT_TRUE(S_ISLNK(St.st_mode));
}

TEST(SafeSaveTest, DevicesAndFifosAreWrittenInPlace) {
    TTempDir Dir;
    const std::string Fifo = Dir.File("fifo");
    ASSERT_EQ(::mkfifo(Fifo.c_str(), 0600), 0);
    const int Reader = ::open(Fifo.c_str(), O_RDONLY | O_NONBLOCK); // lets the writer open it
    ASSERT_GE(Reader, 0);
    SaveFileSafely(Fifo, [](TStream* S) { WriteText(S, "through the fifo"); });
    char Got[64] = {};
    EXPECT_EQ(::read(Reader, Got, sizeof Got), 16);
    ::close(Reader);
    EXPECT_STREQ(Got, "through the fifo");
    struct stat St {};
    ASSERT_EQ(::lstat(Fifo.c_str(), &St), 0);
    EXPECT_TRUE(S_ISFIFO(St.st_mode)) << "not replaced by a plain file";
    EXPECT_EQ(FilesIn(Dir.Path()).size(), 1U);
}

TEST(SafeSaveTest, TemporaryNamesLieBesideTheTargetAndAreFresh) {
    TTempDir Dir;
    const std::string F = Dir.File("a.txt");
    const std::string T1 = SafeSaveTempName(F);
    EXPECT_EQ(ExtractFilePath(T1), ExtractFilePath(F));
    WriteFile(T1, "");
    EXPECT_NE(SafeSaveTempName(F), T1);
}

} // namespace
} // namespace kestrel
