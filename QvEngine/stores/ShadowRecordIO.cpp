#include "ShadowRecordIO.h"

#include <new>

#include "ShadowMarks.h"
#include "winmem.h"

namespace {

// Seeks the record and reads the given properties (all for null) into a
// buffer the platform allocates.
DErrorCode ReadProps(HANDLE db, CEOID oid, CEPROPID *props, WORD *count, BYTE **buffer) {
    *buffer = nullptr;
    DWORD index = 0;
    if (CeSeekDatabaseEx(db, CEDB_SEEK_CEOID, oid, 1, &index) != oid) return generalErrItemNotFound;
    DWORD size = 0;
    if (CeReadRecordPropsEx(db, CEDB_ALLOWREALLOC, count, props, buffer, &size, nullptr) != oid) {
        DErrorCode err = static_cast<DErrorCode>(GetLastError());
        if (*buffer != nullptr) LocalFree(*buffer);
        *buffer = nullptr;
        return err != kNoError ? err : generalErrItemNotFound;
    }
    return kNoError;
}

}  // namespace

DErrorCode ShadowReadAll(HANDLE db, CEOID oid, BYTE **buffer, WORD *count) {
    *count = 0;
    return ReadProps(db, oid, nullptr, count, buffer);
}

DErrorCode ShadowReadUInt(HANDLE db, CEOID oid, CEPROPID prop, uint32_t *value, bool *found) {
    *value = 0;
    if (found != nullptr) *found = false;
    WORD count = 1;
    BYTE *buffer = nullptr;
    DErrorCode err = ReadProps(db, oid, &prop, &count, &buffer);
    if (err != kNoError) return err;
    const CEPROPVAL *val = reinterpret_cast<const CEPROPVAL *>(buffer);
    if ((val->wFlags & CEDB_PROPNOTFOUND) == 0) {
        *value = val->val.ulVal;
        if (found != nullptr) *found = true;
    }
    LocalFree(buffer);
    return kNoError;
}

DErrorCode ShadowReadBlob(HANDLE db, CEOID oid, CEPROPID prop, std::vector<BYTE> *out, bool *found) {
    out->clear();
    *found = false;
    WORD count = 1;
    BYTE *buffer = nullptr;
    DErrorCode err = ReadProps(db, oid, &prop, &count, &buffer);
    if (err != kNoError) return err;
    const CEPROPVAL *val = reinterpret_cast<const CEPROPVAL *>(buffer);
    try {
        if ((val->wFlags & CEDB_PROPNOTFOUND) == 0) {
            out->assign(val->val.blob.lpb, val->val.blob.lpb + val->val.blob.dwCount);
            *found = true;
        }
    } catch (const std::bad_alloc &) {
        err = generalErrMemoryError;
    }
    LocalFree(buffer);
    return err;
}

DErrorCode ShadowWriteProps(HANDLE db, CEOID oid, WORD count, CEPROPVAL *props) {
    // Noted before the write: a set that holds a record too many costs one read.
    for (WORD i = 0; i < count; ++i) {
        if (props[i].propid == kShadowPropFlags && (props[i].wFlags & CEDB_PROPDELETE) == 0)
            ShadowMarksNote(db, oid, props[i].val.ulVal);
    }
    return CeWriteRecordProps(db, oid, count, props) == oid ? kNoError : generalErrItemNotFound;
}

DErrorCode ShadowWriteUInt(HANDLE db, CEOID oid, CEPROPID prop, uint32_t value) {
    CEPROPVAL val = {};
    val.propid = prop;
    val.val.ulVal = value;
    return ShadowWriteProps(db, oid, 1, &val);
}

DErrorCode ShadowWriteBlob(HANDLE db, CEOID oid, CEPROPID prop, const BYTE *bytes, uint32_t size) {
    static BYTE none = 0;
    CEPROPVAL val = {};
    val.propid = prop;
    val.val.blob.dwCount = size;
    val.val.blob.lpb = size != 0 ? const_cast<BYTE *>(bytes) : &none;
    return ShadowWriteProps(db, oid, 1, &val);
}
