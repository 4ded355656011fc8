#include "protocol/decoders.h"

#include "protocol/command_catalogue.h"
#include "protocol/info_fields.h"
#include "protocol/result_codes.h"
#include "protocol/wire_text.h"

#include <array>
#include <limits>

namespace {

// Temperatures travel as unsigned values offset by 40: 0 is -40 °C.
Decimal OffsetTemperature(std::uint16_t value)
{
    return Decimal::fromInt(std::int64_t(value) - 40);
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
    // The pack echoes its number first; an answer without it is no answer
    // of this pack.
    if (answer.infoCount() < 1 || answer.info(0) != requestedPack)
        return ResultCode::kWrongAddress;

    RAnalogData fresh;
    fresh.packNumber = requestedPack;
    fresh.time = now;
    InfoFields in(answer, 1);
    // Each field read in full moves the count of fields sent on; the first
    // one the answer does not carry stops it.
    std::uint8_t sent = 0;
    bool whole = true;
    const auto field = [&](bool present) {
        whole = whole && present;
        if (whole)
            ++sent;
    };

    const std::optional<std::uint8_t> cells = in.byte();
    if (cells && *cells > kMaxCells)
        return ResultCode::kBadFrame;
    bool present = cells.has_value();
    for (int i = 0; i < cells.value_or(0); ++i)
        present = Take(fresh.cellVoltages[i], in.word()) && present;
    field(present);

    // The temperature count includes the ambient and FET temperatures that
    // follow the cell temperatures.
    const std::optional<std::uint8_t> temperatures = in.byte();
    if (temperatures && (*temperatures < 2 || *temperatures > kMaxCellTemperatures + 2))
        return ResultCode::kBadFrame;
    present = temperatures.has_value();
    for (int i = 0; i < temperatures.value_or(2) - 2; ++i)
        present = Take(fresh.cellTemperatures[i], in.word(), OffsetTemperature) && present;
    field(present);
    field(Take(fresh.ambientTemperature, in.word(), OffsetTemperature));
    field(Take(fresh.fetTemperature, in.word(), OffsetTemperature));

    field(Take(fresh.current, in.word(), [](std::uint16_t v) { return Hundredths(static_cast<std::int16_t>(v)); })); // 10 mA
    field(Take(fresh.totalVoltage, in.word(), Hundredths));       // 10 mV
    field(Take(fresh.remainingCapacity, in.word(), Hundredths));  // 10 mAh
    const std::optional<std::uint8_t> layout = in.byte();
    field(Take(fresh.fullCapacity, in.word(), Hundredths) && layout.has_value());
    field(Take(fresh.cycleCount, in.word()));
    field(Take(fresh.soc, in.byte()));
    field(Take(fresh.soh, in.byte()));

    // The balancing word carries cells 9-16 in its first byte and cells 1-8
    // in its second, bit 0 lowest.
    const std::optional<std::uint16_t> balancing = in.word();
    if (balancing) {
        for (int bit = 0; bit < 8; ++bit) {
            fresh.balancing[bit] = (*balancing >> bit) & 1;
            fresh.balancing[8 + bit] = (*balancing >> (8 + bit)) & 1;
        }
    }
    field(balancing.has_value());
    // Layout 6 puts one more byte before the humidity.
    if (layout == 6)
        in.skip(1);
    field(Take(fresh.humidity, in.byte()));
    fresh.fieldsSent = sent;

    record = fresh;
    return ResultCode::kSuccess;
}

bool DecodeAlarmData(const AnswerView& answer, std::uint8_t requestedPack, RAlarmData& record)
{
    if (answer.infoCount() < 1 || answer.info(0) != requestedPack)
        return false;

    RAlarmData fresh;
    fresh.packNumber = requestedPack;
    fresh.time = record.time;
    InfoFields in(answer, 1);

    // Counts up to 255 are followed as sent; states beyond the record's room
    // are passed over, so the fields after them are read at their place.
    const int cells = in.byte().value_or(0);
    for (int i = 0; i < cells; ++i) {
        const std::optional<std::uint8_t> state = in.byte();
        if (i < kMaxCells)
            Take(fresh.cellStates[i], state);
    }
    const int temperatures = in.byte().value_or(0);
    for (int i = 0; i < temperatures; ++i) {
        const std::optional<std::uint8_t> state = in.byte();
        if (i < kMaxCellTemperatures)
            Take(fresh.temperatureStates[i], state);
    }

    Take(fresh.currentState, in.byte());
    Take(fresh.voltageState, in.byte());
    Take(fresh.shortCircuit, in.word());
    in.skip(1);  // a byte the host does not use
    for (std::uint8_t& status : fresh.status)
        Take(status, in.byte());

    record = fresh;
    return true;
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
    QByteArray bytes = EncodeWireText(text, length);
    bytes.append(QByteArray(length - bytes.size(), ' '));
    return bytes;
}

QString DecodeTextField(QByteArrayView field)
{
    const qsizetype zero = field.indexOf('\0');
    const QString text = DecodeWireText(zero < 0 ? field : field.first(zero));
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

bool DecodeDateTime(const AnswerView& answer, RDeviceTime& time)
{
    if (answer.infoCount() < 7)
        return false;
    time.year = answer.infoWord(0);
    time.month = answer.info(2);
    time.day = answer.info(3);
    time.hour = answer.info(4);
    time.minute = answer.info(5);
    time.second = answer.info(6);
    return true;
}

bool DecodeBarCode(const AnswerView& answer, QString& barCode, std::uint8_t* echoedPack)
{
    constexpr int kBarCodeLength = 30;
    if (answer.count() < CommandOf(CommandId::ReadBarCode).minimumAnswerBytes)
        return false;
    barCode = DecodeTextField(answer, 1, kBarCodeLength);
    if (echoedPack)
        *echoedPack = answer.info(0);
    return true;
}

bool DecodeDeviceInfo(const AnswerView& answer, std::uint16_t& softwareVersion, QString& deviceName,
                      QString& manufacturer, std::uint16_t& number1, std::uint8_t& number2)
{
    if (answer.count() < CommandOf(CommandId::ReadDeviceInfo).minimumAnswerBytes)
        return false;
    deviceName = DecodeTextField(answer, 0, 10);
    softwareVersion = answer.infoWord(10);
    manufacturer = DecodeTextField(answer, 12, 20);
    // Two numbers the pack keeps inside its name field; the host only
    // carries them.
    number1 = static_cast<std::uint16_t>(answer.info(7) * 256 + answer.info(9));
    number2 = answer.info(8);
    return true;
}
