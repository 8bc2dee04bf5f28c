// THeadlessDialogs.
#include "host/headless/headless_dialogs.h"

#include "host/dialogs.h"
#include "host/exceptions.h"
#include "host/window_platform.h"

namespace kestrel::headless {

TModalResult THeadlessDialogs::MessageDlg(const std::string& Msg, TMsgDlgType DlgType,
                                          TMsgDlgButtons Buttons, std::int64_t HelpCtx) {
    TModalResult Answer = mrCancel; // no script: the user closed the box
    if (!FMessageDlgAnswers.empty()) {
        Answer = FMessageDlgAnswers.front();
        FMessageDlgAnswers.pop_front();
        bool Offered = false;
        for (int B = mbYes; B <= mbHelp; ++B) {
            const auto Button = static_cast<TMsgDlgBtn>(B);
            if (Buttons.Contains(Button) && ModalResultOf(Button) == Answer)
                Offered = true;
        }
        if (!Offered)
            throw EInvalidOperation("Scripted answer " + std::to_string(Answer) +
                                    " is not a button of the message box \"" + Msg + "\"");
    }
    FMessageDlgs.push_back(THeadlessMessageDlg{Msg, DlgType, Buttons, HelpCtx, Answer});
    return Answer;
}

HWND THeadlessDialogs::CreateFindDialog(TFindDialog& Dialog, int Left, int Top) {
    TCreateParams Params;
    Params.Caption = "Find";
    Params.Style = WS_POPUP | WS_BORDER;
    Params.X = Left;
    Params.Y = Top;
    Params.Width = TFindDialog::DialogWidth;
    Params.Height = TFindDialog::DialogHeight;
    return CreateWindowHandle(Params, &Dialog);
}

} // namespace kestrel::headless
