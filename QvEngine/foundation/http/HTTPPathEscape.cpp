#include "HTTPPathEscape.h"

#include <cctype>
#include <cstring>
#include <new>

namespace {

bool NeedsEscape(unsigned char c) { return c <= 0x20 || c >= 0x7F || c == '%'; }

bool NeedsQueryValueEscape(unsigned char c) {
    return NeedsEscape(c) || c == '&' || c == '#' || c == '+' || c == '=' || c == '?';
}

DErrorCode Escape(const char *path, bool (*needsEscape)(unsigned char), std::string *escaped) {
    if (path == nullptr || escaped == nullptr) return generalErrNULLPointer;
    static const char kHex[] = "0123456789abcdef";
    const size_t length = std::strlen(path);
    try {
        std::string out;
        out.reserve(length * 3);
        for (size_t i = 0; i < length; ++i) {
            const unsigned char c = static_cast<unsigned char>(path[i]);
            if (!needsEscape(c)) {
                out.push_back(char(c));
            } else if (c == '%' && i + 2 < length && std::isxdigit(static_cast<unsigned char>(path[i + 1])) &&
                       std::isxdigit(static_cast<unsigned char>(path[i + 2]))) {
                out.append(path + i, 3);
                i += 2;
            } else {
                out.push_back('%');
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 0x0F]);
            }
        }
        *escaped = std::move(out);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

}  // namespace

DErrorCode EscapeHTTPPath(const char *path, std::string *escaped) { return Escape(path, NeedsEscape, escaped); }

DErrorCode EscapeHTTPQueryValue(const char *value, std::string *escaped) {
    return Escape(value, NeedsQueryValueEscape, escaped);
}
