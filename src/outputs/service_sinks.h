#pragma once

#include "outputs/influx_writer.h"
#include "outputs/metrics_registry.h"
#include "outputs/metrics_server.h"
#include "outputs/output_sink.h"

#include <QElapsedTimer>

#include <memory>
#include <mutex>
#include <optional>

// The Prometheus endpoint as an output: the registry the turns feed and the
// server that shows it. An address that cannot be served (a port in use)
// stops nothing else: it is reported once and tried again from Pump until
// it can be served. Start, Pump and Finish run on the owner's thread.
class MetricsSink final : public IOutputSink {
public:
    static constexpr std::chrono::seconds kRetryPause{10};

    MetricsSink(const RListenAddress& where, std::chrono::seconds staleAfter);

    bool Start(QString& error) override;
    void PackSampled(const RPackSample& sample) override { m_registry.PackSampled(sample); }
    void Pump() override;
    std::vector<ROutputEvent> TakeEvents() override;
    void Finish(std::chrono::milliseconds within) override;
    QString Failure() const override;

    // Where /metrics is served now (the port picked for port 0); none while
    // it is not.
    std::optional<RListenAddress> Served() const;

private:
    void note(ROutputEvent::Kind kind, const QString& where, const QString& detail);

    RListenAddress m_where;
    MetricsRegistry m_registry;
    MetricsServer m_server{m_registry};
    QElapsedTimer m_sinceAttempt;
    bool m_everServed = false;
    bool m_reported = false;
    QString m_lastError;
    mutable std::mutex m_lock;
    std::vector<ROutputEvent> m_events;   // guarded by m_lock
};

// The line-protocol writer as an output; its own thread sends, this only
// words its events as the one event type.
class InfluxSink final : public IOutputSink {
public:
    explicit InfluxSink(const InfluxSettings& settings) : m_writer(settings) {}

    bool Start(QString& error) override { return m_writer.Start(error); }
    void PackSampled(const RPackSample& sample) override { m_writer.PackSampled(sample); }
    std::vector<ROutputEvent> TakeEvents() override;
    void Finish(std::chrono::milliseconds within) override;
    // Lines dropped or refused: the run did not deliver all it read.
    QString Failure() const override;

    InfluxWriter& Writer() { return m_writer; }

private:
    ROutputEvent Event(ROutputEvent::Kind kind) const;

    InfluxWriter m_writer;
    mutable std::mutex m_lock;
    bool m_finished = false;   // guarded by m_lock
};
