#include "cedbhandle.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "cedbnotify.h"
#include "cedbprops.h"
#include "winstr.h"

namespace vplat {
namespace {

std::u16string Fold(const std::u16string &name) {
    std::u16string folded(name);
    for (auto &unit : folded) unit = towupper16(unit);
    return folded;
}

using Keyed = CeDbKeyed;

int SlotOf(const SORTORDERSPECEX &sort, CEPROPID propid) {
    for (int i = 0; i < sort.wNumProps && i < CEDB_MAXSORTPROP; ++i) {
        if (sort.rgPropID[i] == propid) return i;
    }
    return -1;
}

// Each record of the database with its values of the sort's properties.
DWORD LoadKeys(CeDbFile &file, CEOID database, const SORTORDERSPECEX &sort, std::vector<Keyed> *keys) {
    SqliteStatement query(file.Db(),
                          "SELECT r.oid, p.propid, p.num, p.data FROM recs r LEFT JOIN props p "
                          "ON p.rec = r.oid AND p.propid IN (?2, ?3, ?4) WHERE r.db = ?1 ORDER BY r.oid");
    query.BindInt(1, database);
    for (int i = 0; i < CEDB_MAXSORTPROP; ++i) {
        // A property id of type 0 is none that a record can hold.
        query.BindInt(2 + i, i < sort.wNumProps ? sort.rgPropID[i] : 0);
    }
    for (;;) {
        bool row;
        DWORD err = query.Step(&row);
        if (err != ERROR_SUCCESS || !row) return err;
        CEOID oid = static_cast<CEOID>(query.Int(0));
        if (keys->empty() || keys->back().oid != oid) {
            keys->emplace_back();
            keys->back().oid = oid;
        }
        int slot = SlotOf(sort, static_cast<CEPROPID>(query.Int(1)));
        if (slot < 0) continue;  // no property (the join's empty row)
        Keyed &key = keys->back();
        key.present[slot] = true;
        key.values[slot].propid = static_cast<CEPROPID>(query.Int(1));
        key.values[slot].num = query.Int(2);
        query.Blob(3, &key.values[slot].data);
    }
}

DWORD LoadOneKey(CeDbFile &file, CEOID record, const SORTORDERSPECEX &sort, Keyed *key) {
    std::vector<CeDbValue> values;
    DWORD err = CeDbLoadValues(file, record, &values);
    key->oid = record;
    for (const CeDbValue &value : values) {
        int slot = SlotOf(sort, value.propid);
        if (slot < 0) continue;
        key->present[slot] = true;
        key->values[slot] = value;
    }
    return err;
}

int CompareKeys(const Keyed &a, const Keyed &b, const SORTORDERSPECEX &sort) {
    for (int i = 0; i < sort.wNumProps && i < CEDB_MAXSORTPROP; ++i) {
        int order = CeDbCompare(a.present[i] ? &a.values[i] : nullptr, b.present[i] ? &b.values[i] : nullptr,
                                sort.rgdwFlags[i]);
        if (order != 0) return order;
    }
    return 0;
}

}  // namespace

DWORD CeDbLoadInfo(CeDbFile &file, CEOID oid, const std::u16string &name, CeDbInfo *info, bool *found) {
    SqliteStatement byOid(file.Db(), "SELECT oid, name, type, flags, sorts, modified FROM dbs WHERE oid = ?1");
    SqliteStatement byName(file.Db(), "SELECT oid, name, type, flags, sorts, modified FROM dbs WHERE folded = ?1");
    SqliteStatement &query = oid != 0 ? byOid : byName;
    if (oid != 0) {
        query.BindInt(1, oid);
    } else {
        query.BindUnits(1, Fold(name));
    }
    DWORD err = query.Step(found);
    if (err != ERROR_SUCCESS || !*found) return err;
    info->oid = static_cast<CEOID>(query.Int(0));
    info->name = query.Units(1);
    info->type = static_cast<DWORD>(query.Int(2));
    info->flags = static_cast<DWORD>(query.Int(3));
    std::vector<BYTE> sorts;
    query.Blob(4, &sorts);
    info->sorts.resize(std::min<size_t>(sorts.size() / sizeof(SORTORDERSPECEX), CEDB_MAXSORTORDER));
    if (!info->sorts.empty()) std::memcpy(info->sorts.data(), sorts.data(), info->sorts.size() * sizeof(SORTORDERSPECEX));
    info->modified = query.Int(5);
    return ERROR_SUCCESS;
}

bool CeDbIsSortProp(const CeDbInfo &info, CEPROPID propid) {
    for (const SORTORDERSPECEX &sort : info.sorts) {
        if (SlotOf(sort, propid) >= 0) return true;
    }
    return false;
}

DWORD CeDbCheckUnique(CeDbFile &file, const CeDbInfo &info, CEOID record) {
    for (const SORTORDERSPECEX &sort : info.sorts) {
        if ((sort.wKeyFlags & CEDB_SORT_UNIQUE) == 0 || sort.wNumProps == 0) continue;
        Keyed mine;
        DWORD err = LoadOneKey(file, record, sort, &mine);
        if (err != ERROR_SUCCESS) return err;
        if (!mine.present[0]) continue;  // a record without the key repeats none
        // Records with the same first value, then the rest compared here.
        SqliteStatement query(file.Db(),
                              "SELECT p.rec FROM props p JOIN recs r ON r.oid = p.rec WHERE p.propid = ?1 "
                              "AND p.num IS ?2 AND p.data IS ?3 AND r.db = ?4 AND p.rec <> ?5");
        query.BindInt(1, mine.values[0].propid);
        if (CeDbIsNumeric(mine.values[0].propid)) {
            query.BindInt(2, mine.values[0].num);
        } else {
            query.BindBlob(3, mine.values[0].data.data(), mine.values[0].data.size());
        }
        query.BindInt(4, info.oid);
        query.BindInt(5, record);
        std::vector<CEOID> candidates;
        for (;;) {
            bool row;
            err = query.Step(&row);
            if (err != ERROR_SUCCESS) return err;
            if (!row) break;
            candidates.push_back(static_cast<CEOID>(query.Int(0)));
        }
        for (CEOID other : candidates) {
            Keyed theirs;
            err = LoadOneKey(file, other, sort, &theirs);
            if (err != ERROR_SUCCESS) return err;
            if (CompareKeys(mine, theirs, sort) == 0) return ERROR_ALREADY_EXISTS;
        }
    }
    return ERROR_SUCCESS;
}

DWORD CeDbHandle::Order(CeDbFile &file, const std::vector<CEOID> **order) {
    uint64_t stamp = 0;
    DWORD err = file.OrderStamp(&stamp);
    if (err != ERROR_SUCCESS) return err;
    if (m_cacheValid && m_cacheSerial == file.Serial() && m_cacheStamp == stamp) {
        *order = &m_order;
        return ERROR_SUCCESS;
    }
    m_cacheValid = false;
    CeDbInfo now;
    bool found = false;
    err = CeDbLoadInfo(file, info.oid, std::u16string(), &now, &found);
    if (err != ERROR_SUCCESS) return err;
    if (!found) return ERROR_INVALID_HANDLE;  // the database was deleted
    m_order.clear();
    if (!sorted) {
        SqliteStatement query(file.Db(), "SELECT oid FROM recs WHERE db = ?1 ORDER BY oid");
        query.BindInt(1, info.oid);
        for (;;) {
            bool row;
            err = query.Step(&row);
            if (err != ERROR_SUCCESS) return err;
            if (!row) break;
            m_order.push_back(static_cast<CEOID>(query.Int(0)));
        }
    } else {
        std::vector<Keyed> keys;
        err = LoadKeys(file, info.oid, sort, &keys);
        if (err != ERROR_SUCCESS) return err;
        // Keys arrive in object-id order, which breaks ties.
        std::stable_sort(keys.begin(), keys.end(),
                         [this](const Keyed &a, const Keyed &b) { return CompareKeys(a, b, sort) < 0; });
        m_order.reserve(keys.size());
        for (const Keyed &key : keys) m_order.push_back(key.oid);
    }
    m_cacheValid = true;
    m_cacheSerial = file.Serial();
    m_cacheStamp = stamp;
    *order = &m_order;
    return ERROR_SUCCESS;
}

void CeDbHandle::NoteOwnChange(CeDbFile &file, CEOID record, bool removed, uint64_t stampBefore,
                               uint64_t epochBefore) {
    std::lock_guard<std::mutex> guard(lock);
    if (!m_cacheValid || m_cacheSerial != file.Serial() || m_cacheStamp != stampBefore) return;
    m_cacheValid = false;  // until the one record is in place
    uint64_t now = 0;
    // Another connection's commit in between shows in the data version.
    if (file.OrderStamp(&now) != ERROR_SUCCESS || (now ^ file.OrderEpoch()) != (stampBefore ^ epochBefore)) return;
    auto at = std::find(m_order.begin(), m_order.end(), record);
    if (at != m_order.end()) m_order.erase(at);
    if (!removed) {
        size_t place = 0;
        if (sorted) {
            // The order holds object ids only (its keys would cost more
            // than the records' ids many times over): the keys it is placed
            // by are read as the search needs them.
            Keyed key;
            if (LoadOneKey(file, record, sort, &key) != ERROR_SUCCESS) return;
            bool failed = false;
            // Equal keys keep object-id order, as a full read sorts them.
            auto before = [&](const Keyed &mine, CEOID other) {
                Keyed theirs;
                if (LoadOneKey(file, other, sort, &theirs) != ERROR_SUCCESS) {
                    failed = true;
                    return true;
                }
                int order = CompareKeys(mine, theirs, sort);
                return order < 0 || (order == 0 && mine.oid < other);
            };
            // A new record most often sorts last (a growing sequence number): one read tells.
            if (m_order.empty() || !before(key, m_order.back())) {
                place = m_order.size();
            } else {
                place = std::upper_bound(m_order.begin(), m_order.end(), key, before) - m_order.begin();
            }
            if (failed) return;
        } else {
            place = std::upper_bound(m_order.begin(), m_order.end(), record) - m_order.begin();
        }
        m_order.insert(m_order.begin() + place, record);
    }
    m_cacheStamp = now;
    m_cacheValid = true;
}

DWORD CeDbHandle::CurrentIndex(const std::vector<CEOID> &order) const {
    if (current != 0 && index < order.size() && order[index] == current) return index;
    if (current != 0) {
        auto it = std::find(order.begin(), order.end(), current);
        if (it != order.end()) return static_cast<DWORD>(it - order.begin());
    }
    return index;
}

void CeDbHandle::Close() {
    if (!requested) return;
    CeDbFile *file = nullptr;
    if (CeDbFileForThread(hostPath, &file) != ERROR_SUCCESS) return;
    file->Write(volume, [&](CeDbNotices *) { return CeDbRemoveRequests(*file, self); });
}

}  // namespace vplat
