// The main window polling bms-sim over a pseudo-terminal: the live values
// in the grids and indicators, the status bar, switching packs and "Auto",
// a control test between polling exchanges, closing the port, and closing
// the window while a pack is silent.

#include "app_window_fixture.h"

#include "app/app_objects.h"
#include "services/settings.h"
#include "store/devinfo.h"
#include "views/alarm_panel_table.h"
#include "views/chart_window.h"
#include "views/comboboxext.h"
#include "views/framepackalarm.h"
#include "views/framepackhead.h"
#include "views/reading_chart.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableView>

#include <iostream>

namespace {

QString Cell(const QWidget* frame, int row, int column)
{
    const auto* grid = frame->findChild<QTableView*>(QStringLiteral("StringGrid1"));
    return grid->model()->index(row, column).data(Qt::DisplayRole).toString();
}

// Whether every shown indicator of the alarm panel ticks as the bit it
// stands for in the record.
bool IndicatorsMatch(const TFramePackAlarm* panel, const RAlarmData& record)
{
    for (const IndicatorPlace& place : kIndicatorPlaces) {
        const bool set = (record.status[place.byte - 1] >> place.bit) & 1;
        if (panel->checkBox(place.checkBox)->isChecked() != set)
            return false;
    }
    return true;
}

void ChooseItem(TComboBoxExt* combo, const QString& text)
{
    const int target = combo->findText(text);
    ASSERT_GE(target, 0);
    while (combo->currentIndex() < target)
        QTest::keyClick(combo, Qt::Key_Down);
    while (combo->currentIndex() > target)
        QTest::keyClick(combo, Qt::Key_Up);
}

const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);

} // namespace

TEST_F(MainWindowTest, OpeningThePortShowsTheLivePackInGridsIndicatorsAndStatusBar)
{
    StartWindow({}, QStringLiteral("PackCount=4\nPackRead=1\n"));
    ClickPortButton();
    ASSERT_TRUE(m_form->IsPolling()) << (m_boxes.isEmpty() ? std::string() : m_boxes.front().text.toStdString());
    EXPECT_FALSE(Find<QWidget>("ComboBoxExt1")->isEnabled());
    EXPECT_EQ(Find<QAbstractButton>("BtnCom")->text(), QStringLiteral("关闭串口"));
    EXPECT_EQ(Setting("Port"), QStringLiteral("1"));

    const TDevInfo& store = *GlobalDevInfo();
    const auto* info = Find<QWidget>("FramePackInfo1");
    const auto* cells = Find<QWidget>("FramePackCellVoltage1");
    const auto* alarm = Find<TFramePackAlarm>("FramePackAlarm1");
    // The thread files a reading and then has the window show it: sooner or
    // later the views and the store agree.
    EXPECT_TRUE(WaitFor([&] {
        const RAnalogData analog = store.GetAnalogData(1);
        return analog.totalVoltage != Decimal() && Cell(info, 0, 1) == analog.totalVoltage.format(u"0.000");
    }));
    EXPECT_TRUE(WaitFor([&] { return !Cell(cells, 1, 1).isEmpty(); }));
    EXPECT_TRUE(WaitFor([&] { return IndicatorsMatch(alarm, store.GetAlarmData(1)); }));
    EXPECT_TRUE(WaitFor([&] { return Lamp() == kGreen; }));

    const QRegularExpression clock(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    EXPECT_TRUE(WaitFor([&] { return clock.match(m_form->StatusPanelText(0)).hasMatch(); }));
    EXPECT_TRUE(WaitFor([&] { return !m_form->StatusPanelText(2).isEmpty(); }));
    EXPECT_TRUE(WaitFor([&] { return m_form->StatusPanelText(3) == QStringLiteral("1"); }));
    EXPECT_TRUE(m_form->StatusPanelText(4).isEmpty());
    EXPECT_TRUE(m_boxes.isEmpty());
}

TEST_F(MainWindowTest, SwitchingPacksFollowsTheChosenPackAndAutoVisitsEveryPack)
{
    StartWindow({}, QStringLiteral("PackCount=4\nPackRead=1\n"));
    ClickPortButton();
    ASSERT_TRUE(m_form->IsPolling());
    auto* packs = Find<TComboBoxExt>("ComboBoxExt2");
    const auto* head = Find<TFramePackHead>("FramePackHead1");
    const auto* info = Find<QWidget>("FramePackInfo1");
    const TDevInfo& store = *GlobalDevInfo();

    // The chart window opens on the pack in focus and follows the choice.
    QTest::mouseClick(Find<QAbstractButton>("BtnChart"), Qt::LeftButton);
    TChartWindow* chart = m_form->ChartWindow();
    ASSERT_NE(chart, nullptr);
    EXPECT_TRUE(chart->isWindow());
    EXPECT_EQ(chart->PackNumber(), 1);

    ChooseItem(packs, QStringLiteral("03"));
    EXPECT_EQ(chart->PackNumber(), 3);
    EXPECT_EQ(Find<QLabel>("Label6")->text(), QStringLiteral("2"));
    EXPECT_EQ(head->label()->text(), QStringLiteral("Pack No. 03"));
    EXPECT_TRUE(WaitFor([&] { return m_form->StatusPanelText(3) == QStringLiteral("3"); }));
    EXPECT_TRUE(WaitFor([&] {
        return Cell(info, 0, 1) == store.GetAnalogData(3).totalVoltage.format(u"0.000")
            && store.GetAnalogData(3).totalVoltage != Decimal();
    }));

    EXPECT_TRUE(WaitFor([&] {
        chart->Refresh();
        return chart->Chart()->VoltageSeries()->count() >= 2;
    }));
    EXPECT_NE(chart->Chart()->Points().back().voltage, 0) << "readings of pack 3";

    ChooseItem(packs, QStringLiteral("Auto"));
    for (int panel = 0; panel <= 2; ++panel)
        EXPECT_TRUE(m_form->StatusPanelText(panel).isEmpty()) << panel;
    EXPECT_FALSE(Find<QTabWidget>("PageControl1")->isTabVisible(TMainForm::kFirstCommandPage));
    // The head follows the pack being polled, through every pack.
    QSet<QString> headsSeen;
    EXPECT_TRUE(WaitFor([&] {
        headsSeen.insert(head->label()->text());
        return headsSeen.size() >= 4;
    }));
    for (std::uint8_t pack = 1; pack <= 4; ++pack)
        EXPECT_NE(store.GetAnalogData(pack).totalVoltage, Decimal()) << int(pack);
    // No clock, version or bar code is read while every pack is polled.
    for (int panel = 0; panel <= 2; ++panel)
        EXPECT_TRUE(m_form->StatusPanelText(panel).isEmpty()) << panel;

    // The keys passed 04 on the way to "Auto"; its visits of every pack
    // leave the chart on the last pack chosen.
    EXPECT_EQ(chart->PackNumber(), 4);

    // The chart window switches language with the window.
    EXPECT_TRUE(chart->windowTitle().startsWith(QStringLiteral("曲线"))) << chart->windowTitle().toStdString();
    QTest::mouseClick(Find<QAbstractButton>("RadioButton2"), Qt::LeftButton);
    EXPECT_EQ(chart->windowTitle(), QStringLiteral("Chart - 04"));
}

TEST_F(MainWindowTest, ControlTestSendsTheSwitchesBetweenPollingExchanges)
{
    StartWindow({}, QStringLiteral("PackCount=2\nPackRead=2\n"));
    ClickPortButton();
    ASSERT_TRUE(m_form->IsPolling());
    QTest::keyClicks(Find<QLineEdit>("Edit1"), QStringLiteral("QN739204"));
    auto* alarm = Find<TFramePackAlarm>("FramePackAlarm1");
    QCheckBox* cfet = alarm->checkBox(5);
    QCheckBox* buzzer = alarm->checkBox(40);
    ASSERT_TRUE(cfet && buzzer);
    EXPECT_TRUE(WaitFor([&] { return Lamp() == kGreen; }));
    // The boxes come on with the pack's first alarm record.
    ASSERT_TRUE(WaitFor([&] { return cfet->isEnabled(); }));
    ASSERT_TRUE(cfet->isChecked());
    ASSERT_TRUE(buzzer->isChecked());

    buzzer->click();
    ASSERT_TRUE(WaitFor([&] { return cfet->isEnabled(); }));
    buzzer->click();
    ASSERT_TRUE(WaitFor([&] { return cfet->isEnabled(); }));
    EXPECT_TRUE(m_boxes.isEmpty()) << (m_boxes.isEmpty() ? std::string() : m_boxes.front().text.toStdString());
    // The boxes show the pack's state: the buzzer on again, the FETs untouched.
    EXPECT_TRUE(buzzer->isChecked());
    EXPECT_TRUE(cfet->isChecked());
    EXPECT_TRUE(alarm->checkBox(29)->isChecked());
}

TEST_F(MainWindowTest, ClosingThePortStopsPollingAndClearsTheStatusPanels)
{
    StartWindow({}, QStringLiteral("PackCount=1\n"));
    ClickPortButton();
    ASSERT_TRUE(m_form->IsPolling());
    EXPECT_TRUE(WaitFor([&] { return m_form->StatusPanelText(3) == QStringLiteral("1"); }));

    ClickPortButton();
    EXPECT_FALSE(m_form->IsPolling());
    EXPECT_TRUE(Find<QWidget>("ComboBoxExt1")->isEnabled());
    EXPECT_EQ(Find<QAbstractButton>("BtnCom")->text(), QStringLiteral("打开串口"));
    for (int panel = 0; panel <= 3; ++panel)
        EXPECT_TRUE(m_form->StatusPanelText(panel).isEmpty()) << panel;
    // The thread's last word is the red lamp.
    EXPECT_EQ(Lamp(), kRed);
    EXPECT_EQ(GlobalDevInfo()->BarCode(), QString());
    EXPECT_EQ(GlobalDevInfo()->EchoedPackNumber(), 0);

    // And it opens again.
    ClickPortButton();
    EXPECT_TRUE(m_form->IsPolling());
    EXPECT_TRUE(WaitFor([&] { return m_form->StatusPanelText(3) == QStringLiteral("1"); }));
}

TEST_F(MainWindowTest, ClosingTheWindowWithASilentPackEndsPromptlyAndFreesTheStore)
{
    StartWindow({QStringLiteral("--fault"), QStringLiteral("silent:1")}, QStringLiteral("PackCount=1\n"));
    ClickPortButton();
    ASSERT_TRUE(m_form->IsPolling());
    // Nothing comes back: the lamp turns red and the clock panel says why.
    EXPECT_TRUE(WaitFor([&] { return !m_form->StatusPanelText(4).isEmpty(); }));
    EXPECT_TRUE(m_form->StatusPanelText(4).startsWith(QStringLiteral("175--")));
    // Windows that read the store on timers of their own are open.
    QTest::mouseClick(Find<QAbstractButton>("BtnChart"), Qt::LeftButton);
    QTest::mouseClick(Find<QAbstractButton>("BtnTraffic"), Qt::LeftButton);

    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(m_form->close());
    const qint64 closingMs = timer.elapsed();
    std::cout << "[ closing with a silent pack took " << closingMs << " ms ]" << std::endl;
    RecordProperty("closing_ms", int(closingMs));
    EXPECT_LT(closingMs, 10000);
    EXPECT_FALSE(m_form->IsPolling());
    EXPECT_EQ(GlobalDevInfo(), nullptr);
    EXPECT_EQ(m_form->ChartWindow(), nullptr) << "gone with the store it reads";
    EXPECT_EQ(m_form->TrafficConsole(), nullptr) << "gone with the store it reads";
    ASSERT_EQ(m_boxes.size(), 1);
    EXPECT_EQ(m_boxes.front().text, QStringLiteral("你确定要退出程序吗?"));
}

TEST_F(MainWindowTest, WithTheAdapterPulledThePortButtonClosesTheLinkRatherThanReopening)
{
    StartWindow({}, QStringLiteral("PackCount=1\n"));
    ClickPortButton();
    ASSERT_TRUE(m_form->IsPolling());
    EXPECT_TRUE(WaitFor([&] { return Lamp() == kGreen; }));

    // The terminal goes away: the thread keeps trying to reopen it.
    m_sim->stop();
    EXPECT_TRUE(WaitFor([&] { return !GlobalDevInfo()->IsSerialOpen(1); }));
    EXPECT_EQ(Find<QAbstractButton>("BtnCom")->text(), QStringLiteral("关闭串口"));
    ClickPortButton();
    EXPECT_FALSE(m_form->IsPolling());
    EXPECT_EQ(Find<QAbstractButton>("BtnCom")->text(), QStringLiteral("打开串口"));
    EXPECT_TRUE(Find<QWidget>("ComboBoxExt1")->isEnabled());
    EXPECT_TRUE(m_boxes.isEmpty());

    // Pressed again, it tries to open the missing terminal and says why not.
    ClickPortButton();
    EXPECT_FALSE(m_form->IsPolling());
    ASSERT_EQ(m_boxes.size(), 1);
    EXPECT_EQ(m_boxes.front().caption, QStringLiteral("Information prompt"));
}

TEST_F(MainWindowTest, ClosingTheWindowWithTheAdapterPulledEndsPromptly)
{
    StartWindow({}, QStringLiteral("PackCount=1\n"));
    ClickPortButton();
    ASSERT_TRUE(m_form->IsPolling());
    EXPECT_TRUE(WaitFor([&] { return Lamp() == kGreen; }));
    m_sim->stop();
    EXPECT_TRUE(WaitFor([&] { return !GlobalDevInfo()->IsSerialOpen(1); }));

    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(m_form->close());
    const qint64 closingMs = timer.elapsed();
    std::cout << "[ closing with the adapter pulled took " << closingMs << " ms ]" << std::endl;
    RecordProperty("closing_ms", int(closingMs));
    EXPECT_LT(closingMs, 10000);
    EXPECT_FALSE(m_form->IsPolling());
    EXPECT_EQ(GlobalDevInfo(), nullptr);
}
