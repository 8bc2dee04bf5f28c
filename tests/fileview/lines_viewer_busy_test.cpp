// Busy mode: progress reports that pump the queue, refuse input, abort on the cancel key; and
// the search entry that runs inside it.
#include "test_viewer.h"

namespace kestrel::test {
namespace {

// A window that counts what reaches it.
class TCounter : public TWinControl {
public:
    using TWinControl::TWinControl;
    std::vector<UINT> Seen;
    void WndProc(TMessage& Message) override {
        Seen.push_back(Message.Msg);
        TWinControl::WndProc(Message);
    }
    int Count(UINT Msg) const {
        return static_cast<int>(std::count(Seen.begin(), Seen.end(), Msg));
    }
};

class BusyTest : public ViewerFixture {
protected:
    void SetUp() override {
        ViewerFixture::SetUp();
        V->SetLines(NumberedLines(40));
        Pump();
        Counter = std::make_unique<TCounter>(nullptr);
        Counter->SetBounds(500, 10, 50, 50);
        Counter->GetHandle();
        Pump();
        Counter->Seen.clear();
        Win().SetFocus(V->Wnd());
        Platform.Dialogs().ClearBeeps();
    }
    void TearDown() override {
        Counter.reset();
        ViewerFixture::TearDown();
    }
    std::unique_ptr<TCounter> Counter;
};

TEST_F(BusyTest, BusyModeCannotNestAndCannotEndTwice) {
    std::vector<std::pair<std::int64_t, std::int64_t>> Progress;
    V->SetOnProgressEvent([&](TLinesViewer*, std::int64_t Done, std::int64_t Total, bool&) {
        Progress.emplace_back(Done, Total);
    });
    V->EnterBusyMode(50);
    EXPECT_TRUE(V->GetState().Contains(vsBusy));
    EXPECT_EQ(Win().GetWindowCursor(V->Wnd()), crHourGlass);
    try {
        V->EnterBusyMode(10);
        ADD_FAILURE();
    } catch (const EInternalError& E) {
        EXPECT_STREQ(E.what(), "Entering Busy Mode when already busy");
    }
    V->AdjustCharsToProcess(25);
    V->ExitBusyMode();
    EXPECT_EQ(Win().GetWindowCursor(V->Wnd()), crIBeam);
    try {
        V->ExitBusyMode();
        ADD_FAILURE();
    } catch (const EInternalError& E) {
        EXPECT_STREQ(E.what(), "Exiting Busy State when not busy");
    }
    using P = std::pair<std::int64_t, std::int64_t>;
    EXPECT_EQ(Progress, (std::vector<P>{{0, 50}, {75, 75}}));
    V->EnterBusyMode(0);
    V->ExitBusyMode();
    EXPECT_EQ(Progress.size(), 2U) << "no total, no progress events";
}

TEST_F(BusyTest, ProgressRefusesInputButPaintsTimersAndMovesStillRun) {
    V->EnterBusyMode(100);
    Win().SetFocus(Counter->GetHandle());
    Platform.Input().PostKeyPress('A');
    Platform.Input().PostMouseDown(Counter->GetHandle(), mbLeft, 5, 5);
    Platform.Input().PostMouseUp(Counter->GetHandle(), mbLeft, 5, 5);
    Platform.Input().PostMouseMove(Counter->GetHandle(), 6, 6);
    Counter->Invalidate();
    SetTimer(Counter->GetHandle(), 7, 10);
    Platform.Queue().AdvanceClock(10);
    EXPECT_TRUE(V->ReportProgress(5));
    EXPECT_EQ(MessageQueue().GetLength(), 0U);
    EXPECT_EQ(Counter->Count(WM_KEYDOWN), 0);
    EXPECT_EQ(Counter->Count(WM_CHAR), 0);
    EXPECT_EQ(Counter->Count(WM_LBUTTONDOWN) + Counter->Count(WM_LBUTTONUP), 0);
    EXPECT_EQ(Counter->Count(WM_KEYUP), 1);
    EXPECT_EQ(Counter->Count(WM_MOUSEMOVE), 1);
    EXPECT_EQ(Counter->Count(WM_PAINT), 1);
    EXPECT_EQ(Counter->Count(WM_TIMER), 1);
    EXPECT_EQ(Platform.Dialogs().GetBeeps(),
              (std::vector<std::uint32_t>{MB_SIMPLE, MB_SIMPLE, MB_SIMPLE}));

    V->SetBeepOn(false);
    Platform.Dialogs().ClearBeeps();
    Platform.Input().PostKeyPress('B');
    V->ReportProgress(6);
    EXPECT_TRUE(Platform.Dialogs().GetBeeps().empty());
    V->ExitBusyMode();
}

TEST_F(BusyTest, TheCancelKeyAbortsAndTheLastCharacterDecides) {
    V->EnterBusyMode(100);
    Platform.Input().PostKeyPress(VK_ESCAPE);
    EXPECT_FALSE(V->ReportProgress(1));
    Platform.Input().PostKeyPress(VK_ESCAPE);
    Platform.Input().PostKeyPress('A');
    EXPECT_TRUE(V->ReportProgress(2));
    Platform.Input().PostKeyPress('A');
    Platform.Input().PostKeyPress(VK_ESCAPE);
    EXPECT_FALSE(V->ReportProgress(3));

    V->SetCancelKey('X');
    Platform.Input().PostKeyPress(VK_ESCAPE);
    EXPECT_TRUE(V->ReportProgress(4)) << "only the cancel key's code aborts";
    Platform.Input().SetShiftState({ssShift}); // the character comes from the state at translation
    Platform.Input().PostKeyPress('X');
    EXPECT_FALSE(V->ReportProgress(5));
    Platform.Input().SetShiftState({});
    V->ExitBusyMode();
}

TEST_F(BusyTest, HandlersCanVetoAnAbortOrAskForOne) {
    V->EnterBusyMode(100);
    int Asked = 0;
    int Answer = IDNO;
    V->SetOnAbortRequest([&](TObject*, int& Response) {
        ++Asked;
        Response = Answer;
    });
    Platform.Input().PostKeyPress(VK_ESCAPE);
    EXPECT_TRUE(V->ReportProgress(1));
    Answer = IDYES;
    Platform.Input().PostKeyPress(VK_ESCAPE);
    EXPECT_FALSE(V->ReportProgress(2));
    EXPECT_EQ(Asked, 2);

    std::vector<std::int64_t> Done;
    V->SetOnProgressEvent(
        [&](TLinesViewer* Sender, std::int64_t D, std::int64_t Total, bool& Cancel) {
            EXPECT_EQ(Sender, V.get());
            EXPECT_EQ(Total, 100);
            Done.push_back(D);
            Cancel = D >= 50;
        });
    EXPECT_TRUE(V->ReportProgress(10));
    EXPECT_FALSE(V->ReportProgress(50));
    EXPECT_EQ(Done, (std::vector<std::int64_t>{10, 50}));
    V->SetOnProgressEvent(nullptr);
    V->ExitBusyMode();
}

TEST_F(BusyTest, AQuitMessageAbortsAndIsPostedAgain) {
    V->EnterBusyMode(10);
    PostMessage(Counter->GetHandle(), WM_USER, 0, 0);
    PostQuitMessage(3);
    PostMessage(Counter->GetHandle(), WM_USER + 1, 0, 0);
    EXPECT_FALSE(V->ReportProgress(1));
    EXPECT_TRUE(MessageQueue().GetQuitPosted());
    EXPECT_EQ(Counter->Count(WM_USER), 1);
    EXPECT_EQ(Counter->Count(WM_USER + 1), 1) << "posted messages come before the quit";
    V->ExitBusyMode();
    Pump();
    EXPECT_TRUE(Application->GetTerminated()) << "the application still ends";
}

TEST_F(BusyTest, FindNextSearchesInBusyModeAndRefusesASecondSearch) {
    bool Nested = true;
    V->OnSearch = [&] {
        EXPECT_TRUE(V->GetState().Contains(vsBusy));
        EXPECT_TRUE(V->GetState().Contains(vsSearching));
        Platform.Dialogs().ClearBeeps();
        Nested = V->FindNext(nullptr);
    };
    EXPECT_TRUE(V->Find(nullptr, "line 3^^", {frDown}) == false);
    EXPECT_EQ(V->GetFindStr(), "line 3^");
    EXPECT_TRUE(V->Find(nullptr, "line 3", {frDown}));
    EXPECT_FALSE(Nested);
    EXPECT_EQ(Platform.Dialogs().GetBeeps(), std::vector<std::uint32_t>{MB_ICONASTERISK});
    EXPECT_EQ(V->GetSelStart(), LongPoint(0, 3));
    EXPECT_FALSE(V->GetState().Contains(vsBusy));
    EXPECT_FALSE(V->GetState().Contains(vsSearching));
    EXPECT_TRUE(V->GetState().Contains(vsSearchString));
    EXPECT_EQ(V->GetFindOptions(), TFindOptions{frDown});

    V->OnSearch = [] { throw Exception("disk gone"); };
    EXPECT_THROW(V->FindNext(nullptr), Exception);
    EXPECT_FALSE(V->GetState().Contains(vsBusy));
    EXPECT_FALSE(V->GetState().Contains(vsSearching));

    V->OnSearch = nullptr;
    V->EnterBusyMode(1);
    EXPECT_THROW(V->FindNext(nullptr), EInternalError);
    EXPECT_FALSE(V->GetState().Contains(vsSearching)) << "a refused search leaves no flag";
    V->ExitBusyMode();
    EXPECT_THROW(V->Find(nullptr, "^x", {}), EUserError);
}

TEST_F(BusyTest, AFailureLeavingBusyModeIsReportedUnlessAnEarlierOneIs) {
    // The progress display fails on the last report, which leaving busy mode makes.
    V->SetOnProgressEvent([](TLinesViewer*, std::int64_t Done, std::int64_t Total, bool&) {
        if (Total > 0 && Done == Total)
            throw EWriteError("progress display gone");
    });
    V->OnSearch = nullptr;
    try {
        V->FindNext(nullptr);
        ADD_FAILURE() << "leaving busy mode failed";
    } catch (const EWriteError& E) {
        EXPECT_STREQ(E.what(), "progress display gone");
    }
    EXPECT_FALSE(V->GetState().Contains(vsBusy));
    EXPECT_FALSE(V->GetState().Contains(vsSearching));
    // The search fails first: its failure is the one reported, and both states are left.
    V->OnSearch = [] { throw EReadError("disk gone"); };
    try {
        V->FindNext(nullptr);
        ADD_FAILURE() << "the search failed";
    } catch (const EReadError& E) {
        EXPECT_STREQ(E.what(), "disk gone");
    }
    EXPECT_FALSE(V->GetState().Contains(vsBusy));
    EXPECT_FALSE(V->GetState().Contains(vsSearching));
}

TEST_F(BusyTest, AFoundMatchMovesTheFindDialogOffTheCaret) {
    TFindDialog Dialog(nullptr);
    Dialog.SetPosition(0, 0);
    Dialog.Execute();
    ASSERT_EQ(Win().GetFocus(), Dialog.GetHandle());
    Dialog.SetOnFind(
        [&](TObject*) { V->Find(&Dialog, Dialog.GetFindText(), Dialog.GetOptions()); });
    Dialog.SetFindText("line 3");
    Dialog.ClickFindNext();
    // The caret ends the match at (6, 3): client (42, 42), screen (52, 52), inside the dialog.
    EXPECT_EQ(Caret(), LongPoint(6, 3));
    EXPECT_EQ(Dialog.GetLeft(), 0);
    EXPECT_EQ(Dialog.GetTop(), 52 + 14 + 1) << "below the caret line: the dialog is taller";
    EXPECT_EQ(Win().GetFocus(), Dialog.GetHandle()) << "the dialog gets the focus back";

    V->SetLineNumber(20);
    Dialog.SetPosition(0, 150);
    Dialog.SetFindText("line 30");
    Dialog.ClickFindNext();
    const std::int64_t CaretScreenY = 10 + (30 - V->GetTopLine()) * 14;
    ASSERT_GT(CaretScreenY, 150);
    ASSERT_LT(CaretScreenY, 150 + TFindDialog::DialogHeight);
    EXPECT_EQ(Dialog.GetTop(), CaretScreenY - TFindDialog::DialogHeight - 1) << "above it";

    const int Top = Dialog.GetTop();
    Dialog.SetFindText("no such text");
    Dialog.ClickFindNext();
    EXPECT_EQ(Dialog.GetTop(), Top);
}

} // namespace
} // namespace kestrel::test
