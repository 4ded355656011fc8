#include "views/monitoring_form.h"

#include "outputs/influx_writer.h"
#include "outputs/metrics_server.h"
#include "outputs/monitoring_outputs.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "views/message_boxes.h"
#include "views/modal_run.h"
#include "views/password_echo.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

constexpr int kFieldLength = 512;

} // namespace

TMonitoringForm::TMonitoringForm(const RMonitoringSettings& settings, const QString& status, QWidget* parent)
    : QDialog(parent), m_settings(settings)
{
    setObjectName(QStringLiteral("MonitoringForm"));
    setModal(true);
    auto* column = new QVBoxLayout(this);
    auto named = [this]<typename Widget>(const char* name, Widget* widget) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };
    auto* form = new QFormLayout;
    auto row = [this, form](QWidget* field) {
        auto* caption = new QLabel(this);
        m_captions << caption;
        form->addRow(caption, field);
    };
    CheckBoxMetrics = named("CheckBoxMetrics", new QCheckBox(this));
    form->addRow(CheckBoxMetrics);
    EditMetricsAddress = named("EditMetricsAddress", new QLineEdit(settings.metricsAddress, this));
    EditMetricsAddress->setMaxLength(kFieldLength);
    row(EditMetricsAddress);
    SpinMetricsStale = named("SpinMetricsStale", new QSpinBox(this));
    SpinMetricsStale->setRange(1, 86400);
    SpinMetricsStale->setValue(settings.metricsStaleSeconds);
    row(SpinMetricsStale);
    CheckBoxInflux = named("CheckBoxInflux", new QCheckBox(this));
    form->addRow(CheckBoxInflux);
    EditInfluxUrl = named("EditInfluxUrl", new QLineEdit(settings.influxUrl, this));
    EditInfluxUrl->setPlaceholderText(QStringLiteral("http://127.0.0.1:8428"));
    EditInfluxUrl->setMaxLength(kFieldLength);
    row(EditInfluxUrl);
    EditInfluxDb = named("EditInfluxDb", new QLineEdit(settings.influxDb, this));
    EditInfluxDb->setMaxLength(kFieldLength);
    row(EditInfluxDb);
    EditInfluxToken = named("EditInfluxToken", new QLineEdit(settings.influxToken, this));
    EditInfluxToken->setMaxLength(kFieldLength);
    ShowPasswordAsStars(EditInfluxToken);
    row(EditInfluxToken);
    SpinSpoolMb = named("SpinSpoolMb", new QSpinBox(this));
    SpinSpoolMb->setRange(1, 1048576);
    SpinSpoolMb->setValue(int(std::clamp<std::int64_t>(settings.spoolBytes / (1024 * 1024), 1, 1048576)));
    row(SpinSpoolMb);
    CheckBoxMqtt = named("CheckBoxMqtt", new QCheckBox(this));
    form->addRow(CheckBoxMqtt);
    EditMqttUrl = named("EditMqttUrl", new QLineEdit(settings.mqttUrl, this));
    EditMqttUrl->setPlaceholderText(QStringLiteral("mqtt://127.0.0.1:1883"));
    EditMqttUrl->setMaxLength(kFieldLength);
    row(EditMqttUrl);
    EditMqttUser = named("EditMqttUser", new QLineEdit(settings.mqttUser, this));
    EditMqttUser->setMaxLength(kFieldLength);
    row(EditMqttUser);
    EditMqttPasswordFile = named("EditMqttPasswordFile", new QLineEdit(settings.mqttPasswordFile, this));
    EditMqttPasswordFile->setMaxLength(kFieldLength);
    row(EditMqttPasswordFile);
    EditMqttPrefix = named("EditMqttPrefix", new QLineEdit(settings.mqttPrefix, this));
    EditMqttPrefix->setMaxLength(kFieldLength);
    row(EditMqttPrefix);
    CheckBoxMqttRetain = named("CheckBoxMqttRetain", new QCheckBox(this));
    form->addRow(CheckBoxMqttRetain);
    CheckBoxMqttDiscovery = named("CheckBoxMqttDiscovery", new QCheckBox(this));
    form->addRow(CheckBoxMqttDiscovery);
    CheckBoxMetrics->setChecked(settings.metricsOn);
    CheckBoxInflux->setChecked(settings.influxOn);
    CheckBoxMqtt->setChecked(settings.mqttOn);
    CheckBoxMqttRetain->setChecked(settings.mqttRetain);
    CheckBoxMqttDiscovery->setChecked(settings.mqttDiscovery);
    column->addLayout(form);

    LabelStatus = named("LabelStatus", new QLabel(status, this));
    LabelStatus->setVisible(!status.isEmpty());
    LabelStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(LabelStatus);

    BtnOk = named("BtnOk", new QPushButton(this));
    BtnOk->setDefault(true);
    BtnCancel = named("BtnCancel", new QPushButton(this));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnOk);
    buttons->addWidget(BtnCancel);
    column->addLayout(buttons);
    connect(BtnOk, &QPushButton::clicked, this, &TMonitoringForm::BtnOkClick);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    ApplyLanguage();
}

void TMonitoringForm::ApplyLanguage()
{
    setWindowTitle(Text(TextId::kMonitoringTitle));
    CheckBoxMetrics->setText(Text(TextId::kMetricsServe));
    CheckBoxInflux->setText(Text(TextId::kInfluxWrite));
    CheckBoxMqtt->setText(Text(TextId::kMqttPublish));
    CheckBoxMqttRetain->setText(Text(TextId::kMqttRetain));
    CheckBoxMqttDiscovery->setText(Text(TextId::kMqttDiscovery));
    const std::uint16_t captions[] = {TextId::kMetricsAddress, TextId::kMetricsStaleAfter, TextId::kInfluxUrl,
                                      TextId::kInfluxDatabase,  TextId::kInfluxToken,       TextId::kSpoolLimitMb,
                                      TextId::kMqttBrokerUrl,   TextId::kMqttUser,          TextId::kMqttPasswordFile,
                                      TextId::kMqttPrefix};
    for (int k = 0; k < m_captions.size(); ++k)
        m_captions[k]->setText(Text(captions[k]));
    BtnOk->setText(Text(TextId::kOk));
    BtnCancel->setText(Text(TextId::kCancel));
}

void TMonitoringForm::Run()
{
    TModalRun<TMonitoringForm>::Run(*this);
}

void TMonitoringForm::BtnOkClick()
{
    // What the dialog does not show (the token file, the time-out, the
    // spool folder, the queue) stays as it was.
    RMonitoringSettings settings = m_settings;
    settings.metricsOn = CheckBoxMetrics->isChecked();
    settings.metricsAddress = EditMetricsAddress->text().trimmed();
    settings.metricsStaleSeconds = SpinMetricsStale->value();
    settings.influxOn = CheckBoxInflux->isChecked();
    settings.influxUrl = EditInfluxUrl->text().trimmed();
    settings.influxDb = EditInfluxDb->text().trimmed();
    settings.influxToken = EditInfluxToken->text().trimmed();
    settings.spoolBytes = std::int64_t(SpinSpoolMb->value()) * 1024 * 1024;
    settings.mqttOn = CheckBoxMqtt->isChecked();
    settings.mqttUrl = EditMqttUrl->text().trimmed();
    settings.mqttUser = EditMqttUser->text().trimmed();
    settings.mqttPasswordFile = EditMqttPasswordFile->text().trimmed();
    settings.mqttPrefix = EditMqttPrefix->text().trimmed();
    settings.mqttRetain = CheckBoxMqttRetain->isChecked();
    settings.mqttDiscovery = CheckBoxMqttDiscovery->isChecked();
    if (settings.metricsOn && !ParseListenAddress(settings.metricsAddress)) {
        MessageBoxes::Inform(this, Text(TextId::kMetricsAddressInvalid).arg(settings.metricsAddress.left(60)));
        EditMetricsAddress->setFocus();
        return;
    }
    if (settings.influxOn) {
        InfluxSettings influx;
        influx.url = QUrl(settings.influxUrl);
        QString error;
        if (!InfluxWriteUrl(influx, error)) {
            MessageBoxes::Inform(this, Text(TextId::kInfluxUrlInvalid).arg(settings.influxUrl.left(60)));
            EditInfluxUrl->setFocus();
            return;
        }
    }
    if (settings.mqttOn) {
        QString error;
        if (!MqttSettingsOf(settings, error)) {
            MessageBoxes::Inform(this, Text(TextId::kMqttUrlInvalid).arg(error.left(200)));
            EditMqttUrl->setFocus();
            return;
        }
    }
    m_settings = settings;
    m_accepted = true;
    accept();
}
