// "scan": which addresses on the bus answer, and what they are.
#include "commands.h"
#include "interrupt.h"

#include "services/input_text.h"
#include "store/pack_poller.h"
#include "store/bus_scan.h"
#include "store/config_checks.h"

#include <limits>
#include <optional>

namespace {

// One line per address that answered: our pack with its bar code and
// software version, another maker's with its family and identity, an
// address of no known family with why (only reads were sent to it).
std::optional<OutputRecord> ScanLine(const RScanEntry& entry)
{
    OutputRecord line(QStringLiteral("scan"));
    line.number(QStringLiteral("address"), entry.address);
    const RPackFamilyState& state = entry.family;
    if (state.problem != RPackFamilyState::Problem::None) {
        line.text(QStringLiteral("family"), FamilyName(state.pinned ? state.family : PackFamily::Unknown))
            .text(QStringLiteral("problem"), FamilyProblemWord(state.problem))
            .text(QStringLiteral("reason"), FamilyProblemText(state));
        if (state.problem == RPackFamilyState::Problem::TwoFamilies)
            line.texts(QStringLiteral("families"), {FamilyName(state.misfit.family), FamilyName(state.second)});
        return line;
    }
    if (!entry.answered())
        return std::nullopt;
    line.text(QStringLiteral("family"), FamilyName(state.family));
    if (!IsForeign(state.family))
        return line.text(QStringLiteral("bar_code"), entry.barCode)
            .text(QStringLiteral("software_version"), SoftwareVersionHex(entry.softwareVersion))
            .number(QStringLiteral("echoed_pack"), entry.echoedPack);
    if (entry.identityResult != 0)
        return line.number(QStringLiteral("identity_result"), entry.identityResult);
    const RFamilyIdentity& identity = entry.identity;
    line.text(QStringLiteral("device_name"), identity.deviceName)
        .text(QStringLiteral("software_version"), identity.softwareVersion)
        .text(QStringLiteral("manufacturer"), identity.manufacturer);
    if (!identity.serialNumber.isEmpty())
        line.text(QStringLiteral("serial_number"), identity.serialNumber);
    if (!identity.firmwareVersion.isEmpty())
        line.text(QStringLiteral("firmware_version"), identity.firmwareVersion);
    return line;
}

int RunScan(Session& session, const RScanRange& range)
{
    const std::vector<RScanEntry> entries = ScanBus(session.store(), range, [&session](const RScanEntry& entry) {
        if (const std::optional<OutputRecord> line = ScanLine(entry))
            session.out().printLine(*line);
        return !InterruptRequested();
    });
    std::vector<std::int64_t> found;
    std::vector<std::int64_t> unknown;
    for (const RScanEntry& entry : entries) {
        if (entry.answered())
            found.push_back(entry.address);
        else if (entry.family.problem != RPackFamilyState::Problem::None)
            unknown.push_back(entry.address);
    }
    const bool complete = entries.empty() || entries.back().address >= range.to;
    const int last = entries.empty() ? range.from : entries.back().address;
    OutputRecord done(QStringLiteral("scan_done"));
    done.number(QStringLiteral("from"), range.from)
        .number(QStringLiteral("to"), last)
        .flag(QStringLiteral("complete"), complete)
        .numbers(QStringLiteral("answered"), found);
    // Addresses that answered in no family they could be read in.
    if (!unknown.empty())
        done.numbers(QStringLiteral("no_family"), unknown);
    session.out().printLine(done);
    if (!found.empty())
        return 0;
    return session.failed(unknown.empty()
                              ? QStringLiteral("no address from %1 to %2 answered").arg(range.from).arg(last)
                              : QStringLiteral("no address from %1 to %2 answered in a family it can be read in")
                                    .arg(range.from)
                                    .arg(last));
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
