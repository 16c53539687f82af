// Fuzz target: the outgoing message's MIME text built from hostile pieces. The input gives the sender, the
// subject, the To, CC and BCC addresses, the attachment names, the importance, the time-zone offset and the
// body; the message is put together as the data manager writes it into a send body (attachment contents come
// from the base64 encoder, not from here: each part holds one fixed base64 line). The text must stay
// well-formed, else the target aborts:
// - every line ends in CR LF, with no CR or LF of its own, and no line is over 998 characters;
// - the header blocks hold exactly the headers written, in order (no text adds one or ends the block early);
// - quoted-printable lines are at most 76 characters; an address line is over 78 only when it holds one
//   address, and the address list unfolds to the addresses joined by ", ";
// - From, Subject and Content-Description unfold (and their leading encoded-words decode) to their value; a line
//   of theirs over 78 holds one word, and a line with an encoded-word is at most 76; a file name parameter's
//   pieces join to the name, each line at most 78;
// - "7bit" text is 7-bit; a one-part text with a line over 998 goes quoted-printable;
// - in a multipart message only the part boundaries start with "--" and the boundary.

#include "DActiveSyncDataManagerMime.h"

#include "Base64.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

const char kPreamble[] = "This is a multi-part message in MIME format.";
const char kMimeOle[] = "Produced By Microsoft MimeOLE V5.00.1432.1";
constexpr size_t kFoldAt = 78;
constexpr size_t kLineLimit = 998;
constexpr size_t kEncodedWordLine = 76;
constexpr size_t kQuotedPrintableLine = 76;
const std::string kEncodedWordStart = "=?UTF-8?B?";

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

// The text's lines; every line break must be CR LF, and the text must end in one.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n')
            std::abort();  // a LF without its CR
        if (text[i] != '\r')
            continue;
        Require(i + 1 < text.size() && text[i + 1] == '\n');
        Require(i - start <= kLineLimit);
        lines.push_back(text.substr(start, i - start));
        start = i + 2;
        ++i;
    }
    Require(start == text.size());
    return lines;
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The header block that starts at lines[*at]: its header names must be those expected, in order; *at ends past
// the empty line that closes it. Returns each header with its continuation lines.
std::vector<std::vector<std::string>> HeaderBlock(const std::vector<std::string>& lines, size_t* at,
                                                  const std::vector<std::string>& names)
{
    std::vector<std::vector<std::string>> headers;
    for (; *at < lines.size() && !lines[*at].empty(); ++*at) {
        const std::string& line = lines[*at];
        if (line[0] == ' ' || line[0] == '\t') {
            Require(!headers.empty());
            headers.back().push_back(line);
            continue;
        }
        Require(headers.size() < names.size() && StartsWith(line, names[headers.size()] + ": "));
        headers.push_back({line});
    }
    Require(*at < lines.size() && headers.size() == names.size());
    ++*at;
    return headers;
}

std::string HeaderValueForm(const std::string& value)
{
    std::string out(value);
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// An unstructured header (its first line after "name: "): unfolded, it is the value, or its leading encoded-words
// (blanks between them dropped) decode to the value's start and the rest is the value's end. A line over the fold
// column holds one word; a line with an encoded-word is at most kEncodedWordLine.
void CheckFoldedHeader(const std::vector<std::string>& header, const std::string& name, const std::string& value)
{
    std::string unfolded;
    std::vector<size_t> lineStarts;  // where each line starts in the unfolded value
    for (size_t l = 0; l < header.size(); ++l) {
        const std::string text = header[l].substr(l == 0 ? name.size() + 2 : 0);
        lineStarts.push_back(unfolded.size());
        Require(l == 0 || IsBlank(text[0]));
        if (header[l].size() > kFoldAt) {
            const size_t first = text.find_first_not_of(" \t");
            const size_t last = text.find_last_not_of(" \t");
            for (size_t i = first; i < last; ++i)
                Require(!IsBlank(text[i]));
        }
        unfolded += text;
    }
    const std::string expected = HeaderValueForm(value);
    if (unfolded == expected)
        return;
    std::string decoded;
    size_t at = 0;
    while (unfolded.compare(at, kEncodedWordStart.size(), kEncodedWordStart) == 0) {
        const size_t start = at + kEncodedWordStart.size();
        const size_t end = unfolded.find("?=", start);
        Require(end != std::string::npos);
        uint32_t length = 0;
        std::unique_ptr<BYTE[]> bytes(Base64Decode(unfolded.c_str() + start, uint32_t(end - start), &length));
        Require(bytes != nullptr);
        decoded.append(reinterpret_cast<const char*>(bytes.get()), length);
        at = end + 2;
        const size_t next = unfolded.find_first_not_of(" \t", at);
        if (next != std::string::npos && unfolded.compare(next, kEncodedWordStart.size(), kEncodedWordStart) == 0)
            at = next;
    }
    Require(at != 0 && decoded + unfolded.substr(at) == expected);
    // A line that holds an encoded-word is short enough for one.
    for (size_t l = 0; l < header.size(); ++l)
        if (lineStarts[l] < at)
            Require(header[l].size() <= kEncodedWordLine);
}

// A parameter header's value: one quoted parameter line, or numbered pieces; each line at most the fold column.
void CheckParamHeader(const std::vector<std::string>& header, const std::string& param, const std::string& value)
{
    Require(header.size() >= 2);
    std::string joined;
    for (size_t l = 1; l < header.size(); ++l) {
        const std::string& line = header[l];
        Require(line.size() <= kFoldAt);
        const std::string head =
            header.size() == 2 ? "\t" + param + "=\"" : "\t" + param + "*" + std::to_string(l - 1) + "=\"";
        const std::string end = l + 1 < header.size() ? "\";" : "\"";
        Require(StartsWith(line, head) && line.size() >= head.size() + end.size() &&
                line.compare(line.size() - end.size(), end.size(), end) == 0);
        for (size_t i = head.size(); i < line.size() - end.size(); ++i) {
            if (line[i] == '\\')
                ++i;
            else
                Require(line[i] != '"');
            Require(i < line.size() - end.size());
            joined += line[i];
        }
    }
    Require(joined == HeaderValueForm(value));
}

// An address header: unfolded, the pieces joined by ", "; a line over the fold column holds one piece.
void CheckAddressHeader(const std::vector<std::string>& header, const std::string& name,
                        const std::vector<std::string>& addresses)
{
    std::vector<std::string> pieces;
    for (const std::string& address : addresses)
        if (!address.empty())
            pieces.push_back(HeaderValueForm(address));
    size_t next = 0;
    for (size_t l = 0; l < header.size(); ++l) {
        std::string rest = header[l].substr(l == 0 ? name.size() + 2 : 1);
        Require(l == 0 || header[l][0] == ' ');
        size_t onLine = 0;
        for (;;) {
            Require(next < pieces.size() && StartsWith(rest, pieces[next]));
            rest.erase(0, pieces[next].size());
            ++next;
            ++onLine;
            if (rest.empty())
                break;
            if (rest == "," && l + 1 < header.size())
                break;
            Require(StartsWith(rest, ", "));
            rest.erase(0, 2);
        }
        Require(onLine == 1 || header[l].size() <= kFoldAt);
    }
    Require(next == pieces.size());
}

std::vector<std::string> Addresses(FuzzedDataProvider& input)
{
    std::vector<std::string> out(input.ConsumeIntegralInRange<size_t>(0, 6));
    for (std::string& address : out)
        address = input.ConsumeRandomLengthString(120);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string from = input.ConsumeRandomLengthString(1200);
    const std::string subject = input.ConsumeRandomLengthString(1500);
    const std::vector<std::string> to = Addresses(input), cc = Addresses(input), bcc = Addresses(input);
    std::vector<std::string> names(input.ConsumeIntegralInRange<size_t>(0, 3));
    for (std::string& name : names)
        name = input.ConsumeRandomLengthString(1200);
    const uint32_t importance = input.ConsumeIntegral<uint32_t>();
    struct tm date = {};
    date.tm_year = input.ConsumeIntegralInRange<int>(70, 200);
    date.tm_mon = input.ConsumeIntegralInRange<int>(0, 11);
    date.tm_mday = input.ConsumeIntegralInRange<int>(1, 31);
    date.tm_hour = input.ConsumeIntegralInRange<int>(0, 23);
    date.tm_min = input.ConsumeIntegralInRange<int>(0, 59);
    date.tm_sec = input.ConsumeIntegralInRange<int>(0, 59);
    const int32_t offset = input.ConsumeIntegralInRange<int32_t>(-14 * 60, 14 * 60);
    const std::string body = input.ConsumeRemainingBytesAsString();

    // The message, as the data manager writes it.
    const bool multipart = !names.empty();
    const std::string boundary = MimeBoundary(importance, date);
    std::string mime = MimeHeader("From", from) + MimeAddressHeader("To", to) + MimeAddressHeader("CC", cc) +
                       MimeAddressHeader("BCC", bcc) + MimeHeader("Subject", subject) +
                       MimeHeader("Date", MimeDate(date, offset)) +
                       MimeHeader("Importance", MimeImportance(importance)) + MimeHeader("MIME-Version", "1.0");
    std::string sevenBitText;
    std::string encoding;
    if (!multipart) {
        const std::string lines = MimeCanonicalLines(body);
        encoding = MimeTextEncoding(lines);
        if (encoding == "7bit")
            sevenBitText = lines;
        mime += MimeParamHeader("Content-Type", "text/plain", "charset", "Utf-8") +
                MimeHeader("Content-Transfer-Encoding", encoding) + MimeHeader("X-MimeOLE", kMimeOle) + "\r\n" +
                (encoding == "quoted-printable" ? MimeQuotedPrintable(lines) : lines) + "\r\n";
    } else {
        mime += MimeParamHeader("Content-Type", "multipart/mixed", "boundary", boundary) +
                MimeHeader("X-MimeOLE", kMimeOle) + MimeHeader("X-MS-Has-Attach", "yes") + "\r\n" + kPreamble +
                MimePartBoundary(boundary, false) + MimeParamHeader("Content-Type", "text/plain", "charset", "Utf-8") +
                MimeHeader("Content-Transfer-Encoding", "quoted-printable") + "\r\n" + MimeQuotedPrintable(body) +
                "\r\n";
        for (const std::string& name : names)
            mime += MimePartBoundary(boundary, false) + MimeHeader("Content-Type", "application/octet-stream") +
                    MimeHeader("Content-Transfer-Encoding", "base64") + MimeHeader("Content-Description", name) +
                    MimeParamHeader("Content-Disposition", "attachment", "filename", name) + "\r\n" + "QUJD";
        mime += MimePartBoundary(boundary, true) + "\r\n";
    }

    // Its form.
    const std::vector<std::string> lines = Lines(mime);
    const std::pair<const char*, const std::vector<std::string>*> lists[] = {{"To", &to}, {"CC", &cc}, {"BCC", &bcc}};
    std::vector<std::string> expected = {"From"};
    for (const auto& list : lists)
        for (const std::string& address : *list.second)
            if (!address.empty()) {
                expected.push_back(list.first);
                break;
            }
    for (const char* name : {"Subject", "Date", "Importance", "MIME-Version", "Content-Type"})
        expected.push_back(name);
    if (!multipart)
        expected.insert(expected.end(), {"Content-Transfer-Encoding", "X-MimeOLE"});
    else
        expected.insert(expected.end(), {"X-MimeOLE", "X-MS-Has-Attach"});
    size_t at = 0;
    const auto headers = HeaderBlock(lines, &at, expected);
    CheckFoldedHeader(headers[0], "From", from);
    size_t h = 1;  // the address lists follow From
    for (const auto& list : lists)
        if (h < headers.size() && StartsWith(headers[h][0], std::string(list.first) + ": "))
            CheckAddressHeader(headers[h++], list.first, *list.second);
    CheckFoldedHeader(headers[h], "Subject", subject);
    // Only those and parameter headers fold.
    for (size_t i = h + 1; i < headers.size(); ++i)
        Require(headers[i].size() == 1 || StartsWith(headers[i][0], "Content-Type: "));
    for (unsigned char c : sevenBitText)
        Require(c < 0x80);
    if (!multipart) {
        // A line too long for mail makes the text quoted-printable.
        bool longLine = false;
        const std::string lines = MimeCanonicalLines(body);
        for (size_t start = 0, end = 0; end != std::string::npos; start = end + 2) {
            end = lines.find("\r\n", start);
            longLine = longLine || (end == std::string::npos ? lines.size() : end) - start > kLineLimit;
        }
        Require(longLine == (encoding == "quoted-printable"));
        return 0;
    }

    // The parts: the text part's header block and quoted-printable lines, then each attachment's header block.
    const std::string delimiter = "--" + boundary;
    size_t delimiters = 0;
    for (const std::string& line : lines) {
        if (!StartsWith(line, delimiter))
            continue;
        Require(line == delimiter || line == delimiter + "--");
        ++delimiters;
    }
    Require(delimiters == names.size() + 2);
    while (at < lines.size() && lines[at] != delimiter)
        ++at;
    ++at;
    HeaderBlock(lines, &at, {"Content-Type", "Content-Transfer-Encoding"});
    for (; at < lines.size() && lines[at] != delimiter; ++at)
        Require(lines[at].size() <= kQuotedPrintableLine);
    for (size_t partIndex = 0; partIndex < names.size(); ++partIndex) {
        Require(at < lines.size() && lines[at] == delimiter);
        ++at;
        const auto part = HeaderBlock(
            lines, &at, {"Content-Type", "Content-Transfer-Encoding", "Content-Description", "Content-Disposition"});
        CheckFoldedHeader(part[2], "Content-Description", names[partIndex]);
        CheckParamHeader(part[3], "filename", names[partIndex]);
        while (at < lines.size() && lines[at] != delimiter && lines[at] != delimiter + "--")
            ++at;
    }
    Require(at + 1 == lines.size() - 1 && lines[at] == delimiter + "--");
    return 0;
}
