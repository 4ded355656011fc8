// "poll": the polling cycle of the main window's polling thread, run on the
// main thread with a view that prints each reading and, when asked, appends
// it to the pack's real-time log file.
#include "commands.h"
#include "csv_file.h"
#include "influx_poll.h"
#include "interrupt.h"
#include "live_records.h"
#include "mqtt_packs.h"
#include "poll_metrics.h"
#include "poll_view.h"

#include "outputs/sample_fanout.h"
#include "services/settings.h"
#include "services/text_ids.h"
#include "store/devinfo.h"
#include "store/pack_list.h"
#include "store/pack_poller.h"
#include "store/realtime_row.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <limits>
#include <map>
#include <vector>

namespace {

constexpr std::int64_t kMaxIntervalMs = 3600000;
constexpr std::int64_t kMaxMetricsStaleSeconds = 86400;

struct PollRequest {
    bool autoPacks = false;
    std::vector<std::uint8_t> packs;   // empty: the pack at --address
    std::int64_t count = 0;            // 0: until interrupted
    std::int64_t intervalMs = 0;
    QString csvFolder;
    bool reconnect = false;            // wait for a lost port to come back
    std::optional<MqttSettings> mqtt;
    std::optional<RListenAddress> metrics;
    std::chrono::seconds metricsStale = MetricsRegistry::kDefaultStaleAfter;
    std::optional<InfluxSettings> influx;
};

// Marks the packs to poll in the pack table and makes the plan for them:
// several packs are polled as under "Auto", one in full. The tool keeps no
// pack clock in step and shows no location page.
RPollPlan Select(Session& session, const PollRequest& request)
{
    AppGlobals& globals = session.globals();
    std::vector<std::uint8_t> packs = request.autoPacks ? AllPacks(globals.PackCount.load()) : request.packs;
    if (packs.empty())
        packs.push_back(session.pack());
    session.store().SelectPacks(packs);
    RPollPlan plan;
    plan.allPacks = request.autoPacks || packs.size() > 1;
    plan.packRows = packs.back();
    // The focus before the first pack is polled, as the window leaves it.
    globals.SelectedPack = plan.allPacks ? 0 : packs.front();
    globals.SelectedAddress = packs.front();
    return plan;
}

// Waits between passes, keeping the broker's messages going; false when
// the run is to stop.
bool Wait(std::int64_t milliseconds, MqttPackPublisher* mqtt, const std::function<bool()>& stop)
{
    for (std::int64_t waited = 0; waited < milliseconds; waited += 20) {
        if (stop())
            return false;
        if (mqtt)
            mqtt->pump();
        QThread::msleep(static_cast<unsigned long>(std::min<std::int64_t>(20, milliseconds - waited)));
    }
    return !stop();
}

int RunPoll(Session& session, const PollRequest& request)
{
    std::optional<MqttPackPublisher> mqtt;
    if (QString error; !StartMqtt(session, request.mqtt, mqtt, error))
        return session.failed(error);
    MqttPackPublisher* publisher = mqtt ? &*mqtt : nullptr;
    const std::function<bool()> stop = StopRequested(publisher);
    // Outputs that follow the polling take each pack's turn through one
    // fan-out; none attached, the cycle is the plain one.
    PackSampleFanOut outputs;
    std::optional<PollMetrics> metrics;
    if (request.metrics) {
        metrics.emplace(*request.metrics, request.metricsStale, session.out());
        metrics->serve();
        outputs.Add(&metrics->sink());
    }
    std::optional<InfluxWriter> influx;
    QString influxFailure;
    if (request.influx) {
        influx.emplace(*request.influx);
        // A spool that cannot be used turns the line protocol off; the
        // polling and the other outputs go on.
        if (QString error; !influx->Start(error)) {
            influxFailure = QStringLiteral("influx: %1; the line protocol is off for this run").arg(error);
            session.out().error(influxFailure + QStringLiteral(", polling goes on"));
            influx.reset();
        } else {
            outputs.Add(&*influx);
        }
    }
    const RPollPlan plan = Select(session, request);
    PrintingPollView view(session, request.csvFolder, request.reconnect, publisher, plan.allPacks, false,
                          influx ? &*influx : nullptr);
    PackPoller poller(session.store(), session.globals(), view, stop);
    poller.SetPlan(plan);
    std::optional<MqttSampleSink> mqttSink;
    if (publisher) {
        mqttSink.emplace(*publisher, [&poller](const RPackSample& sample) { return poller.KnownBarCode(sample.pack); });
        outputs.Add(&*mqttSink);
    }
    if (!outputs.Empty())
        poller.SetSampleSink(&outputs);
    for (std::int64_t pass = 1; request.count == 0 || pass <= request.count; ++pass) {
        const bool goOn = poller.RunPass();
        view.FinishPack();
        if (metrics)
            metrics->serve();
        if (!goOn || (pass != request.count && !Wait(request.intervalMs, publisher, stop)))
            break;
    }
    if (influx) {
        outputs.Remove(&*influx);
        FinishInflux(*influx, session.out(), influxFailure);
    }
    if (publisher && !FinishMqtt(*publisher))
        return session.failed(publisher->refusal());
    if (!influxFailure.isEmpty())
        return session.failed(influxFailure);
    if (!view.fileError().isEmpty())
        return 1;
    // Polling went on without the endpoint; the run still did not do all
    // it was asked.
    if (metrics && !metrics->everServed())
        return session.failed(QStringLiteral("metrics were never served: %1").arg(metrics->lastError()));
    if (view.portGone())
        return session.failed(view.lastFailure());
    // Failed exchanges are reported line by line; only a run in which no
    // reading arrived at all is a failed command, and it says why.
    if (view.readings() > 0)
        return 0;
    return session.failed(view.lastFailure().isEmpty()
                              ? QStringLiteral("no reading arrived")
                              : QStringLiteral("no reading arrived; last error: %1").arg(view.lastFailure()));
}

bool PrepareMetrics(const CommandArgs& args, PollRequest& request, QString& error)
{
    if (!args.has("--metrics")) {
        if (args.has("--metrics-stale")) {
            error = QStringLiteral("--metrics-stale goes with --metrics [ADDRESS:]PORT");
            return false;
        }
        return true;
    }
    QString why;
    request.metrics = ParseListenAddress(args.value("--metrics"), &why);
    if (!request.metrics) {
        error = QStringLiteral("--metrics takes [ADDRESS:]PORT: %1").arg(why);
        return false;
    }
    if (args.has("--metrics-stale")) {
        const auto seconds = ParseWholeIn(args.value("--metrics-stale"), 1, kMaxMetricsStaleSeconds);
        if (!seconds) {
            error = QStringLiteral("--metrics-stale takes seconds 1-%1, not %2")
                        .arg(kMaxMetricsStaleSeconds)
                        .arg(QuotedInput(args.value("--metrics-stale")));
            return false;
        }
        request.metricsStale = std::chrono::seconds(*seconds);
    }
    return true;
}

} // namespace

Prepared PreparePoll(const CommandArgs& args)
{
    if (!args.positional.isEmpty())
        return Prepared::Usage(QStringLiteral("poll takes only options: --packs, --count, --interval, --csv, --reconnect, --mqtt..."));
    PollRequest request;
    if (args.has("--packs")) {
        // The one pack-list rule of every command, with "auto" besides; a
        // pass polls in address order.
        QString why;
        const auto choice = ParsePackChoice(args.value("--packs"), Globals().PackCount.load(), &why);
        if (!choice)
            return Prepared::Usage(QStringLiteral("--packs takes auto or a pack list: %1").arg(why));
        request.autoPacks = choice->automatic;
        if (!choice->automatic) {
            request.packs = choice->packs;
            std::sort(request.packs.begin(), request.packs.end());
        }
    }
    if (args.has("--count")) {
        const auto count = ParseWholeIn(args.value("--count"), 1, std::numeric_limits<std::int32_t>::max());
        if (!count)
            return Prepared::Usage(QStringLiteral("--count takes a positive whole number, not %1")
                                       .arg(QuotedInput(args.value("--count"))));
        request.count = *count;
    }
    if (args.has("--interval")) {
        const auto interval = ParseWholeIn(args.value("--interval"), 0, kMaxIntervalMs);
        if (!interval)
            return Prepared::Usage(QStringLiteral("--interval takes milliseconds 0-%1, not %2")
                                       .arg(kMaxIntervalMs).arg(QuotedInput(args.value("--interval"))));
        request.intervalMs = *interval;
    }
    // The folder is checked, and created, before the port is opened.
    request.csvFolder = args.value("--csv");
    request.reconnect = args.has("--reconnect");
    QString error;
    if (!PrepareMqtt(args, request.mqtt, error) || !PrepareInflux(args, request.influx, error))
        return Prepared::Usage(error);
    if (!PrepareMetrics(args, request, error))
        return Prepared::Usage(error);
    return Prepared::Run([request](Session& session) { return RunPoll(session, request); });
}
