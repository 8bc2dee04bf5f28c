// TQtDialogs and the find and replace dialog widget.
#include "host/qt/qt_dialogs.h"

#include "host/dialogs.h"
#include "host/qt/qt_queue.h"
#include "host/qt/qt_text.h"
#include "host/qt/qt_widgets.h"
#include "host/qt/qt_windows.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kestrel::qt {

namespace {

/// The find (and replace) dialog: its controls fill from the dialog when shown and, on a
/// button, put the text and options back and call the dialog's methods.
class TQtFindDialog : public QDialog, public TQtWindowLink {
public:
    TQtFindDialog(TQtWindowPlatform* Platform, TFindDialog& Dialog);

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void reject() override;

private:
    void Store();
    void Close();
    template <typename F> void Guard(F&& Work) {
        try {
            Work();
        } catch (...) {
            TQtQueue::ReportException();
        }
    }

    TFindDialog& FDialog;
    TReplaceDialog* FReplace;
    QLineEdit* FFindText;
    QLineEdit* FReplaceText = nullptr;
    QCheckBox* FMatchCase;
    QCheckBox* FWholeWord;
    QRadioButton* FUp;
    QRadioButton* FDown;
    QGroupBox* FDirection;
};

TQtFindDialog::TQtFindDialog(TQtWindowPlatform* Platform, TFindDialog& Dialog)
    : QDialog(nullptr), TQtWindowLink(Platform, 0), FDialog(Dialog),
      FReplace(dynamic_cast<TReplaceDialog*>(&Dialog)) {
    setWindowTitle(FReplace != nullptr ? QStringLiteral("Replace") : QStringLiteral("Find"));
    setModal(false);
    auto* Grid = new QGridLayout;
    FFindText = new QLineEdit;
    Grid->addWidget(new QLabel(QStringLiteral("Fi&nd what:")), 0, 0);
    Grid->addWidget(FFindText, 0, 1);
    if (FReplace != nullptr) {
        FReplaceText = new QLineEdit;
        Grid->addWidget(new QLabel(QStringLiteral("Re&place with:")), 1, 0);
        Grid->addWidget(FReplaceText, 1, 1);
    }
    FMatchCase = new QCheckBox(QStringLiteral("Match &case"));
    FWholeWord = new QCheckBox(QStringLiteral("Match &whole word only"));
    FDirection = new QGroupBox(QStringLiteral("Direction"));
    FUp = new QRadioButton(QStringLiteral("&Up"));
    FDown = new QRadioButton(QStringLiteral("&Down"));
    auto* Dir = new QHBoxLayout(FDirection);
    Dir->addWidget(FUp);
    Dir->addWidget(FDown);
    auto* Options = new QVBoxLayout;
    Options->addWidget(FWholeWord);
    Options->addWidget(FMatchCase);
    auto* Row = new QHBoxLayout;
    Row->addLayout(Options);
    Row->addWidget(FDirection);
    auto* Left = new QVBoxLayout;
    Left->addLayout(Grid);
    Left->addLayout(Row);

    auto* Buttons = new QVBoxLayout;
    auto* FindNext = new QPushButton(QStringLiteral("&Find Next"));
    FindNext->setDefault(true);
    Buttons->addWidget(FindNext);
    connect(FindNext, &QPushButton::clicked, this, [this] {
        Guard([&] {
            Store();
            FDialog.ClickFindNext();
        });
    });
    if (FReplace != nullptr) {
        auto* Replace = new QPushButton(QStringLiteral("&Replace"));
        auto* All = new QPushButton(QStringLiteral("Replace &All"));
        Buttons->addWidget(Replace);
        Buttons->addWidget(All);
        connect(Replace, &QPushButton::clicked, this, [this] {
            Guard([&] {
                Store();
                FReplace->ClickReplace(false);
            });
        });
        connect(All, &QPushButton::clicked, this, [this] {
            Guard([&] {
                Store();
                FReplace->ClickReplace(true);
            });
        });
    }
    auto* Cancel = new QPushButton(QStringLiteral("Cancel"));
    connect(Cancel, &QPushButton::clicked, this, [this] { Close(); });
    Buttons->addWidget(Cancel);
    Buttons->addStretch();

    auto* Top = new QHBoxLayout(this);
    Top->addLayout(Left);
    Top->addLayout(Buttons);
}

void TQtFindDialog::showEvent(QShowEvent* Event) {
    const TFindOptions O = FDialog.GetOptions();
    FFindText->setText(ToQString(FDialog.GetFindText()));
    FFindText->selectAll();
    if (FReplace != nullptr)
        FReplaceText->setText(ToQString(FReplace->GetReplaceText()));
    FMatchCase->setChecked(O.Contains(frMatchCase));
    FWholeWord->setChecked(O.Contains(frWholeWord));
    FDown->setChecked(O.Contains(frDown));
    FUp->setChecked(!O.Contains(frDown));
    FMatchCase->setVisible(!O.Contains(frHideMatchCase));
    FWholeWord->setVisible(!O.Contains(frHideWholeWord));
    FDirection->setVisible(!O.Contains(frHideUpDown) && FReplace == nullptr);
    FMatchCase->setEnabled(!O.Contains(frDisableMatchCase));
    FWholeWord->setEnabled(!O.Contains(frDisableWholeWord));
    FDirection->setEnabled(!O.Contains(frDisableUpDown));
    QDialog::showEvent(Event);
}

void TQtFindDialog::Store() {
    FDialog.SetFindText(FromQString(FFindText->text()));
    if (FReplace != nullptr)
        FReplace->SetReplaceText(FromQString(FReplaceText->text()));
    TFindOptions O = FDialog.GetOptions();
    for (const auto& [Flag, On] : {std::pair{frMatchCase, FMatchCase->isChecked()},
                                   std::pair{frWholeWord, FWholeWord->isChecked()},
                                   std::pair{frDown, FReplace != nullptr || FDown->isChecked()}})
        if (On)
            O.Include(Flag);
        else
            O.Exclude(Flag);
    FDialog.SetOptions(O);
}

void TQtFindDialog::Close() {
    if (Handle != 0)
        Guard([&] { Platform->CloseRequested(Handle); });
}

void TQtFindDialog::closeEvent(QCloseEvent* Event) {
    Event->ignore();
    Close();
}

void TQtFindDialog::reject() {
    Close();
}

} // namespace

TModalResult TQtDialogs::MessageDlg(const std::string& Msg, TMsgDlgType DlgType,
                                    TMsgDlgButtons Buttons, std::int64_t) {
    if (FHandler)
        return FHandler(Msg, DlgType, Buttons);
    QMessageBox Box;
    Box.setText(ToQString(Msg));
    const std::string Caption = MessageDlgCaption(DlgType);
    Box.setWindowTitle(Caption.empty() ? QApplication::applicationDisplayName()
                                       : QString::fromStdString(Caption));
    switch (DlgType) {
    case mtWarning:
        Box.setIcon(QMessageBox::Warning);
        break;
    case mtError:
        Box.setIcon(QMessageBox::Critical);
        break;
    case mtInformation:
        Box.setIcon(QMessageBox::Information);
        break;
    case mtConfirmation:
        Box.setIcon(QMessageBox::Question);
        break;
    default:
        break;
    }
    struct TButton {
        TMsgDlgBtn Button;
        const char* Text;
        QMessageBox::ButtonRole Role;
    };
    static constexpr TButton All[] = {
        {mbYes, "&Yes", QMessageBox::YesRole},
        {mbNo, "&No", QMessageBox::NoRole},
        {mbOK, "OK", QMessageBox::AcceptRole},
        {mbCancel, "Cancel", QMessageBox::RejectRole},
        {mbAbort, "&Abort", QMessageBox::RejectRole},
        {mbRetry, "&Retry", QMessageBox::AcceptRole},
        {mbIgnore, "&Ignore", QMessageBox::AcceptRole},
        {mbAll, "&All", QMessageBox::YesRole},
        {mbNoToAll, "N&o to All", QMessageBox::NoRole},
        {mbYesToAll, "Yes to &All", QMessageBox::YesRole},
        {mbHelp, "&Help", QMessageBox::HelpRole},
    };
    std::vector<std::pair<QAbstractButton*, TMsgDlgBtn>> Made;
    for (const TButton& B : All)
        if (Buttons.Contains(B.Button)) {
            QPushButton* Button = Box.addButton(QString::fromLatin1(B.Text), B.Role);
            Made.emplace_back(Button, B.Button);
            if (B.Button == mbCancel)
                Box.setEscapeButton(Button);
        }
    if (Made.empty())
        Made.emplace_back(Box.addButton(QMessageBox::Ok), mbOK);
    Box.exec();
    for (const auto& [Button, Kind] : Made)
        if (Box.clickedButton() == Button)
            return ModalResultOf(Kind);
    return mrCancel;
}

void TQtDialogs::MessageBeep(std::uint32_t) {
    ++FBeeps;
    QApplication::beep();
}

HWND TQtDialogs::CreateFindDialog(TFindDialog& Dialog, int Left, int Top) {
    auto* Widget = new TQtFindDialog(&FWindows, Dialog);
    return FWindows.AddDialogWindow(Widget, &Dialog, Left, Top);
}

} // namespace kestrel::qt
