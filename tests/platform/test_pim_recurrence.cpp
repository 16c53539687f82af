// Recurrence patterns: which days each kind falls on, its interval, its
// end by count or by date, the "last" weekday, months too short for the
// day, leap years and the calendar's end in 2039.
#include <functional>

#include "test_pim_util.h"

namespace {

struct Day {
    int y, m, d;
    bool occurs;
};

struct Case {
    const char *name;
    int y, m, d;  // the appointment's start
    std::function<void(IRecurrencePattern *)> set;
    std::vector<Day> days;
    Day lastDay;  // y 0: none checked (for a counted pattern, its end date)
};

class PimRecurrenceTest : public PimTest {
protected:
    // A saved appointment at 09:30 on the start day, recurring as set says.
    void Recurring(const Case &c, PimRef<IAppointment> *appointment, PimRef<IRecurrencePattern> *pattern) {
        NewAppointment(appointment, u"Standing", Date(c.y, c.m, c.d, 9, 30), Date(c.y, c.m, c.d, 10, 0));
        ASSERT_EQ(S_OK, (*appointment)->GetRecurrencePattern(pattern->Out()));
        c.set(pattern->Get());
        ASSERT_EQ(S_OK, (*appointment)->Save());
    }
};

TEST_F(PimRecurrenceTest, PatternsFallOnTheirDays) {
    const Case cases[] = {
        {"daily every 2nd, 3 times", 2026, 1, 1,
         [](IRecurrencePattern *p) {
             p->put_RecurrenceType(olRecursDaily);
             p->put_Interval(2);
             p->put_Occurrences(3);
         },
         {{2026, 1, 1, true}, {2026, 1, 3, true}, {2026, 1, 4, false}, {2026, 1, 5, true}, {2026, 1, 7, false}},
         {2026, 1, 5, true}},
        {"weekly Mon/Wed/Fri every 2nd week", 2026, 1, 5,
         [](IRecurrencePattern *p) {
             p->put_RecurrenceType(olRecursWeekly);
             p->put_Interval(2);
             p->put_DayOfWeekMask(olMonday | olWednesday | olFriday);
         },
         {{2026, 1, 5, true}, {2026, 1, 7, true}, {2026, 1, 9, true}, {2026, 1, 12, false}, {2026, 1, 19, true}, {2026, 1, 6, false}},
         {0, 0, 0, false}},
        {"monthly on the 31st, short months on their last day", 2026, 1, 31,
         [](IRecurrencePattern *p) {
             p->put_RecurrenceType(olRecursMonthly);
             p->put_DayOfMonth(31);
         },
         {{2026, 2, 28, true}, {2026, 3, 31, true}, {2026, 4, 30, true}, {2026, 4, 29, false}},
         {0, 0, 0, false}},
        {"monthly on the 30th in a leap February", 2028, 1, 30,
         [](IRecurrencePattern *p) {
             p->put_RecurrenceType(olRecursMonthly);
             p->put_DayOfMonth(30);
             p->put_Occurrences(2);
         },
         {{2028, 2, 29, true}, {2028, 3, 30, false}},
         {2028, 2, 29, true}},
        {"monthly on the last Friday", 2026, 1, 1,
         [](IRecurrencePattern *p) {
             p->put_RecurrenceType(olRecursMonthNth);
             p->put_DayOfWeekMask(olFriday);
             p->put_Instance(5);
         },
         {{2026, 1, 1, false}, {2026, 1, 30, true}, {2026, 1, 23, false}, {2026, 2, 27, true}, {2026, 5, 29, true}},
         {0, 0, 0, false}},
        {"every 3rd month on the 2nd Tuesday", 2026, 1, 13,
         [](IRecurrencePattern *p) {
             p->put_RecurrenceType(olRecursMonthNth);
             p->put_Interval(3);
             p->put_DayOfWeekMask(olTuesday);
             p->put_Instance(2);
         },
         {{2026, 1, 13, true}, {2026, 2, 10, false}, {2026, 4, 14, true}},
         {0, 0, 0, false}},
        {"yearly on February 29", 2028, 2, 29,
         [](IRecurrencePattern *p) {
             p->put_RecurrenceType(olRecursYearly);
             p->put_DayOfMonth(29);
             p->put_MonthOfYear(2);
         },
         {{2028, 2, 29, true}, {2029, 2, 28, true}, {2029, 3, 1, false}, {2032, 2, 29, true}, {2032, 2, 28, false}},
         {0, 0, 0, false}},
        {"yearly on the 4th Thursday of November", 2026, 11, 26,
         [](IRecurrencePattern *p) {
             p->put_RecurrenceType(olRecursYearNth);
             p->put_DayOfWeekMask(olThursday);
             p->put_Instance(4);
             p->put_MonthOfYear(11);
         },
         {{2027, 11, 25, true}, {2027, 11, 26, false}},
         {0, 0, 0, false}},
        {"daily until a date", 2030, 6, 1,
         [](IRecurrencePattern *p) {
             p->put_RecurrenceType(olRecursDaily);
             p->put_PatternEndDate(Date(2030, 6, 30, 15));
         },
         {{2030, 6, 30, true}, {2030, 7, 1, false}},
         {2030, 6, 30, true}},
        {"an end in 2045 is no end; the calendar stops with 2039", 2039, 12, 1,
         [](IRecurrencePattern *p) {
             p->put_RecurrenceType(olRecursDaily);
             p->put_PatternEndDate(Date(2045, 1, 1));
         },
         {{2039, 12, 31, true}, {2040, 1, 1, false}},
         {0, 0, 0, false}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PimRef<IAppointment> appointment;
        PimRef<IRecurrencePattern> pattern;
        Recurring(c, &appointment, &pattern);
        // Read back through a fresh item: what the record holds.
        PimRef<IPimItem> item;
        PimRef<IAppointment> again;
        PimRef<IRecurrencePattern> stored;
        ASSERT_EQ(S_OK, App()->GetItemFromOid(OidOf(appointment.Get()), item.Out()));
        ASSERT_EQ(S_OK, item->QueryAppointment(again.Out()));
        VARIANT_BOOL recurring = 0;
        ASSERT_EQ(S_OK, again->get_IsRecurring(&recurring));
        EXPECT_EQ(VARIANT_TRUE, recurring);
        ASSERT_EQ(S_OK, again->GetRecurrencePattern(stored.Out()));
        for (const Day &d : c.days) {
            PimRef<IAppointment> occurrence;
            EXPECT_EQ(d.occurs ? S_OK : PIM_E_NOTFOUND, stored->GetOccurrence(Date(d.y, d.m, d.d, 17), occurrence.Out()))
                << d.y << "-" << d.m << "-" << d.d;
            if (occurrence.Get() == nullptr) continue;
            DATE start = 0;
            ASSERT_EQ(S_OK, occurrence->get_Start(&start));
            EXPECT_NEAR(Date(d.y, d.m, d.d, 9, 30), start, 1e-9);  // the master's time of day
        }
        DATE end = 0;
        ASSERT_EQ(S_OK, stored->get_PatternEndDate(&end));
        VARIANT_BOOL noEnd = 0;
        ASSERT_EQ(S_OK, stored->get_NoEndDate(&noEnd));
        if (c.lastDay.y != 0) {
            EXPECT_NEAR(Date(c.lastDay.y, c.lastDay.m, c.lastDay.d), end, 1e-9);
            EXPECT_EQ(VARIANT_FALSE, noEnd);
        } else {
            EXPECT_EQ(PIM_DATE_NONE, end);
            EXPECT_EQ(VARIANT_TRUE, noEnd);
        }
    }
}

// The three forms of an end replace each other; only a count reads as
// occurrences, and the "no date" value makes the pattern endless.
TEST_F(PimRecurrenceTest, EndFormsReplaceEachOther) {
    PimRef<IAppointment> appointment;
    NewAppointment(&appointment, u"Ends", Date(2026, 3, 2, 8), Date(2026, 3, 2, 9));
    PimRef<IRecurrencePattern> p;
    ASSERT_EQ(S_OK, appointment->GetRecurrencePattern(p.Out()));
    LONG count = -1;
    VARIANT_BOOL noEnd = 0;
    DATE end = 0;
    ASSERT_EQ(S_OK, p->put_Occurrences(4));
    ASSERT_EQ(S_OK, p->put_PatternEndDate(Date(2026, 12, 31)));
    ASSERT_EQ(S_OK, p->get_Occurrences(&count));
    EXPECT_EQ(0, count);
    ASSERT_EQ(S_OK, p->get_PatternEndDate(&end));
    EXPECT_EQ(Date(2026, 12, 31), end);
    ASSERT_EQ(S_OK, p->put_PatternEndDate(PIM_DATE_NONE));
    ASSERT_EQ(S_OK, p->get_NoEndDate(&noEnd));
    EXPECT_EQ(VARIANT_TRUE, noEnd);
    ASSERT_EQ(S_OK, p->put_Occurrences(2));
    ASSERT_EQ(S_OK, p->put_NoEndDate(VARIANT_TRUE));
    ASSERT_EQ(S_OK, p->get_Occurrences(&count));
    EXPECT_EQ(0, count);
}

// A pattern begins weekly on the start's weekday; a new type starts again
// from the start with interval 1, so a yearly pattern put over one every
// third day recurs every year.
TEST_F(PimRecurrenceTest, ANewTypeStartsAfresh) {
    PimRef<IAppointment> appointment;
    NewAppointment(&appointment, u"Anniversary", Date(2026, 3, 2, 8), Date(2026, 3, 2, 9));
    PimRef<IRecurrencePattern> p;
    ASSERT_EQ(S_OK, appointment->GetRecurrencePattern(p.Out()));
    LONG type = -1, mask = 0, interval = 0, day = 0, month = 0;
    ASSERT_EQ(S_OK, p->get_RecurrenceType(&type));
    ASSERT_EQ(S_OK, p->get_DayOfWeekMask(&mask));
    EXPECT_EQ(olRecursWeekly, type);
    EXPECT_EQ(olMonday, mask);
    ASSERT_EQ(S_OK, p->put_RecurrenceType(olRecursDaily));
    ASSERT_EQ(S_OK, p->put_Interval(3));
    ASSERT_EQ(S_OK, appointment->Save());
    ASSERT_EQ(S_OK, p->put_RecurrenceType(olRecursYearly));
    ASSERT_EQ(S_OK, appointment->Save());
    ASSERT_EQ(S_OK, p->get_Interval(&interval));
    ASSERT_EQ(S_OK, p->get_DayOfMonth(&day));
    ASSERT_EQ(S_OK, p->get_MonthOfYear(&month));
    EXPECT_EQ(1, interval);
    EXPECT_EQ(2, day);
    EXPECT_EQ(3, month);
    PimRef<IAppointment> next;
    EXPECT_EQ(S_OK, p->GetOccurrence(Date(2027, 3, 2), next.Out()));
}

// Values a pattern cannot hold are refused, and an appointment whose
// pattern cannot make occurrences is not saved.
TEST_F(PimRecurrenceTest, BadPatternsAreRefused) {
    PimRef<IAppointment> appointment;
    NewAppointment(&appointment, u"Bad", Date(2026, 3, 2, 8), Date(2026, 3, 2, 9));
    PimRef<IRecurrencePattern> p;
    ASSERT_EQ(S_OK, appointment->GetRecurrencePattern(p.Out()));
    EXPECT_EQ(E_INVALIDARG, p->put_RecurrenceType(4));
    EXPECT_EQ(E_INVALIDARG, p->put_Interval(0));
    EXPECT_EQ(E_INVALIDARG, p->put_DayOfWeekMask(0));
    EXPECT_EQ(E_INVALIDARG, p->put_DayOfMonth(32));
    EXPECT_EQ(E_INVALIDARG, p->put_MonthOfYear(13));
    EXPECT_EQ(E_INVALIDARG, p->put_Instance(6));
    EXPECT_EQ(E_INVALIDARG, p->put_Occurrences(0));

    // Without a start there is nothing to recur from.
    PimRef<IPimItem> item;
    PimRef<IAppointment> loose;
    ASSERT_EQ(S_OK, App()->CreateItem(olAppointmentItem, item.Out()));
    ASSERT_EQ(S_OK, item->QueryAppointment(loose.Out()));
    PimRef<IRecurrencePattern> none;
    ASSERT_EQ(S_OK, loose->GetRecurrencePattern(none.Out()));
    EXPECT_EQ(E_INVALIDARG, loose->Save());
    EXPECT_EQ(0u, OidOf(loose.Get()));
}

}  // namespace
