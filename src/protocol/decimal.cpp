#include "protocol/decimal.h"

#include <algorithm>
#include <array>
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
    // The digits are put together in place: the logs format hundreds of
    // thousands of cells when they are saved.
    std::uint64_t whole = magnitude / decimalScale;
    std::uint64_t fraction = magnitude % decimalScale;
    std::array<char16_t, 24> wholeDigits{};
    int wholeCount = 0;
    do {
        wholeDigits[std::size_t(wholeCount++)] = char16_t(u'0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    const QStringView prefix = mask.left(first);
    const QStringView suffix = mask.mid(last + 1);
    // A mask without integer digits drops a lone zero before the point.
    const bool showWhole = integerDigits > 0 || wholeCount > 1 || wholeDigits[0] != u'0' || decimals == 0;
    const qsizetype wholeWidth = showWhole ? std::max(wholeCount, integerDigits) : 0;
    QString text(qsizetype(negative) + prefix.size() + wholeWidth + (decimals > 0 ? decimals + 1 : 0) + suffix.size(),
                 Qt::Uninitialized);
    QChar* out = text.data();
    if (negative)
        *out++ = u'-';
    out = std::copy(prefix.begin(), prefix.end(), out);
    for (qsizetype i = wholeCount; i < wholeWidth; ++i)
        *out++ = u'0';
    if (showWhole) {
        while (wholeCount > 0)
            *out++ = QChar(wholeDigits[std::size_t(--wholeCount)]);
    }
    if (decimals > 0) {
        *out++ = u'.';
        for (int i = decimals - 1; i >= 0; --i) {
            out[i] = QChar(char16_t(u'0' + fraction % 10));
            fraction /= 10;
        }
        out += decimals;
    }
    std::copy(suffix.begin(), suffix.end(), out);
    return text;
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
