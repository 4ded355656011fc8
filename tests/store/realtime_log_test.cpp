// The real-time log model and the CSV writer: rows kept as records, the
// files they become byte for byte, and automatic saving with its fallback.

#include "store/devinfo.h"
#include "store/realtime_log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

RAnalogData Reading(std::uint8_t pack, std::uint16_t cellMillivolts)
{
    RAnalogData analog;
    analog.packNumber = pack;
    analog.time = QDateTime(QDate(2024, 1, 2), QTime(15, 30, 0));
    analog.cellVoltages.fill(cellMillivolts);
    return analog;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class RealtimeLog : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.isValid()); }
    QString path(const char* name) const { return m_folder.filePath(QLatin1String(name)); }

    QTemporaryDir m_folder;
    TDevInfo m_store;
    RealtimeLogModel m_log{m_store};
};

TEST(CsvLine, QuotesOnlyCellsThatWouldBreakTheLine)
{
    const struct {
        QString cell;
        QString written;
    } cases[] = {
        {QStringLiteral("BAR-01 x"), QStringLiteral("BAR-01 x")},
        {QStringLiteral("a,b"), QStringLiteral("\"a,b\"")},
        {QStringLiteral("say \"hi\""), QStringLiteral("\"say \"\"hi\"\"\"")},
        {QStringLiteral("two\r\nlines"), QStringLiteral("\"two\r\nlines\"")},
        {QString(), QString()},
    };
    for (const auto& entry : cases)
        EXPECT_EQ(CsvLine({QStringLiteral("1"), entry.cell}), QStringLiteral("1,") + entry.written + QStringLiteral("\r\n"))
            << entry.cell.toStdString();
}

TEST_F(RealtimeLog, WritesCrLfLinesWithoutByteOrderMark)
{
    const QStringList lines[] = {{QStringLiteral("序号"), QStringLiteral("b")}, {QStringLiteral("1"), QStringLiteral("x,y")}};
    ASSERT_TRUE(WriteCsvFile(path("t.csv"), 2, [&](int line) { return lines[line]; }));
    EXPECT_EQ(ReadAll(path("t.csv")), QByteArray("\xE5\xBA\x8F\xE5\x8F\xB7,b\r\n1,\"x,y\"\r\n"));
}

TEST_F(RealtimeLog, FailedWriteLeavesNoFile)
{
    // A folder that cannot exist: its parent is a file.
    QFile blocker(path("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QString error;
    EXPECT_FALSE(WriteCsvFile(path("file/x.csv"), 1, [](int) { return QStringList{QStringLiteral("a")}; }, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(path("file/x.csv")));
}

TEST_F(RealtimeLog, KeepsReadingsThatHoldDataWithAWaitingEmptyRow)
{
    EXPECT_EQ(m_log.rowCount(), 1);
    EXPECT_FALSE(m_log.addReading(Reading(2, 0), RAlarmData{}));   // nothing measured
    RAnalogData onlyCellOne = Reading(2, 0);
    onlyCellOne.cellVoltages[0] = 3300;
    EXPECT_TRUE(m_log.addReading(onlyCellOne, RAlarmData{}));
    RAlarmData alarm;
    alarm.status[0] = 0x48;
    EXPECT_TRUE(m_log.addReading(Reading(2, 3301), alarm));
    EXPECT_EQ(m_log.rowCount(), 3);
    EXPECT_EQ(m_log.index(1, 0).data().toString(), QStringLiteral("2"));
    EXPECT_EQ(m_log.index(1, 1).data().toString(), QStringLiteral("02"));
    EXPECT_EQ(m_log.index(1, 15).data().toString(), m_store.AlarmText(alarm));
    EXPECT_EQ(m_log.index(2, 0).data().toString(), QString());    // the waiting row
    EXPECT_EQ(m_log.lastPackNumber(), 2);
    m_log.clearReadings();
    EXPECT_EQ(m_log.rowCount(), 1);
}

TEST_F(RealtimeLog, AllCellsZeroShowZeroExtremes)
{
    RAnalogData analog = Reading(1, 0);
    analog.totalVoltage = Decimal::fromRaw(520000);
    ASSERT_TRUE(m_log.addReading(analog, RAlarmData{}));
    EXPECT_EQ(m_log.index(0, 11).data().toString(), QStringLiteral("0"));
    EXPECT_EQ(m_log.index(0, 12).data().toString(), QStringLiteral("0"));
}

TEST_F(RealtimeLog, AutoSaveFallsBackAndReportsWhatWasNotSaved)
{
    TTextOper().SetLanguage(TTextOper::SimplifiedChinese);
    m_log.applyLanguage(TTextOper());
    const QDateTime now(QDate(2024, 1, 2), QTime(15, 30, 0));
    const QString blocked = path("file/Data");
    QFile(path("file")).open(QIODevice::WriteOnly);

    // Nothing logged: nothing written, nothing to report.
    EXPECT_EQ(AutoSaveLog(m_log.rows(), {path("Data")}, now).outcome, AutoSaveResult::Outcome::NothingToSave);
    EXPECT_FALSE(QDir(path("Data")).exists());

    m_log.addReading(Reading(3, 3300), RAlarmData{});
    const AutoSaveResult fallback = AutoSaveLog(m_log.rows(), {blocked, path("User/Data")}, now);
    ASSERT_EQ(fallback.outcome, AutoSaveResult::Outcome::Saved);
    EXPECT_EQ(fallback.path, path("User/Data/3_20240102153000.csv"));
    const QByteArray body = ReadAll(fallback.path);
    EXPECT_TRUE(body.startsWith(QStringLiteral("序号,PackNo,").toUtf8()));
    EXPECT_TRUE(body.endsWith("\r\n" + QByteArray(38, ',') + "\r\n"));
    EXPECT_EQ(body.count("\r\n"), 3);
    // A second save within the same second keeps the first file.
    EXPECT_EQ(AutoSaveLog(m_log.rows(), {path("User/Data")}, now).path, path("User/Data/3_20240102153000_2.csv"));

    const AutoSaveResult failed = AutoSaveLog(m_log.rows(), {blocked, path("file/User")}, now);
    EXPECT_EQ(failed.outcome, AutoSaveResult::Outcome::Failed);
    EXPECT_EQ(failed.folder, blocked);
    EXPECT_EQ(failed.rows, 1);
    EXPECT_FALSE(failed.error.isEmpty());
}

} // namespace
