// The Qt platform's device contexts.
#include "host/qt/qt_dc.h"

#include "host/qt/qt_text.h"

#include <QGlyphRun>
#include <QPen>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace kestrel::qt {

namespace {

int FloorDiv(int A, int B) {
    return A >= 0 ? A / B : -((-A + B - 1) / B);
}

int MulDivMm(int Pixels, int PixelsPerInch) {
    return PixelsPerInch > 0 ? (Pixels * 254 + PixelsPerInch * 5) / (PixelsPerInch * 10) : 0;
}

QRect ToQRect(const TRect& R) {
    return QRect(R.Left, R.Top, R.Width(), R.Height());
}

QPen MakePen(const TPenDesc& P) {
    if (P.Style == psClear)
        return QPen(Qt::NoPen);
    QPen Pen(ToQColor(P.Color));
    Pen.setWidth(std::max(1, P.Width));
    Pen.setCapStyle(Qt::FlatCap);
    switch (P.Style) {
    case psDash:
        Pen.setDashPattern({6, 2});
        break;
    case psDot:
        Pen.setDashPattern({1, 1});
        break;
    case psDashDot:
        Pen.setDashPattern({6, 2, 1, 2});
        break;
    case psDashDotDot:
        Pen.setDashPattern({6, 2, 1, 2, 1, 2});
        break;
    default:
        break;
    }
    return Pen;
}

} // namespace

TQtBitmap::TQtBitmap(int Width, int Height)
    : FImage(std::max(0, Width), std::max(0, Height), QImage::Format_RGB32) {
    FImage.fill(Qt::white);
}

TQtDC::TQtDC(const TQtDeviceInfo& Info, QImage* Image, TQtPaintTarget* Target)
    : FInfo(Info), FImage(Image), FTarget(Target), FFace(FaceOf(FFont)) {}

TQtDC::~TQtDC() {
    Flush();
}

void TQtDC::Flush() {
    if (FPainter) {
        FPainter->end();
        FPainter.reset();
    }
}

void TQtDC::SetImage(QImage* Image) {
    if (Image == FImage)
        return;
    Flush();
    FImage = Image;
}

void TQtDC::SetClip(std::optional<QRect> R) {
    Flush();
    FClip = R;
}

QPainter* TQtDC::Painter() {
    if (FTarget != nullptr)
        return FTarget->PagePainter();
    if (FImage == nullptr || FImage->isNull())
        return nullptr;
    if (!FPainter) {
        FPainter = std::make_unique<QPainter>(FImage);
        if (FClip)
            FPainter->setClipRect(*FClip);
    }
    return FPainter.get();
}

QRect TQtDC::ClipRect() const {
    QRect Whole = FImage != nullptr ? FImage->rect() : QRect(0, 0, FInfo.Width, FInfo.Height);
    return FClip ? Whole.intersected(*FClip) : Whole;
}

// ---- selection and state

TFontDesc TQtDC::SelectFont(const TFontDesc& Font) {
    TFontDesc Old = FFont;
    if (!(Font == FFont)) {
        FFont = Font;
        FFace = FaceOf(Font);
    }
    return Old;
}

TPenDesc TQtDC::SelectPen(const TPenDesc& Pen) {
    return std::exchange(FPen, Pen);
}

TBrushDesc TQtDC::SelectBrush(const TBrushDesc& Brush) {
    return std::exchange(FBrush, Brush);
}

HBITMAP TQtDC::SelectBitmap(HBITMAP Bitmap) {
    auto* B = dynamic_cast<TQtBitmap*>(Bitmap);
    if (!FMemory || B == nullptr)
        return nullptr;
    TQtBitmap* Old = FBitmap;
    FBitmap = B;
    SetImage(&B->Image());
    return Old;
}

TPenMode TQtDC::SetPenMode(TPenMode Mode) {
    return std::exchange(FPenMode, Mode);
}
TColor TQtDC::SetTextColor(TColor Color) {
    return std::exchange(FTextColor, Color);
}
TColor TQtDC::SetBkColor(TColor Color) {
    return std::exchange(FBkColor, Color);
}
int TQtDC::SetBkMode(int Mode) {
    return std::exchange(FBkMode, Mode);
}
unsigned TQtDC::SetTextAlign(unsigned Flags) {
    return std::exchange(FAlign, Flags);
}

// ---- metrics

bool TQtDC::GetTextMetrics(TTextMetric& Metrics) {
    Metrics = FFace->Metrics;
    return true;
}

bool TQtDC::GetCharWidth32(unsigned First, unsigned Last, int* Widths) {
    if (First > Last || Last > 255 || Widths == nullptr)
        return false;
    for (unsigned C = First; C <= Last; ++C)
        Widths[C - First] = FFace->Widths[C];
    return true;
}

bool TQtDC::GetCharWidth(unsigned First, unsigned Last, int* Widths) {
    return GetCharWidth32(First, Last, Widths); // no synthesized overhang
}

int TQtDC::Layout(const char* Text, int Count, bool Tabbed, int TabCount, const int* TabPositions,
                  int X, int TabOrigin, std::vector<int>* Positions) const {
    const int DefaultTab = std::max(1, 8 * FFace->Metrics.tmAveCharWidth);
    int Pos = 0;
    if (Positions != nullptr)
        Positions->resize(static_cast<std::size_t>(std::max(0, Count)));
    for (int I = 0; I < Count; ++I) {
        const auto B = static_cast<unsigned char>(Text[I]);
        int Advance = FFace->Widths[B];
        if (Tabbed && B == '\t') {
            const int Rel = X + Pos - TabOrigin;
            int Next = FloorDiv(Rel, DefaultTab) * DefaultTab + DefaultTab;
            for (int K = 0; TabPositions != nullptr && K < TabCount; ++K)
                if (TabPositions[K] > Rel) {
                    Next = TabPositions[K];
                    break;
                }
            Advance = Next - Rel;
        }
        if (Positions != nullptr)
            (*Positions)[static_cast<std::size_t>(I)] = Pos;
        Pos += Advance;
    }
    return Pos;
}

bool TQtDC::GetTextExtentPoint32(const char* Text, int Count, TSize& Size) {
    Size.cx = Layout(Text, Count, false, 0, nullptr, 0, 0, nullptr);
    Size.cy = FFace->Metrics.tmHeight;
    return true;
}

TSize TQtDC::GetTabbedTextExtent(const char* Text, int Count, int TabCount,
                                 const int* TabPositions) {
    return TSize{Layout(Text, Count, true, TabCount, TabPositions, 0, 0, nullptr),
                 FFace->Metrics.tmHeight};
}

int TQtDC::GetDeviceCaps(int Index) {
    switch (Index) {
    case TECHNOLOGY:
        return FInfo.Technology;
    case HORZSIZE:
        return MulDivMm(FInfo.Width, FInfo.PixelsPerInchX);
    case VERTSIZE:
        return MulDivMm(FInfo.Height, FInfo.PixelsPerInchY);
    case HORZRES:
        return FInfo.Width;
    case VERTRES:
        return FInfo.Height;
    case BITSPIXEL:
        return FInfo.BitsPerPixel;
    case PLANES:
        return 1;
    case LOGPIXELSX:
        return FInfo.PixelsPerInchX;
    case LOGPIXELSY:
        return FInfo.PixelsPerInchY;
    case PHYSICALWIDTH:
        return FInfo.PhysicalWidth;
    case PHYSICALHEIGHT:
        return FInfo.PhysicalHeight;
    case PHYSICALOFFSETX:
        return FInfo.OffsetX;
    case PHYSICALOFFSETY:
        return FInfo.OffsetY;
    default:
        return 0;
    }
}

bool TQtDC::GetClipBox(TRect& Box) {
    const QRect C = ClipRect();
    Box = Rect(C.left(), C.top(), C.left() + C.width(), C.top() + C.height());
    return true;
}

// ---- drawing

TSize TQtDC::DrawText(int X, int Y, const char* Text, int Count, bool Tabbed, int TabCount,
                      const int* TabPositions, int TabOrigin) {
    std::vector<int> Positions;
    const int Extent =
        Layout(Text, Count, Tabbed, TabCount, TabPositions, X, TabOrigin, &Positions);
    const TTextMetric& M = FFace->Metrics;
    QPainter* P = Painter();
    if (P == nullptr || Count <= 0)
        return TSize{Extent, M.tmHeight};
    P->setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (FBkMode == OPAQUE)
        P->fillRect(QRect(X, Y, Extent, M.tmHeight), ToQColor(FBkColor));
    if (FFace->Raw.isValid()) {
        QList<quint32> Glyphs;
        QList<QPointF> Points;
        Glyphs.reserve(Count);
        Points.reserve(Count);
        for (int I = 0; I < Count; ++I) {
            const auto B = static_cast<unsigned char>(Text[I]);
            if (B == ' ' || (Tabbed && B == '\t'))
                continue;
            Glyphs.push_back(FFace->Glyphs[B]);
            Points.push_back(QPointF(Positions[static_cast<std::size_t>(I)], 0));
        }
        if (!Glyphs.isEmpty()) {
            QGlyphRun Run;
            Run.setRawFont(FFace->Raw);
            Run.setGlyphIndexes(Glyphs);
            Run.setPositions(Points);
            Run.setUnderline(FFace->Font.underline());
            Run.setStrikeOut(FFace->Font.strikeOut());
            P->setPen(ToQColor(FTextColor));
            P->drawGlyphRun(QPointF(X, Y + M.tmAscent), Run);
        }
    }
    return TSize{Extent, M.tmHeight};
}

bool TQtDC::TextOut(int X, int Y, const char* Text, int Count) {
    if (Count < 0)
        return false;
    const TTextMetric& M = FFace->Metrics;
    const bool UpdateCP = (FAlign & TA_UPDATECP) != 0;
    if (UpdateCP) {
        X = FPosition.X;
        Y = FPosition.Y;
    }
    const int Extent = Layout(Text, Count, false, 0, nullptr, 0, 0, nullptr);
    int Left = X;
    if ((FAlign & TA_CENTER) == TA_CENTER)
        Left -= Extent / 2;
    else if ((FAlign & TA_RIGHT) != 0)
        Left -= Extent;
    int Top = Y;
    if ((FAlign & TA_BASELINE) == TA_BASELINE)
        Top -= M.tmAscent;
    else if ((FAlign & TA_BOTTOM) != 0)
        Top -= M.tmHeight;
    DrawText(Left, Top, Text, Count, false, 0, nullptr, 0);
    if (UpdateCP)
        FPosition.X += Extent;
    return true;
}

TSize TQtDC::TabbedTextOut(int X, int Y, const char* Text, int Count, int TabCount,
                           const int* TabPositions, int TabOrigin) {
    if (Count < 0)
        return TSize{};
    return DrawText(X, Y, Text, Count, true, TabCount, TabPositions, TabOrigin);
}

bool TQtDC::MoveTo(int X, int Y, TPoint* Old) {
    if (Old != nullptr)
        *Old = FPosition;
    FPosition = Point(X, Y);
    return true;
}

bool TQtDC::LineTo(int X, int Y) {
    const TPoint From = FPosition;
    FPosition = Point(X, Y);
    if (FPen.Style == psClear)
        return true;
    QPainter* P = Painter();
    if (P == nullptr)
        return true;
    // The end point is not drawn.
    int EX = X, EY = Y;
    if (From.Y == Y && X != From.X)
        EX -= X > From.X ? 1 : -1;
    else if (From.X == X && Y != From.Y)
        EY -= Y > From.Y ? 1 : -1;
    else if (From.X == X && From.Y == Y)
        return true;
    QPen Pen = MakePen(FPen);
    switch (FPenMode) {
    case pmNot:
        P->setCompositionMode(QPainter::RasterOp_NotDestination);
        break;
    case pmXor:
        P->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        break;
    case pmBlack:
        Pen.setColor(Qt::black);
        P->setCompositionMode(QPainter::CompositionMode_SourceOver);
        break;
    case pmWhite:
        Pen.setColor(Qt::white);
        P->setCompositionMode(QPainter::CompositionMode_SourceOver);
        break;
    default:
        P->setCompositionMode(QPainter::CompositionMode_SourceOver);
        break;
    }
    P->setPen(Pen);
    P->drawLine(From.X, From.Y, EX, EY);
    P->setCompositionMode(QPainter::CompositionMode_SourceOver);
    return true;
}

bool TQtDC::FillRect(const TRect& R, const TBrushDesc& Brush) {
    if (Brush.Style == bsClear || IsRectEmpty(R))
        return true;
    if (QPainter* P = Painter()) {
        P->setCompositionMode(QPainter::CompositionMode_SourceOver);
        P->fillRect(ToQRect(R), ToQColor(Brush.Color));
    }
    return true;
}

void TQtDC::InvertPixels(const QRect& R) {
    if (FImage == nullptr || FTarget != nullptr)
        return;
    const QRect Area = R.intersected(ClipRect());
    if (Area.isEmpty())
        return;
    Flush(); // the pixels are changed directly
    for (int Y = Area.top(); Y <= Area.bottom(); ++Y) {
        auto* Line = reinterpret_cast<QRgb*>(FImage->scanLine(Y));
        for (int X = Area.left(); X <= Area.right(); ++X)
            Line[X] ^= 0x00FFFFFF;
    }
}

bool TQtDC::InvertRect(const TRect& R) {
    InvertPixels(ToQRect(R));
    return true;
}

bool TQtDC::Rectangle(int Left, int Top, int Right, int Bottom) {
    if (Right <= Left || Bottom <= Top)
        return true;
    FillRect(Rect(Left, Top, Right, Bottom), FBrush);
    if (FPen.Style != psClear) {
        const TPoint Saved = FPosition;
        MoveTo(Left, Top);
        LineTo(Right - 1, Top);
        LineTo(Right - 1, Bottom - 1);
        LineTo(Left, Bottom - 1);
        LineTo(Left, Top);
        FPosition = Saved;
    }
    return true;
}

bool TQtDC::BitBlt(int X, int Y, int W, int H, HDC Source, int XSrc, int YSrc, std::uint32_t Rop) {
    if (W <= 0 || H <= 0)
        return true;
    const QRect Target(X, Y, W, H);
    switch (Rop) {
    case DSTINVERT:
        InvertPixels(Target);
        return true;
    case PATCOPY:
        return FillRect(Rect(X, Y, X + W, Y + H), TBrushDesc{bsSolid, FBrush.Color});
    case BLACKNESS:
        return FillRect(Rect(X, Y, X + W, Y + H), TBrushDesc{bsSolid, clBlack});
    case WHITENESS:
        return FillRect(Rect(X, Y, X + W, Y + H), TBrushDesc{bsSolid, clWhite});
    default:
        break;
    }
    auto* Src = dynamic_cast<TQtDC*>(Source);
    if (Src == nullptr || (Rop != SRCCOPY && Rop != SRCPAINT && Rop != SRCAND && Rop != SRCINVERT))
        return false;
    QPainter* P = Painter();
    if (P == nullptr)
        return true;
    if (Src->FImage == nullptr) {
        P->fillRect(Target, Qt::white); // a context without pixels reads as white
        return true;
    }
    Src->Flush();
    // The same image as source is copied first.
    const QRect From(XSrc, YSrc, W, H);
    const QImage Copy = Src->FImage == FImage ? FImage->copy(From) : QImage();
    const QImage& Image = Copy.isNull() ? *Src->FImage : Copy;
    const QRect SourceRect = Copy.isNull() ? From : QRect(0, 0, W, H);
    switch (Rop) {
    case SRCPAINT:
        P->setCompositionMode(QPainter::RasterOp_SourceOrDestination);
        break;
    case SRCAND:
        P->setCompositionMode(QPainter::RasterOp_SourceAndDestination);
        break;
    case SRCINVERT:
        P->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        break;
    default:
        P->setCompositionMode(QPainter::CompositionMode_Source);
        break;
    }
    P->drawImage(Target, Image, SourceRect);
    P->setCompositionMode(QPainter::CompositionMode_SourceOver);
    return true;
}

// ---- memory contexts

std::unique_ptr<TDeviceContext> TQtDC::CreateCompatibleDC() {
    TQtDeviceInfo Info = FInfo;
    Info.Technology = DT_RASDISPLAY;
    auto DC = std::make_unique<TQtDC>(Info, nullptr);
    DC->FMemory = true;
    DC->FStockBitmap = std::make_unique<TQtBitmap>(1, 1);
    DC->FBitmap = DC->FStockBitmap.get();
    DC->FImage = &DC->FStockBitmap->Image();
    return DC;
}

std::unique_ptr<TDeviceBitmap> TQtDC::CreateCompatibleBitmap(int W, int H) {
    return std::make_unique<TQtBitmap>(W, H);
}

} // namespace kestrel::qt
