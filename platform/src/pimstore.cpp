#include "pimstore.h"

#include <algorithm>

#include "pimprops.h"
#include "winfile.h"
#include "winmem.h"

namespace vplat {

const WCHAR kPimAppointmentsDb[] = u"Appointments Database";
const WCHAR kPimContactsDb[] = u"Contacts Database";
const WCHAR kPimTasksDb[] = u"Tasks Database";
const WCHAR kPimVolume[] = u"\\storage\\mxip_initdb.vol";

namespace {

DWORD LastErrorOr(DWORD fallback) {
    DWORD err = GetLastError();
    return err != ERROR_SUCCESS ? err : fallback;
}

}  // namespace

HRESULT PimResult(DWORD err) {
    if (err == ERROR_SUCCESS) return S_OK;
    return err == ERROR_NO_DATA ? PIM_E_NOTFOUND : HRESULT_FROM_WIN32(err);
}

DWORD PimStore::Open() {
    if (m_open) return ERROR_SUCCESS;
    CREATE_INVALIDGUID(&m_volume);
    if (m_edition == PimEdition::Smartphone) {
        // The volume's folder is the device's own; it may not be there yet.
        if (!CreateDirectoryW(u"\\storage", nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            return LastErrorOr(ERROR_PATH_NOT_FOUND);
        }
        if (!CeMountDBVol(&m_volume, const_cast<LPWSTR>(kPimVolume), OPEN_ALWAYS)) return LastErrorOr(ERROR_GEN_FAILURE);
        m_mounted = true;
    }
    const WCHAR *names[3] = {kPimAppointmentsDb, kPimContactsDb, kPimTasksDb};
    for (int i = 0; i < 3; ++i) {
        DWORD err = OpenOne(i, names[i]);
        if (err != ERROR_SUCCESS) {
            Close();
            return err;
        }
    }
    m_open = true;
    return ERROR_SUCCESS;
}

DWORD PimStore::OpenOne(int index, const WCHAR *name) {
    std::u16string text(name);
    for (int attempt = 0; attempt < 2; ++attempt) {
        CEOID oid = 0;
        m_db[index] = CeOpenDatabaseEx2(&m_volume, &oid, &text[0], nullptr, 0, nullptr);
        if (m_db[index] != INVALID_HANDLE_VALUE) return ERROR_SUCCESS;
        if (GetLastError() != ERROR_FILE_NOT_FOUND || attempt == 1) break;
        CEDBASEINFOEX info = {};
        info.wVersion = CEDBASEINFOEX_VERSION;
        info.dwFlags = CEDB_VALIDNAME;
        std::copy(text.begin(), text.end(), info.szDbaseName);
        // Another process making it first is as good.
        if (CeCreateDatabaseEx2(&m_volume, &info) == 0 && GetLastError() != ERROR_DUP_NAME) break;
    }
    return LastErrorOr(ERROR_GEN_FAILURE);
}

void PimStore::Close() {
    for (HANDLE &db : m_db) {
        if (db != INVALID_HANDLE_VALUE) CloseHandle(db);
        db = INVALID_HANDLE_VALUE;
    }
    if (m_mounted) CeUnmountDBVol(&m_volume);
    m_mounted = false;
    m_open = false;
}

DWORD PimStore::Read(PimKind kind, CEOID oid, PimValues *values) {
    if (!m_open) return ERROR_INVALID_HANDLE;
    if (oid == 0 || CeSeekDatabaseEx(Db(kind), CEDB_SEEK_CEOID, oid, 0, nullptr) == 0) {
        return oid == 0 ? ERROR_NO_DATA : LastErrorOr(ERROR_NO_DATA);
    }
    LPBYTE buffer = nullptr;
    DWORD size = 0;
    WORD count = 0;
    if (CeReadRecordPropsEx(Db(kind), CEDB_ALLOWREALLOC, &count, nullptr, &buffer, &size, nullptr) == 0) {
        DWORD err = LastErrorOr(ERROR_NO_DATA);
        LocalFree(buffer);
        return err;
    }
    *values = PimValuesFromBuffer(reinterpret_cast<const CEPROPVAL *>(buffer), count);
    LocalFree(buffer);
    return ERROR_SUCCESS;
}

DWORD PimStore::Write(PimKind kind, CEOID oid, std::vector<CEPROPVAL> &changes, CEOID *written) {
    if (!m_open) return ERROR_INVALID_HANDLE;
    if (changes.size() > 0xFFFF) return ERROR_INVALID_PARAMETER;
    CEOID result = CeWriteRecordProps(Db(kind), oid, WORD(changes.size()), changes.empty() ? nullptr : changes.data());
    if (result == 0) return LastErrorOr(ERROR_GEN_FAILURE);
    *written = result;
    return ERROR_SUCCESS;
}

DWORD PimStore::Delete(PimKind kind, CEOID oid) {
    if (!m_open) return ERROR_INVALID_HANDLE;
    return CeDeleteRecord(Db(kind), oid) ? ERROR_SUCCESS : LastErrorOr(ERROR_GEN_FAILURE);
}

DWORD PimStore::Count(PimKind kind, DWORD *count) {
    if (!m_open) return ERROR_INVALID_HANDLE;
    BY_HANDLE_DB_INFORMATION info = {};
    info.wVersion = BY_HANDLE_DB_INFORMATION_VERSION;
    if (!CeGetDBInformationByHandle(Db(kind), &info)) return LastErrorOr(ERROR_GEN_FAILURE);
    *count = info.infoex.dwNumRecords;
    return ERROR_SUCCESS;
}

DWORD PimStore::OidAt(PimKind kind, DWORD index, CEOID *oid) {
    if (!m_open) return ERROR_INVALID_HANDLE;
    CEOID at = CeSeekDatabaseEx(Db(kind), CEDB_SEEK_BEGINNING, index, 0, nullptr);
    if (at == 0) return GetLastError() == ERROR_NO_MORE_ITEMS ? ERROR_NO_DATA : LastErrorOr(ERROR_NO_DATA);
    *oid = at;
    return ERROR_SUCCESS;
}

DWORD PimStore::KindOf(CEOID oid, PimKind *kind) {
    if (!m_open) return ERROR_INVALID_HANDLE;
    if (oid == 0) return ERROR_NO_DATA;
    for (PimKind k : {PimKind::Appointment, PimKind::Contact, PimKind::Task}) {
        if (CeSeekDatabaseEx(Db(k), CEDB_SEEK_CEOID, oid, 0, nullptr) != 0) {
            *kind = k;
            return ERROR_SUCCESS;
        }
        if (GetLastError() != ERROR_NO_DATA) return LastErrorOr(ERROR_GEN_FAILURE);
    }
    return ERROR_NO_DATA;
}

}  // namespace vplat
