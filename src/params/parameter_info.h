#pragma once

#include "protocol/decimal.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

// One catalogue entry, or one parameter of a set.
struct RParameterKind {
    std::uint8_t Id = 0;
    std::array<QString, 2> Names;   // [0] Simplified Chinese, [1] English
    std::uint8_t Used = 0;
    std::uint8_t UnitCode = 0;
    std::uint8_t Kind = 0;          // 0 integer, 1 decimal, 3 switch
    std::uint8_t ListGroup = 0;
    std::uint8_t Decimals = 0;
    Decimal Value;
    std::uint8_t ShowRange = 0;
    Decimal MinValue;
    Decimal MaxValue;

    friend bool operator==(const RParameterKind&, const RParameterKind&) = default;
};

inline constexpr int kParameterPositions = 255;

// A parameter set: the pack it belongs to and all 255 positions.
struct RParameter {
    std::uint8_t PackNumber = 0;
    std::array<RParameterKind, kParameterPositions> Entries{};

    friend bool operator==(const RParameter&, const RParameter&) = default;
};

inline constexpr int kCatalogueEntries = 133;

// One item of the selection box of an enumerated parameter: the value stored
// in the set and what the box shows. A non-zero textId means the text comes
// from the text service in the current language; otherwise text is shown as is.
struct RParameterChoice {
    std::uint8_t value;
    const char* text;
    std::uint16_t textId;
};

// The parameter catalogue (133 entries) and the operations on sets.
class TParameterInfo {
public:
    enum Kind : std::uint8_t { KindInteger = 0, KindDecimal = 1, KindSwitch = 3 };

    TParameterInfo();

    void InitCatalogue();
    const RParameterKind& CatalogueEntry(int position) const;
    RParameter NewParameterSet(std::uint8_t packNumber);

    static RParameterKind FindParameter(std::uint8_t id, const RParameter& set);
    static QString GetParameterName(std::uint8_t id, std::uint8_t language, const RParameter& set);
    static std::int64_t GetParameterInt(std::uint8_t id, const RParameter& set);
    static Decimal GetParameterValue(std::uint8_t id, const RParameter& set);
    static bool GetParameterFlag(std::uint8_t id, const RParameter& set);
    static bool CheckParameterRange(const RParameterKind& entry);
    static void SetParameterInt(int position, std::int64_t value, RParameter& set);
    static void SetParameterValue(int position, RParameter& set, Decimal value);
    static void SetParameterFlag(int position, bool flag, RParameter& set);
    static QString FormatParameterValue(std::uint8_t kind, std::uint8_t decimals, Decimal value);

    // The items of the selection box of parameter 20, 140, 148 or 149, in the
    // order the box lists them; empty for every other id.
    static std::span<const RParameterChoice> ParameterChoices(std::uint8_t id);
    // The first entry, in position order, that is used, carries a range and
    // fails CheckParameterRange: what writing and exporting refuse.
    static std::optional<RParameterKind> FirstOutOfRange(const RParameter& set);

private:
    std::array<RParameterKind, kParameterPositions> m_catalogue{};
};
