// The two record pages inside the real window, against the in-process
// simulated packs with logs of known records. Ticks are driven by the test
// (Timer1 is stopped after "read"), each waiting for its exchange, so the
// cases do not depend on timing.

#include "app_window_fixture.h"

#include "app/app_objects.h"
#include "lib/sim_link.h"
#include "protocol/result_codes.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/bus_texts.h"
#include "store/csv_writer.h"
#include "store/devinfo.h"
#include "store/history_log.h"
#include "store/realtime_row.h"
#include "views/file_dialogs.h"
#include "views/framepackhistory.h"
#include "views/port_check.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>

namespace {

constexpr std::uint8_t kWorkCid2 = 0x4B;
constexpr std::uint8_t kAlarmCid2 = 0x4C;

// A record as the pack stores it (INFO from the pack number on):
// discharging at 2.00 A, cell 1 unmeasured, lowest 3312 mV in cell 3,
// highest 3401 mV in cell 7.
QByteArray KnownRecord(std::uint8_t second, std::uint8_t alarmCode)
{
    QByteArray info;
    auto byte = [&](int value) { info.append(char(value)); };
    auto word = [&](int value) { byte(value >> 8); byte(value & 0xFF); };
    byte(1);                                           // pack
    for (int part : {24, 3, 5, 6, 7, int(second)})     // 2024-03-05 06:07:ss
        byte(part);
    byte(2);                                           // mode: discharging
    word(200);                                         // +2.00 A, negated in mode 2
    word(5300);                                        // 53.00 V
    byte(87);                                          // SOC
    word(10000);                                       // 100.00 Ah
    byte(alarmCode);
    byte(6);                                           // M: four cells, ambient, FET
    for (int raw : {65, 66, 67, 68, 60, 70})           // 25..28, ambient 20, FET 30 °C
        byte(raw);
    byte(45);                                          // humidity
    byte(16);
    for (int cell = 1; cell <= 16; ++cell)
        word(cell == 1 ? 0 : cell == 3 ? 3312 : cell == 7 ? 3401 : 3330);
    return info;
}

// The cells of KnownRecord(8, 5) read into row 1, alarm columns included.
QStringList KnownAlarmRow(const QString& deviceCode)
{
    QStringList cells = {QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("2024-03-05 06:07:08"),
                         QStringLiteral("DisCharge"), QStringLiteral("53.000"), QStringLiteral("-2.000"),
                         QStringLiteral("87"), QStringLiteral("100.000"), QStringLiteral("5"),
                         QStringLiteral("SOC低报警"), QStringLiteral("03->3312"), QStringLiteral("07->3401"),
                         QStringLiteral("20.0"), QStringLiteral("30.0"), QStringLiteral("45"),
                         QStringLiteral("25.0"), QStringLiteral("26.0"), QStringLiteral("27.0"),
                         QStringLiteral("28.0")};
    for (int cell = 1; cell <= 16; ++cell)
        cells << QString::number(cell == 1 ? 0 : cell == 3 ? 3312 : cell == 7 ? 3401 : 3330);
    cells << deviceCode;
    return cells;
}

QStringList GridRow(const TFramePackHistory* page, int row)
{
    QStringList cells;
    const HistoryLogModel* model = page->model();
    for (int column = 0; column < model->columnCount(); ++column)
        cells << model->index(row, column).data().toString();
    return cells;
}

class HistoryPageTest : public MainWindowTest {
protected:
    void StartOnSimulator(int recordsPerLog = 0)
    {
        SimOptions options;
        options.packs = 1;
        options.recordsPerLog = recordsPerLog;
        RegisterSimulatorLink(options);
        StartWindowOnInProcessPacks("TextKind=0\nPackCount=1\nPort=1\n");
        if (HasFatalFailure())
            return;
        ClickPortButton();
        ASSERT_TRUE(m_form->IsPolling());
    }

    static SimBus& Bus() { return *SharedSimBus(); }

    TFramePackHistory* Page(bool alarmLog) const
    {
        return m_form->findChild<TFramePackHistory*>(alarmLog ? QStringLiteral("FramePackAlarmDataInfo1")
                                                               : QStringLiteral("FramePackWorkDataInfo1"));
    }

    void ShowPage(int index) { Find<QTabWidget>("PageControl1")->setCurrentIndex(index); }

    // Opens the page, presses "read" and takes the ticks over from Timer1.
    TFramePackHistory* StartReading(bool alarmLog)
    {
        TFramePackHistory* page = Page(alarmLog);
        ShowPage(alarmLog ? TFramePackAlarmDataInfo::kPageIndex : TFramePackWorkDataInfo::kPageIndex);
        QTest::mouseClick(page->readButton(), Qt::LeftButton);
        page->timer()->stop();
        EXPECT_TRUE(page->Reading());
        EXPECT_TRUE(WaitFor([page] { return !page->ExchangeRunning(); }));
        return page;
    }

    static void Tick(TFramePackHistory* page)
    {
        page->Timer1Timer();
        EXPECT_TRUE(WaitFor([page] { return !page->ExchangeRunning(); }));
    }

    // Ticks until the transfer ends, at most limit ticks.
    static void TickToEnd(TFramePackHistory* page, int limit = 20)
    {
        for (int tick = 0; tick < limit && page->Reading(); ++tick)
            Tick(page);
        EXPECT_FALSE(page->Reading());
    }

    int BoxesSaying(const QString& text) const
    {
        int count = 0;
        for (const MessageBoxes::Request& box : m_boxes)
            count += box.text == text;
        return count;
    }

    static QString Text(std::uint16_t id) { return TTextOper().GetLanguageText(id); }
};

} // namespace

TEST_F(HistoryPageTest, WholeLogArrivesInOrderWithEveryColumnOnBothPages)
{
    StartOnSimulator();
    const QString barCode = QStringLiteral("SIM48V100AH0001");
    const QList<QByteArray> log = {KnownRecord(8, 5), KnownRecord(9, 6)};
    Bus().setLog(1, false, log);
    Bus().setLog(1, true, log);

    for (bool alarmLog : {true, false}) {
        SCOPED_TRACE(alarmLog ? "alarm records" : "work data");
        m_boxes.clear();
        TFramePackHistory* page = StartReading(alarmLog);
        EXPECT_EQ(page->DeviceCode(), barCode);
        TickToEnd(page);

        ASSERT_EQ(page->model()->rowCount(), 2) << "the end mark adds no row";
        QStringList expected = KnownAlarmRow(barCode);
        if (!alarmLog)
            expected.remove(8, 2);   // no alarm code and text
        EXPECT_EQ(page->model()->columnCount(), alarmLog ? 36 : 34);
        EXPECT_EQ(GridRow(page, 0), expected);
        EXPECT_EQ(GridRow(page, 1).mid(0, 3),
                  (QStringList{QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("2024-03-05 06:07:09")}));
        EXPECT_EQ(BoxesSaying(Text(TextId::kReadingFinished)), 1);
        EXPECT_EQ(Bus().requestCount(alarmLog ? kAlarmCid2 : kWorkCid2, HistorySubCommand::kStop), 0);
        EXPECT_TRUE(page->readButton()->isEnabled());
    }
}

TEST_F(HistoryPageTest, EmptyLogAndSilentPackEndDifferently)
{
    StartOnSimulator();
    TFramePackHistory* page = StartReading(false);
    TickToEnd(page);
    EXPECT_EQ(page->model()->rowCount(), 1);
    EXPECT_EQ(GridRow(page, 0).join(QString()), QString()) << "one empty row";
    EXPECT_EQ(BoxesSaying(Text(TextId::kReadingFinished)), 1);

    // A pack that never answers: three ticks without an answer, then the
    // fourth ends the transfer, saying what happened.
    Bus().setLog(1, false, {KnownRecord(8, 0)});
    m_boxes.clear();
    page = StartReading(false);
    Bus().addFault(QStringLiteral("silent:1"));
    const qint64 before = Bus().requestCount(kWorkCid2);
    for (int tick = 1; tick <= 3; ++tick) {
        Tick(page);
        EXPECT_TRUE(page->Reading());
        EXPECT_EQ(page->NoAnswerCount(), tick);
        EXPECT_EQ(page->ReadMode(), HistorySubCommand::kRetry);
    }
    Tick(page);
    EXPECT_FALSE(page->Reading());
    EXPECT_EQ(Bus().requestCount(kWorkCid2) - before, 3);
    EXPECT_EQ(BoxesSaying(Text(TextId::kReadingFinished)), 0) << "a silent pack is no complete log";
    EXPECT_EQ(BoxesSaying(Text(TextId::kPackStoppedAnswering).arg(0)), 1);
    Bus().clearFaults();
}

TEST_F(HistoryPageTest, MissesBetweenAnswersPauseDeleteAndStop)
{
    StartOnSimulator();
    QList<QByteArray> log;
    for (std::uint8_t second = 10; second < 20; ++second)
        log << KnownRecord(second, 1);
    Bus().setLog(1, true, log);
    TFramePackHistory* page = StartReading(true);

    // Two misses, one good answer, two misses: still running.
    Bus().addFault(QStringLiteral("silent:1"));
    Tick(page);
    Tick(page);
    Bus().clearFaults();
    Tick(page);
    EXPECT_EQ(page->NoAnswerCount(), 0);
    EXPECT_EQ(page->ReadMode(), HistorySubCommand::kNext);
    Bus().addFault(QStringLiteral("silent:1"));
    Tick(page);
    Tick(page);
    Bus().clearFaults();
    EXPECT_TRUE(page->Reading());
    EXPECT_EQ(page->NoAnswerCount(), 2);
    // The pack did not hear the two requests: the retry brings the same
    // record again, and it is kept once.
    Tick(page);
    EXPECT_EQ(page->model()->recordCount(), 1);

    // Another page: its ticks send nothing; back again, the transfer goes on.
    const qint64 before = Bus().requestCount(kAlarmCid2);
    ShowPage(0);
    Tick(page);
    Tick(page);
    EXPECT_EQ(Bus().requestCount(kAlarmCid2), before);
    ShowPage(TFramePackAlarmDataInfo::kPageIndex);
    Tick(page);
    EXPECT_EQ(Bus().requestCount(kAlarmCid2), before + 1);
    EXPECT_EQ(page->model()->recordCount(), 2);
    EXPECT_EQ(GridRow(page, 1).at(2), QStringLiteral("2024-03-05 06:07:11"));

    // Delete: the log starts again in row 1, with the next record numbered 1.
    QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("BtnDelete")), Qt::LeftButton);
    EXPECT_EQ(page->model()->rowCount(), 1);
    Tick(page);
    EXPECT_EQ(GridRow(page, 0).mid(0, 3),
              (QStringList{QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("2024-03-05 06:07:12")}));

    // Stop: one request with sub-command 3, and no more ticks.
    QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("BtnStop")), Qt::LeftButton);
    EXPECT_TRUE(WaitFor([] { return Bus().requestCount(kAlarmCid2, HistorySubCommand::kStop) == 1; }));
    EXPECT_FALSE(page->Reading());
    EXPECT_EQ(page->ReadMode(), HistorySubCommand::kStop);
    const qint64 afterStop = Bus().requestCount(kAlarmCid2);
    Tick(page);
    QTest::qWait(100);
    EXPECT_EQ(Bus().requestCount(kAlarmCid2), afterStop);
    EXPECT_EQ(Bus().requestCount(kAlarmCid2, HistorySubCommand::kStop), 1);
}

TEST_F(HistoryPageTest, ClosingDuringATransferStopsItOnce)
{
    StartOnSimulator(50);
    TFramePackHistory* page = StartReading(false);
    page->timer()->start();   // the window's own ticks this time
    ASSERT_TRUE(WaitFor([page] { return page->model()->recordCount() >= 2; }));
    m_form->close();
    EXPECT_FALSE(m_form->isVisible());
    EXPECT_EQ(Bus().requestCount(kWorkCid2, HistorySubCommand::kStop), 1);
    EXPECT_FALSE(page->timer()->isActive());
    EXPECT_FALSE(page->ExchangeRunning() && page->Reading());
}

TEST_F(HistoryPageTest, AnUnplugSaysThePortWentAwayWithTheRowsInTheGrid)
{
    StartWindow({QStringLiteral("--records"), QStringLiteral("3000")}, QStringLiteral("TextKind=1\nPackCount=1\nPort=1\n"));
    ClickPortButton();
    ASSERT_TRUE(m_form->IsPolling());
    TFramePackHistory* page = StartReading(false);
    for (int tick = 0; tick < 4; ++tick)
        Tick(page);
    const int rows = page->model()->recordCount();
    ASSERT_GE(rows, 3);
    m_boxes.clear();
    m_sim->stop();
    TickToEnd(page);
    EXPECT_EQ(page->model()->recordCount(), rows);
    ASSERT_EQ(m_boxes.size(), 1);
    EXPECT_EQ(m_boxes.front().text,
              Text(BusText::kRecordsPortLost).arg(PortName(*GlobalDevInfo(), 1)).arg(1).arg(rows));
    EXPECT_TRUE(m_boxes.front().text.contains(m_sim->linkPath())) << m_boxes.front().text.toStdString();
}

TEST_F(HistoryPageTest, ExportWritesTheGridThroughTheSharedWriter)
{
    StartOnSimulator();
    // A bar code with a comma and a quote must stay one cell.
    const QString barCode = QStringLiteral("B,\"7\"");
    ASSERT_EQ(GlobalDevInfo()->WriteBarCode(1, 1, barCode), ResultCode::kSuccess);
    Bus().setLog(1, true, {KnownRecord(8, 5), KnownRecord(9, 6)});
    TFramePackHistory* page = StartReading(true);
    TickToEnd(page);

    const QString path = m_programFolder.filePath(QStringLiteral("alarms.csv"));
    const FileDialogs::SaveHandler previous =
        FileDialogs::SetSaveHandler([&](QWidget*, const FileDialogs::SaveRequest&) { return path; });
    QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("BtnExp")), Qt::LeftButton);
    FileDialogs::SetSaveHandler(previous);

    // Header, then the rows as the grid shows them, row 1 transcribed.
    const QStringList first = KnownAlarmRow(barCode);
    EXPECT_EQ(GridRow(page, 0), first);
    const QString expected =
        CsvLine(HistoryLogHeaders(true, TTextOper())) + CsvLine(first) + CsvLine(GridRow(page, 1));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    EXPECT_EQ(written, expected.toLocal8Bit());
    EXPECT_TRUE(written.contains(",\"B,\"\"7\"\"\"\r\n"));
}
