// Listening to a master that polls other makers' packs: their live values
// and alarm states are decoded with their families' decoders and filed with
// the family; A and B, which share a request form, are told apart by their
// answers; an answer that does not fit the request's family is never filed.

#include "lib/sim_bus.h"
#include "protocol/result_codes.h"
#include "services/settings.h"
#include "store/bus_listener.h"
#include "store/devinfo.h"
#include "store/pack_poller.h"
#include "store/pack_sample.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

struct SampleList final : IPackSampleSink {
    std::vector<RPackSample> samples;
    void PackSampled(const RPackSample& sample) override { samples.push_back(sample); }
};

// A listener fed scripted exchanges, with what it reported.
struct HeardBus {
    TDevInfo store;
    AppGlobals globals;
    SilentPollView view;
    SampleList sink;
    std::vector<RHeardExchange> heard;
    std::unique_ptr<BusListener> listener;
    qint64 now = 0;

    HeardBus()
    {
        store.InitStore();
        listener = std::make_unique<BusListener>(store, globals, view, [] { return false; });
        listener->SetExchangeObserver([this](const RHeardExchange& h) { heard.push_back(h); });
        listener->SetSampleSink(&sink);
    }
    // A request and its answer, as a master and a pack send them.
    const RHeardExchange& Exchange(const QByteArray& request, const QByteArray& answer)
    {
        listener->Feed(request, now += 20);
        listener->Feed(answer, now += 60);
        return heard.back();
    }
    // The line stays quiet: the last turn ends.
    void Quiet() { listener->Feed({}, now += 5000); }
};

struct Member {
    SimFamily simulated;
    std::uint8_t address;
    PackFamily family;
};
const Member kMembers[] = {
    {SimFamily::A, 2, PackFamily::A}, {SimFamily::B, 3, PackFamily::B}, {SimFamily::C, 4, PackFamily::C},
    {SimFamily::D, 5, PackFamily::D}, {SimFamily::A4, 6, PackFamily::A},
};

SimOptions OnlyThese(std::map<std::uint8_t, SimFamily> families)
{
    SimOptions options;
    options.packs = 0;
    options.families = std::move(families);
    return options;
}

TEST(HeardFamilies, EachFamilysLiveValuesAndAlarmStatesAreDecodedAndFiled)
{
    std::map<std::uint8_t, SimFamily> families;
    for (const Member& m : kMembers)
        families[m.address] = m.simulated;
    SimBus bus(OnlyThese(families));
    HeardBus listening;
    for (const Member& m : kMembers) {
        SCOPED_TRACE(int(m.address));
        for (const std::uint8_t cid2 : {0x42, 0x44}) {
            const QByteArray request = SimFamilyRequest(m.simulated, m.address, cid2);
            const RHeardExchange& heard = listening.Exchange(request, bus.respond(request).text);
            EXPECT_EQ(heard.outcome, HeardOutcome::Answered);
            EXPECT_EQ(heard.family, m.family);
            EXPECT_EQ(heard.pack, m.address);
            if (cid2 == 0x42) {
                ASSERT_TRUE(heard.analog);
                EXPECT_EQ(heard.analog->family, m.family);
                EXPECT_GT(heard.analog->extra.cellCount, 0);
            } else {
                ASSERT_TRUE(heard.alarm);
                EXPECT_EQ(heard.alarm->family, m.family);
            }
        }
        EXPECT_EQ(listening.store.GetAnalogData(m.address).family, m.family);
        EXPECT_EQ(listening.store.GetAlarmData(m.address).family, m.family);
        EXPECT_TRUE(listening.store.AlarmDataFromPack(m.address));
    }
    listening.Quiet();
    ASSERT_EQ(listening.sink.samples.size(), std::size(kMembers));
    for (const RPackSample& sample : listening.sink.samples) {
        const Member& m = kMembers[&sample - listening.sink.samples.data()];
        EXPECT_EQ(sample.address, m.address);
        EXPECT_EQ(sample.family, m.family);
        EXPECT_TRUE(sample.analog && sample.alarm);
    }
}

// What is heard before the live values told A from B, and answers in
// another family's layout than the request's form.
TEST(HeardFamilies, AnAnswerIsFiledOnlyInTheFamilyItFits)
{
    SimBus bus(OnlyThese({{2, SimFamily::A}, {3, SimFamily::B}, {5, SimFamily::A}}));
    const auto answerOf = [&bus](SimFamily family, std::uint8_t address, std::uint8_t cid2) {
        return bus.respond(SimFamilyRequest(family, address, cid2)).text;
    };
    struct Case {
        const char* name;
        QByteArray request;
        QByteArray answer;
        HeardOutcome outcome;
        PackFamily family;
    } cases[] = {
        // A and B share VER and CID1: an alarm answer is taken only when
        // one layout alone fits it. B's reserved bytes fit A's status bytes
        // too, so B's alarm states wait for its live values.
        {"A's alarm states first", SimFamilyRequest(SimFamily::A, 2, 0x44), answerOf(SimFamily::A, 2, 0x44),
         HeardOutcome::Answered, PackFamily::A},
        {"B's alarm states first", SimFamilyRequest(SimFamily::B, 3, 0x44), answerOf(SimFamily::B, 3, 0x44),
         HeardOutcome::ForeignLength, PackFamily::Unknown},
        // A master asking in D's form, answered in A's layout.
        {"live values of A after D's request", SimFamilyRequest(SimFamily::D, 5, 0x42),
         answerOf(SimFamily::A, 5, 0x42), HeardOutcome::ForeignLength, PackFamily::D},
        // An identity read is a family read: heard, not decoded (nor does
        // it tell A from B).
        {"A's identity", SimFamilyRequest(SimFamily::A, 2, 0x51), answerOf(SimFamily::A, 2, 0x51),
         HeardOutcome::Answered, PackFamily::Unknown},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HeardBus listening;
        const RHeardExchange& heard = listening.Exchange(c.request, c.answer);
        EXPECT_EQ(heard.outcome, c.outcome);
        if (c.outcome == HeardOutcome::Answered) {
            EXPECT_EQ(heard.family, c.family);
        } else {
            EXPECT_EQ(heard.result, ResultCode::kFamilyUnknown);
            EXPECT_FALSE(heard.analog || heard.alarm);
            EXPECT_EQ(heard.family, c.family);
        }
        EXPECT_FALSE(heard.deviceInfo);
    }
}

} // namespace
