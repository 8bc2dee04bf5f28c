// TQtDialogs: the Qt platform's message boxes (QMessageBox), beeps and the find and replace
// dialogs (modeless QDialogs that are windows of the window table).
#pragma once

#include "host/platform.h"

#include <functional>
#include <string>

namespace kestrel::qt {

class TQtWindowPlatform;

/// Answers a message box instead of showing one (tests, programs without a user).
using TMessageDlgHandler = std::function<TModalResult(const std::string& Msg, TMsgDlgType DlgType,
                                                      TMsgDlgButtons Buttons)>;

class TQtDialogs : public TDialogService {
public:
    explicit TQtDialogs(TQtWindowPlatform& Windows) : FWindows(Windows) {}

    /// A modal QMessageBox with the kind's icon and caption and one button per button asked
    /// for; Escape or the close box answers mrCancel. With a handler set, the handler answers.
    TModalResult MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                            std::int64_t HelpCtx) override;
    /// QApplication::beep.
    void MessageBeep(std::uint32_t Type) override;
    HWND CreateFindDialog(TFindDialog& Dialog, int Left, int Top) override;

    void SetMessageDlgHandler(TMessageDlgHandler Handler) { FHandler = std::move(Handler); }
    int GetBeepCount() const { return FBeeps; }

private:
    TQtWindowPlatform& FWindows;
    TMessageDlgHandler FHandler;
    int FBeeps = 0;
};

} // namespace kestrel::qt
