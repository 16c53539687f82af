// DWinMobOutlookMessageCollection: one mail folder of the account's message
// store, seen as a collection of messages. The message manager makes one per
// folder the data manager works on (new, Init, Open) and keeps it.
//
// Contract:
// - Folders that track changes (Inbox, Outbox, user folders) have the e-mail
//   shadow database: counting, fetching and the change questions go through
//   the shadow records whose folder id is this folder's entry id. Drafts,
//   Sent Items and Deleted Items have none: for them only GetCount (the
//   contents table's rows), GetName, DeleteItem, ClearSentItems and
//   ClearAllMessageFromMAPIFolder apply.
// - The change questions share one scan: a "Has" question drops the held
//   list and scans again (moving state 1 records to 2); a "Get" question
//   answers from the list a scan made before, so the data manager's
//   HasChangedItems / GetChangedItems pair sees one consistent set.
// - Messages handed out are the caller's; the store, the manager and the
//   shadow database are not owned. Every operation that takes a completion
//   signals it exactly once before it returns.
// - Deletions never run while the rows or records that name them are being
//   read: the messages to delete are collected first, then deleted.
#ifndef QV_DWINMOBOUTLOOKMESSAGECOLLECTION_H
#define QV_DWINMOBOUTLOOKMESSAGECOLLECTION_H

#include <cstdint>
#include <string>
#include <vector>

#include "DWinMobMessagingItem.h"
#include "DWinMobShadowDB.h"
#include "IMessagingItemCollection.h"
#include "ILogProvider.h"
#include "mapi.h"

class DWinMobMessageManager;
class DWinMobOutlookMessage;

class DWinMobOutlookMessageCollection : public IMessagingItemCollection {
public:
    DWinMobOutlookMessageCollection(DWinMobMessageManager *manager, IMsgStore *store, ILogProvider *log);
    // Closes the folder and frees the changed list.
    ~DWinMobOutlookMessageCollection() override;

    // Binds the collection to a folder: its store entry id, its server id and
    // its shadow database (null for Drafts, Sent Items and Deleted Items).
    // A bound collection is closed first.
    DErrorCode Init(const BYTE *entryID, uint32_t size, const char *serverID, DWinMobShadowDB *shadow);

    // --- Accessors for the messages of this folder ---
    const std::vector<BYTE> &GetFolderEntryID() const { return m_item.GetEntryID(); }
    IMsgStore *GetMsgStore() const { return m_store; }
    // Opened on demand; null when it cannot be opened.
    IMAPIFolder *GetMAPIFolder();
    DWinMobShadowDB *GetShadowDB() const { return m_shadow; }
    DWinMobMessageManager *GetMessageManager() const { return m_manager; }
    ILogProvider *GetLogger() const { return m_log; }
    const char *GetServerID() const { return m_item.GetServerIDText().c_str(); }

    // --- IOutlookItem ---
    DErrorCode Open() override;
    DErrorCode Close() override;
    DErrorCode Commit() override;
    DErrorCode CommitNewItem(DActiveTaskSignal *completion) override;
    DErrorCode IsNew(bool *flag) override;
    DErrorCode SetNew(bool flag) override;
    DErrorCode IsDeleted(bool *flag) override;
    DErrorCode SetDeleted(bool flag) override;
    DErrorCode IsSent(bool *flag) override;
    DErrorCode SetSent(bool flag) override;
    DErrorCode IsKeptNew(bool *flag) override;
    DErrorCode SetKeptNew(bool flag) override;
    DErrorCode IsModified(bool *flag) override;
    DErrorCode ClearModified() override;
    DErrorCode GetID(char *buffer, uint32_t size) override;
    DErrorCode SetID(const char *id) override;
    DErrorCode MatchID(const char *id, bool *equal) override;

    // --- IOutlookItemCollection ---
    DErrorCode Reopen() override;
    DErrorCode GetCount(uint32_t *count) override;
    DErrorCode IsEmpty(bool *empty) override;
    DErrorCode GetItem(uint32_t index, IOutlookItem **item) override;
    DErrorCode GetItemByID(const char *serverID, IOutlookItem **item) override;
    DErrorCode GetName(VString *name) override;
    DErrorCode Reserved() override;
    DErrorCode CreateNewItem(uint32_t kind, IOutlookItem **item, DActiveTaskSignal *completion) override;
    DErrorCode DeleteItem(IOutlookItem *item, DActiveTaskSignal *completion) override;
    DErrorCode FindItemByID(const char *serverID, IOutlookItem **item, DActiveTaskSignal *completion) override;
    DErrorCode GetChangedItems(DListNode<IOutlookItem> *list, DActiveTaskSignal *completion) override;
    DErrorCode HasChangedItems(bool *flag, DActiveTaskSignal *completion) override;
    DErrorCode HasMovedItems(bool *flag, DActiveTaskSignal *completion) override;
    DErrorCode GetMovedItems(DListNode<IOutlookItem> *list, DActiveTaskSignal *completion) override;

    // --- IMessagingItemCollection ---
    DErrorCode GetDownloadAttachmentItems(DListNode<IOutlookItem> *list, DActiveTaskSignal *completion) override;
    DErrorCode HasDownloadAttachmentItems(bool *flag, DActiveTaskSignal *completion) override;
    DErrorCode GetMeetingRequestResponseItems(DListNode<IOutlookItem> *list, DActiveTaskSignal *completion) override;
    DErrorCode HasMeetingRequestResponseItems(bool *flag, DActiveTaskSignal *completion) override;
    DErrorCode MoveToSentItems(IOutlookMessage *message, DActiveTaskSignal *completion) override;

    // --- Called by the message manager ---
    // Deletes the sent messages old enough for the preference
    // DeleteSentItemDateRange (0 none, 1 all, 2-5: 3, 7, 14, 30 days).
    DErrorCode ClearSentItems(uint32_t dateRange);
    // Deletes every message of the folder from the store.
    DErrorCode ClearAllMessageFromMAPIFolder();
    // Deletes every shadow record of this folder.
    DErrorCode DeleteShadowRecords();

    // The collection is a task only to fit the collection family: it has no steps.
    DErrorCode RunTask() override { return kNoError; }
    void CancelTask() override {}

private:
    // The change questions, each with the shadow-record test that admits a record.
    enum EQuestion : uint32_t {
        kQuestionNone = 0,
        kQuestionChanged = 1,
        kQuestionMoved = 2,
        kQuestionMeetingResponse = 3,
        kQuestionDownloadAttachment = 4,
    };

    DErrorCode OpenFolder();
    void CloseFolder();
    DErrorCode GetMAPIContentsTable(IMAPITable **table);
    DErrorCode GetMAPIContentsTableRowCount(uint32_t *count);
    // The entry ids of every row of the contents table whose age (in whole
    // days) reaches minAgeDays; with minAgeDays 0 every row. withTime
    // reads the last-modification time as the second column.
    DErrorCode CollectMessages(bool withTime, uint32_t minAgeDays, std::vector<std::vector<BYTE>> *ids);
    // Deletes the messages from the folder, in one call.
    DErrorCode DeleteMessages(const std::vector<std::vector<BYTE>> &ids);

    // A new message over a shadow record of this folder; the caller owns it.
    DErrorCode MessageFromRecord(DWinMobShadowRecord *record, IOutlookItem **item);
    DErrorCode SetupNewMessageObject(DWinMobOutlookMessage **message);
    DErrorCode LoadShadowChangedItemList();
    void FreeChangedList();
    DErrorCode Admits(EQuestion question, DWinMobShadowRecord *record, bool *admitted);
    // The common body of the eight questions.
    DErrorCode Ask(EQuestion question, const char *name, bool *flag, DListNode<IOutlookItem> *list,
                   DActiveTaskSignal *completion);

    // The index-th shadow record of the folder, continuing the last sweep
    // when it can; generalErrIndexOutOfRange past the end.
    DErrorCode FolderRecordAt(uint32_t index, DWinMobShadowRecord *record);

    void LogText(const char *text);
    void LogCode(const char *text, DErrorCode code);
    void LogCount(const char *text, uint32_t count);

    DWinMobMessageManager *m_manager;
    IMsgStore *m_store;
    ILogProvider *m_log;
    // The folder's identity: its entry id and server id.
    DWinMobMessagingItem m_item;
    DWinMobShadowDB *m_shadow;
    IMAPIFolder *m_folder;
    IMAPITable *m_contents;
    bool m_opened;
    // The last scan's changed records of this folder (object ids, owned).
    CEOID *m_changed;
    uint32_t m_changedCount;
    bool m_haveChangedList;
    // The question being answered.
    EQuestion m_question;
    // Where the last GetItem left the folder's records, so that a sweep by
    // ascending index costs one step per item: the next index, the database
    // position after the record handed out, and that record's object id
    // (checked before use: a record removed before it moves the positions).
    uint32_t m_walkNext;
    uint32_t m_walkPosition;
    CEOID m_walkOid;
};

#endif
