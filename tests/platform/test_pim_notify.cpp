// Every write of the model raises one database notice, as a raw write
// does, and a person's actions raise what the device's own programs raise.
#include "test_pim_util.h"

namespace {

class PimNotifyTest : public PimTest {
protected:
    void SetUp() override {
        PimTest::SetUp();
        m_window = MakeWindow();
        RawOpen(u"Appointments Database", m_window, 9);
        RawOpen(u"Contacts Database", m_window, 10);
    }
    void TearDown() override {
        DestroyWindow(m_window);
        PimTest::TearDown();
    }
    // Expects exactly these notices, each {type, oid, param}.
    void Expect(const std::vector<Notice> &expected) {
        std::vector<Notice> seen = Notices(m_window);
        ASSERT_EQ(expected.size(), seen.size());
        for (size_t i = 0; i < seen.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(expected[i].type, seen[i].type);
            EXPECT_EQ(expected[i].oid, seen[i].oid);
            EXPECT_EQ(expected[i].param, seen[i].param);
        }
    }

    HWND m_window = nullptr;
};

TEST_F(PimNotifyTest, OneNoticePerModelWrite) {
    const UINT created = DB_CEOID_CREATED, changed = DB_CEOID_CHANGED, deleted = DB_CEOID_RECORD_DELETED;
    PimRef<IAppointment> a;
    NewAppointment(&a, u"Weekly", Date(2026, 3, 2, 9), Date(2026, 3, 2, 10));
    const CEOID oid = OidOf(a.Get());
    Expect({{created, oid, 9}});

    // A save with nothing changed is still a write.
    ASSERT_EQ(S_OK, a->Save());
    PimRef<IRecurrencePattern> p;
    ASSERT_EQ(S_OK, a->GetRecurrencePattern(p.Out()));
    ASSERT_EQ(S_OK, a->Save());
    Expect({{changed, oid, 9}, {changed, oid, 9}});

    // Each occurrence change or deletion writes the appointment once.
    PimRef<IAppointment> o1, o2;
    ASSERT_EQ(S_OK, p->GetOccurrence(Date(2026, 3, 9), o1.Out()));
    ASSERT_EQ(S_OK, o1->put_Subject(u"Moved"));
    ASSERT_EQ(S_OK, o1->Save());
    ASSERT_EQ(S_OK, p->GetOccurrence(Date(2026, 3, 16), o2.Out()));
    ASSERT_EQ(S_OK, o2->Delete());
    Expect({{changed, oid, 9}, {changed, oid, 9}});

    // Contacts and their deletion, through an item and through the folder.
    PimRef<IPimItem> item;
    PimRef<IContact> c;
    ASSERT_EQ(S_OK, App()->CreateItem(olContactItem, item.Out()));
    ASSERT_EQ(S_OK, item->QueryContact(c.Out()));
    ASSERT_EQ(S_OK, c->put_LastName(u"Lee"));
    ASSERT_EQ(S_OK, c->Save());
    const CEOID contact = OidOf(c.Get());
    ASSERT_EQ(S_OK, c->Delete());
    ASSERT_EQ(S_OK, a->Delete());
    Expect({{created, contact, 10}, {deleted, contact, 10}, {deleted, oid, 9}});

    // A failed write raises nothing.
    EXPECT_EQ(PIM_E_NOTFOUND, a->Save());
    Expect({});
}

TEST_F(PimNotifyTest, PersonsActionsRaiseTheirNotices) {
    vplat::PimUserAppointment meeting;
    meeting.subject = u"Dentist";
    meeting.start = {2026, 4, 0, 7, 15, 0, 0, 0};
    meeting.end = {2026, 4, 0, 7, 16, 0, 0, 0};
    CEOID appointment = 0;
    ASSERT_EQ(S_OK, vplat::PimUserCreateAppointment(meeting, &appointment));
    meeting.location = u"Main Street";
    ASSERT_EQ(S_OK, vplat::PimUserChangeAppointment(appointment, meeting));

    vplat::PimUserContact person;
    person.firstName = u"Ann";
    person.email = u"ann@example.com";
    CEOID contact = 0;
    ASSERT_EQ(S_OK, vplat::PimUserCreateContact(person, &contact));
    person.email.clear();
    ASSERT_EQ(S_OK, vplat::PimUserChangeContact(contact, person));
    // An appointment's id is not a contact's.
    EXPECT_EQ(PIM_E_NOTFOUND, vplat::PimUserDeleteContact(appointment));
    ASSERT_EQ(S_OK, vplat::PimUserDeleteContact(contact));
    ASSERT_EQ(S_OK, vplat::PimUserDeleteAppointment(appointment));
    EXPECT_EQ(PIM_E_NOTFOUND, vplat::PimUserDeleteAppointment(appointment));

    Expect({{DB_CEOID_CREATED, appointment, 9},
            {DB_CEOID_CHANGED, appointment, 9},
            {DB_CEOID_CREATED, contact, 10},
            {DB_CEOID_CHANGED, contact, 10},
            {DB_CEOID_RECORD_DELETED, contact, 10},
            {DB_CEOID_RECORD_DELETED, appointment, 9}});
}

// The Smartphone edition's writes reach a window watching the databases in the volume.
class PimSmartphoneNotifyTest : public PimNotifyTest {
protected:
    vplat::PimEdition Edition() const override { return vplat::PimEdition::Smartphone; }
};

TEST_F(PimSmartphoneNotifyTest, NoticesComeFromTheVolume) {
    vplat::PimUserContact person;
    person.lastName = u"Lee";
    CEOID contact = 0;
    ASSERT_EQ(S_OK, vplat::PimUserCreateContact(person, &contact, vplat::PimEdition::Smartphone));
    Expect({{DB_CEOID_CREATED, contact, 10}});
}

}  // namespace
