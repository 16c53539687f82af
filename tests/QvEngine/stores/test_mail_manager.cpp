// The message manager: finding the account's store, the named properties,
// binding the special folders, and keeping user folders in step with the
// server's as they are added, renamed, moved and deleted.
#include <gtest/gtest.h>

#include "MailStoreFixture.h"
#include "MAPIPropertyHelpers.h"
#include "vplatform_mailuser.h"
#include "vplatform_test.h"
#include "winreg.h"

namespace {

// --- Finding the store ---

// Which stores the device has, and what Open makes of them.
struct StoreCase {
    const char16_t *provisioned;  // null: no account store at all
    bool opens;
};

class MailStoreOpenTest : public MailStoreFixture, public testing::WithParamInterface<StoreCase> {
protected:
    void SetUp() override {
        provision = false;
        MailStoreFixture::SetUp();
        if (GetParam().provisioned != nullptr) {
            ASSERT_EQ(vplat::MailAccountProvision(GetParam().provisioned), S_OK);
        }
    }
};

TEST_P(MailStoreOpenTest, TakesOnlyTheStoreOfItsExactName) {
    const DErrorCode result = manager->Open(&requester.signal);
    EXPECT_EQ(requester.signal.GetCode(), result);
    if (GetParam().opens) {
        EXPECT_EQ(result, kNoError);
        EXPECT_NE(manager->GetMsgStore(), nullptr);
        ASSERT_NE(manager->GetShadowDB(), nullptr);
        EXPECT_TRUE(manager->GetShadowDB()->IsOpen());
        EXPECT_NE(manager->GetFolderIDTag(), 0u);
        return;
    }
    EXPECT_EQ(result, generalErrNULLPointer);
    EXPECT_EQ(manager->GetMsgStore(), nullptr);
    EXPECT_EQ(manager->GetShadowDB(), nullptr);
    EXPECT_EQ(manager->GetFolderIDTag(), 0u);
    EXPECT_TRUE(log.Has("DWinMobMessageManager::OpenMsgStore() - Failed to open message store 0x7370003"));
    EXPECT_TRUE(log.Has("DWinMobMessageManager::Open() - Failed to open Store 0x7370003"));
    // Nothing was made: the next run looks for the store again and finds it.
    ASSERT_EQ(vplat::MailAccountProvision(kMailStoreName), S_OK);
    EXPECT_EQ(manager->Open(nullptr), kNoError);
    EXPECT_NE(manager->GetShadowDB(), nullptr);
}

#ifdef VANTREL_EDITION_SMARTPHONE
INSTANTIATE_TEST_SUITE_P(Stores, MailStoreOpenTest,
                         testing::Values(StoreCase{u"Vantrel E-Mail", true}, StoreCase{u"Vantrel e-mail", false},
                                         StoreCase{u"Vantrel", false}, StoreCase{nullptr, false}));
#else
INSTANTIATE_TEST_SUITE_P(Stores, MailStoreOpenTest,
                         testing::Values(StoreCase{u"Vantrel", true}, StoreCase{u"VANTREL", false},
                                         StoreCase{u"Vantrel E-Mail", false}, StoreCase{nullptr, false}));
#endif

using MailManagerTest = MailStoreFixture;

int g_registryWrites = 0;
void CountRegistryWrite() { ++g_registryWrites; }

DWORD StoredFolderIDTag() {
    HKEY key = nullptr;
    DWORD value = 0, size = sizeof(value), type = 0;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Brellow\\Vantrel", 0, 0, &key) != ERROR_SUCCESS) return 0;
    RegQueryValueExW(key, u"FolderID", nullptr, &type, reinterpret_cast<BYTE *>(&value), &size);
    RegCloseKey(key);
    return type == REG_DWORD ? value : 0;
}

TEST_F(MailManagerTest, FolderIDTagIsStoredOnceAndNamesAreStable) {
    OpenManager();
    const ULONG tag = manager->GetFolderIDTag();
    EXPECT_EQ(PROP_TYPE(tag), ULONG(PT_LONG));
    EXPECT_EQ(StoredFolderIDTag(), tag);
    // A second manager resolves the same names to the same tags and leaves
    // the registry alone.
    ULONG serverIDTag = 0;
    ASSERT_EQ(GetMAPIPropertyIDFromName(Store(), kPropNameServerID, PT_UNICODE, &serverIDTag), kNoError);
    DWinMobMessageManager *second = nullptr;
    ASSERT_EQ(AllocateMessageManager(&second, &context, &client), kNoError);
    g_registryWrites = 0;
    vplat::RegistrySetWriteHook(CountRegistryWrite);
    EXPECT_EQ(second->Open(nullptr), kNoError);
    vplat::RegistrySetWriteHook(nullptr);
    EXPECT_EQ(second->GetFolderIDTag(), tag);
    EXPECT_EQ(g_registryWrites, 0);
    ULONG again = 0;
    ASSERT_EQ(GetMAPIPropertyIDFromName(second->GetMsgStore(), kPropNameServerID, PT_UNICODE, &again), kNoError);
    EXPECT_EQ(again, serverIDTag);
    delete second;
}

// --- Special folders ---

TEST_F(MailManagerTest, SpecialFoldersBindToTheStoresOwn) {
    OpenManager();
    BindSpecialFolders();
    const struct {
        const char *id;
        ULONG tag;
        bool tracked;
    } cases[] = {{"inbox", PR_CE_IPM_INBOX_ENTRYID, true},
                 {"drafts", PR_CE_IPM_DRAFTS_ENTRYID, false},
                 {"trash", PR_IPM_WASTEBASKET_ENTRYID, false},
                 {"sent", PR_IPM_SENTMAIL_ENTRYID, false},
                 {"outbox", PR_IPM_OUTBOX_ENTRYID, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(EntryIDOf(c.id), StoreEntryID(c.tag));
        IOutlookItem *item = nullptr;
        ASSERT_EQ(manager->GetItemByID(c.id, &item), kNoError);
        auto *collection = dynamic_cast<DWinMobOutlookMessageCollection *>(item);
        ASSERT_NE(collection, nullptr);
        EXPECT_EQ(collection->GetShadowDB() != nullptr, c.tracked);
        EXPECT_EQ(collection->GetFolderEntryID(), StoreEntryID(c.tag));
    }
    DWinMobOutlookMessageCollection *inbox = nullptr;
    ASSERT_EQ(manager->GetInboxCollection(&inbox), kNoError);
    EXPECT_EQ(inbox->GetFolderEntryID(), StoreEntryID(PR_CE_IPM_INBOX_ENTRYID));

    // Not a mail folder: refused when binding, and when a collection is asked for.
    AddFolder(kFolderTypeCalendar, "calendar");
    EXPECT_EQ(manager->AddMailFolder("calendar", &requester.signal), generalErrInvalidParameter);
    EXPECT_EQ(requester.signal.GetCode(), generalErrInvalidParameter);
    IOutlookItem *item = nullptr;
    EXPECT_EQ(manager->GetItemByID("calendar", &item), messageManagerErrUnsupportedType);
    // Deleting a special folder is refused and changes nothing.
    EXPECT_EQ(manager->DeleteMailFolder("inbox", nullptr), generalErrItemNotFound);
    EXPECT_TRUE(FolderExists(StoreEntryID(PR_CE_IPM_INBOX_ENTRYID)));
}

// --- User folders ---

TEST_F(MailManagerTest, UserFolderTreeIsCreatedRenamedMovedAndDeleted) {
    OpenManager();
    BindSpecialFolders();
    AddFolder(kFolderTypeUserMail, "a", "0", "Projects");
    AddFolder(kFolderTypeUserMail, "b", "a", "Caf\xC3\xA9");
    ASSERT_EQ(manager->AddMailFolder("a", nullptr), kNoError);
    ASSERT_EQ(manager->AddMailFolder("b", nullptr), kNoError);
    const std::vector<BYTE> a = EntryIDOf("a"), b = EntryIDOf("b");
    ASSERT_TRUE(FolderExists(a));
    ASSERT_TRUE(FolderExists(b));
    EXPECT_EQ(ParentOf(a), StoreEntryID(PR_IPM_SUBTREE_ENTRYID));
    EXPECT_EQ(ParentOf(b), a);
    EXPECT_EQ(FolderName(b), u"Caf\u00E9");
    // The store folder names its folder-info record.
    IMAPIFolder *folder = OpenFolder(b);
    ULONG recordID = 0;
    ASSERT_EQ(GetMAPIMessageULONGProprty(folder, manager->GetFolderIDTag(), &recordID), kNoError);
    folder->Release();
    EXPECT_EQ(recordID, Folder("b")->GetRecordID());

    // Renamed, then moved to the root: same store folders, entry ids kept.
    ASSERT_EQ(manager->UpdateMailFolder("a", nullptr, "Archive", nullptr), kNoError);
    EXPECT_EQ(FolderName(a), u"Archive");
    ASSERT_EQ(manager->UpdateMailFolder("b", "0", nullptr, nullptr), kNoError);
    EXPECT_EQ(EntryIDOf("b"), b);
    EXPECT_EQ(ParentOf(b), StoreEntryID(PR_IPM_SUBTREE_ENTRYID));
    // ... and back under the Inbox.
    ASSERT_EQ(manager->UpdateMailFolder("b", "inbox", nullptr, nullptr), kNoError);
    EXPECT_EQ(ParentOf(b), StoreEntryID(PR_CE_IPM_INBOX_ENTRYID));

    // Deleting b takes its messages' shadow records with it, and succeeds.
    const CEOID kept = AddRecord(EntryIDOf("inbox"), u"in1", 0);
    const CEOID gone1 = AddRecord(b, u"b1", 0), gone2 = AddRecord(b, u"b2", 0);
    ASSERT_EQ(manager->DeleteMailFolder("b", &requester.signal), kNoError);
    EXPECT_EQ(requester.signal.GetCode(), kNoError);
    EXPECT_FALSE(FolderExists(b));
    EXPECT_FALSE(RecordExists(gone1));
    EXPECT_FALSE(RecordExists(gone2));
    EXPECT_TRUE(RecordExists(kept));
}

TEST_F(MailManagerTest, FolderUnderAnUnmirroredParentHasNoStoreFolderUntilItMovesBack) {
    OpenManager();
    BindSpecialFolders();
    AddFolder(kFolderTypeUserMail, "d", "trash");  // below Deleted Items: never mirrored
    AddFolder(kFolderTypeUserMail, "a");
    AddFolder(kFolderTypeUserMail, "b", "a");
    for (const char *id : {"d", "a", "b"}) ASSERT_EQ(manager->AddMailFolder(id, nullptr), kNoError) << id;
    EXPECT_TRUE(Folder("d")->IsFlagSet(kMailFolderFlagUnmirrored));
    EXPECT_EQ(Folder("d")->GetData(), nullptr);
    const std::vector<BYTE> a = EntryIDOf("a"), b = EntryIDOf("b");
    const CEOID record = AddRecord(b, u"b1", 0);

    // a moves below d: its tree loses its store folders and records.
    ASSERT_EQ(manager->UpdateMailFolder("a", "d", nullptr, nullptr), kNoError);
    for (const char *id : {"a", "b"}) {
        EXPECT_TRUE(Folder(id)->IsFlagSet(kMailFolderFlagUnmirrored)) << id;
        EXPECT_EQ(Folder(id)->GetData(), nullptr) << id;
    }
    EXPECT_FALSE(FolderExists(a));
    EXPECT_FALSE(FolderExists(b));
    EXPECT_FALSE(RecordExists(record));
    // Deleting a folder that has no store folder needs nothing.
    EXPECT_EQ(manager->DeleteMailFolder("d", nullptr), kNoError);

    // Back to the root: the tree is made again, b under a.
    ASSERT_EQ(manager->UpdateMailFolder("a", "0", "Back", nullptr), kNoError);
    for (const char *id : {"a", "b"}) EXPECT_FALSE(Folder(id)->IsFlagSet(kMailFolderFlagUnmirrored)) << id;
    ASSERT_TRUE(FolderExists(EntryIDOf("a")));
    ASSERT_TRUE(FolderExists(EntryIDOf("b")));
    EXPECT_EQ(ParentOf(EntryIDOf("b")), EntryIDOf("a"));
    EXPECT_EQ(FolderName(EntryIDOf("a")), u"Back");
}

TEST_F(MailManagerTest, FolderTheUserMovedToDeletedItemsIsStillDeleted) {
    OpenManager();
    BindSpecialFolders();
    AddFolder(kFolderTypeUserMail, "a");
    ASSERT_EQ(manager->AddMailFolder("a", nullptr), kNoError);
    const std::vector<BYTE> a = EntryIDOf("a");
    // The messaging application moved it into Deleted Items.
    IMAPIFolder *root = OpenFolder(StoreEntryID(PR_IPM_SUBTREE_ENTRYID));
    IMAPIFolder *trash = OpenFolder(StoreEntryID(PR_IPM_WASTEBASKET_ENTRYID));
    ASSERT_EQ(root->CopyFolder(ULONG(a.size()), MailEntryID(a), nullptr, trash, nullptr, 0, nullptr,
                               FOLDER_MOVE | MAPI_UNICODE),
              S_OK);
    root->Release();
    trash->Release();
    EXPECT_EQ(manager->DeleteMailFolder("a", nullptr), kNoError);
    EXPECT_FALSE(FolderExists(a));
    // A folder already gone from the store counts as deleted too.
    AddFolder(kFolderTypeUserMail, "c");
    ASSERT_EQ(manager->AddMailFolder("c", nullptr), kNoError);
    ASSERT_EQ(vplat::MailUserDeleteFolder(kMailStoreName, EntryIDOf("c")), S_OK);
    EXPECT_EQ(manager->DeleteMailFolder("c", nullptr), kNoError);
}

TEST_F(MailManagerTest, StaleEntryIDOfAFolderDeletedOnTheDeviceIsReplaced) {
    OpenManager();
    BindSpecialFolders();
    AddFolder(kFolderTypeUserMail, "a", "inbox", "Lists");
    ASSERT_EQ(manager->AddMailFolder("a", nullptr), kNoError);
    const std::vector<BYTE> stale = EntryIDOf("a");
    IOutlookItem *open = nullptr;
    ASSERT_EQ(manager->GetItemByID("a", &open), kNoError);
    ASSERT_EQ(vplat::MailUserDeleteFolder(kMailStoreName, stale), S_OK);
    // The next FolderSync binds it again instead of failing on every run.
    ASSERT_EQ(manager->AddMailFolder("a", &requester.signal), kNoError);
    EXPECT_EQ(requester.signal.GetCode(), kNoError);
    const std::vector<BYTE> fresh = EntryIDOf("a");
    EXPECT_NE(fresh, stale);
    EXPECT_TRUE(FolderExists(fresh));
    EXPECT_EQ(ParentOf(fresh), StoreEntryID(PR_CE_IPM_INBOX_ENTRYID));
    EXPECT_EQ(FolderName(fresh), u"Lists");
    // The collection already handed out follows the new store folder.
    EXPECT_EQ(static_cast<DWinMobOutlookMessageCollection *>(open)->GetFolderEntryID(), fresh);
}

TEST_F(MailManagerTest, ReconcileBindsFoldersWhosePendingParentArrived) {
    OpenManager();
    BindSpecialFolders();
    // c came before its parent p: it waits, without a store folder.
    DEASFolderInfoRecord *c = AddFolder(kFolderTypeUserMail, "c");
    ASSERT_EQ(c->SetString(kFolderFieldPendingParent, "p"), kNoError);
    ASSERT_EQ(c->SetFlag(0x200, true), kNoError);
    ASSERT_EQ(c->SetFlag(kMailFolderFlagUnmirrored, true), kNoError);
    AddFolder(kFolderTypeUserMail, "p");
    ASSERT_EQ(manager->AddMailFolder("p", nullptr), kNoError);
    ASSERT_EQ(manager->ReconcileMailFolders(&requester.signal), kNoError);
    EXPECT_EQ(requester.signal.GetCode(), kNoError);
    c = Folder("c");
    EXPECT_FALSE(c->HasPendingParent());
    EXPECT_FALSE(c->IsFlagSet(kMailFolderFlagUnmirrored));
    const char *parent = nullptr;
    ASSERT_EQ(c->GetParentServerID(&folders, &parent), kNoError);
    EXPECT_STREQ(parent, "p");
    EXPECT_EQ(ParentOf(EntryIDOf("c")), EntryIDOf("p"));
}

// --- Jobs over the shadow database ---

TEST_F(MailManagerTest, PurgeRemovesEverySentDeletedRecordButPendingResponses) {
    OpenManager();
    BindSpecialFolders();
    const std::vector<BYTE> inbox = EntryIDOf("inbox");
    std::vector<CEOID> purged;
    for (int i = 0; i < 4; ++i)  // side by side: a walk that skips after a delete misses every second
        purged.push_back(AddRecord(inbox, (u"d" + std::u16string(1, char16_t(u'0' + i))).c_str(),
                                   kShadowFlagSent | kShadowFlagDeleted));
    const CEOID pending =
        AddRecord(inbox, u"m", kShadowFlagSent | kShadowFlagDeleted | kShadowFlagMeetingResponsePending);
    const CEOID unsent = AddRecord(inbox, u"u", kShadowFlagDeleted);
    purged.push_back(AddRecord(inbox, u"d4", kShadowFlagSent | kShadowFlagDeleted));
    RequesterTask done(&tasks);
    ASSERT_EQ(manager->StartPurgeTask(done.GetSignal()), kNoError);
    RunTurns(tasks);
    EXPECT_EQ(done.completions, 1);
    EXPECT_EQ(done.code, kNoError);
    for (CEOID oid : purged) EXPECT_FALSE(RecordExists(oid));
    EXPECT_TRUE(RecordExists(pending));
    EXPECT_TRUE(RecordExists(unsent));
}

uint32_t FlagsOf(DWinMobShadowDB &shadow, CEOID oid) {
    uint32_t flags = 0;
    EXPECT_EQ(ShadowReadUInt(shadow.GetHandle(), oid, kShadowPropFlags, &flags), kNoError);
    return flags;
}

// After the first purge the walks read only the records marked since: marks
// written later, on new records and on records already walked, spread among
// many unmarked ones, are every one of them found, and nothing else is touched.
TEST_F(MailManagerTest, PurgesAfterTheFirstFindEveryLaterMarkAmongManyRecords) {
    OpenManager();
    BindSpecialFolders();
    const std::vector<BYTE> inbox = EntryIDOf("inbox");
    std::vector<CEOID> plain;
    for (int i = 0; i < 40; ++i) {
        const std::u16string id = u"p" + std::u16string(1, char16_t(u'A' + i));
        plain.push_back(AddRecord(inbox, id.c_str(), i % 3 == 0 ? kShadowFlagDeleted : kShadowFlagNew, false));
    }
    const CEOID early = AddRecord(inbox, u"e", kShadowFlagSent | kShadowFlagDeleted, false);
    const auto purge = [&] {
        RequesterTask done(&tasks);
        ASSERT_EQ(manager->StartPurgeTask(done.GetSignal()), kNoError);
        RunTurns(tasks);
        EXPECT_EQ(done.completions, 1);
        EXPECT_EQ(done.code, kNoError);
    };
    purge();
    EXPECT_FALSE(RecordExists(early));

    // Marks on walked records (front, middle, back, side by side) and on new ones.
    std::vector<CEOID> gone;
    for (size_t i : {size_t(0), size_t(1), size_t(17), size_t(18), size_t(39)}) {
        ASSERT_EQ(ShadowWriteUInt(shadow.GetHandle(), plain[i], kShadowPropFlags, kShadowFlagSent | kShadowFlagDeleted),
                  kNoError);
        gone.push_back(plain[i]);
    }
    DWinMobShadowRecord marked;
    ASSERT_EQ(shadow.GetRecordByOID(plain[25], &marked), kNoError);
    ASSERT_EQ(marked.SetSent(true), kNoError);  // not deleted: it stays
    ASSERT_EQ(shadow.GetRecordByOID(plain[27], &marked), kNoError);
    ASSERT_EQ(marked.SetSent(true), kNoError);  // deleted already: it goes
    gone.push_back(plain[27]);
    gone.push_back(AddRecord(inbox, u"late", kShadowFlagSent | kShadowFlagDeleted, false));
    const CEOID unfinished = AddRecord(inbox, nullptr, kShadowFlagIgnoreChanges, false);
    gone.push_back(unfinished);
    const CEOID pending =
        AddRecord(inbox, u"m", kShadowFlagSent | kShadowFlagDeleted | kShadowFlagMeetingResponsePending, false);
    const uint32_t before = RecordCount();
    purge();
    for (CEOID oid : gone) EXPECT_FALSE(RecordExists(oid)) << oid;
    EXPECT_EQ(RecordCount(), before - uint32_t(gone.size()));
    EXPECT_TRUE(RecordExists(pending));
    EXPECT_EQ(FlagsOf(shadow, plain[25]), kShadowFlagNew | kShadowFlagSent);
    EXPECT_EQ(FlagsOf(shadow, plain[3]), kShadowFlagDeleted);
}

// What a process killed while it wrote server messages leaves: records still
// marked as being written. One without a server id goes with the message it
// names (not yet whole), so that the server's next answer makes it once; one
// with its server id keeps its message and loses the mark; a device record
// without a server id is no engine write and stays.
TEST_F(MailManagerTest, PurgeDropsWhatAStoppedMessageWriteLeft) {
    OpenManager();
    BindSpecialFolders();
    const std::vector<BYTE> inbox = EntryIDOf("inbox");
    const std::vector<BYTE> half = AddMessage(inbox, u"");
    const std::vector<BYTE> whole = AddMessage(inbox, u"whole");
    const std::vector<BYTE> own = AddMessage(inbox, u"own");
    const CEOID unfinished = AddRecord(inbox, nullptr, kShadowFlagIgnoreChanges, false, half);
    const CEOID nameless = AddRecord(inbox, nullptr, kShadowFlagIgnoreChanges, false);
    const CEOID rewritten = AddRecord(inbox, u"7", kShadowFlagIgnoreChanges | kShadowFlagRead, false, whole);
    const CEOID device = AddRecord(inbox, nullptr, kShadowFlagNew, false, own);
    const uint32_t messages = MessageCount(inbox);
    RequesterTask done(&tasks);
    ASSERT_EQ(manager->StartPurgeTask(done.GetSignal()), kNoError);
    RunTurns(tasks);
    EXPECT_EQ(done.code, kNoError);
    EXPECT_FALSE(RecordExists(unfinished));
    EXPECT_FALSE(RecordExists(nameless));
    ASSERT_TRUE(RecordExists(rewritten));
    EXPECT_EQ(FlagsOf(shadow, rewritten), kShadowFlagRead);
    ASSERT_TRUE(RecordExists(device));
    EXPECT_EQ(FlagsOf(shadow, device), kShadowFlagNew);
    EXPECT_EQ(MessageCount(inbox), messages - 1);
    IMAPIFolder *folder = OpenFolder(inbox);
    ASSERT_NE(folder, nullptr);
    for (const std::vector<BYTE> *id : {&whole, &own}) {
        ULONG type = 0;
        LPUNKNOWN unknown = nullptr;
        std::vector<BYTE> copy = *id;
        EXPECT_EQ(folder->OpenEntry(ULONG(copy.size()), reinterpret_cast<LPENTRYID>(copy.data()), nullptr, 0, &type,
                                    &unknown),
                  S_OK);
        if (unknown != nullptr) unknown->Release();
    }
    folder->Release();
}

TEST_F(MailManagerTest, CompletingTheRoundTakesBackSentAndNewFlags) {
    OpenManager();
    BindSpecialFolders();
    const std::vector<BYTE> inbox = EntryIDOf("inbox");
    // The Inbox is the folder of the running Sync request.
    ASSERT_EQ(Folder("inbox")->SetFlag(kFolderFlagWalk, true), kNoError);
    bool found = false;
    ASSERT_EQ(folders.NextFlaggedFolder(&found), kNoError);
    ASSERT_TRUE(found);
    const struct {
        uint32_t before, after;
    } cases[] = {
        {kShadowFlagSent | kShadowFlagNew, 0},
        {kShadowFlagSent | kShadowFlagNew | kShadowFlagKeepNew, kShadowFlagNew | kShadowFlagKeepNew},
        {kShadowFlagSent | kShadowFlagDeleted, kShadowFlagDeleted},
        {kShadowFlagNew, kShadowFlagNew},  // not in the request: untouched
    };
    std::vector<CEOID> oids;
    for (const auto &c : cases) {
        const std::u16string id = u"c" + std::u16string(1, char16_t(u'0' + oids.size()));
        oids.push_back(AddRecord(inbox, id.c_str(), c.before, true, AddMessage(inbox, id.c_str())));
    }
    RequesterTask done(&tasks);
    ASSERT_EQ(manager->StartCompleteTask(done.GetSignal()), kNoError);
    RunTurns(tasks);
    EXPECT_EQ(done.completions, 1);
    EXPECT_EQ(done.code, kNoError);
    for (size_t i = 0; i < oids.size(); ++i) EXPECT_EQ(FlagsOf(shadow, oids[i]), cases[i].after) << i;
}

TEST_F(MailManagerTest, MessagesMovedIntoAnUnsyncedFolderAreDiscardedAtCleanUp) {
    OpenManager();
    BindSpecialFolders();
    AddFolder(kFolderTypeUserMail, "u");
    ASSERT_EQ(manager->AddMailFolder("u", nullptr), kNoError);
    const std::vector<BYTE> u = EntryIDOf("u");
    const CEOID moved = AddRecord(u, u"m1", kShadowFlagMoved, true, AddMessage(u, u"m1"));
    bool any = false;
    ASSERT_EQ(manager->HasMovedItems(&any, &requester.signal), kNoError);
    EXPECT_TRUE(any);
    EXPECT_TRUE(Folder("u")->IsFlagSet(kMailFolderFlagMovedInto));
    EXPECT_TRUE(Folder("u")->IsFlagSet(kMailFolderFlagDiscard));
    ASSERT_EQ(manager->CleanUpStore(&requester.signal), kNoError);
    EXPECT_EQ(requester.signal.GetCode(), kNoError);
    EXPECT_FALSE(Folder("u")->IsFlagSet(kMailFolderFlagDiscard));
    EXPECT_EQ(MessageCount(u), 0u);
    EXPECT_FALSE(RecordExists(moved));
}

TEST_F(MailManagerTest, DeletingExistingItemsEmptiesEveryFolderAndTheShadowDatabase) {
    OpenManager();
    BindSpecialFolders();
    AddFolder(kFolderTypeUserMail, "u");
    ASSERT_EQ(manager->AddMailFolder("u", nullptr), kNoError);
    const std::vector<BYTE> inbox = EntryIDOf("inbox"), drafts = EntryIDOf("drafts"), u = EntryIDOf("u");
    for (const char16_t *id : {u"i1", u"i2", u"i3"}) AddRecord(inbox, id, 0, false, AddMessage(inbox, id));
    AddMessage(inbox, u"no record");
    AddMessage(drafts, u"d1");
    AddMessage(drafts, u"d2");
    AddRecord(u, u"u1", 0, false, AddMessage(u, u"u1"));
    RequesterTask done(&tasks);
    ASSERT_EQ(manager->DeleteExistingItems(done.GetSignal()), kNoError);
    RunTurns(tasks, 10000);
    EXPECT_EQ(done.completions, 1);
    EXPECT_EQ(done.code, kNoError);
    EXPECT_EQ(MessageCount(inbox), 0u);
    EXPECT_EQ(MessageCount(drafts), 0u);
    EXPECT_FALSE(FolderExists(u));
    EXPECT_EQ(RecordCount(), 0u);
}

TEST_F(MailManagerTest, SentMessageIsDeletedOrMovedToSentItemsByTheSetting) {
    OpenManager();
    BindSpecialFolders();
    const std::vector<BYTE> outbox = EntryIDOf("outbox"), sentItems = EntryIDOf("sent");
    DWinMobOutlookMessageCollection *collection = nullptr;
    ASSERT_EQ(manager->GetOutboxCollection(&collection), kNoError);
    for (WORD range : {WORD(1), WORD(0)}) {
        SCOPED_TRACE(range);
        ASSERT_EQ(prefs.SetDeleteSentItemDateRange(range), kNoError);
        const uint32_t sentBefore = MessageCount(sentItems);
        const std::vector<BYTE> id = AddMessage(outbox, u"out");
        const CEOID record = AddRecord(outbox, u"s1", kShadowFlagNew, true, id);
        IOutlookItem *item = nullptr;
        ASSERT_EQ(collection->GetItemByID("s1", &item), kNoError);
        ASSERT_EQ(manager->FinishSentMessage(collection, dynamic_cast<IOutlookMessage *>(item), &requester.signal),
                  kNoError);
        delete item;
        EXPECT_EQ(requester.signal.GetCode(), kNoError);
        EXPECT_EQ(MessageCount(outbox), 0u);
        EXPECT_EQ(MessageCount(sentItems), sentBefore + (range == 1 ? 0u : 1u));
        EXPECT_FALSE(RecordExists(record));
    }
}

}  // namespace
