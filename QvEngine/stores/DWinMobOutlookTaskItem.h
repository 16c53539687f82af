// DWinMobOutlookTaskItem: the task item of the tasks store, which keeps no
// device data. It takes every setting without keeping it and answers every
// query with the same fixed values, so that server tasks pass through the
// data manager's steps without effect. SetDeleted and MatchID are not
// implemented; a missing out-pointer is generalErrInvalidParameter.
#ifndef QV_DWINMOBOUTLOOKTASKITEM_H
#define QV_DWINMOBOUTLOOKTASKITEM_H

#include "IOutlookTask.h"

class DWinMobOutlookTaskItem : public IOutlookTask {
public:
    DWinMobOutlookTaskItem() = default;
    ~DWinMobOutlookTaskItem() override = default;

    DErrorCode Open() override;
    DErrorCode Close() override;
    DErrorCode Commit() override;
    DErrorCode CommitNewItem(DActiveTaskSignal *completion) override;
    DErrorCode IsNew(bool *flag) override;
    DErrorCode SetNew(bool flag) override;
    DErrorCode IsDeleted(bool *flag) override;
    DErrorCode SetDeleted(bool flag) override;
    DErrorCode IsSent(bool *flag) override;
    DErrorCode SetSent(bool flag) override;
    DErrorCode IsKeptNew(bool *flag) override;
    DErrorCode SetKeptNew(bool flag) override;
    DErrorCode IsModified(bool *flag) override;
    DErrorCode ClearModified() override;
    // An empty text.
    DErrorCode GetID(char *buffer, uint32_t size) override;
    DErrorCode SetID(const char *id) override;
    DErrorCode MatchID(const char *id, bool *equal) override;

    DErrorCode IsBodyChanged(bool *flag) override;
    DErrorCode SetBody(const VString &text) override;
    DErrorCode GetBody(VString *text) override;
    DErrorCode SetCategories(const StringListNode *list) override;
    // Leaves the list as it was.
    DErrorCode GetCategories(StringListNode *list) override;
    DErrorCode SetComplete(bool flag) override;
    DErrorCode IsComplete(bool *flag) override;
    DErrorCode SetDateCompleted(const struct tm *date) override;
    DErrorCode GetDateCompleted(struct tm *date) override;
    DErrorCode SetUtcDueDate(const struct tm *date) override;
    DErrorCode GetUtcDueDate(struct tm *date) override;
    DErrorCode SetDueDate(const struct tm *date) override;
    DErrorCode GetDueDate(struct tm *date) override;
    DErrorCode SetUtcStartDate(const struct tm *date) override;
    DErrorCode GetUtcStartDate(struct tm *date) override;
    DErrorCode SetStartDate(const struct tm *date) override;
    DErrorCode GetStartDate(struct tm *date) override;
    DErrorCode SetReminderSet(bool flag) override;
    DErrorCode IsReminderSet(bool *flag) override;
    DErrorCode SetReminderTime(const struct tm *time) override;
    DErrorCode GetReminderTime(struct tm *time) override;
    DErrorCode SetSensitivity(uint32_t sensitivity) override;
    DErrorCode GetSensitivity(uint32_t *sensitivity) override;
    DErrorCode SetSubject(const VString &text) override;
    DErrorCode GetSubject(VString *text) override;
    DErrorCode SetImportance(uint32_t importance) override;
    DErrorCode GetImportance(uint32_t *importance) override;
    DErrorCode ClearRecurrence() override;
    DErrorCode IsRecurring(bool *flag) override;
    // A daily pattern of 10 occurrences; the end date and the day, week and
    // month fields are left as the caller gave them.
    DErrorCode GetRecurrence(DTaskRecurrencePattern *pattern) override;
    DErrorCode SetRecurrence(const DTaskRecurrencePattern *pattern) override;
};

#endif
