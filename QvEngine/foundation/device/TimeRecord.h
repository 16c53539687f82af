// The date-time record (the runtime's tm: second, minute, hour, day, month
// 0 to 11, years since 1900, weekday, day of the year, daylight flag): the
// emptiness test and the ordering the engine uses. Only the nine standard
// fields count; the host's extra fields are ignored.
#ifndef QV_TIMERECORD_H
#define QV_TIMERECORD_H

#include <ctime>

// True when all nine fields are zero (or there is no record).
bool IsTimeRecordEmpty(const struct tm *t);

// Compares year, month, day, hour, minute and second in that order, as
// signed numbers: 1 when a is later, -1 when earlier, 0 when equal.
int CompareTimeRecords(const struct tm *a, const struct tm *b);

#endif
