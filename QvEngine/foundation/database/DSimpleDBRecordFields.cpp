#include "DSimpleDBRecordFields.h"

#include <cstring>
#include <new>

#include "ByteOrder.h"

namespace {

// Runs a copy that may throw on allocation as an error code.
template <class F>
DErrorCode Guarded(F copy) {
    try {
        copy();
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

}  // namespace

// --- Int32

DErrorCode DSimpleDBRecordField_Int32::SerializeIn(const BYTE *bytes, uint32_t length, uint32_t *used) {
    DErrorCode err = ReadHeader(bytes, length);
    if (err != kNoError) return err;
    if (length < kHeaderSize + 4) return dbFieldSerialzeInError;
    m_value = GetUInt32(bytes + kHeaderSize);
    *used = kHeaderSize + 4;
    SetModified(false);
    return kNoError;
}

DErrorCode DSimpleDBRecordField_Int32::SerializeOut(BYTE *bytes, uint32_t room) const {
    if (room < GetSerializedSize()) return dbFieldSerialzeOutError;
    WriteHeader(bytes);
    PutUInt32(bytes + kHeaderSize, m_value);
    return kNoError;
}

void DSimpleDBRecordField_Int32::SetValue(uint32_t value) {
    m_value = value;
    SetModified(true);
}

// --- NarrowString

uint32_t DSimpleDBRecordField_NarrowString::GetSerializedSize() const {
    return kHeaderSize + 4 + static_cast<uint32_t>(m_text.size()) + 1;
}

DErrorCode DSimpleDBRecordField_NarrowString::SerializeIn(const BYTE *bytes, uint32_t length, uint32_t *used) {
    uint32_t count = 0;
    DErrorCode err = ReadHeader(bytes, length);
    if (err == kNoError) err = ReadCount(bytes, length, kHeaderSize, &count);
    if (err != kNoError) return err;
    const BYTE *text = bytes + kHeaderSize + 4;
    if (count == 0 || text[count - 1] != 0) return dbFieldSerialzeInError;
    err = Guarded([&] { m_text.assign(reinterpret_cast<const char *>(text)); });
    if (err != kNoError) return err;
    *used = kHeaderSize + 4 + count;
    SetModified(false);
    return kNoError;
}

DErrorCode DSimpleDBRecordField_NarrowString::SerializeOut(BYTE *bytes, uint32_t room) const {
    if (room < GetSerializedSize()) return dbFieldSerialzeOutError;
    WriteHeader(bytes);
    PutUInt32(bytes + kHeaderSize, static_cast<uint32_t>(m_text.size()) + 1);
    memcpy(bytes + kHeaderSize + 4, m_text.c_str(), m_text.size() + 1);
    return kNoError;
}

DErrorCode DSimpleDBRecordField_NarrowString::SetText(const char *text) {
    DErrorCode err = Guarded([&] { m_text.assign(text != nullptr ? text : ""); });
    if (err == kNoError) SetModified(true);
    return err;
}

DErrorCode DSimpleDBRecordField_NarrowString::SetBytes(const void *bytes, uint32_t count) {
    const char *text = bytes != nullptr ? static_cast<const char *>(bytes) : "";
    if (bytes == nullptr) count = 0;
    DErrorCode err = Guarded([&] { m_text.assign(text, strnlen(text, count)); });
    if (err == kNoError) SetModified(true);
    return err;
}

// --- WideString

uint32_t DSimpleDBRecordField_WideString::GetSerializedSize() const {
    return kHeaderSize + 4 + (static_cast<uint32_t>(m_text.size()) + 1) * 2;
}

DErrorCode DSimpleDBRecordField_WideString::SerializeIn(const BYTE *bytes, uint32_t length, uint32_t *used) {
    uint32_t count = 0;
    DErrorCode err = ReadHeader(bytes, length);
    if (err == kNoError) err = ReadCount(bytes, length, kHeaderSize, &count);
    if (err != kNoError) return err;
    const BYTE *text = bytes + kHeaderSize + 4;
    if (count < 2 || count % 2 != 0 || GetUInt16(text + count - 2) != 0) return dbFieldSerialzeInError;
    err = Guarded([&] {
        m_text.clear();
        // The text ends at its first 0 unit; the last unit is always one.
        for (uint32_t i = 0; GetUInt16(text + i) != 0; i += 2)
            m_text.push_back(static_cast<WCHAR>(GetUInt16(text + i)));
    });
    if (err != kNoError) return err;
    *used = kHeaderSize + 4 + count;
    SetModified(false);
    return kNoError;
}

DErrorCode DSimpleDBRecordField_WideString::SerializeOut(BYTE *bytes, uint32_t room) const {
    if (room < GetSerializedSize()) return dbFieldSerialzeOutError;
    WriteHeader(bytes);
    const uint32_t units = static_cast<uint32_t>(m_text.size()) + 1;
    PutUInt32(bytes + kHeaderSize, units * 2);
    BYTE *out = bytes + kHeaderSize + 4;
    for (uint32_t i = 0; i < units; ++i) PutUInt16(out + 2 * i, i < m_text.size() ? m_text[i] : 0);
    return kNoError;
}

DErrorCode DSimpleDBRecordField_WideString::SetText(const WCHAR *text) {
    DErrorCode err = Guarded([&] { m_text.assign(text != nullptr ? text : u""); });
    if (err == kNoError) SetModified(true);
    return err;
}

DErrorCode DSimpleDBRecordField_WideString::SetBytes(const void *bytes, uint32_t count) {
    const BYTE *p = static_cast<const BYTE *>(bytes);
    if (p == nullptr) count = 0;
    std::u16string text;
    DErrorCode err = Guarded([&] {
        for (uint32_t i = 0; i + 1 < count && GetUInt16(p + i) != 0; i += 2)
            text.push_back(static_cast<WCHAR>(GetUInt16(p + i)));
    });
    if (err != kNoError) return err;
    m_text.swap(text);
    SetModified(true);
    return kNoError;
}

// --- Data

uint32_t DSimpleDBRecordField_Data::GetSerializedSize() const {
    return kHeaderSize + 4 + static_cast<uint32_t>(m_bytes.size());
}

DErrorCode DSimpleDBRecordField_Data::SerializeIn(const BYTE *bytes, uint32_t length, uint32_t *used) {
    uint32_t count = 0;
    DErrorCode err = ReadHeader(bytes, length);
    if (err == kNoError) err = ReadCount(bytes, length, kHeaderSize, &count);
    if (err != kNoError) return err;
    const BYTE *data = bytes + kHeaderSize + 4;
    err = Guarded([&] { m_bytes.assign(data, data + count); });
    if (err != kNoError) return err;
    *used = kHeaderSize + 4 + count;
    SetModified(false);
    return kNoError;
}

DErrorCode DSimpleDBRecordField_Data::SerializeOut(BYTE *bytes, uint32_t room) const {
    if (room < GetSerializedSize()) return dbFieldSerialzeOutError;
    WriteHeader(bytes);
    PutUInt32(bytes + kHeaderSize, GetLength());
    if (!m_bytes.empty()) memcpy(bytes + kHeaderSize + 4, m_bytes.data(), m_bytes.size());
    return kNoError;
}

DErrorCode DSimpleDBRecordField_Data::SetBytes(const void *bytes, uint32_t count) {
    const BYTE *p = static_cast<const BYTE *>(bytes);
    if (p == nullptr) count = 0;
    DErrorCode err = Guarded([&] { m_bytes.assign(p, p + count); });
    if (err == kNoError) SetModified(true);
    return err;
}

// --- VString

uint32_t DSimpleDBRecordField_VString::GetSerializedSize() const {
    return kHeaderSize + 8 + static_cast<uint32_t>(m_bytes.size());
}

DErrorCode DSimpleDBRecordField_VString::SerializeIn(const BYTE *bytes, uint32_t length, uint32_t *used) {
    uint32_t count = 0;
    DErrorCode err = ReadHeader(bytes, length);
    if (err == kNoError && length < kHeaderSize + 4) err = dbFieldSerialzeInError;
    if (err == kNoError) err = ReadCount(bytes, length, kHeaderSize + 4, &count);
    if (err != kNoError) return err;
    const VStringEncoding encoding = GetUInt32(bytes + kHeaderSize);
    if (VString::IsWideEncoding(encoding) && count % 2 != 0) return dbFieldSerialzeInError;
    const BYTE *text = bytes + kHeaderSize + 8;
    err = Guarded([&] { m_bytes.assign(text, text + count); });
    if (err != kNoError) return err;
    m_encoding = encoding;
    *used = kHeaderSize + 8 + count;
    SetModified(false);
    return kNoError;
}

DErrorCode DSimpleDBRecordField_VString::SerializeOut(BYTE *bytes, uint32_t room) const {
    if (room < GetSerializedSize()) return dbFieldSerialzeOutError;
    WriteHeader(bytes);
    PutUInt32(bytes + kHeaderSize, m_encoding);
    PutUInt32(bytes + kHeaderSize + 4, GetLength());
    if (!m_bytes.empty()) memcpy(bytes + kHeaderSize + 8, m_bytes.data(), m_bytes.size());
    return kNoError;
}

DErrorCode DSimpleDBRecordField_VString::SetBytes(VStringEncoding encoding, const void *bytes, uint32_t count) {
    const BYTE *p = static_cast<const BYTE *>(bytes);
    if (p == nullptr) count = 0;
    if (VString::IsWideEncoding(encoding) && count % 2 != 0) return generalErrInvalidParameter;
    DErrorCode err = Guarded([&] { m_bytes.assign(p, p + count); });
    if (err != kNoError) return err;
    m_encoding = encoding;
    SetModified(true);
    return kNoError;
}

DErrorCode DSimpleDBRecordField_VString::SetText(const VString &text) {
    const VStringEncoding encoding = text.GetEncoding();
    const void *bytes = VString::IsWideEncoding(encoding) ? static_cast<const void *>(text.GetWideText())
                                                         : static_cast<const void *>(text.GetNarrowText());
    return SetBytes(encoding, bytes, text.GetLength());
}

DErrorCode DSimpleDBRecordField_VString::GetText(VString *out) const {
    if (out == nullptr) return generalErrInvalidParameter;
    if (!VString::IsWideEncoding(m_encoding))
        return out->AssignNarrow(reinterpret_cast<const char *>(m_bytes.data()), GetLength(), m_encoding);
    // Units are copied out of the byte buffer: it need not be aligned for them.
    std::u16string units;
    DErrorCode err = Guarded([&] {
        units.resize(m_bytes.size() / 2);
        if (!units.empty()) memcpy(&units[0], m_bytes.data(), units.size() * 2);
    });
    if (err != kNoError) return err;
    return out->AssignWide(units.data(), static_cast<uint32_t>(units.size()), m_encoding);
}
