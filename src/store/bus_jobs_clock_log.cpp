// Setting every clock and reading every log of a bus.
#include "store/bus_jobs.h"

#include "store/devinfo.h"

#include <QDateTime>

namespace {

std::optional<QDateTime> ToDateTime(const RDeviceTime& time)
{
    const QDate date(time.year, time.month, time.day);
    const QTime clock(time.hour, time.minute, time.second);
    if (!date.isValid() || !clock.isValid())
        return std::nullopt;
    return QDateTime(date, clock);
}

} // namespace

std::optional<qint64> ClockOffsetSeconds(const RDeviceTime& pack, const RDeviceTime& pc)
{
    const std::optional<QDateTime> packTime = ToDateTime(pack);
    const std::optional<QDateTime> pcTime = ToDateTime(pc);
    if (!packTime || !pcTime)
        return std::nullopt;
    return pcTime->secsTo(*packTime);
}

RClockSyncReport SyncClocks(TDevInfo& store, const std::vector<std::uint8_t>& packs, const RBusControl& control)
{
    RClockSyncReport report;
    const int total = int(packs.size());
    for (int k = 0; k < total; ++k) {
        if (control.isCancelled()) {
            report.cancelled = true;
            break;
        }
        RClockOutcome outcome;
        outcome.pack = packs[std::size_t(k)];
        control.report(k, total, QString::number(outcome.pack));
        outcome.readResult = store.ReadDateTime(outcome.pack, outcome.before);
        if (outcome.readResult == 0)
            outcome.offsetSeconds = ClockOffsetSeconds(outcome.before, TDevInfo::GetPcTime());
        // Taken just before sending, so that the slow answer of the read
        // does not put the clock behind.
        outcome.written = TDevInfo::GetPcTime();
        outcome.writeResult = store.WriteDateTime(outcome.pack, outcome.written);
        report.packs.push_back(outcome);
    }
    control.report(int(report.packs.size()), total, QString());
    return report;
}

RPackLogOutcome ReadPackLog(TDevInfo& store, std::uint8_t pack, bool alarmLog, const RBusControl& control,
                            const std::function<bool(int row, const RHistoryRecord&, const QString& deviceCode)>& onRecord)
{
    RPackLogOutcome outcome;
    outcome.pack = pack;
    // The bar code goes into every row; a pack that does not give it still
    // has its log read.
    QString barCode;
    if (store.ReadBarCode(pack, pack, barCode) == 0)
        outcome.deviceCode = barCode.trimmed();
    HistoryTransfer transfer(pack, [&store, pack, alarmLog](std::uint8_t subCommand, std::uint8_t& firstStatus,
                                                          std::uint8_t& secondStatus, RHistoryRecord& record) {
        return alarmLog ? store.ReadAlarmRecord(pack, pack, subCommand, firstStatus, secondStatus, record)
                        : store.ReadWorkDataRecord(pack, pack, subCommand, firstStatus, secondStatus, record);
    });
    while (transfer.Running()) {
        if (control.isCancelled()) {
            transfer.Stop();
            break;
        }
        RHistoryRecord record;
        if (transfer.Step(record) && onRecord && !onRecord(transfer.Records(), record, outcome.deviceCode)) {
            transfer.Stop();
            break;
        }
    }
    outcome.end = transfer.End();
    outcome.records = transfer.Records();
    outcome.lastError = transfer.LastError();
    return outcome;
}
