// Answers applied at once, FolderSync and MoveItems answers.
#include "DActiveSyncDataManager.h"

DErrorCode DActiveSyncDataManager::ProcessFolderSyncAnswer() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::RunFolderSyncState(uint32_t, DErrorCode) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::ProcessFolderCreateAnswer() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::ProcessGetItemEstimateAnswer() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::ProcessPingAnswer(DClientResponse **) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::ProcessProvisionAnswer(DClientResponse **) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::ProcessSearchAnswer(DClientResponse **) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::ProcessMeetingResponseAnswer() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::ProcessMoveItemsAnswer() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::RunMoveAnswerState(uint32_t, DErrorCode) { return generalErrNotImplemented; }
