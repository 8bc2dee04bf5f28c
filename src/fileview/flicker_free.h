// TFlickerFreeControl: the base control that paints through an off-screen bitmap and offers a
// three-way border style.
#pragma once

#include "host/controls.h"

#include <cstdint>

namespace kestrel {

enum TBorder_Style : std::uint8_t { bs_none, bs_thin, bs_thick };

/// A control whose repaints never show a half-drawn window: each paint draws the update
/// rectangle into a client-sized bitmap (through Canvas) and copies it to the window in one
/// block transfer.
class TFlickerFreeControl : public TCustomControl {
public:
    explicit TFlickerFreeControl(TComponent* AOwner);

    TBorder_Style GetBorder_Style() const { return Border_Style; }
    void SetBorder_Style(TBorder_Style Value);
    bool GetEnableUpdates() const { return EnableUpdates; }

protected:
    /// Draws the part R of the client area on Canvas (the off-screen bitmap during a paint, in
    /// client coordinates).
    virtual void PaintWindowRect(const TRect& R) = 0;
    void CreateParams(TCreateParams& Params) override;
    /// A background-erase request: remembered, answered 0, so nothing is erased now.
    void WMEraseBackground(TMessage& Message);
    void WMEraseBkgnd(TMessage& Message) override { WMEraseBackground(Message); }
    void WMPaint(TMessage& Message) override;

    bool EraseNeeded = false;  // set by an erase request, cleared by the next paint
    bool EnableUpdates = true; // false: the control paints nothing
    TBorder_Style Border_Style = bs_none;
};

} // namespace kestrel
