// The device's personal-information object model: the calendar, the
// contacts and the tasks as programs see them, over the same property
// databases of the object store ("Appointments Database", "Contacts
// Database", "Tasks Database"; on the Smartphone edition inside the PIM
// volume "\storage\mxip_initdb.vol").
//
// - An item IS one record of its kind's database: its object id is the
//   record's, so raw reads and writes by that id see the item and the item
//   sees them. Items keep their own properties in their record; raw
//   properties the model does not know are left alone.
// - A new item is a record only once saved. Save writes what was put since
//   the item was read (everything set, for a new item) in one
//   CeWriteRecordProps; Delete is one CeDeleteRecord; so every model write
//   raises exactly the database notification a raw write raises.
// - Results: S_OK, or a negative HRESULT; a failed database call gives
//   HRESULT_FROM_WIN32 of its error. Out-parameters are set only on success.
// - Texts are UTF-16 (null in means the empty text; an empty text removes
//   the property). Booleans are VARIANT_BOOL (-1 / 0). Dates are DATE, OLE
//   days since 1899-12-30 in the device's local time, rounded to the second
//   on every conversion; 4501-01-01 (949998.0) stands for "no date".
// - Objects are reference counted: whoever receives one owns one reference
//   and calls Release. An application object is used by one thread at a time.
#ifndef VPLATFORM_VPLATFORM_PIM_H
#define VPLATFORM_VPLATFORM_PIM_H

#include <string>

#include "windbase.h"
#include "wintime.h"
#include "wintypes.h"
#include "winuser.h"

typedef double DATE;
typedef SHORT VARIANT_BOOL;
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

// The date that stands for none.
#define PIM_DATE_NONE 949998.0

// An object id, index or occurrence that names nothing.
#define PIM_E_NOTFOUND HRESULT_FROM_WIN32(ERROR_NOT_FOUND)
// A call on an application that is not logged on, or on an item whose
// application has logged off.
#define PIM_E_NOTLOGGEDON E_UNEXPECTED

enum OlDefaultFolders { olFolderCalendar = 9, olFolderContacts = 10, olFolderTasks = 13 };
enum OlItemType { olAppointmentItem = 1, olContactItem = 2, olTaskItem = 3 };
enum OlRecurrenceType {
    olRecursDaily = 0,
    olRecursWeekly = 1,
    olRecursMonthly = 2,  // by day of month
    olRecursMonthNth = 3,  // by the nth weekday of the month
    olRecursYearly = 5,  // by day of month of a month
    olRecursYearNth = 6  // by the nth weekday of a month
};
enum OlDaysOfWeek {
    olSunday = 1,
    olMonday = 2,
    olTuesday = 4,
    olWednesday = 8,
    olThursday = 16,
    olFriday = 32,
    olSaturday = 64
};
enum OlBusyStatus { olFree = 0, olTentative = 1, olBusy = 2, olOutOfOffice = 3 };
enum OlSensitivity { olNormal = 0, olPersonal = 1, olPrivate = 2, olConfidential = 3 };
enum OlMeetingStatus { olNonMeeting = 0, olMeeting = 1, olMeetingReceived = 3, olMeetingCanceled = 5 };
enum OlImportance { olImportanceLow = 0, olImportanceNormal = 1, olImportanceHigh = 2 };

class IAppointment;
class IContact;
class ITask;

// Reference counting shared by every object of the model.
class IPimObject {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IPimObject() = default;
};

// One counted reference to an object of the model, released with the
// holder: copies add a reference, Out hands the slot to a call that gives
// one out, Share gives the receiver a reference of its own.
template <class T>
class PimRef {
public:
    PimRef() = default;
    // Takes over a reference the caller owns.
    explicit PimRef(T *owned) : m_p(owned) {}
    PimRef(const PimRef &other) : m_p(other.m_p) {
        if (m_p != nullptr) m_p->AddRef();
    }
    PimRef(PimRef &&other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    PimRef &operator=(PimRef other) noexcept {
        T *held = m_p;
        m_p = other.m_p;
        other.m_p = held;
        return *this;
    }
    ~PimRef() { Reset(); }
    void Reset() {
        if (m_p != nullptr) m_p->Release();
        m_p = nullptr;
    }
    T **Out() {
        Reset();
        return &m_p;
    }
    T *Get() const { return m_p; }
    T *operator->() const { return m_p; }
    T *Share() const {
        if (m_p != nullptr) m_p->AddRef();
        return m_p;
    }

private:
    T *m_p = nullptr;
};

// What every item offers, whatever its kind.
class IPimItem : public IPimObject {
public:
    // The record's object id; 0 for an item never saved or deleted.
    virtual HRESULT get_Oid(CEOID *oid) = 0;
    // olAppointmentItem, olContactItem or olTaskItem.
    virtual HRESULT get_ItemType(LONG *type) = 0;
    virtual HRESULT Save() = 0;
    // Removes the record; the object then names nothing (get_Oid 0) and
    // Save and Delete answer PIM_E_NOTFOUND.
    virtual HRESULT Delete() = 0;
    // The same item as its kind's interface (one more reference);
    // E_NOINTERFACE for another kind.
    virtual HRESULT QueryAppointment(IAppointment **appointment) = 0;
    virtual HRESULT QueryContact(IContact **contact) = 0;
    virtual HRESULT QueryTask(ITask **task) = 0;
};

// One attendee of an appointment; a change is written with the appointment.
class IRecipient : public IPimObject {
public:
    virtual HRESULT get_Name(std::u16string *name) = 0;
    virtual HRESULT get_Address(std::u16string *address) = 0;
    virtual HRESULT put_Address(LPCWSTR address) = 0;
};

// An appointment's attendees, 1-based; changes are written with the
// appointment.
class IRecipients : public IPimObject {
public:
    virtual HRESULT get_Count(int *count) = 0;
    virtual HRESULT Item(int index, IRecipient **recipient) = 0;
    virtual HRESULT Add(LPCWSTR name, IRecipient **recipient) = 0;
    virtual HRESULT Remove(int index) = 0;
};

// One changed or deleted occurrence of a recurring appointment.
class IException : public IPimObject {
public:
    // The day the occurrence fell on by the pattern, at 00:00.
    virtual HRESULT get_OriginalDate(DATE *date) = 0;
    virtual HRESULT get_Deleted(VARIANT_BOOL *deleted) = 0;
    // The changed occurrence (its Save and Delete change the exception);
    // PIM_E_NOTFOUND for a deleted one.
    virtual HRESULT get_AppointmentItem(IAppointment **appointment) = 0;
};

// The exceptions as they stand in the store when asked for, in the order of
// their original dates, 1-based.
class IExceptions : public IPimObject {
public:
    virtual HRESULT get_Count(int *count) = 0;
    virtual HRESULT Item(int index, IException **exception) = 0;
};

// The recurrence of one appointment. Occurrences fall on days on or after
// the appointment's start day, at its start's time of day, in local time;
// none falls after 2039-12-31, the calendar's last day. A change is written
// with the appointment's Save.
// - Setting the type starts its fields afresh: interval 1 and the day
//   fields from the start (its weekday, day, month and week of the month);
//   the end stays. So a yearly pattern, whose interval writers leave alone,
//   never inherits the interval of the pattern it replaces.
// - Occurrences (1 or more), PatternEndDate and NoEndDate are three forms of
//   one end: setting one replaces the others. An end date at or after
//   2040-01-01 (PIM_DATE_NONE included) makes the pattern endless. An
//   endless pattern reads Occurrences 0 and PatternEndDate PIM_DATE_NONE; a
//   counted one reads the day of its last occurrence as its end date.
// - Instance 5 is the last such weekday of the month. A monthly or yearly
//   day past the month's end falls on the month's last day (day 31 in
//   April on the 30th, February 29 on the 28th in other years).
class IRecurrencePattern : public IPimObject {
public:
    virtual HRESULT get_RecurrenceType(LONG *type) = 0;
    virtual HRESULT put_RecurrenceType(LONG type) = 0;
    virtual HRESULT get_Interval(LONG *interval) = 0;
    virtual HRESULT put_Interval(LONG interval) = 0;  // 1 to 999 days, weeks, months or years
    virtual HRESULT get_DayOfWeekMask(LONG *mask) = 0;
    virtual HRESULT put_DayOfWeekMask(LONG mask) = 0;  // OlDaysOfWeek bits, not 0
    virtual HRESULT get_DayOfMonth(LONG *day) = 0;
    virtual HRESULT put_DayOfMonth(LONG day) = 0;  // 1 to 31
    virtual HRESULT get_MonthOfYear(LONG *month) = 0;
    virtual HRESULT put_MonthOfYear(LONG month) = 0;  // 1 to 12
    virtual HRESULT get_Instance(LONG *instance) = 0;
    virtual HRESULT put_Instance(LONG instance) = 0;  // 1 to 4, 5 the last
    virtual HRESULT get_Occurrences(LONG *count) = 0;
    virtual HRESULT put_Occurrences(LONG count) = 0;
    virtual HRESULT get_PatternStartDate(DATE *date) = 0;
    virtual HRESULT get_PatternEndDate(DATE *date) = 0;
    virtual HRESULT put_PatternEndDate(DATE date) = 0;
    virtual HRESULT get_NoEndDate(VARIANT_BOOL *noEnd) = 0;
    virtual HRESULT put_NoEndDate(VARIANT_BOOL noEnd) = 0;
    virtual HRESULT get_Exceptions(IExceptions **exceptions) = 0;
    // The occurrence on the day of date (any time of that day), changed
    // as its exception says; PIM_E_NOTFOUND when the pattern has none that
    // day or that occurrence is deleted. Its Save records a change of the
    // occurrence, its Delete a deleted occurrence; each is one write of the
    // appointment's record. Its object id is the appointment's; it has no
    // attendees, categories or pattern of its own (E_NOTIMPL).
    virtual HRESULT GetOccurrence(DATE date, IAppointment **occurrence) = 0;
};

class IAppointment : public IPimItem {
public:
    virtual HRESULT get_Subject(std::u16string *text) = 0;
    virtual HRESULT put_Subject(LPCWSTR text) = 0;
    virtual HRESULT get_Location(std::u16string *text) = 0;
    virtual HRESULT put_Location(LPCWSTR text) = 0;
    virtual HRESULT get_Body(std::u16string *text) = 0;
    virtual HRESULT put_Body(LPCWSTR text) = 0;
    // Categories joined with ", ".
    virtual HRESULT get_Categories(std::u16string *text) = 0;
    virtual HRESULT put_Categories(LPCWSTR text) = 0;
    virtual HRESULT get_Start(DATE *date) = 0;
    virtual HRESULT put_Start(DATE date) = 0;
    virtual HRESULT get_End(DATE *date) = 0;
    virtual HRESULT put_End(DATE date) = 0;
    virtual HRESULT get_ReminderMinutesBeforeStart(LONG *minutes) = 0;
    virtual HRESULT put_ReminderMinutesBeforeStart(LONG minutes) = 0;
    virtual HRESULT get_ReminderSet(VARIANT_BOOL *set) = 0;
    virtual HRESULT put_ReminderSet(VARIANT_BOOL set) = 0;
    virtual HRESULT get_AllDayEvent(VARIANT_BOOL *allDay) = 0;
    virtual HRESULT put_AllDayEvent(VARIANT_BOOL allDay) = 0;
    virtual HRESULT get_BusyStatus(LONG *status) = 0;
    virtual HRESULT put_BusyStatus(LONG status) = 0;
    virtual HRESULT get_Sensitivity(LONG *sensitivity) = 0;
    virtual HRESULT put_Sensitivity(LONG sensitivity) = 0;
    // Set by the meeting's organiser's program, read here.
    virtual HRESULT get_MeetingStatus(LONG *status) = 0;
    virtual HRESULT get_IsRecurring(VARIANT_BOOL *recurring) = 0;
    virtual HRESULT get_Recipients(IRecipients **recipients) = 0;
    // The appointment's pattern; an appointment that does not recur gets a
    // weekly one on its start's weekday and recurs from then on.
    virtual HRESULT GetRecurrencePattern(IRecurrencePattern **pattern) = 0;
    // The appointment no longer recurs; its exceptions go with the pattern.
    virtual HRESULT ClearRecurrencePattern() = 0;
};

class IContact : public IPimItem {
public:
    virtual HRESULT get_FirstName(std::u16string *text) = 0;
    virtual HRESULT put_FirstName(LPCWSTR text) = 0;
    virtual HRESULT get_LastName(std::u16string *text) = 0;
    virtual HRESULT put_LastName(LPCWSTR text) = 0;
    virtual HRESULT get_CompanyName(std::u16string *text) = 0;
    virtual HRESULT put_CompanyName(LPCWSTR text) = 0;
    // Unless set, Save files the contact as "Last, First" (or the one
    // name there is, or the company).
    virtual HRESULT get_FileAs(std::u16string *text) = 0;
    virtual HRESULT put_FileAs(LPCWSTR text) = 0;
    virtual HRESULT get_Email1Address(std::u16string *text) = 0;
    virtual HRESULT put_Email1Address(LPCWSTR text) = 0;
    virtual HRESULT get_MobileTelephoneNumber(std::u16string *text) = 0;
    virtual HRESULT put_MobileTelephoneNumber(LPCWSTR text) = 0;
    virtual HRESULT get_Body(std::u16string *text) = 0;
    virtual HRESULT put_Body(LPCWSTR text) = 0;
    virtual HRESULT get_Categories(std::u16string *text) = 0;
    virtual HRESULT put_Categories(LPCWSTR text) = 0;
    virtual HRESULT get_Birthday(DATE *date) = 0;
    virtual HRESULT put_Birthday(DATE date) = 0;
    virtual HRESULT get_Anniversary(DATE *date) = 0;
    virtual HRESULT put_Anniversary(DATE date) = 0;
};

class ITask : public IPimItem {
public:
    virtual HRESULT get_Subject(std::u16string *text) = 0;
    virtual HRESULT put_Subject(LPCWSTR text) = 0;
    virtual HRESULT get_Body(std::u16string *text) = 0;
    virtual HRESULT put_Body(LPCWSTR text) = 0;
    virtual HRESULT get_Categories(std::u16string *text) = 0;
    virtual HRESULT put_Categories(LPCWSTR text) = 0;
    virtual HRESULT get_StartDate(DATE *date) = 0;
    virtual HRESULT put_StartDate(DATE date) = 0;
    virtual HRESULT get_DueDate(DATE *date) = 0;
    virtual HRESULT put_DueDate(DATE date) = 0;
    virtual HRESULT get_Complete(VARIANT_BOOL *complete) = 0;
    virtual HRESULT put_Complete(VARIANT_BOOL complete) = 0;
    virtual HRESULT get_DateCompleted(DATE *date) = 0;
    virtual HRESULT put_DateCompleted(DATE date) = 0;
    virtual HRESULT get_Importance(LONG *importance) = 0;
    virtual HRESULT put_Importance(LONG importance) = 0;
    virtual HRESULT get_Sensitivity(LONG *sensitivity) = 0;
    virtual HRESULT put_Sensitivity(LONG sensitivity) = 0;
    virtual HRESULT get_ReminderSet(VARIANT_BOOL *set) = 0;
    virtual HRESULT put_ReminderSet(VARIANT_BOOL set) = 0;
};

// The items of one kind's database, 1-based in the database's order, read
// afresh at each call.
class IPOutlookItemCollection : public IPimObject {
public:
    virtual HRESULT get_Count(int *count) = 0;
    virtual HRESULT Item(int index, IPimItem **item) = 0;
    // A new, unsaved item of the collection's kind.
    virtual HRESULT Add(IPimItem **item) = 0;
    // Deletes the item's record; PIM_E_NOTFOUND past the end.
    virtual HRESULT Remove(int index) = 0;
};

class IFolder : public IPimObject {
public:
    virtual HRESULT get_Items(IPOutlookItemCollection **items) = 0;
    virtual HRESULT get_DefaultItemType(int *type) = 0;
};

// The application: a logon opens the three databases (making any that is
// missing); a logoff closes them, after which its folders and items answer
// PIM_E_NOTLOGGEDON.
class IPOutlookApp : public IPimObject {
public:
    virtual HRESULT Logon(HWND hwnd) = 0;
    virtual HRESULT Logoff() = 0;
    virtual HRESULT GetDefaultFolder(int folder, IFolder **result) = 0;
    virtual HRESULT CreateItem(int itemType, IPimItem **item) = 0;
    // The appointment, contact or task with that object id.
    virtual HRESULT GetItemFromOid(CEOID oid, IPimItem **item) = 0;
    // E_INVALIDARG for a date or time out of range (years 100 to 9999).
    virtual HRESULT SystemTimeToVariantTime(const SYSTEMTIME *time, DATE *date) = 0;
    virtual HRESULT VariantTimeToSystemTime(DATE date, SYSTEMTIME *time) = 0;
};

namespace vplat {

// Where an edition keeps the databases: the Pocket PC edition in the
// object store, the Smartphone edition in the PIM volume. A program built
// for an edition takes its own by default.
enum class PimEdition { PocketPC, Smartphone };
#ifdef VANTREL_EDITION_SMARTPHONE
constexpr PimEdition kPimEdition = PimEdition::Smartphone;
#else
constexpr PimEdition kPimEdition = PimEdition::PocketPC;
#endif

// A new application object (not logged on).
PLATAPI HRESULT PimCreateApplication(IPOutlookApp **app, PimEdition edition = kPimEdition);

// What a person does in the calendar and the contacts: each action logs on,
// works through the model and logs off, so it raises the notifications the
// device's own programs raise. Dates are local.
struct PimUserAppointment {
    std::u16string subject;
    std::u16string location;
    std::u16string body;
    SYSTEMTIME start{};
    SYSTEMTIME end{};
    bool allDay = false;
};
struct PimUserContact {
    std::u16string firstName;
    std::u16string lastName;
    std::u16string companyName;
    std::u16string email;
    std::u16string mobilePhone;
    std::u16string body;
};
// Creating gives the new record's object id; changing puts every field
// (an empty text clears it) and saves; deleting removes the record.
PLATAPI HRESULT PimUserCreateAppointment(const PimUserAppointment &fields, CEOID *oid,
                                         PimEdition edition = kPimEdition);
PLATAPI HRESULT PimUserChangeAppointment(CEOID oid, const PimUserAppointment &fields,
                                         PimEdition edition = kPimEdition);
PLATAPI HRESULT PimUserDeleteAppointment(CEOID oid, PimEdition edition = kPimEdition);
PLATAPI HRESULT PimUserCreateContact(const PimUserContact &fields, CEOID *oid, PimEdition edition = kPimEdition);
PLATAPI HRESULT PimUserChangeContact(CEOID oid, const PimUserContact &fields, PimEdition edition = kPimEdition);
PLATAPI HRESULT PimUserDeleteContact(CEOID oid, PimEdition edition = kPimEdition);

}  // namespace vplat

#endif
