// "history work|alarm": reads a whole record log with the transfer the
// record pages use; it exits 0 only when the pack's end mark came, and
// Ctrl-C sends the stop request.
#include "commands.h"
#include "csv_file.h"
#include "interrupt.h"

#include "history/history_transfer.h"
#include "services/settings.h"
#include "store/devinfo.h"
#include "store/realtime_row.h"

#include <QDir>
#include <QFileInfo>

#include <vector>

namespace {

constexpr int kInterruptedStatus = 130;

struct HistoryRequest {
    bool alarmLog = false;
    QString csvPath;
};

HistoryTransfer::Exchange RecordExchange(Session& session, bool alarmLog)
{
    return [&session, alarmLog](std::uint8_t subCommand, std::uint8_t& firstStatus, std::uint8_t& secondStatus,
                                RHistoryRecord& record) {
        TDevInfo& store = session.store();
        return alarmLog ? store.ReadAlarmRecord(session.address(), session.pack(), subCommand, firstStatus,
                                                secondStatus, record)
                        : store.ReadWorkDataRecord(session.address(), session.pack(), subCommand, firstStatus,
                                                   secondStatus, record);
    };
}

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

int RunHistory(Session& session, const HistoryRequest& request)
{
    const TTextOper& texts = session.store().TextOper();
    // The bar code goes into every row; a pack that does not give it still
    // has its log read.
    QString deviceCode;
    QString barCode;
    if (session.store().ReadBarCode(session.address(), session.pack(), barCode) == 0)
        deviceCode = barCode.trimmed();

    CsvFile csv;
    QString error;
    if (!request.csvPath.isEmpty() && !csv.create(request.csvPath, HistoryLogHeaders(request.alarmLog, texts), &error))
        return session.failed(error);

    HistoryTransfer transfer(session.pack(), RecordExchange(session, request.alarmLog));
    while (transfer.Running()) {
        if (InterruptRequested()) {
            transfer.Stop();
            break;
        }
        RHistoryRecord record;
        if (!transfer.Step(record))
            continue;
        const int row = transfer.Records();
        session.out().printLine(RecordOutput(row, record, request.alarmLog, texts));
        if (csv.isOpen() && !csv.append(HistoryLogRow(row, record, request.alarmLog, deviceCode, texts))) {
            transfer.Stop();
            return session.failed(QStringLiteral("%1: cannot write").arg(csv.path()));
        }
    }

    session.out().printLine(OutputRecord(QStringLiteral("history_end"))
                                .text(QStringLiteral("log"), request.alarmLog ? QStringLiteral("alarm")
                                                                               : QStringLiteral("work"))
                                .number(QStringLiteral("pack"), session.pack())
                                .number(QStringLiteral("records"), transfer.Records())
                                .text(QStringLiteral("reason"), EndReason(transfer.End())));
    switch (transfer.End()) {
    case HistoryTransferEnd::Complete:
        return 0;
    case HistoryTransferEnd::Stopped:
        return kInterruptedStatus;
    case HistoryTransferEnd::NoAnswer:
        if (!session.store().IsSerialOpen(session.globals().PortNumber.load()))
            return session.failed(QStringLiteral("the port %1 went away; the log is incomplete (%2 records read)")
                                      .arg(session.store().DevOper().PortDevice(session.globals().PortNumber.load()))
                                      .arg(transfer.Records()));
        return session.failed(QStringLiteral("Pack %1 did not answer in time; the log is incomplete (%2 records read)")
                                   .arg(session.pack())
                                   .arg(transfer.Records()));
    default:
        return session.failed(QStringLiteral("%1; the log is incomplete (%2 records read)")
                                  .arg(texts.GetErrorText(transfer.LastError()))
                                  .arg(transfer.Records()));
    }
}

} // namespace

Prepared PrepareHistory(const CommandArgs& args)
{
    const QStringList& words = args.positional;
    if (words.size() != 1 || (words.first() != u"work" && words.first() != u"alarm"))
        return Prepared::Usage(QStringLiteral("expected \"history work|alarm [--csv FILE]\""));
    HistoryRequest request;
    request.alarmLog = words.first() == u"alarm";
    if (args.has("--csv")) {
        request.csvPath = args.value("--csv");
        const QFileInfo info(request.csvPath);
        if (request.csvPath.isEmpty() || info.isDir() || !info.absoluteDir().exists())
            return Prepared::Usage(QStringLiteral("--csv needs a file in an existing folder, not \"%1\"")
                                       .arg(request.csvPath));
    }
    return Prepared::Run([request](Session& session) { return RunHistory(session, request); });
}
