// The calendar item's series: each kind of pattern to the device and back,
// ends past the calendar, the zone blob of a series, and the exceptions
// (cancelled and changed occurrences).
#include "CalendarItemFixture.h"

namespace {

constexpr CEPROPID kRawZone = (CEPROPID(1) << 16) | CEVT_BLOB;

DRecurrencePattern Pattern(uint32_t type, uint16_t mask, uint16_t dayOfMonth, uint16_t week, uint16_t month,
                           uint32_t occurrences, uint16_t interval = 1) {
    DRecurrencePattern p;
    p.type = type;
    p.interval = interval;
    p.dayOfWeekMask = mask;
    p.dayOfMonth = dayOfMonth;
    p.weekOfMonth = week;
    p.monthOfYear = month;
    p.occurrences = occurrences;
    return p;
}

IRecurrencePattern *PatternOf(IAppointment *a) {
    IRecurrencePattern *p = nullptr;
    EXPECT_EQ(S_OK, a->GetRecurrencePattern(&p));
    return p;
}

// Each engine pattern becomes the device's pattern and reads back the same
// (a daily pattern on working days as the weekly one).
TEST_F(CalendarItemTest, EveryPatternKindGoesBothWays) {
    const struct {
        const char *name;
        DRecurrencePattern given;
        LONG deviceType;
        uint32_t backType;
    } cases[] = {
        {"daily", Pattern(kRepeatDaily, 0, 0, 0, 0, 5, 2), olRecursDaily, kRepeatDaily},
        {"working days", Pattern(kRepeatDaily, kRecurWorkingDays, 0, 0, 0, 10), olRecursWeekly, kRepeatWeekly},
        {"weekly", Pattern(kRepeatWeekly, 2 | 8, 0, 0, 0, 6, 2), olRecursWeekly, kRepeatWeekly},
        {"monthly by date", Pattern(kRepeatMonthlyByDate, 0, 15, 0, 0, 4, 3), olRecursMonthly, kRepeatMonthlyByDate},
        {"monthly by days", Pattern(kRepeatMonthlyByDays, 4, 0, 2, 0, 4), olRecursMonthNth, kRepeatMonthlyByDays},
        {"yearly by date", Pattern(kRepeatYearlyByDate, 0, 15, 0, 6, 3), olRecursYearly, kRepeatYearlyByDate},
        {"yearly by days", Pattern(kRepeatYearlyByDays, 64, 0, kRecurLastWeek, 11, 3), olRecursYearNth,
         kRepeatYearlyByDays},
    };
    for (const auto &c : cases) {
        DRecurrencePattern given = c.given;
        const LONG oid = CommitNew(c.name, DateRecord(2026, 6, 15, 8), &given);
        IRecurrencePattern *device = PatternOf(Appointment(oid));
        LONG type = -1, occurrences = 0;
        device->get_RecurrenceType(&type);
        device->get_Occurrences(&occurrences);
        device->Release();
        EXPECT_EQ(c.deviceType, type) << c.name;
        EXPECT_EQ(LONG(given.occurrences), occurrences) << c.name;

        auto back = Load(oid);
        bool recurring = false;
        DRecurrencePattern read;
        ASSERT_EQ(kNoError, back->IsRecurring(&recurring));
        EXPECT_TRUE(recurring) << c.name;
        ASSERT_EQ(kNoError, back->GetRecurrence(&read)) << c.name;
        EXPECT_EQ(c.backType, read.type) << c.name;
        EXPECT_EQ(given.occurrences, read.occurrences) << c.name;
        EXPECT_FALSE(read.noEnd) << c.name;
        const bool yearly = c.backType == kRepeatYearlyByDate || c.backType == kRepeatYearlyByDays;
        EXPECT_EQ(yearly ? 1 : given.interval, read.interval) << c.name;
        if (c.backType == kRepeatWeekly || c.backType == kRepeatMonthlyByDays || c.backType == kRepeatYearlyByDays) {
            EXPECT_EQ(given.dayOfWeekMask, read.dayOfWeekMask) << c.name;
        }
        if (c.backType == kRepeatMonthlyByDate || c.backType == kRepeatYearlyByDate) {
            EXPECT_EQ(given.dayOfMonth, read.dayOfMonth) << c.name;
        }
        if (c.backType == kRepeatMonthlyByDays || c.backType == kRepeatYearlyByDays) {
            EXPECT_EQ(given.weekOfMonth, read.weekOfMonth) << c.name;
        }
        if (yearly) {
            EXPECT_EQ(given.monthOfYear, read.monthOfYear) << c.name;
        }
    }
}

// An end date comes back as the start of the last occurrence; one past the
// calendar's end makes the series endless; none is endless.
TEST_F(CalendarItemTest, PatternEndsComeBackOrBecomeEndless) {
    const struct {
        const char *name;
        struct tm until;
        bool noEnd;
        bool endlessBack;
        const char *untilBack;
    } cases[] = {
        {"until", DateRecord(2026, 9, 30, 7), false, false, "2026-09-30 07:00:00"},
        {"until late that day", DateRecord(2026, 9, 30, 21, 30), false, false, "2026-09-30 07:00:00"},
        {"in 2045", DateRecord(2045, 1, 1, 7), false, true, "1900-01-00 00:00:00"},
        {"no end", {}, true, true, "1900-01-00 00:00:00"},
    };
    for (const auto &c : cases) {
        DRecurrencePattern given = Pattern(kRepeatDaily, 0, 0, 0, 0, 0);
        given.until = c.until;
        given.noEnd = c.noEnd;
        // 07:00Z is 09:00 in Central Europe's summer.
        const LONG oid = CommitNew(c.name, DateRecord(2026, 6, 15, 7), &given);
        VARIANT_BOOL noEnd = VARIANT_FALSE;
        IRecurrencePattern *device = PatternOf(Appointment(oid));
        device->get_NoEndDate(&noEnd);
        device->Release();
        EXPECT_EQ(c.endlessBack, noEnd != VARIANT_FALSE) << c.name;

        auto back = Load(oid);
        DRecurrencePattern read;
        ASSERT_EQ(kNoError, back->GetRecurrence(&read)) << c.name;
        EXPECT_EQ(c.endlessBack, read.noEnd) << c.name;
        EXPECT_EQ(c.untilBack, TmText(read.until)) << c.name;
    }
}

// A series carries the zone it belongs to in its raw record; a single item none.
TEST_F(CalendarItemTest, SeriesKeepsItsZoneInTheRawRecord) {
    DRecurrencePattern weekly = Pattern(kRepeatWeekly, 2, 0, 0, 0, 3);
    const LONG series = CommitNew("Series", DateRecord(2026, 6, 15, 8), &weekly);
    const LONG single = CommitNew("Single", DateRecord(2026, 6, 15, 8));
    auto raw = Raw(series);
    ASSERT_EQ(1u, raw.count(kRawZone));
    const std::vector<BYTE> &blob = raw[kRawZone].blob;
    ASSERT_EQ(48u, blob.size());
    const TIME_ZONE_INFORMATION europe = EuropeZone();
    LONG bias = 0, daylightBias = 0;
    SYSTEMTIME standard = {}, daylight = {};
    std::memcpy(&bias, &blob[0], 4);
    std::memcpy(&daylightBias, &blob[8], 4);
    std::memcpy(&standard, &blob[14], 16);
    std::memcpy(&daylight, &blob[32], 16);
    EXPECT_EQ(europe.Bias, bias);
    EXPECT_EQ(europe.DaylightBias, daylightBias);
    EXPECT_EQ(0, std::memcmp(&europe.StandardDate, &standard, 16));
    EXPECT_EQ(0, std::memcmp(&europe.DaylightDate, &daylight, 16));
    EXPECT_EQ(0u, Raw(single).count(kRawZone));
    // Read back, the record has no names.
    TIME_ZONE_INFORMATION zone;
    ASSERT_EQ(kNoError, Load(series)->GetTimeZone(&zone));
    EXPECT_EQ(europe.Bias, zone.Bias);
    EXPECT_EQ(0, zone.StandardName[0]);
}

// A new series from a zone other than the device's names its occurrences by
// their days in that zone, as the series is put on the device.
TEST_F(CalendarItemTest, NewSeriesInItsOwnZoneTakesItsExceptions) {
    const TIME_ZONE_INFORMATION australia = AustraliaZone();
    DRecurrencePattern weekly = Pattern(kRepeatWeekly, 4, 0, 0, 0, 4);  // Tuesdays in Sydney
    auto item = Load(kCalendarOidNew);
    // 20:00Z on Monday 2026-06-15 is Tuesday 06:00 in Sydney, still Monday in Central Europe.
    const struct tm start = DateRecord(2026, 6, 15, 20), end = DateRecord(2026, 6, 15, 21);
    item->SetSubject(Text("Early call"));
    item->SetStartEndTime(&start, &end);
    item->SetTimeZone(&australia);
    item->SetRecurrence(&weekly);
    DExceptionInfo second{DateRecord(2026, 6, 22, 20), false};
    IOutlookMeeting *changed = nullptr;
    ASSERT_EQ(kNoError, item->FindOrAddException(&second, &changed));
    changed->SetSubject(Text("Early call, moved"));
    ASSERT_EQ(kNoError, changed->Commit());
    delete changed;
    ASSERT_EQ(kNoError, item->CommitNewItem(nullptr));

    IRecurrencePattern *pattern = PatternOf(Appointment(item->GetObjectID()));
    IAppointment *occurrence = nullptr;
    std::u16string subject;
    ASSERT_EQ(S_OK, pattern->GetOccurrence(LocalDate(2026, 6, 23), &occurrence));
    occurrence->get_Subject(&subject);
    occurrence->Release();
    pattern->Release();
    EXPECT_EQ(u"Early call, moved", subject);
}

// A weekly series on Mondays, 09:00 local (07:00Z), from 2026-06-15.
class CalendarExceptionTest : public CalendarItemTest {
protected:
    LONG MakeSeries() {
        DRecurrencePattern weekly = Pattern(kRepeatWeekly, 2, 0, 0, 0, 6);
        auto item = Load(kCalendarOidNew);
        const struct tm start = DateRecord(2026, 6, 15, 7), end = DateRecord(2026, 6, 15, 8);
        item->SetSubject(Text("Standup"));
        item->SetLocation(Text("Hall"));
        item->SetStartEndTime(&start, &end);
        item->SetRecurrence(&weekly);
        // Cancelled on the 22nd; changed on the 29th; a Tuesday the pattern never makes.
        DExceptionInfo cancelled{DateRecord(2026, 6, 22, 7), true};
        EXPECT_EQ(kNoError, item->FindOrAddException(&cancelled, nullptr));
        DExceptionInfo moved{DateRecord(2026, 6, 29, 7), false};
        IOutlookMeeting *changed = nullptr;
        EXPECT_EQ(kNoError, item->FindOrAddException(&moved, &changed));
        const struct tm from = DateRecord(2026, 6, 29, 12), to = DateRecord(2026, 6, 29, 13);
        changed->SetSubject(Text("Standup, moved"));
        changed->SetStartEndTime(&from, &to);
        EXPECT_EQ(kNoError, changed->Commit());
        delete changed;
        DExceptionInfo stray{DateRecord(2026, 6, 23, 7), false};
        EXPECT_EQ(kNoError, item->FindOrAddException(&stray, &changed));
        changed->SetSubject(Text("Never"));
        EXPECT_EQ(kNoError, changed->Commit());
        delete changed;
        EXPECT_EQ(kNoError, item->CommitNewItem(nullptr));
        return item->GetObjectID();
    }
    std::u16string OccurrenceSubject(LONG oid, int month, int day) {
        IRecurrencePattern *pattern = PatternOf(Appointment(oid));
        IAppointment *occurrence = nullptr;
        std::u16string subject;
        if (pattern->GetOccurrence(LocalDate(2026, month, day), &occurrence) == S_OK) {
            occurrence->get_Subject(&subject);
            occurrence->Release();
        }
        pattern->Release();
        return subject;
    }
};

// Cancelled and changed occurrences reach the device; one on a day the
// pattern does not make is skipped without failing the series.
TEST_F(CalendarExceptionTest, ExceptionsReachTheDeviceAndComeBack) {
    const LONG oid = MakeSeries();
    ASSERT_GT(oid, 0);
    EXPECT_EQ(u"", OccurrenceSubject(oid, 6, 22));  // no occurrence
    EXPECT_EQ(u"Standup, moved", OccurrenceSubject(oid, 6, 29));
    EXPECT_EQ(u"Standup", OccurrenceSubject(oid, 6, 15));

    auto back = Load(oid);
    uint32_t count = 0;
    ASSERT_EQ(kNoError, back->GetExceptionCount(&count));
    ASSERT_EQ(2u, count);
    const struct {
        const char *originalStart;
        bool deleted;
    } expected[] = {{"2026-06-22 07:00:00", true}, {"2026-06-29 07:00:00", false}};
    for (uint32_t i = 0; i < count; ++i) {
        DExceptionInfo info;
        ASSERT_EQ(kNoError, back->GetExceptionInfo(i, &info));
        EXPECT_EQ(expected[i].originalStart, TmText(info.originalStart)) << i;
        EXPECT_EQ(expected[i].deleted, info.deleted) << i;
    }
    DExceptionInfo past;
    EXPECT_EQ(generalErrItemNotFound, back->GetExceptionInfo(2, &past));

    DExceptionInfo info;
    ASSERT_EQ(kNoError, back->GetExceptionInfo(1, &info));
    IOutlookMeeting *changed = nullptr;
    ASSERT_EQ(kNoError, back->GetException(&info, &changed));
    VString subject;
    struct tm start = {};
    changed->GetSubject(&subject);
    changed->GetStartTime(&start);
    delete changed;
    EXPECT_EQ(u"Standup, moved", Wide(subject));
    EXPECT_EQ("2026-06-29 12:00:00", TmText(start));
    info.deleted = true;  // no cancelled occurrence on that day
    EXPECT_EQ(generalErrItemNotFound, back->GetException(&info, &changed));
}

// A changed occurrence keeps only its own changes: a later change of the
// series reaches the fields it did not change.
TEST_F(CalendarExceptionTest, SeriesChangeReachesWhatExceptionsLeftAlone) {
    const LONG oid = MakeSeries();
    auto item = Load(oid);
    DExceptionInfo relocated{DateRecord(2026, 7, 6, 7), false};
    IOutlookMeeting *changed = nullptr;
    ASSERT_EQ(kNoError, item->FindOrAddException(&relocated, &changed));
    changed->SetLocation(Text("Garden"));
    ASSERT_EQ(kNoError, changed->Commit());
    delete changed;
    ASSERT_EQ(kNoError, item->Commit());

    auto again = Load(oid);
    again->SetSubject(Text("Daily sync"));
    ASSERT_EQ(kNoError, again->Commit());
    EXPECT_EQ(u"Daily sync", OccurrenceSubject(oid, 7, 6));
    EXPECT_EQ(u"Standup, moved", OccurrenceSubject(oid, 6, 29));
    EXPECT_EQ(u"Daily sync", OccurrenceSubject(oid, 6, 15));
}

}  // namespace
