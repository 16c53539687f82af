#include "DWinMobTasksManager.h"

#include <new>

#include "DWinMobOutlookTaskItem.h"

namespace {
DErrorCode Complete(DActiveTaskSignal *completion, DErrorCode result) {
    if (completion != nullptr) completion->Signal(result);
    return result;
}
}  // namespace

DErrorCode AllocateTasksManager(DOutlookManager **manager, IGlobalData *context, IOutlookManagerClient *client) {
    if (manager == nullptr) return generalErrInvalidParameter;
    *manager = nullptr;
    DWinMobTasksManager *made = new (std::nothrow) DWinMobTasksManager;
    if (made == nullptr) return generalErrMemoryError;
    DErrorCode err = made->InitForSync(context, client);
    if (err != kNoError) {
        delete made;
        return err;
    }
    *manager = made;
    return kNoError;
}

DErrorCode DWinMobTasksManager::Open() { return kNoError; }

DErrorCode DWinMobTasksManager::Close() {
    Deactivate();
    return kNoError;
}

DErrorCode DWinMobTasksManager::Reopen() { return generalErrNotImplemented; }

DErrorCode DWinMobTasksManager::GetCount(uint32_t *count) {
    if (count == nullptr) return generalErrInvalidParameter;
    *count = 0;
    return kNoError;
}

DErrorCode DWinMobTasksManager::GetItem(uint32_t, IOutlookItem **item) {
    if (item == nullptr) return generalErrInvalidParameter;
    *item = nullptr;
    return kNoError;
}

DErrorCode DWinMobTasksManager::GetItemByID(const char *, IOutlookItem **) { return generalErrNotImplemented; }
DErrorCode DWinMobTasksManager::GetName(VString *) { return generalErrNotImplemented; }
DErrorCode DWinMobTasksManager::Reserved() { return generalErrNotImplemented; }

DErrorCode DWinMobTasksManager::CreateNewItem(uint32_t kind, IOutlookItem **item, DActiveTaskSignal *completion) {
    if (item == nullptr) return Complete(completion, generalErrInvalidParameter);
    *item = nullptr;
    if (kind != kOutlookItemTask) return Complete(completion, generalErrInvalidParameter);
    *item = new (std::nothrow) DWinMobOutlookTaskItem;
    return Complete(completion, *item != nullptr ? kNoError : generalErrMemoryError);
}

DErrorCode DWinMobTasksManager::DeleteItem(IOutlookItem *, DActiveTaskSignal *completion) {
    return Complete(completion, kNoError);
}

DErrorCode DWinMobTasksManager::FindItemByID(const char *, IOutlookItem **item, DActiveTaskSignal *completion) {
    if (item == nullptr) return Complete(completion, generalErrInvalidParameter);
    *item = nullptr;
    Complete(completion, generalErrItemNotFound);
    return kNoError;
}

DErrorCode DWinMobTasksManager::GetChangedItems(DListNode<IOutlookItem> *, DActiveTaskSignal *completion) {
    // Nothing changes on the device: the list gets nothing.
    return Complete(completion, kNoError);
}

DErrorCode DWinMobTasksManager::HasChangedItems(bool *flag, DActiveTaskSignal *completion) {
    if (flag == nullptr) return Complete(completion, generalErrInvalidParameter);
    *flag = false;
    return Complete(completion, kNoError);
}
