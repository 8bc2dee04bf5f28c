// kxedit: opens a file in an editor (or viewer) window on the Qt 6 platform; or, with
// --screenshot, --print or --save, renders the window or pages offscreen or saves the edited
// text, and exits.
#include "main_window.h"
#include "options.h"

#include "host/application.h"
#include "host/printers.h"
#include "host/qt/qt_platform.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>

using namespace kestrel;

namespace {

int Batch(kxedit::TMainWindow& Window, qt::TQtPlatformScope& Platform,
          const kxedit::TOptions& Options, bool& Failed) {
    Window.show();
    Window.Settle();
    if (!Window.Open(Options.FileName))
        Failed = true;
    Window.Settle();
    if (Options.GotoLine)
        Window.GotoLine(*Options.GotoLine);
    if (!Options.Keys.empty())
        Window.TypeKeys(Options.Keys);
    Window.Settle();
    if (Options.Save && !Window.Save())
        return 3;
    if (!Options.SaveAs.empty() && !Window.SaveAs(Options.SaveAs))
        return 3;
    if (Options.Exact)
        Window.WaitForCount();
    if (!Options.Screenshot.empty()) {
        QImage Image;
        if (Options.GrabScreen) {
            Window.raise();
            Window.activateWindow();
            Window.Settle();
            QScreen* Screen = QGuiApplication::primaryScreen();
            Image = Screen != nullptr ? Screen->grabWindow(0).toImage() : QImage();
        } else {
            Platform.Windows().Grab(Window.Viewer().GetHandle()); // the caret's blink: shown
            Image = Window.grab().toImage();
        }
        if (Image.isNull() || !Image.save(QString::fromStdString(Options.Screenshot), "PNG")) {
            std::cerr << "kxedit: cannot write " << Options.Screenshot << '\n';
            return 3;
        }
        std::cout << Options.Screenshot << ": " << Window.StatusText().toStdString() << '\n';
    }
    if (!Options.PrintTo.empty()) {
        if (!Window.PrintToPdf(Options.PrintTo, Options.FromPage, Options.ToPage))
            return 3;
        std::cout << Options.PrintTo << ": " << Platform.Graphics().GetPrinter().GetPagesPrinted()
                  << " pages\n";
    }
    return Failed ? 1 : 0;
}

/// Qt's notes that do not concern a batch run (the offscreen platform cannot size a window
/// to hints; a root session has no runtime folder) are left out of its output.
void QuietMessages(QtMsgType Type, const QMessageLogContext& Context, const QString& Message) {
    if (Message.contains(QStringLiteral("propagateSizeHints")) ||
        Message.startsWith(QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    std::cerr << qPrintable(qFormatLogMessage(Type, Context, Message)) << '\n';
}

} // namespace

int main(int argc, char** argv) {
    kxedit::TOptions Options;
    try {
        Options = kxedit::ParseOptions(argc - 1, argv + 1);
    } catch (const std::invalid_argument& E) {
        if (*E.what() != '\0')
            std::cerr << "kxedit: " << E.what() << "\n\n";
        std::cerr << kxedit::Usage();
        return *E.what() != '\0' ? 2 : 0;
    }
    // A batch run needs no display.
    if (Options.Batch()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(QuietMessages);
    }
    QApplication App(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kxedit"));
    QApplication::setOrganizationName(QStringLiteral("Kestrel"));

    qt::TQtPlatformScope Platform;
    bool Failed = false;
    if (Options.Batch()) {
        // No user to answer boxes: their text goes to the standard error stream.
        Platform.Dialogs().SetMessageDlgHandler(
            [&Failed](const std::string& Msg, TMsgDlgType, TMsgDlgButtons) {
                std::cerr << "kxedit: " << Msg << '\n';
                Failed = true;
                return mrOk;
            });
    }
    int Result = 0;
    {
        kxedit::TMainWindow Window(Platform, Options);
        try {
            if (Options.Batch()) {
                Result = Batch(Window, Platform, Options, Failed);
            } else {
                Window.show();
                if (!Options.FileName.empty())
                    Window.Open(Options.FileName);
                Result = QApplication::exec();
            }
        } catch (const std::exception& E) {
            std::cerr << "kxedit: " << E.what() << '\n';
            Result = 2;
        }
    }
    Application->SetOnIdle(nullptr);
    return Result;
}
