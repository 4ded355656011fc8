// The bus scan on the in-process packs: exactly the addresses that answer,
// in order, and a cancel that stops after the current address.

#include "sim_store.h"
#include "store/bus_scan.h"

#include <gtest/gtest.h>

namespace {

TEST(BusScan, ReportsTheAnsweringAddressesInOrderAndStopsWhenCancelled)
{
    SimOptions options;
    options.packs = 5;
    options.faults = {SimFault{SimFaultKind::Silent, 3}, SimFault{SimFaultKind::Silent, 4}};
    SimulatedStore sim(options);
    ASSERT_TRUE(sim.opened);

    const std::vector<RScanEntry> all = ScanBus(*sim.store, RScanRange{1, 6, 100});
    ASSERT_EQ(all.size(), 6u);
    std::vector<int> answered;
    for (const RScanEntry& entry : all) {
        EXPECT_EQ(entry.address, &entry - all.data() + 1);
        if (entry.answered()) {
            answered.push_back(entry.address);
            EXPECT_EQ(entry.echoedPack, entry.address);
            EXPECT_FALSE(entry.barCode.isEmpty());
        } else {
            EXPECT_EQ(entry.result, ResultCode::kNoAnswer);
            EXPECT_TRUE(entry.barCode.isEmpty());
        }
    }
    EXPECT_EQ(answered, (std::vector<int>{1, 2, 5}));
    EXPECT_EQ(HighestAnswered(all), 5);

    SharedSimBus()->clearRequests();
    const std::vector<RScanEntry> cancelled
        = ScanBus(*sim.store, RScanRange{1, 16, 100}, [](const RScanEntry& entry) { return entry.address < 2; });
    EXPECT_EQ(cancelled.size(), 2u);
    for (const SimRequest& request : SharedSimBus()->requests())
        EXPECT_LE(request.address, 2);
}

} // namespace
