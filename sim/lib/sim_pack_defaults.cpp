#include "sim_pack.h"

#include <array>

namespace {

// One field of the factory parameter block: offset, width in bytes and the
// value as it travels (temperatures already carry their +40 offset; pack
// voltages are halved, currents and delays divided by ten).
struct DefaultField {
    int offset;
    int width;
    int wire;
};

constexpr int T(int celsius) { return celsius + 40; }

constexpr std::array<DefaultField, 107> kDefaultFields = {{
    {0, 1, 1},          // RS485 address (replaced by the pack number)
    {1, 1, 16},         // battery node number
    {2, 2, 50},         // current limiting start-up, 5.0
    {4, 2, 100},        // sampling resistance, 1.00
    {6, 2, 10},         // self depletion
    {8, 1, 1},          // balance mode
    {9, 1, T(50)},      // balancing forbidden above
    {10, 1, T(0)},      // balancing forbidden below
    {11, 2, 3400},      // balance starting voltage, mV
    {13, 2, 30},        // balance starting difference, mV
    {15, 2, 20},        // balance difference, mV
    {17, 2, 3600},      // cell high voltage alarm, mV
    {19, 2, 3550},      //   and its recovery
    {21, 2, 2900},      // cell low voltage alarm, mV
    {23, 2, 3000},      //   and its recovery
    {25, 2, 28800},     // pack high voltage alarm, 57600 mV
    {27, 2, 28000},
    {29, 2, 23200},     // pack low voltage alarm, 46400 mV
    {31, 2, 24000},
    {33, 1, T(55)},     // battery high temperature alarm
    {34, 1, T(0)},
    {35, 1, T(50)},
    {36, 1, T(47)},
    {37, 1, T(60)},
    {38, 1, T(55)},
    {39, 1, T(2)},
    {40, 1, T(5)},
    {41, 1, T(-10)},
    {42, 1, T(-5)},
    {43, 1, T(60)},     // environment alarms
    {44, 1, T(-20)},
    {45, 1, T(90)},     // power (FET) alarms
    {46, 1, T(-20)},
    {47, 2, 10000},     // discharge current alarm
    {49, 2, 9500},
    {51, 2, 5500},      // charging current alarm
    {53, 2, 5000},
    {55, 2, 300},       // cell difference alarm, mV
    {57, 2, 250},
    {59, 2, 500},       // cell difference protection, mV
    {61, 2, 3650},      // cell over-voltage protection, mV
    {63, 2, 100},       //   delay, 1000 ms
    {65, 2, 3400},      //   recovery
    {67, 2, 2700},      // cell under-voltage protection, mV
    {69, 2, 100},
    {71, 2, 2900},
    {73, 2, 2500},      // cell shutdown voltage
    {75, 2, 60},        // cell shutdown time
    {77, 2, 29200},     // pack over-voltage protection, 58400 mV
    {79, 2, 100},
    {81, 2, 27200},
    {83, 2, 21600},     // pack under-voltage protection, 43200 mV
    {85, 2, 100},
    {87, 2, 23200},
    {89, 1, T(60)},     // charging high temperature protection and recovery
    {90, 1, T(55)},
    {91, 1, T(0)},      // low temperature protection and recovery
    {92, 1, T(5)},
    {93, 1, T(65)},     // discharge high temperature
    {94, 1, T(60)},
    {95, 1, T(-20)},    // discharge low temperature
    {96, 1, T(-15)},
    {97, 1, T(65)},     // environment
    {98, 1, T(60)},
    {99, 1, T(-30)},
    {100, 1, T(-25)},
    {101, 1, T(100)},   // power (FET)
    {102, 1, T(85)},
    {103, 1, T(-30)},
    {104, 1, T(-25)},
    {105, 2, 6000},     // charging over-current protection
    {107, 2, 6500},
    {109, 2, 100},
    {111, 2, 300},
    {113, 2, 5},
    {115, 2, 600},
    {117, 2, 11000},    // discharge over-current protection 1
    {119, 2, 12000},
    {121, 2, 100},
    {123, 2, 300},
    {125, 2, 5},
    {127, 2, 600},
    {129, 2, 15000},    // discharge over-current protection 2
    {131, 2, 10},
    {133, 2, 300},
    {135, 2, 5},
    {137, 2, 600},
    {139, 1, 1},        // short-circuit protection: level 1 of the list, 200
    {140, 2, 500},      // precharge time
    {142, 2, 300},      // short-circuit delay
    {144, 2, 60},
    {146, 2, 3},
    {148, 2, 600},
    {150, 1, T(50)},    // heat sink start and end
    {151, 1, T(45)},
    {152, 1, T(0)},     // heating start and end
    {153, 1, T(10)},
    {154, 2, 24},       // auto shutdown
    {156, 2, 0},        // auto wake-up
    {158, 1, 0},        // RS485 protocol type
    {159, 1, 0},        // CAN protocol type
    {160, 1, 0xF8},     // buzzer, LED, DFET, CFET, charge current limit
    {161, 1, 0x05},     // precharge, capacity learning
    {162, 1, 0x3F},     // every alarm and protection enabled
    {163, 1, 0xFF},
    {164, 1, 0x7F},
    {165, 1, 0xFF},
}};

} // namespace

QByteArray SimPack::DefaultParameterBlock(std::uint8_t packNumber)
{
    QByteArray block(kParameterBlockBytes, '\0');
    for (const DefaultField& field : kDefaultFields) {
        if (field.width == 2)
            block[field.offset] = char((field.wire >> 8) & 0xFF);
        block[field.offset + field.width - 1] = char(field.wire & 0xFF);
    }
    block[0] = char(packNumber);
    return block;
}
