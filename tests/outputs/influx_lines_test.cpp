// The line protocol text of a pack's turn against lines written out by
// hand, and the escaping rules of the line protocol.

#include "outputs/influx_lines.h"

#include <gtest/gtest.h>

namespace {

const QByteArray kTime = " 1765171200123000000\n";

RPackSample Sample(const QString& barCode)
{
    RPackSample sample;
    sample.pack = 2;
    sample.barCode = barCode;
    sample.time = QDateTime::fromMSecsSinceEpoch(1765171200123, Qt::UTC);
    sample.exchanges = {{0x42, 0}, {0x44, 0}};
    return sample;
}

// One turn with every kind of reading: each line below must be in it, and
// the count says nothing else was written.
TEST(InfluxLines, ReadingsAreExactTaggedAndTimedAsTheSample)
{
    RPackSample sample = Sample(QStringLiteral("SIM-1"));
    RAnalogData analog;
    analog.cellVoltages[0] = 3301;
    analog.cellVoltages[2] = 3290;   // cell 2 reads 0 mV, cells 4-16 are not fitted
    analog.balancing[2] = 1;
    analog.cellTemperatures = {Decimal::fromRaw(251000), Decimal::fromRaw(-52000), Decimal(), Decimal::fromInt(30)};
    analog.current = Decimal::fromRaw(-123456);
    analog.cycleCount = 12;
    analog.soc = 87;
    analog.humidity = 5;
    sample.analog = analog;
    RAlarmData alarm;
    alarm.status[1] = 0x80;    // byte 2 bit 7: short-circuit protection
    alarm.status[4] = 0x40;    // byte 5 bit 6: charging, a state, not written
    alarm.status[13] = 0x04;   // byte 14 bit 2: front-end chip fault
    sample.alarm = alarm;
    const QByteArray text = InfluxLines(sample);
    const char* lines[] = {
        "bms,pack=2,bar_code=SIM-1,cell=1 cell_voltage_volts=3.301",
        "bms,pack=2,bar_code=SIM-1,cell=2 cell_voltage_volts=0",
        "bms,pack=2,bar_code=SIM-1,cell=3 cell_voltage_volts=3.29",
        "bms,pack=2,bar_code=SIM-1,cell=3 cell_balancing=1",
        "bms,pack=2,bar_code=SIM-1,sensor=cell1 temperature_celsius=25.1",
        "bms,pack=2,bar_code=SIM-1,sensor=ambient temperature_celsius=0",
        "bms,pack=2,bar_code=SIM-1 pack_current_amperes=-12.3456",
        "bms,pack=2,bar_code=SIM-1 soc_ratio=0.87",
        "bms,pack=2,bar_code=SIM-1 humidity_ratio=0.05",
        "bms,pack=2,bar_code=SIM-1,name=short_circuit_protection protection_active=1",
        "bms,pack=2,bar_code=SIM-1,name=discharge_over_current_protection_1 protection_active=0",
        "bms,pack=2,bar_code=SIM-1,name=analog_front_end_chip_fault fault_active=1",
        "bms,pack=2,bar_code=SIM-1,name=low_soc_alarm alarm_active=0",
        "bms,pack=2,bar_code=SIM-1 pack_up=1",
    };
    for (const char* line : lines)
        EXPECT_TRUE(text.contains('\n' + QByteArray(line) + kTime) || text.startsWith(line + kTime)) << line;
    // 3 cells, 3 balancing flags, 6 temperatures, 8 pack values, 21 alarm,
    // 20 protection and 10 fault bits, pack_up; no state bit.
    EXPECT_EQ(InfluxLineCount(text), 3 + 3 + 6 + 8 + 21 + 20 + 10 + 1);
    EXPECT_EQ(text.count("_active=1 "), 2);
}

// Old firmware ends its answer early: what it did not send is not written,
// not even as 0. A silent pack writes only that it is down; an unknown bar
// code leaves its tag out (a tag value may not be empty).
TEST(InfluxLines, UnsentReadingsAndUnknownBarCodesAreLeftOut)
{
    RPackSample sample = Sample(QStringLiteral("  "));
    RAnalogData analog;
    analog.cellVoltages[0] = 3301;
    analog.fieldsSent = std::uint8_t(AnalogField::Ambient);   // cells and cell temperatures only
    sample.analog = analog;
    EXPECT_EQ(InfluxLineCount(InfluxLines(sample)), 1 + 4 + 1);
    sample.analog.reset();
    sample.exchanges = {{0x42, 0xAF}};
    EXPECT_EQ(InfluxLines(sample), "bms,pack=2 pack_up=0" + kTime);
}

TEST(InfluxLines, EscapingFollowsTheLineProtocol)
{
    struct Case {
        const char* text;
        const char* measurement;
        const char* tag;
    };
    const Case cases[] = {
        {"plain-Name_1", "plain-Name_1", "plain-Name_1"}, {"a b", "a\\ b", "a\\ b"},
        {"a,b", "a\\,b", "a\\,b"},                        {"a=b", "a=b", "a\\=b"},
        {"end\\", "end\\\\", "end\\\\"},                  {"line\nbreak\ttab", "line_break_tab", "line_break_tab"},
        {"\"Grüße\"", "\"Grüße\"", "\"Grüße\""},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(EscapeInfluxMeasurement(text), QString::fromUtf8(c.measurement)) << c.text;
        EXPECT_EQ(EscapeInfluxTag(text), QString::fromUtf8(c.tag)) << c.text;
    }
    EXPECT_EQ(InfluxLines(Sample(QStringLiteral("A 1,=x"))), "bms,pack=2,bar_code=A\\ 1\\,\\=x pack_up=1" + kTime);
}

} // namespace
