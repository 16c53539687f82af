// DCorvaneGlobalInfo: the global-info object apart from its device-bound
// operations. It holds the shared services of one engine instance (made by
// the Init of DWinMobCorvaneGlobalInfo), hands them out, deletes them with
// itself, keeps the sync mode and the busy flag, and runs the whole-store
// resets that keep the folder-info store and the preferences in step.
//
// Contract:
// - Before Init every getter answers null and every reset
//   generalErrNotInitialized; deleting an object that was never initialised
//   releases nothing.
// - The busy flag is what a cancel waits on: an IBusyClearedNotify is held
//   only while the flag is set, and clearing the flag calls it once and drops
//   it. A non-zero mode drops it without a call and clears the flag.
// - Each reset brackets its store changes with the folder-store write
//   nesting; whatever step fails, the write it began is ended, and the first
//   error is returned.
#ifndef QV_DCORVANEGLOBALINFO_H
#define QV_DCORVANEGLOBALINFO_H

#include "IGlobalData.h"

class ICorvanePreferences;
class DWinMobCorvanePreferences;
class DWinMobResourceManager;
class DLogProviderVFile;
class VFile;
class DTimerManagerWin;

class DCorvaneGlobalInfo : public IGlobalData {
public:
    DCorvaneGlobalInfo();
    DCorvaneGlobalInfo(const DCorvaneGlobalInfo &) = delete;
    DCorvaneGlobalInfo &operator=(const DCorvaneGlobalInfo &) = delete;

    ILogProvider *GetLogger() override;
    IPrefsData *GetPreferences() override;
    IResourceManager *GetResourceManager() override;
    DActiveTaskManager *GetTaskManager() override;
    ITimerManager *GetTimerManager() override;
    DEASFolderInfoStore *GetFolderInfoStore() override;
    uint32_t GetMode() override { return m_mode; }
    void SetMode(uint32_t mode) override;
    bool GetCallbackFlag() override { return m_callbackFlag; }
    bool HasCallbackObject() override { return m_callbackObject != nullptr; }
    void SetCallbackFlag(bool flag) override;
    // Held only while the flag is set; null drops a held object.
    void SetCallbackObject(IBusyClearedNotify *object) override;
    IGlobalData *GetGlobalData() override { return this; }
    uint32_t Reserved() override { return 0; }
    DErrorCode ResetAllSyncData() override;
    DErrorCode ResetMailSyncData() override;
    DErrorCode ResetCalendarSyncData() override;
    DErrorCode ResetContactsSyncData() override;
    DErrorCode ResetTasksSyncData() override;
    // The preferences go back to a new account; with flag set the store loses
    // every folder and its FolderSync key. arg is not used.
    DErrorCode ResetAccount(uint32_t flag, uint32_t arg) override;
    ~DCorvaneGlobalInfo() override;
    DErrorCode ResetOtherFolders() override;
    DWinMobActiveTaskManagerDriver *GetTaskManagerDriver() override { return m_driver; }

protected:
    // One data type's reset: its clean request, its folders' reset (remove
    // or keep them), then the FolderSync key, inside one store write.
    DErrorCode ResetTypeSyncData(DErrorCode (ICorvanePreferences::*cleanRequest)(),
                                 DErrorCode (DEASFolderInfoStore::*resetFolders)(bool));
    DErrorCode BeginStoreWrite();
    // Ends the write begun last; the first of error and the end's own error.
    DErrorCode EndStoreWrite(DErrorCode error);
    bool IsInitialized() const { return m_prefs != nullptr && m_folderStore != nullptr; }

    uint32_t m_mode;
    DWinMobCorvanePreferences *m_prefs;
    DWinMobResourceManager *m_resources;
    DLogProviderVFile *m_logger;
    VFile *m_logFile;
    DTimerManagerWin *m_timers;
    IBusyClearedNotify *m_callbackObject;
    bool m_callbackFlag;
    VFile *m_folderFile;
    DEASFolderInfoStore *m_folderStore;
    // Write nesting of the folder-info store (FolderStoreWrite.h).
    uint32_t m_folderNesting;
    DWinMobActiveTaskManagerDriver *m_driver;
};

#endif
