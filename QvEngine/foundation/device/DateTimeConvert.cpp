#include "DateTimeConvert.h"

#include "SystemTimeRecord.h"
#include "winerror.h"

DErrorCode GetLocalDateTime(struct tm *out) {
    if (out == nullptr) return generalErrNULLPointer;
    SYSTEMTIME st;
    GetLocalTime(&st);
    SystemTimeToTimeRecord(st, out);
    return kNoError;
}

DErrorCode GetUniversalDateTime(struct tm *out) {
    if (out == nullptr) return generalErrNULLPointer;
    SYSTEMTIME st;
    GetSystemTime(&st);
    SystemTimeToTimeRecord(st, out);
    return kNoError;
}

DErrorCode DateTimeToFileTime(const struct tm *t, FILETIME *out) {
    if (t == nullptr || out == nullptr) return generalErrNULLPointer;
    SYSTEMTIME st;
    if (!TimeRecordToSystemTime(*t, &st)) return DErrorCode(ERROR_INVALID_PARAMETER);
    if (!SystemTimeToFileTime(&st, out)) return LastPlatformError();
    return kNoError;
}

DErrorCode FileTimeToDateTime(const FILETIME *ft, struct tm *out) {
    if (ft == nullptr || out == nullptr) return generalErrNULLPointer;
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(ft, &st)) return LastPlatformError();
    SystemTimeToTimeRecord(st, out);
    return kNoError;
}

DErrorCode MakeSystemTime(SYSTEMTIME *out, WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second,
                          WORD milliseconds) {
    if (out == nullptr) return generalErrNULLPointer;
    SYSTEMTIME st;
    st.wYear = year;
    st.wMonth = month;
    st.wDayOfWeek = 0;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = second;
    st.wMilliseconds = milliseconds;
    FILETIME ft;
    if (!SystemTimeToFileTime(&st, &ft) || !FileTimeToSystemTime(&ft, &st)) return LastPlatformError();
    *out = st;
    return kNoError;
}

int CompareSystemTimes(const SYSTEMTIME *a, const SYSTEMTIME *b) {
    FILETIME fa, fb;
    if (a == nullptr || b == nullptr || !SystemTimeToFileTime(a, &fa) || !SystemTimeToFileTime(b, &fb)) return 0;
    return int(CompareFileTime(&fa, &fb));
}
