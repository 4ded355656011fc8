#include "protocol/decimal.h"

#include <limits>

std::int64_t DivideRounded(std::int64_t numerator, std::int64_t divisor, Decimal::Rounding rounding)
{
    if (divisor < 0) {
        numerator = -numerator;
        divisor = -divisor;
    }
    const std::int64_t quotient = numerator / divisor;
    const std::int64_t remainder = numerator % divisor;
    if (remainder == 0 || rounding == Decimal::Rounding::Truncate)
        return quotient;
    const std::int64_t twice = (remainder < 0 ? -remainder : remainder) * 2;
    const std::int64_t away = numerator < 0 ? quotient - 1 : quotient + 1;
    if (twice > divisor)
        return away;
    if (twice < divisor)
        return quotient;
    if (rounding == Decimal::Rounding::HalfAwayFromZero)
        return away;
    return (quotient % 2 == 0) ? quotient : away;
}

Decimal Decimal::fromRatio(std::int64_t numerator, std::int64_t denominator)
{
    return Decimal(DivideRounded(numerator * kScale, denominator, Rounding::HalfAwayFromZero));
}

std::int64_t Decimal::roundedHalfAway() const
{
    return DivideRounded(m_raw, kScale, Rounding::HalfAwayFromZero);
}

std::int64_t Decimal::roundedHalfEven() const
{
    return DivideRounded(m_raw, kScale, Rounding::HalfToEven);
}

std::int64_t Decimal::scaledToInt(std::int64_t factor, std::int64_t divisor, Rounding rounding) const
{
    return DivideRounded(m_raw * factor, divisor * kScale, rounding);
}

std::optional<Decimal> Decimal::parse(QStringView text)
{
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool negative = false;
    qsizetype pos = 0;
    if (text[0] == u'-' || text[0] == u'+') {
        negative = text[0] == u'-';
        ++pos;
    }
    std::int64_t whole = 0;
    std::int64_t fraction = 0;
    int fractionDigits = 0;
    bool seenPoint = false;
    bool seenDigit = false;
    bool roundUp = false;
    constexpr std::int64_t kMaxWhole = std::numeric_limits<std::int64_t>::max() / kScale / 10;
    for (; pos < text.size(); ++pos) {
        const QChar c = text[pos];
        if (c == u'.') {
            if (seenPoint)
                return std::nullopt;
            seenPoint = true;
            continue;
        }
        if (c < u'0' || c > u'9')
            return std::nullopt;
        seenDigit = true;
        const int digit = c.unicode() - u'0';
        if (!seenPoint) {
            if (whole > kMaxWhole)
                return std::nullopt;
            whole = whole * 10 + digit;
        } else if (fractionDigits < 4) {
            fraction = fraction * 10 + digit;
            ++fractionDigits;
        } else if (fractionDigits == 4) {
            roundUp = digit >= 5;
            ++fractionDigits;
        }
    }
    if (!seenDigit)
        return std::nullopt;
    for (int i = fractionDigits; i < 4; ++i)
        fraction *= 10;
    std::int64_t raw = whole * kScale + fraction + (roundUp ? 1 : 0);
    return Decimal(negative ? -raw : raw);
}

QString Decimal::format(QStringView mask) const
{
    // Split the mask into the literal text before the number, the digit
    // pattern and the literal text after it.
    qsizetype first = -1;
    qsizetype last = -1;
    for (qsizetype i = 0; i < mask.size(); ++i) {
        if (mask[i] == u'0' || mask[i] == u'.') {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first < 0)
        return mask.toString();
    const QStringView pattern = mask.mid(first, last - first + 1);
    int integerDigits = 0;
    int decimals = 0;
    bool afterPoint = false;
    for (QChar c : pattern) {
        if (c == u'.')
            afterPoint = true;
        else if (c == u'0')
            (afterPoint ? decimals : integerDigits)++;
    }
    std::int64_t divisor = 1;
    for (int i = decimals; i < 4; ++i)
        divisor *= 10;
    const std::int64_t scaled = DivideRounded(m_raw, divisor, Rounding::HalfAwayFromZero);
    const bool negative = scaled < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    std::uint64_t decimalScale = 1;
    for (int i = 0; i < decimals; ++i)
        decimalScale *= 10;
    QString number = QString::number(magnitude / decimalScale);
    if (number.size() < integerDigits)
        number = QString(integerDigits - number.size(), u'0') + number;
    if (integerDigits == 0 && number == u"0" && decimals > 0)
        number.clear();
    if (decimals > 0)
        number += u'.' + QString::number(magnitude % decimalScale).rightJustified(decimals, u'0');
    return (negative ? QStringLiteral("-") : QString()) + mask.left(first).toString() + number
        + mask.mid(last + 1).toString();
}

QString Decimal::toString() const
{
    const bool negative = m_raw < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(m_raw) : static_cast<std::uint64_t>(m_raw);
    QString text = QString::number(magnitude / kScale);
    std::uint64_t fraction = magnitude % kScale;
    if (fraction != 0) {
        QString digits = QString::number(fraction).rightJustified(4, u'0');
        while (digits.endsWith(u'0'))
            digits.chop(1);
        text += u'.' + digits;
    }
    return negative ? u'-' + text : text;
}
