// FakeGlobalData: a global-info object for tests of foundation pieces that
// only need a logger and a task manager; every other service is null and
// every other operation does nothing.
#ifndef VTEST_FAKEGLOBALDATA_H
#define VTEST_FAKEGLOBALDATA_H

#include "DActiveTaskManager.h"
#include "IGlobalData.h"
#include "ILogProvider.h"

class FakeGlobalData : public IGlobalData {
public:
    FakeGlobalData(ILogProvider *logger = nullptr, DActiveTaskManager *manager = nullptr)
        : m_logger(logger), m_manager(manager) {}

    ILogProvider *GetLogger() override { return m_logger; }
    IPrefsData *GetPreferences() override { return nullptr; }
    IResourceManager *GetResourceManager() override { return nullptr; }
    DActiveTaskManager *GetTaskManager() override { return m_manager; }
    ITimerManager *GetTimerManager() override { return nullptr; }
    DEASFolderInfoStore *GetFolderInfoStore() override { return nullptr; }
    uint32_t GetMode() override { return 0; }
    void SetMode(uint32_t) override {}
    bool GetCallbackFlag() override { return false; }
    bool HasCallbackObject() override { return false; }
    void SetCallbackFlag(bool) override {}
    void SetCallbackObject(IBusyClearedNotify *) override {}
    IGlobalData *GetGlobalData() override { return this; }
    uint32_t Reserved() override { return 0; }
    DErrorCode ResetAllSyncData() override { return kNoError; }
    DErrorCode ResetMailSyncData() override { return kNoError; }
    DErrorCode ResetCalendarSyncData() override { return kNoError; }
    DErrorCode ResetContactsSyncData() override { return kNoError; }
    DErrorCode ResetTasksSyncData() override { return kNoError; }
    DErrorCode ResetAccount(uint32_t, uint32_t) override { return kNoError; }
    DErrorCode ResetOtherFolders() override { return kNoError; }
    DErrorCode Init(const WCHAR *, HWND, UINT) override { return kNoError; }
    DErrorCode OpenLogFile() override { return kNoError; }
    DWinMobActiveTaskManagerDriver *GetTaskManagerDriver() override { return nullptr; }
    DErrorCode ResetITPolicyKeys() override { return kNoError; }

private:
    ILogProvider *m_logger;
    DActiveTaskManager *m_manager;
};

#endif
