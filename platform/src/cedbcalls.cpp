// The property-database calls: each checks its arguments, finds its file
// (the object store or a mounted volume) on this thread's connection and
// runs as one transaction there; a failure sets the last error and returns
// the call's failure value.
#include <algorithm>
#include <cstring>
#include <memory>

#include "cedbfile.h"
#include "cedbhandle.h"
#include "cedbnotify.h"
#include "cedbprops.h"
#include "cedbvolume.h"
#include "winmem.h"
#include "winstr.h"

namespace vplat {
namespace {

template <class T>
T Fail(DWORD err, T result) {
    SetLastError(err);
    return result;
}

std::u16string Folded(const std::u16string &name) {
    std::u16string folded(name);
    for (auto &unit : folded) unit = towupper16(unit);
    return folded;
}

bool ValidSort(const SORTORDERSPECEX &sort) {
    if (sort.wNumProps == 0 || sort.wNumProps > CEDB_MAXSORTPROP) return false;
    for (int i = 0; i < sort.wNumProps; ++i) {
        CEPROPVAL probe{};
        probe.propid = sort.rgPropID[i];
        probe.wFlags = CEDB_PROPDELETE;  // only the type is checked
        if (CeDbCheckValue(probe) != ERROR_SUCCESS) return false;
    }
    return true;
}

bool SameSort(const SORTORDERSPECEX &a, const SORTORDERSPECEX &b) {
    if (a.wNumProps != b.wNumProps) return false;
    for (int i = 0; i < a.wNumProps && i < CEDB_MAXSORTPROP; ++i) {
        if (a.rgPropID[i] != b.rgPropID[i] || a.rgdwFlags[i] != b.rgdwFlags[i]) return false;
    }
    return true;
}

// The handle's object and this thread's connection to its file.
DWORD Resolve(HANDLE h, std::shared_ptr<CeDbHandle> *handle, CeDbFile **file) {
    *handle = HandleGet<CeDbHandle>(h);
    if (*handle == nullptr) return ERROR_INVALID_HANDLE;
    return CeDbFileForThread((*handle)->hostPath, file);
}

// Whether a record is one of the database's.
DWORD RecordIn(CeDbFile &file, CEOID record, CEOID database, bool *found) {
    SqliteStatement query(file.Db(), "SELECT db FROM recs WHERE oid = ?1");
    query.BindInt(1, record);
    DWORD err = query.Step(found);
    if (err == ERROR_SUCCESS && *found) *found = static_cast<CEOID>(query.Int(0)) == database;
    return err;
}

DWORD Touch(CeDbFile &file, CEOID database) {
    SqliteStatement update(file.Db(), "UPDATE dbs SET modified = ?2 WHERE oid = ?1");
    update.BindInt(1, database);
    update.BindInt(2, CeDbNow());
    return update.Run();
}

DWORD CheckDatabase(CeDbFile &file, CEOID database) {
    SqliteStatement query(file.Db(), "SELECT 1 FROM dbs WHERE oid = ?1");
    query.BindInt(1, database);
    bool found;
    DWORD err = query.Step(&found);
    return err == ERROR_SUCCESS && !found ? ERROR_INVALID_HANDLE : err;
}

// Places the handle on index of order: 0 with the record's id, or an error.
DWORD Place(CeDbHandle &handle, const std::vector<CEOID> &order, int64_t index, CEOID *oid) {
    if (index < 0 || index >= static_cast<int64_t>(order.size())) return ERROR_NO_MORE_ITEMS;
    handle.positioned = true;
    handle.index = static_cast<DWORD>(index);
    handle.current = order[static_cast<size_t>(index)];
    *oid = handle.current;
    return ERROR_SUCCESS;
}

DWORD Seek(CeDbHandle &handle, CeDbFile &file, DWORD type, DWORD_PTR value, CEOID *oid, DWORD *index) {
    const std::vector<CEOID> *order = nullptr;
    DWORD err = handle.Order(file, &order);
    if (err != ERROR_SUCCESS) return err;
    LONG offset = static_cast<LONG>(static_cast<DWORD>(value));
    switch (type) {
        case CEDB_SEEK_CEOID: {
            auto it = std::find(order->begin(), order->end(), static_cast<CEOID>(value));
            if (value == 0 || it == order->end()) return ERROR_NO_DATA;
            err = Place(handle, *order, it - order->begin(), oid);
            break;
        }
        case CEDB_SEEK_BEGINNING: err = Place(handle, *order, static_cast<DWORD>(value), oid); break;
        case CEDB_SEEK_CURRENT: {
            int64_t base = handle.positioned ? handle.CurrentIndex(*order) : 0;
            err = Place(handle, *order, base + offset, oid);
            break;
        }
        case CEDB_SEEK_END: {
            int64_t back = offset < 0 ? -int64_t(offset) : int64_t(offset);
            err = Place(handle, *order, static_cast<int64_t>(order->size()) - 1 - back, oid);
            break;
        }
        default: return ERROR_NOT_SUPPORTED;
    }
    if (err == ERROR_SUCCESS) *index = handle.index;
    return err;
}

// Reads the handle's record: its properties as asked, laid out in *buffer.
DWORD ReadCurrent(CeDbHandle &handle, CeDbFile &file, const std::vector<CEPROPID> &asked, bool all,
                  std::vector<CeDbValue> *values, std::vector<const CeDbValue *> *picked, std::vector<CEPROPID> *ids,
                  CEOID *oid) {
    const std::vector<CEOID> *order = nullptr;
    DWORD err = handle.Order(file, &order);
    if (err != ERROR_SUCCESS) return err;
    if (!handle.positioned) {
        err = Place(handle, *order, 0, oid);
        if (err != ERROR_SUCCESS) return err;
    }
    if (handle.current == 0) return ERROR_NO_MORE_ITEMS;
    bool found = false;
    err = RecordIn(file, handle.current, handle.info.oid, &found);
    if (err != ERROR_SUCCESS) return err;
    if (!found) return ERROR_NO_DATA;
    err = CeDbLoadValues(file, handle.current, values);
    if (err != ERROR_SUCCESS) return err;
    picked->clear();
    ids->clear();
    if (all) {
        for (const CeDbValue &value : *values) {
            picked->push_back(&value);
            ids->push_back(value.propid);
        }
    } else {
        for (CEPROPID id : asked) {
            auto it = std::find_if(values->begin(), values->end(), [id](const CeDbValue &v) { return v.propid == id; });
            picked->push_back(it == values->end() ? nullptr : &*it);
            ids->push_back(id);
        }
    }
    *oid = handle.current;
    if ((handle.openFlags & CEDB_AUTOINCREMENT) != 0) {
        DWORD next = handle.CurrentIndex(*order) + 1;
        handle.index = next;
        handle.current = next < order->size() ? (*order)[next] : 0;
    }
    return ERROR_SUCCESS;
}

}  // namespace
}  // namespace vplat

using vplat::CeDbFile;
using vplat::CeDbHandle;
using vplat::CeDbNotices;
using vplat::Fail;

extern "C" PLATAPI CEOID CeCreateDatabaseEx2(PCEGUID pguid, CEDBASEINFOEX *pInfo) {
    if (pInfo == nullptr || pInfo->wVersion == 0 || pInfo->wVersion > 2 || (pInfo->dwFlags & CEDB_VALIDNAME) == 0) {
        return Fail<CEOID>(ERROR_INVALID_PARAMETER, 0);
    }
    size_t length = 0;
    while (length < CEDB_MAXDBASENAMELEN && pInfo->szDbaseName[length] != 0) ++length;
    if (length == 0 || length == CEDB_MAXDBASENAMELEN) return Fail<CEOID>(ERROR_INVALID_PARAMETER, 0);
    std::u16string name(pInfo->szDbaseName, length);
    std::vector<SORTORDERSPECEX> sorts;
    if ((pInfo->dwFlags & CEDB_VALIDSORTSPEC) != 0) {
        if (pInfo->wNumSortOrder > CEDB_MAXSORTORDER) return Fail<CEOID>(ERROR_INVALID_PARAMETER, 0);
        for (int i = 0; i < pInfo->wNumSortOrder; ++i) {
            if (!vplat::ValidSort(pInfo->rgSortSpecs[i])) return Fail<CEOID>(ERROR_INVALID_PARAMETER, 0);
            sorts.push_back(pInfo->rgSortSpecs[i]);
        }
    }
    std::string path;
    CEGUID volume;
    DWORD err = vplat::CeDbResolveVolume(pguid, &path, &volume);
    CeDbFile *file = nullptr;
    if (err == ERROR_SUCCESS) err = vplat::CeDbFileForThread(path, &file);
    if (err != ERROR_SUCCESS) return Fail<CEOID>(err, 0);
    CEOID oid = 0;
    err = file->Write(volume, [&](CeDbNotices *) {
        vplat::CeDbInfo existing;
        bool found = false;
        DWORD e = vplat::CeDbLoadInfo(*file, 0, name, &existing, &found);
        if (e != ERROR_SUCCESS) return e;
        if (found) return DWORD(ERROR_DUP_NAME);
        e = file->AllocateOid(&oid);
        if (e != ERROR_SUCCESS) return e;
        vplat::SqliteStatement insert(file->Db(),
                                      "INSERT INTO dbs(oid, name, folded, type, flags, sorts, modified) "
                                      "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        insert.BindInt(1, oid);
        insert.BindUnits(2, name);
        insert.BindUnits(3, vplat::Folded(name));
        insert.BindInt(4, (pInfo->dwFlags & CEDB_VALIDTYPE) != 0 ? pInfo->dwDbaseType : 0);
        insert.BindInt(5, pInfo->dwFlags);
        insert.BindBlob(6, sorts.data(), sorts.size() * sizeof(SORTORDERSPECEX));
        insert.BindInt(7, vplat::CeDbNow());
        return insert.Run();
    });
    return err == ERROR_SUCCESS ? oid : Fail<CEOID>(err, 0);
}

extern "C" PLATAPI HANDLE CeOpenDatabaseEx2(PCEGUID pguid, PCEOID poid, LPWSTR lpszName, SORTORDERSPECEX *pSort,
                                            DWORD dwFlags, CENOTIFYREQUEST *pRequest) {
    if (poid == nullptr || (*poid == 0 && (lpszName == nullptr || lpszName[0] == 0)) ||
        (pRequest != nullptr && pRequest->hwnd == nullptr)) {
        return Fail<HANDLE>(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    }
    auto handle = std::make_shared<CeDbHandle>();
    DWORD err = vplat::CeDbResolveVolume(pguid, &handle->hostPath, &handle->volume);
    CeDbFile *file = nullptr;
    if (err == ERROR_SUCCESS) err = vplat::CeDbFileForThread(handle->hostPath, &file);
    if (err != ERROR_SUCCESS) return Fail<HANDLE>(err, INVALID_HANDLE_VALUE);
    bool found = false;
    err = file->Read([&] {
        return vplat::CeDbLoadInfo(*file, *poid, *poid != 0 ? std::u16string() : std::u16string(lpszName),
                                   &handle->info, &found);
    });
    if (err == ERROR_SUCCESS && !found) err = ERROR_FILE_NOT_FOUND;
    if (err != ERROR_SUCCESS) return Fail<HANDLE>(err, INVALID_HANDLE_VALUE);
    if (pSort != nullptr) {
        auto it = std::find_if(handle->info.sorts.begin(), handle->info.sorts.end(),
                               [pSort](const SORTORDERSPECEX &s) { return vplat::SameSort(s, *pSort); });
        if (it == handle->info.sorts.end()) return Fail<HANDLE>(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
        handle->sort = *it;
        handle->sorted = true;
    } else if (!handle->info.sorts.empty()) {
        handle->sort = handle->info.sorts[0];
        handle->sorted = true;
    }
    handle->openFlags = dwFlags;
    HANDLE h = vplat::HandleInsert(handle);
    handle->self = reinterpret_cast<uintptr_t>(h);
    if (pRequest != nullptr) {
        err = file->Write(handle->volume, [&](CeDbNotices *) {
            DWORD e = vplat::CheckDatabase(*file, handle->info.oid);
            return e == ERROR_SUCCESS ? vplat::CeDbAddRequest(*file, handle->info.oid, handle->self, *pRequest) : e;
        });
        if (err != ERROR_SUCCESS) {
            vplat::HandleClose(h);
            return Fail<HANDLE>(err, INVALID_HANDLE_VALUE);
        }
        handle->requested = true;
    }
    *poid = handle->info.oid;
    return h;
}

extern "C" PLATAPI CEOID CeSeekDatabaseEx(HANDLE hDatabase, DWORD dwSeekType, DWORD_PTR dwValue, WORD,
                                          LPDWORD lpdwIndex) {
    std::shared_ptr<CeDbHandle> handle;
    CeDbFile *file = nullptr;
    DWORD err = vplat::Resolve(hDatabase, &handle, &file);
    if (err != ERROR_SUCCESS) return Fail<CEOID>(err, 0);
    std::lock_guard<std::mutex> guard(handle->lock);
    CEOID oid = 0;
    DWORD index = 0;
    err = file->Read([&] { return vplat::Seek(*handle, *file, dwSeekType, dwValue, &oid, &index); });
    if (err != ERROR_SUCCESS) return Fail<CEOID>(err, 0);
    if (lpdwIndex != nullptr) *lpdwIndex = index;
    return oid;
}

extern "C" PLATAPI CEOID CeReadRecordPropsEx(HANDLE hDbase, DWORD dwFlags, LPWORD lpcPropID, CEPROPID *rgPropID,
                                             LPBYTE *lplpBuffer, LPDWORD lpcbBuffer, HANDLE) {
    if (lpcPropID == nullptr || lplpBuffer == nullptr || lpcbBuffer == nullptr ||
        (rgPropID != nullptr && *lpcPropID == 0)) {
        return Fail<CEOID>(ERROR_INVALID_PARAMETER, 0);
    }
    std::shared_ptr<CeDbHandle> handle;
    CeDbFile *file = nullptr;
    DWORD err = vplat::Resolve(hDbase, &handle, &file);
    if (err != ERROR_SUCCESS) return Fail<CEOID>(err, 0);
    std::vector<CEPROPID> asked;
    if (rgPropID != nullptr) asked.assign(rgPropID, rgPropID + *lpcPropID);
    std::vector<vplat::CeDbValue> values;
    std::vector<const vplat::CeDbValue *> picked;
    std::vector<CEPROPID> ids;
    CEOID oid = 0;
    {
        std::lock_guard<std::mutex> guard(handle->lock);
        err = file->Read(
            [&] { return vplat::ReadCurrent(*handle, *file, asked, rgPropID == nullptr, &values, &picked, &ids, &oid); });
    }
    if (err != ERROR_SUCCESS) return Fail<CEOID>(err, 0);
    if (picked.size() > 0xFFFF) return Fail<CEOID>(ERROR_INSUFFICIENT_BUFFER, 0);
    size_t needed = vplat::CeDbLayoutSize(picked);
    if (needed > 0xFFFFFFFFu) return Fail<CEOID>(ERROR_INSUFFICIENT_BUFFER, 0);
    if (*lplpBuffer == nullptr || *lpcbBuffer < needed) {
        if ((dwFlags & CEDB_ALLOWREALLOC) == 0) {
            *lpcbBuffer = static_cast<DWORD>(needed);
            return Fail<CEOID>(ERROR_INSUFFICIENT_BUFFER, 0);
        }
        HLOCAL grown = *lplpBuffer == nullptr ? LocalAlloc(LMEM_FIXED, needed) : LocalReAlloc(*lplpBuffer, needed, 0);
        if (grown == nullptr) return Fail<CEOID>(ERROR_NOT_ENOUGH_MEMORY, 0);
        *lplpBuffer = static_cast<LPBYTE>(grown);
        *lpcbBuffer = static_cast<DWORD>(needed);
    }
    vplat::CeDbLayout(picked, ids, *lplpBuffer);
    *lpcPropID = static_cast<WORD>(picked.size());
    return oid;
}

extern "C" PLATAPI CEOID CeWriteRecordProps(HANDLE hDbase, CEOID oidRecord, WORD cPropID, CEPROPVAL *rgPropVal) {
    if (cPropID != 0 && rgPropVal == nullptr) return Fail<CEOID>(ERROR_INVALID_PARAMETER, 0);
    for (WORD i = 0; i < cPropID; ++i) {
        if (vplat::CeDbCheckValue(rgPropVal[i]) != ERROR_SUCCESS) return Fail<CEOID>(ERROR_INVALID_PARAMETER, 0);
    }
    std::shared_ptr<CeDbHandle> handle;
    CeDbFile *file = nullptr;
    DWORD err = vplat::Resolve(hDbase, &handle, &file);
    if (err != ERROR_SUCCESS) return Fail<CEOID>(err, 0);
    CEOID oid = 0;
    bool reordered = false;
    uint64_t stampBefore = 0;
    const uint64_t epochBefore = file->OrderEpoch();
    const bool stamped = file->OrderStamp(&stampBefore) == ERROR_SUCCESS;
    err = file->Write(handle->volume, [&](CeDbNotices *notices) {
        oid = oidRecord;
        reordered = oidRecord == 0;
        DWORD e = vplat::CheckDatabase(*file, handle->info.oid);
        if (e != ERROR_SUCCESS) return e;
        if (oidRecord == 0) {
            e = file->AllocateOid(&oid);
            if (e != ERROR_SUCCESS) return e;
            vplat::SqliteStatement insert(file->Db(), "INSERT INTO recs(oid, db) VALUES(?1, ?2)");
            insert.BindInt(1, oid);
            insert.BindInt(2, handle->info.oid);
            e = insert.Run();
        } else {
            bool found = false;
            e = vplat::RecordIn(*file, oidRecord, handle->info.oid, &found);
            if (e == ERROR_SUCCESS && !found) e = ERROR_NO_DATA;
        }
        for (WORD i = 0; i < cPropID && e == ERROR_SUCCESS; ++i) {
            const CEPROPVAL &val = rgPropVal[i];
            reordered = reordered || vplat::CeDbIsSortProp(handle->info, val.propid);
            e = (val.wFlags & CEDB_PROPDELETE) != 0 ? vplat::CeDbDeleteValue(*file, oid, val.propid)
                                                    : vplat::CeDbStoreValue(*file, oid, vplat::CeDbEncode(val));
        }
        if (e == ERROR_SUCCESS) e = vplat::CeDbCheckUnique(*file, handle->info, oid);
        if (e == ERROR_SUCCESS) e = vplat::Touch(*file, handle->info.oid);
        notices->database = handle->info.oid;
        notices->notices.push_back({oidRecord == 0 ? UINT(DB_CEOID_CREATED) : UINT(DB_CEOID_CHANGED), oid});
        return e;
    });
    if (reordered) {
        file->OrderChanged();
        if (err == ERROR_SUCCESS && stamped) handle->NoteOwnChange(*file, oid, false, stampBefore, epochBefore);
    }
    return err == ERROR_SUCCESS ? oid : Fail<CEOID>(err, 0);
}

extern "C" PLATAPI BOOL CeDeleteRecord(HANDLE hDatabase, CEOID oidRecord) {
    std::shared_ptr<CeDbHandle> handle;
    CeDbFile *file = nullptr;
    DWORD err = oidRecord == 0 ? ERROR_INVALID_PARAMETER : vplat::Resolve(hDatabase, &handle, &file);
    if (err != ERROR_SUCCESS) return Fail<BOOL>(err, FALSE);
    uint64_t stampBefore = 0;
    const uint64_t epochBefore = file->OrderEpoch();
    const bool stamped = file->OrderStamp(&stampBefore) == ERROR_SUCCESS;
    err = file->Write(handle->volume, [&](CeDbNotices *notices) {
        bool found = false;
        DWORD e = vplat::CheckDatabase(*file, handle->info.oid);
        if (e == ERROR_SUCCESS) e = vplat::RecordIn(*file, oidRecord, handle->info.oid, &found);
        if (e == ERROR_SUCCESS && !found) e = ERROR_NO_DATA;
        if (e != ERROR_SUCCESS) return e;
        vplat::SqliteStatement props(file->Db(), "DELETE FROM props WHERE rec = ?1");
        props.BindInt(1, oidRecord);
        e = props.Run();
        vplat::SqliteStatement rec(file->Db(), "DELETE FROM recs WHERE oid = ?1");
        rec.BindInt(1, oidRecord);
        if (e == ERROR_SUCCESS) e = rec.Run();
        if (e == ERROR_SUCCESS) e = vplat::Touch(*file, handle->info.oid);
        notices->database = handle->info.oid;
        notices->notices.push_back({UINT(DB_CEOID_RECORD_DELETED), oidRecord});
        return e;
    });
    file->OrderChanged();
    if (err == ERROR_SUCCESS && stamped) handle->NoteOwnChange(*file, oidRecord, true, stampBefore, epochBefore);
    return err == ERROR_SUCCESS ? TRUE : Fail<BOOL>(err, FALSE);
}

extern "C" PLATAPI BOOL CeGetDBInformationByHandle(HANDLE hDbase, LPBY_HANDLE_DB_INFORMATION lpDBInfo) {
    if (lpDBInfo == nullptr) return Fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    std::shared_ptr<CeDbHandle> handle;
    CeDbFile *file = nullptr;
    DWORD err = vplat::Resolve(hDbase, &handle, &file);
    if (err != ERROR_SUCCESS) return Fail<BOOL>(err, FALSE);
    vplat::CeDbInfo info;
    int64_t records = 0, size = 0;
    err = file->Read([&] {
        bool found = false;
        DWORD e = vplat::CeDbLoadInfo(*file, handle->info.oid, std::u16string(), &info, &found);
        if (e == ERROR_SUCCESS && !found) e = ERROR_INVALID_HANDLE;
        if (e != ERROR_SUCCESS) return e;
        vplat::SqliteStatement query(file->Db(),
                                     "SELECT (SELECT count(*) FROM recs WHERE db = ?1), "
                                     "(SELECT coalesce(sum(8 + coalesce(length(p.data), 0)), 0) FROM props p "
                                     "JOIN recs r ON r.oid = p.rec WHERE r.db = ?1)");
        query.BindInt(1, handle->info.oid);
        bool row;
        e = query.Step(&row);
        if (e == ERROR_SUCCESS && row) {
            records = query.Int(0);
            size = query.Int(1);
        }
        return e;
    });
    if (err != ERROR_SUCCESS) return Fail<BOOL>(err, FALSE);
    std::memset(lpDBInfo, 0, sizeof *lpDBInfo);
    lpDBInfo->wVersion = BY_HANDLE_DB_INFORMATION_VERSION;
    lpDBInfo->guidVol = handle->volume;
    lpDBInfo->oidDbase = info.oid;
    CEDBASEINFOEX &out = lpDBInfo->infoex;
    out.wVersion = CEDBASEINFOEX_VERSION;
    out.wNumSortOrder = static_cast<WORD>(info.sorts.size());
    out.dwFlags = CEDB_VALIDNAME | CEDB_VALIDTYPE | CEDB_VALIDSORTSPEC | CEDB_VALIDMODTIME;
    std::copy(info.name.begin(), info.name.end(), out.szDbaseName);
    out.dwDbaseType = info.type;
    out.dwNumRecords = static_cast<DWORD>(records);
    out.dwSize = static_cast<DWORD>(std::min<int64_t>(size, 0xFFFFFFFF));
    out.ftLastModified.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(info.modified));
    out.ftLastModified.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(info.modified) >> 32);
    std::copy(info.sorts.begin(), info.sorts.end(), out.rgSortSpecs);
    return TRUE;
}

extern "C" PLATAPI BOOL CeDeleteDatabaseEx(PCEGUID pguid, CEOID oid) {
    std::string path;
    CEGUID volume;
    DWORD err = oid == 0 ? ERROR_INVALID_PARAMETER : vplat::CeDbResolveVolume(pguid, &path, &volume);
    CeDbFile *file = nullptr;
    if (err == ERROR_SUCCESS) err = vplat::CeDbFileForThread(path, &file);
    if (err != ERROR_SUCCESS) return Fail<BOOL>(err, FALSE);
    err = file->Write(volume, [&](CeDbNotices *notices) {
        DWORD e = vplat::CheckDatabase(*file, oid);
        if (e == ERROR_INVALID_HANDLE) return DWORD(ERROR_FILE_NOT_FOUND);
        vplat::SqliteStatement props(file->Db(),
                                     "DELETE FROM props WHERE rec IN (SELECT oid FROM recs WHERE db = ?1)");
        props.BindInt(1, oid);
        if (e == ERROR_SUCCESS) e = props.Run();
        vplat::SqliteStatement recs(file->Db(), "DELETE FROM recs WHERE db = ?1");
        recs.BindInt(1, oid);
        if (e == ERROR_SUCCESS) e = recs.Run();
        vplat::SqliteStatement db(file->Db(), "DELETE FROM dbs WHERE oid = ?1");
        db.BindInt(1, oid);
        if (e == ERROR_SUCCESS) e = db.Run();
        // Its requesters hear of it; their requests go after the notice.
        notices->database = oid;
        notices->notices.push_back({UINT(DB_CEOID_DATABASE_DELETED), oid});
        return e;
    });
    if (err != ERROR_SUCCESS) return Fail<BOOL>(err, FALSE);
    file->OrderChanged();
    file->Write(volume, [&](CeDbNotices *) {
        vplat::SqliteStatement remove(file->Db(), "DELETE FROM requests WHERE db = ?1");
        remove.BindInt(1, oid);
        return remove.Run();
    });
    return TRUE;
}

extern "C" PLATAPI BOOL CeMountDBVol(PCEGUID pguid, LPWSTR lpszVol, DWORD dwFlags) {
    DWORD err = vplat::CeDbMount(lpszVol, dwFlags, pguid);
    return err == ERROR_SUCCESS ? TRUE : Fail<BOOL>(err, FALSE);
}

extern "C" PLATAPI BOOL CeUnmountDBVol(PCEGUID pguid) {
    DWORD err = pguid == nullptr ? ERROR_INVALID_PARAMETER : vplat::CeDbUnmount(*pguid);
    return err == ERROR_SUCCESS ? TRUE : Fail<BOOL>(err, FALSE);
}
