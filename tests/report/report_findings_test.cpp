// The finding rules and the log summaries: pure functions, value and limit
// in, finding out.
#include "services/textoper.h"
#include "store/report_data.h"
#include "store/report_findings.h"

#include <gtest/gtest.h>

namespace {

class ReportRulesTest : public ::testing::Test {
protected:
    void SetUp() override { m_texts.SetLanguage(TTextOper::English); }
    // The sentence the report shows for the finding.
    std::string Reason(const std::optional<RFinding>& finding) const
    {
        return finding ? FindingText(*finding, m_texts).toStdString() : std::string();
    }
    TTextOper m_texts;
};

RDeviceTime At(const QDateTime& time)
{
    return RDeviceTime::fromDateTime(time);
}

std::optional<ReportLevel> LevelOf(const std::optional<RFinding>& finding)
{
    return finding ? std::optional<ReportLevel>(finding->level) : std::nullopt;
}

TEST_F(ReportRulesTest, SpreadAgainstTheBalanceStartAndTheDifferenceAlarm)
{
    struct Case {
        int spread, balanceStart, alarm;
        std::optional<ReportLevel> level;
    };
    const Case cases[] = {
        {30, 30, 300, std::nullopt},            // at the start difference: balancing's job
        {31, 30, 300, ReportLevel::Watch},
        {299, 30, 300, ReportLevel::Watch},
        {300, 30, 300, ReportLevel::Service},   // the alarm limit itself
        {500, 0, 0, std::nullopt},              // limits not set
        {500, 0, 300, ReportLevel::Service},
    };
    for (const Case& c : cases) {
        const auto finding = SpreadFinding(c.spread, c.balanceStart, c.alarm);
        EXPECT_EQ(LevelOf(finding), c.level) << c.spread << " / " << c.balanceStart << " / " << c.alarm;
        if (finding) {
            const int limit = finding->level == ReportLevel::Service ? c.alarm : c.balanceStart;
            EXPECT_EQ(finding->rule, ReportRule::Spread);
            EXPECT_EQ(finding->value, Decimal::fromInt(c.spread));
            EXPECT_EQ(finding->limit, Decimal::fromInt(limit));
            EXPECT_EQ(finding->unit, ReportUnit::Millivolt);
            const QString reason = FindingText(*finding, m_texts);
            EXPECT_TRUE(reason.contains(QStringLiteral("%1 mV").arg(c.spread))) << reason.toStdString();
            EXPECT_TRUE(reason.contains(QStringLiteral("%1 mV").arg(limit))) << reason.toStdString();
        }
    }
}

TEST_F(ReportRulesTest, TemperatureAtOrBeyondEitherAlarmLimit)
{
    struct Case {
        int value, low, high;
        std::optional<ReportLevel> level;
        const char* limitText;
    };
    const Case cases[] = {
        {25, 0, 55, std::nullopt, ""},
        {55, 0, 55, ReportLevel::Watch, "55.0"},
        {-5, 0, 55, ReportLevel::Watch, "0.0"},
        {90, 0, 0, std::nullopt, ""},   // no limits set
    };
    for (const Case& c : cases) {
        const auto finding = TemperatureFinding(1, Decimal::fromInt(c.value), Decimal::fromInt(c.low),
                                                Decimal::fromInt(c.high));
        EXPECT_EQ(LevelOf(finding), c.level) << c.value;
        if (finding) {
            EXPECT_EQ(finding->value, Decimal::fromInt(c.value));
            EXPECT_EQ(finding->limit.format(u"0.0"), QLatin1String(c.limitText));
            EXPECT_EQ(finding->item, 1);
            EXPECT_TRUE(FindingText(*finding, m_texts).contains(QString::fromLatin1(c.limitText) + QStringLiteral(" °C")))
                << Reason(finding);
        }
    }
}

TEST_F(ReportRulesTest, ClockVersionAndHealthLimits)
{
    EXPECT_FALSE(ClockFinding(300));
    EXPECT_FALSE(ClockFinding(-300));
    EXPECT_EQ(LevelOf(ClockFinding(301)), ReportLevel::Watch);
    EXPECT_EQ(LevelOf(ClockFinding(-3600)), ReportLevel::Watch);
    EXPECT_EQ(ClockFinding(-3600)->value, Decimal::fromInt(-3600));
    EXPECT_TRUE(FindingText(*ClockFinding(-3600), m_texts).contains(QStringLiteral("-3600")));

    EXPECT_FALSE(HealthFinding(80));
    EXPECT_EQ(LevelOf(HealthFinding(79)), ReportLevel::Service);
    EXPECT_EQ(HealthFinding(79)->limit, Decimal::fromInt(80));
    EXPECT_TRUE(FindingText(*HealthFinding(79), m_texts).contains(QStringLiteral("79")));

    EXPECT_FALSE(VersionFinding(0x534, 0x534));
    const auto version = VersionFinding(0x533, 0x534);
    ASSERT_TRUE(version);
    EXPECT_EQ(version->level, ReportLevel::Watch);
    EXPECT_EQ(version->limit, Decimal::fromInt(0x534));
    EXPECT_TRUE(Reason(version).find("533") != std::string::npos && Reason(version).find("534") != std::string::npos);
}

TEST_F(ReportRulesTest, CommonVersionIsThatOfMostAnsweringPacks)
{
    const auto packs = [](std::initializer_list<std::pair<std::uint16_t, bool>> versions) {
        std::vector<RPackReport> out;
        for (const auto& [version, answered] : versions) {
            RPackReport pack;
            pack.answered = answered;
            pack.deviceInfoRead = answered;
            pack.softwareVersion = version;
            out.push_back(pack);
        }
        return out;
    };
    EXPECT_EQ(CommonSoftwareVersion(packs({{0x533, true}, {0x534, true}, {0x534, true}})), 0x534);
    EXPECT_EQ(CommonSoftwareVersion(packs({{0x533, true}, {0x534, true}})), 0x533);   // tie: the first met
    EXPECT_EQ(CommonSoftwareVersion(packs({{0x533, true}, {0x534, false}, {0x534, false}})), std::nullopt);
}

TEST_F(ReportRulesTest, ProtectionsAndFaultsLoggedRecentlyNeedService)
{
    const QDateTime now(QDate(2026, 6, 30), QTime(12, 0));
    const std::vector<RHistoryRecord> log = [&] {
        std::vector<RHistoryRecord> records;
        const auto add = [&records](std::uint8_t code, const QDateTime& when) {
            RHistoryRecord record;
            record.alarmCode = code;
            record.time = RDeviceTime::fromDateTime(when);
            records.push_back(record);
        };
        add(27, now.addDays(-40));   // cell overvoltage protection, too long ago
        add(27, now.addDays(-2));
        add(27, now.addDays(-10));
        add(7, now.addDays(-1));     // an alarm only
        add(0, now.addDays(-1));     // no alarm
        add(42, now.addDays(-45));   // a fault, long ago
        return records;
    }();
    const std::vector<RAlarmCount> counts = SummariseAlarmLog(log, now, ReportRules::kProtectionDays);
    ASSERT_EQ(counts.size(), 3u);
    EXPECT_EQ(counts[0].code, 7);
    EXPECT_EQ(counts[1].code, 27);
    EXPECT_EQ(counts[1].count, 3);
    EXPECT_EQ(counts[1].recentCount, 2);
    EXPECT_EQ(counts[1].first, At(now.addDays(-40)));
    EXPECT_EQ(counts[1].last, At(now.addDays(-2)));
    EXPECT_EQ(counts[1].recentLast, At(now.addDays(-2)));

    EXPECT_FALSE(ProtectionFinding(counts[0]));   // alarm, not a protection
    const auto protection = ProtectionFinding(counts[1]);
    ASSERT_TRUE(protection);
    EXPECT_EQ(protection->level, ReportLevel::Service);
    EXPECT_EQ(protection->item, 27);
    EXPECT_EQ(protection->value, Decimal::fromInt(2));
    EXPECT_EQ(protection->when, At(now.addDays(-2)));
    EXPECT_TRUE(FindingText(*protection, m_texts).startsWith(m_texts.GetAlarmText(27))) << Reason(protection);
    EXPECT_FALSE(ProtectionFinding(counts[2]));   // the fault is older than 30 days
}

TEST_F(ReportRulesTest, WorkLogSummary)
{
    std::vector<RHistoryRecord> records(3);
    for (std::size_t index = 0; index < records.size(); ++index) {
        records[index].cellVoltages.fill(3300);
        records[index].time = At(QDateTime(QDate(2026, 1, 1), QTime(int(index), 0)));
        records[index].cellTemperatures = {Decimal::fromInt(20), Decimal::fromInt(21), Decimal::fromInt(22),
                                           Decimal::fromInt(23)};
    }
    records[0].cellVoltages[4] = 3250;    // cell 5 lowest twice
    records[1].cellVoltages[4] = 3200;    // the largest spread, 100 mV
    records[2].cellVoltages[9] = 3280;    // cell 10 once
    records[2].cellVoltages[0] = 0;       // unmeasured: not the lowest
    records[2].cellTemperatures[3] = Decimal::fromInt(-3);
    const RWorkLogSummary summary = SummariseWorkLog(records);
    EXPECT_EQ(summary.lowestCell, 5);
    EXPECT_EQ(summary.lowestCellTimes, 2);
    EXPECT_EQ(summary.largestSpreadMv, 100);
    EXPECT_EQ(summary.largestSpreadTime, records[1].time);
    EXPECT_EQ(summary.minTemperature, Decimal::fromInt(-3));
    EXPECT_EQ(summary.maxTemperature, Decimal::fromInt(23));
    EXPECT_EQ(summary.points.size(), 3u);
    EXPECT_EQ(SummariseWorkLog({}).lowestCell, 0);
}

TEST_F(ReportRulesTest, OverallLevelIsTheWorstFinding)
{
    EXPECT_EQ(OverallLevel({}), ReportLevel::Ok);
    const std::vector<RFinding> findings = {*ClockFinding(400), *HealthFinding(50), *ClockFinding(-400)};
    EXPECT_EQ(OverallLevel(findings), ReportLevel::Service);
}

} // namespace
