#include "calendar.h"

namespace vplat {

bool IsLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int64_t year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

int64_t FloorDiv(int64_t x, int64_t y) {
    int64_t q = x / y;
    return (x % y != 0 && x < 0) ? q - 1 : q;
}

// Counts in 400-year eras starting on 1 March, so that the leap day ends a
// year of the count.
int64_t DaysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2;
    const int64_t era = FloorDiv(year, 400);
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int64_t *year, int *month, int *day) {
    days += 719468;
    const int64_t era = FloorDiv(days, 146097);
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    *day = int(dayOfYear - (153 * mp + 2) / 5 + 1);
    *month = int(mp < 10 ? mp + 3 : mp - 9);
    *year = yearOfEra + era * 400 + (*month <= 2);
}

int WeekdayOfDays(int64_t days) { return int(days - FloorDiv(days + 4, 7) * 7 + 4); }

int64_t MsFromSystemTime(const SYSTEMTIME &st) {
    return DaysFromCivil(st.wYear, st.wMonth, st.wDay) * kMsPerDay +
           ((int64_t(st.wHour) * 60 + st.wMinute) * 60 + st.wSecond) * 1000 + st.wMilliseconds;
}

bool SystemTimeFromMsChecked(int64_t ms, SYSTEMTIME *st) {
    const int64_t days = FloorDiv(ms, kMsPerDay);
    int64_t rest = ms - days * kMsPerDay;
    int64_t year;
    int month, day;
    CivilFromDays(days, &year, &month, &day);
    if (year < 1 || year > 0xFFFF) return false;
    st->wYear = WORD(year);
    st->wMonth = WORD(month);
    st->wDay = WORD(day);
    st->wDayOfWeek = WORD(WeekdayOfDays(days));
    st->wMilliseconds = WORD(rest % 1000);
    rest /= 1000;
    st->wSecond = WORD(rest % 60);
    rest /= 60;
    st->wMinute = WORD(rest % 60);
    st->wHour = WORD(rest / 60);
    return true;
}

}  // namespace vplat
