// DWinMobPimManager: a Pocket Outlook store manager of one kind, the
// kind's manager base (DCalendarManager or DContactManager) joined with
// DWinMobPimManagerBase. The calendar and the contacts stores are it, with
// their kind's item class.
//
// Contract:
// - Open runs Initialize with the kind's folder, database and shadow type
//   and fails as it does; a store that failed to open is left closed.
//   Close gives up the running job and shuts the store down.
// - The count, the items by position, the lookup by server id and the
//   change scan go through the shadow records; an item of the object model
//   without a shadow record is not counted.
// - CreateNewItem makes a new item of the kind only (else
//   generalErrInvalidParameter); DeleteItem is the item's own delete. Both
//   signal their completion with their result.
// - FindItemByID: found, the completion is signalled with 0; no record with
//   that server id, it is signalled with generalErrItemNotFound and the call
//   returns 0; any other failure is returned unsignalled.
// - The completion job takes back the sent flags on the records themselves
//   (and promotes the body checksum of what was sent); the purge job
//   removes the sent items deleted on the device; the delete-existing job
//   ends with DeleteAllItems, so that items without a record go too (a
//   failure of that reaches the requester).
// - Reopen, GetItemByID, GetName and Reserved are the mail folders' and
//   answer generalErrNotImplemented.
#ifndef QV_DWINMOBPIMMANAGER_H
#define QV_DWINMOBPIMMANAGER_H

#include "DCalendarManager.h"
#include "DContactManager.h"
#include "DWinMobPimManagerBase.h"

template <class TKindManager>
class DWinMobPimManager : public TKindManager, public DWinMobPimManagerBase {
public:
    explicit DWinMobPimManager(const DPimStoreKind &kind) : DWinMobPimManagerBase(kind) {}
    ~DWinMobPimManager() override = default;

    DErrorCode Open() override;
    DErrorCode Close() override;
    DErrorCode Reopen() override;
    DErrorCode GetCount(uint32_t *count) override;
    DErrorCode GetItem(uint32_t index, IOutlookItem **item) override;
    DErrorCode GetItemByID(const char *serverID, IOutlookItem **item) override;
    DErrorCode GetName(VString *name) override;
    DErrorCode Reserved() override;
    DErrorCode CreateNewItem(uint32_t kind, IOutlookItem **item, DActiveTaskSignal *completion) override;
    DErrorCode DeleteItem(IOutlookItem *item, DActiveTaskSignal *completion) override;
    DErrorCode FindItemByID(const char *serverID, IOutlookItem **item, DActiveTaskSignal *completion) override;
    DErrorCode GetChangedItems(DListNode<IOutlookItem> *list, DActiveTaskSignal *completion) override;
    DErrorCode HasChangedItems(bool *flag, DActiveTaskSignal *completion) override;
    DErrorCode DeleteAllItems(DActiveTaskSignal *completion) override;

protected:
    DErrorCode CompleteSentItems() override;
    DErrorCode PurgeDeletedItems() override;
    DErrorCode FinishTask(DErrorCode result, uint32_t job) override;
};

extern template class DWinMobPimManager<DCalendarManager>;
extern template class DWinMobPimManager<DContactManager>;

#endif
