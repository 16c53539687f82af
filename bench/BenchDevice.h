// What the benches of a whole sync share: a wall clock, the engine's global
// info with a silent log and one short resource text (so that neither costs
// more than the product's own with logging off), a message manager client
// that hears nothing, and the product key as setup leaves it.
#ifndef VBENCH_BENCHDEVICE_H
#define VBENCH_BENCHDEVICE_H

#include <chrono>

#include "../tests/QvEngine/foundation/FakeGlobalData.h"
#include "DEASFolderInfoStore.h"
#include "DTimerManagerWin.h"
#include "DWinMobActiveTaskManagerDriver.h"
#include "DWinMobCorvanePreferences.h"
#include "ILogProvider.h"
#include "IOutlookManagerClient.h"
#include "IResourceManager.h"
#include "VFile.h"
#include "winerror.h"
#include "winreg.h"

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

inline const char16_t *const kMailStoreName = u"Vantrel";

// Drops every piece, as a product log with logging off would.
class NullLog : public ILogProvider {
public:
    DErrorCode WriteNumber(int32_t, unsigned, uint32_t) override { return kNoError; }
    DErrorCode WriteString(const char *, unsigned, uint32_t) override { return kNoError; }
    DErrorCode WriteVString(const VString &, unsigned, uint32_t) override { return kNoError; }
    DErrorCode WriteHex(int32_t, unsigned, uint32_t) override { return kNoError; }
    DErrorCode NewLine(unsigned, uint32_t) override { return kNoError; }
    DErrorCode GetTextLength(uint32_t *length) override {
        *length = 0;
        return kNoError;
    }
    DErrorCode ReadText(uint32_t, uint32_t, VString *) override { return kNoError; }
};

// One short text for every id, so that status reports cost what a lookup does.
class FixedStrings : public IResourceManager {
public:
    DErrorCode GetString(UINT, VString **text) override {
        if (*text == nullptr) *text = new VString;
        return (*text)->AssignCStr("status", kVStringWindows1252);
    }
};

// The engine's global info: preferences, the silent log, timers and a task
// manager on this thread, the folder-info store, the mode. Every other
// operation does nothing.
class BenchGlobal : public FakeGlobalData {
public:
    BenchGlobal() : driver(nullptr, 0) {
        folderFile.SetFileName(u"\\FolderInfo.brw");
        folders.SetFile(&folderFile);
    }
    ~BenchGlobal() override { folders.Close(); }

    ILogProvider *GetLogger() override { return &log; }
    IPrefsData *GetPreferences() override { return &prefs; }
    IResourceManager *GetResourceManager() override { return &strings; }
    DActiveTaskManager *GetTaskManager() override { return driver.GetTaskManager(); }
    ITimerManager *GetTimerManager() override { return &timers; }
    DEASFolderInfoStore *GetFolderInfoStore() override { return &folders; }
    uint32_t GetMode() override { return mode; }
    void SetMode(uint32_t m) override { mode = m; }
    DWinMobActiveTaskManagerDriver *GetTaskManagerDriver() override { return &driver; }

    NullLog log;
    FixedStrings strings;
    DWinMobCorvanePreferences prefs;
    DTimerManagerWin timers;
    DWinMobActiveTaskManagerDriver driver;
    VFile folderFile;
    DEASFolderInfoStore folders;
    uint32_t mode = 0;
};

class SilentManagerClient : public IOutlookManagerClient {
public:
    void OutlookManager_ReportStatus(DStatusData *, uint32_t) override {}
};

// The product key as setup leaves it; false when it cannot be made.
inline bool CreateProductKey() {
    HKEY key;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Brellow\\Vantrel", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, &disposition) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

#endif
