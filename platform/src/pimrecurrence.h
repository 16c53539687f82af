// A recurrence pattern as the appointments keep it, and the days it falls
// on. Days are whole days since 1970-01-01 in the appointment's local
// time; every pattern stops at 2039-12-31, the calendar's last day, so
// every walk ends.
#ifndef VPLATFORM_PIMRECURRENCE_H
#define VPLATFORM_PIMRECURRENCE_H

#include <cstdint>
#include <functional>

#include "vplatform_pim.h"

namespace vplat {

struct PimPattern {
    LONG type = olRecursWeekly;
    LONG interval = 1;
    LONG dayOfWeekMask = 0;
    LONG dayOfMonth = 0;
    LONG monthOfYear = 0;
    LONG instance = 0;  // 1-4, 5 the last
    LONG occurrences = 0;  // above 0: the pattern ends after that many
    bool hasEndDate = false;  // else, uncounted, the pattern has no end
    int64_t endDay = 0;
};

// The calendar's last day (2039-12-31) and the first day no end date may
// reach (2040-01-01).
int64_t PimLastCalendarDay();

// Whether the pattern can make occurrences: a known type, an interval of 1
// to 999 and the day fields its type needs.
bool PimPatternValid(const PimPattern &pattern);
// The day fields as a start day gives them: its weekday, day, month and
// week of the month.
void PimPatternFillFrom(int64_t startDay, PimPattern *pattern);
// Calls visit with each occurrence day, in order, from the start day on,
// until the pattern ends or visit answers false. Nothing for an invalid
// pattern.
void PimForEachOccurrence(const PimPattern &pattern, int64_t startDay, const std::function<bool(int64_t)> &visit);
bool PimIsOccurrence(const PimPattern &pattern, int64_t startDay, int64_t day);
// The last occurrence day; false when there is none.
bool PimLastOccurrence(const PimPattern &pattern, int64_t startDay, int64_t *day);

}  // namespace vplat

#endif
