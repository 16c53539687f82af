#include "DSimpleDBRecord.h"

#include "ByteOrder.h"

DSimpleDBRecord::~DSimpleDBRecord() { DeleteFields(); }

void DSimpleDBRecord::DeleteFields() {
    DSimpleDBRecordField *field;
    for (uint32_t i = 0; m_fields.GetAt(i, &field) == kNoError; ++i) delete field;
    m_fields.RemoveAll();
}

bool DSimpleDBRecord::IsModified() const {
    if (m_modified) return true;
    DSimpleDBRecordField *field;
    for (uint32_t i = 0; m_fields.GetAt(i, &field) == kNoError; ++i)
        if (field->IsModified()) return true;
    return false;
}

void DSimpleDBRecord::ClearModified() {
    m_modified = false;
    DSimpleDBRecordField *field;
    for (uint32_t i = 0; m_fields.GetAt(i, &field) == kNoError; ++i) field->SetModified(false);
}

uint32_t DSimpleDBRecord::GetSerializedSize() const {
    uint32_t size = 4;
    DSimpleDBRecordField *field;
    for (uint32_t i = 0; m_fields.GetAt(i, &field) == kNoError; ++i) size += field->GetSerializedSize();
    return size;
}

DErrorCode DSimpleDBRecord::SerializeIn(const BYTE *bytes, uint32_t length) {
    DeleteFields();
    if (bytes == nullptr || length < 4) return dbFieldSerialzeInError;
    const uint32_t total = GetUInt32(bytes);
    if (total > length) return generalErrBufferTooSmall;
    if (total < 4) return dbFieldSerialzeInError;

    DErrorCode err = kNoError;
    for (uint32_t at = 4; at < total && err == kNoError;) {
        if (total - at < 2) {
            err = dbFieldSerialzeInError;
            break;
        }
        DSimpleDBRecordField *field = nullptr;
        err = DSimpleDBRecordField::Make(GetUInt16(bytes + at), 0, &field);
        if (err != kNoError) break;
        err = m_fields.AddTail(field);
        if (err != kNoError) {
            delete field;
            break;
        }
        uint32_t used = 0;
        err = field->SerializeIn(bytes + at, total - at, &used);
        at += used;
    }
    if (err != kNoError) {
        DeleteFields();
        return err;
    }
    ClearModified();
    return kNoError;
}

DErrorCode DSimpleDBRecord::SerializeOut(BYTE *bytes, uint32_t room) const {
    const uint32_t size = GetSerializedSize();
    if (bytes == nullptr || room < size) return dbFieldSerialzeOutError;
    PutUInt32(bytes, size);
    uint32_t at = 4;
    DSimpleDBRecordField *field;
    for (uint32_t i = 0; m_fields.GetAt(i, &field) == kNoError; ++i) {
        DErrorCode err = field->SerializeOut(bytes + at, room - at);
        if (err != kNoError) return err;
        at += field->GetSerializedSize();
    }
    return kNoError;
}

DSimpleDBRecordField *DSimpleDBRecord::FindField(uint32_t fieldID) const {
    DSimpleDBRecordField *field;
    for (uint32_t i = 0; m_fields.GetAt(i, &field) == kNoError; ++i)
        if (field->GetFieldID() == fieldID) return field;
    return nullptr;
}

DErrorCode DSimpleDBRecord::GetFieldAt(uint32_t index, DSimpleDBRecordField **out) const {
    return m_fields.GetAt(index, out);
}

DErrorCode DSimpleDBRecord::CreateField(uint16_t type, uint32_t fieldID, DSimpleDBRecordField **out) {
    if (out != nullptr) *out = nullptr;
    DSimpleDBRecordField *field = nullptr;
    DErrorCode err = DSimpleDBRecordField::Make(type, fieldID, &field);
    if (err != kNoError) return err;
    err = m_fields.AddTail(field);
    if (err != kNoError) {
        delete field;
        return err;
    }
    field->SetModified(true);
    m_modified = true;
    if (out != nullptr) *out = field;
    return kNoError;
}

DErrorCode DSimpleDBRecord::RemoveField(uint32_t fieldID) {
    DSimpleDBRecordField *field;
    for (uint32_t i = 0; m_fields.GetAt(i, &field) == kNoError; ++i) {
        if (field->GetFieldID() != fieldID) continue;
        m_fields.RemoveAt(i);
        delete field;
        m_modified = true;
        return kNoError;
    }
    return generalErrItemNotFound;
}
