// VString lifetime, assign, append and the getters.
#include "VString.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// Largest byte length a buffer may hold, leaving room for a wide terminator.
constexpr size_t kMaxByteLength = UINT32_MAX - 2;

size_t WideLength(const WCHAR *text) {
    size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

}  // namespace

VString::VString()
    : m_text(nullptr),
      m_byteLength(0),
      m_encoding(kVStringNoEncoding),
      m_defaultEncoding(kVStringNoEncoding),
      m_emptyText{0},
      m_charCount(0),
      m_reserved{0, 0} {}

VString::~VString() {
    free(m_text);
    m_text = nullptr;
}

VString::VString(VString &&other) noexcept : VString() { *this = std::move(other); }

VString &VString::operator=(VString &&other) noexcept {
    if (this == &other) return *this;
    free(m_text);
    m_text = other.m_text;
    m_byteLength = other.m_byteLength;
    m_encoding = other.m_encoding;
    m_defaultEncoding = other.m_defaultEncoding;
    m_charCount = other.m_charCount;
    m_reserved[0] = other.m_reserved[0];
    m_reserved[1] = other.m_reserved[1];
    // The source becomes a new, all-zero string.
    other.m_text = nullptr;
    other.m_byteLength = 0;
    other.m_encoding = kVStringNoEncoding;
    other.m_defaultEncoding = kVStringNoEncoding;
    other.m_charCount = 0;
    other.m_reserved[0] = other.m_reserved[1] = 0;
    return *this;
}

DErrorCode VString::Clear() {
    free(m_text);
    m_text = nullptr;
    m_byteLength = 0;
    m_charCount = 0;
    m_reserved[0] = m_reserved[1] = 0;
    return kNoError;
}

VStringEncoding VString::ResolveEncoding(VStringEncoding tag) const {
    if (IsValidEncoding(tag)) return tag;
    if (IsValidEncoding(m_defaultEncoding)) return m_defaultEncoding;
    return kVStringWindows1252;
}

void VString::TakeBuffer(uint8_t *text, uint32_t byteLength, VStringEncoding tag, uint32_t charCount) {
    free(m_text);
    m_text = text;
    m_byteLength = byteLength;
    m_encoding = tag;
    m_charCount = charCount;
    m_reserved[0] = m_reserved[1] = 0;
}

void VString::TakeContent(VString &from) {
    TakeBuffer(from.m_text, from.m_byteLength, from.m_encoding, from.m_charCount);
    from.m_text = nullptr;
    from.Clear();
}

DErrorCode VString::AssignNarrow(const char *text, uint32_t length, VStringEncoding tag) {
    if (IsValidEncoding(tag)) m_defaultEncoding = tag;
    VStringEncoding encoding = ResolveEncoding(tag);
    size_t len = 0;
    if (text != nullptr && !IsWideEncoding(encoding)) len = length == kQvUnknown ? strlen(text) : length;

    // The copy is made before the old text goes, so text may point into it.
    uint8_t *copy = nullptr;
    if (len > 0) {
        copy = len <= kMaxByteLength ? static_cast<uint8_t *>(malloc(len + 1)) : nullptr;
        if (copy != nullptr) {
            memcpy(copy, text, len);
            copy[len] = 0;
        }
    }
    Clear();
    m_encoding = encoding;
    if (IsWideEncoding(encoding)) return vstringErrWrongEncodingUsed;
    if (len == 0) return kNoError;
    if (copy == nullptr) return vstringErrMemoryError;
    TakeBuffer(copy, static_cast<uint32_t>(len), encoding,
               IsMultiByteEncoding(encoding) ? kQvUnknown : static_cast<uint32_t>(len));
    return kNoError;
}

DErrorCode VString::AssignWide(const WCHAR *text, uint32_t length, VStringEncoding tag) {
    if (IsValidEncoding(tag)) m_defaultEncoding = tag;
    VStringEncoding encoding = ResolveEncoding(tag);
    size_t units = 0;
    if (text != nullptr && IsWideEncoding(encoding)) units = length == kQvUnknown ? WideLength(text) : length;

    uint8_t *copy = nullptr;
    if (units > 0) {
        copy = units <= kMaxByteLength / 2 ? static_cast<uint8_t *>(malloc(units * 2 + 2)) : nullptr;
        if (copy != nullptr) {
            memcpy(copy, text, units * 2);
            copy[units * 2] = copy[units * 2 + 1] = 0;
        }
    }
    Clear();
    m_encoding = encoding;
    if (!IsWideEncoding(encoding)) return vstringErrWrongEncodingUsed;
    if (units == 0) return kNoError;
    if (copy == nullptr) return vstringErrMemoryError;
    TakeBuffer(copy, static_cast<uint32_t>(units * 2), encoding, static_cast<uint32_t>(units));
    return kNoError;
}

DErrorCode VString::AssignCStr(const char *text, VStringEncoding tag) { return AssignNarrow(text, kQvUnknown, tag); }

DErrorCode VString::Assign(const VString &src) {
    if (&src == this) return kNoError;
    DErrorCode err = IsWideEncoding(src.m_encoding)
                         ? AssignWide(src.GetWideText(), src.m_byteLength / 2, src.m_encoding)
                         : AssignNarrow(src.GetNarrowText(), src.m_byteLength, src.m_encoding);
    if (err == kNoError) m_charCount = src.m_charCount;
    return err;
}

DErrorCode VString::Concatenate(const void *bytes, uint32_t byteLength, uint32_t otherCharCount) {
    size_t total = size_t(m_byteLength) + byteLength;
    if (total > kMaxByteLength) return vstringErrMemoryError;
    size_t terminator = IsWideEncoding(m_encoding) ? 2 : 1;
    uint8_t *joined = static_cast<uint8_t *>(malloc(total + terminator));
    if (joined == nullptr) return vstringErrMemoryError;
    if (m_byteLength > 0) memcpy(joined, m_text, m_byteLength);
    if (byteLength > 0) memcpy(joined + m_byteLength, bytes, byteLength);
    memset(joined + total, 0, terminator);

    uint32_t count = static_cast<uint32_t>(total);
    if (IsWideEncoding(m_encoding)) {
        count /= 2;
    } else if (IsMultiByteEncoding(m_encoding)) {
        count = m_charCount != kQvUnknown && otherCharCount != kQvUnknown ? m_charCount + otherCharCount
                                                                          : kQvUnknown;
    }
    TakeBuffer(joined, static_cast<uint32_t>(total), m_encoding, count);
    return kNoError;
}

DErrorCode VString::AppendText(const void *text, bool wide, VStringEncoding tag) {
    VStringEncoding encoding = ResolveEncoding(tag);
    // Narrow bytes never join wide text, nor wide units narrow text.
    if (IsWideEncoding(encoding) != wide) return vstringErrWrongEncodingUsed;
    if (m_byteLength == 0) {
        return wide ? AssignWide(static_cast<const WCHAR *>(text), kQvUnknown, tag)
                    : AssignNarrow(static_cast<const char *>(text), kQvUnknown, tag);
    }
    if (text == nullptr) return kNoError;
    if (encoding != m_encoding) {
        VString other;
        DErrorCode err = wide ? other.AssignWide(static_cast<const WCHAR *>(text), kQvUnknown, encoding)
                              : other.AssignNarrow(static_cast<const char *>(text), kQvUnknown, encoding);
        if (err != kNoError) return err;
        return Append(other);
    }
    size_t bytes = wide ? WideLength(static_cast<const WCHAR *>(text)) * 2 : strlen(static_cast<const char *>(text));
    if (bytes == 0) return kNoError;
    if (bytes > kMaxByteLength) return vstringErrMemoryError;
    return Concatenate(text, static_cast<uint32_t>(bytes), kQvUnknown);
}

DErrorCode VString::AppendNarrow(const char *text, VStringEncoding tag) { return AppendText(text, false, tag); }

DErrorCode VString::AppendWide(const WCHAR *text, VStringEncoding tag) { return AppendText(text, true, tag); }

DErrorCode VString::AppendNarrowChar(char c, VStringEncoding tag) {
    const char text[2] = {c, 0};
    return AppendNarrow(text, tag);
}

DErrorCode VString::Append(const VString &other) {
    if (m_byteLength == 0) return Assign(other);
    if (other.m_encoding == m_encoding) {
        if (other.m_byteLength == 0) return kNoError;
        return Concatenate(other.m_text, other.m_byteLength, other.m_charCount);
    }
    // Different encodings meet in UTF-16LE; both sides are converted as
    // copies so that a failure leaves this string untouched.
    VString joined;
    VString tail;
    DErrorCode err = joined.Assign(*this);
    if (err == kNoError) err = joined.ConvertTo(kVStringUTF16LE);
    if (err == kNoError) err = tail.Assign(other);
    if (err == kNoError) err = tail.ConvertTo(kVStringUTF16LE);
    if (err == kNoError) err = joined.Concatenate(tail.m_text, tail.m_byteLength, tail.m_charCount);
    if (err != kNoError) return err;
    TakeContent(joined);
    return kNoError;
}

const char *VString::GetNarrowText() const {
    if (m_byteLength == 0) return reinterpret_cast<const char *>(&m_emptyText);
    if (IsWideEncoding(m_encoding)) return nullptr;
    return reinterpret_cast<const char *>(m_text);
}

const WCHAR *VString::GetWideText() const {
    if (m_byteLength == 0) return m_emptyText.wide;
    if (IsNarrowEncoding(m_encoding)) return nullptr;
    return reinterpret_cast<const WCHAR *>(m_text);
}

uint32_t VString::GetCharCount() const {
    if (m_charCount == kQvUnknown) {
        if (IsWideEncoding(m_encoding))
            m_charCount = m_byteLength / 2;
        else if (IsMultiByteEncoding(m_encoding))
            m_charCount = CountMultiByteChars();
        else
            m_charCount = m_byteLength;
    }
    return m_charCount;
}
