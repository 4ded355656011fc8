// Setting every clock and reading every log of a bus.
#include "store/bus_jobs.h"

#include "store/devinfo.h"
#include "store/pack_loop.h"

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

RClockSyncReport SyncClocks(TDevInfo& store, const std::vector<std::uint8_t>& packs, const RBusControl& control,
                            const std::function<void(const RClockOutcome&)>& onPack)
{
    RClockSyncReport report;
    std::vector<RClockOutcome> asked;
    const RPackLoopResult loop = ForEachPack(store, packs, control, [&](std::uint8_t pack, int) {
        RClockOutcome outcome;
        outcome.pack = pack;
        outcome.asked = true;
        outcome.readResult = store.ReadDateTime(pack, outcome.before);
        if (outcome.readResult == 0)
            outcome.offsetSeconds = ClockOffsetSeconds(outcome.before, TDevInfo::GetPcTime());
        // Taken just before sending, so that the slow answer of the read
        // does not put the clock behind.
        outcome.written = TDevInfo::GetPcTime();
        outcome.writeResult = store.WriteDateTime(pack, outcome.written);
        // Failed because the port went away under it, as the loop will say.
        if (!outcome.ok() && !store.IsLinkOpen())
            outcome.reach = RPackReach::PortLost;
        asked.push_back(outcome);
        if (onPack)
            onPack(outcome);
        return outcome.ok();
    });
    // Every pack given, in order: the ones asked with their results, the
    // rest with why they were not.
    std::size_t next = 0;
    for (const RPackVisit& visit : loop.visits) {
        RClockOutcome outcome;
        if (next < asked.size() && asked[next].pack == visit.pack)
            outcome = asked[next++];
        outcome.pack = visit.pack;
        outcome.reach = visit.reach;
        report.packs.push_back(outcome);
    }
    report.cancelled = loop.cancelled;
    report.portLost = loop.portLost;
    return report;
}

RPackLogOutcome ReadPackLog(TDevInfo& store, std::uint8_t pack, bool alarmLog, const RBusControl& control,
                            const std::function<bool(int row, const RHistoryRecord&, const QString& deviceCode)>& onRecord,
                            const std::optional<QString>& knownBarCode)
{
    RPackLogOutcome outcome;
    outcome.pack = pack;
    // The bar code goes into every row; a pack that does not give it still
    // has its log read.
    QString barCode;
    if (knownBarCode)
        outcome.deviceCode = *knownBarCode;
    else if (store.ReadBarCode(pack, pack, barCode) == 0)
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

RAllPackLogs ReadAllPackLogs(
    TDevInfo& store, const std::vector<std::uint8_t>& packs, bool alarmLog, const RBusControl& control,
    const std::function<bool(std::uint8_t pack, int row, const RHistoryRecord&, const QString& deviceCode)>& onRecord,
    const std::function<void(const RPackLogOutcome&)>& onPackEnd)
{
    RAllPackLogs logs;
    logs.loop = ForEachPack(store, packs, control, [&](std::uint8_t pack, int) {
        const RPackLogOutcome outcome = ReadPackLog(
            store, pack, alarmLog, control, [&](int row, const RHistoryRecord& record, const QString& deviceCode) {
                return !onRecord || onRecord(pack, row, record, deviceCode);
            });
        logs.packs.push_back(outcome);
        if (onPackEnd)
            onPackEnd(outcome);
        return outcome.end == HistoryTransferEnd::Complete;
    });
    return logs;
}

std::vector<std::uint8_t> RAllPackLogs::complete() const
{
    std::vector<std::uint8_t> done;
    for (const RPackLogOutcome& outcome : packs)
        if (outcome.end == HistoryTransferEnd::Complete)
            done.push_back(outcome.pack);
    return done;
}

std::vector<std::uint8_t> RAllPackLogs::incomplete() const
{
    std::vector<std::uint8_t> rest;
    for (const RPackVisit& visit : loop.visits) {
        const RPackLogOutcome* outcome = find(visit.pack);
        if (!outcome || outcome->end != HistoryTransferEnd::Complete)
            rest.push_back(visit.pack);
    }
    return rest;
}
