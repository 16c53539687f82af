// DWinMobOutlookCalendarItem: the held fields as the data manager reads and
// sets them (texts, categories, times, numbers, flags, attendees, zone,
// UID).
#include <new>

#include "DWinMobOutlookCalendarItem.h"
#include "MessageText.h"

namespace {

const char16_t kCategorySeparator[] = u", ";
constexpr size_t kCategorySeparatorLength = 2;

DErrorCode PutText(const VString &text, std::optional<std::u16string> *held) {
    std::u16string wide;
    DErrorCode err = MessageTextToWide(text, &wide);
    if (err == kNoError) *held = std::move(wide);
    return err;
}

// An unset text reads as empty.
DErrorCode TakeText(const std::optional<std::u16string> &held, VString *text) {
    if (text == nullptr) return generalErrInvalidParameter;
    const std::u16string empty;
    const std::u16string &value = held ? *held : empty;
    return text->AssignWide(value.data(), uint32_t(value.size()), kVStringUTF16LE);
}

// A new list entry holding the text, behind last (or in the caller's first
// node while it is empty).
DErrorCode AppendEntry(StringListNode *list, const std::u16string &text) {
    VString *value = new (std::nothrow) VString;
    if (value == nullptr) return generalErrMemoryError;
    DErrorCode err = value->AssignWide(text.data(), uint32_t(text.size()), kVStringUTF16LE);
    if (err != kNoError) {
        delete value;
        return err;
    }
    if (list->value == nullptr && list->next == nullptr) {
        list->value = value;
        return kNoError;
    }
    StringListNode *last = list;
    while (last->next != nullptr) last = last->next;
    last->next = new (std::nothrow) StringListNode{value, nullptr};
    if (last->next == nullptr) {
        delete value;
        return generalErrMemoryError;
    }
    return kNoError;
}

bool IsNoDate(const struct tm &time) { return time.tm_mday == 0 || time.tm_year == -1900; }

}  // namespace

// --- Texts ---

DErrorCode DWinMobOutlookCalendarItem::SetSubject(const VString &text) { return PutText(text, &m_fields.subject); }
DErrorCode DWinMobOutlookCalendarItem::GetSubject(VString *text) { return TakeText(m_fields.subject, text); }
DErrorCode DWinMobOutlookCalendarItem::SetLocation(const VString &text) { return PutText(text, &m_fields.location); }
DErrorCode DWinMobOutlookCalendarItem::GetLocation(VString *text) { return TakeText(m_fields.location, text); }
DErrorCode DWinMobOutlookCalendarItem::SetBody(const VString &text) { return PutText(text, &m_fields.body); }
DErrorCode DWinMobOutlookCalendarItem::GetBody(VString *text) { return TakeText(m_fields.body, text); }
DErrorCode DWinMobOutlookCalendarItem::SetUID(const VString &uid) { return PutText(uid, &m_uid); }
DErrorCode DWinMobOutlookCalendarItem::GetUID(VString *uid) { return TakeText(m_uid, uid); }

// --- Categories: one text joined with ", " ---

DErrorCode DWinMobOutlookCalendarItem::GetCategories(StringListNode *list) {
    if (list == nullptr) return generalErrInvalidParameter;
    if (!m_categories || m_categories->empty()) return kNoError;
    const std::u16string &text = *m_categories;
    size_t from = 0;
    try {
        for (;;) {
            const size_t at = text.find(kCategorySeparator, from);
            DErrorCode err = AppendEntry(list, text.substr(from, at == std::u16string::npos ? at : at - from));
            if (err != kNoError || at == std::u16string::npos) return err;
            from = at + kCategorySeparatorLength;
        }
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
}

DErrorCode DWinMobOutlookCalendarItem::SetCategories(const StringListNode *list) {
    std::u16string joined;
    for (const StringListNode *node = list; node != nullptr && node->value != nullptr; node = node->next) {
        std::u16string one;
        DErrorCode err = MessageTextToWide(*node->value, &one);
        if (err != kNoError) return err;
        try {
            if (node != list) joined += kCategorySeparator;
            joined += one;
        } catch (const std::bad_alloc &) {
            return generalErrMemoryError;
        }
    }
    m_categories = std::move(joined);
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::AppendCategory(const VString &text) {
    std::u16string one;
    DErrorCode err = MessageTextToWide(text, &one);
    if (err != kNoError) return err;
    try {
        if (m_categories && !m_categories->empty())
            one = *m_categories + kCategorySeparator + one;
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    m_categories = std::move(one);
    return kNoError;
}

// --- Times (held in UTC) ---

DErrorCode DWinMobOutlookCalendarItem::GetStartTime(struct tm *time) {
    if (time == nullptr) return generalErrInvalidParameter;
    *time = {};
    return m_fields.start ? DateToTm(*m_fields.start, time) : kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::GetEndTime(struct tm *time) {
    if (time == nullptr) return generalErrInvalidParameter;
    *time = {};
    return m_fields.end ? DateToTm(*m_fields.end, time) : kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::SetStartEndTime(const struct tm *start, const struct tm *end) {
    if (start == nullptr || end == nullptr) return generalErrInvalidParameter;
    DATE from = PIM_DATE_NONE, to = PIM_DATE_NONE;
    DErrorCode err = IsNoDate(*start) ? kNoError : TmToDate(*start, &from);
    if (err == kNoError && !IsNoDate(*end)) err = TmToDate(*end, &to);
    if (err != kNoError) return err;
    m_fields.start = from;
    m_fields.end = to;
    return kNoError;
}

// --- Numbers and flags (unset reads as 0 / false) ---

DErrorCode DWinMobOutlookCalendarItem::GetReminder(uint32_t *minutes) {
    if (minutes == nullptr) return generalErrInvalidParameter;
    *minutes = uint32_t(m_fields.reminderMinutes.value_or(0));
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::SetReminder(uint32_t minutes) {
    m_fields.reminderMinutes = LONG(minutes);
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::IsReminderSet(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    *flag = m_fields.reminderSet.value_or(false);
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::SetReminderSet(bool flag) {
    m_fields.reminderSet = flag;
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::IsAllDayEvent(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    *flag = m_fields.allDay.value_or(false);
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::SetAllDayEvent(bool flag) {
    m_fields.allDay = flag;
    return kNoError;
}

// An item whose appointment vanished has no flag: it does not recur.
DErrorCode DWinMobOutlookCalendarItem::IsRecurring(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    *flag = m_recurring.value_or(false);
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::ClearRecurrence() {
    m_recurring = false;
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::GetSensitivity(uint32_t *sensitivity) {
    if (sensitivity == nullptr) return generalErrInvalidParameter;
    *sensitivity = uint32_t(m_fields.sensitivity.value_or(0));
    return kNoError;
}

// The device shows personal and confidential items to everyone alike: they are kept as normal.
DErrorCode DWinMobOutlookCalendarItem::SetSensitivity(uint32_t sensitivity) {
    m_fields.sensitivity =
        sensitivity == olPersonal || sensitivity == olConfidential ? LONG(olNormal) : LONG(sensitivity);
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::GetBusyStatus(uint32_t *status) {
    if (status == nullptr) return generalErrInvalidParameter;
    *status = uint32_t(m_fields.busyStatus.value_or(0));
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::SetBusyStatus(uint32_t status) {
    m_fields.busyStatus = LONG(status);
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::GetMeetingStatus(uint32_t *status) {
    if (status == nullptr) return generalErrInvalidParameter;
    *status = uint32_t(m_fields.meetingStatus.value_or(0));
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::SetMeetingStatus(uint32_t status) {
    m_fields.meetingStatus = LONG(status);
    return kNoError;
}

// --- Zone, organizer, attendees ---

DErrorCode DWinMobOutlookCalendarItem::GetTimeZone(TIME_ZONE_INFORMATION *zone) {
    if (zone == nullptr) return generalErrInvalidParameter;
    // Without a zone of its own the item lives in the device's.
    if (m_zoneHeld)
        *zone = m_zone;
    else
        GetTimeZoneInformation(zone);
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::SetTimeZone(const TIME_ZONE_INFORMATION *zone) {
    if (zone == nullptr) return generalErrInvalidParameter;
    m_zone = *zone;
    m_zoneHeld = true;
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::GetOrganizer(DStringPair *) { return kNoError; }
DErrorCode DWinMobOutlookCalendarItem::SetOrganizer(const DStringPair *) { return kNoError; }

DErrorCode DWinMobOutlookCalendarItem::GetAttendees(DListNode<DStringPair> *list) {
    if (list == nullptr) return generalErrInvalidParameter;
    if (!m_attendees) return kNoError;
    for (const auto &held : *m_attendees) {
        DStringPair *pair = new (std::nothrow) DStringPair;
        if (pair == nullptr) return generalErrMemoryError;
        DErrorCode err = pair->name.AssignWide(held.first.data(), uint32_t(held.first.size()), kVStringUTF16LE);
        if (err == kNoError)
            err = pair->email.AssignWide(held.second.data(), uint32_t(held.second.size()), kVStringUTF16LE);
        if (err == kNoError) err = list->Append(pair);
        if (err != kNoError) {
            delete pair;
            return err;
        }
    }
    return kNoError;
}

DErrorCode DWinMobOutlookCalendarItem::SetAttendees(const DListNode<DStringPair> *list) {
    std::vector<std::pair<std::u16string, std::u16string>> copy;
    for (const DListNode<DStringPair> *node = list; node != nullptr; node = node->next) {
        if (node->item == nullptr) continue;
        std::u16string name, email;
        DErrorCode err = MessageTextToWide(node->item->name, &name);
        if (err == kNoError) err = MessageTextToWide(node->item->email, &email);
        if (err != kNoError) return err;
        try {
            copy.emplace_back(std::move(name), std::move(email));
        } catch (const std::bad_alloc &) {
            return generalErrMemoryError;
        }
    }
    m_attendees = std::move(copy);
    return kNoError;
}
