// Server mail down to the device, checked against what the real server's mail
// store holds (over IMAP): a fresh device's first sync of alice's mailbox
// (every Inbox mail by its server id, the folder tree, bodies, the large
// body and its remainder, attachments listed and one fetched), a new mail
// that ends a waiting Ping, and a run after the server lost the device's
// Inbox sync state. The engine runs with its own data manager.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ActiveSyncEngineConstants.h"
#include "Base64.h"
#include "DWinMobMessageManager.h"
#include "DWinMobOutlookMessage.h"
#include "DWinMobOutlookMessageCollection.h"
#include "FolderStoreWrite.h"
#include "IOutlookMessage.h"
#include "ImapProbe.h"
#include "MAPIPropertyHelpers.h"
#include "MailStoreCalls.h"
#include "PeerMailFixture.h"
#include "SmtpDelivery.h"
#include "vplatform_mailuser.h"

namespace {

std::string Utf8(VString &text) {
    text.ConvertTo(kVStringUTF8);
    return text.GetNarrowText() != nullptr ? std::string(text.GetNarrowText(), text.GetLength()) : std::string();
}

// CR LF and lone CR as LF, trailing line ends dropped.
std::string Lines(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

bool EndsWith(const std::string &text, const std::string &tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Hands one message to the server's SMTP port; true when it was taken.
bool DeliverMail(const std::string &smtp, const std::string &to, const std::string &subject) {
    return SmtpDeliver(smtp, to, PlainMailFromBob(to, subject, "A new mail while the device waits."));
}

// The unfolded value of the message's first header of that name ("" when it has none).
std::string HeaderOf(const std::string &message, const std::string &name) {
    const std::string head = "\r\n" + message.substr(0, message.find("\r\n\r\n"));
    const size_t at = head.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "";
    std::string value;
    for (size_t i = at + name.size() + 4; i < head.size(); ++i) {
        if (head.compare(i, 2, "\r\n") == 0) {
            if (i + 2 >= head.size() || (head[i + 2] != ' ' && head[i + 2] != '\t')) break;
            i += 1;
            continue;
        }
        value += head[i];
    }
    return value;
}

// The body of a whole message (after its header block).
std::string BodyOf(const std::string &message) {
    const size_t at = message.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : message.substr(at + 4);
}

// The decoded bytes of the base64 part of a multipart message whose headers
// name that file.
std::string AttachmentBytes(const std::string &message, const std::string &fileName) {
    const size_t named = message.find("filename=\"" + fileName + "\"");
    if (named == std::string::npos) return "(no such part)";
    const size_t start = message.find("\r\n\r\n", named);
    const size_t end = message.find("\r\n--", start);
    if (start == std::string::npos || end == std::string::npos) return "(no part body)";
    const std::string text = message.substr(start + 4, end - start - 4);
    uint32_t length = 0;
    BYTE *bytes = Base64Decode(text.data(), uint32_t(text.size()), &length);
    std::string out = bytes != nullptr ? std::string(reinterpret_cast<char *>(bytes), length) : "(undecodable)";
    delete[] bytes;
    return out;
}

// The device's mail store seen as another part of the device sees it,
// through a message manager of its own.
class DeviceMail {
public:
    explicit DeviceMail(IGlobalData *global) {
        DWinMobMessageManager *made = nullptr;
        EXPECT_EQ(AllocateMessageManager(&made, global, &m_client), kNoError);
        m_manager.reset(made);
        if (m_manager == nullptr) return;
        EXPECT_EQ(m_manager->Open(nullptr), kNoError);
        EXPECT_EQ(m_manager->GetInboxCollection(&m_inbox), kNoError);
    }

    // The server id of each Inbox message with its subject, in store order.
    std::vector<std::pair<std::string, std::string>> Inbox() {
        std::vector<std::pair<std::string, std::string>> out;
        uint32_t count = 0;
        if (m_inbox == nullptr || m_inbox->GetCount(&count) != kNoError) return out;
        for (uint32_t i = 0; i < count; ++i) {
            IOutlookItem *item = nullptr;
            if (m_inbox->GetItem(i, &item) != kNoError) continue;
            std::unique_ptr<IOutlookItem> owned(item);
            auto *message = dynamic_cast<IOutlookMessage *>(item);
            if (message == nullptr) continue;
            char id[256] = {};
            message->GetID(id, sizeof id);
            VString subject;
            message->GetSubject(&subject);
            out.emplace_back(id, Utf8(subject));
        }
        return out;
    }
    // The Inbox message of that subject (the first), or null.
    std::unique_ptr<DWinMobOutlookMessage> BySubject(const std::string &subject) {
        for (const auto &mail : Inbox()) {
            if (mail.second != subject) continue;
            IOutlookItem *item = nullptr;
            if (m_inbox->GetItemByID(mail.first.c_str(), &item) != kNoError) return nullptr;
            auto *message = dynamic_cast<DWinMobOutlookMessage *>(item);
            if (message == nullptr) delete item;
            return std::unique_ptr<DWinMobOutlookMessage>(message);
        }
        return nullptr;
    }

private:
    struct Quiet : IOutlookManagerClient {
        void OutlookManager_ReportStatus(DStatusData *, uint32_t) override {}
    } m_client;
    std::unique_ptr<DWinMobMessageManager> m_manager;
    DWinMobOutlookMessageCollection *m_inbox = nullptr;
};

std::string BodyText(IOutlookMessage *message) {
    VString body;
    return message->GetBody(&body) == kNoError ? Utf8(body) : "(failed)";
}

// The attachment of the message whose file name is that name, opened
// for writing (null when there is none); its number in *number.
IAttach *OpenAttachmentNamed(IMessage *message, const std::u16string &name, ULONG *number) {
    for (ULONG i = 0; i < 8; ++i) {
        IAttach *attach = nullptr;
        if (message->OpenAttach(i, nullptr, MAPI_MODIFY, &attach) != S_OK) continue;
        std::u16string file;
        if (GetMAPIMessageStringProprty(attach, PR_ATTACH_FILENAME_W, &file) == kNoError && file == name) {
            *number = i;
            return attach;
        }
        attach->Release();
    }
    return nullptr;
}

// The attachment's stored data.
std::string AttachmentData(IAttach *attach) {
    std::string data;
    LPUNKNOWN unknown = nullptr;
    if (attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, STGM_READ, 0, &unknown) != S_OK) return "(no data)";
    auto *stream = static_cast<IStream *>(unknown);
    char chunk[4096];
    ULONG read = 0;
    while (stream->Read(chunk, sizeof chunk, &read) == S_OK && read > 0) data.append(chunk, read);
    stream->Release();
    return data;
}

class PeerMailDownTest : public PeerMailTest {
protected:
    PeerMailDownTest() : PeerMailTest("VMD") {}

    std::vector<unsigned> ServerInbox() {
        return ImapSearch(Peer(), Peer().user, Peer().password, "INBOX", "ALL");
    }
    std::string ServerMessage(const std::string &serverID) {
        return ImapFetchMessage(Peer(), Peer().user, Peer().password, "INBOX", unsigned(std::stoul(serverID)));
    }

    // The device's Inbox against the server's, around a run: each mail the
    // server held before and after is on the device once, the device holds
    // nothing the server never had, and while nobody else changed the
    // server's Inbox the counts are equal.
    void ExpectInboxLikeServer(const std::vector<unsigned> &before, const std::vector<unsigned> &after) {
        DeviceMail device(global.get());
        std::map<std::string, int> held;
        for (const auto &mail : device.Inbox()) ++held[mail.first];
        for (const auto &id : held) EXPECT_EQ(id.second, 1) << "server id " << id.first << " is doubled";
        std::set<std::string> ever;
        for (unsigned uid : before) ever.insert(std::to_string(uid));
        for (unsigned uid : after) ever.insert(std::to_string(uid));
        for (unsigned uid : before) {
            if (std::find(after.begin(), after.end(), uid) == after.end()) continue;
            EXPECT_TRUE(held.count(std::to_string(uid))) << "UID " << uid << " is not on the device";
        }
        for (const auto &id : held) EXPECT_TRUE(ever.count(id.first)) << id.first << " is not on the server";
        if (before == after) {
            EXPECT_EQ(device.Inbox().size(), after.size());
        }
    }
};

TEST_F(PeerMailDownTest, AFirstSyncBringsTheMailboxAndTheRestOfABodyAndAnAttachmentOnRequest) {
    const std::vector<unsigned> before = ServerInbox();
    ASSERT_FALSE(before.empty());
    // The server marks a mail seen as it serves its body for the first time:
    // a read state is judged against the server's state before the run and
    // after it, and must match where the two agree.
    const std::vector<unsigned> seenBefore = ImapSearch(Peer(), Peer().user, Peer().password, "INBOX", "SEEN");
    RunEMail();
    if (HasFatalFailure()) return;
    ExpectInboxLikeServer(before, ServerInbox());

    ExpectAlphaBelowProjects(global->folders);
    if (HasFatalFailure()) return;

    auto device = std::make_unique<DeviceMail>(global.get());
    // Each plain subject of the server is on the device with the same server id.
    for (const auto &mail : device->Inbox()) {
        SCOPED_TRACE(mail.first);
        const std::string raw = ServerMessage(mail.first);
        // Another test's own mail may be gone from the server since.
        if (raw.empty()) continue;
        const std::string subject = HeaderOf(raw, "Subject");
        if (subject.find("=?") == std::string::npos) {
            EXPECT_EQ(mail.second, subject);
        }
    }

    // The seeded plain mails carry the server's read state, and a plain body
    // is the server's text, its sender the header's.
    const std::vector<unsigned> seenAfter = ImapSearch(Peer(), Peer().user, Peer().password, "INBOX", "SEEN");
    for (int n = 1; n <= 16; ++n) {
        SCOPED_TRACE(n);
        auto plain = device->BySubject(std::string("Test message ") + (n < 10 ? "0" : "") + std::to_string(n));
        ASSERT_NE(plain, nullptr);
        char id[64] = {};
        plain->GetID(id, sizeof id);
        bool read = false;
        EXPECT_EQ(plain->IsRead(&read), kNoError);
        const unsigned uid = unsigned(std::stoul(id));
        const bool wasSeen = std::find(seenBefore.begin(), seenBefore.end(), uid) != seenBefore.end();
        const bool isSeen = std::find(seenAfter.begin(), seenAfter.end(), uid) != seenAfter.end();
        if (wasSeen == isSeen) {
            EXPECT_EQ(read, isSeen);
        }
        if (n != 1) continue;
        const std::string raw = ServerMessage(id);
        EXPECT_EQ(Lines(BodyText(plain.get())), Lines(BodyOf(raw)));
        VString from;
        ASSERT_EQ(plain->GetFrom(&from), kNoError);
        EXPECT_EQ(Utf8(from), "\"Carol Clark\" <carol@example.test>");
        EXPECT_NE(raw.find("From: Carol Clark <carol@example.test>\r\n"), std::string::npos);
    }
    // The HTML mail and the encoded UTF-8 subject arrive as readable text.
    {
        auto html = device->BySubject("HTML newsletter with formatting");
        ASSERT_NE(html, nullptr);
        const std::string body = BodyText(html.get());
        // Either alternative of the mail will do, as long as it is its text.
        EXPECT_TRUE(body.find("bold") != std::string::npos || body.find("plain* alternative") != std::string::npos)
            << body;
        EXPECT_EQ(body.find("alt-boundary-17"), std::string::npos) << body;
        EXPECT_EQ(body.find("Content-Type"), std::string::npos) << body;
        auto greeting = device->BySubject("Gr\xC3\xBC\xC3\x9F" "e aus M\xC3\xBC" "nchen \xE2\x82\xAC");
        ASSERT_NE(greeting, nullptr);
        EXPECT_NE(BodyText(greeting.get()).find("Sch\xC3\xB6ne Gr\xC3\xBC\xC3\x9F" "e, \xE2\x82\xAC 10"),
                  std::string::npos)
            << BodyText(greeting.get());
    }

    // The large body with the default mail data size: when the server cuts
    // it, the device knows so and the size; the user asks for the rest.
    {
        auto large = device->BySubject("Large message (24 KB body)");
        ASSERT_NE(large, nullptr);
        bool truncated = false;
        ASSERT_EQ(large->IsBodyTruncated(&truncated), kNoError);
        uint32_t size = 0;
        ASSERT_EQ(large->GetBodySize(&size), kNoError);
        EXPECT_GT(size, 0u);
        // This server ignores the body options of this protocol version
        // and sends the whole body; a body the device calls whole must be.
        const std::string body = Lines(BodyText(large.get()));
        EXPECT_EQ(truncated, !EndsWith(body, "END OF LARGE BODY")) << size << " " << body.size();
        ASSERT_EQ(large->SetRemainderRequested(true), kNoError);
        ASSERT_EQ(large->Commit(), kNoError);
        // The mail watcher's part, not built yet: the shadow mark of the request.
        ASSERT_NE(large->GetShadowRecord(), nullptr);
        ASSERT_EQ(large->GetShadowRecord()->SetRemainderRequested(true), kNoError);
        ASSERT_EQ(large->GetShadowRecord()->MarkModified(), kNoError);
    }
    // The user marks the logo of the mail with two attachments for download.
    std::string logoOnServer;
    {
        auto report = device->BySubject("Report with attachments");
        ASSERT_NE(report, nullptr);
        DListNode<DAttachmentData> list;
        ASSERT_EQ(report->GetAttachmentsList(&list), kNoError);
        std::vector<std::string> names;
        for (DListNode<DAttachmentData> *node = &list; node != nullptr; node = node->next)
            if (node->item != nullptr) names.push_back(Utf8(node->item->DisplayName()));
        list.Free();
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"logo.png", "report.csv"}));

        char id[64] = {};
        report->GetID(id, sizeof id);
        logoOnServer = AttachmentBytes(ServerMessage(id), "logo.png");
        ASSERT_GT(logoOnServer.size(), 8u);
        IMessage *raw = report->GetMAPIMessage();
        ASSERT_NE(raw, nullptr);
        ULONG number = 0;
        IAttach *logo = OpenAttachmentNamed(raw, u"logo.png", &number);
        ASSERT_NE(logo, nullptr);
        ULONG status = 0;
        GetMAPIMessageULONGProprty(logo, PR_MSG_STATUS, &status);
        ASSERT_EQ(SetMAPIMessageULONGProprty(logo, PR_MSG_STATUS, status | kAttachStatusMarked), kNoError);
        ASSERT_EQ(logo->SaveChanges(0), S_OK);
        logo->Release();
        status = 0;
        GetMAPIMessageULONGProprty(raw, PR_MSG_STATUS, &status);
        ASSERT_EQ(SetMAPIMessageULONGProprty(raw, PR_MSG_STATUS, status | kMsgStatusAttachmentRequested), kNoError);
        ASSERT_EQ(raw->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
        // The mail watcher's part, not built yet: the shadow mark of the request.
        ASSERT_NE(report->GetShadowRecord(), nullptr);
        ASSERT_EQ(report->GetShadowRecord()->SetAttachmentRequested(true), kNoError);
        ASSERT_EQ(report->GetShadowRecord()->MarkModified(), kNoError);
    }

    device.reset();

    // A run for truncated mail brings the whole body.
    size_t from = global->log.text.size();
    RunEMail(kRunOptionFetchTruncated);
    if (HasFatalFailure()) return;
    EXPECT_NE(global->log.text.find("Send REMAINDER\n", from), std::string::npos) << global->log.text.substr(from);
    EXPECT_NE(global->log.text.find("got REMAINDER message\n", from), std::string::npos);
    {
        DeviceMail after(global.get());
        const auto inbox = after.Inbox();
        EXPECT_EQ(std::count_if(inbox.begin(), inbox.end(),
                                [](const auto &mail) { return mail.second == "Large message (24 KB body)"; }),
                  1);
        auto large = after.BySubject("Large message (24 KB body)");
        ASSERT_NE(large, nullptr);
        char id[64] = {};
        large->GetID(id, sizeof id);
        const std::string body = Lines(BodyText(large.get()));
        EXPECT_TRUE(EndsWith(body, "END OF LARGE BODY")) << body.substr(body.size() > 200 ? body.size() - 200 : 0);
        EXPECT_EQ(body, Lines(BodyOf(ServerMessage(id))));
        bool flag = true;
        EXPECT_EQ(large->IsBodyTruncated(&flag), kNoError);
        EXPECT_FALSE(flag);
        flag = true;
        EXPECT_EQ(large->IsRemainderRequested(&flag), kNoError);
        EXPECT_FALSE(flag);
    }

    // A run for requested attachments brings the server's bytes.
    from = global->log.text.size();
    RunEMail(kRunOptionDownloadAttachments);
    if (HasFatalFailure()) return;
    {
        DeviceMail after(global.get());
        auto report = after.BySubject("Report with attachments");
        ASSERT_NE(report, nullptr);
        ULONG number = 0;
        IAttach *logo = OpenAttachmentNamed(report->GetMAPIMessage(), u"logo.png", &number);
        ASSERT_NE(logo, nullptr);
        EXPECT_EQ(AttachmentData(logo), logoOnServer) << global->log.text.substr(from);
        ULONG status = 0;
        GetMAPIMessageULONGProprty(logo, PR_MSG_STATUS, &status);
        EXPECT_EQ(status & kAttachStatusMarked, 0u);
        logo->Release();
        bool requested = true;
        EXPECT_EQ(report->GetShadowRecord()->IsAttachmentRequested(&requested), kNoError);
        EXPECT_FALSE(requested);
    }
}

// A push run: once the device holds the Inbox it waits in Ping; a mail
// delivered to the account then reaches the device's Inbox within the
// heartbeat (the server ends the Ping, the engine syncs the Inbox).
TEST_F(PeerMailDownTest, NewMailReachesTheDeviceWhileItWaitsInPing) {
    global->prefs.SetPeakPushSyncEnabled(1);
    global->prefs.SetOffPeakPushSyncEnabled(1);
    // Within the server's own limit of 30 s.
    global->prefs.SetQVHeartbeat(25);
    global->prefs.SetMinimumHeartBeat(20);
    global->prefs.SaveAll();
    ASSERT_EQ(engine->StartSync(kRunFlagEMail | kRunFlagPush, 0, kLockModeWait, kRunKindScheduled), kNoError);
    ASSERT_TRUE(PumpEngineUntil(*global, [this] { return global->prefs.GetEngineState() == kEngineStatePinging; }))
        << "no Ping was sent\n" << global->log.text;
    // The server holds the Ping (or answers a first one at once and holds
    // the next); give the request a moment to arrive.
    const DWORD until = GetTickCount() + 1500;
    PumpEngineUntil(*global, [until] { return int32_t(GetTickCount() - until) >= 0; });
    ASSERT_TRUE(client.errors.empty()) << std::hex << client.errors[0] << "\n" << global->log.text;

    const std::string subject = "down-push-" + std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(GetTickCount());
    ASSERT_TRUE(DeliverMail(Peer().smtp, Peer().user + "@example.test", subject));
    // Looked for in the store now and then, not at every turn of the pump.
    DWORD nextLook = 0;
    const bool arrived = PumpEngineUntil(*global, [&] {
        if (int32_t(GetTickCount() - nextLook) < 0) return false;
        nextLook = GetTickCount() + 250;
        for (const auto &mail : DeviceMail(global.get()).Inbox())
            if (mail.second == subject) return true;
        return false;
    });
    EXPECT_TRUE(arrived) << "the new mail did not reach the device\n" << global->log.text;
    EXPECT_TRUE(client.errors.empty()) << std::hex << (client.errors.empty() ? 0 : client.errors[0]);
    const std::vector<unsigned> onServer = ImapSearch(Peer(), Peer().user, Peer().password, "INBOX",
                                                      "SUBJECT \"" + subject + "\"");
    ASSERT_EQ(onServer.size(), 1u);
    int copies = 0;
    for (const auto &mail : DeviceMail(global.get()).Inbox())
        if (mail.second == subject) {
            ++copies;
            EXPECT_EQ(mail.first, std::to_string(onServer[0]));
        }
    EXPECT_EQ(copies, arrived ? 1 : 0);
    EXPECT_EQ(engine->CancelSync(TRUE), kNoError);
}

// The server no longer knows the device's Inbox sync key (its state was
// lost, or its store went back to an older state) while the device has a
// change to send: the run syncs the Inbox again from the start, without
// error and without doubling a message the device already holds.
TEST_F(PeerMailDownTest, ARunAfterTheServerLostTheInboxStateSyncsItAgainWithoutDoubles) {
    const std::string subject = "down-lost-" + std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(GetTickCount());
    ASSERT_TRUE(DeliverMail(Peer().smtp, Peer().user + "@example.test", subject));
    RunEMail();
    if (HasFatalFailure()) return;

    // The user reads the new mail on the device.
    {
        DeviceMail device(global.get());
        auto mail = device.BySubject(subject);
        ASSERT_NE(mail, nullptr);
        std::vector<BYTE> entryID;
        ASSERT_EQ(MailGetBinary(mail->GetMAPIMessage(), PR_ENTRYID, &entryID), S_OK);
        ASSERT_EQ(vplat::MailUserReadMessage(kMailStore, entryID, true), S_OK);
        // The mail watcher's part, not built yet: the shadow mark of the change.
        ASSERT_NE(mail->GetShadowRecord(), nullptr);
        ASSERT_EQ(mail->GetShadowRecord()->SetReadChanged(true), kNoError);
        ASSERT_EQ(mail->GetShadowRecord()->MarkModified(), kNoError);
    }
    // The server forgets the partnership: it keeps a device's sync state by
    // the device's id and accepts any key of its own form for a state it
    // holds, so the device comes back under an id the server does not know,
    // with the Inbox key it has.
    DEASFolderInfoRecord *inbox = nullptr;
    ASSERT_EQ(global->folders.FindFirstFolderOfType(kFolderTypeInbox, &inbox), kNoError);
    const std::string lostKey = inbox->GetString(kFolderFieldSyncKey);
    ASSERT_NE(lostKey, "0");
    uint32_t folderCount = 0;
    global->folders.GetRecordCount(&folderCount);
    global->prefs.SetQVDeviceID(OwnDeviceID("VMDL"));
    global->prefs.SaveAll();

    const std::vector<unsigned> before = ServerInbox();
    const size_t from = global->log.text.size();
    RunEMail();
    if (HasFatalFailure()) return;
    EXPECT_EQ(global->prefs.GetEngineState(), kEngineStateCompleted);
    // The server did refuse the key, and the Inbox has a key of its own again.
    EXPECT_NE(global->log.text.find("Got STATUS : 3", from), std::string::npos) << global->log.text.substr(from);
    ASSERT_EQ(global->folders.FindFirstFolderOfType(kFolderTypeInbox, &inbox), kNoError);
    const std::string key = inbox->GetString(kFolderFieldSyncKey);
    EXPECT_NE(key, lostKey);
    EXPECT_NE(key, "0");
    // The hierarchy learnt again is the one the device holds, not a second copy.
    uint32_t foldersAfter = 0;
    global->folders.GetRecordCount(&foldersAfter);
    EXPECT_EQ(foldersAfter, folderCount);
    ExpectInboxLikeServer(before, ServerInbox());
    // The user's change is not lost with the state.
    EXPECT_EQ(ImapSearch(Peer(), Peer().user, Peer().password, "INBOX", "SEEN SUBJECT \"" + subject + "\"").size(),
              1u)
        << global->log.text.substr(from);
}

}  // namespace
