// The overview frames driven with records under the offscreen platform,
// their controls found by the names the pages are specified with.

#include "services/textoper.h"
#include "views/framepackcellvoltage.h"
#include "views/framepackhead.h"
#include "views/framepackinfo.h"
#include "views/framepacktemperature.h"
#include "views/overview_layout.h"

#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QTableView>

#include <gtest/gtest.h>

namespace {

QString CellText(const QWidget& frame, int row, int column)
{
    const auto* grid = frame.findChild<QTableView*>(QStringLiteral("StringGrid1"));
    return grid->model()->index(row, column).data(Qt::DisplayRole).toString();
}

QColor CellColour(const QWidget& frame, int row, int column)
{
    const auto* grid = frame.findChild<QTableView*>(QStringLiteral("StringGrid1"));
    return grid->model()->index(row, column).data(Qt::ForegroundRole).value<QColor>();
}

QString Caption(const QWidget& frame)
{
    return frame.findChild<QGroupBox*>(QStringLiteral("GroupBox1"))->title();
}

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kBlack(0, 0, 0);

// Switches the process-wide language for one test and back afterwards.
class LanguageGuard {
public:
    explicit LanguageGuard(std::uint8_t language) { TTextOper().SetLanguage(language); }
    ~LanguageGuard() { TTextOper().SetLanguage(TTextOper::SimplifiedChinese); }
};

RAnalogData PackReading()
{
    RAnalogData record;
    record.packNumber = 1;
    record.totalVoltage = Decimal::fromRaw(532004);    // 53.2004 V
    record.current = Decimal::fromRaw(12345);          // 1.2345 A
    record.soc = 87;
    record.soh = 100;
    record.remainingCapacity = Decimal::fromRaw(875000);
    record.fullCapacity = Decimal::fromInt(100);
    record.cycleCount = 12;
    return record;
}

} // namespace

TEST(FramePackInfo, GridIsADisabledEightByFourStringGrid)
{
    TFramePackInfo frame;
    const auto* grid = frame.findChild<QTableView*>(QStringLiteral("StringGrid1"));
    ASSERT_NE(grid, nullptr);
    EXPECT_FALSE(grid->isEnabled());
    EXPECT_EQ(grid->model()->rowCount(), 8);
    EXPECT_EQ(grid->model()->columnCount(), 4);
    EXPECT_EQ(grid->columnWidth(0), 110);
    EXPECT_EQ(grid->columnWidth(3), 30);
    EXPECT_EQ(grid->rowHeight(7), 20);
}

TEST(FramePackInfo, ShowsTotalsWithUnitsAndLimitMarks)
{
    TFramePackInfo frame;
    RAlarmData alarm;
    alarm.voltageState = 2;
    alarm.currentState = 1;
    frame.ShowData(PackReading(), alarm);

    EXPECT_EQ(CellText(frame, 0, 0), "总电压");
    EXPECT_EQ(CellText(frame, 0, 1), "53.200");
    EXPECT_EQ(CellText(frame, 0, 2), "V");
    EXPECT_EQ(CellText(frame, 0, 3), "H");
    EXPECT_EQ(CellText(frame, 1, 1), "1.235");
    EXPECT_EQ(CellText(frame, 1, 3), "L");
    EXPECT_EQ(CellText(frame, 2, 0), "SOC");
    EXPECT_EQ(CellText(frame, 2, 1), "87");
    EXPECT_EQ(CellText(frame, 3, 1), "100");
    EXPECT_EQ(CellText(frame, 4, 1), "87.500");
    EXPECT_EQ(CellText(frame, 5, 1), "100.000");
    EXPECT_EQ(CellText(frame, 5, 2), "Ah");
    EXPECT_EQ(CellText(frame, 6, 1), "12");

    frame.InitGrid();
    EXPECT_EQ(CellText(frame, 0, 1), "");
    EXPECT_EQ(CellText(frame, 0, 3), "");
    EXPECT_EQ(CellText(frame, 0, 0), "总电压") << "labels stay";
}

TEST(FramePackInfo, DischargeCurrentLeavesTheStatusCellEmpty)
{
    TFramePackInfo frame;
    RAnalogData analog = PackReading();
    analog.current = Decimal::fromRaw(-15000);
    RAlarmData alarm;
    alarm.currentState = 2;
    frame.ShowData(analog, alarm);
    EXPECT_EQ(CellText(frame, 1, 1), "-1.500");
    EXPECT_EQ(CellText(frame, 1, 3), "");
}

TEST(FramePackInfo, LanguageSwitchChangesCaptionAndLabels)
{
    TFramePackInfo frame;
    frame.ApplyLanguage();
    EXPECT_EQ(Caption(frame), "电池信息");
    {
        LanguageGuard english(TTextOper::English);
        frame.ApplyLanguage();
        EXPECT_NE(Caption(frame), "电池信息");
        EXPECT_FALSE(Caption(frame).isEmpty());
        EXPECT_NE(CellText(frame, 0, 0), "总电压");
        EXPECT_EQ(CellText(frame, 2, 0), "SOC");
    }
    frame.ApplyLanguage();
    EXPECT_EQ(CellText(frame, 6, 0), "充放循环");
}

TEST(FramePackTemperature, ShowsWholeDegreesWithMarksAndColouredExtremes)
{
    TFramePackTemperature frame;
    RAnalogData analog;
    analog.ambientTemperature = Decimal::fromRaw(254000);   // 25
    analog.fetTemperature = Decimal::fromRaw(315000);       // 32 (half away from zero)
    analog.cellTemperatures = {Decimal::fromInt(27), Decimal::fromInt(24), Decimal::fromInt(30),
                               Decimal::fromRaw(-12000)};   // -1
    RAlarmData alarm;
    alarm.temperatureStates = {240, 7, 1, 0};
    frame.ShowData(analog, alarm);

    EXPECT_EQ(CellText(frame, 0, 0), "环境温度");
    EXPECT_EQ(CellText(frame, 0, 1), "25");
    EXPECT_EQ(CellText(frame, 0, 3), "FET");
    EXPECT_EQ(CellText(frame, 0, 4), "32");
    EXPECT_EQ(CellText(frame, 1, 0), "T01");
    EXPECT_EQ(CellText(frame, 2, 3), "T04");
    EXPECT_EQ(CellText(frame, 2, 4), "-1");
    EXPECT_EQ(CellText(frame, 1, 2), "-") << "state 240";
    EXPECT_EQ(CellText(frame, 2, 2), "??") << "state 7";
    EXPECT_EQ(CellText(frame, 1, 5), "L");
    EXPECT_EQ(CellText(frame, 2, 5), "");

    EXPECT_EQ(frame.extremes().highest, 32);
    EXPECT_EQ(frame.extremes().lowest, -1);
    EXPECT_EQ(CellColour(frame, 0, 4), kRed);
    EXPECT_EQ(CellColour(frame, 2, 4), kGreen);
    EXPECT_EQ(CellColour(frame, 0, 1), kBlack);
}

TEST(FramePackTemperature, AllTemperaturesEqualAreAllGreen)
{
    TFramePackTemperature frame;
    RAnalogData analog;
    const Decimal t = Decimal::fromInt(25);
    analog.ambientTemperature = analog.fetTemperature = t;
    analog.cellTemperatures = {t, t, t, t};
    frame.ShowData(analog, RAlarmData{});
    for (int row = 0; row < 3; ++row)
        for (const int column : {1, 4})
            EXPECT_EQ(CellColour(frame, row, column), kGreen) << row << "," << column;
}

TEST(FramePackCellVoltage, TiedHighestCellsAreAllRedAndTheFirstIsNamed)
{
    TFramePackCellVoltage frame;
    RAnalogData analog;
    analog.cellVoltages = {3300, 3305, 3290, 3301, 3305, 3299, 3298, 3297,
                           3305, 3296, 3295, 3294, 3293, 3292, 3291, 3302};
    analog.balancing[1] = 1;
    RAlarmData alarm;
    alarm.cellStates[10] = 2;
    frame.ApplyLanguage();
    frame.ShowData(analog, alarm);

    EXPECT_EQ(CellText(frame, 0, 1), "3305");
    EXPECT_EQ(CellText(frame, 0, 2), "V02");
    EXPECT_EQ(CellText(frame, 0, 5), "3290");
    EXPECT_EQ(CellText(frame, 0, 6), "V03");
    // Cells 2 and 5 sit in rows 2 and 5 on the left, cell 9 in row 1 on the right.
    EXPECT_EQ(CellColour(frame, 2, 1), kRed);
    EXPECT_EQ(CellColour(frame, 5, 1), kRed);
    EXPECT_EQ(CellColour(frame, 1, 5), kRed);
    EXPECT_EQ(CellColour(frame, 3, 1), kGreen);
    EXPECT_EQ(CellColour(frame, 1, 1), kBlack);
    EXPECT_EQ(CellColour(frame, 0, 1), kBlack) << "row 0 is not coloured";

    EXPECT_EQ(CellText(frame, 1, 4), "V09");
    EXPECT_EQ(CellText(frame, 8, 4), "V16");
    EXPECT_EQ(CellText(frame, 3, 6), "H") << "cell 11";
    EXPECT_EQ(CellText(frame, 2, 3), "ON");
    EXPECT_EQ(CellText(frame, 1, 3), "OFF");
    EXPECT_TRUE(Caption(frame).endsWith(" (mV)   15")) << Caption(frame).toStdString();
}

TEST(FramePackCellVoltage, CellsWithoutReadingsNeverCountAsLowest)
{
    TFramePackCellVoltage frame;
    RAnalogData analog;
    analog.cellVoltages[1] = 3300;
    analog.cellVoltages[2] = 3200;
    frame.ShowData(analog, RAlarmData{});
    EXPECT_EQ(CellText(frame, 0, 5), "3200");
    EXPECT_EQ(CellText(frame, 0, 6), "V03");
    EXPECT_EQ(CellColour(frame, 1, 1), kBlack) << "cell 1 at 0 mV";
    EXPECT_EQ(CellColour(frame, 3, 1), kGreen);
}

TEST(FramePackCellVoltage, NoReadingShowsNoExtremesAndZeroSpread)
{
    TFramePackCellVoltage frame;
    frame.ApplyLanguage();
    frame.ShowData(RAnalogData{}, RAlarmData{});
    for (const int column : {1, 2, 5, 6})
        EXPECT_EQ(CellText(frame, 0, column), "") << column;
    EXPECT_EQ(CellText(frame, 0, 0), "最高电压");
    EXPECT_EQ(CellText(frame, 1, 1), "0");
    EXPECT_EQ(CellColour(frame, 1, 1), kBlack);
    EXPECT_TRUE(Caption(frame).endsWith("   0")) << Caption(frame).toStdString();

    // The spread survives a change of language; InitGrid drops it.
    {
        LanguageGuard english(TTextOper::English);
        frame.ApplyLanguage();
        EXPECT_TRUE(Caption(frame).endsWith(" (mV)   0"));
    }
    frame.InitGrid();
    EXPECT_TRUE(Caption(frame).endsWith(" (mV)"));
}

TEST(FramePackCellVoltage, PainterDrawsRowBackgroundsAndRedHighestText)
{
    TFramePackCellVoltage frame;
    RAnalogData analog;
    analog.cellVoltages.fill(3300);
    analog.cellVoltages[0] = 3350;
    frame.ShowData(analog, RAlarmData{});
    frame.resize(frame.sizeHint().expandedTo(QSize(700, 260)));
    auto* grid = frame.findChild<QTableView*>(QStringLiteral("StringGrid1"));
    const QImage image = grid->viewport()->grab().toImage();

    const QRect evenCell = grid->visualRect(grid->model()->index(0, 3));
    const QRect oddCell = grid->visualRect(grid->model()->index(1, 3));
    EXPECT_EQ(image.pixelColor(evenCell.topLeft() + QPoint(1, 1)), ColorFromBgr(kBgrEvenRow));
    EXPECT_EQ(image.pixelColor(oddCell.topLeft() + QPoint(1, 1)), ColorFromBgr(kBgrOddRow));

    // Cell 1 is the highest: its digits are painted in red, not grey.
    const QRect highestCell = grid->visualRect(grid->model()->index(1, 1));
    int reddish = 0;
    for (int y = highestCell.top(); y <= highestCell.bottom(); ++y)
        for (int x = highestCell.left(); x <= highestCell.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.red() > 180 && pixel.green() < 120 && pixel.blue() < 120)
                ++reddish;
        }
    EXPECT_GT(reddish, 0);
}

TEST(FramePackHead, HeadingIsBoldBlueAndNamesThePack)
{
    TFramePackHead frame;
    frame.ShowPackHead(3);
    const auto* label = frame.findChild<QLabel*>();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "Pack No. 03");
    EXPECT_TRUE(label->font().bold());
    EXPECT_EQ(label->font().pixelSize(), 24);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    frame.ShowPackHead(0);
    EXPECT_EQ(label->text(), "Pack No. 01");
}
