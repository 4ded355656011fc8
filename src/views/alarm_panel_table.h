#pragma once

// Where every status bit of the alarm answer appears on the alarm panel, how
// the panel's groups are made up, and the nine control-test boxes with their
// bits in the function switch word. The meaning, kind, text id and default
// caption of each status bit live in protocol/status_bits.h; this table only
// places them.

#include "protocol/status_bits.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// Check box "CheckBox<checkBox>" shows bit `bit` of status byte `byte`.
struct IndicatorPlace {
    std::uint8_t byte;
    std::uint8_t bit;
    std::uint8_t checkBox;
};

inline constexpr std::array<IndicatorPlace, 69> kIndicatorPlaces = {{
    {1, 0, 12}, {1, 1, 11}, {1, 2, 10}, {1, 3, 9}, {1, 4, 13}, {1, 5, 14}, {1, 6, 71}, {1, 7, 72},
    {2, 0, 24}, {2, 1, 23}, {2, 2, 22}, {2, 3, 21}, {2, 4, 33}, {2, 5, 30}, {2, 6, 45}, {2, 7, 35},
    {3, 0, 47}, {3, 1, 46}, {3, 2, 49}, {3, 3, 48}, {3, 4, 20}, {3, 5, 19}, {3, 6, 15}, {3, 7, 50},
    {4, 0, 26}, {4, 1, 25}, {4, 2, 28}, {4, 3, 27}, {4, 4, 32}, {4, 5, 31}, {4, 6, 34}, {4, 7, 51},
    {5, 0, 36}, {5, 1, 16}, {5, 2, 52}, {5, 3, 53}, {5, 4, 18}, {5, 5, 17}, {5, 6, 3},  {5, 7, 4},
    {6, 0, 2},  {6, 1, 1},  {6, 2, 54}, {6, 3, 7},  {6, 4, 8},  {6, 5, 55}, {6, 6, 63}, {6, 7, 64},
    {7, 0, 56}, {7, 1, 6},  {7, 2, 57}, {7, 3, 58}, {7, 4, 59}, {7, 5, 60}, {7, 6, 61}, {7, 7, 62},
    {14, 0, 65}, {14, 1, 66}, {14, 2, 67}, {14, 3, 68}, {14, 4, 69}, {14, 5, 70}, {14, 6, 43}, {14, 7, 75},
    {15, 0, 76}, {15, 1, 77}, {15, 2, 74}, {15, 3, 73}, {15, 4, 78},
}};

// The short-circuit counter sits right of this check box.
inline constexpr std::uint8_t kShortCircuitCheckBox = 35;
// The GPRS-enabled indicator keeps its place in its group but is not shown.
inline constexpr std::uint8_t kHiddenIndicatorCheckBox = 62;

// A control-test box, the bit of the function switch word it drives, and
// the status bit (byte 1..16, bit) in which the alarm answer reports that
// function's state; stateByte 0: the answer does not report it (sleep).
// cutsOutput: switching it off cuts the pack's output, so it is asked first.
struct SwitchBox {
    std::uint8_t checkBox;
    std::uint16_t textId;
    std::string_view caption;
    std::uint8_t switchBit;
    std::uint8_t stateByte;
    std::uint8_t stateBit;
    bool cutsOutput;
};

inline constexpr std::array<SwitchBox, 9> kSwitchBoxes = {{
    {5, 0x5061, "启用CFET", 6, 6, 1, true},        // "CFET on"
    {29, 0x5062, "启用DFET", 5, 6, 0, true},       // "DFET on"
    {37, 0x5063, "启用加热", 0, 7, 0, false},      // "heating enabled"
    {38, 0x5064, "启用散热", 1, 7, 2, false},      // "cooling enabled"
    {39, 0x5065, "启用LED", 4, 7, 6, false},       // "LED enabled"
    {40, 0x5066, "启用蜂鸣", 3, 7, 4, false},      // "buzzer enabled"
    {41, 0x5067, "启用休眠", 2, 0, 0, false},      // not reported
    {42, 0x5068, "启用充电限流", 7, 6, 5, false},  // "charge current limiting enabled"
    {44, 0x5069, "启用预充", 8, 6, 2, false},      // "precharge"
}};

// One group box of the panel, top to bottom, with its boxes in the order
// they are laid out (row by row, `columns` to a row).
struct PanelGroup {
    std::uint8_t groupBox;
    std::uint16_t textId;
    std::string_view caption;
    int height;           // at the design width of 600 pixels
    int columns;
    std::span<const std::uint8_t> checkBoxes;
};

inline constexpr std::uint8_t kSystemBoxes[] = {1, 2, 3, 4, 6, 7, 8, 54, 58, 60, 63, 64};
inline constexpr std::uint8_t kAlarmBoxes[] = {9, 10, 11, 12, 13, 14, 15, 16, 17, 18,
                                               19, 20, 46, 47, 48, 49, 50, 52, 53, 71};
inline constexpr std::uint8_t kProtectionBoxes[] = {21, 22, 23, 24, 25, 26, 27, 28, 30, 31, 32,
                                                    33, 34, 35, 36, 43, 45, 51, 72, 76, 77};
inline constexpr std::uint8_t kDetectionBoxes[] = {65, 66, 67, 68, 69, 70, 73, 74, 75, 78};
inline constexpr std::uint8_t kControlStateBoxes[] = {55, 56, 57, 59, 61, 62};
inline constexpr std::uint8_t kControlTestBoxes[] = {5, 29, 37, 38, 39, 40, 41, 42, 44};

// The control-test group, hidden unless the main window offers it.
inline constexpr std::uint8_t kControlTestGroupBox = 1;
// Another family's status bytes are listed below this group.
inline constexpr std::uint8_t kControlStateGroupBox = 6;

inline constexpr std::array<PanelGroup, 6> kPanelGroups = {{
    {2, 0x5000, "系统状态", 70, 6, kSystemBoxes},
    {3, 0x5010, "报警状态", 105, 5, kAlarmBoxes},
    {4, 0x5030, "保护状态", 120, 5, kProtectionBoxes},
    {5, 0x50DF, "检测状态", 70, 5, kDetectionBoxes},
    {6, 0x5050, "控制状态", 55, 6, kControlStateBoxes},
    {kControlTestGroupBox, 0x5060, "控制测试", 70, 5, kControlTestBoxes},
}};

// ---- Pure helpers of the panel.

// The place of a check box, or none for the control-test boxes.
std::optional<IndicatorPlace> FindIndicatorPlace(int checkBox);
// The status bit a check box shows (via its place), or nullptr.
const StatusBit* StatusBitOfCheckBox(int checkBox);
const SwitchBox* FindSwitchBox(int checkBox);

// How an indicator looks for one state of its bit: alarms teal when set,
// protections and faults red when set, both black when clear; states only
// tick and keep their font colour (no colour).
struct IndicatorLook {
    bool checked = false;
    std::optional<std::uint32_t> textBgr;
};
IndicatorLook LookOfIndicator(StatusKind kind, bool bitSet);

// The counter beside the short-circuit protection: hidden at 0; otherwise
// the low byte as a count, red when bit 15 is set.
struct ShortCircuitLook {
    bool visible = false;
    QString text;
    std::uint32_t textBgr = 0;
};
ShortCircuitLook LookOfShortCircuit(std::uint16_t word);

// Function switch word from the ticks of the control-test boxes, given in the
// order of kSwitchBoxes; bits 9 to 15 stay 0.
std::uint16_t FunctionSwitchWord(const std::array<bool, kSwitchBoxes.size()>& checked);
// Whether the word in force enables the function of box.
bool IsSwitchOn(std::uint16_t word, const SwitchBox& box);
// The function's state as the alarm record reports it; none for a function
// the record does not report.
std::optional<bool> SwitchStateOfRecord(const RAlarmData& record, const SwitchBox& box);
// The pack's own switch word as its alarm record shows it; the functions it
// does not report keep their bit of otherwise.
std::uint16_t SwitchWordOfRecord(const RAlarmData& record, std::uint16_t otherwise);
// word with only the function of box switched on or off.
std::uint16_t WithSwitch(std::uint16_t word, const SwitchBox& box, bool on);

QString ObjectNameOfCheckBox(int checkBox);
QString ObjectNameOfGroupBox(int groupBox);
