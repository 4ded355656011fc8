// Commands over many packs (--packs LIST): comparing the parameter sets of
// a rack, writing one file to many packs and setting every clock. Each
// prints one line per pack (or per differing parameter) and exits 0 only
// when every pack did what was asked.
#include "commands.h"
#include "interrupt.h"

#include "params/parameter_compare.h"
#include "params/reference_file.h"
#include "services/settings.h"
#include "store/bus_jobs.h"
#include "store/bus_texts.h"
#include "store/devinfo.h"
#include "store/pack_list.h"

#include <algorithm>

namespace {

RBusControl InterruptControl()
{
    return RBusControl{[] { return InterruptRequested(); }, {}};
}

std::uint8_t NameLanguage()
{
    return TTextOper::CurrentLanguage() == TTextOper::English ? 1 : 0;
}

QString PortName(const Session& session)
{
    return session.store().DevOper().PortDevice(session.globals().PortNumber.load());
}

// "the port … went away" on standard error when it did; true then.
bool ReportPortLost(const Session& session, bool portLost, const QString& what)
{
    if (portLost)
        session.out().error(QStringLiteral("the port %1 went away; %2").arg(PortName(session), what));
    return portLost;
}

// "pack 3 not read: <why>" on standard error for every pack not read (its
// error text when it was asked, "not tried" or "port lost" otherwise); true
// when there was one.
bool ReportUnread(const Session& session, const RParameterSets& sets)
{
    const std::vector<std::uint8_t> notRead = sets.notRead();
    for (std::uint8_t pack : notRead)
        session.out().error(QStringLiteral("pack %1 not read: %2")
                                .arg(pack)
                                .arg(NotReadText(*sets.find(pack), session.store().TextOper())));
    return !notRead.empty();
}

// The summary a compare ends with: the packs read, those not read with
// the reason, and how many rows differ.
OutputRecord CompareSummary(const Session& session, const RParameterSets& sets, const std::vector<std::uint8_t>& listed,
                            std::optional<int> differing, int comparedIds)
{
    std::vector<std::int64_t> read;
    QStringList notReadJson;
    QStringList notReadPlain;
    for (const RPackParameters& entry : sets.packs) {
        if (std::find(listed.begin(), listed.end(), entry.pack) == listed.end() && entry.result == 0)
            continue;
        if (entry.result == 0) {
            read.push_back(entry.pack);
            continue;
        }
        const QString reason = NotReadText(entry, session.store().TextOper());
        notReadJson << QStringLiteral("{\"pack\":%1,\"reason\":%2}").arg(entry.pack).arg(JsonString(reason));
        notReadPlain << QStringLiteral("%1 (%2)").arg(entry.pack).arg(reason);
    }
    OutputRecord record(QStringLiteral("summary"));
    record.numbers(QStringLiteral("packs_read"), read)
        .raw(QStringLiteral("packs_not_read"), QLatin1Char('[') + notReadJson.join(QLatin1Char(',')) + QLatin1Char(']'),
             notReadPlain.join(QStringLiteral(", ")));
    if (differing)
        record.number(QStringLiteral("rows_differ"), *differing);
    else
        record.raw(QStringLiteral("rows_differ"), QStringLiteral("null"), QStringLiteral("none compared"));
    if (comparedIds > 0)
        record.number(QStringLiteral("ids_compared"), comparedIds);
    return record;
}

struct CompareRequest {
    std::vector<std::uint8_t> packs;
    std::optional<std::uint8_t> referencePack;
    std::optional<RReference> referenceFile;   // --ref FILE
};

int RunCompare(Session& session, const CompareRequest& request)
{
    std::vector<std::uint8_t> toRead = request.packs;
    if (request.referencePack && std::find(toRead.begin(), toRead.end(), *request.referencePack) == toRead.end())
        toRead.insert(toRead.begin(), *request.referencePack);
    const RParameterSets sets = ReadParameterSets(session.store(), toRead, InterruptControl());
    bool failed = ReportUnread(session, sets) || sets.cancelled;
    failed = ReportPortLost(session, sets.portLost, QStringLiteral("not every pack was read")) || failed;

    // The packs listed that were read: one value each in every row.
    std::vector<RPackParameters> compared;
    for (const RPackParameters& entry : sets.packs)
        if (entry.result == 0 && std::find(request.packs.begin(), request.packs.end(), entry.pack) != request.packs.end())
            compared.push_back(entry);

    RParameter reference = session.store().ParameterInfo().NewParameterSet(0);
    std::vector<std::uint8_t> referenceIds;
    if (request.referenceFile) {
        reference = request.referenceFile->set;
        referenceIds = request.referenceFile->ids;
    } else {
        const std::uint8_t pack = request.referencePack.value_or(request.packs.front());
        const RPackParameters* found = sets.find(pack);
        if (!found || found->result != 0) {
            if (session.out().json())
                session.out().printLine(CompareSummary(session, sets, request.packs, std::nullopt, 0));
            return session.failed(session.store().TextOper().GetLanguageText(BusText::kReferenceNotRead).arg(pack));
        }
        reference = found->set;
    }

    const std::vector<RCompareRow> rows = CompareParameterSets(reference, referenceIds, compared);
    QString table;
    for (const RCompareRow& row : rows) {
        if (!row.anyDiffers())
            continue;
        const RParameterKind& entry = reference.Entries[row.id];
        const QString name = TParameterInfo::GetParameterName(row.id, NameLanguage(), reference);
        const QString referenceText = row.referenced ? ParameterValueText(entry, entry.Value) : QString();
        QStringList json;
        QStringList plain;
        QStringList differing;
        for (std::size_t k = 0; k < compared.size(); ++k) {
            const QString value = ParameterValueText(entry, row.values[k]);
            json << QStringLiteral("\"%1\":%2").arg(compared[k].pack).arg(row.values[k].toString());
            plain << QStringLiteral("%1=%2%3").arg(compared[k].pack).arg(value, row.differs[k] ? QStringLiteral("*") : QString());
            if (row.differs[k])
                differing << QString::number(compared[k].pack);
        }
        if (session.out().json()) {
            OutputRecord record(QStringLiteral("difference"));
            record.number(QStringLiteral("id"), row.id).text(QStringLiteral("name"), name);
            if (row.referenced)
                record.number(QStringLiteral("reference"), entry.Value);
            record.raw(QStringLiteral("values"), QLatin1Char('{') + json.join(QLatin1Char(',')) + QLatin1Char('}'), {})
                .raw(QStringLiteral("differing"), QLatin1Char('[') + differing.join(QLatin1Char(',')) + QLatin1Char(']'), {});
            session.out().printLine(record);
        } else {
            table += QStringLiteral("%1  %2  ref=%3  %4\n")
                         .arg(row.id, 3, 10, QLatin1Char('0'))
                         .arg(name, referenceText, plain.join(QStringLiteral("  ")));
        }
    }
    const int differences = int(std::count_if(rows.begin(), rows.end(), [](const RCompareRow& row) { return row.anyDiffers(); }));
    const int comparedIds = int(referenceIds.size());
    if (session.out().json()) {
        session.out().printLine(CompareSummary(session, sets, request.packs, differences, comparedIds));
    } else {
        std::vector<std::uint8_t> readPacks;
        for (const RPackParameters& entry : compared)
            readPacks.push_back(entry.pack);
        table += QStringLiteral("%1 parameter(s) differ across the pack(s) read: %2\n")
                     .arg(differences)
                     .arg(FormatPackList(readPacks));
        if (comparedIds > 0)
            table += session.store().TextOper().GetLanguageText(BusText::kFileIdsCompared).arg(comparedIds) + QLatin1Char('\n');
        session.out().printText(table);
    }
    return failed ? 1 : 0;
}

QString StepName(RBatchStep step)
{
    switch (step) {
    case RBatchStep::Written: return QStringLiteral("written");
    case RBatchStep::ReadFailed: return QStringLiteral("not_read");
    case RBatchStep::Refused: return QStringLiteral("refused");
    case RBatchStep::WriteFailed: return QStringLiteral("write_failed");
    case RBatchStep::VerifyFailed: return QStringLiteral("verify_failed");
    case RBatchStep::WrittenAnswerLost: return QStringLiteral("written_answer_lost");
    case RBatchStep::NotWritten: return QStringLiteral("not_written");
    }
    return {};
}

int RunWriteMany(Session& session, const std::vector<std::uint8_t>& packs, const std::vector<RParameterFileLine>& lines)
{
    RParameterSource source;
    source.lines = lines;
    const RBatchWriteReport report = WriteParameterSets(session.store(), packs, source, NameLanguage(), InterruptControl());
    const TTextOper& texts = session.store().TextOper();
    for (const RPackWriteOutcome& outcome : report.packs) {
        const bool lost = outcome.reach == RPackReach::PortLost && !outcome.ok();
        session.out().printLine(OutputRecord(QStringLiteral("pack_write"))
                                    .number(QStringLiteral("pack"), outcome.pack)
                                    .text(QStringLiteral("result"), lost ? QStringLiteral("port_lost") : StepName(outcome.step))
                                    .number(QStringLiteral("fields_changed"), outcome.ok() ? std::int64_t(outcome.changedIds.size()) : 0)
                                    .text(QStringLiteral("text"), BatchStepText(outcome, texts)));
    }
    for (std::uint8_t pack : report.notDone) {
        const RPackReach reach = report.loop.reachOf(pack);
        session.out().printLine(OutputRecord(QStringLiteral("pack_write"))
                                    .number(QStringLiteral("pack"), pack)
                                    .text(QStringLiteral("result"), reach == RPackReach::PortLost ? QStringLiteral("port_lost")
                                                                                                  : QStringLiteral("not_tried"))
                                    .number(QStringLiteral("fields_changed"), 0)
                                    .text(QStringLiteral("text"), ReachText(reach, texts)));
    }
    ReportPortLost(session, report.portLost, QStringLiteral("not every pack was written"));
    return report.allWritten() ? 0 : 1;
}

QString ReachName(RPackReach reach)
{
    switch (reach) {
    case RPackReach::Asked: return QStringLiteral("asked");
    case RPackReach::NotTried: return QStringLiteral("not_tried");
    case RPackReach::PortLost: return QStringLiteral("port_lost");
    }
    return QString();
}

// A pack asked has its results (reach "port_lost" when the port went away
// while it was asked); a pack never asked has none.
OutputRecord ClockLine(const RClockOutcome& outcome, TDevInfo& store)
{
    const TTextOper& texts = store.TextOper();
    OutputRecord record(QStringLiteral("time_sync"));
    record.number(QStringLiteral("pack"), outcome.pack);
    if (!outcome.asked) {
        return record.text(QStringLiteral("pack_time"), QString())
            .raw(QStringLiteral("offset_s"), QStringLiteral("null"), OffsetText(std::nullopt))
            .text(QStringLiteral("set_to"), QString())
            .raw(QStringLiteral("result"), QStringLiteral("null"), QString())
            .text(QStringLiteral("reach"), ReachName(outcome.reach))
            .text(QStringLiteral("text"), ReachText(outcome.reach, texts));
    }
    record.text(QStringLiteral("pack_time"), outcome.readResult == 0 ? FormatDeviceTime(outcome.before) : QString());
    // A clock that could not be read has no offset: null, not a text.
    if (outcome.offsetSeconds)
        record.number(QStringLiteral("offset_s"), *outcome.offsetSeconds);
    else
        record.raw(QStringLiteral("offset_s"), QStringLiteral("null"), OffsetText(outcome.offsetSeconds));
    return record.text(QStringLiteral("set_to"), FormatDeviceTime(outcome.written))
        .number(QStringLiteral("result"), outcome.writeResult)
        .text(QStringLiteral("reach"), ReachName(outcome.reach))
        .text(QStringLiteral("text"), outcome.ok() ? texts.GetLanguageText(0x3504)
                                                         : PackResultText(store, outcome.pack, outcome.writeResult));
}

int RunTimeSyncMany(Session& session, const std::vector<std::uint8_t>& packs)
{
    // Each pack's line as soon as it is done, the packs not asked after.
    const RClockSyncReport report = SyncClocks(session.store(), packs, InterruptControl(),
                                               [&](const RClockOutcome& outcome) {
                                                   session.out().printLine(ClockLine(outcome, session.store()));
                                               });
    bool allSet = !report.cancelled && !report.portLost;
    for (const RClockOutcome& outcome : report.packs) {
        if (!outcome.asked)
            session.out().printLine(ClockLine(outcome, session.store()));
        allSet = allSet && outcome.ok();
    }
    if (report.portLost) {
        QStringList lost;
        for (const RClockOutcome& outcome : report.packs)
            if (outcome.reach == RPackReach::PortLost)
                lost << QString::number(outcome.pack);
        return session.failed(QStringLiteral("the port %1 went away; clocks not set: packs %2")
                                  .arg(session.store().DevOper().PortDevice(session.globals().PortNumber.load()),
                                       lost.join(QLatin1Char(','))));
    }
    return allSet ? 0 : 1;
}

} // namespace

std::optional<std::vector<std::uint8_t>> PacksOption(const CommandArgs& args, QString& error)
{
    if (!args.has("--packs")) {
        error = QStringLiteral("--packs LIST is needed (\"1-16\", \"1,3,5\" or \"all\")");
        return std::nullopt;
    }
    QString why;
    auto packs = ParsePackList(args.value("--packs"), Globals().PackCount.load(), &why);
    if (!packs)
        error = QStringLiteral("--packs: %1").arg(why);
    return packs;
}

Prepared PrepareParamsCompare(const CommandArgs& args)
{
    if (args.positional.size() != 1 || args.has("--out") || args.has("--restore-defaults") || args.has("--yes"))
        return Prepared::Usage(QStringLiteral("expected \"params compare --packs LIST [--ref FILE.prt | --ref-pack N]\""));
    QString error;
    CompareRequest request;
    const auto packs = PacksOption(args, error);
    if (!packs)
        return Prepared::Usage(error);
    request.packs = *packs;
    if (args.has("--ref") && args.has("--ref-pack"))
        return Prepared::Usage(QStringLiteral("give --ref FILE or --ref-pack N, not both"));
    if (args.has("--ref-pack")) {
        const auto pack = ParseWholeIn(args.value("--ref-pack"), 1, kMaxPacks);
        if (!pack)
            return Prepared::Usage(QStringLiteral("--ref-pack: a pack 1-%1, not %2").arg(kMaxPacks).arg(QuotedInput(args.value("--ref-pack"))));
        request.referencePack = std::uint8_t(*pack);
    }
    if (args.has("--ref")) {
        const RReferenceFile loaded = LoadReferenceFile(args.value("--ref"));
        if (loaded.fault != ReferenceFileFault::None)
            return Prepared::Usage(ReferenceFileMessage(args.value("--ref"), loaded));
        request.referenceFile = loaded.reference;
    }
    return Prepared::Run([request](Session& session) { return RunCompare(session, request); });
}

Prepared PrepareParamsWriteMany(const CommandArgs& args, const std::vector<RParameterFileLine>& lines)
{
    QString error;
    const auto packs = PacksOption(args, error);
    if (!packs)
        return Prepared::Usage(error);
    if (args.has("--restore-defaults") || args.has("--ref") || args.has("--ref-pack"))
        return Prepared::Usage(QStringLiteral("\"params write FILE.prt --packs LIST\" takes only --yes"));
    if (packs->size() > 1 && !args.has("--yes"))
        return Prepared::Usage(QStringLiteral("writing to %1 packs (%2) needs --yes")
                                   .arg(packs->size())
                                   .arg(FormatPackList(*packs)));
    return Prepared::Run([packs = *packs, lines](Session& session) { return RunWriteMany(session, packs, lines); });
}

Prepared PrepareTimeSyncMany(const CommandArgs& args)
{
    QString error;
    const auto packs = PacksOption(args, error);
    if (!packs)
        return Prepared::Usage(error);
    return Prepared::Run([packs = *packs](Session& session) { return RunTimeSyncMany(session, packs); });
}
