#include "mqtt_packs.h"

#include "outputs/family_readings.h"
#include "outputs/reading_records.h"

#include "services/input_text.h"

#include <algorithm>
#include <utility>

namespace {

// A pack whose bar code cannot be read after this many turns is known by
// its number.
constexpr int kBarCodeTries = 3;

// One sensor of the discovery messages: what it reads from the state
// object, and how a home-automation system should show it.
struct Sensor {
    const char* object;
    const char* name;
    const char* value;          // the Jinja expression after "value_json."
    const char* deviceClass;    // "" for none
    const char* unit;           // "" for none
    const char* stateClass;
    // Whether another maker's reading has the value (none: every reading).
    bool (*carried)(const RAnalogData& analog) = nullptr;
    bool foreignOnly = false;   // a sensor our packs do not have
};

int SensorsOf(const RAnalogData& analog, TemperatureRole role)
{
    int count = 0;
    for (int k = 0; k < std::min<int>(analog.extra.temperatureCount, kMaxFamilyTemperatures); ++k)
        count += analog.extra.temperatureRoles[std::size_t(k)] == role ? 1 : 0;
    return count;
}

constexpr Sensor kSensors[] = {
    {"voltage", "Voltage", "analog.voltage_V", "voltage", "V", "measurement"},
    {"current", "Current", "analog.current_A", "current", "A", "measurement"},
    {"soc", "State of charge", "analog.soc", "battery", "%", "measurement",
     [](const RAnalogData& a) { return StateOfCharge(a).has_value(); }},
    {"soh", "State of health", "analog.soh", "", "%", "measurement",
     [](const RAnalogData& a) { return StateOfHealth(a).has_value(); }},
    {"remaining", "Remaining capacity", "analog.remaining_Ah", "", "Ah", "measurement"},
    {"cycles", "Cycle count", "analog.cycles", "", "", "total_increasing"},
    // Cells that are not fitted read 0 mV.
    {"cell_min", "Lowest cell voltage", "analog.cells_mV | select('gt', 0) | min", "voltage", "mV", "measurement"},
    {"cell_max", "Highest cell voltage", "analog.cells_mV | max", "voltage", "mV", "measurement"},
    {"ambient", "Ambient temperature", "analog.ambient_C", "temperature", "\u00b0C", "measurement",
     [](const RAnalogData& a) { return SensorsOf(a, TemperatureRole::Ambient) > 0; }},
    {"fet", "MOSFET temperature", "analog.fet_C", "temperature", "\u00b0C", "measurement",
     [](const RAnalogData& a) { return SensorsOf(a, TemperatureRole::Mosfet) > 0; }},
    // Only other makers' packs have a board sensor.
    {"board", "Board temperature", "analog.board_C", "temperature", "\u00b0C", "measurement",
     [](const RAnalogData& a) { return SensorsOf(a, TemperatureRole::Board) > 0; }, true},
};
// One per cell temperature sensor, numbered from 1.
constexpr Sensor kCellTemperature = {"temp_", "Cell temperature ", "analog.temps_C", "temperature", "\u00b0C",
                                     "measurement"};

QString Latin(const char* text)
{
    return QString::fromUtf8(text);
}

// {"a":1,...} from name and JSON value pairs, in order.
QString JsonObject(const std::vector<std::pair<QString, QString>>& fields)
{
    QStringList parts;
    for (const auto& [name, json] : fields)
        parts << JsonString(name) + QLatin1Char(':') + json;
    return QLatin1Char('{') + parts.join(QLatin1Char(',')) + QLatin1Char('}');
}

bool IsTopicUnsafe(QChar c)
{
    return c == u'/' || c == u'+' || c == u'#' || c.isSpace() || !c.isPrint() || c == QChar::ReplacementCharacter;
}

} // namespace

bool CheckTopicPrefix(const QString& prefix, QString& error)
{
    const bool emptyLevel = prefix.split(QLatin1Char('/')).contains(QString());
    if (prefix.isEmpty() || emptyLevel || prefix.startsWith(QLatin1Char('$'))
        || std::any_of(prefix.begin(), prefix.end(), [](QChar c) { return c != u'/' && IsTopicUnsafe(c); })) {
        error = QStringLiteral("--mqtt-prefix takes topic levels such as bms or home/bms (no +, #, blanks, empty "
                               "levels or $ in front), not %1")
                    .arg(QuotedInput(prefix));
        return false;
    }
    return true;
}

QString TopicLevel(const QString& barCode)
{
    QString level = barCode.trimmed();
    for (QChar& c : level)
        if (IsTopicUnsafe(c))
            c = u'_';
    return level;
}

QString DiscoveryId(const QString& text)
{
    QString id = text;
    for (QChar& c : id)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'_' && c != u'-')
            c = u'_';
    return id;
}

QByteArray StatePayload(std::uint8_t pack, const QString& barCode, const RAnalogData* analog,
                        const RAlarmData* alarm, const TTextOper& texts)
{
    std::vector<std::pair<QString, QString>> fields = {{QStringLiteral("pack"), QString::number(pack)},
                                                       {QStringLiteral("bar_code"), JsonString(barCode)}};
    const PackFamily family = analog ? analog->family : alarm ? alarm->family : PackFamily::Unknown;
    if (family != PackFamily::Unknown)
        fields.emplace_back(QStringLiteral("family"), JsonString(FamilyName(family)));
    if (analog)
        fields.emplace_back(QStringLiteral("analog"), AnalogRecord(*analog).toJson());
    if (alarm)
        fields.emplace_back(QStringLiteral("alarm"), AlarmRecord(*alarm, texts).toJson());
    return JsonObject(fields).toUtf8();
}

MqttPackPublisher::MqttPackPublisher(const MqttSettings& settings, const TTextOper& texts)
    : m_settings(settings),
      m_texts(texts),
      m_publisher(MqttPublisher::Options{settings.url, topic({}, "availability"), settings.queueLimit})
{
}

QByteArray MqttPackPublisher::topic(const QString& id, const char* leaf) const
{
    return (id.isEmpty() ? QStringLiteral("%1/%2").arg(m_settings.prefix, Latin(leaf))
                         : QStringLiteral("%1/%2/%3").arg(m_settings.prefix, id, Latin(leaf)))
        .toUtf8();
}

bool MqttPackPublisher::Start(QString& error)
{
    if (!m_publisher.start(error))
        return false;
    m_publisher.waitForFirstAttempt(int(m_settings.firstAnswer.count()));
    Pump();
    if (m_publisher.refused()) {
        error = refusal();
        return false;
    }
    const std::lock_guard<std::mutex> lock(m_lock);
    m_publisher.publish(topic({}, "availability"), "online", true);
    return true;
}

QString MqttPackPublisher::refusal() const
{
    return QStringLiteral("mqtt: the broker at %1 refused the connection: %2 (check the user name and password)")
        .arg(m_publisher.broker(), m_publisher.refusal());
}

QString MqttPackPublisher::Failure() const
{
    return m_publisher.refused() ? refusal() : QString();
}

void MqttPackPublisher::SetByPackNumber(bool byPackNumber)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    m_settings.byPackNumber = byPackNumber;
}

void MqttPackPublisher::note(ROutputEvent::Kind kind, const QString& detail)
{
    const MqttPublisher::Counts counts = m_publisher.counts();
    ROutputEvent event;
    event.output = ROutputEvent::Output::Mqtt;
    event.kind = kind;
    event.where = m_publisher.broker();
    event.detail = detail;
    event.counts.sent = counts.published;
    event.counts.dropped = counts.dropped;
    event.counts.waiting = counts.waiting;
    m_events.push_back(std::move(event));
}

std::vector<ROutputEvent> MqttPackPublisher::TakeEvents()
{
    const std::lock_guard<std::mutex> lock(m_lock);
    return std::exchange(m_events, {});
}

void MqttPackPublisher::Pump()
{
    const std::lock_guard<std::mutex> lock(m_lock);
    pumpLocked();
}

void MqttPackPublisher::pumpLocked()
{
    if (m_finished)
        return;
    m_publisher.pump();
    for (const MqttPublisher::Event& event : m_publisher.takeEvents())
        note(event.connected ? ROutputEvent::Kind::Started : ROutputEvent::Kind::Unreachable, event.detail);
}

void MqttPackPublisher::identify(std::uint8_t pack, Pack& state, const QString& barCode)
{
    state.barCode = barCode;
    QString id = TopicLevel(barCode);
    if (id.isEmpty())
        id = QString::number(pack);
    // Two packs whose bar codes differ only in characters made safe must
    // not share topics.
    const auto taken = [&](const QString& candidate) {
        for (const auto& [number, other] : m_packs)
            if (number != pack && !other.id.isEmpty()
                && (other.id == candidate || other.node == DiscoveryId(m_settings.prefix + u'_' + candidate)))
                return true;
        return false;
    };
    if (taken(id))
        id += QStringLiteral("_%1").arg(pack);
    state.id = id;
    state.node = DiscoveryId(m_settings.prefix + u'_' + id);
}

void MqttPackPublisher::announce(std::uint8_t pack, const Pack& state, const RAnalogData* analog)
{
    // Another maker's pack is announced with the sensors its reading has.
    const RAnalogData* foreign = analog && IsForeign(analog->family) ? analog : nullptr;
    const QString device = JsonObject({
        {QStringLiteral("identifiers"), QLatin1Char('[') + JsonString(state.node) + QLatin1Char(']')},
        {QStringLiteral("name"), JsonString(QStringLiteral("Battery pack %1").arg(state.barCode.isEmpty()
                                                                                       ? QString::number(pack)
                                                                                       : state.barCode))},
        {QStringLiteral("model"), JsonString(foreign ? QStringLiteral("RS485 battery pack, family %1")
                                                                 .arg(FamilyName(foreign->family))
                                                     : QStringLiteral("RS485 battery pack"))},
        {QStringLiteral("serial_number"), JsonString(state.barCode)},
    });
    const QString availability = QLatin1Char('[')
        + JsonObject({{QStringLiteral("topic"), JsonString(QString::fromUtf8(topic({}, "availability")))}})
        + QLatin1Char(',')
        + JsonObject({{QStringLiteral("topic"), JsonString(QString::fromUtf8(topic(state.id, "availability")))}})
        + QLatin1Char(']');

    struct Row {
        QString object;
        QString name;
        QString value;
        const Sensor& look;
    };
    std::vector<Row> rows;
    for (const Sensor& sensor : kSensors)
        if (foreign ? !sensor.carried || sensor.carried(*foreign) : !sensor.foreignOnly)
            rows.push_back(Row{Latin(sensor.object), Latin(sensor.name), Latin(sensor.value), sensor});
    const int cellSensors = foreign ? SensorsOf(*foreign, TemperatureRole::CellSensor) : kMaxCellTemperatures;
    for (int k = 0; k < cellSensors; ++k)
        rows.push_back(Row{Latin(kCellTemperature.object) + QString::number(k + 1),
                           Latin(kCellTemperature.name) + QString::number(k + 1),
                           Latin(kCellTemperature.value) + QStringLiteral("[%1]").arg(k), kCellTemperature});

    for (const Row& row : rows) {
        const Sensor& sensor = row.look;
        const QString uniqueId = state.node + u'_' + row.object;
        std::vector<std::pair<QString, QString>> fields = {
            {QStringLiteral("name"), JsonString(row.name)},
            {QStringLiteral("unique_id"), JsonString(uniqueId)},
            {QStringLiteral("object_id"), JsonString(uniqueId)},
            {QStringLiteral("state_topic"), JsonString(QString::fromUtf8(topic(state.id, "state")))},
            {QStringLiteral("value_template"), JsonString(QStringLiteral("{{ value_json.%1 }}").arg(row.value))},
            {QStringLiteral("state_class"), JsonString(Latin(sensor.stateClass))},
        };
        if (*sensor.deviceClass)
            fields.emplace_back(QStringLiteral("device_class"), JsonString(Latin(sensor.deviceClass)));
        if (*sensor.unit)
            fields.emplace_back(QStringLiteral("unit_of_measurement"), JsonString(Latin(sensor.unit)));
        fields.emplace_back(QStringLiteral("availability"), availability);
        fields.emplace_back(QStringLiteral("availability_mode"), JsonString(QStringLiteral("all")));
        fields.emplace_back(QStringLiteral("device"), device);
        const QByteArray configTopic =
            QStringLiteral("homeassistant/sensor/%1/%2/config").arg(state.node, row.object).toUtf8();
        m_publisher.publish(configTopic, JsonObject(fields).toUtf8(), true);
    }
}

void MqttPackPublisher::setOnline(Pack& state, bool online)
{
    if (state.online == online)
        return;
    state.online = online;
    m_publisher.publish(topic(state.id, "availability"), online ? "online" : "offline", true);
}

void MqttPackPublisher::PackSampled(const RPackSample& sample)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    if (m_finished)
        return;
    const std::uint8_t pack = sample.pack;
    const RAnalogData* analog = sample.analog ? &*sample.analog : nullptr;
    const RAlarmData* alarm = sample.alarm ? &*sample.alarm : nullptr;
    Pack& state = m_packs[pack];
    const bool answered = analog || alarm;
    const QString barCode = sample.barCode.trimmed();
    if (state.id.isEmpty()) {
        if (!answered)
            return;
        if (m_settings.byPackNumber) {
            identify(pack, state, QString());
        } else {
            if (barCode.isEmpty() && ++state.barCodeFailures < kBarCodeTries)
                return;
            identify(pack, state, barCode);
        }
    }
    // Known by number, the pack keeps its topics; the bar code heard later
    // joins the payload and the discovery's device.
    if (m_settings.byPackNumber && !barCode.isEmpty() && barCode != state.barCode) {
        state.barCode = barCode;
        state.announced = false;
    }
    if (!answered) {
        setOnline(state, false);
        pumpLocked();
        return;
    }
    // Another maker's pack is announced with its first reading, which says
    // what sensors it has.
    const bool foreignWithoutReading = !analog && alarm && IsForeign(alarm->family);
    if (!state.announced && m_settings.discovery && !foreignWithoutReading)
        announce(pack, state, analog);
    state.announced = state.announced || !foreignWithoutReading;
    setOnline(state, true);
    // The state topic carries a reading only when the analog data came;
    // the sensors read from it.
    if (analog)
        m_publisher.publish(topic(state.id, "state"), StatePayload(pack, state.barCode, analog, alarm, m_texts),
                            m_settings.retainState);
    pumpLocked();
}

void MqttPackPublisher::Finish(std::chrono::milliseconds within)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    if (m_finished)
        return;
    for (auto& [number, state] : m_packs)
        if (!state.id.isEmpty())
            setOnline(state, false);
    m_publisher.publish(topic({}, "availability"), "offline", true);
    pumpLocked();
    m_publisher.finish(int(within.count()));
    m_publisher.takeEvents();   // the clean disconnection is no news
    m_finished = true;
    note(ROutputEvent::Kind::Finished, {});
}
