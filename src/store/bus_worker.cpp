#include "store/bus_worker.h"

#include <QMetaObject>
#include <QThread>

bool TBusWorker::Job::cancelled() const
{
    return m_worker.m_cancel.load();
}

void TBusWorker::Job::progress(int done, int total, const QString& what) const
{
    TBusWorker* worker = &m_worker;
    QMetaObject::invokeMethod(
        worker, [worker, done, total, what] { emit worker->progressed(done, total, what); }, Qt::QueuedConnection);
}

void TBusWorker::Job::deliver(const QVariant& value) const
{
    TBusWorker* worker = &m_worker;
    QMetaObject::invokeMethod(
        worker, [worker, value] { emit worker->delivered(value); }, Qt::QueuedConnection);
}

RBusControl TBusWorker::Job::control() const
{
    return RBusControl{[this] { return cancelled(); },
                       [this](int done, int total, const QString& what) { progress(done, total, what); }};
}

TBusWorker::TBusWorker(QObject* parent) : QObject(parent) {}

TBusWorker::~TBusWorker()
{
    if (m_thread) {
        m_cancel = true;
        m_thread->requestInterruption();
        m_thread->wait();
        delete m_thread;
    }
}

bool TBusWorker::start(Work work)
{
    if (isRunning())
        return false;
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
    m_cancel = false;
    m_thread = QThread::create([this, work = std::move(work)] { work(Job(*this)); });
    m_thread->setObjectName(QStringLiteral("bus worker"));
    // Queued to this object, so finished comes after every delivery the job
    // posted before it ended.
    connect(m_thread, &QThread::finished, this, &TBusWorker::jobEnded, Qt::QueuedConnection);
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

void TBusWorker::jobEnded()
{
    // A job started again from a receiver of an earlier delivery has a new
    // thread: only the end of the current one counts.
    if (sender() != m_thread)
        return;
    emit finished(m_cancel.load());
}
