#include "protocol/decoders.h"

#include "protocol/result_codes.h"

#include <array>
#include <limits>

namespace {

// Temperatures travel as unsigned values offset by 40: 0 is -40 °C.
Decimal OffsetTemperature(std::uint16_t value)
{
    return Decimal::fromInt(std::int64_t(value) - 40);
}

// A count of 10 m-units (10 mA, 10 mV, 10 mAh) as the whole unit: value / 100
// is exact in ten-thousandths.
Decimal Hundredths(std::int64_t value)
{
    return Decimal::fromRaw(value * (Decimal::kScale / 100));
}

// Degrees as the module sends them: signed millionths. Display-only values,
// held as doubles in the record.
double Millionths(std::uint32_t value)
{
    return static_cast<double>(static_cast<std::int32_t>(value)) / 1000000.0;
}

bool IsTrimmed(QChar c)
{
    return c.unicode() <= 0x20 || c.unicode() == 0x7F || c.isSpace() || c.category() == QChar::Other_Control;
}

// Plain characters of the answer text from index first, length of them. Only
// characters inside the INFO part count (the last five are the CHKSUM digits
// and the end character); a zero character counts as a space.
QString PlainText(QByteArrayView text, int first, int length)
{
    const qsizetype infoEnd = text.size() - 5;
    QString result;
    for (qsizetype i = first; i < first + length && i < infoEnd; ++i) {
        const char c = text[i];
        result.append(c == '\0' ? QChar(u' ') : QChar(static_cast<char16_t>(static_cast<std::uint8_t>(c))));
    }
    return result;
}

std::optional<std::uint32_t> FitsThirtyTwoBits(std::int64_t value)
{
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

struct StateMark {
    std::uint8_t state;
    const char* text;
};
constexpr std::array<StateMark, 4> kStateMarks = {{
    {0, ""},
    {1, "L"},
    {2, "H"},
    {0xF0, "-"},
}};

} // namespace

std::uint8_t DecodeAnalogData(const AnswerView& answer, std::uint8_t requestedPack, const QDateTime& now,
                              RAnalogData& record)
{
    // The pack echoes its number first.
    if (answer.info(0) != requestedPack)
        return ResultCode::kWrongAddress;

    RAnalogData fresh;
    fresh.packNumber = requestedPack;
    int pos = 1;

    const int cells = answer.info(pos++);
    if (cells > kMaxCells)
        return ResultCode::kBadFrame;
    for (int i = 0; i < cells; ++i, pos += 2)
        fresh.cellVoltages[i] = answer.infoWord(pos);

    // The temperature count includes the ambient and FET temperatures that
    // follow the cell temperatures.
    const int temperatures = answer.info(pos++);
    if (temperatures < 2 || temperatures > kMaxCellTemperatures + 2)
        return ResultCode::kBadFrame;
    for (int i = 0; i < temperatures - 2; ++i, pos += 2)
        fresh.cellTemperatures[i] = OffsetTemperature(answer.infoWord(pos));
    fresh.ambientTemperature = OffsetTemperature(answer.infoWord(pos));
    pos += 2;
    fresh.fetTemperature = OffsetTemperature(answer.infoWord(pos));
    pos += 2;

    fresh.current = Hundredths(static_cast<std::int16_t>(answer.infoWord(pos)));  // signed, 10 mA
    pos += 2;
    fresh.totalVoltage = Hundredths(answer.infoWord(pos));                        // 10 mV
    pos += 2;
    fresh.remainingCapacity = Hundredths(answer.infoWord(pos));                   // 10 mAh
    pos += 2;
    const std::uint8_t layout = answer.info(pos++);
    fresh.fullCapacity = Hundredths(answer.infoWord(pos));
    pos += 2;
    fresh.cycleCount = answer.infoWord(pos);
    pos += 2;
    fresh.soc = answer.info(pos++);
    fresh.soh = answer.info(pos++);

    // The balancing word carries cells 9-16 in its first byte and cells 1-8
    // in its second, bit 0 lowest.
    const std::uint8_t upperCells = answer.info(pos++);
    const std::uint8_t lowerCells = answer.info(pos++);
    for (int bit = 0; bit < 8; ++bit) {
        fresh.balancing[bit] = (lowerCells >> bit) & 1;
        fresh.balancing[8 + bit] = (upperCells >> bit) & 1;
    }
    // Layout 6 puts one more byte before the humidity.
    if (layout == 6)
        ++pos;
    fresh.humidity = answer.info(pos);
    // An answer that ends before its own counts say would have its checksum
    // digits read as values.
    if (answer.infoCount() < pos + 1)
        return ResultCode::kIncomplete;
    fresh.time = now;

    record = fresh;
    return ResultCode::kSuccess;
}

bool DecodeAlarmData(const AnswerView& answer, std::uint8_t requestedPack, RAlarmData& record)
{
    if (answer.info(0) != requestedPack)
        return false;

    RAlarmData fresh;
    fresh.packNumber = requestedPack;
    fresh.time = record.time;
    int pos = 1;

    // Counts up to 255 are followed as sent; states beyond the record's room
    // are passed over. Reads past the answer see zeros (AnswerView).
    const int cells = answer.info(pos++);
    for (int i = 0; i < cells && i < kMaxCells; ++i)
        fresh.cellStates[i] = answer.info(pos + i);
    pos += cells;
    const int temperatures = answer.info(pos++);
    for (int i = 0; i < temperatures && i < kMaxCellTemperatures; ++i)
        fresh.temperatureStates[i] = answer.info(pos + i);
    pos += temperatures;

    fresh.currentState = answer.info(pos++);
    fresh.voltageState = answer.info(pos++);
    fresh.shortCircuit = answer.infoWord(pos);
    pos += 2;
    ++pos;  // a byte the host does not use
    for (int i = 0; i < kStatusBytes; ++i)
        fresh.status[i] = answer.info(pos + i);

    record = fresh;
    return true;
}

int AlarmAnswerInfoBytes(const AnswerView& answer)
{
    const int cells = answer.info(1);
    const int temperatures = answer.info(2 + cells);
    // pack, M, states, N, states, current, voltage, short-circuit word,
    // unused byte, 16 status bytes
    return 1 + 1 + cells + 1 + temperatures + 2 + 2 + 1 + kStatusBytes;
}

bool DecodeLocationData(const AnswerView& answer, std::uint8_t requestedPack, const QDateTime& now,
                        RLocationData& record)
{
    if (answer.info(0) != requestedPack)
        return false;

    RLocationData fresh;
    fresh.packNumber = requestedPack;
    fresh.status = answer.infoWord(1);
    fresh.signalStrength = answer.info(3);
    fresh.areaCode = answer.infoWord(4);
    fresh.cellId = answer.infoWord(6);
    fresh.stationLongitude = Millionths(answer.infoLong(8));
    fresh.stationLatitude = Millionths(answer.infoLong(12));
    fresh.visibleSatellites = answer.info(16);
    fresh.usedSatellites = answer.info(17);
    fresh.satelliteLongitude = Millionths(answer.infoLong(18));
    fresh.satelliteLatitude = Millionths(answer.infoLong(22));
    // Speed in thousandths of a km/h, 24 bits.
    const std::int64_t speed = (std::int64_t(answer.info(26)) << 16) | answer.infoWord(27);
    fresh.speed = Decimal::fromRaw(speed * (Decimal::kScale / 1000));
    fresh.direction = answer.infoWord(29);

    // The two texts follow the 62 hex characters of INFO 0-30 as plain
    // characters; the pack counts them in LENID as one character each.
    fresh.imei = PlainText(answer.text(), 75, 20);
    fresh.ccid = PlainText(answer.text(), 95, 30);
    fresh.time = now;

    record = fresh;
    return true;
}

QString StatusMark(std::uint8_t state)
{
    for (const StateMark& mark : kStateMarks)
        if (mark.state == state)
            return QString::fromLatin1(mark.text);
    return QStringLiteral("??");
}

QByteArray EncodeTextField(const QString& text, int length)
{
    if (length <= 0)
        return {};
    QByteArray bytes = text.toUtf8();
    if (bytes.size() > length) {
        // Step back over continuation bytes so that the cut falls between
        // two characters.
        qsizetype cut = length;
        while (cut > 0 && (static_cast<std::uint8_t>(bytes[cut]) & 0xC0) == 0x80)
            --cut;
        bytes.truncate(cut);
    }
    bytes.append(QByteArray(length - bytes.size(), ' '));
    return bytes;
}

QString DecodeTextField(QByteArrayView field)
{
    const qsizetype zero = field.indexOf('\0');
    const QString text = QString::fromUtf8(zero < 0 ? field : field.first(zero));
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsTrimmed(text[begin]))
        ++begin;
    while (end > begin && IsTrimmed(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

QString DecodeTextField(const AnswerView& answer, int firstInfo, int length)
{
    QByteArray field(qMax(length, 0), '\0');
    for (int i = 0; i < length; ++i)
        field[i] = static_cast<char>(answer.info(firstInfo + i));
    return DecodeTextField(field);
}

std::optional<std::uint32_t> EncodeCalibrationValue(std::uint8_t kind, Decimal value)
{
    // Whole mV or mA, or tenths of a degree, truncated toward zero; dividing
    // the raw count keeps every value exact and free of overflow.
    const std::int64_t perUnit = kind == 3 ? Decimal::kScale / 10 : Decimal::kScale;
    std::int64_t wire = value.raw() / perUnit;
    if (wire < 0)
        ++wire;
    if (wire < std::numeric_limits<std::int32_t>::min() || wire > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(wire));
}

Decimal DecodeCalibrationValue(std::uint8_t kind, std::uint32_t wire)
{
    const std::int64_t value = static_cast<std::int32_t>(wire);
    return kind == 3 ? Decimal::fromRaw(value * (Decimal::kScale / 10)) : Decimal::fromInt(value);
}

std::optional<std::uint32_t> EncodeTenthsTruncated(Decimal value)
{
    return FitsThirtyTwoBits(value.raw() / (Decimal::kScale / 10));
}

std::optional<std::uint32_t> EncodeHundredthsTruncated(Decimal value)
{
    return FitsThirtyTwoBits(value.raw() / (Decimal::kScale / 100));
}
