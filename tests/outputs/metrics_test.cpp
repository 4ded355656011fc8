// The Prometheus output: what a scrape shows for a table of pack turns
// (exact values, labels, staleness, fields not sent, counters), that a
// scrape never mixes two readings of a pack, the server's paths and
// methods, a port in use, and promtool's verdict on a real scrape.

#include "outputs/metrics_registry.h"
#include "outputs/metrics_server.h"
#include "protocol/status_bits.h"
#include "support/child_process.h"
#include "support/http_get.h"

#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string_view>

#include <atomic>
#include <thread>

namespace {

const QDateTime kStart(QDate(2026, 12, 8), QTime(6, 0, 0), Qt::UTC);

RAnalogData Analog(std::uint16_t cellMillivolts)
{
    RAnalogData analog;
    analog.cellVoltages.fill(0);
    for (int k = 0; k < 14; ++k)
        analog.cellVoltages[k] = cellMillivolts;
    analog.cellVoltages[2] = 0;   // a dead cell among the fitted ones
    analog.cellVoltages[4] = 3305;
    analog.cellTemperatures = {Decimal::fromRaw(253000), Decimal::fromRaw(-51000), Decimal::fromInt(0),
                               Decimal::fromRaw(24000)};
    analog.ambientTemperature = Decimal::fromRaw(221000);
    analog.fetTemperature = Decimal::fromInt(31);
    analog.current = Decimal::fromRaw(-123400);
    analog.totalVoltage = Decimal::fromRaw(532100);
    analog.remainingCapacity = Decimal::fromRaw(874500);
    analog.fullCapacity = Decimal::fromInt(100);
    analog.cycleCount = 412;
    analog.soc = 87;
    analog.soh = 100;
    analog.balancing[1] = 1;
    return analog;
}

RPackSample Sample(std::uint8_t pack, const QString& barCode, int second, std::optional<RAnalogData> analog,
                   std::optional<RAlarmData> alarm)
{
    RPackSample sample;
    sample.pack = pack;
    sample.address = pack;
    sample.barCode = barCode;
    sample.time = kStart.addSecs(second);
    const std::uint8_t analogResult = analog ? 0 : 0xAF;
    const std::uint8_t alarmResult = alarm ? 0 : 0xAF;
    sample.exchanges = {{0x42, analogResult}, {0x44, alarmResult}};
    sample.analog = analog;
    sample.alarm = alarm;
    return sample;
}

TEST(MetricsRegistryTest, AScrapeShowsEachReadingExactlyWithItsLabelsUntilItGoesStale)
{
    RAlarmData alarm;
    alarm.status[1] = 0x80;   // byte 2 bit 7: short circuit
    alarm.status[0] = 0x01;   // byte 1 bit 0: cell over-voltage alarm
    RAnalogData cellsOnly = Analog(3000);
    cellsOnly.fieldsSent = 1;

    MetricsRegistry registry(std::chrono::seconds(60));
    // Pack 2 answers throughout; pack 3 answered once, then went silent
    // for longer than the staleness period; pack 4 sent only its cells and
    // carries a bar code with a quote; pack 5 never answered.
    registry.PackSampled(Sample(3, QStringLiteral("BC3"), 0, Analog(3100), alarm));
    registry.PackSampled(Sample(2, QStringLiteral("BC2"), 10, Analog(3200), std::nullopt));
    registry.PackSampled(Sample(2, QStringLiteral("BC2"), 70, Analog(3201), alarm));
    registry.PackSampled(Sample(3, QString(), 70, std::nullopt, std::nullopt));
    registry.PackSampled(Sample(4, QStringLiteral("A\"B\\C"), 70, cellsOnly, std::nullopt));
    registry.PackSampled(Sample(5, QString(), 70, std::nullopt, std::nullopt));
    const QByteArray text = registry.Render(kStart.addSecs(75));

    struct Case {
        const char* line;
        bool served;
    } cases[] = {
        {"bms_cell_voltage_volts{pack=\"2\",cell=\"5\",bar_code=\"BC2\"} 3.305", true},
        {"bms_cell_voltage_volts{pack=\"2\",cell=\"3\",bar_code=\"BC2\"} 0", true},
        {"bms_cell_voltage_volts{pack=\"2\",cell=\"15\"", false},
        {"bms_cell_balancing{pack=\"2\",cell=\"2\",bar_code=\"BC2\"} 1", true},
        {"bms_temperature_celsius{pack=\"2\",sensor=\"cell1\",bar_code=\"BC2\"} 25.3", true},
        {"bms_temperature_celsius{pack=\"2\",sensor=\"cell2\",bar_code=\"BC2\"} -5.1", true},
        {"bms_temperature_celsius{pack=\"2\",sensor=\"fet\",bar_code=\"BC2\"} 31", true},
        {"bms_pack_current_amperes{pack=\"2\",bar_code=\"BC2\"} -12.34", true},
        {"bms_pack_voltage_volts{pack=\"2\",bar_code=\"BC2\"} 53.21", true},
        {"bms_remaining_capacity_coulombs{pack=\"2\",bar_code=\"BC2\"} 314820", true},
        {"bms_charge_cycles{pack=\"2\",bar_code=\"BC2\"} 412", true},
        {"bms_soc_ratio{pack=\"2\",bar_code=\"BC2\"} 0.87", true},
        {"bms_protection_active{pack=\"2\",name=\"short_circuit_protection\",bar_code=\"BC2\"} 1", true},
        {"bms_protection_active{pack=\"2\",name=\"cell_over_voltage_protection\",bar_code=\"BC2\"} 0", true},
        {"bms_alarm_active{pack=\"2\",name=\"cell_over_voltage_alarm\",bar_code=\"BC2\"} 1", true},
        {"bms_fault_active{pack=\"2\",name=\"clock_chip_fault\",bar_code=\"BC2\"} 0", true},
        {"bms_pack_up{pack=\"2\",bar_code=\"BC2\"} 1", true},
        {"bms_last_answer_timestamp_seconds{pack=\"2\",bar_code=\"BC2\"} 1796709670.000", true},
        // Pack 3: readings 75 s old are gone; it is down, its last answer kept.
        {"bms_pack_up{pack=\"3\",bar_code=\"BC3\"} 0", true},
        {"bms_last_answer_timestamp_seconds{pack=\"3\",bar_code=\"BC3\"} 1796709600.000", true},
        {"{pack=\"3\",cell=", false},
        {"bms_soc_ratio{pack=\"3\"", false},
        // Pack 4: the fields after the cells were not sent.
        {"bms_cell_voltage_volts{pack=\"4\",cell=\"1\",bar_code=\"A\\\"B\\\\C\"} 3", true},
        {"bms_pack_voltage_volts{pack=\"4\"", false},
        {"bms_temperature_celsius{pack=\"4\"", false},
        // Pack 5: asked, never answered.
        {"bms_pack_up{pack=\"5\"} 0", true},
        {"bms_last_answer_timestamp_seconds{pack=\"5\"", false},
        // Counters by command and result.
        {"bms_exchanges_total{pack=\"2\",command=\"ReadAnalogData\",result=\"0\"} 2", true},
        {"bms_exchanges_total{pack=\"2\",command=\"ReadAlarmData\",result=\"175\"} 1", true},
        {"bms_exchanges_total{pack=\"3\",command=\"ReadAlarmData\",result=\"175\"} 1", true},
        {"# TYPE bms_exchanges_total counter", true},
        {"nan", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(text.contains(c.line), c.served) << text.toStdString();
    }
    // Every family is one block: its name heads it once.
    EXPECT_EQ(text.count("# TYPE bms_pack_up "), 1);
    EXPECT_EQ(text.count("# HELP bms_pack_up "), 1);
}

// The polling thread replaces a pack's reading while another thread
// scrapes: every scrape shows all cells of one reading, never some of the
// old one and some of the new.
TEST(MetricsRegistryTest, AScrapeNeverMixesTwoReadingsOfAPack)
{
    MetricsRegistry registry;
    std::atomic<bool> done{false};
    std::thread polling([&] {
        for (int turn = 0; !done; ++turn) {
            RAnalogData analog;
            analog.cellVoltages.fill(turn % 2 ? 3500 : 3000);
            registry.PackSampled(Sample(1, QString(), 0, analog, std::nullopt));
        }
    });
    int mixed = 0;
    for (int scrape = 0; scrape < 300; ++scrape) {
        const QByteArray text = registry.Render(kStart);
        const bool low = text.contains("} 3\n");
        const bool high = text.contains("} 3.5\n");
        if (low && high)
            ++mixed;
    }
    done = true;
    polling.join();
    EXPECT_EQ(mixed, 0);
}

class MetricsServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RAlarmData alarm;
        m_registry.PackSampled(Sample(2, QStringLiteral("SIM48V100AH0002"), 0, Analog(3300), alarm));
        m_registry.PackSampled(Sample(3, QString(), 0, std::nullopt, std::nullopt));
        // Another maker's pack with every quantity only other families send,
        // so that promtool sees their names too.
        RAnalogData foreign = Analog(3300);
        foreign.family = PackFamily::C;
        foreign.extra.cellCount = 4;
        foreign.extra.temperatureCount = 2;
        foreign.extra.temperatureRoles = {TemperatureRole::CellSensor, TemperatureRole::Board};
        foreign.extra.soc = Decimal::fromInt(50);
        foreign.extra.designCapacity = foreign.extra.portVoltage = foreign.extra.chargedAh = Decimal::fromInt(1);
        foreign.extra.dischargedAh = foreign.extra.chargedKwh = foreign.extra.dischargedKwh = Decimal::fromInt(1);
        foreign.extra.highestCellTemperature = foreign.extra.lowestCellTemperature = Decimal::fromInt(20);
        foreign.extra.chargingHours = foreign.extra.dischargingHours = 7;
        foreign.extra.charges = foreign.extra.discharges = 3;
        RAlarmData foreignAlarm;
        foreignAlarm.family = PackFamily::C;
        foreignAlarm.extra.statusCount = 3;
        foreignAlarm.extra.cellFaults = 1;
        m_registry.PackSampled(Sample(4, QStringLiteral("C4"), 0, foreign, foreignAlarm));
        QString error;
        ASSERT_TRUE(m_server.start(RListenAddress{}, error)) << error.toStdString();
        ASSERT_NE(m_server.port(), 0);
    }

    MetricsRegistry m_registry{std::chrono::hours(24 * 365 * 100)};
    MetricsServer m_server{m_registry};
};

TEST_F(MetricsServerTest, OnlyGetAndHeadOfMetricsAreServed)
{
    struct Case {
        const char* method;
        const char* path;
        int status;
    } cases[] = {
        {"GET", "/metrics", 200},
        {"GET", "/metrics?x=1", 200},
        {"HEAD", "/metrics", 200},
        {"GET", "/", 404},
        {"GET", "/metrics/x", 404},
        {"GET", "/other", 404},
        {"POST", "/metrics", 405},
        {"PUT", "/metrics", 405},
        {"DELETE", "/metrics", 405},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path);
        const HttpAnswer answer = HttpRequest(m_server.port(), c.method, c.path);
        EXPECT_EQ(answer.status, c.status);
        // HEAD answers as GET does, without the body.
        EXPECT_EQ(answer.body.contains("bms_cell_voltage_volts{pack=\"2\",cell=\"5\""),
                  c.status == 200 && std::string_view(c.method) == "GET");
    }
}

TEST_F(MetricsServerTest, APortInUseOrABadAddressIsRefusedWithTheReason)
{
    MetricsServer second(m_registry);
    QString error;
    EXPECT_FALSE(second.start(RListenAddress{QHostAddress(QHostAddress::LocalHost), m_server.port()}, error));
    EXPECT_TRUE(error.contains(QStringLiteral("127.0.0.1:%1").arg(m_server.port()))) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("in use"))) << error.toStdString();
    EXPECT_EQ(HttpGet(m_server.port()).status, 200);

    struct Case {
        const char* text;
        bool valid;
        const char* expected;   // toString, or a part of the reason
    } cases[] = {
        {"9464", true, "127.0.0.1:9464"},
        {"0.0.0.0:80", true, "0.0.0.0:80"},
        {"*:9464", true, "0.0.0.0:9464"},
        {"[::1]:9464", true, "[::1]:9464"},
        {"65536", false, "0-65535"},
        {"host.example:9464", false, "host.example is not an IP address"},
        {"", false, "0-65535"},
        {":19477", false, "the address before \":\" is missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        QString why;
        const std::optional<RListenAddress> where = ParseListenAddress(QString::fromUtf8(c.text), &why);
        ASSERT_EQ(where.has_value(), c.valid);
        EXPECT_TRUE((c.valid ? where->toString() : why).contains(QLatin1String(c.expected)))
            << (c.valid ? where->toString() : why).toStdString();
    }
    // Every interface is announced as this computer reaches it, with a warning.
    const RListenAddress every = *ParseListenAddress(QStringLiteral("0.0.0.0:9464"));
    EXPECT_EQ(MetricsUrl(every), QStringLiteral("http://127.0.0.1:9464/metrics"));
    EXPECT_TRUE(EveryInterfaceWarning(every).contains(QStringLiteral("serves every network interface")));
    EXPECT_EQ(MetricsUrl(*ParseListenAddress(QStringLiteral("9464"))), QStringLiteral("http://127.0.0.1:9464/metrics"));
    EXPECT_TRUE(EveryInterfaceWarning(*ParseListenAddress(QStringLiteral("9464"))).isEmpty());
    // An address this computer does not have.
    const std::optional<RListenAddress> foreign = ParseListenAddress(QStringLiteral("192.0.2.1:0"));
    ASSERT_TRUE(foreign);
    EXPECT_FALSE(second.start(*foreign, error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("cannot serve metrics on 192.0.2.1:0: "))) << error.toStdString();
}

TEST_F(MetricsServerTest, PromtoolFindsNothingToCriticiseInAScrape)
{
    const QString promtool = QStringLiteral("/usr/bin/promtool");
    if (!QFile::exists(promtool))
        GTEST_SKIP() << "promtool (package prometheus) is not installed";
    const HttpAnswer answer = HttpGet(m_server.port());
    ASSERT_EQ(answer.status, 200);
    QTemporaryDir folder;
    QFile scrape(folder.filePath(QStringLiteral("scrape.txt")));
    ASSERT_TRUE(scrape.open(QIODevice::WriteOnly));
    scrape.write(answer.body);
    scrape.close();
    ChildProcess check;
    ASSERT_TRUE(check.start(QStringLiteral("/bin/sh"),
                            {QStringLiteral("-c"), QStringLiteral("exec \"$0\" check metrics < \"$1\""), promtool,
                             scrape.fileName()}));
    ASSERT_TRUE(check.waitForFinished(60000));
    EXPECT_EQ(check.exitCode(), 0) << check.standardOutput().toStdString() << check.standardError().toStdString();
}

} // namespace
