#include "store/heard_decode.h"

#include "protocol/answer_length.h"
#include "protocol/answer_view.h"
#include "protocol/command_catalogue.h"
#include "protocol/decoders.h"
#include "protocol/family_decoders.h"
#include "protocol/frame.h"
#include "protocol/result_codes.h"

#include <algorithm>
#include <array>

namespace {

// The answer unpacked as the polling's codec unpacks it: "~", one byte per
// hex pair, the carriage return.
struct UnpackedAnswer {
    std::array<std::uint8_t, AnswerView::kBufferSize> bytes{};
    int count = 0;
};

void Unpack(const QByteArray& text, UnpackedAnswer& out)
{
    const int n = int(std::min<qsizetype>(text.size(), 1000));
    if (n == 0)
        return;
    out.bytes[std::size_t(out.count++)] = std::uint8_t(text[0]);
    const int pairs = std::min((n - 2) / 2, AnswerView::kBufferSize - 2);
    for (int i = 1; i <= pairs; ++i)
        out.bytes[std::size_t(out.count++)] =
            std::uint8_t(frame::HexValue(text[2 * i - 1]) * 16 + frame::HexValue(text[2 * i]));
    if (n != 1)
        out.bytes[std::size_t(out.count++)] = std::uint8_t(text[n - 1]);
}

// Requests that name a pack in their first INFO byte.
bool NamesPack(std::uint8_t cid2)
{
    const CommandInfo* command = CommandOfCid2(cid2);
    if (!command)
        return false;
    if (command->id == CommandId::ReadAnalogData || command->id == CommandId::ReadAlarmData
        || command->id == CommandId::ReadLocationInfo)
        return true;
    for (const AnswerLength& row : kAnswerLengths)
        if (row.id == command->id)
            return row.echoesPack;
    return false;
}

bool SharesVersionOfA(PackFamily family)
{
    return family == PackFamily::A || family == PackFamily::B;
}

void RefuseForeign(RHeardExchange& heard)
{
    heard.outcome = HeardOutcome::ForeignLength;
    heard.result = ResultCode::kFamilyUnknown;
}

// Another family's answer: its live values and alarm states decoded with
// its decoders, anything else only heard.
void DecodeForeignAnswer(RHeardExchange& heard, const AnswerView& view, const RFamilySettings& settings)
{
    const std::uint8_t pack = heard.pack;
    if (pack < 1 || pack > kMaxPacks)
        return;
    if (heard.cid2 == CommandOf(CommandId::ReadAnalogData).cid2) {
        const RFamilyFit fit = FitAnalogAnswer(view);
        // A and B share the request form: their answer says which it was.
        if (heard.family == PackFamily::Unknown && SharesVersionOfA(fit.family))
            heard.family = fit.family;
        if (fit.family != heard.family) {
            RefuseForeign(heard);
            return;
        }
        RAnalogData record = InitAnalogData(pack);
        heard.result = DecodeFamilyAnalog(heard.family, view, heard.address, heard.time, settings, record);
        if (heard.result == ResultCode::kSuccess)
            heard.analog = record;
        else
            heard.outcome = HeardOutcome::PackRefused;
        return;
    }
    if (heard.cid2 != CommandOf(CommandId::ReadAlarmData).cid2)
        return;
    std::optional<RAlarmData> decoded;
    std::uint8_t result = ResultCode::kSuccess;
    if (heard.family != PackFamily::Unknown) {
        RAlarmData record = InitAlarmData(pack);
        result = DecodeFamilyAlarm(heard.family, view, heard.address, record);
        if (result == ResultCode::kSuccess)
            decoded = record;
    } else {
        // Neither A nor B told yet: only a layout that one of them alone
        // can have is taken.
        int fits = 0;
        for (const PackFamily family : {PackFamily::A, PackFamily::B}) {
            RAlarmData record = InitAlarmData(pack);
            if (DecodeFamilyAlarm(family, view, heard.address, record) == ResultCode::kSuccess) {
                ++fits;
                decoded = record;
                heard.family = family;
            }
        }
        if (fits != 1) {
            heard.family = PackFamily::Unknown;
            RefuseForeign(heard);
            return;
        }
    }
    if (decoded) {
        heard.alarm = decoded;
    } else {
        heard.outcome = HeardOutcome::PackRefused;
        heard.result = result;
    }
}

} // namespace

PackFamily RequestFamily(const RCutFrame& request, PackFamily known)
{
    if (request.cid1 == FamilyRow(PackFamily::C).cid1)
        return PackFamily::C;
    if (request.version == FamilyRow(PackFamily::D).version)
        return PackFamily::D;
    if (request.version == FamilyRow(PackFamily::A).version)
        return SharesVersionOfA(known) ? known : PackFamily::Unknown;
    return PackFamily::Ours;
}

std::uint8_t PackOfRequest(const RCutFrame& request)
{
    return NamesPack(request.code) && !request.info.isEmpty() ? std::uint8_t(request.info[0]) : request.address;
}

void DecodeHeardAnswer(RHeardExchange& heard, const RCutFrame& request, const RCutFrame& answer,
                       const RFamilySettings& settings)
{
    UnpackedAnswer unpacked;
    Unpack(answer.text, unpacked);
    const AnswerView view(unpacked.bytes.data(), unpacked.count, answer.text);
    if (heard.family != PackFamily::Ours) {
        DecodeForeignAnswer(heard, view, settings);
        return;
    }
    // The answer-length rule polling applies: an answer no answer to this
    // command can be is never decoded.
    if (!AnswerFitsCommand(heard.cid2, view, request.info)) {
        heard.outcome = HeardOutcome::ForeignLength;
        heard.result = ResultCode::kInvalidData;
        return;
    }
    const std::uint8_t pack = heard.pack;
    const bool hasRecord = pack >= 1 && pack <= kMaxPacks;
    switch (CommandOfCid2(heard.cid2)->id) {
    case CommandId::ReadAnalogData: {
        if (!hasRecord)
            break;
        RAnalogData record = InitAnalogData(pack);
        heard.result = DecodeAnalogData(view, pack, heard.time, record);
        if (heard.result == ResultCode::kSuccess)
            heard.analog = record;
        else
            heard.outcome = HeardOutcome::PackRefused;
        break;
    }
    case CommandId::ReadAlarmData: {
        if (!hasRecord)
            break;
        // An answer for another pack leaves a blank record, as polling files it.
        RAlarmData record = InitAlarmData(pack);
        DecodeAlarmData(view, pack, record);
        heard.alarm = record;
        break;
    }
    case CommandId::ReadLocationInfo: {
        if (!hasRecord)
            break;
        RLocationData record = InitLocationData(pack);
        if (DecodeLocationData(view, pack, heard.time, record))
            heard.location = record;
        break;
    }
    case CommandId::ReadDateTime: {
        RDeviceTime time;
        if (DecodeDateTime(view, time))
            heard.packTime = time;
        else {
            heard.outcome = HeardOutcome::PackRefused;
            heard.result = ResultCode::kIncomplete;
        }
        break;
    }
    case CommandId::ReadBarCode: {
        QString barCode;
        if (DecodeBarCode(view, barCode))
            heard.barCode = barCode;
        break;
    }
    case CommandId::ReadDeviceInfo: {
        RHeardDeviceInfo info;
        std::uint16_t number1 = 0;
        std::uint8_t number2 = 0;
        if (DecodeDeviceInfo(view, info.softwareVersion, info.deviceName, info.manufacturer, number1, number2))
            heard.deviceInfo = info;
        break;
    }
    default:
        // Heard and paired; the front ends show it raw.
        break;
    }
}

