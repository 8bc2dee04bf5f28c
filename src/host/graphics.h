// Drawing objects and the canvas: TFont, TPen, TBrush and TCanvas over a device context.
#pragma once

#include "host/device_context.h"
#include "host/graphics_types.h"
#include "host/object.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kestrel {

/// Base of the drawing objects: fires OnChange after every change and counts the changes, so
/// that a canvas can tell whether what it selected is still current without owning OnChange.
class TGraphicsObject : public TPersistent {
public:
    TNotifyEvent GetOnChange() const { return FOnChange; }
    void SetOnChange(TNotifyEvent Value) { FOnChange = std::move(Value); }
    /// Increases with every change.
    std::uint64_t GetChangeCount() const { return FChangeCount; }

protected:
    void Changed();

private:
    TNotifyEvent FOnChange;
    std::uint64_t FChangeCount = 1; // never 0, which canvases use for "not selected"
};

/// (A * B) / C rounded to the nearest integer, halves away from zero.
int MulDiv(int A, int B, int C);

/// A font description. The height is stored; the point size is derived from it through
/// PixelsPerInch, so a copy for another device sets PixelsPerInch and then the size again.
class TFont : public TGraphicsObject {
public:
    /// "MS Sans Serif", 8 points at the screen's vertical resolution, window-text colour.
    TFont();

    void Assign(TPersistent* Source) override;

    const std::string& GetName() const { return FDesc.Name; }
    void SetName(const std::string& Value);
    /// Pixels; negative for the character height without internal leading.
    int GetHeight() const { return FDesc.Height; }
    void SetHeight(int Value);
    /// Points: -Height * 72 / PixelsPerInch, rounded.
    int GetSize() const;
    void SetSize(int Value);
    int GetPixelsPerInch() const { return FPixelsPerInch; }
    /// Stores the resolution only; the height stays (set the size again to keep the points).
    void SetPixelsPerInch(int Value);
    TColor GetColor() const { return FColor; }
    void SetColor(TColor Value);
    TFontStyles GetStyle() const { return FDesc.Style; }
    void SetStyle(TFontStyles Value);
    TFontPitch GetPitch() const { return FDesc.Pitch; }
    void SetPitch(TFontPitch Value);

    /// What a device context selects.
    const TFontDesc& GetDesc() const { return FDesc; }

private:
    TFontDesc FDesc;
    int FPixelsPerInch; // > 0
    TColor FColor = clWindowText;
};

class TPen : public TGraphicsObject {
public:
    void Assign(TPersistent* Source) override;

    TColor GetColor() const { return FDesc.Color; }
    void SetColor(TColor Value);
    TPenStyle GetStyle() const { return FDesc.Style; }
    void SetStyle(TPenStyle Value);
    int GetWidth() const { return FDesc.Width; }
    void SetWidth(int Value);
    TPenMode GetMode() const { return FMode; }
    void SetMode(TPenMode Value);

    const TPenDesc& GetDesc() const { return FDesc; }

private:
    TPenDesc FDesc;
    TPenMode FMode = pmCopy;
};

class TBrush : public TGraphicsObject {
public:
    void Assign(TPersistent* Source) override;

    TColor GetColor() const { return FDesc.Color; }
    void SetColor(TColor Value);
    TBrushStyle GetStyle() const { return FDesc.Style; }
    void SetStyle(TBrushStyle Value);

    const TBrushDesc& GetDesc() const { return FDesc; }

private:
    TBrushDesc FDesc;
};

/// Drawing on a device context with an owned font, pen and brush, which are selected into the
/// context whenever they changed since it last drew. A plain canvas draws on the context it is
/// given (SetHandle); a canvas that obtains its context on demand overrides CreateHandle and
/// ReleaseHandle (a control's canvas gets the window's context and gives it back).
class TCanvas : public TPersistent {
public:
    TCanvas();
    ~TCanvas() override;

    /// The device context with the current font, pen and brush selected; a canvas without one
    /// asks CreateHandle.
    HDC GetHandle();
    /// Draws on Value from now on (not owned); nullptr detaches.
    void SetHandle(HDC Value);
    bool HandleAllocated() const { return FHandle != nullptr; }
    /// Gives back a context obtained by CreateHandle; a canvas over a given context keeps it.
    virtual void ReleaseHandle() {}

    TFont* GetFont() const { return FFont.get(); }
    void SetFont(TFont* Value) { FFont->Assign(Value); }
    TPen* GetPen() const { return FPen.get(); }
    void SetPen(TPen* Value) { FPen->Assign(Value); }
    TBrush* GetBrush() const { return FBrush.get(); }
    void SetBrush(TBrush* Value) { FBrush->Assign(Value); }
    /// Raster operation of CopyRect (SRCCOPY by default).
    std::uint32_t GetCopyMode() const { return FCopyMode; }
    void SetCopyMode(std::uint32_t Value) { FCopyMode = Value; }

    TPoint GetPenPos();
    void SetPenPos(TPoint Value) { MoveTo(Value.X, Value.Y); }
    void MoveTo(int X, int Y);
    void LineTo(int X, int Y);
    /// Fills R with the brush.
    void FillRect(const TRect& R);
    /// A one-pixel border of R in the brush colour.
    void FrameRect(const TRect& R);
    void Rectangle(int Left, int Top, int Right, int Bottom);
    void TextOut(int X, int Y, const std::string& Text);
    TSize TextExtent(const std::string& Text);
    int TextWidth(const std::string& Text) { return TextExtent(Text).cx; }
    int TextHeight(const std::string& Text) { return TextExtent(Text).cy; }
    /// Copies SourceRect of Source onto Dest of this canvas with the copy mode (no stretching:
    /// the size of Dest is used).
    void CopyRect(const TRect& Dest, TCanvas* Source, const TRect& SourceRect);
    /// Forgets what was selected, so that the next drawing call selects everything again.
    void Refresh();

protected:
    /// Obtains a context and installs it with SetHandle; the base canvas has none to obtain and
    /// raises EInvalidOperation "Canvas does not allow drawing".
    virtual void CreateHandle();
    /// Runs before the font is selected into the context (a printer canvas keeps its font at
    /// the printer's resolution here).
    virtual void UpdateFont() {}
    /// The context as it is, without creating one or selecting anything.
    HDC CurrentHandle() const { return FHandle; }

private:
    HDC FHandle = nullptr;
    std::unique_ptr<TFont> FFont;
    std::unique_ptr<TPen> FPen;
    std::unique_ptr<TBrush> FBrush;
    std::uint32_t FCopyMode = SRCCOPY;
    // Change counts of the objects as last selected into FHandle; 0 = not selected.
    std::uint64_t FFontSelected = 0;
    std::uint64_t FPenSelected = 0;
    std::uint64_t FBrushSelected = 0;
};

} // namespace kestrel
