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

#include <gtest/gtest.h>

namespace {

TEST(HeardFamilies, AnAnswerIsDecodedAndFiledOnlyInTheFamilyItFits)
{
    SimOptions options;
    options.families = {{2, SimFamily::A}, {3, SimFamily::B}, {4, SimFamily::C},
                        {5, SimFamily::D}, {7, SimFamily::A},  {8, SimFamily::B}};
    SimBus bus(options);
    TDevInfo store;
    store.InitStore();
    AppGlobals globals;
    SilentPollView view;
    BusListener listener(store, globals, view, [] { return false; });
    std::vector<RHeardExchange> heard;
    listener.SetExchangeObserver([&heard](const RHeardExchange& h) { heard.push_back(h); });
    qint64 now = 0;
    const struct {
        std::uint8_t address;
        SimFamily asked;      // the request's form
        SimFamily answering;  // the layout of the answer heard after it
        std::uint8_t cid2;
        HeardOutcome outcome;
        PackFamily family;
    } cases[] = {
        {2, SimFamily::A, SimFamily::A, 0x42, HeardOutcome::Answered, PackFamily::A},
        {3, SimFamily::B, SimFamily::B, 0x42, HeardOutcome::Answered, PackFamily::B},
        {3, SimFamily::B, SimFamily::B, 0x44, HeardOutcome::Answered, PackFamily::B},
        {4, SimFamily::C, SimFamily::C, 0x42, HeardOutcome::Answered, PackFamily::C},
        {5, SimFamily::D, SimFamily::D, 0x42, HeardOutcome::Answered, PackFamily::D},
        // Alarm states before any live values: taken only when one of A's
        // and B's layouts alone fits them. B's reserved bytes fit A's status
        // bytes too, so B's wait for its live values.
        {7, SimFamily::A, SimFamily::A, 0x44, HeardOutcome::Answered, PackFamily::A},
        {8, SimFamily::B, SimFamily::B, 0x44, HeardOutcome::ForeignLength, PackFamily::Unknown},
        // A master asking in D's form, answered in A's layout.
        {7, SimFamily::D, SimFamily::A, 0x42, HeardOutcome::ForeignLength, PackFamily::D},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.address) << " " << std::hex << int(c.cid2));
        const QByteArray request = SimFamilyRequest(c.asked, c.address, c.cid2);
        listener.Feed(request, now += 20);
        listener.Feed(bus.respond(SimFamilyRequest(c.answering, c.address, c.cid2)).text, now += 60);
        const RHeardExchange& h = heard.back();
        EXPECT_EQ(h.outcome, c.outcome);
        EXPECT_EQ(h.family, c.family);
        EXPECT_EQ(h.analog.has_value(), c.outcome == HeardOutcome::Answered && c.cid2 == 0x42);
        EXPECT_EQ(h.alarm.has_value(), c.outcome == HeardOutcome::Answered && c.cid2 == 0x44);
        EXPECT_EQ(h.result, c.outcome == HeardOutcome::Answered ? ResultCode::kSuccess : ResultCode::kFamilyUnknown);
        const PackFamily filed =
            c.cid2 == 0x42 ? store.GetAnalogData(c.address).family : store.GetAlarmData(c.address).family;
        EXPECT_EQ(filed == c.family, c.outcome == HeardOutcome::Answered);
    }
}

} // namespace
