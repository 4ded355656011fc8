// The pack commands of TDevOper. Each builds its INFO, runs one exchange
// through Execute (which holds the link lock for the whole exchange) and
// reads its outputs from the unpacked answer. Commands never raise or show
// anything: they return the result code and write their outputs only on 0.

#include "protocol/decoders.h"
#include "protocol/devoper.h"

#include <initializer_list>

namespace {

constexpr int kBarCodeLength = 30;
constexpr int kProductTextLength = 30;

QByteArray Bytes(std::initializer_list<std::uint8_t> values)
{
    QByteArray bytes;
    for (std::uint8_t v : values)
        bytes.append(static_cast<char>(v));
    return bytes;
}

void AppendWord(QByteArray& bytes, std::uint16_t value)
{
    bytes.append(static_cast<char>(value >> 8));
    bytes.append(static_cast<char>(value & 0xFF));
}

void AppendLong(QByteArray& bytes, std::uint32_t value)
{
    AppendWord(bytes, static_cast<std::uint16_t>(value >> 16));
    AppendWord(bytes, static_cast<std::uint16_t>(value & 0xFFFF));
}

// Execute refuses an answer of any other length than the command's before a
// decoder sees it; these two guards only keep a decoder from ever reading
// past the end of what it was given.
bool TooShort(const AnswerView& answer, CommandId command)
{
    return answer.count() < CommandOf(command).minimumAnswerBytes;
}

bool EndsEarly(const AnswerView& answer, int infoBytes)
{
    return answer.infoCount() < infoBytes;
}

// The three array commands fill element packNumber - 1; a number outside
// 1..16 has no element, so such a request is refused before it is sent.
bool HasRecord(std::uint8_t packNumber)
{
    return packNumber >= 1 && packNumber <= kMaxPacks;
}

// The answer to ReadBarCode: the pack number it echoes, then the bar code.
TDevOper::Decoder BarCodeDecoder(QString& barCode, std::uint8_t* echoedPack)
{
    return [&barCode, echoedPack](const AnswerView& answer) {
        DecodeBarCode(answer, barCode, echoedPack);
        return ResultCode::kSuccess;
    };
}

TDevOper::Decoder DeviceInfoDecoder(std::uint16_t& softwareVersion, QString& deviceName, QString& manufacturer,
                                    std::uint16_t& number1, std::uint8_t& number2)
{
    return [&](const AnswerView& answer) {
        DecodeDeviceInfo(answer, softwareVersion, deviceName, manufacturer, number1, number2);
        return ResultCode::kSuccess;
    };
}

// Commands whose answer carries nothing but the result.
std::uint8_t ResultOnly(TDevOper& op, std::uint8_t address, CommandId command, const QByteArray& info)
{
    return op.Execute(address, command, info);
}

} // namespace

std::uint8_t TDevOper::ReadAnalogData(std::uint8_t address, std::uint8_t packNumber, std::uint8_t& echoedPack,
                                      std::array<RAnalogData, kMaxPacks>& records)
{
    if (!HasRecord(packNumber))
        return ResultCode::kValueRejected;
    const RPackFamilyState state = FamilyState(address);
    if (state.problem == RPackFamilyState::Problem::PinnedMisfit)
        return ResultCode::kFamilyMismatch;
    if (IsForeign(state.family))
        return ReadForeignAnalog(state.family, address, packNumber, echoedPack, records);
    // Ours or not known yet: our form, as always. The answer tells whether
    // the pack is ours; the search among the other families is the
    // caller's (the poller's) business.
    // Only our layout confirms ours, and only another family's answer
    // refutes it: a late answer of another command is neither.
    std::optional<bool> ourLayout;
    RFamilyFit fit;
    RExchangeForm form;
    form.inspect = [&](const AnswerView& answer) {
        if (IsOurAnalogAnswer(answer)) {
            ourLayout = true;
        } else if (ShowsAnotherFamily(answer, PackFamily::Ours)) {
            ourLayout = false;
            fit = FitAnalogAnswer(answer);
        }
    };
    const std::uint8_t result = GuardedExchange(
        form, address, CommandOf(CommandId::ReadAnalogData).cid2, Bytes({packNumber}),
        CommandOf(CommandId::ReadAnalogData).waitMs, [&](const AnswerView& answer) {
            const std::uint8_t decoded =
                DecodeAnalogData(answer, packNumber, QDateTime::currentDateTime(), records[packNumber - 1]);
            if (decoded == ResultCode::kSuccess)
                echoedPack = answer.info(0);
            return decoded;
        });
    if (ourLayout) {
        const RPackFamilyState filed = NoteAnalogAnswer(
            address, state.family, *ourLayout ? PackFamily::Ours : PackFamily::Unknown, fit);
        if (filed.problem == RPackFamilyState::Problem::PinnedMisfit)
            return ResultCode::kFamilyMismatch;
    }
    return result;
}

std::uint8_t TDevOper::ReadAlarmData(std::uint8_t address, std::uint8_t packNumber,
                                     std::array<RAlarmData, kMaxPacks>& records)
{
    if (!HasRecord(packNumber))
        return ResultCode::kValueRejected;
    const RPackFamilyState state = FamilyState(address);
    if (state.problem == RPackFamilyState::Problem::PinnedMisfit)
        return ResultCode::kFamilyMismatch;
    if (IsForeign(state.family))
        return ReadForeignAlarm(state.family, address, packNumber, records);
    // An answer for another pack leaves the prepared record as it is; the
    // result stays 0. A short answer fills what it carries.
    return Execute(address, CommandId::ReadAlarmData, Bytes({packNumber}), [&](const AnswerView& answer) {
        DecodeAlarmData(answer, packNumber, records[packNumber - 1]);
        return ResultCode::kSuccess;
    });
}

std::uint8_t TDevOper::ReadDateTime(std::uint8_t address, RDeviceTime& time)
{
    time = RDeviceTime{};
    return Execute(address, CommandId::ReadDateTime, {}, [&](const AnswerView& answer) {
        return DecodeDateTime(answer, time) ? ResultCode::kSuccess : ResultCode::kIncomplete;
    });
}

std::uint8_t TDevOper::WriteDateTime(std::uint8_t address, const RDeviceTime& time)
{
    QByteArray info;
    AppendWord(info, time.year);
    info += Bytes({time.month, time.day, time.hour, time.minute, time.second});
    return ResultOnly(*this, address, CommandId::WriteDateTime, info);
}

std::uint8_t TDevOper::ReadDeviceInfo(std::uint8_t address, std::uint16_t& softwareVersion, QString& deviceName,
                                      QString& manufacturer, std::uint16_t& number1, std::uint8_t& number2)
{
    return Execute(address, CommandId::ReadDeviceInfo, {},
                   DeviceInfoDecoder(softwareVersion, deviceName, manufacturer, number1, number2));
}

std::uint8_t TDevOper::ReadIdentity(std::uint8_t address, int windowMs, QString& barCode, std::uint8_t& echoedPack,
                                    std::uint16_t& softwareVersion)
{
    // The window is the wait plus the margin every exchange gets.
    const int waitMs = windowMs - ReplyWindowMs(address, 0);
    const std::uint8_t barResult = Execute(address, CommandOf(CommandId::ReadBarCode).cid2, Bytes({address}), waitMs,
                                           BarCodeDecoder(barCode, &echoedPack));
    if (barResult != ResultCode::kSuccess)
        return barResult;
    QString deviceName;
    QString manufacturer;
    std::uint16_t number1 = 0;
    std::uint8_t number2 = 0;
    return Execute(address, CommandOf(CommandId::ReadDeviceInfo).cid2, {}, waitMs,
                   DeviceInfoDecoder(softwareVersion, deviceName, manufacturer, number1, number2));
}

std::uint8_t TDevOper::ReadPackQuantity(std::uint8_t address, std::uint8_t& packs)
{
    return Execute(address, CommandId::ReadPackQuantity, {}, [&](const AnswerView& answer) {
        if (EndsEarly(answer, 2))
            return ResultCode::kIncomplete;
        // The pack echoes the address it was asked on.
        if (answer.info(0) != address)
            return ResultCode::kWrongAddress;
        packs = answer.info(1);
        return ResultCode::kSuccess;
    });
}

std::uint8_t TDevOper::WritePackQuantity(std::uint8_t address, std::uint8_t packs)
{
    return ResultOnly(*this, address, CommandId::WritePackQuantity, Bytes({address, packs}));
}

std::uint8_t TDevOper::WriteRecordTime(std::uint8_t address, std::uint8_t packNumber, std::uint8_t startHour,
                                       std::uint8_t startMinute, std::uint8_t endHour, std::uint8_t endMinute,
                                       std::uint16_t intervalSeconds)
{
    QByteArray info = Bytes({packNumber, startHour, startMinute, endHour, endMinute});
    AppendWord(info, intervalSeconds);
    return ResultOnly(*this, address, CommandId::WriteRecordTime, info);
}

std::uint8_t TDevOper::WriteFunctionSwitches(std::uint8_t address, std::uint8_t packNumber, std::uint16_t switches,
                                             std::uint16_t& switchesInForce)
{
    switchesInForce = 0;
    QByteArray info = Bytes({packNumber});
    AppendWord(info, switches);
    return Execute(address, CommandId::WriteFunctionSwitches, info, [&](const AnswerView& answer) {
        if (EndsEarly(answer, 3))
            return ResultCode::kIncomplete;
        switchesInForce = answer.infoWord(1);
        return ResultCode::kSuccess;
    });
}

std::uint8_t TDevOper::DeleteAlarmRecords(std::uint8_t address, std::uint8_t packNumber)
{
    return ResultOnly(*this, address, CommandId::DeleteAlarmRecords, Bytes({packNumber}));
}

std::uint8_t TDevOper::DeleteWorkData(std::uint8_t address, std::uint8_t packNumber)
{
    return ResultOnly(*this, address, CommandId::DeleteWorkData, Bytes({packNumber}));
}

std::uint8_t TDevOper::ReadCapacity(std::uint8_t address, std::uint8_t packNumber, std::int32_t& designMah,
                                    std::int32_t& fullMah, std::int32_t& remainingMah)
{
    designMah = 0;
    fullMah = 0;
    remainingMah = 0;
    return Execute(address, CommandId::ReadCapacity, Bytes({packNumber}), [&](const AnswerView& answer) {
        if (EndsEarly(answer, 7))
            return ResultCode::kIncomplete;
        // Each capacity travels in units of 10 mAh.
        designMah = answer.infoWord(1) * 10;
        fullMah = answer.infoWord(3) * 10;
        remainingMah = answer.infoWord(5) * 10;
        return ResultCode::kSuccess;
    });
}

std::uint8_t TDevOper::WriteCapacity(std::uint8_t address, std::uint8_t packNumber, std::int32_t designMah,
                                     std::int32_t fullMah, std::int32_t remainingMah)
{
    // Units of 10 mAh, truncated, low 16 bits.
    QByteArray info = Bytes({packNumber});
    AppendWord(info, static_cast<std::uint16_t>(designMah / 10));
    AppendWord(info, static_cast<std::uint16_t>(fullMah / 10));
    AppendWord(info, static_cast<std::uint16_t>(remainingMah / 10));
    return ResultOnly(*this, address, CommandId::WriteCapacity, info);
}

std::uint8_t TDevOper::WriteCycleTime(std::uint8_t address, std::uint8_t packNumber, std::uint16_t cycles)
{
    QByteArray info = Bytes({packNumber});
    AppendWord(info, cycles);
    return ResultOnly(*this, address, CommandId::WriteCycleTime, info);
}

std::uint8_t TDevOper::ReadBarCode(std::uint8_t address, std::uint8_t packNumber, QString& barCode)
{
    return Execute(address, CommandId::ReadBarCode, Bytes({packNumber}), BarCodeDecoder(barCode, nullptr));
}

std::uint8_t TDevOper::WriteBarCode(std::uint8_t address, std::uint8_t packNumber, const QString& barCode)
{
    return ResultOnly(*this, address, CommandId::WriteBarCode,
                      Bytes({packNumber}) + EncodeTextField(barCode, kBarCodeLength));
}

std::uint8_t TDevOper::ReadDischargeAccumulating(std::uint8_t address, std::uint8_t packNumber,
                                                 Decimal& capacityAh, Decimal& energyKwh)
{
    capacityAh = Decimal();
    energyKwh = Decimal();
    return Execute(address, CommandId::ReadDischargeAccumulating, Bytes({packNumber}),
                   [&](const AnswerView& answer) {
                       if (EndsEarly(answer, 9))
                           return ResultCode::kIncomplete;
                       // 0.1 Ah and 0.01 kWh steps, exact in ten-thousandths.
                       capacityAh = Decimal::fromRaw(std::int64_t(answer.infoLong(1)) * (Decimal::kScale / 10));
                       energyKwh = Decimal::fromRaw(std::int64_t(answer.infoLong(5)) * (Decimal::kScale / 100));
                       return ResultCode::kSuccess;
                   });
}

std::uint8_t TDevOper::WriteDischargeAccumulating(std::uint8_t address, std::uint8_t packNumber,
                                                  Decimal capacityAh, Decimal energyKwh)
{
    const std::optional<std::uint32_t> capacity = EncodeTenthsTruncated(capacityAh);
    const std::optional<std::uint32_t> energy = EncodeHundredthsTruncated(energyKwh);
    // A value that does not fit its 32 bits is refused rather than sent
    // wrapped into another value.
    if (!capacity || !energy)
        return ResultCode::kValueRejected;
    QByteArray info = Bytes({packNumber});
    AppendLong(info, *capacity);
    AppendLong(info, *energy);
    return ResultOnly(*this, address, CommandId::WriteDischargeAccumulating, info);
}

std::uint8_t TDevOper::ReadCalibration(std::uint8_t address, std::uint8_t packNumber, std::uint8_t kind,
                                       std::uint8_t item, Decimal& first, Decimal& second)
{
    first = Decimal();
    return Execute(address, CommandId::ReadCalibration, Bytes({packNumber, kind, item}),
                   [&](const AnswerView& answer) {
                       if (EndsEarly(answer, 11))
                           return ResultCode::kIncomplete;
                       // Values for another kind or item are not ours to show.
                       if (answer.info(1) == kind && answer.info(2) == item) {
                           first = DecodeCalibrationValue(kind, answer.infoLong(3));
                           second = DecodeCalibrationValue(kind, answer.infoLong(7));
                       }
                       return ResultCode::kSuccess;
                   });
}

std::uint8_t TDevOper::WriteCalibration(std::uint8_t address, std::uint8_t packNumber, std::uint8_t kind,
                                        std::uint8_t item, bool reset, Decimal first, Decimal second)
{
    constexpr std::uint8_t kCalibrate = 2;
    constexpr std::uint8_t kReset = 1;
    std::optional<std::uint32_t> firstWire = 0;
    std::optional<std::uint32_t> secondWire = 0;
    if (!reset) {
        firstWire = EncodeCalibrationValue(kind, first);
        secondWire = EncodeCalibrationValue(kind, second);
        if (!firstWire || !secondWire)
            return ResultCode::kValueRejected;
    }
    QByteArray info = Bytes({packNumber, kind, item, reset ? kReset : kCalibrate});
    AppendLong(info, *firstWire);
    AppendLong(info, *secondWire);
    // The traffic record keeps the values given beside the wire numbers,
    // which differ for negative values.
    const QString given = reset ? QString() : first.toString() + QStringLiteral(" / ") + second.toString();
    return Execute(address, CommandId::WriteCalibration, info, {}, true, given);
}

std::uint8_t TDevOper::EnterSleep(std::uint8_t address, std::uint8_t packNumber)
{
    return ResultOnly(*this, address, CommandId::EnterSleep, Bytes({packNumber}));
}

std::uint8_t TDevOper::ReadProductInfo(std::uint8_t address, std::uint8_t packNumber, RProductInfo& info)
{
    return Execute(address, CommandId::ReadProductInfo, Bytes({packNumber}), [&](const AnswerView& answer) {
        if (TooShort(answer, CommandId::ReadProductInfo))
            return ResultCode::kSuccess;
        QString* const fields[] = {&info.companyName, &info.productionDate, &info.moduleName, &info.versionNumber,
                                   &info.batteryType, &info.serialNumber,   &info.remark};
        int first = 1;
        for (QString* field : fields) {
            *field = DecodeTextField(answer, first, kProductTextLength);
            first += kProductTextLength;
        }
        return ResultCode::kSuccess;
    });
}

std::uint8_t TDevOper::WriteProductInfo(std::uint8_t address, std::uint8_t packNumber, const RProductInfo& info)
{
    QByteArray bytes = Bytes({packNumber});
    for (const QString* field : {&info.companyName, &info.productionDate, &info.moduleName, &info.versionNumber,
                                 &info.batteryType, &info.serialNumber, &info.remark})
        bytes += EncodeTextField(*field, kProductTextLength);
    return ResultOnly(*this, address, CommandId::WriteProductInfo, bytes);
}

std::uint8_t TDevOper::ReadLocationInfo(std::uint8_t address, std::uint8_t packNumber,
                                        std::array<RLocationData, kMaxPacks>& records)
{
    if (!HasRecord(packNumber))
        return ResultCode::kValueRejected;
    return Execute(address, CommandId::ReadLocationInfo, Bytes({packNumber}), [&](const AnswerView& answer) {
        if (answer.info(0) == packNumber && EndsEarly(answer, kLocationInfoBytes))
            return ResultCode::kIncomplete;
        DecodeLocationData(answer, packNumber, QDateTime::currentDateTime(), records[packNumber - 1]);
        return ResultCode::kSuccess;
    });
}

std::uint8_t TDevOper::AccessBatteryShield(std::uint8_t address, std::uint8_t packNumber, bool write,
                                           std::uint32_t& shieldMask)
{
    QByteArray info = Bytes({packNumber, std::uint8_t(write ? 1 : 0)});
    AppendLong(info, write ? shieldMask : 0);
    return Execute(address, CommandId::AccessBatteryShield, info, [&](const AnswerView& answer) {
        // The pack reports the mask in force only when INFO 1 is 0.
        if (!TooShort(answer, CommandId::AccessBatteryShield) && answer.info(1) == 0)
            shieldMask = answer.infoLong(2);
        return ResultCode::kSuccess;
    });
}
