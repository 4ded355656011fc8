#include "protocol/answer_length.h"

#include "protocol/records.h"

namespace {

// INFO 1 counts the cells, then come two bytes per cell, the temperature
// count (ambient and FET included) and two bytes per temperature.
bool AnalogFits(const AnswerView& answer)
{
    const int available = answer.infoCount();
    if (available < 2)
        return false;
    const int cells = answer.info(1);
    const int countAt = 2 + 2 * cells;
    if (cells > kMaxCells || available <= countAt)
        return false;
    const int temperatures = answer.info(countAt);
    return temperatures >= 2 && temperatures <= kMaxCellTemperatures + 2
        && available >= countAt + 1 + 2 * temperatures;
}

// The state counts of a 16-cell pack with four cell sensors and its ambient
// and FET sensors; an answer may stop early and fill what it carries.
bool AlarmFits(const AnswerView& answer)
{
    const int available = answer.infoCount();
    if (available < 1)
        return false;
    if (available < 2)
        return true;
    const int cells = answer.info(1);
    if (cells > kMaxCells)
        return false;
    const int countAt = 2 + cells;
    return available <= countAt || answer.info(countAt) <= kMaxCellTemperatures + 2;
}

// First status 0: a record follows (its own counts are checked where it is
// read). Any other status carries nothing but the two status bytes.
bool RecordFits(const AnswerView& answer)
{
    const int available = answer.infoCount();
    return available >= 2 && (answer.info(0) == 0 || available == 2);
}

} // namespace

bool AnswerFitsCommand(std::uint8_t cid2, const AnswerView& answer)
{
    const CommandInfo* command = CommandOfCid2(cid2);
    if (!command)
        return true;
    const AnswerLength& rule = kAnswerLengths[static_cast<std::size_t>(command->id)];
    switch (rule.shape) {
    case AnswerShape::ResultOnly:
        return answer.infoCount() == 0;
    case AnswerShape::Fixed:
        return answer.infoCount() <= rule.infoBytes;
    case AnswerShape::Analog:
        return AnalogFits(answer);
    case AnswerShape::Alarm:
        return AlarmFits(answer);
    case AnswerShape::Record:
        return RecordFits(answer);
    }
    return true;
}
