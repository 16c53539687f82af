// The platform's 172-byte time-zone record in the base64 form that the
// calendar pages carry.
#ifndef QV_TIMEZONEBASE64_H
#define QV_TIMEZONEBASE64_H

#include <cstdint>

#include "DErrorCode.h"

constexpr uint32_t kTimeZoneRecordSize = 172;

// Decodes the zero-terminated text and copies what it yields, at most 172
// bytes, over the record at tz; bytes past a short decoding keep their
// values. generalErrMemoryError when decoding yields no buffer,
// generalErrNULLPointer for a missing record or text.
DErrorCode DecodeTimeZoneBase64(void *tz, const char *text);

// *out = a new buffer (free with delete[]) holding the 232-character
// encoding of the record's 172 bytes.
DErrorCode EncodeTimeZoneBase64(const void *tz, char **out);

#endif
