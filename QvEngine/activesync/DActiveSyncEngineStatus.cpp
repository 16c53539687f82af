// What the engine tells its client about progress: the major status text
// (kept as the engine's status text), the minor text built from progress
// records (percent, dots, kilobytes), the Ping records, and the idle summary
// text of the application's status line.
#include <string>

#include "DASDP_PingResponse.h"
#include "DActiveSyncEngine.h"
#include "DAliveCounterStatusData.h"
#include "DProgressStatusData.h"
#include "DStringStatusData.h"
#include "DateTimeText.h"
#include "ICorvanePreferences.h"
#include "IResourceManager.h"
#include "TimeRecord.h"

namespace {

// A kilobyte count as the status line shows it: any started kilobyte counts.
uint32_t Kilobytes(uint32_t bytes) { return bytes == 0 ? 0 : (bytes - 1) / 1024 + 1; }

// The resource text of the id; an empty text when there is none.
DErrorCode GetResourceText(IGlobalData *global, uint32_t id, VString *out) {
    IResourceManager *strings = global != nullptr ? global->GetResourceManager() : nullptr;
    if (strings == nullptr) return generalErrNotInitialized;
    VString *text = nullptr;
    DErrorCode err = strings->GetString(UINT(id), &text);
    if (err == kNoError && text != nullptr) err = out->Assign(*text);
    delete text;
    return err;
}

// The minor text's tail for a progress record, or generalErrInvalidParameter
// for a kind that has none.
DErrorCode MinorTail(DStatusData *status, std::string *tail) {
    const uint32_t kind = status->GetType();
    if (kind == kStatusTypeAliveCounter) {
        auto *alive = dynamic_cast<DAliveCounterStatusData *>(status);
        if (alive == nullptr) return generalErrInvalidParameter;
        *tail = std::string(alive->GetCount() % 3 + 1, '.');
        alive->Advance();
        return kNoError;
    }
    if (kind != kStatusTypeProgress && kind != kStatusTypeReceiveProgress && kind != kStatusTypeSendProgress)
        return generalErrInvalidParameter;
    auto *progress = dynamic_cast<DProgressStatusData *>(status);
    if (progress == nullptr) return generalErrInvalidParameter;
    const uint32_t total = progress->GetTotal();
    const uint32_t done = progress->GetDone();
    if (kind == kStatusTypeProgress) {
        if (total != 0) *tail = std::to_string(progress->GetPercent()) + "%";
    } else if (total != 0) {
        // Received (or sent) of the Content-Length.
        *tail = std::to_string(Kilobytes(done)) + "(" + std::to_string(Kilobytes(total)) + ")KB";
    } else if (done != 0) {
        *tail = std::to_string(Kilobytes(done)) + "KB";
    }
    return kNoError;
}

}  // namespace

DErrorCode DActiveSyncEngine::ReportStatus(DStatusData *status) {
    if (status == nullptr) return generalErrInvalidParameter;
    if (status->GetType() == kStatusTypeMainText) {
        auto *text = dynamic_cast<DStringStatusData *>(status);
        if (text != nullptr && text->GetPayload() != nullptr) {
            if (m_statusText == nullptr) m_statusText = new VString;
            m_statusText->Assign(*text->GetPayload());
        }
    }
    return m_client != nullptr ? m_client->ActiveSync_ReportStatus(status) : generalErrNotInitialized;
}

DErrorCode DActiveSyncEngine::ReportMajorStatus(uint32_t textId) {
    VString text;
    DErrorCode err = GetResourceText(m_global, textId, &text);
    if (err == kNoError) {
        DStringStatusData record(&text);
        err = ReportStatus(&record);
    }
    if (err != kNoError) LogTextCode("DActiveSyncEngine::ReportStatus() - Failed to report status ERR : ", err);
    return err;
}

// The current major text, a blank, and the record's progress.
DErrorCode DActiveSyncEngine::ReportMinorStatus(DStatusData *status) {
    if (status == nullptr) return generalErrInvalidParameter;
    std::string tail;
    DErrorCode err = MinorTail(status, &tail);
    VString text;
    if (err == kNoError && m_statusText != nullptr) err = text.Assign(*m_statusText);
    if (err == kNoError) err = text.AppendNarrow(" ", kVStringWindows1252);
    if (err == kNoError && !tail.empty()) err = text.AppendNarrow(tail.c_str(), kVStringWindows1252);
    if (err == kNoError) {
        DStringMinorStatusData record(&text);
        err = ReportStatus(&record);
    }
    if (err != kNoError) LogTextCode("DActiveSyncEngine::ReportStatus() - Failed to report status ERR : ", err);
    return err;
}

DErrorCode DActiveSyncEngine::SendPingRecord(uint32_t value) {
    if (m_client == nullptr) return generalErrNotInitialized;
    DASDP_PingResponse record(value);
    return m_client->ActiveSync_ReceivedResponse(&record);
}

// The idle summary: the account, a lock held by another client's run, else
// the outcome of the last run.
DErrorCode DActiveSyncEngine::GetStatusText(VString *out) {
    if (out == nullptr) return generalErrInvalidParameter;
    if (m_prefs == nullptr || m_client == nullptr) return generalErrNotInitialized;
    const WORD state = m_prefs->GetEngineState();
    const DWORD owner = m_prefs->GetSyncLockOwner();
    bool heldByOther = false;
    if ((state == kEngineStateSyncing || state == kEngineStatePinging) && owner != 0 &&
        owner != m_client->ActiveSync_GetClientID())
        IsLockHeldByOther(&heldByOther);
    bool account = false;
    m_prefs->HasAccountSettings(&account);
    uint32_t id = 37;
    bool withLastSync = false;
    if (!account) {
        id = state == kEngineStateNeverSynced ? 34 : 35;
    } else if (heldByOther) {
        id = 36;
    } else {
        switch (state) {
        case kEngineStateNeverSynced: id = 37; break;
        case kEngineStateSyncing: id = 42; break;
        case kEngineStateCompleted: id = 39; withLastSync = true; break;
        case kEngineStateFailed: id = 40; break;
        case kEngineStateCancelled: id = 41; break;
        case kEngineStatePinging: id = 38; break;
        case kEngineStatePushInterrupted: id = 1; break;
        default: id = 37; break;
        }
    }
    struct tm last = {};
    if (withLastSync) {
        last = m_prefs->GetLastSyncTime();
        if (IsTimeRecordEmpty(&last)) {
            id = 37;
            withLastSync = false;
        }
    }
    DErrorCode err = GetResourceText(m_global, id, out);
    if (err != kNoError || !withLastSync) return err;
    VString when;
    err = FormatDateTime(last, &when);
    if (err == kNoError) err = out->Append(when);
    return err;
}
