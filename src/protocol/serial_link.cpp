#include "protocol/serial_link.h"

#include "protocol/frame.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QSerialPort>

#include <algorithm>

namespace {

// The event that tells the port thread a job is waiting. It carries no data:
// the job travels through the link's own members, ordered by its atomics.
const QEvent::Type kRunJobEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// How often a read that may be given up asks whether to give up.
constexpr qint64 kGiveUpCheckMs = 50;
// More than a window of noise at any baud rate the packs use.
constexpr qsizetype kMaxDiscarded = 1 << 16;

} // namespace

// Lives in the port thread and runs the waiting job when the event arrives.
class SerialLink::PortContext final : public QObject {
public:
    explicit PortContext(SerialLink& link) : m_link(link) {}

    bool event(QEvent* e) override
    {
        if (e->type() != kRunJobEvent)
            return QObject::event(e);
        std::function<void()> job;
        {
            std::lock_guard<std::mutex> handOver(m_link.m_handOverLock);
            job = m_link.m_job;
        }
        job();
        {
            // Publishes what the job wrote to the caller, which takes the
            // same lock after the semaphore wakes it.
            std::lock_guard<std::mutex> handOver(m_link.m_handOverLock);
            m_link.m_job = nullptr;
        }
        m_link.m_jobDone.release();
        return true;
    }

private:
    SerialLink& m_link;
};

SerialLink::SerialLink(LinkSettings settings) : m_settings(std::move(settings))
{
    m_thread.setObjectName(QStringLiteral("serial-port"));
    m_context = new PortContext(*this);
    m_context->moveToThread(&m_thread);
    m_thread.start();
}

SerialLink::~SerialLink()
{
    close();
    m_thread.quit();
    m_thread.wait();
    // The thread has ended: nothing runs on the context any more.
    delete m_context;
}

template <typename Fn> auto SerialLink::runOnPortThread(Fn&& fn)
{
    using Result = decltype(fn());
    if (QThread::currentThread() == &m_thread)
        return fn();
    // One job at a time. The job and its result travel through members
    // handed over under m_handOverLock in both directions; Qt's event queue
    // and the semaphore only wake the other side, so the ordering does not
    // rest on synchronisation hidden inside Qt.
    std::lock_guard<std::mutex> oneJob(m_jobLock);
    std::conditional_t<std::is_void_v<Result>, bool, Result> result{};
    {
        std::lock_guard<std::mutex> handOver(m_handOverLock);
        m_job = [&] {
            if constexpr (std::is_void_v<Result>)
                fn();
            else
                result = fn();
        };
    }
    QCoreApplication::postEvent(m_context, new QEvent(kRunJobEvent));
    m_jobDone.acquire();
    {
        std::lock_guard<std::mutex> handOver(m_handOverLock);
    }
    if constexpr (!std::is_void_v<Result>)
        return result;
}

bool SerialLink::open(QString* error)
{
    const QString message = runOnPortThread([this]() -> QString {
        if (m_port && m_port->isOpen())
            return QString();
        delete m_port;
        m_port = new QSerialPort(m_context);
        m_port->setPortName(m_settings.device);
        m_port->setBaudRate(m_settings.baudRate);
        m_port->setDataBits(QSerialPort::Data8);
        m_port->setParity(QSerialPort::NoParity);
        m_port->setStopBits(QSerialPort::OneStop);
        m_port->setFlowControl(QSerialPort::NoFlowControl);
        if (m_settings.device.isEmpty())
            return QStringLiteral("No serial device is mapped to this port");
        if (!m_port->open(QIODevice::ReadWrite))
            return m_port->errorString().isEmpty() ? QStringLiteral("The serial port did not open") : m_port->errorString();
        return QString();
    });
    m_open = message.isEmpty();
    if (error)
        *error = message;
    return m_open;
}

void SerialLink::close()
{
    runOnPortThread([this] {
        if (m_port) {
            m_port->close();
            delete m_port;
            m_port = nullptr;
        }
    });
    m_open = false;
}

bool SerialLink::isOpen() const
{
    return m_open;
}

QByteArray SerialLink::exchange(const QByteArray& request, std::chrono::milliseconds window, int maxCharacters)
{
    return exchangeUntil(
        request, window, maxCharacters, [](QByteArrayView received) { return frame::CompleteFrameEnd(received) >= 0; },
        {});
}

QByteArray SerialLink::exchangeUntil(const QByteArray& request, std::chrono::milliseconds window, int maxCharacters,
                                     const AnswerTest& isAnswer, const std::function<bool()>& giveUp)
{
    return runOnPortThread([&]() -> QByteArray {
        QByteArray answer;
        if (!m_port || !m_port->isOpen())
            return answer;
        const QDeadlineTimer deadline(window);
        // Whatever arrived since the last exchange belongs to nobody.
        m_port->clear(QSerialPort::Input);
        m_port->readAll();
        m_port->write(request);
        if (!m_port->waitForBytesWritten(int(std::max<qint64>(deadline.remainingTime(), 1)))) {
            if (m_port->error() == QSerialPort::ResourceError) {
                m_open = false;
                m_port->close();
            }
            return answer;
        }
        // Noise, a damaged frame or another pack's frame does not end the
        // read: the answer may still follow within the window.
        readInto(answer, deadline, maxCharacters, isAnswer, giveUp);
        return answer;
    });
}

void SerialLink::discardLate(std::chrono::milliseconds upTo, const std::function<bool()>& giveUp)
{
    runOnPortThread([&] {
        if (!m_port || !m_port->isOpen())
            return;
        QByteArray late;
        readInto(late, QDeadlineTimer(upTo), kMaxDiscarded,
                 [](QByteArrayView received) { return frame::CompleteFrameEnd(received) >= 0; }, giveUp);
        m_port->clear(QSerialPort::Input);
        m_port->readAll();
    });
}

void SerialLink::readInto(QByteArray& received, const QDeadlineTimer& deadline, qsizetype maxCharacters,
                          const AnswerTest& done, const std::function<bool()>& giveUp)
{
    while (!deadline.hasExpired()) {
        if (giveUp && giveUp())
            return;
        qint64 wait = deadline.remainingTime();
        if (giveUp)
            wait = std::min<qint64>(wait, kGiveUpCheckMs);
        if (!m_port->waitForReadyRead(int(std::max<qint64>(wait, 1)))) {
            if (m_port->error() == QSerialPort::ResourceError) {
                // The adapter has gone; the caller sees a closed port.
                m_open = false;
                m_port->close();
                return;
            }
            continue;
        }
        received.append(m_port->readAll());
        if (received.size() >= maxCharacters) {
            received.truncate(maxCharacters);
            return;
        }
        if (done && done(received))
            return;
    }
}
