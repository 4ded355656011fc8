#include "outputs/influx_lines.h"
#include "outputs/family_readings.h"
#include "outputs/reading_names.h"

#include "protocol/status_bits.h"

#include <algorithm>

namespace {

const QString kMeasurement = QStringLiteral("bms");

QString Escape(const QString& text, bool escapeEquals)
{
    QString out;
    out.reserve(text.size() + 4);
    for (const QChar c : text) {
        if (c == u'\\' || c == u',' || c == u' ' || (escapeEquals && c == u'='))
            out += QLatin1Char('\\');
        out += c.unicode() < 0x20 || c.unicode() == 0x7F ? QChar(u'_') : c;
    }
    return out;
}

// Builds the lines of one sample: each starts with the measurement and the
// pack's own tags.
class LineBuilder {
public:
    LineBuilder(const RPackSample& sample)
        : m_timeStamp(' ' + QByteArray::number(sample.time.toMSecsSinceEpoch()) + "000000\n")
    {
        QString head = EscapeInfluxMeasurement(kMeasurement) + QStringLiteral(",pack=") + QString::number(sample.pack);
        const QString barCode = sample.barCode.trimmed();
        if (!barCode.isEmpty())
            head += QStringLiteral(",bar_code=") + EscapeInfluxTag(barCode);
        if (const std::optional<QString> family = FamilyLabel(SampleFamily(sample)))
            head += QStringLiteral(",family=") + EscapeInfluxTag(*family);
        m_head = head.toUtf8();
    }

    void Add(const char* field, const Decimal& value, const char* tagKey = nullptr, const QString& tagValue = {})
    {
        m_lines += m_head;
        if (tagKey)
            m_lines += ',' + QByteArray(tagKey) + '=' + EscapeInfluxTag(tagValue).toUtf8();
        m_lines += ' ' + QByteArray(field) + '=' + value.toString().toLatin1() + m_timeStamp;
    }

    QByteArray Take() { return std::move(m_lines); }

private:
    QByteArray m_head;
    QByteArray m_timeStamp;
    QByteArray m_lines;
};

void AddAnalog(LineBuilder& lines, const RAnalogData& analog)
{
    using F = AnalogField;
    const int cells = FittedCells(analog);
    const auto sent = [&analog](F field) { return CarriesField(analog, field); };
    if (sent(F::Cells))
        for (int cell = 0; cell < cells; ++cell)
            lines.Add("cell_voltage_volts", Decimal::fromRatio(analog.cellVoltages[std::size_t(cell)], 1000), "cell",
                      QString::number(cell + 1));
    if (sent(F::Balancing))
        for (int cell = 0; cell < cells; ++cell)
            lines.Add("cell_balancing", Decimal::fromInt(analog.balancing[std::size_t(cell)] != 0 ? 1 : 0), "cell",
                      QString::number(cell + 1));
    if (IsForeign(analog.family)) {
        const int count = std::min<int>(analog.extra.temperatureCount, kMaxFamilyTemperatures);
        for (int k = 0; k < count; ++k)
            lines.Add("temperature_celsius", analog.extra.temperatures[std::size_t(k)], "sensor",
                      SensorLabel(analog.extra, k));
    }
    if (sent(F::CellTemperatures))
        for (int sensor = 0; sensor < kMaxCellTemperatures; ++sensor)
            lines.Add("temperature_celsius", analog.cellTemperatures[std::size_t(sensor)], "sensor",
                      QStringLiteral("cell%1").arg(sensor + 1));
    if (sent(F::Ambient))
        lines.Add("temperature_celsius", analog.ambientTemperature, "sensor", QStringLiteral("ambient"));
    if (sent(F::Fet))
        lines.Add("temperature_celsius", analog.fetTemperature, "sensor", QStringLiteral("fet"));
    if (sent(F::Current))
        lines.Add("pack_current_amperes", analog.current);
    if (sent(F::Voltage))
        lines.Add("pack_voltage_volts", analog.totalVoltage);
    if (sent(F::Remaining))
        lines.Add("remaining_capacity_coulombs", Coulombs(analog.remainingCapacity));
    if (sent(F::FullCapacity))
        lines.Add("full_capacity_coulombs", Coulombs(analog.fullCapacity));
    if (sent(F::Cycles))
        lines.Add("charge_cycles", Decimal::fromInt(analog.cycleCount));
    if (const std::optional<Decimal> soc = StateOfCharge(analog))
        lines.Add("soc_ratio", PercentRatio(*soc));
    if (const std::optional<Decimal> soh = StateOfHealth(analog))
        lines.Add("soh_ratio", PercentRatio(*soh));
    if (sent(F::Humidity))
        lines.Add("humidity_ratio", Decimal::fromRatio(analog.humidity, 100));
    if (IsForeign(analog.family))
        for (const RFamilyQuantity& quantity : FamilyQuantities())
            if (const std::optional<Decimal> value = quantity.value(analog.extra))
                lines.Add(quantity.metric, quantity.toBase(*value));
}

// Every alarm, protection and fault bit, set or clear, so that a query sees
// when one cleared.
// cells: how many cells the pack has, for its per-cell fault bits.
void AddAlarm(LineBuilder& lines, const RAlarmData& alarm, int cells)
{
    // Another family's status bytes go by its own names, never ours.
    if (IsForeign(alarm.family)) {
        const auto names = FamilyStatusNames(alarm.family);
        const std::size_t count = std::min<std::size_t>(alarm.extra.statusCount, names.size());
        for (std::size_t k = 0; k < count; ++k)
            lines.Add("status_byte", Decimal::fromInt(alarm.extra.status[k]), "name",
                      QString::fromLatin1(names[k].data(), qsizetype(names[k].size())));
        if (alarm.extra.cellFaults)
            for (int cell = 0; cell < cells; ++cell)
                lines.Add("cell_fault", Decimal::fromInt((*alarm.extra.cellFaults >> cell) & 1u), "cell",
                          QString::number(cell + 1));
        return;
    }
    for (const StatusBit& bit : kStatusBits) {
        const char* field = bit.kind == StatusKind::Alarm        ? "alarm_active"
                            : bit.kind == StatusKind::Protection ? "protection_active"
                            : bit.kind == StatusKind::Fault      ? "fault_active"
                                                                 : nullptr;
        if (field)
            lines.Add(field, Decimal::fromInt(IsStatusBitSet(alarm, bit) ? 1 : 0), "name",
                      StatusBitMachineName(bit.name));
    }
}

} // namespace

QString EscapeInfluxMeasurement(const QString& name)
{
    return Escape(name, false);
}

QString EscapeInfluxTag(const QString& text)
{
    return Escape(text, true);
}

QByteArray InfluxLines(const RPackSample& sample)
{
    LineBuilder lines(sample);
    if (sample.analog)
        AddAnalog(lines, *sample.analog);
    if (sample.alarm)
        AddAlarm(lines, *sample.alarm,
                 sample.analog && sample.analog->family == sample.alarm->family ? FittedCells(*sample.analog)
                                                                                : kMaxCells);
    lines.Add("pack_up", Decimal::fromInt(sample.Answered() ? 1 : 0));
    return lines.Take();
}

int InfluxLineCount(const QByteArray& lines)
{
    return int(lines.count('\n'));
}
