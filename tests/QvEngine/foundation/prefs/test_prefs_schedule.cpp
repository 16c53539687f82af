#include <gtest/gtest.h>

#include <functional>

#include "DWinMobCorvanePreferences.h"
#include "prefstestutil.h"
#include "wintime.h"

namespace {

// Monday 1 January 2024, 00:00 UTC; the test device has no time zone, so
// local time is universal time.
constexpr int64_t kMondayMs = 1704067200000LL;

class PrefsScheduleTest : public PrefsDeviceTest {
protected:
    void TearDown() override {
        vplat::ClockUseReal();
        PrefsDeviceTest::TearDown();
    }
    // dayFromMonday 0 = Monday ... 5 = Saturday, -1 = Sunday.
    static void SetNow(int dayFromMonday, int hour, int minute) {
        vplat::ClockUseVirtual(0, kMondayMs + ((dayFromMonday * 24LL + hour) * 60 + minute) * 60000LL);
    }
    static struct tm TimeOfDay(int hour, int minute) {
        struct tm t = {};
        t.tm_hour = hour;
        t.tm_min = minute;
        return t;
    }
    DWinMobCorvanePreferences prefs;
};

TEST_F(PrefsScheduleTest, PeakTimeByWeekdayAndWindow) {
    struct Case {
        BYTE days;
        int startHour, startMinute, endHour, endMinute;
        int day, hour, minute;
        BOOL peak;
    } cases[] = {
        // Monday to Friday, 08:00 to 18:00.
        {0x3E, 8, 0, 18, 0, 0, 8, 0, TRUE},
        {0x3E, 8, 0, 18, 0, 0, 7, 59, FALSE},
        {0x3E, 8, 0, 18, 0, 0, 17, 59, TRUE},
        {0x3E, 8, 0, 18, 0, 0, 18, 0, FALSE},
        {0x3E, 8, 0, 18, 0, -1, 12, 0, FALSE},
        {0x3E, 8, 0, 18, 0, 4, 12, 0, TRUE},
        {0x3E, 8, 0, 18, 0, 5, 12, 0, FALSE},
        {0x01, 8, 0, 18, 0, -1, 12, 0, TRUE},
        // Minutes of the window count, not only hours.
        {0x3E, 8, 30, 17, 15, 0, 8, 29, FALSE},
        {0x3E, 8, 30, 17, 15, 0, 8, 30, TRUE},
        {0x3E, 8, 30, 17, 15, 0, 17, 14, TRUE},
        {0x3E, 8, 30, 17, 15, 0, 17, 15, FALSE},
        // Across midnight: the start minute itself is not peak.
        {0x3E, 22, 0, 6, 0, 0, 22, 0, FALSE},
        {0x3E, 22, 0, 6, 0, 0, 22, 1, TRUE},
        {0x3E, 22, 0, 6, 0, 1, 5, 59, TRUE},
        {0x3E, 22, 0, 6, 0, 1, 6, 0, FALSE},
        {0x3E, 22, 0, 6, 0, 1, 12, 0, FALSE},
        // Today's weekday decides, also after midnight.
        {0x3E, 22, 0, 6, 0, 5, 2, 0, FALSE},
        // An empty window is never peak.
        {0x7F, 9, 0, 9, 0, 0, 9, 0, FALSE},
        {0x7F, 9, 0, 9, 0, 0, 3, 0, FALSE},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(prefs.SetPeakWeekdayFlags(c.days), kNoError);
        ASSERT_EQ(prefs.SetPeakStartTime(TimeOfDay(c.startHour, c.startMinute)), kNoError);
        ASSERT_EQ(prefs.SetPeakEndTime(TimeOfDay(c.endHour, c.endMinute)), kNoError);
        SetNow(c.day, c.hour, c.minute);
        EXPECT_EQ(prefs.IsPeakTime(), c.peak) << "days " << int(c.days) << " window " << c.startHour << ":"
                                              << c.startMinute << "-" << c.endHour << ":" << c.endMinute
                                              << " day " << c.day << " at " << c.hour << ":" << c.minute;
    }
}

TEST_F(PrefsScheduleTest, CurrentScheduleAndPushFollowThePeriod) {
    ASSERT_EQ(prefs.SetPeakSyncSchedule(kSyncScheduleEvery5Minutes), kNoError);
    ASSERT_EQ(prefs.SetOffPeakSyncSchedule(kSyncScheduleEvery4Hours), kNoError);
    ASSERT_EQ(prefs.SetPeakPushSyncEnabled(1), kNoError);

    SetNow(0, 10, 0);
    EXPECT_EQ(prefs.GetCurrentSyncSchedule(), kSyncScheduleEvery5Minutes);
    EXPECT_EQ(prefs.IsPushEnabledNow(), 1);
    ASSERT_EQ(prefs.SetCurrentSyncSchedule(kSyncScheduleEvery15Minutes), kNoError);
    ASSERT_EQ(prefs.SetPushEnabledNow(0), kNoError);
    EXPECT_EQ(prefs.GetPeakSyncSchedule(), kSyncScheduleEvery15Minutes);
    EXPECT_EQ(prefs.GetPeakPushSyncEnabled(), 0);

    SetNow(0, 20, 0);
    EXPECT_EQ(prefs.GetCurrentSyncSchedule(), kSyncScheduleEvery4Hours);
    EXPECT_EQ(prefs.IsPushEnabledNow(), 0);
    ASSERT_EQ(prefs.SetPushEnabledNow(1), kNoError);
    EXPECT_EQ(prefs.GetOffPeakPushSyncEnabled(), 1);
    EXPECT_EQ(prefs.GetPeakSyncSchedule(), kSyncScheduleEvery15Minutes);
}

TEST_F(PrefsScheduleTest, SettingAPeriodsScheduleTurnsItsPushOff) {
    ASSERT_EQ(prefs.SetPeakPushSyncEnabled(1), kNoError);
    ASSERT_EQ(prefs.SetOffPeakPushSyncEnabled(1), kNoError);

    ASSERT_EQ(prefs.SetPeakSyncSchedule(kSyncScheduleHourly), kNoError);
    EXPECT_EQ(prefs.GetPeakPushSyncEnabled(), 0);
    EXPECT_EQ(prefs.GetPeakSyncSchedule(), kSyncScheduleHourly);
    EXPECT_EQ(prefs.GetOffPeakPushSyncEnabled(), 1);

    ASSERT_EQ(prefs.SetOffPeakSyncSchedule(kSyncScheduleManual), kNoError);
    EXPECT_EQ(prefs.GetOffPeakPushSyncEnabled(), 0);
    EXPECT_EQ(prefs.GetOffPeakSyncSchedule(), kSyncScheduleManual);
}

TEST_F(PrefsScheduleTest, EffectiveUserSyncHonoursOverridesOnlyWhenChosen) {
    using Prefs = DWinMobCorvanePreferences;
    struct Type {
        const char *name;
        std::function<DErrorCode(Prefs &, BYTE)> setChoice, setOverride;
        std::function<BYTE(Prefs &)> effective;
    } types[] = {
        {"mail", &Prefs::SetUserSyncEMail, &Prefs::SetUserSyncEMailOverride, &Prefs::GetEffectiveUserSyncEMail},
        {"calendar", &Prefs::SetUserSyncCalendar, &Prefs::SetUserSyncCalendarOverride,
         &Prefs::GetEffectiveUserSyncCalendar},
        {"contacts", &Prefs::SetUserSyncContacts, &Prefs::SetUserSyncContactsOverride,
         &Prefs::GetEffectiveUserSyncContacts},
        {"tasks", &Prefs::SetUserSyncTasks, &Prefs::SetUserSyncTasksOverride, &Prefs::GetEffectiveUserSyncTasks},
    };
    struct Case {
        BYTE choice, override, effective;
    } cases[] = {{1, 255, 1}, {1, 0, 0}, {1, 1, 1}, {0, 1, 0}, {0, 255, 0}};
    for (const Type &t : types) {
        for (const Case &c : cases) {
            t.setChoice(prefs, c.choice);
            t.setOverride(prefs, c.override);
            EXPECT_EQ(t.effective(prefs), c.effective)
                << t.name << " choice " << int(c.choice) << " override " << int(c.override);
        }
    }
    // Overrides and the tasks choice live in this object only.
    prefs.SetUserSyncEMail(1);
    prefs.SetUserSyncEMailOverride(0);
    prefs.SetUserSyncTasks(1);
    ASSERT_EQ(prefs.SaveAll(), kNoError);
    DWinMobCorvanePreferences other;
    EXPECT_EQ(other.GetEffectiveUserSyncEMail(), 1);
    EXPECT_EQ(other.GetUserSyncTasks(), 0);
}

}  // namespace
