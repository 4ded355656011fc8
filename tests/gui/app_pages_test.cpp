// The real window against the simulated bus: every pack's readings land in
// its own log, and the monitor fills each pack's column.

#include "app_window_fixture.h"

#include "app/app_objects.h"
#include "services/settings.h"
#include "store/devinfo.h"

#include <QLineEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>

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

} // namespace
