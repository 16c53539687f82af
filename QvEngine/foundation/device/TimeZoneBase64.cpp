#include "TimeZoneBase64.h"

#include <algorithm>
#include <cstring>

#include "Base64.h"

DErrorCode DecodeTimeZoneBase64(void *tz, const char *text) {
    if (tz == nullptr || text == nullptr) return generalErrNULLPointer;
    uint32_t decoded = 0;
    BYTE *bytes = Base64Decode(text, uint32_t(strlen(text)), &decoded);
    if (bytes == nullptr) return generalErrMemoryError;
    memcpy(tz, bytes, std::min(decoded, kTimeZoneRecordSize));
    delete[] bytes;
    return kNoError;
}

DErrorCode EncodeTimeZoneBase64(const void *tz, char **out) {
    if (tz == nullptr || out == nullptr) return generalErrNULLPointer;
    char *text = Base64Encode(static_cast<const BYTE *>(tz), kTimeZoneRecordSize, nullptr);
    if (text == nullptr) return generalErrMemoryError;
    *out = text;
    return kNoError;
}
