// Graphics services on the headless platform: fonts and their metrics, the canvas, tabbed text,
// drawing into surfaces, memory contexts, the printer and the image writers.
#include "host/device_context.h"
#include "host/exceptions.h"
#include "host/graphics.h"
#include "host/headless/headless.h"
#include "host/platform.h"
#include "host/printers.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <string>

namespace kestrel {
namespace {

using headless::TDrawCall;
using headless::TFontModel;
using headless::THeadlessGraphics;
using headless::TSurface;

class GraphicsTest : public ::testing::Test {
protected:
    HDC Screen() { return Platform->GetScreenDC(); }
    TSurface& Pixels() { return Platform->GetScreenSurface(); }

    headless::THeadlessGraphicsScope Graphics;
    THeadlessGraphics* Platform = &Graphics.Graphics();
};

TFontDesc Desc(const std::string& Name, int Height, TFontStyles Style = {}) {
    TFontDesc D;
    D.Name = Name;
    D.Height = Height;
    D.Style = Style;
    return D;
}

// ---- font model and metrics

TEST(FontModelTest, MonospacedAndProportionalModels) {
    const TFontModel Mono = TFontModel::FromDesc(Desc("Courier New", -13));
    EXPECT_FALSE(Mono.Proportional);
    for (int W : Mono.Widths)
        EXPECT_EQ(W, 8);
    EXPECT_EQ(Mono.Metrics.tmHeight, 15); // em 13 + internal leading 2
    EXPECT_EQ(Mono.Metrics.tmAscent + Mono.Metrics.tmDescent, Mono.Metrics.tmHeight);
    EXPECT_EQ(Mono.Metrics.tmAveCharWidth, 8);
    EXPECT_EQ(Mono.Metrics.tmMaxCharWidth, 8);

    const TFontModel Prop = TFontModel::FromDesc(Desc("Arial", -20));
    EXPECT_TRUE(Prop.Proportional);
    EXPECT_EQ(Prop.Widths[0], 0);
    EXPECT_EQ(Prop.Widths['i'], 4);
    EXPECT_EQ(Prop.Widths['m'], 17);
    EXPECT_EQ(Prop.Widths['W'], 19);
    EXPECT_EQ(Prop.Metrics.tmAveCharWidth, Prop.Widths['x']);
    EXPECT_EQ(Prop.Metrics.tmMaxCharWidth, 20); // '@'

    // Pitch overrides the name; a positive height is the cell height.
    TFontDesc Fixed = Desc("Arial", -20);
    Fixed.Pitch = fpFixed;
    EXPECT_FALSE(TFontModel::FromDesc(Fixed).Proportional);
    EXPECT_EQ(TFontModel::FromDesc(Desc("Courier New", 16)).Metrics.tmHeight, 16);
}

TEST(FontModelTest, BoldWidensAndItalicOverhangsOnlyInTheLegacyQuery) {
    const TFontModel Plain = TFontModel::FromDesc(Desc("Arial", -32));
    const TFontModel Bold = TFontModel::FromDesc(Desc("Arial", -32, {fsBold}));
    EXPECT_EQ(Bold.Widths['a'], Plain.Widths['a'] + 2);
    EXPECT_EQ(Bold.Widths[0], 0);

    THeadlessGraphics Platform;
    HDC DC = Platform.GetScreenDC();
    DC->SelectFont(Desc("Arial", -24, {fsItalic}));
    TTextMetric M;
    ASSERT_TRUE(DC->GetTextMetrics(M));
    EXPECT_EQ(M.tmOverhang, 4);
    int Exact[256], Legacy[256];
    ASSERT_TRUE(DC->GetCharWidth32(0, 255, Exact));
    ASSERT_TRUE(DC->GetCharWidth(0, 255, Legacy));
    for (int C = 0; C < 256; ++C)
        EXPECT_EQ(Legacy[C], Exact[C] + 4) << C;
    EXPECT_FALSE(DC->GetCharWidth32(10, 256, Exact));
}

// ---- TFont, TPen, TBrush

TEST_F(GraphicsTest, FontSizeFollowsHeightAndResolution) {
    TFont F;
    EXPECT_EQ(F.GetPixelsPerInch(), 96);
    EXPECT_EQ(F.GetSize(), 8);
    EXPECT_EQ(F.GetHeight(), -11);

    // A copy for a 600 dpi printer at the same point size.
    TFont P;
    P.Assign(&F);
    P.SetPixelsPerInch(600);
    EXPECT_EQ(P.GetHeight(), -11); // the resolution alone keeps the height
    P.SetSize(F.GetSize());
    EXPECT_EQ(P.GetHeight(), -67);
    EXPECT_EQ(P.GetSize(), 8);
    EXPECT_EQ(MulDiv(-7, 3, 2), -11); // halves away from zero
}

TEST_F(GraphicsTest, ChangeEventsFireOncePerRealChange) {
    TFont F;
    int Changes = 0;
    F.SetOnChange([&](TObject* Sender) {
        EXPECT_EQ(Sender, &F);
        ++Changes;
    });
    F.SetSize(8); // unchanged
    F.SetName("Courier New");
    F.SetName("Courier New");
    F.SetStyle({fsBold});
    F.SetColor(clRed);
    EXPECT_EQ(Changes, 3);
    TFont Other;
    F.Assign(&Other);
    EXPECT_EQ(Changes, 4);
    EXPECT_EQ(F.GetName(), "MS Sans Serif");

    TPen P;
    TBrush B;
    int Others = 0;
    P.SetOnChange([&](TObject*) { ++Others; });
    B.SetOnChange([&](TObject*) { ++Others; });
    P.SetStyle(psDot);
    P.SetWidth(0); // refused
    B.SetStyle(bsClear);
    B.SetColor(clRed); // a colour makes the brush solid again
    EXPECT_EQ(Others, 3);
    EXPECT_EQ(B.GetStyle(), bsSolid);
    EXPECT_THROW(F.Assign(&P), EConvertError);
}

// ---- TCanvas

// A canvas that obtains its context on demand and gives it back, as a control's canvas does.
class TOnDemandCanvas : public TCanvas {
public:
    explicit TOnDemandCanvas(HDC Source) : FSource(Source) {}
    void ReleaseHandle() override {
        if (HandleAllocated())
            ++Released;
        SetHandle(nullptr);
    }
    int Created = 0;
    int Released = 0;

protected:
    void CreateHandle() override {
        ++Created;
        SetHandle(FSource);
    }

private:
    HDC FSource;
};

TEST_F(GraphicsTest, CanvasSelectsItsObjectsWhenTheyChange) {
    TCanvas C;
    EXPECT_THROW(C.GetHandle(), EInvalidOperation); // a plain canvas has nothing to obtain
    C.SetHandle(Screen());
    C.GetFont()->SetName("Courier New");
    C.GetFont()->SetHeight(-13);
    EXPECT_EQ(C.TextWidth("abc"), 24);
    EXPECT_EQ(C.TextHeight("abc"), 15);

    // Changing the font after selection reaches the context on the next call, also when
    // someone else owns the font's OnChange.
    int Seen = 0;
    C.GetFont()->SetOnChange([&](TObject*) { ++Seen; });
    C.GetFont()->SetHeight(-26);
    EXPECT_EQ(C.TextWidth("abc"), 48);
    EXPECT_EQ(Seen, 1);

    // Someone selecting another font directly is undone by Refresh.
    Screen()->SelectFont(Desc("Arial", -13));
    EXPECT_NE(C.TextWidth("abc"), 48);
    C.Refresh();
    EXPECT_EQ(C.TextWidth("abc"), 48);

    // System colours are resolved through the platform.
    C.GetBrush()->SetColor(clWindow);
    C.GetHandle();
    EXPECT_EQ(Screen()->GetBkColor(), clWhite);
    C.GetFont()->SetColor(clHighlight);
    C.GetHandle();
    EXPECT_EQ(Screen()->GetTextColor(), clNavy);
}

TEST_F(GraphicsTest, OnDemandCanvasCreatesAndReleasesItsContext) {
    TOnDemandCanvas C(Screen());
    EXPECT_FALSE(C.HandleAllocated());
    C.FillRect(Rect(0, 0, 2, 2));
    EXPECT_EQ(C.Created, 1);
    C.FillRect(Rect(0, 0, 2, 2));
    EXPECT_EQ(C.Created, 1);
    C.ReleaseHandle();
    EXPECT_EQ(C.Released, 1);
    EXPECT_FALSE(C.HandleAllocated());
    C.GetFont()->SetName("Courier New");
    C.TextWidth("x"); // a new context gets the objects selected again
    EXPECT_EQ(C.Created, 2);
    EXPECT_EQ(static_cast<headless::THeadlessDC*>(Screen())->GetFont().Name, "Courier New");
}

// ---- tabbed text

TEST_F(GraphicsTest, TabbedTextExpandsToStopsThenDefaultMultiples) {
    HDC DC = Screen();
    DC->SelectFont(Desc("Courier New", -13)); // 8 pixels a byte, default tab 64
    EXPECT_EQ(DC->GetTabbedTextExtent("\t", 1, 0, nullptr).cx, 64);
    EXPECT_EQ(DC->GetTabbedTextExtent("a\tb", 3, 0, nullptr).cx, 72);

    const int Stops[] = {20, 100};
    EXPECT_EQ(DC->GetTabbedTextExtent("\t", 1, 2, Stops).cx, 20);
    EXPECT_EQ(DC->GetTabbedTextExtent("aaa\t", 4, 2, Stops).cx, 100);  // 24 is past 20
    EXPECT_EQ(DC->GetTabbedTextExtent("\t\t\t", 3, 2, Stops).cx, 128); // then multiples of 64
    EXPECT_EQ(DC->GetTabbedTextExtent("\t\t\t", 3, 1, Stops).cx, 128); // one stop is a stop

    // Stops count from the tab origin: a run drawn from x = 50 with origin 10 is at offset 40.
    const TSize S = DC->TabbedTextOut(50, 0, "\tx", 2, 2, Stops, 10);
    EXPECT_EQ(S.cx, 100 - 40 + 8);
    const TDrawCall& Call = Platform->GetScreenRecord().back();
    EXPECT_EQ(Call.Op, headless::doTabbedTextOut);
    EXPECT_EQ(Call.Tabs, std::vector<int>({20, 100}));
    EXPECT_EQ(Call.TabOrigin, 10);
    EXPECT_EQ(Call.Text, "\tx");
}

// ---- drawing into surfaces

TEST_F(GraphicsTest, TextOutFillsItsCellsAndAligns) {
    HDC DC = Screen();
    DC->SelectFont(Desc("Courier New", -13));
    DC->SetTextColor(clBlack);
    DC->SetBkColor(clYellow);
    DC->TextOut(10, 20, "ab c", 4);
    // Four cells of 8 x 15 from (10, 20): background everywhere, glyph pixels but in the space.
    EXPECT_EQ(Pixels().CountPixels(Rect(10, 20, 42, 35), clYellow) +
                  Pixels().CountPixels(Rect(10, 20, 42, 35), clBlack),
              32 * 15);
    EXPECT_GT(Pixels().CountPixels(Rect(10, 20, 18, 35), clBlack), 0);
    EXPECT_EQ(Pixels().CountPixels(Rect(26, 20, 34, 35), clBlack), 0);
    EXPECT_GT(Pixels().CountPixels(Rect(34, 20, 42, 35), clBlack), 0);
    EXPECT_EQ(Pixels().CountPixels(Rect(42, 20, 60, 40), clYellow), 0);
    // Different bytes look different.
    const TSurface& P = Pixels();
    bool Differs = false;
    for (int Y = 20; Y < 35; ++Y)
        for (int X = 0; X < 8; ++X)
            Differs = Differs || P.GetPixel(10 + X, Y) != P.GetPixel(18 + X, Y);
    EXPECT_TRUE(Differs);

    // Transparent text leaves the background; centred text straddles its x.
    DC->SetBkMode(TRANSPARENT);
    DC->SetTextAlign(TA_CENTER | TA_BOTTOM);
    DC->TextOut(200, 100, "ww", 2);
    EXPECT_EQ(Pixels().CountPixels(Rect(184, 84, 216, 100), clYellow), 0);
    EXPECT_GT(Pixels().CountPixels(Rect(184, 84, 200, 100), clBlack), 0);
    EXPECT_GT(Pixels().CountPixels(Rect(200, 84, 216, 100), clBlack), 0);
    EXPECT_EQ(Pixels().CountPixels(Rect(150, 80, 192, 100), clBlack), 0);
    EXPECT_EQ(Pixels().CountPixels(Rect(184, 100, 216, 120), clBlack), 0);
}

TEST_F(GraphicsTest, LinesRectanglesAndInversion) {
    TCanvas C;
    C.SetHandle(Screen());
    C.GetPen()->SetStyle(psDot);
    C.GetPen()->SetColor(clRed);
    C.MoveTo(0, 5);
    C.LineTo(10, 5);
    for (int X = 0; X < 10; ++X)
        EXPECT_EQ(Pixels().GetPixel(X, 5), X % 2 == 0 ? clRed : clWhite) << X;
    EXPECT_EQ(Pixels().GetPixel(10, 5), clWhite); // the end point is not drawn
    EXPECT_EQ(C.GetPenPos(), Point(10, 5));

    C.GetPen()->SetStyle(psSolid);
    C.GetPen()->SetMode(pmNot); // drawn twice, a line vanishes
    C.MoveTo(0, 7);
    C.LineTo(0, 17);
    EXPECT_EQ(Pixels().CountPixels(Rect(0, 7, 1, 17), clBlack), 10);
    C.MoveTo(0, 7);
    C.LineTo(0, 17);
    EXPECT_EQ(Pixels().CountPixels(Rect(0, 7, 1, 17), clWhite), 10);

    C.GetPen()->SetMode(pmCopy);
    C.GetBrush()->SetColor(clBlue);
    C.Rectangle(20, 20, 30, 26);
    EXPECT_EQ(Pixels().CountPixels(Rect(20, 20, 30, 26), clRed), 2 * 10 + 2 * 4);
    EXPECT_EQ(Pixels().CountPixels(Rect(21, 21, 29, 25), clBlue), 8 * 4);

    Screen()->InvertRect(Rect(20, 20, 30, 26));
    EXPECT_EQ(Pixels().CountPixels(Rect(21, 21, 29, 25), clBlue ^ 0xFFFFFF), 8 * 4);
}

TEST_F(GraphicsTest, OriginAndClipConfineAWindowContext) {
    headless::THeadlessDC Window(headless::TDeviceInfo{}, &Pixels(), nullptr);
    Window.SetOrigin(Point(100, 50));
    Window.SetClipRect(Rect(0, 0, 20, 10));
    TRect Box;
    Window.GetClipBox(Box);
    EXPECT_EQ(Box, Rect(0, 0, 20, 10));
    Window.FillRect(Rect(-5, -5, 50, 50), TBrushDesc{bsSolid, clGreen});
    EXPECT_EQ(Pixels().CountPixels(Pixels().GetBounds(), clGreen), 200);
    EXPECT_EQ(Pixels().CountPixels(Rect(100, 50, 120, 60), clGreen), 200);
}

TEST_F(GraphicsTest, MemoryContextDrawsOffScreenAndBlitsToTheScreen) {
    HDC DC = Screen();
    auto Mem = CreateCompatibleDC(DC);
    auto Bitmap = CreateCompatibleBitmap(DC, 16, 8);
    EXPECT_EQ(Bitmap->GetWidth(), 16);
    HBITMAP Old = Mem->SelectBitmap(Bitmap.get());
    ASSERT_NE(Old, nullptr);
    Mem->FillRect(Rect(0, 0, 16, 8), TBrushDesc{bsSolid, clRed});
    Mem->FillRect(Rect(0, 0, 4, 4), TBrushDesc{bsSolid, clBlue});
    EXPECT_EQ(Pixels().CountPixels(Pixels().GetBounds(), clRed), 0); // nothing on screen yet

    ASSERT_TRUE(DC->BitBlt(30, 40, 16, 8, Mem.get(), 0, 0, SRCCOPY));
    EXPECT_EQ(Pixels().CountPixels(Rect(30, 40, 46, 48), clRed), 128 - 16);
    EXPECT_EQ(Pixels().GetPixel(30, 40), clBlue);
    EXPECT_EQ(Pixels().GetPixel(46, 40), clWhite);
    ASSERT_TRUE(DC->BitBlt(30, 40, 2, 1, nullptr, 0, 0, DSTINVERT));
    EXPECT_EQ(Pixels().GetPixel(31, 40), clBlue ^ 0xFFFFFF);
    EXPECT_FALSE(DC->BitBlt(0, 0, 2, 2, nullptr, 0, 0, SRCCOPY)); // needs a source

    const auto& Record = Platform->GetScreenRecord();
    ASSERT_GE(Record.size(), 3u);
    EXPECT_TRUE(Record[0].OffScreen);
    EXPECT_EQ(Record[2].Op, headless::doBitBlt);
    EXPECT_FALSE(Record[2].OffScreen);
    EXPECT_EQ(Record[2].Rop, SRCCOPY);
    Mem->SelectBitmap(Old);
}

// ---- platform and printer

TEST(GraphicsPlatformTest, NoPlatformIsAClearError) {
    const TPlatformScope None{TPlatformServices{}};
    EXPECT_FALSE(GraphicsPlatformInstalled());
    EXPECT_THROW(GraphicsPlatform(), EInvalidOperation);
    EXPECT_EQ(ColorToRGB(clWindow), clWhite); // the usual defaults without a platform
    EXPECT_EQ(ColorToRGB(clRed), clRed);
}

TEST_F(GraphicsTest, PrinterMetricsAndNoPrinterInstalled) {
    HDC P = Printer()->GetHandle();
    EXPECT_EQ(P->GetDeviceCaps(LOGPIXELSX), 600);
    EXPECT_EQ(P->GetDeviceCaps(LOGPIXELSY), 600);
    EXPECT_EQ(P->GetDeviceCaps(TECHNOLOGY), DT_RASPRINTER);
    EXPECT_EQ(Printer()->GetPageWidth(), 4800);
    EXPECT_EQ(Printer()->GetPageHeight(), 6300);
    EXPECT_EQ(P->GetDeviceCaps(PHYSICALOFFSETX), 150);
    EXPECT_EQ(Screen()->GetDeviceCaps(LOGPIXELSY), 96);

    Platform->SetPrinterInstalled(false);
    try {
        Printer()->GetHandle();
        FAIL() << "no exception";
    } catch (const EPrinter& E) {
        EXPECT_STREQ(E.what(), "There is no default printer currently selected");
    }
    EXPECT_THROW(Printer()->BeginDoc(), EPrinter);
    EXPECT_THROW(Printer()->GetCanvas()->TextWidth("x"), EPrinter);
    EXPECT_FALSE(Printer()->GetPrinting());
}

TEST_F(GraphicsTest, PrinterRecordsJobsAndPages) {
    TPrinter* P = Printer();
    P->SetTitle("Report");
    EXPECT_THROW(P->EndDoc(), EPrinter);
    P->BeginDoc();
    EXPECT_TRUE(P->GetPrinting());
    EXPECT_EQ(P->GetPageNumber(), 1);
    EXPECT_THROW(P->BeginDoc(), EPrinter);
    P->GetCanvas()->TextOut(300, 450, "one");
    P->NewPage();
    EXPECT_EQ(P->GetPageNumber(), 2);
    P->GetCanvas()->TextOut(300, 450, "two");
    P->EndDoc();
    EXPECT_FALSE(P->GetPrinting());

    P->SetTitle("Dropped");
    P->BeginDoc();
    P->GetCanvas()->TextOut(0, 0, "lost");
    P->Abort();
    EXPECT_TRUE(P->GetAborted());
    EXPECT_FALSE(P->GetPrinting());

    const auto& Docs = Platform->GetPrinter().GetDocuments();
    ASSERT_EQ(Docs.size(), 2u);
    EXPECT_EQ(Docs[0].Title, "Report");
    EXPECT_TRUE(Docs[0].Ended);
    ASSERT_EQ(Docs[0].Pages.size(), 2u);
    ASSERT_EQ(Docs[0].Pages[1].Calls.size(), 1u);
    EXPECT_EQ(Docs[0].Pages[1].Calls[0].Text, "two");
    EXPECT_EQ(Docs[0].Pages[1].Calls[0].X, 300);
    // The canvas keeps its font at the printer's resolution: 8 points at 600 dpi.
    EXPECT_EQ(Docs[0].Pages[0].Calls[0].Font.Height, -67);
    EXPECT_EQ(P->GetCanvas()->GetFont()->GetSize(), 8);
    EXPECT_TRUE(Docs[1].Aborted);
    EXPECT_FALSE(Docs[1].Ended);
}

TEST_F(GraphicsTest, PrinterRendersSmallPagesWhenAsked) {
    headless::TDeviceInfo Info = headless::THeadlessPrinter::DefaultInfo();
    Info.Width = 200;
    Info.Height = 100;
    Platform->GetPrinter().SetInfo(Info);
    Platform->GetPrinter().SetRenderPages(true);
    Printer()->BeginDoc();
    Printer()->GetCanvas()->GetBrush()->SetColor(clGreen);
    Printer()->GetCanvas()->FillRect(Rect(0, 0, 10, 10));
    Printer()->EndDoc();
    const auto& Page = Platform->GetPrinter().GetDocuments().at(0).Pages.at(0);
    ASSERT_NE(Page.Surface, nullptr);
    EXPECT_EQ(Page.Surface->GetWidth(), 200);
    EXPECT_EQ(Page.Surface->CountPixels(Page.Surface->GetBounds(), clGreen), 100);
}

TEST_F(GraphicsTest, ReplacingThePlatformRebindsThePrinter) {
    TPrinter* Before = Printer();
    Before->GetCanvas()->TextWidth("x");
    headless::THeadlessGraphicsScope OtherScope;
    THeadlessGraphics& Other = OtherScope.Graphics();
    Other.SetPrinterInstalled(false);
    EXPECT_THROW(Printer()->GetCanvas()->TextWidth("x"), EPrinter);
}

// ---- image writers

std::uint32_t BE32(const std::string& S, std::size_t At) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(S[At])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(S[At + 1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(S[At + 2])) << 8) |
           static_cast<unsigned char>(S[At + 3]);
}

TEST(SurfaceTest, PngAndPpmCarryThePixels) {
    TSurface S(300, 200, clWhite);
    S.SetPixel(0, 0, clRed);
    S.SetPixel(299, 199, clBlue);
    const std::string Png = S.ToPNG();
    ASSERT_EQ(Png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(Png.substr(12, 4), "IHDR");
    EXPECT_EQ(BE32(Png, 16), 300u);
    EXPECT_EQ(BE32(Png, 20), 200u);
    EXPECT_EQ(Png.substr(Png.size() - 8, 4), "IEND");

    // Decoded again, the image has every pixel.
    png_image Image{};
    Image.version = PNG_IMAGE_VERSION;
    ASSERT_NE(png_image_begin_read_from_memory(&Image, Png.data(), Png.size()), 0);
    Image.format = PNG_FORMAT_RGB;
    std::string Raw(PNG_IMAGE_SIZE(Image), '\0');
    ASSERT_NE(png_image_finish_read(&Image, nullptr, Raw.data(), 0, nullptr), 0);
    ASSERT_EQ(Raw.size(), 200u * 900u);
    EXPECT_EQ(Raw.substr(0, 6), std::string("\xff\0\0\xff\xff\xff", 6));
    EXPECT_EQ(Raw.substr(Raw.size() - 3), std::string("\0\0\xff", 3));

    const std::string Ppm = S.ToPPM();
    const std::string Header = "P6\n300 200\n255\n";
    ASSERT_EQ(Ppm.substr(0, Header.size()), Header);
    EXPECT_EQ(Ppm.size(), Header.size() + 300u * 200u * 3u);
    EXPECT_EQ(Ppm.substr(Header.size(), 3), std::string("\xff\0\0", 3));
}

} // namespace
} // namespace kestrel
