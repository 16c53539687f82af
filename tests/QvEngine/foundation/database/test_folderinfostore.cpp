#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ByteOrder.h"
#include "DEASFolderInfoStore.h"
#include "simpledbtestutil.h"

namespace {

// Offset of the first record, read from the index after the header.
uint32_t OffsetAt(const std::string &file) {
    const BYTE *bytes = reinterpret_cast<const BYTE *>(file.data());
    return GetUInt32(bytes + GetUInt32(bytes) + 4);
}

class FolderStoreTest : public SimpleDBTest {
protected:
    void SetUp() override {
        SimpleDBTest::SetUp();
        ASSERT_EQ(m_store.Open(kDBReadWrite, true), kNoError);
    }
    // A folder with a server id; user mail folders get a device id as well.
    DEASFolderInfoRecord *Add(uint32_t type, const char *serverID, uint32_t flags = 0) {
        DEASFolderInfoRecord *folder = nullptr;
        const char entryID[] = "entry";
        const bool withData = type == kFolderTypeUserMail;
        EXPECT_EQ(m_store.AddFolder(&folder, type, serverID, serverID, nullptr, withData ? entryID : nullptr,
                                    withData ? 5 : 0, kQvUnknown, flags),
                  kNoError);
        return folder;
    }
    DEASFolderInfoRecord *Find(const char *serverID) {
        DEASFolderInfoRecord *folder = nullptr;
        m_store.FindFolderByServerID(serverID, &folder);
        return folder;
    }
    // Server ids of the folders, in store order, joined by spaces.
    std::string ServerIDs() {
        std::string ids;
        DEASFolderInfoRecord *folder = nullptr;
        for (uint32_t i = 0; m_store.GetFolderAt(i, &folder) == kNoError; ++i)
            ids += (ids.empty() ? "" : " ") + std::string(folder->GetString(kFolderFieldServerID));
        return ids;
    }
    std::string Current() {
        DEASFolderInfoRecord *folder = nullptr;
        return m_store.GetCurrentFolder(&folder) == kNoError ? folder->GetString(kFolderFieldServerID) : "none";
    }
    std::string CurrentFlagged() {
        DEASFolderInfoRecord *folder = nullptr;
        return m_store.GetCurrentFlaggedFolder(&folder) == kNoError ? folder->GetString(kFolderFieldServerID)
                                                                    : "none";
    }
    // Runs NextSyncFolder n times: the folders it chose, "-" for not found.
    std::string SyncWalk(int steps, bool all) {
        std::string seen;
        for (int i = 0; i < steps; ++i) {
            DErrorCode err = m_store.NextSyncFolder(all);
            EXPECT_TRUE(err == kNoError || err == generalErrItemNotFound);
            seen += (seen.empty() ? "" : " ") + (err == kNoError ? Current() : std::string("-"));
        }
        return seen;
    }
    std::string FlaggedWalk(int steps) {
        std::string seen;
        for (int i = 0; i < steps; ++i) {
            bool found = false;
            EXPECT_EQ(m_store.NextFlaggedFolder(&found), kNoError);
            seen += (seen.empty() ? "" : " ") + (found ? CurrentFlagged() : std::string("-"));
        }
        return seen;
    }

    DEASFolderInfoStore m_store{&m_file};
};

}  // namespace

TEST_F(FolderStoreTest, SyncKeyLivesInTheHeaderAndMovesTheIndex) {
    const char *key = nullptr;
    ASSERT_EQ(m_store.GetFolderSyncKey(&key), kNoError);
    EXPECT_STREQ(key, "0");
    EXPECT_EQ(Hex(Get(kDBPath)), Hex(Le().u32(20).u32(1).u32(1).u32(0).u32(0)));
    Add(kFolderTypeInbox, "inbox", kFolderFlagSync);
    ASSERT_EQ(m_store.Save(), kNoError);

    // The key "0" is stored like any other: the header grows to 22 bytes.
    ASSERT_EQ(m_store.SetFolderSyncKey("0"), kNoError);
    ASSERT_EQ(m_store.Save(), kNoError);
    std::string file = Get(kDBPath);
    EXPECT_EQ(Hex(file.substr(0, 30)),
              Hex(Le().u32(22).u32(1).u32(2).u32(1).u32(2).raw(std::string("0\0", 2)).u32(1).u32(OffsetAt(file))));

    // A long key makes the index end beyond the end of the file: the record
    // in its way moves beyond the index, not merely to the old end.
    const std::string longKey(200, 'k');
    const uint32_t indexEnd = 20 + 201 + 8;
    ASSERT_GT(indexEnd, file.size());
    ASSERT_EQ(m_store.SetFolderSyncKey(longKey.c_str()), kNoError);
    ASSERT_EQ(m_store.Save(), kNoError);
    file = Get(kDBPath);
    EXPECT_GE(OffsetAt(file), indexEnd);
    m_store.Close();

    for (int mode : {kDBReadOnly, kDBReadWrite}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(m_store.Open(mode, false), kNoError);
        ASSERT_EQ(m_store.GetFolderSyncKey(&key), kNoError);
        EXPECT_EQ(std::string(key), longKey);
        DEASFolderInfoRecord *inbox = Find("inbox");
        ASSERT_NE(inbox, nullptr);
        EXPECT_EQ(inbox->GetInt(kFolderFieldType), uint32_t(kFolderTypeInbox));
        EXPECT_STREQ(inbox->GetDisplayName(), "inbox");
        m_store.Close();
    }
}

TEST_F(FolderStoreTest, FolderFieldsDefaultsAndFlags) {
    const BYTE entryID[] = {1, 2, 3};
    DEASFolderInfoRecord *parent = Add(kFolderTypeUserMail, "p");
    DEASFolderInfoRecord *folder = nullptr;
    const uint32_t flags = 0x1 | 0x4 | 0x8 | 0x20 | 0x40 | 0x80 | 0x100 | 0x200 | 0x800;
    ASSERT_EQ(m_store.AddFolder(&folder, kFolderTypeUserMail, "s1", "Name", "key", entryID, 3,
                                parent->GetRecordID(), flags),
              kNoError);
    const uint32_t order[] = {0, 1, 5, 2, 3, 6, 4};
    ASSERT_EQ(folder->GetFieldCount(), 7u);
    for (uint32_t i = 0; i < 7; ++i) {
        DSimpleDBRecordField *field = nullptr;
        ASSERT_EQ(folder->GetFieldAt(i, &field), kNoError);
        EXPECT_EQ(field->GetFieldID(), order[i]);
    }
    const char *parentID = nullptr;
    ASSERT_EQ(folder->GetParentServerID(&m_store, &parentID), kNoError);
    EXPECT_STREQ(parentID, "p");
    DEASFolderInfoRecord *found = nullptr;
    EXPECT_EQ(m_store.FindFolderByData(entryID, 3, &found), kNoError);
    EXPECT_EQ(found, folder);
    EXPECT_EQ(m_store.FindFolderByServerID("S1", &found), generalErrItemNotFound);
    EXPECT_EQ(found, nullptr);

    // A folder's pending parent clears with the two flag bits that go with it.
    ASSERT_EQ(folder->SetString(kFolderFieldPendingParent, "x"), kNoError);
    EXPECT_TRUE(folder->HasPendingParent());
    ASSERT_EQ(folder->ClearPendingParent(), kNoError);
    EXPECT_FALSE(folder->HasPendingParent());
    ASSERT_EQ(m_store.Save(), kNoError);
    m_store.Close();
    ASSERT_EQ(m_store.Open(kDBReadOnly, false), kNoError);
    folder = Find("s1");
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->GetInt(kFolderFieldFlags), flags & ~0x300u);  // other bits pass through
    EXPECT_STREQ(folder->GetString(kFolderFieldSyncKey), "key");
    ASSERT_EQ(folder->GetDataSize(), 3u);
    EXPECT_EQ(memcmp(folder->GetData(), entryID, 3), 0);

    // Missing fields read as their defaults; "0" and unknown parents are none.
    DSimpleDBRecord *record = nullptr;
    ASSERT_EQ(m_store.CreateRecord(&record), kNoError);
    DEASFolderInfoRecord *empty = static_cast<DEASFolderInfoRecord *>(record);
    EXPECT_EQ(empty->GetInt(kFolderFieldType), 0u);
    EXPECT_STREQ(empty->GetString(kFolderFieldServerID), "0");
    EXPECT_STREQ(empty->GetDisplayName(), "");
    EXPECT_STREQ(empty->GetString(kFolderFieldSyncKey), "0");
    EXPECT_EQ(empty->GetData(), nullptr);
    EXPECT_FALSE(empty->HasPendingParent());
    for (const char *none : {"0", "unknown"}) {
        ASSERT_EQ(empty->SetParentServerID(&m_store, none), kNoError);
        EXPECT_EQ(empty->GetInt(kFolderFieldParentRecordID), kQvUnknown);
        ASSERT_EQ(empty->GetParentServerID(&m_store, &parentID), kNoError);
        EXPECT_STREQ(parentID, "0");
    }
}

TEST_F(FolderStoreTest, ResetsSetKeysAndFlagsByTypeAndRemove) {
    for (uint32_t type = 1; type <= 17; ++type) {
        DEASFolderInfoRecord *folder = Add(type, std::to_string(type).c_str(), 0xFFF);
        ASSERT_EQ(folder->SetString(kFolderFieldSyncKey, "k"), kNoError);
    }
    bool set = false;
    ASSERT_EQ(m_store.SetMailFolderFlag(0x1000, true), kNoError);
    ASSERT_EQ(m_store.IsMailFolderFlagSet(0x1000, &set), kNoError);
    EXPECT_TRUE(set);
    EXPECT_TRUE(Find("2")->IsFlagSet(0x1000));
    EXPECT_TRUE(Find("12")->IsFlagSet(0x1000));
    EXPECT_FALSE(Find("3")->IsFlagSet(0x1000));

    ASSERT_EQ(m_store.ResetMailFolders(true), kNoError);
    EXPECT_EQ(ServerIDs(), "1 7 8 9 10 11 13 14 15 16 17");
    ASSERT_EQ(m_store.IsMailFolderFlagSet(0x1, &set), kNoError);
    EXPECT_FALSE(set);
    EXPECT_STREQ(Find("8")->GetString(kFolderFieldSyncKey), "k");

    ASSERT_EQ(m_store.ResetCalendarFolders(false), kNoError);
    ASSERT_EQ(m_store.ResetContactFolders(false), kNoError);
    ASSERT_EQ(m_store.ResetTaskFolders(false), kNoError);
    ASSERT_EQ(m_store.ResetNoteFolders(false), kNoError);
    ASSERT_EQ(m_store.ResetJournalFolders(false), kNoError);
    ASSERT_EQ(m_store.ResetGenericFolders(false), kNoError);
    EXPECT_EQ(ServerIDs(), "1 7 8 9 10 11 13 14 15 16 17");
    DEASFolderInfoRecord *folder = nullptr;
    for (uint32_t i = 0; m_store.GetFolderAt(i, &folder) == kNoError; ++i) {
        const uint32_t type = folder->GetInt(kFolderFieldType);
        SCOPED_TRACE(type);
        EXPECT_EQ(folder->GetInt(kFolderFieldFlags), type >= 7 && type <= 11 ? 1u : 0u);
        EXPECT_STREQ(folder->GetString(kFolderFieldSyncKey), "0");
    }

    ASSERT_EQ(Find("8")->SetString(kFolderFieldSyncKey, "k"), kNoError);
    ASSERT_EQ(m_store.ResetAllSyncKeys(), kNoError);
    EXPECT_STREQ(Find("8")->GetString(kFolderFieldSyncKey), "0");
    ASSERT_EQ(m_store.RemoveAllFolders(), kNoError);
    EXPECT_EQ(ServerIDs(), "");
}

TEST_F(FolderStoreTest, RemovingATreeFollowsParentLinksOnce) {
    auto link = [&](const char *child, const char *parent) {
        ASSERT_EQ(Find(child)->SetInt(kFolderFieldParentRecordID, Find(parent)->GetRecordID()), kNoError);
    };
    for (const char *id : {"a", "b", "c", "top", "self", "f", "g", "h"}) Add(kFolderTypeUserMail, id);
    link("b", "a");
    ASSERT_EQ(Find("c")->SetString(kFolderFieldPendingParent, "b"), kNoError);  // a parent not yet known
    link("self", "self");
    link("f", "g");
    link("g", "h");
    link("h", "f");
    // A folder the server has not named yet ("0"), with a child of its own,
    // beside top-level folders whose parent is the server's "0".
    DEASFolderInfoRecord *local = Add(kFolderTypeUserMail, "0");
    DEASFolderInfoRecord *inside = Add(kFolderTypeUserMail, "inside");
    ASSERT_EQ(inside->SetInt(kFolderFieldParentRecordID, local->GetRecordID()), kNoError);
    ASSERT_EQ(Find("top")->SetParentServerID(&m_store, "0"), kNoError);

    const struct {
        const char *root;
        const char *left;
    } steps[] = {
        {"a", "top self f g h 0 inside"},
        {"self", "top f g h 0 inside"},
        {"g", "top 0 inside"},
        {"0", "top"},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.root);
        ASSERT_EQ(m_store.RemoveFolderTree(Find(s.root)), kNoError);
        EXPECT_EQ(ServerIDs(), s.left);
    }
}

TEST_F(FolderStoreTest, SyncFolderWalk) {
    // Only an Inbox: the Inbox, then the end, then the Inbox again.
    Add(kFolderTypeInbox, "inbox");
    EXPECT_EQ(SyncWalk(3, false), "inbox - inbox");
    m_store.ClearCurrentFolder();

    // User mail folders follow when they sync and have a device id ("all"
    // drops the sync test). "nodata" lacks the id.
    Add(kFolderTypeUserMail, "u1", kFolderFlagSync);
    Add(kFolderTypeUserMail, "off");
    DEASFolderInfoRecord *nodata = nullptr;
    ASSERT_EQ(m_store.AddFolder(&nodata, kFolderTypeUserMail, "nodata", "", nullptr, nullptr, 0, kQvUnknown,
                                kFolderFlagSync),
              kNoError);
    Add(kFolderTypeUserMail, "u2", kFolderFlagSync);
    EXPECT_EQ(SyncWalk(4, false), "inbox u1 u2 -");
    EXPECT_EQ(SyncWalk(5, true), "inbox u1 off u2 -");

    // Removing the current folder leaves the walk on none; it goes on after it.
    EXPECT_EQ(SyncWalk(2, false), "inbox u1");
    ASSERT_EQ(m_store.RemoveFolderTree(Find("u1")), kNoError);
    EXPECT_EQ(Current(), "none");
    EXPECT_EQ(SyncWalk(2, true), "off u2");

    // Without an Inbox the walk starts with the user mail folders and ends
    // with "not found", never with success and no folder.
    ASSERT_EQ(m_store.RemoveFolderTree(Find("inbox")), kNoError);
    m_store.ClearCurrentFolder();
    EXPECT_EQ(SyncWalk(3, false), "u2 - u2");
    ASSERT_EQ(m_store.RemoveFolderTree(Find("u2")), kNoError);
    m_store.ClearCurrentFolder();
    EXPECT_EQ(SyncWalk(1, false), "-");
    EXPECT_EQ(Current(), "none");
}

TEST_F(FolderStoreTest, FlaggedFolderWalk) {
    for (const char *id : {"f0", "plain", "f2", "f3", "f4"})
        Add(kFolderTypeUserMail, id, id[0] == 'f' ? kFolderFlagWalk : 0);
    EXPECT_EQ(CurrentFlagged(), "none");
    EXPECT_EQ(FlaggedWalk(2), "f0 f2");

    // A removal before the current folder keeps it current.
    ASSERT_EQ(m_store.RemoveFolderTree(Find("plain")), kNoError);
    EXPECT_EQ(CurrentFlagged(), "f2");
    // Removing the current folder leaves none current; the walk goes on after it.
    ASSERT_EQ(m_store.RemoveFolderTree(Find("f2")), kNoError);
    DEASFolderInfoRecord *folder = nullptr;
    EXPECT_EQ(m_store.GetCurrentFlaggedFolder(&folder), generalErrNULLPointer);
    EXPECT_EQ(FlaggedWalk(4), "f3 f4 - f0");
    // So does removing it while it is the first folder.
    ASSERT_EQ(m_store.RemoveFolderTree(Find("f0")), kNoError);
    EXPECT_EQ(m_store.GetFlaggedFolderCursor(), kQvUnknown);
    EXPECT_EQ(FlaggedWalk(1), "f3");
}
