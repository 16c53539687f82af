// The calendar item against the device's object model: every field through
// commit and reload, the raw record beside the model, the change record
// (server id, deleted items, body checksum), the server id's buffer, and the
// notifier broadcasts around the engine's writes.
#include <utility>

#include "CalendarItemFixture.h"
#include "Checksum.h"
#include "MeetingUID.h"
#include "platform/msgtestutil.h"
#include "windows.h"

namespace {

constexpr CEPROPID kRawZone = (CEPROPID(1) << 16) | CEVT_BLOB;
constexpr CEPROPID kRawGlobalID = (CEPROPID(103) << 16) | CEVT_BLOB;
constexpr CEPROPID kRawServerID = (CEPROPID(0x8103) << 16) | CEVT_LPWSTR;

std::vector<BYTE> GlobalID(const char16_t *uid) {
    CEBLOB blob = {0, nullptr};
    EXPECT_EQ(S_OK, UIDToGlobalObjectID(uid, &blob));
    std::vector<BYTE> bytes(blob.lpb, blob.lpb + blob.dwCount);
    LocalFree(blob.lpb);
    return bytes;
}

std::array<BYTE, 8> ChecksumOf(const std::u16string &body) {
    DChecksumState state = {0, 0};
    AccumulateChecksum(reinterpret_cast<const uint8_t *>(body.data()), uint32_t(body.size() * 2), &state, 0);
    std::array<BYTE, 8> out{};
    std::memcpy(out.data(), &state, 8);
    return out;
}

std::array<BYTE, 8> StoredChecksum(DWinMobShadowRecord *record) {
    std::array<BYTE, 8> out{};
    EXPECT_EQ(kNoError, record->GetBodyChecksum(out.data()));
    return out;
}

// Every field set on a new item comes back from the model and from a
// reload; the server id and the UID lie in the raw record, the zone only
// once the item recurs.
TEST_F(CalendarItemTest, EveryFieldSurvivesCommitAndReload) {
    auto item = Load(kCalendarOidNew);
    const struct tm start = DateRecord(2026, 6, 10, 7, 30), end = DateRecord(2026, 6, 10, 9);
    ASSERT_EQ(kNoError, item->SetSubject(Text("Planning")));
    ASSERT_EQ(kNoError, item->SetLocation(Text("Room 4")));
    ASSERT_EQ(kNoError, item->SetBody(Text("Agenda: budget")));
    StringListNode categories = {nullptr, nullptr};
    VString *first = new VString(Text("Work")), *second = new VString(Text("Budget"));
    categories.value = first;
    categories.next = new StringListNode{second, nullptr};
    ASSERT_EQ(kNoError, item->SetCategories(&categories));
    FreeStringList(&categories);
    ASSERT_EQ(kNoError, item->AppendCategory(Text("Q3")));
    ASSERT_EQ(kNoError, item->SetStartEndTime(&start, &end));
    ASSERT_EQ(kNoError, item->SetReminder(15));
    ASSERT_EQ(kNoError, item->SetReminderSet(true));
    ASSERT_EQ(kNoError, item->SetBusyStatus(olOutOfOffice));
    ASSERT_EQ(kNoError, item->SetSensitivity(olPrivate));
    ASSERT_EQ(kNoError, item->SetUID(Text("meeting-42@example.com")));
    ASSERT_EQ(kNoError, item->SetID("7:15"));
    DListNode<DStringPair> people;
    const std::pair<const char *, const char *> given[] = {
        {"Ann", "ann@example.com"}, {"", "bob@example.com"}, {"", ""}};
    for (const auto &p : given) {
        auto *pair = new DStringPair;
        pair->name = Text(p.first);
        pair->email = Text(p.second);
        people.Append(pair);
    }
    ASSERT_EQ(kNoError, item->SetAttendees(&people));
    people.Free();
    ASSERT_EQ(kNoError, item->CommitNewItem(nullptr));
    const LONG oid = item->GetObjectID();
    ASSERT_GT(oid, 0);

    // The model, in local time (Central Europe, summer: UTC+2).
    IAppointment *a = Appointment(oid);
    std::u16string text;
    DATE date = 0;
    ASSERT_EQ(S_OK, a->get_Categories(&text));
    EXPECT_EQ(u"Work, Budget, Q3", text);
    ASSERT_EQ(S_OK, a->get_Start(&date));
    EXPECT_EQ("2026-06-10 09:30:00", LocalText(date));
    IRecipients *recipients = nullptr;
    ASSERT_EQ(S_OK, a->get_Recipients(&recipients));
    int count = 0;
    ASSERT_EQ(S_OK, recipients->get_Count(&count));
    ASSERT_EQ(3, count);
    const std::pair<std::u16string, std::u16string> shown[] = {
        {u"Ann", u"ann@example.com"}, {u"bob@example.com", u"bob@example.com"}, {u"[No Name]", u""}};
    for (int i = 1; i <= count; ++i) {
        IRecipient *r = nullptr;
        std::u16string name, address;
        ASSERT_EQ(S_OK, recipients->Item(i, &r));
        r->get_Name(&name);
        r->get_Address(&address);
        r->Release();
        EXPECT_EQ(shown[i - 1].first, name);
        EXPECT_EQ(shown[i - 1].second, address);
    }
    recipients->Release();

    // The raw record: the server id and the UID as the global object id; no zone for a single item.
    auto raw = Raw(oid);
    EXPECT_EQ(u"7:15", raw[kRawServerID].text);
    EXPECT_EQ(GlobalID(u"meeting-42@example.com"), raw[kRawGlobalID].blob);
    EXPECT_EQ(0u, raw.count(kRawZone));

    // A reload gives every value back.
    auto back = Load(oid);
    VString v;
    struct tm t = {};
    uint32_t n = 0;
    bool flag = false;
    back->GetSubject(&v);
    EXPECT_EQ(u"Planning", Wide(v));
    back->GetLocation(&v);
    EXPECT_EQ(u"Room 4", Wide(v));
    back->GetBody(&v);
    EXPECT_EQ(u"Agenda: budget", Wide(v));
    back->GetUID(&v);
    EXPECT_EQ(u"meeting-42@example.com", Wide(v));
    back->GetStartTime(&t);
    EXPECT_EQ(TmText(start), TmText(t));
    back->GetEndTime(&t);
    EXPECT_EQ(TmText(end), TmText(t));
    back->GetReminder(&n);
    EXPECT_EQ(15u, n);
    back->IsReminderSet(&flag);
    EXPECT_TRUE(flag);
    back->GetBusyStatus(&n);
    EXPECT_EQ(uint32_t(olOutOfOffice), n);
    back->GetSensitivity(&n);
    EXPECT_EQ(uint32_t(olPrivate), n);
    StringListNode list = {nullptr, nullptr};
    ASSERT_EQ(kNoError, back->GetCategories(&list));
    std::vector<std::u16string> names;
    for (StringListNode *node = &list; node != nullptr && node->value != nullptr; node = node->next)
        names.push_back(Wide(*node->value));
    FreeStringList(&list);
    EXPECT_EQ((std::vector<std::u16string>{u"Work", u"Budget", u"Q3"}), names);
    DListNode<DStringPair> attendees;
    ASSERT_EQ(kNoError, back->GetAttendees(&attendees));
    EXPECT_EQ(3u, attendees.Count());
    EXPECT_EQ(u"Ann", Wide(attendees.item->name));
    attendees.Free();
    char id[16];
    ASSERT_EQ(kNoError, back->GetID(id, sizeof id));
    EXPECT_STREQ("7:15", id);

    // The change record names the appointment and carries its server id.
    DWinMobShadowRecord record;
    ASSERT_EQ(kNoError, m_shadow.FindByObjectID(uint32_t(oid), &record));
    EXPECT_EQ(u"7:15", std::u16string(record.GetServerID()));
}

// Personal and confidential are kept as normal; private and normal as they are.
TEST_F(CalendarItemTest, SensitivityKeepsOnlyNormalAndPrivate) {
    const struct {
        uint32_t set;
        LONG stored;
    } cases[] = {{0, 0}, {1, 0}, {2, 2}, {3, 0}};
    for (const auto &c : cases) {
        auto item = Load(kCalendarOidNew);
        const struct tm start = DateRecord(2026, 2, 2, 10), end = DateRecord(2026, 2, 2, 11);
        item->SetStartEndTime(&start, &end);
        ASSERT_EQ(kNoError, item->SetSensitivity(c.set));
        ASSERT_EQ(kNoError, item->CommitNewItem(nullptr));
        LONG stored = -1;
        ASSERT_EQ(S_OK, Appointment(item->GetObjectID())->get_Sensitivity(&stored));
        EXPECT_EQ(c.stored, stored) << "set " << c.set;
    }
}

// The id goes whole with its terminator or not at all.
TEST_F(CalendarItemTest, ServerIDFitsWithItsTerminatorOrFails) {
    const struct {
        size_t length;
        uint32_t size;
        DErrorCode result;
    } cases[] = {
        {127, 128, kNoError},
        {128, 128, generalErrBufferTooSmall},
        {128, 129, kNoError},
        {300, 128, generalErrBufferTooSmall},
    };
    for (const auto &c : cases) {
        auto item = Load(kCalendarOidNew);
        const std::string id(c.length, 'x');
        ASSERT_EQ(kNoError, item->SetID(id.c_str()));
        std::vector<char> buffer(c.size, '#');
        EXPECT_EQ(c.result, item->GetID(buffer.data(), c.size)) << c.length << " in " << c.size;
        EXPECT_EQ(c.result == kNoError ? id : std::string(), std::string(buffer.data())) << c.length;
    }
    // An item the server never saw has none.
    auto fresh = Load(kCalendarOidNew);
    char buffer[8];
    EXPECT_EQ(generalErrNotInitialized, fresh->GetID(buffer, sizeof buffer));
}

// A commit of an item deleted on the device writes its change record only.
TEST_F(CalendarItemTest, CommitOfDeletedItemWritesOnlyItsRecord) {
    const LONG oid = CommitNew("Kept", DateRecord(2026, 3, 3, 8));
    auto item = Load(oid);
    ASSERT_EQ(kNoError, item->GetShadowRecord()->SetDeleted(true));
    item->SetSubject(Text("Changed"));
    item->SetID("9:1");
    ASSERT_EQ(kNoError, item->Commit());
    std::u16string subject;
    Appointment(oid)->get_Subject(&subject);
    EXPECT_EQ(u"Kept", subject);
    EXPECT_EQ(0u, Raw(oid).count(kRawServerID));
    DWinMobShadowRecord record;
    ASSERT_EQ(kNoError, m_shadow.FindByObjectID(uint32_t(oid), &record));
    EXPECT_EQ(u"9:1", std::u16string(record.GetServerID()));
}

// An item whose appointment is gone keeps only its record's server id: it
// does not recur and has no pattern to give.
TEST_F(CalendarItemTest, VanishedAppointmentKeepsOnlyItsServerID) {
    auto made = Load(kCalendarOidNew);
    const struct tm start = DateRecord(2026, 4, 6, 9), end = DateRecord(2026, 4, 6, 10);
    made->SetStartEndTime(&start, &end);
    DRecurrencePattern weekly;
    weekly.type = kRepeatWeekly;
    weekly.dayOfWeekMask = 2;
    weekly.noEnd = true;
    made->SetRecurrence(&weekly);
    made->SetID("4:4");
    ASSERT_EQ(kNoError, made->CommitNewItem(nullptr));
    const LONG oid = made->GetObjectID();
    ASSERT_EQ(S_OK, vplat::PimUserDeleteAppointment(CEOID(oid)));

    auto item = Load(oid);
    bool recurring = true;
    ASSERT_EQ(kNoError, item->IsRecurring(&recurring));
    EXPECT_FALSE(recurring);
    DRecurrencePattern pattern;
    EXPECT_EQ(generalErrItemNotFound, item->GetRecurrence(&pattern));
    char id[8];
    ASSERT_EQ(kNoError, item->GetID(id, sizeof id));
    EXPECT_STREQ("4:4", id);
}

// The zone blob is taken only when it is a whole one; else the device's zone.
TEST_F(CalendarItemTest, ZoneBlobIsTakenOnlyWhole) {
    const TIME_ZONE_INFORMATION australia = AustraliaZone();
    std::vector<BYTE> whole(48, 0);
    std::memcpy(&whole[0], &australia.Bias, 4);
    std::memcpy(&whole[8], &australia.DaylightBias, 4);
    std::memcpy(&whole[14], &australia.StandardDate, 16);
    std::memcpy(&whole[32], &australia.DaylightDate, 16);
    const struct {
        const char *name;
        std::vector<BYTE> blob;
        LONG bias;
        WORD daylightMonth;
    } cases[] = {
        {"whole", whole, -600, 10},
        {"longer", [&] { auto b = whole; b.resize(60, 0xEE); return b; }(), -600, 10},
        {"short", std::vector<BYTE>(whole.begin(), whole.begin() + 20), -60, 3},
    };
    for (const auto &c : cases) {
        const LONG oid = CommitNew("Zoned", DateRecord(2026, 5, 5, 9));
        std::vector<BYTE> blob = c.blob;
        CEPROPVAL prop = {};
        prop.propid = kRawZone;
        prop.val.blob = {DWORD(blob.size()), blob.data()};
        ASSERT_EQ(CEOID(oid), CeWriteRecordProps(m_db, CEOID(oid), 1, &prop));
        auto item = Load(oid);
        TIME_ZONE_INFORMATION zone;
        ASSERT_EQ(kNoError, item->GetTimeZone(&zone));
        EXPECT_EQ(c.bias, zone.Bias) << c.name;
        EXPECT_EQ(c.daylightMonth, zone.DaylightDate.wMonth) << c.name;
    }
}

// A raw write that does not land fails the commit.
TEST_F(CalendarItemTest, FailedRawWriteFailsTheCommit) {
    std::unique_ptr<DWinMobOutlookCalendarItem> item(new DWinMobOutlookCalendarItem(nullptr));
    ASSERT_EQ(kNoError, item->Load(&m_shadow, m_app, INVALID_HANDLE_VALUE, kCalendarOidNew));
    const struct tm start = DateRecord(2026, 5, 5, 9), end = DateRecord(2026, 5, 5, 10);
    item->SetStartEndTime(&start, &end);
    item->SetID("1:1");
    const DErrorCode err = item->CommitNewItem(nullptr);
    EXPECT_NE(kNoError, err);
    EXPECT_LT(int32_t(err), 0);
}

// The engine's writes are bracketed for the scheduler, also a write that fails.
TEST_F(CalendarItemTest, WritesAreBracketedByTheNotifierBroadcasts) {
    const UINT id = RegisterWindowMessageW(u"brwNotifierChangeMessage");
    std::vector<WPARAM> heard;
    HWND listener = MakeWindow([&](HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == id) heard.push_back(w);
        return DefWindowProcW(h, m, w, l);
    });
    ASSERT_NE(nullptr, listener);
    const std::vector<WPARAM> pair = {0, WPARAM(0xFFFFFFFFu)};

    const LONG oid = CommitNew("Bracketed", DateRecord(2026, 7, 1, 9));
    Pump();
    EXPECT_EQ(pair, heard);

    heard.clear();
    auto item = Load(oid);
    ASSERT_EQ(S_OK, vplat::PimUserDeleteAppointment(CEOID(oid)));
    EXPECT_NE(kNoError, item->Commit());
    Pump();
    EXPECT_EQ(pair, heard);
    DestroyWindow(listener);
}

// A commit while the item's change is out with the server keeps the new
// body's checksum apart until the answer; at any other time it is the
// body checksum at once. The body counts as changed only in a changed item.
TEST_F(CalendarItemTest, BodyChecksumWaitsForTheServerWhileSent) {
    const struct {
        bool sent;
        bool storedIsNew;
    } cases[] = {{false, true}, {true, false}};
    for (const auto &c : cases) {
        auto made = Load(kCalendarOidNew);
        const struct tm start = DateRecord(2026, 8, 1, 9), end = DateRecord(2026, 8, 1, 10);
        made->SetStartEndTime(&start, &end);
        made->SetBody(Text("old body"));
        ASSERT_EQ(kNoError, made->CommitNewItem(nullptr));
        const auto old = ChecksumOf(u"old body"), fresh = ChecksumOf(u"new body");

        auto item = Load(made->GetObjectID());
        DWinMobShadowRecord *record = item->GetShadowRecord();
        ASSERT_EQ(old, StoredChecksum(record));
        ASSERT_EQ(kNoError, record->SetSent(c.sent));
        item->SetBody(Text("new body"));
        ASSERT_EQ(kNoError, item->Commit());
        EXPECT_EQ(c.storedIsNew ? fresh : old, StoredChecksum(record)) << "sent " << c.sent;
        ASSERT_EQ(kNoError, record->PromoteSentBodyChecksum());
        EXPECT_EQ(fresh, StoredChecksum(record)) << "sent " << c.sent;

        bool changed = true;
        ASSERT_EQ(kNoError, item->IsBodyChanged(&changed));
        EXPECT_FALSE(changed);  // change state 0
        ASSERT_EQ(kNoError, record->MarkModified());
        ASSERT_EQ(kNoError, item->IsBodyChanged(&changed));
        EXPECT_FALSE(changed);  // the body the checksum stands for
        item->SetBody(Text("edited"));
        ASSERT_EQ(kNoError, item->IsBodyChanged(&changed));
        EXPECT_TRUE(changed);
    }
}

// Delete removes the appointment and its record; an item deleted on the
// device loses only its record; an item never stored has nothing to delete.
TEST_F(CalendarItemTest, DeleteRemovesAppointmentAndRecord) {
    const struct {
        const char *name;
        bool deletedOnDevice;
    } cases[] = {{"engine deletes", false}, {"deleted on the device", true}};
    for (const auto &c : cases) {
        const LONG oid = CommitNew(c.name, DateRecord(2026, 9, 1, 8));
        auto item = Load(oid);
        if (c.deletedOnDevice) {
            ASSERT_EQ(S_OK, vplat::PimUserDeleteAppointment(CEOID(oid)));
            ASSERT_EQ(kNoError, item->GetShadowRecord()->SetDeleted(true));
        }
        // Changed on the device, but a deleted item counts as deleted, not as modified.
        ASSERT_EQ(kNoError, item->GetShadowRecord()->MarkModified());
        bool modified = c.deletedOnDevice;
        ASSERT_EQ(kNoError, item->IsModified(&modified));
        EXPECT_EQ(!c.deletedOnDevice, modified) << c.name;
        ASSERT_EQ(kNoError, item->Delete()) << c.name;
        EXPECT_EQ(kCalendarOidDeleted, item->GetObjectID()) << c.name;
        IPimItem *gone = nullptr;
        EXPECT_EQ(PIM_E_NOTFOUND, m_app->GetItemFromOid(CEOID(oid), &gone)) << c.name;
        DWinMobShadowRecord record;
        EXPECT_EQ(generalErrItemNotFound, m_shadow.FindByObjectID(uint32_t(oid), &record)) << c.name;
        EXPECT_EQ(kNoError, item->Delete()) << c.name;  // nothing left to delete
    }
    EXPECT_EQ(kNoError, Load(kCalendarOidNew)->Delete());
}

}  // namespace
