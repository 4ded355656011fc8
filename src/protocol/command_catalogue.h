#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// The 29 pack commands: code, wait time and the shortest unpacked answer a
// command needs before it reads its outputs (0: no such check).
enum class CommandId : std::uint8_t {
    ReadAnalogData,
    ReadAlarmData,
    ReadParameters,
    WriteParameters,
    ReadWorkDataRecord,
    ReadAlarmRecord,
    ReadDateTime,
    WriteDateTime,
    ReadDeviceInfo,
    ReadPackQuantity,
    WriteRecordTime,
    WriteFunctionSwitches,
    DeleteAlarmRecords,
    DeleteWorkData,
    ReadCapacity,
    WriteCapacity,
    WriteCycleTime,
    WritePackQuantity,
    ReadBarCode,
    WriteBarCode,
    ReadDischargeAccumulating,
    WriteDischargeAccumulating,
    ReadCalibration,
    WriteCalibration,
    EnterSleep,
    ReadProductInfo,
    WriteProductInfo,
    ReadLocationInfo,
    AccessBatteryShield,
};

struct CommandInfo {
    CommandId id;
    std::string_view name;
    std::uint8_t cid2;
    int waitMs;
    int minimumAnswerBytes;  // unpacked answer count the outputs need; 0 = none
};

inline constexpr std::array<CommandInfo, 29> kCommandCatalogue = {{
    {CommandId::ReadAnalogData, "ReadAnalogData", 0x42, 300, 0},
    {CommandId::ReadAlarmData, "ReadAlarmData", 0x44, 300, 0},
    {CommandId::ReadParameters, "ReadParameters", 0x47, 1000, 0},
    {CommandId::WriteParameters, "WriteParameters", 0x49, 2000, 0},
    {CommandId::ReadWorkDataRecord, "ReadWorkDataRecord", 0x4B, 100, 0},
    {CommandId::ReadAlarmRecord, "ReadAlarmRecord", 0x4C, 100, 0},
    {CommandId::ReadDateTime, "ReadDateTime", 0x4D, 200, 0},
    {CommandId::WriteDateTime, "WriteDateTime", 0x4E, 1000, 0},
    {CommandId::ReadDeviceInfo, "ReadDeviceInfo", 0x51, 200, 41},
    {CommandId::ReadPackQuantity, "ReadPackQuantity", 0x90, 1000, 0},
    {CommandId::WriteRecordTime, "WriteRecordTime", 0xE1, 1000, 0},
    {CommandId::WriteFunctionSwitches, "WriteFunctionSwitches", 0xE2, 1000, 0},
    {CommandId::DeleteAlarmRecords, "DeleteAlarmRecords", 0xE3, 5000, 0},
    {CommandId::DeleteWorkData, "DeleteWorkData", 0xE4, 5000, 0},
    {CommandId::ReadCapacity, "ReadCapacity", 0xE5, 500, 0},
    {CommandId::WriteCapacity, "WriteCapacity", 0xE6, 1500, 0},
    {CommandId::WriteCycleTime, "WriteCycleTime", 0xE7, 1000, 0},
    {CommandId::WritePackQuantity, "WritePackQuantity", 0xE8, 1000, 0},
    {CommandId::ReadBarCode, "ReadBarCode", 0xE9, 200, 41},
    {CommandId::WriteBarCode, "WriteBarCode", 0xEA, 1000, 0},
    {CommandId::ReadDischargeAccumulating, "ReadDischargeAccumulating", 0xEB, 500, 0},
    {CommandId::WriteDischargeAccumulating, "WriteDischargeAccumulating", 0xEC, 1000, 0},
    {CommandId::ReadCalibration, "ReadCalibration", 0xED, 1000, 0},
    {CommandId::WriteCalibration, "WriteCalibration", 0xEE, 1000, 0},
    {CommandId::EnterSleep, "EnterSleep", 0xEF, 1000, 0},
    {CommandId::ReadProductInfo, "ReadProductInfo", 0xF1, 1000, 221},
    {CommandId::WriteProductInfo, "WriteProductInfo", 0xF2, 1000, 0},
    {CommandId::ReadLocationInfo, "ReadLocationInfo", 0xF3, 1000, 0},
    {CommandId::AccessBatteryShield, "AccessBatteryShield", 0xF7, 1000, 16},
}};

constexpr const CommandInfo& CommandOf(CommandId id)
{
    return kCommandCatalogue[static_cast<std::size_t>(id)];
}

// The catalogue row of a CID2, or nullptr.
constexpr const CommandInfo* CommandOfCid2(std::uint8_t cid2)
{
    for (const CommandInfo& info : kCommandCatalogue)
        if (info.cid2 == cid2)
            return &info;
    return nullptr;
}
