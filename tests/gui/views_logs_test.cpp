// The real-time log frame, the parallel monitor and the location page driven
// with records under the offscreen platform; files in temporary folders,
// questions and the save dialog answered through their hooks.

#include "services/settings.h"
#include "services/textoper.h"
#include "store/devinfo.h"
#include "store/realtime_row.h"
#include "views/file_dialogs.h"
#include "views/framepackdatamonitor.h"
#include "views/framepacklocation.h"
#include "views/framerealtimedata.h"
#include "views/message_boxes.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

RAnalogData Reading(std::uint8_t pack, std::uint16_t cellMillivolts)
{
    RAnalogData analog;
    analog.packNumber = pack;
    analog.totalVoltage = Decimal::fromRaw(cellMillivolts * 160);
    analog.time = QDateTime(QDate(2024, 1, 2), QTime(15, 30, 0));
    analog.cellVoltages.fill(cellMillivolts);
    return analog;
}

QStringList CsvFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("*.csv")}, QDir::Files);
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A log frame on a data folder of its own, with the options it reads, and
// the boxes and dialogs it would show answered here.
class LogFrame : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        QStandardPaths::setTestModeEnabled(true);
        AppGlobals& globals = Globals();
        m_savedDataPath = globals.DataPath;
        m_savedAppPath = globals.AppPath;
        globals.DataPath = m_folder.filePath(QStringLiteral("Data"));
        globals.AppPath = m_folder.path() + QLatin1Char('/');
        globals.DisplayRecord = true;
        globals.AutoSave = true;
        globals.AutoScroll = true;
        m_previousBoxes = MessageBoxes::SetHandler([this](QWidget*, const MessageBoxes::Request& request) {
            m_boxes << request.text;
            m_icons << request.icon;
            return m_answers.isEmpty() ? MessageBoxes::Answer::Ok : m_answers.takeFirst();
        });
        m_previousDialog = FileDialogs::SetSaveHandler([this](QWidget*, const FileDialogs::SaveRequest& request) {
            m_dialogFolder = request.folder;
            return m_chosenFile;
        });
        m_frame = std::make_unique<TFrameRealTimeData>(m_store);
        m_frame->InitGrid();
    }

    void TearDown() override
    {
        m_frame.reset();
        MessageBoxes::SetHandler(m_previousBoxes);
        FileDialogs::SetSaveHandler(m_previousDialog);
        AppGlobals& globals = Globals();
        globals.DataPath = m_savedDataPath;
        globals.AppPath = m_savedAppPath;
        globals.DisplayRecord = false;
        globals.AutoSave = false;
        globals.AutoScroll = false;
    }

    void Fill(int readings)
    {
        for (int reading = 0; reading < readings; ++reading)
            m_frame->AddRecord(Reading(5, 3300), RAlarmData{});
    }

    QString dataFolder() const { return Globals().DataPath; }

    QTemporaryDir m_folder;
    QString m_savedDataPath;
    QString m_savedAppPath;
    TDevInfo m_store;
    std::unique_ptr<TFrameRealTimeData> m_frame;
    QStringList m_boxes;
    QList<MessageBoxes::Icon> m_icons;
    QList<MessageBoxes::Answer> m_answers;
    QString m_chosenFile;
    QString m_dialogFolder;
    MessageBoxes::Handler m_previousBoxes;
    FileDialogs::SaveHandler m_previousDialog;
};

TEST_F(LogFrame, GridHasTheNamedControlsWidthsAndHeaders)
{
    QTableView* grid = m_frame->findChild<QTableView*>(QStringLiteral("StringGrid1"));
    ASSERT_NE(grid, nullptr);
    for (const char* name : {"N1", "N2", "ClearData"})
        EXPECT_NE(m_frame->findChild<QAction*>(QLatin1String(name)), nullptr) << name;
    EXPECT_EQ(grid->model()->columnCount(), 39);
    EXPECT_EQ(grid->model()->rowCount(), 1);
    // The specified widths, wider only where a header or the time would be
    // clipped.
    EXPECT_EQ(grid->columnWidth(0), 50);
    EXPECT_GE(grid->columnWidth(2), grid->fontMetrics().horizontalAdvance(QStringLiteral("2024-01-02 15:30:00")));
    EXPECT_EQ(grid->model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("总电压(V)"));
    EXPECT_EQ(grid->model()->headerData(37, Qt::Horizontal).toString(), QStringLiteral("V16(mV)"));
}

TEST_F(LogFrame, DisplayRecordOffAddsNothingAndTheViewFollowsTheNewestRow)
{
    Globals().DisplayRecord = false;
    Fill(3);
    EXPECT_EQ(m_frame->model()->readingCount(), 0);
    Globals().DisplayRecord = true;
    Fill(3);
    EXPECT_EQ(m_frame->model()->readingCount(), 3);
    EXPECT_EQ(m_frame->grid()->currentIndex().row(), 3);
}

TEST_F(LogFrame, TheTenThousandthReadingSavesAFullLogOrDropsItAndRestartsAtRowOne)
{
    for (const bool autoSave : {true, false}) {
        Globals().AutoSave = autoSave;
        m_frame->ClearRecords();
        QDir(dataFolder()).removeRecursively();
        Fill(RealtimeLogModel::kMaxRows);
        EXPECT_TRUE(CsvFiles(dataFolder()).isEmpty());
        m_frame->AddRecord(Reading(5, 3301), RAlarmData{});
        EXPECT_EQ(m_frame->model()->readingCount(), 1);
        // The full log is written in the background; saving the new one
        // waits for it.
        m_frame->AutoSaveRecords();
        EXPECT_EQ(m_frame->model()->index(0, 0).data().toString(), QStringLiteral("1"));
        EXPECT_EQ(m_frame->model()->index(0, 22).data().toString(), QStringLiteral("3301"));
        QStringList files = CsvFiles(dataFolder());
        if (!autoSave) {
            EXPECT_EQ(files.size(), 1);   // the new log of one reading only
            EXPECT_EQ(ReadAll(QDir(dataFolder()).filePath(files.front())).count("\r\n"), 3);
            continue;
        }
        // Both files may carry the same second: the full log is the larger.
        ASSERT_GE(files.size(), 1);
        std::sort(files.begin(), files.end(), [this](const QString& a, const QString& b) {
            return QFileInfo(QDir(dataFolder()).filePath(a)).size() > QFileInfo(QDir(dataFolder()).filePath(b)).size();
        });
        EXPECT_TRUE(files.front().startsWith(QStringLiteral("5_")));
        const QByteArray body = ReadAll(QDir(dataFolder()).filePath(files.front()));
        EXPECT_EQ(body.count("\r\n"), 1 + RealtimeLogModel::kMaxRows + 1);
        const QByteArray tail = "\r\n" + QByteArray(kRealtimeLogColumns - 1, ',') + "\r\n";
        ASSERT_TRUE(body.endsWith(tail));
        const QByteArray beforeTail = body.left(body.size() - tail.size());
        EXPECT_TRUE(beforeTail.mid(beforeTail.lastIndexOf("\r\n") + 2).startsWith("9999,05,"));
        EXPECT_FALSE(body.startsWith("\xEF\xBB\xBF"));
    }
}

TEST_F(LogFrame, ClearingAnEmptyLogWritesNoFile)
{
    m_frame->ClearDataClick();
    EXPECT_FALSE(QDir(dataFolder()).exists() && !CsvFiles(dataFolder()).isEmpty());
    Fill(2);
    m_frame->ClearDataClick();
    EXPECT_EQ(CsvFiles(dataFolder()).size(), 1);
    EXPECT_EQ(m_frame->model()->readingCount(), 0);
}

TEST_F(LogFrame, AnUnwritableDataFolderFallsBackOrIsReportedWithTheRowsNotSaved)
{
    QFile(m_folder.filePath(QStringLiteral("blocker"))).open(QIODevice::WriteOnly);
    Globals().DataPath = m_folder.filePath(QStringLiteral("blocker/Data"));
    QSignalSpy reports(m_frame.get(), &TFrameRealTimeData::saveReported);
    Fill(4);
    m_frame->ClearDataClick();
    // The user's data folder took the log, and the status bar says where.
    ASSERT_EQ(reports.size(), 1);
    const QStringList folders = TFrameRealTimeData::AutoSaveFolders();
    ASSERT_EQ(folders.size(), 2);
    EXPECT_EQ(CsvFiles(folders[1]).size(), 1);
    EXPECT_TRUE(reports[0][0].toString().contains(QDir::toNativeSeparators(folders[1])));
    QDir(folders[1]).removeRecursively();

    // With the user's folder blocked too, the folder and the rows are named.
    qputenv("XDG_DATA_HOME", m_folder.filePath(QStringLiteral("blocker/home")).toUtf8());
    QStandardPaths::setTestModeEnabled(false);
    Fill(3);
    m_frame->ClearDataClick();
    QStandardPaths::setTestModeEnabled(true);
    qunsetenv("XDG_DATA_HOME");
    ASSERT_EQ(reports.size(), 2);
    const QString report = reports[1][0].toString();
    EXPECT_TRUE(report.contains(QDir::toNativeSeparators(Globals().DataPath))) << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("3"))) << report.toStdString();
}

TEST_F(LogFrame, ExportAsksChoosesAFileAndReportsIt)
{
    Fill(1);
    m_chosenFile = m_folder.filePath(QStringLiteral("export.csv"));
    m_answers = {MessageBoxes::Answer::Cancel};
    m_frame->N1Click();
    EXPECT_FALSE(QFile::exists(m_chosenFile));
    EXPECT_EQ(m_boxes.size(), 1);

    m_frame->N1Click();
    EXPECT_EQ(m_dialogFolder, QDir(m_folder.path()).filePath(QStringLiteral("Excel")));
    EXPECT_EQ(ReadAll(m_chosenFile).count("\r\n"), 3);
    EXPECT_TRUE(m_boxes.last().startsWith(m_chosenFile + QStringLiteral("*****")));

    // A cancelled dialog writes nothing; a file that cannot be written is
    // reported with the reason.
    m_chosenFile.clear();
    const qsizetype before = m_boxes.size();
    m_frame->N1Click();
    EXPECT_EQ(m_boxes.size(), before + 1);
    m_chosenFile = m_folder.filePath(QStringLiteral("no-folder/x.csv"));
    m_frame->N1Click();
    EXPECT_TRUE(m_boxes.last().contains(QStringLiteral("x.csv")));
    EXPECT_FALSE(m_boxes.last().contains(QStringLiteral("*****")));
    EXPECT_EQ(m_icons.last(), MessageBoxes::Icon::Warning);
}

QString Cell(const QWidget& frame, int row, int column)
{
    const auto* grid = frame.findChild<QTableView*>(QStringLiteral("StringGrid1"));
    return grid->model()->index(row, column).data().toString();
}

TEST(PackDataMonitor, ColumnsPerPackAndAColumnEmptiedByAReadingWithoutCells)
{
    Globals().PackCount = 4;
    TFramePackDataMonitor monitor;
    monitor.InitGrid();
    QAbstractItemModel* model = monitor.grid()->model();
    ASSERT_EQ(model->columnCount(), 7);
    EXPECT_EQ(model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("PackNo.01"));
    EXPECT_EQ(model->headerData(6, Qt::Horizontal).toString(), QStringLiteral("PackNo.04"));
    EXPECT_EQ(model->rowCount(), 32);
    EXPECT_EQ(Cell(monitor, 16, 1), QStringLiteral("V01"));

    RAnalogData first = Reading(1, 3300);
    first.cellVoltages[11] = 3187;
    monitor.ShowPackColumn(first);
    monitor.ShowPackColumn(Reading(2, 3250));
    monitor.ShowPackColumn(Reading(9, 3250));   // beyond the grid: nothing
    EXPECT_EQ(Cell(monitor, 8, 3), QStringLiteral("3187>12"));
    EXPECT_EQ(Cell(monitor, 9, 3), QStringLiteral("3300>01"));
    EXPECT_EQ(Cell(monitor, 0, 4), QStringLiteral("52.000"));

    monitor.ShowPackColumn(Reading(2, 0));
    for (int row = 0; row < 32; ++row)
        EXPECT_TRUE(Cell(monitor, row, 4).isEmpty()) << row;
    EXPECT_EQ(Cell(monitor, 8, 3), QStringLiteral("3187>12"));
    monitor.InitGrid();
    EXPECT_TRUE(Cell(monitor, 8, 3).isEmpty());
    Globals().PackCount = 1;
}

TEST(PackLocation, StatusBitsFormatsAndBlankRecords)
{
    TFramePackLocation page;
    auto checkBox = [&](int n) { return page.findChild<QCheckBox*>(QStringLiteral("CheckBox%1").arg(n)); };
    auto edit = [&](int n) { return page.findChild<QLineEdit*>(QStringLiteral("Edit%1").arg(n))->text(); };
    page.ClearLocation();
    for (const char* group : {"GroupBox1", "GroupBox2", "GroupBox3"})
        EXPECT_FALSE(page.findChild<QGroupBox*>(QLatin1String(group))->isEnabled()) << group;

    RLocationData location;
    location.packNumber = 1;
    location.status = 0x0041;
    location.speed = Decimal::fromRaw(123450);
    location.satelliteLongitude = 112.9;
    location.imei = QStringLiteral("860000000000001");
    page.ShowLocation(location);
    const bool expected[] = {true, false, false, false, false, false, true};
    for (int n = 1; n <= 7; ++n)
        EXPECT_EQ(checkBox(n)->isChecked(), expected[n - 1]) << n;
    EXPECT_EQ(edit(10), QStringLiteral("12.35"));
    EXPECT_EQ(edit(8), QStringLiteral("112.900000"));
    EXPECT_EQ(edit(12), location.imei);
    EXPECT_FALSE(page.findChild<QGroupBox*>(QStringLiteral("GroupBox2"))->isEnabled());

    // A blank record changes nothing, also after clearing.
    page.ShowLocation(RLocationData{});
    EXPECT_EQ(edit(10), QStringLiteral("12.35"));
    page.ClearLocation();
    page.ShowLocation(RLocationData{});
    EXPECT_TRUE(edit(10).isEmpty());
    EXPECT_TRUE(checkBox(1)->isChecked());

    location.status = 0x0080;
    page.ShowLocation(location);
    for (int n = 1; n <= 7; ++n)
        EXPECT_FALSE(checkBox(n)->isChecked()) << n;
}

} // namespace
