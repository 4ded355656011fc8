#include "store/heard_decode.h"

#include "protocol/answer_length.h"
#include "protocol/answer_view.h"
#include "protocol/command_catalogue.h"
#include "protocol/decoders.h"
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

} // namespace

std::uint8_t PackOfRequest(const RCutFrame& request)
{
    return NamesPack(request.code) && !request.info.isEmpty() ? std::uint8_t(request.info[0]) : request.address;
}

void DecodeHeardAnswer(RHeardExchange& heard, const RCutFrame& request, const RCutFrame& answer)
{
    UnpackedAnswer unpacked;
    Unpack(answer.text, unpacked);
    const AnswerView view(unpacked.bytes.data(), unpacked.count, answer.text);
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

