#include "store/bus_scan.h"

#include "store/devinfo.h"

#include <algorithm>

std::vector<RScanEntry> ScanBus(TDevInfo& store, const RScanRange& range,
                                const std::function<bool(const RScanEntry&)>& progress)
{
    std::vector<RScanEntry> entries;
    const int window = std::clamp(range.windowMs, RScanRange::kMinWindowMs, RScanRange::kMaxWindowMs);
    for (int address = std::max(range.from, 0); address <= std::min(range.to, 255); ++address) {
        RScanEntry entry;
        entry.address = std::uint8_t(address);
        entry.result = store.DevOper().ReadIdentity(entry.address, window, entry.barCode, entry.echoedPack,
                                                    entry.softwareVersion);
        if (!entry.answered()) {
            entry.barCode.clear();
            entry.echoedPack = 0;
            entry.softwareVersion = 0;
        }
        entries.push_back(entry);
        if (progress && !progress(entry))
            break;
    }
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
