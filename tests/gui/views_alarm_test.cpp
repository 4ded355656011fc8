// The alarm panel and the value-carrying selection box as real widgets.

#include "services/textoper.h"
#include "views/comboboxext.h"
#include "views/framepackalarm.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QColor kTeal(0, 128, 128);
const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);

QCheckBox* Box(const QWidget& frame, int number)
{
    return frame.findChild<QCheckBox*>(QStringLiteral("CheckBox%1").arg(number));
}

QColor TextColour(const QWidget* widget)
{
    return widget->palette().color(QPalette::Disabled, QPalette::WindowText);
}

std::vector<int> CheckedBoxes(const QWidget& frame)
{
    std::vector<int> checked;
    for (int number = 1; number <= 78; ++number)
        if (Box(frame, number)->isChecked())
            checked.push_back(number);
    return checked;
}

RAlarmData WithStatus(int byte, std::uint8_t value)
{
    RAlarmData record;
    record.status[std::size_t(byte - 1)] = value;
    return record;
}

} // namespace

TEST(FramePackAlarm, EveryIndicatorAndGroupCarriesItsName)
{
    TFramePackAlarm frame;
    for (int number = 1; number <= 78; ++number)
        EXPECT_NE(Box(frame, number), nullptr) << "CheckBox" << number;
    for (int group = 1; group <= 6; ++group)
        EXPECT_NE(frame.findChild<QGroupBox*>(QStringLiteral("GroupBox%1").arg(group)), nullptr) << group;
    EXPECT_EQ(Box(frame, 35)->parentWidget(), frame.findChild<QLabel*>(QStringLiteral("Label2"))->parentWidget())
        << "the counter sits beside the short-circuit box";
    EXPECT_EQ(Box(frame, 35)->text(), "短路保护");
    EXPECT_FALSE(frame.findChild<QGroupBox*>(QStringLiteral("GroupBox3"))->isEnabled());
    EXPECT_FALSE(Box(frame, 62)->isVisibleTo(&frame));
}

TEST(FramePackAlarm, WorkedExampleTicksAlarmsInTealAndStatesPlainly)
{
    TFramePackAlarm frame;
    RAlarmData record;
    record.status[0] = 0x41;
    record.status[4] = 0x20;
    record.status[5] = 0x03;
    const QColor stateColourBefore = TextColour(Box(frame, 1));
    frame.ShowAlarmData(record);

    EXPECT_EQ(CheckedBoxes(frame), (std::vector<int>{1, 2, 12, 17, 71}));
    EXPECT_EQ(TextColour(Box(frame, 12)), kTeal) << "cell over-voltage alarm";
    EXPECT_EQ(TextColour(Box(frame, 71)), kTeal) << "voltage difference alarm";
    EXPECT_EQ(TextColour(Box(frame, 17)), kTeal) << "cell low temperature alarm";
    EXPECT_EQ(TextColour(Box(frame, 72)), kBlack);
    EXPECT_EQ(TextColour(Box(frame, 1)), stateColourBefore) << "FET states keep their font";

    // The next record clears what is no longer set, colours included.
    frame.ShowAlarmData(RAlarmData{});
    EXPECT_TRUE(CheckedBoxes(frame).empty());
    EXPECT_EQ(TextColour(Box(frame, 12)), kBlack);
}

TEST(FramePackAlarm, EachKindOfBitShowsInItsOwnStyle)
{
    TFramePackAlarm frame;
    frame.ShowAlarmData(WithStatus(1, 0x80));
    EXPECT_EQ(CheckedBoxes(frame), std::vector<int>{72});
    EXPECT_EQ(TextColour(Box(frame, 72)), kRed);

    frame.ShowAlarmData(WithStatus(5, 0xC0));
    EXPECT_EQ(CheckedBoxes(frame), (std::vector<int>{3, 4}));

    frame.ShowAlarmData(WithStatus(5, 0x01));
    EXPECT_EQ(CheckedBoxes(frame), std::vector<int>{36});
    EXPECT_EQ(TextColour(Box(frame, 36)), kTeal) << "reverse connection is reported as an alarm";

    frame.ShowAlarmData(WithStatus(14, 0x81));
    EXPECT_EQ(CheckedBoxes(frame), (std::vector<int>{65, 75}));
    EXPECT_EQ(TextColour(Box(frame, 65)), kRed);

    frame.ShowAlarmData(WithStatus(15, 0xE0));
    EXPECT_TRUE(CheckedBoxes(frame).empty()) << "bits 5 to 7 of byte 15 are not shown";

    RAlarmData unshown;
    for (const int byte : {8, 9, 10, 11, 12, 13, 16})
        unshown.status[std::size_t(byte - 1)] = 0xFF;
    frame.ShowAlarmData(unshown);
    EXPECT_TRUE(CheckedBoxes(frame).empty());
}

TEST(FramePackAlarm, ShortCircuitCounterShowsCountAndAlarmColour)
{
    TFramePackAlarm frame;
    auto* counter = frame.findChild<QLabel*>(QStringLiteral("Label2"));
    ASSERT_NE(counter, nullptr);
    EXPECT_FALSE(counter->isVisibleTo(&frame));

    RAlarmData record;
    record.shortCircuit = 0x8003;
    frame.ShowAlarmData(record);
    EXPECT_TRUE(counter->isVisibleTo(&frame));
    EXPECT_EQ(counter->text(), "3");
    EXPECT_EQ(TextColour(counter), kRed);

    record.shortCircuit = 0x0003;
    frame.ShowAlarmData(record);
    EXPECT_EQ(counter->text(), "3");
    EXPECT_EQ(TextColour(counter), kBlack);

    record.shortCircuit = 0;
    frame.ShowAlarmData(record);
    EXPECT_FALSE(counter->isVisibleTo(&frame));
}

TEST(FramePackAlarm, LanguageSwitchRecaptionsGroupsAndBoxes)
{
    TFramePackAlarm frame;
    auto* protection = frame.findChild<QGroupBox*>(QStringLiteral("GroupBox4"));
    frame.ApplyLanguage();
    EXPECT_EQ(protection->title(), "保护状态");
    EXPECT_EQ(Box(frame, 35)->text(), "短路保护");
    EXPECT_EQ(Box(frame, 5)->text(), "启用CFET");

    TTextOper().SetLanguage(TTextOper::English);
    frame.ApplyLanguage();
    TTextOper().SetLanguage(TTextOper::SimplifiedChinese);
    EXPECT_NE(protection->title(), "保护状态");
    EXPECT_FALSE(protection->title().isEmpty());
    EXPECT_NE(Box(frame, 35)->text(), "短路保护");
    EXPECT_FALSE(Box(frame, 35)->text().isEmpty());
    EXPECT_NE(Box(frame, 5)->text(), "启用CFET");
}

TEST(FramePackAlarm, ControlTestGroupShowsOnlyWhenOffered)
{
    TFramePackAlarm frame;
    auto* controlTest = frame.findChild<QGroupBox*>(QStringLiteral("GroupBox1"));
    EXPECT_FALSE(controlTest->isVisibleTo(&frame));
    frame.SetControlTestVisible(true);
    EXPECT_TRUE(controlTest->isVisibleTo(&frame));
    EXPECT_TRUE(controlTest->isEnabled());
    frame.SetControlTestVisible(false);
    EXPECT_FALSE(controlTest->isVisibleTo(&frame));
}

TEST(FramePackAlarm, ClickingAControlBoxRequestsTheWholeSwitchWord)
{
    TFramePackAlarm frame;
    frame.SetControlTestVisible(true);
    frame.show();
    QSignalSpy requests(&frame, &TFramePackAlarm::functionSwitchesRequested);

    Box(frame, 5)->setChecked(true);   // CFET, ticked earlier
    EXPECT_EQ(requests.count(), 0) << "only a user's click sends";
    QTest::mouseClick(Box(frame, 44), Qt::LeftButton, {}, QPoint(5, Box(frame, 44)->height() / 2));
    ASSERT_EQ(requests.count(), 1);
    EXPECT_EQ(requests.at(0).at(0).value<std::uint16_t>(), 0x0140);

    // The pack's echo decides what stays ticked, without a further request.
    frame.ShowFunctionSwitches(0x0021);
    EXPECT_EQ(requests.count(), 1);
    EXPECT_TRUE(Box(frame, 37)->isChecked()) << "heating";
    EXPECT_TRUE(Box(frame, 29)->isChecked()) << "DFET";
    EXPECT_FALSE(Box(frame, 5)->isChecked());
    EXPECT_FALSE(Box(frame, 44)->isChecked());
    EXPECT_EQ(frame.FunctionSwitchWord(), 0x0021);
}

TEST(ComboBoxExt, SelectsAndReadsItemsByTheirHiddenValues)
{
    TComboBoxExt combo;
    IComboList& list = combo;
    EXPECT_EQ(list.selectedValue(), "") << "nothing selected";
    list.addItem("01", "1");
    list.addItem("02", "2");
    list.addItem("Auto", "255");
    EXPECT_EQ(list.itemCount(), 3);
    EXPECT_EQ(combo.currentText(), "01");

    EXPECT_TRUE(list.selectValue("255"));
    EXPECT_EQ(combo.currentText(), "Auto");
    EXPECT_EQ(list.selectedValue(), "255");

    EXPECT_FALSE(list.selectValue("7"));
    EXPECT_EQ(list.selectedValue(), "255") << "an unknown value keeps the selection";

    list.selectIndex(-1);
    EXPECT_EQ(list.selectedValue(), "");
    list.selectIndex(9);
    EXPECT_EQ(list.selectedValue(), "");
    list.selectIndex(1);
    EXPECT_EQ(list.selectedValue(), "2");

    list.clearItems();
    EXPECT_EQ(list.itemCount(), 0);
    EXPECT_EQ(list.selectedValue(), "");
}
