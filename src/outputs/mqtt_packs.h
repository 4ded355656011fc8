#pragma once

#include "outputs/mqtt_publisher.h"
#include "outputs/output_sink.h"

#include "protocol/records.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

class TTextOper;

// Where and how the packs are published.
struct MqttSettings {
    MqttUrl url;
    QString prefix = QStringLiteral("bms");
    bool retainState = false;
    bool discovery = true;   // the Home Assistant discovery messages
    int queueLimit = 1000;
    // How long Start waits for the broker's first answer before the polling
    // starts anyway (the window waits little: its thread must not stall).
    std::chrono::milliseconds firstAnswer{5000};
    // Topics by pack number from the first reading, the bar code added to
    // the payload and the discovery when it is heard (a listener learns it
    // only if the master asks); else by bar code, read before the first
    // publication as polling does.
    bool byPackNumber = false;
};

// The first topic levels of everything the tool publishes: printable, with
// no wildcard, no empty level and no "$" in front. false with the reason.
bool CheckTopicPrefix(const QString& prefix, QString& error);
// A bar code as one topic level: trimmed, and every character a level must
// not hold ("/", "+", "#", blanks, control characters) replaced by "_".
// Empty when nothing is left.
QString TopicLevel(const QString& barCode);
// The same for the ids a home-automation system accepts in discovery
// topics: letters, digits, "_" and "-" only.
QString DiscoveryId(const QString& text);

// A pack's readings of one pass as one JSON object: the analog and alarm
// objects exactly as "--json" prints them, under the pack number and the
// bar code as read. Either reading may be missing.
QByteArray StatePayload(std::uint8_t pack, const QString& barCode, const RAnalogData* analog,
                        const RAlarmData* alarm, const TTextOper& texts);

// The packs as a home-automation system sees them through the broker:
//   PREFIX/availability        this service, "online", or "offline" as its last will
//   PREFIX/<id>/state          the readings of each pass (StatePayload)
//   PREFIX/<id>/availability   "online" while the pack answers, else "offline"
//   homeassistant/sensor/<node>/<object>/config   one discovery message per sensor
// <id> is the pack's bar code made safe, or its number when it has none (or
// always its number with byPackNumber).
//
// PackSampled runs on the polling thread, Pump, TakeEvents and Finish on
// the owner's; one lock keeps them apart. Publishing never waits for the
// broker.
class MqttPackPublisher final : public IOutputSink {
public:
    MqttPackPublisher(const MqttSettings& settings, const TTextOper& texts);

    // Connects (waiting briefly for the broker's first answer) and announces
    // the service; false with the reason when the broker refused the
    // credentials or the client could not start.
    bool Start(QString& error) override;
    // After a pack's turn, with what it gave. A pack known by its bar code
    // waits a few turns for it before it is known by its number.
    void PackSampled(const RPackSample& sample) override;
    // Sends what waits and notes changes of the connection; call it often.
    void Pump() override;
    std::vector<ROutputEvent> TakeEvents() override;
    // Marks the packs and the service offline, sends what it can in the time
    // given and notes what was published and dropped.
    void Finish(std::chrono::milliseconds within) override;
    QString Failure() const override;
    bool refused() const { return m_publisher.refused(); }
    QString refusal() const;
    // Packs not yet named are named by number from now on (listening), or
    // by bar code; the packs already named keep their topics.
    void SetByPackNumber(bool byPackNumber);

private:
    struct Pack {
        QString id;        // topic level; empty until known
        QString node;      // discovery id
        QString barCode;
        int barCodeFailures = 0;
        bool announced = false;
        std::optional<bool> online;
    };

    void identify(std::uint8_t pack, Pack& state, const QString& barCode);
    void announce(std::uint8_t pack, const Pack& state, const RAnalogData* analog);
    void setOnline(Pack& state, bool online);
    QByteArray topic(const QString& id, const char* leaf) const;
    void note(ROutputEvent::Kind kind, const QString& detail);   // with m_lock held
    void pumpLocked();

    MqttSettings m_settings;
    const TTextOper& m_texts;
    MqttPublisher m_publisher;
    mutable std::mutex m_lock;
    std::map<std::uint8_t, Pack> m_packs;   // guarded by m_lock
    std::vector<ROutputEvent> m_events;     // guarded by m_lock
    bool m_finished = false;                // guarded by m_lock
};
