#pragma once

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

struct mosquitto;

// Where to publish: mqtt://[USER[:PASSWORD]@]HOST[:PORT]. The user name and
// password may be percent-encoded ("%40" for "@").
struct MqttUrl {
    QString user;                      // empty: none
    std::optional<QString> password;
    QString host;                      // a name, an IPv4 address or an IPv6 address without brackets
    int port = 1883;

    friend bool operator==(const MqttUrl&, const MqttUrl&) = default;
};

// None with the reason for anything else: another scheme, a missing host, a
// port outside 1-65535, a path, query or fragment, bad percent-encoding.
std::optional<MqttUrl> ParseMqttUrl(const QString& text, QString& error);

// A client of one broker that never makes its caller wait: messages go into
// a bounded queue, and libmosquitto's own network thread sends them, keeps
// the connection and reconnects with a growing pause when the broker goes
// away. Every message is sent with QoS 1, so "published" means the broker
// acknowledged it. While the broker is unreachable the queue fills; when it
// holds queueLimit readings the oldest waits no longer and counts as
// dropped. Retained messages wait apart, the latest of each topic only.
//
// The queue is filled and emptied on the caller's thread (publish, pump);
// the network thread only reports connections and acknowledgements, under
// the same lock, and never calls into the library while holding it.
class MqttPublisher {
public:
    struct Options {
        MqttUrl url;
        QByteArray willTopic;     // gets a retained "offline" when the connection dies
        int queueLimit = 1000;
    };
    struct Counts {
        std::int64_t published = 0;   // acknowledged by the broker
        std::int64_t dropped = 0;     // pushed out of a full queue, or never acknowledged by the end
        std::int64_t waiting = 0;     // queued or unacknowledged
    };
    // A change of the connection, for the caller to report.
    struct Event {
        bool connected = false;
        QString detail;
    };

    explicit MqttPublisher(Options options);
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Starts the network thread and the first connection; false with the
    // reason when the library could not be set up. A broker that does not
    // answer is no failure: the thread keeps trying.
    bool start(QString& error);
    // Waits until the first connection attempt has an outcome (connected,
    // refused or failed), at most timeoutMs.
    void waitForFirstAttempt(int timeoutMs);

    // Queues a message and hands what the connection can take to the
    // library. A retained message is remembered and sent again after every
    // reconnection, since a restarted broker may have lost it.
    void publish(const QByteArray& topic, const QByteArray& payload, bool retain);
    // Hands queued messages to the library while connected; call it often.
    void pump();

    // The broker refused the credentials; the client gives up then.
    bool refused() const;
    QString refusal() const;
    std::vector<Event> takeEvents();
    Counts counts() const;
    QString broker() const;

    // Waits up to graceMs for the queue to drain while connected, then
    // disconnects cleanly (no last will) and stops the network thread. What
    // is still waiting then counts as dropped.
    Counts finish(int graceMs);

private:
    struct Message {
        QByteArray topic;
        QByteArray payload;
        bool retain = false;
    };
    static void OnConnect(mosquitto* client, void* self, int result);
    static void OnDisconnect(mosquitto* client, void* self, int result);
    static void OnPublish(mosquitto* client, void* self, int messageId);

    void enqueue(Message message);   // with m_mutex held
    void retryConnect();
    void stopThread();

    Options m_options;
    mosquitto* m_client = nullptr;
    bool m_threadRunning = false;
    bool m_finished = false;
    bool m_abandoned = false;   // the network thread did not stop in time
    // A connection the library could not even begin (no address for the
    // host) is begun again from pump(), as the network thread only retries
    // connections that once began.
    bool m_connectPending = false;
    std::int64_t m_nextConnectMs = 0;
    int m_connectPauseMs = 1000;

    mutable std::mutex m_mutex;
    std::condition_variable m_attempted;
    bool m_anyAttempt = false;
    bool m_connected = false;
    bool m_resendRetained = false;
    bool m_refused = false;
    QString m_refusal;
    std::deque<Message> m_readings;         // at most queueLimit
    std::deque<Message> m_retainedQueue;    // at most one per topic
    std::map<QByteArray, QByteArray> m_retained;
    std::set<int> m_unacknowledged;   // message ids handed to the library
    std::set<int> m_earlyAcks;        // acknowledged before their id was filed
    std::vector<Event> m_events;
    Counts m_counts;
};
