// IGlobalData: the hub of one engine instance. It creates, owns and hands out
// the shared services (logger, preferences, resource strings, task manager
// and its driver, timer manager, folder-info store) and offers the
// whole-store resets that keep the folder-info store and the preferences in
// step. Created by CreateQvGlobalInfo; Init must run before anything else.
#ifndef QV_IGLOBALDATA_H
#define QV_IGLOBALDATA_H

#include <cstdint>

#include "DErrorCode.h"
#include "winuser.h"

class ILogProvider;
class IPrefsData;
class IResourceManager;
class DActiveTaskManager;
class ITimerManager;
class DEASFolderInfoStore;
class DWinMobActiveTaskManagerDriver;

// Told when the engine's busy flag clears, by an engine that waited for it.
class IBusyClearedNotify {
public:
    virtual ~IBusyClearedNotify() = default;
    virtual void EngineBusyCleared() = 0;
};

class IGlobalData {
public:
    virtual ILogProvider *GetLogger() = 0;
    virtual IPrefsData *GetPreferences() = 0;
    virtual IResourceManager *GetResourceManager() = 0;
    virtual DActiveTaskManager *GetTaskManager() = 0;
    virtual ITimerManager *GetTimerManager() = 0;
    virtual DEASFolderInfoStore *GetFolderInfoStore() = 0;
    virtual uint32_t GetMode() = 0;
    // A non-zero mode also drops the callback object and clears the flag.
    virtual void SetMode(uint32_t mode) = 0;
    virtual bool GetCallbackFlag() = 0;
    virtual bool HasCallbackObject() = 0;
    // Clearing a set flag while an object is held calls its EngineBusyCleared
    // and drops it.
    virtual void SetCallbackFlag(bool flag) = 0;
    virtual void SetCallbackObject(IBusyClearedNotify *object) = 0;
    virtual IGlobalData *GetGlobalData() = 0;
    virtual uint32_t Reserved() = 0;
    virtual DErrorCode ResetAllSyncData() = 0;
    virtual DErrorCode ResetMailSyncData() = 0;
    virtual DErrorCode ResetCalendarSyncData() = 0;
    virtual DErrorCode ResetContactsSyncData() = 0;
    virtual DErrorCode ResetTasksSyncData() = 0;
    virtual DErrorCode ResetAccount(uint32_t flag, uint32_t arg) = 0;
    virtual ~IGlobalData() = default;
    virtual DErrorCode ResetOtherFolders() = 0;
    virtual DErrorCode Init(const WCHAR *logPath, HWND window, UINT messageId) = 0;
    virtual DErrorCode OpenLogFile() = 0;
    virtual DWinMobActiveTaskManagerDriver *GetTaskManagerDriver() = 0;
    virtual DErrorCode ResetITPolicyKeys() = 0;
};

#endif
