#include "DWinMobOutlookTaskItem.h"

namespace {
DErrorCode Answer(bool *flag, bool value) {
    if (flag == nullptr) return generalErrInvalidParameter;
    *flag = value;
    return kNoError;
}

DErrorCode Answer(uint32_t *number, uint32_t value) {
    if (number == nullptr) return generalErrInvalidParameter;
    *number = value;
    return kNoError;
}

DErrorCode Answer(VString *text, const WCHAR *value) {
    if (text == nullptr) return generalErrInvalidParameter;
    return text->AssignWide(value, kQvUnknown, kVStringUTF16LE);
}

// year-month-day hour:00:00; the record's other fields 0.
DErrorCode Answer(struct tm *date, int year, int month, int day, int hour) {
    if (date == nullptr) return generalErrInvalidParameter;
    *date = {};
    date->tm_year = year - 1900;
    date->tm_mon = month - 1;
    date->tm_mday = day;
    date->tm_hour = hour;
    return kNoError;
}
}  // namespace

DErrorCode DWinMobOutlookTaskItem::Open() { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::Close() { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::Commit() { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::CommitNewItem(DActiveTaskSignal *completion) {
    if (completion != nullptr) completion->Signal(kNoError);
    return kNoError;
}
DErrorCode DWinMobOutlookTaskItem::IsNew(bool *flag) { return Answer(flag, true); }
DErrorCode DWinMobOutlookTaskItem::SetNew(bool) { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::IsDeleted(bool *flag) { return Answer(flag, false); }
DErrorCode DWinMobOutlookTaskItem::SetDeleted(bool) { return generalErrNotImplemented; }
DErrorCode DWinMobOutlookTaskItem::IsSent(bool *flag) { return Answer(flag, false); }
DErrorCode DWinMobOutlookTaskItem::SetSent(bool) { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::IsKeptNew(bool *flag) { return Answer(flag, false); }
DErrorCode DWinMobOutlookTaskItem::SetKeptNew(bool) { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::IsModified(bool *flag) { return Answer(flag, true); }
DErrorCode DWinMobOutlookTaskItem::ClearModified() { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::GetID(char *buffer, uint32_t size) {
    // Never leaves the caller's buffer unterminated.
    if (buffer != nullptr && size > 0) buffer[0] = 0;
    return kNoError;
}
DErrorCode DWinMobOutlookTaskItem::SetID(const char *) { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::MatchID(const char *, bool *) { return generalErrNotImplemented; }

DErrorCode DWinMobOutlookTaskItem::IsBodyChanged(bool *flag) { return Answer(flag, true); }
DErrorCode DWinMobOutlookTaskItem::SetBody(const VString &) { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::GetBody(VString *text) { return Answer(text, u"This is the Body."); }
DErrorCode DWinMobOutlookTaskItem::SetCategories(const StringListNode *) { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::GetCategories(StringListNode *) { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::SetComplete(bool) { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::IsComplete(bool *flag) { return Answer(flag, false); }
DErrorCode DWinMobOutlookTaskItem::SetDateCompleted(const struct tm *) { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::GetDateCompleted(struct tm *date) { return Answer(date, 2006, 2, 5, 12); }
DErrorCode DWinMobOutlookTaskItem::SetUtcDueDate(const struct tm *) { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::GetUtcDueDate(struct tm *date) { return Answer(date, 2006, 9, 13, 4); }
DErrorCode DWinMobOutlookTaskItem::SetDueDate(const struct tm *) { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::GetDueDate(struct tm *date) { return Answer(date, 2006, 9, 13, 0); }
DErrorCode DWinMobOutlookTaskItem::SetUtcStartDate(const struct tm *) { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::GetUtcStartDate(struct tm *date) { return Answer(date, 2006, 9, 13, 4); }
DErrorCode DWinMobOutlookTaskItem::SetStartDate(const struct tm *) { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::GetStartDate(struct tm *date) { return Answer(date, 2006, 9, 13, 0); }
DErrorCode DWinMobOutlookTaskItem::SetReminderSet(bool) { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::IsReminderSet(bool *flag) { return Answer(flag, true); }
DErrorCode DWinMobOutlookTaskItem::SetReminderTime(const struct tm *) { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::GetReminderTime(struct tm *time) { return Answer(time, 2006, 9, 13, 12); }
DErrorCode DWinMobOutlookTaskItem::SetSensitivity(uint32_t) { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::GetSensitivity(uint32_t *sensitivity) { return Answer(sensitivity, 2); }
DErrorCode DWinMobOutlookTaskItem::SetSubject(const VString &) { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::GetSubject(VString *text) { return Answer(text, u"This is the Subject."); }
DErrorCode DWinMobOutlookTaskItem::SetImportance(uint32_t) { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::GetImportance(uint32_t *importance) { return Answer(importance, 2); }
DErrorCode DWinMobOutlookTaskItem::ClearRecurrence() { return kNoError; }
DErrorCode DWinMobOutlookTaskItem::IsRecurring(bool *flag) { return Answer(flag, true); }
DErrorCode DWinMobOutlookTaskItem::GetRecurrence(DTaskRecurrencePattern *pattern) {
    if (pattern == nullptr) return generalErrInvalidParameter;
    pattern->type = kRepeatDaily;
    pattern->interval = 1;
    pattern->noEnd = false;
    pattern->occurrences = 10;
    pattern->regenerate = false;
    pattern->deadOccurrence = false;
    return Answer(&pattern->start, 2006, 9, 13, 12);
}
DErrorCode DWinMobOutlookTaskItem::SetRecurrence(const DTaskRecurrencePattern *) { return kNoError; }
