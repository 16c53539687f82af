#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "DEASFolderInfoStore.h"
#include "FolderStoreWrite.h"
#include "simpledbtestutil.h"

namespace {

// A folder-info store that counts its saves.
class CountingStore : public DEASFolderInfoStore {
public:
    using DEASFolderInfoStore::DEASFolderInfoStore;
    DErrorCode Save() override {
        ++saves;
        return DEASFolderInfoStore::Save();
    }
    int saves = 0;
};

class FolderStoreWriteTest : public SimpleDBTest {
protected:
    // Adds a folder with that server id to the store as it is open now.
    void AddFolder(const char *serverID) {
        DEASFolderInfoRecord *folder = nullptr;
        ASSERT_EQ(m_store.AddFolder(&folder, kFolderTypeUserMail, serverID, serverID, nullptr, nullptr, 0, kQvUnknown,
                                    0),
                  kNoError);
    }
    // The folders another reader of the file sees.
    uint32_t SavedFolderCount() {
        VFile file;
        EXPECT_EQ(file.SetFileName(kDBPath), kNoError);
        DEASFolderInfoStore reader(&file);
        uint32_t count = kQvUnknown;
        EXPECT_EQ(DBOpenReadOnly(&reader), kNoError);
        EXPECT_EQ(reader.GetRecordCount(&count), kNoError);
        return count;
    }

    CountingStore m_store{&m_file};
    uint32_t m_nesting = 0;
};

TEST_F(FolderStoreWriteTest, NullArgumentsAreRefused) {
    uint32_t nesting = 0;
    EXPECT_EQ(BeginFolderStoreWrite(nullptr, &nesting), generalErrInvalidParameter);
    EXPECT_EQ(BeginFolderStoreWrite(&m_store, nullptr), generalErrInvalidParameter);
    EXPECT_EQ(EndFolderStoreWrite(nullptr, &nesting), generalErrInvalidParameter);
    EXPECT_EQ(EndFolderStoreWrite(&m_store, nullptr), generalErrInvalidParameter);
    EXPECT_EQ(DBOpenReadWrite(nullptr), generalErrNULLPointer);
    EXPECT_EQ(DBOpenReadOnly(nullptr), generalErrNULLPointer);
    EXPECT_EQ(DBClose(nullptr), generalErrNULLPointer);
}

TEST_F(FolderStoreWriteTest, NestedWritesShareOneSessionAndSaveOnceAtTheOutermostEnd) {
    ASSERT_EQ(DBOpenReadOnly(&m_store), kNoError);
    ASSERT_EQ(BeginFolderStoreWrite(&m_store, &m_nesting), kNoError);
    EXPECT_EQ(m_store.GetMode(), kDBReadWrite);
    AddFolder("a");
    ASSERT_EQ(BeginFolderStoreWrite(&m_store, &m_nesting), kNoError);
    EXPECT_EQ(m_nesting, 2u);
    AddFolder("b");

    ASSERT_EQ(EndFolderStoreWrite(&m_store, &m_nesting), kNoError);
    EXPECT_EQ(m_nesting, 1u);
    EXPECT_EQ(m_store.saves, 0);
    EXPECT_EQ(m_store.GetMode(), kDBReadWrite);

    ASSERT_EQ(EndFolderStoreWrite(&m_store, &m_nesting), kNoError);
    EXPECT_EQ(m_nesting, 0u);
    EXPECT_EQ(m_store.saves, 1);
    EXPECT_EQ(m_store.GetMode(), kDBReadOnly);
    EXPECT_EQ(SavedFolderCount(), 2u);

    // An end without a begin does nothing.
    EXPECT_EQ(EndFolderStoreWrite(&m_store, &m_nesting), kNoError);
    EXPECT_EQ(m_store.saves, 1);
    EXPECT_EQ(m_nesting, 0u);
}

TEST_F(FolderStoreWriteTest, AWriteOnAClosedStoreIsCountedAndSaved) {
    ASSERT_EQ(m_store.GetMode(), kDBClosed);
    ASSERT_EQ(BeginFolderStoreWrite(&m_store, &m_nesting), kNoError);
    EXPECT_EQ(m_store.GetMode(), kDBReadWrite);
    EXPECT_EQ(m_nesting, 1u);
    AddFolder("a");
    ASSERT_EQ(EndFolderStoreWrite(&m_store, &m_nesting), kNoError);
    EXPECT_EQ(m_store.saves, 1);
    EXPECT_EQ(m_store.GetMode(), kDBReadOnly);
    EXPECT_EQ(SavedFolderCount(), 1u);
}

TEST_F(FolderStoreWriteTest, AStoreOpenedForWritingElsewhereIsLeftToItsOwner) {
    ASSERT_EQ(DBOpenReadWrite(&m_store), kNoError);
    ASSERT_EQ(BeginFolderStoreWrite(&m_store, &m_nesting), kNoError);
    EXPECT_EQ(m_nesting, 0u);
    ASSERT_EQ(EndFolderStoreWrite(&m_store, &m_nesting), kNoError);
    EXPECT_EQ(m_store.saves, 0);
    EXPECT_EQ(m_store.GetMode(), kDBReadWrite);
}

// A save that fails (here: a reader holds the snapshot throughout) is
// returned promptly and leaves the store read-only as it was saved, so the
// next bracket opens it for writing again and saves.
TEST_F(FolderStoreWriteTest, AFailedSaveIsReturnedAndTheNextBracketSavesAgain) {
    ASSERT_EQ(DBOpenReadOnly(&m_store), kNoError);
    VFile reader;
    ASSERT_EQ(reader.SetFileName(kSnapshotPath), kNoError);
    ASSERT_EQ(reader.Open(kVFileRead), kNoError);

    ASSERT_EQ(BeginFolderStoreWrite(&m_store, &m_nesting), kNoError);
    AddFolder("a");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(EndFolderStoreWrite(&m_store, &m_nesting), vfileErrFileAccesDenied);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(m_nesting, 0u);
    EXPECT_EQ(m_store.GetMode(), kDBReadOnly);
    reader.Close();

    ASSERT_EQ(BeginFolderStoreWrite(&m_store, &m_nesting), kNoError);
    EXPECT_EQ(m_nesting, 1u);
    AddFolder("b");
    ASSERT_EQ(EndFolderStoreWrite(&m_store, &m_nesting), kNoError);
    EXPECT_EQ(m_store.saves, 2);
    EXPECT_EQ(m_store.GetMode(), kDBReadOnly);
    // The first save reached the file before its snapshot failed.
    EXPECT_EQ(SavedFolderCount(), 2u);
    EXPECT_EQ(Get(kSnapshotPath), Get(kDBPath));
}

}  // namespace
