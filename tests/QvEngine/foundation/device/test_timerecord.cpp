#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>

#include "ILogProvider.h"
#include "LogDateTime.h"
#include "TimeRecord.h"

namespace {

struct tm Record(int year, int mon, int day, int hour, int min, int sec) {
    struct tm t;
    memset(&t, 0, sizeof t);
    t.tm_year = year;
    t.tm_mon = mon;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = min;
    t.tm_sec = sec;
    return t;
}

TEST(TimeRecordTest, EmptyMeansAllNineFieldsZero) {
    struct tm t;
    memset(&t, 0, sizeof t);
    EXPECT_TRUE(IsTimeRecordEmpty(&t));
    int tm::*fields[] = {&tm::tm_sec,  &tm::tm_min,  &tm::tm_hour, &tm::tm_mday, &tm::tm_mon,
                         &tm::tm_year, &tm::tm_wday, &tm::tm_yday, &tm::tm_isdst};
    for (auto field : fields) {
        struct tm one = t;
        one.*field = 1;
        EXPECT_FALSE(IsTimeRecordEmpty(&one));
    }
}

TEST(TimeRecordTest, CompareOrdersByYearDownToSecond) {
    const struct tm base = Record(107, 5, 15, 10, 30, 45);
    const struct {
        struct tm other;
        int want;  // base compared with other
    } cases[] = {
        {Record(107, 5, 15, 10, 30, 45), 0}, {Record(106, 11, 31, 23, 59, 59), 1},
        {Record(108, 0, 1, 0, 0, 0), -1},    {Record(107, 6, 1, 0, 0, 0), -1},
        {Record(107, 5, 14, 23, 0, 0), 1},   {Record(107, 5, 15, 11, 0, 0), -1},
        {Record(107, 5, 15, 10, 29, 59), 1}, {Record(107, 5, 15, 10, 30, 46), -1},
        {Record(-1, 5, 15, 10, 30, 45), 1},  // signed: a year before 1900 is earlier
    };
    for (const auto &c : cases) {
        EXPECT_EQ(CompareTimeRecords(&base, &c.other), c.want);
        EXPECT_EQ(CompareTimeRecords(&c.other, &base), -c.want);
    }
}

// Keeps every piece written, with the level and categories it came with.
class RecordingLog : public ILogProvider {
public:
    std::string text;
    bool allAtLevel1 = true;

    DErrorCode WriteNumber(int32_t value, unsigned level, uint32_t categories) override {
        return Put(std::to_string(value), level, categories);
    }
    DErrorCode WriteString(const char *s, unsigned level, uint32_t categories) override {
        return Put(s, level, categories);
    }
    DErrorCode WriteVString(const VString &s, unsigned level, uint32_t categories) override {
        return Put(s.GetNarrowText(), level, categories);
    }
    DErrorCode WriteHex(int32_t, unsigned, uint32_t) override { return generalErrNotImplemented; }
    DErrorCode NewLine(unsigned level, uint32_t categories) override { return Put("\n", level, categories); }
    DErrorCode GetTextLength(uint32_t *) override { return generalErrNotImplemented; }
    DErrorCode ReadText(uint32_t, uint32_t, VString *) override { return generalErrNotImplemented; }

private:
    DErrorCode Put(const std::string &s, unsigned level, uint32_t categories) {
        if (level != 1 || categories != kLogAllCategories) allAtLevel1 = false;
        text += s;
        return kNoError;
    }
};

TEST(LogDateTimeTest, WritesTheRecordAsOneUnpaddedLine) {
    const struct {
        struct tm t;
        int bias;
        const char *line;
    } cases[] = {
        {Record(107, 0, 5, 9, 3, 7), 0, "1/5/107  9:3:7 +-0\n"},
        {Record(99, 11, 31, 23, 59, 59), -480, "12/31/99  23:59:59 +--480\n"},
    };
    for (const auto &c : cases) {
        RecordingLog log;
        ASSERT_EQ(LogWriteDateTime(&log, &c.t, c.bias), kNoError);
        EXPECT_EQ(log.text, c.line);
        EXPECT_TRUE(log.allAtLevel1);
    }
}

}  // namespace
