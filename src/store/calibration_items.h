#pragma once

#include "store/config_checks.h"

#include <array>
#include <cstdint>
#include <string_view>

// What a pack can be calibrated on: the kind and item codes that the
// calibration commands carry, and the unit of the two values. The window's
// rows and bmstool's "calibration" both walk this one table.
enum class CalibrationUnit : std::uint8_t { Millivolt, Milliampere, Celsius };

struct RCalibrationItem {
    std::uint8_t kind;
    std::uint8_t item;
    CalibrationUnit unit;
    std::string_view name;   // as bmstool names it, without the unit
};

inline constexpr std::array<RCalibrationItem, 11> kCalibrationItems = {{
    {1, 11, CalibrationUnit::Millivolt, "voltage reference"},
    {1, 12, CalibrationUnit::Millivolt, "pack voltage"},
    {2, 22, CalibrationUnit::Milliampere, "charging current"},
    {2, 21, CalibrationUnit::Milliampere, "zero-point current"},
    {2, 23, CalibrationUnit::Milliampere, "discharging current"},
    {kTemperatureCalibrationKind, 1, CalibrationUnit::Celsius, "temperature sensor 1"},
    {kTemperatureCalibrationKind, 2, CalibrationUnit::Celsius, "temperature sensor 2"},
    {kTemperatureCalibrationKind, 3, CalibrationUnit::Celsius, "temperature sensor 3"},
    {kTemperatureCalibrationKind, 4, CalibrationUnit::Celsius, "temperature sensor 4"},
    {kTemperatureCalibrationKind, 5, CalibrationUnit::Celsius, "ambient temperature"},
    {kTemperatureCalibrationKind, 6, CalibrationUnit::Celsius, "FET temperature"},
}};

// The row of the kind and item; nullptr when the pack has no such item.
constexpr const RCalibrationItem* FindCalibrationItem(std::uint8_t kind, std::uint8_t item)
{
    for (const RCalibrationItem& row : kCalibrationItems)
        if (row.kind == kind && row.item == item)
            return &row;
    return nullptr;
}
