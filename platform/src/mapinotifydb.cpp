#include "mapinotifydb.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "mapidb.h"
#include "sqlitedb.h"
#include "windowdirectory.h"
#include "winerror.h"

namespace vplat {

// The tables live beside the store's own in mapi.db, made with them.
const char kMapiNoticeSchema[] =
    "CREATE TABLE IF NOT EXISTS advise_sinks("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"  // the connection number: never reused
    " store INTEGER NOT NULL,"
    " entry BLOB NOT NULL,"                   // the object watched; empty: the whole store
    " mask INTEGER NOT NULL,"
    " pid INTEGER NOT NULL,"
    " started INTEGER NOT NULL,"
    " hwnd INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS advise_sinks_by_store ON advise_sinks(store);"
    "CREATE TABLE IF NOT EXISTS advise_notices("
    " seq INTEGER PRIMARY KEY AUTOINCREMENT,"
    " advise INTEGER NOT NULL,"
    " events BLOB NOT NULL);"
    "CREATE INDEX IF NOT EXISTS advise_notices_by_advise ON advise_notices(advise, seq);";

namespace {

// The store's connection of this thread.
DWORD Connection(SqliteDb **db) { return SUCCEEDED(MapiDbForThread(db)) ? ERROR_SUCCESS : ERROR_GEN_FAILURE; }

int64_t HandleValue(HWND hwnd) { return static_cast<int64_t>(reinterpret_cast<uintptr_t>(hwnd)); }

// Stored bytes: a count, then per event its fields, each list as a count
// and its items; numbers are 32-bit in host order (the file never leaves
// the device).
void PutNumber(std::vector<BYTE> *out, uint32_t value) {
    const BYTE *p = reinterpret_cast<const BYTE *>(&value);
    out->insert(out->end(), p, p + sizeof value);
}

void PutBytes(std::vector<BYTE> *out, const std::vector<BYTE> &bytes) {
    PutNumber(out, static_cast<uint32_t>(bytes.size()));
    out->insert(out->end(), bytes.begin(), bytes.end());
}

class Reader {
public:
    explicit Reader(const std::vector<BYTE> &bytes) : m_bytes(bytes) {}
    bool Number(uint32_t *value) {
        if (m_bytes.size() - m_at < sizeof *value) return false;
        std::memcpy(value, m_bytes.data() + m_at, sizeof *value);
        m_at += sizeof *value;
        return true;
    }
    bool Bytes(std::vector<BYTE> *out) {
        uint32_t size = 0;
        if (!Number(&size) || m_bytes.size() - m_at < size) return false;
        out->assign(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_at),
                    m_bytes.begin() + static_cast<std::ptrdiff_t>(m_at + size));
        m_at += size;
        return true;
    }
    bool AtEnd() const { return m_at == m_bytes.size(); }

private:
    const std::vector<BYTE> &m_bytes;
    size_t m_at = 0;
};

}  // namespace

int64_t MapiProcessId() { return getpid(); }

int64_t MapiProcessStarted() {
    // Read again after a fork: the child is another process.
    static thread_local int64_t pid = 0, started = 0;
    if (pid != getpid()) {
        uint64_t value = 0;
        pid = getpid();
        started = ProcessStartTime(static_cast<pid_t>(pid), &value) ? static_cast<int64_t>(value) : 0;
    }
    return started;
}

bool MapiAdviseAlive(const MapiAdviseRecord &advise) {
    uint64_t started = 0;
    return advise.started != 0 && ProcessStartTime(static_cast<pid_t>(advise.pid), &started) &&
           static_cast<int64_t>(started) == advise.started;
}

DWORD MapiNoticeAddAdvise(MapiAdviseRecord *rec) {
    SqliteDb *db = nullptr;
    DWORD err = Connection(&db);
    if (err != ERROR_SUCCESS) return err;
    SqliteTransaction tx(*db, true);
    if (tx.Error() != ERROR_SUCCESS) return tx.Error();
    {
        SqliteStatement insert(*db,
                               "INSERT INTO advise_sinks(store, entry, mask, pid, started, hwnd) "
                               "VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
        insert.BindInt(1, rec->store);
        insert.BindBlob(2, rec->entryID.empty() ? "" : static_cast<const void *>(rec->entryID.data()),
                        rec->entryID.size());
        insert.BindInt(3, rec->mask);
        insert.BindInt(4, rec->pid);
        insert.BindInt(5, rec->started);
        insert.BindInt(6, HandleValue(rec->window));
        err = insert.Run();
    }
    if (err != ERROR_SUCCESS) return err;
    int64_t id = sqlite3_last_insert_rowid(db->Handle());
    // Connection numbers are 32 bits: past that the device has no more.
    if (id <= 0 || id > 0xFFFFFFFFLL) return ERROR_NOT_ENOUGH_MEMORY;
    err = tx.Commit();
    if (err == ERROR_SUCCESS) rec->id = id;
    return err;
}

DWORD MapiNoticeRemoveAdvises(const std::vector<int64_t> &ids) {
    if (ids.empty()) return ERROR_SUCCESS;
    SqliteDb *db = nullptr;
    DWORD err = Connection(&db);
    if (err != ERROR_SUCCESS) return err;
    SqliteTransaction tx(*db, true);
    if (tx.Error() != ERROR_SUCCESS) return tx.Error();
    for (int64_t id : ids) {
        SqliteStatement sinks(*db, "DELETE FROM advise_sinks WHERE id = ?1");
        sinks.BindInt(1, id);
        err = sinks.Run();
        if (err != ERROR_SUCCESS) return err;
        SqliteStatement notices(*db, "DELETE FROM advise_notices WHERE advise = ?1");
        notices.BindInt(1, id);
        err = notices.Run();
        if (err != ERROR_SUCCESS) return err;
    }
    return tx.Commit();
}

DWORD MapiNoticeLoadAdvises(int64_t store, std::vector<MapiAdviseRecord> *advises) {
    SqliteDb *db = nullptr;
    DWORD err = Connection(&db);
    if (err != ERROR_SUCCESS) return err;
    SqliteStatement query(*db,
                          "SELECT id, entry, mask, pid, started, hwnd FROM advise_sinks "
                          "WHERE store = ?1 ORDER BY id");
    query.BindInt(1, store);
    for (;;) {
        bool row = false;
        err = query.Step(&row);
        if (err != ERROR_SUCCESS || !row) return err;
        MapiAdviseRecord rec;
        rec.id = query.Int(0);
        rec.store = store;
        query.Blob(1, &rec.entryID);
        rec.mask = static_cast<ULONG>(query.Int(2));
        rec.pid = query.Int(3);
        rec.started = query.Int(4);
        rec.window = reinterpret_cast<HWND>(static_cast<uintptr_t>(query.Int(5)));
        advises->push_back(std::move(rec));
    }
}

DWORD MapiNoticeQueue(SqliteDb &db, const std::vector<MapiPendingNotice> &notices, std::vector<int64_t> *seqs) {
    seqs->clear();
    std::vector<int64_t> made;
    for (const MapiPendingNotice &notice : notices) {
        std::vector<BYTE> bytes = MapiEncodeEvents(notice.events);
        SqliteStatement insert(db, "INSERT INTO advise_notices(advise, events) VALUES(?1, ?2)");
        insert.BindInt(1, notice.advise);
        insert.BindBlob(2, bytes.data(), bytes.size());
        DWORD err = insert.Run();
        if (err != ERROR_SUCCESS) return err;
        made.push_back(sqlite3_last_insert_rowid(db.Handle()));
    }
    *seqs = std::move(made);
    return ERROR_SUCCESS;
}

DWORD MapiNoticeTakeNext(HWND window, MapiPendingNotice *notice, bool *found) {
    *found = false;
    SqliteDb *db = nullptr;
    DWORD err = Connection(&db);
    if (err != ERROR_SUCCESS) return err;
    SqliteTransaction tx(*db, true);
    if (tx.Error() != ERROR_SUCCESS) return tx.Error();
    int64_t seq = 0;
    std::vector<BYTE> bytes;
    {
        SqliteStatement query(*db,
                              "SELECT n.seq, n.advise, n.events FROM advise_notices n "
                              "JOIN advise_sinks a ON a.id = n.advise "
                              "WHERE a.pid = ?1 AND a.started = ?2 AND a.hwnd = ?3 ORDER BY n.seq LIMIT 1");
        query.BindInt(1, MapiProcessId());
        query.BindInt(2, MapiProcessStarted());
        query.BindInt(3, HandleValue(window));
        bool row = false;
        err = query.Step(&row);
        if (err != ERROR_SUCCESS || !row) return err;
        seq = query.Int(0);
        notice->advise = query.Int(1);
        query.Blob(2, &bytes);
    }
    SqliteStatement remove(*db, "DELETE FROM advise_notices WHERE seq = ?1");
    remove.BindInt(1, seq);
    err = remove.Run();
    if (err == ERROR_SUCCESS) err = tx.Commit();
    if (err != ERROR_SUCCESS) return err;
    // A notice that cannot be read is consumed all the same (with no
    // events): it would otherwise block every later one.
    if (!MapiDecodeEvents(bytes, &notice->events)) notice->events.clear();
    *found = true;
    return ERROR_SUCCESS;
}

std::vector<BYTE> MapiEncodeEvents(const std::vector<MapiObjectEvent> &events) {
    std::vector<BYTE> out;
    PutNumber(&out, static_cast<uint32_t>(events.size()));
    for (const MapiObjectEvent &e : events) {
        PutNumber(&out, e.eventType);
        PutNumber(&out, e.objType);
        PutBytes(&out, e.entryID);
        PutBytes(&out, e.parentID);
        PutBytes(&out, e.oldID);
        PutBytes(&out, e.oldParentID);
        PutNumber(&out, static_cast<uint32_t>(e.changedTags.size()));
        for (ULONG tag : e.changedTags) PutNumber(&out, tag);
    }
    return out;
}

bool MapiDecodeEvents(const std::vector<BYTE> &bytes, std::vector<MapiObjectEvent> *events) {
    Reader in(bytes);
    uint32_t count = 0;
    if (!in.Number(&count)) return false;
    std::vector<MapiObjectEvent> read;
    for (uint32_t i = 0; i < count; ++i) {
        MapiObjectEvent e;
        uint32_t type = 0, objType = 0, tags = 0;
        if (!in.Number(&type) || !in.Number(&objType) || !in.Bytes(&e.entryID) || !in.Bytes(&e.parentID) ||
            !in.Bytes(&e.oldID) || !in.Bytes(&e.oldParentID) || !in.Number(&tags)) {
            return false;
        }
        e.eventType = type;
        e.objType = objType;
        for (uint32_t t = 0; t < tags; ++t) {
            uint32_t tag = 0;
            if (!in.Number(&tag)) return false;
            e.changedTags.push_back(tag);
        }
        read.push_back(std::move(e));
    }
    if (!in.AtEnd()) return false;
    *events = std::move(read);
    return true;
}

}  // namespace vplat
