#include "protocol/link_thread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QIODevice>

#include <algorithm>

namespace {

// The event that tells the link's thread a job is waiting. It carries no
// data: the job travels through the thread object's own members.
const QEvent::Type kRunJobEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// How often a read that may be given up asks whether to give up.
constexpr qint64 kGiveUpCheckMs = 50;

} // namespace

// Lives in the link's thread and runs the waiting job when the event arrives.
class LinkThread::Context final : public QObject {
public:
    explicit Context(LinkThread& owner) : m_owner(owner) {}

    bool event(QEvent* e) override
    {
        if (e->type() != kRunJobEvent)
            return QObject::event(e);
        std::function<void()> job;
        {
            std::lock_guard<std::mutex> handOver(m_owner.m_handOverLock);
            job = m_owner.m_job;
        }
        job();
        {
            // Publishes what the job wrote to the caller, which takes the
            // same lock after the semaphore wakes it.
            std::lock_guard<std::mutex> handOver(m_owner.m_handOverLock);
            m_owner.m_job = nullptr;
        }
        m_owner.m_jobDone.release();
        return true;
    }

private:
    LinkThread& m_owner;
};

LinkThread::LinkThread(const QString& name)
{
    m_thread.setObjectName(name);
    m_context = new Context(*this);
    m_context->moveToThread(&m_thread);
    m_thread.start();
}

LinkThread::~LinkThread()
{
    m_thread.quit();
    m_thread.wait();
    // The thread has ended: nothing runs on the context any more.
    delete m_context;
}

QObject* LinkThread::context() const
{
    return m_context;
}

void LinkThread::runJob(const std::function<void()>& job)
{
    if (QThread::currentThread() == &m_thread) {
        job();
        return;
    }
    std::lock_guard<std::mutex> oneJob(m_jobLock);
    {
        std::lock_guard<std::mutex> handOver(m_handOverLock);
        m_job = job;
    }
    QCoreApplication::postEvent(m_context, new QEvent(kRunJobEvent));
    m_jobDone.acquire();
    {
        std::lock_guard<std::mutex> handOver(m_handOverLock);
    }
}

bool ReadFromDevice(QIODevice& device, QByteArray& received, const QDeadlineTimer& deadline,
                    qsizetype maxCharacters, const ILink::AnswerTest& done, const std::function<bool()>& giveUp,
                    const std::function<bool()>& lost)
{
    while (!deadline.hasExpired()) {
        if (giveUp && giveUp())
            return true;
        qint64 wait = deadline.remainingTime();
        if (giveUp)
            wait = std::min<qint64>(wait, kGiveUpCheckMs);
        if (device.bytesAvailable() == 0 && !device.waitForReadyRead(int(std::max<qint64>(wait, 1)))) {
            if (lost())
                return false;
            continue;
        }
        received.append(device.readAll());
        if (received.size() >= maxCharacters) {
            received.truncate(maxCharacters);
            return true;
        }
        if (done && done(received))
            return true;
    }
    return true;
}

bool DrainUntilQuiet(QIODevice& device, std::chrono::milliseconds upTo, const std::function<bool()>& lost)
{
    const QDeadlineTimer deadline(upTo);
    bool arriving = device.bytesAvailable() > 0;
    device.readAll();
    while (!deadline.hasExpired()) {
        const qint64 gap = (arriving ? kQuietGapMs : kQuietLookMs).count();
        if (!device.waitForReadyRead(int(std::clamp<qint64>(deadline.remainingTime(), 1, gap))))
            return !lost();
        arriving = true;
        device.readAll();
    }
    return true;
}
