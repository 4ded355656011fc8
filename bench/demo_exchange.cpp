// One polling cycle against the in-process simulated packs, printed as a
// reader would want to see it. Shows the whole road (request, link, answer
// check, decoders) without a serial adapter.
//
//   demo_exchange [--packs N]

#include "protocol/decoders.h"
#include "protocol/devoper.h"
#include "sim_link.h"
#include "simulator_port.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace {

void PrintResult(const char* command, std::uint8_t result)
{
    if (result != ResultCode::kSuccess)
        std::printf("  %-18s failed with code 0x%02X\n", command, result);
}

void ShowPack(TDevOper& op, std::uint8_t pack)
{
    std::printf("Pack %u\n", pack);
    RDeviceTime time;
    std::uint8_t result = op.ReadDateTime(pack, time);
    PrintResult("ReadDateTime", result);
    if (result == ResultCode::kSuccess)
        std::printf("  clock              %04u-%02u-%02u %02u:%02u:%02u\n", time.year, time.month, time.day, time.hour,
                    time.minute, time.second);

    QString barCode;
    result = op.ReadBarCode(pack, pack, barCode);
    PrintResult("ReadBarCode", result);
    if (result == ResultCode::kSuccess)
        std::printf("  bar code           %s\n", qPrintable(barCode));

    std::uint16_t version = 0;
    std::uint16_t number1 = 0;
    std::uint8_t number2 = 0;
    QString name;
    QString maker;
    result = op.ReadDeviceInfo(pack, version, name, maker, number1, number2);
    PrintResult("ReadDeviceInfo", result);
    if (result == ResultCode::kSuccess)
        std::printf("  device             %s by %s, software 0x%04X\n", qPrintable(name), qPrintable(maker), version);

    std::array<RAnalogData, kMaxPacks> analog{};
    std::uint8_t echoed = 0;
    result = op.ReadAnalogData(pack, pack, echoed, analog);
    PrintResult("ReadAnalogData", result);
    if (result == ResultCode::kSuccess) {
        const RAnalogData& a = analog[pack - 1];
        std::printf("  pack voltage       %s V, current %s A\n", qPrintable(a.totalVoltage.format(u"0.00")),
                    qPrintable(a.current.format(u"0.00")));
        std::printf("  capacity           %s of %s Ah, SOC %u %%, SOH %u %%, %u cycles\n",
                    qPrintable(a.remainingCapacity.format(u"0.00")), qPrintable(a.fullCapacity.format(u"0.00")),
                    a.soc, a.soh, a.cycleCount);
        std::printf("  cells (mV)        ");
        for (int cell = 0; cell < kMaxCells; ++cell)
            std::printf(" %u%s", a.cellVoltages[std::size_t(cell)], a.balancing[std::size_t(cell)] ? "*" : "");
        std::printf("\n  temperatures (°C) ");
        for (const Decimal& t : a.cellTemperatures)
            std::printf(" %s", qPrintable(t.toString()));
        std::printf(", ambient %s, FET %s, humidity %u %%\n", qPrintable(a.ambientTemperature.toString()),
                    qPrintable(a.fetTemperature.toString()), a.humidity);
    }

    std::array<RAlarmData, kMaxPacks> alarms{};
    result = op.ReadAlarmData(pack, pack, alarms);
    PrintResult("ReadAlarmData", result);
    if (result == ResultCode::kSuccess) {
        const RAlarmData& a = alarms[pack - 1];
        std::printf("  status bytes      ");
        for (std::uint8_t value : a.status)
            std::printf(" %02X", value);
        int marked = 0;
        for (std::uint8_t state : a.cellStates)
            marked += StatusMark(state).isEmpty() ? 0 : 1;
        std::printf("\n  cells outside limits %d\n", marked);
    }

    std::array<RLocationData, kMaxPacks> location{};
    for (int i = 0; i < kMaxPacks; ++i)
        location[std::size_t(i)].packNumber = std::uint8_t(i + 1);
    result = op.ReadLocationInfo(pack, pack, location);
    PrintResult("ReadLocationInfo", result);
    if (result == ResultCode::kSuccess) {
        const RLocationData& l = location[pack - 1];
        std::printf("  location           %.6f, %.6f, IMEI %s, CCID %s\n", l.satelliteLatitude, l.satelliteLongitude,
                    qPrintable(l.imei.trimmed()), qPrintable(l.ccid.trimmed()));
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    SimOptions options;
    const QStringList arguments = app.arguments();
    const qsizetype packsAt = arguments.indexOf(QStringLiteral("--packs"));
    if (packsAt > 0 && packsAt + 1 < arguments.size())
        options.packs = std::clamp(arguments[packsAt + 1].toInt(), 1, SimOptions::kMaxPacks);
    RegisterSimulatorLink(options);

    // The port list maps COM1 to the in-process packs.
    TDevOper op;
    QString error;
    if (!OpenSimulatorPort(op, error)) {
        std::fprintf(stderr, "demo_exchange: %s\n", qPrintable(error));
        return 1;
    }
    for (int pack = 1; pack <= options.packs; ++pack)
        ShowPack(op, std::uint8_t(pack));
    std::printf("%lld characters sent, %lld received\n", op.CharactersSent(), op.CharactersReceived());
    op.CloseSerial(1);
    return 0;
}
