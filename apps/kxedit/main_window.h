// TMainWindow: kxedit's window: a file editor (or, read-only, a file viewer) in the middle, menus,
// and a status bar with the caret's line and column, the line count, the modified and insert
// state, and the progress of long operations.
#pragma once

#include "host/dialogs.h"
#include "host/qt/qt_platform.h"
#include "kxctrls/file_editor.h"
#include "kxctrls/stream_viewer.h"
#include "options.h"

#include <QMainWindow>
#include <QTimer>

#include <memory>
#include <string>

class QAction;
class QActionGroup;
class QLabel;
class QProgressBar;
class QPushButton;

namespace kestrel::kxedit {

class TMainWindow : public QMainWindow {
public:
    TMainWindow(qt::TQtPlatformScope& Platform, const TOptions& Options);
    ~TMainWindow() override;

    /// Shows FileName; a file that cannot be opened is reported in a message box and the
    /// window stays as it was (empty). Unsaved changes are offered for saving first (Cancel
    /// keeps them and opens nothing). False on failure.
    bool Open(const std::string& FileName);
    /// Saves the text under its file's name (asks for a name when it has none); false when it
    /// failed or was cancelled (reported in a message box).
    bool Save();
    /// Saves the text under Name, which the window edits from then on; false on failure.
    bool SaveAs(const std::string& Name);
    /// Puts the caret on line Line (from 1) and shows it.
    void GotoLine(std::int64_t Line);
    /// Types a key script: key names separated by spaces ("Down Shift+End Ctrl+Home").
    /// Throws std::invalid_argument for a name that is no key.
    void TypeKeys(const std::string& Script);
    /// Prints pages From..To (0, 0: all) into the PDF file FileName; false when it failed or was
    /// cancelled.
    bool PrintToPdf(const std::string& FileName, std::int64_t From, std::int64_t To);
    /// Serves every message waiting, and paints.
    void Settle();
    /// Runs Qt's loop until the line count is complete and every number exact.
    void WaitForCount();
    /// The viewer or editor in the window.
    TTextViewer& Viewer() { return *FViewer; }
    /// The editor, nullptr in a read-only window (--view).
    TFileEditor* Editor() { return FEditor; }
    /// The status bar's texts, as shown.
    QString StatusText() const;

protected:
    void closeEvent(QCloseEvent* Event) override;

private:
    void MakeMenus();
    void MakeStatusBar();
    void RefreshStatus();
    void RefreshTitle();
    void Progress(std::int64_t Done, std::int64_t Total, bool& Cancel);
    /// Runs a command of the user; an exception is shown in a message box.
    template <typename F> void Command(F&& Work);
    void ShowError(const std::string& Message);

    void OpenCommand();
    void SaveAsCommand();
    void AskToSave(TModalResult& Answer);
    const std::string& FileName() const;
    void PrintPdfCommand();
    void PrintCommand();
    void FindCommand();
    void FindNextCommand();
    void GotoCommand();
    void SetWrap(const std::string& Mode);
    void Zoom(int Step);

    qt::TQtPlatformScope& FPlatform;
    TOptions FOptions;
    std::unique_ptr<TTextViewer> FViewer;
    // Which FViewer is: exactly one of the two is set.
    TFileViewer* FFileViewer = nullptr;
    TFileEditor* FEditor = nullptr;
    std::unique_ptr<TFindDialog> FFindDialog;
    QLabel* FPosition = nullptr;
    QLabel* FLines = nullptr;
    QLabel* FModified = nullptr;
    QLabel* FInsert = nullptr;
    QProgressBar* FProgress = nullptr;
    QPushButton* FCancel = nullptr;
    QAction* FPrintAction = nullptr;
    QActionGroup* FWrapGroup = nullptr;
    bool FCancelRequested = false;
    QTimer FStatusTimer; // refreshes the line count while it is being counted
};

} // namespace kestrel::kxedit
