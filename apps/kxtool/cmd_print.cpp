// kxtool print: prints a file from the text viewer through the headless printer and writes each
// printed page as a PNG image.
#include "kxtool.h"
#include "viewer_tool.h"

#include "host/headless/headless_dc.h"
#include "host/headless/surface.h"
#include "host/printers.h"
#include "host/sysutils.h"

#include <cstdio>
#include <filesystem>
#include <iostream>

namespace kestrel::kxtool {
namespace {

/// Parses "A-B" (or a single page "A") into 1 <= From <= To.
void ParsePages(const std::string& Value, std::int64_t& From, std::int64_t& To) {
    const auto Dash = Value.find('-');
    try {
        From = StrToInt(Value.substr(0, Dash));
        To = Dash == std::string::npos ? From : StrToInt(Value.substr(Dash + 1));
    } catch (const EConvertError&) {
        throw TUsageError("--pages is A-B, not '" + Value + "'");
    }
    if (From < 1 || To < From)
        throw TUsageError("--pages needs 1 <= A <= B");
}

/// A letter page at Dpi dots per inch with a quarter-inch unprintable edge.
headless::TDeviceInfo LetterPage(int Dpi) {
    headless::TDeviceInfo Info = headless::THeadlessPrinter::DefaultInfo();
    Info.PixelsPerInchX = Info.PixelsPerInchY = Dpi;
    Info.PhysicalWidth = Dpi * 17 / 2;
    Info.PhysicalHeight = Dpi * 11;
    Info.OffsetX = Info.OffsetY = Dpi / 4;
    Info.Width = Dpi * 8;
    Info.Height = Dpi * 21 / 2;
    return Info;
}

/// Draws the text calls recorded for a page on a surface of the page's printable size. Pages
/// are rendered one at a time after the job, so that a long job keeps no pixels in memory.
void SavePage(const headless::TPrintedPage& Page, const headless::TDeviceInfo& Info,
              const std::string& FileName) {
    headless::TSurface Surface(Info.Width, Info.Height);
    headless::THeadlessDC DC(Info, &Surface, nullptr);
    for (const headless::TDrawCall& C : Page.Calls) {
        if (C.Op != headless::doTextOut && C.Op != headless::doTabbedTextOut)
            continue;
        DC.SelectFont(C.Font);
        DC.SetTextColor(C.Color);
        DC.SetBkColor(C.BkColor);
        DC.SetBkMode(C.BkMode);
        DC.SetTextAlign(C.Align);
        const int Count = static_cast<int>(C.Text.size());
        if (C.Op == headless::doTextOut)
            DC.TextOut(C.X, C.Y, C.Text.data(), Count);
        else
            DC.TabbedTextOut(C.X, C.Y, C.Text.data(), Count, static_cast<int>(C.Tabs.size()),
                             C.Tabs.empty() ? nullptr : C.Tabs.data(), C.TabOrigin);
    }
    Surface.SaveToPNG(FileName);
}

int RunPrint(const std::vector<std::string>& Raw) {
    const TArgs Args =
        ParseArgs(Raw, {"--out", "--pages", "--wrap", "--dpi", "--header"}, {"--text"});
    Args.ExpectPositional(1);
    if (!Args.Has("--out"))
        throw TUsageError("--out is required");
    const std::string OutDir = Args.Value("--out");
    const std::int64_t Dpi = Args.Int("--dpi", 150);
    if (Dpi < 50 || Dpi > 600)
        throw TUsageError("--dpi is 50 to 600");
    std::int64_t From = 0, To = 0;
    if (Args.Has("--pages"))
        ParsePages(Args.Value("--pages"), From, To);
    // The printer's own wrapping (the paper's width) unless another mode is asked for.
    const std::string Wrap = Args.Value("--wrap", "printer");
    TWrapModes Mode = opNone;
    std::int64_t Length = 0;
    const bool PrinterWrap = Wrap == "printer";
    if (!PrinterWrap)
        ParseWrap(Wrap, Mode, Length);

    TViewerTool Tool(Args.Positional[0], 800, 25, Mode, Length);
    TTextViewer& V = Tool.View();
    headless::THeadlessPrinter& Device = Tool.Graphics().GetPrinter();
    Device.SetInfo(LetterPage(static_cast<int>(Dpi)));
    V.UpdatePrinterMetrics();

    std::error_code Error;
    std::filesystem::create_directories(OutDir, Error);
    if (Error)
        throw EFCreateError("Cannot create " + OutDir + ": " + Error.message());
    const std::string Header = Args.Value("--header", ExtractFileName(Args.Positional[0]));
    // Pages of the printed layout, read during the job (afterwards the display's layout is back).
    // A range is cut to the pages the document has: the job stops before the first page past
    // its end, and a range that starts past the end is refused before anything is written.
    const bool Range = Args.Has("--pages");
    std::int64_t DocumentPages = 0;
    bool Printing = false;
    V.SetOnPagePrint([&](TObject*, std::int64_t Page, std::int64_t) {
        DocumentPages = V.GetPageCount();
        Printing = true;
        if (Page == 1 && Range && From > DocumentPages)
            throw TUsageError("--pages " + Args.Value("--pages") + " is past the end: the " +
                              "document has " + std::to_string(DocumentPages) + " pages");
    });
    V.SetOnProgressEvent([&](TLinesViewer*, std::int64_t Done, std::int64_t, bool& Cancel) {
        if (Printing && Range && From + Done - 1 > DocumentPages)
            Cancel = true;
    });
    V.Print(Header, Header, true, PrinterWrap, Range ? prPageNums : prAllPages, From, To);

    const headless::TPrintedDocument& Doc = Device.GetDocuments().back();
    for (std::size_t I = 0; I < Doc.Pages.size(); ++I) {
        char Name[32];
        std::snprintf(Name, sizeof Name, "page-%03zu.png", I + 1);
        const std::string File = (std::filesystem::path(OutDir) / Name).string();
        WritingFile(File, [&] { SavePage(Doc.Pages[I], Device.GetInfo(), File); });
        std::cout << File << '\n';
        if (Args.Has("--text")) { // a line may be drawn in several runs, all at its Y
            std::string Line;
            int Y = -1;
            for (const headless::TDrawCall& C : Doc.Pages[I].Calls) {
                if (C.Op != headless::doTabbedTextOut)
                    continue;
                if (C.Y != Y && Y >= 0) {
                    std::cout << "  " << Line << '\n';
                    Line.clear();
                }
                Y = C.Y;
                Line += C.Text;
            }
            if (Y >= 0)
                std::cout << "  " << Line << '\n';
        }
    }
    std::cout << Doc.Pages.size() << " pages printed; the document has " << DocumentPages
              << " pages of " << V.GetLinesPerPage() << " lines\n";
    return ExitOk;
}

const std::string Help =
    std::string("A range past the document's last page is cut there. Each page's footer counts "
                "the pages printed,\nfrom 1: --pages 2-2 prints one page whose footer is "
                "\"Page 1\".\nEach page file is written whole or not at all: it takes its name "
                "only once complete; a failure\nstops the job (the pages written before it "
                "stay).\n") +
    FileHelp;

const TCommandRegistrar
    Registrar({"print",
               "FILE --out DIR [--pages A-B] [--wrap printer|none|screen|N] [--dpi N] "
               "[--header TEXT] [--text]",
               "print a file through the headless printer; each page is written as "
               "DIR/page-NNN.png (--text also lists the printed lines)",
               RunPrint, Help.c_str()});

} // namespace
} // namespace kestrel::kxtool
