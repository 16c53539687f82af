// DWinMobTasksManager: the tasks store. No device task database stands
// behind it: it opens nothing, holds no item, never reports a change, and
// hands out placeholder task items (DWinMobOutlookTaskItem) for the server's
// tasks, so that the tasks type runs through the data manager's steps
// without effect on the device.
// - CreateNewItem makes a placeholder for kind 4 only.
// - FindItemByID never finds: no item, the completion signalled with
//   generalErrItemNotFound, the call itself 0.
// - DeleteItem does no work; HasChangedItems answers false and
//   GetChangedItems adds nothing. Each signals the completion with 0.
// - The jobs, the end-of-cycle and clean-up calls are the base manager's;
//   operations of mail folders answer generalErrNotImplemented.
#ifndef QV_DWINMOBTASKSMANAGER_H
#define QV_DWINMOBTASKSMANAGER_H

#include "DTasksManager.h"

class DWinMobTasksManager : public DTasksManager {
public:
    DWinMobTasksManager() = default;
    ~DWinMobTasksManager() override = default;

    DErrorCode Open() override;
    // Gives up the job that runs, if any.
    DErrorCode Close() override;
    DErrorCode Reopen() override;
    // Always 0.
    DErrorCode GetCount(uint32_t *count) override;
    // Succeeds without an item.
    DErrorCode GetItem(uint32_t index, IOutlookItem **item) override;
    DErrorCode GetItemByID(const char *serverID, IOutlookItem **item) override;
    DErrorCode GetName(VString *name) override;
    DErrorCode Reserved() override;
    DErrorCode CreateNewItem(uint32_t kind, IOutlookItem **item, DActiveTaskSignal *completion) override;
    DErrorCode DeleteItem(IOutlookItem *item, DActiveTaskSignal *completion) override;
    DErrorCode FindItemByID(const char *serverID, IOutlookItem **item, DActiveTaskSignal *completion) override;
    DErrorCode GetChangedItems(DListNode<IOutlookItem> *list, DActiveTaskSignal *completion) override;
    DErrorCode HasChangedItems(bool *flag, DActiveTaskSignal *completion) override;
};

// new, then InitForSync(context, client); on failure nothing is handed
// out. The caller owns the manager.
DErrorCode AllocateTasksManager(DOutlookManager **manager, IGlobalData *context, IOutlookManagerClient *client);

#endif
