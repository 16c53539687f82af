// DWinMobMessageManager: the device side of e-mail. It opens a message-store
// session, finds the account's own store by its display name, resolves the
// named message properties, owns the e-mail shadow database, and keeps the
// store's folders in step with the server's mail folders as FolderSync
// reports them: the server's Inbox, Drafts, Deleted Items, Sent Items and
// Outbox bind to the store's special folders; every user mail folder gets a
// store folder of its own, unless its parent is not mirrored (it lies below
// Deleted Items or a non-mail folder), in which case it is flagged 0x0080.
//
// Contract:
// - The manager never creates the account's store: without a store named
//   "Vantrel" ("Vantrel E-Mail" on the Smartphone edition, matched exactly)
//   Open fails with generalErrNULLPointer (0x07370003), opens no shadow
//   database and changes nothing.
// - It hands out one collection per folder and keeps each until Close; the
//   collections' users must not delete them.
// - Every operation that takes a request completes it exactly once with
//   its result code; nothing blocks.
#ifndef QV_DWINMOBMESSAGEMANAGER_H
#define QV_DWINMOBMESSAGEMANAGER_H

#include <cstdint>

#include "DEASFolderInfoStore.h"
#include "DMessageManager.h"
#include "DWinMobOutlookMessageCollection.h"
#include "DWinMobShadowDB.h"
#include "mapi.h"

// Folder-info flags of the mail folders that the manager reads and sets.
constexpr uint32_t kMailFolderFlagUnmirrored = 0x0080;  // no store folder: its parent is not mirrored
constexpr uint32_t kMailFolderFlagMovedInto = 0x0400;   // messages were moved into it on the device
constexpr uint32_t kMailFolderFlagDiscard = 0x0800;     // its store contents are to be discarded

class DWinMobMessageManager : public DMessageManager {
public:
    DWinMobMessageManager();
    // Closes, then the bases clean up.
    ~DWinMobMessageManager() override;

    // The plain Open of an item is not the manager's: its open is
    // asynchronous (OpenAsync runs Open(request)).
    DErrorCode Open() override;
    DErrorCode Open(DActiveTaskSignal *request);
    DErrorCode OpenAsync(DActiveTaskSignal *completion) override;
    DErrorCode Close() override;

    // The store as a collection of folders: only the lookup by folder id
    // means something; the rest answers generalErrNotImplemented.
    DErrorCode Reopen() override;
    DErrorCode GetName(VString *name) override;
    DErrorCode Reserved() override;
    DErrorCode CreateNewItem(uint32_t kind, IOutlookItem **item, DActiveTaskSignal *completion) override;
    DErrorCode DeleteItem(IOutlookItem *item, DActiveTaskSignal *completion) override;
    DErrorCode FindItemByID(const char *serverID, IOutlookItem **item, DActiveTaskSignal *completion) override;
    DErrorCode GetChangedItems(DListNode<IOutlookItem> *list, DActiveTaskSignal *completion) override;
    DErrorCode HasChangedItems(bool *flag, DActiveTaskSignal *completion) override;

    DErrorCode HasMovedItems(bool *result, DActiveTaskSignal *request) override;
    DErrorCode SyncCycleCompleted(DActiveTaskSignal *request) override;
    DErrorCode CleanUpStore(DActiveTaskSignal *request) override;
    DErrorCode StartCompleteTask(DActiveTaskSignal *request) override;
    // The purge walks the shadow database, from its start.
    DErrorCode StartPurgeTask(DActiveTaskSignal *request) override;

    // The collection of the folder-info store's current flagged folder.
    DErrorCode GetCurrentMailFolderCollection(DWinMobOutlookMessageCollection **collection);
    // The collection of the mail folder with that server id (the manager keeps it).
    DErrorCode GetMailFolderCollection(const char *serverID, DWinMobOutlookMessageCollection **collection);
    // The special folders' collections; the manager keeps them.
    DErrorCode GetInboxCollection(DWinMobOutlookMessageCollection **collection);
    DErrorCode GetOutboxCollection(DWinMobOutlookMessageCollection **collection);
    DErrorCode GetDraftsCollection(DWinMobOutlookMessageCollection **collection);
    DErrorCode GetSentItemsCollection(DWinMobOutlookMessageCollection **collection);
    DErrorCode GetDeletedItemsCollection(DWinMobOutlookMessageCollection **collection);

    // A message that the server accepted: deleted when the preference
    // DeleteSentItemDateRange is 1, else marked read and moved to Sent Items.
    DErrorCode FinishSentMessage(DWinMobOutlookMessageCollection *collection, IOutlookMessage *message,
                                 DActiveTaskSignal *request);
    DErrorCode OpenInboxAsync(DActiveTaskSignal *request);
    DErrorCode OpenInboxAsyncAlt(DActiveTaskSignal *request);

    // FolderSync's changes to the mail folders.
    DErrorCode AddMailFolder(const char *serverID, DActiveTaskSignal *request);
    DErrorCode DeleteMailFolder(const char *serverID, DActiveTaskSignal *request);
    // Null parent or name: unchanged.
    DErrorCode UpdateMailFolder(const char *serverID, const char *newParentID, const char *newDisplayName,
                                DActiveTaskSignal *request);
    DErrorCode ReconcileMailFolders(DActiveTaskSignal *request);

    // A new, open collection over the folder; the caller owns it.
    DErrorCode AllocateOutlookItemCollection(DEASFolderInfoRecord *folder,
                                             IMessagingItemCollection **collection) override;
    // Binds an existing collection to the folder again.
    DErrorCode ReinitOutlookItemCollection(DEASFolderInfoRecord *folder, DWinMobOutlookMessageCollection *collection);

    DEASFolderInfoStore *GetFolderInfoStore() const { return GetFolderStore(); }
    IMsgStore *GetMsgStore() const { return m_store; }
    DWinMobShadowDB *GetShadowDB() const { return m_shadow; }
    ILogProvider *GetLogger() const { return m_log; }
    // The tag of "X-QV-BRWFolderID" (0 until resolved).
    ULONG GetFolderIDTag() const { return m_tagFolderID; }
    // The preference DeleteSentItemDateRange (0 without preferences).
    uint32_t GetDeleteSentItemDateRange() const;

protected:
    DErrorCode GetInboxCollection(IMessagingItemCollection **collection) override;
    DErrorCode GetOutboxCollection(IMessagingItemCollection **collection) override;
    DErrorCode GetDraftsCollection(IMessagingItemCollection **collection) override;
    DErrorCode GetSentItemsCollection(IMessagingItemCollection **collection) override;
    DErrorCode GetDeletedItemsCollection(IMessagingItemCollection **collection) override;
    DErrorCode DeleteStoreFolder(const char *serverID) override;

    DErrorCode CompleteSentItems() override;
    DErrorCode PurgeDeletedItems() override;
    DErrorCode DeleteAllInCurrFolder() override;
    DErrorCode FinishTask(DErrorCode result, uint32_t job) override;

private:
    DErrorCode InitializeMAPI();
    DErrorCode OpenMsgStore();
    DErrorCode CompletePrepareForSync();
    DErrorCode TypedCollection(uint32_t type, DWinMobOutlookMessageCollection **collection);
    // The collection over the store's own Outbox, for a server that names none.
    DErrorCode StoreOutboxCollection(DWinMobOutlookMessageCollection **collection);

    // --- Folder binding (DWinMobMessageFolders.cpp) ---
    // Whether folders below this parent get store folders.
    bool IsParentMirrored(const char *parentServerID);
    bool IsFolderParentMirrored(DEASFolderInfoRecord *folder);
    DErrorCode OpenStoreFolder(const BYTE *entryID, uint32_t size, IMAPIFolder **folder);
    // The store folder under which this folder's store folder lies (the IPM
    // subtree for a folder at the root).
    DErrorCode OpenParentStoreFolder(DEASFolderInfoRecord *folder, IMAPIFolder **parent);
    DErrorCode ReadStoreEntryID(ULONG tag, std::vector<BYTE> *entryID);
    // Creates (or opens) the folder's store folder under its parent and keeps its entry id.
    DErrorCode CreateStoreFolder(DEASFolderInfoRecord *folder);
    // Creates the store folders of the folder and, depth first, its subfolders.
    DErrorCode CreateStoreFolderTree(DEASFolderInfoRecord *folder);
    // Deletes the shadow records of the messages of the folder and all its subfolders.
    DErrorCode DeleteShadowRecordsOfTree(DEASFolderInfoRecord *folder, uint32_t depth);
    DErrorCode DeleteShadowRecordsOfFolder(const std::vector<BYTE> &entryID);
    // Deletes the folder's store folder with its messages and subfolders;
    // success when it is gone from its parent or from Deleted Items, or was gone before.
    DErrorCode RemoveStoreFolder(DEASFolderInfoRecord *folder);
    // Sets or clears a flag on the folder and all its subfolders.
    DErrorCode SetTreeFlag(DEASFolderInfoRecord *folder, uint32_t flag, bool on, uint32_t depth);
    // Forgets the entry ids of the folder and all its subfolders.
    DErrorCode ForgetTreeEntryIDs(DEASFolderInfoRecord *folder, uint32_t depth);
    DErrorCode MoveStoreFolder(DEASFolderInfoRecord *folder, DEASFolderInfoRecord *newParent);
    DErrorCode RenameStoreFolder(DEASFolderInfoRecord *folder, const char *name);
    // The "X-QV-BRWFolderID" property on a store folder the engine created.
    DErrorCode TagStoreFolder(IMAPIFolder *storeFolder, DEASFolderInfoRecord *folder);
    // Open collections of the folder and its subfolders follow a new store
    // folder (a rebind or a re-creation).
    void RefreshCollections(DEASFolderInfoRecord *folder, uint32_t depth);
    DErrorCode BindMailFolder(DEASFolderInfoRecord *folder);
    DErrorCode ReconcileFolder(DEASFolderInfoRecord *folder);
    DErrorCode UpdateFolder(DEASFolderInfoRecord *folder, const char *newParentID, const char *newDisplayName);
    DErrorCode DeleteFolder(DEASFolderInfoRecord *folder);

    void Complete(DActiveTaskSignal *request, DErrorCode code);

    IMAPISession *m_session;
    IMsgStore *m_store;
    bool m_mapiInitialized;
    DActiveTaskSignal *m_request;
    DWinMobShadowDB *m_shadow;
    DWinMobOutlookMessageCollection *m_storeOutbox;  // owned; none until asked for
    ULONG m_tagServerID;
    ULONG m_tagParentServerID;
    ULONG m_tagSendType;
    ULONG m_tagGlobalObjID;
    ULONG m_tagWhere;
    ULONG m_tagFolderID;
};

// new, then InitForSync; the caller owns the manager.
DErrorCode AllocateMessageManager(DWinMobMessageManager **manager, IGlobalData *context,
                                  IOutlookManagerClient *client);

#endif
