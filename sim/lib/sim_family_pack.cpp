#include "sim_family_pack.h"

#include "sim_info.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <numeric>

using namespace siminfo;

namespace {

constexpr std::uint8_t kAnalog = 0x42;
constexpr std::uint8_t kAlarm = 0x44;
constexpr std::uint8_t kProtocolVersion = 0x4F;
constexpr std::uint8_t kIdentity = 0x51;
constexpr std::uint8_t kSerialNumber = 0x93;
constexpr std::uint8_t kFirmware = 0x96;
constexpr std::uint8_t kSoftwareText = 0xC1;
constexpr std::uint8_t kProductAndSerial = 0xC2;
constexpr std::uint8_t kEveryPack = 0xFF;
constexpr std::uint8_t kAddressError = 0x90;       // family A
constexpr std::uint8_t kInvalidData = 0x06;
constexpr std::uint8_t kGroup = 0;                 // family C

// The numbers of each family as its maker's document gives them, written
// down here on their own so that a slip in the host's family table shows up
// as a pack that does not answer.
struct FamilyRules {
    SimFamily family;
    const char* name;
    std::uint8_t version;
    std::uint8_t cid1;
    int firstAddress;
    int lastAddress;
    int cells;
    int design10mAh;             // design capacity; the full capacity is a little less
    bool live42TakesAddress;     // the 0x42/0x44 request carries the address
    bool answersVersionAnyVer;   // answers 0x4F whatever VER the request has
    std::array<std::uint8_t, 6> reads;   // 0 ends the list
    std::array<std::uint8_t, 8> writes;  // taken and carried out; 0 ends the list
};

// 0x49 writes parameters and 0x4E sets the clock on all of them; 0x45 shuts
// a B pack down; D takes our vendor commands as protection settings.
constexpr std::array<FamilyRules, 6> kRules = {{
    {SimFamily::Ours, "ours", 0x21, 0x46, 1, 16, 16, 10000, true, false, {}, {}},
    {SimFamily::A, "A", 0x20, 0x46, 2, 255, 16, 5000, true, true,
     {kAnalog, kAlarm, kProtocolVersion, kIdentity, kSerialNumber, kFirmware}, {0x49, 0x4E}},
    {SimFamily::A4, "A4", 0x20, 0x46, 2, 255, 16, 10500, true, true,
     {kAnalog, kAlarm, kProtocolVersion, kIdentity, kSerialNumber, kFirmware}, {0x49, 0x4E}},
    {SimFamily::B, "B", 0x20, 0x46, 0, 15, 16, 10000, true, false, {kAnalog, kAlarm, kProtocolVersion, kIdentity},
     {0x45, 0x49, 0x4E}},
    {SimFamily::C, "C", 0x20, 0x4A, 0, 15, 15, 10000, false, false, {kAnalog, kAlarm, kIdentity}, {0x49, 0x4E}},
    {SimFamily::D, "D", 0x25, 0x46, 0, 15, 16, 10000, true, false, {kAnalog, kAlarm, kSoftwareText, kProductAndSerial},
     {0x49, 0x4E, 0xE0, 0xE2, 0xE4, 0xE6, 0xEC, 0xEE}},
}};

const FamilyRules& RulesOf(SimFamily family)
{
    return *std::find_if(kRules.begin(), kRules.end(),
                         [family](const FamilyRules& row) { return row.family == family; });
}

template <std::size_t N>
bool Lists(const std::array<std::uint8_t, N>& list, std::uint8_t cid2)
{
    return cid2 != 0 && std::find(list.begin(), list.end(), cid2) != list.end();
}

constexpr int kCellLowMv = 2900;
constexpr int kCellHighMv = 3600;
constexpr int kTemperatureLowC = 0;
constexpr int kTemperatureHighC = 50;
constexpr int kChargeLimit10mA = 5000;
constexpr int kDischargeLimit10mA = 10000;

std::uint8_t LimitState(int value, int low, int high)
{
    return value > high ? 0x02 : (value < low ? 0x01 : 0x00);
}

// Tenths of a kelvin with the family's offset for 0 °C; the live values are
// whole degrees, the tenth makes the sensors tell apart.
int Kelvin10(int celsius, int offset, int tenth = 0)
{
    return celsius * 10 + tenth + offset;
}

constexpr int kKelvinOffset = 2731;
constexpr int kKelvinOffsetD = 2730;

} // namespace

std::optional<SimFamily> ParseSimFamily(QStringView text)
{
    for (const FamilyRules& row : kRules)
        if (text.compare(QLatin1String(row.name), Qt::CaseInsensitive) == 0)
            return row.family;
    return std::nullopt;
}

QString SimFamilyName(SimFamily family)
{
    return QLatin1String(RulesOf(family).name);
}

PackFamily ProtocolFamily(SimFamily family)
{
    switch (family) {
    case SimFamily::Ours: return PackFamily::Ours;
    case SimFamily::A:
    case SimFamily::A4: return PackFamily::A;
    case SimFamily::B: return PackFamily::B;
    case SimFamily::C: return PackFamily::C;
    case SimFamily::D: return PackFamily::D;
    }
    return PackFamily::Unknown;
}

std::optional<SimFamilyPlace> ParseSimFamilyPlace(QStringView text, QString* error)
{
    const auto fail = [&](const QString& why) -> std::optional<SimFamilyPlace> {
        if (error)
            *error = QStringLiteral("bad family \"%1\": %2").arg(text.left(60).toString(), why);
        return std::nullopt;
    };
    const qsizetype colon = text.indexOf(u':');
    if (colon < 0)
        return fail(QStringLiteral("give ADR:FAMILY, FAMILY one of ours, A, A4, B, C, D"));
    bool ok = false;
    const int address = text.left(colon).toInt(&ok);
    const std::optional<SimFamily> family = ParseSimFamily(text.mid(colon + 1));
    if (!family)
        return fail(QStringLiteral("the family is one of ours, A, A4, B, C, D"));
    const FamilyRules& rules = RulesOf(*family);
    if (!ok || address < rules.firstAddress || address > rules.lastAddress)
        return fail(QStringLiteral("packs of family %1 take addresses %2-%3")
                        .arg(QLatin1String(rules.name))
                        .arg(rules.firstAddress)
                        .arg(rules.lastAddress));
    return SimFamilyPlace{std::uint8_t(address), *family};
}

QByteArray SimFamilyRequest(SimFamily family, std::uint8_t address, std::uint8_t cid2)
{
    const FamilyRules& rules = RulesOf(family);
    const bool withAddress = rules.live42TakesAddress || family == SimFamily::Ours;
    const QByteArray info = withAddress ? QByteArray(1, char(address)) : QByteArray();
    return frame::BuildFrameText(address, rules.cid1, cid2, frame::HexPairs(info), rules.version);
}

SimFamilyPack::SimFamilyPack(SimFamily family, std::uint8_t address, std::uint32_t seed)
    : m_family(family), m_address(address), m_version(RulesOf(family).version), m_cid1(RulesOf(family).cid1),
      m_random(seed * 104729u + address * 31u + std::uint32_t(family))
{
    m_live.design10mAh = RulesOf(family).design10mAh;
    m_live.full10mAh = m_live.design10mAh * 98 / 100;
    m_live.initialise(m_random);
    m_lastMode = m_live.mode();
    // Totals of a life as long as the cycles say, at about 50 V.
    const std::int64_t lifetimeMas = std::int64_t(m_live.cycles) * m_live.full10mAh * 36000;
    m_chargedMas = lifetimeMas + lifetimeMas / 50;
    m_dischargedMas = lifetimeMas;
    m_chargedMicroWs = m_chargedMas * 51200;
    m_dischargedMicroWs = m_dischargedMas * 50800;
    m_chargingSeconds = std::int64_t(m_live.cycles) * 3 * 3600;
    m_dischargingSeconds = std::int64_t(m_live.cycles) * 4 * 3600;
    m_charges = m_live.cycles + 2;
    m_discharges = m_live.cycles;
}

SimFamilyPack::Answer SimFamilyPack::success(const QByteArray& info) const
{
    return Answer{m_version, m_cid1, 0x00, frame::HexPairs(info)};
}

SimFamilyPack::Answer SimFamilyPack::resultOnly(std::uint8_t rtn) const
{
    return Answer{m_version, m_cid1, rtn, QByteArray()};
}

bool SimFamilyPack::takesAsWrite(std::uint8_t cid2) const
{
    return Lists(RulesOf(m_family).writes, cid2);
}

std::optional<SimFamilyPack::Answer> SimFamilyPack::handle(const frame::ParsedFrame& request)
{
    const FamilyRules& rules = RulesOf(m_family);
    // A pack of another CID1 does not take the frame for itself.
    if (request.cid1 != m_cid1)
        return std::nullopt;
    if (request.version != m_version && !(rules.answersVersionAnyVer && request.cid2 == kProtocolVersion))
        return resultOnly(SimFamilyRtn::kVersionError);
    // A write in its own form is carried out as a real pack would: the
    // request counts of the bus are what tell that one arrived.
    if (takesAsWrite(request.cid2))
        return resultOnly(0x00);
    if (!Lists(rules.reads, request.cid2))
        return resultOnly(SimFamilyRtn::kUnknownCommand);

    std::uint8_t asked = m_address;
    if (rules.live42TakesAddress && (request.cid2 == kAnalog || request.cid2 == kAlarm)) {
        if (request.info.isEmpty())
            return resultOnly(SimFamilyRtn::kFormatError);
        asked = std::uint8_t(request.info.front());
        const bool everyPack = m_family == SimFamily::D && asked == kEveryPack;
        if (asked != m_address && !everyPack)
            return resultOnly(m_family == SimFamily::A || m_family == SimFamily::A4 ? kAddressError : kInvalidData);
    }

    switch (request.cid2) {
    case kAnalog:
        switch (m_family) {
        case SimFamily::A:
        case SimFamily::A4: return analogA();
        case SimFamily::B: return analogB();
        case SimFamily::C: return analogC();
        case SimFamily::D: return analogD(asked);
        case SimFamily::Ours: break;
        }
        break;
    case kAlarm:
        switch (m_family) {
        case SimFamily::A:
        case SimFamily::A4: return alarmA();
        case SimFamily::B: return alarmB();
        case SimFamily::C: return alarmC();
        case SimFamily::D: return alarmD(asked);
        case SimFamily::Ours: break;
        }
        break;
    case kProtocolVersion:
        // The answer's VER is the protocol version; INFO stays empty.
        return resultOnly(0x00);
    default:
        return identity(request.cid2);
    }
    return resultOnly(SimFamilyRtn::kUnknownCommand);
}

void SimFamilyPack::step()
{
    m_live.step(m_random);
    const std::int64_t seconds = SimLiveState::kStepSeconds;
    const std::int64_t milliamps = std::int64_t(m_live.current10mA) * 10;
    const int cells = RulesOf(m_family).cells;
    const std::int64_t packMv = std::accumulate(m_live.cellMv.begin(), m_live.cellMv.begin() + cells, 0);
    const int mode = m_live.mode();
    if (mode == 1) {
        m_chargedMas += milliamps * seconds;
        m_chargedMicroWs += milliamps * packMv * seconds;
        m_chargingSeconds += seconds;
    } else if (mode == 2) {
        m_dischargedMas -= milliamps * seconds;
        m_dischargedMicroWs -= milliamps * packMv * seconds;
        m_dischargingSeconds += seconds;
    }
    if (mode != m_lastMode && mode == 1)
        ++m_charges;
    if (mode != m_lastMode && mode == 2)
        ++m_discharges;
    m_lastMode = mode;
}

// ---------------------------------------------------------------- live values

SimFamilyPack::Answer SimFamilyPack::analogA()
{
    step();
    const int cells = RulesOf(m_family).cells;
    InfoWriter out;
    out.byte(0).byte(m_address).byte(cells);
    int packMv = 0;
    for (int cell = 0; cell < cells; ++cell) {
        out.word(m_live.cellMv[std::size_t(cell)]);
        packMv += m_live.cellMv[std::size_t(cell)];
    }
    // The board first, then one sensor per group of four cells.
    out.byte(1 + SimLiveState::kCellTemperatures).word(Kelvin10(m_live.fetC, kKelvinOffset));
    for (int temperature : m_live.cellTemperatureC)
        out.word(Kelvin10(temperature, kKelvinOffset, 3));
    const auto remainingMah = std::uint32_t(m_live.remainingMas / 3600);
    const auto fullMah = std::uint32_t(m_live.full10mAh) * 10;
    // Current in 100 mA, signed; voltage in mV; capacities in mAh.
    out.word(m_live.current10mA / 10).word(packMv);
    if (m_family == SimFamily::A) {
        out.word(int(remainingMah)).byte(2).word(int(fullMah)).word(m_live.cycles);
    } else {
        // Above 65 Ah the two-byte fields cannot hold the capacities: they
        // read 0xFFFF and three-byte fields follow the cycles.
        out.word(0xFFFF).byte(4).word(0xFFFF).word(m_live.cycles);
        out.byte(int(remainingMah >> 16)).word(int(remainingMah & 0xFFFF));
        out.byte(int(fullMah >> 16)).word(int(fullMah & 0xFFFF));
    }
    return success(out.raw());
}

SimFamilyPack::Answer SimFamilyPack::analogB()
{
    step();
    InfoWriter out;
    out.byte(0).byte(m_address).byte(SimLiveState::kCells);
    for (int mv : m_live.cellMv)
        out.word(mv);
    // Four cell sensors, the ambient sensor and the power board.
    out.byte(SimLiveState::kCellTemperatures + 2);
    for (int temperature : m_live.cellTemperatureC)
        out.word(Kelvin10(temperature, kKelvinOffset, 2));
    out.word(Kelvin10(m_live.ambientC, kKelvinOffset)).word(Kelvin10(m_live.fetC, kKelvinOffset));
    const int voltage10mV = m_live.packVoltage10mV();
    const int socPermille = int(m_live.remainingMas * 1000 / (std::int64_t(std::max(m_live.full10mAh, 1)) * 36000));
    out.word(m_live.current10mA).word(voltage10mV).word(m_live.remaining10mAh()).byte(10);
    out.word(m_live.full10mAh).word(std::clamp(socPermille, 0, 1000)).word(m_live.design10mAh).word(m_live.cycles);
    // The port sits behind the MOSFETs: a little below the cells while
    // discharging.
    out.word(m_live.soh * 10).word(voltage10mV - (m_live.mode() == 2 ? 3 : 0));
    for (int reserved = 0; reserved < 4; ++reserved)
        out.word(0);
    return success(out.raw());
}

SimFamilyPack::Answer SimFamilyPack::analogC()
{
    step();
    const int cells = RulesOf(m_family).cells;
    const auto first = m_live.cellMv.begin();
    const int packMv = std::accumulate(first, first + cells, 0);
    const int highestMv = *std::max_element(first, first + cells);
    const int lowestMv = *std::min_element(first, first + cells);
    InfoWriter out;
    // The byte after the flag is the pack's group (one rack: 0), not its
    // address.
    out.byte(0).byte(kGroup).byte(cells);
    for (int cell = 0; cell < cells; ++cell)
        out.word(m_live.cellMv[std::size_t(cell)]);
    // N cell sensors, then two more: ambient and MOSFET.
    out.byte(SimLiveState::kCellTemperatures);
    for (int temperature : m_live.cellTemperatureC)
        out.word(Kelvin10(temperature, kKelvinOffset, 1));
    out.word(Kelvin10(m_live.ambientC, kKelvinOffset)).word(Kelvin10(m_live.fetC, kKelvinOffset));
    out.word(m_live.current10mA).word(packMv / 10).word(m_live.remaining10mAh()).word(m_live.full10mAh);
    out.word(m_live.cycles).byte(15).word(m_live.soc()).word(m_live.soh);
    out.word(highestMv).word(lowestMv).word(highestMv - lowestMv);
    const auto [coolest, warmest] =
        std::minmax_element(m_live.cellTemperatureC.begin(), m_live.cellTemperatureC.end());
    out.word(Kelvin10(*warmest, kKelvinOffset, 1)).word(Kelvin10(*coolest, kKelvinOffset, 1));
    // Lifetime totals: 0.01 Ah, 0.001 kWh (1 Wh), hours.
    constexpr std::int64_t kMasPerCentiAh = 36000;
    constexpr std::int64_t kMicroWsPerWh = 3600000000;
    out.longWord(std::uint32_t(m_chargedMas / kMasPerCentiAh))
        .longWord(std::uint32_t(m_dischargedMas / kMasPerCentiAh));
    out.longWord(std::uint32_t(m_chargedMicroWs / kMicroWsPerWh))
        .longWord(std::uint32_t(m_dischargedMicroWs / kMicroWsPerWh));
    out.longWord(std::uint32_t(m_chargingSeconds / 3600)).longWord(std::uint32_t(m_dischargingSeconds / 3600));
    out.word(m_charges).word(m_discharges);
    return success(out.raw());
}

SimFamilyPack::Answer SimFamilyPack::analogD(std::uint8_t asked)
{
    step();
    InfoWriter out;
    // Asked for every pack, it counts the packs that follow: itself.
    out.byte(0).byte(asked == kEveryPack ? 1 : m_address).byte(SimLiveState::kCells);
    int packMv = 0;
    for (int mv : m_live.cellMv) {
        out.word(mv);
        packMv += mv;
    }
    // Four cell sensors, then the MOSFET and the ambient sensor; 0 °C is
    // 2730 here.
    out.byte(SimLiveState::kCellTemperatures + 2);
    for (int temperature : m_live.cellTemperatureC)
        out.word(Kelvin10(temperature, kKelvinOffsetD, 4));
    out.word(Kelvin10(m_live.fetC, kKelvinOffsetD)).word(Kelvin10(m_live.ambientC, kKelvinOffsetD));
    out.word(m_live.current10mA).word(packMv).word(m_live.remaining10mAh()).byte(3);
    out.word(m_live.full10mAh).word(m_live.cycles).word(m_live.design10mAh);
    return success(out.raw());
}

// ---------------------------------------------------------------- alarm states

namespace {

// The limit states every family sends first: cells, temperatures.
void CellAndTemperatureStates(InfoWriter& out, const SimLiveState& live, int cells, int temperatures)
{
    out.byte(cells);
    for (int cell = 0; cell < cells; ++cell)
        out.byte(LimitState(live.cellMv[std::size_t(cell)], kCellLowMv, kCellHighMv));
    out.byte(temperatures);
    const int all[] = {live.cellTemperatureC[0], live.cellTemperatureC[1], live.cellTemperatureC[2],
                       live.cellTemperatureC[3], live.ambientC, live.fetC};
    for (int k = 0; k < temperatures; ++k)
        out.byte(LimitState(all[std::min(k, int(std::size(all)) - 1)], kTemperatureLowC, kTemperatureHighC));
}

std::uint8_t PackVoltageState(const SimLiveState& live, int cells)
{
    const int packMv = std::accumulate(live.cellMv.begin(), live.cellMv.begin() + cells, 0);
    return LimitState(packMv, kCellLowMv * cells, kCellHighMv * cells);
}

std::uint8_t ChargeCurrentState(const SimLiveState& live)
{
    return live.current10mA > kChargeLimit10mA ? 0x02 : 0x00;
}

std::uint8_t DischargeCurrentState(const SimLiveState& live)
{
    return -live.current10mA > kDischargeLimit10mA ? 0x02 : 0x00;
}

} // namespace

SimFamilyPack::Answer SimFamilyPack::alarmA() const
{
    const int cells = RulesOf(m_family).cells;
    InfoWriter out;
    out.byte(0).byte(m_address);
    CellAndTemperatureStates(out, m_live, cells, 1 + SimLiveState::kCellTemperatures);
    out.byte(ChargeCurrentState(m_live)).byte(PackVoltageState(m_live, cells)).byte(DischargeCurrentState(m_live));
    // Status 1-3, then the per-cell fault bits of cells 1-8 and 9-16.
    for (int status = 0; status < 5; ++status)
        out.byte(0);
    return success(out.raw());
}

SimFamilyPack::Answer SimFamilyPack::alarmB() const
{
    InfoWriter out;
    out.byte(0).byte(m_address);
    CellAndTemperatureStates(out, m_live, SimLiveState::kCells, SimLiveState::kCellTemperatures + 2);
    const std::uint8_t current = std::max(ChargeCurrentState(m_live), DischargeCurrentState(m_live));
    out.byte(current).byte(PackVoltageState(m_live, SimLiveState::kCells)).byte(20);
    for (int status = 0; status < 20; ++status)
        out.byte(0);
    return success(out.raw());
}

SimFamilyPack::Answer SimFamilyPack::alarmC() const
{
    const int cells = RulesOf(m_family).cells;
    InfoWriter out;
    out.byte(0).byte(kGroup);
    // N counts the cell sensors; their states and two more follow.
    out.byte(cells);
    for (int cell = 0; cell < cells; ++cell)
        out.byte(LimitState(m_live.cellMv[std::size_t(cell)], kCellLowMv, kCellHighMv));
    out.byte(SimLiveState::kCellTemperatures);
    for (int temperature : m_live.cellTemperatureC)
        out.byte(LimitState(temperature, kTemperatureLowC, kTemperatureHighC));
    out.byte(LimitState(m_live.ambientC, kTemperatureLowC, kTemperatureHighC))
        .byte(LimitState(m_live.fetC, kTemperatureLowC, kTemperatureHighC));
    const std::uint8_t current = std::max(ChargeCurrentState(m_live), DischargeCurrentState(m_live));
    // Nine items in twelve bytes: the temperature event and the balancing
    // states are words.
    out.byte(current).byte(PackVoltageState(m_live, cells)).byte(9);
    for (int status = 0; status < 12; ++status)
        out.byte(0);
    return success(out.raw());
}

SimFamilyPack::Answer SimFamilyPack::alarmD(std::uint8_t asked) const
{
    InfoWriter out;
    out.byte(0).byte(asked == kEveryPack ? 1 : m_address);
    CellAndTemperatureStates(out, m_live, SimLiveState::kCells, SimLiveState::kCellTemperatures + 2);
    out.byte(ChargeCurrentState(m_live))
        .byte(PackVoltageState(m_live, SimLiveState::kCells))
        .byte(DischargeCurrentState(m_live));
    // Protection 1-2, instruction, control, fault, balancing 1-2, warning 1-2.
    for (int status = 0; status < 9; ++status)
        out.byte(0);
    return success(out.raw());
}

// ---------------------------------------------------------------- identity

SimFamilyPack::Answer SimFamilyPack::identity(std::uint8_t cid2) const
{
    const QByteArray name = SimFamilyName(m_family).toLatin1();
    const QByteArray serial = "SIM" + name + QByteArray::number(m_address).rightJustified(6, '0');
    InfoWriter out;
    switch (cid2) {
    case kIdentity:
        // Device name (10), software version (2 bytes), maker (20).
        out.text("SIM-" + name + "-16S", 10).byte(1).byte(2).text("Simulated Maker " + name, 20);
        break;
    case kSerialNumber:
        out.byte(m_address).text(serial, 16);
        break;
    case kFirmware:
        // The command value, the main version (2), the build date (3).
        out.byte(m_address).byte(2).byte(7).byte(24).byte(5).byte(17);
        break;
    case kSoftwareText:
        out.text("SIM-D V2.07", 20);
        break;
    case kProductAndSerial:
        out.text("SIM-D-16S-100AH", 20).text(serial, 20);
        break;
    default:
        return resultOnly(SimFamilyRtn::kUnknownCommand);
    }
    return success(out.raw());
}
