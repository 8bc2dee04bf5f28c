// What the user's locale says of text: ANSI case mapping and date formatting.
#include "host/locale_text.h"

#include "host/exceptions.h"

#include <array>
#include <cmath>
#include <ctime>

namespace kestrel {

namespace {

// Windows-1252: a-z, the accented letters 224-254 but 247 (the division sign), and the four
// letters of the 128-159 block (s and z with caron, the oe ligature, y with diaeresis).
struct TCaseTables {
    std::array<std::uint8_t, 256> Upper{};
    std::array<std::uint8_t, 256> Lower{};
    TCaseTables() {
        for (int C = 0; C < 256; ++C) {
            Upper[static_cast<std::size_t>(C)] = static_cast<std::uint8_t>(C);
            Lower[static_cast<std::size_t>(C)] = static_cast<std::uint8_t>(C);
        }
        const auto Pair = [this](int Small, int Capital) {
            Upper[static_cast<std::size_t>(Small)] = static_cast<std::uint8_t>(Capital);
            Lower[static_cast<std::size_t>(Capital)] = static_cast<std::uint8_t>(Small);
        };
        for (int C = 'a'; C <= 'z'; ++C)
            Pair(C, C - 32);
        for (int C = 224; C <= 254; ++C)
            if (C != 247)
                Pair(C, C - 32);
        Pair(0x9A, 0x8A);
        Pair(0x9C, 0x8C);
        Pair(0x9E, 0x8E);
        Pair(0xFF, 0x9F);
    }
};

const TCaseTables& CaseTables() {
    static const TCaseTables Tables;
    return Tables;
}

// TDateTime day 25569 is 1 January 1970.
constexpr double UnixEpochDay = 25569.0;
constexpr double SecondsPerDay = 86400.0;

} // namespace

std::uint8_t AnsiUpperCase(std::uint8_t Ch) {
    return CaseTables().Upper[Ch];
}

std::uint8_t AnsiLowerCase(std::uint8_t Ch) {
    return CaseTables().Lower[Ch];
}

TDateTime EncodeDateTime(int Year, int Month, int Day, int Hour, int Minute, int Second) {
    // Days from the civil date (proleptic Gregorian), counted from 1970-01-01.
    const int Y = Year - (Month <= 2 ? 1 : 0);
    const int Era = (Y >= 0 ? Y : Y - 399) / 400;
    const int YearOfEra = Y - Era * 400;
    const int DayOfYear = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
    const int DayOfEra = YearOfEra * 365 + YearOfEra / 4 - YearOfEra / 100 + DayOfYear;
    const double Days = static_cast<double>(Era) * 146097.0 + DayOfEra - 719468.0;
    return UnixEpochDay + Days + (Hour * 3600.0 + Minute * 60.0 + Second) / SecondsPerDay;
}

TDateTime Now() {
    const std::time_t T = std::time(nullptr);
    std::tm Local{};
    localtime_r(&T, &Local);
    return EncodeDateTime(Local.tm_year + 1900, Local.tm_mon + 1, Local.tm_mday, Local.tm_hour,
                          Local.tm_min, Local.tm_sec);
}

std::string FormatDateTime(const std::string& Format, TDateTime DT) {
    if (Format != "c")
        throw EConvertError("Unsupported date and time format '" + Format + "'");
    if (!std::isfinite(DT) || std::fabs(DT) > 3.0e6) // about 8000 years either way
        throw EConvertError("Invalid date and time");
    // Whole seconds, rounded; the fields are read back as UTC, which leaves the wall clock as it
    // was given.
    const double Seconds = std::round((DT - UnixEpochDay) * SecondsPerDay);
    const auto T = static_cast<std::time_t>(Seconds);
    std::tm Fields{};
    gmtime_r(&T, &Fields);
    char Text[128];
    const bool Midnight = Fields.tm_hour == 0 && Fields.tm_min == 0 && Fields.tm_sec == 0;
    const std::size_t N = std::strftime(Text, sizeof Text, Midnight ? "%x" : "%x %X", &Fields);
    return std::string(Text, N);
}

} // namespace kestrel
