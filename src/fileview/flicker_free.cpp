// TFlickerFreeControl.
#include "fileview/flicker_free.h"

#include "host/scope_guard.h"

namespace kestrel {

TFlickerFreeControl::TFlickerFreeControl(TComponent* AOwner) : TCustomControl(AOwner) {
    EnableUpdates = true;
}

void TFlickerFreeControl::CreateParams(TCreateParams& Params) {
    TCustomControl::CreateParams(Params);
    Params.Style &= ~static_cast<std::uint32_t>(WS_BORDER | WS_THICKFRAME);
    if (Border_Style == bs_thin)
        Params.Style |= WS_BORDER;
    else if (Border_Style == bs_thick)
        Params.Style |= WS_THICKFRAME;
}

void TFlickerFreeControl::SetBorder_Style(TBorder_Style Value) {
    if (Value == Border_Style)
        return;
    Border_Style = Value;
    TControlStyle Style = GetControlStyle();
    if (Value == bs_none)
        Style.Exclude(csFramed);
    else
        Style.Include(csFramed);
    SetControlStyle(Style);
    RecreateWnd();
}

void TFlickerFreeControl::WMEraseBackground(TMessage& Message) {
    EraseNeeded = true;
    Message.Result = 0;
}

void TFlickerFreeControl::WMPaint(TMessage& Message) {
    const HWND Wnd = GetHandle();
    TPaintStruct PS;
    const HDC PaintDC = PaintService().BeginPaint(Wnd, PS);
    const TScopeExit EndPaint([&] { PaintService().EndPaint(Wnd, PS); });
    if (EnableUpdates) {
        TCanvas* C = GetCanvas();
        C->ReleaseHandle();
        const std::unique_ptr<TDeviceContext> MemDC = CreateCompatibleDC(PaintDC);
        const TRect Client = GetClientRect();
        const std::unique_ptr<TDeviceBitmap> Bitmap =
            CreateCompatibleBitmap(PaintDC, Client.Width(), Client.Height());
        const HBITMAP Previous = MemDC->SelectBitmap(Bitmap.get());
        C->SetHandle(MemDC.get());
        const TScopeExit Restore([&] {
            C->SetHandle(nullptr);
            MemDC->SelectBitmap(Previous);
        });
        if (EraseNeeded) {
            C->FillRect(PS.rcPaint);
            EraseNeeded = false;
        }
        PaintWindowRect(PS.rcPaint);
        PaintDC->BitBlt(Client.Left, Client.Top, Client.Width(), Client.Height(), MemDC.get(), 0, 0,
                        SRCCOPY);
    }
    Message.Result = 0;
}

} // namespace kestrel
