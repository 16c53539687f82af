#include "utf8.h"

#include "device.h"

namespace vplat {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Valid range of the second byte after a lead byte, per the Unicode table of
// well-formed sequences (this is what excludes overlongs and surrogates).
bool SecondByteOk(unsigned char lead, unsigned char b) {
    if (lead == 0xE0) return b >= 0xA0 && b <= 0xBF;
    if (lead == 0xED) return b >= 0x80 && b <= 0x9F;
    if (lead == 0xF0) return b >= 0x90 && b <= 0xBF;
    if (lead == 0xF4) return b >= 0x80 && b <= 0x8F;
    return b >= 0x80 && b <= 0xBF;
}

}  // namespace

bool Utf8Decode(const char *in, size_t len, bool strict, std::u16string *out) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(in);
    size_t i = 0;
    while (i < len) {
        unsigned char lead = p[i];
        if (lead < 0x80) {
            out->push_back(lead);
            ++i;
            continue;
        }
        size_t need;
        char32_t cp;
        if (lead >= 0xC2 && lead <= 0xDF) {
            need = 1;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            need = 2;
            cp = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            need = 3;
            cp = lead & 0x07;
        } else {
            if (strict) return false;
            out->push_back(kReplacement);
            ++i;
            continue;
        }
        // Consume continuation bytes while they fit; a break leaves the
        // maximal subpart consumed and replaced by one U+FFFD.
        size_t j = 1;
        for (; j <= need && i + j < len; ++j) {
            unsigned char b = p[i + j];
            bool ok = (j == 1) ? SecondByteOk(lead, b) : (b >= 0x80 && b <= 0xBF);
            if (!ok) break;
            cp = (cp << 6) | (b & 0x3F);
        }
        if (j <= need) {
            if (strict) return false;
            out->push_back(kReplacement);
            i += j;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(cp));
        }
        i += need + 1;
    }
    return true;
}

bool Utf8Encode(const char16_t *in, size_t len, bool strict, std::string *out) {
    for (size_t i = 0; i < len; ++i) {
        char32_t cp = in[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < len && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            if (strict) return false;
            cp = kReplacement;
        }
        if (cp < 0x80) {
            out->push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return true;
}

std::string Utf16ToUtf8(LPCWSTR text) {
    std::string out;
    if (text != nullptr) {
        size_t len = 0;
        while (text[len] != 0) ++len;
        Utf8Encode(text, len, false, &out);
    }
    return out;
}

std::u16string Utf8ToUtf16(const std::string &text) {
    std::u16string out;
    Utf8Decode(text.data(), text.size(), false, &out);
    return out;
}

}  // namespace vplat
