// The bus scan on the in-process packs: exactly the addresses that answer,
// in order, and a cancel that stops after the current address; the family
// of each, found by reads alone, on a bus of several makers' packs.

#include "protocol/frame.h"
#include "sim_store.h"
#include "store/bus_scan.h"
#include "support/scripted_link.h"

#include <gtest/gtest.h>

#include <set>

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

namespace {

// Our packs, other makers', one whose answers fit no family, two makers'
// packs at one address and a silent one: each found by reads alone, and
// only a pack confirmed as ours asked for our bar code (a write on some
// other makers' packs).
TEST(BusScan, FindsEachFamilyByReadsAloneAndAsksOnlyOursForItsBarCode)
{
    constexpr std::uint8_t kCrowded = 5;
    SimOptions options;
    options.packs = 3;
    options.families = {{2, SimFamily::A}, {4, SimFamily::C}, {kCrowded, SimFamily::A}};
    options.faults = {SimFault{SimFaultKind::Rtn, 0, 0x42, 0x04, 3}};
    SimBus bus(options);
    SimFamilyPack second(SimFamily::D, kCrowded, 7);
    auto link = std::make_shared<LinkScript>();
    link->respond = [&](const QByteArray& request) {
        frame::ParsedFrame parsed;
        if (frame::ParseFrame(request, parsed) && parsed.address == kCrowded && parsed.version == 0x25) {
            const auto answer = second.handle(parsed);
            return answer ? frame::BuildFrameText(kCrowded, answer->cid1, answer->rtn, answer->infoText, answer->version)
                          : QByteArray();
        }
        return bus.respond(request).text;
    };
    TDevInfo store;
    store.InitStore();
    ASSERT_TRUE(OpenScriptedLink(store.DevOper(), QStringLiteral("scan-families"), link));

    using P = RPackFamilyState::Problem;
    const struct {
        PackFamily family;
        P problem;
        std::uint8_t result;
    } expected[] = {{PackFamily::Ours, P::None, ResultCode::kSuccess},
                    {PackFamily::A, P::None, ResultCode::kSuccess},
                    {PackFamily::Unknown, P::NoFit, ResultCode::kFamilyUnknown},
                    {PackFamily::C, P::None, ResultCode::kSuccess},
                    {PackFamily::Unknown, P::TwoFamilies, ResultCode::kFamilyUnknown},
                    {PackFamily::Unknown, P::None, ResultCode::kNoAnswer}};
    const std::vector<RScanEntry> entries = ScanBus(store, RScanRange{1, 6, 100});
    ASSERT_EQ(entries.size(), std::size(expected));
    for (const RScanEntry& entry : entries) {
        SCOPED_TRACE(int(entry.address));
        const auto& e = expected[entry.address - 1];
        EXPECT_EQ(entry.family.family, e.family);
        EXPECT_EQ(entry.family.problem, e.problem);
        EXPECT_EQ(entry.result, e.result);
        EXPECT_EQ(!entry.barCode.isEmpty() || !entry.identity.deviceName.isEmpty(), e.result == 0);
    }
    EXPECT_EQ(entries[2].family.misfit.rtn, 0x04);
    EXPECT_EQ((std::set{entries[4].family.misfit.family, entries[4].family.second}),
              (std::set{PackFamily::A, PackFamily::D}));
    for (const QByteArray& request : link->takeRequests()) {
        frame::ParsedFrame parsed;
        ASSERT_TRUE(frame::ParseFrame(request, parsed));
        EXPECT_TRUE(FamilyReads(expected[parsed.address - 1].family, parsed.cid2) || parsed.cid2 == 0x42)
            << int(parsed.cid2) << " to " << int(parsed.address);
    }
    store.CloseSerial(1);
}

} // namespace
