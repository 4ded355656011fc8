#include "output_options.h"

#include "interrupt.h"
#include "output.h"

#include "protocol/decimal.h"
#include "store/config_checks.h"

#include <QDir>

namespace {

constexpr std::int64_t kMaxTimeoutSeconds = 600;
constexpr std::int64_t kMaxMetricsStaleSeconds = 86400;
// The largest spool, in MiB.
constexpr std::int64_t kMaxSpoolMb = 1024 * 1024;
// How long the outputs may send at the end.
constexpr std::chrono::milliseconds kFinishWithin{5000};

// Options that only go with another.
bool OnlyWith(const CommandArgs& args, const char* main, std::initializer_list<const char*> options,
              const char* mainValue, QString& error)
{
    if (args.has(main))
        return true;
    for (const char* option : options)
        if (args.has(option)) {
            error = QStringLiteral("%1 goes with %2 %3")
                        .arg(QString::fromLatin1(option), QString::fromLatin1(main), QString::fromLatin1(mainValue));
            return false;
        }
    return true;
}

// The password: in the URL, or the first line of --mqtt-password-file, or
// BMS_MQTT_PASSWORD, so that it need not show in the process list.
bool PrepareMqtt(const CommandArgs& args, RMonitoringSettings& settings, QString& error)
{
    if (!OnlyWith(args, "--mqtt", {"--mqtt-prefix", "--mqtt-retain", "--mqtt-queue", "--mqtt-password-file"}, "URL",
                  error))
        return false;
    if (!args.has("--mqtt"))
        return true;
    settings.mqttOn = true;
    settings.mqttUrl = args.value("--mqtt");
    const std::optional<MqttUrl> url = ParseMqttUrl(settings.mqttUrl, error);
    if (!url)
        return false;
    if (args.has("--mqtt-prefix")) {
        settings.mqttPrefix = args.value("--mqtt-prefix");
        if (!CheckTopicPrefix(settings.mqttPrefix, error))
            return false;
    }
    settings.mqttRetain = args.has("--mqtt-retain");
    if (args.has("--mqtt-queue")) {
        const auto limit = ParseWholeIn(args.value("--mqtt-queue"), 1, kMaxMqttQueue);
        if (!limit) {
            error = QStringLiteral("--mqtt-queue takes messages 1-%1, not %2")
                        .arg(kMaxMqttQueue)
                        .arg(QuotedInput(args.value("--mqtt-queue")));
            return false;
        }
        settings.mqttQueue = int(*limit);
    }
    bool hasPassword = url->password.has_value();
    if (args.has("--mqtt-password-file")) {
        if (url->password) {
            error = QStringLiteral("give the MQTT password once: in the URL or in --mqtt-password-file");
            return false;
        }
        QString why;
        const std::optional<QString> password = ReadSecretFile(args.value("--mqtt-password-file"), &why);
        if (!password) {
            error = QStringLiteral("--mqtt-password-file: %1").arg(why);
            return false;
        }
        settings.mqttPassword = *password;
        hasPassword = true;
    } else if (!url->password && !url->user.isEmpty() && qEnvironmentVariableIsSet("BMS_MQTT_PASSWORD")) {
        // The variable is not meant for a broker without users.
        settings.mqttPassword = qEnvironmentVariable("BMS_MQTT_PASSWORD");
    }
    if (hasPassword && url->user.isEmpty() && args.has("--mqtt-password-file")) {
        error = QStringLiteral("an MQTT password needs a user name: mqtt://USER@HOST");
        return false;
    }
    return true;
}

bool PrepareMetrics(const CommandArgs& args, RMonitoringSettings& settings, QString& error)
{
    if (!OnlyWith(args, "--metrics", {"--metrics-stale"}, "[ADDRESS:]PORT", error))
        return false;
    if (!args.has("--metrics"))
        return true;
    QString why;
    if (!ParseListenAddress(args.value("--metrics"), &why)) {
        error = QStringLiteral("--metrics takes [ADDRESS:]PORT: %1").arg(why);
        return false;
    }
    settings.metricsOn = true;
    settings.metricsAddress = args.value("--metrics");
    if (args.has("--metrics-stale")) {
        const auto seconds = ParseWholeIn(args.value("--metrics-stale"), 1, kMaxMetricsStaleSeconds);
        if (!seconds) {
            error = QStringLiteral("--metrics-stale takes seconds 1-%1, not %2")
                        .arg(kMaxMetricsStaleSeconds)
                        .arg(QuotedInput(args.value("--metrics-stale")));
            return false;
        }
        settings.metricsStaleSeconds = int(*seconds);
    }
    return true;
}

bool PrepareInflux(const CommandArgs& args, RMonitoringSettings& settings, QString& error)
{
    if (!OnlyWith(args, "--influx",
                  {"--influx-db", "--influx-token", "--influx-token-file", "--influx-timeout", "--spool-mb",
                   "--spool-dir"},
                  "URL", error))
        return false;
    if (!args.has("--influx"))
        return true;
    settings.influxOn = true;
    settings.influxUrl = args.value("--influx");
    settings.influxDb = args.value("--influx-db");
    if (args.has("--influx-token") && args.has("--influx-token-file")) {
        error = QStringLiteral("give the influx token once: --influx-token or --influx-token-file");
        return false;
    }
    if (args.has("--influx-token-file")) {
        QString why;
        const std::optional<QString> token = ReadSecretFile(args.value("--influx-token-file"), &why);
        if (!token) {
            error = QStringLiteral("--influx-token-file: %1").arg(why);
            return false;
        }
        settings.influxToken = *token;
        settings.influxTokenFile = args.value("--influx-token-file");
    } else {
        settings.influxToken =
            args.has("--influx-token") ? args.value("--influx-token") : qEnvironmentVariable("BMS_INFLUX_TOKEN");
    }
    if (args.has("--influx-timeout")) {
        const auto seconds = ParseWholeIn(args.value("--influx-timeout"), 1, kMaxTimeoutSeconds);
        if (!seconds) {
            error = QStringLiteral("--influx-timeout takes seconds 1-%1, not %2")
                        .arg(kMaxTimeoutSeconds)
                        .arg(QuotedInput(args.value("--influx-timeout")));
            return false;
        }
        settings.influxTimeoutSeconds = int(*seconds);
    }
    if (args.has("--spool-mb")) {
        // MiB, with up to four decimals, so that a small spool can be tried.
        const std::optional<Decimal> mb = Decimal::parse(args.value("--spool-mb"));
        if (!mb || *mb < Decimal::fromRaw(100) || *mb > Decimal::fromInt(kMaxSpoolMb)) {
            error = QStringLiteral("--spool-mb takes MiB 0.01-%1, not %2")
                        .arg(kMaxSpoolMb)
                        .arg(QuotedInput(args.value("--spool-mb")));
            return false;
        }
        settings.spoolBytes = mb->scaledToInt(1024 * 1024, 1, Decimal::Rounding::Truncate);
    }
    if (args.has("--spool-dir")) {
        settings.spoolFolder = args.value("--spool-dir");
        if (settings.spoolFolder.isEmpty()) {
            error = QStringLiteral("--spool-dir takes a folder");
            return false;
        }
    }
    QString why;
    if (!InfluxSettingsOf(settings, why)) {
        error = QStringLiteral("--influx takes http://HOST:PORT or https://HOST:PORT with an optional write path, "
                               "not %1")
                    .arg(QuotedInput(args.value("--influx")));
        return false;
    }
    return true;
}

OutputRecord InfluxRecord(const char* event, const ROutputEvent& happened)
{
    return OutputRecord(QStringLiteral("influx"))
        .text(QStringLiteral("event"), QString::fromLatin1(event))
        .text(QStringLiteral("server"), happened.where)
        .number(QStringLiteral("sent"), happened.counts.sent)
        .number(QStringLiteral("spooled"), happened.counts.spooled)
        .number(QStringLiteral("dropped"), happened.counts.dropped)
        .number(QStringLiteral("rejected"), happened.counts.rejected);
}

// "answered 503 (...)" or "cannot be reached (...)".
QString ServerSaid(const ROutputEvent& event)
{
    if (event.httpStatus == 0)
        return QStringLiteral("cannot be reached (%1)").arg(event.detail);
    return event.detail.isEmpty() ? QStringLiteral("answered %1").arg(event.httpStatus)
                                  : QStringLiteral("answered %1 (%2)").arg(event.httpStatus).arg(event.detail);
}

void ReportInflux(const ROutputEvent& event, const Output& output)
{
    using Kind = ROutputEvent::Kind;
    switch (event.kind) {
    case Kind::Unreachable:
        output.printLine(InfluxRecord("unreachable", event));
        output.error(QStringLiteral("influx: %1 %2; polling goes on, readings wait in the spool %3")
                         .arg(event.where, ServerSaid(event), QDir::toNativeSeparators(event.folder)));
        break;
    case Kind::Back: output.printLine(InfluxRecord("back", event)); break;
    case Kind::Refused:
        output.printLine(InfluxRecord("rejected", event));
        output.error(QStringLiteral("influx: %1 refused the lines: %2; they are dropped, not sent again (check "
                                    "the URL, --influx-db and --influx-token)")
                         .arg(event.where, ServerSaid(event)));
        break;
    case Kind::SpoolFull:
        output.error(QStringLiteral("influx: the spool is full (%1); readings that do not fit are dropped and "
                                    "counted")
                         .arg(event.detail));
        break;
    case Kind::SpoolFailed:
        output.error(QStringLiteral("influx: %1; readings that cannot be spooled are dropped and counted; "
                                    "polling goes on")
                         .arg(event.detail));
        break;
    case Kind::QueueFull:
        output.error(QStringLiteral("influx: the writer fell behind; readings are dropped and counted"));
        break;
    case Kind::NotStarted:
        output.error(QStringLiteral("influx: %1; the line protocol is off, polling goes on").arg(event.detail));
        break;
    case Kind::SpoolCut:
        output.error(QStringLiteral("influx: %1; that line is dropped and counted, the whole lines are sent")
                         .arg(event.detail));
        break;
    case Kind::RemoveFailed:
        output.error(QStringLiteral("influx: %1; its lines were sent, a later run will send them again")
                         .arg(event.detail));
        break;
    case Kind::Finished: output.printLine(InfluxRecord("finished", event)); break;
    case Kind::Started:
    case Kind::FileFailed: break;
    }
}

void ReportMqtt(const ROutputEvent& event, const Output& output)
{
    using Kind = ROutputEvent::Kind;
    const char* word = event.kind == Kind::Started ? "connected"
        : event.kind == Kind::Unreachable          ? "unreachable"
        : event.kind == Kind::Finished             ? "finished"
                                                   : nullptr;
    if (!word)
        return;   // NotStarted ends the run with its reason
    OutputRecord record(QStringLiteral("mqtt"));
    record.text(QStringLiteral("event"), QString::fromLatin1(word)).text(QStringLiteral("broker"), event.where);
    if (!event.detail.isEmpty())
        record.text(QStringLiteral("detail"), event.detail);
    output.printLine(record.number(QStringLiteral("published"), event.counts.sent)
                         .number(QStringLiteral("dropped"), event.counts.dropped)
                         .number(QStringLiteral("waiting"), event.counts.waiting));
    if (event.kind == Kind::Unreachable)
        output.error(QStringLiteral("mqtt: no connection to %1%2; polling goes on, readings wait in the queue")
                         .arg(event.where, event.detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(event.detail)));
    if (event.kind == Kind::Finished && event.counts.dropped > 0)
        output.error(QStringLiteral("mqtt: %1 message(s) could not be published (queue full or broker away)")
                         .arg(event.counts.dropped));
}

void ReportEvents(std::vector<ROutputEvent> events, const Output& output)
{
    using Kind = ROutputEvent::Kind;
    for (const ROutputEvent& event : events) {
        switch (event.output) {
        case ROutputEvent::Output::Influx: ReportInflux(event, output); break;
        case ROutputEvent::Output::Mqtt: ReportMqtt(event, output); break;
        case ROutputEvent::Output::Metrics:
            if (event.kind == Kind::Started) {
                if (!event.detail.isEmpty())
                    output.error(event.detail);
                output.printLine(OutputRecord(QStringLiteral("metrics"))
                                     .text(QStringLiteral("event"), QStringLiteral("serving"))
                                     .text(QStringLiteral("url"), event.where));
            }
            else if (event.kind == Kind::NotStarted)
                output.error(QStringLiteral("metrics: %1; polling goes on, trying again every %2 s")
                                 .arg(event.detail)
                                 .arg(std::chrono::seconds(MetricsSink::kRetryPause).count()));
            break;
        case ROutputEvent::Output::Csv:
            if (event.kind == Kind::FileFailed)
                output.error(event.detail);
            break;
        }
    }
}

} // namespace

bool PrepareOutputOptions(const CommandArgs& args, RMonitoringSettings& settings, QString& error)
{
    // The folder is checked, and created, before the port is opened.
    settings.csvFolder = args.value("--csv");
    return PrepareMqtt(args, settings, error) && PrepareMetrics(args, settings, error)
        && PrepareInflux(args, settings, error);
}

bool StartOutputs(MonitoringOutputs& outputs, const RMonitoringSettings& settings, bool listening,
                  const Output& output, QString& error)
{
    MonitoringOutputs::Use use;
    use.listening = listening;
    use.finishWithin = kFinishWithin;
    outputs.Apply(settings, use);
    std::vector<ROutputEvent> events = outputs.TakeEvents();
    for (const ROutputEvent& event : events)
        if (event.kind == ROutputEvent::Kind::NotStarted
            && (event.output == ROutputEvent::Output::Csv || event.output == ROutputEvent::Output::Mqtt)) {
            error = event.detail;
            return false;
        }
    ReportEvents(std::move(events), output);
    return true;
}

void PumpOutputs(MonitoringOutputs& outputs, const Output& output)
{
    outputs.Pump();
    ReportEvents(outputs.TakeEvents(), output);
}

QString FinishOutputs(MonitoringOutputs& outputs, const Output& output)
{
    std::vector<ROutputEvent> events = outputs.TakeEvents();
    outputs.Stop();
    for (ROutputEvent& event : outputs.TakeEvents())
        events.push_back(std::move(event));
    ReportEvents(events, output);
    return outputs.Failure();
}

std::function<bool()> StopRequested(const MonitoringOutputs& outputs)
{
    // Credentials the broker refuses end the run as a failure.
    return [&outputs] { return InterruptRequested() || outputs.MqttRefused(); };
}
