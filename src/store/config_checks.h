#pragma once

// The checks on what a user gives the configuration commands, shared by the
// configuration page and the command line: a value the pack could only get
// wrapped or cut is refused before anything is sent.

#include "protocol/decimal.h"
#include "protocol/records.h"

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>

namespace ConfigLimits {
// The recording interval travels in 16 bits of seconds.
inline constexpr std::int64_t kMaxIntervalSeconds = 65535;
// Capacities travel in 16 bits of 10 mAh.
inline constexpr std::int64_t kMaxCapacityMah = 65535 * 10;
// The cycle count field takes four digits.
inline constexpr std::int64_t kMaxCycles = 9999;
inline constexpr std::int64_t kMinPackQuantity = 1;
inline constexpr std::int64_t kMaxPackQuantity = kMaxPacks;
// Bar code and product texts are 30 bytes on the wire.
inline constexpr int kWireTextBytes = 30;
} // namespace ConfigLimits

// A whole number in decimal, with an optional sign; nothing else (no
// blanks, no lone sign, at most 18 digits).
std::optional<std::int64_t> ParseWhole(QStringView text);
// A whole number in the range, or nothing.
std::optional<std::int64_t> ParseWholeIn(QStringView text, std::int64_t minimum, std::int64_t maximum);

// A calibration value as the pack takes it: whole mV or mA (kinds 1 and 2),
// or tenths of a degree (kind 3), in 32 bits.
enum class CalibrationValueError : std::uint8_t {
    None,
    NotANumber,       // empty, a lone sign, letters, two points
    OutOfRange,       // does not fit the 32-bit wire value
    NotWhole,         // decimals for mV or mA
    TooManyDecimals,  // more than one decimal for a temperature
};
inline constexpr std::uint8_t kTemperatureCalibrationKind = 3;
// The value of text (blanks around it are ignored), or the reason it is
// refused in error.
std::optional<Decimal> CheckCalibrationValue(std::uint8_t kind, QStringView text, CalibrationValueError& error);
// A temperature cut to the tenths the pack takes, for the message that
// names what would have been sent.
Decimal CutToTenths(Decimal value);

// The product texts in wire order: the record field, a short name, the text
// id of the message when one that must be given is empty (0: may be empty)
// and the number of characters the entry field takes.
struct ProductField {
    QString RProductInfo::*field;
    const char* name;
    std::uint16_t emptyTextId;
    int maxCharacters;
};
inline constexpr std::array<ProductField, 7> kProductFields = {{
    {&RProductInfo::companyName, "company", 0x7038, 30},
    {&RProductInfo::productionDate, "production_date", 0, 10},
    {&RProductInfo::moduleName, "module", 0x7039, 30},
    {&RProductInfo::versionNumber, "version", 0x703A, 30},
    {&RProductInfo::batteryType, "battery_type", 0x703B, 30},
    {&RProductInfo::serialNumber, "serial_number", 0x703C, 30},
    {&RProductInfo::remark, "remark", 0x703D, 30},
}};
// The message that refuses a bar code or product text the pack would get
// cut: more characters than its field takes, or more than the 30 bytes it
// has in the wire code page; or one that is not plain text. Empty when the
// text fits. fieldName names it in the message.
QString RefusedFieldText(const QString& fieldName, const QString& text, int maxCharacters);

// The first required text that is empty after trimming, in wire order, or
// nothing when every required text is given.
std::optional<ProductField> FirstMissingProductText(const RProductInfo& info);
