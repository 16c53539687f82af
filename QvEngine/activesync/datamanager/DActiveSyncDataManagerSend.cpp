// Sending a message: its MIME text into the request body, and the answer.
#include "DActiveSyncDataManager.h"

DErrorCode DActiveSyncDataManager::CollectSendMail() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::RunSendState(uint32_t, DErrorCode) { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::ProcessSendAnswer(DHTTPTransaction *) { return generalErrNotImplemented; }
