#include "DateTimeArith.h"

#include <limits>

#include "DateTimeConvert.h"
#include "SystemTimeRecord.h"
#include "winerror.h"

namespace {

constexpr int64_t kUnitsPerMinute = 600000000;
constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int64_t kMinutesPerDay = 1440;
constexpr int64_t kSecondsPerDay = 86400;

// Adds minutes to a FILETIME taken as a signed 64-bit count; false (and ft
// unchanged) when the result would leave 0 to 2^63 - 1 instead of wrapping
// round to a date that looks valid.
bool AddUnits(FILETIME *ft, int64_t minutes) {
    int64_t delta = 0;
    int64_t sum = 0;
    const int64_t value = int64_t(FileTimeValue(*ft));
    if (value < 0 || __builtin_mul_overflow(minutes, kUnitsPerMinute, &delta) ||
        __builtin_add_overflow(value, delta, &sum) || sum < 0)
        return false;
    *ft = FileTimeFromValue(uint64_t(sum));
    return true;
}

const DErrorCode kOutOfRange = DErrorCode(ERROR_INVALID_PARAMETER);

DErrorCode SystemTimeAdd(SYSTEMTIME *st, int64_t minutes) {
    if (st == nullptr) return generalErrNULLPointer;
    FILETIME ft;
    if (!SystemTimeToFileTime(st, &ft)) return LastPlatformError();
    if (!AddUnits(&ft, minutes)) return kOutOfRange;
    SYSTEMTIME result;
    if (!FileTimeToSystemTime(&ft, &result)) return LastPlatformError();
    *st = result;
    return kNoError;
}

}  // namespace

DErrorCode FileTimeAddMinutes(FILETIME *ft, int32_t minutes) {
    if (ft == nullptr) return generalErrNULLPointer;
    return AddUnits(ft, minutes) ? kNoError : kOutOfRange;
}

DErrorCode DateTimeAddMinutes(struct tm *t, int32_t minutes) {
    FILETIME ft;
    if (DErrorCode err = DateTimeToFileTime(t, &ft)) return err;
    if (!AddUnits(&ft, minutes)) return kOutOfRange;
    struct tm result;
    if (DErrorCode err = FileTimeToDateTime(&ft, &result)) return err;
    *t = result;
    return kNoError;
}

DErrorCode SystemTimeAddMinutes(SYSTEMTIME *st, int32_t minutes) { return SystemTimeAdd(st, minutes); }

DErrorCode SystemTimeAddDays(SYSTEMTIME *st, int32_t days) { return SystemTimeAdd(st, int64_t(days) * kMinutesPerDay); }

DErrorCode DateTimeDiffSeconds(const struct tm *from, const struct tm *to, int32_t *seconds) {
    if (seconds == nullptr) return generalErrNULLPointer;
    FILETIME a, b;
    if (DErrorCode err = DateTimeToFileTime(from, &a)) return err;
    if (DErrorCode err = DateTimeToFileTime(to, &b)) return err;
    // Both lie in the platform's range (below 2^63), so the difference fits.
    const int64_t diff = (int64_t(FileTimeValue(b)) - int64_t(FileTimeValue(a))) / kUnitsPerSecond;
    if (diff < std::numeric_limits<int32_t>::min() || diff > std::numeric_limits<int32_t>::max())
        return generalErrBufferTooSmall;
    *seconds = int32_t(diff);
    return kNoError;
}

DErrorCode DateTimeDiffDays(const struct tm *from, const struct tm *to, int32_t *days) {
    if (days == nullptr) return generalErrNULLPointer;
    int32_t seconds = 0;
    if (DErrorCode err = DateTimeDiffSeconds(from, to, &seconds)) return err;
    *days = int32_t(seconds / kSecondsPerDay);
    return kNoError;
}
