// A person's mail actions raise the notifications the mail advise acts on:
// a message written reaches the Outbox by a move, reading is a change of
// PR_MESSAGE_FLAGS, deleting is a move into "Deleted Items" (and from there
// a deletion), folders are made and removed.
#include <gtest/gtest.h>

#include <algorithm>

#include "mapinotifyutil.h"
#include "vplatform_mailuser.h"

namespace {

class MailUserTest : public MapiNotifyTest {
protected:
    LONG LongProp(IMAPIProp *object, ULONG tag) {
        SizedSPropTagArray(1, tags) = {1, {tag}};
        ULONG count = 0;
        LPSPropValue props = nullptr;
        LONG value = -1;
        if (SUCCEEDED(object->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &props)) && count == 1 &&
            props[0].ulPropTag == tag) {
            value = props[0].Value.l;
        }
        MAPIFreeBuffer(props);
        return value;
    }

    // The whole of a stream property.
    Bytes ReadStream(IMAPIProp *object, ULONG tag) {
        IUnknown *unknown = nullptr;
        Bytes data;
        if (FAILED(object->OpenProperty(tag, &IID_IStream, STGM_READ, 0, &unknown)) || unknown == nullptr) return data;
        auto *stream = static_cast<IStream *>(unknown);
        BYTE buffer[512];
        ULONG got = 0;
        while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &got)) && got > 0) data.insert(data.end(), buffer, buffer + got);
        stream->Release();
        return data;
    }

    // Rows of a table: the values of tags per row.
    std::vector<std::vector<SPropValue>> Rows(IMAPITable *table, std::vector<ULONG> tags, std::vector<std::u16string> *texts) {
        std::vector<std::vector<SPropValue>> out;
        std::vector<ULONG> columns = {ULONG(tags.size())};
        columns.insert(columns.end(), tags.begin(), tags.end());
        table->SetColumns(reinterpret_cast<LPSPropTagArray>(columns.data()), 0);
        LPSRowSet rows = nullptr;
        if (SUCCEEDED(table->QueryRows(100, 0, &rows)) && rows != nullptr) {
            for (ULONG r = 0; r < rows->cRows; ++r) {
                std::vector<SPropValue> row(rows->aRow[r].lpProps, rows->aRow[r].lpProps + rows->aRow[r].cValues);
                for (SPropValue &v : row) {
                    if (PROP_TYPE(v.ulPropTag) == PT_UNICODE) texts->push_back(v.Value.lpszW);
                }
                out.push_back(row);
            }
        }
        FreeProws(rows);
        return out;
    }
};

TEST_F(MailUserTest, ComposeReachesTheOutboxByAMoveFromDrafts) {
    RecordingSink sink;
    ULONG connection = 0;
    ASSERT_EQ(S_OK, Advise({}, kObjectEvents, &sink, &connection));
    const Bytes data = {0, 1, 2, 0xFF, 'x'};
    Bytes id;
    ASSERT_EQ(S_OK, vplat::MailUserComposeOutbox(u"Vantrel", {u"a@example.com", u"b@example.com"}, {u"c@example.com"},
                                                 u"Subject", u"Body text", {{u"file.bin", data}}, &id));
    ASSERT_FALSE(id.empty());
    std::vector<SeenEvent> events = sink.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(fnevObjectMoved, events.back().type);
    EXPECT_EQ(id, events.back().entry);
    EXPECT_EQ(outbox, events.back().parent);
    EXPECT_EQ(drafts, events.back().oldParent);
    EXPECT_EQ(S_OK, store->Unadvise(connection));

    IMessage *message = Open<IMessage>(id);
    ASSERT_NE(nullptr, message);
    EXPECT_EQ(outbox, BinaryProp(message, PR_PARENT_ENTRYID));
    LONG flags = LongProp(message, PR_MESSAGE_FLAGS);
    EXPECT_EQ(LONG(MSGFLAG_UNSENT | MSGFLAG_FROMME), flags & LONG(MSGFLAG_UNSENT | MSGFLAG_FROMME | MSGFLAG_READ));
    EXPECT_EQ(1, LongProp(message, PR_HASATTACH) & 0xFFFF);
    const std::u16string body = u"Body text";
    Bytes bodyBytes = ReadStream(message, PR_BODY_W);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(bodyBytes.data()), bodyBytes.size() / 2)
                  .substr(0, body.size()),
              body);

    IMAPITable *table = nullptr;
    std::vector<std::u16string> texts;
    ASSERT_EQ(S_OK, message->GetRecipientTable(0, &table));
    auto recipients = Rows(table, {PR_RECIPIENT_TYPE, PR_EMAIL_ADDRESS_W}, &texts);
    table->Release();
    ASSERT_EQ(3u, recipients.size());
    EXPECT_EQ(MAPI_TO, recipients[0][0].Value.l);
    EXPECT_EQ(MAPI_CC, recipients[2][0].Value.l);
    EXPECT_EQ((std::vector<std::u16string>{u"a@example.com", u"b@example.com", u"c@example.com"}), texts);

    IAttach *attach = nullptr;
    ASSERT_EQ(S_OK, message->GetAttachmentTable(0, &table));
    texts.clear();
    auto attachments = Rows(table, {PR_ATTACH_NUM, PR_ATTACH_FILENAME_W}, &texts);
    table->Release();
    ASSERT_EQ(1u, attachments.size());
    EXPECT_EQ(std::vector<std::u16string>{u"file.bin"}, texts);
    ASSERT_EQ(S_OK, message->OpenAttach(attachments[0][0].Value.ul, nullptr, 0, &attach));
    EXPECT_EQ(data, ReadStream(attach, PR_ATTACH_DATA_BIN));
    attach->Release();
    message->Release();
}

// Reading, moving and deleting, each as the events it must raise.
TEST_F(MailUserTest, ActionsRaiseTheirEvents) {
    Bytes message = MakeMessage(inbox);
    ASSERT_FALSE(message.empty());
    Bytes folder;
    ASSERT_EQ(S_OK, vplat::MailUserCreateFolder(u"Vantrel", inbox, u"Kept", &folder));
    RecordingSink sink;
    ULONG connection = 0;
    ASSERT_EQ(S_OK, Advise({}, kObjectEvents, &sink, &connection));

    struct Step {
        const char *name;
        std::function<HRESULT()> act;
        ULONG type;
        const Bytes *parent;
        const Bytes *oldParent;  // moves
    };
    const Bytes none;
    const Step steps[] = {
        {"read", [&] { return vplat::MailUserReadMessage(u"Vantrel", message, true); }, fnevObjectModified, &inbox,
         &none},
        {"move", [&] { return vplat::MailUserMoveMessage(u"Vantrel", message, folder); }, fnevObjectMoved, &folder,
         &inbox},
        {"delete", [&] { return vplat::MailUserDeleteMessage(u"Vantrel", message); }, fnevObjectMoved, &deleted,
         &folder},
        {"delete for good", [&] { return vplat::MailUserDeleteMessage(u"Vantrel", message); }, fnevObjectDeleted,
         &deleted, &none},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        sink.calls.clear();
        ASSERT_EQ(S_OK, step.act());
        std::vector<SeenEvent> events = sink.Events();
        ASSERT_EQ(1u, events.size());
        EXPECT_EQ(step.type, events[0].type);
        EXPECT_EQ(message, events[0].entry);
        EXPECT_EQ(*step.parent, events[0].parent);
        if (!step.oldParent->empty()) {
            EXPECT_EQ(*step.oldParent, events[0].oldParent);
        }
        if (step.type == fnevObjectModified) {
            EXPECT_NE(events[0].tags.end(), std::find(events[0].tags.begin(), events[0].tags.end(), PR_MESSAGE_FLAGS));
        }
    }
    EXPECT_EQ(MAPI_E_NOT_FOUND, vplat::MailUserReadMessage(u"No such store", message, true));

    sink.calls.clear();
    ASSERT_EQ(S_OK, vplat::MailUserDeleteFolder(u"Vantrel", folder));
    std::vector<SeenEvent> events = sink.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(fnevObjectDeleted, events.back().type);
    EXPECT_EQ(ULONG(MAPI_FOLDER), events.back().objType);
    EXPECT_EQ(folder, events.back().entry);
    EXPECT_EQ(S_OK, store->Unadvise(connection));
}

}  // namespace
