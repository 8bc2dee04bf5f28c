// The Qt graphics platform: Windows-1252 both ways, widths measured through it, the monospaced
// fallback for a family the machine lacks, tab stops, and drawing what was measured.
#include "qt_fixture.h"

#include "host/qt/qt_dc.h"
#include "host/qt/qt_text.h"

namespace kestrel::test {
namespace {

class QtGraphicsTest : public QtFixture {};

TEST_F(QtGraphicsTest, BytesAndTextConvertThroughWindows1252) {
    std::string All;
    for (int B = 0; B < 256; ++B)
        All += static_cast<char>(B);
    const QString Text = qt::ToQString(All);
    EXPECT_EQ(Text[0x80], QChar(0x20AC)); // the euro sign
    EXPECT_EQ(Text[0x9F], QChar(0x0178));
    EXPECT_EQ(Text[0xE9], QChar(0x00E9));
    EXPECT_EQ(Text[0x81], QChar(0xFFFD)) << "undefined in the code page";
    std::string Back = qt::FromQString(Text);
    for (const int Undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        Back[static_cast<std::size_t>(Undefined)] = static_cast<char>(Undefined);
    EXPECT_EQ(Back, All);
    EXPECT_EQ(qt::FromQString(QStringLiteral("\u4e2d")), "?");
}

TEST_F(QtGraphicsTest, AMissingFamilyFallsBackToAMonospacedFaceWithEveryByteMeasured) {
    HDC DC = GraphicsPlatform().GetScreenDC();
    const TFontDesc Old = DC->SelectFont(TFontDesc{"Kestrel No Such Family", -13, {}, fpDefault});
    int Widths[256];
    ASSERT_TRUE(DC->GetCharWidth32(0, 255, Widths));
    const auto W = [&](char C) { return Widths[static_cast<unsigned char>(C)]; };
    TTextMetric M;
    DC->GetTextMetrics(M);
    EXPECT_TRUE(M.tmFixedPitch);
    EXPECT_EQ(W('i'), W('W'));
    EXPECT_EQ(Widths[0x80], W('a')) << "the euro sign has a glyph of the same width";
    for (int B = 0; B < 256; ++B)
        EXPECT_GT(Widths[B], 0) << "byte " << B;
    EXPECT_GE(M.tmHeight, 13);
    EXPECT_EQ(M.tmHeight, M.tmAscent + M.tmDescent);

    // Tabs go to the stops given, then to multiples of eight average widths.
    const int Stops[] = {100};
    EXPECT_EQ(DC->GetTabbedTextExtent("a\tb", 3, 1, Stops).cx, 100 + W('b'));
    EXPECT_EQ(DC->GetTabbedTextExtent("a\tb\tc", 5, 1, Stops).cx,
              (100 + W('b')) / (8 * M.tmAveCharWidth) * (8 * M.tmAveCharWidth) +
                  8 * M.tmAveCharWidth + W('c'));
    DC->SelectFont(Old);
}

TEST_F(QtGraphicsTest, TextIsDrawnWithinTheExtentMeasuredAndInversionsFlipPixels) {
    HDC Screen = GraphicsPlatform().GetScreenDC();
    auto Mem = Screen->CreateCompatibleDC();
    auto Bitmap = Screen->CreateCompatibleBitmap(200, 40);
    Mem->SelectBitmap(Bitmap.get());
    Mem->FillRect(Rect(0, 0, 200, 40), TBrushDesc{bsSolid, clWhite});
    Mem->SelectFont(TFontDesc{"DejaVu Sans Mono", -14, {}, fpDefault});
    Mem->SetBkMode(TRANSPARENT);
    TSize Size;
    Mem->GetTextExtentPoint32("WWWW", 4, Size);
    Mem->TextOut(10, 5, "WWWW", 4);
    Mem->InvertRect(Rect(150, 0, 160, 10));
    auto* Q = dynamic_cast<qt::TQtBitmap*>(Bitmap.get());
    ASSERT_NE(Q, nullptr);
    static_cast<qt::TQtDC*>(Mem.get())->Flush();
    const QImage& Image = Q->Image();
    int MinX = 200, MaxX = -1;
    for (int Y = 0; Y < 40; ++Y)
        for (int X = 0; X < 140; ++X)
            if (qGray(Image.pixel(X, Y)) < 128) {
                MinX = std::min(MinX, X);
                MaxX = std::max(MaxX, X);
            }
    EXPECT_GE(MinX, 10);
    EXPECT_LT(MaxX, 10 + Size.cx);
    EXPECT_GT(MaxX, 10 + Size.cx * 3 / 4) << "the last glyph ends near the extent";
    EXPECT_EQ(qGray(Image.pixel(155, 5)), 0);
}

} // namespace
} // namespace kestrel::test
