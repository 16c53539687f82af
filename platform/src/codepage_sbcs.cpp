// Conversion for the single-byte pages: a byte indexes the page's table; a
// unit is looked up in the reverse table built once from it.
#include <algorithm>
#include <array>
#include <utility>

#include "codepage.h"

namespace vplat {
namespace {

using ReverseTable = std::array<std::pair<char16_t, unsigned char>, 128>;

ReverseTable BuildReverse(const char16_t *high) {
    ReverseTable reverse;
    for (int i = 0; i < 128; ++i) reverse[i] = {high[i], static_cast<unsigned char>(0x80 + i)};
    std::sort(reverse.begin(), reverse.end());
    return reverse;
}

const ReverseTable &Reverse(UINT codePage) {
    static const ReverseTable windows1252 = BuildReverse(SingleByteHighTable(1252));
    static const ReverseTable macRoman = BuildReverse(SingleByteHighTable(10000));
    return codePage == 10000 ? macRoman : windows1252;
}

}  // namespace

void SingleByteDecode(UINT codePage, const char *in, size_t len, std::u16string *out) {
    const char16_t *high = SingleByteHighTable(codePage);
    out->reserve(out->size() + len);
    for (size_t i = 0; i < len; ++i) {
        unsigned char b = static_cast<unsigned char>(in[i]);
        out->push_back(b < 0x80 ? static_cast<char16_t>(b) : high[b - 0x80]);
    }
}

void SingleByteEncode(UINT codePage, const char16_t *in, size_t len, char defaultChar, bool *usedDefault,
                      std::string *out) {
    const ReverseTable &reverse = Reverse(codePage);
    out->reserve(out->size() + len);
    for (size_t i = 0; i < len; ++i) {
        char16_t c = in[i];
        if (c < 0x80) {
            out->push_back(static_cast<char>(c));
            continue;
        }
        auto it = std::lower_bound(reverse.begin(), reverse.end(), std::make_pair(c, static_cast<unsigned char>(0)));
        if (it != reverse.end() && it->first == c) {
            out->push_back(static_cast<char>(it->second));
        } else {
            out->push_back(defaultChar);
            *usedDefault = true;
        }
    }
}

}  // namespace vplat
