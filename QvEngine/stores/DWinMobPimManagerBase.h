// DWinMobPimManagerBase: what the calendar and the contacts stores share. It
// logs on to the Pocket Outlook object model, opens the kind's default
// folder, opens the same data as a property database by name ("Appointments
// Database", "Contacts Database"; in the PIM volume on the Smartphone
// edition) and keeps the kind's shadow change database beside them.
//
// Contract:
// - Which items exist, which changed and which server id each has is told
//   by the shadow records; the object model is used to make, read, write
//   and delete the items themselves (through the item class of the kind,
//   which CreateItemForOid makes and loads).
// - Initialize fails when any of its phases fails (each failing phase of
//   the object model or the database is logged); the result of the object
//   model or the database travels unchanged, a shadow failure comes back as
//   ResultFromError of its code. Shutdown releases whatever was opened and
//   may run any number of times.
// - Every write to the kind's database (DeleteAll) is bracketed by the
//   broadcasts of "brwNotifierChangeMessage", also after a failure.
// - One thread (the engine's) uses the object; nothing blocks.
#ifndef QV_DWINMOBPIMMANAGERBASE_H
#define QV_DWINMOBPIMMANAGERBASE_H

#include <cstdint>
#include <new>
#include <vector>

#include "DActiveTask.h"
#include "DListNode.h"
#include "DWinMobShadowDB.h"
#include "ILogProvider.h"
#include "IOutlookItem.h"
#include "vplatform_pim.h"

// What tells one Pocket Outlook store from another.
struct DPimStoreKind {
    int folder;                 // the object model's default folder (OlDefaultFolders)
    const WCHAR *databaseName;  // the kind's property database
    uint32_t shadowType;        // EShadowDBType
    uint32_t itemKind;          // EOutlookItemKind
    const char *errorTitle;     // first piece of each failure line of LogResult
};

class DWinMobPimManagerBase {
public:
    explicit DWinMobPimManagerBase(const DPimStoreKind &kind);
    // Shuts the store down.
    virtual ~DWinMobPimManagerBase();
    DWinMobPimManagerBase(const DWinMobPimManagerBase &) = delete;
    DWinMobPimManagerBase &operator=(const DWinMobPimManagerBase &) = delete;

    // The open store's parts (null / INVALID_HANDLE_VALUE while closed).
    IPOutlookApp *GetApplication() const { return m_app; }
    HANDLE GetDatabase() const { return m_database; }
    DWinMobShadowDB *GetShadowDB() const { return m_shadow; }

protected:
    // Makes the kind's item object and has it load the item with that
    // object id (-2: a new one, not yet in the store).
    virtual DErrorCode CreateItemForOid(LONG objectID, IOutlookItem **item) = 0;
    // The item's own delete (from the store and from its change record).
    virtual DErrorCode DeleteItemObject(IOutlookItem *item) = 0;
    // CreateItemForOid of a kind whose item class TItem loads itself from
    // the store's parts; a failed load leaves *item null.
    template <class TItem>
    DErrorCode LoadItemForOid(LONG objectID, IOutlookItem **item) {
        if (item == nullptr) return generalErrInvalidParameter;
        *item = nullptr;
        TItem *made = new (std::nothrow) TItem(m_pimLog);
        if (made == nullptr) return generalErrMemoryError;
        const DErrorCode err = made->Load(GetShadowDB(), GetApplication(), GetDatabase(), objectID);
        if (err != kNoError) {
            delete made;
            return err;
        }
        *item = made;
        return kNoError;
    }

    // A negative result is logged with the phase; the result comes back unchanged.
    HRESULT LogResult(HRESULT result, const char *phase);
    HRESULT Initialize(int folder, const WCHAR *databaseName, uint32_t shadowType);
    void Shutdown();
    // Empties the kind's whole folder and its shadow database; the
    // completion (when given) is signalled with the result.
    DErrorCode DeleteAll(DActiveTaskSignal *completion);

    // The store as a collection, over the shadow records
    // (DWinMobPimManagerRecords.cpp, with the jobs' record work).
    DErrorCode GetCount(uint32_t *count);
    DErrorCode GetItem(uint32_t index, IOutlookItem **item);
    DErrorCode FindItemByServerID(const char *serverID, IOutlookItem **item, DActiveTaskSignal *completion);
    DErrorCode GetChangedItems(DListNode<IOutlookItem> *list, DActiveTaskSignal *completion);
    DErrorCode HasChangedItems(bool *flag, DActiveTaskSignal *completion);
    // CreateItemForOid; any failure is generalErrItemNotFound.
    DErrorCode GetItemForOid(LONG objectID, IOutlookItem **item);
    // Links item behind *cursor (into it while it is empty) and moves
    // *cursor to the item's node.
    static DErrorCode AppendToList(DListNode<IOutlookItem> **cursor, IOutlookItem *item);

    // The record work of the manager's jobs.
    // Every sent record: sent flag and change state taken back, the new
    // flag unless kept, the body checksum of what was sent promoted.
    DErrorCode CompleteSentRecords();
    // Every sent record marked deleted whose item is not modified again
    // goes with its item.
    DErrorCode PurgeSentDeleted();

    const DPimStoreKind &Kind() const { return m_kind; }

    // The manager's log (the engine context's), set before Initialize.
    ILogProvider *m_pimLog;

private:
    DErrorCode RequireOpen() const;

    DPimStoreKind m_kind;
    IPOutlookApp *m_app;
    IFolder *m_folder;
    IPOutlookItemCollection *m_items;
    HANDLE m_database;
    CEGUID m_volume;
    bool m_volumeMounted;
    DWinMobShadowDB *m_shadow;
    // The record object ids that the last change scan found.
    std::vector<CEOID> m_changed;
};

#endif
