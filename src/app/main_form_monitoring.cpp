// The window's monitoring outputs: the Prometheus endpoint and the InfluxDB
// writer the settings turn on, fed by the polling thread.
#include "app/main_form.h"

#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/thread_pack.h"
#include "views/message_boxes.h"
#include "views/monitoring_form.h"

namespace {

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

} // namespace

void TMainForm::BtnMonitoringClick()
{
    TMonitoringForm form(ReadMonitoringSettings(), MonitoringStatus(), this);
    form.Run();
    if (!form.Accepted())
        return;
    if (!WriteMonitoringSettings(form.Settings()))
        MessageBoxes::Warn(this, Text(TextId::kMonitoringNotSaved).arg(SettingsFilePath()));
    ApplyMonitoring(form.Settings());
}

void TMainForm::ApplyMonitoring(const RMonitoringSettings& settings)
{
    const bool attached = m_outputs.Sink() != nullptr;
    const std::vector<MonitoringOutputs::Problem> problems = m_outputs.Apply(settings);
    // The sink is given to the thread before it starts: a thread that gains
    // or loses it starts again (the fan-out itself follows the outputs live).
    if (IsPolling() && attached != (m_outputs.Sink() != nullptr)) {
        StopPolling();
        StartPolling();
    }
    QStringList messages;
    for (const MonitoringOutputs::Problem& problem : problems) {
        using Kind = MonitoringOutputs::Problem::Kind;
        switch (problem.kind) {
        case Kind::BadAddress:
            messages << Text(TextId::kMetricsAddressInvalid).arg(settings.metricsAddress.left(60));
            break;
        case Kind::NotServed:
            messages << Text(TextId::kMetricsNotServed).arg(problem.detail);
            break;
        case Kind::BadUrl:
            messages << Text(TextId::kInfluxUrlInvalid).arg(problem.detail);
            break;
        case Kind::NotStarted:
            messages << Text(TextId::kInfluxNotWritten).arg(problem.detail);
            break;
        }
    }
    if (!messages.isEmpty())
        MessageBoxes::Warn(this, messages.join(QLatin1Char('\n')));
}

QString TMainForm::MonitoringStatus() const
{
    QStringList lines;
    if (const std::optional<RListenAddress> served = m_outputs.MetricsServed())
        lines << Text(TextId::kMetricsServing).arg(QStringLiteral("http://%1/metrics").arg(served->toString()));
    if (const InfluxWriter* influx = m_outputs.Influx()) {
        const InfluxWriter::Counts counts = influx->counts();
        lines << Text(TextId::kInfluxCounts).arg(counts.sent).arg(counts.spooled).arg(counts.dropped);
    }
    return lines.join(QLatin1Char('\n'));
}
