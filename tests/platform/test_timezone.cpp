#include <gtest/gtest.h>

#include <cstring>

#include "support/TestDevice.h"
#include "windows.h"

namespace {

class TimeZoneTest : public DeviceTest {
protected:
    void TearDown() override {
        vplat::ClockUseReal();
        DeviceTest::TearDown();
    }
};

struct DateTime {
    WORD year, month, day, hour, minute, second, ms;
};

int64_t UtcMs(const DateTime &d) {
    SYSTEMTIME st = {d.year, d.month, 0, d.day, d.hour, d.minute, d.second, d.ms};
    FILETIME ft;
    EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));
    return int64_t((uint64_t(ft.dwHighDateTime) << 32 | ft.dwLowDateTime) - 116444736000000000ull) / 10000;
}

TIME_ZONE_INFORMATION Zone(LONG bias, SYSTEMTIME standardDate, SYSTEMTIME daylightDate, LONG daylightBias) {
    TIME_ZONE_INFORMATION tz = {};
    tz.Bias = bias;
    tz.StandardDate = standardDate;
    tz.DaylightDate = daylightDate;
    tz.DaylightBias = daylightBias;
    std::u16string standardName = u"Test Standard Time", daylightName = u"Test Daylight Time";
    memcpy(tz.StandardName, standardName.c_str(), (standardName.size() + 1) * sizeof(WCHAR));
    memcpy(tz.DaylightName, daylightName.c_str(), (daylightName.size() + 1) * sizeof(WCHAR));
    return tz;
}

// Central Europe: daylight time from the last Sunday of March at 2:00 to
// the last Sunday of October at 3:00, one hour ahead of standard time.
const TIME_ZONE_INFORMATION kEurope = Zone(-60, {0, 10, 0, 5, 3, 0, 0, 0}, {0, 3, 0, 5, 2, 0, 0, 0}, -60);
// Southern hemisphere: daylight time from the first Sunday of October at
// 2:00 to the first Sunday of April at 3:00 of the next year.
const TIME_ZONE_INFORMATION kSouth = Zone(-600, {0, 4, 0, 1, 3, 0, 0, 0}, {0, 10, 0, 1, 2, 0, 0, 0}, -60);
// Dated transitions, valid for 2006 only.
const TIME_ZONE_INFORMATION kDated = Zone(300, {2006, 10, 0, 29, 2, 0, 0, 0}, {2006, 4, 0, 2, 2, 0, 0, 0}, -60);

}  // namespace

TEST_F(TimeZoneTest, DeviceStartsOnUtcAndKeepsTheZoneSet) {
    vplat::ClockUseVirtual(1, UtcMs({2006, 7, 1, 12, 0, 0, 0}));
    TIME_ZONE_INFORMATION tz;
    memset(&tz, 0xAB, sizeof tz);
    EXPECT_EQ(DWORD(TIME_ZONE_ID_UNKNOWN), GetTimeZoneInformation(&tz));
    const TIME_ZONE_INFORMATION zero = {};
    EXPECT_EQ(0, memcmp(&zero, &tz, sizeof tz));
    SYSTEMTIME utc, local;
    GetSystemTime(&utc);
    GetLocalTime(&local);
    EXPECT_EQ(0, memcmp(&utc, &local, sizeof utc));

    ASSERT_TRUE(SetTimeZoneInformation(&kEurope));
    EXPECT_EQ(DWORD(TIME_ZONE_ID_DAYLIGHT), GetTimeZoneInformation(&tz));
    EXPECT_EQ(0, memcmp(&kEurope, &tz, sizeof tz));

    // A stored value that is no zone record leaves the device on UTC.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Time", 0, KEY_SET_VALUE, &key));
    const BYTE shortRecord[10] = {};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"TimeZoneInformation", 0, REG_BINARY, shortRecord, 10));
    RegCloseKey(key);
    EXPECT_EQ(DWORD(TIME_ZONE_ID_UNKNOWN), GetTimeZoneInformation(&tz));
    EXPECT_EQ(0, tz.Bias);
    GetLocalTime(&local);
    EXPECT_EQ(12, local.wHour);

    EXPECT_EQ(TIME_ZONE_ID_INVALID, GetTimeZoneInformation(nullptr));
    EXPECT_FALSE(SetTimeZoneInformation(nullptr));
}

// Local time and the zone's state on both sides of each transition. Daylight
// time ends when the wall clock shows the standard date in daylight time.
TEST_F(TimeZoneTest, LocalTimeFollowsTheDaylightRules) {
    const struct {
        const char *zoneName;
        const TIME_ZONE_INFORMATION &zone;
        DateTime utc;
        DateTime local;
        DWORD id;
    } cases[] = {
        {"europe", kEurope, {2006, 1, 15, 12, 0, 0, 0}, {2006, 1, 15, 13, 0, 0, 0}, TIME_ZONE_ID_STANDARD},
        {"europe", kEurope, {2006, 3, 26, 0, 59, 59, 999}, {2006, 3, 26, 1, 59, 59, 999}, TIME_ZONE_ID_STANDARD},
        {"europe", kEurope, {2006, 3, 26, 1, 0, 0, 0}, {2006, 3, 26, 3, 0, 0, 0}, TIME_ZONE_ID_DAYLIGHT},
        {"europe", kEurope, {2006, 10, 29, 0, 59, 59, 999}, {2006, 10, 29, 2, 59, 59, 999}, TIME_ZONE_ID_DAYLIGHT},
        {"europe", kEurope, {2006, 10, 29, 1, 0, 0, 0}, {2006, 10, 29, 2, 0, 0, 0}, TIME_ZONE_ID_STANDARD},
        {"south", kSouth, {2008, 1, 15, 0, 0, 0, 0}, {2008, 1, 15, 11, 0, 0, 0}, TIME_ZONE_ID_DAYLIGHT},
        {"south", kSouth, {2008, 4, 5, 15, 59, 59, 999}, {2008, 4, 6, 2, 59, 59, 999}, TIME_ZONE_ID_DAYLIGHT},
        {"south", kSouth, {2008, 4, 5, 16, 0, 0, 0}, {2008, 4, 6, 2, 0, 0, 0}, TIME_ZONE_ID_STANDARD},
        {"south", kSouth, {2008, 10, 4, 15, 59, 59, 999}, {2008, 10, 5, 1, 59, 59, 999}, TIME_ZONE_ID_STANDARD},
        {"south", kSouth, {2008, 10, 4, 16, 0, 0, 0}, {2008, 10, 5, 3, 0, 0, 0}, TIME_ZONE_ID_DAYLIGHT},
        {"south", kSouth, {2008, 12, 31, 13, 0, 0, 0}, {2009, 1, 1, 0, 0, 0, 0}, TIME_ZONE_ID_DAYLIGHT},
        {"dated", kDated, {2006, 4, 2, 6, 59, 59, 999}, {2006, 4, 2, 1, 59, 59, 999}, TIME_ZONE_ID_STANDARD},
        {"dated", kDated, {2006, 4, 2, 7, 0, 0, 0}, {2006, 4, 2, 3, 0, 0, 0}, TIME_ZONE_ID_DAYLIGHT},
        {"dated", kDated, {2006, 10, 29, 5, 59, 59, 999}, {2006, 10, 29, 1, 59, 59, 999}, TIME_ZONE_ID_DAYLIGHT},
        {"dated", kDated, {2006, 10, 29, 6, 0, 0, 0}, {2006, 10, 29, 1, 0, 0, 0}, TIME_ZONE_ID_STANDARD},
        {"dated", kDated, {2007, 7, 1, 12, 0, 0, 0}, {2007, 7, 1, 7, 0, 0, 0}, TIME_ZONE_ID_STANDARD},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.zoneName << " " << c.utc.year << "-" << c.utc.month << "-" << c.utc.day
                                        << " " << c.utc.hour << ":" << c.utc.minute << ":" << c.utc.second << "."
                                        << c.utc.ms);
        ASSERT_TRUE(SetTimeZoneInformation(&c.zone));
        vplat::ClockUseVirtual(1, UtcMs(c.utc));
        TIME_ZONE_INFORMATION tz;
        EXPECT_EQ(c.id, GetTimeZoneInformation(&tz));
        SYSTEMTIME local;
        GetLocalTime(&local);
        EXPECT_EQ(c.local.year, local.wYear);
        EXPECT_EQ(c.local.month, local.wMonth);
        EXPECT_EQ(c.local.day, local.wDay);
        EXPECT_EQ(c.local.hour, local.wHour);
        EXPECT_EQ(c.local.minute, local.wMinute);
        EXPECT_EQ(c.local.second, local.wSecond);
        EXPECT_EQ(c.local.ms, local.wMilliseconds);
    }
}

// A FILETIME is shifted by the bias in force now, whatever its own date.
TEST_F(TimeZoneTest, FileTimeShiftsByTheBiasInForceNow) {
    const int64_t summerUtcMs = UtcMs({2006, 7, 1, 12, 0, 0, 0});
    const uint64_t summerTicks = uint64_t(summerUtcMs) * 10000 + 116444736000000000ull;
    const FILETIME summer = {DWORD(summerTicks), DWORD(summerTicks >> 32)};
    const uint64_t hour = 36000000000ull;
    const struct {
        bool setZone;
        DateTime now;
        uint64_t shift;  // local - universal
    } cases[] = {
        {false, {2006, 7, 1, 0, 0, 0, 0}, 0},
        {true, {2006, 1, 15, 0, 0, 0, 0}, hour},
        {true, {2006, 7, 15, 0, 0, 0, 0}, 2 * hour},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.shift);
        if (c.setZone) {
            ASSERT_TRUE(SetTimeZoneInformation(&kEurope));
        }
        vplat::ClockUseVirtual(1, UtcMs(c.now));
        FILETIME local, back;
        ASSERT_TRUE(FileTimeToLocalFileTime(&summer, &local));
        EXPECT_EQ(summerTicks + c.shift, uint64_t(local.dwHighDateTime) << 32 | local.dwLowDateTime);
        ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
        EXPECT_EQ(0, CompareFileTime(&summer, &back));
    }
    // A shift past either end of the range fails.
    const FILETIME first = {0, 0};
    FILETIME out;
    EXPECT_FALSE(LocalFileTimeToFileTime(&first, &out));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
}

// SetDaylightTime moves what the device calls "now" (its state, its local
// time and the two FILETIME shifts) to the other state and back, so that a
// winter time converted by the summer device reads as its own zone says.
TEST_F(TimeZoneTest, DaylightSwitchMovesTheCurrentBias) {
    ASSERT_TRUE(SetTimeZoneInformation(&kEurope));
    vplat::ClockUseVirtual(1, UtcMs({2006, 7, 1, 12, 0, 0, 0}));
    const int64_t winterMs = UtcMs({2006, 1, 15, 12, 0, 0, 0});
    const uint64_t winterTicks = uint64_t(winterMs) * 10000 + 116444736000000000ull;
    const FILETIME winter = {DWORD(winterTicks), DWORD(winterTicks >> 32)};
    const uint64_t hour = 36000000000ull;
    const struct {
        int dst;  // -1: no switch
        DWORD id;
        WORD localHour;
        uint64_t shift;
    } steps[] = {
        {-1, TIME_ZONE_ID_DAYLIGHT, 14, 2 * hour},
        {0, TIME_ZONE_ID_STANDARD, 13, hour},
        {1, TIME_ZONE_ID_DAYLIGHT, 14, 2 * hour},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.dst);
        if (s.dst >= 0) SetDaylightTime(DWORD(s.dst));
        TIME_ZONE_INFORMATION tz;
        EXPECT_EQ(s.id, GetTimeZoneInformation(&tz));
        EXPECT_EQ(0, memcmp(&kEurope, &tz, sizeof tz));
        SYSTEMTIME local;
        GetLocalTime(&local);
        EXPECT_EQ(s.localHour, local.wHour);
        FILETIME shifted, back;
        ASSERT_TRUE(FileTimeToLocalFileTime(&winter, &shifted));
        EXPECT_EQ(winterTicks + s.shift, uint64_t(shifted.dwHighDateTime) << 32 | shifted.dwLowDateTime);
        ASSERT_TRUE(LocalFileTimeToFileTime(&shifted, &back));
        EXPECT_EQ(0, CompareFileTime(&winter, &back));
        if (s.dst == 0) {
            FILETIME inZone;
            ASSERT_TRUE(vplat::UtcToZoneLocal(kEurope, winter, &inZone));
            EXPECT_EQ(0, CompareFileTime(&inZone, &shifted));
        }
    }
}

// The switch stands until the rules next change their answer, then the
// device follows its rules again; the same day a year on finds it gone.
TEST_F(TimeZoneTest, DaylightSwitchEndsAtTheNextTransition) {
    const struct {
        const char *zoneName;
        const TIME_ZONE_INFORMATION &zone;
        DateTime switchedAt;
        DWORD dst;
        DateTime later[3];
        DWORD id[3];
    } cases[] = {
        {"europe",
         kEurope,
         {2006, 7, 1, 12, 0, 0, 0},
         0,
         {{2006, 10, 29, 0, 59, 59, 999}, {2006, 11, 15, 0, 0, 0, 0}, {2007, 7, 1, 12, 0, 0, 0}},
         {TIME_ZONE_ID_STANDARD, TIME_ZONE_ID_STANDARD, TIME_ZONE_ID_DAYLIGHT}},
        {"south",
         kSouth,
         {2008, 1, 15, 0, 0, 0, 0},
         0,
         {{2008, 4, 5, 15, 59, 59, 999}, {2008, 6, 1, 0, 0, 0, 0}, {2008, 10, 4, 16, 0, 0, 0}},
         {TIME_ZONE_ID_STANDARD, TIME_ZONE_ID_STANDARD, TIME_ZONE_ID_DAYLIGHT}},
        {"south winter",
         kSouth,
         {2008, 6, 1, 0, 0, 0, 0},
         1,
         {{2008, 10, 4, 15, 59, 59, 999}, {2008, 12, 1, 0, 0, 0, 0}, {2009, 6, 1, 0, 0, 0, 0}},
         {TIME_ZONE_ID_DAYLIGHT, TIME_ZONE_ID_DAYLIGHT, TIME_ZONE_ID_STANDARD}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.zoneName);
        ASSERT_TRUE(SetTimeZoneInformation(&c.zone));
        vplat::ClockUseVirtual(1, UtcMs(c.switchedAt));
        SetDaylightTime(c.dst);
        TIME_ZONE_INFORMATION tz;
        EXPECT_EQ(c.dst ? DWORD(TIME_ZONE_ID_DAYLIGHT) : DWORD(TIME_ZONE_ID_STANDARD), GetTimeZoneInformation(&tz));
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            vplat::ClockUseVirtual(1, UtcMs(c.later[i]));
            EXPECT_EQ(c.id[i], GetTimeZoneInformation(&tz));
        }
    }
}

// A new zone drops the switch; a zone without daylight time has none.
TEST_F(TimeZoneTest, DaylightSwitchNeedsADaylightZone) {
    vplat::ClockUseVirtual(1, UtcMs({2006, 7, 1, 12, 0, 0, 0}));
    TIME_ZONE_INFORMATION tz;
    SetDaylightTime(1);
    EXPECT_EQ(DWORD(TIME_ZONE_ID_UNKNOWN), GetTimeZoneInformation(&tz));
    SYSTEMTIME local;
    GetLocalTime(&local);
    EXPECT_EQ(12, local.wHour);

    ASSERT_TRUE(SetTimeZoneInformation(&kEurope));
    SetDaylightTime(0);
    EXPECT_EQ(DWORD(TIME_ZONE_ID_STANDARD), GetTimeZoneInformation(&tz));
    ASSERT_TRUE(SetTimeZoneInformation(&kEurope));
    EXPECT_EQ(DWORD(TIME_ZONE_ID_DAYLIGHT), GetTimeZoneInformation(&tz));
}
