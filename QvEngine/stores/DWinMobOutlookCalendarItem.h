// DWinMobOutlookCalendarItem: one appointment of the device calendar as the
// data manager sees it. Its fields come from the Pocket Outlook object model
// and from the appointment's raw record in "Appointments Database" (the time
// zone, the meeting's global object id and the server id, which the model
// does not offer); they are held in memory while the data manager reads or
// changes them and written back in one commit, together with the
// appointment's record in the calendar's change records.
//
// Contract:
// - Made by the calendar manager, then Load binds it (shadow database,
//   application, database handle: none of them owned) and reads it. The
//   caller deletes it; the item owns its change record and its exceptions.
// - Times are held in UTC; the device's local time is used only towards the
//   object model, converted under the device's zone (or, for a new recurring
//   item, the item's own zone) with the zone's rule at the instant
//   converted. The device's zone and daylight state are never switched.
// - Values stay unset until read or set; only set values are written.
// - An all-day event is held ending at 00:00 of the day after its last; the
//   device keeps it ending at 23:59 of its last day.
// - A series' exceptions read from the device stay there as they are; a
//   commit writes the ones added since, so that a change of the series
//   reaches every field an exception did not change itself. An exception
//   on a day the pattern does not make is skipped, not a failure.
// - Every write to the calendar is bracketed by the broadcasts of
//   "brwNotifierChangeMessage" (wParam 0, then 0xFFFFFFFF, also after a
//   failure), so that the scheduler passes the engine's own writes by.
// - The work is split by job: DWinMobOutlookCalendarItem.cpp (binding,
//   flags, ids, commit, delete) and ...ItemFields, ...ItemRead,
//   ...ItemWrite, ...ItemRecurrence, ...ItemExceptions, ...ItemTime.
// - A commit made while the item's change is on its way to the server keeps
//   the body's checksum apart (sent checksum) until the answer is in.
// - Results of the object model and of the database travel unchanged;
//   nothing throws.
#ifndef QV_DWINMOBOUTLOOKCALENDARITEM_H
#define QV_DWINMOBOUTLOOKCALENDARITEM_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "DWinMobShadowRecord.h"
#include "ILogProvider.h"
#include "IOutlookMeeting.h"
#include "vplatform_pim.h"

class DWinMobOutlookCalendarException;

// Object ids of an item that names no appointment.
constexpr LONG kCalendarOidNone = 0x7FFF7FFF;
constexpr LONG kCalendarOidNew = -2;
constexpr LONG kCalendarOidDeleted = -3;

// Raw properties of "Appointments Database" kept beside the object model.
constexpr CEPROPID kAppointmentPropTimeZone = (CEPROPID(1) << 16) | CEVT_BLOB;
constexpr CEPROPID kAppointmentPropGlobalObjectID = (CEPROPID(103) << 16) | CEVT_BLOB;
constexpr CEPROPID kAppointmentPropServerID = (CEPROPID(0x8103) << 16) | CEVT_LPWSTR;
// The time-zone blob of property 1 (bias, standard bias, daylight bias and
// the two transition dates of the 172-byte record; no names).
constexpr uint32_t kAppointmentZoneBlobSize = 48;

// The pattern as the object model numbers it.
struct DDeviceRecurrence {
    LONG type = olRecursDaily;
    LONG interval = 1;
    LONG dayOfWeekMask = 0;
    LONG dayOfMonth = 0;
    LONG monthOfYear = 0;
    LONG instance = 0;
    LONG occurrences = 0;
    DATE patternEnd = PIM_DATE_NONE;  // UTC; PIM_DATE_NONE: none
    bool noEnd = false;
};

class DWinMobOutlookCalendarItem : public IOutlookMeeting {
public:
    explicit DWinMobOutlookCalendarItem(ILogProvider *log);
    ~DWinMobOutlookCalendarItem() override;
    DWinMobOutlookCalendarItem(const DWinMobOutlookCalendarItem &) = delete;
    DWinMobOutlookCalendarItem &operator=(const DWinMobOutlookCalendarItem &) = delete;

    // --- IOutlookItem ---
    DErrorCode Open() override;
    DErrorCode Close() override;
    // A change record marked deleted is the only thing written then.
    DErrorCode Commit() override;
    DErrorCode CommitNewItem(DActiveTaskSignal *completion) override;
    DErrorCode IsNew(bool *flag) override;
    DErrorCode SetNew(bool flag) override;
    DErrorCode IsDeleted(bool *flag) override;
    DErrorCode SetDeleted(bool flag) override;  // not implemented
    DErrorCode IsSent(bool *flag) override;
    DErrorCode SetSent(bool flag) override;
    DErrorCode IsKeptNew(bool *flag) override;
    DErrorCode SetKeptNew(bool flag) override;
    DErrorCode IsModified(bool *flag) override;
    DErrorCode ClearModified() override;
    // Windows-1252 text, terminated; an id that does not fit with its
    // terminator is generalErrBufferTooSmall and leaves the buffer empty.
    DErrorCode GetID(char *buffer, uint32_t size) override;
    DErrorCode SetID(const char *id) override;
    DErrorCode MatchID(const char *id, bool *equal) override;  // not implemented

    // --- IOutlookMeeting ---
    DErrorCode SetSubject(const VString &text) override;
    DErrorCode GetSubject(VString *text) override;
    DErrorCode SetLocation(const VString &text) override;
    DErrorCode GetLocation(VString *text) override;
    DErrorCode SetBody(const VString &text) override;
    DErrorCode GetBody(VString *text) override;
    DErrorCode IsBodyChanged(bool *flag) override;
    DErrorCode GetCategories(StringListNode *list) override;
    DErrorCode SetCategories(const StringListNode *list) override;
    DErrorCode AppendCategory(const VString &text) override;
    DErrorCode GetStartTime(struct tm *time) override;
    DErrorCode SetStartEndTime(const struct tm *start, const struct tm *end) override;
    DErrorCode GetEndTime(struct tm *time) override;
    DErrorCode GetReminder(uint32_t *minutes) override;
    DErrorCode SetReminder(uint32_t minutes) override;
    DErrorCode GetAttendees(DListNode<DStringPair> *list) override;
    DErrorCode SetAttendees(const DListNode<DStringPair> *list) override;
    DErrorCode IsReminderSet(bool *flag) override;
    DErrorCode SetReminderSet(bool flag) override;
    DErrorCode IsAllDayEvent(bool *flag) override;
    DErrorCode SetAllDayEvent(bool flag) override;
    DErrorCode IsRecurring(bool *flag) override;
    DErrorCode ClearRecurrence() override;
    // Without a pattern held: generalErrItemNotFound.
    DErrorCode GetRecurrence(DRecurrencePattern *pattern) override;
    DErrorCode SetRecurrence(const DRecurrencePattern *pattern) override;
    DErrorCode GetTimeZone(TIME_ZONE_INFORMATION *zone) override;
    DErrorCode SetTimeZone(const TIME_ZONE_INFORMATION *zone) override;
    // The item keeps no organizer: both succeed without effect.
    DErrorCode GetOrganizer(DStringPair *organizer) override;
    DErrorCode SetOrganizer(const DStringPair *organizer) override;
    DErrorCode GetUID(VString *uid) override;
    DErrorCode SetUID(const VString &uid) override;
    // Personal (1) and confidential (3) are stored as normal (0).
    DErrorCode GetSensitivity(uint32_t *sensitivity) override;
    DErrorCode SetSensitivity(uint32_t sensitivity) override;
    DErrorCode GetBusyStatus(uint32_t *status) override;
    DErrorCode SetBusyStatus(uint32_t status) override;
    // Read from the device only; never written.
    DErrorCode GetMeetingStatus(uint32_t *status) override;
    DErrorCode SetMeetingStatus(uint32_t status) override;
    DErrorCode GetExceptionCount(uint32_t *count) override;
    DErrorCode GetExceptionInfo(uint32_t index, DExceptionInfo *info) override;
    DErrorCode GetException(const DExceptionInfo *info, IOutlookMeeting **exception) override;
    DErrorCode FindOrAddException(const DExceptionInfo *info, IOutlookMeeting **exception) override;
    DErrorCode AddException(IOutlookMeeting *exception) override;
    DErrorCode Delete() override;
    DErrorCode Load(DWinMobShadowDB *shadow, IPOutlookApp *application, HANDLE database, LONG objectID) override;

    // --- Beside the interface ---
    LONG GetObjectID() const { return m_oid; }
    // The change record (null before Load); not the caller's.
    DWinMobShadowRecord *GetShadowRecord() const { return m_record.get(); }

protected:
    // The fields that an appointment and a changed occurrence share.
    struct Fields {
        std::optional<std::u16string> subject;
        std::optional<std::u16string> location;
        std::optional<std::u16string> body;
        std::optional<LONG> reminderMinutes;
        std::optional<bool> reminderSet;
        std::optional<bool> allDay;
        std::optional<LONG> busyStatus;
        std::optional<LONG> sensitivity;
        std::optional<LONG> meetingStatus;
        std::optional<DATE> start;  // UTC
        std::optional<DATE> end;    // UTC
    };

    // --- Time conversion (DWinMobOutlookCalendarItemTime.cpp) ---
    // A UTC model date to local time under zone, or the device's zone
    // without one; local to UTC always under the device's zone.
    DErrorCode UtcToLocal(DATE utc, DATE *local, const TIME_ZONE_INFORMATION *zone = nullptr) const;
    DErrorCode LocalToUtc(DATE local, DATE *utc) const;
    // Date-time records to and from model dates, neither shifted.
    DErrorCode TmToDate(const struct tm &time, DATE *date) const;
    DErrorCode DateToTm(DATE date, struct tm *time) const;

    // --- Reading and writing (DWinMobOutlookCalendarItemRead.cpp, ...Write.cpp) ---
    // Shared with occurrences: the fields, all-day days, UTC times.
    DErrorCode ReadFields(IAppointment *appointment, Fields *fields);
    // Puts the set fields and the times (under zone, or the device's) on an
    // appointment; allDayForTimes decides the all-day rule for the times.
    DErrorCode PutFields(IAppointment *appointment, const Fields &fields, bool allDayForTimes,
                         const TIME_ZONE_INFORMATION *zone);

    ILogProvider *m_log;
    IPOutlookApp *m_app;
    Fields m_fields;

private:
    friend class DWinMobOutlookCalendarException;

    // --- Reading (DWinMobOutlookCalendarItemRead.cpp) ---
    DErrorCode Read();
    DErrorCode ReadAttendees(IAppointment *appointment);
    DErrorCode ReadRaw();
    // --- Writing (DWinMobOutlookCalendarItemWrite.cpp) ---
    DErrorCode Write();
    DErrorCode WriteSteps();
    DErrorCode WriteAttendees(IAppointment *appointment);
    DErrorCode WriteRaw();
    DErrorCode WriteShadow();
    void Broadcast(WPARAM wParam) const;
    // Deletes the change record of a new appointment that never reached the
    // store: it would stand for nothing, and be counted.
    void DropUnsavedRecord();
    // --- Recurrence (DWinMobOutlookCalendarItemRecurrence.cpp) ---
    DErrorCode ReadRecurrence(IAppointment *appointment);
    DErrorCode WritePattern(IAppointment *appointment, const TIME_ZONE_INFORMATION *zone);
    // --- Exceptions (DWinMobOutlookCalendarItemExceptions.cpp) ---
    DErrorCode ReadExceptions(IAppointment *appointment);
    // Each exception not yet on the device; one that fails is logged and skipped.
    void WriteExceptions(IAppointment *appointment, const TIME_ZONE_INFORMATION *zone);
    DErrorCode WriteException(IRecurrencePattern *pattern, const DWinMobOutlookCalendarException &exception,
                              const TIME_ZONE_INFORMATION *zone);
    // The index of the exception on a local day with that deleted flag.
    bool FindException(DATE localDay, bool deleted, size_t *index) const;
    // The series' local start time as a fraction of a day (0 without a
    // start), under zone or the device's.
    DErrorCode SeriesLocalTimeOfDay(DATE *timeOfDay, const TIME_ZONE_INFORMATION *zone) const;
    // The zone the next commit puts local times in: the item's own for a
    // new series (filled into zone), else null for the device's.
    const TIME_ZONE_INFORMATION *WriteZone(TIME_ZONE_INFORMATION *zone);

    // The body checksum of the held body (zeros without one).
    DErrorCode BodyChecksum(BYTE checksum[8]) const;
    void LogCode(const char *text, DErrorCode code) const;
    bool Stored() const {
        return m_oid != kCalendarOidNone && m_oid != kCalendarOidNew && m_oid != kCalendarOidDeleted;
    }

    DWinMobShadowDB *m_shadow;
    std::unique_ptr<DWinMobShadowRecord> m_record;
    HANDLE m_database;
    LONG m_oid;
    std::optional<std::u16string> m_serverID;
    std::optional<std::u16string> m_uid;
    std::optional<std::u16string> m_categories;  // joined with ", "
    // {name, e-mail} of each attendee.
    std::optional<std::vector<std::pair<std::u16string, std::u16string>>> m_attendees;
    std::optional<bool> m_recurring;
    std::optional<DDeviceRecurrence> m_pattern;
    TIME_ZONE_INFORMATION m_zone;
    bool m_zoneHeld;
    std::vector<std::unique_ptr<DWinMobOutlookCalendarException>> m_exceptions;
};

#endif
