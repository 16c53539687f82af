// The e-mail message item and the message-property helpers, over a fresh
// device with the account's store: a message written new and read back,
// the helpers' edge cases, the send-type and importance rules, change
// state through ClearModified, attachment downloads and their temporary
// files, and the shadow record of a new message that never reached the store.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "DWinMobOutlookMessage.h"
#include "DWinMobOutlookMessageCollection.h"
#include "DWinMobShadowDB.h"
#include "MAPIPropertyHelpers.h"
#include "MailStoreFixture.h"
#include "SendTypeMapping.h"
#include "ServerIDText.h"
#include "mapi.h"
#include "storefakes.h"
#include "support/TestDevice.h"
#include "vplatform_mail.h"
#include "vplatform_mailuser.h"
#include "winfile.h"

namespace {

#ifdef VANTREL_EDITION_SMARTPHONE
const char16_t kStoreName[] = u"Vantrel E-Mail";
#else
const char16_t kStoreName[] = u"Vantrel";
#endif

const SPropValue *Column(const SRow &row, ULONG tag) {
    for (ULONG i = 0; i < row.cValues; ++i)
        if (row.lpProps[i].ulPropTag == tag) return &row.lpProps[i];
    return nullptr;
}

VString Wide(const char16_t *text) {
    VString s;
    s.AssignWide(text, kQvUnknown, kVStringUTF16LE);
    return s;
}

std::u16string Text(const VString &s) {
    VString copy;
    copy.Assign(s);
    copy.ConvertTo(kVStringUTF16LE);
    return std::u16string(copy.GetWideText(), copy.GetLength() / 2);
}

// A StringListNode chain's texts.
std::vector<std::u16string> Texts(const StringListNode &list) {
    std::vector<std::u16string> out;
    for (const StringListNode *n = &list; n != nullptr && n->value != nullptr; n = n->next) out.push_back(Text(*n->value));
    return out;
}

// A chain over texts; freed by its destructor.
struct List {
    StringListNode head{nullptr, nullptr};
    explicit List(const std::vector<const char16_t *> &texts) {
        StringListNode *last = nullptr;
        for (const char16_t *t : texts) {
            VString *v = new VString;
            v->AssignWide(t, kQvUnknown, kVStringUTF16LE);
            if (last == nullptr) {
                head.value = v;
                last = &head;
            } else {
                last->next = new StringListNode{v, nullptr};
                last = last->next;
            }
        }
    }
    ~List() { FreeStringList(&head); }
};

bool Exists(const std::u16string &path) { return GetFileAttributesW(path.c_str()) != 0xFFFFFFFF; }

DAttachmentData *Attachment(const char16_t *name, const char16_t *display, uint32_t size, bool marked) {
    DAttachmentData *a = new DAttachmentData;
    a->Name().AssignWide(name, kQvUnknown, kVStringUTF16LE);
    a->DisplayName().AssignWide(display, kQvUnknown, kVStringUTF16LE);
    a->SetSize(size);
    a->SetMarked(marked);
    return a;
}

// The text log, with wide texts written as Windows-1252.
class MessageLog : public MemoryLog {
public:
    DErrorCode WriteVString(const VString &text, unsigned level, uint32_t categories) override {
        VString copy;
        copy.Assign(text);
        copy.ConvertTo(kVStringWindows1252);
        return WriteString(copy.GetNarrowText(), level, categories);
    }
};

class MailMessageTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
#ifdef VANTREL_EDITION_SMARTPHONE
        ASSERT_TRUE(CreateDirectoryW(u"\\Storage", nullptr));
#endif
        ASSERT_EQ(vplat::MailAccountProvision(kStoreName), S_OK);
        ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
        ASSERT_EQ(MAPILogonEx(0, nullptr, nullptr, 0, &m_session), S_OK);
        OpenStore();
        ASSERT_NE(m_store, nullptr);
        m_inbox = StoreBinary(PR_CE_IPM_INBOX_ENTRYID);
        ASSERT_FALSE(m_inbox.empty());
        ASSERT_EQ(m_shadow.Open(kShadowEmail), kNoError);
        m_collection.reset(new DWinMobOutlookMessageCollection(nullptr, m_store, &m_log));
        ASSERT_EQ(m_collection->Init(m_inbox.data(), uint32_t(m_inbox.size()), "5", &m_shadow), kNoError);
    }

    void TearDown() override {
        m_collection.reset();
        m_shadow.Close();
        if (m_store != nullptr) m_store->Release();
        if (m_session != nullptr) {
            m_session->Logoff(0, 0, 0);
            m_session->Release();
        }
        MAPIUninitialize();
        DeviceTest::TearDown();
    }

    void OpenStore() {
        IMAPITable *table = nullptr;
        ASSERT_EQ(m_session->GetMsgStoresTable(0, &table), S_OK);
        SizedSPropTagArray(2, columns) = {2, {PR_DISPLAY_NAME_W, PR_ENTRYID}};
        table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0);
        for (;;) {
            LPSRowSet rows = nullptr;
            ASSERT_EQ(table->QueryRows(1, 0, &rows), S_OK);
            if (rows == nullptr || rows->cRows == 0) {
                FreeProws(rows);
                break;
            }
            const SPropValue *name = Column(rows->aRow[0], PR_DISPLAY_NAME_W);
            const SPropValue *id = Column(rows->aRow[0], PR_ENTRYID);
            if (name != nullptr && id != nullptr && std::u16string(name->Value.lpszW) == kStoreName)
                m_session->OpenMsgStore(0, id->Value.bin.cb, reinterpret_cast<LPENTRYID>(id->Value.bin.lpb), nullptr,
                                        MAPI_BEST_ACCESS, &m_store);
            FreeProws(rows);
        }
        table->Release();
    }

    std::vector<BYTE> StoreBinary(ULONG tag) {
        SizedSPropTagArray(1, tags) = {1, {tag}};
        ULONG count = 0;
        LPSPropValue values = nullptr;
        std::vector<BYTE> out;
        if (m_store->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &values) == S_OK &&
            values[0].ulPropTag == tag)
            out.assign(values[0].Value.bin.lpb, values[0].Value.bin.lpb + values[0].Value.bin.cb);
        MAPIFreeBuffer(values);
        return out;
    }

    // The stored message, opened on its own (the caller releases it).
    IMessage *OpenRaw(const std::vector<BYTE> &entryID) {
        ULONG type = 0;
        LPUNKNOWN unknown = nullptr;
        std::vector<BYTE> id = entryID;
        EXPECT_EQ(m_store->OpenEntry(ULONG(id.size()), reinterpret_cast<LPENTRYID>(id.data()), nullptr, MAPI_MODIFY,
                                     &type, &unknown),
                  S_OK);
        return static_cast<IMessage *>(unknown);
    }

    // A new message written into the Inbox through CommitNewItem.
    std::unique_ptr<DWinMobOutlookMessage> NewMessage(const char *serverID) {
        std::unique_ptr<DWinMobOutlookMessage> m(new DWinMobOutlookMessage(m_collection.get(), &m_log));
        EXPECT_EQ(m->Init(nullptr, nullptr), kNoError);
        EXPECT_EQ(m->SetID(serverID), kNoError);
        return m;
    }

    // The stored message with that server id, through its shadow record.
    std::unique_ptr<DWinMobOutlookMessage> Fresh(const char *serverID) {
        std::u16string wide;
        EXPECT_EQ(ServerIDToWide(serverID, &wide), kNoError);
        DWinMobShadowRecord record;
        EXPECT_EQ(m_shadow.FindByServerID(wide.c_str(), &record), kNoError);
        std::unique_ptr<DWinMobOutlookMessage> m(new DWinMobOutlookMessage(m_collection.get(), &m_log));
        EXPECT_EQ(m->Init(&record, nullptr), kNoError);
        return m;
    }

    uint32_t RecordCount() {
        uint32_t count = 0;
        EXPECT_EQ(m_shadow.GetRecordCount(&count), kNoError);
        return count;
    }

    MessageLog m_log;
    IMAPISession *m_session = nullptr;
    IMsgStore *m_store = nullptr;
    std::vector<BYTE> m_inbox;
    DWinMobShadowDB m_shadow;
    std::unique_ptr<DWinMobOutlookMessageCollection> m_collection;
};

TEST_F(MailMessageTest, NewMessageReadsBackThroughAFreshObject) {
    // A body of several stream chunks, with characters beyond Latin-1.
    std::u16string body;
    for (int i = 0; body.size() < 300000; ++i) body += u"line \u20AC\u00E9 " + std::u16string(1, char16_t(u'a' + i % 26)) + u"\r\n";
    auto m = NewMessage("5:17");
    ASSERT_EQ(m->SetSubject(Wide(u"Quarterly \u00FCbersicht")), kNoError);
    ASSERT_EQ(m->SetBody(Wide(body.c_str())), kNoError);
    ASSERT_EQ(m->SetFrom(Wide(u"boss@example.com")), kNoError);
    List to({u"a@example.com", u"b@example.com"}), cc({u"c@example.com"}), bcc({u"d@example.com"});
    ASSERT_EQ(m->SetTo(&to.head), kNoError);
    ASSERT_EQ(m->SetCc(&cc.head), kNoError);
    ASSERT_EQ(m->SetBcc(&bcc.head), kNoError);
    ASSERT_EQ(m->SetImportance(2), kNoError);
    struct tm date = {};
    date.tm_year = 2006;  // a full year is kept counted from 1900
    date.tm_mon = 2;
    date.tm_mday = 14;
    date.tm_hour = 9;
    date.tm_min = 30;
    date.tm_sec = 5;
    ASSERT_EQ(m->SetDate(&date), kNoError);
    ASSERT_EQ(m->SetRead(true), kNoError);
    ASSERT_EQ(m->SetHasAttachments(true), kNoError);
    DListNode<DAttachmentData> attachments;
    attachments.Append(Attachment(u"att/1", u"report.pdf", 1234, false));
    attachments.Append(Attachment(u"att/2", u"photo.jpg", 99999, false));
    ASSERT_EQ(m->AddAttachments(&attachments, nullptr), kNoError);
    EXPECT_EQ(attachments.Count(), 0u);
    DActiveTaskSignal done(nullptr);
    ASSERT_EQ(m->CommitNewItem(&done), kNoError);
    EXPECT_TRUE(done.IsReady());
    EXPECT_EQ(done.GetCode(), kNoError);
    const std::vector<BYTE> entryID = m->GetEntryID();
    ASSERT_FALSE(entryID.empty());
    EXPECT_EQ(m->GetShadowRecord()->LocalID(), entryID);
    std::vector<BYTE> folder;
    ASSERT_EQ(m->GetShadowRecord()->GetFolderID(&folder), kNoError);
    EXPECT_EQ(folder, m_inbox);
    // A second commit adds nothing twice.
    ASSERT_EQ(m->Commit(), kNoError);
    m.reset();

    auto r = Fresh("5:17");
    EXPECT_EQ(r->GetEntryID(), entryID);
    char id[16];
    ASSERT_EQ(r->GetID(id, sizeof id), kNoError);
    EXPECT_STREQ(id, "5:17");
    VString text;
    ASSERT_EQ(r->GetSubject(&text), kNoError);
    EXPECT_EQ(Text(text), u"Quarterly \u00FCbersicht");
    ASSERT_EQ(r->GetBody(&text), kNoError);
    EXPECT_TRUE(Text(text) == body);
    uint32_t size = 0;
    ASSERT_EQ(r->GetBodySize(&size), kNoError);
    EXPECT_EQ(size, body.size());
    ASSERT_EQ(r->GetFrom(&text), kNoError);
    EXPECT_EQ(Text(text), u"boss@example.com");
    StringListNode gotTo{nullptr, nullptr}, gotCc{nullptr, nullptr}, gotBcc{nullptr, nullptr};
    ASSERT_EQ(r->GetTo(&gotTo), kNoError);
    ASSERT_EQ(r->GetCc(&gotCc), kNoError);
    ASSERT_EQ(r->GetBcc(&gotBcc), kNoError);
    EXPECT_EQ(Texts(gotTo), (std::vector<std::u16string>{u"a@example.com", u"b@example.com"}));
    EXPECT_EQ(Texts(gotCc), std::vector<std::u16string>{u"c@example.com"});
    EXPECT_EQ(Texts(gotBcc), std::vector<std::u16string>{u"d@example.com"});
    FreeStringList(&gotTo);
    FreeStringList(&gotCc);
    FreeStringList(&gotBcc);
    uint32_t importance = 0;
    ASSERT_EQ(r->GetImportance(&importance), kNoError);
    EXPECT_EQ(importance, 2u);
    struct tm got = {};
    ASSERT_EQ(r->GetDate(&got), kNoError);
    EXPECT_EQ(got.tm_year, 106);
    EXPECT_EQ(got.tm_mon, 2);
    EXPECT_EQ(got.tm_mday, 14);
    EXPECT_EQ(got.tm_hour, 9);
    EXPECT_EQ(got.tm_min, 30);
    EXPECT_EQ(got.tm_sec, 5);
    bool flag = false;
    ASSERT_EQ(r->IsRead(&flag), kNoError);
    EXPECT_TRUE(flag);
    ASSERT_EQ(r->HasAttachments(&flag), kNoError);
    EXPECT_TRUE(flag);
    DListNode<DAttachmentData> stored;
    ASSERT_EQ(r->GetAttachmentsList(&stored), kNoError);
    ASSERT_EQ(stored.Count(), 2u);
    EXPECT_EQ(Text(stored.item->Name()), u"att/1");
    EXPECT_EQ(Text(stored.item->DisplayName()), u"report.pdf");
    EXPECT_EQ(stored.item->GetSize(), 1234u);
    EXPECT_FALSE(stored.item->IsMarked());
    EXPECT_EQ(Text(stored.next->item->Name()), u"att/2");
    EXPECT_EQ(stored.next->item->GetSize(), 99999u);
    stored.Free();

    // Setting one list rewrites the recipients: the others stay as stored.
    List newTo({u"z@example.com"});
    ASSERT_EQ(r->SetTo(&newTo.head), kNoError);
    ASSERT_EQ(r->Commit(), kNoError);
    r.reset();
    auto again = Fresh("5:17");
    ASSERT_EQ(again->GetTo(&gotTo), kNoError);
    ASSERT_EQ(again->GetCc(&gotCc), kNoError);
    ASSERT_EQ(again->GetBcc(&gotBcc), kNoError);
    EXPECT_EQ(Texts(gotTo), std::vector<std::u16string>{u"z@example.com"});
    EXPECT_EQ(Texts(gotCc), std::vector<std::u16string>{u"c@example.com"});
    EXPECT_EQ(Texts(gotBcc), std::vector<std::u16string>{u"d@example.com"});
    FreeStringList(&gotTo);
    FreeStringList(&gotCc);
    FreeStringList(&gotBcc);
}

TEST_F(MailMessageTest, RecipientHelperEdgeCases) {
    auto m = NewMessage("5:1");
    ASSERT_EQ(m->CommitNewItem(nullptr), kNoError);
    IMessage *raw = OpenRaw(m->GetEntryID());
    ASSERT_NE(raw, nullptr);

    // No recipients: three empty lists.
    std::vector<std::u16string> to, cc, bcc;
    EXPECT_EQ(GetMAPIMessageRecipients(raw, &to, &cc, &bcc, &m_log), kNoError);
    EXPECT_TRUE(to.empty() && cc.empty() && bcc.empty());

    // A row of type 4 fails the read after the rows before it were taken.
    const ULONG types[] = {MAPI_TO, MAPI_CC, 4, MAPI_BCC};
    const char16_t *addresses[] = {u"to@x", u"cc@x", u"odd@x", u"bcc@x"};
    LPADRLIST list = nullptr;
    ASSERT_EQ(MAPIAllocateBuffer(ULONG(CbNewADRLIST(4)), reinterpret_cast<LPVOID *>(&list)), S_OK);
    list->cEntries = 4;
    for (int i = 0; i < 4; ++i) {
        LPSPropValue props = nullptr;
        ASSERT_EQ(MAPIAllocateBuffer(2 * sizeof(SPropValue), reinterpret_cast<LPVOID *>(&props)), S_OK);
        props[0].ulPropTag = PR_RECIPIENT_TYPE;
        props[0].Value.ul = types[i];
        props[1].ulPropTag = PR_EMAIL_ADDRESS_W;
        props[1].Value.lpszW = const_cast<WCHAR *>(addresses[i]);
        list->aEntries[i].cValues = 2;
        list->aEntries[i].rgPropVals = props;
    }
    ASSERT_EQ(raw->ModifyRecipients(0, list), S_OK);
    for (int i = 0; i < 4; ++i) list->aEntries[i].rgPropVals[1].Value.lpszW = nullptr;  // not the buffer's
    FreePadrlist(list);
    ASSERT_EQ(raw->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    EXPECT_EQ(GetMAPIMessageRecipients(raw, &to, &cc, &bcc, &m_log), generalErrInvalidParameter);
    EXPECT_EQ(to, std::vector<std::u16string>{u"to@x"});
    EXPECT_EQ(cc, std::vector<std::u16string>{u"cc@x"});
    EXPECT_TRUE(bcc.empty());
    EXPECT_TRUE(m_log.Has("GetMAPIMessageRecipients() - Unsupported addrType 0x4"));
    EXPECT_TRUE(m_log.Has("GetMAPIMessageRecipients() - Failed 0x7370004"));

    // Single properties: a missing one is "not found", a number round-trips.
    std::u16string text;
    EXPECT_EQ(GetMAPIMessageStringProprty(raw, PR_SENDER_EMAIL_ADDRESS_W, &text, &m_log), generalErrItemNotFound);
    EXPECT_TRUE(m_log.Has("GetMAPIMessageStringProprty() - Property not found "));
    ULONG value = 0;
    ASSERT_EQ(SetMAPIMessageULONGProprty(raw, PR_IMPORTANCE, 2, &m_log), kNoError);
    ASSERT_EQ(GetMAPIMessageULONGProprty(raw, PR_IMPORTANCE, &value, &m_log), kNoError);
    EXPECT_EQ(value, 2u);
    raw->Release();
}

TEST_F(MailMessageTest, NamesResolveToTheSameTagsEveryTime) {
    const struct {
        const WCHAR *name;
        ULONG type;
    } names[] = {{kPropNameServerID, PT_UNICODE},     {kPropNameParentServerID, PT_UNICODE},
                 {kPropNameSendType, PT_LONG},        {kPropNameGlobalObjID, PT_BINARY},
                 {kPropNameWhere, PT_UNICODE},        {kPropNameFolderID, PT_LONG}};
    std::vector<ULONG> first;
    for (const auto &n : names) {
        ULONG tag = 0;
        ASSERT_EQ(GetMAPIPropertyIDFromName(m_store, n.name, n.type, &tag), kNoError);
        EXPECT_EQ(PROP_TYPE(tag), n.type);
        EXPECT_GE(PROP_ID(tag), 0x8000u);
        first.push_back(tag);
    }
    for (size_t i = 0; i < first.size(); ++i) {
        ULONG tag = 0;
        ASSERT_EQ(GetMAPIPropertyIDFromName(m_store, names[i].name, names[i].type, &tag), kNoError);
        EXPECT_EQ(tag, first[i]);
        for (size_t j = 0; j < i; ++j) EXPECT_NE(PROP_ID(first[j]), PROP_ID(first[i]));
    }
    // The message resolves its own names to the same tags.
    auto m = NewMessage("5:2");
    ULONG tag = 0;
    ASSERT_EQ(m->GetCustomMAPIPropertyID(kPropNameSendType, &tag), kNoError);
    EXPECT_EQ(tag, first[2]);
    EXPECT_EQ(m->GetCustomMAPIPropertyID(kPropNameFolderID, &tag), generalErrInvalidParameter);
    EXPECT_TRUE(m_log.Has("DWinMobOutlookMessage::GetCustomMAPIPropertyID() - Failed "));
}

TEST_F(MailMessageTest, ImportanceOutsideTheScaleIsNormal) {
    const struct {
        uint32_t set, stored;
    } cases[] = {{0, 0}, {1, 1}, {2, 2}, {7, 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.set);
        const std::string id = "5:i" + std::to_string(c.set);
        auto m = NewMessage(id.c_str());
        ASSERT_EQ(m->SetImportance(c.set), kNoError);
        ASSERT_EQ(m->CommitNewItem(nullptr), kNoError);
        IMessage *raw = OpenRaw(m->GetEntryID());
        ULONG value = 99;
        ASSERT_EQ(GetMAPIMessageULONGProprty(raw, PR_IMPORTANCE, &value), kNoError);
        EXPECT_EQ(value, c.stored);
        raw->Release();
    }
    EXPECT_TRUE(m_log.Has("DWinMobOutlookMessage::SetImportance() - Unrecognized importance 0x7"));

    // A stored value outside the scale reads as normal.
    auto m = NewMessage("5:i9");
    ASSERT_EQ(m->CommitNewItem(nullptr), kNoError);
    IMessage *raw = OpenRaw(m->GetEntryID());
    ASSERT_EQ(SetMAPIMessageULONGProprty(raw, PR_IMPORTANCE, 9), kNoError);
    ASSERT_EQ(raw->SaveChanges(0), S_OK);
    raw->Release();
    m.reset();
    uint32_t importance = 0;
    ASSERT_EQ(Fresh("5:i9")->GetImportance(&importance), kNoError);
    EXPECT_EQ(importance, 1u);
    EXPECT_TRUE(m_log.Has("DWinMobOutlookMessage::GetImportance() - Unrecognized importance 0x9"));
}

TEST_F(MailMessageTest, SendTypeMapsBothWays) {
    const struct {
        uint32_t stored, item;
    } table[] = {{0, kMessageSendPlain}, {1, kMessageSendReply}, {2, kMessageSendForward}, {3, kMessageSendPlain}};
    for (const auto &t : table) EXPECT_EQ(SendTypeFromStored(t.stored), t.item) << t.stored;
    EXPECT_EQ(SendTypeToStored(kMessageSendReply), 1u);
    EXPECT_EQ(SendTypeToStored(kMessageSendForward), 2u);
    EXPECT_EQ(SendTypeToStored(7), 0u);

    auto m = NewMessage("5:3");
    ASSERT_EQ(m->CommitNewItem(nullptr), kNoError);
    uint32_t type = 99;
    ASSERT_EQ(m->GetSendType(&type), kNoError);  // none stored
    EXPECT_EQ(type, uint32_t(kMessageSendPlain));
    EXPECT_TRUE(m_log.Has("Failed to find MAPI send type - "));
    ULONG tag = 0, stored = 0;
    ASSERT_EQ(GetMAPIPropertyIDFromName(m_store, kPropNameSendType, PT_LONG, &tag), kNoError);
    ASSERT_EQ(m->SetSendType(kMessageSendReply), kNoError);
    IMessage *raw = OpenRaw(m->GetEntryID());
    ASSERT_EQ(GetMAPIMessageULONGProprty(raw, tag, &stored), kNoError);
    EXPECT_EQ(stored, 1u);
    ASSERT_EQ(SetMAPIMessageULONGProprty(raw, tag, 2), kNoError);
    ASSERT_EQ(raw->SaveChanges(0), S_OK);
    raw->Release();
    m.reset();
    ASSERT_EQ(Fresh("5:3")->GetSendType(&type), kNoError);
    EXPECT_EQ(type, uint32_t(kMessageSendForward));
}

TEST_F(MailMessageTest, FailureLinesNameTheMessage) {
    auto m = NewMessage("5:s");
    ASSERT_EQ(m->SetSubject(Wide(u"D\u00E9j\u00E0 vu")), kNoError);
    ASSERT_EQ(m->CommitNewItem(nullptr), kNoError);
    char buffer[8];
    EXPECT_EQ(m->GetParentMessageID(buffer, sizeof buffer), generalErrItemNotFound);
    EXPECT_TRUE(m_log.Has("Message \"D\xE9j\xE0 vu\"\nGetParentMessageID() Failed - 0x7370007\n"));
}

TEST_F(MailMessageTest, ServerIdMatchesOnlyExactly) {
    DWinMobMessagingItem item(&m_log);
    char buffer[8];
    bool equal = true;
    EXPECT_EQ(item.GetID(buffer, sizeof buffer), generalErrNotInitialized);
    EXPECT_EQ(item.MatchID("abc", &equal), generalErrNotInitialized);
    ASSERT_EQ(item.SetID("abc"), kNoError);
    EXPECT_TRUE(item.IsIDChanged());
    ASSERT_EQ(item.MatchID("abcd", &equal), kNoError);
    EXPECT_FALSE(equal);
    ASSERT_EQ(item.MatchID("ab", &equal), kNoError);
    EXPECT_FALSE(equal);
    ASSERT_EQ(item.MatchID("abc", &equal), kNoError);
    EXPECT_TRUE(equal);
    EXPECT_EQ(item.GetID(buffer, 3), generalErrBufferTooSmall);  // no room for the terminator
    ASSERT_EQ(item.GetID(buffer, 4), kNoError);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_TRUE(m_log.Has("DWinMobMessagingItem::GetID() - Couldn't get Exch ID 0x7370006"));

    // Ids of every byte survive the store's text and back.
    std::string all;
    for (int c = 1; c < 256; ++c) all += char(c);
    std::u16string wide;
    std::string back;
    ASSERT_EQ(ServerIDToWide(all.c_str(), &wide), kNoError);
    ASSERT_EQ(ServerIDToNarrow(wide.c_str(), &back), kNoError);
    EXPECT_EQ(back, all);
}

TEST_F(MailMessageTest, ClearModifiedKeepsAChangeOfTwoKinds) {
    const struct {
        bool readChanged, deleted;
        uint32_t state;
    } cases[] = {{true, false, 0}, {false, true, 0}, {true, true, 1}, {false, false, 1}};
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(n);
        const std::string id = "5:c" + std::to_string(n++);
        auto m = NewMessage(id.c_str());
        ASSERT_EQ(m->SetRead(true), kNoError);
        ASSERT_EQ(m->CommitNewItem(nullptr), kNoError);
        DWinMobShadowRecord *record = m->GetShadowRecord();
        ASSERT_EQ(record->MarkModified(), kNoError);
        ASSERT_EQ(record->SetReadChanged(c.readChanged), kNoError);
        ASSERT_EQ(record->SetDeleted(c.deleted), kNoError);
        ASSERT_EQ(record->SetRemainderRequested(true), kNoError);
        ASSERT_EQ(m->ClearModified(), kNoError);
        uint32_t state = 99;
        ASSERT_EQ(record->GetChangeState(&state), kNoError);
        EXPECT_EQ(state, c.state);
        bool flag = true;
        ASSERT_EQ(record->IsReadChanged(&flag), kNoError);
        EXPECT_FALSE(flag);
        ASSERT_EQ(record->IsRead(&flag), kNoError);
        EXPECT_TRUE(flag);  // the read state as synchronised
        ASSERT_EQ(record->IsRemainderRequested(&flag), kNoError);
        EXPECT_FALSE(flag);
    }
}

// A server message with two attachments, the second marked for download
// by the user, and the message's attachment request recorded.
class AttachmentTest : public MailMessageTest {
protected:
    void SetUp() override {
        MailMessageTest::SetUp();
        if (HasFatalFailure()) return;
        auto m = NewMessage("5:a");
        DListNode<DAttachmentData> list;
        list.Append(Attachment(u"srv/att/0", u"notes.txt", 10, false));
        list.Append(Attachment(u"srv/att/1", u"big.bin", 300000, true));
        ASSERT_EQ(m->AddAttachments(&list, nullptr), kNoError);
        ASSERT_EQ(m->SetHasAttachments(true), kNoError);
        ASSERT_EQ(m->CommitNewItem(nullptr), kNoError);
        m_entryID = m->GetEntryID();
        ASSERT_EQ(m->GetShadowRecord()->SetAttachmentRequested(true), kNoError);
        IMessage *raw = OpenRaw(m_entryID);
        ULONG status = 0;
        ASSERT_EQ(GetMAPIMessageULONGProprty(raw, PR_MSG_STATUS, &status), kNoError);
        ASSERT_EQ(SetMAPIMessageULONGProprty(raw, PR_MSG_STATUS, status | kMsgStatusAttachmentRequested), kNoError);
        ASSERT_EQ(raw->SaveChanges(0), S_OK);
        raw->Release();
    }

    // The attachments' stored status words, in attachment order.
    std::vector<ULONG> StoredStatus() {
        IMessage *raw = OpenRaw(m_entryID);
        std::vector<ULONG> out;
        IMAPITable *table = nullptr;
        EXPECT_EQ(raw->GetAttachmentTable(0, &table), S_OK);
        SizedSPropTagArray(1, columns) = {1, {PR_MSG_STATUS}};
        table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0);
        LPSRowSet rows = nullptr;
        EXPECT_EQ(table->QueryRows(50, 0, &rows), S_OK);
        for (ULONG r = 0; rows != nullptr && r < rows->cRows; ++r) out.push_back(rows->aRow[r].lpProps[0].Value.ul);
        FreeProws(rows);
        table->Release();
        raw->Release();
        return out;
    }

    // The data of the index-th stored attachment, read through its stream.
    std::vector<BYTE> StoredData(ULONG index) {
        IMessage *raw = OpenRaw(m_entryID);
        IAttach *attach = nullptr;
        std::vector<BYTE> data;
        EXPECT_EQ(raw->OpenAttach(index, nullptr, 0, &attach), S_OK);
        LPUNKNOWN unknown = nullptr;
        if (attach != nullptr && attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, STGM_READ, 0, &unknown) == S_OK) {
            IStream *stream = static_cast<IStream *>(unknown);
            BYTE chunk[4096];
            ULONG read = 0;
            while (stream->Read(chunk, sizeof chunk, &read) == S_OK && read > 0) data.insert(data.end(), chunk, chunk + read);
            stream->Release();
        }
        if (attach != nullptr) attach->Release();
        raw->Release();
        return data;
    }

    std::vector<BYTE> m_entryID;
};

TEST_F(AttachmentTest, DownloadWritesTheDataAndClearsTheMarks) {
    auto m = Fresh("5:a");
    DListNode<DAttachmentData> list;
    ASSERT_EQ(m->GetAttachmentsList(&list), kNoError);
    ASSERT_EQ(list.Count(), 2u);
    DAttachmentData *wanted = list.next->item;
    ASSERT_TRUE(wanted->IsMarked());
    ASSERT_EQ(m->GetTempAttachFileCount(), 2u);
    std::u16string temp;
    ASSERT_EQ(m->GetTempAttachFilePath(1, &temp), kNoError);
    EXPECT_EQ(m->GetTempAttachFilePath(2, &temp), generalErrIndexOutOfRange);
    ASSERT_EQ(m->GetTempAttachFilePath(1, &temp), kNoError);

    // The engine writes the download into the attachment's file.
    std::vector<BYTE> data(300000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = BYTE(i * 7 + i / 251);
    VFile *file = wanted->GetFile();
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(file->Open(kVFileReadWrite), kNoError);
    uint32_t written = 0;
    ASSERT_EQ(file->Write(uint32_t(data.size()), data.data(), &written), kNoError);
    ASSERT_EQ(file->Close(), kNoError);

    ASSERT_EQ(m->AttachmentDownloadComplete(wanted, kNoError), kNoError);
    EXPECT_FALSE(Exists(temp));
    EXPECT_EQ(StoredData(1), data);
    const std::vector<ULONG> status = StoredStatus();
    ASSERT_EQ(status.size(), 2u);
    EXPECT_EQ(status[1] & (0x04000000 | 0x00010000 | kAttachStatusMarked), 0u);
    // Nothing is left to fetch: the message's request is done.
    bool flag = true;
    ASSERT_EQ(m->GetShadowRecord()->IsAttachmentRequested(&flag), kNoError);
    EXPECT_FALSE(flag);
    IMessage *raw = OpenRaw(m_entryID);
    ULONG msgStatus = 0;
    ASSERT_EQ(GetMAPIMessageULONGProprty(raw, PR_MSG_STATUS, &msgStatus), kNoError);
    EXPECT_EQ(msgStatus & kMsgStatusAttachmentRequested, 0u);
    raw->Release();
    list.Free();
}

TEST_F(AttachmentTest, UnknownOrFailedDownloadsChangeNoMarks) {
    auto m = Fresh("5:a");
    DListNode<DAttachmentData> list;
    ASSERT_EQ(m->GetAttachmentsList(&list), kNoError);
    DAttachmentData *wanted = list.next->item;
    std::u16string temp;
    ASSERT_EQ(m->GetTempAttachFilePath(1, &temp), kNoError);
    const std::vector<ULONG> before = StoredStatus();

    // Names that differ in case only are other names.
    std::unique_ptr<DAttachmentData> unknown(Attachment(u"srv/att/1", u"BIG.bin", 300000, true));
    EXPECT_EQ(m->AttachmentDownloadComplete(unknown.get(), kNoError), generalErrItemNotFound);
    EXPECT_TRUE(m_log.Has("DWinMobOutlookMessage::MatchMAPIAttachmentByAttachData - Item not found!\n"));
    EXPECT_TRUE(Exists(temp));
    EXPECT_EQ(StoredStatus(), before);

    // A failed download drops the temporary file and keeps the marks.
    EXPECT_EQ(m->AttachmentDownloadComplete(wanted, 0x07370107), kNoError);
    EXPECT_FALSE(Exists(temp));
    EXPECT_EQ(StoredStatus(), before);
    EXPECT_EQ(m->AttachmentDownloadComplete(wanted, kNoError), generalErrItemNotFound);  // its record went too
    list.Free();
    m.reset();

    // The attachment is still wanted by the next look.
    auto again = Fresh("5:a");
    DListNode<DAttachmentData> relisted;
    ASSERT_EQ(again->GetAttachmentsList(&relisted), kNoError);
    EXPECT_TRUE(relisted.next->item->IsMarked());
    bool more = false;
    ASSERT_EQ(again->MessageHasAdditionalAttachmentsToDownload(&more), kNoError);
    EXPECT_TRUE(more);
    relisted.Free();
}

TEST_F(MailMessageTest, ServerAttachmentNamesNeverBecomePaths) {
    const char16_t *names[] = {u"..\\..\\x", u"../../y", u"CON", u"COM1:", u"\\Windows\\evil.exe", u""};
    auto m = NewMessage("5:n");
    DListNode<DAttachmentData> list;
    for (const char16_t *name : names) list.Append(Attachment(name, name, 5, true));
    ASSERT_EQ(m->AddAttachments(&list, nullptr), kNoError);
    ASSERT_EQ(m->CommitNewItem(nullptr), kNoError);
    m.reset();

    WCHAR tempFolder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH, tempFolder);
    ASSERT_GT(length, 0u);
    auto r = Fresh("5:n");
    DListNode<DAttachmentData> stored;
    ASSERT_EQ(r->GetAttachmentsList(&stored), kNoError);
    ASSERT_EQ(r->GetTempAttachFileCount(), 6u);
    std::vector<std::u16string> paths;
    for (uint32_t i = 0; i < 6; ++i) {
        std::u16string path;
        ASSERT_EQ(r->GetTempAttachFilePath(i, &path), kNoError);
        SCOPED_TRACE(std::string(path.begin(), path.end()));
        EXPECT_EQ(path.compare(0, length, tempFolder), 0);
        EXPECT_EQ(path.find_first_of(u"\\/", length), std::u16string::npos);
        EXPECT_EQ(path.find(u".."), std::u16string::npos);
        EXPECT_TRUE(Exists(path));
        for (const std::u16string &p : paths) EXPECT_NE(p, path);
        paths.push_back(path);
    }
    for (DListNode<DAttachmentData> *n = &stored; n != nullptr; n = n->next) {
        WCHAR path[MAX_PATH + 1];
        ASSERT_EQ(n->item->GetFile()->GetFileName(path, MAX_PATH + 1, nullptr, 0), kNoError);
        EXPECT_EQ(std::u16string(path).compare(0, length, tempFolder), 0);
    }
    EXPECT_FALSE(Exists(u"\\x"));
    EXPECT_FALSE(Exists(u"\\y"));
    EXPECT_FALSE(Exists(u"\\Windows\\evil.exe"));
    stored.Free();
    // Closing the message deletes its temporary files.
    r.reset();
    for (const std::u16string &p : paths) EXPECT_FALSE(Exists(p));
}

TEST_F(MailMessageTest, ComposedMessageGivesItsAttachmentDataAsFiles) {
    std::vector<BYTE> data(200000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = BYTE(i % 253);
    std::vector<BYTE> entryID;
    ASSERT_EQ(vplat::MailUserComposeOutbox(kStoreName, {u"x@example.com"}, {}, u"Hello", u"Body text",
                                           {{u"data.bin", data}}, &entryID),
              S_OK);
    // The scheduler's recorder made the message's record in the Outbox.
    std::vector<BYTE> outbox = StoreBinary(PR_IPM_OUTBOX_ENTRYID);
    DWinMobOutlookMessageCollection collection(nullptr, m_store, &m_log);
    ASSERT_EQ(collection.Init(outbox.data(), uint32_t(outbox.size()), "outbox", &m_shadow), kNoError);
    DWinMobShadowRecord record;
    ASSERT_EQ(m_shadow.NewRecord(&record), kNoError);
    ASSERT_EQ(record.SetLocalID(entryID.data(), uint32_t(entryID.size())), kNoError);
    ASSERT_EQ(record.SetFolderID(outbox.data(), uint32_t(outbox.size())), kNoError);
    ASSERT_EQ(record.SetNew(true), kNoError);
    ASSERT_EQ(m_shadow.WriteRecord(&record), kNoError);

    DWinMobOutlookMessage m(&collection, &m_log);
    ASSERT_EQ(m.Init(&record, nullptr), kNoError);
    EXPECT_FALSE(m.HasServerID());
    VString text;
    ASSERT_EQ(m.GetFrom(&text), kNoError);
    EXPECT_EQ(Text(text), u"");
    ASSERT_EQ(m.GetBody(&text), kNoError);
    EXPECT_EQ(Text(text), u"Body text");
    bool flag = false;
    ASSERT_EQ(m.HasAttachments(&flag), kNoError);
    EXPECT_TRUE(flag);
    ASSERT_EQ(m.IsNew(&flag), kNoError);
    EXPECT_TRUE(flag);
    DListNode<DAttachmentData> list;
    ASSERT_EQ(m.GetAttachmentsList(&list), kNoError);
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_EQ(Text(list.item->DisplayName()), u"data.bin");
    VFile *file = list.item->GetFile();
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(file->Open(kVFileRead), kNoError);
    std::vector<BYTE> copied(data.size() + 10);
    uint32_t read = 0;
    file->Read(uint32_t(copied.size()), copied.data(), &read);
    file->Close();
    copied.resize(read);
    EXPECT_EQ(copied, data);
    list.Free();
    EXPECT_EQ(m.GetTempAttachFileCount(), 1u);  // the message keeps the file until it closes
}

TEST_F(MailMessageTest, RoomMeansMoreThanTheSpareAboveTheSize) {
    auto m = NewMessage("5:r");
    std::unique_ptr<DAttachmentData> attachment(Attachment(u"a", u"a.bin", 100000, true));
    const struct {
        uint64_t free;
        bool ok;
    } cases[] = {{100000 + 25600, false}, {100000 + 25601, true}, {50000, false}};
    for (const auto &c : cases) {
        std::ofstream(Device().Root() + "/freespace") << c.free;
        bool ok = !c.ok;
        ASSERT_EQ(m->HasRoomForAttachment(attachment.get(), &ok), kNoError);
        EXPECT_EQ(ok, c.ok) << c.free;
    }
}

TEST_F(MailMessageTest, TruncatedBodyGetsOneLineEnd) {
    auto m = NewMessage("5:t");
    ASSERT_EQ(m->SetBody(Wide(u"first part")), kNoError);
    ASSERT_EQ(m->SetBodyTruncated(true), kNoError);
    ASSERT_EQ(m->CommitNewItem(nullptr), kNoError);
    ASSERT_EQ(m->Commit(), kNoError);
    VString body;
    ASSERT_EQ(m->GetBody(&body), kNoError);
    EXPECT_EQ(Text(body), u"first part");  // the held body is as it came
    ASSERT_EQ(m->SetBody(Wide(u"first part")), kNoError);
    ASSERT_EQ(m->Commit(), kNoError);
    ASSERT_EQ(m->Commit(), kNoError);
    m.reset();
    auto r = Fresh("5:t");
    ASSERT_EQ(r->GetBody(&body), kNoError);
    EXPECT_EQ(Text(body), u"first part\r\n");
    bool truncated = false;
    ASSERT_EQ(r->IsBodyTruncated(&truncated), kNoError);
    EXPECT_TRUE(truncated);
    // Read back and written again, it does not grow either.
    ASSERT_EQ(r->Commit(), kNoError);
    r.reset();
    ASSERT_EQ(Fresh("5:t")->GetBody(&body), kNoError);
    EXPECT_EQ(Text(body), u"first part\r\n");
}

TEST_F(MailMessageTest, UncommittedNewMessageLeavesNoRecord) {
    const uint32_t before = RecordCount();
    {
        auto m = NewMessage("5:o");
        EXPECT_EQ(RecordCount(), before + 1);  // made at Init
        ASSERT_EQ(m->SetSubject(Wide(u"never stored")), kNoError);
    }
    EXPECT_EQ(RecordCount(), before);
    {
        auto m = NewMessage("5:o");
        ASSERT_EQ(m->Close(), kNoError);
        EXPECT_EQ(RecordCount(), before);
    }
    // A committed one keeps its record after it is closed.
    auto m = NewMessage("5:kept");
    ASSERT_EQ(m->CommitNewItem(nullptr), kNoError);
    m.reset();
    EXPECT_EQ(RecordCount(), before + 1);
    EXPECT_NE(Fresh("5:kept")->GetShadowRecord(), nullptr);
}

// A process stopped while a server message is written must leave a record
// the next purge knows as unfinished: the record is marked as being written
// from its creation, names the message as soon as the store made it, and
// loses the mark only once it holds the saved message's server id.
TEST_F(MailMessageTest, NewMessageRecordIsMarkedUntilStoredWithItsServerID) {
    auto m = NewMessage("5:marked");
    ASSERT_NE(m->GetShadowRecord(), nullptr);
    const CEOID oid = m->GetShadowRecord()->GetObjectID();
    uint32_t flags = 0;
    ASSERT_EQ(ShadowReadUInt(m_shadow.GetHandle(), oid, kShadowPropFlags, &flags), kNoError);
    EXPECT_NE(flags & kShadowFlagIgnoreChanges, 0u);
    ASSERT_EQ(m->SetSubject(Wide(u"whole")), kNoError);
    ASSERT_EQ(m->CommitNewItem(nullptr), kNoError);
    ASSERT_EQ(ShadowReadUInt(m_shadow.GetHandle(), oid, kShadowPropFlags, &flags), kNoError);
    EXPECT_EQ(flags & kShadowFlagIgnoreChanges, 0u);
    DWinMobShadowRecord stored;
    ASSERT_EQ(m_shadow.GetRecordByOID(oid, &stored), kNoError);
    ASSERT_TRUE(stored.HasServerID());
    EXPECT_EQ(std::u16string(stored.GetServerID()), u"5:marked");
    EXPECT_EQ(stored.LocalID(), m->GetEntryID());
}

// Through the message manager: the parent of a reply found in any folder,
// and the folder ids kept in the record as the folder-info store names them.
class MailMessageLinksTest : public MailStoreFixture {};

TEST_F(MailMessageLinksTest, ParentMessageAndFolderIds) {
    OpenManager();
    BindSpecialFolders();
    AddFolder(kFolderTypeUserMail, "user1");
    ASSERT_EQ(manager->AddMailFolder("user1", nullptr), kNoError);
    IOutlookItem *item = nullptr;
    ASSERT_EQ(manager->GetItemByID("user1", &item), kNoError);
    auto *userFolder = dynamic_cast<DWinMobOutlookMessageCollection *>(item);
    ASSERT_NE(userFolder, nullptr);
    DWinMobOutlookMessageCollection *outbox = nullptr;
    ASSERT_EQ(manager->GetOutboxCollection(&outbox), kNoError);

    // The parent lies in a user folder.
    DWinMobOutlookMessage parent(userFolder, &log);
    ASSERT_EQ(parent.Init(nullptr, nullptr), kNoError);
    ASSERT_EQ(parent.SetID("P:1"), kNoError);
    ASSERT_EQ(parent.SetSubject(Wide(u"the question")), kNoError);
    ASSERT_EQ(parent.CommitNewItem(nullptr), kNoError);

    // The reply, composed on the device, names it.
    std::vector<BYTE> replyID;
    ASSERT_EQ(vplat::MailUserComposeOutbox(kMailStoreName, {u"x@example.com"}, {}, u"RE: the question", u"yes", {},
                                           &replyID),
              S_OK);
    ULONG tag = 0;
    ASSERT_EQ(GetMAPIPropertyIDFromName(Store(), kPropNameParentServerID, PT_UNICODE, &tag), kNoError);
    IMessage *raw = nullptr;
    ULONG type = 0;
    ASSERT_EQ(Store()->OpenEntry(ULONG(replyID.size()), reinterpret_cast<LPENTRYID>(replyID.data()), nullptr,
                                 MAPI_MODIFY, &type, reinterpret_cast<LPUNKNOWN *>(&raw)),
              S_OK);
    SPropValue prop = {};
    prop.ulPropTag = tag;
    prop.Value.lpszW = const_cast<WCHAR *>(u"P:1");
    ASSERT_EQ(raw->SetProps(1, &prop, nullptr), S_OK);
    ASSERT_EQ(raw->SaveChanges(0), S_OK);
    raw->Release();
    DWinMobOutlookMessage reply(outbox, &log);
    SBinary id = {ULONG(replyID.size()), replyID.data()};
    ASSERT_EQ(reply.Init(nullptr, &id), kNoError);

    char buffer[8];
    EXPECT_EQ(reply.GetParentMessageID(buffer, 3), generalErrBufferTooSmall);
    ASSERT_EQ(reply.GetParentMessageID(buffer, sizeof buffer), kNoError);
    EXPECT_STREQ(buffer, "P:1");
    IOutlookMessage *found = nullptr;
    ASSERT_EQ(reply.GetParentMessage(&found), kNoError);
    ASSERT_NE(found, nullptr);
    ASSERT_EQ(found->GetID(buffer, sizeof buffer), kNoError);
    EXPECT_STREQ(buffer, "P:1");
    VString subject;
    ASSERT_EQ(found->GetSubject(&subject), kNoError);
    EXPECT_EQ(Text(subject), u"the question");
    delete found;

    // Folder ids: the record keeps entry ids, the message answers server ids.
    ASSERT_EQ(parent.GetFolderServerID(buffer, sizeof buffer), kNoError);
    EXPECT_STREQ(buffer, "user1");
    EXPECT_EQ(parent.GetFolderServerID(buffer, 5), generalErrBufferTooSmall);
    ASSERT_EQ(parent.SetFolderID("inbox"), kNoError);
    ASSERT_EQ(parent.GetFolderServerID(buffer, sizeof buffer), kNoError);
    EXPECT_STREQ(buffer, "inbox");
    ASSERT_EQ(parent.SetPreviousFolderID("user1"), kNoError);
    ASSERT_EQ(parent.GetPreviousFolderServerID(buffer, sizeof buffer), kNoError);
    EXPECT_STREQ(buffer, "user1");
    ASSERT_EQ(parent.SetPreviousFolderID(nullptr), kNoError);
    EXPECT_NE(parent.GetPreviousFolderServerID(buffer, sizeof buffer), kNoError);
    EXPECT_EQ(parent.SetFolderID("no such folder"), generalErrItemNotFound);
}

}  // namespace
