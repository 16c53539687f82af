// How fast the shadow change-tracking database takes new records and runs
// its change scan at 10,000 records, beside plain SQLite doing the same
// rows' inserts (one transaction each, as each shadow write is one) and
// one select-and-update pass, in the same run and the same folder. Prints
// records per second for both and their ratio.
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "DWinMobShadowDB.h"
#include "ShadowRecordIO.h"

namespace {

constexpr int kRecords = 10000;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

std::u16string ServerId(int i) {
    std::string text = "5:" + std::to_string(i);
    return std::u16string(text.begin(), text.end());
}

// The shadow side: new records with their identity and a recorder's mark,
// then one change scan. Returns false on any failure.
bool ShadowRun(double *writeSeconds, double *scanSeconds) {
    DWinMobShadowDB db;
    if (db.Open(kShadowEmail) != kNoError) return false;
    auto start = Clock::now();
    for (int i = 0; i < kRecords; ++i) {
        DWinMobShadowRecord r;
        const std::u16string id = ServerId(i);
        if (db.NewRecord(&r) != kNoError || r.SetServerID(id.c_str()) != kNoError || db.WriteRecord(&r) != kNoError ||
            r.MarkModified() != kNoError)
            return false;
    }
    *writeSeconds = Seconds(start);
    start = Clock::now();
    uint32_t count = 0;
    CEOID *list = nullptr;
    if (db.ScanChanged(&count, &list) != kNoError || count != kRecords) return false;
    std::free(list);
    *scanSeconds = Seconds(start);
    return true;
}

bool Exec(sqlite3 *db, const char *sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

// The same rows in plain SQLite: an insert and a state update per record,
// each its own transaction; then one pass that reads every row's state in
// sort order and moves state 1 to 2.
bool SqliteRun(const std::string &path, double *writeSeconds, double *scanSeconds) {
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
    bool ok = Exec(db, "PRAGMA journal_mode=WAL") &&
              Exec(db, "CREATE TABLE r(oid INTEGER PRIMARY KEY, seq INTEGER UNIQUE, sid TEXT, state INTEGER, "
                       "flags INTEGER)");
    sqlite3_stmt *insert = nullptr, *mark = nullptr, *select = nullptr, *update = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "INSERT INTO r(seq, sid, state, flags) VALUES(?1, ?2, 0, 0)", -1, &insert,
                                  nullptr) == SQLITE_OK;
    ok = ok && sqlite3_prepare_v2(db, "UPDATE r SET state = 1 WHERE oid = ?1", -1, &mark, nullptr) == SQLITE_OK;
    ok = ok && sqlite3_prepare_v2(db, "SELECT oid, state FROM r ORDER BY seq", -1, &select, nullptr) == SQLITE_OK;
    ok = ok && sqlite3_prepare_v2(db, "UPDATE r SET state = 2 WHERE oid = ?1", -1, &update, nullptr) == SQLITE_OK;
    auto start = Clock::now();
    for (int i = 0; ok && i < kRecords; ++i) {
        const std::u16string id = ServerId(i);
        sqlite3_bind_int(insert, 1, i);
        sqlite3_bind_text16(insert, 2, id.data(), int(id.size() * 2), SQLITE_STATIC);
        ok = sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_reset(insert);
        sqlite3_bind_int64(mark, 1, sqlite3_last_insert_rowid(db));
        ok = ok && sqlite3_step(mark) == SQLITE_DONE;
        sqlite3_reset(mark);
    }
    *writeSeconds = Seconds(start);
    start = Clock::now();
    int changed = 0;
    ok = ok && Exec(db, "BEGIN");
    while (ok && sqlite3_step(select) == SQLITE_ROW) {
        if (sqlite3_column_int(select, 1) == 0) continue;
        ++changed;
        sqlite3_bind_int64(update, 1, sqlite3_column_int64(select, 0));
        ok = sqlite3_step(update) == SQLITE_DONE;
        sqlite3_reset(update);
    }
    ok = ok && Exec(db, "COMMIT") && changed == kRecords;
    *scanSeconds = Seconds(start);
    for (sqlite3_stmt *s : {insert, mark, select, update}) sqlite3_finalize(s);
    sqlite3_close(db);
    return ok;
}

}  // namespace

int main() {
    char folder[] = "/tmp/shadowbenchXXXXXX";
    if (mkdtemp(folder) == nullptr) return 1;
    setenv("VANTREL_DEVICE_ROOT", folder, 1);
    double shadowWrite = 0, shadowScan = 0, plainWrite = 0, plainScan = 0;
    const bool shadowOk = ShadowRun(&shadowWrite, &shadowScan);
    const bool plainOk = SqliteRun(std::string(folder) + "/plain.db", &plainWrite, &plainScan);
    const std::string cleanup = std::string("rm -rf '") + folder + "'";
    if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", folder);
    if (!shadowOk || !plainOk) {
        std::printf("a run failed (shadow %s, plain SQLite %s)\n", shadowOk ? "ok" : "failed",
                    plainOk ? "ok" : "failed");
        return 1;
    }
    std::printf("%d records: writes per second: shadow %.0f, plain SQLite %.0f, shadow/plain %.3f\n", kRecords,
                kRecords / shadowWrite, kRecords / plainWrite, plainWrite / shadowWrite);
    std::printf("%d records: scanned per second: shadow %.0f, plain SQLite %.0f, shadow/plain %.3f\n", kRecords,
                kRecords / shadowScan, kRecords / plainScan, plainScan / shadowScan);
    return 0;
}
