// VString: the system's one string object. It owns a heap copy of a text in
// a single encoding, named by its encoding tag, and converts between
// encodings through the platform's code-page services.
//
// Contract:
// - The buffer is always zero-terminated (one zero byte for narrow text, one
//   zero 16-bit unit for wide text); the byte length excludes the terminator.
// - The text getters never return null for an empty string: they return the
//   address of a zero word, so an empty string reads as "" or u"".
// - Every operation reports failure as a DErrorCode and never throws. A
//   failed operation leaves the string as it was (an assign has already
//   cleared it).
// - A VString owns its buffer: it can be moved but not copied. Copies go
//   through Assign, which reports allocation failures.
// - Lengths and positions are in bytes for narrow text and 16-bit units for
//   wide text; Replace works in UTF-16 characters. kQvUnknown stands for
//   "measure up to the terminator" on input and "not found" on output.
#ifndef QV_VSTRING_H
#define QV_VSTRING_H

#include <cstdint>
#include <string>

#include "DErrorCode.h"
#include "wintypes.h"

// Encoding tags. 8, 9, 10 (multibyte) and 12 (single byte) are accepted as
// tags but have no code page, so no conversion reaches or leaves them.
typedef uint32_t VStringEncoding;
constexpr VStringEncoding kVStringNoEncoding = 0;
constexpr VStringEncoding kVStringUTF16LE = 1;
constexpr VStringEncoding kVStringUTF16BE = 2;
constexpr VStringEncoding kVStringWindows1252 = 3;
constexpr VStringEncoding kVStringMacRoman = 4;
constexpr VStringEncoding kVStringShiftJIS = 5;
constexpr VStringEncoding kVStringGBK = 6;
constexpr VStringEncoding kVStringBig5 = 7;
constexpr VStringEncoding kVStringUTF8 = 11;
constexpr VStringEncoding kVStringLastEncoding = 12;

class VString {
public:
    VString();
    ~VString();
    VString(VString &&other) noexcept;
    VString &operator=(VString &&other) noexcept;
    VString(const VString &) = delete;
    VString &operator=(const VString &) = delete;

    // Frees the text; the tags stay.
    DErrorCode Clear();

    // Replaces the content with length bytes of text (kQvUnknown: up to the
    // terminator). A tag of 1 to 12 also becomes the default tag; any other
    // tag means the default tag, or Windows-1252 when there is none.
    DErrorCode AssignNarrow(const char *text, uint32_t length, VStringEncoding tag);
    // The same for wide text; length in 16-bit units.
    DErrorCode AssignWide(const WCHAR *text, uint32_t length, VStringEncoding tag);
    DErrorCode AssignCStr(const char *text, VStringEncoding tag);
    // Copies text, tag and character count of src.
    DErrorCode Assign(const VString &src);

    // Append zero-terminated text; text of another tag is joined as Append
    // joins two strings.
    DErrorCode AppendNarrow(const char *text, VStringEncoding tag);
    DErrorCode AppendWide(const WCHAR *text, VStringEncoding tag);
    DErrorCode AppendNarrowChar(char c, VStringEncoding tag);
    // Joins other to this string; strings of different tags join as UTF-16LE.
    DErrorCode Append(const VString &other);

    // Narrow text; "" when empty; null for a non-empty wide string.
    const char *GetNarrowText() const;
    // Wide text; u"" when empty; null for a non-empty narrow string.
    const WCHAR *GetWideText() const;
    // Bytes of text, without the terminator.
    uint32_t GetLength() const { return m_byteLength; }
    // Characters of text; for multibyte tags the number of UTF-16 units the
    // text decodes to (the unit Replace counts in). Cached.
    uint32_t GetCharCount() const;
    VStringEncoding GetEncoding() const { return m_encoding; }

    // Converts the text in place; on failure text and tag stay as they were.
    DErrorCode ConvertTo(VStringEncoding target);

    // TRUE when both strings have one tag and the same text (case-insensitive:
    // the same UTF-16 text with each unit folded to upper case).
    BOOL IsEqual(const VString &other, BOOL caseSensitive) const;
    // *index = offset of the first match of what (brought to this string's
    // tag) in bytes for narrow text, in 16-bit units for wide text;
    // kQvUnknown when absent or when what is empty. Without caseSensitive,
    // wide and single-byte text fold every letter, multibyte text ASCII only.
    DErrorCode Find(const VString &what, BOOL caseSensitive, int *index) const;
    // Replaces count UTF-16 characters at position by the text of with.
    DErrorCode Replace(uint32_t position, const VString &with, uint32_t count);

    static bool IsWideEncoding(VStringEncoding tag) { return tag == kVStringUTF16LE || tag == kVStringUTF16BE; }
    static bool IsNarrowEncoding(VStringEncoding tag) { return !IsWideEncoding(tag); }

private:
    static bool IsValidEncoding(VStringEncoding tag) { return tag >= 1 && tag <= kVStringLastEncoding; }
    static bool IsMultiByteEncoding(VStringEncoding tag) { return tag >= 5 && tag <= 11; }
    // The tag an assign or append uses for the given one.
    VStringEncoding ResolveEncoding(VStringEncoding tag) const;
    // Puts a new buffer in place of the old one (which is freed).
    void TakeBuffer(uint8_t *text, uint32_t byteLength, VStringEncoding tag, uint32_t charCount);
    // Takes text, tag and count of from (which becomes empty); the default
    // tag of this string stays.
    void TakeContent(VString &from);
    DErrorCode Concatenate(const void *bytes, uint32_t byteLength, uint32_t otherCharCount);
    DErrorCode AppendText(const void *text, bool wide, VStringEncoding tag);
    uint32_t CountMultiByteChars() const;

    uint8_t *m_text;
    uint32_t m_byteLength;
    VStringEncoding m_encoding;
    VStringEncoding m_defaultEncoding;
    union {
        uint32_t word;
        WCHAR wide[2];
    } m_emptyText;
    mutable uint32_t m_charCount;
    uint32_t m_reserved[2];
};

// The text of s as Windows-1252 bytes ("" for an empty string).
DErrorCode ToWindows1252Text(const VString &s, std::string *out);

#endif
