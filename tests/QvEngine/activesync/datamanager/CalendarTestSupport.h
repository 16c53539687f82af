// The calendar mapping's test bench: a calendar folder, the fake calendar
// store of FakeMeetings, server answers that carry one meeting's data, and
// the Sync request built from the store's changed meetings (its XML with the
// DTStamp, which is the time of the build, replaced by "STAMP").
#ifndef VTEST_CALENDARTESTSUPPORT_H
#define VTEST_CALENDARTESTSUPPORT_H

#include <cstring>

#include "support/DateRecord.h"
#include "DataManagerFixture.h"
#include "MeetingFake.h"

// US Eastern: UTC-5, daylight (UTC-4) from the second Sunday of March 2:00
// to the first Sunday of November 2:00.
inline TIME_ZONE_INFORMATION EasternZone() {
    TIME_ZONE_INFORMATION zone;
    std::memset(&zone, 0, sizeof zone);
    zone.Bias = 300;
    zone.StandardDate.wMonth = 11;
    zone.StandardDate.wDay = 1;
    zone.StandardDate.wHour = 2;
    zone.DaylightDate.wMonth = 3;
    zone.DaylightDate.wDay = 2;
    zone.DaylightDate.wHour = 2;
    zone.DaylightBias = -60;
    return zone;
}

// An element of the Calendar page with its text.
inline std::string Cal(const std::string &tag, const std::string &text) {
    return "<" + tag + " xmlns=\"Calendar:\">" + text + "</" + tag + ">";
}

class CalendarTest : public DataManagerTest {
protected:
    void SetUp() override {
        DataManagerTest::SetUp();
        AddFolder(kFolderTypeCalendar, "cal", "C1", kFolderFlagSync);
        UseFakePimStore(*data, kOutlookItemAppointment, &calendar);
        UseFakeMeetings(&calendar);
    }
    static std::string Calendar(const std::string &key, const std::string &inner) {
        return "<Sync xmlns=\"AirSync:\"><Collections><Collection><Class>Calendar</Class><SyncKey>" + key +
               "</SyncKey><CollectionId>cal</CollectionId><Status>1</Status>" + inner +
               "</Collection></Collections></Sync>";
    }
    // One server command (Add or Change) of the meeting id with that ApplicationData.
    DErrorCode Apply(const std::string &command, const std::string &id, const std::string &applicationData) {
        const std::string key = "C" + std::to_string(++keys);
        return Answer(kCmdCalendarSync,
                      Calendar(key, "<Commands><" + command + "><ServerId>" + id + "</ServerId><ApplicationData>" +
                                        applicationData + "</ApplicationData></" + command + "></Commands>"));
    }
    // The calendar Sync request with the given meetings changed on the device.
    std::string BuildChanges(const std::vector<std::string> &ids, int *more = nullptr) {
        if (calendar.made == 0) {
            // The store is made by the first answer of the run.
            EXPECT_EQ(Answer(kCmdCalendarSync, Calendar("C1", "")), activeSyncErrWaitForCallback);
        }
        calendar.changedIds = ids;
        Prefs().SetEngineNeedsSoap(0x04);
        const size_t before = client.records.size();
        EXPECT_EQ(data->CollectCommandData(kCmdCalendarSync), kNoError);
        PumpEngineUntil(*global, [&] { return client.records.size() > before || !client.errors.empty(); });
        if (client.records.size() != before + 1) return {};
        if (more != nullptr) *more = client.records.back().more;
        std::string xml = client.records.back().xml;
        const size_t open = xml.find("<DTStamp");
        if (open != std::string::npos) {
            const size_t from = xml.find('>', open) + 1, to = xml.find("</DTStamp>", from);
            stamp = xml.substr(from, to - from);
            xml.replace(from, to - from, "STAMP");
        }
        return xml;
    }
    static std::string SyncOf(const std::string &commands) {
        return "<Sync xmlns=\"AirSync:\"><Collections><Collection><Class>Calendar</Class><SyncKey>C1</SyncKey>"
               "<CollectionId>cal</CollectionId><DeletesAsMoves/><GetChanges/><WindowSize>50</WindowSize>"
               "<Options><FilterType>4</FilterType><Truncation>4</Truncation><RTFTruncation>4</RTFTruncation>"
               "<Conflict>1</Conflict></Options>" +
               commands + "</Collection></Collections></Sync>";
    }
    bool Logged(const std::string &text) const { return Log().find(text) != std::string::npos; }

    FakePimBench calendar;
    int keys = 1;
    // The DtStamp of the last build.
    std::string stamp;
};

#endif
