// The device's clock. Real time: the tick count is the host's monotonic
// clock in milliseconds (time since the host started, the same in every
// process of the device, as the handheld's tick count is one counter for
// all its programs); the date and time are the host's wall clock. Virtual
// time (tests): both stand still until ClockAdvance moves them together.
#include <time.h>

#include <chrono>
#include <mutex>

#include "clock.h"
#include "msgqueue.h"

namespace vplat {
namespace {

struct ClockState {
    std::mutex lock;
    bool isVirtual = false;
    uint64_t tick = 0;  // virtual time only
    int64_t utc = 0;
};

ClockState &State() {
    static ClockState *state = new ClockState;  // outlives static destructors
    return *state;
}

uint64_t RealTick() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
}

int64_t RealUtc() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Switches clocks; timers keep the wait they had left.
void Switch(bool toVirtual, uint64_t tick, int64_t utc) {
    ClockState &s = State();
    int64_t shift;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        uint64_t before = s.isVirtual ? s.tick : RealTick();
        uint64_t after = toVirtual ? tick : RealTick();
        s.isVirtual = toVirtual;
        s.tick = tick;
        s.utc = utc;
        shift = int64_t(after - before);
    }
    QueuesOnClockChange(shift);
}

}  // namespace

void SystemTimeFromMs(int64_t ms, SYSTEMTIME *out) {
    int64_t seconds = ms / 1000;
    int64_t rest = ms % 1000;
    if (rest < 0) {  // floor, for times before 1970
        rest += 1000;
        --seconds;
    }
    time_t t = static_cast<time_t>(seconds);
    struct tm tm = {};
    gmtime_r(&t, &tm);
    out->wYear = WORD(tm.tm_year + 1900);
    out->wMonth = WORD(tm.tm_mon + 1);
    out->wDayOfWeek = WORD(tm.tm_wday);
    out->wDay = WORD(tm.tm_mday);
    out->wHour = WORD(tm.tm_hour);
    out->wMinute = WORD(tm.tm_min);
    out->wSecond = WORD(tm.tm_sec);
    out->wMilliseconds = WORD(rest);
}

PLATAPI void ClockUseVirtual(uint64_t tickCount, int64_t utcMs) { Switch(true, tickCount, utcMs); }

PLATAPI void ClockUseReal(void) { Switch(false, 0, 0); }

PLATAPI void ClockAdvance(uint64_t milliseconds) {
    ClockState &s = State();
    {
        std::lock_guard<std::mutex> guard(s.lock);
        if (!s.isVirtual) return;  // real time moves by itself
        s.tick += milliseconds;
        s.utc += int64_t(milliseconds);
    }
    QueuesOnClockChange(0);
}

PLATAPI bool ClockIsVirtual(void) {
    ClockState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.isVirtual;
}

PLATAPI uint64_t ClockTickCount64(void) {
    ClockState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.isVirtual ? s.tick : RealTick();
}

PLATAPI int64_t ClockUtcMs(void) {
    ClockState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.isVirtual ? s.utc : RealUtc();
}

}  // namespace vplat

extern "C" PLATAPI DWORD GetTickCount(void) { return static_cast<DWORD>(vplat::ClockTickCount64()); }

extern "C" PLATAPI void GetSystemTime(LPSYSTEMTIME lpSystemTime) {
    if (lpSystemTime != nullptr) vplat::SystemTimeFromMs(vplat::ClockUtcMs(), lpSystemTime);
}

extern "C" PLATAPI void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    if (lpSystemTime != nullptr) vplat::SystemTimeFromMs(vplat::LocalFromUniversalMs(vplat::ClockUtcMs()), lpSystemTime);
}
