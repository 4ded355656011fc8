// The whole rack from the real window, on the in-process simulated packs:
// the compare window finds and paints the parameters changed on one pack and
// writes the reference to the others with one question and a summary; "Sync
// all clocks" shows each pack's offset, its progress, and Cancel or a close
// leaves every pack set or untouched; "All packs" on a record page reads
// every log into one grid, names a silent pack, and Stop sends one request.

#include "app_window_fixture.h"

#include "app/app_objects.h"
#include "lib/sim_link.h"
#include "services/settings.h"
#include "store/bus_texts.h"
#include "store/devinfo.h"
#include "store/history_log.h"
#include "views/bus_summary_form.h"
#include "views/comboboxext.h"
#include "views/compare_form.h"
#include "views/framepackconfig.h"
#include "views/framepackhistory.h"
#include "views/framepackparameter.h"
#include "store/bus_worker.h"
#include "views/modal_run.h"
#include "views/report_form.h"
#include "views/scan_form.h"
#include "views/overview_layout.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

namespace {

constexpr std::uint8_t kAlarmCid2 = 0x4C;
constexpr std::uint8_t kReadClockCid2 = 0x4D;
constexpr std::uint8_t kWriteClockCid2 = 0x4E;
constexpr std::uint8_t kWriteParametersCid2 = 0x49;

// Requests to the address, of one command or (cid2 0) of any.
qint64 RequestsTo(std::uint8_t address, std::uint8_t cid2)
{
    qint64 count = 0;
    for (const SimRequest& request : SharedSimBus()->requests())
        count += request.address == address && (cid2 == 0 || request.cid2 == cid2);
    return count;
}

class BusWindowTest : public MainWindowTest {
protected:
    void StartRack(std::vector<SimFault> faults = {})
    {
        SimOptions options;
        options.packs = 4;
        options.recordsPerLog = 3;
        options.faults = std::move(faults);
        RegisterSimulatorLink(options);
        StartWindowOnInProcessPacks("TextKind=1\nPackCount=4\nPort=1\n");
        if (HasFatalFailure())
            return;
        ClickPortButton();
        ASSERT_TRUE(m_form->IsPolling());
    }

    void TearDown() override
    {
        TModalRun<TCompareForm>::SetHook({});
        TModalRun<TBusSummaryForm>::SetHook({});
        Globals().PasswordOk = false;
        MainWindowTest::TearDown();
    }

    void ShowPage(int index) { Find<QTabWidget>("PageControl1")->setCurrentIndex(index); }

    static void ChangeParameters(std::uint8_t pack, const std::vector<std::pair<std::uint8_t, int>>& values)
    {
        TDevInfo& store = *GlobalDevInfo();
        RParameter set = GlobalParameterInfo()->NewParameterSet(pack);
        ASSERT_EQ(store.ReadParameters(pack, pack, set), 0);
        for (const auto& [id, value] : values)
            set.Entries[id].Value = Decimal::fromInt(value);
        ASSERT_TRUE(store.WriteParameters(pack, pack, set, false).ok());
    }

    // The summary a job ends with, kept as its cells.
    void KeepSummaries()
    {
        TModalRun<TBusSummaryForm>::SetHook([this](TBusSummaryForm& form) {
            std::vector<QStringList> rows;
            for (int row = 0; row < form.grid()->rowCount(); ++row) {
                QStringList cells;
                for (int column = 0; column < form.grid()->columnCount(); ++column)
                    cells << form.grid()->item(row, column)->text();
                rows.push_back(cells);
            }
            m_summaries.push_back(rows);
        });
    }

    std::vector<std::vector<QStringList>> m_summaries;
};

int RowOf(const QTableWidget* grid, std::uint8_t id)
{
    for (int row = 0; row < grid->rowCount(); ++row)
        if (grid->item(row, TCompareForm::ColId)->text() == QString::number(id))
            return row;
    return -1;
}

TEST_F(BusWindowTest, CompareWindowPaintsTheChangedRowsAndWritesTheReferenceToTheOthers)
{
    StartRack();
    ChangeParameters(3, {{23, 3450}, {30, 3610}});
    Globals().PasswordOk = true;
    KeepSummaries();
    ShowPage(4);

    bool ran = false;
    TModalRun<TCompareForm>::SetHook([&](TCompareForm& form) {
        ran = true;
        QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("BtnReadPacks")), Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&form] { return !form.IsBusy() && form.Sets().packs.size() == 4; }));
        QTableWidget* grid = form.grid();
        // 86 grid rows, 4 choices and 42 switches, named in English.
        EXPECT_EQ(grid->rowCount(), 132);
        EXPECT_EQ(grid->columnCount(), TCompareForm::ColFirstPack + 4);
        EXPECT_EQ(form.DifferenceCount(), 2);
        const int row = RowOf(grid, 23);
        ASSERT_GE(row, 0);
        EXPECT_EQ(grid->item(row, TCompareForm::ColName)->text(), QStringLiteral("Balance starting voltage"));
        const QColor yellow = ColorFromBgr(TCompareForm::kDifferBgr);
        EXPECT_EQ(grid->item(row, TCompareForm::ColFirstPack + 2)->background().color(), yellow);
        EXPECT_NE(grid->item(row, TCompareForm::ColFirstPack + 1)->background().color(), yellow);
        // The node number differs by nature and is never painted.
        const int node = RowOf(grid, 11);
        ASSERT_GE(node, 0);
        for (int pack = 0; pack < 4; ++pack)
            EXPECT_NE(grid->item(node, TCompareForm::ColFirstPack + pack)->background().color(), yellow);

        form.findChild<QCheckBox*>(QStringLiteral("CheckOnlyDifferences"))->setChecked(true);
        EXPECT_EQ(grid->rowCount(), 2);

        // Pack 1 is the reference: packs 2-4 are asked for, pack 3 with its two fields.
        m_boxes.clear();
        QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("BtnWriteToPacks")), Qt::LeftButton);
        ASSERT_EQ(m_boxes.size(), 1);
        EXPECT_TRUE(m_boxes[0].text.contains(QStringLiteral("Pack 3: 2"))) << m_boxes[0].text.toStdString();
        EXPECT_TRUE(m_boxes[0].text.contains(QStringLiteral("Pack 2: 0")));
        ASSERT_TRUE(WaitFor([&form] { return !form.IsBusy() && form.LastReport().has_value(); }));
        ASSERT_TRUE(WaitFor([this] { return !m_summaries.empty(); }));
        EXPECT_TRUE(form.LastReport()->allWritten());
    });
    QTest::mouseClick(m_form->findChild<QPushButton*>(QStringLiteral("BtnComparePacks")), Qt::LeftButton);
    ASSERT_TRUE(ran);
    ASSERT_EQ(m_summaries.size(), 1u);
    const std::vector<QStringList> expected = {
        {QStringLiteral("2"), QStringLiteral("Written and verified"), QStringLiteral("0")},
        {QStringLiteral("3"), QStringLiteral("Written and verified"), QStringLiteral("2")},
        {QStringLiteral("4"), QStringLiteral("Written and verified"), QStringLiteral("0")}};
    EXPECT_EQ(m_summaries[0], expected);
    RParameter set = GlobalParameterInfo()->NewParameterSet(3);
    ASSERT_EQ(GlobalDevInfo()->ReadParameters(3, 3, set), 0);
    EXPECT_EQ(set.Entries[23].Value, Decimal::fromInt(3400));
}

TEST_F(BusWindowTest, CompareWindowNamesWhatItCouldNotReadAndShowsWhatTheWriteLeftInThePacks)
{
    StartRack({*ParseSimFault(u"silent:1")});
    ChangeParameters(3, {{23, 3450}});
    Globals().PasswordOk = true;
    KeepSummaries();
    ShowPage(4);

    bool ran = false;
    TModalRun<TCompareForm>::SetHook([&](TCompareForm& form) {
        ran = true;
        const auto click = [&form](const char* name) {
            QTest::mouseClick(form.findChild<QPushButton*>(QLatin1String(name)), Qt::LeftButton);
        };
        click("BtnReadPacks");
        ASSERT_TRUE(WaitFor([&form] { return !form.IsBusy() && form.Sets().packs.size() == 4; }));
        // Pack 1, the reference until another is chosen, is silent: no other
        // pack takes its place unasked.
        const QString state = form.findChild<QLabel*>(QStringLiteral("LabelCompareState"))->text();
        EXPECT_TRUE(state.contains(QStringLiteral("The reference pack 1 could not be read: no comparison was made")))
            << state.toStdString();
        EXPECT_EQ(form.DifferenceCount(), 0);

        form.findChild<TComboBoxExt*>(QStringLiteral("ComboReference"))->selectValue(QStringLiteral("2"));
        EXPECT_EQ(form.DifferenceCount(), 1);
        m_boxes.clear();
        click("BtnWriteToPacks");
        ASSERT_EQ(m_boxes.size(), 1);
        EXPECT_TRUE(m_boxes[0].text.contains(QStringLiteral("These packs could not be read and are not written:\n1 (")))
            << m_boxes[0].text.toStdString();
        ASSERT_TRUE(WaitFor([this] { return m_summaries.size() == 1; }));

        // The grid holds what the packs read back: the second write
        // announces no change, and closing during it shows what was done.
        EXPECT_EQ(form.DifferenceCount(), 0);
        m_boxes.clear();
        click("BtnWriteToPacks");
        ASSERT_EQ(m_boxes.size(), 1);
        EXPECT_TRUE(m_boxes[0].text.contains(QStringLiteral("Pack 3: 0"))) << m_boxes[0].text.toStdString();
        form.reject();
        EXPECT_EQ(m_summaries.size(), 2u);
    });
    QTest::mouseClick(m_form->findChild<QPushButton*>(QStringLiteral("BtnComparePacks")), Qt::LeftButton);
    ASSERT_TRUE(ran);
    ASSERT_EQ(m_summaries.size(), 2u);
    for (const std::vector<QStringList>& summary : m_summaries) {
        ASSERT_EQ(summary.size(), 3u);
        EXPECT_EQ(summary.back()[0], QStringLiteral("1"));
        EXPECT_TRUE(summary.back()[1].startsWith(QStringLiteral("Not read - nothing written: ")));
    }
    EXPECT_EQ(m_summaries[0][0], (QStringList{QStringLiteral("3"), QStringLiteral("Written and verified"), QStringLiteral("1")}));
    for (std::size_t row = 0; row + 1 < m_summaries[1].size(); ++row)
        EXPECT_TRUE(m_summaries[1][row][1] == QStringLiteral("Written and verified")
                    || m_summaries[1][row][1] == QStringLiteral("Not tried"))
            << m_summaries[1][row].join(u' ').toStdString();
}

TEST_F(BusWindowTest, SyncAllClocksShowsEachOffsetAndSetsEveryClock)
{
    StartRack();
    const QDateTime now = QDateTime::currentDateTime();
    const int offsets[] = {600, -7200, 0, 30};
    for (int pack = 1; pack <= 4; ++pack)
        ASSERT_EQ(GlobalDevInfo()->WriteDateTime(std::uint8_t(pack), RDeviceTime::fromDateTime(now.addSecs(offsets[pack - 1]))), 0);
    Globals().PasswordOk = true;
    KeepSummaries();
    ShowPage(5);
    m_form->findChild<TFramePackConfig*>()->BtnSyncAllClocksClick();
    ASSERT_TRUE(WaitFor([this] { return !m_summaries.empty(); }));
    const std::vector<QStringList>& rows = m_summaries[0];
    ASSERT_EQ(rows.size(), 4u);
    for (int pack = 1; pack <= 4; ++pack) {
        const QStringList& cells = rows[std::size_t(pack - 1)];
        EXPECT_EQ(cells[0], QString::number(pack));
        // The clocks tick on while the packs answer: a few seconds' slack.
        EXPECT_NEAR(cells[2].toDouble(), offsets[pack - 1], 3.0) << cells.join(u' ').toStdString();
        EXPECT_EQ(cells[3], QStringLiteral("Operation succeeded!"));
        RDeviceTime after;
        ASSERT_EQ(GlobalDevInfo()->ReadDateTime(std::uint8_t(pack), after), 0);
        EXPECT_LE(std::abs(*ClockOffsetSeconds(after, TDevInfo::GetPcTime())), 3);
    }
}

// Pack 2 answers slowly: Cancel or a close comes while it is asked. Pack 2
// is finished (read and set), packs 3 and 4 are never asked.
TEST_F(BusWindowTest, SyncAllClocksStopsAfterThePackUnderWayOnCancelOrClose)
{
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close ? "close" : "cancel");
        StartRack({SimFault{SimFaultKind::SlowPack, 500, 0, 0, 2}});
        Globals().PasswordOk = true;
        KeepSummaries();
        m_summaries.clear();
        ShowPage(5);
        auto* page = m_form->findChild<TFramePackConfig*>();
        auto* cancel = page->findChild<QPushButton*>(QStringLiteral("BtnCancelSyncClocks"));
        auto* progress = page->findChild<QProgressBar*>(QStringLiteral("ProgressSyncClocks"));
        ASSERT_TRUE(cancel && progress);
        EXPECT_FALSE(cancel->isVisible());
        SharedSimBus()->clearRequests();
        page->BtnSyncAllClocksClick();
        EXPECT_TRUE(cancel->isVisible() && cancel->isEnabled());
        EXPECT_TRUE(progress->isVisible());
        ASSERT_TRUE(WaitFor([] { return RequestsTo(2, kReadClockCid2) == 1; }));
        EXPECT_TRUE(WaitFor([progress] { return progress->value() == 1; }));
        m_boxes.clear();
        if (close) {
            m_form->close();
            EXPECT_FALSE(m_form->isVisible());
            // The close question only: no summary pops up during the close.
            EXPECT_EQ(m_boxes.size(), 1);
            QTest::qWait(200);
            EXPECT_TRUE(m_summaries.empty());
        } else {
            cancel->click();
            ASSERT_TRUE(WaitFor([this] { return !m_summaries.empty(); }));
            const std::vector<QStringList>& rows = m_summaries[0];
            ASSERT_EQ(rows.size(), 4u);
            EXPECT_EQ(rows[1][3], QStringLiteral("Operation succeeded!"));
            EXPECT_EQ(rows[2][3], QStringLiteral("Not tried"));
            EXPECT_EQ(rows[3][3], QStringLiteral("Not tried"));
            EXPECT_FALSE(cancel->isVisible());
        }
        // (The poller may still have read pack 1's clock on its way out.)
        EXPECT_GE(RequestsTo(1, kReadClockCid2), 1);
        for (std::uint8_t pack = 2; pack <= 4; ++pack)
            EXPECT_EQ(RequestsTo(pack, kReadClockCid2), pack == 2 ? 1 : 0) << "pack " << int(pack);
        for (std::uint8_t pack = 1; pack <= 4; ++pack)
            EXPECT_EQ(RequestsTo(pack, kWriteClockCid2), pack <= 2 ? 1 : 0) << "pack " << int(pack);
        m_form.reset();
        SharedSimBus()->clearFaults();
    }
}

TEST_F(BusWindowTest, AllPacksReadsEveryLogIntoOneGridAndNamesTheSilentPack)
{
    StartRack({SimFault{SimFaultKind::Silent, 2}});
    auto* page = m_form->findChild<TFramePackAlarmDataInfo*>();
    ShowPage(TFramePackAlarmDataInfo::kPageIndex);
    page->findChild<QCheckBox*>(QStringLiteral("CheckAllPacks"))->setChecked(true);
    m_boxes.clear();
    QTest::mouseClick(page->readButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([page] { return !page->Reading() && page->readButton()->isEnabled(); }, 60000));
    ASSERT_EQ(page->model()->recordCount(), 9);
    std::vector<int> packNumbers;
    for (int row = 0; row < page->model()->recordCount(); ++row)
        packNumbers.push_back(page->model()->record(row).packNumber);
    EXPECT_EQ(packNumbers, (std::vector<int>{1, 1, 1, 3, 3, 3, 4, 4, 4}));
    ASSERT_FALSE(m_boxes.isEmpty());
    EXPECT_TRUE(m_boxes.back().text.endsWith(QStringLiteral("Packs that did not answer: 2")))
        << m_boxes.back().text.toStdString();
}

TEST_F(BusWindowTest, StopEndsTheWholeRunWithOneStopRequest)
{
    // Pack 1 answers slowly, so Stop comes while its log is read.
    StartRack({SimFault{SimFaultKind::SlowPack, 200, 0, 0, 1}});
    auto* page = m_form->findChild<TFramePackAlarmDataInfo*>();
    ShowPage(TFramePackAlarmDataInfo::kPageIndex);
    page->findChild<QCheckBox*>(QStringLiteral("CheckAllPacks"))->setChecked(true);
    QTest::mouseClick(page->readButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([page] { return page->model()->recordCount() >= 1; }));
    SharedSimBus()->clearRequests();
    m_boxes.clear();
    QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("BtnStop")), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([] { return SharedSimBus()->requestCount(kAlarmCid2, HistorySubCommand::kStop) == 1; }));
    EXPECT_FALSE(page->Reading());
    // The run says which packs' logs came whole: none, pack 1 being stopped.
    ASSERT_TRUE(WaitFor([this] { return m_boxes.size() == 2; }));
    EXPECT_EQ(m_boxes.back().text, QStringLiteral("Reading stopped. Packs read whole: none\nPacks not read: 1-4"));
    // No other pack is asked for its log after the stop.
    QTest::qWait(3 * TFramePackHistory::kTimerMs);
    EXPECT_EQ(SharedSimBus()->requestCount(kAlarmCid2, HistorySubCommand::kStop), 1);
    for (const SimRequest& request : SharedSimBus()->requests()) {
        if (request.cid2 == kAlarmCid2) {
            EXPECT_EQ(request.address, 1);
        }
    }
}

// Closing the port while the clocks are set: the pack under way is finished,
// the job is joined before the port closes, and no later pack is asked.
TEST_F(BusWindowTest, ClosingThePortDuringAJobJoinsItFirst)
{
    StartRack({SimFault{SimFaultKind::SlowPack, 400, 0, 0, 2}});
    SharedSimBus()->clearRequests();
    KeepSummaries();
    Globals().PasswordOk = true;
    ShowPage(5);
    m_form->findChild<TFramePackConfig*>()->BtnSyncAllClocksClick();
    ASSERT_TRUE(WaitFor([] { return RequestsTo(2, kReadClockCid2) >= 1; }));
    ClickPortButton();
    EXPECT_FALSE(m_form->IsLinkOpen());
    EXPECT_FALSE(m_form->IsPolling());
    EXPECT_EQ(TBusWorker::LiveJobs(), 0);
    EXPECT_EQ(RequestsTo(4, kReadClockCid2), 0) << "no pack after the one under way";
    EXPECT_EQ(RequestsTo(2, kWriteClockCid2), 1) << "the pack under way is set, not left half done";
    EXPECT_TRUE(WaitFor([this] { return m_summaries.size() == 1; })) << "the summary says how far it got";
}

// Closing the window while a job waits for a slow pack 2 (a clock sync, the
// logs of every pack, a scan, a batch write, a report): the job is
// cancelled and joined before the store goes (the store's destructor stops
// the program when a job still runs), only the close question shows, and
// the job went no further than the pack under way.
TEST_F(BusWindowTest, ClosingDuringAnyJobJoinsItBeforeTheStoreGoes)
{
    QTemporaryDir files;
    ASSERT_TRUE(files.isValid());
    const QString pdf = files.filePath(QStringLiteral("rack.pdf"));
    struct Case {
        const char* name;
        std::uint8_t cid2;                                  // the job's command; 0: any
        std::function<void()> start;          // returns once pack 2 is being asked
    };
    const auto closeWhenPackTwoIsAsked = [this](std::uint8_t cid2) {
        ASSERT_TRUE(WaitFor([cid2] { return RequestsTo(2, cid2) >= 1; }));
        m_boxes.clear();
        m_form->close();
    };
    const std::vector<Case> cases = {
        {"clock sync", kReadClockCid2,
         [&] {
             Globals().PasswordOk = true;
             ShowPage(5);
             m_form->findChild<TFramePackConfig*>()->BtnSyncAllClocksClick();
             closeWhenPackTwoIsAsked(kReadClockCid2);
         }},
        {"all-pack logs", kAlarmCid2,
         [&] {
             auto* page = m_form->findChild<TFramePackAlarmDataInfo*>();
             ShowPage(TFramePackAlarmDataInfo::kPageIndex);
             page->findChild<QCheckBox*>(QStringLiteral("CheckAllPacks"))->setChecked(true);
             QTest::mouseClick(page->readButton(), Qt::LeftButton);
             closeWhenPackTwoIsAsked(kAlarmCid2);
         }},
        {"scan", 0,
         [&] {
             TModalRun<TScanForm>::SetHook([&](TScanForm&) { closeWhenPackTwoIsAsked(0); });
             QTest::mouseClick(Find<QAbstractButton>("BtnScan"), Qt::LeftButton);
             TModalRun<TScanForm>::SetHook({});
         }},
        {"batch write", kWriteParametersCid2,
         [&] {
             Globals().PasswordOk = true;
             ShowPage(4);
             TModalRun<TCompareForm>::SetHook([&](TCompareForm& form) {
                 QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("BtnReadPacks")), Qt::LeftButton);
                 ASSERT_TRUE(WaitFor([&form] { return !form.IsBusy() && form.Sets().packs.size() == 4; }));
                 QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("BtnWriteToPacks")), Qt::LeftButton);
                 closeWhenPackTwoIsAsked(kWriteParametersCid2);
             });
             QTest::mouseClick(m_form->findChild<QPushButton*>(QStringLiteral("BtnComparePacks")), Qt::LeftButton);
             TModalRun<TCompareForm>::SetHook({});
         }},
        {"report", 0,
         [&] {
             TModalRun<TReportForm>::SetHook([&](TReportForm& form) {
                 form.findChild<QLineEdit*>(QStringLiteral("EditPdf"))->setText(pdf);
                 form.BtnMakeClick();
                 closeWhenPackTwoIsAsked(0);
             });
             QTest::mouseClick(Find<QAbstractButton>("BtnReport"), Qt::LeftButton);
             TModalRun<TReportForm>::SetHook({});
         }},
    };
    for (const Case& job : cases) {
        SCOPED_TRACE(job.name);
        StartRack({SimFault{SimFaultKind::SlowPack, 400, 0, 0, 2}});
        SharedSimBus()->clearRequests();
        job.start();
        EXPECT_FALSE(m_form->isVisible());
        EXPECT_EQ(TBusWorker::LiveJobs(), 0);
        EXPECT_EQ(m_boxes.size(), 1) << "the close question only";
        QTest::qWait(100);
        EXPECT_EQ(m_boxes.size(), 1) << "nothing pops up after the close";
        if (job.cid2 != 0) {
            EXPECT_EQ(RequestsTo(4, job.cid2), 0) << "no pack after the one under way";
        }
        EXPECT_FALSE(QFileInfo::exists(pdf)) << "no report from a cancelled run";
        m_form.reset();
        SharedSimBus()->clearFaults();
        Globals().PasswordOk = false;
    }
}

} // namespace
