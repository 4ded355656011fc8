#include "mqtt_publisher.h"

#include "services/input_text.h"

#include <QDeadlineTimer>
#include <QThread>

#include <mosquitto.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace {

constexpr int kKeepAliveSeconds = 30;
// The pause before a reconnection grows by a second per failed attempt up
// to half a minute.
constexpr unsigned kReconnectFirstSeconds = 1;
constexpr unsigned kReconnectMostSeconds = 30;
// Messages handed to the library and not yet acknowledged, at most; the
// rest wait in the queue, where the bound applies.
constexpr std::size_t kInFlight = 20;
constexpr int kQos = 1;
constexpr std::chrono::seconds kThreadStopWait{2};

std::int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Percent-decoding of the user name and password; false for a "%" that is
// not followed by two hex digits.
bool Decode(const QString& text, QString& decoded)
{
    const QByteArray bytes = text.toUtf8();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '%')
            continue;
        if (i + 2 >= bytes.size() || !std::isxdigit(static_cast<unsigned char>(bytes[i + 1]))
            || !std::isxdigit(static_cast<unsigned char>(bytes[i + 2])))
            return false;
    }
    decoded = QString::fromUtf8(QByteArray::fromPercentEncoding(bytes));
    return true;
}

QString LibraryError(int result)
{
    return QString::fromUtf8(mosquitto_strerror(result));
}

} // namespace

std::optional<MqttUrl> ParseMqttUrl(const QString& text, QString& error)
{
    const auto fail = [&](const QString& why) {
        error = QStringLiteral("--mqtt %1: %2").arg(QuotedInput(text), why);
        return std::nullopt;
    };
    const qsizetype schemeEnd = text.indexOf(QStringLiteral("://"));
    if (schemeEnd < 0)
        return fail(QStringLiteral("expected mqtt://[USER[:PASSWORD]@]HOST[:PORT]"));
    if (text.left(schemeEnd).compare(QStringLiteral("mqtt"), Qt::CaseInsensitive) != 0)
        return fail(QStringLiteral("only mqtt:// is supported"));
    QString rest = text.mid(schemeEnd + 3);
    if (rest.endsWith(QLatin1Char('/')))
        rest.chop(1);
    if (rest.contains(QLatin1Char('/')) || rest.contains(QLatin1Char('?')) || rest.contains(QLatin1Char('#')))
        return fail(QStringLiteral("a broker address has no path, query or fragment"));
    for (QChar c : rest)
        if (c.isSpace() || !c.isPrint())
            return fail(QStringLiteral("blanks and control characters are not allowed"));

    MqttUrl url;
    // The password may hold "@" only percent-encoded, so the last "@" ends
    // the user part.
    const qsizetype at = rest.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString userInfo = rest.left(at);
        rest = rest.mid(at + 1);
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        QString password;
        if (!Decode(userInfo.left(colon), url.user)
            || (colon >= 0 && !Decode(userInfo.mid(colon + 1), password)))
            return fail(QStringLiteral("bad percent-encoding in the user name or password"));
        if (url.user.isEmpty())
            return fail(QStringLiteral("the user name is empty"));
        if (colon >= 0)
            url.password = password;
    }

    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return fail(QStringLiteral("an IPv6 address needs its closing \"]\""));
        url.host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(QLatin1Char(':')))
            return fail(QStringLiteral("expected :PORT after the IPv6 address"));
        portText = after.mid(1);
        if (after.startsWith(QLatin1Char(':')) && portText.isEmpty())
            return fail(QStringLiteral("the port is empty"));
    } else {
        const qsizetype colon = rest.indexOf(QLatin1Char(':'));
        url.host = rest.left(colon);
        if (colon >= 0) {
            portText = rest.mid(colon + 1);
            if (portText.isEmpty())
                return fail(QStringLiteral("the port is empty"));
        }
        if (url.host.contains(QLatin1Char('[')) || url.host.contains(QLatin1Char(']')))
            return fail(QStringLiteral("an IPv6 address goes in brackets: mqtt://[::1]:1883"));
    }
    if (url.host.isEmpty())
        return fail(QStringLiteral("the host is missing"));
    if (!portText.isEmpty()) {
        bool ok = false;
        const int port = portText.toInt(&ok, 10);
        if (!ok || port < 1 || port > 65535 || portText.startsWith(QLatin1Char('+')))
            return fail(QStringLiteral("the port must be 1-65535"));
        url.port = port;
    }
    return url;
}

MqttPublisher::MqttPublisher(Options options) : m_options(std::move(options))
{
    mosquitto_lib_init();
}

MqttPublisher::~MqttPublisher()
{
    finish(0);
    if (m_abandoned)
        return;
    if (m_client)
        mosquitto_destroy(m_client);
    mosquitto_lib_cleanup();
}

QString MqttPublisher::broker() const
{
    const QString host = m_options.url.host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(m_options.url.host)
                                                                      : m_options.url.host;
    return QStringLiteral("%1:%2").arg(host).arg(m_options.url.port);
}

bool MqttPublisher::start(QString& error)
{
    // A clean session: what the broker should keep is retained and sent
    // again after each connection.
    m_client = mosquitto_new(nullptr, true, this);
    if (!m_client) {
        error = QStringLiteral("mqtt: cannot create a client");
        return false;
    }
    mosquitto_connect_callback_set(m_client, &MqttPublisher::OnConnect);
    mosquitto_disconnect_callback_set(m_client, &MqttPublisher::OnDisconnect);
    mosquitto_publish_callback_set(m_client, &MqttPublisher::OnPublish);
    mosquitto_reconnect_delay_set(m_client, kReconnectFirstSeconds, kReconnectMostSeconds, false);
    int result = MOSQ_ERR_SUCCESS;
    if (!m_options.willTopic.isEmpty())
        result = mosquitto_will_set(m_client, m_options.willTopic.constData(), 7, "offline", kQos, true);
    if (result == MOSQ_ERR_SUCCESS && !m_options.url.user.isEmpty()) {
        const QByteArray user = m_options.url.user.toUtf8();
        const QByteArray password = m_options.url.password.value_or(QString()).toUtf8();
        result = mosquitto_username_pw_set(m_client, user.constData(),
                                           m_options.url.password ? password.constData() : nullptr);
    }
    // The thread runs before the first connection so that it retries a
    // broker that is not there yet.
    if (result == MOSQ_ERR_SUCCESS)
        result = mosquitto_loop_start(m_client);
    if (result != MOSQ_ERR_SUCCESS) {
        error = QStringLiteral("mqtt: %1").arg(LibraryError(result));
        return false;
    }
    m_threadRunning = true;
    const QByteArray host = m_options.url.host.toUtf8();
    result = mosquitto_connect_async(m_client, host.constData(), m_options.url.port, kKeepAliveSeconds);
    if (result != MOSQ_ERR_SUCCESS) {
        std::lock_guard lock(m_mutex);
        m_connectPending = true;
        m_nextConnectMs = NowMs() + m_connectPauseMs;
        m_anyAttempt = true;
        m_events.push_back(Event{false, LibraryError(result)});
    }
    return true;
}

void MqttPublisher::retryConnect()
{
    if (!m_connectPending || NowMs() < m_nextConnectMs)
        return;
    const int result = mosquitto_reconnect_async(m_client);
    if (result == MOSQ_ERR_SUCCESS) {
        m_connectPending = false;
        return;
    }
    m_connectPauseMs = std::min<int>(m_connectPauseMs * 2, int(kReconnectMostSeconds) * 1000);
    m_nextConnectMs = NowMs() + m_connectPauseMs;
}

void MqttPublisher::waitForFirstAttempt(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    m_attempted.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_anyAttempt; });
}

void MqttPublisher::OnConnect(mosquitto* client, void* self, int result)
{
    auto* publisher = static_cast<MqttPublisher*>(self);
    // Wrong credentials do not get better by retrying; other refusals
    // (server unavailable) may.
    const bool refused = result == 4 || result == 5;
    {
        std::lock_guard lock(publisher->m_mutex);
        publisher->m_anyAttempt = true;
        if (result == 0) {
            publisher->m_connected = true;
            publisher->m_resendRetained = true;
            publisher->m_events.push_back(Event{true, {}});
        } else if (refused) {
            publisher->m_refused = true;
            publisher->m_refusal = QString::fromUtf8(mosquitto_connack_string(result));
        }
    }
    publisher->m_attempted.notify_all();
    if (refused)
        mosquitto_disconnect(client);
}

void MqttPublisher::OnDisconnect(mosquitto*, void* self, int result)
{
    auto* publisher = static_cast<MqttPublisher*>(self);
    {
        std::lock_guard lock(publisher->m_mutex);
        // A failed attempt after a failed attempt is no news.
        if (publisher->m_connected || !publisher->m_anyAttempt)
            publisher->m_events.push_back(Event{false, result == 0 ? QString() : LibraryError(result)});
        publisher->m_connected = false;
        publisher->m_anyAttempt = true;
    }
    publisher->m_attempted.notify_all();
}

void MqttPublisher::OnPublish(mosquitto*, void* self, int messageId)
{
    auto* publisher = static_cast<MqttPublisher*>(self);
    std::lock_guard lock(publisher->m_mutex);
    if (publisher->m_unacknowledged.erase(messageId) > 0)
        ++publisher->m_counts.published;
    else
        publisher->m_earlyAcks.insert(messageId);
}

void MqttPublisher::enqueue(Message message)
{
    if (message.retain) {
        // A retained message is the last word on its topic: it replaces
        // any older one still waiting, and is never dropped for space.
        m_retained[message.topic] = message.payload;
        std::erase_if(m_retainedQueue, [&](const Message& m) { return m.topic == message.topic; });
        m_retainedQueue.push_back(std::move(message));
        return;
    }
    if (int(m_readings.size()) >= m_options.queueLimit) {
        m_readings.pop_front();
        ++m_counts.dropped;
    }
    m_readings.push_back(std::move(message));
}

void MqttPublisher::publish(const QByteArray& topic, const QByteArray& payload, bool retain)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_finished)
            return;
        enqueue(Message{topic, payload, retain});
    }
    pump();
}

void MqttPublisher::pump()
{
    if (!m_client || m_finished)
        return;
    retryConnect();
    for (;;) {
        Message message;
        {
            std::lock_guard lock(m_mutex);
            if (m_resendRetained) {
                // Every retained topic again, as the broker may have lost
                // them (a restart without persistence).
                m_resendRetained = false;
                m_retainedQueue.clear();
                for (const auto& [topic, payload] : m_retained)
                    m_retainedQueue.push_back(Message{topic, payload, true});
            }
            if (!m_connected || m_unacknowledged.size() >= kInFlight)
                return;
            // Retained messages go first: the discovery messages and the
            // availability a reading depends on.
            std::deque<Message>& queue = m_retainedQueue.empty() ? m_readings : m_retainedQueue;
            if (queue.empty())
                return;
            message = std::move(queue.front());
            queue.pop_front();
        }
        int messageId = 0;
        const int result = mosquitto_publish(m_client, &messageId, message.topic.constData(),
                                             int(message.payload.size()), message.payload.constData(), kQos,
                                             message.retain);
        std::lock_guard lock(m_mutex);
        // A QoS 1 message that finds the connection gone is kept by the
        // library and sent after the reconnection; its acknowledgement
        // comes then.
        if (result == MOSQ_ERR_SUCCESS || result == MOSQ_ERR_NO_CONN) {
            if (m_earlyAcks.erase(messageId) > 0)
                ++m_counts.published;
            else
                m_unacknowledged.insert(messageId);
        } else {
            ++m_counts.dropped;
        }
        if (result == MOSQ_ERR_NO_CONN)
            return;
    }
}

bool MqttPublisher::refused() const
{
    std::lock_guard lock(m_mutex);
    return m_refused;
}

QString MqttPublisher::refusal() const
{
    std::lock_guard lock(m_mutex);
    return m_refusal;
}

std::vector<MqttPublisher::Event> MqttPublisher::takeEvents()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_events, {});
}

MqttPublisher::Counts MqttPublisher::counts() const
{
    std::lock_guard lock(m_mutex);
    Counts counts = m_counts;
    counts.waiting = std::int64_t(m_readings.size() + m_retainedQueue.size() + m_unacknowledged.size());
    return counts;
}

// The network thread may be inside an attempt to connect to a host that
// does not answer, which only the system's connect timeout (minutes) ends.
// It gets a moment to stop, else it is left to the end of the process
// rather than holding the tool's exit.
void MqttPublisher::stopThread()
{
    auto stopped = std::make_shared<std::promise<void>>();
    std::future<void> done = stopped->get_future();
    std::thread([client = m_client, stopped] {
        mosquitto_loop_stop(client, false);
        stopped->set_value();
    }).detach();
    if (done.wait_for(kThreadStopWait) != std::future_status::ready)
        m_abandoned = true;
}

MqttPublisher::Counts MqttPublisher::finish(int graceMs)
{
    if (m_finished || !m_client)
        return counts();
    const QDeadlineTimer deadline(graceMs);
    for (;;) {
        pump();
        {
            std::lock_guard lock(m_mutex);
            if (!m_connected || (m_readings.empty() && m_retainedQueue.empty() && m_unacknowledged.empty()))
                break;
        }
        if (deadline.hasExpired())
            break;
        QThread::msleep(10);
    }
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    if (m_threadRunning) {
        mosquitto_disconnect(m_client);
        stopThread();
        m_threadRunning = false;
    }
    std::lock_guard lock(m_mutex);
    m_counts.dropped += std::int64_t(m_readings.size() + m_retainedQueue.size() + m_unacknowledged.size());
    m_readings.clear();
    m_retainedQueue.clear();
    m_unacknowledged.clear();
    m_counts.waiting = 0;
    return m_counts;
}
