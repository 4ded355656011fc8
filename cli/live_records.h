#pragma once

#include "output.h"

#include "protocol/records.h"

class TTextOper;

// The printed form of the live records, shared by the single reads and the
// polling loop.
OutputRecord AnalogRecord(const RAnalogData& analog);
OutputRecord AlarmRecord(const RAlarmData& alarm, const TTextOper& texts);
