// The peak-time rule: a weekday mask (bit 0 Sunday ... bit 6 Saturday) and a
// window of minutes after midnight. A window within one day includes its
// start minute; one that crosses midnight begins with the minute after its
// start; an empty window (start = end) is never peak. The weekday is always
// today's, also after midnight.
#ifndef QV_PEAKTIME_H
#define QV_PEAKTIME_H

#include "wintypes.h"

bool IsPeakMinute(BYTE weekdayFlags, int weekday, int startMinute, int endMinute, int nowMinute);

#endif
