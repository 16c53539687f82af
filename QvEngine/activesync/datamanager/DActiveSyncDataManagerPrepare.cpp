// Preparation for a run, local-change probes, end-of-run clean-up and wipe.
#include "DActiveSyncDataManager.h"

DErrorCode DActiveSyncDataManager::PrepareForSync(DActiveTaskSignal *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::ProbeCalendarChanges(DActiveTaskSignal *, BYTE *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::ProbeContactsChanges(DActiveTaskSignal *, BYTE *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::ProbeTasksChanges(DActiveTaskSignal *, BYTE *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::ProbeEMailChanges(DActiveTaskSignal *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::ProbeAttachmentDownloads(DActiveTaskSignal *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::ProbeMeetingResponses(DActiveTaskSignal *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::ProbeMovedMail(DActiveTaskSignal *, BYTE *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::EndOfRunCleanup(DActiveTaskSignal *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::PrepareSendOnly(DActiveTaskSignal *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::CheckPendingItems(BYTE *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::NeedsFirstSync(BYTE *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::StartRemoteWipe(uint32_t, DActiveTaskSignal *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::RunPrepareState(uint32_t, DErrorCode) { return generalErrNotImplemented; }
