// The model and the raw database view agree: an item is its record, the
// ids other programs read raw hold the item's fields, raw properties the
// model does not know survive its writes, and each edition keeps the
// databases where its programs look for them.
#include <sys/wait.h>
#include <unistd.h>

#include "../../platform/src/pimprops.h"
#include "test_pim_util.h"

namespace {

const CEPROPID kRawTimeZone = RawProp(0x0001, CEVT_BLOB);
const CEPROPID kRawGlobalId = RawProp(0x0067, CEVT_BLOB);
const CEPROPID kRawServerId = RawProp(0x8103, CEVT_LPWSTR);

class PimModelTest : public PimTest {};

TEST_F(PimModelTest, AppointmentIsItsRecord) {
    PimRef<IAppointment> a;
    NewAppointment(&a, u"Review", Date(2026, 5, 4, 14), Date(2026, 5, 4, 15));
    ASSERT_EQ(S_OK, a->put_ReminderSet(VARIANT_TRUE));
    ASSERT_EQ(S_OK, a->put_BusyStatus(olOutOfOffice));
    PimRef<IRecipients> recipients;
    PimRef<IRecipient> r;
    ASSERT_EQ(S_OK, a->get_Recipients(recipients.Out()));
    ASSERT_EQ(S_OK, recipients->Add(u"Ann", r.Out()));
    ASSERT_EQ(S_OK, r->put_Address(u"ann@example.com"));
    ASSERT_EQ(S_OK, a->Save());
    const CEOID oid = OidOf(a.Get());
    ASSERT_NE(0u, oid);

    // The model's fields are in the record.
    HANDLE raw = RawOpen(u"Appointments Database");
    RawRecord record = RawRead(raw, oid);
    EXPECT_EQ(u"Review", record[vplat::kApptSubject].text);
    EXPECT_EQ(TRUE, record[vplat::kApptReminderSet].num);
    EXPECT_EQ(olOutOfOffice, record[vplat::kApptBusyStatus].num);
    SYSTEMTIME st = {};
    ASSERT_TRUE(FileTimeToSystemTime(&record[vplat::kApptStart].time, &st));
    EXPECT_EQ(14, st.wHour);

    // Raw writes of the shared properties, and of a field, by that id.
    BYTE zone[48] = {0x88, 0xFF, 0xFF, 0xFF};
    BYTE goid[60] = {0x04, 0, 0, 0, 0x82};
    CEPROPVAL v[4] = {};
    v[0].propid = kRawTimeZone, v[0].val.blob = {sizeof zone, zone};
    v[1].propid = kRawGlobalId, v[1].val.blob = {sizeof goid, goid};
    v[2].propid = kRawServerId, v[2].val.lpwstr = const_cast<LPWSTR>(u"5:12");
    v[3].propid = vplat::kApptLocation, v[3].val.lpwstr = const_cast<LPWSTR>(u"Lab");
    ASSERT_EQ(oid, CeWriteRecordProps(raw, oid, 4, v));

    // The model sees the raw change, and its next save keeps what it does not know.
    PimRef<IPimItem> item;
    PimRef<IAppointment> again;
    ASSERT_EQ(S_OK, App()->GetItemFromOid(oid, item.Out()));
    ASSERT_EQ(S_OK, item->QueryAppointment(again.Out()));
    std::u16string location, name, address;
    ASSERT_EQ(S_OK, again->get_Location(&location));
    EXPECT_EQ(u"Lab", location);
    PimRef<IRecipients> stored;
    PimRef<IRecipient> first;
    ASSERT_EQ(S_OK, again->get_Recipients(stored.Out()));
    ASSERT_EQ(S_OK, stored->Item(1, first.Out()));
    ASSERT_EQ(S_OK, first->get_Name(&name));
    ASSERT_EQ(S_OK, first->get_Address(&address));
    EXPECT_EQ(u"Ann", name);
    EXPECT_EQ(u"ann@example.com", address);
    ASSERT_EQ(S_OK, again->put_Subject(u""));  // an empty text removes the property
    ASSERT_EQ(S_OK, again->Save());
    record = RawRead(raw, oid);
    EXPECT_EQ(0u, record.count(vplat::kApptSubject));
    EXPECT_EQ(u"5:12", record[kRawServerId].text);
    EXPECT_EQ(48u, record[kRawTimeZone].blob.size());
    EXPECT_EQ(60u, record[kRawGlobalId].blob.size());

    // Deleted through the model, the record is gone; through raw, the item.
    ASSERT_EQ(S_OK, again->Delete());
    EXPECT_TRUE(RawRead(raw, oid).empty());
    EXPECT_EQ(0u, OidOf(again.Get()));
    EXPECT_EQ(PIM_E_NOTFOUND, again->Save());
    EXPECT_EQ(PIM_E_NOTFOUND, App()->GetItemFromOid(oid, item.Out()));
}

TEST_F(PimModelTest, ContactFieldsAreTheSharedIds) {
    struct Field {
        HRESULT (IContact::*put)(LPCWSTR);
        WORD raw;
        const char16_t *text;
    } fields[] = {
        {&IContact::put_FirstName, 0x3A06, u"Ann"},
        {&IContact::put_LastName, 0x3A11, u"Lee"},
        {&IContact::put_CompanyName, 0x3A16, u"Brightwork"},
        {&IContact::put_Email1Address, 0x4083, u"ann@example.com"},
        {&IContact::put_MobileTelephoneNumber, 0x3A1C, u"+1 555 0100"},
    };
    PimRef<IPimItem> item;
    PimRef<IContact> c;
    ASSERT_EQ(S_OK, App()->CreateItem(olContactItem, item.Out()));
    ASSERT_EQ(S_OK, item->QueryContact(c.Out()));
    for (const Field &f : fields) ASSERT_EQ(S_OK, (c.Get()->*f.put)(f.text));
    ASSERT_EQ(S_OK, c->put_Birthday(Date(1990, 2, 28)));
    ASSERT_EQ(S_OK, c->Save());
    const CEOID oid = OidOf(c.Get());
    HANDLE raw = RawOpen(u"Contacts Database");
    RawRecord record = RawRead(raw, oid);
    for (const Field &f : fields) EXPECT_EQ(f.text, record[RawProp(f.raw, CEVT_LPWSTR)].text) << f.raw;
    EXPECT_EQ(u"Lee, Ann", record[RawProp(0x4013, CEVT_LPWSTR)].text);  // filed under the names

    // A raw write of a field the engine keeps raw, and the removal of one.
    CEPROPVAL v[2] = {};
    v[0].propid = RawProp(0x4013, CEVT_LPWSTR), v[0].val.lpwstr = const_cast<LPWSTR>(u"Ann at Brightwork");
    v[1].propid = RawProp(0x3A06, CEVT_LPWSTR), v[1].wFlags = CEDB_PROPDELETE;
    ASSERT_EQ(oid, CeWriteRecordProps(raw, oid, 2, v));
    PimRef<IContact> again;
    ASSERT_EQ(S_OK, App()->GetItemFromOid(oid, item.Out()));
    ASSERT_EQ(S_OK, item->QueryContact(again.Out()));
    std::u16string fileAs, first;
    DATE birthday = 0, anniversary = 0;
    ASSERT_EQ(S_OK, again->get_FileAs(&fileAs));
    ASSERT_EQ(S_OK, again->get_FirstName(&first));
    ASSERT_EQ(S_OK, again->get_Birthday(&birthday));
    ASSERT_EQ(S_OK, again->get_Anniversary(&anniversary));
    EXPECT_EQ(u"Ann at Brightwork", fileAs);
    EXPECT_EQ(u"", first);
    EXPECT_EQ(Date(1990, 2, 28), birthday);
    EXPECT_EQ(PIM_DATE_NONE, anniversary);
    PimRef<IAppointment> notAnAppointment;
    EXPECT_EQ(E_NOINTERFACE, item->QueryAppointment(notAnAppointment.Out()));
}

TEST_F(PimModelTest, TasksRoundTrip) {
    PimRef<IFolder> folder;
    PimRef<IPOutlookItemCollection> items;
    PimRef<IPimItem> item;
    PimRef<ITask> t;
    ASSERT_EQ(S_OK, App()->GetDefaultFolder(olFolderTasks, folder.Out()));
    ASSERT_EQ(S_OK, folder->get_Items(items.Out()));
    ASSERT_EQ(S_OK, items->Add(item.Out()));
    ASSERT_EQ(S_OK, item->QueryTask(t.Out()));
    ASSERT_EQ(S_OK, t->put_Subject(u"File the report"));
    ASSERT_EQ(S_OK, t->put_DueDate(Date(2026, 6, 1)));
    ASSERT_EQ(S_OK, t->put_Importance(olImportanceHigh));
    ASSERT_EQ(S_OK, t->put_Complete(VARIANT_TRUE));
    ASSERT_EQ(S_OK, t->Save());

    int count = 0;
    ASSERT_EQ(S_OK, items->get_Count(&count));
    ASSERT_EQ(1, count);
    PimRef<IPimItem> back;
    PimRef<ITask> task;
    ASSERT_EQ(S_OK, items->Item(1, back.Out()));
    ASSERT_EQ(S_OK, back->QueryTask(task.Out()));
    std::u16string subject;
    DATE due = 0, start = 0;
    LONG importance = 0;
    VARIANT_BOOL complete = 0;
    ASSERT_EQ(S_OK, task->get_Subject(&subject));
    ASSERT_EQ(S_OK, task->get_DueDate(&due));
    ASSERT_EQ(S_OK, task->get_StartDate(&start));
    ASSERT_EQ(S_OK, task->get_Importance(&importance));
    ASSERT_EQ(S_OK, task->get_Complete(&complete));
    EXPECT_EQ(u"File the report", subject);
    EXPECT_EQ(Date(2026, 6, 1), due);
    EXPECT_EQ(PIM_DATE_NONE, start);
    EXPECT_EQ(olImportanceHigh, importance);
    EXPECT_EQ(VARIANT_TRUE, complete);
    LONG type = 0;
    ASSERT_EQ(S_OK, back->get_ItemType(&type));
    EXPECT_EQ(olTaskItem, type);
}

// Removing item 1 until removal fails empties a folder, as the device's
// first-use preparation does it.
TEST_F(PimModelTest, RemovingTheFirstItemEmptiesTheFolder) {
    for (int i = 0; i < 3; ++i) {
        PimRef<IAppointment> a;
        NewAppointment(&a, u"Old", Date(2026, 1, 1 + i, 8), Date(2026, 1, 1 + i, 9));
    }
    PimRef<IFolder> folder;
    PimRef<IPOutlookItemCollection> items;
    ASSERT_EQ(S_OK, App()->GetDefaultFolder(olFolderCalendar, folder.Out()));
    ASSERT_EQ(S_OK, folder->get_Items(items.Out()));
    int removed = 0;
    while (SUCCEEDED(items->Remove(1))) ++removed;
    EXPECT_EQ(3, removed);
    EXPECT_EQ(PIM_E_NOTFOUND, items->Remove(1));
    int count = -1;
    ASSERT_EQ(S_OK, items->get_Count(&count));
    EXPECT_EQ(0, count);
    PimRef<IFolder> unknown;
    EXPECT_EQ(E_INVALIDARG, App()->GetDefaultFolder(11, unknown.Out()));
}

// After a logoff, what it handed out answers "not logged on" and writes nothing.
TEST_F(PimModelTest, LogoffEndsTheItemsWork) {
    PimRef<IAppointment> a;
    NewAppointment(&a, u"Before", Date(2026, 1, 1, 8), Date(2026, 1, 1, 9));
    PimRef<IFolder> folder;
    ASSERT_EQ(S_OK, App()->GetDefaultFolder(olFolderContacts, folder.Out()));
    ASSERT_EQ(S_OK, App()->Logoff());
    ASSERT_EQ(S_OK, a->put_Subject(u"After"));
    EXPECT_EQ(PIM_E_NOTLOGGEDON, a->Save());
    PimRef<IPOutlookItemCollection> items;
    EXPECT_EQ(PIM_E_NOTLOGGEDON, folder->get_Items(items.Out()));
    PimRef<IPimItem> item;
    EXPECT_EQ(PIM_E_NOTLOGGEDON, App()->CreateItem(olContactItem, item.Out()));
}

// The Smartphone edition keeps the databases in the PIM volume, not in the
// object store.
class PimSmartphoneTest : public PimTest {
protected:
    vplat::PimEdition Edition() const override { return vplat::PimEdition::Smartphone; }
};

TEST_F(PimSmartphoneTest, DatabasesLiveInTheVolume) {
    PimRef<IAppointment> a;
    NewAppointment(&a, u"On the phone", Date(2026, 2, 2, 8), Date(2026, 2, 2, 9));
    HANDLE raw = RawOpen(u"Appointments Database");
    EXPECT_EQ(u"On the phone", RawRead(raw, OidOf(a.Get()))[vplat::kApptSubject].text);
    CEOID oid = 0;
    std::u16string name(u"Appointments Database");
    EXPECT_EQ(INVALID_HANDLE_VALUE, CeOpenDatabaseEx2(nullptr, &oid, &name[0], nullptr, 0, nullptr));
}

}  // namespace

namespace {

// Programs of a fresh device that first use the calendar and contacts at
// the same moment make one set of databases between them and lose nothing.
class PimFirstUseTest : public DeviceTest {};

TEST_F(PimFirstUseTest, ProcessesStartingAtOnceShareOneSetOfDatabases) {
    const int kChildren = 4;
    std::vector<pid_t> children;
    for (int c = 0; c < kChildren; ++c) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            vplat::PimUserContact person;
            person.lastName = u"Child";
            CEOID oid = 0;
            _exit(vplat::PimUserCreateContact(person, &oid) == S_OK && oid != 0 ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = -1;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    PimRef<IPOutlookApp> app;
    PimRef<IFolder> folder;
    PimRef<IPOutlookItemCollection> items;
    ASSERT_EQ(S_OK, vplat::PimCreateApplication(app.Out()));
    ASSERT_EQ(S_OK, app->Logon(nullptr));
    ASSERT_EQ(S_OK, app->GetDefaultFolder(olFolderContacts, folder.Out()));
    ASSERT_EQ(S_OK, folder->get_Items(items.Out()));
    int count = 0;
    ASSERT_EQ(S_OK, items->get_Count(&count));
    EXPECT_EQ(kChildren, count);
    app->Logoff();
}

}  // namespace
