// The calendar against the real ActiveSync server on loopback, checked on the
// server's side over CalDAV: a fresh device in the server's zone learns
// alice's calendar (a weekly series with a moved and a deleted occurrence, an
// all-day event, timed events) at the right local times; an appointment a
// person makes on the device reaches the server, and a change made there
// comes back.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DavProbe.h"
#include "PeerPimFixture.h"

namespace {

const char kCalendar[] = "Calendar/personal/";

class PeerCalendarTest : public PeerPimTest {
protected:
    PeerCalendarTest() : PeerPimTest("VCAL") {}

    std::string CalendarPath() const { return Peer().user + "/" + kCalendar; }

    // The server's events (VEVENT texts) of the calendar, by resource.
    std::vector<std::pair<std::string, std::string>> ServerEvents() {
        std::vector<std::pair<std::string, std::string>> events;
        for (const std::string &path : DavList(Peer(), Peer().user, Peer().password, CalendarPath())) {
            const DavAnswer got = DavGet(Peer(), Peer().user, Peer().password, path);
            if (got.status == 200 && !DavComponents(got.body, "VEVENT").empty()) events.emplace_back(path, got.body);
        }
        return events;
    }

    static const DeviceAppointment *BySubject(const std::vector<DeviceAppointment> &all, const std::string &s) {
        for (const auto &a : all)
            if (a.subject == s) return &a;
        return nullptr;
    }
};

// "20261214T090000Z" (UTC) as the device zone's local "20261214T100000".
std::string LocalOfUtcText(const std::string &utc) {
    SYSTEMTIME u = {}, local = {};
    if (std::sscanf(utc.c_str(), "%4hu%2hu%2huT%2hu%2hu%2hu", &u.wYear, &u.wMonth, &u.wDay, &u.wHour, &u.wMinute,
                    &u.wSecond) != 6 ||
        !vplat::UtcToZoneLocal(CentralEurope(), u, &local))
        return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%04u%02u%02uT%02u%02u%02u", local.wYear, local.wMonth, local.wDay, local.wHour,
                  local.wMinute, local.wSecond);
    return text;
}

TEST_F(PeerCalendarTest, AFreshDeviceLearnsTheCalendarAtTheZonesLocalTimes) {
    RunTypes(kRunFlagCalendar);
    if (HasFatalFailure()) return;
    const std::vector<DeviceAppointment> device = DevicePim().Appointments();

    for (const auto &resource : ServerEvents()) {
        const std::vector<std::string> events = DavComponents(resource.second, "VEVENT");
        // The master: the component without RECURRENCE-ID.
        std::string master;
        for (const std::string &e : events)
            if (DavProperty(e, "RECURRENCE-ID").empty()) master = e;
        ASSERT_FALSE(master.empty()) << resource.first;
        const std::string summary = DavProperty(master, "SUMMARY");
        SCOPED_TRACE(summary);
        const DeviceAppointment *a = BySubject(device, summary);
        ASSERT_NE(a, nullptr);

        const std::string start = DavProperty(master, "DTSTART"), end = DavProperty(master, "DTEND");
        if (start.size() == 8) {
            // An all-day event stays on its day: 00:00 to 23:59.
            EXPECT_EQ(a->start, start + "T000000");
            EXPECT_EQ(a->end, start + "T235900");
        } else if (start.back() == 'Z') {
            EXPECT_EQ(a->start, LocalOfUtcText(start));
            EXPECT_EQ(a->end, LocalOfUtcText(end));
        } else {
            // Already in the device's zone (Europe/Berlin).
            EXPECT_EQ(a->start, start);
            EXPECT_EQ(a->end, end);
        }

        EXPECT_EQ(a->recurring, !DavProperty(master, "RRULE").empty());
        if (!a->recurring) continue;
        // The seeded weekly series: Mondays, ten times, one occurrence
        // deleted and one moved an hour later under a subject of its own.
        EXPECT_EQ(a->recurrenceType, olRecursWeekly);
        EXPECT_EQ(a->dayMask, olMonday);
        EXPECT_EQ(a->occurrences, 10);
        const std::string deleted = DavProperty(master, "EXDATE");
        std::string movedFrom, movedSubject, movedStart;
        for (const std::string &e : events) {
            if (DavProperty(e, "RECURRENCE-ID").empty()) continue;
            movedFrom = DavProperty(e, "RECURRENCE-ID");
            movedSubject = DavProperty(e, "SUMMARY");
            movedStart = DavProperty(e, "DTSTART");
        }
        ASSERT_EQ(a->exceptions.size(), 2u);
        for (const auto &x : a->exceptions) {
            if (x.deleted) {
                EXPECT_EQ(x.originalDate.substr(0, 8), deleted.substr(0, 8));
            } else {
                EXPECT_EQ(x.originalDate.substr(0, 8), movedFrom.substr(0, 8));
                EXPECT_EQ(x.subject, movedSubject);
                EXPECT_EQ(x.start, movedStart);
            }
        }
    }
}

TEST_F(PeerCalendarTest, AnAppointmentMadeOnTheDeviceReachesTheServerAndAServerChangeComesBack) {
    RunTypes(kRunFlagCalendar);
    if (HasFatalFailure()) return;

    // A person adds a lunch on the 20th of December, 12:00 to 13:00 local.
    const std::string subject = "Device lunch " + std::to_string(GetTickCount());
    vplat::PimUserAppointment lunch;
    lunch.subject = std::u16string(subject.begin(), subject.end());
    lunch.location = u"Canteen";
    lunch.start = {2026, 12, 0, 20, 12, 0, 0, 0};
    lunch.end = {2026, 12, 0, 20, 13, 0, 0, 0};
    CEOID oid = 0;
    ASSERT_EQ(vplat::PimUserCreateAppointment(lunch, &oid), S_OK);
    RecordNewItem(kShadowCalendar, oid);
    if (HasFatalFailure()) return;
    RunTypes(kRunFlagCalendar);
    if (HasFatalFailure()) return;

    // On the server, in UTC or in the zone: 11:00Z is 12:00 in Berlin.
    std::string path, text;
    for (const auto &resource : ServerEvents())
        if (DavProperty(resource.second, "SUMMARY") == subject) {
            path = resource.first;
            text = resource.second;
        }
    ASSERT_FALSE(path.empty()) << global->log.text;
    const std::string event = DavComponents(text, "VEVENT").front();
    // 12:00 in Berlin is 11:00 UTC, however the server writes it down.
    const std::string start = DavPropertyLine(event, "DTSTART");
    const std::vector<std::string> forms = {"DTSTART:20261220T110000Z", "DTSTART;TZID=Etc/UTC:20261220T110000",
                                            "DTSTART;TZID=UTC:20261220T110000",
                                            "DTSTART;TZID=Europe/Berlin:20261220T120000"};
    EXPECT_NE(std::find(forms.begin(), forms.end(), start), forms.end()) << start;
    EXPECT_EQ(DavProperty(event, "LOCATION"), "Canteen");

    // The server renames it; the next run brings the change, not a copy.
    // The server tells versions apart by their second of change: a change
    // in the second of the device's own Add would pass for that version.
    Sleep(1100);
    const std::string renamed = subject + " (moved by the server)";
    std::string changed = text;
    const std::string old = "SUMMARY:" + subject;
    ASSERT_NE(changed.find(old), std::string::npos);
    changed.replace(changed.find(old), old.size(), "SUMMARY:" + renamed);
    ASSERT_LT(DavPut(Peer(), Peer().user, Peer().password, path, "text/calendar", changed).status, 300);
    RunTypes(kRunFlagCalendar);
    const std::vector<DeviceAppointment> device = DevicePim().Appointments();
    const DeviceAppointment *mine = BySubject(device, renamed);
    ASSERT_NE(mine, nullptr) << global->log.text;
    EXPECT_EQ(mine->oid, oid);
    EXPECT_EQ(mine->start, "20261220T120000");
    EXPECT_EQ(BySubject(device, subject), nullptr);
    DavDelete(Peer(), Peer().user, Peer().password, path);
}

}  // namespace
