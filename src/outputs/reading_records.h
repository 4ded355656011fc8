#pragma once

#include "outputs/output_record.h"

#include "protocol/records.h"

class TTextOper;

// The printed form of the live records, shared by the single reads, the
// polling loop and the MQTT state payload.
OutputRecord AnalogRecord(const RAnalogData& analog);
OutputRecord AlarmRecord(const RAlarmData& alarm, const TTextOper& texts);
