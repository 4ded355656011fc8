#include "history/history_record.h"

#include "protocol/devoper.h"

#include <QDateTime>

#include <algorithm>
#include <array>

namespace {

// INFO offsets of the record answer.
constexpr int kFirstStatus = 0;
constexpr int kSecondStatus = 1;
constexpr int kPackNumber = 2;
constexpr int kYear = 3;
constexpr int kMode = 9;
constexpr int kCurrent = 10;
constexpr int kVoltage = 12;
constexpr int kSoc = 14;
constexpr int kRemaining = 15;
constexpr int kAlarmCode = 17;
constexpr int kTemperatureCount = 18;
constexpr int kFirstTemperature = 19;
// M counts the cell temperatures plus ambient and FET.
constexpr int kNonCellTemperatures = 2;
constexpr std::uint8_t kDischarging = 2;

Decimal Temperature(std::uint8_t raw)
{
    // Temperatures travel with an offset of 40: byte 0 is -40 °C.
    return Decimal::fromInt(int(raw) - 40);
}

Decimal Hundredths(std::int64_t raw)
{
    return Decimal::fromRatio(raw, 100);
}

struct ModeName {
    std::uint8_t mode;
    const char* text;
};

constexpr std::array<ModeName, 3> kModeNames = {{{0, "Free"}, {1, "Charge"}, {2, "DisCharge"}}};

std::uint8_t ReadRecord(TDevOper& devOper, CommandId command, std::uint8_t address, std::uint8_t packNumber,
                        std::uint8_t subCommand, std::uint8_t& firstStatus, std::uint8_t& secondStatus,
                        RHistoryRecord& record)
{
    const std::array<char, 2> info = {static_cast<char>(subCommand), static_cast<char>(packNumber)};
    // The decoder works on copies so that nothing of the caller's changes
    // unless the whole answer was sound.
    std::uint8_t first = firstStatus;
    std::uint8_t second = secondStatus;
    RHistoryRecord parsed = record;
    const auto decode = [&](const AnswerView& answer) {
        return DecodeHistoryRecord(answer, first, second, parsed);
    };
    const bool examine = subCommand != HistorySubCommand::kStop;
    const std::uint8_t result =
        devOper.Execute(address, command, QByteArrayView(info.data(), qsizetype(info.size())), decode, examine);
    if (examine && result == ResultCode::kSuccess) {
        firstStatus = first;
        secondStatus = second;
        record = parsed;
    }
    return result;
}

} // namespace

std::uint8_t DecodeHistoryRecord(const AnswerView& answer, std::uint8_t& firstStatus, std::uint8_t& secondStatus,
                                 RHistoryRecord& record)
{
    const int available = answer.infoCount();
    if (available < kSecondStatus + 1)
        return ResultCode::kBadFrame;
    const std::uint8_t first = answer.info(kFirstStatus);
    if (first != kHistoryRecordFollows) {
        firstStatus = first;
        secondStatus = answer.info(kSecondStatus);
        return ResultCode::kSuccess;
    }

    // Check the whole length the answer announces before touching anything.
    if (available < kTemperatureCount + 1)
        return ResultCode::kBadFrame;
    const int m = answer.info(kTemperatureCount);
    if (m < kNonCellTemperatures)
        return ResultCode::kBadFrame;
    const int ambientAt = 17 + m;
    const int fetAt = 18 + m;
    const int humidityAt = 19 + m;
    const int cellCountAt = 20 + m;
    if (available < cellCountAt + 1)
        return ResultCode::kBadFrame;
    const int n = answer.info(cellCountAt);
    const int firstCellAt = 21 + m;
    if (available < firstCellAt + 2 * n)
        return ResultCode::kBadFrame;

    firstStatus = first;
    secondStatus = answer.info(kSecondStatus);
    record.packNumber = answer.info(kPackNumber);
    record.time.year = static_cast<std::uint16_t>(2000 + answer.info(kYear));
    record.time.month = answer.info(kYear + 1);
    record.time.day = answer.info(kYear + 2);
    record.time.hour = answer.info(kYear + 3);
    record.time.minute = answer.info(kYear + 4);
    record.time.second = answer.info(kYear + 5);
    record.mode = answer.info(kMode);
    // Signed tens of milliamperes; a discharging record is negated whatever
    // sign the pack sent, as the pack's own display does.
    Decimal current = Hundredths(TDevOper::ToSigned16(answer.infoWord(kCurrent)));
    if (record.mode == kDischarging)
        current = -current;
    record.current = current;
    record.voltage = Hundredths(answer.infoWord(kVoltage));
    record.soc = answer.info(kSoc);
    record.remainingCapacity = Hundredths(answer.infoWord(kRemaining));
    record.alarmCode = answer.info(kAlarmCode);

    const int cellTemperatures = std::min(m - kNonCellTemperatures, kMaxCellTemperatures);
    for (int k = 0; k < cellTemperatures; ++k)
        record.cellTemperatures[std::size_t(k)] = Temperature(answer.info(kFirstTemperature + k));
    record.ambientTemperature = Temperature(answer.info(ambientAt));
    record.fetTemperature = Temperature(answer.info(fetAt));
    record.humidity = answer.info(humidityAt);
    const int cells = std::min(n, kMaxCells);
    for (int k = 0; k < cells; ++k)
        record.cellVoltages[std::size_t(k)] = answer.infoWord(firstCellAt + 2 * k);
    return ResultCode::kSuccess;
}

std::uint8_t ReadWorkDataRecord(TDevOper& devOper, std::uint8_t address, std::uint8_t packNumber,
                                std::uint8_t subCommand, std::uint8_t& firstStatus, std::uint8_t& secondStatus,
                                RHistoryRecord& record)
{
    return ReadRecord(devOper, CommandId::ReadWorkDataRecord, address, packNumber, subCommand, firstStatus,
                      secondStatus, record);
}

std::uint8_t ReadAlarmRecord(TDevOper& devOper, std::uint8_t address, std::uint8_t packNumber,
                             std::uint8_t subCommand, std::uint8_t& firstStatus, std::uint8_t& secondStatus,
                             RHistoryRecord& record)
{
    return ReadRecord(devOper, CommandId::ReadAlarmRecord, address, packNumber, subCommand, firstStatus,
                      secondStatus, record);
}

void InitWorkDataRecord(std::uint8_t packNumber, RHistoryRecord& record)
{
    record = RHistoryRecord{};
    record.packNumber = packNumber;
    record.time = RDeviceTime::fromDateTime(QDateTime::currentDateTime());
}

void InitAlarmRecord(std::uint8_t packNumber, RHistoryRecord& record)
{
    InitWorkDataRecord(packNumber, record);
}

QString GetModeText(std::uint8_t mode)
{
    for (const ModeName& name : kModeNames)
        if (name.mode == mode)
            return QString::fromLatin1(name.text);
    return QStringLiteral("Unknown");
}
