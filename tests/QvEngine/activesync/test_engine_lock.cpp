// The sync lock between engines that share one global info: a second run of
// the same client, the modes that wait, ask to yield or give up, a Ping that
// yields within its poll, a stale lock, a daylight-saving change, and
// engines over another global info that never see the lock.
#include <gtest/gtest.h>

#include "RunTestEngine.h"

namespace {

class EngineLockTest : public RunDeviceTest {};

TEST_F(EngineLockTest, TheSameClientWithAStepInHandIsRefusedAndItsRunGoesOnUntouched) {
    RunTestEngine &a = Add(kClientTagApplication);
    a.Hold(kRunKindUser);
    const uint32_t flags = a.RunFlags();
    EXPECT_EQ(a.StartSync(kRunFlagsAll, 0, kLockModeWait, kRunKindUser), activeSyncErrAlreadyActive);
    EXPECT_EQ(a.RunFlags(), flags);
    EXPECT_EQ(a.Stage(), uint32_t(kStagePerformStep));
    EXPECT_EQ(a.Step(), uint32_t(EActiveSyncStep_GetItemEstimateCmd));
    EXPECT_EQ(global->prefs.GetSyncLockOwner(), kClientTagApplication);
}

TEST_F(EngineLockTest, ModeTwoGivesUpBehindAUserRunAndAsksAScheduledRunToYield) {
    RunTestEngine &a = Add(kClientTagApplication);
    RunTestEngine &b = Add(kClientTagTransport);
    a.Hold(kRunKindUser);
    EXPECT_EQ(b.StartSync(kRunFlagEMail, 0, kLockModeYieldUnlessUser, kRunKindUser), activeSyncErrAnotherActive);
    EXPECT_EQ(global->prefs.GetYieldRequest(), 0);

    a.Hold(kRunKindScheduled);
    ASSERT_EQ(b.StartSync(kRunFlagEMail, 0, kLockModeYieldUnlessUser, kRunKindUser), kNoError);
    EXPECT_EQ(global->prefs.GetYieldRequest(), 1);
    EXPECT_EQ(b.Stage(), uint32_t(kStageLockWait));
    EXPECT_NE(b.LockWaitTimer(), kNoTimerId);
    Pump();
    EXPECT_TRUE(b.ranStages.empty());  // waits: its task is not signalled
}

TEST_F(EngineLockTest, ModeOneWaitsInTenSecondStepsAndStartsAfterTheHolderEnds) {
    RunTestEngine &a = Add(kClientTagApplication);
    RunTestEngine &b = Add(kClientTagTransport);
    a.Hold(kRunKindUser);
    ASSERT_EQ(b.StartSync(kRunFlagsAll, 0, kLockModeWait, kRunKindUser), kNoError);
    EXPECT_EQ(global->prefs.GetYieldRequest(), 0);  // mode 1 asks nobody
    Advance(25);
    EXPECT_TRUE(b.ranStages.empty());

    ASSERT_EQ(a.EndRun(), kNoError);
    EXPECT_EQ(global->prefs.GetSyncLockOwner(), 0u);
    Advance(4);  // the lock waits fire at 10, 20, 30 s
    EXPECT_TRUE(b.ranStages.empty());
    Advance(1);
    EXPECT_EQ(b.ranStages, std::vector<uint32_t>{kStageLockWait});
    EXPECT_EQ(b.LockWaitTimer(), kNoTimerId);
}

TEST_F(EngineLockTest, APingYieldsAtItsNextPollAndTheWaiterStartsAtItsNextLockWait) {
    RunTestEngine &a = Add(kClientTagApplication);
    RunTestEngine &b = Add(kClientTagTransport);
    a.Ping();
    ASSERT_EQ(b.StartSync(kRunFlagEMail, 0, kLockModeWait, kRunKindUser), kNoError);
    EXPECT_EQ(global->prefs.GetYieldRequest(), 1);

    Advance(2);
    EXPECT_EQ(a.ranStages, std::vector<uint32_t>{kStageEndRun});
    EXPECT_EQ(global->prefs.GetSyncLockOwner(), 0u);
    EXPECT_FALSE(a.AnyLockTimer());
    EXPECT_TRUE(b.ranStages.empty());

    Advance(8);
    EXPECT_EQ(b.ranStages, std::vector<uint32_t>{kStageLockWait});
}

TEST_F(EngineLockTest, AnEngineOverAnotherGlobalInfoIgnoresTheLock) {
    RunTestEngine &a = Add(kClientTagApplication);
    a.Hold(kRunKindUser);
    other = std::make_unique<EngineGlobal>(u"\\OtherFolderInfo.brw");
    RunTestEngine &c = Add(kClientTagTransport, other.get());
    ASSERT_EQ(c.StartSync(kRunFlagEMail, 0, kLockModeYieldUnlessUser, kRunKindUser), kNoError);
    Pump();
    EXPECT_EQ(c.ranStages, std::vector<uint32_t>{kStageStart});
    EXPECT_EQ(global->prefs.GetYieldRequest(), 0);
}

TEST_F(EngineLockTest, ALockOlderThanItsAgeLimitNoLongerCounts) {
    RunTestEngine &a = Add(kClientTagApplication);
    RunTestEngine &b = Add(kClientTagTransport);
    a.Hold(kRunKindUser);
    Advance(299);
    EXPECT_EQ(b.StartSync(kRunFlagEMail, 0, kLockModeYieldUnlessUser, kRunKindUser), activeSyncErrAnotherActive);
    Advance(1);
    EXPECT_EQ(b.StartSync(kRunFlagEMail, 0, kLockModeYieldUnlessUser, kRunKindUser), kNoError);
    EXPECT_EQ(b.Stage(), uint32_t(kStageStart));
}

// While a Ping is out the lock lasts the heartbeat and a minute.
TEST_F(EngineLockTest, APingHoldsTheLockForItsHeartbeatAndAMinute) {
    RunTestEngine &a = Add(kClientTagApplication);
    RunTestEngine &b = Add(kClientTagTransport);
    global->prefs.SetQVHeartbeat(540);
    a.Ping();
    a.Stage() = kStageEndRun;  // its poll then leaves the run alone
    ASSERT_EQ(b.StartSync(kRunFlagEMail, 0, kLockModeWait, kRunKindUser), kNoError);
    Advance(590);
    EXPECT_TRUE(b.ranStages.empty());
    Advance(10);
    EXPECT_EQ(b.ranStages, std::vector<uint32_t>{kStageLockWait});
}

// A push run started while a Ping is out ends that push run and goes on.
TEST_F(EngineLockTest, APushRunTakesOverFromAPing) {
    RunTestEngine &a = Add(kClientTagApplication);
    a.Ping();
    ASSERT_EQ(a.StartSync(kRunFlagsAll, 0, kLockModeWait, kRunKindScheduled), kNoError);
    EXPECT_EQ(a.Stage(), uint32_t(kStageStart));
    EXPECT_EQ(global->prefs.GetEngineState(), kEngineStateCompleted);
    EXPECT_EQ(global->prefs.GetSyncLockOwner(), 0u);
    EXPECT_EQ(a.YieldPollTimer(), kNoTimerId);
    Pump();
    EXPECT_EQ(a.ranStages, std::vector<uint32_t>{kStageStart});
}

// The lock's age is counted in universal time: a local clock that jumps an
// hour at the start of daylight time does not make a fresh lock stale.
TEST_F(EngineLockTest, ADaylightSavingChangeDoesNotAgeTheLock) {
    TIME_ZONE_INFORMATION tz = {};
    tz.DaylightBias = -60;
    tz.DaylightDate.wMonth = 3;  // last Sunday of March, 01:00
    tz.DaylightDate.wDay = 5;
    tz.DaylightDate.wHour = 1;
    tz.StandardDate.wMonth = 10;  // last Sunday of October, 02:00
    tz.StandardDate.wDay = 5;
    tz.StandardDate.wHour = 2;
    ASSERT_TRUE(SetTimeZoneInformation(&tz));
    vplat::ClockUseVirtual(5000, 1711846740000);  // 2024-03-31 00:59:00 UTC
    RunTestEngine &a = Add(kClientTagApplication);
    RunTestEngine &b = Add(kClientTagTransport);
    a.Hold(kRunKindUser);
    Advance(120);
    EXPECT_EQ(b.StartSync(kRunFlagEMail, 0, kLockModeYieldUnlessUser, kRunKindUser), activeSyncErrAnotherActive);
}

TEST_F(EngineLockTest, ALockWaitWithoutAnAccountFailsThroughTheErrorReport) {
    RunTestEngine &a = Add(kClientTagApplication);
    RunTestEngine &b = Add(kClientTagTransport);
    a.Hold(kRunKindUser);
    ASSERT_EQ(b.StartSync(kRunFlagsAll, 0, kLockModeWait, kRunKindUser), kNoError);
    a.EndRun();
    global->prefs.SetServer(RunText(""));
    global->prefs.SaveAll();
    Advance(10);
    EXPECT_TRUE(ClientOf(1).Got(activeSyncErrTransactionFailed));
    EXPECT_FALSE(b.Ran(kStageLockWait));
}

}  // namespace
