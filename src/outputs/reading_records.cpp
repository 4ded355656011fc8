#include "outputs/reading_records.h"
#include "outputs/family_readings.h"

#include "protocol/status_bits.h"
#include "services/textoper.h"

#include <QDateTime>

#include <algorithm>
#include <vector>

namespace {

template <typename Array>
std::vector<std::int64_t> Whole(const Array& values)
{
    return std::vector<std::int64_t>(values.begin(), values.end());
}

template <typename Array>
std::vector<Decimal> Decimals(const Array& values)
{
    return std::vector<Decimal>(values.begin(), values.end());
}

struct KindName {
    StatusKind kind;
    const char* field;
};
constexpr KindName kKindNames[] = {{StatusKind::Alarm, "alarms"},
                                   {StatusKind::Protection, "protections"},
                                   {StatusKind::Fault, "faults"},
                                   {StatusKind::State, "states"}};

QString LocalTime(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// A temperature key: one value, or the values when a pack sends more than
// one sensor of that kind.
void Temperatures(OutputRecord& record, const QString& key, const std::vector<Decimal>& values)
{
    if (values.size() == 1)
        record.number(key, values.front());
    else if (!values.empty())
        record.numbers(key, values);
}

// Another maker's reading: today's keys for what our packs send too (cell
// sensors under temps_C, the ambient and MOSFET sensors under ambient_C and
// fet_C), new keys only for the rest. Only the cells and sensors the pack
// has; SOC and SOH only when it sends them.
void AddFamilyAnalog(OutputRecord& record, const RAnalogData& analog)
{
    const RFamilyAnalog& extra = analog.extra;
    record.number(QStringLiteral("voltage_V"), analog.totalVoltage)
        .number(QStringLiteral("current_A"), analog.current);
    const int cells = std::min<int>(extra.cellCount, kMaxCells);
    record.numbers(QStringLiteral("cells_mV"), std::vector<std::int64_t>(analog.cellVoltages.begin(),
                                                                          analog.cellVoltages.begin() + cells));
    std::vector<Decimal> byRole[4];
    const int temperatures = std::min<int>(extra.temperatureCount, kMaxFamilyTemperatures);
    for (int k = 0; k < temperatures; ++k)
        byRole[std::size_t(extra.temperatureRoles[std::size_t(k)])].push_back(extra.temperatures[std::size_t(k)]);
    record.numbers(QStringLiteral("temps_C"), byRole[std::size_t(TemperatureRole::CellSensor)]);
    Temperatures(record, QStringLiteral("board_C"), byRole[std::size_t(TemperatureRole::Board)]);
    Temperatures(record, QStringLiteral("ambient_C"), byRole[std::size_t(TemperatureRole::Ambient)]);
    Temperatures(record, QStringLiteral("fet_C"), byRole[std::size_t(TemperatureRole::Mosfet)]);
    record.number(QStringLiteral("remaining_Ah"), analog.remainingCapacity)
        .number(QStringLiteral("full_Ah"), analog.fullCapacity)
        .number(QStringLiteral("cycles"), analog.cycleCount);
    if (const std::optional<Decimal> soc = StateOfCharge(analog))
        record.number(QStringLiteral("soc"), *soc);
    if (const std::optional<Decimal> soh = StateOfHealth(analog))
        record.number(QStringLiteral("soh"), *soh);
    for (const RFamilyQuantity& quantity : FamilyQuantities())
        if (const std::optional<Decimal> value = quantity.value(extra))
            record.number(QString::fromLatin1(quantity.key), *value);
}

// Another maker's limit and status bytes. The status bytes go by the names
// of their family: our status-bit names would show alarms the pack never
// raised.
void AddFamilyAlarm(OutputRecord& record, const RAlarmData& alarm)
{
    const RFamilyAlarm& extra = alarm.extra;
    const int temperatures = std::min<int>(extra.temperatureCount, kMaxFamilyTemperatures);
    record.numbers(QStringLiteral("cell_states"), Whole(alarm.cellStates))
        .numbers(QStringLiteral("temp_states"), std::vector<std::int64_t>(extra.temperatureStates.begin(),
                                                                           extra.temperatureStates.begin() + temperatures))
        .number(QStringLiteral("current_state"), alarm.currentState);
    if (extra.dischargeCurrentState)
        record.number(QStringLiteral("discharge_current_state"), *extra.dischargeCurrentState);
    record.number(QStringLiteral("voltage_state"), alarm.voltageState);
    const std::span<const std::string_view> names = FamilyStatusNames(alarm.family);
    const std::size_t count = std::min<std::size_t>({extra.statusCount, names.size(), kMaxFamilyStatusBytes});
    QStringList json;
    QStringList plain;
    for (std::size_t k = 0; k < count; ++k) {
        const QString name = QString::fromLatin1(names[k].data(), qsizetype(names[k].size()));
        json << JsonString(name) + QLatin1Char(':') + QString::number(extra.status[k]);
        plain << name + QLatin1Char('=') + QString::number(extra.status[k]);
    }
    record.raw(QStringLiteral("status_bytes"), QLatin1Char('{') + json.join(QLatin1Char(',')) + QLatin1Char('}'),
               plain.join(QLatin1Char(' ')));
    if (extra.cellFaults) {
        const std::vector<int> cells = FaultyCells(*extra.cellFaults);
        record.numbers(QStringLiteral("cell_faults"), std::vector<std::int64_t>(cells.begin(), cells.end()));
    }
}

} // namespace

OutputRecord AnalogRecord(const RAnalogData& analog)
{
    OutputRecord record(QStringLiteral("analog"));
    record.number(QStringLiteral("pack"), analog.packNumber)
        .text(QStringLiteral("family"), FamilyName(analog.family))
        .text(QStringLiteral("time"), LocalTime(analog.time));
    if (IsForeign(analog.family)) {
        AddFamilyAnalog(record, analog);
        return record;
    }
    // Fields in the order the pack sends them; an answer that ended early
    // leaves out what it did not carry (older firmware), instead of zeros.
    using F = AnalogField;
    const auto add = [&](F field, const auto& put) {
        if (analog.sent(field))
            put();
    };
    add(F::Voltage, [&] { record.number(QStringLiteral("voltage_V"), analog.totalVoltage); });
    add(F::Current, [&] { record.number(QStringLiteral("current_A"), analog.current); });
    add(F::Cells, [&] { record.numbers(QStringLiteral("cells_mV"), Whole(analog.cellVoltages)); });
    add(F::CellTemperatures, [&] { record.numbers(QStringLiteral("temps_C"), Decimals(analog.cellTemperatures)); });
    add(F::Ambient, [&] { record.number(QStringLiteral("ambient_C"), analog.ambientTemperature); });
    add(F::Fet, [&] { record.number(QStringLiteral("fet_C"), analog.fetTemperature); });
    add(F::Remaining, [&] { record.number(QStringLiteral("remaining_Ah"), analog.remainingCapacity); });
    add(F::FullCapacity, [&] { record.number(QStringLiteral("full_Ah"), analog.fullCapacity); });
    add(F::Cycles, [&] { record.number(QStringLiteral("cycles"), analog.cycleCount); });
    add(F::Soc, [&] { record.number(QStringLiteral("soc"), analog.soc); });
    add(F::Soh, [&] { record.number(QStringLiteral("soh"), analog.soh); });
    add(F::Balancing, [&] { record.numbers(QStringLiteral("balancing"), Whole(analog.balancing)); });
    add(F::Humidity, [&] { record.number(QStringLiteral("humidity"), analog.humidity); });
    return record;
}

OutputRecord AlarmRecord(const RAlarmData& alarm, const TTextOper& texts)
{
    OutputRecord record(QStringLiteral("alarm"));
    record.number(QStringLiteral("pack"), alarm.packNumber).text(QStringLiteral("family"), FamilyName(alarm.family));
    if (IsForeign(alarm.family)) {
        AddFamilyAlarm(record, alarm);
        return record;
    }
    record.numbers(QStringLiteral("cell_states"), Whole(alarm.cellStates))
        .numbers(QStringLiteral("temp_states"), Whole(alarm.temperatureStates))
        .number(QStringLiteral("current_state"), alarm.currentState)
        .number(QStringLiteral("voltage_state"), alarm.voltageState)
        .numbers(QStringLiteral("status"), Whole(alarm.status))
        .number(QStringLiteral("short_circuit"), alarm.shortCircuit);
    // The bits that are set, grouped as the alarm panel groups them, in the
    // chosen language.
    for (const KindName& kind : kKindNames) {
        QStringList set;
        for (const StatusBit& bit : kStatusBits)
            if (bit.kind == kind.kind && IsStatusBitSet(alarm, bit))
                set << texts.GetLanguageText(bit.textId);
        record.texts(QString::fromLatin1(kind.field), set);
    }
    return record;
}
