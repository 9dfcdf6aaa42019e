// The rate files: entry lines, ignored lines, tenths, long lines, and the read order.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "data/load.h"
#include "data/ratefile.h"
#include "test_support.h"

namespace {

typedef std::vector<std::pair<uint32_t, double>> Rates;

// A rate table as (year code, rate) pairs.
Rates Entries(const RateRecord *table, uint32_t count)
{
    Rates entries;
    for (uint32_t i = 0; i < count; i++)
        entries.push_back({table[i].yearCode, table[i].rate});
    return entries;
}

TEST(RateFiles, EntriesAndIgnoredLines)
{
    std::string dir = MakeDataDir();
    WriteFile(dir, "MONEYMKT",
              "; yearly money-market rates\n"
              "99=5.2\n"
              "05=4.5\n"
              "rates below\n"
              "99=5.25\n"     // the part after the point is whole tenths: 5 + 25 / 10
              "1x=3.0\n"      // begins with a digit but does not match
              "88= 6.1\n"
              "87=-1.5\n"     // no sign is part of the format
              "86=4\n");
    WriteFile(dir, "RISKFREE", "70=6.4\r\n71=4.3\r\n");
    ReadRateFiles();
    EXPECT_EQ(Entries(MoneyMarketRates, MoneyMarketCount),
              (Rates{{39, 5.2}, {45, 4.5}, {39, 7.5}, {28, 6.1}}));
    EXPECT_EQ(Entries(RiskFreeRates, RiskFreeCount), (Rates{{10, 6.4}, {11, 4.3}}));
    // The first entry of a year wins; absent years count at 3 percent.
    EXPECT_EQ(RateOfYear(MoneyMarketRates, MoneyMarketCount, 39), 5.2);
    EXPECT_EQ(RateOfYear(MoneyMarketRates, MoneyMarketCount, 50), 3.0);
    EXPECT_TRUE(Messages.empty());
}

TEST(RateFiles, RiskFreeIsReadOnlyAfterAMoneyMarketTable)
{
    // No MONEYMKT, or one without a single digit line: no table, and RISKFREE is not read.
    // One whose digit lines all fail to match still opens the way to RISKFREE.
    std::string dir = MakeDataDir();
    WriteFile(dir, "RISKFREE", "99=5.0\n");
    for (const char *money : {"", "no rates here\n", "9x\n"}) {
        if (*money)
            WriteFile(dir, "MONEYMKT", money);
        ReadRateFiles();
        EXPECT_EQ(MoneyMarketCount, 0u) << money;
        EXPECT_EQ(RiskFreeCount, money[0] == '9' ? 1u : 0u) << money;
        EXPECT_EQ(RiskFreeRates != nullptr, money[0] == '9') << money;
    }
    EXPECT_TRUE(Messages.empty());
}

TEST(RateFiles, ALongLineIsOneLine)
{
    // The tail of an overlong comment line would otherwise read as an entry of its own; a
    // zero byte inside a line ends neither the line nor swallows the next one.
    std::string dir = MakeDataDir();
    const struct {
        std::string text;
        Rates entries;
    } cases[] = {
        {"x" + std::string(520, ' ') + "12=3.4 tail\n70=1.0" + std::string(600, ' ') + "\n71=2.0",
         {{10, 1.0}, {11, 2.0}}},
        {std::string("98=4.1\n9\0junk\n99=5.2\n", 21), {{38, 4.1}, {39, 5.2}}},
    };
    for (const auto &c : cases) {
        WriteFile(dir, "MONEYMKT", c.text);
        ReadRateFiles();
        EXPECT_EQ(Entries(MoneyMarketRates, MoneyMarketCount), c.entries);
    }
}

}  // namespace
