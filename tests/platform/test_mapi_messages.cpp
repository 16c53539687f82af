// Messages of the store: transacted properties, recipients, attachments,
// streamed bodies, and copies, moves and deletions between folders.
#include <gtest/gtest.h>

#include <algorithm>

#include "mapitestutil.h"

using namespace mapitest;

namespace {

class MapiMessageTest : public MapiTest {
protected:
    void SetUp() override {
        MapiTest::SetUp();
        m_drafts = Special(PR_CE_IPM_DRAFTS_ENTRYID);
    }
    void TearDown() override {
        if (m_drafts != nullptr) m_drafts->Release();
        MapiTest::TearDown();
    }
    IMessage *NewMessage() {
        IMessage *message = nullptr;
        EXPECT_EQ(S_OK, m_drafts->CreateMessage(nullptr, 0, &message));
        return message;
    }
    static IStream *Stream(IMAPIProp *object, ULONG tag, ULONG mode, ULONG flags, HRESULT expect = S_OK) {
        LPUNKNOWN unk = nullptr;
        EXPECT_EQ(expect, object->OpenProperty(tag, &IID_IStream, mode, flags, &unk));
        return static_cast<IStream *>(unk);
    }
    static std::vector<ULONG> RowIds(IMessage *message, std::vector<std::u16string> *addresses,
                                     std::vector<LPSRowSet> *keep) {
        IMAPITable *table = nullptr;
        EXPECT_EQ(S_OK, message->GetRecipientTable(0, &table));
        std::vector<ULONG> ids;
        addresses->clear();
        for (const auto &row : Rows(table, {PR_ROWID, PR_EMAIL_ADDRESS_W, PR_RECIPIENT_TYPE}, keep)) {
            ids.push_back(row[0].Value.ul);
            addresses->push_back(row[1].Value.lpszW);
        }
        table->Release();
        return ids;
    }

    IMAPIFolder *m_drafts = nullptr;
};

// A byte pattern that shows misplaced chunks.
BYTE PatternByte(size_t at) { return static_cast<BYTE>((at * 7 + at / 65536) & 0xFF); }

// Changes wait for SaveChanges; the store stamps each save; every stored
// type comes back as set; bad tags are reported, not stored.
TEST_F(MapiMessageTest, PropertiesTransactedUntilSaved) {
    IMessage *message = NewMessage();
    EntryId id = Id(P(message));
    EXPECT_EQ(std::vector<EntryId>{id}, Contents(m_drafts));  // there from CreateMessage on
    EXPECT_EQ(Id(P(m_drafts)), Get(P(message), PR_PARENT_ENTRYID).bytes);

    BYTE blob[] = {0, 1, 2, 0xFF};
    char narrow[] = "plain";
    std::vector<SPropValue> values(11);
    values[0] = Text(PR_SUBJECT_W, u"Hello \u00e9");
    values[1] = Long(PR_IMPORTANCE, -7);
    values[2].ulPropTag = PR_RESPONSE_REQUESTED;
    values[2].Value.b = 1;
    values[3].ulPropTag = PROP_TAG(PT_BINARY, 0x6601);
    values[3].Value.bin = {sizeof blob, blob};
    values[4].ulPropTag = PR_START_DATE;
    values[4].Value.ft = {0x89ABCDEF, 0x01D00000};
    values[5].ulPropTag = PROP_TAG(PT_I8, 0x6602);
    values[5].Value.li = -1234567890123LL;
    values[6].ulPropTag = PROP_TAG(PT_STRING8, 0x6603);
    values[6].Value.lpszA = narrow;
    values[7] = Long(PROP_TAG(PT_ERROR, 0x6604), 0);
    values[8] = Long(PROP_TAG(0x00FE, 0x6605), 0);
    values[9] = Long(PR_OBJECT_TYPE, MAPI_MESSAGE);  // what it is: accepted
    values[10] = Long(PR_CONTENT_COUNT, 3);  // the store's own: refused
    LPSPropProblemArray problems = nullptr;
    ASSERT_EQ(S_OK, P(message)->SetProps(static_cast<ULONG>(values.size()), values.data(), &problems));
    ASSERT_NE(nullptr, problems);
    ASSERT_EQ(3u, problems->cProblem);
    EXPECT_EQ(7u, problems->aProblem[0].ulIndex);
    EXPECT_EQ(8u, problems->aProblem[1].ulIndex);
    EXPECT_EQ(10u, problems->aProblem[2].ulIndex);
    MAPIFreeBuffer(problems);

    IMessage *other = OpenMessage(id);
    EXPECT_FALSE(Get(P(other), PR_SUBJECT_W).found);
    EXPECT_EQ(u"Hello \u00e9", Get(P(message), PR_SUBJECT_W).Text());
    ASSERT_EQ(S_OK, message->SaveChanges(KEEP_OPEN_READWRITE));
    other->Release();
    other = OpenMessage(id);
    EXPECT_EQ(u"Hello \u00e9", Get(P(other), PR_SUBJECT_W).Text());
    EXPECT_EQ(-7, Get(P(other), PR_IMPORTANCE).Long());
    EXPECT_EQ(1, Get(P(other), PR_RESPONSE_REQUESTED).value.Value.b);
    EXPECT_EQ(std::vector<BYTE>(blob, blob + 4), Get(P(other), PROP_TAG(PT_BINARY, 0x6601)).bytes);
    FILETIME start = Get(P(other), PR_START_DATE).value.Value.ft;
    EXPECT_EQ(0x89ABCDEFu, start.dwLowDateTime);
    EXPECT_EQ(0x01D00000u, start.dwHighDateTime);
    EXPECT_EQ(-1234567890123LL, Get(P(other), PROP_TAG(PT_I8, 0x6602)).value.Value.li);
    Prop plain = Get(P(other), PROP_TAG(PT_STRING8, 0x6603));
    ASSERT_TRUE(plain.found);
    EXPECT_EQ("plain", std::string(plain.bytes.begin(), plain.bytes.end()));
    EXPECT_FALSE(Get(P(other), PROP_TAG(PT_LONG, 0x6604)).found);
    Prop stamped = Get(P(other), PR_LAST_MODIFICATION_TIME);
    EXPECT_TRUE(stamped.found);
    EXPECT_NE(0u, stamped.value.Value.ft.dwHighDateTime);

    // A time the caller sets in a save is kept; a deletion lands at save.
    SPropValue when{};
    when.ulPropTag = PR_LAST_MODIFICATION_TIME;
    when.Value.ft = {5, 6};
    SizedSPropTagArray(1, drop) = {1, {PR_IMPORTANCE}};
    ASSERT_EQ(S_OK, Set(P(message), {when}));
    ASSERT_EQ(S_OK, P(message)->DeleteProps(reinterpret_cast<LPSPropTagArray>(&drop), nullptr));
    EXPECT_FALSE(Get(P(message), PR_IMPORTANCE).found);
    EXPECT_TRUE(Get(P(other), PR_IMPORTANCE).found);
    ASSERT_EQ(S_OK, message->SaveChanges(0));
    EXPECT_EQ(5u, Get(P(other), PR_LAST_MODIFICATION_TIME).value.Value.ft.dwLowDateTime);
    EXPECT_FALSE(Get(P(other), PR_IMPORTANCE).found);
    // Saved without KEEP_OPEN_READWRITE: reads only.
    EXPECT_EQ(MAPI_E_NO_ACCESS, P(message)->SetProps(1, &when, nullptr));
    message->Release();

    // Deleted by someone else meanwhile: the save says so.
    ASSERT_EQ(S_OK, Set(P(other), {Long(PR_IMPORTANCE, 1)}));
    SBinary bin = {Cb(id), id.data()};
    ENTRYLIST list = {1, &bin};
    ASSERT_EQ(S_OK, m_drafts->DeleteMessages(&list, 0, nullptr, 0));
    EXPECT_EQ(MAPI_E_OBJECT_DELETED, other->SaveChanges(0));
    other->Release();
}

// Recipients: replaced, appended, modified and removed by row id; row ids
// are never given twice in a message; the list lands at SaveChanges.
TEST_F(MapiMessageTest, RecipientsByRowId) {
    IMessage *message = NewMessage();
    auto entry = [](std::vector<SPropValue> *props) {
        ADRENTRY e{};
        e.cValues = static_cast<ULONG>(props->size());
        e.rgPropVals = props->data();
        return e;
    };
    std::vector<SPropValue> to = {Long(PR_RECIPIENT_TYPE, MAPI_TO), Text(PR_EMAIL_ADDRESS_W, u"to@example.com"),
                                  Text(PR_DISPLAY_NAME_W, u"To")};
    std::vector<SPropValue> cc = {Long(PR_RECIPIENT_TYPE, MAPI_CC), Text(PR_EMAIL_ADDRESS_W, u"cc@example.com")};
    std::vector<SPropValue> bcc = {Long(PR_RECIPIENT_TYPE, MAPI_BCC), Text(PR_EMAIL_ADDRESS_W, u"bcc@example.com")};
    struct {
        ULONG cEntries;
        ADRENTRY aEntries[2];
    } two = {2, {entry(&to), entry(&cc)}}, one = {1, {entry(&bcc), {}}};
    ASSERT_EQ(S_OK, message->ModifyRecipients(0, reinterpret_cast<LPADRLIST>(&two)));
    ASSERT_EQ(S_OK, message->ModifyRecipients(MODRECIP_ADD, reinterpret_cast<LPADRLIST>(&one)));
    std::vector<std::u16string> addresses;
    std::vector<ULONG> rows = RowIds(message, &addresses, &m_rows);
    ASSERT_EQ(3u, rows.size());
    EXPECT_TRUE(rows[0] != rows[1] && rows[1] != rows[2] && rows[0] != rows[2]);

    std::vector<SPropValue> changed = {Long(PR_ROWID, static_cast<LONG>(rows[1])), Long(PR_RECIPIENT_TYPE, MAPI_TO),
                                       Text(PR_EMAIL_ADDRESS_W, u"new@example.com")};
    std::vector<SPropValue> removed = {Long(PR_ROWID, static_cast<LONG>(rows[0]))};
    struct {
        ULONG cEntries;
        ADRENTRY aEntries[1];
    } modify = {1, {entry(&changed)}}, remove = {1, {entry(&removed)}};
    ASSERT_EQ(S_OK, message->ModifyRecipients(MODRECIP_MODIFY, reinterpret_cast<LPADRLIST>(&modify)));
    ASSERT_EQ(S_OK, message->ModifyRecipients(MODRECIP_REMOVE, reinterpret_cast<LPADRLIST>(&remove)));
    EXPECT_EQ(MAPI_E_NOT_FOUND, message->ModifyRecipients(MODRECIP_REMOVE, reinterpret_cast<LPADRLIST>(&remove)));
    ASSERT_EQ(S_OK, message->SaveChanges(0));
    EntryId id = Id(P(message));
    message->Release();

    message = OpenMessage(id);
    std::vector<ULONG> saved = RowIds(message, &addresses, &m_rows);
    EXPECT_EQ((std::vector<ULONG>{rows[1], rows[2]}), saved);
    EXPECT_EQ((std::vector<std::u16string>{u"new@example.com", u"bcc@example.com"}), addresses);
    // Replacing the list gives new row ids, never old ones.
    ASSERT_EQ(S_OK, message->ModifyRecipients(0, reinterpret_cast<LPADRLIST>(&two)));
    std::vector<ULONG> fresh = RowIds(message, &addresses, &m_rows);
    ASSERT_EQ(2u, fresh.size());
    for (ULONG row : fresh) EXPECT_GT(row, rows[2]);
    message->Release();
}

// Attachments are numbered 0, 1, 2... and a number is never reused; the
// table lists their properties; their data streams.
TEST_F(MapiMessageTest, AttachmentsNumberedAndStreamed) {
    IMessage *message = NewMessage();
    const char16_t *files[] = {u"a.txt", u"b.bin"};
    for (ULONG i = 0; i < 2; ++i) {
        ULONG num = 99;
        LPATTACH attach = nullptr;
        ASSERT_EQ(S_OK, message->CreateAttach(nullptr, 0, &num, &attach));
        EXPECT_EQ(i, num);
        ASSERT_EQ(S_OK, Set(attach, {Text(PR_ATTACH_FILENAME_W, files[i]), Long(PR_ATTACH_METHOD, ATTACH_BY_VALUE)}));
        IStream *data = Stream(attach, PR_ATTACH_DATA_BIN, STGM_READWRITE | STGM_CREATE, MAPI_CREATE | MAPI_MODIFY);
        std::string bytes(1000 + i, char('x' + i));
        ULONG written = 0;
        ASSERT_EQ(S_OK, data->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written));
        ASSERT_EQ(S_OK, data->Commit(STGC_DEFAULT));
        data->Release();
        ASSERT_EQ(S_OK, attach->SaveChanges(0));
        attach->Release();
    }
    ASSERT_EQ(S_OK, message->SaveChanges(KEEP_OPEN_READWRITE));
    EXPECT_EQ(1, Get(P(message), PR_HASATTACH).value.Value.b);

    IMAPITable *table = nullptr;
    ASSERT_EQ(S_OK, message->GetAttachmentTable(0, &table));
    LPSPropTagArray columns = nullptr;
    ASSERT_EQ(S_OK, table->QueryColumns(0, &columns));
    std::vector<ULONG> listed(columns->aulPropTag, columns->aulPropTag + columns->cValues);
    MAPIFreeBuffer(columns);
    EXPECT_EQ(PR_ATTACH_NUM, listed.at(0));
    EXPECT_NE(listed.end(), std::find(listed.begin(), listed.end(), PR_ATTACH_FILENAME_W));
    auto rows = TableRows(table, {PR_ATTACH_NUM, PR_ATTACH_FILENAME_W, PR_ATTACH_SIZE});
    table->Release();
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ(1, rows[1][0].Value.l);
    EXPECT_EQ(u"b.bin", std::u16string(rows[1][1].Value.lpszW));
    EXPECT_EQ(1001, rows[1][2].Value.l);

    ASSERT_EQ(S_OK, message->DeleteAttach(0, 0, nullptr, 0));
    LPATTACH attach = nullptr;
    EXPECT_EQ(MAPI_E_NOT_FOUND, message->OpenAttach(0, nullptr, 0, &attach));
    ULONG num = 0;
    ASSERT_EQ(S_OK, message->CreateAttach(nullptr, 0, &num, &attach));
    EXPECT_EQ(2u, num);
    attach->Release();
    ASSERT_EQ(S_OK, message->OpenAttach(1, nullptr, 0, &attach));
    IStream *data = Stream(attach, PR_ATTACH_DATA_BIN, STGM_READ, 0);
    char buffer[2000];
    ULONG read = 0;
    ASSERT_EQ(S_OK, data->Read(buffer, sizeof buffer, &read));
    EXPECT_EQ(std::string(1001, 'y'), std::string(buffer, read));
    data->Release();
    attach->Release();
    message->Release();
}

// A 5 MB body written and read in pieces: nothing shows before Commit, a
// read never gives more than asked, and the bytes come back in place.
TEST_F(MapiMessageTest, LargeBodyStreamsInChunks) {
    IMessage *message = NewMessage();
    Stream(P(message), PR_BODY_W, STGM_READ, 0, MAPI_E_NOT_FOUND);
    IStream *body = Stream(P(message), PR_BODY_W, STGM_READWRITE | STGM_CREATE, MAPI_CREATE | MAPI_MODIFY);
    ASSERT_NE(nullptr, body);
    const size_t kSize = 5 * 1024 * 1024;
    std::vector<BYTE> piece(40000);
    for (size_t at = 0; at < kSize; at += piece.size()) {
        size_t n = std::min(piece.size(), kSize - at);
        for (size_t i = 0; i < n; ++i) piece[i] = PatternByte(at + i);
        ULONG written = 0;
        ASSERT_EQ(S_OK, body->Write(piece.data(), static_cast<ULONG>(n), &written));
        ASSERT_EQ(n, written);
    }
    Stream(P(message), PR_BODY_W, STGM_READ, 0, MAPI_E_NOT_FOUND);
    ASSERT_EQ(S_OK, body->Commit(STGC_DEFAULT));
    body->Release();

    body = Stream(P(message), PR_BODY_W, STGM_READ, 0);
    STATSTG stat{};
    ASSERT_EQ(S_OK, body->Stat(&stat, STATFLAG_NONAME));
    EXPECT_EQ(kSize, stat.cbSize.QuadPart);
    std::vector<BYTE> buffer(8192, 0xEE);
    size_t at = 0, bad = 0;
    for (;;) {
        ULONG read = 0;
        ASSERT_EQ(S_OK, body->Read(buffer.data(), 4096, &read));
        ASSERT_LE(read, 4096u);
        ASSERT_EQ(0xEE, buffer[4096]);  // nothing past what was asked
        if (read == 0) break;
        for (ULONG i = 0; i < read; ++i) bad += buffer[i] != PatternByte(at + i) ? 1 : 0;
        at += read;
    }
    EXPECT_EQ(kSize, at);
    EXPECT_EQ(0u, bad);
    EXPECT_EQ(STG_E_ACCESSDENIED, body->Write(buffer.data(), 1, nullptr));
    body->Release();

    // Rewritten in the middle across a chunk edge, then cut short.
    body = Stream(P(message), PR_BODY_W, STGM_READWRITE, MAPI_MODIFY);
    LARGE_INTEGER to{};
    to.QuadPart = 65536 - 3;
    ASSERT_EQ(S_OK, body->Seek(to, STREAM_SEEK_SET, nullptr));
    ASSERT_EQ(S_OK, body->Write("ABCDEF", 6, nullptr));
    ULARGE_INTEGER size{};
    size.QuadPart = 65536 + 100;
    ASSERT_EQ(S_OK, body->SetSize(size));
    ASSERT_EQ(S_OK, body->Commit(STGC_DEFAULT));
    body->Release();
    body = Stream(P(message), PR_BODY_W, STGM_READ, 0);
    std::vector<BYTE> all(70000);
    ULONG read = 0;
    ASSERT_EQ(S_OK, body->Read(all.data(), static_cast<ULONG>(all.size()), &read));
    ASSERT_EQ(65636u, read);
    EXPECT_EQ("ABCDEF", std::string(reinterpret_cast<char *>(&all[65533]), 6));
    EXPECT_EQ(PatternByte(65535 + 10), all[65535 + 10]);
    EXPECT_EQ(PatternByte(100), all[100]);
    body->Release();

    // Released without Commit: nothing changes.
    body = Stream(P(message), PR_BODY_W, STGM_READWRITE | STGM_CREATE, MAPI_CREATE | MAPI_MODIFY);
    ASSERT_EQ(S_OK, body->Write("xy", 2, nullptr));
    body->Release();
    body = Stream(P(message), PR_BODY_W, STGM_READ, 0);
    ASSERT_EQ(S_OK, body->Stat(&stat, STATFLAG_NONAME));
    EXPECT_EQ(65636u, stat.cbSize.QuadPart);
    body->Release();

    // A stream still open lands with the message's save; asked for
    // directly, the body is its text.
    body = Stream(P(message), PR_BODY_W, STGM_READWRITE | STGM_CREATE, MAPI_CREATE | MAPI_MODIFY);
    const std::u16string text = u"Body text \u20ac";
    ASSERT_EQ(S_OK, body->Write(text.data(), static_cast<ULONG>(text.size() * 2), nullptr));
    ASSERT_EQ(S_OK, message->SaveChanges(KEEP_OPEN_READWRITE));
    body->Release();
    IMessage *other = OpenMessage(Id(P(message)));
    EXPECT_EQ(text, Get(P(other), PR_BODY_W).Text());
    other->Release();
    message->Release();
}

// Moves keep entry ids; copies make new ones with everything copied; a
// deletion with ids not in the folder deletes the rest and says so.
TEST_F(MapiMessageTest, CopyMoveAndDeleteMessages) {
    IMAPIFolder *inbox = Special(PR_CE_IPM_INBOX_ENTRYID);
    std::vector<EntryId> ids;
    for (int i = 0; i < 3; ++i) {
        IMessage *message = NewMessage();
        std::u16string subject = u"m" + std::u16string(1, char16_t(u'0' + i));
        ASSERT_EQ(S_OK, Set(P(message), {Text(PR_SUBJECT_W, subject.c_str())}));
        std::vector<SPropValue> to = {Long(PR_RECIPIENT_TYPE, MAPI_TO), Text(PR_EMAIL_ADDRESS_W, u"a@b.c")};
        ADRLIST list = {1, {{0, 2, to.data()}}};
        ASSERT_EQ(S_OK, message->ModifyRecipients(0, &list));
        LPATTACH attach = nullptr;
        ULONG num = 0;
        ASSERT_EQ(S_OK, message->CreateAttach(nullptr, 0, &num, &attach));
        ASSERT_EQ(S_OK, Set(attach, {Text(PR_ATTACH_FILENAME_W, u"f.txt")}));
        ASSERT_EQ(S_OK, attach->SaveChanges(0));
        attach->Release();
        ASSERT_EQ(S_OK, message->SaveChanges(0));
        ids.push_back(Id(P(message)));
        message->Release();
    }
    std::vector<SBinary> bins;
    for (auto &id : ids) bins.push_back({Cb(id), id.data()});

    ENTRYLIST first = {1, &bins[0]};
    ASSERT_EQ(S_OK, m_drafts->CopyMessages(&first, nullptr, inbox, 0, nullptr, MESSAGE_MOVE));
    EXPECT_EQ(std::vector<EntryId>{ids[0]}, Contents(inbox));
    IMessage *moved = OpenMessage(ids[0]);
    EXPECT_EQ(Id(P(inbox)), Get(P(moved), PR_PARENT_ENTRYID).bytes);
    moved->Release();

    ENTRYLIST second = {1, &bins[1]};
    ASSERT_EQ(S_OK, m_drafts->CopyMessages(&second, nullptr, inbox, 0, nullptr, 0));
    std::vector<EntryId> inInbox = Contents(inbox);
    ASSERT_EQ(2u, inInbox.size());
    EXPECT_NE(ids[1], inInbox[1]);
    IMessage *copy = OpenMessage(inInbox[1]);
    EXPECT_EQ(u"m1", Get(P(copy), PR_SUBJECT_W).Text());
    std::vector<std::u16string> addresses;
    std::vector<ULONG> rows;
    {
        IMAPITable *table = nullptr;
        ASSERT_EQ(S_OK, copy->GetRecipientTable(0, &table));
        EXPECT_EQ(1u, TableRows(table, {PR_EMAIL_ADDRESS_W}).size());
        table->Release();
    }
    LPATTACH attach = nullptr;
    ASSERT_EQ(S_OK, copy->OpenAttach(0, nullptr, 0, &attach));
    EXPECT_EQ(u"f.txt", Get(attach, PR_ATTACH_FILENAME_W).Text());
    attach->Release();
    copy->Release();
    EXPECT_EQ(2u, Contents(m_drafts).size());  // the original stays

    // Of ids[0] (now in the Inbox), ids[1], ids[2]: two are here.
    ENTRYLIST all = {3, bins.data()};
    EXPECT_EQ(MAPI_W_ERRORS_RETURNED, m_drafts->DeleteMessages(&all, 0, nullptr, 0));
    EXPECT_TRUE(Contents(m_drafts).empty());
    EXPECT_EQ(MAPI_E_NOT_FOUND, m_drafts->DeleteMessages(&all, 0, nullptr, 0));
    EXPECT_EQ(2u, Contents(inbox).size());
    ASSERT_EQ(S_OK, inbox->EmptyFolder(0, nullptr, 0));
    EXPECT_TRUE(Contents(inbox).empty());
    inbox->Release();
}

}  // namespace
