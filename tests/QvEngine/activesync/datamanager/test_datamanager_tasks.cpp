// The tasks mapping against an in-memory task: each field applied from the
// server and built for it, the recurrence both ways (with the patterns it
// refuses), a command without data, the failure logs, and a whole task's
// ApplicationData.
#include <functional>

#include "DataManagerFixture.h"
#include "PimMappingProbe.h"
#include "TaskFake.h"

namespace {

std::string Tasks(const std::string &name, const std::string &text) {
    return "<" + name + " xmlns=\"Tasks:\">" + text + "</" + name + ">";
}

std::string Data(const std::string &inner) {
    return "<ApplicationData xmlns=\"AirSync:\">" + inner + "</ApplicationData>";
}

// What a task with nothing set sends.
const std::string kPlainTail = Tasks("Complete", "0") + Tasks("Sensitivity", "0") + Tasks("ReminderSet", "0");

std::string PatternText(const DTaskRecurrencePattern &p) {
    return "type " + std::to_string(p.type) + " interval " + std::to_string(p.interval) + " noEnd " +
           std::to_string(p.noEnd) + " until " + DateText(p.until) + " occurrences " + std::to_string(p.occurrences) +
           " days " + std::to_string(p.dayOfWeekMask) + " day " + std::to_string(p.dayOfMonth) + " week " +
           std::to_string(p.weekOfMonth) + " month " + std::to_string(p.monthOfYear) + " start " +
           DateText(p.start) + " regenerate " + std::to_string(p.regenerate) + " dead " +
           std::to_string(p.deadOccurrence);
}

class TaskMappingTest : public DataManagerTest {
protected:
    DErrorCode Apply(TaskFake &task, const std::string &xml) { return PimMappingProbe::ApplyTask(*data, &task, xml); }
    std::string Build(TaskFake &task, DErrorCode expected = kNoError) {
        DErrorCode result = generalErrUnknownError;
        const std::string xml = PimMappingProbe::BuildTask(*data, &task, &result);
        EXPECT_EQ(result, expected);
        return xml;
    }
};

TEST_F(TaskMappingTest, EachServerFieldReachesTheTask) {
    using Read = std::function<std::string(TaskFake &)>;
    const Read body = [](TaskFake &t) { return t.body; };
    const Read subject = [](TaskFake &t) { return t.subject; };
    const Read importance = [](TaskFake &t) { return std::to_string(t.importance); };
    const Read sensitivity = [](TaskFake &t) { return std::to_string(t.sensitivity); };
    const Read categories = [](TaskFake &t) {
        std::string all;
        for (const std::string &c : t.categories) all += c + "|";
        return all;
    };
    const Read complete = [](TaskFake &t) {
        return std::string(t.calls.find("SetComplete;") == std::string::npos ? "untouched"
                           : t.complete                                      ? "done "
                                                                             : "open ") +
               (t.calls.find("SetComplete;") == std::string::npos ? "" : DateText(t.dateCompleted));
    };
    const Read dates = [](TaskFake &t) {
        return DateText(t.utcDue) + "|" + DateText(t.due) + "|" + DateText(t.utcStart) + "|" + DateText(t.start);
    };
    const Read reminder = [](TaskFake &t) { return std::to_string(t.reminderSet) + " " + DateText(t.reminderTime); };
    struct Case {
        const char *what;
        std::string data;
        Read read;
        std::string expected;
        const char *logged;
    } cases[] = {
        {"body", Tasks("Body", "Call back"), body, "Call back", "Note: Call back\n"},
        {"no body", "", body, "", nullptr},
        {"subject", Tasks("Subject", "Plan"), subject, "Plan", "Subject: Plan\n"},
        {"importance low", Tasks("Importance", "0"), importance, "0", nullptr},
        {"importance high", Tasks("Importance", "2"), importance, "2", nullptr},
        {"importance unknown", Tasks("Importance", "7"), importance, "1",
         "DActiveSyncDataManager::SetTaskImportance() - unrecognized Importance : 55\n"},
        {"no importance", "", importance, "1", nullptr},
        {"sensitivity", Tasks("Sensitivity", "3"), sensitivity, "3", nullptr},
        {"sensitivity unknown", Tasks("Sensitivity", "9"), sensitivity, "0",
         "DActiveSyncDataManager::SetTaskSensitivity() - unrecognized Sensitivity : 57\n"},
        {"categories", "<Categories xmlns=\"Tasks:\"><Category>A</Category><Category>B</Category></Categories>",
         categories, "A|B|", nullptr},
        {"complete", Tasks("Complete", "1") + Tasks("DateCompleted", "2009-05-06T07:08:09.000Z"), complete,
         "done 2009-05-06 07:08:09", nullptr},
        {"complete without date", Tasks("Complete", "1"), complete, "done none",
         "DActiveSyncDataManager::SetTaskCompletedDate - Completed date expected but not found.\n"},
        {"not complete", Tasks("Complete", "0"), complete, "open none", nullptr},
        {"no completion", Tasks("Complete", ""), complete, "untouched", nullptr},
        {"dates",
         Tasks("UTCDueDate", "2009-05-07T04:00:00.000Z") + Tasks("DueDate", "2009-05-07T00:00:00.000Z") +
             Tasks("UTCStartDate", "2009-05-01T04:00:00.000Z") + Tasks("StartDate", "2009-05-01T00:00:00.000Z"),
         dates, "2009-05-07 04:00:00|2009-05-07 00:00:00|2009-05-01 04:00:00|2009-05-01 00:00:00", nullptr},
        {"no dates", Tasks("DueDate", ""), dates, "none|none|none|none", nullptr},
        {"reminder", Tasks("ReminderSet", "1") + Tasks("ReminderTime", "2009-05-06T12:00:00.000Z"), reminder,
         "1 2009-05-06 12:00:00", nullptr},
        {"reminder without time", Tasks("ReminderSet", "1"), reminder, "0 none",
         "DActiveSyncDataManager::SetTaskReminder - Reminder date expected but not found.\n"},
        {"reminder off", Tasks("ReminderSet", "0") + Tasks("ReminderTime", "2009-05-06T12:00:00.000Z"), reminder,
         "0 none", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        global->log.text.clear();
        TaskFake task;
        task.reminderSet = true;
        task.importance = 99;
        ASSERT_EQ(Apply(task, ChangeWith(c.data)), kNoError);
        EXPECT_EQ(c.read(task), c.expected);
        if (c.logged != nullptr) {
            EXPECT_NE(Log().find(c.logged), std::string::npos) << Log();
        }
    }
    // Dates the server did not send are left as they were.
    TaskFake task;
    ASSERT_EQ(Apply(task, ChangeWith(Tasks("Subject", "x"))), kNoError);
    EXPECT_EQ(task.calls,
              "SetBody;SetImportance;SetCategories;ClearRecurrence;SetReminderSet;SetSensitivity;SetSubject;");
    EXPECT_EQ(Apply(task, ChangeWith(Tasks("DueDate", "2009-02-30T00:00:00.000Z"))), ASDataManagerErrInvalidDataType);
}

TEST_F(TaskMappingTest, EachTaskFieldGoesToTheServer) {
    using Setup = std::function<void(TaskFake &)>;
    struct Case {
        const char *what;
        Setup setup;
        std::string expected;
    } cases[] = {
        {"nothing set", [](TaskFake &) {}, Tasks("Importance", "1") + kPlainTail},
        {"body changed",
         [](TaskFake &t) {
             t.bodyChanged = true;
             t.body = "Call back";
         },
         Tasks("BodyTruncated", "0") + Tasks("Body", "Call back") + Tasks("Importance", "1") + kPlainTail},
        {"body unchanged", [](TaskFake &t) { t.body = "Call back"; }, Tasks("Importance", "1") + kPlainTail},
        {"subject", [](TaskFake &t) { t.subject = "Plan"; },
         Tasks("Subject", "Plan") + Tasks("Importance", "1") + kPlainTail},
        {"importance low", [](TaskFake &t) { t.importance = 0; }, Tasks("Importance", "0") + kPlainTail},
        {"importance high", [](TaskFake &t) { t.importance = 2; }, Tasks("Importance", "2") + kPlainTail},
        {"importance other", [](TaskFake &t) { t.importance = 5; }, Tasks("Importance", "0") + kPlainTail},
        {"dates",
         [](TaskFake &t) {
             t.utcStart = DateRecord(2009, 5, 1, 4);
             t.start = DateRecord(2009, 5, 1);
             t.utcDue = DateRecord(2009, 5, 7, 4);
             t.due = DateRecord(2009, 5, 7);
         },
         Tasks("Importance", "1") + Tasks("UTCStartDate", "2009-05-01T04:00:00.000Z") +
             Tasks("StartDate", "2009-05-01T00:00:00.000Z") + Tasks("UTCDueDate", "2009-05-07T04:00:00.000Z") +
             Tasks("DueDate", "2009-05-07T00:00:00.000Z") + kPlainTail},
        {"no-date dates", [](TaskFake &t) { t.due = DateRecord(4501, 1, 1); }, Tasks("Importance", "1") + kPlainTail},
        {"complete",
         [](TaskFake &t) {
             t.complete = true;
             t.dateCompleted = DateRecord(2009, 5, 6, 7, 8, 9);
         },
         Tasks("Importance", "1") + Tasks("Complete", "1") + Tasks("DateCompleted", "2009-05-06T07:08:09.000Z") +
             Tasks("Sensitivity", "0") + Tasks("ReminderSet", "0")},
        {"sensitivity", [](TaskFake &t) { t.sensitivity = 3; },
         Tasks("Importance", "1") + Tasks("Complete", "0") + Tasks("Sensitivity", "3") + Tasks("ReminderSet", "0")},
        {"sensitivity other", [](TaskFake &t) { t.sensitivity = 8; }, Tasks("Importance", "1") + kPlainTail},
        {"reminder",
         [](TaskFake &t) {
             t.reminderSet = true;
             t.reminderTime = DateRecord(2009, 5, 6, 12);
         },
         Tasks("Importance", "1") + Tasks("Complete", "0") + Tasks("Sensitivity", "0") + Tasks("ReminderSet", "1") +
             Tasks("ReminderTime", "2009-05-06T12:00:00.000Z")},
        {"categories", [](TaskFake &t) { t.categories = {"A", "B"}; },
         Tasks("Importance", "1") + kPlainTail +
             "<Categories xmlns=\"Tasks:\"><Category>A</Category><Category>B</Category></Categories>"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TaskFake task;
        c.setup(task);
        EXPECT_TRUE(SameXml(Data(c.expected), Build(task)));
    }
}

TEST_F(TaskMappingTest, ServerRecurrenceBecomesThePattern) {
    const auto recurrence = [](const std::string &inner) {
        return "<Recurrence xmlns=\"Tasks:\">" + inner + "</Recurrence>";
    };
    const struct {
        const char *what;
        std::string children;
        DErrorCode result;
        const char *pattern;  // the pattern set, or null when none is
        const char *logged;
    } cases[] = {
        {"weekly until a date",
         "<Recurrence_Type>1</Recurrence_Type><Recurrence_Start>2009-05-04T00:00:00.000Z</Recurrence_Start>"
         "<Recurrence_Until>2009-08-31T00:00:00.000Z</Recurrence_Until><Recurrence_Interval>2</Recurrence_Interval>"
         "<Recurrence_DayOfWeek>34</Recurrence_DayOfWeek><Recurrence_Regenerate>0</Recurrence_Regenerate>"
         "<Recurrence_DeadOccur>1</Recurrence_DeadOccur>",
         kNoError,
         "type 1 interval 2 noEnd 0 until 2009-08-31 00:00:00 occurrences 0 days 34 day 0 week 0 month 0 "
         "start 2009-05-04 00:00:00 regenerate 0 dead 1",
         nullptr},
        {"daily ten times, regenerating",
         "<Recurrence_Type>0</Recurrence_Type><Recurrence_Occurrences>10</Recurrence_Occurrences>"
         "<Recurrence_Interval>1</Recurrence_Interval><Recurrence_Regenerate>1</Recurrence_Regenerate>",
         kNoError,
         "type 0 interval 1 noEnd 0 until none occurrences 10 days 0 day 0 week 0 month 0 start none "
         "regenerate 1 dead 0",
         nullptr},
        {"yearly by date needs no interval",
         "<Recurrence_Type>5</Recurrence_Type><Recurrence_DayOfMonth>12</Recurrence_DayOfMonth>"
         "<Recurrence_MonthOfYear>5</Recurrence_MonthOfYear>",
         kNoError,
         "type 4 interval 1 noEnd 1 until none occurrences 0 days 0 day 12 week 0 month 5 start none "
         "regenerate 0 dead 0",
         nullptr},
        {"yearly by weekday",
         "<Recurrence_Type>6</Recurrence_Type><Recurrence_Interval>1</Recurrence_Interval>"
         "<Recurrence_DayOfWeek>2</Recurrence_DayOfWeek><Recurrence_WeekOfMonth>5</Recurrence_WeekOfMonth>"
         "<Recurrence_MonthOfYear>11</Recurrence_MonthOfYear><Subject>odd</Subject>",
         kNoError,
         "type 5 interval 1 noEnd 1 until none occurrences 0 days 2 day 0 week 5 month 11 start none "
         "regenerate 0 dead 0",
         "DActiveSyncDataManager::SetTaskRecurrance() - Unknown recurrence XML node\n"},
        {"weekly without days", "<Recurrence_Type>1</Recurrence_Type><Recurrence_Interval>1</Recurrence_Interval>",
         ASDataManagerErrItemNotSupported, nullptr, "ERROR: SetTaskRecurrence() - missing data for ERepeatWeekly\n"},
        {"monthly by date without day",
         "<Recurrence_Type>2</Recurrence_Type><Recurrence_Interval>1</Recurrence_Interval>",
         ASDataManagerErrItemNotSupported, nullptr,
         "ERROR: SetTaskRecurrence() - missing data for ERepeatMonthlyByDate\n"},
        {"monthly by weekday with a day too large",
         "<Recurrence_Type>3</Recurrence_Type><Recurrence_Interval>1</Recurrence_Interval>"
         "<Recurrence_DayOfWeek>70000</Recurrence_DayOfWeek><Recurrence_WeekOfMonth>1</Recurrence_WeekOfMonth>",
         ASDataManagerErrItemNotSupported, nullptr,
         "ERROR: SetTaskRecurrence() - missing data for ERepeatMonthlyByDays\n"},
        {"type 4", "<Recurrence_Type>4</Recurrence_Type><Recurrence_Interval>1</Recurrence_Interval>",
         ASDataManagerErrUnknownRecurrence, nullptr,
         "DActiveSyncDataManager::ParseTaskRecurrenceTypeNode() - Unknown type of recurrence\n"},
        {"no type", "<Recurrence_Interval>1</Recurrence_Interval>", ASDataManagerErrUnknownRecurrence, nullptr,
         nullptr},
        {"regenerate 2",
         "<Recurrence_Type>0</Recurrence_Type><Recurrence_Interval>1</Recurrence_Interval>"
         "<Recurrence_Regenerate>2</Recurrence_Regenerate>",
         ASDataManagerErrItemNotSupported, nullptr,
         "ERROR: SetTaskRecurrence() - unexpected data in regenerateNode.\n"},
        {"dead occurrence empty",
         "<Recurrence_Type>0</Recurrence_Type><Recurrence_Interval>1</Recurrence_Interval>"
         "<Recurrence_DeadOccur></Recurrence_DeadOccur>",
         ASDataManagerErrItemNotSupported, nullptr,
         "ERROR: SetTaskRecurrence() - unexpected data in deadOccuranceNode.\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        global->log.text.clear();
        TaskFake task;
        EXPECT_EQ(Apply(task, ChangeWith(recurrence(c.children))), c.result);
        EXPECT_EQ(task.recurring, c.pattern != nullptr);
        if (c.pattern != nullptr) {
            EXPECT_EQ(PatternText(task.pattern), c.pattern);
        }
        if (c.logged != nullptr) {
            EXPECT_NE(Log().find(c.logged), std::string::npos) << Log();
        }
    }
    // No pattern, or an empty one: the task does not recur.
    for (const std::string &none : {std::string(), recurrence("")}) {
        TaskFake task;
        task.recurring = true;
        ASSERT_EQ(Apply(task, ChangeWith(none)), kNoError);
        EXPECT_FALSE(task.recurring);
    }
}

TEST_F(TaskMappingTest, PatternGoesToTheServerByType) {
    const auto pattern = [](uint32_t type, uint16_t days, uint16_t day, uint16_t week, uint16_t month) {
        DTaskRecurrencePattern p;
        p.type = type;
        p.noEnd = true;
        p.interval = 2;
        p.dayOfWeekMask = days;
        p.dayOfMonth = day;
        p.weekOfMonth = week;
        p.monthOfYear = month;
        return p;
    };
    const std::string common =
        "<Recurrence_Interval>2</Recurrence_Interval><Recurrence_Regenerate>0</Recurrence_Regenerate>"
        "<Recurrence_DeadOccur>0</Recurrence_DeadOccur>";
    DTaskRecurrencePattern ending = pattern(kRepeatWeekly, 4, 0, 0, 0);
    ending.noEnd = false;
    ending.until = DateRecord(2009, 8, 31);
    ending.start = DateRecord(2009, 5, 5);
    ending.regenerate = true;
    DTaskRecurrencePattern counted = pattern(kRepeatMonthlyByDate, 0, 15, 0, 0);
    counted.noEnd = false;
    counted.occurrences = 6;
    counted.until = DateRecord(2009, 8, 31);
    const struct {
        const char *what;
        DTaskRecurrencePattern pattern;
        std::string sent;
    } cases[] = {
        {"daily", pattern(kRepeatDaily, 2, 3, 4, 5), "<Recurrence_Type>0</Recurrence_Type>" + common},
        {"working days", pattern(kRepeatDaily, 62, 0, 0, 0),
         "<Recurrence_Type>0</Recurrence_Type>" + common + "<Recurrence_DayOfWeek>62</Recurrence_DayOfWeek>"},
        {"weekly until a date", ending,
         "<Recurrence_Type>1</Recurrence_Type><Recurrence_Until>2009-08-31T00:00:00.000Z</Recurrence_Until>"
         "<Recurrence_Interval>2</Recurrence_Interval><Recurrence_Start>2009-05-05T00:00:00.000Z</Recurrence_Start>"
         "<Recurrence_Regenerate>1</Recurrence_Regenerate><Recurrence_DeadOccur>0</Recurrence_DeadOccur>"
         "<Recurrence_DayOfWeek>4</Recurrence_DayOfWeek>"},
        {"monthly six times", counted,
         "<Recurrence_Type>2</Recurrence_Type><Recurrence_Occurrences>6</Recurrence_Occurrences>" + common +
             "<Recurrence_DayOfMonth>15</Recurrence_DayOfMonth>"},
        {"monthly by weekday", pattern(kRepeatMonthlyByDays, 2, 0, 5, 0),
         "<Recurrence_Type>3</Recurrence_Type>" + common +
             "<Recurrence_DayOfWeek>2</Recurrence_DayOfWeek><Recurrence_WeekOfMonth>5</Recurrence_WeekOfMonth>"},
        {"yearly by date", pattern(kRepeatYearlyByDate, 0, 12, 0, 5),
         "<Recurrence_Type>5</Recurrence_Type>" + common +
             "<Recurrence_DayOfMonth>12</Recurrence_DayOfMonth><Recurrence_MonthOfYear>5</Recurrence_MonthOfYear>"},
        {"yearly by weekday", pattern(kRepeatYearlyByDays, 2, 0, 1, 11),
         "<Recurrence_Type>6</Recurrence_Type>" + common +
             "<Recurrence_DayOfWeek>2</Recurrence_DayOfWeek><Recurrence_WeekOfMonth>1</Recurrence_WeekOfMonth>"
             "<Recurrence_MonthOfYear>11</Recurrence_MonthOfYear>"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TaskFake task;
        task.recurring = true;
        task.pattern = c.pattern;
        EXPECT_TRUE(SameXml(Data(Tasks("Importance", "1") + "<Recurrence xmlns=\"Tasks:\">" + c.sent +
                                 "</Recurrence>" + kPlainTail),
                            Build(task)));
    }
    TaskFake unknown;
    unknown.recurring = true;
    unknown.pattern.type = 9;
    Build(unknown, ASDataManagerErrUnknownRecurrence);
}

TEST_F(TaskMappingTest, WholeTaskGoesInItsOrder) {
    TaskFake task;
    task.bodyChanged = true;
    task.body = "Call back";
    task.subject = "Plan \xC3\xA9t\xC3\xA9";
    task.importance = 2;
    task.utcStart = DateRecord(2009, 5, 1, 4);
    task.start = DateRecord(2009, 5, 1);
    task.utcDue = DateRecord(2009, 5, 7, 4);
    task.due = DateRecord(2009, 5, 7);
    task.recurring = true;
    task.pattern.type = kRepeatWeekly;
    task.pattern.noEnd = false;
    task.pattern.occurrences = 3;
    task.pattern.dayOfWeekMask = 8;
    task.pattern.start = DateRecord(2009, 5, 1);
    task.complete = true;
    task.dateCompleted = DateRecord(2009, 5, 6, 7, 8, 9);
    task.sensitivity = 2;
    task.reminderSet = true;
    task.reminderTime = DateRecord(2009, 5, 6, 12);
    task.categories = {"Work"};
    const std::string expected = Data(
        Tasks("BodyTruncated", "0") + Tasks("Body", "Call back") + Tasks("Subject", "Plan \xC3\xA9t\xC3\xA9") +
        Tasks("Importance", "2") + Tasks("UTCStartDate", "2009-05-01T04:00:00.000Z") +
        Tasks("StartDate", "2009-05-01T00:00:00.000Z") + Tasks("UTCDueDate", "2009-05-07T04:00:00.000Z") +
        Tasks("DueDate", "2009-05-07T00:00:00.000Z") +
        "<Recurrence xmlns=\"Tasks:\"><Recurrence_Type>1</Recurrence_Type>"
        "<Recurrence_Occurrences>3</Recurrence_Occurrences><Recurrence_Interval>1</Recurrence_Interval>"
        "<Recurrence_Start>2009-05-01T00:00:00.000Z</Recurrence_Start><Recurrence_Regenerate>0</Recurrence_Regenerate>"
        "<Recurrence_DeadOccur>0</Recurrence_DeadOccur><Recurrence_DayOfWeek>8</Recurrence_DayOfWeek></Recurrence>" +
        Tasks("Complete", "1") + Tasks("DateCompleted", "2009-05-06T07:08:09.000Z") + Tasks("Sensitivity", "2") +
        Tasks("ReminderSet", "1") + Tasks("ReminderTime", "2009-05-06T12:00:00.000Z") +
        "<Categories xmlns=\"Tasks:\"><Category>Work</Category></Categories>");
    EXPECT_TRUE(SameXml(expected, Build(task)));
    EXPECT_NE(Log().find("Subject: Plan \xC3\xA9t\xC3\xA9\n"), std::string::npos);
}

TEST_F(TaskMappingTest, RefusedTasksAreLoggedAndNotCounted) {
    const std::string refused = Tasks("Subject", "Plan") + Tasks("UTCStartDate", "2009-05-06T10:00:00.000+02:00") +
                                "<Recurrence xmlns=\"Tasks:\"><Recurrence_Type>0</Recurrence_Type>"
                                "<Recurrence_Interval>1</Recurrence_Interval>"
                                "<Recurrence_Regenerate>x</Recurrence_Regenerate></Recurrence>";
    const struct {
        const char *what;
        std::string command;
        bool madeNew;
        uint32_t addedAfter;
        const char *logged;
    } cases[] = {
        {"no data, found", "<Change xmlns=\"AirSync:\"><ServerId>s1</ServerId></Change>", false, 1,
         "No item data is present!\n[text 117]\n[text 121] \n[text 122] \n"},
        {"no data, made new", "<Add xmlns=\"AirSync:\"><ServerId>s1</ServerId></Add>", true, 0,
         "No item data is present!\n[text 117]\n[text 121] \n[text 122] \n"},
        {"refused pattern, made new", ChangeWith(refused), true, 0,
         "[text 117]\n[text 121] Plan\n[text 122] 05/06/09 08:00:00 AM\n"},
        {"conflict", "<Change xmlns=\"AirSync:\"><ServerId>s1</ServerId><Status>7</Status></Change>", true, 1,
         "Item arrived with status: 7\nNo item data is present!\nConflict matching the client and server object.\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        global->log.text.clear();
        PimMappingProbe::InHand(*data, c.madeNew, 1);
        TaskFake task;
        EXPECT_EQ(Apply(task, c.command), ASDataManagerErrItemNotSupported);
        EXPECT_EQ(PimMappingProbe::AddedCount(*data), c.addedAfter);
        EXPECT_NE(Log().find(c.logged), std::string::npos) << Log();
        EXPECT_FALSE(task.recurring);
    }
    // A local task the server refused, its start at midday UTC so the date is
    // the same in the device's zone.
    global->log.text.clear();
    TaskFake local;
    local.subject = "Plan";
    local.utcStart = DateRecord(2009, 5, 6, 12);
    PimMappingProbe::LogRejectedTask(*data, &local);
    EXPECT_EQ(Log().rfind("[text 117]\n[text 121] Plan\n[text 122] 05/06/09 ", 0), 0u) << Log();
}

}  // namespace
