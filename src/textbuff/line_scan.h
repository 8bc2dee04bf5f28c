// The line scanner: one window of bytes measured into a display line, and the backward search
// for a line start.
#pragma once

#include <cstdint>

namespace kestrel {

/// Number of tab stops a lines buffer keeps.
constexpr int MaxTabStops = 16;

/// The wrap width that never wraps: lines of any length fit.
constexpr std::int64_t NoWrapWidth = INT64_MAX;

/// What the scanner reads of one device's metrics.
struct TScanMetrics {
    const std::int64_t* CharWidths = nullptr; ///< advance of each of the 256 byte values
    /// The advance every byte has when all 256 are equal (and positive), else 0: enables the
    /// fast path, which gives the same results as the byte-by-byte scan.
    std::int64_t UniformWidth = 0;
    std::int64_t DefaultTabWidth = 1;           ///< spacing of tabs past the last stop; >= 1 used
    std::int64_t TabCount = 0;                  ///< 0 .. MaxTabStops
    const std::int64_t* TabPositions = nullptr; ///< TabCount ascending pixel offsets
};

/// UniformWidth of a width table: the common width when all 256 are equal and positive, else 0.
std::int64_t UniformWidthOf(const std::int64_t* CharWidths);

/// Scans Buffer[Pos .. EndPos] as part of a display line whose first CharCount characters and
/// Width pixels came before. A line ends at LF or CR LF (not counted), before a form feed, or
/// after a form feed that starts it; a tab advances to the next stop past the current width,
/// beyond the last stop to the next multiple of the default tab width; when MaxWidth is not 0
/// a byte that takes the width beyond it ends the line before it; with WordWrap the line ends
/// after the last space or hyphen instead (spaces and hyphens themselves may pass MaxWidth),
/// or, when there was none (and nothing before the scan), before the byte with Overflow set.
/// Returns True when the line ended in the range: Pos is the start of the next line. On
/// False the range was exhausted: Pos = EndPos + 1 and BreakWidth and BreakCount tell the
/// last break opportunity (the entry values when there was none). CharCount and Width are
/// updated on every return. Widths are 64-bit, counts of one window 16-bit.
bool ScanForEol(const std::uint8_t* Buffer, std::uint16_t& Pos, std::uint16_t EndPos,
                std::int64_t MaxWidth, bool WordWrap, std::uint16_t& CharCount, std::int64_t& Width,
                const TScanMetrics& Metrics, std::int64_t& BreakWidth, std::uint16_t& BreakCount,
                bool& Overflow);

/// The same scan, byte by byte, without fast paths: the reference the fast paths are held to.
bool ScanForEolBytewise(const std::uint8_t* Buffer, std::uint16_t& Pos, std::uint16_t EndPos,
                        std::int64_t MaxWidth, bool WordWrap, std::uint16_t& CharCount,
                        std::int64_t& Width, const TScanMetrics& Metrics, std::int64_t& BreakWidth,
                        std::uint16_t& BreakCount, bool& Overflow);

/// Searches Buffer[Index - 1] down to Buffer[0] for LF; when found at k, Index := k + 1 and
/// True. Otherwise False and Index unchanged.
bool BackScanForEol(const std::uint8_t* Buffer, std::uint16_t& Index);

} // namespace kestrel
