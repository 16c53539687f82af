// The adaptive heartbeat and the retries of a push run. The heartbeat (how
// long the server holds a Ping) grows after many completed Pings and falls
// back to the last good one when a Ping is cut off; a cut-off Ping is retried
// once the minimum heartbeat has passed since it was sent. A push run that
// lost its connection retries with a growing back-off. Durations run on the
// platform's monotonic tick count, never on local wall-clock time.
#include "DActiveSyncEngine.h"
#include "DHTTPTransaction.h"
#include "ICorvanePreferences.h"
#include "ILogProvider.h"
#include "wintime.h"

namespace {

// Completed Pings at one heartbeat before it grows (an account reset starts
// the count here, so the first completed Ping already raises it).
constexpr WORD kPingsBeforeIncrease = 30;
constexpr uint32_t kMinimumRetrySeconds = 10;
constexpr uint32_t kFirstBackOffMs = 30000;
constexpr uint32_t kMaxBackOffMs = 1800000;
// Failures of one type's Sync at which the back-off is no longer reset.
constexpr uint16_t kFailuresKeepingBackOff = 5;

void LogTextNumber(ILogProvider *logger, const char *text, int32_t value) {
    if (logger == nullptr) return;
    logger->WriteString(text, 1, kLogAllCategories);
    logger->WriteNumber(value, 1, kLogAllCategories);
    logger->NewLine(1, kLogAllCategories);
}

// Codes that say nothing about the heartbeat: the server refused, the
// request could not be made, or the run failed for a reason of its own.
bool LeavesHeartbeat(DErrorCode code) {
    switch (code) {
    case internetConnectErrTimedOut:
    case internetConnectSSLError:
    case internetConnectFlightMode:
    case internetConnectNetUnavailable:
    case internetConnectPhoneCallActive:
    case httpErrServerConnectFailed:
    case httpErrTransactionNotSupported:
    case activeSyncErrPolicyStatusError:
    case activeSyncErrPushLocalChangeError:
    case activeSyncErrSearchPrefsNotReady:
    case 0x07370D10:  // a search refused during a wipe
    case activeSyncErrSearchFirstTimeSync:
    case activeSyncErrOutOfStorageSpace:
    case ASDataManagerErrBadStatus:
    case ASDataManagerErrNoPushTypeSpecified:
        return true;
    default:
        return false;
    }
}

// HTTP statuses of a failed Ping that are the server's answer, not a cut.
bool IsServerRefusal(uint32_t status) {
    switch (status) {
    case 401: case 403: case 405: case 500: case 503: case 507:
        return true;
    default:
        return false;
    }
}

}  // namespace

DErrorCode DActiveSyncEngine::SuccessfulHeartbeat() {
    if (m_prefs == nullptr) return generalErrNotInitialized;
    m_pingStartTime = GetTickCount();
    m_retryScheduled = 0;
    LogText("Successful Heartbeat\n");
    DErrorCode err = m_prefs->SetLastGoodHeartBeat(WORD(m_prefs->GetQVHeartbeat()));
    const WORD count = WORD(m_prefs->GetPingCounter() + 1);
    if (err == kNoError) err = m_prefs->SetPingCounter(count);
    LogTextNumber(m_logger, "Completed Ping Cycles:", count);
    if (err == kNoError && count > kPingsBeforeIncrease) {
        err = IncreaseHeartbeat();
        m_emptyPing = 0;
    }
    return err;
}

DErrorCode DActiveSyncEngine::IncreaseHeartbeat() {
    if (m_prefs == nullptr) return generalErrNotInitialized;
    const int16_t n = int16_t(uint16_t(m_prefs->GetPingCounter() - kPingsBeforeIncrease));
    uint32_t step = 0;
    if (n == 1) step = 30;
    else if (n == 2) step = 60;
    else if (n == 3) step = 120;
    else if (n == 4) step = 180;
    else if (n >= 5) step = 240;
    const uint32_t maximum = m_prefs->GetMaximumHeartBeat();
    uint32_t heartbeat = m_prefs->GetQVHeartbeat() + step;
    if (heartbeat >= maximum) heartbeat = maximum;
    DErrorCode err = m_prefs->SetQVHeartbeat(heartbeat);
    LogTextNumber(m_logger, "Increasing Heartbeat: ", int32_t(heartbeat));
    return err;
}

// From the error report while push is enabled: a Ping that was cut off
// (rather than refused) lowers the heartbeat and is retried.
DErrorCode DActiveSyncEngine::AdaptiveHeartBeatInterrupted(DErrorCode code) {
    m_retryScheduled = 0;
    if (m_prefs == nullptr || m_prefs->GetEngineState() != kEngineStatePinging) return kNoError;
    if (code == activeSyncErrTransactionFailed &&
        (m_currentTransaction == nullptr || IsServerRefusal(m_currentTransaction->GetStatusCode())))
        return kNoError;
    if (LeavesHeartbeat(code)) return kNoError;
    LogTextCode("AdaptiveHeartBeatInterrupted(): ", code);
    DecreaseHeartbeat();
    return AdaptiveScheduleNextPingAttempt();
}

DErrorCode DActiveSyncEngine::DecreaseHeartbeat() {
    if (m_prefs == nullptr) return generalErrNotInitialized;
    DErrorCode err = m_prefs->SetPingCounter(0);
    const WORD lastGood = m_prefs->GetLastGoodHeartBeat();
    if (lastGood != 0) {
        LogTextNumber(m_logger, "Decreasing heartbeat to: ", lastGood);
        if (err == kNoError) err = m_prefs->SetQVHeartbeat(lastGood);
        if (err == kNoError) err = m_prefs->SetLastGoodHeartBeat(m_prefs->GetMinimumHeartBeat());
    } else {
        const WORD minimum = m_prefs->GetMinimumHeartBeat();
        LogTextNumber(m_logger, "Decreasing heartbeat to Minimum Heartbeat: ", minimum);
        if (err == kNoError) err = m_prefs->SetQVHeartbeat(minimum);
    }
    return err;
}

// The retry waits until the minimum heartbeat has passed since the Ping was
// sent, and at least 10 s.
DErrorCode DActiveSyncEngine::AdaptiveScheduleNextPingAttempt() {
    if (m_prefs == nullptr) return generalErrNotInitialized;
    // Unsigned difference of two tick counts: right across the wrap.
    const DWORD elapsedMs = DWORD(GetTickCount() - DWORD(m_pingStartTime));
    const uint32_t duration = elapsedMs / 1000;
    LogTextNumber(m_logger, "Duration of Last Heartbeat:", int32_t(duration));
    const uint32_t minimum = m_prefs->GetMinimumHeartBeat();
    const uint32_t delay =
        minimum > duration && minimum - duration >= kMinimumRetrySeconds ? minimum - duration : kMinimumRetrySeconds;
    m_nextAttempt = delay;
    DErrorCode err = StartRetryTimer(delay * 1000);
    if (err != kNoError) {
        LogTextCode("AdaptiveScheduleNextPingAttempt Exit:", err);
        return err;
    }
    m_retryScheduled = 1;
    return kNoError;
}

// With a delay the timer waits that long; with kNoTimerId it takes the
// back-off's next delay: 30 s, then tripled at every second retry, at most
// 30 minutes.
DErrorCode DActiveSyncEngine::StartRetryTimer(uint32_t delayMs) {
    StopRetryTimer();
    if (delayMs != kNoTimerId) {
        m_backOffDelay = delayMs;
    } else {
        if (m_backOffDelay == 0) m_backOffDelay = kFirstBackOffMs;
        if (m_backOffCount % 2 == 1) m_backOffDelay = m_backOffDelay > kMaxBackOffMs / 3 ? kMaxBackOffMs : m_backOffDelay * 3;
        ++m_backOffCount;
        if (m_backOffDelay > kMaxBackOffMs) m_backOffDelay = kMaxBackOffMs;
    }
    return StartTimer(m_backOffDelay, &m_retryTimer);
}

void DActiveSyncEngine::ResetBackOff() {
    if (m_emailFailures >= kFailuresKeepingBackOff || m_calendarFailures >= kFailuresKeepingBackOff ||
        m_contactsFailures >= kFailuresKeepingBackOff || m_tasksFailures >= kFailuresKeepingBackOff)
        return;
    m_backOffDelay = 0;
    m_backOffCount = 0;
}

// The retry timer expired: reconnect push (stage 16 checks the connection,
// 17 restarts the run) unless a run is under way; without push the run ends.
DErrorCode DActiveSyncEngine::RetryTimerFired() {
    m_retryTimer = kNoTimerId;
    if (m_prefs == nullptr) return generalErrNotInitialized;
    const WORD state = m_prefs->GetEngineState();
    const bool push = IsPushEnabledNow();
    if (push && state != kEngineStateSyncing && state != kEngineStatePinging) {
        m_taskStage = kStageReconnectCheck;
        m_mode = kLockModeWait;
        bool proceed = false;
        DErrorCode err = ApplyLockRule(&proceed);
        if (err != kNoError) return err;
        if (IsActive()) return kNoError;
        // Held by another client: the task waits for the lock wait's signal.
        return proceed ? ActivateAndSignal() : Activate();
    }
    if (push) return StartRetryTimer(kNoTimerId);
    m_prefs->SetEngineState(kEngineStateCompleted);
    m_taskStage = kStageEndRun;
    return IsActive() ? kNoError : ActivateAndSignal();
}
