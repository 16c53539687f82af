// The calendar item's tests: a fresh device with a device zone, a logged-on
// object model, the appointments database opened raw where this edition
// keeps it (as the calendar manager opens it), and the calendar's change
// records. Helpers make date-time records, load items and read the model
// and the raw record back.
#ifndef VTEST_STORES_CALENDARITEMFIXTURE_H
#define VTEST_STORES_CALENDARITEMFIXTURE_H

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/DateRecord.h"
#include "DWinMobOutlookCalendarItem.h"
#include "DWinMobShadowDB.h"
#include "support/TestDevice.h"
#include "vplatform_pim.h"
#include "winfile.h"
#include "winmem.h"

// A zone record: bias in minutes, daylight start and end as rules (month,
// week of the month, hour on a Sunday); month 0: no daylight time.
inline TIME_ZONE_INFORMATION Zone(LONG bias, WORD daylightMonth, WORD daylightWeek, WORD daylightHour,
                                  WORD standardMonth, WORD standardWeek, WORD standardHour) {
    TIME_ZONE_INFORMATION zone;
    std::memset(&zone, 0, sizeof zone);
    zone.Bias = bias;
    zone.DaylightBias = daylightMonth != 0 ? -60 : 0;
    zone.DaylightDate = SYSTEMTIME{0, daylightMonth, 0, daylightWeek, daylightHour, 0, 0, 0};
    zone.StandardDate = SYSTEMTIME{0, standardMonth, 0, standardWeek, standardHour, 0, 0, 0};
    return zone;
}
// Central Europe: daylight from the last Sunday of March 02:00 to the last Sunday of October 03:00.
inline TIME_ZONE_INFORMATION EuropeZone() { return Zone(-60, 3, 5, 2, 10, 5, 3); }
// Eastern Australia: daylight from the first Sunday of October 02:00 to the first Sunday of April 03:00.
inline TIME_ZONE_INFORMATION AustraliaZone() { return Zone(-600, 10, 1, 2, 4, 1, 3); }

inline bool SameTime(const struct tm &a, const struct tm &b) {
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday && a.tm_hour == b.tm_hour &&
           a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}
inline std::string TmText(const struct tm &t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

inline VString Text(const char *text) {
    VString v;
    v.AssignCStr(text, kVStringWindows1252);
    return v;
}
inline std::u16string Wide(const VString &text) {
    VString copy;
    copy.Assign(text);
    copy.ConvertTo(kVStringUTF16LE);
    return std::u16string(copy.GetWideText(), copy.GetLength() / 2);
}

// One property of the raw record.
struct RawProp {
    std::u16string text;
    std::vector<BYTE> blob;
};

class CalendarItemTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
#ifdef VANTREL_EDITION_SMARTPHONE
        CreateDirectoryW(u"\\Storage", nullptr);
#endif
        SetDeviceZone(EuropeZone());
        ASSERT_EQ(S_OK, vplat::PimCreateApplication(&m_app));
        ASSERT_EQ(S_OK, m_app->Logon(nullptr));
        ASSERT_EQ(kNoError, m_shadow.Open(kShadowCalendar));
        CEGUID *volume = nullptr;
#ifdef VANTREL_EDITION_SMARTPHONE
        ASSERT_TRUE(CeMountDBVol(&m_volume, const_cast<LPWSTR>(u"\\storage\\mxip_initdb.vol"), OPEN_EXISTING));
        m_mounted = true;
        volume = &m_volume;
#endif
        CEOID oid = 0;
        std::u16string name(u"Appointments Database");
        m_db = CeOpenDatabaseEx2(volume, &oid, &name[0], nullptr, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, m_db);
    }
    void TearDown() override {
        m_held.clear();
        if (m_db != INVALID_HANDLE_VALUE) CloseHandle(m_db);
        if (m_mounted) CeUnmountDBVol(&m_volume);
        m_shadow.Close();
        if (m_app != nullptr) {
            m_app->Logoff();
            m_app->Release();
        }
        DeviceTest::TearDown();
    }

    static void SetDeviceZone(const TIME_ZONE_INFORMATION &zone) { ASSERT_TRUE(SetTimeZoneInformation(&zone)); }

    // A new item object bound to the store, loaded for oid (-2: a new one).
    std::unique_ptr<DWinMobOutlookCalendarItem> Load(LONG oid, DErrorCode expected = kNoError) {
        std::unique_ptr<DWinMobOutlookCalendarItem> item(new DWinMobOutlookCalendarItem(nullptr));
        EXPECT_EQ(expected, item->Load(&m_shadow, m_app, m_db, oid));
        return item;
    }
    // A new item with a subject and one hour from start (UTC), committed; its object id.
    LONG CommitNew(const char *subject, const struct tm &start, DRecurrencePattern *pattern = nullptr) {
        auto item = Load(kCalendarOidNew);
        struct tm end = start;
        end.tm_hour += 1;
        timegm(&end);
        EXPECT_EQ(kNoError, item->SetSubject(Text(subject)));
        EXPECT_EQ(kNoError, item->SetStartEndTime(&start, &end));
        if (pattern != nullptr) {
            EXPECT_EQ(kNoError, item->SetRecurrence(pattern));
        }
        EXPECT_EQ(kNoError, item->CommitNewItem(nullptr));
        return item->GetObjectID();
    }

    // The appointment as the object model shows it.
    IAppointment *Appointment(LONG oid) {
        IPimItem *item = nullptr;
        IAppointment *appointment = nullptr;
        EXPECT_EQ(S_OK, m_app->GetItemFromOid(CEOID(oid), &item));
        if (item == nullptr) return nullptr;
        EXPECT_EQ(S_OK, item->QueryAppointment(&appointment));
        item->Release();
        m_held.emplace_back(appointment, [](IAppointment *a) {
            if (a != nullptr) a->Release();
        });
        return appointment;
    }
    // A model date as local date-time text.
    std::string LocalText(DATE date) {
        SYSTEMTIME st = {};
        EXPECT_EQ(S_OK, m_app->VariantTimeToSystemTime(date, &st));
        struct tm t = DateRecord(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
        return TmText(t);
    }
    DATE LocalDate(int year, int month, int day, int hour = 0, int minute = 0) {
        SYSTEMTIME st = {WORD(year), WORD(month), 0, WORD(day), WORD(hour), WORD(minute), 0, 0};
        DATE date = 0;
        EXPECT_EQ(S_OK, m_app->SystemTimeToVariantTime(&st, &date));
        return date;
    }

    // Every property of the raw record, by property id.
    std::map<CEPROPID, RawProp> Raw(LONG oid) {
        std::map<CEPROPID, RawProp> out;
        if (CeSeekDatabaseEx(m_db, CEDB_SEEK_CEOID, DWORD_PTR(oid), 0, nullptr) != CEOID(oid)) return out;
        LPBYTE buffer = nullptr;
        DWORD size = 0;
        WORD count = 0;
        if (CeReadRecordPropsEx(m_db, CEDB_ALLOWREALLOC, &count, nullptr, &buffer, &size, nullptr) != CEOID(oid))
            return out;
        auto *props = reinterpret_cast<CEPROPVAL *>(buffer);
        for (WORD i = 0; i < count; ++i) {
            RawProp p;
            if (TypeFromPropID(props[i].propid) == CEVT_LPWSTR) p.text = props[i].val.lpwstr;
            if (TypeFromPropID(props[i].propid) == CEVT_BLOB)
                p.blob.assign(props[i].val.blob.lpb, props[i].val.blob.lpb + props[i].val.blob.dwCount);
            out[props[i].propid] = p;
        }
        LocalFree(buffer);
        return out;
    }

    IPOutlookApp *m_app = nullptr;
    DWinMobShadowDB m_shadow;
    HANDLE m_db = INVALID_HANDLE_VALUE;

private:
    CEGUID m_volume{};
    bool m_mounted = false;
    std::vector<std::unique_ptr<IAppointment, void (*)(IAppointment *)>> m_held;
};

#endif
