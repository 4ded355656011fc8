#pragma once

#include "store/pack_sample.h"

#include <QByteArray>
#include <QString>

#include <string_view>

// One pack's turn as InfluxDB line protocol: one line per reading, all in
// the measurement "bms", tagged with the pack, its bar code (left out while
// it is not known) and the cell, sensor or status bit where one applies.
// The field names are the metric names of the Prometheus endpoint without
// "bms_", so that a server that joins measurement and field with "_"
// (VictoriaMetrics) holds the same series names for both outputs:
//
//   bms,pack=2,bar_code=X,cell=5 cell_voltage_volts=3.301 1765171200123000000
//
// Values are the exact decimal texts of the readings (written as floats,
// never integers, so no field changes type between lines); the time stamp
// is the sample's PC time in nanoseconds (the server's default precision),
// counted from whole milliseconds. A reading the pack did not send is not
// written, nor are the cells after the last one with a reading (not
// fitted). Every turn writes pack_up (1 when the pack answered a command of
// the turn, else 0).
QByteArray InfluxLines(const RPackSample& sample);

// The number of lines (points) in a text of lines.
int InfluxLineCount(const QByteArray& lines);

// Line protocol escaping: a measurement escapes commas and blanks; tag keys,
// tag values and field keys also escape "="; backslashes are doubled in
// both. Characters a line cannot hold (line breaks, other control
// characters) become "_".
QString EscapeInfluxMeasurement(const QString& name);
QString EscapeInfluxTag(const QString& text);

