#pragma once
// OLE date numbers: days since 1899-12-30, the time of day as the fraction. The data layer and the
// pivot engine keep every date in this form. The count is linear (days + fraction also before 1899),
// and a time is rounded to the nearest second. Plain C++, no Qt: the pivot engine uses it too.
#include <cstddef>
#include <cstdint>
#include <string>

namespace bd::dates {

// Day 0.
constexpr int kOleEpochYear = 1899;
constexpr int kOleEpochMonth = 12;
constexpr int kOleEpochDay = 30;

struct CivilTime {
    int64_t year = kOleEpochYear;
    int month = kOleEpochMonth, day = kOleEpochDay;
    int hour = 0, minute = 0, second = 0;
};

// Proleptic Gregorian calendar.
bool isLeapYear(int64_t year);
int daysInMonth(int64_t year, int month);

// The date and time of an OLE number; a time that rounds to 24:00:00 is midnight of the next day.
CivilTime oleToCivil(double ole);
// The OLE number of a date and a time of day (seconds may carry a fraction).
double civilToOle(int64_t year, int month, int day, int hour = 0, int minute = 0, double second = 0);

// "YYYY-MM-DD", or "YYYY-MM-DD HH:MM:SS" when the time of day is not midnight.
std::string oleToIso(double ole);
// Parses "YYYY-MM-DD[ HH:MM[:SS[.fff]]]" (also with "T"); false when the text is no such date.
bool parseIsoDate(const char* s, size_t n, double& ole);

// Numbers other systems store dates as.
double oleFromUnixSeconds(double seconds);
double oleFromJulianDay(double julianDay);

} // namespace bd::dates
