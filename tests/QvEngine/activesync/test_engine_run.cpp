// A run's start and end: the start of a run (lock, version, log line,
// timers), the end of a normal run and of a cancelled one (timers, lock,
// push reconnection, the run's outcome, a completed wipe), the search
// arguments, the timers' callbacks, and the status texts the client sees.
#include <gtest/gtest.h>

#include <algorithm>

#include "DAliveCounterStatusData.h"
#include "DAliveStatusData.h"
#include "DASDP_PolicyResponse.h"
#include "DHTTPTransaction.h"
#include "DProgressStatusData.h"
#include "DateTimeConvert.h"
#include "DateTimeText.h"
#include "RunTestEngine.h"
#include "TempVFile.h"

namespace {

// A Provision answer whose policy orders a wipe.
class WipeOrderingDataManager : public TestDataManager {
public:
    DErrorCode ProcessCommandData(uint32_t step, DHTTPTransaction *trx, VFile *body,
                                  DClientResponse **record) override {
        TestDataManager::ProcessCommandData(step, trx, body, record);
        auto *policy = new DASDP_PolicyResponse;
        policy->SetStatus(1);
        policy->SetWipe(1);
        *record = policy;
        return kNoError;
    }
};

class ProvisionEngine : public RunTestEngine {
public:
    using DActiveSyncEngine::ProcessCurrentCommandResponse;
    void Answered(uint32_t step) {
        delete m_currentTransaction;
        m_currentTransaction = new AnsweredTransaction(m_global, 200, "wbxml");
        m_currentStep = step;
    }
};

class EngineRunStartEndTest : public RunDeviceTest {
protected:
    std::string LastStatus(size_t client = 0) {
        const auto &texts = ClientOf(client).statusTexts;
        return texts.empty() ? "" : texts.back();
    }
};

TEST_F(EngineRunStartEndTest, StartingARunTakesTheLockLogsItAndStartsItsTimers) {
    RunTestEngine &a = Add(kClientTagApplication);
    a.RunFlags() = kRunFlagsAll & ~kRunFlagPush;
    ASSERT_EQ(a.StartRun(), kNoError);
    EXPECT_EQ(global->prefs.GetSyncLockOwner(), kClientTagApplication);
    EXPECT_EQ(global->prefs.GetEngineState(), kEngineStateSyncing);
    EXPECT_EQ(a.Step(), uint32_t(EActiveSyncStep_Start));
    EXPECT_EQ(a.Stage(), uint32_t(kStageReadyForSync));
    EXPECT_NE(a.YieldPollTimer(), kNoTimerId);
    EXPECT_NE(a.LockRefreshTimer(), kNoTimerId);
#ifdef VANTREL_EDITION_SMARTPHONE
    EXPECT_TRUE(global->log.Has("[text 61] 2.007 (69)\n"));
#else
    EXPECT_TRUE(global->log.Has("[text 61] 2.007 (67)\n"));
#endif
    EXPECT_TRUE(global->log.Has("PM.\n"));  // 11/14/23 10:13:20 PM, a user's run without change flags
    EXPECT_EQ(LastStatus(), "[text 20]");
    Pump();  // the data manager's signal: stage 4
    EXPECT_EQ(a.ranStages, std::vector<uint32_t>{kStageReadyForSync});
}

TEST_F(EngineRunStartEndTest, ARunWithoutATypeIsRefusedAndASendOnlyRunWritesTheVersion) {
    RunTestEngine &a = Add(kClientTagApplication);
    a.RunFlags() = kRunFlagPush;
    EXPECT_EQ(a.StartRun(), activeSyncErrNoDataTypeSetToSync);
    EXPECT_EQ(global->prefs.GetSyncLockOwner(), 0u);

    a.RunFlags() = kRunFlagSendOnly;
    ASSERT_EQ(a.StartRun(), kNoError);
    DWinMobCorvanePreferences fresh;
    EXPECT_EQ(fresh.GetQVMaj(), 2);
    EXPECT_EQ(fresh.GetQVMin(), 7);
#ifdef VANTREL_EDITION_SMARTPHONE
    EXPECT_EQ(fresh.GetQVBui(), 69);
#else
    EXPECT_EQ(fresh.GetQVBui(), 67);
#endif
}

// A normal end (step 0) and a cancelled one both leave no lock timer behind.
TEST_F(EngineRunStartEndTest, EveryRunEndStopsTheLockTimersAndFreesTheLock) {
    RunTestEngine &a = Add(kClientTagApplication);
    a.RunFlags() = kRunFlagsAll & ~kRunFlagPush;
    ASSERT_EQ(a.StartRun(), kNoError);
    a.Step() = EActiveSyncStep_None;
    global->mode = 0;
    ASSERT_EQ(a.AcknowledgeCompletedSync(), kNoError);
    EXPECT_FALSE(a.AnyLockTimer());
    EXPECT_EQ(global->prefs.GetSyncLockOwner(), 0u);
    EXPECT_EQ(global->prefs.GetEngineState(), kEngineStateCompleted);
    EXPECT_TRUE(global->log.Has("AcknowledgeCompletedSync() - Commited preferences"));

    ASSERT_EQ(a.StartRun(), kNoError);
    ASSERT_EQ(a.CancelSync(FALSE), kNoError);
    EXPECT_FALSE(a.AnyLockTimer());
    EXPECT_EQ(global->prefs.GetSyncLockOwner(), 0u);
    // The cancel's state outlives the end's reload, for every process to see.
    EXPECT_EQ(global->prefs.GetEngineState(), kEngineStateCancelled);
    DWinMobCorvanePreferences fresh;
    ASSERT_EQ(fresh.Load(TRUE), kNoError);
    EXPECT_EQ(fresh.GetEngineState(), kEngineStateCancelled);
}

// A Ping restart acknowledges the cycle but keeps polling for a yield.
TEST_F(EngineRunStartEndTest, APingRestartKeepsTheYieldPoll) {
    RunTestEngine &a = Add(kClientTagApplication);
    a.RunFlags() = kRunFlagsAll;
    ASSERT_EQ(a.StartRun(), kNoError);
    a.Step() = EActiveSyncStep_PingRestart;
    global->mode = 0;
    ASSERT_EQ(a.AcknowledgeCompletedSync(), kNoError);
    EXPECT_NE(a.YieldPollTimer(), kNoTimerId);
}

TEST_F(EngineRunStartEndTest, CancellingAPushRunDropsOrKeepsItsReconnection) {
    global->prefs.SetPeakPushSyncEnabled(1);
    global->prefs.SetOffPeakPushSyncEnabled(1);
    RunTestEngine &a = Add(kClientTagApplication);
    a.Ping();
    ASSERT_EQ(a.CancelSync(TRUE), kNoError);
    EXPECT_EQ(a.RunFlags() & kRunFlagPush, 0u);
    EXPECT_EQ(a.RetryTimer(), kNoTimerId);
    Advance(40);
    EXPECT_TRUE(a.ranStages.empty());

    a.Ping();
    ASSERT_EQ(a.CancelSync(FALSE), kNoError);
    EXPECT_NE(a.RetryTimer(), kNoTimerId);
    EXPECT_FALSE(a.AnyLockTimer());
    Advance(30);  // the first back-off: the push run reconnects
    EXPECT_EQ(a.ranStages, std::vector<uint32_t>{kStageReconnectCheck});
}

// While a store is busy (a wipe) a cancel waits for the busy flag to clear.
TEST_F(EngineRunStartEndTest, ACancelWaitsForTheBusyFlag) {
    RunTestEngine &a = Add(kClientTagApplication);
    a.Hold(kRunKindUser);
    a.RunOpen() = 1;
    global->mode = 1;
    global->callbackFlag = true;
    ASSERT_EQ(a.CancelSync(FALSE), kNoError);
    EXPECT_EQ(global->mode, 0u);
    EXPECT_EQ(a.Step(), uint32_t(EActiveSyncStep_GetItemEstimateCmd));  // not ended yet
    global->SetCallbackFlag(false);
    EXPECT_TRUE(global->log.Has("DActiveSyncEngine::EngineBusyCleared()"));
    Pump();
    EXPECT_EQ(a.ranStages, std::vector<uint32_t>{kStageEndRun});
    EXPECT_EQ(a.Step(), uint32_t(EActiveSyncStep_None));
    EXPECT_EQ(global->prefs.GetSyncLockOwner(), 0u);
}

// The wipe order is a registry value: a restart finds it, the next run is
// a wipe whatever its mode, and its completion is told once.
TEST_F(EngineRunStartEndTest, AWipeOrderOutlivesARestartAndItsCompletionIsToldOnce) {
    global->prefs.SetRemoteWipeState(1);
    global = MakeGlobal();  // a restart
    RunTestEngine &a = Add(kClientTagApplication);
    EXPECT_EQ(global->prefs.GetRemoteWipeState(), 1);
    ASSERT_EQ(a.StartSync(kRunFlagEMail, 0, kLockModeYieldUnlessUser, kRunKindScheduled), kNoError);
    EXPECT_EQ(a.Mode(), kLockModeAskToYield);
    EXPECT_EQ(a.RunKind(), kRunKindUser);

    global->prefs.SetRemoteWipeState(7);
    ASSERT_EQ(a.EndRun(), kNoError);
    ASSERT_EQ(a.EndRun(), kNoError);
    EXPECT_EQ(std::count(ClientOf(0).responses.begin(), ClientOf(0).responses.end(), 30), 1);
    DWinMobCorvanePreferences fresh;
    EXPECT_EQ(fresh.GetRemoteWipeState(), 0);
}

// The order is stored as the policy answer arrives, before the
// acknowledgement that tells the server the wipe is under way goes out.
TEST_F(EngineRunStartEndTest, AWipeOrderIsStoredBeforeItIsAcknowledged) {
    RecordingClient client;
    ProvisionEngine engine;
    engine.SetDataManager(new WipeOrderingDataManager);
    ASSERT_EQ(engine.Initialize(global.get(), &client), kNoError);
    engine.Answered(EActiveSyncStep_ProvisionCmd);
    ASSERT_EQ(engine.ProcessCurrentCommandResponse(EActiveSyncStep_ProvisionCmd, 0), kNoError);
    DWinMobCorvanePreferences restarted;
    EXPECT_EQ(restarted.GetRemoteWipeState(), 1);
}

TEST_F(EngineRunStartEndTest, ASearchChecksItsArgumentsAndStartsInItsOwnStage) {
    RunTestEngine &a = Add(kClientTagAddressLookup);
    VString store = RunText("GAL");
    VString query = RunText("smith");
    VFile results;
    results.SetFileName(u"\\GALResults.dat");
    struct Case {
        VString *store;
        VString *query;
        int start;
        uint16_t range;
        VFile *results;
    };
    const Case refused[] = {{nullptr, &query, 0, 99, &results}, {&store, nullptr, 0, 99, &results},
                            {&store, &query, 0, 99, nullptr},   {&store, &query, 1, 99, &results},
                            {&store, &query, 0, 100, &results}};
    for (const Case &c : refused)
        EXPECT_EQ(a.StartSearch(c.store, c.query, c.start, c.range, c.results), generalErrInvalidParameter);
    EXPECT_TRUE(a.ranStages.empty());

    ASSERT_EQ(a.StartSearch(&store, &query, 0, 99, &results), kNoError);
    EXPECT_EQ(a.RunFlags(), kRunFlagSearch);
    EXPECT_EQ(a.Mode(), kLockModeAskToYield);
    EXPECT_EQ(a.SearchQuery().GetEncoding(), kVStringUTF8);
    EXPECT_EQ(a.SearchRange(), 99);
    Pump();
    EXPECT_EQ(a.ranStages, std::vector<uint32_t>{kStageSearchCheck});
}

TEST_F(EngineRunStartEndTest, AnUnknownTimerIsLoggedAndChangesNothing) {
    RunTestEngine &a = Add(kClientTagApplication);
    EXPECT_EQ(a.TimerCallback(4242, nullptr), kNoError);
    EXPECT_TRUE(global->log.Has("TimerCallback() - Bad timerID: "));
    EXPECT_TRUE(global->log.Has("!!!UNEXPECTED TIMER ID: "));
    EXPECT_TRUE(a.ranStages.empty());
    EXPECT_TRUE(ClientOf(0).errors.empty());
}

TEST_F(EngineRunStartEndTest, MinorStatusTextsFollowTheMajorText) {
    RunTestEngine &a = Add(kClientTagApplication);
    ASSERT_EQ(a.ReportMajorStatus(20), kNoError);
    EXPECT_EQ(LastStatus(), "[text 20]");
    struct Case {
        uint32_t total;
        uint32_t done;
        const char *text;
    };
    const Case received[] = {{10240, 3000, "[text 20] 3(10)KB"}, {0, 3000, "[text 20] 3KB"},
                             {0, 1024, "[text 20] 1KB"},         {0, 1025, "[text 20] 2KB"},
                             {0, 0, "[text 20] "},               {1, 0, "[text 20] 0(1)KB"}};
    for (const Case &c : received) {
        DHTTPProgressStatusRecieveData record(c.total, c.done);
        ASSERT_EQ(a.ReportMinorStatus(&record), kNoError);
        EXPECT_EQ(LastStatus(), c.text) << c.total << " " << c.done;
    }
    const Case progress[] = {{200, 50, "[text 20] 25%"}, {0, 5, "[text 20] "}, {3, 3, "[text 20] 100%"}};
    for (const Case &c : progress) {
        DProgressStatusData record(c.total, c.done);
        ASSERT_EQ(a.ReportMinorStatus(&record), kNoError);
        EXPECT_EQ(LastStatus(), c.text);
    }
    DAliveCounterStatusData alive;
    for (const char *dots : {"[text 20] .", "[text 20] ..", "[text 20] ...", "[text 20] ."}) {
        ASSERT_EQ(a.ReportMinorStatus(&alive), kNoError);
        EXPECT_EQ(LastStatus(), dots);
    }
    EXPECT_EQ(ClientOf(0).statuses.back(), kStatusTypeMinorText);
    DAliveStatusData other;
    EXPECT_EQ(a.ReportMinorStatus(&other), generalErrInvalidParameter);
}

TEST_F(EngineRunStartEndTest, TheIdleSummaryFollowsTheAccountTheLockAndTheLastRun) {
    RunTestEngine &a = Add(kClientTagApplication);
    RunTestEngine &b = Add(kClientTagTransport);
    auto summary = [&a] {
        VString text;
        EXPECT_EQ(a.GetStatusText(&text), kNoError);
        text.ConvertTo(kVStringWindows1252);
        return std::string(text.GetNarrowText() != nullptr ? text.GetNarrowText() : "");
    };
    const std::pair<WORD, const char *> byState[] = {
        {0, "[text 37]"}, {1, "[text 42]"}, {2, "[text 37]"}, {3, "[text 40]"},
        {4, "[text 41]"}, {5, "[text 38]"}, {6, "[text 37]"}, {7, "[text 1]"}};
    for (const auto &s : byState) {
        global->prefs.SetEngineState(s.first);
        EXPECT_EQ(summary(), s.second) << s.first;
    }
    b.Hold(kRunKindScheduled);
    EXPECT_EQ(summary(), "[text 36]");
    b.EndRun();

    a.RunFlags() = kRunFlagsAll & ~kRunFlagPush;
    ASSERT_EQ(a.StartRun(), kNoError);
    a.Step() = EActiveSyncStep_None;
    ASSERT_EQ(a.AcknowledgeCompletedSync(), kNoError);
    VString when;
    ASSERT_EQ(FormatCurrentLocalTime(&when), kNoError);
    EXPECT_EQ(summary(), std::string("[text 39]") + when.GetNarrowText());

    global->prefs.SetServer(RunText(""));
    global->prefs.SaveAll();
    EXPECT_EQ(summary(), "[text 35]");
    global->prefs.SetEngineState(0);
    EXPECT_EQ(summary(), "[text 34]");
}

}  // namespace
