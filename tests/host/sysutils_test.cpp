// Integer conversions, file names, file routines, attributes, global memory and the OEM table.
#include "host/exceptions.h"
#include "host/global_memory.h"
#include "host/oem.h"
#include "host/sysutils.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

namespace kestrel {
namespace {

TEST(SysUtilsTest, StrToIntAcceptsDecimalAndHexAndRefusesTheRestByName) {
    EXPECT_EQ(StrToInt("42"), 42);
    EXPECT_EQ(StrToInt("  -17"), -17);
    EXPECT_EQ(StrToInt("+8"), 8);
    EXPECT_EQ(StrToInt("$ff"), 255);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_EQ(StrToInt("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(StrToInt("-9223372036854775808"), INT64_MIN);
    for (const char* Bad : {"", " ", "12a", "1 ", "9223372036854775808", "-", "$", "0x"}) {
        try {
            StrToInt(Bad);
            ADD_FAILURE() << "accepted '" << Bad << "'";
        } catch (const EConvertError& E) {
            EXPECT_EQ(E.GetMessage(), std::string("'") + Bad + "' is not a valid integer value");
        }
    }
    EXPECT_EQ(StrToIntDef("x", 5), 5);
    EXPECT_EQ(IntToStr(-(std::int64_t{1} << 40)), "-1099511627776");
}

TEST(SysUtilsTest, FileNamePartsAndExtensions) {
    EXPECT_EQ(ExtractFilePath("/a/b.c/name.txt"), "/a/b.c/");
    EXPECT_EQ(ExtractFilePath("name.txt"), "");
    EXPECT_EQ(ExtractFileName("/a/b.c/name.txt"), "name.txt");
    EXPECT_EQ(ExtractFileExt("/a/b.c/name.tar.gz"), ".gz");
    EXPECT_EQ(ExtractFileExt("/a/b.c/name"), "");
    EXPECT_EQ(ChangeFileExt("/a/b.c/name.txt", ".BAK"), "/a/b.c/name.BAK");
    EXPECT_EQ(ChangeFileExt("/a/b.c/name", ".$$$"), "/a/b.c/name.$$$");
    EXPECT_EQ(ChangeFileExt("name.txt", ""), "name");
}

TEST(SysUtilsTest, DeleteRenameReplaceAndExistence) {
    test::TTempDir Dir;
    const std::string A = Dir.File("a"), B = Dir.File("b");
    test::WriteFile(A, "A");
    test::WriteFile(B, "B");
    EXPECT_TRUE(FileExists(A));
    EXPECT_FALSE(FileExists(Dir.Path()));
    EXPECT_TRUE(DirectoryExists(Dir.Path()));
    EXPECT_FALSE(RenameFile(A, B)); // never replaces
    EXPECT_EQ(test::ReadFile(B), "B");
    EXPECT_TRUE(ReplaceFile(A, B));
    EXPECT_EQ(test::ReadFile(B), "A");
    EXPECT_FALSE(FileExists(A));
    EXPECT_TRUE(RenameFile(B, A));
    EXPECT_TRUE(DeleteFile(A));
    EXPECT_FALSE(DeleteFile(A));
}

TEST(SysUtilsTest, ReadOnlyAttributeFollowsTheWriteBits) {
    test::TTempDir Dir;
    const std::string F = Dir.File("f.txt");
    test::WriteFile(F, "x");
    EXPECT_EQ(FileGetAttr(F) & faReadOnly, 0);
    EXPECT_EQ(FileSetAttr(F, faReadOnly), 0);
    EXPECT_NE(FileGetAttr(F) & faReadOnly, 0);
    EXPECT_EQ(::access(F.c_str(), W_OK) == 0, ::geteuid() == 0); // only root writes it now
    EXPECT_EQ(FileSetAttr(F, 0), 0);
    EXPECT_EQ(FileGetAttr(F) & faReadOnly, 0);
    EXPECT_NE(FileGetAttr(Dir.Path()) & faDirectory, 0);
    test::WriteFile(Dir.File(".hidden"), "");
    EXPECT_NE(FileGetAttr(Dir.File(".hidden")) & faHidden, 0);
    EXPECT_EQ(FileGetAttr(Dir.File("missing")), -1);
    EXPECT_NE(FileSetAttr(Dir.File("missing"), 0), 0);
}

TEST(SysUtilsTest, TempPathAndProgramPath) {
    EXPECT_EQ(GetTempPath().back(), '/');
    EXPECT_TRUE(DirectoryExists(GetTempPath()));
    EXPECT_TRUE(FileExists(ParamStr(0)));
    EXPECT_NE(ExtractFileName(ParamStr(0)).find("test_host"), std::string::npos);
}

TEST(GlobalMemoryTest, BlocksLockUnlockAndFree) {
    HGLOBAL H = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 100);
    ASSERT_NE(H, nullptr);
    EXPECT_EQ(GlobalSize(H), 100);
    auto* P = static_cast<char*>(GlobalLock(H));
    ASSERT_NE(P, nullptr);
    EXPECT_EQ(std::memcmp(P, std::string(100, '\0').data(), 100), 0);
    EXPECT_EQ(GlobalLock(H), P);
    EXPECT_TRUE(GlobalUnlock(H)); // still locked once
    EXPECT_FALSE(GlobalUnlock(H));
    EXPECT_FALSE(GlobalUnlock(H)); // not locked at all
    EXPECT_EQ(GlobalFree(H), nullptr);
    EXPECT_EQ(GlobalFree(H), H); // a stale handle is refused, not used
    EXPECT_EQ(GlobalLock(H), nullptr);
    EXPECT_EQ(GlobalSize(H), 0);
    EXPECT_EQ(GlobalAlloc(GHND, -1), nullptr);

    HGLOBAL Empty = GlobalAlloc(GHND, 0);
    EXPECT_NE(GlobalLock(Empty), nullptr);
    GlobalUnlock(Empty);
    {
        TGlobalHandleGuard Guard(Empty);
        TGlobalLockGuard Locked(Guard.Get());
        EXPECT_NE(Locked.Get(), nullptr);
    }
    EXPECT_EQ(GlobalSize(Empty), 0);
    EXPECT_EQ(GlobalFree(Empty), Empty); // the guard freed it
}

TEST(OemTest, CodePage437BecomesWindows1252) {
    for (int B = 0; B < 128; ++B)
        EXPECT_EQ(OemToAnsiChar(static_cast<std::uint8_t>(B)), B);
    EXPECT_EQ(OemToAnsiChar(0x82), 0xE9); // e acute
    EXPECT_EQ(OemToAnsiChar(0x9F), 0x83); // florin
    EXPECT_EQ(OemToAnsiChar(0xE1), 0xDF); // sharp s
    EXPECT_EQ(OemToAnsiChar(0xC4), '-');  // box drawing, best fit
    EXPECT_EQ(OemToAnsiChar(0xB3), '|');
    EXPECT_EQ(OemToAnsiChar(0xC5), '+');
    EXPECT_EQ(OemToAnsiChar(0xFF), 0xA0); // no-break space
    std::string Text = "\x80\x9A x";
    OemToCharBuffA(Text.data(), Text.data(), 4);
    EXPECT_EQ(Text, "\xC7\xDC x");
}

} // namespace
} // namespace kestrel
