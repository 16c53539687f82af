// DOutlookManager: the common base of every store manager (calendar,
// contacts, tasks, mail). A manager is the store seen as one collection of
// items, and a cooperative task that runs the store's three background jobs
// for the data manager one step at a time: completing the items that went
// into the last Sync request, purging the items deleted on the device, and
// deleting every item of the store.
//
// Contract:
// - InitForSync runs once, right after construction: it keeps the engine
//   context and the client (neither owned) and adds the manager's task to
//   the context's task manager.
// - At most one job runs at a time; starting another meanwhile is refused
//   with activeTaskErrAlreadyActive. A start that fails starts nothing and
//   returns its error without signalling.
// - Every started job ends through FinishTask, which signals the
//   requester's completion exactly once with the job's result; nothing of
//   the job (its progress record above all) is touched after that.
// - A manager is not an item: the per-item operations of IOutlookItem
//   (Commit to MatchID) and the moved-item lookups answer
//   generalErrNotImplemented, signalling a completion they are given.
#ifndef QV_DOUTLOOKMANAGER_H
#define QV_DOUTLOOKMANAGER_H

#include <cstdint>

#include "DProgressStatusData.h"
#include "IGlobalData.h"
#include "ILogProvider.h"
#include "IOutlookItemCollection.h"
#include "IOutlookManagerClient.h"

// The manager's job: what its task's steps do.
enum EOutlookManagerJob : uint32_t {
    // No job: the task is not expected to run; a Start call begins a job.
    kJobIdle = 0,
    // Walks the items forward from the position, taking back the sent flag of
    // each item of the last Sync request; ends in one step, then idle.
    kJobCompleteSentItems = 1,
    // Walks the items back from the position, deleting those sent, deleted
    // and not modified, one deletion per step; idle after the first item.
    kJobPurgeDeletedItems = 2,
    // Deletes every item of the walked collection from the end, one per
    // step, reporting progress; idle when none is left.
    kJobDeleteExistingItems = 3,
};

class DOutlookManager : public IOutlookItemCollection {
public:
    DOutlookManager();
    // Deletes the progress record; the task detaches itself.
    ~DOutlookManager() override;

    // Keeps the context and the client, takes the log provider from the
    // context and adds the manager's task to the context's task manager.
    virtual DErrorCode InitForSync(IGlobalData *context, IOutlookManagerClient *client);
    // Open, then signals the completion with its result and returns it.
    virtual DErrorCode OpenAsync(DActiveTaskSignal *completion);
    // End of a sync cycle; signals success unless a store has work to do.
    virtual DErrorCode SyncCycleCompleted(DActiveTaskSignal *completion);
    // End-of-run clean-up of the store; signals success unless a store has work.
    virtual DErrorCode CleanUpStore(DActiveTaskSignal *completion);
    // Start the jobs; completion is signalled when the job ends.
    virtual DErrorCode StartPurgeTask(DActiveTaskSignal *completion);
    virtual DErrorCode StartCompleteTask(DActiveTaskSignal *completion);
    virtual DErrorCode DeleteExistingItems(DActiveTaskSignal *completion);
    // Empties the whole store at once; signals success unless a store does it.
    virtual DErrorCode DeleteAllItems(DActiveTaskSignal *completion);

    // A manager is not an item.
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
    DErrorCode GetID(char *buffer, uint32_t size) override;
    DErrorCode SetID(const char *id) override;
    DErrorCode MatchID(const char *id, bool *equal) override;
    DErrorCode HasMovedItems(bool *flag, DActiveTaskSignal *completion) override;
    DErrorCode GetMovedItems(DListNode<IOutlookItem> *list, DActiveTaskSignal *completion) override;

    // The task's step: runs one step of the current job.
    DErrorCode RunTask() override;
    // Deactivation drops the job: job, requester, walked collection and
    // position cleared, the progress record deleted. The requester is not
    // signalled (nobody waits any more: the owner gave the work up).
    void CancelTask() override;

    uint32_t GetJob() const { return m_job; }

protected:
    // One run of job 1 over the walked collection (the base walk suits a
    // store whose items keep their change flags themselves).
    virtual DErrorCode CompleteSentItems();
    // One step of job 2: deletes at most one item.
    virtual DErrorCode PurgeDeletedItems();
    // One step of job 3: deletes one item from the end; a failure to get or
    // delete an item is logged and skipped.
    virtual DErrorCode DeleteAllInCurrFolder();
    // Ends the job: signals the requester with result, then deactivates the
    // task (which drops the job). A step that calls it returns 0 at once.
    virtual DErrorCode FinishTask(DErrorCode result, uint32_t job);

    // Drops the job's state without signalling anybody (CancelTask's work).
    void ClearJob();
    // Refuses a start while a job runs.
    DErrorCode CheckIdle() const;

    void LogText(const char *text);
    // text, the count in decimal, a line end.
    void LogCount(const char *text, uint32_t count);
    // text, the code in hexadecimal, a line end.
    void LogCode(const char *text, DErrorCode code);

    IGlobalData *m_context;
    IOutlookManagerClient *m_client;
    ILogProvider *m_log;
    // EOutlookManagerJob.
    uint32_t m_job;
    // Signalled once when the job ends; not owned.
    DActiveTaskSignal *m_requester;
    // The collection the job walks (the manager itself unless a store
    // names another); not owned.
    IOutlookItemCollection *m_collection;
    // Job 1: the next index; jobs 2 and 3: the items still to visit.
    uint32_t m_position;
    // Job 3's progress {total, done}; owned.
    DProgressStatusData *m_progress;
};

#endif
