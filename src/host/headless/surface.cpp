// The pixel surface and its image writers.
#include "host/headless/surface.h"

#include "host/streams.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace kestrel::headless {

TSurface::TSurface(int Width, int Height, TColor Fill)
    : FWidth(std::max(0, Width)), FHeight(std::max(0, Height)),
      FPixels(static_cast<std::size_t>(FWidth) * static_cast<std::size_t>(FHeight), Fill) {}

TColor TSurface::GetPixel(int X, int Y) const {
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        return clWhite;
    return FPixels[static_cast<std::size_t>(Y) * FWidth + X];
}

void TSurface::SetPixel(int X, int Y, TColor Color) {
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        return;
    FPixels[static_cast<std::size_t>(Y) * FWidth + X] = Color;
}

void TSurface::InvertPixel(int X, int Y) {
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        return;
    TColor& P = FPixels[static_cast<std::size_t>(Y) * FWidth + X];
    P = P ^ 0x00FFFFFF;
}

void TSurface::Fill(const TRect& R, TColor Color) {
    const TRect C = IntersectRect(R, GetBounds());
    for (int Y = C.Top; Y < C.Bottom; ++Y)
        std::fill_n(FPixels.begin() + static_cast<std::ptrdiff_t>(Y) * FWidth + C.Left,
                    C.Width(), Color);
}

void TSurface::Invert(const TRect& R) {
    const TRect C = IntersectRect(R, GetBounds());
    for (int Y = C.Top; Y < C.Bottom; ++Y)
        for (int X = C.Left; X < C.Right; ++X)
            InvertPixel(X, Y);
}

int TSurface::CountPixels(const TRect& R, TColor Color) const {
    const TRect C = IntersectRect(R, GetBounds());
    int N = 0;
    for (int Y = C.Top; Y < C.Bottom; ++Y)
        for (int X = C.Left; X < C.Right; ++X)
            N += GetPixel(X, Y) == Color ? 1 : 0;
    return N;
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
    std::uint32_t A = 1, B = 0; // Adler-32
    for (unsigned char C : Raw) {
        A = (A + C) % 65521;
        B = (B + A) % 65521;
    }
    PutBE32(Out, (B << 16) | A);
    return Out;
}

void SaveBytes(const std::string& FileName, const std::string& Bytes) {
    TFileStream File(FileName, fmCreate);
    File.WriteBuffer(Bytes.data(), static_cast<std::int64_t>(Bytes.size()));
}

} // namespace

std::string TSurface::ToPNG() const {
    std::string Out("\x89PNG\r\n\x1a\n", 8);
    std::string Header;
    PutBE32(Header, static_cast<std::uint32_t>(FWidth));
    PutBE32(Header, static_cast<std::uint32_t>(FHeight));
    Header += std::string("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, no filter, no interlace
    PutChunk(Out, "IHDR", Header);
    std::string Raw;
    Raw.reserve(static_cast<std::size_t>(FHeight) * (1 + 3 * static_cast<std::size_t>(FWidth)));
    for (int Y = 0; Y < FHeight; ++Y) {
        Raw.push_back(0); // filter: none
        for (int X = 0; X < FWidth; ++X) {
            const TColor C = GetPixel(X, Y);
            Raw.push_back(static_cast<char>(GetRValue(C)));
            Raw.push_back(static_cast<char>(GetGValue(C)));
            Raw.push_back(static_cast<char>(GetBValue(C)));
        }
    }
    PutChunk(Out, "IDAT", StoredZlib(Raw));
    PutChunk(Out, "IEND", "");
    return Out;
}

std::string TSurface::ToPPM() const {
    std::string Out =
        "P6\n" + std::to_string(FWidth) + " " + std::to_string(FHeight) + "\n255\n";
    for (int Y = 0; Y < FHeight; ++Y)
        for (int X = 0; X < FWidth; ++X) {
            const TColor C = GetPixel(X, Y);
            Out.push_back(static_cast<char>(GetRValue(C)));
            Out.push_back(static_cast<char>(GetGValue(C)));
            Out.push_back(static_cast<char>(GetBValue(C)));
        }
    return Out;
}

void TSurface::SaveToPNG(const std::string& FileName) const { SaveBytes(FileName, ToPNG()); }

void TSurface::SaveToPPM(const std::string& FileName) const { SaveBytes(FileName, ToPPM()); }

} // namespace kestrel::headless
