#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/TestDevice.h"
#include "windows.h"

namespace {

// Local time reads the device's time zone, so each test has a device.
class ClockTest : public DeviceTest {
protected:
    void TearDown() override {
        vplat::ClockUseReal();
        DeviceTest::TearDown();
    }
};

}  // namespace

// The virtual clock stands still until advanced and moves the tick count
// and the date together; GetTickCount is the low 32 bits of the tick.
TEST_F(ClockTest, VirtualClockMovesOnlyWhenAdvanced) {
    vplat::ClockUseVirtual(0xFFFFFFF0u, 1078099199999);  // 2004-02-29 23:59:59.999 UTC
    EXPECT_TRUE(vplat::ClockIsVirtual());
    EXPECT_EQ(0xFFFFFFF0u, GetTickCount());
    vplat::ClockAdvance(0x11);
    EXPECT_EQ(0x100000001u, vplat::ClockTickCount64());
    EXPECT_EQ(1u, GetTickCount());
    EXPECT_EQ(1078099200016, vplat::ClockUtcMs());

    vplat::ClockUseReal();
    EXPECT_FALSE(vplat::ClockIsVirtual());
    using namespace std::chrono;
    int64_t host = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    EXPECT_NEAR(double(host), double(vplat::ClockUtcMs()), 60000.0);  // the host's date, not the virtual one
    vplat::ClockAdvance(100000);  // moves nothing on the real clock
    EXPECT_FALSE(vplat::ClockIsVirtual());
}

TEST_F(ClockTest, DateAndTimeFields) {
    const struct {
        int64_t utcMs;
        SYSTEMTIME expected;  // year, month, day of week, day, hour, minute, second, ms
    } cases[] = {
        {0, {1970, 1, 4, 1, 0, 0, 0, 0}},
        {-1, {1969, 12, 3, 31, 23, 59, 59, 999}},
        {1078099199999, {2004, 2, 0, 29, 23, 59, 59, 999}},
        {1078099200000, {2004, 3, 1, 1, 0, 0, 0, 0}},
        {4102444800123, {2100, 1, 5, 1, 0, 0, 0, 123}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.utcMs);
        vplat::ClockUseVirtual(1, c.utcMs);
        SYSTEMTIME utc = {}, local = {};
        GetSystemTime(&utc);
        GetLocalTime(&local);  // no time zone yet: local is universal
        for (const SYSTEMTIME *st : {&utc, &local}) {
            EXPECT_EQ(c.expected.wYear, st->wYear);
            EXPECT_EQ(c.expected.wMonth, st->wMonth);
            EXPECT_EQ(c.expected.wDayOfWeek, st->wDayOfWeek);
            EXPECT_EQ(c.expected.wDay, st->wDay);
            EXPECT_EQ(c.expected.wHour, st->wHour);
            EXPECT_EQ(c.expected.wMinute, st->wMinute);
            EXPECT_EQ(c.expected.wSecond, st->wSecond);
            EXPECT_EQ(c.expected.wMilliseconds, st->wMilliseconds);
        }
    }
}

TEST(ThreadIdTest, IdsOfThreadsAndProcess) {
    DWORD other = 0;
    std::thread([&] { other = GetCurrentThreadId(); }).join();
    EXPECT_NE(0u, GetCurrentThreadId());
    EXPECT_NE(GetCurrentThreadId(), other);
    EXPECT_EQ(DWORD(getpid()), GetCurrentProcessId());
}
