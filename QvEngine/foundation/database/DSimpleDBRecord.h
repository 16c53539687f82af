// DSimpleDBRecord: one record of a simple database: a list of typed fields
// (owned) addressed by field id, stored as u32 total length (these 4 bytes
// included) followed by the fields in list order. The record id lives in
// the database's index, not in the record.
//
// Contract:
// - The record belongs to its database, which deletes it on removal or
//   close; callers never delete records.
// - IsModified is true when the record's own flag or any field's is set;
//   creating or removing a field sets the record's flag.
// - SerializeIn replaces the fields with those read from the bytes and
//   never reads past them (generalErrBufferTooSmall when the stored length
//   exceeds them, dbFieldSerialzeInError for malformed content); on failure
//   the record is left without fields.
// - Subclasses add typed accessors over their field ids.
#ifndef QV_DSIMPLEDBRECORD_H
#define QV_DSIMPLEDBRECORD_H

#include <cstdint>

#include "DErrorCode.h"
#include "DPtrList.h"
#include "DSimpleDBRecordField.h"

class DSimpleDB;

class DSimpleDBRecord {
public:
    DSimpleDBRecord(DSimpleDB *database, uint32_t recordID) : m_database(database), m_recordID(recordID) {}
    virtual ~DSimpleDBRecord();
    DSimpleDBRecord(const DSimpleDBRecord &) = delete;
    DSimpleDBRecord &operator=(const DSimpleDBRecord &) = delete;

    virtual bool IsModified() const;
    virtual void ClearModified();
    virtual uint32_t GetSerializedSize() const;
    virtual DErrorCode SerializeIn(const BYTE *bytes, uint32_t length);
    virtual DErrorCode SerializeOut(BYTE *bytes, uint32_t room) const;
    // The first field with that id, or null.
    virtual DSimpleDBRecordField *FindField(uint32_t fieldID) const;
    virtual DErrorCode GetFieldAt(uint32_t index, DSimpleDBRecordField **out) const;
    // Appends a new, empty field; dbFieldInvalidTypeError outside types 1-5.
    virtual DErrorCode CreateField(uint16_t type, uint32_t fieldID, DSimpleDBRecordField **out);
    // Removes and deletes the first field with that id; generalErrItemNotFound
    // when there is none.
    virtual DErrorCode RemoveField(uint32_t fieldID);

    uint32_t GetFieldCount() const { return m_fields.GetCount(); }
    uint32_t GetRecordID() const { return m_recordID; }
    DSimpleDB *GetDatabase() const { return m_database; }
    void SetModified() { m_modified = true; }

private:
    void DeleteFields();

    DSimpleDB *m_database;
    uint32_t m_recordID;
    bool m_modified = false;
    // GetAt moves the list's remembered node, which is no change of the record.
    mutable DPtrList m_fields;
};

#endif
