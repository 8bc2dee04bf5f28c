// The headless device context.
#include "host/headless/headless_dc.h"

#include "host/headless/glyphs.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace kestrel::headless {

namespace {

int FloorDiv(int A, int B) {
    return A >= 0 ? A / B : -((-A + B - 1) / B);
}

// Pixels at a resolution as millimetres, rounded.
int MulDivMm(int Pixels, int PixelsPerInch) {
    return PixelsPerInch > 0 ? (Pixels * 254 + PixelsPerInch * 5) / (PixelsPerInch * 10) : 0;
}

// Dash patterns as alternating run lengths (on, off, on, off, ...).
const std::vector<int>& DashPattern(TPenStyle Style) {
    static const std::vector<int> Solid{1}, Dash{6, 2}, Dot{1, 1}, DashDot{6, 2, 1, 2},
        DashDotDot{6, 2, 1, 2, 1, 2};
    switch (Style) {
    case psDash:
        return Dash;
    case psDot:
        return Dot;
    case psDashDot:
        return DashDot;
    case psDashDotDot:
        return DashDotDot;
    default:
        return Solid;
    }
}

bool PatternOn(TPenStyle Style, int Step) {
    const auto& P = DashPattern(Style);
    if (P.size() == 1)
        return true;
    int Period = 0;
    for (int N : P)
        Period += N;
    int S = Step % Period;
    for (std::size_t I = 0; I < P.size(); ++I) {
        if (S < P[I])
            return I % 2 == 0;
        S -= P[I];
    }
    return true;
}

} // namespace

THeadlessDC::THeadlessDC(const TDeviceInfo& Info, TSurface* Surface, TDrawRecord* Record)
    : FInfo(Info), FSurface(Surface), FRecord(Record), FFontModel(TFontModel::FromDesc(FFont)) {}

// ---- selection and state

TFontDesc THeadlessDC::SelectFont(const TFontDesc& Font) {
    TFontDesc Old = FFont;
    FFont = Font;
    FFontModel = TFontModel::FromDesc(Font);
    return Old;
}

TPenDesc THeadlessDC::SelectPen(const TPenDesc& Pen) {
    return std::exchange(FPen, Pen);
}

TBrushDesc THeadlessDC::SelectBrush(const TBrushDesc& Brush) {
    return std::exchange(FBrush, Brush);
}

HBITMAP THeadlessDC::SelectBitmap(HBITMAP Bitmap) {
    auto* B = dynamic_cast<THeadlessBitmap*>(Bitmap);
    if (!FMemory || B == nullptr)
        return nullptr;
    THeadlessBitmap* Old = FBitmap;
    FBitmap = B;
    FSurface = &B->GetSurface();
    return Old;
}

TPenMode THeadlessDC::SetPenMode(TPenMode Mode) {
    return std::exchange(FPenMode, Mode);
}
TColor THeadlessDC::SetTextColor(TColor Color) {
    return std::exchange(FTextColor, Color);
}
TColor THeadlessDC::SetBkColor(TColor Color) {
    return std::exchange(FBkColor, Color);
}
int THeadlessDC::SetBkMode(int Mode) {
    return std::exchange(FBkMode, Mode);
}
unsigned THeadlessDC::SetTextAlign(unsigned Flags) {
    return std::exchange(FAlign, Flags);
}

// ---- metrics

bool THeadlessDC::GetTextMetrics(TTextMetric& Metrics) {
    Metrics = FFontModel.Metrics;
    return true;
}

bool THeadlessDC::GetCharWidth32(unsigned First, unsigned Last, int* Widths) {
    if (First > Last || Last > 255 || Widths == nullptr)
        return false;
    for (unsigned C = First; C <= Last; ++C)
        Widths[C - First] = FFontModel.Widths[C];
    return true;
}

bool THeadlessDC::GetCharWidth(unsigned First, unsigned Last, int* Widths) {
    if (!GetCharWidth32(First, Last, Widths))
        return false;
    for (unsigned C = First; C <= Last; ++C)
        Widths[C - First] += FFontModel.Metrics.tmOverhang;
    return true;
}

template <typename F>
int THeadlessDC::Layout(const char* Text, int Count, bool Tabbed, int TabCount,
                        const int* TabPositions, int X, int TabOrigin, F Cell) const {
    const int DefaultTab = std::max(1, 8 * FFontModel.Metrics.tmAveCharWidth);
    int Pos = 0;
    for (int I = 0; I < Count; ++I) {
        const auto B = static_cast<unsigned char>(Text[I]);
        int Advance = FFontModel.Widths[B];
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
        Cell(B, X + Pos, Advance);
        Pos += Advance;
    }
    return Pos;
}

bool THeadlessDC::GetTextExtentPoint32(const char* Text, int Count, TSize& Size) {
    Size.cx = Layout(Text, Count, false, 0, nullptr, 0, 0, [](unsigned char, int, int) {});
    Size.cy = FFontModel.Metrics.tmHeight;
    return true;
}

TSize THeadlessDC::GetTabbedTextExtent(const char* Text, int Count, int TabCount,
                                       const int* TabPositions) {
    return TSize{
        Layout(Text, Count, true, TabCount, TabPositions, 0, 0, [](unsigned char, int, int) {}),
        FFontModel.Metrics.tmHeight};
}

int THeadlessDC::GetDeviceCaps(int Index) {
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

TRect THeadlessDC::ClipInSurface() const {
    if (FSurface == nullptr)
        return TRect{};
    TRect C = FSurface->GetBounds();
    if (!IsRectEmpty(FClip))
        C = IntersectRect(C, OffsetRect(FClip, FOrigin.X, FOrigin.Y));
    return C;
}

bool THeadlessDC::GetClipBox(TRect& Box) {
    if (FSurface == nullptr)
        Box = IsRectEmpty(FClip) ? Rect(0, 0, FInfo.Width, FInfo.Height) : FClip;
    else
        Box = OffsetRect(ClipInSurface(), -FOrigin.X, -FOrigin.Y);
    return true;
}

// ---- drawing

void THeadlessDC::Log(TDrawCall Call) {
    if (FRecord == nullptr)
        return;
    Call.OffScreen = FMemory;
    FRecord->push_back(std::move(Call));
}

void THeadlessDC::DrawGlyph(unsigned char Byte, int X, int Y, int Advance, const TRect& Clip) {
    if (FSurface == nullptr || Advance < 2 || Byte == ' ' || Byte == 160 || Byte == '\t')
        return;
    const TTextMetric& M = FFontModel.Metrics;
    // The glyph's box: the advance less one column of spacing, from the internal leading down
    // to half the descent.
    const int Height = M.tmAscent + M.tmDescent / 2 - M.tmInternalLeading;
    const int Width = Advance - 1;
    if (Height < 1)
        return;
    const std::int64_t Left = static_cast<std::int64_t>(X) + FOrigin.X;
    const std::int64_t Top = static_cast<std::int64_t>(Y) + M.tmInternalLeading + FOrigin.Y;
    const TRect Box = ClipBounds(Left, Top, Width, Height, Clip);
    if (IsRectEmpty(Box))
        return;
    const TGlyphRows* Rows = GlyphOf(Byte);
    // Inks columns [From, To) of the glyph (glyph coordinates) on surface row PY.
    const auto Span = [&](int PY, std::int64_t From, std::int64_t To) {
        const std::int64_t L = std::max<std::int64_t>(Left + From, Box.Left);
        const std::int64_t R = std::min<std::int64_t>(Left + To, Box.Right);
        if (L < R)
            FSurface->Fill(Rect(static_cast<int>(L), PY, static_cast<int>(R), PY + 1), FTextColor);
    };
    for (int PY = Box.Top; PY < Box.Bottom; ++PY) {
        const int Row = static_cast<int>(PY - Top);
        if (Rows == nullptr) {
            // A byte without a shape is drawn as a hollow box.
            if (Row == 0 || Row == Height - 1) {
                Span(PY, 0, Width);
            } else {
                Span(PY, 0, 1);
                Span(PY, Width - 1, Width);
            }
            continue;
        }
        // Glyph row Row * 7 / Height; glyph column C shows bit 4 - C * 5 / Width, so bit
        // 4 - K covers the columns from ceil(K * Width / 5) to ceil((K + 1) * Width / 5).
        const unsigned Bits = (*Rows)[static_cast<std::size_t>(Row * 7 / Height)];
        for (int K = 0; K < 5; ++K)
            if (((Bits >> (4 - K)) & 1) != 0)
                Span(PY, (static_cast<std::int64_t>(K) * Width + 4) / 5,
                     (static_cast<std::int64_t>(K + 1) * Width + 4) / 5);
    }
}

TSize THeadlessDC::DrawText(int X, int Y, const char* Text, int Count, bool Tabbed, int TabCount,
                            const int* TabPositions, int TabOrigin) {
    const int Height = FFontModel.Metrics.tmHeight;
    const int Width = Layout(Text, Count, Tabbed, TabCount, TabPositions, X, TabOrigin,
                             [](unsigned char, int, int) {});
    if ((FAlign & TA_CENTER) == TA_CENTER)
        X -= Width / 2;
    else if ((FAlign & TA_RIGHT) != 0)
        X -= Width;
    if ((FAlign & TA_BASELINE) == TA_BASELINE)
        Y -= FFontModel.Metrics.tmAscent;
    else if ((FAlign & TA_BOTTOM) != 0)
        Y -= Height;
    if (FSurface == nullptr)
        return TSize{Width, Height};
    const TRect Clip = ClipInSurface();
    if (FBkMode == OPAQUE)
        FSurface->Fill(ClipBounds(static_cast<std::int64_t>(X) + FOrigin.X,
                                  static_cast<std::int64_t>(Y) + FOrigin.Y, Width, Height, Clip),
                       FBkColor);
    Layout(Text, Count, Tabbed, TabCount, TabPositions, X, TabOrigin,
           [&](unsigned char B, int CellX, int Advance) { DrawGlyph(B, CellX, Y, Advance, Clip); });
    return TSize{Width, Height};
}

bool THeadlessDC::TextOut(int X, int Y, const char* Text, int Count) {
    if (Count < 0)
        return false;
    TDrawCall Call;
    Call.Op = doTextOut;
    Call.X = X;
    Call.Y = Y;
    Call.Text.assign(Text, static_cast<std::size_t>(Count));
    Call.Color = FTextColor;
    Call.BkColor = FBkColor;
    Call.BkMode = FBkMode;
    Call.Align = FAlign;
    Call.Font = FFont;
    Log(std::move(Call));
    if ((FAlign & TA_UPDATECP) != 0) {
        const TSize Size = DrawText(FPosition.X, FPosition.Y, Text, Count, false, 0, nullptr, 0);
        FPosition.X += Size.cx;
    } else {
        DrawText(X, Y, Text, Count, false, 0, nullptr, 0);
    }
    return true;
}

TSize THeadlessDC::TabbedTextOut(int X, int Y, const char* Text, int Count, int TabCount,
                                 const int* TabPositions, int TabOrigin) {
    if (Count < 0)
        return TSize{};
    TDrawCall Call;
    Call.Op = doTabbedTextOut;
    Call.X = X;
    Call.Y = Y;
    Call.Text.assign(Text, static_cast<std::size_t>(Count));
    if (TabPositions != nullptr && TabCount > 0)
        Call.Tabs.assign(TabPositions, TabPositions + TabCount);
    Call.TabOrigin = TabOrigin;
    Call.Color = FTextColor;
    Call.BkColor = FBkColor;
    Call.BkMode = FBkMode;
    Call.Align = FAlign;
    Call.Font = FFont;
    Log(std::move(Call));
    return DrawText(X, Y, Text, Count, true, TabCount, TabPositions, TabOrigin);
}

bool THeadlessDC::MoveTo(int X, int Y, TPoint* Old) {
    if (Old != nullptr)
        *Old = FPosition;
    FPosition = Point(X, Y);
    FPenStep = 0;
    return true;
}

void THeadlessDC::PenPixel(int X, int Y, const TRect& C) {
    if (FSurface == nullptr)
        return;
    const int W = std::max(1, FPen.Width);
    for (int DY = 0; DY < W; ++DY)
        for (int DX = 0; DX < W; ++DX) {
            const int PX = X - W / 2 + DX + FOrigin.X, PY = Y - W / 2 + DY + FOrigin.Y;
            if (!PtInRect(C, Point(PX, PY)))
                continue;
            switch (FPenMode) {
            case pmCopy:
                FSurface->SetPixel(PX, PY, FPen.Color);
                break;
            case pmNot:
                FSurface->InvertPixel(PX, PY);
                break;
            case pmXor:
                FSurface->SetPixel(PX, PY, FSurface->GetPixel(PX, PY) ^ (FPen.Color & 0xFFFFFF));
                break;
            case pmBlack:
                FSurface->SetPixel(PX, PY, clBlack);
                break;
            case pmWhite:
                FSurface->SetPixel(PX, PY, clWhite);
                break;
            }
        }
}

bool THeadlessDC::LineTo(int X, int Y) {
    TDrawCall Call;
    Call.Op = doLineTo;
    Call.X = FPosition.X;
    Call.Y = FPosition.Y;
    Call.X2 = X;
    Call.Y2 = Y;
    Call.Color = FPen.Color;
    Call.PenStyle = FPen.Style;
    Log(std::move(Call));
    if (FPen.Style != psClear) {
        // Bresenham from the current position, the end point excluded.
        int X0 = FPosition.X, Y0 = FPosition.Y;
        const int DX = std::abs(X - X0), DY = -std::abs(Y - Y0);
        const int SX = X0 < X ? 1 : -1, SY = Y0 < Y ? 1 : -1;
        int Err = DX + DY;
        const TRect Clip = ClipInSurface();
        while (X0 != X || Y0 != Y) {
            if (PatternOn(FPen.Style, FPenStep++))
                PenPixel(X0, Y0, Clip);
            const int E2 = 2 * Err;
            if (E2 >= DY) {
                Err += DY;
                X0 += SX;
            }
            if (E2 <= DX) {
                Err += DX;
                Y0 += SY;
            }
        }
    }
    FPosition = Point(X, Y);
    return true;
}

bool THeadlessDC::FillRect(const TRect& R, const TBrushDesc& Brush) {
    TDrawCall Call;
    Call.Op = doFillRect;
    Call.X = R.Left;
    Call.Y = R.Top;
    Call.X2 = R.Right;
    Call.Y2 = R.Bottom;
    Call.Color = Brush.Color;
    Log(std::move(Call));
    if (Brush.Style != bsClear && FSurface != nullptr)
        FSurface->Fill(IntersectRect(OffsetRect(R, FOrigin.X, FOrigin.Y), ClipInSurface()),
                       Brush.Color);
    return true;
}

bool THeadlessDC::InvertRect(const TRect& R) {
    TDrawCall Call;
    Call.Op = doInvertRect;
    Call.X = R.Left;
    Call.Y = R.Top;
    Call.X2 = R.Right;
    Call.Y2 = R.Bottom;
    Log(std::move(Call));
    if (FSurface != nullptr)
        FSurface->Invert(IntersectRect(OffsetRect(R, FOrigin.X, FOrigin.Y), ClipInSurface()));
    return true;
}

bool THeadlessDC::Rectangle(int Left, int Top, int Right, int Bottom) {
    TDrawCall Call;
    Call.Op = doRectangle;
    Call.X = Left;
    Call.Y = Top;
    Call.X2 = Right;
    Call.Y2 = Bottom;
    Call.Color = FPen.Color;
    Call.PenStyle = FPen.Style;
    Log(std::move(Call));
    if (FSurface == nullptr || Right <= Left || Bottom <= Top)
        return true;
    if (FBrush.Style != bsClear)
        FSurface->Fill(
            IntersectRect(OffsetRect(Rect(Left, Top, Right, Bottom), FOrigin.X, FOrigin.Y),
                          ClipInSurface()),
            FBrush.Color);
    if (FPen.Style != psClear) {
        const TPoint Saved = FPosition;
        TDrawRecord* SavedRecord = std::exchange(FRecord, nullptr);
        MoveTo(Left, Top);
        LineTo(Right - 1, Top);
        LineTo(Right - 1, Bottom - 1);
        LineTo(Left, Bottom - 1);
        LineTo(Left, Top);
        FRecord = SavedRecord;
        FPosition = Saved;
    }
    return true;
}

bool THeadlessDC::BitBlt(int X, int Y, int W, int H, HDC Source, int XSrc, int YSrc,
                         std::uint32_t Rop) {
    TDrawCall Call;
    Call.Op = doBitBlt;
    Call.X = X;
    Call.Y = Y;
    Call.X2 = W;
    Call.Y2 = H;
    Call.SourceX = XSrc;
    Call.SourceY = YSrc;
    Call.Rop = Rop;
    Log(std::move(Call));
    if (FSurface == nullptr || W <= 0 || H <= 0)
        return true;
    auto* Src = dynamic_cast<THeadlessDC*>(Source);
    const bool NeedsSource = Rop == SRCCOPY || Rop == SRCPAINT || Rop == SRCAND || Rop == SRCINVERT;
    if (NeedsSource && Src == nullptr)
        return false;
    const TRect D = ClipBounds(static_cast<std::int64_t>(X) + FOrigin.X,
                               static_cast<std::int64_t>(Y) + FOrigin.Y, W, H, ClipInSurface());
    const bool Known =
        NeedsSource || Rop == DSTINVERT || Rop == PATCOPY || Rop == BLACKNESS || Rop == WHITENESS;
    if (IsRectEmpty(D))
        return true;
    if (!Known)
        return false;
    // The source pixel of the surface pixel (PX, PY) is (PX + SX, PY + SY) of Src's surface.
    const TSurface* SrcSurface = NeedsSource ? Src->FSurface : nullptr;
    const std::int64_t SX = NeedsSource ? static_cast<std::int64_t>(XSrc) + Src->FOrigin.X -
                                              (static_cast<std::int64_t>(X) + FOrigin.X)
                                        : 0;
    const std::int64_t SY = NeedsSource ? static_cast<std::int64_t>(YSrc) + Src->FOrigin.Y -
                                              (static_cast<std::int64_t>(Y) + FOrigin.Y)
                                        : 0;
    switch (Rop) {
    case SRCCOPY:
        if (SrcSurface == nullptr)
            FSurface->Fill(D, clWhite); // a context without a surface reads as white
        else
            FSurface->CopyRect(D.Left, D.Top, D.Width(), D.Height(), *SrcSurface, D.Left + SX,
                               D.Top + SY);
        return true;
    case DSTINVERT:
        FSurface->Invert(D);
        return true;
    case PATCOPY:
        FSurface->Fill(D, FBrush.Color);
        return true;
    case BLACKNESS:
        FSurface->Fill(D, clBlack);
        return true;
    case WHITENESS:
        FSurface->Fill(D, clWhite);
        return true;
    default:
        break;
    }
    // Source and target combined, row by row. On the same surface the rows go in the order that
    // reads each source row before it is written.
    std::vector<TColor> Row(static_cast<std::size_t>(D.Width()), clWhite);
    std::vector<TColor> Target(Row.size());
    const bool BottomUp = SrcSurface == FSurface && SY < 0;
    for (int K = 0; K < D.Height(); ++K) {
        const int PY = BottomUp ? D.Bottom - 1 - K : D.Top + K;
        if (SrcSurface != nullptr)
            SrcSurface->ReadRow(D.Left + SX, PY + SY, D.Width(), Row.data());
        FSurface->ReadRow(D.Left, PY, D.Width(), Target.data());
        for (std::size_t I = 0; I < Row.size(); ++I)
            switch (Rop) {
            case SRCPAINT:
                Target[I] |= Row[I];
                break;
            case SRCAND:
                Target[I] &= Row[I];
                break;
            default: // SRCINVERT
                Target[I] ^= Row[I];
                break;
            }
        FSurface->WriteRow(D.Left, PY, D.Width(), Target.data());
    }
    return true;
}

// ---- memory contexts

std::unique_ptr<TDeviceContext> THeadlessDC::CreateCompatibleDC() {
    auto DC = std::make_unique<THeadlessDC>(FInfo, nullptr, FRecord);
    DC->FMemory = true;
    DC->FStockBitmap = std::make_unique<THeadlessBitmap>(1, 1);
    DC->FBitmap = DC->FStockBitmap.get();
    DC->FSurface = &DC->FStockBitmap->GetSurface();
    return DC;
}

std::unique_ptr<TDeviceBitmap> THeadlessDC::CreateCompatibleBitmap(int W, int H) {
    return std::make_unique<THeadlessBitmap>(std::max(0, W), std::max(0, H));
}

} // namespace kestrel::headless
