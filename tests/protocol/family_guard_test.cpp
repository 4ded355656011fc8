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
// Our 0x42, then the other request forms: A and B share one, C has another
// CID1 and no INFO, D another VER.
const QString kProbes = QStringLiteral("21/46/42:02 20/46/42:02 20/4A/42: 25/46/42:02");
const QString kProbeCommands = QStringLiteral("21/46/42 20/46/42 20/4A/42 25/46/42");

// A link to a bus of simulated packs that answers at once: silence costs no
// reply window here. The pack at kAddress is of the family given, or none.
class FamilyBus {
public:
    explicit FamilyBus(std::optional<SimFamily> pack, const QString& device = QStringLiteral("family-guard"))
    {
        SimOptions options;
        options.packs = 1;
        if (pack)
            options.families[kAddress] = *pack;
        m_bus = std::make_shared<SimBus>(options);
        m_script->respond = [bus = m_bus](const QByteArray& request) { return bus->respond(request).text; };
        opened = OpenScriptedLink(oper, device, m_script);
    }

    // What went on the wire since the last call: "VER/CID1/CID2:INFO" each.
    QString TakeWire()
    {
        QStringList wire;
        for (const QByteArray& request : m_script->takeRequests()) {
            frame::ParsedFrame parsed;
            if (!frame::ParseFrame(request, parsed)) {
                wire << QStringLiteral("?");
                continue;
            }
            wire << QStringLiteral("%1/%2/%3:%4")
                        .arg(parsed.version, 2, 16, QLatin1Char('0'))
                        .arg(parsed.cid1, 2, 16, QLatin1Char('0'))
                        .arg(parsed.cid2, 2, 16, QLatin1Char('0'))
                        .arg(QString::fromLatin1(parsed.info.toHex()))
                        .toUpper();
        }
        return wire.join(u' ');
    }
    // The wire without the INFO of each request.
    QString TakeCommands()
    {
        QStringList commands;
        for (const QString& request : TakeWire().split(u' ', Qt::SkipEmptyParts))
            commands << request.section(u':', 0, 0);
        return commands.join(u' ');
    }

    std::shared_ptr<LinkScript> m_script = std::make_shared<LinkScript>();
    std::shared_ptr<SimBus> m_bus;
    TDevOper oper;
    bool opened = false;
};

RPackFamilyState Found(PackFamily family)
{
    RPackFamilyState state;
    state.family = family;
    return state;
}

RPackFamilyState Pinned(PackFamily family)
{
    RPackFamilyState state = Found(family);
    state.pinned = true;
    return state;
}

bool IsRefusal(std::uint8_t result)
{
    return result == ResultCode::kForeignFamily || result == ResultCode::kFamilyUnknown
        || result == ResultCode::kFamilyMismatch;
}

} // namespace

// Every command of the catalogue in every state an address can be in: sent
// in our form, refused with nothing sent, or sent only after reads confirm
// the pack as ours.
TEST(FamilyGuard, EveryCommandGoesOnlyWhereItsFamilyAllows)
{
    RPackFamilyState misfit = Pinned(PackFamily::Ours);
    misfit.problem = RPackFamilyState::Problem::PinnedMisfit;
    struct Scenario {
        const char* name;
        std::optional<SimFamily> pack;
        std::optional<RPackFamilyState> known;   // filed before the command
        QString readWire;                        // 0x42, 0x44, 0x51; %1: the command
        QString otherWire;                       // every other command
        std::optional<std::uint8_t> readResult;  // none: whatever the pack answers
        std::optional<std::uint8_t> otherResult;
        PackFamily familyAfter;                  // of an address asked a non-read
    };
    const QString ours = QStringLiteral("21/46/%1");
    const Scenario scenarios[] = {
        {"unknown and silent", std::nullopt, std::nullopt, ours, kProbeCommands, ResultCode::kNoAnswer,
         ResultCode::kNoAnswer, PackFamily::Unknown},
        {"unknown, ours answers", SimFamily::Ours, std::nullopt, ours, QStringLiteral("21/46/42 21/46/%1"),
         std::nullopt, std::nullopt, PackFamily::Ours},
        {"unknown, a D pack answers", SimFamily::D, std::nullopt, ours, kProbeCommands, std::nullopt,
         ResultCode::kForeignFamily, PackFamily::D},
        {"pinned ours", SimFamily::Ours, Pinned(PackFamily::Ours), ours, ours, std::nullopt, std::nullopt,
         PackFamily::Ours},
        {"found A", SimFamily::A, Found(PackFamily::A), {}, {}, ResultCode::kForeignFamily,
         ResultCode::kForeignFamily, PackFamily::A},
        {"pinned D", SimFamily::D, Pinned(PackFamily::D), {}, {}, ResultCode::kForeignFamily,
         ResultCode::kForeignFamily, PackFamily::D},
        {"pinned ours whose answer did not fit", SimFamily::D, misfit, {}, {}, ResultCode::kFamilyMismatch,
         ResultCode::kFamilyMismatch, PackFamily::Ours},
    };
    for (const Scenario& s : scenarios) {
        for (const CommandInfo& command : kCommandCatalogue) {
            SCOPED_TRACE(std::string(s.name) + ", " + std::string(command.name));
            FamilyBus bus(s.pack);
            ASSERT_TRUE(bus.opened);
            if (s.known)
                bus.oper.SetFamilyState(kAddress, *s.known);
            const bool read = FamilyReads(PackFamily::Unknown, command.cid2);
            const std::uint8_t result =
                bus.oper.Execute(kAddress, command.id, QByteArray(1, char(kAddress)));

            const QString wire = read ? s.readWire : s.otherWire;
            const QString code = QStringLiteral("%1").arg(command.cid2, 2, 16, QLatin1Char('0')).toUpper();
            EXPECT_EQ(bus.TakeCommands().toStdString(),
                      (wire.contains(u'%') ? wire.arg(code) : wire).toStdString());
            const std::optional<std::uint8_t> expected = read ? s.readResult : s.otherResult;
            if (expected)
                EXPECT_EQ(int(result), int(*expected));
            else
                EXPECT_FALSE(IsRefusal(result)) << int(result);
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
    const auto onePack = [](SimFamily family) {
        SimOptions options;
        options.packs = 0;
        options.families[kAddress] = family;
        return options;
    };
    SimBus aBus(onePack(SimFamily::A));
    SimBus dBus(onePack(SimFamily::D));
    // A pack that refuses every request with a VER of no family.
    const auto refuseAll = [](const QByteArray&) { return frame::BuildFrameText(kAddress, 0x46, 0x01, "", 0x22); };
    // Two packs at one address: A answers its form, D its own.
    const auto twoPacks = [&](const QByteArray& request) {
        frame::ParsedFrame parsed;
        frame::ParseFrame(request, parsed);
        if (parsed.version == 0x20 && parsed.cid1 == 0x46)
            return aBus.respond(request).text;
        return parsed.version == 0x25 ? dBus.respond(request).text : QByteArray();
    };
    RPackFamilyState noFit;
    noFit.problem = RPackFamilyState::Problem::NoFit;
    noFit.misfit = RFamilyFit{PackFamily::Unknown, 0x22, 0x46, 0x01, -1};
    RPackFamilyState two;
    two.problem = RPackFamilyState::Problem::TwoFamilies;
    two.misfit = RFamilyFit{PackFamily::A, 0x20, 0x46, 0x00, 2};
    two.second = PackFamily::D;

    struct Case {
        const char* name;
        std::optional<SimFamily> pack;
        std::function<QByteArray(const QByteArray&)> respond;   // in place of the pack
        std::optional<RPackFamilyState> known;
        RPackFamilyState expected;
        QString wire;
    };
    const Case cases[] = {
        {"ours", SimFamily::Ours, {}, {}, Found(PackFamily::Ours), kProbes},
        {"A", SimFamily::A, {}, {}, Found(PackFamily::A), kProbes},
        {"A above 65 Ah", SimFamily::A4, {}, {}, Found(PackFamily::A), kProbes},
        {"B", SimFamily::B, {}, {}, Found(PackFamily::B), kProbes},
        {"C", SimFamily::C, {}, {}, Found(PackFamily::C), kProbes},
        {"D", SimFamily::D, {}, {}, Found(PackFamily::D), kProbes},
        {"silent", std::nullopt, {}, {}, RPackFamilyState{}, kProbes},
        {"an answer that fits no family", std::nullopt, refuseAll, {}, noFit, kProbes},
        {"two families at one address", std::nullopt, twoPacks, {}, two, kProbes},
        {"found before, silent now", std::nullopt, {}, Found(PackFamily::C), Found(PackFamily::C), kProbes},
        {"pinned: never asked", SimFamily::A, {}, Pinned(PackFamily::B), Pinned(PackFamily::B), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FamilyBus bus(c.pack);
        ASSERT_TRUE(bus.opened);
        if (c.respond)
            bus.m_script->respond = c.respond;
        if (c.known)
            bus.oper.SetFamilyState(kAddress, *c.known);
        EXPECT_EQ(bus.oper.DetectFamily(kAddress, 300), c.expected);
        EXPECT_EQ(bus.oper.FamilyState(kAddress), c.expected);
        EXPECT_EQ(bus.TakeWire(), c.wire);
    }
}

// A pack of another family is read in its own form, and its answers land
// in the shared records.
TEST(FamilyReads, LiveValuesAlarmsAndIdentityGoInTheFamilysOwnForm)
{
    struct Case {
        SimFamily pack;
        PackFamily family;
        QString analog;
        QString alarm;
        QString identity;
    };
    const Case cases[] = {
        {SimFamily::A, PackFamily::A, "20/46/42:02", "20/46/44:02", "20/46/51: 20/46/93:02 20/46/96:02"},
        {SimFamily::A4, PackFamily::A, "20/46/42:02", "20/46/44:02", "20/46/51: 20/46/93:02 20/46/96:02"},
        {SimFamily::B, PackFamily::B, "20/46/42:02", "20/46/44:02", "20/46/51:"},
        {SimFamily::C, PackFamily::C, "20/4A/42:", "20/4A/44:", "20/4A/51:"},
        {SimFamily::D, PackFamily::D, "25/46/42:02", "25/46/44:02", "25/46/C1:02 25/46/C2:02"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(FamilyName(c.family).toStdString() + (c.pack == SimFamily::A4 ? "4" : ""));
        FamilyBus bus(c.pack);
        ASSERT_TRUE(bus.opened);
        bus.oper.SetFamilyState(kAddress, Found(c.family));
        // The record of pack 5 is filled, whatever address the pack has.
        constexpr std::uint8_t kPack = 5;
        std::array<RAnalogData, kMaxPacks> analog{};
        std::uint8_t echoed = 0;
        ASSERT_EQ(bus.oper.ReadAnalogData(kAddress, kPack, echoed, analog), ResultCode::kSuccess);
        EXPECT_EQ(bus.TakeWire(), c.analog);
        EXPECT_EQ(analog[kPack - 1].family, c.family);
        EXPECT_EQ(analog[kPack - 1].packNumber, kPack);
        EXPECT_NE(analog[kPack - 1].cellVoltages[0], 0);
        EXPECT_EQ(echoed, kAddress);

        std::array<RAlarmData, kMaxPacks> alarms{};
        ASSERT_EQ(bus.oper.ReadAlarmData(kAddress, kPack, alarms), ResultCode::kSuccess);
        EXPECT_EQ(bus.TakeWire(), c.alarm);
        EXPECT_EQ(alarms[kPack - 1].family, c.family);
        EXPECT_EQ(alarms[kPack - 1].packNumber, kPack);

        RFamilyIdentity identity;
        EXPECT_EQ(bus.oper.ReadFamilyIdentity(kAddress, identity), ResultCode::kSuccess);
        EXPECT_EQ(bus.TakeWire(), c.identity);
        EXPECT_FALSE(identity.deviceName.isEmpty() && identity.softwareVersion.isEmpty());
        EXPECT_EQ(bus.oper.FamilyState(kAddress), Found(c.family));
    }
}

// Only an answer tells the family: one in the family's layout confirms it,
// one of another family forgets what was found and stops a pinned pack being
// read; a late answer of another command does neither.
TEST(FamilyReads, LiveAnswersConfirmOrRefuteTheFamilyInForce)
{
    RPackFamilyState pinnedD = Pinned(PackFamily::D);
    pinnedD.problem = RPackFamilyState::Problem::PinnedMisfit;
    pinnedD.misfit = RFamilyFit{PackFamily::Unknown, 0x20, 0x46, 0x01, -1};
    RPackFamilyState pinnedOurs = Pinned(PackFamily::Ours);
    pinnedOurs.problem = RPackFamilyState::Problem::PinnedMisfit;
    pinnedOurs.misfit = RFamilyFit{PackFamily::Unknown, 0x25, 0x46, 0x01, -1};
    struct Case {
        const char* name;
        SimFamily pack;
        RPackFamilyState known;
        QString fault;
        std::uint8_t result;
        RPackFamilyState after;
    };
    const Case cases[] = {
        {"unknown, ours answers", SimFamily::Ours, {}, {}, ResultCode::kSuccess, Found(PackFamily::Ours)},
        {"pinned D, a B pack answers", SimFamily::B, Pinned(PackFamily::D), {}, ResultCode::kFamilyMismatch,
         pinnedD},
        {"pinned ours, a D pack answers", SimFamily::D, Pinned(PackFamily::Ours), {},
         ResultCode::kFamilyMismatch, pinnedOurs},
        {"found A, ours answers", SimFamily::Ours, Found(PackFamily::A), {}, ResultCode::kWrongAddress,
         RPackFamilyState{}},
        {"found ours, a late bar code", SimFamily::Ours, Found(PackFamily::Ours), "answeras:E9",
         ResultCode::kInvalidData, Found(PackFamily::Ours)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FamilyBus bus(c.pack);
        ASSERT_TRUE(bus.opened);
        bus.oper.SetFamilyState(kAddress, c.known);
        if (!c.fault.isEmpty()) {
            ASSERT_TRUE(bus.m_bus->addFault(c.fault));
        }
        std::array<RAnalogData, kMaxPacks> analog{};
        std::uint8_t echoed = 0;
        EXPECT_EQ(int(bus.oper.ReadAnalogData(kAddress, kAddress, echoed, analog)), int(c.result));
        EXPECT_EQ(bus.oper.FamilyState(kAddress), c.after);
        // A pinned pack whose answer did not fit is not read again.
        if (c.after.problem == RPackFamilyState::Problem::PinnedMisfit) {
            bus.TakeWire();
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
    RPackFamilyState misfit = Pinned(PackFamily::D);
    misfit.problem = RPackFamilyState::Problem::PinnedMisfit;
    bus.oper.SetFamilyState(2, Found(PackFamily::A));
    bus.oper.SetFamilyState(3, misfit);
    bus.oper.PinFamily(4, PackFamily::B);

    // The same device opened again (a reconnect) keeps everything.
    ASSERT_TRUE(OpenScriptedLink(bus.oper, QStringLiteral("family-guard"), bus.m_script));
    EXPECT_EQ(bus.oper.FamilyState(2), Found(PackFamily::A));

    ASSERT_TRUE(OpenScriptedLink(bus.oper, QStringLiteral("family-guard-other"), bus.m_script));
    EXPECT_EQ(bus.oper.FamilyState(2), RPackFamilyState{});
    EXPECT_EQ(bus.oper.FamilyState(3), Pinned(PackFamily::D));
    EXPECT_EQ(bus.oper.FamilyState(4), Pinned(PackFamily::B));
}
