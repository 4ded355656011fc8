#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// Other makers' packs speak our frame with another VER, sometimes another
// CID1, other commands and other INFO layouts. A family is one such dialect.
// Ours is the family every command of this program was made for; the others
// are only ever read: their live values, their alarm states, their identity.
enum class PackFamily : std::uint8_t { Unknown, Ours, A, B, C, D };

inline constexpr std::array<PackFamily, 5> kKnownFamilies = {
    PackFamily::Ours, PackFamily::A, PackFamily::B, PackFamily::C, PackFamily::D};
inline constexpr std::array<PackFamily, 4> kForeignFamilies = {
    PackFamily::A, PackFamily::B, PackFamily::C, PackFamily::D};

inline constexpr bool IsForeign(PackFamily family)
{
    return family != PackFamily::Unknown && family != PackFamily::Ours;
}

// The family as labels, JSON and BMS.ini carry it: "ours", "A", "B", "C",
// "D", "unknown".
QString FamilyName(PackFamily family);
// "ours", "a".."d" in any case; nothing for anything else ("unknown" too).
std::optional<PackFamily> ParseFamily(QStringView text);

// What a temperature a pack sends measures.
enum class TemperatureRole : std::uint8_t { CellSensor, Board, Ambient, Mosfet };
// "cell", "board", "ambient", "mosfet": the label a temperature carries.
QString TemperatureRoleName(TemperatureRole role);

// What the 0x42 and 0x44 requests of a family carry in INFO.
enum class RequestInfo : std::uint8_t {
    PackNumber,   // ours: the pack number (equal to the address)
    Address,      // one byte, the address itself
    None,         // LENID 0
};

// One row of the family table: the numbers of a family's protocol document.
struct RFamilyRow {
    PackFamily family;
    std::uint8_t version;          // VER of its requests and answers
    std::uint8_t cid1;
    std::uint8_t firstAddress;     // the addresses its packs take
    std::uint8_t lastAddress;
    RequestInfo requestInfo;
    // The user-defined count P its 0x42 answer carries (0: none listed).
    std::array<std::uint8_t, 2> userDefinedCounts;
    // The commands that only read on its packs: the only ones ever sent to
    // them. 0x42 and 0x44 first; identity and protocol-version reads after.
    std::span<const std::uint8_t> reads;
    // The identity reads, in the order asked (a subset of reads).
    std::span<const std::uint8_t> identity;
};

const RFamilyRow& FamilyRow(PackFamily family);

// Whether a CID2 only reads on a pack of this family. For a pack whose
// family is not known yet: only what reads on every family (0x42, 0x44 and
// 0x51). For ours: every command.
bool FamilyReads(PackFamily family, std::uint8_t cid2);

// INFO of a family's 0x42 or 0x44 request to the pack at address.
QByteArray FamilyRequestInfo(PackFamily family, std::uint8_t address);

// The points where the family documents and the packs seen disagree: each
// is a setting of the family, never a guess buried in the decoders.
struct RFamilySettings {
    // Family A's current: 100 mA per count in the maker's document; one
    // reader of those packs uses 10 mA.
    int aCurrentMilliamps = 100;
    // Family D: the last two temperatures are the MOSFET and the ambient
    // sensor on most packs; false shows every temperature as a cell sensor.
    bool dLastTwoAreMosfetAmbient = true;
    friend bool operator==(const RFamilySettings&, const RFamilySettings&) = default;
};

// Names of the status bytes a family's 0x44 answer carries after its limit
// states, in the order sent ("alarm_event_1", "switch_state", ...): label
// values and the keys of their texts. Empty for ours and Unknown.
std::span<const std::string_view> FamilyStatusNames(PackFamily family);
