// TMainWindow.
#include "main_window.h"

#include "host/application.h"
#include "host/exceptions.h"
#include "host/printers.h"
#include "host/qt/qt_text.h"
#include "host/sysutils.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>

#include <charconv>
#include <stdexcept>

namespace kestrel::kxedit {

namespace {

/// N with its digits in groups of three ("14 237 461").
QString Thousands(std::int64_t N) {
    QString Digits = QString::number(static_cast<qlonglong>(N < 0 ? -N : N));
    for (qsizetype I = Digits.size() - 3; I > 0; I -= 3)
        Digits.insert(I, QLatin1Char(' '));
    return N < 0 ? QLatin1Char('-') + Digits : Digits;
}

/// The text a key types when pressed alone (or with Shift).
QString TextOfKey(int Key, Qt::KeyboardModifiers Modifiers) {
    if (Modifiers.testFlag(Qt::ControlModifier) || Modifiers.testFlag(Qt::AltModifier))
        return {};
    if (Key >= Qt::Key_A && Key <= Qt::Key_Z)
        return QChar(Modifiers.testFlag(Qt::ShiftModifier) ? Key : Key - Qt::Key_A + 'a');
    if (Key >= Qt::Key_Space && Key <= Qt::Key_AsciiTilde)
        return QChar(Key);
    switch (Key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QStringLiteral("\r");
    case Qt::Key_Tab:
        return QStringLiteral("\t");
    case Qt::Key_Backspace:
        return QStringLiteral("\b");
    case Qt::Key_Escape:
        return QStringLiteral("\x1b");
    default:
        return {};
    }
}

} // namespace

TMainWindow::TMainWindow(qt::TQtPlatformScope& Platform, const TOptions& Options)
    : FPlatform(Platform), FOptions(Options) {
    if (Options.ViewOnly) {
        auto Viewer = std::make_unique<TFileViewer>(nullptr);
        FFileViewer = Viewer.get();
        FViewer = std::move(Viewer);
    } else {
        auto Editor = std::make_unique<TFileEditor>(nullptr);
        FEditor = Editor.get();
        FEditor->SetOnSaveModified([this](TObject*, TModalResult& Answer) { AskToSave(Answer); });
        FEditor->SetOnSaveNewFile([this](TObject*) { SaveAsCommand(); });
        FViewer = std::move(Editor);
    }
    FViewer->SetVisible(false);
    FViewer->GetFont()->SetName(Options.Font.empty() ? "DejaVu Sans Mono" : Options.Font);
    FViewer->GetFont()->SetSize(Options.FontSize);
    FViewer->SetAutoIdle(true);
    FViewer->SetSaveMode(smParagraph);
    FViewer->SetBounds(0, 0, Options.Width, Options.Height);
    const HWND Handle = FViewer->GetHandle();
    setCentralWidget(FPlatform.Windows().WidgetOf(Handle));
    FViewer->SetVisible(true);
    FViewer->SetOnCaretMoved([this](TObject*) { RefreshStatus(); });
    FViewer->SetOnStateChange([this](TObject*) {
        RefreshStatus();
        RefreshTitle();
    });
    FViewer->SetOnProgressEvent([this](TLinesViewer*, std::int64_t Done, std::int64_t Total,
                                       bool& Cancel) { Progress(Done, Total, Cancel); });

    FFindDialog = std::make_unique<TFindDialog>(nullptr);
    FFindDialog->SetOnFind([this](TObject*) {
        Command([&] {
            if (!FViewer->Find(FFindDialog.get(), FFindDialog->GetFindText(),
                               FFindDialog->GetOptions()))
                statusBar()->showMessage(QStringLiteral("Cannot find \"%1\"")
                                             .arg(qt::ToQString(FFindDialog->GetFindText())),
                                         4000);
        });
    });

    MakeMenus();
    MakeStatusBar();
    SetWrap(Options.Wrap);
    resize(Options.Width, Options.Height);
    RefreshTitle();
    RefreshStatus();
    QObject::connect(&FStatusTimer, &QTimer::timeout, this, [this] { RefreshStatus(); });
    FStatusTimer.start(250);
    FViewer->SetFocus();
}

TMainWindow::~TMainWindow() {
    FStatusTimer.stop();
    FFindDialog.reset();
    FViewer.reset(); // its window goes before the main window's widgets
}

template <typename F> void TMainWindow::Command(F&& Work) {
    try {
        Work();
    } catch (const std::exception& E) {
        ShowError(E.what());
    }
}

void TMainWindow::ShowError(const std::string& Message) {
    MessageDlg(Message, mtError, TMsgDlgButtons{mbOK}, 0);
}

// ---- menus and status

void TMainWindow::MakeMenus() {
    QMenu* File = menuBar()->addMenu(QStringLiteral("&File"));
    File->addAction(QStringLiteral("&Open..."), QKeySequence::Open, this,
                    [this] { OpenCommand(); });
    QAction* SaveAction =
        File->addAction(QStringLiteral("&Save"), QKeySequence::Save, this, [this] { Save(); });
    SaveAction->setEnabled(FEditor != nullptr); // a viewer has nothing to save over its file
    File->addAction(QStringLiteral("Save &As..."), QKeySequence::SaveAs, this,
                    [this] { SaveAsCommand(); });
    File->addSeparator();
    File->addAction(QStringLiteral("Print to &PDF..."), QKeySequence::Print, this,
                    [this] { PrintPdfCommand(); });
    FPrintAction = File->addAction(QStringLiteral("P&rint..."), this, [this] { PrintCommand(); });
    FPrintAction->setEnabled(!qt::TQtPrinter::SystemPrinters().empty());
    File->addSeparator();
    File->addAction(QStringLiteral("E&xit"), this, [this] { close(); });

    QMenu* Edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    if (FEditor != nullptr) {
        // Ctrl+Z and Shift+Ctrl+Z beside the editor's own keys (Alt+Backspace, Ctrl+R).
        Edit->addAction(QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z), this,
                        [this] { Command([&] { FEditor->Undo(); }); });
        Edit->addAction(QStringLiteral("&Redo"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                        this, [this] { Command([&] { FEditor->Redo(); }); });
        Edit->addSeparator();
    }
    // The keys named here reach the component itself (its key table): the menu only names them.
    Edit->addAction(QStringLiteral("&Copy\tCtrl+C"), this,
                    [this] { Command([&] { FViewer->CopyToClipBoard(); }); });
    Edit->addAction(QStringLiteral("Select &All"), QKeySequence::SelectAll, this,
                    [this] { Command([&] { FViewer->SelectAll(); }); });

    QMenu* Search = menuBar()->addMenu(QStringLiteral("&Search"));
    Search->addAction(QStringLiteral("&Find..."), QKeySequence::Find, this,
                      [this] { FindCommand(); });
    Search->addAction(QStringLiteral("Find &Next"), QKeySequence(Qt::Key_F3), this,
                      [this] { FindNextCommand(); });
    Search->addAction(QStringLiteral("&Go to Line..."), QKeySequence(Qt::CTRL | Qt::Key_G), this,
                      [this] { GotoCommand(); });

    QMenu* View = menuBar()->addMenu(QStringLiteral("&View"));
    FWrapGroup = new QActionGroup(this);
    for (const auto& [Text, Mode] :
         {std::pair{"&No Wrap", "none"}, std::pair{"Wrap to &Window", "window"},
          std::pair{"Wrap at &80 Characters", "80"},
          std::pair{"Wrap to &Printer Page", "printer"}}) {
        QAction* A = View->addAction(QString::fromLatin1(Text));
        A->setCheckable(true);
        A->setData(QString::fromLatin1(Mode));
        FWrapGroup->addAction(A);
        const std::string M = Mode;
        QObject::connect(A, &QAction::triggered, this, [this, M] { Command([&] { SetWrap(M); }); });
    }
    View->addSeparator();
    View->addAction(QStringLiteral("Zoom &In"), QKeySequence::ZoomIn, this, [this] { Zoom(1); });
    View->addAction(QStringLiteral("Zoom &Out"), QKeySequence::ZoomOut, this, [this] { Zoom(-1); });
    View->addAction(QStringLiteral("&Normal Size"), QKeySequence(Qt::CTRL | Qt::Key_0), this,
                    [this] { Zoom(0); });
    QAction* Breaks = View->addAction(QStringLiteral("Show &Line Breaks"));
    Breaks->setCheckable(true);
    QObject::connect(Breaks, &QAction::toggled, this,
                     [this](bool On) { Command([&] { FViewer->SetShowLineBreaks(On); }); });
}

void TMainWindow::MakeStatusBar() {
    FPosition = new QLabel;
    FLines = new QLabel;
    FModified = new QLabel;
    FInsert = new QLabel;
    FProgress = new QProgressBar;
    FProgress->setRange(0, 1000);
    FProgress->setMaximumWidth(200);
    FProgress->hide();
    FCancel = new QPushButton(QStringLiteral("Cancel"));
    FCancel->hide();
    QObject::connect(FCancel, &QPushButton::clicked, this, [this] { FCancelRequested = true; });
    for (QWidget* W : std::initializer_list<QWidget*>{FProgress, FCancel})
        statusBar()->addPermanentWidget(W);
    for (QLabel* L : {FPosition, FLines, FModified, FInsert}) {
        L->setContentsMargins(8, 0, 8, 0);
        statusBar()->addPermanentWidget(L);
    }
}

void TMainWindow::RefreshStatus() {
    if (FViewer == nullptr || FPosition == nullptr)
        return;
    TTextViewer& V = *FViewer;
    FPosition->setText(QStringLiteral("Ln %1, Col %2")
                           .arg(Thousands(V.GetEffectiveLineNumber() + 1))
                           .arg(Thousands(V.GetCharNumber() + 1)));
    const bool Exact = V.GetCountComplete() && !V.GetLineNumbersPending();
    const QString Count = Thousands(V.GetLastLine() + 1);
    FLines->setText(Exact ? QStringLiteral("%1 lines").arg(Count)
                          : QStringLiteral("~%1 lines (counting)").arg(Count));
    const TViewerStates S = V.GetState();
    FModified->setText(S.Contains(vsModified) ? QStringLiteral("Modified") : QString());
    if (FEditor == nullptr || FEditor->GetReadOnly())
        FInsert->setText(QStringLiteral("Read only"));
    else
        FInsert->setText(FEditor->GetInsertOn() ? QStringLiteral("INS") : QStringLiteral("OVR"));
    menuBar()->setEnabled(!S.Contains(vsBusy));
    if (Exact && FStatusTimer.isActive() && !V.GetState().Contains(vsBusy))
        FStatusTimer.setInterval(1000);
}

QString TMainWindow::StatusText() const {
    QStringList Parts;
    for (const QLabel* L : {FPosition, FLines, FModified, FInsert})
        if (!L->text().isEmpty())
            Parts << L->text();
    return Parts.join(QStringLiteral(" | "));
}

const std::string& TMainWindow::FileName() const {
    return FEditor != nullptr ? FEditor->GetFileName() : FFileViewer->GetFileName();
}

void TMainWindow::RefreshTitle() {
    const std::string& Name = FileName();
    const QString Shown =
        Name.empty() ? QStringLiteral("Untitled") : QString::fromStdString(ExtractFileName(Name));
    const bool Modified = FViewer->GetState().Contains(vsModified);
    setWindowTitle(QStringLiteral("%1%2 - kxedit").arg(Modified ? "*" : "", Shown));
}

void TMainWindow::Progress(std::int64_t Done, std::int64_t Total, bool& Cancel) {
    const bool Running = Total > 0 && Done < Total;
    if (Running) {
        FProgress->setValue(static_cast<int>(Done * 1000 / Total));
        FProgress->show();
        FCancel->show();
        FProgress->repaint();
    } else {
        FProgress->hide();
        FCancel->hide();
    }
    Cancel = FCancelRequested;
    if (!Running)
        FCancelRequested = false;
}

void TMainWindow::closeEvent(QCloseEvent* Event) {
    if (FViewer->GetState().Contains(vsBusy)) {
        FCancelRequested = true; // the operation stops first
        Event->ignore();
        return;
    }
    bool Leave = true;
    if (FEditor != nullptr)
        Command([&] { Leave = FEditor->CanClear(); });
    if (Leave)
        Event->accept();
    else
        Event->ignore();
}

void TMainWindow::AskToSave(TModalResult& Answer) {
    const std::string& Name = FileName();
    Answer =
        MessageDlg("Save the changes to " +
                       (Name.empty() ? std::string("the new text") : ExtractFileName(Name)) + "?",
                   mtConfirmation, TMsgDlgButtons{mbYes, mbNo, mbCancel}, 0);
}

// ---- commands

bool TMainWindow::Open(const std::string& FileName) {
    try {
        if (FEditor != nullptr) {
            if (!FEditor->CanClear())
                return false;
            FEditor->SetFileName(FileName);
        } else {
            FFileViewer->SetFileName(FileName);
        }
        FViewer->SetFocus();
        RefreshTitle();
        RefreshStatus();
        return true;
    } catch (const std::exception& E) {
        RefreshTitle();
        RefreshStatus();
        ShowError(E.what());
        return false;
    }
}

void TMainWindow::OpenCommand() {
    const QString Name = QFileDialog::getOpenFileName(this, QStringLiteral("Open"));
    if (!Name.isEmpty())
        Open(Name.toStdString());
}

void TMainWindow::SaveAsCommand() {
    const QString Name = QFileDialog::getSaveFileName(this, QStringLiteral("Save As"));
    if (!Name.isEmpty())
        SaveAs(Name.toStdString());
}

bool TMainWindow::SaveAs(const std::string& Name) {
    bool Done = false;
    Command([&] {
        FViewer->SaveAs(Name);
        Done = true;
        statusBar()->showMessage(QStringLiteral("Saved %1").arg(QString::fromStdString(Name)),
                                 4000);
    });
    RefreshTitle();
    RefreshStatus();
    return Done;
}

bool TMainWindow::Save() {
    if (FEditor == nullptr)
        return false;
    bool Done = false;
    Command([&] {
        FEditor->Save();
        // An unnamed text asks for a name (OnSaveNewFile); a cancelled dialog leaves it modified.
        Done = !FEditor->GetState().Contains(vsModified);
        if (Done)
            statusBar()->showMessage(
                QStringLiteral("Saved %1").arg(QString::fromStdString(FEditor->GetFileName())),
                4000);
    });
    RefreshTitle();
    RefreshStatus();
    return Done;
}

bool TMainWindow::PrintToPdf(const std::string& PdfName, std::int64_t From, std::int64_t To) {
    bool Done = false;
    Command([&] {
        FPlatform.Graphics().GetPrinter().SetOutputFileName(PdfName);
        const std::string Header = ExtractFileName(FileName());
        FViewer->Print(Header, Header, true, FViewer->GetWrapMode() == opPrinter,
                       From > 0 ? prPageNums : prAllPages, From, To);
        Done = !Printer()->GetAborted();
    });
    return Done;
}

void TMainWindow::PrintPdfCommand() {
    QString Suggested = QString::fromStdString(ChangeFileExt(FileName(), ".pdf"));
    const QString Name = QFileDialog::getSaveFileName(
        this, QStringLiteral("Print to PDF"), Suggested, QStringLiteral("PDF files (*.pdf)"));
    if (!Name.isEmpty() && PrintToPdf(Name.toStdString(), 0, 0))
        statusBar()->showMessage(QStringLiteral("Printed to %1").arg(Name), 4000);
}

void TMainWindow::PrintCommand() {
    QStringList Names;
    for (const std::string& N : qt::TQtPrinter::SystemPrinters())
        Names << QString::fromStdString(N);
    if (Names.isEmpty())
        return;
    bool Ok = false;
    const QString Name = QInputDialog::getItem(this, QStringLiteral("Print"),
                                               QStringLiteral("Printer:"), Names, 0, false, &Ok);
    if (!Ok)
        return;
    Command([&] {
        FPlatform.Graphics().GetPrinter().SetPrinterName(Name.toStdString());
        const std::string Header = ExtractFileName(FileName());
        FViewer->Print(Header, Header, true, FViewer->GetWrapMode() == opPrinter, prAllPages, 0, 0);
    });
}

void TMainWindow::FindCommand() {
    Command([&] {
        if (FFindDialog->GetFindText().empty())
            FFindDialog->SetFindText(FViewer->GetInitialFindStr());
        FFindDialog->Execute();
    });
}

void TMainWindow::FindNextCommand() {
    if (FViewer->GetFindStr().empty()) {
        FindCommand();
        return;
    }
    Command([&] {
        if (!FViewer->FindNext(nullptr))
            statusBar()->showMessage(
                QStringLiteral("Cannot find \"%1\"").arg(qt::ToQString(FViewer->GetFindStr())),
                4000);
    });
}

void TMainWindow::GotoLine(std::int64_t Line) {
    FViewer->GotoLineNumber(Line);
    FViewer->ShowCurrentLine();
    FViewer->SetFocus();
    RefreshStatus();
}

void TMainWindow::GotoCommand() {
    bool Ok = false;
    const QString Text =
        QInputDialog::getText(this, QStringLiteral("Go to Line"), QStringLiteral("Line number:"),
                              QLineEdit::Normal, QString(), &Ok);
    if (!Ok)
        return;
    const std::string S = Text.trimmed().toStdString();
    std::int64_t N = 0;
    const auto [End, Error] = std::from_chars(S.data(), S.data() + S.size(), N);
    if (Error != std::errc{} || End != S.data() + S.size() || N < 1) {
        ShowError("\"" + S + "\" is not a line number");
        return;
    }
    Command([&] { GotoLine(N); });
}

void TMainWindow::SetWrap(const std::string& Mode) {
    if (Mode == "none") {
        FViewer->SetWrapMode(opNone);
    } else if (Mode == "window") {
        FViewer->SetWrapMode(opWrapScreenWidth);
    } else if (Mode == "printer") {
        FViewer->SetWrapMode(opPrinter);
    } else {
        std::int64_t N = 0;
        std::from_chars(Mode.data(), Mode.data() + Mode.size(), N);
        FViewer->SetWrapMode(opAbsoluteWrap);
        FViewer->SetMaxLineLength(std::max<std::int64_t>(1, N));
    }
    if (FWrapGroup != nullptr)
        for (QAction* A : FWrapGroup->actions())
            A->setChecked(A->data().toString().toStdString() == Mode);
}

void TMainWindow::Zoom(int Step) {
    Command([&] {
        const std::int64_t Z =
            Step == 0 ? 0 : std::clamp<std::int64_t>(FViewer->GetZoomFactor() + Step, -2, 2);
        FViewer->SetZoomFactor(Z);
    });
}

// ---- scripted runs

void TMainWindow::Settle() {
    // A few rounds, and on while rows of long lines wait for idle time (one idle step a round),
    // and one more to paint them.
    for (int I = 0, Rounds = 3; I < Rounds && I < 1000000; ++I) {
        const bool Waited = FViewer->GetRowsPending();
        QCoreApplication::processEvents();
        FPlatform.Queue().Run();
        if (Waited || FViewer->GetRowsPending())
            Rounds = std::max(Rounds, I + 2);
    }
    RefreshStatus();
}

void TMainWindow::WaitForCount() {
    QEventLoop Loop;
    QTimer Poll;
    QObject::connect(&Poll, &QTimer::timeout, &Loop, [&] {
        if (FViewer->GetCountComplete() && !FViewer->GetLineNumbersPending())
            Loop.quit();
    });
    Poll.start(20);
    Loop.exec();
    Settle();
}

void TMainWindow::TypeKeys(const std::string& Script) {
    QWidget* Client = FPlatform.Windows().ClientWidgetOf(FViewer->GetHandle());
    const QStringList Names =
        QString::fromStdString(Script).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& Name : Names) {
        const QKeySequence Sequence = QKeySequence::fromString(Name, QKeySequence::PortableText);
        if (Sequence.isEmpty() || Sequence[0].key() == Qt::Key_unknown)
            throw std::invalid_argument("--keys: '" + Name.toStdString() + "' is no key");
        const QKeyCombination Combination = Sequence[0];
        const int Key = Combination.key();
        const Qt::KeyboardModifiers Modifiers = Combination.keyboardModifiers();
        const QString Text = TextOfKey(Key, Modifiers);
        QKeyEvent Press(QEvent::KeyPress, Key, Modifiers, Text);
        QKeyEvent Release(QEvent::KeyRelease, Key, Modifiers, Text);
        QCoreApplication::sendEvent(Client, &Press);
        QCoreApplication::sendEvent(Client, &Release);
        Settle();
    }
}

} // namespace kestrel::kxedit
