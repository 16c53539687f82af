// The device stores as the data manager reaches them: made on first need,
// and the store (or mail folder) that the command in hand works on.
#include "DActiveSyncDataManager.h"
#include "DOutlookManager.h"
#include "DWinMobMessageManager.h"
#include "DWinMobOutlookMessageCollection.h"

DErrorCode DActiveSyncDataManager::AllocateMessageStore() {
    if (m_msg != nullptr) return kNoError;
    DWinMobMessageManager *made = nullptr;
    DErrorCode err = AllocateMessageManager(&made, m_global, this);
    if (err != kNoError) {
        delete made;
        return err;
    }
    m_msg = made;
    return kNoError;
}

DErrorCode DActiveSyncDataManager::OpenMessageStore() {
    DErrorCode err = AllocateMessageStore();
    if (err == kNoError && m_msg->GetMsgStore() == nullptr) err = m_msg->Open(nullptr);
    return err;
}

DErrorCode DActiveSyncDataManager::AllocatePimStore(uint32_t kind, DOutlookManager **store) {
    if (*store != nullptr) return kNoError;
    PimStoreAllocator allocate = kind == kOutlookItemAppointment ? m_allocCal
                                 : kind == kOutlookItemContact   ? m_allocCon
                                 : kind == kOutlookItemTask      ? m_allocTsk
                                                                 : nullptr;
    // No store of this kind exists on this build.
    if (allocate == nullptr) return generalErrNotImplemented;
    DOutlookManager *made = nullptr;
    DErrorCode err = allocate(&made, m_global, this);
    if (err != kNoError) {
        delete made;
        return err;
    }
    *store = made;
    return kNoError;
}

DErrorCode DActiveSyncDataManager::CurrentMailFolder(DWinMobOutlookMessageCollection **collection) {
    *collection = nullptr;
    if (m_folders == nullptr) return generalErrNotInitialized;
    DEASFolderInfoRecord *folder = nullptr;
    DErrorCode err = m_folders->GetCurrentFolder(&folder);
    if (err != kNoError) return err;
    err = OpenMessageStore();
    if (err != kNoError) return err;
    return m_msg->GetMailFolderCollection(folder->GetString(kFolderFieldServerID), collection);
}

DErrorCode DActiveSyncDataManager::StoreOfCommand(IOutlookItemCollection **store) {
    *store = nullptr;
    switch (mCurrASCommand) {
        case kCmdFirstEMailSync:
        case kCmdEMailSync: {
            DWinMobOutlookMessageCollection *folder = nullptr;
            DErrorCode err = CurrentMailFolder(&folder);
            *store = folder;
            return err;
        }
        case kCmdFirstCalendarSync:
        case kCmdCalendarSync:
            *store = m_cal;
            break;
        case kCmdFirstContactsSync:
        case kCmdContactsSync:
            *store = m_con;
            break;
        case kCmdFirstTasksSync:
        case kCmdTasksSync:
            *store = m_tsk;
            break;
        default:
            return activeSyncErrUnexpectedStep;
    }
    return *store != nullptr ? kNoError : generalErrNotInitialized;
}

bool DActiveSyncDataManager::HasSyncKey(DEASFolderInfoRecord *folder) {
    if (folder == nullptr) return false;
    const char *key = folder->GetString(kFolderFieldSyncKey);
    return key != nullptr && std::string(key) != "0";
}
