// The whole report against the in-process simulated packs: what it reads,
// what the PDF (through pdftotext) and the HTML file say, and where the
// limits behind the findings come from.
#include "lib/sim_live.h"
#include "report/report_writer.h"
#include "services/textoper.h"
#include "store/bus_worker.h"
#include "store/report_data.h"
#include "store/report_findings.h"
#include "store/sim_store.h"

#include "protocol/result_codes.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>

#include "support/earlier_file.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

constexpr std::uint8_t kCellOvervoltageProtection = 27;
constexpr std::uint8_t kCellHighTemperatureAlarm = 4;

// The alarm codes, stamped in the last days, as a pack stores them.
QList<QByteArray> AlarmLog(std::uint8_t pack, std::initializer_list<std::uint8_t> codes)
{
    SimRandom random(pack);
    SimLiveState state;
    state.initialise(random);
    QList<QByteArray> records;
    int hoursAgo = 1;
    for (const std::uint8_t code : codes)
        records.append(MakeHistoryRecord(pack, QDateTime::currentDateTime().addSecs(-3600 * hoursAgo++), state, code));
    return records;
}

QString PdfText(const QString& path)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        ADD_FAILURE() << "pdftotext failed on " << path.toStdString()
                      << " (Debian's poppler-utils, installed by scripts/setup.sh)";
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class ReportBusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_texts.SetLanguage(TTextOper::English);
        SimOptions options;
        options.packs = 8;   // 4-8: one failed read each (ReportOverFaults)
        options.recordsPerLog = 4;
        m_sim = std::make_unique<SimulatedStore>(options);
        ASSERT_TRUE(m_sim->opened);
        // Pack 1 logged alarms only, pack 2 a protection; pack 3 is silent.
        SharedSimBus()->setLog(1, true, AlarmLog(1, {kCellHighTemperatureAlarm, 0}));
        SharedSimBus()->setLog(2, true,
                               AlarmLog(2, {kCellOvervoltageProtection, kCellHighTemperatureAlarm,
                                            kCellOvervoltageProtection, kCellOvervoltageProtection}));
        SimulatedStore::AddFault(QStringLiteral("silent:3"));
    }
    void TearDown() override { m_texts.SetLanguage(TTextOper::English); }

    RReport Gather(const std::vector<std::uint8_t>& packs, bool withLogs = true)
    {
        RReportRequest request;
        request.packs = packs;
        request.withLogs = withLogs;
        return GatherReport(*m_sim->store, request, RBusControl{});
    }

    // Writes a new value of one parameter to the pack, as the parameter page would.
    void WriteParameter(std::uint8_t pack, std::uint8_t id, std::int64_t value)
    {
        TDevInfo& store = *m_sim->store;
        RParameter set = store.ParameterInfo().NewParameterSet(pack);
        ASSERT_EQ(store.ReadParameters(pack, pack, set), 0);
        TParameterInfo::SetParameterInt(id, value, set);
        ASSERT_TRUE(store.WriteParameters(pack, pack, set, false).ok());
    }

    QString Path(const char* name) const { return m_folder.filePath(QLatin1String(name)); }

    QTemporaryDir m_folder;
    TTextOper m_texts;
    std::unique_ptr<SimulatedStore> m_sim;
};

TEST_F(ReportBusTest, PdfNamesEachPackItsStatusAndTheAlarmCounts)
{
    const RReport report = Gather({1, 2, 3});
    ASSERT_EQ(report.packs.size(), 3u);
    EXPECT_EQ(report.packs[0].level, ReportLevel::Ok);
    EXPECT_EQ(report.packs[1].level, ReportLevel::Service);
    EXPECT_FALSE(report.packs[2].answered);

    QString error;
    ASSERT_TRUE(WriteReport(report, {Path("rack.pdf"), QString()}, m_texts, &error)) << error.toStdString();
    const QString text = PdfText(Path("rack.pdf"));
    EXPECT_TRUE(text.contains(QStringLiteral("SIM48V100AH0001")));
    EXPECT_TRUE(text.contains(QStringLiteral("SIM48V100AH0002")));
    EXPECT_FALSE(text.contains(QStringLiteral("SIM48V100AH0003")));
    // The pages of the answering packs, with their status; the silent one has a row only.
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Pack 1\\s+OK"))));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Pack 2\\s+Service"))));
    EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("Pack 3\\s+"))));
    EXPECT_TRUE(text.contains(QStringLiteral("no answer")));
    // The finding names the protection and its count; the alarm log counts per text.
    const QString protection = m_texts.GetAlarmText(kCellOvervoltageProtection);
    EXPECT_TRUE(text.contains(protection + QStringLiteral(": 3 in the last 30 days"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression(QRegularExpression::escape(protection) + QStringLiteral("\\s+3\\s"))));
    EXPECT_TRUE(text.contains(QRegularExpression(
        QRegularExpression::escape(m_texts.GetAlarmText(kCellHighTemperatureAlarm)) + QStringLiteral("\\s+1\\s"))));
}

TEST_F(ReportBusTest, ChineseReportUsesTheChineseTexts)
{
    m_texts.SetLanguage(TTextOper::SimplifiedChinese);
    const RReport report = Gather({2}, false);
    QString error;
    ASSERT_TRUE(WriteReport(report, {Path("zh.pdf"), QString()}, m_texts, &error)) << error.toStdString();
    const QString text = PdfText(Path("zh.pdf"));
    EXPECT_TRUE(text.contains(QStringLiteral("维护报告")));
    EXPECT_TRUE(text.contains(QStringLiteral("未读取记录")));   // --no-logs says so
}

TEST_F(ReportBusTest, TextsFromThePackAreEscapedInTheHtml)
{
    ASSERT_EQ(m_sim->store->WriteBarCode(1, 1, QStringLiteral("<script>x()</script>")), 0);
    const RReport report = Gather({1}, false);
    QString error;
    ASSERT_TRUE(WriteReport(report, {Path("a.pdf"), Path("a.html")}, m_texts, &error)) << error.toStdString();
    const QString html = ReadAll(Path("a.html"));
    EXPECT_TRUE(html.contains(QStringLiteral("&lt;script&gt;x()&lt;/script&gt;")));
    EXPECT_FALSE(html.contains(QStringLiteral("<script")));
    // Self-contained: the charts travel inside the file.
    EXPECT_TRUE(html.contains(QStringLiteral("src=\"data:image/png;base64,")));
    EXPECT_TRUE(PdfText(Path("a.pdf")).contains(QStringLiteral("<script>x()</script>")));
}

TEST_F(ReportBusTest, FindingsFollowThePacksOwnLimits)
{
    // Lower the balance starting difference below the pack's spread, twice.
    for (const int limit : {2, 3}) {
        WriteParameter(1, ReportRules::kBalanceStartDifference, limit);
        const RPackReport pack = Gather({1}, false).packs.front();
        const int spread = CellSpreadMv(pack.analog.cellVoltages);
        ASSERT_GT(spread, limit);
        ASSERT_EQ(pack.findings.size(), 1u);
        EXPECT_EQ(pack.level, ReportLevel::Watch);
        EXPECT_EQ(pack.findings[0].value, Decimal::fromInt(spread));
        EXPECT_EQ(pack.findings[0].limit, Decimal::fromInt(limit));
        const QString reason = FindingText(pack.findings[0], m_texts);
        EXPECT_TRUE(reason.contains(QStringLiteral("%1 mV").arg(spread)));
        EXPECT_TRUE(reason.contains(QStringLiteral("difference %1 mV").arg(limit))) << reason.toStdString();
    }
    // The difference alarm lowered below the spread makes it Service.
    WriteParameter(1, ReportRules::kDifferenceAlarm, 4);
    const RPackReport pack = Gather({1}, false).packs.front();
    EXPECT_EQ(pack.level, ReportLevel::Service);
    EXPECT_EQ(pack.findings[0].limit, Decimal::fromInt(4));
    EXPECT_TRUE(FindingText(pack.findings[0], m_texts).contains(QStringLiteral("alarm 4 mV")));
}

TEST_F(ReportBusTest, ParametersThatDifferFromTheReferenceAreListed)
{
    RReportRequest request;
    request.packs = {1};
    request.withLogs = false;
    RParameter reference = m_sim->store->ParameterInfo().NewParameterSet(1);
    ASSERT_EQ(m_sim->store->ReadParameters(1, 1, reference), 0);
    const std::int64_t own = TParameterInfo::GetParameterInt(ReportRules::kDifferenceAlarm, reference);
    TParameterInfo::SetParameterInt(ReportRules::kDifferenceAlarm, own + 50, reference);
    TParameterInfo::SetParameterInt(1, 9, reference);   // the address never counts
    request.reference = reference;
    request.referenceName = QStringLiteral("site.prt");
    const RReport report = GatherReport(*m_sim->store, request, RBusControl{});
    const RPackReport& pack = report.packs.front();
    ASSERT_TRUE(pack.compared);
    ASSERT_EQ(pack.differences.size(), 1u);
    EXPECT_EQ(pack.differences[0].id, ReportRules::kDifferenceAlarm);
    EXPECT_EQ(ParameterValueWithUnit(pack.differences[0].reference, m_texts), QStringLiteral("%1 mV").arg(own + 50));
    EXPECT_EQ(ParameterValueWithUnit(pack.differences[0].pack, m_texts), QStringLiteral("%1 mV").arg(own));
}

// A file compares only the ids it names; a reference pack is read first,
// and a silent one is named with its reason instead of comparing anything.
TEST_F(ReportBusTest, AFileComparesWhatItNamesAndAPackIsReadAsReference)
{
    WriteParameter(2, ReportRules::kDifferenceAlarm, 350);
    WriteParameter(2, 24, 45);
    RReportRequest byFile;
    byFile.packs = {2};
    byFile.withLogs = false;
    byFile.reference = m_sim->store->ParameterInfo().NewParameterSet(0);   // defaults, zeros mostly
    TParameterInfo::SetParameterInt(ReportRules::kDifferenceAlarm, 300, *byFile.reference);
    byFile.referenceIds = {ReportRules::kDifferenceAlarm};
    const RPackReport fromFile = GatherReport(*m_sim->store, byFile, RBusControl{}).packs.front();
    ASSERT_EQ(fromFile.differences.size(), 1u);
    EXPECT_EQ(fromFile.differences[0].id, ReportRules::kDifferenceAlarm);

    for (const auto& [referencePack, differences, result] :
         {std::tuple{std::uint8_t(1), 2u, ResultCode::kSuccess}, std::tuple{std::uint8_t(3), 0u, ResultCode::kNoAnswer}}) {
        RReportRequest byPack;
        byPack.packs = {2};
        byPack.withLogs = false;
        byPack.referencePack = referencePack;
        const RReport report = GatherReport(*m_sim->store, byPack, RBusControl{});
        EXPECT_EQ(report.packs.front().differences.size(), differences) << int(referencePack);
        EXPECT_EQ(report.packs.front().compared, result == ResultCode::kSuccess);
        EXPECT_EQ(report.referenceResult, result);
        EXPECT_EQ(ReportComplete(report), result == ResultCode::kSuccess);
    }
}

TEST_F(ReportBusTest, FailedLogTransferLeavesTheOtherSectionsAndSaysWhy)
{
    // The alarm-record command answers with a pack error: that log is missing.
    SimulatedStore::AddFault(QStringLiteral("rtn:4C:06"));
    const RPackReport pack = Gather({1}).packs.front();
    ASSERT_TRUE(pack.answered);
    EXPECT_FALSE(pack.alarmLog.state.complete);
    EXPECT_EQ(pack.alarmLog.state.lastError, 0x06);
    const QString missing = LogMissingText(pack.alarmLog.state, true, m_texts);
    EXPECT_TRUE(missing.startsWith(QStringLiteral("Alarm Log missing: "))) << missing.toStdString();
    EXPECT_TRUE(pack.workLog.state.complete);
    EXPECT_EQ(pack.barCode, QStringLiteral("SIM48V100AH0001"));
}

TEST_F(ReportBusTest, CancelStopsBeforeTheNextPack)
{
    RReportRequest request;
    request.packs = {1, 2};
    int asked = 0;
    RBusControl control;
    control.cancelled = [&asked] { return ++asked > 1; };
    const RReport report = GatherReport(*m_sim->store, request, control);
    EXPECT_TRUE(report.cancelled);
    ASSERT_EQ(report.packs.size(), 2u);
    EXPECT_EQ(report.packs[1].reach, RPackReach::NotTried);   // listed, never "no answer"
    EXPECT_EQ(StatusText(report.packs[1], m_texts), QStringLiteral("not tried"));
}

TEST_F(ReportBusTest, UnwritableFilesAreRefusedAndEarlierFilesStay)
{
    QString error;
    EXPECT_FALSE(CheckReportFile(m_folder.path(), &error));                        // a folder
    EXPECT_FALSE(CheckReportFile(Path("no-such-folder/r.pdf"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("was not created"))) << error.toStdString();
    EXPECT_FALSE(CheckReportFile(QStringLiteral("/proc/r.pdf"), &error));   // a folder no file goes into
    EXPECT_FALSE(CheckReportFiles({Path("r.pdf"), Path("r.pdf")}, &error));        // the same file twice
    EXPECT_TRUE(CheckReportFiles({Path("r.pdf"), Path("r.html")}, &error)) << error.toStdString();

    // A failing write (its HTML target is a folder) leaves no temporary file
    // behind and writes no PDF either.
    ASSERT_TRUE(PlantEarlierFile(Path("old.pdf")));
    ASSERT_TRUE(QDir(m_folder.path()).mkdir(QStringLiteral("taken.html")));
    const RReport report = Gather({1}, false);
    EXPECT_FALSE(WriteReport(report, {Path("new.pdf"), Path("taken.html")}, m_texts, &error));
    EXPECT_EQ(ReadAll(Path("old.pdf")), QStringLiteral("earlier report"));
    const QStringList left = QDir(m_folder.path()).entryList(QDir::Files | QDir::Hidden);
    // Neither file replaces anything unless both were written.
    EXPECT_EQ(left, QStringList({QStringLiteral("old.pdf")}));
}

// One pack per read that fails, a silent one and a sound one: the level says
// what was checked, and the files name what could not be read.
TEST_F(ReportBusTest, ReportOverFaultsNamesWhatItCouldNotRead)
{
    for (const char* fault : {"rtn:44:E1:4", "rtn:4D:E1:5", "rtn:47:E1:6", "rtn:4C:E1:7", "cut:8:42"})
        SimulatedStore::AddFault(QString::fromLatin1(fault));
    for (std::uint8_t pack = 4; pack <= 8; ++pack)   // no protection logged: no Service finding
        SharedSimBus()->setLog(pack, true, AlarmLog(pack, {kCellHighTemperatureAlarm}));
    const RReport report = Gather({1, 3, 4, 5, 6, 7, 8});
    const struct {
        std::uint8_t pack;
        const char* status;
        std::vector<std::uint8_t> unread;   // the commands, in the order asked
    } expected[] = {
        {1, "OK", {}},
        {3, "no answer", {}},
        {4, "Incomplete", {0x44}},
        {5, "Incomplete", {0x4D}},
        {6, "Incomplete", {0x47}},
        {7, "Incomplete", {0x4C}},
        {8, "Incomplete", {0x42}},   // its analog answer came cut short
    };
    ASSERT_EQ(report.packs.size(), std::size(expected));
    for (std::size_t k = 0; k < report.packs.size(); ++k) {
        const RPackReport& pack = report.packs[k];
        ASSERT_EQ(pack.packNumber, expected[k].pack);
        EXPECT_EQ(StatusText(pack, m_texts), QString::fromLatin1(expected[k].status)) << int(pack.packNumber);
        std::vector<std::uint8_t> commands;
        for (const RUnreadItem& item : pack.unread)
            commands.push_back(item.command);
        EXPECT_EQ(commands, expected[k].unread) << int(pack.packNumber);
    }
    EXPECT_EQ(UncheckedPacks(report), (std::vector<std::uint8_t>{3, 4, 5, 6, 7, 8}));
    EXPECT_FALSE(ReportComplete(report));

    QString error;
    ASSERT_TRUE(WriteReport(report, {Path("faults.pdf"), Path("faults.html")}, m_texts, &error)) << error.toStdString();
    const QString pdf = PdfText(Path("faults.pdf")).simplified();
    const QString html = ReadAll(Path("faults.html"));
    const QString refused = m_texts.GetErrorText(0xE1);
    for (const QString& said : {QStringLiteral("Not read: alarm data (0x44): ") + refused,
                                QStringLiteral("Not read: clock (0x4D): ") + refused,
                                QStringLiteral("Not read: parameters (0x47): ") + refused,
                                QStringLiteral("Not read: alarm log (0x4C): ") + refused,
                                QStringLiteral("Not read: analog data (0x42)")}) {
        EXPECT_TRUE(pdf.contains(said)) << said.toStdString() << "\n" << pdf.toStdString();
        EXPECT_TRUE(html.contains(said.toHtmlEscaped())) << said.toStdString();
    }
}

// A live answer that ends after the temperatures (older firmware) is
// incomplete, not a pack with SOH 0 to be serviced.
TEST_F(ReportBusTest, AShortLiveAnswerIsIncompleteAndItsMissingFieldsAreNotJudged)
{
    SimulatedStore::AddFault(QStringLiteral("short:analog:temperatures"));
    SharedSimBus()->setLog(1, true, AlarmLog(1, {kCellHighTemperatureAlarm}));   // no protection logged
    const RPackReport pack = Gather({1}).packs.front();
    EXPECT_EQ(pack.unread, (std::vector<RUnreadItem>{{0x42, 0}}));
    EXPECT_EQ(StatusText(pack, m_texts), QStringLiteral("Incomplete"));
    EXPECT_TRUE(UnreadText(pack.unread.front(), m_texts).endsWith(QStringLiteral("the answer ends early")));
}

// Most severe first: the rack summary row shows the first finding.
TEST_F(ReportBusTest, ServiceFindingComesFirst)
{
    WriteParameter(2, ReportRules::kBalanceStartDifference, 1);   // a Watch finding before the Service one
    const RPackReport pack = Gather({2}).packs.front();
    ASSERT_GE(pack.findings.size(), 2u);
    EXPECT_EQ(pack.findings.front().level, ReportLevel::Service);
    EXPECT_EQ(pack.findings.back().level, ReportLevel::Watch);
}

} // namespace
