// The find and replace dialogs: modeless windows that report the user's requests through events.
#pragma once

#include "host/component.h"
#include "host/find_options.h"
#include "host/set.h"
#include "host/window_platform.h"

#include <cstdint>
#include <string>
#include <utility>

namespace kestrel {

/// What a print dialog asks to print.
enum TPrintRange : std::uint8_t { prAllPages, prSelection, prPageNums };

/// The modeless find dialog. Execute shows its window, which the platform makes
/// (TDialogService::CreateFindDialog) with its own widgets; the user's "Find Next" fires OnFind
/// with frFindNext in Options; closing it fires OnClose. The platform's controls set the text
/// and options and call ClickFindNext (ClickReplace) and CloseDialog; headless, a program or
/// test plays the user through the same methods.
class TFindDialog : public TComponent, public TWindowTarget {
public:
    explicit TFindDialog(TComponent* AOwner);
    ~TFindDialog() override;

    const std::string& GetFindText() const { return FFindText; }
    void SetFindText(const std::string& Value) { FFindText = Value; }
    TFindOptions GetOptions() const { return FOptions; }
    void SetOptions(TFindOptions Value) { FOptions = Value; }
    /// The dialog window's screen position (it may have been moved since SetPosition).
    int GetLeft() const;
    int GetTop() const;
    void SetPosition(int Left, int Top);

    /// The dialog's window while it is shown, else 0.
    HWND GetHandle() const { return FHandle; }
    /// Shows the dialog (creating its window on first use); true when it is shown.
    bool Execute();
    /// Hides the dialog and fires OnClose.
    void CloseDialog();

    /// The user pressed "Find Next".
    void ClickFindNext();

    TNotifyEvent GetOnFind() const { return FOnFind; }
    void SetOnFind(TNotifyEvent Value) { FOnFind = std::move(Value); }
    TNotifyEvent GetOnClose() const { return FOnClose; }
    void SetOnClose(TNotifyEvent Value) { FOnClose = std::move(Value); }
    TNotifyEvent GetOnShow() const { return FOnShow; }
    void SetOnShow(TNotifyEvent Value) { FOnShow = std::move(Value); }

    void HandleCreated(HWND Wnd) override { FHandle = Wnd; }
    void WindowMessage(TMessage& Message) override;

    /// The size of the headless platform's dialog window.
    static constexpr int DialogWidth = 350;
    static constexpr int DialogHeight = 120;

protected:
    virtual void Find();

private:
    std::string FFindText;
    TFindOptions FOptions{frDown};
    int FLeft = 200;
    int FTop = 200;
    HWND FHandle = 0; // the dialog window while it exists
    TNotifyEvent FOnFind;
    TNotifyEvent FOnClose;
    TNotifyEvent FOnShow;
};

/// The modeless replace dialog: the find dialog with a replacement text and the "Replace" and
/// "Replace All" requests (OnReplace, with frReplace or frReplaceAll in Options).
class TReplaceDialog : public TFindDialog {
public:
    explicit TReplaceDialog(TComponent* AOwner) : TFindDialog(AOwner) {}

    const std::string& GetReplaceText() const { return FReplaceText; }
    void SetReplaceText(const std::string& Value) { FReplaceText = Value; }

    /// The user pressed "Replace" or "Replace All".
    void ClickReplace(bool All);

    TNotifyEvent GetOnReplace() const { return FOnReplace; }
    void SetOnReplace(TNotifyEvent Value) { FOnReplace = std::move(Value); }

protected:
    virtual void Replace();

private:
    std::string FReplaceText;
    TNotifyEvent FOnReplace;
};

} // namespace kestrel
