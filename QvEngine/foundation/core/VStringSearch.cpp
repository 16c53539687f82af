// VString comparison, search and replace.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "VString.h"
#include "winstr.h"

namespace {

// Narrow text of an unknown or multibyte encoding folds only its ASCII
// letters, which mean the same in every encoding the system uses.
uint8_t FoldByte(uint8_t b) { return b >= 'a' && b <= 'z' ? uint8_t(b - 'a' + 'A') : b; }

constexpr size_t kNotFound = SIZE_MAX;

// Offset of the first match of pin in hay, in units, or kNotFound.
template <typename Unit, typename Same>
size_t SearchUnits(const Unit *hay, size_t hayCount, const Unit *pin, size_t pinCount, Same same) {
    const Unit *match = std::search(hay, hay + hayCount, pin, pin + pinCount, same);
    return match == hay + hayCount ? kNotFound : size_t(match - hay);
}

// The UTF-16LE units of a string: its own text, or a converted copy it
// keeps when the string is in another encoding.
struct Utf16Text {
    VString holder;
    const WCHAR *units = nullptr;
    uint32_t count = 0;

    DErrorCode Take(const VString &s) {
        const VString *form = &s;
        if (s.GetEncoding() != kVStringUTF16LE) {
            DErrorCode err = holder.Assign(s);
            if (err == kNoError) err = holder.ConvertTo(kVStringUTF16LE);
            if (err != kNoError) return err;
            form = &holder;
        }
        units = form->GetWideText();
        count = form->GetLength() / 2;
        return kNoError;
    }
};

bool EqualFoldedUnits(const WCHAR *a, uint32_t aCount, const WCHAR *b, uint32_t bCount) {
    return std::equal(a, a + aCount, b, b + bCount,
                      [](WCHAR x, WCHAR y) { return towupper16(x) == towupper16(y); });
}

}  // namespace

BOOL VString::IsEqual(const VString &other, BOOL caseSensitive) const {
    if (m_encoding != other.m_encoding) return FALSE;
    if (m_byteLength == 0 && other.m_byteLength == 0) return TRUE;
    if (caseSensitive)
        return m_byteLength == other.m_byteLength && memcmp(m_text, other.m_text, m_byteLength) == 0;

    Utf16Text left;
    Utf16Text right;
    DErrorCode leftErr = left.Take(*this);
    DErrorCode rightErr = right.Take(other);
    if (leftErr == kNoError && rightErr == kNoError)
        return EqualFoldedUnits(left.units, left.count, right.units, right.count);
    if (leftErr != vstringErrNoCodePageForEncoding && rightErr != vstringErrNoCodePageForEncoding) return FALSE;

    // No code page to decode with: compare the bytes, ASCII letters folded.
    return std::equal(m_text, m_text + m_byteLength, other.m_text, other.m_text + other.m_byteLength,
                      [](uint8_t x, uint8_t y) { return FoldByte(x) == FoldByte(y); });
}

DErrorCode VString::Find(const VString &what, BOOL caseSensitive, int *index) const {
    if (index == nullptr) return vstringErrInvalidParam;
    *index = static_cast<int>(kQvUnknown);
    if (what.m_byteLength == 0 || m_byteLength == 0) return kNoError;

    // The searched-for text in this string's encoding; neither string changes.
    const VString *needle = &what;
    VString converted;
    if (what.m_encoding != m_encoding) {
        DErrorCode err = converted.Assign(what);
        if (err == kNoError) err = converted.ConvertTo(m_encoding);
        if (err != kNoError) return err;
        needle = &converted;
    }
    if (needle->m_byteLength == 0 || needle->m_byteLength > m_byteLength) return kNoError;

    // Case-insensitive search of single-byte or wide text folds characters
    // in UTF-16, where each byte of single-byte text is one unit; multibyte
    // text and text without a code page fold ASCII letters only.
    size_t position = kNotFound;
    bool searched = false;
    if (!caseSensitive && !IsMultiByteEncoding(m_encoding)) {
        Utf16Text text;
        Utf16Text pin;
        DErrorCode err = text.Take(*this);
        if (err == kNoError) err = pin.Take(*needle);
        if (err == kNoError) {
            position = SearchUnits(text.units, text.count, pin.units, pin.count,
                                   [](WCHAR x, WCHAR y) { return towupper16(x) == towupper16(y); });
            searched = true;
        } else if (err != vstringErrNoCodePageForEncoding) {
            return err;
        }
    }
    if (!searched) {
        if (IsWideEncoding(m_encoding)) {
            position = SearchUnits(reinterpret_cast<const WCHAR *>(m_text), m_byteLength / 2,
                                   reinterpret_cast<const WCHAR *>(needle->m_text), needle->m_byteLength / 2,
                                   [](WCHAR x, WCHAR y) { return x == y; });
        } else {
            position = SearchUnits(m_text, m_byteLength, needle->m_text, needle->m_byteLength,
                                   [caseSensitive](uint8_t x, uint8_t y) {
                                       return caseSensitive ? x == y : FoldByte(x) == FoldByte(y);
                                   });
        }
    }
    if (position != kNotFound) *index = static_cast<int>(position);
    return kNoError;
}

DErrorCode VString::Replace(uint32_t position, const VString &with, uint32_t count) {
    if (with.m_encoding != m_encoding && m_encoding != kVStringUTF16LE) return vstringErrWrongEncodingUsed;

    Utf16Text own;
    Utf16Text added;
    DErrorCode err = own.Take(*this);
    if (err != kNoError) return err;
    const WCHAR *text = own.units;
    const uint32_t length = own.count;
    // Written so that no sum can wrap around.
    if (position >= length || count > length - position) return vstringErrSizeComputationErr;
    err = added.Take(with);
    if (err != kNoError) return err;
    const WCHAR *insert = added.units;
    const uint32_t insertLength = added.count;

    size_t units = size_t(length) - count + insertLength;
    if (units > (UINT32_MAX - 2) / 2) return vstringErrMemoryError;
    uint8_t *joined = static_cast<uint8_t *>(malloc((units + 1) * sizeof(WCHAR)));
    if (joined == nullptr) return vstringErrMemoryError;
    WCHAR *out = reinterpret_cast<WCHAR *>(joined);
    memcpy(out, text, size_t(position) * sizeof(WCHAR));
    memcpy(out + position, insert, size_t(insertLength) * sizeof(WCHAR));
    memcpy(out + position + insertLength, text + position + count, size_t(length - position - count) * sizeof(WCHAR));
    out[units] = 0;

    VString result;
    result.TakeBuffer(joined, static_cast<uint32_t>(units * sizeof(WCHAR)), kVStringUTF16LE, kQvUnknown);
    err = result.ConvertTo(m_encoding);
    if (err != kNoError) return err;
    TakeContent(result);
    return kNoError;
}
