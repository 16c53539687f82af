// The meeting UID in its two forms: UID text to global object id and back,
// the refusals, the instance date taken apart, and what a blob from the
// device may hold (no terminator, a zero inside, an odd length).
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "MeetingUID.h"
#include "winmem.h"

namespace {

using Bytes = std::vector<BYTE>;

const Bytes kClass = {0x04, 0x00, 0x00, 0x00, 0x82, 0x00, 0xE0, 0x00,
                      0x74, 0xC5, 0xB7, 0x10, 0x1A, 0x82, 0xE0, 0x08};
const std::u16string kClassHex = u"040000008200E00074C5B7101A82E008";

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes &p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Class id, instance date, 20 zero bytes of times, data size, "vCal-Uid" mark.
Bytes VCalHeader(uint32_t dataSize) {
    return Cat({kClass, Bytes(20, 0), {BYTE(dataSize), BYTE(dataSize >> 8), 0, 0},
                {'v', 'C', 'a', 'l', '-', 'U', 'i', 'd', 1, 0, 0, 0}});
}

Bytes Wide(const std::u16string &text) {
    Bytes b;
    for (char16_t c : text) {
        b.push_back(BYTE(c));
        b.push_back(BYTE(c >> 8));
    }
    return b;
}

struct ToBlob {
    HRESULT hr;
    Bytes bytes;
};
ToBlob ToGlobalObjectID(const char16_t *uid) {
    CEBLOB blob = {123, reinterpret_cast<LPBYTE>(1)};
    ToBlob out{UIDToGlobalObjectID(uid, &blob), {}};
    if (SUCCEEDED(out.hr)) out.bytes.assign(blob.lpb, blob.lpb + blob.dwCount);
    else EXPECT_EQ(blob.lpb, nullptr);
    LocalFree(blob.lpb);
    return out;
}

struct ToText {
    HRESULT hr;
    std::u16string text;
    SYSTEMTIME date;
};
// count: what the blob says it holds; the buffer may hold more behind it.
ToText ToUID(const Bytes &buffer, size_t count, bool wantDate) {
    CEBLOB blob = {DWORD(count), const_cast<LPBYTE>(buffer.data())};
    WCHAR *text = nullptr;
    ToText out{};
    out.date.wYear = out.date.wHour = 99;
    out.hr = GlobalObjectIDToUID(&blob, &text, wantDate ? &out.date : nullptr);
    if (text != nullptr) out.text = text;
    LocalFree(text);
    return out;
}
ToText ToUID(const Bytes &blob, bool wantDate = false) { return ToUID(blob, blob.size(), wantDate); }

TEST(MeetingUID, ATextUIDTravelsInAVCalUidBlob) {
    const ToBlob made = ToGlobalObjectID(u"abc");
    ASSERT_EQ(made.hr, S_OK);
    EXPECT_EQ(made.bytes, Cat({VCalHeader(20), Wide(u"abc"), {0, 0}}));
    ASSERT_EQ(made.bytes.size(), 60u);
    const ToText back = ToUID(made.bytes, true);
    EXPECT_EQ(back.hr, S_OK);
    EXPECT_EQ(back.text, u"abc");
    EXPECT_EQ(back.date.wYear, 0);
    EXPECT_EQ(back.date.wHour, 0);
}

TEST(MeetingUID, WhichTextsAreDecodedWrappedOrRefused) {
    const Bytes zeroDate = Cat({kClass, Bytes(4, 0)});
    const struct {
        const char *label;
        std::u16string uid;
        HRESULT hr;
        Bytes binary;  // empty: wrapped as text
    } cases[] = {
        {"plain text", u"{8F1A}@example.com", S_OK, {}},
        {"class id and date: the date is dropped", kClassHex + u"07D6090D", S_OK, zeroDate},
        {"lower-case digits behind the class id", kClassHex + u"0000000000ab", S_OK, Cat({zeroDate, {0x00, 0xAB}})},
        {"the class id in lower case is text", u"040000008200e00074c5b7101a82e008" u"00000000", S_OK, {}},
        {"39 characters from the class id", kClassHex + u"0000000", E_FAIL, {}},
        {"an odd number of digits is text", kClassHex + u"000000000", S_OK, {}},
        {"a non-hex character is text", kClassHex + u"0000000G", S_OK, {}},
        {"a space behind the digits is text", kClassHex + u"00000000 ", S_OK, {}},
        {"empty", u"", E_FAIL, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        const ToBlob made = ToGlobalObjectID(c.uid.c_str());
        ASSERT_EQ(made.hr, c.hr);
        if (FAILED(c.hr)) continue;
        if (!c.binary.empty()) {
            EXPECT_EQ(made.bytes, c.binary);
            continue;
        }
        const uint32_t dataSize = uint32_t(12 + 2 * (c.uid.size() + 1));
        EXPECT_EQ(made.bytes, Cat({VCalHeader(dataSize), Wide(c.uid), {0, 0}}));
        EXPECT_EQ(ToUID(made.bytes).text, c.uid);
    }
    EXPECT_EQ(ToGlobalObjectID(nullptr).hr, E_FAIL);
    EXPECT_EQ(UIDToGlobalObjectID(u"abc", nullptr), E_POINTER);
}

TEST(MeetingUID, ABinaryIdReadsAsHexWithTheDateTakenApartWhenAsked) {
    const Bytes blob = Cat({kClass, {0x07, 0xD6, 0x09, 0x0D}, Bytes(16, 0x11), {4, 0, 0, 0}, {0xDE, 0xAD, 0xBE, 0xEF}});
    const std::u16string tail = u"11111111111111111111111111111111" u"04000000" u"DEADBEEF";

    const ToText whole = ToUID(blob);
    EXPECT_EQ(whole.hr, S_OK);
    EXPECT_EQ(whole.text, kClassHex + u"07D6090D" + tail);

    const ToText apart = ToUID(blob, true);
    EXPECT_EQ(apart.hr, S_OK);
    EXPECT_EQ(apart.text, kClassHex + u"00000000" + tail);
    EXPECT_EQ(apart.date.wYear, 2006);
    EXPECT_EQ(apart.date.wMonth, 9);
    EXPECT_EQ(apart.date.wDay, 13);
    EXPECT_EQ(apart.date.wHour, 0);

    // A year of 0 means no date, whatever month and day say.
    Bytes noYear = blob;
    noYear[16] = noYear[17] = 0;
    const ToText none = ToUID(noYear, true);
    EXPECT_EQ(none.date.wMonth, 0);
    EXPECT_EQ(none.date.wDay, 0);
}

TEST(MeetingUID, BlobsTooShortOrOfAnotherClassAreRefused) {
    const Bytes shortest = Cat({kClass, Bytes(20, 0)});
    EXPECT_EQ(ToUID(shortest).hr, S_OK);
    EXPECT_EQ(ToUID(shortest).text.size(), 72u);
    EXPECT_EQ(ToUID(shortest, 35, false).hr, E_UNEXPECTED);
    Bytes other = shortest;
    other[4] = 0x83;
    EXPECT_EQ(ToUID(other).hr, E_UNEXPECTED);
    CEBLOB empty = {0, nullptr};
    WCHAR *text = reinterpret_cast<WCHAR *>(1);
    EXPECT_EQ(GlobalObjectIDToUID(&empty, &text, nullptr), E_UNEXPECTED);
    EXPECT_EQ(text, nullptr);
}

// A device blob's text need not end inside the blob: it is read up to its
// first zero or the blob's end, never beyond.
TEST(MeetingUID, TheTextOfADeviceBlobEndsAtItsFirstZeroOrAtTheBlobsEnd) {
    const Bytes behind = Wide(u"XYZW");  // bytes past the blob's count
    const struct {
        const char *label;
        Bytes data;
        size_t extra;  // bytes of data beyond the count
        std::u16string text;
    } cases[] = {
        {"UTF-16 without terminator", Cat({Wide(u"abcd"), behind}), behind.size(), u"abcd"},
        {"UTF-16 with an odd last byte", Cat({Wide(u"abcd"), {'e'}, behind}), behind.size(), u"abcd"},
        {"UTF-16 with a zero inside", Cat({Wide(u"ab"), {0, 0}, Wide(u"cd")}), 0, u"ab"},
        {"one byte only", Cat({{'a'}, behind}), behind.size(), u""},
        {"8-bit without terminator", Bytes{'x', 'y', 'z', 'W', 'W'}, 2, u"xyz"},
        {"8-bit with a zero inside", Bytes{'x', 'y', 0, 'z'}, 0, u"xy"},
        {"8-bit in the ANSI code page", Bytes{'c', 'a', 'f', 0xE9, 0}, 0, u"caf\u00E9"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        const Bytes buffer = Cat({VCalHeader(uint32_t(12 + c.data.size())), c.data});
        const ToText back = ToUID(buffer, buffer.size() - c.extra, false);
        EXPECT_EQ(back.hr, S_OK);
        EXPECT_EQ(back.text, c.text);
    }
}

TEST(MeetingUID, RoundTripsBothWays) {
    for (const std::u16string &uid : {std::u16string(u"abc"), std::u16string(u"{A1B2-33}@host.example"),
                                     kClassHex + u"00000000" + u"0011223344556677" + u"0000000008000000" +
                                         u"00112233DEADBEEF"}) {
        SCOPED_TRACE(std::string(uid.begin(), uid.end()));
        const ToBlob made = ToGlobalObjectID(uid.c_str());
        ASSERT_EQ(made.hr, S_OK);
        EXPECT_EQ(ToUID(made.bytes).text, uid);
    }
    const Bytes binary = Cat({kClass, Bytes(4, 0), Bytes(16, 0x5A), {4, 0, 0, 0}, {1, 2, 3, 4}});
    for (const Bytes &blob : {binary, Cat({VCalHeader(20), Wide(u"abc"), {0, 0}})}) {
        const ToText text = ToUID(blob);
        ASSERT_EQ(text.hr, S_OK);
        EXPECT_EQ(ToGlobalObjectID(text.text.c_str()).bytes, blob);
    }
}

TEST(MeetingUID, BytesToHexWritesTwoUpperCaseDigitsPerByteAndNoTerminator) {
    const BYTE bytes[] = {0x00, 0xAB, 0x7F};
    WCHAR out[8];
    std::fill(std::begin(out), std::end(out), u'#');
    EXPECT_EQ(BytesToHex(bytes, 3, out), 6u);
    EXPECT_EQ(std::u16string(out, 8), u"00AB7F##");
}

}  // namespace
