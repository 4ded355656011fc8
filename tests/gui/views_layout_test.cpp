// The arithmetic of the overview grids and the alarm panel, without widgets.

#include "views/alarm_panel_table.h"
#include "views/framepackhead.h"
#include "views/overview_layout.h"

#include <gtest/gtest.h>

#include <set>

namespace {

RAnalogData CellsOf(std::initializer_list<std::uint16_t> millivolts)
{
    RAnalogData record;
    std::size_t i = 0;
    for (const std::uint16_t value : millivolts)
        record.cellVoltages[i++] = value;
    return record;
}

RAnalogData TemperaturesOf(Decimal ambient, Decimal fet, Decimal t1, Decimal t2, Decimal t3, Decimal t4)
{
    RAnalogData record;
    record.ambientTemperature = ambient;
    record.fetTemperature = fet;
    record.cellTemperatures = {t1, t2, t3, t4};
    return record;
}

} // namespace

TEST(OverviewLayout, ColoursAreReadAsBlueGreenRed)
{
    EXPECT_EQ(ColorFromBgr(0x0000FF), QColor(255, 0, 0));
    EXPECT_EQ(ColorFromBgr(0x008000), QColor(0, 128, 0));
    EXPECT_EQ(ColorFromBgr(0x808000), QColor(0, 128, 128));
    EXPECT_EQ(ColorFromBgr(0xFFEBDF), QColor(0xDF, 0xEB, 0xFF));
    EXPECT_EQ(ColorFromBgr(0xE1FFF9), QColor(0xF9, 0xFF, 0xE1));
}

TEST(OverviewLayout, EvenRowsIncludingTheFirstAreYellowGreenOddRowsBlue)
{
    EXPECT_EQ(RowBackgroundBgr(0), kBgrEvenRow);
    EXPECT_EQ(RowBackgroundBgr(1), kBgrOddRow);
    EXPECT_EQ(RowBackgroundBgr(8), kBgrEvenRow);
}

TEST(OverviewLayout, TextIsCentredOrRightAlignedWithTruncatedHalfOffsets)
{
    const QRect cell(100, 40, 61, 20);
    // Free width 61 - 20 = 41: half is 20 whole pixels; free height 7: 3.
    EXPECT_EQ(CellTextOrigin(cell, QSize(20, 13), CellAlign::Centre), QPoint(120, 43));
    // Right aligned: left edge + free width - 5.
    EXPECT_EQ(CellTextOrigin(cell, QSize(20, 13), CellAlign::RightWithMargin), QPoint(136, 43));
    // A text wider than its cell starts left of the cell rather than wrapping.
    EXPECT_EQ(CellTextOrigin(QRect(0, 0, 30, 20), QSize(40, 20), CellAlign::Centre), QPoint(-5, 0));
}

TEST(OverviewLayout, EveryHighestCellIsRedAndTheFirstGivesThePosition)
{
    RAnalogData record = CellsOf({3300, 3305, 3290, 3301, 3305, 3299, 3298, 3297, 3305});
    const CellExtreme highest = MaxCellVoltage(record);
    const CellExtreme lowest = MinCellVoltage(record);
    EXPECT_EQ(highest.millivolts, 3305);
    EXPECT_EQ(highest.position, 2);
    for (const int cell : {2, 5, 9})
        EXPECT_EQ(MarkExtreme(record.cellVoltages[std::size_t(cell - 1)], highest.millivolts, lowest.millivolts),
                  ExtremeMark::Highest)
            << "cell " << cell;
    EXPECT_EQ(Decimal::fromInt(highest.position).format(u"V00"), "V02");
}

TEST(OverviewLayout, LowestCellSkipsCellsWithoutAReading)
{
    const RAnalogData record = CellsOf({0, 3300, 3200, 3250});
    const CellExtreme lowest = MinCellVoltage(record);
    EXPECT_EQ(lowest.millivolts, 3200);
    EXPECT_EQ(lowest.position, 3);
}

TEST(OverviewLayout, LowestWinsWhenAValueIsBothExtremes)
{
    EXPECT_EQ(MarkExtreme(25, 25, 25), ExtremeMark::Lowest);
    EXPECT_EQ(ExtremeMarkBgr(MarkExtreme(25, 25, 25)), kBgrGreen);
    EXPECT_EQ(ExtremeMarkBgr(MarkExtreme(30, 30, 20)), kBgrRed);
    EXPECT_EQ(ExtremeMarkBgr(MarkExtreme(24, 30, 20)), kBgrBlack);
}

TEST(OverviewLayout, CaptionOfAPackWithoutReadingsEndsInZeroSpread)
{
    const RAnalogData record;
    EXPECT_EQ(CellVoltageCaption("Cell Voltage (mV)", MaxCellVoltage(record), MinCellVoltage(record)),
              "Cell Voltage (mV)   0");
    const RAnalogData read = CellsOf({3300, 3281, 3312});
    EXPECT_EQ(CellVoltageCaption("V", MaxCellVoltage(read), MinCellVoltage(read)), "V   31");
}

TEST(OverviewLayout, TemperatureExtremesUseTheShownWholeDegrees)
{
    const RAnalogData record = TemperaturesOf(Decimal::fromRaw(254000), Decimal::fromRaw(305000),
                                              Decimal::fromRaw(246000), Decimal::fromInt(25),
                                              Decimal::fromRaw(-35000), Decimal::fromInt(26));
    const TemperatureExtremes extremes = FindTemperatureExtremes(record);
    EXPECT_EQ(extremes.highest, 31);   // 30.5 shown as 31
    EXPECT_EQ(extremes.lowest, -4);    // -3.5 shown as -4
}

TEST(OverviewLayout, EqualTemperaturesAreBothExtremesAndShowGreen)
{
    const Decimal t = Decimal::fromInt(25);
    const TemperatureExtremes extremes = FindTemperatureExtremes(TemperaturesOf(t, t, t, t, t, t));
    EXPECT_EQ(extremes.highest, 25);
    EXPECT_EQ(extremes.lowest, 25);
    EXPECT_EQ(ExtremeMarkBgr(MarkExtreme(25, extremes.highest, extremes.lowest)), kBgrGreen);

    // At the bottom of the wire range the highest never moves from its start.
    const Decimal cold = Decimal::fromInt(-40);
    const TemperatureExtremes coldest = FindTemperatureExtremes(TemperaturesOf(cold, cold, cold, cold, cold, cold));
    EXPECT_EQ(coldest.highest, -40);
    EXPECT_EQ(coldest.lowest, -40);
}

TEST(PackHead, ShowsThePackNumberInTwoDigitsAndAutoAsOne)
{
    EXPECT_EQ(PackHeadText(0), "Pack No. 01");
    EXPECT_EQ(PackHeadText(3), "Pack No. 03");
    EXPECT_EQ(PackHeadText(16), "Pack No. 16");
}

TEST(AlarmPanelTable, EveryShownStatusBitHasExactlyOneCheckBox)
{
    std::set<int> boxes;
    for (const StatusBit& bit : kStatusBits) {
        int found = 0;
        for (const IndicatorPlace& place : kIndicatorPlaces)
            if (place.byte == bit.byte && place.bit == bit.bit) {
                ++found;
                boxes.insert(place.checkBox);
            }
        EXPECT_EQ(found, 1) << "byte " << int(bit.byte) << " bit " << int(bit.bit);
    }
    EXPECT_EQ(boxes.size(), kStatusBits.size());
}

TEST(AlarmPanelTable, GroupsHoldAllSeventyEightBoxesOnce)
{
    std::set<int> boxes;
    std::size_t listed = 0;
    for (const PanelGroup& group : kPanelGroups) {
        listed += group.checkBoxes.size();
        boxes.insert(group.checkBoxes.begin(), group.checkBoxes.end());
    }
    EXPECT_EQ(listed, 78u);
    EXPECT_EQ(boxes.size(), 78u);
    for (const int box : boxes)
        EXPECT_TRUE(StatusBitOfCheckBox(box) || FindSwitchBox(box)) << "CheckBox" << box;
}

TEST(AlarmPanelTable, IndicatorLooksFollowTheKindOfTheBit)
{
    const IndicatorLook alarm = LookOfIndicator(StatusKind::Alarm, true);
    EXPECT_TRUE(alarm.checked);
    EXPECT_EQ(alarm.textBgr, kBgrTeal);
    EXPECT_EQ(LookOfIndicator(StatusKind::Alarm, false).textBgr, kBgrBlack);
    EXPECT_EQ(LookOfIndicator(StatusKind::Protection, true).textBgr, kBgrRed);
    EXPECT_EQ(LookOfIndicator(StatusKind::Fault, true).textBgr, kBgrRed);
    EXPECT_EQ(LookOfIndicator(StatusKind::Fault, false).textBgr, kBgrBlack);
    const IndicatorLook state = LookOfIndicator(StatusKind::State, true);
    EXPECT_TRUE(state.checked);
    EXPECT_FALSE(state.textBgr.has_value());
}

TEST(AlarmPanelTable, ShortCircuitCounterShowsTheLowByteRedWhenBit15IsSet)
{
    const ShortCircuitLook alarmed = LookOfShortCircuit(0x8003);
    EXPECT_TRUE(alarmed.visible);
    EXPECT_EQ(alarmed.text, "3");
    EXPECT_EQ(alarmed.textBgr, kBgrRed);
    const ShortCircuitLook counted = LookOfShortCircuit(0x0103);
    EXPECT_EQ(counted.text, "3");
    EXPECT_EQ(counted.textBgr, kBgrBlack);
    EXPECT_FALSE(LookOfShortCircuit(0).visible);
}

TEST(AlarmPanelTable, SwitchWordCarriesEachBoxOnItsOwnBit)
{
    std::array<bool, kSwitchBoxes.size()> checked{};
    // CFET and precharge.
    checked[0] = true;
    checked[8] = true;
    EXPECT_EQ(FunctionSwitchWord(checked), 0x0140);
    checked.fill(true);
    EXPECT_EQ(FunctionSwitchWord(checked), 0x01FF);

    std::uint16_t bits = 0;
    for (const SwitchBox& box : kSwitchBoxes)
        bits = static_cast<std::uint16_t>(bits | (1u << box.switchBit));
    EXPECT_EQ(bits, 0x01FF) << "nine distinct bits 0..8";
    EXPECT_TRUE(IsSwitchOn(0x0100, *FindSwitchBox(44)));   // precharge from the high byte
    EXPECT_FALSE(IsSwitchOn(0xFEFF, *FindSwitchBox(44)));
}
