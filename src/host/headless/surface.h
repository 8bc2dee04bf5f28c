// TSurface: the headless platform's pixel surface, and its PNG and PPM writers.
#pragma once

#include "host/graphics_types.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrel {
class TStream;
}

namespace kestrel::headless {

/// A rectangle of pixels holding colours as RGB values (0x00BBGGRR). Writes outside it are
/// dropped, reads outside it answer clWhite. The pixels are allocated on the first write that
/// changes one; until then every pixel has the fill colour. Copies of a surface, and a surface
/// that CopyRect filled whole from another of its size, share the pixels until either writes.
/// A pixel takes one byte while the surface holds at most 256 colours (as painted text does),
/// four from the 257th colour on: the largest window stays well within memory.
class TSurface {
public:
    TSurface(int Width, int Height, TColor Fill = clWhite);

    int GetWidth() const { return FWidth; }
    int GetHeight() const { return FHeight; }
    TRect GetBounds() const { return Rect(0, 0, FWidth, FHeight); }
    /// The colour of every pixel while the surface is not allocated.
    TColor GetFill() const { return FFill; }
    /// False while every pixel has the fill colour without pixels being stored.
    bool IsAllocated() const { return FPixels != nullptr; }
    /// True when this surface holds the very pixels of Other (shared until one of them writes).
    bool SharesPixelsWith(const TSurface& Other) const {
        return FPixels != nullptr && FPixels == Other.FPixels;
    }

    TColor GetPixel(int X, int Y) const;
    void SetPixel(int X, int Y, TColor Color);
    void InvertPixel(int X, int Y);
    /// Fills the part of R inside the surface. Filling all of a surface not allocated changes
    /// its fill colour and allocates nothing.
    void Fill(const TRect& R, TColor Color);
    void Invert(const TRect& R);
    /// Number of pixels of R (clipped to the surface) that have Color.
    int CountPixels(const TRect& R, TColor Color) const;

    /// Puts the Count pixels from (X, Y) rightwards into Out, read as GetPixel reads them.
    void ReadRow(std::int64_t X, std::int64_t Y, int Count, TColor* Out) const;
    /// Writes the Count pixels of In from (X, Y) rightwards, those outside the surface dropped.
    void WriteRow(std::int64_t X, std::int64_t Y, int Count, const TColor* In);
    /// True while a pixel takes one byte (at most 256 colours so far).
    bool IsIndexed() const { return FPixels == nullptr || FPixels->Indexed; }
    /// Copies the Width x Height pixels of Source from (SourceX, SourceY) to this surface with
    /// their top-left corner at (X, Y), clipped to this surface. Pixels outside Source arrive
    /// as clWhite, as GetPixel reads them. Source may be this surface, overlapping or not: the
    /// result is as if every source pixel had been read before anything was written. Copying
    /// from a surface never written into one with the same fill allocates nothing.
    void CopyRect(int X, int Y, int Width, int Height, const TSurface& Source, std::int64_t SourceX,
                  std::int64_t SourceY);

    /// Writes the image to Stream as a PNG file (RGB, 8 bits per channel, compressed by
    /// libpng) or a binary PPM (P6) file, a row at a time: no copy of the image is made.
    /// Failures of the stream pass through; a failure of the encoder raises EWriteError.
    void WritePNG(TStream* Stream) const;
    void WritePPM(TStream* Stream) const;
    /// The bytes WritePNG or WritePPM writes.
    std::string ToPNG() const;
    std::string ToPPM() const;
    /// Writes the image to a file through SaveFileSafely: after a failure (a full disk, a
    /// file-size limit) the file is as it was, and the error is raised.
    void SaveToPNG(const std::string& FileName) const;
    void SaveToPPM(const std::string& FileName) const;

private:
    // The allocated pixels, row by row. While Indexed, Index holds for each pixel its colour's
    // place in Palette (distinct colours, at most 256) and Full is empty; after the 257th colour
    // Full holds every colour and Index and Palette are empty.
    struct TStore {
        bool Indexed = true;
        std::vector<std::uint8_t> Index;
        std::vector<TColor> Palette;
        std::vector<TColor> Full;
    };

    // This surface's own store, allocated (every pixel FFill) or copied from a shared one.
    TStore& Store();
    // Row Y's pixels [X, X + N), all inside the surface.
    void ReadInside(int X, int Y, int N, TColor* Out) const;
    void WriteInside(int X, int Y, int N, const TColor* In);
    void FillInside(int X, int Y, int N, TColor Color);
    // Color's place in the palette, added when new; -1 when the palette is full.
    static int PlaceOf(TStore& S, TColor Color);
    // Turns an indexed store into four bytes a pixel.
    static void Widen(TStore& S);
    // The RGB bytes of row Y (0 <= Y < FHeight) into Out, 3 * FWidth of them.
    void RgbRow(int Y, std::uint8_t* Out) const;
    std::size_t At(int X, int Y) const {
        return static_cast<std::size_t>(Y) * static_cast<std::size_t>(FWidth) +
               static_cast<std::size_t>(X);
    }

    int FWidth;  // >= 0
    int FHeight; // >= 0
    TColor FFill;
    // nullptr: every pixel is FFill. Shared with other surfaces until a write, which goes
    // through Store and so gets its own copy first.
    std::shared_ptr<TStore> FPixels;
};

/// The part of the rectangle (Left, Top, Left + Width, Top + Height) inside Clip, computed
/// without overflow for any int arguments; an all-zero rectangle when none is.
TRect ClipBounds(std::int64_t Left, std::int64_t Top, std::int64_t Width, std::int64_t Height,
                 const TRect& Clip);

} // namespace kestrel::headless
