// Fetching an attachment a user asked for, and storing the answer.
#include "DActiveSyncDataManager.h"

DErrorCode DActiveSyncDataManager::CollectAttachmentFetch() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::RunAttachmentState(uint32_t, DErrorCode) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::ProcessAttachmentAnswer(DHTTPTransaction *, VFile *) {
    return generalErrNotImplemented;
}
DErrorCode DActiveSyncDataManager::FinishAttachmentWork() { return kNoError; }
