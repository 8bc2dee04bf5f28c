// TWinScrollBar.
#include "fileview/scroll_bar.h"

#include "host/scope_guard.h"

#include <algorithm>

namespace kestrel {

TWinScrollBar::TWinScrollBar(TWinControl* AControl, TScrollBarKind AKind)
    : FControl(AControl), FKind(AKind) {}

void TWinScrollBar::Assign(TPersistent* Source) {
    if (auto* Other = dynamic_cast<TWinScrollBar*>(Source)) {
        SetVisible(Other->FVisible);
        SetLimit(Other->FLimit);
        SetPageSize(Other->FPageSize);
        FClickSize = Other->FClickSize;
        FTracking = Other->FTracking;
        return;
    }
    TPersistent::Assign(Source);
}

void TWinScrollBar::Changing() {
    if (FOnChange)
        FOnChange(this);
}

void TWinScrollBar::DoScroll() {
    if (FOnScroll)
        FOnScroll(this);
}

void TWinScrollBar::Refresh() {
    if (FMode == sbAutomatic)
        SetVisible(FLimit > FPageSize - 1);
}

void TWinScrollBar::SetMode(TScrollBarModes Value) {
    FMode = Value;
    Refresh();
}

void TWinScrollBar::SetVisible(bool Value) {
    FVisible = Value;
    UpdateScrollBar();
}

void TWinScrollBar::SetPosition(std::int64_t Value) {
    if (Value == FPosition)
        return;
    FPosition = std::max<std::int64_t>(0, std::min(Value, FLimit - (FPageSize - 1)));
    UpdateScrollBar();
}

void TWinScrollBar::SetPageSize(std::int64_t Value) {
    if (Value == FPageSize)
        return;
    FPageSize = Value;
    UpdateRange();
    Refresh();
}

void TWinScrollBar::SetLimit(std::int64_t Value) {
    if (Value == FLimit)
        return;
    FLimit = Value;
    UpdateRange();
    if (FLimit < FPosition)
        SetPosition(FLimit);
    Refresh();
    if (FPageSize - 1 >= FLimit) {
        SetPosition(0);
        DoScroll();
    }
}

void TWinScrollBar::SetEnableUpdates(bool Value) {
    if (Value == FEnableUpdates)
        return;
    if (Value)
        --FUpdateLock;
    else
        ++FUpdateLock;
    FEnableUpdates = Value;
    if (Value) {
        UpdateRange();
        UpdateScrollBar();
    }
}

void TWinScrollBar::UpdateRange() {
    if (FUpdateLock > 0)
        return;
    const TCounterGuard Lock(FUpdateLock);
    std::int64_t Remembered = 0;
    do {
        Remembered = FLimit;
        std::int64_t R = FLimit - (FPageSize - 1);
        FScale = 1;
        while (R > 0x7FFF) {
            R /= 2;
            FScale *= 2;
        }
        FScaledLimit =
            static_cast<std::int64_t>(static_cast<double>(FLimit) / static_cast<double>(FScale));
        Changing();
        if (FControl != nullptr && FControl->HandleAllocated()) {
            TScrollInfo Info;
            Info.Mask = SIF_RANGE | SIF_PAGE;
            Info.Min = 0;
            Info.Max = FScaledLimit;
            Info.Page = FPageSize;
            ScrollBarService().SetScrollInfo(FControl->GetHandle(), BarId(), Info, true);
        }
    } while (FLimit != Remembered);
}

void TWinScrollBar::UpdateScrollBar() {
    if (FUpdateLock > 0)
        return;
    const TCounterGuard Lock(FUpdateLock);
    if (FControl != nullptr && FControl->HandleAllocated()) {
        const std::int64_t P = FPosition / FScale;
        Changing();
        const HWND Wnd = FControl->GetHandle();
        if (FVisible) {
            TScrollInfo Info;
            Info.Mask = SIF_POS;
            Info.Pos = std::max<std::int64_t>(0, std::min(FScaledLimit, P));
            ScrollBarService().SetScrollInfo(Wnd, BarId(), Info, true);
        }
        ScrollBarService().ShowScrollBar(Wnd, BarId(), FVisible);
    }
}

void TWinScrollBar::ScrollMessage(TMessage& Msg) {
    const TWMScroll Scroll(Msg);
    const std::int64_t Thumb = Scroll.Pos();
    auto ThumbMapping = [&]() -> std::int64_t {
        // Scaling would miss the true end: a thumb dropped at the end goes to the end.
        if (FScale > 1 && Thumb + FPageSize >= FScaledLimit)
            return FLimit;
        return std::min(FLimit, Thumb * FScale);
    };
    switch (Scroll.ScrollCode()) {
    case SB_LINEUP:
        SetPosition(FPosition - FClickSize);
        break;
    case SB_LINEDOWN:
        SetPosition(FPosition + FClickSize);
        break;
    case SB_PAGEUP:
        SetPosition(FPosition - (FPageSize - 1));
        break;
    case SB_PAGEDOWN:
        SetPosition(FPosition + (FPageSize - 1));
        break;
    case SB_THUMBPOSITION:
        if (FTracking)
            return;
        SetPosition(ThumbMapping());
        break;
    case SB_THUMBTRACK:
        if (!FTracking)
            return;
        SetPosition(ThumbMapping());
        break;
    case SB_TOP:
        SetPosition(0);
        break;
    case SB_BOTTOM:
        SetPosition(FLimit);
        break;
    case SB_ENDSCROLL:
        return;
    default:
        break;
    }
    DoScroll();
}

} // namespace kestrel
