#include "params/parameter_compare.h"

#include <array>

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

QString RefusedReferenceLines(const std::vector<RParameterFileLine>& lines, const RParameter& catalogue)
{
    std::array<int, 256> firstLine{};
    for (const RParameterFileLine& line : lines) {
        if (line.id >= kParameterPositions)
            continue;
        int& first = firstLine[line.id];
        if (first != 0)
            return QStringLiteral("Line %1: id %2 is given again (first on line %3)").arg(line.lineNumber).arg(line.id).arg(first);
        first = line.lineNumber;
        const RParameterKind& entry = catalogue.Entries[line.id];
        if (entry.Used == 0 || entry.Decimals >= 4)
            continue;
        std::int64_t step = Decimal::kScale;
        for (int k = 0; k < entry.Decimals; ++k)
            step /= 10;
        if (line.value.raw() % step != 0)
            return QStringLiteral("Line %1: %2 has more than the %3 decimal(s) of id %4")
                .arg(line.lineNumber)
                .arg(line.value.toString())
                .arg(entry.Decimals)
                .arg(line.id);
    }
    return {};
}
