// DActiveSyncEngine: one sync client's connection to one Exchange account,
// the object behind CreateActiveSyncEngine. It decides the order of
// ActiveSync commands in a run, sends each over its HTTP session, keeps push
// alive with an adaptive heartbeat, holds the sync lock kept in its
// preferences object, and tells its client what happens.
//
// Contract: it never blocks its caller. All work runs in steps of its own
// task (priority 3) and in callbacks from the HTTP session, the data manager
// and timers, all on the caller's thread. Errors found inside steps and
// callbacks are not returned to a caller of StartSync: they end in the
// engine's error report (ReportError) and reach ActiveSync_ReportError.
// Created by the export, initialised once, reused for any number of runs.
#ifndef QV_DACTIVESYNCENGINE_H
#define QV_DACTIVESYNCENGINE_H

#include <cstdint>
#include <string>

#include "ActiveSyncEngineConstants.h"
#include "DActiveTask.h"
#include "DClientResponse.h"
#include "DErrorCode.h"
#include "DStatusData.h"
#include "IActiveSyncClient.h"
#include "IActiveSyncDataManager.h"
#include "IActiveSyncDataManagerClient.h"
#include "IActiveSyncEngine.h"
#include "IGlobalData.h"
#include "IHTTPClient.h"
#include "ITimerManager.h"
#include "VFile.h"
#include "VString.h"

class DASDS_DataResponse;
class DASDS_SendDataResponse;
class DASDP_PingResponse;
class DEASFolderInfoStore;
class DHTTPFailureResponse;
class DHTTPSession;
class DHTTPTransaction;
class ICorvanePreferences;
class ILogProvider;

// The sync lock's time is refreshed this often while a run holds it.
constexpr uint32_t kLockRefreshMs = 180000;

// The engine task's stages: which RunTask step runs next. A run starts at
// Start (or SearchCheck) and ends through EndRun, then RunOver.
enum EEngineTaskStage : uint32_t {
    kStageIdle = 0,              // between runs: nothing to do
    kStageLockWait = 1,          // waits for the sync lock; then wipe check and connection check, to StartRun
    kStageStart = 2,             // remote-wipe check (to RemoteWipe), else connection check, to StartRun
    kStageStartRun = 3,          // takes the lock, prepares the stores; to ReadyForSync
    kStageReadyForSync = 4,      // marks the step ready to send, then does NextStep
    kStageEndRun = 5,            // ends the run, releases the lock; to RunOver
    kStageRunOver = 6,           // logs the end and tells the client the run is over
    kStagePrepareCycle = 7,      // asks the data manager to prepare for the next sync cycle; to EMailProbe
    kStageContactsCheck = 8,     // contacts local-change check; to TasksCheck
    kStageTasksCheck = 9,        // tasks local-change check; to EMailCheck
    kStageEMailCheck = 10,       // e-mail change probe folder by folder; to AttachmentProbe
    kStageAttachmentProbe = 11,  // attachment-download probe folder by folder; to MeetingProbe
    kStageMeetingProbe = 12,     // meeting-response probe folder by folder; to MovedMailProbe
    kStageMovedMailProbe = 13,   // moved-mail probe; to FirstCommand
    kStageFirstCommand = 14,     // Options, or the after-Options rule; performs the step
    kStageNextStep = 15,         // DetermineNextStep, then performs the step
    kStageReconnectCheck = 16,   // connection check of a push reconnection; to Reconnect
    kStageReconnect = 17,        // restarts push when connected, else schedules the next retry
    kStageRemoteWipe = 18,       // reports status 20 and prepares the stores for the wipe; to WipeAcknowledge
    kStageWipeAcknowledge = 19,  // Provision acknowledgement of the wipe, then performs
    kStageWipeDone = 20,         // acknowledges the completed run; to EndRun
    kStageSearchCheck = 21,      // checks that a search may run; connection check, to SearchStart
    kStageSearchStart = 22,      // language table, session headers; Options or Search; to PerformStep
    kStagePerformStep = 23,      // performs the step in hand
    kStagePushEMailProbe = 24,   // first e-mail probe of a push cycle; to NextStep
    kStageSendOnly = 25,         // performs the step after the send-only preparation
};

class DActiveSyncEngine : public IActiveSyncEngine,
                          public IHTTPClient,
                          public IActiveSyncDataManagerClient,
                          public ITimerManagerCallback,
                          public IBusyClearedNotify,
                          public DActiveTask {
public:
    // Every pointer none, timers 0x7FFF7FFF, run flags all, options 0,
    // mode 1, no back-off, folder sync needed, first cycle and first push set.
    DActiveSyncEngine();
    // Deactivates the task, frees the status text, transaction, session and
    // data manager, stops the timers.
    ~DActiveSyncEngine() override;

    // --- Engine object and client interface ---

    // IActiveSyncEngine.
    DErrorCode Initialize(IGlobalData *global, IActiveSyncClient *client) override;
    DErrorCode CancelSync(BOOL dropPush) override;
    DErrorCode StartSync(uint32_t runFlags, uint32_t options, uint32_t mode, uint32_t continueRun) override;
    DErrorCode Reserved() override { return kNoError; }
    DErrorCode GetStatusText(VString *out) override;
    DErrorCode StartSearch(VString *storeName, VString *query, int start, uint16_t rangeEnd,
                           VFile *results) override;

    // IHTTPClient.
    DErrorCode HTTP_ReportError(DErrorCode code, VString *detail) override;
    DErrorCode HTTP_RecievedResponse(DClientResponse *response) override;
    DErrorCode HTTP_ReportStatus(DStatusData *status) override;
    // The user is Domain "\" User when a domain is set, else User; the
    // password is Password.
    DErrorCode HTTP_GetCredentials(VString *user, VString *password) override;

    // IActiveSyncDataManagerClient.
    DErrorCode ActiveSyncDataManager_ReportError(DErrorCode code, VString *detail) override;
    DErrorCode ActiveSyncDataManager_RecievedResponse(DClientResponse *response) override;
    DErrorCode ActiveSyncDataManager_ReportStatus(DStatusData *status) override;

    // ITimerManagerCallback: lock wait, lock refresh, retry, yield poll.
    DErrorCode TimerCallback(uint32_t id, void *cookie) override;

    // IBusyClearedNotify: a cancel that waited for the busy flag ends the run.
    void EngineBusyCleared() override;

    // DActiveTask: one stage of the run; the reset (CancelTask) ends the run.
    DErrorCode RunTask() override;
    void CancelTask() override;

protected:
    // --- Engine object: set-up (tests put their own session and data
    // manager in before Initialize, which then keeps them) ---

    // Takes over a session (bound to this engine as its client).
    void SetHTTPSession(DHTTPSession *session);
    // Takes over a data manager.
    void SetDataManager(IActiveSyncDataManager *manager);
    DErrorCode MakeHTTPSession();
    DErrorCode MakeDataManager();

    // --- Sync run step machine ---

    DErrorCode PerformNextActiveSyncStep();
    DErrorCode FinishPerformNextActiveSyncStep();
    DErrorCode DetermineNextStep();
    DErrorCode DetermineNextSearchStep();
    DErrorCode ApplyStartRule();
    DErrorCode ApplyAfterOptionsRule();
    DErrorCode ApplyAfterFolderSyncRule();
    DErrorCode ApplyMoveItemsRule();
    DErrorCode ApplyEMailRule(uint32_t finishedStep);
    DErrorCode ApplyCalendarRule(uint32_t finishedStep);
    DErrorCode ApplyAfterCalendarRule(uint32_t finishedStep);
    DErrorCode ApplyAfterContactsRule(uint32_t finishedStep);
    // Leaving the e-mail phase: clears local change bits 0x01, 0x02 and
    // stores the flags in EngineNeedsSoap.
    DErrorCode LeaveEMailPhase();
    // The type takes part in the run (the user's setting and the run's choice).
    bool IsEMailInRun();
    bool IsCalendarInRun();
    bool IsContactsInRun();
    bool IsTasksInRun();
    bool IsSendOnlyRun() const { return m_runFlags == kRunFlagSendOnly; }
    bool IsSearchRun() const { return m_runFlags == kRunFlagSearch; }
    DErrorCode CanConnectToInternet(uint32_t nextStage);
    DErrorCode ProcessCurrentCommandResponse(uint32_t step, uint32_t status);
    DErrorCode ProcessCurrentCommandData(DClientResponse **record);
    // A failure record: 449 (provision first, or give up when provisioning
    // did not help), else the step's own judgement of the HTTP status.
    DErrorCode ProcessHTTPFailure(DHTTPFailureResponse *failure, bool *perform);
    void LogResponseBody(VFile *body, uint32_t size);
    DErrorCode ProcessDataProcessorResponseStatus(DClientResponse *record);
    DErrorCode ProcessDataProcessorResponse(DClientResponse *record);
    DErrorCode ProcessDataSupplierResponse(DClientResponse *record);
    DErrorCode ProcessProvisionResponse(DClientResponse *record);
    DErrorCode ProcessSearchResponse(DClientResponse *record);
    // Stage work: calendar, contacts, tasks and e-mail local-change checks.
    DErrorCode CheckCalendarLocalChanges();
    DErrorCode CheckContactsLocalChanges();
    DErrorCode CheckTasksLocalChanges();
    DErrorCode CheckEMailLocalChanges(uint32_t nextStage);
    DErrorCode ReconnectPush();
    // One RunTask stage (the signal's code already judged).
    DErrorCode RunStage(uint32_t stage);
    // Asks the data manager's probe (a kMailProbe* of the .cpp) about the
    // next mail folder; the signal brings the task back to the same stage,
    // and no folder left moves on to nextStage at once.
    DErrorCode ProbeNextMailFolder(uint32_t probe, uint32_t nextStage);
    // The shared part of the calendar, contacts and tasks rules.
    DErrorCode ApplyTypeRule(uint32_t type, uint32_t finishedStep);
    // Submits the prepared request; a Ping also arms its time-out, sets
    // EngineState 5 and tells the client (alive record 990).
    DErrorCode SendStepRequest();
    // The folder-info store holds a folder list from an earlier FolderSync.
    bool HasFolderList();
    // Local change flags were given, or this is not the first push: the
    // flags stand for the stores' change probes.
    bool UsePushLocalFlags() const { return m_localChangeFlags != 0 || m_firstPush == 0; }
    // A remote wipe was ordered and has not completed.
    bool IsRemoteWipePending();
    // Sync status 3 (the type's key is unknown: its key becomes "0" and the
    // Sync runs again as a first Sync) or 12 (the hierarchy changed: the
    // FolderSync key becomes "0" and FolderSync runs again with it). The step
    // in hand is set and marked to run without choosing another.
    DErrorCode RecoverLostSyncState(uint32_t type, uint32_t status);

    // --- ActiveSync requests, HTTP outcomes and the error report ---

    // Accept-Language, MS-ASProtocolVersion, Connection, User-Agent,
    // Cache-Control and Host, in that order, then Basic authorization.
    DErrorCode SetSessionHeaders();
    // MS-ASProtocolVersion from EASVers: "2.5" for 250, else "2.0". Run at
    // every session-header set-up and again when OPTIONS changes EASVers.
    DErrorCode SetProtocolVersionHeader();
    // Logs the step, then runs its preparer.
    DErrorCode PrepareActiveSyncCommand(uint32_t step);
    DErrorCode PrepareOptionsCommand();
    DErrorCode PrepareFolderSyncCommand(uint32_t step);
    DErrorCode PrepareNotifyCommand();
    DErrorCode PrepareGetItemEstimateCommand();
    DErrorCode PrepareSendMailCommand(uint32_t step);
    DErrorCode PrepareMeetingResponseCommand();
    DErrorCode PrepareGetAttachmentCommand();
    DErrorCode PrepareSyncCommand(uint32_t step);
    DErrorCode PreparePingCommand();
    DErrorCode PrepareProvisionCommand(uint32_t step);
    DErrorCode PrepareSearchCommand();
    DErrorCode PrepareFolderCreateCommand();
    DErrorCode PrepareMoveItemsCommand();
    // Asks the data manager for the step's body: activeSyncErrWaitForCallback,
    // as the body record comes back through ActiveSyncDataManager_RecievedResponse.
    DErrorCode CollectRequestBody(uint32_t step);
    // A new transaction for the step's command (deleting the previous one):
    // verb, scheme, server, path with the command, and X-MS-PolicyKey on
    // protocol 2.5 for every step but Options.
    DErrorCode CreateCommandTransaction(uint32_t step, const char *command);
    // Sets the current transaction's path for another command.
    DErrorCode SetCommandPath(const char *command);
    // "/Microsoft-Server-ActiveSync?User=...&DeviceId=...&DeviceType=..."
    // and "&Cmd=" command when there is one, as Windows-1252 text, each
    // value escaped (EscapeHTTPQueryValue).
    DErrorCode BuildRequestPath(const char *command, std::string *path);
    // QVDeviceID and QVDeviceType, made and stored first when empty.
    DErrorCode GetDeviceIdentity(VString *deviceId, VString *deviceType);
    // The step's command text (without values), or null when it has none.
    static const char *GetCommandText(uint32_t step);
    // The Cmd text for a send record: SmartReply / SmartForward with
    // "&ItemId=", "&CollectionId=" and "&SaveInSent=T" for a reply or a
    // forward of a message the server knows, else SendMail.
    DErrorCode BuildSendCommand(DASDS_SendDataResponse *record, std::string *command);
    // The record's content type becomes the Content-Type header and its body
    // the request data (taken from the record).
    DErrorCode SetRequestBody(DASDS_DataResponse *record);
    DErrorCode SendCurrentTransaction();
    // OPTIONS answer: MS-ASProtocolVersions to EASVers (the version header
    // follows it), MS-ASProtocolCommands to PushAvailable.
    DErrorCode ProcessOptionsCommandFinish(DHTTPTransaction *transaction);
    // The whole error report: log texts, engine state, client report.
    DErrorCode ReportError(DErrorCode code, VString *detail, const char *method);
    DErrorCode ProcessErrorBeforeReporting(DErrorCode *code);
    // The resource text logged for an error code (0 for none); *pushOff set
    // when the code takes push off.
    uint32_t ErrorTextForCode(DErrorCode code, bool *pushOff);
    // A server that is busy or full (503, 507) or refused a type's Sync: the
    // next retry waits five minutes when no delay is set.
    bool ErrorNeedsServerBackOff(DErrorCode code) const;
    // Logs resource text 123 with the seconds until the Ping retry.
    void LogRetryText();
    // Shows the user resource texts first, first + 1 and first + 2 (title and text).
    void ShowConnectionMessage(uint32_t first);

    // --- Push with Ping, adaptive heartbeat and retries ---

    DErrorCode ProcessPingCommandData(DASDP_PingResponse *ping);
    DErrorCode JudgePingStatus(DASDP_PingResponse *ping);
    DErrorCode ProcessPingChanges(DASDP_PingResponse *ping);
    DErrorCode PingQuietEnd();
    // Every mail folder, the calendar, contacts and tasks sync, FolderSync first.
    DErrorCode MarkFullSync();
    DErrorCode StartNewPushCycle(uint32_t step);
    DErrorCode DetermineNextPingStep(uint32_t finishedStep);
    // The loop guard and next cycle at the end of a push run's sync cycle.
    DErrorCode PrepareForPing();
    DErrorCode RestartPing();
    DErrorCode SuccessfulHeartbeat();
    DErrorCode IncreaseHeartbeat();
    DErrorCode AdaptiveHeartBeatInterrupted(DErrorCode code);
    DErrorCode DecreaseHeartbeat();
    DErrorCode AdaptiveScheduleNextPingAttempt();
    // Starts the retry timer: with kNoTimerId the back-off's next delay.
    DErrorCode StartRetryTimer(uint32_t delayMs);
    void StopRetryTimer();
    // Delay and count 0 when every failure counter is below 5.
    void ResetBackOff();
    DErrorCode RetryTimerFired();
    // Push is enabled for the current period and the run has the push bit.
    bool IsPushEnabledNow();
    // The Ping in hand went without a body (set when it is prepared): a
    // server that lost the folder list it reuses answers status 3.
    uint8_t m_lastPingEmpty = 0;

    // --- Run start and end, sync lock and status reports ---

    DErrorCode IsLockHeldByOther(bool *held);
    DErrorCode ApplyLockRule(bool *proceed);
    DErrorCode LockWait();
    DErrorCode YieldPoll();
    // Task stage 3.
    DErrorCode StartRun();
    DErrorCode TakeSyncLock(uint16_t engineState);
    void ReleaseSyncLock();
    DErrorCode AcknowledgeCompletedSync();
    // Task stage 5, CancelSync, the reset and the destructor.
    DErrorCode EndRun();
    void StopLockTimers();
    void StopTimer(uint32_t *id);
    DErrorCode StartTimer(uint32_t ms, uint32_t *id);
    DErrorCode ReportMajorStatus(uint32_t textId);
    DErrorCode ReportMinorStatus(DStatusData *status);
    DErrorCode ReportStatus(DStatusData *status);
    DErrorCode SendPingRecord(uint32_t value);
    DErrorCode LogStartOfRun();
    void LogResourceText(uint32_t textId);
    void LogLocalTime();
    void LogSeparator();
    void LogText(const char *text);
    void LogTextCode(const char *text, DErrorCode code);
    // PushAvailable is set and EngineState is 5.
    bool IsPinging();
    // This client holds the lock and its run has a step in hand.
    bool IsOwnStepInHand();
    // Starts the lock wait: the task waits (active, not signalled) until
    // LockWait finds the lock free.
    DErrorCode BeginLockWait();
    // The lock-refresh timer: a lock this client still holds is dated now.
    DErrorCode RefreshSyncLock();
    // The folder-info store open read/write (one open for reading reopened).
    DErrorCode OpenFolderStoreForWriting();
    // A run was started and has not ended yet: the reset (CancelTask) ends
    // it, and its end schedules the push reconnection once.
    uint8_t m_runOpen = 0;

    // --- The data model, in declared order ---

    IGlobalData *m_global;                       // given to Initialize
    IActiveSyncClient *m_client;                 // the caller's callback object
    uint32_t m_currentStep;                      // EActiveSyncStep in hand; 0 when idle
    uint32_t m_savedStep;                        // resumed after a Provision the server demanded
    uint32_t m_runFlags;                         // kRunFlag*; all bits: every type
    uint32_t m_options;                          // kRunOption*
    uint32_t m_mode;                             // kLockMode*
    uint32_t m_runKind;                          // kRunKind* (StartSync's continueRun)
    ICorvanePreferences *m_prefs;                // from the global info
    ILogProvider *m_logger;                      // from the global info
    DHTTPSession *m_httpSession;                 // made by Initialize; this engine is its client
    DHTTPTransaction *m_currentTransaction;      // of the command in hand
    IActiveSyncDataManager *m_dataManager;       // made by Initialize
    DEASFolderInfoStore *m_folderInfoStore;      // from the global info
    uint32_t m_taskStage;                        // EEngineTaskStage
    uint16_t m_localChangeFlags;                 // kLocalChange* waiting for a push run
    uint8_t m_initial;                           // the run is a first sync
    uint8_t m_localCalendarChanged;              // local change marks: calendar,
    uint8_t m_localContactsChanged;              // contacts,
    uint8_t m_localTasksChanged;                 // tasks
    uint8_t m_movedMailPending;                  // locally moved mail waits for MoveItems
    uint8_t m_serverCalendarChanged;             // server change marks (Ping, GetItemEstimate): calendar,
    uint8_t m_serverContactsChanged;             // contacts,
    uint8_t m_serverTasksChanged;                // tasks
    uint8_t m_connectionUp;                      // the connection was brought up for this run
    uint8_t m_connectionReady;                   // the request of this step may be sent
    uint8_t m_moreAvailable;                     // the same step runs again
    uint8_t m_wipeOrdered;                       // the last Provision answer ordered a wipe
    uint32_t m_backOffDelay;                     // ms of the next retry; 0 = not set
    uint32_t m_backOffCount;                     // retries scheduled since the last reset
    uint8_t m_folderSyncNeeded;                  // the next run begins with FolderSync
    uint8_t m_firstCycle;                        // the run is in its first cycle
    uint8_t m_emptyPing;                         // the next Ping goes without a body
    VString *m_statusText;                       // the last major status text; made on first use
    uint32_t m_lockWaitTimer;                    // timer ids, kNoTimerId while not running
    uint32_t m_lockRefreshTimer;
    uint32_t m_retryTimer;
    uint32_t m_yieldPollTimer;
    uint8_t m_firstPush;                         // cleared when the first Ping is prepared
    VString m_searchStore;                       // UTF-8 copies given to StartSearch
    VString m_searchQuery;
    VFile *m_searchResults;                      // receives the results; the caller's
    uint32_t m_searchStart;                      // result range: start (0)
    uint16_t m_searchRange;                      // and upper end (below 100)
    uint16_t m_emailFailures;                    // errors of the type's Sync while push is on
    uint16_t m_calendarFailures;
    uint16_t m_contactsFailures;
    uint16_t m_tasksFailures;
    DErrorCode m_lastResult;                     // the last error reported; 0 after a clean run
    uint16_t m_emailLoops;                       // Pings that reported changes of the type
    uint16_t m_contactsLoops;
    uint16_t m_tasksLoops;
    uint16_t m_calendarLoops;
    uint64_t m_pingStartTime;                    // monotonic ms (platform clock) when the last Ping went out
    uint8_t m_retryScheduled;                    // a Ping retry after a heartbeat failure is scheduled
    uint32_t m_nextAttempt;                      // seconds until that retry
    uint8_t m_resumedAfterProvision;             // the saved step was resumed after a 449: a second 449 fails
};

#endif
