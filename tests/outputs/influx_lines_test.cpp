// The line protocol text of a pack's turn, checked against lines written
// out by hand, and the escaping rules of the line protocol.

#include "outputs/influx_lines.h"

#include "protocol/status_bits.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

RPackSample Sample(const QString& barCode = QStringLiteral("SIM-1"))
{
    RPackSample sample;
    sample.pack = 2;
    sample.address = 2;
    sample.barCode = barCode;
    sample.time = QDateTime::fromMSecsSinceEpoch(1765171200123, Qt::UTC);
    sample.exchanges = {{0x42, 0}, {0x44, 0}};
    return sample;
}

QList<QByteArray> Lines(const RPackSample& sample)
{
    QList<QByteArray> lines = InfluxLines(sample).split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

TEST(InfluxLines, AnalogReadingsAreExactAndTaggedWithTheSampleTime)
{
    RPackSample sample = Sample();
    RAnalogData analog;
    analog.cellVoltages[0] = 3301;
    analog.cellVoltages[2] = 3290;     // cell 2 reads 0 mV, cells 4-16 are not fitted
    analog.balancing[2] = 1;
    analog.cellTemperatures = {Decimal::fromRaw(251000), Decimal::fromRaw(-52000), Decimal(), Decimal::fromInt(30)};
    analog.ambientTemperature = Decimal::fromRaw(233000);
    analog.fetTemperature = Decimal::fromRaw(310000);
    analog.current = Decimal::fromRaw(-123456);
    analog.totalVoltage = Decimal::fromRaw(532100);
    analog.remainingCapacity = Decimal::fromRaw(875000);
    analog.fullCapacity = Decimal::fromInt(100);
    analog.cycleCount = 12;
    analog.soc = 87;
    analog.soh = 100;
    analog.humidity = 5;
    sample.analog = analog;
    const QByteArray t = " 1765171200123000000";
    const QList<QByteArray> expected = {
        "bms,pack=2,bar_code=SIM-1,cell=1 cell_voltage_volts=3.301" + t,
        "bms,pack=2,bar_code=SIM-1,cell=2 cell_voltage_volts=0" + t,
        "bms,pack=2,bar_code=SIM-1,cell=3 cell_voltage_volts=3.29" + t,
        "bms,pack=2,bar_code=SIM-1,cell=1 cell_balancing=0" + t,
        "bms,pack=2,bar_code=SIM-1,cell=2 cell_balancing=0" + t,
        "bms,pack=2,bar_code=SIM-1,cell=3 cell_balancing=1" + t,
        "bms,pack=2,bar_code=SIM-1,sensor=cell1 temperature_celsius=25.1" + t,
        "bms,pack=2,bar_code=SIM-1,sensor=cell2 temperature_celsius=-5.2" + t,
        "bms,pack=2,bar_code=SIM-1,sensor=cell3 temperature_celsius=0" + t,
        "bms,pack=2,bar_code=SIM-1,sensor=cell4 temperature_celsius=30" + t,
        "bms,pack=2,bar_code=SIM-1,sensor=ambient temperature_celsius=23.3" + t,
        "bms,pack=2,bar_code=SIM-1,sensor=fet temperature_celsius=31" + t,
        "bms,pack=2,bar_code=SIM-1 pack_current_amperes=-12.3456" + t,
        "bms,pack=2,bar_code=SIM-1 pack_voltage_volts=53.21" + t,
        "bms,pack=2,bar_code=SIM-1 remaining_capacity_ampere_hours=87.5" + t,
        "bms,pack=2,bar_code=SIM-1 full_capacity_ampere_hours=100" + t,
        "bms,pack=2,bar_code=SIM-1 charge_cycles=12" + t,
        "bms,pack=2,bar_code=SIM-1 soc_ratio=0.87" + t,
        "bms,pack=2,bar_code=SIM-1 soh_ratio=1" + t,
        "bms,pack=2,bar_code=SIM-1 humidity_ratio=0.05" + t,
        "bms,pack=2,bar_code=SIM-1 pack_up=1" + t,
    };
    EXPECT_EQ(Lines(sample), expected);
    EXPECT_EQ(InfluxLineCount(InfluxLines(sample)), expected.size());
}

// Old firmware ends its answer early: what it did not send is not written
// (not written as 0).
TEST(InfluxLines, FieldsThePackDidNotSendAreNotWritten)
{
    RPackSample sample = Sample();
    RAnalogData analog;
    analog.cellVoltages[0] = 3301;
    analog.cellTemperatures[0] = Decimal::fromInt(25);
    analog.fieldsSent = std::uint8_t(AnalogField::Ambient);   // cells and cell temperatures only
    sample.analog = analog;
    const QList<QByteArray> lines = Lines(sample);
    ASSERT_EQ(lines.size(), 1 + 4 + 1);
    EXPECT_TRUE(lines[4].contains("sensor=cell4"));
    EXPECT_TRUE(lines[5].startsWith("bms,pack=2,bar_code=SIM-1 pack_up=1 "));
}

// Alarm, protection and fault bits are written set and clear; state bits
// (charging, FET on) are not.
TEST(InfluxLines, StatusBitsAreWrittenByKindWithTheirNames)
{
    RPackSample sample = Sample();
    RAlarmData alarm;
    alarm.status[0] = 0x01;   // byte 1 bit 0: cell over-voltage alarm
    alarm.status[1] = 0x80;   // byte 2 bit 7: short-circuit protection
    alarm.status[4] = 0x40;   // byte 5 bit 6: charging (a state)
    alarm.status[13] = 0x04;  // byte 14 bit 2: front-end chip fault
    sample.alarm = alarm;
    const QByteArray text = InfluxLines(sample);
    int alarms = 0, protections = 0, faults = 0;
    for (const StatusBit& bit : kStatusBits) {
        alarms += bit.kind == StatusKind::Alarm;
        protections += bit.kind == StatusKind::Protection;
        faults += bit.kind == StatusKind::Fault;
    }
    EXPECT_EQ(text.count(" alarm_active="), alarms);
    EXPECT_EQ(text.count(" protection_active="), protections);
    EXPECT_EQ(text.count(" fault_active="), faults);
    EXPECT_EQ(text.count("_active=1 "), 3);
    EXPECT_TRUE(text.contains(",name=cell_over_voltage_alarm alarm_active=1 "));
    EXPECT_TRUE(text.contains(",name=short_circuit_protection protection_active=1 "));
    EXPECT_TRUE(text.contains(",name=analog_front_end_chip_fault fault_active=1 "));
    EXPECT_TRUE(text.contains(",name=discharge_over_current_protection_1 protection_active=0 "));
    EXPECT_FALSE(text.contains("charging"));
}

// A silent pack writes only that it is down; an unknown bar code leaves the
// tag out (an empty tag value is not allowed).
TEST(InfluxLines, SilentPackWritesPackDownWithoutBarCode)
{
    RPackSample sample = Sample(QStringLiteral("  "));
    sample.exchanges = {{0x42, 0xAF}};
    EXPECT_EQ(Lines(sample), QList<QByteArray>{"bms,pack=2 pack_up=0 1765171200123000000"});
}

TEST(InfluxLines, EscapingFollowsTheLineProtocol)
{
    struct Case {
        const char* text;
        const char* measurement;
        const char* tag;
    };
    const Case cases[] = {
        {"plain-Name_1", "plain-Name_1", "plain-Name_1"},
        {"a b", "a\\ b", "a\\ b"},
        {"a,b", "a\\,b", "a\\,b"},
        {"a=b", "a=b", "a\\=b"},
        {"a\\b", "a\\\\b", "a\\\\b"},
        {"end\\", "end\\\\", "end\\\\"},
        {"line\nbreak\ttab", "line_break_tab", "line_break_tab"},
        {"\"quoted\"", "\"quoted\"", "\"quoted\""},
        {"Grüße", "Grüße", "Grüße"},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(EscapeInfluxMeasurement(text), QString::fromUtf8(c.measurement)) << c.text;
        EXPECT_EQ(EscapeInfluxTag(text), QString::fromUtf8(c.tag)) << c.text;
    }
    EXPECT_EQ(Lines(Sample(QStringLiteral("A 1,=x")))[0], "bms,pack=2,bar_code=A\\ 1\\,\\=x pack_up=1 1765171200123000000");
}

} // namespace
