// The tasks store: no device data behind it. Server tasks are taken and
// dropped, nothing is ever found or reported changed, and its item answers
// every query with the same fixed values.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "DWinMobOutlookTaskItem.h"
#include "DWinMobTasksManager.h"
#include "QvEngine/foundation/FakeGlobalData.h"
#include "storefakes.h"

namespace {

std::u16string Text(const VString &s) { return s.GetWideText() != nullptr ? s.GetWideText() : u"(narrow)"; }

class TasksStoreTest : public ::testing::Test {
protected:
    TasksStoreTest() : tasks(nullptr), context(&log, &tasks), waiter(&tasks) {
        EXPECT_EQ(AllocateTasksManager(&store, &context, &client), kNoError);
        EXPECT_NE(store, nullptr);
        EXPECT_EQ(store->Open(), kNoError);
    }
    ~TasksStoreTest() override { delete store; }
    // The completions heard so far, the last code in waiter.code.
    int Heard() {
        RunTurns(tasks);
        return waiter.completions;
    }

    MemoryLog log;
    DActiveTaskManager tasks;
    FakeGlobalData context;
    RecordingClient client;
    RequesterTask waiter;
    DOutlookManager *store = nullptr;
};

TEST_F(TasksStoreTest, AServerAddMakesAPlaceholderAndLeavesNothingOnTheDevice) {
    IOutlookItem *item = nullptr;
    ASSERT_EQ(store->FindItemByID("5:1", &item, waiter.GetSignal()), kNoError);
    EXPECT_EQ(item, nullptr);
    EXPECT_EQ(Heard(), 1);
    EXPECT_EQ(waiter.code, generalErrItemNotFound);

    ASSERT_EQ(store->CreateNewItem(kOutlookItemTask, &item, waiter.GetSignal()), kNoError);
    EXPECT_EQ(Heard(), 2);
    EXPECT_EQ(waiter.code, kNoError);
    auto *task = dynamic_cast<IOutlookTask *>(item);
    ASSERT_NE(task, nullptr);
    VString subject;
    ASSERT_EQ(subject.AssignCStr("Call the office", kVStringUTF8), kNoError);
    EXPECT_EQ(task->SetSubject(subject), kNoError);
    EXPECT_EQ(task->SetID("5:1"), kNoError);
    EXPECT_EQ(task->CommitNewItem(waiter.GetSignal()), kNoError);
    EXPECT_EQ(Heard(), 3);
    EXPECT_EQ(waiter.code, kNoError);
    delete item;

    uint32_t count = 99;
    EXPECT_EQ(store->GetCount(&count), kNoError);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(store->GetItem(0, &item), kNoError);
    EXPECT_EQ(item, nullptr);
    item = reinterpret_cast<IOutlookItem *>(1);
    EXPECT_EQ(store->FindItemByID("5:1", &item, waiter.GetSignal()), kNoError);
    EXPECT_EQ(item, nullptr);
    EXPECT_EQ(Heard(), 4);
    EXPECT_EQ(waiter.code, generalErrItemNotFound);
}

TEST_F(TasksStoreTest, ATasksSyncNeverCarriesLocalChanges) {
    bool changed = true;
    ASSERT_EQ(store->HasChangedItems(&changed, waiter.GetSignal()), kNoError);
    EXPECT_FALSE(changed);
    EXPECT_EQ(Heard(), 1);
    EXPECT_EQ(waiter.code, kNoError);

    DListNode<IOutlookItem> list;
    ASSERT_EQ(store->GetChangedItems(&list, waiter.GetSignal()), kNoError);
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.next, nullptr);
    EXPECT_EQ(Heard(), 2);
    EXPECT_EQ(waiter.code, kNoError);
}

TEST_F(TasksStoreTest, EveryCallThatTakesACompletionSignalsItOnce) {
    DWinMobOutlookTaskItem placeholder;
    IOutlookItem *item = nullptr;
    const struct {
        const char *label;
        std::function<DErrorCode(DActiveTaskSignal *)> call;
        DErrorCode returned, signalled;
    } cases[] = {
        {"delete an item: no work", [&](DActiveTaskSignal *s) { return store->DeleteItem(&placeholder, s); }, kNoError,
         kNoError},
        {"create another kind", [&](DActiveTaskSignal *s) { return store->CreateNewItem(kOutlookItemContact, &item, s); },
         generalErrInvalidParameter, generalErrInvalidParameter},
        {"delete existing items", [&](DActiveTaskSignal *s) { return store->DeleteExistingItems(s); }, kNoError,
         kNoError},
        {"purge deleted items", [&](DActiveTaskSignal *s) { return store->StartPurgeTask(s); }, kNoError, kNoError},
        {"complete sent items", [&](DActiveTaskSignal *s) { return store->StartCompleteTask(s); }, kNoError, kNoError},
        {"end of the cycle", [&](DActiveTaskSignal *s) { return store->SyncCycleCompleted(s); }, kNoError, kNoError},
        {"clean up", [&](DActiveTaskSignal *s) { return store->CleanUpStore(s); }, kNoError, kNoError},
        {"open", [&](DActiveTaskSignal *s) { return store->OpenAsync(s); }, kNoError, kNoError},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        const int before = waiter.completions;
        EXPECT_EQ(c.call(waiter.GetSignal()), c.returned);
        EXPECT_EQ(Heard(), before + 1);
        EXPECT_EQ(waiter.code, c.signalled);
        EXPECT_EQ(item, nullptr);
    }
    EXPECT_TRUE(client.reports.empty());
    EXPECT_EQ(store->GetItemByID("1", &item), generalErrNotImplemented);
    EXPECT_EQ(store->Close(), kNoError);
}

TEST_F(TasksStoreTest, ClosingGivesUpARunningJob) {
    ASSERT_EQ(store->DeleteExistingItems(waiter.GetSignal()), kNoError);
    EXPECT_EQ(store->Close(), kNoError);
    EXPECT_EQ(store->GetJob(), kJobIdle);
    EXPECT_EQ(Heard(), 0);
}

TEST(TasksStoreFactory, HandsOutNothingWhenTheManagerCannotJoinTheEngine) {
    FakeGlobalData noTasks;  // no task manager to join
    DOutlookManager *store = reinterpret_cast<DOutlookManager *>(1);
    EXPECT_EQ(AllocateTasksManager(&store, &noTasks, nullptr), generalErrNotInitialized);
    EXPECT_EQ(store, nullptr);
    EXPECT_EQ(AllocateTasksManager(nullptr, &noTasks, nullptr), generalErrInvalidParameter);
}

TEST(TaskPlaceholder, AnswersEveryQueryWithItsFixedValues) {
    DWinMobOutlookTaskItem task;
    bool flag = false;
    using FlagQuery = DErrorCode (IOutlookTask::*)(bool *);
    const FlagQuery yes[] = {&IOutlookTask::IsNew, &IOutlookTask::IsModified, &IOutlookTask::IsBodyChanged,
                             &IOutlookTask::IsReminderSet, &IOutlookTask::IsRecurring};
    const FlagQuery no[] = {&IOutlookTask::IsDeleted, &IOutlookTask::IsSent, &IOutlookTask::IsKeptNew,
                            &IOutlookTask::IsComplete};
    for (FlagQuery query : yes) {
        flag = false;
        EXPECT_EQ((task.*query)(&flag), kNoError);
        EXPECT_TRUE(flag);
    }
    for (FlagQuery query : no) {
        flag = true;
        EXPECT_EQ((task.*query)(&flag), kNoError);
        EXPECT_FALSE(flag);
    }

    VString text;
    ASSERT_EQ(task.GetBody(&text), kNoError);
    EXPECT_EQ(Text(text), u"This is the Body.");
    ASSERT_EQ(task.GetSubject(&text), kNoError);
    EXPECT_EQ(Text(text), u"This is the Subject.");

    const struct {
        DErrorCode (IOutlookTask::*query)(struct tm *);
        int month, day, hour;
    } dates[] = {
        {&IOutlookTask::GetDateCompleted, 1, 5, 12}, {&IOutlookTask::GetUtcDueDate, 8, 13, 4},
        {&IOutlookTask::GetUtcStartDate, 8, 13, 4},  {&IOutlookTask::GetDueDate, 8, 13, 0},
        {&IOutlookTask::GetStartDate, 8, 13, 0},     {&IOutlookTask::GetReminderTime, 8, 13, 12},
    };
    for (const auto &d : dates) {
        struct tm t;
        std::memset(&t, 0x55, sizeof t);
        ASSERT_EQ((task.*d.query)(&t), kNoError);
        EXPECT_EQ(t.tm_year, 106);
        EXPECT_EQ(t.tm_mon, d.month);
        EXPECT_EQ(t.tm_mday, d.day);
        EXPECT_EQ(t.tm_hour, d.hour);
        EXPECT_EQ(t.tm_min, 0);
        EXPECT_EQ(t.tm_sec, 0);
    }

    uint32_t number = 0;
    EXPECT_EQ(task.GetSensitivity(&number), kNoError);
    EXPECT_EQ(number, 2u);
    number = 0;
    EXPECT_EQ(task.GetImportance(&number), kNoError);
    EXPECT_EQ(number, 2u);

    // The caller's end date and day, week and month fields stay as given.
    DTaskRecurrencePattern pattern;
    pattern.type = kRepeatYearlyByDays;
    pattern.interval = 7;
    pattern.noEnd = pattern.regenerate = pattern.deadOccurrence = true;
    pattern.until.tm_year = 140;
    pattern.dayOfWeekMask = 4;
    pattern.dayOfMonth = 9;
    pattern.weekOfMonth = 2;
    pattern.monthOfYear = 11;
    ASSERT_EQ(task.GetRecurrence(&pattern), kNoError);
    EXPECT_EQ(pattern.type, kRepeatDaily);
    EXPECT_EQ(pattern.interval, 1);
    EXPECT_FALSE(pattern.noEnd);
    EXPECT_EQ(pattern.occurrences, 10u);
    EXPECT_EQ(pattern.start.tm_year, 106);
    EXPECT_EQ(pattern.start.tm_mon, 8);
    EXPECT_EQ(pattern.start.tm_mday, 13);
    EXPECT_EQ(pattern.start.tm_hour, 12);
    EXPECT_FALSE(pattern.regenerate);
    EXPECT_FALSE(pattern.deadOccurrence);
    EXPECT_EQ(pattern.until.tm_year, 140);
    EXPECT_EQ(pattern.dayOfWeekMask, 4);
    EXPECT_EQ(pattern.dayOfMonth, 9);
    EXPECT_EQ(pattern.weekOfMonth, 2);
    EXPECT_EQ(pattern.monthOfYear, 11);

    char id[8] = "garbage";
    EXPECT_EQ(task.GetID(id, sizeof id), kNoError);
    EXPECT_STREQ(id, "");
    StringListNode categories = {nullptr, nullptr};
    EXPECT_EQ(task.GetCategories(&categories), kNoError);
    EXPECT_EQ(categories.value, nullptr);
    EXPECT_EQ(categories.next, nullptr);

    EXPECT_EQ(task.SetDeleted(true), generalErrNotImplemented);
    EXPECT_EQ(task.MatchID("1", &flag), generalErrNotImplemented);
    EXPECT_EQ(task.IsNew(nullptr), generalErrInvalidParameter);
}

TEST(TaskPlaceholder, TakesEverySettingWithoutKeepingIt) {
    DWinMobOutlookTaskItem task;
    VString text;
    ASSERT_EQ(text.AssignCStr("Other", kVStringUTF8), kNoError);
    struct tm date = {};
    date.tm_year = 120;
    DTaskRecurrencePattern pattern;
    pattern.occurrences = 3;
    const DErrorCode results[] = {
        task.Open(), task.Commit(), task.SetNew(false), task.SetSent(true), task.SetKeptNew(true),
        task.ClearModified(), task.SetID("9"), task.SetBody(text), task.SetCategories(nullptr),
        task.SetComplete(true), task.SetDateCompleted(&date), task.SetUtcDueDate(&date), task.SetDueDate(&date),
        task.SetUtcStartDate(&date), task.SetStartDate(&date), task.SetReminderSet(false),
        task.SetReminderTime(&date), task.SetSensitivity(0), task.SetSubject(text), task.SetImportance(0),
        task.ClearRecurrence(), task.SetRecurrence(&pattern), task.Close(),
    };
    for (DErrorCode err : results) EXPECT_EQ(err, kNoError);
    bool flag = false;
    EXPECT_EQ(task.IsComplete(&flag), kNoError);
    EXPECT_FALSE(flag);
    ASSERT_EQ(task.GetSubject(&text), kNoError);
    EXPECT_EQ(Text(text), u"This is the Subject.");
    ASSERT_EQ(task.GetUtcDueDate(&date), kNoError);
    EXPECT_EQ(date.tm_year, 106);
}

}  // namespace
