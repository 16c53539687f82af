// DEASFolderInfoRecord: one server folder in the folder-info store, as a
// database record whose fields are:
//   0 Int32        folder type (ActiveSync FolderSync types)      default 0
//   1 NarrowString server id                                      default "0"
//   2 NarrowString display name                                   default ""
//   3 NarrowString sync key                                       default "0"
//   4 Int32        flags                                          default 0
//   5 Int32        record id of the parent folder (kQvUnknown: none)  default 0
//   6 Data         the device's identifier of the folder           none
//   7 NarrowString server id of a parent not yet in the store ("0": none)
//
// Contract: getters never fail for a missing field, they answer the
// default above; setters create a missing field (replacing one of another
// type). Flag bits the store does not use itself pass through unchanged.
#ifndef QV_DEASFOLDERINFORECORD_H
#define QV_DEASFOLDERINFORECORD_H

#include "DSimpleDBRecord.h"

class DEASFolderInfoStore;

enum DEASFolderField : uint32_t {
    kFolderFieldType = 0,
    kFolderFieldServerID = 1,
    kFolderFieldDisplayName = 2,
    kFolderFieldSyncKey = 3,
    kFolderFieldFlags = 4,
    kFolderFieldParentRecordID = 5,
    kFolderFieldData = 6,
    kFolderFieldPendingParent = 7,
};

// Flag bits the store itself uses.
constexpr uint32_t kFolderFlagSync = 0x1;
constexpr uint32_t kFolderFlagWalk = 0x2;
constexpr uint32_t kFolderFlagPendingParentMask = 0x100 | 0x200;
// Flag bits the engine keeps on mail folders.
constexpr uint32_t kMailFlagLocalChanges = 0x04;      // local mail changes wait
constexpr uint32_t kMailFlagServerChanges = 0x08;     // the server reported changes
constexpr uint32_t kMailFlagMeetingResponses = 0x10;  // meeting responses wait to be sent
constexpr uint32_t kMailFlagAttachment = 0x20;        // an attachment waits to be downloaded
constexpr uint32_t kMailFlagRecheckLocal = 0x40;      // one more check for device changes is due

class DEASFolderInfoRecord : public DSimpleDBRecord {
public:
    DEASFolderInfoRecord(DSimpleDB *database, uint32_t recordID) : DSimpleDBRecord(database, recordID) {}

    uint32_t GetInt(uint32_t fieldID) const;
    DErrorCode SetInt(uint32_t fieldID, uint32_t value);
    const char *GetString(uint32_t fieldID) const;
    // Null sets the empty text.
    DErrorCode SetString(uint32_t fieldID, const char *text);

    const char *GetDisplayName() const { return GetString(kFolderFieldDisplayName); }
    // Field 6; null and 0 when there is none.
    const BYTE *GetData() const;
    uint32_t GetDataSize() const;
    DErrorCode SetData(const void *bytes, uint32_t length);
    // generalErrItemNotFound when there is none.
    DErrorCode RemoveData();

    // True when any bit of mask is set.
    bool IsFlagSet(uint32_t mask) const { return (GetInt(kFolderFieldFlags) & mask) != 0; }
    DErrorCode SetFlag(uint32_t mask, bool on);

    // The server id of the record named in field 5; "0" when there is none.
    DErrorCode GetParentServerID(DEASFolderInfoStore *store, const char **out) const;
    // Field 5 := the record id of the folder with that server id; null, "0"
    // or an unknown server id store kQvUnknown.
    DErrorCode SetParentServerID(DEASFolderInfoStore *store, const char *serverID);
    bool HasPendingParent() const;
    // Field 7 := "0"; flags 0x100 and 0x200 cleared.
    DErrorCode ClearPendingParent();

private:
    // The field with the id and type, created (or replacing one of another
    // type) when missing.
    DErrorCode FieldForSet(uint32_t fieldID, uint16_t type, DSimpleDBRecordField **out);
};

#endif
