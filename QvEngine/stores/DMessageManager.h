// DMessageManager: the mail store's manager base. Seen as a collection, the
// mail store is a set of mail folders: the folder-info store's folders of
// types 2 to 6 (Inbox, Drafts, Deleted Items, Sent Items, Outbox) and 12
// (user mail folders), each handed out as one mail-folder collection.
//
// Contract:
// - The manager owns the mail-folder collections it opens and keeps them
//   until ForgetCollection, DeleteAllCollections or its destruction.
//   GetItem and GetItemByID hand out these collections: unlike other
//   collections' items, the caller must not delete them.
// - DeleteExistingItems empties every mail folder, one folder per pass of
//   job 3: the special folders message by message, then each user folder
//   by deleting the store folder as a whole. The requester is signalled
//   once, when the last pass ends or a pass fails.
// - The platform class supplies the message store itself: opening a
//   folder's collection, the special folders' collections, deleting a store
//   folder, and jobs 1 and 2 (the mail store completes and purges through
//   its change records).
#ifndef QV_DMESSAGEMANAGER_H
#define QV_DMESSAGEMANAGER_H

#include <cstdint>
#include <string>
#include <vector>

#include "DEASFolderInfoRecord.h"
#include "DOutlookManager.h"
#include "IMessagingItemCollection.h"

// Where DeleteExistingItems' walk over the mail folders stands: the folder
// that the next pass of job 3 takes.
enum EMessageFolderStep : uint32_t {
    // Takes the Inbox, then the Outbox.
    kFolderStepInbox = 0,
    // Takes the Outbox, then Drafts.
    kFolderStepOutbox = 1,
    // Takes Drafts, then Sent Items.
    kFolderStepDrafts = 2,
    // Takes Sent Items, then Deleted Items.
    kFolderStepSentItems = 3,
    // Takes Deleted Items, then the user folders.
    kFolderStepDeletedItems = 4,
    // The special folders are done: goes straight on to the user folders.
    kFolderStepSpecialDone = 5,
    // Takes the next user folder whose collection opens; stays here until
    // none is left, then finished.
    kFolderStepUserFolders = 6,
    // Every folder is done: the pass that ends here completes the requester.
    kFolderStepFinished = 7,
};

class DMessageManager : public DOutlookManager {
public:
    DMessageManager();
    // Deletes the collections it still keeps.
    ~DMessageManager() override;

    // Starts job 3 over every mail folder, from the Inbox.
    DErrorCode DeleteExistingItems(DActiveTaskSignal *completion) override;

    // The number of mail folders (types 2 to 6 and 12) in the folder-info store.
    DErrorCode GetCount(uint32_t *count) override;
    // The collection of the index-th mail folder (in the order GetCount
    // counts them); the manager keeps it.
    DErrorCode GetItem(uint32_t index, IOutlookItem **item) override;
    // The collection of the folder with this server id: an open one whose
    // MatchID accepts the id, else a new one, linked into the manager's
    // list; the manager keeps it. generalErrItemNotFound for an unknown id.
    DErrorCode GetItemByID(const char *serverID, IOutlookItem **item) override;

    void CancelTask() override;

    uint32_t GetFolderStep() const { return m_folderStep; }

protected:
    // --- Supplied by the platform class ---

    // A new, open collection over the folder's store folder, with the
    // folder's change records where it has them; the caller owns it.
    // generalErrItemNotFound when the store folder cannot be found,
    // messageManagerErrUnsupportedType for a folder that is not mail.
    virtual DErrorCode AllocateOutlookItemCollection(DEASFolderInfoRecord *folder,
                                                     IMessagingItemCollection **collection) = 0;
    // The collection of the folder-info store's folder of type 2, 6, 3, 5
    // or 4 (e.g. through GetFolderCollectionOfType); the manager keeps it.
    // generalErrItemNotFound when there is no such folder or store folder.
    virtual DErrorCode GetInboxCollection(IMessagingItemCollection **collection) = 0;
    virtual DErrorCode GetOutboxCollection(IMessagingItemCollection **collection) = 0;
    virtual DErrorCode GetDraftsCollection(IMessagingItemCollection **collection) = 0;
    virtual DErrorCode GetSentItemsCollection(IMessagingItemCollection **collection) = 0;
    virtual DErrorCode GetDeletedItemsCollection(IMessagingItemCollection **collection) = 0;
    // Deletes the store folder of the user mail folder (type 12) with this
    // server id, with its messages, its subfolders and their change
    // records; the folder-info store is left as it is.
    virtual DErrorCode DeleteStoreFolder(const char *serverID) = 0;
    // Jobs 1 and 2 of the mail store, over its change records.
    DErrorCode CompleteSentItems() override = 0;
    DErrorCode PurgeDeletedItems() override = 0;

    // --- Job 3 over the mail folders ---

    // A user folder is deleted as a whole; any other folder message by message.
    DErrorCode DeleteAllInCurrFolder() override;
    // A pass that ended well moves on to the next folder with the same
    // requester; the last pass, or a failed one, ends the job.
    DErrorCode FinishTask(DErrorCode result, uint32_t job) override;

    // The type of the folder that job 3 is emptying (0: none) and its
    // server id ("" for the special folders).
    uint32_t GetCurrentFolderType() const { return m_folderType; }
    const char *GetCurrentFolderServerID() const { return m_folderServerID.c_str(); }

    // --- The open collections ---

    // The collection of the folder with this server id, opened and kept
    // when it is not open yet (GetItemByID, typed).
    DErrorCode GetFolderCollection(const char *serverID, IMessagingItemCollection **collection);
    // The collection of the first folder of the type (GetFolderCollection).
    DErrorCode GetFolderCollectionOfType(uint32_t type, IMessagingItemCollection **collection);
    // The open collection whose MatchID accepts the id; generalErrItemNotFound.
    DErrorCode FindOpenCollection(const char *serverID, IMessagingItemCollection **collection);
    // Unlinks the collection from the list and deletes it (a job that walks
    // it walks nothing any more); generalErrItemNotFound when not kept here.
    DErrorCode ForgetCollection(IMessagingItemCollection *collection);
    // Deletes every kept collection.
    void DeleteAllCollections();

    // The folder-info store of the context; null before InitForSync.
    DEASFolderInfoStore *GetFolderStore() const;

private:
    // One pass of job 3: starts the job and takes the folder of the step.
    DErrorCode StartFolderPass(DActiveTaskSignal *requester);
    // The collection of the step's folder (null: none), moving the step on.
    DErrorCode TakeNextFolder(IMessagingItemCollection **collection);
    // The next user folder after the cursor whose collection opens.
    DErrorCode TakeNextUserFolder(IMessagingItemCollection **collection);
    // A mail folder: type 2 to 6 or 12.

    std::vector<IMessagingItemCollection *> m_collections;
    // EMessageFolderStep.
    uint32_t m_folderStep;
    // The folder being emptied.
    uint32_t m_folderType;
    std::string m_folderServerID;
    // The user-folder walk: the last folder taken (record id and index; the
    // walk goes on after it, or at its index when it is gone).
    uint32_t m_userFolderRecordID;
    uint32_t m_userFolderIndex;
};

#endif
