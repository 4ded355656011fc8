#pragma once

#include "protocol/devoper.h"
#include "protocol/records.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// One command of a pack's turn and how it ended: the CID2 sent and the
// result code (0 when the pack answered it well, ResultCode::kNoAnswer when
// it stayed silent).
struct RExchangeResult {
    std::uint8_t cid2 = 0;
    std::uint8_t result = 0;

    friend bool operator==(const RExchangeResult&, const RExchangeResult&) = default;
};

// What one pack gave in one turn of the polling cycle (or as heard on a bus
// another master polls): copies of the readings taken in that turn, never
// references into the store.
struct RPackSample {
    std::uint8_t pack = 0;
    std::uint8_t address = 0;
    // Whose protocol the pack speaks, as far as known when the turn ended:
    // a turn without readings still says it.
    PackFamily family = PackFamily::Ours;
    // Set on the one turn that found the pack's family in trouble (an answer
    // that fits no family, two families at the address, a pinned family the
    // answers do not fit); each trouble comes once.
    std::optional<RPackFamilyState> familyProblem;
    // The pack's bar code as last read (another maker's pack: its serial
    // number, where its family has one); empty while it is not known.
    QString barCode;
    // When the readings were taken, on the PC clock.
    QDateTime time;
    // This turn's readings, present only when the pack answered them.
    std::optional<RAnalogData> analog;
    std::optional<RAlarmData> alarm;
    // Every command of the turn, in the order sent.
    std::vector<RExchangeResult> exchanges;

    // The pack answered at least one command of the turn.
    bool Answered() const
    {
        for (const RExchangeResult& exchange : exchanges)
            if (exchange.result == 0)
                return true;
        return false;
    }
};

// Takes each pack's turn as it ends. Called on the polling thread after
// every turn (a turn cut short by a stop or a bus job too); it must not
// wait on anything slow (a network, a disk): it copies and returns.
class IPackSampleSink {
public:
    virtual ~IPackSampleSink() = default;
    virtual void PackSampled(const RPackSample& sample) = 0;
};
