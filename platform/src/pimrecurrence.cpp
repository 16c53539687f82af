#include "pimrecurrence.h"

#include <algorithm>
#include <vector>

#include "calendar.h"

namespace vplat {
namespace {

bool NeedsMask(LONG type) { return type == olRecursWeekly || type == olRecursMonthNth || type == olRecursYearNth; }
bool NeedsDay(LONG type) { return type == olRecursMonthly || type == olRecursYearly; }
bool NeedsMonth(LONG type) { return type == olRecursYearly || type == olRecursYearNth; }

// The day of month as a month can hold it: past its end, its last day.
int64_t ClampedDay(int64_t year, int month, LONG day) {
    return DaysFromCivil(year, month, std::min<int>(int(day), DaysInMonth(year, month)));
}

// The instance-th day of the month whose weekday is in mask (5: the last);
// false when the month has fewer.
bool NthWeekday(int64_t year, int month, LONG mask, LONG instance, int64_t *day) {
    const int64_t first = DaysFromCivil(year, month, 1);
    std::vector<int64_t> matching;
    for (int i = 0; i < DaysInMonth(year, month); ++i) {
        if ((mask & (1 << WeekdayOfDays(first + i))) != 0) matching.push_back(first + i);
    }
    if (matching.empty()) return false;
    if (instance == 5) {
        *day = matching.back();
        return true;
    }
    if (size_t(instance) > matching.size()) return false;
    *day = matching[size_t(instance) - 1];
    return true;
}

// Visits the candidate days of each period in order; a period's candidates
// before the start day are skipped, and the walk stops past limit.
class Walk {
public:
    Walk(const PimPattern &pattern, int64_t start, const std::function<bool(int64_t)> &visit)
        : m_start(start), m_visit(visit) {
        m_limit = PimLastCalendarDay();
        if (pattern.occurrences <= 0 && pattern.hasEndDate) m_limit = std::min(m_limit, pattern.endDay);
        m_left = pattern.occurrences > 0 ? pattern.occurrences : -1;
    }
    // False once the walk is over.
    bool Offer(int64_t day) {
        if (day > m_limit) return false;
        if (day < m_start) return true;
        if (!m_visit(day)) return false;
        return m_left < 0 || --m_left > 0;
    }
    int64_t Limit() const { return m_limit; }

private:
    int64_t m_start;
    int64_t m_limit;
    int64_t m_left;
    const std::function<bool(int64_t)> &m_visit;
};

void WalkMonths(const PimPattern &p, int64_t start, Walk &walk, int monthStep) {
    int64_t year;
    int month, day;
    CivilFromDays(start, &year, &month, &day);
    int64_t index = year * 12 + (month - 1);
    if (NeedsMonth(p.type)) {
        // The first year whose month can hold a day on or after the start.
        index = year * 12 + (p.monthOfYear - 1);
    }
    for (;; index += monthStep) {
        const int64_t y = FloorDiv(index, 12);
        const int m = int(index - y * 12) + 1;
        if (DaysFromCivil(y, m, 1) > walk.Limit()) return;
        int64_t at;
        if (p.type == olRecursMonthly || p.type == olRecursYearly) {
            at = ClampedDay(y, m, p.dayOfMonth);
        } else if (!NthWeekday(y, m, p.dayOfWeekMask, p.instance, &at)) {
            continue;
        }
        if (!walk.Offer(at)) return;
    }
}

}  // namespace

int64_t PimLastCalendarDay() { return DaysFromCivil(2039, 12, 31); }

bool PimPatternValid(const PimPattern &p) {
    const bool knownType = p.type == olRecursDaily || p.type == olRecursWeekly || p.type == olRecursMonthly ||
                           p.type == olRecursMonthNth || p.type == olRecursYearly || p.type == olRecursYearNth;
    if (!knownType || p.interval < 1 || p.interval > 999 || p.occurrences < 0) return false;
    if (NeedsMask(p.type) && (p.dayOfWeekMask <= 0 || p.dayOfWeekMask > 0x7F)) return false;
    if (NeedsDay(p.type) && (p.dayOfMonth < 1 || p.dayOfMonth > 31)) return false;
    if (NeedsMonth(p.type) && (p.monthOfYear < 1 || p.monthOfYear > 12)) return false;
    if ((p.type == olRecursMonthNth || p.type == olRecursYearNth) && (p.instance < 1 || p.instance > 5)) return false;
    return true;
}

void PimPatternFillFrom(int64_t startDay, PimPattern *p) {
    int64_t year;
    int month, day;
    CivilFromDays(startDay, &year, &month, &day);
    p->dayOfWeekMask = 1 << WeekdayOfDays(startDay);
    p->dayOfMonth = day;
    p->monthOfYear = month;
    p->instance = (day - 1) / 7 + 1;
}

void PimForEachOccurrence(const PimPattern &p, int64_t start, const std::function<bool(int64_t)> &visit) {
    if (!PimPatternValid(p)) return;
    Walk walk(p, start, visit);
    switch (p.type) {
        case olRecursDaily:
            for (int64_t day = start; walk.Offer(day); day += p.interval) {
            }
            return;
        case olRecursWeekly:
            // Weeks run from Sunday; the interval counts weeks from the start's.
            for (int64_t week = start - WeekdayOfDays(start);; week += 7 * int64_t(p.interval)) {
                for (int weekday = 0; weekday < 7; ++weekday) {
                    if ((p.dayOfWeekMask & (1 << weekday)) != 0 && !walk.Offer(week + weekday)) return;
                }
            }
        case olRecursMonthly:
        case olRecursMonthNth: WalkMonths(p, start, walk, p.interval); return;
        default: WalkMonths(p, start, walk, 12 * p.interval); return;
    }
}

bool PimIsOccurrence(const PimPattern &p, int64_t start, int64_t day) {
    bool found = false;
    PimForEachOccurrence(p, start, [&](int64_t at) {
        found = at == day;
        return at < day;
    });
    return found;
}

bool PimLastOccurrence(const PimPattern &p, int64_t start, int64_t *day) {
    bool any = false;
    PimForEachOccurrence(p, start, [&](int64_t at) {
        *day = at;
        any = true;
        return true;
    });
    return any;
}

}  // namespace vplat
