// The set-up of the WinInet transfer tests: an engine of its own on the test
// thread (task manager driven by the test's pump, timer manager, account
// settings, a log kept in memory), an HTTP client that records what reaches
// it, and the pump that runs the engine's thread until a condition holds.
#ifndef VTEST_TRANSFERTESTUTIL_H
#define VTEST_TRANSFERTESTUTIL_H

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DActiveTaskPump.h"
#include "DHTTPResponse.h"
#include "DProgressStatusData.h"
#include "DStringStatusData.h"
#include "DTimerManagerWin.h"
#include "DWinMobActiveTaskManagerDriver.h"
#include "DWinMobCorvanePreferences.h"
#include "DWinMobHTTPSession.h"
#include "DWinMobHTTPTransaction.h"
#include "FakeGlobalData.h"
#include "IGlobalData.h"
#include "ILogProvider.h"
#include "IResourceManager.h"
#include "prefstestutil.h"
#include "tasktestutil.h"
#include "vplatform_test.h"
#include "winthread.h"
#include "wintime.h"
#include "MemoryLog.h"


// Every text number reads "Connected".
class ConnectedStrings : public IResourceManager {
public:
    DErrorCode GetString(UINT, VString **text) override {
        if (*text == nullptr) *text = new VString;
        return (*text)->AssignCStr("Connected", kVStringWindows1252);
    }
};

class TransferGlobalData : public FakeGlobalData {
public:
    TransferGlobalData() : driver(nullptr, 0) {}

    ILogProvider *GetLogger() override { return &log; }
    IPrefsData *GetPreferences() override { return &prefs; }
    IResourceManager *GetResourceManager() override { return &strings; }
    DActiveTaskManager *GetTaskManager() override { return driver.GetTaskManager(); }
    ITimerManager *GetTimerManager() override { return &timers; }
    DWinMobActiveTaskManagerDriver *GetTaskManagerDriver() override { return &driver; }

    MemoryLog log;
    DWinMobCorvanePreferences prefs;
    ConnectedStrings strings;
    DTimerManagerWin timers;
    DWinMobActiveTaskManagerDriver driver;
};

inline std::string HexCode(DErrorCode code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", unsigned(code));
    return text;
}

// Records each call as a line; progress goes to its own list with the
// thread it arrived on. onResponse runs inside HTTP_RecievedResponse for
// records 4 and 5, while the transaction may still be read; onConnected
// inside the connection record.
class TransferClient : public IHTTPClient {
public:
    struct Progress {
        uint32_t done;
        DWORD thread;
    };

    DErrorCode HTTP_ReportError(DErrorCode code, VString *) override {
        events.push_back("error " + HexCode(code));
        return kNoError;
    }
    DErrorCode HTTP_RecievedResponse(DClientResponse *response) override {
        std::string line = "response " + std::to_string(response->GetType());
        DHTTPTransaction *trx = nullptr;
        if (response->GetType() == kResponseTypeHTTPSuccess)
            trx = static_cast<DHTTPSuccessResponse *>(response)->GetPayload();
        if (response->GetType() == kResponseTypeHTTPFailure)
            trx = static_cast<DHTTPFailureResponse *>(response)->GetPayload();
        if (trx != nullptr) line += " status " + std::to_string(trx->GetStatusCode());
        events.push_back(line);
        if (trx != nullptr && onResponse) onResponse(trx);
        if (response->GetType() == kResponseTypeInternetConnect && onConnected) onConnected();
        return kNoError;
    }
    DErrorCode HTTP_ReportStatus(DStatusData *status) override {
        if (status->GetType() == kStatusTypeReceiveProgress)
            progress.push_back({static_cast<DProgressStatusData *>(status)->GetDone(), GetCurrentThreadId()});
        else
            events.push_back("status " + std::to_string(status->GetType()));
        return kNoError;
    }
    DErrorCode HTTP_GetCredentials(VString *user, VString *password) override {
        DErrorCode err = user->AssignCStr("user", kVStringWindows1252);
        return err != kNoError ? err : password->AssignCStr("pass", kVStringWindows1252);
    }

    // The events after the connection came up (status text and record 31).
    std::vector<std::string> Outcomes() const {
        std::vector<std::string> out;
        for (const std::string &e : events)
            if (e != "status 1" && e != "response 31") out.push_back(e);
        return out;
    }

    std::vector<std::string> events;
    std::vector<Progress> progress;
    std::function<void(DHTTPTransaction *)> onResponse;
    // Runs inside the connection record (type 31).
    std::function<void()> onConnected;
};

// The whole content of a closed file (closed again afterwards).
inline std::string ReadAll(VFile *file) {
    EXPECT_EQ(file->Open(kVFileRead), kNoError);
    uint32_t size = 0;
    file->GetSize(&size);
    std::string text(size, '\0');
    uint32_t read = 0;
    if (size != 0) {
        EXPECT_EQ(file->Read(size, &text[0], &read), kNoError);
    }
    file->Close();
    return text;
}

// A device with the account's settings, a virtual clock (the watchdog fires
// only when a test moves it) and a session bound to a recording client.
class TransferTest : public PrefsDeviceTest {
protected:
    void SetUp() override {
        PrefsDeviceTest::SetUp();
        vplat::ClockUseVirtual(1000, 1700000000000);
        vplat::ConnMgrResetScript();
        global.reset(new TransferGlobalData);
        SetServer("127.0.0.1");
        global->prefs.SetUseSSL(0);
        session.reset(DWinMobHTTPSession::Create(&client, global.get()));
        ASSERT_NE(session, nullptr);
    }
    void TearDown() override {
        session.reset();
        global.reset();
        vplat::ConnMgrResetScript();
        vplat::TelephonyResetScript();
        vplat::ClockUseReal();
        PrefsDeviceTest::TearDown();
    }

    void SetServer(const char *server) {
        VString text;
        text.AssignCStr(server, kVStringWindows1252);
        global->prefs.SetServer(text);
    }

    // A transaction of the session aimed at the loopback server.
    std::unique_ptr<DWinMobHTTPTransaction> NewTransaction(unsigned short port, uint32_t verb, const char *path,
                                                           uint32_t scheme = kHTTPSchemeHttp) {
        DHTTPTransaction *trx = nullptr;
        EXPECT_EQ(session->CreateTransaction(&trx), kNoError);
        trx->SetServer("127.0.0.1");
        trx->SetPort(port);
        trx->SetVerb(verb);
        trx->SetProtocol(scheme);
        trx->SetPath(path);
        return std::unique_ptr<DWinMobHTTPTransaction>(static_cast<DWinMobHTTPTransaction *>(trx));
    }

    // One run of the engine's thread as the product's pump does it: every
    // waiting message (posts from the worker, timers), then one task turn,
    // and again, until no work is posted.
    void RunEngine() {
        DActiveTaskPump pump(&global->driver);
        pump.Run();
    }
    // Runs the engine's thread until done holds. The bound on real time only
    // keeps a broken test from hanging.
    bool PumpUntil(const std::function<bool()> &done) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (;;) {
            RunEngine();
            if (done()) return true;
            if (std::chrono::steady_clock::now() > limit) return false;
            Sleep(1);
        }
    }
    // Each answered transaction's response body goes to *body.
    void CaptureBody(std::string *body) {
        client.onResponse = [body](DHTTPTransaction *done) {
            VFile *file = nullptr;
            done->GetResponseData(&file);
            *body = ReadAll(file);
        };
    }
    // Until the client heard the outcome of a request.
    bool PumpUntilOutcome() {
        return PumpUntil([this] { return !client.Outcomes().empty(); });
    }

    TransferClient client;
    std::unique_ptr<TransferGlobalData> global;
    std::unique_ptr<DWinMobHTTPSession> session;
};

#endif
