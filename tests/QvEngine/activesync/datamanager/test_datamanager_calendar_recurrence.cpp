// A recurring meeting both ways: the pattern of each type, the checks of the
// server's patterns, the occurrences the server changed or cancelled
// (applied one per step, each at the series' local clock across a daylight
// change), the occurrences a device meeting sends, and the calendar's time
// zone fixed from the first answer's majority.
#include "CalendarTestSupport.h"
#include "TimeZoneBase64.h"

namespace {

std::string Recurrence(const std::string &parts) { return "<Recurrence xmlns=\"Calendar:\">" + parts + "</Recurrence>"; }

std::string Part(const std::string &name, const std::string &text) {
    return "<Recurrence_" + name + ">" + text + "</Recurrence_" + name + ">";
}

// The element of that name and all it holds, from the built XML ("" when none).
std::string Element(const std::string &xml, const std::string &name) {
    for (size_t at = xml.find("<" + name); at != std::string::npos; at = xml.find("<" + name, at + 1)) {
        const char next = xml[at + name.size() + 1];
        if (next != ' ' && next != '>') continue;
        const std::string close = "</" + name + ">";
        const size_t end = xml.find(close, at);
        return end == std::string::npos ? std::string() : xml.substr(at, end + close.size() - at);
    }
    return {};
}

std::string ZoneText(const TIME_ZONE_INFORMATION &zone) {
    char *text = nullptr;
    EXPECT_EQ(EncodeTimeZoneBase64(&zone, &text), kNoError);
    std::string kept = text != nullptr ? text : "";
    delete[] text;
    return kept;
}

bool SameTime(const struct tm &a, const struct tm &b) {
    struct tm x = a, y = b;
    return timegm(&x) == timegm(&y);
}

class CalendarRecurrenceTest : public CalendarTest {};

TEST_F(CalendarRecurrenceTest, ServerPatternsOfEachTypeAndTheirChecks) {
    struct Case {
        const char *what;
        std::string parts;
        bool accepted;
        uint32_t type;
        uint16_t interval, mask, dayOfMonth, week, month;
        const char *log;
    } cases[] = {
        {"daily", Part("Type", "0") + Part("Interval", "2"), true, kRepeatDaily, 2, 0, 0, 0, 0, nullptr},
        {"working days", Part("Type", "0") + Part("Interval", "1") + Part("DayOfWeek", "62"), true, kRepeatDaily, 1, 62,
         0, 0, 0, nullptr},
        {"weekly", Part("Type", "1") + Part("Interval", "1") + Part("DayOfWeek", "2"), true, kRepeatWeekly, 1, 2, 0, 0,
         0, nullptr},
        {"monthly by date", Part("Type", "2") + Part("Interval", "3") + Part("DayOfMonth", "15"), true,
         kRepeatMonthlyByDate, 3, 0, 15, 0, 0, nullptr},
        {"monthly by day", Part("Type", "3") + Part("Interval", "1") + Part("DayOfWeek", "4") + Part("WeekOfMonth", "5"),
         true, kRepeatMonthlyByDays, 1, 4, 0, 5, 0, nullptr},
        // No Interval needed.
        {"yearly by date", Part("Type", "5") + Part("DayOfMonth", "4") + Part("MonthOfYear", "7"), true,
         kRepeatYearlyByDate, 1, 0, 4, 0, 7, nullptr},
        {"yearly by day",
         Part("Type", "6") + Part("Interval", "1") + Part("DayOfWeek", "8") + Part("WeekOfMonth", "2") +
             Part("MonthOfYear", "11"),
         true, kRepeatYearlyByDays, 1, 8, 0, 2, 11, nullptr},
        {"weekly without days", Part("Type", "1") + Part("Interval", "1"), false, 0, 0, 0, 0, 0, 0,
         "ERROR: SetMeetingRecurrence() - missing data for ERepeatWeekly\n"},
        {"yearly without month", Part("Type", "5") + Part("DayOfMonth", "4"), false, 0, 0, 0, 0, 0, 0,
         "ERROR: SetMeetingRecurrence() - missing data for ERepeatYearlyByDate\n"},
        {"monthly by day without week", Part("Type", "3") + Part("Interval", "1") + Part("DayOfWeek", "4"), false, 0,
         0, 0, 0, 0, 0, "ERROR: SetMeetingRecurrence() - missing data for ERepeatMonthlyByDays\n"},
        {"daily without interval", Part("Type", "0"), false, 0, 0, 0, 0, 0, 0, nullptr},
        {"type 4", Part("Type", "4") + Part("Interval", "1"), false, 0, 0, 0, 0, 0, 0,
         "DActiveSyncDataManager::ParseRecurrenceTypeNode() - Unknown type of recurrence\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        MeetingData &m = MeetingOf(calendar, "e1");
        m.recurring = false;
        m.pattern = DRecurrencePattern{};
        const int commits = calendar.records["e1"].commits;
        ASSERT_EQ(Apply("Change", "e1", Cal("Subject", "s") + Recurrence(c.parts)), activeSyncErrWaitForCallback);
        EXPECT_EQ(m.recurring, c.accepted);
        // A pattern the device cannot keep skips the item, not the Sync.
        EXPECT_EQ(calendar.records["e1"].commits, commits + (c.accepted ? 1 : 0));
        EXPECT_EQ(Folder("cal")->GetString(kFolderFieldSyncKey), "C" + std::to_string(keys));
        if (c.accepted) {
            EXPECT_EQ(m.pattern.type, c.type);
            EXPECT_EQ(m.pattern.interval, c.interval);
            EXPECT_EQ(m.pattern.dayOfWeekMask, c.mask);
            EXPECT_EQ(m.pattern.dayOfMonth, c.dayOfMonth);
            EXPECT_EQ(m.pattern.weekOfMonth, c.week);
            EXPECT_EQ(m.pattern.monthOfYear, c.month);
            EXPECT_TRUE(m.pattern.noEnd);
        }
        if (c.log != nullptr) {
            EXPECT_TRUE(Logged(c.log));
        }
    }
}

TEST_F(CalendarRecurrenceTest, ServerPatternEndsAndUnknownPartsAndNoPattern) {
    MeetingData &m = MeetingOf(calendar, "e1");
    ASSERT_EQ(Apply("Change", "e1",
                    Recurrence(Part("Type", "1") + Part("Interval", "1") + Part("DayOfWeek", "2") +
                               Part("Until", "20091231T230000Z") + Part("Occurrences", "10") + "<Subject>odd</Subject>")),
              activeSyncErrWaitForCallback);
    ASSERT_TRUE(m.recurring);
    EXPECT_FALSE(m.pattern.noEnd);
    EXPECT_TRUE(SameTime(m.pattern.until, DateRecord(2009, 12, 31, 23)));
    EXPECT_EQ(m.pattern.occurrences, 10u);
    EXPECT_TRUE(Logged("DActiveSyncDataManager::SetMeetingRecurrence() - Unknown recurrence XML node\n"));
    // No Recurrence: a single meeting again.
    ASSERT_EQ(Apply("Change", "e1", Cal("Subject", "single")), activeSyncErrWaitForCallback);
    EXPECT_FALSE(m.recurring);
}

TEST_F(CalendarRecurrenceTest, DevicePatternsOfEachTypeGoOutInOrder) {
    struct Case {
        const char *what;
        DRecurrencePattern pattern;
        std::string expected;
    };
    auto pattern = [](uint32_t type, uint16_t interval, uint16_t mask, uint16_t day, uint16_t week, uint16_t month) {
        DRecurrencePattern p;
        p.type = type;
        p.interval = interval;
        p.noEnd = true;
        p.dayOfWeekMask = mask;
        p.dayOfMonth = day;
        p.weekOfMonth = week;
        p.monthOfYear = month;
        return p;
    };
    DRecurrencePattern counted = pattern(kRepeatDaily, 1, 62, 0, 0, 0);
    counted.noEnd = false;
    counted.occurrences = 5;
    DRecurrencePattern until = pattern(kRepeatWeekly, 2, 62, 0, 0, 0);
    until.noEnd = false;
    until.until = DateRecord(2009, 12, 31);
    const Case cases[] = {
        {"daily", pattern(kRepeatDaily, 3, 4, 0, 0, 0), Part("Type", "0") + Part("Interval", "3")},
        {"working days, counted", counted,
         Part("Type", "0") + Part("Occurrences", "5") + Part("Interval", "1") + Part("DayOfWeek", "62")},
        {"weekly until", until,
         Part("Type", "1") + Part("Until", "20091231T000000Z") + Part("Interval", "2") + Part("DayOfWeek", "62")},
        {"monthly by date", pattern(kRepeatMonthlyByDate, 1, 0, 15, 0, 0),
         Part("Type", "2") + Part("Interval", "1") + Part("DayOfMonth", "15")},
        {"monthly by day", pattern(kRepeatMonthlyByDays, 1, 4, 0, 5, 0),
         Part("Type", "3") + Part("Interval", "1") + Part("DayOfWeek", "4") + Part("WeekOfMonth", "5")},
        {"yearly by date", pattern(kRepeatYearlyByDate, 1, 0, 4, 0, 7),
         Part("Type", "5") + Part("Interval", "1") + Part("DayOfMonth", "4") + Part("MonthOfYear", "7")},
        {"yearly by day", pattern(kRepeatYearlyByDays, 1, 8, 0, 2, 11),
         Part("Type", "6") + Part("Interval", "1") + Part("DayOfWeek", "8") + Part("WeekOfMonth", "2") +
             Part("MonthOfYear", "11")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        MeetingData &m = MeetingOf(calendar, "e1");
        m.recurring = true;
        m.pattern = c.pattern;
        const std::string built = BuildChanges({"e1"});
        EXPECT_TRUE(SameXml(Recurrence(c.expected), Element(built, "Recurrence"))) << built;
    }
}

TEST_F(CalendarRecurrenceTest, APatternIsReadOnlyFromAMeetingThatRecurs) {
    MeetingData &m = MeetingOf(calendar, "e1");
    // Says it is single: neither pattern nor occurrences go, whatever it holds.
    m.recurring = false;
    m.pattern.type = kRepeatWeekly;
    m.exceptions.push_back({DExceptionInfo{DateRecord(2009, 1, 8, 9), true}, nullptr});
    std::string built = BuildChanges({"e1"});
    EXPECT_NE(built.find("<Change>"), std::string::npos) << built;
    EXPECT_EQ(built.find("Recurrence"), std::string::npos) << built;
    EXPECT_EQ(built.find("Exception"), std::string::npos) << built;
    // Says it recurs but its pattern cannot be read: no guessed pattern goes out.
    m.recurring = true;
    m.recurrenceResult = generalErrUnknownError;
    calendar.records["e1"].sent = false;
    EXPECT_TRUE(BuildChanges({"e1"}).empty());
    ASSERT_FALSE(client.errors.empty());
    EXPECT_EQ(client.errors.back(), generalErrUnknownError);
    EXPECT_FALSE(calendar.records["e1"].sent);
    EXPECT_TRUE(Logged("recurrence could not be read"));
    EXPECT_TRUE(Logged("doing MODIFIED/DELETED requests ERROR: "));
}

// A weekly series on Mondays at 10:00 New York time, from 19 October 2009
// (daylight time, 14:00 UTC); daylight time ends on 1 November.
void SeedSeries(MeetingData &m) {
    m.subject = "Weekly";
    m.location = "Room";
    m.zone = EasternZone();
    m.start = DateRecord(2009, 10, 19, 14);
    m.end = DateRecord(2009, 10, 19, 15);
    m.recurring = true;
    m.pattern.type = kRepeatWeekly;
    m.pattern.dayOfWeekMask = 2;
    m.pattern.noEnd = true;
}

TEST_F(CalendarRecurrenceTest, ServerAddWithExceptionsAppliesThemOnePerStepAtTheSeriesClock) {
    const std::string series =
        Cal("TimeZone", ZoneText(EasternZone())) + Cal("StartTime", "20091019T140000Z") +
        Cal("EndTime", "20091019T150000Z") + Cal("Subject", "Weekly") + Cal("Location", "Room") +
        Recurrence(Part("Type", "1") + Part("Interval", "1") + Part("DayOfWeek", "2")) +
        "<Exceptions xmlns=\"Calendar:\">"
        // Cancelled, still in daylight time.
        "<Exception><Exception_Deleted>1</Exception_Deleted>"
        "<Exception_StartTime>20091026T140000Z</Exception_StartTime></Exception>"
        // Changed, in standard time: 10:00 there is 15:00 UTC.
        "<Exception><Exception_StartTime>20091109T150000Z</Exception_StartTime><Subject>Moved</Subject>"
        "<Location>Annex</Location></Exception>"
        // A server that sends the series' UTC clock: the local clock wins.
        "<Exception><Exception_Deleted>0</Exception_Deleted>"
        "<Exception_StartTime>20091116T140000Z</Exception_StartTime><BusyStatus>0</BusyStatus></Exception>"
        // No start: skipped.
        "<Exception><Subject>Lost</Subject></Exception>"
        "</Exceptions>";
    ASSERT_EQ(Apply("Add", "s1", series), activeSyncErrWaitForCallback);
    MeetingData &m = MeetingOf(calendar, "s1");
    EXPECT_EQ(calendar.records["s1"].commits, 1);
    EXPECT_TRUE(m.recurring);
    EXPECT_EQ(m.subject, "Weekly");
    ASSERT_EQ(m.exceptions.size(), 3u);
    EXPECT_TRUE(m.exceptions[0].info.deleted);
    EXPECT_TRUE(SameTime(m.exceptions[0].info.originalStart, DateRecord(2009, 10, 26, 14)));
    EXPECT_FALSE(m.exceptions[1].info.deleted);
    EXPECT_TRUE(SameTime(m.exceptions[1].info.originalStart, DateRecord(2009, 11, 9, 15)));
    ASSERT_NE(m.exceptions[1].data, nullptr);
    EXPECT_EQ(m.exceptions[1].data->subject, "Moved");
    EXPECT_EQ(m.exceptions[1].data->location, "Annex");
    // Only the tags present change an occurrence.
    EXPECT_EQ(m.exceptions[1].data->busy, 0u);
    EXPECT_EQ(m.exceptions[1].data->uid, "");
    EXPECT_TRUE(SameTime(m.exceptions[2].info.originalStart, DateRecord(2009, 11, 16, 15)));
    ASSERT_NE(m.exceptions[2].data, nullptr);
    EXPECT_EQ(m.exceptions[2].data->subject, "");
    EXPECT_TRUE(Logged("Start DELETE Exception:\n"));
    EXPECT_TRUE(Logged("Start CHANGE Exception:\n"));
    EXPECT_TRUE(Logged("did not find the start time of exception\n"));
    EXPECT_EQ(Folder("cal")->GetString(kFolderFieldSyncKey), "C" + std::to_string(keys));
}

TEST_F(CalendarRecurrenceTest, DeviceExceptionsGoWithTheOccurrencesOwnUtcStart) {
    MeetingData &m = MeetingOf(calendar, "e1");
    SeedSeries(m);
    // Cancelled on 2 November (standard time): 10:00 there is 15:00 UTC.
    m.exceptions.push_back({DExceptionInfo{DateRecord(2009, 11, 2, 15), true}, nullptr});
    // Changed on 9 November, named by its local day only (midnight there).
    auto changed = std::make_shared<MeetingData>(m);
    changed->exceptions.clear();
    changed->subject = "Moved";
    changed->start = DateRecord(2009, 11, 9, 16);
    changed->end = DateRecord(2009, 11, 9, 17);
    changed->reminderSet = true;
    changed->reminder = 5;
    m.exceptions.push_back({DExceptionInfo{DateRecord(2009, 11, 9, 5), false}, changed});
    // Changed in daylight time, nothing but its body.
    auto noted = std::make_shared<MeetingData>(m);
    noted->exceptions.clear();
    noted->start = DateRecord(2009, 10, 26, 14);
    noted->end = DateRecord(2009, 10, 26, 15);
    noted->body = "Bring slides";
    noted->bodyChanged = true;
    m.exceptions.push_back({DExceptionInfo{DateRecord(2009, 10, 26, 14), false}, noted});
    const std::string expected =
        "<Exceptions xmlns=\"Calendar:\">"
        "<Exception><Exception_Deleted>1</Exception_Deleted>"
        "<Exception_StartTime>20091102T150000Z</Exception_StartTime></Exception>"
        "<Exception><Exception_Deleted>0</Exception_Deleted>"
        "<Exception_StartTime>20091109T150000Z</Exception_StartTime>"
        "<EndTime>20091109T170000Z</EndTime><StartTime>20091109T160000Z</StartTime><Subject>Moved</Subject>"
        "<Reminder>5</Reminder></Exception>"
        "<Exception><Exception_Deleted>0</Exception_Deleted>"
        "<Exception_StartTime>20091026T140000Z</Exception_StartTime><Body>Bring slides</Body>"
        "<EndTime>20091026T150000Z</EndTime><StartTime>20091026T140000Z</StartTime></Exception>"
        "</Exceptions>";
    const std::string built = BuildChanges({"e1"});
    EXPECT_TRUE(SameXml(expected, Element(built, "Exceptions"))) << built;
    EXPECT_NE(Element(built, "Recurrence"), "");
}

TEST_F(CalendarRecurrenceTest, AnOccurrenceKeepsTheSeriesLocalDayWhereItsUtcDayDiffers) {
    // 19:30 in New York is the next day in UTC; across the daylight change
    // the UTC clock moves by an hour, the local day and clock do not.
    MeetingData &m = MeetingOf(calendar, "e1");
    SeedSeries(m);
    m.start = DateRecord(2009, 10, 19, 23, 30);
    m.end = DateRecord(2009, 10, 20, 0, 30);
    ASSERT_EQ(Apply("Change", "e1",
                    Cal("TimeZone", ZoneText(EasternZone())) + Cal("StartTime", "20091019T233000Z") +
                        Cal("EndTime", "20091020T003000Z") +
                        Recurrence(Part("Type", "1") + Part("Interval", "1") + Part("DayOfWeek", "2")) +
                        "<Exceptions xmlns=\"Calendar:\"><Exception><Exception_Deleted>1</Exception_Deleted>"
                        "<Exception_StartTime>20091117T003000Z</Exception_StartTime></Exception></Exceptions>"),
              activeSyncErrWaitForCallback);
    ASSERT_EQ(m.exceptions.size(), 1u);
    EXPECT_TRUE(SameTime(m.exceptions[0].info.originalStart, DateRecord(2009, 11, 17, 0, 30)));
    const std::string built = BuildChanges({"e1"});
    EXPECT_NE(built.find("<Exception_StartTime>20091117T003000Z</Exception_StartTime>"), std::string::npos) << built;
}

TEST_F(CalendarRecurrenceTest, FirstAnswerFixesTheCalendarZoneByMajority) {
    ASSERT_FALSE(Prefs().IsTimeZoneSet());
    TIME_ZONE_INFORMATION central = EasternZone();
    central.Bias = 360;
    const std::string eastern = ZoneText(EasternZone()), other = ZoneText(central);
    auto add = [](const std::string &id, const std::string &zone) {
        return "<Add><ServerId>" + id + "</ServerId><ApplicationData>" +
               (zone.empty() ? Cal("Subject", id) : Cal("TimeZone", zone)) + "</ApplicationData></Add>";
    };
    // One eastern, two central, one short text (no vote), one without zone.
    ASSERT_EQ(Answer(kCmdCalendarSync,
                     Calendar("C2", "<Commands>" + add("a", eastern) + add("b", other) + add("c", eastern.substr(0, 200)) +
                                        add("d", other) + add("e", "") + "</Commands>")),
              activeSyncErrWaitForCallback);
    TIME_ZONE_INFORMATION fixed = {};
    ASSERT_EQ(Prefs().GetTimeZone(&fixed), kNoError);
    EXPECT_EQ(fixed.Bias, 360);
    // A meeting without a zone of its own takes the calendar's.
    EXPECT_EQ(MeetingOf(calendar, "e").zone.Bias, 360);
    // Fixed: a later majority does not move it.
    ASSERT_EQ(Answer(kCmdCalendarSync,
                     Calendar("C3", "<Commands>" + add("f", eastern) + add("g", eastern) + "</Commands>")),
              activeSyncErrWaitForCallback);
    ASSERT_EQ(Prefs().GetTimeZone(&fixed), kNoError);
    EXPECT_EQ(fixed.Bias, 360);
}

}  // namespace
