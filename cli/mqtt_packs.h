#pragma once

#include "mqtt_publisher.h"
#include "output.h"

#include "protocol/records.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

class TTextOper;

// What "poll --mqtt" publishes to.
struct MqttSettings {
    MqttUrl url;
    QString prefix = QStringLiteral("bms");
    bool retainState = false;
    int queueLimit = 1000;
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
// <id> is the pack's bar code made safe, or its number when it has none.
// Runs on the polling thread; publishing never waits for the broker.
class MqttPackPublisher {
public:
    // Reads a pack's bar code; none when the pack did not answer.
    using BarCodeReader = std::function<std::optional<QString>()>;

    MqttPackPublisher(const MqttSettings& settings, const TTextOper& texts, const Output& output);

    // Connects (waiting briefly for the broker's first answer) and announces
    // the service; false with the reason when the broker refused the
    // credentials or the client could not start.
    bool start(QString& error);
    // After a pack's turn in a pass, with what it gave (null when a read
    // failed). A pack's bar code is read once, the first time it answers.
    void packPolled(std::uint8_t pack, const BarCodeReader& readBarCode, const RAnalogData* analog,
                    const RAlarmData* alarm);
    // Sends what waits and reports changes of the connection; call it often.
    void pump();
    bool refused() const { return m_publisher.refused(); }
    QString refusal() const;
    // Marks the packs and the service offline, sends what it can within a
    // few seconds and reports what was published and dropped.
    void finish();

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
    void announce(std::uint8_t pack, const Pack& state);
    void setOnline(Pack& state, bool online);
    QByteArray topic(const QString& id, const char* leaf) const;
    void report(const char* event, const QString& detail);

    MqttSettings m_settings;
    const TTextOper& m_texts;
    const Output& m_output;
    MqttPublisher m_publisher;
    std::map<std::uint8_t, Pack> m_packs;
};
