// DEASFolderInfoStore: the server's folder hierarchy as the last FolderSync
// left it, one DEASFolderInfoRecord per folder, with the FolderSync key in
// the file header ("FolderInfo.brw", snapshot "FolderInfo.ro"). Read by the
// engine, the scheduler and the messaging transport (read-only, from the
// snapshot); written by the engine's data manager.
//
// Contract:
// - Lookups that find nothing return generalErrItemNotFound and a null
//   record; file and format errors are those of DSimpleDBVFile.
// - Two walks keep cursors: the sync-folder walk (NextSyncFolder: the Inbox,
//   then the user mail folders that sync) and the flagged-folder walk
//   (NextFlaggedFolder: folders with flag 0x2). Removing a folder keeps both
//   walks in step: a removed current folder is no longer current, and the
//   walk goes on with the folder that followed it.
// - The cursors survive Close and reopen (a writer's session switches the
//   store between read-only and read/write in the middle of a walk).
#ifndef QV_DEASFOLDERINFOSTORE_H
#define QV_DEASFOLDERINFOSTORE_H

#include "DEASFolderInfoRecord.h"
#include "DSimpleDBVFile.h"

// ActiveSync folder types the store's rules name.
enum DEASFolderType : uint32_t {
    kFolderTypeGeneric = 1,
    kFolderTypeInbox = 2,
    kFolderTypeDrafts = 3,
    kFolderTypeDeletedItems = 4,
    kFolderTypeSentItems = 5,
    kFolderTypeOutbox = 6,
    kFolderTypeTasks = 7,
    kFolderTypeCalendar = 8,
    kFolderTypeContacts = 9,
    kFolderTypeNotes = 10,
    kFolderTypeJournal = 11,
    kFolderTypeUserMail = 12,
    kFolderTypeUserCalendar = 13,
    kFolderTypeUserContacts = 14,
    kFolderTypeUserTasks = 15,
    kFolderTypeUserJournal = 16,
    kFolderTypeUserNotes = 17,
};

// The types whose folders hold mail: the five special mail folders and user mail folders.
inline bool IsMailFolderType(uint32_t type) {
    return (type >= kFolderTypeInbox && type <= kFolderTypeOutbox) || type == kFolderTypeUserMail;
}

class DEASFolderInfoStore : public DSimpleDBVFile {
public:
    explicit DEASFolderInfoStore(VFile *file = nullptr) : DSimpleDBVFile(file) {}

    // The FolderSync key in the header ("0" when there is none); null clears it.
    DErrorCode GetFolderSyncKey(const char **key);
    DErrorCode SetFolderSyncKey(const char *key);
    DErrorCode ResetFolderSyncKey() { return SetFolderSyncKey("0"); }

    DErrorCode GetFolderAt(uint32_t index, DEASFolderInfoRecord **out);
    // A new folder with fields 0, 1, 5, 2 (default ""), 3 (default "0"), 6
    // (only with data and a length) and 4, in that order.
    DErrorCode AddFolder(DEASFolderInfoRecord **out, uint32_t type, const char *serverID, const char *displayName,
                         const char *syncKey, const void *data, uint32_t dataLength, uint32_t parentRecordID,
                         uint32_t flags);

    // Exact, case-sensitive match of the server id.
    DErrorCode FindFolderByServerID(const char *serverID, DEASFolderInfoRecord **out);
    DErrorCode FindFolderByData(const void *bytes, uint32_t length, DEASFolderInfoRecord **out);
    // *index: the folder found last (kQvUnknown: search from the start).
    DErrorCode FindFolderIndexByType(uint32_t type, uint32_t *index);
    // *folder: the folder found last (null: search from the start).
    DErrorCode FindNextFolderOfType(uint32_t type, DEASFolderInfoRecord **folder);
    DErrorCode FindFirstFolderOfType(uint32_t type, DEASFolderInfoRecord **out);
    // The next folder after *child (null: from the start) whose parent, or
    // pending parent, is parent. A folder is never its own child, and a
    // parent the server has not named yet (server id "0") has only the
    // children that name its record.
    DErrorCode FindNextChild(DEASFolderInfoRecord *parent, DEASFolderInfoRecord **child);

    // Removes the folder and everything below it; each folder is visited
    // once, so parent links that loop end the walk.
    DErrorCode RemoveFolderTree(DEASFolderInfoRecord *folder);
    DErrorCode RemoveAllFolders();
    DErrorCode ResetAllSyncKeys();
    // The reset rule for a set of folder types: sync key "0"; flags 0x1 for
    // the default folders (Inbox, Tasks, Calendar, Contacts, Notes,
    // Journal), else 0; with remove, the folders are then removed.
    DErrorCode ResetFoldersOfTypes(const uint32_t *types, uint32_t count, bool remove);
    DErrorCode ResetMailFolders(bool remove);
    DErrorCode ResetCalendarFolders(bool remove);
    DErrorCode ResetContactFolders(bool remove);
    DErrorCode ResetTaskFolders(bool remove);
    DErrorCode ResetNoteFolders(bool remove);
    DErrorCode ResetJournalFolders(bool remove);
    DErrorCode ResetGenericFolders(bool remove);
    // SetFlag on, or any bit of mask set in, the Inbox and user mail folders.
    DErrorCode SetMailFolderFlag(uint32_t mask, bool on);
    DErrorCode IsMailFolderFlagSet(uint32_t mask, bool *out);

    // The next folder with flag 0x2 after the cursor; *found false at the
    // end, which returns the cursor to none.
    DErrorCode NextFlaggedFolder(bool *found);
    // generalErrNULLPointer when the walk is on no folder.
    DErrorCode GetCurrentFlaggedFolder(DEASFolderInfoRecord **out);
    uint32_t GetFlaggedFolderCursor() const { return m_flaggedCursor; }

    // The Inbox first, then each user mail folder that has flag 0x1 (or any,
    // with all) and a device identifier; generalErrItemNotFound after the
    // last, which starts the walk again.
    DErrorCode NextSyncFolder(bool all);
    // The folder NextSyncFolder chose; generalErrNULLPointer when none.
    DErrorCode GetCurrentFolder(DEASFolderInfoRecord **out);
    // Starts the sync-folder walk again.
    void ClearCurrentFolder();

protected:
    DSimpleDBRecord *NewRecord(uint32_t recordID) override;
    DSimpleDBVFileHeader *NewHeader() override;
    void RecordRemoved(uint32_t index, uint32_t recordID) override;

private:
    bool IsChildOf(DEASFolderInfoRecord *folder, DEASFolderInfoRecord *parent);
    DErrorCode IndexOf(DEASFolderInfoRecord *folder, uint32_t *index);

    // Sync-folder walk: the current folder's index, and where the search
    // for the next user mail folder starts (kQvUnknown: the walk has not
    // begun, so the Inbox comes next).
    uint32_t m_currentFolder = kQvUnknown;
    uint32_t m_nextMailSearch = kQvUnknown;
    // Flagged-folder walk: the index it reached and the id of the current
    // folder (kQvUnknown: none, e.g. after its removal).
    uint32_t m_flaggedCursor = kQvUnknown;
    uint32_t m_flaggedRecordID = kQvUnknown;
};

#endif
