#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "DLogProviderVFile.h"
#include "support/TestDevice.h"

namespace {

const WCHAR kLogPath[] = u"\\Temp\\test.log";
constexpr uint32_t kAll = kLogAllCategories;

// UTF-16LE bytes of a text.
std::string Utf16(const std::u16string &text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

const std::string kMark("\xFF\xFE", 2);

class LogTest : public DeviceTest {
protected:
    void Put(const std::string &bytes) { std::ofstream(Device().Host(kLogPath), std::ios::binary) << bytes; }
    std::string Get() {
        std::ifstream in(Device().Host(kLogPath), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    DErrorCode OpenLog(DLogProviderVFile &log, int mode, uint32_t maxSize = kLogNoMaxSize) {
        VFile name;
        name.SetFileName(kLogPath);
        return log.Open(name, mode, maxSize);
    }
};

TEST_F(LogTest, WideLogStartsWithMarkAndAppendsWithoutASecondOne) {
    {
        DLogProviderVFile log;
        log.SetEncoding(kVStringUTF16LE);
        ASSERT_EQ(OpenLog(log, 0), kNoError);
        ASSERT_EQ(log.WriteString("ab\n", 0, kAll), kNoError);
    }
    EXPECT_EQ(Get(), kMark + Utf16(u"ab\r\n"));
    {
        DLogProviderVFile log;
        log.SetEncoding(kVStringUTF16LE);
        ASSERT_EQ(OpenLog(log, kLogAppend), kNoError);
        VString text;
        text.AssignWide(u"\u00e9\u20ac", kQvUnknown, kVStringUTF16LE);
        ASSERT_EQ(log.WriteVString(text, 0, kAll), kNoError);
    }
    EXPECT_EQ(Get(), kMark + Utf16(u"ab\r\n\u00e9\u20ac"));
    {
        DLogProviderVFile log;
        log.SetEncoding(kVStringUTF16LE);
        ASSERT_EQ(OpenLog(log, 0), kNoError);
        ASSERT_EQ(log.WriteString("c", 0, kAll), kNoError);
    }
    EXPECT_EQ(Get(), kMark + Utf16(u"c"));
}

TEST_F(LogTest, NarrowLogWritesLineFeedsAsCrLf) {
    struct Case {
        const char *text;
        std::string stored;
    };
    const Case cases[] = {
        {"a\nb", "a\r\nb"},
        {"\n\n", "\r\n\r\n"},
        {"x\r\n", "x\r\r\n"},  // a CR already there is kept
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        DLogProviderVFile log;
        ASSERT_EQ(OpenLog(log, 0), kNoError);
        ASSERT_EQ(log.WriteString(c.text, 0, kAll), kNoError);
        log.Close();
        EXPECT_EQ(Get(), c.stored);
    }
}

TEST_F(LogTest, NumbersAndLines) {
    DLogProviderVFile log;
    ASSERT_EQ(OpenLog(log, 0), kNoError);
    log.WriteHex(255, 0, kAll);
    log.WriteString(" ", 0, kAll);
    log.WriteNumber(-5, 0, kAll);
    log.WriteString(" ", 0, kAll);
    log.WriteHex(-1, 0, kAll);
    log.NewLine(0, kAll);
    log.WriteStringHexLine("code ", 0x737010B, 0, kAll);
    log.WriteLine("end", 0, kAll);
    // A wide string goes into a narrow log in the log's encoding.
    VString e;
    e.AssignWide(u"\u00e9", kQvUnknown, kVStringUTF16LE);
    log.WriteVString(e, 0, kAll);
    log.Close();
    EXPECT_EQ(Get(), "0xff -5 0xffffffff\r\ncode 0x737010b\r\nend\r\n\xE9");
}

TEST_F(LogTest, FilterDropsByLevelAndCategories) {
    struct Case {
        unsigned threshold;
        uint32_t added, removed;  // changes to the default mask
        unsigned level;
        uint32_t categories;
        bool written;
    };
    const Case cases[] = {
        {2, 0, 0, 3, kAll, false},
        {2, 0, 0, 2, kAll, true},
        {kLogAllLevels, 0x4, 0, 0, 0x3, false},
        {kLogAllLevels, 0x4, 0, 0, 0x6, true},
        {kLogAllLevels, 0x10, 0, 0, 0x1, false},  // adding to the default mask replaces it
        {kLogAllLevels, 0x10, 0, 0, 0x10, true},
        {kLogAllLevels, 0x10 | 0x20, 0x10, 0, 0x10, false},
        {kLogAllLevels, 0, 0, 0, 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "threshold " << c.threshold << " level " << c.level << " categories "
                                        << c.categories);
        DLogProviderVFile log;
        ASSERT_EQ(OpenLog(log, 0), kNoError);
        log.SetLevel(c.threshold);
        if (c.added != 0) log.AddCategories(c.added);
        if (c.removed != 0) log.RemoveCategories(c.removed);
        EXPECT_EQ(log.WriteLine("x", c.level, c.categories), kNoError);
        EXPECT_EQ(log.WriteStringHexLine("y", 1, c.level, c.categories), kNoError);
        log.Close();
        EXPECT_EQ(Get(), c.written ? "x\r\ny0x1\r\n" : "");
    }
}

// A line's end shares the line's level: a dropped line leaves no empty line,
// and a line at level 0 keeps its end at threshold 0.
TEST_F(LogTest, LineEndFollowsTheLinesLevel) {
    DLogProviderVFile log;
    ASSERT_EQ(OpenLog(log, 0), kNoError);
    log.SetLevel(0);
    EXPECT_EQ(log.WriteLine("a", 0, kAll), kNoError);
    EXPECT_EQ(log.WriteLine("b", 1, kAll), kNoError);
    EXPECT_EQ(log.WriteLine("c", 0, kAll), kNoError);
    log.Close();
    EXPECT_EQ(Get(), "a\r\nc\r\n");
}

TEST_F(LogTest, FormatterSeesEveryPieceBeforeItIsWritten) {
    struct Prefix : ILogFormatter {
        void FormatLogText(VString &text, unsigned level, uint32_t categories) override {
            VString out;
            out.AssignCStr(level == 1 && categories == 0x8 ? "[" : "<", kVStringWindows1252);
            out.Append(text);
            text.Assign(out);
        }
    } prefix;
    DLogProviderVFile log;
    ASSERT_EQ(OpenLog(log, 0), kNoError);
    log.SetFormatter(&prefix);
    log.WriteString("a", 1, 0x8);
    log.WriteNumber(7, 2, 0x8);
    log.Close();
    EXPECT_EQ(Get(), "[a<7");
}

TEST_F(LogTest, ClosedLogReopensForAppendingAndUnopenedLogRefuses) {
    DLogProviderVFile unopened;
    EXPECT_EQ(unopened.WriteString("x", 0, kAll), generalErrNotInitialized);

    Put("old\r\n");
    DLogProviderVFile log;
    ASSERT_EQ(OpenLog(log, kLogAppend, 1000), kNoError);
    EXPECT_EQ(log.GetOpenMode(), kLogAppend);
    EXPECT_EQ(log.GetMaxFileSize(), 1000u);
    log.WriteString("a", 0, kAll);
    log.Close();
    log.WriteString("b", 0, kAll);
    uint32_t size = 0;
    EXPECT_EQ(log.GetSize(&size), kNoError);
    EXPECT_EQ(size, 7u);
    log.Close();
    EXPECT_EQ(Get(), "old\r\nab");
}

TEST_F(LogTest, WideLogTextLengthAndReadText) {
    DLogProviderVFile log;
    log.SetEncoding(kVStringUTF16LE);
    ASSERT_EQ(OpenLog(log, 0), kNoError);
    log.WriteString("abcd", 0, kAll);
    uint32_t length = 0;
    ASSERT_EQ(log.GetTextLength(&length), kNoError);
    EXPECT_EQ(length, 5u);  // 10 bytes: the mark and four characters

    VString text;
    ASSERT_EQ(log.ReadText(2, 2, &text), kNoError);
    EXPECT_EQ(text.GetEncoding(), kVStringUTF16LE);
    EXPECT_EQ(std::u16string(text.GetWideText()), u"bc");

    // Longer than one read piece, and a count past the end reads to the end.
    std::string line(700, 'x');
    line += "\n";
    log.WriteString(line.c_str(), 0, kAll);
    ASSERT_EQ(log.ReadText(1, 0x7FFFFFFF, &text), kNoError);
    EXPECT_EQ(std::u16string(text.GetWideText()), u"abcd" + std::u16string(700, u'x') + u"\r\n");
    // Reading leaves the write position at the end.
    log.WriteString("z", 0, kAll);
    log.Close();
    EXPECT_EQ(Get(), kMark + Utf16(u"abcd" + std::u16string(700, u'x') + u"\r\nz"));
}

TEST_F(LogTest, CapCutsTheOldestTextAfterTheFirstTwoBytes) {
    std::string old(65000, '\0');
    for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<char>('a' + i % 26);
    Put(old);
    DLogProviderVFile log;
    ASSERT_EQ(OpenLog(log, kLogAppend, 65536), kNoError);
    std::string piece(1000, '#');
    ASSERT_EQ(log.WriteString(piece.c_str(), 0, kAll), kNoError);
    log.Close();
    std::string stored = Get();
    EXPECT_EQ(stored.size(), 63952u);
    EXPECT_TRUE(stored == old.substr(0, 2) + old.substr(2 + 2048) + piece);
}

// A log found at more than twice its cap (written under a larger cap) is
// cut to fit by the first write, its newest text kept.
TEST_F(LogTest, LogFarAboveItsCapIsCutToFitByTheNextWrite) {
    struct Case {
        uint32_t oldSize;
        uint32_t cap;
    };
    const Case cases[] = {{20000, 4096}, {200000, 65536}, {9000, 3000}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.oldSize);
        std::string old(c.oldSize, '\0');
        for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<char>('a' + i % 26);
        Put(old);
        DLogProviderVFile log;
        ASSERT_EQ(OpenLog(log, kLogAppend, c.cap), kNoError);
        ASSERT_EQ(log.WriteString("new line", 0, kAll), kNoError);
        log.Close();
        const std::string stored = Get();
        EXPECT_EQ(stored.size(), c.cap);
        EXPECT_EQ(stored.substr(0, 2), old.substr(0, 2));
        EXPECT_TRUE(stored.substr(2) == old.substr(old.size() - (c.cap - 2 - 8)) + "new line");
    }
}

// The cap counts line ends as written and keeps a wide log's units whole.
TEST_F(LogTest, CappedLogNeverPassesItsCap) {
    struct Case {
        VStringEncoding encoding;
        uint32_t cap;
    };
    const Case cases[] = {{kVStringWindows1252, 3000}, {kVStringUTF16LE, 4999}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.encoding);
        DLogProviderVFile log;
        log.SetEncoding(c.encoding);
        ASSERT_EQ(OpenLog(log, 0, c.cap), kNoError);
        // Mostly short lines; every fifth piece forces a cut of more than 2048 bytes.
        const std::string longPiece = std::string(1100, 'L') + "\n\n";
        uint32_t size = 0;
        for (int i = 0; i < 400; ++i) {
            ASSERT_EQ(log.WriteString(i % 5 == 4 ? longPiece.c_str() : "0123456789\n\n", 0, kAll), kNoError);
            ASSERT_EQ(log.GetSize(&size), kNoError);
            ASSERT_LE(size, c.cap);
            if (c.encoding == kVStringUTF16LE) {
                ASSERT_EQ(size % 2, 0u);
            }
        }
        log.WriteNumber(424242, 0, kAll);
        log.Close();
        std::string stored = Get();
        if (c.encoding == kVStringUTF16LE) {
            EXPECT_EQ(stored.size() % 2, 0u);
            EXPECT_EQ(stored.substr(0, 2), kMark);
            const std::string tail = Utf16(u"\r\n\r\n424242");
            EXPECT_EQ(stored.substr(stored.size() - tail.size()), tail);
        } else {
            EXPECT_EQ(stored.substr(stored.size() - 10), "\r\n\r\n424242");
        }
    }
}

// A log shorter than its kept head still takes pieces that pass the cap,
// and goes on working.
TEST_F(LogTest, CapOnALogShorterThanItsHead) {
    Put("x");
    DLogProviderVFile log;
    ASSERT_EQ(OpenLog(log, kLogAppend, 10), kNoError);
    ASSERT_EQ(log.WriteString("0123456789AB", 0, kAll), kNoError);
    log.Close();
    EXPECT_EQ(Get(), "x3456789AB");
    ASSERT_EQ(log.WriteString("CD", 0, kAll), kNoError);
    log.Close();
    EXPECT_EQ(Get(), "x3CD");
}

}  // namespace
