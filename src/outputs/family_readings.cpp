#include "outputs/family_readings.h"
#include "outputs/reading_names.h"

#include <algorithm>

namespace {

Decimal Same(Decimal value)
{
    return value;
}

Decimal HoursToSeconds(Decimal hours)
{
    return Decimal::fromRaw(hours.raw() * 3600);
}

template <typename T>
std::optional<Decimal> Whole(const std::optional<T>& value)
{
    return value ? std::optional<Decimal>(Decimal::fromInt(std::int64_t(*value))) : std::nullopt;
}

// Charge in coulombs, energy in joules and times in seconds, as the
// capacities of our packs are served.
constexpr RFamilyQuantity kQuantities[] = {
    {"design_Ah", "design_capacity_coulombs", "Design (rated) capacity (3600 C = 1 Ah).",
     [](const RFamilyAnalog& e) { return e.designCapacity; }, Coulombs},
    {"port_voltage_V", "port_voltage_volts", "Voltage at the pack's terminals.",
     [](const RFamilyAnalog& e) { return e.portVoltage; }, Same},
    {"charged_Ah", "charged_capacity_coulombs", "Charge taken in to date, as the pack counts it (3600 C = 1 Ah).",
     [](const RFamilyAnalog& e) { return e.chargedAh; }, Coulombs},
    {"discharged_Ah", "discharged_capacity_coulombs", "Charge given out to date, as the pack counts it (3600 C = 1 Ah).",
     [](const RFamilyAnalog& e) { return e.dischargedAh; }, Coulombs},
    {"charged_kWh", "charged_energy_joules", "Energy taken in to date, as the pack counts it (3.6 MJ = 1 kWh).",
     [](const RFamilyAnalog& e) { return e.chargedKwh; }, Joules},
    {"discharged_kWh", "discharged_energy_joules", "Energy given out to date, as the pack counts it (3.6 MJ = 1 kWh).",
     [](const RFamilyAnalog& e) { return e.dischargedKwh; }, Joules},
    {"charging_h", "charging_time_seconds", "Time spent charging to date, as the pack counts it.",
     [](const RFamilyAnalog& e) { return Whole(e.chargingHours); }, HoursToSeconds},
    {"discharging_h", "discharging_time_seconds", "Time spent discharging to date, as the pack counts it.",
     [](const RFamilyAnalog& e) { return Whole(e.dischargingHours); }, HoursToSeconds},
    {"charges", "charges", "Charges to date, as the pack counts them.",
     [](const RFamilyAnalog& e) { return Whole(e.charges); }, Same},
    {"discharges", "discharges", "Discharges to date, as the pack counts them.",
     [](const RFamilyAnalog& e) { return Whole(e.discharges); }, Same},
    {"highest_cell_temp_C", "highest_cell_temperature_celsius", "Highest cell temperature the pack reports.",
     [](const RFamilyAnalog& e) { return e.highestCellTemperature; }, Same},
    {"lowest_cell_temp_C", "lowest_cell_temperature_celsius", "Lowest cell temperature the pack reports.",
     [](const RFamilyAnalog& e) { return e.lowestCellTemperature; }, Same},
};

} // namespace

std::optional<PackFamily> SampleFamily(const RPackSample& sample)
{
    if (sample.analog)
        return sample.analog->family;
    if (sample.alarm)
        return sample.alarm->family;
    // A turn without readings says what is known of the pack.
    if (sample.family != PackFamily::Unknown)
        return sample.family;
    return std::nullopt;
}

std::optional<QString> FamilyLabel(std::optional<PackFamily> family)
{
    if (!family || !IsForeign(*family))
        return std::nullopt;
    return FamilyName(*family);
}

QString SensorLabel(const RFamilyAnalog& extra, int index)
{
    const TemperatureRole role = extra.temperatureRoles[std::size_t(index)];
    int before = 0;
    for (int k = 0; k < index; ++k)
        before += extra.temperatureRoles[std::size_t(k)] == role ? 1 : 0;
    if (role == TemperatureRole::CellSensor)
        return QStringLiteral("cell%1").arg(before + 1);
    // No family sends two board, ambient or MOSFET sensors; should a pack do
    // so, the second still gets a series of its own.
    const QString name = role == TemperatureRole::Mosfet ? QStringLiteral("fet") : TemperatureRoleName(role);
    return before == 0 ? name : name + QString::number(before + 1);
}

std::span<const RFamilyQuantity> FamilyQuantities()
{
    return kQuantities;
}

std::vector<int> FaultyCells(std::uint16_t faults)
{
    std::vector<int> cells;
    for (int bit = 0; bit < kMaxCells; ++bit)
        if (faults & (1u << bit))
            cells.push_back(bit + 1);
    return cells;
}

int FittedCells(const RAnalogData& analog)
{
    if (IsForeign(analog.family))
        return std::min<int>(analog.extra.cellCount, kMaxCells);
    int cells = kMaxCells;
    while (cells > 0 && analog.cellVoltages[std::size_t(cells - 1)] == 0)
        --cells;
    return cells;
}

bool CarriesField(const RAnalogData& analog, AnalogField field)
{
    if (!IsForeign(analog.family))
        return analog.sent(field);
    using F = AnalogField;
    return field == F::Cells || field == F::Current || field == F::Voltage || field == F::Remaining
        || field == F::FullCapacity || field == F::Cycles;
}
