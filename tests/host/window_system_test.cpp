// The headless window system: queue order, painting and update regions, scrolling, scroll
// bars, caret, timers, focus, capture, simulated input, registry and clipboard formats.
#include "host/application.h"
#include "host/controls.h"
#include "host/dialogs.h"
#include "host/exceptions.h"
#include "host/headless/headless_platform.h"
#include "host/registry.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace kestrel {
namespace {

// A window control that logs its messages (and keys, characters and mouse presses).
class TLogged : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    std::vector<UINT> Seen;
    std::vector<std::string> Events;
    int Paints = 0;
    TRect LastPaint;

    void WndProc(TMessage& Message) override {
        Seen.push_back(Message.Msg);
        TCustomControl::WndProc(Message);
    }
    int Count(UINT Msg) const {
        return static_cast<int>(std::count(Seen.begin(), Seen.end(), Msg));
    }
    void EnableDoubleClicks(bool On) {
        TControlStyle S = GetControlStyle();
        if (On)
            S.Include(csDoubleClicks);
        else
            S.Exclude(csDoubleClicks);
        SetControlStyle(S);
    }

protected:
    void Paint() override {
        ++Paints;
        TRect Box;
        GetCanvas()->GetHandle()->GetClipBox(Box);
        LastPaint = Box;
        GetCanvas()->GetBrush()->SetColor(clRed);
        GetCanvas()->FillRect(Rect(0, 0, GetClientWidth(), GetClientHeight()));
    }
    void KeyDown(std::uint16_t& Key, TShiftState Shift) override {
        Events.push_back("down " + std::to_string(Key) + (Shift.Contains(ssAlt) ? " alt" : ""));
    }
    void KeyPress(char& Key) override { Events.push_back(std::string("char ") + Key); }
    void MouseDown(TMouseButton, TShiftState Shift, int X, int Y) override {
        Events.push_back(std::string(Shift.Contains(ssDouble) ? "double " : "press ") +
                         std::to_string(X) + "," + std::to_string(Y));
    }
};

class WindowSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        W = std::make_unique<TLogged>(nullptr);
        W->SetBounds(100, 50, 200, 100);
        Wnd = W->GetHandle();
        Application->ProcessMessages();
        W->Seen.clear();
        W->Paints = 0;
    }
    void TearDown() override {
        W.reset();
        Application->ResetTerminated();
    }
    headless::THeadlessWindowPlatform& Win() { return Scope.Windows(); }
    void Pump() { Application->ProcessMessages(); }

    headless::THeadlessPlatformScope Scope;
    std::unique_ptr<TLogged> W;
    HWND Wnd = 0;
};

TEST_F(WindowSystemTest, PostedMessagesComeFirstThenQuitThenPaintsThenTimers) {
    SetTimer(Wnd, 1, 10);
    Scope.Queue().AdvanceClock(10);
    W->Invalidate();
    PostQuitMessage(0);
    PostMessage(Wnd, WM_USER, 0, 0);
    std::vector<UINT> Order;
    TMsg Msg;
    while (PeekMessage(Msg, 0, 0, 0, true)) {
        Order.push_back(Msg.message);
        if (Msg.message != WM_QUIT)
            DispatchMessage(Msg);
    }
    EXPECT_EQ(Order, (std::vector<UINT>{WM_USER, WM_QUIT, WM_PAINT, WM_TIMER}));
    EXPECT_FALSE(PeekMessage(Msg, 0, 0, 0, true)) << "the paint validated, the timer is not due";

    PostMessage(Wnd, WM_USER + 2, 0, 0);
    PostMessage(Wnd, WM_USER + 1, 0, 0);
    ASSERT_TRUE(PeekMessage(Msg, 0, WM_USER + 1, WM_USER + 1, false));
    EXPECT_EQ(Msg.message, WM_USER + 1U) << "a range filter picks from the middle";
    EXPECT_EQ(MessageQueue().GetLength(), 2U) << "peeking without remove leaves it";
}

TEST_F(WindowSystemTest, TimersFireOnTheManualClockOnceHoweverLate) {
    SetTimer(Wnd, 3, 100);
    Scope.Queue().AdvanceClock(99);
    Pump();
    EXPECT_EQ(W->Count(WM_TIMER), 0);
    Scope.Queue().AdvanceClock(1);
    Pump();
    EXPECT_EQ(W->Count(WM_TIMER), 1);
    Scope.Queue().AdvanceClock(1000);
    Pump();
    EXPECT_EQ(W->Count(WM_TIMER), 2) << "late ticks are merged";
    SetTimer(Wnd, 3, 50); // re-arming replaces
    EXPECT_EQ(MessageQueue().GetTimers().size(), 1U);
    EXPECT_EQ(MessageQueue().FindTimer(Wnd, 3)->Due, GetTickCount() + 50);
    KillTimer(Wnd, 3);
    Scope.Queue().AdvanceClock(1000);
    Pump();
    EXPECT_EQ(W->Count(WM_TIMER), 2);
}

TEST_F(WindowSystemTest, UpdateRegionsAccumulateAndPaintingIsClippedToThem) {
    const TRect A = Rect(10, 10, 30, 20);
    const TRect B = Rect(20, 15, 50, 40);
    InvalidateRect(Wnd, &A, false);
    InvalidateRect(Wnd, &B, false);
    TRect Box;
    ASSERT_TRUE(Win().GetUpdateRect(Wnd, Box));
    EXPECT_EQ(Box, Rect(10, 10, 50, 40));
    int Area = 0;
    for (const TRect& R : Win().GetUpdateRegion(Wnd))
        Area += R.Width() * R.Height();
    EXPECT_EQ(Area, 200 + 750 - 50) << "the region holds the union, no overlap";

    headless::TSurface& S = Win().GetWindowSurface(Wnd);
    S.Fill(Rect(0, 0, 200, 100), clBlue);
    UpdateWindow(Wnd);
    EXPECT_EQ(W->Paints, 1);
    EXPECT_EQ(W->LastPaint, Box);
    EXPECT_EQ(S.CountPixels(Rect(0, 0, 200, 100), clRed), 40 * 30)
        << "a paint draws only inside the update box";
    EXPECT_FALSE(Win().GetUpdateRect(Wnd, Box));
    UpdateWindow(Wnd);
    EXPECT_EQ(W->Paints, 1) << "nothing left to paint";

    Win().ValidateRect(Wnd, nullptr);
    InvalidateRect(Wnd, nullptr, true);
    const TRect Part = Rect(0, 0, 200, 50);
    Win().ValidateRect(Wnd, &Part);
    ASSERT_TRUE(Win().GetUpdateRect(Wnd, Box));
    EXPECT_EQ(Box, Rect(0, 50, 200, 100));
    Pump();
    EXPECT_EQ(W->Count(WM_ERASEBKGND), 1) << "an erase request comes with the paint";
}

TEST_F(WindowSystemTest, ScrollingMovesThePixelsAndInvalidatesTheUncoveredStrip) {
    Pump();
    headless::TSurface& S = Win().GetWindowSurface(Wnd);
    S.Fill(Rect(0, 0, 200, 100), clWhite);
    S.Fill(Rect(0, 40, 200, 50), clGreen);
    ScrollWindowEx(Wnd, 0, -30, SW_INVALIDATE | SW_ERASE);
    EXPECT_EQ(S.CountPixels(Rect(0, 10, 200, 20), clGreen), 2000);
    EXPECT_EQ(S.CountPixels(Rect(0, 40, 200, 50), clGreen), 0);
    EXPECT_EQ(Win().GetUpdateRegion(Wnd), std::vector<TRect>{Rect(0, 70, 200, 100)});
}

TEST_F(WindowSystemTest, ScrollBarsTakeClientSpaceAndKeepTheirPositionsInRange) {
    EXPECT_EQ(W->GetClientRect(), Rect(0, 0, 200, 100));
    W->Seen.clear();
    ShowScrollBar(Wnd, SB_VERT, true);
    EXPECT_EQ(W->GetClientRect(), Rect(0, 0, 184, 100));
    EXPECT_EQ(W->Count(WM_SIZE), 1);
    ShowScrollBar(Wnd, SB_BOTH, true);
    EXPECT_EQ(W->GetClientRect(), Rect(0, 0, 184, 84));
    ShowScrollBar(Wnd, SB_VERT, true);
    EXPECT_EQ(W->Count(WM_SIZE), 2) << "no change, no message";

    TScrollInfo Info;
    Info.Mask = SIF_RANGE | SIF_PAGE | SIF_POS;
    Info.Max = 100;
    Info.Page = 10;
    Info.Pos = 500;
    SetScrollInfo(Wnd, SB_VERT, Info, true);
    TScrollInfo Out;
    ASSERT_TRUE(Win().GetScrollInfo(Wnd, SB_VERT, Out));
    EXPECT_EQ(Out.Pos, 91);
    EXPECT_EQ(Out.Page, 10);
}

TEST_F(WindowSystemTest, TheCaretHasAHideCountAndDiesWithItsWindow) {
    CreateCaret(Wnd, nullptr, 0, 14);
    EXPECT_FALSE(Win().GetCaret().Visible()) << "a new caret starts hidden";
    EXPECT_EQ(Win().GetCaret().Width, 2);
    SetCaretPos(5, 7);
    ShowCaret(Wnd);
    EXPECT_TRUE(Win().GetCaret().Visible());
    HideCaret(Wnd);
    HideCaret(Wnd);
    ShowCaret(Wnd);
    EXPECT_FALSE(Win().GetCaret().Visible());
    ShowCaret(Wnd);
    EXPECT_TRUE(Win().GetCaret().Visible());
    EXPECT_EQ(Win().GetCaret().X, 5);
    W->Invalidate();
    Pump();
    EXPECT_TRUE(Win().GetCaret().Visible()) << "a paint hides and shows it again";
    W->DestroyHandle();
    EXPECT_EQ(Win().GetCaret().Owner, 0U);
}

TEST_F(WindowSystemTest, FocusAndCaptureRouteInput) {
    TLogged Other(nullptr);
    Other.SetBounds(400, 50, 50, 50);
    const HWND O = Other.GetHandle();
    Pump();
    W->Seen.clear();
    W->SetFocus();
    Other.SetFocus();
    EXPECT_EQ(GetFocus(), O);
    EXPECT_EQ(W->Count(WM_SETFOCUS), 1);
    EXPECT_EQ(W->Count(WM_KILLFOCUS), 1);
    EXPECT_TRUE(Other.Focused());

    Scope.Input().PostKeyPress('K');
    Pump();
    EXPECT_EQ(Other.Events, (std::vector<std::string>{"down 75", "char k"}));

    SetCapture(Wnd);
    Scope.Input().PostMouseDown(O, mbLeft, 10, 10);
    Pump();
    ASSERT_FALSE(W->Events.empty()) << "the capture window gets the press";
    EXPECT_EQ(W->Events.back(), "press 310,10") << "in its own client coordinates";
    ReleaseCapture();
    Scope.Input().PostMouseUp(O, mbLeft, 10, 10);
    Pump();
    EXPECT_EQ(Other.Count(WM_LBUTTONUP), 1);
    Other.DestroyHandle();
    EXPECT_EQ(GetFocus(), 0U);
}

TEST_F(WindowSystemTest, KeysTranslateToCharactersAndAltMakesSystemKeys) {
    W->SetFocus();
    Scope.Input().SetShiftState({ssShift});
    Scope.Input().PostKeyPress('A');
    Scope.Input().SetShiftState({ssCtrl});
    Scope.Input().PostKeyPress('C');
    Pump(); // translation reads the key state now: Ctrl, not Shift
    Scope.Input().SetShiftState({ssAlt});
    Scope.Input().PostKeyPress(VK_BACK);
    Pump();
    Scope.Input().SetShiftState({});
    Scope.Input().PostKeyPress(VK_ESCAPE);
    Scope.Input().PostKeyPress('1');
    Pump();
    EXPECT_EQ(W->Events, (std::vector<std::string>{"down 65", "char \x01", "down 67", "char \x03",
                                                   "down 8 alt", "down 27", "char \x1b", "down 49",
                                                   "char 1"}));
    EXPECT_EQ(W->Count(WM_SYSKEYDOWN), 1);
    EXPECT_EQ(W->Count(WM_SYSCHAR), 1);
}

TEST_F(WindowSystemTest, DoubleClicksNeedTimeDistanceAndTheWindowsConsent) {
    W->EnableDoubleClicks(true);
    W->DestroyHandle();
    Wnd = W->GetHandle();
    auto Press = [&](int X, int Y) {
        Scope.Input().PostMouseDown(Wnd, mbLeft, X, Y);
        Scope.Input().PostMouseUp(Wnd, mbLeft, X, Y);
        Pump();
        return W->Events.back().substr(0, W->Events.back().find(' '));
    };
    EXPECT_EQ(Press(10, 10), "press");
    Scope.Queue().AdvanceClock(500);
    EXPECT_EQ(Press(12, 12), "double") << "500 ms, 2 pixels away";
    Scope.Queue().AdvanceClock(10);
    EXPECT_EQ(Press(12, 12), "press") << "a third press starts a new pair";
    Scope.Queue().AdvanceClock(501);
    EXPECT_EQ(Press(12, 12), "press") << "too slow";
    Scope.Queue().AdvanceClock(10);
    EXPECT_EQ(Press(20, 12), "press") << "too far";

    TRegValue Fast;
    Fast.Text = "100";
    Scope.Settings().RegSetValue(HKEY_CURRENT_USER, "Control Panel\\Mouse", "DoubleClickSpeed",
                                 Fast);
    EXPECT_EQ(Scope.Input().GetDoubleClickTime(), 100U);
    Scope.Queue().AdvanceClock(1000);
    Press(12, 12);
    Scope.Queue().AdvanceClock(101);
    EXPECT_EQ(Press(12, 12), "press");

    W->EnableDoubleClicks(false);
    W->DestroyHandle();
    Wnd = W->GetHandle();
    Scope.Queue().AdvanceClock(1000);
    Press(12, 12);
    Scope.Queue().AdvanceClock(10);
    EXPECT_EQ(Press(12, 12), "press") << "a window without double clicks";
}

TEST_F(WindowSystemTest, ChildWindowsSitInTheirParentAndGoWithIt) {
    TLogged Child(nullptr);
    Child.SetParent(W.get());
    Child.SetBounds(5, 6, 20, 20);
    const HWND C = Child.GetHandle();
    EXPECT_EQ(Win().GetWindowRect(C), Rect(105, 56, 125, 76));
    EXPECT_EQ(ClientToScreen(C, Point(1, 1)), Point(106, 57));
    EXPECT_NE(Win().GetWindowStyle(C) & WS_CHILD, 0U);
    W->DestroyHandle();
    EXPECT_FALSE(Win().IsWindow(C));
    EXPECT_FALSE(Child.HandleAllocated()) << "the child forgets its window";
    EXPECT_NE(Child.GetHandle(), C) << "and makes a new one on demand";
}

TEST_F(WindowSystemTest, TheApplicationPumpsRunsIdleAndStopsAtQuit) {
    int Idle = 0;
    Application->SetOnIdle([&](TObject*, bool& Done) {
        ++Idle;
        Done = Idle >= 2;
    });
    Application->HandleMessage(); // empty queue: idle
    EXPECT_EQ(Idle, 1);
    PostMessage(Wnd, WM_USER, 0, 0);
    Application->HandleMessage();
    EXPECT_EQ(Idle, 1);
    EXPECT_EQ(W->Count(WM_USER), 1);
    EXPECT_TRUE(Application->Idle());
    Application->SetOnIdle(nullptr);

    Application->Terminate();
    PostMessage(Wnd, WM_USER + 1, 0, 0);
    Application->ProcessMessages();
    EXPECT_TRUE(Application->GetTerminated());
    EXPECT_EQ(W->Count(WM_USER + 1), 1);
}

TEST_F(WindowSystemTest, ScreenshotsShowClientCaretAndScrollBars) {
    ShowScrollBar(Wnd, SB_VERT, true);
    TScrollInfo Info;
    Info.Mask = SIF_RANGE | SIF_PAGE | SIF_POS;
    Info.Max = 99;
    Info.Page = 50;
    SetScrollInfo(Wnd, SB_VERT, Info, true);
    W->Invalidate();
    Pump();
    CreateCaret(Wnd, nullptr, 2, 10);
    SetCaretPos(0, 0);
    ShowCaret(Wnd);
    const headless::TSurface Shot = Win().RenderWindow(Wnd);
    EXPECT_EQ(Shot.GetWidth(), 200);
    EXPECT_EQ(Shot.GetHeight(), 100);
    EXPECT_EQ(Shot.CountPixels(Rect(2, 10, 184, 100), clRed), 182 * 90);
    EXPECT_EQ(Shot.CountPixels(Rect(0, 0, 2, 10), clRed ^ 0x00FFFFFF), 20) << "the caret";
    EXPECT_EQ(Shot.CountPixels(Rect(184, 0, 200, 100), clRed), 0) << "the bar";
    EXPECT_GT(Shot.CountPixels(Rect(185, 16, 199, 84), RGB(160, 160, 160)), 14 * 30)
        << "a thumb of about half the track";
}

TEST(RegistryTest, KeysAndValuesReadBackWithoutCase) {
    headless::THeadlessPlatformScope Scope;
    TRegistry Reg;
    EXPECT_FALSE(Reg.OpenKeyReadOnly("Software\\Kestrel"));
    ASSERT_TRUE(Reg.OpenKey("\\Software\\Kestrel\\", true));
    Reg.WriteString("Name", "viewer");
    Reg.WriteInteger("Size", 42);
    Reg.CloseKey();
    EXPECT_TRUE(Reg.KeyExists("software"));
    ASSERT_TRUE(Reg.OpenKeyReadOnly("SOFTWARE\\kestrel"));
    EXPECT_EQ(Reg.ReadString("name"), "viewer");
    EXPECT_EQ(Reg.ReadInteger("SIZE"), 42);
    EXPECT_EQ(Reg.ReadString("missing"), "");
    try {
        Reg.ReadString("Size");
        ADD_FAILURE();
    } catch (const ERegistryException& E) {
        EXPECT_STREQ(E.what(), "Invalid data type for 'Size'");
    }
    EXPECT_THROW(Reg.ReadInteger("missing"), ERegistryException);
    EXPECT_THROW(Reg.WriteString("x", "y"), ERegistryException) << "opened read-only";
}

TEST(ClipboardFormatTest, NamesGetStableNumbersFromC000) {
    headless::THeadlessPlatformScope Scope;
    const UINT A = RegisterClipboardFormat("KESTREL_COLUMN_TEXT");
    EXPECT_EQ(A, 0xC000U);
    EXPECT_EQ(RegisterClipboardFormat("kestrel_column_text"), A);
    EXPECT_EQ(RegisterClipboardFormat("Other"), 0xC001U);
    EXPECT_EQ(RegisterClipboardFormat(""), 0U);
}

TEST(WindowPlatformTest, NoPlatformIsAClearError) {
    const TPlatformScope None{TPlatformServices{}};
    try {
        GetFocus();
        ADD_FAILURE();
    } catch (const EInvalidOperation& E) {
        EXPECT_STREQ(E.what(), "No window platform installed");
    }
}

TEST(FindDialogTest, ExecuteShowsAndTheUsersRequestsFireEvents) {
    headless::THeadlessPlatformScope Scope;
    TReplaceDialog Dialog(nullptr);
    std::vector<std::string> Log;
    Dialog.SetOnFind([&](TObject*) { Log.push_back("find"); });
    Dialog.SetOnReplace([&](TObject*) {
        Log.push_back(Dialog.GetOptions().Contains(frReplaceAll) ? "all" : "one");
    });
    Dialog.SetOnClose([&](TObject*) { Log.push_back("close"); });
    EXPECT_EQ(Dialog.GetHandle(), 0U);
    ASSERT_TRUE(Dialog.Execute());
    const HWND D = Dialog.GetHandle();
    EXPECT_TRUE(Scope.Windows().IsWindowVisible(D));
    EXPECT_EQ(GetFocus(), D);
    Dialog.ClickFindNext();
    EXPECT_TRUE(Dialog.GetOptions().Contains(frFindNext));
    EXPECT_TRUE(Dialog.GetOptions().Contains(frDown)) << "searching down by default";
    Dialog.ClickReplace(false);
    Dialog.ClickReplace(true);
    EXPECT_FALSE(Dialog.GetOptions().Contains(frReplace));
    SendMessage(D, WM_CLOSE, 0, 0);
    EXPECT_FALSE(Scope.Windows().IsWindowVisible(D));
    EXPECT_EQ(Log, (std::vector<std::string>{"find", "one", "all", "close"}));
    Dialog.Execute();
    EXPECT_EQ(Dialog.GetHandle(), D) << "the window is kept between showings";
}

} // namespace
} // namespace kestrel
