// Opening, closing and the record operations of a shadow database; the
// walks and the change scan are in DWinMobShadowDBWalks.cpp.
#include "DWinMobShadowDB.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "ShadowLock.h"
#include "ShadowMarks.h"
#include "ShadowRecordIO.h"
#include "winfile.h"
#include "winmem.h"
#include "winthread.h"

const WCHAR kShadowVolume[] = u"\\storage\\brw_pim_db.vol";

namespace {

const WCHAR *const kShadowNames[] = {u"QV_email_shadow", u"QV_calendar_shadow", u"QV_contacts_shadow"};

// One sort order: the sequence number, unsigned 32-bit, unique, ascending.
SORTORDERSPECEX ShadowSortOrder() {
    SORTORDERSPECEX sort = {};
    sort.wVersion = SORTORDERSPECEX_VERSION;
    sort.wNumProps = 1;
    sort.wKeyFlags = CEDB_SORT_UNIQUE;
    sort.rgPropID[0] = kShadowPropSequence;
    return sort;
}

DErrorCode LastError() {
    DWORD err = GetLastError();
    return err != 0 ? static_cast<DErrorCode>(err) : generalErrUnknownError;
}

// A stored record's object id: not unset, not new, not deleted, not 0.
bool IsStoredOid(CEOID oid) { return oid != 0 && oid != kShadowOidNone && oid != kShadowOidNew && oid != kShadowOidDeleted; }

}  // namespace

DWinMobShadowDB::DWinMobShadowDB()
    : m_handle(INVALID_HANDLE_VALUE), m_type(0), m_lock(nullptr), m_volume(), m_mounted(false) {
    std::memset(m_name, 0, sizeof m_name);
    CREATE_SYSTEMGUID(&m_volume);
}

DWinMobShadowDB::~DWinMobShadowDB() { Close(); }

DErrorCode DWinMobShadowDB::Open(uint32_t type) {
    if (type < kShadowEmail || type > kShadowContacts) return generalErrNotImplemented;
    Close();
    const WCHAR *name = kShadowNames[type - 1];
    const size_t length = std::char_traits<WCHAR>::length(name);
    if (length >= CEDB_MAXDBASENAMELEN) return generalErrInvalidParameter;
    std::memset(m_name, 0, sizeof m_name);
    std::copy(name, name + length, m_name);
    m_type = type;

    DErrorCode err = kNoError;
#ifdef VANTREL_EDITION_SMARTPHONE
    if (!CeMountDBVol(&m_volume, const_cast<WCHAR *>(kShadowVolume), OPEN_ALWAYS)) err = LastError();
    m_mounted = err == kNoError;
#endif
    if (err == kNoError) err = OpenShadowLock(m_name, &m_lock);
    if (err == kNoError) {
        err = OpenByName();
        // Made on first use; another process may make it first, then its is opened.
        if (err == ERROR_FILE_NOT_FOUND) {
            err = Create();
            if (err == kNoError || err == ERROR_DUP_NAME || err == ERROR_ALREADY_EXISTS) err = OpenByName();
        }
    }
    if (err != kNoError) Close();
    return err;
}

DErrorCode DWinMobShadowDB::OpenByName() {
    CEOID oid = 0;
    SORTORDERSPECEX sort = ShadowSortOrder();
    m_handle = CeOpenDatabaseEx2(&m_volume, &oid, m_name, &sort, 0, nullptr);
    if (m_handle == INVALID_HANDLE_VALUE) return LastError();
    ShadowMarksRegister(m_handle, m_name);
    return kNoError;
}

DErrorCode DWinMobShadowDB::Create() {
    CEDBASEINFOEX info = {};
    info.wVersion = CEDBASEINFOEX_VERSION;
    info.dwFlags = CEDB_VALIDNAME | CEDB_VALIDSORTSPEC;
    std::copy(m_name, m_name + CEDB_MAXDBASENAMELEN, info.szDbaseName);
    info.wNumSortOrder = 1;
    info.rgSortSpecs[0] = ShadowSortOrder();
    return CeCreateDatabaseEx2(&m_volume, &info) == 0 ? LastError() : kNoError;
}

DErrorCode DWinMobShadowDB::Close() {
    if (m_handle != INVALID_HANDLE_VALUE) {
        ShadowMarksUnregister(m_handle);
        CloseHandle(m_handle);
    }
    m_handle = INVALID_HANDLE_VALUE;
    m_type = 0;
    if (m_lock != nullptr) CloseHandle(m_lock);
    m_lock = nullptr;
    if (m_mounted) CeUnmountDBVol(&m_volume);
    m_mounted = false;
    return kNoError;
}

DErrorCode DWinMobShadowDB::GetRecordCount(uint32_t *count) {
    *count = 0;
    BY_HANDLE_DB_INFORMATION info = {};
    info.wVersion = BY_HANDLE_DB_INFORMATION_VERSION;
    if (!IsOpen() || !CeGetDBInformationByHandle(m_handle, &info)) return IsOpen() ? LastError() : generalErrItemNotFound;
    *count = info.infoex.dwNumRecords;
    return kNoError;
}

DErrorCode DWinMobShadowDB::AddRecord(DWinMobShadowRecord *record, uint32_t flags) {
    if (record == nullptr) return generalErrNULLPointer;
    DShadowLockHold hold(m_lock);
    if (hold.Error() != kNoError) return hold.Error();
    // The sequence number after the last in sort order, taken and stored
    // while no other process can take the same.
    uint32_t sequence = 0;
    DWORD index = 0;
    const CEOID last = CeSeekDatabaseEx(m_handle, CEDB_SEEK_END, 0, 1, &index);
    if (last != 0) {
        bool found = false;
        if (ShadowReadUInt(m_handle, last, kShadowPropSequence, &sequence, &found) != kNoError || !found)
            return generalErrItemNotFound;
        ++sequence;
    } else if (GetLastError() != ERROR_NO_MORE_ITEMS) {
        return generalErrItemNotFound;
    }
    CEPROPVAL vals[2] = {};
    vals[0].propid = kShadowPropSequence;
    vals[0].val.ulVal = sequence;
    vals[1].propid = kShadowPropFlags;
    vals[1].val.ulVal = flags;
    const CEOID oid = CeWriteRecordProps(m_handle, 0, flags != 0 ? 2 : 1, vals);
    if (oid == 0) return generalErrItemNotFound;
    ShadowMarksNote(m_handle, oid, flags);
    record->SetObjectID(oid);
    return kNoError;
}

DErrorCode DWinMobShadowDB::NewRecord(DWinMobShadowRecord *record, uint32_t flags) {
    if (record == nullptr) return generalErrNULLPointer;
    record->Bind(m_type, kShadowOidNew, m_handle, m_lock);
    return AddRecord(record, flags);
}

DErrorCode DWinMobShadowDB::WriteRecord(DWinMobShadowRecord *record) {
    if (record == nullptr) return generalErrNULLPointer;
    const CEOID oid = record->GetObjectID();
    if (!IsStoredOid(oid)) return generalErrItemNotFound;
    // The stored values written back must be the ones stored at the write.
    DShadowLockHold hold(m_lock);
    if (hold.Error() != kNoError) return hold.Error();
    CEPROPVAL props[4] = {};
    WORD count = 0;
    const uint32_t mask = record->GetPropertyMask();
    if ((mask & kShadowMaskLocalID) != 0 && !record->LocalID().empty()) {
        props[count].propid = kShadowPropLocalID;
        props[count].val.blob.dwCount = static_cast<DWORD>(record->LocalID().size());
        props[count].val.blob.lpb = const_cast<BYTE *>(record->LocalID().data());
        ++count;
    }
    DErrorCode err = kNoError;
    if ((mask & kShadowMaskObjectID) != 0) {
        props[count].propid = kShadowPropObjectID;
        err = ShadowReadUInt(m_handle, oid, kShadowPropObjectID, &props[count].val.ulVal);
        ++count;
    }
    if (err == kNoError && record->HasServerID()) {
        props[count].propid = kShadowPropServerID;
        props[count].val.lpwstr = const_cast<WCHAR *>(record->GetServerID());
        ++count;
    }
    if (err == kNoError) {
        props[count].propid = kShadowPropFlags;
        err = ShadowReadUInt(m_handle, oid, kShadowPropFlags, &props[count].val.ulVal);
        ++count;
    }
    return err != kNoError ? err : ShadowWriteProps(m_handle, oid, count, props);
}

DErrorCode DWinMobShadowDB::LoadRecord(DWinMobShadowRecord *record, CEOID oid) {
    if (record == nullptr) return generalErrNULLPointer;
    if (!IsOpen()) return generalErrItemNotFound;
    BYTE *buffer = nullptr;
    WORD count = 0;
    DErrorCode err = ShadowReadAll(m_handle, oid, &buffer, &count);
    if (err != kNoError) return err;
    record->Clear();
    record->Bind(m_type, oid, m_handle, m_lock);
    const CEPROPVAL *props = reinterpret_cast<const CEPROPVAL *>(buffer);
    for (WORD i = 0; i < count && err == kNoError; ++i) {
        const CEPROPVAL &p = props[i];
        if ((p.wFlags & CEDB_PROPNOTFOUND) != 0) continue;
        const WORD id = PropIdFromPropID(p.propid);
        if (p.propid == kShadowPropLocalID)
            err = record->SetLocalID(p.val.blob.lpb, p.val.blob.dwCount);
        else if (p.propid == kShadowPropServerID)
            err = record->SetServerID(p.val.lpwstr);
        else if (!((id >= 0x0107 && id <= 0x010E) || id == 0x0206))
            err = generalErrUnknownError;  // not a shadow record's property
    }
    LocalFree(buffer);
    return err;
}

DErrorCode DWinMobShadowDB::GetRecordByOID(CEOID oid, DWinMobShadowRecord *record) {
    DWORD index = 0;
    if (!IsOpen() || CeSeekDatabaseEx(m_handle, CEDB_SEEK_CEOID, oid, 1, &index) != oid) return generalErrItemNotFound;
    return LoadRecord(record, oid);
}

DErrorCode DWinMobShadowDB::DeleteRecord(DWinMobShadowRecord *record) {
    if (record == nullptr) return generalErrNULLPointer;
    const CEOID oid = record->GetObjectID();
    DWORD index = 0;
    if (!IsOpen() || !IsStoredOid(oid) || CeSeekDatabaseEx(m_handle, CEDB_SEEK_CEOID, oid, 1, &index) != oid)
        return generalErrItemNotFound;
    if (!CeDeleteRecord(m_handle, oid)) return LastError();
    record->SetObjectID(kShadowOidDeleted);
    return kNoError;
}

DErrorCode DWinMobShadowDB::DeleteAll() {
    if (!IsOpen()) return generalErrItemNotFound;
    for (;;) {
        DWORD index = 0;
        const CEOID first = CeSeekDatabaseEx(m_handle, CEDB_SEEK_BEGINNING, 0, 1, &index);
        if (first == 0) break;
        // A delete that keeps failing would be tried for ever: it is the result.
        if (!CeDeleteRecord(m_handle, first)) return LastError();
    }
    uint32_t count = 0;
    return GetRecordCount(&count);
}
