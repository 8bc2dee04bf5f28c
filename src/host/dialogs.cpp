// TFindDialog and TReplaceDialog.
#include "host/dialogs.h"

namespace kestrel {

TFindDialog::TFindDialog(TComponent* AOwner) : TComponent(AOwner) {}

TFindDialog::~TFindDialog() {
    if (FHandle != 0 && WindowPlatformInstalled() && WindowPlatform().IsWindow(FHandle))
        WindowPlatform().DestroyWindowHandle(FHandle);
}

void TFindDialog::SetPosition(int Left, int Top) {
    FLeft = Left;
    FTop = Top;
    if (FHandle != 0)
        WindowPlatform().SetWindowBounds(FHandle, FLeft, FTop, DialogWidth, DialogHeight);
}

bool TFindDialog::Execute() {
    TWindowPlatform& P = WindowPlatform();
    if (FHandle == 0 || !P.IsWindow(FHandle)) {
        TCreateParams Params;
        Params.Caption = "Find";
        Params.Style = WS_POPUP | WS_BORDER;
        Params.X = FLeft;
        Params.Y = FTop;
        Params.Width = DialogWidth;
        Params.Height = DialogHeight;
        FHandle = P.CreateWindowHandle(Params, this);
    }
    P.ShowWindow(FHandle, true);
    P.SetFocus(FHandle);
    if (FOnShow)
        FOnShow(this);
    return true;
}

void TFindDialog::CloseDialog() {
    if (FHandle != 0 && WindowPlatform().IsWindow(FHandle))
        WindowPlatform().ShowWindow(FHandle, false);
    if (FOnClose)
        FOnClose(this);
}

void TFindDialog::ClickFindNext() {
    FOptions.Include(frFindNext);
    FOptions.Exclude(frReplace);
    FOptions.Exclude(frReplaceAll);
    Find();
}

void TFindDialog::Find() {
    if (FOnFind)
        FOnFind(this);
}

void TFindDialog::WindowMessage(TMessage& Message) {
    switch (Message.Msg) {
    case WM_CLOSE:
        CloseDialog();
        break;
    case WM_DESTROY:
        FHandle = 0;
        break;
    case WM_SIZE:
    case WM_CREATE:
        break;
    default:
        if (FHandle != 0)
            Message.Result = WindowPlatform().DefWindowProc(FHandle, Message.Msg, Message.WParam,
                                                            Message.LParam);
        break;
    }
}

int TFindDialog::GetLeft() const {
    return FHandle != 0 ? WindowPlatform().GetWindowRect(FHandle).Left : FLeft;
}

int TFindDialog::GetTop() const {
    return FHandle != 0 ? WindowPlatform().GetWindowRect(FHandle).Top : FTop;
}

void TReplaceDialog::ClickReplace(bool All) {
    TFindOptions Options = GetOptions();
    Options.Exclude(frFindNext);
    Options.Exclude(All ? frReplace : frReplaceAll);
    Options.Include(All ? frReplaceAll : frReplace);
    SetOptions(Options);
    Replace();
}

void TReplaceDialog::Replace() {
    if (FOnReplace)
        FOnReplace(this);
}

} // namespace kestrel
