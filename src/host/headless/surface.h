// TSurface: the headless platform's pixel surface, and its PNG and PPM writers.
#pragma once

#include "host/graphics_types.h"

#include <string>
#include <vector>

namespace kestrel::headless {

/// A rectangle of pixels holding colours as RGB values (0x00BBGGRR). Writes outside it are
/// dropped, reads outside it answer clWhite.
class TSurface {
public:
    TSurface(int Width, int Height, TColor Fill = clWhite);

    int GetWidth() const { return FWidth; }
    int GetHeight() const { return FHeight; }
    TRect GetBounds() const { return Rect(0, 0, FWidth, FHeight); }

    TColor GetPixel(int X, int Y) const;
    void SetPixel(int X, int Y, TColor Color);
    void InvertPixel(int X, int Y);
    /// Fills the part of R inside the surface.
    void Fill(const TRect& R, TColor Color);
    void Invert(const TRect& R);
    /// Number of pixels of R (clipped to the surface) that have Color.
    int CountPixels(const TRect& R, TColor Color) const;

    /// The image as a PNG file's bytes (RGB, 8 bits per channel, stored deflate blocks).
    std::string ToPNG() const;
    /// The image as a binary PPM (P6) file's bytes.
    std::string ToPPM() const;
    /// Writes ToPNG or ToPPM to a file; raises EFCreateError when it cannot.
    void SaveToPNG(const std::string& FileName) const;
    void SaveToPPM(const std::string& FileName) const;

private:
    int FWidth;  // >= 0
    int FHeight; // >= 0
    std::vector<TColor> FPixels; // row by row, FWidth * FHeight
};

} // namespace kestrel::headless
