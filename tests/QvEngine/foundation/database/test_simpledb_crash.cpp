// The record database shared by processes that start, save and die at any
// moment: real processes (fork) race to make and fill one store, and a save
// or a create is stopped at each of its writes in turn.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "DEASFolderInfoStore.h"
#include "DSimpleDBWriteHook.h"
#include "simpledbtestutil.h"

namespace {

int g_writesBeforeKill = 0;
void KillAtWrite() {
    if (--g_writesBeforeKill == 0) _exit(3);
}

// The store as its readers see it: key, then each folder in index order.
std::string Describe(DEASFolderInfoStore &store) {
    const char *key = nullptr;
    store.GetFolderSyncKey(&key);
    std::string out = std::string("key=") + key;
    uint32_t count = 0;
    store.GetRecordCount(&count);
    for (uint32_t i = 0; i < count; ++i) {
        DEASFolderInfoRecord *folder = nullptr;
        if (store.GetFolderAt(i, &folder) != kNoError) return out + " <unreadable>";
        out += " " + std::to_string(folder->GetRecordID()) + ":" + folder->GetString(kFolderFieldServerID) + "/" +
               folder->GetString(kFolderFieldSyncKey);
    }
    return out;
}

class SimpleDBCrashTest : public SimpleDBTest {
protected:
    // The state a fresh open in mode finds, or the open's error.
    std::string Reopen(int mode) {
        VFile file;
        EXPECT_EQ(file.SetFileName(kDBPath), kNoError);
        DEASFolderInfoStore store(&file);
        DErrorCode err = store.Open(mode, false);
        return err != kNoError ? "error " + std::to_string(err) : Describe(store);
    }

    // Runs change on the store in a child process that is killed at its
    // first write, then its second, ... until it completes; after each kill
    // both a writer and a reader must find the old state or the new one.
    // Returns how many writes the change made.
    int KillAtEachWrite(const std::function<void(DEASFolderInfoStore &)> &change) {
        const std::string oldDB = Get(kDBPath), oldSnapshot = Get(kSnapshotPath);
        const std::string oldState = Reopen(kDBReadOnly);
        std::vector<std::string> seen;
        std::string newState;
        int killAt = 1;
        for (;; ++killAt) {
            if (killAt >= 200) {
                ADD_FAILURE() << "the change never completed";
                return killAt;
            }
            Put(kDBPath, oldDB);
            Put(kSnapshotPath, oldSnapshot);
            pid_t child = fork();
            if (child == 0) {
                g_writesBeforeKill = killAt;
                DBSetWriteHook(KillAtWrite);
                DEASFolderInfoStore store(&m_file);
                if (store.Open(kDBReadWrite, false) != kNoError) _exit(1);
                change(store);
                _exit(store.Save() == kNoError ? 0 : 2);
            }
            int status = -1;
            if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
                ADD_FAILURE() << "child lost";
                return killAt;
            }
            if (WEXITSTATUS(status) != 3) {
                EXPECT_EQ(WEXITSTATUS(status), 0);
                newState = Reopen(kDBReadOnly);
                EXPECT_EQ(Reopen(kDBReadWrite), newState);
                break;
            }
            // The writer first: its open brings a snapshot it left behind up to date.
            seen.push_back("write " + std::to_string(killAt) + ": " + Reopen(kDBReadWrite));
            seen.push_back("read " + std::to_string(killAt) + ": " + Reopen(kDBReadOnly));
        }
        EXPECT_NE(newState, oldState);
        for (const std::string &state : seen) {
            const std::string found = state.substr(state.find(": ") + 2);
            EXPECT_TRUE(found == oldState || found == newState)
                << state << "\n old: " << oldState << "\n new: " << newState;
        }
        return killAt;
    }

    // A store of folders f1..fn with sync keys "k1".., FolderSync key "1".
    void MakeStore(int folders) {
        DEASFolderInfoStore store(&m_file);
        ASSERT_EQ(store.Open(kDBReadWrite, true), kNoError);
        ASSERT_EQ(store.SetFolderSyncKey("1"), kNoError);
        for (int i = 1; i <= folders; ++i) {
            const std::string id = "f" + std::to_string(i), key = "k" + std::to_string(i);
            ASSERT_EQ(store.AddFolder(nullptr, kFolderTypeUserMail, id.c_str(), id.c_str(), key.c_str(), nullptr, 0,
                                      kQvUnknown, 0),
                      kNoError);
        }
        ASSERT_EQ(store.Save(), kNoError);
    }
};

}  // namespace

TEST_F(SimpleDBCrashTest, ASaveKilledAtAnyWriteLeavesTheOldOrTheNewState) {
    MakeStore(3);
    const int writes = KillAtEachWrite([](DEASFolderInfoStore &store) {
        DEASFolderInfoRecord *folder = nullptr;
        store.SetFolderSyncKey("a longer FolderSync key");  // the header grows
        store.GetFolderAt(0, &folder);
        folder->SetString(kFolderFieldSyncKey, "a much longer sync key than before");
        store.GetFolderAt(1, &folder);
        folder->SetString(kFolderFieldSyncKey, "");
        store.RemoveRecordAt(2);
        for (const char *id : {"n1", "n2", "n3"})
            store.AddFolder(nullptr, kFolderTypeUserMail, id, id, "0", nullptr, 0, kQvUnknown, 0);
    });
    EXPECT_GT(writes, 6);
}

TEST_F(SimpleDBCrashTest, ASaveThatEmptiesTheStoreKilledAtAnyWriteLeavesTheOldOrTheNewState) {
    MakeStore(4);
    KillAtEachWrite([](DEASFolderInfoStore &store) { store.RemoveAllFolders(); });
}

TEST_F(SimpleDBCrashTest, ACreateKilledAtAnyWriteLeavesNoStoreOrAnEmptyOne) {
    for (int killAt = 1;; ++killAt) {
        ASSERT_LT(killAt, 50) << "the create never completed";
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            g_writesBeforeKill = killAt;
            DBSetWriteHook(KillAtWrite);
            DEASFolderInfoStore store(&m_file);
            _exit(store.Create() == kNoError ? 0 : 1);
        }
        int status = -1;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        ASSERT_TRUE(WIFEXITED(status));
        SCOPED_TRACE(killAt);
        if (HostExists(kDBPath)) {
            EXPECT_EQ(Reopen(kDBReadOnly), "key=0");
            EXPECT_EQ(Reopen(kDBReadWrite), "key=0");
        } else {
            EXPECT_EQ(WEXITSTATUS(status), 3);
        }
        if (WEXITSTATUS(status) != 3) break;
        DEASFolderInfoStore store(&m_file);
        ASSERT_EQ(store.Delete(), kNoError);
    }
}

// Processes that each open the store with create (the first ones at once,
// before any file exists), add a folder and save, lose nothing: every save
// that succeeded is in the store, and the store is always there.
TEST_F(SimpleDBCrashTest, ConcurrentFirstOpensAndSavesLoseNothing) {
    constexpr int kProcesses = 6;
    constexpr int kRounds = 20;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        std::vector<pid_t> children;
        for (int p = 0; p < kProcesses; ++p) {
            pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                VFile file;
                if (file.SetFileName(kDBPath) != kNoError) _exit(1);
                DEASFolderInfoStore store(&file);
                if (store.Open(kDBReadWrite, true) != kNoError) _exit(2);
                const std::string id = "p" + std::to_string(p);
                if (store.AddFolder(nullptr, kFolderTypeUserMail, id.c_str(), id.c_str(), "0", nullptr, 0,
                                    kQvUnknown, 0) != kNoError)
                    _exit(3);
                _exit(store.Save() == kNoError ? 0 : 4);
            }
            children.push_back(child);
        }
        for (pid_t child : children) {
            int status = -1;
            ASSERT_EQ(child, waitpid(child, &status, 0));
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), 0);
        }
        for (int mode : {kDBReadWrite, kDBReadOnly}) {
            DEASFolderInfoStore store(&m_file);
            ASSERT_EQ(store.Open(mode, false), kNoError);
            for (int p = 0; p < kProcesses; ++p) {
                DEASFolderInfoRecord *folder = nullptr;
                EXPECT_EQ(store.FindFolderByServerID(("p" + std::to_string(p)).c_str(), &folder), kNoError) << p;
            }
        }
        DEASFolderInfoStore store(&m_file);
        ASSERT_EQ(store.Delete(), kNoError);
    }
}
