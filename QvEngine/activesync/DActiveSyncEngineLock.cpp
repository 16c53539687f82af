// The sync lock: which client's run holds the account, kept in the
// preferences object that the engines of one global info share. A run that
// finds it held waits, asks the holder to yield, or gives up, by its mode.
//
// The lock time is universal time: ages are compared across a change of the
// device's daylight time (or time zone) without a jump of an hour.
#include "DActiveSyncEngine.h"
#include "DateTimeArith.h"
#include "DateTimeConvert.h"
#include "ICorvanePreferences.h"
#include "TimeRecord.h"

namespace {

constexpr uint32_t kLockWaitMs = 10000;
constexpr uint32_t kYieldPollMs = 2000;
constexpr int32_t kLockAgeLimitSeconds = 300;
constexpr int32_t kPingLockMarginSeconds = 60;  // a Ping holds the lock for its heartbeat and this much more

}  // namespace

bool DActiveSyncEngine::IsPinging() {
    return m_prefs != nullptr && m_prefs->GetPushAvailable() != 0 &&
           m_prefs->GetEngineState() == kEngineStatePinging;
}

bool DActiveSyncEngine::IsOwnStepInHand() {
    return m_prefs != nullptr && m_client != nullptr && m_currentStep != EActiveSyncStep_None &&
           m_prefs->GetSyncLockOwner() == m_client->ActiveSync_GetClientID();
}

DErrorCode DActiveSyncEngine::IsLockHeldByOther(bool *held) {
    if (held == nullptr) return generalErrInvalidParameter;
    *held = false;
    if (m_prefs == nullptr || m_client == nullptr) return generalErrNotInitialized;
    const DWORD owner = m_prefs->GetSyncLockOwner();
    if (owner == 0) return kNoError;
    if (owner == m_client->ActiveSync_GetClientID())
        return m_currentStep != EActiveSyncStep_None ? activeSyncErrAlreadyActive : kNoError;
    const struct tm taken = m_prefs->GetSyncLockTime();
    if (IsTimeRecordEmpty(&taken)) return kNoError;
    const int32_t limit =
        IsPinging() ? int32_t(m_prefs->GetQVHeartbeat()) + kPingLockMarginSeconds : kLockAgeLimitSeconds;
    struct tm now = {};
    int32_t age = 0;
    // A lock whose age cannot be told is taken as stale rather than held for ever.
    if (GetUniversalDateTime(&now) != kNoError || DateTimeDiffSeconds(&taken, &now, &age) != kNoError)
        return kNoError;
    // A clock set back makes the age negative: that far back counts as old too.
    *held = age < limit && age > -limit;
    return kNoError;
}

DErrorCode DActiveSyncEngine::ApplyLockRule(bool *proceed) {
    if (proceed == nullptr) return generalErrInvalidParameter;
    *proceed = false;
    if (m_prefs == nullptr) return generalErrNotInitialized;
    if (IsPinging()) {
        if ((m_runFlags & kRunFlagPush) == 0) {
            m_prefs->SetYieldRequest(1);
            m_taskStage = kStageLockWait;
            return BeginLockWait();
        }
        // A push run replaces the push run in hand.
        Deactivate();
        EndRun();
        StopRetryTimer();
        m_taskStage = kStageStart;
        m_prefs->SetEngineState(kEngineStateCompleted);
        *proceed = true;
        return kNoError;
    }
    bool held = false;
    DErrorCode err = IsLockHeldByOther(&held);
    if (err != kNoError) return err;
    if (!held) {
        *proceed = true;
        return kNoError;
    }
    switch (m_mode) {
    case kLockModeWait:
        m_taskStage = kStageLockWait;
        return BeginLockWait();
    case kLockModeYieldUnlessUser:
        if (m_prefs->GetLockHolderRunKind() == kRunKindUser) return activeSyncErrAnotherActive;
        // A scheduled or push run is asked to yield.
        [[fallthrough]];
    case kLockModeAskToYield:
        m_prefs->SetYieldRequest(1);
        m_taskStage = kStageLockWait;
        return BeginLockWait();
    default:
        return activeSyncErrAnotherActive;
    }
}

DErrorCode DActiveSyncEngine::BeginLockWait() {
    // Active but not signalled: nothing runs until the lock wait signals.
    if (!IsActive()) Activate();
    DErrorCode err = LockWait();
    if (err != kNoError && IsActive()) {
        // Nothing to wait for: the reset must not end a run that never began.
        m_runOpen = 0;
        Deactivate();
    }
    return err;
}

DErrorCode DActiveSyncEngine::LockWait() {
    if (m_prefs == nullptr) return generalErrNotInitialized;
    bool held = false;
    DErrorCode err = IsLockHeldByOther(&held);
    if (err != kNoError) return err;
    if (held) {
        if (m_prefs->GetEngineState() == kEngineStatePinging) m_prefs->SetYieldRequest(1);
        return StartTimer(kLockWaitMs, &m_lockWaitTimer);
    }
    bool account = false;
    err = m_prefs->HasAccountSettings(&account);
    if (err != kNoError) return err;
    if (!account) return activeSyncErrTransactionFailed;
    // The task goes on in its waiting stage (remote-wipe and connection checks).
    if (IsActive()) GetSignal()->Signal(kNoError);
    else ActivateAndSignal();
    return kNoError;
}

DErrorCode DActiveSyncEngine::YieldPoll() {
    if (m_prefs == nullptr || m_client == nullptr) return generalErrNotInitialized;
    const bool owner = m_prefs->GetSyncLockOwner() == m_client->ActiveSync_GetClientID();
    const bool pushPing = m_prefs->GetEngineState() == kEngineStatePinging && (m_runFlags & kRunFlagPush) != 0;
    if ((owner || pushPing) && m_prefs->GetYieldRequest() != 0 && m_taskStage != kStageEndRun && !IsActive()) {
        // The run waits for a response (a Ping): it ends and frees the account.
        m_prefs->SetEngineState(kEngineStateCompleted);
        m_taskStage = kStageEndRun;
        return ActivateAndSignal();
    }
    // The poll lives as long as the run.
    return m_runOpen ? StartTimer(kYieldPollMs, &m_yieldPollTimer) : kNoError;
}

DErrorCode DActiveSyncEngine::TakeSyncLock(uint16_t engineState) {
    if (m_prefs == nullptr || m_client == nullptr) return generalErrNotInitialized;
    struct tm now = {};
    DErrorCode err = GetUniversalDateTime(&now);
    if (err != kNoError) return err;
    m_prefs->SetEngineState(engineState);
    m_prefs->SetYieldRequest(0);
    m_prefs->SetSyncLockOwner(m_client->ActiveSync_GetClientID());
    m_prefs->SetLockHolderRunKind(WORD(m_runKind));
    m_prefs->SetSyncLockTime(now);
    m_runOpen = 1;
    return kNoError;
}

void DActiveSyncEngine::ReleaseSyncLock() {
    if (m_prefs == nullptr) return;
    m_prefs->SetSyncLockOwner(0);
    m_prefs->SetSyncLockTime(tm{});
    m_prefs->SetYieldRequest(0);
}

// Every 180 s while the run holds the lock; a lock another client has taken
// over (this one went stale) is not refreshed for it.
DErrorCode DActiveSyncEngine::RefreshSyncLock() {
    if (m_prefs == nullptr || m_client == nullptr) return generalErrNotInitialized;
    if (m_prefs->GetSyncLockOwner() != m_client->ActiveSync_GetClientID()) return kNoError;
    struct tm now = {};
    DErrorCode err = GetUniversalDateTime(&now);
    if (err == kNoError) err = m_prefs->SetSyncLockTime(now);
    if (err == kNoError) err = StartTimer(kLockRefreshMs, &m_lockRefreshTimer);
    return err;
}
