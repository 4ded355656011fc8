// The outputs built from the one settings value: an output that cannot
// start is named with its reason and the others go on; every output gets
// each turn; stopping ends each with its counts.

#include "outputs/monitoring_outputs.h"
#include "store/devinfo.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(MonitoringOutputs, AnOutputThatCannotStartIsNamedAndTheOthersGoOn)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TDevInfo store;
    MonitoringOutputs outputs(store);
    RMonitoringSettings settings;
    settings.csvFolder = dir.filePath(QStringLiteral("logs"));
    settings.metricsOn = true;
    settings.metricsAddress = QStringLiteral("127.0.0.1:0");
    settings.mqttOn = true;
    settings.mqttUrl = QStringLiteral("mqtts://broker");
    settings.influxOn = true;
    settings.influxUrl = QStringLiteral("ftp://server");
    outputs.Apply(settings, {});

    std::map<ROutputEvent::Output, ROutputEvent::Kind> kinds;
    for (const ROutputEvent& event : outputs.TakeEvents())
        kinds[event.output] = event.kind;
    using Kind = ROutputEvent::Kind;
    using Output = ROutputEvent::Output;
    EXPECT_EQ(kinds[Output::Mqtt], Kind::NotStarted);
    EXPECT_EQ(kinds[Output::Influx], Kind::NotStarted);
    EXPECT_EQ(kinds[Output::Metrics], Kind::Started);
    EXPECT_EQ(kinds.count(Output::Csv), 0u);
    EXPECT_TRUE(outputs.Failure().startsWith(QStringLiteral("mqtt: "))) << outputs.Failure().toStdString();
    ASSERT_TRUE(outputs.MetricsServed());
    EXPECT_FALSE(outputs.Influx());

    RPackSample sample;
    sample.pack = 1;
    sample.address = 1;
    sample.time = QDateTime::currentDateTime();
    RAnalogData analog;
    analog.totalVoltage = Decimal::fromInt(52);
    sample.analog = analog;
    sample.exchanges = {{0x42, 0}};
    ASSERT_NE(outputs.Sink(), nullptr);
    outputs.Sink()->PackSampled(sample);
    EXPECT_EQ(QDir(settings.csvFolder).entryList(QDir::Files).size(), 1);

    outputs.Stop();
    EXPECT_FALSE(outputs.MetricsServed());
    EXPECT_EQ(outputs.Sink(), nullptr);
    const std::vector<ROutputEvent> last = outputs.TakeEvents();
    ASSERT_EQ(last.size(), 1u);   // the CSV logs' counts; the endpoint has none
    EXPECT_EQ(last[0].kind, Kind::Finished);
    EXPECT_EQ(last[0].counts.sent, 1);
}
