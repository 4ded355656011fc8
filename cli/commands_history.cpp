// "history work|alarm": reads a whole record log with the transfer the
// record pages use; it exits 0 only when the pack's end mark came, and
// Ctrl-C sends the stop request.
#include "commands.h"
#include "csv_file.h"
#include "interrupt.h"

#include "store/bus_jobs.h"
#include "services/settings.h"
#include "store/devinfo.h"
#include "store/realtime_log.h"
#include "store/realtime_row.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <vector>

namespace {

constexpr int kInterruptedStatus = 130;

struct HistoryRequest {
    bool alarmLog = false;
    QString csvPath;                     // a file, or with packs a folder
    std::vector<std::uint8_t> packs;     // none: the pack at --address
};

QString EndReason(HistoryTransferEnd end)
{
    switch (end) {
    case HistoryTransferEnd::Complete: return QStringLiteral("end");
    case HistoryTransferEnd::NoAnswer: return QStringLiteral("no_answer");
    case HistoryTransferEnd::Failed: return QStringLiteral("failed");
    case HistoryTransferEnd::Stopped: return QStringLiteral("stopped");
    case HistoryTransferEnd::Running: break;
    }
    return QString();
}

OutputRecord RecordOutput(int row, const RHistoryRecord& record, bool alarmLog, const TTextOper& texts)
{
    OutputRecord out(alarmLog ? QStringLiteral("alarm_record") : QStringLiteral("work_record"));
    out.number(QStringLiteral("row"), row)
        .number(QStringLiteral("pack"), record.packNumber)
        .text(QStringLiteral("time"), FormatDeviceTime(record.time))
        .number(QStringLiteral("mode"), record.mode)
        .text(QStringLiteral("mode_text"), GetModeText(record.mode))
        .number(QStringLiteral("voltage_V"), record.voltage)
        .number(QStringLiteral("current_A"), record.current)
        .number(QStringLiteral("soc"), record.soc)
        .number(QStringLiteral("remaining_Ah"), record.remainingCapacity);
    if (alarmLog)
        out.number(QStringLiteral("alarm_code"), record.alarmCode)
            .text(QStringLiteral("alarm_text"), texts.GetAlarmText(record.alarmCode));
    out.numbers(QStringLiteral("cells_mV"), std::vector<std::int64_t>(record.cellVoltages.begin(), record.cellVoltages.end()))
        .numbers(QStringLiteral("temps_C"),
                 std::vector<Decimal>(record.cellTemperatures.begin(), record.cellTemperatures.end()))
        .number(QStringLiteral("ambient_C"), record.ambientTemperature)
        .number(QStringLiteral("fet_C"), record.fetTemperature)
        .number(QStringLiteral("humidity"), record.humidity);
    return out;
}

// Reads one pack's log, printing each record and the end of the transfer,
// into csvPath when there is one. The exit status of that pack.
int ReadOneLog(Session& session, std::uint8_t pack, bool alarmLog, const QString& csvPath, bool dropSilentFile)
{
    const TTextOper& texts = session.store().TextOper();
    CsvFile csv;
    QString error;
    if (!csvPath.isEmpty() && !csv.create(csvPath, HistoryLogHeaders(alarmLog, texts), &error))
        return session.failed(error);

    bool csvFailed = false;
    const RPackLogOutcome outcome = ReadPackLog(
        session.store(), pack, alarmLog, RBusControl{[] { return InterruptRequested(); }, {}},
        [&](int row, const RHistoryRecord& record, const QString& deviceCode) {
            session.out().printLine(RecordOutput(row, record, alarmLog, texts));
            if (csv.isOpen() && !csv.append(HistoryLogRow(row, record, alarmLog, deviceCode, texts)))
                csvFailed = true;
            return !csvFailed;
        });
    if (csvFailed)
        return session.failed(QStringLiteral("%1: cannot write").arg(csv.path()));
    // On a rack, a pack that never answered leaves no empty file behind.
    if (dropSilentFile && csv.isOpen() && outcome.end == HistoryTransferEnd::NoAnswer && outcome.records == 0)
        csv.remove();

    session.out().printLine(OutputRecord(QStringLiteral("history_end"))
                                .text(QStringLiteral("log"), alarmLog ? QStringLiteral("alarm") : QStringLiteral("work"))
                                .number(QStringLiteral("pack"), pack)
                                .number(QStringLiteral("records"), outcome.records)
                                .text(QStringLiteral("reason"), EndReason(outcome.end)));
    switch (outcome.end) {
    case HistoryTransferEnd::Complete:
        return 0;
    case HistoryTransferEnd::Stopped:
        return kInterruptedStatus;
    case HistoryTransferEnd::NoAnswer:
        if (!session.store().IsSerialOpen(session.globals().PortNumber.load()))
            return session.failed(QStringLiteral("the port %1 went away; the log is incomplete (%2 records read)")
                                      .arg(session.store().DevOper().PortDevice(session.globals().PortNumber.load()))
                                      .arg(outcome.records));
        return session.failed(QStringLiteral("Pack %1 did not answer in time; the log is incomplete (%2 records read)")
                                   .arg(pack)
                                   .arg(outcome.records));
    default:
        return session.failed(QStringLiteral("%1; the log is incomplete (%2 records read)")
                                  .arg(texts.GetErrorText(outcome.lastError))
                                  .arg(outcome.records));
    }
}

int RunHistory(Session& session, const HistoryRequest& request)
{
    if (request.packs.empty())
        return ReadOneLog(session, session.pack(), request.alarmLog, request.csvPath, false);
    // One file per pack, named as the logs are; the time of the run is in
    // every name, so the files of one run sort together.
    const QDateTime now = QDateTime::currentDateTime();
    int status = 0;
    for (std::uint8_t pack : request.packs) {
        const QString path = request.csvPath.isEmpty()
            ? QString()
            : QDir(request.csvPath).filePath(AutoSaveFileName(pack, now));
        const int packStatus = ReadOneLog(session, pack, request.alarmLog, path, true);
        if (packStatus == kInterruptedStatus)
            return packStatus;
        if (packStatus != 0)
            status = 1;
    }
    return status;
}

} // namespace

Prepared PrepareHistory(const CommandArgs& args)
{
    const QStringList& words = args.positional;
    if (words.size() != 1 || (words.first() != u"work" && words.first() != u"alarm"))
        return Prepared::Usage(QStringLiteral("expected \"history work|alarm [--csv FILE]\" or "
                                              "\"history work|alarm --packs LIST [--csv DIR]\""));
    HistoryRequest request;
    request.alarmLog = words.first() == u"alarm";
    if (args.has("--packs")) {
        QString error;
        const auto packs = PacksOption(args, error);
        if (!packs)
            return Prepared::Usage(error);
        request.packs = *packs;
        if (args.has("--csv")) {
            request.csvPath = args.value("--csv");
            if (request.csvPath.isEmpty() || !CheckOutputFolder(request.csvPath, error))
                return Prepared::Usage(QStringLiteral("--csv needs a folder with --packs: %1").arg(error));
        }
        return Prepared::Run([request](Session& session) { return RunHistory(session, request); });
    }
    if (args.has("--csv")) {
        request.csvPath = args.value("--csv");
        const QFileInfo info(request.csvPath);
        if (request.csvPath.isEmpty() || info.isDir() || !info.absoluteDir().exists())
            return Prepared::Usage(QStringLiteral("--csv needs a file in an existing folder, not \"%1\"")
                                       .arg(request.csvPath));
        QString error;
        if (!CheckOutputFile(request.csvPath, error))
            return Prepared::Usage(QStringLiteral("--csv: %1").arg(error));
    }
    return Prepared::Run([request](Session& session) { return RunHistory(session, request); });
}
