#include "DeviceIdText.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "DeviceId.h"

namespace {

constexpr size_t kIdLength = 32;

bool IsHexDigit(unsigned char c) { return std::isxdigit(c) != 0; }

char UpperHex(unsigned char c) { return char(std::toupper(c)); }

// Appends ASCII text to out, in out's own narrow tag so the join stays
// narrow (a wide out takes it as Windows-1252, joined wide).
DErrorCode AppendAscii(VString *out, const char *text) {
    VStringEncoding tag = out->GetEncoding();
    if (!VString::IsNarrowEncoding(tag)) tag = kVStringWindows1252;
    return out->AppendNarrow(text, tag);
}

// Runs make over the hardware device id text.
template <typename Make>
DErrorCode WithDeviceId(VString *out, Make make) {
    if (out == nullptr) return generalErrInvalidParameter;
    VString id;
    DErrorCode err = GetDeviceID(&id);
    if (err != kNoError) return err;
    return make(id.GetNarrowText(), out);
}

}  // namespace

DErrorCode FormatDeviceIdHex(const char *deviceId, VString *out) {
    if (out == nullptr) return generalErrInvalidParameter;
    char hex[kIdLength + 1];
    size_t n = 0;
    for (const char *p = deviceId; p != nullptr && *p != 0 && n < kIdLength; ++p) {
        if (IsHexDigit(static_cast<unsigned char>(*p))) hex[n++] = UpperHex(static_cast<unsigned char>(*p));
    }
    hex[n] = 0;
    return out->AssignCStr(n > 0 ? hex : "12345", kVStringWindows1252);
}

DErrorCode FormatDeviceId32(const char *deviceId, VString *out) {
    if (out == nullptr) return generalErrInvalidParameter;
    const size_t have = out->GetCharCount();
    if (have >= kIdLength) return kNoError;
    const size_t wanted = kIdLength - have;
    const size_t idLength = deviceId != nullptr ? strlen(deviceId) : 0;

    // One place to spare: a two-digit code may not fit the last place.
    char tail[kIdLength + 2];
    size_t n = 0;
    if (idLength == 0) {
        memset(tail, '0', wanted);
        n = wanted;
    }
    for (size_t i = 0; n < wanted; i = (i + 1) % idLength) {
        const unsigned char c = static_cast<unsigned char>(deviceId[i]);
        if (IsHexDigit(c))
            tail[n++] = UpperHex(c);
        else
            n += size_t(snprintf(tail + n, 3, "%02x", c));
    }
    tail[wanted] = 0;
    return AppendAscii(out, tail);
}

DErrorCode MakeDeviceIdHex(VString *out) { return WithDeviceId(out, FormatDeviceIdHex); }

DErrorCode MakeDeviceId32(VString *out) { return WithDeviceId(out, FormatDeviceId32); }
