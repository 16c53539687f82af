// DWinMobOutlookCalendarItem: reading an appointment from the object model
// and from its raw record (zone, global object id, server id).
#include <cstring>
#include <string>

#include "DWinMobOutlookCalendarItem.h"
#include "DWinMobOutlookCalendarPim.h"
#include "MeetingUID.h"
#include "winmem.h"

namespace {

// The 48-byte zone blob: three biases, then the two transition dates, each
// behind two zero bytes.
constexpr size_t kZoneBias = 0;
constexpr size_t kZoneStandardBias = 4;
constexpr size_t kZoneDaylightBias = 8;
constexpr size_t kZoneStandardDate = 14;
constexpr size_t kZoneDaylightDate = 32;

LONG ReadLong(const BYTE *at) {
    return LONG(uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24);
}

SYSTEMTIME ReadSystemTime(const BYTE *at) {
    WORD w[8];
    for (int i = 0; i < 8; ++i) w[i] = WORD(at[2 * i] | at[2 * i + 1] << 8);
    return SYSTEMTIME{w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]};
}

}  // namespace

DErrorCode DWinMobOutlookCalendarItem::Read() {
    PimRef<IPimItem> item;
    PimRef<IAppointment> appointment;
    HRESULT hr = m_app->GetItemFromOid(CEOID(m_oid), item.Out());
    if (hr == PIM_E_NOTFOUND) {
        // Removed on the device: only the record's server id is left.
        if (m_record->HasServerID()) m_serverID = std::u16string(m_record->GetServerID());
        return kNoError;
    }
    if (SUCCEEDED(hr)) hr = item->QueryAppointment(appointment.Out());
    if (FAILED(hr)) {
        LogCode("DWinMobOutlookCalendarItem::Read() - ERROR: appointment not opened ", DErrorCode(hr));
        return DErrorCode(hr);
    }
    std::u16string categories;
    hr = appointment->get_Categories(&categories);
    if (FAILED(hr)) return DErrorCode(hr);
    m_categories = std::move(categories);
    DErrorCode err = ReadFields(appointment.Get(), &m_fields);
    if (err == kNoError) err = ReadAttendees(appointment.Get());
    if (err == kNoError) err = ReadRecurrence(appointment.Get());
    if (err == kNoError && m_recurring.value_or(false)) err = ReadExceptions(appointment.Get());
    if (err == kNoError) err = ReadRaw();
    if (err != kNoError) LogCode("DWinMobOutlookCalendarItem::Read() - ERROR: ", err);
    return err;
}

DErrorCode DWinMobOutlookCalendarItem::ReadFields(IAppointment *appointment, Fields *fields) {
    std::u16string subject, location, body;
    LONG reminder = 0, busy = 0, sensitivity = 0, meeting = 0;
    VARIANT_BOOL reminderSet = VARIANT_FALSE, allDay = VARIANT_FALSE;
    DATE start = PIM_DATE_NONE, end = PIM_DATE_NONE;
    HRESULT hr = appointment->get_Subject(&subject);
    if (SUCCEEDED(hr)) hr = appointment->get_Location(&location);
    if (SUCCEEDED(hr)) hr = appointment->get_Body(&body);
    if (SUCCEEDED(hr)) hr = appointment->get_ReminderMinutesBeforeStart(&reminder);
    if (SUCCEEDED(hr)) hr = appointment->get_ReminderSet(&reminderSet);
    if (SUCCEEDED(hr)) hr = appointment->get_AllDayEvent(&allDay);
    if (SUCCEEDED(hr)) hr = appointment->get_BusyStatus(&busy);
    if (SUCCEEDED(hr)) hr = appointment->get_Sensitivity(&sensitivity);
    if (SUCCEEDED(hr)) hr = appointment->get_MeetingStatus(&meeting);
    if (SUCCEEDED(hr)) hr = appointment->get_Start(&start);
    if (SUCCEEDED(hr)) hr = appointment->get_End(&end);
    if (FAILED(hr)) return DErrorCode(hr);

    // The device keeps an all-day event as its days, 00:00 to 23:59 of the
    // last; the item holds the day after the last at 00:00 as its end. An
    // end already at 00:00 of a later day is that day.
    if (allDay != VARIANT_FALSE && start != PIM_DATE_NONE && end != PIM_DATE_NONE) {
        const bool endsAtMidnight = PimTimeOfDay(end) == 0.0 && PimDayStart(end) > PimDayStart(start);
        start = PimDayStart(start);
        end = endsAtMidnight ? PimDayStart(end) : PimDayStart(end) + 1.0;
    }
    DATE startUtc = PIM_DATE_NONE, endUtc = PIM_DATE_NONE;
    DErrorCode err = LocalToUtc(start, &startUtc);
    if (err == kNoError) err = LocalToUtc(end, &endUtc);
    if (err != kNoError) return err;

    fields->subject = std::move(subject);
    fields->location = std::move(location);
    fields->body = std::move(body);
    fields->reminderMinutes = reminder;
    fields->reminderSet = reminderSet != VARIANT_FALSE;
    fields->allDay = allDay != VARIANT_FALSE;
    fields->busyStatus = busy;
    fields->sensitivity = sensitivity;
    fields->meetingStatus = meeting;
    fields->start = startUtc;
    fields->end = endUtc;
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::ReadAttendees(IAppointment *appointment) {
    PimRef<IRecipients> recipients;
    int count = 0;
    HRESULT hr = appointment->get_Recipients(recipients.Out());
    if (SUCCEEDED(hr)) hr = recipients->get_Count(&count);
    std::vector<std::pair<std::u16string, std::u16string>> list;
    for (int index = 1; SUCCEEDED(hr) && index <= count; ++index) {
        PimRef<IRecipient> recipient;
        std::u16string name, address;
        hr = recipients->Item(index, recipient.Out());
        if (SUCCEEDED(hr)) hr = recipient->get_Name(&name);
        if (SUCCEEDED(hr)) hr = recipient->get_Address(&address);
        if (SUCCEEDED(hr)) list.emplace_back(std::move(name), std::move(address));
    }
    if (FAILED(hr)) return DErrorCode(hr);
    m_attendees = std::move(list);
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::ReadRaw() {
    WORD count = 0;
    LPBYTE buffer = nullptr;
    DWORD size = 0;
    if (CeSeekDatabaseEx(m_database, CEDB_SEEK_CEOID, DWORD_PTR(m_oid), 0, nullptr) != CEOID(m_oid) ||
        CeReadRecordPropsEx(m_database, CEDB_ALLOWREALLOC, &count, nullptr, &buffer, &size, nullptr) !=
            CEOID(m_oid)) {
        if (buffer != nullptr) LocalFree(buffer);
        return generalErrUnknownError;
    }
    const auto *props = reinterpret_cast<const CEPROPVAL *>(buffer);
    bool zoneFound = false;
    DErrorCode err = kNoError;
    for (WORD i = 0; i < count && err == kNoError; ++i) {
        const CEPROPVAL &prop = props[i];
        if ((prop.wFlags & CEDB_PROPNOTFOUND) != 0) continue;
        if (prop.propid == kAppointmentPropTimeZone && prop.val.blob.dwCount >= kAppointmentZoneBlobSize &&
            prop.val.blob.lpb != nullptr) {
            // Only the first 48 bytes are the zone; a shorter blob is none.
            const BYTE *blob = prop.val.blob.lpb;
            std::memset(&m_zone, 0, sizeof m_zone);
            m_zone.Bias = ReadLong(blob + kZoneBias);
            m_zone.StandardBias = ReadLong(blob + kZoneStandardBias);
            m_zone.DaylightBias = ReadLong(blob + kZoneDaylightBias);
            m_zone.StandardDate = ReadSystemTime(blob + kZoneStandardDate);
            m_zone.DaylightDate = ReadSystemTime(blob + kZoneDaylightDate);
            zoneFound = true;
        } else if (prop.propid == kAppointmentPropGlobalObjectID) {
            WCHAR *uid = nullptr;
            const HRESULT hr = GlobalObjectIDToUID(&prop.val.blob, &uid, nullptr);
            if (SUCCEEDED(hr)) {
                m_uid = std::u16string(uid);
                LocalFree(uid);
            } else if (hr == E_OUTOFMEMORY) {
                err = generalErrMemoryError;
            } else {
                m_uid.reset();  // too short or of another kind: no UID
            }
        } else if (prop.propid == kAppointmentPropServerID && prop.val.lpwstr != nullptr) {
            m_serverID = std::u16string(prop.val.lpwstr);
        }
    }
    LocalFree(buffer);
    if (err != kNoError) return err;
    if (!zoneFound) GetTimeZoneInformation(&m_zone);
    m_zoneHeld = true;
    return kNoError;
}
