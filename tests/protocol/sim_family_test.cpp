// Other makers' packs on the simulated bus: which request forms each one
// takes, its answers read by the host's decoders, and the request counts
// that tell what reached it.

#include "protocol/answer_view.h"
#include "protocol/family_decoders.h"
#include "protocol/frame.h"
#include "protocol/result_codes.h"
#include "sim_bus.h"
#include "sim_family_pack.h"
#include "support/unpacked_answer.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

// A rack of every family: ours at 1, A at 2, A above 65 Ah at 3, B at 4,
// C at 5, D at 6.
SimOptions MixedRack()
{
    SimOptions options;
    options.packs = 1;
    options.families = {{2, SimFamily::A}, {3, SimFamily::A4}, {4, SimFamily::B}, {5, SimFamily::C}, {6, SimFamily::D}};
    return options;
}

// A request form: VER, CID1 and whether INFO carries the address.
struct Form {
    const char* name;
    std::uint8_t version;
    std::uint8_t cid1;
    bool addressInInfo;
};
constexpr Form kOursForm{"ours", 0x21, 0x46, true};
constexpr Form kABForm{"A/B", 0x20, 0x46, true};
constexpr Form kCForm{"C", 0x20, 0x4A, false};
constexpr Form kDForm{"D", 0x25, 0x46, true};

QByteArray Request(const Form& form, std::uint8_t address, std::uint8_t cid2)
{
    const QByteArray info = form.addressInInfo ? QByteArray(1, char(address)) : QByteArray();
    return frame::BuildFrameText(address, form.cid1, cid2, frame::HexPairs(info), form.version);
}

std::optional<frame::ParsedFrame> Ask(SimBus& bus, const QByteArray& request)
{
    const SimReply reply = bus.respond(request);
    if (!reply.answered())
        return std::nullopt;
    frame::ParsedFrame answer;
    EXPECT_TRUE(frame::ParseFrame(reply.text, answer)) << reply.text.constData();
    return answer;
}

constexpr int kSilent = -1;

// The form each pack of the rack speaks, and so answers in.
const Form& OwnForm(std::uint8_t address)
{
    return address == 1 ? kOursForm : (address == 5 ? kCForm : (address == 6 ? kDForm : kABForm));
}

TEST(SimFamilies, EachPackTakesOnlyItsOwnFormAndAnswersInIt)
{
    struct Row {
        std::uint8_t address;
        Form form;
        std::uint8_t cid2;
        int rtn;   // kSilent: no answer
    };
    const Row rows[] = {
        // Ours answers its live values whatever VER, and refuses CID1 0x4A.
        {1, kOursForm, 0x42, 0x00}, {1, kABForm, 0x42, 0x00}, {1, kCForm, 0x42, 0x04},
        // A and B share a form; another VER is a VER error in their own VER.
        {2, kABForm, 0x42, 0x00}, {2, kOursForm, 0x42, 0x01}, {2, kDForm, 0x44, 0x01}, {2, kCForm, 0x42, kSilent},
        {3, kABForm, 0x42, 0x00}, {4, kABForm, 0x44, 0x00}, {4, kOursForm, 0x42, 0x01}, {4, kCForm, 0x42, kSilent},
        // C speaks CID1 0x4A and does not hear 0x46 at all.
        {5, kCForm, 0x42, 0x00}, {5, kOursForm, 0x42, kSilent}, {5, kABForm, 0x42, kSilent},
        {5, kDForm, 0x42, kSilent}, {6, kDForm, 0x42, 0x00}, {6, kABForm, 0x42, 0x01}, {6, kCForm, 0x44, kSilent},
        // The protocol version: A answers it in any VER, B only in its own.
        {2, kOursForm, 0x4F, 0x00}, {4, kOursForm, 0x4F, 0x01}, {4, kABForm, 0x4F, 0x00},
        // What writes on such packs is taken; our other commands are unknown.
        {6, kDForm, 0xE0, 0x00}, {4, kABForm, 0x45, 0x00}, {2, kABForm, 0x49, 0x00}, {2, kABForm, 0xE9, 0x04},
        {5, kCForm, 0x47, 0x04},
    };
    SimBus bus(MixedRack());
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "pack " << int(row.address) << ", " << row.form.name << " form, CID2 "
                                        << std::hex << int(row.cid2));
        const std::optional<frame::ParsedFrame> answer = Ask(bus, Request(row.form, row.address, row.cid2));
        ASSERT_EQ(answer.has_value(), row.rtn != kSilent);
        if (!answer)
            continue;
        EXPECT_EQ(answer->cid2, row.rtn);
        EXPECT_EQ(answer->version, OwnForm(row.address).version);
        EXPECT_EQ(answer->cid1, OwnForm(row.address).cid1);
        EXPECT_EQ(answer->address, row.address);
    }
}

// The packs' answers were encoded from the makers' documents independently
// of the host's decoders: each must still be read as its own family.
TEST(SimFamilies, HostDecodersReadEverySimulatedPackAsItsFamily)
{
    struct Expected {
        std::uint8_t address;
        PackFamily family;
        int cells;
        int temperatures;
        bool sendsSoc;
        int minimumFullAh;
    };
    const Expected packs[] = {
        {2, PackFamily::A, 16, 5, false, 40}, {3, PackFamily::A, 16, 5, false, 66}, {4, PackFamily::B, 16, 6, true, 90},
        {5, PackFamily::C, 15, 6, true, 90},  {6, PackFamily::D, 16, 6, false, 90},
    };
    SimBus bus(MixedRack());
    for (const Expected& pack : packs) {
        SCOPED_TRACE(testing::Message() << "pack " << int(pack.address));
        // The values move with every read; they must stay in range.
        for (int read = 0; read < 20; ++read) {
            const Unpacked analog(bus.respond(Request(OwnForm(pack.address), pack.address, 0x42)).text);
            EXPECT_EQ(FitAnalogAnswer(analog.view()).family, pack.family);
            RAnalogData record;
            ASSERT_EQ(DecodeFamilyAnalog(pack.family, analog.view(), pack.address, QDateTime(), {}, record),
                      ResultCode::kSuccess);
            EXPECT_EQ(record.extra.cellCount, pack.cells);
            EXPECT_EQ(record.extra.temperatureCount, pack.temperatures);
            EXPECT_EQ(StateOfCharge(record).has_value(), pack.sendsSoc);
            EXPECT_GE(record.fullCapacity, Decimal::fromInt(pack.minimumFullAh));
            EXPECT_LE(record.remainingCapacity, record.fullCapacity);
            int sumMv = 0;
            for (int cell = 0; cell < pack.cells; ++cell) {
                const int mv = record.cellVoltages[std::size_t(cell)];
                EXPECT_TRUE(mv >= 3000 && mv <= 3500) << mv;
                sumMv += mv;
            }
            for (int k = 0; k < pack.temperatures; ++k) {
                const Decimal celsius = record.extra.temperatures[std::size_t(k)];
                EXPECT_TRUE(celsius >= Decimal::fromInt(15) && celsius <= Decimal::fromInt(60)) << k;
            }
            // The pack voltage is the sum of the cells, in the family's unit.
            EXPECT_LE(record.totalVoltage, Decimal::fromRatio(sumMv, 1000));
            EXPECT_GT(record.totalVoltage, Decimal::fromRatio(sumMv - 10, 1000));
        }

        const Unpacked alarm(bus.respond(Request(OwnForm(pack.address), pack.address, 0x44)).text);
        RAlarmData alarms;
        EXPECT_EQ(DecodeFamilyAlarm(pack.family, alarm.view(), pack.address, alarms), ResultCode::kSuccess);

        RFamilyIdentity identity;
        for (std::uint8_t cid2 : FamilyRow(pack.family).identity) {
            const Unpacked answer(bus.respond(Request(OwnForm(pack.address), pack.address, cid2)).text);
            EXPECT_TRUE(DecodeFamilyIdentity(pack.family, cid2, answer.view(), identity)) << int(cid2);
        }
        EXPECT_FALSE(identity.deviceName.isEmpty() && identity.softwareVersion.isEmpty());
    }
}

TEST(SimFamilies, RequestsAreCountedByAddressAndCommandWhetherAnsweredOrNot)
{
    SimBus bus(MixedRack());
    bus.respond(Request(kOursForm, 5, 0x42));   // silent: C does not hear CID1 0x46
    bus.respond(Request(kCForm, 5, 0x42));
    bus.respond(Request(kOursForm, 9, 0x42));   // nobody there
    for (int i = 0; i < SimBus::kKeptRequests + 5; ++i)
        bus.respond(Request(kDForm, 6, 0xC1));
    EXPECT_EQ(bus.requestsTo(5, 0x42), 2);
    EXPECT_EQ(bus.requestsTo(5), 2);
    EXPECT_EQ(bus.requestsTo(9, 0x42), 1);
    EXPECT_EQ(bus.requestsTo(6, 0xC1), SimBus::kKeptRequests + 5);
    EXPECT_EQ(bus.requestsTo(6, 0x42), 0);
    EXPECT_EQ(bus.requestCounts().size(), 3u);
    const SimRequest last = bus.requests().back();
    EXPECT_EQ(last.version, 0x25);
    EXPECT_EQ(last.cid1, 0x46);

    bus.clearRequests();
    EXPECT_EQ(bus.requestsTo(6), 0);
}

TEST(SimFamilies, PlacesParseAndBadOnesSayWhy)
{
    const std::pair<const char*, std::optional<SimFamily>> texts[] = {
        {"2:A", SimFamily::A},   {"3:a4", SimFamily::A4}, {"0:b", SimFamily::B}, {"15:C", SimFamily::C},
        {"0:D", SimFamily::D},   {"16:Ours", SimFamily::Ours}, {"200:A", SimFamily::A}, {"", {}}, {"A", {}},
        {"2:", {}}, {"2:E", {}}, {"x:B", {}}, {"1:A", {}}, {"16:B", {}}, {"0:ours", {}}, {"-1:D", {}}, {"256:A", {}}};
    for (const auto& [text, family] : texts) {
        QString error;
        const std::optional<SimFamilyPlace> place = ParseSimFamilyPlace(QString::fromLatin1(text), &error);
        ASSERT_EQ(place.has_value(), family.has_value()) << text;
        if (place) {
            EXPECT_EQ(place->family, *family);
            EXPECT_EQ(QString::number(place->address), QString::fromLatin1(text).section(u':', 0, 0));
        } else {
            EXPECT_TRUE(error.contains(QLatin1String("family"))) << error.toStdString();
        }
    }
}

} // namespace
