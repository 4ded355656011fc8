#include "outputs/reading_records.h"

#include "protocol/status_bits.h"
#include "services/textoper.h"

#include <QDateTime>

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

} // namespace

OutputRecord AnalogRecord(const RAnalogData& analog)
{
    OutputRecord record(QStringLiteral("analog"));
    record.number(QStringLiteral("pack"), analog.packNumber).text(QStringLiteral("time"), LocalTime(analog.time));
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
    record.number(QStringLiteral("pack"), alarm.packNumber)
        .numbers(QStringLiteral("cell_states"), Whole(alarm.cellStates))
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
