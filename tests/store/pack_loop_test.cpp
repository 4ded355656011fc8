// The one loop over packs: a pack is asked, not tried (cancel), or lost with
// the port, and never reported as asked when no request could go out.
#include "sim_store.h"
#include "store/bus_jobs.h"
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

// Every log of a rack through the loop: the silent pack is asked and not
// complete, and a cancel after the first pack's log leaves the rest untried;
// either way the run names the packs whose whole log came.
TEST(PackLoop, AllPackLogsNameThePacksReadWholeWhenSilentOrCancelled)
{
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "whole run");
        SimOptions options;
        options.packs = 3;
        options.recordsPerLog = 2;
        options.faults = {SimFault{SimFaultKind::Silent, 2}};
        SimulatedStore sim(options);
        ASSERT_TRUE(sim.opened);
        bool firstDone = false;
        RBusControl control;
        control.cancelled = [&] { return cancel && firstDone; };
        std::vector<std::uint8_t> rowPacks;
        const RAllPackLogs logs = ReadAllPackLogs(
            *sim.store, {1, 2, 3}, false, control,
            [&](std::uint8_t pack, int, const RHistoryRecord&, const QString&) {
                rowPacks.push_back(pack);
                return true;
            },
            [&](const RPackLogOutcome& outcome) { firstDone = outcome.pack == 1; });
        EXPECT_EQ(logs.complete(), cancel ? std::vector<std::uint8_t>{1} : (std::vector<std::uint8_t>{1, 3}));
        if (cancel) {
            EXPECT_EQ(rowPacks, (std::vector<std::uint8_t>{1, 1}));
            EXPECT_EQ(logs.incomplete(), (std::vector<std::uint8_t>{2, 3}));
            EXPECT_EQ(logs.loop.reachOf(2), RPackReach::NotTried);
        } else {
            EXPECT_EQ(rowPacks, (std::vector<std::uint8_t>{1, 1, 3, 3}));
            EXPECT_EQ(logs.incomplete(), (std::vector<std::uint8_t>{2}));
            ASSERT_NE(logs.find(2), nullptr);
            EXPECT_EQ(logs.find(2)->end, HistoryTransferEnd::NoAnswer);
        }
    }
}

} // namespace
