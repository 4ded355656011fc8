#include "store/config_checks.h"

#include "protocol/decoders.h"
#include "protocol/wire_text.h"
#include "services/input_text.h"
#include "services/textoper.h"

#include <QRegularExpression>

std::optional<std::int64_t> ParseWhole(QStringView text)
{
    const qsizetype digitsFrom = (text.startsWith(u'-') || text.startsWith(u'+')) ? 1 : 0;
    // 18 digits always fit 64 bits.
    if (text.size() == digitsFrom || text.size() - digitsFrom > 18)
        return std::nullopt;
    for (qsizetype i = digitsFrom; i < text.size(); ++i)
        if (text[i] < u'0' || text[i] > u'9')
            return std::nullopt;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    return ok ? std::optional<std::int64_t>(value) : std::nullopt;
}

std::optional<std::int64_t> ParseWholeIn(QStringView text, std::int64_t minimum, std::int64_t maximum)
{
    const std::optional<std::int64_t> value = ParseWhole(text);
    if (!value || *value < minimum || *value > maximum)
        return std::nullopt;
    return value;
}

std::optional<Decimal> CheckCalibrationValue(std::uint8_t kind, QStringView text, CalibrationValueError& error)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?(?=\\.?[0-9])[0-9]*(?:\\.([0-9]*))?$"));
    const QString trimmed = text.trimmed().toString();
    const QRegularExpressionMatch match = number.match(trimmed);
    if (!match.hasMatch()) {
        error = CalibrationValueError::NotANumber;
        return std::nullopt;
    }
    const std::optional<Decimal> value = Decimal::parse(trimmed);
    if (!value || !EncodeCalibrationValue(kind, *value)) {
        error = CalibrationValueError::OutOfRange;
        return std::nullopt;
    }
    const QString fraction = match.captured(1);
    qsizetype decimals = fraction.size();
    while (decimals > 0 && fraction.at(decimals - 1) == u'0')
        --decimals;
    const bool temperature = kind == kTemperatureCalibrationKind;
    if (!temperature && decimals > 0) {
        error = CalibrationValueError::NotWhole;
        return std::nullopt;
    }
    if (temperature && decimals > 1) {
        error = CalibrationValueError::TooManyDecimals;
        return std::nullopt;
    }
    error = CalibrationValueError::None;
    return value;
}

Decimal CutToTenths(Decimal value)
{
    // The pack takes tenths, cut toward zero.
    constexpr std::int64_t kTenth = Decimal::kScale / 10;
    return Decimal::fromRaw(value.raw() / kTenth * kTenth);
}

QString RefusedFieldText(const QString& fieldName, const QString& text, int maxCharacters)
{
    if (QString refused = RefusedPackText(fieldName, text); !refused.isEmpty())
        return refused;
    constexpr std::uint16_t kTextTooLong = 0x36BA;
    if (text.size() > maxCharacters || EncodeWireText(text).size() > ConfigLimits::kWireTextBytes)
        return TTextOper().GetLanguageText(kTextTooLong).arg(fieldName).arg(maxCharacters).arg(ConfigLimits::kWireTextBytes);
    return {};
}

std::optional<ProductField> FirstMissingProductText(const RProductInfo& info)
{
    for (const ProductField& field : kProductFields)
        if (field.emptyTextId != 0 && (info.*field.field).trimmed().isEmpty())
            return field;
    return std::nullopt;
}
