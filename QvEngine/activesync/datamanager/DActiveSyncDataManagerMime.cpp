// The MIME text pieces of an outgoing message.
#include "DActiveSyncDataManagerMime.h"

#include <cstdio>

namespace {

// Where a folded address list goes on the next line.
constexpr size_t kFoldAt = 78;
constexpr size_t kQuotedPrintableLine = 76;

// A header value on one line: a line break of the message's text would end
// the header (or the header block) early.
std::string OneLine(const std::string &value) {
    std::string out(value);
    for (char &c : out)
        if (c == '\r' || c == '\n') c = ' ';
    return out;
}

std::string Quoted(const std::string &value) {
    std::string out;
    out.reserve(value.size() + 2);
    out += '"';
    for (char c : OneLine(value)) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

}  // namespace

std::string MimeHeader(const char *name, const std::string &value) {
    return std::string(name) + ": " + OneLine(value) + "\r\n";
}

std::string MimeParamHeader(const char *name, const std::string &value, const char *param,
                            const std::string &paramValue) {
    return std::string(name) + ": " + OneLine(value) + ";\r\n\t" + param + "=" + Quoted(paramValue) + "\r\n";
}

std::string MimeAddressHeader(const char *name, const std::vector<std::string> &addresses) {
    std::string out = std::string(name) + ": ";
    size_t column = out.size();
    bool any = false;
    for (const std::string &address : addresses) {
        if (address.empty()) continue;
        const std::string piece = OneLine(address);
        // Room is kept for the comma that ends the line when the next address folds.
        if (any && column + 2 + piece.size() + 1 > kFoldAt) {
            out += ",\r\n ";
            column = 1;
        } else if (any) {
            out += ", ";
            column += 2;
        }
        out += piece;
        column += piece.size();
        any = true;
    }
    return any ? out + "\r\n" : std::string();
}

std::string MimeDate(const struct tm &local, int32_t offsetMinutes) {
    static const char *const kMonths[] = {"Jan ", "Feb ", "Mar ", "Apr ", "May ", "Jun ",
                                          "Jul ", "Aug ", "Sep ", "Oct ", "Nov ", "Dec "};
    const int month = local.tm_mon >= 0 && local.tm_mon < 12 ? local.tm_mon : 0;
    const int year = local.tm_year < 1900 ? local.tm_year + 1900 : local.tm_year;
    const char sign = offsetMinutes < 0 ? '-' : '+';
    const int32_t offset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[64];
    std::snprintf(text, sizeof text, "%d %s%04d %02d:%02d:%02d %c%02d%02d", local.tm_mday, kMonths[month], year,
                  local.tm_hour, local.tm_min, local.tm_sec, sign, int(offset / 60 % 100), int(offset % 60));
    return text;
}

const char *MimeImportance(uint32_t importance) {
    return importance == 0 ? "Low" : importance == 2 ? "High" : "Normal";
}

std::string MimeBoundary(uint32_t random, const struct tm &utc) {
    char text[96];
    std::snprintf(text, sizeof text, "----=_NP_%u_T%d.%d.%d.%d.%d.%d", random, utc.tm_year, utc.tm_mon, utc.tm_mday,
                  utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

std::string MimePartBoundary(const std::string &boundary, bool closing) {
    return "\r\n\r\n--" + boundary + (closing ? "--\r\n" : "\r\n");
}

std::string MimeCanonicalLines(const std::string &text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

bool MimeIs7Bit(const std::string &text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

std::string MimeQuotedPrintable(const std::string &text) {
    static const char kHex[] = "0123456789ABCDEF";
    const std::string lines = MimeCanonicalLines(text);
    std::string out;
    out.reserve(lines.size() + lines.size() / 4);
    size_t start = 0;
    for (;;) {
        size_t end = lines.find("\r\n", start);
        const bool last = end == std::string::npos;
        if (last) end = lines.size();
        size_t column = 0;
        for (size_t i = start; i < end; ++i) {
            const unsigned char c = static_cast<unsigned char>(lines[i]);
            const bool lineEnd = i + 1 == end;
            // Blanks at a line's end would be lost in transport: they are encoded.
            const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !lineEnd);
            char token[3] = {char(c), 0, 0};
            size_t length = 1;
            if (!literal) {
                token[0] = '=';
                token[1] = kHex[c >> 4];
                token[2] = kHex[c & 0x0F];
                length = 3;
            }
            // A soft break ("=") needs the line's last column, except after the line's last token.
            if (column + length > (lineEnd ? kQuotedPrintableLine : kQuotedPrintableLine - 1)) {
                out += "=\r\n";
                column = 0;
            }
            out.append(token, length);
            column += length;
        }
        if (last) break;
        out += "\r\n";
        start = end + 2;
    }
    return out;
}
