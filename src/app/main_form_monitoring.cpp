// The window's monitoring outputs: the Prometheus endpoint, the InfluxDB
// writer and MQTT the settings turn on, fed by the polling thread (or the
// listener). Their events reach the status bar and the outputs dialog.
#include "app/main_form.h"
#include "outputs/metrics_server.h"

#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/thread_pack.h"
#include "views/message_boxes.h"
#include "views/monitoring_form.h"

#include <QLabel>
#include <QStatusBar>
#include <QTimer>

namespace {

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

// How often the outputs are kept going and their events shown, and how
// many recent events the dialog lists.
constexpr std::chrono::milliseconds kOutputsTick{500};
constexpr int kRecentEvents = 8;
constexpr std::chrono::milliseconds kMqttFirstAnswer{300};

// What the user reads of an event; empty for what needs no word.
QString EventText(const ROutputEvent& event)
{
    using Kind = ROutputEvent::Kind;
    using Output = ROutputEvent::Output;
    const QString said = event.httpStatus != 0 ? QString::number(event.httpStatus)
                                                   + (event.detail.isEmpty() ? QString() : u' ' + event.detail)
                                               : event.detail;
    switch (event.kind) {
    case Kind::Started:
        if (event.output == Output::Metrics)
            return Text(TextId::kMetricsServing).arg(event.where);
        return event.output == Output::Mqtt ? Text(TextId::kMqttConnected).arg(event.where) : QString();
    case Kind::NotStarted:
        switch (event.output) {
        case Output::Metrics: return Text(TextId::kMetricsNotServed).arg(event.detail);
        case Output::Influx: return Text(TextId::kInfluxNotWritten).arg(event.detail);
        case Output::Mqtt: return Text(TextId::kMqttNotStarted).arg(event.detail);
        case Output::Csv: return event.detail;
        }
        return event.detail;
    case Kind::Unreachable:
        return event.output == Output::Mqtt ? Text(TextId::kMqttUnreachable).arg(event.where, event.detail)
                                            : Text(TextId::kInfluxUnreachable).arg(event.where, said);
    case Kind::Back: return Text(TextId::kInfluxBack).arg(event.where);
    case Kind::Refused: return Text(TextId::kInfluxRefused).arg(event.where, said).arg(event.counts.rejected);
    case Kind::SpoolFull: return Text(TextId::kInfluxSpoolFull).arg(event.detail);
    case Kind::SpoolFailed: return Text(TextId::kInfluxSpoolFailed).arg(event.detail);
    case Kind::QueueFull: return Text(TextId::kOutputFellBehind).arg(QStringLiteral("InfluxDB"));
    case Kind::FileFailed:
    case Kind::SpoolCut:
    case Kind::RemoveFailed: return event.detail;
    case Kind::Finished: return {};
    }
    return {};
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
    // The status bar's place for the outputs' events, and the timer that
    // keeps them going, made once; both go with the window.
    auto* label = StatusBar1->findChild<QLabel*>(QStringLiteral("StatusBar1Outputs"));
    if (!label) {
        label = new QLabel(StatusBar1);
        label->setObjectName(QStringLiteral("StatusBar1Outputs"));
        StatusBar1->addPermanentWidget(label);
        auto* timer = new QTimer(this);
        timer->setObjectName(QStringLiteral("OutputsTimer"));
        timer->setInterval(kOutputsTick);
        connect(timer, &QTimer::timeout, this, [this, label] {
            m_outputs.SetListening(Globals().Listening.load());
            m_outputs.Pump();
            QStringList recent = label->toolTip().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            for (const ROutputEvent& event : m_outputs.TakeEvents()) {
                const QString text = EventText(event);
                if (text.isEmpty())
                    continue;
                label->setText(text.left(120));
                recent << text;
            }
            while (recent.size() > kRecentEvents)
                recent.removeFirst();
            label->setToolTip(recent.join(QLatin1Char('\n')));
        });
        timer->start();
    }
    const bool attached = m_outputs.Sink() != nullptr;
    MonitoringOutputs::Use use;
    use.listening = Globals().Listening.load();
    // The broker's answer arrives as an event; the window does not stall for it.
    use.mqttFirstAnswer = kMqttFirstAnswer;
    label->clear();
    label->setToolTip(QString());
    m_outputs.Apply(settings, use);
    // Taken at once: restarting the polling below may let the timer run.
    // What could not start is said in a message; the rest reaches the
    // status bar.
    QStringList messages;
    QStringList recent;
    for (const ROutputEvent& event : m_outputs.TakeEvents()) {
        const QString text = EventText(event);
        if (event.kind == ROutputEvent::Kind::NotStarted) {
            messages << text;
        } else if (!text.isEmpty()) {
            label->setText(text.left(120));
            recent << text;
        }
    }
    label->setToolTip(recent.join(QLatin1Char('\n')));
    // The sink is given to the thread before it starts: a thread that gains
    // or loses it starts again (the fan-out itself follows the outputs live).
    if (IsPolling() && attached != (m_outputs.Sink() != nullptr)) {
        StopPolling();
        StartPolling();
    }
    if (!messages.isEmpty())
        MessageBoxes::Warn(this, messages.join(QLatin1Char('\n')));
}

QString TMainForm::MonitoringStatus() const
{
    QStringList lines;
    if (const std::optional<RListenAddress> served = m_outputs.MetricsServed())
        lines << Text(TextId::kMetricsServing).arg(MetricsUrl(*served));
    if (const InfluxWriter* influx = m_outputs.Influx()) {
        const InfluxWriter::Counts counts = influx->counts();
        lines << Text(TextId::kInfluxCounts).arg(counts.sent).arg(counts.spooled).arg(counts.dropped);
    }
    if (const auto* label = StatusBar1->findChild<QLabel*>(QStringLiteral("StatusBar1Outputs"));
        label && !label->toolTip().isEmpty())
        lines << Text(TextId::kOutputsEvents) << label->toolTip().trimmed();
    return lines.join(QLatin1Char('\n'));
}
