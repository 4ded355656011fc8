#pragma once

#include "output.h"

#include "outputs/metrics_registry.h"
#include "outputs/metrics_server.h"

#include <QElapsedTimer>

#include <chrono>

// "poll --metrics": the registry the polling feeds and the server that
// shows it. An address that cannot be served (a port in use) does not stop
// the polling: it is reported once and tried again between passes until it
// can be served.
class PollMetrics {
public:
    static constexpr std::chrono::seconds kRetryPause{10};

    PollMetrics(const RListenAddress& where, std::chrono::seconds staleAfter, const Output& output);

    IPackSampleSink& sink() { return m_registry; }
    // Starts serving now, or again when the retry pause has passed since the
    // last attempt; call between passes. True while serving.
    bool serve();
    bool everServed() const { return m_everServed; }
    QString lastError() const { return m_lastError; }

private:
    RListenAddress m_where;
    const Output& m_output;
    MetricsRegistry m_registry;
    MetricsServer m_server{m_registry};
    QElapsedTimer m_sinceAttempt;
    bool m_everServed = false;
    bool m_reported = false;
    QString m_lastError;
};
