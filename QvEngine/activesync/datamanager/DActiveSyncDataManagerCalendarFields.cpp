#include "DActiveSyncDataManagerCalendarFields.h"

#include "ActiveSyncDateTime.h"
#include "DActiveSyncDataManagerText.h"

namespace calendar_fields {

namespace {

bool ToSystemTime(const struct tm &t, SYSTEMTIME *out) {
    if (t.tm_year + 1900 < 1601 || t.tm_year + 1900 > 30827) return false;
    *out = {};
    out->wYear = WORD(t.tm_year + 1900);
    out->wMonth = WORD(t.tm_mon + 1);
    out->wDay = WORD(t.tm_mday);
    out->wHour = WORD(t.tm_hour);
    out->wMinute = WORD(t.tm_min);
    out->wSecond = WORD(t.tm_sec);
    return true;
}

void FromSystemTime(const SYSTEMTIME &t, struct tm *out) {
    *out = {};
    out->tm_year = int(t.wYear) - 1900;
    out->tm_mon = int(t.wMonth) - 1;
    out->tm_mday = t.wDay;
    out->tm_hour = t.wHour;
    out->tm_min = t.wMinute;
    out->tm_sec = t.wSecond;
    out->tm_wday = t.wDayOfWeek;
}

// One of the platform's conversions under a zone, on date-time records.
DErrorCode Convert(bool (*convert)(const TIME_ZONE_INFORMATION &, const SYSTEMTIME &, SYSTEMTIME *),
                   const struct tm &in, const TIME_ZONE_INFORMATION &zone, struct tm *out) {
    SYSTEMTIME from = {}, to = {};
    if (!ToSystemTime(in, &from) || !convert(zone, from, &to)) return generalErrInvalidParameter;
    FromSystemTime(to, out);
    return kNoError;
}

}  // namespace

DErrorCode ReadUtcTime(const std::string &text, struct tm *utc) {
    if (text.empty()) return ASDataManagerErrInvalidDataType;
    return dmtext::ReadDate(text, utc) == kNoError ? kNoError : ASDataManagerErrInvalidDataType;
}

DErrorCode CompactUtcTime(const struct tm &utc, std::string *out) { return WriteActiveSyncDateTime(utc, 0, true, out); }

DErrorCode UtcToZoneLocal(const struct tm &utc, const TIME_ZONE_INFORMATION &zone, struct tm *local) {
    return Convert(vplat::UtcToZoneLocal, utc, zone, local);
}

DErrorCode ZoneLocalToUtc(const struct tm &local, const TIME_ZONE_INFORMATION &zone, struct tm *utc) {
    return Convert(vplat::ZoneLocalToUtc, local, zone, utc);
}

DErrorCode OccurrenceStartUtc(const struct tm &occurrenceUtc, const struct tm &seriesStartUtc,
                              const TIME_ZONE_INFORMATION &zone, struct tm *start) {
    struct tm day = {}, clock = {};
    DErrorCode err = UtcToZoneLocal(occurrenceUtc, zone, &day);
    if (err == kNoError) err = UtcToZoneLocal(seriesStartUtc, zone, &clock);
    if (err != kNoError) return err;
    day.tm_hour = clock.tm_hour;
    day.tm_min = clock.tm_min;
    day.tm_sec = clock.tm_sec;
    return ZoneLocalToUtc(day, zone, start);
}

}  // namespace calendar_fields
