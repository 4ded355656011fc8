// poll --mqtt and listen --mqtt against a real broker (mosquitto on a free
// loopback port of the test's own) and the simulated bus: what subscribers
// see, a broker that goes away and comes back, refused credentials, a pack
// heard before its bar code; and the URL and topic rules on their own.

#include "tool_process.h"

#include "lib/sim_bus.h"
#include "outputs/mqtt_packs.h"
#include "protocol/frame.h"
#include "support/mqtt_broker.h"
#include "support/pseudo_terminal.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <signal.h>
#include <map>

namespace {

struct Message {
    bool retained = false;
    QString topic;
    QByteArray payload;
    QJsonObject json() const { return QJsonDocument::fromJson(payload).object(); }
};

// mosquitto_sub on everything the tool publishes.
QStringList Subscription(int port)
{
    return {QStringLiteral("-p"), QString::number(port), QStringLiteral("-F"), QStringLiteral("%r %t %p"),
            QStringLiteral("-t"), QStringLiteral("bms/#"), QStringLiteral("-t"), QStringLiteral("homeassistant/#")};
}
const QString kSubscriber = QStringLiteral("/usr/bin/mosquitto_sub");

std::vector<Message> Messages(const LineReader& subscriber)
{
    std::vector<Message> messages;
    for (const QByteArray& line : subscriber.lines()) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() >= 3)
            messages.push_back(Message{parts[0] == "1", QString::fromUtf8(parts[1]),
                                       line.mid(parts[0].size() + parts[1].size() + 2)});
    }
    return messages;
}

std::size_t Count(const std::vector<Message>& messages, const QString& topic, const QByteArray& payload = {})
{
    return std::size_t(std::count_if(messages.begin(), messages.end(), [&](const Message& m) {
        return m.topic == topic && (payload.isEmpty() || m.payload == payload);
    }));
}

std::size_t CountEnding(const std::vector<Message>& messages, const QString& end)
{
    return std::size_t(
        std::count_if(messages.begin(), messages.end(), [&](const Message& m) { return m.topic.endsWith(end); }));
}

// The tool polling until stopped.
QStringList Polling(const ToolOnSim& sim, const QStringList& arguments)
{
    return QStringList{QStringLiteral("--port"), sim.sim().linkPath(), QStringLiteral("--json"), QStringLiteral("poll")}
        + arguments;
}

std::vector<QJsonObject> Objects(const LineReader& tool)
{
    std::vector<QJsonObject> objects;
    for (const QByteArray& line : tool.lines())
        objects.push_back(QJsonDocument::fromJson(line).object());
    return objects;
}

std::size_t CountType(const LineReader& tool, const char* type)
{
    const std::vector<QJsonObject> objects = Objects(tool);
    return std::size_t(std::count_if(objects.begin(), objects.end(), [type](const QJsonObject& o) {
        return o[QStringLiteral("type")].toString() == QLatin1String(type);
    }));
}

TEST(ToolMqtt, UrlsAndTopicLevels)
{
    struct UrlCase {
        const char* text;
        std::optional<MqttUrl> url;
    };
    const UrlCase urls[] = {
        {"mqtt://broker", MqttUrl{{}, {}, QStringLiteral("broker"), 1883}},
        {"MQTT://10.0.0.2:1884/", MqttUrl{{}, {}, QStringLiteral("10.0.0.2"), 1884}},
        {"mqtt://ha@broker", MqttUrl{QStringLiteral("ha"), {}, QStringLiteral("broker"), 1883}},
        {"mqtt://ha:p%40ss:w@[::1]:8883", MqttUrl{QStringLiteral("ha"), QStringLiteral("p@ss:w"), QStringLiteral("::1"), 8883}},
        {"mqtt://ha:@broker:1", MqttUrl{QStringLiteral("ha"), QString(), QStringLiteral("broker"), 1}},
        {"mqtts://broker", std::nullopt},
        {"http://broker", std::nullopt},
        {"broker:1883", std::nullopt},
        {"mqtt://", std::nullopt},
        {"mqtt://:pw@broker", std::nullopt},
        {"mqtt://broker:0", std::nullopt},
        {"mqtt://broker:65536", std::nullopt},
        {"mqtt://broker:", std::nullopt},
        {"mqtt://broker:18x3", std::nullopt},
        {"mqtt://broker/topic", std::nullopt},
        {"mqtt://broker?x=1", std::nullopt},
        {"mqtt://br oker", std::nullopt},
        {"mqtt://u:%4@broker", std::nullopt},
        {"mqtt://::1:1883", std::nullopt},
    };
    for (const UrlCase& c : urls) {
        QString error;
        EXPECT_EQ(ParseMqttUrl(QString::fromUtf8(c.text), error), c.url) << c.text;
        EXPECT_EQ(error.isEmpty(), c.url.has_value()) << c.text;
    }

    const std::pair<const char*, const char*> levels[] = {
        {" PK-2024/0001 ", "PK-2024_0001"}, {"A+B#C", "A_B_C"}, {"tab\there\x01", "tab_here_"},
        {"电池 01", "电池_01"}, {"   ", ""},
    };
    for (const auto& [barCode, level] : levels)
        EXPECT_EQ(TopicLevel(QString::fromUtf8(barCode)), QString::fromUtf8(level)) << barCode;
    EXPECT_EQ(DiscoveryId(QStringLiteral("home/bms_电池.1")), QStringLiteral("home_bms____1"));

    QString error;
    for (const char* prefix : {"bms", "home/bms"})
        EXPECT_TRUE(CheckTopicPrefix(QString::fromUtf8(prefix), error)) << prefix;
    for (const char* prefix : {"", "bms/", "/bms", "a//b", "bms/+", "bms#", "$SYS", "my bms"})
        EXPECT_FALSE(CheckTopicPrefix(QString::fromUtf8(prefix), error)) << prefix;
}

TEST(ToolMqtt, SubscribersSeeReadingsDiscoveryAndTheLastWill)
{
    Broker broker;
    ASSERT_TRUE(broker.start());
    const ToolOnSim sim({}, 3);
    ASSERT_TRUE(sim.isReady()) << sim.error().toStdString();
    // Bar codes with characters a topic level must not hold, alike once
    // made safe.
    ASSERT_EQ(sim.run(Words({"--address", "2", "barcode", "set", "RACK/2+#A"})).exitCode, 0);
    ASSERT_EQ(sim.run(Words({"--address", "3", "barcode", "set", "RACK+2/#A"})).exitCode, 0);

    LineReader live(kSubscriber, Subscription(broker.port()));
    LineReader tool(QStringLiteral(BMS_TOOL_PROGRAM),
                    Polling(sim, {QStringLiteral("--packs"), QStringLiteral("1-3"), QStringLiteral("--interval"),
                                  QStringLiteral("200"), QStringLiteral("--mqtt"), broker.url()}));
    const QStringList states = {QStringLiteral("bms/SIM48V100AH0001/state"), QStringLiteral("bms/RACK_2__A/state"),
                                QStringLiteral("bms/RACK_2__A_3/state")};
    ASSERT_TRUE(live.waitFor([&] {
        const std::vector<Message> got = Messages(live);
        return std::all_of(states.begin(), states.end(), [&](const QString& t) { return Count(got, t) >= 2; });
    })) << tool.errors().toStdString();
    const std::vector<Message> seen = Messages(live);

    // Each state carries the pack, its bar code as read, and its readings.
    for (const Message& message : seen) {
        const int pack = int(states.indexOf(message.topic)) + 1;
        if (pack == 0)
            continue;
        const QJsonObject state = message.json();
        EXPECT_EQ(state[QStringLiteral("pack")].toInt(), pack);
        const QString barCodes[] = {QStringLiteral("SIM48V100AH0001"), QStringLiteral("RACK/2+#A"),
                                    QStringLiteral("RACK+2/#A")};
        EXPECT_EQ(state[QStringLiteral("bar_code")].toString(), barCodes[pack - 1]);
        const QJsonObject analog = state[QStringLiteral("analog")].toObject();
        EXPECT_EQ(analog[QStringLiteral("pack")].toInt(), pack);
        EXPECT_GT(analog[QStringLiteral("voltage_V")].toDouble(), 0.0);
        EXPECT_EQ(state[QStringLiteral("alarm")].toObject()[QStringLiteral("type")].toString(), QStringLiteral("alarm"));
        EXPECT_FALSE(message.retained);
    }

    // Discovery: every sensor of every pack, with units and a template
    // into the state.
    const QString config = QStringLiteral("homeassistant/sensor/bms_RACK_2__A/voltage/config");
    ASSERT_EQ(Count(seen, config), 1u);
    const QJsonObject voltage =
        std::find_if(seen.begin(), seen.end(), [&](const Message& m) { return m.topic == config; })->json();
    EXPECT_EQ(voltage[QStringLiteral("state_topic")].toString(), states[1]);
    EXPECT_EQ(voltage[QStringLiteral("value_template")].toString(), QStringLiteral("{{ value_json.analog.voltage_V }}"));
    EXPECT_EQ(voltage[QStringLiteral("device_class")].toString(), QStringLiteral("voltage"));
    EXPECT_EQ(voltage[QStringLiteral("unit_of_measurement")].toString(), QStringLiteral("V"));
    EXPECT_EQ(voltage[QStringLiteral("state_class")].toString(), QStringLiteral("measurement"));
    EXPECT_EQ(voltage[QStringLiteral("unique_id")].toString(), QStringLiteral("bms_RACK_2__A_voltage"));
    EXPECT_EQ(voltage[QStringLiteral("device")].toObject()[QStringLiteral("serial_number")].toString(),
              QStringLiteral("RACK/2+#A"));
    EXPECT_EQ(voltage[QStringLiteral("availability")].toArray().size(), 2);
    EXPECT_EQ(CountEnding(seen, QStringLiteral("/config")), 3u * 14u);
    for (const char* object : {"current", "soc", "soh", "remaining", "cycles", "cell_min", "cell_max", "temp_1",
                               "temp_4", "ambient", "fet"})
        EXPECT_EQ(Count(seen,
                        QStringLiteral("homeassistant/sensor/bms_RACK_2__A_3/%1/config").arg(QLatin1String(object))),
                  1u)
            << object;

    // A subscriber that comes later gets the retained messages at once.
    LineReader later(kSubscriber, Subscription(broker.port()));
    ASSERT_TRUE(later.waitFor([&] {
        const std::vector<Message> got = Messages(later);
        return CountEnding(got, QStringLiteral("/config")) == 42 && Count(got, QStringLiteral("bms/availability")) == 1
            && CountEnding(got, QStringLiteral("/availability")) == 4;
    }));
    const std::vector<Message> retained = Messages(later);
    for (const Message& message : retained)
        EXPECT_EQ(message.retained, !message.topic.endsWith(QStringLiteral("/state"))) << message.topic.toStdString();
    EXPECT_EQ(Count(retained, QStringLiteral("bms/availability"), "online"), 1u);
    EXPECT_EQ(Count(retained, QStringLiteral("bms/RACK_2__A_3/availability"), "online"), 1u);

    // Killed, the service is seen offline through its last will.
    tool.end(SIGKILL);
    EXPECT_TRUE(live.waitFor([&] { return Count(Messages(live), QStringLiteral("bms/availability"), "offline") == 1; }));

    // The readings are published exactly as --json printed them.
    std::size_t compared = 0;
    for (const Message& message : Messages(live)) {
        if (!message.topic.endsWith(QStringLiteral("/state")))
            continue;
        const qsizetype start = message.payload.indexOf("\"analog\":") + 9;
        const QByteArray analog = message.payload.mid(start, message.payload.indexOf('}', start) - start + 1);
        EXPECT_TRUE(tool.lines().contains(analog)) << analog.toStdString();
        ++compared;
    }
    EXPECT_GE(compared, 6u);
}

// The broker is away at the start and once more in the middle: polling
// goes on, publishing resumes, and what could not wait is counted.
TEST(ToolMqtt, PublishingResumesWhenTheBrokerComesBack)
{
    constexpr int kQueue = 5;
    Broker broker;
    const ToolOnSim sim({}, 3);
    ASSERT_TRUE(sim.isReady()) << sim.error().toStdString();
    LineReader tool(QStringLiteral(BMS_TOOL_PROGRAM),
                    Polling(sim, {QStringLiteral("--packs"), QStringLiteral("1-3"), QStringLiteral("--mqtt"),
                                  broker.url(), QStringLiteral("--mqtt-queue"), QString::number(kQueue)}));
    ASSERT_TRUE(tool.waitFor([&] { return CountType(tool, "analog") >= 3; })) << tool.errors().toStdString();

    const auto statesSeen = [](const LineReader& subscriber) {
        const std::vector<Message> got = Messages(subscriber);
        return CountEnding(got, QStringLiteral("/state")) >= 3 && CountEnding(got, QStringLiteral("/config")) == 42;
    };
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(broker.start());
        LineReader subscriber(kSubscriber, Subscription(broker.port()));
        // The broker keeps nothing over a restart: the discovery messages
        // come again.
        ASSERT_TRUE(subscriber.waitFor([&] { return statesSeen(subscriber); })) << tool.errors().toStdString();
        broker.stop();
        const std::size_t before = CountType(tool, "analog");
        ASSERT_TRUE(tool.waitFor([&] { return CountType(tool, "analog") >= before + 30; }))
            << tool.errors().toStdString();
    }
    ASSERT_TRUE(broker.start());
    LineReader subscriber(kSubscriber, Subscription(broker.port()));
    ASSERT_TRUE(subscriber.waitFor([&] { return statesSeen(subscriber); }));
    EXPECT_EQ(tool.end(SIGINT), 0) << tool.errors().toStdString();
    EXPECT_TRUE(tool.errors().contains(QStringLiteral("no connection to 127.0.0.1"))) << tool.errors().toStdString();

    // Readings made while the broker was away, between the tool noticing
    // and the reconnection: all but those the queue and the library held
    // are dropped, and never more.
    std::int64_t away = 0;
    std::int64_t awayReadings = 0;
    std::int64_t held = 0;
    bool disconnected = false;
    QJsonObject last;
    for (const QJsonObject& line : Objects(tool)) {
        const QString type = line[QStringLiteral("type")].toString();
        if (type == u"analog" && disconnected)
            ++awayReadings;
        if (type != u"mqtt")
            continue;
        const bool down = line[QStringLiteral("event")].toString() == u"unreachable";
        if (down && !disconnected) {
            held += line[QStringLiteral("waiting")].toInt();
            ++away;
        }
        disconnected = down;
        last = line;
    }
    EXPECT_EQ(away, 3);   // at the start and twice in the middle
    EXPECT_EQ(last[QStringLiteral("event")].toString(), QStringLiteral("finished"));
    const std::int64_t dropped = last[QStringLiteral("dropped")].toInteger();
    // An event is reported between two exchanges, a reading published
    // after its pack's alarm read: a pack either side of each event.
    EXPECT_LE(dropped, awayReadings + held + 3);
    EXPECT_GE(dropped, awayReadings - 3 * (kQueue + 1));
    EXPECT_GT(last[QStringLiteral("published")].toInteger(), 3 * 42);
    EXPECT_EQ(last[QStringLiteral("waiting")].toInteger(), 0);
}

TEST(ToolMqtt, CredentialsComeFromTheUrlAFileOrTheEnvironment)
{
    Broker broker(QStringLiteral("ha"), QStringLiteral("s3cret"));
    ASSERT_TRUE(broker.start());
    const ToolOnSim sim({}, 1);
    ASSERT_TRUE(sim.isReady()) << sim.error().toStdString();
    const QStringList once = {QStringLiteral("poll"), QStringLiteral("--count"), QStringLiteral("1"),
                              QStringLiteral("--mqtt")};

    const ToolRun wrong = sim.run(once + QStringList{broker.url(QStringLiteral("ha:guess"))});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_TRUE(wrong.err.contains(QStringLiteral("refused the connection: Connection Refused: not authorised")))
        << wrong.err.toStdString();
    EXPECT_FALSE(wrong.out.contains(QStringLiteral("\"analog\""))) << wrong.out.toStdString();

    EXPECT_EQ(sim.run(once + QStringList{broker.url(QStringLiteral("ha:s3cret"))}).exitCode, 0);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("password"));
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::WriteOnly));
    written.write("s3cret\n");
    written.close();
    const ToolRun fromFile = sim.run(once + QStringList{broker.url(QStringLiteral("ha")),
                                                        QStringLiteral("--mqtt-password-file"), file});
    EXPECT_EQ(fromFile.exitCode, 0) << fromFile.err.toStdString();
    qputenv("BMS_MQTT_PASSWORD", "s3cret");
    const ToolRun fromEnvironment = sim.run(once + QStringList{broker.url(QStringLiteral("ha"))});
    qunsetenv("BMS_MQTT_PASSWORD");
    EXPECT_EQ(fromEnvironment.exitCode, 0) << fromEnvironment.err.toStdString();
    EXPECT_TRUE(fromEnvironment.err.isEmpty()) << fromEnvironment.err.toStdString();
}

} // namespace

// Listening, a pack is published from its first reading under its number,
// as a listener learns a bar code only if the master asks for it; the bar
// code joins the state and the discovery once it is heard, the topics stay.
TEST(ToolMqtt, ListeningPublishesFromTheFirstReadingAndAddsTheBarCodeWhenHeard)
{
    Broker broker;
    ASSERT_TRUE(broker.start());
    PseudoTerminal line;
    ASSERT_TRUE(line.isReady());
    LineReader live(kSubscriber, Subscription(broker.port()));
    LineReader tool(QStringLiteral(BMS_TOOL_PROGRAM),
                    {QStringLiteral("--port"), line.slavePath(), QStringLiteral("--json"), QStringLiteral("listen"),
                     QStringLiteral("--mqtt"), broker.url()});
    ASSERT_TRUE(tool.waitFor([&] { return tool.errors().contains(QStringLiteral("nothing is sent")); }));

    // The master reads pack 1's analog and alarm data three times, asking
    // its bar code once, in the second round. A turn ends when the master
    // moves on; the last is ended by the next round's first request.
    SimBus bus;
    const auto exchange = [&](std::uint8_t cid2) {
        const QByteArray request = frame::BuildFrame(1, cid2, QByteArray(1, char(1)));
        return request + bus.respond(request).text;
    };
    const QString state = QStringLiteral("bms/1/state");
    for (int round = 1; round <= 4; ++round) {
        QByteArray traffic = exchange(0x42);
        if (round < 4)
            traffic += exchange(0x44);
        if (round == 2)
            traffic += exchange(0xE9);
        ASSERT_TRUE(line.write(traffic));
        if (round > 1) {
            ASSERT_TRUE(live.waitFor([&] { return Count(Messages(live), state) == std::size_t(round - 1); }))
                << tool.errors().toStdString();
        }
    }
    const std::vector<Message> seen = Messages(live);
    std::vector<QString> barCodes;
    for (const Message& message : seen)
        if (message.topic == state)
            barCodes.push_back(message.json()[QStringLiteral("bar_code")].toString());
    EXPECT_EQ(barCodes, (std::vector<QString>{QString(), QStringLiteral("SIM48V100AH0001"),
                                              QStringLiteral("SIM48V100AH0001")}));
    EXPECT_EQ(Count(seen, QStringLiteral("bms/1/availability"), "online"), 1u);
    // The discovery is sent again with the bar code as the device's serial.
    const QString config = QStringLiteral("homeassistant/sensor/bms_1/voltage/config");
    ASSERT_EQ(Count(seen, config), 2u);
    const QJsonObject latest =
        std::find_if(seen.rbegin(), seen.rend(), [&](const Message& m) { return m.topic == config; })->json();
    EXPECT_EQ(latest[QStringLiteral("device")].toObject()[QStringLiteral("serial_number")].toString(),
              QStringLiteral("SIM48V100AH0001"));
    EXPECT_EQ(tool.end(SIGINT), 0) << tool.errors().toStdString();
}
