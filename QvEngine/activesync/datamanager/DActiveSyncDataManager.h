// DActiveSyncDataManager: the half of the engine that knows the data. For
// each engine step it readies the device stores, builds the request body as
// a WBXML tree, parses the server's answer from the response file and
// carries server changes into the stores (and local changes out of them).
//
// Contract (beside IActiveSyncDataManager's):
// - It is a cooperative task: every long operation is a chain of numbered
//   states (DActiveSyncDataManagerStates.h), one RunTask step each; a step
//   starts one store operation that signals the task, or readies the task at
//   once. No step blocks.
// - A chain started with a caller's signal ends by signalling it exactly once;
//   a chain without one reports a failure to the client's error operation.
// - Records reach the engine through the client's received-response
//   operation and are deleted right after it returns.
// - Server text of any length is held in growable strings; an answer that
//   breaks the protocol ends its command with an error and leaves the stores
//   as they were before that command's first change.
#ifndef QV_DACTIVESYNCDATAMANAGER_H
#define QV_DACTIVESYNCDATAMANAGER_H

#include <cstdint>
#include <functional>
#include <string>

#include "DASDS_DataResponse.h"
#include "DActiveSyncDataManagerStates.h"
#include "DAttachmentData.h"
#include "DClientResponse.h"
#include "DEASFolderInfoStore.h"
#include "DListNode.h"
#include "DProgressStatusData.h"
#include "IActiveSyncDataManager.h"
#include "IActiveSyncDataManagerClient.h"
#include "IGlobalData.h"
#include "ILogProvider.h"
#include "IOutlookItemCollection.h"
#include "IOutlookManagerClient.h"
#include "WbxmlTree.h"

class DFileBase64Async;
class IOutlookContact;
class IOutlookMeeting;
class IOutlookTask;
class DOutlookManager;
class DWinMobMessageManager;
class DWinMobOutlookMessageCollection;
class ICorvanePreferences;
class IOutlookMessage;

// How the data manager gets a calendar, contacts or tasks store: a new,
// initialised manager the caller owns.
typedef DErrorCode (*PimStoreAllocator)(DOutlookManager **store, IGlobalData *global, IOutlookManagerClient *client);

// The engine step numbers the data manager tells apart (the engine's own).
enum EDataManagerCommand : uint32_t {
    kCmdFirstFolderSync = 3,
    kCmdFirstEMailSync = 4,
    kCmdFirstCalendarSync = 5,
    kCmdFirstContactsSync = 6,
    kCmdFirstTasksSync = 7,
    kCmdAirNotify = 8,
    kCmdFolderSync = 9,
    kCmdGetItemEstimate = 10,
    kCmdSendMail = 11,
    kCmdSendMailAgain = 12,
    kCmdMeetingResponse = 13,
    kCmdEMailSync = 14,
    kCmdEMailSyncPartial = 15,
    kCmdGetAttachment = 16,
    kCmdCalendarSync = 17,
    kCmdContactsSync = 18,
    kCmdTasksSync = 19,
    kCmdPing = 20,
    kCmdProvision = 22,
    kCmdProvisionAck = 23,
    kCmdSearch = 25,
    kCmdFolderCreate = 26,
    kCmdMoveItems = 27,
};

// The content type of every WBXML body, sent and expected.
extern const char *const kWbxmlContentType;
// The most change elements one Sync request, and Move elements one MoveItems request, carries.
constexpr uint32_t kMaxChangesPerRequest = 50;

class DActiveSyncDataManager : public IActiveSyncDataManager, public DActiveTask, public IOutlookManagerClient {
public:
    // Takes the folder-info store, the preferences and the logger from the
    // global info and adds its task to the global task manager.
    DActiveSyncDataManager(IActiveSyncDataManagerClient *client, IGlobalData *global);
    ~DActiveSyncDataManager() override;

    // The calendar, contacts and tasks stores are the device's own unless
    // tests put fakes in their place (kind: kOutlookItemAppointment,
    // kOutlookItemContact, kOutlookItemTask).
    void SetPimStoreAllocator(uint32_t kind, PimStoreAllocator allocator);

    // --- IActiveSyncDataManager ---
    DErrorCode PrepareForSync(DActiveTaskSignal *signal) override;
    DErrorCode CollectCommandData(uint32_t step) override;
    DErrorCode ProcessCommandData(uint32_t step, DHTTPTransaction *transaction, VFile *body,
                                  DClientResponse **record) override;
    DErrorCode ProbeCalendarChanges(DActiveTaskSignal *signal, BYTE *changes) override;
    DErrorCode ProbeContactsChanges(DActiveTaskSignal *signal, BYTE *changes) override;
    DErrorCode ProbeTasksChanges(DActiveTaskSignal *signal, BYTE *changes) override;
    DErrorCode ProbeEMailChanges(DActiveTaskSignal *signal) override;
    DErrorCode ProbeAttachmentDownloads(DActiveTaskSignal *signal) override;
    DErrorCode ProbeMeetingResponses(DActiveTaskSignal *signal) override;
    DErrorCode ProbeMovedMail(DActiveTaskSignal *signal, BYTE *moved) override;
    DErrorCode EndOfRunCleanup(DActiveTaskSignal *signal) override;
    DErrorCode PrepareSendOnly(DActiveTaskSignal *signal) override;
    DErrorCode CheckPendingItems(BYTE *pending) override;
    DErrorCode NeedsFirstSync(BYTE *needed) override;
    DErrorCode StartRemoteWipe(uint32_t step, DActiveTaskSignal *signal) override;
    DErrorCode LoadLanguageTable() override;
    DErrorCode SetSearchParameters(const VString &storeName, const VString &query, uint32_t first,
                                   uint32_t last) override;
    DErrorCode SetWipeOrdered(BYTE ordered) override;
    DErrorCode HasMovedMailToSend(BYTE *canSend) override;
    DErrorCode FinishAttachmentWork() override;
    DErrorCode FinishMeetingResponses() override;
    DErrorCode FinishMovedMail() override;
    DErrorCode CancelAndReset() override;

    // --- DActiveTask ---
    // One step of the running chain (the state table).
    DErrorCode RunTask() override;
    // Abandons the chain in progress (the reset operation).
    void CancelTask() override;

    // --- IOutlookManagerClient ---
    void OutlookManager_ReportStatus(DStatusData *status, uint32_t extra) override;

    // For tests: the state the next step runs.
    uint32_t GetState() const { return m_state; }

private:
    // === Object and step machine (DActiveSyncDataManager.cpp) ===
    // Sets the next state, activates the task; the store operation the caller
    // starts next signals it.
    DErrorCode WaitIn(uint32_t state);
    // Sets the next state and readies the task at once.
    DErrorCode GoTo(uint32_t state);
    // The error path: logs, then signals the caller or reports to the client.
    void ChainFailed(DErrorCode code, uint32_t state);
    // Signals the caller signal with the result, clears it and the result byte.
    void FinishCaller(DErrorCode result);
    // Hands the response record to the client, then deletes it and the counter.
    DErrorCode Deliver();
    // Deletes the response record and the change counter without handing them over.
    void DropResponse();
    // Drops the parsed tree and the node positions in it, and the item in hand.
    void ReleaseParseState();
    void ReleaseCurrentItem();
    DErrorCode ReportError(DErrorCode code, const char *routine);
    void LogText(const char *text);
    void LogLine(const char *text, const char *value);
    void LogNumber(const char *text, uint32_t value);
    void LogCode(const char *text, DErrorCode code);
    void LogResourceText(uint32_t id);
    // The resource text as a major status record (kind 1) to the engine.
    DErrorCode ReportStatus(uint32_t textId);
    ICorvanePreferences *Prefs() const;

    // Each area's share of the state table: runs the row of the state, given
    // the result the last store operation signalled.
    DErrorCode RunFolderSyncState(uint32_t state, DErrorCode result);
    DErrorCode RunPrepareState(uint32_t state, DErrorCode result);
    // Sync, meeting-response and MoveItems bodies (19-22, 26, 28).
    DErrorCode RunRequestState(uint32_t state, DErrorCode result);
    // Sends (25, 27, 59).
    DErrorCode RunSendState(uint32_t state, DErrorCode result);
    // Attachment fetches (23, 60).
    DErrorCode RunAttachmentState(uint32_t state, DErrorCode result);
    // MoveItems answers (41-45, 61).
    DErrorCode RunMoveAnswerState(uint32_t state, DErrorCode result);
    DErrorCode RunSyncAnswerState(uint32_t state, DErrorCode result);

    // === WBXML tree work (DActiveSyncDataManagerWbxml.cpp) ===
    // A new tree in the ActiveSync language, its root an element of that name.
    DErrorCode NewRequestTree(const char *rootName, WBXMLTree **tree, WBXMLTreeNode **root);
    // Appends an element (with a text child when the text is not empty).
    DErrorCode AddElement(WBXMLTreeNode *parent, const char *name, WBXMLTreeNode **node = nullptr);
    DErrorCode AddTextElement(WBXMLTreeNode *parent, const char *name, const char *text,
                              WBXMLTreeNode **node = nullptr);
    DErrorCode AddNumberElement(WBXMLTreeNode *parent, const char *name, uint32_t value);
    // Encodes the tree and spools the bytes into a new request file
    // (StoreWbxmlDataInFile); logs the tree as XML when verbose.
    DErrorCode EncodeTreeToFile(WBXMLTree *tree, VFile **file);
    DErrorCode StoreWbxmlDataInFile(const unsigned char *bytes, uint32_t length, VFile **file);
    // Encodes and spools the tree, then wraps the file in the record with the
    // WBXML content type. The tree is destroyed in every case.
    DErrorCode SpoolRequest(WBXMLTree *tree, DASDS_DataResponse *record);
    // Spools the tree into the record and hands the record to the client.
    // Both are consumed in every case (a null record: generalErrMemoryError).
    DErrorCode DeliverRequest(WBXMLTree *tree, DASDS_DataResponse *record);
    // Waits in the state while the gathering fills the work list from the
    // store; a gathering that fails at once leaves nothing waiting.
    DErrorCode GatherWorkList(uint32_t state, IOutlookItemCollection *store,
                              const std::function<DErrorCode(DActiveTaskSignal *)> &gather);
    // Parses the whole response stream into m_tree (an empty stream:
    // vfileErrEOF).
    DErrorCode ParseResponse(VFile *body);
    // Status rule: "1" is success; else logs the resource text and the number
    // and answers ASDataManagerErrBadStatus. *status receives the number
    // (1 for a missing or empty Status when missingIsSuccess).
    DErrorCode CheckStatus(WBXMLTreeNode *statusNode, uint32_t textId, uint32_t *status);
    // The element's text as a string ("" when none).
    static std::string TextOf(WBXMLTreeNode *element);
    // The first element of that name below node (any depth).
    static WBXMLTreeNode *Find(WBXMLTreeNode *node, const char *name);
    // The node is an element of that name.
    static bool IsNamed(WBXMLTreeNode *node, const char *name);
    // The first direct child of that name.
    static WBXMLTreeNode *Child(WBXMLTreeNode *node, const char *name);
    // A server id (of a folder or an item) the stores hold whole: not empty,
    // at most 127 bytes (what a request carries), no zero byte. A longer or
    // cut id could name another folder or item.
    static bool IsUsableServerID(const std::string &id);
    // A decimal status text; false when it is not one.
    static bool ParseNumber(const std::string &text, uint32_t *value);

    // === Request builders (DActiveSyncDataManagerRequests.cpp) ===
    DErrorCode BuildFolderSyncRequest();
    DErrorCode BuildFolderCreateRequest();
    DErrorCode BuildAirNotifyRequest();
    DErrorCode BuildGetItemEstimateRequest();
    DErrorCode BuildPingRequest();
    DErrorCode BuildProvisionRequest(uint32_t step);
    DErrorCode BuildSearchRequest();
    // Builds, spools and delivers a body built at once as a type-16 record.
    DErrorCode DeliverImmediateRequest(WBXMLTree *tree);
    // One Collection of a GetItemEstimate request.
    DErrorCode AddEstimateCollection(WBXMLTreeNode *collections, DEASFolderInfoRecord *folder,
                                     const char *className, uint32_t filterType);
    // One Folder of a Ping while fewer than max were added; *wanted counts them all.
    DErrorCode AddPingFolder(WBXMLTreeNode *folders, DEASFolderInfoRecord *folder, const char *className,
                             const char *logText, uint32_t max, uint32_t *wanted, uint32_t *added);
    // Logs the resource text with its "%" replaced by the number.
    void LogCountText(uint32_t textId, uint32_t number);

    // === Sync requests (DActiveSyncDataManagerSyncRequest.cpp) ===
    // The folder of the command's type, its class name and log words.
    DErrorCode GetSyncFolder(uint32_t command, DEASFolderInfoRecord **folder);
    // Starts states 19-22: gathers local changes when due, else builds at once.
    DErrorCode CollectSyncCommandData();
    // The whole Sync tree of the command in hand, with the gathered changes.
    DErrorCode GetSyncTree_FolderElement(WBXMLTree **tree, DASDS_SyncDataResponse *record);
    DErrorCode AddSyncOptions(WBXMLTreeNode *collection, uint32_t command);
    // The mail change list from the work list (at most 50 elements).
    DErrorCode GetSyncTree_EMailChangeList(WBXMLTreeNode *collection, DASDS_SyncDataResponse *record);
    // The calendar, contacts or tasks change list (their mappings').
    DErrorCode GetSyncTree_ContCalTaskChangeList(WBXMLTreeNode *collection, DASDS_SyncDataResponse *record);
    DErrorCode BuildAndDeliverSync();
    // Whether the command's local changes go into this Sync.
    bool SyncGathersChanges(uint32_t command, DEASFolderInfoRecord *folder);
    // The item's server id ("" when it has none), of any length.
    static DErrorCode ItemServerID(IOutlookItem *item, std::string *id);

    // === Meeting responses, moves (DActiveSyncDataManagerMailRequests.cpp); sends, attachments
    // (DActiveSyncDataManagerMail.cpp) ===
    DErrorCode CollectMeetingResponse();
    DErrorCode BuildMeetingResponse();
    DErrorCode CollectMoveItems();
    DErrorCode BuildMoveItems();
    DErrorCode CollectSendMail();
    // The send in hand (DActiveSyncDataManagerSend.cpp): state 25 writes the
    // headers and the text, state 27 one attachment per step, the answer
    // files the message. The message waits at the head of the work list.
    IOutlookMessage *MessageToSend() const;
    // The first Outbox message that waits to go (not refused, deleted or
    // moved); null when none. The message store must be open.
    DErrorCode NextOutgoingMessage(IOutlookItem **found);
    // A message the server refused is held back for the rest of its run
    // only: a new run's preparation lets every such message go again.
    DErrorCode ReleaseRefusedMessages();
    // Hands each Outbox message to visit, in order, until it answers stop;
    // visit may take the item (leaving it null). Nothing without an Outbox.
    DErrorCode WalkOutbox(const std::function<DErrorCode(IOutlookItem *&item, bool *stop)> &visit);
    DErrorCode WriteSendHeaders();
    DErrorCode WriteNextAttachment();
    // Reply or forward that cannot go as SmartReply/SmartForward becomes a
    // plain send; *sendType receives the type that goes.
    DErrorCode CheckSendType(IOutlookMessage *message, uint32_t *sendType);
    // The text to send (UTF-8): a smart send's quoted parent text cut off.
    DErrorCode SendBodyText(IOutlookMessage *message, uint32_t sendType, std::string *utf8);
    // Appends the bytes at the end of the send record's body.
    DErrorCode WriteSendBytes(const std::string &bytes);
    // State 59 and the HTTP 500 answer.
    DErrorCode DeliverSentMessage();
    DErrorCode KeepRefusedMessage(IOutlookMessage *message);
    DErrorCode CollectAttachmentFetch();
    // State 23: the first wanted attachment with room becomes the one in hand.
    DErrorCode FindAttachmentToDownload();

    // === Response dispatch (DActiveSyncDataManagerResponses.cpp) ===
    DErrorCode ProcessFolderCreateAnswer();
    DErrorCode ProcessGetItemEstimateAnswer();
    DErrorCode ProcessPingAnswer(DClientResponse **record);
    DErrorCode ProcessProvisionAnswer(DClientResponse **record);
    DErrorCode ProcessSearchAnswer(DClientResponse **record);
    DErrorCode ProcessMeetingResponseAnswer();
    DErrorCode ProcessSendAnswer(DHTTPTransaction *transaction);
    DErrorCode ProcessAttachmentAnswer(DHTTPTransaction *transaction, VFile *body);
    DErrorCode ProcessMoveItemsAnswer();
    // States 41-45 and 61.
    DErrorCode ProcessNextMoveAnswer();
    DErrorCode ProcessMovedMessageFound(DErrorCode found);
    // State 42: the moved message is written back; 43: it is closed.
    DErrorCode CommitMovedMessage(DErrorCode result);
    DErrorCode FinishMovedMessage();
    // Delivers m_response from state 45 and answers activeSyncErrWaitForCallback.
    DErrorCode DeliverFromChain();
    // After a store operation was started with the task's signal: its error
    // only when the store never signalled.
    DErrorCode StoreOpStarted(DErrorCode started);

    // === FolderSync answer (DActiveSyncDataManagerFolderSync.cpp) ===
    DErrorCode ProcessFolderSyncAnswer();
    // State 1: the next child of Changes; *waits when a routine waits.
    DErrorCode ProcessFolderSyncCommandNext();
    DErrorCode ProcessAddFolderCommandData(WBXMLTreeNode *node, bool *waits);
    DErrorCode ProcessDeleteFolderCommandData(WBXMLTreeNode *node, bool *waits);
    DErrorCode ProcessUpdateFolderCommandData(WBXMLTreeNode *node, bool *waits);
    // State 2.
    DErrorCode FinishFolderCommand();
    // State 3 and 4.
    DErrorCode ReloadMailFolders();
    DErrorCode ProcessFolderSyncDone();
    // The whole Changes list checked before anything is applied; duplicate
    // Adds are refused here and taken out of the tree.
    DErrorCode ValidateFolderChanges(WBXMLTreeNode *changes);
    // The server id of the folder's parent, pending or linked ("0": none).
    std::string FolderParentOf(DEASFolderInfoRecord *folder);
    // Whether the folder id under that parent would be its own ancestor.
    bool WouldBeOwnAncestor(const std::string &id, const std::string &parent);
    // Links the folder to its parent, or keeps an unknown parent as pending
    // with that flag.
    DErrorCode SetFolderParent(DEASFolderInfoRecord *folder, const std::string &parent, uint32_t pendingFlag);
    // The message store, made and opened on first need.
    DErrorCode OpenMessageStore();

    // === Sync answer (DActiveSyncDataManagerSyncAnswer.cpp) ===
    DErrorCode ProcessSyncCommandAnswer();
    // States 30 and 34.
    DErrorCode ProcessChangeFromExchange();
    DErrorCode ProcessChange_ItemFind(uint32_t nextState);
    DErrorCode ProcessChange_DeleteItem();
    DErrorCode SyncCommand_SetItemData();
    // States 46-58.
    DErrorCode ItemLookedUp(uint32_t state, DErrorCode found);
    DErrorCode CreateItemForCommand(uint32_t createdState);
    DErrorCode CommitCurrentItem(DErrorCode result);
    DErrorCode CloseCurrentItem();
    DErrorCode PickMajorityTimeZone();
    // Item kind dispatch: the mapping of the item's kind writes the
    // command's ApplicationData into it (ASDataManagerErrItemNotSupported:
    // skip).
    DErrorCode ApplyServerData(IOutlookItem *item, WBXMLTreeNode *command);
    // --- calendar mapping (DActiveSyncDataManagerCalendarItem.cpp) ---
    // The command's data into the meeting; exception: the command is one
    // Exception of a recurring meeting, whose absent tags change nothing.
    DErrorCode ApplyMeetingData(IOutlookMeeting *meeting, WBXMLTreeNode *command, bool exception);
    // The meeting's ApplicationData children under the parent node.
    DErrorCode BuildMeetingData(WBXMLTreeNode *applicationData, IOutlookMeeting *meeting);
    // The failed-item log of a server item (or exception) that could not be
    // applied, and of a device meeting the server refused.
    void LogFailedMeeting(WBXMLTreeNode *command, bool exception);
    void LogRejectedMeeting(IOutlookMeeting *meeting);
    // Recurrence and exceptions (DActiveSyncDataManagerRecurrence.cpp).
    DErrorCode ParseRecurrenceTypeNode(WBXMLTreeNode *node, uint32_t *type);
    // The ApplicationData's Recurrence into the meeting (none clears it).
    DErrorCode SetMeetingRecurrence(IOutlookMeeting *meeting, WBXMLTreeNode *applicationData);
    // One server Exception into the meeting; none moves on to the commit.
    DErrorCode ProcessMeetingExceptions(IOutlookMeeting *meeting, WBXMLTreeNode *exception);
    // State 33: the next waiting Exception of the item in hand.
    DErrorCode RunMeetingExceptionsState(DErrorCode result);
    DErrorCode BuildMeetingRecurrence(WBXMLTreeNode *applicationData, IOutlookMeeting *meeting);
    DErrorCode BuildMeetingExceptions(WBXMLTreeNode *applicationData, IOutlookMeeting *meeting);
    // The next server Exception of the item in hand that state 33 applies
    // (null: none waits); a position in m_tree, set by ApplyMeetingData.
    WBXMLTreeNode *m_meetingException = nullptr;
    // --- end of calendar mapping ---
    // --- contact and task mapping (DActiveSyncDataManagerContactItem.cpp, ...TaskItem.cpp) ---
    // The command's ApplicationData into the contact. A Change replaces the
    // whole contact: the fields it leaves out are cleared. A command without
    // ApplicationData changes nothing (ASDataManagerErrItemNotSupported).
    DErrorCode ApplyContactData(IOutlookContact *contact, WBXMLTreeNode *command);
    // The contact's ApplicationData children under the parent node; empty
    // fields and "no date" dates are left out.
    DErrorCode BuildContactData(WBXMLTreeNode *applicationData, IOutlookContact *contact);
    // The failure log of a local contact the server refused.
    void LogRejectedContact(IOutlookContact *contact);
    // The command's ApplicationData into the task (no ApplicationData: skip).
    DErrorCode ApplyTaskData(IOutlookTask *task, WBXMLTreeNode *command);
    DErrorCode BuildTaskData(WBXMLTreeNode *applicationData, IOutlookTask *task);
    // The task's Recurrence from the ApplicationData; none clears it.
    DErrorCode SetTaskRecurrance(IOutlookTask *task, WBXMLTreeNode *applicationData);
    // Type "0" to "3", "5", "6" as the pattern's type; otherwise
    // ASDataManagerErrUnknownRecurrence.
    DErrorCode ParseTaskRecurrenceTypeNode(WBXMLTreeNode *node, uint32_t *type);
    // The failure logs of a server task that could not be applied and of a
    // local task the server refused.
    void LogFailedServerTask(WBXMLTreeNode *applicationData);
    void LogRejectedTask(IOutlookTask *task);
    // An item made new for this Add that its mapping refused is not counted
    // as added.
    void UncountAddedItem();
    // Tests reach the mappings through it.
    friend struct PimMappingProbe;
    // The first contacts Sync's Supported element: the Contacts tag of each
    // field the contacts store lists (none when it lists none).
    DErrorCode AddContactsSupported(WBXMLTreeNode *collection);
    // --- end of contact and task mapping ---
    // The e-mail mapping of the message's headers (DActiveSyncDataManagerEMailItem.cpp).
    DErrorCode SetMessageHeaders(IOutlookMessage *message, WBXMLTreeNode *applicationData);
    // Its parts: body size and truncation, meeting request, attachment list.
    DErrorCode SetMessageBodyState(IOutlookMessage *message, WBXMLTreeNode *applicationData);
    DErrorCode SetMessageMeetingRequest(IOutlookMessage *message, WBXMLTreeNode *meeting);
    DErrorCode SetMessageAttachments(IOutlookMessage *message, WBXMLTreeNode *attachments);
    // The *first* byte of the command's type (null for other commands).
    BYTE *FirstByteOfCommand();
    // Checks every server command before any is applied: each names its
    // item (ServerId, or ClientId in an answer to a device Add).
    DErrorCode CheckServerCommands();
    // Reports the change counter to the engine's progress operation.
    void ReportChangeProgress();

    // === Sync bookkeeping (DActiveSyncDataManagerCycle.cpp) ===
    DErrorCode SetNextSyncSessionID(const char *key);
    DErrorCode PurgeDeletedAfterSyncProcesssing();
    DErrorCode ClearFlagsAfterSyncProcesssing();
    DErrorCode NotifyManagerOfSyncCycleCompletion();
    DErrorCode CheckIfNeedAdditionalSyncs();
    DErrorCode AdditionalChangesAnswered();
    DErrorCode LogSyncChanges();
    // The store of the command in hand (message folder for e-mail).
    DErrorCode StoreOfCommand(IOutlookItemCollection **store);
    // The sync key rule: none, or exactly "0", is "never synced".
    static bool HasSyncKey(DEASFolderInfoRecord *folder);
    // The folder record of the command's type (e-mail: the current folder).
    DErrorCode FolderOfCommand(DEASFolderInfoRecord **folder);
    // The answer's new sync key, stored once its commands are applied.
    DErrorCode StoreAnsweredSyncKey();
    // Starts the store operation of the end-of-cycle routine (which: 0 purge,
    // 1 clear flags, 2 cycle complete), waiting in next.
    DErrorCode StartCycleOperation(uint32_t which, uint32_t next, const char *routine);

    // === Preparation, probes, clean-up, wipe (DActiveSyncDataManagerPrepare.cpp, ...Probes.cpp, ...Cleanup.cpp) ===
    DErrorCode PrepareForCalendarSync();
    DErrorCode FinishPrepareForCalendarSync(DErrorCode result);
    DErrorCode PrepareForContactsSync(DErrorCode result);
    DErrorCode FinishPrepareForContactsSync(DErrorCode result);
    DErrorCode PrepareForTasksSync(DErrorCode result);
    DErrorCode FinishPrepareForTasksSync(DErrorCode result);
    DErrorCode PrepareForEMailSync(DErrorCode result);
    DErrorCode FinishPrepareForEMailSync(DErrorCode result);
    DErrorCode PrepareDone(DErrorCode result);
    DErrorCode AllocatePimStore(uint32_t kind, DOutlookManager **store);
    DErrorCode AllocateMessageStore();
    DErrorCode ProbeDone(uint32_t state, DErrorCode result);
    DErrorCode CleanUpStep(uint32_t state, DErrorCode result);
    DErrorCode SaveFolderInfo(DErrorCode result);
    // The collection of the folder-info store's current sync folder.
    DErrorCode CurrentMailFolder(DWinMobOutlookMessageCollection **collection);
    // A store operation just started for the state WaitIn set: one that
    // failed without signalling ends the chain; one that signalled its
    // failure takes it to that state.
    DErrorCode StoreStarted(DErrorCode started);
    // Calendar, contacts and tasks (index 0, 1, 2) share the preparation:
    // the store slot, making and opening the store, its reset, its end.
    DOutlookManager **PimStoreSlot(uint32_t index);
    DErrorCode PreparePimStore(uint32_t index);
    DErrorCode FinishPimStore(uint32_t index, DErrorCode result);
    DErrorCode PimStorePrepared(uint32_t index, DErrorCode result);
    // The calendar store found the device's time zone changed.
    void TimeZoneChanged();
    DErrorCode StartPimProbe(DOutlookManager *store, uint32_t state, DActiveTaskSignal *signal, BYTE *changes);
    // The probes of the current mail folder (states 17, 71, 72).
    DErrorCode StartMailFolderProbe(uint32_t state, DActiveTaskSignal *signal);
    // State 69: the mail store emptied, and its sync state with it.
    DErrorCode ResetMailAfterTimeZoneChange();
    // States 65-68: the store's end-of-run clean-up when it exists and its type is on.
    DErrorCode CleanUpStore(DOutlookManager *store, bool on, uint32_t next);
    // State 70.
    DErrorCode WipeDataFromDevice();
    // A store's answer to a probe; written by the store before it signals.
    bool m_probeFlag = false;

    // --- Fields (declared order as the object keeps them) ---
    IActiveSyncDataManagerClient *m_client;
    IGlobalData *m_global;
    ICorvanePreferences *m_prefs;
    ILogProvider *m_log;
    DWinMobMessageManager *m_msg;
    DOutlookManager *m_cal;
    DOutlookManager *m_con;
    DOutlookManager *m_tsk;
    PimStoreAllocator m_allocCal;
    PimStoreAllocator m_allocCon;
    PimStoreAllocator m_allocTsk;
    // The store of the command in hand; not owned.
    IOutlookItemCollection *m_currStore;
    // The item in hand; owned.
    IOutlookItem *m_currItem;
    // Items waiting for the command in hand; owned.
    DListNode<IOutlookItem> m_workList;
    DAttachmentData *m_attachment;
    DListNode<DAttachmentData> m_attachmentList;
    DActiveTaskSignal *m_callerSignal;
    BYTE *m_callerByte;
    DFileBase64Async *m_encoder;
    DEASFolderInfoStore *m_folders;
    uint32_t m_folderKind;
    const WBXMLLangEntry *m_lang;
    // Positions in the parsed tree (m_tree owns them).
    WBXMLTreeNode *m_commandList;
    WBXMLTreeNode *m_currCommand;
    WBXMLTreeNode *m_responseList;
    DClientResponse *m_response;
    DProgressStatusData *m_counter;
    WBXMLTree *m_tree;
    BYTE m_calWanted, m_conWanted, m_tskWanted;
    BYTE m_calChanges, m_conChanges, m_tskChanges;
    BYTE m_retried;
    BYTE m_itemDataSet;
    BYTE m_timeZoneChanged;
    BYTE m_firstEMail, m_firstContacts, m_firstTasks, m_firstCalendar;
    BYTE m_probe;
    uint32_t mCurrASCommand;
    uint32_t m_wipePhase;
    VString m_searchStore;
    VString m_searchQuery;
    uint32_t m_searchFirst;
    uint32_t m_searchLast;
    BYTE m_foldersChanged;
    BYTE m_wipeOrdered;
    // The state the next RunTask runs.
    uint32_t m_state;
    // The folder change in hand while its store work runs (state 2): its
    // tag, server id, new name and new parent.
    std::string m_folderTag;
    std::string m_folderServerID;
    std::string m_folderName;
    std::string m_folderParent;
    // The item in hand failed its item status or its mapping (states 31, 32).
    bool m_itemNotSupported;
    // MoveItems answers processed so far.
    uint32_t m_movesDone;
    // The boundary of the message being written, and whether the head of
    // the attachment list is being encoded into it.
    std::string m_sendBoundary;
    bool m_sendEncoding = false;
};

#endif
