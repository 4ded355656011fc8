#include "views/family_view.h"

#include "protocol/result_codes.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/devinfo.h"

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

constexpr std::uint16_t kAmbientId = 0x600A;

QString RoleText(TemperatureRole role, int cellSensor, const TTextOper& texts)
{
    switch (role) {
    case TemperatureRole::Board: return texts.GetLanguageText(TextId::kBoardTemperature);
    case TemperatureRole::Mosfet: return texts.GetLanguageText(TextId::kMosfetTemperature);
    case TemperatureRole::Ambient: return texts.GetLanguageText(kAmbientId);
    case TemperatureRole::CellSensor: break;
    }
    return texts.GetLanguageText(TextId::kCellSensor).arg(cellSensor);
}

} // namespace

std::vector<RNamedTemperature> NamedTemperatures(const RAnalogData& analog, const RAlarmData& alarm,
                                                 const TTextOper& texts)
{
    const RFamilyAnalog& extra = analog.extra;
    const int count = std::min<int>(extra.temperatureCount, kMaxFamilyTemperatures);
    // The states belong to this pack only when the alarm record is of its
    // family too and counts the same sensors.
    const bool statesFit = alarm.family == analog.family && alarm.extra.temperatureCount == extra.temperatureCount;
    std::vector<RNamedTemperature> named;
    int cellSensor = 0;
    for (int k = 0; k < count; ++k) {
        const TemperatureRole role = extra.temperatureRoles[std::size_t(k)];
        if (role == TemperatureRole::CellSensor)
            ++cellSensor;
        named.push_back({RoleText(role, cellSensor, texts), extra.temperatures[std::size_t(k)], role,
                         statesFit ? alarm.extra.temperatureStates[std::size_t(k)] : std::uint8_t(0)});
    }
    return named;
}

std::optional<Decimal> FamilyTemperature(const RAnalogData& analog, TemperatureRole role)
{
    const RFamilyAnalog& extra = analog.extra;
    for (int k = 0; k < std::min<int>(extra.temperatureCount, kMaxFamilyTemperatures); ++k)
        if (extra.temperatureRoles[std::size_t(k)] == role)
            return extra.temperatures[std::size_t(k)];
    return std::nullopt;
}

std::optional<Decimal> FamilyCellSensor(const RAnalogData& analog, int k)
{
    const RFamilyAnalog& extra = analog.extra;
    int seen = 0;
    for (int t = 0; t < std::min<int>(extra.temperatureCount, kMaxFamilyTemperatures); ++t) {
        if (extra.temperatureRoles[std::size_t(t)] != TemperatureRole::CellSensor)
            continue;
        if (seen++ == k)
            return extra.temperatures[std::size_t(t)];
    }
    return std::nullopt;
}

QString PercentText(const std::optional<Decimal>& percent)
{
    // Whole percent as our packs send it reads as before ("98"); a pack
    // that sends tenths keeps them ("98.5").
    return percent ? percent->toString() : QString();
}

QString FamilyLine(PackFamily family, const TTextOper& texts)
{
    if (!IsForeign(family))
        return {};
    return texts.GetLanguageText(TextId::kFamilyCaption) + QStringLiteral(": ") + FamilyName(family);
}

QString FamilyStateText(const RPackFamilyState& state, const TTextOper& texts)
{
    const RFamilyFit& fit = state.misfit;
    const auto hex = [](std::uint8_t value) {
        return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(2, QLatin1Char('0'));
    };
    // P is -1 when the answer ended before it.
    const QString count = fit.userDefinedCount >= 0 ? QString::number(fit.userDefinedCount) : QStringLiteral("-");
    switch (state.problem) {
    case RPackFamilyState::Problem::NoFit:
        return texts.GetLanguageText(TextId::kScanNoFit).arg(hex(fit.version), hex(fit.cid1), count);
    case RPackFamilyState::Problem::TwoFamilies:
        return texts.GetLanguageText(TextId::kScanTwoFamilies).arg(FamilyName(fit.family), FamilyName(state.second));
    case RPackFamilyState::Problem::PinnedMisfit:
        return texts.GetLanguageText(TextId::kScanPinnedMisfit)
            .arg(FamilyName(state.family), hex(fit.version), hex(fit.cid1), count);
    case RPackFamilyState::Problem::None: break;
    }
    return state.family == PackFamily::Unknown ? QString() : FamilyName(state.family);
}

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

QString FamilyStatusSummary(const RAlarmData& alarm, const TTextOper& texts)
{
    QStringList lines;
    for (const RFamilyStatusLine& line : FamilyStatusLines(alarm, texts))
        lines << line.name + QStringLiteral(": 0x")
                     + QString::number(line.value, 16).toUpper().rightJustified(2, QLatin1Char('0'));
    return lines.join(QLatin1Char('\n'));
}

QString FamilyRefusalText(std::uint8_t pack, PackFamily family, const TTextOper& texts)
{
    return texts.GetLanguageText(TextId::kForeignFamilyRefused).arg(pack).arg(FamilyName(family));
}

bool IsFamilyRefusal(std::uint8_t result)
{
    return result == ResultCode::kForeignFamily || result == ResultCode::kFamilyUnknown
        || result == ResultCode::kFamilyMismatch;
}

std::optional<QString> ForeignPackRefusal(TDevInfo& store, std::uint8_t address, std::uint8_t pack)
{
    const RPackFamilyState state = store.DevOper().FamilyState(address);
    const std::uint8_t named = pack != 0 ? pack : address;
    const TTextOper texts;
    if (state.problem == RPackFamilyState::Problem::PinnedMisfit)
        return FamilyRefusalText(named, state.family, texts) + QLatin1Char('\n')
             + texts.GetErrorText(ResultCode::kFamilyMismatch);
    if (IsForeign(state.family))
        return FamilyRefusalText(named, state.family, texts);
    return std::nullopt;
}

QString CommandResultText(TDevInfo& store, std::uint8_t address, std::uint8_t pack, std::uint8_t result)
{
    const TTextOper texts;
    if (!IsFamilyRefusal(result))
        return texts.GetErrorText(result);
    const RPackFamilyState state = store.DevOper().FamilyState(address);
    QString text = FamilyRefusalText(pack != 0 ? pack : address, state.family, texts);
    // A family found tells all; otherwise the reason follows.
    if (result != ResultCode::kForeignFamily || !IsForeign(state.family))
        text += QLatin1Char('\n') + texts.GetErrorText(result);
    return text;
}

RForeignScreen ScreenForeignPacks(TDevInfo& store, const std::vector<std::uint8_t>& packs)
{
    RForeignScreen screen;
    for (std::uint8_t pack : packs) {
        if (const std::optional<QString> refusal = ForeignPackRefusal(store, pack, pack))
            screen.refusals << *refusal;
        else
            screen.packs.push_back(pack);
    }
    return screen;
}
