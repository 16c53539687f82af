// DWinMobCalendarManager: the device calendar as the data manager syncs it:
// the object model's calendar folder, "Appointments Database" and the
// shadow database "QV_calendar_shadow", with DWinMobOutlookCalendarItem as
// its items (kind 5). Everything else is DWinMobPimManager's contract.
#ifndef QV_DWINMOBCALENDARMANAGER_H
#define QV_DWINMOBCALENDARMANAGER_H

#include "DWinMobPimManager.h"

class DWinMobCalendarManager : public DWinMobPimManager<DCalendarManager> {
public:
    DWinMobCalendarManager();
    ~DWinMobCalendarManager() override;

    // Opens the store; when the device's time zone is no longer the one it
    // had at this program's previous open of the calendar, the open store
    // answers ASDataManagerErrTimeZoneChanged, so that the engine takes the
    // calendar again in the new zone. (The zone the server's items mostly
    // carry may differ from the device's for good: it is no measure.)
    DErrorCode Open() override;

protected:
    DErrorCode CreateItemForOid(LONG objectID, IOutlookItem **item) override;
    // Items of another kind are generalErrInvalidParameter.
    DErrorCode DeleteItemObject(IOutlookItem *item) override;
};

// new, then InitForSync(context, client); on failure nothing is handed
// out. The caller owns the manager.
DErrorCode AllocateCalendarManager(DOutlookManager **manager, IGlobalData *context, IOutlookManagerClient *client);

#endif
