// The item interfaces and the values they exchange: each item interface is
// an IOutlookItem, and the recurrence record keeps its fields' widths.
#include <gtest/gtest.h>

#include <type_traits>

#include "IOutlookContact.h"
#include "IOutlookMeeting.h"
#include "IOutlookTask.h"

namespace {

static_assert(std::is_base_of_v<IOutlookItem, IOutlookMeeting> && std::is_abstract_v<IOutlookMeeting>);
static_assert(std::is_base_of_v<IOutlookItem, IOutlookContact> && std::is_abstract_v<IOutlookContact>);
static_assert(std::is_base_of_v<IOutlookItem, IOutlookTask> && std::is_abstract_v<IOutlookTask>);

static_assert(sizeof(DRecurrencePattern::type) == 4 && sizeof(DRecurrencePattern::occurrences) == 4);
static_assert(sizeof(DRecurrencePattern::interval) == 2 && sizeof(DRecurrencePattern::dayOfWeekMask) == 2 &&
              sizeof(DRecurrencePattern::dayOfMonth) == 2 && sizeof(DRecurrencePattern::monthOfYear) == 2 &&
              sizeof(DRecurrencePattern::weekOfMonth) == 2);
static_assert(std::is_base_of_v<DRecurrencePattern, DTaskRecurrencePattern>);

TEST(ItemValues, StartUnsetWithAnIntervalOfOne) {
    const DTaskRecurrencePattern pattern;
    EXPECT_EQ(pattern.type, kRepeatDaily);
    EXPECT_EQ(pattern.interval, 1);
    EXPECT_FALSE(pattern.noEnd);
    EXPECT_EQ(pattern.until.tm_year, 0);
    EXPECT_EQ(pattern.occurrences, 0u);
    EXPECT_EQ(pattern.start.tm_year, 0);
    const DExceptionInfo info;
    EXPECT_FALSE(info.deleted);
    EXPECT_EQ(info.originalStart.tm_mday, 0);
}

}  // namespace
