// "report": the service report of chosen packs as a PDF (and an HTML file),
// the same report the window makes. The files are checked before any pack
// is read; Ctrl-C stops before the next pack and writes nothing, and so
// does a port that went away. A report that could not read everything is
// written and exits 1.
#include "commands.h"
#include "interrupt.h"

#include "params/parameter_file.h"
#include "services/settings.h"
#include "store/bus_worker.h"
#include "store/config_checks.h"
#include "store/devinfo.h"
#include "store/pack_list.h"
#include "store/report_data.h"
#include "store/report_findings.h"
#include "store/report_wording.h"
#include "store/report_texts.h"

#ifdef BMS_WITH_REPORT
#include "report/report_writer.h"
#endif

#include <QFileInfo>

namespace {

constexpr int kInterruptedStatus = 130;
constexpr int kUsageStatus = 2;

#ifdef BMS_WITH_REPORT
struct ReportJob {
    RReportRequest request;
    RReportFiles files;   // pdf empty: values only (--json)
};

QString ReachName(RPackReach reach)
{
    switch (reach) {
    case RPackReach::NotTried: return QStringLiteral("not_tried");
    case RPackReach::PortLost: return QStringLiteral("port_lost");
    case RPackReach::Asked: break;
    }
    return QStringLiteral("asked");
}

QString JsonArray(const QStringList& items)
{
    return QLatin1Char('[') + items.join(QLatin1Char(',')) + QLatin1Char(']');
}

// The findings as values: rule, level, value, limit, unit and, where the
// rule has one, the sensor or alarm code and the time.
QString FindingsJson(const RPackReport& pack)
{
    QStringList items;
    for (const RFinding& finding : pack.findings) {
        QString item = QStringLiteral("{\"rule\":%1,\"level\":%2,\"value\":%3,\"limit\":%4,\"unit\":%5")
                           .arg(JsonString(ReportRuleName(finding.rule)), JsonString(ReportLevelName(finding.level)),
                                finding.value.toString(), finding.limit.toString(),
                                JsonString(ReportUnitName(finding.unit)));
        if (finding.rule == ReportRule::Temperature)
            item += finding.item == kAmbientSensorItem ? QStringLiteral(",\"sensor\":\"ambient\"")
                  : finding.item == kFetSensorItem     ? QStringLiteral(",\"sensor\":\"fet\"")
                                                       : QStringLiteral(",\"sensor\":%1").arg(finding.item);
        if (finding.rule == ReportRule::Protection)
            item += QStringLiteral(",\"alarm_code\":%1,\"last\":%2")
                        .arg(finding.item)
                        .arg(JsonString(FormatDeviceTime(finding.when)));
        items << item + QLatin1Char('}');
    }
    return JsonArray(items);
}

QString UnreadJson(const RPackReport& pack)
{
    QStringList items;
    for (const RUnreadItem& item : pack.unread)
        items << QStringLiteral("{\"command\":%1,\"result\":%2}").arg(item.command).arg(item.result);
    return JsonArray(items);
}

OutputRecord PackLine(const RPackReport& pack, bool json, const TTextOper& texts)
{
    OutputRecord line(QStringLiteral("report_pack"));
    line.number(QStringLiteral("pack"), pack.packNumber);
    if (json)
        line.text(QStringLiteral("reach"), ReachName(pack.reach))
            .flag(QStringLiteral("answered"), pack.answered)
            .text(QStringLiteral("level"), ReportStatusName(pack));
    if (!pack.answered) {
        // Garbled rather than silent: Incomplete, with what was not read.
        line.text(QStringLiteral("status"), pack.unread.empty() ? QStringLiteral("no answer") : LevelText(pack.level, texts))
            .text(QStringLiteral("reason"), NoAnswerText(pack, texts));
        if (json && pack.reach == RPackReach::Asked)
            line.number(QStringLiteral("result"), pack.answerResult);
    } else {
        QStringList reasons;
        for (const RFinding& finding : pack.findings)
            reasons << FindingText(finding, texts);
        line.text(QStringLiteral("bar_code"), pack.barCode).text(QStringLiteral("status"), LevelText(pack.level, texts));
        if (json)
            line.raw(QStringLiteral("findings"), FindingsJson(pack), QString());
        else
            line.text(QStringLiteral("findings"), reasons.join(QStringLiteral("; ")));
    }
    if (json)
        line.raw(QStringLiteral("unread"), UnreadJson(pack), QString());
    if (!pack.unread.empty())
        line.text(QStringLiteral("not_read"), UnreadList(pack, texts));
    return line;
}

// The rack as a whole, last: when it was made, against what, and whether
// it checked everything.
OutputRecord RackLine(const RReport& report)
{
    OutputRecord line(QStringLiteral("report"));
    line.text(QStringLiteral("made"), report.made.toString(Qt::ISODate));
    if (!report.referenceName.isEmpty())
        line.text(QStringLiteral("reference"), report.referenceName);
    if (report.referencePack != 0)
        line.number(QStringLiteral("reference_pack"), report.referencePack)
            .number(QStringLiteral("reference_result"), report.referenceResult);
    line.number(QStringLiteral("packs"), std::int64_t(report.packs.size()))
        .flag(QStringLiteral("complete"), ReportComplete(report))
        .flag(QStringLiteral("cancelled"), report.cancelled)
        .flag(QStringLiteral("port_lost"), report.portLost);
    return line;
}

int RunReport(Session& session, const ReportJob& job)
{
    TDevInfo& store = session.store();
    RBusControl control;
    control.cancelled = [] { return InterruptRequested(); };
    control.progress = [&session](int done, int total, const QString& what) {
        if (!what.isEmpty())
            session.out().error(QStringLiteral("[%1/%2] %3").arg(done + 1).arg(total).arg(what));
    };
    const RReport report = GatherReport(store, job.request, control);
    const TTextOper& texts = store.TextOper();
    const bool json = session.out().json();
    // A script is told what was read even when no file is written.
    if (json && (report.cancelled || report.portLost)) {
        for (const RPackReport& pack : report.packs)
            session.out().printLine(PackLine(pack, json, texts));
        session.out().printLine(RackLine(report));
    }
    if (report.cancelled) {
        session.out().error(QStringLiteral("interrupted: no report written"));
        return kInterruptedStatus;
    }
    if (report.portLost)
        return session.failed(QStringLiteral("the port %1 went away: no report written")
                                  .arg(store.DevOper().PortDevice(session.globals().PortNumber.load())));
    for (const RPackReport& pack : report.packs)
        session.out().printLine(PackLine(pack, json, texts));
    if (!job.files.pdf.isEmpty()) {
        QString error;
        if (!WriteReport(report, job.files, texts, &error))
            return session.failed(error);
        OutputRecord done(QStringLiteral("report_written"));
        done.text(QStringLiteral("pdf"), job.files.pdf);
        if (!job.files.html.isEmpty())
            done.text(QStringLiteral("html"), job.files.html);
        session.out().printLine(done);
    }
    if (json)
        session.out().printLine(RackLine(report));
    // The files are kept, but a report that did not check everything says so.
    int status = 0;
    if (report.referenceResult != 0) {
        session.out().error(texts.GetLanguageText(ReportText::kReferenceNotRead)
                                .arg(report.referencePack)
                                .arg(texts.GetErrorText(report.referenceResult)));
        status = 1;
    }
    const std::vector<std::uint8_t> unchecked = UncheckedPacks(report);
    if (!unchecked.empty()) {
        QStringList numbers;
        for (const std::uint8_t pack : unchecked)
            numbers << QString::number(pack);
        session.out().error(QStringLiteral("report incomplete: packs %1 not fully read (silent or incomplete)")
                                .arg(numbers.join(QStringLiteral(", "))));
        status = 1;
    }
    return status;
}
#endif

} // namespace

Prepared PrepareReport(const CommandArgs& args)
{
#ifndef BMS_WITH_REPORT
    (void)args;
    return Prepared::Usage(QStringLiteral("this bmstool was built without the report (no widget libraries)"));
#else
    if (!args.positional.isEmpty())
        return Prepared::Usage(
            QStringLiteral("report takes only options: --packs, --pdf, --html, --ref, --ref-pack, --no-logs"));
    if (args.has("--ref") && args.has("--ref-pack"))
        return Prepared::Usage(QStringLiteral("give --ref FILE or --ref-pack N, not both"));
    // With --json the values alone may be wanted: the files are optional then.
    if (!args.has("--packs") || (!args.has("--pdf") && !args.json))
        return Prepared::Usage(QStringLiteral("report needs --packs LIST and --pdf FILE (or --json for the values alone)"));
    if (args.has("--html") && !args.has("--pdf"))
        return Prepared::Usage(QStringLiteral("--html goes with --pdf FILE"));
    QString error;
    const auto packs = ParsePackList(args.value("--packs"), Globals().PackCount, &error);
    if (!packs)
        return Prepared::Usage(QStringLiteral("--packs: %1").arg(error));
    ReportJob job;
    job.request.packs = *packs;
    job.request.withLogs = !args.has("--no-logs");
    job.files.pdf = args.value("--pdf");
    job.files.html = args.has("--html") ? args.value("--html") : QString();
    if (args.has("--ref")) {
        const RReferenceFile loaded = LoadReferenceFile(args.value("--ref"));
        if (loaded.fault != ReferenceFileFault::None)
            return Prepared::Usage(QStringLiteral("--ref: %1").arg(ReferenceFileMessage(args.value("--ref"), loaded)));
        job.request.reference = loaded.reference.set;
        job.request.referenceIds = loaded.reference.ids;
        job.request.referenceName = loaded.reference.name;
    }
    if (args.has("--ref-pack")) {
        const auto pack = ParseWholeIn(args.value("--ref-pack"), 1, kMaxPacks);
        if (!pack)
            return Prepared::Usage(QStringLiteral("--ref-pack: a pack 1-%1, not %2")
                                       .arg(kMaxPacks)
                                       .arg(QuotedInput(args.value("--ref-pack"))));
        job.request.referencePack = std::uint8_t(*pack);
    }
    // Before the port opens: a report that cannot be kept is not read.
    if (!job.files.pdf.isEmpty() && !CheckReportFiles(job.files, &error))
        return Prepared::Usage(error);
    return Prepared::Run([job](Session& session) { return RunReport(session, job); });
#endif
}

QString ReferenceFileMessage(const QString& file, const RReferenceFile& loaded)
{
    switch (loaded.fault) {
    case ReferenceFileFault::Unreadable:
        // A refused line is named by number; a file that could not be read
        // names itself.
        return loaded.errorLine > 0 ? QStringLiteral("%1: %2").arg(file, loaded.detail) : loaded.detail;
    case ReferenceFileFault::NoParameters: return QStringLiteral("%1 holds no parameters").arg(file);
    case ReferenceFileFault::Refused: return QStringLiteral("%1: %2").arg(file, loaded.detail);
    case ReferenceFileFault::None: break;
    }
    return QString();
}
