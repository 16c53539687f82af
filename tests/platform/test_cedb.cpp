#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <map>
#include <vector>

#include "../../platform/src/cedbnotify.h"
#include "msgtestutil.h"
#include "support/TestDevice.h"
#include "windows.h"

namespace {

const CEPROPID kSeq = (0x0206u << 16) | CEVT_UI4;
const CEPROPID kState = (0x0107u << 16) | CEVT_UI4;
const CEPROPID kServerId = (0x0106u << 16) | CEVT_LPWSTR;

SORTORDERSPECEX SeqSort() {
    SORTORDERSPECEX sort = {};
    sort.wVersion = SORTORDERSPECEX_VERSION;
    sort.wNumProps = 1;
    sort.wKeyFlags = CEDB_SORT_UNIQUE;
    sort.rgPropID[0] = kSeq;
    return sort;
}

CEOID Create(const char16_t *name, CEGUID *volume = nullptr, bool sorted = true) {
    CEDBASEINFOEX info = {};
    info.wVersion = CEDBASEINFOEX_VERSION;
    info.dwFlags = CEDB_VALIDNAME | (sorted ? CEDB_VALIDSORTSPEC : 0);
    std::u16string n(name);
    std::copy(n.begin(), n.end(), info.szDbaseName);
    info.wNumSortOrder = sorted ? 1 : 0;
    info.rgSortSpecs[0] = SeqSort();
    return CeCreateDatabaseEx2(volume, &info);
}

HANDLE Open(const char16_t *name, CEGUID *volume = nullptr, CENOTIFYREQUEST *request = nullptr) {
    CEOID oid = 0;
    SORTORDERSPECEX sort = SeqSort();
    std::u16string n(name);
    return CeOpenDatabaseEx2(volume, &oid, &n[0], &sort, 0, request);
}

CEOID WriteSeq(HANDLE db, CEOID oid, DWORD seq) {
    CEPROPVAL val = {};
    val.propid = kSeq;
    val.val.ulVal = seq;
    return CeWriteRecordProps(db, oid, 1, &val);
}

// All properties of the record at the handle, as (id, value text) pairs.
std::vector<CEPROPVAL> ReadAll(HANDLE db, std::vector<BYTE> *keep) {
    LPBYTE buffer = nullptr;
    DWORD size = 0;
    WORD count = 0;
    std::vector<CEPROPVAL> props;
    if (CeReadRecordPropsEx(db, CEDB_ALLOWREALLOC, &count, nullptr, &buffer, &size, nullptr) == 0) return props;
    keep->assign(buffer, buffer + size);
    LocalFree(buffer);
    // Pointers inside the copy move with it.
    auto *vals = reinterpret_cast<CEPROPVAL *>(keep->data());
    ptrdiff_t shift = keep->data() - buffer;
    for (WORD i = 0; i < count; ++i) {
        CEPROPVAL v = vals[i];
        if (TypeFromPropID(v.propid) == CEVT_LPWSTR) v.val.lpwstr = reinterpret_cast<LPWSTR>(reinterpret_cast<BYTE *>(v.val.lpwstr) + shift);
        if (TypeFromPropID(v.propid) == CEVT_BLOB && v.val.blob.lpb != nullptr) v.val.blob.lpb += shift;
        props.push_back(v);
    }
    return props;
}

class CeDbTest : public DeviceTest {};

// Each type written comes back as written; the delete flag removes a
// property; a property the record lacks reads as not found.
TEST_F(CeDbTest, TypedPropertiesRoundTrip) {
    ASSERT_NE(0u, Create(u"QV_email_shadow"));
    HANDLE db = Open(u"qv_EMAIL_shadow");
    ASSERT_NE(INVALID_HANDLE_VALUE, db);
    BYTE blob[] = {0, 1, 2, 0xFF, 0x80};
    FILETIME ft = {0x89ABCDEF, 0x01234567};
    std::vector<CEPROPVAL> in(10);
    auto set = [&](int i, WORD id, WORD type) { in[i].propid = (DWORD(id) << 16) | type; };
    set(0, 1, CEVT_I2), in[0].val.iVal = -2;
    set(1, 2, CEVT_UI2), in[1].val.uiVal = 0xFFFE;
    set(2, 3, CEVT_I4), in[2].val.lVal = -70000;
    set(3, 4, CEVT_UI4), in[3].val.ulVal = 0xFFFFFFF0;
    set(4, 5, CEVT_BOOL), in[4].val.boolVal = TRUE;
    set(5, 6, CEVT_FILETIME), in[5].val.filetime = ft;
    set(6, 7, CEVT_R8), in[6].val.dblVal = 2.5;
    set(7, 8, CEVT_LPWSTR), in[7].val.lpwstr = const_cast<LPWSTR>(u"Server \u00e9 id");
    set(8, 9, CEVT_BLOB), in[8].val.blob = {sizeof blob, blob};
    set(9, 0x206, CEVT_UI4), in[9].val.ulVal = 7;
    CEOID oid = CeWriteRecordProps(db, 0, WORD(in.size()), in.data());
    ASSERT_NE(0u, oid);
    DWORD index = 99;
    ASSERT_EQ(oid, CeSeekDatabaseEx(db, CEDB_SEEK_CEOID, oid, 0, &index));
    EXPECT_EQ(0u, index);
    std::vector<BYTE> keep;
    std::vector<CEPROPVAL> out = ReadAll(db, &keep);
    ASSERT_EQ(in.size(), out.size());
    for (size_t i = 0; i < in.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(in[i].propid, out[i].propid);
        switch (TypeFromPropID(in[i].propid)) {
            case CEVT_LPWSTR: EXPECT_EQ(std::u16string(in[i].val.lpwstr), std::u16string(out[i].val.lpwstr)); break;
            case CEVT_BLOB:
                ASSERT_EQ(in[i].val.blob.dwCount, out[i].val.blob.dwCount);
                EXPECT_EQ(0, memcmp(blob, out[i].val.blob.lpb, sizeof blob));
                break;
            case CEVT_R8: EXPECT_EQ(2.5, out[i].val.dblVal); break;
            case CEVT_FILETIME:
                EXPECT_EQ(ft.dwLowDateTime, out[i].val.filetime.dwLowDateTime);
                EXPECT_EQ(ft.dwHighDateTime, out[i].val.filetime.dwHighDateTime);
                break;
            case CEVT_I2: EXPECT_EQ(-2, out[i].val.iVal); break;
            case CEVT_UI2: EXPECT_EQ(0xFFFE, out[i].val.uiVal); break;
            default: EXPECT_EQ(in[i].val.ulVal, out[i].val.ulVal); break;
        }
    }

    // Delete the string, change the state; ask for three by id.
    CEPROPVAL change[2] = {};
    change[0].propid = in[7].propid;
    change[0].wFlags = CEDB_PROPDELETE;
    change[1].propid = kState;
    change[1].val.ulVal = 2;
    ASSERT_EQ(oid, CeWriteRecordProps(db, oid, 2, change));
    CEPROPID ids[3] = {in[7].propid, kState, kSeq};
    WORD count = 3;
    DWORD size = 4;  // too small, and no reallocation allowed
    BYTE small[4];
    LPBYTE buffer = small;
    EXPECT_EQ(0u, CeReadRecordPropsEx(db, 0, &count, ids, &buffer, &size, nullptr));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    ASSERT_GT(size, 3 * sizeof(CEPROPVAL) - 1);
    std::vector<BYTE> big(size);
    buffer = big.data();
    ASSERT_EQ(oid, CeReadRecordPropsEx(db, 0, &count, ids, &buffer, &size, nullptr));
    auto *vals = reinterpret_cast<CEPROPVAL *>(buffer);
    EXPECT_EQ(CEDB_PROPNOTFOUND, vals[0].wFlags & CEDB_PROPNOTFOUND);
    EXPECT_EQ(2u, vals[1].val.ulVal);
    EXPECT_EQ(7u, vals[2].val.ulVal);

    BY_HANDLE_DB_INFORMATION info = {};
    ASSERT_TRUE(CeGetDBInformationByHandle(db, &info));
    EXPECT_EQ(1u, info.infoex.dwNumRecords);
    EXPECT_EQ(std::u16string(u"QV_email_shadow"), std::u16string(info.infoex.szDbaseName));
    EXPECT_EQ(1, info.infoex.wNumSortOrder);
    EXPECT_EQ(kSeq, info.infoex.rgSortSpecs[0].rgPropID[0]);
    EXPECT_TRUE(CloseHandle(db));
}

// Records walk in sort order; seeks by position, from the end and by
// object id; a gone record gives 232 and running off the end something
// else; the unique key refuses a repeat; names are unique.
TEST_F(CeDbTest, SeeksFollowTheSortOrder) {
    CEOID dbOid = Create(u"Seq");
    ASSERT_NE(0u, dbOid);
    EXPECT_EQ(0u, Create(u"SEQ"));
    EXPECT_EQ(DWORD(ERROR_DUP_NAME), GetLastError());
    HANDLE db = Open(u"Seq");
    ASSERT_NE(INVALID_HANDLE_VALUE, db);
    CEOID five = WriteSeq(db, 0, 5), one = WriteSeq(db, 0, 1), three = WriteSeq(db, 0, 3);
    ASSERT_TRUE(five && one && three);
    EXPECT_EQ(0u, WriteSeq(db, 0, 3));
    EXPECT_EQ(DWORD(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_EQ(0u, WriteSeq(db, one, 5));
    EXPECT_EQ(DWORD(ERROR_ALREADY_EXISTS), GetLastError());

    const CEOID expected[] = {one, three, five};
    for (DWORD i = 0; i < 3; ++i) {
        DWORD index = 99;
        EXPECT_EQ(expected[i], CeSeekDatabaseEx(db, CEDB_SEEK_BEGINNING, i, 0, &index));
        EXPECT_EQ(i, index);
    }
    EXPECT_EQ(0u, CeSeekDatabaseEx(db, CEDB_SEEK_BEGINNING, 3, 0, nullptr));
    EXPECT_NE(DWORD(ERROR_NO_DATA), GetLastError());
    EXPECT_EQ(five, CeSeekDatabaseEx(db, CEDB_SEEK_END, 0, 0, nullptr));
    EXPECT_EQ(three, CeSeekDatabaseEx(db, CEDB_SEEK_CURRENT, DWORD(-1), 0, nullptr));

    // A write moves a record in the order; another handle sees it.
    ASSERT_EQ(one, WriteSeq(db, one, 9));
    HANDLE other = Open(u"Seq");
    EXPECT_EQ(one, CeSeekDatabaseEx(other, CEDB_SEEK_END, 0, 0, nullptr));
    ASSERT_TRUE(CeDeleteRecord(other, three));
    EXPECT_EQ(0u, CeSeekDatabaseEx(db, CEDB_SEEK_CEOID, three, 0, nullptr));
    EXPECT_EQ(DWORD(ERROR_NO_DATA), GetLastError());
    EXPECT_FALSE(CeDeleteRecord(db, three));
    EXPECT_EQ(DWORD(ERROR_NO_DATA), GetLastError());
    EXPECT_EQ(five, CeSeekDatabaseEx(db, CEDB_SEEK_BEGINNING, 0, 0, nullptr));

    CloseHandle(other);
    CloseHandle(db);
    EXPECT_TRUE(CeDeleteDatabaseEx(nullptr, dbOid));
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(u"Seq"));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
}

// Object ids grow and are never handed out again, also after a database
// is deleted and made again and on a fresh connection.
TEST_F(CeDbTest, IdsAreNeverReused) {
    std::set<CEOID> seen;
    CEOID last = 0;
    for (int round = 0; round < 3; ++round) {
        OnNewThread([&] {  // a new thread is a new connection to the file
            CEOID dbOid = Create(u"Ids");
            ASSERT_NE(0u, dbOid);
            EXPECT_TRUE(seen.insert(dbOid).second);
            HANDLE db = Open(u"Ids");
            for (DWORD i = 0; i < 5; ++i) {
                CEOID oid = WriteSeq(db, 0, i);
                ASSERT_NE(0u, oid);
                EXPECT_GT(oid, last);
                last = oid;
                EXPECT_TRUE(seen.insert(oid).second);
                if (i % 2 == 0) {
                    EXPECT_TRUE(CeDeleteRecord(db, oid));
                }
            }
            CloseHandle(db);
            EXPECT_TRUE(CeDeleteDatabaseEx(nullptr, dbOid));
        });
    }
    for (CEOID oid : seen) {
        EXPECT_NE(0u, oid);
        EXPECT_NE(0x7FFF7FFFu, oid);
    }
}

// Processes adding records at once: none fails busy, none is lost, no id
// is handed out twice.
TEST_F(CeDbTest, ProcessesWritingAtOnceLoseNothing) {
    ASSERT_NE(0u, Create(u"Shared"));
    const int kChildren = 4, kWrites = 300;
    std::vector<pid_t> children;
    for (int c = 0; c < kChildren; ++c) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            HANDLE db = Open(u"Shared");
            int failures = db == INVALID_HANDLE_VALUE ? 1 : 0;
            for (int i = 0; i < kWrites && failures == 0; ++i) {
                CEOID oid = WriteSeq(db, 0, DWORD(c * 100000 + i));
                if (oid == 0 || WriteSeq(db, oid, DWORD(c * 100000 + i + 50000)) != oid) ++failures;
            }
            _exit(failures);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = -1;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    HANDLE db = Open(u"Shared");
    BY_HANDLE_DB_INFORMATION info = {};
    ASSERT_TRUE(CeGetDBInformationByHandle(db, &info));
    EXPECT_EQ(DWORD(kChildren * kWrites), info.infoex.dwNumRecords);
    std::set<CEOID> oids;
    for (DWORD i = 0; i < info.infoex.dwNumRecords; ++i) oids.insert(CeSeekDatabaseEx(db, CEDB_SEEK_BEGINNING, i, 0, nullptr));
    EXPECT_EQ(size_t(kChildren * kWrites), oids.size());
    EXPECT_EQ(0u, oids.count(0));
    CloseHandle(db);
}

// A volume is its own file under fs/; mounted twice and unmounted once it
// stays mounted; its databases are not the object store's.
TEST_F(CeDbTest, VolumeMountsAreCounted) {
    CreateDirectoryW(u"\\storage", nullptr);
    CEGUID first, second;
    EXPECT_FALSE(CeMountDBVol(&first, const_cast<LPWSTR>(u"\\storage\\pim.vol"), OPEN_EXISTING));
    ASSERT_TRUE(CeMountDBVol(&first, const_cast<LPWSTR>(u"\\storage\\pim.vol"), OPEN_ALWAYS));
    ASSERT_TRUE(CeMountDBVol(&second, const_cast<LPWSTR>(u"\\STORAGE\\PIM.vol"), OPEN_ALWAYS));
    EXPECT_EQ(0, memcmp(&first, &second, sizeof first));
    EXPECT_FALSE(CHECK_INVALIDGUID(&first));
    EXPECT_TRUE(std::ifstream(Device().Host(u"\\storage\\pim.vol")).good());
    ASSERT_NE(0u, Create(u"InVolume", &first));
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(u"InVolume"));  // not in the object store
    ASSERT_TRUE(CeUnmountDBVol(&first));
    HANDLE db = Open(u"InVolume", &first);
    ASSERT_NE(INVALID_HANDLE_VALUE, db);
    EXPECT_NE(0u, WriteSeq(db, 0, 1));
    CloseHandle(db);
    ASSERT_TRUE(CeUnmountDBVol(&first));
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(u"InVolume", &first));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(CeUnmountDBVol(&first));
}

// A damaged object store or a volume file of another kind gives an error.
TEST_F(CeDbTest, CorruptOrForeignFilesGiveErrors) {
    CreateDirectoryW(u"\\storage", nullptr);
    {
        std::ofstream garbage(Device().Host(u"\\storage\\junk.vol"), std::ios::binary);
        garbage << std::string(5000, 'x');
        std::ofstream store(Device().Root() + "/objectstore.db", std::ios::binary);
        store << "SQLite format 3" << std::string(100, '\x7f');
    }
    CEGUID guid;
    EXPECT_FALSE(CeMountDBVol(&guid, const_cast<LPWSTR>(u"\\storage\\junk.vol"), OPEN_EXISTING));
    EXPECT_NE(0u, GetLastError());
    EXPECT_EQ(0u, Create(u"Any"));
    EXPECT_EQ(DWORD(ERROR_INVALID_DATA), GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(u"Any"));

    // The registry is a sound SQLite file, but not one of databases.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &key));
    RegCloseKey(key);
    std::ifstream registry(Device().Root() + "/registry.db", std::ios::binary);
    std::ofstream copy(Device().Host(u"\\storage\\foreign.vol"), std::ios::binary);
    copy << registry.rdbuf();
    copy.close();
    EXPECT_FALSE(CeMountDBVol(&guid, const_cast<LPWSTR>(u"\\storage\\foreign.vol"), OPEN_EXISTING));
    EXPECT_EQ(DWORD(ERROR_INVALID_DATA), GetLastError());
}

struct Seen {
    UINT message;
    UINT type;
    CEOID oid;
    DWORD param;
};

// Messages in the queue now, notices unpacked and freed.
std::vector<Seen> Drain(HWND hwnd) {
    std::vector<Seen> seen;
    MSG msg;
    while (PeekMessageW(&msg, hwnd, 0, 0, PM_REMOVE)) {
        Seen s = {msg.message, 0, 0, 0};
        if (vplat::CeDbTranslateIncoming(&msg.message, &msg.wParam, &msg.lParam)) s.message = msg.message;
        if (msg.message == WM_DBNOTIFICATION) {
            auto *n = reinterpret_cast<PCENOTIFICATION>(msg.lParam);
            s.type = n->uType;
            s.oid = n->oid;
            s.param = n->dwParam;
            EXPECT_TRUE(CeFreeNotification(nullptr, n));
        }
        seen.push_back(s);
    }
    return seen;
}

// Notices reach the requesting window in the order of the writes, and in
// order with what is posted between them, whichever handle wrote.
TEST_F(CeDbTest, NoticesKeepTheirOrder) {
    ASSERT_NE(0u, Create(u"Watched"));
    HWND hwnd = MakeWindow();
    CENOTIFYREQUEST request = {sizeof request, hwnd, CEDB_EXNOTIFICATION, nullptr, 9};
    HANDLE watch = Open(u"Watched", nullptr, &request);
    ASSERT_NE(INVALID_HANDLE_VALUE, watch);
    HANDLE writer = Open(u"Watched");
    const UINT kBetween = WM_APP + 7;
    CEOID oid = WriteSeq(writer, 0, 1);
    ASSERT_NE(0u, oid);
    PostMessageW(HWND_BROADCAST, kBetween, 0, 0);
    ASSERT_EQ(oid, WriteSeq(writer, oid, 2));
    ASSERT_TRUE(CeDeleteRecord(writer, oid));
    std::vector<Seen> seen = Drain(hwnd);
    ASSERT_EQ(4u, seen.size());
    EXPECT_EQ(UINT(WM_DBNOTIFICATION), seen[0].message);
    EXPECT_EQ(UINT(DB_CEOID_CREATED), seen[0].type);
    EXPECT_EQ(kBetween, seen[1].message);
    EXPECT_EQ(UINT(DB_CEOID_CHANGED), seen[2].type);
    EXPECT_EQ(UINT(DB_CEOID_RECORD_DELETED), seen[3].type);
    for (int i : {0, 2, 3}) {
        EXPECT_EQ(oid, seen[i].oid);
        EXPECT_EQ(9u, seen[i].param);
    }

    // Once the watching handle is closed, no more notices.
    CloseHandle(watch);
    WriteSeq(writer, 0, 3);
    EXPECT_TRUE(Drain(hwnd).empty());
    CloseHandle(writer);
    DestroyWindow(hwnd);
}

// A requester in another process gets the notice as integers, which its
// side turns back into the same WM_DBNOTIFICATION. The child records a
// request for this process's window, so what the writer posts to the
// "other process" lands here.
TEST_F(CeDbTest, NoticeToAnotherProcessIsTranslated) {
    CEOID dbOid = Create(u"Remote");
    ASSERT_NE(0u, dbOid);
    HWND hwnd = MakeWindow();
    int toParent[2], toChild[2];
    ASSERT_EQ(0, pipe(toParent));
    ASSERT_EQ(0, pipe(toChild));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CENOTIFYREQUEST request = {sizeof request, hwnd, CEDB_EXNOTIFICATION, nullptr, 10};
        HANDLE watch = Open(u"Remote", nullptr, &request);
        char ok = watch != INVALID_HANDLE_VALUE ? 1 : 0, go;
        if (write(toParent[1], &ok, 1) != 1 || read(toChild[0], &go, 1) != 1) _exit(1);
        _exit(0);  // its request outlives it; a failing post to it would drop it
    }
    char ok = 0;
    ASSERT_EQ(1, read(toParent[0], &ok, 1));
    ASSERT_EQ(1, ok);
    HANDLE writer = Open(u"Remote");
    CEOID oid = WriteSeq(writer, 0, 1);
    ASSERT_NE(0u, oid);
    ASSERT_EQ(1, write(toChild[1], "x", 1));
    int status = -1;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, hwnd, 0, 0, PM_REMOVE));
    EXPECT_NE(UINT(WM_DBNOTIFICATION), msg.message);
    ASSERT_TRUE(vplat::CeDbTranslateIncoming(&msg.message, &msg.wParam, &msg.lParam));
    EXPECT_EQ(UINT(WM_DBNOTIFICATION), msg.message);
    auto *n = reinterpret_cast<PCENOTIFICATION>(msg.lParam);
    EXPECT_EQ(UINT(DB_CEOID_CREATED), n->uType);
    EXPECT_EQ(oid, n->oid);
    EXPECT_EQ(dbOid, n->oidParent);
    EXPECT_EQ(10u, n->dwParam);
    EXPECT_TRUE(CHECK_INVALIDGUID(&n->guid));
    CeFreeNotification(nullptr, n);
    UINT other = WM_APP;
    WPARAM w = 1;
    LPARAM l = 2;
    EXPECT_FALSE(vplat::CeDbTranslateIncoming(&other, &w, &l));
    CloseHandle(writer);
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(fd);
    DestroyWindow(hwnd);
}

}  // namespace

namespace {

// A window of another process that asked for notices gets WM_DBNOTIFICATION
// itself, in write order, with a broadcast between two writes in its place.
TEST_F(CeDbTest, AnotherProcessWindowGetsItsNotices) {
    CEOID dbOid = Create(u"Shared");
    ASSERT_NE(0u, dbOid);
    int toParent[2], toChild[2];
    ASSERT_EQ(0, pipe(toParent));
    ASSERT_EQ(0, pipe(toChild));
    const UINT kBetween = WM_APP + 9;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HWND hwnd = MakeWindow();
        CENOTIFYREQUEST request = {sizeof request, hwnd, CEDB_EXNOTIFICATION, nullptr, 5};
        HANDLE watch = Open(u"Shared", nullptr, &request);
        char ok = watch != INVALID_HANDLE_VALUE ? 1 : 0, go = 0;
        if (write(toParent[1], &ok, 1) != 1 || read(toChild[0], &go, 1) != 1) _exit(1);
        // Expected: created, the broadcast, changed.
        std::vector<UINT> seen;
        const DWORD until = GetTickCount() + 5000;
        while (seen.size() < 3 && GetTickCount() < until) {
            MSG msg;
            if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                Sleep(5);
                continue;
            }
            if (msg.message == WM_DBNOTIFICATION) {
                auto *n = reinterpret_cast<PCENOTIFICATION>(msg.lParam);
                if (n->dwParam != 5 || n->oidParent != dbOid) _exit(2);
                seen.push_back(n->uType);
                CeFreeNotification(&request, n);
            } else if (msg.message == kBetween) {
                seen.push_back(kBetween);
            }
        }
        const std::vector<UINT> expected = {DB_CEOID_CREATED, kBetween, DB_CEOID_CHANGED};
        _exit(seen == expected ? 0 : 3);
    }
    char ok = 0;
    ASSERT_EQ(1, read(toParent[0], &ok, 1));
    ASSERT_EQ(1, ok);
    HANDLE writer = Open(u"Shared");
    CEOID oid = WriteSeq(writer, 0, 1);
    ASSERT_NE(0u, oid);
    PostMessageW(HWND_BROADCAST, kBetween, 0, 0);
    ASSERT_EQ(oid, WriteSeq(writer, oid, 2));
    ASSERT_EQ(1, write(toChild[1], "x", 1));
    int status = -1;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    CloseHandle(writer);
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(fd);
}

}  // namespace

namespace {

// The order by position stays the sort order while one handle writes and
// deletes between its seeks, and while a second handle writes too.
TEST_F(CeDbTest, OrderFollowsWritesBetweenSeeks) {
    ASSERT_NE(0u, Create(u"Ordered"));
    HANDLE db = Open(u"Ordered");
    HANDLE other = Open(u"Ordered");
    ASSERT_NE(INVALID_HANDLE_VALUE, db);
    std::map<DWORD, CEOID> bySeq;
    auto check = [&] {
        DWORD position = 0;
        for (const auto &entry : bySeq) {
            DWORD index = 0;
            ASSERT_EQ(entry.second, CeSeekDatabaseEx(db, CEDB_SEEK_BEGINNING, position, 1, &index)) << position;
            ++position;
        }
        DWORD index = 0;
        EXPECT_EQ(0u, CeSeekDatabaseEx(db, CEDB_SEEK_BEGINNING, position, 1, &index));
    };
    const DWORD seqs[] = {50, 10, 90, 30, 70, 20, 60, 40, 80, 0};
    for (DWORD seq : seqs) {
        bySeq[seq] = WriteSeq(seq % 20 == 0 ? other : db, 0, seq);
        ASSERT_NE(0u, bySeq[seq]);
        check();
    }
    // A key that moves, and records that go.
    CEOID moved = bySeq[10];
    bySeq.erase(10);
    ASSERT_EQ(moved, WriteSeq(db, moved, 95));
    bySeq[95] = moved;
    check();
    for (DWORD seq : {50u, 0u, 95u}) {
        ASSERT_TRUE(CeDeleteRecord(seq == 0 ? other : db, bySeq[seq]));
        bySeq.erase(seq);
        check();
    }
    CloseHandle(other);
    CloseHandle(db);
}

}  // namespace
