#pragma once

// The one loop over the packs of a bus-wide job: cancel is looked at and
// progress reported before each pack, and a pack is only ever reported as
// not answering when it was asked while the port was there.

#include "store/bus_worker.h"

#include <QMetaType>

#include <cstdint>
#include <functional>
#include <vector>

class TDevInfo;

// Whether a pack of a bus job was asked at all.
enum class RPackReach : std::uint8_t {
    Asked,      // its requests went out: its result codes say how it answered
    NotTried,   // the job was cancelled (or the window closed) before this pack
    PortLost,   // the port was gone before this pack, or went away while it was asked
};

struct RPackVisit {
    std::uint8_t pack = 0;
    RPackReach reach = RPackReach::NotTried;
};

struct RPackLoopResult {
    std::vector<RPackVisit> visits;   // every pack given, in order
    bool cancelled = false;
    bool portLost = false;
    RPackReach reachOf(std::uint8_t pack) const;   // NotTried for a pack not given
    std::vector<std::uint8_t> packsWith(RPackReach reach) const;
};

// Runs visit(pack, index) for each pack in turn, holding the bus
// (TBusHold) from the first pack to the last. Before each pack: a cancel
// makes this pack and the rest NotTried; a closed link (the port went away)
// makes them PortLost. After a pack whose visit returned false (something
// failed), a link that is closed now makes that pack PortLost too: its
// failure came from the lost port, not from the pack. Progress: packs done
// of all, with the pack number about to be asked as text.
RPackLoopResult ForEachPack(TDevInfo& store, const std::vector<std::uint8_t>& packs, const RBusControl& control,
                            const std::function<bool(std::uint8_t pack, int index)>& visit);

Q_DECLARE_METATYPE(RPackReach)
