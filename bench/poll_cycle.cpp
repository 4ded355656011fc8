// Times the single-pack polling cycle (clock, bar code, device information,
// analog data, alarm data) against bms-sim pacing its answers at the wire
// speed, and compares it with the time the characters need on the line.
// With --via tcp the packs sit behind bms-sim --tcp on loopback, as behind
// an RS485-to-Ethernet gateway. With --mqtt each cycle's reading is also
// published as "bmstool poll --mqtt" publishes it, so that the ratio with
// and without publishing can be set side by side. --fault hands a fault to
// bms-sim ("echo": an adapter that hears its own requests); the echo is
// not counted as line time, as it is the request itself.
//
//   poll_cycle [--cycles N] [--baud B] [--via pty|tcp] [--mqtt mqtt://HOST:PORT] [--fault F]

#include "mqtt_packs.h"
#include "protocol/devoper.h"
#include "services/textoper.h"
#include "support/sim_process.h"

#include <QCoreApplication>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <optional>

namespace {

struct CycleOutcome {
    int failures = 0;
    std::chrono::nanoseconds publishing{0};   // spent handing the reading to the publisher
};

CycleOutcome RunCycle(TDevOper& op, MqttPackPublisher* mqtt)
{
    CycleOutcome outcome;
    auto count = [&](std::uint8_t result) {
        if (result != ResultCode::kSuccess)
            ++outcome.failures;
    };
    RDeviceTime time;
    count(op.ReadDateTime(1, time));
    QString barCode;
    count(op.ReadBarCode(1, 1, barCode));
    std::uint16_t version = 0;
    std::uint16_t number1 = 0;
    std::uint8_t number2 = 0;
    QString name;
    QString maker;
    count(op.ReadDeviceInfo(1, version, name, maker, number1, number2));
    std::array<RAnalogData, kMaxPacks> analog{};
    std::uint8_t echoed = 0;
    count(op.ReadAnalogData(1, 1, echoed, analog));
    std::array<RAlarmData, kMaxPacks> alarms{};
    count(op.ReadAlarmData(1, 1, alarms));
    if (mqtt) {
        const auto start = std::chrono::steady_clock::now();
        mqtt->packPolled(1, [&barCode] { return std::optional<QString>(barCode); }, &analog[0], &alarms[0]);
        outcome.publishing = std::chrono::steady_clock::now() - start;
    }
    return outcome;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int cycles = 20;
    int baud = 9600;
    bool viaTcp = false;
    QString mqttUrl;
    QStringList simArguments;
    const QStringList arguments = app.arguments();
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        std::printf("usage: poll_cycle [--cycles N] [--baud B] [--via pty|tcp] [--mqtt mqtt://HOST:PORT] [--fault F]\n"
                    "  --cycles N   polling cycles to time (default 20)\n"
                    "  --baud B     line speed of bms-sim --pace and of the host (default 9600)\n"
                    "  --via        the pseudo-terminal (default) or bms-sim --tcp on loopback\n"
                    "  --mqtt URL   publish each reading as bmstool poll --mqtt does\n"
                    "  --fault F    hand a fault to bms-sim (bms-sim --help lists them), e.g. echo\n");
        return 0;
    }
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QLatin1String("--cycles"))
            cycles = std::max(1, arguments[i + 1].toInt());
        else if (arguments[i] == QLatin1String("--baud"))
            baud = std::max(300, arguments[i + 1].toInt());
        else if (arguments[i] == QLatin1String("--via"))
            viaTcp = arguments[i + 1] == QLatin1String("tcp");
        else if (arguments[i] == QLatin1String("--mqtt"))
            mqttUrl = arguments[i + 1];
        else if (arguments[i] == QLatin1String("--fault"))
            simArguments << arguments[i] << arguments[i + 1];
    }
    const Output output(false);
    const TTextOper texts;
    std::optional<MqttPackPublisher> mqtt;
    if (!mqttUrl.isEmpty()) {
        QString error;
        MqttSettings settings;
        const std::optional<MqttUrl> url = ParseMqttUrl(mqttUrl, error);
        if (url) {
            settings.url = *url;
            mqtt.emplace(settings, texts, output);
        }
        if (!url || !mqtt->start(error)) {
            std::fprintf(stderr, "poll_cycle: %s\n", qPrintable(error));
            return 1;
        }
    }
    MqttPackPublisher* publisher = mqtt ? &*mqtt : nullptr;

    SimProcess sim(QStringList{QStringLiteral("--pace"), QStringLiteral("--baud"), QString::number(baud)} + simArguments,
                   1, viaTcp ? 0 : -1);
    if (!sim.isReady()) {
        std::fprintf(stderr, "poll_cycle: %s\n", qPrintable(sim.error()));
        return 1;
    }
    TDevOper op;
    if (!op.OpenLink(sim.linkSettings(baud), 1)) {
        std::fprintf(stderr, "poll_cycle: %s\n", qPrintable(op.LastOpenError()));
        return 1;
    }

    RunCycle(op, publisher);   // warm-up: port thread, first reads, discovery messages
    const qint64 sentBefore = op.CharactersSent();
    const qint64 receivedBefore = op.CharactersReceived();
    int failures = 0;
    std::chrono::nanoseconds publishing{0};
    const auto start = std::chrono::steady_clock::now();
    for (int cycle = 0; cycle < cycles; ++cycle) {
        const CycleOutcome outcome = RunCycle(op, publisher);
        failures += outcome.failures;
        publishing += outcome.publishing;
    }
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    op.CloseSerial(1);

    const qint64 sent = op.CharactersSent() - sentBefore;
    const qint64 received = op.CharactersReceived() - receivedBefore;
    const double meanCycleMs = elapsed.count() / cycles;
    // 10 bits per character: start bit, 8 data bits, stop bit.
    const double wireMs = double(sent + received) * 10.0 * 1000.0 / baud / cycles;
    std::printf("link              %s%s\n", qPrintable(sim.linkPath()),
                qPrintable(simArguments.isEmpty() ? QString() : QStringLiteral(" (") + simArguments.join(u' ') + u')'));
    std::printf("cycles            %d (%d failed commands)\n", cycles, failures);
    std::printf("characters/cycle  %.1f sent, %.1f received\n", double(sent) / cycles, double(received) / cycles);
    std::printf("mean cycle        %.1f ms\n", meanCycleMs);
    std::printf("wire time         %.1f ms at %d baud\n", wireMs, baud);
    std::printf("ratio             %.3f\n", meanCycleMs / wireMs);
    if (publisher) {
        std::printf("publishing        %.3f ms/cycle on the polling thread\n",
                    std::chrono::duration<double, std::milli>(publishing).count() / cycles);
        publisher->finish();   // prints what was published and dropped
    }
    return failures == 0 ? 0 : 1;
}
