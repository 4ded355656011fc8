#pragma once

#include "command_line.h"

#include "outputs/influx_writer.h"

#include <optional>

class Output;

// poll --influx URL [--influx-db DB] [--influx-token TOKEN] [--influx-timeout S]
// [--spool-mb N] [--spool-dir DIR]: the writer's settings from the options,
// checked before the port is opened. Without --influx, the other options
// are refused. The token may also come from BMS_INFLUX_TOKEN.
bool PrepareInflux(const CommandArgs& args, std::optional<InfluxSettings>& settings, QString& error);

// What the writer met, worded on the tool's outputs: failures on standard
// error, state changes as "influx" lines.
void ReportInfluxEvents(InfluxWriter& writer, const Output& output);
// Sends what it can within a few seconds, then prints what became of the
// run's readings; false, with the counts in failure, when lines were
// dropped or refused.
bool FinishInflux(InfluxWriter& writer, const Output& output, QString& failure);
