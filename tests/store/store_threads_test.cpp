#include "sim_store.h"

#include "protocol/result_codes.h"
#include "services/settings.h"
#include "store/thread_pack.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <array>

// The polling thread fills the store through the façade while the window's
// thread copies records and status out, as the refreshes arrive and
// between them, and sends a command of its own now and then. Under
// ThreadSanitizer this proves the store, the link lock and the hand-over of
// the calls keep the two threads apart; here it checks that no copy is torn
// and that the reading history hands every reading over once.
TEST(StoreThreads, PollingWhileTheWindowCopiesRecordsGivesWholeRecords)
{
    SimOptions options;
    options.packs = 3;
    SimulatedStore sim(options);
    ASSERT_TRUE(sim.opened);
    TDevInfo& store = *sim.store;
    store.SelectAllPacks();
    AppGlobals globals;
    globals.PortNumber = 1;

    // The chart window's way of reading the history: only what came since
    // its last look.
    std::array<std::uint64_t, 4> nextReading{};
    auto fetchReadings = [&](std::uint8_t pack) {
        const TReadingHistory::Slice slice = store.Readings().ReadingsSince(pack, nextReading[pack]);
        for (const RReadingPoint& point : slice.points)
            EXPECT_NE(point.highestCellMv, 0);
        nextReading[pack] = slice.next;
        return slice.points.size();
    };

    constexpr int kReadings = 18;
    int refreshes = 0;
    TThreadPack thread(store, globals);
    thread.SetPlan(RPollPlan{.packRows = 3, .allPacks = true});
    // As the window's RefreshAnalog, queued to this thread: the copy it
    // carries is whole and of the pack it names, and every reading reaches
    // the history once.
    std::size_t fetchedOnRefresh = 0;
    QObject::connect(&thread, &TThreadPack::refreshAnalog, &thread, [&](const RPolledView& view) {
        EXPECT_EQ(view.analog.packNumber, view.focus.pack);
        EXPECT_EQ(view.analog.cellVoltages[15] != 0, view.analog.totalVoltage != Decimal());
        fetchedOnRefresh += fetchReadings(view.focus.pack);
        ++refreshes;
    });
    thread.start();

    const QDeadlineTimer deadline(60000);
    int copies = 0;
    while (refreshes < kReadings && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
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
    thread.Stop();
    // What the thread posted before it ended still arrives.
    QCoreApplication::processEvents();
    EXPECT_GE(refreshes, kReadings);
    EXPECT_EQ(fetchedOnRefresh, std::size_t(refreshes));
    EXPECT_GT(copies, 0);
    // A reading taken as the stop came has not been shown; it is still in
    // the history, once.
    std::size_t notShown = 0;
    for (std::uint8_t pack = 1; pack <= 3; ++pack)
        notShown += fetchReadings(pack);
    EXPECT_LE(notShown, 1u);
}
