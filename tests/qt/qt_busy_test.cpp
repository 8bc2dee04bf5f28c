// Work in idle time and long operations on the Qt platform: the line count runs to its end from
// Qt's loop, Escape typed while a search runs stops it, and a file that shrinks under the viewer
// is reported, not a crash.
#include "qt_fixture.h"

#include "support/testdata/generated_text.h"

#include <QTest>
#include <QTimer>

#include <chrono>
#include <filesystem>

namespace kestrel::test {
namespace {

class QtBusyTest : public QtFixture {};

TEST_F(QtBusyTest, TheLineCountRunsToItsEndInIdleTimeFromQtsLoop) {
    std::string Text;
    for (int I = 0; I < 20000; ++I)
        Text += "line " + std::to_string(I) + "\n";
    MakeViewer(Text, 10, true);
    EXPECT_FALSE(V->GetCountComplete()) << "a long text is estimated first";
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return V->GetCountComplete() && !V->GetLineNumbersPending(); }, 20000));
    EXPECT_EQ(V->GetLastLine(), 20000); // the empty line after the last line break
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Platform->Queue().IdlePending(); }, 2000))
        << "idle stops once the count is done";
}

TEST_F(QtBusyTest, EscapeTypedDuringASearchStopsIt) {
    V = std::make_unique<TStreamViewer>(nullptr);
    V->GetFont()->SetName("DejaVu Sans Mono");
    V->SetBounds(0, 0, 400, 300);
    V->GetHandle();
    V->SetSourceStream(std::make_unique<testdata::TGeneratedTextStream>(std::int64_t{4} << 30));
    V->SetFocus();
    Pump();
    int Reports = 0;
    V->SetOnProgressEvent([&](TLinesViewer*, std::int64_t, std::int64_t, bool&) {
        if (++Reports == 2) // the search runs: the user presses Escape
            QTimer::singleShot(0, [this] { QTest::keyClick(Client(), Qt::Key_Escape); });
    });
    const auto Start = std::chrono::steady_clock::now();
    EXPECT_FALSE(V->Find(nullptr, "no such text in the generated lines", TFindOptions{frDown}));
    const double Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    EXPECT_LT(Seconds, 20.0) << "4 GiB were not searched to the end";
    EXPECT_GE(Reports, 2);
    EXPECT_FALSE(V->GetState().Contains(vsBusy));
    EXPECT_FALSE(V->GetState().Contains(vsSearching));
}

TEST_F(QtBusyTest, AFileThatShrinksWhileShownIsReportedNotACrash) {
    std::string Text;
    for (int I = 0; I < 50000; ++I)
        Text += "line " + std::to_string(I) + " of the file that will shrink\n";
    const std::string Name = Dir.File("shrinks.txt");
    WriteFile(Name, Text);
    auto Viewer = std::make_unique<TFileViewer>(nullptr);
    Viewer->GetFont()->SetName("DejaVu Sans Mono");
    Viewer->SetBounds(0, 0, 400, 300);
    Viewer->GetHandle();
    Viewer->SetFileName(Name);
    Viewer->SetFocus();
    Pump();
    std::filesystem::resize_file(Name, 100);
    QWidget* C = Platform->Windows().ClientWidgetOf(Viewer->GetHandle());
    QTest::keyClick(C, Qt::Key_End, Qt::ControlModifier);
    Pump();
    QCoreApplication::processEvents();
    ASSERT_FALSE(Reported.empty());
    EXPECT_NE(Reported[0].find("shrinks.txt"), std::string::npos) << Reported[0];
    // The window still answers.
    QTest::keyClick(C, Qt::Key_Home, Qt::ControlModifier);
    Pump();
    Viewer.reset();
}

} // namespace
} // namespace kestrel::test
