// The calendar item's times: UTC on the item, local time on the device,
// converted with the zone's rule at the instant itself (at both daylight
// edges, north and south), and all-day events as the device keeps them.
#include "CalendarItemFixture.h"

namespace {

struct ZoneCase {
    const char *name;
    TIME_ZONE_INFORMATION (*zone)();
    struct tm utc;
    const char *local;
};

// Each start goes to the device at its own offset and comes back unchanged,
// whatever the offset is today.
TEST_F(CalendarItemTest, TimesConvertAtTheirOwnInstantAcrossDaylightEdges) {
    const ZoneCase cases[] = {
        // Central Europe, 2026: daylight from 03-29 01:00Z to 10-25 01:00Z.
        {"europe before spring", EuropeZone, DateRecord(2026, 3, 29, 0, 59), "2026-03-29 01:59:00"},
        {"europe after spring", EuropeZone, DateRecord(2026, 3, 29, 1, 0), "2026-03-29 03:00:00"},
        {"europe before autumn", EuropeZone, DateRecord(2026, 10, 24, 23, 59), "2026-10-25 01:59:00"},
        {"europe after autumn", EuropeZone, DateRecord(2026, 10, 25, 1, 0), "2026-10-25 02:00:00"},
        {"europe winter", EuropeZone, DateRecord(2026, 1, 15, 12, 0), "2026-01-15 13:00:00"},
        // Eastern Australia, 2026: daylight until 04-04 16:00Z and again from 10-03 16:00Z.
        {"australia before autumn", AustraliaZone, DateRecord(2026, 4, 4, 14, 59), "2026-04-05 01:59:00"},
        {"australia after autumn", AustraliaZone, DateRecord(2026, 4, 4, 16, 0), "2026-04-05 02:00:00"},
        {"australia before spring", AustraliaZone, DateRecord(2026, 10, 3, 15, 59), "2026-10-04 01:59:00"},
        {"australia after spring", AustraliaZone, DateRecord(2026, 10, 3, 16, 0), "2026-10-04 03:00:00"},
        {"australia summer", AustraliaZone, DateRecord(2026, 1, 15, 12, 0), "2026-01-15 23:00:00"},
    };
    for (const auto &c : cases) {
        SetDeviceZone(c.zone());
        const LONG oid = CommitNew(c.name, c.utc);
        DATE start = 0;
        ASSERT_EQ(S_OK, Appointment(oid)->get_Start(&start)) << c.name;
        EXPECT_EQ(c.local, LocalText(start)) << c.name;
        auto back = Load(oid);
        struct tm t = {};
        ASSERT_EQ(kNoError, back->GetStartTime(&t));
        EXPECT_EQ(TmText(c.utc), TmText(t)) << c.name;
    }
}

// A new series is put in its own zone; anything else in the device's.
TEST_F(CalendarItemTest, NewSeriesIsPutInItsOwnZone) {
    const TIME_ZONE_INFORMATION australia = AustraliaZone();
    DRecurrencePattern daily;
    daily.noEnd = true;
    const struct {
        bool recurring;
        const char *local;
    } cases[] = {{true, "2026-07-01 19:00:00"}, {false, "2026-07-01 11:00:00"}};
    for (const auto &c : cases) {
        auto item = Load(kCalendarOidNew);
        const struct tm start = DateRecord(2026, 7, 1, 9), end = DateRecord(2026, 7, 1, 10);
        item->SetStartEndTime(&start, &end);
        item->SetTimeZone(&australia);
        if (c.recurring) item->SetRecurrence(&daily);
        ASSERT_EQ(kNoError, item->CommitNewItem(nullptr));
        DATE date = 0;
        ASSERT_EQ(S_OK, Appointment(item->GetObjectID())->get_Start(&date));
        EXPECT_EQ(c.local, LocalText(date)) << "recurring " << c.recurring;
    }
}

// The device keeps an all-day event as 00:00 to 23:59 of its last day; the
// item holds the day after at 00:00 as the end, and a commit puts it back.
TEST_F(CalendarItemTest, AllDayEventsKeepTheirDays) {
    const struct {
        const char *name;
        int endDay, endHour, endMinute;  // device end, June 2026
        const char *utcEnd;              // item end (Central Europe, summer: UTC+2)
    } cases[] = {
        {"one day", 1, 23, 59, "2026-06-01 22:00:00"},
        {"two days", 2, 23, 59, "2026-06-02 22:00:00"},
        {"ending at midnight", 2, 0, 0, "2026-06-01 22:00:00"},
    };
    for (const auto &c : cases) {
        vplat::PimUserAppointment user;
        user.subject = u"Holiday";
        user.start = SYSTEMTIME{2026, 6, 0, 1, 0, 0, 0, 0};
        user.end = SYSTEMTIME{2026, 6, 0, WORD(c.endDay), WORD(c.endHour), WORD(c.endMinute), 0, 0};
        user.allDay = true;
        CEOID oid = 0;
        ASSERT_EQ(S_OK, vplat::PimUserCreateAppointment(user, &oid));

        auto item = Load(LONG(oid));
        struct tm start = {}, end = {};
        item->GetStartTime(&start);
        item->GetEndTime(&end);
        EXPECT_EQ("2026-05-31 22:00:00", TmText(start)) << c.name;
        EXPECT_EQ(c.utcEnd, TmText(end)) << c.name;

        item->SetSubject(Text("Holiday, changed"));
        ASSERT_EQ(kNoError, item->Commit()) << c.name;
        DATE from = 0, to = 0;
        IAppointment *a = Appointment(LONG(oid));
        a->get_Start(&from);
        a->get_End(&to);
        EXPECT_EQ("2026-06-01 00:00:00", LocalText(from)) << c.name;
        const std::string lastDay = c.endHour == 0 ? "2026-06-01" : "2026-06-0" + std::to_string(c.endDay);
        EXPECT_EQ(lastDay + " 23:59:00", LocalText(to)) << c.name;
    }
}

// An all-day event from the server shorter than its day still ends after it starts.
TEST_F(CalendarItemTest, AllDayEndNeverPrecedesItsStart) {
    auto item = Load(kCalendarOidNew);
    const struct tm start = DateRecord(2026, 6, 1, 8), end = DateRecord(2026, 6, 1, 9);
    item->SetStartEndTime(&start, &end);
    item->SetAllDayEvent(true);
    ASSERT_EQ(kNoError, item->CommitNewItem(nullptr));
    DATE from = 0, to = 0;
    IAppointment *a = Appointment(item->GetObjectID());
    a->get_Start(&from);
    a->get_End(&to);
    EXPECT_EQ("2026-06-01 00:00:00", LocalText(from));
    EXPECT_EQ("2026-06-01 00:01:00", LocalText(to));
}

}  // namespace
