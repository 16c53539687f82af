// VString encoding conversion and the character count of multibyte text,
// both through the platform's code-page services.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "VString.h"
#include "winnls.h"

namespace {

struct FreeDeleter {
    void operator()(void *p) const { free(p); }
};
typedef std::unique_ptr<uint8_t[], FreeDeleter> Buffer;

// 0 for a tag without a code page.
UINT CodePageOf(VStringEncoding tag) {
    switch (tag) {
    case kVStringUTF16LE: return 1200;
    case kVStringUTF16BE: return 1201;
    case kVStringWindows1252: return 1252;
    case kVStringMacRoman: return 10000;
    case kVStringShiftJIS: return 932;
    case kVStringGBK: return 936;
    case kVStringBig5: return 950;
    case kVStringUTF8: return CP_UTF8;
    default: return 0;
    }
}

void SwapUnits(uint8_t *bytes, size_t byteLength) {
    for (size_t i = 0; i + 1 < byteLength; i += 2) {
        uint8_t b = bytes[i];
        bytes[i] = bytes[i + 1];
        bytes[i + 1] = b;
    }
}

// UTF-16 of bytes[0..length) in codePage, zero-terminated, into *out.
DErrorCode DecodeToWide(UINT codePage, const uint8_t *bytes, uint32_t length, Buffer *out, uint32_t *units) {
    if (length > INT_MAX) return vstringErrSizeComputationErr;
    LPCSTR text = reinterpret_cast<LPCSTR>(bytes);
    int needed = MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), nullptr, 0);
    if (needed <= 0) return vstringErrSizeComputationErr;
    Buffer wide(static_cast<uint8_t *>(malloc((size_t(needed) + 1) * sizeof(WCHAR))));
    if (!wide) return vstringErrMemoryError;
    LPWSTR dest = reinterpret_cast<LPWSTR>(wide.get());
    int written = MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), dest, needed);
    if (written <= 0) return vstringErrMBToWideConversionErr;
    dest[written] = 0;
    *units = static_cast<uint32_t>(written);
    *out = std::move(wide);
    return kNoError;
}

// codePage text of units[0..count), zero-terminated, into *out.
DErrorCode EncodeFromWide(UINT codePage, const WCHAR *units, uint32_t count, Buffer *out, uint32_t *bytes) {
    if (count > INT_MAX) return vstringErrSizeComputationErr;
    int needed = WideCharToMultiByte(codePage, 0, units, static_cast<int>(count), nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return vstringErrSizeComputationErr;
    Buffer narrow(static_cast<uint8_t *>(malloc(size_t(needed) + 1)));
    if (!narrow) return vstringErrMemoryError;
    LPSTR dest = reinterpret_cast<LPSTR>(narrow.get());
    int written = WideCharToMultiByte(codePage, 0, units, static_cast<int>(count), dest, needed, nullptr, nullptr);
    if (written <= 0) return vstringErrWideToMBConversionErr;
    dest[written] = 0;
    *bytes = static_cast<uint32_t>(written);
    *out = std::move(narrow);
    return kNoError;
}

}  // namespace

DErrorCode VString::ConvertTo(VStringEncoding target) {
    if (target == m_encoding) return kNoError;
    // A tag outside the table has no code page and is never taken on.
    if (!IsValidEncoding(target)) return vstringErrNoCodePageForEncoding;

    if (m_byteLength == 0) {
        if (IsNarrowEncoding(m_encoding) && IsWideEncoding(target)) {
            uint8_t *terminator = static_cast<uint8_t *>(calloc(2, 1));
            if (terminator == nullptr) return vstringErrMemoryError;
            TakeBuffer(terminator, 0, target, 0);
        } else {
            m_encoding = target;
            m_charCount = 0;
            m_reserved[0] = m_reserved[1] = 0;
        }
        return kNoError;
    }

    UINT from = CodePageOf(m_encoding);
    UINT to = CodePageOf(target);
    if (from == 0 || to == 0) return vstringErrNoCodePageForEncoding;

    if (IsWideEncoding(m_encoding) && IsWideEncoding(target)) {
        SwapUnits(m_text, m_byteLength);
        m_encoding = target;
        m_charCount = m_byteLength / 2;
        m_reserved[0] = m_reserved[1] = 0;
        return kNoError;
    }

    // Every other path passes through the UTF-16LE form of the text.
    Buffer decoded;
    const WCHAR *units = reinterpret_cast<const WCHAR *>(m_text);
    uint32_t unitCount = m_byteLength / 2;
    if (IsNarrowEncoding(m_encoding)) {
        DErrorCode err = DecodeToWide(from, m_text, m_byteLength, &decoded, &unitCount);
        if (err != kNoError) return err;
        units = reinterpret_cast<const WCHAR *>(decoded.get());
    } else if (m_encoding == kVStringUTF16BE) {
        // The original stays intact until the conversion has succeeded.
        decoded.reset(static_cast<uint8_t *>(malloc(size_t(m_byteLength) + 2)));
        if (!decoded) return vstringErrMemoryError;
        memcpy(decoded.get(), m_text, size_t(m_byteLength) + 2);
        SwapUnits(decoded.get(), m_byteLength);
        units = reinterpret_cast<const WCHAR *>(decoded.get());
    }

    if (IsWideEncoding(target)) {
        if (target == kVStringUTF16BE) SwapUnits(decoded.get(), size_t(unitCount) * 2);
        TakeBuffer(decoded.release(), unitCount * 2, target, unitCount);
        return kNoError;
    }

    Buffer encoded;
    uint32_t byteCount = 0;
    DErrorCode err = EncodeFromWide(to, units, unitCount, &encoded, &byteCount);
    if (err != kNoError) return err;
    TakeBuffer(encoded.release(), byteCount, target, IsMultiByteEncoding(target) ? kQvUnknown : byteCount);
    return kNoError;
}

uint32_t VString::CountMultiByteChars() const {
    UINT codePage = CodePageOf(m_encoding);
    if (codePage == 0 || m_byteLength == 0 || m_byteLength > INT_MAX) return m_byteLength;
    int units = MultiByteToWideChar(codePage, 0, reinterpret_cast<LPCSTR>(m_text), static_cast<int>(m_byteLength),
                                    nullptr, 0);
    return units > 0 ? static_cast<uint32_t>(units) : m_byteLength;
}

DErrorCode ToWindows1252Text(const VString &s, std::string *out) {
    if (out == nullptr) return generalErrNULLPointer;
    try {
        if (s.GetLength() == 0) {
            out->clear();
            return kNoError;
        }
        VString copy;
        DErrorCode err = copy.Assign(s);
        if (err == kNoError) err = copy.ConvertTo(kVStringWindows1252);
        if (err != kNoError) return err;
        const char *text = copy.GetNarrowText();
        out->assign(text != nullptr ? text : "", text != nullptr ? copy.GetLength() : 0);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}
