#include "store/reading_history.h"

#include "store/devinfo.h"

#include <QMutexLocker>

#include <algorithm>

namespace {

// The wire carries voltage and current in 16-bit fields, so their raw
// values fit 32 bits by far; a value that would not is held at the limit
// rather than wrapped into a wrong sign.
std::int32_t Raw32(const Decimal& value)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value.raw(), INT32_MIN, INT32_MAX));
}

RReadingPoint PointOf(std::int64_t timeMs, const Decimal& voltage, const Decimal& current, std::uint8_t soc,
                      const CellExtreme& lowest, const CellExtreme& highest)
{
    RReadingPoint point;
    point.timeMs = timeMs;
    point.voltage = Raw32(voltage);
    point.current = Raw32(current);
    point.soc = soc;
    point.lowestCellMv = lowest.millivolts;
    point.highestCellMv = highest.millivolts;
    return point;
}

} // namespace

RReadingPoint ReadingPointOf(const RAnalogData& record)
{
    const QDateTime time = record.time.isValid() ? record.time : QDateTime::currentDateTime();
    return PointOf(time.toMSecsSinceEpoch(), record.totalVoltage, record.current, record.soc, MinCellVoltage(record),
                   MaxCellVoltage(record));
}

std::optional<RReadingPoint> ReadingPointOf(const RHistoryRecord& record)
{
    const RDeviceTime& t = record.time;
    const QDateTime time(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second));
    if (!time.isValid())
        return std::nullopt;
    return PointOf(time.toMSecsSinceEpoch(), record.voltage, record.current, record.soc,
                   TDevInfo::MinCellVoltage(record.cellVoltages), TDevInfo::MaxCellVoltage(record.cellVoltages));
}

TReadingHistory::TReadingHistory(std::size_t capacityPerPack, std::int64_t maxAgeMs)
    : m_capacity(std::max<std::size_t>(capacityPerPack, 1))
    , m_maxAgeMs(maxAgeMs)
{
}

void TReadingHistory::Ring::dropOldest()
{
    oldest = (oldest + 1) % buffer.size();
    --count;
}

void TReadingHistory::Append(std::uint8_t packNumber, const RReadingPoint& point)
{
    if (packNumber < 1 || packNumber > kMaxPacks)
        return;
    QMutexLocker locker(&m_lock);
    Ring& ring = m_rings[std::size_t(packNumber - 1)];
    while (ring.count > 0 && ring.at(0).timeMs < point.timeMs - m_maxAgeMs)
        ring.dropOldest();
    if (ring.count == m_capacity)
        ring.dropOldest();
    if (ring.count == ring.buffer.size()) {
        // Every slot is taken but the ring may still grow: put the oldest
        // first and add a slot. The ring reserves in steps it chooses, so
        // that it never reserves more than its capacity.
        std::rotate(ring.buffer.begin(), ring.buffer.begin() + std::ptrdiff_t(ring.oldest), ring.buffer.end());
        ring.oldest = 0;
        if (ring.buffer.size() == ring.buffer.capacity())
            ring.buffer.reserve(std::min(m_capacity, std::max<std::size_t>(1024, ring.buffer.size() * 2)));
        ring.buffer.push_back(point);
    } else {
        ring.buffer[(ring.oldest + ring.count) % ring.buffer.size()] = point;
    }
    ++ring.count;
    ++ring.appended;
}

TReadingHistory::Slice TReadingHistory::ReadingsSince(std::uint8_t packNumber, std::uint64_t sequence) const
{
    Slice slice;
    if (packNumber < 1 || packNumber > kMaxPacks)
        return slice;
    QMutexLocker locker(&m_lock);
    const Ring& ring = m_rings[std::size_t(packNumber - 1)];
    slice.firstHeld = ring.appended - ring.count;
    slice.next = ring.appended;
    const std::uint64_t from = std::clamp(sequence, slice.firstHeld, ring.appended);
    slice.points.reserve(std::size_t(ring.appended - from));
    for (std::size_t index = std::size_t(from - slice.firstHeld); index < ring.count; ++index)
        slice.points.push_back(ring.at(index));
    return slice;
}

std::size_t TReadingHistory::Count(std::uint8_t packNumber) const
{
    if (packNumber < 1 || packNumber > kMaxPacks)
        return 0;
    QMutexLocker locker(&m_lock);
    return m_rings[std::size_t(packNumber - 1)].count;
}

std::size_t TReadingHistory::ReservedBytes() const
{
    QMutexLocker locker(&m_lock);
    std::size_t bytes = sizeof(*this);
    for (const Ring& ring : m_rings)
        bytes += ring.buffer.capacity() * sizeof(RReadingPoint);
    return bytes;
}
