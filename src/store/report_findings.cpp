#include "store/report_findings.h"

#include "services/settings.h"
#include "services/textoper.h"
#include "store/pack_poller.h"
#include "store/report_texts.h"

#include <algorithm>
#include <QStringList>

#include <map>

namespace {

QString Degrees(Decimal value)
{
    return value.format(u"0.0");
}

std::optional<RFinding> Finding(ReportLevel level, const QString& reason)
{
    return RFinding{level, reason};
}

} // namespace

std::optional<RFinding> SpreadFinding(int spreadMv, int balanceStartMv, int differenceAlarmMv,
                                      const TTextOper& texts)
{
    if (differenceAlarmMv > 0 && spreadMv >= differenceAlarmMv)
        return Finding(ReportLevel::Service, texts.GetLanguageText(ReportText::kSpreadService)
                                                 .arg(spreadMv)
                                                 .arg(differenceAlarmMv));
    if (balanceStartMv > 0 && spreadMv > balanceStartMv)
        return Finding(ReportLevel::Watch,
                       texts.GetLanguageText(ReportText::kSpreadWatch).arg(spreadMv).arg(balanceStartMv));
    return std::nullopt;
}

std::optional<RFinding> TemperatureFinding(const QString& sensor, Decimal value, Decimal lowAlarm,
                                           Decimal highAlarm, const TTextOper& texts)
{
    // A limit pair that is not set (both 0) or reversed names no range.
    if (highAlarm <= lowAlarm)
        return std::nullopt;
    const QString text = texts.GetLanguageText(ReportText::kTemperatureWatch);
    if (value >= highAlarm)
        return Finding(ReportLevel::Watch, text.arg(sensor, Degrees(value), Degrees(highAlarm)));
    if (value <= lowAlarm)
        return Finding(ReportLevel::Watch, text.arg(sensor, Degrees(value), Degrees(lowAlarm)));
    return std::nullopt;
}

std::optional<RFinding> ProtectionFinding(const RAlarmCount& count, const TTextOper& texts)
{
    if (count.code < ReportRules::kFirstProtectionCode || count.recentCount == 0)
        return std::nullopt;
    return Finding(ReportLevel::Service, texts.GetLanguageText(ReportText::kProtectionLogged)
                                             .arg(texts.GetAlarmText(count.code))
                                             .arg(count.recentCount)
                                             .arg(FormatDeviceTime(count.recentLast)));
}

std::optional<RFinding> ClockFinding(qint64 offsetSeconds, const TTextOper& texts)
{
    if (offsetSeconds <= ReportRules::kClockLimitSeconds && offsetSeconds >= -ReportRules::kClockLimitSeconds)
        return std::nullopt;
    return Finding(ReportLevel::Watch, texts.GetLanguageText(ReportText::kClockWatch)
                                           .arg(offsetSeconds)
                                           .arg(ReportRules::kClockLimitSeconds));
}

std::optional<RFinding> VersionFinding(std::uint16_t version, std::uint16_t commonVersion, const TTextOper& texts)
{
    if (version == commonVersion)
        return std::nullopt;
    return Finding(ReportLevel::Watch, texts.GetLanguageText(ReportText::kVersionWatch)
                                           .arg(SoftwareVersionHex(version), SoftwareVersionHex(commonVersion)));
}

std::optional<RFinding> HealthFinding(int soh, const TTextOper& texts)
{
    if (soh >= ReportRules::kSohLimit)
        return std::nullopt;
    return Finding(ReportLevel::Service,
                   texts.GetLanguageText(ReportText::kSohService).arg(soh).arg(ReportRules::kSohLimit));
}

std::optional<std::uint16_t> CommonSoftwareVersion(std::span<const RPackReport> packs)
{
    std::vector<std::pair<std::uint16_t, int>> seen;   // in the order met
    for (const RPackReport& pack : packs) {
        if (!pack.answered || !pack.deviceInfoRead)
            continue;
        auto found = std::find_if(seen.begin(), seen.end(),
                                  [&pack](const auto& entry) { return entry.first == pack.softwareVersion; });
        if (found == seen.end())
            seen.emplace_back(pack.softwareVersion, 1);
        else
            ++found->second;
    }
    int total = 0;
    for (const auto& entry : seen)
        total += entry.second;
    if (total < 2)
        return std::nullopt;
    // max_element keeps the first of equal counts.
    return std::max_element(seen.begin(), seen.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->first;
}

std::vector<RFinding> PackFindings(const RPackReport& pack, std::optional<std::uint16_t> commonVersion,
                                   const TTextOper& texts)
{
    std::vector<RFinding> findings;
    const auto add = [&findings](const std::optional<RFinding>& finding) {
        if (finding)
            findings.push_back(*finding);
    };
    if (pack.parametersRead) {
        const RParameter& limits = pack.parameters;
        const auto limit = [&limits](std::uint8_t id) { return TParameterInfo::GetParameterValue(id, limits); };
        add(SpreadFinding(CellSpreadMv(pack.analog.cellVoltages),
                          int(TParameterInfo::GetParameterInt(ReportRules::kBalanceStartDifference, limits)),
                          int(TParameterInfo::GetParameterInt(ReportRules::kDifferenceAlarm, limits)), texts));
        // A temperature the pack's answer did not carry is not judged.
        const QString cellName = texts.GetLanguageText(ReportText::kCellTemperature);
        for (int sensor = 0; sensor < kMaxCellTemperatures && pack.analog.sent(AnalogField::CellTemperatures); ++sensor)
            add(TemperatureFinding(cellName.arg(sensor + 1), pack.analog.cellTemperatures[std::size_t(sensor)],
                                   limit(ReportRules::kCellLowAlarm), limit(ReportRules::kCellHighAlarm), texts));
        if (pack.analog.sent(AnalogField::Ambient))
            add(TemperatureFinding(texts.GetLanguageText(ReportText::kAmbient), pack.analog.ambientTemperature,
                                   limit(ReportRules::kAmbientLowAlarm), limit(ReportRules::kAmbientHighAlarm), texts));
        if (pack.analog.sent(AnalogField::Fet))
            add(TemperatureFinding(QStringLiteral("FET"), pack.analog.fetTemperature, limit(ReportRules::kFetLowAlarm),
                                   limit(ReportRules::kFetHighAlarm), texts));
    }
    for (const RAlarmCount& count : pack.alarmLog.counts)
        add(ProtectionFinding(count, texts));
    if (pack.clockRead)
        add(ClockFinding(pack.clockOffsetSeconds, texts));
    if (pack.deviceInfoRead && commonVersion)
        add(VersionFinding(pack.softwareVersion, *commonVersion, texts));
    if (pack.analog.sent(AnalogField::Soh))
        add(HealthFinding(pack.analog.soh, texts));
    return findings;
}

ReportLevel OverallLevel(std::span<const RFinding> findings)
{
    ReportLevel level = ReportLevel::Ok;
    for (const RFinding& finding : findings)
        level = std::max(level, finding.level);
    return level;
}

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

void ApplyFindings(RReport& report, const TTextOper& texts)
{
    const std::optional<std::uint16_t> common = CommonSoftwareVersion(report.packs);
    for (RPackReport& pack : report.packs) {
        if (pack.answered) {
            pack.findings = PackFindings(pack, common, texts);
            // Most severe first: the rack summary shows the first one.
            std::stable_sort(pack.findings.begin(), pack.findings.end(),
                             [](const RFinding& a, const RFinding& b) { return a.level > b.level; });
        }
        pack.level = OverallLevel(pack.findings);
        if (!pack.unread.empty())
            pack.level = std::max(pack.level, ReportLevel::Incomplete);
    }
}
