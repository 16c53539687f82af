// Sync answers: server changes into the stores, and the cycle's bookkeeping.
#include "DActiveSyncDataManager.h"

DErrorCode DActiveSyncDataManager::ProcessSyncCommandAnswer() { return generalErrNotImplemented; }
DErrorCode DActiveSyncDataManager::RunSyncAnswerState(uint32_t, DErrorCode) { return generalErrNotImplemented; }
