// The headless platform's deterministic font model: metrics and per-byte advance widths.
#pragma once

#include "host/graphics_types.h"

#include <array>

namespace kestrel::headless {

/// Metrics of a font on the headless platform, a pure function of its description:
/// - the em (character height) is -Height; a positive Height is the cell height instead;
/// - the cell is the em plus an internal leading of max(1, (em + 3) / 6); the descent is
///   max(1, (cell + 2) / 5); the external leading em / 8;
/// - the monospaced model (the default, and any fixed-pitch font) gives every byte the advance
///   max(1, (3 * em + 2) / 5);
/// - the proportional model (variable pitch, or the names "MS Sans Serif", "Arial", "Tahoma",
///   "Times New Roman", "Verdana", "Segoe UI", "Helvetica", "Proportional") takes each byte's
///   advance from a table in twentieths of the em, rounded; byte 0 has width 0;
/// - bold adds max(1, em / 16) to every non-zero advance; italic has an overhang of
///   max(1, em / 6), which only the legacy width query adds;
/// - the average width is that of "x", the maximum the largest advance.
struct TFontModel {
    bool Proportional = false;
    int Em = 0;
    TTextMetric Metrics;
    std::array<int, 256> Widths{};

    static TFontModel FromDesc(const TFontDesc& Desc);
};

/// Whether the headless platform lays out the named font proportionally.
bool IsProportionalName(const TFontDesc& Desc);

} // namespace kestrel::headless
