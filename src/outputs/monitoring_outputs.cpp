#include "outputs/monitoring_outputs.h"

#include "outputs/csv_sink.h"
#include "outputs/service_sinks.h"
#include "services/input_text.h"
#include "store/devinfo.h"

#include <utility>

namespace {

QString OutputName(ROutputEvent::Output output)
{
    switch (output) {
    case ROutputEvent::Output::Csv: return QStringLiteral("csv");
    case ROutputEvent::Output::Mqtt: return QStringLiteral("mqtt");
    case ROutputEvent::Output::Metrics: return QStringLiteral("metrics");
    case ROutputEvent::Output::Influx: return QStringLiteral("influx");
    }
    return {};
}

} // namespace

std::optional<MqttSettings> MqttSettingsOf(const RMonitoringSettings& settings, QString& error)
{
    std::optional<MqttUrl> url = ParseMqttUrl(settings.mqttUrl.trimmed(), error);
    if (!url)
        return std::nullopt;
    if (!settings.mqttUser.trimmed().isEmpty())
        url->user = settings.mqttUser.trimmed();
    if (!settings.mqttPassword.isEmpty()) {
        url->password = settings.mqttPassword;
    } else if (!settings.mqttPasswordFile.trimmed().isEmpty()) {
        QString why;
        const std::optional<QString> password = ReadSecretFile(settings.mqttPasswordFile.trimmed(), &why);
        if (!password) {
            error = QStringLiteral("the MQTT password file: %1").arg(why);
            return std::nullopt;
        }
        url->password = *password;
    }
    if (url->password && !url->password->isEmpty() && url->user.isEmpty()) {
        error = QStringLiteral("an MQTT password needs a user name: mqtt://USER@HOST");
        return std::nullopt;
    }
    MqttSettings mqtt;
    mqtt.url = *url;
    mqtt.prefix = settings.mqttPrefix.trimmed();
    if (!CheckTopicPrefix(mqtt.prefix, error))
        return std::nullopt;
    mqtt.retainState = settings.mqttRetain;
    mqtt.discovery = settings.mqttDiscovery;
    mqtt.queueLimit = settings.mqttQueue;
    return mqtt;
}

std::optional<InfluxSettings> InfluxSettingsOf(const RMonitoringSettings& settings, QString& error)
{
    InfluxSettings influx;
    influx.url = QUrl(settings.influxUrl.trimmed(), QUrl::StrictMode);
    influx.database = settings.influxDb.trimmed();
    influx.token = settings.influxToken.trimmed();
    influx.timeout = std::chrono::seconds(settings.influxTimeoutSeconds);
    influx.spoolBytes = settings.spoolBytes;
    influx.spoolFolder = settings.spoolFolder.isEmpty() ? DefaultInfluxSpoolFolder() : settings.spoolFolder;
    if (!InfluxWriteUrl(influx, error))
        return std::nullopt;
    return influx;
}

MonitoringOutputs::~MonitoringOutputs()
{
    Stop();
}

void MonitoringOutputs::attach(std::unique_ptr<IOutputSink> sink, ROutputEvent::Output output)
{
    QString error;
    if (!sink->Start(error)) {
        // What the output noted while it tried (a broker's answer) comes first.
        for (ROutputEvent& event : sink->TakeEvents())
            m_events.push_back(std::move(event));
        notStarted(output, error);
        return;
    }
    m_fanOut.Add(sink.get());
    m_sinks.push_back(std::move(sink));
}

void MonitoringOutputs::notStarted(ROutputEvent::Output output, const QString& why)
{
    ROutputEvent event;
    event.output = output;
    event.kind = ROutputEvent::Kind::NotStarted;
    event.detail = why;
    m_events.push_back(std::move(event));
    if (m_failure.isEmpty())
        m_failure = why.startsWith(OutputName(output) + u':') ? why : OutputName(output) + QStringLiteral(": ") + why;
}

void MonitoringOutputs::Apply(const RMonitoringSettings& settings, Use use, std::function<QDateTime()> csvClock)
{
    Stop();
    m_events.clear();
    m_finishWithin = use.finishWithin;
    m_failure.clear();
    using Output = ROutputEvent::Output;
    if (!settings.csvFolder.isEmpty()) {
        if (m_store)
            attach(std::make_unique<CsvSink>(*m_store, settings.csvFolder, std::move(csvClock)), Output::Csv);
        else
            notStarted(Output::Csv, QStringLiteral("no CSV logs here"));
    }
    if (settings.mqttOn) {
        QString error;
        if (std::optional<MqttSettings> mqtt = MqttSettingsOf(settings, error)) {
            mqtt->byPackNumber = use.listening;
            mqtt->firstAnswer = use.mqttFirstAnswer;
            auto sink = std::make_unique<MqttPackPublisher>(*mqtt, m_store ? m_store->TextOper() : m_texts);
            MqttPackPublisher* publisher = sink.get();
            attach(std::move(sink), Output::Mqtt);
            if (!m_sinks.empty() && m_sinks.back().get() == publisher)
                m_mqtt = publisher;
        } else {
            notStarted(Output::Mqtt, error);
        }
    }
    if (settings.metricsOn) {
        QString why;
        if (const std::optional<RListenAddress> where = ParseListenAddress(settings.metricsAddress.trimmed(), &why)) {
            auto sink = std::make_unique<MetricsSink>(*where, std::chrono::seconds(settings.metricsStaleSeconds));
            MetricsSink* metrics = sink.get();
            attach(std::move(sink), Output::Metrics);
            if (!m_sinks.empty() && m_sinks.back().get() == metrics)
                m_metrics = metrics;
        } else {
            notStarted(Output::Metrics, QStringLiteral("%1: %2").arg(QuotedInput(settings.metricsAddress), why));
        }
    }
    if (settings.influxOn) {
        QString error;
        if (const std::optional<InfluxSettings> influx = InfluxSettingsOf(settings, error)) {
            auto sink = std::make_unique<InfluxSink>(*influx);
            InfluxSink* writer = sink.get();
            attach(std::move(sink), Output::Influx);
            if (!m_sinks.empty() && m_sinks.back().get() == writer)
                m_influx = writer;
        } else {
            notStarted(Output::Influx, QStringLiteral("%1: %2").arg(QuotedInput(settings.influxUrl), error));
        }
    }
}

void MonitoringOutputs::Stop()
{
    // Off the fan-out first: once Remove returns, no turn reaches them.
    for (const std::unique_ptr<IOutputSink>& sink : m_sinks)
        m_fanOut.Remove(sink.get());
    for (const std::unique_ptr<IOutputSink>& sink : m_sinks) {
        sink->Finish(m_finishWithin);
        for (ROutputEvent& event : sink->TakeEvents())
            m_events.push_back(std::move(event));
        if (m_failure.isEmpty())
            m_failure = sink->Failure();
    }
    m_sinks.clear();
    m_metrics = nullptr;
    m_influx = nullptr;
    m_mqtt = nullptr;
}

void MonitoringOutputs::Pump()
{
    for (const std::unique_ptr<IOutputSink>& sink : m_sinks)
        sink->Pump();
}

std::vector<ROutputEvent> MonitoringOutputs::TakeEvents()
{
    std::vector<ROutputEvent> events = std::exchange(m_events, {});
    for (const std::unique_ptr<IOutputSink>& sink : m_sinks)
        for (ROutputEvent& event : sink->TakeEvents())
            events.push_back(std::move(event));
    return events;
}

QString MonitoringOutputs::Failure() const
{
    return m_failure;
}

std::optional<RListenAddress> MonitoringOutputs::MetricsServed() const
{
    return m_metrics ? m_metrics->Served() : std::nullopt;
}

InfluxWriter* MonitoringOutputs::Influx() const
{
    return m_influx ? &m_influx->Writer() : nullptr;
}
