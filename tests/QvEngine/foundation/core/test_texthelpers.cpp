#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "StringList.h"
#include "TextHelpers.h"

namespace {

TEST(TextHelpersTest, IsTrueString) {
    const struct {
        const char *text;
        int want;
    } cases[] = {{nullptr, 0}, {"0", 0}, {"00", 1}, {"1", 1}, {"", 1}, {"false", 1}};
    for (const auto &c : cases) EXPECT_EQ(IsTrueString(c.text), c.want) << (c.text ? c.text : "(null)");
}

TEST(TextHelpersTest, GetNextTokenWalksTheText) {
    const struct {
        const char *src;
        uint16_t pos;
        const char *token;  // null: none
        uint16_t after;
    } cases[] = {
        {"a,b", 0, "a", 1},
        {"a,b", 2, "b", 3},
        {"a,b", 1, "", 1},  // on the delimiter: an empty token, the caller steps over it
        {"abc", 0, "abc", 3},
        {"a,b", 3, nullptr, 3},
        {"a,b", 9, nullptr, 9},
        {"", 0, nullptr, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.src) + " @" + std::to_string(c.pos));
        uint16_t pos = c.pos;
        char *token = nullptr;
        ASSERT_EQ(GetNextToken(c.src, &pos, ',', &token), kNoError);
        std::unique_ptr<char[]> owned(token);
        if (c.token == nullptr) {
            EXPECT_EQ(token, nullptr);
        } else {
            ASSERT_NE(token, nullptr);
            EXPECT_STREQ(token, c.token);
        }
        EXPECT_EQ(pos, c.after);
    }
}

TEST(TextHelpersTest, GetNextTokenRefusesBadArguments) {
    uint16_t pos = 0;
    char held[] = "x";
    char *token = held;
    EXPECT_EQ(GetNextToken("a,b", &pos, ',', &token), generalErrInvalidParameter);
    EXPECT_EQ(token, held);
    token = nullptr;
    EXPECT_EQ(GetNextToken(nullptr, &pos, ',', &token), generalErrInvalidParameter);
    EXPECT_EQ(token, nullptr);

    // A stop beyond what the position can hold is refused, not wrapped.
    std::string longText(70000, 'x');
    EXPECT_EQ(GetNextToken(longText.c_str(), &pos, ',', &token), generalErrIndexOutOfRange);
    EXPECT_EQ(token, nullptr);
    EXPECT_EQ(pos, 0);
}

TEST(TextHelpersTest, CopyNarrowStringAllocatesOrReusesWithinCapacity) {
    char *fresh = nullptr;
    ASSERT_EQ(CopyNarrowString(&fresh, 0, "hello"), kNoError);
    std::unique_ptr<char[]> owned(fresh);
    EXPECT_STREQ(fresh, "hello");

    // Buffers of exactly their capacity, so the sanitizer sees an overrun.
    std::vector<char> fits(6, 'z');
    char *dest = fits.data();
    ASSERT_EQ(CopyNarrowString(&dest, 6, "world"), kNoError);
    EXPECT_EQ(dest, fits.data());
    EXPECT_STREQ(dest, "world");

    std::vector<char> small(5, 'z');
    dest = small.data();
    EXPECT_EQ(CopyNarrowString(&dest, 5, "world"), generalErrBufferTooSmall);
    EXPECT_EQ(dest, small.data());
    EXPECT_EQ(std::string(small.begin(), small.end()), "zzzzz");

    EXPECT_EQ(CopyNarrowString(&dest, 5, nullptr), generalErrInvalidParameter);
}

TEST(TextHelpersTest, MakeRandomHexStringFillsExactlyTheAskedLength) {
    for (uint32_t length : {0u, 1u, 32u, 33u}) {
        std::vector<char> out(length + 1, 'Z');
        ASSERT_EQ(MakeRandomHexString(out.data(), length + 1, length), kNoError);
        std::string text(out.data());
        EXPECT_EQ(text.size(), length);
        EXPECT_EQ(text.find_first_not_of("0123456789abcdef"), std::string::npos) << text;
    }
    // Two 32-digit strings alike would mean the generator is not random.
    std::vector<char> a(33), b(33);
    ASSERT_EQ(MakeRandomHexString(a.data(), 33, 32), kNoError);
    ASSERT_EQ(MakeRandomHexString(b.data(), 33, 32), kNoError);
    EXPECT_STRNE(a.data(), b.data());

    std::vector<char> tight(32, 'Z');
    EXPECT_EQ(MakeRandomHexString(tight.data(), 32, 32), generalErrBufferTooSmall);
    EXPECT_EQ(tight[0], 0);
    EXPECT_EQ(tight[1], 'Z');
}

TEST(TextHelpersTest, ParseCountedIntReadsOnlyTheCountedBytes) {
    const struct {
        std::string text;
        uint32_t length;
        int want;
    } cases[] = {
        {"12345", 3, 123}, {"-42x", 4, -42}, {" 7", 2, 7},        {"abc", 3, 0},
        {"99", 0, 0},      {"99999999999", 11, 2147483647},      {"-99999999999", 12, -2147483647 - 1},
    };
    for (const auto &c : cases) {
        std::vector<char> tight(c.text.begin(), c.text.end());  // no terminator
        EXPECT_EQ(ParseCountedInt(tight.data(), c.length), c.want) << c.text;
    }
}

TEST(TextHelpersTest, JoinStringListAndFree) {
    StringListNode head = {new VString, nullptr};
    head.value->AssignCStr("a", kVStringWindows1252);
    head.next = new StringListNode{new VString, nullptr};
    head.next->value->AssignCStr("b", kVStringWindows1252);
    head.next->next = new StringListNode{new VString, nullptr};
    head.next->next->value->AssignCStr("c", kVStringWindows1252);

    VString joined;
    joined.AssignCStr("<", kVStringWindows1252);
    ASSERT_EQ(JoinStringList(&joined, &head, ", "), kNoError);
    EXPECT_STREQ(joined.GetNarrowText(), "<a, b, c");

    // A node without a string ends the list.
    VString *b = head.next->value;
    head.next->value = nullptr;
    VString first;
    ASSERT_EQ(JoinStringList(&first, &head, ";"), kNoError);
    EXPECT_STREQ(first.GetNarrowText(), "a");
    head.next->value = b;

    VString wide;
    wide.AssignWide(u"<", kQvUnknown, kVStringUTF16LE);
    ASSERT_EQ(JoinStringList(&wide, &head, "+"), kNoError);
    ASSERT_EQ(wide.GetEncoding(), kVStringUTF16LE);
    EXPECT_EQ(std::u16string(wide.GetWideText()), u"<a+b+c");

    FreeStringList(&head);  // the sanitizer reports any node or string left behind
    EXPECT_EQ(head.value, nullptr);
    EXPECT_EQ(head.next, nullptr);
}

TEST(ByteOrderTest, ReadsAndWritesAtAnyAddress) {
    BYTE bytes[7] = {0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0x00};
    EXPECT_EQ(GetBigEndian32(bytes + 1), 0x12345678u);
    EXPECT_EQ(GetUInt32(bytes + 1), 0x78563412u);
    EXPECT_EQ(GetUInt16(bytes + 3), 0x7856u);

    BYTE out[7] = {};
    PutUInt32(out + 1, 0xA1B2C3D4);
    PutUInt16(out + 5, 0xE5F6);
    const BYTE want[7] = {0x00, 0xD4, 0xC3, 0xB2, 0xA1, 0xF6, 0xE5};
    EXPECT_EQ(memcmp(out, want, sizeof want), 0);
    EXPECT_EQ(GetUInt32(out + 1), 0xA1B2C3D4u);
    EXPECT_EQ(GetUInt16(out + 5), 0xE5F6u);
}

}  // namespace
