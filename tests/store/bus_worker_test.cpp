// The worker that runs bus-wide jobs: results reach the receiver as copies,
// in order, and finished comes last; cancel stops a job between packs; a job
// runs until its end was taken, so nothing it delivered is lost to the next
// one; closing the window joins every job and hears nothing more from it.
#include "store/bus_worker.h"
#include "store/running_jobs.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <numeric>
#include <semaphore>

namespace {

bool WaitFor(QSignalSpy& spy)
{
    return spy.count() > 0 || spy.wait(5000);
}

bool WaitFor(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 5000);
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

// A job whose thread has ended still runs until the window has taken its
// end: a second start is refused and enqueued work waits behind it, and
// everything the first job handed over arrives, then its end, then the next
// job's. Run many times, since whether the thread ends before the window
// looks is up to the scheduler.
TEST(BusWorker, AJobWhoseThreadEndedStillHandsOverEverythingBeforeTheNextRuns)
{
    constexpr int kRuns = 100;
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE(run);
        TBusWorker worker;
        std::vector<int> seen;
        std::vector<std::size_t> endsAfter;   // how much was seen at each finished
        QObject::connect(&worker, &TBusWorker::delivered, [&](const QVariant& value) { seen.push_back(value.toInt()); });
        QObject::connect(&worker, &TBusWorker::finished, [&](bool) { endsAfter.push_back(seen.size()); });
        auto deliverFrom = [](int first) {
            return [first](const TBusWorker::Job& job) {
                for (int value = first; value < first + 16; ++value)
                    job.deliver(value);
            };
        };
        ASSERT_TRUE(worker.start(deliverFrom(1)));
        if (run % 2 == 0)
            worker.wait();   // the thread has surely ended; its end is not yet taken
        EXPECT_TRUE(worker.isRunning());
        EXPECT_FALSE(worker.start(deliverFrom(100))) << "one job at a time";
        ASSERT_TRUE(worker.enqueue(deliverFrom(17)));
        ASSERT_TRUE(WaitFor([&] { return endsAfter.size() == 2; }));
        std::vector<int> expected(32);
        std::iota(expected.begin(), expected.end(), 1);
        EXPECT_EQ(seen, expected);
        EXPECT_EQ(endsAfter, (std::vector<std::size_t>{16, 32}));
        EXPECT_FALSE(worker.isBusy());
        EXPECT_TRUE(worker.start(deliverFrom(33))) << "free again once its end was taken";
        worker.join();
        EXPECT_EQ(seen.size(), 48u);
    }
}

TEST(BusWorker, ClosingCancelsAndJoinsEveryJobAndHearsNothingAfter)
{
    TBusWorker workers[2];
    std::atomic<int> packsDone{0};
    std::counting_semaphore<2> running{0};
    int heard = 0;
    auto job = [&](const TBusWorker::Job& run) {
        running.release();
        for (int pack = 1; pack <= 16 && !run.cancelled(); ++pack) {
            run.progress(pack, 16, QString());
            run.deliver(pack);
            ++packsDone;
            QThread::msleep(20);
        }
    };
    for (TBusWorker& worker : workers) {
        QObject::connect(&worker, &TBusWorker::delivered, [&] { ++heard; });
        QObject::connect(&worker, &TBusWorker::progressed, [&] { ++heard; });
        QObject::connect(&worker, &TBusWorker::finished, [&] { ++heard; });
        ASSERT_TRUE(worker.start(job));
    }
    running.acquire();
    running.acquire();
    RunningJobs::StopAll();
    EXPECT_FALSE(workers[0].isRunning() || workers[1].isRunning());
    const int doneAtClose = packsDone.load();
    EXPECT_LT(doneAtClose, 32) << "both stopped early";
    // What the jobs posted before they ended is dropped too.
    QCoreApplication::processEvents();
    EXPECT_EQ(heard, 0);
    EXPECT_FALSE(workers[0].start(job)) << "a closed worker starts nothing";
    EXPECT_EQ(packsDone.load(), doneAtClose);
}

// Queued work (a stop request, a log being saved) runs in order after the
// job under way, and still runs when the window closes meanwhile, though
// nothing it delivers is heard then; afterwards no job thread is left.
TEST(BusWorker, QueuedWorkRunsInOrderAndSurvivesTheClose)
{
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close ? "closed meanwhile" : "left to run");
        TBusWorker worker;
        std::binary_semaphore firstRuns{0};
        std::binary_semaphore release{0};
        std::vector<int> ran;   // written by the jobs, one after another
        std::vector<int> heard;
        QObject::connect(&worker, &TBusWorker::delivered, [&](const QVariant& value) { heard.push_back(value.toInt()); });
        for (int number = 1; number <= 3; ++number)
            ASSERT_TRUE(worker.enqueue([&, number](const TBusWorker::Job& job) {
                if (number == 1) {
                    firstRuns.release();
                    release.acquire();
                }
                ran.push_back(number);
                job.deliver(number);
            }));
        EXPECT_FALSE(worker.start([](const TBusWorker::Job&) {})) << "busy while work is queued";
        firstRuns.acquire();
        EXPECT_EQ(TBusWorker::LiveJobs(), 1);
        release.release();
        if (close)
            RunningJobs::StopAll();
        else
            worker.join();
        EXPECT_FALSE(worker.isBusy());
        EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
        EXPECT_EQ(heard, close ? std::vector<int>{} : (std::vector<int>{1, 2, 3}));
        EXPECT_EQ(TBusWorker::LiveJobs(), 0);
    }
}

} // namespace
