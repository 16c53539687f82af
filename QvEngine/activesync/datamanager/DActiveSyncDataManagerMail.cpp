// Sends and attachment fetches.
#include "DActiveSyncDataManager.h"

DErrorCode DActiveSyncDataManager::CollectSendMail() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::CollectAttachmentFetch() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::RunMailState(uint32_t, DErrorCode) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::ProcessSendAnswer(DHTTPTransaction *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::ProcessAttachmentAnswer(DHTTPTransaction *, VFile *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::FinishAttachmentWork() { return kNoError; }
