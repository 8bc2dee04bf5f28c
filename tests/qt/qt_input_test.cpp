// Qt's key, mouse, wheel and focus events reach a control as the messages the components
// handle, with the key state of the event; an exception in a handler is reported, not thrown
// into Qt.
#include "qt_fixture.h"

#include "host/controls.h"

#include <QTest>

namespace kestrel::test {
namespace {

/// Records every message it gets, with the shift state at the time it is handled.
class TSpy : public TCustomControl {
public:
    struct TSeen {
        UINT Msg;
        WPARAM WParam;
        LPARAM LParam;
        TShiftState Shift;
    };
    explicit TSpy(TComponent* AOwner) : TCustomControl(AOwner) {
        SetControlStyle(GetControlStyle() + TControlStyle{csDoubleClicks});
    }
    std::vector<TSeen> Seen;
    bool ThrowOnChar = false;

    std::vector<TSeen> Of(UINT Msg) const {
        std::vector<TSeen> R;
        for (const TSeen& S : Seen)
            if (S.Msg == Msg)
                R.push_back(S);
        return R;
    }

protected:
    void WndProc(TMessage& M) override {
        Seen.push_back(TSeen{M.Msg, M.WParam, M.LParam, GetShiftState()});
        if (M.Msg == WM_CHAR && ThrowOnChar)
            throw Exception("the handler failed");
        TCustomControl::WndProc(M);
    }
};

class QtInputTest : public QtFixture {
protected:
    void SetUp() override {
        QtFixture::SetUp();
        Spy = std::make_unique<TSpy>(nullptr);
        Spy->SetBounds(10, 10, 300, 200);
        Spy->GetHandle();
        Spy->SetFocus();
        Pump();
        Spy->Seen.clear();
    }
    void TearDown() override {
        Spy.reset();
        QtFixture::TearDown();
    }
    QWidget* SpyClient() { return Platform->Windows().ClientWidgetOf(Spy->GetHandle()); }
    std::unique_ptr<TSpy> Spy;
};

TEST_F(QtInputTest, KeysBecomeKeyDownCharAndKeyUpWithTheirModifiers) {
    QTest::keyClick(SpyClient(), Qt::Key_A);
    QTest::keyClick(SpyClient(), 'A', Qt::ShiftModifier); // with the text "A", as a keyboard gives
    QTest::keyClick(SpyClient(), Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(SpyClient(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(SpyClient(), Qt::Key_Delete);
    QTest::keyClick(SpyClient(), Qt::Key_Tab);
    QTest::keyClick(SpyClient(), Qt::Key_X, Qt::AltModifier);
    Pump();

    std::vector<WPARAM> Down;
    for (const auto& S : Spy->Of(WM_KEYDOWN))
        if (S.WParam != VK_SHIFT && S.WParam != VK_CONTROL)
            Down.push_back(S.WParam);
    EXPECT_EQ(Down, (std::vector<WPARAM>{'A', 'A', 'C', VK_DOWN, VK_DELETE, VK_TAB}));
    std::vector<WPARAM> Chars;
    for (const auto& S : Spy->Of(WM_CHAR))
        Chars.push_back(S.WParam);
    // Delete and the arrows type nothing; Ctrl+C is the control character 3; Tab stays a key.
    EXPECT_EQ(Chars, (std::vector<WPARAM>{'a', 'A', 3, '\t'}));
    for (const auto& S : Spy->Of(WM_KEYDOWN)) {
        if (S.WParam == VK_DOWN) {
            EXPECT_TRUE(S.Shift.Contains(ssShift)) << "the shift state of the key's own event";
        }
        if (S.WParam == 'C') {
            EXPECT_TRUE(S.Shift.Contains(ssCtrl));
        }
    }
    // Alt without Ctrl makes system keys (Alt itself one too).
    const auto System = Spy->Of(WM_SYSKEYDOWN);
    ASSERT_EQ(System.size(), 2U);
    EXPECT_EQ(System[0].WParam, WPARAM{VK_MENU});
    EXPECT_EQ(System[1].WParam, WPARAM{'X'});
    EXPECT_NE(System[1].LParam & (LPARAM{1} << 29), 0);
    EXPECT_FALSE(Spy->Of(WM_KEYUP).empty());
}

TEST_F(QtInputTest, MouseEventsArriveInClientCoordinatesWithDoubleClicksAndTheWheel) {
    QTest::mouseClick(SpyClient(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    QTest::mouseDClick(SpyClient(), Qt::LeftButton, Qt::ShiftModifier, QPoint(31, 41));
    QTest::mouseMove(SpyClient(), QPoint(50, 60));
    QTest::mouseClick(SpyClient(), Qt::RightButton, Qt::NoModifier, QPoint(5, 6));
    QWheelEvent Wheel(QPointF(10, 10), QPointF(SpyClient()->mapToGlobal(QPoint(10, 10))), QPoint(),
                      QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(SpyClient(), &Wheel);
    Pump();

    const auto Down = Spy->Of(WM_LBUTTONDOWN);
    ASSERT_FALSE(Down.empty());
    EXPECT_EQ(GET_X_LPARAM(Down[0].LParam), 30);
    EXPECT_EQ(GET_Y_LPARAM(Down[0].LParam), 40);
    EXPECT_NE(Down[0].WParam & MK_LBUTTON, 0U);
    const auto Double = Spy->Of(WM_LBUTTONDBLCLK);
    ASSERT_EQ(Double.size(), 1U);
    EXPECT_NE(Double[0].WParam & MK_SHIFT, 0U);
    EXPECT_EQ(GET_X_LPARAM(Double[0].LParam), 31);
    EXPECT_FALSE(Spy->Of(WM_LBUTTONUP).empty());
    EXPECT_FALSE(Spy->Of(WM_MOUSEMOVE).empty());
    ASSERT_EQ(Spy->Of(WM_RBUTTONDOWN).size(), 1U);
    EXPECT_EQ(GET_Y_LPARAM(Spy->Of(WM_RBUTTONDOWN)[0].LParam), 6);
    const auto Wheels = Spy->Of(WM_MOUSEWHEEL);
    ASSERT_EQ(Wheels.size(), 1U);
    EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(Wheels[0].WParam), -120);
}

TEST_F(QtInputTest, FocusMovesBetweenWindowsAsMessages) {
    TSpy Other(nullptr);
    Other.SetBounds(400, 10, 100, 100);
    Other.GetHandle();
    Pump();
    Other.SetFocus();
    EXPECT_EQ(Spy->Of(WM_KILLFOCUS).size(), 1U);
    EXPECT_EQ(Other.Of(WM_SETFOCUS).size(), 1U);
    EXPECT_EQ(GetFocus(), Other.GetHandle());
    // Qt giving the focus (a click) tells the windows too.
    Platform->Windows().FocusIn(Spy->GetHandle());
    EXPECT_EQ(GetFocus(), Spy->GetHandle());
    EXPECT_EQ(Other.Of(WM_KILLFOCUS).size(), 1U);
}

TEST_F(QtInputTest, AnExceptionInAHandlerIsReportedAndTheControlGoesOn) {
    Spy->ThrowOnChar = true;
    QTest::keyClick(SpyClient(), Qt::Key_B);
    QCoreApplication::processEvents();
    ASSERT_EQ(Reported.size(), 1U);
    EXPECT_EQ(Reported[0], "the handler failed");
    Spy->ThrowOnChar = false;
    QTest::keyClick(SpyClient(), Qt::Key_C);
    Pump();
    EXPECT_EQ(Spy->Of(WM_CHAR).back().WParam, WPARAM{'c'});
}

TEST_F(QtInputTest, TimersComeFromQtsLoop) {
    SetTimer(Spy->GetHandle(), 7, 20);
    QTest::qWait(120);
    const auto Timers = Spy->Of(WM_TIMER);
    EXPECT_GE(Timers.size(), 2U);
    EXPECT_LE(Timers.size(), 7U);
    KillTimer(Spy->GetHandle(), 7);
}

} // namespace
} // namespace kestrel::test
