// Helpers of the object-model tests: a fixture with a fresh device and a
// logged-on application (of either edition), counted references, items made
// and saved in one call, local dates, and the raw side (a database handle,
// a record's properties, the notices a window received).
#ifndef VTEST_PLATFORM_TEST_PIM_UTIL_H
#define VTEST_PLATFORM_TEST_PIM_UTIL_H

#include <map>
#include <string>
#include <vector>

#include "../../platform/src/cedbnotify.h"
#include "msgtestutil.h"
#include "support/TestDevice.h"
#include "vplatform_pim.h"
#include "windows.h"

// A local date; hours, minutes and seconds optional.
inline DATE Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    SYSTEMTIME st = {};
    st.wYear = WORD(year);
    st.wMonth = WORD(month);
    st.wDay = WORD(day);
    st.wHour = WORD(hour);
    st.wMinute = WORD(minute);
    st.wSecond = WORD(second);
    PimRef<IPOutlookApp> app;
    vplat::PimCreateApplication(app.Out());
    DATE date = 0;
    EXPECT_EQ(S_OK, app->SystemTimeToVariantTime(&st, &date));
    return date;
}

// One property of a record as a raw read gives it.
struct RawValue {
    LONG num = 0;
    FILETIME time{};
    std::u16string text;
    std::vector<BYTE> blob;
};
using RawRecord = std::map<CEPROPID, RawValue>;

class PimTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(S_OK, vplat::PimCreateApplication(m_app.Out(), Edition()));
        ASSERT_EQ(S_OK, m_app->Logon(nullptr));
    }
    void TearDown() override {
        if (m_app.Get() != nullptr) m_app->Logoff();
        m_app.Reset();
        for (HANDLE h : m_raw) CloseHandle(h);
        if (m_mounted) CeUnmountDBVol(&m_volume);
        DeviceTest::TearDown();
    }
    virtual vplat::PimEdition Edition() const { return vplat::PimEdition::PocketPC; }
    IPOutlookApp *App() { return m_app.Get(); }

    // A new appointment, saved, with this subject and times.
    void NewAppointment(PimRef<IAppointment> *out, const char16_t *subject, DATE start, DATE end) {
        PimRef<IPimItem> item;
        ASSERT_EQ(S_OK, App()->CreateItem(olAppointmentItem, item.Out()));
        ASSERT_EQ(S_OK, item->QueryAppointment(out->Out()));
        ASSERT_EQ(S_OK, (*out)->put_Subject(subject));
        ASSERT_EQ(S_OK, (*out)->put_Start(start));
        ASSERT_EQ(S_OK, (*out)->put_End(end));
        ASSERT_EQ(S_OK, (*out)->Save());
    }
    CEOID OidOf(IPimItem *item) {
        CEOID oid = 0;
        EXPECT_EQ(S_OK, item->get_Oid(&oid));
        return oid;
    }

    // A raw handle on one of the databases, where this edition keeps it,
    // with a notification request for window when one is given.
    HANDLE RawOpen(const char16_t *name, HWND window = nullptr, DWORD param = 0) {
        CEGUID *volume = nullptr;
        if (Edition() == vplat::PimEdition::Smartphone) {
            if (!m_mounted) {
                EXPECT_TRUE(CeMountDBVol(&m_volume, const_cast<LPWSTR>(u"\\storage\\mxip_initdb.vol"), OPEN_EXISTING));
                m_mounted = true;
            }
            volume = &m_volume;
        }
        CENOTIFYREQUEST request = {sizeof request, window, CEDB_EXNOTIFICATION, nullptr, param};
        CEOID oid = 0;
        std::u16string text(name);
        HANDLE h = CeOpenDatabaseEx2(volume, &oid, &text[0], nullptr, 0, window != nullptr ? &request : nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, h);
        if (h != INVALID_HANDLE_VALUE) m_raw.push_back(h);
        return h;
    }
    // Every property of a record; empty when it cannot be read.
    static RawRecord RawRead(HANDLE db, CEOID oid) {
        RawRecord record;
        if (CeSeekDatabaseEx(db, CEDB_SEEK_CEOID, oid, 0, nullptr) != oid) return record;
        LPBYTE buffer = nullptr;
        DWORD size = 0;
        WORD count = 0;
        if (CeReadRecordPropsEx(db, CEDB_ALLOWREALLOC, &count, nullptr, &buffer, &size, nullptr) != oid) return record;
        auto *props = reinterpret_cast<CEPROPVAL *>(buffer);
        for (WORD i = 0; i < count; ++i) {
            RawValue v;
            switch (TypeFromPropID(props[i].propid)) {
                case CEVT_LPWSTR: v.text = props[i].val.lpwstr; break;
                case CEVT_BLOB: v.blob.assign(props[i].val.blob.lpb, props[i].val.blob.lpb + props[i].val.blob.dwCount); break;
                case CEVT_FILETIME: v.time = props[i].val.filetime; break;
                default: v.num = props[i].val.lVal; break;
            }
            record[props[i].propid] = v;
        }
        LocalFree(buffer);
        return record;
    }

private:
    PimRef<IPOutlookApp> m_app;
    std::vector<HANDLE> m_raw;
    CEGUID m_volume{};
    bool m_mounted = false;
};

// The database notices in a window's queue now, in order, freed.
struct Notice {
    UINT type;
    CEOID oid;
    DWORD param;
};
inline std::vector<Notice> Notices(HWND hwnd) {
    std::vector<Notice> seen;
    MSG msg;
    while (PeekMessageW(&msg, hwnd, 0, 0, PM_REMOVE)) {
        vplat::CeDbTranslateIncoming(&msg.message, &msg.wParam, &msg.lParam);
        if (msg.message != WM_DBNOTIFICATION) continue;
        auto *n = reinterpret_cast<PCENOTIFICATION>(msg.lParam);
        seen.push_back({n->uType, n->oid, n->dwParam});
        CeFreeNotification(nullptr, n);
    }
    return seen;
}

constexpr CEPROPID RawProp(WORD id, WORD type) { return (CEPROPID(id) << 16) | type; }

#endif
