// The text viewer on the Qt platform, offscreen: opening a file and showing its first screen
// (the process's start, the Qt application and the first use of the fonts, timed apart), and
// scrolling it by pages and by lines, each step painted. Prints the fastest and the slowest.
//   bench_qt_viewer FILE [ROUNDS]
#include "host/application.h"
#include "host/qt/qt_platform.h"
#include "kxctrls/stream_viewer.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace kestrel;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point From, Clock::time_point To) {
    return std::chrono::duration<double, std::milli>(To - From).count();
}

struct TFigures {
    std::vector<double> Times;
    void Add(double Ms) { Times.push_back(Ms); }
    double Min() const { return *std::min_element(Times.begin(), Times.end()); }
    double Max() const { return *std::max_element(Times.begin(), Times.end()); }
    double Median() const {
        std::vector<double> T = Times;
        std::sort(T.begin(), T.end());
        return T[T.size() / 2];
    }
};

void Print(const char* Label, const TFigures& F) {
    std::printf("  %-44s fastest %8.3f ms   median %8.3f ms   slowest %8.3f ms   (%zu runs)\n",
                Label, F.Min(), F.Median(), F.Max(), F.Times.size());
}

/// Serves the host queue and lets Qt paint the window from its backing image.
void Settle(qt::TQtPlatformScope& Platform) {
    Platform.Queue().Run();
    QCoreApplication::processEvents();
}

void Key(QWidget* Client, qt::TQtPlatformScope& Platform, int Key) {
    QKeyEvent Press(QEvent::KeyPress, Key, Qt::NoModifier);
    QKeyEvent Release(QEvent::KeyRelease, Key, Qt::NoModifier);
    QCoreApplication::sendEvent(Client, &Press);
    QCoreApplication::sendEvent(Client, &Release);
    Settle(Platform);
}

std::unique_ptr<TFileViewer> NewViewer() {
    auto V = std::make_unique<TFileViewer>(nullptr);
    V->GetFont()->SetName("DejaVu Sans Mono");
    V->GetFont()->SetSize(10);
    V->SetAutoIdle(true);
    V->SetBounds(0, 0, 1000, 700);
    return V;
}

} // namespace

int main(int argc, char** argv) {
    const auto Start = Clock::now();
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_qt_viewer FILE [ROUNDS]\n");
        return 2;
    }
    const std::string File = argv[1];
    const int Rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication App(argc, argv);
    const auto AppMade = Clock::now();
    const QTemporaryDir Settings; // nothing is written there; it goes with the run
    auto Platform =
        std::make_unique<qt::TQtPlatformScope>(Settings.filePath("settings.conf").toStdString());
    {
        // The first window and font: Qt's font database is read once per process.
        auto Warm = NewViewer();
        Warm->GetHandle();
        Settle(*Platform);
    }
    const auto Warmed = Clock::now();
    std::printf("Qt platform, offscreen, %s\n", File.c_str());
    std::printf("  %-44s %8.3f ms\n", "process start: Qt application", Ms(Start, AppMade));
    std::printf("  %-44s %8.3f ms\n", "process start: platform, first window and font",
                Ms(AppMade, Warmed));

    TFigures Open, Page, Line;
    for (int R = 0; R < Rounds; ++R) {
        const auto T0 = Clock::now();
        auto V = NewViewer();
        V->GetHandle();
        V->SetFileName(File);
        V->SetFocus();
        Settle(*Platform);
        Open.Add(Ms(T0, Clock::now()));
        if (V->GetTopLine() != 0 || V->GetLinesOnScreen() < 10) {
            std::fprintf(stderr, "the first screen was not shown\n");
            return 1;
        }
        QWidget* Client = Platform->Windows().ClientWidgetOf(V->GetHandle());
        for (int I = 0; I < 10; ++I) {
            const auto P0 = Clock::now();
            Key(Client, *Platform, Qt::Key_PageDown);
            Page.Add(Ms(P0, Clock::now()));
        }
        // The caret to the bottom row: each Down from then on scrolls by one line.
        for (std::int64_t I = 0; I < V->GetLinesOnScreen(); ++I)
            Key(Client, *Platform, Qt::Key_Down);
        for (int I = 0; I < 10; ++I) {
            const auto L0 = Clock::now();
            Key(Client, *Platform, Qt::Key_Down);
            Line.Add(Ms(L0, Clock::now()));
        }
        V.reset();
        Settle(*Platform);
    }
    Print("open the file, show the first screen", Open);
    Print("scroll a page (Page Down, painted)", Page);
    Print("scroll a line (Down on the last row)", Line);
    Application->SetOnIdle(nullptr);
    Platform.reset();
    return 0;
}
