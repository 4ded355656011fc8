// Other makers' packs on the simulated bus: which request forms each one
// takes, the layouts of its answers walked field by field as its maker's
// document lists them, and the request counts that tell what reached it.

#include "protocol/answer_view.h"
#include "protocol/family_decoders.h"
#include "protocol/frame.h"
#include "protocol/result_codes.h"
#include "sim_bus.h"
#include "sim_family_pack.h"

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

TEST(SimFamilies, EachPackTakesOnlyItsOwnFormAndAnswersInIt)
{
    struct Row {
        std::uint8_t address;
        Form form;
        std::uint8_t cid2;
        int rtn;                  // kSilent: no answer
        std::uint8_t version;     // of the answer
        std::uint8_t cid1;
    };
    const Row rows[] = {
        // Ours answers its live values whatever VER, and refuses CID1 0x4A.
        {1, kOursForm, 0x42, 0x00, 0x21, 0x46},
        {1, kABForm, 0x42, 0x00, 0x21, 0x46},
        {1, kCForm, 0x42, 0x04, 0x21, 0x46},
        // A and B share a form; another VER is a VER error in their own VER.
        {2, kABForm, 0x42, 0x00, 0x20, 0x46},
        {2, kOursForm, 0x42, 0x01, 0x20, 0x46},
        {2, kDForm, 0x44, 0x01, 0x20, 0x46},
        {2, kCForm, 0x42, kSilent, 0, 0},
        {3, kABForm, 0x42, 0x00, 0x20, 0x46},
        {4, kABForm, 0x44, 0x00, 0x20, 0x46},
        {4, kOursForm, 0x42, 0x01, 0x20, 0x46},
        {4, kCForm, 0x42, kSilent, 0, 0},
        // C speaks CID1 0x4A and does not hear 0x46 at all.
        {5, kCForm, 0x42, 0x00, 0x20, 0x4A},
        {5, kOursForm, 0x42, kSilent, 0, 0},
        {5, kABForm, 0x42, kSilent, 0, 0},
        {5, kDForm, 0x42, kSilent, 0, 0},
        {6, kDForm, 0x42, 0x00, 0x25, 0x46},
        {6, kABForm, 0x42, 0x01, 0x25, 0x46},
        {6, kCForm, 0x44, kSilent, 0, 0},
        // The protocol version: A answers it in any VER, B only in its own.
        {2, kOursForm, 0x4F, 0x00, 0x20, 0x46},
        {4, kOursForm, 0x4F, 0x01, 0x20, 0x46},
        {4, kABForm, 0x4F, 0x00, 0x20, 0x46},
        // Identity reads.
        {2, kABForm, 0x93, 0x00, 0x20, 0x46},
        {2, kABForm, 0x96, 0x00, 0x20, 0x46},
        {4, kABForm, 0x51, 0x00, 0x20, 0x46},
        {5, kCForm, 0x51, 0x00, 0x20, 0x4A},
        {6, kDForm, 0xC1, 0x00, 0x25, 0x46},
        {6, kDForm, 0xC2, 0x00, 0x25, 0x46},
        // What writes on such packs is taken; our other commands are unknown.
        {6, kDForm, 0xE0, 0x00, 0x25, 0x46},
        {4, kABForm, 0x45, 0x00, 0x20, 0x46},
        {2, kABForm, 0x49, 0x00, 0x20, 0x46},
        {2, kABForm, 0xE9, 0x04, 0x20, 0x46},
        {5, kCForm, 0x47, 0x04, 0x20, 0x4A},
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
        EXPECT_EQ(answer->version, row.version);
        EXPECT_EQ(answer->cid1, row.cid1);
        EXPECT_EQ(answer->address, row.address);
    }
}

// Big-endian reads of an answer's INFO, counting where they are.
struct Walker {
    const QByteArray& info;
    int at = 0;
    int byte() { return at < info.size() ? std::uint8_t(info[at++]) : (at++, -1); }
    int word()
    {
        const int high = byte();
        return high < 0 ? -1 : high * 256 + byte();
    }
    void skip(int bytes) { at += bytes; }
};

TEST(SimFamilies, LiveAnswersHaveTheirMakersLayoutsAndPlausibleValues)
{
    // Transcribed from the makers' documents: cells, temperatures sent
    // beyond N, pack-voltage unit, 0 °C in tenths of a kelvin, where P
    // stands (after the capacity fields or after the cycles), P and the
    // INFO length.
    struct Layout {
        std::uint8_t address;
        Form form;
        int cells;
        int extraTemperatures;
        int voltageMvPerCount;
        int kelvinOffset;
        bool pAfterCycles;
        int p;
        int infoBytes;
    };
    const Layout layouts[] = {
        {2, kABForm, 16, 0, 1, 2731, false, 2, 57},
        {3, kABForm, 16, 0, 1, 2731, false, 4, 63},
        {4, kABForm, 16, 0, 10, 2731, false, 10, 75},
        {5, kCForm, 15, 2, 10, 2731, true, 15, 99},
        {6, kDForm, 16, 0, 1, 2730, false, 3, 61},
    };
    SimBus bus(MixedRack());
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(testing::Message() << "pack " << int(layout.address));
        for (int read = 0; read < 40; ++read) {
            const std::optional<frame::ParsedFrame> answer = Ask(bus, Request(layout.form, layout.address, 0x42));
            ASSERT_TRUE(answer);
            Walker walk{answer->info};
            walk.skip(2);   // flag, address or group
            ASSERT_EQ(walk.byte(), layout.cells);
            int sumMv = 0;
            for (int cell = 0; cell < layout.cells; ++cell) {
                const int mv = walk.word();
                EXPECT_GE(mv, 3000);
                EXPECT_LE(mv, 3500);
                sumMv += mv;
            }
            const int temperatures = walk.byte() + layout.extraTemperatures;
            for (int k = 0; k < temperatures; ++k) {
                const int celsius10 = walk.word() - layout.kelvinOffset;
                EXPECT_GE(celsius10, 150);
                EXPECT_LE(celsius10, 600);
            }
            const int current = std::int16_t(walk.word());
            EXPECT_LE(std::abs(current), 3000);
            EXPECT_NEAR(walk.word() * layout.voltageMvPerCount, sumMv, layout.voltageMvPerCount);
            walk.skip(layout.pAfterCycles ? 6 : 2);
            ASSERT_EQ(walk.byte(), layout.p);
            EXPECT_EQ(answer->info.size(), layout.infoBytes);
        }
    }
}

TEST(SimFamilies, CapacitiesAboveTheTwoByteRangeGoInThreeBytes)
{
    SimBus bus(MixedRack());
    const std::optional<frame::ParsedFrame> small = Ask(bus, Request(kABForm, 2, 0x42));
    const std::optional<frame::ParsedFrame> large = Ask(bus, Request(kABForm, 3, 0x42));
    ASSERT_TRUE(small && large);
    // Remaining and full capacity: the words either side of P.
    Walker smallWalk{small->info, 50};
    const int remaining = smallWalk.word();
    smallWalk.skip(1);
    const int full = smallWalk.word();
    EXPECT_GT(remaining, 0);
    EXPECT_LE(remaining, full);
    EXPECT_LT(full, 65535);

    Walker largeWalk{large->info, 50};
    EXPECT_EQ(largeWalk.word(), 0xFFFF);
    largeWalk.skip(1);
    EXPECT_EQ(largeWalk.word(), 0xFFFF);
    largeWalk.skip(2);
    const int remaining3 = largeWalk.byte() * 65536 + largeWalk.word();
    const int full3 = largeWalk.byte() * 65536 + largeWalk.word();
    EXPECT_GT(full3, 65535);
    EXPECT_GT(remaining3, 0);
    EXPECT_LE(remaining3, full3);
}

TEST(SimFamilies, AlarmAnswersCarryEveryStateByte)
{
    // Lengths from the documents: flag, address, M, M states, N, states
    // (N + 2 for C), the current and voltage states, P where sent and the
    // status bytes.
    const std::pair<std::uint8_t, int> lengths[] = {{2, 33}, {3, 33}, {4, 49}, {5, 40}, {6, 38}};
    SimBus bus(MixedRack());
    for (const auto& [address, bytes] : lengths) {
        const Form& form = address == 5 ? kCForm : (address == 6 ? kDForm : kABForm);
        const std::optional<frame::ParsedFrame> answer = Ask(bus, Request(form, address, 0x44));
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->info.size(), bytes) << "pack " << int(address);
        // Only the address (C: its group, 0) and the counts are not 0:
        // every state is normal.
        const int others = address == 4 ? 4 : 3;
        EXPECT_EQ(answer->info.count('\0'), bytes - others) << "pack " << int(address);
    }
}

// An answer's text unpacked as the host's link unpacks it ("~", then VER,
// ADR, CID1, RTN, LENGTH and INFO as bytes), for the host's decoders.
struct Unpacked {
    explicit Unpacked(const QByteArray& text)
    {
        bytes[0] = std::uint8_t(text[0]);
        for (qsizetype i = 1; 2 * i < text.size() - 1 && i < AnswerView::kBufferSize; ++i)
            bytes[std::size_t(i)] = std::uint8_t(frame::HexValue(text[2 * i - 1]) * 16 + frame::HexValue(text[2 * i]));
        count = int((text.size() - 2) / 2 + 2);
    }
    AnswerView view() const { return AnswerView(bytes.data(), count); }
    std::array<std::uint8_t, AnswerView::kBufferSize> bytes{};
    int count = 0;
};

// The packs' answers were encoded from the makers' documents independently
// of the host's decoders: each must still be read as its own family.
TEST(SimFamilies, HostDecodersReadEverySimulatedPackAsItsFamily)
{
    struct Expected {
        std::uint8_t address;
        Form form;
        PackFamily family;
        int cells;
        int temperatures;
        bool sendsSoc;
        int minimumFullAh;
    };
    const Expected packs[] = {
        {2, kABForm, PackFamily::A, 16, 5, false, 40},  {3, kABForm, PackFamily::A, 16, 5, false, 66},
        {4, kABForm, PackFamily::B, 16, 6, true, 90},   {5, kCForm, PackFamily::C, 15, 6, true, 90},
        {6, kDForm, PackFamily::D, 16, 6, false, 90},
    };
    SimBus bus(MixedRack());
    for (const Expected& pack : packs) {
        SCOPED_TRACE(testing::Message() << "pack " << int(pack.address));
        const Unpacked analog(bus.respond(Request(pack.form, pack.address, 0x42)).text);
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
        for (int cell = 0; cell < pack.cells; ++cell)
            sumMv += record.cellVoltages[std::size_t(cell)];
        EXPECT_LE(record.totalVoltage, Decimal::fromRatio(sumMv, 1000));
        EXPECT_GT(record.totalVoltage, Decimal::fromRatio(sumMv - 10, 1000));

        const Unpacked alarm(bus.respond(Request(pack.form, pack.address, 0x44)).text);
        RAlarmData alarms;
        EXPECT_EQ(DecodeFamilyAlarm(pack.family, alarm.view(), pack.address, alarms), ResultCode::kSuccess);

        RFamilyIdentity identity;
        for (std::uint8_t cid2 : FamilyRow(pack.family).identity) {
            const Unpacked answer(bus.respond(Request(pack.form, pack.address, cid2)).text);
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
    struct Good {
        const char* text;
        std::uint8_t address;
        SimFamily family;
    };
    for (const Good& good : {Good{"2:A", 2, SimFamily::A}, Good{"3:a4", 3, SimFamily::A4}, Good{"0:b", 0, SimFamily::B},
                             Good{"15:C", 15, SimFamily::C}, Good{"0:D", 0, SimFamily::D},
                             Good{"16:Ours", 16, SimFamily::Ours}, Good{"200:A", 200, SimFamily::A}}) {
        const std::optional<SimFamilyPlace> place = ParseSimFamilyPlace(QString::fromLatin1(good.text));
        ASSERT_TRUE(place) << good.text;
        EXPECT_EQ(place->address, good.address);
        EXPECT_EQ(place->family, good.family);
    }
    for (const char* bad : {"", "A", "2", "2:", "2:E", "x:B", "1:A", "16:B", "0:ours", "17:ours", "-1:D", "256:A"}) {
        QString error;
        EXPECT_FALSE(ParseSimFamilyPlace(QString::fromLatin1(bad), &error)) << bad;
        EXPECT_TRUE(error.contains(QLatin1String("family"))) << error.toStdString();
    }
}

} // namespace
