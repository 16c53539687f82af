#include "DCorvaneGlobalInfo.h"

#include "DEASFolderInfoStore.h"
#include "DLogProviderVFile.h"
#include "DTimerManagerWin.h"
#include "DWinMobActiveTaskManagerDriver.h"
#include "DWinMobCorvanePreferences.h"
#include "DWinMobResourceManager.h"
#include "FolderStoreWrite.h"
#include "VFile.h"

DCorvaneGlobalInfo::DCorvaneGlobalInfo()
    : m_mode(0),
      m_prefs(nullptr),
      m_resources(nullptr),
      m_logger(nullptr),
      m_logFile(nullptr),
      m_timers(nullptr),
      m_callbackObject(nullptr),
      m_callbackFlag(false),
      m_folderFile(nullptr),
      m_folderStore(nullptr),
      m_folderNesting(0),
      m_driver(nullptr) {}

DCorvaneGlobalInfo::~DCorvaneGlobalInfo() {
    delete m_driver;
    delete m_prefs;
    delete m_resources;
    delete m_logger;
    delete m_timers;
    delete m_logFile;
    // The store closes its file on the way out, so the file goes after it.
    delete m_folderStore;
    delete m_folderFile;
}

ILogProvider *DCorvaneGlobalInfo::GetLogger() { return m_logger; }

IPrefsData *DCorvaneGlobalInfo::GetPreferences() { return m_prefs; }

IResourceManager *DCorvaneGlobalInfo::GetResourceManager() { return m_resources; }

DActiveTaskManager *DCorvaneGlobalInfo::GetTaskManager() {
    return m_driver != nullptr ? m_driver->GetTaskManager() : nullptr;
}

ITimerManager *DCorvaneGlobalInfo::GetTimerManager() { return m_timers; }

DEASFolderInfoStore *DCorvaneGlobalInfo::GetFolderInfoStore() { return m_folderStore; }

void DCorvaneGlobalInfo::SetMode(uint32_t mode) {
    m_mode = mode;
    if (mode != 0) {
        m_callbackObject = nullptr;
        m_callbackFlag = false;
    }
}

void DCorvaneGlobalInfo::SetCallbackFlag(bool flag) {
    const bool wasSet = m_callbackFlag;
    m_callbackFlag = flag;
    if (flag || !wasSet || m_callbackObject == nullptr) return;
    // Dropped before the call: the notice may start the next run, which may
    // set the flag and leave an object again.
    IBusyClearedNotify *waiting = m_callbackObject;
    m_callbackObject = nullptr;
    waiting->EngineBusyCleared();
}

void DCorvaneGlobalInfo::SetCallbackObject(IBusyClearedNotify *object) {
    // Nothing is busy without the flag: an object held then would be called
    // by some later run's end instead.
    m_callbackObject = m_callbackFlag ? object : nullptr;
}

DErrorCode DCorvaneGlobalInfo::BeginStoreWrite() { return BeginFolderStoreWrite(m_folderStore, &m_folderNesting); }

DErrorCode DCorvaneGlobalInfo::EndStoreWrite(DErrorCode error) {
    DErrorCode ended = EndFolderStoreWrite(m_folderStore, &m_folderNesting);
    return error != kNoError ? error : ended;
}

DErrorCode DCorvaneGlobalInfo::ResetMailSyncData() {
    if (!IsInitialized()) return generalErrNotInitialized;
    DErrorCode err = BeginStoreWrite();
    if (err != kNoError) return err;
    DEASFolderInfoRecord *inbox = nullptr;
    err = m_folderStore->FindFirstFolderOfType(kFolderTypeInbox, &inbox);
    if (err == generalErrItemNotFound) err = kNoError;
    if (err == kNoError) err = m_prefs->RequestCleanMailbox();
    if (err == kNoError) err = m_folderStore->ResetMailFolders(false);
    if (err == kNoError) err = m_folderStore->ResetFolderSyncKey();
    return EndStoreWrite(err);
}

DErrorCode DCorvaneGlobalInfo::ResetTypeSyncData(DErrorCode (ICorvanePreferences::*cleanRequest)(),
                                                 DErrorCode (DEASFolderInfoStore::*resetFolders)(bool)) {
    if (!IsInitialized()) return generalErrNotInitialized;
    DErrorCode err = BeginStoreWrite();
    if (err != kNoError) return err;
    ICorvanePreferences *prefs = m_prefs;
    err = (prefs->*cleanRequest)();
    if (err == kNoError) err = (m_folderStore->*resetFolders)(true);
    if (err == kNoError) err = m_folderStore->ResetFolderSyncKey();
    return EndStoreWrite(err);
}

DErrorCode DCorvaneGlobalInfo::ResetCalendarSyncData() {
    return ResetTypeSyncData(&ICorvanePreferences::RequestCleanCalendar, &DEASFolderInfoStore::ResetCalendarFolders);
}

DErrorCode DCorvaneGlobalInfo::ResetContactsSyncData() {
    return ResetTypeSyncData(&ICorvanePreferences::RequestCleanContacts, &DEASFolderInfoStore::ResetContactFolders);
}

DErrorCode DCorvaneGlobalInfo::ResetTasksSyncData() {
    return ResetTypeSyncData(&ICorvanePreferences::RequestCleanTasks, &DEASFolderInfoStore::ResetTaskFolders);
}

DErrorCode DCorvaneGlobalInfo::ResetOtherFolders() {
    if (!IsInitialized()) return generalErrNotInitialized;
    if (!m_folderStore->IsOpen()) return kNoError;
    DErrorCode err = m_folderStore->ResetJournalFolders(true);
    if (err == kNoError) err = m_folderStore->ResetNoteFolders(true);
    if (err == kNoError) err = m_folderStore->ResetGenericFolders(true);
    return err;
}

DErrorCode DCorvaneGlobalInfo::ResetAllSyncData() {
    if (!IsInitialized()) return generalErrNotInitialized;
    DErrorCode err = BeginStoreWrite();
    if (err != kNoError) return err;
    err = m_folderStore->ResetFolderSyncKey();
    if (err == kNoError) err = ResetMailSyncData();
    if (err == kNoError) err = ResetCalendarSyncData();
    if (err == kNoError) err = ResetContactsSyncData();
    if (err == kNoError) err = ResetTasksSyncData();
    if (err == kNoError) err = ResetOtherFolders();
    if (err == kNoError) err = m_folderStore->ResetAllSyncKeys();
    if (err == kNoError) err = m_prefs->ResetAccount();
    return EndStoreWrite(err);
}

DErrorCode DCorvaneGlobalInfo::ResetAccount(uint32_t flag, uint32_t) {
    if (!IsInitialized()) return generalErrNotInitialized;
    DErrorCode err = m_prefs->ResetToNewAccount();
    if (err != kNoError || flag == 0) return err;
    err = BeginStoreWrite();
    if (err != kNoError) return err;
    err = m_folderStore->ResetFolderSyncKey();
    if (err == kNoError) err = m_folderStore->RemoveAllFolders();
    if (err == kNoError) err = m_folderStore->Save();
    return EndStoreWrite(err);
}
