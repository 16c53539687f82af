#include "pimappointment.h"

#include <algorithm>

#include "pimitems.h"

namespace vplat {
namespace {

// The recurrence properties; a change of any of them (or of the start) can
// move occurrences.
const CEPROPID kPatternProps[] = {kRecurType,       kRecurInterval, kRecurDayOfWeekMask,
                                  kRecurDayOfMonth, kRecurMonthOfYear, kRecurInstance,
                                  kRecurOccurrences, kRecurEndDate};

}  // namespace

HRESULT PimAppointment::get_Oid(CEOID *oid) {
    if (oid == nullptr) return E_POINTER;
    *oid = m_core.Oid();
    return S_OK;
}

HRESULT PimAppointment::get_ItemType(LONG *type) {
    if (type == nullptr) return E_POINTER;
    *type = olAppointmentItem;
    return S_OK;
}

HRESULT PimAppointment::QueryAppointment(IAppointment **appointment) {
    if (appointment == nullptr) return E_POINTER;
    AddRef();
    *appointment = this;
    return S_OK;
}

HRESULT PimAppointment::get_Subject(std::u16string *text) { return m_core.GetText(kApptSubject, text); }
HRESULT PimAppointment::put_Subject(LPCWSTR text) { return m_core.PutText(kApptSubject, text); }
HRESULT PimAppointment::get_Location(std::u16string *text) { return m_core.GetText(kApptLocation, text); }
HRESULT PimAppointment::put_Location(LPCWSTR text) { return m_core.PutText(kApptLocation, text); }
HRESULT PimAppointment::get_Body(std::u16string *text) { return m_core.GetText(kApptBody, text); }
HRESULT PimAppointment::put_Body(LPCWSTR text) { return m_core.PutText(kApptBody, text); }
HRESULT PimAppointment::get_Categories(std::u16string *text) { return m_core.GetText(kApptCategories, text); }
HRESULT PimAppointment::put_Categories(LPCWSTR text) { return m_core.PutText(kApptCategories, text); }
HRESULT PimAppointment::get_Start(DATE *date) { return m_core.GetDate(kApptStart, date); }
HRESULT PimAppointment::put_Start(DATE date) { return m_core.PutDate(kApptStart, date); }
HRESULT PimAppointment::get_End(DATE *date) { return m_core.GetDate(kApptEnd, date); }
HRESULT PimAppointment::put_End(DATE date) { return m_core.PutDate(kApptEnd, date); }
HRESULT PimAppointment::get_ReminderMinutesBeforeStart(LONG *minutes) {
    return m_core.GetNum(kApptReminderMinutes, minutes);
}
HRESULT PimAppointment::put_ReminderMinutesBeforeStart(LONG minutes) {
    return minutes < 0 ? E_INVALIDARG : m_core.PutNum(kApptReminderMinutes, minutes);
}
HRESULT PimAppointment::get_ReminderSet(VARIANT_BOOL *set) { return m_core.GetBool(kApptReminderSet, set); }
HRESULT PimAppointment::put_ReminderSet(VARIANT_BOOL set) { return m_core.PutBool(kApptReminderSet, set); }
HRESULT PimAppointment::get_AllDayEvent(VARIANT_BOOL *allDay) { return m_core.GetBool(kApptAllDay, allDay); }
HRESULT PimAppointment::put_AllDayEvent(VARIANT_BOOL allDay) { return m_core.PutBool(kApptAllDay, allDay); }
HRESULT PimAppointment::get_BusyStatus(LONG *status) { return m_core.GetNum(kApptBusyStatus, status); }
HRESULT PimAppointment::put_BusyStatus(LONG status) {
    return status < olFree || status > olOutOfOffice ? E_INVALIDARG : m_core.PutNum(kApptBusyStatus, status);
}
HRESULT PimAppointment::get_Sensitivity(LONG *sensitivity) { return m_core.GetNum(kApptSensitivity, sensitivity); }
HRESULT PimAppointment::put_Sensitivity(LONG sensitivity) {
    return sensitivity < olNormal || sensitivity > olConfidential ? E_INVALIDARG
                                                                  : m_core.PutNum(kApptSensitivity, sensitivity);
}
HRESULT PimAppointment::get_MeetingStatus(LONG *status) { return m_core.GetNum(kApptMeetingStatus, status); }

HRESULT PimAppointment::get_IsRecurring(VARIANT_BOOL *recurring) {
    if (recurring == nullptr) return E_POINTER;
    *recurring = Recurs() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT PimAppointment::get_Recipients(IRecipients **recipients) { return PimNewRecipients(this, recipients); }

HRESULT PimAppointment::GetRecurrencePattern(IRecurrencePattern **pattern) {
    if (pattern == nullptr) return E_POINTER;
    if (!Recurs()) BeginRecurrence();
    return PimNewPattern(this, pattern);
}

HRESULT PimAppointment::ClearRecurrencePattern() {
    for (CEPROPID id : kPatternProps) m_core.Record().Remove(id);
    m_core.Record().Remove(kRecurExceptions);
    return S_OK;
}

void PimAppointment::BeginRecurrence() {
    PimPattern pattern;
    PimPatternFillFrom(PimDayOf(StartSeconds()), &pattern);
    PimRecord &record = m_core.Record();
    record.PutNum(kRecurType, olRecursWeekly);
    record.PutNum(kRecurInterval, 1);
    record.PutNum(kRecurDayOfWeekMask, pattern.dayOfWeekMask);
    record.PutNum(kRecurDayOfMonth, pattern.dayOfMonth);
    record.PutNum(kRecurMonthOfYear, pattern.monthOfYear);
    record.PutNum(kRecurInstance, pattern.instance);
    record.Remove(kRecurOccurrences);
    record.Remove(kRecurEndDate);
}

PimPattern PimAppointment::Pattern() const {
    const PimRecord &record = m_core.Record();
    PimPattern p;
    p.type = LONG(record.Num(kRecurType, olRecursWeekly));
    p.interval = LONG(record.Num(kRecurInterval, 1));
    p.dayOfWeekMask = LONG(record.Num(kRecurDayOfWeekMask));
    p.dayOfMonth = LONG(record.Num(kRecurDayOfMonth));
    p.monthOfYear = LONG(record.Num(kRecurMonthOfYear));
    p.instance = LONG(record.Num(kRecurInstance));
    p.occurrences = LONG(record.Num(kRecurOccurrences));
    int64_t end;
    p.hasEndDate = PimRecordSeconds(record, kRecurEndDate, &end);
    if (p.hasEndDate) p.endDay = PimDayOf(end);
    return p;
}

int64_t PimAppointment::StartSeconds() const {
    int64_t start = 0;
    return PimRecordSeconds(m_core.Record(), kApptStart, &start) ? start : 0;
}

int64_t PimAppointment::DurationSeconds() const {
    int64_t start, end;
    if (!PimRecordSeconds(m_core.Record(), kApptStart, &start) || !PimRecordSeconds(m_core.Record(), kApptEnd, &end)) {
        return 0;
    }
    return std::max<int64_t>(0, end - start);
}

std::vector<std::shared_ptr<PimRecipient>> &PimAppointment::RecipientList() {
    if (!m_recipientsRead) {
        std::vector<PimRecipient> list;
        PimDecodeRecipients(m_core.Record().Blob(kApptRecipients), &list);
        for (PimRecipient &r : list) m_recipients.push_back(std::make_shared<PimRecipient>(std::move(r)));
        m_recipientsRead = true;
    }
    return m_recipients;
}

void PimAppointment::RecipientsChanged() {
    std::vector<PimRecipient> list;
    for (const auto &r : m_recipients) list.push_back(*r);
    m_core.Record().PutBlob(kApptRecipients, list.empty() ? std::vector<BYTE>() : PimEncodeRecipients(list));
}

void PimAppointment::StoredExceptions(std::vector<PimException> *list) {
    list->clear();
    std::vector<BYTE> blob;
    if (m_core.Oid() == 0) {
        blob = m_core.Record().Blob(kRecurExceptions);
    } else {
        PimValues values;
        if (m_core.Store().Read(PimKind::Appointment, m_core.Oid(), &values) != ERROR_SUCCESS) return;
        auto it = values.find(kRecurExceptions);
        if (it == values.end()) return;
        blob = it->second.blob;
    }
    if (!PimDecodeExceptions(blob, list)) list->clear();
}

HRESULT PimAppointment::WriteExceptions(const std::vector<PimException> &list) {
    HRESULT hr = m_core.Usable();
    if (FAILED(hr)) return hr;
    if (m_core.Oid() == 0) return PIM_E_NOTFOUND;  // an occurrence of an appointment never saved
    std::vector<BYTE> blob = PimEncodeExceptions(list);
    CEPROPVAL change = {};
    change.propid = kRecurExceptions;
    change.val.blob = {DWORD(blob.size()), blob.data()};
    std::vector<CEPROPVAL> changes{change};
    CEOID written = 0;
    return PimResult(m_core.Store().Write(PimKind::Appointment, m_core.Oid(), changes, &written));
}

HRESULT PimAppointment::Save() {
    HRESULT hr = m_core.Usable();
    if (FAILED(hr)) return hr;
    PimRecord &record = m_core.Record();
    if (Recurs()) {
        if (!record.Has(kApptStart) || !PimPatternValid(Pattern())) return E_INVALIDARG;
        bool moved = record.Pending(kApptStart);
        for (CEPROPID id : kPatternProps) moved = moved || record.Pending(id);
        if (moved && m_core.Oid() != 0 && !record.Pending(kRecurExceptions)) {
            std::vector<PimException> list;
            StoredExceptions(&list);
            const PimPattern pattern = Pattern();
            const int64_t startDay = PimDayOf(StartSeconds());
            const size_t before = list.size();
            list.erase(std::remove_if(list.begin(), list.end(),
                                      [&](const PimException &e) {
                                          return !PimIsOccurrence(pattern, startDay, e.originalDay);
                                      }),
                       list.end());
            if (list.size() != before) {
                record.PutBlob(kRecurExceptions, list.empty() ? std::vector<BYTE>() : PimEncodeExceptions(list));
            }
        }
    }
    return m_core.Save();
}

HRESULT PimNewAppointment(std::shared_ptr<PimStore> store, CEOID oid, IPimItem **item) {
    return PimMakeItem<PimAppointment>(std::move(store), oid, item);
}

}  // namespace vplat
