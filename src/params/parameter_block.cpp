#include "params/parameter_block.h"

#include <cstdlib>

namespace {

using enum BlockConversion;

// Offset, width, id, conversion; in block order.
constexpr std::array<RBlockField, kBlockNumericFields> kFields = {{
    {0, 1, 1, kAsIs},  // RS485 address
    {1, 1, 11, kAsIs},  // Battery node number
    {2, 2, 15, kTenths},  // Current Limiting Startup
    {4, 2, 13, kHundredths},  // Sampling resistance
    {6, 2, 12, kAsIs},  // Battery self depletion
    {8, 1, 20, kAsIs},  // Balance mode
    {9, 1, 21, kTemperature},  // Balanced high temperature prohibition
    {10, 1, 22, kTemperature},  // Balanced low temperature prohibition
    {11, 2, 23, kAsIs},  // Balance starting voltage
    {13, 2, 24, kAsIs},  // Balance starting pressure difference
    {15, 2, 25, kAsIs},  // Balance pressure difference
    {17, 2, 30, kAsIs},  // Cell high voltage alarm
    {19, 2, 31, kAsIs},  // (no catalogue entry)
    {21, 2, 32, kAsIs},  // Cell low voltage alarm 
    {23, 2, 33, kAsIs},  // (no catalogue entry)
    {25, 2, 35, kDoubled},  // Pack voltage high voltage alarm
    {27, 2, 36, kDoubled},  // (no catalogue entry)
    {29, 2, 37, kDoubled},  // Pack voltage low voltage alarm
    {31, 2, 38, kDoubled},  // (no catalogue entry)
    {33, 1, 40, kTemperature},  // Battery high temperature alarm
    {34, 1, 41, kTemperature},  // Battery low temperature alarm
    {35, 1, 42, kTemperature},  // Battery charging high temperature alarm
    {36, 1, 43, kTemperature},  // (no catalogue entry)
    {37, 1, 44, kTemperature},  // Battery discharge high temperature alarm
    {38, 1, 45, kTemperature},  // (no catalogue entry)
    {39, 1, 46, kTemperature},  // Battery charging low temperature alarm
    {40, 1, 47, kTemperature},  // (no catalogue entry)
    {41, 1, 48, kTemperature},  // Battery discharge low temperature alarm
    {42, 1, 49, kTemperature},  // (no catalogue entry)
    {43, 1, 51, kTemperature},  // Environment high temperature alarm
    {44, 1, 52, kTemperature},  // Environment low temperature alarm
    {45, 1, 53, kTemperature},  // Power high temperature alarm
    {46, 1, 54, kTemperature},  // Power low temperature alarm
    {47, 2, 55, kTimesTen},  // Discharge current alarm
    {49, 2, 56, kTimesTen},  // (no catalogue entry)
    {51, 2, 57, kTimesTen},  // Charging current alarm 
    {53, 2, 58, kTimesTen},  // (no catalogue entry)
    {55, 2, 60, kAsIs},  // Voltage difference alarm
    {57, 2, 61, kAsIs},  // (no catalogue entry)
    {59, 2, 62, kAsIs},  // Voltage difference protection
    {61, 2, 70, kAsIs},  // Cell over voltage protection
    {63, 2, 71, kDelayTimesTen},  // Cell over voltage delay
    {65, 2, 72, kAsIs},  // Cell over voltage recovery
    {67, 2, 73, kAsIs},  // Cell under voltage protection
    {69, 2, 74, kDelayTimesTen},  // Cell under voltage delay
    {71, 2, 75, kAsIs},  // Cell under pressure recovery
    {73, 2, 76, kAsIs},  // Cell Shutdown voltage
    {75, 2, 77, kAsIs},  // Cell Shutdown time
    {77, 2, 80, kDoubled},  // Pack over voltage protection
    {79, 2, 81, kDelayTimesTen},  // Pack overvoltage delay
    {81, 2, 82, kDoubled},  // Pack over voltage recovery
    {83, 2, 83, kDoubled},  // Pack under voltage protection
    {85, 2, 84, kDelayTimesTen},  // Pack under pressure delay
    {87, 2, 85, kDoubled},  // Pack under pressure recovery
    {89, 1, 91, kTemperature},  // Charging high temperature protection
    {90, 1, 92, kTemperature},  // Charging high temperature recovery
    {91, 1, 93, kTemperature},  // Low temperature protection
    {92, 1, 94, kTemperature},  // Low temperature recovery
    {93, 1, 95, kTemperature},  // Discharge high temperature protection
    {94, 1, 96, kTemperature},  // Discharge high temperature recovery
    {95, 1, 97, kTemperature},  // Discharge low temperature protection
    {96, 1, 98, kTemperature},  // Discharge low temperature recovery
    {97, 1, 99, kTemperature},  // Environment high temperature protection
    {98, 1, 100, kTemperature},  // Environmental high temperature recovery
    {99, 1, 101, kTemperature},  // Environment low temperature protection
    {100, 1, 102, kTemperature},  // Environment low temperature recovery
    {101, 1, 103, kTemperature},  // Power high temperature protection
    {102, 1, 104, kTemperature},  // Power high temperature recovery
    {103, 1, 105, kTemperature},  // Power low temperature protection
    {104, 1, 106, kTemperature},  // Power low temperature recovery
    {105, 2, 110, kTimesTen},  // Charging over current protection
    {107, 2, 111, kTimesTen},  // Charge over current protection
    {109, 2, 112, kDelayTimesTen},  // Charge over current protection delay
    {111, 2, 113, kDelayTimesTen},  // Charge over current recovery delay
    {113, 2, 114, kAsIs},  // Number of charging over current automatic locking
    {115, 2, 115, kDelayTimesTen},  // Effective lock time of charging over current
    {117, 2, 120, kTimesTen},  // Discharge over current protection 1
    {119, 2, 121, kTimesTen},  // Discharge over current protection 1
    {121, 2, 122, kDelayTimesTen},  // Discharge over current protection delay 1
    {123, 2, 123, kDelayTimesTen},  // Discharge over current recovery delay 1
    {125, 2, 124, kAsIs},  // number of automatic Discharge over-current 1
    {127, 2, 125, kDelayTimesTen},  // Effective lock time of Discharging over current 1
    {129, 2, 130, kTimesTen},  // Discharge over current protection 2
    {131, 2, 132, kDelayTimesTen},  // Discharge overcurrent protection delay 2
    {133, 2, 133, kDelayTimesTen},  // Discharge over current recovery delay 2
    {135, 2, 134, kAsIs},  // number of automatic Discharge over-current 2
    {137, 2, 135, kDelayTimesTen},  // Effective lock time of Discharging over current 2
    {139, 1, 140, kAsIs},  // Short circuit protection
    {140, 2, 141, kAsIs},  // Precharge time
    {142, 2, 142, kAsIs},  // Short circuit protection delay
    {144, 2, 143, kAsIs},  // Short circuit recovery time delay
    {146, 2, 144, kAsIs},  // Short circuit Auto lock times
    {148, 2, 145, kAsIs},  // Short circuit effective lock time 
    {150, 1, 150, kTemperature},  // Start temperature of heat sink
    {151, 1, 151, kTemperature},  // End temperature of heat sink
    {152, 1, 152, kTemperature},  // Heating start temperature
    {153, 1, 153, kTemperature},  // Heating End temperature
    {154, 2, 160, kAsIs},  // Auto Shutdown
    {156, 2, 161, kAsIs},  // Auto wake-up
    {158, 1, 148, kAsIs},  // RS485 Protocol type
    {159, 1, 149, kAsIs},  // CAN Protocol type
}};

// Switch bytes at offsets 160 to 165, ids from bit 0 to bit 7.
constexpr std::array<RBlockSwitchByte, 6> kSwitches = {{
    {160, {180, 181, 182, 183, 184, 185, 186, 187}},
    {161, {188, 0, 199, 189, 198, 0, 197, 0}},
    {162, {208, 209, 210, 211, 212, 213, 0, 0}},
    {163, {200, 201, 202, 203, 204, 205, 206, 207}},
    {164, {238, 239, 240, 241, 242, 243, 244, 0}},
    {165, {230, 231, 232, 233, 234, 235, 236, 237}},
}};

constexpr int kTemperatureOffset = 40;

// Beyond this a value fits no field; stopping here also keeps the scaling
// below far from 64-bit overflow.
constexpr std::int64_t kLargestSensibleRaw = std::int64_t(1) << 50;

constexpr bool FieldsAreContiguous()
{
    int next = 0;
    for (const RBlockField& field : kFields) {
        if (field.offset != next || (field.width != 1 && field.width != 2))
            return false;
        next += field.width;
    }
    return next == kSwitches.front().offset && kSwitches.back().offset + 1 == kParameterBlockBytes;
}
static_assert(FieldsAreContiguous(), "the numeric fields fill offsets 0 to 159 without gaps");

std::int64_t LargestWireNumber(const RBlockField& field)
{
    return field.width == 2 ? 0xFFFF : 0xFF;
}

Decimal ReadConversion(BlockConversion conversion, std::int64_t wire)
{
    switch (conversion) {
    case kAsIs:
        return Decimal::fromInt(wire);
    case kTemperature:
        return Decimal::fromInt(wire - kTemperatureOffset);
    case kTenths:
        return Decimal::fromRatio(wire, 10);
    case kHundredths:
        return Decimal::fromRatio(wire, 100);
    case kDoubled:
        return Decimal::fromInt(wire * 2);
    case kTimesTen:
    case kDelayTimesTen:
        return Decimal::fromInt(wire * 10);
    }
    return {};
}

} // namespace

const std::array<RBlockField, kBlockNumericFields>& ParameterBlockFields()
{
    return kFields;
}

const std::array<RBlockSwitchByte, 6>& ParameterBlockSwitches()
{
    return kSwitches;
}

void DecodeParameterBlock(QByteArrayView block, RParameter& set)
{
    auto byteAt = [block](int offset) -> std::int64_t {
        return offset < block.size() ? static_cast<std::uint8_t>(block[offset]) : 0;
    };
    for (const RBlockField& field : kFields) {
        const std::int64_t wire = field.width == 2 ? byteAt(field.offset) * 256 + byteAt(field.offset + 1)
                                                   : byteAt(field.offset);
        TParameterInfo::SetParameterValue(field.id, set, ReadConversion(field.conversion, wire));
    }
    for (const RBlockSwitchByte& switchByte : kSwitches) {
        const std::int64_t bits = byteAt(switchByte.offset);
        for (int bit = 0; bit < 8; ++bit)
            if (switchByte.ids[bit] != 0)
                TParameterInfo::SetParameterFlag(switchByte.ids[bit], ((bits >> bit) & 1) != 0, set);
    }
}

void DecodeParameterBlock(const AnswerView& answer, RParameter& set)
{
    QByteArray block(kParameterBlockBytes, '\0');
    for (int k = 0; k < kParameterBlockBytes; ++k)
        block[k] = static_cast<char>(answer.info(k));
    DecodeParameterBlock(block, set);
}

std::int64_t BlockFieldWireValue(const RBlockField& field, Decimal value)
{
    if (std::llabs(value.raw()) > kLargestSensibleRaw)
        return value.raw() < 0 ? -1 : std::int64_t(1) << 40;
    // Whole-number form as the grid shows it: the "0" mask rounds half away
    // from zero. Every other rounding on the way to the wire goes to even.
    const std::int64_t whole = value.roundedHalfAway();
    constexpr auto kEven = Decimal::Rounding::HalfToEven;
    switch (field.conversion) {
    case kAsIs:
        return whole;
    case kTemperature:
        return whole + kTemperatureOffset;
    case kTenths:
        return value.scaledToInt(10, 1, kEven);
    case kHundredths:
        return value.scaledToInt(100, 1, kEven);
    case kDoubled:
        return value.scaledToInt(1, 2, kEven);
    case kTimesTen:
        return value.scaledToInt(1, 10, kEven);
    case kDelayTimesTen:
        return DivideRounded(whole, 10, kEven);
    }
    return 0;
}

std::int64_t ParameterWireValue(const RBlockField& field, const RParameter& set)
{
    return BlockFieldWireValue(field, set.Entries[field.id].Value);
}

bool FitsBlockField(const RBlockField& field, Decimal value)
{
    const std::int64_t wire = BlockFieldWireValue(field, value);
    return wire >= 0 && wire <= LargestWireNumber(field);
}

RBlockFieldRange BlockFieldRange(const RBlockField& field)
{
    return {ReadConversion(field.conversion, 0), ReadConversion(field.conversion, LargestWireNumber(field))};
}

const RBlockField* FindBlockField(std::uint8_t id)
{
    for (const RBlockField& field : kFields)
        if (field.id == id)
            return &field;
    return nullptr;
}

bool IsSwitchBitParameter(std::uint8_t id)
{
    if (id == 0)
        return false;
    for (const RBlockSwitchByte& switchByte : kSwitches)
        for (std::uint8_t bitId : switchByte.ids)
            if (bitId == id)
                return true;
    return false;
}

std::optional<std::uint8_t> FindUnfitParameter(const RParameter& set)
{
    for (const RBlockField& field : kFields) {
        if (!FitsBlockField(field, set.Entries[field.id].Value))
            return field.id;
    }
    return std::nullopt;
}

QByteArray EncodeParameterBlock(const RParameter& set, bool restoreDefaults)
{
    QByteArray bytes(kParameterWriteBytes, '\0');
    for (const RBlockField& field : kFields) {
        const auto wire = static_cast<std::uint64_t>(ParameterWireValue(field, set));
        if (field.width == 2) {
            bytes[field.offset] = static_cast<char>((wire >> 8) & 0xFF);
            bytes[field.offset + 1] = static_cast<char>(wire & 0xFF);
        } else {
            bytes[field.offset] = static_cast<char>(wire & 0xFF);
        }
    }
    for (const RBlockSwitchByte& switchByte : kSwitches) {
        std::uint8_t bits = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (switchByte.ids[bit] != 0 && set.Entries[switchByte.ids[bit]].Value > Decimal())
                bits |= std::uint8_t(1u << bit);
        bytes[switchByte.offset] = static_cast<char>(bits);
    }
    bytes[kParameterBlockBytes] = restoreDefaults ? 1 : 0;
    return bytes;
}
