// TFindDialog and TReplaceDialog.
#include "host/dialogs.h"

namespace kestrel {

TFindDialog::TFindDialog(TComponent* AOwner) : TComponent(AOwner) {}

TFindDialog::~TFindDialog() {
    if (FHandle != 0 && WindowServiceInstalled() && IsWindow(FHandle))
        DestroyWindowHandle(FHandle);
}

void TFindDialog::SetPosition(int Left, int Top) {
    FLeft = Left;
    FTop = Top;
    if (FHandle != 0) {
        const TRect R = GetWindowRect(FHandle);
        SetWindowBounds(FHandle, FLeft, FTop, R.Width(), R.Height());
    }
}

bool TFindDialog::Execute() {
    if (FHandle == 0 || !IsWindow(FHandle))
        FHandle = DialogService().CreateFindDialog(*this, FLeft, FTop);
    ShowWindow(FHandle, true);
    SetFocus(FHandle);
    if (FOnShow)
        FOnShow(this);
    return true;
}

void TFindDialog::CloseDialog() {
    if (FHandle != 0 && IsWindow(FHandle))
        ShowWindow(FHandle, false);
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
            Message.Result = DefWindowProc(FHandle, Message.Msg, Message.WParam, Message.LParam);
        break;
    }
}

int TFindDialog::GetLeft() const {
    return FHandle != 0 ? GetWindowRect(FHandle).Left : FLeft;
}

int TFindDialog::GetTop() const {
    return FHandle != 0 ? GetWindowRect(FHandle).Top : FTop;
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
