// The parts of the engine still to come: the run step machine, the HTTP
// outcomes and error report, Ping with its heartbeat, the run's start and
// end under the sync lock, and the status reports. Until they are built,
// each entry answers generalErrNotImplemented (or does nothing), so that
// the engine object links and its requests can be built and tested. Each
// later piece replaces its definitions here with its own file.
#include "DActiveSyncEngine.h"

DErrorCode DActiveSyncEngine::CancelSync(BOOL) { return generalErrNotImplemented; }

DErrorCode DActiveSyncEngine::StartSync(uint32_t, uint32_t, uint32_t, uint32_t) { return generalErrNotImplemented; }

DErrorCode DActiveSyncEngine::GetStatusText(VString *) { return generalErrNotImplemented; }

DErrorCode DActiveSyncEngine::StartSearch(VString *, VString *, int, uint16_t, VFile *) {
    return generalErrNotImplemented;
}

DErrorCode DActiveSyncEngine::ActiveSyncDataManager_ReportError(DErrorCode, VString *) {
    return generalErrNotImplemented;
}

DErrorCode DActiveSyncEngine::ActiveSyncDataManager_RecievedResponse(DClientResponse *) {
    return generalErrNotImplemented;
}

DErrorCode DActiveSyncEngine::ActiveSyncDataManager_ReportStatus(DStatusData *) { return generalErrNotImplemented; }

DErrorCode DActiveSyncEngine::TimerCallback(uint32_t, void *) { return generalErrNotImplemented; }

void DActiveSyncEngine::EngineBusyCleared() {}

DErrorCode DActiveSyncEngine::RunTask() { return generalErrNotImplemented; }

void DActiveSyncEngine::CancelTask() {}

// The data manager itself comes with its own piece; until then an engine
// can only be initialised with one put in beforehand.
DErrorCode CreateActiveSyncDataManager(IActiveSyncDataManagerClient *, IGlobalData *, IActiveSyncDataManager **out) {
    if (out != nullptr) *out = nullptr;
    return generalErrNotImplemented;
}

// Called by the HTTP outcomes and the error report; built by later pieces.
DErrorCode DActiveSyncEngine::PerformNextActiveSyncStep() { return generalErrNotImplemented; }

DErrorCode DActiveSyncEngine::DetermineNextStep() { return generalErrNotImplemented; }

DErrorCode DActiveSyncEngine::ProcessPingCommandData(DASDP_PingResponse *) { return generalErrNotImplemented; }

DErrorCode DActiveSyncEngine::JudgePingStatus(DASDP_PingResponse *) { return generalErrNotImplemented; }

DErrorCode DActiveSyncEngine::AdaptiveHeartBeatInterrupted(DErrorCode) { return generalErrNotImplemented; }

bool DActiveSyncEngine::IsPushEnabledNow() { return false; }

DErrorCode DActiveSyncEngine::ReportMajorStatus(uint32_t) { return generalErrNotImplemented; }

DErrorCode DActiveSyncEngine::ReportMinorStatus(DStatusData *) { return generalErrNotImplemented; }
