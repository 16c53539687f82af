// An engine for the tests of a run's start and end, the sync lock and the
// status reports: its task records each stage it is asked to run (and ends
// the run in stage 5, as the real stage does), so that these tests see
// where the lock and the timers send a run without running the step machine.
// Also the fixture's account and clock: a device with an account, push off,
// on the virtual clock.
#ifndef VTEST_RUNTESTENGINE_H
#define VTEST_RUNTESTENGINE_H

#include <memory>
#include <string>
#include <vector>

#include "DActiveSyncEngine.h"
#include "EngineTestSupport.h"
#include "QvEngine/foundation/prefstestutil.h"
#include "TestDataManager.h"
#include "wintime.h"

class RunTestEngine : public DActiveSyncEngine {
public:
    using DActiveSyncEngine::AcknowledgeCompletedSync;
    using DActiveSyncEngine::EndRun;
    using DActiveSyncEngine::ReportMajorStatus;
    using DActiveSyncEngine::ReportMinorStatus;
    using DActiveSyncEngine::SetDataManager;
    using DActiveSyncEngine::StartRun;
    using DActiveSyncEngine::TimerCallback;

    std::vector<uint32_t> ranStages;

    DErrorCode RunTask() override {
        ranStages.push_back(m_taskStage);
        if (m_taskStage == kStageEndRun) EndRun();
        return kNoError;
    }
    // Holds the lock for a run of that kind with a step in hand.
    void Hold(uint32_t runKind, uint32_t step = EActiveSyncStep_GetItemEstimateCmd) {
        m_runKind = runKind;
        m_runFlags = kRunFlagsAll & ~kRunFlagPush;
        ASSERT_EQ(TakeSyncLock(kEngineStateSyncing), kNoError);
        m_currentStep = step;
        m_taskStage = kStagePerformStep;
    }
    // A push run whose Ping is out, polling for a yield request.
    void Ping() {
        m_runKind = kRunKindScheduled;
        m_runFlags = kRunFlagsAll;
        ASSERT_EQ(TakeSyncLock(kEngineStatePinging), kNoError);
        m_prefs->SetPushAvailable(1);
        m_currentStep = EActiveSyncStep_PingCmd;
        m_taskStage = kStagePerformStep;
        ASSERT_EQ(StartTimer(2000, &m_yieldPollTimer), kNoError);
    }
    bool Ran(uint32_t stage) const {
        for (uint32_t s : ranStages)
            if (s == stage) return true;
        return false;
    }
    uint32_t &Stage() { return m_taskStage; }
    uint32_t &Step() { return m_currentStep; }
    uint32_t &RunFlags() { return m_runFlags; }
    uint32_t Mode() const { return m_mode; }
    uint32_t RunKind() const { return m_runKind; }
    uint32_t Options() const { return m_options; }
    uint8_t &RunOpen() { return m_runOpen; }
    uint8_t &RetryScheduled() { return m_retryScheduled; }
    uint32_t LockWaitTimer() const { return m_lockWaitTimer; }
    uint32_t LockRefreshTimer() const { return m_lockRefreshTimer; }
    uint32_t YieldPollTimer() const { return m_yieldPollTimer; }
    uint32_t RetryTimer() const { return m_retryTimer; }
    bool AnyLockTimer() const {
        return m_lockWaitTimer != kNoTimerId || m_lockRefreshTimer != kNoTimerId || m_yieldPollTimer != kNoTimerId;
    }
    const VString &SearchQuery() const { return m_searchQuery; }
    uint16_t SearchRange() const { return m_searchRange; }
};

// One engine with its own client and test data manager over a global info.
struct RunTestClient {
    RunTestClient(EngineGlobal &global, uint32_t tag) {
        client.tag = tag;
        data = new TestDataManager;
        engine = std::make_unique<RunTestEngine>();
        engine->SetDataManager(data);
        EXPECT_EQ(engine->Initialize(&global, &client), kNoError);
    }
    RecordingClient client;
    TestDataManager *data;  // the engine's
    std::unique_ptr<RunTestEngine> engine;
};

// A device with an account, push off, on the virtual clock.
class RunDeviceTest : public PrefsDeviceTest {
protected:
    void SetUp() override {
        PrefsDeviceTest::SetUp();
        vplat::ClockUseVirtual(1000, 1700000000000);
        global = MakeGlobal();
    }
    void TearDown() override {
        clients.clear();
        other.reset();
        global.reset();
        vplat::ClockUseReal();
        PrefsDeviceTest::TearDown();
    }
    static std::unique_ptr<EngineGlobal> MakeGlobal() {
        auto g = std::make_unique<EngineGlobal>();
        ICorvanePreferences &prefs = g->prefs;
        prefs.SetServer(RunText("mail.example.com"));
        prefs.SetUser(RunText("alice"));
        prefs.SetPassword(RunText("secret1"));
        prefs.SetPeakPushSyncEnabled(0);
        prefs.SetOffPeakPushSyncEnabled(0);
        prefs.SaveAll();
        return g;
    }
    RunTestEngine &Add(uint32_t tag, EngineGlobal *over = nullptr) {
        clients.push_back(std::make_unique<RunTestClient>(over != nullptr ? *over : *global, tag));
        return *clients.back()->engine;
    }
    RecordingClient &ClientOf(size_t i) { return clients[i]->client; }
    // Moves the clock on in steps of a second, running the engines' thread.
    void Advance(uint32_t seconds) {
        for (uint32_t i = 0; i < seconds; ++i) {
            vplat::ClockAdvance(1000);
            Pump();
        }
    }
    void Pump() {
        PumpEngineUntil(*global, [] { return true; });
        if (other) PumpEngineUntil(*other, [] { return true; });
    }

    std::unique_ptr<EngineGlobal> global;
    std::unique_ptr<EngineGlobal> other;
    std::vector<std::unique_ptr<RunTestClient>> clients;
};

#endif
