#include "store/devinfo.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <memory>

namespace {

std::unique_ptr<TDevInfo> NewStore()
{
    auto store = std::make_unique<TDevInfo>();
    store->InitStore();
    return store;
}

} // namespace

TEST(PackTable, RowsStartUnpolledWithAddressEqualToPackNumber)
{
    const auto store = NewStore();
    for (int row = 0; row < kMaxPacks; ++row) {
        const RPackEntry entry = store->GetPackEntry(row);
        EXPECT_EQ(entry.packNumber, row + 1);
        EXPECT_EQ(entry.address, row + 1);
        EXPECT_FALSE(entry.polled);
        EXPECT_TRUE(entry.lastAnswer.isValid());
    }
    EXPECT_EQ(store->GetPackEntry(16).packNumber, 0);
    EXPECT_EQ(store->GetPackEntry(-1).packNumber, 0);
}

TEST(PackTable, SelectingOnePackOrAllDecidesMultiPackPolling)
{
    const auto store = NewStore();
    EXPECT_FALSE(store->IsMultiPackPolling());
    store->SelectAllPacks();
    EXPECT_TRUE(store->IsMultiPackPolling());
    store->SelectPack(4);
    EXPECT_FALSE(store->IsMultiPackPolling());
    for (int row = 0; row < kMaxPacks; ++row)
        EXPECT_EQ(store->GetPackEntry(row).polled, row == 3) << "row " << row;
    store->SelectPack(0);
    for (int row = 0; row < kMaxPacks; ++row)
        EXPECT_FALSE(store->GetPackEntry(row).polled);
}

TEST(PackTable, AddressesMapToPackNumbers)
{
    const auto store = NewStore();
    EXPECT_EQ(store->PackNumberOfAddress(1), 1);
    EXPECT_EQ(store->PackNumberOfAddress(16), 16);
    EXPECT_EQ(store->PackNumberOfAddress(0), 0);
    EXPECT_EQ(store->PackNumberOfAddress(255), 0);
}

TEST(PackTable, PackIsSilentOnlyAfterMoreThanNinetyRoundedSeconds)
{
    const auto store = NewStore();
    const QDateTime answered = QDateTime::currentDateTime();
    store->MarkAnswered(2, answered);
    EXPECT_EQ(store->GetPackEntry(1).lastAnswer, answered);
    EXPECT_FALSE(store->IsSilent(2, answered.addSecs(90)));
    EXPECT_FALSE(store->IsSilent(2, answered.addMSecs(90499)));
    EXPECT_TRUE(store->IsSilent(2, answered.addMSecs(90500)));
    EXPECT_TRUE(store->IsSilent(2, answered.addSecs(91)));
    // Unknown packs are never silent, and marking them changes nothing.
    EXPECT_FALSE(store->IsSilent(17, answered.addSecs(1000)));
    store->MarkAnswered(17, answered.addSecs(-500));
    for (int row = 0; row < kMaxPacks; ++row)
        EXPECT_NE(store->GetPackEntry(row).lastAnswer, answered.addSecs(-500));
}

TEST(PackTable, PackListOffersAutoOnlyForMoreThanOnePack)
{
    const auto store = NewStore();
    ComboList combo;
    store->FillPackList(combo, 1, true, 1);
    EXPECT_EQ(combo.texts(), QStringList{"01"});
    EXPECT_EQ(combo.selectedValue(), "1");

    store->FillPackList(combo, 3, true, 255);
    EXPECT_EQ(combo.texts(), (QStringList{"01", "02", "03", "Auto"}));
    EXPECT_EQ(combo.values(), (QStringList{"1", "2", "3", "255"}));
    EXPECT_EQ(combo.selectedValue(), "255");

    // A value that is not offered leaves the first item selected.
    store->FillPackList(combo, 3, false, 9);
    EXPECT_EQ(combo.texts(), (QStringList{"01", "02", "03"}));
    EXPECT_EQ(combo.selectedIndex(), 0);

    store->FillPackList(combo, 40, false, 16);
    EXPECT_EQ(combo.itemCount(), 16);
    EXPECT_EQ(combo.texts().last(), "16");
    EXPECT_EQ(combo.selectedValue(), "16");
}

TEST(PackRecords, UnknownPacksGiveBlankRecordsStampedNow)
{
    const auto store = NewStore();
    const QDateTime before = QDateTime::currentDateTime();
    for (std::uint8_t pack : {std::uint8_t(0), std::uint8_t(17)}) {
        const RAnalogData analog = store->GetAnalogData(pack);
        EXPECT_EQ(analog.packNumber, pack);
        EXPECT_EQ(analog.totalVoltage, Decimal());
        EXPECT_GE(analog.time, before);
        EXPECT_LE(analog.time, QDateTime::currentDateTime());
        EXPECT_EQ(store->GetAlarmData(pack).packNumber, pack);
        EXPECT_EQ(store->GetLocationData(pack).packNumber, pack);
        EXPECT_GE(store->GetLocationData(pack).time, before);
    }
}

TEST(PackRecords, StoringReplacesOnlyTheRecordOfThatPack)
{
    const auto store = NewStore();
    RAnalogData analog = TDevInfo::InitAnalogData(5);
    analog.totalVoltage = Decimal::fromRaw(532000);
    analog.cellVoltages[0] = 3301;
    store->StoreAnalogData(analog);
    EXPECT_EQ(store->GetAnalogData(5), analog);
    EXPECT_EQ(store->GetAnalogData(6).totalVoltage, Decimal());

    RAlarmData alarm = TDevInfo::InitAlarmData(5);
    alarm.status[0] = 0x41;
    store->StoreAlarmData(alarm);
    EXPECT_EQ(store->GetAlarmData(5), alarm);

    RLocationData location = TDevInfo::InitLocationData(16);
    location.imei = "861234567890123";
    store->StoreLocationData(location);
    EXPECT_EQ(store->GetLocationData(16), location);

    // Records for numbers outside 1..16 are never stored.
    RAnalogData stray = TDevInfo::InitAnalogData(0);
    stray.totalVoltage = Decimal::fromInt(1);
    store->StoreAnalogData(stray);
    stray.packNumber = 17;
    store->StoreAnalogData(stray);
    for (int pack = 1; pack <= kMaxPacks; ++pack)
        EXPECT_EQ(store->GetAnalogData(std::uint8_t(pack)).packNumber, pack);
    EXPECT_EQ(store->GetAnalogData(17).totalVoltage, Decimal());
}

TEST(PackRecords, ParameterSetsAreKeptPerPack)
{
    const auto store = NewStore();
    RParameter set = store->GetStoredParameters(3);
    ASSERT_EQ(set.PackNumber, 3);
    EXPECT_EQ(set, store->ParameterInfo().NewParameterSet(3));

    set.Entries[1].Value = Decimal::fromRaw(36500);
    store->StoreParameters(set);
    EXPECT_EQ(store->GetStoredParameters(3), set);
    EXPECT_NE(store->GetStoredParameters(4), set);

    RParameter stray = store->ParameterInfo().NewParameterSet(20);
    stray.Entries[1].Value = Decimal::fromInt(7);
    store->StoreParameters(stray);
    EXPECT_EQ(store->GetStoredParameters(20), store->ParameterInfo().NewParameterSet(20));
}

TEST(PackStatus, FieldsReadBackAndClearTogether)
{
    const auto store = NewStore();
    store->SetCurrentPackNumber(3);
    store->SetCurrentAddress(3);
    store->SetBarCode("BC-0003");
    store->SetSoftwareVersion(0x534);
    store->SetEchoedPackNumber(3);
    store->SetLastResult(0xAF);
    EXPECT_EQ(store->CurrentPackNumber(), 3);
    EXPECT_EQ(store->CurrentAddress(), 3);
    EXPECT_EQ(store->BarCode(), "BC-0003");
    EXPECT_EQ(store->SoftwareVersion(), 0x534);
    EXPECT_EQ(store->EchoedPackNumber(), 3);
    EXPECT_EQ(store->LastResult(), 0xAF);
    store->ClearStatus();
    EXPECT_EQ(store->CurrentPackNumber(), 0);
    EXPECT_EQ(store->BarCode(), "");
    EXPECT_EQ(store->SoftwareVersion(), 0);
    EXPECT_EQ(store->LastResult(), 0);
}
