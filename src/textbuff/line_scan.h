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
/// last break opportunity (the entry values when there was none, or when MaxWidth is 0 or
/// NoWrapWidth: a line that cannot wrap needs none). CharCount and Width are updated on every
/// return. Widths are 64-bit, counts of one window 16-bit.
bool ScanForEol(const std::uint8_t* Buffer, std::uint16_t& Pos, std::uint16_t EndPos,
                std::int64_t MaxWidth, bool WordWrap, std::uint16_t& CharCount, std::int64_t& Width,
                const TScanMetrics& Metrics, std::int64_t& BreakWidth, std::uint16_t& BreakCount,
                bool& Overflow);

/// The same scan, byte by byte, without fast paths: the reference the fast paths are held to.
bool ScanForEolBytewise(const std::uint8_t* Buffer, std::uint16_t& Pos, std::uint16_t EndPos,
                        std::int64_t MaxWidth, bool WordWrap, std::uint16_t& CharCount,
                        std::int64_t& Width, const TScanMetrics& Metrics, std::int64_t& BreakWidth,
                        std::uint16_t& BreakCount, bool& Overflow);

/// The fast route for the commonest display line, with uniform widths (Metrics.UniformWidth > 0):
/// the line that starts at Buffer[0], scanned with word wrap at MaxWidth from width 0, when it
/// ends inside the N bytes at Buffer at LF or CR LF, or wraps there (after a space or hyphen, or
/// inside a word that has none before the cut). Returns the bytes the line takes (its line break
/// included) with Count and Width as GetNextLine gives them (a line whose first character does
/// not fit takes it, with a line break right after it); 0, changing nothing, for every other line
/// (one that runs beyond the N bytes, meets a form feed or a lone CR, or ends at spaces that pass
/// the width up to a control byte), which the general scan then takes. Looks no farther into the
/// range than the line can reach.
std::int64_t ScanUniformLine(const std::uint8_t* Buffer, std::int64_t N, std::int64_t MaxWidth,
                             const TScanMetrics& Metrics, std::int64_t& Width, std::int64_t& Count);

/// A display line as the scan gives it: the start of the line after it, its characters (line
/// break not counted) and its width.
struct TLineSpan {
    std::int64_t Next = 0;
    std::int64_t Count = 0;
    std::int64_t Width = 0;
};

/// ScanUniformLine for the lines one after the other from Buffer[0], at most MaxLines, into
/// Lines (Next relative to Buffer): each as ScanUniformLine gives it, stopping before the first
/// line it leaves to the general scan (0 taken) or that wraps, or that holds a form feed or a
/// lone CR. A line whose bytes cannot make it wider than Known (nor than MaxWidth) is not
/// measured: its Width is -1. One walk over the line ends serves them all. Returns the number
/// of lines stored.
std::int64_t ScanUniformLines(const std::uint8_t* Buffer, std::int64_t N, std::int64_t MaxWidth,
                              const TScanMetrics& Metrics, std::int64_t MaxLines,
                              std::int64_t Known, TLineSpan* Lines);

/// The largest advance one byte can take with Metrics (a character or a tab at any width), or 0
/// when a width is negative. A line of N bytes is never wider than N times this.
std::int64_t MaxAdvance(const TScanMetrics& Metrics);

/// Counts the display lines of an unwrapped range, at most MaxLines: the lines that start at
/// Buffer[0] and end at a line feed inside the N bytes at Buffer before the first form feed
/// (without wrapping nothing else ends a line there). Taken becomes the bytes they take. Uses the
/// widest block kernels the processor runs.
std::int64_t CountLineFeeds(const std::uint8_t* Buffer, std::int64_t N, std::int64_t MaxLines,
                            std::int64_t& Taken);

/// CountLineFeeds with uniform widths (Metrics.UniformWidth > 0) that also measures: Wide is
/// raised to the width of each counted line wider than Known (a line whose bytes cannot make it
/// wider is not measured).
std::int64_t CountLineFeedsWide(const std::uint8_t* Buffer, std::int64_t N,
                                const TScanMetrics& Metrics, std::int64_t MaxLines,
                                std::int64_t Known, std::int64_t& Taken, std::int64_t& Wide);

/// Where a count of display lines stops besides its range, and what it tells besides the lines.
struct TCountExtras {
    bool StopAtFormFeed = false; ///< stop before a line that begins with a form feed
    /// Raised to the width of each counted line wider than the wrap width (spaces and hyphens
    /// that pass it, a first character that does not fit); narrower lines are not measured.
    std::int64_t Wide = 0;
};

/// Counts the display lines of a range wrapped at MaxWidth (0: not wrapped) with uniform widths
/// (Metrics.UniformWidth > 0), at most MaxLines: the lines that start at Buffer[0] and end inside
/// the N bytes at Buffer, as GetNextLine gives them one by one (a line whose first character does
/// not fit takes it, with a line break right after it). Stops before the first line that ends
/// beyond the range or whose end depends on the bytes beyond it (a CR that ends the range), and
/// with a negative MaxWidth at once. Taken becomes the bytes the counted lines take. Uses the
/// widest block kernels the processor runs.
std::int64_t CountUniformLines(const std::uint8_t* Buffer, std::int64_t N, std::int64_t MaxWidth,
                               const TScanMetrics& Metrics, std::int64_t MaxLines,
                               std::int64_t& Taken, TCountExtras* Extras = nullptr);

/// Searches Buffer[Index - 1] down to Buffer[0] for LF; when found at k, Index := k + 1 and
/// True. Otherwise False and Index unchanged.
bool BackScanForEol(const std::uint8_t* Buffer, std::uint16_t& Index);

} // namespace kestrel
