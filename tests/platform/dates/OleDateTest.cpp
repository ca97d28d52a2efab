// OLE date numbers and their calendar edges.
#include "platform/dates/OleDate.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace bd::dates;

TEST(OleDate, CalendarEdgesRoundTrip) {
    const struct {
        const char* iso;
        double ole;
    } cases[] = {
        {"1899-12-30", 0},     {"1899-12-31", 1},
        {"1899-12-29", -1},    {"1900-02-28", 60}, // 1900 is no leap year
        {"1900-03-01", 61},    {"1970-01-01", 25569},
        {"2000-02-29", 36585}, // 2000 is one
        {"2000-03-01", 36586}, {"2024-02-29 12:00:00", 45351.5},
        {"2100-03-01", 73110}, {"9999-12-31", 2958465},
    };
    for (const auto& k : cases) {
        double ole = -99;
        ASSERT_TRUE(parseIsoDate(k.iso, std::strlen(k.iso), ole)) << k.iso;
        EXPECT_DOUBLE_EQ(ole, k.ole) << k.iso;
        EXPECT_EQ(oleToIso(k.ole), k.iso) << k.iso;
    }
}

TEST(OleDate, TimesRoundToTheSecondAndCarryIntoTheNextDay) {
    EXPECT_EQ(oleToIso(36585 + 86399.0 / 86400), "2000-02-29 23:59:59");
    EXPECT_EQ(oleToIso(36585 + 86399.6 / 86400), "2000-03-01"); // rounds past 23:59:59
    EXPECT_EQ(oleToIso(365 + 0.99999999), "1900-12-31");        // and past the year's end
    EXPECT_EQ(oleToIso(2 + 0.4 / 86400), "1900-01-01");         // under half a second is none
    const CivilTime t = oleToCivil(-0.75);                      // linear before day 0
    EXPECT_EQ(t.year, 1899);
    EXPECT_EQ(t.month, 12);
    EXPECT_EQ(t.day, 29);
    EXPECT_EQ(t.hour, 6);
    double ole = 0;
    ASSERT_TRUE(parseIsoDate("2024-01-31T00:00:01.5", 21, ole));
    EXPECT_EQ(oleToIso(ole), "2024-01-31 00:00:02");
}

TEST(OleDate, NoSuchDatesAreRefused) {
    double ole = 0;
    for (const char* s : {"2023-02-29", "1900-02-29", "2024-04-31", "2024-13-01", "2024-00-10", "2024-1-01",
                          "abcd-ef-gh", "2024-01-01x12:00", "2024-01-01 24:00", "2024-01-01 10:6"})
        EXPECT_FALSE(parseIsoDate(s, std::strlen(s), ole)) << s;
    EXPECT_TRUE(isLeapYear(2000));
    EXPECT_FALSE(isLeapYear(1900));
    EXPECT_EQ(daysInMonth(2024, 2), 29);
    EXPECT_EQ(daysInMonth(2023, 2), 28);
}

TEST(OleDate, OtherSystemsNumbers) {
    EXPECT_DOUBLE_EQ(oleFromUnixSeconds(0), 25569);
    EXPECT_DOUBLE_EQ(oleFromUnixSeconds(86400 * 1.5), 25570.5);
    EXPECT_DOUBLE_EQ(oleFromJulianDay(2415018.5), 0);
    EXPECT_DOUBLE_EQ(oleFromJulianDay(2440587.5), 25569); // 1970-01-01
    EXPECT_EQ(civilToOle(1970, 1, 1, 6, 0, 0), 25569.25);
}
