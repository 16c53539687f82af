#include "DWinMobPimManager.h"

namespace {
DErrorCode Complete(DActiveTaskSignal *completion, DErrorCode result) {
    if (completion != nullptr) completion->Signal(result);
    return result;
}
}  // namespace

template <class TKindManager>
DErrorCode DWinMobPimManager<TKindManager>::Open() {
    m_pimLog = this->m_log;
    const DPimStoreKind &kind = Kind();
    const HRESULT hr = Initialize(kind.folder, kind.databaseName, kind.shadowType);
    // Half an open store would answer from what it has: none at all.
    if (FAILED(hr)) Shutdown();
    return DErrorCode(hr);
}

template <class TKindManager>
DErrorCode DWinMobPimManager<TKindManager>::Close() {
    this->Deactivate();
    Shutdown();
    return kNoError;
}

template <class TKindManager>
DErrorCode DWinMobPimManager<TKindManager>::Reopen() {
    return generalErrNotImplemented;
}

template <class TKindManager>
DErrorCode DWinMobPimManager<TKindManager>::GetCount(uint32_t *count) {
    return DWinMobPimManagerBase::GetCount(count);
}

template <class TKindManager>
DErrorCode DWinMobPimManager<TKindManager>::GetItem(uint32_t index, IOutlookItem **item) {
    return DWinMobPimManagerBase::GetItem(index, item);
}

template <class TKindManager>
DErrorCode DWinMobPimManager<TKindManager>::GetItemByID(const char *, IOutlookItem **) {
    return generalErrNotImplemented;
}

template <class TKindManager>
DErrorCode DWinMobPimManager<TKindManager>::GetName(VString *) {
    return generalErrNotImplemented;
}

template <class TKindManager>
DErrorCode DWinMobPimManager<TKindManager>::Reserved() {
    return generalErrNotImplemented;
}

template <class TKindManager>
DErrorCode DWinMobPimManager<TKindManager>::CreateNewItem(uint32_t kind, IOutlookItem **item,
                                                          DActiveTaskSignal *completion) {
    if (item == nullptr) return Complete(completion, generalErrInvalidParameter);
    *item = nullptr;
    if (kind != Kind().itemKind) return Complete(completion, generalErrInvalidParameter);
    DErrorCode err = CreateItemForOid(-2, item);
    if (err != kNoError) {
        delete *item;
        *item = nullptr;
    }
    return Complete(completion, err);
}

template <class TKindManager>
DErrorCode DWinMobPimManager<TKindManager>::DeleteItem(IOutlookItem *item, DActiveTaskSignal *completion) {
    if (item == nullptr) return Complete(completion, generalErrInvalidParameter);
    return Complete(completion, DeleteItemObject(item));
}

template <class TKindManager>
DErrorCode DWinMobPimManager<TKindManager>::FindItemByID(const char *serverID, IOutlookItem **item,
                                                         DActiveTaskSignal *completion) {
    return FindItemByServerID(serverID, item, completion);
}

template <class TKindManager>
DErrorCode DWinMobPimManager<TKindManager>::GetChangedItems(DListNode<IOutlookItem> *list,
                                                            DActiveTaskSignal *completion) {
    return DWinMobPimManagerBase::GetChangedItems(list, completion);
}

template <class TKindManager>
DErrorCode DWinMobPimManager<TKindManager>::HasChangedItems(bool *flag, DActiveTaskSignal *completion) {
    return DWinMobPimManagerBase::HasChangedItems(flag, completion);
}

template <class TKindManager>
DErrorCode DWinMobPimManager<TKindManager>::DeleteAllItems(DActiveTaskSignal *completion) {
    return DeleteAll(completion);
}

template <class TKindManager>
DErrorCode DWinMobPimManager<TKindManager>::CompleteSentItems() {
    return FinishTask(CompleteSentRecords(), kJobCompleteSentItems);
}

template <class TKindManager>
DErrorCode DWinMobPimManager<TKindManager>::PurgeDeletedItems() {
    return FinishTask(PurgeSentDeleted(), kJobPurgeDeletedItems);
}

template <class TKindManager>
DErrorCode DWinMobPimManager<TKindManager>::FinishTask(DErrorCode result, uint32_t job) {
    // The walk deleted the items that have records; the rest of the folder
    // goes now, and a failure of that is the job's result.
    if (job == kJobDeleteExistingItems && result == kNoError) result = DeleteAll(nullptr);
    return TKindManager::FinishTask(result, job);
}

template class DWinMobPimManager<DCalendarManager>;
template class DWinMobPimManager<DContactManager>;
