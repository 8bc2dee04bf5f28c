// The headless device context: draws into a pixel surface and keeps a record of its calls.
#pragma once

#include "host/device_context.h"
#include "host/headless/font_model.h"
#include "host/headless/surface.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrel::headless {

/// What GetDeviceCaps answers for a device.
struct TDeviceInfo {
    int Technology = DT_RASDISPLAY;
    int PixelsPerInchX = 96;
    int PixelsPerInchY = 96;
    int Width = 1024;         // HORZRES: the drawable width in pixels
    int Height = 768;         // VERTRES
    int PhysicalWidth = 1024; // the whole page of a printer
    int PhysicalHeight = 768;
    int OffsetX = 0; // PHYSICALOFFSETX: unprintable left edge
    int OffsetY = 0;
    int BitsPerPixel = 24;
};

enum TDrawOp : std::uint8_t {
    doTextOut,
    doTabbedTextOut,
    doLineTo,
    doFillRect,
    doInvertRect,
    doRectangle,
    doBitBlt
};

/// One drawing call as a context received it (coordinates as passed, before the origin).
struct TDrawCall {
    TDrawOp Op = doTextOut;
    bool OffScreen = false; // drawn on a memory context
    int X = 0, Y = 0;       // text position, rectangle's top-left, line start, blit target
    int X2 = 0, Y2 = 0;     // rectangle's bottom-right, line end, blit size
    std::string Text;       // the bytes of text calls
    std::vector<int> Tabs;  // the tab positions handed to TabbedTextOut
    int TabOrigin = 0;
    TColor Color = clBlack;   // text, pen or brush colour
    TColor BkColor = clWhite; // background colour of text calls
    int BkMode = OPAQUE;
    unsigned Align = 0;
    TFontDesc Font; // the selected font of text calls
    TPenStyle PenStyle = psSolid;
    std::uint32_t Rop = 0; // BitBlt's raster operation
    int SourceX = 0, SourceY = 0;
};
using TDrawRecord = std::vector<TDrawCall>;

/// A bitmap of the headless platform: a surface.
class THeadlessBitmap : public TDeviceBitmap {
public:
    THeadlessBitmap(int Width, int Height) : FSurface(Width, Height, clBlack) {}
    int GetWidth() const override { return FSurface.GetWidth(); }
    int GetHeight() const override { return FSurface.GetHeight(); }
    TSurface& GetSurface() { return FSurface; }

private:
    TSurface FSurface;
};

/// A device context of the headless platform. It draws into Surface (when given; a printer
/// without page rendering has none) and appends its drawing calls to Record (when given).
/// Glyphs are a 5 x 7 bitmap font scaled into each character's advance (a hollow box for bytes
/// without a shape), so that screenshots are readable and tests can tell where text lies. Window
/// contexts use an origin (where the context's (0, 0) lies on the surface) and a clip rectangle.
class THeadlessDC : public TDeviceContext {
public:
    THeadlessDC(const TDeviceInfo& Info, TSurface* Surface, TDrawRecord* Record);

    const TDeviceInfo& GetInfo() const { return FInfo; }
    void SetInfo(const TDeviceInfo& Info) { FInfo = Info; }
    TSurface* GetSurface() const { return FSurface; }
    void SetSurface(TSurface* Surface) { FSurface = Surface; }
    TDrawRecord* GetRecord() const { return FRecord; }
    void SetRecord(TDrawRecord* Record) { FRecord = Record; }
    /// Surface position of the context's (0, 0).
    void SetOrigin(TPoint Origin) { FOrigin = Origin; }
    TPoint GetOrigin() const { return FOrigin; }
    /// Clips drawing to R (context coordinates) within the surface; an empty TRect removes it.
    void SetClipRect(const TRect& R) { FClip = R; }
    /// The model of the selected font.
    const TFontModel& GetFontModel() const { return FFontModel; }
    const TFontDesc& GetFont() const { return FFont; }
    const TPenDesc& GetPen() const { return FPen; }
    const TBrushDesc& GetBrush() const { return FBrush; }

    TFontDesc SelectFont(const TFontDesc& Font) override;
    TPenDesc SelectPen(const TPenDesc& Pen) override;
    TBrushDesc SelectBrush(const TBrushDesc& Brush) override;
    HBITMAP SelectBitmap(HBITMAP Bitmap) override;
    TPenMode SetPenMode(TPenMode Mode) override;
    TColor SetTextColor(TColor Color) override;
    TColor GetTextColor() const override { return FTextColor; }
    TColor SetBkColor(TColor Color) override;
    TColor GetBkColor() const override { return FBkColor; }
    int SetBkMode(int Mode) override;
    unsigned SetTextAlign(unsigned Flags) override;
    unsigned GetTextAlign() const override { return FAlign; }

    bool GetTextMetrics(TTextMetric& Metrics) override;
    bool GetCharWidth32(unsigned First, unsigned Last, int* Widths) override;
    bool GetCharWidth(unsigned First, unsigned Last, int* Widths) override;
    bool GetTextExtentPoint32(const char* Text, int Count, TSize& Size) override;
    TSize GetTabbedTextExtent(const char* Text, int Count, int TabCount,
                              const int* TabPositions) override;
    int GetDeviceCaps(int Index) override;
    bool GetClipBox(TRect& Box) override;

    bool TextOut(int X, int Y, const char* Text, int Count) override;
    TSize TabbedTextOut(int X, int Y, const char* Text, int Count, int TabCount,
                        const int* TabPositions, int TabOrigin) override;
    bool MoveTo(int X, int Y, TPoint* Old = nullptr) override;
    bool LineTo(int X, int Y) override;
    TPoint GetCurrentPosition() const override { return FPosition; }
    bool FillRect(const TRect& R, const TBrushDesc& Brush) override;
    bool InvertRect(const TRect& R) override;
    bool Rectangle(int Left, int Top, int Right, int Bottom) override;
    bool BitBlt(int X, int Y, int W, int H, HDC Source, int XSrc, int YSrc,
                std::uint32_t Rop) override;

    std::unique_ptr<TDeviceContext> CreateCompatibleDC() override;
    std::unique_ptr<TDeviceBitmap> CreateCompatibleBitmap(int W, int H) override;

private:
    // Lays out Count bytes from X (context coordinates) with tab expansion when Tabbed; calls
    // Cell(byte, x, advance) for each, and returns the total advance.
    template <typename F>
    int Layout(const char* Text, int Count, bool Tabbed, int TabCount, const int* TabPositions,
               int X, int TabOrigin, F Cell) const;
    // Draws the laid-out text with its top-left corner at (X, Y) and returns its extent.
    TSize DrawText(int X, int Y, const char* Text, int Count, bool Tabbed, int TabCount,
                   const int* TabPositions, int TabOrigin);
    // Draws a glyph into its cell at (X, Y) (context coordinates), within Clip (surface
    // coordinates).
    void DrawGlyph(unsigned char Byte, int X, int Y, int Advance, const TRect& Clip);
    // A pen dot at (X, Y) (context coordinates) with the pen's mode and width, within Clip.
    void PenPixel(int X, int Y, const TRect& Clip);
    TRect ClipInSurface() const; // surface coordinates
    void Log(TDrawCall Call);

    TDeviceInfo FInfo;
    TSurface* FSurface;   // not owned; nullptr draws nothing
    TDrawRecord* FRecord; // not owned; nullptr records nothing
    bool FMemory = false; // a memory context: draws into the selected bitmap
    std::unique_ptr<THeadlessBitmap> FStockBitmap; // the 1 x 1 bitmap of a fresh memory context
    THeadlessBitmap* FBitmap = nullptr;            // selected bitmap of a memory context
    TPoint FOrigin;
    TRect FClip; // empty: the whole surface
    TFontDesc FFont;
    TFontModel FFontModel;
    TPenDesc FPen;
    TBrushDesc FBrush;
    TPenMode FPenMode = pmCopy;
    TColor FTextColor = clBlack;
    TColor FBkColor = clWhite;
    int FBkMode = OPAQUE;
    unsigned FAlign = 0;
    TPoint FPosition;
    int FPenStep = 0; // position in the pen's dash pattern, kept along a polyline
};

} // namespace kestrel::headless
