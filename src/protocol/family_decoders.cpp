#include "protocol/family_decoders.h"

#include "protocol/decoders.h"
#include "protocol/info_fields.h"
#include "protocol/result_codes.h"

#include <algorithm>
#include <array>

namespace {

// Where a family's 0x42 and 0x44 answers put their fields and what their
// units are. Every family's answer opens with a flag byte and one more byte
// before the cell count M.
struct RFamilyLayout {
    PackFamily family;
    // The byte after the flag names the pack asked (A, B, D). C's request
    // carries no address and its "group" byte is the pack's group, not its
    // address: only the frame's ADR tells which pack answered.
    bool echoesAddress;
    // Temperatures sent beyond the count N: C counts only its cell sensors
    // and sends the ambient and MOSFET sensors after them.
    int extraTemperatures;
    // 0x42: bytes between the temperatures and P (current, voltage and
    // remaining capacity; C sends full capacity and cycles there too).
    int bytesBeforeCount;
    int kelvinTenthsAtZero;       // a temperature of 0 °C as sent
    int millivoltsPerCount;       // pack voltage
    int milliampHoursPerCount;    // capacities
    int milliampsPerCount;        // current; 0: the family's setting (A)
    // 0x44: the charge and discharge current states come apart (A, D).
    bool dischargeState;
    // 0x44: the count sent before the status bytes (0: none). C counts
    // fields: its two temperature events and one four-byte balancing field
    // among them make nine fields in twelve bytes.
    std::uint8_t statusCount;
    // 0x44: the status byte that opens the per-cell fault bits (cells 1-8,
    // then 9-16 in the byte after it); -1: none.
    int cellFaultsAt;
};

constexpr RFamilyLayout kLayouts[] = {
    {PackFamily::A, true, 0, 6, 2731, 1, 1, 0, true, 0, 3},
    {PackFamily::B, true, 0, 6, 2731, 10, 10, 10, false, 20, -1},
    {PackFamily::C, false, 2, 10, 2731, 10, 10, 10, false, 9, -1},
    {PackFamily::D, true, 0, 6, 2730, 1, 10, 10, true, 0, -1},
};

const RFamilyLayout* LayoutOf(PackFamily family)
{
    const auto* layout = std::find_if(std::begin(kLayouts), std::end(kLayouts),
                                      [family](const RFamilyLayout& row) { return row.family == family; });
    return layout == std::end(kLayouts) ? nullptr : layout;
}

// The bytes after P of a 0x42 answer, for each P a family sends.
struct RAnalogTail {
    PackFamily family;
    std::uint8_t count;
    int bytes;
};
constexpr RAnalogTail kTails[] = {
    {PackFamily::A, 2, 4},    // full capacity, cycles
    {PackFamily::A, 4, 10},   // the same, then remaining and full capacity in 3 bytes each
    {PackFamily::B, 10, 20},  // full, SOC, rated, cycles, SOH, port voltage, 4 reserved
    {PackFamily::C, 15, 42},  // SOC, SOH, 5 extremes, 6 four-byte totals, 2 counts
    {PackFamily::D, 3, 6},    // full, cycles, design capacity
    {PackFamily::D, 9, 34},   // the same, then 28 bytes of a layout nobody has confirmed
};

const RAnalogTail* TailOf(PackFamily family, int count)
{
    const auto* tail = std::find_if(std::begin(kTails), std::end(kTails), [&](const RAnalogTail& row) {
        return row.family == family && row.count == count;
    });
    return tail == std::end(kTails) ? nullptr : tail;
}

// Our own 0x42 answer walked the same way: the pack number before M, the
// ambient and FET temperatures inside N, the layout byte where P stands.
constexpr int kOurHeaderBytes = 1;
// Our answer after its layout byte: full capacity, cycles, SOC, SOH, the
// balancing word and humidity; layout 6 puts one more byte before humidity.
constexpr int kOurTailBytes = 9;
constexpr int kOurLongLayout = 6;
// Current, voltage and remaining capacity, between the temperatures and P.
constexpr int kOurBytesBeforeLayout = 6;

// What walking M and N of a 0x42 answer found.
struct RAnalogWalk {
    int cells = 0;
    int temperatures = 0;   // as sent: C's N + 2
    int count = -1;         // P; -1: the answer ends before it
    int end = 0;            // INFO index just past P
};

RAnalogWalk Walk(const AnswerView& answer, int headerBytes, int extraTemperatures, int bytesBeforeCount)
{
    // A count the answer does not hold reads as 0; every field after it
    // then lies past the end too, so P is never read from outside.
    RAnalogWalk walk;
    InfoFields in(answer, headerBytes);
    walk.cells = in.byte().value_or(0);
    in.skip(2 * walk.cells);
    walk.temperatures = in.byte().value_or(0) + extraTemperatures;
    in.skip(2 * walk.temperatures + bytesBeforeCount);
    const std::optional<std::uint8_t> count = in.byte();
    walk.count = count ? *count : -1;
    walk.end = headerBytes + 1 + 2 * walk.cells + 1 + 2 * walk.temperatures + bytesBeforeCount + 1;
    return walk;
}

RAnalogWalk WalkFamily(const RFamilyLayout& layout, const AnswerView& answer)
{
    return Walk(answer, 2, layout.extraTemperatures, layout.bytesBeforeCount);
}

// Whether the walked answer holds the whole layout of the family: counts the
// records hold, a P the family sends and every field up to its end.
bool FitsLayout(const RFamilyLayout& layout, const RAnalogWalk& walk, const AnswerView& answer)
{
    const RAnalogTail* tail = TailOf(layout.family, walk.count);
    return tail && walk.cells <= kMaxCells && walk.temperatures <= kMaxFamilyTemperatures
        && walk.end + tail->bytes <= answer.infoCount();
}

// Our decoder takes answers that end early, as older firmware sends them;
// here it must take at least the cells, and the answer must not run past
// our longest layout (another maker's answer sent under our VER would).
bool FitsOurLayout(const AnswerView& answer)
{
    RAnalogData record;
    if (DecodeAnalogData(answer, answer.info(0), QDateTime(), record) != ResultCode::kSuccess
        || !record.sent(AnalogField::Cells))
        return false;
    const RAnalogWalk walk = Walk(answer, kOurHeaderBytes, 0, kOurBytesBeforeLayout);
    return walk.count < 0
        || answer.infoCount() <= walk.end + kOurTailBytes + (walk.count == kOurLongLayout ? 1 : 0);
}

// INFO bytes 0 and 1 (flag and the pack's byte) are there, and the answer is
// the pack's at address. D's 0x42 byte is "pack count or command value":
// asked for one pack, a count says 1.
std::uint8_t CheckHeader(const RFamilyLayout& layout, const AnswerView& answer, std::uint8_t address,
                         bool countMayStand)
{
    if (answer.infoCount() < 2)
        return ResultCode::kBadFrame;
    if (!layout.echoesAddress)
        return answer.byte(2) == address ? ResultCode::kSuccess : ResultCode::kWrongAddress;
    const std::uint8_t named = answer.info(1);
    const bool packCount = countMayStand && layout.family == PackFamily::D && named == 1;
    return named == address || packCount ? ResultCode::kSuccess : ResultCode::kWrongAddress;
}

// What the temperature at index (of count sent) measures.
TemperatureRole RoleOf(PackFamily family, int index, int count, const RFamilySettings& settings)
{
    const bool secondLast = count >= 2 && index == count - 2;
    const bool last = count >= 2 && index == count - 1;
    switch (family) {
    case PackFamily::A:
        return index == 0 ? TemperatureRole::Board : TemperatureRole::CellSensor;
    case PackFamily::B:   // B's "power" sensor sits on the power switches: its MOSFET
    case PackFamily::C:
        return secondLast ? TemperatureRole::Ambient : last ? TemperatureRole::Mosfet : TemperatureRole::CellSensor;
    case PackFamily::D:
        if (settings.dLastTwoAreMosfetAmbient)
            return secondLast ? TemperatureRole::Mosfet : last ? TemperatureRole::Ambient : TemperatureRole::CellSensor;
        break;
    default:
        break;
    }
    return TemperatureRole::CellSensor;
}

// Index of each of the first four cell sensors among count temperatures;
// -1 where there are fewer.
std::array<int, kMaxCellTemperatures> FirstCellSensors(PackFamily family, int count, const RFamilySettings& settings)
{
    std::array<int, kMaxCellTemperatures> sensors;
    sensors.fill(-1);
    int found = 0;
    for (int i = 0; i < count && found < kMaxCellTemperatures; ++i)
        if (RoleOf(family, i, count, settings) == TemperatureRole::CellSensor)
            sensors[found++] = i;
    return sensors;
}

// A count of thousandths of a unit (mV, mA, mAh, Wh) times its scale, exact.
Decimal Thousandths(std::int64_t count, std::int64_t perCount = 1)
{
    return Decimal::fromRaw(count * perCount * (Decimal::kScale / 1000));
}

Decimal KelvinTenths(std::uint16_t value, int atZero)
{
    return Decimal::fromRaw((std::int64_t(value) - atZero) * (Decimal::kScale / 10));
}

// Tenths of a percent (‰ of the whole) as percent.
Decimal Permille(std::uint16_t value)
{
    return Decimal::fromRaw(std::int64_t(value) * (Decimal::kScale / 10));
}

// Whole percent for the record's own byte (StateOfCharge reads the exact
// value in extra).
std::uint8_t WholePercent(Decimal percent)
{
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(percent.roundedHalfAway(), 0, 255));
}

// The fields after P, family by family. in stands just past P; the layout
// has been checked to hold them all.
void ReadTail(const RFamilyLayout& layout, int count, InfoFields& in, RAnalogData& record)
{
    const auto word = [&in] { return in.word().value_or(0); };
    const auto capacity = [&layout](std::uint32_t value) { return Thousandths(value, layout.milliampHoursPerCount); };
    RFamilyAnalog& extra = record.extra;
    switch (layout.family) {
    case PackFamily::A:
        record.fullCapacity = capacity(word());
        record.cycleCount = word();
        // Above 65 Ah the two-byte capacities read 0xFFFF and three-byte
        // ones follow.
        if (count == 4) {
            record.remainingCapacity = capacity(in.triple().value_or(0));
            record.fullCapacity = capacity(in.triple().value_or(0));
        }
        break;
    case PackFamily::B:
        record.fullCapacity = capacity(word());
        extra.soc = Permille(word());
        extra.designCapacity = capacity(word());
        record.cycleCount = word();
        extra.soh = Permille(word());
        extra.portVoltage = Thousandths(word(), layout.millivoltsPerCount);
        break;   // four reserved words
    case PackFamily::C: {
        extra.soc = Decimal::fromInt(word());
        extra.soh = Decimal::fromInt(word());
        in.skip(6);   // highest, lowest cell and their difference: the cells show them
        extra.highestCellTemperature = KelvinTenths(word(), layout.kelvinTenthsAtZero);
        extra.lowestCellTemperature = KelvinTenths(word(), layout.kelvinTenthsAtZero);
        const auto quad = [&in] { return in.quad().value_or(0); };
        extra.chargedAh = Hundredths(quad());
        extra.dischargedAh = Hundredths(quad());
        extra.chargedKwh = Thousandths(quad());
        extra.dischargedKwh = Thousandths(quad());
        extra.chargingHours = quad();
        extra.dischargingHours = quad();
        extra.charges = word();
        extra.discharges = word();
        break;
    }
    case PackFamily::D:
        record.fullCapacity = capacity(word());
        record.cycleCount = word();
        extra.designCapacity = capacity(word());
        break;   // P = 9: the 28 bytes after are skipped
    default:
        break;
    }
}

} // namespace

RFamilyFit FitAnalogAnswer(const AnswerView& answer)
{
    RFamilyFit fit;
    fit.version = answer.byte(1);
    fit.cid1 = answer.byte(3);
    fit.rtn = answer.rtn();
    if (fit.rtn != 0)
        return fit;

    const RFamilyRow& ours = FamilyRow(PackFamily::Ours);
    if (fit.version == ours.version && fit.cid1 == ours.cid1) {
        fit.userDefinedCount = Walk(answer, kOurHeaderBytes, 0, kOurBytesBeforeLayout).count;
        if (FitsOurLayout(answer))
            fit.family = PackFamily::Ours;
        return fit;
    }

    bool rowMatched = false;
    for (const RFamilyLayout& layout : kLayouts) {
        const RFamilyRow& row = FamilyRow(layout.family);
        if (row.version != fit.version || row.cid1 != fit.cid1)
            continue;
        rowMatched = true;
        const RAnalogWalk walk = WalkFamily(layout, answer);
        fit.userDefinedCount = walk.count;
        if (FitsLayout(layout, walk, answer)) {
            fit.family = layout.family;
            return fit;
        }
    }
    // No family sends this VER with this CID1: P as the family of that
    // CID1 would place it, for the message.
    if (!rowMatched) {
        const bool cid1OfC = fit.cid1 == FamilyRow(PackFamily::C).cid1;
        fit.userDefinedCount = WalkFamily(*LayoutOf(cid1OfC ? PackFamily::C : PackFamily::A), answer).count;
    }
    return fit;
}

std::uint8_t DecodeFamilyAnalog(PackFamily family, const AnswerView& answer, std::uint8_t address,
                                const QDateTime& now, const RFamilySettings& settings, RAnalogData& record)
{
    const RFamilyLayout* layout = LayoutOf(family);
    if (!layout)
        return ResultCode::kBadFrame;
    if (const std::uint8_t header = CheckHeader(*layout, answer, address, true); header != ResultCode::kSuccess)
        return header;
    const RAnalogWalk walk = WalkFamily(*layout, answer);
    if (!FitsLayout(*layout, walk, answer))
        return ResultCode::kBadFrame;

    RAnalogData fresh;
    fresh.packNumber = address;
    fresh.time = now;
    fresh.family = family;
    RFamilyAnalog& extra = fresh.extra;
    extra.cellCount = static_cast<std::uint8_t>(walk.cells);
    extra.temperatureCount = static_cast<std::uint8_t>(walk.temperatures);
    extra.userDefinedCount = static_cast<std::uint8_t>(walk.count);

    InfoFields in(answer, 3);
    const auto word = [&in] { return in.word().value_or(0); };
    for (int i = 0; i < walk.cells; ++i)
        fresh.cellVoltages[i] = word();
    in.skip(1);   // N
    for (int i = 0; i < walk.temperatures; ++i) {
        const Decimal celsius = KelvinTenths(word(), layout->kelvinTenthsAtZero);
        const TemperatureRole role = RoleOf(family, i, walk.temperatures, settings);
        extra.temperatures[i] = celsius;
        extra.temperatureRoles[i] = role;
        if (role == TemperatureRole::Ambient)
            fresh.ambientTemperature = celsius;
        else if (role == TemperatureRole::Mosfet)
            fresh.fetTemperature = celsius;
    }
    const auto sensors = FirstCellSensors(family, walk.temperatures, settings);
    for (int k = 0; k < kMaxCellTemperatures; ++k)
        if (sensors[k] >= 0)
            fresh.cellTemperatures[k] = extra.temperatures[sensors[k]];

    const int milliamps = layout->milliampsPerCount ? layout->milliampsPerCount : settings.aCurrentMilliamps;
    fresh.current = Thousandths(static_cast<std::int16_t>(word()), milliamps);
    fresh.totalVoltage = Thousandths(word(), layout->millivoltsPerCount);
    fresh.remainingCapacity = Thousandths(word(), layout->milliampHoursPerCount);
    if (family == PackFamily::C) {
        fresh.fullCapacity = Thousandths(word(), layout->milliampHoursPerCount);
        fresh.cycleCount = word();
    }
    in.skip(1);   // P
    ReadTail(*layout, walk.count, in, fresh);

    // Fields of our layout the family does not send read as not sent: SOC
    // and SOH where it has none, balancing and humidity always.
    if (extra.soc && extra.soh) {
        fresh.soc = WholePercent(*extra.soc);
        fresh.soh = WholePercent(*extra.soh);
        fresh.fieldsSent = std::uint8_t(AnalogField::Soh) + 1;
    } else {
        fresh.fieldsSent = std::uint8_t(AnalogField::Soc);
    }
    record = fresh;
    return ResultCode::kSuccess;
}

std::uint8_t DecodeFamilyAlarm(PackFamily family, const AnswerView& answer, std::uint8_t address,
                               RAlarmData& record, const RFamilySettings& settings)
{
    const RFamilyLayout* layout = LayoutOf(family);
    if (!layout)
        return ResultCode::kBadFrame;
    if (const std::uint8_t header = CheckHeader(*layout, answer, address, false); header != ResultCode::kSuccess)
        return header;

    RAlarmData fresh;
    fresh.packNumber = address;
    fresh.time = record.time;
    fresh.family = family;
    RFamilyAlarm& extra = fresh.extra;

    // Counts past the end read as 0; the check of the whole answer at the
    // end refuses such an answer.
    InfoFields in(answer, 2);
    const auto state = [&in] { return in.byte().value_or(0); };
    const int cells = state();
    if (cells > kMaxCells)
        return ResultCode::kBadFrame;
    for (int i = 0; i < cells; ++i)
        fresh.cellStates[i] = state();
    const int temperatures = state() + layout->extraTemperatures;
    if (temperatures > kMaxFamilyTemperatures)
        return ResultCode::kBadFrame;
    extra.temperatureCount = static_cast<std::uint8_t>(temperatures);
    for (int i = 0; i < temperatures; ++i)
        extra.temperatureStates[i] = state();
    const auto sensors = FirstCellSensors(family, temperatures, settings);
    for (int k = 0; k < kMaxCellTemperatures; ++k)
        if (sensors[k] >= 0)
            fresh.temperatureStates[k] = extra.temperatureStates[sensors[k]];

    fresh.currentState = state();   // the charge current's where the two come apart
    fresh.voltageState = state();
    if (layout->dischargeState)
        extra.dischargeCurrentState = state();
    if (layout->statusCount != 0 && in.byte() != layout->statusCount)
        return ResultCode::kBadFrame;
    const auto names = FamilyStatusNames(family);
    extra.statusCount = static_cast<std::uint8_t>(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        extra.status[i] = state();
    if (!in.whole())
        return ResultCode::kBadFrame;
    if (layout->cellFaultsAt >= 0)
        extra.cellFaults = static_cast<std::uint16_t>(extra.status[layout->cellFaultsAt]
                                                      | (extra.status[layout->cellFaultsAt + 1] << 8));
    record = fresh;
    return ResultCode::kSuccess;
}

bool DecodeFamilyIdentity(PackFamily family, std::uint8_t cid2, const AnswerView& answer, RFamilyIdentity& identity)
{
    const auto reads = FamilyRow(family).identity;
    if (!IsForeign(family) || std::find(reads.begin(), reads.end(), cid2) == reads.end())
        return false;
    const int bytes = answer.infoCount();
    RFamilyIdentity fresh = identity;
    switch (cid2) {
    case 0x51: {
        // Our device information layout: name (10), software (2), maker (20).
        std::uint16_t software = 0;
        std::uint16_t number1 = 0;
        std::uint8_t number2 = 0;
        if (bytes < 32 || !DecodeDeviceInfo(answer, software, fresh.deviceName, fresh.manufacturer, number1, number2))
            return false;
        fresh.softwareVersion = QStringLiteral("%1.%2").arg(software >> 8).arg(software & 0xFF);
        break;
    }
    case 0x93:   // the command value, then 16 characters
        if (bytes < 17)
            return false;
        fresh.serialNumber = DecodeTextField(answer, 1, 16);
        break;
    case 0x96:   // the command value, then a two-byte and a three-byte version
        if (bytes < 6)
            return false;
        fresh.firmwareVersion = QStringLiteral("%1.%2 %3.%4.%5")
                                    .arg(answer.info(1))
                                    .arg(answer.info(2))
                                    .arg(answer.info(3))
                                    .arg(answer.info(4))
                                    .arg(answer.info(5));
        break;
    case 0xC1:   // 20 characters
        if (bytes < 20)
            return false;
        fresh.softwareVersion = DecodeTextField(answer, 0, 20);
        break;
    case 0xC2:   // the product (20 characters), then the serial in the rest
        if (bytes < 20)
            return false;
        fresh.deviceName = DecodeTextField(answer, 0, 20);
        fresh.serialNumber = DecodeTextField(answer, 20, bytes - 20);
        break;
    default:
        return false;
    }
    identity = fresh;
    return true;
}
