// Polling a bus where other makers' packs hang beside ours: what each
// pack's turn sends and in which form, what is filed, and how an address of
// no known family, or of a pinned family its answers do not fit, is left
// alone. Simulated packs answer through a scripted link: silence is instant.

#include "lib/sim_bus.h"
#include "protocol/result_codes.h"
#include "services/settings.h"
#include "store/devinfo.h"
#include "store/pack_poller.h"
#include "support/scripted_link.h"

#include <gtest/gtest.h>

namespace {

using Problem = RPackFamilyState::Problem;

struct FamilyView final : SilentPollView {
    std::vector<std::uint8_t> shownResults;   // ShowPackTime's, in order
    std::vector<RPackFamilyState> problems;
    void ShowPackTime(const RDeviceTime&, std::uint8_t result) override { shownResults.push_back(result); }
    void ShowFamilyProblem(std::uint8_t, const RPackFamilyState& state) override { problems.push_back(state); }
};

struct SampleList final : IPackSampleSink {
    std::vector<RPackSample> samples;
    void PackSampled(const RPackSample& sample) override { samples.push_back(sample); }
};

class FamilyPollTest : public ::testing::Test {
protected:
    void OpenBus(SimOptions options, std::vector<std::uint8_t> polled)
    {
        m_bus = std::make_shared<SimBus>(options);
        m_link->respond = [bus = m_bus](const QByteArray& request) { return bus->respond(request).text; };
        m_store.InitStore();
        m_store.SetDetectionClock([this] { return m_now; });
        ASSERT_TRUE(OpenScriptedLink(m_store.DevOper(), QStringLiteral("family-poll-test"), m_link));
        m_globals.PortNumber = 1;
        m_poller.SetSampleSink(&m_sink);
        // "Auto" over the packs given.
        m_store.SelectPacks(polled);
        m_globals.SelectedPack = 0;
        m_globals.SelectedAddress = 255;
        m_poller.SetPlan(RPollPlan{.packRows = kMaxPacks, .allPacks = true});
    }
    // The CID2 of each request to address, with VER and CID1: "42 20 4A".
    QStringList Sent(std::uint8_t address) const
    {
        QStringList sent;
        for (const SimRequest& r : m_bus->requests())
            if (r.address == address)
                sent << QString::asprintf("%02X %02X %02X", r.cid2, r.version, r.cid1);
        return sent;
    }

    std::shared_ptr<LinkScript> m_link = std::make_shared<LinkScript>();
    std::shared_ptr<SimBus> m_bus;
    std::chrono::steady_clock::time_point m_now{std::chrono::hours(1)};
    TDevInfo m_store;
    AppGlobals m_globals;
    FamilyView m_view;
    SampleList m_sink;
    PackPoller m_poller{m_store, m_globals, m_view, {}};
};

// Every pack is found by reads alone and then asked, in its own form, only
// its family's reads; a foreign pack in focus, on a page that has ours read
// its clock (and set it), bar code and location, gets its live values and
// alarm states all the same.
TEST_F(FamilyPollTest, EachPackIsReadOnlyInItsOwnForm)
{
    const struct {
        std::uint8_t address;
        SimFamily simulated;
        PackFamily family;
        const char* form;   // VER CID1
        bool serial;        // its identity carries a serial number, the bar code's stand-in
    } members[] = {{1, SimFamily::Ours, PackFamily::Ours, "21 46", true}, {2, SimFamily::A, PackFamily::A, "20 46", true},
                   {3, SimFamily::B, PackFamily::B, "20 46", false},     {4, SimFamily::C, PackFamily::C, "20 4A", false},
                   {5, SimFamily::D, PackFamily::D, "25 46", true},      {6, SimFamily::A4, PackFamily::A, "20 46", true}};
    SimOptions options;
    options.packs = 1;
    for (const auto& m : members)
        options.families[m.address] = m.simulated;
    OpenBus(options, {1, 2, 3, 4, 5, 6});
    for (int pass = 0; pass < 2; ++pass)
        ASSERT_TRUE(m_poller.RunPass());
    for (const SimRequest& r : m_bus->requests())
        EXPECT_TRUE(FamilyReads(members[r.address - 1].family, r.cid2)) << int(r.cid2) << " to " << int(r.address);

    m_bus->clearRequests();
    m_sink.samples.clear();
    ASSERT_TRUE(m_poller.RunPass());
    ASSERT_EQ(m_sink.samples.size(), std::size(members));
    std::map<std::uint8_t, QStringList> sent;
    for (const auto& m : members)
        sent[m.address] = Sent(m.address);
    for (const auto& m : members) {
        SCOPED_TRACE(int(m.address));
        const QString form = QLatin1String(m.form);
        EXPECT_EQ(sent[m.address], (QStringList{"42 " + form, "44 " + form}));
        const RPackSample& sample = m_sink.samples[m.address - 1u];
        EXPECT_EQ(sample.family, m.family);
        ASSERT_TRUE(sample.analog && sample.alarm);
        EXPECT_EQ(m_store.GetAnalogData(m.address).family, m.family);
        EXPECT_EQ(!sample.barCode.isEmpty(), m.serial);
        if (m.family == PackFamily::Ours)
            continue;
        m_store.SelectPack(m.address);
        m_globals.SelectedPack = m_globals.SelectedAddress = m.address;
        m_poller.SetPlan(RPollPlan{.packRows = kMaxPacks, .clockSync = true, .readLocation = true});
        m_bus->clearRequests();
        m_poller.PollPack();
        EXPECT_EQ(Sent(m.address), (QStringList{"42 " + form, "44 " + form}));
        m_poller.SetPlan(RPollPlan{.packRows = kMaxPacks, .allPacks = true});
    }
}

// An address where no family answers is asked in every family's form once,
// then only in ours until a minute has passed; one whose answers fit no
// family is told once, with what its answer had; both are asked nothing but
// live values, and nothing of theirs is filed. A pinned family the
// answers do not fit is told once (error panel, sink) and the pack left alone.
TEST_F(FamilyPollTest, PacksOfNoFamilyOrAMisfitPinAreToldOnceAndAskedLittle)
{
    constexpr std::uint8_t kRefusing = 1, kPinned = 3, kSilent = 7;
    SimOptions options;
    options.packs = 1;
    options.families = {{kPinned, SimFamily::B}};
    options.faults = {SimFault{SimFaultKind::Rtn, 0, 0x42, 0x04, kRefusing}};
    OpenBus(options, {kRefusing, kPinned, kSilent});
    m_store.DevOper().PinFamily(kPinned, PackFamily::D);
    // Our 0x42, and each family's form too when a detection is due.
    const struct {
        int secondsLater;
        int liveReads;
    } steps[] = {{0, 5}, {30, 1}, {59, 1}, {61, 5}, {62, 1}};
    const auto start = m_now;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.secondsLater);
        m_now = start + std::chrono::seconds(step.secondsLater);
        m_sink.samples.clear();
        ASSERT_TRUE(m_poller.RunPass());
        EXPECT_EQ(m_bus->requestsTo(kSilent, 0x42), step.liveReads);
        EXPECT_EQ(m_bus->requestsTo(kPinned), step.secondsLater == 0 ? 1 : 0);
        for (const std::uint8_t address : {kRefusing, kSilent})
            EXPECT_EQ(m_bus->requestsTo(address), m_bus->requestsTo(address, 0x42));
        ASSERT_EQ(m_sink.samples.size(), step.secondsLater == 0 ? 3u : 2u);
        for (const RPackSample& sample : m_sink.samples)
            EXPECT_TRUE(!sample.analog && sample.exchanges.size() == 1u);
        EXPECT_EQ(m_sink.samples.back().exchanges[0].result, ResultCode::kNoAnswer);
        m_bus->clearRequests();
    }
    EXPECT_EQ(m_sink.samples.back().family, PackFamily::Unknown);
    EXPECT_EQ(m_store.DevOper().FamilyState(kPinned).problem, Problem::PinnedMisfit);
    ASSERT_EQ(m_view.problems.size(), 2u);
    EXPECT_EQ(m_view.problems[0].problem, Problem::NoFit);
    EXPECT_EQ(m_view.problems[0].misfit.rtn, 0x04);
    EXPECT_EQ(m_view.problems[1].problem, Problem::PinnedMisfit);
    EXPECT_EQ(m_view.shownResults, std::vector<std::uint8_t>{ResultCode::kFamilyMismatch});
}

} // namespace
