// A Pocket Outlook store as a collection of items over its shadow records,
// the change scan, and the record work of the completion and purge jobs.
#include <cstdlib>
#include <new>
#include <string>

#include "DWinMobPimManagerBase.h"
#include "ServerIDText.h"

namespace {
DErrorCode Complete(DActiveTaskSignal *completion, DErrorCode result) {
    if (completion != nullptr) completion->Signal(result);
    return result;
}
}  // namespace

DErrorCode DWinMobPimManagerBase::GetCount(uint32_t *count) {
    if (count == nullptr) return generalErrInvalidParameter;
    *count = 0;
    DErrorCode err = RequireOpen();
    return err != kNoError ? err : m_shadow->GetRecordCount(count);
}

DErrorCode DWinMobPimManagerBase::GetItem(uint32_t index, IOutlookItem **item) {
    if (item == nullptr) return generalErrInvalidParameter;
    *item = nullptr;
    uint32_t count = 0;
    DErrorCode err = GetCount(&count);
    if (err != kNoError) return err;
    if (index >= count) return generalErrIndexOutOfRange;
    DWinMobShadowRecord record;
    err = m_shadow->GetRecordAt(index, &record);
    uint32_t objectID = 0;
    if (err == kNoError) err = record.GetOutlookObjectID(&objectID);
    return err != kNoError ? err : GetItemForOid(LONG(objectID), item);
}

DErrorCode DWinMobPimManagerBase::FindItemByServerID(const char *serverID, IOutlookItem **item,
                                                     DActiveTaskSignal *completion) {
    if (serverID == nullptr || item == nullptr) return generalErrInvalidParameter;
    *item = nullptr;
    DErrorCode err = RequireOpen();
    if (err != kNoError) return err;
    std::u16string wide;
    err = ServerIDToWide(serverID, &wide);
    if (err != kNoError) return err;
    DWinMobShadowRecord record;
    err = m_shadow->FindByServerID(wide.c_str(), &record);
    if (err == generalErrItemNotFound) {
        Complete(completion, generalErrItemNotFound);
        return kNoError;
    }
    uint32_t objectID = 0;
    if (err == kNoError) err = record.GetOutlookObjectID(&objectID);
    // A known item that cannot be read is a failure, never "not found":
    // the caller would add the server's item a second time.
    if (err == kNoError) err = CreateItemForOid(LONG(objectID), item);
    if (err != kNoError) {
        delete *item;
        *item = nullptr;
        return err;
    }
    Complete(completion, kNoError);
    return kNoError;
}

DErrorCode DWinMobPimManagerBase::HasChangedItems(bool *flag, DActiveTaskSignal *completion) {
    if (flag == nullptr) return Complete(completion, generalErrInvalidParameter);
    *flag = false;
    m_changed.clear();
    DErrorCode err = RequireOpen();
    if (err != kNoError) return Complete(completion, err);
    uint32_t count = 0;
    CEOID *list = nullptr;
    err = m_shadow->ScanChanged(&count, &list);
    if (err == kNoError) {
        try {
            m_changed.assign(list, list + count);
        } catch (const std::bad_alloc &) {
            err = generalErrMemoryError;
        }
    }
    std::free(list);
    *flag = err == kNoError && !m_changed.empty();
    return Complete(completion, err);
}

DErrorCode DWinMobPimManagerBase::GetChangedItems(DListNode<IOutlookItem> *list, DActiveTaskSignal *completion) {
    if (list == nullptr) return Complete(completion, generalErrInvalidParameter);
    DErrorCode err = RequireOpen();
    DListNode<IOutlookItem> *cursor = list;
    for (size_t i = 0; i < m_changed.size() && err == kNoError; ++i) {
        DWinMobShadowRecord record;
        err = m_shadow->GetRecordByOID(m_changed[i], &record);
        uint32_t objectID = 0;
        if (err == kNoError) err = record.GetOutlookObjectID(&objectID);
        IOutlookItem *item = nullptr;
        if (err == kNoError) err = GetItemForOid(LONG(objectID), &item);
        if (err == kNoError) {
            err = AppendToList(&cursor, item);
            if (err != kNoError) delete item;
        }
    }
    return Complete(completion, err);
}

DErrorCode DWinMobPimManagerBase::GetItemForOid(LONG objectID, IOutlookItem **item) {
    if (item == nullptr) return generalErrInvalidParameter;
    *item = nullptr;
    if (CreateItemForOid(objectID, item) == kNoError) return kNoError;
    delete *item;
    *item = nullptr;
    return generalErrItemNotFound;
}

DErrorCode DWinMobPimManagerBase::AppendToList(DListNode<IOutlookItem> **cursor, IOutlookItem *item) {
    if (cursor == nullptr || *cursor == nullptr) return generalErrInvalidParameter;
    DListNode<IOutlookItem> *at = *cursor;
    if (at->item == nullptr && at->next == nullptr) {
        at->item = item;
        return kNoError;
    }
    while (at->next != nullptr) at = at->next;
    DListNode<IOutlookItem> *node = new (std::nothrow) DListNode<IOutlookItem>;
    if (node == nullptr) return generalErrMemoryError;
    node->item = item;
    at->next = node;
    *cursor = node;
    return kNoError;
}

DErrorCode DWinMobPimManagerBase::CompleteSentRecords() {
    DErrorCode err = RequireOpen();
    uint32_t position = kShadowOidNone;
    while (err == kNoError) {
        DWinMobShadowRecord record;
        bool found = false;
        err = m_shadow->NextSent(&position, &record, &found);
        if (err != kNoError || !found) break;
        err = record.SetSent(false);
        if (err == kNoError) err = record.ClearModified();
        bool keepNew = false;
        if (err == kNoError) err = record.IsKeepNew(&keepNew);
        if (err == kNoError && !keepNew) err = record.SetNew(false);
        // The server has the body now: its checksum is the synchronised one.
        if (err == kNoError) err = record.PromoteSentBodyChecksum();
    }
    return err;
}

DErrorCode DWinMobPimManagerBase::PurgeSentDeleted() {
    DErrorCode err = RequireOpen();
    uint32_t position = kShadowOidNone;
    while (err == kNoError) {
        DWinMobShadowRecord record;
        bool found = false;
        err = m_shadow->NextSent(&position, &record, &found);
        if (err != kNoError || !found) break;
        bool deleted = false;
        err = record.IsDeleted(&deleted);
        if (err != kNoError || !deleted) continue;
        uint32_t objectID = 0;
        err = record.GetOutlookObjectID(&objectID);
        IOutlookItem *item = nullptr;
        if (err == kNoError) err = GetItemForOid(LONG(objectID), &item);
        bool modified = false;
        if (err == kNoError) err = item->IsModified(&modified);
        if (err == kNoError && !modified) {
            err = DeleteItemObject(item);
            // Its record is gone: the next one now stands where it stood.
            if (err == kNoError) --position;
        }
        delete item;
    }
    return err;
}
