#pragma once

// Jobs that cover the whole bus, one pack after the other: reading every
// pack's parameter set, writing one set to many packs, setting every clock
// and reading every pack's log. They talk to the packs through the store's
// commands (each holds the link lock for its exchange), take the packs as
// ParsePackList gives them, and report plain values. bmstool calls them in
// place; the window runs them on a TBusWorker. A pack is always addressed
// with its own number.
//
// Cancelling (RBusControl::cancelled) is looked at before each pack, so a
// pack under way is finished first: none is left half written.

#include "history/history_transfer.h"
#include "params/parameter_file.h"
#include "params/parameter_info.h"
#include "protocol/records.h"
#include "store/bus_worker.h"
#include "store/pack_loop.h"

#include <QMetaType>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class TDevInfo;

// ---- Reading every pack's parameter set.

struct RPackParameters {
    std::uint8_t pack = 0;
    std::uint8_t result = 0xFF;   // 0: set holds what the pack said
    RParameter set;               // the catalogue's defaults otherwise
    RPackReach reach = RPackReach::Asked;
};

// The entry of a pack in a job's list of packs, or null when it is not there.
template <typename Entry>
const Entry* FindPackEntry(const std::vector<Entry>& entries, std::uint8_t pack)
{
    for (const Entry& entry : entries)
        if (entry.pack == pack)
            return &entry;
    return nullptr;
}

struct RParameterSets {
    // Every pack given, in order; a pack not tried (cancel, close) or not
    // asked because the port went away carries its reach and result 0xFF.
    std::vector<RPackParameters> packs;
    bool cancelled = false;
    bool portLost = false;

    const RPackParameters* find(std::uint8_t pack) const { return FindPackEntry(packs, pack); }
    // The packs whose read failed although they were asked.
    std::vector<std::uint8_t> failed() const;
    // Every pack given whose set is not here, asked or not.
    std::vector<std::uint8_t> notRead() const;
};

// Reads the parameter block of each pack (through ForEachPack) and files
// each set read in the store, marking it read, or the pack unread when its
// read failed. Progress: packs done of all.
RParameterSets ReadParameterSets(TDevInfo& store, const std::vector<std::uint8_t>& packs,
                                 const RBusControl& control);

// ---- Comparing the sets.

// One parameter of the comparison: its value in every pack read.
struct RCompareRow {
    std::uint8_t id = 0;
    std::vector<Decimal> values;              // per pack read (result 0), in the order of the sets
    std::vector<bool> differs;                // per pack: differs from the reference
    bool perPack = false;                     // address or node number: never a difference
    bool referenced = true;                   // the reference gives a value (a file may not)
    bool anyDiffers() const;
};

// One row per used catalogue entry, in catalogue order, for the packs that
// were read; a cell differs when the value is not the reference's (the
// address and node number rows never differ). referenceIds: the ids the
// reference gives (the lines of a file); empty: all of them.
std::vector<RCompareRow> CompareParameterSets(const RParameter& reference, const std::vector<std::uint8_t>& referenceIds,
                                              const std::vector<RPackParameters>& packs);

// ---- Writing one set to many packs.

// What the packs are to hold: the lines of a parameter file (the ids it
// names change, the rest keeps each pack's value), or a whole set (a
// reference pack's) whose catalogue entries are taken. Either way each pack
// keeps its own address, node number and uncatalogued fields.
struct RParameterSource {
    std::vector<RParameterFileLine> lines;   // used when set is empty
    std::optional<RParameter> set;
};

// The set to write to a pack that holds own.
RParameter TargetParameterSet(const RParameter& own, const RParameterSource& source);

// ---- Writing one pack's block, and knowing what the pack then holds.

enum class RWriteVerdict : std::uint8_t {
    Written,            // the pack answered 0 and its block reads back as sent
    WrittenAnswerLost,  // the answer was lost or garbled; the block reads back as sent
    NotWritten,         // the answer was lost or garbled; the pack holds its old values
    Failed,             // the pack refused it, or nothing could be sent
    Unverified,         // sent, but the read-back failed or shows other values
};

struct RVerifiedWrite {
    RWriteVerdict verdict = RWriteVerdict::Failed;
    std::uint8_t writeResult = 0;
    std::optional<std::uint8_t> rejectedId;   // a value that does not fit: nothing sent
    std::uint8_t readBackResult = 0xFF;       // 0: readBack holds the pack's set
    RParameter readBack;
    std::vector<std::uint8_t> mismatchIds;    // fields that do not read back as sent
    bool written() const { return verdict == RWriteVerdict::Written || verdict == RWriteVerdict::WrittenAnswerLost; }
};

// A write result that says the answer went missing or came back damaged
// (nothing, a broken frame, another address, cut short): the pack may well
// have taken the block.
bool WriteAnswerLost(std::uint8_t result);

// Writes target to the pack and reads the block back (also when the answer
// was lost), filing the read-back in the store. before: the set the pack
// held, to tell "not written" from a partial write. With restoreDefaults
// the pack sets values of its own, so a lost answer stays Unverified. The
// pack's set is marked unread afterwards: a write always asks for a new read.
RVerifiedWrite WriteParametersVerified(TDevInfo& store, std::uint8_t pack, const RParameter& before,
                                       const RParameter& target, bool restoreDefaults);

enum class RBatchStep : std::uint8_t {
    Written,       // written, read back and verified
    ReadFailed,    // its block could not be read: nothing was sent
    Refused,       // a value is out of range or does not fit: nothing was sent
    WriteFailed,   // the pack refused or did not answer the write
    VerifyFailed,  // written, but the read-back could not be read or differs
    WrittenAnswerLost,   // the answer to the write was lost; the read-back shows it written
    NotWritten,    // the answer to the write was lost; the read-back shows the old values
};

struct RPackWriteOutcome {
    std::uint8_t pack = 0;
    RBatchStep step = RBatchStep::ReadFailed;
    std::uint8_t result = 0;                  // the failing command's result code
    std::vector<std::uint8_t> changedIds;     // the fields the write changes
    std::optional<std::uint8_t> refusedId;    // Refused: the first offending id
    QString refusedName;                      // Refused: its name (its id when it has none)
    std::vector<std::uint8_t> mismatchIds;    // VerifyFailed after a read-back
    RPackReach reach = RPackReach::Asked;     // PortLost: the port went away while it was asked
    std::optional<RParameter> readBack;       // what the pack holds after the write, when read
    bool ok() const { return step == RBatchStep::Written || step == RBatchStep::WrittenAnswerLost; }
};

struct RBatchWriteReport {
    std::vector<RPackWriteOutcome> packs;    // the packs asked, in order
    std::vector<std::uint8_t> notDone;       // not tried or port lost before these
    bool cancelled = false;
    bool portLost = false;
    RPackLoopResult loop;                    // every pack given, with how far it was asked
    bool allWritten() const;
};

// For each pack: read its block, build the target set, check it as the
// parameter page checks before a write, write, read back and compare field
// by field. A pack that fails at any step is reported and the next one goes
// on. language picks the name put in refusedName (0 Chinese, 1 English).
RBatchWriteReport WriteParameterSets(TDevInfo& store, const std::vector<std::uint8_t>& packs,
                                     const RParameterSource& source, std::uint8_t language,
                                     const RBusControl& control);

// ---- Every clock.

struct RClockOutcome {
    std::uint8_t pack = 0;
    RPackReach reach = RPackReach::Asked;   // PortLost also for a pack the lost port cut off
    bool asked = false;                     // its requests went out; otherwise nothing below is set
    std::uint8_t readResult = 0xFF;
    RDeviceTime before;                   // the pack's clock, when read
    std::optional<qint64> offsetSeconds;  // pack minus PC, before the sync
    std::uint8_t writeResult = 0xFF;
    RDeviceTime written;                  // the PC time sent
    bool ok() const { return writeResult == 0; }
};

struct RClockSyncReport {
    std::vector<RClockOutcome> packs;   // every pack given, in order
    bool cancelled = false;
    bool portLost = false;
};

// Reads each pack's clock (its offset from the PC clock), then sets it to
// the PC clock. A pack whose clock could not be read is still set. A pack
// not asked (cancel, lost port) is in the report with its reach.
// onPack, when given, gets each pack asked as soon as it is done.
RClockSyncReport SyncClocks(TDevInfo& store, const std::vector<std::uint8_t>& packs, const RBusControl& control,
                            const std::function<void(const RClockOutcome&)>& onPack = {});

// Whole seconds from the PC time to the pack time; none for a time that is
// no date.
std::optional<qint64> ClockOffsetSeconds(const RDeviceTime& pack, const RDeviceTime& pc);

// ---- Every log.

struct RPackLogOutcome {
    std::uint8_t pack = 0;
    HistoryTransferEnd end = HistoryTransferEnd::Running;
    int records = 0;
    std::uint8_t lastError = 0;
    QString deviceCode;   // the bar code, when the pack gave it
};

// Reads one pack's work-data or alarm log to its end. Each record goes to
// onRecord (row numbered from 1) as it comes. When the control is cancelled,
// or onRecord returns false (its file cannot be written), the transfer sends
// its one stop request and ends Stopped. The bar code, which goes into every
// row, is asked first unless the caller read it already (knownBarCode).
RPackLogOutcome ReadPackLog(TDevInfo& store, std::uint8_t pack, bool alarmLog, const RBusControl& control,
                            const std::function<bool(int row, const RHistoryRecord&, const QString& deviceCode)>& onRecord,
                            const std::optional<QString>& knownBarCode = std::nullopt);

// What reading the logs of several packs came to.
struct RAllPackLogs {
    RPackLoopResult loop;                 // every pack given, with how far it was asked
    std::vector<RPackLogOutcome> packs;   // the packs asked, in order
    // The packs whose whole log came (their end mark), and the packs given
    // whose log did not, asked or not: what a cancelled run says.
    std::vector<std::uint8_t> complete() const;
    std::vector<std::uint8_t> incomplete() const;
    const RPackLogOutcome* find(std::uint8_t pack) const { return FindPackEntry(packs, pack); }
};

// Reads the log of each pack in turn (ForEachPack over ReadPackLog), the
// one way every front end reads a rack's logs. onRecord gets each record
// with its pack as it comes (false stops that pack's transfer, which counts
// as not complete; the next pack goes on); onPackEnd, when given, gets each
// pack asked as soon as its transfer has ended. A cancel sends the stop
// request to the pack under way and leaves the rest untried.
RAllPackLogs ReadAllPackLogs(
    TDevInfo& store, const std::vector<std::uint8_t>& packs, bool alarmLog, const RBusControl& control,
    const std::function<bool(std::uint8_t pack, int row, const RHistoryRecord&, const QString& deviceCode)>& onRecord,
    const std::function<void(const RPackLogOutcome&)>& onPackEnd = {});

Q_DECLARE_METATYPE(RParameterSets)
Q_DECLARE_METATYPE(RAllPackLogs)
Q_DECLARE_METATYPE(RBatchWriteReport)
Q_DECLARE_METATYPE(RClockSyncReport)
