// The five field types of a database record. Each keeps its value in
// memory and stores it as the record file form describes:
//   1 Int32:        u32 value
//   2 NarrowString: u32 byte count (text + NUL), the text and its NUL
//   3 WideString:   u32 byte count ((units + 1) x 2), UTF-16LE text and a 0 unit
//   4 Data:         u32 byte count, the bytes
//   5 VString:      u32 encoding tag, u32 byte count, the text bytes without
//                   terminator (16-bit units for tags 1 and 2)
// Setters report generalErrMemoryError when the value cannot be copied and
// then leave the old value in place.
#ifndef QV_DSIMPLEDBRECORDFIELDS_H
#define QV_DSIMPLEDBRECORDFIELDS_H

#include <string>
#include <vector>

#include "DSimpleDBRecordField.h"
#include "VString.h"

class DSimpleDBRecordField_Int32 : public DSimpleDBRecordField {
public:
    explicit DSimpleDBRecordField_Int32(uint32_t fieldID) : DSimpleDBRecordField(kDBFieldInt32, fieldID) {}
    uint32_t GetSerializedSize() const override { return kHeaderSize + 4; }
    DErrorCode SerializeIn(const BYTE *bytes, uint32_t length, uint32_t *used) override;
    DErrorCode SerializeOut(BYTE *bytes, uint32_t room) const override;

    uint32_t GetValue() const { return m_value; }
    void SetValue(uint32_t value);

private:
    uint32_t m_value = 0;
};

class DSimpleDBRecordField_NarrowString : public DSimpleDBRecordField {
public:
    explicit DSimpleDBRecordField_NarrowString(uint32_t fieldID)
        : DSimpleDBRecordField(kDBFieldNarrowString, fieldID) {}
    uint32_t GetSerializedSize() const override;
    DErrorCode SerializeIn(const BYTE *bytes, uint32_t length, uint32_t *used) override;
    DErrorCode SerializeOut(BYTE *bytes, uint32_t room) const override;

    const char *GetText() const { return m_text.c_str(); }
    // Null sets the empty text.
    DErrorCode SetText(const char *text);
    // The text is the bytes up to the first NUL or count bytes.
    DErrorCode SetBytes(const void *bytes, uint32_t count);

private:
    std::string m_text;
};

class DSimpleDBRecordField_WideString : public DSimpleDBRecordField {
public:
    explicit DSimpleDBRecordField_WideString(uint32_t fieldID) : DSimpleDBRecordField(kDBFieldWideString, fieldID) {}
    uint32_t GetSerializedSize() const override;
    DErrorCode SerializeIn(const BYTE *bytes, uint32_t length, uint32_t *used) override;
    DErrorCode SerializeOut(BYTE *bytes, uint32_t room) const override;

    const WCHAR *GetText() const { return m_text.c_str(); }
    // Null sets the empty text.
    DErrorCode SetText(const WCHAR *text);
    // The text is the 16-bit units of count bytes, up to the first 0 unit.
    DErrorCode SetBytes(const void *bytes, uint32_t count);

private:
    std::u16string m_text;
};

class DSimpleDBRecordField_Data : public DSimpleDBRecordField {
public:
    explicit DSimpleDBRecordField_Data(uint32_t fieldID) : DSimpleDBRecordField(kDBFieldData, fieldID) {}
    uint32_t GetSerializedSize() const override;
    DErrorCode SerializeIn(const BYTE *bytes, uint32_t length, uint32_t *used) override;
    DErrorCode SerializeOut(BYTE *bytes, uint32_t room) const override;

    const BYTE *GetBytes() const { return m_bytes.data(); }
    uint32_t GetLength() const { return static_cast<uint32_t>(m_bytes.size()); }
    DErrorCode SetBytes(const void *bytes, uint32_t count);

private:
    std::vector<BYTE> m_bytes;
};

class DSimpleDBRecordField_VString : public DSimpleDBRecordField {
public:
    explicit DSimpleDBRecordField_VString(uint32_t fieldID) : DSimpleDBRecordField(kDBFieldVString, fieldID) {}
    uint32_t GetSerializedSize() const override;
    DErrorCode SerializeIn(const BYTE *bytes, uint32_t length, uint32_t *used) override;
    DErrorCode SerializeOut(BYTE *bytes, uint32_t room) const override;

    VStringEncoding GetEncoding() const { return m_encoding; }
    const BYTE *GetBytes() const { return m_bytes.data(); }
    uint32_t GetLength() const { return static_cast<uint32_t>(m_bytes.size()); }
    // count bytes of text in the given encoding (an even count for wide tags).
    DErrorCode SetBytes(VStringEncoding encoding, const void *bytes, uint32_t count);
    DErrorCode SetText(const VString &text);
    // The stored text as a VString of the stored encoding.
    DErrorCode GetText(VString *out) const;

private:
    VStringEncoding m_encoding = kVStringNoEncoding;
    std::vector<BYTE> m_bytes;
};

#endif
