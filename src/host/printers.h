// TPrinter: the global printer, its canvas and device context, and the print-job brackets.
#pragma once

#include "host/device_context.h"
#include "host/graphics.h"
#include "host/object.h"

#include <memory>
#include <string>

namespace kestrel {

/// The platform's default printer. Measuring works at any time through the device context and
/// the canvas; drawing goes to the pages of the job between BeginDoc and EndDoc. Every call
/// that needs the device raises EPrinter "There is no default printer currently selected" when
/// no printer is installed.
class TPrinter : public TObject {
public:
    TPrinter();
    ~TPrinter() override;

    /// The printer's device context.
    HDC GetHandle();
    /// Draws on the printer's device context, through the font, pen and brush it owns.
    TCanvas* GetCanvas() const { return FCanvas.get(); }

    /// Starts a job named Title on page 1; raises EPrinter "Printing in progress" when one runs.
    void BeginDoc();
    /// Ends the job (its pages go to the printer unless it was aborted); raises EPrinter
    /// "Printer is not currently printing" outside a job.
    void EndDoc();
    /// Ends the current page and starts the next.
    void NewPage();
    /// Discards the job and ends it; Aborted stays True until the next BeginDoc.
    void Abort();

    bool GetPrinting() const { return FPrinting; }
    bool GetAborted() const { return FAborted; }
    /// The page being drawn (from 1), 0 outside a job.
    int GetPageNumber() const { return FPageNumber; }
    const std::string& GetTitle() const { return FTitle; }
    void SetTitle(const std::string& Value) { FTitle = Value; }
    /// The printable area in printer pixels (HORZRES, VERTRES).
    int GetPageWidth();
    int GetPageHeight();

private:
    TPrinterDevice* Device();
    void CheckPrinting(bool Value);

    std::unique_ptr<TCanvas> FCanvas;
    std::string FTitle;
    bool FPrinting = false;
    bool FAborted = false;
    int FPageNumber = 0;
};

/// The global printer, made on first use.
TPrinter* Printer();
/// Replaces the global printer (nullptr: a new one is made on next use).
void SetPrinter(std::unique_ptr<TPrinter> Value);

} // namespace kestrel
