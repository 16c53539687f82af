// What a person does to mail on the device reaches the real ActiveSync
// server on loopback, checked in the server's own mail store over IMAP: a
// message read, deleted and moved after a first sync; a message written
// into the Outbox with an attachment, delivered to another user; a reply
// and a forward of a received message, which go out as smart commands so
// that the server links them to their original and adds its attachments.
// Each test works on mails it delivered itself, under subjects of its own,
// and removes them from the server when it is done.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PeerMailUpFixture.h"

namespace {

// A small file with every byte value a careless text path would mangle.
std::vector<BYTE> BinaryFile() {
    std::vector<BYTE> bytes;
    for (int i = 0; i < 300; ++i) bytes.push_back(BYTE((i * 7 + 13) % 256));
    bytes[5] = 0;
    bytes[6] = '\r';
    bytes[7] = '\n';
    return bytes;
}

std::vector<BYTE> Unbase64(const std::string &text) {
    std::vector<BYTE> out;
    uint32_t bits = 0;
    int have = 0;
    for (char c : text) {
        int v = -1;
        if (c >= 'A' && c <= 'Z') v = c - 'A';
        if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        if (c >= '0' && c <= '9') v = c - '0' + 52;
        if (c == '+') v = 62;
        if (c == '/') v = 63;
        if (v < 0) continue;
        bits = (bits << 6) | uint32_t(v);
        have += 6;
        if (have >= 8) {
            have -= 8;
            out.push_back(BYTE((bits >> have) & 0xFF));
        }
    }
    return out;
}

// The base64 content of the message's part whose headers name the file
// (up to the next boundary line), decoded; empty when there is none.
std::vector<BYTE> AttachmentBytes(const std::string &message, const std::string &fileName) {
    size_t at = message.find("filename=\"" + fileName + "\"");
    if (at == std::string::npos) at = message.find("filename=" + fileName);
    if (at == std::string::npos) return {};
    const size_t body = message.find("\r\n\r\n", at);
    if (body == std::string::npos) return {};
    const size_t end = message.find("\r\n--", body + 4);
    return Unbase64(message.substr(body + 4, end == std::string::npos ? std::string::npos : end - body - 4));
}

class PeerMailUpTest : public PeerMailUpFixture {
protected:
    PeerMailUpTest() : PeerMailUpFixture("VUP", "up") {}
};

TEST_F(PeerMailUpTest, ReadDeletedAndMovedOnTheDeviceAreSoOnTheServer) {
    const std::string read = Subject("read"), gone = Subject("gone"), moved = Subject("moved");
    for (const std::string &subject : {read, gone, moved})
        ASSERT_TRUE(DeliverMail(Peer(), Peer().user + "@example.test", subject)) << subject;
    RunEMail();
    if (HasFatalFailure()) return;
    OpenDevice();
    if (HasFatalFailure()) return;
    const DeviceMail readMail = InboxMail(read), goneMail = InboxMail(gone), movedMail = InboxMail(moved);
    for (const DeviceMail *mail : {&readMail, &goneMail, &movedMail}) {
        ASSERT_FALSE(mail->subject.empty()) << "not on the device after the first sync\n" << global->log.text;
        ASSERT_NE(mail->record, 0u);
    }
    const std::vector<BYTE> inboxID = InboxEntryID(), projectsID = FolderEntryID("Projects");
    ASSERT_FALSE(projectsID.empty());
    ASSERT_EQ(Alice("INBOX", "SEEN SUBJECT " + Quoted(read)).size(), 0u);

    ASSERT_EQ(vplat::MailUserReadMessage(kMailStore, readMail.entryID, true), S_OK);
    RecordRead(readMail);
    ASSERT_EQ(vplat::MailUserDeleteMessage(kMailStore, goneMail.entryID), S_OK);
    RecordTrashed(goneMail);
    ASSERT_EQ(vplat::MailUserMoveMessage(kMailStore, movedMail.entryID, projectsID), S_OK);
    RecordMoved(movedMail, inboxID, projectsID);
    manager.reset();
    shadow.Close();

    RunEMail();
    if (HasFatalFailure()) return;
    EXPECT_EQ(Alice("INBOX", "SEEN SUBJECT " + Quoted(read)).size(), 1u) << global->log.text;
    // Gone from the Inbox: expunged, or moved to Trash (deletes are moves).
    EXPECT_TRUE(Alice("INBOX", "UNDELETED SUBJECT " + Quoted(gone)).empty()) << global->log.text;
    EXPECT_EQ(Alice("Projects", "SUBJECT " + Quoted(moved)).size(), 1u) << global->log.text;
    EXPECT_TRUE(Alice("INBOX", "UNDELETED SUBJECT " + Quoted(moved)).empty());
}

TEST_F(PeerMailUpTest, OutboxMailWithAnAttachmentReachesItsRecipientWhole) {
    RunEMail();
    if (HasFatalFailure()) return;
    OpenDevice();
    if (HasFatalFailure()) return;
    const std::string subject = Subject("sent");
    const std::vector<BYTE> file = BinaryFile();
    std::vector<BYTE> entryID;
    ASSERT_EQ(vplat::MailUserComposeOutbox(kMailStore, {u"bob@example.test"}, {},
                                           std::u16string(subject.begin(), subject.end()), u"Here is the file.\r\n",
                                           {{u"blob.bin", file}}, &entryID),
              S_OK);
    RecordInOutbox(entryID);
    manager.reset();
    shadow.Close();

    RunEMail(kRunOptionSendOutgoing);
    if (HasFatalFailure()) return;
    const std::vector<unsigned> arrived = Find(kBob, kBobPassword, "INBOX", "SUBJECT " + Quoted(subject));
    ASSERT_EQ(arrived.size(), 1u) << global->log.text;
    const std::string message = ImapFetchMessage(Peer(), kBob, kBobPassword, "INBOX", arrived[0]);
    EXPECT_EQ(HeaderOf(message, "Subject"), subject);
    EXPECT_EQ(AttachmentBytes(message, "blob.bin"), file) << message;
    // Off the Outbox: filed in Sent Items, or deleted, as the preference says.
    OpenDevice();
    if (HasFatalFailure()) return;
    const std::string folder = DeviceFolderOf(entryID);
    EXPECT_TRUE(folder == "Sent Items" || folder.empty()) << folder;
}

TEST_F(PeerMailUpTest, ReplyAndForwardGoAsSmartCommandsLinkedToTheirOriginal) {
    const std::string original = Subject("original");
    const std::vector<BYTE> file = BinaryFile();
    ASSERT_TRUE(DeliverMail(Peer(), Peer().user + "@example.test", original, "report.bin", file));
    RunEMail();
    if (HasFatalFailure()) return;
    OpenDevice();
    if (HasFatalFailure()) return;
    const DeviceMail parent = InboxMail(original);
    ASSERT_FALSE(parent.serverID.empty()) << global->log.text;

    const std::string reply = Subject("reply"), forward = Subject("forward");
    struct Answer {
        std::string subject;
        uint32_t storedType;
    } answers[] = {{reply, kStoredSendTypeReply}, {forward, kStoredSendTypeForward}};
    for (const Answer &answer : answers) {
        std::vector<BYTE> entryID;
        ASSERT_EQ(vplat::MailUserComposeOutbox(kMailStore, {u"bob@example.test"}, {},
                                               std::u16string(answer.subject.begin(), answer.subject.end()),
                                               u"My answer.\r\n", {}, &entryID),
                  S_OK);
        MarkAnswer(entryID, answer.storedType, parent.serverID);
        RecordInOutbox(entryID);
    }
    manager.reset();
    shadow.Close();

    const size_t from = global->log.text.size();
    RunEMail(kRunOptionSendOutgoing);
    if (HasFatalFailure()) return;
    const std::string log = global->log.text.substr(from);
    size_t smart = 0;
    for (size_t at = log.find("EActiveSyncStep_EMailSmartSendCmd\n"); at != std::string::npos;
         at = log.find("EActiveSyncStep_EMailSmartSendCmd\n", at + 1))
        ++smart;
    EXPECT_EQ(smart, 2u) << log;

    // The device's text carries no link to the original: the server adds
    // it (and the forward's attachments) only for a smart command naming it.
    const std::string originalID = "<" + original + "@example.test>";
    for (const Answer &answer : answers) {
        SCOPED_TRACE(answer.subject);
        const std::vector<unsigned> arrived = Find(kBob, kBobPassword, "INBOX", "SUBJECT " + Quoted(answer.subject));
        ASSERT_EQ(arrived.size(), 1u) << log;
        const std::string message = ImapFetchMessage(Peer(), kBob, kBobPassword, "INBOX", arrived[0]);
        EXPECT_NE(HeaderOf(message, "References").find(originalID), std::string::npos) << message;
        if (answer.storedType == kStoredSendTypeReply) {
            EXPECT_EQ(HeaderOf(message, "In-Reply-To"), originalID) << message;
        } else {
            EXPECT_EQ(AttachmentBytes(message, "report.bin"), file) << message;
        }
    }
}

}  // namespace

TEST_F(PeerMailUpTest, AMeetingRequestAcceptedOnTheDeviceIsAcceptedOnTheServer) {
    // Bob invites alice: the server files the meeting in alice's calendar
    // and mails her the request.
    const std::string summary = Subject("invite");
    const std::string uid = "vup-invite-" + tag;
    const std::string event = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//vantrel-test//EN\r\nBEGIN:VEVENT\r\n"
                              "UID:" + uid + "\r\nDTSTAMP:20261211T000000Z\r\nDTSTART:20261228T150000Z\r\n"
                              "DTEND:20261228T160000Z\r\nSUMMARY:" + summary + "\r\n"
                              "ORGANIZER;CN=Bob Brown:mailto:bob@example.test\r\n"
                              "ATTENDEE;CN=Bob Brown;PARTSTAT=ACCEPTED:mailto:bob@example.test\r\n"
                              "ATTENDEE;CN=Alice Anderson;PARTSTAT=NEEDS-ACTION;RSVP=TRUE:mailto:alice@example.test\r\n"
                              "END:VEVENT\r\nEND:VCALENDAR\r\n";
    const std::string path = std::string(kBob) + "/Calendar/personal/" + uid + ".ics";
    ASSERT_LT(DavPut(Peer(), kBob, kBobPassword, path, "text/calendar", event).status, 300);
    RunEMail();
    if (HasFatalFailure()) return;
    OpenDevice();
    if (HasFatalFailure()) return;
    const DeviceMail request = InboxMail(summary, false);
    ASSERT_FALSE(request.subject.empty()) << global->log.text;

    // The person accepts. The scheduler's change recorder is not part of
    // this program: this writes the marks it writes for that action.
    DWinMobShadowRecord record;
    ASSERT_EQ(shadow.GetRecordByOID(request.record, &record), kNoError);
    bool meeting = false;
    ASSERT_EQ(record.IsFlagSet(kShadowFlagMeetingRequest, &meeting), kNoError);
    EXPECT_TRUE(meeting);
    ASSERT_EQ(record.SetMeetingResponse(1), kNoError);
    ASSERT_EQ(record.SetFlag(kShadowFlagMeetingResponsePending, true), kNoError);
    ASSERT_EQ(record.MarkModified(), kNoError);
    RunEMail();
    if (HasFatalFailure()) return;

    // Bob's copy of the meeting has alice's acceptance.
    const DavAnswer bobs = DavGet(Peer(), kBob, kBobPassword, path);
    ASSERT_EQ(bobs.status, 200);
    std::string alice;
    for (const std::string &line : DavPropertyLines(bobs.body, "ATTENDEE"))
        if (line.find("mailto:alice@example.test") != std::string::npos) alice = line;
    EXPECT_NE(alice.find("PARTSTAT=ACCEPTED"), std::string::npos) << alice << "\n" << global->log.text;
    DavDelete(Peer(), kBob, kBobPassword, path);
    DavDelete(Peer(), Peer().user, Peer().password, Peer().user + "/Calendar/personal/" + uid + ".ics");
}
