#include "poll_view.h"

#include "interrupt.h"

#include <QFile>

namespace {

// The password: in the URL, or the first line of --mqtt-password-file, or
// BMS_MQTT_PASSWORD, so that it need not show in the process list.
bool PrepareMqttPassword(const CommandArgs& args, MqttUrl& url, QString& error)
{
    if (args.has("--mqtt-password-file")) {
        const QString path = args.value("--mqtt-password-file");
        if (url.password) {
            error = QStringLiteral("give the MQTT password once: in the URL or in --mqtt-password-file");
            return false;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("--mqtt-password-file: cannot read %1: %2").arg(QuotedInput(path), file.errorString());
            return false;
        }
        QByteArray line = file.readLine(4096);
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        url.password = QString::fromUtf8(line);
    } else if (!url.password && qEnvironmentVariableIsSet("BMS_MQTT_PASSWORD")) {
        url.password = qEnvironmentVariable("BMS_MQTT_PASSWORD");
    }
    if (url.password && url.user.isEmpty()) {
        if (!args.has("--mqtt-password-file")) {
            url.password.reset();   // the variable is not meant for a broker without users
            return true;
        }
        error = QStringLiteral("an MQTT password needs a user name: mqtt://USER@HOST");
        return false;
    }
    return true;
}

} // namespace

bool PrepareMqtt(const CommandArgs& args, std::optional<MqttSettings>& settings, QString& error)
{
    if (!args.has("--mqtt")) {
        for (const char* option : {"--mqtt-prefix", "--mqtt-retain", "--mqtt-queue", "--mqtt-password-file"})
            if (args.has(option)) {
                error = QStringLiteral("%1 goes with --mqtt URL").arg(QString::fromLatin1(option));
                return false;
            }
        return true;
    }
    MqttSettings mqtt;
    const std::optional<MqttUrl> url = ParseMqttUrl(args.value("--mqtt"), error);
    if (!url)
        return false;
    mqtt.url = *url;
    if (args.has("--mqtt-prefix")) {
        mqtt.prefix = args.value("--mqtt-prefix");
        if (!CheckTopicPrefix(mqtt.prefix, error))
            return false;
    }
    mqtt.retainState = args.has("--mqtt-retain");
    if (args.has("--mqtt-queue")) {
        const auto limit = ParseWholeIn(args.value("--mqtt-queue"), 1, kMaxMqttQueue);
        if (!limit) {
            error = QStringLiteral("--mqtt-queue takes messages 1-%1, not %2")
                        .arg(kMaxMqttQueue)
                        .arg(QuotedInput(args.value("--mqtt-queue")));
            return false;
        }
        mqtt.queueLimit = int(*limit);
    }
    if (!PrepareMqttPassword(args, mqtt.url, error))
        return false;
    settings = mqtt;
    return true;
}

bool StartMqtt(Session& session, const std::optional<MqttSettings>& settings,
               std::optional<MqttPackPublisher>& mqtt, QString& error)
{
    if (!settings)
        return true;
    mqtt.emplace(*settings, session.store().TextOper(), session.out());
    return mqtt->start(error);
}

std::function<bool()> StopRequested(const MqttPackPublisher* publisher)
{
    // Credentials the broker refuses end the run as a failure.
    return [publisher] { return InterruptRequested() || (publisher && publisher->refused()); };
}

bool FinishMqtt(MqttPackPublisher& publisher)
{
    const bool refused = publisher.refused();
    publisher.finish();
    return !refused;
}
