#include "store/report_data.h"

#include "history/history_transfer.h"
#include "params/parameter_compare.h"
#include "services/textoper.h"
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

// Reads one whole log; the records, and how the transfer ended.
RLogState ReadLog(TDevInfo& store, std::uint8_t address, std::uint8_t pack, bool alarmLog,
                  const RBusControl& control, std::vector<RHistoryRecord>& records)
{
    HistoryTransfer transfer(pack, [&store, address, pack, alarmLog](std::uint8_t subCommand, std::uint8_t& first,
                                                                     std::uint8_t& second, RHistoryRecord& record) {
        return alarmLog ? store.ReadAlarmRecord(address, pack, subCommand, first, second, record)
                        : store.ReadWorkDataRecord(address, pack, subCommand, first, second, record);
    });
    while (transfer.Running()) {
        if (control.isCancelled()) {
            transfer.Stop();
            break;
        }
        RHistoryRecord record;
        if (transfer.Step(record))
            records.push_back(record);
    }
    RLogState state;
    state.complete = transfer.Complete();
    state.records = transfer.Records();
    const TTextOper& texts = store.TextOper();
    if (!state.complete) {
        const QString why = transfer.End() == HistoryTransferEnd::Stopped
                                ? texts.GetLanguageText(ReportText::kCancelled)
                                : texts.GetErrorText(transfer.LastError());
        state.missingReason = texts.GetLanguageText(ReportText::kLogMissing)
                                  .arg(texts.GetLanguageText(alarmLog ? ReportText::kAlarmLog : ReportText::kWorkLog),
                                       why);
    }
    return state;
}

QString ValueText(const RParameterKind& entry, const TTextOper& texts)
{
    const QString unit = texts.GetUnitText(entry.UnitCode);
    const QString value = TParameterInfo::FormatParameterValue(entry.Kind, entry.Decimals, entry.Value);
    return unit.isEmpty() ? value : value + QLatin1Char(' ') + unit;
}

void ReadIdentity(TDevInfo& store, RPackReport& pack)
{
    QString barCode;
    if (store.ReadBarCode(pack.address, pack.packNumber, barCode) == 0)
        pack.barCode = barCode.trimmed();
    std::uint16_t number1 = 0;
    std::uint8_t number2 = 0;
    pack.deviceInfoRead = store.ReadDeviceInfo(pack.address, pack.softwareVersion, pack.deviceName,
                                               pack.manufacturer, number1, number2)
        == 0;
    pack.productRead = store.ReadProductInfo(pack.address, pack.packNumber, pack.product) == 0;
    RDeviceTime clock;
    if (store.ReadDateTime(pack.address, clock) == 0) {
        const QDateTime now = QDateTime::currentDateTime();
        const QDateTime packTime = DeviceDateTime(clock);
        pack.clockRead = packTime.isValid();
        pack.packClock = clock;
        pack.clockOffsetSeconds = pack.clockRead ? now.secsTo(packTime) : 0;
    }
}

void ReadState(TDevInfo& store, RPackReport& pack)
{
    pack.capacityRead = store.ReadCapacity(pack.address, pack.packNumber, pack.designMah, pack.fullMah,
                                           pack.remainingMah)
        == 0;
    if (store.ReadAlarmData(pack.address, pack.packNumber) == 0) {
        const RAlarmData alarm = store.GetAlarmData(pack.packNumber);
        pack.alarmRead = true;
        pack.alarmsNow = store.AlarmText(alarm).trimmed();
        pack.protectionsNow = store.ProtectionText(alarm).trimmed();
    }
}

void ReadParameterSet(TDevInfo& store, const RReportRequest& request, TParameterInfo& catalogue, RPackReport& pack)
{
    // The store's catalogue belongs to the user-interface thread: this
    // reading may run on another one, so it has a catalogue of its own.
    pack.parameters = catalogue.NewParameterSet(pack.packNumber);
    pack.parametersRead = store.ReadParameters(pack.address, pack.packNumber, pack.parameters) == 0;
    if (!pack.parametersRead || !request.reference)
        return;
    pack.compared = true;
    const std::uint8_t language = TTextOper::CurrentLanguage();
    const auto& named = request.referenceIds;
    for (const std::uint8_t id : DifferingParameters(*request.reference, pack.parameters)) {
        // A file compares only what it names: the rest of its set is no value of anyone's.
        if (!named.empty() && std::find(named.begin(), named.end(), id) == named.end())
            continue;
        RParameterDifference difference;
        difference.id = id;
        difference.name = TParameterInfo::GetParameterName(id, language, pack.parameters);
        difference.reference = ValueText(TParameterInfo::FindParameter(id, *request.reference), store.TextOper());
        difference.pack = ValueText(TParameterInfo::FindParameter(id, pack.parameters), store.TextOper());
        pack.differences.push_back(difference);
    }
}

void ReadLogs(TDevInfo& store, const QDateTime& now, const RBusControl& control, RPackReport& pack)
{
    pack.logsRead = true;
    std::vector<RHistoryRecord> records;
    pack.alarmLog.state = ReadLog(store, pack.address, pack.packNumber, true, control, records);
    pack.alarmLog.counts = SummariseAlarmLog(records, now, ReportRules::kProtectionDays);
    records.clear();
    const RLogState workState = ReadLog(store, pack.address, pack.packNumber, false, control, records);
    pack.workLog = SummariseWorkLog(records);
    pack.workLog.state = workState;
}

} // namespace

RReport GatherReport(TDevInfo& store, const RReportRequest& asked, const RBusControl& control)
{
    RReport report;
    report.made = QDateTime::currentDateTime();
    report.withLogs = asked.withLogs;
    const TTextOper& texts = store.TextOper();
    const int total = int(asked.packs.size());
    TParameterInfo catalogue;
    RReportRequest request = asked;
    if (!request.reference && request.referencePack != 0) {
        const std::uint8_t ref = request.referencePack;
        RParameter set = catalogue.NewParameterSet(ref);
        const std::uint8_t result = store.ReadParameters(ref, ref, set);
        request.referenceName = texts.GetLanguageText(ReportText::kPack) + QLatin1Char(' ') + QString::number(ref);
        if (result == 0)
            request.reference = set;
        else   // named with the reason, and nothing compared
            request.referenceName += QStringLiteral(": ") + texts.GetErrorText(result);
    }
    report.referenceName = request.referenceName;
    for (int index = 0; index < total; ++index) {
        if (control.isCancelled()) {
            report.cancelled = true;
            break;
        }
        RPackReport pack;
        pack.packNumber = request.packs[std::size_t(index)];
        pack.address = pack.packNumber;
        control.report(index, total, texts.GetLanguageText(ReportText::kPack) + QLatin1Char(' ')
                                         + QString::number(pack.packNumber));
        std::uint8_t echoed = 0;
        const std::uint8_t result = store.ReadAnalogData(pack.address, pack.packNumber, echoed);
        pack.answered = result == 0;
        if (!pack.answered) {
            pack.noAnswerReason = texts.GetErrorText(result);
            report.packs.push_back(pack);
            continue;
        }
        pack.analog = store.GetAnalogData(pack.packNumber);
        ReadIdentity(store, pack);
        ReadState(store, pack);
        ReadParameterSet(store, request, catalogue, pack);
        if (request.withLogs)
            ReadLogs(store, report.made, control, pack);
        report.packs.push_back(pack);
    }
    if (control.isCancelled())
        report.cancelled = true;
    control.report(int(report.packs.size()), total, QString());
    ApplyFindings(report, texts);
    return report;
}
