// TWinScrollBar: drives one standard scroll bar of a window, scaling 64-bit positions down to
// the range the platform bar holds.
#pragma once

#include "host/controls.h"
#include "host/object.h"

#include <cstdint>

namespace kestrel {

enum TScrollBarKind : std::uint8_t { sbHorizontal, sbVertical };
enum TScrollBarModes : std::uint8_t { sbAutomatic, sbManual };

/// One of the two standard scroll bars of Control's window. Position runs from 0 to
/// Limit - (PageSize - 1); the platform sees Position / Scale, with Scale the power of two that
/// keeps the platform range within 32767 units beyond the page.
class TWinScrollBar : public TPersistent {
public:
    TWinScrollBar(TWinControl* AControl, TScrollBarKind AKind);

    void Assign(TPersistent* Source) override;
    /// Fires OnChange: range or position is about to go to the platform.
    virtual void Changing();
    /// Fires OnScroll: the user scrolled.
    virtual void DoScroll();

    /// In automatic mode shows the bar exactly when the extent does not fit one page.
    void Refresh();
    /// Turns a WM_HSCROLL or WM_VSCROLL of the owner window into a position change.
    void ScrollMessage(TMessage& Msg);
    /// Gives the platform the (scaled) range and page.
    void UpdateRange();
    /// Gives the platform the (scaled) position and the visibility.
    void UpdateScrollBar();

    std::int64_t GetClickSize() const { return FClickSize; }
    void SetClickSize(std::int64_t Value) { FClickSize = Value; }
    std::int64_t GetLimit() const { return FLimit; }
    void SetLimit(std::int64_t Value);
    TScrollBarModes GetMode() const { return FMode; }
    void SetMode(TScrollBarModes Value);
    std::int64_t GetPageSize() const { return FPageSize; }
    void SetPageSize(std::int64_t Value);
    std::int64_t GetPosition() const { return FPosition; }
    void SetPosition(std::int64_t Value);
    bool GetTracking() const { return FTracking; }
    void SetTracking(bool Value) { FTracking = Value; }
    bool GetVisible() const { return FVisible; }
    void SetVisible(bool Value);
    bool GetEnableUpdates() const { return FEnableUpdates; }
    void SetEnableUpdates(bool Value);
    std::int64_t GetScale() const { return FScale; }
    std::int64_t GetScaledLimit() const { return FScaledLimit; }
    std::int64_t GetUpdateLock() const { return FUpdateLock; }
    TScrollBarKind GetKind() const { return FKind; }
    TWinControl* GetControl() const { return FControl; }

    TNotifyEvent GetOnChange() const { return FOnChange; }
    void SetOnChange(TNotifyEvent Value) { FOnChange = std::move(Value); }
    TNotifyEvent GetOnScroll() const { return FOnScroll; }
    void SetOnScroll(TNotifyEvent Value) { FOnScroll = std::move(Value); }

private:
    int BarId() const { return FKind == sbHorizontal ? SB_HORZ : SB_VERT; }

    TWinControl* FControl; // not owned
    TScrollBarKind FKind;
    std::int64_t FPosition = 0; // 0 <= FPosition <= max(0, FLimit - (FPageSize - 1))
    std::int64_t FLimit = 0;
    std::int64_t FScaledLimit = 0; // trunc(FLimit / FScale)
    TScrollBarModes FMode = sbAutomatic;
    std::int64_t FPageSize = 1;
    std::int64_t FClickSize = 1;
    std::int64_t FScale = 1; // a power of two >= 1
    bool FTracking = true;
    bool FVisible = false;
    bool FEnableUpdates = true;
    std::int64_t FUpdateLock = 0; // > 0: the platform bar is left alone
    TNotifyEvent FOnChange;
    TNotifyEvent FOnScroll;
};

} // namespace kestrel
