#include "ActiveSyncEngineConstants.h"

namespace {

const char *const kStepNames[kActiveSyncStepCount] = {
    "EActiveSyncStep_None",
    "EActiveSyncStep_Start",
    "EActiveSyncStep_Options",
    "EActiveSyncStep_FirstFolderSyncCmd",
    "EActiveSyncStep_FirstEMailSyncCmd",
    "EActiveSyncStep_FirstCalendarSyncCmd",
    "EActiveSyncStep_FirstContactsSyncCmd",
    "EActiveSyncStep_FirstTasksSyncCmd",
    "EActiveSyncStep_FirstNotifyCmd",
    "EActiveSyncStep_FolderSyncCmd",
    "EActiveSyncStep_GetItemEstimateCmd",
    "EActiveSyncStep_EMailSendCmd",
    "EActiveSyncStep_EMailSmartSendCmd",
    "EActiveSyncStep_EMailSendMeetingResponseCmd",
    "EActiveSyncStep_EMailSyncCmd",
    "EActiveSyncStep_SyncCmd",
    "EActiveSyncStep_EMailGetAttachmentCmd",
    "EActiveSyncStep_CalendarSyncCmd",
    "EActiveSyncStep_ContactsSyncCmd",
    "EActiveSyncStep_TasksSyncCmd",
    "EActiveSyncStep_PingCmd",
    "EActiveSyncStep_PingRestart",
    "EActiveSyncStep_ProvisionCmd",
    "EActiveSyncStep_AcknowledgeProvisionCmd",
    "EActiveSyncStep_RemoteWipe",
    "EActiveSyncStep_SearchCmd",
    "EActiveSyncStep_FolderCreateCmd",
    "EActiveSyncStep_MoveCmd",
};

}  // namespace

const char *GetActiveSyncStepName(uint32_t step) {
    return step < kActiveSyncStepCount ? kStepNames[step] : "EActiveSyncStep_Unknown";
}
