// Mouse selection, click counting on the manual clock, wheel, automatic scrolling and margins.
#include "test_viewer.h"

namespace kestrel::test {
namespace {

class MouseTest : public ViewerFixture {
protected:
    void SetUp() override {
        SetDoubleClickSpeed("300");
        ViewerFixture::SetUp();
        V->SetLines(NumberedLines(60));
        Pump();
    }
    void SetDoubleClickSpeed(const std::string& Text) {
        TRegValue Value;
        Value.Text = Text;
        Platform.Settings().RegSetValue(HKEY_CURRENT_USER, "Control Panel\\Mouse",
                                        "DoubleClickSpeed", Value);
    }
    void Down(int X, int Y) {
        Platform.Input().PostMouseDown(V->Wnd(), mbLeft, X, Y);
        Pump();
    }
    void Up(int X, int Y) {
        Platform.Input().PostMouseUp(V->Wnd(), mbLeft, X, Y);
        Pump();
    }
    void Move(int X, int Y) {
        Platform.Input().PostMouseMove(V->Wnd(), X, Y);
        Pump();
    }
    static int Row(int R) { return R * 14 + 5; }
};

TEST_F(MouseTest, TheDoubleClickTimeComesFromTheRegistryOr500) {
    EXPECT_EQ(V->GetDoubleClickTime(), 300);
    for (const char* Bad : {"abc", "", "-5", "0x20"}) {
        SetDoubleClickSpeed(Bad);
        MakeViewer();
        EXPECT_EQ(V->GetDoubleClickTime(), 500) << Bad;
    }
    TRegValue Number;
    Number.Kind = TRegValue::rdInteger;
    Number.Number = 200;
    Platform.Settings().RegSetValue(HKEY_CURRENT_USER, "Control Panel\\Mouse", "DoubleClickSpeed",
                                    Number);
    MakeViewer();
    EXPECT_EQ(V->GetDoubleClickTime(), 500) << "a value that is not a string";
    Platform.Settings().RegDeleteValue(HKEY_CURRENT_USER, "Control Panel\\Mouse",
                                       "DoubleClickSpeed");
    MakeViewer();
    EXPECT_EQ(V->GetDoubleClickTime(), 500) << "no value";
}

TEST_F(MouseTest, AClickPlacesTheCaretAndADragSelects) {
    Click(3 * 7 + 2, Row(2));
    EXPECT_EQ(Caret(), LongPoint(3, 2));
    EXPECT_EQ(V->GetSelMode(), smNone) << "an empty selection goes on release";
    EXPECT_TRUE(V->Focused());

    Down(0, Row(0));
    EXPECT_TRUE(V->GetState().Contains(vsMouseDown));
    EXPECT_EQ(Win().GetCapture(), V->Wnd());
    Move(3 * 7, Row(2));
    EXPECT_EQ(V->GetSelStart(), LongPoint(0, 0));
    EXPECT_EQ(V->GetSelEnd(), LongPoint(3, 2));
    Up(3 * 7, Row(2));
    EXPECT_FALSE(V->GetState().Contains(vsMouseDown));
    EXPECT_EQ(Win().GetCapture(), 0U);
    EXPECT_EQ(V->GetSelMode(), smExtend);

    Platform.Queue().AdvanceClock(1000);
    Click(2 * 7, Row(4), {ssShift});
    EXPECT_EQ(V->GetSelStart(), LongPoint(0, 0)) << "Shift extends from the anchor";
    EXPECT_EQ(V->GetSelEnd(), LongPoint(2, 4));
}

TEST_F(MouseTest, AltDragSelectsAColumn) {
    Platform.Input().SetShiftState({ssAlt});
    Down(7, Row(0));
    Platform.Input().SetShiftState({});
    Move(4 * 7, Row(2));
    EXPECT_EQ(V->GetSelMode(), smColumn);
    EXPECT_EQ(V->GetSelStart(), LongPoint(1, 0));
    EXPECT_EQ(V->GetSelEnd(), LongPoint(4, 2));
    Move(0, Row(3));
    EXPECT_EQ(V->GetSelStart(), LongPoint(0, 0));
    EXPECT_EQ(V->GetSelEnd(), LongPoint(1, 3)) << "the column edges are ordered";
    Up(0, Row(3));
}

TEST_F(MouseTest, ClicksCountUpToTheLineAndTheParagraphThenTheCountResets) {
    const int X = 2 * 7; // inside "line"
    Click(X, Row(0));
    EXPECT_EQ(V->GetClickState(), mcNone);
    Platform.Queue().AdvanceClock(100);
    Click(X, Row(0));
    EXPECT_EQ(V->GetClickState(), mcDouble);
    EXPECT_EQ(V->GetSelMode(), smDouble);
    EXPECT_EQ(V->GetSelStart(), LongPoint(0, 0));
    EXPECT_EQ(V->GetSelEnd(), LongPoint(4, 0)) << "the word";
    ASSERT_NE(MessageQueue().FindTimer(V->Wnd(), ClickResetTimer), nullptr);
    EXPECT_EQ(MessageQueue().FindTimer(V->Wnd(), ClickResetTimer)->Elapse, 300U);

    Platform.Queue().AdvanceClock(100);
    Click(X, Row(0));
    EXPECT_EQ(V->GetClickState(), mcTriple);
    EXPECT_EQ(V->GetSelMode(), smExtend);
    EXPECT_EQ(V->GetSelEnd(), LongPoint(6, 0)) << "the third click selects the line";

    Platform.Queue().AdvanceClock(100);
    Click(X, Row(0));
    EXPECT_EQ(V->GetClickState(), mcQuad) << "the fourth click is a platform double click";

    Platform.Queue().AdvanceClock(299);
    Pump();
    EXPECT_EQ(V->GetClickState(), mcQuad);
    Platform.Queue().AdvanceClock(1);
    Pump();
    EXPECT_EQ(V->GetClickState(), mcNone);
    EXPECT_EQ(MessageQueue().FindTimer(V->Wnd(), ClickResetTimer), nullptr);

    Platform.Queue().AdvanceClock(1000);
    Click(X, Row(1));
    Platform.Queue().AdvanceClock(301);
    Click(X, Row(1));
    EXPECT_EQ(V->GetClickState(), mcNone) << "too slow for a double click";
}

TEST_F(MouseTest, ADoubleClickWithSpacesModeTakesTheTrailingBlanks) {
    V->SetLines({"alpha   beta"});
    V->SetDoubleClickMode(dcWordAndSpaces);
    Click(7, Row(0));
    Platform.Queue().AdvanceClock(50);
    Click(7, Row(0));
    EXPECT_EQ(V->GetSelEnd(), LongPoint(8, 0));
}

TEST_F(MouseTest, ADoubleClickInTheLeftMarginSelectsAll) {
    V->SetLeftMargin(20);
    EXPECT_EQ(V->GetLeftMargin(), 20);
    Click(5, Row(3));
    Platform.Queue().AdvanceClock(50);
    Click(5, Row(3));
    EXPECT_EQ(V->GetSelStart(), LongPoint(0, 0));
    EXPECT_EQ(V->GetSelEnd(), LongPoint(10, 59));
    EXPECT_EQ(V->GetSelMode(), smExtend);
}

TEST_F(MouseTest, WheelNotchesMoveOneLineAndStopAtTheLastFullPage) {
    Platform.Input().PostMouseWheel(-120);
    Pump();
    EXPECT_EQ(V->GetTopLine(), 1);
    Platform.Input().PostMouseWheel(-360);
    Pump();
    EXPECT_EQ(V->GetTopLine(), 4);
    Platform.Input().PostMouseWheel(120);
    Pump();
    EXPECT_EQ(V->GetTopLine(), 3);
    Platform.Input().PostMouseWheel(-120 * 100);
    Pump();
    EXPECT_EQ(V->GetTopLine(), 59 - 14 + 1);
    EXPECT_EQ(V->GetVertScrollBar()->GetPosition(), 46);
    Platform.Input().PostMouseWheel(120 * 100);
    Pump();
    EXPECT_EQ(V->GetTopLine(), 0);
}

TEST_F(MouseTest, AutomaticScrollingSpeedsUpWithTheDistanceOutside) {
    V->SetAutoScroll(true);
    Down(10, Row(0));
    const TWindowTimer* T = MessageQueue().FindTimer(V->Wnd(), AutoScrollTimer);
    ASSERT_NE(T, nullptr);
    EXPECT_EQ(T->Elapse, 100U);

    auto HoverAt = [&](int X, int Y) {
        Platform.Input().SetCursorPos(ClientToScreen(V->Wnd(), TPoint{X, Y}));
        Platform.Queue().AdvanceClock(MessageQueue().FindTimer(V->Wnd(), AutoScrollTimer)->Elapse);
        Pump();
        return MessageQueue().FindTimer(V->Wnd(), AutoScrollTimer)->Elapse;
    };
    const int Height = V->GetClientHeight();
    EXPECT_EQ(HoverAt(10, Height + 40), 33U) << "40 pixels below";
    EXPECT_GT(V->GetTopLine(), 0) << "the view scrolled after the pointer";
    EXPECT_EQ(V->GetSelStart(), LongPoint(1, 0));
    EXPECT_EQ(V->GetSelEnd().Y, V->GetLineNumber());
    EXPECT_EQ(HoverAt(10, Height + 20), 50U);
    EXPECT_EQ(HoverAt(-60, 10), 25U) << "left of the window";
    EXPECT_EQ(HoverAt(10, 10), 100U) << "inside";

    Up(10, 10);
    EXPECT_EQ(MessageQueue().FindTimer(V->Wnd(), AutoScrollTimer), nullptr);
    EXPECT_EQ(Win().GetCapture(), 0U);
}

TEST_F(MouseTest, MarginsCanBeDraggedAndTheDragEndsOnRelease) {
    V->SetLeftMargin(20);
    Move(20, Row(1));
    EXPECT_TRUE(V->GetMouseState().Contains(msMarginBoundary));
    EXPECT_EQ(Win().GetWindowCursor(V->Wnd()), crHSplit);
    Down(20, Row(1));
    EXPECT_TRUE(V->GetState().Contains(vsDragging));
    Move(40, Row(1));
    EXPECT_EQ(V->GetLeftMargin(), 40);
    Up(40, Row(1));
    EXPECT_FALSE(V->GetState().Contains(vsDragging));
    EXPECT_EQ(Win().GetCapture(), 0U);
    Move(100, Row(1));
    EXPECT_EQ(V->GetLeftMargin(), 40) << "moves after the release change nothing";
    EXPECT_EQ(Win().GetWindowCursor(V->Wnd()), crIBeam);
}

TEST_F(MouseTest, MarginsAreClampedToTheClientWidth) {
    V->SetLeftMargin(-3);
    EXPECT_EQ(V->GetLeftMargin(), 0);
    V->SetLeftMargin(100000);
    EXPECT_EQ(V->GetLeftMargin(), V->GetClientWidth() - 2);
    V->SetRightMargin(0);
    EXPECT_EQ(V->GetRightMargin(), 1);
    V->SetRightMargin(100000);
    EXPECT_EQ(V->GetRightMargin(), V->GetClientWidth() - 1);
}

} // namespace
} // namespace kestrel::test
