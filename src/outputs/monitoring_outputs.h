#pragma once

#include "outputs/mqtt_packs.h"
#include "outputs/output_sink.h"
#include "outputs/sample_fanout.h"
#include "outputs/service_sinks.h"
#include "services/settings.h"
#include "services/textoper.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class TDevInfo;
class CsvSink;

// The outputs of the readings, built from one settings value: the per-pack
// CSV logs, MQTT with its discovery, the Prometheus endpoint and the
// line-protocol writer, behind one fan-out that the polling thread (or the
// bus listener) is given. The window, "bmstool poll" and "bmstool listen"
// each run one. Outputs can be changed while the polling runs: the fan-out
// waits for a turn under way before one goes.
//
// Apply, Pump, TakeEvents, Stop and the destructor run on the owner's thread
// (the window's, the tool's main thread); the polling thread only calls the
// fan-out.
class MonitoringOutputs {
public:
    // Built from what the outputs are for.
    struct Use {
        // Listening: MQTT names packs by number from the first reading, as
        // a bar code is heard only if the master asks for it.
        bool listening = false;
        // How long Finish may take, and how long MQTT waits for the
        // broker's first answer when it starts.
        std::chrono::milliseconds finishWithin{2000};
        std::chrono::milliseconds mqttFirstAnswer{5000};
    };

    // store: the texts of payloads and log rows, read only. Without one
    // (the window, which keeps its own logs) there are no CSV logs.
    MonitoringOutputs() = default;
    explicit MonitoringOutputs(const TDevInfo& store) : m_store(&store) {}
    ~MonitoringOutputs();
    MonitoringOutputs(const MonitoringOutputs&) = delete;
    MonitoringOutputs& operator=(const MonitoringOutputs&) = delete;

    // Finishes what runs and starts what the settings turn on. An output
    // that cannot start is left off and named by a NotStarted event; the
    // others go on. csvClock: the CSV logs' local time, the PC's by default.
    void Apply(const RMonitoringSettings& settings, Use use, std::function<QDateTime()> csvClock = {});
    // Finishes every output by the deadline of Use; their last events wait
    // in TakeEvents.
    void Stop();
    // Keeps connections going and tries again what failed; call between
    // passes or from a timer.
    void Pump();
    std::vector<ROutputEvent> TakeEvents();
    // The first failure: an output that did not start, or (once stopped)
    // one that lost readings or never delivered; empty when every output
    // did its work.
    QString Failure() const;

    // The sink for the polling thread: null while no output is on, so the
    // cycle stays the plain one.
    IPackSampleSink* Sink() { return m_fanOut.Empty() ? nullptr : &m_fanOut; }
    // Where /metrics is served (the port picked for port 0); none while it
    // is not.
    std::optional<RListenAddress> MetricsServed() const;
    // The line-protocol writer while it runs (its counts), else null.
    InfluxWriter* Influx() const;
    bool MqttOn() const { return m_mqtt != nullptr; }
    // The polling turned to listening or back: MQTT names packs met from
    // now on as Use::listening says.
    void SetListening(bool listening)
    {
        if (m_mqtt)
            m_mqtt->SetByPackNumber(listening);
    }
    // The broker refused the credentials: the client has given up.
    bool MqttRefused() const { return m_mqtt && m_mqtt->refused(); }
    bool Empty() const { return m_sinks.empty(); }

private:
    void attach(std::unique_ptr<IOutputSink> sink, ROutputEvent::Output output);
    void notStarted(ROutputEvent::Output output, const QString& why);

    const TDevInfo* m_store = nullptr;
    TTextOper m_texts;
    PackSampleFanOut m_fanOut;
    std::vector<std::unique_ptr<IOutputSink>> m_sinks;
    std::vector<ROutputEvent> m_events;   // from Apply and Stop, before the sinks' own
    QString m_failure;
    std::chrono::milliseconds m_finishWithin{2000};
    MetricsSink* m_metrics = nullptr;
    InfluxSink* m_influx = nullptr;
    MqttPackPublisher* m_mqtt = nullptr;
};

// The settings of each output from the one value; none with the reason
// (worded for the user, at most 60 characters of input quoted) when they
// do not parse. The tool checks them before it opens the port, the window
// where it starts the outputs.
std::optional<MqttSettings> MqttSettingsOf(const RMonitoringSettings& settings, QString& error);
std::optional<InfluxSettings> InfluxSettingsOf(const RMonitoringSettings& settings, QString& error);
