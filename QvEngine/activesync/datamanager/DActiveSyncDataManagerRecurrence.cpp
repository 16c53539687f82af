// A recurring meeting's pattern (Recurrence) and its changed or cancelled
// occurrences (Exceptions), both ways. Server exceptions are applied one per
// step of the data manager (state 33) after the series' own fields; every
// occurrence is named by its own UTC start, the series' local clock on the
// occurrence's local day, so that a series keeps its clock across a daylight
// change.
#include <cstring>
#include <string>

#include "DActiveSyncDataManager.h"
#include "DActiveSyncDataManagerCalendarFields.h"
#include "DActiveSyncDataManagerText.h"
#include "IOutlookMeeting.h"
#include "LogDateTime.h"

using namespace calendar_fields;

namespace {

// The server's Type text and the pattern's type, both ways.
struct RecurrenceKind {
    char server;
    uint32_t type;
    // What a pattern of the type needs besides its type.
    bool interval, dayOfWeek, dayOfMonth, weekOfMonth, monthOfYear;
    const char *missingLog;
};

const RecurrenceKind kKinds[] = {
    {'0', kRepeatDaily, true, false, false, false, false, nullptr},
    {'1', kRepeatWeekly, true, true, false, false, false,
     "ERROR: SetMeetingRecurrence() - missing data for ERepeatWeekly\n"},
    {'2', kRepeatMonthlyByDate, true, false, true, false, false,
     "ERROR: SetMeetingRecurrence() - missing data for ERepeatMonthlyByDate\n"},
    {'3', kRepeatMonthlyByDays, true, true, false, true, false,
     "ERROR: SetMeetingRecurrence() - missing data for ERepeatMonthlyByDays\n"},
    {'5', kRepeatYearlyByDate, false, false, true, false, true,
     "ERROR: SetMeetingRecurrence() - missing data for ERepeatYearlyByDate\n"},
    {'6', kRepeatYearlyByDays, true, true, false, true, true,
     "ERROR: SetMeetingRecurrence() - missing data for ERepeatYearlyByDays\n"},
};

const RecurrenceKind *KindOfType(uint32_t type) {
    for (const RecurrenceKind &kind : kKinds)
        if (kind.type == type) return &kind;
    return nullptr;
}

// A pattern end that names a day.
bool HasDate(const struct tm &t) { return t.tm_mday != 0; }

}  // namespace

// --- Server to device ---

DErrorCode DActiveSyncDataManager::ParseRecurrenceTypeNode(WBXMLTreeNode *node, uint32_t *type) {
    const std::string text = TextOf(node);
    if (text.empty()) return ASDataManagerErrUnknownRecurrence;
    for (const RecurrenceKind &kind : kKinds) {
        if (kind.server == text[0]) {
            *type = kind.type;
            return kNoError;
        }
    }
    LogText("DActiveSyncDataManager::ParseRecurrenceTypeNode() - Unknown type of recurrence\n");
    return ASDataManagerErrUnknownRecurrence;
}

DErrorCode DActiveSyncDataManager::SetMeetingRecurrence(IOutlookMeeting *meeting, WBXMLTreeNode *applicationData) {
    // 1. No pattern: the item is a single one.
    WBXMLTreeNode *recurrence = Child(applicationData, kRecurrence);
    WBXMLTreeNode *child = recurrence != nullptr ? recurrence->children : nullptr;
    while (child != nullptr && WbxmlElementName(child) == nullptr) child = child->next;
    if (child == nullptr) return meeting->ClearRecurrence();

    // 2. The parts by token.
    WBXMLTreeNode *typeNode = nullptr, *untilNode = nullptr, *occurrencesNode = nullptr;
    WBXMLTreeNode *numbers[5] = {};  // Interval, DayOfWeek, DayOfMonth, WeekOfMonth, MonthOfYear
    const char *const numberTags[5] = {kInterval, kDayOfWeek, kDayOfMonth, kWeekOfMonth, kMonthOfYear};
    for (; child != nullptr; child = child->next) {
        if (WbxmlElementName(child) == nullptr) continue;
        if (IsNamed(child, kType)) {
            typeNode = child;
        } else if (IsNamed(child, kUntil)) {
            untilNode = child;
        } else if (IsNamed(child, kOccurrences)) {
            occurrencesNode = child;
        } else {
            bool known = false;
            for (int i = 0; i < 5 && !known; ++i) {
                if (IsNamed(child, numberTags[i])) {
                    numbers[i] = child;
                    known = true;
                }
            }
            if (!known) LogText("DActiveSyncDataManager::SetMeetingRecurrence() - Unknown recurrence XML node\n");
        }
    }

    // 3. The type; the pattern starts endless, every time.
    DRecurrencePattern pattern;
    DErrorCode err = ParseRecurrenceTypeNode(typeNode, &pattern.type);
    if (err != kNoError) return err;
    pattern.noEnd = true;
    pattern.interval = 1;

    // 4. Its end: a date, a count, or both.
    const std::string untilText = TextOf(untilNode);
    if (!untilText.empty()) {
        pattern.noEnd = false;
        if (ReadUtcTime(untilText, &pattern.until) != kNoError) {
            LogLine("DActiveSyncDataManager::SetMeetingRecurrence() - bad Until : ", untilText.c_str());
            return ASDataManagerErrItemNotSupported;
        }
    }
    uint32_t value = 0;
    const std::string occurrencesText = TextOf(occurrencesNode);
    if (!occurrencesText.empty()) {
        pattern.noEnd = false;
        if (!ParseNumber(occurrencesText, &value)) {
            LogLine("DActiveSyncDataManager::SetMeetingRecurrence() - bad Occurrences : ", occurrencesText.c_str());
            return ASDataManagerErrItemNotSupported;
        }
        pattern.occurrences = value;
    }

    // 5. The numbers present; one that is no 16-bit number counts as missing.
    bool present[5] = {};
    uint16_t *fields[5] = {&pattern.interval, &pattern.dayOfWeekMask, &pattern.dayOfMonth, &pattern.weekOfMonth,
                           &pattern.monthOfYear};
    for (int i = 0; i < 5; ++i) {
        if (numbers[i] == nullptr || !ParseNumber(TextOf(numbers[i]), &value) || value > 0xFFFF) continue;
        *fields[i] = uint16_t(value);
        present[i] = true;
    }

    // 6. What the type needs.
    const RecurrenceKind *kind = KindOfType(pattern.type);
    const bool complete = kind != nullptr && (!kind->interval || present[0]) && (!kind->dayOfWeek || present[1]) &&
                          (!kind->dayOfMonth || present[2]) && (!kind->weekOfMonth || present[3]) &&
                          (!kind->monthOfYear || present[4]);
    if (!complete) {
        if (kind != nullptr && kind->missingLog != nullptr) LogText(kind->missingLog);
        return ASDataManagerErrItemNotSupported;
    }
    // 7. The item becomes recurring.
    return meeting->SetRecurrence(&pattern);
}

DErrorCode DActiveSyncDataManager::RunMeetingExceptionsState(DErrorCode result) {
    if (result != kNoError) return result;
    auto *meeting = dynamic_cast<IOutlookMeeting *>(m_currItem);
    if (meeting == nullptr) {
        m_meetingException = nullptr;
        return generalErrNotInitialized;
    }
    WBXMLTreeNode *exception = m_meetingException;
    if (exception != nullptr) {
        WBXMLTreeNode *next = exception->next;
        while (next != nullptr && !IsNamed(next, kException)) next = next->next;
        m_meetingException = next;
    }
    return ProcessMeetingExceptions(meeting, exception);
}

DErrorCode DActiveSyncDataManager::ProcessMeetingExceptions(IOutlookMeeting *meeting, WBXMLTreeNode *exception) {
    // None left: the series goes to its commit.
    if (exception == nullptr) {
        m_meetingException = nullptr;
        return GoTo(kDMCommitItem);
    }
    // 1. An exception names its occurrence by its start.
    const std::string startText = TextOf(Child(exception, kExceptionStartTime));
    if (startText.empty()) {
        LogText("DActiveSyncDataManager::ProcessMeetingExceptions() - did not find the start time of exception\n");
        return GoTo(kDMMeetingExceptions);
    }
    // 2, 3. The occurrence's own start: the series' local clock on its day.
    DExceptionInfo info;
    struct tm given = {}, seriesStart = {};
    TIME_ZONE_INFORMATION zone;
    std::memset(&zone, 0, sizeof zone);
    if (ReadUtcTime(startText, &given) != kNoError) {
        LogLine("DActiveSyncDataManager::ProcessMeetingExceptions() - bad start time of exception : ",
                startText.c_str());
        return GoTo(kDMMeetingExceptions);
    }
    DErrorCode err = meeting->GetStartTime(&seriesStart);
    if (err == kNoError) err = meeting->GetTimeZone(&zone);
    if (err == kNoError) err = OccurrenceStartUtc(given, seriesStart, zone, &info.originalStart);
    if (err != kNoError) return err;

    IOutlookMeeting *changed = nullptr;
    const std::string deleted = TextOf(Child(exception, kDeleted));
    if (!deleted.empty() && deleted[0] == '1') {
        // 4. A cancelled occurrence.
        LogText("Start DELETE Exception:\n");
        LogText("Start Time : ");
        LogWriteDateTime(m_log, &info.originalStart, 0);
        info.deleted = true;
        err = meeting->FindOrAddException(&info, nullptr);
    } else {
        // 5. A changed one: only the tags present change it.
        err = meeting->FindOrAddException(&info, &changed);
        if (err == kNoError && changed == nullptr) err = generalErrItemNotFound;
        if (err == kNoError) {
            LogText("Start CHANGE Exception:\n");
            err = ApplyMeetingData(changed, exception, true);
            if (err == kNoError) err = changed->Commit();
        }
        delete changed;
    }
    if (err == generalErrItemNotFound) {
        LogCode("DActiveSyncDataManager::ProcessMeetingExceptions() - exception could not be processed : ", err);
        err = kNoError;
    }
    // 6. An exception the series cannot take skips the whole item.
    if (err == ASDataManagerErrItemNotSupported) {
        LogFailedMeeting(exception, true);
        m_meetingException = nullptr;
        m_itemNotSupported = true;
        return GoTo(kDMCloseItem);
    }
    return err != kNoError ? err : GoTo(kDMMeetingExceptions);
}

// --- Device to server ---

DErrorCode DActiveSyncDataManager::BuildMeetingRecurrence(WBXMLTreeNode *applicationData, IOutlookMeeting *meeting) {
    // A pattern is read only from an item that says it recurs.
    bool recurring = false;
    DErrorCode err = meeting->IsRecurring(&recurring);
    if (err != kNoError || !recurring) return err;
    DRecurrencePattern pattern;
    err = meeting->GetRecurrence(&pattern);
    if (err != kNoError) {
        LogCode("DActiveSyncDataManager::BuildMeetingRecurrence() - recurrence could not be read : ", err);
        return err;
    }
    const RecurrenceKind *kind = KindOfType(pattern.type);
    if (kind == nullptr) {
        LogNumber("DActiveSyncDataManager::BuildMeetingRecurrence() - unknown pattern type : ", pattern.type);
        return ASDataManagerErrUnknownRecurrence;
    }
    WBXMLTreeNode *recurrence = nullptr;
    const char type[2] = {kind->server, '\0'};
    err = AddElement(applicationData, kRecurrence, &recurrence);
    if (err == kNoError) err = AddTextElement(recurrence, kType, type);
    // The end: a count, else a date.
    if (err == kNoError && !pattern.noEnd) {
        if (pattern.occurrences != 0) {
            err = AddNumberElement(recurrence, kOccurrences, pattern.occurrences);
        } else if (HasDate(pattern.until)) {
            std::string until;
            err = CompactUtcTime(pattern.until, &until);
            if (err == kNoError) err = AddTextElement(recurrence, kUntil, until.c_str());
        }
    }
    if (err == kNoError) err = AddNumberElement(recurrence, kInterval, pattern.interval);
    // Every working day is a daily pattern's only day mask.
    const bool dayOfWeek = kind->dayOfWeek || (pattern.type == kRepeatDaily && pattern.dayOfWeekMask == kRecurWorkingDays);
    if (err == kNoError && dayOfWeek) err = AddNumberElement(recurrence, kDayOfWeek, pattern.dayOfWeekMask);
    if (err == kNoError && kind->dayOfMonth) err = AddNumberElement(recurrence, kDayOfMonth, pattern.dayOfMonth);
    if (err == kNoError && kind->weekOfMonth) err = AddNumberElement(recurrence, kWeekOfMonth, pattern.weekOfMonth);
    if (err == kNoError && kind->monthOfYear) err = AddNumberElement(recurrence, kMonthOfYear, pattern.monthOfYear);
    return err;
}

DErrorCode DActiveSyncDataManager::BuildMeetingExceptions(WBXMLTreeNode *applicationData, IOutlookMeeting *meeting) {
    // Exceptions belong to a series; a single item sends none.
    bool recurring = false;
    uint32_t count = 0;
    DErrorCode err = meeting->IsRecurring(&recurring);
    if (err == kNoError && recurring) err = meeting->GetExceptionCount(&count);
    if (err != kNoError || count == 0) return err;

    struct tm seriesStart = {};
    TIME_ZONE_INFORMATION zone;
    std::memset(&zone, 0, sizeof zone);
    err = meeting->GetStartTime(&seriesStart);
    if (err == kNoError) err = meeting->GetTimeZone(&zone);
    WBXMLTreeNode *exceptions = nullptr;
    if (err == kNoError) err = AddElement(applicationData, kExceptions, &exceptions);
    for (uint32_t index = 0; index < count && err == kNoError; ++index) {
        DExceptionInfo info;
        err = meeting->GetExceptionInfo(index, &info);
        if (err != kNoError) break;
        IOutlookMeeting *changed = nullptr;
        if (!info.deleted) {
            err = meeting->GetException(&info, &changed);
            if (err == generalErrItemNotFound || (err == kNoError && changed == nullptr)) {
                LogNumber("DActiveSyncDataManager::BuildMeetingExceptions() - exception not found, left out : ", index);
                err = kNoError;
                continue;
            }
            if (err != kNoError) break;
        }
        // The occurrence's own UTC start, not the series' UTC clock.
        struct tm start = {};
        std::string startText;
        err = OccurrenceStartUtc(info.originalStart, seriesStart, zone, &start);
        if (err == kNoError) err = CompactUtcTime(start, &startText);
        WBXMLTreeNode *exception = nullptr;
        if (err == kNoError) err = AddElement(exceptions, kException, &exception);
        if (err == kNoError) err = AddTextElement(exception, kDeleted, info.deleted ? "1" : "0");
        if (err == kNoError) err = AddTextElement(exception, kExceptionStartTime, startText.c_str());
        if (err == kNoError && changed != nullptr) {
            // What differs from the series.
            bool allDay = false, masterAllDay = false, flag = false, masterFlag = false;
            uint32_t value = 0, masterValue = 0, minutes = 0, masterMinutes = 0;
            struct tm time = {}, masterTime = {};
            VString text, masterText;
            std::string utf8, masterUtf8;
            err = changed->IsAllDayEvent(&allDay);
            if (err == kNoError) err = meeting->IsAllDayEvent(&masterAllDay);
            if (err == kNoError && allDay != masterAllDay)
                err = AddTextElement(exception, kAllDayEvent, allDay ? "1" : "0");
            if (err == kNoError) err = changed->IsBodyChanged(&flag);
            if (err == kNoError && flag) {
                err = changed->GetBody(&text);
                if (err == kNoError) err = dmtext::ToUtf8(text, &utf8);
                if (err == kNoError) err = AddTextElement(exception, kBody, utf8.c_str());
            }
            if (err == kNoError) err = changed->GetBusyStatus(&value);
            if (err == kNoError) err = meeting->GetBusyStatus(&masterValue);
            if (err == kNoError && std::strcmp(BusyStatusCode(value), BusyStatusCode(masterValue)) != 0)
                err = AddTextElement(exception, kBusyStatus, BusyStatusCode(value));
            // The times go whenever they differ, and always under an all-day series.
            const char *timeTags[2] = {kEndTime, kStartTime};
            DErrorCode (IOutlookMeeting::*timeGets[2])(struct tm *) = {&IOutlookMeeting::GetEndTime,
                                                                        &IOutlookMeeting::GetStartTime};
            for (int i = 0; i < 2 && err == kNoError; ++i) {
                err = (changed->*timeGets[i])(&time);
                if (err == kNoError) err = (meeting->*timeGets[i])(&masterTime);
                if (err != kNoError) break;
                if (masterAllDay || timegm(&time) != timegm(&masterTime)) {
                    err = CompactUtcTime(time, &utf8);
                    if (err == kNoError) err = AddTextElement(exception, timeTags[i], utf8.c_str());
                }
            }
            const char *textTags[2] = {kLocation, kSubject};
            DErrorCode (IOutlookMeeting::*textGets[2])(VString *) = {&IOutlookMeeting::GetLocation,
                                                                      &IOutlookMeeting::GetSubject};
            for (int i = 0; i < 2 && err == kNoError; ++i) {
                text.Clear();
                masterText.Clear();
                err = (changed->*textGets[i])(&text);
                if (err == kNoError) err = (meeting->*textGets[i])(&masterText);
                if (err == kNoError) err = dmtext::ToUtf8(text, &utf8);
                if (err == kNoError) err = dmtext::ToUtf8(masterText, &masterUtf8);
                if (err == kNoError && utf8 != masterUtf8) err = AddTextElement(exception, textTags[i], utf8.c_str());
            }
            if (err == kNoError) err = changed->IsReminderSet(&flag);
            if (err == kNoError) err = meeting->IsReminderSet(&masterFlag);
            if (err == kNoError) err = changed->GetReminder(&minutes);
            if (err == kNoError) err = meeting->GetReminder(&masterMinutes);
            if (err == kNoError && flag && (flag != masterFlag || minutes != masterMinutes))
                err = AddNumberElement(exception, kReminder, minutes);
            if (err == kNoError) err = changed->GetSensitivity(&value);
            if (err == kNoError) err = meeting->GetSensitivity(&masterValue);
            if (err == kNoError && std::strcmp(SensitivityCode(value), SensitivityCode(masterValue)) != 0)
                err = AddTextElement(exception, kSensitivity, SensitivityCode(value));
            if (err == kNoError) err = changed->GetMeetingStatus(&value);
            if (err == kNoError) err = meeting->GetMeetingStatus(&masterValue);
            if (err == kNoError && std::strcmp(MeetingStatusCode(value), MeetingStatusCode(masterValue)) != 0)
                err = AddTextElement(exception, kMeetingStatus, MeetingStatusCode(value));
        }
        delete changed;
    }
    return err;
}
