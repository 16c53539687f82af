// IOutlookTask: one task of the device as the data manager sees it. Texts
// are VStrings, categories a StringListNode chain (a getter fills the
// caller's first node and appends further ones), dates date-time records
// (struct tm: month 0 to 11, years since 1900). The Utc dates are in UTC,
// the others the same moments as the device's calendar shows them.
#ifndef QV_IOUTLOOKTASK_H
#define QV_IOUTLOOKTASK_H

#include <cstdint>
#include <ctime>

#include "DRecurrencePattern.h"
#include "IOutlookItem.h"
#include "StringList.h"
#include "VString.h"

class IOutlookTask : public IOutlookItem {
public:
    virtual DErrorCode IsBodyChanged(bool *flag) = 0;
    virtual DErrorCode SetBody(const VString &text) = 0;
    virtual DErrorCode GetBody(VString *text) = 0;
    virtual DErrorCode SetCategories(const StringListNode *list) = 0;
    virtual DErrorCode GetCategories(StringListNode *list) = 0;
    virtual DErrorCode SetComplete(bool flag) = 0;
    virtual DErrorCode IsComplete(bool *flag) = 0;
    virtual DErrorCode SetDateCompleted(const struct tm *date) = 0;
    virtual DErrorCode GetDateCompleted(struct tm *date) = 0;
    virtual DErrorCode SetUtcDueDate(const struct tm *date) = 0;
    virtual DErrorCode GetUtcDueDate(struct tm *date) = 0;
    virtual DErrorCode SetDueDate(const struct tm *date) = 0;
    virtual DErrorCode GetDueDate(struct tm *date) = 0;
    virtual DErrorCode SetUtcStartDate(const struct tm *date) = 0;
    virtual DErrorCode GetUtcStartDate(struct tm *date) = 0;
    virtual DErrorCode SetStartDate(const struct tm *date) = 0;
    virtual DErrorCode GetStartDate(struct tm *date) = 0;
    virtual DErrorCode SetReminderSet(bool flag) = 0;
    virtual DErrorCode IsReminderSet(bool *flag) = 0;
    virtual DErrorCode SetReminderTime(const struct tm *time) = 0;
    virtual DErrorCode GetReminderTime(struct tm *time) = 0;
    // 0 normal, 1 personal, 2 private, 3 confidential.
    virtual DErrorCode SetSensitivity(uint32_t sensitivity) = 0;
    virtual DErrorCode GetSensitivity(uint32_t *sensitivity) = 0;
    virtual DErrorCode SetSubject(const VString &text) = 0;
    virtual DErrorCode GetSubject(VString *text) = 0;
    // 0 low, 1 normal, 2 high.
    virtual DErrorCode SetImportance(uint32_t importance) = 0;
    virtual DErrorCode GetImportance(uint32_t *importance) = 0;
    virtual DErrorCode ClearRecurrence() = 0;
    virtual DErrorCode IsRecurring(bool *flag) = 0;
    virtual DErrorCode GetRecurrence(DTaskRecurrencePattern *pattern) = 0;
    // Setting a pattern makes the task recurring.
    virtual DErrorCode SetRecurrence(const DTaskRecurrencePattern *pattern) = 0;
};

#endif
