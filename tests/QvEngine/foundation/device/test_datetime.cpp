#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/DateRecord.h"
#include "DateTimeArith.h"
#include "DateTimeConvert.h"
#include "DateTimeText.h"
#include "support/TestDevice.h"
#include "windows.h"

namespace {

SYSTEMTIME System(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0, WORD ms = 0) {
    SYSTEMTIME st = {};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = second;
    st.wMilliseconds = ms;
    return st;
}

std::string Text(const struct tm &t) {
    char text[96];
    snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d w%d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
             t.tm_hour, t.tm_min, t.tm_sec, t.tm_wday);
    return text;
}

std::string Text(const SYSTEMTIME &st) {
    char text[96];
    snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d w%d", st.wYear, st.wMonth, st.wDay, st.wHour,
             st.wMinute, st.wSecond, st.wMilliseconds, st.wDayOfWeek);
    return text;
}

// Records go to FILETIME and back with the weekday filled in; records the
// platform cannot hold are refused with its error.
TEST(DateTimeTest, RecordAndFileTime) {
    const struct {
        struct tm in;
        const char *out;
    } good[] = {
        {DateRecord(2006, 12, 5, 14, 7, 9), "2006-12-05 14:07:09 w2"},
        {DateRecord(2000, 2, 29, 23, 59, 59), "2000-02-29 23:59:59 w2"},
        {DateRecord(1601, 1, 1), "1601-01-01 00:00:00 w1"},
    };
    for (const auto &c : good) {
        FILETIME ft = {};
        ASSERT_EQ(kNoError, DateTimeToFileTime(&c.in, &ft)) << c.out;
        struct tm back;
        memset(&back, 0x5A, sizeof back);
        ASSERT_EQ(kNoError, FileTimeToDateTime(&ft, &back));
        EXPECT_EQ(c.out, Text(back));
        EXPECT_EQ(0, back.tm_yday);
        EXPECT_EQ(0, back.tm_isdst);
    }
    // 1601-01-01 is FILETIME 0.
    FILETIME zero = {};
    struct tm epoch = DateRecord(1601, 1, 1);
    ASSERT_EQ(kNoError, DateTimeToFileTime(&epoch, &zero));
    EXPECT_EQ(0u, zero.dwLowDateTime | zero.dwHighDateTime);

    const struct tm bad[] = {
        DateRecord(2006, 13, 1), DateRecord(2006, 0, 1),       DateRecord(2006, 2, 29),
        DateRecord(1600, 12, 31), DateRecord(2006, 1, 1, 24), DateRecord(2006, 1, 65536 + 1),
    };
    for (const struct tm &t : bad) {
        FILETIME ft = {};
        EXPECT_EQ(DErrorCode(ERROR_INVALID_PARAMETER), DateTimeToFileTime(&t, &ft)) << Text(t);
    }
    const FILETIME beyond = {0xFFFFFFFFu, 0xFFFFFFFFu};
    struct tm out;
    EXPECT_NE(kNoError, FileTimeToDateTime(&beyond, &out));
}

TEST(DateTimeTest, MakeAndCompareSystemTimes) {
    SYSTEMTIME st;
    ASSERT_EQ(kNoError, MakeSystemTime(&st, 2006, 12, 5, 14, 7, 9, 250));
    EXPECT_EQ("2006-12-05 14:07:09.250 w2", Text(st));
    EXPECT_EQ(DErrorCode(ERROR_INVALID_PARAMETER), MakeSystemTime(&st, 2006, 2, 30, 0, 0, 0, 0));
    EXPECT_EQ(DErrorCode(ERROR_INVALID_PARAMETER), MakeSystemTime(&st, 2006, 1, 1, 0, 0, 0, 1000));

    const SYSTEMTIME a = System(2006, 12, 5, 14, 7, 9, 1);
    const SYSTEMTIME b = System(2006, 12, 5, 14, 7, 9, 2);
    const SYSTEMTIME invalid = System(2006, 13, 1);
    EXPECT_EQ(-1, CompareSystemTimes(&a, &b));
    EXPECT_EQ(1, CompareSystemTimes(&b, &a));
    EXPECT_EQ(0, CompareSystemTimes(&a, &a));
    EXPECT_EQ(0, CompareSystemTimes(&a, &invalid));
}

// Adding minutes and days across day, month, year and leap-day ends, and
// backwards.
TEST(DateTimeTest, AddMinutesAndDays) {
    const struct {
        SYSTEMTIME from;
        int32_t minutes;
        int32_t days;
        const char *to;
    } cases[] = {
        {System(2006, 12, 31, 23, 30, 0, 5), 45, 0, "2007-01-01 00:15:00.005 w1"},
        {System(2007, 1, 1, 0, 15), -45, 0, "2006-12-31 23:30:00.000 w0"},
        {System(2004, 2, 28, 12), 1440, 0, "2004-02-29 12:00:00.000 w0"},
        {System(2005, 2, 28, 12), 0, 1, "2005-03-01 12:00:00.000 w2"},
        {System(2006, 1, 31), 0, 30, "2006-03-02 00:00:00.000 w4"},
        {System(2006, 3, 1), 0, -366, "2005-02-28 00:00:00.000 w1"},
    };
    for (const auto &c : cases) {
        SYSTEMTIME st = c.from;
        ASSERT_EQ(kNoError, c.days != 0 ? SystemTimeAddDays(&st, c.days) : SystemTimeAddMinutes(&st, c.minutes))
            << c.to;
        EXPECT_EQ(c.to, Text(st));
    }

    struct tm t = DateRecord(2006, 12, 31, 23, 59);
    ASSERT_EQ(kNoError, DateTimeAddMinutes(&t, 2));
    EXPECT_EQ("2007-01-01 00:01:00 w1", Text(t));

    FILETIME ft = {};
    ASSERT_EQ(kNoError, FileTimeAddMinutes(&ft, 2));
    EXPECT_EQ(1200000000u, ft.dwLowDateTime);
    ASSERT_EQ(kNoError, FileTimeAddMinutes(&ft, -1));
    EXPECT_EQ(600000000u, ft.dwLowDateTime);

    // Out of range: an error, and the value stays.
    ASSERT_NE(kNoError, FileTimeAddMinutes(&ft, -2));
    EXPECT_EQ(600000000u, ft.dwLowDateTime);
    SYSTEMTIME early = System(1601, 1, 1);
    EXPECT_NE(kNoError, SystemTimeAddMinutes(&early, -1));
    EXPECT_EQ("1601-01-01 00:00:00.000 w0", Text(early));
    SYSTEMTIME late = System(30827, 12, 31);
    EXPECT_NE(kNoError, SystemTimeAddDays(&late, 0x7FFFFFFF));
    EXPECT_EQ(30827, late.wYear);
}

TEST(DateTimeTest, Differences) {
    const struct {
        struct tm from, to;
        DErrorCode result;
        int32_t seconds, days;
    } cases[] = {
        {DateRecord(2006, 12, 31, 23), DateRecord(2007, 1, 2, 1, 0, 30), kNoError, 93630, 1},
        {DateRecord(2007, 1, 2, 1, 0, 30), DateRecord(2006, 12, 31, 23), kNoError, -93630, -1},
        {DateRecord(2004, 2, 28), DateRecord(2004, 3, 1), kNoError, 172800, 2},
        {DateRecord(1970, 1, 1), DateRecord(2038, 1, 19, 3, 14, 7), kNoError, 0x7FFFFFFF, 24855},
        {DateRecord(1970, 1, 1), DateRecord(2038, 1, 19, 3, 14, 8), generalErrBufferTooSmall, 0, 0},
        {DateRecord(2006, 13, 1), DateRecord(2007, 1, 1), DErrorCode(ERROR_INVALID_PARAMETER), 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(Text(c.from) + " .. " + Text(c.to));
        int32_t seconds = 0, days = 0;
        EXPECT_EQ(c.result, DateTimeDiffSeconds(&c.from, &c.to, &seconds));
        EXPECT_EQ(c.result, DateTimeDiffDays(&c.from, &c.to, &days));
        if (c.result != kNoError) continue;
        EXPECT_EQ(c.seconds, seconds);
        EXPECT_EQ(c.days, days);
    }
}

TEST(DateTimeTest, FormatDateTime) {
    const struct {
        struct tm t;
        const char *text;
    } cases[] = {
        {DateRecord(2006, 12, 5, 14, 7, 9), "12/05/06 02:07:09 PM"},
        {DateRecord(2010, 1, 2, 0, 0, 0), "01/02/10 12:00:00 AM"},
        {DateRecord(1999, 7, 31, 12, 30, 59), "07/31/99 12:30:59 PM"},
        {DateRecord(2000, 3, 1, 11, 59, 59), "03/01/00 11:59:59 AM"},
    };
    for (const auto &c : cases) {
        VString out;
        ASSERT_EQ(kNoError, FormatDateTime(c.t, &out));
        EXPECT_STREQ(c.text, out.GetNarrowText());
        EXPECT_EQ(kVStringWindows1252, out.GetEncoding());
    }
}

class LocalDateTimeTest : public DeviceTest {
protected:
    void TearDown() override {
        vplat::ClockUseReal();
        DeviceTest::TearDown();
    }
};

// The current time comes from the device's clock and time zone.
TEST_F(LocalDateTimeTest, CurrentTimeFollowsTheDevice) {
    TIME_ZONE_INFORMATION tz = {};
    tz.Bias = -60;  // an hour ahead of universal time, no daylight time
    ASSERT_TRUE(SetTimeZoneInformation(&tz));
    vplat::ClockUseVirtual(0, 1165324029000);  // 2006-12-05 13:07:09 UTC

    struct tm t;
    ASSERT_EQ(kNoError, GetUniversalDateTime(&t));
    EXPECT_EQ("2006-12-05 13:07:09 w2", Text(t));
    ASSERT_EQ(kNoError, GetLocalDateTime(&t));
    EXPECT_EQ("2006-12-05 14:07:09 w2", Text(t));
    VString text;
    ASSERT_EQ(kNoError, FormatCurrentLocalTime(&text));
    EXPECT_STREQ("12/05/06 02:07:09 PM", text.GetNarrowText());
}

}  // namespace
