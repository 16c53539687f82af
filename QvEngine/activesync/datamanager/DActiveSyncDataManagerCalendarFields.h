// What the calendar mapping's two files share: the Calendar page's tag names,
// the value codes of the coded fields in both directions, ActiveSync times as
// UTC records, and the local clock of a UTC time under a meeting's time-zone
// record (texts and dates in general: DActiveSyncDataManagerText.h).
#ifndef QV_DACTIVESYNCDATAMANAGERCALENDARFIELDS_H
#define QV_DACTIVESYNCDATAMANAGERCALENDARFIELDS_H

#include <cstdint>
#include <ctime>
#include <string>

#include "DErrorCode.h"
#include "VString.h"
#include "wintime.h"

namespace calendar_fields {

// Calendar page (4).
constexpr const char *kTimezone = "0x05_0x04";
constexpr const char *kAllDayEvent = "0x06_0x04";
constexpr const char *kAttendees = "0x07_0x04";
constexpr const char *kAttendee = "0x08_0x04";
constexpr const char *kEmail = "0x09_0x04";
constexpr const char *kName = "0x0A_0x04";
constexpr const char *kBody = "0x0B_0x04";
constexpr const char *kBusyStatus = "0x0D_0x04";
constexpr const char *kCategories = "0x0E_0x04";
constexpr const char *kCategory = "0x0F_0x04";
constexpr const char *kDtStamp = "0x11_0x04";
constexpr const char *kEndTime = "0x12_0x04";
constexpr const char *kException = "0x13_0x04";
constexpr const char *kExceptions = "0x14_0x04";
constexpr const char *kDeleted = "0x15_0x04";
constexpr const char *kExceptionStartTime = "0x16_0x04";
constexpr const char *kLocation = "0x17_0x04";
constexpr const char *kMeetingStatus = "0x18_0x04";
constexpr const char *kOrganizerEmail = "0x19_0x04";
constexpr const char *kOrganizerName = "0x1A_0x04";
constexpr const char *kRecurrence = "0x1B_0x04";
constexpr const char *kType = "0x1C_0x04";
constexpr const char *kUntil = "0x1D_0x04";
constexpr const char *kOccurrences = "0x1E_0x04";
constexpr const char *kInterval = "0x1F_0x04";
constexpr const char *kDayOfWeek = "0x20_0x04";
constexpr const char *kDayOfMonth = "0x21_0x04";
constexpr const char *kWeekOfMonth = "0x22_0x04";
constexpr const char *kMonthOfYear = "0x23_0x04";
constexpr const char *kReminder = "0x24_0x04";
constexpr const char *kSensitivity = "0x25_0x04";
constexpr const char *kSubject = "0x26_0x04";
constexpr const char *kStartTime = "0x27_0x04";
constexpr const char *kUID = "0x28_0x04";

// Device to server: the values the server knows, anything else its default.
inline const char *BusyStatusCode(uint32_t value) {
    return value == 0 ? "0" : value == 1 ? "1" : value == 3 ? "3" : "2";
}
inline const char *MeetingStatusCode(uint32_t value) {
    return value == 1 ? "1" : value == 3 ? "3" : value == 5 ? "5" : "0";
}
inline const char *SensitivityCode(uint32_t value) {
    return value == 1 ? "1" : value == 2 ? "2" : value == 3 ? "3" : "0";
}

// An ActiveSync date-time text as a UTC record; ASDataManagerErrInvalidDataType
// for a text that is no date-time.
DErrorCode ReadUtcTime(const std::string &text, struct tm *utc);
// The compact form "YYYYMMDDTHHMMSSZ".
DErrorCode CompactUtcTime(const struct tm &utc, std::string *out);

// The local clock of a UTC time under the zone (its daylight rule applied at
// that instant), and the UTC time of a local clock (one that the daylight
// start skips or its end repeats reads as standard time). A zone without
// daylight rule is its bias.
DErrorCode UtcToZoneLocal(const struct tm &utc, const TIME_ZONE_INFORMATION &zone, struct tm *local);
DErrorCode ZoneLocalToUtc(const struct tm &local, const TIME_ZONE_INFORMATION &zone, struct tm *utc);

// The start of one occurrence of a series, in UTC: the local day of
// occurrenceUtc with the local clock of the series' start, both under the
// series' zone. A series keeps its local clock across a daylight change, so
// the UTC clock of an occurrence may differ from the series' start by the
// daylight bias, and its UTC day from its local day.
DErrorCode OccurrenceStartUtc(const struct tm &occurrenceUtc, const struct tm &seriesStartUtc,
                              const TIME_ZONE_INFORMATION &zone, struct tm *start);

}  // namespace calendar_fields

#endif
