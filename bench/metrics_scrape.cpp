// Times a scrape of /metrics for 16 packs with full readings (over HTTP on
// loopback, and the rendering alone), and, with --poll, the polling cycle
// of 16 packs under "Auto" against bms-sim pacing its answers at the wire
// speed with the outputs off and on: the metrics registry (scraped once a
// second meanwhile) and the InfluxDB writer (to a loopback port nobody
// listens on, so every batch goes to its spool on disk, the writer's
// heaviest work).
//
//   metrics_scrape [--scrapes N] [--poll] [--passes N] [--baud B]

#include "outputs/influx_writer.h"
#include "outputs/metrics_registry.h"
#include "outputs/metrics_server.h"
#include "outputs/sample_fanout.h"
#include "services/settings.h"
#include "store/devinfo.h"
#include "store/pack_poller.h"
#include "support/http_get.h"
#include "support/sim_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

namespace {

RPackSample FullSample(std::uint8_t pack)
{
    RPackSample sample;
    sample.pack = pack;
    sample.address = pack;
    sample.barCode = QStringLiteral("SIM48V100AH%1").arg(pack, 4, 10, QLatin1Char('0'));
    sample.time = QDateTime::currentDateTime();
    RAnalogData analog;
    for (int k = 0; k < kMaxCells; ++k)
        analog.cellVoltages[k] = std::uint16_t(3280 + k);
    analog.totalVoltage = Decimal::fromRaw(525500);
    analog.current = Decimal::fromRaw(-12300);
    analog.soc = 67;
    analog.soh = 98;
    sample.analog = analog;
    sample.alarm = RAlarmData{};
    sample.exchanges = {{0x42, 0}, {0x44, 0}};
    return sample;
}

void TimeScrapes(int scrapes)
{
    MetricsRegistry registry;
    for (std::uint8_t pack = 1; pack <= kMaxPacks; ++pack)
        registry.PackSampled(FullSample(pack));
    MetricsServer server(registry);
    QString error;
    if (!server.start(RListenAddress{}, error)) {
        std::fprintf(stderr, "metrics_scrape: %s\n", qPrintable(error));
        return;
    }
    QElapsedTimer timer;
    timer.start();
    qsizetype size = 0;
    for (int k = 0; k < scrapes; ++k)
        size = registry.Render().size();
    const double renderMs = double(timer.nsecsElapsed()) / 1e6 / scrapes;
    double worst = 0;
    double total = 0;
    int lines = 0;
    for (int k = 0; k < scrapes; ++k) {
        timer.start();
        const HttpAnswer answer = HttpGet(server.port());
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        total += ms;
        worst = std::max(worst, ms);
        lines = int(answer.body.count('\n'));
    }
    std::printf("scrape of 16 packs: %.1f KiB, %d lines\n", double(size) / 1024, lines);
    std::printf("  rendering        %.3f ms mean over %d\n", renderMs, scrapes);
    std::printf("  GET /metrics     %.3f ms mean, %.3f ms worst over %d\n", total / scrapes, worst, scrapes);
}

// Mean milliseconds per pass of the poller.
double TimePasses(PackPoller& poller, int passes)
{
    QElapsedTimer timer;
    timer.start();
    for (int k = 0; k < passes; ++k)
        poller.RunPass();
    return double(timer.nsecsElapsed()) / 1e6 / passes;
}

int TimePolling(int passes, int baud)
{
    SimProcess sim({QStringLiteral("--pace"), QStringLiteral("--baud"), QString::number(baud)}, kMaxPacks);
    if (!sim.isReady()) {
        std::fprintf(stderr, "metrics_scrape: %s\n", qPrintable(sim.error()));
        return 1;
    }
    TDevInfo store;
    store.InitStore();
    if (!store.DevOper().OpenLink(sim.linkSettings(baud))) {
        std::fprintf(stderr, "metrics_scrape: %s\n", qPrintable(store.DevOper().LastOpenError()));
        return 1;
    }
    AppGlobals globals;
    globals.PortNumber = 1;
    globals.SelectedPack = 0;
    globals.SelectedAddress = 255;
    store.SelectAllPacks();
    const RPollPlan plan{.packRows = kMaxPacks, .allPacks = true};
    SilentPollView view;

    MetricsRegistry registry;
    MetricsServer server(registry);
    QString error;
    server.start(RListenAddress{}, error);
    QTemporaryDir spool;
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const std::uint16_t nobody = closed.serverPort();
    closed.close();
    InfluxSettings influxSettings;
    influxSettings.url = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(nobody));
    influxSettings.spoolFolder = spool.path();
    InfluxWriter influx(influxSettings);
    if (!influx.Start(error))
        std::fprintf(stderr, "metrics_scrape: influx: %s\n", qPrintable(error));
    PackSampleFanOut outputs;
    outputs.Add(&registry);
    outputs.Add(&influx);
    std::atomic<bool> done{false};
    std::thread scraper([&] {
        while (!done) {
            HttpGet(server.port());
            for (int k = 0; k < 50 && !done; ++k)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });

    PackPoller plain(store, globals, view, {});
    plain.SetPlan(plan);
    PackPoller withOutputs(store, globals, view, {});
    withOutputs.SetPlan(plan);
    withOutputs.SetSampleSink(&outputs);
    // Warm-up: the port's first exchanges, and the bar codes the outputs
    // read once.
    plain.RunPass();
    withOutputs.RunPass();
    double off = 0;
    double on = 0;
    for (int round = 0; round < 2; ++round) {
        off += TimePasses(plain, passes);
        on += TimePasses(withOutputs, passes);
    }
    off /= 2;
    on /= 2;
    done = true;
    scraper.join();
    outputs.Remove(&influx);
    influx.Finish(std::chrono::milliseconds(0));
    const InfluxWriter::Counts counts = influx.counts();
    std::printf("poll pass of 16 packs (Auto) at %d baud, %d passes twice each:\n", baud, passes);
    std::printf("  outputs off      %.0f ms\n", off);
    std::printf("  outputs on       %.0f ms (metrics scraped each second, influx lines spooled: %lld)\n", on,
                static_cast<long long>(counts.spooled));
    std::printf("  ratio on/off     %.3f\n", on / off);
    store.CloseSerial(1);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int scrapes = 200;
    int passes = 2;
    int baud = 9600;
    bool poll = false;
    const QStringList arguments = app.arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const bool hasValue = i + 1 < arguments.size();
        if (arguments[i] == QLatin1String("--poll"))
            poll = true;
        else if (arguments[i] == QLatin1String("--scrapes") && hasValue)
            scrapes = std::max(1, arguments[++i].toInt());
        else if (arguments[i] == QLatin1String("--passes") && hasValue)
            passes = std::max(1, arguments[++i].toInt());
        else if (arguments[i] == QLatin1String("--baud") && hasValue)
            baud = std::max(300, arguments[++i].toInt());
    }
    TimeScrapes(scrapes);
    return poll ? TimePolling(passes, baud) : 0;
}
