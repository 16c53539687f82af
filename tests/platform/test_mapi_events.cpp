// What the store's writes report to an advise sink of the writing process:
// one event per object, with the ids and the tags the caller wrote.
#include <gtest/gtest.h>

#include "mapitestutil.h"

using namespace mapitest;

namespace {

struct Seen {
    ULONG type = 0;
    ULONG objType = 0;
    EntryId entry, parent, oldID, oldParent;
    std::vector<ULONG> tags;
};

EntryId Bytes(ULONG cb, LPENTRYID id) {
    const BYTE *p = reinterpret_cast<const BYTE *>(id);
    return p == nullptr ? EntryId() : EntryId(p, p + cb);
}

// Records every event; lives on the test's stack.
class RecordingSink : public IMAPIAdviseSink {
public:
    HRESULT QueryInterface(REFIID, void **ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override { return --m_refs; }
    ULONG OnNotify(ULONG cNotif, LPNOTIFICATION notifications) override {
        for (ULONG i = 0; i < cNotif; ++i) {
            const OBJECT_NOTIFICATION &obj = notifications[i].info.obj;
            Seen seen;
            seen.type = notifications[i].ulEventType;
            seen.objType = obj.ulObjType;
            seen.entry = Bytes(obj.cbEntryID, obj.lpEntryID);
            seen.parent = Bytes(obj.cbParentID, obj.lpParentID);
            seen.oldID = Bytes(obj.cbOldID, obj.lpOldID);
            seen.oldParent = Bytes(obj.cbOldParentID, obj.lpOldParentID);
            if (obj.lpPropTagArray != nullptr)
                seen.tags.assign(obj.lpPropTagArray->aulPropTag,
                                 obj.lpPropTagArray->aulPropTag + obj.lpPropTagArray->cValues);
            events.push_back(seen);
        }
        return 0;
    }
    std::vector<Seen> Take() {
        std::vector<Seen> taken;
        taken.swap(events);
        return taken;
    }
    std::vector<Seen> events;

private:
    ULONG m_refs = 1;
};

class MapiEventTest : public MapiTest {};

TEST_F(MapiEventTest, WritesReportTheirObjects) {
    RecordingSink sink;
    ULONG connection = 0;
    ASSERT_EQ(S_OK, m_store->Advise(0, nullptr, fnevObjectCreated | fnevObjectDeleted | fnevObjectModified |
                                                    fnevObjectMoved | fnevObjectCopied,
                                    &sink, &connection));
    IMAPIFolder *inbox = Special(PR_CE_IPM_INBOX_ENTRYID);
    IMAPIFolder *drafts = Special(PR_CE_IPM_DRAFTS_ENTRYID);
    EntryId inboxId = Id(P(inbox)), draftsId = Id(P(drafts));

    IMAPIFolder *folder = nullptr;
    ASSERT_EQ(S_OK, inbox->CreateFolder(FOLDER_GENERIC, const_cast<LPTSTR>(u"F"), nullptr, nullptr, 0, &folder));
    EntryId folderId = Id(P(folder));
    ASSERT_EQ(S_OK, Set(P(folder), {Text(PR_DISPLAY_NAME_W, u"G")}));
    std::vector<Seen> seen = sink.Take();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(fnevObjectCreated, seen[0].type);
    EXPECT_EQ(ULONG(MAPI_FOLDER), seen[0].objType);
    EXPECT_EQ(folderId, seen[0].entry);
    EXPECT_EQ(inboxId, seen[0].parent);
    EXPECT_EQ(fnevObjectModified, seen[1].type);
    EXPECT_EQ(std::vector<ULONG>{PR_DISPLAY_NAME_W}, seen[1].tags);

    // A message: created at its first save; later saves list the tags
    // written, in the caller's order, without the store's own time stamp.
    IMessage *message = nullptr;
    ASSERT_EQ(S_OK, folder->CreateMessage(nullptr, 0, &message));
    EXPECT_TRUE(sink.Take().empty());
    ASSERT_EQ(S_OK, message->SaveChanges(KEEP_OPEN_READWRITE));
    EntryId messageId = Id(P(message));
    ASSERT_EQ(S_OK, Set(P(message), {Long(PR_MSG_STATUS, 0x1000)}));
    ASSERT_EQ(S_OK, Set(P(message), {Long(PR_MESSAGE_FLAGS, MSGFLAG_READ)}));
    ASSERT_EQ(S_OK, message->SaveChanges(0));
    message->Release();
    seen = sink.Take();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(fnevObjectCreated, seen[0].type);
    EXPECT_EQ(messageId, seen[0].entry);
    EXPECT_EQ(folderId, seen[0].parent);
    EXPECT_EQ(fnevObjectModified, seen[1].type);
    EXPECT_EQ((std::vector<ULONG>{PR_MSG_STATUS, PR_MESSAGE_FLAGS}), seen[1].tags);

    // Copied: a new id; the old id and folder alongside.
    SBinary bin = {Cb(messageId), messageId.data()};
    ENTRYLIST list = {1, &bin};
    ASSERT_EQ(S_OK, folder->CopyMessages(&list, nullptr, drafts, 0, nullptr, 0));
    seen = sink.Take();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(fnevObjectCopied, seen[0].type);
    EXPECT_NE(messageId, seen[0].entry);
    EXPECT_EQ(draftsId, seen[0].parent);
    EXPECT_EQ(messageId, seen[0].oldID);
    EXPECT_EQ(folderId, seen[0].oldParent);

    // A folder moved, then deleted with the message it holds.
    ASSERT_EQ(S_OK, inbox->CopyFolder(Cb(folderId), Lp(folderId), nullptr, drafts, nullptr, 0, nullptr, FOLDER_MOVE));
    seen = sink.Take();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(fnevObjectMoved, seen[0].type);
    EXPECT_EQ(folderId, seen[0].entry);
    EXPECT_EQ(folderId, seen[0].oldID);
    EXPECT_EQ(draftsId, seen[0].parent);
    EXPECT_EQ(inboxId, seen[0].oldParent);
    ASSERT_EQ(S_OK, drafts->DeleteFolder(Cb(folderId), Lp(folderId), 0, nullptr, DEL_MESSAGES | DEL_FOLDERS));
    seen = sink.Take();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(fnevObjectDeleted, seen[0].type);
    EXPECT_EQ(messageId, seen[0].entry);
    EXPECT_EQ(folderId, seen[0].parent);
    EXPECT_EQ(fnevObjectDeleted, seen[1].type);
    EXPECT_EQ(folderId, seen[1].entry);
    EXPECT_EQ(draftsId, seen[1].parent);

    EXPECT_EQ(S_OK, m_store->Unadvise(connection));
    for (IMAPIFolder *f : {inbox, drafts, folder}) f->Release();
}

}  // namespace
