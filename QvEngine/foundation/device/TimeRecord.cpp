#include "TimeRecord.h"

bool IsTimeRecordEmpty(const struct tm *t) {
    if (t == nullptr) return true;
    return t->tm_sec == 0 && t->tm_min == 0 && t->tm_hour == 0 && t->tm_mday == 0 && t->tm_mon == 0 &&
           t->tm_year == 0 && t->tm_wday == 0 && t->tm_yday == 0 && t->tm_isdst == 0;
}

int CompareTimeRecords(const struct tm *a, const struct tm *b) {
    const int left[] = {a->tm_year, a->tm_mon, a->tm_mday, a->tm_hour, a->tm_min, a->tm_sec};
    const int right[] = {b->tm_year, b->tm_mon, b->tm_mday, b->tm_hour, b->tm_min, b->tm_sec};
    for (int i = 0; i < 6; ++i) {
        if (left[i] > right[i]) return 1;
        if (left[i] < right[i]) return -1;
    }
    return 0;
}
