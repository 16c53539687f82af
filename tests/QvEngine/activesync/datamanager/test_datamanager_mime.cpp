// The MIME pieces of an outgoing message: header lines that a hostile text
// (a subject or name with CR LF, quotes in a file name) cannot break out
// of, folded address lists, the date form, and the text encodings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
