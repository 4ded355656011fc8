#include "store/devinfo.h"

#include <gtest/gtest.h>

#include <memory>

TEST(PackTexts, AlarmTextJoinsSetBitsInColumnOrder)
{
    auto store = std::make_unique<TDevInfo>();
    const TTextOper& texts = store->TextOper();
    RAlarmData record = TDevInfo::InitAlarmData(1);
    EXPECT_EQ(store->AlarmText(record), "");
    EXPECT_EQ(store->ProtectionText(record), "");

    // Bit 6 (difference alarm) comes last although bit 3 is lower.
    record.status[0] = 0x48;
    EXPECT_EQ(store->AlarmText(record), texts.GetLanguageText(0x5011) + " / " + texts.GetLanguageText(0x50E6));
    EXPECT_FALSE(texts.GetLanguageText(0x5011).isEmpty());

    // Byte 1 bit 7 is a protection; byte 14 bit 6 comes before it.
    record.status[0] = 0x80;
    record.status[13] = 0x40;
    record.status[4] = 0x01;
    EXPECT_EQ(store->ProtectionText(record), texts.GetLanguageText(0x5035) + " / " + texts.GetLanguageText(0x5042)
                                                 + " / " + texts.GetLanguageText(0x50E7));
    EXPECT_EQ(store->AlarmText(record), "");
}

TEST(PackTexts, SensorListEndsWithAmbientAndFet)
{
    auto store = std::make_unique<TDevInfo>();
    ComboList combo;
    store->FillSensorList(combo, 4);
    ASSERT_EQ(combo.itemCount(), 6);
    EXPECT_EQ(combo.texts().mid(0, 4), (QStringList{"01", "02", "03", "04"}));
    EXPECT_EQ(combo.texts().at(4), store->TextOper().GetLanguageText(0x600A));
    EXPECT_EQ(combo.texts().at(5), "FET");
    EXPECT_EQ(combo.values(), (QStringList{"1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(combo.selectedValue(), "1");

    // More cell sensors than the record holds would collide with 5 and 6.
    store->FillSensorList(combo, 9);
    EXPECT_EQ(combo.values(), (QStringList{"1", "2", "3", "4", "5", "6"}));
}

TEST(PackTexts, MarksAndExtremesMatchThePackRecord)
{
    EXPECT_EQ(TDevInfo::StatusMark(0), "");
    EXPECT_EQ(TDevInfo::StatusMark(2), "H");
    EXPECT_EQ(TDevInfo::StatusMark(240), "-");

    std::array<std::uint16_t, kMaxCells> cells{};
    cells[2] = 3312;
    cells[5] = 3290;
    cells[9] = 3312;
    EXPECT_EQ(TDevInfo::MaxCellVoltage(cells).millivolts, 3312);
    EXPECT_EQ(TDevInfo::MaxCellVoltage(cells).position, 3);
    EXPECT_EQ(TDevInfo::MinCellVoltage(cells).millivolts, 3290);
    EXPECT_EQ(TDevInfo::MinCellVoltage(cells).position, 6);
    EXPECT_EQ(TDevInfo::GetModeText(2), "DisCharge");
}
