// The platform seam of the graphics services: device contexts, device bitmaps, the printer
// device and the graphics platform that makes them.
#pragma once

#include "host/graphics_types.h"

#include <memory>
#include <string>

namespace kestrel {

class TDeviceContext;
class TDeviceBitmap;
/// A device context handle, as the drawing calls take it; nullptr is "no context".
using HDC = TDeviceContext*;
using HBITMAP = TDeviceBitmap*;

/// An image in a device's format, drawn through a memory device context it is selected into.
class TDeviceBitmap {
public:
    TDeviceBitmap() = default;
    TDeviceBitmap(const TDeviceBitmap&) = delete;
    TDeviceBitmap& operator=(const TDeviceBitmap&) = delete;
    virtual ~TDeviceBitmap() = default;

    virtual int GetWidth() const = 0;
    virtual int GetHeight() const = 0;
};

/// A surface to measure and draw on: a screen area, a memory bitmap or a printer page. Selected
/// objects (font, pen, brush) are values: selecting returns the previous one so that a caller
/// can restore it. Coordinates are device pixels.
class TDeviceContext {
public:
    TDeviceContext() = default;
    TDeviceContext(const TDeviceContext&) = delete;
    TDeviceContext& operator=(const TDeviceContext&) = delete;
    virtual ~TDeviceContext() = default;

    /// Selection of drawing objects; each returns the previous one.
    virtual TFontDesc SelectFont(const TFontDesc& Font) = 0;
    virtual TPenDesc SelectPen(const TPenDesc& Pen) = 0;
    virtual TBrushDesc SelectBrush(const TBrushDesc& Brush) = 0;
    /// Memory contexts draw into the selected bitmap (not owned; it must outlive the selection).
    /// Other contexts ignore the call and return nullptr.
    virtual HBITMAP SelectBitmap(HBITMAP Bitmap) = 0;
    virtual TPenMode SetPenMode(TPenMode Mode) = 0;
    virtual TColor SetTextColor(TColor Color) = 0;
    virtual TColor GetTextColor() const = 0;
    virtual TColor SetBkColor(TColor Color) = 0;
    virtual TColor GetBkColor() const = 0;
    /// TRANSPARENT or OPAQUE: whether text cells are filled with the background colour.
    virtual int SetBkMode(int Mode) = 0;
    /// TA_ flags: horizontal (left, centre, right) and vertical (top, bottom) reference of
    /// TextOut. Returns the previous flags.
    virtual unsigned SetTextAlign(unsigned Flags) = 0;
    virtual unsigned GetTextAlign() const = 0;

    /// Metrics of the selected font.
    virtual bool GetTextMetrics(TTextMetric& Metrics) = 0;
    /// Advance widths of the bytes First..Last into Widths[0..Last-First].
    virtual bool GetCharWidth32(unsigned First, unsigned Last, int* Widths) = 0;
    /// The legacy query: like GetCharWidth32 but every width includes the font's overhang.
    virtual bool GetCharWidth(unsigned First, unsigned Last, int* Widths) = 0;
    /// Width and height of Count bytes drawn without tab expansion.
    virtual bool GetTextExtentPoint32(const char* Text, int Count, TSize& Size) = 0;
    /// Width and height of Count bytes with tab expansion. Tab stops are pixel offsets from the
    /// start of the text, ascending: a tab goes to the first stop beyond the current offset;
    /// past the last one (or with none given), to the next multiple of the default tab width,
    /// eight average character widths.
    virtual TSize GetTabbedTextExtent(const char* Text, int Count, int TabCount,
                                      const int* TabPositions) = 0;
    virtual int GetDeviceCaps(int Index) = 0;
    /// The rectangle drawing is clipped to, in the context's coordinates.
    virtual bool GetClipBox(TRect& Box) = 0;

    /// Draws Count bytes at (X, Y) with the selected font, text colour, background mode and
    /// alignment.
    virtual bool TextOut(int X, int Y, const char* Text, int Count) = 0;
    /// Draws Count bytes from (X, Y) expanding tabs as GetTabbedTextExtent does, tab stops
    /// measured from TabOrigin; returns the extent drawn.
    virtual TSize TabbedTextOut(int X, int Y, const char* Text, int Count, int TabCount,
                                const int* TabPositions, int TabOrigin) = 0;
    /// Moves the current position; Old receives the previous one.
    virtual bool MoveTo(int X, int Y, TPoint* Old = nullptr) = 0;
    /// Draws with the selected pen from the current position up to, not including, (X, Y),
    /// which becomes the current position.
    virtual bool LineTo(int X, int Y) = 0;
    virtual TPoint GetCurrentPosition() const = 0;
    /// Fills R with Brush (not the selected one).
    virtual bool FillRect(const TRect& R, const TBrushDesc& Brush) = 0;
    /// Inverts every pixel of R.
    virtual bool InvertRect(const TRect& R) = 0;
    /// Outline with the selected pen, inside filled with the selected brush.
    virtual bool Rectangle(int Left, int Top, int Right, int Bottom) = 0;
    /// Block transfer of a W x H area from Source at (XSrc, YSrc) to (X, Y) with raster
    /// operation Rop (SRCCOPY, SRCINVERT, DSTINVERT, ...). Source may be nullptr for the
    /// operations that do not read one.
    virtual bool BitBlt(int X, int Y, int W, int H, HDC Source, int XSrc, int YSrc,
                        std::uint32_t Rop) = 0;

    /// A memory context of this device's kind, with a 1 x 1 bitmap selected.
    virtual std::unique_ptr<TDeviceContext> CreateCompatibleDC() = 0;
    /// A bitmap of W x H pixels for this device's memory contexts.
    virtual std::unique_ptr<TDeviceBitmap> CreateCompatibleBitmap(int W, int H) = 0;
};

/// A memory context compatible with DC (the screen when DC is nullptr).
std::unique_ptr<TDeviceContext> CreateCompatibleDC(HDC DC);
/// A bitmap compatible with DC (the screen when DC is nullptr).
std::unique_ptr<TDeviceBitmap> CreateCompatibleBitmap(HDC DC, int W, int H);

/// An installed printer: its device context (valid as long as the device) and the document and
/// page brackets of a print job.
class TPrinterDevice {
public:
    TPrinterDevice() = default;
    TPrinterDevice(const TPrinterDevice&) = delete;
    TPrinterDevice& operator=(const TPrinterDevice&) = delete;
    virtual ~TPrinterDevice() = default;

    virtual HDC GetDC() = 0;
    virtual void StartDoc(const std::string& Title) = 0;
    virtual void StartPage() = 0;
    virtual void EndPage() = 0;
    virtual void EndDoc() = 0;
    virtual void AbortDoc() = 0;
};

/// What the graphics services need of a platform. One is current at a time, installed with the
/// platform's other services (TPlatformScope); library code reaches it only through the host
/// calls.
class TGraphicsPlatform {
public:
    TGraphicsPlatform() = default;
    TGraphicsPlatform(const TGraphicsPlatform&) = delete;
    TGraphicsPlatform& operator=(const TGraphicsPlatform&) = delete;
    virtual ~TGraphicsPlatform() = default;

    /// A context of the whole screen for measuring (and drawing), owned by the platform.
    virtual HDC GetScreenDC() = 0;
    /// The default printer, or nullptr when no printer is installed.
    virtual TPrinterDevice* GetPrinterDevice() = 0;
    /// Whether character widths are to be read with GetCharWidth32 (exact advances); when False
    /// the legacy GetCharWidth applies and each width is corrected for the font's overhang.
    virtual bool HasExactCharWidths() const = 0;
    /// The RGB value of a system colour index (COLOR_WINDOW, ...).
    virtual TColor GetSysColor(int Index) const = 0;
};

/// The graphics platform of the current platform scope (platform.h); raises
/// EInvalidOperation "No graphics platform installed" when there is none.
TGraphicsPlatform& GraphicsPlatform();
bool GraphicsPlatformInstalled();

/// The RGB value of a colour: system colours through the platform (or the defaults when none
/// is installed), others unchanged.
TColor ColorToRGB(TColor Color);
/// The usual values of the system colours: white window, black text, navy highlight, ...
TColor DefaultSysColor(int Index);

} // namespace kestrel
