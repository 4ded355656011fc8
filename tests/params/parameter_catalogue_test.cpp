#include "params/parameter_info.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

RParameter FreshSet(std::uint8_t pack = 1)
{
    TParameterInfo info;
    return info.NewParameterSet(pack);
}

} // namespace

TEST(ParameterCatalogue, HoldsExactly133EntriesEachAtThePositionOfItsId)
{
    TParameterInfo info;
    int used = 0;
    int listed = 0;
    int switches = 0;
    for (int position = 0; position < kParameterPositions; ++position) {
        const RParameterKind& entry = info.CatalogueEntry(position);
        if (entry.Used == 0) {
            EXPECT_EQ(entry, RParameterKind{}) << "undefined position " << position << " must stay empty";
            continue;
        }
        ++used;
        EXPECT_EQ(entry.Id, position);
        listed += entry.ListGroup > 0 ? 1 : 0;
        switches += entry.Kind == TParameterInfo::KindSwitch ? 1 : 0;
    }
    EXPECT_EQ(used, kCatalogueEntries);
    EXPECT_EQ(listed, 86);
    EXPECT_EQ(switches, 42);
    EXPECT_EQ(info.CatalogueEntry(255), RParameterKind{});
    EXPECT_EQ(info.CatalogueEntry(-1), RParameterKind{});
}

TEST(ParameterCatalogue, NamesKeepTheirSpacesExactly)
{
    TParameterInfo info;
    EXPECT_EQ(info.CatalogueEntry(32).Names[1], QStringLiteral("Cell low voltage alarm "));
    EXPECT_EQ(info.CatalogueEntry(57).Names[1], QStringLiteral("Charging current alarm "));
    EXPECT_EQ(info.CatalogueEntry(145).Names[1], QStringLiteral("Short circuit effective lock time "));
    EXPECT_EQ(info.CatalogueEntry(181).Names[1], QStringLiteral("Enable  Radiating"));
    EXPECT_EQ(info.CatalogueEntry(184).Names[1], QStringLiteral(" Enable Led"));
    EXPECT_EQ(info.CatalogueEntry(1).Names[0], QString::fromUtf8("RS485地址"));
    EXPECT_EQ(info.CatalogueEntry(244).Names[0], QString::fromUtf8("放电过流-2"));
    EXPECT_TRUE(info.CatalogueEntry(0).Names[0].isEmpty());
    EXPECT_TRUE(info.CatalogueEntry(0).Names[1].isEmpty());
}

TEST(ParameterCatalogue, EntriesHaveTheShapeOfTheirKind)
{
    TParameterInfo info;
    const RParameterKind& resistance = info.CatalogueEntry(13);
    EXPECT_EQ(resistance.Kind, TParameterInfo::KindDecimal);
    EXPECT_EQ(resistance.Decimals, 2);
    EXPECT_EQ(resistance.UnitCode, 10);
    EXPECT_EQ(info.CatalogueEntry(15).Decimals, 1);
    EXPECT_EQ(info.CatalogueEntry(71).UnitCode, 15);
    EXPECT_EQ(info.CatalogueEntry(35).ListGroup, 3);
    EXPECT_EQ(info.CatalogueEntry(20).ListGroup, 0);
    for (int position = 0; position < kParameterPositions; ++position) {
        const RParameterKind& entry = info.CatalogueEntry(position);
        if (entry.Kind == TParameterInfo::KindDecimal) {
            EXPECT_EQ(entry.ListGroup, 1) << position;
        }
        if (entry.Kind == TParameterInfo::KindSwitch) {
            EXPECT_EQ(entry.UnitCode, 0) << position;
            EXPECT_EQ(entry.ListGroup, 0) << position;
        }
        if (entry.Kind == TParameterInfo::KindInteger) {
            EXPECT_EQ(entry.Decimals, 0) << position;
        }
    }
}

TEST(ParameterCatalogue, OnlyTheAddressAndTheNodeNumberCarryARange)
{
    TParameterInfo info;
    for (int position = 0; position < kParameterPositions; ++position) {
        const RParameterKind& entry = info.CatalogueEntry(position);
        if (position == 1 || position == 11)
            continue;
        EXPECT_EQ(entry.ShowRange, 0) << position;
        EXPECT_EQ(entry.MinValue, Decimal()) << position;
        EXPECT_EQ(entry.MaxValue, Decimal()) << position;
    }
    EXPECT_EQ(info.CatalogueEntry(1).ShowRange, 1);
    EXPECT_EQ(info.CatalogueEntry(1).MinValue, Decimal::fromInt(0));
    EXPECT_EQ(info.CatalogueEntry(1).MaxValue, Decimal::fromInt(16));
    EXPECT_EQ(info.CatalogueEntry(11).ShowRange, 1);
    EXPECT_EQ(info.CatalogueEntry(11).MinValue, Decimal::fromInt(1));
    EXPECT_EQ(info.CatalogueEntry(11).MaxValue, Decimal::fromInt(16));
}

TEST(ParameterCatalogue, NewSetCarriesThePackNumberAndZeroValues)
{
    TParameterInfo info;
    const RParameter set = info.NewParameterSet(5);
    EXPECT_EQ(set.PackNumber, 5);
    EXPECT_EQ(set.Entries.size(), 255u);
    EXPECT_EQ(std::count_if(set.Entries.begin(), set.Entries.end(), [](const RParameterKind& e) { return e.Used == 1; }),
              kCatalogueEntries);
    for (const RParameterKind& entry : set.Entries)
        EXPECT_EQ(entry.Value, Decimal());
}

TEST(ParameterCatalogue, AnIdNoEntryCarriesReadsAsEmpty)
{
    RParameter set = FreshSet();
    // The setter addresses position 31 although no entry carries id 31; the
    // getters look up by id and so do not see it.
    TParameterInfo::SetParameterInt(31, 7, set);
    EXPECT_EQ(set.Entries[31].Value, Decimal::fromInt(7));
    EXPECT_EQ(TParameterInfo::FindParameter(31, set), RParameterKind{});
    EXPECT_EQ(TParameterInfo::GetParameterInt(31, set), 0);
    EXPECT_EQ(TParameterInfo::GetParameterValue(31, set), Decimal());
    EXPECT_FALSE(TParameterInfo::GetParameterFlag(31, set));
    EXPECT_TRUE(TParameterInfo::GetParameterName(31, 1, set).isEmpty());
    EXPECT_EQ(TParameterInfo::GetParameterName(11, 1, set), QStringLiteral("Battery node number"));
    EXPECT_TRUE(TParameterInfo::GetParameterName(11, 2, set).isEmpty());
}

TEST(ParameterCatalogue, SettersAndGettersAgreeOnCatalogueEntries)
{
    RParameter set = FreshSet();
    TParameterInfo::SetParameterValue(15, set, Decimal::fromRatio(5, 2));
    TParameterInfo::SetParameterFlag(185, true, set);
    TParameterInfo::SetParameterInt(300, 9, set);  // no such position: nothing happens
    EXPECT_EQ(TParameterInfo::GetParameterValue(15, set), Decimal::fromRatio(5, 2));
    EXPECT_EQ(TParameterInfo::GetParameterInt(15, set), 3);  // the "0" mask rounds half away from zero
    EXPECT_TRUE(TParameterInfo::GetParameterFlag(185, set));
    TParameterInfo::SetParameterValue(186, set, Decimal::fromInt(-1));
    EXPECT_FALSE(TParameterInfo::GetParameterFlag(186, set));
    EXPECT_EQ(set, [] {
        RParameter expected = FreshSet();
        expected.Entries[15].Value = Decimal::fromRatio(5, 2);
        expected.Entries[185].Value = Decimal::fromInt(1);
        expected.Entries[186].Value = Decimal::fromInt(-1);
        return expected;
    }());
}

TEST(ParameterCatalogue, ValuesAreFormattedByKindAndDecimals)
{
    const Decimal value = *Decimal::parse(u"3.456");
    EXPECT_EQ(TParameterInfo::FormatParameterValue(1, 2, value), QStringLiteral("3.46"));
    EXPECT_EQ(TParameterInfo::FormatParameterValue(1, 0, value), QStringLiteral("3"));
    EXPECT_EQ(TParameterInfo::FormatParameterValue(1, 3, value), QStringLiteral("3.456"));
    EXPECT_EQ(TParameterInfo::FormatParameterValue(1, 4, value), QString());
    EXPECT_EQ(TParameterInfo::FormatParameterValue(0, 2, *Decimal::parse(u"-2.5")), QStringLiteral("-3"));
    EXPECT_EQ(TParameterInfo::FormatParameterValue(3, 0, Decimal::fromInt(1)), QString());
}

TEST(ParameterCatalogue, RangeCheckCoversTheRangedEntries)
{
    RParameter set = FreshSet();
    RParameterKind address = TParameterInfo::FindParameter(1, set);
    address.Value = Decimal::fromInt(17);
    EXPECT_FALSE(TParameterInfo::CheckParameterRange(address));
    address.Value = Decimal::fromInt(16);
    EXPECT_TRUE(TParameterInfo::CheckParameterRange(address));
    EXPECT_FALSE(TParameterInfo::CheckParameterRange(TParameterInfo::FindParameter(11, set)));
    EXPECT_TRUE(TParameterInfo::CheckParameterRange(RParameterKind{}));

    // A fresh set fails at the node number (0, minimum 1); once it is set,
    // an address of 17 is the first failure.
    ASSERT_TRUE(TParameterInfo::FirstOutOfRange(set).has_value());
    EXPECT_EQ(TParameterInfo::FirstOutOfRange(set)->Id, 11);
    TParameterInfo::SetParameterInt(11, 16, set);
    EXPECT_FALSE(TParameterInfo::FirstOutOfRange(set).has_value());
    TParameterInfo::SetParameterInt(1, 17, set);
    EXPECT_EQ(TParameterInfo::FirstOutOfRange(set)->Id, 1);
}

TEST(ParameterCatalogue, ChoiceListsKeepTheirOrderAndGaps)
{
    const auto balance = TParameterInfo::ParameterChoices(20);
    ASSERT_EQ(balance.size(), 4u);
    EXPECT_EQ(balance[0].textId, 0x0110);
    EXPECT_EQ(balance[3].textId, 0x0113);

    const auto shortCircuit = TParameterInfo::ParameterChoices(140);
    ASSERT_EQ(shortCircuit.size(), 10u);
    EXPECT_STREQ(shortCircuit[0].text, "100");
    EXPECT_STREQ(shortCircuit[8].text, "900");
    EXPECT_EQ(shortCircuit[9].value, 9);
    EXPECT_EQ(shortCircuit[9].textId, 0x7117);

    const auto rs485 = TParameterInfo::ParameterChoices(148);
    ASSERT_EQ(rs485.size(), 15u);
    EXPECT_EQ(rs485[10].value, 11);
    EXPECT_STREQ(rs485[10].text, "SOLAR");
    EXPECT_EQ(rs485.back().value, 27);
    EXPECT_STREQ(rs485.back().text, "QNModbus");

    const auto can = TParameterInfo::ParameterChoices(149);
    ASSERT_EQ(can.size(), 21u);
    EXPECT_EQ(can[15].value, 18);
    EXPECT_STREQ(can[15].text, "Deye");
    EXPECT_STREQ(can.back().text, "GrowattWit");

    EXPECT_TRUE(TParameterInfo::ParameterChoices(21).empty());
}
