// The rate files: entry lines, ignored lines, tenths, long lines, and the read order.
#include <gtest/gtest.h>

#include <string>

#include "data/load.h"
#include "data/ratefile.h"
#include "test_support.h"

namespace {

TEST(RateFiles, EntriesAndIgnoredLines)
{
    std::string dir = MakeTempDir();
    ASSERT_TRUE(SetDataDir(dir.c_str()));
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
    ASSERT_EQ(MoneyMarketCount, 4u);
    EXPECT_EQ(MoneyMarketRates[0].yearCode, 39u);
    EXPECT_EQ(MoneyMarketRates[0].rate, 5.2);
    EXPECT_EQ(MoneyMarketRates[1].yearCode, 45u);
    EXPECT_EQ(MoneyMarketRates[1].rate, 4.5);
    EXPECT_EQ(MoneyMarketRates[2].rate, 7.5);
    EXPECT_EQ(MoneyMarketRates[3].yearCode, 28u);
    EXPECT_EQ(MoneyMarketRates[3].rate, 6.1);
    ASSERT_EQ(RiskFreeCount, 2u);
    EXPECT_EQ(RiskFreeRates[1].yearCode, 11u);
    EXPECT_EQ(RiskFreeRates[1].rate, 4.3);
    // The first entry of a year wins; absent years count at 3 percent.
    EXPECT_EQ(RateOfYear(MoneyMarketRates, MoneyMarketCount, 39), 5.2);
    EXPECT_EQ(RateOfYear(MoneyMarketRates, MoneyMarketCount, 50), 3.0);
    EXPECT_TRUE(Messages.empty());
}

TEST(RateFiles, RiskFreeIsReadOnlyAfterAMoneyMarketTable)
{
    std::string dir = MakeTempDir();
    ASSERT_TRUE(SetDataDir(dir.c_str()));
    WriteFile(dir, "RISKFREE", "99=5.0\n");
    ReadRateFiles();
    EXPECT_EQ(MoneyMarketCount, 0u);
    EXPECT_EQ(RiskFreeCount, 0u);
    EXPECT_EQ(RiskFreeRates, nullptr);

    // A MONEYMKT without a single digit line gives no table either.
    WriteFile(dir, "MONEYMKT", "no rates here\n");
    ReadRateFiles();
    EXPECT_EQ(RiskFreeCount, 0u);

    // One whose digit lines all fail to match still opens the way to RISKFREE.
    WriteFile(dir, "MONEYMKT", "9x\n");
    ReadRateFiles();
    EXPECT_EQ(MoneyMarketCount, 0u);
    EXPECT_EQ(RiskFreeCount, 1u);
    EXPECT_TRUE(Messages.empty());
}

TEST(RateFiles, ALongLineIsOneLine)
{
    std::string dir = MakeTempDir();
    ASSERT_TRUE(SetDataDir(dir.c_str()));
    // The tail of an overlong comment line would otherwise read as an entry of its own.
    std::string comment = "x" + std::string(520, ' ') + "12=3.4 tail\n";
    std::string entry = "70=1.0" + std::string(600, ' ') + "\n";
    WriteFile(dir, "MONEYMKT", comment + entry + "71=2.0");
    ReadRateFiles();
    ASSERT_EQ(MoneyMarketCount, 2u);
    EXPECT_EQ(MoneyMarketRates[0].yearCode, 10u);
    EXPECT_EQ(MoneyMarketRates[1].rate, 2.0);

    // A zero byte inside a line ends neither the line nor swallows the next one.
    WriteFile(dir, "MONEYMKT", std::string("98=4.1\n9\0junk\n99=5.2\n", 21));
    ReadRateFiles();
    ASSERT_EQ(MoneyMarketCount, 2u);
    EXPECT_EQ(MoneyMarketRates[1].rate, 5.2);
}

}  // namespace
