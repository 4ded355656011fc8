#include "sim_store.h"

#include "protocol/result_codes.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>

// The polling thread fills the store through the façade while the window's
// thread copies records and status out, and a page sends its own command
// now and then. Under ThreadSanitizer this proves the store and the link
// lock keep the two threads apart; here it checks that no copy is torn and
// that the reading history hands every reading over once.
TEST(StoreThreads, PollingWhileTheWindowCopiesRecordsGivesWholeRecords)
{
    SimOptions options;
    options.packs = 3;
    SimulatedStore sim(options);
    ASSERT_TRUE(sim.opened);
    TDevInfo& store = *sim.store;
    store.SelectAllPacks();

    constexpr int kCycles = 40;
    std::atomic<bool> polling{true};
    std::atomic<int> goodReads{0};
    std::thread poller([&] {
        for (int cycle = 0; cycle < kCycles; ++cycle) {
            for (int row = 0; row < 3; ++row) {
                const RPackEntry entry = store.GetPackEntry(row);
                if (!entry.polled)
                    continue;
                store.SetCurrentPackNumber(entry.packNumber);
                store.SetCurrentAddress(entry.address);
                std::uint8_t echoed = 0;
                std::uint8_t result = store.ReadAnalogData(entry.address, entry.packNumber, echoed);
                store.SetLastResult(result);
                if (result == ResultCode::kSuccess) {
                    store.SetEchoedPackNumber(echoed);
                    store.MarkAnswered(entry.packNumber, QDateTime::currentDateTime());
                    ++goodReads;
                }
                result = store.ReadAlarmData(entry.address, entry.packNumber);
                store.SetLastResult(result);
                store.SetBarCode(QStringLiteral("BC-%1").arg(cycle));
            }
        }
        polling = false;
    });

    // The chart window's way of reading the history: only what came since
    // its last look; every reading arrives once and whole.
    std::array<std::uint64_t, 4> nextReading{};
    std::array<std::size_t, 4> readingsSeen{};
    auto fetchReadings = [&] {
        for (std::uint8_t pack = 1; pack <= 3; ++pack) {
            const TReadingHistory::Slice slice = store.Readings().ReadingsSince(pack, nextReading[pack]);
            for (const RReadingPoint& point : slice.points)
                EXPECT_NE(point.highestCellMv, 0);
            readingsSeen[pack] += slice.points.size();
            nextReading[pack] = slice.next;
        }
    };
    int copies = 0;
    while (polling) {
        fetchReadings();
        for (std::uint8_t pack = 1; pack <= 3; ++pack) {
            const RAnalogData analog = store.GetAnalogData(pack);
            EXPECT_EQ(analog.packNumber, pack);
            // A filled record has all its cells; a blank one has none.
            const bool filled = analog.totalVoltage != Decimal();
            EXPECT_EQ(analog.cellVoltages[15] != 0, filled);
            EXPECT_EQ(store.GetAlarmData(pack).packNumber, pack);
            EXPECT_FALSE(store.IsSilent(pack, QDateTime::currentDateTime()));
        }
        EXPECT_LE(store.CurrentPackNumber(), 3);
        (void)store.BarCode();
        (void)store.GetPackEntry(copies % kMaxPacks);
        if (copies % 50 == 0) {
            RDeviceTime time;
            EXPECT_EQ(store.ReadDateTime(1, time), ResultCode::kSuccess);
        }
        ++copies;
    }
    poller.join();
    fetchReadings();
    EXPECT_EQ(goodReads.load(), 3 * kCycles);
    EXPECT_EQ(readingsSeen[1] + readingsSeen[2] + readingsSeen[3], std::size_t(3 * kCycles));
    EXPECT_GT(copies, 0);
    EXPECT_EQ(store.BarCode(), QStringLiteral("BC-%1").arg(kCycles - 1));
}
