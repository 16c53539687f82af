// The device's message stores (<device root>/mapi.db): sessions, stores,
// folders, messages with their properties, recipients and attachments,
// streams over large properties, named properties, snapshot tables and
// advise sinks.
// - Entry ids are opaque bytes, given as soon as an object is created and
//   stable across moves; CompareEntryIDs tells whether two name one object.
// - Named properties (GetIDsFromNames) get identifiers from 0x8000 up that
//   are the same in every process and persist; 0x8104 and 0x8106 are never
//   given out (the store's own Drafts and Inbox properties).
// - Tables are snapshots taken when the table is made.
// - A message or attachment's changes land at SaveChanges; a new message
//   exists (and has its entry id) from CreateMessage on.
// - Advise sinks of the writing process are called during the write; those
//   of other processes through their thread's message queue, in order.
// - Memory handed to the caller comes from MAPIAllocateBuffer and is freed
//   with MAPIFreeBuffer (rows with FreeProws).
#ifndef VPLATFORM_MAPIX_H
#define VPLATFORM_MAPIX_H

#include "mapidefs.h"

class IMAPIAdviseSink : public IUnknown {
public:
    virtual ULONG OnNotify(ULONG cNotif, LPNOTIFICATION lpNotifications) = 0;
};
typedef IMAPIAdviseSink *LPMAPIADVISESINK;

class IMAPIProgress : public IUnknown {};
typedef IMAPIProgress *LPMAPIPROGRESS;

typedef ULONG BOOKMARK;

class IMAPITable : public IUnknown {
public:
    virtual HRESULT SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) = 0;
    virtual HRESULT QueryColumns(ULONG ulFlags, LPSPropTagArray *lpPropTagArray) = 0;
    virtual HRESULT GetRowCount(ULONG ulFlags, ULONG *lpulCount) = 0;
    virtual HRESULT SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG *lplRowsSought) = 0;
    // Up to lRowCount rows from the cursor, which moves past them; an empty
    // set at the end. A column the row lacks comes as PT_ERROR with
    // MAPI_E_NOT_FOUND.
    virtual HRESULT QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet *lppRows) = 0;
};
typedef IMAPITable *LPMAPITABLE;

class IMAPIProp : public IUnknown {
public:
    virtual HRESULT SaveChanges(ULONG ulFlags) = 0;
    // One value per asked tag; a missing one comes as PT_ERROR with
    // MAPI_E_NOT_FOUND and the result is MAPI_W_ERRORS_RETURNED.
    virtual HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG *lpcValues,
                             LPSPropValue *lppPropArray) = 0;
    // A stream over PR_BODY_W or PR_ATTACH_DATA_BIN (IID_IStream); STGM_CREATE
    // starts it empty, MAPI_CREATE makes a missing property.
    virtual HRESULT OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions, ULONG ulFlags,
                                 LPUNKNOWN *lppUnk) = 0;
    virtual HRESULT SetProps(ULONG cValues, LPSPropValue lpPropArray, LPSPropProblemArray *lppProblems) = 0;
    virtual HRESULT DeleteProps(LPSPropTagArray lpPropTagArray, LPSPropProblemArray *lppProblems) = 0;
    virtual HRESULT GetIDsFromNames(ULONG cPropNames, LPMAPINAMEID *lppPropNames, ULONG ulFlags,
                                    LPSPropTagArray *lppPropTags) = 0;
};
typedef IMAPIProp *LPMAPIPROP;

class IMAPIContainer : public IMAPIProp {
public:
    virtual HRESULT GetContentsTable(ULONG ulFlags, LPMAPITABLE *lppTable) = 0;
    virtual HRESULT GetHierarchyTable(ULONG ulFlags, LPMAPITABLE *lppTable) = 0;
    virtual HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                              ULONG *lpulObjType, LPUNKNOWN *lppUnk) = 0;
};

class IAttach : public IMAPIProp {};
typedef IAttach *LPATTACH;

class IMessage : public IMAPIProp {
public:
    virtual HRESULT GetAttachmentTable(ULONG ulFlags, LPMAPITABLE *lppTable) = 0;
    virtual HRESULT OpenAttach(ULONG ulAttachmentNum, LPCIID lpInterface, ULONG ulFlags, LPATTACH *lppAttach) = 0;
    virtual HRESULT CreateAttach(LPCIID lpInterface, ULONG ulFlags, ULONG *lpulAttachmentNum,
                                 LPATTACH *lppAttach) = 0;
    virtual HRESULT DeleteAttach(ULONG ulAttachmentNum, ULONG ulUIParam, LPMAPIPROGRESS lpProgress,
                                 ULONG ulFlags) = 0;
    virtual HRESULT GetRecipientTable(ULONG ulFlags, LPMAPITABLE *lppTable) = 0;
    // MODRECIP_ADD appends, MODRECIP_MODIFY replaces the rows named by
    // PR_ROWID, MODRECIP_REMOVE removes them; no flag replaces the whole list.
    virtual HRESULT ModifyRecipients(ULONG ulFlags, LPADRLIST lpMods) = 0;
    virtual HRESULT SubmitMessage(ULONG ulFlags) = 0;
};
typedef IMessage *LPMESSAGE;

class IMAPIFolder : public IMAPIContainer {
public:
    virtual HRESULT CreateMessage(LPCIID lpInterface, ULONG ulFlags, LPMESSAGE *lppMessage) = 0;
    virtual HRESULT CopyMessages(LPENTRYLIST lpMsgList, LPCIID lpInterface, LPVOID lpDestFolder, ULONG ulUIParam,
                                 LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
    virtual HRESULT DeleteMessages(LPENTRYLIST lpMsgList, ULONG ulUIParam, LPMAPIPROGRESS lpProgress,
                                   ULONG ulFlags) = 0;
    virtual HRESULT CreateFolder(ULONG ulFolderType, LPTSTR lpszFolderName, LPTSTR lpszFolderComment,
                                 LPCIID lpInterface, ULONG ulFlags, IMAPIFolder **lppFolder) = 0;
    virtual HRESULT CopyFolder(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, LPVOID lpDestFolder,
                               LPTSTR lpszNewFolderName, ULONG ulUIParam, LPMAPIPROGRESS lpProgress,
                               ULONG ulFlags) = 0;
    virtual HRESULT DeleteFolder(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulUIParam, LPMAPIPROGRESS lpProgress,
                                 ULONG ulFlags) = 0;
    virtual HRESULT EmptyFolder(ULONG ulUIParam, LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
};
typedef IMAPIFolder *LPMAPIFOLDER;

class IMsgStore : public IMAPIProp {
public:
    // Watches one object (lpEntryID) or, with no entry id, the whole store.
    virtual HRESULT Advise(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask, LPMAPIADVISESINK lpAdviseSink,
                           ULONG *lpulConnection) = 0;
    virtual HRESULT Unadvise(ULONG ulConnection) = 0;
    virtual HRESULT CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2, LPENTRYID lpEntryID2,
                                    ULONG ulFlags, ULONG *lpulResult) = 0;
    virtual HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                              ULONG *lpulObjType, LPUNKNOWN *lppUnk) = 0;
};
typedef IMsgStore *LPMDB;

class IMAPISession : public IUnknown {
public:
    // Columns PR_DISPLAY_NAME_W and PR_ENTRYID, one row per store.
    virtual HRESULT GetMsgStoresTable(ULONG ulFlags, LPMAPITABLE *lppTable) = 0;
    virtual HRESULT OpenMsgStore(ULONG_PTR ulUIParam, ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface,
                                 ULONG ulFlags, LPMDB *lppMDB) = 0;
    virtual HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                              ULONG *lpulObjType, LPUNKNOWN *lppUnk) = 0;
    virtual HRESULT CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2, LPENTRYID lpEntryID2,
                                    ULONG ulFlags, ULONG *lpulResult) = 0;
    virtual HRESULT Advise(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask, LPMAPIADVISESINK lpAdviseSink,
                           ULONG *lpulConnection) = 0;
    virtual HRESULT Unadvise(ULONG ulConnection) = 0;
    virtual HRESULT Logoff(ULONG_PTR ulUIParam, ULONG ulFlags, ULONG ulReserved) = 0;
};
typedef IMAPISession *LPMAPISESSION;

extern "C" {
PLATAPI extern const IID IID_IStream;
PLATAPI extern const IID IID_IMessage;
PLATAPI extern const IID IID_IMAPIFolder;

// Counted per process: each MAPIInitialize needs its MAPIUninitialize.
PLATAPI HRESULT MAPIInitialize(LPVOID lpMapiInit);
PLATAPI void MAPIUninitialize();
PLATAPI HRESULT MAPILogonEx(ULONG_PTR ulUIParam, LPTSTR lpszProfileName, LPTSTR lpszPassword, FLAGS flFlags,
                            LPMAPISESSION *lppSession);
PLATAPI SCODE MAPIAllocateBuffer(ULONG cbSize, LPVOID *lppBuffer);
// Memory freed together with lpObject's.
PLATAPI SCODE MAPIAllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID *lppBuffer);
PLATAPI ULONG MAPIFreeBuffer(LPVOID lpBuffer);
PLATAPI void FreeProws(LPSRowSet lpRows);
PLATAPI void FreePadrlist(LPADRLIST lpAdrlist);
}

#endif
