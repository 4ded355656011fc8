// Polling a bus where other makers' packs hang beside ours: what each
// pack's turn sends and in which form, what is filed, and how an address of
// no known family, or of a pinned family its answers do not fit, is left
// alone. The packs are simulated in process behind a scripted link, so a
// silent address costs no reply window.

#include "lib/sim_bus.h"
#include "protocol/result_codes.h"
#include "services/settings.h"
#include "store/devinfo.h"
#include "store/pack_poller.h"
#include "support/scripted_link.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <vector>

namespace {

using Problem = RPackFamilyState::Problem;

struct FamilyView final : IPollView {
    std::vector<std::uint8_t> shownResults;   // ShowPackTime's result, in order
    QString shownBarCode;
    std::vector<RPackFamilyState> problems;

    void RefreshHead() override {}
    void SetCommState(int) override {}
    void ShowPackTime(const RDeviceTime&, std::uint8_t result) override { shownResults.push_back(result); }
    void ShowStatus(std::uint16_t, const QString& barCode, std::uint8_t) override { shownBarCode = barCode; }
    void RefreshAnalog() override {}
    void RefreshAlarm() override {}
    void RefreshLocation() override {}
    void ShowFamilyProblem(std::uint8_t, const RPackFamilyState& state) override { problems.push_back(state); }
};

struct SampleList final : IPackSampleSink {
    std::vector<RPackSample> samples;
    void PackSampled(const RPackSample& sample) override { samples.push_back(sample); }
};

class FamilyPollTest : public ::testing::Test {
protected:
    // Our packs at 1..ours, the others where families puts them.
    void OpenBus(int ours, std::map<std::uint8_t, SimFamily> families, std::vector<SimFault> faults = {})
    {
        SimOptions options;
        options.packs = ours;
        options.families = std::move(families);
        options.faults = std::move(faults);
        m_bus = std::make_shared<SimBus>(options);
        m_link->respond = [bus = m_bus](const QByteArray& request) { return bus->respond(request).text; };
        m_store.InitStore();
        m_store.SetDetectionClock([this] { return m_now; });
        ASSERT_TRUE(OpenScriptedLink(m_store.DevOper(), QStringLiteral("family-poll-test"), m_link));
        m_globals.PortNumber = 1;
        m_poller.SetSampleSink(&m_sink);
    }

    // "Auto" over these packs, or one pack in focus with everything a page
    // can ask for (clock sync, location).
    void PollAll(const std::vector<std::uint8_t>& packs)
    {
        m_store.SelectPacks(packs);
        m_globals.SelectedPack = 0;
        m_globals.SelectedAddress = 255;
        m_poller.SetPlan(RPollPlan{.packRows = kMaxPacks, .allPacks = true});
    }
    void Focus(std::uint8_t pack)
    {
        m_store.SelectPack(pack);
        m_globals.SelectedPack = pack;
        m_globals.SelectedAddress = pack;
        m_poller.SetPlan(RPollPlan{.packRows = kMaxPacks, .clockSync = true, .readLocation = true});
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

struct Member {
    std::uint8_t address;
    SimFamily simulated;
    PackFamily family;
    const char* form;      // "VER CID1" of its requests
    bool hasSerial;        // its identity reads carry a serial number
};
const Member kMixedBus[] = {
    {1, SimFamily::Ours, PackFamily::Ours, "21 46", false},
    {2, SimFamily::A, PackFamily::A, "20 46", true},
    {3, SimFamily::B, PackFamily::B, "20 46", false},
    {4, SimFamily::C, PackFamily::C, "20 4A", false},
    {5, SimFamily::D, PackFamily::D, "25 46", true},
    {6, SimFamily::A4, PackFamily::A, "20 46", true},
};

std::map<std::uint8_t, SimFamily> MixedFamilies()
{
    std::map<std::uint8_t, SimFamily> families;
    for (const Member& m : kMixedBus)
        if (m.simulated != SimFamily::Ours)
            families[m.address] = m.simulated;
    return families;
}

// Under "Auto" every pack is found by reads alone and then read in its own
// form: live values and alarm states, nothing else, and never a command
// outside its family's reads.
TEST_F(FamilyPollTest, UnderAutoEachPackIsFoundAndReadOnlyInItsOwnForm)
{
    OpenBus(1, MixedFamilies());
    PollAll({1, 2, 3, 4, 5, 6});
    for (int pass = 0; pass < 2; ++pass)
        ASSERT_TRUE(m_poller.RunPass());
    for (const SimRequest& request : m_bus->requests()) {
        const Member* member = std::find_if(std::begin(kMixedBus), std::end(kMixedBus),
                                            [&](const Member& m) { return m.address == request.address; });
        ASSERT_NE(member, std::end(kMixedBus));
        EXPECT_TRUE(FamilyReads(member->family, request.cid2))
            << "0x" << std::hex << int(request.cid2) << " to " << std::dec << int(request.address);
    }
    // The third pass: every pack's family and identity are known by now.
    m_sink.samples.clear();
    m_bus->clearRequests();
    ASSERT_TRUE(m_poller.RunPass());
    ASSERT_EQ(m_sink.samples.size(), std::size(kMixedBus));
    std::map<std::uint8_t, QStringList> sent;
    for (const SimRequest& request : m_bus->requests())
        sent[request.address] << QStringLiteral("%1 %2 %3")
                                     .arg(request.cid2, 2, 16, QLatin1Char('0'))
                                     .arg(request.version, 2, 16, QLatin1Char('0'))
                                     .arg(request.cid1, 2, 16, QLatin1Char('0'))
                                     .toUpper();
    for (const Member& m : kMixedBus) {
        SCOPED_TRACE(int(m.address));
        const QString form = QString::fromLatin1(m.form);
        EXPECT_EQ(sent[m.address], (QStringList{"42 " + form, "44 " + form}));
        const RPackSample& sample = m_sink.samples[std::size_t(&m - kMixedBus)];
        EXPECT_EQ(sample.family, m.family);
        ASSERT_TRUE(sample.analog && sample.alarm);
        EXPECT_EQ(sample.analog->family, m.family);
        EXPECT_EQ(sample.alarm->family, m.family);
        EXPECT_EQ(m_store.GetAnalogData(m.address).family, m.family);
        EXPECT_EQ(m_store.DevOper().FamilyState(m.address).family, m.family);
        if (m.family != PackFamily::Ours) {
            EXPECT_EQ(!sample.barCode.isEmpty(), m.hasSerial);
        }
    }
}

// One foreign pack in focus, on a page that would have ours read its clock
// (and set it), bar code, device information and location: only its live
// values and alarm states go out, its identity once, its serial number in
// the bar code's panel.
TEST_F(FamilyPollTest, AForeignPackInFocusGetsNoClockBarCodeOrLocationRead)
{
    OpenBus(1, MixedFamilies());
    for (const Member& m : kMixedBus) {
        if (m.family == PackFamily::Ours)
            continue;
        SCOPED_TRACE(int(m.address));
        Focus(m.address);
        m_poller.PollPack();
        m_bus->clearRequests();
        m_poller.PollPack();
        QStringList sent;
        for (const SimRequest& request : m_bus->requests())
            sent << QStringLiteral("%1").arg(request.cid2, 2, 16, QLatin1Char('0')).toUpper();
        EXPECT_EQ(sent, (QStringList{"42", "44"}));
        EXPECT_EQ(!m_view.shownBarCode.isEmpty(), m.hasSerial);
        EXPECT_EQ(m_view.shownResults.back(), ResultCode::kSuccess);
    }
}

// An address where no family answers is asked in every family's form once,
// then only in ours until a minute has passed; one whose answers fit no
// family is told once, with what the answer had.
TEST_F(FamilyPollTest, AnAddressOfNoFamilyIsAskedInEveryFormOncePerMinute)
{
    constexpr std::uint8_t kSilent = 7;
    constexpr std::uint8_t kRefusing = 1;   // ours, but refusing its live values
    OpenBus(1, {}, {SimFault{SimFaultKind::Rtn, 0, 0x42, 0x04, kRefusing}});
    struct Step {
        int secondsLater;
        int requestsToSilent;   // all of them 0x42
    } steps[] = {{0, 5}, {30, 1}, {59, 1}, {61, 5}, {62, 1}};
    PollAll({kRefusing, kSilent});
    const auto start = m_now;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.secondsLater);
        m_now = start + std::chrono::seconds(step.secondsLater);
        m_bus->clearRequests();
        m_sink.samples.clear();
        ASSERT_TRUE(m_poller.RunPass());
        EXPECT_EQ(m_bus->requestsTo(kSilent), step.requestsToSilent);
        EXPECT_EQ(m_bus->requestsTo(kSilent, 0x42), step.requestsToSilent);
        // Nothing but live values goes to an address not known.
        EXPECT_EQ(m_bus->requestsTo(kRefusing), m_bus->requestsTo(kRefusing, 0x42));
        ASSERT_EQ(m_sink.samples.size(), 2u);
        for (const RPackSample& sample : m_sink.samples) {
            EXPECT_EQ(sample.family, PackFamily::Unknown);
            EXPECT_FALSE(sample.analog);
            ASSERT_EQ(sample.exchanges.size(), 1u);
        }
        EXPECT_EQ(m_sink.samples[1].exchanges[0].result, ResultCode::kNoAnswer);
    }
    ASSERT_EQ(m_view.problems.size(), 1u);
    EXPECT_EQ(m_view.problems[0].problem, Problem::NoFit);
    EXPECT_EQ(m_view.problems[0].misfit.rtn, 0x04);
    EXPECT_EQ(m_store.DevOper().FamilyState(kRefusing).family, PackFamily::Unknown);
}

// A family pinned for an address whose pack speaks another: told once (the
// error panel and the sink), then the pack is not asked again this run.
TEST_F(FamilyPollTest, APinnedFamilyTheAnswersDoNotFitIsToldOnceAndThePackLeftAlone)
{
    OpenBus(1, {{3, SimFamily::B}});
    m_store.DevOper().PinFamily(3, PackFamily::D);
    PollAll({1, 3});
    for (int pass = 0; pass < 3; ++pass)
        ASSERT_TRUE(m_poller.RunPass());
    // One 0x42 in the pinned family's form, nothing after it.
    EXPECT_EQ(m_bus->requestsTo(3), 1);
    ASSERT_EQ(m_view.problems.size(), 1u);
    EXPECT_EQ(m_view.problems[0].problem, Problem::PinnedMisfit);
    EXPECT_EQ(m_view.shownResults, std::vector<std::uint8_t>{ResultCode::kFamilyMismatch});
    std::vector<const RPackSample*> ofPinned;
    for (const RPackSample& sample : m_sink.samples)
        if (sample.address == 3)
            ofPinned.push_back(&sample);
    ASSERT_EQ(ofPinned.size(), 1u);
    ASSERT_TRUE(ofPinned[0]->familyProblem);
    EXPECT_EQ(ofPinned[0]->familyProblem->problem, Problem::PinnedMisfit);
    // Our pack beside it goes on being read.
    EXPECT_EQ(m_bus->requestsTo(1, 0x42), 3);
}

} // namespace
