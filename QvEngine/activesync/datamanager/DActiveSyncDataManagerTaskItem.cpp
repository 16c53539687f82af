// The tasks mapping: a task's ApplicationData both ways, its recurrence
// included. Dates travel in the long form; a date the task does not have
// ("no date") is not sent.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "DActiveSyncDataManager.h"
#include "DActiveSyncDataManagerText.h"
#include "IOutlookTask.h"
#include "MessageTime.h"
#include "wintime.h"

namespace {

const char *const kTagStatus = "0x0E_0x00";
const char *const kTagApplicationData = "0x1D_0x00";

// Tasks page (9).
const char *const kTagBody = "0x05_0x09";
const char *const kTagBodyTruncated = "0x07_0x09";
const char *const kTagCategories = "0x08_0x09";
const char *const kTagCategory = "0x09_0x09";
const char *const kTagComplete = "0x0A_0x09";
const char *const kTagDateCompleted = "0x0B_0x09";
const char *const kTagDueDate = "0x0C_0x09";
const char *const kTagUtcDueDate = "0x0D_0x09";
const char *const kTagImportance = "0x0E_0x09";
const char *const kTagRecurrence = "0x0F_0x09";
const char *const kTagType = "0x10_0x09";
const char *const kTagStart = "0x11_0x09";
const char *const kTagUntil = "0x12_0x09";
const char *const kTagOccurrences = "0x13_0x09";
const char *const kTagInterval = "0x14_0x09";
const char *const kTagDayOfMonth = "0x15_0x09";
const char *const kTagDayOfWeek = "0x16_0x09";
const char *const kTagWeekOfMonth = "0x17_0x09";
const char *const kTagMonthOfYear = "0x18_0x09";
const char *const kTagRegenerate = "0x19_0x09";
const char *const kTagDeadOccur = "0x1A_0x09";
const char *const kTagReminderSet = "0x1B_0x09";
const char *const kTagReminderTime = "0x1C_0x09";
const char *const kTagSensitivity = "0x1D_0x09";
const char *const kTagStartDate = "0x1E_0x09";
const char *const kTagUtcStartDate = "0x1F_0x09";
const char *const kTagSubject = "0x20_0x09";

constexpr uint32_t kConflictStatus = 7;
constexpr uint32_t kFailedTaskText = 117;
constexpr uint32_t kFailedSubjectText = 121;
constexpr uint32_t kFailedStartText = 122;
const char *const kFailedDateFormat = "%m/%d/%y %I:%M:%S %p";

// The ActiveSync Type of each pattern type, in the pattern's order.
const char *const kTypeTexts[] = {"0", "1", "2", "3", "5", "6"};

// The children of a Recurrence this mapping reads.
struct RecurrenceNodes {
    WBXMLTreeNode *type = nullptr, *start = nullptr, *until = nullptr, *occurrences = nullptr;
    WBXMLTreeNode *interval = nullptr, *dayOfMonth = nullptr, *dayOfWeek = nullptr, *weekOfMonth = nullptr;
    WBXMLTreeNode *monthOfYear = nullptr, *regenerate = nullptr, *deadOccur = nullptr;

    // The slot of a child by its name; null for one the mapping does not read.
    WBXMLTreeNode **SlotOf(const std::string &name) {
        const struct {
            const char *name;
            WBXMLTreeNode **slot;
        } slots[] = {{kTagType, &type},           {kTagStart, &start},           {kTagUntil, &until},
                     {kTagOccurrences, &occurrences}, {kTagInterval, &interval}, {kTagDayOfMonth, &dayOfMonth},
                     {kTagDayOfWeek, &dayOfWeek}, {kTagWeekOfMonth, &weekOfMonth}, {kTagMonthOfYear, &monthOfYear},
                     {kTagRegenerate, &regenerate}, {kTagDeadOccur, &deadOccur}};
        for (const auto &entry : slots)
            if (name == entry.name) return entry.slot;
        return nullptr;
    }
};

// A decimal value of the element that fits the field; false when the
// element is missing or holds no such value.
template <typename T>
bool FieldValue(WBXMLTreeNode *node, T *value) {
    const std::string text = dmtext::TextOf(node);
    if (text.empty() || text.size() > 10) return false;
    uint64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + uint64_t(c - '0');
    }
    if (number > uint64_t(T(~T(0)))) return false;
    *value = T(number);
    return true;
}

// "1" true, "0" false; anything else (or no text) is no flag.
bool FlagValue(WBXMLTreeNode *node, bool *flag) {
    const std::string text = dmtext::TextOf(node);
    if (text != "0" && text != "1") return false;
    *flag = text == "1";
    return true;
}

// The UTC record as the device's local time.
struct tm LocalTimeOf(const struct tm &utc) {
    FILETIME universal = {}, local = {};
    struct tm out = utc;
    if (MessageTimeToFileTime(utc, &universal) != kNoError || !FileTimeToLocalFileTime(&universal, &local) ||
        MessageTimeFromFileTime(local, &out) != kNoError)
        return utc;
    return out;
}

std::string FailureDate(const struct tm &time) {
    char text[40] = {};
    return std::strftime(text, sizeof text, kFailedDateFormat, &time) != 0 ? text : std::string();
}

}  // namespace

DErrorCode DActiveSyncDataManager::ApplyTaskData(IOutlookTask *task, WBXMLTreeNode *command) {
    if (task == nullptr) return generalErrInvalidParameter;
    // 1. The item's status, then its data.
    uint32_t status = 0;
    WBXMLTreeNode *statusNode = Child(command, kTagStatus);
    if (statusNode != nullptr) {
        const std::string text = TextOf(statusNode);
        LogLine("Item arrived with status: ", text.c_str());
        ParseNumber(text, &status);
    }
    WBXMLTreeNode *data = Child(command, kTagApplicationData);
    DErrorCode err = kNoError;
    VString text;
    if (data == nullptr) {
        LogText("No item data is present!\n");
        err = ASDataManagerErrItemNotSupported;
    }
    // 2. The fields in order; the first failure ends the task.
    if (err == kNoError) {  // body
        const std::string body = TextOf(Child(data, kTagBody));
        if (Child(data, kTagBody) != nullptr) LogLine("Note: ", body.c_str());
        err = dmtext::FromUtf8(body, &text);
        if (err == kNoError) err = task->SetBody(text);
    }
    if (err == kNoError) {  // importance
        uint32_t importance = 1;
        WBXMLTreeNode *node = Child(data, kTagImportance);
        if (node != nullptr) {
            const std::string value = TextOf(node);
            const char first = value.empty() ? '\0' : value[0];
            if (first >= '0' && first <= '2') {
                importance = uint32_t(first - '0');
            } else {
                LogNumber("DActiveSyncDataManager::SetTaskImportance() - unrecognized Importance : ",
                          uint32_t(uint8_t(first)));
            }
        }
        err = task->SetImportance(importance);
    }
    if (err == kNoError) {  // categories
        StringListNode list = {nullptr, nullptr};
        err = dmtext::ListOfChildren(Child(data, kTagCategories), &list);
        if (err == kNoError) err = task->SetCategories(&list);
        FreeStringList(&list);
    }
    if (err == kNoError) {  // completion
        const std::string complete = TextOf(Child(data, kTagComplete));
        if (!complete.empty()) {
            err = task->SetComplete(complete == "1");
            const std::string completed = TextOf(Child(data, kTagDateCompleted));
            if (err == kNoError && complete == "1") {
                if (completed.empty()) {
                    LogText("DActiveSyncDataManager::SetTaskCompletedDate - Completed date expected but not found.");
                    LogText("\n");
                } else {
                    struct tm date = {};
                    err = dmtext::ReadDate(completed, &date);
                    if (err == kNoError) err = task->SetDateCompleted(&date);
                }
            }
        }
    }
    // Due and start dates: each only when sent.
    const struct {
        const char *tag;
        DErrorCode (IOutlookTask::*set)(const struct tm *);
    } dates[] = {{kTagUtcDueDate, &IOutlookTask::SetUtcDueDate},
                 {kTagDueDate, &IOutlookTask::SetDueDate},
                 {kTagUtcStartDate, &IOutlookTask::SetUtcStartDate},
                 {kTagStartDate, &IOutlookTask::SetStartDate}};
    for (const auto &date : dates) {
        if (err != kNoError) break;
        const std::string value = TextOf(Child(data, date.tag));
        if (value.empty()) continue;
        struct tm time = {};
        err = dmtext::ReadDate(value, &time);
        if (err == kNoError) err = (task->*date.set)(&time);
    }
    if (err == kNoError) err = SetTaskRecurrance(task, data);
    if (err == kNoError) {  // reminder
        bool on = false;
        if (TextOf(Child(data, kTagReminderSet)) == "1") {
            const std::string when = TextOf(Child(data, kTagReminderTime));
            if (when.empty()) {
                LogText("DActiveSyncDataManager::SetTaskReminder - Reminder date expected but not found.");
                LogText("\n");
            } else {
                struct tm time = {};
                err = dmtext::ReadDate(when, &time);
                if (err == kNoError) err = task->SetReminderSet(true);
                if (err == kNoError) err = task->SetReminderTime(&time);
                on = true;
            }
        }
        if (err == kNoError && !on) err = task->SetReminderSet(false);
    }
    if (err == kNoError) {  // sensitivity
        uint32_t sensitivity = 0;
        WBXMLTreeNode *node = Child(data, kTagSensitivity);
        if (node != nullptr) {
            const std::string value = TextOf(node);
            const char first = value.empty() ? '\0' : value[0];
            if (first >= '0' && first <= '3') {
                sensitivity = uint32_t(first - '0');
            } else {
                LogNumber("DActiveSyncDataManager::SetTaskSensitivity() - unrecognized Sensitivity : ",
                          uint32_t(uint8_t(first)));
            }
        }
        err = task->SetSensitivity(sensitivity);
    }
    if (err == kNoError) {  // subject
        const std::string subject = TextOf(Child(data, kTagSubject));
        LogLine("Subject: ", subject.c_str());
        err = dmtext::FromUtf8(subject, &text);
        if (err == kNoError) err = task->SetSubject(text);
    }
    // 3, 4. Only a task the mapping refuses is logged and skipped.
    if (err != ASDataManagerErrItemNotSupported) return err;
    if (status == kConflictStatus) {
        LogText("Conflict matching the client and server object.\n");
    } else {
        LogFailedServerTask(data);
        UncountAddedItem();
    }
    return ASDataManagerErrItemNotSupported;
}

DErrorCode DActiveSyncDataManager::ParseTaskRecurrenceTypeNode(WBXMLTreeNode *node, uint32_t *type) {
    const std::string text = TextOf(node);
    if (text.empty()) return ASDataManagerErrUnknownRecurrence;
    for (uint32_t i = 0; i < sizeof kTypeTexts / sizeof kTypeTexts[0]; ++i) {
        if (text[0] == kTypeTexts[i][0]) {
            *type = i;
            return kNoError;
        }
    }
    LogText("DActiveSyncDataManager::ParseTaskRecurrenceTypeNode() - Unknown type of recurrence\n");
    return ASDataManagerErrUnknownRecurrence;
}

DErrorCode DActiveSyncDataManager::SetTaskRecurrance(IOutlookTask *task, WBXMLTreeNode *applicationData) {
    // 1. No pattern: the task does not recur.
    WBXMLTreeNode *recurrence = Child(applicationData, kTagRecurrence);
    if (recurrence == nullptr || recurrence->children == nullptr) return task->ClearRecurrence();
    // 2. The children the pattern is made of.
    RecurrenceNodes nodes;
    for (WBXMLTreeNode *child = recurrence->children; child != nullptr; child = child->next) {
        const char *name = WbxmlElementName(child);
        if (name == nullptr) continue;
        WBXMLTreeNode **slot = nodes.SlotOf(name);
        if (slot == nullptr) {
            LogText("DActiveSyncDataManager::SetTaskRecurrance() - Unknown recurrence XML node\n");
            continue;
        }
        if (*slot == nullptr) *slot = child;
    }
    // 3. The type; no end and every interval of 1 until told otherwise.
    DTaskRecurrencePattern pattern;
    DErrorCode err = ParseTaskRecurrenceTypeNode(nodes.type, &pattern.type);
    if (err != kNoError) return err;
    pattern.noEnd = true;
    pattern.interval = 1;
    // 4. The end, the first start, and the two flags.
    const std::string until = TextOf(nodes.until);
    if (!until.empty()) {
        pattern.noEnd = false;
        err = dmtext::ReadDate(until, &pattern.until);
        if (err != kNoError) return err;
    }
    if (FieldValue(nodes.occurrences, &pattern.occurrences)) pattern.noEnd = false;
    const std::string start = TextOf(nodes.start);
    if (!start.empty()) {
        err = dmtext::ReadDate(start, &pattern.start);
        if (err != kNoError) return err;
    }
    if (nodes.regenerate != nullptr && !FlagValue(nodes.regenerate, &pattern.regenerate)) {
        LogText("ERROR: SetTaskRecurrence() - unexpected data in regenerateNode.\n");
        return ASDataManagerErrItemNotSupported;
    }
    if (nodes.deadOccur != nullptr && !FlagValue(nodes.deadOccur, &pattern.deadOccurrence)) {
        LogText("ERROR: SetTaskRecurrence() - unexpected data in deadOccuranceNode.\n");
        return ASDataManagerErrItemNotSupported;
    }
    // 5. The values; one that does not fit its field counts as missing, and
    // an interval of 0 repeats nothing.
    const bool interval = FieldValue(nodes.interval, &pattern.interval) && pattern.interval != 0;
    if (!interval) pattern.interval = 1;
    const bool dayOfWeek = FieldValue(nodes.dayOfWeek, &pattern.dayOfWeekMask);
    const bool dayOfMonth = FieldValue(nodes.dayOfMonth, &pattern.dayOfMonth);
    const bool weekOfMonth = FieldValue(nodes.weekOfMonth, &pattern.weekOfMonth);
    const bool monthOfYear = FieldValue(nodes.monthOfYear, &pattern.monthOfYear);
    // 6. Each type needs its data.
    bool complete = true;
    const char *missing = nullptr;
    switch (pattern.type) {
        case kRepeatDaily:
            complete = interval;
            break;
        case kRepeatWeekly:
            complete = interval && dayOfWeek;
            missing = "ERROR: SetTaskRecurrence() - missing data for ERepeatWeekly\n";
            break;
        case kRepeatMonthlyByDate:
            complete = interval && dayOfMonth;
            missing = "ERROR: SetTaskRecurrence() - missing data for ERepeatMonthlyByDate\n";
            break;
        case kRepeatMonthlyByDays:
            complete = interval && dayOfWeek && weekOfMonth;
            missing = "ERROR: SetTaskRecurrence() - missing data for ERepeatMonthlyByDays\n";
            break;
        case kRepeatYearlyByDate:
            complete = dayOfMonth && monthOfYear;
            missing = "ERROR: SetTaskRecurrence() - missing data for ERepeatYearlyByDate\n";
            break;
        default:
            complete = interval && dayOfWeek && weekOfMonth && monthOfYear;
            missing = "ERROR: SetTaskRecurrence() - missing data for ERepeatYearlyByDays\n";
            break;
    }
    if (!complete) {
        if (missing != nullptr) LogText(missing);
        return ASDataManagerErrItemNotSupported;
    }
    // 7. The task recurs.
    return task->SetRecurrence(&pattern);
}

DErrorCode DActiveSyncDataManager::BuildTaskData(WBXMLTreeNode *applicationData, IOutlookTask *task) {
    if (applicationData == nullptr || task == nullptr) return generalErrInvalidParameter;
    WBXMLTreeNode *data = applicationData;
    VString value;
    std::string text;
    // A date element, unless the task has no such date.
    const auto addDate = [&](WBXMLTreeNode *parent, const char *tag, const struct tm &date) -> DErrorCode {
        std::string written;
        if (dmtext::IsNoDate(date)) return kNoError;
        if (dmtext::WriteDate(date, &written) != kNoError) {
            LogText("DActiveSyncDataManager::BuildTaskData() - not a date, not sent\n");
            return kNoError;
        }
        return AddTextElement(parent, tag, written.c_str());
    };
    // 1. Body, when it changed.
    bool flag = false;
    DErrorCode err = task->IsBodyChanged(&flag);
    if (err == kNoError && flag) {
        err = AddTextElement(data, kTagBodyTruncated, "0");
        if (err == kNoError) err = task->GetBody(&value);
        if (err == kNoError) err = dmtext::ToUtf8(value, &text);
        if (err == kNoError) err = AddTextElement(data, kTagBody, text.c_str());
    }
    // 2. Subject.
    if (err == kNoError) err = task->GetSubject(&value);
    if (err == kNoError) err = dmtext::ToUtf8(value, &text);
    if (err == kNoError) {
        LogLine("Subject: ", text.c_str());
        if (!text.empty()) err = AddTextElement(data, kTagSubject, text.c_str());
    }
    // 3. Importance; a task that tells none is of normal importance.
    if (err == kNoError) {
        uint32_t importance = 1;
        if (task->GetImportance(&importance) != kNoError) importance = 1;
        err = AddTextElement(data, kTagImportance, importance == 1 ? "1" : importance == 2 ? "2" : "0");
    }
    // 4, 5. Start and due dates.
    const struct {
        const char *tag;
        DErrorCode (IOutlookTask::*get)(struct tm *);
    } dates[] = {{kTagUtcStartDate, &IOutlookTask::GetUtcStartDate},
                 {kTagStartDate, &IOutlookTask::GetStartDate},
                 {kTagUtcDueDate, &IOutlookTask::GetUtcDueDate},
                 {kTagDueDate, &IOutlookTask::GetDueDate}};
    for (const auto &date : dates) {
        if (err != kNoError) break;
        struct tm time = {};
        err = (task->*date.get)(&time);
        if (err == kNoError) err = addDate(data, date.tag, time);
    }
    // 6. Recurrence.
    if (err == kNoError) err = task->IsRecurring(&flag);
    if (err == kNoError && flag) {
        DTaskRecurrencePattern pattern;
        err = task->GetRecurrence(&pattern);
        if (err == kNoError && pattern.type >= sizeof kTypeTexts / sizeof kTypeTexts[0])
            err = ASDataManagerErrUnknownRecurrence;
        WBXMLTreeNode *recurrence = nullptr;
        if (err == kNoError) err = AddElement(data, kTagRecurrence, &recurrence);
        if (err == kNoError) err = AddTextElement(recurrence, kTagType, kTypeTexts[pattern.type]);
        if (err == kNoError && !pattern.noEnd) {
            if (pattern.occurrences != 0) {
                err = AddNumberElement(recurrence, kTagOccurrences, pattern.occurrences);
            } else {
                err = addDate(recurrence, kTagUntil, pattern.until);
            }
        }
        if (err == kNoError) err = AddNumberElement(recurrence, kTagInterval, pattern.interval);
        if (err == kNoError) err = addDate(recurrence, kTagStart, pattern.start);
        if (err == kNoError) err = AddTextElement(recurrence, kTagRegenerate, pattern.regenerate ? "1" : "0");
        if (err == kNoError) err = AddTextElement(recurrence, kTagDeadOccur, pattern.deadOccurrence ? "1" : "0");
        // The values of the type.
        const uint32_t type = pattern.type;
        const bool weekDays = type == kRepeatWeekly || type == kRepeatMonthlyByDays || type == kRepeatYearlyByDays ||
                              (type == kRepeatDaily && pattern.dayOfWeekMask == kRecurWorkingDays);
        const bool monthDay = type == kRepeatMonthlyByDate || type == kRepeatYearlyByDate;
        const bool week = type == kRepeatMonthlyByDays || type == kRepeatYearlyByDays;
        const bool month = type == kRepeatYearlyByDate || type == kRepeatYearlyByDays;
        if (err == kNoError && weekDays) err = AddNumberElement(recurrence, kTagDayOfWeek, pattern.dayOfWeekMask);
        if (err == kNoError && monthDay) err = AddNumberElement(recurrence, kTagDayOfMonth, pattern.dayOfMonth);
        if (err == kNoError && week) err = AddNumberElement(recurrence, kTagWeekOfMonth, pattern.weekOfMonth);
        if (err == kNoError && month) err = AddNumberElement(recurrence, kTagMonthOfYear, pattern.monthOfYear);
    }
    // 7. Completion.
    if (err == kNoError) err = task->IsComplete(&flag);
    if (err == kNoError) {
        err = AddTextElement(data, kTagComplete, flag ? "1" : "0");
        struct tm completed = {};
        if (err == kNoError && flag) err = task->GetDateCompleted(&completed);
        if (err == kNoError && flag) err = addDate(data, kTagDateCompleted, completed);
    }
    // 8. Sensitivity.
    if (err == kNoError) {
        uint32_t sensitivity = 0;
        err = task->GetSensitivity(&sensitivity);
        const char *const texts[] = {"0", "1", "2", "3"};
        if (err == kNoError) err = AddTextElement(data, kTagSensitivity, texts[sensitivity <= 3 ? sensitivity : 0]);
    }
    // 9. Reminder.
    if (err == kNoError) err = task->IsReminderSet(&flag);
    if (err == kNoError) {
        err = AddTextElement(data, kTagReminderSet, flag ? "1" : "0");
        struct tm when = {};
        if (err == kNoError && flag) err = task->GetReminderTime(&when);
        if (err == kNoError && flag) err = addDate(data, kTagReminderTime, when);
    }
    // 10. Categories.
    if (err == kNoError) {
        StringListNode list = {nullptr, nullptr};
        std::vector<std::string> texts;
        err = task->GetCategories(&list);
        if (err == kNoError) err = dmtext::TextsOfList(&list, &texts);
        FreeStringList(&list);
        if (err == kNoError) err = dmtext::AddListElement(data, kTagCategories, kTagCategory, texts);
    }
    return err;
}

void DActiveSyncDataManager::LogFailedServerTask(WBXMLTreeNode *applicationData) {
    LogResourceText(kFailedTaskText);
    LogText("\n");
    LogResourceText(kFailedSubjectText);
    LogLine(" ", TextOf(Child(applicationData, kTagSubject)).c_str());
    struct tm start = {};
    const std::string text = TextOf(Child(applicationData, kTagUtcStartDate));
    LogResourceText(kFailedStartText);
    LogLine(" ", !text.empty() && dmtext::ReadDate(text, &start) == kNoError ? FailureDate(start).c_str() : "");
}

void DActiveSyncDataManager::LogRejectedTask(IOutlookTask *task) {
    if (task == nullptr) return;
    LogResourceText(kFailedTaskText);
    LogText("\n");
    VString value;
    std::string subject;
    if (task->GetSubject(&value) == kNoError) dmtext::ToUtf8(value, &subject);
    LogResourceText(kFailedSubjectText);
    LogLine(" ", subject.c_str());
    struct tm start = {};
    const bool dated = task->GetUtcStartDate(&start) == kNoError && !dmtext::IsNoDate(start);
    LogResourceText(kFailedStartText);
    LogLine(" ", dated ? FailureDate(LocalTimeOf(start)).c_str() : "");
}
