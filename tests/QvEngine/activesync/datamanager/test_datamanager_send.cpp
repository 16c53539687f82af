// Sending mail end to end over the provisioned store: a message composed in
// the outbox goes out as MIME (the whole body of the send record), the
// server's answer files it as sent, and a refusal (HTTP 500) keeps it for
// another try, a smart reply then as a plain message.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "DataManagerFixture.h"
#include "MAPIPropertyHelpers.h"
#include "RequestMailSupport.h"
#include "SendTypeMapping.h"
#include "wintime.h"

namespace {

// A message composed on the device.
struct Outgoing {
    const char16_t *subject = u"Lunch";
    const char16_t *body = u"See you at noon.";
    std::vector<const char16_t *> to = {u"bob@example.org"};
    std::vector<const char16_t *> cc;
    uint32_t storedSendType = 0;
    const char16_t *parentID = nullptr;
    std::vector<std::pair<const char16_t *, std::string>> attachments;
};

class SendTest : public DataManagerTest {
protected:
    void SetUp() override {
        DataManagerTest::SetUp();
        // The device is an hour ahead of universal time.
        TIME_ZONE_INFORMATION zone = {};
        zone.Bias = -60;
        ASSERT_TRUE(SetTimeZoneInformation(&zone));
        AddFolder(kFolderTypeInbox, "inbox", "k-i");
        AddFolder(kFolderTypeOutbox, "outbox");
        AddFolder(kFolderTypeSentItems, "sent");
        ASSERT_EQ(AllocateMessageManager(&manager, global.get(), data.get()), kNoError);
        ASSERT_EQ(manager->Open(nullptr), kNoError);
        for (const char *id : {"inbox", "outbox", "sent"}) ASSERT_EQ(manager->AddMailFolder(id, nullptr), kNoError);
        ASSERT_EQ(shadow.Open(kShadowEmail), kNoError);
        outboxID = MailFolderEntryID(&global->folders, "outbox");
        sentID = MailFolderEntryID(&global->folders, "sent");
        inboxID = MailFolderEntryID(&global->folders, "inbox");
        ASSERT_FALSE(outboxID.empty());
        client.onRecord = [this](DClientResponse *response) {
            if (auto *send = dynamic_cast<DASDS_SendDataResponse *>(response)) {
                uint32_t type = 99;
                if (send->GetMessage() != nullptr) send->GetMessage()->GetSendType(&type);
                sendTypes.push_back(type);
            }
        };
    }
    void TearDown() override {
        shadow.Close();
        delete manager;
        DataManagerTest::TearDown();
    }

    IMsgStore *Store() { return manager->GetMsgStore(); }

    // The message in the outbox, with the shadow record the device's mail
    // watcher would write; the record's object id.
    CEOID PutOutgoing(const Outgoing &m) {
        IMAPIFolder *folder = nullptr;
        EXPECT_EQ(MailOpenFolder(Store(), outboxID, &folder), S_OK);
        IMessage *message = nullptr;
        EXPECT_EQ(folder->CreateMessage(nullptr, 0, &message), S_OK);
        folder->Release();
        SYSTEMTIME sent = {2026, 12, 0, 9, 7, 5, 9, 0};
        SPropValue props[4] = {};
        props[0].ulPropTag = PR_SUBJECT_W;
        props[0].Value.lpszW = const_cast<WCHAR *>(m.subject);
        props[1].ulPropTag = PR_BODY_W;
        props[1].Value.lpszW = const_cast<WCHAR *>(m.body);
        props[2].ulPropTag = PR_MESSAGE_FLAGS;
        props[2].Value.ul = MSGFLAG_UNSENT | MSGFLAG_FROMME;
        props[3].ulPropTag = PR_LAST_MODIFICATION_TIME;
        SystemTimeToFileTime(&sent, &props[3].Value.ft);
        EXPECT_EQ(message->SetProps(4, props, nullptr), S_OK);
        SetRecipients(message, m);
        if (m.storedSendType != 0) {
            ULONG tag = 0;
            EXPECT_EQ(GetMAPIPropertyIDFromName(Store(), kPropNameSendType, PT_LONG, &tag), kNoError);
            EXPECT_EQ(SetMAPIMessageULONGProprty(message, tag, m.storedSendType), kNoError);
        }
        if (m.parentID != nullptr) {
            ULONG tag = 0;
            EXPECT_EQ(GetMAPIPropertyIDFromName(Store(), kPropNameParentServerID, PT_UNICODE, &tag), kNoError);
            SPropValue id = {};
            id.ulPropTag = tag;
            id.Value.lpszW = const_cast<WCHAR *>(m.parentID);
            EXPECT_EQ(MailSetProp(message, &id), S_OK);
        }
        for (const auto &a : m.attachments) Attach(message, a.first, a.second);
        EXPECT_EQ(message->SaveChanges(0), S_OK);
        std::vector<BYTE> id;
        EXPECT_EQ(MailGetBinary(message, PR_ENTRYID, &id), S_OK);
        message->Release();
        return PutShadowRecord(&shadow, outboxID, nullptr, kShadowFlagNew, id);
    }
    void SetRecipients(IMessage *message, const Outgoing &m) {
        std::vector<std::pair<ULONG, const char16_t *>> all;
        for (const char16_t *a : m.to) all.emplace_back(MAPI_TO, a);
        for (const char16_t *a : m.cc) all.emplace_back(MAPI_CC, a);
        if (all.empty()) return;
        LPADRLIST list = nullptr;
        ASSERT_EQ(MAPIAllocateBuffer(ULONG(CbNewADRLIST(all.size())), reinterpret_cast<LPVOID *>(&list)), S_OK);
        list->cEntries = ULONG(all.size());
        for (size_t i = 0; i < all.size(); ++i) {
            LPSPropValue props = nullptr;
            ASSERT_EQ(MAPIAllocateBuffer(2 * sizeof(SPropValue), reinterpret_cast<LPVOID *>(&props)), S_OK);
            props[0].ulPropTag = PR_RECIPIENT_TYPE;
            props[0].Value.ul = all[i].first;
            props[1].ulPropTag = PR_EMAIL_ADDRESS_W;
            props[1].Value.lpszW = const_cast<WCHAR *>(all[i].second);
            list->aEntries[i].cValues = 2;
            list->aEntries[i].rgPropVals = props;
        }
        EXPECT_EQ(message->ModifyRecipients(0, list), S_OK);
        for (size_t i = 0; i < all.size(); ++i) list->aEntries[i].rgPropVals[1].Value.lpszW = nullptr;
        FreePadrlist(list);
    }
    void Attach(IMessage *message, const char16_t *name, const std::string &bytes) {
        ULONG number = 0;
        IAttach *attach = nullptr;
        ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, &attach), S_OK);
        SPropValue props[2] = {};
        props[0].ulPropTag = PR_ATTACH_FILENAME_W;
        props[0].Value.lpszW = const_cast<WCHAR *>(name);
        props[1].ulPropTag = PR_ATTACH_SIZE;
        props[1].Value.ul = ULONG(bytes.size());
        EXPECT_EQ(attach->SetProps(2, props, nullptr), S_OK);
        LPUNKNOWN unknown = nullptr;
        ASSERT_EQ(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, STGM_CREATE | STGM_WRITE,
                                       MAPI_CREATE | MAPI_MODIFY, &unknown),
                  S_OK);
        auto *stream = static_cast<IStream *>(unknown);
        ULONG written = 0;
        EXPECT_EQ(stream->Write(bytes.data(), ULONG(bytes.size()), &written), S_OK);
        EXPECT_EQ(stream->Commit(STGC_DEFAULT), S_OK);
        stream->Release();
        EXPECT_EQ(attach->SaveChanges(0), S_OK);
        attach->Release();
    }
    // A message from the server in the inbox, with its server id.
    void PutParent(const char16_t *serverID, const char16_t *body) {
        const std::vector<BYTE> id = PutMessage(Store(), inboxID, true);
        IMessage *message = nullptr;
        ULONG type = 0;
        ASSERT_EQ(Store()->OpenEntry(ULONG(id.size()), MailEntryID(id), &IID_IMessage, MAPI_MODIFY, &type,
                                     reinterpret_cast<LPUNKNOWN *>(&message)),
                  S_OK);
        SPropValue text = {};
        text.ulPropTag = PR_BODY_W;
        text.Value.lpszW = const_cast<WCHAR *>(body);
        EXPECT_EQ(MailSetProp(message, &text), S_OK);
        EXPECT_EQ(message->SaveChanges(0), S_OK);
        message->Release();
        PutShadowRecord(&shadow, inboxID, serverID, 0, id);
    }

    // Builds the send body through the chain: the record handed over.
    HandedRecord Send() {
        const size_t before = client.records.size();
        EXPECT_EQ(data->CollectCommandData(kCmdSendMail), kNoError);
        PumpEngineUntil(*global, [&] { return client.records.size() > before || !client.errors.empty(); });
        EXPECT_TRUE(Pump());
        if (client.records.size() != before + 1) {
            ADD_FAILURE() << "no send record";
            return {};
        }
        EXPECT_EQ(client.records.back().type, kResponseTypeSendData);
        EXPECT_EQ(client.records.back().contentType, "message/rfc822");
        return client.records.back();
    }
    // The server's answer with that HTTP status; the result of the call.
    DErrorCode Answer(uint32_t status, const std::string &body = "") {
        AnsweredTransaction answer(global.get(), status, body);
        VFile *file = nullptr;
        answer.GetResponseData(&file);
        DClientResponse *record = nullptr;
        const DErrorCode err = data->ProcessCommandData(kCmdSendMail, &answer, file, &record);
        EXPECT_EQ(record, nullptr);
        if (err == activeSyncErrWaitForCallback) {
            EXPECT_TRUE(Pump());
        }
        return err;
    }
    uint32_t Count(const std::vector<BYTE> &folderID) {
        IMAPIFolder *folder = nullptr;
        IMAPITable *table = nullptr;
        ULONG count = 0;
        if (MailOpenFolder(Store(), folderID, &folder) == S_OK && folder->GetContentsTable(0, &table) == S_OK) {
            table->GetRowCount(0, &count);
            table->Release();
        }
        if (folder != nullptr) folder->Release();
        return count;
    }
    // The stored send type of the outbox's first message.
    uint32_t StoredSendType() {
        DWinMobOutlookMessageCollection *outbox = nullptr;
        EXPECT_EQ(manager->GetOutboxCollection(&outbox), kNoError);
        IOutlookItem *item = nullptr;
        uint32_t type = 99;
        if (outbox != nullptr && outbox->GetItem(0, &item) == kNoError)
            dynamic_cast<IOutlookMessage *>(item)->GetSendType(&type);
        delete item;
        return type;
    }
    BYTE Pending() {
        BYTE pending = 9;
        EXPECT_EQ(data->CheckPendingItems(&pending), kNoError);
        return pending;
    }

    // The boundary text replaced by "B".
    static std::string Masked(const std::string &mime) {
        const size_t at = mime.find("boundary=\"");
        if (at == std::string::npos) return mime;
        const size_t start = at + 10;
        const std::string boundary = mime.substr(start, mime.find('"', start) - start);
        EXPECT_EQ(boundary.compare(0, 9, "----=_NP_"), 0) << boundary;
        std::string out = mime;
        for (size_t p; (p = out.find(boundary)) != std::string::npos;) out.replace(p, boundary.size(), "B");
        return out;
    }
    static std::string Base64Lines(const std::string &bytes) {
        static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string flat;
        for (size_t i = 0; i < bytes.size(); i += 3) {
            uint32_t n = uint32_t(uint8_t(bytes[i])) << 16;
            if (i + 1 < bytes.size()) n |= uint32_t(uint8_t(bytes[i + 1])) << 8;
            if (i + 2 < bytes.size()) n |= uint8_t(bytes[i + 2]);
            flat += kAlphabet[(n >> 18) & 63];
            flat += kAlphabet[(n >> 12) & 63];
            flat += i + 1 < bytes.size() ? kAlphabet[(n >> 6) & 63] : '=';
            flat += i + 2 < bytes.size() ? kAlphabet[n & 63] : '=';
        }
        std::string out;
        for (size_t at = 0; at < flat.size(); at += 76) out += (at != 0 ? "\r\n" : "") + flat.substr(at, 76);
        return out;
    }

    DWinMobMessageManager *manager = nullptr;
    DWinMobShadowDB shadow;
    std::vector<BYTE> outboxID, sentID, inboxID;
    std::vector<uint32_t> sendTypes;
};

const char kHeadersEnd[] = "Importance: Normal\r\nMIME-Version: 1.0\r\n";
const char kMimeOle[] = "X-MimeOLE: Produced By Microsoft MimeOLE V5.00.1432.1\r\n";

TEST_F(SendTest, PlainMessageGoesAsOnePartAndIsFiledAsSent) {
    Outgoing m;
    m.subject = u"Lunch\r\nBcc: everyone@example.org";  // a hostile subject stays one header
    m.body = u"Caf\u00E9 at noon?\nBring the notes.";
    m.to = {u"bob@example.org", u"carol@example.org"};
    m.cc = {u"dave@example.org"};
    PutOutgoing(m);

    const HandedRecord record = Send();
    EXPECT_EQ(record.bytes, std::string("From: \r\n"
                                        "To: bob@example.org, carol@example.org\r\n"
                                        "CC: dave@example.org\r\n"
                                        "Subject: Lunch  Bcc: everyone@example.org\r\n"
                                        "Date: 9 Dec 2026 08:05:09 +0100\r\n") +
                                kHeadersEnd +
                                "Content-Type: text/plain;\r\n\tcharset=\"Utf-8\"\r\n"
                                "Content-Transfer-Encoding: 8bit\r\n" +
                                kMimeOle + "\r\nCaf\xC3\xA9 at noon?\r\nBring the notes.\r\n");
    EXPECT_EQ(sendTypes, std::vector<uint32_t>{kMessageSendPlain});

    // An empty answer: the server took it.
    EXPECT_EQ(Answer(200), activeSyncErrWaitForCallback);
    ASSERT_EQ(client.records.size(), 2u);
    EXPECT_EQ(client.records.back().type, kResponseTypeEMailSend);
    EXPECT_TRUE(client.errors.empty());
    EXPECT_EQ(Count(outboxID), 0u);
    EXPECT_EQ(Count(sentID), 1u);
    EXPECT_EQ(Pending(), 0);
    // Nothing is left to send: the step is cancelled.
    EXPECT_EQ(data->CollectCommandData(kCmdSendMail), generalErrIndexOutOfRange);
}

// A text line longer than mail allows would be refused or cut on the way:
// the one-part text goes quoted-printable instead.
TEST_F(SendTest, APlainTextWithALineOver998GoesQuotedPrintable) {
    const std::u16string body = u"Hi\n" + std::u16string(1200, u'x');
    Outgoing m;
    m.body = body.c_str();
    PutOutgoing(m);

    std::string encoded;
    for (int i = 0; i < 15; ++i) encoded += std::string(75, 'x') + "=\r\n";
    encoded += std::string(75, 'x');
    EXPECT_EQ(Send().bytes, std::string("From: \r\nTo: bob@example.org\r\nSubject: Lunch\r\n"
                                        "Date: 9 Dec 2026 08:05:09 +0100\r\n") +
                                kHeadersEnd +
                                "Content-Type: text/plain;\r\n\tcharset=\"Utf-8\"\r\n"
                                "Content-Transfer-Encoding: quoted-printable\r\n" +
                                kMimeOle + "\r\nHi\r\n" + encoded + "\r\n");
}

TEST_F(SendTest, AttachmentsGoAsQuotedPrintableTextAndWrappedBase64) {
    std::string big;
    for (int i = 0; i < 3000; ++i) big += char((i * 7 + 3) & 0xFF);  // spans three encoder chunks
    Outgoing m;
    m.body = u"Plan = done\u2026 see attached";
    m.to = {};
    m.attachments = {{u"plan \"final\".bin", big}, {u"tiny.txt", "hi"}};
    PutOutgoing(m);

    const std::string mime = Masked(Send().bytes);
    EXPECT_EQ(mime, std::string("From: \r\nSubject: Lunch\r\nDate: 9 Dec 2026 08:05:09 +0100\r\n") + kHeadersEnd +
                        "Content-Type: multipart/mixed;\r\n\tboundary=\"B\"\r\n" + kMimeOle +
                        "X-MS-Has-Attach: yes\r\n"
                        "\r\n"
                        "[text 27]"
                        "\r\n\r\n--B\r\n"
                        "Content-Type: text/plain;\r\n\tcharset=\"Utf-8\"\r\n"
                        "Content-Transfer-Encoding: quoted-printable\r\n"
                        "\r\n"
                        "Plan =3D done=E2=80=A6 see attached\r\n"
                        "\r\n\r\n--B\r\n"
                        "Content-Type: application/octet-stream\r\n"
                        "Content-Transfer-Encoding: base64\r\n"
                        "Content-Description: plan \"final\".bin\r\n"
                        "Content-Disposition: attachment;\r\n\tfilename=\"plan \\\"final\\\".bin\"\r\n"
                        "\r\n" +
                        Base64Lines(big) +
                        "\r\n\r\n--B\r\n"
                        "Content-Type: application/octet-stream\r\n"
                        "Content-Transfer-Encoding: base64\r\n"
                        "Content-Description: tiny.txt\r\n"
                        "Content-Disposition: attachment;\r\n\tfilename=\"tiny.txt\"\r\n"
                        "\r\n"
                        "aGk=\r\n\r\n--B--\r\n\r\n");
}

TEST_F(SendTest, SmartReplyCarriesOnlyTheNewTextUnlessTheQuoteWasEdited) {
    PutParent(u"srv-1", u"Original text");
    const struct {
        const char16_t *body;
        const char *sent;
    } cases[] = {
        {u"Thanks!\r\nOriginal text", "Thanks!\r\n"},
        {u"Thanks!\r\nOriginal text, edited", "Thanks!\r\nOriginal text, edited\r\n[text 28]"},
    };
    for (const auto &c : cases) {
        Outgoing m;
        m.body = c.body;
        m.storedSendType = kStoredSendTypeReply;
        m.parentID = u"srv-1";
        PutOutgoing(m);
        const std::string mime = Send().bytes;
        EXPECT_EQ(mime.substr(mime.find("\r\n\r\n") + 4), std::string(c.sent) + "\r\n") << mime;
        EXPECT_EQ(sendTypes.back(), uint32_t(kMessageSendReply));
        EXPECT_EQ(Answer(200), activeSyncErrWaitForCallback);
    }
}

TEST_F(SendTest, ReplyWithoutAUsableParentGoesWholeAsAPlainMessage) {
    const struct {
        const char16_t *parentID;
    } cases[] = {{u""}, {u"srv-unknown"}};
    for (const auto &c : cases) {
        Outgoing m;
        m.body = u"Yes.\r\n> Are you coming?";
        m.storedSendType = kStoredSendTypeForward;
        m.parentID = c.parentID;
        PutOutgoing(m);
        const std::string mime = Send().bytes;
        EXPECT_EQ(mime.substr(mime.find("\r\n\r\n") + 4), "Yes.\r\n> Are you coming?\r\n");
        EXPECT_EQ(sendTypes.back(), uint32_t(kMessageSendPlain));
        EXPECT_NE(Log().find("Detected Reply/Forward to a message without Exchange ID! converting to a regular send.\n"),
                  std::string::npos);
        EXPECT_EQ(Answer(200), activeSyncErrWaitForCallback);
    }
}

TEST_F(SendTest, RefusedMessageIsKeptPlainOneUntilTheNextRunSmartOneAsPlain) {
    PutParent(u"srv-1", u"Original text");
    Outgoing reply;
    reply.body = u"Thanks!\r\nOriginal text";
    reply.storedSendType = kStoredSendTypeReply;
    reply.parentID = u"srv-1";
    const CEOID oid = PutOutgoing(reply);

    Send();
    EXPECT_EQ(Answer(500), kNoError);
    EXPECT_EQ(Count(outboxID), 1u);
    EXPECT_EQ(StoredSendType(), uint32_t(kMessageSendPlain));
    EXPECT_EQ(ShadowFlags(&shadow, oid) & kShadowFlagKeepNew, 0u);
    // The next try sends it whole, as a plain message.
    const std::string mime = Send().bytes;
    EXPECT_EQ(mime.substr(mime.find("\r\n\r\n") + 4), "Thanks!\r\nOriginal text\r\n");
    EXPECT_EQ(sendTypes.back(), uint32_t(kMessageSendPlain));

    // Refused again as a plain message: it waits for a later run.
    EXPECT_EQ(Answer(500), kNoError);
    EXPECT_NE(ShadowFlags(&shadow, oid) & kShadowFlagKeepNew, 0u);
    EXPECT_EQ(Pending(), 0);
    EXPECT_EQ(Count(outboxID), 1u);
    EXPECT_EQ(Count(sentID), 0u);
    EXPECT_EQ(client.records.size(), 2u);  // the two send bodies, no filing
    EXPECT_TRUE(client.errors.empty());

    // The next run's preparation lets it go again, and it goes.
    ASSERT_EQ(RunChain([this](DActiveTaskSignal *s) { return data->PrepareForSync(s); }), kNoError);
    EXPECT_EQ(ShadowFlags(&shadow, oid) & kShadowFlagKeepNew, 0u);
    EXPECT_EQ(Pending(), 1);
    Send();
    EXPECT_EQ(Answer(200), activeSyncErrWaitForCallback);
    EXPECT_EQ(Count(outboxID), 0u);
}

}  // namespace
