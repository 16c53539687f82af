// A calendar, contacts or tasks store for the data manager's preparation
// tests: items kept as ids in a bench the test owns (the data manager owns
// and deletes the store itself), an open result to hand back, a change
// answer, and counts of the clean-ups asked for.
#ifndef VTEST_PREPAREFAKES_H
#define VTEST_PREPAREFAKES_H

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "DActiveSyncDataManager.h"
#include "DCalendarManager.h"

struct FakePimBench {
    std::vector<std::string> items;
    DErrorCode openResult = kNoError;
    bool changed = false;
    int made = 0;
    int opens = 0;
    int cleanUps = 0;
};

// The bench of each kind (appointment, contact, task); null: no store can be made.
inline FakePimBench *&FakePimBenchOf(uint32_t kind) {
    static FakePimBench *benches[8] = {};
    return benches[kind & 7];
}

class FakePimItem : public IOutlookItem {
public:
    explicit FakePimItem(std::string id) : m_id(std::move(id)) {}
    const std::string &Id() const { return m_id; }
    DErrorCode Open() override { return kNoError; }
    DErrorCode Close() override { return kNoError; }
    DErrorCode Commit() override { return kNoError; }
    DErrorCode CommitNewItem(DActiveTaskSignal *) override { return generalErrNotImplemented; }
    DErrorCode IsNew(bool *f) override { return *f = false, kNoError; }
    DErrorCode SetNew(bool) override { return kNoError; }
    DErrorCode IsDeleted(bool *f) override { return *f = false, kNoError; }
    DErrorCode SetDeleted(bool) override { return kNoError; }
    DErrorCode IsSent(bool *f) override { return *f = false, kNoError; }
    DErrorCode SetSent(bool) override { return kNoError; }
    DErrorCode IsKeptNew(bool *f) override { return *f = false, kNoError; }
    DErrorCode SetKeptNew(bool) override { return kNoError; }
    DErrorCode IsModified(bool *f) override { return *f = false, kNoError; }
    DErrorCode ClearModified() override { return kNoError; }
    DErrorCode GetID(char *buffer, uint32_t size) override {
        if (buffer == nullptr || size <= m_id.size()) return generalErrBufferTooSmall;
        std::memcpy(buffer, m_id.c_str(), m_id.size() + 1);
        return kNoError;
    }
    DErrorCode SetID(const char *) override { return generalErrNotImplemented; }
    DErrorCode MatchID(const char *id, bool *equal) override { return *equal = m_id == id, kNoError; }

private:
    std::string m_id;
};

// Signals every completion before it returns, as the device stores do.
class FakePimStore : public DCalendarManager {
public:
    explicit FakePimStore(FakePimBench *bench) : m_bench(bench) { ++bench->made; }

    DErrorCode OpenAsync(DActiveTaskSignal *completion) override {
        ++m_bench->opens;
        if (completion != nullptr) completion->Signal(m_bench->openResult);
        return m_bench->openResult;
    }
    DErrorCode CleanUpStore(DActiveTaskSignal *completion) override {
        ++m_bench->cleanUps;
        if (completion != nullptr) completion->Signal(kNoError);
        return kNoError;
    }
    DErrorCode HasChangedItems(bool *flag, DActiveTaskSignal *completion) override {
        *flag = m_bench->changed;
        if (completion != nullptr) completion->Signal(kNoError);
        return kNoError;
    }

    DErrorCode Open() override { return kNoError; }
    DErrorCode Close() override { return kNoError; }
    DErrorCode Reopen() override { return kNoError; }
    DErrorCode GetCount(uint32_t *count) override {
        *count = uint32_t(m_bench->items.size());
        return kNoError;
    }
    DErrorCode GetItem(uint32_t index, IOutlookItem **item) override {
        *item = index < m_bench->items.size() ? new FakePimItem(m_bench->items[index]) : nullptr;
        return *item != nullptr ? kNoError : generalErrIndexOutOfRange;
    }
    DErrorCode GetItemByID(const char *, IOutlookItem **) override { return generalErrNotImplemented; }
    DErrorCode GetName(VString *) override { return generalErrNotImplemented; }
    DErrorCode Reserved() override { return generalErrNotImplemented; }
    DErrorCode CreateNewItem(uint32_t, IOutlookItem **, DActiveTaskSignal *) override {
        return generalErrNotImplemented;
    }
    DErrorCode DeleteItem(IOutlookItem *item, DActiveTaskSignal *completion) override {
        auto &items = m_bench->items;
        const std::string id = static_cast<FakePimItem *>(item)->Id();
        items.erase(std::remove(items.begin(), items.end(), id), items.end());
        if (completion != nullptr) completion->Signal(kNoError);
        return kNoError;
    }
    DErrorCode FindItemByID(const char *, IOutlookItem **, DActiveTaskSignal *) override {
        return generalErrNotImplemented;
    }
    DErrorCode GetChangedItems(DListNode<IOutlookItem> *, DActiveTaskSignal *) override {
        return generalErrNotImplemented;
    }

private:
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
    if (kind == kOutlookItemAppointment) data.SetPimStoreAllocator(kind, &AllocateFakePimStore<kOutlookItemAppointment>);
    if (kind == kOutlookItemContact) data.SetPimStoreAllocator(kind, &AllocateFakePimStore<kOutlookItemContact>);
    if (kind == kOutlookItemTask) data.SetPimStoreAllocator(kind, &AllocateFakePimStore<kOutlookItemTask>);
}

#endif
