// The monitoring outputs from the window: the dialog turns the Prometheus
// endpoint on while the window polls bms-sim, /metrics answers with the
// polled pack's readings and BMS.ini keeps the choice.

#include "app_window_fixture.h"

#include "support/http_get.h"
#include "views/modal_run.h"
#include "views/monitoring_form.h"

#include <QCheckBox>
#include <QLineEdit>

TEST_F(MainWindowTest, MetricsTurnedOnInTheDialogServeThePolledPack)
{
    StartWindow({}, QStringLiteral("PackCount=4\nPackRead=2\n"));
    ClickPortButton();
    ASSERT_TRUE(m_form->IsPolling());
    ASSERT_FALSE(m_form->Outputs().MetricsServed());

    // An address that does not parse keeps the dialog open with a message;
    // a good one is taken.
    int messagesOnBadAddress = 0;
    const auto previous = TModalRun<TMonitoringForm>::SetHook([&](TMonitoringForm& form) {
        form.findChild<QCheckBox*>(QStringLiteral("CheckBoxMetrics"))->setChecked(true);
        auto* address = form.findChild<QLineEdit*>(QStringLiteral("EditMetricsAddress"));
        address->setText(QStringLiteral("nohost:1"));
        QTest::mouseClick(form.findChild<QAbstractButton*>(QStringLiteral("BtnOk")), Qt::LeftButton);
        messagesOnBadAddress = int(m_boxes.size());
        EXPECT_TRUE(form.isVisible());
        address->setText(QStringLiteral("127.0.0.1:0"));
        QTest::mouseClick(form.findChild<QAbstractButton*>(QStringLiteral("BtnOk")), Qt::LeftButton);
    });
    QTest::mouseClick(Find<QAbstractButton>("BtnMonitoring"), Qt::LeftButton);
    TModalRun<TMonitoringForm>::SetHook(previous);
    ASSERT_EQ(messagesOnBadAddress, 1);
    EXPECT_TRUE(m_boxes.first().text.contains(QStringLiteral("nohost:1")));
    ASSERT_EQ(m_boxes.size(), 1) << m_boxes.last().text.toStdString();

    const std::optional<RListenAddress> served = m_form->Outputs().MetricsServed();
    ASSERT_TRUE(served);
    ASSERT_NE(served->port, 0);
    EXPECT_TRUE(m_form->IsPolling());
    EXPECT_TRUE(ReadMonitoringSettings().metricsOn);
    QByteArray body;
    ASSERT_TRUE(WaitFor([&] {
        body = HttpGet(served->port).body;
        return body.contains("bms_cell_voltage_volts{pack=\"2\",cell=\"5\",bar_code=\"SIM48V100AH0002\"} 3.");
    })) << body.toStdString();
    EXPECT_TRUE(body.contains("bms_pack_up{pack=\"2\",bar_code=\"SIM48V100AH0002\"} 1"));
    EXPECT_FALSE(body.contains("{pack=\"1\""));
}
