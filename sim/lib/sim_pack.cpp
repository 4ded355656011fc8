#include "sim_pack.h"

#include "protocol/command_catalogue.h"
#include "protocol/frame.h"
#include "sim_info.h"

#include <algorithm>
#include <cstdlib>

using namespace siminfo;

namespace {

// Reads of the parameter block the live answers compare against.
int BlockWord(const QByteArray& block, int offset)
{
    return Word(block, offset);
}

constexpr std::uint8_t kStateNormal = 0;
constexpr std::uint8_t kStateLow = 1;
constexpr std::uint8_t kStateHigh = 2;

std::uint8_t LimitState(int value, int low, int high)
{
    if (value > high)
        return kStateHigh;
    if (value < low)
        return kStateLow;
    return kStateNormal;
}

} // namespace

const std::array<SimPack::HandlerRow, 29> SimPack::kHandlers = {{
    {CommandOf(CommandId::ReadAnalogData).cid2, 1, &SimPack::readAnalogData},
    {CommandOf(CommandId::ReadAlarmData).cid2, 1, &SimPack::readAlarmData},
    {CommandOf(CommandId::ReadParameters).cid2, 1, &SimPack::readParameters},
    {CommandOf(CommandId::WriteParameters).cid2, kParameterBlockBytes + 1, &SimPack::writeParameters},
    {CommandOf(CommandId::ReadWorkDataRecord).cid2, 2, &SimPack::readWorkDataRecord},
    {CommandOf(CommandId::ReadAlarmRecord).cid2, 2, &SimPack::readAlarmRecord},
    {CommandOf(CommandId::ReadDateTime).cid2, 0, &SimPack::readDateTime},
    {CommandOf(CommandId::WriteDateTime).cid2, 7, &SimPack::writeDateTime},
    {CommandOf(CommandId::ReadDeviceInfo).cid2, 0, &SimPack::readDeviceInfo},
    {CommandOf(CommandId::ReadPackQuantity).cid2, 0, &SimPack::readPackQuantity},
    {CommandOf(CommandId::WriteRecordTime).cid2, 7, &SimPack::writeRecordTime},
    {CommandOf(CommandId::WriteFunctionSwitches).cid2, 3, &SimPack::writeFunctionSwitches},
    {CommandOf(CommandId::DeleteAlarmRecords).cid2, 1, &SimPack::deleteAlarmRecords},
    {CommandOf(CommandId::DeleteWorkData).cid2, 1, &SimPack::deleteWorkData},
    {CommandOf(CommandId::ReadCapacity).cid2, 1, &SimPack::readCapacity},
    {CommandOf(CommandId::WriteCapacity).cid2, 7, &SimPack::writeCapacity},
    {CommandOf(CommandId::WriteCycleTime).cid2, 3, &SimPack::writeCycleTime},
    {CommandOf(CommandId::WritePackQuantity).cid2, 2, &SimPack::writePackQuantity},
    {CommandOf(CommandId::ReadBarCode).cid2, 1, &SimPack::readBarCode},
    {CommandOf(CommandId::WriteBarCode).cid2, 1 + kBarCodeBytes, &SimPack::writeBarCode},
    {CommandOf(CommandId::ReadDischargeAccumulating).cid2, 1, &SimPack::readDischargeAccumulating},
    {CommandOf(CommandId::WriteDischargeAccumulating).cid2, 9, &SimPack::writeDischargeAccumulating},
    {CommandOf(CommandId::ReadCalibration).cid2, 3, &SimPack::readCalibration},
    {CommandOf(CommandId::WriteCalibration).cid2, 12, &SimPack::writeCalibration},
    {CommandOf(CommandId::EnterSleep).cid2, 1, &SimPack::enterSleep},
    {CommandOf(CommandId::ReadProductInfo).cid2, 1, &SimPack::readProductInfo},
    {CommandOf(CommandId::WriteProductInfo).cid2, 1 + kProductTexts * kProductTextBytes, &SimPack::writeProductInfo},
    {CommandOf(CommandId::ReadLocationInfo).cid2, 1, &SimPack::readLocationInfo},
    {CommandOf(CommandId::AccessBatteryShield).cid2, 6, &SimPack::accessBatteryShield},
}};

SimPack::SimPack(std::uint8_t number, int packsOnBus, int recordsPerLog, std::uint32_t seed)
    : m_number(number), m_random(seed * 7919u + number), m_packQuantity(std::uint8_t(packsOnBus)),
      m_parameters(DefaultParameterBlock(number))
{
    m_live.initialise(m_random);
    m_barCode = QStringLiteral("SIM48V100AH%1").arg(number, 4, 10, QLatin1Char('0')).toLatin1();
    const QList<QByteArray> texts = {
        "Simulated Energy Co.",
        QDate(2024, 3, 1).addDays(number).toString(Qt::ISODate).toLatin1(),
        "SIM-BMS-16S",
        "V5.34",
        "LiFePO4 51.2V 100Ah",
        QStringLiteral("SN%1").arg(20240000 + number).toLatin1(),
        "simulated pack",
    };
    for (const QByteArray& text : texts) {
        QByteArray field = text.left(kProductTextBytes);
        field.append(QByteArray(kProductTextBytes - field.size(), ' '));
        m_productInfo.append(field);
    }
    fillLogs(recordsPerLog);
}

SimPack::Answer SimPack::handle(std::uint8_t cid2, const QByteArray& info)
{
    for (const HandlerRow& row : kHandlers) {
        if (row.cid2 != cid2)
            continue;
        if (info.size() < row.minimumInfo)
            return ResultOnly(SimRtn::kFormatError);
        return (this->*row.handler)(info);
    }
    return ResultOnly(SimRtn::kUnknownCommand);
}

QDateTime SimPack::clock() const
{
    return QDateTime::currentDateTime().addSecs(m_clockOffsetSeconds);
}

void SimPack::fillLogs(int recordsPerLog)
{
    // The records are snapshots of a copy of the pack run backwards in time
    // from now: work data every interval, alarms every few hours.
    SimLiveState history = m_live;
    const QDateTime now = clock();
    m_workData = RecordLog{};
    m_alarmRecords = RecordLog{};
    for (int i = recordsPerLog; i > 0; --i) {
        for (int step = 0; step < 4; ++step)
            history.step(m_random);
        m_workData.records.append(MakeHistoryRecord(m_number, now.addSecs(-qint64(i) * m_recordIntervalSeconds),
                                                    history, 0));
        const auto alarmCode = std::uint8_t(m_random.between(1, 48));
        m_alarmRecords.records.append(MakeHistoryRecord(m_number, now.addSecs(-qint64(i) * 3 * 3600 - 17 * i),
                                                        history, alarmCode));
    }
}

// ---------------------------------------------------------------- live data

SimPack::Answer SimPack::readAnalogData(const QByteArray&)
{
    m_live.step(m_random);
    InfoWriter out;
    out.byte(m_number).byte(SimLiveState::kCells);
    for (int cell = 0; cell < SimLiveState::kCells; ++cell) {
        // A shielded cell is left out of measuring and reads 0.
        const bool shielded = (m_shieldMask >> cell) & 1u;
        out.word(shielded ? 0 : m_live.cellMv[std::size_t(cell)]);
    }
    // Cell temperatures, then ambient and FET: all words of °C + 40.
    out.byte(SimLiveState::kCellTemperatures + 2);
    for (int temperature : m_live.cellTemperatureC)
        out.word(temperature + 40);
    out.word(m_live.ambientC + 40).word(m_live.fetC + 40);
    out.word(m_live.current10mA).word(m_live.packVoltage10mV()).word(m_live.remaining10mAh());
    // Odd packs use the short layout (P = 5); even packs carry one more
    // byte before the humidity (P = 6), as later firmware does.
    const bool longLayout = m_number % 2 == 0;
    out.byte(longLayout ? 6 : 5);
    out.word(m_live.full10mAh).word(m_live.cycles).byte(m_live.soc()).byte(m_live.soh);
    int balancing = 0;
    for (int cell = 0; cell < SimLiveState::kCells; ++cell)
        if (m_live.balancing[std::size_t(cell)])
            balancing |= 1 << cell;
    // The first byte carries cells 9-16, the second cells 1-8.
    out.byte(balancing >> 8).byte(balancing & 0xFF);
    if (longLayout)
        out.byte(0);
    out.byte(m_live.humidity);
    return out.answer();
}

SimPack::Answer SimPack::readAlarmData(const QByteArray&)
{
    const int cellHigh = BlockWord(m_parameters, 17);
    const int cellLow = BlockWord(m_parameters, 21);
    const int packHigh = BlockWord(m_parameters, 25) * 2;
    const int packLow = BlockWord(m_parameters, 29) * 2;
    const int temperatureHigh = std::uint8_t(m_parameters[33]) - 40;
    const int temperatureLow = std::uint8_t(m_parameters[34]) - 40;

    InfoWriter out;
    out.byte(m_number).byte(SimLiveState::kCells);
    bool cellOver = false;
    bool cellUnder = false;
    for (int cell = 0; cell < SimLiveState::kCells; ++cell) {
        const bool shielded = (m_shieldMask >> cell) & 1u;
        const std::uint8_t state = shielded ? 0xF0 : LimitState(m_live.cellMv[std::size_t(cell)], cellLow, cellHigh);
        cellOver = cellOver || state == kStateHigh;
        cellUnder = cellUnder || state == kStateLow;
        out.byte(state);
    }
    out.byte(SimLiveState::kCellTemperatures);
    for (int temperature : m_live.cellTemperatureC)
        out.byte(LimitState(temperature, temperatureLow, temperatureHigh));
    const int packMv = m_live.packVoltage10mV() * 10;
    const std::uint8_t voltageState = LimitState(packMv, packLow, packHigh);
    out.byte(kStateNormal).byte(voltageState);
    out.word(0).byte(0);   // short-circuit word, unused byte

    std::array<std::uint8_t, 16> status{};
    status[0] = std::uint8_t((cellOver ? 0x01 : 0) | (cellUnder ? 0x02 : 0) | (voltageState == kStateHigh ? 0x04 : 0)
                             | (voltageState == kStateLow ? 0x08 : 0));
    const int mode = m_live.mode();
    status[4] = std::uint8_t((mode == 1 ? 0x40 : 0) | (mode == 2 ? 0x80 : 0));
    const int switches = m_functionSwitches;
    status[5] = std::uint8_t(((switches >> 5) & 1) | (((switches >> 6) & 1) << 1) | (m_live.soc() >= 100 ? 0x10 : 0)
                             | (((switches >> 7) & 1) << 5));
    status[6] = std::uint8_t((switches & 0x01) | (((switches >> 1) & 1) << 2) | (((switches >> 3) & 1) << 4)
                             | (((switches >> 4) & 1) << 6));
    for (std::uint8_t value : status)
        out.byte(value);
    return out.answer();
}

// ---------------------------------------------------------------- parameters

SimPack::Answer SimPack::readParameters(const QByteArray&)
{
    return {SimRtn::kSuccess, frame::HexPairs(m_parameters)};
}

SimPack::Answer SimPack::writeParameters(const QByteArray& info)
{
    // The byte after the block asks for the factory values instead.
    if (Byte(info, kParameterBlockBytes) == 1)
        m_parameters = DefaultParameterBlock(m_number);
    else
        m_parameters = info.first(kParameterBlockBytes);
    return ResultOnly();
}
