// The personal-information databases and the record properties the object
// model keeps in them: one table of property ids. Ids other programs read
// and write raw are fixed by them (marked "shared"); the rest are the
// model's own and stay clear of the shared ones. Texts are UTF-16; dates are
// FILETIMEs of local time; booleans CEVT_BOOL.
#ifndef VPLATFORM_PIMPROPS_H
#define VPLATFORM_PIMPROPS_H

#include "windbase.h"

namespace vplat {

constexpr CEPROPID PimProp(WORD id, WORD type) { return (CEPROPID(id) << 16) | type; }

extern const WCHAR kPimAppointmentsDb[];  // "Appointments Database"
extern const WCHAR kPimContactsDb[];      // "Contacts Database"
extern const WCHAR kPimTasksDb[];         // "Tasks Database"
extern const WCHAR kPimVolume[];          // "\storage\mxip_initdb.vol" (Smartphone)

// Appointments.
constexpr CEPROPID kApptTimeZone = PimProp(0x0001, CEVT_BLOB);       // shared: 48-byte time zone
constexpr CEPROPID kApptGlobalId = PimProp(0x0067, CEVT_BLOB);       // shared: meeting's global object id
constexpr CEPROPID kApptSubject = PimProp(0x0010, CEVT_LPWSTR);
constexpr CEPROPID kApptLocation = PimProp(0x0011, CEVT_LPWSTR);
constexpr CEPROPID kApptBody = PimProp(0x0012, CEVT_LPWSTR);
constexpr CEPROPID kApptCategories = PimProp(0x0013, CEVT_LPWSTR);
constexpr CEPROPID kApptStart = PimProp(0x0014, CEVT_FILETIME);
constexpr CEPROPID kApptEnd = PimProp(0x0015, CEVT_FILETIME);
constexpr CEPROPID kApptReminderMinutes = PimProp(0x0016, CEVT_I4);
constexpr CEPROPID kApptReminderSet = PimProp(0x0017, CEVT_BOOL);
constexpr CEPROPID kApptAllDay = PimProp(0x0018, CEVT_BOOL);
constexpr CEPROPID kApptBusyStatus = PimProp(0x0019, CEVT_I4);
constexpr CEPROPID kApptSensitivity = PimProp(0x001A, CEVT_I4);
constexpr CEPROPID kApptMeetingStatus = PimProp(0x001B, CEVT_I4);
constexpr CEPROPID kApptRecipients = PimProp(0x001C, CEVT_BLOB);     // see pimblob.h
// The recurrence: present type = the appointment recurs.
constexpr CEPROPID kRecurType = PimProp(0x0020, CEVT_I4);
constexpr CEPROPID kRecurInterval = PimProp(0x0021, CEVT_I4);
constexpr CEPROPID kRecurDayOfWeekMask = PimProp(0x0022, CEVT_I4);
constexpr CEPROPID kRecurDayOfMonth = PimProp(0x0023, CEVT_I4);
constexpr CEPROPID kRecurMonthOfYear = PimProp(0x0024, CEVT_I4);
constexpr CEPROPID kRecurInstance = PimProp(0x0025, CEVT_I4);
constexpr CEPROPID kRecurOccurrences = PimProp(0x0026, CEVT_I4);    // 0: not counted
constexpr CEPROPID kRecurEndDate = PimProp(0x0027, CEVT_FILETIME);  // absent: no end date
constexpr CEPROPID kRecurExceptions = PimProp(0x0028, CEVT_BLOB);   // see pimblob.h
// The engine's server id lies in both databases at this id; the model never writes it.
constexpr CEPROPID kPimServerId = PimProp(0x8103, CEVT_LPWSTR);     // shared

// Contacts: the shared ids of the contact fields (every text field of the
// contact record has the id the sync engine reads and writes raw).
constexpr CEPROPID kContactFirstName = PimProp(0x3A06, CEVT_LPWSTR);     // shared
constexpr CEPROPID kContactLastName = PimProp(0x3A11, CEVT_LPWSTR);      // shared
constexpr CEPROPID kContactCompanyName = PimProp(0x3A16, CEVT_LPWSTR);   // shared
constexpr CEPROPID kContactFileAs = PimProp(0x4013, CEVT_LPWSTR);        // shared
constexpr CEPROPID kContactEmail1 = PimProp(0x4083, CEVT_LPWSTR);        // shared
constexpr CEPROPID kContactMobilePhone = PimProp(0x3A1C, CEVT_LPWSTR);   // shared
constexpr CEPROPID kContactBody = PimProp(0x0012, CEVT_LPWSTR);          // none raw: read through the model
constexpr CEPROPID kContactCategories = PimProp(0x0013, CEVT_LPWSTR);
constexpr CEPROPID kContactBirthday = PimProp(0x0030, CEVT_FILETIME);
constexpr CEPROPID kContactAnniversary = PimProp(0x0031, CEVT_FILETIME);

// Tasks.
constexpr CEPROPID kTaskSubject = PimProp(0x0010, CEVT_LPWSTR);
constexpr CEPROPID kTaskBody = PimProp(0x0012, CEVT_LPWSTR);
constexpr CEPROPID kTaskCategories = PimProp(0x0013, CEVT_LPWSTR);
constexpr CEPROPID kTaskStartDate = PimProp(0x0040, CEVT_FILETIME);
constexpr CEPROPID kTaskDueDate = PimProp(0x0041, CEVT_FILETIME);
constexpr CEPROPID kTaskComplete = PimProp(0x0042, CEVT_BOOL);
constexpr CEPROPID kTaskDateCompleted = PimProp(0x0043, CEVT_FILETIME);
constexpr CEPROPID kTaskImportance = PimProp(0x0044, CEVT_I4);
constexpr CEPROPID kTaskSensitivity = PimProp(0x0045, CEVT_I4);
constexpr CEPROPID kTaskReminderSet = PimProp(0x0046, CEVT_BOOL);

}  // namespace vplat

#endif
