// TProgressMeter: a bar that shows how far a long operation has got, as a percentage in its
// middle and an inverted part from the left.
#pragma once

#include "fileview/flicker_free.h"

#include <cstdint>

namespace kestrel {

/// Shows PercentDone as "<n>%" centred in the control and inverts the left PercentDone per cent
/// of its width (text included). Any value is shown as it is: below 1 inverts nothing, 100 and
/// above invert the whole width. Paints through the off-screen bitmap of its base, so a new
/// value never flickers.
class TProgressMeter : public TFlickerFreeControl {
public:
    explicit TProgressMeter(TComponent* AOwner);

    std::int64_t GetPercentDone() const { return PercentDone; }
    /// Shows Value at once (painted before returning, even while the application is busy);
    /// the same value again paints nothing.
    void SetPercentDone(std::int64_t Value);
    /// Pixels of a line of the control's font, measured when the window was made or the font
    /// last changed.
    std::int64_t GetTextHeight() const { return TextHeight; }

protected:
    /// Hooks the font and brush changes and takes both once.
    void CreateWnd() override;
    void PaintWindowRect(const TRect& R) override;
    /// The canvas takes the font and TextHeight is measured again; repaints.
    void HandleFontChange(TObject* Sender);
    /// The canvas takes the control's brush; repaints.
    void HandleBrushChange(TObject* Sender);

    std::int64_t PercentDone = 0; // shown as is, never range-checked
    std::int64_t TextHeight = 0;  // tmHeight + tmExternalLeading of the control's font
};

} // namespace kestrel
