#pragma once

// TMonitoringForm: the dialog that edits the monitoring outputs of
// [Monitoring] in BMS.ini: the Prometheus endpoint (address:port, staleness),
// the InfluxDB line-protocol writer (URL, database, token, spool size) and
// MQTT (broker URL, user, password file, topic prefix, retain, discovery).
// It checks the input and hands the settings back; the window saves and
// applies them. The status shows what the outputs are doing and their
// recent events.
//
// Checks of OK: an endpoint turned on needs an address:port that parses;
// a writer turned on needs an http(s) URL; MQTT turned on needs an
// mqtt:// URL, a topic prefix and a password file that can be read. A failed
// check keeps the dialog open with a message naming the input.

#include "services/settings.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class TMonitoringForm : public QDialog {
    Q_OBJECT
public:
    // status: what the outputs are doing now, one line each (may be empty).
    TMonitoringForm(const RMonitoringSettings& settings, const QString& status, QWidget* parent = nullptr);

    void Run();
    // The settings of a successful OK; Accepted() says whether there was one.
    RMonitoringSettings Settings() const { return m_settings; }
    bool Accepted() const { return m_accepted; }

    void BtnOkClick();

private:
    void ApplyLanguage();

    RMonitoringSettings m_settings;
    bool m_accepted = false;
    QCheckBox* CheckBoxMetrics = nullptr;
    QLineEdit* EditMetricsAddress = nullptr;
    QSpinBox* SpinMetricsStale = nullptr;
    QCheckBox* CheckBoxInflux = nullptr;
    QLineEdit* EditInfluxUrl = nullptr;
    QLineEdit* EditInfluxDb = nullptr;
    QLineEdit* EditInfluxToken = nullptr;
    QSpinBox* SpinSpoolMb = nullptr;
    QCheckBox* CheckBoxMqtt = nullptr;
    QLineEdit* EditMqttUrl = nullptr;
    QLineEdit* EditMqttUser = nullptr;
    QLineEdit* EditMqttPasswordFile = nullptr;
    QLineEdit* EditMqttPrefix = nullptr;
    QCheckBox* CheckBoxMqttRetain = nullptr;
    QCheckBox* CheckBoxMqttDiscovery = nullptr;
    QLabel* LabelStatus = nullptr;
    QPushButton* BtnOk = nullptr;
    QPushButton* BtnCancel = nullptr;
    QList<QLabel*> m_captions;
};
