// The OEM conversion: code page 437 bytes to Windows-1252 bytes.
#pragma once

#include <cstdint>

namespace kestrel {

/// The Windows-1252 byte for a code page 437 byte: the same character where 1252 has it, else
/// the nearest look-alike (box drawing to + - |, shading to #, Greek letters to Latin ones).
std::uint8_t OemToAnsiChar(std::uint8_t Ch);

/// Converts Count bytes from Source into Dest (which may be Source itself).
void OemToCharBuffA(const void* Source, void* Dest, std::int64_t Count);

} // namespace kestrel
