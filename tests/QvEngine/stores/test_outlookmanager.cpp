// The store managers' common base: the three background jobs (complete sent
// items, purge deleted items, delete existing items), how each ends, and
// what the kind managers answer for themselves.
#include <gtest/gtest.h>

#include "DCalendarManager.h"
#include "DContactManager.h"
#include "DTasksManager.h"
#include "QvEngine/foundation/FakeGlobalData.h"
#include "storefakes.h"

namespace {

// A store manager over a FakeStore; the test may put it in any job state.
template <class Kind>
class FakeManager : public FakeCollectionOps<Kind> {
public:
    explicit FakeManager(FakeStore *store) : FakeCollectionOps<Kind>(store) {}
    void ForceJob(uint32_t job) { this->m_job = job; }
};

class OutlookManagerTest : public ::testing::Test {
protected:
    OutlookManagerTest() : tasks(nullptr), context(&log, &tasks), requester(&tasks), manager(&store) {
        EXPECT_EQ(manager.InitForSync(&context, &client), kNoError);
    }
    void Run() { RunTurns(tasks); }

    MemoryLog log;
    DActiveTaskManager tasks;
    FakeGlobalData context;
    RecordingClient client;
    RequesterTask requester;
    FakeStore store;
    FakeManager<DTasksManager> manager;
};

TEST_F(OutlookManagerTest, DeleteExistingItemsOnAnEmptyStoreEndsAtOnceWithoutProgress) {
    ASSERT_EQ(manager.DeleteExistingItems(requester.GetSignal()), kNoError);
    EXPECT_TRUE(log.Has("DOutlookManager::DeleteExistingItems() need to delete all items :0\n"));
    EXPECT_EQ(RunTurns(tasks), 2);  // the manager's one step, the requester's
    EXPECT_EQ(requester.completions, 1);
    EXPECT_EQ(requester.code, kNoError);
    EXPECT_TRUE(client.reports.empty());
    EXPECT_EQ(manager.GetJob(), kJobIdle);
}

TEST_F(OutlookManagerTest, DeleteExistingItemsDeletesFromTheEndAndSkipsWhatFails) {
    const struct {
        const char *label;
        std::function<void(FakeStore &)> setup;
        const char *left;
        const char *deleted;
        std::vector<std::string> reports;
        const char *logged;
    } cases[] = {
        {"every item deleted, one per step", [](FakeStore &) {}, "", "del c;del b;del a;",
         {"1/3 left 2", "2/3 left 1", "3/3 left 0"}, nullptr},
        {"an undeletable item is logged and left",
         [](FakeStore &s) { s.records[1].deleteError = 0x80004005; }, "b", "del c;del a;",
         {"1/3 left 2", "2/3 left 1", "3/3 left 0"},
         "DOutlookManager::DeleteAllInCurrFolder() failed to delete a message (ERR) : 0x80004005\n"},
        {"an item that cannot be read is logged and left",
         [](FakeStore &s) { s.failGetAt = 2; }, "c", "del b;del a;", {"1/3 left 2", "2/3 left 1", "3/3 left 0"},
         "DOutlookManager::DeleteAllInCurrFolder() failed to get the message (ERR) : 0x73700ff\n"},
        {"a store that shrinks meanwhile is followed to its new end",
         [](FakeStore &s) {
             s.afterDelete = [&s] {
                 if (s.records.size() == 2) s.records.erase(s.records.begin());  // "a" goes elsewhere
             };
         },
         "", "del c;del b;", {"1/3 left 2", "3/3 left 0"}, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        FakeStore items({"a", "b", "c"});
        c.setup(items);
        FakeManager<DTasksManager> m(&items);
        RequesterTask waiter(&tasks);
        ASSERT_EQ(m.InitForSync(&context, &client), kNoError);
        client.reports.clear();
        log.text.clear();
        ASSERT_EQ(m.DeleteExistingItems(waiter.GetSignal()), kNoError);
        Run();
        EXPECT_EQ(items.Ids(), c.left);
        EXPECT_EQ(items.ops, c.deleted);
        for (uint32_t index : items.reads) EXPECT_LT(index, 3u);
        EXPECT_EQ(client.reports, c.reports);
        for (uint32_t type : client.types) EXPECT_EQ(type, kStatusTypeProgress);
        if (c.logged != nullptr) {
            EXPECT_TRUE(log.Has(c.logged)) << log.text;
        }
        EXPECT_EQ(waiter.completions, 1);
        EXPECT_EQ(waiter.code, kNoError);
        EXPECT_EQ(m.GetJob(), kJobIdle);
    }
}

TEST_F(OutlookManagerTest, AnUnknownJobStateIsLoggedAndDoesNothing) {
    store = FakeStore({"a"});
    manager.ForceJob(9);
    ASSERT_EQ(manager.ActivateAndSignal(), kNoError);
    Run();
    EXPECT_TRUE(log.Has("DOutlookManager::RunTask() - Unknown State : 9\n")) << log.text;
    EXPECT_EQ(store.Ids(), "a");
    EXPECT_TRUE(store.reads.empty());
    EXPECT_EQ(requester.completions, 0);
}

TEST_F(OutlookManagerTest, CompleteSentItemsTakesBackTheSentFlags) {
    store = FakeStore({"plain", "sent", "sentKept", "sentNew"});
    store.records[1].sent = true;
    store.records[1].modified = true;
    store.records[2].sent = store.records[2].keptNew = store.records[2].isNew = true;
    store.records[3].sent = store.records[3].isNew = true;
    ASSERT_EQ(manager.StartCompleteTask(requester.GetSignal()), kNoError);
    Run();
    EXPECT_EQ(requester.completions, 1);
    EXPECT_EQ(requester.code, kNoError);
    const FakeRecord &plain = store.records[0], &sent = store.records[1], &kept = store.records[2],
                     &fresh = store.records[3];
    EXPECT_EQ(plain.commits, 0);
    EXPECT_FALSE(plain.clearedModified);
    for (const FakeRecord *r : {&sent, &kept, &fresh}) {
        SCOPED_TRACE(r->id);
        EXPECT_FALSE(r->sent);
        EXPECT_TRUE(r->clearedModified);
        EXPECT_EQ(r->commits, 1);
    }
    EXPECT_TRUE(kept.isNew);  // goes out again as new
    EXPECT_FALSE(fresh.isNew);
}

TEST_F(OutlookManagerTest, PurgeDeletedItemsDeletesOnlySentDeletedUnmodifiedItems) {
    store = FakeStore({"a", "b", "c", "d", "e"});
    for (auto &r : store.records) r.sent = r.deleted = true;
    store.records[1].modified = true;  // changed again since: stays
    store.records[3].sent = false;     // not in the Sync request: stays
    ASSERT_EQ(manager.StartPurgeTask(requester.GetSignal()), kNoError);
    Run();
    EXPECT_EQ(store.Ids(), "b d");
    EXPECT_EQ(store.ops, "del e;del c;del a;");
    EXPECT_EQ(requester.completions, 1);
    EXPECT_EQ(requester.code, kNoError);
}

// Whichever step fails, the job ends there and its requester hears the
// code once.
TEST_F(OutlookManagerTest, AFailingStepEndsJobsOneAndTwoAndSignalsTheRequesterOnce) {
    const struct {
        const char *label;
        bool purge;
        std::function<void(FakeStore &)> setup;
        DErrorCode code;
    } cases[] = {
        {"complete: a commit fails", false, [](FakeStore &s) { s.records[1].commitError = 0x80070005; }, 0x80070005},
        {"complete: the last item cannot be read", false, [](FakeStore &s) { s.failGetAt = 2; },
         generalErrUnknownError},
        {"purge: a deletion fails", true, [](FakeStore &s) { s.records[0].deleteError = 0x80004005; }, 0x80004005},
        {"purge: the count fails", true, [](FakeStore &s) { s.countError = 0x80004005; }, 0x80004005},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        FakeStore items({"a", "b", "c"});
        for (auto &r : items.records) r.sent = r.deleted = true;
        FakeManager<DTasksManager> m(&items);
        RequesterTask waiter(&tasks);
        ASSERT_EQ(m.InitForSync(&context, &client), kNoError);
        ASSERT_EQ(c.purge ? m.StartPurgeTask(waiter.GetSignal()) : m.StartCompleteTask(waiter.GetSignal()), kNoError);
        c.setup(items);  // the failure comes while the job runs
        Run();
        EXPECT_EQ(waiter.completions, 1);
        EXPECT_EQ(waiter.code, c.code);
        EXPECT_EQ(m.GetJob(), kJobIdle);
    }
}

TEST_F(OutlookManagerTest, AJobStartsOnlyWhenNoneRunsAndItsStoreCanBeCounted) {
    store = FakeStore({"a"});
    store.countError = 0x80004005;
    EXPECT_EQ(manager.StartPurgeTask(requester.GetSignal()), DErrorCode(0x80004005));
    EXPECT_EQ(manager.DeleteExistingItems(requester.GetSignal()), DErrorCode(0x80004005));
    EXPECT_EQ(manager.GetJob(), kJobIdle);
    store.countError = kNoError;

    ASSERT_EQ(manager.StartCompleteTask(requester.GetSignal()), kNoError);
    RequesterTask other(&tasks);
    EXPECT_EQ(manager.DeleteExistingItems(other.GetSignal()), activeTaskErrAlreadyActive);
    EXPECT_EQ(manager.StartPurgeTask(other.GetSignal()), activeTaskErrAlreadyActive);
    Run();
    EXPECT_EQ(requester.completions, 1);
    EXPECT_EQ(other.completions, 0);
    EXPECT_EQ(store.Ids(), "a");
}

TEST_F(OutlookManagerTest, CancellingAJobDropsItQuietly) {
    store = FakeStore({"a", "b"});
    ASSERT_EQ(manager.DeleteExistingItems(requester.GetSignal()), kNoError);
    ASSERT_EQ(manager.Deactivate(), kNoError);
    EXPECT_EQ(manager.GetJob(), kJobIdle);
    Run();
    EXPECT_EQ(store.Ids(), "a b");
    EXPECT_EQ(requester.completions, 0);
    // The manager takes a new job afterwards.
    ASSERT_EQ(manager.DeleteExistingItems(requester.GetSignal()), kNoError);
    Run();
    EXPECT_EQ(store.Ids(), "");
    EXPECT_EQ(requester.completions, 1);
}

// What every kind manager answers for itself, without a platform class.
template <class Kind>
void ExpectKindAnswers() {
    FakeStore items;
    FakeManager<Kind> m(&items);
    DActiveTaskManager tasks(nullptr);
    RequesterTask waiter(&tasks);
    bool flag = false;
    char id[8];
    DListNode<IOutlookItem> list;
    const DErrorCode notImplemented[] = {
        m.Commit(), m.IsNew(&flag), m.SetNew(true), m.IsDeleted(&flag), m.SetDeleted(true), m.IsSent(&flag),
        m.SetSent(true), m.IsKeptNew(&flag), m.SetKeptNew(true), m.IsModified(&flag), m.ClearModified(),
        m.GetID(id, sizeof id), m.SetID("1"), m.MatchID("1", &flag),
    };
    for (DErrorCode err : notImplemented) EXPECT_EQ(err, generalErrNotImplemented);

    const struct {
        const char *label;
        std::function<DErrorCode(DActiveTaskSignal *)> call;
        DErrorCode code;
    } signalled[] = {
        {"CommitNewItem", [&](DActiveTaskSignal *s) { return m.CommitNewItem(s); }, generalErrNotImplemented},
        {"HasMovedItems", [&](DActiveTaskSignal *s) { return m.HasMovedItems(&flag, s); }, generalErrNotImplemented},
        {"GetMovedItems", [&](DActiveTaskSignal *s) { return m.GetMovedItems(&list, s); }, generalErrNotImplemented},
        {"SyncCycleCompleted", [&](DActiveTaskSignal *s) { return m.SyncCycleCompleted(s); }, kNoError},
        {"CleanUpStore", [&](DActiveTaskSignal *s) { return m.CleanUpStore(s); }, kNoError},
        {"DeleteAllItems", [&](DActiveTaskSignal *s) { return m.DeleteAllItems(s); }, kNoError},
        {"OpenAsync, the store's Open failing", [&](DActiveTaskSignal *s) {
             m.openResult = 0x80004005;
             return m.OpenAsync(s);
         },
         0x80004005},
    };
    for (const auto &c : signalled) {
        SCOPED_TRACE(c.label);
        const int before = waiter.completions;
        EXPECT_EQ(c.call(waiter.GetSignal()), c.code);
        RunTurns(tasks);
        EXPECT_EQ(waiter.completions, before + 1);
        EXPECT_EQ(waiter.code, c.code);
    }
}

TEST(StoreKindManagers, AnswerForThemselvesUntilAPlatformClassDoesMore) {
    {
        SCOPED_TRACE("calendar");
        ExpectKindAnswers<DCalendarManager>();
    }
    {
        SCOPED_TRACE("contacts");
        ExpectKindAnswers<DContactManager>();
    }
    {
        SCOPED_TRACE("tasks");
        ExpectKindAnswers<DTasksManager>();
    }
}

}  // namespace
