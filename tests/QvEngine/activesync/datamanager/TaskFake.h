// An in-memory task for the tasks mapping's tests: every field the
// interface sets and gets, texts as UTF-8 (handed out as UTF-16), and the
// names of the setters called, in order, so a test sees what was left alone.
#ifndef VTEST_TASKFAKE_H
#define VTEST_TASKFAKE_H

#include <ctime>
#include <string>
#include <vector>

#include "ContactFake.h"
#include "IOutlookTask.h"

class TaskFake : public FakeItemBase<IOutlookTask> {
public:
    std::string body, subject;
    std::vector<std::string> categories;
    bool bodyChanged = false, complete = false, reminderSet = false, recurring = false;
    struct tm dateCompleted = {}, utcDue = {}, due = {}, utcStart = {}, start = {}, reminderTime = {};
    uint32_t sensitivity = 0, importance = 1;
    DTaskRecurrencePattern pattern;
    // The setters called, each name followed by ";".
    std::string calls;

    DErrorCode IsBodyChanged(bool *flag) override { return Out(bodyChanged, flag); }
    DErrorCode SetBody(const VString &text) override { return Text("SetBody", &body, text); }
    DErrorCode GetBody(VString *text) override { return Give(body, text); }
    DErrorCode SetCategories(const StringListNode *list) override {
        calls += "SetCategories;";
        categories = ListOf(list);
        return kNoError;
    }
    DErrorCode GetCategories(StringListNode *list) override {
        FillList(categories, list);
        return kNoError;
    }
    DErrorCode SetComplete(bool flag) override { return Flag("SetComplete", &complete, flag); }
    DErrorCode IsComplete(bool *flag) override { return Out(complete, flag); }
    DErrorCode SetDateCompleted(const struct tm *date) override {
        return Date("SetDateCompleted", &dateCompleted, date);
    }
    DErrorCode GetDateCompleted(struct tm *date) override { return Copy(dateCompleted, date); }
    DErrorCode SetUtcDueDate(const struct tm *date) override { return Date("SetUtcDueDate", &utcDue, date); }
    DErrorCode GetUtcDueDate(struct tm *date) override { return Copy(utcDue, date); }
    DErrorCode SetDueDate(const struct tm *date) override { return Date("SetDueDate", &due, date); }
    DErrorCode GetDueDate(struct tm *date) override { return Copy(due, date); }
    DErrorCode SetUtcStartDate(const struct tm *date) override { return Date("SetUtcStartDate", &utcStart, date); }
    DErrorCode GetUtcStartDate(struct tm *date) override { return Copy(utcStart, date); }
    DErrorCode SetStartDate(const struct tm *date) override { return Date("SetStartDate", &start, date); }
    DErrorCode GetStartDate(struct tm *date) override { return Copy(start, date); }
    DErrorCode SetReminderSet(bool flag) override { return Flag("SetReminderSet", &reminderSet, flag); }
    DErrorCode IsReminderSet(bool *flag) override { return Out(reminderSet, flag); }
    DErrorCode SetReminderTime(const struct tm *time) override { return Date("SetReminderTime", &reminderTime, time); }
    DErrorCode GetReminderTime(struct tm *time) override { return Copy(reminderTime, time); }
    DErrorCode SetSensitivity(uint32_t value) override { return Number("SetSensitivity", &sensitivity, value); }
    DErrorCode GetSensitivity(uint32_t *value) override { return Give(sensitivity, value); }
    DErrorCode SetSubject(const VString &text) override { return Text("SetSubject", &subject, text); }
    DErrorCode GetSubject(VString *text) override { return Give(subject, text); }
    DErrorCode SetImportance(uint32_t value) override { return Number("SetImportance", &importance, value); }
    DErrorCode GetImportance(uint32_t *value) override { return Give(importance, value); }
    DErrorCode ClearRecurrence() override {
        calls += "ClearRecurrence;";
        recurring = false;
        return kNoError;
    }
    DErrorCode IsRecurring(bool *flag) override { return Out(recurring, flag); }
    DErrorCode GetRecurrence(DTaskRecurrencePattern *out) override {
        *out = pattern;
        return kNoError;
    }
    DErrorCode SetRecurrence(const DTaskRecurrencePattern *in) override {
        calls += "SetRecurrence;";
        pattern = *in;
        recurring = true;
        return kNoError;
    }

private:
    DErrorCode Text(const char *name, std::string *field, const VString &text) {
        calls += std::string(name) + ";";
        *field = Utf8Of(text);
        return kNoError;
    }
    DErrorCode Flag(const char *name, bool *field, bool value) {
        calls += std::string(name) + ";";
        *field = value;
        return kNoError;
    }
    DErrorCode Date(const char *name, struct tm *field, const struct tm *value) {
        calls += std::string(name) + ";";
        *field = *value;
        return kNoError;
    }
    DErrorCode Number(const char *name, uint32_t *field, uint32_t value) {
        calls += std::string(name) + ";";
        *field = value;
        return kNoError;
    }
    static DErrorCode Give(const std::string &field, VString *out) {
        AssignWide(field, out);
        return kNoError;
    }
    static DErrorCode Give(uint32_t field, uint32_t *out) {
        *out = field;
        return kNoError;
    }
    static DErrorCode Copy(const struct tm &field, struct tm *out) {
        *out = field;
        return kNoError;
    }
};

#endif
