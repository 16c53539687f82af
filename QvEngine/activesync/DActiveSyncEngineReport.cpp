// The engine's error report: the one place where every error of a run ends.
// It ends the run (task stage 5), lets the heartbeat learn of an interrupted
// push, maps the code to its log texts and engine state, takes push off
// where reconnecting would only fail again, and reports the code to the
// client unless a Ping retry is already scheduled. It never fails outward.
#include <cstdio>
#include <string>

#include "DActiveSyncEngine.h"
#include "DHTTPTransaction.h"
#include "DateTimeText.h"
#include "ErrorNames.h"
#include "ICorvanePreferences.h"
#include "ILogProvider.h"
#include "IResourceManager.h"
#include "LastErrorText.h"
#include "winuser.h"

namespace {

constexpr uint32_t kServerBusyBackOffMs = 300000;  // 503, 507 and refused Syncs wait five minutes
constexpr DErrorCode kSearchRefusedDuringWipe = 0x07370D10;  // a search asked for while the device is wiped

// Network codes that a push run answers with a reconnection rather than a
// plain failure.
bool IsPushNetworkError(DErrorCode code) {
    switch (code) {
    case internetConnectErrConnectionLost:
    case internetConnectErrTimedOut:
    case internetConnectFlightMode:
    case internetConnectNetUnavailable:
    case internetConnectPhoneCallActive:
    case internetConnectWifiConnectionFailed:
    case httpErrTransactionTimedOut:
        return true;
    default:
        return false;
    }
}

bool IsEMailStep(uint32_t step) {
    return step == EActiveSyncStep_FirstEMailSyncCmd || step == EActiveSyncStep_EMailSyncCmd;
}
bool IsCalendarStep(uint32_t step) {
    return step == EActiveSyncStep_FirstCalendarSyncCmd || step == EActiveSyncStep_CalendarSyncCmd;
}
bool IsContactsStep(uint32_t step) {
    return step == EActiveSyncStep_FirstContactsSyncCmd || step == EActiveSyncStep_ContactsSyncCmd;
}
bool IsTasksStep(uint32_t step) {
    return step == EActiveSyncStep_FirstTasksSyncCmd || step == EActiveSyncStep_TasksSyncCmd;
}

}  // namespace

DErrorCode DActiveSyncEngine::ProcessErrorBeforeReporting(DErrorCode *code) {
    if (!(IsActive() && m_taskStage == kStageEndRun)) {
        if (IsActive()) Deactivate();
        m_taskStage = kStageEndRun;
        ActivateAndSignal();
    }
    if (!IsPushEnabledNow()) return kNoError;
    AdaptiveHeartBeatInterrupted(*code);
    if (!m_retryScheduled && IsPushNetworkError(*code)) {
        LogTextCode("ProcessErrorBeforeReporting() err : ", *code);
        *code = activeSyncErrPingSyncInterrupted;
    }
    m_backOffDelay = 0;
    m_backOffCount = 0;
    return kNoError;
}

uint32_t DActiveSyncEngine::ErrorTextForCode(DErrorCode code, bool *pushOff) {
    *pushOff = false;
    switch (code) {
    case internetConnectErrConnectionLost: return 48;
    case internetConnectErrTimedOut: return 45;
    case internetConnectSSLError: *pushOff = true; return 49;
    case internetConnectPhoneCallActive: return 11;
    case internetConnectNoConnection: return 6;
    case httpErrServerConnectFailed: return 47;
    case httpErrTransactionTimedOut: return 46;
    case httpErrTransactionDisconnected: return 0;
    case httpErrTransactionNotSupported: return 110;
    case activeSyncErrPolicyStatusError: *pushOff = true; return 56;
    case activeSyncErrPushLocalChangeError: *pushOff = true; return 17;
    case activeSyncErrNoDataTypeSetToSync:
    case ASDataManagerErrNoPushTypeSpecified: *pushOff = true; return 16;
    case activeSyncErrSearchPrefsNotReady: *pushOff = true; return 9;
    case kSearchRefusedDuringWipe: *pushOff = true; return 0;
    case activeSyncErrSearchFirstTimeSync: *pushOff = true; return 10;
    case activeSyncErrOutOfStorageSpace: return 8;
    case activeSyncErrTransactionFailed: {
        if (m_currentTransaction == nullptr) {
            *pushOff = true;
            return 54;
        }
        const uint32_t status = m_currentTransaction->GetStatusCode();
        switch (status) {
        case 408: case 500: case 503: case 504: return 54;
        case 507: return 53;
        case 401: *pushOff = !m_retryScheduled; return 50;
        case 403: *pushOff = !m_retryScheduled; return 51;
        case 405: *pushOff = !m_retryScheduled; return 52;
        default: *pushOff = !m_retryScheduled; return 54;
        }
    }
    case ASDataManagerErrBadStatus: {
        const uint32_t step = m_currentStep;
        if (IsEMailStep(step) || step == EActiveSyncStep_EMailSendCmd || step == EActiveSyncStep_EMailSmartSendCmd ||
            step == EActiveSyncStep_EMailGetAttachmentCmd)
            return 13;
        if (IsCalendarStep(step)) return 14;
        if (IsContactsStep(step)) return 15;
        if (IsTasksStep(step)) return 114;
        return 55;
    }
    default: return 54;
    }
}

// The log's code line: the program's codes with their name, others with the
// platform's text of the last system error.
static void LogErrorCodeLine(ILogProvider *logger, const char *method, DErrorCode code) {
    if (logger == nullptr) return;
    char line[160];
    snprintf(line, sizeof line, "%s -  ERROR: 0x%08X", method != nullptr ? method : "DActiveSyncEngine",
             unsigned(code));
    std::string text = line;
    if ((code & 0xFFFF0000u) == 0x07370000u) {
        char name[kErrorNameBufferSize];
        GetActiveSyncErrorName(name, unsigned(code));
        text += std::string(" (") + name + ")\n";
        logger->WriteString(text.c_str(), 1, kLogAllCategories);
        return;
    }
    text += "\n";
    logger->WriteString(text.c_str(), 1, kLogAllCategories);
    VString platform;
    if (FormatLastErrorText("DActiveSyncEngine::ReportError()", &platform) == kNoError) {
        logger->WriteVString(platform, 1, kLogAllCategories);
        logger->NewLine(1, kLogAllCategories);
    }
}

DErrorCode DActiveSyncEngine::ReportError(DErrorCode code, VString *detail, const char *method) {
    // A cancel has ended its run already: no second end, no report.
    if (code == generalErrCanceled) return kNoError;
    ProcessErrorBeforeReporting(&code);

    if (code == activeSyncErrPingSyncInterrupted) {
        if (m_prefs != nullptr) m_prefs->SetEngineState(kEngineStatePushInterrupted);
        LogResourceText(44);
        ReportMajorStatus(1);
        LogSeparator();
    } else {
        if (m_prefs != nullptr) m_prefs->SetEngineState(kEngineStateFailed);
        if (code == ASDataManagerErrBadStatus) LogResourceText(12);
        bool pushOff = false;
        const uint32_t textId = ErrorTextForCode(code, &pushOff);
        if (textId != 0) LogResourceText(textId);
        if (pushOff) m_runFlags &= ~kRunFlagPush;
        if (ErrorNeedsServerBackOff(code) && m_backOffDelay == 0) m_backOffDelay = kServerBusyBackOffMs;

        LogText("\n");
        if (!m_retryScheduled) ReportMajorStatus(40);
        LogErrorCodeLine(m_logger, method, code);
        LogResourceText(57);
        VString now;
        if (FormatCurrentLocalTime(&now) == kNoError && m_logger != nullptr) {
            m_logger->WriteVString(now, 1, kLogAllCategories);
            m_logger->NewLine(1, kLogAllCategories);
        }
        if (m_retryScheduled) {
            LogRetryText();
            code = kNoError;
        }
        LogSeparator();
    }

    if (IsPushEnabledNow()) {
        if (IsEMailStep(m_currentStep)) ++m_emailFailures;
        else if (IsCalendarStep(m_currentStep)) ++m_calendarFailures;
        else if (IsContactsStep(m_currentStep)) ++m_contactsFailures;
        else if (IsTasksStep(m_currentStep)) ++m_tasksFailures;
    }
    // A run the user started learns why it could not connect.
    if (m_runKind == kRunKindUser && (code == internetConnectFlightMode || code == internetConnectNoConnection))
        ShowConnectionMessage(code == internetConnectFlightMode ? 2 : 5);
    if (code != kNoError) {
        m_lastResult = code;
        if (m_client != nullptr) m_client->ActiveSync_ReportError(code, detail);
    }
    return kNoError;
}

bool DActiveSyncEngine::ErrorNeedsServerBackOff(DErrorCode code) const {
    if (code == activeSyncErrTransactionFailed) {
        if (m_currentTransaction == nullptr) return false;
        const uint32_t status = m_currentTransaction->GetStatusCode();
        return status == 503 || status == 507;
    }
    if (code != ASDataManagerErrBadStatus) return false;
    return IsEMailStep(m_currentStep) || IsCalendarStep(m_currentStep) || IsContactsStep(m_currentStep) ||
           IsTasksStep(m_currentStep);
}

// Resource text 123 with its "%" replaced by the seconds until the retry.
void DActiveSyncEngine::LogRetryText() {
    IResourceManager *strings = m_global != nullptr ? m_global->GetResourceManager() : nullptr;
    if (m_logger == nullptr || strings == nullptr) return;
    VString *text = nullptr;
    if (strings->GetString(123, &text) == kNoError && text != nullptr &&
        text->ConvertTo(kVStringWindows1252) == kNoError && text->GetNarrowText() != nullptr) {
        std::string line = text->GetNarrowText();
        const size_t at = line.find('%');
        if (at != std::string::npos) line.replace(at, 1, std::to_string(m_nextAttempt));
        m_logger->WriteString(line.c_str(), 1, kLogAllCategories);
    }
    delete text;
}

// Resource text first is the message's title; the next two make its text.
void DActiveSyncEngine::ShowConnectionMessage(uint32_t first) {
    IResourceManager *strings = m_global != nullptr ? m_global->GetResourceManager() : nullptr;
    if (strings == nullptr) return;
    std::u16string parts[3];
    for (uint32_t i = 0; i < 3; ++i) {
        VString *text = nullptr;
        if (strings->GetString(UINT(first + i), &text) == kNoError && text != nullptr &&
            text->ConvertTo(kVStringUTF16LE) == kNoError && text->GetWideText() != nullptr)
            parts[i] = reinterpret_cast<const char16_t *>(text->GetWideText());
        delete text;
    }
    const std::u16string body = parts[1] + u"\n\n" + parts[2];
    MessageBoxW(nullptr, body.c_str(), parts[0].c_str(), MB_OK | MB_ICONWARNING);
}
