#include "sim_pack.h"

#include "sim_info.h"

#include <QDate>
#include <QTime>

#include <cstdlib>

using namespace siminfo;

namespace {

// Sub-commands of the two record reads.
constexpr std::uint8_t kFirstRecord = 0;
constexpr std::uint8_t kNextRecord = 1;
constexpr std::uint8_t kRetryRecord = 2;
constexpr std::uint8_t kStopTransfer = 3;

constexpr std::uint8_t kRecordFollows = 0;
constexpr std::uint8_t kEndOfLog = 1;

constexpr std::uint16_t kSoftwareVersion = 0x0534;
constexpr std::uint16_t kSwitchMask = 0x01FF;   // bits 9-15 of the switch word are unused

constexpr std::uint8_t kCalibrationReset = 1;
constexpr std::uint8_t kCalibrate = 2;

} // namespace

// ---------------------------------------------------------------- records

SimPack::Answer SimPack::serveRecord(RecordLog& log, std::uint8_t subCommand)
{
    const qsizetype count = log.records.size();
    switch (subCommand) {
    case kFirstRecord:
        log.position = 0;
        break;
    case kNextRecord:
        log.position = std::min(log.position + 1, count);
        break;
    case kRetryRecord:
        log.position = std::max<qsizetype>(log.position, 0);
        break;
    case kStopTransfer:
        log.position = -1;
        return ResultOnly();
    default:
        return ResultOnly(SimRtn::kInvalidData);
    }
    InfoWriter out;
    if (log.position >= count)
        return out.byte(kEndOfLog).byte(0).answer();
    return out.byte(kRecordFollows).byte(0).bytes(log.records.at(log.position)).answer();
}

SimPack::Answer SimPack::readWorkDataRecord(const QByteArray& info)
{
    return serveRecord(m_workData, std::uint8_t(Byte(info, 0)));
}

SimPack::Answer SimPack::readAlarmRecord(const QByteArray& info)
{
    return serveRecord(m_alarmRecords, std::uint8_t(Byte(info, 0)));
}

SimPack::Answer SimPack::deleteAlarmRecords(const QByteArray&)
{
    m_alarmRecords = RecordLog{};
    return ResultOnly();
}

SimPack::Answer SimPack::deleteWorkData(const QByteArray&)
{
    m_workData = RecordLog{};
    return ResultOnly();
}

SimPack::Answer SimPack::writeRecordTime(const QByteArray& info)
{
    const int startHour = Byte(info, 1);
    const int startMinute = Byte(info, 2);
    const int endHour = Byte(info, 3);
    const int endMinute = Byte(info, 4);
    if (startHour > 23 || endHour > 23 || startMinute > 59 || endMinute > 59)
        return ResultOnly(SimRtn::kInvalidData);
    m_recordStartHour = std::uint8_t(startHour);
    m_recordStartMinute = std::uint8_t(startMinute);
    m_recordEndHour = std::uint8_t(endHour);
    m_recordEndMinute = std::uint8_t(endMinute);
    m_recordIntervalSeconds = std::uint16_t(Word(info, 5));
    return ResultOnly();
}

// ---------------------------------------------------------------- clock and identity

SimPack::Answer SimPack::readDateTime(const QByteArray&)
{
    const QDateTime now = clock();
    return InfoWriter()
        .word(now.date().year())
        .byte(now.date().month())
        .byte(now.date().day())
        .byte(now.time().hour())
        .byte(now.time().minute())
        .byte(now.time().second())
        .answer();
}

SimPack::Answer SimPack::writeDateTime(const QByteArray& info)
{
    const QDate date(Word(info, 0), Byte(info, 2), Byte(info, 3));
    const QTime time(Byte(info, 4), Byte(info, 5), Byte(info, 6));
    if (!date.isValid() || !time.isValid())
        return ResultOnly(SimRtn::kInvalidData);
    m_clockOffsetSeconds = QDateTime::currentDateTime().secsTo(QDateTime(date, time));
    return ResultOnly();
}

SimPack::Answer SimPack::readDeviceInfo(const QByteArray&)
{
    return InfoWriter()
        .text("SIM-BMS16S", 10)
        .word(kSoftwareVersion)
        .text("Simulated Packs", 20)
        .answer();
}

SimPack::Answer SimPack::readPackQuantity(const QByteArray&)
{
    return InfoWriter().byte(m_number).byte(m_packQuantity).answer();
}

SimPack::Answer SimPack::writePackQuantity(const QByteArray& info)
{
    const int packs = Byte(info, 1);
    if (packs < 1 || packs > 16)
        return ResultOnly(SimRtn::kInvalidData);
    m_packQuantity = std::uint8_t(packs);
    return ResultOnly();
}

SimPack::Answer SimPack::readBarCode(const QByteArray&)
{
    return InfoWriter().byte(m_number).text(m_barCode, kBarCodeBytes).answer();
}

SimPack::Answer SimPack::writeBarCode(const QByteArray& info)
{
    m_barCode = info.mid(1, kBarCodeBytes);
    return ResultOnly();
}

SimPack::Answer SimPack::readProductInfo(const QByteArray&)
{
    return InfoWriter().byte(m_number).bytes(m_productInfo).answer();
}

SimPack::Answer SimPack::writeProductInfo(const QByteArray& info)
{
    m_productInfo = info.mid(1, kProductTexts * kProductTextBytes);
    return ResultOnly();
}

// ---------------------------------------------------------------- capacity and counters

SimPack::Answer SimPack::readCapacity(const QByteArray&)
{
    return InfoWriter()
        .byte(m_number)
        .word(m_live.design10mAh)
        .word(m_live.full10mAh)
        .word(m_live.remaining10mAh())
        .answer();
}

SimPack::Answer SimPack::writeCapacity(const QByteArray& info)
{
    m_live.design10mAh = Word(info, 1);
    m_live.full10mAh = Word(info, 3);
    m_live.setRemaining10mAh(std::min(Word(info, 5), m_live.full10mAh));
    return ResultOnly();
}

SimPack::Answer SimPack::writeCycleTime(const QByteArray& info)
{
    m_live.cycles = Word(info, 1);
    return ResultOnly();
}

SimPack::Answer SimPack::readDischargeAccumulating(const QByteArray&)
{
    return InfoWriter().byte(m_number).longWord(m_dischargedDeciAh).longWord(m_dischargedCentiKwh).answer();
}

SimPack::Answer SimPack::writeDischargeAccumulating(const QByteArray& info)
{
    m_dischargedDeciAh = LongWord(info, 1);
    m_dischargedCentiKwh = LongWord(info, 5);
    return ResultOnly();
}

// ---------------------------------------------------------------- switches and calibration

SimPack::Answer SimPack::writeFunctionSwitches(const QByteArray& info)
{
    m_functionSwitches = std::uint16_t(Word(info, 1) & kSwitchMask);
    return InfoWriter().byte(m_number).word(m_functionSwitches).answer();
}

SimPack::Answer SimPack::accessBatteryShield(const QByteArray& info)
{
    const int operation = Byte(info, 1);
    if (operation > 1)
        return ResultOnly(SimRtn::kInvalidData);
    if (operation == 1)
        m_shieldMask = LongWord(info, 2);
    return InfoWriter().byte(m_number).byte(0).longWord(m_shieldMask).answer();
}

std::pair<std::int32_t, std::int32_t> SimPack::calibrationDefault(int kind, int item) const
{
    // Uncalibrated, the pack reports what it measures and a zero offset.
    switch (kind) {
    case 1:
        return {item == 11 ? m_live.meanCellMv() : m_live.packVoltage10mV() * 10, 0};
    case 2:
        return {item == 21 ? 0 : std::abs(m_live.current10mA) * 10, 0};
    default: {
        const int sensor = item - 1;
        int celsius = m_live.ambientC;
        if (sensor >= 0 && sensor < SimLiveState::kCellTemperatures)
            celsius = m_live.cellTemperatureC[std::size_t(sensor)];
        else if (sensor == SimLiveState::kCellTemperatures + 1)
            celsius = m_live.fetC;
        return {celsius * 10, 0};
    }
    }
}

namespace {

bool KnownCalibration(int kind, int item)
{
    switch (kind) {
    case 1:
        return item == 11 || item == 12;
    case 2:
        return item >= 21 && item <= 23;
    case 3:
        return item >= 1 && item <= 6;
    default:
        return false;
    }
}

} // namespace

SimPack::Answer SimPack::readCalibration(const QByteArray& info)
{
    const int kind = Byte(info, 1);
    const int item = Byte(info, 2);
    if (!KnownCalibration(kind, item))
        return ResultOnly(SimRtn::kInvalidData);
    const auto stored = m_calibration.find({kind, item});
    const auto values = stored != m_calibration.end() ? stored->second : calibrationDefault(kind, item);
    return InfoWriter()
        .byte(m_number)
        .byte(kind)
        .byte(item)
        .longWord(std::uint32_t(values.first))
        .longWord(std::uint32_t(values.second))
        .answer();
}

SimPack::Answer SimPack::writeCalibration(const QByteArray& info)
{
    const int kind = Byte(info, 1);
    const int item = Byte(info, 2);
    const int operation = Byte(info, 3);
    if (!KnownCalibration(kind, item))
        return ResultOnly(SimRtn::kInvalidData);
    if (operation == kCalibrationReset) {
        m_calibration.erase({kind, item});
        return ResultOnly();
    }
    if (operation != kCalibrate)
        return ResultOnly(SimRtn::kInvalidData);
    m_calibration[{kind, item}] = {std::int32_t(LongWord(info, 4)), std::int32_t(LongWord(info, 8))};
    return ResultOnly();
}

SimPack::Answer SimPack::enterSleep(const QByteArray&)
{
    // The simulated pack acknowledges and stays awake, so that a test run
    // can go on talking to it.
    return ResultOnly();
}

// ---------------------------------------------------------------- location

SimPack::Answer SimPack::readLocationInfo(const QByteArray&)
{
    const int n = m_number;
    InfoWriter out;
    out.byte(n)
        .word(0x0052)                                    // module working, network connected, satellite fix
        .byte(18 + n % 10)                               // signal strength
        .word(0x2A1B)                                    // location area code
        .word(0x3C40 + n)                                // cell ID
        .longWord(std::uint32_t(113934521 + n * 1000))   // base-station longitude × 10^6
        .longWord(std::uint32_t(22543096 + n * 1000))    // base-station latitude × 10^6
        .byte(12)
        .byte(8 + n % 4)
        .longWord(std::uint32_t(113934812 + n * 1000))   // satellite longitude × 10^6
        .longWord(std::uint32_t(22542877 + n * 1000))    // satellite latitude × 10^6
        .byte(0).word(0)                                 // speed × 1000, 24 bits: parked
        .word((n * 37) % 360);                           // direction
    // The two module texts follow as plain characters, not hex pairs; the
    // pack counts each as one character in LENID. The IMEI is padded with
    // character code 0, which the host reads as a space.
    QByteArray text = QStringLiteral("86359204%1").arg(1230000 + n, 7, 10, QLatin1Char('0')).toLatin1();
    text.append(QByteArray(20 - text.size(), '\0'));
    QByteArray ccid = QStringLiteral("8986011%1").arg(1234567890000LL + n, 13, 10, QLatin1Char('0')).toLatin1();
    ccid.append(QByteArray(30 - ccid.size(), ' '));
    SimPack::Answer answer = out.answer();
    answer.infoText.append(text).append(ccid);
    return answer;
}
