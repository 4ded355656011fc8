#pragma once

// The outputs of "poll" and "listen": their options parsed into the one
// settings value, and their events worded on the tool's outputs (failures
// on standard error, state changes as "mqtt", "metrics" and "influx" lines).
#include "command_line.h"

#include "outputs/monitoring_outputs.h"
#include "services/settings.h"

#include <functional>

class Output;

inline constexpr std::int64_t kMaxMqttQueue = 1000000;

// --csv, --mqtt..., --metrics..., --influx... into settings, checked before
// the port is opened; false with the usage message.
bool PrepareOutputOptions(const CommandArgs& args, RMonitoringSettings& settings, QString& error);

// Starts the outputs the settings turn on and prints what they said; false
// with the reason when the CSV logs or MQTT cannot start. A line-protocol
// writer that cannot start is reported and left off: the run goes on and
// ends with exit status 1.
bool StartOutputs(MonitoringOutputs& outputs, const RMonitoringSettings& settings, bool listening,
                  const Output& output, QString& error);
// Keeps the outputs going and prints their events; call between exchanges.
void PumpOutputs(MonitoringOutputs& outputs, const Output& output);
// Finishes the outputs (sends what they can for a few seconds) and prints
// what became of the readings; the first failure, empty when none.
QString FinishOutputs(MonitoringOutputs& outputs, const Output& output);
// The run stops when a stop is asked for or the broker refuses the
// credentials.
std::function<bool()> StopRequested(const MonitoringOutputs& outputs);
