// Push: Ping, its answers, the adaptive heartbeat and the retries.
#include "DActiveSyncEngine.h"

DErrorCode DActiveSyncEngine::ProcessPingCommandData(DASDP_PingResponse *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncEngine::JudgePingStatus(DASDP_PingResponse *) { return generalErrNotImplemented; }
DErrorCode DActiveSyncEngine::AdaptiveHeartBeatInterrupted(DErrorCode) { return generalErrNotImplemented; }

bool DActiveSyncEngine::IsPushEnabledNow() { return false; }
