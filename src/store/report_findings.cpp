#include "store/report_findings.h"

#include <algorithm>

#include <map>

namespace {

std::optional<RFinding> Finding(ReportRule rule, ReportLevel level, Decimal value, Decimal limit, ReportUnit unit,
                                int item = 0)
{
    RFinding finding;
    finding.rule = rule;
    finding.level = level;
    finding.value = value;
    finding.limit = limit;
    finding.unit = unit;
    finding.item = item;
    return finding;
}

} // namespace

std::optional<RFinding> SpreadFinding(int spreadMv, int balanceStartMv, int differenceAlarmMv)
{
    const Decimal spread = Decimal::fromInt(spreadMv);
    if (differenceAlarmMv > 0 && spreadMv >= differenceAlarmMv)
        return Finding(ReportRule::Spread, ReportLevel::Service, spread, Decimal::fromInt(differenceAlarmMv),
                       ReportUnit::Millivolt);
    if (balanceStartMv > 0 && spreadMv > balanceStartMv)
        return Finding(ReportRule::Spread, ReportLevel::Watch, spread, Decimal::fromInt(balanceStartMv),
                       ReportUnit::Millivolt);
    return std::nullopt;
}

std::optional<RFinding> TemperatureFinding(int sensor, Decimal value, Decimal lowAlarm, Decimal highAlarm)
{
    // A limit pair that is not set (both 0) or reversed names no range.
    if (highAlarm <= lowAlarm)
        return std::nullopt;
    if (value >= highAlarm)
        return Finding(ReportRule::Temperature, ReportLevel::Watch, value, highAlarm, ReportUnit::Celsius, sensor);
    if (value <= lowAlarm)
        return Finding(ReportRule::Temperature, ReportLevel::Watch, value, lowAlarm, ReportUnit::Celsius, sensor);
    return std::nullopt;
}

std::optional<RFinding> ProtectionFinding(const RAlarmCount& count)
{
    if (count.code < ReportRules::kFirstProtectionCode || count.recentCount == 0)
        return std::nullopt;
    std::optional<RFinding> finding = Finding(ReportRule::Protection, ReportLevel::Service,
                                              Decimal::fromInt(count.recentCount), Decimal(), ReportUnit::None,
                                              count.code);
    finding->when = count.recentLast;
    return finding;
}

std::optional<RFinding> ClockFinding(qint64 offsetSeconds)
{
    if (offsetSeconds <= ReportRules::kClockLimitSeconds && offsetSeconds >= -ReportRules::kClockLimitSeconds)
        return std::nullopt;
    return Finding(ReportRule::Clock, ReportLevel::Watch, Decimal::fromInt(offsetSeconds),
                   Decimal::fromInt(ReportRules::kClockLimitSeconds), ReportUnit::Second);
}

std::optional<RFinding> VersionFinding(std::uint16_t version, std::uint16_t commonVersion)
{
    if (version == commonVersion)
        return std::nullopt;
    return Finding(ReportRule::Version, ReportLevel::Watch, Decimal::fromInt(version), Decimal::fromInt(commonVersion),
                   ReportUnit::None);
}

std::optional<RFinding> HealthFinding(int soh)
{
    if (soh >= ReportRules::kSohLimit)
        return std::nullopt;
    return Finding(ReportRule::Health, ReportLevel::Service, Decimal::fromInt(soh),
                   Decimal::fromInt(ReportRules::kSohLimit), ReportUnit::Percent);
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

std::vector<RFinding> PackFindings(const RPackReport& pack, std::optional<std::uint16_t> commonVersion)
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
                          int(TParameterInfo::GetParameterInt(ReportRules::kDifferenceAlarm, limits))));
        // A temperature the pack's answer did not carry is not judged.
        for (int sensor = 0; sensor < kMaxCellTemperatures && pack.analog.sent(AnalogField::CellTemperatures); ++sensor)
            add(TemperatureFinding(sensor + 1, pack.analog.cellTemperatures[std::size_t(sensor)],
                                   limit(ReportRules::kCellLowAlarm), limit(ReportRules::kCellHighAlarm)));
        if (pack.analog.sent(AnalogField::Ambient))
            add(TemperatureFinding(kAmbientSensorItem, pack.analog.ambientTemperature,
                                   limit(ReportRules::kAmbientLowAlarm), limit(ReportRules::kAmbientHighAlarm)));
        if (pack.analog.sent(AnalogField::Fet))
            add(TemperatureFinding(kFetSensorItem, pack.analog.fetTemperature, limit(ReportRules::kFetLowAlarm),
                                   limit(ReportRules::kFetHighAlarm)));
    }
    for (const RAlarmCount& count : pack.alarmLog.counts)
        add(ProtectionFinding(count));
    if (pack.clockRead)
        add(ClockFinding(pack.clockOffsetSeconds));
    if (pack.deviceInfoRead && commonVersion)
        add(VersionFinding(pack.softwareVersion, *commonVersion));
    if (pack.analog.sent(AnalogField::Soh))
        add(HealthFinding(pack.analog.soh));
    return findings;
}

ReportLevel OverallLevel(std::span<const RFinding> findings)
{
    ReportLevel level = ReportLevel::Ok;
    for (const RFinding& finding : findings)
        level = std::max(level, finding.level);
    return level;
}

void ApplyFindings(RReport& report)
{
    const std::optional<std::uint16_t> common = CommonSoftwareVersion(report.packs);
    for (RPackReport& pack : report.packs) {
        if (pack.answered) {
            pack.findings = PackFindings(pack, common);
            // Most severe first: the rack summary shows the first one.
            std::stable_sort(pack.findings.begin(), pack.findings.end(),
                             [](const RFinding& a, const RFinding& b) { return a.level > b.level; });
        }
        pack.level = OverallLevel(pack.findings);
        if (!pack.unread.empty())
            pack.level = std::max(pack.level, ReportLevel::Incomplete);
    }
}
