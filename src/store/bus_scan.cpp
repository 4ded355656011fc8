#include "store/bus_scan.h"

#include "store/devinfo.h"
#include "store/pack_loop.h"

#include <algorithm>

namespace {

// Only reads ever reach an address before its family is known: our bar
// code (0xE9) is a write on some other makers' packs.
RScanEntry ScanAddress(TDevOper& link, std::uint8_t address, int windowMs)
{
    RScanEntry entry;
    entry.address = address;
    entry.family = link.DetectFamily(address, windowMs);
    if (entry.family.family == PackFamily::Ours) {
        entry.result = link.ReadIdentity(address, windowMs, entry.barCode, entry.echoedPack, entry.softwareVersion);
        if (!entry.answered()) {
            entry.barCode.clear();
            entry.echoedPack = 0;
            entry.softwareVersion = 0;
        }
    } else if (entry.family.problem == RPackFamilyState::Problem::PinnedMisfit) {
        entry.result = ResultCode::kFamilyMismatch;
    } else if (IsForeign(entry.family.family)) {
        // Found: its live values fitted its family, it answered whatever its
        // identity reads give. Pinned: nothing was asked yet, its identity
        // reads say whether it is there.
        entry.identityResult = link.ReadFamilyIdentity(address, entry.identity);
        entry.result = entry.family.pinned ? entry.identityResult : ResultCode::kSuccess;
    } else {
        entry.result = entry.family.problem == RPackFamilyState::Problem::None ? ResultCode::kNoAnswer
                                                                               : ResultCode::kFamilyUnknown;
    }
    return entry;
}

} // namespace

std::vector<RScanEntry> ScanBus(TDevInfo& store, const RScanRange& range,
                                const std::function<bool(const RScanEntry&)>& progress, const RBusControl& control)
{
    std::vector<RScanEntry> entries;
    const int window = std::clamp(range.windowMs, RScanRange::kMinWindowMs, RScanRange::kMaxWindowMs);
    std::vector<std::uint8_t> addresses;
    for (int address = std::max(range.from, 0); address <= std::min(range.to, 255); ++address)
        addresses.push_back(std::uint8_t(address));
    bool enough = false;   // the caller wants no more after the last entry
    const RBusControl loopControl{[&] { return enough || control.isCancelled(); }, control.progress};
    ForEachPack(store, addresses, loopControl, [&](std::uint8_t address, int) {
        RScanEntry entry = ScanAddress(store.DevOper(), address, window);
        entries.push_back(entry);
        if (progress && !progress(entry))
            enough = true;
        return entry.answered();
    });
    return entries;
}

std::uint8_t HighestAnswered(const std::vector<RScanEntry>& entries)
{
    std::uint8_t highest = 0;
    for (const RScanEntry& entry : entries)
        if (entry.answered())
            highest = std::max(highest, entry.address);
    return highest;
}
