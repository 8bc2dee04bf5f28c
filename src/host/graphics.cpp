// TFont, TPen, TBrush and TCanvas.
#include "host/graphics.h"

#include "host/exceptions.h"

#include <cstdlib>

namespace kestrel {

void TGraphicsObject::Changed() {
    ++FChangeCount;
    if (FOnChange)
        FOnChange(this);
}

int MulDiv(int A, int B, int C) {
    if (C == 0)
        return -1;
    const std::int64_t P = static_cast<std::int64_t>(A) * B;
    const std::int64_t Half = std::abs(static_cast<std::int64_t>(C)) / 2;
    const bool Negative = (P < 0) != (C < 0);
    const std::int64_t Q = (std::abs(P) + Half) / std::abs(static_cast<std::int64_t>(C));
    return static_cast<int>(Negative ? -Q : Q);
}

// ---- TFont

namespace {
int ScreenPixelsPerInch() {
    if (!GraphicsPlatformInstalled())
        return 96;
    const int Ppi = GraphicsPlatform().GetScreenDC()->GetDeviceCaps(LOGPIXELSY);
    return Ppi > 0 ? Ppi : 96;
}
} // namespace

TFont::TFont() : FPixelsPerInch(ScreenPixelsPerInch()) {
    FDesc.Height = -MulDiv(8, FPixelsPerInch, 72);
}

void TFont::Assign(TPersistent* Source) {
    if (auto* F = dynamic_cast<TFont*>(Source)) {
        FDesc = F->FDesc;
        FPixelsPerInch = F->FPixelsPerInch;
        FColor = F->FColor;
        Changed();
        return;
    }
    TGraphicsObject::Assign(Source);
}

void TFont::SetName(const std::string& Value) {
    if (Value.empty() || Value == FDesc.Name)
        return;
    FDesc.Name = Value;
    Changed();
}

void TFont::SetHeight(int Value) {
    if (Value == FDesc.Height)
        return;
    FDesc.Height = Value;
    Changed();
}

int TFont::GetSize() const { return -MulDiv(FDesc.Height, 72, FPixelsPerInch); }

void TFont::SetSize(int Value) { SetHeight(-MulDiv(Value, FPixelsPerInch, 72)); }

void TFont::SetPixelsPerInch(int Value) {
    if (Value > 0)
        FPixelsPerInch = Value;
}

void TFont::SetColor(TColor Value) {
    if (Value == FColor)
        return;
    FColor = Value;
    Changed();
}

void TFont::SetStyle(TFontStyles Value) {
    if (Value == FDesc.Style)
        return;
    FDesc.Style = Value;
    Changed();
}

void TFont::SetPitch(TFontPitch Value) {
    if (Value == FDesc.Pitch)
        return;
    FDesc.Pitch = Value;
    Changed();
}

// ---- TPen and TBrush

void TPen::Assign(TPersistent* Source) {
    if (auto* P = dynamic_cast<TPen*>(Source)) {
        FDesc = P->FDesc;
        FMode = P->FMode;
        Changed();
        return;
    }
    TGraphicsObject::Assign(Source);
}

void TPen::SetColor(TColor Value) {
    if (Value == FDesc.Color)
        return;
    FDesc.Color = Value;
    Changed();
}

void TPen::SetStyle(TPenStyle Value) {
    if (Value == FDesc.Style)
        return;
    FDesc.Style = Value;
    Changed();
}

void TPen::SetWidth(int Value) {
    if (Value < 1 || Value == FDesc.Width)
        return;
    FDesc.Width = Value;
    Changed();
}

void TPen::SetMode(TPenMode Value) {
    if (Value == FMode)
        return;
    FMode = Value;
    Changed();
}

void TBrush::Assign(TPersistent* Source) {
    if (auto* B = dynamic_cast<TBrush*>(Source)) {
        FDesc = B->FDesc;
        Changed();
        return;
    }
    TGraphicsObject::Assign(Source);
}

void TBrush::SetColor(TColor Value) {
    if (Value == FDesc.Color && FDesc.Style == bsSolid)
        return;
    FDesc.Color = Value;
    FDesc.Style = bsSolid; // choosing a colour makes the brush paint, as the framework does
    Changed();
}

void TBrush::SetStyle(TBrushStyle Value) {
    if (Value == FDesc.Style)
        return;
    FDesc.Style = Value;
    Changed();
}

// ---- TCanvas

TCanvas::TCanvas()
    : FFont(std::make_unique<TFont>()), FPen(std::make_unique<TPen>()),
      FBrush(std::make_unique<TBrush>()) {}

TCanvas::~TCanvas() = default;

void TCanvas::CreateHandle() { throw EInvalidOperation("Canvas does not allow drawing"); }

HDC TCanvas::GetHandle() {
    if (FHandle == nullptr)
        CreateHandle();
    if (FHandle == nullptr)
        throw EInvalidOperation("Canvas does not allow drawing");
    UpdateFont();
    if (FFontSelected != FFont->GetChangeCount()) {
        FHandle->SelectFont(FFont->GetDesc());
        FHandle->SetTextColor(ColorToRGB(FFont->GetColor()));
        FFontSelected = FFont->GetChangeCount();
    }
    if (FPenSelected != FPen->GetChangeCount()) {
        TPenDesc Pen = FPen->GetDesc();
        Pen.Color = ColorToRGB(Pen.Color);
        FHandle->SelectPen(Pen);
        FHandle->SetPenMode(FPen->GetMode());
        FPenSelected = FPen->GetChangeCount();
    }
    if (FBrushSelected != FBrush->GetChangeCount()) {
        TBrushDesc Brush = FBrush->GetDesc();
        Brush.Color = ColorToRGB(Brush.Color);
        FHandle->SelectBrush(Brush);
        FHandle->SetBkColor(Brush.Color);
        FHandle->SetBkMode(Brush.Style == bsClear ? TRANSPARENT : OPAQUE);
        FBrushSelected = FBrush->GetChangeCount();
    }
    return FHandle;
}

void TCanvas::SetHandle(HDC Value) {
    if (Value == FHandle)
        return;
    FHandle = Value;
    Refresh();
}

void TCanvas::Refresh() { FFontSelected = FPenSelected = FBrushSelected = 0; }

TPoint TCanvas::GetPenPos() { return GetHandle()->GetCurrentPosition(); }

void TCanvas::MoveTo(int X, int Y) { GetHandle()->MoveTo(X, Y); }

void TCanvas::LineTo(int X, int Y) { GetHandle()->LineTo(X, Y); }

void TCanvas::FillRect(const TRect& R) {
    TBrushDesc Brush = FBrush->GetDesc();
    Brush.Color = ColorToRGB(Brush.Color);
    GetHandle()->FillRect(R, Brush);
}

void TCanvas::FrameRect(const TRect& R) {
    if (IsRectEmpty(R))
        return;
    FillRect(Rect(R.Left, R.Top, R.Right, R.Top + 1));
    FillRect(Rect(R.Left, R.Bottom - 1, R.Right, R.Bottom));
    FillRect(Rect(R.Left, R.Top, R.Left + 1, R.Bottom));
    FillRect(Rect(R.Right - 1, R.Top, R.Right, R.Bottom));
}

void TCanvas::Rectangle(int Left, int Top, int Right, int Bottom) {
    GetHandle()->Rectangle(Left, Top, Right, Bottom);
}

void TCanvas::TextOut(int X, int Y, const std::string& Text) {
    HDC DC = GetHandle();
    DC->TextOut(X, Y, Text.data(), static_cast<int>(Text.size()));
    TSize Size;
    DC->GetTextExtentPoint32(Text.data(), static_cast<int>(Text.size()), Size);
    DC->MoveTo(X + Size.cx, Y);
}

TSize TCanvas::TextExtent(const std::string& Text) {
    TSize Size;
    GetHandle()->GetTextExtentPoint32(Text.data(), static_cast<int>(Text.size()), Size);
    return Size;
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas* Source, const TRect& SourceRect) {
    GetHandle()->BitBlt(Dest.Left, Dest.Top, Dest.Width(), Dest.Height(), Source->GetHandle(),
                        SourceRect.Left, SourceRect.Top, FCopyMode);
}

} // namespace kestrel
