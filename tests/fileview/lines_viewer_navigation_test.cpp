// Caret, selection and navigation of the lines viewer, driven by key messages.
#include "test_viewer.h"

namespace kestrel::test {
namespace {

class NavigationTest : public ViewerFixture {
protected:
    void SetUp() override {
        ViewerFixture::SetUp();
        V->SetLines({"hello world foo", "ab", "the quick brown fox jumps", "", "last line"});
        Pump();
        Platform.Dialogs().ClearBeeps();
    }
    void MoveTo(std::int64_t Char, std::int64_t Line) {
        V->SetLineNumber(Line);
        V->SetCharNumber(Char);
        V->ResetSelection(LongPoint(Char, Line));
    }
};

TEST_F(NavigationTest, FontGivesTheCellThatEveryPositionIsMeasuredIn) {
    // Courier New 8 pt at 96 dpi on the headless model: 7 pixels wide, 13 + 1 high.
    EXPECT_EQ(V->GetCharWidth(), 7);
    EXPECT_EQ(V->GetCharHeight(), 14);
    EXPECT_EQ(V->GetLinesOnScreen(), 14); // round(200 / 14): no scroll bar is needed
}

TEST_F(NavigationTest, CharLeftAndRightCrossLinesAndBeepAtTheEnds) {
    Key(VK_LEFT);
    EXPECT_EQ(Caret(), LongPoint(0, 0));
    EXPECT_EQ(Platform.Dialogs().GetBeeps(), std::vector<std::uint32_t>{MB_ICONASTERISK});

    MoveTo(0, 1);
    Key(VK_LEFT);
    EXPECT_EQ(Caret(), LongPoint(15, 0)); // end of the previous line

    MoveTo(9, 4);
    Platform.Dialogs().ClearBeeps();
    Key(VK_RIGHT);
    EXPECT_EQ(Caret(), LongPoint(9, 4));
    EXPECT_EQ(Platform.Dialogs().GetBeeps().size(), 1U);

    V->SetBeepOn(false);
    Key(VK_RIGHT);
    Key(VK_UP, {ssCtrl}); // a scroll, not a refused move
    MoveTo(0, 0);
    Key(VK_UP);
    EXPECT_EQ(Platform.Dialogs().GetBeeps().size(), 1U) << "no beep once BeepOn is off";
}

TEST_F(NavigationTest, CharRightStepsPastTheLineEndUntilTheExtentThenWraps) {
    MoveTo(15, 0);
    // The horizontal extent is the longest line plus one character: 25 * 7 + 7 = 182 pixels.
    int Presses = 0;
    while (V->GetLineNumber() == 0 && Presses < 50) {
        Key(VK_RIGHT);
        ++Presses;
        if (V->GetLineNumber() == 0) {
            EXPECT_EQ(V->GetCharNumber(), 15) << "past the end the character stays the last";
            EXPECT_EQ(V->GetCaretX(), 105 + 7 * Presses);
        }
    }
    EXPECT_EQ(Presses, 11);
    EXPECT_EQ(Caret(), LongPoint(0, 1));

    V->SetWPMode(true);
    MoveTo(15, 0);
    Key(VK_RIGHT);
    EXPECT_EQ(Caret(), LongPoint(0, 1)) << "word-processor mode goes to the next line at once";
}

TEST_F(NavigationTest, VerticalMovesKeepThePixelColumnOrTheLineEndInWordProcessorMode) {
    V->SetLines({std::string(25, 'a'), "bbbbb", std::string(25, 'c')});
    MoveTo(20, 0);
    Key(VK_DOWN);
    EXPECT_EQ(Caret(), LongPoint(5, 1));
    EXPECT_EQ(V->GetCaretX(), 140) << "the caret rests past the end of the short line";
    Key(VK_DOWN);
    EXPECT_EQ(Caret(), LongPoint(20, 2));

    V->SetWPMode(true);
    MoveTo(20, 0);
    Key(VK_DOWN);
    EXPECT_EQ(Caret(), LongPoint(5, 1));
    EXPECT_EQ(V->GetCaretX(), 35);
    Key(VK_DOWN);
    EXPECT_EQ(Caret(), LongPoint(5, 2)) << "the pixel column of that line end";
}

TEST_F(NavigationTest, WordMovesStopAtWordStartsAndCrossLineEnds) {
    Key(VK_RIGHT, {ssCtrl});
    EXPECT_EQ(Caret(), LongPoint(6, 0));
    Key(VK_RIGHT, {ssCtrl});
    EXPECT_EQ(Caret(), LongPoint(12, 0));
    Key(VK_RIGHT, {ssCtrl});
    EXPECT_EQ(Caret(), LongPoint(15, 0));
    Key(VK_RIGHT, {ssCtrl});
    EXPECT_EQ(Caret(), LongPoint(0, 1)) << "on to the next line's word, not stuck at the end";
    Key(VK_RIGHT, {ssCtrl});
    EXPECT_EQ(Caret(), LongPoint(2, 1));
    Key(VK_RIGHT, {ssCtrl});
    EXPECT_EQ(Caret(), LongPoint(0, 2));

    MoveTo(9, 2);
    Key(VK_LEFT, {ssCtrl});
    EXPECT_EQ(Caret(), LongPoint(4, 2));
    Key(VK_LEFT, {ssCtrl});
    EXPECT_EQ(Caret(), LongPoint(0, 2));
    Key(VK_LEFT, {ssCtrl});
    EXPECT_EQ(Caret(), LongPoint(0, 1)) << "the word on the previous line";
}

TEST_F(NavigationTest, LineStartEndAndTextStartEnd) {
    MoveTo(4, 2);
    Key(VK_END);
    EXPECT_EQ(Caret(), LongPoint(25, 2));
    Key(VK_HOME);
    EXPECT_EQ(Caret(), LongPoint(0, 2));
    Key(VK_END, {ssCtrl});
    EXPECT_EQ(Caret(), LongPoint(9, 4));
    Key(VK_HOME, {ssCtrl});
    EXPECT_EQ(Caret(), LongPoint(0, 0));
    Key(VK_DOWN);
    Key(VK_DOWN);
    Key(VK_UP);
    EXPECT_EQ(Caret(), LongPoint(0, 1));
    MoveTo(0, 4);
    Key(VK_DOWN);
    EXPECT_EQ(Caret(), LongPoint(0, 4));
    EXPECT_EQ(Platform.Dialogs().GetBeeps().size(), 1U);
}

TEST_F(NavigationTest, PagingMovesTheCaretAPageAndInCaretConstantModeTheViewToo) {
    V->SetLines(NumberedLines(100));
    ASSERT_EQ(V->GetLinesOnScreen(), 14);
    Key(VK_NEXT);
    EXPECT_EQ(Caret().Y, 13);
    EXPECT_EQ(V->GetTopLine(), 0);
    Key(VK_NEXT);
    EXPECT_EQ(Caret().Y, 26);
    EXPECT_EQ(V->GetTopLine(), 13) << "the view follows the caret";
    Key(VK_PRIOR);
    EXPECT_EQ(Caret().Y, 13);

    V->SetPagingMode(pmCaretConstant);
    MoveTo(0, 2);
    V->SetDeltaY(0);
    Key(VK_NEXT);
    EXPECT_EQ(Caret().Y, 15);
    EXPECT_EQ(V->GetTopLine(), 13);
    EXPECT_EQ(Caret().Y - V->GetTopLine(), 2) << "the caret keeps its row";

    MoveTo(0, 80);
    V->SetDeltaY(80);
    Key(VK_NEXT);
    EXPECT_EQ(Caret().Y, 93) << "the caret still moves a page";
    EXPECT_EQ(V->GetTopLine(), 87) << "the view stops at its limit (LastLine - LinesOnScreen + 2)";
    EXPECT_EQ(V->GetVertScrollBar()->GetPosition(), 86) << "the bar stops at Limit - PageSize + 1";
}

TEST_F(NavigationTest, ScrollKeysMoveTheViewAndDragTheCaretAlongAtTheEdge) {
    V->SetLines(NumberedLines(100));
    Key(VK_DOWN, {ssCtrl});
    EXPECT_EQ(V->GetTopLine(), 1);
    EXPECT_EQ(Caret().Y, 1) << "the caret line scrolled off the top";
    Key(VK_DOWN, {ssCtrl});
    Key(VK_UP, {ssCtrl});
    EXPECT_EQ(V->GetTopLine(), 1);
    EXPECT_EQ(Caret().Y, 2);

    MoveTo(0, 14);
    ASSERT_EQ(V->GetTopLine(), 1);
    Key(VK_UP, {ssCtrl});
    EXPECT_EQ(V->GetTopLine(), 0);
    EXPECT_EQ(Caret().Y, 13) << "the caret line scrolled off the bottom";
}

TEST_F(NavigationTest, ShiftExtendsAPlainMoveCollapsesAndTheAnchorHoldsWhenCrossed) {
    MoveTo(10, 0);
    Key(VK_RIGHT, {ssShift});
    EXPECT_EQ(V->GetSelStart(), LongPoint(10, 0));
    EXPECT_EQ(V->GetSelEnd(), LongPoint(11, 0));
    EXPECT_EQ(V->GetSelMode(), smExtend);
    EXPECT_TRUE(V->GetState().Contains(vsSelection));
    Key(VK_LEFT);
    EXPECT_EQ(Caret(), LongPoint(10, 0)) << "collapses to the start without moving further";
    EXPECT_EQ(V->GetSelMode(), smNone);
    EXPECT_FALSE(V->GetState().Contains(vsSelection));

    // Over the anchor and back: the selection always runs from the anchor.
    Key(VK_RIGHT, {ssShift});
    Key(VK_RIGHT, {ssShift});
    Key(VK_LEFT, {ssShift});
    Key(VK_LEFT, {ssShift});
    Key(VK_LEFT, {ssShift});
    EXPECT_EQ(V->GetSelStart(), LongPoint(9, 0));
    EXPECT_EQ(V->GetSelEnd(), LongPoint(10, 0));
    Key(VK_RIGHT, {ssShift});
    Key(VK_RIGHT, {ssShift});
    EXPECT_EQ(V->GetSelStart(), LongPoint(10, 0));
    EXPECT_EQ(V->GetSelEnd(), LongPoint(11, 0));
    Key(VK_RIGHT);
    EXPECT_EQ(Caret(), LongPoint(11, 0)) << "collapses to the end";

    MoveTo(3, 2);
    Key(VK_DOWN, {ssShift});
    Key(VK_DOWN, {ssShift});
    EXPECT_EQ(V->GetSelStart(), LongPoint(3, 2));
    EXPECT_EQ(V->GetSelEnd(), LongPoint(3, 4)) << "the pixel column survives the empty line";
}

TEST_F(NavigationTest, AltSelectsAColumnWithOrderedEdgesAndShiftWinsOverAlt) {
    MoveTo(5, 2);
    Key(VK_RIGHT, {ssAlt});
    Key(VK_UP, {ssAlt});
    Key(VK_UP, {ssAlt});
    EXPECT_EQ(V->GetSelMode(), smColumn);
    EXPECT_EQ(V->GetSelStart(), LongPoint(5, 0));
    EXPECT_EQ(V->GetSelEnd(), LongPoint(6, 2)) << "the left edge comes first";

    MoveTo(5, 2);
    Key(VK_RIGHT, {ssAlt, ssShift});
    EXPECT_EQ(V->GetSelMode(), smExtend);

    MoveTo(5, 2);
    V->SetSelectionModeLock({slAlt});
    Key(VK_RIGHT);
    EXPECT_EQ(V->GetSelMode(), smColumn) << "the lock acts as a held Alt";
    V->SetSelectionModeLock({slShift});
    Key(VK_RIGHT);
    EXPECT_EQ(V->GetSelMode(), smExtend);
}

TEST_F(NavigationTest, SelectAllAndCancelSelection) {
    MoveTo(2, 1);
    V->SelectAll();
    EXPECT_EQ(V->GetSelStart(), LongPoint(0, 0));
    EXPECT_EQ(V->GetSelEnd(), LongPoint(9, 4));
    EXPECT_EQ(V->GetLineNumber(), 4);
    const TLongPoint Before = Caret();
    Key(VK_ESCAPE);
    EXPECT_EQ(V->GetSelMode(), smNone);
    EXPECT_EQ(Caret(), Before) << "cancelling does not move the caret";
}

TEST_F(NavigationTest, EveryStateChangeIsReportedWhileFocused) {
    std::vector<TViewerStates> Seen;
    V->SetOnStateChange([&](TObject*) { Seen.push_back(V->GetState()); });
    Key(VK_RIGHT, {ssShift});
    ASSERT_FALSE(Seen.empty());
    EXPECT_TRUE(Seen.back().Contains(vsSelection));
    Seen.clear();
    V->SetFindStr("x");
    V->SetFindStr("");
    ASSERT_EQ(Seen.size(), 2U);
    EXPECT_TRUE(Seen[0].Contains(vsSearchString));
    EXPECT_FALSE(Seen[1].Contains(vsSearchString));

    Seen.clear();
    Win().SetFocus(0);
    V->SetState(vsModified, true);
    EXPECT_TRUE(Seen.empty()) << "only a focused viewer reports";
}

TEST_F(NavigationTest, ReInitialiseKeepsOnlyInsertAndPasteFlags) {
    V->SetState(TViewerStates{vsInsertOn, vsPasteAvailable, vsModified, vsSearchString}, true);
    V->SetLines({""});
    EXPECT_EQ(V->GetState(), (TViewerStates{vsInsertOn, vsPasteAvailable, vsEmpty}));
    EXPECT_EQ(Caret(), LongPoint(0, 0));
    EXPECT_EQ(V->GetPageCount(), 1);
}

TEST_F(NavigationTest, EffectiveLineNumbersAndPages) {
    V->SetLines(NumberedLines(50));
    V->SetLinesPerPageForTest(10);
    V->SetPageCountForTest(5);
    V->SetLineNumber(23);
    EXPECT_EQ(V->GetEffectiveLineNumber(), 23);
    V->SetLineNumberMode(lnPageRelative);
    EXPECT_EQ(V->GetEffectiveLineNumber(), 3) << "restarts on each printed page";
    V->SetEffectiveLineNumber(6);
    EXPECT_EQ(V->GetLineNumber(), 7);

    V->SetPageNumber(2);
    EXPECT_EQ(V->GetLineNumber(), 10);
    V->SetPageNumber(6);
    EXPECT_EQ(Caret(), LongPoint(static_cast<std::int64_t>(V->Lines()[49].size()), 49));
    for (std::int64_t Bad : {0, 7, -1}) {
        try {
            V->SetPageNumber(Bad);
            ADD_FAILURE() << Bad;
        } catch (const EUserError& E) {
            EXPECT_STREQ(E.what(), "The specified page does not exist");
        }
    }
}

TEST(ExpandStringTest, EscapesExpandAndBadOnesRaise) {
    EXPECT_EQ(TLinesViewer::ExpandString("a^065b"), "aAb");
    EXPECT_EQ(TLinesViewer::ExpandString("^t^T"), "\t\t");
    EXPECT_EQ(TLinesViewer::ExpandString("^l^P"), "\f\r\n");
    EXPECT_EQ(TLinesViewer::ExpandString("^^"), "^");
    EXPECT_EQ(TLinesViewer::ExpandString("x^2"), std::string("x\x02", 2)) << "short at the end";
    EXPECT_EQ(TLinesViewer::ExpandString("end^"), "end^");
    EXPECT_EQ(TLinesViewer::ExpandString("^000"), std::string(1, '\0'));
    for (const char* Bad : {"^256", "^2a", "^1x9"}) {
        try {
            TLinesViewer::ExpandString(Bad);
            ADD_FAILURE() << Bad;
        } catch (const EUserError& E) {
            EXPECT_STREQ(E.what(),
                         "Code after the ^ must be between 0 and 255 and be three digits long");
        }
    }
    try {
        TLinesViewer::ExpandString("^x");
        ADD_FAILURE();
    } catch (const EUserError& E) {
        EXPECT_STREQ(E.what(), "Unknown Character in search/replace text");
    }
}

} // namespace
} // namespace kestrel::test
