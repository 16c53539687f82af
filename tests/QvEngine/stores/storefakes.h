// Fakes shared by the store-manager tests: a store of items kept as plain
// records, the item objects it hands out, the collection operations over
// it, a requester task that counts its completions, a client that records
// progress reports and a log kept as text.
#ifndef VTEST_STOREFAKES_H
#define VTEST_STOREFAKES_H

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "DActiveTaskManager.h"
#include "DProgressStatusData.h"
#include "ILogProvider.h"
#include "IOutlookItemCollection.h"
#include "IOutlookManagerClient.h"
#include "QvEngine/foundation/MemoryLog.h"

struct FakeRecord {
    std::string id;
    bool sent = false;
    bool deleted = false;
    bool modified = false;
    bool keptNew = false;
    bool isNew = false;
    int commits = 0;
    bool clearedModified = false;
    DErrorCode deleteError = kNoError;
    DErrorCode commitError = kNoError;
};

// The items of one store or folder, in order. ops records the deletions
// ("del a;"), reads records the positions asked for.
class FakeStore {
public:
    std::vector<FakeRecord> records;
    std::string ops;
    std::vector<uint32_t> reads;
    DErrorCode countError = kNoError;
    // The position whose GetItem fails with getError.
    uint32_t failGetAt = kQvUnknown;
    DErrorCode getError = generalErrUnknownError;
    // Runs after each successful deletion (another writer's changes).
    std::function<void()> afterDelete;

    FakeStore() = default;
    explicit FakeStore(std::vector<std::string> ids) {
        for (auto &id : ids) records.push_back(FakeRecord{id});
    }
    FakeRecord *Find(const std::string &id) {
        for (auto &r : records)
            if (r.id == id) return &r;
        return nullptr;
    }
    std::string Ids() const {
        std::string s;
        for (auto &r : records) s += (s.empty() ? "" : " ") + r.id;
        return s;
    }
    DErrorCode Count(uint32_t *count) {
        if (countError != kNoError) return countError;
        *count = uint32_t(records.size());
        return kNoError;
    }
    DErrorCode Get(uint32_t index, IOutlookItem **item);
    DErrorCode Delete(IOutlookItem *item, DActiveTaskSignal *completion);
};

// An item object over one record; the record may go meanwhile.
class FakeItem : public IOutlookItem {
public:
    FakeItem(FakeStore *store, std::string id) : m_store(store), m_id(std::move(id)) {}
    const std::string &Id() const { return m_id; }

    DErrorCode Open() override { return kNoError; }
    DErrorCode Close() override { return kNoError; }
    DErrorCode Commit() override {
        FakeRecord *r = Get();
        if (r == nullptr) return generalErrItemNotFound;
        if (r->commitError != kNoError) return r->commitError;
        ++r->commits;
        return kNoError;
    }
    DErrorCode CommitNewItem(DActiveTaskSignal *) override { return generalErrNotImplemented; }
    DErrorCode IsNew(bool *f) override { return Read(&FakeRecord::isNew, f); }
    DErrorCode SetNew(bool f) override { return Write(&FakeRecord::isNew, f); }
    DErrorCode IsDeleted(bool *f) override { return Read(&FakeRecord::deleted, f); }
    DErrorCode SetDeleted(bool f) override { return Write(&FakeRecord::deleted, f); }
    DErrorCode IsSent(bool *f) override { return Read(&FakeRecord::sent, f); }
    DErrorCode SetSent(bool f) override { return Write(&FakeRecord::sent, f); }
    DErrorCode IsKeptNew(bool *f) override { return Read(&FakeRecord::keptNew, f); }
    DErrorCode SetKeptNew(bool f) override { return Write(&FakeRecord::keptNew, f); }
    DErrorCode IsModified(bool *f) override { return Read(&FakeRecord::modified, f); }
    DErrorCode ClearModified() override {
        FakeRecord *r = Get();
        if (r == nullptr) return generalErrItemNotFound;
        r->modified = false;
        r->clearedModified = true;
        return kNoError;
    }
    DErrorCode GetID(char *buffer, uint32_t size) override {
        if (buffer == nullptr || size <= m_id.size()) return generalErrBufferTooSmall;
        std::memcpy(buffer, m_id.c_str(), m_id.size() + 1);
        return kNoError;
    }
    DErrorCode SetID(const char *) override { return generalErrNotImplemented; }
    DErrorCode MatchID(const char *id, bool *equal) override {
        *equal = m_id == id;
        return kNoError;
    }

private:
    FakeRecord *Get() { return m_store->Find(m_id); }
    DErrorCode Read(bool FakeRecord::*field, bool *out) {
        FakeRecord *r = Get();
        if (r == nullptr) return generalErrItemNotFound;
        *out = r->*field;
        return kNoError;
    }
    DErrorCode Write(bool FakeRecord::*field, bool value) {
        FakeRecord *r = Get();
        if (r == nullptr) return generalErrItemNotFound;
        r->*field = value;
        return kNoError;
    }

    FakeStore *m_store;
    std::string m_id;
};

inline DErrorCode FakeStore::Get(uint32_t index, IOutlookItem **item) {
    reads.push_back(index);
    *item = nullptr;
    if (index == failGetAt) return getError;
    if (index >= records.size()) return generalErrIndexOutOfRange;
    *item = new FakeItem(this, records[index].id);
    return kNoError;
}

// As the stores do: the completion is signalled with the result.
inline DErrorCode FakeStore::Delete(IOutlookItem *item, DActiveTaskSignal *completion) {
    const std::string id = static_cast<FakeItem *>(item)->Id();
    DErrorCode err = generalErrItemNotFound;
    for (auto it = records.begin(); it != records.end(); ++it) {
        if (it->id != id) continue;
        err = it->deleteError;
        if (err == kNoError) {
            records.erase(it);
            ops += "del " + id + ";";
        }
        break;
    }
    if (completion != nullptr) completion->Signal(err);
    if (err == kNoError && afterDelete) afterDelete();
    return err;
}

// The collection operations over a FakeStore, for a manager or a folder.
template <class Base>
class FakeCollectionOps : public Base {
public:
    explicit FakeCollectionOps(FakeStore *store) : m_store(store) {}

    DErrorCode Open() override { return openResult; }
    DErrorCode Close() override { return kNoError; }
    DErrorCode Reopen() override { return kNoError; }
    DErrorCode GetCount(uint32_t *count) override { return m_store->Count(count); }
    DErrorCode GetItem(uint32_t index, IOutlookItem **item) override { return m_store->Get(index, item); }
    DErrorCode GetItemByID(const char *, IOutlookItem **) override { return generalErrNotImplemented; }
    DErrorCode GetName(VString *) override { return generalErrNotImplemented; }
    DErrorCode Reserved() override { return generalErrNotImplemented; }
    DErrorCode CreateNewItem(uint32_t, IOutlookItem **, DActiveTaskSignal *) override {
        return generalErrNotImplemented;
    }
    DErrorCode DeleteItem(IOutlookItem *item, DActiveTaskSignal *completion) override {
        return m_store->Delete(item, completion);
    }
    DErrorCode FindItemByID(const char *, IOutlookItem **, DActiveTaskSignal *) override {
        return generalErrNotImplemented;
    }
    DErrorCode GetChangedItems(DListNode<IOutlookItem> *, DActiveTaskSignal *) override {
        return generalErrNotImplemented;
    }
    DErrorCode HasChangedItems(bool *, DActiveTaskSignal *) override { return generalErrNotImplemented; }

    DErrorCode openResult = kNoError;

protected:
    FakeStore *m_store;
};

// Waits for one job: counts every completion (it takes itself back to
// waiting for the next one after each), keeping the last code.
class RequesterTask : public DActiveTask {
public:
    explicit RequesterTask(DActiveTaskManager *tasks) : DActiveTask(kActiveTaskDefaultPriority) {
        tasks->AddTask(this);
        Activate();
    }
    DErrorCode RunTask() override {
        ++completions;
        code = m_signal.GetCode();
        Activate();
        return kNoError;
    }
    void CancelTask() override {}

    int completions = 0;
    DErrorCode code = 0;
};

// The progress reports: "done/total left N" each.
class RecordingClient : public IOutlookManagerClient {
public:
    void OutlookManager_ReportStatus(DStatusData *status, uint32_t extra) override {
        auto *progress = static_cast<DProgressStatusData *>(status);
        reports.push_back(std::to_string(progress->GetDone()) + "/" + std::to_string(progress->GetTotal()) +
                          " left " + std::to_string(extra));
        types.push_back(status->GetType());
    }
    std::vector<std::string> reports;
    std::vector<uint32_t> types;
};


// Runs turns until no task is ready (at most limit turns); the turns run.
inline int RunTurns(DActiveTaskManager &tasks, int limit = 1000) {
    int turns = 0;
    while (turns < limit && tasks.PeekNextTask() != nullptr) {
        tasks.RunNextTask();
        ++turns;
    }
    return turns;
}

#endif
