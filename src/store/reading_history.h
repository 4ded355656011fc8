#pragma once

// The last readings of every pack, kept for the chart window: one compact
// record per analog reading, at most a day of them per pack, the oldest
// dropped first.
//
// Threads: the polling thread appends (through the store, as it files a
// reading); the user-interface thread copies readings out. One lock of its
// own guards the rings, held only for the copy of a 24-byte record in, or
// of the records asked for out, never while an exchange runs.

#include "history/history_record.h"
#include "protocol/records.h"

#include <QMutex>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// One reading as the charts draw it. Values keep their exact units:
// voltage and current in ten-thousandths (the raw value of Decimal; the
// wire's 16-bit fields fit 32 bits), cell voltages in millivolts.
struct RReadingPoint {
    std::int64_t timeMs = 0;          // PC clock (or the record's own time), ms since 1970 UTC
    std::int32_t voltage = 0;         // V / 10000
    std::int32_t current = 0;         // A / 10000, signed as sent
    std::uint16_t lowestCellMv = 0;   // the lowest cell that has a reading
    std::uint16_t highestCellMv = 0;
    std::uint8_t soc = 0;             // %

    friend bool operator==(const RReadingPoint&, const RReadingPoint&) = default;
};

// The point of a live reading, stamped with the time it was made.
RReadingPoint ReadingPointOf(const RAnalogData& record);
// The point of a stored work-data record at the pack's own time; none when
// that time is no valid date.
std::optional<RReadingPoint> ReadingPointOf(const RHistoryRecord& record);

class TReadingHistory {
public:
    // A day of one reading a second.
    static constexpr std::size_t kDefaultCapacity = 24 * 60 * 60;
    static constexpr std::int64_t kDefaultMaxAgeMs = 24LL * 60 * 60 * 1000;

    explicit TReadingHistory(std::size_t capacityPerPack = kDefaultCapacity,
                             std::int64_t maxAgeMs = kDefaultMaxAgeMs);
    TReadingHistory(const TReadingHistory&) = delete;
    TReadingHistory& operator=(const TReadingHistory&) = delete;

    // Files a reading of pack 1..16 (others are ignored). Drops the oldest
    // readings beyond the capacity and those older than the maximum age
    // before the new one.
    void Append(std::uint8_t packNumber, const RReadingPoint& point);

    // What a reader gets: the readings appended after the sequence number
    // it passed (all held when that is older than the oldest held), the
    // sequence number of the oldest reading still held, and the number to
    // pass next time. Sequence numbers count the pack's appended readings
    // from 0.
    struct Slice {
        std::vector<RReadingPoint> points;
        std::uint64_t firstHeld = 0;
        std::uint64_t next = 0;
    };
    Slice ReadingsSince(std::uint8_t packNumber, std::uint64_t sequence) const;
    std::size_t Count(std::uint8_t packNumber) const;
    // Bytes the rings have reserved.
    std::size_t ReservedBytes() const;

private:
    struct Ring {
        std::vector<RReadingPoint> buffer;   // grows up to the capacity, then wraps
        std::size_t oldest = 0;             // slot of the oldest reading held
        std::size_t count = 0;
        std::uint64_t appended = 0;

        const RReadingPoint& at(std::size_t index) const { return buffer[(oldest + index) % buffer.size()]; }
        void dropOldest();
    };

    const std::size_t m_capacity;
    const std::int64_t m_maxAgeMs;
    mutable QMutex m_lock;   // guards the rings
    std::array<Ring, kMaxPacks> m_rings;
};
