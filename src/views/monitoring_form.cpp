#include "views/monitoring_form.h"

#include "outputs/influx_writer.h"
#include "outputs/metrics_server.h"
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
    SpinSpoolMb->setValue(settings.spoolMb);
    row(SpinSpoolMb);
    CheckBoxMetrics->setChecked(settings.metricsOn);
    CheckBoxInflux->setChecked(settings.influxOn);
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
    const std::uint16_t captions[] = {TextId::kMetricsAddress, TextId::kMetricsStaleAfter, TextId::kInfluxUrl,
                                      TextId::kInfluxDatabase, TextId::kInfluxToken, TextId::kSpoolLimitMb};
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
    RMonitoringSettings settings;
    settings.metricsOn = CheckBoxMetrics->isChecked();
    settings.metricsAddress = EditMetricsAddress->text().trimmed();
    settings.metricsStaleSeconds = SpinMetricsStale->value();
    settings.influxOn = CheckBoxInflux->isChecked();
    settings.influxUrl = EditInfluxUrl->text().trimmed();
    settings.influxDb = EditInfluxDb->text().trimmed();
    settings.influxToken = EditInfluxToken->text().trimmed();
    settings.spoolMb = SpinSpoolMb->value();
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
    m_settings = settings;
    m_accepted = true;
    accept();
}
