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

#include "outputs/sample_fanout.h"

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
constexpr std::int64_t kMaxMqttQueue = 1000000;
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

// Prints what the cycle shows. The cycle calls it between its commands; the
// last pack of a pass is closed by FinishPack after the pass.
class PrintingPollView final : public IPollView {
public:
    PrintingPollView(Session& session, const QString& csvFolder, bool reconnect, MqttPackPublisher* mqtt,
                     bool shortCycle, InfluxWriter* influx = nullptr)
        : m_session(session), m_csvFolder(csvFolder), m_reconnect(reconnect), m_shortCycle(shortCycle), m_mqtt(mqtt),
          m_influx(influx), m_started(QDateTime::currentDateTime())
    {
    }

    void RefreshHead() override
    {
        FinishPack();
        m_pack = m_session.globals().SelectedPack.load();
        m_address = m_session.globals().SelectedAddress.load();
        m_active = true;
        m_exchange = 0;
        m_commandSent = false;
    }

    // The cycle turns the lamp yellow before each command and sets it from
    // the command's result, which it has filed as the last result, after it.
    // A lamp set with no command before it means the port could not be used.
    void SetCommState(int state) override
    {
        if (m_mqtt)
            m_mqtt->pump();
        if (!m_commandSent && state == kLampYellow) {
            m_commandSent = true;
            if (m_portGone) {
                m_portGone = false;
                m_session.out().printLine(OutputRecord(QStringLiteral("port"))
                                              .text(QStringLiteral("port"), PortName())
                                              .text(QStringLiteral("state"), QStringLiteral("back")));
            }
            return;
        }
        // A red lamp with no command before it: the port is not open. A
        // serial device that went away is reported once, by PortLost; a
        // gateway that cannot be reached at every attempt.
        if (!m_commandSent) {
            if (!m_session.store().PortCanVanish(m_session.globals().PortNumber.load()))
                ReportFailure(std::nullopt);
            return;
        }
        m_commandSent = false;
        const std::uint8_t result = m_session.store().LastResult();
        if (result != 0)
            ReportFailure(result);
        ++m_exchange;
    }

    void ShowPackTime(const RDeviceTime& packTime, std::uint8_t lastResult) override
    {
        m_packTime = lastResult == 0 ? FormatDeviceTime(packTime) : QString();
        m_hasStatus = true;
    }

    void ShowStatus(std::uint16_t softwareVersion, const QString& barCode, std::uint8_t) override
    {
        m_softwareVersion = softwareVersion;
        m_barCode = barCode;
    }

    void RefreshAnalog() override
    {
        // Called after a failure too, once the pack has been silent for a
        // while, to show its last reading again; that is no new reading.
        if (m_session.store().LastResult() != 0)
            return;
        PrintStatus();
        m_analog = m_session.store().GetAnalogData(m_pack);
        m_hasAnalog = true;
        ++m_readings;
        m_session.out().printLine(AnalogRecord(m_analog));
    }

    void RefreshAlarm() override
    {
        if (m_session.store().LastResult() != 0)
            return;
        PrintStatus();
        m_alarm = m_session.store().GetAlarmData(m_pack);
        m_hasAlarm = true;
        ++m_readings;
        m_session.out().printLine(AlarmRecord(m_alarm, m_session.store().TextOper()));
    }

    void RefreshLocation() override {}

    // One line when the port is lost, not one per attempt to reopen it.
    bool PortLost() override
    {
        if (!m_portGone) {
            m_portGone = true;
            ReportFailure(std::nullopt);
        }
        return !m_reconnect;
    }

    // Closes the pack polled last: its log row, or what went wrong.
    void FinishPack()
    {
        if (!m_active)
            return;
        PrintStatus();
        if (m_hasAnalog && !m_csvFolder.isEmpty() && RealtimeReadingHoldsData(m_analog))
            AppendLogRow();
        if (m_influx)
            ReportInfluxEvents(*m_influx, m_session.out());
        m_active = false;
        m_hasAnalog = false;
        m_hasAlarm = false;
        m_hasStatus = false;
    }

    int readings() const { return m_readings; }
    // The port went away and the run is not waiting for it.
    bool portGone() const { return m_portGone && !m_reconnect; }
    // What went wrong last, for a run in which no reading arrived.
    QString lastFailure() const { return m_lastFailure; }
    QString fileError() const { return m_fileError; }

private:
    static constexpr int kLampYellow = 2;

    // One line per failed exchange, with the command, the result code and
    // its text; a port that could not be used is the command "open" with
    // the code of a port that is not open.
    void ReportFailure(std::optional<std::uint8_t> result)
    {
        PrintStatus();
        OutputRecord record(QStringLiteral("error"));
        record.number(QStringLiteral("pack"), m_pack);
        if (result) {
            m_lastFailure = m_session.store().TextOper().GetErrorText(*result);
            // The commands of one cycle, in the order the cycle sends them
            // (the tool polls without clock sync and location page).
            static const QStringList kFullCycle = {QStringLiteral("time"), QStringLiteral("barcode"),
                                                   QStringLiteral("info"), QStringLiteral("analog"),
                                                   QStringLiteral("alarm")};
            static const QStringList kShortCycle = {QStringLiteral("analog"), QStringLiteral("alarm")};
            const QStringList& cycle = m_shortCycle ? kShortCycle : kFullCycle;
            record.text(QStringLiteral("command"), cycle.value(m_exchange))
                .number(QStringLiteral("result"), *result);
        } else {
            const QString why = m_session.store().DevOper().LastOpenError();
            if (m_portGone) {
                m_lastFailure = QStringLiteral("the port %1 went away").arg(PortName());
                if (!why.isEmpty())
                    m_lastFailure += QStringLiteral(": ") + why;
                if (m_reconnect)
                    m_lastFailure += QStringLiteral("; waiting for it to come back");
            } else {
                m_lastFailure = m_session.store().TextOper().GetLanguageText(TextId::kPortNotOpen) + QLatin1Char(' ')
                    + PortName() + (why.isEmpty() ? QString() : QStringLiteral(": ") + why);
            }
            record.text(QStringLiteral("command"), QStringLiteral("open"))
                .number(QStringLiteral("result"), ResultCode::kPortNotOpen);
        }
        m_session.out().printLine(record.text(QStringLiteral("error"), m_lastFailure));
    }

    QString PortName() const
    {
        return m_session.store().DevOper().PortDevice(m_session.globals().PortNumber.load());
    }

    void PrintStatus()
    {
        if (!m_hasStatus)
            return;
        m_hasStatus = false;
        m_session.out().printLine(OutputRecord(QStringLiteral("status"))
                                      .number(QStringLiteral("pack"), m_pack)
                                      .text(QStringLiteral("pack_time"), m_packTime)
                                      .text(QStringLiteral("bar_code"), m_barCode)
                                      .text(QStringLiteral("software_version"), SoftwareVersionHex(m_softwareVersion)));
    }

    // The row pairs this cycle's analog reading with this cycle's alarm
    // answer (blank when the alarm read failed).
    void AppendLogRow()
    {
        LogFile& log = m_logs[m_pack];
        if (!log.file.isOpen()) {
            if (log.failed)
                return;
            // Named as the main window names its saved logs: pack, then time.
            const QString name = QStringLiteral("%1_%2.csv")
                                     .arg(m_pack)
                                     .arg(m_started.toString(QStringLiteral("yyyyMMddHHmmss")));
            if (!log.file.create(QDir(m_csvFolder).filePath(name), RealtimeLogHeaders(m_session.store().TextOper()),
                                 &m_fileError)) {
                log.failed = true;
                m_session.out().error(m_fileError);
                return;
            }
        }
        ++log.rows;
        if (!log.file.append(RealtimeLogRow(log.rows, m_analog, m_session.store().GetAlarmData(m_pack),
                                             m_session.store()))) {
            m_fileError = QStringLiteral("%1: cannot write").arg(log.file.path());
            m_session.out().error(m_fileError);
        }
    }

    struct LogFile {
        CsvFile file;
        int rows = 0;
        bool failed = false;
    };

    Session& m_session;
    QString m_csvFolder;
    bool m_reconnect;
    bool m_shortCycle;   // only analog and alarm data are read
    bool m_portGone = false;
    MqttPackPublisher* m_mqtt;
    InfluxWriter* m_influx;
    QDateTime m_started;
    std::map<std::uint8_t, LogFile> m_logs;
    bool m_active = false;
    std::uint8_t m_pack = 0;
    std::uint8_t m_address = 0;
    bool m_commandSent = false;
    int m_exchange = 0;
    QString m_lastFailure;
    bool m_hasAnalog = false;
    RAnalogData m_analog;
    bool m_hasAlarm = false;
    RAlarmData m_alarm;
    bool m_hasStatus = false;
    QString m_packTime;
    QString m_barCode;
    std::uint16_t m_softwareVersion = 0;
    int m_readings = 0;
    QString m_fileError;
};

// The broker gets each pack's turn from the poller, with the bar code the
// poller read for it: one reading of the bar code for every output.
class MqttSampleSink final : public IPackSampleSink {
public:
    MqttSampleSink(MqttPackPublisher& mqtt, const PackPoller& poller) : m_mqtt(mqtt), m_poller(poller) {}

    void PackSampled(const RPackSample& sample) override
    {
        const auto readBarCode = [this, &sample] { return m_poller.KnownBarCode(sample.pack); };
        m_mqtt.packPolled(sample.pack, readBarCode, sample.analog ? &*sample.analog : nullptr,
                          sample.alarm ? &*sample.alarm : nullptr);
    }

private:
    MqttPackPublisher& m_mqtt;
    const PackPoller& m_poller;
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
    if (request.mqtt) {
        mqtt.emplace(*request.mqtt, session.store().TextOper(), session.out());
        QString error;
        if (!mqtt->start(error))
            return session.failed(error);
    }
    MqttPackPublisher* publisher = mqtt ? &*mqtt : nullptr;
    // Credentials the broker refuses end the run as a failure.
    const std::function<bool()> stop = [publisher] {
        return InterruptRequested() || (publisher && publisher->refused());
    };
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
    if (request.influx) {
        influx.emplace(*request.influx);
        QString error;
        if (!influx->Start(error))
            return session.failed(QStringLiteral("influx: %1").arg(error));
        outputs.Add(&*influx);
    }
    const RPollPlan plan = Select(session, request);
    PrintingPollView view(session, request.csvFolder, request.reconnect, publisher, plan.allPacks,
                          influx ? &*influx : nullptr);
    PackPoller poller(session.store(), session.globals(), view, stop);
    poller.SetPlan(plan);
    std::optional<MqttSampleSink> mqttSink;
    if (publisher) {
        mqttSink.emplace(*publisher, poller);
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
        FinishInflux(*influx, session.out());
    }
    if (publisher) {
        const bool refused = publisher->refused();
        publisher->finish();
        if (refused)
            return session.failed(publisher->refusal());
    }
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

// The password: in the URL, or the first line of --mqtt-password-file, or
// BMS_MQTT_PASSWORD, so that it need not show in the process list.
bool PrepareMqttPassword(const CommandArgs& args, MqttUrl& url, QString& error)
{
    if (args.has("--mqtt-password-file")) {
        const QString path = args.value("--mqtt-password-file");
        if (url.password) {
            error = QStringLiteral("give the MQTT password once: in the URL or in --mqtt-password-file");
            return false;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("--mqtt-password-file: cannot read %1: %2").arg(QuotedInput(path), file.errorString());
            return false;
        }
        QByteArray line = file.readLine(4096);
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        url.password = QString::fromUtf8(line);
    } else if (!url.password && qEnvironmentVariableIsSet("BMS_MQTT_PASSWORD")) {
        url.password = qEnvironmentVariable("BMS_MQTT_PASSWORD");
    }
    if (url.password && url.user.isEmpty()) {
        if (!args.has("--mqtt-password-file")) {
            url.password.reset();   // the variable is not meant for a broker without users
            return true;
        }
        error = QStringLiteral("an MQTT password needs a user name: mqtt://USER@HOST");
        return false;
    }
    return true;
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

bool PrepareMqtt(const CommandArgs& args, std::optional<MqttSettings>& settings, QString& error)
{
    if (!args.has("--mqtt")) {
        for (const char* option : {"--mqtt-prefix", "--mqtt-retain", "--mqtt-queue", "--mqtt-password-file"})
            if (args.has(option)) {
                error = QStringLiteral("%1 goes with --mqtt URL").arg(QString::fromLatin1(option));
                return false;
            }
        return true;
    }
    MqttSettings mqtt;
    const std::optional<MqttUrl> url = ParseMqttUrl(args.value("--mqtt"), error);
    if (!url)
        return false;
    mqtt.url = *url;
    if (args.has("--mqtt-prefix")) {
        mqtt.prefix = args.value("--mqtt-prefix");
        if (!CheckTopicPrefix(mqtt.prefix, error))
            return false;
    }
    mqtt.retainState = args.has("--mqtt-retain");
    if (args.has("--mqtt-queue")) {
        const auto limit = ParseWholeIn(args.value("--mqtt-queue"), 1, kMaxMqttQueue);
        if (!limit) {
            error = QStringLiteral("--mqtt-queue takes messages 1-%1, not %2")
                        .arg(kMaxMqttQueue)
                        .arg(QuotedInput(args.value("--mqtt-queue")));
            return false;
        }
        mqtt.queueLimit = int(*limit);
    }
    if (!PrepareMqttPassword(args, mqtt.url, error))
        return false;
    settings = mqtt;
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
