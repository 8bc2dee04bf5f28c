// The headless graphics platform and printer.
#include "host/headless/headless_graphics.h"

#include "host/exceptions.h"

namespace kestrel::headless {

// ---- THeadlessPrinter

TDeviceInfo THeadlessPrinter::DefaultInfo() {
    TDeviceInfo Info;
    Info.Technology = DT_RASPRINTER;
    Info.PixelsPerInchX = Info.PixelsPerInchY = 600;
    Info.PhysicalWidth = 5100;
    Info.PhysicalHeight = 6600;
    Info.OffsetX = Info.OffsetY = 150;
    Info.Width = 4800;
    Info.Height = 6300;
    Info.BitsPerPixel = 24;
    return Info;
}

THeadlessPrinter::THeadlessPrinter() : FDC(DefaultInfo(), nullptr, nullptr) {}

void THeadlessPrinter::SetInfo(const TDeviceInfo& Info) {
    FDC.SetInfo(Info);
}

void THeadlessPrinter::StartDoc(const std::string& Title) {
    if (FInDoc)
        throw EPrinter("Printing in progress");
    FDocuments.push_back(TPrintedDocument{Title, {}, false, false});
    FInDoc = true;
}

void THeadlessPrinter::StartPage() {
    if (!FInDoc)
        throw EPrinter("Printer is not currently printing");
    TPrintedPage& Page = FDocuments.back().Pages.emplace_back();
    if (FRenderPages)
        Page.Surface = std::make_unique<TSurface>(GetInfo().Width, GetInfo().Height);
    FDC.SetRecord(&Page.Calls);
    FDC.SetSurface(Page.Surface.get());
}

void THeadlessPrinter::EndPage() {
    FDC.SetRecord(nullptr);
    FDC.SetSurface(nullptr);
}

void THeadlessPrinter::EndDoc() {
    if (!FInDoc)
        throw EPrinter("Printer is not currently printing");
    EndPage();
    FDocuments.back().Ended = true;
    FInDoc = false;
}

void THeadlessPrinter::AbortDoc() {
    if (!FInDoc)
        throw EPrinter("Printer is not currently printing");
    EndPage();
    FDocuments.back().Aborted = true;
    FInDoc = false;
}

// ---- THeadlessGraphics

THeadlessGraphics::THeadlessGraphics()
    : FScreenSurface(1024, 768), FScreenDC(TDeviceInfo{}, &FScreenSurface, &FScreenRecord) {
    for (int I = 0; I < static_cast<int>(FSysColors.size()); ++I)
        FSysColors[static_cast<std::size_t>(I)] = DefaultSysColor(I);
}

TPrinterDevice* THeadlessGraphics::GetPrinterDevice() {
    return FPrinterInstalled ? &FPrinter : nullptr;
}

TColor THeadlessGraphics::GetSysColor(int Index) const {
    if (Index < 0 || Index >= static_cast<int>(FSysColors.size()))
        return clBlack;
    return FSysColors[static_cast<std::size_t>(Index)];
}

void THeadlessGraphics::SetSysColor(int Index, TColor Color) {
    if (Index >= 0 && Index < static_cast<int>(FSysColors.size()))
        FSysColors[static_cast<std::size_t>(Index)] = Color;
}

} // namespace kestrel::headless
