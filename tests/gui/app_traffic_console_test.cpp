// The traffic console over the window's polling of bms-sim: rows appear
// and follow, failed answers in red with their reason, the filters, the
// pause, and "save as" through the file-dialog hook.

#include "app_window_fixture.h"

#include "protocol/result_codes.h"
#include "services/textoper.h"
#include "views/file_dialogs.h"
#include "views/traffic_console.h"

#include <QComboBox>
#include <QTableView>

namespace {

QString Cell(const QAbstractItemModel* model, int row, int column)
{
    return model->index(row, column).data().toString();
}

} // namespace

TEST_F(MainWindowTest, TrafficConsoleFollowsThePollingFiltersPausesAndSaves)
{
    // Every second answer carries a wrong checksum.
    StartWindow({QStringLiteral("--fault"), QStringLiteral("badsum:2")}, QStringLiteral("PackCount=4\nPackRead=1\n"));
    ClickPortButton();
    ASSERT_TRUE(m_form->IsPolling());
    QTest::mouseClick(Find<QAbstractButton>("BtnTraffic"), Qt::LeftButton);
    TTrafficConsole* console = m_form->TrafficConsole();
    ASSERT_NE(console, nullptr);
    EXPECT_TRUE(console->isVisible());
    EXPECT_TRUE(console->isWindow());
    auto* table = console->findChild<QTableView*>(QStringLiteral("TrafficTable"));
    ASSERT_NE(table, nullptr);
    const QAbstractItemModel* model = table->model();

    // Rows come in as the polling goes on; the failed ones are red and name
    // the bad checksum, the others are not.
    const QString badSum = TTextOper().GetErrorText(ResultCode::kBadChecksum);
    const auto hasFailedAndSound = [&] {
        bool failed = false, sound = false;
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex result = model->index(row, TTrafficModel::ColResult);
            const bool red = result.data(Qt::ForegroundRole).value<QBrush>().color() == Qt::red;
            failed = failed || (red && result.data().toString().contains(badSum));
            sound = sound || (!red && Cell(model, row, TTrafficModel::ColResult).startsWith(QStringLiteral("0--")));
        }
        return failed && sound && model->rowCount() >= 6;
    };
    ASSERT_TRUE(WaitFor(hasFailedAndSound));
    EXPECT_EQ(Cell(model, 0, TTrafficModel::ColAddress), QStringLiteral("1"));
    EXPECT_TRUE(Cell(model, 0, TTrafficModel::ColRequest).startsWith(QStringLiteral("~")));

    // Filters: the command keeps only its rows; another address keeps none.
    auto* command = console->findChild<QComboBox*>(QStringLiteral("ComboTrafficCommand"));
    auto* address = console->findChild<QComboBox*>(QStringLiteral("ComboTrafficAddress"));
    const int all = model->rowCount();
    command->setCurrentIndex(command->findText(QStringLiteral("ReadAnalogData")));
    ASSERT_GT(model->rowCount(), 0);
    EXPECT_LT(model->rowCount(), all);
    for (int row = 0; row < model->rowCount(); ++row)
        EXPECT_EQ(Cell(model, row, TTrafficModel::ColCommand), QStringLiteral("ReadAnalogData"));
    address->setCurrentIndex(address->findData(2));
    EXPECT_EQ(model->rowCount(), 0);
    address->setCurrentIndex(address->findData(1));

    // Paused, the table holds still while the polling goes on.
    QTest::mouseClick(console->findChild<QAbstractButton*>(QStringLiteral("BtnTrafficPause")), Qt::LeftButton);
    const int paused = model->rowCount();
    QTest::qWait(3 * TTrafficConsole::kRefreshMs);
    EXPECT_EQ(model->rowCount(), paused);

    // "Save as" writes the rows the filter keeps, one line each.
    const QString path = m_programFolder.filePath(QStringLiteral("traffic.txt"));
    const auto previous = FileDialogs::SetSaveHandler([&](QWidget*, const FileDialogs::SaveRequest&) { return path; });
    QTest::mouseClick(console->findChild<QAbstractButton*>(QStringLiteral("BtnTrafficSave")), Qt::LeftButton);
    FileDialogs::SetSaveHandler(previous);
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(saved.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), paused);
    for (const QString& line : lines)
        EXPECT_TRUE(line.contains(QStringLiteral(" ADR 01 ReadAnalogData ["))) << line.toStdString();
    EXPECT_TRUE(m_boxes.isEmpty());
}

// Behind an adapter that hears itself the window polls as usual, and the
// console shows each skipped echo, marked as such, before the answer.
TEST_F(MainWindowTest, TrafficConsoleMarksTheAdaptersEchoBeforeEachAnswer)
{
    StartWindow({QStringLiteral("--fault"), QStringLiteral("echo")}, QStringLiteral("PackCount=4\nPackRead=1\n"));
    ClickPortButton();
    ASSERT_TRUE(m_form->IsPolling());
    QTest::mouseClick(Find<QAbstractButton>("BtnTraffic"), Qt::LeftButton);
    TTrafficConsole* console = m_form->TrafficConsole();
    ASSERT_NE(console, nullptr);
    const QAbstractItemModel* model = console->findChild<QTableView*>(QStringLiteral("TrafficTable"))->model();
    ASSERT_TRUE(WaitFor([&] { return model->rowCount() >= 5; }));
    for (int row = 0; row < model->rowCount(); ++row) {
        const QString request = Cell(model, row, TTrafficModel::ColRequest);
        EXPECT_TRUE(Cell(model, row, TTrafficModel::ColResult).startsWith(QStringLiteral("0--")));
        EXPECT_TRUE(Cell(model, row, TTrafficModel::ColAnswer).startsWith(QStringLiteral("[回显已跳过 %1] ~").arg(request)))
            << Cell(model, row, TTrafficModel::ColAnswer).toStdString();
    }
    EXPECT_TRUE(m_boxes.isEmpty());
}
