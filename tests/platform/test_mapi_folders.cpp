// Folders of the message store: the tree (create, rename, move, delete),
// and snapshot tables over what a folder holds.
#include <gtest/gtest.h>

#include "mapitestutil.h"

using namespace mapitest;

namespace {

class MapiFolderTest : public MapiTest {
protected:
    IMAPIFolder *Create(IMAPIFolder *parent, const char16_t *name, ULONG flags = 0, HRESULT expect = S_OK) {
        IMAPIFolder *folder = nullptr;
        EXPECT_EQ(expect, parent->CreateFolder(FOLDER_GENERIC, const_cast<LPTSTR>(name), nullptr, nullptr,
                                               flags | MAPI_UNICODE, &folder));
        return folder;
    }
    EntryId NewMessage(IMAPIFolder *folder, const char16_t *subject) {
        IMessage *message = nullptr;
        EXPECT_EQ(S_OK, folder->CreateMessage(nullptr, 0, &message));
        EXPECT_EQ(S_OK, Set(P(message), {Text(PR_SUBJECT_W, subject)}));
        EXPECT_EQ(S_OK, message->SaveChanges(0));
        EntryId id = Id(P(message));
        message->Release();
        return id;
    }
    HRESULT Open(const EntryId &id) {
        ULONG type = 0;
        LPUNKNOWN unk = nullptr;
        HRESULT hr = m_store->OpenEntry(Cb(id), Lp(id), nullptr, 0, &type, &unk);
        if (unk != nullptr) unk->Release();
        return hr;
    }
};

TEST_F(MapiFolderTest, TreeCreatedRenamedMovedAndDeleted) {
    IMAPIFolder *top = OpenFolder(Get(m_store, PR_IPM_SUBTREE_ENTRYID).bytes);
    IMAPIFolder *inbox = Special(PR_CE_IPM_INBOX_ENTRYID);
    IMAPIFolder *a = Create(top, u"Projects");
    IMAPIFolder *b = Create(a, u"Budget");
    IMAPIFolder *c = Create(b, u"2024");
    IMAPIFolder *x = Create(a, u"Misc");
    ASSERT_TRUE(a && b && c && x);
    EntryId idA = Id(P(a)), idB = Id(P(b)), idC = Id(P(c)), idX = Id(P(x));
    EXPECT_EQ(1, Get(P(b), PR_SUBFOLDERS).value.Value.b);
    EXPECT_EQ(0, Get(P(c), PR_SUBFOLDERS).value.Value.b);

    // Names compare without case: a clash, or the same folder opened.
    Create(top, u"PROJECTS", 0, MAPI_E_COLLISION);
    IMAPIFolder *again = Create(top, u"projects", OPEN_IF_EXISTS);
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(idA, Id(P(again)));
    again->Release();

    // A named property on a folder, as the engine marks its folders.
    GUID set = PS_MAPI;
    MAPINAMEID name = {&set, MNID_STRING, {0}};
    name.Kind.lpwstrName = const_cast<WCHAR *>(u"X-QV-BRWFolderID");
    LPMAPINAMEID names[] = {&name};
    LPSPropTagArray tags = nullptr;
    ASSERT_EQ(S_OK, P(b)->GetIDsFromNames(1, names, MAPI_CREATE, &tags));
    ULONG folderIdTag = CHANGE_PROP_TYPE(tags->aulPropTag[0], PT_LONG);
    MAPIFreeBuffer(tags);
    EXPECT_EQ(S_OK, Set(P(b), {Long(folderIdTag, 42), Text(PR_DISPLAY_NAME_W, u"Costs")}));
    EXPECT_EQ(42, Get(P(b), folderIdTag).Long());
    EXPECT_EQ(u"Costs", Get(P(b), PR_DISPLAY_NAME_W).Text());
    SPropValue clash = Text(PR_DISPLAY_NAME_W, u"COSTS");
    EXPECT_EQ(MAPI_E_COLLISION, P(x)->SetProps(1, &clash, nullptr));
    EXPECT_EQ(u"Misc", Get(P(x), PR_DISPLAY_NAME_W).Text());

    // Moved with a new name: same id, new parent, subtree along.
    NewMessage(c, u"in the subtree");
    EXPECT_EQ(MAPI_E_FOLDER_CYCLE, top->CopyFolder(Cb(idA), Lp(idA), nullptr, c, nullptr, 0, nullptr, FOLDER_MOVE));
    EXPECT_EQ(MAPI_E_FOLDER_CYCLE, top->CopyFolder(Cb(idA), Lp(idA), nullptr, a, nullptr, 0, nullptr, FOLDER_MOVE));
    ASSERT_EQ(S_OK, a->CopyFolder(Cb(idB), Lp(idB), nullptr, inbox, const_cast<LPTSTR>(u"Moved"), 0, nullptr,
                                  FOLDER_MOVE | MAPI_UNICODE));
    EXPECT_EQ(Id(P(inbox)), Get(P(b), PR_PARENT_ENTRYID).bytes);
    EXPECT_EQ(u"Moved", Get(P(b), PR_DISPLAY_NAME_W).Text());
    EXPECT_EQ(42, Get(P(b), folderIdTag).Long());
    EXPECT_EQ(std::vector<EntryId>{idX}, Contents(a, true));
    EXPECT_EQ(std::vector<EntryId>{idB}, Contents(inbox, true));
    EXPECT_EQ(idB, Get(P(c), PR_PARENT_ENTRYID).bytes);
    EXPECT_EQ(MAPI_E_COLLISION, a->CopyFolder(Cb(idX), Lp(idX), nullptr, inbox, const_cast<LPTSTR>(u"MOVED"), 0,
                                              nullptr, FOLDER_MOVE));
    // Only a child of the folder asked moves.
    EXPECT_EQ(MAPI_E_NOT_FOUND, top->CopyFolder(Cb(idX), Lp(idX), nullptr, inbox, nullptr, 0, nullptr, FOLDER_MOVE));

    // A folder with contents goes only when asked to take them along.
    EntryId message = Contents(c).at(0);
    EXPECT_EQ(MAPI_E_HAS_FOLDERS, inbox->DeleteFolder(Cb(idB), Lp(idB), 0, nullptr, 0));
    EXPECT_EQ(MAPI_E_HAS_MESSAGES, b->DeleteFolder(Cb(idC), Lp(idC), 0, nullptr, DEL_FOLDERS));
    ASSERT_EQ(S_OK, inbox->DeleteFolder(Cb(idB), Lp(idB), 0, nullptr, DEL_MESSAGES | DEL_FOLDERS));
    for (const EntryId *gone : {&idB, &idC, &message}) EXPECT_EQ(MAPI_E_NOT_FOUND, Open(*gone));
    EXPECT_TRUE(Contents(inbox, true).empty());
    EXPECT_EQ(0, Get(P(inbox), PR_SUBFOLDERS).value.Value.b);
    EXPECT_EQ(MAPI_E_NOT_FOUND, inbox->DeleteFolder(Cb(idB), Lp(idB), 0, nullptr, DEL_MESSAGES | DEL_FOLDERS));
    // An empty folder needs no flags.
    EXPECT_EQ(S_OK, a->DeleteFolder(Cb(idX), Lp(idX), 0, nullptr, 0));
    for (IMAPIFolder *f : {top, inbox, a, b, c, x}) f->Release();
}

// A table keeps the rows of when it was made, in creation order; a row
// whose message went meanwhile is skipped, one made later is not there.
TEST_F(MapiFolderTest, TablesAreSnapshots) {
    IMAPIFolder *inbox = Special(PR_CE_IPM_INBOX_ENTRYID);
    std::vector<EntryId> ids;
    const char16_t *subjects[] = {u"one", u"two", u"three", u"four", u"five"};
    for (const char16_t *subject : subjects) ids.push_back(NewMessage(inbox, subject));
    IMAPITable *table = nullptr;
    ASSERT_EQ(S_OK, inbox->GetContentsTable(0, &table));
    NewMessage(inbox, u"six");
    SBinary gone = {Cb(ids[1]), ids[1].data()};
    ENTRYLIST list = {1, &gone};
    ASSERT_EQ(S_OK, inbox->DeleteMessages(&list, 0, nullptr, 0));

    ULONG count = 0;
    EXPECT_EQ(S_OK, table->GetRowCount(0, &count));
    EXPECT_EQ(5u, count);
    auto rows = TableRows(table, {PR_SUBJECT_W, PR_ENTRYID, PR_IMPORTANCE});
    std::vector<std::u16string> seen;
    for (const auto &row : rows) {
        seen.push_back(row[0].Value.lpszW);
        EXPECT_EQ(PROP_TAG(PT_ERROR, PROP_ID(PR_IMPORTANCE)), row[2].ulPropTag);
        EXPECT_EQ(MAPI_E_NOT_FOUND, row[2].Value.err);
    }
    EXPECT_EQ((std::vector<std::u16string>{u"one", u"three", u"four", u"five"}), seen);

    // The cursor: from the end back, past the end, and an empty set there.
    LONG sought = 0;
    EXPECT_EQ(S_OK, table->SeekRow(BOOKMARK_END, -2, &sought));
    EXPECT_EQ(-2, sought);
    LPSRowSet set = nullptr;
    ASSERT_EQ(S_OK, table->QueryRows(10, 0, &set));
    ASSERT_EQ(2u, set->cRows);
    EXPECT_EQ(u"four", std::u16string(set->aRow[0].lpProps[0].Value.lpszW));
    FreeProws(set);
    ASSERT_EQ(S_OK, table->QueryRows(10, 0, &set));
    EXPECT_EQ(0u, set->cRows);
    FreeProws(set);
    EXPECT_EQ(S_OK, table->SeekRow(BOOKMARK_CURRENT, -10, &sought));
    EXPECT_EQ(-5, sought);
    EXPECT_EQ(S_OK, table->SeekRow(BOOKMARK_BEGINNING, 2, &sought));
    ASSERT_EQ(S_OK, table->QueryRows(1, 0, &set));
    ASSERT_EQ(1u, set->cRows);
    EXPECT_EQ(u"three", std::u16string(set->aRow[0].lpProps[0].Value.lpszW));
    FreeProws(set);
    table->Release();
    EXPECT_EQ(5, Get(P(inbox), PR_CONTENT_COUNT).Long());
    inbox->Release();
}

}  // namespace
