#include "store/report_data.h"

#include "params/parameter_compare.h"
#include "protocol/command_catalogue.h"
#include "protocol/result_codes.h"
#include "services/textoper.h"
#include "store/bus_jobs.h"
#include "store/bus_worker.h"
#include "store/devinfo.h"
#include "store/report_findings.h"
#include "store/report_texts.h"

#include <algorithm>
#include <map>

int CellSpreadMv(const std::array<std::uint16_t, kMaxCells>& cells)
{
    const CellExtreme low = TDevInfo::MinCellVoltage(cells);
    const CellExtreme high = TDevInfo::MaxCellVoltage(cells);
    return low.millivolts == 0 ? 0 : int(high.millivolts) - int(low.millivolts);
}

QDateTime DeviceDateTime(const RDeviceTime& time)
{
    return QDateTime(QDate(time.year, time.month, time.day), QTime(time.hour, time.minute, time.second));
}

std::vector<RAlarmCount> SummariseAlarmLog(const std::vector<RHistoryRecord>& records, const QDateTime& now,
                                           int recentDays)
{
    const QDateTime recentFrom = now.addDays(-recentDays);
    std::map<std::uint8_t, RAlarmCount> counts;
    for (const RHistoryRecord& record : records) {
        if (record.alarmCode == 0)
            continue;
        RAlarmCount& count = counts[record.alarmCode];
        const QDateTime when = DeviceDateTime(record.time);
        if (count.count == 0 || DeviceDateTime(count.first) > when)
            count.first = record.time;
        if (count.count == 0 || DeviceDateTime(count.last) < when)
            count.last = record.time;
        count.code = record.alarmCode;
        ++count.count;
        // A record stamped after now (a pack clock ahead) is recent too.
        if (when.isValid() && when >= recentFrom) {
            if (count.recentCount == 0 || DeviceDateTime(count.recentLast) < when)
                count.recentLast = record.time;
            ++count.recentCount;
        }
    }
    std::vector<RAlarmCount> out;
    for (const auto& entry : counts)
        out.push_back(entry.second);
    return out;
}

RWorkLogSummary SummariseWorkLog(const std::vector<RHistoryRecord>& records)
{
    RWorkLogSummary summary;
    std::array<int, kMaxCells> lowestTimes{};
    bool withCells = false;
    for (const RHistoryRecord& record : records) {
        summary.points.push_back(RWorkPoint{record.time, record.voltage, record.current});
        const CellExtreme low = TDevInfo::MinCellVoltage(record.cellVoltages);
        if (low.millivolts != 0) {
            ++lowestTimes[std::size_t(low.position - 1)];
            const int spread = CellSpreadMv(record.cellVoltages);
            if (!withCells || spread > summary.largestSpreadMv) {
                summary.largestSpreadMv = spread;
                summary.largestSpreadTime = record.time;
            }
            withCells = true;
        }
        for (const Decimal temperature : record.cellTemperatures) {
            if (!summary.hasTemperatures || temperature < summary.minTemperature)
                summary.minTemperature = temperature;
            if (!summary.hasTemperatures || temperature > summary.maxTemperature)
                summary.maxTemperature = temperature;
            summary.hasTemperatures = true;
        }
    }
    if (withCells) {
        // The first of equal counts wins.
        const auto most = std::max_element(lowestTimes.begin(), lowestTimes.end());
        summary.lowestCell = int(most - lowestTimes.begin()) + 1;
        summary.lowestCellTimes = *most;
    }
    return summary;
}

namespace {

std::uint8_t Cid2(CommandId id)
{
    return CommandOf(id).cid2;
}

// Notes a read that brought nothing; false, so that a caller can pass the
// failure on.
bool Unread(RPackReport& pack, CommandId command, std::uint8_t result)
{
    pack.unread.push_back({Cid2(command), result});
    return false;
}

// Reads one whole log; the records, and how the transfer ended.
RLogState ReadLog(TDevInfo& store, std::uint8_t pack, bool alarmLog, const RBusControl& control,
                  std::vector<RHistoryRecord>& records)
{
    // The records alone are summarised: the bar code, read with the
    // identity, is not asked again.
    const RPackLogOutcome outcome = ReadPackLog(
        store, pack, alarmLog, control,
        [&records](int, const RHistoryRecord& record, const QString&) {
            records.push_back(record);
            return true;
        },
        QString());
    RLogState state;
    state.complete = outcome.end == HistoryTransferEnd::Complete;
    state.records = outcome.records;
    state.end = outcome.end;
    state.lastError = outcome.lastError;
    return state;
}

// Each reader below returns false when something it asked for did not come
// back, so that the pack loop can tell a lost port from a pack's fault.
bool ReadIdentity(TDevInfo& store, RPackReport& pack)
{
    QString barCode;
    if (store.ReadBarCode(pack.address, pack.packNumber, barCode) == 0)
        pack.barCode = barCode.trimmed();
    std::uint16_t number1 = 0;
    std::uint8_t number2 = 0;
    bool whole = true;
    // The version rule needs the device information; the bar code and the
    // product texts are only shown.
    const std::uint8_t info = store.ReadDeviceInfo(pack.address, pack.softwareVersion, pack.deviceName,
                                                   pack.manufacturer, number1, number2);
    pack.deviceInfoRead = info == 0;
    if (!pack.deviceInfoRead)
        whole = Unread(pack, CommandId::ReadDeviceInfo, info);
    pack.productRead = store.ReadProductInfo(pack.address, pack.packNumber, pack.product) == 0;
    RDeviceTime clock;
    const std::uint8_t clockResult = store.ReadDateTime(pack.address, clock);
    if (clockResult == 0) {
        const QDateTime now = QDateTime::currentDateTime();
        const QDateTime packTime = DeviceDateTime(clock);
        pack.clockRead = packTime.isValid();
        pack.packClock = clock;
        pack.clockOffsetSeconds = pack.clockRead ? now.secsTo(packTime) : 0;
        // A date no calendar has is no clock to compare.
        if (!pack.clockRead)
            Unread(pack, CommandId::ReadDateTime, ResultCode::kInvalidData);
    } else {
        whole = Unread(pack, CommandId::ReadDateTime, clockResult);
    }
    return whole;
}

bool ReadState(TDevInfo& store, RPackReport& pack)
{
    pack.capacityRead = store.ReadCapacity(pack.address, pack.packNumber, pack.designMah, pack.fullMah,
                                           pack.remainingMah)
        == 0;
    const std::uint8_t result = store.ReadAlarmData(pack.address, pack.packNumber);
    if (result != 0)
        return Unread(pack, CommandId::ReadAlarmData, result);
    const RAlarmData alarm = store.GetAlarmData(pack.packNumber);
    pack.alarmRead = true;
    pack.alarm = alarm;
    return true;
}

bool ReadParameterSet(TDevInfo& store, const RReportRequest& request, TParameterInfo& catalogue, RPackReport& pack)
{
    // The store's catalogue belongs to the user-interface thread: this
    // reading may run on another one, so it has a catalogue of its own.
    pack.parameters = catalogue.NewParameterSet(pack.packNumber);
    const std::uint8_t result = store.ReadParameters(pack.address, pack.packNumber, pack.parameters);
    pack.parametersRead = result == 0;
    if (!pack.parametersRead)
        return Unread(pack, CommandId::ReadParameters, result);
    if (!request.reference)
        return true;
    pack.compared = true;
    const auto& named = request.referenceIds;
    for (const std::uint8_t id : DifferingParameters(*request.reference, pack.parameters)) {
        // A file compares only what it names: the rest of its set is no value of anyone's.
        if (!named.empty() && std::find(named.begin(), named.end(), id) == named.end())
            continue;
        RParameterDifference difference;
        difference.id = id;
        difference.reference = TParameterInfo::FindParameter(id, *request.reference);
        difference.pack = TParameterInfo::FindParameter(id, pack.parameters);
        pack.differences.push_back(difference);
    }
    return true;
}

bool ReadLogs(TDevInfo& store, const QDateTime& now, const RBusControl& control, RPackReport& pack)
{
    pack.logsRead = true;
    std::vector<RHistoryRecord> records;
    pack.alarmLog.state = ReadLog(store, pack.packNumber, true, control, records);
    pack.alarmLog.counts = SummariseAlarmLog(records, now, ReportRules::kProtectionDays);
    bool whole = true;
    // A log stopped by a cancel is no fault of the pack: the report is not written then.
    if (!pack.alarmLog.state.complete && !control.isCancelled())
        whole = Unread(pack, CommandId::ReadAlarmRecord, pack.alarmLog.state.lastError);
    records.clear();
    const RLogState workState = ReadLog(store, pack.packNumber, false, control, records);
    pack.workLog = SummariseWorkLog(records);
    pack.workLog.state = workState;
    if (!workState.complete && !control.isCancelled())
        whole = Unread(pack, CommandId::ReadWorkDataRecord, workState.lastError);
    return whole;
}

// Reads one pack; false when something failed.
bool ReadPack(TDevInfo& store, const RReportRequest& request, TParameterInfo& catalogue, const QDateTime& made,
              const RBusControl& control, RPackReport& pack)
{
    std::uint8_t echoed = 0;
    const std::uint8_t result = store.ReadAnalogData(pack.address, pack.packNumber, echoed);
    pack.answered = result == 0;
    if (!pack.answered) {
        pack.answerResult = result;
        // A pack that answered something unreadable is not silent: it is
        // incomplete, and the rest is not asked (every rule needs its state).
        if (result != ResultCode::kNoAnswer)
            Unread(pack, CommandId::ReadAnalogData, result);
        return false;
    }
    pack.analog = store.GetAnalogData(pack.packNumber);
    // Older firmware ends its analog answer early: the rules that need what
    // it did not send cannot run.
    bool whole = pack.analog.fieldsSent >= kAnalogFields || Unread(pack, CommandId::ReadAnalogData, 0);
    whole = ReadIdentity(store, pack) && whole;
    whole = ReadState(store, pack) && whole;
    whole = ReadParameterSet(store, request, catalogue, pack) && whole;
    if (request.withLogs)
        whole = ReadLogs(store, made, control, pack) && whole;
    return whole;
}

} // namespace

RReport GatherReport(TDevInfo& store, const RReportRequest& asked, const RBusControl& control)
{
    RReport report;
    report.made = QDateTime::currentDateTime();
    report.withLogs = asked.withLogs;
    const TTextOper& texts = store.TextOper();   // for the progress only
    TParameterInfo catalogue;
    RReportRequest request = asked;
    if (!request.reference && request.referencePack != 0) {
        const std::uint8_t ref = request.referencePack;
        RParameter set = catalogue.NewParameterSet(ref);
        const std::uint8_t result = store.ReadParameters(ref, ref, set);
        request.referenceName.clear();
        report.referencePack = ref;
        report.referenceResult = result;
        if (result == 0)
            request.reference = set;
    }
    report.referenceName = request.referenceName;
    // Progress names the pack about to be asked.
    RBusControl packControl = control;
    packControl.progress = [&control, &texts](int done, int total, const QString& what) {
        control.report(done, total,
                       what.isEmpty() ? what : texts.GetLanguageText(ReportText::kPack) + QLatin1Char(' ') + what);
    };
    std::vector<RPackReport> read;
    const RPackLoopResult loop = ForEachPack(store, request.packs, packControl, [&](std::uint8_t number, int) {
        RPackReport pack;
        pack.packNumber = number;
        pack.address = number;
        const bool whole = ReadPack(store, request, catalogue, report.made, control, pack);
        read.push_back(pack);
        return whole;
    });
    // The loop decides who was asked: a pack whose reading failed because
    // the port went away is "port lost", not silent or incomplete.
    std::size_t next = 0;
    for (const RPackVisit& visit : loop.visits) {
        RPackReport pack;
        const bool visited = next < read.size() && read[next].packNumber == visit.pack;
        if (visited)
            ++next;
        if (visited && visit.reach == RPackReach::Asked)
            pack = read[next - 1];
        pack.packNumber = visit.pack;
        pack.address = visit.pack;
        pack.reach = visit.reach;
        report.packs.push_back(pack);
    }
    report.cancelled = loop.cancelled || control.isCancelled();
    report.portLost = loop.portLost;
    ApplyFindings(report);
    return report;
}

std::vector<std::uint8_t> UncheckedPacks(const RReport& report)
{
    std::vector<std::uint8_t> packs;
    for (const RPackReport& pack : report.packs)
        if (pack.reach != RPackReach::Asked || !pack.answered || !pack.unread.empty())
            packs.push_back(pack.packNumber);
    return packs;
}

bool ReportComplete(const RReport& report)
{
    return !report.cancelled && !report.portLost && report.referenceResult == 0 && UncheckedPacks(report).empty();
}
