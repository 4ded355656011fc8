#include "views/family_view.h"

#include "protocol/result_codes.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/devinfo.h"

#include <algorithm>

namespace {

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
