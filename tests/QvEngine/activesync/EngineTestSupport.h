// What the engine's run tests share: a global info with everything a run
// touches (preferences, a memory log, resource texts "[text N]", a timer
// manager and a task manager driven by the test's pump, a folder-info store
// in a temporary file, the mode and the busy callback), a client that
// records every call, and the pump that runs the engine's thread on the
// virtual clock.
#ifndef VTEST_ENGINETESTSUPPORT_H
#define VTEST_ENGINETESTSUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "ActiveSyncEngineConstants.h"
#include "AnsweredTransaction.h"
#include "DActiveTaskPump.h"
#include "DClientResponse.h"
#include "DEASFolderInfoStore.h"
#include "DStatusData.h"
#include "DStringStatusData.h"
#include "DTimerManagerWin.h"
#include "DWinMobActiveTaskManagerDriver.h"
#include "DWinMobCorvanePreferences.h"
#include "ICorvanePreferences.h"
#include "IActiveSyncClient.h"
#include "IResourceManager.h"
#include "QvEngine/foundation/FakeGlobalData.h"
#include "QvEngine/foundation/MemoryLog.h"
#include "VFile.h"
#include "winthread.h"
#include "wintime.h"

// Resource texts "[text N]" (123 keeps its "%"), recording each id asked for.
class RecordingStrings : public IResourceManager {
public:
    std::vector<UINT> asked;
    DErrorCode GetString(UINT id, VString **text) override {
        asked.push_back(id);
        if (*text == nullptr) *text = new VString;
        const std::string s = id == 123 ? "retry in % s\n" : "[text " + std::to_string(id) + "]";
        return (*text)->AssignCStr(s.c_str(), kVStringWindows1252);
    }
};

// The global info of one account as the engine sees it. Two engines given
// the same object share its preferences, and so the sync lock.
class EngineGlobal : public FakeGlobalData {
public:
    // The folder-info store lives in `folderPath` (a device path); the
    // test's device directory keeps it apart from other tests.
    explicit EngineGlobal(const char16_t *folderPath = u"\\FolderInfo.brw") : driver(nullptr, 0) {
        folderFile.SetFileName(folderPath);
        folders.SetFile(&folderFile);
    }
    ~EngineGlobal() override { folders.Close(); }

    ILogProvider *GetLogger() override { return &log; }
    IPrefsData *GetPreferences() override { return &prefs; }
    IResourceManager *GetResourceManager() override { return &strings; }
    DActiveTaskManager *GetTaskManager() override { return driver.GetTaskManager(); }
    ITimerManager *GetTimerManager() override { return &timers; }
    DWinMobActiveTaskManagerDriver *GetTaskManagerDriver() override { return &driver; }
    DEASFolderInfoStore *GetFolderInfoStore() override { return &folders; }

    uint32_t GetMode() override { return mode; }
    void SetMode(uint32_t m) override {
        mode = m;
        if (m != 0) {
            callbackObject = nullptr;
            callbackFlag = false;
        }
    }
    bool GetCallbackFlag() override { return callbackFlag; }
    bool HasCallbackObject() override { return callbackObject != nullptr; }
    void SetCallbackFlag(bool flag) override {
        const bool wasSet = callbackFlag;
        callbackFlag = flag;
        if (flag || !wasSet || callbackObject == nullptr) return;
        IBusyClearedNotify *waiting = callbackObject;
        callbackObject = nullptr;
        waiting->EngineBusyCleared();
    }
    void SetCallbackObject(IBusyClearedNotify *object) override { callbackObject = callbackFlag ? object : nullptr; }
    DErrorCode ResetAccount(uint32_t flag, uint32_t arg) override {
        resets.push_back(flag * 1000 + arg);
        return kNoError;
    }

    MemoryLog log;
    RecordingStrings strings;
    DWinMobCorvanePreferences prefs;
    DTimerManagerWin timers;
    DWinMobActiveTaskManagerDriver driver;
    VFile folderFile;
    DEASFolderInfoStore folders;
    uint32_t mode = 0;
    bool callbackFlag = false;
    IBusyClearedNotify *callbackObject = nullptr;
    std::vector<uint32_t> resets;  // ResetAccount calls: flag * 1000 + arg
};

// A text as the tests compare it: Windows-1252, "" for none.
inline std::string NarrowText(const VString &text) {
    VString copy;
    copy.Assign(text);
    copy.ConvertTo(kVStringWindows1252);
    return copy.GetNarrowText() != nullptr ? copy.GetNarrowText() : "";
}

// Records every call of the engine. Response records are kept as their type
// (-1 for the null that ends a run); status records as kind and text.
class RecordingClient : public IActiveSyncClient {
public:
    uint32_t tag = kClientTagApplication;
    BOOL allowSync = TRUE;
    std::vector<DErrorCode> errors;
    std::vector<int> responses;
    std::vector<uint32_t> statuses;
    std::vector<std::string> statusTexts;  // kinds 1 and 2: their text
    std::function<void(DClientResponse *)> onResponse;

    DErrorCode ActiveSync_ReportError(DErrorCode code, VString *) override {
        errors.push_back(code);
        return kNoError;
    }
    DErrorCode ActiveSync_ReceivedResponse(DClientResponse *r) override {
        responses.push_back(r != nullptr ? int(r->GetType()) : -1);
        if (onResponse) onResponse(r);
        return kNoError;
    }
    DErrorCode ActiveSync_ReportStatus(DStatusData *s) override {
        statuses.push_back(s->GetType());
        if (auto *text = dynamic_cast<DStringStatusData *>(s))
            statusTexts.push_back(text->GetPayload() != nullptr ? NarrowText(*text->GetPayload()) : "");
        return kNoError;
    }
    uint32_t ActiveSync_GetClientID() override { return tag; }
    BOOL ActiveSync_PreSyncCheck() override { return allowSync; }

    bool Got(DErrorCode code) const { return std::find(errors.begin(), errors.end(), code) != errors.end(); }
    // The run is over: the null record arrived.
    bool RunOver() const { return std::find(responses.begin(), responses.end(), -1) != responses.end(); }
};

// Text as the preferences take it.
inline VString RunText(const std::string &text) {
    VString s;
    s.AssignCStr(text.c_str(), kVStringWindows1252);
    return s;
}

// An account as the engine's run tests use it: server ("host:port"), user
// and password, a fixed device identity, the types chosen, push off, saved.
inline void SetTestAccount(ICorvanePreferences &prefs, const std::string &server, const std::string &user,
                           const std::string &password, bool secure = false, bool allTypes = true) {
    prefs.SetServer(RunText(server));
    prefs.SetUseSSL(secure ? 1 : 0);
    prefs.SetUser(RunText(user));
    prefs.SetPassword(RunText(password));
    prefs.SetQVDeviceID(RunText("VANTRELTEST0001"));
    prefs.SetQVDeviceType(RunText("PocketPC"));
    prefs.SetUserSyncEMail(1);
    prefs.SetUserSyncCalendar(allTypes ? 1 : 0);
    prefs.SetUserSyncContacts(allTypes ? 1 : 0);
    prefs.SetUserSyncTasks(allTypes ? 1 : 0);
    prefs.SetPeakPushSyncEnabled(0);
    prefs.SetOffPeakPushSyncEnabled(0);
    prefs.SaveAll();
}

// Runs the engine's thread as the product's pump does (posted messages,
// timers, one task turn, again) until done holds. Real time bounds it only
// so that a broken test cannot hang.
inline bool PumpEngineUntil(EngineGlobal &global, const std::function<bool()> &done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        DActiveTaskPump pump(&global.driver);
        pump.Run();
        if (done()) return true;
        if (std::chrono::steady_clock::now() > limit) return false;
        Sleep(1);
    }
}

#endif
