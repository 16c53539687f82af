// Conversion for the double-byte pages through glibc's iconv, with the
// page's own rules where iconv has none: the default unit for bad input, the
// length of a bad sequence, the few single bytes Windows' tables map that
// glibc's do not, and no one-way (best-fit) mapping when encoding. Each call
// opens its own conversion descriptors, so calls on any thread are safe.
#include <errno.h>
#include <iconv.h>

#include "codepage.h"

namespace vplat {
namespace {

struct ByteRange {
    unsigned char first;
    unsigned char last;
};

struct SingleByteExtra {
    unsigned char byte;
    char16_t unit;
};

struct DoubleBytePage {
    UINT codePage;
    const char *iconvName;
    char16_t defaultUnit;  // what a bad sequence decodes to
    ByteRange lead[2];
    ByteRange trail[2];
    SingleByteExtra extras[5];
    int extraCount;
};

const DoubleBytePage kPages[] = {
    {932,
     "CP932",
     0x30FB,
     {{0x81, 0x9F}, {0xE0, 0xFC}},
     {{0x40, 0x7E}, {0x80, 0xFC}},
     {{0x80, 0x0080}, {0xA0, 0xF8F0}, {0xFD, 0xF8F1}, {0xFE, 0xF8F2}, {0xFF, 0xF8F3}},
     5},
    // One lead range, given twice to fill the pair.
    {936, "CP936", u'?', {{0x81, 0xFE}, {0x81, 0xFE}}, {{0x40, 0x7E}, {0x80, 0xFE}}, {{0xFF, 0xF8F5}}, 1},
    {950, "CP950", u'?', {{0x81, 0xFE}, {0x81, 0xFE}}, {{0x40, 0x7E}, {0xA1, 0xFE}}, {{0xFF, 0xF8F8}}, 1},
};

const DoubleBytePage *FindPage(UINT codePage) {
    for (const DoubleBytePage &page : kPages) {
        if (page.codePage == codePage) return &page;
    }
    return nullptr;
}

bool InRanges(const ByteRange (&ranges)[2], unsigned char b) {
    for (const ByteRange &r : ranges) {
        if (b >= r.first && b <= r.last) return true;
    }
    return false;
}

bool ExtraUnit(const DoubleBytePage &page, unsigned char b, char16_t *unit) {
    for (int i = 0; i < page.extraCount; ++i) {
        if (page.extras[i].byte == b) {
            *unit = page.extras[i].unit;
            return true;
        }
    }
    return false;
}

bool ExtraByte(const DoubleBytePage &page, char16_t unit, char *byte) {
    for (int i = 0; i < page.extraCount; ++i) {
        if (page.extras[i].unit == unit) {
            *byte = static_cast<char>(page.extras[i].byte);
            return true;
        }
    }
    return false;
}

// An iconv descriptor closed when it goes out of scope.
class Converter {
public:
    Converter(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~Converter() {
        if (Ok()) iconv_close(m_cd);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    bool Ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    // One iconv step; returns false with errno set when it stopped early.
    bool Step(char **in, size_t *inLeft, char **out, size_t *outLeft) {
        return iconv(m_cd, in, inLeft, out, outLeft) != static_cast<size_t>(-1);
    }
    void Reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t m_cd;
};

void AppendUtf16Le(const char *bytes, size_t count, std::u16string *out) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(bytes);
    for (size_t i = 0; i + 1 < count; i += 2) out->push_back(static_cast<char16_t>(p[i] | (p[i + 1] << 8)));
}

// The bytes of one BMP unit when the page maps it both ways, else false.
bool EncodeUnit(Converter &encoder, Converter &decoder, char16_t unit, std::string *bytes) {
    char le[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    char encoded[8];
    char *in = le;
    size_t inLeft = sizeof(le);
    char *out = encoded;
    size_t outLeft = sizeof(encoded);
    bool ok = encoder.Step(&in, &inLeft, &out, &outLeft) && inLeft == 0;
    encoder.Reset();
    if (!ok) return false;
    size_t length = sizeof(encoded) - outLeft;

    // A mapping that does not come back to the same unit is a best fit.
    char back[8];
    in = encoded;
    inLeft = length;
    out = back;
    outLeft = sizeof(back);
    ok = decoder.Step(&in, &inLeft, &out, &outLeft) && inLeft == 0;
    decoder.Reset();
    if (!ok || sizeof(back) - outLeft != 2 || back[0] != le[0] || back[1] != le[1]) return false;
    bytes->assign(encoded, length);
    return true;
}

}  // namespace

bool IsDoubleBytePage(UINT codePage) { return FindPage(codePage) != nullptr; }

bool DoubleByteAvailable(UINT codePage) {
    const DoubleBytePage *page = FindPage(codePage);
    if (page == nullptr) return false;
    Converter probe("UTF-16LE", page->iconvName);
    return probe.Ok();
}

bool DoubleByteDecode(UINT codePage, const char *in, size_t len, bool strict, std::u16string *out,
                      bool *unavailable) {
    *unavailable = true;
    const DoubleBytePage *page = FindPage(codePage);
    if (page == nullptr) return false;
    Converter decoder("UTF-16LE", page->iconvName);
    if (!decoder.Ok()) return false;
    *unavailable = false;
    char *inPtr = const_cast<char *>(in);  // iconv's signature; the input is not written
    size_t inLeft = len;
    char chunk[1024];
    while (inLeft > 0) {
        char *outPtr = chunk;
        size_t outLeft = sizeof(chunk);
        bool done = decoder.Step(&inPtr, &inLeft, &outPtr, &outLeft);
        AppendUtf16Le(chunk, sizeof(chunk) - outLeft, out);
        if (done || errno == E2BIG) continue;

        // An invalid, unmapped or cut-off sequence starts at inPtr: a lead
        // byte with a valid trail byte is one bad character, anything else
        // one bad byte (so the byte after a bad lead byte is read again).
        unsigned char b = static_cast<unsigned char>(*inPtr);
        char16_t unit;
        size_t skip = 1;
        if (!ExtraUnit(*page, b, &unit)) {
            if (strict) return false;
            unit = page->defaultUnit;
            if (InRanges(page->lead, b) && inLeft >= 2 && InRanges(page->trail, static_cast<unsigned char>(inPtr[1])))
                skip = 2;
        }
        out->push_back(unit);
        inPtr += skip;
        inLeft -= skip;
        decoder.Reset();
    }
    return true;
}

bool DoubleByteEncode(UINT codePage, const char16_t *in, size_t len, char defaultChar, bool *usedDefault,
                      std::string *out) {
    const DoubleBytePage *page = FindPage(codePage);
    if (page == nullptr) return false;
    Converter encoder(page->iconvName, "UTF-16LE");
    Converter decoder("UTF-16LE", page->iconvName);
    if (!encoder.Ok() || !decoder.Ok()) return false;
    std::string bytes;
    for (size_t i = 0; i < len; ++i) {
        char16_t c = in[i];
        char extra;
        if (c < 0x80) {
            out->push_back(static_cast<char>(c));
        } else if (ExtraByte(*page, c, &extra)) {
            out->push_back(extra);
        } else if (c < 0xD800 || c > 0xDFFF) {
            if (EncodeUnit(encoder, decoder, c, &bytes)) {
                out->append(bytes);
            } else {
                out->push_back(defaultChar);
                *usedDefault = true;
            }
        } else {
            // The pages hold no characters beyond the BMP: each unit of a
            // surrogate pair is unmappable on its own.
            out->push_back(defaultChar);
            *usedDefault = true;
        }
    }
    return true;
}

}  // namespace vplat
