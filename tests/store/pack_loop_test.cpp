// The one loop over packs: a pack is asked, not tried (cancel), or lost with
// the port, and never reported as asked when no request could go out.
#include "sim_store.h"
#include "store/pack_loop.h"

#include <gtest/gtest.h>

namespace {

struct LoopCase {
    const char* name;
    int cancelBefore;      // index whose turn finds the cancel set; -1: none
    int portGoesAt;        // index whose visit closes the link and fails; -1: none
    std::vector<RPackReach> expected;
};

TEST(PackLoop, EveryPackIsAskedNotTriedOrLostWithThePort)
{
    using R = RPackReach;
    const LoopCase cases[] = {
        {"all asked", -1, -1, {R::Asked, R::Asked, R::Asked, R::Asked}},
        {"cancel before the third", 2, -1, {R::Asked, R::Asked, R::NotTried, R::NotTried}},
        {"port goes during the second", -1, 1, {R::Asked, R::PortLost, R::PortLost, R::PortLost}},
    };
    for (const LoopCase& c : cases) {
        SimulatedStore sim;
        ASSERT_TRUE(sim.opened);
        int turn = 0;
        std::vector<std::uint8_t> visited;
        RBusControl control;
        control.cancelled = [&] { return c.cancelBefore >= 0 && turn >= c.cancelBefore; };
        const RPackLoopResult result = ForEachPack(*sim.store, {1, 2, 3, 4}, control, [&](std::uint8_t pack, int index) {
            visited.push_back(pack);
            turn = index + 1;
            if (index == c.portGoesAt) {
                sim.store->CloseSerial(1);
                return false;
            }
            return true;
        });
        std::vector<R> reaches;
        for (const RPackVisit& visit : result.visits)
            reaches.push_back(visit.reach);
        EXPECT_EQ(reaches, c.expected) << c.name;
        EXPECT_EQ(visited.size(), result.packsWith(R::Asked).size() + (c.portGoesAt >= 0 ? 1 : 0)) << c.name;
        EXPECT_EQ(result.cancelled, c.cancelBefore >= 0) << c.name;
        EXPECT_EQ(result.portLost, c.portGoesAt >= 0) << c.name;
    }
}

} // namespace
