// The real window against the simulated bus: every pack's readings land in
// its own log, and the monitor fills each pack's column.

#include "app_window_fixture.h"

#include "app/app_objects.h"
#include "lib/sim_link.h"
#include "services/password_store.h"
#include "services/settings.h"
#include "services/textoper.h"
#include "store/devinfo.h"
#include "support/page_idle.h"
#include "views/framepackconfig.h"
#include "views/framepackparameter.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>

namespace {

TEST_F(MainWindowTest, AutoPollingFillsEachPacksLogAndMonitorColumn)
{
    StartWindow({}, QStringLiteral("PackCount=4\nPackRead=255\nDisplayRecord=1\n"));
    Find<QTabWidget>("PageControl1")->setCurrentIndex(1);
    ClickPortButton();
    ASSERT_TRUE(m_form->IsPolling());
    const auto* monitor = Find<QWidget>("FramePackDataMonitor1")->findChild<QTableView*>(QStringLiteral("StringGrid1"));
    ASSERT_EQ(monitor->model()->columnCount(), 7);

    EXPECT_TRUE(WaitFor([&] {
        for (int pack = 1; pack <= 4; ++pack) {
            if (m_form->RealTimeFrame(pack)->model()->readingCount() == 0
                || monitor->model()->index(0, pack + 2).data().toString().isEmpty())
                return false;
        }
        return true;
    }));
    for (int pack = 1; pack <= 4; ++pack) {
        const QAbstractItemModel* log = m_form->RealTimeFrame(pack)->model();
        for (int row = 0; row < log->rowCount() - 1; ++row)
            EXPECT_EQ(log->index(row, 1).data().toString(), QStringLiteral("%1").arg(pack, 2, 10, QLatin1Char('0')));
        EXPECT_EQ(m_form->RealTimeFrame(pack)->model()->lastPackNumber(), pack);
    }
    for (int pack = 5; pack <= 16; ++pack)
        EXPECT_EQ(m_form->RealTimeFrame(pack)->model()->readingCount(), 0) << pack;
}

TEST_F(MainWindowTest, TheLocationPageShowsThePackInFocusOnceItIsShown)
{
    StartWindow({}, QStringLiteral("PackCount=4\nPackRead=1\n"));
    ClickPortButton();
    ASSERT_TRUE(m_form->IsPolling());
    const auto* location = Find<QWidget>("FramePackLocation1");
    auto* imei = location->findChild<QLineEdit*>(QStringLiteral("Edit12"));
    ASSERT_TRUE(WaitFor([&] { return GlobalDevInfo()->GetAnalogData(1).totalVoltage != Decimal(); }));
    EXPECT_TRUE(imei->text().isEmpty());   // not read while another page is shown
    Find<QTabWidget>("PageControl1")->setCurrentIndex(3);
    EXPECT_TRUE(WaitFor([&] { return !imei->text().isEmpty(); }));
    EXPECT_EQ(imei->text(), GlobalDevInfo()->GetLocationData(1).imei);
}

TEST_F(MainWindowTest, EnteringTheParameterPageShowsTheStoredSetOfThePackInFocus)
{
    StartWindow({}, QStringLiteral("PackCount=4\nPackRead=3\n"), false);
    RParameter set = GlobalDevInfo()->GetStoredParameters(3);
    TParameterInfo::SetParameterInt(11, 15, set);
    GlobalDevInfo()->StoreParameters(set);
    Find<QTabWidget>("PageControl1")->setCurrentIndex(4);
    EXPECT_EQ(Globals().ActivePage.load(), 4);
    const auto* grid = Find<QWidget>("FramePackParameter1")->findChild<QTableWidget*>(QStringLiteral("StringGrid1"));
    ASSERT_EQ(grid->rowCount(), 86);
    EXPECT_EQ(grid->item(1, 0)->text(), QStringLiteral("11"));
    EXPECT_EQ(grid->item(1, 5)->text(), QStringLiteral("15"));
    EXPECT_EQ(grid->horizontalHeaderItem(5)->text(), QStringLiteral("数值"));
}

// The window on the in-process packs with pack 01 in focus, the password
// typed and the port open (polling runs).
class PageCommandTest : public MainWindowTest {
protected:
    static constexpr int kParameterPage = 4;
    static constexpr int kConfigPage = 5;

    void StartPolling()
    {
        RegisterSimulatorLink();
        StartWindowOnInProcessPacks("TextKind=0\nPackCount=2\nPackRead=1\nPort=1\nDisplayRecord=1\n");
        if (HasFatalFailure())
            return;
        Find<QLineEdit>("Edit1")->setText(QString::fromLatin1(kDefaultPassword));
        ClickPortButton();
        ASSERT_TRUE(m_form->IsPolling());
        ASSERT_TRUE(WaitFor([this] { return m_form->RealTimeFrame(1)->model()->readingCount() > 0; }));
    }
    QTabWidget* Pages() const { return Find<QTabWidget>("PageControl1"); }
    QWidget* Page(int index) const
    {
        return m_form->findChild<QWidget*>(index == kParameterPage ? QStringLiteral("FramePackParameter1")
                                                                   : QStringLiteral("FramePackConfig1"));
    }
    static bool IsAnswer(const MessageBoxes::Request& box) { return box.buttons == MessageBoxes::Buttons::Ok; }
};

TEST_F(PageCommandTest, EveryPageCommandRunsOnTheRunnerAndShowsItsResultAtTheEnd)
{
    StartPolling();
    struct Case {
        int page;
        const char* button;
        std::vector<std::uint8_t> sent;   // the commands, in order
    } cases[] = {
        {kParameterPage, "BtnReadParameter", {0x47}},
        {kParameterPage, "BtnWriteParameter", {0x49, 0x47}},   // verified by reading back
        {kConfigPage, "BtnReadDateTime", {0x4D}},
        {kConfigPage, "BtnWriteDateTime", {0x4E}},
        {kConfigPage, "BtnWriteRecordTime", {0xE1}},
        {kConfigPage, "BtnDeleteData", {0xE4}},
        {kConfigPage, "BtnDeleteAlarm", {0xE3}},
        {kConfigPage, "BtnReadCapacity", {0xE5}},
        {kConfigPage, "BtnWriteCapacity", {0xE6}},
        {kConfigPage, "BtnWriteCycleTime", {0xE7}},
        {kConfigPage, "BtnReadPackQuantity", {0x90}},
        {kConfigPage, "BtnWritePackQuantity", {0xE8}},
        {kConfigPage, "BtnReadBarCode", {0xE9}},
        {kConfigPage, "BtnWriteBarCode", {0xEA}},
        {kConfigPage, "BtnReadVoltagePack", {0xED}},
        {kConfigPage, "BtnCalibrationVoltagePack", {0xEE, 0xED}},   // the row is read back
        {kConfigPage, "BtnResetVoltagePack", {0xEE, 0xED}},
        {kConfigPage, "BtnReadProduct", {0xF1}},
        {kConfigPage, "BtnWriteProduct", {0xF2}},
    };
    const QString succeeded = TTextOper().GetLanguageText(0x3504);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        Pages()->setCurrentIndex(c.page);
        QWidget* page = Page(c.page);
        ASSERT_NE(page, nullptr);
        if (QLineEdit* cycles = page->findChild<QLineEdit*>(QStringLiteral("Edit5")))
            cycles->setText(QStringLiteral("12"));
        // The polling turn under way when the page came may still end with
        // its reads after the command's: it is let finish first.
        for (std::size_t heard = std::size_t(-1); heard != SharedSimBus()->requests().size();) {
            heard = SharedSimBus()->requests().size();
            QTest::qWait(300);
        }
        SharedSimBus()->clearRequests();
        m_boxes.clear();

        page->findChild<QPushButton*>(QLatin1String(c.button))->click();
        // The click came back before the pack answered: only a question so far.
        EXPECT_TRUE(std::none_of(m_boxes.begin(), m_boxes.end(), IsAnswer));
        ASSERT_TRUE(WaitUntilPageIdle(page));

        ASSERT_FALSE(m_boxes.isEmpty());
        EXPECT_EQ(m_boxes.last().text, succeeded);
        std::vector<std::uint8_t> sent;
        for (const SimRequest& request : SharedSimBus()->requests()) {
            // Polling rests on these pages; a cycle still finishing may
            // add its own reads (live values, alarms, device information).
            if (request.cid2 != 0x42 && request.cid2 != 0x44 && request.cid2 != 0x51 && request.address == 1)
                sent.push_back(request.cid2);
        }
        EXPECT_EQ(sent, c.sent);
    }
}

TEST_F(PageCommandTest, TheWindowAnswersWhileACommandWaitsOnASlowPack)
{
    StartPolling();
    Pages()->setCurrentIndex(kParameterPage);
    auto* parameters = m_form->findChild<TFramePackParameter*>(QStringLiteral("FramePackParameter1"));
    ASSERT_NE(parameters, nullptr);
    ASSERT_TRUE(SharedSimBus()->addFault(QStringLiteral("delay:800")));

    QElapsedTimer sinceRead;
    sinceRead.start();
    QTest::mouseClick(parameters->findChild<QPushButton*>(QStringLiteral("BtnReadParameter")), Qt::LeftButton);
    EXPECT_TRUE(parameters->IsBusy());
    // A tab clicked 0.2 s later is shown at once, while the pack still
    // has not answered.
    QTest::qWait(200);
    QTabBar* tabs = Pages()->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    bool painted = false;
    QTimer::singleShot(0, m_form.get(), [&painted] { painted = true; });
    ASSERT_TRUE(WaitFor([&painted] { return painted; }, 100));
    EXPECT_EQ(Pages()->currentIndex(), 0);
    EXPECT_LT(sinceRead.elapsed(), 600);
    EXPECT_TRUE(parameters->IsBusy());

    // Polling runs again on the live page and its readings keep coming (its
    // own answers prompt: they would miss the live values' reply window).
    SharedSimBus()->clearFaults();
    const auto before = m_form->RealTimeFrame(1)->model()->readingCount();
    EXPECT_TRUE(WaitFor([&] { return m_form->RealTimeFrame(1)->model()->readingCount() > before; }));
    ASSERT_TRUE(WaitUntilIdle(*parameters));
    EXPECT_EQ(m_boxes.last().text, TTextOper().GetLanguageText(0x3504));
}

} // namespace
