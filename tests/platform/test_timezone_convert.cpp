#include <gtest/gtest.h>

#include <string>

#include "windows.h"

namespace {

TIME_ZONE_INFORMATION Zone(LONG bias, SYSTEMTIME standardDate, SYSTEMTIME daylightDate, LONG daylightBias) {
    TIME_ZONE_INFORMATION tz = {};
    tz.Bias = bias;
    tz.StandardDate = standardDate;
    tz.DaylightDate = daylightDate;
    tz.DaylightBias = daylightBias;
    return tz;
}

// Central Europe: daylight time from the last Sunday of March at 2:00 to
// the last Sunday of October at 3:00 (in 2007: 25 March, 28 October).
const TIME_ZONE_INFORMATION kEurope = Zone(-60, {0, 10, 0, 5, 3, 0, 0, 0}, {0, 3, 0, 5, 2, 0, 0, 0}, -60);
// Southern hemisphere, three hours behind UTC: daylight time from the third
// Sunday of October at 0:00 to the third Sunday of February at 0:00 of the
// next year (21 October 2007 to 17 February 2008), so the repeated hour is
// the evening before.
const TIME_ZONE_INFORMATION kSouth = Zone(180, {0, 2, 0, 3, 0, 0, 0, 0}, {0, 10, 0, 3, 0, 0, 0, 0}, -60);
// Five and a half hours ahead, no daylight time.
const TIME_ZONE_INFORMATION kNoDaylight = Zone(-330, {}, {}, 0);
// Dated transitions, 2 April and 29 October 2006 at 2:00: that year only.
const TIME_ZONE_INFORMATION kDated = Zone(300, {2006, 10, 0, 29, 2, 0, 0, 0}, {2006, 4, 0, 2, 2, 0, 0, 0}, -60);

struct DateTime {
    WORD year, month, day, hour, minute, second, ms;
};

SYSTEMTIME Sys(const DateTime &d) { return SYSTEMTIME{d.year, d.month, 0, d.day, d.hour, d.minute, d.second, d.ms}; }

void ExpectDateTime(const DateTime &expected, const SYSTEMTIME &actual) {
    EXPECT_EQ(expected.year, actual.wYear);
    EXPECT_EQ(expected.month, actual.wMonth);
    EXPECT_EQ(expected.day, actual.wDay);
    EXPECT_EQ(expected.hour, actual.wHour);
    EXPECT_EQ(expected.minute, actual.wMinute);
    EXPECT_EQ(expected.second, actual.wSecond);
    EXPECT_EQ(expected.ms, actual.wMilliseconds);
}

struct Case {
    const char *name;
    const TIME_ZONE_INFORMATION &zone;
    DateTime from;
    DateTime to;
};

std::string Trace(const Case &c) {
    return std::string(c.name) + " " + std::to_string(c.from.year) + "-" + std::to_string(c.from.month) + "-" +
           std::to_string(c.from.day) + " " + std::to_string(c.from.hour) + ":" + std::to_string(c.from.minute);
}

}  // namespace

// Universal to local on both sides of each transition: the bias is the one
// in force at the instant converted, not now.
TEST(TimeZoneConvertTest, UtcToLocalTakesTheRuleAtThatInstant) {
    const Case cases[] = {
        {"europe winter", kEurope, {2007, 1, 15, 12, 0, 0, 0}, {2007, 1, 15, 13, 0, 0, 0}},
        {"europe before spring", kEurope, {2007, 3, 25, 0, 59, 59, 999}, {2007, 3, 25, 1, 59, 59, 999}},
        {"europe spring", kEurope, {2007, 3, 25, 1, 0, 0, 0}, {2007, 3, 25, 3, 0, 0, 0}},
        {"europe before autumn", kEurope, {2007, 10, 28, 0, 59, 59, 999}, {2007, 10, 28, 2, 59, 59, 999}},
        {"europe autumn", kEurope, {2007, 10, 28, 1, 0, 0, 0}, {2007, 10, 28, 2, 0, 0, 0}},
        {"south before spring", kSouth, {2007, 10, 21, 2, 59, 59, 999}, {2007, 10, 20, 23, 59, 59, 999}},
        {"south spring", kSouth, {2007, 10, 21, 3, 0, 0, 0}, {2007, 10, 21, 1, 0, 0, 0}},
        {"south new year", kSouth, {2008, 1, 1, 0, 0, 0, 0}, {2007, 12, 31, 22, 0, 0, 0}},
        {"south before autumn", kSouth, {2008, 2, 17, 1, 59, 59, 999}, {2008, 2, 16, 23, 59, 59, 999}},
        {"south autumn", kSouth, {2008, 2, 17, 2, 0, 0, 0}, {2008, 2, 16, 23, 0, 0, 0}},
        {"south winter", kSouth, {2008, 7, 1, 12, 0, 0, 0}, {2008, 7, 1, 9, 0, 0, 0}},
        {"no daylight", kNoDaylight, {2007, 6, 30, 20, 0, 0, 0}, {2007, 7, 1, 1, 30, 0, 0}},
        {"dated in its year", kDated, {2006, 7, 1, 12, 0, 0, 0}, {2006, 7, 1, 8, 0, 0, 0}},
        {"dated next year", kDated, {2007, 7, 1, 12, 0, 0, 0}, {2007, 7, 1, 7, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(Trace(c));
        SYSTEMTIME local = {};
        ASSERT_TRUE(vplat::UtcToZoneLocal(c.zone, Sys(c.from), &local));
        ExpectDateTime(c.to, local);
    }
}

// Local to universal: the hour the spring transition skips and the hour the
// autumn transition repeats both read as standard time.
TEST(TimeZoneConvertTest, LocalToUtcReadsTheGapAndTheOverlapAsStandardTime) {
    const Case cases[] = {
        {"europe before gap", kEurope, {2007, 3, 25, 1, 59, 0, 0}, {2007, 3, 25, 0, 59, 0, 0}},
        {"europe gap", kEurope, {2007, 3, 25, 2, 30, 0, 0}, {2007, 3, 25, 1, 30, 0, 0}},
        {"europe after gap", kEurope, {2007, 3, 25, 3, 0, 0, 0}, {2007, 3, 25, 1, 0, 0, 0}},
        {"europe before overlap", kEurope, {2007, 10, 28, 1, 59, 0, 0}, {2007, 10, 27, 23, 59, 0, 0}},
        {"europe overlap", kEurope, {2007, 10, 28, 2, 30, 0, 0}, {2007, 10, 28, 1, 30, 0, 0}},
        {"europe after overlap", kEurope, {2007, 10, 28, 3, 0, 0, 0}, {2007, 10, 28, 2, 0, 0, 0}},
        {"south before gap", kSouth, {2007, 10, 20, 23, 59, 0, 0}, {2007, 10, 21, 2, 59, 0, 0}},
        {"south gap", kSouth, {2007, 10, 21, 0, 30, 0, 0}, {2007, 10, 21, 3, 30, 0, 0}},
        {"south after gap", kSouth, {2007, 10, 21, 1, 0, 0, 0}, {2007, 10, 21, 3, 0, 0, 0}},
        {"south new year", kSouth, {2008, 1, 1, 0, 0, 0, 0}, {2008, 1, 1, 2, 0, 0, 0}},
        {"south before overlap", kSouth, {2008, 2, 16, 22, 59, 0, 0}, {2008, 2, 17, 0, 59, 0, 0}},
        {"south overlap", kSouth, {2008, 2, 16, 23, 30, 0, 0}, {2008, 2, 17, 2, 30, 0, 0}},
        {"south after overlap", kSouth, {2008, 2, 17, 0, 0, 0, 0}, {2008, 2, 17, 3, 0, 0, 0}},
        {"no daylight", kNoDaylight, {2007, 7, 1, 1, 30, 0, 0}, {2007, 6, 30, 20, 0, 0, 0}},
        {"dated in its year", kDated, {2006, 7, 1, 8, 0, 0, 0}, {2006, 7, 1, 12, 0, 0, 0}},
        {"dated next year", kDated, {2007, 7, 1, 7, 0, 0, 0}, {2007, 7, 1, 12, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(Trace(c));
        SYSTEMTIME utc = {};
        ASSERT_TRUE(vplat::ZoneLocalToUtc(c.zone, Sys(c.from), &utc));
        ExpectDateTime(c.to, utc);
    }
}

// FILETIMEs convert alike, to the 100-ns unit, and a result outside the
// FILETIME range or a date that is no date fails.
TEST(TimeZoneConvertTest, FileTimesConvertAndBadInputFails) {
    SYSTEMTIME summer = Sys({2007, 7, 1, 12, 0, 0, 0});
    FILETIME utc;
    ASSERT_TRUE(SystemTimeToFileTime(&summer, &utc));
    utc.dwLowDateTime += 7;  // below a millisecond
    FILETIME local, back;
    ASSERT_TRUE(vplat::UtcToZoneLocal(kEurope, utc, &local));
    const uint64_t utcTicks = uint64_t(utc.dwHighDateTime) << 32 | utc.dwLowDateTime;
    EXPECT_EQ(utcTicks + 2 * 36000000000ull, uint64_t(local.dwHighDateTime) << 32 | local.dwLowDateTime);
    ASSERT_TRUE(vplat::ZoneLocalToUtc(kEurope, local, &back));
    EXPECT_EQ(0, CompareFileTime(&utc, &back));

    const FILETIME first = {0, 0};
    SetLastError(0);
    EXPECT_FALSE(vplat::UtcToZoneLocal(kSouth, first, &local));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_TRUE(vplat::ZoneLocalToUtc(kSouth, first, &back));

    const SYSTEMTIME noDate = Sys({2007, 2, 30, 12, 0, 0, 0});
    SYSTEMTIME out;
    SetLastError(0);
    EXPECT_FALSE(vplat::ZoneLocalToUtc(kEurope, noDate, &out));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(vplat::UtcToZoneLocal(kEurope, summer, static_cast<SYSTEMTIME *>(nullptr)));
}
