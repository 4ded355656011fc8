// The worker that runs bus-wide jobs: results reach the receiver as copies,
// in order, and finished comes last; cancel stops a job between packs.
#include "store/bus_worker.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <semaphore>

namespace {

bool WaitFor(QSignalSpy& spy)
{
    return spy.count() > 0 || spy.wait(5000);
}

TEST(BusWorker, DeliversCopiesInOrderAndFinishesLast)
{
    TBusWorker worker;
    std::vector<int> seen;
    bool finishedAfterAll = false;
    QObject::connect(&worker, &TBusWorker::delivered, [&](const QVariant& value) { seen.push_back(value.toInt()); });
    QObject::connect(&worker, &TBusWorker::finished, [&](bool cancelled) {
        finishedAfterAll = !cancelled && seen.size() == 16;
    });
    QSignalSpy finished(&worker, &TBusWorker::finished);
    ASSERT_TRUE(worker.start([](const TBusWorker::Job& job) {
        for (int pack = 1; pack <= 16; ++pack) {
            int onTheStack = pack;   // gone before the receiver runs
            job.deliver(onTheStack);
        }
    }));
    EXPECT_FALSE(worker.start([](const TBusWorker::Job&) {})) << "one job at a time";
    ASSERT_TRUE(WaitFor(finished));
    EXPECT_TRUE(finishedAfterAll);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    EXPECT_FALSE(worker.isRunning());
}

TEST(BusWorker, CancelStopsBeforeTheNextPackAndSaysSo)
{
    TBusWorker worker;
    std::binary_semaphore firstPackDone{0};
    std::binary_semaphore cancelAsked{0};
    int packsDone = 0;
    QSignalSpy finished(&worker, &TBusWorker::finished);
    ASSERT_TRUE(worker.start([&](const TBusWorker::Job& job) {
        const RBusControl control = job.control();
        for (int pack = 1; pack <= 16 && !control.isCancelled(); ++pack) {
            ++packsDone;
            if (pack == 1) {
                firstPackDone.release();
                cancelAsked.acquire();
            }
        }
    }));
    firstPackDone.acquire();
    worker.cancel();
    cancelAsked.release();
    ASSERT_TRUE(WaitFor(finished));
    EXPECT_EQ(packsDone, 1);
    EXPECT_TRUE(finished.first().first().toBool());
}

} // namespace
