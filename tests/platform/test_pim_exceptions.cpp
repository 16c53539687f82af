// Exceptions of a recurring appointment: occurrences changed and deleted
// through the model, read back as exceptions, changed again through them,
// and dropped when the pattern no longer makes their day.
#include "../../platform/src/pimprops.h"
#include "test_pim_util.h"

namespace {

class PimExceptionTest : public PimTest {
protected:
    // Daily from Monday 2026-03-02 09:00 to 09:30, ten times.
    void SetUp() override {
        PimTest::SetUp();
        NewAppointment(&m_master, u"Stand-up", Date(2026, 3, 2, 9), Date(2026, 3, 2, 9, 30));
        PimRef<IRecurrencePattern> p;
        ASSERT_EQ(S_OK, m_master->GetRecurrencePattern(p.Out()));
        ASSERT_EQ(S_OK, p->put_RecurrenceType(olRecursDaily));
        ASSERT_EQ(S_OK, p->put_Occurrences(10));
        ASSERT_EQ(S_OK, m_master->Save());
    }
    PimRef<IRecurrencePattern> Pattern() {
        PimRef<IRecurrencePattern> p;
        EXPECT_EQ(S_OK, m_master->GetRecurrencePattern(p.Out()));
        return p;
    }
    // The exceptions as stored: {original date, deleted}.
    std::vector<std::pair<DATE, bool>> Stored() {
        std::vector<std::pair<DATE, bool>> out;
        PimRef<IExceptions> list;
        EXPECT_EQ(S_OK, Pattern()->get_Exceptions(list.Out()));
        int count = 0;
        EXPECT_EQ(S_OK, list->get_Count(&count));
        for (int i = 1; i <= count; ++i) {
            PimRef<IException> e;
            EXPECT_EQ(S_OK, list->Item(i, e.Out()));
            DATE original = 0;
            VARIANT_BOOL deleted = 0;
            EXPECT_EQ(S_OK, e->get_OriginalDate(&original));
            EXPECT_EQ(S_OK, e->get_Deleted(&deleted));
            out.push_back({original, deleted != VARIANT_FALSE});
        }
        return out;
    }

    PimRef<IAppointment> m_master;
};

TEST_F(PimExceptionTest, ChangedAndDeletedOccurrencesBecomeExceptions) {
    PimRef<IAppointment> moved, gone;
    ASSERT_EQ(S_OK, Pattern()->GetOccurrence(Date(2026, 3, 4), moved.Out()));
    ASSERT_EQ(S_OK, moved->put_Subject(u"Stand-up, later"));
    ASSERT_EQ(S_OK, moved->put_Start(Date(2026, 3, 4, 11)));
    ASSERT_EQ(S_OK, moved->put_End(Date(2026, 3, 4, 11, 45)));
    ASSERT_EQ(S_OK, moved->Save());
    ASSERT_EQ(S_OK, Pattern()->GetOccurrence(Date(2026, 3, 3, 23, 59), gone.Out()));
    ASSERT_EQ(S_OK, gone->Delete());

    // Both, in day order, at 00:00 of their day.
    auto stored = Stored();
    ASSERT_EQ(2u, stored.size());
    EXPECT_EQ(Date(2026, 3, 3), stored[0].first);
    EXPECT_TRUE(stored[0].second);
    EXPECT_EQ(Date(2026, 3, 4), stored[1].first);
    EXPECT_FALSE(stored[1].second);

    // A deleted occurrence is no longer there; the changed one reads changed.
    PimRef<IAppointment> none, changed;
    EXPECT_EQ(PIM_E_NOTFOUND, Pattern()->GetOccurrence(Date(2026, 3, 3), none.Out()));
    PimRef<IExceptions> list;
    PimRef<IException> second, first;
    ASSERT_EQ(S_OK, Pattern()->get_Exceptions(list.Out()));
    ASSERT_EQ(S_OK, list->Item(1, first.Out()));
    EXPECT_EQ(PIM_E_NOTFOUND, first->get_AppointmentItem(changed.Out()));
    ASSERT_EQ(S_OK, list->Item(2, second.Out()));
    ASSERT_EQ(S_OK, second->get_AppointmentItem(changed.Out()));
    std::u16string subject, location;
    DATE start = 0, end = 0;
    ASSERT_EQ(S_OK, changed->get_Subject(&subject));
    ASSERT_EQ(S_OK, changed->get_Start(&start));
    ASSERT_EQ(S_OK, changed->get_End(&end));
    EXPECT_EQ(u"Stand-up, later", subject);
    EXPECT_EQ(Date(2026, 3, 4, 11), start);
    EXPECT_EQ(Date(2026, 3, 4, 11, 45), end);

    // Changed again through the exception; what it did not change follows the master.
    ASSERT_EQ(S_OK, changed->put_Location(u"Room 4"));
    ASSERT_EQ(S_OK, changed->Save());
    ASSERT_EQ(S_OK, m_master->put_Location(u"Hall"));
    ASSERT_EQ(S_OK, m_master->Save());
    PimRef<IAppointment> again, plain;
    ASSERT_EQ(S_OK, Pattern()->GetOccurrence(Date(2026, 3, 4), again.Out()));
    ASSERT_EQ(S_OK, again->get_Location(&location));
    ASSERT_EQ(S_OK, again->get_Subject(&subject));
    EXPECT_EQ(u"Room 4", location);
    EXPECT_EQ(u"Stand-up, later", subject);
    ASSERT_EQ(S_OK, Pattern()->GetOccurrence(Date(2026, 3, 5), plain.Out()));
    ASSERT_EQ(S_OK, plain->get_Location(&location));
    ASSERT_EQ(S_OK, plain->get_End(&end));
    EXPECT_EQ(u"Hall", location);
    EXPECT_EQ(Date(2026, 3, 5, 9, 30), end);
    EXPECT_EQ(2u, Stored().size());
}

// A day the pattern does not make has no occurrence, so no exception.
TEST_F(PimExceptionTest, NoOccurrenceOffThePattern) {
    PimRef<IAppointment> occurrence;
    EXPECT_EQ(PIM_E_NOTFOUND, Pattern()->GetOccurrence(Date(2026, 3, 1), occurrence.Out()));
    EXPECT_EQ(PIM_E_NOTFOUND, Pattern()->GetOccurrence(Date(2026, 3, 12), occurrence.Out()));
    EXPECT_TRUE(Stored().empty());
}

// A new pattern keeps the exceptions whose day it still makes; clearing
// the pattern drops them all.
TEST_F(PimExceptionTest, PatternChangesDropStrandedExceptions) {
    for (int day : {3, 4}) {
        PimRef<IAppointment> occurrence;
        ASSERT_EQ(S_OK, Pattern()->GetOccurrence(Date(2026, 3, day), occurrence.Out()));
        ASSERT_EQ(S_OK, occurrence->Delete());
    }
    PimRef<IRecurrencePattern> p = Pattern();
    ASSERT_EQ(S_OK, p->put_RecurrenceType(olRecursWeekly));
    ASSERT_EQ(S_OK, p->put_DayOfWeekMask(olMonday | olWednesday));
    ASSERT_EQ(S_OK, m_master->Save());
    auto stored = Stored();
    ASSERT_EQ(1u, stored.size());
    EXPECT_EQ(Date(2026, 3, 4), stored[0].first);

    ASSERT_EQ(S_OK, m_master->ClearRecurrencePattern());
    ASSERT_EQ(S_OK, m_master->Save());
    VARIANT_BOOL recurring = VARIANT_TRUE;
    ASSERT_EQ(S_OK, m_master->get_IsRecurring(&recurring));
    EXPECT_EQ(VARIANT_FALSE, recurring);
    HANDLE raw = RawOpen(u"Appointments Database");
    RawRecord record = RawRead(raw, OidOf(m_master.Get()));
    EXPECT_EQ(0u, record.count(vplat::kRecurExceptions));
    EXPECT_EQ(0u, record.count(vplat::kRecurType));
}

// A damaged exception list written raw reads as none and is replaced by
// the next occurrence change.
TEST_F(PimExceptionTest, DamagedListReadsAsNone) {
    HANDLE raw = RawOpen(u"Appointments Database");
    BYTE junk[] = {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 9};
    CEPROPVAL v = {};
    v.propid = vplat::kRecurExceptions;
    v.val.blob = {sizeof junk, junk};
    ASSERT_NE(0u, CeWriteRecordProps(raw, OidOf(m_master.Get()), 1, &v));
    EXPECT_TRUE(Stored().empty());
    PimRef<IAppointment> occurrence;
    ASSERT_EQ(S_OK, Pattern()->GetOccurrence(Date(2026, 3, 6), occurrence.Out()));
    ASSERT_EQ(S_OK, occurrence->Delete());
    EXPECT_EQ(1u, Stored().size());
}

}  // namespace
