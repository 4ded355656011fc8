// The live reads: analog data, alarm data and the location module.
#include "commands.h"
#include "live_records.h"

#include "protocol/decoders.h"
#include "protocol/result_codes.h"
#include "protocol/status_bits.h"
#include "store/devinfo.h"
#include "store/pack_poller.h"

#include <QDateTime>

#include <vector>

namespace {

// A command that takes no words at all.
Prepared WithoutArguments(const CommandArgs& args, const char* name, std::function<int(Session&)> action)
{
    if (!args.positional.isEmpty())
        return Prepared::Usage(QStringLiteral("%1 takes no arguments").arg(QString::fromLatin1(name)));
    return Prepared::Run(std::move(action));
}

} // namespace

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

namespace {

// Another maker's pack: what its identity reads give, under today's keys
// where ours send the same, and the family.
int PrintFamilyIdentity(Session& session, PackFamily family)
{
    RFamilyIdentity identity;
    const std::uint8_t result = session.store().ReadFamilyIdentity(session.address(), identity);
    if (result != 0)
        return session.failed(result);
    OutputRecord record(QStringLiteral("info"));
    record.number(QStringLiteral("pack"), session.pack())
        .text(QStringLiteral("family"), FamilyName(family))
        .text(QStringLiteral("device_name"), identity.deviceName)
        .text(QStringLiteral("software_version"), identity.softwareVersion)
        .text(QStringLiteral("manufacturer"), identity.manufacturer);
    if (!identity.serialNumber.isEmpty())
        record.text(QStringLiteral("serial_number"), identity.serialNumber);
    if (!identity.firmwareVersion.isEmpty())
        record.text(QStringLiteral("firmware_version"), identity.firmwareVersion);
    session.out().print(record);
    return 0;
}

} // namespace

Prepared PrepareInfo(const CommandArgs& args)
{
    return WithoutArguments(args, "info", [](Session& session) {
        // An address whose family is not known yet is first read as the
        // live reads learn it (our live values, then every family's), so
        // that an identity is asked in the pack's own form.
        RPackFamilyState state = session.store().FamilyState(session.address());
        if (state.family == PackFamily::Unknown && !state.pinned) {
            std::uint8_t echoed = 0;
            const std::uint8_t learned = session.store().ReadAnalogData(session.address(), session.pack(), echoed);
            state = session.store().FamilyState(session.address());
            if (learned == ResultCode::kFamilyUnknown || learned == ResultCode::kFamilyMismatch
                || learned == ResultCode::kNoAnswer)
                return session.failed(learned);
        }
        if (IsForeign(state.family))
            return PrintFamilyIdentity(session, state.family);
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
                                .text(QStringLiteral("family"), FamilyName(state.family))
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
