// Times the single-pack polling cycle (clock, bar code, device information,
// analog data, alarm data) against bms-sim pacing its answers at the wire
// speed, and compares it with the time the characters need on the line.
// With --via tcp the packs sit behind bms-sim --tcp on loopback, as behind
// an RS485-to-Ethernet gateway. --fault hands a fault to bms-sim ("echo":
// an adapter that hears its own requests); the echo is not counted as line
// time, as it is the request itself.
//
// --outputs times the cycles twice, without outputs and then with all four
// the tool can run (CSV logs in a temporary folder, MQTT to --mqtt URL,
// /metrics on a free loopback port, the line protocol to --influx URL or,
// without it, to a closed loopback port so that every reading is spooled),
// and prints the ratio of the two mean cycles.
//
//   poll_cycle [--cycles N] [--baud B] [--via pty|tcp] [--fault F]
//              [--outputs [--mqtt mqtt://HOST:PORT] [--influx URL]]

#include "outputs/monitoring_outputs.h"
#include "protocol/devoper.h"
#include "services/textoper.h"
#include "store/devinfo.h"
#include "support/sim_process.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <optional>

namespace {

struct CycleOutcome {
    int failures = 0;
    std::chrono::nanoseconds publishing{0};   // spent handing the reading to the publisher
};

CycleOutcome RunCycle(TDevOper& op, IPackSampleSink* outputs)
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
    if (outputs) {
        const auto start = std::chrono::steady_clock::now();
        RPackSample sample;
        sample.pack = 1;
        sample.address = 1;
        sample.barCode = barCode;
        sample.time = QDateTime::currentDateTime();
        sample.analog = analog[0];
        sample.alarm = alarms[0];
        sample.exchanges = {{0x42, 0}, {0x44, 0}};
        outputs->PackSampled(sample);
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
    bool withOutputs = false;
    QString mqttUrl;
    QString influxUrl = QStringLiteral("http://127.0.0.1:9");   // discard port: nothing listens, all is spooled
    QStringList simArguments;
    const QStringList arguments = app.arguments();
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        std::printf("usage: poll_cycle [--cycles N] [--baud B] [--via pty|tcp] [--fault F]\n"
                    "                  [--outputs [--mqtt mqtt://HOST:PORT] [--influx URL]]\n"
                    "  --cycles N   polling cycles to time (default 20)\n"
                    "  --baud B     line speed of bms-sim --pace and of the host (default 9600)\n"
                    "  --via        the pseudo-terminal (default) or bms-sim --tcp on loopback\n"
                    "  --fault F    hand a fault to bms-sim (bms-sim --help lists them), e.g. echo\n"
                    "  --outputs    time every other cycle with CSV, MQTT, /metrics and the line protocol on\n"
                    "  --mqtt URL   the broker of --outputs (without it MQTT stays off)\n"
                    "  --influx URL the line-protocol server of --outputs (default a closed port: all spooled)\n");
        return 0;
    }
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& option = arguments[i];
        const QString value = arguments.value(i + 1);
        if (option == QLatin1String("--outputs")) {
            withOutputs = true;
            continue;
        }
        ++i;
        if (option == QLatin1String("--cycles"))
            cycles = std::max(1, value.toInt());
        else if (option == QLatin1String("--baud"))
            baud = std::max(300, value.toInt());
        else if (option == QLatin1String("--via"))
            viaTcp = value == QLatin1String("tcp");
        else if (option == QLatin1String("--mqtt"))
            mqttUrl = value;
        else if (option == QLatin1String("--influx"))
            influxUrl = value;
        else if (option == QLatin1String("--fault"))
            simArguments << option << value;
    }

    TDevInfo store;
    MonitoringOutputs outputs(store);
    QTemporaryDir folder;
    if (withOutputs) {
        RMonitoringSettings settings;
        settings.csvFolder = folder.filePath(QStringLiteral("csv"));
        settings.metricsOn = true;
        settings.metricsAddress = QStringLiteral("127.0.0.1:0");
        settings.influxOn = true;
        settings.influxUrl = influxUrl;
        settings.spoolFolder = folder.filePath(QStringLiteral("spool"));
        settings.mqttOn = !mqttUrl.isEmpty();
        settings.mqttUrl = mqttUrl;
        outputs.Apply(settings, {});
        for (const ROutputEvent& event : outputs.TakeEvents())
            if (event.kind == ROutputEvent::Kind::NotStarted) {
                std::fprintf(stderr, "poll_cycle: an output did not start: %s\n", qPrintable(event.detail));
                return 1;
            }
    }

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

    IPackSampleSink* sink = outputs.Sink();
    RunCycle(op, sink);   // warm-up: port thread, first reads, discovery messages
    const qint64 sentBefore = op.CharactersSent();
    const qint64 receivedBefore = op.CharactersReceived();
    int failures = 0;
    std::chrono::nanoseconds publishing{0};
    // With outputs, every other cycle runs without them, so that a drift of
    // the machine's load weighs on both alike.
    std::chrono::duration<double, std::milli> plain{0};
    std::chrono::duration<double, std::milli> fed{0};
    int plainCycles = 0;
    int fedCycles = 0;
    const int total = withOutputs ? 2 * cycles : cycles;
    for (int cycle = 0; cycle < total; ++cycle) {
        const bool feed = withOutputs && cycle % 2 == 1;
        const auto start = std::chrono::steady_clock::now();
        const CycleOutcome outcome = RunCycle(op, feed ? sink : nullptr);
        (feed ? fed : plain) += std::chrono::steady_clock::now() - start;
        ++(feed ? fedCycles : plainCycles);
        failures += outcome.failures;
        publishing += outcome.publishing;
        outputs.Pump();
    }
    op.CloseSerial(1);

    const qint64 sent = op.CharactersSent() - sentBefore;
    const qint64 received = op.CharactersReceived() - receivedBefore;
    const double meanCycleMs = plain.count() / plainCycles;
    // 10 bits per character: start bit, 8 data bits, stop bit.
    const double wireMs = double(sent + received) * 10.0 * 1000.0 / baud / total;
    std::printf("link              %s%s\n", qPrintable(sim.linkPath()),
                qPrintable(simArguments.isEmpty() ? QString() : QStringLiteral(" (") + simArguments.join(u' ') + u')'));
    std::printf("cycles            %d (%d failed commands)\n", total, failures);
    std::printf("characters/cycle  %.1f sent, %.1f received\n", double(sent) / total, double(received) / total);
    std::printf("mean cycle        %.1f ms\n", meanCycleMs);
    std::printf("wire time         %.1f ms at %d baud\n", wireMs, baud);
    std::printf("ratio             %.3f\n", meanCycleMs / wireMs);
    if (withOutputs) {
        const double fedMs = fed.count() / fedCycles;
        std::printf("with outputs      %.1f ms (csv, %s/metrics, line protocol)\n", fedMs,
                    mqttUrl.isEmpty() ? "" : "mqtt, ");
        std::printf("handing on        %.3f ms/cycle on the polling thread\n",
                    std::chrono::duration<double, std::milli>(publishing).count() / fedCycles);
        std::printf("outputs/none      %.4f\n", fedMs / meanCycleMs);
        outputs.Stop();
    }
    return failures == 0 ? 0 : 1;
}
