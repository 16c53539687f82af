#include "DWinMobCorvaneGlobalInfo.h"

#include <new>

#include "DEASFolderInfoStore.h"
#include "DLogProviderVFile.h"
#include "DTimerManagerWin.h"
#include "DWinMobActiveTaskManagerDriver.h"
#include "DWinMobCorvanePreferences.h"
#include "DWinMobResourceManager.h"
#include "PrefsRegistry.h"
#include "VFile.h"
#include "winerror.h"
#include "winfile.h"

namespace {

const WCHAR kUnsetInstallDirectory[] = u"**default**";
const unsigned kErrorLevel = 1;

}  // namespace

DErrorCode DWinMobCorvaneGlobalInfo::CreateServices(HWND window, UINT messageId) {
    m_resources = new (std::nothrow) DWinMobResourceManager;
    if (m_resources == nullptr) return generalErrMemoryError;
    m_logger = new (std::nothrow) DLogProviderVFile;
    if (m_logger == nullptr) return generalErrMemoryError;
    m_prefs = new (std::nothrow) DWinMobCorvanePreferences;
    if (m_prefs == nullptr) return generalErrMemoryError;
    m_prefs->SetLogger(m_logger);
    m_driver = new (std::nothrow) DWinMobActiveTaskManagerDriver(window, messageId);
    if (m_driver == nullptr || m_driver->GetTaskManager() == nullptr) return generalErrMemoryError;
    m_timers = new (std::nothrow) DTimerManagerWin;
    if (m_timers == nullptr) return generalErrMemoryError;
    return kNoError;
}

DErrorCode DWinMobCorvaneGlobalInfo::MakeLogsFolder(std::u16string *folder) {
    VString directory;
    DErrorCode err = m_prefs->GetInstallDirectory(&directory);
    if (err == kNoError) err = directory.ConvertTo(kVStringUTF16LE);
    if (err != kNoError) return err;
    const WCHAR *text = directory.GetWideText();
    folder->assign(text != nullptr ? text : u"");
    if (folder->empty() || *folder == kUnsetInstallDirectory) return generalErrNotInitialized;
    if (folder->back() != u'\\' && folder->back() != u'/') folder->push_back(u'\\');
    folder->append(u"Logs");
    if (!CreateDirectoryW(folder->c_str(), nullptr)) {
        DWORD lastError = GetLastError();
        if (lastError != ERROR_ALREADY_EXISTS) return lastError != 0 ? lastError : generalErrUnknownError;
    }
    return kNoError;
}

void DWinMobCorvaneGlobalInfo::LogError(const char *text, DErrorCode err) {
    m_logger->WriteStringHexLine(text, static_cast<int32_t>(err), kErrorLevel, kLogAllCategories);
}

DErrorCode DWinMobCorvaneGlobalInfo::Init(const WCHAR *logPath, HWND window, UINT messageId) {
    DErrorCode err = CreateServices(window, messageId);
    if (err != kNoError) return err;

    std::u16string folder;
    const DErrorCode folderErr = MakeLogsFolder(&folder);

    m_logFile = new (std::nothrow) VFile;
    if (m_logFile == nullptr) return generalErrMemoryError;
    m_logFile->SetFileName(logPath);
    m_logger->SetEncoding(kVStringUTF16LE);
    // A log that cannot be opened leaves the engine without a log, not
    // without its services.
    m_logger->Open(*m_logFile, kLogAppend, kEngineLogMaxSize);

    m_folderFile = new (std::nothrow) VFile;
    if (m_folderFile == nullptr) return generalErrMemoryError;
    m_folderStore = new (std::nothrow) DEASFolderInfoStore;
    if (m_folderStore == nullptr) return generalErrMemoryError;

    if (folderErr == generalErrNotInitialized) {
        LogError("DWinMobCorvaneGlobalInfo::Init() - InstallDirectory is not set, no folder-info store: ", folderErr);
        return folderErr;
    }
    if (folderErr != kNoError) {
        LogError("DWinMobCorvaneGlobalInfo::Init() - cannot make the Logs folder: ", folderErr);
        return folderErr;
    }
    folder.append(u"\\FolderInfo.brw");
    err = m_folderFile->SetFileName(folder.c_str());
    if (err == kNoError) err = m_folderStore->SetFile(m_folderFile);
    return err;
}

DErrorCode DWinMobCorvaneGlobalInfo::OpenLogFile() {
    if (m_logger == nullptr || m_logFile == nullptr) return generalErrNotInitialized;
    return m_logger->Open(*m_logFile, 0, kEngineLogMaxSize);
}

DErrorCode DWinMobCorvaneGlobalInfo::ResetITPolicyKeys() { return ResetITPolicyRegKeys(); }
