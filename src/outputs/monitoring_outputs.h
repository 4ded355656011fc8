#pragma once

#include "outputs/influx_writer.h"
#include "outputs/metrics_registry.h"
#include "outputs/metrics_server.h"
#include "outputs/sample_fanout.h"
#include "services/settings.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// The outputs the window runs from its settings ([Monitoring] of BMS.ini):
// the Prometheus endpoint and the InfluxDB writer, behind one fan-out that
// the polling thread is given. Outputs can be turned on and off while the
// polling runs: the fan-out waits for a turn under way before one goes.
//
// Apply, Stop and the destructor run on the user-interface thread; the
// polling thread only calls the fan-out.
class MonitoringOutputs {
public:
    // What stopped an output from starting, for the window to word.
    struct Problem {
        enum class Output { Metrics, Influx } output;
        enum class Kind { BadAddress, NotServed, BadUrl, NotStarted } kind;
        QString detail;   // the reason (the address or URL for Bad...), at most 60 characters of input
    };

    MonitoringOutputs() = default;
    ~MonitoringOutputs();
    MonitoringOutputs(const MonitoringOutputs&) = delete;
    MonitoringOutputs& operator=(const MonitoringOutputs&) = delete;

    // Stops what runs and starts what the settings turn on. An output that
    // cannot start is left off and named in the list returned.
    std::vector<Problem> Apply(const RMonitoringSettings& settings);
    void Stop();

    // The sink for the polling thread: null while no output is on, so the
    // cycle stays the plain one.
    IPackSampleSink* Sink() { return m_fanOut.Empty() ? nullptr : &m_fanOut; }
    // Where /metrics is served (the port picked for port 0); none while it
    // is not.
    std::optional<RListenAddress> MetricsServed() const
    {
        return m_server && m_server->serving() ? std::optional(m_served) : std::nullopt;
    }
    // The writer while it runs (its counts and events), else null.
    InfluxWriter* Influx() const { return m_influx.get(); }

    // How long closing waits for the writer to send what it holds; the
    // rest stays in the spool for the next start.
    static constexpr std::chrono::milliseconds kFinishWithin{2000};

private:
    PackSampleFanOut m_fanOut;
    std::unique_ptr<MetricsRegistry> m_registry;
    std::unique_ptr<MetricsServer> m_server;
    RListenAddress m_served;
    std::unique_ptr<InfluxWriter> m_influx;
};
