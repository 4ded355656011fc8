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
#include "store/report_texts.h"

#ifdef BMS_WITH_REPORT
#include "report/report_writer.h"
#endif

#include <QFileInfo>

namespace {

constexpr int kInterruptedStatus = 130;

#ifdef BMS_WITH_REPORT
struct ReportJob {
    RReportRequest request;
    RReportFiles files;
};

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
    if (report.cancelled) {
        session.out().error(QStringLiteral("interrupted: no report written"));
        return kInterruptedStatus;
    }
    if (report.portLost)
        return session.failed(QStringLiteral("the port %1 went away: no report written")
                                  .arg(store.DevOper().PortDevice(session.globals().PortNumber.load())));
    const TTextOper& texts = store.TextOper();
    for (const RPackReport& pack : report.packs) {
        OutputRecord line(QStringLiteral("report_pack"));
        line.number(QStringLiteral("pack"), pack.packNumber);
        if (!pack.answered) {
            // Garbled rather than silent: Incomplete, with what was not read.
            line.text(QStringLiteral("status"), pack.unread.empty() ? QStringLiteral("no answer") : LevelText(pack.level, texts))
                .text(QStringLiteral("reason"), pack.noAnswerReason);
        } else {
            QStringList reasons;
            for (const RFinding& finding : pack.findings)
                reasons << finding.reason;
            line.text(QStringLiteral("bar_code"), pack.barCode)
                .text(QStringLiteral("status"), LevelText(pack.level, texts))
                .text(QStringLiteral("findings"), reasons.join(QStringLiteral("; ")));
        }
        if (!pack.unread.empty())
            line.text(QStringLiteral("not_read"), UnreadList(pack, texts));
        session.out().printLine(line);
    }
    QString error;
    if (!WriteReport(report, job.files, texts, &error))
        return session.failed(error);
    OutputRecord done(QStringLiteral("report_written"));
    done.text(QStringLiteral("pdf"), job.files.pdf);
    if (!job.files.html.isEmpty())
        done.text(QStringLiteral("html"), job.files.html);
    session.out().printLine(done);
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
    if (!args.has("--packs") || !args.has("--pdf"))
        return Prepared::Usage(QStringLiteral("report needs --packs LIST and --pdf FILE"));
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
        const QString path = args.value("--ref");
        TParameterInfo catalogue;
        RParameter set = catalogue.NewParameterSet(0);
        const RParameterFileResult read = ImportParameterFile(path, set);
        if (!read.ok)
            return Prepared::Usage(QStringLiteral("--ref %1: %2").arg(QuotedInput(path), read.errorText));
        job.request.reference = set;
        for (const RParameterFileLine& line : read.applied)
            job.request.referenceIds.push_back(line.id);
        job.request.referenceName = QFileInfo(path).fileName();
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
    if (!CheckReportFiles(job.files, &error))
        return Prepared::Usage(error);
    return Prepared::Run([job](Session& session) { return RunReport(session, job); });
#endif
}
