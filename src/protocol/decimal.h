#pragma once

#include <QString>
#include <QStringView>

#include <compare>
#include <cstdint>
#include <optional>

// The exact decimal the whole tool computes with: a signed 64-bit count of
// ten-thousandths. Voltages, currents, capacities, temperatures, calibration
// and parameter values live in it; no conversion that must be exact goes
// through a double.
class Decimal {
public:
    static constexpr std::int64_t kScale = 10000;

    constexpr Decimal() = default;

    static constexpr Decimal fromRaw(std::int64_t raw) { return Decimal(raw); }
    static constexpr Decimal fromInt(std::int64_t whole) { return Decimal(whole * kScale); }
    // numerator / denominator, exact when the quotient has at most four
    // decimals; otherwise rounded half away from zero to four decimals.
    static Decimal fromRatio(std::int64_t numerator, std::int64_t denominator);
    // Parses "12", "-3.5", "0.0001", "+7.25". More than four decimals are
    // rounded half away from zero. Anything else (empty, letters, two points,
    // out of range) gives no value.
    static std::optional<Decimal> parse(QStringView text);

    constexpr std::int64_t raw() const { return m_raw; }

    // Whole-number forms of the value.
    std::int64_t truncated() const { return m_raw / kScale; }
    std::int64_t roundedHalfAway() const;
    std::int64_t roundedHalfEven() const;

    // value × factor / divisor rounded to a whole number with the given rule;
    // exact integer arithmetic (used by the wire conversions).
    enum class Rounding { HalfAwayFromZero, HalfToEven, Truncate };
    std::int64_t scaledToInt(std::int64_t factor, std::int64_t divisor, Rounding rounding) const;

    // Formats with a number mask: each "0" is a digit position, "." the
    // decimal point, any other character is copied ("0.000", "00", "V00",
    // ">00", "00->"). Decimals the mask drops are rounded half away from zero.
    QString format(QStringView mask) const;
    // The shortest exact decimal text: "13", "-2.5", "0.0001".
    QString toString() const;
    // For plotting and other display-only uses; never for stored values.
    double toDouble() const { return static_cast<double>(m_raw) / kScale; }

    friend constexpr Decimal operator+(Decimal a, Decimal b) { return Decimal(a.m_raw + b.m_raw); }
    friend constexpr Decimal operator-(Decimal a, Decimal b) { return Decimal(a.m_raw - b.m_raw); }
    friend constexpr Decimal operator-(Decimal a) { return Decimal(-a.m_raw); }
    friend constexpr bool operator==(Decimal a, Decimal b) = default;
    friend constexpr auto operator<=>(Decimal a, Decimal b) = default;

private:
    constexpr explicit Decimal(std::int64_t raw) : m_raw(raw) {}
    std::int64_t m_raw = 0;
};

// Integer division of numerator by a positive divisor with the given rule.
std::int64_t DivideRounded(std::int64_t numerator, std::int64_t divisor, Decimal::Rounding rounding);
