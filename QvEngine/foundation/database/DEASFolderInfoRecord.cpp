#include "DEASFolderInfoRecord.h"

#include <cstring>

#include "DEASFolderInfoStore.h"
#include "DSimpleDBRecordFields.h"

namespace {

const char *DefaultText(uint32_t fieldID) {
    switch (fieldID) {
        case kFolderFieldServerID:
        case kFolderFieldSyncKey:
        case kFolderFieldPendingParent: return "0";
        default: return "";
    }
}

}  // namespace

DErrorCode DEASFolderInfoRecord::FieldForSet(uint32_t fieldID, uint16_t type, DSimpleDBRecordField **out) {
    DSimpleDBRecordField *field = FindField(fieldID);
    if (field != nullptr && field->GetType() == type) {
        *out = field;
        return kNoError;
    }
    if (field != nullptr) RemoveField(fieldID);
    return CreateField(type, fieldID, out);
}

uint32_t DEASFolderInfoRecord::GetInt(uint32_t fieldID) const {
    DSimpleDBRecordField *field = FindField(fieldID);
    if (field == nullptr || field->GetType() != kDBFieldInt32) return 0;
    return static_cast<DSimpleDBRecordField_Int32 *>(field)->GetValue();
}

DErrorCode DEASFolderInfoRecord::SetInt(uint32_t fieldID, uint32_t value) {
    DSimpleDBRecordField *field;
    DErrorCode err = FieldForSet(fieldID, kDBFieldInt32, &field);
    if (err == kNoError) static_cast<DSimpleDBRecordField_Int32 *>(field)->SetValue(value);
    return err;
}

const char *DEASFolderInfoRecord::GetString(uint32_t fieldID) const {
    DSimpleDBRecordField *field = FindField(fieldID);
    if (field == nullptr || field->GetType() != kDBFieldNarrowString) return DefaultText(fieldID);
    return static_cast<DSimpleDBRecordField_NarrowString *>(field)->GetText();
}

DErrorCode DEASFolderInfoRecord::SetString(uint32_t fieldID, const char *text) {
    DSimpleDBRecordField *field;
    DErrorCode err = FieldForSet(fieldID, kDBFieldNarrowString, &field);
    return err != kNoError ? err : static_cast<DSimpleDBRecordField_NarrowString *>(field)->SetText(text);
}

const BYTE *DEASFolderInfoRecord::GetData() const {
    DSimpleDBRecordField *field = FindField(kFolderFieldData);
    if (field == nullptr || field->GetType() != kDBFieldData) return nullptr;
    return static_cast<DSimpleDBRecordField_Data *>(field)->GetBytes();
}

uint32_t DEASFolderInfoRecord::GetDataSize() const {
    DSimpleDBRecordField *field = FindField(kFolderFieldData);
    if (field == nullptr || field->GetType() != kDBFieldData) return 0;
    return static_cast<DSimpleDBRecordField_Data *>(field)->GetLength();
}

DErrorCode DEASFolderInfoRecord::SetData(const void *bytes, uint32_t length) {
    DSimpleDBRecordField *field;
    DErrorCode err = FieldForSet(kFolderFieldData, kDBFieldData, &field);
    return err != kNoError ? err : static_cast<DSimpleDBRecordField_Data *>(field)->SetBytes(bytes, length);
}

DErrorCode DEASFolderInfoRecord::RemoveData() { return RemoveField(kFolderFieldData); }

DErrorCode DEASFolderInfoRecord::SetFlag(uint32_t mask, bool on) {
    const uint32_t flags = GetInt(kFolderFieldFlags);
    return SetInt(kFolderFieldFlags, on ? (flags | mask) : (flags & ~mask));
}

DErrorCode DEASFolderInfoRecord::GetParentServerID(DEASFolderInfoStore *store, const char **out) const {
    if (out == nullptr) return generalErrInvalidParameter;
    *out = "0";
    if (store == nullptr) return generalErrNULLPointer;
    const uint32_t parentID = GetInt(kFolderFieldParentRecordID);
    if (parentID == kQvUnknown) return kNoError;
    DSimpleDBRecord *parent = nullptr;
    DErrorCode err = store->GetRecordByID(parentID, &parent);
    if (err == generalErrItemNotFound) return kNoError;
    if (err != kNoError) return err;
    *out = static_cast<DEASFolderInfoRecord *>(parent)->GetString(kFolderFieldServerID);
    return kNoError;
}

DErrorCode DEASFolderInfoRecord::SetParentServerID(DEASFolderInfoStore *store, const char *serverID) {
    if (store == nullptr) return generalErrNULLPointer;
    uint32_t parentID = kQvUnknown;
    if (serverID != nullptr && strcmp(serverID, "0") != 0) {
        DEASFolderInfoRecord *parent = nullptr;
        DErrorCode err = store->FindFolderByServerID(serverID, &parent);
        if (err != kNoError && err != generalErrItemNotFound) return err;
        if (parent != nullptr) parentID = parent->GetRecordID();
    }
    return SetInt(kFolderFieldParentRecordID, parentID);
}

bool DEASFolderInfoRecord::HasPendingParent() const {
    DSimpleDBRecordField *field = FindField(kFolderFieldPendingParent);
    return field != nullptr && strcmp(GetString(kFolderFieldPendingParent), "0") != 0;
}

DErrorCode DEASFolderInfoRecord::ClearPendingParent() {
    DErrorCode err = SetString(kFolderFieldPendingParent, "0");
    return err != kNoError ? err : SetFlag(kFolderFlagPendingParentMask, false);
}
