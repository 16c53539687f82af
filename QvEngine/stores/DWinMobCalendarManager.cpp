#include "DWinMobCalendarManager.h"

#include <new>

#include "DWinMobOutlookCalendarItem.h"

namespace {
const DPimStoreKind kCalendarKind = {olFolderCalendar, u"Appointments Database", kShadowCalendar,
                                     kOutlookItemAppointment, "ERROR - Calendar Manager"};
}  // namespace

DErrorCode AllocateCalendarManager(DOutlookManager **manager, IGlobalData *context, IOutlookManagerClient *client) {
    if (manager == nullptr) return generalErrInvalidParameter;
    *manager = nullptr;
    DWinMobCalendarManager *made = new (std::nothrow) DWinMobCalendarManager;
    if (made == nullptr) return generalErrMemoryError;
    DErrorCode err = made->InitForSync(context, client);
    if (err != kNoError) {
        delete made;
        return err;
    }
    *manager = made;
    return kNoError;
}

DWinMobCalendarManager::DWinMobCalendarManager() : DWinMobPimManager<DCalendarManager>(kCalendarKind) {}

DWinMobCalendarManager::~DWinMobCalendarManager() = default;

DErrorCode DWinMobCalendarManager::CreateItemForOid(LONG objectID, IOutlookItem **item) {
    if (item == nullptr) return generalErrInvalidParameter;
    *item = nullptr;
    DWinMobOutlookCalendarItem *made = new (std::nothrow) DWinMobOutlookCalendarItem(m_pimLog);
    if (made == nullptr) return generalErrMemoryError;
    DErrorCode err = made->Load(GetShadowDB(), GetApplication(), GetDatabase(), objectID);
    if (err != kNoError) {
        delete made;
        return err;
    }
    *item = made;
    return kNoError;
}

DErrorCode DWinMobCalendarManager::DeleteItemObject(IOutlookItem *item) {
    auto *meeting = dynamic_cast<IOutlookMeeting *>(item);
    return meeting != nullptr ? meeting->Delete() : generalErrInvalidParameter;
}
