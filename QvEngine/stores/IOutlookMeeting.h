// IOutlookMeeting: one appointment of the device calendar (or one changed
// or cancelled occurrence of a recurring one) as the data manager sees it.
// Texts are VStrings, lists StringListNode chains (categories) or DListNode
// chains of DStringPair (attendees), times UTC date-time records (struct
// tm: month 0 to 11, years since 1900). Values stay unset until read or
// set, and only set values are written by Commit or CommitNewItem.
// - Set replaces the held value with a copy; a list getter fills the
//   caller's first node and appends further ones.
// - Unset numbers and texts read as 0 and as the empty text.
// - An occurrence is itself an IOutlookMeeting: its Commit hands it to its
//   master, which writes it with its own commit.
#ifndef QV_IOUTLOOKMEETING_H
#define QV_IOUTLOOKMEETING_H

#include <cstdint>
#include <ctime>

#include "DListNode.h"
#include "DRecurrencePattern.h"
#include "DStringPair.h"
#include "IOutlookItem.h"
#include "StringList.h"
#include "VString.h"
#include "wintime.h"

class DWinMobShadowDB;
class IPOutlookApp;

class IOutlookMeeting : public IOutlookItem {
public:
    virtual DErrorCode SetSubject(const VString &text) = 0;
    virtual DErrorCode GetSubject(VString *text) = 0;
    virtual DErrorCode SetLocation(const VString &text) = 0;
    virtual DErrorCode GetLocation(VString *text) = 0;
    virtual DErrorCode SetBody(const VString &text) = 0;
    virtual DErrorCode GetBody(VString *text) = 0;
    // True when the item is changed on the device and its body differs from
    // the body last written (or none was recorded).
    virtual DErrorCode IsBodyChanged(bool *flag) = 0;
    virtual DErrorCode GetCategories(StringListNode *list) = 0;
    virtual DErrorCode SetCategories(const StringListNode *list) = 0;
    // Adds one category behind the held ones.
    virtual DErrorCode AppendCategory(const VString &text) = 0;
    virtual DErrorCode GetStartTime(struct tm *time) = 0;
    // Both at once; a record whose year is 0 stands for no date.
    virtual DErrorCode SetStartEndTime(const struct tm *start, const struct tm *end) = 0;
    virtual DErrorCode GetEndTime(struct tm *time) = 0;
    // Minutes before the start.
    virtual DErrorCode GetReminder(uint32_t *minutes) = 0;
    virtual DErrorCode SetReminder(uint32_t minutes) = 0;
    virtual DErrorCode GetAttendees(DListNode<DStringPair> *list) = 0;
    virtual DErrorCode SetAttendees(const DListNode<DStringPair> *list) = 0;
    virtual DErrorCode IsReminderSet(bool *flag) = 0;
    virtual DErrorCode SetReminderSet(bool flag) = 0;
    virtual DErrorCode IsAllDayEvent(bool *flag) = 0;
    virtual DErrorCode SetAllDayEvent(bool flag) = 0;
    virtual DErrorCode IsRecurring(bool *flag) = 0;
    virtual DErrorCode ClearRecurrence() = 0;
    virtual DErrorCode GetRecurrence(DRecurrencePattern *pattern) = 0;
    // Setting a pattern makes the item recurring.
    virtual DErrorCode SetRecurrence(const DRecurrencePattern *pattern) = 0;
    // The 172-byte time-zone record the item's times belong to.
    virtual DErrorCode GetTimeZone(TIME_ZONE_INFORMATION *zone) = 0;
    virtual DErrorCode SetTimeZone(const TIME_ZONE_INFORMATION *zone) = 0;
    virtual DErrorCode GetOrganizer(DStringPair *organizer) = 0;
    virtual DErrorCode SetOrganizer(const DStringPair *organizer) = 0;
    // The meeting's identity as ActiveSync carries it.
    virtual DErrorCode GetUID(VString *uid) = 0;
    virtual DErrorCode SetUID(const VString &uid) = 0;
    // 0 normal, 1 personal, 2 private, 3 confidential.
    virtual DErrorCode GetSensitivity(uint32_t *sensitivity) = 0;
    virtual DErrorCode SetSensitivity(uint32_t sensitivity) = 0;
    // 0 free, 1 tentative, 2 busy, 3 out of office.
    virtual DErrorCode GetBusyStatus(uint32_t *status) = 0;
    virtual DErrorCode SetBusyStatus(uint32_t status) = 0;
    virtual DErrorCode GetMeetingStatus(uint32_t *status) = 0;
    virtual DErrorCode SetMeetingStatus(uint32_t status) = 0;
    virtual DErrorCode GetExceptionCount(uint32_t *count) = 0;
    // The exception at a 0-based position: its original start (UTC) and
    // whether it is cancelled; past the end generalErrItemNotFound.
    virtual DErrorCode GetExceptionInfo(uint32_t index, DExceptionInfo *info) = 0;
    // A copy of the exception that info names (same deleted flag, same
    // original day); the caller deletes it. None: generalErrItemNotFound.
    virtual DErrorCode GetException(const DExceptionInfo *info, IOutlookMeeting **exception) = 0;
    // A new exception for the occurrence on info's day: handed to the
    // caller (who fills it, commits it and deletes it) when exception is
    // not null, else added to the item at once (a cancelled occurrence).
    virtual DErrorCode FindOrAddException(const DExceptionInfo *info, IOutlookMeeting **exception) = 0;
    // Adds a copy of the exception to the item's list; the caller keeps it.
    virtual DErrorCode AddException(IOutlookMeeting *exception) = 0;
    // Removes the appointment from the device and its change record.
    virtual DErrorCode Delete() = 0;
    // Binds the item to its store (the calendar's change records, the
    // object model's application and the calendar database, none of them
    // owned) and reads the appointment with that object id; -2 makes a new,
    // not yet stored one.
    virtual DErrorCode Load(DWinMobShadowDB *shadow, IPOutlookApp *application, HANDLE database,
                            LONG objectID) = 0;
};

#endif
