#pragma once

// The parameter page's tables, shared by its layout and its handlers: the
// captions with their text ids, the selection boxes' parameters and the 42
// switch boxes. Only the page's own sources include this.

#include "services/textoper.h"
#include "views/framepackparameter.h"

#include <QString>

#include <array>
#include <cstdint>

namespace ParameterPage {

// The name column is 290 pixels wide, or as wide as the longest name.
inline constexpr int kNameColumnWidth = 290;

struct Caption {
    std::uint16_t textId;
    const char* text;   // default caption
};
inline constexpr std::array<Caption, 5> kGroupCaptions = {{
    {0x7111, "功能控制"}, {0x7112, "报警控制"}, {0x7113, "保护控制"}, {0x7114, "其它控制"}, {0x711C, "协议类型"}}};
// Label1..5; a zero id keeps the fixed text.
inline constexpr std::array<Caption, 5> kLabelCaptions = {{
    {0, "mV"}, {0x7115, "均衡模式"}, {0x7116, "短路保护"}, {0, "RS485-1"}, {0, "CAN"}}};
inline constexpr Caption kRestoreCaption = {0x7110, "恢复默认参数"};
inline constexpr std::array<Caption, 4> kButtonCaptions = {{
    {0x710C, "读参数"}, {0x710D, "写参数"}, {0x710E, "导入参数"}, {0x710F, "导出参数"}}};
inline constexpr std::array<const char*, 4> kButtonNames = {
    "BtnReadParameter", "BtnWriteParameter", "BtnImpParameter", "BtnExpParameter"};

// The parameters of ComboBoxExt1..4.
inline constexpr std::array<std::uint8_t, TFramePackParameter::kChoiceBoxes> kChoiceIds = {20, 140, 148, 149};
// The protocol boxes show "None" (item 0) for a value they do not list; the
// other two show nothing, and writing keeps the value read from the pack.
inline constexpr int kFirstProtocolBox = 2;

enum class BoxState : std::uint8_t { Shown, Disabled, Hidden };
struct SwitchBox {
    std::uint8_t id;       // the switch parameter the box shows and sets
    std::uint8_t number;   // CheckBoxN
    std::uint8_t group;    // 0..2: GroupBox1..3
    BoxState state;
};
inline constexpr std::array<SwitchBox, TFramePackParameter::kSwitchBoxes> kSwitchTable = {{
    {186, 1, 0, BoxState::Shown},   {180, 2, 0, BoxState::Shown},   {184, 3, 0, BoxState::Shown},
    {182, 4, 0, BoxState::Shown},   {185, 5, 0, BoxState::Shown},   {181, 6, 0, BoxState::Shown},
    {183, 7, 0, BoxState::Shown},   {187, 8, 0, BoxState::Shown},   {188, 23, 0, BoxState::Shown},
    {189, 24, 0, BoxState::Disabled}, {199, 40, 0, BoxState::Hidden}, {198, 41, 0, BoxState::Hidden},
    {197, 42, 0, BoxState::Hidden},
    {203, 9, 1, BoxState::Shown},   {201, 10, 1, BoxState::Shown},  {213, 11, 1, BoxState::Shown},
    {211, 12, 1, BoxState::Shown},  {202, 13, 1, BoxState::Shown},  {200, 14, 1, BoxState::Shown},
    {212, 15, 1, BoxState::Shown},  {210, 16, 1, BoxState::Shown},  {207, 17, 1, BoxState::Shown},
    {209, 18, 1, BoxState::Shown},  {204, 19, 1, BoxState::Shown},  {205, 20, 1, BoxState::Shown},
    {206, 21, 1, BoxState::Shown},  {208, 22, 1, BoxState::Shown},
    {233, 25, 2, BoxState::Shown},  {231, 26, 2, BoxState::Shown},  {243, 27, 2, BoxState::Shown},
    {241, 28, 2, BoxState::Shown},  {232, 29, 2, BoxState::Shown},  {230, 30, 2, BoxState::Shown},
    {242, 31, 2, BoxState::Shown},  {240, 32, 2, BoxState::Shown},  {237, 33, 2, BoxState::Shown},
    {239, 34, 2, BoxState::Shown},  {234, 35, 2, BoxState::Shown},  {235, 36, 2, BoxState::Shown},
    {236, 37, 2, BoxState::Shown},  {238, 38, 2, BoxState::Shown},  {244, 39, 2, BoxState::Shown},
}};

inline QString Text(std::uint16_t id, const char* fallback = nullptr)
{
    return fallback ? TTextOper().GetLanguageText(id, QString::fromUtf8(fallback)) : TTextOper().GetLanguageText(id);
}

} // namespace ParameterPage
