#include "influx_poll.h"

#include "output.h"

#include "services/input_text.h"
#include "store/config_checks.h"

#include <QDir>

namespace {

constexpr std::int64_t kMaxTimeoutSeconds = 600;
// The largest spool, in MiB.
constexpr std::int64_t kMaxSpoolMb = 1024 * 1024;
constexpr std::chrono::milliseconds kFinishWithin{5000};

OutputRecord CountsRecord(const char* event, const InfluxWriter& writer)
{
    const InfluxWriter::Counts counts = writer.counts();
    return OutputRecord(QStringLiteral("influx"))
        .text(QStringLiteral("event"), QString::fromLatin1(event))
        .text(QStringLiteral("server"), writer.Server())
        .number(QStringLiteral("sent"), counts.sent)
        .number(QStringLiteral("spooled"), counts.spooled)
        .number(QStringLiteral("dropped"), counts.dropped)
        .number(QStringLiteral("rejected"), counts.rejected);
}

// "answered 503 (...)" or "cannot be reached (...)".
QString What(const InfluxWriter::Event& event)
{
    if (event.httpStatus == 0)
        return QStringLiteral("cannot be reached (%1)").arg(event.detail);
    return event.detail.isEmpty() ? QStringLiteral("answered %1").arg(event.httpStatus)
                                  : QStringLiteral("answered %1 (%2)").arg(event.httpStatus).arg(event.detail);
}

} // namespace

bool PrepareInflux(const CommandArgs& args, std::optional<InfluxSettings>& settings, QString& error)
{
    if (!args.has("--influx")) {
        for (const char* option : {"--influx-db", "--influx-token", "--influx-timeout", "--spool-mb", "--spool-dir"})
            if (args.has(option)) {
                error = QStringLiteral("%1 goes with --influx URL").arg(QString::fromLatin1(option));
                return false;
            }
        return true;
    }
    InfluxSettings influx;
    influx.url = QUrl(args.value("--influx"), QUrl::StrictMode);
    influx.database = args.value("--influx-db");
    influx.token = args.has("--influx-token") ? args.value("--influx-token") : qEnvironmentVariable("BMS_INFLUX_TOKEN");
    if (!InfluxWriteUrl(influx, error)) {
        error = QStringLiteral("--influx takes http://HOST:PORT or https://HOST:PORT with an optional write path, "
                               "not %1")
                    .arg(QuotedInput(args.value("--influx")));
        return false;
    }
    if (args.has("--influx-timeout")) {
        const auto seconds = ParseWholeIn(args.value("--influx-timeout"), 1, kMaxTimeoutSeconds);
        if (!seconds) {
            error = QStringLiteral("--influx-timeout takes seconds 1-%1, not %2")
                        .arg(kMaxTimeoutSeconds)
                        .arg(QuotedInput(args.value("--influx-timeout")));
            return false;
        }
        influx.timeout = std::chrono::seconds(*seconds);
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
        influx.spoolBytes = mb->scaledToInt(1024 * 1024, 1, Decimal::Rounding::Truncate);
    }
    if (args.has("--spool-dir")) {
        influx.spoolFolder = args.value("--spool-dir");
        if (influx.spoolFolder.isEmpty()) {
            error = QStringLiteral("--spool-dir takes a folder");
            return false;
        }
    }
    settings = influx;
    return true;
}

void ReportInfluxEvents(InfluxWriter& writer, const Output& output)
{
    using Kind = InfluxWriter::Event::Kind;
    for (const InfluxWriter::Event& event : writer.TakeEvents()) {
        switch (event.kind) {
        case Kind::Unreachable:
            output.printLine(CountsRecord("unreachable", writer));
            output.error(QStringLiteral("influx: %1 %2; polling goes on, readings wait in the spool %3")
                             .arg(writer.Server(), What(event), QDir::toNativeSeparators(writer.SpoolFolder())));
            break;
        case Kind::Back: output.printLine(CountsRecord("back", writer)); break;
        case Kind::Rejected:
            output.printLine(CountsRecord("rejected", writer));
            output.error(QStringLiteral("influx: %1 refused the lines: %2; they are dropped, not sent again (check "
                                        "the URL, --influx-db and --influx-token)")
                             .arg(writer.Server(), What(event)));
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
        case Kind::SpoolCut:
            output.error(QStringLiteral("influx: %1; that line is dropped and counted, the whole lines are sent")
                             .arg(event.detail));
            break;
        case Kind::RemoveFailed:
            output.error(QStringLiteral("influx: %1; its lines were sent, a later run will send them again")
                             .arg(event.detail));
            break;
        }
    }
}

bool FinishInflux(InfluxWriter& writer, const Output& output, QString& failure)
{
    writer.Finish(kFinishWithin);
    ReportInfluxEvents(writer, output);
    output.printLine(CountsRecord("finished", writer));
    const InfluxWriter::Counts counts = writer.counts();
    if (counts.dropped == 0 && counts.rejected == 0)
        return true;
    failure = QStringLiteral("influx: %1 lines dropped, %2 refused by the server; %3 sent, %4 wait in the spool")
                  .arg(counts.dropped)
                  .arg(counts.rejected)
                  .arg(counts.sent)
                  .arg(counts.spooled);
    return false;
}
