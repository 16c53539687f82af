// DWinMobCorvaneGlobalInfo: the global-info object on the device. Init makes
// every shared service (resource strings, the engine's log, the preferences,
// the task manager's driver for the caller's window and message, the timer
// manager, the folder-info store) and names the store's file
// "<InstallDirectory>\Logs\FolderInfo.brw", creating the Logs folder before
// the log opens (the log usually lives there). The store is left closed;
// its users open it.
//
// Init fails with generalErrMemoryError when a service cannot be made
// (what was made is left to the destructor), and with
// generalErrNotInitialized, logged, when the install directory is not set
// (empty, or still the preference's default "**default**").
#ifndef QV_DWINMOBCORVANEGLOBALINFO_H
#define QV_DWINMOBCORVANEGLOBALINFO_H

#include <string>

#include "DCorvaneGlobalInfo.h"

// The engine log's cap in bytes.
constexpr uint32_t kEngineLogMaxSize = 0x10000;

class DWinMobCorvaneGlobalInfo : public DCorvaneGlobalInfo {
public:
    DWinMobCorvaneGlobalInfo() = default;
    ~DWinMobCorvaneGlobalInfo() override = default;

    // window and messageId: where the driver posts when tasks are ready
    // (none: the caller runs the tasks itself).
    DErrorCode Init(const WCHAR *logPath, HWND window, UINT messageId) override;
    // Starts the log again as a new, empty file.
    DErrorCode OpenLogFile() override;
    // "0" into "RequiredKey" and "SatisfiedKey" of the policy key; a device
    // without the key has nothing to reset.
    DErrorCode ResetITPolicyKeys() override;

private:
    DErrorCode CreateServices(HWND window, UINT messageId);
    // "<InstallDirectory>\Logs", the folder made when missing.
    DErrorCode MakeLogsFolder(std::u16string *folder);
    void LogError(const char *text, DErrorCode err);
};

#endif
