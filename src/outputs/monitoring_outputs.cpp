#include "outputs/monitoring_outputs.h"

MonitoringOutputs::~MonitoringOutputs()
{
    Stop();
}

void MonitoringOutputs::Stop()
{
    // Off the fan-out first: once Remove returns, no turn reaches them.
    if (m_registry)
        m_fanOut.Remove(m_registry.get());
    if (m_influx)
        m_fanOut.Remove(m_influx.get());
    m_server.reset();
    m_registry.reset();
    if (m_influx)
        m_influx->Finish(kFinishWithin);
    m_influx.reset();
}

std::vector<MonitoringOutputs::Problem> MonitoringOutputs::Apply(const RMonitoringSettings& settings)
{
    Stop();
    std::vector<Problem> problems;
    if (settings.metricsOn) {
        QString why;
        const std::optional<RListenAddress> where = ParseListenAddress(settings.metricsAddress, &why);
        if (!where) {
            problems.push_back({Problem::Output::Metrics, Problem::Kind::BadAddress, why});
        } else {
            auto registry = std::make_unique<MetricsRegistry>(std::chrono::seconds(settings.metricsStaleSeconds));
            auto server = std::make_unique<MetricsServer>(*registry);
            QString error;
            if (server->start(*where, error)) {
                m_registry = std::move(registry);
                m_server = std::move(server);
                m_served = *where;
                m_served.port = m_server->port();
                m_fanOut.Add(m_registry.get());
            } else {
                problems.push_back({Problem::Output::Metrics, Problem::Kind::NotServed, error});
            }
        }
    }
    if (settings.influxOn) {
        InfluxSettings influx;
        influx.url = QUrl(settings.influxUrl.trimmed());
        influx.database = settings.influxDb.trimmed();
        influx.token = settings.influxToken.trimmed();
        influx.spoolFolder = DefaultInfluxSpoolFolder();
        influx.spoolBytes = std::int64_t(settings.spoolMb) * 1024 * 1024;
        auto writer = std::make_unique<InfluxWriter>(influx);
        QString error;
        if (!InfluxWriteUrl(influx, error)) {
            problems.push_back({Problem::Output::Influx, Problem::Kind::BadUrl, settings.influxUrl.left(60)});
        } else if (writer->Start(error)) {
            m_influx = std::move(writer);
            m_fanOut.Add(m_influx.get());
        } else {
            problems.push_back({Problem::Output::Influx, Problem::Kind::NotStarted, error});
        }
    }
    return problems;
}
