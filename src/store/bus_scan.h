#pragma once

#include "protocol/devoper.h"
#include "store/bus_worker.h"

#include <QMetaType>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class TDevInfo;

// What one address said when the bus was scanned.
struct RScanEntry {
    std::uint8_t address = 0;
    // 0: it answered (our pack: its bar code and device information; another
    // maker's: live values that fit its family). Otherwise the result code:
    // kNoAnswer for silence, kFamilyUnknown for answers that fit no family
    // or two, kFamilyMismatch for a pinned family they do not fit.
    std::uint8_t result = 0;
    // Our pack: its bar code, software version and the pack number its
    // bar-code answer starts with.
    QString barCode;
    std::uint16_t softwareVersion = 0;
    std::uint8_t echoedPack = 0;
    // What the reads showed of its family; found by reads alone.
    RPackFamilyState family;
    // Another maker's pack: its identity reads and how they ended (0: read).
    RFamilyIdentity identity;
    std::uint8_t identityResult = 0;
    bool answered() const { return result == 0; }
};

struct RScanRange {
    static constexpr int kDefaultWindowMs = 700;   // the usual window of these two commands
    static constexpr int kMinWindowMs = 50;
    static constexpr int kMaxWindowMs = 10000;
    int from = 1;
    int to = 16;
    int windowMs = kDefaultWindowMs;   // reply window of each exchange
};

// Asks each address of the range for its family by reads alone (each
// family's live-value request, TDevOper::DetectFamily, reply window
// range.windowMs), then for its identity in its family: our pack its bar
// code and device information, another maker's its family's identity reads;
// an address of no known family nothing more. Through the loop over packs (ForEachPack: the polling thread leaves the
// link to the scan until it ends), one exchange at a time, each holding the
// link lock. After each address, progress gets its entry; when it returns
// false, or the control is cancelled, the scan stops there. Returns every
// address asked, in order; addresses after a lost port are not asked.
std::vector<RScanEntry> ScanBus(TDevInfo& store, const RScanRange& range,
                                const std::function<bool(const RScanEntry&)>& progress = {},
                                const RBusControl& control = {});
// The highest address that answered; 0 when none did.
std::uint8_t HighestAnswered(const std::vector<RScanEntry>& entries);

Q_DECLARE_METATYPE(RScanEntry)
