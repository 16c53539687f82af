// A run's start and end, the sync lock shared through the preferences
// object, the timers, and the status reports to the client.
#include "DActiveSyncEngine.h"

DErrorCode DActiveSyncEngine::CancelSync(BOOL) { return generalErrNotImplemented; }
DErrorCode DActiveSyncEngine::StartSync(uint32_t, uint32_t, uint32_t, uint32_t) { return generalErrNotImplemented; }
DErrorCode DActiveSyncEngine::GetStatusText(VString *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncEngine::StartSearch(VString *, VString *, int, uint16_t, VFile *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncEngine::TimerCallback(uint32_t, void *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncEngine::ReportMajorStatus(uint32_t) { return generalErrNotImplemented; }
DErrorCode DActiveSyncEngine::ReportMinorStatus(DStatusData *) { return generalErrNotImplemented; }

void DActiveSyncEngine::EngineBusyCleared() {}

void DActiveSyncEngine::CancelTask() {}
