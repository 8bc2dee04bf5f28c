// The platform seam: scopes that nest and give each platform its own host state, the wake-ups
// the queue asks for, timers that go with their window, and a platform's own find dialog.
#include "host/controls.h"
#include "host/dialogs.h"
#include "host/exceptions.h"
#include "host/headless/headless_platform.h"
#include "host/window_platform.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestrel {
namespace {

using headless::THeadlessPlatformScope;

class TBlank : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
};

TEST(PlatformScopeTest, ScopesNestAndEachPlatformHasItsOwnQueueTimersAndFormats) {
    THeadlessPlatformScope Outer;
    TBlank W(nullptr);
    W.SetBounds(0, 0, 50, 50);
    const HWND Wnd = W.GetHandle();
    const int Wakes = Outer.Queue().GetWakeCount();
    ASSERT_TRUE(PostMessage(0, WM_USER, 0, 0));
    EXPECT_EQ(Outer.Queue().GetWakeCount(), Wakes + 1) << "a post wakes the dispatcher";
    EXPECT_EQ(Outer.Queue().GetLastWakeDelay(), 0U);
    SetTimer(Wnd, 7, 250);
    EXPECT_EQ(Outer.Queue().GetLastWakeDelay(), 250U) << "and so does a timer, when it is due";
    EXPECT_EQ(RegisterClipboardFormat("Outer"), 0xC000U);
    {
        headless::THeadlessGraphicsScope Inner;
        EXPECT_FALSE(WindowServiceInstalled());
        EXPECT_THROW(GetFocus(), EInvalidOperation);
        EXPECT_EQ(&GraphicsPlatform(), &Inner.Graphics());
        EXPECT_EQ(MessageQueue().GetLength(), 0U) << "a platform of its own: a queue of its own";
        EXPECT_EQ(RegisterClipboardFormat("Inner"), 0xC000U);
    }
    EXPECT_EQ(&GraphicsPlatform(), &Outer.Graphics());
    EXPECT_EQ(MessageQueue().GetLength(), 1U) << "the outer queue is back as it was";
    EXPECT_EQ(RegisterClipboardFormat("Outer"), 0xC000U);
    EXPECT_EQ(RegisterClipboardFormat("Inner"), 0xC001U);
    ASSERT_NE(MessageQueue().FindTimer(Wnd, 7), nullptr);
    W.DestroyHandle();
    EXPECT_EQ(MessageQueue().FindTimer(Wnd, 7), nullptr) << "the timer went with its window";
}

// Dialogs whose find dialog is a window of the platform's own size and caption, as a platform
// with real dialogs makes it; message boxes and beeps go to the headless dialogs.
class TOwnFindDialogs : public TDialogService {
public:
    explicit TOwnFindDialogs(TDialogService& Rest) : FRest(Rest) {}
    TModalResult MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                            std::int64_t HelpCtx) override {
        return FRest.MessageDlg(Msg, DlgType, Buttons, HelpCtx);
    }
    void MessageBeep(std::uint32_t Type) override { FRest.MessageBeep(Type); }
    HWND CreateFindDialog(TFindDialog& Dialog, int Left, int Top) override {
        Made.push_back(&Dialog);
        TCreateParams Params;
        Params.Caption = dynamic_cast<TReplaceDialog*>(&Dialog) != nullptr ? "Replace" : "Find";
        Params.Style = WS_POPUP | WS_THICKFRAME;
        Params.X = Left;
        Params.Y = Top;
        Params.Width = 500;
        Params.Height = 300;
        return CreateWindowHandle(Params, &Dialog);
    }

    std::vector<TFindDialog*> Made;

private:
    TDialogService& FRest;
};

TEST(PlatformScopeTest, TheFindDialogWindowIsThePlatformsOwn) {
    THeadlessPlatformScope Headless;
    TOwnFindDialogs Dialogs(Headless.Dialogs());
    TPlatformServices Services = Headless.Host().GetServices();
    Services.Dialogs = &Dialogs;
    const TPlatformScope Scope(Services);

    TReplaceDialog Dialog(nullptr);
    int Found = 0;
    Dialog.SetOnFind([&](TObject*) { ++Found; });
    Dialog.SetPosition(40, 30);
    ASSERT_TRUE(Dialog.Execute());
    ASSERT_EQ(Dialogs.Made, std::vector<TFindDialog*>{&Dialog});
    const HWND D = Dialog.GetHandle();
    EXPECT_EQ(Headless.Windows().GetWindowCaption(D), "Replace");
    EXPECT_EQ(GetWindowRect(D), Rect(40, 30, 540, 330));
    EXPECT_TRUE(IsWindowVisible(D));
    EXPECT_EQ(GetFocus(), D);
    Dialog.SetPosition(100, 120);
    EXPECT_EQ(GetWindowRect(D), Rect(100, 120, 600, 420)) << "moved, in its own size";
    // What the platform's "Find Next" button does.
    Dialog.SetFindText("needle");
    Dialog.ClickFindNext();
    EXPECT_EQ(Found, 1);
    SendMessage(D, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(D));
    Dialog.Execute();
    EXPECT_EQ(Dialogs.Made.size(), 1U) << "the window is kept between showings";
}

} // namespace
} // namespace kestrel
