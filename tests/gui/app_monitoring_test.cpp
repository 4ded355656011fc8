// The monitoring outputs from the window: the dialog turns the Prometheus
// endpoint and MQTT on while the window polls bms-sim; /metrics and the
// broker get the polled pack's readings, the status bar and the dialog
// the outputs' events, and BMS.ini keeps the choice but not the token.

#include "app_window_fixture.h"

#include "services/text_ids.h"
#include "services/textoper.h"
#include "support/http_get.h"
#include "support/mqtt_broker.h"
#include "views/modal_run.h"
#include "views/monitoring_form.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
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

// MQTT from the dialog to a real broker while the window polls: readings
// and discovery arrive, the status bar and the dialog say when the broker
// goes away.
TEST_F(MainWindowTest, MqttTurnedOnInTheDialogPublishesAndTheBrokerLeavingIsShown)
{
    Broker broker;
    ASSERT_TRUE(broker.start());
    ChildProcess subscriber;
    ASSERT_TRUE(subscriber.start(QStringLiteral("/usr/bin/mosquitto_sub"),
                                 {QStringLiteral("-p"), QString::number(broker.port()), QStringLiteral("-F"),
                                  QStringLiteral("%t %p"), QStringLiteral("-t"), QStringLiteral("bms/#"),
                                  QStringLiteral("-t"), QStringLiteral("homeassistant/#")}));
    StartWindow({}, QStringLiteral("PackCount=4\nPackRead=2\n"));
    ClickPortButton();
    ASSERT_TRUE(m_form->IsPolling());

    const auto previous = TModalRun<TMonitoringForm>::SetHook([&](TMonitoringForm& form) {
        form.findChild<QCheckBox*>(QStringLiteral("CheckBoxMqtt"))->setChecked(true);
        form.findChild<QLineEdit*>(QStringLiteral("EditMqttUrl"))->setText(broker.url());
        QTest::mouseClick(form.findChild<QAbstractButton*>(QStringLiteral("BtnOk")), Qt::LeftButton);
    });
    QTest::mouseClick(Find<QAbstractButton>("BtnMonitoring"), Qt::LeftButton);
    TModalRun<TMonitoringForm>::SetHook(previous);
    ASSERT_TRUE(m_boxes.isEmpty()) << m_boxes.first().text.toStdString();
    EXPECT_TRUE(ReadMonitoringSettings().mqttOn);

    // Polling names the pack by its bar code, as bmstool poll does.
    EXPECT_TRUE(WaitFor([&] { return subscriber.waitForOutput("bms/SIM48V100AH0002/state {", 50); }));
    EXPECT_TRUE(subscriber.waitForOutput("homeassistant/sensor/bms_SIM48V100AH0002/voltage/config", 1000));
    EXPECT_TRUE(subscriber.waitForOutput("bms/SIM48V100AH0002/availability online", 1000));

    auto* status = Find<QLabel>("StatusBar1Outputs");
    const QString where = QStringLiteral("127.0.0.1:%1").arg(broker.port());
    const QString connected = TTextOper().GetLanguageText(TextId::kMqttConnected).arg(where);
    EXPECT_TRUE(WaitFor([&] { return status->text() == connected; })) << status->text().toStdString();

    broker.stop();
    const QString away = TTextOper().GetLanguageText(TextId::kMqttUnreachable).section(QStringLiteral("%1"), 0, 0);
    EXPECT_TRUE(WaitFor([&] { return status->text().startsWith(away + where); })) << status->text().toStdString();
    EXPECT_TRUE(m_form->IsPolling());

    // The dialog lists what happened.
    QString shown;
    const auto look = TModalRun<TMonitoringForm>::SetHook([&](TMonitoringForm& form) {
        shown = form.findChild<QLabel*>(QStringLiteral("LabelStatus"))->text();
        form.reject();
    });
    QTest::mouseClick(Find<QAbstractButton>("BtnMonitoring"), Qt::LeftButton);
    TModalRun<TMonitoringForm>::SetHook(look);
    EXPECT_TRUE(shown.contains(connected)) << shown.toStdString();
    EXPECT_TRUE(shown.contains(away + where)) << shown.toStdString();
}

// The token is kept apart from BMS.ini, in a file only its user can read;
// one an older BMS.ini holds moves there at the first save.
TEST_F(MainWindowTest, TheInfluxTokenLeavesBmsIniForAFileOnlyItsUserCanRead)
{
    StartWindow({}, QStringLiteral("PackCount=4\n\n[Monitoring]\nInfluxUrl=http://127.0.0.1:9\nInfluxToken=old-secret\n"));
    ASSERT_EQ(ReadMonitoringSettings().influxToken, QStringLiteral("old-secret"));

    QString tokenShown;
    const auto previous = TModalRun<TMonitoringForm>::SetHook([&](TMonitoringForm& form) {
        auto* token = form.findChild<QLineEdit*>(QStringLiteral("EditInfluxToken"));
        tokenShown = token->text();
        token->setText(QStringLiteral("new-secret"));
        QTest::mouseClick(form.findChild<QAbstractButton*>(QStringLiteral("BtnOk")), Qt::LeftButton);
    });
    QTest::mouseClick(Find<QAbstractButton>("BtnMonitoring"), Qt::LeftButton);
    TModalRun<TMonitoringForm>::SetHook(previous);
    EXPECT_EQ(tokenShown, QStringLiteral("old-secret"));

    QFile ini(SettingsFilePath());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    EXPECT_FALSE(text.contains("secret")) << text.toStdString();
    const QString tokenFile = ReadMonitoringSettings().influxTokenFile;
    EXPECT_EQ(QFile::permissions(tokenFile) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(ReadSecretFile(tokenFile), QStringLiteral("new-secret"));
    EXPECT_EQ(ReadMonitoringSettings().influxToken, QStringLiteral("new-secret"));
}
