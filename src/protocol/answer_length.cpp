#include "protocol/answer_length.h"

#include "protocol/records.h"

#include <initializer_list>

namespace {

// Walks the fields after the first one that a live answer may end with. An
// answer fits when it ends exactly after one of them; ending inside a field
// is no layout a pack sends. Past the last field, newer firmware may append.
class FieldWalk {
public:
    FieldWalk(int available, int end) : m_available(available), m_end(end) {}

    // Whether the answer ends inside the fields walked so far.
    bool endedInside() const { return m_available < m_end; }
    bool endedAfter() const { return m_available == m_end; }
    bool holdsMore() const { return m_available > m_end; }
    // The INFO index just after the fields walked so far.
    int end() const { return m_end; }

    // Steps over fields of these widths; false once the answer has ended at
    // or inside one of them (then endedAfter() tells which).
    bool over(std::initializer_list<int> widths)
    {
        for (int width : widths) {
            if (!holdsMore())
                return false;
            m_end += width;
        }
        return holdsMore();
    }

private:
    int m_available;
    int m_end;
};

// The live answers start with the number of the pack they belong to: an
// answer that starts otherwise (a history record's status 0, say) is no
// pack's live answer. Another pack's number is the command's own business.
bool StartsWithAPackNumber(const AnswerView& answer)
{
    return answer.info(0) >= 1 && answer.info(0) <= kMaxPacks;
}

// INFO 1 counts the cells; the temperature count that follows includes the
// ambient and FET sensors. An answer may end after the cells or after any
// later field (older firmware stops early): the decoder leaves the rest
// blank.
bool AnalogFits(const AnswerView& answer)
{
    const int available = answer.infoCount();
    if (available < 2 || !StartsWithAPackNumber(answer))
        return false;
    const int cells = answer.info(1);
    if (cells > kMaxCells)
        return false;
    FieldWalk walk(available, 2 + 2 * cells);
    if (!walk.holdsMore())
        return walk.endedAfter();
    const int temperatures = answer.info(walk.end());
    if (temperatures < 2 || temperatures > kMaxCellTemperatures + 2)
        return false;
    // Count, cell temperatures, ambient, FET, current, voltage, remaining
    // capacity, then the layout byte.
    if (!walk.over({1, 2 * (temperatures - 2), 2, 2, 2, 2, 2, 1}))
        return walk.endedAfter();
    const bool extraByte = answer.info(walk.end() - 1) == 6;
    // Full capacity, cycles, SOC, SOH, balancing word, then layout 6's
    // extra byte and the humidity.
    if (!walk.over({2, 2, 1, 1, 2}) || (extraByte && !walk.over({1})) || !walk.over({1}))
        return walk.endedAfter();
    return true;
}

// The same for the alarm answer: INFO 1 counts the cell states, then come a
// temperature count and its states, the current and voltage states, the
// short-circuit word, an unused byte and the sixteen status bytes, which
// travel as one field.
bool AlarmFits(const AnswerView& answer)
{
    constexpr int kStatusBytes = 16;
    const int available = answer.infoCount();
    if (available < 2 || !StartsWithAPackNumber(answer))
        return false;
    const int cells = answer.info(1);
    if (cells > kMaxCells)
        return false;
    FieldWalk walk(available, 2 + cells);
    if (!walk.holdsMore())
        return walk.endedAfter();
    const int temperatures = answer.info(walk.end());
    if (temperatures > kMaxCellTemperatures + 2)
        return false;
    if (!walk.over({1, temperatures, 1, 1, 2, 1, kStatusBytes}))
        return walk.endedAfter();
    return true;
}

// First status 0: a record follows (its own counts are checked where it is
// read). Any other status carries nothing but the two status bytes.
bool RecordFits(const AnswerView& answer)
{
    const int available = answer.infoCount();
    return available >= 2 && (answer.info(0) == 0 || available == 2);
}

} // namespace

bool AnswerFitsCommand(std::uint8_t cid2, const AnswerView& answer, QByteArrayView request)
{
    const CommandInfo* command = CommandOfCid2(cid2);
    if (!command)
        return true;
    const AnswerLength& rule = kAnswerLengths[static_cast<std::size_t>(command->id)];
    switch (rule.shape) {
    case AnswerShape::ResultOnly:
        return answer.infoCount() == 0;
    case AnswerShape::Fixed:
        // Another command's answer of the same length is told apart by the
        // pack number that these answers repeat first.
        if (rule.echoesPack && (request.isEmpty() || answer.info(0) != std::uint8_t(request.front())))
            return false;
        return answer.infoCount() == rule.infoBytes;
    case AnswerShape::Analog:
        return AnalogFits(answer);
    case AnswerShape::Alarm:
        return AlarmFits(answer);
    case AnswerShape::Record:
        return RecordFits(answer);
    }
    return true;
}
