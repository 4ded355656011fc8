// "history work|alarm": reads a whole record log with the transfer the
// record pages use; it exits 0 only when the pack's end mark came, and
// Ctrl-C sends the stop request.
#include "commands.h"
#include "outputs/csv_file.h"
#include "interrupt.h"

#include "store/bus_jobs.h"
#include "services/settings.h"
#include "store/devinfo.h"
#include "store/pack_loop.h"
#include "store/realtime_log.h"
#include "store/realtime_row.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr int kInterruptedStatus = 130;

struct HistoryRequest {
    bool alarmLog = false;
    QString csvPath;                     // a file, or with packs a folder
    QString folderNote;                  // said first: the folder was made for this run
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

// Where a log goes: nowhere, a file the user named (replaced when records
// come), or a new file in a folder (never one that is already there).
struct LogTarget {
    QString path;       // the file, or the folder with inFolder
    QString name;       // with inFolder: the name wanted
    bool inFolder = false;
};

// A rack's log files are named by log kind, pack and the time of the run,
// so that a work-data run and an alarm run in the same second keep apart.
QString HistoryFileName(bool alarmLog, std::uint8_t pack, const QDateTime& runTime)
{
    return (alarmLog ? QStringLiteral("alarm_") : QStringLiteral("work_")) + AutoSaveFileName(pack, runTime);
}

// One pack's log as it comes: each record printed, and written into the
// target when there is one. The file is made when the first record comes
// (or, for a log without records, when the pack says it is complete), so a
// pack not read leaves no file and replaces none.
class PackLogPrinter {
public:
    PackLogPrinter(Session& session, std::uint8_t pack, bool alarmLog, LogTarget target)
        : m_session(session)
        , m_texts(session.store().TextOper())
        , m_pack(pack)
        , m_alarmLog(alarmLog)
        , m_target(std::move(target))
        , m_headers(HistoryLogHeaders(alarmLog, m_texts))
    {
    }

    std::uint8_t pack() const { return m_pack; }

    // False: the file cannot be written, and the transfer is to stop.
    bool record(int row, const RHistoryRecord& record, const QString& deviceCode)
    {
        m_session.out().printLine(RecordOutput(row, record, m_alarmLog, m_texts));
        if (m_target.path.isEmpty())
            return true;
        if (!m_csv.isOpen() && !openFile()) {
            m_csvFailed = true;
            return false;
        }
        if (!m_csv.append(HistoryLogRow(row, record, m_alarmLog, deviceCode, m_texts))) {
            m_fileError = QStringLiteral("%1: cannot write").arg(m_csv.path());
            m_csvFailed = true;
        }
        return !m_csvFailed;
    }

    // Prints how the transfer ended; the exit status of this pack.
    int finish(const RPackLogOutcome& outcome)
    {
        if (m_csvFailed)
            return m_session.failed(m_fileError);
        if (!m_target.path.isEmpty() && !m_csv.isOpen() && outcome.end == HistoryTransferEnd::Complete && !openFile())
            return m_session.failed(m_fileError);

        m_session.out().printLine(OutputRecord(QStringLiteral("history_end"))
                                      .text(QStringLiteral("log"), m_alarmLog ? QStringLiteral("alarm") : QStringLiteral("work"))
                                      .number(QStringLiteral("pack"), m_pack)
                                      .number(QStringLiteral("records"), outcome.records)
                                      .text(QStringLiteral("reason"), EndReason(outcome.end)));
        switch (outcome.end) {
        case HistoryTransferEnd::Complete:
            return 0;
        case HistoryTransferEnd::Stopped:
            return kInterruptedStatus;
        case HistoryTransferEnd::NoAnswer:
            if (!m_session.store().IsLinkOpen())
                return m_session.failed(QStringLiteral("the port %1 went away; the log is incomplete (%2 records read)")
                                            .arg(m_session.store().DevOper().PortDevice(m_session.globals().PortNumber.load()))
                                            .arg(outcome.records));
            return m_session.failed(QStringLiteral("Pack %1 did not answer in time; the log is incomplete (%2 records read)")
                                        .arg(m_pack)
                                        .arg(outcome.records));
        default:
            return m_session.failed(QStringLiteral("%1; the log is incomplete (%2 records read)")
                                        .arg(PackResultText(m_session.store(), m_pack, outcome.lastError))
                                        .arg(outcome.records));
        }
    }

private:
    bool openFile()
    {
        return m_target.inFolder ? m_csv.createNew(m_target.path, m_target.name, m_headers, &m_fileError)
                                 : m_csv.create(m_target.path, m_headers, &m_fileError);
    }

    Session& m_session;
    const TTextOper& m_texts;
    const std::uint8_t m_pack;
    const bool m_alarmLog;
    const LogTarget m_target;
    const QStringList m_headers;
    CsvFile m_csv;
    QString m_fileError;
    bool m_csvFailed = false;
};

int RunHistory(Session& session, const HistoryRequest& request)
{
    if (!request.folderNote.isEmpty())
        session.out().error(request.folderNote);
    const RBusControl control{[] { return InterruptRequested(); }, {}};
    if (request.packs.empty()) {
        PackLogPrinter printer(session, session.pack(), request.alarmLog, LogTarget{request.csvPath, {}, false});
        const RPackLogOutcome outcome = ReadPackLog(
            session.store(), session.pack(), request.alarmLog, control,
            [&printer](int row, const RHistoryRecord& record, const QString& deviceCode) {
                return printer.record(row, record, deviceCode);
            });
        return printer.finish(outcome);
    }
    // One file per pack; the time of the run is in every name, so the
    // files of one run sort together.
    const QDateTime now = QDateTime::currentDateTime();
    int status = 0;
    std::optional<PackLogPrinter> printer;
    const auto printerOf = [&](std::uint8_t pack) -> PackLogPrinter& {
        if (!printer || printer->pack() != pack)
            printer.emplace(session, pack, request.alarmLog,
                            LogTarget{request.csvPath, HistoryFileName(request.alarmLog, pack, now),
                                      !request.csvPath.isEmpty()});
        return *printer;
    };
    const RAllPackLogs logs = ReadAllPackLogs(
        session.store(), request.packs, request.alarmLog, control,
        [&](std::uint8_t pack, int row, const RHistoryRecord& record, const QString& deviceCode) {
            return printerOf(pack).record(row, record, deviceCode);
        },
        [&](const RPackLogOutcome& outcome) {
            const int packStatus = printerOf(outcome.pack).finish(outcome);
            if (packStatus == kInterruptedStatus)
                status = kInterruptedStatus;
            else if (packStatus != 0 && status == 0)
                status = 1;
        });
    // The packs never asked, and why.
    for (const RPackVisit& visit : logs.loop.visits) {
        if (visit.reach == RPackReach::Asked)
            continue;
        session.out().printLine(
            OutputRecord(QStringLiteral("history_end"))
                .text(QStringLiteral("log"), request.alarmLog ? QStringLiteral("alarm") : QStringLiteral("work"))
                .number(QStringLiteral("pack"), visit.pack)
                .number(QStringLiteral("records"), 0)
                .text(QStringLiteral("reason"), visit.reach == RPackReach::PortLost ? QStringLiteral("port_lost")
                                                                                    : QStringLiteral("not_tried")));
    }
    if (logs.loop.cancelled || status == kInterruptedStatus)
        return kInterruptedStatus;
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
            const bool existed = QFileInfo(request.csvPath).isDir();
            if (request.csvPath.isEmpty() || !CheckOutputFolder(request.csvPath, error))
                return Prepared::Usage(QStringLiteral("--csv needs a folder with --packs: %1").arg(error));
            if (!existed)
                request.folderNote = QStringLiteral("created the folder %1").arg(QDir::toNativeSeparators(request.csvPath));
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
