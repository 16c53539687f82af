#include "MessageTime.h"

DErrorCode MessageTimeToFileTime(const struct tm &time, FILETIME *out) {
    if (out == nullptr) return generalErrInvalidParameter;
    const int year = time.tm_year + 1900;
    if (year < 1601 || year > 30827 || time.tm_mon < 0 || time.tm_mon > 11) return generalErrInvalidParameter;
    SYSTEMTIME st = {};
    st.wYear = WORD(year);
    st.wMonth = WORD(time.tm_mon + 1);
    st.wDay = WORD(time.tm_mday);
    st.wHour = WORD(time.tm_hour);
    st.wMinute = WORD(time.tm_min);
    st.wSecond = WORD(time.tm_sec);
    return SystemTimeToFileTime(&st, out) ? kNoError : generalErrInvalidParameter;
}

DErrorCode MessageTimeFromFileTime(const FILETIME &time, struct tm *out) {
    if (out == nullptr) return generalErrInvalidParameter;
    SYSTEMTIME st = {};
    if (!FileTimeToSystemTime(&time, &st)) return generalErrInvalidParameter;
    *out = {};
    out->tm_year = st.wYear - 1900;
    out->tm_mon = st.wMonth - 1;
    out->tm_mday = st.wDay;
    out->tm_hour = st.wHour;
    out->tm_min = st.wMinute;
    out->tm_sec = st.wSecond;
    out->tm_wday = st.wDayOfWeek;
    return kNoError;
}
