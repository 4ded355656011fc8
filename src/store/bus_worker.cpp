#include "store/bus_worker.h"

#include "store/running_jobs.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <utility>

bool TBusWorker::Job::cancelled() const
{
    return m_worker.m_cancel.load();
}

void TBusWorker::Job::progress(int done, int total, const QString& what) const
{
    TBusWorker* worker = &m_worker;
    const quint64 number = m_number;
    QMetaObject::invokeMethod(
        worker,
        [worker, number, done, total, what] {
            if (worker->speaks(number))
                emit worker->progressed(done, total, what);
        },
        Qt::QueuedConnection);
}

void TBusWorker::Job::deliver(const QVariant& value) const
{
    TBusWorker* worker = &m_worker;
    const quint64 number = m_number;
    QMetaObject::invokeMethod(
        worker,
        [worker, number, value] {
            if (worker->speaks(number))
                emit worker->delivered(value);
        },
        Qt::QueuedConnection);
}

RBusControl TBusWorker::Job::control() const
{
    return RBusControl{[this] { return cancelled(); },
                       [this](int done, int total, const QString& what) { progress(done, total, what); }};
}

namespace {

std::atomic<int> g_liveJobs{0};

} // namespace

int TBusWorker::LiveJobs()
{
    return g_liveJobs.load();
}

TBusWorker::TBusWorker(QObject* parent) : QObject(parent)
{
    RunningJobs::Add(this, {[this] { shutDown(); }, [this] { join(); }, [this] { cancel(); }});
}

TBusWorker::~TBusWorker()
{
    RunningJobs::Remove(this);
    m_shutDown = true;
    m_cancel = true;
    if (m_thread) {
        m_thread->requestInterruption();
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
    // What was queued must not be lost (a save, a stop request): it runs
    // here, with nobody left to hear from it.
    const std::vector<Work> queued = std::exchange(m_queue, {});
    for (const Work& work : queued) {
        QThread* thread = QThread::create([this, work] { work(Job(*this, 0)); });
        thread->start();
        thread->wait();
        delete thread;
    }
}

bool TBusWorker::start(Work work)
{
    if (m_shutDown || isBusy())
        return false;
    m_queue.push_back(std::move(work));
    startNext();
    return true;
}

bool TBusWorker::enqueue(Work work)
{
    if (m_shutDown)
        return false;
    m_queue.push_back(std::move(work));
    if (!m_running)
        startNext();
    return true;
}

void TBusWorker::startNext()
{
    if (m_queue.empty())
        return;
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
    Work work = std::move(m_queue.front());
    m_queue.erase(m_queue.begin());
    // A closing worker keeps its cancel for the last jobs.
    if (!m_shutDown)
        m_cancel = false;
    const quint64 number = ++m_jobNumber;
    g_liveJobs.fetch_add(1);
    m_thread = QThread::create([this, number, work = std::move(work)] {
        work(Job(*this, number));
        g_liveJobs.fetch_sub(1);
    });
    m_thread->setObjectName(QStringLiteral("bus worker"));
    m_running = true;
    // Queued to this object, so finished comes after every delivery the job
    // posted before it ended.
    connect(m_thread, &QThread::finished, this, [this, number] { jobEnded(number); }, Qt::QueuedConnection);
    m_thread->start();
}

void TBusWorker::cancel()
{
    m_cancel = true;
}

void TBusWorker::wait()
{
    if (m_thread)
        m_thread->wait();
}

void TBusWorker::shutDown()
{
    if (m_onShutDown && !m_shutDown)
        m_onShutDown();
    m_shutDown = true;
    m_cancel = true;
}

void TBusWorker::join()
{
    // The thread's end is queued to this object after everything the job
    // handed over; delivering this object's queued calls emits them in
    // order, and the end starts the next queued job, which is waited for in
    // turn.
    while (m_running) {
        if (m_thread)
            m_thread->wait();
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
}

void TBusWorker::jobEnded(quint64 number)
{
    // The end of an earlier job (one whose worker was shut down meanwhile)
    // says nothing and starts nothing.
    if (number != m_jobNumber)
        return;
    const bool cancelled = m_cancel.load();
    m_running = false;
    // The next queued job starts before receivers hear of this one's end, so
    // that one of them may queue more behind it; its deliveries are queued
    // behind this end.
    startNext();
    if (!m_shutDown)
        emit finished(cancelled);
}
