// One list of viewer scenarios (keys pressed, then the caret, the selection and its text), run
// on the headless platform and on the Qt platform with the same expectations.
#include "qt_fixture.h"

#include "host/headless/headless_platform.h"

#include <QTest>

#include <vector>

namespace kestrel::test {
namespace {

struct TStroke {
    int VirtKey;
    TShiftState Shift;
};

struct TScenario {
    const char* Name;
    std::vector<TStroke> Keys;
    TLongPoint Caret;    ///< (character, display line)
    TLongPoint SelStart; ///< both equal to Caret: no selection
    TLongPoint SelEnd;
    std::string Selected;
};

// 30 lines, no line break after the last.
std::string ScenarioText() {
    std::string T = "alpha beta gamma\ndelta epsilon\nzeta eta theta iota\n\nkappa lambda\n";
    for (int I = 5; I < 30; ++I)
        T += "row " + std::to_string(I) + " text" + (I < 29 ? "\n" : "");
    return T;
}

const std::vector<TScenario>& Scenarios() {
    static const std::string Whole = ScenarioText();
    static const std::vector<TScenario> List = {
        {"arrows",
         {{VK_DOWN, {}}, {VK_DOWN, {}}, {VK_RIGHT, {}}, {VK_RIGHT, {}}, {VK_RIGHT, {}}},
         LongPoint(3, 2),
         LongPoint(3, 2),
         LongPoint(3, 2),
         ""},
        {"shift-right",
         {{VK_DOWN, {}},
          {VK_RIGHT, {ssShift}},
          {VK_RIGHT, {ssShift}},
          {VK_RIGHT, {ssShift}},
          {VK_RIGHT, {ssShift}},
          {VK_RIGHT, {ssShift}}},
         LongPoint(5, 1),
         LongPoint(0, 1),
         LongPoint(5, 1),
         "delta"},
        {"end-shift-home",
         {{VK_DOWN, {}}, {VK_DOWN, {}}, {VK_END, {}}, {VK_HOME, {ssShift}}},
         LongPoint(0, 2),
         LongPoint(0, 2),
         LongPoint(19, 2),
         "zeta eta theta iota"},
        {"word-right",
         {{VK_RIGHT, {ssCtrl}}, {VK_RIGHT, {ssCtrl}}},
         LongPoint(11, 0),
         LongPoint(11, 0),
         LongPoint(11, 0),
         ""},
        {"shift-down",
         {{VK_RIGHT, {ssCtrl}}, {VK_DOWN, {ssShift}}},
         LongPoint(6, 1),
         LongPoint(6, 0),
         LongPoint(6, 1),
         "beta gamma\ndelta "},
        {"shift-word-left",
         {{VK_END, {}}, {VK_LEFT, {ssCtrl, ssShift}}},
         LongPoint(11, 0),
         LongPoint(11, 0),
         LongPoint(16, 0),
         "gamma"},
        {"ctrl-end",
         {{VK_END, {ssCtrl}}},
         LongPoint(11, 29),
         LongPoint(11, 29),
         LongPoint(11, 29),
         ""},
        {"select-all-backwards",
         {{VK_END, {ssCtrl}}, {VK_HOME, {ssCtrl, ssShift}}},
         LongPoint(0, 0),
         LongPoint(0, 0),
         LongPoint(11, 29),
         Whole},
        {"page-down-up",
         {{VK_NEXT, {}}, {VK_NEXT, {}}, {VK_PRIOR, {ssShift}}, {VK_RIGHT, {ssShift}}},
         // A page is the lines on screen less one kept in view.
         LongPoint(1, 9),
         LongPoint(1, 9),
         LongPoint(0, 18),
         Whole.substr(Whole.find("row 9") + 1, Whole.find("row 18") - Whole.find("row 9") - 1)},
    };
    return List;
}

struct TOutcome {
    TLongPoint Caret, SelStart, SelEnd;
    std::string Selected;
};

TOutcome OutcomeOf(TStreamViewer& V) {
    const TLongPoint Caret = LongPoint(V.GetCharNumber(), V.GetLineNumber());
    if (V.GetSelMode() == smNone)
        return TOutcome{Caret, Caret, Caret, V.GetSelection()};
    return TOutcome{Caret, V.GetSelStart(), V.GetSelEnd(), V.GetSelection()};
}

void ExpectOutcome(const TScenario& S, const TOutcome& O, const char* Platform) {
    SCOPED_TRACE(std::string(S.Name) + " on the " + Platform + " platform");
    EXPECT_EQ(O.Caret, S.Caret);
    EXPECT_EQ(O.SelStart, S.SelStart);
    EXPECT_EQ(O.SelEnd, S.SelEnd);
    EXPECT_EQ(O.Selected, S.Selected);
}

TEST(ViewerScenarios, HeadlessPlatform) {
    for (const TScenario& S : Scenarios()) {
        headless::THeadlessPlatformScope Platform;
        TStreamViewer V(nullptr);
        V.GetFont()->SetName("Courier New");
        V.GetFont()->SetSize(10);
        V.SetBounds(20, 20, 480, 200);
        V.GetHandle();
        ShowText(V, ScenarioText());
        FitRows(V, 10);
        V.SetFocus();
        Application->ProcessMessages();
        for (const TStroke& K : S.Keys) {
            Platform.Input().SetShiftState(K.Shift);
            Platform.Input().PostKeyPress(K.VirtKey);
            Application->ProcessMessages();
        }
        Platform.Input().SetShiftState({});
        ExpectOutcome(S, OutcomeOf(V), "headless");
    }
}

int QtKeyOf(int VirtKey) {
    switch (VirtKey) {
    case VK_LEFT:
        return Qt::Key_Left;
    case VK_RIGHT:
        return Qt::Key_Right;
    case VK_UP:
        return Qt::Key_Up;
    case VK_DOWN:
        return Qt::Key_Down;
    case VK_HOME:
        return Qt::Key_Home;
    case VK_END:
        return Qt::Key_End;
    case VK_PRIOR:
        return Qt::Key_PageUp;
    case VK_NEXT:
        return Qt::Key_PageDown;
    default:
        return VirtKey; // letters and digits
    }
}

Qt::KeyboardModifiers ModifiersOf(TShiftState Shift) {
    Qt::KeyboardModifiers M;
    if (Shift.Contains(ssShift))
        M |= Qt::ShiftModifier;
    if (Shift.Contains(ssCtrl))
        M |= Qt::ControlModifier;
    if (Shift.Contains(ssAlt))
        M |= Qt::AltModifier;
    return M;
}

class ViewerScenariosQt : public QtFixture {};

TEST_F(ViewerScenariosQt, QtPlatform) {
    for (const TScenario& S : Scenarios()) {
        MakeViewer(ScenarioText());
        ASSERT_EQ(V->GetLinesOnScreen(), 10);
        for (const TStroke& K : S.Keys)
            QTest::keyClick(Client(), static_cast<Qt::Key>(QtKeyOf(K.VirtKey)),
                            ModifiersOf(K.Shift));
        Pump();
        ExpectOutcome(S, OutcomeOf(*V), "Qt");
        V.reset();
    }
    EXPECT_TRUE(Reported.empty());
}

} // namespace
} // namespace kestrel::test
