#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

#include <atomic>
#include <functional>
#include <vector>

class QThread;

// What a bus-wide job (reading every pack's parameters, writing a set to
// many packs, setting every clock, reading every log, a service report) may
// ask of whoever runs it. bmstool runs a job in place with a control of its
// own; the window runs it on a TBusWorker, whose Job hands one out.
struct RBusControl {
    std::function<bool()> cancelled;                                          // none: never
    std::function<void(int done, int total, const QString& what)> progress;   // none: not shown

    bool isCancelled() const { return cancelled && cancelled(); }
    void report(int done, int total, const QString& what) const
    {
        if (progress)
            progress(done, total, what);
    }
};

// The one runner for background pack work in the window: bus-wide jobs,
// the bus scan, record transfers, report gathering and background saves.
// It runs one job at a time on a thread of its own, so that the window
// keeps painting while the packs answer one after another. The job talks to
// the packs through the store's commands, each of which holds the link lock
// for its whole exchange, so polling and page commands take turns with it.
// What the job finds reaches the window through queued signals carrying
// copies (delivered), never references into the job's stack; they are
// emitted on the worker object's own thread, in the order the job gave them,
// and finished comes after the last of them. A job counts as running until
// its end has been taken on the worker's thread (finished emitted), even
// when its own thread ended long before: nothing it handed over is dropped
// by a job started after it.
//
// The object lives in, and is driven from, the user-interface thread.
class TBusWorker final : public QObject {
    Q_OBJECT
public:
    // The job's side of the worker; used on the worker's thread only.
    class Job {
    public:
        // Cancel asked for: stop before the next pack (an exchange under
        // way is never cut short, so no pack is left half written).
        bool cancelled() const;
        void progress(int done, int total, const QString& what) const;
        // Hands a result over by value: receivers get it through delivered().
        void deliver(const QVariant& value) const;
        // The same, for core functions that take an RBusControl.
        RBusControl control() const;

    private:
        friend class TBusWorker;
        Job(TBusWorker& worker, quint64 number) : m_worker(worker), m_number(number) {}
        TBusWorker& m_worker;
        quint64 m_number;   // which start() this job came from
    };
    using Work = std::function<void(const Job&)>;

    // Lists itself with RunningJobs, so that closing the window cancels and
    // joins its job with every other one.
    explicit TBusWorker(QObject* parent = nullptr);
    // Cancels a running job and waits for it; its exchange under way is cut
    // short (the window is closing).
    ~TBusWorker() override;

    // Starts the job; false, and nothing started, while another one runs
    // (until its finished has been emitted) or is queued, or after
    // shutDown().
    bool start(Work work);
    // Runs the job after those before it (at once when idle); false only
    // after shutDown(). For work that must not be lost: a queued job still
    // runs when the window closes (a stop request, a file being saved),
    // though nothing it delivers is heard then.
    bool enqueue(Work work);
    // Asks the job under way to stop before its next pack; the worker stays
    // usable and its finished signal says cancelled.
    void cancel();
    // From start until the job's end has been taken (its finished emitted).
    bool isRunning() const { return m_running; }
    // Whether a job runs or waits in the queue.
    bool isBusy() const { return isRunning() || !m_queue.empty(); }
    // Blocks until the job's thread has ended; what it delivered, and its
    // end, still arrive through the event loop.
    void wait();
    // Blocks until the job under way and every queued one have ended, and
    // emits what they delivered, and their ends, before it returns. It runs
    // no event loop: only this worker's own queued calls are delivered.
    void join();
    // The window closes: run the owner's last step (setOnShutDown), cancel,
    // and from now on emit nothing (not even what the job delivered before)
    // and start nothing new; what is queued still runs.
    void shutDown();
    bool isShutDown() const { return m_shutDown; }
    // Called first thing in shutDown(), while work can still be queued: a
    // record page queues its stop request there.
    void setOnShutDown(std::function<void()> step) { m_onShutDown = std::move(step); }

    // Job threads alive in the whole program, for the store's check that
    // nothing still runs when it is freed. Any thread.
    static int LiveJobs();

signals:
    void progressed(int done, int total, const QString& what);
    void delivered(const QVariant& value);
    void finished(bool cancelled);

private:
    void jobEnded(quint64 number);
    void startNext();
    // Whether a signal of job number may still be emitted: it is the
    // current job and the worker was not shut down. User-interface thread.
    bool speaks(quint64 number) const { return !m_shutDown && number == m_jobNumber; }
    QThread* m_thread = nullptr;
    bool m_running = false;   // user-interface thread only
    std::atomic<bool> m_cancel{false};
    // Jobs are told apart by number, never by the thread's address, which a
    // new thread may reuse. Both user-interface thread only.
    quint64 m_jobNumber = 0;
    bool m_shutDown = false;
    std::vector<Work> m_queue;   // jobs waiting for the one under way
    std::function<void()> m_onShutDown;
};
