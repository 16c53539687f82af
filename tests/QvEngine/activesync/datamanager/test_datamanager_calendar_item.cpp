// The calendar mapping of a meeting's own fields: server data into the fake
// calendar store's meetings (each field's rule and default, the coded
// values, the time zone), the ApplicationData a device meeting goes out
// with, and the change list of a calendar Sync.
#include <cctype>

#include "CalendarTestSupport.h"
#include "DASDP_SyncResponse.h"
#include "TimeZoneBase64.h"

namespace {

std::string ZoneText(const TIME_ZONE_INFORMATION &zone) {
    char *text = nullptr;
    EXPECT_EQ(EncodeTimeZoneBase64(&zone, &text), kNoError);
    std::string kept = text != nullptr ? text : "";
    delete[] text;
    return kept;
}

bool SameZone(const TIME_ZONE_INFORMATION &a, const TIME_ZONE_INFORMATION &b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A meeting as a device holds it, every field away from its default.
void SeedMeeting(MeetingData &m) {
    m.subject = "Plan";
    m.location = "Room";
    m.body = "Hi";
    m.bodyChanged = true;
    m.uid = "U1";
    m.categories = {"Work", "Blue"};
    m.attendees = {{"Ann", "ann@example.test"}, {"", "bo@example.test"}};
    m.start = DateRecord(2009, 3, 4, 10);
    m.end = DateRecord(2009, 3, 4, 11);
    m.reminder = 15;
    m.reminderSet = true;
    m.allDay = true;
    m.sensitivity = 2;
    m.busy = 3;
    m.meetingStatus = 1;
    m.zone = EasternZone();
}

class CalendarItemTest : public CalendarTest {};

TEST_F(CalendarItemTest, ServerDataSetsEveryFieldAndMissingTagsSetTheirDefaults) {
    const TIME_ZONE_INFORMATION eastern = EasternZone();
    const std::string full =
        Cal("TimeZone", ZoneText(eastern)) + Cal("StartTime", "20090304T150000Z") +
        Cal("EndTime", "20090305T150000Z") + Cal("AllDayEvent", "1") + Cal("Subject", "Board \xC3\xA9t\xC3\xA9") +
        Cal("Organizer_Name", "Org") + Cal("Organizer_Email", "org@example.test") +
        "<Attendees xmlns=\"Calendar:\"><Attendee><Attendee_Email>a@example.test</Attendee_Email><Attendee_Name>A</Attendee_Name></Attendee>"
        "<Attendee><Attendee_Email>b@example.test</Attendee_Email></Attendee></Attendees>" +
        Cal("Location", "Hall") + Cal("Body", "Agenda") + Cal("UID", "uid-1") + Cal("Sensitivity", "2") +
        Cal("BusyStatus", "3") + Cal("MeetingStatus", "3") +
        "<Categories xmlns=\"Calendar:\"><Category>Red</Category><Category>Big</Category></Categories>" +
        Cal("Reminder", "30");
    ASSERT_EQ(Apply("Add", "e1", full), activeSyncErrWaitForCallback);
    MeetingData &m = MeetingOf(calendar, "e1");
    EXPECT_TRUE(SameZone(m.zone, eastern));
    EXPECT_EQ(m.start.tm_hour, 15);
    EXPECT_EQ(m.start.tm_mday, 4);
    EXPECT_EQ(m.end.tm_mday, 5);
    EXPECT_TRUE(m.allDay);
    EXPECT_EQ(m.subject, "Board \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(m.organizerName, "Org");
    EXPECT_EQ(m.organizerEmail, "org@example.test");
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(m.attendees, (Pairs{{"A", "a@example.test"}, {"", "b@example.test"}}));
    EXPECT_EQ(m.location, "Hall");
    EXPECT_EQ(m.body, "Agenda");
    EXPECT_EQ(m.uid, "uid-1");
    EXPECT_EQ(m.sensitivity, 2u);
    EXPECT_EQ(m.busy, 3u);
    EXPECT_EQ(m.meetingStatus, 3u);
    EXPECT_EQ(m.categories, (std::vector<std::string>{"Red", "Big"}));
    EXPECT_TRUE(m.reminderSet);
    EXPECT_EQ(m.reminder, 30u);
    EXPECT_FALSE(m.recurring);
    EXPECT_EQ(calendar.records["e1"].commits, 1);
    EXPECT_TRUE(Logged("Subject: Board"));
    EXPECT_TRUE(Logged("Organizer: Org"));
    EXPECT_TRUE(Logged("Location: Hall"));
    EXPECT_TRUE(Logged("Note: Agenda"));
    EXPECT_TRUE(Logged("Start Time : "));

    // A Change that carries only a subject: every other field to its default,
    // the times as they were.
    ASSERT_EQ(Apply("Change", "e1", Cal("Subject", "Only")), activeSyncErrWaitForCallback);
    EXPECT_EQ(m.subject, "Only");
    EXPECT_EQ(m.start.tm_hour, 15);
    EXPECT_FALSE(m.allDay);
    EXPECT_TRUE(m.attendees.empty());
    EXPECT_EQ(m.location, "");
    EXPECT_EQ(m.body, "");
    EXPECT_EQ(m.uid, "");
    EXPECT_EQ(m.sensitivity, 0u);
    EXPECT_EQ(m.busy, 2u);
    EXPECT_EQ(m.meetingStatus, 0u);
    EXPECT_TRUE(m.categories.empty());
    EXPECT_FALSE(m.reminderSet);
    EXPECT_EQ(m.organizerName, "");
    EXPECT_EQ(calendar.records["e1"].commits, 2);
}

TEST_F(CalendarItemTest, CodedValuesAndTheirEdges) {
    struct Case {
        const char *what;
        std::string data;
        std::function<bool(const MeetingData &)> holds;
        const char *log;
    } cases[] = {
        {"22 hours stay timed",
         Cal("StartTime", "20090304T000000Z") + Cal("EndTime", "20090304T220000Z") + Cal("AllDayEvent", "1"),
         [](const MeetingData &m) { return !m.allDay; }, nullptr},
        {"23 hours make a day",
         Cal("StartTime", "20090304T000000Z") + Cal("EndTime", "20090304T230000Z") + Cal("AllDayEvent", "1"),
         [](const MeetingData &m) { return m.allDay; }, nullptr},
        {"a day not asked for",
         Cal("StartTime", "20090304T000000Z") + Cal("EndTime", "20090305T000000Z") + Cal("AllDayEvent", "0"),
         [](const MeetingData &m) { return !m.allDay; }, nullptr},
        {"MeetingStatus 9 is 1", Cal("MeetingStatus", "9"), [](const MeetingData &m) { return m.meetingStatus == 1; },
         "unrecognized MeetingStatus : 57"},
        {"MeetingStatus 4 is 0", Cal("MeetingStatus", "4"), [](const MeetingData &m) { return m.meetingStatus == 0; },
         "unrecognized MeetingStatus : 52"},
        {"MeetingStatus 7 is 5", Cal("MeetingStatus", "7"), [](const MeetingData &m) { return m.meetingStatus == 5; },
         nullptr},
        {"Sensitivity 7 is 0", Cal("Sensitivity", "7"), [](const MeetingData &m) { return m.sensitivity == 0; },
         "unrecognized Sensitivity : 55"},
        {"BusyStatus x is busy", Cal("BusyStatus", "x"), [](const MeetingData &m) { return m.busy == 2; },
         "unrecognized Busy Status : 120"},
        {"BusyStatus 0 is free", Cal("BusyStatus", "0"), [](const MeetingData &m) { return m.busy == 0; }, nullptr},
        {"an empty Reminder is off", "<Reminder xmlns=\"Calendar:\"/>",
         [](const MeetingData &m) { return !m.reminderSet; }, nullptr},
        {"only one time leaves both", Cal("StartTime", "20100101T000000Z"),
         [](const MeetingData &m) { return m.start.tm_year == 109; }, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        MeetingData &m = MeetingOf(calendar, "e1");
        m.start = DateRecord(2009, 1, 1, 9);
        m.end = DateRecord(2009, 1, 1, 10);
        ASSERT_EQ(Apply("Change", "e1", c.data), activeSyncErrWaitForCallback);
        EXPECT_TRUE(c.holds(MeetingOf(calendar, "e1")));
        if (c.log != nullptr) {
            EXPECT_TRUE(Logged(c.log)) << Log();
        }
    }
}

TEST_F(CalendarItemTest, TimeZoneIsTheServersOnlyWhenWhole) {
    TIME_ZONE_INFORMATION held = EasternZone();
    held.Bias = -60;
    ASSERT_EQ(Prefs().SetTimeZone(&held), kNoError);
    TIME_ZONE_INFORMATION other = EasternZone();
    const std::string whole = ZoneText(other);
    struct Case {
        const char *what;
        std::string data;
        TIME_ZONE_INFORMATION expected;
    } cases[] = {
        {"none: the held zone", Cal("Subject", "s"), held},
        {"whole", Cal("TimeZone", whole), other},
        // 171 bytes, and garbage: the held zone, never a mix.
        {"short", Cal("TimeZone", whole.substr(0, 228)), held},
        {"not base64", Cal("TimeZone", "!!!!"), held},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        MeetingOf(calendar, "e1").zone = TIME_ZONE_INFORMATION{};
        ASSERT_EQ(Apply("Change", "e1", c.data), activeSyncErrWaitForCallback);
        EXPECT_TRUE(SameZone(MeetingOf(calendar, "e1").zone, c.expected));
    }
    EXPECT_TRUE(Logged("Timezone is no time-zone record, kept the held one"));
}

TEST_F(CalendarItemTest, WithNoZoneHeldAMeetingWithoutOneTakesTheDevicesZone) {
    ASSERT_FALSE(Prefs().IsTimeZoneSet());
    TIME_ZONE_INFORMATION device = EasternZone();
    device.Bias = 480;
    ASSERT_TRUE(SetTimeZoneInformation(&device));
    TIME_ZONE_INFORMATION expected = {};
    GetTimeZoneInformation(&expected);
    ASSERT_EQ(Apply("Change", "e1", Cal("Subject", "s")), activeSyncErrWaitForCallback);
    EXPECT_TRUE(SameZone(MeetingOf(calendar, "e1").zone, expected));
    EXPECT_EQ(MeetingOf(calendar, "e1").zone.Bias, 480);
}

TEST_F(CalendarItemTest, ItemsWithoutDataOrWithBadDatesAreSkippedAndLogged) {
    DASDP_SyncResponse *record = nullptr;
    uint32_t added = 99;
    client.onRecord = [&](DClientResponse *r) {
        if ((record = dynamic_cast<DASDP_SyncResponse *>(r)) != nullptr) added = record->GetAddedCount();
    };
    const std::string inner =
        "<Commands><Add><ServerId>n1</ServerId></Add>"
        "<Add><ServerId>n2</ServerId><ApplicationData>" + Cal("Subject", "Bad date") + Cal("StartTime", "2009x") +
        Cal("EndTime", "20090101T000000Z") + "</ApplicationData></Add>"
        "<Add><ServerId>n3</ServerId><ApplicationData>" + Cal("Subject", "Fine") + "</ApplicationData></Add>"
        "<Change><ServerId>e9</ServerId><Status>7</Status></Change></Commands>";
    calendar.records["e9"];
    ASSERT_EQ(Answer(kCmdCalendarSync, Calendar("C2", inner)), activeSyncErrWaitForCallback);
    // Only the good one is made; the others are not counted as added.
    EXPECT_EQ(added, 1u);
    EXPECT_EQ(calendar.records["n3"].commits, 1);
    EXPECT_EQ(calendar.records["n1"].commits, 0);
    EXPECT_EQ(calendar.records["n2"].commits, 0);
    EXPECT_EQ(calendar.records["e9"].commits, 0);
    EXPECT_TRUE(Logged("No item data is present!\n"));
    EXPECT_TRUE(Logged("[text 22]"));
    EXPECT_TRUE(Logged("[text 23] Bad date"));
    EXPECT_TRUE(Logged("Conflict matching the client and server object.\n"));
    // The answer is applied all the same: its key is kept.
    EXPECT_EQ(Folder("cal")->GetString(kFolderFieldSyncKey), std::string("C2"));
}

TEST_F(CalendarItemTest, AMeetingTheServerRefusedIsLoggedAndKeptNew) {
    MeetingOf(calendar, "local1").subject = "Mine";
    calendar.records["local1"].isNew = true;
    ASSERT_EQ(Answer(kCmdCalendarSync,
                     Calendar("C2", "<Responses><Add><ClientId>local1</ClientId><Status>6</Status></Add></Responses>")),
              activeSyncErrWaitForCallback);
    EXPECT_TRUE(calendar.records["local1"].keptNew);
    EXPECT_TRUE(Logged("[text 22]\n[text 23] Mine\n[text 24] "));
}

TEST_F(CalendarItemTest, MeetingGoesOutWithItsApplicationDataInOrder) {
    SeedMeeting(MeetingOf(calendar, "e1"));
    const TIME_ZONE_INFORMATION eastern = EasternZone();
    const std::string expected = SyncOf(
        "<Commands><Change><ServerId>e1</ServerId><ApplicationData>" + Cal("TimeZone", ZoneText(eastern)) +
        Cal("AllDayEvent", "1") +
        "<Attendees xmlns=\"Calendar:\"><Attendee><Attendee_Email>ann@example.test</Attendee_Email><Attendee_Name>Ann</Attendee_Name></Attendee>"
        "<Attendee><Attendee_Email>bo@example.test</Attendee_Email><Attendee_Name/></Attendee></Attendees>" +
        Cal("Body", "Hi") + Cal("BusyStatus", "3") +
        "<Categories xmlns=\"Calendar:\"><Category>Work</Category><Category>Blue</Category></Categories>" +
        Cal("DTStamp", "STAMP") + Cal("EndTime", "20090304T110000Z") + Cal("Location", "Room") +
        Cal("MeetingStatus", "1") + Cal("Reminder", "15") + Cal("Sensitivity", "2") + Cal("Subject", "Plan") +
        Cal("StartTime", "20090304T100000Z") + Cal("UID", "U1") + "</ApplicationData></Change></Commands>");
    EXPECT_TRUE(SameXml(expected, BuildChanges({"e1"})));
    EXPECT_EQ(stamp.size(), 16u);
    EXPECT_TRUE(Logged("Send MODIFIED\n"));

    // Unchanged body, empty texts, no reminder, odd codes: left out or defaulted.
    MeetingData &m = MeetingOf(calendar, "e1");
    m = MeetingData{};
    m.start = DateRecord(2009, 3, 4, 10);
    m.end = DateRecord(2009, 3, 4, 11);
    m.busy = 7;
    m.sensitivity = 9;
    m.meetingStatus = 4;
    m.body = "kept";
    const std::string plain = SyncOf("<Commands><Change><ServerId>e1</ServerId><ApplicationData>" +
                                     Cal("TimeZone", ZoneText(TIME_ZONE_INFORMATION{})) + Cal("AllDayEvent", "0") +
                                     Cal("BusyStatus", "2") + Cal("DTStamp", "STAMP") +
                                     Cal("EndTime", "20090304T110000Z") + Cal("MeetingStatus", "0") +
                                     Cal("Sensitivity", "0") + Cal("StartTime", "20090304T100000Z") +
                                     "</ApplicationData></Change></Commands>");
    EXPECT_TRUE(SameXml(plain, BuildChanges({"e1"})));
}

TEST_F(CalendarItemTest, ChangeListSendsDeletesNewItemsAndChanges) {
    calendar.records["gone"].deleted = true;
    calendar.records["local"].deleted = true;  // never reached the server: no Delete
    calendar.records["fresh"].isNew = true;
    calendar.records["edited"].modified = true;
    MeetingOf(calendar, "fresh").subject = "New one";
    MeetingOf(calendar, "edited").subject = "Edited";
    // "local" has an id the server never gave: make it one no Delete may carry.
    PimRecord kept = calendar.records["local"];
    calendar.records.erase("local");
    calendar.records[""] = kept;
    const std::string built = BuildChanges({"gone", "", "fresh", "edited"});
    // One Delete, one Add with a 32-digit client id, one Change.
    const size_t del = built.find("<Delete><ServerId>gone</ServerId></Delete>");
    const size_t add = built.find("<Add><ClientId>");
    const size_t change = built.find("<Change><ServerId>edited</ServerId>");
    ASSERT_NE(del, std::string::npos) << built;
    ASSERT_NE(add, std::string::npos) << built;
    ASSERT_NE(change, std::string::npos) << built;
    EXPECT_LT(del, add);
    EXPECT_LT(add, change);
    EXPECT_EQ(built.find("<Delete><ServerId></ServerId>"), std::string::npos);
    const std::string clientID = built.substr(add + 15, 32);
    EXPECT_EQ(built.substr(add + 47, 11), "</ClientId>") << built;
    for (char c : clientID) EXPECT_TRUE(std::isdigit(c) || (c >= 'a' && c <= 'f')) << clientID;
    // The client id is the item's id until the server names it.
    ASSERT_EQ(calendar.records.count(clientID), 1u);
    EXPECT_EQ(MeetingOf(calendar, clientID).subject, "New one");
    EXPECT_EQ(calendar.records.count("fresh"), 0u);
    // Every item marked sent and written back; none settled before the answer.
    for (const char *id : {"gone", "", "edited"}) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(calendar.records[id].sent);
        EXPECT_EQ(calendar.records[id].commits, 1);
    }
    EXPECT_TRUE(calendar.records[clientID].sent);
    EXPECT_TRUE(calendar.records["edited"].modified);
    EXPECT_EQ(client.records.back().more, 0);
    EXPECT_TRUE(Logged("Send DELETED\n"));
    EXPECT_TRUE(Logged("Send NEW\n"));
}

TEST_F(CalendarItemTest, FiftyChangesFitOneSyncAndTheFiftyFirstWaits) {
    for (int count : {50, 51}) {
        SCOPED_TRACE(count);
        calendar.records.clear();
        std::vector<std::string> ids;
        for (int i = 0; i < count; ++i) {
            ids.push_back("m" + std::to_string(100 + i));
            calendar.records[ids.back()].modified = true;
        }
        int more = -1;
        const std::string built = BuildChanges(ids, &more);
        size_t changes = 0;
        for (size_t at = built.find("<Change>"); at != std::string::npos; at = built.find("<Change>", at + 1)) ++changes;
        EXPECT_EQ(changes, 50u);
        // The mark is set with the fiftieth, whether or not one is left.
        EXPECT_EQ(more, 1);
        EXPECT_TRUE(calendar.records["m149"].sent);
        if (count == 51) {
            EXPECT_FALSE(calendar.records["m150"].sent);
            EXPECT_EQ(calendar.records["m150"].commits, 0);
        }
    }
}

TEST_F(CalendarItemTest, NoChangedItemMeansNoCommands) {
    const std::string built = BuildChanges({});
    EXPECT_TRUE(SameXml(SyncOf(""), built));
}

}  // namespace
