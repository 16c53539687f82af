// The objects the store hands out: the store itself, folders, messages and
// attachments, each a view of one object row of mapi.db by its id; nothing
// of the file is cached in them except a message's unsaved changes.
#ifndef VPLATFORM_MAPISTOREOBJECTS_H
#define VPLATFORM_MAPISTOREOBJECTS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mapiprop.h"

namespace vplat {

// One message store.
class MapiStore : public MapiProp<IMsgStore> {
public:
    explicit MapiStore(int64_t store) : MapiProp(store, store, MAPI_STORE) {}

    HRESULT Advise(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask, LPMAPIADVISESINK lpAdviseSink,
                   ULONG *lpulConnection) override;
    HRESULT Unadvise(ULONG ulConnection) override;
    HRESULT CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2, LPENTRYID lpEntryID2,
                            ULONG ulFlags, ULONG *lpulResult) override;
    HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG *lpulObjType,
                      LPUNKNOWN *lppUnk) override;

protected:
    bool Implements(REFIID) const override { return false; }
};

// One folder: its messages and subfolders.
class MapiFolder : public MapiProp<IMAPIFolder> {
public:
    MapiFolder(int64_t store, int64_t id) : MapiProp(store, id, MAPI_FOLDER) {}
    int64_t Id() const { return m_core.Id(); }
    int64_t Store() const { return m_core.Store(); }

    HRESULT GetContentsTable(ULONG ulFlags, LPMAPITABLE *lppTable) override;
    HRESULT GetHierarchyTable(ULONG ulFlags, LPMAPITABLE *lppTable) override;
    HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG *lpulObjType,
                      LPUNKNOWN *lppUnk) override;
    HRESULT CreateMessage(LPCIID lpInterface, ULONG ulFlags, LPMESSAGE *lppMessage) override;
    HRESULT CopyMessages(LPENTRYLIST lpMsgList, LPCIID lpInterface, LPVOID lpDestFolder, ULONG ulUIParam,
                         LPMAPIPROGRESS lpProgress, ULONG ulFlags) override;
    HRESULT DeleteMessages(LPENTRYLIST lpMsgList, ULONG ulUIParam, LPMAPIPROGRESS lpProgress, ULONG ulFlags) override;
    HRESULT CreateFolder(ULONG ulFolderType, LPTSTR lpszFolderName, LPTSTR lpszFolderComment, LPCIID lpInterface,
                         ULONG ulFlags, IMAPIFolder **lppFolder) override;
    HRESULT CopyFolder(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, LPVOID lpDestFolder,
                       LPTSTR lpszNewFolderName, ULONG ulUIParam, LPMAPIPROGRESS lpProgress, ULONG ulFlags) override;
    HRESULT DeleteFolder(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulUIParam, LPMAPIPROGRESS lpProgress,
                         ULONG ulFlags) override;
    HRESULT EmptyFolder(ULONG ulUIParam, LPMAPIPROGRESS lpProgress, ULONG ulFlags) override;

protected:
    bool Implements(REFIID riid) const override;
};

// One recipient of a message as ModifyRecipients and the table see it.
struct MapiRecipient {
    int64_t rowid = 0;
    std::vector<MapiValue> props;  // PR_ROWID not among them
};

// One message; its property and recipient changes wait for SaveChanges.
class MapiMessage : public MapiProp<IMessage> {
public:
    MapiMessage(int64_t store, int64_t id) : MapiProp(store, id, MAPI_MESSAGE) {}

    HRESULT SaveChanges(ULONG ulFlags) override;
    HRESULT GetAttachmentTable(ULONG ulFlags, LPMAPITABLE *lppTable) override;
    HRESULT OpenAttach(ULONG ulAttachmentNum, LPCIID lpInterface, ULONG ulFlags, LPATTACH *lppAttach) override;
    HRESULT CreateAttach(LPCIID lpInterface, ULONG ulFlags, ULONG *lpulAttachmentNum, LPATTACH *lppAttach) override;
    HRESULT DeleteAttach(ULONG ulAttachmentNum, ULONG ulUIParam, LPMAPIPROGRESS lpProgress, ULONG ulFlags) override;
    HRESULT GetRecipientTable(ULONG ulFlags, LPMAPITABLE *lppTable) override;
    HRESULT ModifyRecipients(ULONG ulFlags, LPADRLIST lpMods) override;
    HRESULT SubmitMessage(ULONG ulFlags) override;

protected:
    bool Implements(REFIID riid) const override;

private:
    HRESULT LoadRecipients();

    // The recipient list with its unsaved changes, once ModifyRecipients
    // touched it; the next row id to give.
    std::optional<std::vector<MapiRecipient>> m_recipients;
    int64_t m_nextRow = 0;
};

// One attachment of a message.
class MapiAttach : public MapiProp<IAttach> {
public:
    MapiAttach(int64_t store, int64_t id) : MapiProp(store, id, MAPI_ATTACH) {}

protected:
    bool Implements(REFIID) const override { return false; }
};

// The object an entry id names in store (the store's root folder for none).
HRESULT MapiOpenEntry(int64_t store, ULONG cbEntryID, LPENTRYID lpEntryID, ULONG *lpulObjType, LPUNKNOWN *lppUnk);
// Whether two entry ids name one object.
HRESULT MapiCompareEntryIds(ULONG cb1, LPENTRYID id1, ULONG cb2, LPENTRYID id2, ULONG *result);

// Helpers of the writes, inside a write transaction.
// Sets a folder's name, MAPI_E_COLLISION when a sibling has it.
HRESULT MapiRenameFolder(SqliteDb &db, int64_t folder, const std::u16string &name);
// Marks a message as saved once (its later saves are modifications).
HRESULT MapiMarkSaved(SqliteDb &db, int64_t message);
// An attachment's save changes its message: the message's event.
HRESULT MapiAttachmentChanged(SqliteDb &db, const MapiObjectRow &attach, std::vector<MapiObjectEvent> *events);

}  // namespace vplat

#endif
