// THeadlessDialogs: the headless platform's message boxes (scripted answers), beeps (recorded)
// and find and replace dialogs (bare popup windows played through the dialog's methods).
#pragma once

#include "host/platform.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace kestrel::headless {

/// A message box shown through MessageDlg, as the platform recorded it.
struct THeadlessMessageDlg {
    std::string Msg;
    TMsgDlgType DlgType = mtCustom;
    TMsgDlgButtons Buttons;
    std::int64_t HelpCtx = 0;
    TModalResult Result = mrNone; ///< the answer given
};

/// Nothing here blocks: a program or test scripts the answers of message boxes beforehand and
/// plays the user of a find dialog through ClickFindNext, ClickReplace and CloseDialog.
class THeadlessDialogs : public TDialogService {
public:
    /// Answers with the next queued answer, or mrCancel when none is queued; records the box.
    /// A queued answer that none of the buttons gives raises EInvalidOperation (a script that
    /// does not fit the question).
    TModalResult MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                            std::int64_t HelpCtx) override;
    void MessageBeep(std::uint32_t Type) override { FBeeps.push_back(Type); }
    /// A popup window of TFindDialog::DialogWidth x DialogHeight with a border, captioned
    /// "Find".
    HWND CreateFindDialog(TFindDialog& Dialog, int Left, int Top) override;

    /// Queues the answer of the next message box.
    void PushMessageDlgAnswer(TModalResult Answer) { FMessageDlgAnswers.push_back(Answer); }
    std::size_t GetPendingMessageDlgAnswers() const { return FMessageDlgAnswers.size(); }
    /// Every box shown so far, oldest first.
    const std::vector<THeadlessMessageDlg>& GetMessageDlgs() const { return FMessageDlgs; }
    void ClearMessageDlgs() {
        FMessageDlgs.clear();
        FMessageDlgAnswers.clear();
    }

    const std::vector<std::uint32_t>& GetBeeps() const { return FBeeps; }
    void ClearBeeps() { FBeeps.clear(); }

private:
    std::deque<TModalResult> FMessageDlgAnswers;
    std::vector<THeadlessMessageDlg> FMessageDlgs;
    std::vector<std::uint32_t> FBeeps;
};

} // namespace kestrel::headless
