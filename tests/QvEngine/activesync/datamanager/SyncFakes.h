// Fakes for the Sync answer tests: a calendar, contacts or tasks store kept
// as plain records (the data manager owns it once allocated; the test reads
// it through LastPimStore()), and a store-manager client that ignores reports.
#ifndef VTEST_SYNCFAKES_H
#define VTEST_SYNCFAKES_H

#include <cstring>
#include <map>
#include <string>

#include "DOutlookManager.h"

// Their own namespace: other test files of the program have fakes of these names.
namespace syncfakes {

struct PimRecord {
    bool isNew = false, sent = false, keptNew = false, deleted = false;
    int commits = 0;
};

class FakePimStore;
inline FakePimStore *&LastPimStore() {
    static FakePimStore *last = nullptr;
    return last;
}

class FakePimItem : public IOutlookItem {
public:
    FakePimItem(std::map<std::string, PimRecord> *records, std::string id)
        : m_records(records), m_id(std::move(id)) {}
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
    DErrorCode IsModified(bool *f) override {
        *f = false;
        return kNoError;
    }
    DErrorCode ClearModified() override { return kNoError; }
    DErrorCode GetID(char *buffer, uint32_t size) override {
        if (size <= m_id.size()) return generalErrBufferTooSmall;
        std::memcpy(buffer, m_id.c_str(), m_id.size() + 1);
        return kNoError;
    }
    DErrorCode SetID(const char *id) override {
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
    const std::string &Id() const { return m_id; }

private:
    PimRecord &Rec() { return (*m_records)[m_id]; }
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
};

class FakePimStore : public DOutlookManager {
public:
    FakePimStore() { LastPimStore() = this; }
    ~FakePimStore() override {
        if (LastPimStore() == this) LastPimStore() = nullptr;
    }
    std::map<std::string, PimRecord> records;
    // The store operations asked for, in order.
    std::string ops;
    bool changesWait = false;
    int made = 0;

    DErrorCode Open() override { return kNoError; }
    DErrorCode Close() override { return kNoError; }
    DErrorCode Reopen() override { return kNoError; }
    DErrorCode GetCount(uint32_t *count) override {
        *count = uint32_t(records.size());
        return kNoError;
    }
    DErrorCode GetItem(uint32_t, IOutlookItem **item) override {
        *item = nullptr;
        return generalErrNotImplemented;
    }
    DErrorCode GetItemByID(const char *id, IOutlookItem **item) override {
        *item = records.count(id) != 0 ? new FakePimItem(&records, id) : nullptr;
        return *item != nullptr ? kNoError : generalErrItemNotFound;
    }
    DErrorCode GetName(VString *) override { return generalErrNotImplemented; }
    DErrorCode Reserved() override { return generalErrNotImplemented; }
    DErrorCode CreateNewItem(uint32_t, IOutlookItem **item, DActiveTaskSignal *completion) override {
        const std::string id = "made" + std::to_string(++made);
        records[id] = PimRecord{};
        *item = new FakePimItem(&records, id);
        ops += "create;";
        completion->Signal(kNoError);
        return kNoError;
    }
    DErrorCode DeleteItem(IOutlookItem *item, DActiveTaskSignal *completion) override {
        const std::string id = static_cast<FakePimItem *>(item)->Id();
        records.erase(id);
        ops += "delete " + id + ";";
        completion->Signal(kNoError);
        return kNoError;
    }
    DErrorCode FindItemByID(const char *id, IOutlookItem **item, DActiveTaskSignal *completion) override {
        ops += std::string("find ") + id + ";";
        DErrorCode err = GetItemByID(id, item);
        completion->Signal(err);
        return kNoError;
    }
    DErrorCode GetChangedItems(DListNode<IOutlookItem> *, DActiveTaskSignal *completion) override {
        completion->Signal(kNoError);
        return kNoError;
    }
    DErrorCode HasChangedItems(bool *flag, DActiveTaskSignal *completion) override {
        ops += "changes?;";
        *flag = changesWait;
        completion->Signal(kNoError);
        return kNoError;
    }
    DErrorCode StartPurgeTask(DActiveTaskSignal *completion) override { return Job("purge;", completion); }
    DErrorCode StartCompleteTask(DActiveTaskSignal *completion) override { return Job("complete;", completion); }
    DErrorCode SyncCycleCompleted(DActiveTaskSignal *completion) override { return Job("cycle;", completion); }

private:
    DErrorCode Job(const char *name, DActiveTaskSignal *completion) {
        ops += name;
        completion->Signal(kNoError);
        return kNoError;
    }
};

inline DErrorCode AllocateFakePimStore(DOutlookManager **store, IGlobalData *, IOutlookManagerClient *) {
    *store = new FakePimStore;
    return kNoError;
}

class SilentManagerClient : public IOutlookManagerClient {
public:
    void OutlookManager_ReportStatus(DStatusData *, uint32_t) override {}
};

}  // namespace syncfakes

#endif
