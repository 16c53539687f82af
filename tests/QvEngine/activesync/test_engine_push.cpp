// Push: the adaptive heartbeat (its rise after an account reset, its fall
// and the next attempt after a cut-off Ping, on the virtual clock), the
// retry back-off, each Ping answer's outcome, the folder matching of a
// change report, the step after a Ping, the loop guard, and the retry timer.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "DASDP_PingResponse.h"
#include "DActiveSyncEngine.h"
#include "DHTTPTransaction.h"
#include "EngineTestSupport.h"
#include "FolderStoreWrite.h"
#include "QvEngine/foundation/prefstestutil.h"
#include "TestDataManager.h"
#include "wintime.h"

namespace {

// A transaction that ended with the HTTP status the test gives it.
class StatusTransaction : public DHTTPTransaction {
public:
    StatusTransaction(IGlobalData *global, uint32_t status) : DHTTPTransaction(global, nullptr) { m_status = status; }
};

class PushEngine : public DActiveSyncEngine {
public:
    using DActiveSyncEngine::AdaptiveHeartBeatInterrupted;
    using DActiveSyncEngine::DecreaseHeartbeat;
    using DActiveSyncEngine::DetermineNextPingStep;
    using DActiveSyncEngine::PrepareForPing;
    using DActiveSyncEngine::PrepareActiveSyncCommand;
    using DActiveSyncEngine::ProcessPingCommandData;
    using DActiveSyncEngine::RestartPing;
    using DActiveSyncEngine::ResetBackOff;
    using DActiveSyncEngine::RetryTimerFired;
    using DActiveSyncEngine::SetDataManager;
    using DActiveSyncEngine::StartRetryTimer;
    using DActiveSyncEngine::SuccessfulHeartbeat;

    void SetTransactionStatus(uint32_t status) {
        delete m_currentTransaction;
        m_currentTransaction = status != 0 ? new StatusTransaction(m_global, status) : nullptr;
    }
    uint32_t &Step() { return m_currentStep; }
    uint32_t &Stage() { return m_taskStage; }
    uint32_t &RunFlags() { return m_runFlags; }
    uint8_t &EmptyPing() { return m_emptyPing; }
    uint8_t &LastPingEmpty() { return m_lastPingEmpty; }
    uint8_t &RetryScheduled() { return m_retryScheduled; }
    uint8_t FolderSyncNeeded() const { return m_folderSyncNeeded; }
    uint32_t NextAttempt() const { return m_nextAttempt; }
    uint32_t BackOffDelay() const { return m_backOffDelay; }
    uint32_t &BackOffCount() { return m_backOffCount; }
    uint32_t RetryTimer() const { return m_retryTimer; }
    uint32_t LockRefreshTimer() const { return m_lockRefreshTimer; }
    uint32_t RunKind() const { return m_runKind; }
    uint8_t &FirstPush() { return m_firstPush; }
    uint8_t &FirstCycle() { return m_firstCycle; }
    DHTTPTransaction *Transaction() const { return m_currentTransaction; }
    uint16_t &CalendarFailures() { return m_calendarFailures; }
    uint16_t &CalendarLoops() { return m_calendarLoops; }
    uint16_t EMailLoops() const { return m_emailLoops; }
    void StartPingClock() { m_pingStartTime = GetTickCount(); }
    // Server marks of calendar, contacts and tasks, as "ccc" digits.
    std::string ServerMarks() const {
        return std::to_string(m_serverCalendarChanged) + std::to_string(m_serverContactsChanged) +
               std::to_string(m_serverTasksChanged);
    }
    std::string LocalMarks() const {
        return std::to_string(m_localCalendarChanged) + std::to_string(m_localContactsChanged) +
               std::to_string(m_localTasksChanged);
    }
};

VString Text(const char *text) {
    VString s;
    s.AssignCStr(text, kVStringWindows1252);
    return s;
}

// The folder ids of the store the tests use.
const char kInbox[] = "inbox";
const char kUserMail[] = "mail%2Fwork";
const char kCalendar[] = "cal";
const char kContacts[] = "card";
const char kTasks[] = "todo";

class EnginePushTest : public PrefsDeviceTest {
protected:
    void SetUp() override {
        PrefsDeviceTest::SetUp();
        vplat::ClockUseVirtual(1000, 1700000000000);
        global = std::make_unique<EngineGlobal>();
        SetTestAccount(global->prefs, "mail.example.com", "alice", "secret1");
        ICorvanePreferences &prefs = global->prefs;
        prefs.SetEASVers(250);
        prefs.SetPushAvailable(1);
        prefs.SetPeakSyncSchedule(1);
        prefs.SetOffPeakSyncSchedule(1);
        prefs.SetPeakPushSyncEnabled(1);
        prefs.SetOffPeakPushSyncEnabled(1);
        prefs.SetEngineState(kEngineStatePinging);
        // A new push cycle reloads the preferences from the registry.
        ASSERT_EQ(prefs.SaveAll(), kNoError);
        ASSERT_EQ(DBOpenReadWrite(&global->folders), kNoError);
        AddFolder(kFolderTypeInbox, kInbox, "Inbox");
        AddFolder(kFolderTypeUserMail, kUserMail, "Work");
        AddFolder(kFolderTypeCalendar, kCalendar, "Calendar");
        AddFolder(kFolderTypeContacts, kContacts, "Contacts");
        AddFolder(kFolderTypeTasks, kTasks, "Tasks");
        engine = std::make_unique<PushEngine>();
        data = new TestDataManager;
        engine->SetDataManager(data);
        ASSERT_EQ(engine->Initialize(global.get(), &client), kNoError);
        engine->RunFlags() = kRunFlagsAll;
    }
    void TearDown() override {
        engine.reset();
        global.reset();
        vplat::ClockUseReal();
        PrefsDeviceTest::TearDown();
    }
    void AddFolder(uint32_t type, const char *id, const char *name) {
        DEASFolderInfoRecord *folder = nullptr;
        ASSERT_EQ(global->folders.AddFolder(&folder, type, id, name, "1", nullptr, 0, kQvUnknown, 0), kNoError);
    }
    uint32_t FolderFlags(const char *id) {
        DEASFolderInfoRecord *folder = nullptr;
        EXPECT_EQ(global->folders.FindFolderByServerID(id, &folder), kNoError);
        return folder != nullptr ? folder->GetInt(kFolderFieldFlags) : 0;
    }
    DErrorCode Ping(uint32_t status, const std::vector<const char *> &ids = {}, uint16_t heartbeat = 0,
                    uint32_t limit = 0) {
        DASDP_PingResponse ping(status);
        ping.SetHeartbeat(heartbeat);
        ping.SetFolderLimit(limit);
        for (const char *id : ids) {
            VString wide;
            wide.AssignCStr(id, kVStringWindows1252);
            wide.ConvertTo(kVStringUTF16LE);
            EXPECT_EQ(ping.AddFolder(wide), kNoError);
        }
        return engine->ProcessPingCommandData(&ping);
    }
    bool Logged(const std::string &text) { return global->log.Has(text); }
    bool Asked(UINT id) {
        return std::find(global->strings.asked.begin(), global->strings.asked.end(), id) !=
               global->strings.asked.end();
    }
    bool Called(const std::string &call) {
        return std::find(data->calls.begin(), data->calls.end(), call) != data->calls.end();
    }
    ICorvanePreferences &Prefs() { return global->prefs; }

    std::unique_ptr<EngineGlobal> global;
    std::unique_ptr<PushEngine> engine;
    TestDataManager *data = nullptr;  // the engine's
    RecordingClient client;
};

TEST_F(EnginePushTest, HeartbeatRisesAfterAnAccountResetUpToTheMaximum) {
    ASSERT_EQ(Prefs().ResetAccount(), kNoError);
    Prefs().SetMaximumHeartBeat(1920);
    ASSERT_EQ(Prefs().GetQVHeartbeat(), 540u);
    const uint32_t expected[] = {570, 630, 750, 930, 1170, 1410, 1650, 1890, 1920, 1920};
    uint32_t previous = 540;
    for (uint32_t heartbeat : expected) {
        SCOPED_TRACE(heartbeat);
        EXPECT_EQ(engine->SuccessfulHeartbeat(), kNoError);
        EXPECT_EQ(Prefs().GetQVHeartbeat(), heartbeat);
        EXPECT_EQ(Prefs().GetLastGoodHeartBeat(), previous);  // the one that just completed
        EXPECT_EQ(engine->EmptyPing(), 0);                    // the new heartbeat goes in the body
        previous = heartbeat;
    }
    EXPECT_TRUE(Logged("Increasing Heartbeat: 1920"));
}

TEST_F(EnginePushTest, AfterADecreaseOnlyThe31stCompletedPingRaisesTheHeartbeat) {
    Prefs().SetQVHeartbeat(930);
    Prefs().SetLastGoodHeartBeat(750);
    Prefs().SetMinimumHeartBeat(480);
    ASSERT_EQ(engine->DecreaseHeartbeat(), kNoError);
    EXPECT_EQ(Prefs().GetQVHeartbeat(), 750u);
    EXPECT_EQ(Prefs().GetLastGoodHeartBeat(), 480);
    EXPECT_EQ(Prefs().GetPingCounter(), 0);
    for (int i = 1; i <= 30; ++i) engine->SuccessfulHeartbeat();
    EXPECT_EQ(Prefs().GetQVHeartbeat(), 750u);
    engine->SuccessfulHeartbeat();
    EXPECT_EQ(Prefs().GetQVHeartbeat(), 780u);

    // With no good heartbeat known it falls to the minimum.
    Prefs().SetLastGoodHeartBeat(0);
    engine->DecreaseHeartbeat();
    EXPECT_EQ(Prefs().GetQVHeartbeat(), 480u);
}

TEST_F(EnginePushTest, ACutOffPingIsRetriedOnceTheMinimumHeartbeatHasPassed) {
    struct Case {
        uint32_t failsAfterSeconds;
        uint32_t retrySeconds;
    };
    const Case cases[] = {{100, 380}, {475, 10}, {470, 10}, {2000, 10}, {0, 480}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.failsAfterSeconds);
        Prefs().SetMinimumHeartBeat(480);
        Prefs().SetEngineState(kEngineStatePinging);
        engine->StartPingClock();
        vplat::ClockAdvance(uint64_t(c.failsAfterSeconds) * 1000);
        EXPECT_EQ(engine->AdaptiveHeartBeatInterrupted(internetConnectErrConnectionLost), kNoError);
        EXPECT_EQ(engine->RetryScheduled(), 1);
        EXPECT_EQ(engine->NextAttempt(), c.retrySeconds);
        EXPECT_EQ(engine->BackOffDelay(), c.retrySeconds * 1000);
        EXPECT_NE(engine->RetryTimer(), kNoTimerId);
        EXPECT_EQ(Prefs().GetPingCounter(), 0);
    }
    EXPECT_TRUE(Logged("AdaptiveHeartBeatInterrupted(): "));
}

TEST_F(EnginePushTest, RefusalsAndOtherRunsFailuresLeaveTheHeartbeatAlone) {
    const DErrorCode unchanged[] = {0x07370B06, 0x07370B07, 0x07370B08, 0x07370B09, 0x07370B0B,
                                    0x07370C06, 0x07370C0D, 0x07370D0B, 0x07370D0D, 0x07370D0F,
                                    0x07370D10, 0x07370D11, 0x07370D13, 0x07371107, 0x0737110B};
    struct Case {
        DErrorCode code;
        uint32_t httpStatus;  // 0: no transaction
        uint16_t engineState;
        bool interrupted;
    };
    std::vector<Case> cases;
    for (DErrorCode code : unchanged) cases.push_back({code, 200, kEngineStatePinging, false});
    for (uint32_t status : {401u, 403u, 405u, 500u, 503u, 507u})
        cases.push_back({activeSyncErrTransactionFailed, status, kEngineStatePinging, false});
    cases.push_back({activeSyncErrTransactionFailed, 0, kEngineStatePinging, false});
    cases.push_back({activeSyncErrTransactionFailed, 404, kEngineStatePinging, true});
    cases.push_back({activeSyncErrTransactionFailed, 502, kEngineStatePinging, true});
    cases.push_back({internetConnectErrConnectionLost, 200, kEngineStatePinging, true});
    cases.push_back({httpErrTransactionTimedOut, 200, kEngineStatePinging, true});
    cases.push_back({internetConnectErrConnectionLost, 200, kEngineStateSyncing, false});
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.code << std::dec << " status " << c.httpStatus);
        Prefs().SetQVHeartbeat(930);
        Prefs().SetLastGoodHeartBeat(750);
        Prefs().SetEngineState(c.engineState);
        engine->SetTransactionStatus(c.httpStatus);
        engine->RetryScheduled() = 1;
        engine->AdaptiveHeartBeatInterrupted(c.code);
        EXPECT_EQ(engine->RetryScheduled(), c.interrupted ? 1 : 0);
        EXPECT_EQ(Prefs().GetQVHeartbeat(), c.interrupted ? 750u : 930u);
    }
}

TEST_F(EnginePushTest, BackOffGrowsFromThirtySecondsToHalfAnHourAndResetsOnlyWhileTypesSucceed) {
    const uint32_t seconds[] = {30, 90, 90, 270, 270, 810, 810, 1800, 1800, 1800};
    for (uint32_t s : seconds) {
        ASSERT_EQ(engine->StartRetryTimer(kNoTimerId), kNoError);
        EXPECT_EQ(engine->BackOffDelay(), s * 1000);
    }
    // An explicit delay is used as it is.
    engine->StartRetryTimer(5000);
    EXPECT_EQ(engine->BackOffDelay(), 5000u);

    engine->CalendarFailures() = 5;
    engine->ResetBackOff();
    EXPECT_EQ(engine->BackOffDelay(), 5000u);
    engine->CalendarFailures() = 4;
    engine->ResetBackOff();
    EXPECT_EQ(engine->BackOffDelay(), 0u);
    EXPECT_EQ(engine->BackOffCount(), 0u);
}

TEST_F(EnginePushTest, EachPingStatusHasItsOutcome) {
    struct Case {
        uint32_t status;
        DErrorCode result;
        uint32_t step;  // after the answer
        std::vector<UINT> texts;
        bool newCycle;
        uint32_t heartbeat;  // QVHeartbeat afterwards
        uint32_t maxFolders;
    };
    const Case cases[] = {
        {1, kNoError, 20, {80}, false, 900, 25},
        {3, ASDataManagerErrBadStatus, 20, {}, false, 900, 25},
        {4, ASDataManagerErrBadStatus, 20, {}, false, 900, 25},
        {5, kNoError, 20, {63, 82}, false, 1200, 25},
        {6, kNoError, 20, {64}, false, 900, 12},
        {7, activeSyncErrWaitForCallback, 2, {65, 81}, true, 900, 25},
        {8, 0x07372F01, 20, {62}, false, 900, 25},
        {99, ASDataManagerErrBadStatus, 20, {}, false, 900, 25},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.status);
        global->strings.asked.clear();
        data->calls.clear();
        client.responses.clear();
        Prefs().SetQVHeartbeat(900);
        Prefs().SetPingCounter(7);
        Prefs().SetMaxServerPushFolders(25);
        Prefs().SetEngineState(kEngineStatePinging);
        engine->Step() = EActiveSyncStep_PingCmd;
        engine->LastPingEmpty() = 0;
        global->folders.SetMailFolderFlag(0x08, true);
        EXPECT_EQ(Ping(c.status, {}, 1200, 12), c.result);
        EXPECT_EQ(engine->Step(), c.step);
        EXPECT_EQ(client.responses, std::vector<int>{22});  // the answer goes to the client first
        std::vector<UINT> texts;
        for (UINT id : global->strings.asked)
            if (id != 20) texts.push_back(id);
        EXPECT_EQ(texts, c.texts);
        EXPECT_EQ(Called("PrepareForSync"), c.newCycle);
        EXPECT_EQ(Prefs().GetQVHeartbeat(), c.heartbeat);
        EXPECT_EQ(Prefs().GetMaxServerPushFolders(), c.maxFolders);
        if (c.status == 5) {
            EXPECT_EQ(Prefs().GetLastGoodHeartBeat(), 1200);
            EXPECT_EQ(Prefs().GetPingCounter(), 0);
        }
        if (c.status == 1) {
            EXPECT_EQ(Prefs().GetPingCounter(), 8);
        }
        if (c.newCycle) {
            EXPECT_EQ(engine->Stage(), kStagePushEMailProbe);
            EXPECT_EQ(Prefs().GetEngineState(), kEngineStateSyncing);
            EXPECT_EQ(engine->FolderSyncNeeded(), 1);
        }
        // A quiet end forgets the server's change flags.
        if (c.result == kNoError) {
            EXPECT_EQ(FolderFlags(kInbox) & 0x08, 0u);
        }
        if (c.result != kNoError && c.result != activeSyncErrWaitForCallback) {
            EXPECT_TRUE(Logged("!!Push error."));
        }
    }
}

TEST_F(EnginePushTest, AServerThatNamesNoUsableLimitEndsPushInsteadOfLooping) {
    Prefs().SetQVHeartbeat(900);
    EXPECT_EQ(Ping(5, {}, 0), 0x07372F03);
    EXPECT_EQ(Ping(5, {}, 900), 0x07372F03);
    EXPECT_EQ(Prefs().GetQVHeartbeat(), 900u);
    Prefs().SetMaxServerPushFolders(25);
    EXPECT_EQ(Ping(6, {}, 0, 0), 0x07372F04);
    EXPECT_EQ(Ping(6, {}, 0, 25), 0x07372F04);
}

TEST_F(EnginePushTest, StatusThreeAfterAnEmptyPingSendsTheFullPingAgain) {
    engine->Step() = EActiveSyncStep_PingCmd;
    engine->LastPingEmpty() = 1;
    engine->EmptyPing() = 1;
    EXPECT_EQ(Ping(3), kNoError);
    EXPECT_EQ(engine->EmptyPing(), 0);
    EXPECT_EQ(engine->Step(), uint32_t(EActiveSyncStep_PingCmd));
    ASSERT_EQ(engine->DetermineNextPingStep(EActiveSyncStep_PingCmd), kNoError);
    EXPECT_EQ(engine->Step(), uint32_t(EActiveSyncStep_PingCmd));
}

TEST_F(EnginePushTest, ChangesNameTheirFoldersAndBecomeTheRunOfTheNextCycle) {
    Prefs().SetPushNeedsSoap(0x08);
    Prefs().SetEngineNeedsSoap(0x01);
    EXPECT_EQ(Ping(2, {kCalendar, kUserMail, kInbox}), activeSyncErrWaitForCallback);
    EXPECT_EQ(engine->ServerMarks(), "100");
    EXPECT_EQ(engine->CalendarLoops(), 1);
    EXPECT_EQ(engine->EMailLoops(), 1);  // once per answer, however many mail folders
    EXPECT_EQ(FolderFlags(kInbox) & 0x08, 0x08u);
    EXPECT_EQ(FolderFlags(kUserMail) & 0x08, 0x08u);
    EXPECT_TRUE(Logged("Detected EMAIL changes in Work"));
    EXPECT_EQ(engine->RunFlags(), kRunFlagPush | kRunFlagEMail | kRunFlagCalendar);
    // The scheduler's change bits are the engine's now.
    EXPECT_EQ(Prefs().GetEngineNeedsSoap(), 0x09);
    EXPECT_EQ(Prefs().GetPushNeedsSoap(), 0);
    EXPECT_EQ(engine->LocalMarks(), "010");
    EXPECT_EQ(FolderFlags(kInbox) & 0x04, 0x04u);
    EXPECT_EQ(engine->EmptyPing(), 1);
    EXPECT_EQ(engine->Step(), uint32_t(EActiveSyncStep_PingCmd));
    EXPECT_EQ(engine->FolderSyncNeeded(), 1);  // as constructed; a full sync is not asked for
}

TEST_F(EnginePushTest, AnUnknownFolderIdMakesEverythingSyncWithFolderSyncFirst) {
    struct Case {
        std::vector<const char *> ids;
        const char *log;
    };
    const Case cases[] = {
        {{kContacts, "gone"}, "!!Folder ID Error on Ping. Full Sync."},
        {{}, "!!No Folder List on Ping. Full Sync."},
        {{""}, "!!No Folder List ITEM on Ping. Full Sync."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.log);
        engine->RunFlags() = kRunFlagsAll;
        EXPECT_EQ(Ping(2, c.ids), activeSyncErrWaitForCallback);
        EXPECT_TRUE(Logged(c.log));
        EXPECT_EQ(engine->ServerMarks(), "111");
        EXPECT_EQ(FolderFlags(kInbox) & 0x08, 0x08u);
        EXPECT_EQ(FolderFlags(kUserMail) & 0x08, 0x08u);
        EXPECT_EQ(engine->FolderSyncNeeded(), 1);
        EXPECT_EQ(engine->EmptyPing(), 0);  // the next Ping names its folders again
        EXPECT_EQ(engine->Step(), uint32_t(EActiveSyncStep_Options));
        EXPECT_EQ(engine->RunFlags(),
                  kRunFlagPush | kRunFlagEMail | kRunFlagCalendar | kRunFlagContacts | kRunFlagTasks);
    }
}

TEST_F(EnginePushTest, TheStepAfterAPing) {
    struct Case {
        const char *name;
        uint32_t finished;
        bool account;
        bool changes;
        BOOL allowSync;
        bool push;
        uint32_t step;
        uint32_t stage;  // kStageIdle: unchanged
    };
    const Case cases[] = {
        {"no account", 20, false, true, TRUE, true, 0, kStageRunOver},
        {"changes refused by the client", 20, true, true, FALSE, true, 0, kStageRunOver},
        {"quiet, push on", 20, true, false, TRUE, true, 20, kStageIdle},
        {"quiet, push off", 20, true, false, TRUE, false, 0, kStageRunOver},
        {"a Ping cycle starts", 21, true, false, TRUE, true, 20, kStageIdle},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Prefs().SetPassword(Text(c.account ? "secret1" : ""));
        Prefs().SetPeakPushSyncEnabled(c.push ? 1 : 0);
        Prefs().SetOffPeakPushSyncEnabled(c.push ? 1 : 0);
        Prefs().SaveAll();  // the account check reloads once
        client.allowSync = c.allowSync;
        global->folders.SetMailFolderFlag(0x08, c.changes);
        engine->Stage() = kStageIdle;
        engine->Step() = c.finished;
        EXPECT_EQ(engine->DetermineNextPingStep(c.finished), kNoError);
        EXPECT_EQ(engine->Step(), c.step);
        EXPECT_EQ(engine->Stage(), c.stage);
        if (c.changes) {
            EXPECT_EQ(FolderFlags(kInbox) & 0x08, 0u);
        }
    }
    EXPECT_EQ(engine->DetermineNextPingStep(14), activeSyncErrUnexpectedStep);
}

TEST_F(EnginePushTest, TheFifthUnsettledChangeReportOfATypeSwitchesPushOff) {
    for (int report = 1; report <= 4; ++report) {
        Ping(2, {kTasks});
        EXPECT_EQ(engine->PrepareForPing(), kNoError);
        EXPECT_EQ(engine->Step(), uint32_t(EActiveSyncStep_PingRestart));
    }
    Ping(2, {kTasks});
    EXPECT_EQ(engine->PrepareForPing(), activeSyncErrInfiniteSyncLoop);
    EXPECT_TRUE(Logged("*** Detected an \"Infinite Sync Loop\" problem."));
    EXPECT_EQ(Prefs().IsPushEnabledNow(), 0);
    EXPECT_EQ(Prefs().GetCurrentSyncSchedule(), 2);
    EXPECT_EQ(engine->Step(), 0u);

    // A quiet Ping between the reports settles the count.
    Prefs().SetPushEnabledNow(1);
    Prefs().SaveAll();
    for (int report = 1; report <= 4; ++report) Ping(2, {kTasks});
    Ping(1);
    Ping(2, {kTasks});
    EXPECT_EQ(engine->PrepareForPing(), kNoError);
}

TEST_F(EnginePushTest, LocalChangesAtTheEndOfACycleStartAnotherBeforeThePing) {
    Prefs().SetPushNeedsSoap(0x04 | 0x02);
    Prefs().SetEngineNeedsSoap(0x10);
    engine->EmptyPing() = 1;
    EXPECT_EQ(engine->PrepareForPing(), activeSyncErrWaitForCallback);
    EXPECT_EQ(engine->LocalMarks(), "101");
    EXPECT_EQ(FolderFlags(kInbox) & 0x04, 0x04u);
    EXPECT_EQ(engine->EmptyPing(), 0);
    EXPECT_EQ(Prefs().GetPushNeedsSoap(), 0);
    EXPECT_EQ(Prefs().GetEngineNeedsSoap(), 0x16);
    EXPECT_EQ(engine->Step(), uint32_t(EActiveSyncStep_GetItemEstimateCmd));
    EXPECT_EQ(engine->Stage(), kStagePrepareCycle);
    EXPECT_TRUE(Called("EndOfRunCleanup"));
}

TEST_F(EnginePushTest, TheRetryTimerReconnectsOnlyWhilePushIsOn) {
    struct Case {
        const char *name;
        bool push;
        uint16_t state;
        uint32_t stage;
        uint32_t backOffCount;
    };
    const Case cases[] = {
        {"push off: the run ends", false, kEngineStateFailed, kStageEndRun, 0},
        {"a Ping is out: back off again", true, kEngineStatePinging, kStageIdle, 1},
        {"a run is syncing: back off again", true, kEngineStateSyncing, kStageIdle, 1},
        {"idle with push on: reconnect", true, kEngineStatePushInterrupted, kStageReconnectCheck, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Prefs().SetPeakPushSyncEnabled(c.push ? 1 : 0);
        Prefs().SetOffPeakPushSyncEnabled(c.push ? 1 : 0);
        Prefs().SetEngineState(c.state);
        engine->Stage() = kStageIdle;
        engine->BackOffCount() = 0;
        engine->RetryTimerFired();
        EXPECT_EQ(engine->Stage(), c.stage);
        EXPECT_EQ(engine->BackOffCount(), c.backOffCount);
        if (!c.push) {
            EXPECT_EQ(Prefs().GetEngineState(), kEngineStateCompleted);
        }
        // The task goes on by itself, or the timer is running again.
        EXPECT_TRUE(c.backOffCount != 0 ? engine->RetryTimer() != kNoTimerId : engine->IsActive());
    }
}

TEST_F(EnginePushTest, APingIsHeldForTheHeartbeatAndMarksTheEngineAsPinging) {
    Prefs().SetQVHeartbeat(930);
    Prefs().SetEngineState(kEngineStateSyncing);
    engine->EmptyPing() = 1;
    engine->FirstPush() = 1;
    engine->FirstCycle() = 1;
    ASSERT_EQ(engine->PrepareActiveSyncCommand(EActiveSyncStep_PingCmd), kNoError);
    ASSERT_NE(engine->Transaction(), nullptr);
    EXPECT_EQ(engine->Transaction()->GetTimeout(), 1010u);
    EXPECT_EQ(Prefs().GetEngineState(), kEngineStatePinging);
    EXPECT_EQ(engine->FirstPush(), 0);
    EXPECT_EQ(engine->FirstCycle(), 0);
    EXPECT_EQ(engine->LastPingEmpty(), 1);
    // The next one carries its body.
    EXPECT_EQ(engine->PrepareActiveSyncCommand(EActiveSyncStep_PingCmd), activeSyncErrWaitForCallback);
    EXPECT_EQ(engine->LastPingEmpty(), 0);
}

TEST_F(EnginePushTest, APingRestartTakesTheLockForAPingAndGoesOnAfterTheCleanUp) {
    global->mode = 1;
    Prefs().SetEngineState(kEngineStateSyncing);
    EXPECT_EQ(engine->RestartPing(), activeSyncErrWaitForCallback);
    EXPECT_EQ(global->mode, 0u);
    EXPECT_EQ(engine->RunKind(), kRunKindScheduled);
    EXPECT_EQ(Prefs().GetLockHolderRunKind(), 1);
    EXPECT_EQ(Prefs().GetSyncLockOwner(), client.tag);
    EXPECT_EQ(Prefs().GetEngineState(), kEngineStatePinging);
    EXPECT_NE(engine->LockRefreshTimer(), kNoTimerId);
    EXPECT_TRUE(Called("EndOfRunCleanup"));
    EXPECT_EQ(engine->Stage(), kStageNextStep);
    EXPECT_TRUE(engine->IsActive());

    // Then the step machine asks for the next step: the Ping, and the client
    // hears that a Ping cycle starts.
    client.responses.clear();
    ASSERT_EQ(engine->DetermineNextPingStep(EActiveSyncStep_PingRestart), kNoError);
    EXPECT_EQ(engine->Step(), uint32_t(EActiveSyncStep_PingCmd));
    EXPECT_EQ(client.responses, std::vector<int>{22});
}

}  // namespace
