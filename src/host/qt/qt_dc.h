// The Qt platform's device contexts and bitmaps: drawing with QPainter on a QImage (a window's
// backing image or a memory bitmap) or on the printer's page.
#pragma once

#include "host/device_context.h"
#include "host/qt/qt_fonts.h"

#include <QImage>
#include <QPainter>
#include <QRect>

#include <memory>
#include <optional>

namespace kestrel::qt {

/// What GetDeviceCaps answers for a device.
struct TQtDeviceInfo {
    int Technology = DT_RASDISPLAY;
    int PixelsPerInchX = 96;
    int PixelsPerInchY = 96;
    int Width = 1024; ///< HORZRES: the drawable width in pixels
    int Height = 768;
    int PhysicalWidth = 1024; ///< the whole page of a printer
    int PhysicalHeight = 768;
    int OffsetX = 0; ///< PHYSICALOFFSETX: the unprintable left edge
    int OffsetY = 0;
    int BitsPerPixel = 32;
};

/// A memory bitmap: an RGB image.
class TQtBitmap : public TDeviceBitmap {
public:
    TQtBitmap(int Width, int Height);
    int GetWidth() const override { return FImage.width(); }
    int GetHeight() const override { return FImage.height(); }
    QImage& Image() { return FImage; }

private:
    QImage FImage;
};

/// Whatever a context draws on when it is not an image: the printer's page during a job.
class TQtPaintTarget {
public:
    virtual ~TQtPaintTarget() = default;
    /// The painter of the page being drawn, or nullptr (nothing is drawn then).
    virtual QPainter* PagePainter() = 0;
};

/// A device context. Image contexts open a painter on their image when they first draw and
/// close it when the image changes or the context goes, so an image can be replaced (a window
/// resized) under a context that lives on.
class TQtDC : public TDeviceContext {
public:
    /// A context on Image (nullptr: draws nothing); Target instead for a printer.
    TQtDC(const TQtDeviceInfo& Info, QImage* Image, TQtPaintTarget* Target = nullptr);
    ~TQtDC() override;

    const TQtDeviceInfo& GetInfo() const { return FInfo; }
    void SetInfo(const TQtDeviceInfo& Info) { FInfo = Info; }
    /// Draws on Image from now on (closing the painter on the old one).
    void SetImage(QImage* Image);
    QImage* GetImage() const { return FImage; }
    /// Clips drawing to R; nullopt: the whole image.
    void SetClip(std::optional<QRect> R);
    /// Closes the painter (its drawing is complete in the image).
    void Flush();
    const TQtFace& Face() const { return *FFace; }

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
    /// The painter to draw with now, or nullptr when there is nothing to draw on.
    QPainter* Painter();
    /// The pixels of R (context coordinates) within the clip, inverted, on an image target.
    void InvertPixels(const QRect& R);
    QRect ClipRect() const;
    /// Lays out Count bytes from X with tab expansion when Tabbed; returns the advance and
    /// fills Positions (when given) with each byte's offset from X.
    int Layout(const char* Text, int Count, bool Tabbed, int TabCount, const int* TabPositions,
               int X, int TabOrigin, std::vector<int>* Positions) const;
    TSize DrawText(int X, int Y, const char* Text, int Count, bool Tabbed, int TabCount,
                   const int* TabPositions, int TabOrigin);

    TQtDeviceInfo FInfo;
    QImage* FImage = nullptr;           // not owned
    TQtPaintTarget* FTarget = nullptr;  // not owned
    std::unique_ptr<QPainter> FPainter; // open on FImage while drawing
    std::optional<QRect> FClip;
    bool FMemory = false;
    std::unique_ptr<TQtBitmap> FStockBitmap; // the 1 x 1 bitmap of a fresh memory context
    TQtBitmap* FBitmap = nullptr;            // selected bitmap of a memory context
    TFontDesc FFont;
    std::shared_ptr<const TQtFace> FFace;
    TPenDesc FPen;
    TBrushDesc FBrush;
    TPenMode FPenMode = pmCopy;
    TColor FTextColor = clBlack;
    TColor FBkColor = clWhite;
    int FBkMode = OPAQUE;
    unsigned FAlign = 0;
    TPoint FPosition;
};

} // namespace kestrel::qt
