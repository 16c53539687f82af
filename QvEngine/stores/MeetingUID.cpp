#include "MeetingUID.h"

#include <cstring>
#include <string>

#include "winmem.h"
#include "winnls.h"

const WCHAR kGlobalObjectIDClassHex[] = u"040000008200E00074C5B7101A82E008";

namespace {
const BYTE kClassID[16] = {0x04, 0x00, 0x00, 0x00, 0x82, 0x00, 0xE0, 0x00,
                           0x74, 0xC5, 0xB7, 0x10, 0x1A, 0x82, 0xE0, 0x08};
const BYTE kVCalMark[12] = {'v', 'C', 'a', 'l', '-', 'U', 'i', 'd', 0x01, 0x00, 0x00, 0x00};

constexpr size_t kClassHexLength = 32;
// Class id and instance date in hexadecimal: the shortest binary UID.
constexpr size_t kShortestBinaryUID = 40;
constexpr uint32_t kDateOffset = 16;
constexpr uint32_t kDataSizeOffset = 36;
constexpr uint32_t kMarkOffset = 40;
constexpr uint32_t kTextOffset = 52;
// Shorter blobs end inside the header.
constexpr uint32_t kShortestBlob = 36;

int HexValue(WCHAR c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

bool IsEvenHex(const WCHAR *text, size_t length) {
    if (length % 2 != 0) return false;
    for (size_t i = 0; i < length; ++i)
        if (HexValue(text[i]) < 0) return false;
    return true;
}

void PutLittle32(BYTE *at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = BYTE(value >> (8 * i));
}

BYTE *NewBytes(size_t count) { return static_cast<BYTE *>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, count)); }
WCHAR *NewText(size_t units) { return static_cast<WCHAR *>(LocalAlloc(LMEM_FIXED, (units + 1) * sizeof(WCHAR))); }

HRESULT DecodeHexUID(const WCHAR *uid, size_t length, CEBLOB *blob) {
    const size_t count = length / 2;
    BYTE *bytes = NewBytes(count);
    if (bytes == nullptr) return E_OUTOFMEMORY;
    for (size_t i = 0; i < count; ++i) bytes[i] = BYTE(HexValue(uid[2 * i]) << 4 | HexValue(uid[2 * i + 1]));
    // The occurrence is not part of the meeting's identity.
    std::memset(bytes + kDateOffset, 0, 4);
    blob->dwCount = DWORD(count);
    blob->lpb = bytes;
    return S_OK;
}

HRESULT WrapTextUID(const WCHAR *uid, size_t length, CEBLOB *blob) {
    // The text and its terminator, in UTF-16.
    const size_t textBytes = 2 * (length + 1);
    if (textBytes > 0xFFFFFFFFu - kTextOffset) return E_OUTOFMEMORY;
    const size_t size = kTextOffset + textBytes;
    BYTE *bytes = NewBytes(size);
    if (bytes == nullptr) return E_OUTOFMEMORY;
    std::memcpy(bytes, kClassID, sizeof kClassID);
    PutLittle32(bytes + kDataSizeOffset, uint32_t(sizeof kVCalMark + textBytes));
    std::memcpy(bytes + kMarkOffset, kVCalMark, sizeof kVCalMark);
    for (size_t i = 0; i < length; ++i) {
        bytes[kTextOffset + 2 * i] = BYTE(uid[i]);
        bytes[kTextOffset + 2 * i + 1] = BYTE(uid[i] >> 8);
    }
    blob->dwCount = DWORD(size);
    blob->lpb = bytes;
    return S_OK;
}

// The blob's hexadecimal form; with the date taken apart, zeros in its place.
HRESULT HexText(const CEBLOB *blob, bool dateApart, WCHAR **uid) {
    const size_t units = 2 * size_t(blob->dwCount);
    WCHAR *text = NewText(units);
    if (text == nullptr) return E_OUTOFMEMORY;
    BytesToHex(blob->lpb, blob->dwCount, text);
    if (dateApart)
        for (size_t i = 2 * kDateOffset; i < 2 * kDateOffset + 8; ++i) text[i] = u'0';
    text[units] = 0;
    *uid = text;
    return S_OK;
}

// The text behind the "vCal-Uid" mark: 8-bit text in the ANSI code page
// when its second byte is not zero, else UTF-16; either ends at its first
// zero or at the blob's end.
HRESULT VCalText(const CEBLOB *blob, WCHAR **uid) {
    const BYTE *data = blob->lpb + kTextOffset;
    const size_t count = blob->dwCount - kTextOffset;
    WCHAR *text = nullptr;
    if (count > 1 && data[1] != 0) {
        const void *zero = std::memchr(data, 0, count);
        const size_t bytes = zero != nullptr ? size_t(static_cast<const BYTE *>(zero) - data) : count;
        int units = 0;
        if (bytes > 0) {
            units = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<LPCSTR>(data), int(bytes), nullptr, 0);
            if (units <= 0) return E_FAIL;
        }
        text = NewText(size_t(units));
        if (text == nullptr) return E_OUTOFMEMORY;
        if (units > 0) MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<LPCSTR>(data), int(bytes), text, units);
        text[units] = 0;
    } else {
        const size_t limit = count / 2;
        size_t units = 0;
        while (units < limit && (data[2 * units] != 0 || data[2 * units + 1] != 0)) ++units;
        text = NewText(units);
        if (text == nullptr) return E_OUTOFMEMORY;
        for (size_t i = 0; i < units; ++i) text[i] = WCHAR(data[2 * i] | data[2 * i + 1] << 8);
        text[units] = 0;
    }
    *uid = text;
    return S_OK;
}
}  // namespace

uint32_t BytesToHex(const BYTE *bytes, uint32_t count, WCHAR *out) {
    static const char kDigits[] = "0123456789ABCDEF";
    for (uint32_t i = 0; i < count; ++i) {
        out[2 * i] = WCHAR(kDigits[bytes[i] >> 4]);
        out[2 * i + 1] = WCHAR(kDigits[bytes[i] & 0x0F]);
    }
    return 2 * count;
}

HRESULT UIDToGlobalObjectID(const WCHAR *uid, CEBLOB *blob) {
    if (blob == nullptr) return E_POINTER;
    blob->dwCount = 0;
    blob->lpb = nullptr;
    if (uid == nullptr || uid[0] == 0) return E_FAIL;
    const size_t length = std::char_traits<WCHAR>::length(uid);
    const bool classPrefix =
        length >= kClassHexLength && std::char_traits<WCHAR>::compare(uid, kGlobalObjectIDClassHex, kClassHexLength) == 0;
    if (!classPrefix) return WrapTextUID(uid, length, blob);
    if (length < kShortestBinaryUID) return E_FAIL;
    // A tail that is not whole bytes of hexadecimal is some other text.
    if (!IsEvenHex(uid, length)) return WrapTextUID(uid, length, blob);
    return DecodeHexUID(uid, length, blob);
}

HRESULT GlobalObjectIDToUID(const CEBLOB *blob, WCHAR **uid, SYSTEMTIME *date) {
    if (uid == nullptr) return E_POINTER;
    *uid = nullptr;
    if (blob == nullptr) return E_POINTER;
    if (blob->dwCount < kShortestBlob || blob->lpb == nullptr ||
        std::memcmp(blob->lpb, kClassID, sizeof kClassID) != 0)
        return E_UNEXPECTED;

    SYSTEMTIME instance = {};
    instance.wYear = WORD(blob->lpb[kDateOffset] << 8 | blob->lpb[kDateOffset + 1]);
    if (instance.wYear != 0) {
        instance.wMonth = blob->lpb[kDateOffset + 2];
        instance.wDay = blob->lpb[kDateOffset + 3];
    }

    const bool vCal = blob->dwCount > kTextOffset &&
                      std::memcmp(blob->lpb + kMarkOffset, kVCalMark, sizeof kVCalMark) == 0;
    HRESULT hr = vCal ? VCalText(blob, uid) : HexText(blob, date != nullptr, uid);
    if (SUCCEEDED(hr) && date != nullptr) *date = instance;
    return hr;
}
