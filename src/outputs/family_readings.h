#pragma once

#include "protocol/decimal.h"
#include "protocol/pack_family.h"
#include "protocol/records.h"
#include "store/pack_sample.h"

#include <QString>

#include <optional>
#include <span>
#include <vector>

// What every output shares about another maker's pack: which family a turn
// came from, the names of its temperature sensors, and the quantities our
// packs do not send. The JSON keys, the metric names and the line-protocol
// fields all come from here, so the outputs never name one thing twice.

// The family the readings of a turn were decoded in; none while nothing
// says (a pack that has not answered yet).
std::optional<PackFamily> SampleFamily(const RPackSample& sample);

// The family as a label, tag or column: "A".."D" for another maker's pack,
// none for ours and for a pack not known yet, so that the series of our
// packs stay the ones they have always been.
std::optional<QString> FamilyLabel(std::optional<PackFamily> family);

// The sensor label of the temperature at index of a foreign reading:
// "cell1".. for cell sensors (counted among the cell sensors only),
// "board", "ambient" and "fet" (the MOSFET) as for our packs.
QString SensorLabel(const RFamilyAnalog& extra, int index);

// Energy in the base unit the names carry: 1 kWh is 3 600 000 J, exactly.
inline Decimal Joules(Decimal kilowattHours)
{
    return Decimal::fromRaw(kilowattHours.raw() * 3600000);
}

// One quantity that only other families send.
struct RFamilyQuantity {
    const char* key;      // bmstool's JSON key, with the unit it is printed in
    const char* metric;   // metric name without "bms_", in base units (line-protocol field)
    const char* help;
    std::optional<Decimal> (*value)(const RFamilyAnalog& extra);   // in the key's unit
    Decimal (*toBase)(Decimal value);                              // into the metric's unit
};
std::span<const RFamilyQuantity> FamilyQuantities();

// The cells a reading has: for another family the cells it counts; for ours
// up to the last with a voltage (a cell at 0 before it is a reading, the
// cells after it are not fitted).
int FittedCells(const RAnalogData& analog);

// Whether a reading carries a field our packs send. Another family's 0x42
// answer always has the cells, current, voltage, capacities and cycles, and
// never balancing or humidity; its temperatures, SOC and SOH are read from
// RFamilyAnalog and StateOfCharge/StateOfHealth instead.
bool CarriesField(const RAnalogData& analog, AnalogField field);

// A percent (SOC, SOH) as a ratio 0 to 1, exact.
inline Decimal PercentRatio(Decimal percent)
{
    return Decimal::fromRatio(percent.raw(), 100 * Decimal::kScale);
}

// The cells (1-16) whose fault bit is set, in order.
std::vector<int> FaultyCells(std::uint16_t faults);
