#include "platform/dates/OleDate.h"

#include <cmath>
#include <cstdio>

namespace bd::dates {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
// 1970-01-01 is OLE day 25569; the OLE epoch is Julian day 2415018.5.
constexpr int64_t kUnixEpochOleDay = 25569;
constexpr double kOleEpochJulianDay = 2415018.5;
// Days beyond this (some billions of years) are no date: a whole day count past it no longer fits
// the 64-bit arithmetic below.
constexpr double kMaxOleDays = 1e15;

// Days from 1970-01-01 and back (H. Hinnant's algorithms).
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, CivilTime& out) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    out.day = int(doy - (153 * mp + 2) / 5 + 1);
    out.month = int(mp < 10 ? mp + 3 : mp - 9);
    out.year = yoe + era * 400 + (out.month <= 2);
}

bool digits(const char* s, int n, int& v) {
    v = 0;
    for (int i = 0; i < n; ++i) {
        const unsigned d = unsigned(s[i]) - '0';
        if (d > 9) return false;
        v = v * 10 + int(d);
    }
    return true;
}

} // namespace

bool isLeapYear(int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int64_t year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return days[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0);
}

CivilTime oleToCivil(double ole) {
    CivilTime out;
    if (!(std::fabs(ole) <= kMaxOleDays)) return out; // also NaN and the infinities
    const double whole = std::floor(ole);
    int64_t day = int64_t(whole);
    int64_t secs = std::llround((ole - whole) * double(kSecondsPerDay));
    if (secs >= kSecondsPerDay) { // 23:59:59.6 and later round into the next day
        secs -= kSecondsPerDay;
        ++day;
    }
    civilFromDays(day - kUnixEpochOleDay, out);
    out.hour = int(secs / 3600);
    out.minute = int(secs / 60 % 60);
    out.second = int(secs % 60);
    return out;
}

double civilToOle(int64_t year, int month, int day, int hour, int minute, double second) {
    return double(daysFromCivil(year, month, day) + kUnixEpochOleDay) +
           (hour * 3600.0 + minute * 60.0 + second) / double(kSecondsPerDay);
}

std::string oleToIso(double ole) {
    const CivilTime t = oleToCivil(ole);
    char buf[96];
    if (t.hour == 0 && t.minute == 0 && t.second == 0)
        std::snprintf(buf, sizeof buf, "%04lld-%02d-%02d", (long long)t.year, t.month, t.day);
    else
        std::snprintf(buf, sizeof buf, "%04lld-%02d-%02d %02d:%02d:%02d", (long long)t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
    return buf;
}

bool parseIsoDate(const char* s, size_t n, double& ole) {
    int y, mo, d;
    if (n < 10 || s[4] != '-' || s[7] != '-') return false;
    if (!digits(s, 4, y) || !digits(s + 5, 2, mo) || !digits(s + 8, 2, d)) return false;
    if (mo < 1 || mo > 12 || d < 1 || d > daysInMonth(y, mo)) return false;
    int h = 0, mi = 0, sec = 0;
    double fs = 0;
    if (n > 10) {
        if ((s[10] != ' ' && s[10] != 'T') || n < 16 || s[13] != ':') return false;
        if (!digits(s + 11, 2, h) || !digits(s + 14, 2, mi)) return false;
        if (n >= 19) {
            if (s[16] != ':' || !digits(s + 17, 2, sec)) return false;
            if (n > 20 && s[19] == '.') {
                double scale = 0.1;
                for (size_t i = 20; i < n && s[i] >= '0' && s[i] <= '9'; ++i, scale /= 10)
                    fs += (s[i] - '0') * scale;
            }
        }
        if (h > 23 || mi > 59 || sec > 60) return false;
    }
    ole = civilToOle(y, mo, d, h, mi, sec + fs);
    return true;
}

double oleFromUnixSeconds(double seconds) {
    return seconds / double(kSecondsPerDay) + double(kUnixEpochOleDay);
}

double oleFromJulianDay(double julianDay) {
    return julianDay - kOleEpochJulianDay;
}

} // namespace bd::dates
