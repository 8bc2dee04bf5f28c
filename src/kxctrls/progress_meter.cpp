// TProgressMeter.
#include "kxctrls/progress_meter.h"

#include "host/scope_guard.h"

#include <string>

namespace kestrel {

TProgressMeter::TProgressMeter(TComponent* AOwner) : TFlickerFreeControl(AOwner) {}

void TProgressMeter::SetPercentDone(std::int64_t Value) {
    if (Value == PercentDone)
        return;
    PercentDone = Value;
    Invalidate();
    Update();
}

void TProgressMeter::CreateWnd() {
    TFlickerFreeControl::CreateWnd();
    GetFont()->SetOnChange([this](TObject* Sender) { HandleFontChange(Sender); });
    GetBrush()->SetOnChange([this](TObject* Sender) { HandleBrushChange(Sender); });
    HandleFontChange(nullptr);
    HandleBrushChange(nullptr);
}

void TProgressMeter::HandleFontChange(TObject*) {
    TCanvas* C = GetCanvas();
    C->SetFont(GetFont());
    if (HandleAllocated()) {
        // The window's context, with the font selected, is given back on every path.
        const TScopeExit Release([C] { C->ReleaseHandle(); });
        TTextMetric Metrics;
        if (C->GetHandle()->GetTextMetrics(Metrics))
            TextHeight = Metrics.tmHeight + Metrics.tmExternalLeading;
    }
    Invalidate();
}

void TProgressMeter::HandleBrushChange(TObject*) {
    GetCanvas()->SetBrush(GetBrush());
    Invalidate();
}

void TProgressMeter::PaintWindowRect(const TRect&) {
    // Laid out on the whole client area, whatever part is being painted: a partial repaint
    // then draws exactly the pixels a full one would (the paint context clips the rest).
    const TRect Area = GetClientRect();
    TCanvas* C = GetCanvas();
    C->GetHandle()->SetTextAlign(TA_CENTER | TA_TOP);
    const std::int64_t Y =
        Area.Top + (static_cast<std::int64_t>(Area.Bottom) - Area.Top - TextHeight) / 2;
    C->TextOut(Area.Left + (Area.Right - Area.Left) / 2, static_cast<int>(Y),
               std::to_string(PercentDone) + "%");
    if (PercentDone > 0) {
        // Width * PercentDone / 100, truncated; from 100 on the whole width (what lies beyond
        // it would be clipped), so that no value can overflow.
        const std::int64_t Width = Area.Right - Area.Left;
        TRect Done = Area;
        Done.Right = static_cast<int>(PercentDone >= 100 ? Area.Right
                                                         : Area.Left + Width * PercentDone / 100);
        C->GetHandle()->InvertRect(Done);
    }
}

} // namespace kestrel
