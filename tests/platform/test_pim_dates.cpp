// The application's date conversions: OLE days, rounded to the second.
#include <cmath>

#include "test_pim_util.h"

namespace {

SYSTEMTIME Time(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    SYSTEMTIME st = {};
    st.wYear = WORD(y), st.wMonth = WORD(mo), st.wDay = WORD(d);
    st.wHour = WORD(h), st.wMinute = WORD(mi), st.wSecond = WORD(s), st.wMilliseconds = WORD(ms);
    return st;
}

class PimDateTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, vplat::PimCreateApplication(m_app.Out())); }
    PimRef<IPOutlookApp> m_app;
};

TEST_F(PimDateTest, SystemTimesBecomeOleDays) {
    struct Case {
        SYSTEMTIME time;
        DATE date;
    } cases[] = {
        {Time(1899, 12, 30), 0.0},
        {Time(1900, 1, 1, 12), 2.5},
        {Time(1899, 12, 29, 6), -1.25},  // before day 0 the time still runs forward
        {Time(4501, 1, 1), PIM_DATE_NONE},
        {Time(2026, 3, 1, 0, 0, 0, 499), 46082.0},  // milliseconds round to the second
        {Time(2026, 3, 1, 0, 0, 0, 500), 46082.0 + 1.0 / 86400},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.date);
        DATE date = -99;
        ASSERT_EQ(S_OK, m_app->SystemTimeToVariantTime(&c.time, &date));
        EXPECT_NEAR(c.date, date, 1e-9);
        SYSTEMTIME back = {};
        ASSERT_EQ(S_OK, m_app->VariantTimeToSystemTime(date, &back));
        EXPECT_EQ(c.time.wYear, back.wYear);
        EXPECT_EQ(c.time.wDay, back.wDay);
        EXPECT_EQ(0, back.wMilliseconds);
    }
}

TEST_F(PimDateTest, OleDaysRoundToTheSecond) {
    SYSTEMTIME st = {};
    // 0.4 s and 0.6 s past 10:00:00.
    ASSERT_EQ(S_OK, m_app->VariantTimeToSystemTime(46082.0 + (36000.4 / 86400), &st));
    EXPECT_EQ(10, st.wHour);
    EXPECT_EQ(0, st.wSecond);
    ASSERT_EQ(S_OK, m_app->VariantTimeToSystemTime(46082.0 + (36000.6 / 86400), &st));
    EXPECT_EQ(1, st.wSecond);
    // Half a second before midnight rounds into the next day.
    ASSERT_EQ(S_OK, m_app->VariantTimeToSystemTime(46082.0 + (86399.6 / 86400), &st));
    EXPECT_EQ(2, st.wDay);
    EXPECT_EQ(0, st.wHour);
}

TEST_F(PimDateTest, OutOfRangeIsRefused) {
    SYSTEMTIME st = {};
    const SYSTEMTIME bad[] = {Time(2027, 2, 29), Time(2026, 13, 1), Time(2026, 1, 1, 24), Time(99, 12, 31),
                              Time(10000, 1, 1)};
    for (const SYSTEMTIME &t : bad) {
        DATE date = 0;
        EXPECT_EQ(E_INVALIDARG, m_app->SystemTimeToVariantTime(&t, &date)) << t.wYear << "-" << t.wMonth;
    }
    EXPECT_EQ(E_INVALIDARG, m_app->VariantTimeToSystemTime(NAN, &st));
    EXPECT_EQ(E_INVALIDARG, m_app->VariantTimeToSystemTime(3000000.0, &st));
    EXPECT_EQ(E_POINTER, m_app->VariantTimeToSystemTime(0, nullptr));
}

}  // namespace
