// TPrinter and the global printer.
#include "host/printers.h"

#include "host/exceptions.h"

namespace kestrel {

namespace {

// The printer's canvas: its context is the printer's, fetched on demand.
class TPrinterCanvas : public TCanvas {
public:
    explicit TPrinterCanvas(TPrinter* Owner) : FOwner(Owner) {}

    void ReleaseHandle() override { SetHandle(nullptr); }

protected:
    void CreateHandle() override { SetHandle(FOwner->GetHandle()); }

    // Fonts given to the printer canvas keep their point size at the printer's resolution.
    void UpdateFont() override {
        const int Ppi = CurrentHandle()->GetDeviceCaps(LOGPIXELSY);
        TFont* F = GetFont();
        if (Ppi <= 0 || F->GetPixelsPerInch() == Ppi)
            return;
        const int Size = F->GetSize();
        F->SetPixelsPerInch(Ppi);
        F->SetSize(Size);
    }

private:
    TPrinter* FOwner;
};

std::unique_ptr<TPrinter>& GlobalPrinter() {
    static std::unique_ptr<TPrinter> Value;
    return Value;
}

} // namespace

TPrinter::TPrinter() : FCanvas(std::make_unique<TPrinterCanvas>(this)) {}

TPrinter::~TPrinter() = default;

TPrinterDevice* TPrinter::Device() {
    TPrinterDevice* Result = GraphicsPlatform().GetPrinterDevice();
    if (Result == nullptr)
        throw EPrinter("There is no default printer currently selected");
    return Result;
}

HDC TPrinter::GetHandle() { return Device()->GetDC(); }

void TPrinter::CheckPrinting(bool Value) {
    if (FPrinting == Value)
        return;
    throw EPrinter(Value ? "Printer is not currently printing" : "Printing in progress");
}

void TPrinter::BeginDoc() {
    CheckPrinting(false);
    TPrinterDevice* Dev = Device();
    FAborted = false;
    Dev->StartDoc(FTitle);
    Dev->StartPage();
    FPrinting = true;
    FPageNumber = 1;
    FCanvas->SetHandle(Dev->GetDC());
    FCanvas->Refresh();
}

void TPrinter::EndDoc() {
    CheckPrinting(true);
    TPrinterDevice* Dev = Device();
    FPrinting = false;
    FPageNumber = 0;
    if (!FAborted) {
        Dev->EndPage();
        Dev->EndDoc();
    }
    FCanvas->ReleaseHandle();
}

void TPrinter::NewPage() {
    CheckPrinting(true);
    TPrinterDevice* Dev = Device();
    Dev->EndPage();
    Dev->StartPage();
    ++FPageNumber;
    FCanvas->Refresh();
}

void TPrinter::Abort() {
    CheckPrinting(true);
    Device()->AbortDoc();
    FAborted = true;
    EndDoc();
}

int TPrinter::GetPageWidth() { return GetHandle()->GetDeviceCaps(HORZRES); }

int TPrinter::GetPageHeight() { return GetHandle()->GetDeviceCaps(VERTRES); }

TPrinter* Printer() {
    auto& Value = GlobalPrinter();
    if (!Value)
        Value = std::make_unique<TPrinter>();
    return Value.get();
}

void SetPrinter(std::unique_ptr<TPrinter> Value) { GlobalPrinter() = std::move(Value); }

} // namespace kestrel
