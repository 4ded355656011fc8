#include "params/parameter_compare.h"

namespace {

constexpr std::uint8_t kAddressId = 1;
constexpr std::uint8_t kNodeNumberId = 11;

bool Compared(const RParameterKind& entry)
{
    return entry.Used != 0 && !IsPerPackParameter(entry.Id);
}

} // namespace

bool IsPerPackParameter(std::uint8_t id)
{
    return id == kAddressId || id == kNodeNumberId;
}

std::vector<std::uint8_t> DifferingParameters(const RParameter& reference, const RParameter& other)
{
    std::vector<std::uint8_t> ids;
    for (int position = 0; position < kParameterPositions; ++position) {
        const RParameterKind& entry = reference.Entries[std::size_t(position)];
        if (Compared(entry) && entry.Value != other.Entries[std::size_t(position)].Value)
            ids.push_back(std::uint8_t(position));
    }
    return ids;
}

RParameter TakeSharedParameters(const RParameter& packOwn, const RParameter& wanted)
{
    RParameter merged = packOwn;
    for (int position = 0; position < kParameterPositions; ++position) {
        const RParameterKind& entry = wanted.Entries[std::size_t(position)];
        if (Compared(entry))
            merged.Entries[std::size_t(position)].Value = entry.Value;
    }
    return merged;
}
