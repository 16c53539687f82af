// DWinMobOutlookCalendarItem: writing the item to the object model, to its
// raw record and to its change record, in one commit bracketed by the
// notifier broadcasts.
#include <cstring>
#include <new>
#include <vector>

#include "DWinMobOutlookCalendarItem.h"
#include "DWinMobOutlookCalendarPim.h"
#include "DWinMobShadowDB.h"
#include "MeetingUID.h"
#include "winmem.h"

namespace {

const WCHAR kNoName[] = u"[No Name]";

void WriteLong(BYTE *at, LONG value) {
    for (int i = 0; i < 4; ++i) at[i] = BYTE(uint32_t(value) >> (8 * i));
}

void WriteSystemTime(BYTE *at, const SYSTEMTIME &time) {
    const WORD w[8] = {time.wYear,   time.wMonth,  time.wDayOfWeek, time.wDay,
                       time.wHour,   time.wMinute, time.wSecond,    time.wMilliseconds};
    for (int i = 0; i < 8; ++i) {
        at[2 * i] = BYTE(w[i]);
        at[2 * i + 1] = BYTE(w[i] >> 8);
    }
}

}  // namespace

DErrorCode DWinMobOutlookCalendarItem::Write() {
    if (m_app == nullptr || m_record == nullptr) return generalErrNotInitialized;
    Broadcast(0);
    DErrorCode err = kNoError;
    try {
        err = WriteSteps();
    } catch (const std::bad_alloc &) {
        err = generalErrMemoryError;
    }
    // Closed also after a failure, or the scheduler would ignore the user's changes from now on.
    Broadcast(WPARAM(0xFFFFFFFFu));
    if (err != kNoError) LogCode("DWinMobOutlookCalendarItem::Commit() - ERROR: ", err);
    return err;
}

DErrorCode DWinMobOutlookCalendarItem::WriteSteps() {
    const bool creating = m_oid == kCalendarOidNew || m_oid == kCalendarOidDeleted;
    const bool recurring = m_recurring.value_or(false);
    TIME_ZONE_INFORMATION zone;
    const TIME_ZONE_INFORMATION *writeZone = WriteZone(&zone);

    // The fields, then the first save, which gives a new item its id.
    PimRef<IPimItem> item;
    PimRef<IAppointment> appointment;
    HRESULT hr = creating ? m_app->CreateItem(olAppointmentItem, item.Out())
                          : m_app->GetItemFromOid(CEOID(m_oid), item.Out());
    if (SUCCEEDED(hr)) hr = item->QueryAppointment(appointment.Out());
    if (SUCCEEDED(hr) && m_categories) hr = appointment->put_Categories(m_categories->c_str());
    if (FAILED(hr)) return DErrorCode(hr);
    DErrorCode err = PutFields(appointment.Get(), m_fields, m_fields.allDay.value_or(false), writeZone);
    CEOID oid = 0;
    if (err == kNoError) {
        hr = appointment->Save();
        if (SUCCEEDED(hr)) hr = appointment->get_Oid(&oid);
        if (FAILED(hr)) err = DErrorCode(hr);
    }
    if (err != kNoError) return err;
    m_oid = LONG(oid);
    // The properties the model does not know.
    err = WriteRaw();
    if (err != kNoError) return err;

    // Attendees, pattern and exceptions on the stored appointment.
    hr = m_app->GetItemFromOid(oid, item.Out());
    if (SUCCEEDED(hr)) hr = item->QueryAppointment(appointment.Out());
    if (FAILED(hr)) return DErrorCode(hr);
    err = WriteAttendees(appointment.Get());
    if (err == kNoError) err = WritePattern(appointment.Get(), writeZone);
    if (err == kNoError && recurring) {
        hr = appointment->Save();
        if (FAILED(hr)) return DErrorCode(hr);
        WriteExceptions(appointment.Get(), writeZone);
    }
    if (err != kNoError) return err;
    hr = appointment->Save();
    if (SUCCEEDED(hr)) hr = appointment->get_Oid(&oid);
    if (FAILED(hr)) return DErrorCode(hr);
    m_oid = LONG(oid);
    // The body as the device keeps it is the body the checksum stands for.
    if (m_fields.body) {
        std::u16string body;
        hr = appointment->get_Body(&body);
        if (FAILED(hr)) return DErrorCode(hr);
        m_fields.body = std::move(body);
    }
    // The raw properties once more on the finished appointment, then the change record.
    err = WriteRaw();
    if (err == kNoError) err = WriteShadow();
    return err;
}

// A new series is put in the zone it came with; everything else in the device's.
const TIME_ZONE_INFORMATION *DWinMobOutlookCalendarItem::WriteZone(TIME_ZONE_INFORMATION *zone) {
    const bool creating = m_oid == kCalendarOidNew || m_oid == kCalendarOidDeleted;
    if (!creating || !m_recurring.value_or(false)) return nullptr;
    GetTimeZone(zone);
    return zone;
}

DErrorCode DWinMobOutlookCalendarItem::PutFields(IAppointment *appointment, const Fields &fields, bool allDayForTimes,
                                                 const TIME_ZONE_INFORMATION *zone) {
    HRESULT hr = S_OK;
    if (fields.subject) hr = appointment->put_Subject(fields.subject->c_str());
    if (SUCCEEDED(hr) && fields.location) hr = appointment->put_Location(fields.location->c_str());
    if (SUCCEEDED(hr) && fields.body) hr = appointment->put_Body(fields.body->c_str());
    if (SUCCEEDED(hr) && fields.reminderMinutes)
        hr = appointment->put_ReminderMinutesBeforeStart(*fields.reminderMinutes);
    if (SUCCEEDED(hr) && fields.reminderSet)
        hr = appointment->put_ReminderSet(*fields.reminderSet ? VARIANT_TRUE : VARIANT_FALSE);
    if (SUCCEEDED(hr) && fields.allDay)
        hr = appointment->put_AllDayEvent(*fields.allDay ? VARIANT_TRUE : VARIANT_FALSE);
    if (SUCCEEDED(hr) && fields.busyStatus) hr = appointment->put_BusyStatus(*fields.busyStatus);
    if (SUCCEEDED(hr) && fields.sensitivity) hr = appointment->put_Sensitivity(*fields.sensitivity);
    if (FAILED(hr)) return DErrorCode(hr);
    if (!fields.start && !fields.end) return kNoError;

    DATE start = PIM_DATE_NONE, end = PIM_DATE_NONE;
    DErrorCode err = fields.start ? UtcToLocal(*fields.start, &start, zone) : kNoError;
    if (err == kNoError && fields.end) err = UtcToLocal(*fields.end, &end, zone);
    if (err != kNoError) return err;
    // The device shows an all-day event as its days, 00:00 to 23:59 of the last.
    if (allDayForTimes) {
        if (start != PIM_DATE_NONE) start = PimDayStart(start);
        if (end != PIM_DATE_NONE) end = PimDayStart(end) - kPimMinute;
        if (start != PIM_DATE_NONE && end != PIM_DATE_NONE && end < start) end = start + kPimMinute;
    }
    if (fields.start) hr = appointment->put_Start(start);
    if (SUCCEEDED(hr) && fields.end) hr = appointment->put_End(end);
    return SUCCEEDED(hr) ? kNoError : DErrorCode(hr);
}

DErrorCode DWinMobOutlookCalendarItem::WriteAttendees(IAppointment *appointment) {
    if (!m_attendees) return kNoError;
    PimRef<IRecipients> recipients;
    int count = 0;
    HRESULT hr = appointment->get_Recipients(recipients.Out());
    if (SUCCEEDED(hr)) hr = recipients->get_Count(&count);
    for (int index = count; SUCCEEDED(hr) && index >= 1; --index) hr = recipients->Remove(index);
    for (const auto &attendee : *m_attendees) {
        if (FAILED(hr)) break;
        const std::u16string &name = attendee.first, &email = attendee.second;
        const WCHAR *shown = !name.empty() ? name.c_str() : !email.empty() ? email.c_str() : kNoName;
        PimRef<IRecipient> recipient;
        hr = recipients->Add(shown, recipient.Out());
        if (SUCCEEDED(hr)) hr = recipient->put_Address(email.c_str());
    }
    return SUCCEEDED(hr) ? kNoError : DErrorCode(hr);
}

// One write of the global object id, the server id and, for a series, the
// zone it belongs to.
DErrorCode DWinMobOutlookCalendarItem::WriteRaw() {
    std::vector<CEPROPVAL> props;
    CEBLOB globalID = {0, nullptr};
    if (m_uid && !m_uid->empty()) {
        const HRESULT hr = UIDToGlobalObjectID(m_uid->c_str(), &globalID);
        if (hr == E_OUTOFMEMORY) return generalErrMemoryError;
        if (SUCCEEDED(hr)) {
            CEPROPVAL prop = {};
            prop.propid = kAppointmentPropGlobalObjectID;
            prop.val.blob = globalID;
            props.push_back(prop);
        } else {
            LogCode("DWinMobOutlookCalendarItem::WriteRaw() - UID not kept: ", DErrorCode(hr));
        }
    }
    std::u16string serverID;
    if (m_serverID) {
        serverID = *m_serverID;
        CEPROPVAL prop = {};
        prop.propid = kAppointmentPropServerID;
        prop.val.lpwstr = &serverID[0];
        props.push_back(prop);
    }
    BYTE zoneBlob[kAppointmentZoneBlobSize] = {};
    if (m_recurring.value_or(false)) {
        TIME_ZONE_INFORMATION zone;
        GetTimeZone(&zone);
        WriteLong(zoneBlob + 0, zone.Bias);
        WriteLong(zoneBlob + 4, zone.StandardBias);
        WriteLong(zoneBlob + 8, zone.DaylightBias);
        WriteSystemTime(zoneBlob + 14, zone.StandardDate);
        WriteSystemTime(zoneBlob + 32, zone.DaylightDate);
        CEPROPVAL prop = {};
        prop.propid = kAppointmentPropTimeZone;
        prop.val.blob = {kAppointmentZoneBlobSize, zoneBlob};
        props.push_back(prop);
    }
    DErrorCode err = kNoError;
    if (!props.empty() &&
        CeWriteRecordProps(m_database, CEOID(m_oid), WORD(props.size()), props.data()) != CEOID(m_oid)) {
        // A write that did not land is a failure, whatever the caller does next.
        const DWORD last = GetLastError();
        err = DErrorCode(HRESULT_FROM_WIN32(last != ERROR_SUCCESS ? last : ERROR_GEN_FAILURE));
        LogCode("DWinMobOutlookCalendarItem::WriteRaw() - ERROR: ", err);
    }
    if (globalID.lpb != nullptr) LocalFree(globalID.lpb);
    return err;
}

DErrorCode DWinMobOutlookCalendarItem::WriteShadow() {
    DErrorCode err = m_serverID ? m_record->SetServerID(m_serverID->c_str()) : kNoError;
    if (err == kNoError) err = m_record->SetOutlookObjectID(uint32_t(m_oid));
    BYTE checksum[8] = {};
    bool sent = false;
    if (err == kNoError) err = BodyChecksum(checksum);
    if (err == kNoError) err = m_record->IsSent(&sent);
    // A body written while the item's change is on its way is not yet the
    // body the server has: it becomes so with the server's answer.
    if (err == kNoError) err = sent ? m_record->SetSentBodyChecksum(checksum) : m_record->SetBodyChecksum(checksum);
    if (err == kNoError) err = m_shadow->WriteRecord(m_record.get());
    return err;
}
