#include <gtest/gtest.h>

#include <string>

#include "DaylightTime.h"
#include "windows.h"

namespace {

SYSTEMTIME Rule(WORD month, WORD week, WORD weekday, WORD hour, WORD year = 0, WORD day = 0) {
    SYSTEMTIME st = {};
    st.wYear = year;
    st.wMonth = month;
    st.wDayOfWeek = weekday;
    st.wDay = year != 0 ? day : week;
    st.wHour = hour;
    return st;
}

TIME_ZONE_INFORMATION Zone(LONG bias, LONG daylightBias, SYSTEMTIME daylightDate, SYSTEMTIME standardDate,
                           LONG standardBias = 0) {
    TIME_ZONE_INFORMATION tz = {};
    tz.Bias = bias;
    tz.StandardBias = standardBias;
    tz.DaylightBias = daylightBias;
    tz.DaylightDate = daylightDate;
    tz.StandardDate = standardDate;
    return tz;
}

SYSTEMTIME Utc(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    SYSTEMTIME st = {};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    return st;
}

// Central Europe: daylight from the last Sunday of March 2:00 standard time
// to the last Sunday of October 3:00 daylight time, both 1:00 UTC.
const TIME_ZONE_INFORMATION kEurope = Zone(-60, -60, Rule(3, 5, 0, 2), Rule(10, 5, 0, 3));
// The same year written as dates (2006).
const TIME_ZONE_INFORMATION kEurope2006 =
    Zone(-60, -60, Rule(3, 0, 0, 2, 2006, 26), Rule(10, 0, 0, 3, 2006, 29));
// The same zone with its standard offset carried by StandardBias: the
// same two instants.
const TIME_ZONE_INFORMATION kEuropeShifted = Zone(-120, 0, Rule(3, 5, 0, 2), Rule(10, 5, 0, 3), 60);
// Eastern Australia, UTC+10: daylight from the first Sunday of October 2:00
// to the first Sunday of April 3:00, so it spans the new year.
const TIME_ZONE_INFORMATION kSydney = Zone(-600, -60, Rule(10, 1, 0, 2), Rule(4, 1, 0, 3));
// Daylight all year but for the end of December: ends on the last Sunday
// of December at 2:00 daylight time (1:00 UTC).
const TIME_ZONE_INFORMATION kDecember = Zone(0, -60, Rule(1, 1, 0, 2), Rule(12, 5, 0, 2));

TEST(DaylightTimeTest, TransitionsByRule) {
    const struct {
        const char *name;
        const TIME_ZONE_INFORMATION *tz;
        SYSTEMTIME utc;
        BYTE daylight;
    } cases[] = {
        {"europe january", &kEurope, Utc(2006, 1, 15, 12, 0), 0},
        {"europe before start", &kEurope, Utc(2006, 3, 26, 0, 59), 0},
        {"europe at start", &kEurope, Utc(2006, 3, 26, 1, 0), 1},
        {"europe july", &kEurope, Utc(2006, 7, 1, 12, 0), 1},
        {"europe before end", &kEurope, Utc(2006, 10, 29, 0, 59), 1},
        // Daylight time ends at 3:00 local daylight time = 1:00 UTC.
        {"europe at end", &kEurope, Utc(2006, 10, 29, 1, 0), 0},
        {"europe week before end", &kEurope, Utc(2006, 10, 22, 1, 0), 1},
        {"europe 2007 end", &kEurope, Utc(2007, 10, 28, 1, 0), 0},
        {"shifted before start", &kEuropeShifted, Utc(2006, 3, 26, 0, 59), 0},
        {"shifted at start", &kEuropeShifted, Utc(2006, 3, 26, 1, 0), 1},
        {"shifted before end", &kEuropeShifted, Utc(2006, 10, 29, 0, 59), 1},
        {"shifted at end", &kEuropeShifted, Utc(2006, 10, 29, 1, 0), 0},
        {"dated before start", &kEurope2006, Utc(2006, 3, 26, 0, 59), 0},
        {"dated at start", &kEurope2006, Utc(2006, 3, 26, 1, 0), 1},
        {"dated before end", &kEurope2006, Utc(2006, 10, 29, 0, 59), 1},
        {"dated at end", &kEurope2006, Utc(2006, 10, 29, 1, 0), 0},
        {"dated other year", &kEurope2006, Utc(2007, 7, 1, 0, 0), 0},
        {"sydney january", &kSydney, Utc(2007, 1, 15, 0, 0), 1},
        {"sydney june", &kSydney, Utc(2007, 6, 15, 0, 0), 0},
        {"sydney december", &kSydney, Utc(2006, 12, 15, 0, 0), 1},
        // 3:00 daylight time on 2007-04-01 is 16:00 UTC on 03-31.
        {"sydney before end", &kSydney, Utc(2007, 3, 31, 15, 59), 1},
        {"sydney at end", &kSydney, Utc(2007, 3, 31, 16, 0), 0},
        // 2:00 standard time on 2006-10-01 is 16:00 UTC on 09-30.
        {"sydney before start", &kSydney, Utc(2006, 9, 30, 15, 59), 0},
        {"sydney at start", &kSydney, Utc(2006, 9, 30, 16, 0), 1},
        // The last Sunday of December 2006 is the 31st, of 2005 the 25th.
        {"december before end", &kDecember, Utc(2006, 12, 31, 0, 59), 1},
        {"december at end", &kDecember, Utc(2006, 12, 31, 1, 0), 0},
        {"december 2005 after end", &kDecember, Utc(2005, 12, 26, 0, 0), 0},
        {"december 2005 before end", &kDecember, Utc(2005, 12, 25, 0, 59), 1},
    };
    for (const auto &c : cases) {
        BYTE daylight = 7;
        ASSERT_EQ(kNoError, IsDaylightTime(&c.utc, c.tz, &daylight)) << c.name;
        EXPECT_EQ(c.daylight, daylight) << c.name;
    }
}

TEST(DaylightTimeTest, NoRuleAndBadInput) {
    const TIME_ZONE_INFORMATION none = Zone(-60, -60, Rule(0, 0, 0, 0), Rule(0, 0, 0, 0));
    const SYSTEMTIME july = Utc(2006, 7, 1, 12, 0);
    BYTE daylight = 7;
    ASSERT_EQ(kNoError, IsDaylightTime(&july, &none, &daylight));
    EXPECT_EQ(0, daylight);

    const TIME_ZONE_INFORMATION badWeek = Zone(-60, -60, Rule(3, 0, 0, 2), Rule(10, 5, 0, 3));
    const TIME_ZONE_INFORMATION badHour = Zone(-60, -60, Rule(3, 5, 0, 24), Rule(10, 5, 0, 3));
    EXPECT_EQ(generalErrInvalidParameter, IsDaylightTime(&july, &badWeek, &daylight));
    EXPECT_EQ(0, daylight);
    EXPECT_NE(kNoError, IsDaylightTime(&july, &badHour, &daylight));
    const SYSTEMTIME invalid = Utc(2006, 2, 30, 0, 0);
    EXPECT_NE(kNoError, IsDaylightTime(&invalid, &kEurope, &daylight));
}

TEST(DaylightTimeTest, DateTimeRecord) {
    struct tm t = {};
    t.tm_year = 106;
    t.tm_mon = 9;  // October
    t.tm_mday = 29;
    t.tm_min = 59;
    EXPECT_EQ(1, IsDateTimeInDaylightTime(&t, &kEurope));
    t.tm_hour = 1;
    t.tm_min = 0;
    EXPECT_EQ(0, IsDateTimeInDaylightTime(&t, &kEurope));
    t.tm_mon = -1;
    EXPECT_EQ(0, IsDateTimeInDaylightTime(&t, &kEurope));
}

}  // namespace
