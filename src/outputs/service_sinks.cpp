#include "outputs/service_sinks.h"

#include <QDir>

#include <utility>

MetricsSink::MetricsSink(const RListenAddress& where, std::chrono::seconds staleAfter)
    : m_where(where), m_registry(staleAfter)
{
}

void MetricsSink::note(ROutputEvent::Kind kind, const QString& where, const QString& detail)
{
    ROutputEvent event;
    event.output = ROutputEvent::Output::Metrics;
    event.kind = kind;
    event.where = where;
    event.detail = detail;
    const std::lock_guard<std::mutex> lock(m_lock);
    m_events.push_back(std::move(event));
}

bool MetricsSink::Start(QString&)
{
    Pump();
    return true;
}

void MetricsSink::Pump()
{
    if (m_server.serving())
        return;
    if (m_sinceAttempt.isValid() && !m_sinceAttempt.hasExpired(std::chrono::milliseconds(kRetryPause).count()))
        return;
    m_sinceAttempt.start();
    QString error;
    if (!m_server.start(m_where, error)) {
        m_lastError = error;
        // Once, not at every attempt.
        if (!m_reported) {
            m_reported = true;
            note(ROutputEvent::Kind::NotStarted, m_where.toString(), error);
        }
        return;
    }
    m_everServed = true;
    RListenAddress served = m_where;
    served.port = m_server.port();
    // Served on every interface: the URL names one that answers, and the
    // warning goes with it as the event's detail.
    note(ROutputEvent::Kind::Started, MetricsUrl(served), EveryInterfaceWarning(served));
}

std::optional<RListenAddress> MetricsSink::Served() const
{
    if (!m_server.serving())
        return std::nullopt;
    RListenAddress served = m_where;
    served.port = m_server.port();
    return served;
}

std::vector<ROutputEvent> MetricsSink::TakeEvents()
{
    const std::lock_guard<std::mutex> lock(m_lock);
    return std::exchange(m_events, {});
}

void MetricsSink::Finish(std::chrono::milliseconds)
{
    m_server.stop();
}

QString MetricsSink::Failure() const
{
    // Polling went on without the endpoint; the run still did not do all
    // it was asked.
    return m_everServed ? QString() : QStringLiteral("metrics were never served: %1").arg(m_lastError);
}

ROutputEvent InfluxSink::Event(ROutputEvent::Kind kind) const
{
    const InfluxWriter::Counts counts = m_writer.counts();
    ROutputEvent event;
    event.output = ROutputEvent::Output::Influx;
    event.kind = kind;
    event.where = m_writer.Server();
    event.folder = m_writer.SpoolFolder();
    event.counts = {counts.sent, counts.spooled, counts.dropped, counts.rejected, counts.waiting};
    return event;
}

std::vector<ROutputEvent> InfluxSink::TakeEvents()
{
    using Kind = InfluxWriter::Event::Kind;
    std::vector<ROutputEvent> events;
    for (const InfluxWriter::Event& happened : m_writer.TakeEvents()) {
        ROutputEvent::Kind kind = ROutputEvent::Kind::Unreachable;
        switch (happened.kind) {
        case Kind::Unreachable: kind = ROutputEvent::Kind::Unreachable; break;
        case Kind::Back: kind = ROutputEvent::Kind::Back; break;
        case Kind::Rejected: kind = ROutputEvent::Kind::Refused; break;
        case Kind::SpoolFull: kind = ROutputEvent::Kind::SpoolFull; break;
        case Kind::SpoolFailed: kind = ROutputEvent::Kind::SpoolFailed; break;
        case Kind::QueueFull: kind = ROutputEvent::Kind::QueueFull; break;
        case Kind::SpoolCut: kind = ROutputEvent::Kind::SpoolCut; break;
        case Kind::RemoveFailed: kind = ROutputEvent::Kind::RemoveFailed; break;
        }
        ROutputEvent event = Event(kind);
        event.httpStatus = happened.httpStatus;
        event.detail = happened.detail;
        events.push_back(std::move(event));
    }
    const std::lock_guard<std::mutex> lock(m_lock);
    if (m_finished) {
        events.push_back(Event(ROutputEvent::Kind::Finished));
        m_finished = false;
    }
    return events;
}

QString InfluxSink::Failure() const
{
    const InfluxWriter::Counts counts = m_writer.counts();
    if (counts.dropped == 0 && counts.rejected == 0)
        return {};
    return QStringLiteral("influx: %1 lines dropped, %2 refused by the server; %3 sent, %4 wait in the spool")
        .arg(counts.dropped)
        .arg(counts.rejected)
        .arg(counts.sent)
        .arg(counts.spooled);
}

void InfluxSink::Finish(std::chrono::milliseconds within)
{
    m_writer.Finish(within);
    const std::lock_guard<std::mutex> lock(m_lock);
    m_finished = true;
}
