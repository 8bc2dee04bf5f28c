// kxedit as a user runs it: offscreen screenshots and pages, a file that cannot be opened, and
// a real X window (under xvfb-run) whose screen is grabbed.
#include "support/test_support.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace kestrel::test {
namespace {

struct TRun {
    int Status = -1;
    std::string Output; // standard output and error
};

TRun RunCommand(const std::string& Command) {
    TRun R;
    if (FILE* P = ::popen((Command + " 2>&1").c_str(), "r")) {
        char Buffer[4096];
        for (std::size_t N; (N = std::fread(Buffer, 1, sizeof Buffer, P)) > 0;)
            R.Output.append(Buffer, N);
        const int Raw = ::pclose(P);
        R.Status = WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1;
    }
    return R;
}

/// The program, run with the leak suppressions of Qt's libraries (when it is sanitized).
std::string Kxedit() {
    return std::string("env LSAN_OPTIONS=suppressions='") + KESTREL_LSAN_SUPPRESSIONS + "' '" +
           KXEDIT_PATH + "'";
}

std::string SampleFile(const TTempDir& Dir) {
    std::string Text;
    for (int I = 1; I <= 5000; ++I)
        Text += "line " + std::to_string(I) + ": the quick brown fox\tjumps over the lazy dog\n";
    const std::string Name = Dir.File("sample.txt");
    WriteFile(Name, Text);
    return Name;
}

/// Runs of rows in Area that hold dark pixels (text lines, inverted selections).
int DarkBands(const QImage& Image, const QRect& Area) {
    int Bands = 0;
    bool In = false;
    for (int Y = Area.top(); Y <= Area.bottom(); ++Y) {
        int Dark = 0;
        for (int X = Area.left(); X <= Area.right(); ++X)
            Dark += qGray(Image.pixel(X, Y)) < 90;
        const bool Now = Dark >= 3;
        Bands += Now && !In;
        In = Now;
    }
    return Bands;
}

TEST(KxeditTest, AScreenshotRunShowsTheTextWhereTheKeysLeftIt) {
    TTempDir Dir;
    const std::string File = SampleFile(Dir);
    const std::string Png = Dir.File("shot.png");
    const TRun R = RunCommand(Kxedit() + " '" + File + "' --screenshot '" + Png +
                              "' --size 800x500 --goto 100 --keys 'Down Shift+Down Shift+End'");
    ASSERT_EQ(R.Status, 0) << R.Output;
    EXPECT_NE(R.Output.find("Ln 102, Col "), std::string::npos) << R.Output;
    EXPECT_NE(R.Output.find(" lines"), std::string::npos) << R.Output;
    QImage Image(QString::fromStdString(Png));
    ASSERT_FALSE(Image.isNull());
    EXPECT_EQ(Image.size(), QSize(800, 500));
    EXPECT_GE(DarkBands(Image, QRect(0, 40, 600, 380)), 15) << "rows of text in the window";

    // The count runs in idle time from Qt's loop until every number is exact.
    const TRun Exact =
        RunCommand(Kxedit() + " '" + File + "' --screenshot '" + Png + "' --exact --keys Ctrl+End");
    ASSERT_EQ(Exact.Status, 0) << Exact.Output;
    EXPECT_NE(Exact.Output.find("Ln 5 001, Col 1 | 5 001 lines |"), std::string::npos)
        << Exact.Output;
}

TEST(KxeditTest, KeysEditTheFileAndSaveKeepsTheOldOneAsItsBackup) {
    TTempDir Dir;
    const std::string File = Dir.File("a.txt");
    WriteFile(File, "first line\nsecond line\nthird\n");
    const std::string Png = Dir.File("shot.png");
    const TRun R =
        RunCommand(Kxedit() + " '" + File + "' --keys 'Down End Space Shift+H i Return x' --save " +
                   "--screenshot '" + Png + "'");
    ASSERT_EQ(R.Status, 0) << R.Output;
    EXPECT_NE(R.Output.find("Ln 3, Col 2"), std::string::npos) << R.Output;
    EXPECT_NE(R.Output.find("INS"), std::string::npos) << R.Output;
    EXPECT_EQ(R.Output.find("Modified"), std::string::npos) << "saved: " << R.Output;
    EXPECT_EQ(ReadFile(File), "first line\nsecond line Hi\r\nx\nthird\n");
    EXPECT_EQ(ReadFile(Dir.File("a.BAK")), "first line\nsecond line\nthird\n");

    // Save as another name leaves the file alone; a viewer refuses to save.
    const std::string Copy = Dir.File("copy.txt");
    const TRun As =
        RunCommand(Kxedit() + " '" + File + "' --keys 'Ctrl+End y' --save-as '" + Copy + "'");
    ASSERT_EQ(As.Status, 0) << As.Output;
    EXPECT_EQ(ReadFile(Copy), "first line\nsecond line Hi\r\nx\nthird\ny");
    EXPECT_EQ(ReadFile(File), "first line\nsecond line Hi\r\nx\nthird\n");
    EXPECT_EQ(RunCommand(Kxedit() + " '" + File + "' --view --save").Status, 2);
}

TEST(KxeditTest, AFileThatCannotBeOpenedIsReportedAndTheWindowStays) {
    TTempDir Dir;
    const std::string Png = Dir.File("empty.png");
    const TRun R =
        RunCommand(Kxedit() + " '" + Dir.File("missing.txt") + "' --screenshot '" + Png + "'");
    EXPECT_EQ(R.Status, 1) << R.Output;
    EXPECT_NE(R.Output.find("missing.txt"), std::string::npos) << R.Output;
    EXPECT_FALSE(QImage(QString::fromStdString(Png)).isNull()) << "the window was still drawn";
    EXPECT_EQ(RunCommand(Kxedit() + " --size 1x1 x").Status, 2);
}

TEST(KxeditTest, PrintingWritesTheFirstPagesAsPdf) {
    TTempDir Dir;
    const std::string File = SampleFile(Dir);
    const std::string Pdf = Dir.File("pages.pdf");
    const TRun R = RunCommand(Kxedit() + " '" + File + "' --print '" + Pdf + "' --pages 2-3");
    ASSERT_EQ(R.Status, 0) << R.Output;
    EXPECT_NE(R.Output.find("2 pages"), std::string::npos) << R.Output;
    const TRun Text = RunCommand("pdftotext '" + Pdf + "' -");
    EXPECT_NE(Text.Output.find("sample.txt"), std::string::npos);
    const std::size_t First = Text.Output.find("line ");
    ASSERT_NE(First, std::string::npos);
    // Page 2 starts after the lines of page 1, which are not printed.
    EXPECT_NE(Text.Output.compare(First, 7, "line 1:"), 0) << Text.Output.substr(0, 200);
    EXPECT_EQ(Text.Output.find("line 1:"), std::string::npos);
}

TEST(KxeditTest, ARealXWindowIsDrawnOnTheScreen) {
    if (RunCommand("command -v xvfb-run").Status != 0)
        GTEST_SKIP() << "xvfb-run is not installed (scripts/setup.sh installs it)";
    TTempDir Dir;
    const std::string File = SampleFile(Dir);
    const std::string Png = Dir.File("screen.png");
    const TRun R = RunCommand("xvfb-run -a -s '-screen 0 1024x768x24' env QT_QPA_PLATFORM=xcb " +
                              Kxedit() + " '" + File + "' --screenshot '" + Png +
                              "' --grab-screen --size 700x500 --keys 'Down Down Shift+Down'");
    ASSERT_EQ(R.Status, 0) << R.Output;
    QImage Screen(QString::fromStdString(Png));
    ASSERT_FALSE(Screen.isNull());
    EXPECT_EQ(Screen.size(), QSize(1024, 768));
    EXPECT_GE(DarkBands(Screen, QRect(0, 0, 700, 500)), 15) << "the window's text on the screen";
}

} // namespace
} // namespace kestrel::test
