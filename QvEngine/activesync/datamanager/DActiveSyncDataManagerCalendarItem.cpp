// The calendar mapping: a meeting's ApplicationData both ways. Server to
// device, each field's setter runs in a fixed order; for the item itself a
// missing tag sets the field's default, for one Exception of a recurring
// meeting only the tags present change the occurrence. Device to server, the
// ApplicationData children go in the order the server expects.
#include <cstring>
#include <new>
#include <string>

#include "Base64.h"
#include "DASDP_SyncResponse.h"
#include "DActiveSyncDataManager.h"
#include "DActiveSyncDataManagerCalendarFields.h"
#include "DActiveSyncDataManagerText.h"
#include "DateTimeConvert.h"
#include "DateTimeText.h"
#include "ICorvanePreferences.h"
#include "IOutlookMeeting.h"
#include "LogDateTime.h"
#include "StringList.h"
#include "TimeZoneBase64.h"

using namespace calendar_fields;

namespace {

const char *const kTagStatus = "0x0E_0x00";
const char *const kTagApplicationData = "0x1D_0x00";
const char *const kTagAdd = "0x07_0x00";

// An item refused in the server's conflict resolution.
constexpr uint32_t kItemStatusConflict = 7;
// Failed-item log texts: exception, item, subject, start.
constexpr uint32_t kTextFailedException = 21;
constexpr uint32_t kTextFailedItem = 22;
constexpr uint32_t kTextFailedSubject = 23;
constexpr uint32_t kTextFailedStart = 24;
// More than this many seconds (that is, 23 hours or more) make a day.
constexpr int64_t kAllDaySeconds = 82799;

// Only a text that decodes to a whole record replaces the zone: a short one
// would leave bytes of another zone behind, a long one be cut to fit.
bool DecodeWholeTimeZone(const std::string &text, TIME_ZONE_INFORMATION *zone) {
    uint32_t decoded = 0;
    BYTE *bytes = Base64Decode(text.c_str(), uint32_t(text.size()), &decoded);
    const bool whole = bytes != nullptr && decoded == kTimeZoneRecordSize;
    if (whole) std::memcpy(zone, bytes, kTimeZoneRecordSize);
    delete[] bytes;
    return whole;
}

// A first character "0" to "3", else none.
bool FirstDigitUpTo3(const std::string &text, uint32_t *value) {
    if (text.empty() || text[0] < '0' || text[0] > '3') return false;
    *value = uint32_t(text[0] - '0');
    return true;
}

uint32_t FirstCharCode(const std::string &text) { return text.empty() ? 0 : uint32_t(uint8_t(text[0])); }

// The seconds from start to end of the meeting as now set.
int64_t Duration(IOutlookMeeting *meeting) {
    struct tm start = {}, end = {};
    if (meeting->GetStartTime(&start) != kNoError || meeting->GetEndTime(&end) != kNoError) return 0;
    return int64_t(timegm(&end)) - int64_t(timegm(&start));
}

}  // namespace

// --- Server to device ---

DErrorCode DActiveSyncDataManager::ApplyMeetingData(IOutlookMeeting *meeting, WBXMLTreeNode *command,
                                                    bool exception) {
    if (meeting == nullptr || command == nullptr) return generalErrInvalidParameter;
    WBXMLTreeNode *data = command;
    uint32_t itemStatus = 0;
    DErrorCode err = kNoError;
    if (!exception) {
        m_meetingException = nullptr;
        // 1. The item's status, and its data.
        WBXMLTreeNode *statusNode = Child(command, kTagStatus);
        if (statusNode != nullptr) {
            const std::string status = TextOf(statusNode);
            LogLine("Item arrived with status: ", status.c_str());
            ParseNumber(status, &itemStatus);
        }
        data = Child(command, kTagApplicationData);
        if (data == nullptr) {
            LogText("No item data is present!\n");
            err = ASDataManagerErrItemNotSupported;
        }
    }
    // 2. The setters, in order; the first failure ends the item.
    VString text;
    auto has = [&](const char *tag) { return !exception || Child(data, tag) != nullptr; };
    auto textOf = [&](const char *tag) { return TextOf(Child(data, tag)); };
    auto setText = [&](const char *tag, const char *logText, DErrorCode (IOutlookMeeting::*set)(const VString &)) {
        if (!has(tag)) return kNoError;
        const std::string value = textOf(tag);
        if (logText != nullptr) LogLine(logText, value.c_str());
        DErrorCode result = dmtext::FromUtf8(value, &text);
        return result != kNoError ? result : (meeting->*set)(text);
    };

    // Time zone: the one held for the calendar unless the server's is whole.
    if (err == kNoError && has(kTimezone)) {
        TIME_ZONE_INFORMATION zone;
        std::memset(&zone, 0, sizeof zone);
        // None held yet (all zero, which would read as UTC): the device's own.
        if (m_prefs != nullptr && m_prefs->IsTimeZoneSet()) {
            m_prefs->GetTimeZone(&zone);
        } else {
            GetTimeZoneInformation(&zone);
        }
        const std::string zoneText = textOf(kTimezone);
        if (!zoneText.empty() && !DecodeWholeTimeZone(zoneText, &zone))
            LogText("DActiveSyncDataManager::SetMeetingTimeZone() - Timezone is no time-zone record, kept the held one\n");
        err = meeting->SetTimeZone(&zone);
    }
    // Times: both or neither. A date that is none refuses this item alone.
    if (err == kNoError) {
        const std::string startText = textOf(kStartTime), endText = textOf(kEndTime);
        if (!startText.empty() && !endText.empty()) {
            struct tm start = {}, end = {};
            if (ReadUtcTime(startText, &start) != kNoError || ReadUtcTime(endText, &end) != kNoError) {
                LogText("DActiveSyncDataManager::SetMeetingTimes() - bad StartTime or EndTime\n");
                err = ASDataManagerErrItemNotSupported;
            } else {
                LogText("Start Time : ");
                LogWriteDateTime(m_log, &start, 0);
                LogText("End Time : ");
                LogWriteDateTime(m_log, &end, 0);
                err = meeting->SetStartEndTime(&start, &end);
            }
        }
    }
    // All day: only what lasts a day at least.
    if (err == kNoError && has(kAllDayEvent)) {
        const std::string value = textOf(kAllDayEvent);
        err = meeting->SetAllDayEvent(!value.empty() && value[0] == '1' && Duration(meeting) > kAllDaySeconds);
    }
    if (err == kNoError) err = setText(kSubject, "Subject: ", &IOutlookMeeting::SetSubject);
    // Organizer: logged; the device keeps none, the item decides.
    if (err == kNoError && (has(kOrganizerName) || has(kOrganizerEmail))) {
        DStringPair organizer;
        WBXMLTreeNode *name = Child(data, kOrganizerName);
        WBXMLTreeNode *email = Child(data, kOrganizerEmail);
        if (name != nullptr) LogLine("Organizer: ", TextOf(name).c_str());
        if (email != nullptr) LogLine("Organizer: ", TextOf(email).c_str());
        err = dmtext::FromUtf8(TextOf(name), &organizer.name);
        if (err == kNoError) err = dmtext::FromUtf8(TextOf(email), &organizer.email);
        if (err == kNoError) err = meeting->SetOrganizer(&organizer);
    }
    // Attendees: the list replaces the item's.
    if (err == kNoError && has(kAttendees)) {
        DListNode<DStringPair> list;
        WBXMLTreeNode *attendees = Child(data, kAttendees);
        for (WBXMLTreeNode *node = attendees != nullptr ? attendees->children : nullptr; node != nullptr && err == kNoError;
             node = node->next) {
            if (!IsNamed(node, kAttendee)) continue;
            auto *pair = new (std::nothrow) DStringPair;
            if (pair == nullptr) {
                err = generalErrMemoryError;
                break;
            }
            err = dmtext::FromUtf8(TextOf(Child(node, kName)), &pair->name);
            if (err == kNoError) err = dmtext::FromUtf8(TextOf(Child(node, kEmail)), &pair->email);
            if (err == kNoError) err = list.Append(pair);
            if (err != kNoError) delete pair;
        }
        if (err == kNoError) err = meeting->SetAttendees(&list);
        list.Free();
    }
    if (err == kNoError) err = setText(kLocation, "Location: ", &IOutlookMeeting::SetLocation);
    if (err == kNoError) err = setText(kBody, "Note: ", &IOutlookMeeting::SetBody);
    // The meeting's identity belongs to the series, never to an occurrence.
    if (err == kNoError && !exception) err = setText(kUID, nullptr, &IOutlookMeeting::SetUID);
    if (err == kNoError && has(kSensitivity)) {
        const std::string value = textOf(kSensitivity);
        uint32_t sensitivity = 0;
        if (!FirstDigitUpTo3(value, &sensitivity) && !value.empty())
            LogNumber("DActiveSyncDataManager::SetMeetingSensitivity() - unrecognized Sensitivity : ",
                      FirstCharCode(value));
        err = meeting->SetSensitivity(sensitivity);
    }
    if (err == kNoError && has(kBusyStatus)) {
        const std::string value = textOf(kBusyStatus);
        uint32_t busy = 2;
        if (!FirstDigitUpTo3(value, &busy)) {
            busy = 2;
            if (!value.empty())
                LogNumber("DActiveSyncDataManager::SetMeetingBusyStatus() - unrecognized Busy Status : ",
                          FirstCharCode(value));
        }
        err = meeting->SetBusyStatus(busy);
    }
    if (err == kNoError && has(kMeetingStatus)) {
        const std::string value = textOf(kMeetingStatus);
        uint32_t number = 0;
        uint32_t status = 0;
        const bool read = value.empty() || ParseNumber(value, &number);
        if (read && (number == 0 || number == 1 || number == 3)) {
            status = number;
        } else if (read && (number == 5 || number == 7)) {
            status = 5;
        } else {
            LogNumber("DActiveSyncDataManager::SetMeetingMeetingStatus() - unrecognized MeetingStatus : ",
                      FirstCharCode(value));
            status = number % 2;
        }
        err = meeting->SetMeetingStatus(status);
    }
    if (err == kNoError && has(kCategories)) {
        StringListNode head = {nullptr, nullptr};
        StringListNode *last = nullptr;
        WBXMLTreeNode *categories = Child(data, kCategories);
        for (WBXMLTreeNode *node = categories != nullptr ? categories->children : nullptr;
             node != nullptr && err == kNoError; node = node->next) {
            if (!IsNamed(node, kCategory)) continue;
            auto *value = new (std::nothrow) VString;
            StringListNode *link = last == nullptr ? &head : new (std::nothrow) StringListNode{nullptr, nullptr};
            if (value == nullptr || link == nullptr) {
                delete value;
                err = generalErrMemoryError;
                break;
            }
            if (last != nullptr) last->next = link;
            last = link;
            link->value = value;
            err = dmtext::FromUtf8(TextOf(node), value);
        }
        if (err == kNoError) err = meeting->SetCategories(&head);
        FreeStringList(&head);
    }
    if (err == kNoError && has(kReminder)) {
        const std::string value = textOf(kReminder);
        uint32_t minutes = 0;
        if (!value.empty() && ParseNumber(value, &minutes)) {
            err = meeting->SetReminder(minutes);
            if (err == kNoError) err = meeting->SetReminderSet(true);
        } else {
            if (!value.empty()) LogLine("DActiveSyncDataManager::SetMeetingReminder() - unrecognized Reminder : ",
                                        value.c_str());
            err = meeting->SetReminderSet(false);
        }
    }
    // The series' pattern, then its exceptions one per step (state 33).
    if (err == kNoError && !exception) {
        err = SetMeetingRecurrence(meeting, data);
        // A pattern the device cannot keep refuses this item, not the whole Sync.
        if (err == ASDataManagerErrUnknownRecurrence) err = ASDataManagerErrItemNotSupported;
    }
    if (err == kNoError && !exception) {
        WBXMLTreeNode *exceptions = Child(data, kExceptions);
        WBXMLTreeNode *first = exceptions != nullptr ? exceptions->children : nullptr;
        while (first != nullptr && !IsNamed(first, kException)) first = first->next;
        m_meetingException = first;
    }

    // 3, 4. A failure the item alone answers for ends it; others end the Sync.
    if (err == kNoError || err != ASDataManagerErrItemNotSupported) return err;
    m_meetingException = nullptr;
    if (exception) return err;
    if (itemStatus == kItemStatusConflict) {
        LogText("Conflict matching the client and server object.\n");
        return err;
    }
    LogFailedMeeting(command, false);
    auto *record = dynamic_cast<DASDP_SyncResponse *>(m_response);
    if (m_itemDataSet != 0 && IsNamed(command, kTagAdd) && record != nullptr && record->GetAddedCount() > 0)
        record->SetCounts(record->GetAddedCount() - 1, record->GetChangedCount(), record->GetDeletedCount());
    return err;
}

void DActiveSyncDataManager::LogFailedMeeting(WBXMLTreeNode *command, bool exception) {
    WBXMLTreeNode *data = exception ? command : Child(command, kTagApplicationData);
    LogResourceText(exception ? kTextFailedException : kTextFailedItem);
    LogText("\n");
    LogResourceText(kTextFailedSubject);
    LogLine(" ", TextOf(Child(data, kSubject)).c_str());
    LogResourceText(kTextFailedStart);
    struct tm start = {};
    VString when;
    if (ReadUtcTime(TextOf(Child(data, kStartTime)), &start) == kNoError && FormatDateTime(start, &when) == kNoError) {
        LogLine(" ", when.GetNarrowText());
    } else {
        LogText("\n");
    }
}

void DActiveSyncDataManager::LogRejectedMeeting(IOutlookMeeting *meeting) {
    if (meeting == nullptr) return;
    VString subject;
    std::string subjectText;
    if (meeting->GetSubject(&subject) == kNoError) dmtext::ToUtf8(subject, &subjectText);
    LogResourceText(kTextFailedItem);
    LogText("\n");
    LogResourceText(kTextFailedSubject);
    LogLine(" ", subjectText.c_str());
    LogResourceText(kTextFailedStart);
    // The device's own clock, as its user knows the meeting.
    struct tm start = {}, local = {};
    TIME_ZONE_INFORMATION zone;
    std::memset(&zone, 0, sizeof zone);
    VString when;
    GetTimeZoneInformation(&zone);
    if (meeting->GetStartTime(&start) == kNoError && UtcToZoneLocal(start, zone, &local) == kNoError &&
        FormatDateTime(local, &when) == kNoError) {
        LogLine(" ", when.GetNarrowText());
    } else {
        LogText("\n");
    }
}

// --- Device to server ---

DErrorCode DActiveSyncDataManager::BuildMeetingData(WBXMLTreeNode *applicationData, IOutlookMeeting *meeting) {
    if (applicationData == nullptr || meeting == nullptr) return generalErrInvalidParameter;
    VString text;
    std::string value;
    // A text field: read, as UTF-8, written when not empty (or always).
    auto addText = [&](const char *tag, DErrorCode (IOutlookMeeting::*get)(VString *), bool always) {
        text.Clear();
        DErrorCode result = (meeting->*get)(&text);
        if (result == kNoError) result = dmtext::ToUtf8(text, &value);
        if (result != kNoError || (value.empty() && !always)) return result;
        return AddTextElement(applicationData, tag, value.c_str());
    };
    auto addTime = [&](const char *tag, DErrorCode (IOutlookMeeting::*get)(struct tm *)) {
        struct tm time = {};
        DErrorCode result = (meeting->*get)(&time);
        if (result == kNoError) result = CompactUtcTime(time, &value);
        return result != kNoError ? result : AddTextElement(applicationData, tag, value.c_str());
    };

    // 1. Time zone.
    TIME_ZONE_INFORMATION zone;
    std::memset(&zone, 0, sizeof zone);
    DErrorCode err = meeting->GetTimeZone(&zone);
    if (err == kNoError) {
        char *encoded = nullptr;
        err = EncodeTimeZoneBase64(&zone, &encoded);
        if (err == kNoError) err = AddTextElement(applicationData, kTimezone, encoded);
        delete[] encoded;
    }
    // 2. All day.
    bool allDay = false;
    if (err == kNoError) err = meeting->IsAllDayEvent(&allDay);
    if (err == kNoError) err = AddTextElement(applicationData, kAllDayEvent, allDay ? "1" : "0");
    // 3. Attendees, each Email then Name.
    if (err == kNoError) {
        DListNode<DStringPair> list;
        err = meeting->GetAttendees(&list);
        WBXMLTreeNode *attendees = nullptr;
        for (DListNode<DStringPair> *node = &list; node != nullptr && node->item != nullptr && err == kNoError;
             node = node->next) {
            if (attendees == nullptr) err = AddElement(applicationData, kAttendees, &attendees);
            WBXMLTreeNode *attendee = nullptr;
            std::string email, name;
            if (err == kNoError) err = AddElement(attendees, kAttendee, &attendee);
            if (err == kNoError) err = dmtext::ToUtf8(node->item->email, &email);
            if (err == kNoError) err = dmtext::ToUtf8(node->item->name, &name);
            if (err == kNoError) err = AddTextElement(attendee, kEmail, email.c_str());
            if (err == kNoError) err = AddTextElement(attendee, kName, name.c_str());
        }
        list.Free();
    }
    // 4. Body, only when it changed on the device.
    bool bodyChanged = false;
    if (err == kNoError) err = meeting->IsBodyChanged(&bodyChanged);
    if (err == kNoError && bodyChanged) err = addText(kBody, &IOutlookMeeting::GetBody, true);
    // 5. Busy status.
    uint32_t number = 0;
    if (err == kNoError) err = meeting->GetBusyStatus(&number);
    if (err == kNoError) err = AddTextElement(applicationData, kBusyStatus, BusyStatusCode(number));
    // 6. Categories.
    if (err == kNoError) {
        StringListNode head = {nullptr, nullptr};
        err = meeting->GetCategories(&head);
        WBXMLTreeNode *categories = nullptr;
        for (StringListNode *node = &head; node != nullptr && node->value != nullptr && err == kNoError;
             node = node->next) {
            if (categories == nullptr) err = AddElement(applicationData, kCategories, &categories);
            if (err == kNoError) err = dmtext::ToUtf8(*node->value, &value);
            if (err == kNoError) err = AddTextElement(categories, kCategory, value.c_str());
        }
        FreeStringList(&head);
    }
    // 7. Stamped now.
    if (err == kNoError) {
        struct tm now = {};
        err = GetUniversalDateTime(&now);
        if (err == kNoError) err = CompactUtcTime(now, &value);
        if (err == kNoError) err = AddTextElement(applicationData, kDtStamp, value.c_str());
    }
    // 8 - 15.
    if (err == kNoError) err = addTime(kEndTime, &IOutlookMeeting::GetEndTime);
    if (err == kNoError) err = addText(kLocation, &IOutlookMeeting::GetLocation, false);
    if (err == kNoError) err = meeting->GetMeetingStatus(&number);
    if (err == kNoError) err = AddTextElement(applicationData, kMeetingStatus, MeetingStatusCode(number));
    bool reminderSet = false;
    if (err == kNoError) err = meeting->IsReminderSet(&reminderSet);
    if (err == kNoError && reminderSet) {
        err = meeting->GetReminder(&number);
        if (err == kNoError) err = AddNumberElement(applicationData, kReminder, number);
    }
    if (err == kNoError) err = meeting->GetSensitivity(&number);
    if (err == kNoError) err = AddTextElement(applicationData, kSensitivity, SensitivityCode(number));
    if (err == kNoError) err = addText(kSubject, &IOutlookMeeting::GetSubject, false);
    if (err == kNoError) err = addTime(kStartTime, &IOutlookMeeting::GetStartTime);
    if (err == kNoError) err = addText(kUID, &IOutlookMeeting::GetUID, false);
    // 16, 17. The series.
    if (err == kNoError) err = BuildMeetingRecurrence(applicationData, meeting);
    if (err == kNoError) err = BuildMeetingExceptions(applicationData, meeting);
    return err;
}
