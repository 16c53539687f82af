// DWinMobShadowDB: one open shadow change-tracking database (one per
// synchronised type: "QV_email_shadow", "QV_calendar_shadow",
// "QV_contacts_shadow"), a property database with one record per item
// that carries the item's device identity, its server id, a change state
// and a flag word. The engine and the scheduler's change recorders open
// the same databases from different processes.
// - Open creates the database on first use; a creation that another
//   process won meanwhile opens theirs. Every failure is returned: a
//   database that stays closed would track no changes.
// - New records take the sequence number after the last one, allocated and
//   stored under the database's lock (see ShadowLock.h), as is each
//   change-state rewrite of the change scan.
// - On the Smartphone edition the databases live in the shadow volume,
//   mounted by Open and unmounted by Close.
#ifndef QV_DWINMOBSHADOWDB_H
#define QV_DWINMOBSHADOWDB_H

#include <cstdint>
#include <vector>

#include "DErrorCode.h"
#include "DWinMobShadowRecord.h"
#include "ShadowProps.h"

class DWinMobShadowDB {
public:
    DWinMobShadowDB();
    ~DWinMobShadowDB();
    DWinMobShadowDB(const DWinMobShadowDB &) = delete;
    DWinMobShadowDB &operator=(const DWinMobShadowDB &) = delete;

    DErrorCode Open(uint32_t type);
    DErrorCode Close();
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    uint32_t GetType() const { return m_type; }
    const WCHAR *GetName() const { return m_name; }
    HANDLE GetHandle() const { return m_handle; }

    DErrorCode GetRecordCount(uint32_t *count);
    // Stores a record holding only its sequence number (and the flag word
    // when not 0, in the same write); its object id goes into record.
    DErrorCode AddRecord(DWinMobShadowRecord *record, uint32_t flags = 0);
    // Binds record to this database as a new one and adds it.
    DErrorCode NewRecord(DWinMobShadowRecord *record, uint32_t flags = 0);
    // Writes the record's identity: local id, Outlook object id, server id and flag word.
    DErrorCode WriteRecord(DWinMobShadowRecord *record);
    DErrorCode LoadRecord(DWinMobShadowRecord *record, CEOID oid);
    DErrorCode GetRecordAt(uint32_t index, DWinMobShadowRecord *record);
    DErrorCode GetRecordByOID(CEOID oid, DWinMobShadowRecord *record);
    DErrorCode FindByServerID(const WCHAR *serverID, DWinMobShadowRecord *record);
    DErrorCode FindByObjectID(uint32_t objectID, DWinMobShadowRecord *record);
    // From *position (kShadowOidNone means 0) to the next record with the
    // sent flag, or in the folder; *found false when the walk ends.
    DErrorCode NextSent(uint32_t *position, DWinMobShadowRecord *record, bool *found);
    // The same walk to the next record still marked as being written.
    DErrorCode NextUnfinished(uint32_t *position, DWinMobShadowRecord *record, bool *found);
    DErrorCode NextInFolder(const std::vector<BYTE> &folder, uint32_t *position, DWinMobShadowRecord *record,
                            bool *found);
    DErrorCode CountInFolder(const std::vector<BYTE> &folder, uint32_t *count);
    DErrorCode GetRecordInFolder(uint32_t index, const std::vector<BYTE> &folder, DWinMobShadowRecord *record);
    // The change scan: the object ids of every record in state 1, 2 or 3
    // (state 1 becomes 2). The list is the caller's (free()).
    DErrorCode ScanChanged(uint32_t *count, CEOID **list);
    DErrorCode ScanChangedInFolder(const std::vector<BYTE> &folder, uint32_t *count, CEOID **list);
    DErrorCode DeleteRecord(DWinMobShadowRecord *record);
    // Deletes every record; stops at the first delete that fails and returns it.
    DErrorCode DeleteAll();

private:
    DErrorCode OpenByName();
    DErrorCode Create();
    // The record at a position of the sort order: *oid 0 past the end;
    // *gone when that position's record went between seek and read.
    DErrorCode SeekPosition(uint32_t position, CEOID *oid, bool *gone);
    // Walks from *position to the next record that matches.
    template <typename Match>
    DErrorCode NextMatching(uint32_t *position, Match match, DWinMobShadowRecord *record, bool *found);
    DErrorCode NextWithFlag(uint32_t flag, uint32_t *position, DWinMobShadowRecord *record, bool *found);
    // Reads every record's flags: the marked ones (see ShadowMarks.h).
    DErrorCode CollectMarks(std::vector<CEOID> *marked);
    DErrorCode Scan(const std::vector<BYTE> *folder, uint32_t *count, CEOID **list);
    DErrorCode InFolder(CEOID oid, const std::vector<BYTE> &folder, bool *in);

    WCHAR m_name[CEDB_MAXDBASENAMELEN];
    HANDLE m_handle;
    uint32_t m_type;
    HANDLE m_lock;
    CEGUID m_volume;
    bool m_mounted;
};

#endif
