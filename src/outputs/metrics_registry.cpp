#include "outputs/metrics_registry.h"
#include "outputs/family_readings.h"
#include "outputs/reading_names.h"

#include "protocol/command_catalogue.h"
#include "protocol/status_bits.h"

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

namespace {

using Label = std::pair<const char*, QString>;

// A pack's state as one scrape sees it, with what has gone stale left out.
struct PackView {
    std::uint8_t pack = 0;
    QString barCode;
    std::optional<QString> family;   // another maker's pack: its family
    bool up = false;
    std::optional<QDateTime> lastAnswer;
    const RAnalogData* analog = nullptr;
    const RAlarmData* alarm = nullptr;
};

// Label values: backslash, double quote and line feed are escaped; other
// control characters (a bar code is the pack's own text) are dropped.
QByteArray LabelValue(const QString& value)
{
    QByteArray escaped;
    for (const char c : value.toUtf8()) {
        if (c == '\\' || c == '"')
            escaped += '\\';
        if (c == '\n') {
            escaped += "\\n";
            continue;
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            continue;
        escaped += c;
    }
    return escaped;
}

// Writes the samples of one metric for one pack.
class Emit {
public:
    Emit(QByteArray& out, const QByteArray& name, const PackView& pack) : m_out(out), m_name(name), m_pack(pack) {}

    // A sample with the pack's labels, the given ones and, for readings,
    // the bar code when known and the family of another maker's pack.
    void operator()(const QString& value, std::initializer_list<Label> labels = {}, bool withBarCode = true)
    {
        m_out += m_name;
        m_out += "{pack=\"";
        m_out += QByteArray::number(m_pack.pack);
        m_out += '"';
        for (const Label& label : labels) {
            m_out += ',';
            m_out += label.first;
            m_out += "=\"";
            m_out += LabelValue(label.second);
            m_out += '"';
        }
        if (withBarCode && !m_pack.barCode.isEmpty()) {
            m_out += ",bar_code=\"";
            m_out += LabelValue(m_pack.barCode);
            m_out += '"';
        }
        if (withBarCode && m_pack.family) {
            m_out += ",family=\"";
            m_out += LabelValue(*m_pack.family);
            m_out += '"';
        }
        m_out += "} ";
        m_out += value.toLatin1();
        m_out += '\n';
    }
    void operator()(Decimal value, std::initializer_list<Label> labels = {}) { (*this)(value.toString(), labels); }

private:
    QByteArray& m_out;
    const QByteArray& m_name;
    const PackView& m_pack;
};

QString Bit(bool set)
{
    return set ? QStringLiteral("1") : QStringLiteral("0");
}


// Unix time with milliseconds, as exact decimal text.
QString UnixSeconds(const QDateTime& time)
{
    const qint64 ms = time.toMSecsSinceEpoch();
    return QStringLiteral("%1.%2").arg(ms / 1000).arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

// The analog field a gauge needs, or none.
void AnalogIf(const PackView& pack, AnalogField field, const std::function<void(const RAnalogData&)>& put)
{
    if (pack.analog && CarriesField(*pack.analog, field))
        put(*pack.analog);
}

// The reading of another maker's pack, or none.
const RAnalogData* ForeignAnalog(const PackView& pack)
{
    return pack.analog && IsForeign(pack.analog->family) ? pack.analog : nullptr;
}
const RAlarmData* ForeignAlarm(const PackView& pack)
{
    return pack.alarm && IsForeign(pack.alarm->family) ? pack.alarm : nullptr;
}

// Our status bits; another family's status bytes mean something else and
// are served by their own names (bms_status_byte).
void StatusBits(const PackView& pack, Emit& put, StatusKind kind)
{
    if (!pack.alarm || IsForeign(pack.alarm->family))
        return;
    for (const StatusBit& bit : kStatusBits)
        if (bit.kind == kind)
            put(Bit(IsStatusBitSet(*pack.alarm, bit)), {{"name", StatusBitMachineName(bit.name)}});
}

// One metric family: its name, help and samples.
struct Gauge {
    QByteArray name;
    QByteArray help;
    std::function<void(const PackView&, Emit&)> samples;
};

std::vector<Gauge> MakeGauges();

// The gauges in the order served: ours, then what only other families send.
const std::vector<Gauge>& Gauges()
{
    static const std::vector<Gauge> gauges = MakeGauges();
    return gauges;
}

std::vector<Gauge> MakeGauges()
{
    using F = AnalogField;
    std::vector<Gauge> families = {
        {"bms_pack_up", "1 when the pack answered its last polling turn, else 0.",
         [](const PackView& p, Emit& e) { e(Bit(p.up), {}); }},
        {"bms_last_answer_timestamp_seconds", "When the pack last answered a command, in Unix time.",
         [](const PackView& p, Emit& e) {
             if (p.lastAnswer)
                 e(UnixSeconds(*p.lastAnswer), {});
         }},
        {"bms_cell_voltage_volts", "Cell voltage.",
         [](const PackView& p, Emit& e) {
             AnalogIf(p, F::Cells, [&](const RAnalogData& a) {
                 const int cells = FittedCells(a);
                 for (int k = 0; k < cells; ++k)
                     e(Decimal::fromRatio(a.cellVoltages[k], 1000), {{"cell", QString::number(k + 1)}});
             });
         }},
        {"bms_cell_balancing", "1 while the cell is being balanced.",
         [](const PackView& p, Emit& e) {
             AnalogIf(p, F::Balancing, [&](const RAnalogData& a) {
                 const int cells = FittedCells(a);
                 for (int k = 0; k < cells; ++k)
                     e(Bit(a.balancing[k] != 0), {{"cell", QString::number(k + 1)}});
             });
         }},
        {"bms_temperature_celsius",
         "Temperature of a cell sensor, the ambient air, the power switches (fet) or the board.",
         [](const PackView& p, Emit& e) {
             if (const RAnalogData* a = ForeignAnalog(p)) {
                 const int count = std::min<int>(a->extra.temperatureCount, kMaxFamilyTemperatures);
                 for (int k = 0; k < count; ++k)
                     e(a->extra.temperatures[std::size_t(k)], {{"sensor", SensorLabel(a->extra, k)}});
                 return;
             }
             AnalogIf(p, F::CellTemperatures, [&](const RAnalogData& a) {
                 for (int k = 0; k < kMaxCellTemperatures; ++k)
                     e(a.cellTemperatures[k], {{"sensor", QStringLiteral("cell%1").arg(k + 1)}});
             });
             AnalogIf(p, F::Ambient, [&](const RAnalogData& a) { e(a.ambientTemperature, {{"sensor", QStringLiteral("ambient")}}); });
             AnalogIf(p, F::Fet, [&](const RAnalogData& a) { e(a.fetTemperature, {{"sensor", QStringLiteral("fet")}}); });
         }},
        {"bms_pack_current_amperes", "Pack current; positive while charging.",
         [](const PackView& p, Emit& e) { AnalogIf(p, F::Current, [&](const RAnalogData& a) { e(a.current); }); }},
        {"bms_pack_voltage_volts", "Pack voltage.",
         [](const PackView& p, Emit& e) { AnalogIf(p, F::Voltage, [&](const RAnalogData& a) { e(a.totalVoltage); }); }},
        // Charge in the base unit: 1 Ah is 3600 C.
        {"bms_remaining_capacity_coulombs", "Remaining capacity (3600 C = 1 Ah).",
         [](const PackView& p, Emit& e) {
             AnalogIf(p, F::Remaining, [&](const RAnalogData& a) { e(Coulombs(a.remainingCapacity)); });
         }},
        {"bms_full_capacity_coulombs", "Full-charge capacity (3600 C = 1 Ah).",
         [](const PackView& p, Emit& e) {
             AnalogIf(p, F::FullCapacity, [&](const RAnalogData& a) { e(Coulombs(a.fullCapacity)); });
         }},
        {"bms_charge_cycles", "Charge cycles the pack has counted.",
         [](const PackView& p, Emit& e) {
             AnalogIf(p, F::Cycles, [&](const RAnalogData& a) { e(QString::number(a.cycleCount)); });
         }},
        {"bms_soc_ratio", "State of charge, 0 to 1.",
         [](const PackView& p, Emit& e) {
             if (const std::optional<Decimal> soc = p.analog ? StateOfCharge(*p.analog) : std::nullopt)
                 e(PercentRatio(*soc));
         }},
        {"bms_soh_ratio", "State of health, 0 to 1.",
         [](const PackView& p, Emit& e) {
             if (const std::optional<Decimal> soh = p.analog ? StateOfHealth(*p.analog) : std::nullopt)
                 e(PercentRatio(*soh));
         }},
        {"bms_humidity_ratio", "Relative humidity inside the pack, 0 to 1.",
         [](const PackView& p, Emit& e) {
             AnalogIf(p, F::Humidity, [&](const RAnalogData& a) { e(Decimal::fromRatio(a.humidity, 100)); });
         }},
        {"bms_alarm_active", "1 while the pack reports the alarm.",
         [](const PackView& p, Emit& e) { StatusBits(p, e, StatusKind::Alarm); }},
        {"bms_protection_active", "1 while the pack reports the protection.",
         [](const PackView& p, Emit& e) { StatusBits(p, e, StatusKind::Protection); }},
        {"bms_fault_active", "1 while the pack reports the fault.",
         [](const PackView& p, Emit& e) { StatusBits(p, e, StatusKind::Fault); }},
        {"bms_status_byte", "A status byte of another maker's pack, by its family's name for it.",
         [](const PackView& p, Emit& e) {
             if (const RAlarmData* a = ForeignAlarm(p)) {
                 const auto names = FamilyStatusNames(a->family);
                 const std::size_t count = std::min<std::size_t>(a->extra.statusCount, names.size());
                 for (std::size_t k = 0; k < count; ++k)
                     e(QString::number(a->extra.status[k]),
                       {{"name", QString::fromLatin1(names[k].data(), qsizetype(names[k].size()))}});
             }
         }},
        {"bms_cell_fault", "1 while another maker's pack reports a fault of the cell.",
         [](const PackView& p, Emit& e) {
             const RAlarmData* a = ForeignAlarm(p);
             if (!a || !a->extra.cellFaults)
                 return;
             const int cells = p.analog && p.analog->family == a->family ? FittedCells(*p.analog) : kMaxCells;
             for (int k = 0; k < cells; ++k)
                 e(Bit((*a->extra.cellFaults >> k) & 1u), {{"cell", QString::number(k + 1)}});
         }},
    };
    // What only other families send, each under its own name.
    for (const RFamilyQuantity& quantity : FamilyQuantities())
        families.push_back({QByteArray("bms_") + quantity.metric, QByteArray(quantity.help),
                            [&quantity](const PackView& p, Emit& e) {
                                if (const RAnalogData* a = ForeignAnalog(p))
                                    if (const std::optional<Decimal> value = quantity.value(a->extra))
                                        e(quantity.toBase(*value));
                            }});
    return families;
}

void Header(QByteArray& out, const QByteArray& name, const QByteArray& help, const char* type)
{
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

QString CommandName(std::uint8_t cid2)
{
    const CommandInfo* command = CommandOfCid2(cid2);
    return command ? QString::fromLatin1(command->name.data(), qsizetype(command->name.size()))
                   : QStringLiteral("0x%1").arg(cid2, 2, 16, QLatin1Char('0'));
}

} // namespace

MetricsRegistry::MetricsRegistry(std::chrono::seconds staleAfter) : m_staleAfter(staleAfter) {}

void MetricsRegistry::PackSampled(const RPackSample& sample)
{
    if (sample.pack < 1 || sample.pack > kMaxPacks)
        return;
    const bool answered = sample.Answered();
    // A turn that sent nothing (the port was not open) tells nothing of
    // the pack but that it was not reached.
    const std::lock_guard<std::mutex> lock(m_lock);
    PackState state = m_packs[sample.pack];
    if (!sample.barCode.isEmpty())
        state.barCode = sample.barCode;
    if (const std::optional<PackFamily> family = SampleFamily(sample))
        state.family = family;
    state.up = answered;
    if (answered)
        state.lastAnswer = sample.time;
    if (sample.analog) {
        state.analog = sample.analog;
        state.analogTime = sample.time;
    }
    if (sample.alarm) {
        state.alarm = sample.alarm;
        state.alarmTime = sample.time;
    }
    m_packs[sample.pack] = std::move(state);
    for (const RExchangeResult& exchange : sample.exchanges)
        ++m_exchanges[{sample.pack, exchange.cid2, exchange.result}];
}

QByteArray MetricsRegistry::Render(const QDateTime& now) const
{
    std::map<std::uint8_t, PackState> packs;
    std::map<ExchangeKey, std::uint64_t> exchanges;
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        packs = m_packs;
        exchanges = m_exchanges;
    }
    const auto fresh = [&](const QDateTime& time) {
        return time.isValid() && time.secsTo(now) <= m_staleAfter.count();
    };
    std::vector<PackView> views;
    for (const auto& [number, state] : packs) {
        PackView view;
        view.pack = number;
        view.barCode = state.barCode;
        view.family = FamilyLabel(state.family);
        view.up = state.up;
        view.lastAnswer = state.lastAnswer;
        if (state.analog && fresh(state.analogTime))
            view.analog = &*state.analog;
        if (state.alarm && fresh(state.alarmTime))
            view.alarm = &*state.alarm;
        views.push_back(view);
    }

    QByteArray out;
    out.reserve(int(2048 + views.size() * 6144));
    for (const Gauge& gauge : Gauges()) {
        const qsizetype headerAt = out.size();
        Header(out, gauge.name, gauge.help, "gauge");
        const qsizetype samplesAt = out.size();
        for (const PackView& view : views) {
            Emit put(out, gauge.name, view);
            gauge.samples(view, put);
        }
        // A metric with no sample is left out whole.
        if (out.size() == samplesAt)
            out.truncate(headerAt);
    }
    if (!exchanges.empty()) {
        static const QByteArray kExchanges = "bms_exchanges_total";
        Header(out, kExchanges, "Exchanges with the pack by command and result code (0 answered).", "counter");
        for (const auto& [key, count] : exchanges) {
            const auto& [pack, cid2, result] = key;
            PackView view;
            view.pack = pack;
            Emit put(out, kExchanges, view);
            put(QString::number(count), {{"command", CommandName(cid2)}, {"result", QString::number(result)}}, false);
        }
    }
    return out;
}
