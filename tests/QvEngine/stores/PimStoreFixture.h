// PimStoreFixture: a fresh device with the calendar and contacts stores of
// this edition, an engine context (log, tasks) for their managers, a
// requester task that hears completions, the kind's shadow database opened
// on its own (as the scheduler's change recorders open it), and a raw view
// of the Pocket Outlook databases to see what the stores wrote.
#ifndef VTEST_PIMSTOREFIXTURE_H
#define VTEST_PIMSTOREFIXTURE_H

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "DWinMobShadowDB.h"
#include "QvEngine/foundation/FakeGlobalData.h"
#include "storefakes.h"
#include "support/TestDevice.h"
#include "vplatform_pim.h"
#include "winfile.h"
#include "winmem.h"

// The record of one item as a raw read gives it: texts by property id.
using RawTexts = std::map<CEPROPID, std::u16string>;

class PimStoreFixture : public DeviceTest {
protected:
    PimStoreFixture() : tasks(nullptr), context(&log, &tasks), waiter(&tasks) {}

    void SetUp() override {
        DeviceTest::SetUp();
#ifdef VANTREL_EDITION_SMARTPHONE
        // The device's storage folder, where both volumes go.
        ASSERT_TRUE(CreateDirectoryW(u"\\storage", nullptr));
#endif
    }
    void TearDown() override {
        recorder.Close();
        for (HANDLE h : m_raw) CloseHandle(h);
        if (m_mounted) CeUnmountDBVol(&m_volume);
        DeviceTest::TearDown();
    }

    // The completions heard so far; the last code in waiter.code.
    int Heard() {
        RunTurns(tasks);
        return waiter.completions;
    }

    // What a change recorder writes for an item a person made on the
    // device: a record with the new flag and the item's object id, marked
    // changed. (The scheduler's recorders write these marks.)
    CEOID RecordUserItem(CEOID pimOid, uint32_t flags = kShadowFlagNew) {
        DWinMobShadowRecord r;
        EXPECT_EQ(recorder.NewRecord(&r, flags), kNoError);
        EXPECT_EQ(r.SetOutlookObjectID(uint32_t(pimOid)), kNoError);
        EXPECT_EQ(r.MarkModified(), kNoError);
        return r.GetObjectID();
    }
    // The recorder's record of that item, as it stands now.
    DWinMobShadowRecord Record(CEOID recordOid) {
        DWinMobShadowRecord r;
        EXPECT_EQ(recorder.GetRecordByOID(recordOid, &r), kNoError);
        return r;
    }

    // A raw handle on a Pocket Outlook database, where this edition keeps it.
    HANDLE RawOpen(const char16_t *name) {
        CEGUID volume;
        CREATE_INVALIDGUID(&volume);
#ifdef VANTREL_EDITION_SMARTPHONE
        if (!m_mounted) {
            EXPECT_TRUE(CeMountDBVol(&m_volume, const_cast<LPWSTR>(u"\\storage\\mxip_initdb.vol"), OPEN_EXISTING));
            m_mounted = true;
        }
        volume = m_volume;
#endif
        CEOID oid = 0;
        std::u16string text(name);
        HANDLE h = CeOpenDatabaseEx2(&volume, &oid, &text[0], nullptr, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, h);
        if (h != INVALID_HANDLE_VALUE) m_raw.push_back(h);
        return h;
    }
    // Every text property of a record; empty when it cannot be read.
    static RawTexts RawRead(HANDLE db, CEOID oid) {
        RawTexts texts;
        if (CeSeekDatabaseEx(db, CEDB_SEEK_CEOID, oid, 0, nullptr) != oid) return texts;
        LPBYTE buffer = nullptr;
        DWORD size = 0;
        WORD count = 0;
        if (CeReadRecordPropsEx(db, CEDB_ALLOWREALLOC, &count, nullptr, &buffer, &size, nullptr) != oid) return texts;
        auto *props = reinterpret_cast<CEPROPVAL *>(buffer);
        for (WORD i = 0; i < count; ++i)
            if (TypeFromPropID(props[i].propid) == CEVT_LPWSTR) texts[props[i].propid] = props[i].val.lpwstr;
        LocalFree(buffer);
        return texts;
    }

    MemoryLog log;
    DActiveTaskManager tasks;
    FakeGlobalData context;
    RecordingClient client;
    RequesterTask waiter;
    // The kind's shadow database as a recorder holds it (the test opens it).
    DWinMobShadowDB recorder;

private:
    std::vector<HANDLE> m_raw;
    CEGUID m_volume{};
    bool m_mounted = false;
};

#endif
