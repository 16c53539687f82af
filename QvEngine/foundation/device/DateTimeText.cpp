#include "DateTimeText.h"

#include <cstdio>

#include "DateTimeConvert.h"

namespace {

constexpr size_t kMaxTextLength = 32;  // with the terminator

int PositiveRemainder(int value, int divisor) { return (value % divisor + divisor) % divisor; }

}  // namespace

// Written by hand rather than through strftime, whose "%p" follows the
// host's locale: the log's text is always the same.
DErrorCode FormatDateTime(struct tm t, VString *out) {
    if (out == nullptr) return generalErrInvalidParameter;
    const int hour = PositiveRemainder(t.tm_hour, 24);
    const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
    char text[kMaxTextLength];
    snprintf(text, sizeof text, "%02lld/%02d/%02d %02d:%02d:%02d %s", (long long)t.tm_mon + 1, t.tm_mday,
             PositiveRemainder(t.tm_year, 100), hour12, t.tm_min, t.tm_sec, hour < 12 ? "AM" : "PM");
    return out->AssignCStr(text, kVStringWindows1252);
}

DErrorCode FormatCurrentLocalTime(VString *out) {
    struct tm now;
    if (DErrorCode err = GetLocalDateTime(&now)) return err;
    return FormatDateTime(now, out);
}
