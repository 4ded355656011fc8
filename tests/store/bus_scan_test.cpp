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

struct ScanCase {
    std::uint8_t address;
    PackFamily family;
    RPackFamilyState::Problem problem;
    std::uint8_t result;
    bool identity;   // its identity was read: ours a bar code, another's a device name
};

// Our packs, other makers' and a silent address on one bus: each is found
// by reads alone, and only a pack confirmed as ours is asked for our bar
// code (a write on some other makers' packs).
TEST(BusScan, FindsEachFamilyByReadsAloneAndAsksOnlyOursForItsBarCode)
{
    SimOptions options;
    options.packs = 1;
    options.families = {{2, SimFamily::A}, {3, SimFamily::B}, {4, SimFamily::C}, {6, SimFamily::D}};
    SimulatedStore sim(options);
    ASSERT_TRUE(sim.opened);
    SharedSimBus()->clearRequests();
    using P = RPackFamilyState::Problem;
    const ScanCase cases[] = {
        {1, PackFamily::Ours, P::None, ResultCode::kSuccess, true},
        {2, PackFamily::A, P::None, ResultCode::kSuccess, true},
        {3, PackFamily::B, P::None, ResultCode::kSuccess, true},
        {4, PackFamily::C, P::None, ResultCode::kSuccess, true},
        {5, PackFamily::Unknown, P::None, ResultCode::kNoAnswer, false},
        {6, PackFamily::D, P::None, ResultCode::kSuccess, true},
    };
    const std::vector<RScanEntry> entries = ScanBus(*sim.store, RScanRange{1, 6, 100});
    ASSERT_EQ(entries.size(), std::size(cases));
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(int(c.address));
        const RScanEntry& entry = entries[std::size_t(c.address - 1)];
        EXPECT_EQ(entry.family.family, c.family);
        EXPECT_EQ(entry.family.problem, c.problem);
        EXPECT_EQ(entry.result, c.result);
        EXPECT_EQ(sim.store->DevOper().FamilyState(c.address).family, c.family);
        if (c.family == PackFamily::Ours)
            EXPECT_EQ(!entry.barCode.isEmpty(), c.identity);
        else
            EXPECT_EQ(!entry.identity.deviceName.isEmpty() || !entry.identity.serialNumber.isEmpty(), c.identity);
    }
    EXPECT_EQ(HighestAnswered(entries), 6);
    for (const SimRequest& request : SharedSimBus()->requests()) {
        const PackFamily family = entries[std::size_t(request.address - 1)].family.family;
        EXPECT_TRUE(FamilyReads(family, request.cid2) || request.cid2 == 0x42)
            << "0x" << std::hex << int(request.cid2) << " to " << std::dec << int(request.address);
    }
}

// One address where two makers' packs answer, each in its own form, and
// one whose answers fit no family: both stay unknown with the reason, and
// neither is asked anything but live values.
TEST(BusScan, TwoFamiliesAtOneAddressOrAnswersOfNoFamilyLeaveItUnknown)
{
    constexpr std::uint8_t kCrowded = 2;
    SimBus bus(SimOptions{.packs = 1, .families = {{kCrowded, SimFamily::A}},
                          .faults = {SimFault{SimFaultKind::Rtn, 0, 0x42, 0x04, 1}}});
    SimFamilyPack second(SimFamily::D, kCrowded, 7);
    auto link = std::make_shared<LinkScript>();
    link->respond = [&](const QByteArray& request) {
        frame::ParsedFrame parsed;
        if (frame::ParseFrame(request, parsed) && parsed.address == kCrowded && parsed.version == 0x25) {
            const std::optional<SimFamilyPack::Answer> answer = second.handle(parsed);
            return answer ? frame::BuildFrameText(kCrowded, answer->cid1, answer->rtn, answer->infoText,
                                                  answer->version)
                          : QByteArray();
        }
        return bus.respond(request).text;
    };
    TDevInfo store;
    store.InitStore();
    ASSERT_TRUE(OpenScriptedLink(store.DevOper(), QStringLiteral("scan-two-families"), link));

    const std::vector<RScanEntry> entries = ScanBus(store, RScanRange{1, 2, 100});
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].family.family, PackFamily::Unknown);
    EXPECT_EQ(entries[0].family.problem, RPackFamilyState::Problem::NoFit);
    EXPECT_EQ(entries[0].family.misfit.rtn, 0x04);
    EXPECT_EQ(entries[0].result, ResultCode::kFamilyUnknown);
    EXPECT_EQ(entries[1].family.family, PackFamily::Unknown);
    EXPECT_EQ(entries[1].family.problem, RPackFamilyState::Problem::TwoFamilies);
    const std::set<PackFamily> both = {entries[1].family.misfit.family, entries[1].family.second};
    EXPECT_EQ(both, (std::set<PackFamily>{PackFamily::A, PackFamily::D}));
    EXPECT_EQ(entries[1].result, ResultCode::kFamilyUnknown);
    EXPECT_EQ(HighestAnswered(entries), 0);
    for (const QByteArray& request : link->takeRequests()) {
        frame::ParsedFrame parsed;
        ASSERT_TRUE(frame::ParseFrame(request, parsed));
        EXPECT_EQ(parsed.cid2, 0x42);
    }
    store.CloseSerial(1);
}

} // namespace
