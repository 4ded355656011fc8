#include "sim_live.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>

namespace {

constexpr int kChargeSteps = 30;
constexpr int kRestSteps = 10;
constexpr int kDischargeSteps = 30;

// Moves value one small random step towards target and keeps it in range.
int Drift(int value, int target, int low, int high, SimRandom& random)
{
    const int pull = target > value ? 1 : (target < value ? -1 : 0);
    return std::clamp(value + pull + random.between(-1, 1), low, high);
}

void AppendWord(QByteArray& bytes, int value)
{
    bytes.append(char((value >> 8) & 0xFF));
    bytes.append(char(value & 0xFF));
}

} // namespace

void SimLiveState::initialise(SimRandom& random)
{
    for (int& offset : cellOffsetMv)
        offset = random.between(-12, 12);
    for (int& temperature : cellTemperatureC)
        temperature = random.between(23, 27);
    ambientC = random.between(22, 26);
    fetC = random.between(26, 30);
    humidity = random.between(40, 55);
    cycles = random.between(5, 120);
    setRemaining10mAh(full10mAh * random.between(50, 80) / 100);
    phase = random.between(0, 3);
    phaseSteps = random.between(0, 9);
    current10mA = 0;
    settleCells(random);
}

int SimLiveState::soc() const
{
    if (full10mAh <= 0)
        return 0;
    return std::clamp(int(std::int64_t(remaining10mAh()) * 100 / full10mAh), 0, 100);
}

int SimLiveState::meanCellMv() const
{
    return std::accumulate(cellMv.begin(), cellMv.end(), 0) / kCells;
}

int SimLiveState::packVoltage10mV() const
{
    // The pack voltage is the sum of its cells, sent in 10 mV units.
    return std::accumulate(cellMv.begin(), cellMv.end(), 0) / 10;
}

void SimLiveState::settleCells(SimRandom& random)
{
    // A flat LFP curve: 3150 mV empty to 3350 mV full, lifted while charging
    // and pulled down while discharging by the cells' inner resistance.
    const int base = 3150 + soc() * 2 + current10mA / 200;
    for (int cell = 0; cell < kCells; ++cell)
        cellMv[std::size_t(cell)] = base + cellOffsetMv[std::size_t(cell)] + random.between(-2, 2);
    const int mean = meanCellMv();
    for (int cell = 0; cell < kCells; ++cell)
        balancing[std::size_t(cell)] = phase == 0 && cellMv[std::size_t(cell)] > mean + 5;
}

void SimLiveState::step(SimRandom& random)
{
    ++phaseSteps;
    const int full = std::max(full10mAh, 1);
    const bool phaseOver = (phase == 0 && (phaseSteps >= kChargeSteps || remaining10mAh() >= full))
        || (phase == 2 && (phaseSteps >= kDischargeSteps || soc() <= 5))
        || ((phase == 1 || phase == 3) && phaseSteps >= kRestSteps);
    if (phaseOver) {
        if (phase == 2)
            ++cycles;
        phase = (phase + 1) % 4;
        phaseSteps = 0;
    }

    switch (phase) {
    case 0:
        current10mA = random.between(1500, 2000);
        break;
    case 2:
        current10mA = -random.between(2000, 2500);
        break;
    default:
        current10mA = random.between(-5, 5);
        break;
    }
    remainingMas = std::clamp<std::int64_t>(remainingMas + std::int64_t(current10mA) * 10 * kStepSeconds, 0,
                                            std::int64_t(full) * 36000);

    const int heat = std::abs(current10mA) / 400;
    for (int& temperature : cellTemperatureC)
        temperature = Drift(temperature, 25 + heat, 15, 45, random);
    ambientC = Drift(ambientC, 24, 18, 32, random);
    fetC = Drift(fetC, 27 + heat * 2, 20, 60, random);
    humidity = std::clamp(humidity + random.between(-1, 1), 30, 70);
    settleCells(random);
}

QByteArray MakeHistoryRecord(std::uint8_t packNumber, const QDateTime& time, const SimLiveState& state,
                             std::uint8_t alarmCode)
{
    QByteArray bytes;
    bytes.append(char(packNumber));
    const QDate date = time.date();
    const QTime clock = time.time();
    for (int part : {date.year() - 2000, date.month(), date.day(), clock.hour(), clock.minute(), clock.second()})
        bytes.append(char(part & 0xFF));
    const int mode = state.mode();
    bytes.append(char(mode));
    // The stored current is a magnitude that the mode signs; the host
    // negates it for discharging records.
    AppendWord(bytes, mode == 2 ? -state.current10mA : state.current10mA);
    AppendWord(bytes, state.packVoltage10mV());
    bytes.append(char(state.soc()));
    AppendWord(bytes, state.remaining10mAh());
    bytes.append(char(alarmCode));
    bytes.append(char(SimLiveState::kCellTemperatures + 2));
    for (int temperature : state.cellTemperatureC)
        bytes.append(char(temperature + 40));
    bytes.append(char(state.ambientC + 40));
    bytes.append(char(state.fetC + 40));
    bytes.append(char(state.humidity));
    bytes.append(char(SimLiveState::kCells));
    for (int cell : state.cellMv)
        AppendWord(bytes, cell);
    return bytes;
}
