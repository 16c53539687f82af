// The data manager's step machine: each state is one RunTask step. A step
// either starts one store operation that signals the task when done, or
// readies the task at once; a step that does neither ends its chain.
#ifndef QV_DACTIVESYNCDATAMANAGERSTATES_H
#define QV_DACTIVESYNCDATAMANAGERSTATES_H

#include <cstdint>

enum EDataManagerState : uint32_t {
    kDMIdle = 0,                   // no chain runs; an operation of the engine starts one
    // --- FolderSync answer ---
    kDMFolderSyncNext = 1,         // takes the next folder change -> 2 while a folder routine waits, 3 at the end
    kDMFolderCommandDone = 2,      // the folder routine's store work is done: finishes that change -> 1
    kDMFolderSyncReload = 3,       // all changes taken: the message store reloads its folders -> 4
    kDMFolderSyncDone = 4,         // checks the default folders after the first FolderSync -> 40
    // --- preparation for a run ---
    kDMPrepareCalendar = 5,        // makes and opens the calendar store -> 6, or 7 when calendar is off
    kDMFinishCalendar = 6,         // calendar open: empties it when a reset was asked -> 7
    kDMPrepareContacts = 7,        // calendar ready: makes and opens the contacts store -> 8 or 9
    kDMFinishContacts = 8,         // contacts open: empties it when a reset was asked -> 9
    kDMPrepareTasks = 9,           // contacts ready: makes and opens the tasks store -> 10 or 11
    kDMFinishTasks = 10,           // tasks open: empties it when a reset was asked -> 11
    kDMPrepareEMail = 11,          // tasks ready: makes and opens the message store -> 12 or 13
    kDMFinishEMail = 12,           // message store open: empties it when a reset was asked -> 13
    kDMPrepareDone = 13,           // message store ready: finishes the caller -> idle
    // --- local-change probes ---
    kDMCalendarProbeDone = 14,     // the calendar store answered: the answer becomes *changes* -> idle
    kDMContactsProbeDone = 15,     // the contacts store answered -> idle
    kDMTasksProbeDone = 16,        // the tasks store answered -> idle
    kDMEMailProbeDone = 17,        // the current mail folder answered: folder flags 0x04 / 0x40 -> idle
    kDMMovedProbeDone = 18,        // the message store answered whether moved mail waits -> idle
    // --- Sync request ---
    kDMBuildCalendarSync = 19,     // local calendar changes gathered: builds and delivers the Sync body -> idle
    kDMBuildContactsSync = 20,     // as 19 for contacts -> idle
    kDMBuildTasksSync = 21,        // as 19 for tasks -> idle
    kDMBuildEMailSync = 22,        // local mail changes gathered: builds and delivers the Sync body -> idle
    // --- sends, attachments, meeting responses, moves ---
    kDMFindAttachment = 23,        // messages waiting for an attachment gathered: picks one to fetch
    kDMDeliverRequest = 24,        // a send or attachment body is complete: delivers it -> idle
    kDMWriteSendHeaders = 25,      // the message to send found: writes its headers and text -> 27 or 24
    kDMBuildMeetingResponse = 26,  // pending meeting responses gathered: builds the first one's request -> idle
    kDMWriteNextAttachment = 27,   // writes the next attachment of the message being sent -> 27 or 24
    kDMBuildMoveItems = 28,        // moved mail gathered: builds and delivers the MoveItems body -> idle
    // --- Sync answer ---
    kDMPickTimeZone = 29,          // calendar answer without a fixed time zone: picks the commands' majority -> 30
    kDMNextServerChange = 30,      // takes the next server command -> a find or create state, or 36 at the end
    kDMCommitItem = 31,            // the item holds the server's data: commits it -> 32
    kDMCloseItem = 32,             // closes the item -> 34
    kDMMeetingExceptions = 33,     // walks a recurring meeting's exceptions -> 33, then 31 or 32
    kDMServerChangeDone = 34,      // one server command done: moves to the next -> as 30
    kDMPurgeDeleted = 35,          // the store purges the items deleted in the cycle -> 37
    kDMLogChanges = 36,            // all commands done: logs the counts -> 35
    kDMClearFlags = 37,            // the store clears its per-item sync flags -> 38
    kDMNotifyCycleDone = 38,       // the store hears the cycle is over -> 39
    kDMCheckAdditional = 39,       // decides whether the store is asked once more for device changes -> 62 or 40
    kDMDeliverParsed = 40,         // the answer is applied: drops the tree and delivers the record -> idle
    // --- MoveItems answer ---
    kDMNextMoveAnswer = 41,        // takes the next Response and looks its message up -> 61, or 45 at the end
    kDMCommitMoved = 42,           // the message took its new id: commits it -> 43
    kDMFinishMoved = 43,           // finishes the moved message -> 44
    kDMMoveAnswerDone = 44,        // advances to the next Response -> as 41
    kDMDeliverMoves = 45,          // all Responses done: delivers the record -> idle
    // --- finding the item of a server command ---
    kDMServerDelete = 46,          // the item of a server Delete looked up: deletes it -> 34
    kDMCalendarChange = 47,        // the meeting of a server Change looked up -> 31, or 49 to create
    kDMCalendarAdd = 48,           // the meeting of a server Add looked up -> 31, or 49 to create
    kDMCalendarCreated = 49,       // a new meeting made: sets its data -> 31
    kDMContactChange = 50,         // as 47 for contacts (not found: -> 34)
    kDMContactAdd = 51,            // as 48 for contacts
    kDMContactCreated = 52,        // as 49 for contacts
    kDMTaskChange = 53,            // as 47 for tasks (not found: -> 34)
    kDMTaskAdd = 54,               // as 48 for tasks
    kDMTaskCreated = 55,           // as 49 for tasks
    kDMEMailChange = 56,           // as 47 for messages (not found: -> 34)
    kDMEMailAdd = 57,              // as 48 for messages, and for a server Fetch
    kDMEMailCreated = 58,          // as 49 for messages
    kDMDeliverSend = 59,           // the sent message is filed: delivers the send record -> idle
    kDMDeliverAttachment = 60,     // the fetched attachment is stored: delivers the record -> idle
    kDMMovedMessageFound = 61,     // the moved message looked up: applies its Response -> 42 or 43, or 44
    kDMAdditionalChanges = 62,     // the store answered whether more device changes wait -> 40
    // --- end of a run ---
    kDMCleanCalendar = 65,         // the calendar store's end-of-run clean-up -> 66
    kDMCleanContacts = 66,         // the contacts store's clean-up -> 67
    kDMCleanTasks = 67,            // the tasks store's clean-up -> 68
    kDMCleanEMail = 68,            // the message store's clean-up -> 74
    kDMResetAfterTimeZone = 69,    // the time zone changed: the message store is reset first -> 65
    kDMWipe = 70,                  // remote wipe: marks the wipe done -> 74
    kDMAttachmentProbeDone = 71,   // the current mail folder answered: folder flag 0x20 -> idle
    kDMMeetingProbeDone = 72,      // the current mail folder answered: folder flag 0x10 -> idle
    kDMSaveFolderInfo = 74,        // saves the folder-info store and finishes the caller -> idle
};

#endif
