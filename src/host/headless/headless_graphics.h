// The headless graphics platform: a screen, a printer that records its pages, the switches
// tests use (no printer installed, legacy width query) and its installation.
#pragma once

#include "host/device_context.h"
#include "host/headless/headless_dc.h"
#include "host/headless/surface.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::headless {

/// One printed page: its drawing calls and, when page rendering is on, its pixels.
struct TPrintedPage {
    TDrawRecord Calls;
    std::unique_ptr<TSurface> Surface;
};

/// One print job.
struct TPrintedDocument {
    std::string Title;
    std::vector<TPrintedPage> Pages;
    bool Ended = false;   // EndDoc was called
    bool Aborted = false; // AbortDoc was called
};

/// A printer of 600 dpi with a letter page (8.5 x 11 inches) and a quarter-inch unprintable
/// edge: 4800 x 6300 printable pixels. Pages keep their drawing calls; with page rendering on
/// they also get a surface of the printable size (for small test pages: a full page at 600 dpi
/// is large).
class THeadlessPrinter : public TPrinterDevice {
public:
    THeadlessPrinter();

    static TDeviceInfo DefaultInfo();
    /// Changes resolution and page size; the context keeps its selections.
    void SetInfo(const TDeviceInfo& Info);
    const TDeviceInfo& GetInfo() const { return FDC.GetInfo(); }
    void SetRenderPages(bool Value) { FRenderPages = Value; }

    const std::vector<TPrintedDocument>& GetDocuments() const { return FDocuments; }
    void ClearDocuments() { FDocuments.clear(); }

    HDC GetDC() override { return &FDC; }
    void StartDoc(const std::string& Title) override;
    void StartPage() override;
    void EndPage() override;
    void EndDoc() override;
    void AbortDoc() override;

private:
    THeadlessDC FDC; // draws on the current page, or nowhere outside a page
    std::vector<TPrintedDocument> FDocuments;
    bool FInDoc = false;
    bool FRenderPages = false;
};

/// The headless platform: a 1024 x 768 screen at 96 dpi whose context draws into a surface and
/// records its calls, an installed printer (switchable), and the exact width query (switchable
/// to the legacy one with overhang correction).
class THeadlessGraphics : public TGraphicsPlatform {
public:
    THeadlessGraphics();

    HDC GetScreenDC() override { return &FScreenDC; }
    TPrinterDevice* GetPrinterDevice() override;
    bool HasExactCharWidths() const override { return FExactCharWidths; }
    TColor GetSysColor(int Index) const override;

    void SetPrinterInstalled(bool Value) { FPrinterInstalled = Value; }
    bool GetPrinterInstalled() const { return FPrinterInstalled; }
    void SetExactCharWidths(bool Value) { FExactCharWidths = Value; }
    void SetSysColor(int Index, TColor Color);

    THeadlessPrinter& GetPrinter() { return FPrinter; }
    THeadlessDC& GetScreen() { return FScreenDC; }
    TSurface& GetScreenSurface() { return FScreenSurface; }
    TDrawRecord& GetScreenRecord() { return FScreenRecord; }

private:
    TSurface FScreenSurface;
    TDrawRecord FScreenRecord;
    THeadlessDC FScreenDC;
    THeadlessPrinter FPrinter;
    bool FPrinterInstalled = true;
    bool FExactCharWidths = true;
    std::array<TColor, 32> FSysColors{};
};

} // namespace kestrel::headless
