// The pixel surface and its image writers.
#include "host/headless/surface.h"

#include "host/exceptions.h"
#include "host/safe_save.h"
#include "host/streams.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <exception>

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

TSurface::TStore& TSurface::Store() {
    if (FPixels == nullptr) {
        FPixels = std::make_shared<TStore>();
        FPixels->Index.assign(At(0, FHeight), 0);
        FPixels->Palette.push_back(FFill);
    } else if (FPixels.use_count() > 1) {
        FPixels = std::make_shared<TStore>(*FPixels);
    }
    return *FPixels;
}

int TSurface::PlaceOf(TStore& S, TColor Color) {
    const auto Found = std::find(S.Palette.begin(), S.Palette.end(), Color);
    if (Found != S.Palette.end())
        return static_cast<int>(Found - S.Palette.begin());
    if (S.Palette.size() == 256)
        return -1;
    S.Palette.push_back(Color);
    return static_cast<int>(S.Palette.size() - 1);
}

void TSurface::Widen(TStore& S) {
    S.Full.resize(S.Index.size());
    std::transform(S.Index.begin(), S.Index.end(), S.Full.begin(),
                   [&S](std::uint8_t I) { return S.Palette[I]; });
    S.Indexed = false;
    std::vector<std::uint8_t>().swap(S.Index);
    std::vector<TColor>().swap(S.Palette);
}

void TSurface::ReadInside(int X, int Y, int N, TColor* Out) const {
    if (FPixels == nullptr) {
        std::fill_n(Out, N, FFill);
    } else if (FPixels->Indexed) {
        const std::uint8_t* In = FPixels->Index.data() + At(X, Y);
        const TColor* Palette = FPixels->Palette.data();
        for (int I = 0; I < N; ++I)
            Out[I] = Palette[In[I]];
    } else {
        std::copy_n(FPixels->Full.data() + At(X, Y), N, Out);
    }
}

void TSurface::WriteInside(int X, int Y, int N, const TColor* In) {
    TStore& S = Store();
    if (S.Indexed) {
        std::uint8_t* Out = S.Index.data() + At(X, Y);
        // Runs of one colour are the rule: its place is looked up once per run.
        TColor Last = S.Palette[0];
        int LastPlace = 0;
        for (int I = 0; I < N; ++I) {
            if (In[I] != Last || I == 0) {
                const int Place = PlaceOf(S, In[I]);
                if (Place < 0) {
                    Widen(S);
                    std::copy_n(In + I, N - I, S.Full.data() + At(X + I, Y));
                    return;
                }
                Last = In[I];
                LastPlace = Place;
            }
            Out[I] = static_cast<std::uint8_t>(LastPlace);
        }
    } else {
        std::copy_n(In, N, S.Full.data() + At(X, Y));
    }
}

void TSurface::FillInside(int X, int Y, int N, TColor Color) {
    TStore& S = Store();
    if (S.Indexed) {
        const int Place = PlaceOf(S, Color);
        if (Place >= 0) {
            std::fill_n(S.Index.data() + At(X, Y), N, static_cast<std::uint8_t>(Place));
            return;
        }
        Widen(S);
    }
    std::fill_n(S.Full.data() + At(X, Y), N, Color);
}

TColor TSurface::GetPixel(int X, int Y) const {
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        return clWhite;
    TColor C;
    ReadInside(X, Y, 1, &C);
    return C;
}

void TSurface::SetPixel(int X, int Y, TColor Color) {
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        return;
    FillInside(X, Y, 1, Color);
}

void TSurface::InvertPixel(int X, int Y) {
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        return;
    SetPixel(X, Y, GetPixel(X, Y) ^ 0x00FFFFFF);
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
        FillInside(C.Left, Y, C.Width(), Color);
}

void TSurface::Invert(const TRect& R) {
    const TRect C = IntersectRect(R, GetBounds());
    if (IsRectEmpty(C))
        return;
    std::vector<TColor> Row(static_cast<std::size_t>(C.Width()));
    for (int Y = C.Top; Y < C.Bottom; ++Y) {
        ReadInside(C.Left, Y, C.Width(), Row.data());
        for (TColor& P : Row)
            P ^= 0x00FFFFFF;
        WriteInside(C.Left, Y, C.Width(), Row.data());
    }
}

int TSurface::CountPixels(const TRect& R, TColor Color) const {
    const TRect C = IntersectRect(R, GetBounds());
    if (IsRectEmpty(C))
        return 0;
    if (FPixels == nullptr)
        return Color == FFill ? C.Width() * C.Height() : 0;
    int N = 0;
    if (FPixels->Indexed) {
        const auto& Palette = FPixels->Palette;
        const auto Found = std::find(Palette.begin(), Palette.end(), Color);
        if (Found == Palette.end())
            return 0;
        const auto Place = static_cast<std::uint8_t>(Found - Palette.begin());
        for (int Y = C.Top; Y < C.Bottom; ++Y) {
            const std::uint8_t* Row = FPixels->Index.data() + At(C.Left, Y);
            N += static_cast<int>(std::count(Row, Row + C.Width(), Place));
        }
        return N;
    }
    for (int Y = C.Top; Y < C.Bottom; ++Y) {
        const TColor* Row = FPixels->Full.data() + At(C.Left, Y);
        N += static_cast<int>(std::count(Row, Row + C.Width(), Color));
    }
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
    ReadInside(In.Left, In.Top, In.Width(), Out + Before);
    std::fill_n(Out + Before + In.Width(), After, clWhite);
}

void TSurface::WriteRow(std::int64_t X, std::int64_t Y, int Count, const TColor* In) {
    if (Count <= 0)
        return;
    const TRect R = ClipBounds(X, Y, Count, 1, GetBounds());
    if (!IsRectEmpty(R))
        WriteInside(R.Left, R.Top, R.Width(), In + (R.Left - X));
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
            // On the same surface, rows are taken in the order that reads each source row
            // before it is overwritten; a row is read whole before it is written.
            const bool BottomUp = &Source == this && OY < 0;
            std::vector<TColor> Row(static_cast<std::size_t>(Inner.Width()));
            for (int K = 0; K < Inner.Height(); ++K) {
                const int TY = BottomUp ? Inner.Bottom - 1 - K : Inner.Top + K;
                Source.ReadInside(static_cast<int>(Inner.Left + OX), static_cast<int>(TY + OY),
                                  Inner.Width(), Row.data());
                WriteInside(Inner.Left, TY, Inner.Width(), Row.data());
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

// Where libpng's output goes, and the first failure of the stream it went to.
struct TPngSink {
    TStream* Out;
    std::exception_ptr Failure;
    std::string Message; // libpng's own error
};

// libpng reports errors by a jump back to EncodePng, so nothing that needs destroying may be
// alive in the frames it jumps over: a failure of the stream is kept and raised afterwards.
void PngWrite(png_structp Png, png_bytep Data, png_size_t Length) {
    auto* Sink = static_cast<TPngSink*>(png_get_io_ptr(Png));
    bool Failed = false;
    try {
        Sink->Out->WriteBuffer(Data, static_cast<std::int64_t>(Length));
    } catch (...) {
        Sink->Failure = std::current_exception();
        Failed = true;
    }
    if (Failed)
        png_error(Png, "the stream failed");
}

void PngFlush(png_structp) {}

[[noreturn]] void PngError(png_structp Png, png_const_charp Message) {
    static_cast<TPngSink*>(png_get_error_ptr(Png))->Message = Message;
    png_longjmp(Png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Encodes the rows that Row(Y, Buffer) gives, 3 bytes a pixel, into Sink; false on a failure.
// Holds only plain values, so that libpng's jump back leaves nothing behind.
bool EncodePng(TPngSink& Sink, int Width, int Height, std::uint8_t* Buffer,
               void (*Row)(const TSurface&, int, std::uint8_t*), const TSurface& Surface) {
    png_structp Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &Sink, PngError, PngWarning);
    if (Png == nullptr)
        return false;
    png_infop Info = png_create_info_struct(Png);
    if (Info == nullptr) {
        png_destroy_write_struct(&Png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(Png)) != 0) {
        png_destroy_write_struct(&Png, &Info);
        return false;
    }
    png_set_write_fn(Png, &Sink, PngWrite, PngFlush);
    png_set_IHDR(Png, Info, static_cast<png_uint_32>(Width), static_cast<png_uint_32>(Height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(Png, Info);
    for (int Y = 0; Y < Height; ++Y) {
        Row(Surface, Y, Buffer);
        png_write_row(Png, Buffer);
    }
    png_write_end(Png, Info);
    png_destroy_write_struct(&Png, &Info);
    return true;
}

} // namespace

void TSurface::RgbRow(int Y, std::uint8_t* Out) const {
    std::vector<TColor> Row(static_cast<std::size_t>(FWidth));
    ReadInside(0, Y, FWidth, Row.data());
    for (const TColor C : Row) {
        *Out++ = static_cast<std::uint8_t>(GetRValue(C));
        *Out++ = static_cast<std::uint8_t>(GetGValue(C));
        *Out++ = static_cast<std::uint8_t>(GetBValue(C));
    }
}

void TSurface::WritePNG(TStream* Stream) const {
    std::vector<std::uint8_t> Buffer(3 * static_cast<std::size_t>(std::max(FWidth, 1)));
    TPngSink Sink{Stream, nullptr, ""};
    const auto Row = [](const TSurface& S, int Y, std::uint8_t* Out) { S.RgbRow(Y, Out); };
    if (EncodePng(Sink, FWidth, FHeight, Buffer.data(), Row, *this))
        return;
    if (Sink.Failure)
        std::rethrow_exception(Sink.Failure);
    throw EWriteError("Cannot write the image as PNG (" +
                      (Sink.Message.empty() ? std::string("out of memory") : Sink.Message) + ")");
}

void TSurface::WritePPM(TStream* Stream) const {
    const std::string Header =
        "P6\n" + std::to_string(FWidth) + " " + std::to_string(FHeight) + "\n255\n";
    Stream->WriteBuffer(Header.data(), static_cast<std::int64_t>(Header.size()));
    std::vector<std::uint8_t> Buffer(3 * static_cast<std::size_t>(FWidth));
    for (int Y = 0; Y < FHeight; ++Y) {
        RgbRow(Y, Buffer.data());
        Stream->WriteBuffer(Buffer.data(), static_cast<std::int64_t>(Buffer.size()));
    }
}

std::string TSurface::ToPNG() const {
    TMemoryStream Out;
    WritePNG(&Out);
    return std::string(reinterpret_cast<const char*>(Out.GetMemory()),
                       static_cast<std::size_t>(Out.GetSize()));
}

std::string TSurface::ToPPM() const {
    TMemoryStream Out;
    WritePPM(&Out);
    return std::string(reinterpret_cast<const char*>(Out.GetMemory()),
                       static_cast<std::size_t>(Out.GetSize()));
}

void TSurface::SaveToPNG(const std::string& FileName) const {
    SaveFileSafely(FileName, [this](TStream* Stream) { WritePNG(Stream); });
}

void TSurface::SaveToPPM(const std::string& FileName) const {
    SaveFileSafely(FileName, [this](TStream* Stream) { WritePPM(Stream); });
}

} // namespace kestrel::headless
