#include "ActiveSyncDateTime.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr int32_t kMaxOffsetSeconds = 24 * 3600 - 1;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month /* 1-12 */) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Full years and 1-based months, as the text carries them.
bool InRange(int year, int month, int day, int hour, int minute, int second) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month) &&
           hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60;
}

// Reads exactly n digits at *p; false (nothing moved) when they are not there.
bool Digits(const char **p, int n, int *value) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
        if (!std::isdigit(static_cast<unsigned char>((*p)[i]))) return false;
        v = v * 10 + ((*p)[i] - '0');
    }
    *p += n;
    *value = v;
    return true;
}

// A separator between fields ('-' or ':') may stand there.
void SkipSeparator(const char **p) {
    if (**p != '\0' && !std::isdigit(static_cast<unsigned char>(**p)) && **p != 'T') ++*p;
}

}  // namespace

DErrorCode WriteActiveSyncDateTime(const struct tm &t, int32_t offsetSeconds, bool compact, std::string *out) {
    if (out == nullptr) return generalErrInvalidParameter;
    const int year = t.tm_year < 1900 ? t.tm_year + 1900 : t.tm_year;
    if (!InRange(year, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec) || offsetSeconds > kMaxOffsetSeconds ||
        offsetSeconds < -kMaxOffsetSeconds)
        return generalErrInvalidParameter;
    char text[40];
    int n = std::snprintf(text, sizeof text, compact ? "%04d%02d%02dT%02d%02d%02d" : "%04d-%02d-%02dT%02d:%02d:%02d.000",
                          year, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    if (offsetSeconds == 0) {
        std::snprintf(text + n, sizeof text - size_t(n), "Z");
    } else {
        const int32_t magnitude = offsetSeconds < 0 ? -offsetSeconds : offsetSeconds;
        std::snprintf(text + n, sizeof text - size_t(n), compact ? "%c%02d%02d" : "%c%02d:%02d",
                      offsetSeconds < 0 ? '-' : '+', int(magnitude / 3600), int(magnitude % 3600 / 60));
    }
    try {
        out->assign(text);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

DErrorCode ReadActiveSyncDateTime(const char *text, struct tm *t, int32_t *offsetSeconds) {
    if (text == nullptr || t == nullptr || offsetSeconds == nullptr) return generalErrInvalidParameter;
    std::memset(t, 0, sizeof *t);
    *offsetSeconds = 0;
    const char *p = text;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    // The date is required whole.
    if (!Digits(&p, 4, &year)) return ASDataManagerErrInvalidDataType;
    SkipSeparator(&p);
    if (!Digits(&p, 2, &month)) return ASDataManagerErrInvalidDataType;
    SkipSeparator(&p);
    if (!Digits(&p, 2, &day)) return ASDataManagerErrInvalidDataType;
    int32_t offset = 0;
    // The time may end anywhere; what was not read stays 0.
    if (*p == 'T') {
        ++p;
        if (Digits(&p, 2, &hour)) {
            SkipSeparator(&p);
            if (Digits(&p, 2, &minute)) {
                SkipSeparator(&p);
                if (Digits(&p, 2, &second)) {
                    if (*p == '.') {
                        ++p;
                        while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
                    }
                    int sign = 0;
                    if (*p == 'Z') {
                        ++p;
                    } else if (*p == '+' || *p == '-') {
                        sign = *p == '-' ? -1 : 1;
                        ++p;
                    } else if (std::isdigit(static_cast<unsigned char>(*p))) {
                        sign = 1;
                    }
                    if (sign != 0) {
                        int hours = 0, minutes = 0;
                        if (!Digits(&p, 2, &hours)) return ASDataManagerErrInvalidDataType;
                        if (*p == ':') ++p;
                        if (!Digits(&p, 2, &minutes) || hours >= 24 || minutes >= 60)
                            return ASDataManagerErrInvalidDataType;
                        offset = sign * (hours * 3600 + minutes * 60);
                    }
                }
            }
        }
    }
    // Anything after what was read makes the text not a date-time.
    if (*p != '\0') return ASDataManagerErrInvalidDataType;
    if (!InRange(year, month, day, hour, minute, second)) return ASDataManagerErrInvalidDataType;
    t->tm_year = year - 1900;
    t->tm_mon = month - 1;
    t->tm_mday = day;
    t->tm_hour = hour;
    t->tm_min = minute;
    t->tm_sec = second;
    *offsetSeconds = offset;
    return kNoError;
}
