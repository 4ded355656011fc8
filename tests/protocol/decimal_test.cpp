#include "protocol/decimal.h"

#include <gtest/gtest.h>

TEST(Decimal, MasksRoundHalfAwayFromZero)
{
    EXPECT_EQ(Decimal::fromRaw(34560).format(u"0.00"), "3.46");
    EXPECT_EQ(Decimal::fromRaw(34550).format(u"0.00"), "3.46");
    EXPECT_EQ(Decimal::fromRaw(-34550).format(u"0.00"), "-3.46");
    EXPECT_EQ(Decimal::fromRaw(25000).format(u"0"), "3");
    EXPECT_EQ(Decimal::fromRaw(-25000).format(u"0"), "-3");
    EXPECT_EQ(Decimal::fromInt(13).format(u"0.000"), "13.000");
    EXPECT_EQ(Decimal::fromRaw(1).format(u"0.0"), "0.0");
    EXPECT_EQ(Decimal::fromRaw(-1).format(u"0.0"), "0.0");
}

TEST(Decimal, MasksCopyLiteralCharacters)
{
    EXPECT_EQ(Decimal::fromInt(5).format(u"00"), "05");
    EXPECT_EQ(Decimal::fromInt(5).format(u"V00"), "V05");
    EXPECT_EQ(Decimal::fromInt(12).format(u">00"), ">12");
    EXPECT_EQ(Decimal::fromInt(3).format(u"00->"), "03->");
    EXPECT_EQ(Decimal::fromInt(123).format(u"00"), "123");
}

TEST(Decimal, ParsesExactly)
{
    EXPECT_EQ(Decimal::parse(u"3.3")->raw(), 33000);
    EXPECT_EQ(Decimal::parse(u"-0.0001")->raw(), -1);
    EXPECT_EQ(Decimal::parse(u" 12 ")->raw(), 120000);
    EXPECT_EQ(Decimal::parse(u"0.00005")->raw(), 1);
    EXPECT_FALSE(Decimal::parse(u""));
    EXPECT_FALSE(Decimal::parse(u"1.2.3"));
    EXPECT_FALSE(Decimal::parse(u"abc"));
    EXPECT_FALSE(Decimal::parse(u"-"));
    EXPECT_FALSE(Decimal::parse(u"99999999999999999999"));
}

TEST(Decimal, RoundingRules)
{
    EXPECT_EQ(Decimal::fromRaw(25000).roundedHalfEven(), 2);
    EXPECT_EQ(Decimal::fromRaw(35000).roundedHalfEven(), 4);
    EXPECT_EQ(Decimal::fromRaw(-25000).roundedHalfEven(), -2);
    EXPECT_EQ(Decimal::fromRaw(25000).roundedHalfAway(), 3);
    EXPECT_EQ(Decimal::fromRaw(-25000).roundedHalfAway(), -3);
    EXPECT_EQ(Decimal::fromRaw(25000).scaledToInt(10, 1, Decimal::Rounding::HalfToEven), 25);
    EXPECT_EQ(Decimal::fromInt(5).scaledToInt(1, 2, Decimal::Rounding::HalfToEven), 2);
    EXPECT_EQ(Decimal::fromInt(7).scaledToInt(1, 2, Decimal::Rounding::HalfToEven), 4);
    EXPECT_EQ(Decimal::fromRatio(-200 * 10, 1000).toString(), "-2");
    EXPECT_EQ(Decimal::fromRatio(1, 3).raw(), 3333);
    EXPECT_EQ(Decimal::fromRaw(-25000).toString(), "-2.5");
}

#include "protocol/records.h"

TEST(CellExtremes, TiesKeepTheFirstPositionAndZeroCellsAreIgnoredForTheLowest)
{
    RAnalogData record;
    EXPECT_EQ(MaxCellVoltage(record).millivolts, 0);
    EXPECT_EQ(MaxCellVoltage(record).position, 1);
    EXPECT_EQ(MinCellVoltage(record).millivolts, 0);
    EXPECT_EQ(MinCellVoltage(record).position, 1);

    record.cellVoltages = {0, 3305, 3200, 3250, 3305, 3300, 3300, 3300, 3305};
    EXPECT_EQ(MaxCellVoltage(record).millivolts, 3305);
    EXPECT_EQ(MaxCellVoltage(record).position, 2);
    EXPECT_EQ(MinCellVoltage(record).millivolts, 3200);
    EXPECT_EQ(MinCellVoltage(record).position, 3);
}
