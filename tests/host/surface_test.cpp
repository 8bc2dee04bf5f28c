// The headless platform's row routines against a pixel-by-pixel model: fills, inversion and
// copies of surfaces (overlapping ones included), blits with every raster operation, glyphs cut
// by clips, and windows that resize and scroll; surfaces never drawn on stay unallocated, and
// surfaces sharing their pixels part on the first write; the image files written from them.
#include "host/application.h"
#include "host/controls.h"
#include "host/exceptions.h"
#include "host/headless/glyphs.h"
#include "host/headless/headless.h"
#include "host/headless/window_system.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace kestrel::headless {
namespace {

// What a surface holds, pixel by pixel, with the surface's rules: reads outside are white,
// writes outside are dropped.
struct TModel {
    int W = 0, H = 0;
    std::vector<TColor> P;

    explicit TModel(const TSurface& S) : W(S.GetWidth()), H(S.GetHeight()) {
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X)
                P.push_back(S.GetPixel(X, Y));
    }
    bool Inside(std::int64_t X, std::int64_t Y) const { return X >= 0 && Y >= 0 && X < W && Y < H; }
    TColor Get(std::int64_t X, std::int64_t Y) const {
        return Inside(X, Y) ? P[static_cast<std::size_t>(Y * W + X)] : clWhite;
    }
    void Set(std::int64_t X, std::int64_t Y, TColor C) {
        if (Inside(X, Y))
            P[static_cast<std::size_t>(Y * W + X)] = C;
    }
};

// Empty when every pixel agrees, else where the first difference is.
std::string Differences(const TSurface& S, const TModel& M) {
    if (S.GetWidth() != M.W || S.GetHeight() != M.H)
        return "sizes differ";
    for (int Y = 0; Y < M.H; ++Y)
        for (int X = 0; X < M.W; ++X)
            if (S.GetPixel(X, Y) != M.Get(X, Y)) {
                std::ostringstream Out;
                Out << "pixel (" << X << ", " << Y << ") is " << std::hex << S.GetPixel(X, Y)
                    << ", the model has " << M.Get(X, Y);
                return Out.str();
            }
    return "";
}

const TColor Palette[] = {clWhite, clBlack, clRed, clBlue, RGB(1, 2, 3), RGB(200, 100, 50)};

// A few colours, or now and then (Wide) any of 2^24: a surface then outgrows one byte a pixel.
TColor AnyColor(std::mt19937& Rng, bool Wide = false) {
    if (Wide && Rng() % 3 != 0)
        return Rng() & 0x00FFFFFF;
    return Palette[Rng() % std::size(Palette)];
}

// A rectangle around a W x H surface: crossing every edge, empty or inverted now and then.
TRect AnyRect(std::mt19937& Rng, int W, int H) {
    std::uniform_int_distribution<int> X(-4, W + 4), Y(-4, H + 4);
    return Rect(X(Rng), Y(Rng), X(Rng), Y(Rng));
}

// ---- surfaces

TEST(SurfaceRowsTest, RandomFillsInversionsAndCopiesMatchThePixelModel) {
    for (unsigned Seed = 1; Seed <= 6; ++Seed) {
        std::mt19937 Rng(Seed);
        const bool Wide = Seed > 3; // many colours: the pixels widen to four bytes on the way
        std::vector<std::unique_ptr<TSurface>> S;
        S.push_back(std::make_unique<TSurface>(13, 9, clWhite));
        S.push_back(std::make_unique<TSurface>(7, 11, clBlack));
        S.push_back(std::make_unique<TSurface>(13, 9, clRed)); // the same size as the first
        std::vector<TModel> M{TModel(*S[0]), TModel(*S[1]), TModel(*S[2])};
        for (int Step = 0; Step < 1500; ++Step) {
            const std::size_t T = Rng() % S.size();
            TSurface& Target = *S[T];
            TModel& Model = M[T];
            const int Op = static_cast<int>(Rng() % 6);
            if (Op == 0) {
                const TRect R = AnyRect(Rng, Model.W, Model.H);
                const TColor C = AnyColor(Rng, Wide);
                Target.Fill(R, C);
                for (int Y = R.Top; Y < R.Bottom; ++Y)
                    for (int X = R.Left; X < R.Right; ++X)
                        Model.Set(X, Y, C);
            } else if (Op == 1) {
                const TRect R = AnyRect(Rng, Model.W, Model.H);
                Target.Invert(R);
                for (int Y = R.Top; Y < R.Bottom; ++Y)
                    for (int X = R.Left; X < R.Right; ++X)
                        Model.Set(X, Y, Model.Get(X, Y) ^ 0x00FFFFFF);
            } else if (Op == 2) {
                const int X = static_cast<int>(Rng() % Model.W),
                          Y = static_cast<int>(Rng() % Model.H);
                const TColor C = AnyColor(Rng, Wide);
                Target.SetPixel(X, Y, C);
                Model.Set(X, Y, C);
            } else if (Op == 3) {
                // A copy from any surface, this one included, often a whole one.
                const std::size_t From = Rng() % S.size();
                const TModel Before = M[From];
                TRect R = AnyRect(Rng, Before.W, Before.H);
                int X = static_cast<int>(Rng() % 9) - 4, Y = static_cast<int>(Rng() % 9) - 4;
                if (Rng() % 4 == 0) {
                    R = S[From]->GetBounds();
                    X = Y = 0;
                }
                Target.CopyRect(X, Y, R.Width(), R.Height(), *S[From], R.Left, R.Top);
                for (int J = 0; J < R.Height(); ++J)
                    for (int I = 0; I < R.Width(); ++I)
                        Model.Set(X + I, Y + J, Before.Get(R.Left + I, R.Top + J));
            } else if (Op == 4) {
                const TRect R = AnyRect(Rng, Model.W, Model.H);
                const TColor C = AnyColor(Rng, Wide);
                int Expected = 0;
                for (int Y = R.Top; Y < R.Bottom; ++Y)
                    for (int X = R.Left; X < R.Right; ++X)
                        Expected += Model.Inside(X, Y) && Model.Get(X, Y) == C;
                ASSERT_EQ(Target.CountPixels(R, C), Expected)
                    << "seed " << Seed << " step " << Step;
                const int X = static_cast<int>(Rng() % 30) - 10,
                          Y = static_cast<int>(Rng() % 15) - 3;
                const int N = static_cast<int>(Rng() % 30);
                std::vector<TColor> Row(static_cast<std::size_t>(N) + 1, clGreen);
                Target.ReadRow(X, Y, N, Row.data());
                for (int I = 0; I < N; ++I)
                    ASSERT_EQ(Row[static_cast<std::size_t>(I)], Model.Get(X + I, Y))
                        << "seed " << Seed << " step " << Step << " read at " << I;
                ASSERT_EQ(Row.back(), clGreen) << "ReadRow wrote past its count";
                // The row written back, each pixel changed, those outside the surface dropped.
                for (int I = 0; I < N; ++I) {
                    Row[static_cast<std::size_t>(I)] = AnyColor(Rng, Wide);
                    Model.Set(X + I, Y, Row[static_cast<std::size_t>(I)]);
                }
                Target.WriteRow(X, Y, N, Row.data());
            } else {
                // A copy of the surface takes its place; the old one must not change with it.
                auto Copy = std::make_unique<TSurface>(Target);
                const TModel Old = Model;
                std::unique_ptr<TSurface> Original = std::move(S[T]);
                S[T] = std::move(Copy);
                S[T]->Invert(Rect(0, 0, 2, 2));
                for (int Y = 0; Y < 2; ++Y)
                    for (int X = 0; X < 2; ++X)
                        Model.Set(X, Y, Model.Get(X, Y) ^ 0x00FFFFFF);
                ASSERT_EQ(Differences(*Original, Old), "") << "seed " << Seed << " step " << Step;
            }
            for (std::size_t K = 0; K < S.size(); ++K)
                ASSERT_EQ(Differences(*S[K], M[K]), "")
                    << "seed " << Seed << " step " << Step << " op " << Op << " surface " << K;
        }
        // A few colours keep one byte a pixel; thousands do not.
        const bool AnyWidened =
            std::any_of(S.begin(), S.end(), [](const auto& P) { return !P->IsIndexed(); });
        EXPECT_EQ(AnyWidened, Wide) << "seed " << Seed;
    }
}

TEST(SurfaceRowsTest, EmptyAndFarAwayAreasTouchNothing) {
    TSurface S(10, 6, clBlue);
    const TSurface Source(4, 4, clRed);
    S.Fill(Rect(3, 3, 3, 5), clRed);  // no width
    S.Fill(Rect(5, 4, 2, 1), clRed);  // inverted
    S.Fill(Rect(-9, 0, 0, 6), clRed); // left of the surface
    S.Fill(Rect(0, 6, 10, 20), clRed);
    S.Invert(Rect(10, 0, 30, 6));
    S.Invert(Rect(INT_MIN, INT_MIN, INT_MIN + 5, INT_MAX));
    S.CopyRect(0, 0, 0, 5, Source, 0, 0);
    S.CopyRect(0, 0, 5, -1, Source, 0, 0);
    S.CopyRect(INT_MAX - 2, 0, 100, 3, Source, 0, 0);
    S.CopyRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX, Source, 0, 0);
    EXPECT_FALSE(S.IsAllocated());
    EXPECT_EQ(S.CountPixels(Rect(INT_MIN, INT_MIN, INT_MAX, INT_MAX), clBlue), 60);

    // A source far away reads as white.
    S.CopyRect(1, 1, 2, 2, Source, std::int64_t{1} << 40, -(std::int64_t{1} << 40));
    EXPECT_EQ(S.CountPixels(S.GetBounds(), clWhite), 4);
    EXPECT_EQ(S.CountPixels(Rect(1, 1, 3, 3), clWhite), 4);
    std::vector<TColor> Row(3, clGreen);
    S.ReadRow(INT_MAX - 1, 0, 3, Row.data());
    EXPECT_EQ(Row, std::vector<TColor>(3, clWhite));
    S.ReadRow(-1, std::int64_t{1} << 35, 3, Row.data());
    EXPECT_EQ(Row, std::vector<TColor>(3, clWhite));
}

TEST(SurfaceRowsTest, SurfacesNeverDrawnOnStayUnallocated) {
    TSurface S(40, 30, clWhite);
    S.Fill(Rect(5, 5, 20, 20), clWhite);
    EXPECT_FALSE(S.IsAllocated()) << "filling with the fill colour changes nothing";
    S.Fill(Rect(-5, -5, 50, 50), clYellow);
    EXPECT_FALSE(S.IsAllocated()) << "filling all of it changes the fill colour";
    EXPECT_EQ(S.GetFill(), clYellow);
    EXPECT_EQ(S.CountPixels(S.GetBounds(), clYellow), 1200);

    // Copying a surface never drawn on into one with the same fill allocates neither.
    TSurface Grown(60, 20, clYellow);
    Grown.CopyRect(0, 0, 40, 30, S, 0, 0);
    EXPECT_FALSE(Grown.IsAllocated());
    EXPECT_FALSE(S.IsAllocated());
    // With another fill, the copied part takes the source's colour and the rest keeps its own.
    TSurface Other(60, 20, clBlue);
    Other.CopyRect(0, 0, 40, 30, S, 0, 0);
    EXPECT_EQ(Other.CountPixels(Rect(0, 0, 40, 20), clYellow), 800);
    EXPECT_EQ(Other.CountPixels(Rect(40, 0, 60, 20), clBlue), 400);

    // An unallocated surface writes the same image as one holding the same pixels.
    TSurface Drawn(40, 30, clBlack);
    Drawn.Fill(Rect(0, 0, 40, 15), clYellow);
    Drawn.Fill(Rect(0, 15, 40, 30), clYellow);
    ASSERT_TRUE(Drawn.IsAllocated());
    EXPECT_EQ(Drawn.ToPPM(), S.ToPPM());
    EXPECT_EQ(Drawn.ToPNG(), S.ToPNG());
}

TEST(SurfaceRowsTest, SharedPixelsPartOnTheFirstWrite) {
    TSurface A(8, 5, clWhite);
    for (int Y = 0; Y < 5; ++Y)
        for (int X = 0; X < 8; ++X)
            A.SetPixel(X, Y, RGB(X * 20, Y * 40, 7));
    const TModel Pattern(A);

    TSurface B(8, 5, clBlack);
    B.CopyRect(0, 0, 8, 5, A, 0, 0);
    EXPECT_TRUE(B.SharesPixelsWith(A)) << "a whole surface of the same size is shared";
    A.SetPixel(0, 0, clRed);
    EXPECT_FALSE(B.SharesPixelsWith(A));
    EXPECT_EQ(Differences(B, Pattern), "");

    // Every kind of write parts them: fills, inversion, a copy into either, a copy within one.
    const auto Writes = std::vector<void (*)(TSurface&)>{
        [](TSurface& S) { S.Fill(Rect(1, 1, 3, 3), clBlue); },
        [](TSurface& S) { S.Invert(Rect(0, 0, 8, 1)); },
        [](TSurface& S) { S.InvertPixel(7, 4); },
        [](TSurface& S) { S.CopyRect(2, 2, 3, 3, S, 0, 0); },
        [](TSurface& S) {
            const TSurface Other(2, 2, clGreen);
            S.CopyRect(6, 3, 2, 2, Other, 0, 0);
        },
    };
    for (std::size_t K = 0; K < Writes.size(); ++K)
        for (const bool WriteTheCopy : {false, true}) {
            TSurface C(8, 5);
            C.CopyRect(0, 0, 8, 5, B, 0, 0);
            ASSERT_TRUE(C.SharesPixelsWith(B));
            Writes[K](WriteTheCopy ? C : B);
            EXPECT_EQ(Differences(WriteTheCopy ? B : C, Pattern), "") << "write " << K;
            if (!WriteTheCopy)
                B.CopyRect(0, 0, 8, 5, C, 0, 0); // back to the pattern
        }
    // A copy constructed from a surface shares too.
    TSurface D = B;
    D.SetPixel(3, 3, clRed);
    EXPECT_EQ(Differences(B, Pattern), "");
    EXPECT_EQ(D.GetPixel(3, 3), clRed);
}

// ---- device contexts: blits and glyphs

// BitBlt as the pixel model does it: every source pixel read first, then each target pixel
// inside the clip combined. Answers what BitBlt should return.
bool ModelBlit(TModel& Target, TPoint Origin, const TRect& Clip, int X, int Y, int W, int H,
               const TModel* Source, TPoint SourceOrigin, bool HasSourceDC, std::uint32_t Rop,
               TColor Brush) {
    if (W <= 0 || H <= 0)
        return true;
    const bool NeedsSource = Rop == SRCCOPY || Rop == SRCPAINT || Rop == SRCAND || Rop == SRCINVERT;
    if (NeedsSource && !HasSourceDC)
        return false;
    std::vector<TColor> Read(static_cast<std::size_t>(W) * H, clWhite);
    if (NeedsSource && Source != nullptr)
        for (int J = 0; J < H; ++J)
            for (int I = 0; I < W; ++I)
                Read[static_cast<std::size_t>(J) * W + I] =
                    Source->Get(std::int64_t{I} + SourceOrigin.X, std::int64_t{J} + SourceOrigin.Y);
    for (int J = 0; J < H; ++J)
        for (int I = 0; I < W; ++I) {
            const std::int64_t PX = std::int64_t{X} + I + Origin.X,
                               PY = std::int64_t{Y} + J + Origin.Y;
            if (!Target.Inside(PX, PY) ||
                (!IsRectEmpty(Clip) && !(PX >= Clip.Left + Origin.X && PX < Clip.Right + Origin.X &&
                                         PY >= Clip.Top + Origin.Y && PY < Clip.Bottom + Origin.Y)))
                continue;
            const TColor D = Target.Get(PX, PY), S = Read[static_cast<std::size_t>(J) * W + I];
            switch (Rop) {
            case SRCCOPY:
                Target.Set(PX, PY, S);
                break;
            case SRCPAINT:
                Target.Set(PX, PY, S | D);
                break;
            case SRCAND:
                Target.Set(PX, PY, S & D);
                break;
            case SRCINVERT:
                Target.Set(PX, PY, S ^ D);
                break;
            case DSTINVERT:
                Target.Set(PX, PY, D ^ 0x00FFFFFF);
                break;
            case PATCOPY:
                Target.Set(PX, PY, Brush);
                break;
            case BLACKNESS:
                Target.Set(PX, PY, clBlack);
                break;
            case WHITENESS:
                Target.Set(PX, PY, clWhite);
                break;
            default:
                return false;
            }
        }
    return true;
}

TEST(HeadlessBlitTest, EveryRasterOperationMatchesThePixelModel) {
    const std::uint32_t Rops[] = {SRCCOPY, SRCPAINT,  SRCAND,    SRCINVERT, DSTINVERT,
                                  PATCOPY, BLACKNESS, WHITENESS, 0x00AA0029 /* unknown */};
    for (unsigned Seed = 1; Seed <= 4; ++Seed) {
        std::mt19937 Rng(Seed);
        TSurface Screen(16, 12, clWhite), Bitmap(9, 7, clBlack);
        for (int I = 0; I < 40; ++I) {
            Screen.SetPixel(static_cast<int>(Rng() % 16), static_cast<int>(Rng() % 12),
                            AnyColor(Rng));
            Bitmap.SetPixel(static_cast<int>(Rng() % 9), static_cast<int>(Rng() % 7),
                            AnyColor(Rng));
        }
        for (int Step = 0; Step < 800; ++Step) {
            // The target context: a window-like view of the screen with an origin and a clip.
            THeadlessDC Target(TDeviceInfo{}, &Screen, nullptr);
            const TPoint Origin =
                Point(static_cast<int>(Rng() % 7) - 3, static_cast<int>(Rng() % 7) - 3);
            const TRect Clip = Rng() % 3 == 0 ? TRect{} : AnyRect(Rng, 16, 12);
            Target.SetOrigin(Origin);
            Target.SetClipRect(Clip);
            const TColor Brush = AnyColor(Rng);
            Target.SelectBrush(TBrushDesc{bsSolid, Brush});
            // The source: the bitmap, the screen itself (overlapping), or a context without pixels.
            const int Which = static_cast<int>(Rng() % 4);
            TSurface* SourceSurface = Which == 0 ? &Bitmap : Which == 3 ? nullptr : &Screen;
            THeadlessDC Source(TDeviceInfo{}, SourceSurface, nullptr);
            const TPoint SourceOrigin =
                Point(static_cast<int>(Rng() % 5) - 2, static_cast<int>(Rng() % 5) - 2);
            Source.SetOrigin(SourceOrigin);
            const int X = static_cast<int>(Rng() % 24) - 6, Y = static_cast<int>(Rng() % 20) - 5;
            const int W = static_cast<int>(Rng() % 20) - 2, H = static_cast<int>(Rng() % 16) - 2;
            const int XSrc = static_cast<int>(Rng() % 16) - 4,
                      YSrc = static_cast<int>(Rng() % 12) - 3;
            const std::uint32_t Rop = Rops[Rng() % std::size(Rops)];
            const bool NoSourceDC = Rng() % 10 == 0;

            TModel Expected(Screen);
            const TModel SourceModel = SourceSurface == &Bitmap ? TModel(Bitmap) : TModel(Screen);
            const bool Result = ModelBlit(Expected, Origin, Clip, X, Y, W, H,
                                          SourceSurface != nullptr ? &SourceModel : nullptr,
                                          Point(XSrc + SourceOrigin.X, YSrc + SourceOrigin.Y),
                                          !NoSourceDC, Rop, Brush);
            EXPECT_EQ(Target.BitBlt(X, Y, W, H, NoSourceDC ? nullptr : &Source, XSrc, YSrc, Rop),
                      Result)
                << "seed " << Seed << " step " << Step;
            ASSERT_EQ(Differences(Screen, Expected), "")
                << "seed " << Seed << " step " << Step << " rop " << std::hex << Rop << std::dec
                << " source " << Which << " at " << X << "," << Y << " " << W << "x" << H
                << " from " << XSrc << "," << YSrc;
        }
    }
}

TEST(HeadlessBlitTest, BlitsAtTheEndsOfTheCoordinatesDoNotOverflow) {
    TSurface Screen(8, 8, clWhite);
    THeadlessDC DC(TDeviceInfo{}, &Screen, nullptr);
    TSurface Pixels(4, 4, clRed);
    THeadlessDC Source(TDeviceInfo{}, &Pixels, nullptr);
    DC.SetOrigin(Point(5, 5));
    EXPECT_TRUE(DC.BitBlt(INT_MAX - 2, 0, INT_MAX, 4, &Source, 0, 0, SRCCOPY));
    EXPECT_TRUE(DC.BitBlt(INT_MIN, INT_MIN, 4, 4, &Source, 0, 0, BLACKNESS));
    EXPECT_FALSE(Screen.IsAllocated());
    // A source far outside its surface reads white, whatever the sum of the coordinates.
    Screen.Fill(Rect(0, 0, 8, 8), clBlue);
    Source.SetOrigin(Point(INT_MAX, INT_MIN));
    EXPECT_TRUE(DC.BitBlt(-5, -5, 2, 2, &Source, INT_MAX, INT_MIN, SRCCOPY));
    EXPECT_EQ(Screen.CountPixels(Rect(0, 0, 2, 2), clWhite), 4);
    EXPECT_EQ(Screen.CountPixels(Screen.GetBounds(), clBlue), 60);
}

// The 5 x 7 cell pattern, pixel by pixel: bit 4 - C * 5 / Width of glyph row R * 7 / Height,
// a hollow box for bytes without a shape.
void ModelText(TModel& M, const THeadlessDC& DC, TPoint Origin, const TRect& Clip, int X, int Y,
               unsigned char Byte) {
    const TTextMetric& T = DC.GetFontModel().Metrics;
    const int Advance = DC.GetFontModel().Widths[Byte];
    const auto Plot = [&](int PX, int PY, TColor C) {
        if (PX >= Clip.Left && PX < Clip.Right && PY >= Clip.Top && PY < Clip.Bottom)
            M.Set(PX + Origin.X, PY + Origin.Y, C);
    };
    for (int J = 0; J < T.tmHeight; ++J)
        for (int I = 0; I < Advance; ++I)
            Plot(X + I, Y + J, DC.GetBkColor());
    if (Advance < 2 || Byte == ' ' || Byte == 160 || Byte == '\t')
        return;
    const int Height = T.tmAscent + T.tmDescent / 2 - T.tmInternalLeading, Width = Advance - 1;
    const TGlyphRows* Rows = GlyphOf(Byte);
    for (int R = 0; R < Height; ++R)
        for (int C = 0; C < Width; ++C) {
            const bool Ink =
                Rows != nullptr
                    ? (((*Rows)[static_cast<std::size_t>(R * 7 / Height)] >> (4 - C * 5 / Width)) &
                       1) != 0
                    : R == 0 || C == 0 || R == Height - 1 || C == Width - 1;
            if (Ink)
                Plot(X + C, Y + T.tmInternalLeading + R, DC.GetTextColor());
        }
}

TEST(HeadlessGlyphTest, EveryByteAtEverySizeMatchesTheCellPatternWhereverTheClipCutsIt) {
    std::mt19937 Rng(12);
    TSurface Screen(120, 90, clWhite);
    for (const char* Name : {"Courier New", "Arial"})
        for (const int Height : {-6, -13, -22, -41}) {
            THeadlessDC DC(TDeviceInfo{}, &Screen, nullptr);
            TFontDesc Font;
            Font.Name = Name;
            Font.Height = Height;
            DC.SelectFont(Font);
            DC.SetTextColor(clBlack);
            DC.SetBkColor(clYellow);
            for (int B = 0; B < 256; ++B) {
                const TPoint Origin =
                    Point(static_cast<int>(Rng() % 9) - 4, static_cast<int>(Rng() % 9) - 4);
                const int X = static_cast<int>(Rng() % 70) - 10,
                          Y = static_cast<int>(Rng() % 50) - 10;
                // Clips crossing the glyph's box at random, or none at all.
                const TRect Clip =
                    Rng() % 4 == 0
                        ? Rect(INT_MIN / 2, INT_MIN / 2, INT_MAX / 2, INT_MAX / 2)
                        : Rect(X + static_cast<int>(Rng() % 30) - 5,
                               Y + static_cast<int>(Rng() % 40) - 5,
                               X + static_cast<int>(Rng() % 50), Y + static_cast<int>(Rng() % 60));
                DC.SetOrigin(Origin);
                DC.SetClipRect(Clip);
                Screen.Fill(Screen.GetBounds(), clWhite);
                TModel Expected(Screen);
                const char Byte = static_cast<char>(B);
                DC.TextOut(X, Y, &Byte, 1);
                // An empty clip rectangle is no clip.
                ModelText(Expected, DC, Origin,
                          IsRectEmpty(Clip)
                              ? Rect(INT_MIN / 2, INT_MIN / 2, INT_MAX / 2, INT_MAX / 2)
                              : Clip,
                          X, Y, static_cast<unsigned char>(B));
                ASSERT_EQ(Differences(Screen, Expected), "")
                    << Name << " " << Height << " byte " << B << " at " << X << "," << Y;
            }
        }
}

// ---- windows

// A control that paints nothing itself.
class TBlank : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
};

class HeadlessWindowPixelsTest : public ::testing::Test {
protected:
    void SetUp() override {
        C = std::make_unique<TBlank>(nullptr);
        C->SetBounds(0, 0, 60, 40);
        Wnd = C->GetHandle();
        Application->ProcessMessages();
    }
    void TearDown() override { C.reset(); }
    THeadlessWindowPlatform& Win() { return Scope.Windows(); }
    TSurface& Pixels() { return Win().GetWindowSurface(Wnd); }
    // Every pixel a colour of its own.
    void Paint() {
        for (int Y = 0; Y < Pixels().GetHeight(); ++Y)
            for (int X = 0; X < Pixels().GetWidth(); ++X)
                Pixels().SetPixel(X, Y, RGB(X, Y, 9));
    }

    THeadlessPlatformScope Scope;
    std::unique_ptr<TBlank> C;
    HWND Wnd = 0;
};

TEST_F(HeadlessWindowPixelsTest, ResizingKeepsTheSharedPixelsAndUndrawnSurfacesUnallocated) {
    EXPECT_FALSE(Pixels().IsAllocated()) << "an erased window has drawn nothing";
    ShowScrollBar(Wnd, SB_BOTH, true);
    EXPECT_EQ(Pixels().GetWidth(), 44);
    EXPECT_FALSE(Pixels().IsAllocated()) << "the scroll bars came without a pixel copied";

    Paint();
    const TModel Painted(Pixels());
    ShowScrollBar(Wnd, SB_HORZ, false); // 44 x 40: the bottom rows are new
    TModel Expected(Pixels());
    for (int Y = 0; Y < 40; ++Y)
        for (int X = 0; X < 44; ++X)
            Expected.Set(X, Y, Y < 24 ? Painted.Get(X, Y) : ColorToRGB(clWindow));
    EXPECT_EQ(Differences(Pixels(), Expected), "");
    ShowScrollBar(Wnd, SB_VERT, false); // 60 x 40: the right columns are new
    TModel Wider(Pixels());
    for (int Y = 0; Y < 40; ++Y)
        for (int X = 0; X < 60; ++X)
            Wider.Set(X, Y, X < 44 ? Expected.Get(X, Y) : ColorToRGB(clWindow));
    EXPECT_EQ(Differences(Pixels(), Wider), "");
}

TEST_F(HeadlessWindowPixelsTest, ScrollingMovesEveryPixelThatStaysInside) {
    const TPoint Moves[] = {Point(0, 7),  Point(0, -2),           Point(5, 0),   Point(-3, 0),
                            Point(4, -6), Point(-9, 11),          Point(-60, 0), Point(0, 40),
                            Point(0, 0),  Point(INT_MAX, INT_MIN)};
    for (const TPoint D : Moves) {
        Paint();
        const TModel Before(Pixels());
        TModel Expected = Before;
        for (int Y = 0; Y < 40; ++Y)
            for (int X = 0; X < 60; ++X)
                if (Before.Inside(std::int64_t{X} - D.X, std::int64_t{Y} - D.Y))
                    Expected.Set(X, Y, Before.Get(std::int64_t{X} - D.X, std::int64_t{Y} - D.Y));
        ScrollWindowEx(Wnd, D.X, D.Y, 0);
        EXPECT_EQ(Differences(Pixels(), Expected), "") << D.X << ", " << D.Y;
    }
}

// ---- image files

TEST(SurfaceImageTest, PngIsCompressedAndAFailedSaveKeepsTheOldFile) {
    // A printed page: 40 lines of scattered dark pixels on white.
    TSurface Page(1200, 1575);
    std::mt19937 Rng(7);
    for (int Line = 0; Line < 40; ++Line)
        for (int Y = 150 + Line * 32; Y < 150 + Line * 32 + 12; ++Y)
            for (int X = 150; X < 750; ++X)
                if (Rng() % 5 == 0)
                    Page.SetPixel(X, Y, clBlack);
    EXPECT_LT(Page.ToPNG().size(), 100000U) << "5.7 MB when stored uncompressed";

    // A file-size limit stops the write half way: the old file stays, no temporary is left.
    test::TTempDir Dir;
    const std::string File = Dir.File("page.png");
    test::WriteFile(File, "old bytes");
    const pid_t Child = ::fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
        ::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of killing the child
        const rlimit Limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &Limit);
        try {
            Page.SaveToPNG(File);
        } catch (const EWriteError&) {
            ::_exit(7);
        } catch (...) {
            ::_exit(8);
        }
        ::_exit(0);
    }
    int Status = 0;
    ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 7) << "status " << Status;
    EXPECT_TRUE(test::ReadFile(File) == "old bytes") << "the old file was replaced";
    EXPECT_EQ(test::FilesIn(Dir.Path()), std::vector<std::string>{"page.png"});
}

} // namespace
} // namespace kestrel::headless
