// The MIME pieces of an outgoing message: header lines that a hostile text
// (a subject or name with CR LF, quotes in a file name) cannot break out
// of, folded address lists, the date form, and the text encodings.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Base64.h"
#include "DActiveSyncDataManagerMime.h"

namespace {

// Quoted-printable back to bytes (soft breaks removed).
std::string DecodeQuotedPrintable(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
        } else if (text.compare(i, 3, "=\r\n") == 0) {
            i += 2;
        } else {
            out += char(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        }
    }
    return out;
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        lines.push_back(text.substr(start, at - start));
    lines.push_back(text.substr(start));
    return lines;
}

// A header's value as a reader sees it: unfolded (CR LF before a blank
// dropped), after "name: ", with its "B" encoded-words decoded (the blanks
// between two encoded-words dropped).
std::string HeaderValue(const std::string &header) {
    std::string text = header.substr(0, header.size() - 2);
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 2);
    text.erase(0, text.find(": ") + 2);
    const std::string start = "=?UTF-8?B?";
    std::string out;
    bool afterWord = false;
    for (size_t at = 0; at < text.size();) {
        const size_t word = text.find(start, at);
        const size_t end = word == std::string::npos ? std::string::npos : text.find("?=", word + start.size());
        if (end == std::string::npos) {
            out += text.substr(at);
            break;
        }
        const std::string between = text.substr(at, word - at);
        if (!afterWord || between.find_first_not_of(" \t") != std::string::npos) out += between;
        uint32_t length = 0;
        std::unique_ptr<BYTE[]> bytes(
            Base64Decode(text.c_str() + word + start.size(), uint32_t(end - word - start.size()), &length));
        // An encoded-word holds whole characters: it never starts inside one.
        EXPECT_TRUE(length == 0 || (bytes[0] & 0xC0) != 0x80) << text.substr(word, end - word);
        out.append(reinterpret_cast<const char *>(bytes.get()), length);
        afterWord = true;
        at = end + 2;
    }
    return out;
}

// A parameter's value: its one quoted line, or its numbered pieces joined.
std::string ParamValue(const std::string &header) {
    std::string out;
    for (const std::string &line : Lines(header)) {
        const size_t quote = line.find("=\"");
        if (line.empty() || line[0] != '\t' || quote == std::string::npos) continue;
        const size_t close = line.rfind('"');
        for (size_t i = quote + 2; i < close; ++i) {
            if (line[i] == '\\') ++i;
            out += line[i];
        }
    }
    return out;
}

TEST(MimeTextTest, LongHeadersFoldWithinTheLineLimitsAndDecodeBack) {
    std::string words, cjk, name;
    for (int i = 0; i < 30; ++i) words += (i != 0 ? " " : "") + std::string("word") + std::to_string(i);
    for (int i = 0; i < 400; ++i) cjk += "\xE6\x97\xA5";  // three bytes each, no blank
    for (int i = 0; i < 20; ++i) name += "R\xC3\xA9sum\xC3\xA9 \"v" + std::to_string(i) + "\" ";
    const std::string longWord(1500, 'x');
    const std::string longName = "Anna-Maria " + std::string(100, 'B') + " von Something Rather Long";
    const struct {
        const char *what;
        std::string header;
        std::string value;
        std::string (*decode)(const std::string &);
        size_t limit;
    } cases[] = {
        {"short subject", MimeHeader("Subject", "Lunch"), "Lunch", HeaderValue, 78},
        {"long subject", MimeHeader("Subject", words), words, HeaderValue, 78},
        // Blanks at the end go with the last word: a line of blanks alone would be lost.
        {"long subject ending in blanks", MimeHeader("Subject", words + "   "), words + "   ", HeaderValue, 78},
        // A word longer than a line stays whole on its line.
        {"long display name", MimeHeader("From", longName + " <anna@example.org>"), longName + " <anna@example.org>",
         HeaderValue, 101},
        {"long non-ASCII subject", MimeHeader("Subject", cjk), cjk, HeaderValue, 76},
        {"word over 998", MimeHeader("Subject", "a " + longWord + " b"), "a " + longWord + " b", HeaderValue, 76},
        {"display name over 998", MimeHeader("From", longWord + " <x@example.org>"), longWord + " <x@example.org>",
         HeaderValue, 78},
        {"long attachment name", MimeParamHeader("Content-Disposition", "attachment", "filename", name), name,
         ParamValue, 78},
        {"address over 998", MimeAddressHeader("To", {"a@x", longWord + " <y@x>"}), "a@x, " + longWord + " <y@x>",
         HeaderValue, 78},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<std::string> lines = Lines(c.header);
        ASSERT_EQ(lines.back(), "");
        for (size_t i = 0; i + 1 < lines.size(); ++i) {
            EXPECT_LE(lines[i].size(), c.limit) << lines[i];
            EXPECT_TRUE(i == 0 || lines[i][0] == ' ' || lines[i][0] == '\t') << lines[i];
        }
        EXPECT_EQ(c.decode(c.header), c.value);
    }
    // What fits a line stays as it was.
    const std::string full(78 - 9, 's');
    EXPECT_EQ(MimeHeader("Subject", full + " t"), "Subject: " + full + "\r\n t\r\n");
    EXPECT_EQ(MimeHeader("Subject", full), "Subject: " + full + "\r\n");
    const std::string fileName(78 - 12, 'f');
    EXPECT_EQ(MimeParamHeader("Content-Disposition", "attachment", "filename", fileName),
              "Content-Disposition: attachment;\r\n\tfilename=\"" + fileName + "\"\r\n");
    EXPECT_EQ(MimeParamHeader("Content-Disposition", "attachment", "filename", fileName + "g"),
              "Content-Disposition: attachment;\r\n\tfilename*0=\"" + fileName.substr(0, 63) +
                  "\";\r\n\tfilename*1=\"" + fileName.substr(63) + "g\"\r\n");
}

TEST(MimeTextTest, ATextWithALineOver998GoesQuotedPrintable) {
    EXPECT_STREQ(MimeTextEncoding("short\r\n" + std::string(998, 'a') + "\r\n"), "7bit");
    EXPECT_STREQ(MimeTextEncoding("caf\xC3\xA9\r\n"), "8bit");
    EXPECT_STREQ(MimeTextEncoding("short\r\n" + std::string(999, 'a')), "quoted-printable");
    EXPECT_STREQ(MimeTextEncoding(std::string(999, 'a') + "\r\nshort"), "quoted-printable");
}

TEST(MimeTextTest, HeaderValuesStayOnTheirLine) {
    // A subject with CR LF would start a header of its own (or the body).
    EXPECT_EQ(MimeHeader("Subject", "Hi\r\nBcc: victim@x\n\r\nbody"), "Subject: Hi  Bcc: victim@x   body\r\n");
    // A file name with quotes and backslashes, and a line break.
    EXPECT_EQ(MimeParamHeader("Content-Disposition", "attachment", "filename", "a \"b\"\\c\r\n.txt"),
              "Content-Disposition: attachment;\r\n\tfilename=\"a \\\"b\\\"\\\\c  .txt\"\r\n");
    EXPECT_EQ(MimeParamHeader("Content-Type", "text/plain", "charset", "Utf-8"),
              "Content-Type: text/plain;\r\n\tcharset=\"Utf-8\"\r\n");
}

TEST(MimeTextTest, AddressListsFoldAfterACommaAndSkipEmptyOnes) {
    EXPECT_EQ(MimeAddressHeader("CC", {}), "");
    EXPECT_EQ(MimeAddressHeader("CC", {""}), "");
    EXPECT_EQ(MimeAddressHeader("To", {"a@x", "", "b@x"}), "To: a@x, b@x\r\n");
    EXPECT_EQ(MimeAddressHeader("To", {"evil@x\r\nBcc: y@z"}), "To: evil@x  Bcc: y@z\r\n");

    std::vector<std::string> many;
    std::string joined;
    for (int i = 0; i < 12; ++i) {
        many.push_back("person.number" + std::to_string(i) + "@example.org");
        joined += (i != 0 ? ", " : "") + many.back();
    }
    const std::string header = MimeAddressHeader("To", many);
    const std::vector<std::string> lines = Lines(header);
    ASSERT_GT(lines.size(), 3u);
    EXPECT_EQ(lines.back(), "");
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 78u) << lines[i];
        if (i != 0) {
            EXPECT_EQ(lines[i][0], ' ');
        }
        if (i + 2 < lines.size()) {
            EXPECT_EQ(lines[i].back(), ',');
        }
    }
    // Unfolded, the header is the list joined by ", ".
    std::string unfolded = header;
    for (size_t at; (at = unfolded.find("\r\n ")) != std::string::npos;) unfolded.erase(at, 2);
    EXPECT_EQ(unfolded, "To: " + joined + "\r\n");
}

// The comma that ends a folded line counts: "To: " and two addresses fill
// 78 columns, so the third address must not leave a comma in column 79.
TEST(MimeTextTest, AFoldedLineKeepsItsCommaWithinTheLimit) {
    const std::string first(47, 'a'), second(25, 'b'), third(35, 'c');
    const std::vector<std::string> lines = Lines(MimeAddressHeader("To", {first, second, third}));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "To: " + first + ",");
    EXPECT_EQ(lines[1], " " + second + ", " + third);
    // One address longer than a line stays whole on its line.
    EXPECT_EQ(MimeAddressHeader("To", {std::string(90, 'x')}), "To: " + std::string(90, 'x') + "\r\n");
}

TEST(MimeTextTest, DatesImportanceAndBoundaries) {
    struct tm t = {};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 9;
    t.tm_hour = 7;
    t.tm_min = 5;
    t.tm_sec = 9;
    EXPECT_EQ(MimeDate(t, -60), "9 Dec 2026 07:05:09 -0100");
    EXPECT_EQ(MimeDate(t, 330), "9 Dec 2026 07:05:09 +0530");
    EXPECT_EQ(MimeDate(t, 0), "9 Dec 2026 07:05:09 +0000");
    t.tm_year = 2026;  // a year given in full stays
    t.tm_mon = 0;
    t.tm_mday = 31;
    EXPECT_EQ(MimeDate(t, 0), "31 Jan 2026 07:05:09 +0000");

    EXPECT_STREQ(MimeImportance(0), "Low");
    EXPECT_STREQ(MimeImportance(1), "Normal");
    EXPECT_STREQ(MimeImportance(2), "High");
    EXPECT_STREQ(MimeImportance(9), "Normal");

    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 9;
    EXPECT_EQ(MimeBoundary(12345, t), "----=_NP_12345_T126.11.9.7.5.9");
    EXPECT_EQ(MimePartBoundary("B", false), "\r\n\r\n--B\r\n");
    EXPECT_EQ(MimePartBoundary("B", true), "\r\n\r\n--B--\r\n");
}

TEST(MimeTextTest, LineBreaksAndEightBitText) {
    EXPECT_EQ(MimeCanonicalLines("a\nb\r\nc\rd\n\r"), "a\r\nb\r\nc\r\nd\r\n\r\n");
    EXPECT_TRUE(MimeIs7Bit("plain text\r\n"));
    EXPECT_FALSE(MimeIs7Bit("caf\xC3\xA9"));
}

TEST(MimeTextTest, QuotedPrintableEncodesWhatWouldNotSurviveTransport) {
    const struct {
        const char *text;
        const char *encoded;
    } cases[] = {
        {"a=b", "a=3Db"},
        {"caf\xC3\xA9", "caf=C3=A9"},
        {"end \r\nnext\t", "end=20\r\nnext=09"},
        {"one\ntwo", "one\r\ntwo"},
        {"", ""},
        // The boundary's "=_" can never appear in the encoded text.
        {"----=_NP_1", "----=3D_NP_1"},
    };
    for (const auto &c : cases) EXPECT_EQ(MimeQuotedPrintable(c.text), c.encoded) << c.text;

    // Long lines break softly at 76 columns, even inside a run of escapes;
    // decoding gives the text back with CR LF line breaks.
    std::string text;
    for (int i = 0; i < 40; ++i) text += "w\xC3\xB6rd ";
    text += "\n" + std::string(76, 'x') + "\n" + std::string(77, 'y') + " ";
    const std::string encoded = MimeQuotedPrintable(text);
    for (const std::string &line : Lines(encoded)) EXPECT_LE(line.size(), 76u) << line;
    EXPECT_EQ(DecodeQuotedPrintable(encoded), MimeCanonicalLines(text));
    // A line of exactly 76 characters needs no soft break.
    EXPECT_NE(encoded.find("\r\n" + std::string(76, 'x') + "\r\n"), std::string::npos);
}

}  // namespace
