#include "store/report_wording.h"

#include "services/settings.h"
#include "services/textoper.h"
#include "store/devinfo.h"
#include "store/pack_poller.h"
#include "store/report_findings.h"
#include "store/report_texts.h"

namespace {

QString Degrees(Decimal value)
{
    return value.format(u"0.0");
}

QString SensorText(int item, const TTextOper& texts)
{
    if (item == kAmbientSensorItem)
        return texts.GetLanguageText(ReportText::kAmbient);
    if (item == kFetSensorItem)
        return QStringLiteral("FET");
    return texts.GetLanguageText(ReportText::kCellTemperature).arg(item);
}

} // namespace

QString LevelText(ReportLevel level, const TTextOper& texts)
{
    switch (level) {
    case ReportLevel::Watch: return texts.GetLanguageText(ReportText::kWatch);
    case ReportLevel::Service: return texts.GetLanguageText(ReportText::kService);
    case ReportLevel::Incomplete: return texts.GetLanguageText(ReportText::kIncomplete);
    case ReportLevel::Ok: break;
    }
    return texts.GetLanguageText(ReportText::kOk);
}

QString FindingText(const RFinding& finding, const TTextOper& texts)
{
    const qint64 value = finding.value.truncated();
    const qint64 limit = finding.limit.truncated();
    switch (finding.rule) {
    case ReportRule::Spread:
        return texts
            .GetLanguageText(finding.level == ReportLevel::Service ? ReportText::kSpreadService
                                                                   : ReportText::kSpreadWatch)
            .arg(value)
            .arg(limit);
    case ReportRule::Temperature:
        return texts.GetLanguageText(ReportText::kTemperatureWatch)
            .arg(SensorText(finding.item, texts), Degrees(finding.value), Degrees(finding.limit));
    case ReportRule::Protection:
        return texts.GetLanguageText(ReportText::kProtectionLogged)
            .arg(texts.GetAlarmText(std::uint8_t(finding.item)))
            .arg(value)
            .arg(FormatDeviceTime(finding.when));
    case ReportRule::Clock: return texts.GetLanguageText(ReportText::kClockWatch).arg(value).arg(limit);
    case ReportRule::Version:
        return texts.GetLanguageText(ReportText::kVersionWatch)
            .arg(SoftwareVersionHex(std::uint16_t(value)), SoftwareVersionHex(std::uint16_t(limit)));
    case ReportRule::Health: return texts.GetLanguageText(ReportText::kSohService).arg(value).arg(limit);
    }
    return QString();
}

QString UnreadText(const RUnreadItem& item, const TTextOper& texts)
{
    QString name;
    for (const auto& row : ReportText::kReadNames)
        if (row[0] == item.command)
            name = texts.GetLanguageText(row[1]);
    return QStringLiteral("%1 (0x%2): %3")
        .arg(name, QString::number(item.command, 16).toUpper().rightJustified(2, QLatin1Char('0')),
             item.result == 0 ? texts.GetLanguageText(ReportText::kAnswerEndsEarly) : texts.GetErrorText(item.result));
}

QString UnreadList(const RPackReport& pack, const TTextOper& texts)
{
    QStringList items;
    for (const RUnreadItem& item : pack.unread)
        items << UnreadText(item, texts);
    return items.join(QStringLiteral("; "));
}

QString StatusText(const RPackReport& pack, const TTextOper& texts)
{
    if (pack.reach == RPackReach::NotTried)
        return texts.GetLanguageText(ReportText::kNotTried);
    if (pack.reach == RPackReach::PortLost)
        return texts.GetLanguageText(ReportText::kPortLost);
    if (!pack.answered && pack.unread.empty())
        return texts.GetLanguageText(ReportText::kNoAnswer);
    return LevelText(pack.level, texts);
}

QString NoAnswerText(const RPackReport& pack, const TTextOper& texts)
{
    return pack.answered ? QString() : texts.GetErrorText(pack.answerResult);
}

QStringList ActiveNowTexts(const RPackReport& pack, const TTextOper& texts)
{
    QStringList active;
    if (!pack.alarmRead)
        return active;
    for (const QString& words : {TDevInfo::AlarmText(pack.alarm, texts).trimmed(),
                                 TDevInfo::ProtectionText(pack.alarm, texts).trimmed()})
        if (!words.isEmpty())
            active << words;
    return active;
}

QString LogMissingText(const RLogState& state, bool alarmLog, const TTextOper& texts)
{
    if (state.complete)
        return QString();
    const QString why = state.end == HistoryTransferEnd::Stopped ? texts.GetLanguageText(ReportText::kCancelled)
                                                                 : texts.GetErrorText(state.lastError);
    return texts.GetLanguageText(ReportText::kLogMissing)
        .arg(texts.GetLanguageText(alarmLog ? ReportText::kAlarmLog : ReportText::kWorkLog), why);
}

QString ParameterValueWithUnit(const RParameterKind& entry, const TTextOper& texts)
{
    const QString unit = texts.GetUnitText(entry.UnitCode);
    const QString value = TParameterInfo::FormatParameterValue(entry.Kind, entry.Decimals, entry.Value);
    return unit.isEmpty() ? value : value + QLatin1Char(' ') + unit;
}

QString ReferenceText(const RReport& report, const TTextOper& texts)
{
    if (!report.referenceName.isEmpty() || report.referencePack == 0)
        return report.referenceName;
    return texts.GetLanguageText(ReportText::kPack) + QLatin1Char(' ') + QString::number(report.referencePack);
}

QString ReportLevelName(ReportLevel level)
{
    switch (level) {
    case ReportLevel::Incomplete: return QStringLiteral("incomplete");
    case ReportLevel::Watch: return QStringLiteral("watch");
    case ReportLevel::Service: return QStringLiteral("service");
    case ReportLevel::Ok: break;
    }
    return QStringLiteral("ok");
}

QString ReportStatusName(const RPackReport& pack)
{
    if (pack.reach == RPackReach::NotTried)
        return QStringLiteral("not_tried");
    if (pack.reach == RPackReach::PortLost)
        return QStringLiteral("port_lost");
    if (!pack.answered && pack.unread.empty())
        return QStringLiteral("no_answer");
    return ReportLevelName(pack.level);
}

QString ReportRuleName(ReportRule rule)
{
    switch (rule) {
    case ReportRule::Spread: return QStringLiteral("spread");
    case ReportRule::Temperature: return QStringLiteral("temperature");
    case ReportRule::Protection: return QStringLiteral("protection");
    case ReportRule::Clock: return QStringLiteral("clock");
    case ReportRule::Version: return QStringLiteral("version");
    case ReportRule::Health: return QStringLiteral("soh");
    }
    return QString();
}

QString ReportUnitName(ReportUnit unit)
{
    switch (unit) {
    case ReportUnit::Millivolt: return QStringLiteral("mV");
    case ReportUnit::Celsius: return QStringLiteral("°C");
    case ReportUnit::Second: return QStringLiteral("s");
    case ReportUnit::Percent: return QStringLiteral("%");
    case ReportUnit::None: break;
    }
    return QString();
}
