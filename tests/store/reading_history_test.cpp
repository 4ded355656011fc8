// The reading history: what it holds after readings come in, in what order,
// and which readings its bounds drop.

#include "store/reading_history.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

RReadingPoint At(std::int64_t timeMs)
{
    RReadingPoint point;
    point.timeMs = timeMs;
    point.voltage = std::int32_t(timeMs);   // marks the reading
    return point;
}

std::vector<std::int64_t> Times(const std::vector<RReadingPoint>& points)
{
    std::vector<std::int64_t> times;
    for (const RReadingPoint& point : points)
        times.push_back(point.timeMs);
    return times;
}

std::vector<std::int64_t> Range(std::int64_t first, std::int64_t last)
{
    std::vector<std::int64_t> times;
    for (std::int64_t time = first; time <= last; ++time)
        times.push_back(time);
    return times;
}

} // namespace

TEST(ReadingHistory, BoundsDropTheOldestReadingsFirst)
{
    struct Case {
        const char* name;
        std::size_t capacity;
        std::int64_t maxAgeMs;
        std::vector<std::int64_t> appended;
        std::vector<std::int64_t> held;
    };
    std::vector<std::int64_t> denseAfterSparse = Range(0, 199);
    denseAfterSparse.insert(denseAfterSparse.end(), 300, 200);
    std::vector<std::int64_t> denseHeld = Range(100, 199);
    denseHeld.insert(denseHeld.end(), 300, 200);
    const Case cases[] = {
        {"below both bounds", 5, 1000, {1, 2, 3}, {1, 2, 3}},
        {"count bound", 3, 1000, {1, 2, 3, 4, 5}, {3, 4, 5}},
        {"count bound over many grown steps", 1500, 1'000'000, Range(0, 4999), Range(3500, 4999)},
        {"age bound keeps exactly the maximum age", 100, 10, {0, 5, 10, 12, 20}, {10, 12, 20}},
        // Age drops move the oldest reading through the ring; denser
        // readings then make it grow again past a wrapped start.
        {"growth after the ring wrapped", 2000, 100, denseAfterSparse, denseHeld},
    };
    for (const Case& c : cases) {
        TReadingHistory history(c.capacity, c.maxAgeMs);
        for (std::int64_t time : c.appended)
            history.Append(3, At(time));
        const TReadingHistory::Slice all = history.ReadingsSince(3, 0);
        EXPECT_EQ(Times(all.points), c.held) << c.name;
        EXPECT_EQ(all.next, c.appended.size()) << c.name;
        EXPECT_EQ(all.firstHeld, c.appended.size() - c.held.size()) << c.name;
        EXPECT_EQ(history.Count(3), c.held.size()) << c.name;
        EXPECT_EQ(history.Count(4), 0u) << c.name << ": another pack";
        // A reader that has seen all but the last two gets exactly those.
        const TReadingHistory::Slice tail = history.ReadingsSince(3, all.next - 2);
        EXPECT_EQ(Times(tail.points), std::vector<std::int64_t>(c.held.end() - 2, c.held.end())) << c.name;
        for (const RReadingPoint& point : all.points)
            EXPECT_EQ(point.voltage, point.timeMs) << c.name;
        // One pack filled: never more reserved than its capacity.
        EXPECT_LE(history.ReservedBytes(), sizeof(history) + c.capacity * sizeof(RReadingPoint)) << c.name;
    }
    TReadingHistory history;
    history.Append(0, At(1));
    history.Append(17, At(1));
    EXPECT_TRUE(history.ReadingsSince(17, 0).points.empty()) << "packs outside 1-16 are not kept";
}
