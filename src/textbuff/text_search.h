// Search of a pattern in one block of bytes: the raw scan and the whole-word test.
#pragma once

#include "host/find_options.h"

#include <cstdint>
#include <string>

namespace kestrel {

/// Longest search pattern.
constexpr std::size_t MaxSearchLength = 256;

/// Finds S in Buffer[0 .. EndPos]. Forwards the candidate starts run from Pos up to
/// EndPos - length + 1; Backward, Pos is the last byte of the match and the starts run from
/// Pos - length + 1 down to 0. IgnoreCase folds the ASCII letters only. The first full match in
/// scanning order wins and Pos becomes its first byte; an empty pattern is never found. On
/// failure Pos is unchanged. The scan looks for the pattern's rarest byte and compares the
/// whole pattern at each hit.
bool ScanForString(const std::uint8_t* Buffer, std::uint16_t& Pos, std::uint16_t EndPos,
                   const std::string& S, bool IgnoreCase, bool Backward);

/// ScanForString in the direction of frDown, with case unless frMatchCase, and with
/// frWholeWord only matches whose neighbours are not word characters. Before is the byte
/// before Buffer[0] and After the byte after Buffer[EndPos], each -1 at the text's edge (no
/// test there).
bool SearchBlock(const std::uint8_t* Buffer, std::uint16_t& Pos, std::uint16_t EndPos,
                 const std::string& S, TFindOptions Options, int Before, int After);

} // namespace kestrel
