#pragma once

#include "protocol/records.h"

#include <array>
#include <cstdint>
#include <string_view>

// The bits of the sixteen status bytes of the alarm answer that the host
// shows. The alarm panel and the command-line tool walk this table; bits not
// listed (status bytes 8-13 and 16, bits 5-7 of byte 15) are kept in the
// record but not shown.
enum class StatusKind : std::uint8_t {
    Alarm,       // shown in teal
    Protection,  // shown in red
    Fault,       // shown in red
    State,       // a plain check mark
};

struct StatusBit {
    std::uint8_t byte;           // status byte 1..16
    std::uint8_t bit;            // 0 = least significant
    StatusKind kind;
    std::uint16_t textId;        // text of the text service
    std::string_view caption;    // default caption (UTF-8)
    std::string_view name;       // plain English name for logs and the command line
};

inline constexpr std::array<StatusBit, 69> kStatusBits = {{
    {1, 0, StatusKind::Alarm, 0x5017, "单节过压报警", "cell over-voltage alarm"},
    {1, 1, StatusKind::Alarm, 0x5016, "单节欠压报警", "cell under-voltage alarm"},
    {1, 2, StatusKind::Alarm, 0x5012, "总压过压报警", "pack over-voltage alarm"},
    {1, 3, StatusKind::Alarm, 0x5011, "总压欠压报警", "pack under-voltage alarm"},
    {1, 4, StatusKind::Alarm, 0x501A, "充电过流报警", "charge over-current alarm"},
    {1, 5, StatusKind::Alarm, 0x501F, "放电过流报警-1", "discharge over-current alarm"},
    {1, 6, StatusKind::Alarm, 0x50E6, "压差报警", "cell voltage difference alarm"},
    {1, 7, StatusKind::Protection, 0x50E7, "压差保护", "cell voltage difference protection"},
    {2, 0, StatusKind::Protection, 0x5037, "单节过压保护", "cell over-voltage protection"},
    {2, 1, StatusKind::Protection, 0x5036, "单节欠压保护", "cell under-voltage protection"},
    {2, 2, StatusKind::Protection, 0x5032, "总压过压保护", "pack over-voltage protection"},
    {2, 3, StatusKind::Protection, 0x5031, "总压欠压保护", "pack under-voltage protection"},
    {2, 4, StatusKind::Protection, 0x5033, "充电过流保护", "charge over-current protection"},
    {2, 5, StatusKind::Protection, 0x5040, "放电过流保护-1", "discharge over-current protection 1"},
    {2, 6, StatusKind::Protection, 0x5041, "放电过流保护-2", "discharge over-current protection 2"},
    {2, 7, StatusKind::Protection, 0x5034, "短路保护", "short-circuit protection"},
    {3, 0, StatusKind::Alarm, 0x501C, "充电高温告警", "charge high-temperature alarm"},
    {3, 1, StatusKind::Alarm, 0x501B, "充电低温告警", "charge low-temperature alarm"},
    {3, 2, StatusKind::Alarm, 0x5021, "放电高温告警", "discharge high-temperature alarm"},
    {3, 3, StatusKind::Alarm, 0x5020, "放电低温告警", "discharge low-temperature alarm"},
    {3, 4, StatusKind::Alarm, 0x5019, "环境高温报警", "ambient high-temperature alarm"},
    {3, 5, StatusKind::Alarm, 0x5018, "环境低温报警", "ambient low-temperature alarm"},
    {3, 6, StatusKind::Alarm, 0x501E, "MOSFET高温告警", "MOSFET high-temperature alarm"},
    {3, 7, StatusKind::Alarm, 0x501D, "MOSFET低温告警", "MOSFET low-temperature alarm"},
    {4, 0, StatusKind::Protection, 0x503B, "充电高温保护", "charge high-temperature protection"},
    {4, 1, StatusKind::Protection, 0x503A, "充电低温保护", "charge low-temperature protection"},
    {4, 2, StatusKind::Protection, 0x503F, "放电高温保护", "discharge high-temperature protection"},
    {4, 3, StatusKind::Protection, 0x503E, "放电低温保护", "discharge low-temperature protection"},
    {4, 4, StatusKind::Protection, 0x5039, "环境高温保护", "ambient high-temperature protection"},
    {4, 5, StatusKind::Protection, 0x5038, "环境低温保护", "ambient low-temperature protection"},
    {4, 6, StatusKind::Protection, 0x503D, "MOSFET高温保护", "MOSFET high-temperature protection"},
    {4, 7, StatusKind::Protection, 0x503C, "MOSFET低温保护", "MOSFET low-temperature protection"},
    // The pack reports charger reverse connection among its alarms although
    // the caption calls it a protection.
    {5, 0, StatusKind::Alarm, 0x5035, "充电反接保护", "charger reverse-connection protection"},
    {5, 1, StatusKind::Alarm, 0x5015, "SOC低报警", "low SOC alarm"},
    {5, 2, StatusKind::Alarm, 0x5022, "CFET 错误告警", "charge FET fault alarm"},
    {5, 3, StatusKind::Alarm, 0x5023, "DFET 错误告警", "discharge FET fault alarm"},
    {5, 4, StatusKind::Alarm, 0x5014, "电芯温度高告警", "cell temperature high alarm"},
    {5, 5, StatusKind::Alarm, 0x5013, "电芯温度低告警", "cell temperature low alarm"},
    {5, 6, StatusKind::State, 0x5004, "充电", "charging"},
    {5, 7, StatusKind::State, 0x5005, "放电", "discharging"},
    {6, 0, StatusKind::State, 0x5002, "DFET开", "discharge FET on"},
    {6, 1, StatusKind::State, 0x5001, "CFET开", "charge FET on"},
    {6, 2, StatusKind::State, 0x5006, "预充", "precharge"},
    {6, 3, StatusKind::State, 0x500A, "交流接入", "AC input present"},
    {6, 4, StatusKind::State, 0x5003, "满充", "fully charged"},
    {6, 5, StatusKind::State, 0x5051, "启用充电限流", "charge current limiting enabled"},
    {6, 6, StatusKind::State, 0x500B, "限流开启", "current limiting active"},
    {6, 7, StatusKind::State, 0x500C, "自损耗", "self-consumption"},
    {7, 0, StatusKind::State, 0x5053, "启用加热", "heating enabled"},
    {7, 1, StatusKind::State, 0x5007, "加热", "heating on"},
    {7, 2, StatusKind::State, 0x5054, "启用散热", "cooling enabled"},
    {7, 3, StatusKind::State, 0x5008, "散热", "cooling on"},
    {7, 4, StatusKind::State, 0x5055, "启用蜂鸣器", "buzzer enabled"},
    {7, 5, StatusKind::State, 0x5009, "蜂鸣器", "buzzer on"},
    {7, 6, StatusKind::State, 0x5052, "启用LED", "LED enabled"},
    {7, 7, StatusKind::State, 0x5056, "启用GPRS", "GPRS enabled"},
    {14, 0, StatusKind::Fault, 0x50E0, "DFET错误", "discharge FET fault"},
    {14, 1, StatusKind::Fault, 0x50E1, "CFET错误", "charge FET fault"},
    {14, 2, StatusKind::Fault, 0x50E2, "前端芯片错误", "analog front-end chip fault"},
    {14, 3, StatusKind::Fault, 0x50E3, "时钟芯片错误", "clock chip fault"},
    {14, 4, StatusKind::Fault, 0x50E4, "数据存储错误", "data memory fault"},
    {14, 5, StatusKind::Fault, 0x50E5, "参数存储错误", "parameter memory fault"},
    {14, 6, StatusKind::Protection, 0x5042, "高压保护", "high-voltage protection"},
    {14, 7, StatusKind::Fault, 0x50E8, "PDFET错误", "precharge FET fault"},
    {15, 0, StatusKind::Protection, 0x5043, "正极绝缘保护", "positive-pole insulation protection"},
    {15, 1, StatusKind::Protection, 0x5044, "负极绝缘保护", "negative-pole insulation protection"},
    {15, 2, StatusKind::Fault, 0x5045, "电芯故障", "cell fault"},
    {15, 3, StatusKind::Fault, 0x5046, "温度故障", "temperature fault"},
    {15, 4, StatusKind::Fault, 0x5047, "振动传感器故障", "vibration sensor fault"},
}};

// Whether the record has the bit set. Bytes outside 1..16 read as clear.
inline bool IsStatusBitSet(const RAlarmData& record, const StatusBit& bit)
{
    if (bit.byte < 1 || bit.byte > kStatusBytes || bit.bit > 7)
        return false;
    return ((record.status[bit.byte - 1] >> bit.bit) & 1) != 0;
}

// The table row of a status byte and bit, or nullptr when the bit is not shown.
constexpr const StatusBit* FindStatusBit(int byte, int bit)
{
    for (const StatusBit& row : kStatusBits)
        if (row.byte == byte && row.bit == bit)
            return &row;
    return nullptr;
}
