// The family guard, detection by reads and the reads in a family's own form,
// over simulated packs of every family: what goes on the wire to a pack in
// each state, and what reading alone finds.

#include "protocol/devoper.h"
#include "protocol/frame.h"
#include "sim_bus.h"
#include "support/scripted_link.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

constexpr std::uint8_t kAddress = 2;
using Problem = RPackFamilyState::Problem;
// Our 0x42, then the other request forms: A and B share one, C has another
// CID1 and no INFO, D another VER.
const QString kProbes = QStringLiteral("21/46/42:02 20/46/42:02 20/4A/42: 25/46/42:02");

// A bus of simulated packs that answers at once (silence costs no reply
// window here); the pack at kAddress is of the family given, or none.
struct FamilyBus {
    explicit FamilyBus(std::optional<SimFamily> pack)
    {
        SimOptions options;
        options.packs = 1;
        if (pack)
            options.families[kAddress] = *pack;
        bus = std::make_shared<SimBus>(options);
        script->respond = [b = bus](const QByteArray& request) { return b->respond(request).text; };
        opened = OpenScriptedLink(oper, QStringLiteral("family-guard"), script);
    }
    // "VER/CID1/CID2:INFO" of each request since the last call.
    QString TakeWire()
    {
        QStringList wire;
        for (const QByteArray& request : script->takeRequests()) {
            frame::ParsedFrame p;
            frame::ParseFrame(request, p);
            wire << QString::asprintf("%02X/%02X/%02X:", p.version, p.cid1, p.cid2) + p.info.toHex().toUpper();
        }
        return wire.join(u' ');
    }

    std::shared_ptr<LinkScript> script = std::make_shared<LinkScript>();
    std::shared_ptr<SimBus> bus;
    TDevOper oper;
    bool opened = false;
};

RPackFamilyState State(PackFamily family, bool pinned = false, Problem problem = Problem::None,
                       RFamilyFit misfit = {}, PackFamily second = PackFamily::Unknown)
{
    return RPackFamilyState{family, pinned, problem, misfit, second};
}

} // namespace

// Every command of the catalogue in every state an address can be in: sent
// in our form, refused with nothing sent, or sent only after reads confirm
// the pack as ours.
TEST(FamilyGuard, EveryCommandGoesOnlyWhereItsFamilyAllows)
{
    struct Scenario {
        const char* name;
        std::optional<SimFamily> pack;
        RPackFamilyState known;                  // filed before the command
        QString readWire;                        // 0x42, 0x44, 0x51; %1: the command
        QString otherWire;                       // every other command
        std::optional<std::uint8_t> readResult;  // none: whatever the pack answers
        std::optional<std::uint8_t> otherResult;
        PackFamily familyAfter;                  // of an address asked a non-read
    };
    const QString ours = QStringLiteral("21/46/%1:02");
    const RPackFamilyState misfit = State(PackFamily::Ours, true, Problem::PinnedMisfit);
    const Scenario scenarios[] = {
        {"unknown and silent", {}, {}, ours, kProbes, ResultCode::kNoAnswer, ResultCode::kNoAnswer, PackFamily::Unknown},
        {"unknown, ours answers", SimFamily::Ours, {}, ours, "21/46/42:02 21/46/%1:02", {}, {}, PackFamily::Ours},
        {"unknown, a D pack answers", SimFamily::D, {}, ours, kProbes, {}, ResultCode::kForeignFamily, PackFamily::D},
        {"pinned ours", SimFamily::Ours, State(PackFamily::Ours, true), ours, ours, {}, {}, PackFamily::Ours},
        {"found A", SimFamily::A, State(PackFamily::A), {}, {}, ResultCode::kForeignFamily,
         ResultCode::kForeignFamily, PackFamily::A},
        {"pinned D", SimFamily::D, State(PackFamily::D, true), {}, {}, ResultCode::kForeignFamily,
         ResultCode::kForeignFamily, PackFamily::D},
        {"pinned ours that did not fit", SimFamily::D, misfit, {}, {}, ResultCode::kFamilyMismatch,
         ResultCode::kFamilyMismatch, PackFamily::Ours},
    };
    for (const Scenario& s : scenarios) {
        for (const CommandInfo& command : kCommandCatalogue) {
            SCOPED_TRACE(std::string(s.name) + ", " + std::string(command.name));
            FamilyBus bus(s.pack);
            ASSERT_TRUE(bus.opened);
            bus.oper.SetFamilyState(kAddress, s.known);
            const bool read = FamilyReads(PackFamily::Unknown, command.cid2);
            const std::uint8_t result = bus.oper.Execute(kAddress, command.id, QByteArray(1, char(kAddress)));

            const QString wire = read ? s.readWire : s.otherWire;
            const QString code = QStringLiteral("%1").arg(command.cid2, 2, 16, QLatin1Char('0')).toUpper();
            EXPECT_EQ(bus.TakeWire(), wire.contains(u'%') ? wire.arg(code) : wire);
            if (const auto expected = read ? s.readResult : s.otherResult) {
                EXPECT_EQ(int(result), int(*expected));
            } else {
                EXPECT_TRUE(result != ResultCode::kForeignFamily && result != ResultCode::kFamilyUnknown
                            && result != ResultCode::kFamilyMismatch)
                    << int(result);
            }
            if (!read) {
                EXPECT_EQ(bus.oper.FamilyState(kAddress).family, s.familyAfter);
            }
        }
    }
}

// Reading alone tells the family: each request form once, and only an answer
// that fits a family's layout names it.
TEST(FamilyDetection, ReadsInEveryFormFindTheFamilyThatFits)
{
    FamilyBus a(SimFamily::A);
    FamilyBus d(SimFamily::D);
    // Two packs at one address: A answers its form, D its own.
    const auto twoPacks = [&](const QByteArray& request) {
        const QByteArray fromA = a.bus->respond(request).text;
        return fromA.isEmpty() || frame::HexValue(fromA.at(8)) != 0 ? d.bus->respond(request).text : fromA;
    };
    // A pack that refuses every request with a VER of no family.
    const auto refuseAll = [](const QByteArray&) { return frame::BuildFrameText(kAddress, 0x46, 0x01, "", 0x22); };
    struct Case {
        const char* name;
        std::optional<SimFamily> pack;
        std::function<QByteArray(const QByteArray&)> respond;   // in place of the pack
        RPackFamilyState known;
        RPackFamilyState expected;
    };
    const Case cases[] = {
        {"ours", SimFamily::Ours, {}, {}, State(PackFamily::Ours)},
        {"A", SimFamily::A, {}, {}, State(PackFamily::A)},
        {"A above 65 Ah", SimFamily::A4, {}, {}, State(PackFamily::A)},
        {"B", SimFamily::B, {}, {}, State(PackFamily::B)},
        {"C", SimFamily::C, {}, {}, State(PackFamily::C)},
        {"D", SimFamily::D, {}, {}, State(PackFamily::D)},
        {"silent", {}, {}, {}, {}},
        {"an answer that fits no family", {}, refuseAll, {},
         State(PackFamily::Unknown, false, Problem::NoFit, {PackFamily::Unknown, 0x22, 0x46, 0x01, -1})},
        {"two families at one address", {}, twoPacks, {},
         State(PackFamily::Unknown, false, Problem::TwoFamilies, {PackFamily::A, 0x20, 0x46, 0, 2}, PackFamily::D)},
        {"found before, silent now", {}, {}, State(PackFamily::C), State(PackFamily::C)},
        {"pinned: never asked", SimFamily::A, {}, State(PackFamily::B, true), State(PackFamily::B, true)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FamilyBus bus(c.pack);
        ASSERT_TRUE(bus.opened);
        if (c.respond)
            bus.script->respond = c.respond;
        bus.oper.SetFamilyState(kAddress, c.known);
        EXPECT_EQ(bus.oper.DetectFamily(kAddress, 300), c.expected);
        EXPECT_EQ(bus.oper.FamilyState(kAddress), c.expected);
        EXPECT_EQ(bus.TakeWire(), c.known.pinned ? QString() : kProbes);
    }
}

// The live reads in the form of the family in force. Only an answer tells
// the family: one in its layout confirms it, one of another family forgets
// what was found and stops a pinned pack being read; a late answer of
// another command does neither.
TEST(FamilyReads, LiveReadsGoInTheFamilysFormAndTheirAnswersTellTheFamily)
{
    struct Case {
        const char* name;
        SimFamily pack;
        RPackFamilyState known;
        QString wire;   // of the live read; its alarm read differs only in CID2
        std::uint8_t result;
        RPackFamilyState after;
        QString identity = {};
        QString fault = {};
    };
    const Case cases[] = {
        {"A", SimFamily::A, State(PackFamily::A), "20/46/42:02", 0, State(PackFamily::A),
         "20/46/51: 20/46/93:02 20/46/96:02"},
        {"B", SimFamily::B, State(PackFamily::B, true), "20/46/42:02", 0, State(PackFamily::B, true), "20/46/51:"},
        {"C", SimFamily::C, State(PackFamily::C), "20/4A/42:", 0, State(PackFamily::C), "20/4A/51:"},
        {"D", SimFamily::D, State(PackFamily::D), "25/46/42:02", 0, State(PackFamily::D), "25/46/C1:02 25/46/C2:02"},
        {"unknown, ours answers", SimFamily::Ours, {}, "21/46/42:02", 0, State(PackFamily::Ours)},
        {"pinned D, a B pack answers", SimFamily::B, State(PackFamily::D, true), "25/46/42:02",
         ResultCode::kFamilyMismatch,
         State(PackFamily::D, true, Problem::PinnedMisfit, {PackFamily::Unknown, 0x20, 0x46, 0x01, -1})},
        {"pinned ours, a D pack answers", SimFamily::D, State(PackFamily::Ours, true), "21/46/42:02",
         ResultCode::kFamilyMismatch,
         State(PackFamily::Ours, true, Problem::PinnedMisfit, {PackFamily::Unknown, 0x25, 0x46, 0x01, -1})},
        {"found A, ours answers", SimFamily::Ours, State(PackFamily::A), "20/46/42:02", ResultCode::kWrongAddress, {}},
        {"found ours, a late bar code", SimFamily::Ours, State(PackFamily::Ours), "21/46/42:02",
         ResultCode::kInvalidData, State(PackFamily::Ours), {}, "answeras:E9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FamilyBus bus(c.pack);
        ASSERT_TRUE(bus.opened);
        bus.oper.SetFamilyState(kAddress, c.known);
        if (!c.fault.isEmpty()) {
            ASSERT_TRUE(bus.bus->addFault(c.fault));
        }
        std::array<RAnalogData, kMaxPacks> analog{};
        std::uint8_t echoed = 0;
        EXPECT_EQ(int(bus.oper.ReadAnalogData(kAddress, kAddress, echoed, analog)), int(c.result));
        EXPECT_EQ(bus.TakeWire(), c.wire);
        EXPECT_EQ(bus.oper.FamilyState(kAddress), c.after);
        if (c.result == ResultCode::kSuccess && IsForeign(c.after.family)) {
            EXPECT_EQ(analog[kAddress - 1].family, c.after.family);
            EXPECT_NE(analog[kAddress - 1].cellVoltages[0], 0);
            EXPECT_EQ(echoed, kAddress);
            std::array<RAlarmData, kMaxPacks> alarms{};
            EXPECT_EQ(bus.oper.ReadAlarmData(kAddress, kAddress, alarms), ResultCode::kSuccess);
            EXPECT_EQ(bus.TakeWire(), QString(c.wire).replace(QStringLiteral("/42:"), QStringLiteral("/44:")));
            EXPECT_EQ(alarms[kAddress - 1].family, c.after.family);
        }
        if (!c.identity.isEmpty()) {
            RFamilyIdentity identity;
            EXPECT_EQ(bus.oper.ReadFamilyIdentity(kAddress, identity), ResultCode::kSuccess);
            EXPECT_EQ(bus.TakeWire(), c.identity);
            EXPECT_NE(identity, RFamilyIdentity{});
        }
        // A pinned pack whose answer did not fit is not read again.
        if (c.after.problem == Problem::PinnedMisfit) {
            EXPECT_EQ(bus.oper.ReadAnalogData(kAddress, kAddress, echoed, analog), ResultCode::kFamilyMismatch);
            EXPECT_EQ(bus.TakeWire(), QString());
        }
    }
}

// Another bus says nothing of the packs found on this one; what the user
// pinned stays.
TEST(FamilyRegistry, AnotherDeviceForgetsWhatWasFoundButNotThePins)
{
    FamilyBus bus(SimFamily::A);
    ASSERT_TRUE(bus.opened);
    bus.oper.SetFamilyState(2, State(PackFamily::A));
    bus.oper.SetFamilyState(3, State(PackFamily::D, true, Problem::PinnedMisfit));
    // The same device opened again (a reconnect) keeps everything.
    ASSERT_TRUE(OpenScriptedLink(bus.oper, QStringLiteral("family-guard"), bus.script));
    EXPECT_EQ(bus.oper.FamilyState(2), State(PackFamily::A));
    ASSERT_TRUE(OpenScriptedLink(bus.oper, QStringLiteral("family-guard-other"), bus.script));
    EXPECT_EQ(bus.oper.FamilyState(2), RPackFamilyState{});
    EXPECT_EQ(bus.oper.FamilyState(3), State(PackFamily::D, true));
}
