// Request bodies built at once, Sync bodies, meeting responses and MoveItems.
#include "DActiveSyncDataManager.h"

DErrorCode DActiveSyncDataManager::BuildFolderSyncRequest() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::BuildFolderCreateRequest() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::BuildAirNotifyRequest() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::BuildGetItemEstimateRequest() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::BuildPingRequest() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::BuildProvisionRequest(uint32_t) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::BuildSearchRequest() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::CollectSyncCommandData() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::CollectMeetingResponse() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::CollectMoveItems() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::RunRequestState(uint32_t, DErrorCode) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::HasMovedMailToSend(BYTE *canSend) { if (canSend) *canSend = 0; return kNoError; }
DErrorCode DActiveSyncDataManager::FinishMeetingResponses() { return kNoError; }
DErrorCode DActiveSyncDataManager::FinishMovedMail() { return kNoError; }
