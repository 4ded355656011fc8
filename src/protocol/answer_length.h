#pragma once

#include "protocol/answer_view.h"
#include "protocol/command_catalogue.h"

#include <array>
#include <cstdint>

// Answers carry no command code: the only thing that tells the answer asked
// for from a late answer to another command is its length. Each command's
// answer has a fixed INFO length or one that follows from its own counts, and
// a length no answer to the command can have is refused: shorter as well as
// longer, so no other command's answer is ever decoded as this one's fields.
enum class AnswerShape : std::uint8_t {
    ResultOnly,   // no INFO at all
    Fixed,        // exactly infoBytes
    Analog,       // ends after the cells or after any later field its counts place; may append past the humidity
    Alarm,        // ends after the cell states or after any later field; may append past the status bytes
    Record,       // a history record as counted, or a two-byte status without one
};

struct AnswerLength {
    CommandId id;
    AnswerShape shape;
    int infoBytes;              // Fixed: the INFO of the whole layout
    bool echoesPack = false;    // Fixed: INFO 0 repeats the pack number the request named first
};

inline constexpr std::array<AnswerLength, 29> kAnswerLengths = {{
    {CommandId::ReadAnalogData, AnswerShape::Analog, 0},
    {CommandId::ReadAlarmData, AnswerShape::Alarm, 0},
    {CommandId::ReadParameters, AnswerShape::Fixed, 166},
    {CommandId::WriteParameters, AnswerShape::ResultOnly, 0},
    {CommandId::ReadWorkDataRecord, AnswerShape::Record, 0},
    {CommandId::ReadAlarmRecord, AnswerShape::Record, 0},
    {CommandId::ReadDateTime, AnswerShape::Fixed, 7},
    {CommandId::WriteDateTime, AnswerShape::ResultOnly, 0},
    // No shorter layout is known from packs; 31 bytes would also be the bar
    // code's answer.
    {CommandId::ReadDeviceInfo, AnswerShape::Fixed, 32},
    {CommandId::ReadPackQuantity, AnswerShape::Fixed, 2},
    {CommandId::WriteRecordTime, AnswerShape::ResultOnly, 0},
    {CommandId::WriteFunctionSwitches, AnswerShape::Fixed, 3, true},
    {CommandId::DeleteAlarmRecords, AnswerShape::ResultOnly, 0},
    {CommandId::DeleteWorkData, AnswerShape::ResultOnly, 0},
    {CommandId::ReadCapacity, AnswerShape::Fixed, 7, true},
    {CommandId::WriteCapacity, AnswerShape::ResultOnly, 0},
    {CommandId::WriteCycleTime, AnswerShape::ResultOnly, 0},
    {CommandId::WritePackQuantity, AnswerShape::ResultOnly, 0},
    {CommandId::ReadBarCode, AnswerShape::Fixed, 31, true},
    {CommandId::WriteBarCode, AnswerShape::ResultOnly, 0},
    {CommandId::ReadDischargeAccumulating, AnswerShape::Fixed, 9, true},
    {CommandId::WriteDischargeAccumulating, AnswerShape::ResultOnly, 0},
    {CommandId::ReadCalibration, AnswerShape::Fixed, 11, true},
    {CommandId::WriteCalibration, AnswerShape::ResultOnly, 0},
    {CommandId::EnterSleep, AnswerShape::ResultOnly, 0},
    {CommandId::ReadProductInfo, AnswerShape::Fixed, 211, true},
    {CommandId::WriteProductInfo, AnswerShape::ResultOnly, 0},
    // 31 bytes as hex pairs, then 50 plain characters counted one each in
    // LENID: 112 characters, 56 "bytes".
    {CommandId::ReadLocationInfo, AnswerShape::Fixed, 56},
    {CommandId::AccessBatteryShield, AnswerShape::Fixed, 6, true},
}};

constexpr bool AnswerLengthsFollowTheCatalogue()
{
    for (std::size_t i = 0; i < kAnswerLengths.size(); ++i)
        if (kAnswerLengths[i].id != kCommandCatalogue[i].id)
            return false;
    return true;
}
static_assert(AnswerLengthsFollowTheCatalogue(), "one answer length per command, in catalogue order");

// Whether a valid answer (RTN 0) can be the answer to the command with this
// CID2, sent with this request INFO. A CID2 outside the catalogue has no
// rule: any answer fits.
bool AnswerFitsCommand(std::uint8_t cid2, const AnswerView& answer, QByteArrayView request = {});
