// IActiveSyncDataManager: the half of the engine that knows the data, as the
// engine calls it. It builds each request body, parses each response, and
// carries changes between the server and the device stores. One exists per
// engine, made on the engine's first initialisation and deleted with it.
//
// Contract: every operation returns an error code (0 on success) and runs on
// the engine's thread. An operation that takes a signal starts a chain of
// the data manager's own task and returns at once; the chain signals it
// exactly once, with its result, when it ends. Records (request bodies,
// parsed responses) reach the engine through IActiveSyncDataManagerClient,
// inside the call or later, unless an operation hands one back itself.
#ifndef QV_IACTIVESYNCDATAMANAGER_H
#define QV_IACTIVESYNCDATAMANAGER_H

#include <cstdint>

#include "DActiveTask.h"
#include "DClientResponse.h"
#include "DErrorCode.h"
#include "VFile.h"
#include "VString.h"
#include "wintypes.h"

class DHTTPTransaction;
class IActiveSyncDataManagerClient;
class IGlobalData;

class IActiveSyncDataManager {
public:
    virtual ~IActiveSyncDataManager() = default;

    // --- The operations of the data manager's own list ---

    // Readies the stores and the folder-info store for a run (or a push
    // cycle); signals when all four stores are open.
    virtual DErrorCode PrepareForSync(DActiveTaskSignal *signal) = 0;
    // Starts the request body of the step's command; the body record (types
    // 16 to 21) reaches the engine's ActiveSyncDataManager_RecievedResponse.
    // generalErrIndexOutOfRange: nothing to send for this step.
    virtual DErrorCode CollectCommandData(uint32_t step) = 0;
    // Checks the content type of the step's response and parses its body.
    // Ping, Provision and Search hand their parsed record back in *record
    // (the engine deletes it); other commands' records reach
    // ActiveSyncDataManager_RecievedResponse, and the call may then answer
    // activeSyncErrWaitForCallback while a chain still runs. A send's answer
    // may have no body (body null or empty): the server took the message.
    virtual DErrorCode ProcessCommandData(uint32_t step, DHTTPTransaction *transaction, VFile *body,
                                          DClientResponse **record) = 0;
    // Asks the store of that type whether local changes wait; *changes
    // receives the answer when the signal fires.
    virtual DErrorCode ProbeCalendarChanges(DActiveTaskSignal *signal, BYTE *changes) = 0;
    virtual DErrorCode ProbeContactsChanges(DActiveTaskSignal *signal, BYTE *changes) = 0;
    virtual DErrorCode ProbeTasksChanges(DActiveTaskSignal *signal, BYTE *changes) = 0;
    // Asks the folder-info store's current mail folder whether local changes
    // wait; the answer goes to the folder's flag 0x04.
    virtual DErrorCode ProbeEMailChanges(DActiveTaskSignal *signal) = 0;
    // Asks the current mail folder whether an attachment waits for download
    // (answer to folder flag 0x20).
    virtual DErrorCode ProbeAttachmentDownloads(DActiveTaskSignal *signal) = 0;
    // Asks the current mail folder whether meeting responses wait to be sent
    // (answer to folder flag 0x10).
    virtual DErrorCode ProbeMeetingResponses(DActiveTaskSignal *signal) = 0;
    // Asks the message store whether locally moved messages wait.
    virtual DErrorCode ProbeMovedMail(DActiveTaskSignal *signal, BYTE *moved) = 0;
    // The stores' end-of-cycle clean-up (after a time-zone change, a store
    // reset first).
    virtual DErrorCode EndOfRunCleanup(DActiveTaskSignal *signal) = 0;
    // Opens the message store's inbox for a run that only sends mail.
    virtual DErrorCode PrepareSendOnly(DActiveTaskSignal *signal) = 0;
    // *pending := 1 when the current store holds an item that still waits
    // to go to the server (outgoing mail for a send step).
    virtual DErrorCode CheckPendingItems(BYTE *pending) = 0;
    // *needed := 1 when a type of the user's choice has never been synced
    // (no folder, or its sync key "0").
    virtual DErrorCode NeedsFirstSync(BYTE *needed) = 0;
    // Starts the remote wipe of the device's data at the phase the
    // preferences' wipe state names.
    virtual DErrorCode StartRemoteWipe(uint32_t step, DActiveTaskSignal *signal) = 0;

    // --- Further operations the engine calls ---

    // Finds the ActiveSync language table (before a search run's first request).
    virtual DErrorCode LoadLanguageTable() = 0;
    // The search's store name, query (UTF-8) and range for the Search request.
    virtual DErrorCode SetSearchParameters(const VString &storeName, const VString &query, uint32_t first,
                                           uint32_t last) = 0;
    // Whether the Provision acknowledgement must report a wipe order.
    virtual DErrorCode SetWipeOrdered(BYTE ordered) = 0;
    // *canSend := 1 when the current mail folder holds moved mail that a
    // MoveItems request can carry.
    virtual DErrorCode HasMovedMailToSend(BYTE *canSend) = 0;
    // The attachment downloads of this run are over (none left to fetch, or
    // the step was given up): the messages' pending marks are settled.
    virtual DErrorCode FinishAttachmentWork() = 0;
    // No meeting response is left to send: the work list is dropped.
    virtual DErrorCode FinishMeetingResponses() = 0;
    // The server took every moved message: the moved marks are cleared.
    virtual DErrorCode FinishMovedMail() = 0;
    // Abandons any chain in progress (its task deactivated and reset) and
    // saves the folder-info store; nothing is signalled afterwards.
    virtual DErrorCode CancelAndReset() = 0;
};

// The engine library's data manager for that engine, or
// generalErrMemoryError / generalErrNotImplemented and null.
DErrorCode CreateActiveSyncDataManager(IActiveSyncDataManagerClient *client, IGlobalData *global,
                                       IActiveSyncDataManager **out);

#endif
