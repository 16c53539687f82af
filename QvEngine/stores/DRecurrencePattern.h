// The recurrence and exception values that the calendar and task items
// exchange with the data manager. Dates are UTC date-time records (struct
// tm: month 0 to 11, years since 1900); a record of all zeros means none.
#ifndef QV_DRECURRENCEPATTERN_H
#define QV_DRECURRENCEPATTERN_H

#include <cstdint>
#include <ctime>

// The pattern's kind, as the engine numbers it (not the device's numbers).
enum ERecurrenceType : uint32_t {
    kRepeatDaily = 0,
    kRepeatWeekly = 1,
    kRepeatMonthlyByDate = 2,
    kRepeatMonthlyByDays = 3,
    kRepeatYearlyByDate = 4,
    kRepeatYearlyByDays = 5,
};

// Monday to Friday: a daily pattern with this mask means every working day.
constexpr uint16_t kRecurWorkingDays = 62;
// The week of month that stands for the last one.
constexpr uint16_t kRecurLastWeek = 5;

// DRecurrencePattern: when an appointment repeats. A plain value: every
// field is zero until set, except the interval, which counts from 1.
struct DRecurrencePattern {
    uint32_t type = kRepeatDaily;  // ERecurrenceType
    uint16_t interval = 1;         // every n days, weeks or months
    bool noEnd = false;            // the pattern has no end
    struct tm until = {};          // end of the pattern (UTC); year 0: none
    uint16_t dayOfWeekMask = 0;    // 1 Sunday, 2 Monday, 4 Tuesday ... 64 Saturday
    uint16_t dayOfMonth = 0;       // 1 to 31
    uint16_t monthOfYear = 0;      // 1 to 12
    uint16_t weekOfMonth = 0;      // 1 to 4, kRecurLastWeek the last
    uint32_t occurrences = 0;      // number of occurrences; 0: none
};

// DTaskRecurrencePattern: when a task repeats: the appointment's pattern,
// its first due start, and whether a completed task makes the next one
// (regenerate) and whether the occurrence is the dead last one.
struct DTaskRecurrencePattern : DRecurrencePattern {
    struct tm start = {};
    bool regenerate = false;
    bool deadOccurrence = false;
};

// DExceptionInfo: one changed or cancelled occurrence of a recurring
// appointment, named by its original start (UTC).
struct DExceptionInfo {
    struct tm originalStart = {};
    bool deleted = false;
};

#endif
