#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Base64.h"
#include "TimeZoneBase64.h"

namespace {

std::string Encode(const std::string &bytes, uint32_t *length = nullptr) {
    uint32_t n = 0xDEAD;
    std::unique_ptr<char[]> text(
        Base64Encode(reinterpret_cast<const BYTE *>(bytes.data()), uint32_t(bytes.size()), &n));
    EXPECT_NE(text, nullptr);
    if (length != nullptr) *length = n;
    return text != nullptr ? std::string(text.get(), n) : std::string();
}

// Decodes exactly the characters of text from a buffer of that size, so
// that the sanitizer sees any read past them.
std::string Decode(const std::string &text) {
    std::vector<char> tight(text.begin(), text.end());
    uint32_t n = 0xDEAD;
    std::unique_ptr<BYTE[]> bytes(Base64Decode(tight.data(), uint32_t(tight.size()), &n));
    EXPECT_NE(bytes, nullptr);
    if (bytes == nullptr) return std::string();
    EXPECT_EQ(bytes[n], 0) << "zero-filled after the data";
    return std::string(reinterpret_cast<const char *>(bytes.get()), n);
}

TEST(Base64Test, KnownVectorsBothWays) {
    const struct {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"abc", "YWJj"},
        {"ab", "YWI="},
        {std::string("\x00\xFF\xFE\x3E\x3F", 5), "AP/+Pj8="},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Encode(c.bytes), c.text);
        EXPECT_EQ(Decode(c.text), c.bytes);
    }
}

TEST(Base64Test, EncodeBufferIsZeroFilledAndSizedForTheInput) {
    // (length / 3 + 4) * 4 bytes: the text is followed by zeros up to there.
    std::string bytes(10, 'x');
    uint32_t n = 0;
    std::unique_ptr<char[]> text(Base64Encode(reinterpret_cast<const BYTE *>(bytes.data()), 10, &n));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(n, 16u);
    for (int i = 16; i < (10 / 3 + 4) * 4; ++i) EXPECT_EQ(text[i], 0) << i;
}

TEST(Base64Test, DecodeToleratesRaggedInputWithoutReadingPastIt) {
    const struct {
        std::string text;
        std::string bytes;
    } cases[] = {
        {"YWJ", "ab"},     // final group of three: two bytes
        {"YW", "a"},       // final group of two: one byte
        {"YWJjZ", "abc"},  // a lone trailing character carries no byte
        {"Y", ""},
        {"YW\r\nJj", "abc"},  // white space is skipped
        {" Y W J j \t", "abc"},
        {"YWI=YWJj", "ab"},    // "=" ends the data
        {"YWJj*YWJj", "abc"},  // so does any other outside character
        {std::string("YW\0Jj", 5), "a"},
        {"\xC3\xA9YWJj", ""},
        {"====", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Decode(c.text), c.bytes);
    }
}

TEST(Base64Test, DecodeStopsAtTheGivenLength) {
    const char text[] = "YWJjZGVm";
    uint32_t n = 0;
    std::unique_ptr<BYTE[]> bytes(Base64Decode(text, 4, &n));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(bytes.get()), n), "abc");
}

TEST(Base64Test, AllByteValuesRoundTrip) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += char(i);
    for (size_t cut : {256, 255, 254}) {
        std::string part = bytes.substr(0, cut);
        EXPECT_EQ(Decode(Encode(part)), part) << cut;
    }
}

TEST(TimeZoneBase64Test, RoundTripsTheWholeRecord) {
    BYTE record[kTimeZoneRecordSize];
    for (uint32_t i = 0; i < kTimeZoneRecordSize; ++i) record[i] = BYTE(i * 7 + 3);
    char *text = nullptr;
    ASSERT_EQ(EncodeTimeZoneBase64(record, &text), kNoError);
    std::unique_ptr<char[]> owned(text);
    EXPECT_EQ(strlen(text), 232u);

    BYTE back[kTimeZoneRecordSize] = {};
    ASSERT_EQ(DecodeTimeZoneBase64(back, text), kNoError);
    EXPECT_EQ(memcmp(back, record, kTimeZoneRecordSize), 0);
}

TEST(TimeZoneBase64Test, ShortTextOverwritesOnlyWhatItDecodes) {
    const struct {
        const char *text;
        std::string decoded;
    } cases[] = {
        {"AQID", "\x01\x02\x03"},
        {"AQ", "\x01"},
        {"", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<BYTE> record(kTimeZoneRecordSize, 0xAA);  // exactly the record, for the sanitizer
        ASSERT_EQ(DecodeTimeZoneBase64(record.data(), c.text), kNoError);
        for (size_t i = 0; i < kTimeZoneRecordSize; ++i) {
            BYTE want = i < c.decoded.size() ? BYTE(c.decoded[i]) : 0xAA;
            ASSERT_EQ(record[i], want) << i;
        }
    }
}

TEST(TimeZoneBase64Test, LongTextFillsNoMoreThanTheRecord) {
    std::string bytes(200, '\x5A');
    std::string text = Encode(bytes);
    std::vector<BYTE> record(kTimeZoneRecordSize, 0);
    ASSERT_EQ(DecodeTimeZoneBase64(record.data(), text.c_str()), kNoError);
    EXPECT_EQ(record, std::vector<BYTE>(kTimeZoneRecordSize, 0x5A));
}

}  // namespace
