#include "views/alarm_panel_table.h"

#include "views/overview_layout.h"

std::optional<IndicatorPlace> FindIndicatorPlace(int checkBox)
{
    for (const IndicatorPlace& place : kIndicatorPlaces)
        if (place.checkBox == checkBox)
            return place;
    return std::nullopt;
}

const StatusBit* StatusBitOfCheckBox(int checkBox)
{
    const auto place = FindIndicatorPlace(checkBox);
    return place ? FindStatusBit(place->byte, place->bit) : nullptr;
}

const SwitchBox* FindSwitchBox(int checkBox)
{
    for (const SwitchBox& box : kSwitchBoxes)
        if (box.checkBox == checkBox)
            return &box;
    return nullptr;
}

IndicatorLook LookOfIndicator(StatusKind kind, bool bitSet)
{
    IndicatorLook look;
    look.checked = bitSet;
    switch (kind) {
    case StatusKind::Alarm:
        look.textBgr = bitSet ? kBgrTeal : kBgrBlack;
        break;
    case StatusKind::Protection:
    case StatusKind::Fault:
        look.textBgr = bitSet ? kBgrRed : kBgrBlack;
        break;
    case StatusKind::State:
        break;
    }
    return look;
}

ShortCircuitLook LookOfShortCircuit(std::uint16_t word)
{
    ShortCircuitLook look;
    look.visible = word != 0;
    if (look.visible) {
        look.text = QString::number(word & 0xFF);
        look.textBgr = (word & 0x8000) != 0 ? kBgrRed : kBgrBlack;
    }
    return look;
}

std::uint16_t FunctionSwitchWord(const std::array<bool, kSwitchBoxes.size()>& checked)
{
    std::uint16_t word = 0;
    for (std::size_t i = 0; i < kSwitchBoxes.size(); ++i)
        if (checked[i])
            word = static_cast<std::uint16_t>(word | (1u << kSwitchBoxes[i].switchBit));
    return word;
}

bool IsSwitchOn(std::uint16_t word, const SwitchBox& box)
{
    // Bit 8 (precharge) is bit 0 of the word's high byte.
    return ((word >> box.switchBit) & 1u) != 0;
}

std::optional<bool> SwitchStateOfRecord(const RAlarmData& record, const SwitchBox& box)
{
    if (box.stateByte < 1 || box.stateByte > record.status.size())
        return std::nullopt;
    return ((record.status[box.stateByte - 1u] >> box.stateBit) & 1u) != 0;
}

std::uint16_t SwitchWordOfRecord(const RAlarmData& record, std::uint16_t otherwise)
{
    std::uint16_t word = otherwise;
    for (const SwitchBox& box : kSwitchBoxes)
        if (const std::optional<bool> on = SwitchStateOfRecord(record, box))
            word = WithSwitch(word, box, *on);
    return word;
}

std::uint16_t WithSwitch(std::uint16_t word, const SwitchBox& box, bool on)
{
    const auto bit = static_cast<std::uint16_t>(1u << box.switchBit);
    return static_cast<std::uint16_t>(on ? word | bit : word & ~bit);
}

QString ObjectNameOfCheckBox(int checkBox)
{
    return QStringLiteral("CheckBox%1").arg(checkBox);
}

QString ObjectNameOfGroupBox(int groupBox)
{
    return QStringLiteral("GroupBox%1").arg(groupBox);
}
