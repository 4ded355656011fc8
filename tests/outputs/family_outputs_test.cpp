// Other makers' packs in every output: one reading of each family, written
// out by hand as the decoders give it, against the JSON line, the metrics,
// the line protocol and the CSV row expected of it. The same names as for
// our packs, the family as a label, their status bytes by their own names.

#include "outputs/influx_lines.h"
#include "outputs/metrics_registry.h"
#include "outputs/mqtt_packs.h"
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

RPackSample Turn(PackFamily family, int cells, std::initializer_list<std::pair<R, const char*>> temperatures,
                 std::initializer_list<std::uint8_t> status)
{
    RAnalogData analog;
    analog.packNumber = 2;
    analog.time = kTime;
    analog.family = family;
    analog.extra.cellCount = std::uint8_t(cells);
    for (int k = 0; k < cells; ++k)
        analog.cellVoltages[std::size_t(k)] = std::uint16_t(3301 + k);
    for (const auto& [role, celsius] : temperatures) {
        analog.extra.temperatureRoles[analog.extra.temperatureCount] = role;
        analog.extra.temperatures[analog.extra.temperatureCount++] = D(celsius);
    }
    analog.totalVoltage = D("13.21");
    analog.current = D("-1.2");
    analog.remainingCapacity = D("50.5");
    analog.fullCapacity = D("100");
    analog.cycleCount = 12;
    // What our layout would show: the outputs must not take it for theirs.
    analog.soc = 99;
    analog.humidity = 40;
    analog.balancing[0] = 1;
    RAlarmData alarm;
    alarm.packNumber = 2;
    alarm.family = family;
    alarm.voltageState = 1;
    for (std::uint8_t byte : status)
        alarm.extra.status[alarm.extra.statusCount++] = byte;
    RPackSample sample;
    sample.pack = sample.address = 2;
    sample.family = family;
    sample.barCode = QStringLiteral("X");
    sample.time = kTime;
    sample.analog = analog;
    sample.alarm = alarm;
    sample.exchanges = {{0x42, 0}, {0x44, 0}};
    return sample;
}

struct Case {
    RPackSample turn;
    QString analogJson;                 // after "time"
    std::vector<const char*> metrics;   // lines a scrape holds, but their value
    std::vector<const char*> influx;    // lines the turn writes, but their time stamp
    QStringList csv;                    // SOC, SOH, ambient, FET, T1, T2, cell 4, family
};

std::vector<Case> Cases()
{
    Case a{Turn(PackFamily::A, 3, {{R::Board, "30.1"}, {R::CellSensor, "25"}}, {1, 0, 0, 5, 0x80}),
           "\"voltage_V\":13.21,\"current_A\":-1.2,\"cells_mV\":[3301,3302,3303],\"temps_C\":[25],\"board_C\":30.1,"
           "\"remaining_Ah\":50.5,\"full_Ah\":100,\"cycles\":12}",
           {"bms_temperature_celsius{pack=\"2\",sensor=\"board\",bar_code=\"X\",family=\"A\"} 30.1",
            "bms_status_byte{pack=\"2\",name=\"cell_faults_9_16\",bar_code=\"X\",family=\"A\"} 128",
            "bms_cell_fault{pack=\"2\",cell=\"3\",bar_code=\"X\",family=\"A\"} 1",
            "bms_cell_fault{pack=\"2\",cell=\"2\",bar_code=\"X\",family=\"A\"} 0"},
           {"bms,pack=2,bar_code=X,family=A,sensor=cell1 temperature_celsius=25",
            "bms,pack=2,bar_code=X,family=A,cell=1 cell_fault=1"},
           {"", "", "", "", "25.0", "", "", "A"}};
    a.turn.alarm->extra.cellFaults = 0x8005;   // cells 1, 3 and 16 (not fitted)
    a.turn.alarm->extra.dischargeCurrentState = 2;

    Case b{Turn(PackFamily::B, 4, {{R::CellSensor, "21"}, {R::CellSensor, "22.5"}, {R::Ambient, "19.4"}, {R::Mosfet, "33"}},
                {0, 0, 0, 0, 0, 0, 3}),
           "\"voltage_V\":13.21,\"current_A\":-1.2,\"cells_mV\":[3301,3302,3303,3304],\"temps_C\":[21,22.5],"
           "\"ambient_C\":19.4,\"fet_C\":33,\"remaining_Ah\":50.5,\"full_Ah\":100,\"cycles\":12,\"soc\":85.3,"
           "\"soh\":99.9,\"design_Ah\":105,\"port_voltage_V\":13.19}",
           {"bms_soc_ratio{pack=\"2\",bar_code=\"X\",family=\"B\"} 0.853",
            "bms_temperature_celsius{pack=\"2\",sensor=\"fet\",bar_code=\"X\",family=\"B\"} 33",
            "bms_design_capacity_coulombs{pack=\"2\",bar_code=\"X\",family=\"B\"} 378000",
            "bms_status_byte{pack=\"2\",name=\"switch_state\",bar_code=\"X\",family=\"B\"} 3"},
           {"bms,pack=2,bar_code=X,family=B soh_ratio=0.999", "bms,pack=2,bar_code=X,family=B port_voltage_volts=13.19"},
           {"85.3", "99.9", "19.4", "33.0", "21.0", "22.5", "3304", "B"}};
    b.turn.analog->extra.soc = D("85.3");   // sent as 853 per mille
    b.turn.analog->extra.soh = D("99.9");
    b.turn.analog->extra.designCapacity = D("105");
    b.turn.analog->extra.portVoltage = D("13.19");

    Case c{Turn(PackFamily::C, 2, {{R::CellSensor, "-5.5"}, {R::Ambient, "1"}, {R::Mosfet, "2"}}, {1, 2}),
           "\"voltage_V\":13.21,\"current_A\":-1.2,\"cells_mV\":[3301,3302],\"temps_C\":[-5.5],\"ambient_C\":1,"
           "\"fet_C\":2,\"remaining_Ah\":50.5,\"full_Ah\":100,\"cycles\":12,\"soc\":85,\"soh\":100,"
           "\"charged_Ah\":1234.56,\"discharged_kWh\":60.001,\"charging_h\":300,\"discharges\":40,"
           "\"lowest_cell_temp_C\":-5.5}",
           {"bms_charged_capacity_coulombs{pack=\"2\",bar_code=\"X\",family=\"C\"} 4444416",
            "bms_discharged_energy_joules{pack=\"2\",bar_code=\"X\",family=\"C\"} 216003600",
            "bms_charging_time_seconds{pack=\"2\",bar_code=\"X\",family=\"C\"} 1080000",
            "bms_soc_ratio{pack=\"2\",bar_code=\"X\",family=\"C\"} 0.85"},
           {"bms,pack=2,bar_code=X,family=C discharges=40",
            "bms,pack=2,bar_code=X,family=C,name=voltage_event status_byte=2"},
           {"85", "100", "1.0", "2.0", "-5.5", "", "", "C"}};
    RFamilyAnalog& e = c.turn.analog->extra;
    e.soc = D("85");
    e.soh = D("100");
    e.chargedAh = D("1234.56");
    e.dischargedKwh = D("60.001");
    e.chargingHours = 300;
    e.discharges = 40;
    e.lowestCellTemperature = D("-5.5");

    Case d{Turn(PackFamily::D, 5, {{R::CellSensor, "20"}, {R::Mosfet, "40.2"}, {R::Ambient, "18.9"}}, {0x10, 0, 0, 0, 0x81}),
           "\"voltage_V\":13.21,\"current_A\":-1.2,\"cells_mV\":[3301,3302,3303,3304,3305],\"temps_C\":[20],"
           "\"ambient_C\":18.9,\"fet_C\":40.2,\"remaining_Ah\":50.5,\"full_Ah\":100,\"cycles\":12}",
           {"bms_status_byte{pack=\"2\",name=\"fault\",bar_code=\"X\",family=\"D\"} 129",
            "bms_cell_voltage_volts{pack=\"2\",cell=\"5\",bar_code=\"X\",family=\"D\"} 3.305"},
           {"bms,pack=2,bar_code=X,family=D,name=protection_1 status_byte=16", "bms,pack=2,bar_code=X,family=D pack_up=1"},
           {"", "", "18.9", "40.2", "20.0", "", "3304", "D"}};
    return {a, b, c, d};
}

} // namespace

TEST(FamilyOutputs, EachFamilysReadingKeepsOurNamesAndCarriesItsFamily)
{
    TDevInfo store;
    for (const Case& c : Cases()) {
        const QByteArray family = FamilyName(c.turn.family).toLatin1();
        SCOPED_TRACE(family.toStdString());
        const RAnalogData& analog = *c.turn.analog;
        EXPECT_EQ(AnalogRecord(analog).toJson(),
                  QStringLiteral(R"({"type":"analog","pack":2,"family":"%1","time":"2026-12-08 07:00:00",)")
                          .arg(QLatin1String(family))
                      + c.analogJson);
        EXPECT_TRUE(StatePayload(2, QStringLiteral("X"), &analog, &*c.turn.alarm, store.TextOper())
                        .startsWith("{\"pack\":2,\"bar_code\":\"X\",\"family\":\"" + family + "\",\"analog\":{"));
        // Our status bits never name another family's bytes.
        const QString alarm = AlarmRecord(*c.turn.alarm, store.TextOper()).toJson();
        for (const char* ours : {"\"status\":", "\"alarms\":", "\"short_circuit\""})
            EXPECT_FALSE(alarm.contains(QLatin1String(ours))) << ours;

        MetricsRegistry registry;
        registry.PackSampled(c.turn);
        const QByteArray scrape = registry.Render(kTime.toUTC());
        for (const char* line : c.metrics)
            EXPECT_TRUE(scrape.contains(QByteArray(line) + '\n')) << line;
        EXPECT_TRUE(scrape.contains("bms_pack_up{pack=\"2\",bar_code=\"X\",family=\"" + family + "\"} 1"));
        for (const char* ours : {"bms_alarm_active", "bms_fault_active", "bms_humidity_ratio", "bms_cell_balancing"})
            EXPECT_FALSE(scrape.contains(ours)) << ours;
        EXPECT_EQ(scrape.contains("bms_soc_ratio"), analog.extra.soc.has_value());

        const QByteArray lines = InfluxLines(c.turn);
        for (const char* line : c.influx)
            EXPECT_TRUE(lines.contains(QByteArray(line) + " 1")) << line;
        EXPECT_EQ(lines.count(",family=" + family), InfluxLineCount(lines));
        EXPECT_FALSE(lines.contains("_active="));

        const QStringList row = RealtimeLogRow(1, analog, *c.turn.alarm, store);
        ASSERT_EQ(row.size(), kRealtimeLogColumns);
        EXPECT_EQ((QStringList{row[5], row[6], row[13], row[14], row[18], row[19], row[25], row[38]}), c.csv);
        EXPECT_EQ(row[10] + row[17], QString());   // humidity, balancing: not sent
    }
    // Family A's alarm: its bytes by its names, the discharge state apart,
    // the faulty cells by number.
    const Case a = Cases().front();
    EXPECT_TRUE(AlarmRecord(*a.turn.alarm, store.TextOper())
                    .toJson()
                    .endsWith("\"current_state\":0,\"discharge_current_state\":2,\"voltage_state\":1,\"status_bytes\":"
                              "{\"status_1\":1,\"status_2\":0,\"status_3\":0,\"cell_faults_1_8\":5,"
                              "\"cell_faults_9_16\":128},\"cell_faults\":[1,3,16]}"));
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
