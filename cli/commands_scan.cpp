// "scan": which addresses on the bus answer, and what they are.
#include "commands.h"
#include "interrupt.h"

#include "services/input_text.h"
#include "store/pack_poller.h"
#include "store/bus_scan.h"
#include "store/config_checks.h"

#include <limits>

namespace {

int RunScan(Session& session, const RScanRange& range)
{
    const std::vector<RScanEntry> entries = ScanBus(session.store(), range, [&session](const RScanEntry& entry) {
        if (entry.answered())
            session.out().printLine(OutputRecord(QStringLiteral("scan"))
                                        .number(QStringLiteral("address"), entry.address)
                                        .text(QStringLiteral("bar_code"), entry.barCode)
                                        .text(QStringLiteral("software_version"), SoftwareVersionHex(entry.softwareVersion))
                                        .number(QStringLiteral("echoed_pack"), entry.echoedPack));
        return !InterruptRequested();
    });
    std::vector<std::int64_t> found;
    for (const RScanEntry& entry : entries)
        if (entry.answered())
            found.push_back(entry.address);
    const bool complete = entries.empty() || entries.back().address >= range.to;
    session.out().printLine(OutputRecord(QStringLiteral("scan_done"))
                                .number(QStringLiteral("from"), range.from)
                                .number(QStringLiteral("to"), entries.empty() ? range.from : entries.back().address)
                                .flag(QStringLiteral("complete"), complete)
                                .numbers(QStringLiteral("answered"), found));
    return found.empty() ? session.failed(QStringLiteral("no address from %1 to %2 answered")
                                              .arg(range.from)
                                              .arg(entries.empty() ? range.from : entries.back().address))
                         : 0;
}

} // namespace

Prepared PrepareScan(const CommandArgs& args)
{
    if (!args.positional.isEmpty())
        return Prepared::Usage(QStringLiteral("scan takes only options: --from, --to, --timeout"));
    RScanRange range;
    const auto read = [&args](const char* name, std::int64_t minimum, std::int64_t maximum, int& out) {
        if (!args.has(name))
            return QString();
        const auto value = ParseWholeIn(args.value(name), minimum, maximum);
        if (!value)
            return QStringLiteral("%1 takes a whole number %2-%3, not %4")
                .arg(QLatin1String(name))
                .arg(minimum)
                .arg(maximum)
                .arg(QuotedInput(args.value(name)));
        out = int(*value);
        return QString();
    };
    for (const QString& error :
         {read("--from", 0, 255, range.from), read("--to", 0, 255, range.to),
          read("--timeout", RScanRange::kMinWindowMs, RScanRange::kMaxWindowMs, range.windowMs)}) {
        if (!error.isEmpty())
            return Prepared::Usage(error);
    }
    if (range.from > range.to)
        return Prepared::Usage(QStringLiteral("--from %1 is above --to %2").arg(range.from).arg(range.to));
    return Prepared::Run([range](Session& session) { return RunScan(session, range); });
}
