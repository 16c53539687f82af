// DSimpleDBRecordField: one typed value of a database record, addressed by
// a numeric field id. Stored as u16 type, u32 field id, then the value in
// the form of its type (all numbers little-endian).
//
// Contract:
// - SerializeIn reads type, id and value from at most the given bytes and
//   never past them: too few bytes, a length that runs past them or a text
//   without its terminator is dbFieldSerialzeInError.
// - SerializeOut writes exactly GetSerializedSize() bytes;
//   dbFieldSerialzeOutError when the room is smaller.
// - Setting a value marks the field modified; reading one from bytes leaves
//   it unmodified.
#ifndef QV_DSIMPLEDBRECORDFIELD_H
#define QV_DSIMPLEDBRECORDFIELD_H

#include <cstdint>

#include "DErrorCode.h"
#include "wintypes.h"

// Field types as stored.
enum DSimpleDBFieldType : uint16_t {
    kDBFieldInt32 = 1,
    kDBFieldNarrowString = 2,
    kDBFieldWideString = 3,
    kDBFieldData = 4,
    kDBFieldVString = 5,
};

class DSimpleDBRecordField {
public:
    DSimpleDBRecordField(uint16_t type, uint32_t fieldID) : m_type(type), m_fieldID(fieldID) {}
    virtual ~DSimpleDBRecordField() = default;
    DSimpleDBRecordField(const DSimpleDBRecordField &) = delete;
    DSimpleDBRecordField &operator=(const DSimpleDBRecordField &) = delete;

    virtual uint32_t GetSerializedSize() const = 0;
    // Reads the field from bytes[0, length); *used receives the bytes read.
    virtual DErrorCode SerializeIn(const BYTE *bytes, uint32_t length, uint32_t *used) = 0;
    virtual DErrorCode SerializeOut(BYTE *bytes, uint32_t room) const = 0;

    uint16_t GetType() const { return m_type; }
    uint32_t GetFieldID() const { return m_fieldID; }
    bool IsModified() const { return m_modified; }
    void SetModified(bool modified) { m_modified = modified; }

    // Creates an empty field of a stored type; dbFieldInvalidTypeError for a
    // type outside 1 to 5, generalErrMemoryError when it cannot be made.
    static DErrorCode Make(uint16_t type, uint32_t fieldID, DSimpleDBRecordField **out);

protected:
    // Type and id: the bytes every field starts with.
    static constexpr uint32_t kHeaderSize = 6;
    // Reads and checks type and id; dbFieldSerialzeInError when they are
    // short or the type is not this field's.
    DErrorCode ReadHeader(const BYTE *bytes, uint32_t length);
    void WriteHeader(BYTE *bytes) const;
    // Reads a u32 byte count at bytes[at] and checks that that many bytes
    // follow it within length; *count receives it.
    static DErrorCode ReadCount(const BYTE *bytes, uint32_t length, uint32_t at, uint32_t *count);

private:
    uint16_t m_type;
    uint32_t m_fieldID;
    bool m_modified = false;
};

#endif
