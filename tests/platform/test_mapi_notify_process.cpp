// The message store's advise sinks in another real process of the device:
// its sink is called by its own message loop with the writes of this
// process, in order; consumed notices leave the store's file; a process
// that died with its advise leaves nothing behind to deliver.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "mapinotifyutil.h"
#include "msgtestutil.h"

namespace {

// The events as one comparable text.
std::string Signature(const std::vector<SeenEvent> &events) {
    std::string out;
    auto hex = [&](const Bytes &b) {
        char two[3];
        for (BYTE v : b) {
            std::snprintf(two, sizeof two, "%02x", v);
            out += two;
        }
        out += '/';
    };
    for (const SeenEvent &e : events) {
        out += std::to_string(e.type) + ':' + std::to_string(e.objType) + ':';
        hex(e.entry);
        hex(e.parent);
        hex(e.oldID);
        hex(e.oldParent);
        for (ULONG tag : e.tags) out += std::to_string(tag) + ',';
        out += ';';
    }
    return out;
}

bool WriteAll(int fd, const void *data, size_t size) {
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

bool ReadAll(int fd, void *data, size_t size) {
    char *p = static_cast<char *>(data);
    while (size > 0) {
        ssize_t n = read(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

class MapiNotifyProcessTest : public MapiNotifyTest {
protected:
    // Rows of a table of the store's file.
    int64_t Count(const char *table) {
        sqlite3 *db = nullptr;
        std::string path = Device().Root() + "/mapi.db";
        int64_t n = -1;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            std::string sql = std::string("SELECT count(*) FROM ") + table;
            sqlite3_stmt *stmt = nullptr;
            if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
                n = sqlite3_column_int64(stmt, 0);
            }
            sqlite3_finalize(stmt);
        }
        sqlite3_close(db);
        return n;
    }

    // The writes both sides watch: a message made, changed, moved, deleted.
    void Writes() {
        Bytes message = MakeMessage(inbox);
        ASSERT_FALSE(message.empty());
        ASSERT_EQ(S_OK, SetFlags(message, MSGFLAG_READ));
        ASSERT_EQ(S_OK, Move(message, inbox, deleted));
        ASSERT_EQ(S_OK, Delete(message, deleted));
        ASSERT_FALSE(MakeMessage(drafts, u"Second").empty());
    }
};

TEST_F(MapiNotifyProcessTest, SinkOfAnotherProcessGetsTheWritesInOrderThroughItsLoop) {
    int toParent[2], toChild[2];
    ASSERT_EQ(0, pipe(toParent));
    ASSERT_EQ(0, pipe(toChild));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Its own session: what the parent opened stays the parent's.
        store = nullptr;
        session = nullptr;
        RecordingSink sink;
        ULONG connection = 0;
        char ok = OpenStore(u"Vantrel") == S_OK && Advise({}, kObjectEvents, &sink, &connection) == S_OK ? 1 : 0;
        uint32_t expected = 0;
        if (!WriteAll(toParent[1], &ok, 1) || !ReadAll(toChild[0], &expected, sizeof expected)) _exit(1);
        // Nothing arrives but through the loop.
        if (!sink.calls.empty()) _exit(2);
        const DWORD until = GetTickCount() + 10000;
        while (sink.Events().size() < expected && GetTickCount() < until) {
            if (Pump() == 0) Sleep(2);
        }
        if (store->Unadvise(connection) != S_OK) _exit(3);
        std::string seen = Signature(sink.Events());
        uint32_t size = uint32_t(seen.size());
        if (!WriteAll(toParent[1], &size, sizeof size) || !WriteAll(toParent[1], seen.data(), size)) _exit(4);
        _exit(0);
    }
    char ok = 0;
    ASSERT_TRUE(ReadAll(toParent[0], &ok, 1));
    ASSERT_EQ(1, ok);
    // This process's own sink sees the same writes during them: the order
    // the other process must see.
    RecordingSink mine;
    ULONG connection = 0;
    ASSERT_EQ(S_OK, Advise({}, kObjectEvents, &mine, &connection));
    Writes();
    ASSERT_EQ(S_OK, store->Unadvise(connection));
    std::vector<SeenEvent> expected = mine.Events();
    ASSERT_GE(expected.size(), 5u);
    uint32_t count = uint32_t(expected.size());
    ASSERT_TRUE(WriteAll(toChild[1], &count, sizeof count));
    uint32_t size = 0;
    ASSERT_TRUE(ReadAll(toParent[0], &size, sizeof size));
    std::string seen(size, '\0');
    ASSERT_TRUE(ReadAll(toParent[0], &seen[0], size));
    int status = -1;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(Signature(expected), seen);
    // Consumed notices are gone; so are both advises.
    EXPECT_EQ(0, Count("advise_notices"));
    EXPECT_EQ(0, Count("advise_sinks"));
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(fd);
}

// A process that advised and died before taking its notices: the next
// write drops its advise and what waited for it, and goes on as usual.
TEST_F(MapiNotifyProcessTest, DeadAdvisingProcessIsDropped) {
    int toParent[2];
    ASSERT_EQ(0, pipe(toParent));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        store = nullptr;
        session = nullptr;
        RecordingSink sink;
        ULONG connection = 0;
        char ok = OpenStore(u"Vantrel") == S_OK && Advise({}, kObjectEvents, &sink, &connection) == S_OK ? 1 : 0;
        if (!WriteAll(toParent[1], &ok, 1)) _exit(1);
        pause();  // never runs its loop
        _exit(0);
    }
    char ok = 0;
    ASSERT_TRUE(ReadAll(toParent[0], &ok, 1));
    ASSERT_EQ(1, ok);
    Bytes message = MakeMessage(inbox);
    ASSERT_FALSE(message.empty());
    EXPECT_GT(Count("advise_notices"), 0);  // waiting for the child
    kill(child, SIGKILL);
    ASSERT_EQ(child, waitpid(child, nullptr, 0));

    RecordingSink mine;
    ULONG connection = 0;
    ASSERT_EQ(S_OK, Advise({}, kObjectEvents, &mine, &connection));
    ASSERT_EQ(S_OK, SetFlags(message, MSGFLAG_READ));
    EXPECT_EQ(1u, mine.Events().size());
    EXPECT_EQ(0, Count("advise_notices"));
    EXPECT_EQ(1, Count("advise_sinks"));  // this process's own
    EXPECT_EQ(S_OK, store->Unadvise(connection));
    close(toParent[0]);
    close(toParent[1]);
}

}  // namespace
