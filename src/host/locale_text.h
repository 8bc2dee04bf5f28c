// What the user's locale says of text: the case of ANSI bytes, and dates and times as text.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

/// The upper-case form of an ANSI (Windows-1252) byte; bytes without one are returned as they
/// are.
std::uint8_t AnsiUpperCase(std::uint8_t Ch);
/// The lower-case form of an ANSI (Windows-1252) byte; bytes without one are returned as they
/// are.
std::uint8_t AnsiLowerCase(std::uint8_t Ch);

/// A point in time in local wall-clock terms: days since 30 December 1899, the fraction being the
/// time of day.
using TDateTime = double;

/// The present local date and time.
TDateTime Now();
/// The calendar date and time of day (local) as a TDateTime.
TDateTime EncodeDateTime(int Year, int Month, int Day, int Hour, int Minute, int Second);

/// DT as text. Format "c" (the only one understood; any other format raises EConvertError): the
/// locale's short date, then a space and its long time, the time left out when DT falls exactly
/// on midnight. The locale is the C library's present one (LC_TIME).
std::string FormatDateTime(const std::string& Format, TDateTime DT);

} // namespace kestrel
