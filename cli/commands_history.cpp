// "history work|alarm": reads a whole record log the way the record pages
// drive a transfer: first, then next after every good answer, retry after
// every failed one; the end mark or three missing answers in a row end it,
// and Ctrl-C sends the stop request.
#include "commands.h"
#include "csv_file.h"
#include "interrupt.h"

#include "services/settings.h"
#include "store/devinfo.h"
#include "store/realtime_row.h"

#include <QDir>
#include <QFileInfo>

#include <vector>

namespace {

constexpr int kNoAnswerLimit = 3;
// The pages retry a pack that answers with errors until the user stops
// them; a script has no one to press the button, so the transfer gives up
// after this many failed exchanges in a row.
constexpr int kFailureLimit = 10;
constexpr int kInterruptedStatus = 130;

struct HistoryRequest {
    bool alarmLog = false;
    QString csvPath;
};

std::uint8_t ReadRecord(Session& session, bool alarmLog, std::uint8_t subCommand, std::uint8_t& firstStatus,
                        std::uint8_t& secondStatus, RHistoryRecord& record)
{
    TDevInfo& store = session.store();
    return alarmLog ? store.ReadAlarmRecord(session.address(), session.pack(), subCommand, firstStatus, secondStatus,
                                            record)
                    : store.ReadWorkDataRecord(session.address(), session.pack(), subCommand, firstStatus,
                                               secondStatus, record);
}

// Ends the transfer on the pack; whatever it answers is not looked at.
void SendStop(Session& session, bool alarmLog)
{
    std::uint8_t first = 0;
    std::uint8_t second = 0;
    RHistoryRecord scratch;
    ReadRecord(session, alarmLog, HistorySubCommand::kStop, first, second, scratch);
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

    std::uint8_t mode = HistorySubCommand::kFirst;
    int noAnswers = 0;
    int failures = 0;
    int rows = 0;
    std::uint8_t lastError = 0;
    QString reason;
    for (;;) {
        if (InterruptRequested()) {
            SendStop(session, request.alarmLog);
            reason = QStringLiteral("stopped");
            break;
        }
        RHistoryRecord record;
        if (request.alarmLog)
            TDevInfo::InitAlarmRecord(session.pack(), record);
        else
            TDevInfo::InitWorkDataRecord(session.pack(), record);
        std::uint8_t firstStatus = 0;
        std::uint8_t secondStatus = 0;
        const std::uint8_t result = ReadRecord(session, request.alarmLog, mode, firstStatus, secondStatus, record);
        if (result != 0) {
            mode = HistorySubCommand::kRetry;
            lastError = result;
            ++failures;
            if (result == ResultCode::kNoAnswer && ++noAnswers >= kNoAnswerLimit) {
                reason = QStringLiteral("no_answer");
                break;
            }
            if (failures >= kFailureLimit) {
                SendStop(session, request.alarmLog);
                reason = QStringLiteral("failed");
                break;
            }
            continue;
        }
        mode = HistorySubCommand::kNext;
        noAnswers = 0;
        failures = 0;
        if (firstStatus == kHistoryEndOfLog) {
            reason = QStringLiteral("end");
            break;
        }
        if (firstStatus != kHistoryRecordFollows)
            continue;
        ++rows;
        session.out().printLine(RecordOutput(rows, record, request.alarmLog, texts));
        if (csv.isOpen() && !csv.append(HistoryLogRow(rows, record, request.alarmLog, deviceCode, texts))) {
            SendStop(session, request.alarmLog);
            return session.failed(QStringLiteral("%1: cannot write").arg(csv.path()));
        }
    }

    session.out().printLine(OutputRecord(QStringLiteral("history_end"))
                                .text(QStringLiteral("log"), request.alarmLog ? QStringLiteral("alarm")
                                                                               : QStringLiteral("work"))
                                .number(QStringLiteral("pack"), session.pack())
                                .number(QStringLiteral("records"), rows)
                                .text(QStringLiteral("reason"), reason));
    if (reason == u"stopped")
        return kInterruptedStatus;
    if (reason != u"end")
        return session.failed(lastError);
    return 0;
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
