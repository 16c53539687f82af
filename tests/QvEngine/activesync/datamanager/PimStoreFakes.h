// A calendar, contacts or tasks store for the data manager's tests. The data
// manager owns and deletes the store it makes; what the store holds and what
// was asked of it lives in a bench the test owns, so it outlasts the store:
// the items as plain records under their ids, the store operations asked for,
// the open result and change answer to hand back, and counts of stores made,
// opens and clean-ups. A kind without a bench gets no store: its allocation
// fails as on a build without that store. Items are plain IOutlookItems unless
// the bench's factory makes items of a richer kind (FakePimItemT over the
// kind's interface, its fields in a FakeItemData hung on the record).
#ifndef VTEST_PIMSTOREFAKES_H
#define VTEST_PIMSTOREFAKES_H

#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DActiveSyncDataManager.h"
#include "DOutlookManager.h"

// The fields of a richer item kind, kept with its record.
struct FakeItemData {
    virtual ~FakeItemData() = default;
};

struct PimRecord {
    bool isNew = false, sent = false, keptNew = false, deleted = false;
    int commits = 0;
    // Changed on the device and not yet settled with the server.
    bool modified = false;
    std::shared_ptr<FakeItemData> data = nullptr;
};

struct FakePimBench;

// The bench of each kind (appointment, contact, task); null: no store can be made.
inline FakePimBench *&FakePimBenchOf(uint32_t kind) {
    static FakePimBench *benches[8] = {};
    return benches[kind & 7];
}

struct FakePimBench {
    FakePimBench() = default;
    FakePimBench(const FakePimBench &) = delete;
    FakePimBench &operator=(const FakePimBench &) = delete;
    // A bench that is gone serves no later allocation (the table outlives tests).
    ~FakePimBench() {
        for (uint32_t kind = 0; kind < 8; ++kind)
            if (FakePimBenchOf(kind) == this) FakePimBenchOf(kind) = nullptr;
    }

    std::map<std::string, PimRecord> records;
    // The store operations asked for, in order.
    std::string ops;
    DErrorCode openResult = kNoError;
    // What HasChangedItems answers.
    bool changed = false;
    int made = 0;
    int opens = 0;
    int cleanUps = 0;
    // Items created so far (their first ids: "new1", "new2", ...).
    int created = 0;
    // What GetChangedItems hands out: these records' items, in order.
    std::vector<std::string> changedIds;
    // Makes the store's item over a record (null: a plain FakePimItem).
    std::function<IOutlookItem *(FakePimBench *bench, const std::string &id)> makeItem;
};

// The flag and id operations over a record, on top of the item kind's
// interface. Without a record map (an item that lives outside the store) the
// item keeps a record of its own.
template <class Base>
class FakePimItemT : public Base {
public:
    FakePimItemT(std::map<std::string, PimRecord> *records, std::string id) : m_records(records), m_id(std::move(id)) {}
    const std::string &Id() const { return m_id; }

    DErrorCode Open() override { return kNoError; }
    DErrorCode Close() override { return kNoError; }
    DErrorCode Commit() override {
        ++Rec().commits;
        return kNoError;
    }
    DErrorCode CommitNewItem(DActiveTaskSignal *completion) override {
        ++Rec().commits;
        if (completion != nullptr) completion->Signal(kNoError);
        return kNoError;
    }
    DErrorCode IsNew(bool *f) override { return Get(&PimRecord::isNew, f); }
    DErrorCode SetNew(bool f) override { return Put(&PimRecord::isNew, f); }
    DErrorCode IsDeleted(bool *f) override { return Get(&PimRecord::deleted, f); }
    DErrorCode SetDeleted(bool f) override { return Put(&PimRecord::deleted, f); }
    DErrorCode IsSent(bool *f) override { return Get(&PimRecord::sent, f); }
    DErrorCode SetSent(bool f) override { return Put(&PimRecord::sent, f); }
    DErrorCode IsKeptNew(bool *f) override { return Get(&PimRecord::keptNew, f); }
    DErrorCode SetKeptNew(bool f) override { return Put(&PimRecord::keptNew, f); }
    DErrorCode IsModified(bool *f) override { return Get(&PimRecord::modified, f); }
    DErrorCode ClearModified() override { return Put(&PimRecord::modified, false); }
    DErrorCode GetID(char *buffer, uint32_t size) override {
        if (buffer == nullptr || size <= m_id.size()) return generalErrBufferTooSmall;
        std::memcpy(buffer, m_id.c_str(), m_id.size() + 1);
        return kNoError;
    }
    DErrorCode SetID(const char *id) override {
        if (m_records == nullptr) {
            m_id = id;
            return kNoError;
        }
        // The record is kept under the id the server gives it.
        PimRecord kept = Rec();
        m_records->erase(m_id);
        m_id = id;
        (*m_records)[m_id] = kept;
        return kNoError;
    }
    DErrorCode MatchID(const char *id, bool *equal) override {
        *equal = m_id == id;
        return kNoError;
    }

protected:
    PimRecord &Rec() { return m_records != nullptr ? (*m_records)[m_id] : m_own; }
    DErrorCode Get(bool PimRecord::*field, bool *out) {
        *out = Rec().*field;
        return kNoError;
    }
    DErrorCode Put(bool PimRecord::*field, bool value) {
        Rec().*field = value;
        return kNoError;
    }
    std::map<std::string, PimRecord> *m_records;
    std::string m_id;
    PimRecord m_own;
};

using FakePimItem = FakePimItemT<IOutlookItem>;

// The bench's item for the record.
inline IOutlookItem *MakeFakeItem(FakePimBench *bench, const std::string &id) {
    if (bench->makeItem) return bench->makeItem(bench, id);
    return new FakePimItem(&bench->records, id);
}

// Signals every completion before it returns, as the device stores do. The
// delete-everything job is the base class's own walk over GetItem/DeleteItem.
class FakePimStore : public DOutlookManager {
public:
    explicit FakePimStore(FakePimBench *bench) : m_bench(bench) { ++bench->made; }

    DErrorCode OpenAsync(DActiveTaskSignal *completion) override {
        ++m_bench->opens;
        return Done(completion, m_bench->openResult);
    }
    DErrorCode CleanUpStore(DActiveTaskSignal *completion) override {
        ++m_bench->cleanUps;
        return Done(completion, kNoError);
    }
    DErrorCode HasChangedItems(bool *flag, DActiveTaskSignal *completion) override {
        m_bench->ops += "changes?;";
        *flag = m_bench->changed;
        return Done(completion, kNoError);
    }
    DErrorCode StartPurgeTask(DActiveTaskSignal *completion) override { return Job("purge;", completion); }
    DErrorCode StartCompleteTask(DActiveTaskSignal *completion) override { return Job("complete;", completion); }
    DErrorCode SyncCycleCompleted(DActiveTaskSignal *completion) override { return Job("cycle;", completion); }

    DErrorCode Open() override { return kNoError; }
    DErrorCode Close() override { return kNoError; }
    DErrorCode Reopen() override { return kNoError; }
    DErrorCode GetCount(uint32_t *count) override {
        *count = uint32_t(m_bench->records.size());
        return kNoError;
    }
    DErrorCode GetItem(uint32_t index, IOutlookItem **item) override {
        *item = nullptr;
        if (index >= m_bench->records.size()) return generalErrIndexOutOfRange;
        *item = MakeFakeItem(m_bench, std::next(m_bench->records.begin(), index)->first);
        return kNoError;
    }
    DErrorCode GetItemByID(const char *id, IOutlookItem **item) override {
        *item = m_bench->records.count(id) != 0 ? MakeFakeItem(m_bench, id) : nullptr;
        return *item != nullptr ? kNoError : generalErrItemNotFound;
    }
    DErrorCode GetName(VString *) override { return generalErrNotImplemented; }
    DErrorCode Reserved() override { return generalErrNotImplemented; }
    DErrorCode CreateNewItem(uint32_t, IOutlookItem **item, DActiveTaskSignal *completion) override {
        const std::string id = "new" + std::to_string(++m_bench->created);
        m_bench->records[id] = PimRecord{};
        *item = MakeFakeItem(m_bench, id);
        m_bench->ops += "create;";
        return Done(completion, kNoError);
    }
    DErrorCode DeleteItem(IOutlookItem *item, DActiveTaskSignal *completion) override {
        char buffer[256] = {};
        item->GetID(buffer, sizeof buffer);
        const std::string id = buffer;
        m_bench->records.erase(id);
        m_bench->ops += "delete " + id + ";";
        return Done(completion, kNoError);
    }
    DErrorCode FindItemByID(const char *id, IOutlookItem **item, DActiveTaskSignal *completion) override {
        m_bench->ops += std::string("find ") + id + ";";
        Done(completion, GetItemByID(id, item));
        return kNoError;
    }
    DErrorCode GetChangedItems(DListNode<IOutlookItem> *list, DActiveTaskSignal *completion) override {
        for (const std::string &id : m_bench->changedIds)
            if (m_bench->records.count(id) != 0) list->Append(MakeFakeItem(m_bench, id));
        return Done(completion, kNoError);
    }

private:
    static DErrorCode Done(DActiveTaskSignal *completion, DErrorCode result) {
        if (completion != nullptr) completion->Signal(result);
        return result;
    }
    DErrorCode Job(const char *name, DActiveTaskSignal *completion) {
        m_bench->ops += name;
        return Done(completion, kNoError);
    }
    FakePimBench *m_bench;
};

template <uint32_t Kind>
DErrorCode AllocateFakePimStore(DOutlookManager **store, IGlobalData *global, IOutlookManagerClient *client) {
    FakePimBench *bench = FakePimBenchOf(Kind);
    if (bench == nullptr) return generalErrNotImplemented;
    auto *made = new FakePimStore(bench);
    DErrorCode err = made->InitForSync(global, client);
    *store = made;
    return err;
}

// Puts a fake store of the kind in place, over the bench.
inline void UseFakePimStore(DActiveSyncDataManager &data, uint32_t kind, FakePimBench *bench) {
    FakePimBenchOf(kind) = bench;
    if (kind == kOutlookItemAppointment)
        data.SetPimStoreAllocator(kind, &AllocateFakePimStore<kOutlookItemAppointment>);
    if (kind == kOutlookItemContact) data.SetPimStoreAllocator(kind, &AllocateFakePimStore<kOutlookItemContact>);
    if (kind == kOutlookItemTask) data.SetPimStoreAllocator(kind, &AllocateFakePimStore<kOutlookItemTask>);
}

// A store-manager client that ignores reports.
class SilentManagerClient : public IOutlookManagerClient {
public:
    void OutlookManager_ReportStatus(DStatusData *, uint32_t) override {}
};

#endif
