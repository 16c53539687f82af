// The engine's error report (texts, engine state, push, back-off and the
// client's report per code; a cancel reports nothing) and what the engine
// does with each HTTP outcome: connection records, unknown records,
// dial-up, missing bodies, failures, and the 449 that asks for provisioning.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DASDP_GetItemEstimateResponse.h"
#include "DASDP_PolicyResponse.h"
#include "DASDP_SearchResponse.h"
#include "DASDP_SyncResponse.h"
#include "DActiveSyncEngine.h"
#include "DActiveTaskManager.h"
#include "DHTTPResponse.h"
#include "DHTTPTransaction.h"
#include "DWinMobCorvanePreferences.h"
#include "IResourceManager.h"
#include "QvEngine/foundation/FakeGlobalData.h"
#include "TempVFile.h"
#include "EngineTestSupport.h"
#include "TestDataManager.h"
#include "support/TestDevice.h"
#include "vplatform_test.h"
#include "winerror.h"
#include "winreg.h"
#include "QvEngine/foundation/MemoryLog.h"

namespace {


class ReportGlobal : public FakeGlobalData {
public:
    ReportGlobal() : FakeGlobalData(&log, &tasks), tasks(nullptr) {}
    IPrefsData *GetPreferences() override { return &prefs; }
    IResourceManager *GetResourceManager() override { return &strings; }

    MemoryLog log{true};
    RecordingStrings strings;
    DActiveTaskManager tasks;
    DWinMobCorvanePreferences prefs;
};

// Hands back the record the test makes for a command's answer.
class AnsweringDataManager : public TestDataManager {
public:
    std::function<DClientResponse *()> makeRecord;
    DErrorCode answerCode = kNoError;
    DErrorCode ProcessCommandData(uint32_t step, DHTTPTransaction *trx, VFile *body,
                                  DClientResponse **record) override {
        TestDataManager::ProcessCommandData(step, trx, body, record);
        if (makeRecord) *record = makeRecord();
        return answerCode;
    }
};

class ReportEngine : public DActiveSyncEngine {
public:
    using DActiveSyncEngine::ReportError;
    using DActiveSyncEngine::SetDataManager;

    // Makes the command in hand `step`, answered with status and body.
    DHTTPTransaction *Answer(uint32_t step, uint32_t status, const std::string &body = "") {
        delete m_currentTransaction;
        m_currentTransaction = new AnsweredTransaction(m_global, status, body);
        m_currentStep = step;
        return m_currentTransaction;
    }
    void DropTransaction() {
        delete m_currentTransaction;
        m_currentTransaction = nullptr;
    }
    uint32_t &Step() { return m_currentStep; }
    uint32_t SavedStep() const { return m_savedStep; }
    uint32_t &RunFlags() { return m_runFlags; }
    uint32_t &RunKind() { return m_runKind; }
    uint32_t &BackOffDelay() { return m_backOffDelay; }
    uint8_t &RetryScheduled() { return m_retryScheduled; }
    uint32_t &NextAttempt() { return m_nextAttempt; }
    uint32_t TaskStage() const { return m_taskStage; }
    uint8_t ConnectionReady() const { return m_connectionReady; }
    uint8_t WipeOrdered() const { return m_wipeOrdered; }
    uint8_t &FolderSyncNeeded() { return m_folderSyncNeeded; }
    void SetSearchResults(VFile *file) { m_searchResults = file; }
    DErrorCode LastResult() const { return m_lastResult; }
};

VString Narrow(const char *text) {
    VString s;
    s.AssignCStr(text, kVStringWindows1252);
    return s;
}

class EngineReportTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        HKEY h;
        DWORD disposition = 0;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Brellow\\Vantrel", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &h, &disposition),
                  ERROR_SUCCESS);
        RegCloseKey(h);
        MakeEngine();
    }
    // A fresh engine over fresh preferences, log and client.
    void MakeEngine() {
        engine.reset();
        global = std::make_unique<ReportGlobal>();
        client = RecordingClient();
        global->prefs.SetEASVers(250);
        global->prefs.SetEASPolicyKey(Narrow("3942919513"));
        global->prefs.SetPeakPushSyncEnabled(0);
        global->prefs.SetOffPeakPushSyncEnabled(0);
        global->prefs.SetEngineState(kEngineStateSyncing);
        engine = std::make_unique<ReportEngine>();
        data = new AnsweringDataManager;
        engine->SetDataManager(data);
        ASSERT_EQ(engine->Initialize(global.get(), &client), kNoError);
        engine->RunFlags() = kRunFlagPush | kRunFlagEMail;
    }
    void TearDown() override {
        engine.reset();
        global.reset();
        DeviceTest::TearDown();
    }
    // The log's resource texts asked for, without the failed-run status text 40.
    std::vector<UINT> Texts() const {
        std::vector<UINT> texts;
        for (UINT id : global->strings.asked)
            if (id != 40) texts.push_back(id);
        return texts;
    }
    void Received(DClientResponse &record) { EXPECT_EQ(engine->HTTP_RecievedResponse(&record), kNoError); }

    std::unique_ptr<ReportGlobal> global;
    std::unique_ptr<ReportEngine> engine;
    AnsweringDataManager *data = nullptr;  // the engine's
    RecordingClient client;
};

TEST_F(EngineReportTest, EachCodeLogsItsTextsSetsFailedAndReportsTheCode) {
    constexpr uint32_t kNoTrx = 0;
    struct Case {
        DErrorCode code;
        uint32_t httpStatus;  // of the transaction in hand; kNoTrx: none
        uint32_t step;
        std::vector<UINT> texts;  // before text 57
        bool pushKept;
        uint32_t backOff;
    };
    const Case cases[] = {
        {internetConnectErrConnectionLost, 200, 14, {48}, true, 0},
        {internetConnectErrTimedOut, 200, 14, {45}, true, 0},
        {internetConnectSSLError, 200, 14, {49}, false, 0},
        {internetConnectPhoneCallActive, 200, 14, {11}, true, 0},
        {internetConnectNoConnection, 200, 14, {6}, true, 0},
        {httpErrServerConnectFailed, 200, 14, {47}, true, 0},
        {httpErrTransactionTimedOut, 200, 14, {46}, true, 0},
        {httpErrTransactionDisconnected, 200, 14, {}, true, 0},
        {httpErrTransactionNotSupported, 200, 14, {110}, true, 0},
        {activeSyncErrTransactionFailed, kNoTrx, 14, {54}, false, 0},
        {activeSyncErrTransactionFailed, 401, 14, {50}, false, 0},
        {activeSyncErrTransactionFailed, 403, 14, {51}, false, 0},
        {activeSyncErrTransactionFailed, 405, 14, {52}, false, 0},
        {activeSyncErrTransactionFailed, 507, 14, {53}, true, 300000},
        {activeSyncErrTransactionFailed, 503, 14, {54}, true, 300000},
        {activeSyncErrTransactionFailed, 500, 14, {54}, true, 0},
        {activeSyncErrTransactionFailed, 408, 14, {54}, true, 0},
        {activeSyncErrTransactionFailed, 504, 14, {54}, true, 0},
        {activeSyncErrTransactionFailed, 404, 14, {54}, false, 0},
        {activeSyncErrPolicyStatusError, 200, 22, {56}, false, 0},
        {activeSyncErrPushLocalChangeError, 200, 0, {17}, false, 0},
        {activeSyncErrNoDataTypeSetToSync, 200, 0, {16}, false, 0},
        {ASDataManagerErrNoPushTypeSpecified, 200, 0, {16}, false, 0},
        {activeSyncErrSearchPrefsNotReady, 200, 25, {9}, false, 0},
        {0x07370D10, 200, 25, {}, false, 0},
        {activeSyncErrSearchFirstTimeSync, 200, 25, {10}, false, 0},
        {activeSyncErrOutOfStorageSpace, 200, 14, {8}, true, 0},
        {ASDataManagerErrBadStatus, 200, 4, {12, 13}, true, 300000},
        {ASDataManagerErrBadStatus, 200, 14, {12, 13}, true, 300000},
        {ASDataManagerErrBadStatus, 200, 11, {12, 13}, true, 0},
        {ASDataManagerErrBadStatus, 200, 16, {12, 13}, true, 0},
        {ASDataManagerErrBadStatus, 200, 5, {12, 14}, true, 300000},
        {ASDataManagerErrBadStatus, 200, 18, {12, 15}, true, 300000},
        {ASDataManagerErrBadStatus, 200, 19, {12, 114}, true, 300000},
        {ASDataManagerErrBadStatus, 200, 9, {12, 55}, true, 0},
        {activeSyncErrDataManagerUnexpectedResponse, 200, 9, {54}, true, 0},
        {DErrorCode(0x80004005), 200, 9, {54}, true, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.code << std::dec << " status " << c.httpStatus << " step "
                                        << c.step);
        MakeEngine();
        engine->RunKind() = kRunKindScheduled;  // no message for the user in a scheduled run
        if (c.httpStatus == kNoTrx) {
            engine->DropTransaction();
            engine->Step() = c.step;
        } else {
            engine->Answer(c.step, c.httpStatus);
        }
        EXPECT_EQ(engine->ReportError(c.code, nullptr, "DActiveSyncEngine::RunTask()"), kNoError);

        std::vector<UINT> expected = c.texts;
        expected.push_back(57);
        EXPECT_EQ(Texts(), expected);
        EXPECT_EQ(global->prefs.GetEngineState(), kEngineStateFailed);
        EXPECT_EQ((engine->RunFlags() & kRunFlagPush) != 0, c.pushKept);
        EXPECT_EQ(engine->BackOffDelay(), c.backOff);
        EXPECT_EQ(client.errors, std::vector<DErrorCode>{c.code});
        EXPECT_EQ(engine->LastResult(), c.code);
        // The run ends: the task waits to run stage 5.
        EXPECT_TRUE(engine->IsActive());
        EXPECT_EQ(engine->TaskStage(), uint32_t(kStageEndRun));
        const std::string &log = global->log.text;
        EXPECT_NE(log.find("DActiveSyncEngine::RunTask() -  ERROR: "), std::string::npos) << log;
        EXPECT_EQ(log.find("-------------\n\n"), log.size() - 15) << log;
        // The program's codes carry their name; a platform code does not.
        EXPECT_EQ(log.find(" (") != std::string::npos, (c.code & 0xFFFF0000u) == 0x07370000u) << log;
    }
}

TEST_F(EngineReportTest, ABackOffAlreadySetIsKeptAndACancelReportsNothing) {
    engine->Answer(EActiveSyncStep_EMailSyncCmd, 503);
    engine->BackOffDelay() = 30000;
    engine->ReportError(activeSyncErrTransactionFailed, nullptr, "m");
    EXPECT_EQ(engine->BackOffDelay(), 30000u);

    // A cancel has ended its run itself: nothing is logged, set or reported.
    global->log.text.clear();
    global->prefs.SetEngineState(kEngineStateCancelled);
    client.errors.clear();
    engine->Deactivate();
    EXPECT_EQ(engine->ReportError(generalErrCanceled, nullptr, "m"), kNoError);
    EXPECT_TRUE(client.errors.empty());
    EXPECT_EQ(global->log.text, "");
    EXPECT_EQ(global->prefs.GetEngineState(), kEngineStateCancelled);
    EXPECT_FALSE(engine->IsActive());
}

TEST_F(EngineReportTest, AScheduledPingRetryIsLoggedInsteadOfReported) {
    engine->Answer(EActiveSyncStep_PingCmd, 401);
    engine->RetryScheduled() = 1;
    engine->NextAttempt() = 380;
    engine->ReportError(activeSyncErrTransactionFailed, nullptr, "m");
    EXPECT_TRUE(client.errors.empty());
    EXPECT_EQ(engine->LastResult(), kNoError);
    EXPECT_NE(engine->RunFlags() & kRunFlagPush, 0u);  // the retry reconnects
    EXPECT_NE(global->log.text.find("retry in 380 s"), std::string::npos) << global->log.text;
}

TEST_F(EngineReportTest, ConnectionRecordsGoToTheClientAndMakeTheStepReady) {
    for (uint32_t type : {2u, 24u, 26u, 31u}) {
        DClientResponse record(type);
        Received(record);
        EXPECT_EQ(client.responses.back(), int(type));
        EXPECT_EQ(engine->ConnectionReady(), 1);
    }
}

TEST_F(EngineReportTest, AnUnknownRecordFailsAndDialUpTakesPushOff) {
    DClientResponse unknown(77);
    Received(unknown);
    EXPECT_EQ(client.errors, std::vector<DErrorCode>{httpErrUnknownResponse});
    EXPECT_NE(global->log.text.find("Unknown Response Type"), std::string::npos);

    client.errors.clear();
    engine->RunFlags() = kRunFlagPush | kRunFlagEMail;
    DClientResponse dialUp(32);
    Received(dialUp);
    EXPECT_EQ(engine->RunFlags(), kRunFlagEMail);
    EXPECT_TRUE(client.errors.empty());
    EXPECT_NE(global->log.text.find("DIALUP : disabling Push for this sync"), std::string::npos);
}

TEST_F(EngineReportTest, ASuccessWithoutTheBodyItNeedsFailsAndOneThatNeedsNoneGoesOn) {
    engine->Answer(EActiveSyncStep_FolderSyncCmd, 200, "");
    DHTTPSuccessResponse success(nullptr);
    Received(success);
    EXPECT_EQ(client.errors, std::vector<DErrorCode>{activeSyncErrMissingHTTPResponse});
    EXPECT_NE(global->log.text.find("No data returned for command : EActiveSyncStep_FolderSyncCmd"),
              std::string::npos);
    EXPECT_TRUE(data->calls.empty());

    // A sent message and an empty attachment need no body: the data manager
    // settles them.
    for (uint32_t step : {uint32_t(EActiveSyncStep_EMailSendCmd), uint32_t(EActiveSyncStep_EMailGetAttachmentCmd)}) {
        MakeEngine();
        engine->Answer(step, 200, "");
        Received(success);
        EXPECT_TRUE(client.errors.empty()) << step;
        ASSERT_FALSE(data->calls.empty());
        EXPECT_EQ(data->calls[0], "ProcessCommandData " + std::to_string(step));
    }
}

TEST_F(EngineReportTest, FailuresEndAsTransactionFailedOrWithTheTransfersOwnCode) {
    // A 5xx on a Sync.
    DHTTPFailureResponse failure(engine->Answer(EActiveSyncStep_EMailSyncCmd, 500), httpErrRequestFailed);
    Received(failure);
    EXPECT_EQ(client.errors, std::vector<DErrorCode>{activeSyncErrTransactionFailed});
    EXPECT_NE(global->log.text.find("HTTP Transaction Failed"), std::string::npos);

    // A 500 on a send still fails the step, but the data manager hears of it
    // first, so that the message is settled (queued again, or sent plainly).
    for (uint32_t step : {uint32_t(EActiveSyncStep_EMailSendCmd), uint32_t(EActiveSyncStep_EMailSmartSendCmd)}) {
        MakeEngine();
        DHTTPFailureResponse sendFailure(engine->Answer(step, 500), httpErrRequestFailed);
        Received(sendFailure);
        EXPECT_EQ(client.errors, std::vector<DErrorCode>{activeSyncErrTransactionFailed}) << step;
        EXPECT_EQ(std::count(data->calls.begin(), data->calls.end(), "ProcessCommandData " + std::to_string(step)), 1)
            << step;
    }
    // Another failure of a send is not the data manager's to settle.
    MakeEngine();
    DHTTPFailureResponse unavailable(engine->Answer(EActiveSyncStep_EMailSendCmd, 503), httpErrRequestFailed);
    Received(unavailable);
    EXPECT_EQ(std::count(data->calls.begin(), data->calls.end(), "ProcessCommandData 11"), 0);

    // No HTTP status at all: the transfer's own code, never a silent success.
    client.errors.clear();
    DHTTPFailureResponse lost(engine->Answer(EActiveSyncStep_EMailSyncCmd, 0), httpErrServerConnectFailed);
    Received(lost);
    EXPECT_EQ(client.errors, std::vector<DErrorCode>{httpErrServerConnectFailed});
}

TEST_F(EngineReportTest, A449OnProtocol25ProvisionsFirstAndKeepsTheStep) {
    DHTTPFailureResponse failure(engine->Answer(EActiveSyncStep_CalendarSyncCmd, 449), httpErrRequestFailed);
    Received(failure);
    EXPECT_EQ(engine->SavedStep(), uint32_t(EActiveSyncStep_CalendarSyncCmd));
    EXPECT_EQ(engine->Step(), uint32_t(EActiveSyncStep_ProvisionCmd));
    EXPECT_FALSE(client.Got(activeSyncErrTransactionFailed));
}

TEST_F(EngineReportTest, A449OnProtocol20IsAnOrdinaryFailure) {
    global->prefs.SetEASVers(200);
    DHTTPFailureResponse failure(engine->Answer(EActiveSyncStep_CalendarSyncCmd, 449), httpErrRequestFailed);
    Received(failure);
    EXPECT_EQ(client.errors, std::vector<DErrorCode>{activeSyncErrTransactionFailed});
    EXPECT_EQ(Texts(), (std::vector<UINT>{43, 54, 57}));
    EXPECT_EQ(global->prefs.GetEngineState(), kEngineStateFailed);
    EXPECT_EQ(engine->Step(), uint32_t(EActiveSyncStep_CalendarSyncCmd));
}

TEST_F(EngineReportTest, A449ThatProvisioningDoesNotSettleEndsTheRun) {
    // On a Provision step itself.
    for (uint32_t step : {uint32_t(EActiveSyncStep_ProvisionCmd), uint32_t(EActiveSyncStep_AcknowledgeProvisionCmd)}) {
        client.errors.clear();
        DHTTPFailureResponse failure(engine->Answer(step, 449), httpErrRequestFailed);
        Received(failure);
        EXPECT_EQ(client.errors, std::vector<DErrorCode>{activeSyncErrTransactionFailed}) << step;
    }

    // Again for the step resumed after the acknowledgement was answered.
    client.errors.clear();
    DHTTPFailureResponse first(engine->Answer(EActiveSyncStep_EMailSyncCmd, 449), httpErrRequestFailed);
    Received(first);
    ASSERT_EQ(engine->Step(), uint32_t(EActiveSyncStep_ProvisionCmd));
    engine->Answer(EActiveSyncStep_AcknowledgeProvisionCmd, 200, "ack");
    DHTTPSuccessResponse acknowledged(nullptr);
    Received(acknowledged);
    client.errors.clear();
    DHTTPFailureResponse again(engine->Answer(EActiveSyncStep_EMailSyncCmd, 449), httpErrRequestFailed);
    Received(again);
    EXPECT_EQ(client.errors, std::vector<DErrorCode>{activeSyncErrTransactionFailed});
}

// The policy request's answer brings the temporary key, which is then
// acknowledged; the acknowledgement's answer brings the final key, which is
// stored without another acknowledgement (the step is not set back).
TEST_F(EngineReportTest, ProvisionAnswersStoreTheKeyAndAcknowledgeOnlyTheFirst) {
    auto policy = [](uint32_t status, const char *key, uint8_t wipe) {
        return [=]() -> DClientResponse * {
            auto *r = new DASDP_PolicyResponse;
            r->SetStatus(status);
            VString k = Narrow(key);
            r->SetPolicyKey(&k);
            r->SetWipe(wipe);
            return r;
        };
    };
    DHTTPSuccessResponse success(nullptr);
    data->makeRecord = policy(1, "1111", 0);
    engine->Answer(EActiveSyncStep_ProvisionCmd, 200, "wbxml");
    Received(success);
    auto storedKey = [this]() {
        VString key;
        global->prefs.GetEASPolicyKey(&key);
        key.ConvertTo(kVStringWindows1252);
        return std::string(key.GetNarrowText() != nullptr ? key.GetNarrowText() : "");
    };
    EXPECT_EQ(storedKey(), "1111");
    // The temporary key is acknowledged next.
    EXPECT_EQ(engine->Step(), uint32_t(EActiveSyncStep_AcknowledgeProvisionCmd));

    data->makeRecord = policy(1, "2222", 1);
    engine->Answer(EActiveSyncStep_AcknowledgeProvisionCmd, 200, "wbxml");
    Received(success);
    EXPECT_EQ(storedKey(), "2222");
    // The final key is not acknowledged again: the ordered wipe comes next.
    EXPECT_EQ(engine->Step(), uint32_t(EActiveSyncStep_RemoteWipe));
    EXPECT_EQ(engine->WipeOrdered(), 1);
    EXPECT_FALSE(client.Got(activeSyncErrPolicyStatusError));

    data->makeRecord = policy(2, "3333", 0);
    engine->Answer(EActiveSyncStep_ProvisionCmd, 200, "wbxml");
    Received(success);
    EXPECT_TRUE(client.Got(activeSyncErrPolicyStatusError));
    EXPECT_EQ(storedKey(), "2222");
}

TEST_F(EngineReportTest, ASearchAnswerReplacesTheResultsOrFailsOnItsStatus) {
    VFile *results = nullptr;
    ASSERT_EQ(EnsureTempVFile(&results), kNoError);
    std::unique_ptr<VFile> owned(results);
    bool open = false;
    results->IsOpen(&open);
    if (!open) {
        ASSERT_EQ(results->Open(kVFileReadWrite), kNoError);
    }
    uint32_t written = 0;
    ASSERT_EQ(results->Write(30, "an older and longer result...", &written), kNoError);
    results->Close();
    engine->SetSearchResults(results);

    auto search = [](uint32_t status) {
        return [=]() -> DClientResponse * {
            auto *r = new DASDP_SearchResponse;
            r->SetStatus(status);
            r->SetResult(Narrow("<Result/>"));
            return r;
        };
    };
    DHTTPSuccessResponse success(nullptr);
    data->makeRecord = search(1);
    engine->Answer(EActiveSyncStep_SearchCmd, 200, "wbxml");
    Received(success);
    uint32_t size = 0;
    results->GetSize(&size);
    EXPECT_EQ(size, 9u);
    EXPECT_FALSE(client.Got(ASDataManagerErrBadStatus));

    data->makeRecord = search(3);
    engine->Answer(EActiveSyncStep_SearchCmd, 200, "wbxml");
    Received(success);
    EXPECT_TRUE(client.Got(ASDataManagerErrBadStatus));
}

// A refused status: lost sync state starts again from Options and
// FolderSync; any other status, or a record of another kind, fails.
TEST_F(EngineReportTest, ARefusedStatusRestartsFromFolderSyncOrFails) {
    struct Case {
        uint32_t step;
        std::function<DClientResponse *()> record;
        DErrorCode reported;  // kNoError: the run starts again from FolderSync
    };
    auto sync = [](uint32_t status) {
        return [=]() -> DClientResponse * {
            auto *r = new DASDP_EmailSyncResponse;
            r->SetStatus(status);
            return r;
        };
    };
    auto estimate = [](uint32_t status) {
        return [=]() -> DClientResponse * {
            auto *r = new DASDP_GetItemEstimateResponse;
            r->SetStatus(status);
            return r;
        };
    };
    const Case cases[] = {
        {EActiveSyncStep_EMailSyncCmd, sync(8), kNoError},
        {EActiveSyncStep_EMailSyncCmd, sync(4), ASDataManagerErrBadStatus},
        {EActiveSyncStep_GetItemEstimateCmd, estimate(2), kNoError},
        {EActiveSyncStep_GetItemEstimateCmd, estimate(3), ASDataManagerErrBadStatus},
        {EActiveSyncStep_FolderSyncCmd, [] { return new DClientResponse(13); },
         activeSyncErrDataManagerUnexpectedResponse},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.step);
        MakeEngine();
        engine->FolderSyncNeeded() = 0;
        data->answerCode = ASDataManagerErrBadStatus;
        data->makeRecord = c.record;
        engine->Answer(c.step, 200, "wbxml");
        DHTTPSuccessResponse success(nullptr);
        Received(success);
        if (c.reported == kNoError) {
            EXPECT_FALSE(client.Got(ASDataManagerErrBadStatus));
            EXPECT_EQ(engine->Step(), uint32_t(EActiveSyncStep_FolderSyncCmd));
            const std::vector<UINT> texts = Texts();
            EXPECT_NE(std::find(texts.begin(), texts.end(), 65u), texts.end());
        } else {
            EXPECT_TRUE(client.Got(c.reported));
        }
    }
}

TEST_F(EngineReportTest, AUsersRunThatCannotConnectTellsTheUserWhy) {
    struct Case {
        DErrorCode code;
        uint32_t runKind;
        const char16_t *caption;  // null: no message
        const char16_t *text;
    } cases[] = {
        {internetConnectNoConnection, kRunKindUser, u"[text 5]", u"[text 6]\n\n[text 7]"},
        {internetConnectFlightMode, kRunKindUser, u"[text 2]", u"[text 3]\n\n[text 4]"},
        {internetConnectNoConnection, kRunKindScheduled, nullptr, nullptr},
        {internetConnectErrTimedOut, kRunKindUser, nullptr, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.code << " kind " << c.runKind);
        MakeEngine();
        vplat::MessagesShownReset();
        engine->RunKind() = c.runKind;
        engine->ReportError(c.code, nullptr, "DActiveSyncEngine::RunTask()");
        const std::vector<vplat::ShownMessage> shown = vplat::MessagesShown();
        if (c.caption == nullptr) {
            EXPECT_TRUE(shown.empty());
        } else {
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_TRUE(shown[0].caption == c.caption);
            EXPECT_TRUE(shown[0].text == c.text);
        }
        // The client hears the code as well.
        EXPECT_EQ(client.errors, std::vector<DErrorCode>{c.code});
    }
    vplat::MessagesShownReset();
}

TEST_F(EngineReportTest, ACancelFromTheHTTPLayerEndsTheRunWithoutAReport) {
    EXPECT_EQ(engine->HTTP_ReportError(internetConnectErrCancel, nullptr), kNoError);
    EXPECT_TRUE(client.errors.empty());
    EXPECT_EQ(client.responses, std::vector<int>{-1});

    EXPECT_EQ(engine->HTTP_ReportError(httpErrTransactionTimedOut, nullptr), kNoError);
    EXPECT_EQ(client.errors, std::vector<DErrorCode>{httpErrTransactionTimedOut});
}

TEST_F(EngineReportTest, StatusOtherThanTransferProgressGoesToTheClientUnchanged) {
    DStatusData alive(kStatusTypeAlive);
    EXPECT_EQ(engine->HTTP_ReportStatus(&alive), kNoError);
    DStatusData sent(kStatusTypeSendProgress);
    engine->Step() = EActiveSyncStep_EMailSyncCmd;
    engine->HTTP_ReportStatus(&sent);
    EXPECT_EQ(client.statuses, std::vector<uint32_t>{kStatusTypeAlive});
}

}  // namespace
