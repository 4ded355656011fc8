#include "params/parameter_info.h"

#include <cstddef>

namespace {

constexpr std::uint8_t kInt = TParameterInfo::KindInteger;
constexpr std::uint8_t kDec = TParameterInfo::KindDecimal;
constexpr std::uint8_t kSw = TParameterInfo::KindSwitch;

// One catalogue row. Names are kept exactly as the packs' documentation
// spells them, trailing and doubled spaces included: parameter files and
// the grid show them verbatim.
struct CatalogueRow {
    std::uint8_t id;
    const char* chinese;
    const char* english;
    std::uint8_t kind;
    std::uint8_t unitCode;
    std::uint8_t decimals;
    std::uint8_t listGroup;
    bool showRange = false;
    int minValue = 0;
    int maxValue = 0;
};

// Id, Chinese name, English name, kind, unit code, decimals, list group[, range].
constexpr CatalogueRow kCatalogue[] = {
    {0, "", "", kInt, 0, 0, 0},
    {1, "RS485地址", "RS485 address", kInt, 0, 0, 1, true, 0, 16},
    {11, "电池节数", "Battery node number", kInt, 0, 0, 1, true, 1, 16},
    {12, "电池自损耗", "Battery self depletion", kInt, 6, 0, 1},
    {13, "采样电阻", "Sampling resistance", kDec, 10, 2, 1},
    {15, "限流启动", "Current Limiting Startup", kDec, 3, 1, 1},
    {20, "均衡模式", "Balance mode", kInt, 0, 0, 0},
    {21, "均衡高温禁止", "Balanced high temperature prohibition", kDec, 7, 0, 1},
    {22, "均衡低温禁止", "Balanced low temperature prohibition", kDec, 7, 0, 1},
    {23, "均衡启动电压", "Balance starting voltage", kInt, 2, 0, 2},
    {24, "均衡启动压差", "Balance starting pressure difference", kInt, 2, 0, 2},
    {25, "均衡禁止压差", "Balance pressure difference", kInt, 2, 0, 2},
    {30, "单节高压报警", "Cell high voltage alarm", kInt, 2, 0, 2},
    {32, "单节低压报警", "Cell low voltage alarm ", kInt, 2, 0, 2},
    {35, "总电压高压报警", "Pack voltage high voltage alarm", kInt, 2, 0, 3},
    {37, "总电压低压报警", "Pack voltage low voltage alarm", kInt, 2, 0, 3},
    {40, "电池高温报警", "Battery high temperature alarm", kDec, 7, 0, 1},
    {41, "电池低温报警", "Battery low temperature alarm", kDec, 7, 0, 1},
    {42, "电池充电高温报警", "Battery charging high temperature alarm", kDec, 7, 0, 1},
    {44, "电池放电高温报警", "Battery discharge high temperature alarm", kDec, 7, 0, 1},
    {46, "电池充电低温报警", "Battery charging low temperature alarm", kDec, 7, 0, 1},
    {48, "电池放电低温报警", "Battery discharge low temperature alarm", kDec, 7, 0, 1},
    {51, "环境高温报警", "Environment high temperature alarm", kDec, 7, 0, 1},
    {52, "环境低温报警", "Environment low temperature alarm", kDec, 7, 0, 1},
    {53, "功率高温报警", "Power high temperature alarm", kDec, 7, 0, 1},
    {54, "功率低温报警", "Power low temperature alarm", kDec, 7, 0, 1},
    {55, "放电电流报警", "Discharge current alarm", kInt, 4, 0, 3},
    {57, "充电电流报警", "Charging current alarm ", kInt, 4, 0, 3},
    {60, "压差报警", "Voltage difference alarm", kInt, 2, 0, 2},
    {62, "压差保护", "Voltage difference protection", kInt, 2, 0, 2},
    {70, "单节过压保护", "Cell over voltage protection", kInt, 2, 0, 2},
    {71, "单节过压延时", "Cell over voltage delay", kInt, 15, 0, 2},
    {72, "单节过压恢复", "Cell over voltage recovery", kInt, 2, 0, 2},
    {73, "单节欠压保护", "Cell under voltage protection", kInt, 2, 0, 2},
    {74, "单节欠压延时", "Cell under voltage delay", kInt, 15, 0, 2},
    {75, "单节欠压恢复", "Cell under pressure recovery", kInt, 2, 0, 2},
    {76, "单体关机电压", "Cell Shutdown voltage", kInt, 2, 0, 2},
    {77, "单体关机时间", "Cell Shutdown time", kInt, 13, 0, 2},
    {80, "总过压保护", "Pack over voltage protection", kInt, 2, 0, 3},
    {81, "总过压延时", "Pack overvoltage delay", kInt, 15, 0, 2},
    {82, "总过压恢复", "Pack over voltage recovery", kInt, 2, 0, 3},
    {83, "总欠压保护", "Pack under voltage protection", kInt, 2, 0, 3},
    {84, "总欠压延时", "Pack under pressure delay", kInt, 15, 0, 2},
    {85, "总欠压恢复", "Pack under pressure recovery", kInt, 2, 0, 3},
    {91, "充电高温保护", "Charging high temperature protection", kDec, 7, 0, 1},
    {92, "充电高温恢复", "Charging high temperature recovery", kDec, 7, 0, 1},
    {93, "充电低温保护", "Low temperature protection", kDec, 7, 0, 1},
    {94, "充电低温恢复", "Low temperature recovery", kDec, 7, 0, 1},
    {95, "放电高温保护", "Discharge high temperature protection", kDec, 7, 0, 1},
    {96, "放电高温恢复", "Discharge high temperature recovery", kDec, 7, 0, 1},
    {97, "放电低温保护", "Discharge low temperature protection", kDec, 7, 0, 1},
    {98, "放电低温恢复", "Discharge low temperature recovery", kDec, 7, 0, 1},
    {99, "环境高温保护", "Environment high temperature protection", kDec, 7, 0, 1},
    {100, "环境高温恢复", "Environmental high temperature recovery", kDec, 7, 0, 1},
    {101, "环境低温保护", "Environment low temperature protection", kDec, 7, 0, 1},
    {102, "环境低温恢复", "Environment low temperature recovery", kDec, 7, 0, 1},
    {103, "功率高温保护", "Power high temperature protection", kDec, 7, 0, 1},
    {104, "功率高温恢复", "Power high temperature recovery", kDec, 7, 0, 1},
    {105, "功率低温保护", "Power low temperature protection", kDec, 7, 0, 1},
    {106, "功率低温恢复", "Power low temperature recovery", kDec, 7, 0, 1},
    {110, "充电过流保护", "Charging over current protection", kInt, 4, 0, 3},
    {111, "充电过流保护恢复", "Charge over current protection", kInt, 4, 0, 3},
    {112, "充电过流保护延时", "Charge over current protection delay", kInt, 15, 0, 2},
    {113, "充电过流恢复延时", "Charge over current recovery delay", kInt, 15, 0, 2},
    {114, "充电过流自动锁定次数", "Number of charging over current automatic locking", kInt, 0, 0, 1},
    {115, "充电过流有效锁定时间", "Effective lock time of charging over current", kInt, 15, 0, 2},
    {120, "放电过流保护-1", "Discharge over current protection 1", kInt, 4, 0, 3},
    {121, "放电过流保护恢复-1", "Discharge over current protection 1", kInt, 4, 0, 3},
    {122, "放电过流保护延时-1", "Discharge over current protection delay 1", kInt, 15, 0, 2},
    {123, "放电过流恢复延时-1", "Discharge over current recovery delay 1", kInt, 15, 0, 2},
    {124, "放电过流自动锁定次数-1", "number of automatic Discharge over-current 1", kInt, 0, 0, 2},
    {125, "放电过流有效锁定时间-1", "Effective lock time of Discharging over current 1", kInt, 15, 0, 2},
    {130, "放电过流保护-2", "Discharge over current protection 2", kInt, 4, 0, 3},
    {132, "放电过流保护延时-2", "Discharge overcurrent protection delay 2", kInt, 15, 0, 2},
    {133, "放电过流恢复延时-2", "Discharge over current recovery delay 2", kInt, 15, 0, 2},
    {134, "放电过流自动锁定次数-2", "number of automatic Discharge over-current 2", kInt, 0, 0, 2},
    {135, "放电过流有效锁定时间-2", "Effective lock time of Discharging over current 2", kInt, 15, 0, 2},
    {140, "短路保护", "Short circuit protection", kInt, 0, 0, 0},
    {141, "预充时间", "Precharge time", kInt, 14, 0, 2},
    {142, "短路保护延时", "Short circuit protection delay", kInt, 16, 0, 2},
    {143, "短路恢复延时", "Short circuit recovery time delay", kInt, 14, 0, 2},
    {144, "短路自动锁定次数", "Short circuit Auto lock times", kInt, 0, 0, 2},
    {145, "短路有效锁定时间", "Short circuit effective lock time ", kInt, 14, 0, 2},
    {148, "RS485协议类型", "RS485 Protocol type", kInt, 0, 0, 0},
    {149, "CAN协议类型", "CAN Protocol type", kInt, 0, 0, 0},
    {150, "散热开始温度", "Start temperature of heat sink", kDec, 7, 0, 1},
    {151, "散热结束温度", "End temperature of heat sink", kDec, 7, 0, 1},
    {152, "加热开始温度", "Heating start temperature", kDec, 7, 0, 1},
    {153, "加热结束温度", "Heating End temperature", kDec, 7, 0, 1},
    {160, "自动关机", "Auto Shutdown", kInt, 13, 0, 2},
    {161, "自动唤醒", "Auto wake-up", kInt, 13, 0, 2},
    {180, "启用加热", "Enable heating", kSw, 0, 0, 0},
    {181, "启用散热", "Enable  Radiating", kSw, 0, 0, 0},
    {182, "启用关机", "Enable Shutdown", kSw, 0, 0, 0},
    {183, "启用蜂鸣", "Enable Buzzer", kSw, 0, 0, 0},
    {184, "启用LED", " Enable Led", kSw, 0, 0, 0},
    {185, "启用DFET", "Enable DFET", kSw, 0, 0, 0},
    {186, "启用CFET", "Enable CFET", kSw, 0, 0, 0},
    {187, "启用充电限流", "Enable Charge limited current", kSw, 0, 0, 0},
    {188, "启用预充", "Enable Pre Charge", kSw, 0, 0, 0},
    {189, "启用防盗", "Enable Security", kSw, 0, 0, 0},
    {197, "启用容量校准", "Enable capacity calibrate", kSw, 0, 0, 0},
    {198, "启用浮充", "Enable Float charge", kSw, 0, 0, 0},
    {199, "启用容量学习", "Enable capacity learn", kSw, 0, 0, 0},
    {200, "单体过压", "Enable Cell-OV", kSw, 0, 0, 0},
    {201, "单体欠压", "Enable Cell-UV", kSw, 0, 0, 0},
    {202, "总压过压", "Enable Pack-OV", kSw, 0, 0, 0},
    {203, "总压欠压", "Enable Pack-UV", kSw, 0, 0, 0},
    {204, "放电过流-1", "Enable Dsg-OC 1", kSw, 0, 0, 0},
    {205, "充电过流", "Enable Chg-OC", kSw, 0, 0, 0},
    {206, "充电高温", "Enable Chg-OT", kSw, 0, 0, 0},
    {207, "充电低温", "Enable Chg-UT", kSw, 0, 0, 0},
    {208, "放电高温", "Enable Dsg-OT", kSw, 0, 0, 0},
    {209, "放电低温", "Enable Dsg-UT", kSw, 0, 0, 0},
    {210, "环境高温", "Enable Env-OT", kSw, 0, 0, 0},
    {211, "环境低温", "Enable Env-UT", kSw, 0, 0, 0},
    {212, "FET高温", "Enable FET-OT", kSw, 0, 0, 0},
    {213, "FET低温", "Enable FET-UT", kSw, 0, 0, 0},
    {230, "单体过压", "Enable Cell-OVP", kSw, 0, 0, 0},
    {231, "单体欠压", "Enable Cell-UVP", kSw, 0, 0, 0},
    {232, "总压过压", "Enable Pack-OVP", kSw, 0, 0, 0},
    {233, "总压欠压", "Enable Pack-UVP", kSw, 0, 0, 0},
    {234, "放电过流-1", "Enable Dsg-OCP 1", kSw, 0, 0, 0},
    {235, "充电过流", "Enable Chg-OCP", kSw, 0, 0, 0},
    {236, "充电高温", "Enable Chg-OTP", kSw, 0, 0, 0},
    {237, "充电低温", "Enable Chg-UTP", kSw, 0, 0, 0},
    {238, "放电高温", "Enable Dsg-OTP", kSw, 0, 0, 0},
    {239, "放电低温", "Enable Dsg-UTP", kSw, 0, 0, 0},
    {240, "环境高温", "Enable Env-OTP", kSw, 0, 0, 0},
    {241, "环境低温", "Enable Env-UTP", kSw, 0, 0, 0},
    {242, "FET高温", "Enable FET-OTP", kSw, 0, 0, 0},
    {243, "FET低温", "Enable FET-UTP", kSw, 0, 0, 0},
    {244, "放电过流-2", "Enable Dsg-OCP 2", kSw, 0, 0, 0},
};
static_assert(std::size(kCatalogue) == kCatalogueEntries);

constexpr RParameterChoice kBalanceModes[] = {
    {0, "", 0x0110}, {1, "", 0x0111}, {2, "", 0x0112}, {3, "", 0x0113},
};

constexpr RParameterChoice kShortCircuitLevels[] = {
    {0, "100", 0}, {1, "200", 0}, {2, "300", 0}, {3, "400", 0}, {4, "500", 0},
    {5, "600", 0}, {6, "700", 0}, {7, "800", 0}, {8, "900", 0}, {9, "", 0x7117},
};

// The protocol lists have gaps: numbers the packs do not implement have no item.
constexpr RParameterChoice kRs485Protocols[] = {
    {0, "None", 0},      {1, "TORV", 0},           {2, "Darfon", 0},      {3, "Growatt", 0},
    {4, "SOLAX", 0},     {5, "LTW", 0},            {6, "SZPC", 0},        {7, "SRNE", 0},
    {8, "Pylontech", 0}, {9, "VoltronicPower", 0}, {11, "SOLAR", 0},      {12, "EasunPower", 0},
    {13, "FelicitySolar", 0}, {17, "Deye", 0},     {27, "QNModbus", 0},
};

constexpr RParameterChoice kCanProtocols[] = {
    {0, "None", 0},         {1, "TORV", 0},         {2, "GOODWE", 0},     {3, "Growatt", 0},
    {4, "SOLAX", 0},        {5, "SOFAR", 0},        {6, "LUXPower", 0},   {7, "PV1800F", 0},
    {8, "LTW", 0},          {9, "Victron", 0},      {10, "Pylontech", 0}, {11, "SOROTEC", 0},
    {12, "SOLARFAM", 0},    {13, "Megarevo", 0},    {14, "GrowattSPH1", 0}, {18, "Deye", 0},
    {19, "TBBPower", 0},    {28, "Casnovo250k", 0}, {29, "Afore", 0},     {30, "Slenergy", 0},
    {31, "GrowattWit", 0},
};

struct ChoiceList {
    std::uint8_t id;
    std::span<const RParameterChoice> items;
};

constexpr ChoiceList kChoiceLists[] = {
    {20, kBalanceModes},
    {140, kShortCircuitLevels},
    {148, kRs485Protocols},
    {149, kCanProtocols},
};

const RParameterKind& EmptyEntry()
{
    static const RParameterKind empty;
    return empty;
}

const RParameterKind& FindEntry(std::uint8_t id, const RParameter& set)
{
    for (const RParameterKind& entry : set.Entries)
        if (entry.Id == id)
            return entry;
    return EmptyEntry();
}

bool IsPosition(int position)
{
    return position >= 0 && position < kParameterPositions;
}

} // namespace

TParameterInfo::TParameterInfo()
{
    InitCatalogue();
}

void TParameterInfo::InitCatalogue()
{
    m_catalogue.fill(RParameterKind{});
    for (const CatalogueRow& row : kCatalogue) {
        RParameterKind& entry = m_catalogue[row.id];
        entry.Id = row.id;
        entry.Names = {QString::fromUtf8(row.chinese), QString::fromUtf8(row.english)};
        entry.Used = 1;
        entry.UnitCode = row.unitCode;
        entry.Kind = row.kind;
        entry.ListGroup = row.listGroup;
        entry.Decimals = row.decimals;
        entry.ShowRange = row.showRange ? 1 : 0;
        entry.MinValue = Decimal::fromInt(row.minValue);
        entry.MaxValue = Decimal::fromInt(row.maxValue);
    }
}

const RParameterKind& TParameterInfo::CatalogueEntry(int position) const
{
    return IsPosition(position) ? m_catalogue[position] : EmptyEntry();
}

RParameter TParameterInfo::NewParameterSet(std::uint8_t packNumber)
{
    InitCatalogue();
    RParameter set;
    set.PackNumber = packNumber;
    set.Entries = m_catalogue;
    return set;
}

RParameterKind TParameterInfo::FindParameter(std::uint8_t id, const RParameter& set)
{
    return FindEntry(id, set);
}

QString TParameterInfo::GetParameterName(std::uint8_t id, std::uint8_t language, const RParameter& set)
{
    if (language > 1)
        return {};
    return FindEntry(id, set).Names[language];
}

std::int64_t TParameterInfo::GetParameterInt(std::uint8_t id, const RParameter& set)
{
    // Written with the pattern "0" and read back: the mask rounds half away
    // from zero, so does this.
    return FindEntry(id, set).Value.roundedHalfAway();
}

Decimal TParameterInfo::GetParameterValue(std::uint8_t id, const RParameter& set)
{
    return FindEntry(id, set).Value;
}

bool TParameterInfo::GetParameterFlag(std::uint8_t id, const RParameter& set)
{
    return FindEntry(id, set).Value > Decimal();
}

bool TParameterInfo::CheckParameterRange(const RParameterKind& entry)
{
    return entry.Used == 0 || (entry.MinValue <= entry.Value && entry.Value <= entry.MaxValue);
}

void TParameterInfo::SetParameterInt(int position, std::int64_t value, RParameter& set)
{
    if (IsPosition(position))
        set.Entries[position].Value = Decimal::fromInt(value);
}

void TParameterInfo::SetParameterValue(int position, RParameter& set, Decimal value)
{
    if (IsPosition(position))
        set.Entries[position].Value = value;
}

void TParameterInfo::SetParameterFlag(int position, bool flag, RParameter& set)
{
    SetParameterInt(position, flag ? 1 : 0, set);
}

QString TParameterInfo::FormatParameterValue(std::uint8_t kind, std::uint8_t decimals, Decimal value)
{
    static constexpr const char16_t* kMasks[] = {u"0", u"0.0", u"0.00", u"0.000"};
    if (kind == KindInteger)
        return value.format(kMasks[0]);
    if (kind == KindDecimal && decimals < std::size(kMasks))
        return value.format(kMasks[decimals]);
    return {};
}

std::span<const RParameterChoice> TParameterInfo::ParameterChoices(std::uint8_t id)
{
    for (const ChoiceList& list : kChoiceLists)
        if (list.id == id)
            return list.items;
    return {};
}

std::optional<RParameterKind> TParameterInfo::FirstOutOfRange(const RParameter& set)
{
    for (const RParameterKind& entry : set.Entries)
        if (entry.Used == 1 && entry.ShowRange == 1 && !CheckParameterRange(entry))
            return entry;
    return std::nullopt;
}
