#pragma once

#include "protocol/answer_view.h"
#include "protocol/command_catalogue.h"

#include <array>
#include <cstdint>

// Answers carry no command code: the only thing that tells the answer asked
// for from a late answer to another command is its length. Each command's
// answer has a fixed INFO length or one that follows from its own counts.
// Short answers are the command's own business (they fill what they carry,
// or are refused as incomplete), so these rules refuse only lengths that no
// answer to the command can have.
enum class AnswerShape : std::uint8_t {
    ResultOnly,   // no INFO at all
    Fixed,        // at most infoBytes
    Analog,       // cells and temperatures as counted, whole; newer firmware may append fields
    Alarm,        // counts a 16-cell pack can send; newer firmware may append fields
    Record,       // a history record as counted, or a two-byte status without one
};

struct AnswerLength {
    CommandId id;
    AnswerShape shape;
    int infoBytes;   // Fixed: the longest INFO
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
    {CommandId::ReadDeviceInfo, AnswerShape::Fixed, 32},
    {CommandId::ReadPackQuantity, AnswerShape::Fixed, 2},
    {CommandId::WriteRecordTime, AnswerShape::ResultOnly, 0},
    {CommandId::WriteFunctionSwitches, AnswerShape::Fixed, 3},
    {CommandId::DeleteAlarmRecords, AnswerShape::ResultOnly, 0},
    {CommandId::DeleteWorkData, AnswerShape::ResultOnly, 0},
    {CommandId::ReadCapacity, AnswerShape::Fixed, 7},
    {CommandId::WriteCapacity, AnswerShape::ResultOnly, 0},
    {CommandId::WriteCycleTime, AnswerShape::ResultOnly, 0},
    {CommandId::WritePackQuantity, AnswerShape::ResultOnly, 0},
    {CommandId::ReadBarCode, AnswerShape::Fixed, 31},
    {CommandId::WriteBarCode, AnswerShape::ResultOnly, 0},
    {CommandId::ReadDischargeAccumulating, AnswerShape::Fixed, 9},
    {CommandId::WriteDischargeAccumulating, AnswerShape::ResultOnly, 0},
    {CommandId::ReadCalibration, AnswerShape::Fixed, 11},
    {CommandId::WriteCalibration, AnswerShape::ResultOnly, 0},
    {CommandId::EnterSleep, AnswerShape::ResultOnly, 0},
    {CommandId::ReadProductInfo, AnswerShape::Fixed, 211},
    {CommandId::WriteProductInfo, AnswerShape::ResultOnly, 0},
    // 31 bytes as hex pairs, then 50 plain characters counted one each in
    // LENID: 112 characters, 56 "bytes".
    {CommandId::ReadLocationInfo, AnswerShape::Fixed, 56},
    {CommandId::AccessBatteryShield, AnswerShape::Fixed, 6},
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
// CID2. A CID2 outside the catalogue has no rule: any answer fits.
bool AnswerFitsCommand(std::uint8_t cid2, const AnswerView& answer);
