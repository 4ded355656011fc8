#pragma once

#include <QByteArray>
#include <QDateTime>

#include <array>
#include <cstdint>
#include <random>

// Deterministic pseudo-random numbers. The engine's output is fixed by the
// standard but the library distributions are not, so ranges are taken by
// modulo: the same seed gives the same pack on every platform.
class SimRandom {
public:
    explicit SimRandom(std::uint32_t seed) : m_engine(seed) {}
    int between(int low, int high)
    {
        return low + int(m_engine() % std::uint32_t(high - low + 1));
    }

private:
    std::mt19937 m_engine;
};

// The measurements of one simulated pack. Every analog read moves them one
// step (about half a minute of pack life): the pack charges, rests,
// discharges and rests again, and cells, temperatures and capacity follow.
struct SimLiveState {
    static constexpr int kCells = 16;
    static constexpr int kCellTemperatures = 4;
    static constexpr int kStepSeconds = 30;

    std::array<int, kCells> cellMv{};
    std::array<int, kCells> cellOffsetMv{};    // fixed spread between the cells
    std::array<bool, kCells> balancing{};
    std::array<int, kCellTemperatures> cellTemperatureC{};
    int ambientC = 24;
    int fetC = 27;
    int current10mA = 0;                       // positive while charging
    std::int64_t remainingMas = 0;             // mA·s, finer than the wire's 10 mAh
    int design10mAh = 10000;
    int full10mAh = 9800;
    int cycles = 0;
    int soh = 98;
    int humidity = 45;
    int phase = 0;                             // 0 charge, 1 rest, 2 discharge, 3 rest
    int phaseSteps = 0;

    void initialise(SimRandom& random);
    void step(SimRandom& random);

    int remaining10mAh() const { return int(remainingMas / 36000); }
    void setRemaining10mAh(int value) { remainingMas = std::int64_t(value) * 36000; }
    int soc() const;
    int packVoltage10mV() const;
    int meanCellMv() const;
    int mode() const { return current10mA > 50 ? 1 : (current10mA < -50 ? 2 : 0); }

private:
    void settleCells(SimRandom& random);
};

// The INFO bytes of one stored record from offset 2 on (pack number, time,
// mode, current, voltage, SOC, capacity, alarm code, temperatures,
// humidity, cell voltages).
QByteArray MakeHistoryRecord(std::uint8_t packNumber, const QDateTime& time, const SimLiveState& state,
                             std::uint8_t alarmCode);
