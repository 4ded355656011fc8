#include "store/pack_loop.h"

#include "store/devinfo.h"

#include <algorithm>

RPackReach RPackLoopResult::reachOf(std::uint8_t pack) const
{
    for (const RPackVisit& visit : visits)
        if (visit.pack == pack)
            return visit.reach;
    return RPackReach::NotTried;
}

std::vector<std::uint8_t> RPackLoopResult::packsWith(RPackReach reach) const
{
    std::vector<std::uint8_t> packs;
    for (const RPackVisit& visit : visits)
        if (visit.reach == reach)
            packs.push_back(visit.pack);
    return packs;
}

RPackLoopResult ForEachPack(TDevInfo& store, const std::vector<std::uint8_t>& packs, const RBusControl& control,
                            const std::function<bool(std::uint8_t pack, int index)>& visit)
{
    RPackLoopResult result;
    const int total = int(packs.size());
    // The polling thread finishes the exchange it has under way and then
    // leaves the link to the job until its last pack is done; a cancel
    // while waiting for it leaves every pack untried.
    const RBusHoldGuard hold(store.BusHold(), [&control] { return control.isCancelled(); });
    result.cancelled = !hold.held();
    for (int k = 0; k < total; ++k) {
        const std::uint8_t pack = packs[std::size_t(k)];
        if (!result.cancelled && !result.portLost) {
            if (control.isCancelled())
                result.cancelled = true;
            else if (!store.IsLinkOpen())
                result.portLost = true;
        }
        if (result.cancelled || result.portLost) {
            result.visits.push_back({pack, result.cancelled ? RPackReach::NotTried : RPackReach::PortLost});
            continue;
        }
        control.report(k, total, QString::number(pack));
        const bool ok = visit(pack, k);
        const bool lostNow = !ok && !store.IsLinkOpen();
        result.portLost = lostNow;
        result.visits.push_back({pack, lostNow ? RPackReach::PortLost : RPackReach::Asked});
    }
    control.report(int(std::count_if(result.visits.begin(), result.visits.end(),
                                     [](const RPackVisit& v) { return v.reach == RPackReach::Asked; })),
                   total, QString());
    return result;
}
