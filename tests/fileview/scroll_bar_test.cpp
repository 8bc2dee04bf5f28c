// TWinScrollBar over a window of the headless platform, and the flicker-free control's paint.
#include "fileview/flicker_free.h"
#include "fileview/scroll_bar.h"
#include "host/application.h"
#include "host/exceptions.h"
#include "host/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace kestrel {
namespace {

class ScrollBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        Host = std::make_unique<TWinControl>(nullptr);
        Host->SetBounds(0, 0, 300, 200);
        Bar = std::make_unique<TWinScrollBar>(Host.get(), sbVertical);
        Bar->SetOnChange([this](TObject*) { ++Changes; });
        Bar->SetOnScroll([this](TObject*) { ++Scrolls; });
    }
    const headless::THeadlessScrollBar& Platform() {
        return Scope.Windows().GetScrollBar(Host->GetHandle(), SB_VERT);
    }
    void Send(std::uint16_t Code, std::int32_t Thumb = 0) {
        TMessage M{WM_VSCROLL, MakeScrollWParam(Code, Thumb), 0, 0};
        Bar->ScrollMessage(M);
    }

    headless::THeadlessPlatformScope Scope;
    std::unique_ptr<TWinControl> Host;
    std::unique_ptr<TWinScrollBar> Bar;
    int Changes = 0;
    int Scrolls = 0;
};

TEST_F(ScrollBarTest, DefaultsAfterConstruction) {
    EXPECT_EQ(Bar->GetPageSize(), 1);
    EXPECT_EQ(Bar->GetClickSize(), 1);
    EXPECT_EQ(Bar->GetScale(), 1);
    EXPECT_TRUE(Bar->GetTracking());
    EXPECT_TRUE(Bar->GetEnableUpdates());
    EXPECT_FALSE(Bar->GetVisible());
    EXPECT_EQ(Bar->GetMode(), sbAutomatic);
    EXPECT_EQ(Bar->GetLimit(), 0);
    EXPECT_EQ(Bar->GetPosition(), 0);
}

TEST_F(ScrollBarTest, LargeRangesScaleByPowersOfTwo) {
    Host->GetHandle();
    Bar->SetPageSize(20);
    Bar->SetLimit(100000);
    EXPECT_EQ(Bar->GetScale(), 4);
    EXPECT_EQ(Bar->GetScaledLimit(), 25000);
    EXPECT_EQ(Platform().Max, 25000);
    EXPECT_EQ(Platform().Page, 20) << "the page is not divided";

    Bar->SetPageSize(10);
    Bar->SetLimit(32767 + 9);
    EXPECT_EQ(Bar->GetScale(), 1);
    Bar->SetLimit(32767 + 10);
    EXPECT_EQ(Bar->GetScale(), 2);
    EXPECT_EQ(Bar->GetScaledLimit(), (32767 + 10) / 2);

    Bar->SetLimit(-5);
    EXPECT_EQ(Bar->GetScale(), 1) << "a negative range keeps scale 1";
}

TEST_F(ScrollBarTest, TheThumbDroppedAtTheEndReachesTheTrueEnd) {
    Host->GetHandle();
    Bar->SetPageSize(20);
    Bar->SetLimit(100000);
    Bar->SetTracking(false);
    Send(SB_THUMBPOSITION, 24981); // 24981 + 20 >= 25000
    EXPECT_EQ(Bar->GetPosition(), 100000 - 20 + 1);
    EXPECT_EQ(Scrolls, 1);
    Send(SB_THUMBPOSITION, 1000);
    EXPECT_EQ(Bar->GetPosition(), 4000);
    EXPECT_EQ(Platform().Pos, 1000);
}

TEST_F(ScrollBarTest, BillionsOfUnitsMapWithoutOverflow) {
    const std::int64_t Limit = 3'000'000'000LL; // a text of three billion lines
    Bar->SetPageSize(50);
    Bar->SetLimit(Limit);
    EXPECT_EQ(Bar->GetScale(), 131072);
    Send(SB_THUMBTRACK, 20000);
    EXPECT_EQ(Bar->GetPosition(), 20000LL * 131072) << "beyond 2^31 without wrapping";
    Send(SB_THUMBTRACK, static_cast<std::int32_t>(Bar->GetScaledLimit() - 50));
    EXPECT_EQ(Bar->GetPosition(), Limit - 50 + 1);

    // A bar whose platform range exceeds 16 bits: the thumb arrives intact.
    Bar->SetPageSize(20000);
    Bar->SetLimit(45000);
    ASSERT_EQ(Bar->GetScale(), 1);
    Send(SB_THUMBTRACK, 25001);
    EXPECT_EQ(Bar->GetPosition(), 25001);
}

TEST_F(ScrollBarTest, PositionsClampAndLimitChangesPullThePositionIn) {
    Bar->SetPageSize(10);
    Bar->SetLimit(100);
    Bar->SetPosition(-5);
    EXPECT_EQ(Bar->GetPosition(), 0);
    Bar->SetPosition(1000);
    EXPECT_EQ(Bar->GetPosition(), 91);
    EXPECT_EQ(Scrolls, 0) << "SetPosition fires no OnScroll";

    Bar->SetLimit(50);
    EXPECT_EQ(Bar->GetPosition(), 41) << "the new end";
    Bar->SetLimit(5);
    EXPECT_EQ(Bar->GetPosition(), 0);
    EXPECT_EQ(Scrolls, 1) << "everything fits: back to 0 with OnScroll";
}

TEST_F(ScrollBarTest, ScrollCodesMoveAndReport) {
    Bar->SetPageSize(10);
    Bar->SetLimit(100);
    Bar->SetClickSize(3);
    Send(SB_LINEDOWN);
    EXPECT_EQ(Bar->GetPosition(), 3);
    Send(SB_PAGEDOWN);
    EXPECT_EQ(Bar->GetPosition(), 12);
    Send(SB_PAGEUP);
    Send(SB_LINEUP);
    EXPECT_EQ(Bar->GetPosition(), 0);
    Send(SB_BOTTOM);
    EXPECT_EQ(Bar->GetPosition(), 91);
    Send(SB_TOP);
    EXPECT_EQ(Bar->GetPosition(), 0);
    EXPECT_EQ(Scrolls, 6);
    Send(SB_ENDSCROLL);
    Send(SB_THUMBPOSITION, 50); // tracking: the drop changes nothing
    EXPECT_EQ(Scrolls, 6);
    EXPECT_EQ(Bar->GetPosition(), 0);
    Send(SB_THUMBTRACK, 50);
    EXPECT_EQ(Bar->GetPosition(), 50);
    Send(99);
    EXPECT_EQ(Scrolls, 8) << "an unknown code still reports";
}

TEST_F(ScrollBarTest, AutomaticModeShowsTheBarOnlyWhenTheExtentDoesNotFit) {
    Host->GetHandle();
    Bar->Refresh();
    EXPECT_FALSE(Platform().Visible) << "Limit 0, PageSize 1";
    Bar->SetPageSize(10);
    Bar->SetLimit(9);
    EXPECT_FALSE(Platform().Visible);
    Bar->SetLimit(10);
    EXPECT_TRUE(Bar->GetVisible());
    EXPECT_TRUE(Platform().Visible);
    EXPECT_EQ(Scope.Windows().GetClientRect(Host->GetHandle()).Right,
              300 - headless::HeadlessScrollBarSize)
        << "the bar takes client width";

    Bar->SetMode(sbManual);
    Bar->SetLimit(0);
    EXPECT_TRUE(Platform().Visible) << "manual mode leaves visibility to the program";
}

TEST_F(ScrollBarTest, DisabledUpdatesAreStoredAndShownLater) {
    Host->GetHandle();
    Bar->SetPageSize(10);
    Bar->SetLimit(100);
    Bar->SetPosition(20);
    ASSERT_EQ(Platform().Pos, 20);
    Bar->SetEnableUpdates(false);
    Bar->SetLimit(1000);
    Bar->SetPosition(500);
    EXPECT_EQ(Bar->GetPosition(), 500);
    EXPECT_EQ(Platform().Max, 100);
    EXPECT_EQ(Platform().Pos, 20);
    Bar->SetEnableUpdates(true);
    EXPECT_EQ(Platform().Max, 1000);
    EXPECT_EQ(Platform().Pos, 500);
}

TEST_F(ScrollBarTest, AChangeHandlerThatChangesTheLimitIsPickedUpNotReentered) {
    Host->GetHandle();
    std::vector<std::int64_t> Locks;
    Bar->SetPageSize(20);
    Bar->SetOnChange([&](TObject*) {
        Locks.push_back(Bar->GetUpdateLock());
        if (Bar->GetLimit() == 100000)
            Bar->SetLimit(500); // nested: stored, its own platform update skipped
    });
    Bar->SetLimit(100000);
    EXPECT_EQ(Bar->GetLimit(), 500);
    EXPECT_EQ(Bar->GetScale(), 1);
    EXPECT_EQ(Platform().Max, 500) << "the outer loop ran again for the new limit";
    ASSERT_FALSE(Locks.empty());
    for (std::int64_t L : Locks)
        EXPECT_EQ(L, 1);
    EXPECT_EQ(Bar->GetUpdateLock(), 0);
}

TEST_F(ScrollBarTest, ChangeEventsComeFromTheRangeAlwaysAndThePositionOnlyWithAWindow) {
    Bar->SetLimit(100); // no window yet
    const int RangeOnly = Changes;
    EXPECT_GE(RangeOnly, 1);
    Bar->SetPosition(10);
    EXPECT_EQ(Changes, RangeOnly);
    Host->GetHandle();
    Bar->SetPosition(20);
    EXPECT_EQ(Changes, RangeOnly + 1);
}

TEST_F(ScrollBarTest, AssignCopiesEverythingButPositionAndMode) {
    TWinScrollBar Other(Host.get(), sbHorizontal);
    Other.SetMode(sbManual);
    Other.SetVisible(true);
    Other.SetPageSize(7);
    Other.SetLimit(70);
    Other.SetPosition(30);
    Other.SetClickSize(4);
    Other.SetTracking(false);
    Bar->Assign(&Other);
    EXPECT_EQ(Bar->GetLimit(), 70);
    EXPECT_EQ(Bar->GetPageSize(), 7);
    EXPECT_EQ(Bar->GetClickSize(), 4);
    EXPECT_FALSE(Bar->GetTracking());
    EXPECT_EQ(Bar->GetPosition(), 0);
    EXPECT_EQ(Bar->GetMode(), sbAutomatic);
    TPersistent Plain;
    EXPECT_THROW(Bar->Assign(&Plain), EConvertError);
}

// A flicker-free control that paints its update rectangle red and logs what it was asked.
class TRedControl : public TFlickerFreeControl {
public:
    using TFlickerFreeControl::TFlickerFreeControl;
    std::vector<TRect> Painted;
    bool Throw = false;
    void Disable() { EnableUpdates = false; }
    bool ErasePending() const { return EraseNeeded; }

protected:
    void PaintWindowRect(const TRect& R) override {
        Painted.push_back(R);
        if (Throw)
            throw Exception("paint failed");
        GetCanvas()->GetBrush()->SetColor(clRed);
        GetCanvas()->FillRect(R);
        GetCanvas()->GetBrush()->SetColor(clWhite);
    }
};

class FlickerFreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        C = std::make_unique<TRedControl>(nullptr);
        C->SetBounds(0, 0, 100, 60);
        Wnd = C->GetHandle();
        Application->ProcessMessages();
        Scope.Windows().GetWindowRecord(Wnd).clear();
        C->Painted.clear();
    }
    headless::TSurface& Surface() { return Scope.Windows().GetWindowSurface(Wnd); }

    headless::THeadlessPlatformScope Scope;
    std::unique_ptr<TRedControl> C;
    HWND Wnd = 0;
};

TEST_F(FlickerFreeTest, PaintsOffScreenAndCopiesOnceClippedToTheUpdateArea) {
    Surface().Fill(Rect(0, 0, 100, 60), clBlue);
    const TRect R = Rect(10, 10, 30, 20);
    InvalidateRect(Wnd, &R, false);
    Application->ProcessMessages();
    ASSERT_EQ(C->Painted, std::vector<TRect>{R});
    EXPECT_EQ(Surface().CountPixels(R, clRed), 200);
    EXPECT_EQ(Surface().CountPixels(Rect(0, 0, 100, 60), clBlue), 6000 - 200)
        << "the copy of the whole bitmap only lands inside the update area";
    int OnScreen = 0;
    for (const headless::TDrawCall& Call : Scope.Windows().GetWindowRecord(Wnd)) {
        if (!Call.OffScreen) {
            ++OnScreen;
            EXPECT_EQ(Call.Op, headless::doBitBlt);
            EXPECT_EQ(Call.X2, 100);
            EXPECT_EQ(Call.Y2, 60);
        }
    }
    EXPECT_EQ(OnScreen, 1) << "nothing but one block transfer reaches the window";
}

TEST_F(FlickerFreeTest, AnEraseRequestIsAnsweredLaterByFillingTheUpdateArea) {
    const TRect R = Rect(0, 0, 10, 10);
    InvalidateRect(Wnd, &R, true);
    EXPECT_EQ(SendMessage(Wnd, WM_ERASEBKGND, 0, 0), 0);
    EXPECT_TRUE(C->ErasePending());
    Application->ProcessMessages();
    EXPECT_FALSE(C->ErasePending());
    bool Filled = false;
    for (const headless::TDrawCall& Call : Scope.Windows().GetWindowRecord(Wnd))
        Filled = Filled || (Call.Op == headless::doFillRect && Call.OffScreen);
    EXPECT_TRUE(Filled);
}

TEST_F(FlickerFreeTest, DisabledUpdatesLeaveTheWindowUnpainted) {
    C->Disable();
    Surface().Fill(Rect(0, 0, 100, 60), clBlue);
    C->Invalidate();
    Application->ProcessMessages();
    EXPECT_TRUE(C->Painted.empty());
    EXPECT_EQ(Surface().CountPixels(Rect(0, 0, 100, 60), clBlue), 6000);
    EXPECT_TRUE(Scope.Windows().GetUpdateRegion(Wnd).empty()) << "the paint was still ended";
}

TEST_F(FlickerFreeTest, AFailingPaintReleasesEverythingAndPropagates) {
    C->Throw = true;
    C->Invalidate();
    EXPECT_THROW(Application->ProcessMessages(), Exception);
    EXPECT_FALSE(C->GetCanvas()->HandleAllocated()) << "the canvas lets go of the bitmap";
    EXPECT_TRUE(Scope.Windows().GetUpdateRegion(Wnd).empty());
    C->Throw = false;
    C->Invalidate();
    Application->ProcessMessages();
    EXPECT_EQ(C->Painted.size(), 2U);
}

TEST_F(FlickerFreeTest, BorderStylesSetTheFrameAndRecreateTheWindow) {
    EXPECT_EQ(Scope.Windows().GetWindowStyle(Wnd) & (WS_BORDER | WS_THICKFRAME), 0U);
    C->SetBorder_Style(bs_thin);
    const HWND Thin = C->GetHandle();
    EXPECT_NE(Thin, Wnd);
    EXPECT_EQ(Scope.Windows().GetWindowStyle(Thin) & (WS_BORDER | WS_THICKFRAME), WS_BORDER);
    EXPECT_TRUE(C->GetControlStyle().Contains(csFramed));
    EXPECT_EQ(C->GetClientWidth(), 98);
    C->SetBorder_Style(bs_thick);
    EXPECT_EQ(Scope.Windows().GetWindowStyle(C->GetHandle()) & (WS_BORDER | WS_THICKFRAME),
              WS_THICKFRAME);
    C->SetBorder_Style(bs_none);
    EXPECT_FALSE(C->GetControlStyle().Contains(csFramed));
    const HWND None = C->GetHandle();
    C->SetBorder_Style(bs_none);
    EXPECT_EQ(C->GetHandle(), None) << "no change, no new window";
}

} // namespace
} // namespace kestrel
