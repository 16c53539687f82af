// The e-mail mapping: a server message's ApplicationData written into a
// real message of the provisioned store's Inbox, field by field, and read
// back from the store. Hostile texts: time-zone records of the wrong size
// or no base64 at all, bare addresses, attachment lists that end early.
#include <cstring>
#include <functional>

#include "Base64.h"
#include "MailItemSupport.h"
#include "TimeZoneBase64.h"

namespace {

const char *const kMeetingClass = "IPM.Schedule.Meeting.Request";

std::string Base64Of(const std::vector<BYTE> &bytes) {
    char *text = Base64Encode(bytes.data(), uint32_t(bytes.size()), nullptr);
    std::string out = text != nullptr ? text : "";
    delete[] text;
    return out;
}

std::string MeetingRequest(const std::string &inner) {
    return EmailElement("MessageClass", kMeetingClass) + "<MeetingRequest xmlns=\"Email:\">" + inner +
           "</MeetingRequest>";
}

const std::string kMeetingTimes = EmailElement("StartTime", "2009-05-06T14:00:00.000Z") +
                                  EmailElement("EndTime", "2009-05-06T15:30:00.000Z");

class EMailItemTest : public InboxMailTest {};

TEST_F(EMailItemTest, EachServerElementReachesItsField) {
    // Element of the answer (beside a Subject) -> what the stored message shows.
    using Read = std::function<std::string(StoredMail &)>;
    const Read subject = [](StoredMail &m) { return m.Text(&IOutlookMessage::GetSubject); };
    const Read from = [](StoredMail &m) { return m.Text(&IOutlookMessage::GetFrom); };
    const Read body = [](StoredMail &m) { return m.Text(&IOutlookMessage::GetBody); };
    const Read to = [](StoredMail &m) { return m.Recipients(true); };
    const Read cc = [](StoredMail &m) { return m.Recipients(false); };
    const Read date = [](StoredMail &m) { return m.Time(PR_MESSAGE_DELIVERY_TIME); };
    const Read truncated = [](StoredMail &m) { return std::to_string(m.Flag(&IOutlookMessage::IsBodyTruncated)); };
    const Read importance = [](StoredMail &m) {
        uint32_t value = 99;
        m.message->GetImportance(&value);
        return std::to_string(value);
    };
    const Read read = [](StoredMail &m) { return std::to_string(m.Flag(&IOutlookMessage::IsRead)); };
    const Read meeting = [](StoredMail &m) { return std::to_string(m.Flag(&IOutlookMessage::IsMeetingRequest)); };
    const Read attachments = [](StoredMail &m) { return std::to_string(m.Flag(&IOutlookMessage::HasAttachments)); };
    struct Case {
        const char *what;
        std::string element;
        Read read;
        std::string expected;
    } cases[] = {
        {"subject", "", subject, "Mail"},
        {"from", EmailElement("From", "Ann Smith  <ann@example.test>"), from, "\"Ann Smith\" <ann@example.test>"},
        {"from bare", EmailElement("From", "ann@example.test"), from, "ann@example.test"},
        {"body", EmailElement("Body", "Hello there"), body, "Hello there"},
        {"received", EmailElement("DateReceived", "2009-03-04T05:06:07.000Z"), date, "2009-03-04 05:06:07"},
        {"to", EmailElement("To", "Bo <bo@example.test>; \"Cy\" <cy@example.test>"), to,
         // A piece that starts with a quote stays as it came, blank and all.
         "\"Bo\" <bo@example.test>| \"Cy\" <cy@example.test>"},
        {"cc", EmailElement("Cc", "Di <di@example.test>"), cc, "\"Di\" <di@example.test>"},
        {"truncated", EmailElement("BodyTruncated", "1"), truncated, "1"},
        {"not truncated", EmailElement("BodyTruncated", "0"), truncated, "0"},
        {"importance low", EmailElement("Importance", "0"), importance, "0"},
        {"importance high", EmailElement("Importance", "2"), importance, "2"},
        {"importance unknown", EmailElement("Importance", "5"), importance, "1"},
        {"read", EmailElement("Read", "1"), read, "1"},
        {"unread", EmailElement("Read", "0"), read, "0"},
        {"meeting request", MeetingRequest(kMeetingTimes), meeting, "1"},
        {"class alone", EmailElement("MessageClass", kMeetingClass), meeting, "0"},
        {"other class",
         EmailElement("MessageClass", "IPM.Note") + "<MeetingRequest xmlns=\"Email:\">" + kMeetingTimes +
             "</MeetingRequest>",
         meeting, "0"},
        {"attachments",
         "<Attachments xmlns=\"Email:\"><Attachment><AttName>a/1</AttName><DisplayName>a.txt</DisplayName>"
         "<AttSize>100</AttSize></Attachment></Attachments>",
         attachments, "1"},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string id = "t:" + std::to_string(++n);
        ASSERT_TRUE(AddMail(id, EmailElement("Subject", "Mail") + c.element));
        auto stored = Stored(id.c_str());
        ASSERT_NE(stored->message, nullptr);
        EXPECT_EQ(c.read(*stored), c.expected);
    }
    EXPECT_NE(Log().find("unrecognized importance : 5"), std::string::npos);
}

TEST_F(EMailItemTest, BodiesKeepTheirBytesAndATruncatedOneIsCompletedByAFetch) {
    // UTF-8 text, every byte kept. (The store keeps no body size of its
    // own: it answers the stored body's length.)
    const std::string utf8 = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x93 \xE6\x97\xA5\xE6\x9C\xAC";
    ASSERT_TRUE(AddMail("b:1", EmailElement("Body", utf8)));
    {
        auto stored = Stored("b:1");
        ASSERT_NE(stored->message, nullptr);
        EXPECT_EQ(stored->Text(&IOutlookMessage::GetBody), utf8);
    }
    // A truncated body.
    ASSERT_TRUE(AddMail("b:2", EmailElement("Body", "The first part") + EmailElement("BodySize", "50000") +
                                   EmailElement("BodyTruncated", "1")));
    {
        auto stored = Stored("b:2");
        ASSERT_NE(stored->message, nullptr);
        EXPECT_TRUE(stored->Flag(&IOutlookMessage::IsBodyTruncated));
        // The user asks for the rest.
        ASSERT_EQ(stored->message->SetRemainderRequested(true), kNoError);
        ASSERT_EQ(stored->message->Commit(), kNoError);
    }
    // The Fetch brings the whole body: neither truncated nor asked for any more.
    const std::string whole = "The first part, and the rest.";
    ASSERT_EQ(Sync(MailCommand("Fetch", "b:2",
                               EmailElement("Body", whole) + EmailElement("BodySize", std::to_string(whole.size())) +
                                   EmailElement("BodyTruncated", "0"))),
              activeSyncErrWaitForCallback);
    auto fetched = Stored("b:2");
    ASSERT_NE(fetched->message, nullptr);
    EXPECT_EQ(fetched->Text(&IOutlookMessage::GetBody), whole);
    EXPECT_FALSE(fetched->Flag(&IOutlookMessage::IsBodyTruncated));
    EXPECT_FALSE(fetched->Flag(&IOutlookMessage::IsRemainderRequested));
}

TEST_F(EMailItemTest, AttachmentsAreListedWithTheirSizeEstimate) {
    auto attachment = [](const std::string &name, const std::string &display, const std::string &size) {
        return "<Attachment><AttName>" + XmlText(name) + "</AttName><DisplayName>" + XmlText(display) +
               "</DisplayName><AttSize>" + size + "</AttSize><AttMethod>1</AttMethod></Attachment>";
    };
    ASSERT_TRUE(AddMail("a:1", EmailElement("From", "x@example.test") + "<Attachments xmlns=\"Email:\">" +
                                   attachment("srv/1", "report.pdf", "100") +
                                   attachment("srv/2", "\xC3\xA4rger.txt", "50") +
                                   attachment("srv/3", "big.bin", "1000000") + "</Attachments>"));
    auto stored = Stored("a:1");
    ASSERT_NE(stored->message, nullptr);
    EXPECT_TRUE(stored->Flag(&IOutlookMessage::HasAttachments));
    DListNode<DAttachmentData> list;
    ASSERT_EQ(stored->message->GetAttachmentsList(&list), kNoError);
    std::vector<std::string> seen;
    for (DListNode<DAttachmentData> *node = &list; node != nullptr; node = node->next)
        seen.push_back(Utf8Of(node->item->Name()) + "|" + Utf8Of(node->item->DisplayName()) + "|" +
                       std::to_string(node->item->GetSize()));
    list.Free();
    // 100 * 0.7308 - 48.732 = 24.348; 50 would give less than nothing and stays.
    EXPECT_EQ(seen, (std::vector<std::string>{"srv/1|report.pdf|24", "srv/2|\xC3\xA4rger.txt|50",
                                              "srv/3|big.bin|730751"}));

    // The list ends at the first attachment without content.
    ASSERT_TRUE(AddMail("a:2", EmailElement("From", "x@example.test") +
                                   "<Attachments xmlns=\"Email:\"><Attachment/>" + attachment("srv/4", "late", "9") +
                                   "</Attachments>"));
    auto empty = Stored("a:2");
    ASSERT_NE(empty->message, nullptr);
    EXPECT_FALSE(empty->Flag(&IOutlookMessage::HasAttachments));
    DListNode<DAttachmentData> none;
    ASSERT_EQ(empty->message->GetAttachmentsList(&none), kNoError);
    EXPECT_EQ(none.Count(), 0u);
    none.Free();
}

TEST_F(EMailItemTest, AMeetingRequestCarriesItsTimesAndPlace) {
    ASSERT_TRUE(AddMail("m:1", EmailElement("From", "Org <org@example.test>") +
                                   MeetingRequest(kMeetingTimes + EmailElement("Location", "Room 4 \xE2\x80\x93 B"))));
    auto stored = Stored("m:1");
    ASSERT_NE(stored->message, nullptr);
    EXPECT_TRUE(stored->Flag(&IOutlookMessage::IsMeetingRequest));
    EXPECT_EQ(stored->Time(PR_START_DATE), "2009-05-06 14:00:00");
    EXPECT_EQ(stored->Time(PR_END_DATE), "2009-05-06 15:30:00");
    EXPECT_EQ(stored->Named(u"PR_SPLUS_WHERE"), "Room 4 \xE2\x80\x93 B");
    EXPECT_NE(Log().find("Meeting Start Time : 2009-05-06T14:00:00.000Z"), std::string::npos);

    // One time alone is no meeting time; a later answer with a From and no
    // meeting request makes the message an ordinary one.
    ASSERT_TRUE(AddMail("m:2", MeetingRequest(EmailElement("StartTime", "2009-05-06T14:00:00.000Z"))));
    auto half = Stored("m:2");
    EXPECT_TRUE(half->Flag(&IOutlookMessage::IsMeetingRequest));
    EXPECT_EQ(half->Time(PR_START_DATE), "");
    half.reset();
    ASSERT_EQ(Sync(MailCommand("Change", "m:2", EmailElement("From", "org@example.test"))),
              activeSyncErrWaitForCallback);
    EXPECT_FALSE(Stored("m:2")->Flag(&IOutlookMessage::IsMeetingRequest));
}

TEST_F(EMailItemTest, ATimeZoneOfTheWrongShapeIsRefusedAndTheHeldOneStays) {
    // The held record: recognisable bytes.
    std::vector<BYTE> held(kTimeZoneRecordSize);
    for (size_t i = 0; i < held.size(); ++i) held[i] = BYTE(i + 1);
    ASSERT_EQ(Prefs().SetTimeZone(held.data()), kNoError);
    const char *const refused = "TimeZone is no time-zone record";
    struct Case {
        const char *what;
        std::string text;
        bool accepted;
    } cases[] = {
        {"whole", Base64Of(std::vector<BYTE>(kTimeZoneRecordSize, 0x11)), true},
        {"short", Base64Of(std::vector<BYTE>(40, 0x22)), false},
        {"long", Base64Of(std::vector<BYTE>(400, 0x33)), false},
        {"not base64", "!!**not a zone**!!", false},
        {"base64 cut by junk", Base64Of(std::vector<BYTE>(kTimeZoneRecordSize, 0x44)).substr(0, 60) + "#" +
                                   Base64Of(std::vector<BYTE>(kTimeZoneRecordSize, 0x44)).substr(60),
         false},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        global->log.text.clear();
        const std::string id = "z:" + std::to_string(++n);
        ASSERT_TRUE(AddMail(id, MeetingRequest(EmailElement("TimeZone", c.text) + kMeetingTimes)));
        EXPECT_EQ(Log().find(refused) == std::string::npos, c.accepted);
        // The meeting itself is stored all the same, and the held zone is untouched.
        auto stored = Stored(id.c_str());
        ASSERT_NE(stored->message, nullptr);
        EXPECT_TRUE(stored->Flag(&IOutlookMessage::IsMeetingRequest));
        EXPECT_EQ(stored->Time(PR_START_DATE), "2009-05-06 14:00:00");
        std::vector<BYTE> after(kTimeZoneRecordSize);
        ASSERT_EQ(Prefs().GetTimeZone(after.data()), kNoError);
        EXPECT_EQ(after, held);
    }
}

TEST_F(EMailItemTest, BareAddressesStayRecipients) {
    struct Case {
        const char *text;
        const char *expected;
    } cases[] = {
        {"a@example.test, b@example.test", "a@example.test|b@example.test"},
        {"  lone@example.test  ", "lone@example.test"},
        {"a@example.test;; ,b@example.test;", "a@example.test|b@example.test"},
        {"\"Lee, Bo\" <bo@example.test>, bare@example.test", "\"Lee, Bo\" <bo@example.test>|bare@example.test"},
        {"bare@example.test, Ann <ann@example.test>", "bare@example.test|\" Ann\" <ann@example.test>"},
        // An unquoted display name with a comma is still one recipient.
        {"Smith, John <js@example.test>", "\"Smith, John\" <js@example.test>"},
        {"Ann <ann@example.test>, Bob <bob@example.test>", "\"Ann\" <ann@example.test>|\" Bob\" <bob@example.test>"},
        {"Undisclosed recipients", "Undisclosed recipients"},
        {"a@example.test, b@example.test\\", "a@example.test|b@example.test\\"},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const std::string id = "r:" + std::to_string(++n);
        ASSERT_TRUE(AddMail(id, EmailElement("To", c.text) + EmailElement("Cc", c.text)));
        auto stored = Stored(id.c_str());
        ASSERT_NE(stored->message, nullptr);
        EXPECT_EQ(stored->Recipients(true), c.expected);
        EXPECT_EQ(stored->Recipients(false), c.expected);
    }
}

}  // namespace
