// The Qt graphics platform and printer.
#include "host/qt/qt_graphics.h"

#include "host/exceptions.h"
#include "host/qt/qt_text.h"

#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPalette>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>

#include <cmath>

namespace kestrel::qt {

namespace {

constexpr int PrinterResolution = 600;

TQtDeviceInfo ScreenInfo() {
    TQtDeviceInfo Info;
    if (const QScreen* S = QGuiApplication::primaryScreen()) {
        Info.PixelsPerInchX = std::max(1, static_cast<int>(std::lround(S->logicalDotsPerInchX())));
        Info.PixelsPerInchY = std::max(1, static_cast<int>(std::lround(S->logicalDotsPerInchY())));
        Info.Width = Info.PhysicalWidth = S->size().width();
        Info.Height = Info.PhysicalHeight = S->size().height();
        Info.BitsPerPixel = S->depth();
    }
    return Info;
}

TColor FromQColor(const QColor& C) {
    return RGB(C.red(), C.green(), C.blue());
}

} // namespace

// ---- TQtPrinter

TQtPrinter::TQtPrinter()
    : FPrinter(std::make_unique<QPrinter>(QPrinter::HighResolution)), FDC({}, nullptr, this) {
    FPrinter->setOutputFormat(QPrinter::PdfFormat);
    FPrinter->setResolution(PrinterResolution);
    FOutputFileName = "kestrel-print.pdf";
    FPrinter->setOutputFileName(QString::fromStdString(FOutputFileName));
    UpdateInfo();
}

TQtPrinter::~TQtPrinter() {
    if (FPainter && FPainter->isActive())
        FPainter->end();
}

void TQtPrinter::UpdateInfo() {
    const int Dpi = FPrinter->resolution();
    const QPageLayout Layout = FPrinter->pageLayout();
    const QRect Paint = Layout.paintRectPixels(Dpi);
    const QRect Full = Layout.fullRectPixels(Dpi);
    TQtDeviceInfo Info;
    Info.Technology = DT_RASPRINTER;
    Info.PixelsPerInchX = Info.PixelsPerInchY = Dpi;
    Info.Width = Paint.width();
    Info.Height = Paint.height();
    Info.PhysicalWidth = Full.width();
    Info.PhysicalHeight = Full.height();
    Info.OffsetX = Paint.left();
    Info.OffsetY = Paint.top();
    Info.BitsPerPixel = 24;
    FDC.SetInfo(Info);
}

void TQtPrinter::SetOutputFileName(const std::string& FileName) {
    if (FPainter)
        throw EPrinter("Printing in progress");
    FOutputFileName = FileName;
    FPrinter->setOutputFormat(QPrinter::PdfFormat);
    FPrinter->setResolution(PrinterResolution);
    FPrinter->setOutputFileName(QString::fromStdString(FileName));
    UpdateInfo();
}

void TQtPrinter::SetPrinterName(const std::string& Name) {
    if (FPainter)
        throw EPrinter("Printing in progress");
    FOutputFileName.clear();
    FPrinter->setOutputFileName(QString());
    FPrinter->setOutputFormat(QPrinter::NativeFormat);
    FPrinter->setPrinterName(QString::fromStdString(Name));
    FPrinter->setResolution(PrinterResolution);
    UpdateInfo();
}

std::vector<std::string> TQtPrinter::SystemPrinters() {
    std::vector<std::string> Names;
    for (const QString& N : QPrinterInfo::availablePrinterNames())
        Names.push_back(N.toStdString());
    return Names;
}

void TQtPrinter::StartDoc(const std::string& Title) {
    if (FPainter)
        throw EPrinter("Printing in progress");
    FPrinter->setDocName(ToQString(Title));
    UpdateInfo();
    auto Painter = std::make_unique<QPainter>();
    if (!Painter->begin(FPrinter.get()))
        throw EPrinter(FOutputFileName.empty()
                           ? "Cannot print on " + FPrinter->printerName().toStdString()
                           : "Cannot write " + FOutputFileName);
    FPainter = std::move(Painter);
    FPages = 0;
    FInPage = false;
}

void TQtPrinter::StartPage() {
    if (!FPainter)
        throw EPrinter("Printer is not currently printing");
    if (FPages > 0)
        FPrinter->newPage();
    ++FPages;
    FInPage = true;
}

void TQtPrinter::EndPage() {
    FInPage = false;
}

void TQtPrinter::EndDoc() {
    if (!FPainter)
        throw EPrinter("Printer is not currently printing");
    FInPage = false;
    FPainter->end();
    FPainter.reset();
}

void TQtPrinter::AbortDoc() {
    if (!FPainter)
        throw EPrinter("Printer is not currently printing");
    FInPage = false;
    FPrinter->abort();
    if (FPainter->isActive())
        FPainter->end();
    FPainter.reset();
    // A PDF of an aborted job is incomplete: it goes.
    if (!FOutputFileName.empty())
        QFile::remove(QString::fromStdString(FOutputFileName));
}

QPainter* TQtPrinter::PagePainter() {
    return FPainter && FInPage ? FPainter.get() : nullptr;
}

// ---- TQtGraphics

TQtGraphics::TQtGraphics()
    : FScratch(1, 1, QImage::Format_RGB32), FScreenDC(ScreenInfo(), &FScratch) {}

TQtGraphics::~TQtGraphics() = default;

TColor TQtGraphics::GetSysColor(int Index) const {
    const QPalette P = QGuiApplication::palette();
    switch (Index) {
    case COLOR_WINDOW:
        return FromQColor(P.color(QPalette::Active, QPalette::Base));
    case COLOR_WINDOWTEXT:
        return FromQColor(P.color(QPalette::Active, QPalette::Text));
    case COLOR_HIGHLIGHT:
        return FromQColor(P.color(QPalette::Active, QPalette::Highlight));
    case COLOR_HIGHLIGHTTEXT:
        return FromQColor(P.color(QPalette::Active, QPalette::HighlightedText));
    case COLOR_BTNFACE:
        return FromQColor(P.color(QPalette::Active, QPalette::Button));
    case COLOR_BTNTEXT:
        return FromQColor(P.color(QPalette::Active, QPalette::ButtonText));
    case COLOR_GRAYTEXT:
        return FromQColor(P.color(QPalette::Disabled, QPalette::Text));
    default:
        return DefaultSysColor(Index);
    }
}

} // namespace kestrel::qt
