// The command façade: every pack command under its own name. The three
// polled reads also file their answers; they build their outputs locally,
// run the exchange without the store lock and store under it afterwards.
#include "store/devinfo.h"

namespace {

std::array<RAnalogData, kMaxPacks> BlankAnalogRecords()
{
    std::array<RAnalogData, kMaxPacks> records;
    for (int i = 0; i < kMaxPacks; ++i)
        records[std::size_t(i)] = InitAnalogData(static_cast<std::uint8_t>(i + 1));
    return records;
}

// Each family's 0x42 probe gets the reply window our 0x42 gets.
int DetectionWindowMs(std::uint8_t address)
{
    return TDevOper::ReplyWindowMs(address, CommandOf(CommandId::ReadAnalogData).waitMs);
}

} // namespace

bool TDevInfo::FamilyUnsettled(std::uint8_t address) const
{
    const RPackFamilyState state = m_devOper.FamilyState(address);
    return state.family == PackFamily::Unknown && !state.pinned;
}

bool TDevInfo::DetectionDue(std::uint8_t address)
{
    const auto now = m_detectionClock ? m_detectionClock() : std::chrono::steady_clock::now();
    QMutexLocker locker(&m_lock);
    std::optional<std::chrono::steady_clock::time_point>& last = m_detectedAt[address];
    if (last && now - *last < kRedetectAfter)
        return false;
    last = now;
    return true;
}

bool TDevInfo::DetectForeignFamily(std::uint8_t address)
{
    return IsForeign(m_devOper.DetectFamily(address, DetectionWindowMs(address)).family);
}

std::uint8_t TDevInfo::ReadAnalogData(std::uint8_t address, std::uint8_t packNumber, std::uint8_t& echoedPack)
{
    std::array<RAnalogData, kMaxPacks> records = BlankAnalogRecords();
    std::uint8_t result = m_devOper.ReadAnalogData(address, packNumber, echoedPack, records);
    // Our 0x42 did not confirm ours: the pack may be another maker's. Once
    // its family is known the same read goes out in that family's form.
    const bool sent = packNumber >= 1 && packNumber <= kMaxPacks;
    if (sent && FamilyUnsettled(address) && DetectionDue(address) && DetectForeignFamily(address)) {
        records = BlankAnalogRecords();
        result = m_devOper.ReadAnalogData(address, packNumber, echoedPack, records);
    }
    // Decoded in our layout although the answer did not fit it: never shown.
    if (result == ResultCode::kSuccess && FamilyUnsettled(address))
        result = ResultCode::kFamilyUnknown;
    // A failed read keeps the last good reading on show.
    if (result == ResultCode::kSuccess && packNumber >= 1 && packNumber <= kMaxPacks)
        StoreAnalogData(records[std::size_t(packNumber - 1)]);
    return result;
}

std::uint8_t TDevInfo::ReadAlarmData(std::uint8_t address, std::uint8_t packNumber)
{
    // Only a 0x42 answer tells a family: an address not known yet is asked
    // that first (our form, then every family's), and its alarm states are
    // read in the form found.
    if (packNumber >= 1 && packNumber <= kMaxPacks && FamilyUnsettled(address) && DetectionDue(address)) {
        std::array<RAnalogData, kMaxPacks> scratch = BlankAnalogRecords();
        std::uint8_t echoed = 0;
        m_devOper.ReadAnalogData(address, packNumber, echoed, scratch);
        if (FamilyUnsettled(address))
            DetectForeignFamily(address);
    }
    std::array<RAlarmData, kMaxPacks> records;
    for (int i = 0; i < kMaxPacks; ++i)
        records[std::size_t(i)] = InitAlarmData(static_cast<std::uint8_t>(i + 1));
    std::uint8_t result = m_devOper.ReadAlarmData(address, packNumber, records);
    if (result == ResultCode::kSuccess && FamilyUnsettled(address)) {
        result = ResultCode::kFamilyUnknown;
        if (packNumber >= 1 && packNumber <= kMaxPacks)
            records[std::size_t(packNumber - 1)] = InitAlarmData(packNumber);
    }
    // Stored whatever the result: after a failure no stale alarm stays lit.
    if (packNumber >= 1 && packNumber <= kMaxPacks)
        StoreAlarmData(records[std::size_t(packNumber - 1)], result == 0);
    return result;
}

std::uint8_t TDevInfo::ReadLocationInfo(std::uint8_t address, std::uint8_t packNumber)
{
    std::array<RLocationData, kMaxPacks> records;
    for (int i = 0; i < kMaxPacks; ++i)
        records[std::size_t(i)] = InitLocationData(static_cast<std::uint8_t>(i + 1));
    const std::uint8_t result = m_devOper.ReadLocationInfo(address, packNumber, records);
    if (packNumber >= 1 && packNumber <= kMaxPacks)
        StoreLocationData(records[std::size_t(packNumber - 1)]);
    return result;
}

std::uint8_t TDevInfo::ReadParameters(std::uint8_t address, std::uint8_t packNumber, RParameter& set)
{
    return ::ReadParameters(m_devOper, address, packNumber, set);
}

RParameterWriteResult TDevInfo::WriteParameters(std::uint8_t address, std::uint8_t packNumber,
                                                const RParameter& set, bool restoreDefaults)
{
    return ::WriteParameters(m_devOper, address, packNumber, set, restoreDefaults);
}

std::uint8_t TDevInfo::ReadWorkDataRecord(std::uint8_t address, std::uint8_t packNumber, std::uint8_t subCommand,
                                          std::uint8_t& firstStatus, std::uint8_t& secondStatus, RHistoryRecord& record)
{
    return ::ReadWorkDataRecord(m_devOper, address, packNumber, subCommand, firstStatus, secondStatus, record);
}

std::uint8_t TDevInfo::ReadAlarmRecord(std::uint8_t address, std::uint8_t packNumber, std::uint8_t subCommand,
                                       std::uint8_t& firstStatus, std::uint8_t& secondStatus, RHistoryRecord& record)
{
    return ::ReadAlarmRecord(m_devOper, address, packNumber, subCommand, firstStatus, secondStatus, record);
}

std::uint8_t TDevInfo::ReadDateTime(std::uint8_t address, RDeviceTime& time)
{
    return m_devOper.ReadDateTime(address, time);
}

std::uint8_t TDevInfo::WriteDateTime(std::uint8_t address, const RDeviceTime& time)
{
    return m_devOper.WriteDateTime(address, time);
}

std::uint8_t TDevInfo::ReadDeviceInfo(std::uint8_t address, std::uint16_t& softwareVersion, QString& deviceName,
                                      QString& manufacturer, std::uint16_t& number1, std::uint8_t& number2)
{
    return m_devOper.ReadDeviceInfo(address, softwareVersion, deviceName, manufacturer, number1, number2);
}

std::uint8_t TDevInfo::ReadPackQuantity(std::uint8_t address, std::uint8_t& packs)
{
    return m_devOper.ReadPackQuantity(address, packs);
}

std::uint8_t TDevInfo::WritePackQuantity(std::uint8_t address, std::uint8_t packs)
{
    return m_devOper.WritePackQuantity(address, packs);
}

std::uint8_t TDevInfo::WriteRecordTime(std::uint8_t address, std::uint8_t packNumber, std::uint8_t startHour,
                                       std::uint8_t startMinute, std::uint8_t endHour, std::uint8_t endMinute,
                                       std::uint16_t intervalSeconds)
{
    return m_devOper.WriteRecordTime(address, packNumber, startHour, startMinute, endHour, endMinute, intervalSeconds);
}

std::uint8_t TDevInfo::WriteFunctionSwitches(std::uint8_t address, std::uint8_t packNumber, std::uint16_t switches,
                                             std::uint16_t& switchesInForce)
{
    return m_devOper.WriteFunctionSwitches(address, packNumber, switches, switchesInForce);
}

std::uint8_t TDevInfo::DeleteAlarmRecords(std::uint8_t address, std::uint8_t packNumber)
{
    return m_devOper.DeleteAlarmRecords(address, packNumber);
}

std::uint8_t TDevInfo::DeleteWorkData(std::uint8_t address, std::uint8_t packNumber)
{
    return m_devOper.DeleteWorkData(address, packNumber);
}

std::uint8_t TDevInfo::ReadCapacity(std::uint8_t address, std::uint8_t packNumber, std::int32_t& designMah,
                                    std::int32_t& fullMah, std::int32_t& remainingMah)
{
    return m_devOper.ReadCapacity(address, packNumber, designMah, fullMah, remainingMah);
}

std::uint8_t TDevInfo::WriteCapacity(std::uint8_t address, std::uint8_t packNumber, std::int32_t designMah,
                                     std::int32_t fullMah, std::int32_t remainingMah)
{
    return m_devOper.WriteCapacity(address, packNumber, designMah, fullMah, remainingMah);
}

std::uint8_t TDevInfo::WriteCycleTime(std::uint8_t address, std::uint8_t packNumber, std::uint16_t cycles)
{
    return m_devOper.WriteCycleTime(address, packNumber, cycles);
}

std::uint8_t TDevInfo::ReadBarCode(std::uint8_t address, std::uint8_t packNumber, QString& barCode)
{
    return m_devOper.ReadBarCode(address, packNumber, barCode);
}

std::uint8_t TDevInfo::WriteBarCode(std::uint8_t address, std::uint8_t packNumber, const QString& barCode)
{
    return m_devOper.WriteBarCode(address, packNumber, barCode);
}

std::uint8_t TDevInfo::ReadDischargeAccumulating(std::uint8_t address, std::uint8_t packNumber, Decimal& capacityAh,
                                                 Decimal& energyKwh)
{
    return m_devOper.ReadDischargeAccumulating(address, packNumber, capacityAh, energyKwh);
}

std::uint8_t TDevInfo::WriteDischargeAccumulating(std::uint8_t address, std::uint8_t packNumber, Decimal capacityAh,
                                                  Decimal energyKwh)
{
    return m_devOper.WriteDischargeAccumulating(address, packNumber, capacityAh, energyKwh);
}

std::uint8_t TDevInfo::ReadCalibration(std::uint8_t address, std::uint8_t packNumber, std::uint8_t kind,
                                       std::uint8_t item, Decimal& first, Decimal& second)
{
    return m_devOper.ReadCalibration(address, packNumber, kind, item, first, second);
}

std::uint8_t TDevInfo::WriteCalibration(std::uint8_t address, std::uint8_t packNumber, std::uint8_t kind,
                                        std::uint8_t item, bool reset, Decimal first, Decimal second)
{
    return m_devOper.WriteCalibration(address, packNumber, kind, item, reset, first, second);
}

std::uint8_t TDevInfo::EnterSleep(std::uint8_t address, std::uint8_t packNumber)
{
    return m_devOper.EnterSleep(address, packNumber);
}

std::uint8_t TDevInfo::ReadProductInfo(std::uint8_t address, std::uint8_t packNumber, RProductInfo& info)
{
    return m_devOper.ReadProductInfo(address, packNumber, info);
}

std::uint8_t TDevInfo::WriteProductInfo(std::uint8_t address, std::uint8_t packNumber, const RProductInfo& info)
{
    return m_devOper.WriteProductInfo(address, packNumber, info);
}

std::uint8_t TDevInfo::AccessBatteryShield(std::uint8_t address, std::uint8_t packNumber, bool write,
                                           std::uint32_t& shieldMask)
{
    return m_devOper.AccessBatteryShield(address, packNumber, write, shieldMask);
}
