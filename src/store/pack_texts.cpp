// Text helpers of the views: the alarm and protection summaries of the
// real-time log, limit-state marks, the sensor list and cell extremes.
#include "store/devinfo.h"

#include "protocol/decimal.h"
#include "protocol/decoders.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace {

// One status bit (status byte numbered 1-16, bit 0 = least significant)
// and the caption shown for it.
struct StatusBitText {
    std::uint8_t statusByte;
    std::uint8_t bit;
    std::uint16_t textId;
};

// The order is that of the log's columns, not of the bits.
constexpr std::array<StatusBitText, 20> kAlarmTexts = {{
    {1, 3, 0x5011}, {1, 2, 0x5012}, {5, 5, 0x5013}, {5, 4, 0x5014}, {5, 1, 0x5015},
    {1, 1, 0x5016}, {1, 0, 0x5017}, {3, 5, 0x5018}, {3, 4, 0x5019}, {1, 4, 0x501A},
    {3, 1, 0x501B}, {3, 0, 0x501C}, {3, 7, 0x501D}, {3, 6, 0x501E}, {1, 5, 0x501F},
    {3, 3, 0x5020}, {3, 2, 0x5021}, {5, 2, 0x5022}, {5, 3, 0x5023}, {1, 6, 0x50E6},
}};

constexpr std::array<StatusBitText, 19> kProtectionTexts = {{
    {2, 3, 0x5031}, {2, 2, 0x5032}, {2, 4, 0x5033}, {2, 7, 0x5034}, {5, 0, 0x5035},
    {2, 1, 0x5036}, {2, 0, 0x5037}, {4, 5, 0x5038}, {4, 4, 0x5039}, {4, 1, 0x503A},
    {4, 0, 0x503B}, {4, 7, 0x503C}, {4, 6, 0x503D}, {4, 3, 0x503E}, {4, 2, 0x503F},
    {2, 5, 0x5040}, {2, 6, 0x5041}, {14, 6, 0x5042}, {1, 7, 0x50E7},
}};

template <std::size_t N>
QString JoinSetBits(const std::array<StatusBitText, N>& table, const RAlarmData& record, const TTextOper& texts)
{
    QStringList parts;
    for (const StatusBitText& entry : table) {
        const std::uint8_t value = record.status[std::size_t(entry.statusByte - 1)];
        if (TDevOper::GetBit(value, entry.bit))
            parts.append(texts.GetLanguageText(entry.textId));
    }
    return parts.join(QStringLiteral(" / "));
}

RAnalogData WithCells(const std::array<std::uint16_t, kMaxCells>& cells)
{
    RAnalogData record;
    record.cellVoltages = cells;
    return record;
}

constexpr std::uint16_t kAmbientTextId = 0x600A;
constexpr int kAmbientSensorValue = 5;
constexpr int kFetSensorValue = 6;

} // namespace

QString TDevInfo::AlarmText(const RAlarmData& record) const
{
    return JoinSetBits(kAlarmTexts, record, m_textOper);
}

QString TDevInfo::ProtectionText(const RAlarmData& record) const
{
    return JoinSetBits(kProtectionTexts, record, m_textOper);
}

QString TDevInfo::AlarmText(const RAlarmData& record, const TTextOper& texts)
{
    return JoinSetBits(kAlarmTexts, record, texts);
}

QString TDevInfo::ProtectionText(const RAlarmData& record, const TTextOper& texts)
{
    return JoinSetBits(kProtectionTexts, record, texts);
}

QString TDevInfo::StatusMark(std::uint8_t state)
{
    return ::StatusMark(state);
}

CellExtreme TDevInfo::MaxCellVoltage(const std::array<std::uint16_t, kMaxCells>& cells)
{
    return ::MaxCellVoltage(WithCells(cells));
}

CellExtreme TDevInfo::MinCellVoltage(const std::array<std::uint16_t, kMaxCells>& cells)
{
    return ::MinCellVoltage(WithCells(cells));
}

void TDevInfo::FillSensorList(IComboList& combo, int count) const
{
    // Values 5 and 6 name the ambient and FET sensors, so the cell sensors
    // stop at 4 whatever the caller asks for.
    const int cells = std::clamp(count, 0, kMaxCellTemperatures);
    combo.clearItems();
    for (int k = 1; k <= cells; ++k)
        combo.addItem(Decimal::fromInt(k).format(u"00"), QString::number(k));
    combo.addItem(m_textOper.GetLanguageText(kAmbientTextId), QString::number(kAmbientSensorValue));
    combo.addItem(QStringLiteral("FET"), QString::number(kFetSensorValue));
    combo.selectIndex(0);
}
