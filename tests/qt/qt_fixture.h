// Hosts components on the Qt platform for tests: a fresh platform scope (settings in a
// temporary folder), a viewer over a text in memory, and message pumping.
#pragma once

#include "host/application.h"
#include "host/qt/qt_platform.h"
#include "host/streams.h"
#include "kxctrls/stream_viewer.h"
#include "support/test_support.h"

#include <QCoreApplication>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kestrel::test {

/// Makes Viewer's client area exactly Rows lines of its font high (the scroll bars are shown
/// as they come, so a few passes may be needed).
template <typename V> void FitRows(V& Viewer, int Rows) {
    for (int Attempt = 0; Attempt < 4; ++Attempt) {
        const int Want = Rows * static_cast<int>(Viewer.GetCharHeight());
        const int Have = Viewer.GetClientHeight();
        if (Have == Want)
            return;
        Viewer.SetBounds(Viewer.GetLeft(), Viewer.GetTop(), Viewer.GetWidth(),
                         Viewer.GetHeight() + Want - Have);
    }
}

/// Shows Text from its start in Viewer (a memory stream the viewer owns).
inline void ShowText(TStreamViewer& Viewer, const std::string& Text) {
    auto S = std::make_unique<TMemoryStream>();
    if (!Text.empty())
        S->WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
    S->SetPosition(0);
    Viewer.SetSourceStream(std::move(S));
}

class QtFixture : public ::testing::Test {
protected:
    void SetUp() override {
        Platform = std::make_unique<qt::TQtPlatformScope>(Dir.File("settings.conf"));
        Application->SetOnException(
            [this](TObject*, const std::exception& E) { Reported.push_back(E.what()); });
    }
    void TearDown() override {
        V.reset();
        Application->SetOnIdle(nullptr);
        Application->SetOnException(nullptr);
        Application->ResetTerminated();
        Platform.reset();
        QCoreApplication::processEvents(); // widgets retired by the windows go
    }

    /// A focused stream viewer of Rows lines, 480 pixels wide, showing Text; AutoIdle: the
    /// line count runs in idle time while it has the focus.
    void MakeViewer(const std::string& Text, int Rows = 10, bool AutoIdle = false) {
        V = std::make_unique<TStreamViewer>(nullptr);
        V->SetAutoIdle(AutoIdle);
        V->GetFont()->SetName("DejaVu Sans Mono");
        V->GetFont()->SetSize(10);
        V->SetBounds(20, 20, 480, 200);
        V->GetHandle();
        ShowText(*V, Text);
        FitRows(*V, Rows);
        V->SetFocus();
        Pump();
    }

    /// Serves the host queue and lets Qt deliver what waits (paints included).
    void Pump() {
        for (int I = 0; I < 2; ++I) {
            Platform->Queue().Run();
            QCoreApplication::processEvents();
        }
    }

    QWidget* Client() { return Platform->Windows().ClientWidgetOf(V->GetHandle()); }

    TTempDir Dir;
    std::unique_ptr<qt::TQtPlatformScope> Platform;
    std::unique_ptr<TStreamViewer> V;
    std::vector<std::string> Reported; // exceptions the application was told of
};

} // namespace kestrel::test
