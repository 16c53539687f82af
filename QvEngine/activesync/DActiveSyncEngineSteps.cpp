// The run's step machine: which command follows which, and what the engine
// does with the records its data manager hands back.
#include "DActiveSyncEngine.h"

DErrorCode DActiveSyncEngine::PerformNextActiveSyncStep() { return generalErrNotImplemented; }
DErrorCode DActiveSyncEngine::DetermineNextStep() { return generalErrNotImplemented; }
DErrorCode DActiveSyncEngine::ActiveSyncDataManager_ReportError(DErrorCode, VString *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncEngine::ActiveSyncDataManager_RecievedResponse(DClientResponse *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncEngine::ActiveSyncDataManager_ReportStatus(DStatusData *) { return generalErrNotImplemented; }
