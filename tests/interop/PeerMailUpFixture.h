// What the tests of mail the device sends or changes share: a device after
// its first sync seen through its own message manager and e-mail shadow
// database, the shadow marks a person's actions leave, the Outbox, and the
// server's mailboxes over IMAP. Each test works on mails it delivered itself,
// under subjects of its own (the prefix and a tag of the run), and removes
// them from the server when it is done.
#ifndef VTEST_INTEROP_PEERMAILUPFIXTURE_H
#define VTEST_INTEROP_PEERMAILUPFIXTURE_H

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ActiveSyncEngineConstants.h"
#include "DWinMobMessageManager.h"
#include "DWinMobOutlookMessage.h"
#include "DWinMobOutlookMessageCollection.h"
#include "DWinMobShadowDB.h"
#include "DavProbe.h"
#include "ImapProbe.h"
#include "MAPIPropertyHelpers.h"
#include "MailStoreCalls.h"
#include "PeerMailFixture.h"
#include "SendTypeMapping.h"
#include "ShadowProps.h"
#include "SmtpDelivery.h"
#include "vplatform_mailuser.h"

inline const char kBob[] = "bob";
inline const char kBobPassword[] = "secret2";

inline std::string Base64(const std::vector<BYTE> &bytes) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const uint32_t n = (uint32_t(bytes[i]) << 16) | (i + 1 < bytes.size() ? uint32_t(bytes[i + 1]) << 8 : 0) |
                           (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[n & 63] : '=';
        if (i % 57 == 54) out += "\r\n";
    }
    return out;
}

// One header's value (the first of that name), unfolded; "" when absent.
inline std::string HeaderOf(const std::string &message, const std::string &name) {
    const std::string head = message.substr(0, message.find("\r\n\r\n"));
    std::string lower = head;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return char(std::tolower(c)); });
    std::string wanted = name + ":";
    std::transform(wanted.begin(), wanted.end(), wanted.begin(), [](char c) { return char(std::tolower(c)); });
    size_t at = lower.compare(0, wanted.size(), wanted) == 0 ? 0 : lower.find("\n" + wanted);
    if (at == std::string::npos) return "";
    if (at != 0) ++at;
    std::string value;
    size_t line = at + wanted.size();
    for (;;) {
        const size_t end = head.find("\r\n", line);
        value += head.substr(line, end == std::string::npos ? std::string::npos : end - line);
        if (end == std::string::npos || end + 2 >= head.size() || (head[end + 2] != ' ' && head[end + 2] != '\t'))
            break;
        line = end + 2;
    }
    const size_t first = value.find_first_not_of(" \t");
    return first == std::string::npos ? "" : value.substr(first);
}

// Hands one message to the server's SMTP port (from bob); true when taken.
// With a file, the message is multipart with the file as a base64 part.
inline bool DeliverMail(const PeerSettings &peer, const std::string &to, const std::string &subject,
                 const std::string &fileName = "", const std::vector<BYTE> &file = {}) {
    std::string text = "From: bob@example.test\r\nTo: " + to + "\r\nSubject: " + subject + "\r\nMessage-ID: <" + subject +
                  "@example.test>\r\nDate: Fri, 11 Dec 2026 09:00:00 +0000\r\nMIME-Version: 1.0\r\n";
    if (fileName.empty()) {
        text += "Content-Type: text/plain; charset=us-ascii\r\n\r\nThe text of " + subject + ".\r\n";
    } else {
        text += "Content-Type: multipart/mixed; boundary=\"b-" + subject + "\"\r\n\r\n--b-" + subject +
                       "\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nThe text of " + subject + ".\r\n--b-" +
                       subject + "\r\nContent-Type: application/octet-stream; name=\"" + fileName +
                       "\"\r\nContent-Disposition: attachment; filename=\"" + fileName +
                       "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + Base64(file) + "\r\n--b-" + subject +
                       "--\r\n";
    }
    return SmtpDeliver(peer.smtp, to, text);
}

inline std::string Quoted(const std::string &text) { return "\"" + text + "\""; }

// One message of the device's Inbox as the engine left it.
struct DeviceMail {
    std::string subject;
    std::string serverID;
    std::vector<BYTE> entryID;
    CEOID record = 0;
};

class PeerMailUpFixture : public PeerMailTest {
protected:
    // idPrefix starts the device id; subjectPrefix starts every subject the test writes.
    PeerMailUpFixture(std::string idPrefix, std::string subjectPrefix)
        : PeerMailTest(std::move(idPrefix)), m_subjectPrefix(std::move(subjectPrefix)) {}

    void SetUp() override {
        PeerMailTest::SetUp();
        if (HasFatalFailure()) return;
        tag = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
    }
    void TearDown() override {
        manager.reset();
        if (shadow.IsOpen()) shadow.Close();
        // Over IMAP only: the idle engine and the device play no part.
        if (!tag.empty() && !Peer().user.empty()) RemoveOwnMail();
        PeerMailTest::TearDown();
    }

    std::string Subject(const std::string &what) const { return m_subjectPrefix + "-" + what + "-" + tag; }

    // The device's message manager and the e-mail shadow database, opened
    // as another part of the device would open them.
    void OpenDevice() {
        manager.reset();
        DWinMobMessageManager *made = nullptr;
        ASSERT_EQ(AllocateMessageManager(&made, global.get(), &quiet), kNoError);
        manager.reset(made);
        ASSERT_EQ(manager->Open(nullptr), kNoError);
        if (!shadow.IsOpen()) {
            ASSERT_EQ(shadow.Open(kShadowEmail), kNoError);
        }
    }

    // The Inbox message with that subject (subject "" when there is none);
    // with whole false, the first whose subject holds it.
    DeviceMail InboxMail(const std::string &subject, bool whole = true) {
        DeviceMail found;
        DWinMobOutlookMessageCollection *inbox = nullptr;
        EXPECT_EQ(manager->GetInboxCollection(&inbox), kNoError);
        uint32_t count = 0;
        if (inbox != nullptr) inbox->GetCount(&count);
        for (uint32_t i = 0; i < count && found.subject.empty(); ++i) {
            IOutlookItem *item = nullptr;
            if (inbox->GetItem(i, &item) != kNoError) continue;
            std::unique_ptr<IOutlookItem> owned(item);
            auto *message = dynamic_cast<DWinMobOutlookMessage *>(item);
            VString text;
            if (message == nullptr || message->GetSubject(&text) != kNoError) continue;
            text.ConvertTo(kVStringUTF8);
            if (text.GetNarrowText() == nullptr) continue;
            const std::string held = text.GetNarrowText();
            if (whole ? held != subject : held.find(subject) == std::string::npos) continue;
            found.subject = held;
            found.serverID = message->GetServerIDText();
            found.entryID = message->GetEntryID();
            found.record = message->GetShadowRecord() != nullptr ? message->GetShadowRecord()->GetObjectID() : 0;
        }
        return found;
    }

    std::vector<BYTE> FolderEntryID(const char *displayName) {
        uint32_t count = 0;
        global->folders.GetRecordCount(&count);
        for (uint32_t i = 0; i < count; ++i) {
            DEASFolderInfoRecord *folder = nullptr;
            if (global->folders.GetFolderAt(i, &folder) != kNoError || folder->GetData() == nullptr) continue;
            if (std::string(folder->GetDisplayName()) == displayName)
                return std::vector<BYTE>(folder->GetData(), folder->GetData() + folder->GetDataSize());
        }
        return {};
    }
    std::vector<BYTE> InboxEntryID() {
        DEASFolderInfoRecord *inbox = nullptr;
        if (global->folders.FindFirstFolderOfType(kFolderTypeInbox, &inbox) != kNoError || inbox->GetData() == nullptr)
            return {};
        return std::vector<BYTE>(inbox->GetData(), inbox->GetData() + inbox->GetDataSize());
    }

    // The scheduler's mail change recorder is not part of this program: each
    // of these writes the shadow marks it writes for the person's action.
    void RecordRead(const DeviceMail &mail) {
        DWinMobShadowRecord record;
        ASSERT_EQ(shadow.GetRecordByOID(mail.record, &record), kNoError);
        ASSERT_EQ(record.SetReadChanged(true), kNoError);
        ASSERT_EQ(record.MarkModified(), kNoError);
    }
    void RecordTrashed(const DeviceMail &mail) {
        DWinMobShadowRecord record;
        ASSERT_EQ(shadow.GetRecordByOID(mail.record, &record), kNoError);
        ASSERT_EQ(record.SetDeleted(true), kNoError);
        ASSERT_EQ(record.MarkModified(), kNoError);
    }
    void RecordMoved(const DeviceMail &mail, const std::vector<BYTE> &from, const std::vector<BYTE> &to) {
        DWinMobShadowRecord record;
        ASSERT_EQ(shadow.GetRecordByOID(mail.record, &record), kNoError);
        ASSERT_EQ(record.SetFolderID(to.data(), uint32_t(to.size())), kNoError);
        ASSERT_EQ(record.SetPreviousFolderID(from.data(), uint32_t(from.size())), kNoError);
        ASSERT_EQ(record.SetMoved(true), kNoError);
        ASSERT_EQ(record.MarkModified(), kNoError);
    }
    void RecordInOutbox(const std::vector<BYTE> &entryID) {
        std::vector<BYTE> outbox;
        ASSERT_EQ(MailGetBinary(manager->GetMsgStore(), PR_IPM_OUTBOX_ENTRYID, &outbox), S_OK);
        DWinMobShadowRecord record;
        ASSERT_EQ(shadow.NewRecord(&record), kNoError);
        ASSERT_EQ(record.SetLocalID(entryID.data(), uint32_t(entryID.size())), kNoError);
        ASSERT_EQ(shadow.WriteRecord(&record), kNoError);
        ASSERT_EQ(record.SetFolderID(outbox.data(), uint32_t(outbox.size())), kNoError);
        ASSERT_EQ(record.SetNew(true), kNoError);
    }

    // Which store folder holds the message now ("" when it is gone).
    std::string DeviceFolderOf(const std::vector<BYTE> &entryID) {
        ULONG type = 0;
        LPUNKNOWN unknown = nullptr;
        if (manager->GetMsgStore()->OpenEntry(ULONG(entryID.size()), MailEntryID(entryID), nullptr, 0, &type,
                                              &unknown) != S_OK ||
            unknown == nullptr)
            return "";
        auto *message = static_cast<IMessage *>(unknown);
        std::vector<BYTE> parent, folder;
        MailGetBinary(message, PR_PARENT_ENTRYID, &parent);
        message->Release();
        const ULONG tags[] = {PR_IPM_OUTBOX_ENTRYID, PR_IPM_SENTMAIL_ENTRYID, PR_IPM_WASTEBASKET_ENTRYID};
        const char *names[] = {"Outbox", "Sent Items", "Deleted Items"};
        for (int i = 0; i < 3; ++i)
            if (MailGetBinary(manager->GetMsgStore(), tags[i], &folder) == S_OK && folder == parent) return names[i];
        return "elsewhere";
    }

    // Marks a composed message as the device's mail program marks a reply
    // (or forward) to the message of that server id.
    void MarkAnswer(const std::vector<BYTE> &entryID, uint32_t storedSendType, const std::string &parentID) {
        IMsgStore *store = manager->GetMsgStore();
        ULONG type = 0;
        LPUNKNOWN unknown = nullptr;
        ASSERT_EQ(store->OpenEntry(ULONG(entryID.size()), MailEntryID(entryID), nullptr, MAPI_MODIFY, &type, &unknown),
                  S_OK);
        auto *message = static_cast<IMessage *>(unknown);
        ULONG sendTag = 0, parentTag = 0;
        EXPECT_EQ(GetMAPIPropertyIDFromName(store, kPropNameSendType, PT_LONG, &sendTag), kNoError);
        EXPECT_EQ(GetMAPIPropertyIDFromName(store, kPropNameParentServerID, PT_UNICODE, &parentTag), kNoError);
        EXPECT_EQ(SetMAPIMessageULONGProprty(message, sendTag, storedSendType), kNoError);
        const std::u16string wide(parentID.begin(), parentID.end());
        SPropValue id = {};
        id.ulPropTag = parentTag;
        id.Value.lpszW = const_cast<WCHAR *>(wide.c_str());
        EXPECT_EQ(MailSetProp(message, &id), S_OK);
        EXPECT_EQ(message->SaveChanges(0), S_OK);
        message->Release();
    }

    std::vector<unsigned> Find(const std::string &user, const std::string &password, const std::string &mailbox,
                               const std::string &criteria) {
        return ImapSearch(Peer(), user, password, mailbox, criteria);
    }
    std::vector<unsigned> Alice(const std::string &mailbox, const std::string &criteria) {
        return Find(Peer().user, Peer().password, mailbox, criteria);
    }

    // Removes every mail under this test's subjects from the mailboxes it
    // may have reached.
    void RemoveOwnMail() {
        struct Box {
            std::string user, password, mailbox;
        } boxes[] = {{Peer().user, Peer().password, "INBOX"},
                     {Peer().user, Peer().password, "Projects"},
                     {Peer().user, Peer().password, "Trash"},
                     {Peer().user, Peer().password, "Sent"},
                     {kBob, kBobPassword, "INBOX"}};
        for (const Box &box : boxes) {
            const std::vector<unsigned> uids =
                ImapSearch(Peer(), box.user, box.password, box.mailbox, "SUBJECT " + Quoted(tag));
            if (uids.empty()) continue;
            std::string set;
            for (unsigned uid : uids) set += (set.empty() ? "" : ",") + std::to_string(uid);
            ImapRun(Peer(), box.user, box.password, box.mailbox, "UID STORE " + set + " +FLAGS.SILENT (\\Deleted)");
            ImapRun(Peer(), box.user, box.password, box.mailbox, "EXPUNGE");
        }
    }

    struct Quiet : IOutlookManagerClient {
        void OutlookManager_ReportStatus(DStatusData *, uint32_t) override {}
    } quiet;
    std::unique_ptr<DWinMobMessageManager> manager;
    DWinMobShadowDB shadow;
    std::string tag;

private:
    std::string m_subjectPrefix;
};

#endif
