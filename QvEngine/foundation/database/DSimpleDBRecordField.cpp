#include "DSimpleDBRecordField.h"

#include <new>

#include "ByteOrder.h"
#include "DSimpleDBRecordFields.h"

DErrorCode DSimpleDBRecordField::Make(uint16_t type, uint32_t fieldID, DSimpleDBRecordField **out) {
    if (out == nullptr) return generalErrInvalidParameter;
    *out = nullptr;
    switch (type) {
        case kDBFieldInt32: *out = new (std::nothrow) DSimpleDBRecordField_Int32(fieldID); break;
        case kDBFieldNarrowString: *out = new (std::nothrow) DSimpleDBRecordField_NarrowString(fieldID); break;
        case kDBFieldWideString: *out = new (std::nothrow) DSimpleDBRecordField_WideString(fieldID); break;
        case kDBFieldData: *out = new (std::nothrow) DSimpleDBRecordField_Data(fieldID); break;
        case kDBFieldVString: *out = new (std::nothrow) DSimpleDBRecordField_VString(fieldID); break;
        default: return dbFieldInvalidTypeError;
    }
    return *out != nullptr ? kNoError : generalErrMemoryError;
}

DErrorCode DSimpleDBRecordField::ReadHeader(const BYTE *bytes, uint32_t length) {
    if (length < kHeaderSize || GetUInt16(bytes) != m_type) return dbFieldSerialzeInError;
    m_fieldID = GetUInt32(bytes + 2);
    return kNoError;
}

void DSimpleDBRecordField::WriteHeader(BYTE *bytes) const {
    PutUInt16(bytes, m_type);
    PutUInt32(bytes + 2, m_fieldID);
}

DErrorCode DSimpleDBRecordField::ReadCount(const BYTE *bytes, uint32_t length, uint32_t at, uint32_t *count) {
    if (length < at || length - at < 4) return dbFieldSerialzeInError;
    *count = GetUInt32(bytes + at);
    if (*count > length - at - 4) return dbFieldSerialzeInError;
    return kNoError;
}
