#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "ChangeNotifier.h"
#include "Checksum.h"
#include "FreeStorage.h"
#include "LastErrorText.h"
#include "StoreResult.h"
#include "UserMessage.h"
#include "platform/msgtestutil.h"
#include "support/TestDevice.h"
#include "windows.h"

namespace {

TEST(ChecksumTest, Accumulates) {
    const struct {
        const char *name;
        std::vector<uint8_t> data;
        DChecksumState from;
        uint32_t start;
        DChecksumState to;
    } cases[] = {
        // 1 x 0x41, whose lowest and highest bytes change places.
        {"one letter", {0x41, 0x00}, {0, 0}, 0, {0x41000000u, 1}},
        {"zeros only advance", {0x00, 0x00, 0x02}, {0, 0}, 0, {0x06000000u, 1}},
        {"start position", {0x02}, {0, 0}, 9, {0x14000000u, 1}},
        // 0x01000000 + 2 x 1 = 0x01000002, swapped.
        {"two bytes", {0x01, 0x01}, {0, 0}, 0, {0x02000001u, 2}},
        {"sum of zero becomes one", {0x41}, {0xFFFFFFBFu, 4}, 0, {1, 5}},
        // Position 0xFFFFFFFF x 0xFF wraps to 0xFFFFFF01.
        {"wraps", {0xFF}, {0, 0}, 0xFFFFFFFEu, {0x01FFFFFFu, 1}},
        {"empty", {}, {7, 3}, 0, {7, 3}},
    };
    for (const auto &c : cases) {
        DChecksumState state = c.from;
        ASSERT_EQ(kNoError, AccumulateChecksum(c.data.data(), uint32_t(c.data.size()), &state, c.start)) << c.name;
        EXPECT_EQ(c.to.sum, state.sum) << c.name;
        EXPECT_EQ(c.to.count, state.count) << c.name;
    }
    // Running over a body in two pieces equals one run over the whole.
    const std::u16string body = u"Meeting moved to 3pm";
    const auto *bytes = reinterpret_cast<const uint8_t *>(body.data());
    const uint32_t length = uint32_t(body.size() * sizeof(char16_t));
    DChecksumState whole = {0, 0}, pieces = {0, 0};
    AccumulateChecksum(bytes, length, &whole, 0);
    AccumulateChecksum(bytes, 10, &pieces, 0);
    AccumulateChecksum(bytes + 10, length - 10, &pieces, 10);
    EXPECT_EQ(whole.sum, pieces.sum);
    EXPECT_EQ(whole.count, pieces.count);

    EXPECT_EQ(generalErrNULLPointer, AccumulateChecksum(nullptr, 1, &whole, 0));
    EXPECT_EQ(generalErrNULLPointer, AccumulateChecksum(bytes, 1, nullptr, 0));
}

TEST(LastErrorTextTest, Formats) {
    const struct {
        const char *context;
        DWORD error;
        const char *text;
    } cases[] = {
        {"DWmHttpSess::DoOpenSession InternetConnect ", ERROR_FILE_NOT_FOUND,
         "DWmHttpSess::DoOpenSession InternetConnect : GetLastError(2) = The file cannot be found."},
        {"ctx", 12029, "ctx: GetLastError(12029) = <No description returned>"},
        {nullptr, 0, ": GetLastError(0) = The operation completed successfully."},
    };
    for (const auto &c : cases) {
        VString out;
        SetLastError(c.error);
        ASSERT_EQ(kNoError, FormatLastErrorText(c.context, &out));
        EXPECT_STREQ(c.text, out.GetNarrowText());
        EXPECT_EQ(kVStringWindows1252, out.GetEncoding());
        EXPECT_EQ(c.error, GetLastError());
    }
    EXPECT_EQ(generalErrInvalidParameter, FormatLastErrorText("x", nullptr));
}

TEST(StoreResultTest, FoldsCodes) {
    EXPECT_EQ(HRESULT(0x80180008u), ResultOutOfMemory());
    EXPECT_EQ(HRESULT(0x80180C09u), ResultFromError(httpErrRequestFailed));
    EXPECT_EQ(HRESULT(0x80180002u), ResultFromError(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(-1, ShowUserMessage(u"Vantrel", u"Flight mode", internetConnectFlightMode));
}

using FreeStorageTest = DeviceTest;

// The free bytes saturate at 32 bits instead of losing their high part; a
// failed query leaves the count alone.
TEST_F(FreeStorageTest, SaturatesAndKeepsOnFailure) {
#ifdef VANTREL_EDITION_SMARTPHONE
    // The Smartphone edition asks about its "\Storage" volume.
    ASSERT_TRUE(CreateDirectoryW(u"\\Storage", nullptr));
#endif
    const struct {
        const char *file;
        uint32_t expected;
    } cases[] = {
        {"1048576", 1048576u},
        {"4294967295", 0xFFFFFFFFu},
        {"4295016448", 0xFFFFFFFFu},  // 4 GiB + 1 MiB, not 1 MiB
        {"18446744073709551615", 0xFFFFFFFFu},
        {"0", 0u},
        {"lots", 12345u},  // the device cannot say
    };
    for (const auto &c : cases) {
        std::ofstream(Device().Root() + "/freespace", std::ios::trunc) << c.file << "\n";
        uint32_t bytes = 12345;
        EXPECT_EQ(kNoError, GetFreeStorageSpace(nullptr, &bytes)) << c.file;
        EXPECT_EQ(c.expected, bytes) << c.file;
    }
    EXPECT_EQ(generalErrNULLPointer, GetFreeStorageSpace(nullptr, nullptr));
}

using ChangeNotifierTest = DeviceTest;

// Every top-level window of the process hears the message, first with
// wParam 0, then with 0xFFFFFFFF.
TEST_F(ChangeNotifierTest, BroadcastsBeginThenEnd) {
    ASSERT_EQ(kNoError, RegisterChangeNotifierMessage());
    const UINT id = RegisterWindowMessageW(u"brwNotifierChangeMessage");
    ASSERT_NE(0u, id);
    std::vector<std::pair<WPARAM, LPARAM>> heard;
    HWND listener = MakeWindow([&](HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == id) heard.emplace_back(w, l);
        return DefWindowProcW(h, m, w, l);
    });
    ASSERT_NE(nullptr, listener);

    ASSERT_EQ(kNoError, BroadcastChangeNotifierBegin());
    ASSERT_EQ(kNoError, BroadcastChangeNotifierEnd());
    Pump();
    const std::vector<std::pair<WPARAM, LPARAM>> expected = {{0, 0}, {WPARAM(0xFFFFFFFFu), 0}};
    EXPECT_EQ(expected, heard);
    DestroyWindow(listener);
}

}  // namespace
