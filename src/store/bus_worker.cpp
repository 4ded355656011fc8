#include "store/bus_worker.h"

#include "store/running_jobs.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

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

TBusWorker::TBusWorker(QObject* parent) : QObject(parent)
{
    RunningJobs::Add(this, {[this] { shutDown(); }, [this] { waitServingEvents(); }});
}

TBusWorker::~TBusWorker()
{
    RunningJobs::Remove(this);
    if (m_thread) {
        m_cancel = true;
        m_thread->requestInterruption();
        m_thread->wait();
        delete m_thread;
    }
}

bool TBusWorker::start(Work work)
{
    if (m_shutDown || isRunning())
        return false;
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
    m_cancel = false;
    const quint64 number = ++m_jobNumber;
    m_thread = QThread::create([this, number, work = std::move(work)] { work(Job(*this, number)); });
    m_thread->setObjectName(QStringLiteral("bus worker"));
    // Queued to this object, so finished comes after every delivery the job
    // posted before it ended.
    connect(m_thread, &QThread::finished, this, [this, number] { jobEnded(number); }, Qt::QueuedConnection);
    m_thread->start();
    return true;
}

void TBusWorker::cancel()
{
    m_cancel = true;
}

bool TBusWorker::isRunning() const
{
    return m_thread && !m_thread->isFinished();
}

void TBusWorker::wait()
{
    if (m_thread)
        m_thread->wait();
}

void TBusWorker::shutDown()
{
    m_shutDown = true;
    m_cancel = true;
}

void TBusWorker::waitServingEvents()
{
    while (m_thread && !m_thread->wait(10))
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TBusWorker::jobEnded(quint64 number)
{
    // The end of an earlier job (one started again from a receiver of its
    // delivery) or of a job of a closing window says nothing.
    if (speaks(number))
        emit finished(m_cancel.load());
}
