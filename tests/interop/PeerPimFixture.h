// What the calendar and contacts interop tests share: a device in the
// server's zone (Central European time) with the test account, the engine
// run of one type, the device's own calendar and contacts as a person sees
// them, and the change marks a person's action leaves.
#ifndef VTEST_INTEROP_PEERPIMFIXTURE_H
#define VTEST_INTEROP_PEERPIMFIXTURE_H

#include <ctime>
#include <string>
#include <vector>

#include "DWinMobShadowDB.h"
#include "PeerMailFixture.h"
#include "vplatform_pim.h"
#include "winnls.h"

// Central European time: daylight from the last Sunday of March 02:00 to the
// last Sunday of October 03:00.
inline TIME_ZONE_INFORMATION CentralEurope() {
    TIME_ZONE_INFORMATION tz = {};
    tz.Bias = -60;
    tz.DaylightBias = -60;
    tz.StandardDate.wMonth = 10;
    tz.StandardDate.wDay = 5;
    tz.StandardDate.wHour = 3;
    tz.DaylightDate.wMonth = 3;
    tz.DaylightDate.wDay = 5;
    tz.DaylightDate.wHour = 2;
    return tz;
}

// A device date as the compact text "YYYYMMDDTHHMMSS" (to the minute, as
// both sides keep it).
inline std::string DateText(DATE date) {
    const time_t t = time_t((date - 25569.0) * 86400.0 + 0.5);
    struct tm parts = {};
    gmtime_r(&t, &parts);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

// A device text as UTF-8, the servers' form.
inline std::string Narrow(const std::u16string &text) {
    if (text.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

// One appointment of the device calendar as a person reads it.
struct DeviceAppointment {
    CEOID oid = 0;
    std::string subject;
    std::string start, end;  // local, DateText form
    bool recurring = false;
    LONG recurrenceType = -1, dayMask = 0, occurrences = 0;
    struct Exception {
        std::string originalDate;
        bool deleted = false;
        std::string subject, start;
    };
    std::vector<Exception> exceptions;
};

// One contact of the device as a person reads it.
struct DeviceContact {
    CEOID oid = 0;
    std::string firstName, lastName, email;
};

// The person's view of the device's calendar and contacts, through the
// device's object model.
class DevicePim {
public:
    DevicePim() {
        if (vplat::PimCreateApplication(&m_app) == S_OK && m_app->Logon(nullptr) != S_OK) {
            m_app->Release();
            m_app = nullptr;
        }
    }
    ~DevicePim() {
        if (m_app == nullptr) return;
        m_app->Logoff();
        m_app->Release();
    }
    DevicePim(const DevicePim &) = delete;
    DevicePim &operator=(const DevicePim &) = delete;

    std::vector<DeviceAppointment> Appointments() {
        std::vector<DeviceAppointment> out;
        ForEach(olFolderCalendar, [&out](IPimItem *item) {
            IAppointment *a = nullptr;
            if (item->QueryAppointment(&a) != S_OK) return;
            DeviceAppointment d;
            item->get_Oid(&d.oid);
            Read(a, &d);
            a->Release();
            out.push_back(d);
        });
        return out;
    }
    std::vector<DeviceContact> Contacts() {
        std::vector<DeviceContact> out;
        ForEach(olFolderContacts, [&out](IPimItem *item) {
            IContact *c = nullptr;
            if (item->QueryContact(&c) != S_OK) return;
            DeviceContact d;
            std::u16string text;
            item->get_Oid(&d.oid);
            if (c->get_FirstName(&text) == S_OK) d.firstName = Narrow(text);
            if (c->get_LastName(&text) == S_OK) d.lastName = Narrow(text);
            if (c->get_Email1Address(&text) == S_OK) d.email = Narrow(text);
            c->Release();
            out.push_back(d);
        });
        return out;
    }

private:
    template <typename Visit>
    void ForEach(int folderId, Visit visit) {
        IFolder *folder = nullptr;
        IPOutlookItemCollection *items = nullptr;
        if (m_app != nullptr && m_app->GetDefaultFolder(folderId, &folder) == S_OK &&
            folder->get_Items(&items) == S_OK) {
            int count = 0;
            items->get_Count(&count);
            for (int i = 1; i <= count; ++i) {
                IPimItem *item = nullptr;
                if (items->Item(i, &item) != S_OK) continue;
                visit(item);
                item->Release();
            }
        }
        if (items != nullptr) items->Release();
        if (folder != nullptr) folder->Release();
    }

    static void Read(IAppointment *a, DeviceAppointment *d) {
        std::u16string text;
        DATE start = 0, end = 0;
        VARIANT_BOOL recurring = 0;
        if (a->get_Subject(&text) == S_OK) d->subject = Narrow(text);
        if (a->get_Start(&start) == S_OK) d->start = DateText(start);
        if (a->get_End(&end) == S_OK) d->end = DateText(end);
        a->get_IsRecurring(&recurring);
        d->recurring = recurring != 0;
        if (!d->recurring) return;
        IRecurrencePattern *pattern = nullptr;
        if (a->GetRecurrencePattern(&pattern) != S_OK) return;
        pattern->get_RecurrenceType(&d->recurrenceType);
        pattern->get_DayOfWeekMask(&d->dayMask);
        pattern->get_Occurrences(&d->occurrences);
        IExceptions *exceptions = nullptr;
        int count = 0;
        if (pattern->get_Exceptions(&exceptions) == S_OK && exceptions->get_Count(&count) == S_OK) {
            for (int i = 1; i <= count; ++i) {
                IException *e = nullptr;
                if (exceptions->Item(i, &e) != S_OK) continue;
                DeviceAppointment::Exception x;
                DATE original = 0;
                VARIANT_BOOL deleted = 0;
                e->get_OriginalDate(&original);
                e->get_Deleted(&deleted);
                x.originalDate = DateText(original);
                x.deleted = deleted != 0;
                IAppointment *changed = nullptr;
                if (!x.deleted && e->get_AppointmentItem(&changed) == S_OK) {
                    DATE when = 0;
                    if (changed->get_Subject(&text) == S_OK) x.subject = Narrow(text);
                    if (changed->get_Start(&when) == S_OK) x.start = DateText(when);
                    changed->Release();
                }
                e->Release();
                d->exceptions.push_back(x);
            }
        }
        if (exceptions != nullptr) exceptions->Release();
        pattern->Release();
    }

    IPOutlookApp *m_app = nullptr;
};

class PeerPimTest : public PeerMailTest {
protected:
    explicit PeerPimTest(std::string idPrefix) : PeerMailTest(std::move(idPrefix)) {}

    void SetUp() override {
        PeerMailTest::SetUp();
        if (HasFatalFailure()) return;
        const TIME_ZONE_INFORMATION zone = CentralEurope();
        ASSERT_TRUE(SetTimeZoneInformation(&zone));
        global->prefs.SetUserSyncCalendar(1);
        global->prefs.SetUserSyncContacts(1);
        global->prefs.SetUserSyncTasks(1);
        global->prefs.SaveAll();
    }

    // One whole run of a new engine for the types; no error.
    void RunTypes(uint32_t flags) {
        MakeEngine();
        if (HasFatalFailure()) return;
        ASSERT_EQ(engine->StartSync(flags, 0, kLockModeWait, kRunKindUser), kNoError);
        ASSERT_TRUE(PumpEngineUntil(*global, [this] { return client.RunOver(); })) << global->log.text;
        EXPECT_TRUE(client.errors.empty()) << std::hex << (client.errors.empty() ? 0 : client.errors[0]) << "\n"
                                           << global->log.text;
    }

    // The scheduler's change recorders are not part of this program: this
    // writes the change record they write when a person makes an item.
    void RecordNewItem(uint32_t shadowType, CEOID pimOid) {
        DWinMobShadowDB shadow;
        ASSERT_EQ(shadow.Open(shadowType), kNoError);
        DWinMobShadowRecord record;
        ASSERT_EQ(shadow.NewRecord(&record, kShadowFlagNew), kNoError);
        ASSERT_EQ(record.SetOutlookObjectID(uint32_t(pimOid)), kNoError);
        ASSERT_EQ(record.MarkModified(), kNoError);
    }
};

#endif
