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
    /// The pixels of row Y, Y inside the surface, for writing (allocates them).
    TColor* RowForWrite(int Y);
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
    TColor* Pixels(); // the allocated pixels, this surface's own (shared ones are copied)
    // Row Y of the allocated pixels, for reading.
    const TColor* Row(int Y) const {
        return FPixels->data() + static_cast<std::size_t>(Y) * static_cast<std::size_t>(FWidth);
    }
    // The RGB bytes of row Y (0 <= Y < FHeight) into Out, 3 * FWidth of them.
    void RgbRow(int Y, std::uint8_t* Out) const;

    int FWidth;  // >= 0
    int FHeight; // >= 0
    TColor FFill;
    // Row by row, FWidth * FHeight; nullptr: every pixel is FFill. Shared with other surfaces
    // until a write, which goes through Pixels and so gets its own copy first.
    std::shared_ptr<std::vector<TColor>> FPixels;
};

/// The part of the rectangle (Left, Top, Left + Width, Top + Height) inside Clip, computed
/// without overflow for any int arguments; an all-zero rectangle when none is.
TRect ClipBounds(std::int64_t Left, std::int64_t Top, std::int64_t Width, std::int64_t Height,
                 const TRect& Clip);

} // namespace kestrel::headless
