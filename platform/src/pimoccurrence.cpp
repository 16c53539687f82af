// One occurrence of a recurring appointment: what its exception changes,
// else the appointment's own values (its start falls on the occurrence's
// day at the appointment's time of day, its end the appointment's length
// later). Save records the occurrence's changes as the exception of its day,
// Delete records the day as deleted; each writes the appointment's exception
// list alone, as stored now, in one write. It has no attendees, categories
// or pattern of its own.
#include <algorithm>

#include "pimappointment.h"

namespace vplat {
namespace {

// One occurrence: its exception's working copy over the master.
class PimOccurrence : public PimObject<IAppointment> {
public:
    PimOccurrence(PimAppointment *master, PimException entry) : m_master(PimHold(master)), m_entry(std::move(entry)) {}

    HRESULT get_Oid(CEOID *oid) override { return m_master->get_Oid(oid); }
    HRESULT get_ItemType(LONG *type) override { return m_master->get_ItemType(type); }
    HRESULT Save() override { return Record(false); }
    HRESULT Delete() override { return Record(true); }
    HRESULT QueryAppointment(IAppointment **appointment) override {
        if (appointment == nullptr) return E_POINTER;
        AddRef();
        *appointment = this;
        return S_OK;
    }
    HRESULT QueryContact(IContact **) override { return E_NOINTERFACE; }
    HRESULT QueryTask(ITask **) override { return E_NOINTERFACE; }

    HRESULT get_Subject(std::u16string *text) override {
        return Text(kExSubject, m_entry.subject, &PimAppointment::get_Subject, text);
    }
    HRESULT put_Subject(LPCWSTR text) override { return PutText(kExSubject, &m_entry.subject, text); }
    HRESULT get_Location(std::u16string *text) override {
        return Text(kExLocation, m_entry.location, &PimAppointment::get_Location, text);
    }
    HRESULT put_Location(LPCWSTR text) override { return PutText(kExLocation, &m_entry.location, text); }
    HRESULT get_Body(std::u16string *text) override {
        return Text(kExBody, m_entry.body, &PimAppointment::get_Body, text);
    }
    HRESULT put_Body(LPCWSTR text) override { return PutText(kExBody, &m_entry.body, text); }
    HRESULT get_Categories(std::u16string *text) override { return m_master->get_Categories(text); }
    HRESULT put_Categories(LPCWSTR) override { return E_NOTIMPL; }

    HRESULT get_Start(DATE *date) override { return ToDate(Start(), date); }
    HRESULT put_Start(DATE date) override { return PutTime(kExStart, &m_entry.start, date); }
    HRESULT get_End(DATE *date) override {
        return ToDate((m_entry.fields & kExEnd) != 0 ? m_entry.end : Start() + m_master->DurationSeconds(), date);
    }
    HRESULT put_End(DATE date) override { return PutTime(kExEnd, &m_entry.end, date); }

    HRESULT get_ReminderMinutesBeforeStart(LONG *minutes) override {
        return Num(kExReminderMinutes, m_entry.reminderMinutes, &PimAppointment::get_ReminderMinutesBeforeStart,
                   minutes);
    }
    HRESULT put_ReminderMinutesBeforeStart(LONG minutes) override {
        if (minutes < 0) return E_INVALIDARG;
        return PutNum(kExReminderMinutes, &m_entry.reminderMinutes, minutes);
    }
    HRESULT get_ReminderSet(VARIANT_BOOL *set) override {
        return Flag(kExReminderSet, m_entry.reminderSet, &PimAppointment::get_ReminderSet, set);
    }
    HRESULT put_ReminderSet(VARIANT_BOOL set) override { return PutFlag(kExReminderSet, &m_entry.reminderSet, set); }
    HRESULT get_AllDayEvent(VARIANT_BOOL *allDay) override {
        return Flag(kExAllDay, m_entry.allDay, &PimAppointment::get_AllDayEvent, allDay);
    }
    HRESULT put_AllDayEvent(VARIANT_BOOL allDay) override { return PutFlag(kExAllDay, &m_entry.allDay, allDay); }
    HRESULT get_BusyStatus(LONG *status) override {
        return Num(kExBusyStatus, m_entry.busyStatus, &PimAppointment::get_BusyStatus, status);
    }
    HRESULT put_BusyStatus(LONG status) override {
        if (status < olFree || status > olOutOfOffice) return E_INVALIDARG;
        return PutNum(kExBusyStatus, &m_entry.busyStatus, status);
    }
    HRESULT get_Sensitivity(LONG *sensitivity) override {
        return Num(kExSensitivity, m_entry.sensitivity, &PimAppointment::get_Sensitivity, sensitivity);
    }
    HRESULT put_Sensitivity(LONG sensitivity) override {
        if (sensitivity < olNormal || sensitivity > olConfidential) return E_INVALIDARG;
        return PutNum(kExSensitivity, &m_entry.sensitivity, sensitivity);
    }
    HRESULT get_MeetingStatus(LONG *status) override { return m_master->get_MeetingStatus(status); }
    HRESULT get_IsRecurring(VARIANT_BOOL *recurring) override { return m_master->get_IsRecurring(recurring); }
    HRESULT get_Recipients(IRecipients **) override { return E_NOTIMPL; }
    HRESULT GetRecurrencePattern(IRecurrencePattern **) override { return E_NOTIMPL; }
    HRESULT ClearRecurrencePattern() override { return E_NOTIMPL; }

private:
    int64_t Start() const {
        if ((m_entry.fields & kExStart) != 0) return m_entry.start;
        const int64_t master = m_master->StartSeconds();
        const int64_t timeOfDay = master - PimDayOf(master) * kPimSecondsPerDay;
        return m_entry.originalDay * kPimSecondsPerDay + timeOfDay;
    }
    static HRESULT ToDate(int64_t seconds, DATE *date) {
        if (date == nullptr) return E_POINTER;
        return PimSecondsToDate(seconds, date) ? S_OK : E_INVALIDARG;
    }

    HRESULT Text(uint32_t field, const std::u16string &own, HRESULT (PimAppointment::*master)(std::u16string *),
                 std::u16string *text) {
        if (text == nullptr) return E_POINTER;
        if ((m_entry.fields & field) == 0) return (m_master.Get()->*master)(text);
        *text = own;
        return S_OK;
    }
    HRESULT Num(uint32_t field, int32_t own, HRESULT (PimAppointment::*master)(LONG *), LONG *value) {
        if (value == nullptr) return E_POINTER;
        if ((m_entry.fields & field) == 0) return (m_master.Get()->*master)(value);
        *value = own;
        return S_OK;
    }
    HRESULT Flag(uint32_t field, bool own, HRESULT (PimAppointment::*master)(VARIANT_BOOL *), VARIANT_BOOL *value) {
        if (value == nullptr) return E_POINTER;
        if ((m_entry.fields & field) == 0) return (m_master.Get()->*master)(value);
        *value = own ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT PutText(uint32_t field, std::u16string *own, LPCWSTR text) {
        *own = text != nullptr ? text : u"";
        m_entry.fields |= field;
        return S_OK;
    }
    HRESULT PutNum(uint32_t field, int32_t *own, LONG value) {
        *own = value;
        m_entry.fields |= field;
        return S_OK;
    }
    HRESULT PutFlag(uint32_t field, bool *own, VARIANT_BOOL value) {
        *own = value != VARIANT_FALSE;
        m_entry.fields |= field;
        return S_OK;
    }
    HRESULT PutTime(uint32_t field, int64_t *own, DATE date) {
        int64_t seconds;
        if (!PimDateToSeconds(date, &seconds)) return E_INVALIDARG;
        *own = seconds;
        m_entry.fields |= field;
        return S_OK;
    }

    // Writes this occurrence's exception (deleted: the day as deleted) into
    // the list as stored now, in day order, one per day.
    HRESULT Record(bool deleted) {
        if (m_gone) return PIM_E_NOTFOUND;
        std::vector<PimException> list;
        m_master->StoredExceptions(&list);
        PimException entry = m_entry;
        if (deleted) {
            entry = PimException();
            entry.originalDay = m_entry.originalDay;
            entry.deleted = true;
        }
        auto at = std::lower_bound(list.begin(), list.end(), entry.originalDay,
                                   [](const PimException &e, int64_t day) { return e.originalDay < day; });
        if (at != list.end() && at->originalDay == entry.originalDay) {
            *at = entry;
        } else {
            list.insert(at, entry);
        }
        HRESULT hr = m_master->WriteExceptions(list);
        if (SUCCEEDED(hr) && deleted) m_gone = true;
        return hr;
    }

    PimRef<PimAppointment> m_master;
    PimException m_entry;
    bool m_gone = false;
};

}  // namespace

HRESULT PimNewOccurrence(PimAppointment *master, const PimException &entry, IAppointment **occurrence) {
    if (occurrence == nullptr) return E_POINTER;
    *occurrence = new PimOccurrence(master, entry);
    return S_OK;
}

}  // namespace vplat
