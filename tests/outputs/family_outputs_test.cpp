// Other makers' packs in every output: one reading of each family, written
// out by hand as the decoders give it, against the JSON line, the metrics,
// the line protocol and the CSV row expected of it. The same names as for
// our packs, the family as a label, their status bytes by their own names.

#include "outputs/influx_lines.h"
#include "outputs/metrics_registry.h"
#include "outputs/reading_records.h"
#include "store/devinfo.h"
#include "store/realtime_row.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace {

using R = TemperatureRole;

const QDateTime kTime(QDate(2026, 12, 8), QTime(7, 0, 0));

Decimal D(const char* text)
{
    return *Decimal::parse(QString::fromLatin1(text));
}

struct Temperature {
    R role;
    const char* celsius;
};

RAnalogData Reading(PackFamily family, std::initializer_list<std::uint16_t> cells,
                    std::initializer_list<Temperature> temperatures)
{
    RAnalogData analog;
    analog.packNumber = 2;
    analog.time = kTime;
    analog.family = family;
    analog.extra.cellCount = std::uint8_t(cells.size());
    std::size_t k = 0;
    for (std::uint16_t cell : cells)
        analog.cellVoltages[k++] = cell;
    k = 0;
    for (const Temperature& t : temperatures) {
        analog.extra.temperatureRoles[k] = t.role;
        analog.extra.temperatures[k++] = D(t.celsius);
    }
    analog.extra.temperatureCount = std::uint8_t(temperatures.size());
    analog.totalVoltage = D("13.21");
    analog.current = D("-1.2");
    analog.remainingCapacity = D("50.5");
    analog.fullCapacity = D("100");
    analog.cycleCount = 12;
    // What our layout would show: the outputs must not take it for theirs.
    analog.soc = 99;
    analog.humidity = 40;
    analog.balancing[0] = 1;
    return analog;
}

RAlarmData Alarm(PackFamily family, std::initializer_list<std::uint8_t> status)
{
    RAlarmData alarm;
    alarm.packNumber = 2;
    alarm.family = family;
    alarm.cellStates[1] = 2;
    alarm.voltageState = 1;
    alarm.extra.temperatureCount = 2;
    alarm.extra.temperatureStates[1] = 0xF0;
    std::size_t k = 0;
    for (std::uint8_t byte : status)
        alarm.extra.status[k++] = byte;
    alarm.extra.statusCount = std::uint8_t(status.size());
    return alarm;
}

struct Case {
    PackFamily family;
    RAnalogData analog;
    RAlarmData alarm;
    QString analogJson;
    QString alarmJsonEnd;          // from "voltage_state" on
    std::vector<const char*> metrics;   // lines (without the value's end) a scrape holds
    std::vector<const char*> influx;    // lines (without the time stamp) the turn writes
    QStringList csv;               // SOC, SOH, ambient, FET, T1, T2, cell 4, family
};

std::vector<Case> Cases()
{
    std::vector<Case> cases;
    {
        Case a{PackFamily::A, Reading(PackFamily::A, {3301, 3302, 3303}, {{R::Board, "30.1"}, {R::CellSensor, "25"}}),
               Alarm(PackFamily::A, {1, 0, 0, 5, 0x80}), {}, {}, {}, {}, {}};
        a.alarm.extra.cellFaults = 0x8005;
        a.alarm.extra.dischargeCurrentState = 2;
        a.analogJson = "{\"type\":\"analog\",\"pack\":2,\"family\":\"A\",\"time\":\"2026-12-08 07:00:00\","
                       "\"voltage_V\":13.21,\"current_A\":-1.2,\"cells_mV\":[3301,3302,3303],\"temps_C\":[25],"
                       "\"board_C\":30.1,\"remaining_Ah\":50.5,\"full_Ah\":100,\"cycles\":12}";
        a.alarmJsonEnd = "\"current_state\":0,\"discharge_current_state\":2,\"voltage_state\":1,\"status_bytes\":"
                         "{\"status_1\":1,\"status_2\":0,\"status_3\":0,\"cell_faults_1_8\":5,\"cell_faults_9_16\":128},"
                         "\"cell_faults\":[1,3,16]}";
        a.metrics = {"bms_temperature_celsius{pack=\"2\",sensor=\"board\",bar_code=\"X\",family=\"A\"} 30.1",
                     "bms_temperature_celsius{pack=\"2\",sensor=\"cell1\",bar_code=\"X\",family=\"A\"} 25",
                     "bms_cell_voltage_volts{pack=\"2\",cell=\"3\",bar_code=\"X\",family=\"A\"} 3.303",
                     "bms_status_byte{pack=\"2\",name=\"cell_faults_9_16\",bar_code=\"X\",family=\"A\"} 128",
                     "bms_cell_fault{pack=\"2\",cell=\"3\",bar_code=\"X\",family=\"A\"} 1",
                     "bms_cell_fault{pack=\"2\",cell=\"2\",bar_code=\"X\",family=\"A\"} 0"};
        a.influx = {"bms,pack=2,bar_code=X,family=A,sensor=board temperature_celsius=30.1",
                    "bms,pack=2,bar_code=X,family=A,name=status_1 status_byte=1",
                    "bms,pack=2,bar_code=X,family=A,cell=1 cell_fault=1"};
        a.csv = {"", "", "", "", "25.0", "", "", "A"};
        cases.push_back(a);
    }
    {
        Case b{PackFamily::B,
               Reading(PackFamily::B, {3401, 3402, 3403, 3404},
                       {{R::CellSensor, "21"}, {R::CellSensor, "22.5"}, {R::Ambient, "19.4"}, {R::Mosfet, "33"}}),
               Alarm(PackFamily::B, {0, 0, 0, 0, 0, 0, 3}), {}, {}, {}, {}, {}};
        b.analog.extra.soc = D("85.3");   // sent as 853 ‰
        b.analog.extra.soh = D("99.9");
        b.analog.extra.designCapacity = D("105");
        b.analog.extra.portVoltage = D("13.19");
        b.analogJson = "{\"type\":\"analog\",\"pack\":2,\"family\":\"B\",\"time\":\"2026-12-08 07:00:00\","
                       "\"voltage_V\":13.21,\"current_A\":-1.2,\"cells_mV\":[3401,3402,3403,3404],"
                       "\"temps_C\":[21,22.5],\"ambient_C\":19.4,\"fet_C\":33,\"remaining_Ah\":50.5,\"full_Ah\":100,"
                       "\"cycles\":12,\"soc\":85.3,\"soh\":99.9,\"design_Ah\":105,\"port_voltage_V\":13.19}";
        b.alarmJsonEnd = "\"voltage_state\":1,\"status_bytes\":{\"alarm_event_1\":0,\"alarm_event_2\":0,"
                         "\"alarm_event_3\":0,\"alarm_event_4\":0,\"alarm_event_5\":0,\"alarm_event_6\":0,"
                         "\"switch_state\":3}}";
        b.metrics = {"bms_soc_ratio{pack=\"2\",bar_code=\"X\",family=\"B\"} 0.853",
                     "bms_soh_ratio{pack=\"2\",bar_code=\"X\",family=\"B\"} 0.999",
                     "bms_temperature_celsius{pack=\"2\",sensor=\"fet\",bar_code=\"X\",family=\"B\"} 33",
                     "bms_temperature_celsius{pack=\"2\",sensor=\"cell2\",bar_code=\"X\",family=\"B\"} 22.5",
                     "bms_design_capacity_coulombs{pack=\"2\",bar_code=\"X\",family=\"B\"} 378000",
                     "bms_port_voltage_volts{pack=\"2\",bar_code=\"X\",family=\"B\"} 13.19",
                     "bms_status_byte{pack=\"2\",name=\"switch_state\",bar_code=\"X\",family=\"B\"} 3"};
        b.influx = {"bms,pack=2,bar_code=X,family=B soc_ratio=0.853",
                    "bms,pack=2,bar_code=X,family=B,sensor=ambient temperature_celsius=19.4",
                    "bms,pack=2,bar_code=X,family=B design_capacity_coulombs=378000"};
        b.csv = {"85.3", "99.9", "19.4", "33.0", "21.0", "22.5", "3404", "B"};
        cases.push_back(b);
    }
    {
        Case c{PackFamily::C,
               Reading(PackFamily::C, {3201, 3202}, {{R::CellSensor, "-5.5"}, {R::Ambient, "1"}, {R::Mosfet, "2"}}),
               Alarm(PackFamily::C, {1, 2}), {}, {}, {}, {}, {}};
        RFamilyAnalog& e = c.analog.extra;
        e.soc = D("85");
        e.soh = D("100");
        e.chargedAh = D("1234.56");
        e.dischargedAh = D("1200.01");
        e.chargedKwh = D("61.728");
        e.dischargedKwh = D("60.001");
        e.chargingHours = 300;
        e.dischargingHours = 280;
        e.charges = 41;
        e.discharges = 40;
        e.highestCellTemperature = D("26.1");
        e.lowestCellTemperature = D("-5.5");
        c.analogJson = "{\"type\":\"analog\",\"pack\":2,\"family\":\"C\",\"time\":\"2026-12-08 07:00:00\","
                       "\"voltage_V\":13.21,\"current_A\":-1.2,\"cells_mV\":[3201,3202],\"temps_C\":[-5.5],"
                       "\"ambient_C\":1,\"fet_C\":2,\"remaining_Ah\":50.5,\"full_Ah\":100,\"cycles\":12,\"soc\":85,"
                       "\"soh\":100,\"charged_Ah\":1234.56,\"discharged_Ah\":1200.01,\"charged_kWh\":61.728,"
                       "\"discharged_kWh\":60.001,\"charging_h\":300,\"discharging_h\":280,\"charges\":41,"
                       "\"discharges\":40,\"highest_cell_temp_C\":26.1,\"lowest_cell_temp_C\":-5.5}";
        c.alarmJsonEnd = "\"voltage_state\":1,\"status_bytes\":{\"balancing_event\":1,\"voltage_event\":2}}";
        c.metrics = {"bms_charged_capacity_coulombs{pack=\"2\",bar_code=\"X\",family=\"C\"} 4444416",
                     "bms_discharged_energy_joules{pack=\"2\",bar_code=\"X\",family=\"C\"} 216003600",
                     "bms_charging_time_seconds{pack=\"2\",bar_code=\"X\",family=\"C\"} 1080000",
                     "bms_discharges{pack=\"2\",bar_code=\"X\",family=\"C\"} 40",
                     "bms_lowest_cell_temperature_celsius{pack=\"2\",bar_code=\"X\",family=\"C\"} -5.5",
                     "bms_soc_ratio{pack=\"2\",bar_code=\"X\",family=\"C\"} 0.85"};
        c.influx = {"bms,pack=2,bar_code=X,family=C charged_energy_joules=222220800",
                    "bms,pack=2,bar_code=X,family=C charges=41",
                    "bms,pack=2,bar_code=X,family=C,name=voltage_event status_byte=2"};
        c.csv = {"85", "100", "1.0", "2.0", "-5.5", "", "", "C"};
        cases.push_back(c);
    }
    {
        Case d{PackFamily::D,
               Reading(PackFamily::D, {3301, 3301, 3301, 3301, 3302},
                       {{R::CellSensor, "20"}, {R::Mosfet, "40.2"}, {R::Ambient, "18.9"}}),
               Alarm(PackFamily::D, {0x10, 0, 0, 0, 0x81}), {}, {}, {}, {}, {}};
        d.analog.extra.designCapacity = D("100");
        d.analogJson = "{\"type\":\"analog\",\"pack\":2,\"family\":\"D\",\"time\":\"2026-12-08 07:00:00\","
                       "\"voltage_V\":13.21,\"current_A\":-1.2,\"cells_mV\":[3301,3301,3301,3301,3302],"
                       "\"temps_C\":[20],\"ambient_C\":18.9,\"fet_C\":40.2,\"remaining_Ah\":50.5,\"full_Ah\":100,"
                       "\"cycles\":12,\"design_Ah\":100}";
        d.alarmJsonEnd = "\"voltage_state\":1,\"status_bytes\":{\"protection_1\":16,\"protection_2\":0,"
                         "\"instruction\":0,\"control\":0,\"fault\":129}}";
        d.metrics = {"bms_status_byte{pack=\"2\",name=\"fault\",bar_code=\"X\",family=\"D\"} 129",
                     "bms_temperature_celsius{pack=\"2\",sensor=\"ambient\",bar_code=\"X\",family=\"D\"} 18.9",
                     "bms_cell_voltage_volts{pack=\"2\",cell=\"5\",bar_code=\"X\",family=\"D\"} 3.302"};
        d.influx = {"bms,pack=2,bar_code=X,family=D,cell=5 cell_voltage_volts=3.302",
                    "bms,pack=2,bar_code=X,family=D,name=protection_1 status_byte=16",
                    "bms,pack=2,bar_code=X,family=D pack_up=1"};
        d.csv = {"", "", "18.9", "40.2", "20.0", "", "3301", "D"};
        cases.push_back(d);
    }
    return cases;
}

RPackSample Turn(const Case& c)
{
    RPackSample sample;
    sample.pack = 2;
    sample.address = 2;
    sample.barCode = QStringLiteral("X");
    sample.time = kTime;
    sample.analog = c.analog;
    sample.alarm = c.alarm;
    sample.exchanges = {{0x42, 0}, {0x44, 0}};
    return sample;
}

} // namespace

TEST(FamilyOutputs, EachFamilysReadingKeepsOurNamesAndCarriesItsFamily)
{
    TDevInfo store;
    for (const Case& c : Cases()) {
        const QString family = FamilyName(c.family);
        SCOPED_TRACE(family.toStdString());
        EXPECT_EQ(AnalogRecord(c.analog).toJson(), c.analogJson);
        const QString alarm = AlarmRecord(c.alarm, store.TextOper()).toJson();
        EXPECT_TRUE(alarm.startsWith(QStringLiteral("{\"type\":\"alarm\",\"pack\":2,\"family\":\"%1\",").arg(family)))
            << alarm.toStdString();
        EXPECT_TRUE(alarm.endsWith(c.alarmJsonEnd)) << alarm.toStdString();
        // Our status bits and our layout's fields are never read into theirs.
        for (const char* ours : {"\"status\":", "\"alarms\":", "\"short_circuit\"", "\"balancing\"", "\"humidity\""})
            EXPECT_FALSE(alarm.contains(QLatin1String(ours)) || c.analogJson.contains(QLatin1String(ours))) << ours;

        MetricsRegistry registry;
        registry.PackSampled(Turn(c));
        const QByteArray scrape = registry.Render(kTime.toUTC());
        for (const char* line : c.metrics)
            EXPECT_TRUE(scrape.contains(QByteArray(line) + '\n')) << line;
        EXPECT_TRUE(scrape.contains("bms_pack_up{pack=\"2\",bar_code=\"X\",family=\"" + family.toLatin1() + "\"} 1"));
        for (const char* ours : {"bms_alarm_active", "bms_protection_active", "bms_fault_active", "bms_humidity_ratio",
                                 "bms_cell_balancing"})
            EXPECT_FALSE(scrape.contains(ours)) << ours;
        EXPECT_EQ(scrape.contains("bms_soc_ratio"), c.analog.extra.soc.has_value());

        const QByteArray lines = InfluxLines(Turn(c));
        for (const char* line : c.influx)
            EXPECT_TRUE(lines.contains(QByteArray(line) + " 1")) << line;
        EXPECT_EQ(lines.count(",family=" + family.toLatin1()), InfluxLineCount(lines));
        EXPECT_FALSE(lines.contains("_active="));

        const QStringList row = RealtimeLogRow(1, c.analog, c.alarm, store);
        ASSERT_EQ(row.size(), kRealtimeLogColumns);
        const QStringList cells = {row[5], row[6], row[13], row[14], row[18], row[19], row[25], row[38]};
        EXPECT_EQ(cells, c.csv);
        EXPECT_EQ(row[10] + row[17], QString());   // humidity, balancing: not sent
    }
}

// Our packs' series stay as they were: no family label, and the CSV row
// names the family in its last column only.
TEST(FamilyOutputs, OurPacksKeepTheirSeriesAndNameTheirFamilyLast)
{
    RPackSample sample;
    sample.pack = 1;
    sample.time = kTime;
    sample.analog = RAnalogData{};
    sample.exchanges = {{0x42, 0}};
    EXPECT_FALSE(InfluxLines(sample).contains("family"));
    MetricsRegistry registry;
    registry.PackSampled(sample);
    EXPECT_FALSE(registry.Render(kTime.toUTC()).contains("family"));
    TDevInfo store;
    EXPECT_EQ(RealtimeLogRow(1, *sample.analog, RAlarmData{}, store).value(38), QStringLiteral("ours"));
    EXPECT_EQ(RealtimeLogHeaders(store.TextOper()).value(38), store.TextOper().GetLanguageText(0x38D1));
}
