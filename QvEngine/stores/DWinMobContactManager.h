// DWinMobContactManager: the device contacts as the data manager syncs
// them: the object model's contacts folder, "Contacts Database" and the
// shadow database "QV_contacts_shadow", with DWinMobOutlookContactItem as
// its items (kind 3). Everything else is DWinMobPimManager's contract.
//
// While open it also holds the contact field list: the 50 field ids the
// store keeps (1000 to 1045, then 0, 1, 100, 101), from which the data
// manager builds the Supported element of the first contacts Sync.
#ifndef QV_DWINMOBCONTACTMANAGER_H
#define QV_DWINMOBCONTACTMANAGER_H

#include <cstdint>
#include <forward_list>

#include "DWinMobPimManager.h"

class DWinMobContactManager : public DWinMobPimManager<DContactManager> {
public:
    DWinMobContactManager();
    ~DWinMobContactManager() override;

    // The store, then the field list.
    DErrorCode Open() override;
    // The field list goes with the store.
    DErrorCode Close() override;

    // The field ids in order; null while the store is not open.
    const std::forward_list<uint32_t> *GetFieldList() const { return m_fieldListBuilt ? &m_fieldList : nullptr; }

protected:
    DErrorCode CreateItemForOid(LONG objectID, IOutlookItem **item) override;
    // Items of another kind are generalErrInvalidParameter.
    DErrorCode DeleteItemObject(IOutlookItem *item) override;

private:
    DErrorCode BuildFieldList();

    std::forward_list<uint32_t> m_fieldList;
    bool m_fieldListBuilt;
};

// new, then InitForSync(context, client); on failure nothing is handed
// out. The caller owns the manager.
DErrorCode AllocateContactManager(DOutlookManager **manager, IGlobalData *context, IOutlookManagerClient *client);

#endif
