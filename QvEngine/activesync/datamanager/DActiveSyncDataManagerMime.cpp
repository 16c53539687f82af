// The MIME text pieces of an outgoing message.
#include "DActiveSyncDataManagerMime.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

#include "Base64.h"

namespace {

// Where a folded header goes on the next line.
constexpr size_t kFoldAt = 78;
// The longest line mail may carry (CR LF not counted).
constexpr size_t kLineLimit = 998;
constexpr size_t kQuotedPrintableLine = 76;
// An encoded-word's longest form, and the longest line that holds one.
constexpr size_t kEncodedWord = 75;
constexpr size_t kEncodedWordLine = 76;
const char kEncodedWordStart[] = "=?UTF-8?B?";
const char kEncodedWordEnd[] = "?=";

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

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The bytes of the UTF-8 character at text[at]; a byte that starts no whole
// sequence counts alone.
size_t CharacterLength(const std::string &text, size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    const size_t length = lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                          : lead >= 0xF0 && lead < 0xF5                              ? 4
                                                                                     : 1;
    if (at + length > text.size()) return 1;
    for (size_t i = at + 1; i < at + length; ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return 1;
    return length;
}

// The longest line of a folded text whose first line starts at column.
size_t LongestLine(const std::string &text, size_t column) {
    size_t longest = 0, start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        longest = std::max(longest, column + end - start);
        column = 0;
    }
    return std::max(longest, column + text.size() - start);
}

// The columns the last line of a folded text ends in.
size_t EndColumn(const std::string &text, size_t column) {
    const size_t fold = text.rfind("\r\n");
    return fold == std::string::npos ? column + text.size() : text.size() - fold - 2;
}

// The value with CR LF put before a blank where a line would pass kFoldAt.
// A fold never leaves a line of blanks alone; a word longer than a line
// stays whole. The value's first piece folds only when it continues text
// already on its line.
std::string FoldAtBlanks(const std::string &value, size_t column, bool continues) {
    std::string out;
    for (size_t at = 0; at < value.size();) {
        // A piece is a run of blanks and the word after it; the value's last
        // word keeps the blanks after it, which cannot make a line alone.
        size_t end = at;
        while (end < value.size() && IsBlank(value[end])) ++end;
        const bool blanksOnly = end == value.size();
        while (end < value.size() && !IsBlank(value[end])) ++end;
        if (value.find_first_not_of(" \t", end) == std::string::npos) end = value.size();
        if ((at != 0 || continues) && IsBlank(value[at]) && !blanksOnly && column + (end - at) > kFoldAt) {
            out += "\r\n";
            column = 0;
        }
        out.append(value, at, end - at);
        column += end - at;
        at = end;
    }
    return out;
}

std::string Base64(const std::string &bytes) {
    uint32_t length = 0;
    std::unique_ptr<char[]> text(
        Base64Encode(reinterpret_cast<const BYTE *>(bytes.data()), uint32_t(bytes.size()), &length));
    if (text == nullptr) throw std::bad_alloc();
    return std::string(text.get(), length);
}

// The value as encoded-words, each of whole characters, at most kEncodedWord
// long and on a line of at most kEncodedWordLine: the first after column,
// the others each on a line of its own after one blank. A reader drops the
// blanks between encoded-words, so the value decodes back unchanged.
std::string EncodedWords(const std::string &value, size_t column) {
    const size_t frame = sizeof kEncodedWordStart - 1 + sizeof kEncodedWordEnd - 1;
    std::string out;
    for (size_t at = 0; at < value.size();) {
        const size_t room = std::min(kEncodedWord, kEncodedWordLine - std::min(column, kEncodedWordLine));
        // Four base64 characters carry three bytes.
        const size_t bytes = room > frame ? (room - frame) / 4 * 3 : 0;
        size_t end = at;
        for (size_t next; end < value.size() && (next = end + CharacterLength(value, end)) - at <= bytes;) end = next;
        if (end == at && column > 1) {
            // No room left on this line: the word starts the next one.
            out += "\r\n ";
            column = 1;
            continue;
        }
        if (end == at) end += CharacterLength(value, at);  // a line holds at least one character
        if (at != 0) {
            out += "\r\n ";
            column = 1;
        }
        const std::string word = kEncodedWordStart + Base64(value.substr(at, end - at)) + kEncodedWordEnd;
        out += word;
        column += word.size();
        at = end;
    }
    return out;
}

// A header value (on one line already) as it goes after column: folded at
// blanks; when a line would still pass kLineLimit (less the reserve, which
// an address list keeps for its comma), as encoded-words (the phrase only,
// when the value ends in " <address>" that fits a line).
std::string FoldedValue(const std::string &value, size_t column, size_t reserve) {
    std::string folded = FoldAtBlanks(value, column, false);
    if (LongestLine(folded, column) + reserve <= kLineLimit) return folded;
    const size_t open = value.rfind('<');
    if (!value.empty() && value.back() == '>' && open != std::string::npos && open != 0 &&
        IsBlank(value[open - 1])) {
        size_t phraseEnd = open;
        while (phraseEnd != 0 && IsBlank(value[phraseEnd - 1])) --phraseEnd;
        if (phraseEnd != 0) {
            const std::string words = EncodedWords(value.substr(0, phraseEnd), column);
            const size_t wordsEnd = EndColumn(words, column);
            // A line with encoded-words keeps to their shorter limit.
            const std::string tail =
                FoldAtBlanks(value.substr(phraseEnd), wordsEnd + (kFoldAt - kEncodedWordLine), true);
            if (LongestLine(tail, wordsEnd) + reserve <= kLineLimit) return words + tail;
        }
    }
    return EncodedWords(value, column);
}

// TAB param=value, or TAB param*n="piece" lines joined by ";" CR LF.
std::string ParamLines(const char *param, const std::string &value) {
    const std::string name(param);
    const std::string whole = "\t" + name + "=" + Quoted(value);
    if (whole.size() <= kFoldAt) return whole;
    const std::string text = OneLine(value);
    std::string out;
    size_t at = 0;
    for (unsigned piece = 0; at < text.size() || piece == 0; ++piece) {
        const std::string head = "\t" + name + "*" + std::to_string(piece) + "=\"";
        // The closing quote and ";" follow; a piece holds at least one character.
        const size_t room = kFoldAt > head.size() + 2 ? kFoldAt - head.size() - 2 : 0;
        std::string quoted;
        while (at < text.size()) {
            const size_t length = CharacterLength(text, at);
            std::string character;
            for (size_t i = at; i < at + length; ++i) {
                if (text[i] == '"' || text[i] == '\\') character += '\\';
                character += text[i];
            }
            if (!quoted.empty() && quoted.size() + character.size() > room) break;
            quoted += character;
            at += length;
        }
        if (piece != 0) out += ";\r\n";
        out += head + quoted + "\"";
    }
    return out;
}

}  // namespace

std::string MimeHeader(const char *name, const std::string &value) {
    const std::string head = std::string(name) + ": ";
    return head + FoldedValue(OneLine(value), head.size(), 0) + "\r\n";
}

std::string MimeParamHeader(const char *name, const std::string &value, const char *param,
                            const std::string &paramValue) {
    return std::string(name) + ": " + OneLine(value) + ";\r\n" + ParamLines(param, paramValue) + "\r\n";
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
        // An address too long for any line folds within itself.
        if (column + piece.size() + 1 > kLineLimit) {
            const std::string folded = FoldedValue(piece, column, 1);
            out += folded;
            column = EndColumn(folded, column);
        } else {
            out += piece;
            column += piece.size();
        }
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

const char *MimeTextEncoding(const std::string &lines) {
    if (LongestLine(lines, 0) > kLineLimit) return "quoted-printable";
    return MimeIs7Bit(lines) ? "7bit" : "8bit";
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
