// The numbers the ActiveSync engine shares with its data manager, its
// clients and the scheduler: the step of a run (which command is in hand),
// the run flags, options, lock modes and run kinds of StartSync, the engine
// state every process reads from the preferences, the client tags of the
// sync lock, and the local change bits of PushNeedsSoap / EngineNeedsSoap.
#ifndef QV_ACTIVESYNCENGINECONSTANTS_H
#define QV_ACTIVESYNCENGINECONSTANTS_H

#include <cstdint>

// The command in hand. The step names are the ones the engine's log texts
// print. 8 is never made current (Notify is never sent); 12 and 15 are
// variants that the preparers of 11, 4 and 14 send, never current steps.
enum EActiveSyncStep : uint32_t {
    EActiveSyncStep_None = 0,                         // nothing: the run ends
    EActiveSyncStep_Start = 1,                        // start of a run; no command
    EActiveSyncStep_Options = 2,                      // HTTP OPTIONS
    EActiveSyncStep_FirstFolderSyncCmd = 3,           // FolderSync with sync key 0
    EActiveSyncStep_FirstEMailSyncCmd = 4,            // first Sync of a mail folder
    EActiveSyncStep_FirstCalendarSyncCmd = 5,         // first calendar Sync
    EActiveSyncStep_FirstContactsSyncCmd = 6,         // first contacts Sync
    EActiveSyncStep_FirstTasksSyncCmd = 7,            // first tasks Sync
    EActiveSyncStep_FirstNotifyCmd = 8,               // Notify (never sent)
    EActiveSyncStep_FolderSyncCmd = 9,                // FolderSync
    EActiveSyncStep_GetItemEstimateCmd = 10,          // GetItemEstimate
    EActiveSyncStep_EMailSendCmd = 11,                // SendMail, SmartReply or SmartForward
    EActiveSyncStep_EMailSmartSendCmd = 12,           // the same command when the options are exactly 0x02
    EActiveSyncStep_EMailSendMeetingResponseCmd = 13, // MeetingResponse
    EActiveSyncStep_EMailSyncCmd = 14,                // Sync of one mail folder
    EActiveSyncStep_SyncCmd = 15,                     // mail folder Sync of a partial e-mail run
    EActiveSyncStep_EMailGetAttachmentCmd = 16,       // GetAttachment
    EActiveSyncStep_CalendarSyncCmd = 17,             // calendar Sync
    EActiveSyncStep_ContactsSyncCmd = 18,             // contacts Sync
    EActiveSyncStep_TasksSyncCmd = 19,                // tasks Sync
    EActiveSyncStep_PingCmd = 20,                     // Ping
    EActiveSyncStep_PingRestart = 21,                 // no command: begin a new push cycle
    EActiveSyncStep_ProvisionCmd = 22,                // Provision (policy request)
    EActiveSyncStep_AcknowledgeProvisionCmd = 23,     // Provision (acknowledgement)
    EActiveSyncStep_RemoteWipe = 24,                  // no command: wipe the device
    EActiveSyncStep_SearchCmd = 25,                   // Search
    EActiveSyncStep_FolderCreateCmd = 26,             // FolderCreate
    EActiveSyncStep_MoveCmd = 27,                     // MoveItems
};
constexpr uint32_t kActiveSyncStepCount = 28;

// The step's name as the log prints it ("EActiveSyncStep_FolderSyncCmd");
// "EActiveSyncStep_Unknown" outside 0 to 27.
const char *GetActiveSyncStepName(uint32_t step);

// Run flags of StartSync (32-bit bit set).
constexpr uint32_t kRunFlagEMail = 0x01;
constexpr uint32_t kRunFlagCalendar = 0x02;
constexpr uint32_t kRunFlagContacts = 0x04;
constexpr uint32_t kRunFlagSendOnly = 0x08;  // exactly this value: the run only sends outgoing mail
constexpr uint32_t kRunFlagPush = 0x10;      // end the run in Ping
constexpr uint32_t kRunFlagSearch = 0x20;    // exactly this value: a search run
constexpr uint32_t kRunFlagTasks = 0x40;
constexpr uint32_t kRunFlagsAll = 0xFFFFFFFF;  // every type

// Options of StartSync; any of them makes the run a partial e-mail run.
constexpr uint32_t kRunOptionFetchTruncated = 0x01;     // fetch the rest of truncated mail
constexpr uint32_t kRunOptionSendOutgoing = 0x02;       // send outgoing mail
constexpr uint32_t kRunOptionDownloadAttachments = 0x04;  // download requested attachments

// How a run meets a sync lock held by another client.
constexpr uint32_t kLockModeWait = 1;            // wait for the holder
constexpr uint32_t kLockModeYieldUnlessUser = 2;  // give up behind a user's run; ask a scheduled or push run to yield
constexpr uint32_t kLockModeAskToYield = 3;      // ask the holder to yield and wait

// Run kinds (StartSync's continueRun). A non-zero kind keeps the loop counters.
constexpr uint32_t kRunKindUser = 0;           // started by a user or a caller
constexpr uint32_t kRunKindScheduled = 1;      // scheduled sync (and every push run)
constexpr uint32_t kRunKindFullScheduled = 2;  // full scheduled sync

// The EngineState preference.
constexpr uint16_t kEngineStateNeverSynced = 0;
constexpr uint16_t kEngineStateSyncing = 1;
constexpr uint16_t kEngineStateCompleted = 2;
constexpr uint16_t kEngineStateFailed = 3;
constexpr uint16_t kEngineStateCancelled = 4;
constexpr uint16_t kEngineStatePinging = 5;
constexpr uint16_t kEngineStateWiping = 6;
constexpr uint16_t kEngineStatePushInterrupted = 7;

// Client tags (ActiveSync_GetClientID) of the sync lock: four characters.
constexpr uint32_t kClientTagApplication = 0x5156574D;    // "QVWM"
constexpr uint32_t kClientTagAddressLookup = 0x5647414C;  // "VGAL"
constexpr uint32_t kClientTagTransport = 0x54524E53;      // "TRNS"

// Local change bits of PushNeedsSoap and EngineNeedsSoap (and of the
// engine's local change flags).
constexpr uint16_t kLocalChangeEMail = 0x01;
constexpr uint16_t kLocalChangeEMailMore = 0x02;  // e-mail too; also makes the next Ping carry its body
constexpr uint16_t kLocalChangeCalendar = 0x04;
constexpr uint16_t kLocalChangeContacts = 0x08;
constexpr uint16_t kLocalChangeTasks = 0x10;

#endif
