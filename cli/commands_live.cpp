// The live reads: analog data, alarm data and the location module.
#include "commands.h"
#include "live_records.h"

#include "protocol/decoders.h"
#include "protocol/status_bits.h"
#include "store/devinfo.h"
#include "store/pack_poller.h"

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

QString LocalTime(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// A command that takes no words at all.
Prepared WithoutArguments(const CommandArgs& args, const char* name, std::function<int(Session&)> action)
{
    if (!args.positional.isEmpty())
        return Prepared::Usage(QStringLiteral("%1 takes no arguments").arg(QString::fromLatin1(name)));
    return Prepared::Run(std::move(action));
}

struct KindName {
    StatusKind kind;
    const char* field;
};
constexpr KindName kKindNames[] = {{StatusKind::Alarm, "alarms"},
                                   {StatusKind::Protection, "protections"},
                                   {StatusKind::Fault, "faults"},
                                   {StatusKind::State, "states"}};

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

Prepared PrepareAnalog(const CommandArgs& args)
{
    return WithoutArguments(args, "analog", [](Session& session) {
        std::uint8_t echoed = 0;
        const std::uint8_t result = session.store().ReadAnalogData(session.address(), session.pack(), echoed);
        if (result != 0)
            return session.failed(result);
        session.out().print(AnalogRecord(session.store().GetAnalogData(session.pack())));
        return 0;
    });
}

Prepared PrepareAlarm(const CommandArgs& args)
{
    return WithoutArguments(args, "alarm", [](Session& session) {
        const std::uint8_t result = session.store().ReadAlarmData(session.address(), session.pack());
        if (result != 0)
            return session.failed(result);
        session.out().print(AlarmRecord(session.store().GetAlarmData(session.pack()), session.store().TextOper()));
        return 0;
    });
}

Prepared PrepareLocation(const CommandArgs& args)
{
    return WithoutArguments(args, "location", [](Session& session) {
        const std::uint8_t result = session.store().ReadLocationInfo(session.address(), session.pack());
        if (result != 0)
            return session.failed(result);
        const RLocationData data = session.store().GetLocationData(session.pack());
        // Coordinates arrive as floating-point numbers from the module and
        // are shown with the six decimals it fills.
        const auto degrees = [](double value) { return QString::number(value, 'f', 6); };
        OutputRecord record(QStringLiteral("location"));
        record.number(QStringLiteral("pack"), data.packNumber)
            .number(QStringLiteral("visible_satellites"), data.visibleSatellites)
            .number(QStringLiteral("used_satellites"), data.usedSatellites)
            .number(QStringLiteral("signal_strength"), data.signalStrength)
            .number(QStringLiteral("area_code"), data.areaCode)
            .number(QStringLiteral("cell_id"), data.cellId)
            .raw(QStringLiteral("station_longitude"), degrees(data.stationLongitude), degrees(data.stationLongitude))
            .raw(QStringLiteral("station_latitude"), degrees(data.stationLatitude), degrees(data.stationLatitude))
            .raw(QStringLiteral("satellite_longitude"), degrees(data.satelliteLongitude),
                 degrees(data.satelliteLongitude))
            .raw(QStringLiteral("satellite_latitude"), degrees(data.satelliteLatitude),
                 degrees(data.satelliteLatitude))
            .number(QStringLiteral("speed_kmh"), data.speed)
            .number(QStringLiteral("direction"), data.direction)
            .number(QStringLiteral("status"), data.status)
            .text(QStringLiteral("imei"), data.imei)
            .text(QStringLiteral("ccid"), data.ccid);
        session.out().print(record);
        return 0;
    });
}

Prepared PrepareInfo(const CommandArgs& args)
{
    return WithoutArguments(args, "info", [](Session& session) {
        std::uint16_t version = 0;
        QString deviceName;
        QString manufacturer;
        std::uint16_t number1 = 0;
        std::uint8_t number2 = 0;
        const std::uint8_t result =
            session.store().ReadDeviceInfo(session.address(), version, deviceName, manufacturer, number1, number2);
        if (result != 0)
            return session.failed(result);
        session.out().print(OutputRecord(QStringLiteral("info"))
                                .number(QStringLiteral("pack"), session.pack())
                                .text(QStringLiteral("device_name"), deviceName)
                                .text(QStringLiteral("software_version"), SoftwareVersionHex(version))
                                .text(QStringLiteral("manufacturer"), manufacturer)
                                .number(QStringLiteral("number1"), number1)
                                .number(QStringLiteral("number2"), number2));
        return 0;
    });
}

Prepared PrepareSleep(const CommandArgs& args)
{
    return WithoutArguments(args, "sleep", [](Session& session) {
        const std::uint8_t result = session.store().EnterSleep(session.address(), session.pack());
        return result != 0 ? session.failed(result) : session.written(QStringLiteral("sleep"));
    });
}
