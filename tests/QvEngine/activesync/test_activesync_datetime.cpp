// The ActiveSync date-time text both ways, and the texts a server may send
// that are not a date-time.
#include <gtest/gtest.h>

#include <string>

#include "support/DateRecord.h"
#include "ActiveSyncDateTime.h"

namespace {

TEST(ActiveSyncDateTime, WritesFullAndCompactWithTheOffset) {
    const struct {
        int32_t offset;
        bool compact;
        const char *text;
    } cases[] = {
        {0, false, "2006-12-09T07:46:47.000Z"},
        {0, true, "20061209T074647Z"},
        {-18000, false, "2006-12-09T07:46:47.000-05:00"},
        {-18000, true, "20061209T074647-0500"},
        {19800, false, "2006-12-09T07:46:47.000+05:30"},
    };
    for (const auto &c : cases) {
        std::string text;
        ASSERT_EQ(WriteActiveSyncDateTime(DateRecord(2006, 12, 9, 7, 46, 47), c.offset, c.compact, &text), kNoError);
        EXPECT_EQ(text, c.text);
    }
    std::string text;
    EXPECT_EQ(WriteActiveSyncDateTime(DateRecord(2006, 13, 1, 0, 0, 0), 0, false, &text), generalErrInvalidParameter);
    EXPECT_EQ(WriteActiveSyncDateTime(DateRecord(2006, 1, 1, 0, 0, 0), 0, false, nullptr), generalErrInvalidParameter);
}

TEST(ActiveSyncDateTime, ReadsEachFormToTheSameTimeAndRefusesBadTexts) {
    const struct {
        const char *text;
        DErrorCode result;
        int year, month, day, hour, minute, second;
        int32_t offset;
    } cases[] = {
        {"20061209T074647Z", kNoError, 2006, 12, 9, 7, 46, 47, 0},
        {"2006-12-09T07:46:47.000Z", kNoError, 2006, 12, 9, 7, 46, 47, 0},
        {"2006-12-09T07:46:47.123456-05:00", kNoError, 2006, 12, 9, 7, 46, 47, -18000},
        {"20061209T074647+0530", kNoError, 2006, 12, 9, 7, 46, 47, 19800},
        {"20061209T0746470100", kNoError, 2006, 12, 9, 7, 46, 47, 3600},  // a digit: a positive offset
        {"2006-12-09", kNoError, 2006, 12, 9, 0, 0, 0, 0},                // the time may be left out
        {"2006-12-09T07:46", kNoError, 2006, 12, 9, 7, 46, 0, 0},
        {"2008-02-29T00:00:00Z", kNoError, 2008, 2, 29, 0, 0, 0, 0},
        // Not a date-time: out of range, incomplete, or more than a date-time.
        {"2007-02-29T00:00:00Z", ASDataManagerErrInvalidDataType, 0, 0, 0, 0, 0, 0, 0},
        {"2006-13-09T07:46:47Z", ASDataManagerErrInvalidDataType, 0, 0, 0, 0, 0, 0, 0},
        {"2006-00-09T07:46:47Z", ASDataManagerErrInvalidDataType, 0, 0, 0, 0, 0, 0, 0},
        {"2006-12-32T07:46:47Z", ASDataManagerErrInvalidDataType, 0, 0, 0, 0, 0, 0, 0},
        {"2006-12-09T24:00:00Z", ASDataManagerErrInvalidDataType, 0, 0, 0, 0, 0, 0, 0},
        {"2006-12-09T07:60:00Z", ASDataManagerErrInvalidDataType, 0, 0, 0, 0, 0, 0, 0},
        {"2006-12-09T07:46:60Z", ASDataManagerErrInvalidDataType, 0, 0, 0, 0, 0, 0, 0},
        {"2006-12-09T07:46:47+25:00", ASDataManagerErrInvalidDataType, 0, 0, 0, 0, 0, 0, 0},
        {"2006-12-09T07:46:47+05", ASDataManagerErrInvalidDataType, 0, 0, 0, 0, 0, 0, 0},
        {"2006-12", ASDataManagerErrInvalidDataType, 0, 0, 0, 0, 0, 0, 0},
        {"", ASDataManagerErrInvalidDataType, 0, 0, 0, 0, 0, 0, 0},
        {"yesterday", ASDataManagerErrInvalidDataType, 0, 0, 0, 0, 0, 0, 0},
        {"2006-12-09T07:46:47Zjunk", ASDataManagerErrInvalidDataType, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        struct tm t;
        int32_t offset = 99;
        ASSERT_EQ(ReadActiveSyncDateTime(c.text, &t, &offset), c.result);
        if (c.result != kNoError) continue;
        EXPECT_EQ(t.tm_year + 1900, c.year);
        EXPECT_EQ(t.tm_mon + 1, c.month);
        EXPECT_EQ(t.tm_mday, c.day);
        EXPECT_EQ(t.tm_hour, c.hour);
        EXPECT_EQ(t.tm_min, c.minute);
        EXPECT_EQ(t.tm_sec, c.second);
        EXPECT_EQ(offset, c.offset);
    }
    struct tm t;
    int32_t offset = 0;
    EXPECT_EQ(ReadActiveSyncDateTime(nullptr, &t, &offset), generalErrInvalidParameter);
}

TEST(ActiveSyncDateTime, WhatIsWrittenReadsBack) {
    for (bool compact : {false, true}) {
        for (int32_t offset : {0, -18000, 34200}) {
            std::string text;
            ASSERT_EQ(WriteActiveSyncDateTime(DateRecord(1999, 12, 31, 23, 59, 59), offset, compact, &text), kNoError);
            struct tm t;
            int32_t read = 0;
            ASSERT_EQ(ReadActiveSyncDateTime(text.c_str(), &t, &read), kNoError) << text;
            EXPECT_EQ(read, offset) << text;
            EXPECT_EQ(t.tm_year, 99);
            EXPECT_EQ(t.tm_sec, 59);
        }
    }
}

}  // namespace
