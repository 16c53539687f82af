// How the message store takes server mail: N new messages (a subject, a
// 4 KB body, two recipients, one attachment left on the server) committed
// into the Inbox through the folder's collection, then every message read
// back (subject, body, recipients, attachment list). Beside it, plain SQLite
// writes and reads the same bytes (one transaction per message, as each
// commit is one) in the same run. Each size runs in its own process, so its
// peak resident memory is its own; the memory must not grow with N.
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "DActiveTask.h"
#include "DWinMobOutlookMessage.h"
#include "DWinMobOutlookMessageCollection.h"
#include "DWinMobShadowDB.h"
#include "mapi.h"
#include "vplatform_mail.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

std::string Body(int i) {
    std::string body = "Message " + std::to_string(i) + "\r\n";
    while (body.size() < 4096) body += "The quick brown fox jumps over the lazy dog. ";
    body.resize(4096);
    return body;
}

// A completion record for the store's calls, which finish before they return.
class Waiter : public DActiveTask {
public:
    Waiter() : DActiveTask(kActiveTaskDefaultPriority) {}
    DErrorCode RunTask() override { return kNoError; }
    void CancelTask() override {}
};

bool SetText(VString *text, const std::string &value) {
    return text->AssignNarrow(value.data(), uint32_t(value.size()), kVStringWindows1252) == kNoError;
}

// The message store side. False on any failure.
bool StoreRun(int count, double *writeSeconds, double *readSeconds) {
    if (MAPIInitialize(nullptr) != S_OK || vplat::MailAccountProvision(u"Vantrel") != S_OK) return false;
    IMAPISession *session = nullptr;
    if (MAPILogonEx(0, nullptr, nullptr, 0, &session) != S_OK) return false;
    IMAPITable *stores = nullptr;
    LPSRowSet rows = nullptr;
    if (session->GetMsgStoresTable(0, &stores) != S_OK || stores->QueryRows(1, 0, &rows) != S_OK || rows->cRows != 1)
        return false;
    SBinary storeID = rows->aRow[0].lpProps[1].Value.bin;
    IMsgStore *store = nullptr;
    if (session->OpenMsgStore(0, storeID.cb, reinterpret_cast<LPENTRYID>(storeID.lpb), nullptr, MAPI_BEST_ACCESS,
                              &store) != S_OK)
        return false;
    FreeProws(rows);
    stores->Release();
    SizedSPropTagArray(1, inboxTag) = {1, {PR_CE_IPM_INBOX_ENTRYID}};
    ULONG values = 0;
    LPSPropValue inbox = nullptr;
    if (store->GetProps(reinterpret_cast<LPSPropTagArray>(&inboxTag), 0, &values, &inbox) != S_OK) return false;

    DWinMobShadowDB shadow;
    if (shadow.Open(kShadowEmail) != kNoError) return false;
    DWinMobOutlookMessageCollection folder(nullptr, store, nullptr);
    if (folder.Init(inbox[0].Value.bin.lpb, inbox[0].Value.bin.cb, "inbox", &shadow) != kNoError ||
        folder.Open() != kNoError)
        return false;
    Waiter waiter;

    auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        IOutlookItem *item = nullptr;
        if (folder.CreateNewItem(kOutlookItemEmail, &item, waiter.GetSignal()) != kNoError || item == nullptr)
            return false;
        auto *message = static_cast<DWinMobOutlookMessage *>(item);
        VString subject, body, from, to, cc;
        DAttachmentData *attachment = new DAttachmentData;
        DListNode<DAttachmentData> attachments;
        StringListNode toList = {&to, nullptr}, ccList = {&cc, nullptr};
        const std::string id = "5:" + std::to_string(i);
        bool ok = SetText(&subject, "Subject " + std::to_string(i)) && SetText(&body, Body(i)) &&
                  SetText(&from, "alice@example.com") && SetText(&to, "bob@example.com") &&
                  SetText(&cc, "carol@example.com") && SetText(&attachment->Name(), id + ":att") &&
                  SetText(&attachment->DisplayName(), "report.pdf");
        attachment->SetSize(102400);
        attachment->SetMarked(false);
        ok = ok && attachments.Append(attachment) == kNoError && message->SetID(id.c_str()) == kNoError &&
             message->SetSubject(subject) == kNoError && message->SetBody(body) == kNoError &&
             message->SetFrom(from) == kNoError && message->SetTo(&toList) == kNoError &&
             message->SetCc(&ccList) == kNoError && message->SetHasAttachments(true) == kNoError &&
             message->AddAttachments(&attachments, waiter.GetSignal()) == kNoError &&
             message->CommitNewItem(waiter.GetSignal()) == kNoError;
        attachments.Free();
        delete message;
        if (!ok) return false;
    }
    *writeSeconds = Seconds(start);

    start = Clock::now();
    uint32_t stored = 0;
    if (folder.GetCount(&stored) != kNoError || stored != uint32_t(count)) return false;
    for (uint32_t i = 0; i < stored; ++i) {
        IOutlookItem *item = nullptr;
        if (folder.GetItem(i, &item) != kNoError || item == nullptr) return false;
        auto *message = static_cast<DWinMobOutlookMessage *>(item);
        VString subject, body, to;
        StringListNode toList = {nullptr, nullptr};
        DListNode<DAttachmentData> attachments;
        bool ok = message->GetSubject(&subject) == kNoError && message->GetBody(&body) == kNoError &&
                  message->GetTo(&toList) == kNoError && message->GetAttachmentsList(&attachments) == kNoError &&
                  attachments.Count() == 1;
        FreeStringList(&toList);
        attachments.Free();
        delete message;
        if (!ok) return false;
    }
    *readSeconds = Seconds(start);
    MAPIFreeBuffer(inbox);
    folder.Close();
    shadow.Close();
    store->Release();
    session->Logoff(0, 0, 0);
    session->Release();
    MAPIUninitialize();
    return true;
}

bool Exec(sqlite3 *db, const char *sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

// The same bytes in plain SQLite: a message row, its recipients and its
// attachment, one transaction per message; then every message read back.
bool SqliteRun(const std::string &path, int count, double *writeSeconds, double *readSeconds) {
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK ||
        !Exec(db, "PRAGMA journal_mode=WAL; CREATE TABLE m(id INTEGER PRIMARY KEY, server TEXT, subject TEXT, "
                  "sender TEXT, body BLOB); CREATE TABLE r(m INTEGER, type INTEGER, address TEXT); "
                  "CREATE TABLE a(m INTEGER, name TEXT, file TEXT, size INTEGER); CREATE INDEX ri ON r(m); "
                  "CREATE INDEX ai ON a(m);"))
        return false;
    sqlite3_stmt *m = nullptr, *r = nullptr, *a = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO m(server, subject, sender, body) VALUES(?1, ?2, ?3, ?4)", -1, &m, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO r VALUES(?1, ?2, ?3)", -1, &r, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO a VALUES(?1, ?2, ?3, ?4)", -1, &a, nullptr);
    auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        const std::string id = "5:" + std::to_string(i), subject = "Subject " + std::to_string(i), body = Body(i);
        std::u16string wide(body.begin(), body.end());
        if (!Exec(db, "BEGIN IMMEDIATE")) return false;
        sqlite3_bind_text(m, 1, id.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(m, 2, subject.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(m, 3, "alice@example.com", -1, SQLITE_STATIC);
        sqlite3_bind_blob(m, 4, wide.data(), int(wide.size() * 2), SQLITE_TRANSIENT);
        if (sqlite3_step(m) != SQLITE_DONE) return false;
        sqlite3_reset(m);
        const sqlite3_int64 row = sqlite3_last_insert_rowid(db);
        const char *addresses[] = {"bob@example.com", "carol@example.com"};
        for (int k = 0; k < 2; ++k) {
            sqlite3_bind_int64(r, 1, row);
            sqlite3_bind_int(r, 2, k + 1);
            sqlite3_bind_text(r, 3, addresses[k], -1, SQLITE_STATIC);
            if (sqlite3_step(r) != SQLITE_DONE) return false;
            sqlite3_reset(r);
        }
        sqlite3_bind_int64(a, 1, row);
        sqlite3_bind_text(a, 2, (id + ":att").c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(a, 3, "report.pdf", -1, SQLITE_STATIC);
        sqlite3_bind_int(a, 4, 102400);
        if (sqlite3_step(a) != SQLITE_DONE) return false;
        sqlite3_reset(a);
        if (!Exec(db, "COMMIT")) return false;
    }
    *writeSeconds = Seconds(start);
    start = Clock::now();
    sqlite3_stmt *q = nullptr, *qr = nullptr, *qa = nullptr;
    sqlite3_prepare_v2(db, "SELECT id, subject, body FROM m ORDER BY id", -1, &q, nullptr);
    sqlite3_prepare_v2(db, "SELECT type, address FROM r WHERE m = ?1", -1, &qr, nullptr);
    sqlite3_prepare_v2(db, "SELECT name, file, size FROM a WHERE m = ?1", -1, &qa, nullptr);
    int read = 0;
    size_t bytes = 0;
    while (sqlite3_step(q) == SQLITE_ROW) {
        bytes += size_t(sqlite3_column_bytes(q, 2));
        for (sqlite3_stmt *s : {qr, qa}) {
            sqlite3_bind_int64(s, 1, sqlite3_column_int64(q, 0));
            while (sqlite3_step(s) == SQLITE_ROW) bytes += size_t(sqlite3_column_bytes(s, 1));
            sqlite3_reset(s);
        }
        ++read;
    }
    *readSeconds = Seconds(start);
    for (sqlite3_stmt *s : {m, r, a, q, qr, qa}) sqlite3_finalize(s);
    sqlite3_close(db);
    return read == count && bytes > 0;
}

struct Figures {
    double storeWrite = 0, storeRead = 0, plainWrite = 0, plainRead = 0;
    bool ok = false;
};

// Runs one size in a child process of its own; its peak memory comes back with it.
bool RunChild(int count, Figures *out, long *peakKB) {
    int pipes[2];
    if (pipe(pipes) != 0) return false;
    pid_t child = fork();
    if (child == 0) {
        close(pipes[0]);
        char folder[] = "/tmp/vantrel-mailbench-XXXXXX";
        Figures f;
        if (mkdtemp(folder) != nullptr) {
            setenv("VANTREL_DEVICE_ROOT", folder, 1);
            f.ok = StoreRun(count, &f.storeWrite, &f.storeRead);
            // The baseline runs after the store so that the peak is the store's.
            f.ok = f.ok && SqliteRun(std::string(folder) + "/plain.db", count, &f.plainWrite, &f.plainRead);
            std::string clean = std::string("rm -rf '") + folder + "'";
            if (std::system(clean.c_str()) != 0) f.ok = false;
        }
        ssize_t written = write(pipes[1], &f, sizeof f);
        _exit(written == ssize_t(sizeof f) ? 0 : 1);
    }
    close(pipes[1]);
    ssize_t got = read(pipes[0], out, sizeof *out);
    close(pipes[0]);
    int status = 0;
    struct rusage usage = {};
    if (child < 0 || wait4(child, &status, 0, &usage) != child) return false;
    *peakKB = usage.ru_maxrss;
    return got == ssize_t(sizeof *out) && WIFEXITED(status) && WEXITSTATUS(status) == 0 && out->ok;
}

}  // namespace

int main() {
    std::printf("%8s %14s %14s %14s %14s %10s\n", "messages", "store w msg/s", "sqlite w msg/s", "store r msg/s",
                "sqlite r msg/s", "peak KB");
    for (int count : {1000, 10000}) {
        Figures f;
        long peakKB = 0;
        if (!RunChild(count, &f, &peakKB)) {
            std::fprintf(stderr, "run of %d messages failed\n", count);
            return 1;
        }
        std::printf("%8d %14.0f %14.0f %14.0f %14.0f %10ld\n", count, count / f.storeWrite, count / f.plainWrite,
                    count / f.storeRead, count / f.plainRead, peakKB);
        std::printf("         write ratio store/sqlite %.3f, read ratio %.3f\n", f.plainWrite / f.storeWrite,
                    f.plainRead / f.storeRead);
    }
    return 0;
}
