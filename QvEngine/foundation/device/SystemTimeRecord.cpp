#include "SystemTimeRecord.h"

#include "winerror.h"

namespace {

bool ToWord(int64_t value, WORD *out) {
    if (value < 0 || value > 0xFFFF) return false;
    *out = WORD(value);
    return true;
}

}  // namespace

bool TimeRecordToSystemTime(const struct tm &t, SYSTEMTIME *out) {
    SYSTEMTIME st = {};
    if (!ToWord(int64_t(t.tm_year) + 1900, &st.wYear) || !ToWord(int64_t(t.tm_mon) + 1, &st.wMonth) ||
        !ToWord(t.tm_mday, &st.wDay) || !ToWord(t.tm_hour, &st.wHour) || !ToWord(t.tm_min, &st.wMinute) ||
        !ToWord(t.tm_sec, &st.wSecond))
        return false;
    // An impossible weekday is ignored like any other, as the platform does.
    st.wDayOfWeek = t.tm_wday >= 0 && t.tm_wday <= 6 ? WORD(t.tm_wday) : 0;
    *out = st;
    return true;
}

void SystemTimeToTimeRecord(const SYSTEMTIME &st, struct tm *out) {
    *out = tm{};
    out->tm_sec = st.wSecond;
    out->tm_min = st.wMinute;
    out->tm_hour = st.wHour;
    out->tm_mday = st.wDay;
    out->tm_mon = st.wMonth - 1;
    out->tm_year = st.wYear - 1900;
    out->tm_wday = st.wDayOfWeek;
}

DErrorCode LastPlatformError() {
    const DWORD err = GetLastError();
    return err != ERROR_SUCCESS ? err : DErrorCode(ERROR_INVALID_PARAMETER);
}
