// Peak time now, and the schedule and push setting of the current period.
#include "PeakTime.h"

#include "DCorvanePreferences.h"
#include "wintime.h"

bool IsPeakMinute(BYTE weekdayFlags, int weekday, int startMinute, int endMinute, int nowMinute) {
    if (weekday < 0 || weekday > 6 || (weekdayFlags & (1u << weekday)) == 0) return false;
    if (startMinute == endMinute) return false;
    if (startMinute < endMinute) return nowMinute >= startMinute && nowMinute < endMinute;
    return nowMinute < endMinute || nowMinute > startMinute;
}

BOOL DCorvanePreferences::IsPeakTime() {
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    struct tm start = GetPeakStartTime();
    struct tm end = GetPeakEndTime();
    return IsPeakMinute(GetPeakWeekdayFlags(), now.wDayOfWeek, start.tm_hour * 60 + start.tm_min,
                        end.tm_hour * 60 + end.tm_min, now.wHour * 60 + now.wMinute)
               ? TRUE
               : FALSE;
}

WORD DCorvanePreferences::GetCurrentSyncSchedule() {
    return IsPeakTime() ? GetPeakSyncSchedule() : GetOffPeakSyncSchedule();
}

DErrorCode DCorvanePreferences::SetCurrentSyncSchedule(WORD code) {
    return SetNumber(IsPeakTime() ? kPrefPeakSyncSchedule : kPrefOffPeakSyncSchedule, code);
}

DErrorCode DCorvanePreferences::SetPeakSyncSchedule(WORD code) {
    DErrorCode err = SetPeakPushSyncEnabled(0);
    return err != kNoError ? err : SetNumber(kPrefPeakSyncSchedule, code);
}

DErrorCode DCorvanePreferences::SetOffPeakSyncSchedule(WORD code) {
    DErrorCode err = SetOffPeakPushSyncEnabled(0);
    return err != kNoError ? err : SetNumber(kPrefOffPeakSyncSchedule, code);
}

BYTE DCorvanePreferences::IsPushEnabledNow() {
    return IsPeakTime() ? GetPeakPushSyncEnabled() : GetOffPeakPushSyncEnabled();
}

DErrorCode DCorvanePreferences::SetPushEnabledNow(BYTE flag) {
    return IsPeakTime() ? SetPeakPushSyncEnabled(flag) : SetOffPeakPushSyncEnabled(flag);
}
