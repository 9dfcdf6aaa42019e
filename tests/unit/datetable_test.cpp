// The date table: order, look-up and its hint, insertion, overflow, shrink, periods.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "data/alloc.h"
#include "data/datetable.h"
#include "fund_builder.h"
#include "test_support.h"

namespace {

// Printing, the fields and the years 1960 to 2059 in the order of their codes, are in
// every date of the report tool's JSON and in its integration test's file of years across
// the century; that dates order by year, month, then day, is the look-up test's below.
TEST(PackedDates, PeriodSlotsOfTheMonth)
{
    // year code 39 (1999), March: 39 * 60 + 2 * 5 = 2350; one slot each from the 8th,
    // 15th, 22nd and 29th.
    const unsigned slots[][2] = {{1, 0}, {7, 0}, {8, 1}, {21, 2}, {28, 3}, {29, 4}, {31, 4}};
    for (const auto &s : slots)
        EXPECT_EQ(PackedDatePeriod(Date(3, s[0], 99)), 2350 + (int)s[1]) << s[0];
    EXPECT_EQ(PackedDatePeriod(Date(12, 31, 59)), 99 * 60 + 55 + 4);
    // Of a table index; an index that is not in the table has period 0.
    BeginDateTable();
    AddDate(Date(1, 29, 99), "f", 1);
    EXPECT_EQ(DatePeriodOf(0), 39 * 60 + 4);
    EXPECT_EQ(YearCodeOf(0), 39u);
    EXPECT_EQ(DatePeriodOf(DATE_INDEX_NONE), 0);
    EXPECT_EQ(DatePeriodOf(DATE_NOT_FOUND), 0);
}

TEST(DateTableOrder, RandomInsertionsMatchASortedSet)
{
    std::mt19937 random(7);
    std::vector<PackedDate> reference;
    BeginDateTable();
    for (int i = 0; i < 3000; i++) {
        PackedDate d = MakePackedDate(random() % 100, 1 + random() % 12, 1 + random() % 31);
        AddDate(d, "f", 1);
        if (std::find(reference.begin(), reference.end(), d) == reference.end())
            reference.push_back(d);
    }
    std::sort(reference.begin(), reference.end(),
              [](PackedDate a, PackedDate b) { return ComparePackedDates(a, b) < 0; });
    ASSERT_EQ(DateCount, reference.size());
    EXPECT_EQ(DateFree, DATE_TABLE_ROOM - DateCount);  // a date already there costs nothing
    for (uint32_t i = 0; i < DateCount; i++)
        ASSERT_EQ(DateTable[i], reference[i]) << i;
    for (uint32_t i = 0; i < DateCount; i++)
        ASSERT_EQ(FindDate(reference[i]), i);
    CheckDateOrder();
    EXPECT_TRUE(Messages.empty());
    std::swap(DateTable[1], DateTable[2]);
    CheckDateOrder();
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Error: Date array not sorted!"});
}

TEST(DateTableLookup, MissesSetTheHintNextToTheGap)
{
    BeginDateTable();
    EXPECT_EQ(FindDate(Date(1, 1, 99)), DATE_NOT_FOUND);
    EXPECT_EQ(DateHint, 0u);
    for (unsigned day = 1; day <= 9; day += 2)  // 1, 3, 5, 7, 9 January 1999
        AddDate(Date(1, day, 99), "f", 1);
    EXPECT_EQ(FindDate(Date(1, 1, 99)), 0u);
    EXPECT_EQ(FindDate(Date(1, 9, 99)), 4u);
    EXPECT_EQ(FindDate(Date(1, 5, 99)), 2u);
    // The year decides before the month, the month before the day.
    EXPECT_EQ(FindDate(Date(12, 1, 98)), DATE_NOT_FOUND);
    EXPECT_EQ(DateHint, 0u);
    EXPECT_EQ(FindDate(Date(2, 1, 99)), DATE_NOT_FOUND);
    EXPECT_EQ(DateHint, 4u);
    // Between 5 and 7 January: the hint is one of the two neighbours.
    EXPECT_EQ(FindDate(Date(1, 6, 99)), DATE_NOT_FOUND);
    EXPECT_TRUE(DateHint == 2u || DateHint == 3u) << DateHint;
    AddDate(Date(1, 6, 99), "f", 1);
    EXPECT_EQ(FindDate(Date(1, 6, 99)), 3u);
    EXPECT_EQ(FindDate(Date(1, 7, 99)), 4u);
}

// A full table and the dates that no longer fit are the load test's.
TEST(DateTableFinish, ShrinksToItsEntriesAndSetsTheLastYear)
{
    uint32_t before = DynamicMemoryUsed;
    BeginDateTable();
    EXPECT_EQ(DynamicMemoryUsed, before + 65536);
    AddDate(Date(6, 1, 3), "f", 1);
    AddDate(Date(6, 1, 97), "f", 1);
    FinishDateTable();
    EXPECT_EQ(DynamicMemoryUsed, before + 2 * sizeof(PackedDate));
    EXPECT_EQ(LastYearCode, 43u);
    EXPECT_EQ(FindDate(Date(6, 1, 97)), 0u);
    FreeDateTable();
    EXPECT_EQ(DynamicMemoryUsed, before);

    BeginDateTable();
    FinishDateTable();
    EXPECT_EQ(DateCount, 0u);
    EXPECT_EQ(LastYearCode, 0u);
    EXPECT_EQ(DynamicMemoryUsed, before);
}

}  // namespace
