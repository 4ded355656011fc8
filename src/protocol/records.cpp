#include "protocol/records.h"

RDeviceTime RDeviceTime::fromDateTime(const QDateTime& time)
{
    const QDate date = time.date();
    const QTime clock = time.time();
    RDeviceTime result;
    result.year = static_cast<std::uint16_t>(date.year());
    result.month = static_cast<std::uint8_t>(date.month());
    result.day = static_cast<std::uint8_t>(date.day());
    result.hour = static_cast<std::uint8_t>(clock.hour());
    result.minute = static_cast<std::uint8_t>(clock.minute());
    result.second = static_cast<std::uint8_t>(clock.second());
    return result;
}

std::optional<QDateTime> RDeviceTime::toDateTime() const
{
    const QDate date(year, month, day);
    const QTime clock(hour, minute, second);
    if (!date.isValid() || !clock.isValid())
        return std::nullopt;
    return QDateTime(date, clock);
}

RAnalogData InitAnalogData(std::uint8_t packNumber)
{
    RAnalogData record;
    record.packNumber = packNumber;
    record.time = QDateTime::currentDateTime();
    return record;
}

RAlarmData InitAlarmData(std::uint8_t packNumber)
{
    RAlarmData record;
    record.packNumber = packNumber;
    record.time = RDeviceTime::fromDateTime(QDateTime::currentDateTime());
    return record;
}

RLocationData InitLocationData(std::uint8_t packNumber)
{
    RLocationData record;
    record.packNumber = packNumber;
    record.time = QDateTime::currentDateTime();
    return record;
}

CellExtreme MaxCellVoltage(const RAnalogData& record)
{
    CellExtreme result;
    for (int i = 0; i < kMaxCells; ++i) {
        if (record.cellVoltages[i] > result.millivolts) {
            result.millivolts = record.cellVoltages[i];
            result.position = static_cast<std::uint8_t>(i + 1);
        }
    }
    return result;
}

CellExtreme MinCellVoltage(const RAnalogData& record)
{
    CellExtreme result;
    bool found = false;
    for (int i = 0; i < kMaxCells; ++i) {
        const std::uint16_t value = record.cellVoltages[i];
        if (value != 0 && (!found || value < result.millivolts)) {
            result.millivolts = value;
            result.position = static_cast<std::uint8_t>(i + 1);
            found = true;
        }
    }
    return result;
}

std::optional<Decimal> StateOfCharge(const RAnalogData& record)
{
    if (record.family != PackFamily::Ours)
        return record.extra.soc;
    if (!record.sent(AnalogField::Soc))
        return std::nullopt;
    return Decimal::fromInt(record.soc);
}

std::optional<Decimal> StateOfHealth(const RAnalogData& record)
{
    if (record.family != PackFamily::Ours)
        return record.extra.soh;
    if (!record.sent(AnalogField::Soh))
        return std::nullopt;
    return Decimal::fromInt(record.soh);
}
