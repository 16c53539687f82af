#include <gtest/gtest.h>

#include "windows.h"

namespace {

uint64_t Ticks(const FILETIME &ft) { return uint64_t(ft.dwHighDateTime) << 32 | ft.dwLowDateTime; }

FILETIME FromTicks(uint64_t ticks) { return FILETIME{DWORD(ticks), DWORD(ticks >> 32)}; }

void ExpectSameDate(const SYSTEMTIME &expected, const SYSTEMTIME &actual) {
    EXPECT_EQ(expected.wYear, actual.wYear);
    EXPECT_EQ(expected.wMonth, actual.wMonth);
    EXPECT_EQ(expected.wDayOfWeek, actual.wDayOfWeek);
    EXPECT_EQ(expected.wDay, actual.wDay);
    EXPECT_EQ(expected.wHour, actual.wHour);
    EXPECT_EQ(expected.wMinute, actual.wMinute);
    EXPECT_EQ(expected.wSecond, actual.wSecond);
    EXPECT_EQ(expected.wMilliseconds, actual.wMilliseconds);
}

}  // namespace

// Dates convert to 100-ns counts since 1601 and back, the day of the week
// being ignored on the way in and filled on the way out.
TEST(FileTimeTest, DatesConvertBothWays) {
    const struct {
        SYSTEMTIME date;  // year, month, day of week, day, hour, minute, second, ms
        uint64_t ticks;
    } cases[] = {
        {{1601, 1, 1, 1, 0, 0, 0, 0}, 0},
        {{1970, 1, 4, 1, 0, 0, 0, 0}, 116444736000000000},
        {{2000, 2, 2, 29, 12, 34, 56, 789}, 125963012967890000},
        {{9999, 12, 5, 31, 23, 59, 59, 999}, 2650467743999990000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.ticks);
        SYSTEMTIME in = c.date;
        in.wDayOfWeek = 6;  // wrong on purpose
        FILETIME ft = {};
        ASSERT_TRUE(SystemTimeToFileTime(&in, &ft));
        EXPECT_EQ(c.ticks, Ticks(ft));
        SYSTEMTIME out = {};
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &out));
        ExpectSameDate(c.date, out);
    }

    // The sub-millisecond part of a count is dropped; the last count there is
    // reads as a date in 30828.
    SYSTEMTIME out = {};
    FILETIME ft = FromTicks(125963012967899999);
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &out));
    ExpectSameDate(SYSTEMTIME{2000, 2, 2, 29, 12, 34, 56, 789}, out);
    ft = FromTicks(0x7FFFFFFFFFFFFFFF);
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &out));
    ExpectSameDate(SYSTEMTIME{30828, 9, 4, 14, 2, 48, 5, 477}, out);
    ft = FromTicks(0x8000000000000000);
    SetLastError(0);
    EXPECT_FALSE(FileTimeToSystemTime(&ft, &out));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(FileTimeTest, OutOfRangeDatesAreRefused) {
    const struct {
        const char *what;
        SYSTEMTIME date;
    } cases[] = {
        {"year before 1601", {1600, 12, 0, 31, 23, 59, 59, 999}},
        {"year after 30827", {30828, 1, 0, 1, 0, 0, 0, 0}},
        {"month 0", {2006, 0, 0, 1, 0, 0, 0, 0}},
        {"month 13", {2006, 13, 0, 1, 0, 0, 0, 0}},
        {"day 0", {2006, 1, 0, 0, 0, 0, 0, 0}},
        {"29 February of a century", {1900, 2, 0, 29, 0, 0, 0, 0}},
        {"30 February of a leap year", {2000, 2, 0, 30, 0, 0, 0, 0}},
        {"31 April", {2006, 4, 0, 31, 0, 0, 0, 0}},
        {"hour 24", {2006, 1, 0, 1, 24, 0, 0, 0}},
        {"minute 60", {2006, 1, 0, 1, 0, 60, 0, 0}},
        {"second 60", {2006, 1, 0, 1, 0, 0, 60, 0}},
        {"millisecond 1000", {2006, 1, 0, 1, 0, 0, 0, 1000}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        FILETIME ft = {0x1234, 0x5678};
        SetLastError(0);
        EXPECT_FALSE(SystemTimeToFileTime(&c.date, &ft));
        EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    }
    // The last moment there is, and a leap day, are fine.
    FILETIME ft;
    const SYSTEMTIME last = {30827, 12, 0, 31, 23, 59, 59, 999}, leap = {2004, 2, 0, 29, 0, 0, 0, 0};
    EXPECT_TRUE(SystemTimeToFileTime(&last, &ft));
    EXPECT_TRUE(SystemTimeToFileTime(&leap, &ft));
}

TEST(FileTimeTest, CompareOrdersWholeCounts) {
    const struct {
        FILETIME a, b;
        LONG expected;
    } cases[] = {
        {{5, 1}, {5, 1}, 0},
        {{4, 1}, {5, 1}, -1},
        {{0xFFFFFFFF, 0}, {0, 1}, -1},  // the high word counts first
        {{0, 0x80000000}, {0xFFFFFFFF, 0x7FFFFFFF}, 1},  // unsigned
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.expected, CompareFileTime(&c.a, &c.b));
        EXPECT_EQ(-c.expected, CompareFileTime(&c.b, &c.a));
    }
}
