// The pixel surface and its image writers.
#include "host/headless/surface.h"

#include "host/streams.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>

namespace kestrel::headless {

TSurface::TSurface(int Width, int Height, TColor Fill)
    : FWidth(std::max(0, Width)), FHeight(std::max(0, Height)), FFill(Fill) {}

TRect ClipBounds(std::int64_t Left, std::int64_t Top, std::int64_t Width, std::int64_t Height,
                 const TRect& Clip) {
    if (Width <= 0 || Height <= 0)
        return TRect{};
    const std::int64_t L = std::max<std::int64_t>(Left, Clip.Left);
    const std::int64_t T = std::max<std::int64_t>(Top, Clip.Top);
    const std::int64_t R = std::min<std::int64_t>(Left + Width, Clip.Right);
    const std::int64_t B = std::min<std::int64_t>(Top + Height, Clip.Bottom);
    if (R <= L || B <= T)
        return TRect{};
    // Each bound lies within Clip's, so it fits an int.
    return TRect{static_cast<int>(L), static_cast<int>(T), static_cast<int>(R),
                 static_cast<int>(B)};
}

TColor* TSurface::Pixels() {
    if (FPixels == nullptr)
        FPixels = std::make_shared<std::vector<TColor>>(
            static_cast<std::size_t>(FWidth) * static_cast<std::size_t>(FHeight), FFill);
    else if (FPixels.use_count() > 1)
        FPixels = std::make_shared<std::vector<TColor>>(*FPixels);
    return FPixels->data();
}

TColor* TSurface::RowForWrite(int Y) {
    assert(Y >= 0 && Y < FHeight && "RowForWrite: row outside the surface");
    return Pixels() + static_cast<std::size_t>(Y) * static_cast<std::size_t>(FWidth);
}

TColor TSurface::GetPixel(int X, int Y) const {
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        return clWhite;
    return FPixels == nullptr ? FFill : Row(Y)[X];
}

void TSurface::SetPixel(int X, int Y, TColor Color) {
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        return;
    RowForWrite(Y)[X] = Color;
}

void TSurface::InvertPixel(int X, int Y) {
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        return;
    TColor& P = RowForWrite(Y)[X];
    P = P ^ 0x00FFFFFF;
}

void TSurface::Fill(const TRect& R, TColor Color) {
    const TRect C = IntersectRect(R, GetBounds());
    if (IsRectEmpty(C))
        return;
    // A surface not allocated stays so when the fill leaves all its pixels alike.
    if (FPixels == nullptr && (Color == FFill || C == GetBounds())) {
        FFill = Color;
        return;
    }
    for (int Y = C.Top; Y < C.Bottom; ++Y)
        std::fill_n(RowForWrite(Y) + C.Left, C.Width(), Color);
}

void TSurface::Invert(const TRect& R) {
    const TRect C = IntersectRect(R, GetBounds());
    if (IsRectEmpty(C))
        return;
    for (int Y = C.Top; Y < C.Bottom; ++Y) {
        TColor* P = RowForWrite(Y) + C.Left;
        for (int X = 0; X < C.Width(); ++X)
            P[X] ^= 0x00FFFFFF;
    }
}

int TSurface::CountPixels(const TRect& R, TColor Color) const {
    const TRect C = IntersectRect(R, GetBounds());
    if (IsRectEmpty(C))
        return 0;
    if (FPixels == nullptr)
        return Color == FFill ? C.Width() * C.Height() : 0;
    int N = 0;
    for (int Y = C.Top; Y < C.Bottom; ++Y)
        N += static_cast<int>(std::count(Row(Y) + C.Left, Row(Y) + C.Right, Color));
    return N;
}

void TSurface::ReadRow(std::int64_t X, std::int64_t Y, int Count, TColor* Out) const {
    if (Count <= 0)
        return;
    const TRect In = ClipBounds(X, Y, Count, 1, GetBounds());
    if (IsRectEmpty(In)) {
        std::fill_n(Out, Count, clWhite);
        return;
    }
    // Count pixels from X: white left of the surface, the row inside it, white right of it.
    const int Before = static_cast<int>(In.Left - X);
    const int After = Count - Before - In.Width();
    std::fill_n(Out, Before, clWhite);
    if (FPixels == nullptr)
        std::fill_n(Out + Before, In.Width(), FFill);
    else
        std::copy_n(Row(In.Top) + In.Left, In.Width(), Out + Before);
    std::fill_n(Out + Before + In.Width(), After, clWhite);
}

void TSurface::CopyRect(int X, int Y, int Width, int Height, const TSurface& Source,
                        std::int64_t SourceX, std::int64_t SourceY) {
    const TRect D = ClipBounds(X, Y, Width, Height, GetBounds());
    if (IsRectEmpty(D))
        return;
    // A target pixel (TX, TY) comes from (TX + OX, TY + OY) of Source.
    const std::int64_t OX = SourceX - X;
    const std::int64_t OY = SourceY - Y;
    // The target pixels whose source pixel lies inside Source.
    const TRect Inner = ClipBounds(-OX, -OY, Source.FWidth, Source.FHeight, D);
    if (!IsRectEmpty(Inner)) {
        if (Source.FPixels == nullptr) {
            Fill(Inner, Source.FFill);
        } else if (Inner == GetBounds() && OX == 0 && OY == 0 && Source.FWidth == FWidth &&
                   Source.FHeight == FHeight) {
            FPixels = Source.FPixels; // all of a surface of the same size: share its pixels
        } else {
            const bool SameSurface = &Source == this;
            TColor* Target = Pixels();
            // On the same surface, rows are taken in the order that reads each source row
            // before it is overwritten; memmove does the same within a row.
            const bool BottomUp = SameSurface && OY < 0;
            const std::size_t Bytes = static_cast<std::size_t>(Inner.Width()) * sizeof(TColor);
            for (int K = 0; K < Inner.Height(); ++K) {
                const int TY = BottomUp ? Inner.Bottom - 1 - K : Inner.Top + K;
                const TColor* From = Source.Row(static_cast<int>(TY + OY)) + (Inner.Left + OX);
                TColor* To = Target + static_cast<std::size_t>(TY) * FWidth + Inner.Left;
                std::memmove(To, From, Bytes);
            }
        }
    }
    // The rest of the target reads outside Source: white. Written after the copy, since on the
    // same surface these pixels may be sources of the copy.
    if (IsRectEmpty(Inner)) {
        Fill(D, clWhite);
        return;
    }
    Fill(Rect(D.Left, D.Top, D.Right, Inner.Top), clWhite);
    Fill(Rect(D.Left, Inner.Bottom, D.Right, D.Bottom), clWhite);
    Fill(Rect(D.Left, Inner.Top, Inner.Left, Inner.Bottom), clWhite);
    Fill(Rect(Inner.Right, Inner.Top, D.Right, Inner.Bottom), clWhite);
}

namespace {

std::uint32_t Crc32(const std::uint8_t* Data, std::size_t Size, std::uint32_t Crc = 0) {
    static const std::array<std::uint32_t, 256> Table = [] {
        std::array<std::uint32_t, 256> T{};
        for (std::uint32_t N = 0; N < 256; ++N) {
            std::uint32_t C = N;
            for (int K = 0; K < 8; ++K)
                C = (C & 1) != 0 ? 0xEDB88320u ^ (C >> 1) : C >> 1;
            T[N] = C;
        }
        return T;
    }();
    Crc = ~Crc;
    for (std::size_t I = 0; I < Size; ++I)
        Crc = Table[(Crc ^ Data[I]) & 0xFF] ^ (Crc >> 8);
    return ~Crc;
}

void PutBE32(std::string& Out, std::uint32_t V) {
    for (int Shift = 24; Shift >= 0; Shift -= 8)
        Out.push_back(static_cast<char>((V >> Shift) & 0xFF));
}

void PutChunk(std::string& Out, const char* Type, const std::string& Data) {
    PutBE32(Out, static_cast<std::uint32_t>(Data.size()));
    std::string Body(Type, 4);
    Body += Data;
    Out += Body;
    PutBE32(Out, Crc32(reinterpret_cast<const std::uint8_t*>(Body.data()), Body.size()));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::string StoredZlib(const std::string& Raw) {
    std::string Out("\x78\x01", 2);
    std::size_t Pos = 0;
    do {
        const std::size_t N = std::min<std::size_t>(65535, Raw.size() - Pos);
        const bool Final = Pos + N == Raw.size();
        Out.push_back(static_cast<char>(Final ? 1 : 0));
        Out.push_back(static_cast<char>(N & 0xFF));
        Out.push_back(static_cast<char>(N >> 8));
        Out.push_back(static_cast<char>(~N & 0xFF));
        Out.push_back(static_cast<char>((~N >> 8) & 0xFF));
        Out.append(Raw, Pos, N);
        Pos += N;
    } while (Pos < Raw.size());
    std::uint32_t A = 1, B = 0; // Adler-32, reduced every 5552 bytes: the most that cannot
                                // overflow 32 bits
    for (std::size_t At = 0; At < Raw.size();) {
        const std::size_t End = std::min(Raw.size(), At + 5552);
        for (; At < End; ++At) {
            A += static_cast<unsigned char>(Raw[At]);
            B += A;
        }
        A %= 65521;
        B %= 65521;
    }
    PutBE32(Out, (B << 16) | A);
    return Out;
}

void SaveBytes(const std::string& FileName, const std::string& Bytes) {
    TFileStream File(FileName, fmCreate);
    File.WriteBuffer(Bytes.data(), static_cast<std::int64_t>(Bytes.size()));
}

} // namespace

std::string TSurface::RgbRows(std::size_t Prefix, char Lead) const {
    const std::size_t RowBytes = Prefix + 3 * static_cast<std::size_t>(FWidth);
    std::string Out(RowBytes * static_cast<std::size_t>(FHeight), '\0');
    char* P = Out.data();
    for (int Y = 0; Y < FHeight; ++Y) {
        P = std::fill_n(P, Prefix, Lead);
        const TColor* R = FPixels == nullptr ? nullptr : Row(Y);
        for (int X = 0; X < FWidth; ++X) {
            const TColor C = R != nullptr ? R[X] : FFill;
            *P++ = static_cast<char>(GetRValue(C));
            *P++ = static_cast<char>(GetGValue(C));
            *P++ = static_cast<char>(GetBValue(C));
        }
    }
    return Out;
}

std::string TSurface::ToPNG() const {
    std::string Out("\x89PNG\r\n\x1a\n", 8);
    std::string Header;
    PutBE32(Header, static_cast<std::uint32_t>(FWidth));
    PutBE32(Header, static_cast<std::uint32_t>(FHeight));
    Header +=
        std::string("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, no filter, no interlace
    PutChunk(Out, "IHDR", Header);
    PutChunk(Out, "IDAT", StoredZlib(RgbRows(1, 0))); // each row: filter "none", then its pixels
    PutChunk(Out, "IEND", "");
    return Out;
}

std::string TSurface::ToPPM() const {
    return "P6\n" + std::to_string(FWidth) + " " + std::to_string(FHeight) + "\n255\n" +
           RgbRows(0, 0);
}

void TSurface::SaveToPNG(const std::string& FileName) const {
    SaveBytes(FileName, ToPNG());
}

void TSurface::SaveToPPM(const std::string& FileName) const {
    SaveBytes(FileName, ToPPM());
}

} // namespace kestrel::headless
