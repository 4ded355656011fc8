#include "services/family_texts.h"

#include "services/text_ids.h"
#include "services/textoper.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace {

// Each status byte name of the family table with its text and the number
// the text carries (empty: none).
struct StatusNameText {
    std::string_view name;
    std::uint16_t textId;
    const char* number;
};
constexpr std::array<StatusNameText, 43> kStatusNameTexts = {{
    {"status_1", TextId::kStatusByte, "1"},
    {"status_2", TextId::kStatusByte, "2"},
    {"status_3", TextId::kStatusByte, "3"},
    {"cell_faults_1_8", TextId::kCellFaults, "1-8"},
    {"cell_faults_9_16", TextId::kCellFaults, "9-16"},
    {"alarm_event_1", TextId::kAlarmEvent, "1"},
    {"alarm_event_2", TextId::kAlarmEvent, "2"},
    {"alarm_event_3", TextId::kAlarmEvent, "3"},
    {"alarm_event_4", TextId::kAlarmEvent, "4"},
    {"alarm_event_5", TextId::kAlarmEvent, "5"},
    {"alarm_event_6", TextId::kAlarmEvent, "6"},
    {"alarm_event_7", TextId::kAlarmEvent, "7"},
    {"alarm_event_8", TextId::kAlarmEvent, "8"},
    {"switch_state", TextId::kSwitchState, ""},
    {"balancing_1", TextId::kBalancingByte, "1"},
    {"balancing_2", TextId::kBalancingByte, "2"},
    {"system_state", TextId::kSystemState, ""},
    {"disconnection_1", TextId::kDisconnection, "1"},
    {"disconnection_2", TextId::kDisconnection, "2"},
    {"reserved_1", TextId::kReservedByte, "1"},
    {"reserved_2", TextId::kReservedByte, "2"},
    {"reserved_3", TextId::kReservedByte, "3"},
    {"reserved_4", TextId::kReservedByte, "4"},
    {"reserved_5", TextId::kReservedByte, "5"},
    {"reserved_6", TextId::kReservedByte, "6"},
    {"balancing_event", TextId::kBalancingEvent, ""},
    {"voltage_event", TextId::kVoltageEvent, ""},
    {"temperature_event_1", TextId::kTemperatureEvent, "1"},
    {"temperature_event_2", TextId::kTemperatureEvent, "2"},
    {"current_event", TextId::kCurrentEvent, ""},
    {"remaining_capacity_alarm", TextId::kRemainingCapacityAlarm, ""},
    {"fet_state", TextId::kFetState, ""},
    {"balancing_state_1", TextId::kBalancingState, "1"},
    {"balancing_state_2", TextId::kBalancingState, "2"},
    {"balancing_state_3", TextId::kBalancingState, "3"},
    {"balancing_state_4", TextId::kBalancingState, "4"},
    {"protection_1", TextId::kProtectionByte, "1"},
    {"protection_2", TextId::kProtectionByte, "2"},
    {"instruction", TextId::kInstructionByte, ""},
    {"control", TextId::kControlByte, ""},
    {"fault", TextId::kFaultByte, ""},
    {"warning_1", TextId::kWarningByte, "1"},
    {"warning_2", TextId::kWarningByte, "2"},
}};

} // namespace

QString FamilyStatusText(std::string_view name, const TTextOper& texts)
{
    for (const StatusNameText& entry : kStatusNameTexts) {
        if (entry.name != name)
            continue;
        QString text = texts.GetLanguageText(entry.textId);
        if (*entry.number != '\0')
            text = text.arg(QLatin1String(entry.number));
        return text;
    }
    return QString::fromUtf8(name.data(), qsizetype(name.size()));
}

std::vector<RFamilyStatusLine> FamilyStatusLines(const RAlarmData& alarm, const TTextOper& texts)
{
    std::vector<RFamilyStatusLine> lines;
    if (!IsForeign(alarm.family))
        return lines;
    const auto names = FamilyStatusNames(alarm.family);
    const int count = std::min<int>({alarm.extra.statusCount, kMaxFamilyStatusBytes, int(names.size())});
    for (int k = 0; k < count; ++k) {
        const std::uint8_t value = alarm.extra.status[std::size_t(k)];
        if (value != 0)
            lines.push_back({FamilyStatusText(names[std::size_t(k)], texts), value});
    }
    return lines;
}

QString FamilyStatusSummary(const RAlarmData& alarm, const TTextOper& texts, const QString& separator)
{
    QStringList lines;
    for (const RFamilyStatusLine& line : FamilyStatusLines(alarm, texts))
        lines << line.name + QStringLiteral(": 0x")
                     + QString::number(line.value, 16).toUpper().rightJustified(2, QLatin1Char('0'));
    return lines.join(separator);
}

