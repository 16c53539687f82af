// A date-time record (struct tm) from its calendar fields, month 1 to 12:
// how tests write the dates they hand the engine and the stores.
#ifndef VTEST_SUPPORT_DATERECORD_H
#define VTEST_SUPPORT_DATERECORD_H

#include <ctime>

inline struct tm DateRecord(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

#endif
