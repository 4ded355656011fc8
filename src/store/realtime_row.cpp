#include "store/realtime_row.h"

#include "protocol/decimal.h"
#include "services/family_texts.h"
#include "services/settings.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/devinfo.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

namespace {

// A header cell: the text of the id in the current language, then the unit.
QString Header(const TTextOper& texts, std::uint16_t id, const char* unit = "")
{
    return texts.GetLanguageText(id) + QString::fromUtf8(unit);
}

QString Whole(std::int64_t value)
{
    return QString::number(value);
}

QString TwoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// "T1(℃)".."T4(℃)" and "V01(mV)".."V16(mV)": the same in every language.
void AppendTemperatureHeaders(QStringList& cells)
{
    for (int i = 1; i <= kMaxCellTemperatures; ++i)
        cells << QStringLiteral("T%1(℃)").arg(i);
}

void AppendCellHeaders(QStringList& cells)
{
    for (int i = 1; i <= kMaxCells; ++i)
        cells << QStringLiteral("V%1(mV)").arg(TwoDigits(i));
}

// The record logs show the position first: "03->3312".
QString HistoryExtreme(const CellExtreme& extreme)
{
    return TwoDigits(extreme.position) + QStringLiteral("->") + Whole(extreme.millivolts);
}

constexpr std::uint16_t kNumberId = 0x6001;
constexpr std::uint16_t kTimeId = 0x6002;
constexpr std::uint16_t kModeId = 0x6003;
constexpr std::uint16_t kVoltageId = 0x6004;
constexpr std::uint16_t kCurrentId = 0x6005;
constexpr std::uint16_t kAlarmCodeId = 0x6006;
constexpr std::uint16_t kAlarmInfoId = 0x6007;
constexpr std::uint16_t kLowestCellId = 0x6008;
constexpr std::uint16_t kHighestCellId = 0x6009;
constexpr std::uint16_t kAmbientId = 0x600A;
constexpr std::uint16_t kBalanceId = 0x6010;
constexpr std::uint16_t kTotalVoltageId = 0x6011;
constexpr std::uint16_t kTotalCurrentId = 0x6012;
constexpr std::uint16_t kRemainingId = 0x6013;
constexpr std::uint16_t kFullId = 0x6014;
constexpr std::uint16_t kCyclesId = 0x7009;
constexpr std::uint16_t kHumidityId = 0x352C;
constexpr std::uint16_t kAlarmStateId = 0x5010;
constexpr std::uint16_t kProtectionStateId = 0x5030;
constexpr std::uint16_t kDeviceCodeId = 0x700F;
constexpr int kFamilyColumn = 38;

// The nth temperature of a role another maker's pack sent, or none.
std::optional<Decimal> ForeignTemperature(const RFamilyAnalog& extra, TemperatureRole role, int nth)
{
    for (int k = 0; k < std::min<int>(extra.temperatureCount, kMaxFamilyTemperatures); ++k)
        if (extra.temperatureRoles[std::size_t(k)] == role && nth-- == 0)
            return extra.temperatures[std::size_t(k)];
    return std::nullopt;
}

// A cell of another maker's reading whose value is not where our layout
// has it: SOC and SOH exact when sent, the ambient and MOSFET sensors and
// the first four cell sensors by what they measure; blank for what it does
// not send (humidity, balancing, the cells it does not have). Its status
// bytes never reach our alarm columns (the alarm record's status is
// empty). None: the column is formatted as for ours.
std::optional<QString> ForeignCell(const RAnalogData& analog, int column)
{
    constexpr int kFirstTemperature = 18;
    constexpr int kFirstCell = kFirstTemperature + kMaxCellTemperatures;
    const auto shown = [](std::optional<Decimal> celsius) { return celsius ? celsius->format(u"0.0") : QString(); };
    switch (column) {
    // SOC and SOH as exact as sent (85.3 from 853 per mille).
    case 5: return StateOfCharge(analog) ? StateOfCharge(analog)->toString() : QString();
    case 6: return StateOfHealth(analog) ? StateOfHealth(analog)->toString() : QString();
    case 10: return QString();   // humidity
    case 13: return shown(ForeignTemperature(analog.extra, TemperatureRole::Ambient, 0));
    case 14: return shown(ForeignTemperature(analog.extra, TemperatureRole::Mosfet, 0));
    case 17: return QString();   // balancing
    default: break;
    }
    if (column >= kFirstTemperature && column < kFirstCell)
        return shown(ForeignTemperature(analog.extra, TemperatureRole::CellSensor, column - kFirstTemperature));
    if (column >= kFirstCell && column < kFamilyColumn && column - kFirstCell >= analog.extra.cellCount)
        return QString();
    return std::nullopt;
}

} // namespace

QStringList RealtimeLogHeaders(const TTextOper& texts)
{
    QStringList cells;
    cells << Header(texts, kNumberId) << QStringLiteral("PackNo") << Header(texts, kTimeId)
          << Header(texts, kTotalVoltageId, "(V)") << Header(texts, kTotalCurrentId, "(A)") << QStringLiteral("SOC%")
          << QStringLiteral("SOH%") << Header(texts, kRemainingId, "(Ah)") << Header(texts, kFullId, "(Ah)")
          << Header(texts, kCyclesId) << Header(texts, kHumidityId, "(%)") << Header(texts, kLowestCellId, "(mV)")
          << Header(texts, kHighestCellId, "(mV)") << Header(texts, kAmbientId, "(℃)") << QStringLiteral("FET(℃)")
          << Header(texts, kAlarmStateId) << Header(texts, kProtectionStateId) << Header(texts, kBalanceId);
    AppendTemperatureHeaders(cells);
    AppendCellHeaders(cells);
    cells << Header(texts, TextId::kFamilyCaption);
    return cells;
}

bool RealtimeReadingHoldsData(const RAnalogData& analog)
{
    return analog.totalVoltage >= Decimal::fromRaw(10) || analog.cellVoltages[0] != 0;
}

QString LiveExtremeText(const CellExtreme& extreme)
{
    if (extreme.millivolts == 0)
        return QStringLiteral("0");
    return Whole(extreme.millivolts) + QLatin1Char('>') + TwoDigits(extreme.position);
}

QString RealtimeLogCell(int column, int rowNumber, const RAnalogData& analog, const RAlarmData& alarm,
                        const TDevInfo& store)
{
    constexpr int kFirstTemperature = 18;
    constexpr int kFirstCell = kFirstTemperature + kMaxCellTemperatures;
    if (column == kFamilyColumn)
        return FamilyName(analog.family);
    // Another family's status bytes mean something else than ours: the
    // alarm column names those that are not 0 by their own names, and our
    // protection bits are not looked for in them.
    if (IsForeign(alarm.family) && (column == 15 || column == 16))
        return column == 15 ? FamilyStatusSummary(alarm, store.TextOper(), QStringLiteral("; ")) : QString();
    if (IsForeign(analog.family))
        if (std::optional<QString> cell = ForeignCell(analog, column))
            return *cell;
    // A field the pack's answer did not carry stays blank.
    using F = AnalogField;
    constexpr std::array<F, 12> kColumnFields = {F::Voltage, F::Current, F::Soc, F::Soh, F::Remaining, F::FullCapacity,
                                                 F::Cycles, F::Humidity, F::Cells, F::Cells, F::Ambient, F::Fet};
    // Another family's fields are known by ForeignCell.
    const bool ours = !IsForeign(analog.family);
    if (ours && column >= 3 && column < 3 + int(kColumnFields.size())
        && !analog.sent(kColumnFields[std::size_t(column - 3)]))
        return {};
    if (ours && column >= kFirstTemperature && column < kFirstCell && !analog.sent(F::CellTemperatures))
        return {};
    switch (column) {
    case 0: return Whole(rowNumber);
    case 1: return TwoDigits(analog.packNumber);
    case 2: return FormatDeviceTime(RDeviceTime::fromDateTime(analog.time));
    case 3: return analog.totalVoltage.format(u"0.000");
    case 4: return analog.current.format(u"0.000");
    case 5: return Whole(analog.soc);
    case 6: return Whole(analog.soh);
    case 7: return analog.remainingCapacity.format(u"0.000");
    case 8: return analog.fullCapacity.format(u"0.000");
    case 9: return Whole(analog.cycleCount);
    case 10: return Whole(analog.humidity);
    case 11: return LiveExtremeText(TDevInfo::MinCellVoltage(analog));
    case 12: return LiveExtremeText(TDevInfo::MaxCellVoltage(analog));
    case 13: return analog.ambientTemperature.format(u"0.0");
    case 14: return analog.fetTemperature.format(u"0.0");
    case 15: return store.AlarmText(alarm);
    case 16: return store.ProtectionText(alarm);
    case 17: {
        if (ours && !analog.sent(F::Balancing))
            return {};
        QString balance;
        for (std::uint8_t flag : analog.balancing)
            balance += flag != 0 ? QLatin1Char('1') : QLatin1Char('0');
        return balance;
    }
    default: break;
    }
    if (column >= kFirstTemperature && column < kFirstCell)
        return analog.cellTemperatures[std::size_t(column - kFirstTemperature)].format(u"0.0");
    if (column >= kFirstCell && column < kFamilyColumn)
        return Whole(analog.cellVoltages[std::size_t(column - kFirstCell)]);
    return {};
}

QStringList RealtimeLogRow(int rowNumber, const RAnalogData& analog, const RAlarmData& alarm,
                           const TDevInfo& store)
{
    QStringList cells;
    cells.reserve(kRealtimeLogColumns);
    for (int column = 0; column < kRealtimeLogColumns; ++column)
        cells << RealtimeLogCell(column, rowNumber, analog, alarm, store);
    return cells;
}

QStringList HistoryLogHeaders(bool alarmLog, const TTextOper& texts)
{
    QStringList cells;
    cells << Header(texts, kNumberId) << QStringLiteral("PackNo") << Header(texts, kTimeId) << Header(texts, kModeId)
          << Header(texts, kVoltageId, "(V)") << Header(texts, kCurrentId, "(A)") << QStringLiteral("SOC(%)")
          << Header(texts, kRemainingId, "(Ah)");
    if (alarmLog)
        cells << Header(texts, kAlarmCodeId) << Header(texts, kAlarmInfoId);
    cells << Header(texts, kLowestCellId, "(mV)") << Header(texts, kHighestCellId, "(mV)")
          << Header(texts, kAmbientId, "(℃)") << QStringLiteral("FET(℃)") << Header(texts, kHumidityId, "(%)");
    AppendTemperatureHeaders(cells);
    AppendCellHeaders(cells);
    cells << Header(texts, kDeviceCodeId);
    return cells;
}

QString HistoryLogCell(int column, int rowNumber, const RHistoryRecord& record, bool alarmLog,
                       const QString& deviceCode, const TTextOper& texts)
{
    // The work-data log has no alarm columns: its later columns sit two
    // places to the left of the alarm log's.
    constexpr int kFirstShared = 8;
    if (!alarmLog && column >= kFirstShared)
        column += 2;
    constexpr int kFirstTemperature = 15;
    constexpr int kFirstCell = kFirstTemperature + kMaxCellTemperatures;
    constexpr int kDeviceCode = kFirstCell + kMaxCells;
    switch (column) {
    case 0: return Whole(rowNumber);
    case 1: return Whole(record.packNumber);
    case 2: return FormatDeviceTime(record.time);
    case 3: return GetModeText(record.mode);
    case 4: return record.voltage.format(u"0.000");
    case 5: return record.current.format(u"0.000");
    case 6: return Whole(record.soc);
    case 7: return record.remainingCapacity.format(u"0.000");
    case 8: return Whole(record.alarmCode);
    case 9: return texts.GetAlarmText(record.alarmCode);
    case 10: return HistoryExtreme(TDevInfo::MinCellVoltage(record.cellVoltages));
    case 11: return HistoryExtreme(TDevInfo::MaxCellVoltage(record.cellVoltages));
    case 12: return record.ambientTemperature.format(u"0.0");
    case 13: return record.fetTemperature.format(u"0.0");
    case 14: return Whole(record.humidity);
    case kDeviceCode: return deviceCode;
    default: break;
    }
    if (column >= kFirstTemperature && column < kFirstCell)
        return record.cellTemperatures[std::size_t(column - kFirstTemperature)].format(u"0.0");
    if (column >= kFirstCell && column < kDeviceCode)
        return Whole(record.cellVoltages[std::size_t(column - kFirstCell)]);
    return {};
}

QStringList HistoryLogRow(int rowNumber, const RHistoryRecord& record, bool alarmLog, const QString& deviceCode,
                          const TTextOper& texts)
{
    const int columns = alarmLog ? kAlarmRecordLogColumns : kWorkDataLogColumns;
    QStringList cells;
    cells.reserve(columns);
    for (int column = 0; column < columns; ++column)
        cells << HistoryLogCell(column, rowNumber, record, alarmLog, deviceCode, texts);
    return cells;
}
