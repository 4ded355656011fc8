#pragma once

#include "params/parameter_info.h"
#include "protocol/answer_view.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstdint>
#include <optional>

// The pack's parameter block: 166 bytes in the answer to ReadParameters and,
// with the restore-defaults byte appended, the INFO of WriteParameters.
inline constexpr int kParameterBlockBytes = 166;
inline constexpr int kParameterWriteBytes = kParameterBlockBytes + 1;

// How a numeric field's wire number relates to the parameter's value.
enum class BlockConversion : std::uint8_t {
    kAsIs,           // wire = value as a whole number
    kTemperature,    // one byte, °C + 40
    kTenths,         // value = wire / 10; written from the exact value
    kHundredths,     // value = wire / 100; written from the exact value
    kDoubled,        // value = wire * 2; written as the exact value / 2
    kTimesTen,       // value = wire * 10; written as the exact value / 10
    kDelayTimesTen,  // value = wire * 10; written as the whole-number value / 10
};

struct RBlockField {
    std::uint8_t offset;
    std::uint8_t width;  // 1 or 2 bytes, high byte first
    std::uint8_t id;     // parameter id, which is also its position in a set
    BlockConversion conversion;
};

// One switch bit: the parameter it carries, or 0 for a bit that is ignored
// when reading and written as 0.
struct RBlockSwitchByte {
    std::uint8_t offset;
    std::array<std::uint8_t, 8> ids;  // bit 0 first
};

inline constexpr int kBlockNumericFields = 101;
const std::array<RBlockField, kBlockNumericFields>& ParameterBlockFields();
const std::array<RBlockSwitchByte, 6>& ParameterBlockSwitches();

// Ids of block fields that have no catalogue entry. A set read from a pack
// holds their values at their positions; nothing else carries them.
inline constexpr std::array<std::uint8_t, 11> kUncataloguedBlockIds = {31, 33, 36, 38, 43, 45, 47, 49, 56, 58, 61};

// Decodes the block (the INFO bytes of a ReadParameters answer) into the
// set, by position. Reads past the end of block see zero bytes.
void DecodeParameterBlock(QByteArrayView block, RParameter& set);
void DecodeParameterBlock(const AnswerView& answer, RParameter& set);

// The number a numeric field would carry on the wire for this set, before it
// is cut to the field's width. Every field reads its parameter by position:
// for catalogue entries that is the entry with that id, and for the eleven
// uncatalogued fields it is the value last read from the pack.
std::int64_t ParameterWireValue(const RBlockField& field, const RParameter& set);

// The number the field would carry for the value, before it is cut to the
// field's width.
std::int64_t BlockFieldWireValue(const RBlockField& field, Decimal value);
// Whether the value fits the field: its wire number is neither negative nor
// above 255 or 65535.
bool FitsBlockField(const RBlockField& field, Decimal value);
// The values the field can carry: what its smallest and largest wire
// numbers read as (0..65535, -40..215 °C, 0..6553.5, ...).
struct RBlockFieldRange {
    Decimal minimum;
    Decimal maximum;
};
RBlockFieldRange BlockFieldRange(const RBlockField& field);
// The numeric field that carries the parameter, or none.
const RBlockField* FindBlockField(std::uint8_t id);
// Whether the parameter is one of the switch bits (on or off, nothing else).
bool IsSwitchBitParameter(std::uint8_t id);

// The id of the first field whose wire number does not fit its width
// (negative, above 255 or 65535; a temperature outside -40..215 °C).
std::optional<std::uint8_t> FindUnfitParameter(const RParameter& set);

// The 167 request bytes of WriteParameters. Values that do not fit are cut
// to their low bits: check FindUnfitParameter first.
QByteArray EncodeParameterBlock(const RParameter& set, bool restoreDefaults);
