#pragma once

#include "protocol/decimal.h"

#include <QString>

#include <string_view>

// What the Prometheus endpoint and the line-protocol writer share, so that
// one query reads either: the names of the status bits and the units.

// A status bit's name as a label value: lower case letters and digits, the
// rest one "_" between words ("Cell over-voltage alarm" gives
// "cell_over_voltage_alarm").
QString StatusBitMachineName(std::string_view name);

// Charge in the base unit the names carry: 1 Ah is 3600 C, exactly.
inline Decimal Coulombs(Decimal ampereHours)
{
    return Decimal::fromRaw(ampereHours.raw() * 3600);
}
