// The log rows of the store: what every real-time and record log file
// holds, cell by cell.

#include "store/devinfo.h"
#include "store/realtime_row.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace {

class LogRows : public ::testing::Test {
protected:
    void SetUp() override { TTextOper().SetLanguage(TTextOper::English); }
    void TearDown() override { TTextOper().SetLanguage(TTextOper::SimplifiedChinese); }

    QString text(std::uint16_t id) const { return m_texts.GetLanguageText(id); }

    TTextOper m_texts;
};

RAnalogData SampleReading()
{
    RAnalogData analog;
    analog.packNumber = 3;
    analog.time = QDateTime(QDate(2024, 1, 2), QTime(15, 30, 0));
    analog.totalVoltage = Decimal::fromRaw(523456);         // 52.3456 V
    analog.current = Decimal::fromRaw(-12000);              // -1.2 A
    analog.soc = 67;
    analog.soh = 98;
    analog.remainingCapacity = Decimal::fromRaw(656600);    // 65.66 Ah
    analog.fullCapacity = Decimal::fromInt(98);
    analog.cycleCount = 75;
    analog.humidity = 50;
    analog.cellVoltages.fill(3300);
    analog.cellVoltages[0] = 0;      // a cell without a reading is not the lowest
    analog.cellVoltages[2] = 3100;
    analog.cellVoltages[4] = 3400;
    analog.cellVoltages[9] = 3400;   // a tie: the first position wins
    analog.cellTemperatures = {Decimal::fromRaw(251500), Decimal::fromInt(25), Decimal::fromRaw(-5000),
                               Decimal::fromInt(0)};
    analog.ambientTemperature = Decimal::fromRaw(234500);   // 23.45 rounds away from zero
    analog.fetTemperature = Decimal::fromRaw(-52500);       // -5.25
    analog.balancing[1] = 1;
    analog.balancing[15] = 1;
    return analog;
}

TEST_F(LogRows, RealtimeHeadersFollowTheLanguage)
{
    const QStringList english = RealtimeLogHeaders(m_texts);
    ASSERT_EQ(english.size(), kRealtimeLogColumns);
    EXPECT_EQ(english[0], text(0x6001));
    EXPECT_EQ(english[1], QStringLiteral("PackNo"));
    EXPECT_EQ(english[3], text(0x6011) + QStringLiteral("(V)"));
    EXPECT_EQ(english[5], QStringLiteral("SOC%"));
    EXPECT_EQ(english[10], text(0x352C) + QStringLiteral("(%)"));
    EXPECT_EQ(english[13], text(0x600A) + QStringLiteral("(℃)"));
    EXPECT_EQ(english[14], QStringLiteral("FET(℃)"));
    EXPECT_EQ(english[18], QStringLiteral("T1(℃)"));
    EXPECT_EQ(english[22], QStringLiteral("V01(mV)"));
    EXPECT_EQ(english[37], QStringLiteral("V16(mV)"));

    m_texts.SetLanguage(TTextOper::SimplifiedChinese);
    const QStringList chinese = RealtimeLogHeaders(m_texts);
    EXPECT_EQ(chinese[0], QStringLiteral("序号"));
    EXPECT_EQ(chinese[3], QStringLiteral("总电压(V)"));
    EXPECT_EQ(chinese[37], english[37]);
}

TEST_F(LogRows, RealtimeRowFormatsEveryColumnAsTheLogShowsIt)
{
    TDevInfo store;
    RAlarmData alarm;
    alarm.status[0] = 0x48;   // byte 1: bits 3 and 6
    alarm.status[1] = 0x80;   // byte 2: bit 7, short circuit
    const QStringList row = RealtimeLogRow(12, SampleReading(), alarm, store);
    ASSERT_EQ(row.size(), kRealtimeLogColumns);
    const QStringList expectedFront = {QStringLiteral("12"), QStringLiteral("03"),
                                       QStringLiteral("2024-01-02 15:30:00"), QStringLiteral("52.346"),
                                       QStringLiteral("-1.200"), QStringLiteral("67"), QStringLiteral("98"),
                                       QStringLiteral("65.660"), QStringLiteral("98.000"), QStringLiteral("75"),
                                       QStringLiteral("50"), QStringLiteral("3100>03"), QStringLiteral("3400>05"),
                                       QStringLiteral("23.5"), QStringLiteral("-5.3")};
    EXPECT_EQ(row.mid(0, expectedFront.size()), expectedFront);
    // Alarm texts in the order of the log's table, not of the bits.
    EXPECT_EQ(row[15], text(0x5011) + QStringLiteral(" / ") + text(0x50E6));
    EXPECT_EQ(row[16], text(0x5034));
    EXPECT_EQ(row[17], QStringLiteral("0100000000000001"));
    EXPECT_EQ(row.mid(18, 4), (QStringList{QStringLiteral("25.2"), QStringLiteral("25.0"), QStringLiteral("-0.5"),
                                           QStringLiteral("0.0")}));
    EXPECT_EQ(row[22], QStringLiteral("0"));
    EXPECT_EQ(row[24], QStringLiteral("3100"));
    EXPECT_EQ(row[37], QStringLiteral("3300"));
}

TEST_F(LogRows, ReadingWithoutCellsShowsBareZeroExtremesAndIsNotLogged)
{
    TDevInfo store;
    RAnalogData empty;
    const QStringList row = RealtimeLogRow(1, empty, RAlarmData{}, store);
    EXPECT_EQ(row[11], QStringLiteral("0"));
    EXPECT_EQ(row[12], QStringLiteral("0"));
    EXPECT_TRUE(row[15].isEmpty());
    EXPECT_FALSE(RealtimeReadingHoldsData(empty));

    RAnalogData firstCell;
    firstCell.cellVoltages[0] = 3300;
    EXPECT_TRUE(RealtimeReadingHoldsData(firstCell));
    RAnalogData onlyVoltage;
    onlyVoltage.totalVoltage = Decimal::fromRaw(10);   // 0.001 V
    EXPECT_TRUE(RealtimeReadingHoldsData(onlyVoltage));
    onlyVoltage.totalVoltage = Decimal::fromRaw(9);
    EXPECT_FALSE(RealtimeReadingHoldsData(onlyVoltage));
}

TEST_F(LogRows, CsvLineJoinsCellsWithCommasAndEndsWithCrLf)
{
    EXPECT_EQ(CsvLine({QStringLiteral("a"), QString(), QStringLiteral("b")}), QStringLiteral("a,,b\r\n"));
    const QString emptyRow = CsvLine(QStringList(kRealtimeLogColumns, QString()));
    EXPECT_EQ(emptyRow, QString(kRealtimeLogColumns - 1, QLatin1Char(',')) + QStringLiteral("\r\n"));
}

TEST_F(LogRows, RecordLogRowsPutThePositionBeforeTheValueAndTheBarCodeLast)
{
    RHistoryRecord record;
    InitAlarmRecord(5, record);
    record.time = RDeviceTime{2024, 3, 4, 5, 6, 7};
    record.mode = 2;
    record.voltage = Decimal::fromRaw(526500);
    record.current = Decimal::fromInt(-2);
    record.soc = 80;
    record.remainingCapacity = Decimal::fromRaw(805000);
    record.alarmCode = 20;
    record.cellVoltages[2] = 3312;
    record.cellVoltages[3] = 3400;
    record.ambientTemperature = Decimal::fromInt(24);
    record.fetTemperature = Decimal::fromInt(29);
    record.humidity = 45;

    const QStringList alarmRow = HistoryLogRow(7, record, true, QStringLiteral("BAR01"), m_texts);
    ASSERT_EQ(alarmRow.size(), kAlarmRecordLogColumns);
    ASSERT_EQ(HistoryLogHeaders(true, m_texts).size(), kAlarmRecordLogColumns);
    EXPECT_EQ(alarmRow.mid(0, 12),
              (QStringList{QStringLiteral("7"), QStringLiteral("5"), QStringLiteral("2024-03-04 05:06:07"),
                           QStringLiteral("DisCharge"), QStringLiteral("52.650"), QStringLiteral("-2.000"),
                           QStringLiteral("80"), QStringLiteral("80.500"), QStringLiteral("20"),
                           m_texts.GetAlarmText(20), QStringLiteral("03->3312"), QStringLiteral("04->3400")}));
    EXPECT_EQ(alarmRow.last(), QStringLiteral("BAR01"));
    EXPECT_EQ(HistoryLogHeaders(true, m_texts).last(), text(0x700F));

    const QStringList workRow = HistoryLogRow(7, record, false, QString(), m_texts);
    ASSERT_EQ(workRow.size(), kWorkDataLogColumns);
    ASSERT_EQ(HistoryLogHeaders(false, m_texts).size(), kWorkDataLogColumns);
    EXPECT_EQ(workRow[8], QStringLiteral("03->3312"));
    EXPECT_EQ(workRow[12], QStringLiteral("45"));

    RHistoryRecord blank;
    InitWorkDataRecord(1, blank);
    const QStringList blankRow = HistoryLogRow(1, blank, false, QString(), m_texts);
    EXPECT_EQ(blankRow[8], QStringLiteral("01->0"));
    EXPECT_EQ(blankRow[9], QStringLiteral("01->0"));
}

} // namespace
