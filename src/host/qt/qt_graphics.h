// The Qt platform's graphics: the screen's measuring context, system colours from the
// application's palette, and the printer (a PDF file, or a system printer CUPS knows).
#pragma once

#include "host/device_context.h"
#include "host/qt/qt_dc.h"

#include <QImage>
#include <QPainter>

#include <memory>
#include <string>
#include <vector>

class QPrinter;

namespace kestrel::qt {

/// The global printer's device: a PDF file by default (OutputFileName), or a system printer
/// chosen by name. Pages are drawn at 600 dots per inch on a page of the printer's default
/// size.
class TQtPrinter : public TPrinterDevice, public TQtPaintTarget {
public:
    TQtPrinter();
    ~TQtPrinter() override;

    /// Prints into the PDF file FileName.
    void SetOutputFileName(const std::string& FileName);
    const std::string& GetOutputFileName() const { return FOutputFileName; }
    /// Prints on the system printer Name (one of SystemPrinters()).
    void SetPrinterName(const std::string& Name);
    /// The printers CUPS offers; none on a machine without them.
    static std::vector<std::string> SystemPrinters();
    /// Pages started in the current or last job.
    int GetPagesPrinted() const { return FPages; }
    QPrinter& Device() { return *FPrinter; }

    HDC GetDC() override { return &FDC; }
    void StartDoc(const std::string& Title) override;
    void StartPage() override;
    void EndPage() override;
    void EndDoc() override;
    void AbortDoc() override;
    QPainter* PagePainter() override;

private:
    /// Resolution and page geometry of the printer, for GetDeviceCaps.
    void UpdateInfo();

    std::unique_ptr<QPrinter> FPrinter;
    TQtDC FDC;
    std::unique_ptr<QPainter> FPainter; // open from StartDoc to EndDoc
    std::string FOutputFileName;
    int FPages = 0;
    bool FInPage = false;
};

/// The graphics platform: a screen context (measuring at the screen's resolution) and the
/// printer. System colours come from the application's palette.
class TQtGraphics : public TGraphicsPlatform {
public:
    TQtGraphics();
    ~TQtGraphics() override;

    HDC GetScreenDC() override { return &FScreenDC; }
    TPrinterDevice* GetPrinterDevice() override { return &FPrinter; }
    bool HasExactCharWidths() const override { return true; }
    TColor GetSysColor(int Index) const override;

    TQtPrinter& GetPrinter() { return FPrinter; }
    /// The screen's resolution and size.
    const TQtDeviceInfo& GetScreenInfo() const { return FScreenDC.GetInfo(); }

private:
    QImage FScratch; // what drawing on the screen context touches
    TQtDC FScreenDC;
    TQtPrinter FPrinter;
};

} // namespace kestrel::qt
