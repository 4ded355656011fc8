#include "protocol/pack_family.h"

#include <algorithm>

namespace {

// The reads of each family: 0x42 live values, 0x44 alarm states, then its
// identity and protocol-version reads.
constexpr std::uint8_t kUnknownReads[] = {0x42, 0x44, 0x51};
constexpr std::uint8_t kAReads[] = {0x42, 0x44, 0x4F, 0x51, 0x93, 0x96};
constexpr std::uint8_t kAIdentity[] = {0x51, 0x93, 0x96};
constexpr std::uint8_t kBReads[] = {0x42, 0x44, 0x4F, 0x51};
constexpr std::uint8_t kCReads[] = {0x42, 0x44, 0x51};
constexpr std::uint8_t kBcIdentity[] = {0x51};
constexpr std::uint8_t kDReads[] = {0x42, 0x44, 0xC1, 0xC2};
constexpr std::uint8_t kDIdentity[] = {0xC1, 0xC2};
constexpr std::uint8_t kOursIdentity[] = {0x51};

constexpr RFamilyRow kRows[] = {
    {PackFamily::Unknown, 0x21, 0x46, 1, 16, RequestInfo::PackNumber, {0, 0}, kUnknownReads, {}},
    {PackFamily::Ours, 0x21, 0x46, 1, 16, RequestInfo::PackNumber, {0, 0}, {}, kOursIdentity},
    {PackFamily::A, 0x20, 0x46, 2, 0xFF, RequestInfo::Address, {2, 4}, kAReads, kAIdentity},
    {PackFamily::B, 0x20, 0x46, 0, 15, RequestInfo::Address, {10, 0}, kBReads, kBcIdentity},
    {PackFamily::C, 0x20, 0x4A, 1, 15, RequestInfo::None, {15, 0}, kCReads, kBcIdentity},
    {PackFamily::D, 0x25, 0x46, 0, 15, RequestInfo::Address, {3, 9}, kDReads, kDIdentity},
};

constexpr std::string_view kAStatus[] = {"status_1", "status_2", "status_3", "cell_faults_1_8", "cell_faults_9_16"};
constexpr std::string_view kBStatus[] = {
    "alarm_event_1", "alarm_event_2", "alarm_event_3", "alarm_event_4", "alarm_event_5", "alarm_event_6",
    "switch_state", "balancing_1", "balancing_2", "system_state", "disconnection_1", "disconnection_2",
    "alarm_event_7", "alarm_event_8", "reserved_1", "reserved_2", "reserved_3", "reserved_4", "reserved_5",
    "reserved_6"};
constexpr std::string_view kCStatus[] = {
    "balancing_event", "voltage_event", "temperature_event_1", "temperature_event_2", "current_event",
    "remaining_capacity_alarm", "fet_state", "system_state", "balancing_state_1", "balancing_state_2",
    "balancing_state_3", "balancing_state_4"};
constexpr std::string_view kDStatus[] = {"protection_1", "protection_2", "instruction", "control", "fault",
                                         "balancing_1", "balancing_2", "warning_1", "warning_2"};

} // namespace

QString FamilyName(PackFamily family)
{
    switch (family) {
    case PackFamily::Ours: return QStringLiteral("ours");
    case PackFamily::A: return QStringLiteral("A");
    case PackFamily::B: return QStringLiteral("B");
    case PackFamily::C: return QStringLiteral("C");
    case PackFamily::D: return QStringLiteral("D");
    case PackFamily::Unknown: break;
    }
    return QStringLiteral("unknown");
}

std::optional<PackFamily> ParseFamily(QStringView text)
{
    for (PackFamily family : kKnownFamilies)
        if (text.compare(FamilyName(family), Qt::CaseInsensitive) == 0)
            return family;
    return std::nullopt;
}

QString TemperatureRoleName(TemperatureRole role)
{
    switch (role) {
    case TemperatureRole::Board: return QStringLiteral("board");
    case TemperatureRole::Ambient: return QStringLiteral("ambient");
    case TemperatureRole::Mosfet: return QStringLiteral("mosfet");
    case TemperatureRole::CellSensor: break;
    }
    return QStringLiteral("cell");
}

const RFamilyRow& FamilyRow(PackFamily family)
{
    return *std::find_if(std::begin(kRows), std::end(kRows),
                         [family](const RFamilyRow& row) { return row.family == family; });
}

bool FamilyReads(PackFamily family, std::uint8_t cid2)
{
    if (family == PackFamily::Ours)
        return true;
    const auto reads = FamilyRow(family).reads;
    return std::find(reads.begin(), reads.end(), cid2) != reads.end();
}

QByteArray FamilyRequestInfo(PackFamily family, std::uint8_t address)
{
    if (FamilyRow(family).requestInfo == RequestInfo::None)
        return {};
    return QByteArray(1, static_cast<char>(address));
}

std::span<const std::string_view> FamilyStatusNames(PackFamily family)
{
    switch (family) {
    case PackFamily::A: return kAStatus;
    case PackFamily::B: return kBStatus;
    case PackFamily::C: return kCStatus;
    case PackFamily::D: return kDStatus;
    default: break;
    }
    return {};
}
